// SPDX-License-Identifier: GPL-3.0-or-later
// The parametric synthetic ECG: its settings, its beats, and the instrument serving it.
#include "signal/Leads.h"
#include "sim/BeatShape.h"
#include "sim/Instrument.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkard::sim {
namespace {

TEST(BeatParameters, ParseTheSettingsAndRejectImpossibleOnes) {
    BeatParameters p;
    ASSERT_TRUE(parseBeatParameters("hr=72,pr=160,qrs=90,qt=400,axis=60", p).ok());
    EXPECT_EQ(p.heartRate, 72);
    EXPECT_EQ(p.prMs, 160);
    EXPECT_EQ(p.qrsAxis, 60);
    ASSERT_TRUE(parseBeatParameters("rV5=2.5,sV1=1.8,pvc=0.1,qV1=-0.2", p).ok());
    EXPECT_EQ(p.chestR[4], 2.5);
    EXPECT_EQ(p.chestS[0], 1.8);
    EXPECT_EQ(p.chestQ[0], -0.2);
    EXPECT_EQ(p.heartRate, 72) << "earlier settings stay";

    const BeatParameters before = p;
    for (const char* bad : {"hr=0", "hr=abc", "speed=3", "qrs", "p=170,pr=160", "qt=100,qrs=90",
                            "pvc=0.9", "hr=72x"}) {
        const Status parsed = parseBeatParameters(bad, p);
        EXPECT_EQ(parsed.code, ErrorCode::InvalidArgument) << bad;
        EXPECT_FALSE(parsed.message.empty()) << bad;
    }
    EXPECT_EQ(p.heartRate, before.heartRate) << "a rejected list changes nothing";

    NoiseParameters n;
    ASSERT_TRUE(parseNoiseParameters("mains=60,mains-mv=0.1,wander=0.5,white=0.02", n).ok());
    EXPECT_EQ(n.mainsHz, 60);
    EXPECT_EQ(n.whiteMv, 0.02);
    EXPECT_EQ(parseNoiseParameters("mains=55", n).code, ErrorCode::InvalidArgument);
    EXPECT_EQ(parseNoiseParameters("off-ra=-1", n).code, ErrorCode::InvalidArgument);
}

// An arm's electrode off from 1 s: the channel measured against it (the left arm: III's, c0; the
// right arm: II's, c1) stands at the limit from then on, and nothing else changes.
TEST(SyntheticEcg, AnElectrodeComesOffWhenTheNoiseSays) {
    EcgParameters params;
    ASSERT_TRUE(parseBeatParameters("hr=70", params.beat).ok());
    const auto intact = SyntheticEcg::records(4, params, 2 * 800);
    for (const auto& [key, channel] : {std::pair{"off-la=1", 0u}, std::pair{"off-ra=1", 1u}}) {
        SCOPED_TRACE(key);
        EcgParameters off = params;
        ASSERT_TRUE(parseNoiseParameters(key, off.noise).ok());
        const auto records = SyntheticEcg::records(4, off, 2 * 800);
        for (std::size_t i = 0; i < records.size(); ++i)
            for (std::size_t c = 0; c < 8; ++c) {
                const std::int16_t want = c == channel && i >= 800 ? 32767 : intact[i].c[c];
                ASSERT_EQ(records[i].c[c], want) << i << " " << c;
            }
    }
}

TEST(BeatShape, WavesStartAndEndWhereTheParametersSay) {
    BeatParameters p;
    ASSERT_TRUE(parseBeatParameters("pr=180,p=110,qrs=100,qt=420,axis=0,tmv=0.4,taxis=0", p).ok());
    const BeatShape b = normalBeat(p);
    // Lead I lies on the axis: all of the frontal vector; lead II at 60 degrees: half of it.
    EXPECT_NEAR(b.leads[0].r, p.rMv, 1e-12);
    EXPECT_NEAR(b.leads[1].r, p.rMv / 2, 1e-12);
    for (int lead = 0; lead < 8; ++lead) {
        EXPECT_EQ(b.value(lead, -0.1805), 0.0) << "before the P wave";
        EXPECT_EQ(b.value(lead, -0.069), 0.0) << "PR segment";
        EXPECT_EQ(b.value(lead, 0.4205), 0.0) << "after the T wave";
    }
    EXPECT_GT(b.value(0, -0.125), 0.05) << "P wave";
    EXPECT_NEAR(b.value(0, 0.020 + 0.025), p.rMv, 1e-9) << "top of the R lobe";
    EXPECT_LT(b.value(0, 0.085), -0.1) << "S wave";
    EXPECT_GT(b.value(0, 0.36), 0.3) << "T wave";

    const BeatShape v = ventricularBeat(p);
    EXPECT_FALSE(v.hasP);
    EXPECT_EQ(v.qrsDuration, 0.14);
}

TEST(SyntheticEcg, ParametricRhythmPlacesTheChosenBeats) {
    EcgParameters params;
    ASSERT_TRUE(parseBeatParameters("hr=60,irregular=0,pvc=0.2", params.beat).ok());
    std::vector<PlacedBeat> placed;
    const auto records = SyntheticEcg::records(3, params, 60 * 800, &placed);
    ASSERT_EQ(records.size(), 48000u);
    int ventricular = 0;
    for (std::size_t i = 1; i < placed.size(); ++i) {
        const double rr = placed[i].qrsOnset - placed[i - 1].qrsOnset;
        if (placed[i].kind == PlacedBeat::Kind::Ventricular) {
            ++ventricular;
            EXPECT_NEAR(rr, 0.6, 1e-9);
            ASSERT_LT(i + 1, placed.size());
            EXPECT_NEAR(placed[i + 1].qrsOnset - placed[i - 1].qrsOnset, 2.0, 1e-9)
                << "full compensatory pause";
        } else if (placed[i - 1].kind == PlacedBeat::Kind::Normal) {
            EXPECT_NEAR(rr, 1.0, 1e-9);
        }
    }
    EXPECT_GT(ventricular, 3);
    EXPECT_EQ(records, SyntheticEcg::records(3, params, 60 * 800)) << "same seed, same records";

    // Without noise the leads are the beats alone: flat 0 in the long pause before a beat's P.
    const auto leads = signal::deriveStandardLeads(
        records[static_cast<std::size_t>(std::lround((placed[2].qrsOnset - 0.3) * 800))]);
    for (std::int16_t v : leads)
        EXPECT_EQ(v, 0);
}

TEST(Instrument, StreamsTheChosenBeatsWhenGivenThem) {
    EcgParameters params;
    ASSERT_TRUE(parseBeatParameters("hr=90,qrs=120", params.beat).ok());
    ASSERT_TRUE(parseNoiseParameters("mains=50", params.noise).ok());
    Instrument instrument(6, {}, params);
    const auto t0 = Instrument::Clock::time_point{} + std::chrono::seconds(1);
    const std::uint8_t start = Instrument::kStart;
    instrument.hostWrite(&start, 1, t0);
    std::vector<std::uint8_t> bytes;
    instrument.pump(t0 + std::chrono::milliseconds(500), bytes);
    const auto expected = SyntheticEcg::records(6, params, bytes.size() / 24);
    ASSERT_EQ(bytes.size() % 24, 0u);
    ASSERT_GT(expected.size(), 300u);
    for (std::size_t f = 0; f < expected.size(); ++f)
        for (std::size_t k = 0; k < 8; ++k)
            ASSERT_EQ(signal::readLe16(&bytes[f * 24 + 8 + 2 * k]), expected[f].c[k]);
}

} // namespace
} // namespace velkard::sim
