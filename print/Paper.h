// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on paper in millimetres: the page's paint rectangle and resolution, the grid, texts,
// calibration marks and traces, shared by the whole-recording print and the 12-lead report.
#pragma once

#include "filter/Filters.h"

#include <QPainter>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class QPaintDevice;

namespace velkard::print {

// The paint rectangle of a page (the printable area; the whole sheet for a PDF) in device pixels
// and millimetres. Positions are millimetres from its top-left corner.
struct Paper {
    double pxPerMmX = 1;
    double pxPerMmY = 1;
    double widthMm = 0;
    double heightMm = 0;

    static Paper of(const QPaintDevice& device);
    double x(double mm) const { return mm * pxPerMmX; }
    double y(double mm) const { return mm * pxPerMmY; }
};

// The grid: lines every millimetre, heavier every 5 mm, over the whole paint rectangle, in one
// colour on every page.
inline constexpr QRgb kGridColour = qRgb(240, 150, 150);
void drawGrid(QPainter& painter, const Paper& paper);

// Text with the top of its line box at (x, top), font size in points.
void drawText(QPainter& painter, const Paper& paper, double xMm, double topMm, const QString& text,
              double pointSize, bool bold = false);
// Width of a text in millimetres.
double textWidthMm(QPainter& painter, const Paper& paper, const QString& text, double pointSize,
                   bool bold = false);

// The pen of traces and calibration marks (0.2 mm).
QPen tracePen(const Paper& paper);

// A 1 mV calibration pulse 200 ms wide at the given speed, starting at x: 1 mm of baseline, the
// pulse, 1 mm of baseline.
void drawCalibrationMark(QPainter& painter, const Paper& paper, double xMm, double baselineMm,
                         double mmPerMv, double mmPerSecond);
// Width of that mark in millimetres.
double calibrationMarkWidthMm(double mmPerSecond);

// One lead drawn from x0 at the given speed and gain: sample k at x0 + k / 800 s × speed. The
// samples are reduced to their envelope per column of 0.1 mm (or one device pixel, when that is
// wider), so every peak keeps its height. Nothing is drawn right of xEnd.
struct TraceGeometry {
    double x0Mm = 0;
    double xEndMm = 0;
    double baselineMm = 0;
    double mmPerSecond = 25;
    double mmPerMv = 10;
};
void drawTrace(QPainter& painter, const Paper& paper, const TraceGeometry& g,
               const std::int16_t* samples, std::size_t count);

// The points drawTrace joins: column from x0 (traceColumnPx wide) and sample value, the
// envelope's one or two points per column in drawing order, without the points that lie on the
// straight line between their neighbours.
struct TracePoint {
    int column = 0;
    int value = 0;
    bool operator==(const TracePoint&) const = default;
};
std::vector<TracePoint> tracePoints(const Paper& paper, const TraceGeometry& g,
                                    const std::int16_t* samples, std::size_t count);
double traceColumnPx(const Paper& paper);
// A trace point's height in the trace's frame (columns, downwards) for a value of yStep columns
// per unit, in ten-thousandths of a column (10 nm at 0.1 mm columns), as PdfDocument writes it.
std::int64_t traceHeight(int value, double yStep);
// That height as drawTrace hands it to a painter: a hair above the decimal so that Qt's engine,
// which cuts the digits it writes instead of rounding them, writes the same four decimals, and
// both PDFs rasterise to the same pixels.
double traceHeightForPainter(std::int64_t tenThousandths);

// The twelve leads of records [first, first + count) of a recording's bytes, filtered (zero phase,
// with margins of the recording around the range so that the filters have settled) and derived.
// An A2 recording's records from 8040 on carry lead II alone and are shown as they are.
using LeadSamples = std::array<std::vector<std::int16_t>, 12>;
LeadSamples leadsOf(const std::uint8_t* data, std::size_t length, std::size_t first,
                    std::size_t count, bool kindA2, const filter::FilterSettings& filters);

} // namespace velkard::print
