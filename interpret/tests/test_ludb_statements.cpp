// SPDX-License-Identifier: GPL-3.0-or-later
// The statements on the LUDB records kept in testdata/ecg/ludb (records 1-23, the first two
// records after them that the cardiologists call normal and that have atrial fibrillation, and
// 103, atrial flutter with a variable block),
// against the diagnoses of ludb.csv. The full table over the 100 records of the development set
// is in interpret/README.md; here: "normal ECG" never on a record with a conduction, hypertrophy
// or infarction diagnosis, and the main statements no worse than the rules reach today.
#include "validation/StatementValidation.h"
#include "validation/Validation.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace velkard::measure::validation {
namespace {

const std::filesystem::path kLudb = std::filesystem::path(VELKARD_ECG_TESTDATA) / "ludb";

TEST(LudbStatements, NormalNeverBesideADiagnosisAndTheMainStatementsHoldTheirFloor) {
    const StatementResults r = validateStatements(kLudb, kLudb / "ludb.csv");
    ASSERT_EQ(r.records, 17);
    EXPECT_TRUE(r.normalWhereForbidden.empty());

    auto tally = [&](const char* code) {
        const auto it = r.byCode.find(code);
        return it == r.byCode.end() ? Tally{} : it->second;
    };
    // A normal ECG only where the cardiologists found nothing, and found where they did.
    EXPECT_EQ(tally("NORM").falsePositive, 0);
    EXPECT_GE(tally("NORM").truePositive, 1);
    // Floors: true positives and false positives per statement (of positives/negatives here).
    // 1AVB allows three: with the signal-quality screening of the measurements the borderline PRs
    // (205 and 206 ms on records 15 and 9) pass 200 ms. LAE allows two: on record 83 (atrial
    // fibrillation) a P-like wave of 139 ms stands before the QRS, after a wider wave that is
    // passed over as no P.
    struct Floor {
        const char* code;
        int truePositives, falsePositives;
    };
    for (const Floor& f : {Floor{"SR", 9, 0}, Floor{"1AVB", 2, 3}, Floor{"CRBBB", 1, 0},
                           Floor{"AFIB", 1, 0}, Floor{"AFLT", 1, 0}, Floor{"LAD", 4, 0},
                           Floor{"LAE", 6, 2}, Floor{"LVH", 4, 3}, Floor{"IMI", 1, 1}}) {
        SCOPED_TRACE(f.code);
        EXPECT_GE(tally(f.code).truePositive, f.truePositives);
        EXPECT_LE(tally(f.code).falsePositive, f.falsePositives);
    }
    // LUDB 103, typical flutter with a variable block: before flutter was looked for, a flutter
    // wave before three quarters of the beats made it sinus rhythm with premature atrial beats.
    bool flutterSeen = false;
    for (const auto& d : r.details) {
        if (d.id != 103)
            continue;
        flutterSeen = true;
        std::set<std::string> said;
        for (const auto& s : d.result.statements)
            said.insert(s.code);
        EXPECT_EQ(said.count("AFLT"), 1u);
        EXPECT_EQ(said.count("SR") + said.count("PAC") + said.count("SARRH"), 0u);
        // Its flutter wave before the QRS measured as a P of 169 ms and a PR of 208 ms.
        EXPECT_FALSE(d.result.measurements.pMs || d.result.measurements.prMs);
    }
    EXPECT_TRUE(flutterSeen);
}

// MIT-BIH 113 is sinus arrhythmia with a low P: irregular beats where the P is often too small
// to measure. Its ten-second spans were called atrial fibrillation in 38 of 180 before the
// atrial stretches' likeness was asked; fibrillation is now said in at most a tenth of them.
TEST(RealRhythm, SinusArrhythmiaWithALowPIsRarelyCalledFibrillation) {
    auto rec = loadRecord(std::filesystem::path(VELKARD_ECG_TESTDATA) / "mitdb/113.hea");
    ASSERT_TRUE(rec.ok()) << rec.message;
    const auto& r = rec.value.recording.records;
    const std::size_t span = 10 * signal::kRecordsPerSecond;
    int spans = 0, fibrillation = 0;
    for (std::size_t from = 0; from + span <= r.size(); from += span, ++spans) {
        const auto result =
            interpret::interpretSpan(r.data(), r.size(), from, span, &rec.value.recording.present);
        for (const auto& st : result.statements)
            fibrillation += st.code == "AFIB";
    }
    EXPECT_GE(spans, 180);
    EXPECT_LE(fibrillation * 10, spans);
}

TEST(LudbStatements, DiagnosesOfTheCsvAreReadAndMappedToCodes) {
    auto rows = readLudbCsv(kLudb / "ludb.csv");
    ASSERT_TRUE(rows.ok()) << rows.message;
    ASSERT_EQ(rows.value.size(), 100u);
    const LudbRecord& first = rows.value[0];
    EXPECT_EQ(first.id, 1);
    EXPECT_EQ(first.patient.sex, interpret::Sex::Female);
    EXPECT_EQ(first.patient.ageYears, 51);
    // Record 1: sinus bradycardia, left axis deviation, LV overload and hypertrophy.
    EXPECT_EQ(reference("SBRAD", first), Reference::Positive);
    EXPECT_EQ(reference("SR", first), Reference::Negative);
    EXPECT_EQ(reference("LAD", first), Reference::Positive);
    EXPECT_EQ(reference("LVH", first), Reference::Positive);
    EXPECT_EQ(reference("CLBBB", first), Reference::Negative);
    EXPECT_EQ(reference("NORM", first), Reference::Negative);
    EXPECT_TRUE(forbidsNormal(first));
    EXPECT_FALSE(readLudbCsv(kLudb / "missing.csv").ok());
}

} // namespace
} // namespace velkard::measure::validation
