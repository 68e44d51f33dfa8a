// SPDX-License-Identifier: GPL-3.0-or-later
// The twelve standard leads derived from the instrument's eight channels. Display, printing and the
// exports all take their leads from here, so every output shows the same values.
#pragma once

#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>

namespace velkard::signal {

inline constexpr int kLeadCount = 12;

// Lead order everywhere: I, II, III, aVR, aVL, aVF, V1..V6.
enum StandardLead : int {
    StandardLeadI,
    StandardLeadII,
    StandardLeadIII,
    StandardLeadAVR,
    StandardLeadAVL,
    StandardLeadAVF,
    StandardLeadV1,
    StandardLeadV2,
    StandardLeadV3,
    StandardLeadV4,
    StandardLeadV5,
    StandardLeadV6
};

// Standard names of the leads, without padding.
inline constexpr std::array<const char*, kLeadCount> kStandardLeadNames{
    "I", "II", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"};

// Records of an A2 recording after this many carry lead II alone.
inline constexpr int kA2DerivedRecords = 8040;

using LeadValues = std::array<std::int16_t, kLeadCount>;

// Derives one record: c0 is lead III, c1 lead II, c2..c7 the chest channels against (c1 + c0) / 3.
// 32-bit arithmetic, truncating division, each result wrapped to 16 bits.
LeadValues deriveStandardLeads(const SampleRecord& r);

// A later record of an A2 recording taken as it is: I = c0, II = c1, III = aVR = aVL = aVF = c0,
// V1..V6 = c2..c7 (only lead II carries a recorded value; the rest are the stored zeros).
LeadValues underivedA2Leads(const SampleRecord& r);

} // namespace velkard::signal
