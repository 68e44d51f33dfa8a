// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/HeartRateMeter.h"

#include <cmath>

namespace velkard::measure {

void HeartRateMeter::push(const signal::SampleRecord* records, std::size_t count) {
    found_.clear();
    detector_.push(records, count, found_);
    for (std::int64_t b : found_) {
        recent_.push_back(b);
        if (recent_.size() > kIntervals + 1)
            recent_.pop_front();
        ++beatCount_;
    }
}

std::optional<int> HeartRateMeter::bpm() const {
    if (recent_.size() < 2 || detector_.position() - recent_.back() > kSilence)
        return std::nullopt;
    const double rr = static_cast<double>(recent_.back() - recent_.front()) /
                      static_cast<double>(recent_.size() - 1);
    return static_cast<int>(std::lround(60.0 * signal::kRecordsPerSecond / rr));
}

} // namespace velkard::measure
