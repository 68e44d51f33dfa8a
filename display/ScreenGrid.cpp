// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/ScreenGrid.h"

#include "display/Canvas.h"
#include "display/Envelope.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velkard::display {

namespace {

// The column, relative to the trace's first sample, that sample offset d falls into (left of the
// trace too, for the grid under the calibration marks).
std::int64_t columnOfOffset(std::int64_t d, double samplesPerColumn) {
    if (d >= 0)
        return columnOfSample(d, samplesPerColumn);
    return static_cast<std::int64_t>(std::floor(double(d) / samplesPerColumn));
}

} // namespace

std::vector<std::pair<int, bool>> ScreenGrid::horizontalLines() const {
    std::vector<std::pair<int, bool>> rows;
    const double square = 5 * layout_.vertPxPerMm;
    if (square <= 0)
        return rows;
    const auto kFirst =
        static_cast<std::int64_t>(std::floor((layout_.top - layout_.baseline) / square) - 1);
    const auto kLast =
        static_cast<std::int64_t>(std::ceil((layout_.bottom - layout_.baseline) / square) + 1);
    for (std::int64_t k = kFirst; k <= kLast; ++k) {
        // The same arithmetic as the calibration mark's top, baseline − 10 mm; the millimetres
        // between from the same origin, so the lines never drift against the big ones.
        for (int mm = 0; mm < 5; ++mm) {
            const int y =
                static_cast<int>(std::floor(layout_.baseline + (double(k) + mm / 5.0) * square));
            if (y >= layout_.top && y < layout_.bottom)
                rows.emplace_back(y, mm == 0);
        }
    }
    return rows;
}

void ScreenGrid::setLayout(const GridLayout& layout) {
    if (ready_ && layout == layout_)
        return;
    layout_ = layout;
    ready_ = true;
    const int height = std::max(0, layout_.bottom - layout_.top);
    rowKind_.assign(std::size_t(height), Plain);
    for (const auto& [y, big] : horizontalLines()) {
        auto& kind = rowKind_[std::size_t(y - layout_.top)];
        kind = big ? Major : (kind == Major ? Major : Minor);
    }
}

std::vector<std::pair<int, bool>> ScreenGrid::verticalLines(int from, int to, int xZero,
                                                            std::int64_t firstSample) const {
    std::vector<std::pair<int, bool>> out;
    const double spc = layout_.samplesPerColumn > 0 ? layout_.samplesPerColumn : 1.0;
    // A millimetre of the stated speed: 4000 / 5 / (mm/s) samples, a whole number at every speed.
    const std::int64_t mm = std::max(1, layout_.samplesPerBigSquare / 5);
    const auto lo = static_cast<std::int64_t>(std::floor((from - xZero - 1) * spc)) + firstSample;
    const auto hi = static_cast<std::int64_t>(std::ceil((to - xZero + 1) * spc)) + firstSample;
    auto floorDiv = [](std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); };
    auto floorMod = [&](std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; };
    for (std::int64_t j = floorDiv(lo, mm) - 1; j <= floorDiv(hi, mm) + 1; ++j) {
        const std::int64_t x = xZero + columnOfOffset(j * mm - firstSample, spc);
        if (x < from || x >= to)
            continue;
        const bool big = floorMod(j, 5) == 0;
        // At slow speeds two millimetres can fall into one column: the big line wins.
        if (!out.empty() && out.back().first == int(x)) {
            out.back().second = out.back().second || big;
            continue;
        }
        out.emplace_back(int(x), big);
    }
    return out;
}

void ScreenGrid::paint(QImage& image, int from, int to, int xZero, std::int64_t firstSample) {
    from = std::max({from, layout_.left, 0});
    to = std::min({to, layout_.right, image.width()});
    const int top = std::max(layout_.top, 0);
    const int bottom = std::min(layout_.bottom, image.height());
    if (from >= to || top >= bottom || !ready_)
        return;
    const auto width = std::size_t(to - from);
    templates_.resize(width * KindCount);
    auto row = [&](int kind) { return templates_.data() + std::size_t(kind) * width; };
    std::fill(row(Plain), row(Plain) + width, background_);
    std::fill(row(Minor), row(Minor) + width, minor_);
    std::fill(row(Major), row(Major) + width, major_);
    columns_ = verticalLines(from, to, xZero, firstSample);
    for (const auto& [x, big] : columns_) {
        row(Plain)[x - from] = big ? major_ : minor_;
        if (big)
            row(Minor)[x - from] = major_;
    }

    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    const std::ptrdiff_t stride = image.bytesPerLine() / 4;
    for (int y = top; y < bottom; ++y)
        std::memcpy(bits + std::ptrdiff_t(y) * stride + from,
                    row(rowKind_[std::size_t(y - layout_.top)]), width * 4);
}

} // namespace velkard::display
