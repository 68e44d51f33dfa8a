// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace velkard::display {

DeviceCaps screenCaps() {
    DeviceCaps caps;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QScreen* screen = app ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return caps;
    const QSize px = screen->geometry().size();
    const QSizeF mm = screen->physicalSize();
    if (px.width() <= 0 || px.height() <= 0 || mm.width() < 1 || mm.height() < 1)
        return caps;
    caps.horzRes = px.width();
    caps.vertRes = px.height();
    caps.horzSize = static_cast<int>(mm.width());
    caps.vertSize = static_cast<int>(mm.height());
    return caps;
}

int clampScale(int index) {
    return std::clamp(index, 0, kScaleCount - 1);
}
int clampGroup(int index) {
    return std::clamp(index, 0, kGroupCount - 1);
}
int clampSpeed(int index) {
    return std::clamp(index, 0, kSpeedCount - 1);
}

float amplitudeGain(int scaleIndex, double vertPxPerMm) {
    const long double g = static_cast<long double>(kScaleMmPerMv[clampScale(scaleIndex)]) *
                          vertPxPerMm * (1.0L / 198.0L) * 0.3125L * 0.93L;
    return static_cast<float>(g);
}

namespace {

// A whole number of samples per column; a column must stand for at least one sample, or the
// decimation and the paging would never advance on a very dense display.
float wholeAtLeastOne(double v) {
    return static_cast<float>(std::max(1.0, v));
}

} // namespace

float screenSamplesPerColumn(int speedIndex, double horzPxPerMm) {
    const double speed = kSpeedMmPerS[clampSpeed(speedIndex)];
    if (horzPxPerMm <= 0)
        return 1.0f;
    // The rounding decision is taken on the plain quotient, the value on the one with 0.98.
    const float x = static_cast<float>(kSampleRate / (speed * horzPxPerMm));
    const double q = kSampleRate / (horzPxPerMm * 0.98 * speed);
    const float whole =
        x - std::floor(x) > 0.5f ? wholeAtLeastOne(std::ceil(q)) : wholeAtLeastOne(std::floor(q));
    // The whole number draws the trace at 800 / (whole × px/mm) mm/s. Where that is more than
    // 2.5 % off the stated speed, the exact fractional value is used instead.
    const double exact = kSampleRate / (speed * horzPxPerMm);
    if (std::abs(exact / double(whole) - 1.0) > kSpeedTolerance)
        return static_cast<float>(exact);
    return whole;
}

float printerSamplesPerColumn(int speedIndex, int pageWidthPx) {
    const double speed = kSpeedMmPerS[clampSpeed(speedIndex)];
    if (pageWidthPx <= 0)
        return 1.0f;
    const double q = kSampleRate / (pageWidthPx * (1.0 / 210.0) * 0.22 * 0.98 * speed);
    const float y = static_cast<float>(q);
    if (y - std::floor(y) > 0.5f)
        return wholeAtLeastOne(std::ceil(q));
    return wholeAtLeastOne(std::floor(q));
}

int secondsPerScreen(const DeviceCaps& caps, int speedIndex) {
    const double p = caps.horzPxPerMm();
    const double speed = kSpeedMmPerS[clampSpeed(speedIndex)];
    return static_cast<int>(std::ceil((caps.horzRes - 19.0 * p) / (p * speed)));
}

namespace {
constexpr std::array<int, kGroupCount> kRows{1, 1, 1, 3, 3, 6, 3, 3, 6, 12};
constexpr std::array<int, kGroupCount> kFirstLead{0, 1, 2, 0, 3, 0, 6, 9, 6, 0};
} // namespace

int rowCount(int groupIndex) {
    return kRows[static_cast<std::size_t>(clampGroup(groupIndex))];
}

int leadOfRow(int groupIndex, int row) {
    return kFirstLead[static_cast<std::size_t>(clampGroup(groupIndex))] + row;
}

int rowBaseline(int groupIndex, int row, const RowSpacings& s) {
    switch (clampGroup(groupIndex)) {
    case 0:
    case 1:
    case 2:
        return s.offset + s.single;
    case 5:
    case 8:
        return s.offset + (row + 1) * s.s2;
    case 9:
        return s.offset + (row + 1) * s.s3;
    default:
        return s.offset + (row + 1) * s.s1;
    }
}

void Geometry::computeVertical() {
    vertPxPerMm = caps.vertPxPerMm();
    gain = amplitudeGain(scaleIndex, vertPxPerMm);
}

void Geometry::computeHorizontal(std::optional<int> printerPageWidthPx) {
    horzPxPerMm = caps.horzPxPerMm();
    screenSamplesPerColumn = display::screenSamplesPerColumn(speedIndex, horzPxPerMm);
    if (printerPageWidthPx)
        printerSamplesPerColumn = display::printerSamplesPerColumn(speedIndex, *printerPageWidthPx);
}

} // namespace velkard::display
