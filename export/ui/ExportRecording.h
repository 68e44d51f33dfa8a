// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting a card-file recording from the card-file window: a save dialog offers the four formats
// by filter and extension, then the recording is written; the outcome is told in the interface
// language. The dialog runs through the dialog seam, so tests drive it without an event loop.
// It lives here, above both the card-file window and the exports, and is handed to the window.
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace velkard::exporting::ui {

// Name filters of the save dialog, in the order EDF+, DICOM, SCP-ECG, HL7 aECG.
QStringList exportNameFilters(velkard::ui::Language language);
inline QStringList exportNameFilters(bool russian) {
    return exportNameFilters(russian ? velkard::ui::Language::Russian
                                     : velkard::ui::Language::English);
}

// Asks for the target file (default: the patient's name and the recording's date in `folder`) and
// exports recording `entry` of `patient`. Returns true when a file was written.
bool exportWithSaveDialog(velkard::ui::Seams seams, const cardfile::CardFile& cardFile,
                          const cardfile::PatientRecord& patient,
                          const cardfile::ArchiveEntry& entry, velkard::ui::Language language,
                          const QString& folder, QWidget* owner);

// Gives the window's Export button its action: exportWithSaveDialog in the interface language of
// the moment of the click, proposing the card file's working folder. state outlives the window.
void offerExport(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                 const velkard::ui::ViewState& state);

} // namespace velkard::exporting::ui
