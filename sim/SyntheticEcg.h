// SPDX-License-Identifier: GPL-3.0-or-later
// A deterministic synthetic twelve-lead ECG in the instrument's eight channels.
//
// Each beat is a sum of Gaussian P, Q, R, S and T waves with per-lead amplitudes; the beat interval
// varies (respiratory sinus arrhythmia plus a little random jitter), the baseline wanders slowly
// and a small noise rides on top. Leads are computed in instrument units (kUnitsPerMillivolt per
// mV) and folded into the channels by inverting the display's lead derivation: c0 = III, c1 = II
// and each chest channel = (c1 + c0) / 3 - Vk, so deriving V1..V6 again gives the generated chest
// leads exactly. The same seed always gives the same records.
#pragma once

#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace velkard::sim {

inline constexpr double kUnitsPerMillivolt = 681.0;

// The eight leads the generator models directly: I, II, V1..V6 (III = II - I).
struct IndependentLeads {
    std::int32_t leadI = 0, leadII = 0;
    std::array<std::int32_t, 6> chest{};
};

// Folds leads into the instrument's channels (the inverse of the display's derivation).
signal::SampleRecord toChannels(const IndependentLeads& leads);

class SyntheticEcg {
public:
    explicit SyntheticEcg(std::uint32_t seed = 1, double heartRate = 72.0);

    // The next sample record (800 per second of signal).
    signal::SampleRecord next();
    IndependentLeads nextLeads();

    // n consecutive records from a fresh generator with this seed.
    static std::vector<signal::SampleRecord> records(std::uint32_t seed, std::size_t n);

    double heartRate() const { return heartRate_; }

private:
    void scheduleBeats(double upTo);

    std::mt19937 rng_;
    std::normal_distribution<double> noise_{0.0, 1.0};
    double heartRate_;
    std::uint64_t sample_ = 0;
    std::deque<double> beats_; // beat (R peak) times in seconds
    double lastScheduled_ = 0.0;
    double wanderPhase_ = 0.0;
};

} // namespace velkard::sim
