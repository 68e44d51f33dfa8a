// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements window ("Измерения" / "Measurements"): rate, intervals, axes and every lead's
// R, S, Q, R′, ST and T of the span under review, with the Sokolow-Lyon sum SV1 + RV5, and the
// interpretation's statements with their reasons, unconfirmed.
#pragma once

#include "interpret/Interpret.h"
#include "measure/Measurements.h"

#include "ui/Language.h"

#include <QDialog>

class QLabel;
class QTableWidget;

namespace velkard::measure::ui {

class MeasurementsWindow : public QDialog {
    Q_OBJECT
public:
    explicit MeasurementsWindow(QWidget* parent = nullptr);

    // Shows these measurements of the span starting fromSeconds into the recording.
    void setMeasurements(const Measurements& m, double fromSeconds, double spanSeconds);
    // Lists the statements of the same span, each with its reason.
    void setStatements(std::vector<interpret::Statement> statements);
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

protected:
    void changeEvent(QEvent* event) override;

private:
    void fill();

    QLabel* span_ = nullptr;
    QTableWidget* global_ = nullptr;
    QTableWidget* leads_ = nullptr;
    QLabel* statementsLabel_ = nullptr;
    QTableWidget* statements_ = nullptr;
    Measurements m_;
    std::vector<interpret::Statement> statementList_;
    double from_ = 0, length_ = 0;
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
};

} // namespace velkard::measure::ui
