// SPDX-License-Identifier: GPL-3.0-or-later
// Beat detection on noisy irregular rhythms with premature beats, live and on a recording.
#include "SyntheticTruth.h"

#include "measure/HeartRateMeter.h"
#include "measure/QrsDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace velkard::measure {
namespace {

struct Rhythm {
    const char* beat;
    const char* noise;
    std::uint32_t seed;
};

// One minute each: irregular rates with ventricular and supraventricular premature beats, under
// 50/60 Hz mains, baseline wander and strong white (muscle-like) noise; wide and low QRS too.
constexpr Rhythm kRhythms[] = {
    {"hr=75,irregular=0.2,pvc=0.15,pac=0.1", "mains=50,mains-mv=0.3,wander=0.8,white=0.08", 11},
    {"hr=110,irregular=0.3,pvc=0.1,pac=0.1,qt=320", "mains=60,mains-mv=0.3,wander=0.8,white=0.08",
     12},
    {"hr=55,irregular=0.25,pvc=0.2,pr=200", "mains=50,wander=1.0,white=0.05", 13},
    {"hr=70,qrs=160,qt=480,irregular=0.2,pvc=0.1", "mains=60,wander=0.5,white=0.05", 14},
    {"hr=85,r=0.3,q=0.03,s=0.1,rV1=0.08,rV2=0.1,rV3=0.15,rV4=0.2,rV5=0.2,rV6=0.15,sV1=0.2,"
     "sV2=0.25,sV3=0.15,sV4=0.1,irregular=0.2,pvc=0.1,pac=0.1",
     "mains=50,wander=0.5,white=0.03", 15},
    {"hr=150,pr=120,qt=280,irregular=0.15,pac=0.15", "mains=60,wander=0.5,white=0.05", 16},
};

TEST(Detector, FindsEveryBeatOfNoisyIrregularMinutes) {
    test::Matching total;
    for (const Rhythm& r : kRhythms) {
        SCOPED_TRACE(std::string(r.beat) + " / " + r.noise);
        sim::EcgParameters params;
        ASSERT_TRUE(sim::parseBeatParameters(r.beat, params.beat));
        ASSERT_TRUE(sim::parseNoiseParameters(r.noise, params.noise));
        const test::Synthetic s = test::makeRecording(params, 60.0, r.seed);
        const auto truth = test::trueBeats(s, 0, static_cast<std::int64_t>(s.records.size()));
        const auto found = detectBeats(s.records.data(), s.records.size());
        const test::Matching m = test::match(truth, found);
        EXPECT_GE(m.sensitivity(), 0.995) << m.falseNegative << " missed of " << truth.size();
        EXPECT_GE(m.positivePredictivity(), 0.995) << m.falsePositive << " false";
        total.truePositive += m.truePositive;
        total.falseNegative += m.falseNegative;
        total.falsePositive += m.falsePositive;
    }
    std::printf("detection: %d beats found, %d missed, %d false; Se %.4f, +P %.4f\n",
                total.truePositive, total.falseNegative, total.falsePositive, total.sensitivity(),
                total.positivePredictivity());
}

// Where a QRS has two slopes of about the same steepness, the steepest moment moves between them
// with the noise from beat to beat (some 20 ms, and 11 ms of SD in the RR intervals of a steady
// rhythm): the fiducial point must stay at one place in the QRS.
TEST(Detector, FiducialPointKeepsItsPlaceInTheQrsFromBeatToBeat) {
    for (const char* beat :
         {"hr=75", "hr=75,qrs=160,qt=480", "hr=60,r=0.8,s=0.8,q=0", "hr=90,qrs=130,r=0.5,s=0.6"}) {
        SCOPED_TRACE(beat);
        sim::EcgParameters params;
        ASSERT_TRUE(sim::parseBeatParameters(beat, params.beat));
        ASSERT_TRUE(sim::parseNoiseParameters("mains=50,wander=0.3,white=0.03", params.noise));
        const test::Synthetic s = test::makeRecording(params, 60.0, 31);
        const auto truth = test::trueBeats(s, 0, static_cast<std::int64_t>(s.records.size()));
        const auto found = detectBeats(s.records.data(), s.records.size());
        ASSERT_EQ(found.size(), truth.size());
        double sum = 0, squares = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const auto d = static_cast<double>(found[i] - truth[i]);
            sum += d;
            squares += d * d;
        }
        const double n = static_cast<double>(found.size());
        const double sdMs =
            std::sqrt((squares - sum * sum / n) / (n - 1)) * 1000.0 / signal::kRecordsPerSecond;
        std::printf("%s: fiducial point SD %.2f ms\n", beat, sdMs);
        EXPECT_LE(sdMs, 1.5); // 2.6 and 4.9 ms (a wide QRS) while it moved between two slopes
    }
}

TEST(Detector, StreamInPiecesFindsWhatTheWholeRecordingGives) {
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters("hr=90,irregular=0.2,pvc=0.1", params.beat));
    ASSERT_TRUE(sim::parseNoiseParameters("mains=50,wander=0.5,white=0.05", params.noise));
    const test::Synthetic s = test::makeRecording(params, 30.0, 21);
    const auto whole = detectBeats(s.records.data(), s.records.size());

    QrsDetector live;
    std::vector<std::int64_t> streamed;
    std::size_t at = 0, piece = 1;
    while (at < s.records.size()) {
        const std::size_t n = std::min(piece, s.records.size() - at);
        live.push(s.records.data() + at, n, streamed);
        at += n;
        piece = piece * 7 % 601 + 1; // uneven pieces, single records included
    }
    live.finish(streamed);
    EXPECT_EQ(streamed, whole);
    EXPECT_GT(whole.size(), 40u);
}

TEST(Detector, FlatLineAndEmptyInputFindNothing) {
    std::vector<signal::SampleRecord> flat(8000);
    EXPECT_TRUE(detectBeats(flat.data(), flat.size()).empty());
    EXPECT_TRUE(detectBeats(nullptr, 0).empty());
    const Measurements m = measureSpan(flat.data(), flat.size());
    EXPECT_TRUE(m.beats.empty());
    EXPECT_FALSE(m.heartRateBpm || m.qrsMs || m.qrsAxisDeg || m.leads[0].rMv);
}

// An electrode comes off 25 s into a minute: the left arm's rails III's channel (I, III and,
// through the central terminal, every chest lead go with it), the right arm's II's (then only III
// is left, and stands in I's place). The beats on the leads left were all lost after it: the
// last beats' sizes and shapes, and the levels learnt on eight leads' energy, were those of the
// leads gone, so every QRS was taken as a spike of noise.
TEST(Detector, AnElectrodeComingOffLosesNoBeatOfTheLeadsLeft) {
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters("hr=72,irregular=0.15", params.beat));
    ASSERT_TRUE(sim::parseNoiseParameters("mains=50,wander=0.5,white=0.03", params.noise));
    for (std::size_t channel : {0u, 1u}) {
        SCOPED_TRACE(channel ? "right arm" : "left arm");
        test::Synthetic s = test::makeRecording(params, 60.0, 21);
        const std::size_t offAt = 25 * signal::kRecordsPerSecond;
        for (std::size_t i = offAt; i < s.records.size(); ++i)
            s.records[i].c[channel] = 32767;
        const auto truth = test::trueBeats(s, 0, static_cast<std::int64_t>(s.records.size()));
        const test::Matching m =
            test::match(truth, detectBeats(s.records.data(), s.records.size()));
        EXPECT_GE(m.sensitivity(), 0.99) << m.falseNegative << " missed of " << truth.size();
        EXPECT_GE(m.positivePredictivity(), 0.99) << m.falsePositive << " false";
        // Live: the rate is shown again within seconds of the electrode coming off.
        HeartRateMeter meter;
        for (std::size_t at = 0; at + signal::kRecordsPerBlock <= s.records.size();
             at += signal::kRecordsPerBlock) {
            meter.push(s.records.data() + at, signal::kRecordsPerBlock);
            if (at >= offAt + 6 * signal::kRecordsPerSecond) {
                ASSERT_TRUE(meter.bpm()) << "at " << at / signal::kRecordsPerSecond << " s";
            }
        }
        EXPECT_NEAR(*meter.bpm(), 72, 8);
    }
}

// The lead left alone at right angles to the QRS axis (II at -30 degrees with the left arm off,
// III at +30 with the right arm off) shows hardly any QRS, and its T waves stood as high: the
// detector took them for beats, 85-118 bpm for 55. Such a lead is no longer read alone: no
// beat, and no rate, rather than a wrong one.
TEST(Detector, ALeadLeftAloneAtRightAnglesToTheQrsAxisMakesNoBeats) {
    const struct {
        const char* beat;
        std::size_t channel;
    } kCases[] = {{"hr=55,axis=-30", 0u}, {"hr=55,axis=30,qrs=130", 1u}};
    for (const auto& [beat, channel] : kCases) {
        SCOPED_TRACE(beat);
        sim::EcgParameters params;
        ASSERT_TRUE(sim::parseBeatParameters(beat, params.beat));
        ASSERT_TRUE(sim::parseNoiseParameters("mains=50,wander=0.5,white=0.03", params.noise));
        test::Synthetic s = test::makeRecording(params, 60.0, 21);
        const std::size_t offAt = 25 * signal::kRecordsPerSecond;
        for (std::size_t i = offAt; i < s.records.size(); ++i)
            s.records[i].c[channel] = 32767;
        const auto truth = test::trueBeats(s, 0, static_cast<std::int64_t>(s.records.size()));
        const auto found = detectBeats(s.records.data(), s.records.size());
        const test::Matching m = test::match(truth, found);
        EXPECT_EQ(m.falsePositive, 0);
        // The beats before it are all found.
        EXPECT_GE(m.truePositive, 22);
        HeartRateMeter meter;
        for (std::size_t at = 0; at + signal::kRecordsPerBlock <= s.records.size();
             at += signal::kRecordsPerBlock) {
            meter.push(s.records.data() + at, signal::kRecordsPerBlock);
            if (meter.bpm()) {
                EXPECT_NEAR(*meter.bpm(), 55, 8) << "at " << at / signal::kRecordsPerSecond << " s";
            }
        }
    }
}

TEST(HeartRateMeter, MeanOfTheLastEightIntervalsAndNothingAfterThreeQuietSeconds) {
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters("hr=72,irregular=0", params.beat));
    ASSERT_TRUE(sim::parseNoiseParameters("mains=50,white=0.03", params.noise));
    const test::Synthetic fast = test::makeRecording(params, 20.0, 3);
    ASSERT_TRUE(sim::parseBeatParameters("hr=120", params.beat));
    const test::Synthetic faster = test::makeRecording(params, 20.0, 4);

    HeartRateMeter meter;
    EXPECT_FALSE(meter.bpm());
    // Fed in the acquisition's half-second blocks.
    auto feed = [&meter](const std::vector<signal::SampleRecord>& records, std::size_t seconds) {
        for (std::size_t at = 0; at < seconds * signal::kRecordsPerSecond;
             at += signal::kRecordsPerBlock)
            meter.push(records.data() + at, signal::kRecordsPerBlock);
    };
    feed(fast.records, 20);
    ASSERT_TRUE(meter.bpm());
    EXPECT_EQ(*meter.bpm(), 72);
    // Eight beats into the faster rhythm the mean holds only the new intervals.
    feed(faster.records, 6);
    ASSERT_TRUE(meter.bpm());
    EXPECT_EQ(*meter.bpm(), 120);

    std::vector<signal::SampleRecord> flat(signal::kRecordsPerBlock);
    for (int block = 0; block < 5; ++block)
        meter.push(flat.data(), flat.size());
    EXPECT_TRUE(meter.bpm()) << "2.5 s without a beat still shows the rate";
    for (int block = 0; block < 2; ++block)
        meter.push(flat.data(), flat.size());
    EXPECT_FALSE(meter.bpm()) << "3.5 s without a beat";
}

TEST(Measure, SpanListsItsBeatsCountedFromTheFileStart) {
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters("hr=60,irregular=0", params.beat));
    const test::Synthetic s = test::makeRecording(params, 30.0, 5);
    const std::size_t from = 12 * signal::kRecordsPerSecond, length = 5 * signal::kRecordsPerSecond;
    const Measurements m = measureSpan(s.records.data(), s.records.size(), from, length);
    const auto truth = test::trueBeats(s, static_cast<std::int64_t>(from),
                                       static_cast<std::int64_t>(from + length));
    ASSERT_EQ(m.beats.size(), truth.size());
    for (std::size_t i = 0; i < truth.size(); ++i)
        EXPECT_NEAR(static_cast<double>(m.beats[i]), static_cast<double>(truth[i]), 40.0);
    ASSERT_TRUE(m.heartRateBpm);
    EXPECT_NEAR(*m.heartRateBpm, 60.0, 1.0);
    // A span past the end measures nothing; one running past it is cut at the end.
    EXPECT_TRUE(
        measureSpan(s.records.data(), s.records.size(), s.records.size() + 10).beats.empty());
    EXPECT_EQ(measureSpan(s.records.data(), s.records.size(), 25 * 800, 100000).beats.size(),
              test::trueBeats(s, 25 * 800, 30 * 800).size());
}

} // namespace
} // namespace velkard::measure
