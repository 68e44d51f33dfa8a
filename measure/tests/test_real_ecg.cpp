// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements on real annotated ECGs kept in testdata/ecg (PhysioNet; see its README):
// beats against the reference labels of MIT-BIH record 113 and QT Database record sel100, wave
// boundaries against the cardiologists of LUDB record 1 and the manual marks of sel100.
#include "measure/validation/Validation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkard::measure::validation {
namespace {

const std::filesystem::path kData = VELKARD_ECG_TESTDATA;

TEST(RealEcg, BeatsOfAnnotatedRecordsWithinOneHundredFiftyMs) {
    for (const char* name : {"mitdb/113", "qtdb/sel100"}) {
        SCOPED_TRACE(name);
        auto atr = import::wfdb::readAnnotations(kData / (std::string(name) + ".atr"));
        ASSERT_TRUE(atr.ok()) << atr.message;
        auto m = measureRecord(kData / (std::string(name) + ".hea"), std::nullopt, 0, 0, true);
        ASSERT_TRUE(m.ok()) << m.message;
        std::vector<std::int64_t> reference;
        for (const auto& a : atr.value)
            if (import::wfdb::isBeat(a.code))
                reference.push_back(a.sample);
        const double fs = std::string(name).rfind("mitdb", 0) == 0 ? 360.0 : 250.0;
        const Detection d =
            matchBeats(reference, m.value.beatsAtRecordRate, std::lround(0.15 * fs));
        EXPECT_GE(d.sensitivity(), 99.7);
        EXPECT_GE(d.positivePredictivity(), 99.7);
    }
}

TEST(RealEcg, IntervalsOfLudbRecordOneAgainstItsCardiologists) {
    static const char* kLeads[] = {"i",  "ii", "iii", "avr", "avl", "avf",
                                   "v1", "v2", "v3",  "v4",  "v5",  "v6"};
    std::vector<std::vector<Wave>> leads;
    for (const char* l : kLeads) {
        auto a = import::wfdb::readAnnotations(kData / (std::string("ludb/1.") + l));
        ASSERT_TRUE(a.ok()) << a.message;
        leads.push_back(wavesOf(a.value));
    }
    const Intervals ref = globalIntervals(leads, 500.0);
    ASSERT_TRUE(ref.pMs && ref.prMs && ref.qrsMs && ref.qtMs);
    auto m = measureRecord(kData / "ludb/1.hea", 1000.0);
    ASSERT_TRUE(m.ok()) << m.message;
    const Measurements& p = m.value.m;
    ASSERT_TRUE(p.pMs && p.prMs && p.qrsMs && p.qtMs);
    // Limits: the mean difference over LUDB plus two of its SDs (see measure/README.md).
    EXPECT_NEAR(*p.pMs, *ref.pMs, 45.0);
    EXPECT_NEAR(*p.prMs, *ref.prMs, 35.0);
    EXPECT_NEAR(*p.qrsMs, *ref.qrsMs, 65.0);
    EXPECT_NEAR(*p.qtMs, *ref.qtMs, 80.0);
    // Every interval within what a heart does, QTc too.
    ASSERT_TRUE(p.qtcBazettMs);
    EXPECT_GE(*p.qtcBazettMs, 300.0);
    EXPECT_LE(*p.qtcBazettMs, 650.0);
}

TEST(RealEcg, QtOfQtDatabaseRecordAgainstTheManualMarks) {
    auto man = import::wfdb::readAnnotations(kData / "qtdb/sel100.q1c");
    ASSERT_TRUE(man.ok()) << man.message;
    std::vector<double> qt;
    std::int64_t first = INT64_MAX, last = 0;
    for (const QtBeat& b : qtBeats(man.value)) {
        first = std::min(first, b.peak);
        last = std::max(last, b.peak);
        if (b.onset && b.tEnd)
            qt.push_back(static_cast<double>(*b.tEnd - *b.onset) * 4.0);
    }
    ASSERT_GE(qt.size(), 20u);
    std::sort(qt.begin(), qt.end());
    const double manual = qt[qt.size() / 2];
    auto m = measureRecord(kData / "qtdb/sel100.hea", std::nullopt,
                           static_cast<double>(first) / 250.0 - 0.5,
                           static_cast<double>(last) / 250.0 + 0.5);
    ASSERT_TRUE(m.ok()) << m.message;
    ASSERT_TRUE(m.value.m.qtMs);
    EXPECT_NEAR(*m.value.m.qtMs, manual, 80.0);
    // Two leads only: the ten the record lacks have no per-lead values.
    EXPECT_FALSE(m.value.m.leads[signal::StandardLeadV1].rMv);
    EXPECT_TRUE(m.value.m.leads[signal::StandardLeadII].rMv);
    EXPECT_TRUE(m.value.m.leads[signal::StandardLeadV5].rMv);
}

} // namespace
} // namespace velkard::measure::validation
