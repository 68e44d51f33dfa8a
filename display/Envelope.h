// SPDX-License-Identifier: GPL-3.0-or-later
// The envelope of a trace: the samples of each drawn column reduced to their minimum and maximum,
// so that every peak and trough keeps its full height whatever the speed. One routine for the
// review, the live sweep and the print.
//
// Column c holds the samples i (counted from the trace's first sample) with c·a ≤ i < (c+1)·a, a =
// samples per column (a whole number or not). With fewer than one sample per column some columns
// hold none: they are reported empty and the drawing joins the columns on either side.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkard::display {

struct ColumnSpan {
    std::int16_t lo = 0;    // minimum of the column's samples
    std::int16_t hi = 0;    // maximum
    std::int16_t first = 0; // the column's first and last samples (to join the neighbours)
    std::int16_t last = 0;
    bool hiFirst = false; // the maximum comes before the minimum
    bool empty = true;    // no sample falls into this column
};

// First sample of column c.
inline std::int64_t columnStart(std::int64_t column, double samplesPerColumn) {
    return static_cast<std::int64_t>(std::ceil(double(column) * samplesPerColumn));
}

// Column of sample i.
inline std::int64_t columnOfSample(std::int64_t sample, double samplesPerColumn) {
    std::int64_t c = static_cast<std::int64_t>(std::floor(double(sample) / samplesPerColumn));
    // Keep the two functions exact inverses where floating point rounding differs.
    while (c > 0 && columnStart(c, samplesPerColumn) > sample)
        --c;
    while (columnStart(c + 1, samplesPerColumn) <= sample)
        ++c;
    return c;
}

// Builds the columns of one trace from samples fed in pieces (a review page at once, the live sweep
// block by block).
class EnvelopeBuilder {
public:
    explicit EnvelopeBuilder(double samplesPerColumn = 1.0) { reset(samplesPerColumn); }

    void reset(double samplesPerColumn) {
        spc_ = samplesPerColumn > 0 ? samplesPerColumn : 1.0;
        column_ = 0;
        position_ = 0;
        end_ = columnStart(1, spc_);
        open_ = ColumnSpan{};
    }

    // Appends every column completed by these samples (empty ones included) to out.
    void add(const std::int16_t* samples, std::size_t count, std::vector<ColumnSpan>& out) {
        std::size_t i = 0;
        while (i < count) {
            while (position_ >= end_)
                close(out);
            const std::size_t run = std::min<std::size_t>(count - i, std::size_t(end_ - position_));
            const std::int16_t* s = samples + i;
            const auto [mn, mx] = std::minmax_element(s, s + run);
            if (open_.empty) {
                open_.empty = false;
                open_.first = s[0];
                open_.lo = *mn;
                open_.hi = *mx;
                open_.hiFirst = mx < mn;
            } else {
                // On a tie the earlier extreme stays.
                const bool newLo = *mn < open_.lo;
                const bool newHi = *mx > open_.hi;
                if (newLo)
                    open_.lo = *mn;
                if (newHi)
                    open_.hi = *mx;
                if (newLo && newHi)
                    open_.hiFirst = mx < mn;
                else if (newLo || newHi)
                    open_.hiFirst = newLo;
            }
            open_.last = s[run - 1];
            position_ += std::int64_t(run);
            i += run;
        }
        // A column filled exactly to its end is complete.
        while (position_ >= end_ && !open_.empty)
            close(out);
    }

    // Appends the column in progress, if it holds samples.
    void flush(std::vector<ColumnSpan>& out) {
        if (!open_.empty)
            close(out);
    }

    // Index of the next column to be appended.
    std::int64_t nextColumn() const { return column_; }
    double samplesPerColumn() const { return spc_; }

private:
    void close(std::vector<ColumnSpan>& out) {
        out.push_back(open_);
        open_ = ColumnSpan{};
        ++column_;
        end_ = columnStart(column_ + 1, spc_);
    }

    double spc_ = 1.0;
    std::int64_t column_ = 0;
    std::int64_t position_ = 0; // samples fed so far
    std::int64_t end_ = 1;      // first sample after the open column
    ColumnSpan open_;
};

// The columns of a whole trace at once.
inline std::vector<ColumnSpan> envelope(const std::int16_t* samples, std::size_t count,
                                        double samplesPerColumn) {
    std::vector<ColumnSpan> out;
    out.reserve(std::size_t(double(count) / std::max(samplesPerColumn, 1e-3)) + 2);
    EnvelopeBuilder b(samplesPerColumn);
    b.add(samples, count, out);
    b.flush(out);
    return out;
}

// The pixel rows a column's stroke covers on screen (top <= bottom), joined to the column before:
// the stroke reaches the previous column's last sample so the trace has no gaps. yOf maps a sample
// value to a row.
struct Stroke {
    int top = 0;
    int bottom = 0;
};
template <class YOf> Stroke columnStroke(const ColumnSpan& c, const ColumnSpan* previous, YOf yOf) {
    int a = yOf(c.hi);
    int b = yOf(c.lo);
    if (a > b)
        std::swap(a, b);
    if (previous && !previous->empty) {
        const int join = yOf(previous->last);
        a = std::min(a, join);
        b = std::max(b, join);
    }
    return {a, b};
}

} // namespace velkard::display
