// SPDX-License-Identifier: GPL-3.0-or-later
// Review pages measured in pixels: peaks at full height, identical beats alike, the speed of the
// trace against the stated mm/s, second labels under their seconds, paging without leftovers.
#include "display/Display.h"
#include "display/TracePage.h"
#include "display/tests/Synthetic.h"
#include "signal/Leads.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cmath>

using namespace velkard;
using namespace velkard::display;
using velkard::display::test::kLive;
using velkard::display::test::kReview;
using velkard::display::test::kRhythmogram;
using velkard::display::test::makeRecording;
using velkard::display::test::record;

namespace {

const DeviceCaps kCaps{1024, 320, 768, 240}; // p = q = 3.2
const WindowMetrics kWin{1024, 700, 1024, 650, 30};

[[maybe_unused]] bool black(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0;
}

struct Review {
    display::Display d;
    std::vector<std::uint8_t> bytes;
    Review(std::vector<std::uint8_t> b, DeviceCaps caps, WindowMetrics win, int group, int speed,
           int scale = 1)
        : d(caps, win), bytes(std::move(b)) {
        d.setChoices(scale, group, speed);
        d.openRecording(bytes, static_cast<int>(bytes.size() / 12800), kReview);
    }
};

} // namespace

TEST(TracePaging, BackFromALastPageThatEndedWithTheDataLeavesNoStrayStroke) {
    // Two and a half pages of a level that is not zero: the last page ends with the data.
    const int perPage = 964 * 10;
    auto bytes = makeRecording(perPage * 5 / 2, [](int i) {
        return record(0, std::int16_t(300 + (i % 800 < 40 ? 400 : 0)));
    });
    Review once(bytes, kCaps, kWin, 1, 2);
    once.d.forward(kReview); // page 1
    Review there(bytes, kCaps, kWin, 1, 2);
    there.d.forward(kReview);
    there.d.forward(kReview); // the last page, ending with the data
    ASSERT_FALSE(there.d.forwardEnabled());
    there.d.back(kReview); // page 1 again
    ASSERT_EQ(there.d.pageNumber(), 1);
    const QImage a = once.d.surface();
    const QImage b = there.d.surface();
    // The trace area (below the label row) is the same pixel for pixel.
    int differing = 0;
    for (int y = 60; y < kWin.clientBottom; ++y)
        for (int x = 0; x < kWin.clientRight; ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

namespace {

// 1920 × 1080 pixels on 527 × 296 mm (p = 3.64, q = 3.65).
const DeviceCaps kWide{1920, 527, 1080, 296};
const WindowMetrics kWideWin{1920, 1050, 1920, 990, 30};
constexpr int kBaseline = 990 / 2; // the single-lead row

// Identical beats every 0.8 s (640 records): R of 1.5 mV, gaussian with sigma 8 ms, its peak on
// a sample, in lead II (and lead III = c0 = 0).
std::vector<std::uint8_t> beats(int seconds) {
    return makeRecording(seconds * 800, [](int i) {
        const double t = (i % 640 - 200) / 800.0;
        return record(0, std::int16_t(std::lround(1.5 * signal::kUnitsPerMillivolt *
                                                  std::exp(-t * t / (2 * 0.008 * 0.008)))));
    });
}

// A 1 mV pulse of 50 ms starting at every whole second.
std::vector<std::uint8_t> pulses(int seconds) {
    return makeRecording(seconds * 800, [](int i) {
        return record(0, std::int16_t(i % 800 < 40 ? std::lround(signal::kUnitsPerMillivolt) : 0));
    });
}

int topBlack(const QImage& img, int x0, int x1, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (black(img, x, y))
                return y;
    return -1;
}

bool blue(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
}

// Height in pixels of the blue calibration mark left of the trace.
int markHeight(const QImage& img) {
    int top = img.height(), bottom = -1;
    for (int x = 0; x < 60; ++x)
        for (int y = 40; y < img.height(); ++y)
            if (blue(img, x, y)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return bottom - top;
}

// x of each pulse's rising edge crossing row y: the first black pixel of each group of black
// pixels (a pulse's two edges are closer than `gap` columns, two pulses farther apart).
std::vector<int> risingEdges(const QImage& img, int y, int x0, int x1, int gap = 8) {
    std::vector<int> xs;
    int last = -1000000;
    for (int x = x0; x < x1; ++x) {
        if (!black(img, x, y))
            continue;
        if (x - last > gap)
            xs.push_back(x);
        last = x;
    }
    return xs;
}

} // namespace

TEST(TracePixels, PeaksAtFullHeightAndIdenticalBeatsAlikeAtEverySpeed) {
    const auto bytes = beats(120);
    for (int speed = 0; speed < 4; ++speed) {
        Review r(bytes, kWide, kWideWin, 1, speed);
        const QImage& img = r.d.surface();
        const int mark = markHeight(img);
        ASSERT_GT(mark, 30) << speed;
        const int x0 = r.d.traceOrigin();
        const double spc = r.d.geometry().screenSamplesPerColumn;
        std::vector<int> heights;
        for (int beat = 0; beat < 300; ++beat) {
            const double x = x0 + (beat * 640 + 200) / spc;
            if (x + 4 >= 1920)
                break;
            const int top = topBlack(img, int(x) - 3, int(x) + 4, 60, kBaseline);
            heights.push_back(kBaseline - top);
        }
        ASSERT_GE(heights.size(), 2u) << speed;
        for (int h : heights) {
            EXPECT_NEAR(h, 1.5 * mark, 1.0) << "speed " << speed;
            EXPECT_EQ(h, heights[0]) << "speed " << speed; // identical beats look identical
        }
    }
}

TEST(TracePixels, LiveSweepDrawsThePeaksAtFullHeightToo) {
    const auto bytes = beats(10);
    for (int speed = 0; speed < 4; ++speed) {
        display::Display d(kWide, kWideWin);
        d.setChoices(1, 1, speed);
        d.prepareLiveDisplay();
        for (std::size_t at = 0;
             at + signal::kBlockBytes <= bytes.size() && d.sweepPosition() + 200 < 1920 - 55;
             at += signal::kBlockBytes)
            d.drawLiveBlock(bytes.data() + at);
        const QImage& img = d.surface();
        const int mark = markHeight(img);
        const int top =
            topBlack(img, d.sweepOrigin(), d.sweepOrigin() + d.sweepPosition(), 60, kBaseline);
        EXPECT_NEAR(kBaseline - top, 1.5 * mark, 1.0) << "speed " << speed;
    }
}

TEST(TracePixels, ScreenSpeedsWithinTwoAndAHalfPercentOnAnyScreen) {
    const auto bytes = pulses(130);
    for (const DeviceCaps& caps :
         {kWide, DeviceCaps{1024, 260, 768, 195}, kCaps, DeviceCaps{2560, 597, 1440, 336}}) {
        const WindowMetrics win{caps.horzRes, caps.vertRes - 30, caps.horzRes, caps.vertRes - 90,
                                30};
        for (int speed = 0; speed < 4; ++speed) {
            Review r(bytes, caps, win, 1, speed);
            const QImage& img = r.d.surface();
            const int y = win.clientBottom / 2 - 10;
            const double spc = r.d.geometry().screenSamplesPerColumn;
            // From half a second in: the first pulse starts with the trace and has no rising edge.
            const std::vector<int> xs = risingEdges(img, y, r.d.traceOrigin() + int(400 / spc),
                                                    caps.horzRes, int(0.3 * 800 / spc));
            ASSERT_GE(xs.size(), 3u);
            const double pxPerSecond = double(xs.back() - xs.front()) / double(xs.size() - 1);
            const double mmPerSecond = pxPerSecond / caps.horzPxPerMm();
            const double stated = kSpeedMmPerS[std::size_t(speed)];
            EXPECT_NEAR(mmPerSecond / stated, 1.0, 0.025)
                << caps.horzRes << "/" << caps.horzSize << " at " << stated << " mm/s";
        }
    }
}

TEST(TracePixels, SecondLabelsSitAtTheirSecondsOnEveryPageAndNeverTouch) {
    const auto bytes = pulses(130);
    for (int speed = 0; speed < 4; ++speed) {
        Review r(bytes, kWide, kWideWin, 1, speed);
        QFont font = QGuiApplication::font();
        font.setPointSize(10);
        font.setBold(true);
        const QFontMetrics fm(font, &r.d.surface());
        int pages = 0;
        while (true) {
            ++pages;
            const QImage& img = r.d.surface();
            const auto& labels = r.d.secondLabels();
            ASSERT_FALSE(labels.empty()) << "speed " << speed << " page " << r.d.pageNumber();
            const int first = r.d.pageFirstSecond();
            // The pulse of each labelled second rises at the label's x (or one column right when
            // the second's first record shares its column with the record before).
            const std::vector<int> edges =
                risingEdges(img, kBaseline - 10, r.d.traceOrigin(), 1920,
                            int(0.3 * 800 / r.d.geometry().screenSamplesPerColumn));
            for (std::size_t k = 0; k < labels.size(); ++k) {
                const auto& l = labels[k];
                EXPECT_GE(l.second, first);
                const bool atEdge = std::any_of(edges.begin(), edges.end(),
                                                [&](int e) { return e >= l.x && e <= l.x + 1; });
                // The first second of a page may start at its very first column, where no edge
                // rises from a previous sample.
                // The end of the data is labelled too; no pulse starts there.
                if (l.second == 130)
                    continue;
                EXPECT_TRUE(atEdge || l.x == r.d.traceOrigin())
                    << "speed " << speed << " second " << l.second << " at " << l.x;
                // The label's text starts there.
                const int textLeft = [&] {
                    for (int x = l.x - 3; x < l.x + 20; ++x)
                        for (int y = 30; y < 30 + fm.height(); ++y)
                            if (black(img, x, y))
                                return x;
                    return -1;
                }();
                EXPECT_GE(textLeft, l.x);
                EXPECT_LE(textLeft, l.x + 3);
                if (k > 0) {
                    const int width =
                        fm.horizontalAdvance(QStringLiteral("%1s").arg(labels[k - 1].second));
                    EXPECT_GE(l.x - labels[k - 1].x, width + 4) << "labels touch at " << speed;
                }
            }
            if (!r.d.forwardEnabled())
                break;
            r.d.forward(kReview);
        }
        EXPECT_GE(pages, 2) << speed;
    }
}

TEST(TracePageParts, FastDerivationAndColumnsMatchTheReferenceRoutines) {
    // Extreme channel values (wrap and truncation towards zero), and an A2 range across record
    // 8040, against signal's per-record derivation and the envelope builder.
    std::uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return std::int16_t(state >> 16);
    };
    const int records = 9000;
    const auto bytes = makeRecording(records, [&](int i) {
        signal::SampleRecord r;
        for (auto& c : r.c)
            c = i % 97 == 0 ? std::int16_t(i % 2 ? 32767 : -32768) : next();
        return r;
    });
    for (bool a2 : {false, true})
        for (std::int64_t first : {0, 7900}) {
            const std::int64_t count = 1100;
            LeadArrays leads;
            ASSERT_EQ(deriveRangeInto(bytes, first, count, a2, leads), count);
            for (std::int64_t i = 0; i < count; ++i) {
                signal::SampleRecord r;
                for (int ch = 0; ch < 8; ++ch)
                    r.c[std::size_t(ch)] = signal::readLe16(
                        bytes.data() + (first + i) * signal::kRecordBytes + 2 * ch);
                const signal::LeadValues want = a2 && first + i >= kA2DerivedLimit
                                                    ? signal::underivedA2Leads(r)
                                                    : signal::deriveStandardLeads(r);
                for (std::size_t l = 0; l < 12; ++l)
                    ASSERT_EQ(leads[l][std::size_t(i)], want[l])
                        << "record " << first + i << " lead " << l << " A2 " << a2;
            }
            for (double spc : {0.677, 1.0, 4.392, 9.0, 42.0, 51.0}) {
                std::vector<ColumnSpan> fast;
                drawnColumns(leads[7].data(), std::size_t(count), spc, fast);
                const std::vector<ColumnSpan> ref =
                    envelope(leads[7].data(), std::size_t(count), spc);
                ASSERT_EQ(fast.size(), ref.size()) << spc;
                for (std::size_t c = 0; c < ref.size(); ++c) {
                    EXPECT_EQ(fast[c].empty, ref[c].empty) << spc << " " << c;
                    EXPECT_EQ(fast[c].lo, ref[c].lo) << spc << " " << c;
                    EXPECT_EQ(fast[c].hi, ref[c].hi) << spc << " " << c;
                    EXPECT_EQ(fast[c].first, ref[c].first) << spc << " " << c;
                    EXPECT_EQ(fast[c].last, ref[c].last) << spc << " " << c;
                }
            }
        }
}
