// SPDX-License-Identifier: GPL-3.0-or-later
// Signal quality on synthetic recordings whose faults are known: a clean ECG, mains, a railed
// chest electrode, a flat lead and white noise on every lead.
#include "SyntheticTruth.h"

#include "measure/SignalQuality.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace velkard::measure {
namespace {

test::Synthetic recording(const char* noise) {
    sim::EcgParameters params;
    EXPECT_TRUE(sim::parseBeatParameters("hr=72", params.beat));
    EXPECT_TRUE(sim::parseNoiseParameters(noise, params.noise));
    return test::makeRecording(params, 20.0, 5);
}

TEST(SignalQuality, FindsEachFaultInTheLeadsThatCarryIt) {
    {
        SCOPED_TRACE("clean, a little wander and noise");
        const test::Synthetic s = recording("wander=0.3,white=0.02");
        const SignalQuality q = signalQuality(s.records.data(), s.records.size());
        for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
            SCOPED_TRACE(signal::kStandardLeadNames[l]);
            const LeadQuality& lq = q.leads[l];
            EXPECT_FALSE(lq.off || lq.noisy || lq.mains || lq.drift);
            EXPECT_EQ(lq.steps, 0);
            ASSERT_TRUE(lq.noiseMv);
            EXPECT_LT(*lq.noiseMv, 0.05);
        }
        EXPECT_TRUE(q.unreadable.empty());
    }
    {
        SCOPED_TRACE("0.3 mV of 50 Hz");
        const test::Synthetic s = recording("mains=50,mains-mv=0.3");
        const SignalQuality q = signalQuality(s.records.data(), s.records.size());
        for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
            EXPECT_TRUE(q.leads[l].mains) << signal::kStandardLeadNames[l];
            EXPECT_FALSE(q.leads[l].noisy) << signal::kStandardLeadNames[l];
        }
        EXPECT_TRUE(q.unreadable.empty());
    }
    {
        SCOPED_TRACE("V3's electrode railed, lead V5 flat");
        test::Synthetic s = recording("white=0.02");
        for (auto& r : s.records) {
            r.c[4] = 32767;
            // V5 = (c1 + c0) / 3 - c6 held at zero.
            r.c[6] = static_cast<std::int16_t>((r.c[1] + r.c[0]) / 3);
        }
        const SignalQuality q = signalQuality(s.records.data(), s.records.size());
        for (std::size_t l = 0; l < signal::kLeadCount; ++l)
            EXPECT_EQ(q.leads[l].off, l == signal::StandardLeadV3 || l == signal::StandardLeadV5)
                << signal::kStandardLeadNames[l];
        EXPECT_TRUE(q.unreadable.empty());
    }
    {
        SCOPED_TRACE("0.5 mV of white noise on every channel");
        test::Synthetic s = recording("");
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 0.5 * signal::kUnitsPerMillivolt);
        for (auto& r : s.records)
            for (auto& c : r.c)
                c = static_cast<std::int16_t>(c + std::lround(noise(random)));
        const SignalQuality q = signalQuality(s.records.data(), s.records.size());
        for (std::size_t l = 0; l < signal::kLeadCount; ++l)
            EXPECT_TRUE(q.leads[l].noisy) << signal::kStandardLeadNames[l];
        ASSERT_EQ(q.unreadable.size(), 1u);
        EXPECT_EQ(q.unreadable.front().first, 0);
        EXPECT_EQ(q.unreadable.front().second, static_cast<std::int64_t>(s.records.size()));
        // What is not carried is not judged.
        std::array<bool, signal::kLeadCount> present{};
        present[signal::StandardLeadII] = true;
        const SignalQuality one =
            signalQuality(s.records.data(), s.records.size(), 0, SIZE_MAX, &present);
        EXPECT_TRUE(one.leads[signal::StandardLeadII].noisy);
        EXPECT_FALSE(one.leads[signal::StandardLeadV1].noisy);
        EXPECT_FALSE(one.leads[signal::StandardLeadV1].noiseMv);
    }
}

} // namespace
} // namespace velkard::measure
