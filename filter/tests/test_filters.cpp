// SPDX-License-Identifier: GPL-3.0-or-later
// The filters measured on synthetic signals run through the same code the review, the print and
// the live sweep use.
#include "filter/Filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace velkard::filter {
namespace {

constexpr double kFs = 800.0;
constexpr double kPi = std::numbers::pi;
constexpr double kMv = signal::kUnitsPerMillivolt;

// A recording whose eight channels all carry value(sample index).
std::vector<std::uint8_t> recording(std::size_t records, const std::function<double(int)>& value) {
    std::vector<std::uint8_t> bytes(records * signal::kRecordBytes);
    for (std::size_t i = 0; i < records; ++i) {
        const double v = std::nearbyint(value(int(i)));
        for (int ch = 0; ch < signal::kChannels; ++ch)
            signal::writeLe16(bytes.data() + i * 16 + 2 * ch, static_cast<std::int16_t>(v));
    }
    return bytes;
}

std::vector<double> channel(const std::vector<std::uint8_t>& bytes, int ch) {
    std::vector<double> v(bytes.size() / 16);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = signal::readLe16(bytes.data() + i * 16 + 2 * ch);
    return v;
}

// Zero-phase over a whole recording, or causal in blocks of 400 records as the live sweep runs.
std::vector<std::uint8_t> filtered(std::vector<std::uint8_t> bytes, const FilterSettings& s,
                                   Phase phase) {
    if (phase == Phase::Zero) {
        filterRecordingBytes(bytes, s);
        return bytes;
    }
    StreamFilter f(s);
    std::vector<signal::SampleRecord> records(bytes.size() / 16);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (int ch = 0; ch < 8; ++ch)
            records[i].c[std::size_t(ch)] = signal::readLe16(bytes.data() + i * 16 + 2 * ch);
    for (std::size_t at = 0; at < records.size(); at += signal::kRecordsPerBlock)
        f.process(std::span(records).subspan(
            at, std::min<std::size_t>(signal::kRecordsPerBlock, records.size() - at)));
    for (std::size_t i = 0; i < records.size(); ++i)
        for (int ch = 0; ch < 8; ++ch)
            signal::writeLe16(bytes.data() + i * 16 + 2 * ch, records[i].c[std::size_t(ch)]);
    return bytes;
}

// Amplitude of the hz component of v over [from, to) seconds (least-squares fit of sine, cosine
// and a constant over whole periods).
double amplitude(const std::vector<double>& v, double hz, double from, double to) {
    const int a = int(from * kFs);
    const int periods = int((to - from) * hz);
    const int n = int(std::lround(periods * kFs / hz));
    double mean = 0;
    for (int i = a; i < a + n; ++i)
        mean += v[std::size_t(i)];
    mean /= n;
    double s = 0, c = 0;
    for (int i = a; i < a + n; ++i) {
        const double w = 2 * kPi * hz * i / kFs;
        s += (v[std::size_t(i)] - mean) * std::sin(w);
        c += (v[std::size_t(i)] - mean) * std::cos(w);
    }
    return 2 * std::hypot(s, c) / n;
}

// Gain in dB of a sine of hz through the filters, measured in the middle of a 12-s recording.
double measuredGainDb(const FilterSettings& s, Phase phase, double hz) {
    const double in = 10000;
    // Five whole periods after four seconds of settling, and four more seconds after them.
    const double window = std::max(5.0, 5 / hz);
    const auto bytes =
        filtered(recording(std::size_t((window + 8) * kFs),
                           [&](int i) { return in * std::sin(2 * kPi * hz * i / kFs); }),
                 s, phase);
    return 20 * std::log10(amplitude(channel(bytes, 3), hz, 4.0, 4.0 + window) / in);
}

class NotchTest : public ::testing::TestWithParam<std::tuple<Mains, Phase>> {};

TEST_P(NotchTest, FortyDbDownAtMainsAndAtMostHalfADbLostFiveHzAway) {
    const auto [mains, phase] = GetParam();
    FilterSettings s;
    s.mains = mains;
    const double f0 = mainsHz(mains);
    for (double hz : {f0 - 0.5, f0, f0 + 0.5})
        EXPECT_LE(measuredGainDb(s, phase, hz), -40.0) << hz << " Hz";
    for (double hz : {1.0, 10.0, 25.0, f0 - 10, f0 - 5, f0 + 5, f0 + 10, 100.0, 150.0, 300.0}) {
        const double g = measuredGainDb(s, phase, hz);
        EXPECT_GE(g, -0.5) << hz << " Hz";
        EXPECT_LE(g, 0.1) << hz << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(MainsAndPhase, NotchTest,
                         ::testing::Combine(::testing::Values(Mains::Hz50, Mains::Hz60),
                                            ::testing::Values(Phase::Zero, Phase::Causal)));

class LowPassTest : public ::testing::TestWithParam<Phase> {};

TEST_P(LowPassTest, FortyHzWithinTwoPercentAtTenHzAndThreeDbDownAtForty) {
    FilterSettings s;
    s.lowPass = LowPass::Hz40;
    const double at10 = std::pow(10.0, measuredGainDb(s, GetParam(), 10.0) / 20);
    EXPECT_NEAR(at10, 1.0, 0.02);
    EXPECT_LE(measuredGainDb(s, GetParam(), 40.0), -3.0);
    EXPECT_LE(measuredGainDb(s, GetParam(), 80.0), -10.0);
}

TEST_P(LowPassTest, ThirtyFiveAndOneFiftyHzAreThreeDbDownAtTheirFrequency) {
    FilterSettings s;
    s.lowPass = LowPass::Hz35;
    EXPECT_LE(measuredGainDb(s, GetParam(), 35.0), -3.0);
    EXPECT_GE(measuredGainDb(s, GetParam(), 35.0), -3.2);
    EXPECT_GE(measuredGainDb(s, GetParam(), 10.0), -0.2);
    s.lowPass = LowPass::Hz150;
    EXPECT_LE(measuredGainDb(s, GetParam(), 150.0), -3.0);
    EXPECT_GE(measuredGainDb(s, GetParam(), 40.0), -0.1);
}

INSTANTIATE_TEST_SUITE_P(Phases, LowPassTest, ::testing::Values(Phase::Zero, Phase::Causal));

// The low-frequency impulse test for diagnostic electrocardiographs: 3 mV for 100 ms, here as a
// triangle (3 mV peak, 100 ms base) and as a rectangle; after the impulse the trace may lie at most
// 0.1 mV off its baseline and slope at most 0.3 mV/s.
struct ImpulseOutcome {
    double maxOffsetMv = 0;
    double maxSlopeMvPerS = 0;
};

ImpulseOutcome impulseTest(const FilterSettings& s, Phase phase, bool triangle, double offsetMv) {
    const int start = 8000; // 10 s
    const int length = 80;  // 100 ms
    const auto bytes =
        filtered(recording(std::size_t(30 * kFs),
                           [&](int i) {
                               const int k = i - start;
                               double mv = 0;
                               if (k >= 0 && k < length)
                                   mv = triangle ? 3.0 * (1 - std::abs(k - 40) / 40.0) : 3.0;
                               return (mv + offsetMv) * kMv;
                           }),
                 s, phase);
    const auto v = channel(bytes, 0);
    ImpulseOutcome out;
    // With a low-pass in the chain the edge of the impulse is smeared over a few milliseconds;
    // the measurement starts 40 ms after the impulse then.
    const int settle = s.lowPass == LowPass::Off ? 0 : 32;
    const int from = start + length + settle;
    const int to = int(28 * kFs);
    const int lag = 80;
    for (int i = from; i < to; ++i) {
        out.maxOffsetMv = std::max(out.maxOffsetMv, std::abs(v[std::size_t(i)]) / kMv);
        if (i + lag < to)
            out.maxSlopeMvPerS =
                std::max(out.maxSlopeMvPerS,
                         std::abs(v[std::size_t(i + lag)] - v[std::size_t(i)]) / kMv / 0.1);
    }
    return out;
}

class ImpulseTest : public ::testing::TestWithParam<Phase> {};

TEST_P(ImpulseTest, DiagnosticHighPassPassesTheLowFrequencyImpulseTest) {
    // A standing electrode offset of 5 mV must not matter either.
    FilterSettings highPassOnly;
    highPassOnly.highPass = HighPass::Hz005;
    for (bool triangle : {true, false}) {
        SCOPED_TRACE(triangle ? "triangle" : "rectangle");
        const ImpulseOutcome r = impulseTest(highPassOnly, GetParam(), triangle, 5.0);
        EXPECT_LE(r.maxOffsetMv, 0.1);
        EXPECT_LE(r.maxSlopeMvPerS, 0.3);
    }
    // The whole diagnostic chain with the triangle (a rectangle's edges set the notch ringing).
    const ImpulseOutcome r =
        impulseTest({Mains::Hz50, HighPass::Hz005, LowPass::Hz40}, GetParam(), true, 5.0);
    EXPECT_LE(r.maxOffsetMv, 0.1);
    EXPECT_LE(r.maxSlopeMvPerS, 0.3);
}

TEST_P(ImpulseTest, HalfHertzHighPassDoesNotAndRemovesWanderFaster) {
    FilterSettings s;
    s.highPass = HighPass::Hz05;
    EXPECT_GT(impulseTest(s, GetParam(), false, 0).maxOffsetMv, 0.1);
    // A 0.1 Hz baseline wander of 1 mV: the 0.5 Hz filter takes most of it away, 0.05 Hz does not.
    EXPECT_LE(measuredGainDb(s, GetParam(), 0.1), -10.0);
    s.highPass = HighPass::Hz005;
    EXPECT_GE(measuredGainDb(s, GetParam(), 0.5), -0.1);
}

INSTANTIATE_TEST_SUITE_P(Phases, ImpulseTest, ::testing::Values(Phase::Zero, Phase::Causal));

TEST(ZeroPhase, KeepsPeaksInPlaceAndShapesSymmetricAndLevelsFlat) {
    // A narrow beat on a 2 mV offset: after zero-phase filtering its peak is at the same sample,
    // its two sides mirror each other and the offset is gone.
    const int centre = 4000;
    const auto bytes =
        filtered(recording(8000,
                           [&](int i) {
                               const double t = (i - centre) / kFs;
                               return kMv * (2.0 + 1.5 * std::exp(-t * t / (2 * 0.02 * 0.02)));
                           }),
                 FilterSettings{Mains::Hz50, HighPass::Hz005, LowPass::Hz40}, Phase::Zero);
    const auto v = channel(bytes, 5);
    std::size_t peak = 0;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i] > v[peak])
            peak = i;
    EXPECT_EQ(peak, std::size_t(centre));
    for (int k = 1; k < 400; ++k)
        EXPECT_NEAR(v[std::size_t(centre - k)], v[std::size_t(centre + k)], 1.0) << k;
    EXPECT_NEAR(v[std::size_t(centre)], 1.5 * kMv, 0.03 * kMv);
    EXPECT_NEAR(v[1000], 0.0, 0.02 * kMv);
    EXPECT_NEAR(v[7000], 0.0, 0.02 * kMv);
}

TEST(ZeroPhase, FiltersTheTwoPartsOfAnA2RecordingApart) {
    // The first part carries every channel; after the switch only channel 1 does and the others
    // are zero: no ringing from the first part may reach them.
    const std::size_t a2 = 2000;
    auto bytes =
        recording(4000, [&](int i) { return 1000 * std::sin(2 * kPi * 7 * i / kFs) + 300; });
    for (std::size_t i = a2; i < 4000; ++i)
        for (int ch : {0, 2, 3, 4, 5, 6, 7})
            signal::writeLe16(bytes.data() + i * 16 + 2 * ch, 0);
    const auto source = bytes;
    const auto out = filteredCopy(bytes, {Mains::Hz50, HighPass::Hz005, LowPass::Hz35}, a2);
    EXPECT_EQ(bytes, source);
    for (int ch : {0, 2, 7})
        for (std::size_t i = a2; i < 4000; ++i)
            ASSERT_EQ(channel(out, ch)[i], 0.0) << ch << " " << i;
    EXPECT_GT(amplitude(channel(out, 1), 7.0, 3.0, 4.5), 900);
}

TEST(Filters, AllOffLeavesTheSamplesAsTheyAre) {
    auto bytes = recording(1000, [](int i) { return (i * 37) % 2001 - 1000; });
    const auto before = bytes;
    filterRecordingBytes(bytes, FilterSettings{});
    EXPECT_EQ(bytes, before);
    std::vector<signal::SampleRecord> records(10);
    records[3].c[2] = 1234;
    StreamFilter f{FilterSettings{}};
    f.process(records);
    EXPECT_EQ(records[3].c[2], 1234);
}

TEST(Filters, ShortRecordingsAndOddTailsAreSafe) {
    for (std::size_t n : {0u, 1u, 2u, 5u}) {
        auto bytes = recording(n, [](int) { return 500.0; });
        bytes.push_back(0x7F); // a partial record at the end stays as it is
        filterRecordingBytes(bytes, programDefaults());
        EXPECT_EQ(bytes.back(), 0x7F);
        if (n > 0) {
            EXPECT_NEAR(channel(bytes, 0)[0], 0.0, 1.0); // the offset is gone even here
        }
    }
}

TEST(Filters, DescribesTheBandInBothLanguages) {
    const FilterSettings s{Mains::Hz50, HighPass::Hz005, LowPass::Hz40};
    EXPECT_EQ(describe(s, true), "0,05–40 Гц ~50 Гц");
    EXPECT_EQ(describe(s, false), "0.05–40 Hz ~50 Hz");
    EXPECT_EQ(describe({Mains::Hz60, HighPass::Hz05, LowPass::Hz150}, false), "0.5–150 Hz ~60 Hz");
    EXPECT_EQ(describe({Mains::Off, HighPass::Off, LowPass::Hz35}, true), "≤35 Гц");
    EXPECT_EQ(describe({}, true), "");
}

} // namespace
} // namespace velkard::filter
