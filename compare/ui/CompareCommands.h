// SPDX-License-Identifier: GPL-3.0-or-later
// Compare in the card-file window: the user picks which other ECG of the patient the chosen one
// is compared with, and the comparison window shows both (the earlier recording first).
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace velkard::compare::ui {

// Whether entry a was recorded before entry b (date and time; the number when they are equal).
bool recordedBefore(const cardfile::ArchiveEntry& a, const cardfile::ArchiveEntry& b);

// The patient's other ECGs (not rhythmograms), newest first; the one proposed is the latest
// recorded before the chosen one, else the first listed.
class PickRecordingDialog : public QDialog {
    Q_OBJECT
public:
    PickRecordingDialog(velkard::ui::Language language,
                        const std::vector<cardfile::ArchiveEntry>& entries, std::size_t chosen,
                        QWidget* parent = nullptr);
    // The position in entries of the recording picked; -1 when none is.
    int picked() const;
    QTreeWidget* recordingList; // number, date, time, duration
    QPushButton* OK;
    QPushButton* Cancel;
};

// Gives the card-file window its Compare action.
void offerCompare(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                  velkard::ui::ViewState& state);

} // namespace velkard::compare::ui
