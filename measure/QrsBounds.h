// SPDX-License-Identifier: GPL-3.0-or-later
// The QRS onset and end over all independent leads together, from their spatial velocity: where
// the median beat is aligned and where its delineation starts.
#pragma once

#include "measure/BeatLeads.h"

#include <optional>
#include <vector>

namespace velkard::measure::detail {

// Spatial velocity: summed absolute change of the leads over 5 ms, after a 5-sample mean that
// takes the edge off the remaining noise.
std::vector<float> spatialVelocity(const Leads8& m);

struct QrsBounds {
    int onset = 0, end = 0;
};

// QRS onset and end around the fiducial point (its peak sought from before to after samples
// about it): where the spatial velocity has stayed below the threshold for 10 ms before, and
// after. `leads`: how many leads the velocity sums.
std::optional<QrsBounds> findQrs(const std::vector<float>& sv, int fiducial, int before = 80,
                                 int after = 80, const std::vector<int>& spikes = {},
                                 int leads = kIndependentCount);

} // namespace velkard::measure::detail
