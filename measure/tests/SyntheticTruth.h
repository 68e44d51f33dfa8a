// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings of the parametric synthetic ECG and the true values of their measurements.
#pragma once

#include "measure/Measurements.h"
#include "sim/SyntheticEcg.h"

#include <array>
#include <vector>

namespace velkard::measure::test {

struct Synthetic {
    std::vector<signal::SampleRecord> records;
    std::vector<sim::PlacedBeat> placed;
    sim::EcgParameters params;
};

Synthetic makeRecording(const sim::EcgParameters& params, double seconds, std::uint32_t seed);

// The true R height and S depth of every lead, from the noiseless normal beat, as the
// measurements define them (S: the deepest point after the R has risen above 0.05 mV, or of the
// whole QRS when it never does; R: the highest point before that S). sClear is false where an
// initial r close to 0.05 mV makes the S ambiguous (0.03 and 0.08 mV would give different S waves).
struct TrueAmplitudes {
    std::array<double, signal::kLeadCount> r{}, s{};
    std::array<bool, signal::kLeadCount> sClear{};
};
TrueAmplitudes trueAmplitudes(const sim::BeatParameters& params);

// The true mean RR (ms) of the placed beats whose QRS centre lies in [from, to) records.
double trueRrMs(const Synthetic& s, std::int64_t from, std::int64_t to);
// The centre records of the placed beats in [from, to).
std::vector<std::int64_t> trueBeats(const Synthetic& s, std::int64_t from, std::int64_t to);

// Detection quality: beats matched within 150 ms, one to one.
struct Matching {
    int truePositive = 0, falseNegative = 0, falsePositive = 0;
    double sensitivity() const {
        return truePositive + falseNegative ? double(truePositive) / (truePositive + falseNegative)
                                            : 1.0;
    }
    double positivePredictivity() const {
        return truePositive + falsePositive ? double(truePositive) / (truePositive + falsePositive)
                                            : 1.0;
    }
};
Matching match(const std::vector<std::int64_t>& truth, const std::vector<std::int64_t>& found);

// Difference of two angles in degrees, in [-180, 180).
double angleDifference(double a, double b);

} // namespace velkard::measure::test
