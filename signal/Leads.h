// The twelve standard leads as the program derives them from the instrument's eight channels, and
// the instrument's scale. Display, printing, measurements and exports all take the leads from here.
#pragma once

#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>

namespace velkard::signal {

// Instrument units per millivolt.
inline constexpr double kUnitsPerMillivolt = 681.3;

inline constexpr int kLeadCount = 12;

// Lead indices in the order every part of the program uses.
enum LeadIndex : int {
    kLeadI,
    kLeadII,
    kLeadIII,
    kLeadAVR,
    kLeadAVL,
    kLeadAVF,
    kLeadV1,
    kLeadV2,
    kLeadV3,
    kLeadV4,
    kLeadV5,
    kLeadV6
};

// Plain lead names (no padding), as files and the command line print them.
inline constexpr std::array<const char*, kLeadCount> kLeadNames{
    "I", "II", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"};

using TwelveLeads = std::array<std::int16_t, kLeadCount>;

// 16-bit wrap of a derived value, as the instrument's own program computes it.
inline std::int16_t wrapLead(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
}

// The twelve leads of one record (c0 = III, c1 = II, chest channels against (c1 + c0) / 3), in
// 32-bit arithmetic with truncating division and a 16-bit wrap of each result.
inline TwelveLeads deriveTwelveLeads(const SampleRecord& r) {
    const std::int32_t c0 = r.c[0];
    const std::int32_t c1 = r.c[1];
    TwelveLeads out;
    out[kLeadI] = wrapLead(c1 - c0);
    out[kLeadII] = wrapLead(c1);
    out[kLeadIII] = wrapLead(c0);
    out[kLeadAVR] = wrapLead(c0 / 2 - c1);
    out[kLeadAVL] = wrapLead(c1 / 2 - c0);
    out[kLeadAVF] = wrapLead((c1 + c0) / 2);
    const std::int32_t chestRef = (c1 + c0) / 3;
    for (int v = 0; v < 6; ++v)
        out[static_cast<std::size_t>(kLeadV1 + v)] =
            wrapLead(chestRef - static_cast<std::int32_t>(r.c[static_cast<std::size_t>(2 + v)]));
    return out;
}

} // namespace velkard::signal
