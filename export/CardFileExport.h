// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting a recording of the card file: the patient's record and the archive entry give the
// name, ID, birth date, sex and the recording's date, time and kind. Uses the card file's read
// functions only.
#pragma once

#include "cardfile/CardFile.h"
#include "export/Export.h"

#include <string>
#include <string_view>

namespace velkard::exporting {

// Exports recording `number` (as the archive numbers it, from 1) of the patient with this ID,
// with the leads it carries (a recording filed from a file lacking some has their list beside it)
// and its interpretation (recordingInterpretation), texts in `language`.
Status exportCardFileRecording(const cardfile::CardFile& cardFile, std::string_view patientId,
                               int number, Format format, const std::filesystem::path& target,
                               interpret::Language language = interpret::Language::Russian);

// The same for a patient record and archive entry the caller has already read.
Status exportCardFileRecording(const cardfile::CardFile& cardFile,
                               const cardfile::PatientRecord& patient,
                               const cardfile::ArchiveEntry& entry, Format format,
                               const std::filesystem::path& target,
                               const ExportProgress& progress = {},
                               interpret::Language language = interpret::Language::Russian);

// The leads a card-file recording carries, by the lead list beside it (all twelve without one).
LeadSet recordingLeads(const cardfile::CardFile& cardFile, const cardfile::PatientRecord& patient,
                       const cardfile::ArchiveEntry& entry);

// What a card-file recording says: the statements of its physician's confirmed report (the one
// made on this recording) with the physician and the time; otherwise the program's statements
// of the report's span, or of the first ten seconds, with the patient's sex and age.
ExportInterpretation recordingInterpretation(const cardfile::CardFile& cardFile,
                                             const cardfile::PatientRecord& patient,
                                             const cardfile::ArchiveEntry& entry,
                                             std::span<const std::uint8_t> recording,
                                             const LeadSet& present, interpret::Language language);

// A file name for the export: the patient's name and the recording's date and time, blanks and
// characters that file systems refuse turned into '_', then the format's extension
// ("Иванов_Иван_2024-03-05_14-30-00.edf").
std::string defaultExportFileName(const cardfile::PatientRecord& patient,
                                  const cardfile::ArchiveEntry& entry, Format format);

} // namespace velkard::exporting
