// SPDX-License-Identifier: GPL-3.0-or-later
// What the card file stores, byte for byte: the patient record, the archive entry and their fixed
// text formats (Windows-1251 on disk, UTF-8 in memory, cut to the field widths), and the
// new-patient record building the dialog and the command line share. No file is touched here:
// cardfile/CardFile.h reads and writes them.
#pragma once

#include "signal/Leads.h"
#include "signal/Status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velkard::cardfile {

inline constexpr std::size_t kPatientRecordBytes = 198;
inline constexpr std::size_t kArchiveEntryBytes = 27;
// Widths of the numeric archive fields ("%3ld" and "%4ld") bound what can be stored.
inline constexpr int kMaxRecordNumber = 999;
inline constexpr long kMaxDurationSeconds = 9999;

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
// "%8s_%2s.lds": the leads of that recording, beside it when it came from a file of another system
// that lacks some. Older installations do not know the file and leave it alone.
std::string leadsFileName(std::string_view id, int number);

// Which of the twelve standard leads a recording carries (signal::StandardLead order).
using LeadSet = std::array<bool, signal::kLeadCount>;
// A leads file, three lines of text:
//   "velkard leads 1"
//   "absent III aVR aVL aVF"          (the names of signal::kStandardLeadNames)
//   "recording <bytes> <FNV-1a 64 of the bytes, 16 hex digits>"
// The last line ties it to the one recording it was written for: an older installation that
// removed an entry moves the recordings one number down but not this file, which then names a
// recording that is not the one at its number.
std::string encodeLeadsFile(const LeadSet& present, std::span<const std::uint8_t> recording);
// The leads `recording` carries by its leads file; nullopt when the file cannot be read as one or
// belongs to another recording (then the recording counts as carrying all twelve).
std::optional<LeadSet> decodeLeadsFile(std::string_view file,
                                       std::span<const std::uint8_t> recording);
// The user and host this program runs as ("user@host"), for the audit log.
std::string workstationAccount();
// Eight characters of hexadecimal digits and leading spaces, as "%8lx" makes them. Anything else
// (a slash, "..", a NUL from a damaged index) is refused before it becomes part of a file name.
bool isValidPatientId(std::string_view id);

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

} // namespace velkard::cardfile
