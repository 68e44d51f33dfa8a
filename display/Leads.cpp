// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Leads.h"

#include <algorithm>

namespace velkard::display {

namespace {
void store(const signal::LeadValues& values, DerivedLeads& out, int i) {
    const auto k = static_cast<std::size_t>(i);
    for (std::size_t l = 0; l < values.size(); ++l)
        out[l][k] = values[l];
}
} // namespace

// The derivation itself lives in signal/, shared with printing's chunks and the exports.
void deriveRecord(const signal::SampleRecord& r, DerivedLeads& out, int i) {
    store(signal::deriveStandardLeads(r), out, i);
}

void deriveLeads(const signal::SampleRecord* records, int count, DerivedLeads& out, int* a2Count) {
    count = std::clamp(count, 0, signal::kRecordsPerBlock);
    for (int i = 0; i < count; ++i) {
        const signal::SampleRecord& r = records[i];
        if (a2Count && *a2Count >= kA2DerivedLimit) {
            // Later records of an A2 recording carry lead II alone; they are shown as they are.
            store(signal::underivedA2Leads(r), out, i);
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
