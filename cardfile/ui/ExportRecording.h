// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting a card-file recording from the card-file window: a save dialog offers the four formats
// by filter and extension, then the recording is written; the outcome is told in the interface
// language. The dialog runs through the dialog seam, so tests drive it without an event loop.
#pragma once

#include "cardfile/CardFile.h"
#include "ui/Language.h"
#include "ui/Messages.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace velkard::cardfile::ui {

// Caption of the card-file window's button.
QString exportButtonCaption(velkard::ui::Language language);
// Name filters of the save dialog, in the order EDF+, DICOM, SCP-ECG, HL7 aECG.
QStringList exportNameFilters(velkard::ui::Language language);
inline QStringList exportNameFilters(bool russian) {
    return exportNameFilters(russian ? velkard::ui::Language::Russian
                                     : velkard::ui::Language::English);
}

// Asks for the target file (default: the patient's name and the recording's date in `folder`) and
// exports recording `entry` of `patient`. Returns true when a file was written.
bool exportWithSaveDialog(velkard::ui::Seams seams, const CardFile& cardFile,
                          const PatientRecord& patient, const ArchiveEntry& entry,
                          velkard::ui::Language language, const QString& folder, QWidget* owner);

} // namespace velkard::cardfile::ui
