// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Canvas.h"
#include "display/Display.h"
#include "display/tests/Synthetic.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkard;
using namespace velkard::display;
using velkard::display::test::constantRecording;
using velkard::display::test::kLive;
using velkard::display::test::kReview;
using velkard::display::test::kRhythmogram;
using velkard::display::test::makeRecording;
using velkard::display::test::record;

namespace {

const DeviceCaps kCaps{1024, 320, 768, 240};        // p = q = 3.2
const WindowMetrics kWin{1024, 700, 1024, 650, 30}; // client bottom 650
constexpr int kPageBytes = 964 * 16 * 10;           // C × 16 × samples per column at 25 mm/s

QRgb px(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
bool black(const QImage& img, int x, int y) {
    return px(img, x, y) == 0x000000;
}
bool blue(const QImage& img, int x, int y) {
    return px(img, x, y) == 0x0000FF;
}
// A pixel of a big (5 mm) grid line.
bool red(const QImage& img, int x, int y) {
    return img.pixel(x, y) == kGridMajor;
}

// Rows of column x (within [top, bottom)) that are black.
std::vector<int> blackRows(const QImage& img, int x, int top, int bottom) {
    std::vector<int> rows;
    for (int y = top; y < bottom; ++y)
        if (black(img, x, y))
            rows.push_back(y);
    return rows;
}

struct Review {
    Display d{kCaps, kWin};
    std::vector<std::uint8_t> bytes;
    Review(std::vector<std::uint8_t> b, int group = 9, int speed = 2, int scale = 1)
        : bytes(std::move(b)) {
        d.setChoices(scale, group, speed);
        d.openRecording(bytes, static_cast<int>(bytes.size() / 12800), kReview);
    }
};

} // namespace

TEST(GridImage, BigLinesEveryFiveMillimetresAndThinOnesEveryMillimetre) {
    // 25 mm/s at 10 samples per column: a big square is 16 px across, its lines at the trace's
    // origin trunc(19p) = 60 ± 16k; down, 16 px from row 0's baseline 63 (its 1 mV mark below the
    // 30 px tool panel).
    Display d(kCaps, kWin);
    d.drawGridImage();
    const QImage g = d.gridImage();
    ASSERT_EQ(g.width(), 1024);
    ASSERT_EQ(g.height(), 700);
    for (int y : {31, 47, 63, 95, 639})
        for (int x = 28; x < 1024; x += 7)
            EXPECT_TRUE(red(g, x, y)) << x << "," << y;
    for (int x : {28, 44, 60, 76, 1020})
        for (int y = 30; y < 650; y += 5)
            EXPECT_TRUE(red(g, x, y)) << x << "," << y;
    // Between two big lines four thin ones each way, a millimetre (3.2 px) apart: a thin row is
    // of the grid's colour all along, a plain row only where a vertical line crosses it.
    const auto gridPixels = [&](int x0, int y0, int dx, int dy, int n) {
        int on = 0;
        for (int k = 0; k < n; ++k)
            on += g.pixel(x0 + k * dx, y0 + k * dy) != kWhite;
        return on;
    };
    for (int big : {47, 335}) {
        std::vector<int> thin;
        for (int y = big + 1; y < big + 16; ++y)
            if (gridPixels(28, y, 1, 0, 996) > 0.9 * 996) {
                thin.push_back(y);
                EXPECT_EQ(g.pixel(100, y) == kGridMinor || g.pixel(100, y) == kGridMajor, true);
            }
        ASSERT_EQ(thin.size(), 4u) << "rows after " << big;
        for (std::size_t k = 0; k < thin.size(); ++k)
            EXPECT_NEAR(thin[k], big + 3.2 * double(k + 1), 1.0) << "rows after " << big;
    }
    for (int big : {60, 508}) {
        std::vector<int> thin;
        for (int x = big + 1; x < big + 16; ++x)
            if (gridPixels(x, 30, 0, 1, 620) > 0.9 * 620)
                thin.push_back(x);
        ASSERT_EQ(thin.size(), 4u) << "columns after " << big;
        for (std::size_t k = 0; k < thin.size(); ++k)
            EXPECT_NEAR(thin[k], big + 3.2 * double(k + 1), 1.0) << "columns after " << big;
    }
    // The thin lines are lighter than the big ones; nothing is drawn outside the drawing area.
    EXPECT_GT(qGray(kGridMinor), qGray(kGridMajor));
    for (int x = 0; x < 1024; x += 3)
        EXPECT_EQ(g.pixel(x, 20), kWhite) << x;
    for (int y = 0; y < 700; y += 3)
        EXPECT_EQ(g.pixel(20, y), kWhite) << y;
}

TEST(GridImage, PaintedRightOfLabelStripAndBelowPanel) {
    Display d(kCaps, kWin);
    ASSERT_TRUE(d.setSpeed(2, kLive));
    const QImage& s = d.surface();
    // The drawing area starts at trunc(9p) = 28; left of it is the white label strip.
    for (int y = 40; y < 640; y += 3)
        EXPECT_FALSE(red(s, 10, y));
    // Without a recording the live sweep's start, trunc(18p + 2) = 59, is time zero.
    for (int y = 30; y < 650; y += 7)
        EXPECT_TRUE(red(s, 59, y)) << y;
    // Unsqueezed, one full-width red row every 16 px through row 0's baseline 63: 31, 47, …, 639
    // (right of the lead labels and calibration marks).
    std::vector<int> fullRows;
    for (int y = 0; y < 700; ++y) {
        bool all = true;
        for (int x = 60; x < 1024 && all; x += 3)
            all = red(s, x, y);
        if (all)
            fullRows.push_back(y);
    }
    ASSERT_EQ(fullRows.size(), 39u);
    for (std::size_t k = 0; k < fullRows.size(); ++k)
        EXPECT_EQ(fullRows[k], 31 + 16 * int(k));
}

TEST(ReviewPage, TwelveLeadTracesAtTheirBaselines) {
    Review r(constantRecording(40000, 0, 0));
    const QImage& s = r.d.surface();
    for (int x : {100, 500, 1000}) {
        const std::vector<int> rows = blackRows(s, x, 45, 650);
        // Twelve rows would stand 650 / 13 = 50 apart from 50, but row 0's 1 mV mark (32 px) must
        // clear the 30 px tool panel: row 0 at 30 + 32 + 1 = 63, row 11 where it was (600), the
        // rows between evenly (537 / 11 → 48 px).
        std::vector<int> expected;
        for (int k = 1; k <= 12; ++k)
            expected.push_back(15 + 48 * k);
        EXPECT_EQ(rows, expected) << "column " << x;
    }
}

TEST(ReviewPage, AmplitudeAtScale) {
    Review r(constantRecording(40000, 0, 681), 1, 2, 1); // lead II only, 10 mm/mV
    const QImage& s = r.d.surface();
    EXPECT_EQ(blackRows(s, 400, 35, 650), std::vector<int>{293});
    Review big(constantRecording(40000, 0, 681), 1, 2, 2); // 20 mm/mV
    EXPECT_EQ(blackRows(big.d.surface(), 400, 35, 650), std::vector<int>{261});
}

TEST(ReviewPage, CalibrationPulseOnSingleLead) {
    Review r(constantRecording(100, 0, 0), 0);
    const QImage& s = r.d.surface();
    // On the trace's baseline 325; top = 325 − 10 mm = 293; 5 mm wide as on paper.
    EXPECT_TRUE(blue(s, 30, 325));
    EXPECT_TRUE(blue(s, 34, 325));
    EXPECT_TRUE(blue(s, 35, 310)); // rising edge at 11 mm
    EXPECT_TRUE(blue(s, 35, 294));
    EXPECT_TRUE(blue(s, 41, 293)); // top
    EXPECT_TRUE(blue(s, 50, 293));
    EXPECT_FALSE(blue(s, 41, 292));
    EXPECT_FALSE(blue(s, 41, 294));
    EXPECT_FALSE(blue(s, 30, 326));
    EXPECT_TRUE(blue(s, 51, 310)); // falling edge at 16 mm
    EXPECT_FALSE(blue(s, 52, 310));
    EXPECT_TRUE(blue(s, 52, 325));
    EXPECT_TRUE(blue(s, 56, 325));
    EXPECT_FALSE(blue(s, 57, 325)); // the base line ends before 18 mm
    EXPECT_FALSE(blue(s, 27, 325));
}

TEST(ReviewPage, CalibrationEveryThirdLeadOfTwelve) {
    Review r(constantRecording(100, 0, 0), 9);
    const QImage& s = r.d.surface();
    // Rows 48 apart from 63 (see TwelveLeadTracesAtTheirBaselines); the mark sits on rows 1, 4,
    // 7 and 10.
    for (int y : {63, 207, 351, 495}) {
        EXPECT_TRUE(blue(s, 30, y)) << y;
        EXPECT_TRUE(blue(s, 41, y - 32)) << y;
    }
    for (int y : {111, 159, 255, 591})
        EXPECT_FALSE(blue(s, 30, y)) << y;
}

TEST(Paging, PagesFollowEachOtherWithoutGapOrOverlap) {
    Review r(constantRecording(3 * kPageBytes / 16, 0, 0));
    EXPECT_EQ(r.d.pageStartOffset(), 0);
    EXPECT_TRUE(r.d.forwardEnabled());
    EXPECT_FALSE(r.d.backEnabled());
    r.d.forward(kReview);
    EXPECT_EQ(r.d.pageNumber(), 1);
    EXPECT_EQ(r.d.pageStartOffset(), kPageBytes); // 964 columns of 10 records on
    EXPECT_TRUE(r.d.backEnabled());
    EXPECT_TRUE(r.d.forwardEnabled());
    r.d.forward(kReview);
    EXPECT_EQ(r.d.pageNumber(), 2);
    EXPECT_FALSE(r.d.forwardEnabled()); // the data ends with this page
    r.d.forward(kReview);               // nothing after it
    EXPECT_EQ(r.d.pageNumber(), 2);
    r.d.back(kReview);
    EXPECT_EQ(r.d.pageNumber(), 1);
    EXPECT_EQ(r.d.pageStartOffset(), kPageBytes);
    EXPECT_TRUE(r.d.forwardEnabled());
    r.d.back(kReview);
    EXPECT_EQ(r.d.pageStartOffset(), 0);
    EXPECT_FALSE(r.d.backEnabled());
    r.d.back(kReview); // nothing before page 0
    EXPECT_EQ(r.d.pageNumber(), 0);
    EXPECT_EQ(r.d.pageStartOffset(), 0);
}

TEST(Paging, ForvardEnabledExactlyWhenRecordsFollowThePage) {
    Review exact(constantRecording(kPageBytes / 16, 0, 0));
    EXPECT_FALSE(exact.d.forwardEnabled());
    Review longer(constantRecording(kPageBytes / 16 + 1, 0, 0));
    EXPECT_TRUE(longer.d.forwardEnabled());
    EXPECT_FALSE(longer.d.backEnabled());
    Review empty({});
    EXPECT_FALSE(empty.d.forwardEnabled());
    EXPECT_FALSE(empty.d.backEnabled());
    // No trace at all on an empty recording.
    EXPECT_TRUE(blackRows(empty.d.surface(), 500, 45, 650).empty());
}

TEST(Paging, ShortRecordingEndsWhereItEnds) {
    Review r(constantRecording(4000, 0, 0), 1); // 5 s = 400 columns
    const QImage& s = r.d.surface();
    EXPECT_TRUE(black(s, 60 + 398, 325));
    EXPECT_FALSE(black(s, 60 + 401, 325));
}

TEST(Paging, AnyChoiceGoesBackToFirstPage) {
    Review r(constantRecording(3 * kPageBytes / 16, 0, 0));
    r.d.forward(kReview);
    r.d.forward(kReview);
    ASSERT_EQ(r.d.pageNumber(), 2);
    EXPECT_TRUE(r.d.setScale(2, kReview));
    EXPECT_EQ(r.d.pageNumber(), 0);
    EXPECT_EQ(r.d.pageStartOffset(), 0);
    EXPECT_EQ(r.d.geometry().scaleIndex, 2);
    r.d.forward(kReview);
    EXPECT_TRUE(r.d.setSpeed(0, kReview)); // repaint with a new speed
    EXPECT_EQ(r.d.pageNumber(), 0);
    EXPECT_EQ(r.d.geometry().screenSamplesPerColumn, 51.0f);
    EXPECT_EQ(r.d.secondsPerScreen(), 61);
}

TEST(Paging, A2SwitchesByRecordPosition) {
    // Lead I is c1 − c0 = 0 while derived and c0 = 300 once taken raw after 8040 records.
    auto bytes = constantRecording(3 * kPageBytes / 16, 300, 300);
    Display d(kCaps, kWin);
    d.setChoices(1, 0, 2);
    d.openRecording(bytes, 10, View{Shown::CardRecording, true});
    const int raisedY = traceY(325, 300, d.geometry().gain);
    auto check = [&] {
        EXPECT_TRUE(black(d.surface(), 500, 325));     // record 4400: derived
        EXPECT_TRUE(black(d.surface(), 900, raisedY)); // record 8400: raw
        EXPECT_FALSE(black(d.surface(), 500, raisedY));
    };
    check();
    d.forward(kReview);
    EXPECT_TRUE(black(d.surface(), 500, raisedY)); // later pages: all raw
    d.back(kReview);
    check();
}

TEST(Selectors, SpeedChangeRecomputesPrinterSamplesPerColumn) {
    Display d(kCaps, kWin);
    d.setChoices(1, 9, 2);
    d.geometry().printerSamplesPerColumn = 9;
    d.computeHorizontalGeometry();
    EXPECT_EQ(d.geometry().printerSamplesPerColumn, 9.0f); // no printer: kept
    d.computeHorizontalGeometry(4960);
    EXPECT_EQ(d.geometry().printerSamplesPerColumn, 6.0f);
    ASSERT_TRUE(d.setSpeed(3, kLive));
    EXPECT_EQ(d.geometry().printerSamplesPerColumn, 3.0f);
}

TEST(Selectors, SpeedBeforeAnythingIsShownIsKeptWithoutRedrawing) {
    Display d(kCaps, kWin);
    d.setChoices(1, 9, 2);
    EXPECT_FALSE(d.setSpeed(0, View{})); // nothing redrawn
    EXPECT_EQ(d.geometry().speedIndex, 0);
    EXPECT_EQ(d.geometry().screenSamplesPerColumn, 51.0f);
    EXPECT_TRUE(d.setLeadGroup(4, View{}));
    EXPECT_EQ(d.geometry().groupIndex, 4);
    EXPECT_FALSE(d.setScale(0, kRhythmogram));
    EXPECT_FALSE(d.setLeadGroup(1, kRhythmogram));
    EXPECT_EQ(d.geometry().groupIndex, 4);
    EXPECT_EQ(d.geometry().scaleIndex, 1);
}

namespace {
std::vector<std::uint8_t> rhythm(int values, std::int16_t first, std::int16_t rest) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(values) * 2);
    for (int i = 0; i < values; ++i)
        signal::writeLe16(b.data() + 2 * i, i == 10 ? first : rest);
    return b;
}
} // namespace

TEST(Rhythmogram, OneSecondIsTwentyMillimetres) {
    Display d(kCaps, kWin);
    d.openRhythmogramBytes(rhythm(100, 1000, 500));
    const QImage& s = d.surface();
    // x0 = trunc(13p) = 41; bar 10 at 61 rises from the axis at 325 by 64 px (20 mm).
    EXPECT_TRUE(black(s, 61, 324));
    EXPECT_TRUE(black(s, 61, 262));
    EXPECT_FALSE(black(s, 61, 261));
    EXPECT_TRUE(black(s, 63, 294)); // 500 ms: 32 px
    EXPECT_FALSE(black(s, 63, 293));
    EXPECT_FALSE(black(s, 62, 300)); // bars two pixels apart
}

TEST(Rhythmogram, PagingByBarsAndSavedColumn) {
    Display d(kCaps, kWin);
    d.openRhythmogramBytes(rhythm(3000, 500, 500));
    EXPECT_TRUE(d.forwardEnabled());
    EXPECT_FALSE(d.backEnabled());
    d.forward(kRhythmogram);
    EXPECT_EQ(d.pageStartOffset(), 950); // the last bar of page 0 begins page 1
    d.forward(kRhythmogram);
    d.back(kRhythmogram);
    EXPECT_EQ(d.pageNumber(), 1);
    EXPECT_EQ(d.pageStartOffset(), 949); // P × page, P = trunc(1024 − 32 − 41 − 2)
}

TEST(Rhythmogram, UnreadableFileIsReportedAndNothingDrawn) {
    Display d(kCaps, kWin);
    const QImage before = d.surface();
    QTemporaryDir dir;
    const Status r = d.openRhythmogram((dir.path() + "/missing.rt").toStdString());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message, kEcgOpenError);
    EXPECT_TRUE(d.surface() == before);
}

TEST(Rhythmogram, OpeningARecordingEndsTheRhythmogramView) {
    Display d(kCaps, kWin);
    d.openRhythmogramBytes(rhythm(3000, 500, 500));
    EXPECT_FALSE(d.setScale(0, kRhythmogram)); // selectors blocked while a rhythmogram is shown
    const auto bytes = constantRecording(3 * kPageBytes / 16, 0, 0);
    d.openRecording(bytes, 10, kReview);
    d.forward(kReview);
    EXPECT_EQ(d.pageStartOffset(), kPageBytes); // an ECG page, not a page of bars
    EXPECT_TRUE(d.setScale(0, kReview));
}
