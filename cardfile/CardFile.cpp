// SPDX-License-Identifier: GPL-3.0-or-later
// The card file's operations on disk. Each public operation holds the card file's lock for its
// whole run: changes exclusively, reads shared. Whoever takes the lock exclusively first finishes
// a change that a crash interrupted (the journal) and removes temporary files of crashed rewrites.
#include "cardfile/CardFile.h"
#include "cardfile/FileIo.h"
#include "cardfile/Lock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <optional>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::cardfile {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kIdOffset = patient_layout::kId.offset;
constexpr std::size_t kIdWidth = patient_layout::kId.width;
constexpr std::size_t kRewriteBytes = patient_layout::kRewriteBytes;
constexpr const char* kStagePrefix = ".velkard-stage-";
constexpr const char* kJournalMagic = "velkard journal 1";

using Bytes = std::vector<std::uint8_t>;

std::string rowsMessage(std::size_t position, std::size_t rows) {
    return "position " + std::to_string(position) + " is beyond the " + std::to_string(rows) +
           " listed rows";
}

Status checkId(std::string_view id) {
    if (isValidPatientId(id))
        return Status::success();
    return Status::failure(ErrorCode::InvalidArgument, "invalid patient ID '" + std::string(id) +
                                                           "' (8 hexadecimal characters expected)");
}

std::span<const std::uint8_t> row(const Bytes& data, std::size_t i, std::size_t size) {
    std::size_t start = i * size;
    if (start >= data.size())
        return {};
    return std::span<const std::uint8_t>(data).subspan(start, std::min(size, data.size() - start));
}

fs::path journalPath(const CardFile& cf) {
    return cf.dataDir() / kJournalName;
}

fs::path stagePath(const CardFile& cf, int number) {
    return cf.dataDir() / (kStagePrefix + std::to_string(number));
}

// Files kept beside a recording under its number (the physician's report, the leads of a
// recording from a file lacking some): they go with it and move with it, each through a stage
// name of its own beside the recording's.
struct Sidecar {
    const char* what;
    fs::path (CardFile::*path)(std::string_view, int) const;
    const char* stage;
};
constexpr Sidecar kSidecars[] = {{"report", &CardFile::reportPath, "rep-"},
                                 {"lead list", &CardFile::leadsPath, "lds-"}};

fs::path sidecarPath(const CardFile& cf, const Sidecar& s, std::string_view id, int number) {
    return (cf.*s.path)(id, number);
}

fs::path sidecarStagePath(const CardFile& cf, const Sidecar& s, int number) {
    return cf.dataDir() / (kStagePrefix + std::string(s.stage) + std::to_string(number));
}

Status writeFailure(const fs::path& path, const std::string& what, const Status& s) {
    return Status::failure(ErrorCode::CannotWrite,
                           "cannot " + what + " " + path.string() + ": " + s.message);
}

std::string localStamp(std::int64_t seconds, const char* format) {
    char stamp[32] = "00000000-000000";
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (::localtime_r(&t, &local))
        std::strftime(stamp, sizeof stamp, format, &local);
    return stamp;
}

// One line of the audit log: time, account, physician, report file, what changed. Tabs and line
// breaks inside a field become spaces, so every change is exactly one line.
std::string auditLine(const CardFile& cf, const CardFile::ReportAuthor& author,
                      std::string_view subject, std::string_view what) {
    auto field = [](std::string_view text) {
        std::string out(text);
        for (char& c : out)
            if (c == '\t' || c == '\n' || c == '\r')
                c = ' ';
        return out.empty() ? std::string("-") : out;
    };
    return localStamp(cf.clockNow(), "%Y-%m-%d %H:%M:%S") + "\t" + field(author.account) + "\t" +
           field(author.physician) + "\t" + field(subject) + "\t" + field(what) + "\n";
}

Status appendAudit(const CardFile& cf, const CardFile::ReportAuthor& author,
                   std::string_view subject, std::string_view what) {
    if (auto s = io::appendToLog(cf.auditLogPath(), auditLine(cf, author, subject, what)); !s)
        return writeFailure(cf.auditLogPath(), "add to the audit log", s);
    return Status::success();
}

// ---- Unlocked steps (the caller holds the lock) ----

Result<std::uint64_t> openIndex(const CardFile& cf) {
    ::mkdir(cf.dataDir().c_str(), 0777);
    auto status = io::ensureFile(cf.indexPath());
    if (!status)
        return Result<std::uint64_t>::failure(ErrorCode::IndexUnavailable,
                                              "cannot open or create the patient index " +
                                                  cf.indexPath().string() + ": " + status.message);
    return Result<std::uint64_t>::success(io::fileLength(cf.indexPath()));
}

Result<Bytes> readIndex(const CardFile& cf) {
    auto opened = openIndex(cf);
    if (!opened)
        return Result<Bytes>::failure(opened.code, opened.message);
    auto bytes = io::readFile(cf.indexPath());
    if (!bytes)
        return Result<Bytes>::failure(ErrorCode::IndexUnavailable,
                                      "cannot read the patient index " + cf.indexPath().string());
    return Result<Bytes>::success(std::move(*bytes));
}

std::string storedId(std::span<const std::uint8_t> record) {
    return decodePatientRecord(record).id;
}

// Entries of the archive that name a recording: whole entries, plus a torn last entry whose
// recording file exists (the filing wrote the recording before the entry, so the fragment is a
// recording that was being filed; the next change completes it).
std::size_t entryCount(const CardFile& cf, std::string_view id) {
    std::uint64_t length = io::fileLength(cf.archivePath(id));
    std::size_t whole = static_cast<std::size_t>(length / kArchiveEntryBytes);
    if (length % kArchiveEntryBytes != 0 &&
        io::isRegularFile(cf.recordingPath(id, static_cast<int>(whole) + 1)))
        ++whole;
    return whole;
}

// Makes the archive whole entries only: a torn last entry whose recording exists is completed
// (missing bytes as spaces, its number set), any other torn fragment is cut off. Returns the
// number of entries.
Result<std::size_t> repairArchiveTail(const CardFile& cf, std::string_view id) {
    using R = Result<std::size_t>;
    const fs::path path = cf.archivePath(id);
    if (io::isMissing(path))
        return R::success(0);
    auto data = io::readFile(path);
    if (!data)
        return R::failure(ErrorCode::ArchiveOpenFailed,
                          "cannot open the patient archive " + path.string());
    const std::size_t whole = data->size() / kArchiveEntryBytes;
    const std::size_t torn = data->size() % kArchiveEntryBytes;
    if (torn == 0)
        return R::success(whole);
    if (io::isRegularFile(cf.recordingPath(id, static_cast<int>(whole) + 1))) {
        Bytes entry(data->begin() + static_cast<std::ptrdiff_t>(whole * kArchiveEntryBytes),
                    data->end());
        entry.resize(kArchiveEntryBytes, ' ');
        char num[16];
        std::snprintf(num, sizeof num, "%3d",
                      static_cast<int>(std::min<std::size_t>(whole + 1, 999)));
        std::memcpy(entry.data(), num, 3);
        auto s = io::writeAt(path, whole * kArchiveEntryBytes, entry, false);
        if (!s)
            return R::failure(writeFailure(path, "repair the patient archive", s));
        return R::success(whole + 1);
    }
    auto s = io::truncateTo(path, whole * kArchiveEntryBytes);
    if (!s)
        return R::failure(writeFailure(path, "repair the patient archive", s));
    return R::success(whole);
}

// Cuts a torn fragment off the end of the index, so a change never makes it a row of its own.
Result<Bytes> wholeIndex(const CardFile& cf) {
    auto data = readIndex(cf);
    if (!data)
        return data;
    const std::size_t whole = data.value.size() / kPatientRecordBytes * kPatientRecordBytes;
    if (whole != data.value.size()) {
        auto s = io::truncateTo(cf.indexPath(), whole);
        if (!s)
            return Result<Bytes>::failure(
                writeFailure(cf.indexPath(), "repair the patient index", s));
        data.value.resize(whole);
    }
    return data;
}

bool patientListed(const Bytes& index, std::string_view id) {
    const std::size_t rows = (index.size() + 1) / kPatientRecordBytes;
    for (std::size_t i = 0; i < rows; ++i)
        if (storedId(row(index, i, kPatientRecordBytes)) == id)
            return true;
    return false;
}

// The last patient ID handed out, kept beside the index: IDs are seconds, and a patient removed
// in the same second as the next one is added would otherwise give the new patient its ID, so a
// stale selection or script would file into someone else. Older installations ignore the file.
fs::path lastIdPath(const CardFile& cf) {
    return cf.dataDir() / ".velkard-last-id";
}

std::optional<std::int64_t> lastIdIssued(const CardFile& cf) {
    auto bytes = io::readFile(lastIdPath(cf), 64);
    if (!bytes)
        return std::nullopt;
    const std::string text(bytes->begin(), bytes->end());
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 16);
    if (end == text.c_str() || v < 0)
        return std::nullopt;
    return static_cast<std::int64_t>(v);
}

std::string newPatientIdUnlocked(const CardFile& cf, std::int64_t now) {
    std::set<std::string> taken;
    if (auto data = io::readFile(cf.indexPath())) {
        std::size_t rows = (data->size() + 1) / kPatientRecordBytes;
        for (std::size_t i = 0; i < rows; ++i) {
            auto r = row(*data, i, kPatientRecordBytes);
            if (r.size() >= kIdOffset + kIdWidth)
                taken.emplace(reinterpret_cast<const char*>(r.data() + kIdOffset), kIdWidth);
        }
    }
    // The next second that names neither an archive nor a record nor an ID handed out before
    // keeps IDs unique and ordered.
    std::int64_t first = now;
    if (auto last = lastIdIssued(cf); last && *last >= first)
        first = *last + 1;
    for (std::int64_t t = first;; ++t) {
        std::string id = formatPatientId(t);
        if (!taken.contains(id) && io::isMissing(cf.archivePath(id)))
            return id;
    }
}

Status createArchiveUnlocked(const CardFile& cf, std::string_view id) {
    ::mkdir(cf.dataDir().c_str(), 0777);
    auto s = io::ensureFile(cf.archivePath(id));
    if (!s)
        return Status::failure(ErrorCode::ArchiveCreateFailed,
                               "cannot create the patient archive " + cf.archivePath(id).string() +
                                   ": " + s.message);
    return Status::success();
}

Status appendRecordUnlocked(const CardFile& cf, const PatientRecord& record) {
    auto index = wholeIndex(cf);
    if (!index)
        return Status::failure(index.code, index.message);
    auto rec = encodePatientRecord(record);
    auto s = io::writeAt(cf.indexPath(), index.value.size(), rec, /*restoreLengthOnFailure=*/true);
    if (!s)
        return writeFailure(cf.indexPath(), "write the patient index", s);
    return Status::success();
}

// ---- The journal ----

// The intent record of a change of several files. Remove-entry: the archive's new bytes and
// where its recordings go; remove-patient: which record and files go.
struct Journal {
    enum class Op { RemoveEntry, RemovePatient } op = Op::RemoveEntry;
    std::string id;
    std::size_t position = 0;
    std::size_t count = 0;         // remove-entry: whole entries before; remove-patient: entries
    std::uint64_t indexLength = 0; // remove-patient: index length before the change
    int phase = 1;                 // remove-entry: 1 moving recordings aside, 2 moving them back
    Bytes archive;                 // remove-entry: the new archive
};

Bytes encodeJournal(const Journal& j) {
    std::ostringstream out;
    out << kJournalMagic << '\n'
        << (j.op == Journal::Op::RemoveEntry ? "remove-entry" : "remove-patient") << '\n'
        << '[' << j.id << "]\n"
        << j.position << '\n'
        << j.count << '\n'
        << j.indexLength << '\n'
        << j.phase << '\n'
        << j.archive.size() << '\n';
    std::string text = out.str();
    Bytes bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), j.archive.begin(), j.archive.end());
    const std::string end = "\nend\n";
    bytes.insert(bytes.end(), end.begin(), end.end());
    return bytes;
}

std::optional<Journal> decodeJournal(const Bytes& bytes) {
    std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string magic, op, id;
    Journal j;
    std::size_t archiveSize = 0;
    if (!std::getline(in, magic) || magic != kJournalMagic || !std::getline(in, op) ||
        !std::getline(in, id) || id.size() != kIdWidth + 2 || id.front() != '[' || id.back() != ']')
        return std::nullopt;
    j.id = id.substr(1, kIdWidth);
    if (op == "remove-entry")
        j.op = Journal::Op::RemoveEntry;
    else if (op == "remove-patient")
        j.op = Journal::Op::RemovePatient;
    else
        return std::nullopt;
    if (!(in >> j.position >> j.count >> j.indexLength >> j.phase >> archiveSize) ||
        in.get() != '\n')
        return std::nullopt;
    const auto at = static_cast<std::size_t>(in.tellg());
    if (!isValidPatientId(j.id) || at + archiveSize + 5 != bytes.size() ||
        text.compare(at + archiveSize, 5, "\nend\n") != 0 || j.count > 999 ||
        (j.phase != 1 && j.phase != 2))
        return std::nullopt;
    j.archive.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + archiveSize));
    return j;
}

Status writeJournal(const CardFile& cf, const Journal& j) {
    auto s = io::replaceFile(journalPath(cf), encodeJournal(j));
    if (!s)
        return writeFailure(journalPath(cf), "write the card-file journal", s);
    return Status::success();
}

Status finishJournal(const CardFile& cf) {
    if (auto s = io::removeFile(journalPath(cf)); !s)
        return writeFailure(journalPath(cf), "remove the card-file journal", s);
    io::syncFolder(cf.dataDir());
    return Status::success();
}

// Remove-entry, from whatever step a crash stopped it at. Phase 1 only ever takes names away
// (the removed recording is deleted, every later one moves to a stage name), so redoing it is
// harmless; phase 2 moves the staged recordings to their new numbers.
Status applyRemoveEntry(const CardFile& cf, Journal j) {
    const std::string& id = j.id;
    const int first = static_cast<int>(j.position) + 1; // number of the removed recording
    const int last = static_cast<int>(j.count);
    if (j.phase == 1) {
        if (auto s = io::removeFile(cf.recordingPath(id, first)); !s)
            return writeFailure(cf.recordingPath(id, first), "delete the recording", s);
        for (const Sidecar& side : kSidecars)
            if (auto s = io::removeFile(sidecarPath(cf, side, id, first)); !s)
                return writeFailure(sidecarPath(cf, side, id, first),
                                    std::string("delete the ") + side.what, s);
        for (int m = first + 1; m <= last; ++m) {
            const fs::path from = cf.recordingPath(id, m);
            if (!io::isMissing(from))
                if (auto s = io::renameFile(from, stagePath(cf, m - 1)); !s)
                    return writeFailure(from, "move the recording", s);
            for (const Sidecar& side : kSidecars) {
                const fs::path file = sidecarPath(cf, side, id, m);
                if (!io::isMissing(file))
                    if (auto s = io::renameFile(file, sidecarStagePath(cf, side, m - 1)); !s)
                        return writeFailure(file, std::string("move the ") + side.what, s);
            }
        }
        io::syncFolder(cf.dataDir());
        if (auto s = io::replaceFile(cf.archivePath(id), j.archive); !s)
            return writeFailure(cf.archivePath(id), "rewrite the patient archive", s);
        j.phase = 2;
        if (auto s = writeJournal(cf, j); !s)
            return s;
    }
    for (int t = first; t < last; ++t) {
        const fs::path staged = stagePath(cf, t);
        if (!io::isMissing(staged))
            if (auto s = io::renameFile(staged, cf.recordingPath(id, t)); !s)
                return writeFailure(cf.recordingPath(id, t), "move the recording", s);
        for (const Sidecar& side : kSidecars) {
            const fs::path staged = sidecarStagePath(cf, side, t);
            if (!io::isMissing(staged))
                if (auto s = io::renameFile(staged, sidecarPath(cf, side, id, t)); !s)
                    return writeFailure(sidecarPath(cf, side, id, t),
                                        std::string("move the ") + side.what, s);
        }
    }
    io::syncFolder(cf.dataDir());
    return finishJournal(cf);
}

Status applyRemovePatient(const CardFile& cf, const Journal& j) {
    if (io::fileLength(cf.indexPath()) == j.indexLength) {
        auto index = readIndex(cf);
        if (!index)
            return Status::failure(index.code, index.message);
        const std::size_t whole = index.value.size() / kPatientRecordBytes;
        Bytes kept;
        kept.reserve(whole * kPatientRecordBytes);
        for (std::size_t i = 0; i < whole; ++i) {
            if (i == j.position)
                continue;
            auto src = row(index.value, i, kPatientRecordBytes);
            kept.insert(kept.end(), src.begin(), src.end());
        }
        if (auto s = io::replaceFile(cf.indexPath(), kept); !s)
            return writeFailure(cf.indexPath(), "rewrite the patient index", s);
    }
    const std::uint64_t archiveLength = io::fileLength(cf.archivePath(j.id));
    const auto count = std::max<std::size_t>(
        j.count,
        static_cast<std::size_t>((archiveLength + kArchiveEntryBytes - 1) / kArchiveEntryBytes));
    for (std::size_t n = 1; n <= count && n <= 999; ++n) {
        if (auto s = io::removeFile(cf.recordingPath(j.id, static_cast<int>(n))); !s)
            return writeFailure(cf.recordingPath(j.id, static_cast<int>(n)), "delete the recording",
                                s);
        for (const Sidecar& side : kSidecars)
            if (auto s = io::removeFile(sidecarPath(cf, side, j.id, static_cast<int>(n))); !s)
                return writeFailure(sidecarPath(cf, side, j.id, static_cast<int>(n)),
                                    std::string("delete the ") + side.what, s);
    }
    if (auto s = io::removeFile(cf.archivePath(j.id)); !s)
        return writeFailure(cf.archivePath(j.id), "delete the patient archive", s);
    io::syncFolder(cf.dataDir());
    return finishJournal(cf);
}

// Removes temporary files of crashed rewrites. Rewrites make them only while they hold the lock
// exclusively, so whoever holds the lock in any mode finds none that belongs to a running one.
// Recordings written before the lock was taken are looked at only when their writer is gone, and
// only under the exclusive lock (they are created and locked under a shared one); what they hold
// is kept (io::keepIfAbandoned).
void removeStaleTemporaries(const CardFile& cf, bool exclusive) {
    DIR* dir = ::opendir(cf.dataDir().c_str());
    if (!dir)
        return;
    std::vector<std::string> stale, incoming;
    while (dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name.starts_with(io::kTempPrefix))
            stale.emplace_back(name);
        else if (name.starts_with(io::kIncomingPrefix))
            incoming.emplace_back(name);
    }
    ::closedir(dir);
    for (const auto& name : stale)
        io::removeFile(cf.dataDir() / name);
    if (exclusive)
        for (const auto& name : incoming)
            io::keepIfAbandoned(cf.dataDir() / name);
}

// Whether a decoded journal fits the files it names, so that replaying it cannot shift or drop
// a recording: remove-entry names an entry that existed, carries the archive without it (the
// entries renumbered 1..count-1) and finds the archive on disk as it was before or after the
// change; remove-patient names the ID that stands at its row while the index is as it was.
std::optional<std::string> journalMisfit(const CardFile& cf, const Journal& j) {
    if (j.op == Journal::Op::RemoveEntry) {
        if (j.position >= j.count)
            return "it removes entry " + std::to_string(j.position + 1) + " of " +
                   std::to_string(j.count);
        if (j.archive.size() != (j.count - 1) * kArchiveEntryBytes)
            return std::string("its new archive does not hold the other entries");
        for (std::size_t k = 0; k + 1 < j.count; ++k) {
            const auto number = std::string(
                reinterpret_cast<const char*>(j.archive.data()) + k * kArchiveEntryBytes, 3);
            char expected[24];
            std::snprintf(expected, sizeof expected, "%3zu", k + 1);
            if (number != expected)
                return "its new archive numbers entry " + std::to_string(k + 1) + " '" + number +
                       "'";
        }
        auto onDisk = io::readFile(cf.archivePath(j.id));
        if (!onDisk)
            return "the archive " + cf.archivePath(j.id).string() + " cannot be read";
        const bool before = onDisk->size() / kArchiveEntryBytes == j.count;
        const bool after = *onDisk == j.archive;
        if (!(j.phase == 1 ? before || after : after))
            return "the archive " + cf.archivePath(j.id).string() +
                   " is neither as it was before the change nor as after it";
        return std::nullopt;
    }
    if (io::fileLength(cf.indexPath()) == j.indexLength) {
        auto index = io::readFile(cf.indexPath());
        if (!index)
            return std::string("the patient index cannot be read");
        const std::size_t rows = (index->size() + 1) / kPatientRecordBytes;
        if (j.position >= rows)
            return "it removes patient row " + std::to_string(j.position) + " of " +
                   std::to_string(rows);
        if (storedId(row(*index, j.position, kPatientRecordBytes)) != j.id)
            return "row " + std::to_string(j.position) + " of the index is not patient " + j.id;
    }
    return std::nullopt;
}

Status damagedJournal(const fs::path& path, const std::string& why) {
    return Status::failure(ErrorCode::JournalDamaged,
                           "the card file's journal of an interrupted change " + path.string() +
                               " is damaged (" + why +
                               "); nothing was changed; 'velkard-cli repair' sets it aside");
}

// Finishes an interrupted change and removes temporary files of crashed rewrites. Runs with the
// lock held exclusively.
Status recover(const CardFile& cf) {
    const fs::path path = journalPath(cf);
    if (!io::isMissing(path)) {
        auto bytes = io::readFile(path, std::uint64_t{1} << 20);
        auto journal = bytes ? decodeJournal(*bytes) : std::nullopt;
        if (!journal)
            return damagedJournal(path, "it cannot be read");
        if (auto misfit = journalMisfit(cf, *journal))
            return damagedJournal(path, *misfit);
        Status s = journal->op == Journal::Op::RemoveEntry ? applyRemoveEntry(cf, *journal)
                                                           : applyRemovePatient(cf, *journal);
        if (!s)
            return Status::failure(s.code, "the card file cannot finish an interrupted change: " +
                                               s.message);
    }
    removeStaleTemporaries(cf, true);
    return Status::success();
}

// ---- Taking the lock ----

Status lockFailure(const CardFileLock& lock, CardFileLock::Outcome outcome) {
    return Status::failure(outcome == CardFileLock::Outcome::Busy ? ErrorCode::Busy
                                                                  : ErrorCode::IndexUnavailable,
                           lock.message());
}

Result<CardFileLock> lockForChange(const CardFile& cf) {
    CardFileLock lock;
    auto outcome = lock.acquire(cf.dataDir(), CardFileLock::Mode::Exclusive, cf.lockWait());
    if (outcome != CardFileLock::Outcome::Locked)
        return Result<CardFileLock>::failure(lockFailure(lock, outcome));
    if (auto s = recover(cf); !s)
        return Result<CardFileLock>::failure(s);
    return Result<CardFileLock>::success(std::move(lock));
}

// Whether a read also removes the temporaries of crashed rewrites. That takes a look at every
// name in DATA_BASE (110 000 in a card file of 100 000 recordings, tens of milliseconds), so only
// the listing of the index, done once as the card file is opened, and the changes do it; the
// look-ups of one patient or one archive that follow each click leave it to them.
enum class Tidy { Yes, No };

// A shared hold, or an exclusive one when an interrupted change must be finished first.
Result<CardFileLock> lockForReading(const CardFile& cf, Tidy tidy = Tidy::Yes) {
    CardFileLock lock;
    auto outcome = lock.acquire(cf.dataDir(), CardFileLock::Mode::Shared, cf.lockWait());
    if (outcome != CardFileLock::Outcome::Locked)
        return Result<CardFileLock>::failure(lockFailure(lock, outcome));
    if (io::isMissing(journalPath(cf))) {
        if (tidy == Tidy::Yes)
            removeStaleTemporaries(cf, false);
        return Result<CardFileLock>::success(std::move(lock));
    }
    lock.release();
    return lockForChange(cf);
}

std::int64_t nowSeconds(const std::function<std::int64_t()>& clock) {
    if (clock)
        return clock();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The checks and the entry of a new recording, with the lock held; `place` puts the recording
// file at the path it is given.
// A numbered recording without an entry (left by a crash between the rename and the entry) is
// somebody's ECG: it moves to an unfiled name instead of being written over by the next filing.
Status moveOrphanAside(const fs::path& orphan) {
    char stamp[32] = "00000000-000000";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = orphan.filename().string();
    std::erase(name, ' ');
    fs::path kept = orphan.parent_path() / (std::string(io::kUnfiledPrefix) + stamp + "_" + name);
    for (int n = 2; !io::isMissing(kept); ++n)
        kept = orphan.parent_path() /
               (std::string(io::kUnfiledPrefix) + stamp + "_" + std::to_string(n) + "_" + name);
    auto s = io::renameFile(orphan, kept);
    if (s)
        io::syncFolder(orphan.parent_path());
    return s;
}

// Files a recording under the next number: `place` puts it at the recording path, `unplace`
// takes it back to where it came from when the entry cannot be written, so a failed filing
// never loses the recording.
// `leads`, when not empty, is written as the recording's leads file before the recording takes
// its number, so the recording is never listed without it.
template <typename Place, typename Unplace>
Result<int> fileUnlocked(const CardFile& cf, std::string_view id, std::string_view date,
                         std::string_view time, const EntryDuration& duration,
                         std::string_view kind, Place place, Unplace unplace,
                         std::string_view leads = {}) {
    using R = Result<int>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    auto index = readIndex(cf);
    if (!index)
        return R::failure(index.code, index.message);
    if (!patientListed(index.value, id))
        return R::failure(ErrorCode::InvalidArgument,
                          "patient ID '" + std::string(id) + "' is not in the card file");
    auto count = repairArchiveTail(cf, id);
    if (!count)
        return R::failure(count.code, count.message);
    const int number = static_cast<int>(count.value) + 1;
    auto entry = encodeArchiveEntry(number, date, time, duration, kind);
    if (!entry)
        return R::failure(entry.code, entry.message);
    const fs::path archive = cf.archivePath(id);
    if (auto s = io::ensureFile(archive); !s)
        return R::failure(ErrorCode::ArchiveOpenFailed,
                          "cannot open the patient archive " + archive.string() + ": " + s.message);
    const fs::path recording = cf.recordingPath(id, number);
    if (!io::isMissing(recording) && !io::isRegularFile(recording))
        return R::failure(ErrorCode::NotRegularFile,
                          recording.string() + " is not a regular file; nothing was filed");
    if (!io::isMissing(recording))
        if (auto s = moveOrphanAside(recording); !s)
            return R::failure(ErrorCode::CannotWrite,
                              "cannot move the unlisted recording " + recording.string() +
                                  " aside: " + s.message + "; nothing was filed");
    // A report or lead list left without its recording (an older installation removed the
    // entry, or a crash came before the entry) must not become the new recording's: it is kept
    // under an unfiled name.
    for (const Sidecar& side : kSidecars) {
        const fs::path file = sidecarPath(cf, side, id, number);
        if (!io::isMissing(file))
            if (auto s = moveOrphanAside(file); !s)
                return R::failure(ErrorCode::CannotWrite,
                                  std::string("cannot move the ") + side.what +
                                      " without recording " + file.string() +
                                      " aside: " + s.message + "; nothing was filed");
    }
    const fs::path leadsFile = cf.leadsPath(id, number);
    if (!leads.empty()) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(leads.data());
        if (auto s = io::replaceFile(leadsFile, std::span(data, leads.size())); !s)
            return R::failure(ErrorCode::CannotWrite, "cannot write the lead list " +
                                                          leadsFile.string() + ": " + s.message +
                                                          "; nothing was filed");
    }
    if (auto s = place(recording); !s) {
        if (!leads.empty())
            io::removeFile(leadsFile);
        return R::failure(ErrorCode::CannotWrite,
                          "cannot write the recording " + recording.string() + ": " + s.message);
    }
    if (auto s = io::writeAt(archive, count.value * kArchiveEntryBytes, entry.value, true); !s) {
        Status failure = writeFailure(archive, "write the patient archive", s);
        if (auto back = unplace(recording); !back)
            failure.message += "; the recording stays in " + recording.string();
        if (!leads.empty())
            io::removeFile(leadsFile);
        return R::failure(failure);
    }
    return R::success(number);
}

} // namespace

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

fs::path CardFile::reportPath(std::string_view id, int number) const {
    return dataDir() / reportFileName(id, number);
}

fs::path CardFile::leadsPath(std::string_view id, int number) const {
    return dataDir() / leadsFileName(id, number);
}

fs::path CardFile::auditLogPath() const {
    return dataDir() / kAuditLogName;
}

Result<std::uint64_t> CardFile::openPatientIndex() const {
    auto lock = lockForReading(*this);
    if (!lock)
        return Result<std::uint64_t>::failure(lock.code, lock.message);
    return openIndex(*this);
}

Result<std::vector<PatientRecord>> CardFile::listPatients() const {
    using R = Result<std::vector<PatientRecord>>;
    auto lock = lockForReading(*this);
    if (!lock)
        return R::failure(lock.code, lock.message);
    auto data = readIndex(*this);
    if (!data)
        return R::failure(data.code, data.message);
    std::size_t rows = (data.value.size() + 1) / kPatientRecordBytes;
    std::vector<PatientRecord> out;
    out.reserve(rows);
    for (std::size_t i = 0; i < rows; ++i)
        out.push_back(decodePatientRecord(row(data.value, i, kPatientRecordBytes)));
    return R::success(std::move(out));
}

Result<PatientRecord> CardFile::readPatient(std::size_t position) const {
    auto lock = lockForReading(*this, Tidy::No);
    if (!lock)
        return Result<PatientRecord>::failure(lock.code, lock.message);
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
    auto lock = lockForReading(*this, Tidy::No);
    return newPatientIdUnlocked(*this, nowSeconds(clock_));
}

Status CardFile::createPatientArchive(std::string_view id) const {
    if (auto s = checkId(id); !s)
        return s;
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code == ErrorCode::Busy ? ErrorCode::Busy
                                                            : ErrorCode::ArchiveCreateFailed,
                               lock.message);
    return createArchiveUnlocked(*this, id);
}

Status CardFile::appendPatientRecord(const PatientRecord& record) const {
    if (auto s = checkId(record.id); !s)
        return s;
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    return appendRecordUnlocked(*this, record);
}

Status CardFile::rewritePatientRecord(std::size_t position, const PatientRecord& record) const {
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    auto index = wholeIndex(*this);
    if (!index)
        return Status::failure(index.code, index.message);
    std::size_t rows = index.value.size() / kPatientRecordBytes;
    if (position >= rows)
        return Status::failure(ErrorCode::OutOfRange, "patient " + rowsMessage(position, rows));
    // Another workstation may have removed a patient since the record was read: never write one
    // patient's fields into another's row.
    if (!record.id.empty() &&
        storedId(row(index.value, position, kPatientRecordBytes)) != record.id)
        return Status::failure(ErrorCode::InvalidArgument, "patient " + std::to_string(position) +
                                                               " no longer carries the ID '" +
                                                               record.id + "'");
    auto rec = encodePatientRecord(record);
    std::copy(rec.begin(), rec.begin() + kRewriteBytes,
              index.value.begin() + static_cast<std::ptrdiff_t>(position * kPatientRecordBytes));
    if (auto s = io::replaceFile(indexPath(), index.value); !s)
        return writeFailure(indexPath(), "rewrite the patient index", s);
    return Status::success();
}

Status CardFile::removePatient(std::size_t position, std::string_view id) const {
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    auto data = readIndex(*this);
    if (!data)
        return Status::failure(data.code, data.message);
    const Bytes& bytes = data.value;
    std::size_t rows = (bytes.size() + 1) / kPatientRecordBytes;
    if (position >= rows)
        return Status::failure(ErrorCode::OutOfRange, "patient " + rowsMessage(position, rows));
    // Never delete one patient's recordings while dropping another patient's record.
    const std::string stored = storedId(row(bytes, position, kPatientRecordBytes));
    if (stored != id)
        return Status::failure(ErrorCode::InvalidArgument, "patient " + std::to_string(position) +
                                                               " does not carry the ID '" +
                                                               std::string(id) + "'");
    const std::size_t whole = bytes.size() / kPatientRecordBytes;
    if (!isValidPatientId(stored)) {
        // A damaged row names no files: only the row goes (with any torn fragment).
        Bytes kept;
        for (std::size_t i = 0; i < whole; ++i) {
            if (i == position)
                continue;
            auto src = row(bytes, i, kPatientRecordBytes);
            kept.insert(kept.end(), src.begin(), src.end());
        }
        if (auto s = io::replaceFile(indexPath(), kept); !s)
            return writeFailure(indexPath(), "rewrite the patient index", s);
        return Status::success();
    }
    Journal j;
    j.op = Journal::Op::RemovePatient;
    j.id = stored;
    j.position = position;
    j.indexLength = bytes.size();
    j.count = std::min<std::size_t>(999, entryCount(*this, stored));
    int reports = 0;
    for (int n = 1; n <= static_cast<int>(j.count); ++n)
        reports += io::isMissing(reportPath(stored, n)) ? 0 : 1;
    if (reports > 0)
        if (auto s = appendAudit(*this, {"", workstationAccount()}, stored,
                                 "patient removed with " + std::to_string(reports) + " report(s)");
            !s)
            return s;
    if (auto s = writeJournal(*this, j); !s)
        return s;
    return applyRemovePatient(*this, j);
}

Result<std::vector<ArchiveEntry>> CardFile::listArchiveEntries(std::string_view id) const {
    using R = Result<std::vector<ArchiveEntry>>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    auto lock = lockForReading(*this, Tidy::No);
    if (!lock)
        return R::failure(lock.code, lock.message);
    if (io::isMissing(archivePath(id)))
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
    auto lock = lockForReading(*this, Tidy::No);
    if (!lock)
        return R::failure(lock.code, lock.message);
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
    auto lock = lockForReading(*this, Tidy::No);
    return static_cast<int>(entryCount(*this, id)) + 1;
}

Status CardFile::canAppendEntry(std::string_view id) const {
    if (auto s = checkId(id); !s)
        return s;
    auto lock = lockForReading(*this, Tidy::No);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    if (entryCount(*this, id) >= static_cast<std::size_t>(kMaxRecordNumber))
        return Status::failure(ErrorCode::FieldOverflow,
                               "the patient's archive already holds 999 recordings, as many as it "
                               "can number; remove recordings that are no longer needed");
    return Status::success();
}

Status CardFile::appendArchiveEntry(std::string_view id, int number, std::string_view date,
                                    std::string_view time, const EntryDuration& duration,
                                    std::string_view kind) const {
    if (auto s = checkId(id); !s)
        return s;
    auto entry = encodeArchiveEntry(number, date, time, duration, kind);
    if (!entry)
        return Status::failure(entry.code, entry.message);
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code == ErrorCode::Busy ? ErrorCode::Busy
                                                            : ErrorCode::ArchiveOpenFailed,
                               lock.message);
    fs::path path = archivePath(id);
    auto opened = io::ensureFile(path);
    if (!opened)
        return Status::failure(ErrorCode::ArchiveOpenFailed, "cannot open the patient archive " +
                                                                 path.string() + ": " +
                                                                 opened.message);
    auto count = repairArchiveTail(*this, id);
    if (!count)
        return Status::failure(count.code, count.message);
    // The recording was written under this number; an entry at any other place would show
    // another recording, and a number twice.
    if (static_cast<int>(count.value) + 1 != number)
        return Status::failure(ErrorCode::InvalidArgument,
                               "the patient's archive changed meanwhile: recording " +
                                   std::to_string(number) + " is no longer the next one");
    auto s = io::writeAt(path, count.value * kArchiveEntryBytes, entry.value,
                         /*restoreLengthOnFailure=*/true);
    if (!s)
        return writeFailure(path, "write the patient archive", s);
    return Status::success();
}

Result<int> CardFile::fileRecording(std::string_view id, std::span<const std::uint8_t> body,
                                    std::string_view date, std::string_view time,
                                    const EntryDuration& duration, std::string_view kind,
                                    std::string_view leads) const {
    // The recording is written before the lock is taken, so other workstations wait only for
    // the rename and the entry.
    io::IncomingFile incoming;
    {
        auto shared = lockForReading(*this);
        if (!shared)
            return Result<int>::failure(shared.code, shared.message);
        if (auto s = incoming.create(dataDir()); !s)
            return Result<int>::failure(ErrorCode::CannotWrite, "cannot write the recording in " +
                                                                    dataDir().string() + ": " +
                                                                    s.message);
    }
    if (auto s = incoming.write(body); !s)
        return Result<int>::failure(ErrorCode::CannotWrite, "cannot write the recording in " +
                                                                dataDir().string() + ": " +
                                                                s.message);
    auto lock = lockForChange(*this);
    if (!lock)
        return Result<int>::failure(lock.code, lock.message);
    return fileUnlocked(
        *this, id, date, time, duration, kind,
        [&](const fs::path& to) {
            auto s = io::renameFile(incoming.path(), to);
            if (s)
                io::syncFolder(dataDir());
            return s;
        },
        [&](const fs::path& to) { return io::renameFile(to, incoming.path()); }, leads);
}

PendingRecording::PendingRecording() = default;
PendingRecording::~PendingRecording() = default;

fs::path PendingRecording::path() const {
    return file_ ? file_->path() : fs::path();
}

void PendingRecording::discard() {
    file_.reset();
}

Status CardFile::createPendingRecording(PendingRecording& pending) const {
    pending.discard();
    auto file = std::make_unique<io::IncomingFile>();
    // Created under the lock, so a cleanup running meanwhile never sees it unlocked.
    auto shared = lockForReading(*this);
    if (!shared)
        return Status::failure(shared.code, shared.message);
    if (auto s = file->create(dataDir()); !s)
        return Status::failure(ErrorCode::CannotWrite, "cannot create a recording file in " +
                                                           dataDir().string() + ": " + s.message);
    pending.file_ = std::move(file);
    return Status::success();
}

Result<int> CardFile::fileRecordingFile(std::string_view id, const fs::path& recorded,
                                        std::string_view date, std::string_view time,
                                        const EntryDuration& duration,
                                        std::string_view kind) const {
    if (!io::isRegularFile(recorded))
        return Result<int>::failure(ErrorCode::NotRegularFile,
                                    recorded.string() + " is not a regular file");
    // Flushed before the lock is taken: the rename must not make a name for data a power cut
    // would lose, and other workstations should not wait for the disk.
    if (auto s = io::syncFile(recorded); !s)
        return Result<int>::failure(ErrorCode::CannotWrite, "cannot write the recording " +
                                                                recorded.string() + ": " +
                                                                s.message);
    auto lock = lockForChange(*this);
    if (!lock)
        return Result<int>::failure(lock.code, lock.message);
    return fileUnlocked(
        *this, id, date, time, duration, kind,
        [&](const fs::path& to) {
            if (to == recorded)
                return Status::success();
            auto s = io::renameFile(recorded, to);
            if (s)
                io::syncFolder(to.parent_path());
            return s;
        },
        [&](const fs::path& to) {
            if (to == recorded)
                return Status::success();
            auto s = io::renameFile(to, recorded);
            if (s)
                io::syncFolder(to.parent_path());
            return s;
        });
}

Result<std::string> CardFile::setDamagedJournalAside() const {
    using R = Result<std::string>;
    CardFileLock lock;
    auto outcome = lock.acquire(dataDir(), CardFileLock::Mode::Exclusive, lockWait());
    if (outcome != CardFileLock::Outcome::Locked)
        return R::failure(lockFailure(lock, outcome));
    const fs::path path = journalPath(*this);
    if (io::isMissing(path))
        return R::success(std::string());
    auto bytes = io::readFile(path, std::uint64_t{1} << 20);
    auto journal = bytes ? decodeJournal(*bytes) : std::nullopt;
    if (journal && !journalMisfit(*this, *journal))
        return R::failure(ErrorCode::InvalidArgument,
                          "the journal " + path.string() +
                              " is sound; the next change of the card file finishes it");
    // Kept, not deleted: it tells what the interrupted change was meant to do.
    char stamp[32] = "00000000-000000";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    fs::path aside = dataDir() / (std::string("velkard-damaged-journal-") + stamp);
    for (int n = 2; !io::isMissing(aside); ++n)
        aside =
            dataDir() / (std::string("velkard-damaged-journal-") + stamp + "-" + std::to_string(n));
    if (auto s = io::renameFile(path, aside); !s)
        return R::failure(writeFailure(path, "set the damaged journal aside", s));
    io::syncFolder(dataDir());
    return R::success(aside.string());
}

Status CardFile::removeArchiveEntry(std::string_view id, std::size_t position) const {
    if (auto s = checkId(id); !s)
        return s;
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    fs::path path = archivePath(id);
    if (!io::isRegularFile(path))
        return Status::failure(ErrorCode::ArchiveOpenFailed,
                               "cannot open the patient archive " + path.string());
    // A torn last entry of one byte short is listed as a row; when no recording stands behind it
    // the repair cuts it off, and that is its removal.
    const std::size_t listed =
        static_cast<std::size_t>((io::fileLength(path) + 1) / kArchiveEntryBytes);
    auto count = repairArchiveTail(*this, id);
    if (!count)
        return Status::failure(count.code, count.message);
    auto data = io::readFile(path);
    if (!data)
        return Status::failure(ErrorCode::ArchiveOpenFailed,
                               "cannot open the patient archive " + path.string());
    const std::size_t whole = data->size() / kArchiveEntryBytes;
    if (position >= whole && position + 1 == listed && listed == whole + 1)
        return Status::success();
    if (position >= whole)
        return Status::failure(ErrorCode::OutOfRange, "entry " + rowsMessage(position, whole));

    Journal j;
    j.op = Journal::Op::RemoveEntry;
    j.id = std::string(id);
    j.position = position;
    j.count = std::min<std::size_t>(whole, 999);
    j.archive.reserve(whole * kArchiveEntryBytes);
    for (std::size_t k = 0; k < whole; ++k) {
        if (k == position)
            continue;
        auto src = row(*data, k, kArchiveEntryBytes);
        std::size_t at = j.archive.size();
        j.archive.insert(j.archive.end(), src.begin(), src.end());
        if (k > position) {
            // The entry moves one place forward and takes the number k.
            char num[16];
            std::snprintf(num, sizeof num, "%3zu", std::min<std::size_t>(k, 999));
            std::memcpy(j.archive.data() + at, num, 3);
        }
    }
    // The reports go and move with their recordings; the log says so before anything changes.
    const int removed = static_cast<int>(position) + 1;
    int laterReports = 0;
    for (int m = removed + 1; m <= static_cast<int>(j.count); ++m)
        laterReports += io::isMissing(reportPath(id, m)) ? 0 : 1;
    const bool hadReport = !io::isMissing(reportPath(id, removed));
    if (hadReport || laterReports > 0) {
        std::string what = "recording " + std::to_string(removed) + " removed";
        if (hadReport)
            what += " with its report";
        if (laterReports > 0)
            what += "; " + std::to_string(laterReports) + " later report(s) renumbered one down";
        if (auto s =
                appendAudit(*this, {"", workstationAccount()}, reportFileName(id, removed), what);
            !s)
            return s;
    }
    if (auto s = writeJournal(*this, j); !s)
        return s;
    return applyRemoveEntry(*this, j);
}

Result<std::optional<std::string>> CardFile::readReport(std::string_view id, int number) const {
    using R = Result<std::optional<std::string>>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    auto lock = lockForReading(*this);
    if (!lock)
        return R::failure(lock.code, lock.message);
    const fs::path path = reportPath(id, number);
    if (io::isMissing(path))
        return R::success(std::nullopt);
    auto bytes = io::readFile(path, std::uint64_t{1} << 20);
    if (!bytes)
        return R::failure(ErrorCode::CannotRead, "cannot read the report " + path.string());
    return R::success(std::string(bytes->begin(), bytes->end()));
}

Result<std::optional<LeadSet>> CardFile::readLeads(std::string_view id, int number) const {
    using R = Result<std::optional<LeadSet>>;
    if (auto s = checkId(id); !s)
        return R::failure(s);
    auto lock = lockForReading(*this, Tidy::No);
    if (!lock)
        return R::failure(lock.code, lock.message);
    const fs::path path = leadsPath(id, number);
    if (io::isMissing(path))
        return R::success(std::nullopt);
    auto file = io::readFile(path, std::uint64_t{1} << 16);
    auto recording = io::readFile(recordingPath(id, number));
    if (!file || !recording)
        return R::failure(ErrorCode::CannotRead, "cannot read the lead list " + path.string());
    return R::success(decodeLeadsFile(
        std::string_view(reinterpret_cast<const char*>(file->data()), file->size()), *recording));
}

Status CardFile::writeReport(std::string_view id, int number, std::string_view bytes,
                             const ReportAuthor& author, std::string_view what,
                             bool keepOld) const {
    if (auto s = checkId(id); !s)
        return s;
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    // Only a recording of the archive has a report: one written for a number the archive no
    // longer holds would wait for the next recording filed under it.
    if (number < 1 || static_cast<std::size_t>(number) > entryCount(*this, id))
        return Status::failure(ErrorCode::UnknownRecording,
                               "the patient's archive holds no recording " +
                                   std::to_string(number) + "; the report was not saved");
    const fs::path path = reportPath(id, number);
    const std::string subject = reportFileName(id, number);
    if (!io::isMissing(path) && !io::isRegularFile(path))
        return Status::failure(ErrorCode::NotRegularFile,
                               path.string() + " is not a regular file; the report was not saved");
    if (keepOld && !io::isMissing(path)) {
        const std::string stamp = localStamp(clockNow(), "%Y%m%d-%H%M%S");
        fs::path aside = dataDir() / (subject + ".damaged-" + stamp);
        for (int n = 2; !io::isMissing(aside); ++n)
            aside = dataDir() / (subject + ".damaged-" + stamp + "-" + std::to_string(n));
        if (auto s = appendAudit(*this, author, subject,
                                 "unreadable report kept as " + aside.filename().string());
            !s)
            return s;
        if (auto s = io::renameFile(path, aside); !s)
            return writeFailure(path, "set the unreadable report aside", s);
        io::syncFolder(dataDir());
    }
    if (auto s = appendAudit(*this, author, subject, what); !s)
        return s;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (auto s = io::replaceFile(path, std::span(data, bytes.size())); !s) {
        Status failure = writeFailure(path, "write the report", s);
        if (auto logged = appendAudit(*this, author, subject, "not saved: " + failure.message);
            !logged)
            failure.message += "; " + logged.message;
        return failure;
    }
    return Status::success();
}

Status CardFile::logToAudit(std::string_view subject, std::string_view what) const {
    auto lock = lockForChange(*this);
    if (!lock)
        return Status::failure(lock.code, lock.message);
    return appendAudit(*this, {"", workstationAccount()}, subject, what);
}

Result<std::vector<std::string>> CardFile::readAuditLog() const {
    using R = Result<std::vector<std::string>>;
    auto lock = lockForReading(*this);
    if (!lock)
        return R::failure(lock.code, lock.message);
    if (io::isMissing(auditLogPath()))
        return R::success({});
    auto bytes = io::readFile(auditLogPath());
    if (!bytes)
        return R::failure(ErrorCode::CannotRead,
                          "cannot read the audit log " + auditLogPath().string());
    std::vector<std::string> lines;
    std::string line;
    for (std::uint8_t b : *bytes) {
        if (b == '\n') {
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line += static_cast<char>(b);
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return R::success(std::move(lines));
}

std::string workstationAccount() {
    std::string user;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        user = pw->pw_name;
    else if (const char* env = std::getenv("USER"))
        user = env;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        host[0] = '\0';
    return (user.empty() ? std::string("?") : user) + "@" + (host[0] ? host : "?");
}

// ---- New patient ----

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
    // The ID is taken, its archive created and the record appended under one hold of the lock,
    // so two workstations never take the same ID.
    auto lock = lockForChange(cardFile);
    if (!lock)
        return R::failure(lock.code == ErrorCode::Busy ? ErrorCode::Busy
                                                       : ErrorCode::ArchiveCreateFailed,
                          lock.message);
    PatientRecord record =
        buildPatientRecord(input, newPatientIdUnlocked(cardFile, cardFile.clockNow()));
    if (auto s = createArchiveUnlocked(cardFile, record.id); !s)
        return R::failure(ErrorCode::ArchiveCreateFailed, s.message);
    // Remembered before the record is appended: a crash in between wastes an ID, never reuses one.
    std::string mark = record.id;
    mark.erase(0, mark.find_first_not_of(' '));
    mark += '\n';
    if (auto s = io::replaceFile(
            lastIdPath(cardFile),
            std::span(reinterpret_cast<const std::uint8_t*>(mark.data()), mark.size()));
        !s) {
        if (io::fileLength(cardFile.archivePath(record.id)) == 0)
            io::removeFile(cardFile.archivePath(record.id));
        return R::failure(writeFailure(lastIdPath(cardFile), "write the last patient ID", s));
    }
    if (appendToIndex) {
        if (auto s = appendRecordUnlocked(cardFile, record); !s) {
            // Leave no archive without a patient behind.
            if (io::fileLength(cardFile.archivePath(record.id)) == 0)
                io::removeFile(cardFile.archivePath(record.id));
            return R::failure(s);
        }
    }
    return R::success(std::move(record));
}

std::int64_t CardFile::clockNow() const {
    return nowSeconds(clock_);
}

} // namespace velkard::cardfile
