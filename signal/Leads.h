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

namespace detail {
inline std::int16_t wrap16(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
}
} // namespace detail

// Derives one record: c0 is lead III, c1 lead II, c2..c7 the chest channels against (c1 + c0) / 3.
// 32-bit arithmetic, truncating division, each result wrapped to 16 bits. Inline: the detector
// and the signal quality derive every record, and take only some of the leads.
inline LeadValues deriveStandardLeads(const SampleRecord& r) {
    const std::int32_t c0 = r.c[0];
    const std::int32_t c1 = r.c[1];
    LeadValues out{};
    out[StandardLeadI] = detail::wrap16(c1 - c0);
    out[StandardLeadII] = detail::wrap16(c1);
    out[StandardLeadIII] = detail::wrap16(c0);
    out[StandardLeadAVR] = detail::wrap16(c0 / 2 - c1);
    out[StandardLeadAVL] = detail::wrap16(c1 / 2 - c0);
    out[StandardLeadAVF] = detail::wrap16((c1 + c0) / 2);
    const std::int32_t chestRef = (c1 + c0) / 3;
    for (int v = 0; v < 6; ++v)
        out[static_cast<std::size_t>(StandardLeadV1 + v)] = detail::wrap16(
            chestRef - static_cast<std::int32_t>(r.c[static_cast<std::size_t>(2 + v)]));
    return out;
}

// A later record of an A2 recording taken as it is: I = c0, II = c1, III = aVR = aVL = aVF = c0,
// V1..V6 = c2..c7 (only lead II carries a recorded value; the rest are the stored zeros).
LeadValues underivedA2Leads(const SampleRecord& r);

} // namespace velkard::signal
