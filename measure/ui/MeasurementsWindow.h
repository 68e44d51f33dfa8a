// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements window ("Измерения" / "Measurements"): rate, intervals, axes and every lead's
// R, S, Q, R′, ST and T of the span under review, with the Sokolow-Lyon sum SV1 + RV5, and the
// interpretation's statements with their reasons. On a card-file recording the physician edits
// them (adds from the table, removes, changes the text, writes free text) and confirms the report
// with a name and the time; each change is stored at once beside the recording and logged.
#pragma once

#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "measure/Measurements.h"

#include "ui/Language.h"
#include "ui/Messages.h"

#include <QDateTime>
#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QSettings;
class QTableWidget;

namespace velkard::measure::ui {

// The card-file recording the statements are of, and what editing them needs.
struct ReportContext {
    velkard::ui::Messages* messages = nullptr;
    velkard::ui::DialogRunner* dialogs = nullptr;
    std::filesystem::path workDir; // holds DATA_BASE
    std::string patientId;
    int recordNumber = 0;
    std::string recordedAt; // the archive entry's "dd.MM.yyyy hh:mm:ss"
    // Where the physician's name is remembered for this workstation (the program's own settings
    // when null).
    QSettings* settings = nullptr;
    std::function<QDateTime()> clock; // the current time when empty
};

class MeasurementsWindow : public QDialog {
    Q_OBJECT
public:
    explicit MeasurementsWindow(QWidget* parent = nullptr);

    // Shows these measurements of the span starting fromSeconds into the recording.
    void setMeasurements(const Measurements& m, double fromSeconds, double spanSeconds);
    // Lists the statements of the same span (records [firstRecord, +recordCount)), each with its
    // reason; with a report context, the stored report instead when the recording has one.
    void setStatements(std::vector<interpret::Statement> statements, std::int64_t firstRecord = 0,
                       std::int64_t recordCount = 0);
    // Editing on (a card-file recording) or off (nullopt: an imported or no recording).
    void setReportContext(std::optional<ReportContext> context);
    // The report as shown (the stored one, or the program's draft).
    const interpret::Report& report() const { return report_; }
    // Whether the shown report is the one stored beside the recording.
    bool reportStored() const { return stored_; }

    // The editing commands (the buttons under the statements).
    void addStatementFromTable();
    void removeSelectedStatement();
    void editSelectedStatement();
    void addFreeText();
    void confirmReport();
    // Relabels the window (also on QEvent::LanguageChange, in the language installed then).
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // The text shown for a quantity.
    QString valueText(int row) const;
    QTableWidget* globalTable() const { return global_; }
    // Rows: the twelve leads; columns R, S (mV), Q (ms, mV), R′, ST at J and J + 60 ms, T (mV).
    QTableWidget* leadTable() const { return leads_; }
    // Rows: the statements; columns: statement, reason.
    QTableWidget* statementTable() const { return statements_; }

signals:
    // The physician's confirmation of this card-file recording's report is stored.
    void reportConfirmed(const QString& patientId, int recordNumber);

protected:
    void changeEvent(QEvent* event) override;

private:
    void fill();
    // The stored report, or the program's draft when there is none or it cannot be used (said in
    // a message when sayProblems is set: once per recording, not at every page).
    void loadReport(bool sayProblems);
    // Stores the report as changed by one command (logged as `what`); on failure the report
    // goes back to what is stored and the message says why.
    bool store(const interpret::Report& before, const std::string& what);
    // The statement of the selected row; nullopt (with a note) when none is selected.
    std::optional<std::size_t> selectedStatement();
    // A one-line text dialog (name `object`) prefilled with `initial`; nullopt when cancelled.
    std::optional<QString> askText(const char* object, const QString& title, const QString& label,
                                   const QString& initial);
    QString rememberedPhysician() const;
    void rememberPhysician(const QString& name) const;

    QLabel* span_ = nullptr;
    QTableWidget* global_ = nullptr;
    QTableWidget* leads_ = nullptr;
    QLabel* statementsLabel_ = nullptr;
    QTableWidget* statements_ = nullptr;
    Measurements m_;
    std::vector<interpret::Statement> statementList_;
    std::int64_t statementsFirst_ = 0, statementsCount_ = 0;
    std::optional<ReportContext> context_;
    interpret::Report report_;
    bool stored_ = false;
    bool keepOld_ = false; // the stored file could not be used: set it aside on the first save
    std::vector<std::size_t> rowStatement_; // statement index of each table row
    QLabel* confirmation_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* editButton_ = nullptr;
    QPushButton* freeTextButton_ = nullptr;
    QPushButton* confirmButton_ = nullptr;
    double from_ = 0, length_ = 0;
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
};

} // namespace velkard::measure::ui
