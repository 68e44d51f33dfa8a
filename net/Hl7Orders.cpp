// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Hl7Orders.h"

#include "signal/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <system_error>

namespace velkard::net {

namespace {

// One message split into segments and fields, with its encoding characters.
class Message {
public:
    explicit Message(const std::string& text) {
        std::string line;
        auto flush = [&] {
            if (!line.empty())
                lines_.push_back(line);
            line.clear();
        };
        for (char c : text) {
            if (c == '\r' || c == '\n')
                flush();
            else if (c != 0x0b && c != 0x1c)
                line += c;
        }
        flush();
        if (!lines_.empty() && lines_[0].rfind("MSH", 0) == 0 && lines_[0].size() >= 8) {
            field_ = lines_[0][3];
            component_ = lines_[0][4];
            repetition_ = lines_[0][5];
            escape_ = lines_[0][6];
            subcomponent_ = lines_[0][7];
            valid_ = true;
        }
    }

    bool valid() const { return valid_; }
    bool has(const std::string& segment) const { return find(segment) != nullptr; }

    // Field `n` (MSH counted as HL7 counts it), its first repetition's component `c`, unescaped.
    std::string get(const std::string& segment, int n, int c = 1) const {
        const std::string* line = find(segment);
        if (!line)
            return {};
        const std::vector<std::string> fields = split(*line, field_);
        // In MSH the field separator itself is MSH-1, so MSH-n is the n-1'th piece after "MSH".
        const std::size_t index = segment == "MSH" ? std::size_t(n - 1) : std::size_t(n);
        if (index >= fields.size())
            return {};
        const std::string first = split(fields[index], repetition_)[0];
        const std::vector<std::string> components = split(first, component_);
        if (c < 1 || std::size_t(c) > components.size())
            return {};
        return unescape(split(components[std::size_t(c - 1)], subcomponent_)[0]);
    }

private:
    const std::string* find(const std::string& segment) const {
        for (const std::string& l : lines_)
            if (l.size() >= 3 && l.compare(0, 3, segment) == 0 && (l.size() == 3 || l[3] == field_))
                return &l;
        return nullptr;
    }

    static std::vector<std::string> split(const std::string& s, char sep) {
        std::vector<std::string> out(1);
        for (char c : s) {
            if (c == sep)
                out.emplace_back();
            else
                out.back() += c;
        }
        return out;
    }

    std::string unescape(const std::string& s) const {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != escape_) {
                out += s[i];
                continue;
            }
            const std::size_t end = s.find(escape_, i + 1);
            if (end == std::string::npos) {
                out += s.substr(i);
                break;
            }
            const std::string seq = s.substr(i + 1, end - i - 1);
            if (seq == "F")
                out += field_;
            else if (seq == "S")
                out += component_;
            else if (seq == "T")
                out += subcomponent_;
            else if (seq == "R")
                out += repetition_;
            else if (seq == "E")
                out += escape_;
            else if (seq.size() > 1 && seq[0] == 'X' && seq.size() % 2 == 1 &&
                     std::all_of(seq.begin() + 1, seq.end(),
                                 [](char c) { return std::isxdigit((unsigned char)c) != 0; })) {
                for (std::size_t k = 1; k + 1 < seq.size(); k += 2)
                    out += char(std::stoi(seq.substr(k, 2), nullptr, 16));
            }
            // Formatting sequences (.br, H, N ...) carry no text.
            i = end;
        }
        return out;
    }

    std::vector<std::string> lines_;
    char field_ = '|', component_ = '^', repetition_ = '~', escape_ = '\\', subcomponent_ = '&';
    bool valid_ = false;
};

std::string latin1ToUtf8(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xc0 | (c >> 6));
            out += char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

// A UID of the 2.25 root (a 128-bit number) made from the order's placer number: the same order
// gets the same study instance UID every time the folder is read.
std::string uidOf(const std::string& key) {
    auto fnv = [&key](std::uint64_t h) {
        for (unsigned char c : key) {
            h ^= c;
            h *= 0x100000001b3ULL;
        }
        return h;
    };
    unsigned __int128 v = (static_cast<unsigned __int128>(fnv(0xcbf29ce484222325ULL)) << 64) |
                          fnv(0x84222325cbf29ce4ULL);
    std::string digits;
    do {
        digits += char('0' + int(v % 10));
        v /= 10;
    } while (v);
    std::reverse(digits.begin(), digits.end());
    return "2.25." + digits;
}

bool digitsOnly(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

Result<Hl7Order> parseHl7Order(const std::string& text) {
    const Message m(text);
    if (!m.valid())
        return Result<Hl7Order>::failure(ErrorCode::BadData, "not an HL7 message (no MSH)");
    const std::string type = m.get("MSH", 9, 1) + "^" + m.get("MSH", 9, 2);
    if (type != "ORM^O01" && type != "OMG^O19")
        return Result<Hl7Order>::failure(ErrorCode::BadData,
                                         "not an order message (MSH-9 " + type + ")");
    if (!m.has("PID") || !m.has("OBR"))
        return Result<Hl7Order>::failure(ErrorCode::BadData, "no PID or OBR segment");
    const bool latin1 = m.get("MSH", 18) == "8859/1";
    auto text8 = [latin1](std::string s) { return latin1 ? latin1ToUtf8(s) : s; };
    Hl7Order o;
    o.control = m.has("ORC") ? m.get("ORC", 1) : "NW";
    o.placerOrder = m.get("ORC", 2);
    if (o.placerOrder.empty())
        o.placerOrder = m.get("OBR", 2);
    if (o.placerOrder.empty())
        return Result<Hl7Order>::failure(ErrorCode::BadData, "no placer order number");
    WorklistItem& w = o.item;
    w.patientId = text8(m.get("PID", 3));
    if (w.patientId.empty())
        return Result<Hl7Order>::failure(ErrorCode::BadData, "no patient ID (PID-3)");
    std::string name = text8(m.get("PID", 5, 1));
    const std::string given = text8(m.get("PID", 5, 2)), middle = text8(m.get("PID", 5, 3));
    if (!given.empty() || !middle.empty())
        name += "^" + given;
    if (!middle.empty())
        name += "^" + middle;
    w.patientName = name;
    const std::string birth = m.get("PID", 7).substr(0, 8);
    w.birthDate = birth.size() == 8 && digitsOnly(birth) ? birth : "";
    const std::string sex = m.get("PID", 8);
    w.sex = sex == "M" || sex == "F" || sex == "O" ? sex : "";
    auto first = [](std::initializer_list<std::string> values) {
        for (const std::string& v : values)
            if (!v.empty())
                return v;
        return std::string();
    };
    w.accessionNumber = first({m.get("IPC", 1), m.get("OBR", 18)});
    w.requestedProcedureId = first({m.get("IPC", 2), m.get("OBR", 19)});
    w.requestedProcedureDescription = text8(first({m.get("OBR", 4, 2), m.get("OBR", 4, 1)}));
    w.scheduledStepDescription = w.requestedProcedureDescription;
    w.studyInstanceUid = first({m.get("IPC", 3), m.get("ZDS", 1)});
    if (w.studyInstanceUid.empty() || w.studyInstanceUid.size() > 64 ||
        w.studyInstanceUid.find_first_not_of("0123456789.") != std::string::npos)
        w.studyInstanceUid = uidOf(m.get("MSH", 4) + "|" + o.placerOrder);
    w.scheduledStepId = first({m.get("IPC", 4), m.get("OBR", 20)});
    w.modality = first({m.get("IPC", 5), m.get("OBR", 24)});
    w.stationAeTitle = m.get("IPC", 9);
    const std::string start = first({m.get("TQ1", 7), m.get("OBR", 27, 4), m.get("ORC", 7, 4),
                                     m.get("OBR", 7), m.get("OBR", 6)});
    if (start.size() >= 8 && digitsOnly(start.substr(0, 8))) {
        w.scheduledDate = start.substr(0, 8);
        std::string time = start.substr(8, 6);
        if (!time.empty() && digitsOnly(time))
            w.scheduledTime = time + std::string(6 - time.size(), '0');
    }
    return Result<Hl7Order>::success(std::move(o));
}

Result<Hl7Orders> readHl7Orders(const std::filesystem::path& folder, const WorklistQuery& query) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || !it->is_regular_file(ec))
            continue;
        files.push_back(it->path());
    }
    if (ec)
        return Result<Hl7Orders>::failure(ErrorCode::IoError, "Cannot read the HL7 order folder " +
                                                                  folder.string() + ": " +
                                                                  ec.message());
    std::sort(files.begin(), files.end());
    Hl7Orders out;
    std::map<std::string, WorklistItem> open; // by placer order number
    std::vector<std::string> order;           // placer numbers in the order first seen
    for (const auto& file : files) {
        auto bytes = signal::readWholeFile(file, 4 << 20);
        if (!bytes) {
            out.problems.push_back(file.filename().string() + ": " + bytes.message);
            continue;
        }
        const std::string text(bytes.value.begin(), bytes.value.end());
        // Each message starts at an MSH at the start of a segment.
        std::vector<std::size_t> starts;
        for (std::size_t at = text.find("MSH"); at != std::string::npos;
             at = text.find("MSH", at + 3))
            if (at == 0 || text[at - 1] == '\r' || text[at - 1] == '\n' || text[at - 1] == 0x0b)
                starts.push_back(at);
        if (starts.empty())
            out.problems.push_back(file.filename().string() + ": not an HL7 message (no MSH)");
        for (std::size_t k = 0; k < starts.size(); ++k) {
            const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
            auto parsed = parseHl7Order(text.substr(starts[k], end - starts[k]));
            if (!parsed) {
                out.problems.push_back(file.filename().string() + ": " + parsed.message);
                continue;
            }
            const std::string& control = parsed.value.control;
            const std::string& key = parsed.value.placerOrder;
            if (control == "CA" || control == "DC" || control == "OC") {
                open.erase(key);
            } else if (control == "NW" || control == "XO" || control == "SC") {
                if (!open.count(key))
                    order.push_back(key);
                open[key] = parsed.value.item;
            }
        }
    }
    const bool ecgOnly = query.modality == "ECG";
    for (const std::string& key : order) {
        const auto it = open.find(key);
        if (it == open.end())
            continue;
        const WorklistItem& w = it->second;
        if (ecgOnly && !w.modality.empty() && w.modality != "EC" && w.modality != "ECG")
            continue;
        if (!query.fromDate.empty() &&
            (w.scheduledDate.empty() || w.scheduledDate < query.fromDate))
            continue;
        if (!query.toDate.empty() && (w.scheduledDate.empty() || w.scheduledDate > query.toDate))
            continue;
        if (!query.stationAeTitle.empty() && !w.stationAeTitle.empty() &&
            w.stationAeTitle != query.stationAeTitle)
            continue;
        out.items.push_back(w);
        out.items.back().modality = "ECG";
    }
    return Result<Hl7Orders>::success(std::move(out));
}

Result<std::vector<WorklistItem>> findOrders(const NetworkSettings& settings,
                                             const WorklistQuery& query,
                                             std::vector<std::string>* problems) {
    if (!settings.worklist.configured() && settings.hl7OrdersFolder.empty())
        return Result<std::vector<WorklistItem>>::failure(
            ErrorCode::InvalidArgument,
            "Neither a worklist server nor an HL7 order folder is set up");
    std::vector<WorklistItem> items;
    if (settings.worklist.configured()) {
        auto found = findWorklist(settings, query);
        if (!found)
            return found;
        items = std::move(found.value);
    }
    if (!settings.hl7OrdersFolder.empty()) {
        auto hl7 = readHl7Orders(settings.hl7OrdersFolder, query);
        if (!hl7)
            return Result<std::vector<WorklistItem>>::failure(hl7.code, hl7.message);
        items.insert(items.end(), hl7.value.items.begin(), hl7.value.items.end());
        if (problems)
            *problems = std::move(hl7.value.problems);
    }
    return Result<std::vector<WorklistItem>>::success(std::move(items));
}

} // namespace velkard::net
