// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Display.h"
#include "display/tests/Synthetic.h"

#include <gtest/gtest.h>
#include <memory>

using namespace velkard;
using namespace velkard::display;
using velkard::display::test::kLive;
using velkard::display::test::kReview;
using velkard::display::test::kRhythmogram;

namespace {

const DeviceCaps kCaps{1024, 320, 768, 240}; // p = q = 3.2

signal::SampleBlock constantBlock(std::int16_t c0, std::int16_t c1) {
    signal::SampleBlock b;
    b.fill(test::record(c0, c1));
    return b;
}

bool black(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0;
}

int blackCount(const QImage& img, int x, int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        n += black(img, x, y);
    return n;
}

bool allWhite(const QImage& img, int x, int top, int bottom) {
    for (int y = top; y < bottom; ++y)
        if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
            return false;
    return true;
}

std::unique_ptr<Display> liveDisplay(WindowMetrics win, int group, int speed) {
    auto d = std::make_unique<Display>(kCaps, win);
    d->setChoices(1, group, speed);
    d->prepareLiveDisplay();
    return d;
}

} // namespace

TEST(LiveSweep, StripWidthFollowsSamplesPerColumn) {
    Display d(kCaps, {});
    d.setChoices(1, 9, 2);
    d.prepareLiveDisplay();
    d.drawLiveBlock(constantBlock(0, 0));
    EXPECT_EQ(d.lastStripWidth(), 40);
    d.setChoices(1, 9, 0);
    d.drawLiveBlock(constantBlock(0, 0));
    EXPECT_EQ(d.lastStripWidth(), 7); // the complete columns of 51 samples in 400
    d.setChoices(1, 9, 3);
    d.drawLiveBlock(constantBlock(0, 0));
    EXPECT_EQ(d.lastStripWidth(), 80);
}

TEST(LiveSweep, WrapsWhenPositionReachesClientRightMinus55) {
    Display d(kCaps, {1000, 700, 1000, 650, 30});
    d.setChoices(1, 9, 2);
    d.prepareLiveDisplay();
    for (int k = 1; k <= 23; ++k) {
        d.drawLiveBlock(constantBlock(0, 0));
        EXPECT_EQ(d.sweepPosition(), 40 * k);
        EXPECT_EQ(d.gridPosition(), 40 * k);
    }
    d.drawLiveBlock(constantBlock(0, 0)); // 920 + 40 = 960 ≥ 945
    EXPECT_EQ(d.sweepPosition(), 0);
    EXPECT_EQ(d.gridPosition(), 0);
    // Any selector change starts the sweep at the left again.
    d.drawLiveBlock(constantBlock(0, 0));
    ASSERT_EQ(d.sweepPosition(), 40);
    d.setLeadGroup(1, kLive);
    EXPECT_EQ(d.sweepPosition(), 0);
}

TEST(LiveSweep, TraceAtTheReviewBaselines) {
    auto dOwner = liveDisplay({1024, 700, 1024, 650, 30}, 1, 2);
    Display& d = *dOwner;
    d.drawLiveBlock(constantBlock(0, 681));
    const int origin = d.sweepOrigin();
    EXPECT_EQ(origin, 59); // trunc(18 × 3.2 + 2)
    // Lead II at 1 mV sits 32 px above the 325 baseline, as in the review (y 293).
    const int expected = 293;
    for (int x = origin + 1; x < origin + 40; x += 5) {
        EXPECT_EQ(blackCount(d.surface(), x, 0, 650), 1) << x;
        EXPECT_TRUE(black(d.surface(), x, expected) || black(d.surface(), x, expected + 1)) << x;
    }
    // The erase bar runs ahead of the head: the nine columns past the strip are white, grid too.
    for (int x = origin + 40; x < origin + 49; ++x)
        EXPECT_TRUE(allWhite(d.surface(), x, 0, 650)) << x;
    EXPECT_FALSE(allWhite(d.surface(), origin + 50, 30, 650)); // the static grid beyond it
}

namespace {
// Fills the sweep once with a trace at one level, wraps, and draws one block at another level.
// Returns the column just right of the new strip.
int overwriteAfterWrap(Display& d, int blocksToWrap) {
    for (int k = 0; k < blocksToWrap; ++k)
        d.drawLiveBlock(constantBlock(0, 681));
    EXPECT_EQ(d.sweepPosition(), 0);
    d.drawLiveBlock(constantBlock(0, -681));
    return d.sweepOrigin() + d.lastStripWidth() + 4;
}
} // namespace

TEST(LiveSweep, EraseBarClearsOldTraceAheadOfHead) {
    auto dOwner = liveDisplay({400, 700, 400, 650, 30}, 1, 2);
    Display& d = *dOwner; // wraps at ≥ 345: 9 strips of 40
    const int x = overwriteAfterWrap(d, 9);
    EXPECT_TRUE(allWhite(d.surface(), x, 0, 650));
}

TEST(LiveSweep, NoEraseBarAtFiftyMillimetresPerSecond) {
    auto dOwner = liveDisplay({400, 700, 400, 650, 30}, 1, 3);
    Display& d = *dOwner; // strips of 80: 5 to wrap
    const int x = overwriteAfterWrap(d, 5);
    // The old trace (and grid) is still there just right of the new strip.
    EXPECT_EQ(blackCount(d.surface(), x, 30, 650), 1);
    EXPECT_FALSE(allWhite(d.surface(), x, 30, 650));
}

TEST(LiveSweep, OnlyGroupLeadsDrawn) {
    auto dOwner = liveDisplay({1024, 700, 1024, 650, 30}, 3, 2);
    Display& d = *dOwner; // I, II, III
    d.drawLiveBlock(constantBlock(0, 0));
    EXPECT_EQ(blackCount(d.surface(), d.sweepOrigin() + 10, 0, 650), 3);
    auto allOwner = liveDisplay({1024, 700, 1024, 650, 30}, 9, 2);
    Display& all = *allOwner;
    all.drawLiveBlock(constantBlock(0, 0));
    EXPECT_EQ(blackCount(all.surface(), all.sweepOrigin() + 10, 0, 650), 12);
}

TEST(LiveSweep, RawBlockBytesAreLittleEndian) {
    auto aOwner = liveDisplay({1024, 700, 1024, 650, 30}, 1, 2);
    Display& a = *aOwner;
    auto bOwner = liveDisplay({1024, 700, 1024, 650, 30}, 1, 2);
    Display& b = *bOwner;
    const auto bytes = test::constantRecording(400, 0, 681);
    a.drawLiveBlock(bytes.data());
    b.drawLiveBlock(constantBlock(0, 681));
    EXPECT_TRUE(a.surface() == b.surface());
}

// The window repaints only lastLiveChange() after each block: a screen copied from the surface
// through those rectangles alone must end up as the surface itself, and no pixel may change
// outside them. Steep waves in all twelve leads, soft and one-pixel traces, every speed, over two
// wraps of the sweep.
TEST(LiveSweep, ReportedChangeHoldsEveryChangedPixel) {
    const DeviceCaps narrow{1024, 400, 768, 300}; // 2.56 px/mm: one-pixel traces
    for (const DeviceCaps& caps : {kCaps, narrow}) {
        for (int speed = 0; speed <= 3; ++speed) {
            Display d(caps, {300, 700, 300, 650, 30});
            d.setChoices(1, 9, speed);
            d.prepareLiveDisplay();
            QImage screen = d.surface().copy();
            int blocks = 0;
            int wraps = 0;
            int changes = 0;
            for (int k = 0; wraps < 2 && k < 400; ++k) {
                signal::SampleBlock block;
                for (int r = 0; r < signal::kRecordsPerBlock; ++r) {
                    const int t = k * signal::kRecordsPerBlock + r;
                    // A spike every 0.7 s over a slow ramp: strokes of all lengths, both ways.
                    const auto v = static_cast<std::int16_t>((t % 560) < 12 ? 2400 - 400 * (t % 12)
                                                                            : (t % 97) * 9 - 400);
                    block[std::size_t(r)] = test::record(v, std::int16_t(-v / 2), v);
                }
                const QImage before = d.surface().copy();
                const int position = d.sweepPosition();
                d.drawLiveBlock(block);
                ++blocks;
                if (d.sweepPosition() < position)
                    ++wraps;
                const QRect change = d.lastLiveChange();
                // Past the window's edge (a narrow window sweeps beyond it) nothing is drawn.
                changes += !change.isEmpty();
                for (int y = 0; y < before.height(); ++y) {
                    const auto* was = reinterpret_cast<const QRgb*>(before.constScanLine(y));
                    const auto* is = reinterpret_cast<const QRgb*>(d.surface().constScanLine(y));
                    for (int x = 0; x < before.width(); ++x) {
                        if (was[x] != is[x]) {
                            ASSERT_TRUE(change.contains(x, y))
                                << "speed " << speed << " block " << k << " at " << x << "," << y
                                << " outside " << change.left() << ".." << change.right();
                        }
                    }
                }
                for (int y = change.top(); y <= change.bottom(); ++y)
                    for (int x = change.left(); x <= change.right(); ++x)
                        screen.setPixel(x, y, d.surface().pixel(x, y));
            }
            EXPECT_EQ(wraps, 2) << speed;
            EXPECT_GT(changes, blocks * 3 / 4) << speed;
            EXPECT_TRUE(screen == d.surface()) << speed;
        }
    }
}
