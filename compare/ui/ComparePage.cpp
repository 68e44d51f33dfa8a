// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/ui/ComparePage.h"

#include "display/Leads.h"
#include "signal/SampleRecord.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPointF>
#include <QVector>
#include <algorithm>
#include <cmath>

namespace velkard::compare::ui {

namespace d = velkard::display;

namespace {

constexpr double kPanelMm = (kBeatToSeconds - kBeatFromSeconds) * kBeatMmPerSecond;
constexpr double kMarkMm = 2 + 0.2 * kBeatMmPerSecond; // print's calibration mark at this speed
constexpr double kLinePitchMm = 4.2;
constexpr double kTextPoints = 9;
constexpr int kRows[2][6] = {{d::LeadI, d::LeadII, d::LeadIII, d::LeadAVR, d::LeadAVL, d::LeadAVF},
                             {d::LeadV1, d::LeadV2, d::LeadV3, d::LeadV4, d::LeadV5, d::LeadV6}};

// The level of the PR segment just before the QRS onset (the mean of 30 to 10 ms before it), so
// both beats of a lead stand on one baseline.
double prLevel(const std::vector<float>& mv, int onset) {
    const int from = std::max(0, onset - 24), to = std::max(0, onset - 8);
    double sum = 0;
    int n = 0;
    for (int i = from; i < to && i < int(mv.size()); ++i, ++n)
        sum += mv[std::size_t(i)];
    return n ? sum / n : 0.0;
}

void drawBeat(QPainter& painter, const print::Paper& paper, const BeatTrace& t, int lead,
              double x0Mm, double baselineMm) {
    if (!t.beat || t.beat->empty() || t.hidden[std::size_t(lead)])
        return;
    const std::vector<float>& mv = t.beat->mv[std::size_t(lead)];
    if (mv.empty())
        return;
    const int onset = t.qrsOnsetAt.value_or(t.beat->before);
    const double level = prLevel(mv, onset);
    const int first = onset + int(std::lround(kBeatFromSeconds * signal::kRecordsPerSecond));
    const int last = onset + int(std::lround(kBeatToSeconds * signal::kRecordsPerSecond));
    QVector<QPointF> points;
    for (int i = std::max(0, first); i < std::min(last, int(mv.size())); ++i) {
        const double xMm = x0Mm + double(i - first) / signal::kRecordsPerSecond * kBeatMmPerSecond;
        const double yMm = baselineMm - (mv[std::size_t(i)] - level) * kBeatMmPerMv;
        points.append(QPointF(paper.x(xMm), paper.y(yMm)));
    }
    if (points.size() < 2)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen = print::tracePen(paper);
    pen.setColor(t.colour);
    painter.setPen(pen);
    painter.drawPolyline(points.constData(), int(points.size()));
    painter.restore();
}

void drawColouredText(QPainter& painter, const print::Paper& paper, double xMm, double topMm,
                      const QColor& colour, const QString& text) {
    // A short line in the trace's colour, then the text.
    painter.save();
    QPen pen = print::tracePen(paper);
    pen.setColor(colour);
    pen.setWidthF(std::max(1.0, paper.x(0.6)));
    painter.setPen(pen);
    painter.drawLine(QPointF(paper.x(xMm), paper.y(topMm + 2)),
                     QPointF(paper.x(xMm + 8), paper.y(topMm + 2)));
    painter.restore();
    print::drawText(painter, paper, xMm + 10, topMm, text, kTextPoints);
}

} // namespace

double medianBeatsWidthMm() {
    return kMarkMm + 2 + 6 * kPanelMm;
}

void drawMedianBeats(QPainter& painter, const print::Paper& paper, double xMm, double topMm,
                     double heightMm, const std::vector<BeatTrace>& traces) {
    const double rowMm = heightMm / 2;
    for (int r = 0; r < 2; ++r) {
        // The baseline a little below the middle: R waves reach higher than S waves go down.
        const double baseline = std::round(topMm + rowMm * (r + 0.58));
        print::drawCalibrationMark(painter, paper, xMm, baseline, kBeatMmPerMv, kBeatMmPerSecond);
        for (int c = 0; c < 6; ++c) {
            const int lead = kRows[r][c];
            const double x0 = xMm + kMarkMm + 2 + c * kPanelMm;
            painter.save();
            // Each lead stays within its panel: a tall R does not draw over the row above.
            painter.setClipRect(
                QRectF(paper.x(x0), paper.y(topMm + r * rowMm), paper.x(kPanelMm), paper.y(rowMm)));
            for (const BeatTrace& t : traces)
                drawBeat(painter, paper, t, lead, x0, baseline);
            painter.restore();
            print::drawText(painter, paper, x0 + 1, topMm + r * rowMm + 1,
                            QString::fromUtf8(d::kLeadLabels[std::size_t(lead)]).trimmed(), 9,
                            true);
            if (c > 0) {
                painter.save();
                painter.setPen(print::tracePen(paper));
                painter.drawLine(QPointF(paper.x(x0), paper.y(baseline - 2)),
                                 QPointF(paper.x(x0), paper.y(baseline + 2)));
                painter.restore();
            }
        }
    }
}

void drawComparePage(QPainter& painter, const print::Paper& paper, const ComparePage& page) {
    print::drawGrid(painter, paper);
    double y = 4;
    print::drawText(painter, paper, 6, y, page.title, 11, true);
    y += 6;
    for (const QString& line : page.headerLines) {
        print::drawText(painter, paper, 6, y, line, kTextPoints);
        y += kLinePitchMm;
    }
    drawColouredText(painter, paper, 6, y, QColor(page.earlier.colour), page.earlierLegend);
    y += kLinePitchMm;
    drawColouredText(painter, paper, 6, y, QColor(page.later.colour), page.laterLegend);
    print::drawText(painter, paper, std::max(6.0, paper.widthMm - 60), 4, page.scaleLine,
                    kTextPoints);
    y += kLinePitchMm + 2;

    const double beatsHeight = 80;
    drawMedianBeats(painter, paper, 6, y, beatsHeight, {page.earlier, page.later});
    y += beatsHeight + 4;

    // The measurements: four columns, the numbers right of their titles' start.
    const double columns[4] = {6, 50, 80, 110};
    for (int c = 0; c < 4; ++c)
        print::drawText(painter, paper, columns[c], y, page.columnTitles[std::size_t(c)],
                        kTextPoints, true);
    double rowY = y + kLinePitchMm + 0.5;
    for (const auto& row : page.rows) {
        for (int c = 0; c < 4; ++c)
            print::drawText(painter, paper, columns[c], rowY, row[std::size_t(c)], kTextPoints,
                            c == 3 && row[3] != QStringLiteral("—") &&
                                row[3] != QStringLiteral("0"));
        rowY += kLinePitchMm;
    }

    // The statements, right of the table.
    const double sx = 150;
    print::drawText(painter, paper, sx, y, page.statementsTitle, kTextPoints, true);
    double sy = y + kLinePitchMm + 0.5;
    for (const QString& line : page.statementLines) {
        if (sy > paper.heightMm - 6)
            break;
        print::drawText(painter, paper, sx, sy, line, kTextPoints);
        sy += kLinePitchMm;
    }
}

print::PrintResult printComparison(QPagedPaintDevice& device, const ComparePage& page) {
    device.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&device))
        return print::PrintResult::failure(ErrorCode::CannotOpen,
                                           "the printer or output file cannot be opened");
    drawComparePage(painter, print::Paper::of(device), page);
    if (!painter.end())
        return print::PrintResult::failure(ErrorCode::Failed, "printing failed", 1);
    return print::PrintResult::success(1);
}

print::PrintResult printComparisonToPdf(const QString& path, const ComparePage& page, int dpi) {
    return print::writePdf(path, dpi, QPageLayout::Landscape, [&](QPagedPaintDevice& device) {
        return printComparison(device, page);
    });
}

} // namespace velkard::compare::ui
