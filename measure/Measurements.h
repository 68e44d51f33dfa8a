// SPDX-License-Identifier: GPL-3.0-or-later
// Global measurements of a span of a recording, from its median beat.
//
// Beats come from the QRS detector. Beats whose QRS matches the dominant shape (correlation with
// the median QRS of all beats) are aligned on it and cut out; each cut has the baseline wander
// taken off (a smooth curve through the PR segment of every dominant beat) and mains interference
// notched out (50 and 60 Hz, forward and backward, so nothing shifts in time). The sample-wise
// median of the cuts is the median beat. On it, over all leads together: QRS onset and end where
// the spatial velocity rises above and falls back below a threshold; P onset, P end and T end by
// the tangent at the steepest slope of the spatial magnitude; frontal axes from the net areas in
// I and aVF; R height and S depth of every lead against the PR segment.
#pragma once

#include "measure/SignalQuality.h"
#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velkard::measure {

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

// Where the fiducial point lies in the median beat measureSpan() measures on (samples).
inline constexpr int kMedianFiducial = 400;

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

// Measures records [from, from + length) of a recording of count records (length is clipped to
// the recording). Samples just outside the span settle the filters; the beats listed are those
// in the span, counted from the recording's first record. present, when given, names the leads
// that carry a signal: the others take no part and their per-lead values are null.
// median, when given, receives the median beat the measurements were made on. only, when given,
// lists the beats (record indices) the median beat is to be made of: a detected beat takes part
// only within 150 ms of one of them (a reader's chosen beats, an annotated set); the heart rate
// stays that of every beat of the span.
using LeadSet = std::array<bool, signal::kLeadCount>;
Measurements measureSpan(const signal::SampleRecord* records, std::size_t count,
                         std::size_t from = 0, std::size_t length = SIZE_MAX,
                         const LeadSet* present = nullptr, MedianBeat* median = nullptr,
                         const std::vector<std::int64_t>* only = nullptr);

// Heart rate in beats per minute from the mean interval of these beats (record indices);
// nullopt with fewer than two.
std::optional<double> heartRate(const std::vector<std::int64_t>& beats);

// The median beat of the dominant beats among `beats` (at most 240 of them, evenly spread).
MedianBeat medianBeat(const signal::SampleRecord* records, std::size_t count,
                      const std::vector<std::int64_t>& beats);

} // namespace velkard::measure
