// SPDX-License-Identifier: GPL-3.0-or-later
// The grid of the screen's drawing area as ECG paper has it, in the trace's own units: a big
// square is 5 mm of the stated speed at the trace's actual step (0.2 s at 25 mm/s, so every
// second falls on a big line) and 5 mm down at the true pixels per millimetre (0.5 mV at
// 10 mm/mV), with a big line through the first calibrated row's baseline so the 1 mV mark spans
// two squares. Thin lines every millimetre between, lighter than the big ones.
//
// The row pattern is computed once per layout; each paint builds a handful of template scan lines
// for the page's time offset and copies them into the image row by row.
#pragma once

#include <QImage>
#include <cstdint>
#include <utility>
#include <vector>

namespace velkard::display {

struct GridLayout {
    int left = 0; // the drawing area, window pixels: [left, right) × [top, bottom)
    int top = 0;
    int right = 0;
    int bottom = 0;
    double vertPxPerMm = 0;        // true pixels per millimetre down
    int baseline = 0;              // a big line runs through this row
    double samplesPerColumn = 1;   // the trace's step
    int samplesPerBigSquare = 160; // 5 mm at the stated speed: 4000 ÷ (mm/s) samples
    bool operator==(const GridLayout&) const = default;
};

class ScreenGrid {
public:
    // Takes a new layout; the row pattern is recomputed only when it differs from the last one.
    void setLayout(const GridLayout& layout);
    const GridLayout& layout() const { return layout_; }
    // The colours of the paper and of the thin and big lines (ECG paper's unless set).
    void setColours(std::uint32_t background, std::uint32_t minor, std::uint32_t major) {
        background_ = background;
        minor_ = minor;
        major_ = major;
    }

    // Paints columns [from, to) of the drawing area (clipped to it and to the image), every row of
    // it, for a trace whose sample `firstSample` (counted from the recording's start) is drawn at
    // column xZero.
    void paint(QImage& image, int from, int to, int xZero, std::int64_t firstSample);

    // Columns of the vertical lines within [from, to) for that trace position: x and whether it is
    // a big line. Rows of the horizontal lines within the area, likewise.
    std::vector<std::pair<int, bool>> verticalLines(int from, int to, int xZero,
                                                    std::int64_t firstSample) const;
    std::vector<std::pair<int, bool>> horizontalLines() const;

private:
    enum RowKind : std::uint8_t { Plain, Minor, Major, KindCount };

    GridLayout layout_;
    bool ready_ = false;
    std::uint32_t background_ = 0xFFFFFFFFu;
    std::uint32_t minor_ = 0xFFFFD4D4u;
    std::uint32_t major_ = 0xFFEE9A9Au;
    std::vector<std::uint8_t> rowKind_; // per row of the area
    std::vector<std::uint32_t> templates_;
    std::vector<std::pair<int, bool>> columns_;
};

} // namespace velkard::display
