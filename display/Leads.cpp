// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Leads.h"

#include <algorithm>

namespace velkard::display {

namespace {
inline std::int16_t wrap16(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
}
} // namespace

void deriveRecord(const signal::SampleRecord& r, DerivedLeads& out, int i) {
    const std::int32_t c0 = r.c[0];
    const std::int32_t c1 = r.c[1];
    const auto k = static_cast<std::size_t>(i);
    out[LeadI][k] = wrap16(c1 - c0);
    out[LeadII][k] = wrap16(c1);
    out[LeadIII][k] = wrap16(c0);
    out[LeadAVR][k] = wrap16(c0 / 2 - c1);
    out[LeadAVL][k] = wrap16(c1 / 2 - c0);
    out[LeadAVF][k] = wrap16((c1 + c0) / 2);
    const std::int32_t chestRef = (c1 + c0) / 3;
    for (int v = 0; v < 6; ++v)
        out[static_cast<std::size_t>(LeadV1 + v)][k] =
            wrap16(chestRef - static_cast<std::int32_t>(r.c[static_cast<std::size_t>(2 + v)]));
}

void deriveLeads(const signal::SampleRecord* records, int count, DerivedLeads& out, int* a2Count) {
    count = std::clamp(count, 0, signal::kRecordsPerBlock);
    for (int i = 0; i < count; ++i) {
        const signal::SampleRecord& r = records[i];
        if (a2Count && *a2Count >= kA2DerivedLimit) {
            // Later records of an A2 recording carry lead II alone; they are shown as they are.
            const auto k = static_cast<std::size_t>(i);
            out[LeadI][k] = r.c[0];
            out[LeadII][k] = r.c[1];
            out[LeadIII][k] = out[LeadAVR][k] = out[LeadAVL][k] = out[LeadAVF][k] = r.c[0];
            for (int v = 0; v < 6; ++v)
                out[static_cast<std::size_t>(LeadV1 + v)][k] = r.c[static_cast<std::size_t>(2 + v)];
            continue;
        }
        deriveRecord(r, out, i);
        if (a2Count)
            ++*a2Count;
    }
}

int decimate(const std::int16_t* s, float samplesPerColumn, int sampleCount, std::int16_t* out) {
    const int a = std::max(1, static_cast<int>(samplesPerColumn));
    const int n = std::clamp(sampleCount, 0, signal::kRecordsPerBlock);
    out[0] = out[1] = s[0];
    std::int16_t pm = s[0];
    std::int16_t pM = s[0];
    std::int16_t mn = 2047;
    std::int16_t mx = 0;
    int k = 1;
    int i = 0;
    int e = a;
    while (i < n) {
        while (i < e) {
            const std::int16_t v = s[i];
            if (v < mn)
                mn = v;
            if (v > mx)
                mx = v;
            ++i;
            // A column that ends with the block's 400th sample is not written; one cut short by
            // a shorter sample count is not either (its remaining samples are not this chunk's).
            if (i >= signal::kRecordsPerBlock || (i >= n && i < e))
                return k;
        }
        // Clamp towards the previous column so consecutive columns join without a gap.
        if (mn > pM)
            mn = pM;
        if (mx < pm)
            mx = pm;
        out[k] = mn;
        out[k + 1] = mx;
        ++k;
        e += a;
        pm = mn;
        pM = mx;
        mn = 2047;
        mx = 0;
    }
    return k;
}

int decimateAll(const DerivedLeads& in, float samplesPerColumn, int sampleCount,
                DecimatedLeads& out) {
    int count = 0;
    for (std::size_t l = 0; l < in.size(); ++l)
        count = decimate(in[l].data(), samplesPerColumn, sampleCount, out[l].data());
    return count;
}

} // namespace velkard::display
