// SPDX-License-Identifier: GPL-3.0-or-later
// Signal quality of every lead over a span, second by second, and the stretches no beat can be
// read in.
//
// Per lead and second: off (flat, or a channel it is formed from at the limit of the 16-bit
// range for half of it), noise (broadband: a second difference with the mains taken off; and the
// slope of the mains-free signal over 10 ms; both in the quietest 100-ms blocks, so QRS
// complexes do not count), mains (50 and 60 Hz amplitude), baseline drift (change of the
// baseline, the median of the 100-ms block medians, from one second to the next) and electrode
// steps (the baseline over 300 ms jumping by 1 mV or more between two blocks and staying there).
// A stretch is unreadable where every lead that carries a signal is off or noisy, and around
// every step.
#pragma once

#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace velkard::measure {

// A channel value this far out is the amplifier's limit (an electrode off drives it there).
inline constexpr int kRailUnits = 32000;

struct LeadQuality {
    bool off = false;   // flat or railed for most of the span
    bool noisy = false; // muscle or other broadband noise for a third of the span or more
    bool mains = false; // mains interference above 0.05 mV for a third of the span or more
    bool drift = false; // the baseline moves by 0.5 mV or more per second, a third of the span
    int steps = 0;      // electrode steps
    std::optional<double> noiseMv, mainsMv; // medians over the span's seconds
    bool usable() const { return !off && !noisy; }
};

struct SignalQuality {
    std::array<LeadQuality, signal::kLeadCount> leads{};
    // Record ranges [from, to) no beat can be read in, counted like the records passed.
    std::vector<std::pair<std::int64_t, std::int64_t>> unreadable;
    // Of those, the stretches around electrode steps (the leads read on either side of a step,
    // and a beat in it can be told by its shape), and the rest (noise in every lead).
    std::vector<std::pair<std::int64_t, std::int64_t>> steps;
    bool readable(std::int64_t record) const;
    bool aroundStepOnly(std::int64_t record) const;
};

// Quality of records [from, from + length) of count records; present, when given, names the
// leads that carry a signal (the others are left as they are, all false).
SignalQuality signalQuality(const signal::SampleRecord* records, std::size_t count,
                            std::size_t from = 0, std::size_t length = SIZE_MAX,
                            const std::array<bool, signal::kLeadCount>* present = nullptr);

} // namespace velkard::measure
