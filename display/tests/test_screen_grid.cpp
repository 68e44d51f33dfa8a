// SPDX-License-Identifier: GPL-3.0-or-later
// The screen grid measured on rendered pages: big squares of 5 mm at the stated speed and scale
// with millimetre lines between, second labels on big lines on every page, the 1 mV calibration
// mark two big squares high, and a grid pale enough that the trace dominates.
#include "display/Canvas.h"
#include "display/Display.h"
#include "display/tests/Synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace velkard;
using namespace velkard::display;
using velkard::display::test::constantRecording;
using velkard::display::test::kLive;
using velkard::display::test::kReview;
using velkard::display::test::kRhythmogram;

namespace {

// A pixel of a big (5 mm) line.
bool red(const QImage& img, int x, int y) {
    return img.pixel(x, y) == kGridMajor;
}
bool blue(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
}

struct Screen {
    const char* name;
    DeviceCaps caps;
    WindowMetrics win;
};

// 1920 × 1080 on 527 × 296 mm (p = 3.64), and a 96 dpi screen of the same pixels (p = 3.78).
const Screen kScreens[] = {
    {"1920/527", {1920, 527, 1080, 296}, {1920, 1050, 1920, 990, 30}},
    {"96 dpi", {1920, 508, 1080, 286}, {1920, 1050, 1920, 990, 30}},
};

// A review of a flat recording, reaching `page` by Forvard. At level 0 the traces lie on their
// baselines; raised, leads I, II, III and V1..V6 lie off the screen, out of the way of the grid.
struct Review {
    Display d;
    std::vector<std::uint8_t> bytes;
    Review(const Screen& s, int group, int speed, int page = 0, bool raised = false)
        : d(s.caps, s.win), bytes(raised ? constantRecording(400000, 20000, -20000, 20000)
                                         : constantRecording(400000, 0, 0)) {
        d.setChoices(1, group, speed);
        d.openRecording(bytes, 500, kReview);
        for (int k = 0; k < page; ++k)
            d.forward(kReview);
    }
};

// Columns of [x0, x1) that are of a big line's colour in at least 90 % of rows [y0, y1): the big
// vertical lines (a millimetre line has it only where a big row crosses, a trace crossing takes a
// few rows).
std::vector<int> solidColumns(const QImage& img, int x0, int x1, int y0, int y1) {
    std::vector<int> xs;
    for (int x = x0; x < x1; ++x) {
        int on = 0;
        for (int y = y0; y < y1; ++y)
            on += red(img, x, y);
        if (on >= 0.9 * (y1 - y0))
            xs.push_back(x);
    }
    return xs;
}

std::vector<int> solidRows(const QImage& img, int x0, int x1, int y0, int y1) {
    std::vector<int> ys;
    for (int y = y0; y < y1; ++y) {
        int on = 0;
        for (int x = x0; x < x1; ++x)
            on += red(img, x, y);
        if (on >= 0.9 * (x1 - x0))
            ys.push_back(y);
    }
    return ys;
}

// Mean spacing of consecutive positions; every single spacing within 1 px of it.
double meanSpacing(const std::vector<int>& at, const std::string& what) {
    EXPECT_GE(at.size(), 3u) << what;
    if (at.size() < 2)
        return 0;
    const double mean = double(at.back() - at.front()) / double(at.size() - 1);
    for (std::size_t k = 1; k < at.size(); ++k)
        EXPECT_NEAR(at[k] - at[k - 1], mean, 1.0) << what << " between " << at[k - 1];
    return mean;
}

} // namespace

TEST(ScreenGrid, BigSquaresAreFiveMillimetresAtEverySpeed) {
    for (const Screen& s : kScreens)
        for (int speed = 0; speed < kSpeedCount; ++speed)
            for (int page : {0, 1}) {
                Review r(s, 1, speed, page, true);
                const QImage& img = r.d.surface();
                const std::string what = std::string(s.name) + " speed " +
                                         std::to_string(kSpeedMmPerS[std::size_t(speed)]) +
                                         " page " + std::to_string(page);
                const int x0 = r.d.traceOrigin();
                const std::vector<int> columns = solidColumns(img, x0, 1920, 60, 990);
                const double px = meanSpacing(columns, what + " columns");
                EXPECT_NEAR(px / s.caps.horzPxPerMm(), 5.0, 5.0 * 0.025) << what;
                // And exactly the square of the trace's own time: 5 mm at the stated speed in
                // samples, over the samples per column in use.
                const double spc = r.d.geometry().screenSamplesPerColumn;
                EXPECT_NEAR(px, 4000.0 / kSpeedMmPerS[std::size_t(speed)] / spc, 0.05) << what;

                const std::vector<int> rows = solidRows(img, x0, 1900, 60, 990);
                const double py = meanSpacing(rows, what + " rows");
                EXPECT_NEAR(py / s.caps.vertPxPerMm(), 5.0, 5.0 * 0.005) << what;
            }
}

TEST(ScreenGrid, SecondLabelsStandOnBigLinesOnEveryPage) {
    for (const Screen& s : kScreens)
        for (int speed = 0; speed < kSpeedCount; ++speed)
            for (int page : {0, 1, 3}) {
                Review r(s, 1, speed, page);
                const QImage& img = r.d.surface();
                ASSERT_FALSE(r.d.secondLabels().empty());
                const std::vector<int> columns = solidColumns(img, 0, 1920, 80, 480);
                for (const auto& label : r.d.secondLabels())
                    EXPECT_TRUE(std::binary_search(columns.begin(), columns.end(), label.x))
                        << s.name << " speed " << kSpeedMmPerS[std::size_t(speed)] << " page "
                        << page << ": " << label.second << " s at x " << label.x;
                // One second is a whole number of big squares: 1, 2, 5 or 10.
                const auto first =
                    std::find(columns.begin(), columns.end(), r.d.secondLabels().front().x);
                ASSERT_NE(first, columns.end());
                const int squaresPerSecond = kSpeedMmPerS[std::size_t(speed)] / 5;
                if (r.d.secondLabels().size() >= 2 &&
                    r.d.secondLabels()[1].second == r.d.secondLabels()[0].second + 1) {
                    ASSERT_LT(first + squaresPerSecond, columns.end());
                    EXPECT_EQ(*(first + squaresPerSecond), r.d.secondLabels()[1].x);
                }
            }
}

TEST(ScreenGrid, OneMillivoltMarkSpansTwoBigSquares) {
    for (const Screen& s : kScreens)
        for (int group : {1, 3, 5}) { // (twelve rows put the first mark's top among the labels)
            Review r(s, group, 2, 0, true);
            const QImage& img = r.d.surface();
            // The first mark: its foot on row 0's baseline, its top 10 mm above.
            const int xb = int(9 * s.caps.horzPxPerMm() + 4 * s.caps.horzPxPerMm());
            int top = -1;
            for (int y = 30; y < 990 && top < 0; ++y)
                if (blue(img, xb, y))
                    top = y;
            ASSERT_GT(top, 0) << s.name << " group " << group;
            const int x0 = r.d.traceOrigin();
            const std::vector<int> rows = solidRows(img, x0, 1900, 30, 990);
            const int baseline = rowBaseline(group, 0, RowSpacings::forClientBottom(990));
            auto nearest = [&](int y) {
                int best = 1 << 20;
                for (int row : rows)
                    best = std::abs(row - y) < std::abs(best - y) ? row : best;
                return best;
            };
            // The mark's top bar and its foot (the baseline) lie on big lines, two squares apart.
            EXPECT_NEAR(nearest(top), top, 1) << s.name << " group " << group;
            EXPECT_NEAR(nearest(baseline), baseline, 1) << s.name << " group " << group;
            const auto foot = std::find(rows.begin(), rows.end(), nearest(baseline));
            ASSERT_GE(foot - rows.begin(), 2);
            EXPECT_NEAR(baseline - top, *foot - *(foot - 2), 1.0) << s.name << " group " << group;
            EXPECT_NEAR(baseline - top, 10 * s.caps.vertPxPerMm(), 1.0);
        }
}

TEST(ScreenGrid, LiveSweepGridKeepsTheSweepsSeconds) {
    // At 25 mm/s the live trace advances 800 / samples-per-column columns a second; the grid under
    // the strips has a big line every fifth of that from the sweep's start.
    const Screen& s = kScreens[0];
    Display d(s.caps, s.win);
    d.setChoices(1, 1, 2);
    d.prepareLiveDisplay();
    const auto block = constantRecording(400, 0, 0);
    for (int k = 0; k < 20; ++k)
        d.drawLiveBlock(block.data());
    const QImage& img = d.surface();
    const int origin = d.sweepOrigin();
    const std::vector<int> columns = solidColumns(img, origin, origin + d.sweepPosition(), 80, 480);
    ASSERT_GE(columns.size(), 10u);
    EXPECT_EQ(columns.front(), origin);
    const double spc = d.geometry().screenSamplesPerColumn;
    for (std::size_t k = 0; k < columns.size(); ++k)
        EXPECT_EQ(columns[k], origin + int(std::floor(double(k) * 160 / spc))) << k;
}

// Between the big lines, one thin line every millimetre each way, lighter than the big ones; no
// saturated red anywhere, and the grid pale beside the black trace.
TEST(ScreenGrid, MillimetreLinesBetweenAndAGridThatLetsTheTraceDominate) {
    for (const Screen& s : kScreens)
        for (int speed = 1; speed < kSpeedCount; ++speed) {
            Review r(s, 1, speed, 1, true);
            const QImage& img = r.d.surface();
            const std::string what =
                std::string(s.name) + " speed " + std::to_string(kSpeedMmPerS[std::size_t(speed)]);
            const int x0 = r.d.traceOrigin();
            // A row between two big rows, away from every trace (the raised recording lies off
            // the screen): its grid columns are the vertical lines, big and thin.
            const std::vector<int> big = solidRows(img, x0, 1900, 60, 990);
            ASSERT_GE(big.size(), 3u) << what;
            const int y = big[big.size() / 2] + 1 + int(0.5 * s.caps.vertPxPerMm());
            std::vector<int> lines;
            for (int x = x0; x < 1900; ++x)
                if (img.pixel(x, y) != kWhite)
                    lines.push_back(x);
            const double mm = meanSpacing(lines, what + " millimetre columns");
            EXPECT_NEAR(mm / s.caps.horzPxPerMm(), 1.0, 0.05) << what;
            // Down a column between two big columns, likewise the rows.
            const std::vector<int> bigColumns = solidColumns(img, x0, 1900, 60, 990);
            ASSERT_GE(bigColumns.size(), 2u) << what;
            const int x = bigColumns[bigColumns.size() / 2] + 1 + int(0.5 * s.caps.horzPxPerMm());
            std::vector<int> rows;
            for (int yy = big[0]; yy < big.back(); ++yy)
                if (img.pixel(x, yy) != kWhite)
                    rows.push_back(yy);
            EXPECT_NEAR(meanSpacing(rows, what + " millimetre rows") / s.caps.vertPxPerMm(), 1.0,
                        0.05)
                << what;
        }
    // A page with its traces: nothing is saturated red, and the grid's darkest colour is far
    // lighter than the trace.
    Review r(kScreens[0], 1, 2);
    const QImage& img = r.d.surface();
    long saturated = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            saturated += (img.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    EXPECT_EQ(saturated, 0);
    EXPECT_GT(qGray(kGridMajor), 150);
    EXPECT_GT(qGray(kGridMinor), qGray(kGridMajor));
}
