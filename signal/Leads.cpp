// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Leads.h"

namespace velkard::signal {

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
