// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velkard::sim {
namespace {

// The display's derivation of the chest leads, as the instrument's channels are read back.
std::int16_t derivedChest(const signal::SampleRecord& r, std::size_t k) {
    return static_cast<std::int16_t>((static_cast<std::int32_t>(r.c[1]) + r.c[0]) / 3 - r.c[k + 2]);
}

TEST(SyntheticEcg, ChannelsDeriveBackToTheGeneratedLeads) {
    SyntheticEcg ecg(5);
    for (int i = 0; i < 4000; ++i) {
        const IndependentLeads leads = ecg.nextLeads();
        const signal::SampleRecord r = toChannels(leads);
        ASSERT_EQ(r.c[1] - r.c[0], leads.leadI) << "I = II - III at sample " << i;
        ASSERT_EQ(r.c[1], leads.leadII);
        for (std::size_t k = 0; k < 6; ++k)
            ASSERT_EQ(derivedChest(r, k), leads.chest[k]) << "V" << k + 1 << " at sample " << i;
    }
}

TEST(SyntheticEcg, FoldingHandlesNegativeSumsLikeTheDerivation) {
    IndependentLeads leads;
    leads.leadI = 10;
    leads.leadII = -7; // III = -17, (II + III) / 3 = -24 / 3 = -8
    leads.chest = {1, -1, 0, 100, -100, 5};
    const signal::SampleRecord r = toChannels(leads);
    EXPECT_EQ(r.c[0], -17);
    EXPECT_EQ(r.c[2], -9);
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_EQ(derivedChest(r, k), leads.chest[k]);
}

TEST(SyntheticEcg, SameSeedSameSignalOtherSeedOtherNoise) {
    const auto a = SyntheticEcg::records(9, 2000);
    EXPECT_EQ(a, SyntheticEcg::records(9, 2000));
    EXPECT_NE(a, SyntheticEcg::records(10, 2000));
}

TEST(SyntheticEcg, LooksLikeANormalSinusRhythm) {
    // Ten seconds of lead II: R peaks near 1.2 mV (681 units per mV), about 72 beats a minute.
    SyntheticEcg ecg(3);
    std::vector<std::int32_t> leadII;
    std::int32_t maxV2 = 0, minV1 = 0;
    for (int i = 0; i < 8000; ++i) {
        const IndependentLeads l = ecg.nextLeads();
        leadII.push_back(l.leadII);
        maxV2 = std::max(maxV2, l.chest[1]);
        minV1 = std::min(minV1, l.chest[0]);
    }
    const std::int32_t peak = *std::max_element(leadII.begin(), leadII.end());
    EXPECT_GT(peak, 600);
    EXPECT_LT(peak, 1100);
    EXPECT_LT(minV1, -500); // deep S wave in V1
    EXPECT_GT(maxV2, 200);
    // Peaks above half the highest, at least 200 ms apart (the noise on an R makes more than one
    // local maximum there).
    int beats = 0;
    std::size_t last = 0;
    for (std::size_t i = 1; i + 1 < leadII.size(); ++i)
        if (leadII[i] > peak / 2 && leadII[i] >= leadII[i - 1] && leadII[i] > leadII[i + 1] &&
            (beats == 0 || i - last > 160)) {
            ++beats;
            last = i;
        }
    EXPECT_GE(beats, 10);
    EXPECT_LE(beats, 14);
}

} // namespace
} // namespace velkard::sim
