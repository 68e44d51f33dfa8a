// SPDX-License-Identifier: GPL-3.0-or-later
// What is measured of a span: its global values and the waves of each lead.
#pragma once

#include "measure/SignalQuality.h"
#include "signal/Leads.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace velkard::measure {

// Which of the twelve leads (signal::StandardLead order) take part.
using LeadSet = std::array<bool, signal::kLeadCount>;

// One lead's waves, against the PR segment; all null for a lead the recording does not carry.
struct LeadAmplitudes {
    std::optional<double> qMs, qMv; // Q wave: duration, depth (positive; 0 when none); QS is a Q
    std::optional<double> rMv;      // height of the R (0 when none)
    std::optional<double> sMv;      // depth of the negative wave after the R (of a QS: its depth)
    std::optional<double> r2Mv;     // R' after the S, or the second peak of a notched R (0: none)
    std::optional<double> stJMv, st60Mv, st80Mv; // ST level at J, J + 60 ms and J + 80 ms
    std::optional<double> tMv;            // T amplitude, signed (the larger of tPosMv and -tNegMv)
    std::optional<double> tPosMv, tNegMv; // highest and lowest point of the T (>= 0, <= 0)
    std::optional<double> qrsArea;        // net QRS area, mV·ms
    // Where the QRS begins and ends in this lead (sample index into the median beat); null where
    // the lead's QRS is too small against its noise to tell.
    std::optional<int> qrsOnsetAt, qrsEndAt;
};

// Durations in ms, axes in degrees (-180, 180]; nullopt where not measurable.
struct Measurements {
    std::vector<std::int64_t> beats; // record index of every QRS in the span
    std::optional<double> heartRateBpm, rrMs;
    std::optional<double> pMs, prMs, qrsMs, qtMs, qtcBazettMs, qtcFridericiaMs;
    std::optional<double> pAxisDeg, qrsAxisDeg, tAxisDeg;
    std::array<LeadAmplitudes, signal::kLeadCount> leads{};
    int beatsInMedian = 0; // dominant beats the median beat was formed from
    // Where the QRS of the median beat begins and ends (sample index into the median beat), for
    // criteria that look at the shape inside it (R-peak time, the width of an S wave).
    std::optional<int> qrsOnsetAt, qrsEndAt;
    // Signal quality of every lead over the span; leads that are off or noisy take no part in
    // the measurements. noise: the stretches of the span no beat could be read in, [from, to).
    std::array<LeadQuality, signal::kLeadCount> quality{};
    std::vector<std::pair<std::int64_t, std::int64_t>> noise;
};

} // namespace velkard::measure
