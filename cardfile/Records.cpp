// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Records.h"

#include "cardfile/FileIo.h"
#include "signal/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace velkard::cardfile {

namespace fs = std::filesystem;

namespace {

using Field = RecordField;
using namespace patient_layout;
static_assert(kPatientFieldChars.name == kName.width - 1 && kPatientFieldChars.sex == kSex.width &&
              kPatientFieldChars.birthplace == kBirthplace.width - 1 &&
              kPatientFieldChars.address == kAddress.width - 1 &&
              kPatientFieldChars.telephone == kTelephone.width - 1 &&
              kPatientFieldChars.policy == kPolicy.width - 1);

constexpr std::size_t kIdWidth = kId.width;

// Text of a field: bytes up to the first NUL or the end of the field (or of the data).
std::string readField(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
    if (offset >= bytes.size())
        return {};
    std::size_t end = std::min(bytes.size(), offset + width);
    std::string raw;
    for (std::size_t i = offset; i < end && bytes[i] != 0; ++i)
        raw.push_back(static_cast<char>(bytes[i]));
    return signal::cp1251ToUtf8(raw);
}

// Windows-1251 bytes of a UTF-8 text, cut to at most `limit` bytes (one byte per character).
std::string toStored(std::string_view utf8, std::size_t limit) {
    std::string bytes = signal::utf8ToCp1251(utf8);
    if (auto nul = bytes.find('\0'); nul != std::string::npos)
        bytes.resize(nul);
    if (bytes.size() > limit)
        bytes.resize(limit);
    return bytes;
}

void writeField(std::uint8_t* record, const Field& f, std::string_view utf8) {
    std::string bytes = toStored(utf8, f.terminated ? f.width - 1 : f.width);
    std::memset(record + f.offset, 0, f.width);
    std::memcpy(record + f.offset, bytes.data(), bytes.size());
}

// A fixed-width archive field: cut to the width, padded with spaces.
void putPadded(std::uint8_t* out, std::size_t width, std::string_view utf8) {
    std::string bytes = toStored(utf8, width);
    bytes.resize(width, ' ');
    std::memcpy(out, bytes.data(), width);
}

bool isIdChar(char c) {
    return c == ' ' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

// ---- Records and entries ----

PatientBytes encodePatientRecord(const PatientRecord& r) {
    PatientBytes out{};
    writeField(out.data(), kName, r.name);
    writeField(out.data(), kBirth, r.birthDate);
    writeField(out.data(), kSex, r.sex);
    writeField(out.data(), kBirthplace, r.birthplace);
    writeField(out.data(), kAddress, r.address);
    writeField(out.data(), kTelephone, r.telephone);
    writeField(out.data(), kPolicy, r.policy);
    writeField(out.data(), kId, r.id);
    return out;
}

PatientRecord decodePatientRecord(std::span<const std::uint8_t> b) {
    PatientRecord r;
    r.name = readField(b, kName.offset, kName.width);
    r.birthDate = readField(b, kBirth.offset, kBirth.width);
    r.sex = readField(b, kSex.offset, kSex.width);
    r.birthplace = readField(b, kBirthplace.offset, kBirthplace.width);
    r.address = readField(b, kAddress.offset, kAddress.width);
    r.telephone = readField(b, kTelephone.offset, kTelephone.width);
    r.policy = readField(b, kPolicy.offset, kPolicy.width);
    r.id = readField(b, kId.offset, kId.width);
    return r;
}

ArchiveEntry decodeArchiveEntry(std::span<const std::uint8_t> b) {
    ArchiveEntry e;
    e.number = readField(b, 0, 3);
    e.date = readField(b, 3, 10);
    e.time = readField(b, 13, 8);
    e.duration = readField(b, 21, 4);
    e.kind = readField(b, 25, 2);
    return e;
}

namespace {

// Integer of a text with leading spaces, an optional sign and digits, nothing after them.
std::optional<long> parsePadded(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || value > 100'000'000)
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

} // namespace

int ArchiveEntry::recordNumber() const {
    auto v = parsePadded(number);
    return v && *v > 0 ? static_cast<int>(*v) : 0;
}

std::optional<long> ArchiveEntry::durationSeconds() const {
    return parsePadded(duration);
}

Result<EntryBytes> encodeArchiveEntry(int number, std::string_view date, std::string_view time,
                                      const EntryDuration& duration, std::string_view kind) {
    if (number < 1 || number > kMaxRecordNumber)
        return Result<EntryBytes>::failure(ErrorCode::FieldOverflow,
                                           "record number " + std::to_string(number) +
                                               " does not fit the archive (1 to 999 entries)");
    if (duration.seconds && (*duration.seconds > kMaxDurationSeconds || *duration.seconds < -999))
        return Result<EntryBytes>::failure(ErrorCode::FieldOverflow,
                                           "duration " + std::to_string(*duration.seconds) +
                                               " s does not fit the archive (at most 9999 s)");
    EntryBytes out{};
    char num[8];
    std::snprintf(num, sizeof num, "%3d", number);
    std::memcpy(out.data(), num, 3);
    putPadded(out.data() + 3, 10, date);
    if (time.size() == 7) {
        out[13] = '0';
        putPadded(out.data() + 14, 7, time);
    } else {
        putPadded(out.data() + 13, 8, time);
    }
    if (duration.seconds) {
        char dur[16];
        std::snprintf(dur, sizeof dur, "%4ld", *duration.seconds);
        std::memcpy(out.data() + 21, dur, 4);
    } else {
        putPadded(out.data() + 21, 4, duration.text);
    }
    putPadded(out.data() + 25, 2, kind);
    return Result<EntryBytes>::success(out);
}

std::string formatDate(int day, int month, int year) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", day, month, year);
    return buf;
}

std::string formatTime(int hour, int minute, int second) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
    return buf;
}

std::string formatPatientId(std::int64_t seconds) {
    // Eight hexadecimal digits hold calendar times up to the year 2106.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8lx",
                  static_cast<unsigned long>(static_cast<std::uint64_t>(seconds) & 0xFFFFFFFFu));
    return buf;
}

std::string recordingFileName(std::string_view id, int number) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.8s_%2d.dat", std::string(id).c_str(), number);
    return buf;
}

std::string reportFileName(std::string_view id, int number) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.8s_%2d.rep", std::string(id).c_str(), number);
    return buf;
}

std::string leadsFileName(std::string_view id, int number) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.8s_%2d.lds", std::string(id).c_str(), number);
    return buf;
}

namespace {

constexpr const char* kLeadsMagic = "velkard leads 1";

std::string recordingStamp(std::span<const std::uint8_t> recording) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::uint8_t b : recording) {
        hash ^= b;
        hash *= 0x100000001b3ULL;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "recording %zu %016llx", recording.size(),
                  static_cast<unsigned long long>(hash));
    return buf;
}

} // namespace

std::string encodeLeadsFile(const LeadSet& present, std::span<const std::uint8_t> recording) {
    std::string out = std::string(kLeadsMagic) + "\nabsent";
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        if (!present[l])
            out += std::string(" ") + signal::kStandardLeadNames[l];
    return out + "\n" + recordingStamp(recording) + "\n";
}

std::optional<LeadSet> decodeLeadsFile(std::string_view file,
                                       std::span<const std::uint8_t> recording) {
    std::vector<std::string_view> lines;
    while (!file.empty()) {
        const std::size_t end = file.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt; // torn: every line ends with a line break
        lines.push_back(file.substr(0, end));
        file.remove_prefix(end + 1);
    }
    if (lines.size() < 3 || lines[0] != kLeadsMagic || !lines[1].starts_with("absent") ||
        lines[2] != recordingStamp(recording))
        return std::nullopt;
    LeadSet present;
    present.fill(true);
    std::string_view names = lines[1].substr(6);
    while (!names.empty()) {
        if (names.front() != ' ')
            return std::nullopt;
        names.remove_prefix(1);
        const std::string_view name = names.substr(0, names.find(' '));
        names.remove_prefix(name.size());
        std::size_t l = 0;
        while (l < signal::kLeadCount && name != signal::kStandardLeadNames[l])
            ++l;
        if (l == signal::kLeadCount)
            return std::nullopt;
        present[l] = false;
    }
    return present;
}

bool isValidPatientId(std::string_view id) {
    return id.size() == kIdWidth && std::all_of(id.begin(), id.end(), isIdChar) &&
           id.find_first_not_of(' ') != std::string_view::npos;
}

// ---- New patient ----

NewPatientCheck checkNewPatient(const NewPatientInput& input) {
    bool noName = input.name.empty();
    bool noPolicy = input.policy.empty();
    if (noName && noPolicy)
        return NewPatientCheck::NameAndPolicyMissing;
    if (noName)
        return NewPatientCheck::NameMissing;
    if (noPolicy)
        return NewPatientCheck::PolicyMissing;
    return NewPatientCheck::Ok;
}

PatientRecord buildPatientRecord(const NewPatientInput& input, std::string id) {
    PatientRecord r;
    r.name = input.name;
    r.sex = input.sex;
    r.birthDate = input.birthDate;
    r.birthplace = input.birthplace;
    r.address = input.address;
    r.telephone = input.telephone;
    r.policy = input.policy;
    r.id = std::move(id);
    // What is stored, read back: every field cut to its width.
    auto bytes = encodePatientRecord(r);
    return decodePatientRecord(bytes);
}

} // namespace velkard::cardfile
