// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Leads.h"

namespace velkard::signal {

namespace {
inline std::int16_t wrap16(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
}
} // namespace

LeadValues deriveStandardLeads(const SampleRecord& r) {
    const std::int32_t c0 = r.c[0];
    const std::int32_t c1 = r.c[1];
    LeadValues out{};
    out[StandardLeadI] = wrap16(c1 - c0);
    out[StandardLeadII] = wrap16(c1);
    out[StandardLeadIII] = wrap16(c0);
    out[StandardLeadAVR] = wrap16(c0 / 2 - c1);
    out[StandardLeadAVL] = wrap16(c1 / 2 - c0);
    out[StandardLeadAVF] = wrap16((c1 + c0) / 2);
    const std::int32_t chestRef = (c1 + c0) / 3;
    for (int v = 0; v < 6; ++v)
        out[static_cast<std::size_t>(StandardLeadV1 + v)] =
            wrap16(chestRef - static_cast<std::int32_t>(r.c[static_cast<std::size_t>(2 + v)]));
    return out;
}

LeadValues underivedA2Leads(const SampleRecord& r) {
    LeadValues out{};
    out[StandardLeadI] = r.c[0];
    out[StandardLeadII] = r.c[1];
    out[StandardLeadIII] = out[StandardLeadAVR] = out[StandardLeadAVL] = out[StandardLeadAVF] =
        r.c[0];
    for (int v = 0; v < 6; ++v)
        out[static_cast<std::size_t>(StandardLeadV1 + v)] = r.c[static_cast<std::size_t>(2 + v)];
    return out;
}

} // namespace velkard::signal
