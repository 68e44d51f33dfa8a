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

void drawTrace(QPainter& painter, const Paper& paper, const TraceGeometry& g,
               const std::int16_t* samples, std::size_t count) {
    if (count == 0 || g.mmPerSecond <= 0)
        return;
    const double columnPx = std::max(1.0, paper.x(0.1));
    const double samplesPerColumn =
        signal::kRecordsPerSecond * (columnPx / paper.pxPerMmX) / g.mmPerSecond;
    const std::vector<display::ColumnSpan> columns =
        display::envelope(samples, count, samplesPerColumn);
    const double x0 = paper.x(g.x0Mm);
    const double xEnd = paper.x(g.xEndMm);
    const double base = paper.y(g.baselineMm);
    const double pxPerUnit = g.mmPerMv * paper.pxPerMmY / signal::kUnitsPerMillivolt;
    auto yOf = [&](int v) { return base - v * pxPerUnit; };
    QVector<QPointF> points;
    points.reserve(int(columns.size() * 2));
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const display::ColumnSpan& s = columns[c];
        if (s.empty)
            continue;
        const double x = x0 + double(c) * columnPx;
        if (x > xEnd)
            break;
        if (s.lo == s.hi) {
            points.append(QPointF(x, yOf(s.lo)));
        } else {
            points.append(QPointF(x, yOf(s.hiFirst ? s.hi : s.lo)));
            points.append(QPointF(x, yOf(s.hiFirst ? s.lo : s.hi)));
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(tracePen(paper));
    if (points.size() == 1)
        painter.drawPoint(points[0]);
    else
        painter.drawPolyline(points.constData(), int(points.size()));
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
