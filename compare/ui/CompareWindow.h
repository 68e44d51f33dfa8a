// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison of two ECGs of one patient: their median beats overlaid (the earlier in blue,
// the later in black, one speed and gain), the measurements of both with the differences, and the
// statements that appeared and disappeared. Print writes the same as one A4 page into a PDF file.
#pragma once

#include "cardfile/CardFile.h"
#include "compare/ui/ComparePage.h"
#include "interpret/Comparison.h"
#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDialog>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace velkard::compare::ui {

// One recording as it is compared: measured and interpreted on the span its report was made on
// (the first ten seconds without a report), with what it says.
struct ComparedEcg {
    QString date, time; // the archive entry's
    int recordNumber = 0;
    std::int64_t firstRecord = 0, recordCount = 0;
    interpret::Interpretation interpretation;
    measure::MedianBeat median;
    std::array<bool, signal::kLeadCount> hidden{}; // leads absent or off: no median beat drawn
    std::optional<interpret::Report> report;       // the stored report, when made on this recording
    std::vector<interpret::SaidStatement> said;
};

// Reads, measures and interprets a recording of the card file (its report read beside it).
Result<ComparedEcg> examineRecording(const cardfile::CardFile& cardFile,
                                     const cardfile::PatientRecord& patient,
                                     const cardfile::ArchiveEntry& entry);

// Draws the median beats of both ECGs scaled to its width.
class BeatsView : public QWidget {
public:
    explicit BeatsView(QWidget* parent = nullptr) : QWidget(parent) {}
    std::vector<BeatTrace> traces;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class CompareWindow : public QDialog {
    Q_OBJECT
public:
    CompareWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                  const cardfile::PatientRecord& patient, ComparedEcg earlier, ComparedEcg later,
                  QWidget* parent = nullptr);

    void applyLanguage(velkard::ui::Language language);
    const interpret::Comparison& comparison() const { return comparison_; }
    // The page as Print writes it, in the view state's language.
    ComparePage page() const;

    QLabel* headerLabel;
    BeatsView* beatsView;
    QTreeWidget* measurementList; // quantity, earlier, later, difference
    QTreeWidget* statementList;   // change, statement
    QPushButton* Print;
    QPushButton* Close;

public slots:
    // A file dialog (through the seam), then the page into that PDF file.
    void printToPdf();

protected:
    void changeEvent(QEvent* event) override;

private:
    QString say(const char* source) const;
    velkard::ui::ViewState& state_;
    velkard::ui::Seams seams_;
    cardfile::PatientRecord patient_;
    ComparedEcg earlier_, later_;
    interpret::Comparison comparison_;
    velkard::ui::Language language_;
};

} // namespace velkard::compare::ui
