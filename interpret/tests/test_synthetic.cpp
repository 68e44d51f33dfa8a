// SPDX-License-Identifier: GPL-3.0-or-later
// Statements on synthetic ECGs of the simulated instrument's beat generator, each finding made on
// purpose: the generator's beats have exactly known intervals, axes and amplitudes, so each case
// states which statements a reader applying the criteria would make, and no others.
#include "interpret/Interpret.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace velkard::interpret {
namespace {

Interpretation ofBeats(const std::string& beat, const Patient& patient = {}, std::uint32_t seed = 3,
                       const std::string& noise = "white=0.01,wander=0.1") {
    sim::EcgParameters params;
    EXPECT_TRUE(sim::parseBeatParameters("irregular=0.01," + beat, params.beat));
    EXPECT_TRUE(sim::parseNoiseParameters(noise, params.noise));
    const auto records = sim::SyntheticEcg::records(seed, params, 12 * 800);
    return interpretSpan(records.data(), records.size(), 0, records.size(), nullptr, patient);
}

std::set<std::string> codes(const Interpretation& r) {
    std::set<std::string> out;
    for (const auto& s : r.statements)
        out.insert(s.code);
    return out;
}

std::string listing(const Interpretation& r) {
    std::string out;
    for (const auto& s : r.statements)
        out += "\n  " + s.code + ": " + s.reasonIn(Language::English);
    return out;
}

const Patient kMan50{Sex::Male, 50};

struct Case {
    const char* what;
    const char* beat;
    std::set<std::string> expected;
    Patient patient = kMan50;
};

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Interpretation r = ofBeats(c.beat, c.patient);
        EXPECT_EQ(codes(r), c.expected) << c.beat << listing(r);
        for (const auto& s : r.statements) {
            // Every statement has its texts and its reason in both languages.
            EXPECT_FALSE(s.text[0].empty() || s.text[1].empty() || s.reason[0].empty() ||
                         s.reason[1].empty())
                << s.code;
            EXPECT_EQ(s.textIn(Language::Russian), statementText(s.code, Language::Russian));
        }
    }
}

TEST(SyntheticStatements, RhythmRateAndPrematureBeats) {
    check({
        {"normal beats at 72 bpm", "hr=72", {"SR", "NORM"}},
        {"sinus bradycardia", "hr=50", {"SBRAD", "NORM"}},
        {"sinus tachycardia", "hr=115,qt=320", {"STACH"}},
        // RR varying by up to +-20 % beat to beat with a P before every QRS: sinus arrhythmia.
        {"irregular sinus rhythm", "hr=70,irregular=0.12", {"SR", "SARRH", "NORM"}},
        // The same irregularity without any P wave: atrial fibrillation is suspected.
        {"irregular rhythm without P",
         "hr=80,irregular=0.25,pmv=0,pV1=0,pV2=0,pV3=0,pV4=0,pV5=0,pV6=0",
         {"AFIB"}},
        {"premature ventricular beats", "hr=70,pvc=0.15", {"SR", "PVC"}},
        {"premature supraventricular beats", "hr=70,pac=0.15", {"SR", "PAC"}},
    });
}

TEST(SyntheticStatements, ConductionAndAxis) {
    check({
        {"first-degree AV block", "pr=260,p=110", {"SR", "1AVB"}},
        // Wide QRS without q in I, V5, V6, a late R peak in V5-V6, rS in V1, discordant T.
        {"left bundle branch block",
         "qrs=160,qt=460,axis=0,q=0,s=0,taxis=180,qV5=0,qV6=0,qV4=0,rV1=0.1,sV1=1.6,rV2=0.2,"
         "sV2=1.8,sV5=0,sV6=0,tV5=-0.3,tV6=-0.3,tV1=0.4",
         {"SR", "CLBBB"}},
        // Wide QRS with a wide late R in V1 and a wide terminal S in I and V6.
        {"right bundle branch block",
         "qrs=160,qt=460,s=0.6,qV1=0,rV1=0.8,sV1=0,sV6=0.5,tV1=-0.2",
         {"SR", "CRBBB"}},
        {"nonspecific intraventricular conduction delay", "qrs=140,qt=440", {"SR", "IVCD"}},
        // qR in aVL and rS in II, III and aVF at an axis of -60 degrees.
        {"left anterior fascicular block", "qrs=106,axis=-60,q=0.15", {"SR", "LAFB", "LAD"}},
        {"left axis deviation", "axis=-40,r=1.0", {"SR", "LAD"}},
        {"right axis deviation", "axis=120,r=1.0", {"SR", "RAD"}},
        {"short PR with a wide QRS", "pr=100,p=80,qrs=130,qt=430", {"SR", "WPW"}},
    });
}

TEST(SyntheticStatements, HypertrophyInfarctionRepolarisationAndVoltage) {
    check({
        {"left ventricular hypertrophy", "rV5=3.0,rV6=2.2,sV1=2.0", {"SR", "LVH"}},
        // The voltage criteria do not hold under 35: the same voltage is said nothing of.
        {"the same voltage at 25", "rV5=3.0,rV6=2.2,sV1=2.0", {"SR", "NORM"}, {Sex::Male, 25}},
        {"right ventricular hypertrophy",
         "axis=110,qV1=0,rV1=1.0,sV1=0.2,sV5=0.6",
         {"SR", "RVH", "RAD"}},
        {"left atrial abnormality", "p=130,pr=190", {"SR", "LAE"}},
        // QS complexes in II, III and aVF (a frontal QRS without R).
        {"inferior infarct", "r=0,q=0.3,s=0.8", {"SR", "IMI"}},
        {"anteroseptal infarct", "qV2=0.3,rV2=0,sV2=1.0,qV3=0.3,rV3=0,sV3=0.8", {"SR", "ASMI"}},
        {"T inversion in V4-V6", "tV4=-0.3,tV5=-0.3,tV6=-0.25", {"SR", "NT"}},
        {"long QTc", "hr=60,qt=520", {"SR", "LNGQT"}},
        {"short QTc", "hr=60,qt=320", {"SR", "SQT"}},
        {"low voltage in the limb leads", "r=0.35,q=0.02,s=0.05", {"SR", "LVOLT"}},
    });
}

TEST(SyntheticStatements, NormalIsNeverSaidBesideAConductionHypertrophyOrInfarctStatement) {
    const std::set<std::string> forbidding{"1AVB",  "WPW",  "CLBBB", "ILBBB", "CRBBB",
                                           "IRBBB", "LAFB", "IVCD",  "LVH",   "RVH",
                                           "LAE",   "IMI",  "ASMI",  "AMI",   "LMI"};
    for (const char* beat : {"pr=260,p=110", "qrs=140,qt=440", "rV5=3.0,rV6=2.2,sV1=2.0",
                             "r=0,q=0.3,s=0.8", "p=130,pr=190", "qrs=116"}) {
        SCOPED_TRACE(beat);
        const auto c = codes(ofBeats(beat, kMan50));
        const bool any = std::any_of(c.begin(), c.end(),
                                     [&](const std::string& s) { return forbidding.count(s); });
        EXPECT_TRUE(any);
        EXPECT_EQ(c.count("NORM"), 0u);
    }
}

TEST(SyntheticStatements, NoiseMainsAndBaselineWanderChangeNothing) {
    // Mains of 0.5 mV and white noise of 0.1 mV are far above a P wave of 0.15 mV: each beat's
    // P must still be recognised (the per-beat matching takes mains off as measure does).
    for (const char* noise : {"white=0.1,wander=0.3", "white=0.03,mains=50,mains-mv=0.5,wander=1",
                              "white=0.05,mains=60,wander=0.5"})
        for (std::uint32_t seed : {1u, 2u}) {
            SCOPED_TRACE(testing::Message() << noise << ", seed " << seed);
            const auto normal = ofBeats("hr=72", kMan50, seed, noise);
            EXPECT_EQ(codes(normal), (std::set<std::string>{"SR", "NORM"})) << listing(normal);
            const auto block = ofBeats("pr=260,p=110", kMan50, seed, noise);
            EXPECT_EQ(codes(block), (std::set<std::string>{"SR", "1AVB"})) << listing(block);
            const auto af =
                ofBeats("hr=80,irregular=0.25,pmv=0,pV1=0,pV2=0,pV3=0,pV4=0,pV5=0,pV6=0", kMan50,
                        seed, noise);
            EXPECT_EQ(codes(af), (std::set<std::string>{"AFIB"})) << listing(af);
        }
}

// Typical flutter: a sawtooth in the inferior leads (II, III and aVF alike, I and the chest leads
// untouched), here added to beats without a P. Flutter waves at 300/min between beats at 75 bpm
// (four waves a beat) are called flutter and no sinus rhythm; the same waves under beats at
// 150 bpm (2:1, every other wave in a QRS or T), or at 150/min (no flutter rate), are not; nor
// is a limb tremor as regular, which falls at any phase before the beats.
TEST(SyntheticStatements, RegularAtrialWavesFarFasterThanTheBeatsAreFlutter) {
    constexpr double kPi = 3.14159265358979323846;
    const auto withWaves = [&](const char* beat, double periodMs, std::uint32_t seed) {
        sim::EcgParameters params;
        EXPECT_TRUE(sim::parseBeatParameters(
            std::string("irregular=0.01,pmv=0,pV1=0,pV2=0,pV3=0,pV4=0,pV5=0,pV6=0,") + beat,
            params.beat));
        EXPECT_TRUE(sim::parseNoiseParameters("white=0.01,wander=0.1", params.noise));
        auto records = sim::SyntheticEcg::records(seed, params, 12 * 800);
        for (std::size_t t = 0; t < records.size(); ++t) {
            // A slow fall over 80 % of the period and a quick rise back: -0.15 to +0.05 mV.
            const double phase =
                std::fmod(t * 1000.0 / signal::kRecordsPerSecond, periodMs) / periodMs;
            const double mv = phase < 0.8
                                  ? 0.05 - 0.2 * phase / 0.8
                                  : -0.15 + 0.2 * (1 - std::cos(kPi * (phase - 0.8) / 0.2)) / 2;
            auto& c = records[t].c;
            const auto add = [](std::int16_t& v, double dmv) {
                v = static_cast<std::int16_t>(v + std::lround(dmv * signal::kUnitsPerMillivolt));
            };
            add(c[0], mv); // III
            add(c[1], mv); // II
            for (std::size_t k = 2; k < signal::kChannels; ++k)
                add(c[k], 2 * mv / 3); // the chest leads keep their value
        }
        return interpretSpan(records.data(), records.size(), 0, records.size(), nullptr, kMan50);
    };
    for (std::uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const auto flutter = withWaves("hr=75", 200, seed);
        EXPECT_EQ(codes(flutter).count("AFLT"), 1u) << listing(flutter);
        EXPECT_EQ(codes(flutter).count("SR") + codes(flutter).count("AFIB") +
                      codes(flutter).count("NORM"),
                  0u)
            << listing(flutter);
        // A flutter wave before the QRS is no P: no P, PR or P axis is given.
        EXPECT_FALSE(flutter.measurements.pMs || flutter.measurements.prMs ||
                     flutter.measurements.pAxisDeg);
        ASSERT_TRUE(flutter.features.atrialWavePeriodMs);
        EXPECT_NEAR(*flutter.features.atrialWavePeriodMs, 200.0, 5.0);
        for (const auto& st : flutter.statements) {
            if (st.code == "AFLT") {
                EXPECT_NE(st.reasonIn(Language::English).find("/min (period"), std::string::npos);
                EXPECT_NE(st.reasonIn(Language::Russian).find("в мин (период"), std::string::npos);
            }
        }
        const auto twoToOne = withWaves("hr=150,qt=300", 200, seed);
        EXPECT_EQ(codes(twoToOne).count("AFLT"), 0u) << listing(twoToOne);
        const auto slow = withWaves("hr=50", 400, seed);
        EXPECT_EQ(codes(slow).count("AFLT"), 0u) << listing(slow);
    }
    // A limb tremor: a regular 5-Hz sinusoid under sinus beats at 72 bpm, at a new phase before
    // each beat: 0.2 mV on the right arm's electrode (in I and II), and 0.05 or 0.1 mV on the
    // left arm's (in I and III, and a third of it in every chest lead), where the sinus P waves
    // stay clear in II and make the stretches before the beats alike. No flutter.
    struct Tremor {
        std::size_t channel;
        double mv, sign;
    };
    for (const Tremor& tr : {Tremor{1, 0.2, 1}, Tremor{0, 0.05, -1}, Tremor{0, 0.1, -1}})
        for (std::uint32_t seed : {1u, 2u}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << tr.mv << " mV");
            sim::EcgParameters params;
            ASSERT_TRUE(sim::parseBeatParameters("irregular=0.01,hr=72", params.beat));
            ASSERT_TRUE(sim::parseNoiseParameters("white=0.01,wander=0.1", params.noise));
            auto records = sim::SyntheticEcg::records(seed, params, 12 * 800);
            for (std::size_t t = 0; t < records.size(); ++t)
                records[t].c[tr.channel] = static_cast<std::int16_t>(
                    records[t].c[tr.channel] +
                    std::lround(tr.sign * tr.mv *
                                std::sin(2 * kPi * 5.0 * static_cast<double>(t) /
                                         signal::kRecordsPerSecond) *
                                signal::kUnitsPerMillivolt));
            const auto tremor =
                interpretSpan(records.data(), records.size(), 0, records.size(), nullptr, kMan50);
            ASSERT_TRUE(tremor.features.atrialWaveRepeat);
            EXPECT_GE(*tremor.features.atrialWaveRepeat, 0.75); // as regular as flutter
            if (tr.mv < 0.2) {
                EXPECT_EQ(codes(tremor).count("SR"), 1u) << listing(tremor);
            }
            EXPECT_EQ(codes(tremor).count("AFLT"), 0u) << listing(tremor);
        }
}

// A pacemaker's spike: 2.5 ms of 1 mV (or height) in II, half that in III and I, 0.6-0.8 of it of
// either sign in the chest leads, then its recharge, a quarter as large, for 2.5 ms (or none, for
// a length of 1 sample).
void addSpike(std::vector<signal::SampleRecord>& records, std::int64_t at, double height = 1.0,
              int length = 4) {
    for (std::int64_t t = at; t < at + length && t < static_cast<std::int64_t>(records.size());
         ++t) {
        const double mv = t < at + 2 ? height : -height / 4;
        const double ii = mv, iii = mv / 2;
        auto& c = records[static_cast<std::size_t>(t)].c;
        const auto add = [](std::int16_t& v, double dmv) {
            v = static_cast<std::int16_t>(v + std::lround(dmv * signal::kUnitsPerMillivolt));
        };
        add(c[1], ii);
        add(c[0], iii);
        // Chest lead k is the limb leads' reference less channel 2 + k.
        for (std::size_t k = 0; k < 6; ++k)
            add(c[2 + k], (ii + iii) / 3 - mv * (k % 2 ? 0.8 : -0.6));
    }
}

TEST(SyntheticStatements, PacemakerSpikesBeforeMostBeatsAreAPacedRhythm) {
    // Wide QRS complexes as a right ventricular pacemaker makes them.
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters(
        "irregular=0.01,hr=70,pmv=0,pV1=0,pV2=0,pV3=0,pV4=0,pV5=0,pV6=0,qrs=160,qt=460,axis=-60,"
        "q=0,s=0,taxis=120,qV5=0,qV6=0,rV1=0.1,sV1=1.6",
        params.beat));
    ASSERT_TRUE(sim::parseNoiseParameters("white=0.02,wander=0.1", params.noise));
    std::vector<sim::PlacedBeat> placed;
    const auto clean = sim::SyntheticEcg::records(5, params, 12 * 800, &placed);
    ASSERT_GE(placed.size(), 12u);
    const auto interpretOf = [](const std::vector<signal::SampleRecord>& r) {
        return interpretSpan(r.data(), r.size(), 0, r.size(), nullptr, kMan50);
    };
    const auto onsetOf = [](const sim::PlacedBeat& b) {
        return static_cast<std::int64_t>(std::lround(b.qrsOnset * signal::kRecordsPerSecond));
    };

    // A spike 5 ms before every QRS (and one at 160 ms before, as an atrial lead adds, before
    // every other beat): a paced rhythm, and none of the conduction or hypertrophy statements
    // its QRS would otherwise make.
    auto paced = clean;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        addSpike(paced, onsetOf(placed[i]) - 4);
        if (i % 2)
            addSpike(paced, onsetOf(placed[i]) - 128);
    }
    const Interpretation r = interpretOf(paced);
    EXPECT_TRUE(codes(r).count("PACE")) << listing(r);
    for (const char* code : {"CLBBB", "ILBBB", "IVCD", "LAFB", "LVH", "ASMI", "STE", "NORM"})
        EXPECT_FALSE(codes(r).count(code)) << code << listing(r);
    EXPECT_GE(r.features.pacedBeats, r.features.spikeBeatsSeen - 1);
    ASSERT_TRUE(r.features.spikeToQrsMs && r.features.spikeMv);
    EXPECT_NEAR(*r.features.spikeMv, 1.0, 0.3);
    // The last spike before each QRS counts (the ventricular one, not the atrial 160 ms before).
    EXPECT_LT(std::abs(*r.features.spikeToQrsMs), 40);
    const auto pace = std::find_if(r.statements.begin(), r.statements.end(),
                                   [](const Statement& s) { return s.code == "PACE"; });
    ASSERT_NE(pace, r.statements.end());
    EXPECT_NE(pace->reasonIn(Language::English).find("pacemaker spike before "), std::string::npos)
        << pace->reasonIn(Language::English);

    // Paced beats that follow sinus P waves and come early now and then (the pacemaker tracking
    // the atrium) keep the paced shape: premature complexes of the usual shape beside a sinus
    // rhythm, yet no premature atrial complex can be read from them.
    {
        sim::EcgParameters early = params;
        ASSERT_TRUE(sim::parseBeatParameters("pac=0.2,pmv=0.15", early.beat));
        std::vector<sim::PlacedBeat> at;
        auto records = sim::SyntheticEcg::records(6, early, 12 * 800, &at);
        for (const sim::PlacedBeat& b : at)
            addSpike(records, onsetOf(b) - 4);
        const Interpretation e = interpretOf(records);
        EXPECT_GT(e.features.prematureSameShape, 0) << listing(e);
        EXPECT_TRUE(codes(e).count("PACE")) << listing(e);
        EXPECT_FALSE(codes(e).count("PAC")) << listing(e);
    }

    // A recorder that draws each spike as a flat pulse of 0.4 mV for 20 ms ending at the QRS.
    auto pulses = clean;
    for (const sim::PlacedBeat& b : placed)
        for (std::int64_t t = onsetOf(b) - 20; t < onsetOf(b) - 4; ++t)
            if (t >= 0 && t < static_cast<std::int64_t>(pulses.size()))
                addSpike(pulses, t, 0.4, 1);
    EXPECT_TRUE(codes(interpretOf(pulses)).count("PACE")) << listing(interpretOf(pulses));

    // Lead II alone (a two-channel record read as one lead): I and the chest leads derive as
    // copies of it, and a spike in one lead is none in two independent ones (QT Database
    // sel14046 read as lead II had a steep QRS start taken for a spike in 27 of its 90 spans).
    {
        auto alone = paced;
        for (auto& r : alone)
            for (std::size_t c = 0; c < 8; ++c)
                if (c != 1)
                    r.c[c] = 0;
        measure::LeadSet onlyII{};
        onlyII[signal::StandardLeadII] = true;
        const Interpretation a =
            interpretSpan(alone.data(), alone.size(), 0, alone.size(), &onlyII, kMan50);
        EXPECT_FALSE(codes(a).count("PACE")) << listing(a);
        EXPECT_EQ(a.features.pacedBeats, 0);
    }

    // Without the spikes the same beats are no paced rhythm; with spikes before a third of them
    // only (a pacemaker that rarely fires), and with spikes at moments that have nothing to do
    // with the beats (electrode pops), neither.
    EXPECT_FALSE(codes(interpretOf(clean)).count("PACE"));
    auto few = clean;
    for (std::size_t i = 0; i < placed.size(); i += 3)
        addSpike(few, onsetOf(placed[i]) - 4);
    EXPECT_FALSE(codes(interpretOf(few)).count("PACE")) << listing(interpretOf(few));
    auto pops = clean;
    for (std::int64_t at = 517; at + 8 < static_cast<std::int64_t>(pops.size()); at += 1213)
        addSpike(pops, at);
    EXPECT_FALSE(codes(interpretOf(pops)).count("PACE")) << listing(interpretOf(pops));
}

TEST(SyntheticStatements, NothingIsSaidWithoutBeatsOrOfLeadsThatAreAbsent) {
    const std::vector<signal::SampleRecord> flat(8000);
    EXPECT_TRUE(interpretSpan(flat.data(), flat.size()).statements.empty());

    // Chest leads absent: no chest-lead statement, and no normal ECG either (what it rests on
    // was not measured).
    sim::EcgParameters params;
    ASSERT_TRUE(
        sim::parseBeatParameters("rV5=3.0,sV1=2.0,qV2=0.3,rV2=0,qV3=0.3,rV3=0", params.beat));
    const auto records = sim::SyntheticEcg::records(3, params, 12 * 800);
    measure::LeadSet limbOnly{};
    for (int l = 0; l < 6; ++l)
        limbOnly[static_cast<std::size_t>(l)] = true;
    const auto r =
        interpretSpan(records.data(), records.size(), 0, records.size(), &limbOnly, kMan50);
    EXPECT_EQ(codes(r), (std::set<std::string>{"SR"})) << listing(r);
}

// A recording of lead III alone (a Holter record's D3, or MLIII) is timed on III: its rate, QRS
// and QT are measured. A lone lead's QT is a lower bound, so its short QTc says nothing; with a
// chest lead beside it, the QT is taken over two leads and the short QT is said.
TEST(SyntheticStatements, LeadIIIAloneIsMeasuredAndALoneLeadsShortQtIsNotSaid) {
    sim::EcgParameters params;
    ASSERT_TRUE(sim::parseBeatParameters("irregular=0.01,hr=60,qt=320", params.beat));
    ASSERT_TRUE(sim::parseNoiseParameters("white=0.01,wander=0.1", params.noise));
    auto records = sim::SyntheticEcg::records(3, params, 12 * 800);
    // As a file of III and V5 converts: II at zero, the chest leads against (II + III) / 3 then.
    for (auto& r : records) {
        const int ii = r.c[1];
        r.c[1] = 0;
        r.c[6] = static_cast<std::int16_t>(r.c[6] - ii / 3);
        for (std::size_t k : {2u, 3u, 4u, 5u, 7u})
            r.c[k] = 0;
    }
    measure::LeadSet iii{}, iiiAndV5{};
    iii[signal::StandardLeadIII] = true;
    iiiAndV5 = iii;
    iiiAndV5[signal::StandardLeadV5] = true;

    const auto alone =
        interpretSpan(records.data(), records.size(), 0, records.size(), &iii, kMan50);
    const measure::Measurements& m = alone.measurements;
    ASSERT_TRUE(m.heartRateBpm && m.qrsMs && m.qtMs && m.qtcFridericiaMs);
    EXPECT_NEAR(*m.heartRateBpm, 60.0, 2.0);
    EXPECT_NEAR(*m.qtMs, 320.0, 25.0);
    EXPECT_LE(*m.qtcFridericiaMs, 340.0);
    EXPECT_FALSE(m.qrsAxisDeg && m.leads[signal::StandardLeadI].rMv);
    EXPECT_EQ(codes(alone).count("SQT"), 0u) << listing(alone);

    const auto two =
        interpretSpan(records.data(), records.size(), 0, records.size(), &iiiAndV5, kMan50);
    EXPECT_EQ(codes(two).count("SQT"), 1u) << listing(two);
}

} // namespace
} // namespace velkard::interpret
