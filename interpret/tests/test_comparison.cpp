// SPDX-License-Identifier: GPL-3.0-or-later
// Comparing two ECGs: synthetic recordings of the simulated instrument's generator whose beats
// differ by a known amount (a QRS widened into a left bundle branch block, a slower rate), and
// the rules of what an ECG is taken to say.
#include "interpret/Comparison.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace velkard::interpret {
namespace {

Interpretation ofBeats(const std::string& beat, std::uint32_t seed) {
    sim::EcgParameters params;
    EXPECT_TRUE(sim::parseBeatParameters("irregular=0.01," + beat, params.beat));
    EXPECT_TRUE(sim::parseNoiseParameters("white=0.01,wander=0.1", params.noise));
    const auto records = sim::SyntheticEcg::records(seed, params, 12 * 800);
    return interpretSpan(records.data(), records.size(), 0, records.size(), nullptr,
                         {Sex::Male, 50});
}

std::vector<std::string> codesOf(const std::vector<SaidStatement>& said) {
    std::vector<std::string> out;
    for (const SaidStatement& s : said)
        out.push_back(s.code);
    std::sort(out.begin(), out.end());
    return out;
}

const QuantityChange& changeOf(const Comparison& c, Quantity q) {
    return *std::find_if(c.quantities.begin(), c.quantities.end(),
                         [q](const QuantityChange& x) { return x.quantity == q; });
}

// The same patient, the second ECG with a left bundle branch block: QRS 90 -> 160 ms and QT
// 400 -> 460 ms at the same rate. The block is new and the normal ECG is gone; the differences
// are those the generator was given, within what measure/ measures of its beats.
TEST(Comparison, NewLeftBundleBranchBlock) {
    const Interpretation before = ofBeats("hr=72", 3);
    const Interpretation after =
        ofBeats("hr=72,qrs=160,qt=460,axis=0,q=0,s=0,taxis=180,qV5=0,qV6=0,qV4=0,rV1=0.1,sV1=1.6,"
                "rV2=0.2,sV2=1.8,sV5=0,sV6=0,tV5=-0.3,tV6=-0.3,tV1=0.4",
                5);
    const Comparison c = compare(before.measurements, saidStatements(nullptr, before.statements),
                                 after.measurements, saidStatements(nullptr, after.statements));
    EXPECT_EQ(codesOf(c.appeared), std::vector<std::string>{"CLBBB"});
    EXPECT_EQ(codesOf(c.disappeared), std::vector<std::string>{"NORM"});
    EXPECT_EQ(codesOf(c.kept), std::vector<std::string>{"SR"});
    ASSERT_EQ(c.appeared.size(), 1u);
    EXPECT_EQ(c.appeared[0].textIn(Language::English), statementText("CLBBB", Language::English));

    ASSERT_EQ(c.quantities.size(), std::size(kComparedQuantities));
    const QuantityChange& qrs = changeOf(c, Quantity::Qrs);
    ASSERT_TRUE(qrs.difference && qrs.earlier && qrs.later);
    EXPECT_NEAR(*qrs.difference, 70, 12);
    EXPECT_DOUBLE_EQ(*qrs.difference, *qrs.later - *qrs.earlier);
    const QuantityChange& qt = changeOf(c, Quantity::Qt);
    ASSERT_TRUE(qt.difference);
    EXPECT_NEAR(*qt.difference, 60, 20);
    const QuantityChange& rate = changeOf(c, Quantity::HeartRate);
    ASSERT_TRUE(rate.difference);
    EXPECT_NEAR(*rate.difference, 0, 2);
    // The frontal QRS axis was turned from 60 to 0 degrees.
    const QuantityChange& axis = changeOf(c, Quantity::QrsAxis);
    ASSERT_TRUE(axis.difference);
    EXPECT_NEAR(*axis.difference, -60, 20);
}

// 72 -> 50 bpm: sinus bradycardia replaces the sinus rhythm, the ECG stays normal; RR grows by
// 60000/50 - 60000/72 = 367 ms.
TEST(Comparison, SlowerRate) {
    const Interpretation before = ofBeats("hr=72", 7);
    const Interpretation after = ofBeats("hr=50", 9);
    const Comparison c = compare(before.measurements, saidStatements(nullptr, before.statements),
                                 after.measurements, saidStatements(nullptr, after.statements));
    EXPECT_EQ(codesOf(c.appeared), std::vector<std::string>{"SBRAD"});
    EXPECT_EQ(codesOf(c.disappeared), std::vector<std::string>{"SR"});
    EXPECT_EQ(codesOf(c.kept), std::vector<std::string>{"NORM"});
    const QuantityChange& rate = changeOf(c, Quantity::HeartRate);
    ASSERT_TRUE(rate.difference);
    EXPECT_NEAR(*rate.difference, -22, 2);
    const QuantityChange& rr = changeOf(c, Quantity::Rr);
    ASSERT_TRUE(rr.difference);
    EXPECT_NEAR(*rr.difference, 367, 25);
}

// Axes differ the short way round; what either ECG lacks has no difference, and its known value
// is still shown.
TEST(Comparison, AxesTurnTheShortWayAndUnknownsHaveNoDifference) {
    measure::Measurements a, b;
    a.qrsAxisDeg = 170;
    b.qrsAxisDeg = -170;
    a.tAxisDeg = -170;
    b.tAxisDeg = 170;
    a.pAxisDeg = 10;
    b.pAxisDeg = -100;
    a.qrsMs = 100;
    b.prMs = 150;
    a.heartRateBpm = 60;
    b.heartRateBpm = std::nan("");
    const Comparison c = compare(a, {}, b, {});
    EXPECT_DOUBLE_EQ(*changeOf(c, Quantity::QrsAxis).difference, 20);
    EXPECT_DOUBLE_EQ(*changeOf(c, Quantity::TAxis).difference, -20);
    EXPECT_DOUBLE_EQ(*changeOf(c, Quantity::PAxis).difference, -110);
    const QuantityChange& qrs = changeOf(c, Quantity::Qrs);
    EXPECT_EQ(qrs.earlier, 100);
    EXPECT_FALSE(qrs.later || qrs.difference);
    const QuantityChange& pr = changeOf(c, Quantity::Pr);
    EXPECT_EQ(pr.later, 150);
    EXPECT_FALSE(pr.earlier || pr.difference);
    // A value that is not a number counts as unknown.
    const QuantityChange& rate = changeOf(c, Quantity::HeartRate);
    EXPECT_FALSE(rate.later || rate.difference);
}

// A confirmed report speaks for its ECG: what the physician struck out is not said, what they
// added and wrote is; an unconfirmed report does not, the program's statements do. Free text
// is matched by its words.
TEST(Comparison, ConfirmedReportSpeaksForItsEcg) {
    std::vector<Statement> computed(2);
    computed[0].code = "SR";
    computed[0].text = {statementText("SR", Language::Russian),
                        statementText("SR", Language::English)};
    computed[1].code = "LAD";
    computed[1].text = {statementText("LAD", Language::Russian),
                        statementText("LAD", Language::English)};
    Report report = draftReport(computed, "05.03.2026 10:15:00", 0, 8000);
    removeStatement(report, 1);
    addStatement(report, "LAFB");
    addFreeText(report, "Сравнить с ЭКГ от 01.02.2025");
    EXPECT_EQ(codesOf(saidStatements(&report, computed)),
              (std::vector<std::string>{"LAD", "SR"})); // not confirmed: the program's
    confirmReport(report, "Иванова А. П.", "05.03.2026 11:02:13");
    const auto said = saidStatements(&report, computed);
    EXPECT_EQ(codesOf(said), (std::vector<std::string>{"", "LAFB", "SR"}));

    std::vector<SaidStatement> earlier = {{"SR", computed[0].text},
                                          {"", {"Сравнить с ЭКГ от 01.02.2025", ""}},
                                          {"", {"Другой текст", ""}}};
    const Comparison c = compare({}, earlier, {}, said);
    EXPECT_EQ(codesOf(c.appeared), std::vector<std::string>{"LAFB"});
    ASSERT_EQ(c.disappeared.size(), 1u);
    EXPECT_EQ(c.disappeared[0].text[0], "Другой текст");
    EXPECT_EQ(codesOf(c.kept), (std::vector<std::string>{"", "SR"}));
}

} // namespace
} // namespace velkard::interpret
