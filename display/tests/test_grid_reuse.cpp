// SPDX-License-Identifier: GPL-3.0-or-later
// The grid is drawn once per geometry and copied back for every page: a page must look exactly as
// if everything had been drawn afresh, and a new window size or screen must bring a new grid.
#include "display/Display.h"
#include "display/tests/Synthetic.h"

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

const DeviceCaps kCaps{1024, 320, 768, 240};        // 3.2 pixels per millimetre
const WindowMetrics kWin{1024, 700, 1024, 650, 30}; // client bottom 650
constexpr int kPageRecords = 964 * 10;              // columns × samples per column at 25 mm/s

struct Review {
    Display d;
    std::vector<std::uint8_t> bytes;
    Review(std::vector<std::uint8_t> b, DeviceCaps caps = kCaps, WindowMetrics win = kWin)
        : d(caps, win), bytes(std::move(b)) {
        d.setChoices(1, 9, 2); // 10 mm/mV, twelve leads, 25 mm/s
        d.openRecording(bytes, static_cast<int>(bytes.size() / 12800), kReview);
    }
};

// Pixels of the drawing area (right of the label strip, below the tool panel) that differ.
int differingPixels(const QImage& a, const QImage& b, const WindowMetrics& win, int left) {
    int differing = 0;
    for (int y = win.panelHeight; y < win.clientBottom; ++y)
        for (int x = left; x < win.clientRight; ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return differing;
}

} // namespace

TEST(GridReuse, PagingLeavesNothingOfThePreviousTraces) {
    // Page 0 carries a tall burst on every lead; pages 1 and 2 are flat, like the whole of the
    // other recording. Once on a flat page both must show the same pixels.
    const auto burst = makeRecording(3 * kPageRecords, [](int i) {
        return i >= 4000 && i < 4400 ? record(2000, -1500, 900) : record(0, 0);
    });
    Review withBurst(burst);
    Review flat(constantRecording(3 * kPageRecords, 0, 0));
    const int left = static_cast<int>(9 * kCaps.horzPxPerMm());

    ASSERT_GT(differingPixels(withBurst.d.surface(), flat.d.surface(), kWin, left), 500);
    withBurst.d.forward(kReview);
    flat.d.forward(kReview);
    EXPECT_EQ(withBurst.d.pageNumber(), 1);
    EXPECT_EQ(differingPixels(withBurst.d.surface(), flat.d.surface(), kWin, left), 0);
    withBurst.d.back(kReview);
    flat.d.back(kReview);
    EXPECT_GT(differingPixels(withBurst.d.surface(), flat.d.surface(), kWin, left), 500);
    withBurst.d.forward(kReview);
    withBurst.d.forward(kReview);
    flat.d.forward(kReview);
    flat.d.forward(kReview);
    EXPECT_EQ(withBurst.d.pageNumber(), 2);
    EXPECT_EQ(differingPixels(withBurst.d.surface(), flat.d.surface(), kWin, left), 0);
}

TEST(GridReuse, NewWindowSizeOrScreenBringsANewGrid) {
    const auto bytes = makeRecording(2 * kPageRecords, [](int i) {
        return record(static_cast<std::int16_t>(i % 800), static_cast<std::int16_t>(i % 300));
    });
    Review resized(bytes);

    // The window grows: its resize handler sets the new shape, then the speed again.
    const WindowMetrics big{1280, 900, 1280, 850, 30};
    resized.d.setWindowMetrics(big);
    ASSERT_TRUE(resized.d.setSpeed(2, kReview));
    Review fresh(bytes, kCaps, big);
    EXPECT_EQ(resized.d.gridImage(), fresh.d.gridImage());
    // The lead labels reach a few pixels into the area, in the font the previous page left set:
    // they are left out.
    const int left = static_cast<int>(9 * kCaps.horzPxPerMm()) + 8;
    EXPECT_EQ(differingPixels(resized.d.surface(), fresh.d.surface(), big, left), 0);

    // Another screen: more pixels per millimetre, so a finer-spaced grid.
    const DeviceCaps dense{1280, 320, 900, 240};
    resized.d.setDeviceCaps(dense);
    resized.d.computeVerticalGeometry();
    ASSERT_TRUE(resized.d.setSpeed(2, kReview));
    Review denseFresh(bytes, dense, big);
    EXPECT_EQ(resized.d.gridImage(), denseFresh.d.gridImage());
    EXPECT_NE(resized.d.gridImage(), fresh.d.gridImage());
    const int denseLeft = static_cast<int>(9 * dense.horzPxPerMm()) + 8;
    EXPECT_EQ(differingPixels(resized.d.surface(), denseFresh.d.surface(), big, denseLeft), 0);
}
