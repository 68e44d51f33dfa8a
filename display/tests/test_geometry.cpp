// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Geometry.h"

#include <gtest/gtest.h>

using namespace velkard::display;

namespace {
const DeviceCaps kCaps{1024, 320, 768, 240}; // p = q = 3.2
} // namespace

TEST(ScreenSamplesPerColumn, WholeQuotientsAtThreePointTwoPixelsPerMm) {
    EXPECT_EQ(screenSamplesPerColumn(2, 3.2), 10.0f); // 25 mm/s: floor(10.204)
    EXPECT_EQ(screenSamplesPerColumn(3, 3.2), 5.0f);  // 50 mm/s: floor(5.102)
    EXPECT_EQ(screenSamplesPerColumn(0, 3.2), 51.0f); // 5 mm/s: floor(51.02)
    EXPECT_EQ(screenSamplesPerColumn(1, 3.2), 25.0f); // 10 mm/s: floor(25.51)
}

TEST(ScreenSamplesPerColumn, FractionOfExactlyHalfTakesFloorAboveHalfTakesCeiling) {
    // p = 64: 800 / (5 × 64) = 2.5 exactly; the value with 0.98 is 2.55.
    EXPECT_EQ(screenSamplesPerColumn(0, 64.0), 2.0f);
    // p = 64/3: 800 / (10 × 21.33) = 3.75; the value with 0.98 is 3.83, so the ceiling, 4.
    EXPECT_EQ(screenSamplesPerColumn(1, DeviceCaps{64, 3, 1, 1}.horzPxPerMm()), 4.0f);
}

TEST(ScreenSamplesPerColumn, NeverBelowOneOnVeryDenseDisplays) {
    // 40 px/mm at 50 mm/s gives 0.4 samples per column; a column must still take one sample.
    EXPECT_EQ(screenSamplesPerColumn(3, 40.0), 1.0f);
    EXPECT_EQ(screenSamplesPerColumn(3, 0.0), 1.0f);
}

TEST(PrinterSamplesPerColumn, A4PageAt600Dpi) {
    EXPECT_EQ(printerSamplesPerColumn(2, 4960), 6.0f); // 6.28
    EXPECT_EQ(printerSamplesPerColumn(3, 4960), 3.0f); // 3.14
    EXPECT_EQ(printerSamplesPerColumn(0, 4960), 31.0f);
    EXPECT_EQ(printerSamplesPerColumn(2, 0), 1.0f);
}

TEST(Geometry, PrinterValueKeptWithoutPrinter) {
    Geometry g;
    g.caps = kCaps;
    g.speedIndex = 2;
    g.printerSamplesPerColumn = 7;
    g.computeHorizontal();
    EXPECT_EQ(g.printerSamplesPerColumn, 7.0f);
    EXPECT_EQ(g.screenSamplesPerColumn, 10.0f);
    g.computeHorizontal(4960);
    EXPECT_EQ(g.printerSamplesPerColumn, 6.0f);
}

TEST(AmplitudeGain, OneMillivoltIsScaleMillimetresTall) {
    const double unitsPerMv = 198.0 / (0.3125 * 0.93);
    for (int s = 0; s < kScaleCount; ++s) {
        const float g = amplitudeGain(s, 3.2);
        EXPECT_NEAR(unitsPerMv * g, kScaleMmPerMv[std::size_t(s)] * 3.2, 1e-4) << s;
    }
    // A value of 681 at 10 mm/mV rises 31.98 px above the baseline and truncates to 293 from 325.
    EXPECT_EQ(traceY(325, 681, amplitudeGain(1, 3.2)), 293);
    EXPECT_EQ(traceY(325, -681, amplitudeGain(1, 3.2)), 356);
}

TEST(SecondsPerScreen, CeilingOfPageWidthInSeconds) {
    EXPECT_EQ(secondsPerScreen(kCaps, 2), 13); // 963.2 / 80 = 12.04
    EXPECT_EQ(secondsPerScreen(kCaps, 0), 61); // 963.2 / 16 = 60.2
    EXPECT_EQ(secondsPerScreen(kCaps, 3), 7);  // 963.2 / 160 = 6.02
}

TEST(LeadGroups, RowsAndLeads) {
    const int rows[] = {1, 1, 1, 3, 3, 6, 3, 3, 6, 12};
    for (int g = 0; g < kGroupCount; ++g)
        EXPECT_EQ(rowCount(g), rows[g]) << g;
    EXPECT_EQ(leadOfRow(1, 0), 1);
    EXPECT_EQ(leadOfRow(2, 0), 2);
    EXPECT_EQ(leadOfRow(4, 0), 3);
    EXPECT_EQ(leadOfRow(4, 2), 5);
    EXPECT_EQ(leadOfRow(6, 2), 8);
    EXPECT_EQ(leadOfRow(7, 0), 9);
    EXPECT_EQ(leadOfRow(8, 5), 11);
    EXPECT_EQ(leadOfRow(9, 11), 11);
    EXPECT_EQ(rowCount(42), 12); // damaged index: clamped, never past the table
}

TEST(LeadGroups, BaselinesFromClientBottom) {
    const RowSpacings s = RowSpacings::forClientBottom(650);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(rowBaseline(9, k, s), 50 * (k + 1));
    EXPECT_EQ(rowBaseline(0, 0, s), 325);
    EXPECT_EQ(rowBaseline(3, 2, s), 486); // 3 × 162
    EXPECT_EQ(rowBaseline(5, 5, s), 552); // 6 × 92
    EXPECT_EQ(rowBaseline(8, 0, s), 92);
}

TEST(SelectorTexts, BothLanguages) {
    EXPECT_STREQ(scaleItem(1, true), "10 мм/мВ");
    EXPECT_STREQ(scaleItem(0, false), "5 mm/mV");
    EXPECT_STREQ(speedItem(2, true), "25 мм/с");
    EXPECT_STREQ(speedItem(3, false), "50 mm/s");
    EXPECT_STREQ(kGroupItems[9], "I..V6");
}
