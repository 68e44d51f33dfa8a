// SPDX-License-Identifier: GPL-3.0-or-later
// Wave boundaries, intervals, axes and the waves of each lead, found on a median beat.
#pragma once

#include "measure/MeasuredValues.h"
#include "measure/MedianBeat.h"

#include <optional>

namespace velkard::measure::detail {

// Whether III is the only limb lead of `present` (I and II absent from the file, or off).
bool iiiAlone(const LeadSet& present);

// How many independent leads the waves are timed on: those of `present`, or III alone in I's
// place.
int timingLeadCount(const LeadSet& present);

// Measures the median beat into m: the QRS by the spatial velocity of the leads that time the
// waves, refined lead by lead; the T end and the P against the PR level; the intervals within
// what a heart can do (else null), the QTc at rrMs; the frontal axes; each present lead's Q, R,
// S, R', ST and T.
void measureBeat(const MedianBeat& median, std::optional<double> rrMs, const LeadSet& leadsPresent,
                 Measurements& m);

} // namespace velkard::measure::detail
