// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Gdt.h"

#include "signal/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velkard::net {

namespace {

// UTF-8 to ISO 8859-1, '?' for what it cannot hold.
std::string toLatin1(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        unsigned cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += cp <= 0xFF && len > 1 ? static_cast<char>(cp) : '?';
        i += static_cast<std::size_t>(len);
    }
    return out;
}

std::string fromLatin1(const std::string& s) {
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string line(const std::string& id, const std::string& content) {
    char len[8];
    std::snprintf(len, sizeof len, "%03zu", content.size() + 9);
    return len + id + content + "\r\n";
}

// GDT dates are TTMMJJJJ.
std::string gdtDate(const std::string& ddMMyyyy) {
    if (ddMMyyyy.size() != 10)
        return {};
    return ddMMyyyy.substr(0, 2) + ddMMyyyy.substr(3, 2) + ddMMyyyy.substr(6, 4);
}
std::string cardDateOf(const std::string& t) {
    if (t.size() != 8 || t.find_first_not_of("0123456789") != std::string::npos)
        return {};
    return t.substr(0, 2) + "." + t.substr(2, 2) + "." + t.substr(4, 4);
}

} // namespace

std::optional<std::string> GdtRecord::field(const std::string& id) const {
    for (const auto& [k, v] : fields)
        if (k == id)
            return v;
    return std::nullopt;
}

Result<GdtRecord> parseGdt(const std::string& bytes) {
    GdtRecord r;
    std::size_t at = 0;
    int lineNo = 0;
    while (at < bytes.size()) {
        ++lineNo;
        const auto end = bytes.find('\n', at);
        std::string l = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::size_t full = (end == std::string::npos ? bytes.size() : end + 1) - at;
        at += full;
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        if (l.empty())
            continue;
        if (l.size() < 7 || l.substr(0, 7).find_first_not_of("0123456789") != std::string::npos)
            return Result<GdtRecord>::failure(ErrorCode::BadData,
                                              "GDT line " + std::to_string(lineNo) +
                                                  " does not start with length and field ID");
        const std::size_t len = std::stoul(l.substr(0, 3));
        if (len != l.size() + 2)
            return Result<GdtRecord>::failure(ErrorCode::BadData,
                                              "GDT line " + std::to_string(lineNo) +
                                                  ": its length says " + std::to_string(len) +
                                                  ", it has " + std::to_string(l.size() + 2));
        r.fields.emplace_back(l.substr(3, 4), fromLatin1(l.substr(7)));
    }
    return Result<GdtRecord>::success(r);
}

std::string encodeGdt(const std::string& recordType,
                      const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& [id, content] : fields)
        body += line(id, toLatin1(content));
    const std::string head = line("8000", recordType);
    // 8100 holds the length of the whole record, its own line (3 + 4 + 5 + 2 bytes) included.
    const std::size_t total = head.size() + 14 + body.size();
    char len[8];
    std::snprintf(len, sizeof len, "%05zu", total);
    return head + line("8100", len) + body;
}

Result<std::vector<GdtRequest>> readGdtRequests(const std::filesystem::path& folder,
                                                const std::string& ownId) {
    using R = Result<std::vector<GdtRequest>>;
    std::vector<std::pair<std::filesystem::file_time_type, GdtRequest>> found;
    std::error_code ec;
    for (const auto& d : std::filesystem::directory_iterator(folder, ec)) {
        // A request answered is renamed FILE.done and stays in the folder: not listed again.
        if (!d.is_regular_file() || d.path().extension() == ".done")
            continue;
        std::ifstream in(d.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (text.str().size() > 1 << 20)
            continue;
        auto rec = parseGdt(text.str());
        if (!rec || rec.value.field("8000") != "6302")
            continue;
        const auto to = rec.value.field("8315").value_or("");
        if (!to.empty() && !ownId.empty() && to != ownId)
            continue;
        GdtRequest q;
        q.file = d.path();
        q.receiverId = to;
        q.senderId = rec.value.field("8316").value_or("");
        q.version = rec.value.field("9218").value_or("");
        q.patientNumber = rec.value.field("3000").value_or("");
        q.familyName = rec.value.field("3101").value_or("");
        q.givenName = rec.value.field("3102").value_or("");
        q.birthDate = cardDateOf(rec.value.field("3103").value_or(""));
        const std::string sex = rec.value.field("3110").value_or("");
        q.sex = sex == "1" || sex == "M" ? "M" : sex == "2" || sex == "W" ? "F" : "";
        q.test = rec.value.field("8402").value_or("");
        found.emplace_back(d.last_write_time(ec), q);
    }
    if (ec)
        return R::failure(ErrorCode::CannotRead,
                          "Cannot read the GDT folder " + folder.string() + ": " + ec.message());
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<GdtRequest> out;
    for (auto& f : found)
        out.push_back(std::move(f.second));
    return R::success(out);
}

Result<std::filesystem::path> writeGdtResult(const std::filesystem::path& folder,
                                             const GdtResult& r) {
    using R = Result<std::filesystem::path>;
    std::vector<std::pair<std::string, std::string>> f;
    f.emplace_back("8315", r.receiverId);
    f.emplace_back("8316", r.ownId);
    f.emplace_back("9206", "3");
    f.emplace_back("9218", r.version);
    f.emplace_back("3000", r.patientNumber);
    f.emplace_back("3101", r.familyName);
    f.emplace_back("3102", r.givenName);
    if (!r.birthDate.empty())
        f.emplace_back("3103", gdtDate(r.birthDate));
    f.emplace_back("8402", r.test);
    f.emplace_back("6200", gdtDate(r.testDate));
    if (r.testTime.size() == 8)
        f.emplace_back("6201",
                       r.testTime.substr(0, 2) + r.testTime.substr(3, 2) + r.testTime.substr(6, 2));
    for (const auto& v : r.values) {
        if (!v.value)
            continue;
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", std::round(*v.value));
        f.emplace_back("8410", v.id);
        f.emplace_back("8411", v.name);
        f.emplace_back("8420", buf);
        f.emplace_back("8421", v.unit);
    }
    for (const auto& s : r.statements)
        f.emplace_back("6220", s);
    if (!r.pdfPath.empty()) {
        f.emplace_back("6303", "PDF");
        f.emplace_back("6304", "EKG-Befund");
        f.emplace_back("6305", r.pdfPath);
    }
    const std::string bytes = encodeGdt("6310", f);
    auto four = [](std::string s) {
        s = s.substr(0, 4);
        for (char& c : s)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return s;
    };
    const auto target = folder / (four(r.receiverId) + four(r.ownId) + ".gdt");
    signal::AtomicFileWriter out(target);
    Status s = out.open();
    if (s)
        s = out.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    if (s)
        s = out.commit(true, bytes.size());
    if (!s)
        return R::failure(s);
    return R::success(target);
}

} // namespace velkard::net
