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

// Exports recording `number` (as the archive numbers it, from 1) of the patient with this ID.
Status exportCardFileRecording(const cardfile::CardFile& cardFile, std::string_view patientId,
                               int number, Format format, const std::filesystem::path& target);

// The same for a patient record and archive entry the caller has already read.
Status exportCardFileRecording(const cardfile::CardFile& cardFile,
                               const cardfile::PatientRecord& patient,
                               const cardfile::ArchiveEntry& entry, Format format,
                               const std::filesystem::path& target,
                               const ExportProgress& progress = {});

// A file name for the export: the patient's name and the recording's date and time, blanks and
// characters that file systems refuse turned into '_', then the format's extension
// ("Иванов_Иван_2024-03-05_14-30-00.edf").
std::string defaultExportFileName(const cardfile::PatientRecord& patient,
                                  const cardfile::ArchiveEntry& entry, Format format);

} // namespace velkard::exporting
