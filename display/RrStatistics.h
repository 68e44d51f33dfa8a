// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics a rhythmogram page shows of its RR intervals: mean, SDNN (their standard
// deviation), RMSSD (the root mean square of successive differences), shortest and longest.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace velkard::display {

// RR intervals outside this range (ms) are artefacts or gaps, not beats: left out.
inline constexpr int kShortestRrMs = 200;
inline constexpr int kLongestRrMs = 3000;

struct RrStatistics {
    int intervals = 0; // RR intervals counted
    std::optional<double> meanMs;
    std::optional<double> sdnnMs;  // sample standard deviation; needs two intervals
    std::optional<double> rmssdMs; // over successive pairs of counted intervals; needs one pair
    std::optional<double> minMs;
    std::optional<double> maxMs;
};

// Of a rhythmogram's body: little-endian 16-bit RR intervals in milliseconds.
RrStatistics rrStatistics(std::span<const std::uint8_t> bytes);

// "RR: среднее 833 мс, SDNN 42 мс, RMSSD 35 мс, мин. 760 мс, макс. 910 мс (n = 300)" in Russian,
// "RR: mean 833 ms, …" otherwise; "—" for what could not be computed.
QString rrStatisticsLine(const RrStatistics& s, bool russian);

} // namespace velkard::display
