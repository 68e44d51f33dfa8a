// SPDX-License-Identifier: GPL-3.0-or-later
// The envelope routine shared by review, live sweep and print, against a brute-force reduction.
#include "display/Envelope.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace velkard::display {
namespace {

std::vector<std::int16_t> noise(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-2000, 2000);
    std::vector<std::int16_t> v(n);
    for (auto& x : v)
        x = std::int16_t(d(gen));
    return v;
}

TEST(Envelope, EveryColumnHoldsTheExtremesOfItsOwnSamples) {
    const auto s = noise(5000, 1);
    for (double spc : {1.0, 3.0, 4.392, 10.0, 43.92, 0.4, 0.677}) {
        const auto cols = envelope(s.data(), s.size(), spc);
        std::size_t filled = 0;
        for (std::size_t c = 0; c < cols.size(); ++c) {
            const std::int64_t a = columnStart(std::int64_t(c), spc);
            const std::int64_t b = std::min<std::int64_t>(columnStart(std::int64_t(c) + 1, spc),
                                                          std::int64_t(s.size()));
            if (a >= b) {
                EXPECT_TRUE(cols[c].empty) << spc << " " << c;
                continue;
            }
            ++filled;
            const auto [mn, mx] = std::minmax_element(s.begin() + a, s.begin() + b);
            ASSERT_FALSE(cols[c].empty);
            EXPECT_EQ(cols[c].lo, *mn) << spc << " " << c;
            EXPECT_EQ(cols[c].hi, *mx) << spc << " " << c;
            EXPECT_EQ(cols[c].first, s[std::size_t(a)]);
            EXPECT_EQ(cols[c].last, s[std::size_t(b - 1)]);
            const auto firstMin = std::find(s.begin() + a, s.begin() + b, *mn);
            const auto firstMax = std::find(s.begin() + a, s.begin() + b, *mx);
            if (*mn != *mx) {
                EXPECT_EQ(cols[c].hiFirst, firstMax < firstMin) << spc << " " << c;
            }
        }
        // Every sample is in exactly one column; the columns cover the samples' time.
        EXPECT_EQ(cols.size(), std::size_t(columnOfSample(std::int64_t(s.size()) - 1, spc) + 1));
        if (spc >= 1) {
            EXPECT_EQ(filled, cols.size());
        }
    }
}

TEST(Envelope, FedInPiecesGivesTheSameColumnsAsAtOnce) {
    const auto s = noise(4000, 2);
    std::mt19937 gen(3);
    for (double spc : {1.0, 4.392, 10.0, 21.96, 0.677}) {
        const auto whole = envelope(s.data(), s.size(), spc);
        EnvelopeBuilder b(spc);
        std::vector<ColumnSpan> pieces;
        std::size_t at = 0;
        while (at < s.size()) {
            const std::size_t n = std::min<std::size_t>(s.size() - at, 1 + gen() % 700);
            b.add(s.data() + at, n, pieces);
            at += n;
        }
        b.flush(pieces);
        ASSERT_EQ(pieces.size(), whole.size()) << spc;
        for (std::size_t c = 0; c < whole.size(); ++c) {
            EXPECT_EQ(pieces[c].lo, whole[c].lo);
            EXPECT_EQ(pieces[c].hi, whole[c].hi);
            EXPECT_EQ(pieces[c].hiFirst, whole[c].hiFirst) << spc << " " << c;
            EXPECT_EQ(pieces[c].empty, whole[c].empty);
        }
    }
}

TEST(Envelope, ColumnOfSampleAndColumnStartAgree) {
    for (double spc : {1.0, 3.0, 4.392, 8.784, 0.4, 0.677, 43.92}) {
        for (std::int64_t i = 0; i < 20000; ++i) {
            const std::int64_t c = columnOfSample(i, spc);
            ASSERT_LE(columnStart(c, spc), i);
            ASSERT_GT(columnStart(c + 1, spc), i);
        }
    }
}

TEST(Envelope, StrokesJoinTheColumnBefore) {
    ColumnSpan previous;
    previous.empty = false;
    previous.lo = previous.hi = previous.first = previous.last = 100;
    ColumnSpan rise;
    rise.empty = false;
    rise.lo = 300;
    rise.hi = 900;
    auto yOf = [](int v) { return 1000 - v; };
    const Stroke joined = columnStroke(rise, &previous, yOf);
    EXPECT_EQ(joined.top, 100);
    EXPECT_EQ(joined.bottom, 900); // reaches down to the previous column's last sample
    const Stroke alone = columnStroke(rise, nullptr, yOf);
    EXPECT_EQ(alone.bottom, 700);
}

} // namespace
} // namespace velkard::display
