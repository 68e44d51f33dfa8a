// SPDX-License-Identifier: GPL-3.0-or-later
// The median beat of a span: the beats whose QRS matches the dominant shape, aligned on it by
// cross-correlation, each with the baseline wander (a smooth curve through the PR segments) and
// the mains (50 and 60 Hz, notched forward and backward) taken off, and their sample-wise median.
#pragma once

#include "measure/BeatLeads.h"
#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkard::measure {

// The median beat: twelve leads in mV, `before` samples ahead of the fiducial point.
struct MedianBeat {
    int before = 0;
    std::array<std::vector<float>, signal::kLeadCount> mv;
    int beats = 0;
    // The noise each independent lead's median still carries where the P lies (mV; 0 for the
    // derived leads): the beats' scatter about it, as a median of that many beats keeps it.
    std::array<float, signal::kLeadCount> noiseMv{};
    bool empty() const { return beats == 0; }
};

// The median beat of the dominant beats among `beats` (at most 240 of them, evenly spread).
MedianBeat medianBeat(const signal::SampleRecord* records, std::size_t count,
                      const std::vector<std::int64_t>& beats);

namespace detail {

// The median beat of the dominant beats in [cutFrom, cutTo); the dominant beats outside that
// range still give the baseline its knots. Only the independent leads of weight 1 find the
// dominant beats, align them and place the PR segment.
MedianBeat medianBeatWithin(const signal::SampleRecord* records, std::size_t count,
                            const Eight& weight, const std::vector<std::int64_t>& beats,
                            std::int64_t cutFrom, std::int64_t cutTo);

} // namespace detail

} // namespace velkard::measure
