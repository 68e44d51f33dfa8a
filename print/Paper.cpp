// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/Paper.h"

#include "display/Envelope.h"
#include "display/Leads.h"
#include "signal/Recording.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QPaintDevice>
#include <QPointF>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace velkard::print {

Paper Paper::of(const QPaintDevice& device) {
    Paper p;
    p.pxPerMmX = device.logicalDpiX() / 25.4;
    p.pxPerMmY = device.logicalDpiY() / 25.4;
    p.widthMm = device.width() / p.pxPerMmX;
    p.heightMm = device.height() / p.pxPerMmY;
    return p;
}

void drawGrid(QPainter& painter, const Paper& paper) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour(kGridColour);
    QVector<QLineF> minor;
    QVector<QLineF> major;
    const double w = paper.x(paper.widthMm);
    const double h = paper.y(paper.heightMm);
    for (int mm = 0; mm <= int(paper.widthMm); ++mm)
        (mm % 5 == 0 ? major : minor).append(QLineF(paper.x(mm), 0, paper.x(mm), h));
    for (int mm = 0; mm <= int(paper.heightMm); ++mm)
        (mm % 5 == 0 ? major : minor).append(QLineF(0, paper.y(mm), w, paper.y(mm)));
    painter.setPen(QPen(colour, std::max(1.0, paper.x(0.05)), Qt::SolidLine, Qt::FlatCap));
    painter.drawLines(minor);
    painter.setPen(QPen(colour, std::max(1.0, paper.x(0.15)), Qt::SolidLine, Qt::FlatCap));
    painter.drawLines(major);
    painter.restore();
}

namespace {
QFont paperFont(QPainter& painter, double pointSize, bool bold) {
    QFont font = painter.font();
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}
} // namespace

void drawText(QPainter& painter, const Paper& paper, double xMm, double topMm, const QString& text,
              double pointSize, bool bold) {
    painter.save();
    painter.setFont(paperFont(painter, pointSize, bold));
    painter.setPen(QPen(Qt::black));
    const QFontMetricsF fm(painter.font(), painter.device());
    painter.drawText(QPointF(paper.x(xMm), paper.y(topMm) + fm.ascent()), text);
    painter.restore();
}

double textWidthMm(QPainter& painter, const Paper& paper, const QString& text, double pointSize,
                   bool bold) {
    const QFontMetricsF fm(paperFont(painter, pointSize, bold), painter.device());
    return fm.horizontalAdvance(text) / paper.pxPerMmX;
}

QPen tracePen(const Paper& paper) {
    return QPen(Qt::black, std::max(1.0, paper.x(0.2)), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

double calibrationMarkWidthMm(double mmPerSecond) {
    return 2 + 0.2 * mmPerSecond;
}

void drawCalibrationMark(QPainter& painter, const Paper& paper, double xMm, double baselineMm,
                         double mmPerMv, double mmPerSecond) {
    const double pulse = 0.2 * mmPerSecond;
    const double b = paper.y(baselineMm);
    const double t = paper.y(baselineMm - mmPerMv);
    const QPointF mark[] = {{paper.x(xMm), b},
                            {paper.x(xMm + 1), b},
                            {paper.x(xMm + 1), t},
                            {paper.x(xMm + 1 + pulse), t},
                            {paper.x(xMm + 1 + pulse), b},
                            {paper.x(xMm + 2 + pulse), b}};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(tracePen(paper));
    painter.drawPolyline(mark, 6);
    painter.restore();
}

std::vector<TracePoint> tracePoints(const Paper& paper, const TraceGeometry& g,
                                    const std::int16_t* samples, std::size_t count) {
    std::vector<TracePoint> points;
    if (count == 0 || g.mmPerSecond <= 0)
        return points;
    const double columnPx = traceColumnPx(paper);
    const double samplesPerColumn =
        signal::kRecordsPerSecond * (columnPx / paper.pxPerMmX) / g.mmPerSecond;
    const std::vector<display::ColumnSpan> columns =
        display::envelope(samples, count, samplesPerColumn);
    const double x0 = paper.x(g.x0Mm);
    const double xEnd = paper.x(g.xEndMm);
    points.reserve(columns.size() * 2);
    // A point on the straight line from the one before it to the next one (flat stretches above
    // all) changes nothing in the stroke with round joins, so it is left out: exact in whole
    // columns and sample units.
    auto add = [&points](TracePoint p) {
        while (points.size() >= 2) {
            const TracePoint a = points[points.size() - 2];
            const TracePoint b = points.back();
            const std::int64_t cross = std::int64_t(b.column - a.column) * (p.value - a.value) -
                                       std::int64_t(p.column - a.column) * (b.value - a.value);
            const std::int64_t ahead = std::int64_t(b.column - a.column) * (p.column - b.column) +
                                       std::int64_t(b.value - a.value) * (p.value - b.value);
            if (cross != 0 || ahead < 0)
                break;
            points.pop_back();
        }
        points.push_back(p);
    };
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const display::ColumnSpan& s = columns[c];
        if (s.empty)
            continue;
        if (x0 + double(c) * columnPx > xEnd)
            break;
        const int column = int(c);
        if (s.lo == s.hi) {
            add({column, s.lo});
        } else {
            add({column, s.hiFirst ? s.hi : s.lo});
            add({column, s.hiFirst ? s.lo : s.hi});
        }
    }
    return points;
}

double traceColumnPx(const Paper& paper) {
    return std::max(1.0, paper.x(0.1));
}

std::int64_t traceHeight(int value, double yStep) {
    return std::llround(-double(value) * yStep * 1e4);
}

double traceHeightForPainter(std::int64_t tenThousandths) {
    // Half a unit of the ninth decimal Qt's engine computes before it drops the digits beyond
    // nine significant ones: far below the last decimal kept, far above the double's error.
    const double v = double(tenThousandths < 0 ? -tenThousandths : tenThousandths) / 1e4 + 5e-10;
    return tenThousandths < 0 ? -v : v;
}

void drawTrace(QPainter& painter, const Paper& paper, const TraceGeometry& g,
               const std::int16_t* samples, std::size_t count) {
    const std::vector<TracePoint> points = tracePoints(paper, g, samples, count);
    if (points.empty())
        return;
    const double columnPx = traceColumnPx(paper);
    const double pxPerUnit = g.mmPerMv * paper.pxPerMmY / signal::kUnitsPerMillivolt;
    // The PDF engine writes each point as two numbers of nine significant digits. Drawn in a frame
    // of one column per unit (scaled alike in x and y, so the pen stays round), x = x0 +
    // column·columnPx is the column itself, a whole number of a few digits, and y = baseline −
    // value·pxPerUnit, in ten-thousandths of a column, at most four decimals.
    const double k = columnPx;
    const double yStep = pxPerUnit / columnPx;
    QVector<QPointF> polyline;
    polyline.reserve(qsizetype(points.size()));
    for (const TracePoint& p : points)
        polyline.append(QPointF(p.column, traceHeightForPainter(traceHeight(p.value, yStep))));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(paper.x(g.x0Mm), paper.y(g.baselineMm));
    painter.scale(k, k);
    QPen pen = tracePen(paper);
    pen.setWidthF(pen.widthF() / k);
    painter.setPen(pen);
    if (polyline.size() == 1)
        painter.drawPoint(polyline[0]);
    else
        painter.drawPolyline(polyline.constData(), int(polyline.size()));
    painter.restore();
}

LeadSamples leadsOf(const std::uint8_t* data, std::size_t length, std::size_t first,
                    std::size_t count, bool kindA2, const filter::FilterSettings& filters) {
    LeadSamples leads;
    const std::size_t records = data ? length / signal::kRecordBytes : 0;
    first = std::min(first, records);
    count = std::min(count, records - first);
    if (count == 0)
        return leads;
    // Ten seconds on either side let the filters settle as they have over the whole recording.
    const std::size_t margin = filters.any() ? 10 * std::size_t(signal::kRecordsPerSecond) : 0;
    const std::size_t from = first > margin ? first - margin : 0;
    const std::size_t to = std::min(records, first + count + margin);
    std::vector<std::uint8_t> window(data + from * signal::kRecordBytes,
                                     data + to * signal::kRecordBytes);
    const std::size_t a2Switch = signal::kA2FullRecords;
    filter::filterRecordingBytes(window, filters,
                                 kindA2 ? (a2Switch > from ? a2Switch - from : 0) : SIZE_MAX);

    for (auto& lead : leads)
        lead.resize(count);
    signal::SampleBlock block{};
    display::DerivedLeads derived{};
    const std::uint8_t* base = window.data() + (first - from) * signal::kRecordBytes;
    for (std::size_t at = 0; at < count; at += signal::kRecordsPerBlock) {
        const int n = int(std::min<std::size_t>(signal::kRecordsPerBlock, count - at));
        for (int r = 0; r < n; ++r)
            for (int ch = 0; ch < signal::kChannels; ++ch)
                block[std::size_t(r)].c[std::size_t(ch)] =
                    signal::readLe16(base + (at + std::size_t(r)) * signal::kRecordBytes + 2 * ch);
        // The A2 switch goes by the record's position in the recording.
        int position = int(std::min<std::size_t>(first + at, std::size_t(1) << 30));
        display::deriveLeads(block.data(), n, derived, kindA2 ? &position : nullptr);
        for (std::size_t l = 0; l < 12; ++l)
            std::memcpy(leads[l].data() + at, derived[l].data(), std::size_t(n) * 2);
    }
    return leads;
}

} // namespace velkard::print
