// SPDX-License-Identifier: GPL-3.0-or-later
// The twelve standard leads derived from the instrument's eight channels, and the min/max
// decimation that reduces a block of samples to one value per pixel column.
#pragma once

#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>

namespace velkard::display {

enum Lead : int {
    LeadI,
    LeadII,
    LeadIII,
    LeadAVR,
    LeadAVL,
    LeadAVF,
    LeadV1,
    LeadV2,
    LeadV3,
    LeadV4,
    LeadV5,
    LeadV6
};

// The same order as signal's leads, which deriveRecord copies in place.
static_assert(int{LeadI} == signal::StandardLeadI && int{LeadAVR} == signal::StandardLeadAVR &&
              int{LeadV6} == signal::StandardLeadV6);

// Label texts of the twelve leads, blanks included.
inline constexpr std::array<const char*, 12> kLeadLabels{
    " I ", "II  ", "III ", "aVR", "aVL", "aVF", "V1 ", "V2 ", "V3 ", "V4 ", "V5 ", "V6 "};

// Records of an A2 recording after this many derived records carry lead II alone.
inline constexpr int kA2DerivedLimit = signal::kA2DerivedRecords;

// Twelve arrays of one block's derived values, lead order I, II, III, aVR, aVL, aVF, V1..V6.
using LeadBlock = std::array<std::int16_t, signal::kRecordsPerBlock>;
using DerivedLeads = std::array<LeadBlock, 12>;

// Room for the decimated values of one lead: 1 + 400 values are written at most.
inline constexpr int kDecimatedCapacity = signal::kRecordsPerBlock + 2;
using DecimatedLead = std::array<std::int16_t, kDecimatedCapacity>;
using DecimatedLeads = std::array<DecimatedLead, 12>;

// Derives one record (32-bit arithmetic, truncating division, 16-bit wrap of each result).
void deriveRecord(const signal::SampleRecord& r, DerivedLeads& out, int index);

// Derives `count` records (at most 400) into out[lead][0..count-1].
// With a2Count given (review of an "A2" recording), each record increments *a2Count, and a record
// met when the count has reached 8040 is taken without derivation: I = c0, II = c1,
// III = aVR = aVL = aVF = c0, V1..V6 = c2..c7.
void deriveLeads(const signal::SampleRecord* records, int count, DerivedLeads& out,
                 int* a2Count = nullptr);

// Min/max decimation of `sampleCount` values of one lead (screen: 400; printing: the chunk's record
// count, at most 400) at trunc(samplesPerColumn) samples per column (taken as at least 1). Writes
// out[0 .. count] and returns count: out[0] is the first sample and each complete column leaves its
// minimum, clamped towards the previous column's range. The column in progress when the samples
// run out is not written, nor the one that ends with the 400th sample, so 400 samples give
// ⌈400 ÷ a⌉ and a shorter count n gives 1 + ⌊n ÷ a⌋.
int decimate(const std::int16_t* source, float samplesPerColumn, int sampleCount,
             std::int16_t* out);

// Decimates every lead; returns the count (the same for all leads).
int decimateAll(const DerivedLeads& in, float samplesPerColumn, int sampleCount,
                DecimatedLeads& out);

} // namespace velkard::display
