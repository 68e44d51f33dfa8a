// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/CardFile.h"

#include "cardfile/FileIo.h"
#include "signal/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>

namespace velkard::cardfile {

namespace fs = std::filesystem;

namespace {

struct Field {
    std::size_t offset;
    std::size_t width;
    bool terminated; // whether the stored text must leave room for a NUL
};

constexpr Field kName{0, 30, true};
constexpr Field kBirth{30, 11, true};
constexpr Field kSex{41, 3, false};
constexpr Field kBirthplace{44, 50, true};
constexpr Field kAddress{94, 50, true};
constexpr Field kTelephone{144, 16, true};
constexpr Field kPolicy{160, 30, true};
constexpr Field kId{190, 8, false};
constexpr std::size_t kRewriteBytes = 190; // everything but the patient ID
static_assert(kPatientFieldChars.name == kName.width - 1 && kPatientFieldChars.sex == kSex.width &&
              kPatientFieldChars.birthplace == kBirthplace.width - 1 &&
              kPatientFieldChars.address == kAddress.width - 1 &&
              kPatientFieldChars.telephone == kTelephone.width - 1 &&
              kPatientFieldChars.policy == kPolicy.width - 1);

constexpr std::size_t kIdWidth = 8;

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

std::string rowsMessage(std::size_t position, std::size_t rows) {
    return "position " + std::to_string(position) + " is beyond the " + std::to_string(rows) +
           " listed rows";
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

bool isValidPatientId(std::string_view id) {
    return id.size() == kIdWidth && std::all_of(id.begin(), id.end(), isIdChar) &&
           id.find_first_not_of(' ') != std::string_view::npos;
}

// ---- CardFile ----

CardFile::CardFile(fs::path workDir) : workDir_(std::move(workDir)) {}

fs::path CardFile::dataDir() const {
    return workDir_ / kDataFolder;
}
fs::path CardFile::indexPath() const {
    return dataDir() / kIndexName;
}
fs::path CardFile::archivePath(std::string_view id) const {
    return dataDir() / std::string(id);
}

fs::path CardFile::recordingPath(std::string_view id, int number) const {
    return dataDir() / recordingFileName(id, number);
}

namespace {

Status checkId(std::string_view id) {
    if (isValidPatientId(id))
        return Status::success();
    return Status::failure(ErrorCode::InvalidArgument, "invalid patient ID '" + std::string(id) +
                                                           "' (8 hexadecimal characters expected)");
}

} // namespace

Result<std::uint64_t> CardFile::openPatientIndex() const {
    std::error_code ec;
    fs::create_directory(dataDir(), ec);
    auto status = io::ensureFile(indexPath());
    if (!status)
        return Result<std::uint64_t>::failure(ErrorCode::IndexUnavailable,
                                              "cannot open or create the patient index " +
                                                  indexPath().string() + ": " + status.message);
    return Result<std::uint64_t>::success(io::fileLength(indexPath()));
}

namespace {

Result<std::vector<std::uint8_t>> readIndex(const CardFile& cf) {
    auto opened = cf.openPatientIndex();
    if (!opened)
        return Result<std::vector<std::uint8_t>>::failure(opened.code, opened.message);
    auto bytes = io::readFile(cf.indexPath());
    if (!bytes)
        return Result<std::vector<std::uint8_t>>::failure(ErrorCode::IndexUnavailable,
                                                          "cannot read the patient index " +
                                                              cf.indexPath().string());
    return Result<std::vector<std::uint8_t>>::success(std::move(*bytes));
}

std::span<const std::uint8_t> row(const std::vector<std::uint8_t>& data, std::size_t i,
                                  std::size_t size) {
    std::size_t start = i * size;
    if (start >= data.size())
        return {};
    return std::span<const std::uint8_t>(data).subspan(start, std::min(size, data.size() - start));
}

} // namespace

Result<std::vector<PatientRecord>> CardFile::listPatients() const {
    auto data = readIndex(*this);
    if (!data)
        return Result<std::vector<PatientRecord>>::failure(data.code, data.message);
    std::size_t rows = (data.value.size() + 1) / kPatientRecordBytes;
    std::vector<PatientRecord> out;
    out.reserve(rows);
    for (std::size_t i = 0; i < rows; ++i)
        out.push_back(decodePatientRecord(row(data.value, i, kPatientRecordBytes)));
    return Result<std::vector<PatientRecord>>::success(std::move(out));
}

Result<PatientRecord> CardFile::readPatient(std::size_t position) const {
    auto data = readIndex(*this);
    if (!data)
        return Result<PatientRecord>::failure(data.code, data.message);
    std::size_t rows = (data.value.size() + 1) / kPatientRecordBytes;
    if (position >= rows)
        return Result<PatientRecord>::failure(ErrorCode::OutOfRange,
                                              "patient " + rowsMessage(position, rows));
    return Result<PatientRecord>::success(
        decodePatientRecord(row(data.value, position, kPatientRecordBytes)));
}

std::string CardFile::newPatientId() const {
    std::int64_t now = clock_ ? clock_()
                              : std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
    std::set<std::string> taken;
    if (auto data = io::readFile(indexPath())) {
        std::size_t rows = (data->size() + 1) / kPatientRecordBytes;
        for (std::size_t i = 0; i < rows; ++i) {
            auto r = row(*data, i, kPatientRecordBytes);
            if (r.size() >= kId.offset + kId.width)
                taken.emplace(reinterpret_cast<const char*>(r.data() + kId.offset), kId.width);
        }
    }
    // The next second that names neither an archive nor a record keeps IDs unique and ordered.
    for (std::int64_t t = now;; ++t) {
        std::string id = formatPatientId(t);
        std::error_code ec;
        if (!taken.contains(id) && !fs::exists(archivePath(id), ec))
            return id;
    }
}

Status CardFile::createPatientArchive(std::string_view id) const {
    if (auto s = checkId(id); !s)
        return s;
    std::error_code ec;
    fs::create_directory(dataDir(), ec);
    auto s = io::ensureFile(archivePath(id));
    if (!s)
        return Status::failure(ErrorCode::ArchiveCreateFailed,
                               "cannot create the patient archive " + archivePath(id).string() +
                                   ": " + s.message);
    return Status::success();
}

Status CardFile::appendPatientRecord(const PatientRecord& record) const {
    if (auto s = checkId(record.id); !s)
        return s;
    auto opened = openPatientIndex();
    if (!opened)
        return Status::failure(opened.code, opened.message);
    // A torn trailing record is kept as a row of its own: the new record starts on the next
    // whole-record boundary.
    std::uint64_t length = opened.value;
    std::uint64_t at =
        (length + kPatientRecordBytes - 1) / kPatientRecordBytes * kPatientRecordBytes;
    std::vector<std::uint8_t> bytes(at - length, 0);
    auto rec = encodePatientRecord(record);
    bytes.insert(bytes.end(), rec.begin(), rec.end());
    auto s = io::writeAt(indexPath(), length, bytes, /*restoreLengthOnFailure=*/true);
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot write the patient index " +
                                                           indexPath().string() + ": " + s.message);
    return Status::success();
}

Status CardFile::rewritePatientRecord(std::size_t position, const PatientRecord& record) const {
    auto opened = openPatientIndex();
    if (!opened)
        return Status::failure(opened.code, opened.message);
    std::size_t rows = (opened.value + 1) / kPatientRecordBytes;
    if (position >= rows)
        return Status::failure(ErrorCode::OutOfRange, "patient " + rowsMessage(position, rows));
    auto rec = encodePatientRecord(record);
    std::vector<std::uint8_t> bytes(rec.begin(), rec.begin() + kRewriteBytes);
    auto s = io::writeAt(indexPath(), position * kPatientRecordBytes, bytes, false);
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot write the patient index " +
                                                           indexPath().string() + ": " + s.message);
    return Status::success();
}

Status CardFile::removePatient(std::size_t position, std::string_view id) const {
    if (auto s = checkId(id); !s)
        return s;
    auto data = readIndex(*this);
    if (!data)
        return Status::failure(data.code, data.message);
    const auto& bytes = data.value;
    std::size_t rows = (bytes.size() + 1) / kPatientRecordBytes;
    if (position >= rows)
        return Status::failure(ErrorCode::OutOfRange, "patient " + rowsMessage(position, rows));
    // Never delete one patient's recordings while dropping another patient's record.
    auto r = row(bytes, position, kPatientRecordBytes);
    if (r.size() == kPatientRecordBytes &&
        std::string_view(reinterpret_cast<const char*>(r.data() + kId.offset), kId.width) != id)
        return Status::failure(ErrorCode::InvalidArgument, "patient " + std::to_string(position) +
                                                               " does not carry the ID '" +
                                                               std::string(id) + "'");

    // Whole records only: a torn trailing record is dropped with the rewrite.
    std::size_t whole = bytes.size() / kPatientRecordBytes;
    std::vector<std::uint8_t> kept;
    kept.reserve(whole * kPatientRecordBytes);
    for (std::size_t i = 0; i < whole; ++i) {
        if (i == position)
            continue;
        auto src = row(bytes, i, kPatientRecordBytes);
        kept.insert(kept.end(), src.begin(), src.end());
    }
    auto s = io::replaceFile(indexPath(), dataDir() / kTempName, kept);
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot rewrite the patient index " +
                                                           indexPath().string() + ": " + s.message);

    std::uint64_t archiveLength = io::fileLength(archivePath(id));
    int count = static_cast<int>(archiveLength / kArchiveEntryBytes);
    std::error_code ec;
    for (int n = 1; n <= count; ++n)
        fs::remove(recordingPath(id, n), ec);
    fs::remove(archivePath(id), ec);
    return Status::success();
}

Result<std::vector<ArchiveEntry>> CardFile::listArchiveEntries(std::string_view id) const {
    using R = Result<std::vector<ArchiveEntry>>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    std::error_code ec;
    if (!fs::exists(archivePath(id), ec))
        return R::success({});
    auto data = io::readFile(archivePath(id));
    if (!data)
        return R::failure(ErrorCode::ArchiveOpenFailed,
                          "cannot open the patient archive " + archivePath(id).string());
    std::size_t rows = (data->size() + 1) / kArchiveEntryBytes;
    std::vector<ArchiveEntry> out;
    out.reserve(rows);
    for (std::size_t j = 0; j < rows; ++j)
        out.push_back(decodeArchiveEntry(row(*data, j, kArchiveEntryBytes)));
    return R::success(std::move(out));
}

Result<ArchiveEntry> CardFile::readArchiveEntry(std::string_view id, std::size_t position) const {
    using R = Result<ArchiveEntry>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    auto data = io::readFile(archivePath(id));
    if (!data)
        return R::failure(ErrorCode::ArchiveOpenFailed,
                          "cannot open the patient archive " + archivePath(id).string());
    std::size_t rows = (data->size() + 1) / kArchiveEntryBytes;
    if (position >= rows)
        return R::failure(ErrorCode::OutOfRange, "entry " + rowsMessage(position, rows));
    return R::success(decodeArchiveEntry(row(*data, position, kArchiveEntryBytes)));
}

int CardFile::nextRecordNumber(std::string_view id) const {
    if (!isValidPatientId(id))
        return 1;
    return static_cast<int>(io::fileLength(archivePath(id)) / kArchiveEntryBytes) + 1;
}

Status CardFile::appendArchiveEntry(std::string_view id, int number, std::string_view date,
                                    std::string_view time, const EntryDuration& duration,
                                    std::string_view kind) const {
    if (auto s = checkId(id); !s)
        return s;
    auto entry = encodeArchiveEntry(number, date, time, duration, kind);
    if (!entry)
        return Status::failure(entry.code, entry.message);
    fs::path path = archivePath(id);
    auto opened = io::ensureFile(path);
    if (!opened)
        return Status::failure(ErrorCode::ArchiveOpenFailed, "cannot open the patient archive " +
                                                                 path.string() + ": " +
                                                                 opened.message);
    // A torn trailing entry (from an interrupted write) is replaced, so entry k stays at 27 * k.
    std::uint64_t length = io::fileLength(path);
    std::uint64_t at = length / kArchiveEntryBytes * kArchiveEntryBytes;
    if (at != length) {
        auto t = io::truncateTo(path, at);
        if (!t)
            return Status::failure(ErrorCode::WriteFailed, "cannot repair the patient archive " +
                                                               path.string() + ": " + t.message);
    }
    std::vector<std::uint8_t> bytes(entry.value.begin(), entry.value.end());
    auto s = io::writeAt(path, at, bytes, /*restoreLengthOnFailure=*/true);
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot write the patient archive " +
                                                           path.string() + ": " + s.message);
    return Status::success();
}

Status CardFile::removeArchiveEntry(std::string_view id, std::size_t position) const {
    if (auto s = checkId(id); !s)
        return s;
    fs::path path = archivePath(id);
    auto data = io::readFile(path);
    if (!data)
        return Status::failure(ErrorCode::ArchiveOpenFailed,
                               "cannot open the patient archive " + path.string());
    std::size_t rows = (data->size() + 1) / kArchiveEntryBytes;
    if (position >= rows)
        return Status::failure(ErrorCode::OutOfRange, "entry " + rowsMessage(position, rows));
    std::size_t whole = data->size() / kArchiveEntryBytes;

    std::vector<std::uint8_t> kept;
    kept.reserve(whole * kArchiveEntryBytes);
    for (std::size_t k = 0; k < whole; ++k) {
        if (k == position)
            continue;
        auto src = row(*data, k, kArchiveEntryBytes);
        std::size_t at = kept.size();
        kept.insert(kept.end(), src.begin(), src.end());
        if (k > position) {
            // The entry moves one place forward and takes the number k.
            char num[16];
            std::snprintf(num, sizeof num, "%3zu", std::min<std::size_t>(k, 999));
            std::memcpy(kept.data() + at, num, 3);
        }
    }
    auto s = io::replaceFile(path, dataDir() / kTempName, kept);
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot rewrite the patient archive " +
                                                           path.string() + ": " + s.message);

    std::error_code ec;
    const int removed = static_cast<int>(position) + 1;
    fs::remove(recordingPath(id, removed), ec);
    // Increasing order never renames onto an existing file.
    for (int m = removed; m < static_cast<int>(whole); ++m) {
        fs::path from = recordingPath(id, m + 1);
        if (fs::exists(from, ec))
            fs::rename(from, recordingPath(id, m), ec);
    }
    return Status::success();
}

Status CardFile::createRecordingFile(std::string_view id, int number) const {
    if (auto s = checkId(id); !s)
        return s;
    if (number < 1 || number > kMaxRecordNumber)
        return Status::failure(ErrorCode::FieldOverflow,
                               "record number " + std::to_string(number) +
                                   " does not fit the archive (1 to 999 entries)");
    auto s = io::writeWhole(recordingPath(id, number), {});
    if (!s)
        return Status::failure(ErrorCode::WriteFailed, "cannot create the recording file " +
                                                           recordingPath(id, number).string() +
                                                           ": " + s.message);
    return Status::success();
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

Result<PatientRecord> createNewPatient(const CardFile& cardFile, const NewPatientInput& input,
                                       bool appendToIndex) {
    using R = Result<PatientRecord>;
    switch (checkNewPatient(input)) {
    case NewPatientCheck::NameAndPolicyMissing:
        return R::failure(ErrorCode::InvalidArgument,
                          "the name and the insurance policy must not be empty");
    case NewPatientCheck::NameMissing:
        return R::failure(ErrorCode::InvalidArgument, "the name must not be empty");
    case NewPatientCheck::PolicyMissing:
        return R::failure(ErrorCode::InvalidArgument, "the insurance policy must not be empty");
    case NewPatientCheck::Ok:
        break;
    }
    PatientRecord record = buildPatientRecord(input, cardFile.newPatientId());
    if (auto s = cardFile.createPatientArchive(record.id); !s)
        return R::failure(ErrorCode::ArchiveCreateFailed, s.message);
    if (appendToIndex) {
        if (auto s = cardFile.appendPatientRecord(record); !s) {
            // Leave no archive without a patient behind.
            std::error_code ec;
            if (std::filesystem::file_size(cardFile.archivePath(record.id), ec) == 0 && !ec)
                std::filesystem::remove(cardFile.archivePath(record.id), ec);
            return R::failure(s);
        }
    }
    return R::success(std::move(record));
}

} // namespace velkard::cardfile
