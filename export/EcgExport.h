// SPDX-License-Identifier: GPL-3.0-or-later
// What an export writes: the patient, the recording's time, its leads and its interpretation, as
// every writer reads them.
#pragma once

#include "signal/Leads.h"
#include "signal/Recording.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::exporting {

// Patient data as the card file holds it (UTF-8).
struct Patient {
    std::string name;      // "Family Given Middle"
    std::string id;        // the card file's eight-character ID
    std::string birthDate; // dd.MM.yyyy, may be empty
    std::string sex;       // "Муж"/"men", "Жен"/"wom", or anything else for unknown
};

enum class Sex { Unknown, Male, Female };
Sex sexOf(const Patient& patient);

// Family, given and middle names from the card's one name field (words split at blanks; words
// after the third stay with the middle name).
struct PersonName {
    std::string family, given, middle;
};
PersonName splitName(std::string_view name);

struct Date {
    int year = 0, month = 0, day = 0;
};
// dd.MM.yyyy; nullopt for anything else.
std::optional<Date> parseDate(std::string_view text);

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// dd.MM.yyyy and hh:mm:ss as the card file stores them.
std::optional<DateTime> parseDateTime(std::string_view date, std::string_view time);

inline constexpr int kSampleRate = signal::kRecordsPerSecond;
inline constexpr double kMicrovoltsPerUnit = 1000.0 / signal::kUnitsPerMillivolt;
// SCP-ECG stores the amplitude step as whole nanovolts.
inline constexpr int kScpNanovoltsPerUnit = 1468;

// What identifies a DICOM object within its study, when an order or a send gives it (the UIDs
// stay the same every time the same object is written again). Empty fields are made up by the
// writer (new UIDs) or left empty. Only the DICOM export uses them.
struct DicomIdentity {
    std::string studyInstanceUid, seriesInstanceUid, sopInstanceUid;
    std::string accessionNumber;
    std::string requestedProcedureId, requestedProcedureDescription, scheduledStepId;
};

// Which of the twelve leads (signal::StandardLead order) a recording carries.
using LeadSet = std::array<bool, signal::kLeadCount>;
inline constexpr LeadSet kAllLeads{true, true, true, true, true, true,
                                   true, true, true, true, true, true};
// The leads a file is written with, from those a recording carries: aVR, aVL and aVF need two of
// I, II and III, so with fewer they go too.
LeadSet writtenLeads(const LeadSet& carried);

// One interpretation statement as the files carry it: its SCP-ECG acronym (empty for the
// physician's free text) and its text in the export's language.
struct ExportStatement {
    std::string code;
    std::string text;
    bool operator==(const ExportStatement&) const = default;
};

// What the ECG says: the confirmed report's statements with its physician and time, or the
// program's statements (unconfirmed). No statement: nothing is written of it.
struct ExportInterpretation {
    std::vector<ExportStatement> statements;
    bool confirmed = false;
    std::string physician;               // the confirming physician, when confirmed
    std::optional<DateTime> confirmedAt; // when confirmed
    bool russian = true;                 // the language of the texts
};

// Leads derived from a recording's records as a writer reads them (defined in EcgExport.cpp).
class DerivedLeads;

// The leads of one recording, ready to be written.
struct EcgExport {
    std::optional<Patient> patient;
    std::optional<DateTime> recordedAt;
    DicomIdentity identity;
    // The leads written: an absent one has no signal, channel or sequence in the file.
    LeadSet present = kAllLeads;
    ExportInterpretation interpretation;
    // Twelve leads in signal::StandardLead order. All have the same length, except in an A2
    // recording longer than its first part: there lead II runs to the end and the other eleven
    // stop after the first 8040 samples, because nothing else was recorded.
    std::array<std::vector<std::int16_t>, signal::kLeadCount> leads;
    // When set, the leads come from here, derived a piece at a time as they are written, and the
    // vectors above stay empty (streamExport): a long recording's leads are never held whole.
    std::shared_ptr<const DerivedLeads> derived;

    std::size_t samples() const;
    std::size_t twelveLeadSamples() const;
    std::size_t leadSamples(std::size_t lead) const {
        return lead == signal::StandardLeadII ? samples() : twelveLeadSamples();
    }
    bool leadIIContinuesAlone() const { return samples() > twelveLeadSamples(); }
    // The present leads' indexes, in lead order.
    std::vector<std::size_t> writtenLeadIndexes() const;
    // Samples [first, first + count) of a lead into out; first + count <= leadSamples(lead).
    void copyLead(std::size_t lead, std::size_t first, std::size_t count, std::int16_t* out) const;
};

// Told how far an export has come in seconds of the recording (done, whole); answering false stops
// it: the export fails with ErrorCode::Cancelled and the target is left as it was.
using ExportProgress = std::function<bool(std::size_t doneSeconds, std::size_t totalSeconds)>;

// The line that tells whether the interpretation was confirmed, as the printed report says it:
// "Подтверждено: <physician>, dd.MM.yyyy hh:mm:ss" or "Неподтверждённый отчёт" (in English when
// it is).
std::string interpretationStatus(const ExportInterpretation& interpretation);

// The leads of a loaded recording file, derived as the display derives them.
EcgExport deriveExport(const signal::RecordingBuffer& buffer, signal::RecordingKind kind);
// The same leads derived only as they are written, from the recording's bytes (which the export
// keeps; a mapped file's pages are given back as the writer moves on): the same files, with
// memory for a few megabytes of the recording instead of one and a half times all of it.
EcgExport streamExport(const signal::RecordingBuffer& buffer, signal::RecordingKind kind);

} // namespace velkard::exporting
