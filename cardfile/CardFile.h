// SPDX-License-Identifier: GPL-3.0-or-later
// The card file on disk: the patient index, one archive per patient and one recording file per
// archive entry, all below the folder DATA_BASE of a working folder. Every operation opens the
// files it needs and closes them before it returns; nothing is cached.
//
// Text is UTF-8 in memory and Windows-1251 on disk, cut to the fixed field widths when written.
#pragma once

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

inline constexpr std::size_t kPatientRecordBytes = 198;
inline constexpr std::size_t kArchiveEntryBytes = 27;
// Widths of the numeric archive fields ("%3ld" and "%4ld") bound what can be stored.
inline constexpr int kMaxRecordNumber = 999;
inline constexpr long kMaxDurationSeconds = 9999;

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

// Kind markers of an archive entry.
inline constexpr std::string_view kKindPlain = "  ";
inline constexpr std::string_view kKindA2 = "A2";
inline constexpr std::string_view kKindRhythm = "RT";

// One patient record (198 bytes on disk). Widths on disk, terminator included:
// name 30, birth date 11, sex 3 (no terminator when 3 long), birthplace 50, address 50,
// telephone 16, insurance policy 30, patient ID 8 (no terminator).
struct PatientRecord {
    std::string name;
    std::string birthDate; // dd.MM.yyyy
    std::string sex;       // "Муж"/"Жен" or "men"/"wom"
    std::string birthplace;
    std::string address;
    std::string telephone;
    std::string policy;
    std::string id; // 8 characters, "%8lx"

    bool operator==(const PatientRecord&) const = default;
};

// How many characters of each text field a record keeps (the widths above less the terminator);
// input fields accept no more.
struct PatientFieldChars {
    int name = 29;
    int sex = 3;
    int birthplace = 49;
    int address = 49;
    int telephone = 15;
    int policy = 29;
};
inline constexpr PatientFieldChars kPatientFieldChars{};

// Where each field of a patient record lies; the one definition of the layout, for the record's
// coding and for the card file's own look at the IDs.
struct RecordField {
    std::size_t offset;
    std::size_t width;
    bool terminated; // whether the stored text must leave room for a NUL
};
namespace patient_layout {
inline constexpr RecordField kName{0, 30, true};
inline constexpr RecordField kBirth{30, 11, true};
inline constexpr RecordField kSex{41, 3, false};
inline constexpr RecordField kBirthplace{44, 50, true};
inline constexpr RecordField kAddress{94, 50, true};
inline constexpr RecordField kTelephone{144, 16, true};
inline constexpr RecordField kPolicy{160, 30, true};
inline constexpr RecordField kId{190, 8, false};
inline constexpr std::size_t kRewriteBytes = kId.offset; // everything but the patient ID
static_assert(kId.offset + kId.width == kPatientRecordBytes);
} // namespace patient_layout

using PatientBytes = std::array<std::uint8_t, kPatientRecordBytes>;

// The 198 bytes of a record: Windows-1251, each field cut to its width, zero-filled after the text.
PatientBytes encodePatientRecord(const PatientRecord& record);
// Reads a record of up to 198 bytes (a short, trailing record reads its missing fields as empty).
// Each field is the text up to the first NUL or the end of the field.
PatientRecord decodePatientRecord(std::span<const std::uint8_t> bytes);

// One archive entry (27 bytes on disk), every field as stored, padding included, as UTF-8
// (the duration may be "РИТМ").
struct ArchiveEntry {
    std::string number;   // 3 characters, "%3ld"
    std::string date;     // 10 characters, dd.MM.yyyy
    std::string time;     // 8 characters, hh:mm:ss
    std::string duration; // 4 characters, "%4ld" or "РИТМ"/"RITM"
    std::string kind;     // 2 characters: "  ", "A2" or "RT"

    bool operator==(const ArchiveEntry&) const = default;

    // The number field as an integer (leading spaces allowed); 0 when it holds no number.
    int recordNumber() const;
    // The duration field as seconds (leading spaces allowed); nullopt for a rhythmogram text.
    std::optional<long> durationSeconds() const;
    bool isA2() const { return kind == kKindA2; }
    bool isRhythm() const { return kind == kKindRhythm; }
};

using EntryBytes = std::array<std::uint8_t, kArchiveEntryBytes>;

// Reads an entry of up to 27 bytes; each field is taken up to its width (or a NUL).
ArchiveEntry decodeArchiveEntry(std::span<const std::uint8_t> bytes);

// The duration of a new archive entry: seconds ("%4ld") or a 4-character text ("РИТМ"/"RITM").
struct EntryDuration {
    std::optional<long> seconds;
    std::string text; // UTF-8; used when seconds is empty

    static EntryDuration ofSeconds(long s) { return {s, {}}; }
    static EntryDuration rhythm(bool russian) { return {std::nullopt, russian ? "РИТМ" : "RITM"}; }
};

// Builds the 27 bytes of an entry. A time text of 7 characters (h:mm:ss) gets a leading "0"; other
// texts are cut or space-padded to their widths. Refuses record numbers outside 1..999 and
// durations outside the 4-character field.
Result<EntryBytes> encodeArchiveEntry(int number, std::string_view date, std::string_view time,
                                      const EntryDuration& duration, std::string_view kind);

// Fixed formats of everything stored, whatever the locale.
std::string formatDate(int day, int month, int year);     // dd.MM.yyyy
std::string formatTime(int hour, int minute, int second); // hh:mm:ss
// "%8lx" of a calendar time in seconds.
std::string formatPatientId(std::int64_t seconds);
// "%8s_%2s.dat": "4c2f9a10_ 7.dat", "4c2f9a10_12.dat".
std::string recordingFileName(std::string_view id, int number);
// "%8s_%2s.rep": the physician's report of that recording, beside it.
std::string reportFileName(std::string_view id, int number);
// The user and host this program runs as ("user@host"), for the audit log.
std::string workstationAccount();
// Eight characters of hexadecimal digits and leading spaces, as "%8lx" makes them. Anything else
// (a slash, "..", a NUL from a damaged index) is refused before it becomes part of a file name.
bool isValidPatientId(std::string_view id);

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
    Result<int> fileRecording(std::string_view id, std::span<const std::uint8_t> body,
                              std::string_view date, std::string_view time,
                              const EntryDuration& duration, std::string_view kind) const;
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
    // recordings one number down; their reports go and move with them (the audit log says so).
    // Journalled: a crash at any step is finished by the next operation on the card file.
    Status removeArchiveEntry(std::string_view id, std::size_t position) const;
    // ---- The physician's report of a recording (its bytes; interpret/Report.h reads them) ----

    // workDir/DATA_BASE/"%8s_%2s.rep".
    std::filesystem::path reportPath(std::string_view id, int number) const;
    std::filesystem::path auditLogPath() const;
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

// ---- The new-patient dialog's record building, shared with the command line ----

// The seven texts the user typed (UTF-8) and the chosen date of birth.
struct NewPatientInput {
    std::string name;
    std::string sex;
    std::string birthDate; // dd.MM.yyyy (formatDate); may be empty
    std::string birthplace;
    std::string address;
    std::string telephone;
    std::string policy;
};

enum class NewPatientCheck { Ok, NameAndPolicyMissing, NameMissing, PolicyMissing };

// Which message the dialog shows; NameMissing and PolicyMissing may both apply, so the dialog
// asks nameMissing/policyMissing separately when the result is not Ok.
NewPatientCheck checkNewPatient(const NewPatientInput& input);

// The record as it is stored: fields cut to their widths (and back to UTF-8), the given ID.
PatientRecord buildPatientRecord(const NewPatientInput& input, std::string id);

// The dialog's OK after the check: takes a new ID, creates the archive and, when appendToIndex is
// set, appends the record to the index. Fails with ArchiveCreateFailed ("Ошибка создания ID
// файла" in the dialog) or with InvalidArgument when the check fails (message names the field).
Result<PatientRecord> createNewPatient(const CardFile& cardFile, const NewPatientInput& input,
                                       bool appendToIndex);

} // namespace velkard::cardfile
