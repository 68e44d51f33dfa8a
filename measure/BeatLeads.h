// SPDX-License-Identifier: GPL-3.0-or-later
// The eight independent leads the median beat is made and delineated on, and the window it
// spans: shared by the median beat, the QRS bounds and the delineation.
#pragma once

#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <vector>

namespace velkard::measure {

// Where the fiducial point lies in the median beat measureSpan() measures on (samples).
inline constexpr int kMedianFiducial = 400;

namespace detail {

using signal::kLeadCount;

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kMsPerRecord = 1000.0 / signal::kRecordsPerSecond;
inline constexpr int kIndependentCount = 8;
// The leads every other lead is a combination of: I, II, V1..V6.
inline constexpr std::array<int, kIndependentCount> kIndependent{
    signal::StandardLeadI,  signal::StandardLeadII, signal::StandardLeadV1, signal::StandardLeadV2,
    signal::StandardLeadV3, signal::StandardLeadV4, signal::StandardLeadV5, signal::StandardLeadV6};

inline constexpr int kBefore = kMedianFiducial; // median beat: 0.5 s before the fiducial point
inline constexpr int kAfter = 640;              // and 0.8 s after it
inline constexpr int kLength = kBefore + kAfter;

using Eight = std::array<float, kIndependentCount>;
using Leads8 = std::array<std::vector<float>, kIndependentCount>;

} // namespace detail

} // namespace velkard::measure
