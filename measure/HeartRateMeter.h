// SPDX-License-Identifier: GPL-3.0-or-later
// The heart rate of the live sweep: the QRS detector on the incoming records, and the mean of the
// last eight RR intervals, updated with each beat and withdrawn 3 s after the last one.
#pragma once

#include "measure/QrsDetector.h"
#include "signal/SampleRecord.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace velkard::measure {

class HeartRateMeter {
public:
    static constexpr int kIntervals = 8;
    static constexpr std::int64_t kSilence = 3 * signal::kRecordsPerSecond;

    // Feeds the next records of the stream.
    void push(const signal::SampleRecord* records, std::size_t count);
    // The rate to show, in whole beats per minute; nullopt before two beats have been found and
    // once 3 s of records have passed without one.
    std::optional<int> bpm() const;
    // Beats found so far.
    std::int64_t beatCount() const { return beatCount_; }

private:
    QrsDetector detector_;
    std::vector<std::int64_t> found_;
    std::deque<std::int64_t> recent_; // the last kIntervals + 1 beats
    std::int64_t beatCount_ = 0;
};

} // namespace velkard::measure
