// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements window ("Измерения" / "Measurements"): rate, intervals, axes and every lead's
// R and S of the span under review, with the Sokolow-Lyon sum SV1 + RV5.
#pragma once

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
    // Relabels the window (also on QEvent::LanguageChange, in the language installed then).
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    // The text shown for a quantity.
    QString valueText(int row) const;
    QTableWidget* globalTable() const { return global_; }
    QTableWidget* leadTable() const { return leads_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void fill();

    QLabel* span_ = nullptr;
    QTableWidget* global_ = nullptr;
    QTableWidget* leads_ = nullptr;
    Measurements m_;
    double from_ = 0, length_ = 0;
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
};

} // namespace velkard::measure::ui
