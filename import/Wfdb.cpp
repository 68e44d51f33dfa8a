// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Wfdb.h"

#include "signal/FileIo.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace velkard::import::wfdb {

namespace {

using velkard::ErrorCode;
using velkard::Result;
using velkard::Status;

constexpr std::size_t kMaxSignals = 4096;
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 31;

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

template <typename T> bool number(std::string_view text, T& value) {
    if (text.empty())
        return false;
    if constexpr (std::is_floating_point_v<T>) {
        // std::from_chars for double is not in every standard library yet.
        std::string copy(text);
        char* end = nullptr;
        const double v = std::strtod(copy.c_str(), &end);
        if (end != copy.c_str() + copy.size() || !std::isfinite(v))
            return false;
        value = static_cast<T>(v);
        return true;
    } else {
        const char* first = text.data();
        if (*first == '+')
            ++first;
        const auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), value);
        return ec == std::errc() && ptr == text.data() + text.size();
    }
}

// Splits "head<sep>tail" at the first sep; tail empty (and found false) when there is none.
std::string_view cut(std::string_view& text, char sep, bool& found) {
    const std::size_t at = text.find(sep);
    found = at != std::string_view::npos;
    if (!found) {
        std::string_view all = text;
        text = {};
        return all;
    }
    std::string_view head = text.substr(0, at);
    text.remove_prefix(at + 1);
    return head;
}

Status bad(std::string message) {
    return Status::failure(ErrorCode::BadData, std::move(message));
}

// "fs[/counter][(base)]"
bool parseFrequency(std::string_view text, double& fs) {
    const std::size_t paren = text.find('(');
    if (paren != std::string_view::npos)
        text = text.substr(0, paren);
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos)
        text = text.substr(0, slash);
    return number(text, fs) && fs > 0 && fs < 1e7;
}

Status parseSignal(const std::vector<std::string_view>& f, int lineNo, SignalSpec& s) {
    const std::string where = "WFDB header line " + std::to_string(lineNo) + ": ";
    s.file = std::string(f[0]);
    if (s.file.empty() || s.file.find('/') != std::string::npos || s.file == "-" ||
        s.file.find("..") != std::string::npos)
        return bad(where + "the sample file \"" + s.file + "\" is not a plain file name");
    // format[xspf][:skew][+offset]
    std::string_view fmt = f[1];
    bool found = false;
    std::string_view offsetText = fmt;
    std::string_view head = cut(offsetText, '+', found);
    if (found && !(number(offsetText, s.byteOffset) && s.byteOffset >= 0))
        return bad(where + "bad byte offset in \"" + std::string(f[1]) + "\"");
    std::string_view skewText = head;
    head = cut(skewText, ':', found);
    std::string_view spfText = head;
    head = cut(spfText, 'x', found);
    if (found) {
        int spf = 0;
        if (!number(spfText, spf) || spf != 1)
            return bad(where + "more than one sample per frame is not read");
    }
    if (!number(head, s.format) || (s.format != 16 && s.format != 212 && s.format != 80))
        return bad(where + "sample format \"" + std::string(f[1]) +
                   "\" is not read (only 16, 212 and 80)");
    s.baseline = 0;
    bool baselineGiven = false;
    if (f.size() > 2) {
        // gain[(baseline)][/units]
        std::string_view g = f[2];
        std::string_view units = g;
        g = cut(units, '/', found);
        if (found)
            s.units = std::string(units);
        const std::size_t paren = g.find('(');
        if (paren != std::string_view::npos) {
            if (g.back() != ')' || !number(g.substr(paren + 1, g.size() - paren - 2), s.baseline))
                return bad(where + "bad baseline in \"" + std::string(f[2]) + "\"");
            baselineGiven = true;
            g = g.substr(0, paren);
        }
        if (!number(g, s.gain) || s.gain < 0)
            return bad(where + "bad gain \"" + std::string(f[2]) + "\"");
        if (s.gain == 0)
            s.gain = 200.0;
    }
    if (f.size() > 3 && !number(f[3], s.adcResolution))
        return bad(where + "bad ADC resolution");
    if (f.size() > 4 && !number(f[4], s.adcZero))
        return bad(where + "bad ADC zero");
    if (f.size() > 5 && !number(f[5], s.initialValue))
        return bad(where + "bad initial value");
    if (f.size() > 6) {
        if (!number(f[6], s.checksum))
            return bad(where + "bad checksum");
        s.hasChecksum = true;
    }
    if (!baselineGiven)
        s.baseline = s.adcZero;
    // Field 7 is the block size; the rest of the line is the description.
    for (std::size_t i = 8; i < f.size(); ++i) {
        if (i > 8)
            s.description += ' ';
        s.description += f[i];
    }
    return {};
}

int sign12(unsigned v) {
    return v & 0x800 ? static_cast<int>(v) - 4096 : static_cast<int>(v);
}

} // namespace

Result<Header> parseHeader(std::string_view text) {
    Header h;
    int lineNo = 0;
    bool first = true;
    std::size_t expected = 0;
    while (!text.empty()) {
        bool found = false;
        std::string_view line = cut(text, '\n', found);
        ++lineNo;
        const std::size_t hash = line.find('#');
        if (hash != std::string_view::npos)
            line = line.substr(0, hash);
        const auto f = fields(line);
        if (f.empty())
            continue;
        if (first) {
            first = false;
            if (f[0].find('/') != std::string_view::npos)
                return Result<Header>::failure(
                    bad("WFDB header: multi-segment records are not read"));
            h.name = std::string(f[0]);
            if (f.size() < 2 || !number(f[1], expected) || expected > kMaxSignals)
                return Result<Header>::failure(
                    bad("WFDB header: the first line does not give a number of signals"));
            if (f.size() > 2 && !parseFrequency(f[2], h.frequency))
                return Result<Header>::failure(
                    bad("WFDB header: bad sampling frequency \"" + std::string(f[2]) + "\""));
            if (f.size() > 3 && !(number(f[3], h.samples) && h.samples >= 0))
                return Result<Header>::failure(bad("WFDB header: bad number of samples"));
            continue;
        }
        if (h.signals.size() == expected)
            break; // "info" lines without '#' are not expected, but harmless
        if (f.size() < 2)
            return Result<Header>::failure(
                bad("WFDB header line " + std::to_string(lineNo) + ": no sample format"));
        SignalSpec s;
        if (Status st = parseSignal(f, lineNo, s); !st)
            return Result<Header>::failure(st);
        h.signals.push_back(std::move(s));
    }
    if (first)
        return Result<Header>::failure(bad("WFDB header: empty"));
    if (h.signals.size() != expected)
        return Result<Header>::failure(bad("WFDB header: " + std::to_string(expected) +
                                           " signals announced, " +
                                           std::to_string(h.signals.size()) + " described"));
    return Result<Header>::success(std::move(h));
}

Status decodeSamples(const Header& header, const std::string& file,
                     std::span<const std::uint8_t> bytes, std::vector<std::vector<int>>& samples) {
    samples.assign(header.signals.size(), {});
    std::vector<std::size_t> group;
    for (std::size_t s = 0; s < header.signals.size(); ++s)
        if (header.signals[s].file == file)
            group.push_back(s);
    if (group.empty())
        return bad("WFDB: no signal of " + header.name + " is stored in " + file);
    const SignalSpec& lead = header.signals[group.front()];
    for (std::size_t s : group)
        if (header.signals[s].format != lead.format ||
            header.signals[s].byteOffset != lead.byteOffset)
            return bad("WFDB: the signals of " + file + " do not share one format");
    if (static_cast<std::uint64_t>(lead.byteOffset) > bytes.size())
        return bad("WFDB: " + file + " is shorter than its byte offset");
    bytes = bytes.subspan(static_cast<std::size_t>(lead.byteOffset));
    const std::size_t n = group.size();
    // Whole frames the bytes hold.
    std::uint64_t values = 0;
    switch (lead.format) {
    case 16:
        values = bytes.size() / 2;
        break;
    case 80:
        values = bytes.size();
        break;
    case 212:
        values = bytes.size() / 3 * 2 + (bytes.size() % 3 == 2 ? 1 : 0);
        break;
    }
    std::uint64_t frames = values / n;
    if (header.samples > 0)
        frames = std::min<std::uint64_t>(frames, static_cast<std::uint64_t>(header.samples));
    for (std::size_t s : group)
        samples[s].resize(static_cast<std::size_t>(frames));
    const std::size_t total = static_cast<std::size_t>(frames) * n;
    for (std::size_t i = 0; i < total; ++i) {
        int v = 0;
        switch (lead.format) {
        case 16:
            v = static_cast<std::int16_t>(
                static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
            break;
        case 80:
            v = static_cast<int>(bytes[i]) - 128;
            break;
        case 212: {
            const std::size_t at = i / 2 * 3;
            if (i % 2 == 0)
                v = sign12(bytes[at] | ((bytes[at + 1] & 0x0F) << 8));
            else
                v = sign12(bytes[at + 2] | ((bytes[at + 1] & 0xF0) << 4));
            break;
        }
        }
        samples[group[i % n]][i / n] = v;
    }
    return {};
}

Result<std::vector<Annotation>> parseAnnotations(std::span<const std::uint8_t> bytes) {
    using R = Result<std::vector<Annotation>>;
    std::vector<Annotation> out;
    std::int64_t time = 0;
    int channel = 0, num = 0;
    std::size_t i = 0;
    auto word = [&](std::size_t at) {
        return static_cast<unsigned>(bytes[at] | (bytes[at + 1] << 8));
    };
    while (i + 2 <= bytes.size()) {
        const unsigned w = word(i);
        i += 2;
        const int code = static_cast<int>(w >> 10);
        const int low = static_cast<int>(w & 0x3FF);
        if (code == 0 && low == 0)
            break; // end of file
        switch (code) {
        case kSkip: {
            if (i + 4 > bytes.size())
                return R::failure(ErrorCode::BadData, "WFDB annotations: a SKIP runs past the end");
            const std::uint32_t hi = word(i), lo = word(i + 2);
            i += 4;
            time += static_cast<std::int32_t>((hi << 16) | lo);
            break;
        }
        case kNum:
            num = low;
            if (!out.empty() && out.back().sample == time)
                out.back().num = num;
            break;
        case kSub:
            if (!out.empty())
                out.back().subtype = low;
            break;
        case kChn:
            channel = low;
            if (!out.empty() && out.back().sample == time)
                out.back().channel = channel;
            break;
        case kAux: {
            const std::size_t length = static_cast<std::size_t>(low);
            if (i + length > bytes.size())
                return R::failure(ErrorCode::BadData,
                                  "WFDB annotations: an AUX text runs past the end");
            std::string text(reinterpret_cast<const char*>(bytes.data() + i), length);
            if (const std::size_t z = text.find('\0'); z != std::string::npos)
                text.resize(z);
            if (!out.empty())
                out.back().aux = std::move(text);
            i += length + (length % 2);
            break;
        }
        default:
            time += low;
            if (code == 0)
                break; // a time step without an annotation (NOTQRS)
            out.push_back({time, code, 0, channel, num, {}});
            break;
        }
    }
    return R::success(std::move(out));
}

bool isBeat(int code) {
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 25:
    case 30:
    case 34:
    case 35:
    case 38:
    case 41:
        return true;
    default:
        return false;
    }
}

std::string_view mnemonic(int code) {
    static constexpr std::array<std::string_view, 50> names{
        " ", "N", "L",    "R",    "a",    "V",    "F",    "J",    "A",    "S",    "E",   "j", "/",
        "Q", "~", "[15]", "|",    "[17]", "s",    "T",    "*",    "D",    "\"",   "=",   "p", "B",
        "^", "t", "+",    "u",    "?",    "!",    "[",    "]",    "e",    "n",    "@",   "x", "f",
        "(", ")", "r",    "[42]", "[43]", "[44]", "[45]", "[46]", "[47]", "[48]", "[49]"};
    if (code >= 0 && code < static_cast<int>(names.size()))
        return names[static_cast<std::size_t>(code)];
    return "?";
}

std::vector<std::filesystem::path> recordFiles(const std::filesystem::path& headerPath) {
    std::filesystem::path hea = headerPath;
    if (hea.extension() != ".hea")
        hea += ".hea";
    std::vector<std::filesystem::path> files{hea};
    signal::BytesResult text = signal::readWholeFile(hea, 1 << 20);
    if (!text)
        return files;
    Result<Header> header = parseHeader(
        std::string_view(reinterpret_cast<const char*>(text.value.data()), text.value.size()));
    if (!header)
        return files;
    for (const SignalSpec& s : header.value.signals)
        if (std::find(files.begin(), files.end(), hea.parent_path() / s.file) == files.end())
            files.push_back(hea.parent_path() / s.file);
    std::filesystem::path atr = hea;
    files.push_back(atr.replace_extension(".atr"));
    return files;
}

Result<Record> readRecord(const std::filesystem::path& headerPath) {
    std::filesystem::path hea = headerPath;
    if (hea.extension() != ".hea")
        hea += ".hea";
    signal::BytesResult text = signal::readWholeFile(hea, 1 << 20);
    if (!text)
        return Result<Record>::failure(text);
    Result<Header> header = parseHeader(
        std::string_view(reinterpret_cast<const char*>(text.value.data()), text.value.size()));
    if (!header)
        return Result<Record>::failure(header.code, hea.string() + ": " + header.message);
    Record rec;
    rec.header = std::move(header.value);
    rec.samples.assign(rec.header.signals.size(), {});
    std::vector<std::string> done;
    for (const SignalSpec& s : rec.header.signals) {
        if (std::find(done.begin(), done.end(), s.file) != done.end())
            continue;
        done.push_back(s.file);
        signal::BytesResult dat = signal::readWholeFile(hea.parent_path() / s.file, kMaxFileBytes);
        if (!dat)
            return Result<Record>::failure(dat);
        std::vector<std::vector<int>> part;
        if (Status st = decodeSamples(rec.header, s.file, dat.value, part); !st)
            return Result<Record>::failure(st);
        for (std::size_t k = 0; k < part.size(); ++k)
            if (rec.header.signals[k].file == s.file)
                rec.samples[k] = std::move(part[k]);
    }
    std::size_t shortest = std::numeric_limits<std::size_t>::max();
    for (const auto& v : rec.samples)
        shortest = std::min(shortest, v.size());
    for (auto& v : rec.samples)
        v.resize(shortest);
    return Result<Record>::success(std::move(rec));
}

Result<std::vector<Annotation>> readAnnotations(const std::filesystem::path& path) {
    signal::BytesResult bytes = signal::readWholeFile(path, kMaxFileBytes);
    if (!bytes)
        return Result<std::vector<Annotation>>::failure(bytes);
    auto parsed = parseAnnotations(bytes.value);
    if (!parsed)
        return Result<std::vector<Annotation>>::failure(parsed.code,
                                                        path.string() + ": " + parsed.message);
    return parsed;
}

} // namespace velkard::import::wfdb
