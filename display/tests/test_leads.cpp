// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Leads.h"

#include <gtest/gtest.h>

using namespace velkard;
using namespace velkard::display;

namespace {
signal::SampleRecord rec(std::int16_t c0, std::int16_t c1, std::int16_t c2 = 0) {
    signal::SampleRecord r;
    r.c[0] = c0;
    r.c[1] = c1;
    for (std::size_t i = 2; i < 8; ++i)
        r.c[i] = static_cast<std::int16_t>(c2 + 10 * (int(i) - 2));
    return r;
}
} // namespace

TEST(DeriveLeads, StandardFormulas) {
    DerivedLeads out{};
    const signal::SampleRecord r = rec(100, 300, 50);
    deriveLeads(&r, 1, out);
    EXPECT_EQ(out[LeadI][0], 200);
    EXPECT_EQ(out[LeadII][0], 300);
    EXPECT_EQ(out[LeadIII][0], 100);
    EXPECT_EQ(out[LeadAVR][0], -250);
    EXPECT_EQ(out[LeadAVL][0], 50);
    EXPECT_EQ(out[LeadAVF][0], 200);
    EXPECT_EQ(out[LeadV1][0], 83);        // 133 − 50
    EXPECT_EQ(out[LeadV6][0], 133 - 100); // chest channel c7 = 100
}

TEST(DeriveLeads, TruncationTowardZeroAndWrap) {
    DerivedLeads out{};
    signal::SampleRecord rs[3] = {rec(-3, 0), rec(-30000, 30000), rec(-32768, -32768)};
    rs[2].c[2] = 32767;
    deriveLeads(rs, 3, out);
    EXPECT_EQ(out[LeadAVR][0], -1); // −3 ÷ 2 = −1, not −2
    EXPECT_EQ(out[LeadAVF][0], -1);
    EXPECT_EQ(out[LeadV1][0], -1);   // −3 ÷ 3 = −1
    EXPECT_EQ(out[LeadI][1], -5536); // 60000 wraps
    EXPECT_EQ(out[LeadAVL][1], 15000 + 30000 - 65536);
    // (−65536) ÷ 3 − 32767 = −54612, stored as 10924.
    EXPECT_EQ(out[LeadV1][2], 10924);
    EXPECT_EQ(out[LeadAVF][2], -32768);
}

TEST(DeriveLeads, A2RecordsAfterLimitAreTakenRaw) {
    DerivedLeads out{};
    signal::SampleRecord rs[2] = {rec(100, 300, 7), rec(100, 300, 7)};
    int count = kA2DerivedLimit - 1;
    deriveLeads(rs, 2, out, &count);
    // The first is still derived, the second met the limit.
    EXPECT_EQ(out[LeadI][0], 200);
    EXPECT_EQ(out[LeadI][1], 100);
    EXPECT_EQ(out[LeadII][1], 300);
    EXPECT_EQ(out[LeadAVR][1], 100);
    EXPECT_EQ(out[LeadAVF][1], 100);
    EXPECT_EQ(out[LeadV1][1], 7);
    EXPECT_EQ(out[LeadV6][1], 57);
    EXPECT_GE(count, kA2DerivedLimit);
    // Without the A2 count the same records are always derived.
    deriveLeads(rs, 2, out);
    EXPECT_EQ(out[LeadI][1], 200);
}

class Decimation : public ::testing::Test {
protected:
    std::int16_t src[400];
    std::int16_t out[kDecimatedCapacity + 4];
    void SetUp() override {
        for (int i = 0; i < 400; ++i)
            src[i] = static_cast<std::int16_t>(i);
        std::fill(std::begin(out), std::end(out), std::int16_t(-999));
    }
};

TEST_F(Decimation, CountIsCeilingOfSamplesOverColumnWidth) {
    EXPECT_EQ(decimate(src, 10.0f, 400, out), 40);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    // A rising ramp: each column's minimum is clamped to the previous column's maximum.
    EXPECT_EQ(out[2], 9);
    EXPECT_EQ(out[39], 379);
    EXPECT_EQ(out[40], 389); // the maximum of the last complete column survives
    EXPECT_EQ(out[41], -999);

    EXPECT_EQ(decimate(src, 3.0f, 400, out), 134);
    EXPECT_EQ(decimate(src, 3.9f, 400, out), 134); // trunc(samples per column)
}

TEST_F(Decimation, OneSamplePerColumnWritesFourHundredAndOne) {
    EXPECT_EQ(decimate(src, 1.0f, 400, out), 400);
    EXPECT_EQ(out[399], 397);
    EXPECT_EQ(out[400], 398);
    EXPECT_EQ(out[401], -999);
    // Below one is taken as one rather than looping for ever.
    EXPECT_EQ(decimate(src, 0.0f, 400, out), 400);
}

TEST_F(Decimation, ConstantColumnAfterLowerRangeIsClampedToPreviousMaximum) {
    for (int i = 0; i < 10; ++i)
        src[i] = static_cast<std::int16_t>(i * 50 / 9); // 0 .. 50
    for (int i = 10; i < 400; ++i)
        src[i] = 100;
    decimate(src, 10.0f, 400, out);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 50);
    EXPECT_EQ(out[3], 100);
}

TEST_F(Decimation, FallingSignalKeepsColumnMinimum) {
    for (int i = 0; i < 400; ++i)
        src[i] = static_cast<std::int16_t>(-i);
    decimate(src, 10.0f, 400, out);
    EXPECT_EQ(out[1], -9);
    EXPECT_EQ(out[2], -19);
}

TEST_F(Decimation, PrintingSampleCount) {
    EXPECT_EQ(decimate(src, 6.0f, 250, out), 42);
    // A shorter count that ends exactly on a column boundary keeps that last column.
    EXPECT_EQ(decimate(src, 6.0f, 6, out), 2);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(decimate(src, 6.0f, 96, out), 17);
    EXPECT_EQ(out[16], 89); // the minimum of samples 90..95 clamped to the previous maximum
    EXPECT_EQ(decimate(src, 10.0f, 100000, out), 40); // never past one block
    DerivedLeads in{};
    for (auto& l : in)
        std::copy(std::begin(src), std::end(src), l.begin());
    DecimatedLeads dec{};
    EXPECT_EQ(decimateAll(in, 6.0f, 400, dec), 67);
    EXPECT_EQ(dec[11][2], 5);
}
