// SPDX-License-Identifier: GPL-3.0-or-later
// The worklist window: the orders of the day for this station from the worklist server (Modality
// Worklist C-FIND, asked on a worker thread with a progress dialog, so the window keeps drawing),
// one row an order; Take finds or makes the order's patient card (net::patientForOrder) and keeps
// the order for the patient's next recording, which then carries its accession number, requested
// procedure and study.
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "net/Dicom.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <filesystem>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::net::ui {

class WorklistWindow : public QDialog {
    Q_OBJECT
public:
    WorklistWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                   std::filesystem::path workDir, QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);

    // The orders (patient, hospital ID, birth date, accession, scheduled, procedure).
    QTreeWidget* orderList;
    QLabel* statusLabel; // how many orders, or why there are none
    QPushButton* refreshButton;
    QPushButton* takeButton;
    QPushButton* closeButton;

    // Asks the worklist server for today's orders of this station and lists them; a failure is
    // said in the status line and as a message.
    void query();
    const std::vector<WorklistItem>& items() const { return items_; }
    // The card of the order taken (after Take closed the window), and whether it was made now.
    const std::optional<cardfile::PatientRecord>& taken() const { return taken_; }
    bool takenCardCreated() const { return created_; }

public slots:
    void take();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    void fill();
    const velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    std::filesystem::path workDir_;
    std::vector<WorklistItem> items_;
    std::optional<cardfile::PatientRecord> taken_;
    bool created_ = false;
};

// Gives the card-file window its Worklist button: this window; the card of the order taken is
// then chosen there and recorded for.
void offerWorklist(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                   const velkard::ui::ViewState& state, std::filesystem::path workDir);

} // namespace velkard::net::ui
