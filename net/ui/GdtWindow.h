// SPDX-License-Identifier: GPL-3.0-or-later
// GDT requests from practice software: the 6302 requests of the exchange folder addressed to this
// program (read on the window thread: a local folder), one row a request; Take finds or makes the
// card by the GDT patient number (net::patientForOrder) and keeps the request for the patient's
// next recording. When that recording is saved, answerGdtRequest writes the 6310 result into the
// folder and marks the request done.
#pragma once

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "net/Gdt.h"
#include "net/Settings.h"
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

// The request of that file (by its name) among the folder's 6302 requests for this program.
// NotFound when it is no longer there (answered, moved, the folder gone).
Result<GdtRequest> findGdtRequest(const NetworkSettings& settings,
                                  const std::filesystem::path& file);

// Answers the request with recording `entry` of `patient`: the report PDF beside the result in
// the exchange folder, the 6310 result (measurements, statements, the PDF linked), then the
// request renamed to FILE.done. Needs a QGuiApplication (the report is drawn). Returns the
// result's path; a failure leaves the request as it was.
Result<std::filesystem::path> answerGdtRequest(const cardfile::CardFile& cardFile,
                                               const NetworkSettings& settings,
                                               const GdtRequest& request,
                                               const cardfile::PatientRecord& patient,
                                               const cardfile::ArchiveEntry& entry, bool russian);

class GdtWindow : public QDialog {
    Q_OBJECT
public:
    GdtWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
              std::filesystem::path workDir, QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);

    // The requests (patient, birth date, sex, GDT patient number, test, file).
    QTreeWidget* requestList;
    QLabel* statusLabel; // how many requests, or why there are none
    QPushButton* refreshButton;
    QPushButton* takeButton;
    QPushButton* closeButton;

    // Reads the exchange folder and lists its requests; not set up, unreadable or empty is said
    // in the status line and as one message.
    void query();
    const std::vector<GdtRequest>& requests() const { return requests_; }
    // The card of the request taken (after Take closed the window), and whether it was made now.
    const std::optional<cardfile::PatientRecord>& taken() const { return taken_; }
    bool takenCardCreated() const { return created_; }

public slots:
    void take();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    void fill();
    void tell(const QString& text, const QString& caption);
    const velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    std::filesystem::path workDir_;
    std::vector<GdtRequest> requests_;
    std::optional<cardfile::PatientRecord> taken_;
    bool created_ = false;
};

// Gives the card-file window its "Запросы GDT" button: this window; the card of the request
// taken is then chosen there and recorded for.
void offerGdt(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
              const velkard::ui::ViewState& state, std::filesystem::path workDir);

} // namespace velkard::net::ui
