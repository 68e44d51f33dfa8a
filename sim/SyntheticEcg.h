// SPDX-License-Identifier: GPL-3.0-or-later
// A deterministic synthetic twelve-lead ECG in the instrument's eight channels.
//
// Beats of known P, PR, QRS and QT (sim/BeatShape.h), by default the normal beat of
// BeatParameters' defaults at 72 bpm with a slowly wandering baseline and a little noise, so what
// the program measures of it can be checked. Leads are computed in instrument units
// (signal::kUnitsPerMillivolt per mV) and folded into the channels by inverting the display's lead
// derivation: c0 = III, c1 = II and each chest channel = (c1 + c0) / 3 - Vk, so deriving V1..V6
// again gives the generated chest leads exactly. The same seed always gives the same records.
//
// Given beat and noise parameters it generates those beats instead, and can log every beat it
// places so tests know the truth.
#pragma once

#include "signal/SampleRecord.h"
#include "sim/BeatShape.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <vector>

namespace velkard::sim {

// The eight leads the generator models directly: I, II, V1..V6 (III = II - I).
struct IndependentLeads {
    std::int32_t leadI = 0, leadII = 0;
    std::array<std::int32_t, 6> chest{};
};

// Folds leads into the instrument's channels (the inverse of the display's derivation).
signal::SampleRecord toChannels(const IndependentLeads& leads);

// Chosen beats and noise for the parametric generator.
struct EcgParameters {
    BeatParameters beat;
    NoiseParameters noise;
};

// One beat the parametric generator placed.
struct PlacedBeat {
    enum class Kind { Normal, Supraventricular, Ventricular };
    double qrsOnset = 0; // seconds from the first record
    Kind kind = Kind::Normal;
    // The record index of the middle of the QRS.
    std::int64_t centreRecord(const BeatParameters& params) const;
};

class SyntheticEcg {
public:
    explicit SyntheticEcg(std::uint32_t seed = 1, double heartRate = 72.0);
    // The parametric generator.
    SyntheticEcg(std::uint32_t seed, const EcgParameters& params);

    // The next sample record (800 per second of signal).
    signal::SampleRecord next();
    IndependentLeads nextLeads();

    // n consecutive records from a fresh generator with this seed.
    static std::vector<signal::SampleRecord> records(std::uint32_t seed, std::size_t n);
    // n records of the parametric generator; placed, when given, receives every beat that
    // touches them.
    static std::vector<signal::SampleRecord> records(std::uint32_t seed,
                                                     const EcgParameters& params, std::size_t n,
                                                     std::vector<PlacedBeat>* placed = nullptr);

    double heartRate() const { return heartRate_; }
    // Keeps a log of the beats the parametric generator places (off by default: an instrument
    // runs for hours).
    void keepBeatLog(bool keep) { keepLog_ = keep; }
    const std::vector<PlacedBeat>& beatLog() const { return log_; }

private:
    void scheduleParametricBeats(double upTo);

    std::mt19937 rng_;
    std::normal_distribution<double> noise_{0.0, 1.0};
    double heartRate_;
    std::uint64_t sample_ = 0;

    EcgParameters params_;
    BeatShape normal_, ventricular_;
    std::deque<PlacedBeat> placed_;
    double nextNormal_ = 0.0; // when the next beat of the dominant rhythm falls due
    PlacedBeat::Kind lastKind_ = PlacedBeat::Kind::Normal;
    std::array<double, 8> mainsPhase_{}, wanderPhases_{};
    bool keepLog_ = false;
    std::vector<PlacedBeat> log_;
};

} // namespace velkard::sim
