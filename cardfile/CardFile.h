// SPDX-License-Identifier: GPL-3.0-or-later
// The card file on disk: the patient index, one archive per patient and one recording file per
// archive entry, all below the folder DATA_BASE of a working folder. Every operation opens the
// files it needs and closes them before it returns; nothing is cached.
// The layout of what it stores is in cardfile/Records.h.
#pragma once

#include "cardfile/Records.h"
#include "signal/Status.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::cardfile {

inline constexpr const char* kDataFolder = "DATA_BASE";
inline constexpr const char* kIndexName = "ID_Patient_real";
// The intent record of a change of several files; present only while one runs or after a crash.
inline constexpr const char* kJournalName = ".velkard.journal";
// The log of every change of a physician's report: lines are only appended (who, when, what).
inline constexpr const char* kAuditLogName = "velkard-reports.log";
// How long a command waits for another workstation's change to finish by default.
inline constexpr std::chrono::milliseconds kDefaultLockWait{3000};

// What the windows say when the card file stays locked by another program or workstation.
inline constexpr const char* kBusyTextRussian =
    "Картотека занята: её изменяет другая программа или рабочее место. Повторите через несколько "
    "секунд.";
inline constexpr const char* kBusyTextEnglish =
    "The card file is busy: another program or workstation is changing it. Try again in a few "
    "seconds.";

namespace io {
class IncomingFile;
}

// A recording written before it is filed (Write's acquisition, which may run for minutes): a
// private file in DATA_BASE under a unique name, locked while this object lives so that no other
// workstation's cleanup takes it and no number is held meanwhile. CardFile::fileRecordingFile
// moves it to its numbered name at Save; otherwise it is deleted with the object.
class PendingRecording {
public:
    PendingRecording();
    ~PendingRecording();
    PendingRecording(const PendingRecording&) = delete;
    PendingRecording& operator=(const PendingRecording&) = delete;

    bool active() const { return file_ != nullptr; }
    // The file to write (empty when not active).
    std::filesystem::path path() const;
    // Deletes the file now (Stop without Save); a filed recording is not touched.
    void discard();

private:
    friend class CardFile;
    std::unique_ptr<io::IncomingFile> file_;
};

class CardFile {
public:
    // workDir is the folder that holds (or will hold) DATA_BASE.
    explicit CardFile(std::filesystem::path workDir);

    const std::filesystem::path& workDir() const { return workDir_; }
    std::filesystem::path dataDir() const;
    std::filesystem::path indexPath() const;
    std::filesystem::path archivePath(std::string_view id) const;

    // Clock used by newPatientId (seconds since 1970); the system clock by default.
    void setClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }
    std::int64_t clockNow() const;
    // How long an operation waits for the card file's lock before it fails with Busy.
    void setLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }
    std::chrono::milliseconds lockWait() const { return lockWait_; }

    // Makes sure DATA_BASE and the index exist (creating them empty) and returns the index length.
    Result<std::uint64_t> openPatientIndex() const;
    // One record per listed row, floor((L + 1) / 198) rows; a partial trailing row reads what is
    // there.
    Result<std::vector<PatientRecord>> listPatients() const;
    Result<PatientRecord> readPatient(std::size_t position) const;
    // "%8lx" of the clock, moved on to the next free value when an archive or an index record
    // already carries it, so two patients created in one second get different IDs.
    std::string newPatientId() const;
    // Creates the empty archive, or leaves an existing one unchanged.
    Status createPatientArchive(std::string_view id) const;
    // Writes the 198 bytes of the record at the end of the index.
    Status appendPatientRecord(const PatientRecord& record) const;
    // Writes the first 190 bytes of the record at the position; the stored patient ID stays.
    // When record.id is not empty it must be the ID stored at the position (the card file may
    // have changed since the record was read).
    Status rewritePatientRecord(std::size_t position, const PatientRecord& record) const;
    // Drops record `position` from the index (written to a new file, flushed, renamed over the old
    // one), then deletes the patient's recordings and archive; journalled, so a crash in between
    // is finished by the next operation. `id` must be the ID the record stores (as readPatient
    // gives it): when that is not a valid ID (a damaged row), only the row is dropped and no
    // other file is touched.
    Status removePatient(std::size_t position, std::string_view id) const;

    // One entry per listed row, floor((L + 1) / 27) rows; a missing archive lists nothing.
    Result<std::vector<ArchiveEntry>> listArchiveEntries(std::string_view id) const;
    // Entry j; fails with ArchiveOpenFailed when the archive cannot be opened.
    Result<ArchiveEntry> readArchiveEntry(std::string_view id, std::size_t position) const;
    // floor(L / 27) + 1 for the archive length L (1 for a missing archive); a torn last entry
    // whose recording exists counts as an entry, as the next filing completes it.
    int nextRecordNumber(std::string_view id) const;
    // Success when one more entry fits the archive; FieldOverflow (saying why) when it already
    // holds 999, so a recording can be refused before it starts.
    Status canAppendEntry(std::string_view id) const;
    // workDir/DATA_BASE/"%8s_%2s.dat".
    std::filesystem::path recordingPath(std::string_view id, int number) const;
    // Appends one entry; ArchiveOpenFailed when the archive cannot be opened, FieldOverflow when
    // the number or duration does not fit.
    Status appendArchiveEntry(std::string_view id, int number, std::string_view date,
                              std::string_view time, const EntryDuration& duration,
                              std::string_view kind) const;
    // Files a recording under one hold of the lock: takes the next record number, writes `body`
    // as its recording file (temporary file, flushed, renamed) and appends the entry. The patient
    // must be listed in the index. Returns the record number.
    // `leads`, when not empty, is the recording's leads file (encodeLeadsFile), written before
    // the recording takes its number.
    Result<int> fileRecording(std::string_view id, std::span<const std::uint8_t> body,
                              std::string_view date, std::string_view time,
                              const EntryDuration& duration, std::string_view kind,
                              std::string_view leads = {}) const;
    // Creates the private file a recording is written into before it is filed (any earlier one
    // in `pending` is deleted first). CannotWrite when DATA_BASE cannot take it.
    Status createPendingRecording(PendingRecording& pending) const;
    // The same for a recording file already written (e.g. by acquisition, into a
    // PendingRecording) in DATA_BASE: it is flushed, then under the lock renamed to the recording
    // path of the number taken.
    Result<int> fileRecordingFile(std::string_view id, const std::filesystem::path& recorded,
                                  std::string_view date, std::string_view time,
                                  const EntryDuration& duration, std::string_view kind) const;
    // Drops entry j, renumbers the later ones, deletes recording j + 1 and renames the later
    // recordings one number down; their reports and lead lists go and move with them (the audit
    // log says so of the reports).
    // Journalled: a crash at any step is finished by the next operation on the card file.
    Status removeArchiveEntry(std::string_view id, std::size_t position) const;
    // ---- The physician's report of a recording (its bytes; interpret/Report.h reads them) ----

    // workDir/DATA_BASE/"%8s_%2s.rep".
    std::filesystem::path reportPath(std::string_view id, int number) const;
    std::filesystem::path auditLogPath() const;
    // workDir/DATA_BASE/"%8s_%2s.lds": the leads of a recording filed from a file lacking some.
    std::filesystem::path leadsPath(std::string_view id, int number) const;
    // The leads recording `number` carries by its leads file; nullopt when it has none or one
    // written for another recording (all twelve, then). CannotRead when it cannot be read.
    Result<std::optional<LeadSet>> readLeads(std::string_view id, int number) const;
    // The stored report of recording `number`; nullopt when it has none. CannotRead when the
    // file is there but cannot be read.
    Result<std::optional<std::string>> readReport(std::string_view id, int number) const;
    // Who changes a report, for the audit log: the physician's name as typed (may be empty
    // before anyone confirmed) and the workstation's user@host.
    struct ReportAuthor {
        std::string physician;
        std::string account;
    };
    // Under one hold of the lock: appends "what" to the audit log, then replaces the report of
    // recording `number` (a temporary file, flushed, renamed). The recording must have an archive
    // entry. With keepOld a report file already there is first renamed to
    // "<name>.damaged-<yyyymmdd-hhmmss>" and kept (one the program could not read). Nothing is
    // written when the log cannot take the line; a report that cannot be written is logged so.
    Status writeReport(std::string_view id, int number, std::string_view bytes,
                       const ReportAuthor& author, std::string_view what,
                       bool keepOld = false) const;
    // Under the lock: appends one line about `subject` (a recording's file name) to the audit log,
    // e.g. where an imported recording came from.
    Status logToAudit(std::string_view subject, std::string_view what) const;
    // The audit log's lines as stored (empty when there is none).
    Result<std::vector<std::string>> readAuditLog() const;

    // A journal that cannot be replayed (JournalDamaged) is renamed to
    // "velkard-damaged-journal-<time>" in DATA_BASE, so the card file works again; every other
    // file stays as it is. Returns the new name, empty when there was no journal; a sound journal
    // is refused (the next change finishes it).
    Result<std::string> setDamagedJournalAside() const;

private:
    std::filesystem::path workDir_;
    std::function<std::int64_t()> clock_;
    std::chrono::milliseconds lockWait_ = kDefaultLockWait;
};

// The dialog's OK after the check: takes a new ID, creates the archive and, when appendToIndex is
// set, appends the record to the index. Fails with ArchiveCreateFailed ("Ошибка создания ID
// файла" in the dialog) or with InvalidArgument when the check fails (message names the field).
Result<PatientRecord> createNewPatient(const CardFile& cardFile, const NewPatientInput& input,
                                       bool appendToIndex);

} // namespace velkard::cardfile
