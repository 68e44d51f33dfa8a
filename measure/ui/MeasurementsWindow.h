// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements window ("Измерения" / "Measurements"): rate, intervals, axes and every lead's
// R and S of the span under review, with the Sokolow-Lyon sum SV1 + RV5.
#pragma once

#include "measure/Measurements.h"

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
    void applyLanguage(bool russian);

    // The text shown for a quantity.
    QString valueText(int row) const;
    QTableWidget* globalTable() const { return global_; }
    QTableWidget* leadTable() const { return leads_; }

private:
    void fill();

    QLabel* span_ = nullptr;
    QTableWidget* global_ = nullptr;
    QTableWidget* leads_ = nullptr;
    Measurements m_;
    double from_ = 0, length_ = 0;
    bool russian_ = true;
};

} // namespace velkard::measure::ui
