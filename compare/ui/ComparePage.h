// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison of two ECGs drawn on paper or on the screen: the twelve median beats of both
// overlaid in two colours at one speed and gain, the measurements side by side with their
// differences, and the statements that appeared or disappeared. The texts come in made (and
// translated) by the window; this part only lays them out, so the window and the printed page
// show the same.
#pragma once

#include "measure/Measurements.h"
#include "print/Paper.h"
#include "print/PrintJob.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

class QPagedPaintDevice;

namespace velkard::compare::ui {

// Paper speed and gain of the median beats, on the page and (scaled) on the screen.
inline constexpr double kBeatMmPerSecond = 50;
inline constexpr double kBeatMmPerMv = 10;
// Each lead shows its median beat from 0.2 s before the QRS onset to 0.64 s after it.
inline constexpr double kBeatFromSeconds = -0.20;
inline constexpr double kBeatToSeconds = 0.64;
inline constexpr QRgb kEarlierColour = qRgb(0, 90, 220); // blue
inline constexpr QRgb kLaterColour = qRgb(0, 0, 0);      // black

// One ECG's median beat and where its QRS begins (sample index into it; the fiducial point when
// the onset was not found). Both ECGs are aligned on the QRS onset.
struct BeatTrace {
    const measure::MedianBeat* beat = nullptr;
    std::optional<int> qrsOnsetAt;
    QColor colour;
    // Leads not drawn: absent from the recording (its median there is a derivation of the
    // others) or off (its channel at the amplifier's limit).
    std::array<bool, signal::kLeadCount> hidden{};
};

// The twelve leads in two rows (I, II, III, aVR, aVL, aVF | V1-V6) within [x, x + width) and
// [top, top + height) millimetres; traces drawn over each other.
void drawMedianBeats(QPainter& painter, const print::Paper& paper, double xMm, double topMm,
                     double heightMm, const std::vector<BeatTrace>& traces);
// The width the twelve leads take (the row of six panels and the calibration mark).
double medianBeatsWidthMm();

struct ComparePage {
    QString title;
    QStringList headerLines; // patient, birth date
    QString earlierLegend, laterLegend; // "Ранее: 01.02.2025 10:00:00 (заключение программы)"
    std::array<QString, 4> columnTitles; // quantity, earlier, later, difference
    std::vector<std::array<QString, 4>> rows;
    QString statementsTitle;
    QStringList statementLines; // "Появилось: …", "Исчезло: …", "Без изменений: …"
    QString scaleLine; // "50 мм/с   10 мм/мВ"
    BeatTrace earlier, later;
};

// The whole page on A4 landscape (the paint device's page).
void drawComparePage(QPainter& painter, const print::Paper& paper, const ComparePage& page);
// On an open paged device (its orientation set here), one page, and ends the document.
print::PrintResult printComparison(QPagedPaintDevice& device, const ComparePage& page);
print::PrintResult printComparisonToPdf(const QString& path, const ComparePage& page, int dpi);

} // namespace velkard::compare::ui
