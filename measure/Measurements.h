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

#include "measure/MeasuredValues.h"
#include "measure/MedianBeat.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velkard::measure {

// Measures records [from, from + length) of a recording of count records (length is clipped to
// the recording). Samples just outside the span settle the filters; the beats listed are those
// in the span, counted from the recording's first record. present, when given, names the leads
// that carry a signal: the others take no part and their per-lead values are null.
// median, when given, receives the median beat the measurements were made on. only, when given,
// lists the beats (record indices) the median beat is to be made of: a detected beat takes part
// only within 150 ms of one of them (a reader's chosen beats, an annotated set); the heart rate
// stays that of every beat of the span.
Measurements measureSpan(const signal::SampleRecord* records, std::size_t count,
                         std::size_t from = 0, std::size_t length = SIZE_MAX,
                         const LeadSet* present = nullptr, MedianBeat* median = nullptr,
                         const std::vector<std::int64_t>* only = nullptr);

// Heart rate in beats per minute from the mean interval of these beats (record indices);
// nullopt with fewer than two.
std::optional<double> heartRate(const std::vector<std::int64_t>& beats);

} // namespace velkard::measure
