// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CardFileExport.h"

#include "interpret/Comparison.h"
#include "interpret/Report.h"

#include <algorithm>
#include <cstdio>

namespace velkard::exporting {

namespace {

constexpr std::int64_t kTenSeconds = 10 * kSampleRate;

// Sex and age on the recording's day, which some criteria's thresholds depend on.
interpret::Patient interpretPatient(const cardfile::PatientRecord& p, const std::string& date) {
    interpret::Patient out;
    const Sex s = sexOf({p.name, p.id, p.birthDate, p.sex});
    out.sex = s == Sex::Male     ? interpret::Sex::Male
              : s == Sex::Female ? interpret::Sex::Female
                                 : interpret::Sex::Unknown;
    const auto born = parseDate(p.birthDate);
    const auto on = parseDate(date);
    if (born && on) {
        int age = on->year - born->year;
        if (on->month < born->month || (on->month == born->month && on->day < born->day))
            --age;
        if (age >= 0)
            out.ageYears = age;
    }
    return out;
}

} // namespace

LeadSet recordingLeads(const cardfile::CardFile& cardFile, const cardfile::PatientRecord& patient,
                       const cardfile::ArchiveEntry& entry) {
    if (auto leads = cardFile.readLeads(patient.id, entry.recordNumber()); leads && leads.value)
        return writtenLeads(*leads.value);
    return kAllLeads;
}

ExportInterpretation recordingInterpretation(const cardfile::CardFile& cardFile,
                                             const cardfile::PatientRecord& patient,
                                             const cardfile::ArchiveEntry& entry,
                                             std::span<const std::uint8_t> recording,
                                             const LeadSet& present, interpret::Language language) {
    std::optional<interpret::Report> report;
    if (auto stored = cardFile.readReport(patient.id, entry.recordNumber());
        stored && stored.value) {
        auto decoded = interpret::decodeReport(*stored.value);
        if (decoded && decoded.value.recordedAt == entry.date + " " + entry.time)
            report = std::move(decoded.value);
    }
    if (report && report->confirmed()) {
        ExportInterpretation out;
        out.russian = language == interpret::Language::Russian;
        for (const interpret::SaidStatement& s : interpret::saidStatements(&*report, {}))
            out.statements.push_back({s.code, s.textIn(language)});
        out.confirmed = true;
        out.physician = report->physician;
        const std::string& at = report->confirmedAt;
        if (at.size() == 19)
            out.confirmedAt = parseDateTime(at.substr(0, 10), at.substr(11));
        return out;
    }
    const std::int64_t first = report ? report->firstRecord : 0;
    const std::int64_t count =
        report && report->recordCount > 0 ? report->recordCount : kTenSeconds;
    return programInterpretation(recording, entry.isA2(), first, count, present,
                                 interpretPatient(patient, entry.date), language);
}

Status exportCardFileRecording(const cardfile::CardFile& cardFile,
                               const cardfile::PatientRecord& patient,
                               const cardfile::ArchiveEntry& entry, Format format,
                               const std::filesystem::path& target, const ExportProgress& progress,
                               interpret::Language language) {
    const std::filesystem::path recording =
        cardFile.recordingPath(patient.id, entry.recordNumber());
    if (entry.isRhythm())
        return Status::failure(ErrorCode::NotAnEcg,
                               "Cannot export " + recording.string() +
                                   ": a rhythmogram holds beat intervals, not ECG samples");
    const auto kind = entry.isA2() ? signal::RecordingKind::A2 : signal::RecordingKind::Plain;
    if (auto s = checkFormatHolds(recording, kind, format); !s)
        return s;
    signal::RecordingBuffer buffer;
    if (auto s = signal::loadRecording(recording, buffer); !s)
        return Status::failure(ErrorCode::CannotReadRecording, s.message);
    if (progress && !progress(0, buffer.records() / kSampleRate))
        return Status::failure(ErrorCode::Cancelled, "export cancelled");
    EcgExport ecg = streamExport(buffer, kind);
    ecg.patient = Patient{patient.name, patient.id, patient.birthDate, patient.sex};
    ecg.recordedAt = parseDateTime(entry.date, entry.time);
    ecg.present = recordingLeads(cardFile, patient, entry);
    ecg.interpretation =
        recordingInterpretation(cardFile, patient, entry,
                                {buffer.bytes.data(), buffer.bytes.size()}, ecg.present, language);
    return writeExport(ecg, format, target, progress);
}

Status exportCardFileRecording(const cardfile::CardFile& cardFile, std::string_view patientId,
                               int number, Format format, const std::filesystem::path& target,
                               interpret::Language language) {
    auto patients = cardFile.listPatients();
    if (!patients)
        return Status::failure(ErrorCode::CannotReadRecording, patients.message);
    auto patient =
        std::find_if(patients.value.begin(), patients.value.end(),
                     [&](const cardfile::PatientRecord& p) { return p.id == patientId; });
    if (patient == patients.value.end())
        return Status::failure(ErrorCode::UnknownPatient, "No patient with ID '" +
                                                              std::string(patientId) +
                                                              "' in the card file");
    auto entries = cardFile.listArchiveEntries(patient->id);
    if (!entries)
        return Status::failure(ErrorCode::CannotReadRecording, entries.message);
    auto entry =
        std::find_if(entries.value.begin(), entries.value.end(),
                     [&](const cardfile::ArchiveEntry& e) { return e.recordNumber() == number; });
    if (entry == entries.value.end())
        return Status::failure(ErrorCode::UnknownRecording, "Patient '" + std::string(patientId) +
                                                                "' has no recording " +
                                                                std::to_string(number));
    return exportCardFileRecording(cardFile, *patient, *entry, format, target, {}, language);
}

std::string defaultExportFileName(const cardfile::PatientRecord& patient,
                                  const cardfile::ArchiveEntry& entry, Format format) {
    std::string name;
    for (char c : patient.name) {
        const auto u = static_cast<unsigned char>(c);
        const bool refused = u < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' ||
                             c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
        name.push_back(refused || c == ' ' ? '_' : c);
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    while (!name.empty() && name.front() == '_')
        name.erase(name.begin());
    if (name.empty() || name == "." || name == "..")
        name = "ECG";
    if (auto t = parseDateTime(entry.date, entry.time)) {
        char stamp[40];
        std::snprintf(stamp, sizeof stamp, "_%04d-%02d-%02d_%02d-%02d-%02d", t->year, t->month,
                      t->day, t->hour, t->minute, t->second);
        name += stamp;
    }
    return name + std::string(formatExtension(format));
}

} // namespace velkard::exporting
