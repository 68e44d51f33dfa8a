// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Measurements.h"

#include "measure/Delineation.h"
#include "measure/QrsDetector.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure {

using namespace detail;

namespace {

LeadSet allLeads() {
    LeadSet all;
    all.fill(true);
    return all;
}

std::optional<double> heartRateOf(const std::vector<std::int64_t>& beats) {
    if (beats.size() < 2)
        return std::nullopt;
    const double rr =
        static_cast<double>(beats.back() - beats.front()) / static_cast<double>(beats.size() - 1);
    if (rr <= 0)
        return std::nullopt;
    return 60.0 * signal::kRecordsPerSecond / rr;
}

} // namespace

std::optional<double> heartRate(const std::vector<std::int64_t>& beats) {
    return heartRateOf(beats);
}

Measurements measureSpan(const signal::SampleRecord* records, std::size_t count, std::size_t from,
                         std::size_t length, const LeadSet* present, MedianBeat* median,
                         const std::vector<std::int64_t>* only) {
    Measurements m;
    if (from >= count)
        return m;
    length = std::min(length, count - from);
    const std::size_t end = from + length;
    // A second either side settles the detector's filters and levels.
    const std::size_t margin = signal::kRecordsPerSecond;
    const std::size_t first = from > margin ? from - margin : 0;
    const std::size_t last = std::min(count, end + margin);
    const SignalQuality quality =
        signalQuality(records + first, last - first, 0, SIZE_MAX, present);
    std::vector<std::int64_t> all = detectBeats(records + first, last - first, quality);
    LeadSet usable = present ? *present : allLeads();
    for (std::size_t l = 0; l < kLeadCount; ++l) {
        m.quality[l] = quality.leads[l];
        usable[l] = usable[l] && quality.leads[l].usable();
    }
    for (const auto& [a, b] : quality.unreadable) {
        const std::int64_t lo = std::max<std::int64_t>(a + static_cast<std::int64_t>(first),
                                                       static_cast<std::int64_t>(from));
        const std::int64_t hi = std::min<std::int64_t>(b + static_cast<std::int64_t>(first),
                                                       static_cast<std::int64_t>(end));
        if (lo < hi)
            m.noise.emplace_back(lo, hi);
    }
    std::vector<std::int64_t> inSpan;
    for (std::int64_t& b : all) {
        b += static_cast<std::int64_t>(first);
        if (b >= static_cast<std::int64_t>(from) && b < static_cast<std::int64_t>(end))
            inSpan.push_back(b);
    }
    m.beats = inSpan;
    m.heartRateBpm = heartRateOf(inSpan);
    if (m.heartRateBpm)
        m.rrMs = 60000.0 / *m.heartRateBpm;

    // The median beat draws on the span's beats; the beats either side only add baseline knots.
    std::vector<std::int64_t> local;
    const std::int64_t near = signal::kRecordsPerSecond * 150 / 1000;
    for (std::int64_t b : all)
        if (!only || std::any_of(only->begin(), only->end(),
                                 [&](std::int64_t o) { return std::abs(o - b) <= near; }))
            local.push_back(b - static_cast<std::int64_t>(first));
    // An independent lead the recording carries but that is off or noisy takes no part in
    // building the median beat (one that is absent carries a copy of the others, as derived, and
    // keeps its part), unless no lead is left.
    const LeadSet carried = present ? *present : allLeads();
    Eight weight{};
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        const auto l = static_cast<std::size_t>(kIndependent[k]);
        weight[k] = carried[l] && !usable[l] ? 0.0f : 1.0f;
    }
    // Where I and II are carried but neither can be read and III can (the right arm's electrode
    // off: every other lead takes in the right arm), the beats are aligned and timed on III: in
    // a copy of the span, II's channel is set to twice III's, so that I formed from it is III
    // (and III, formed from the two, is itself).
    const signal::SampleRecord* span = records + first;
    std::vector<signal::SampleRecord> iiiAsI;
    if (carried[signal::StandardLeadI] && carried[signal::StandardLeadII] && iiiAlone(usable)) {
        iiiAsI.assign(records + first, records + last);
        for (signal::SampleRecord& r : iiiAsI)
            r.c[1] = static_cast<std::int16_t>(std::clamp(2 * r.c[0], -32767, 32767));
        span = iiiAsI.data();
        weight.fill(0.0f);
        weight[0] = 1.0f;
    }
    if (std::all_of(weight.begin(), weight.end(), [](float w) { return w == 0.0f; }))
        weight.fill(1.0f);
    const MedianBeat beat =
        medianBeatWithin(span, last - first, weight, local, static_cast<std::int64_t>(from - first),
                         static_cast<std::int64_t>(end - first));
    m.beatsInMedian = beat.beats;
    if (!beat.empty()) {
        // Nor in its measurement: an off lead's median would stand in the P's and T's magnitude
        // with its PR level as a constant.
        MedianBeat measured = beat;
        for (std::size_t k = 0; k < kIndependentCount; ++k)
            if (weight[k] == 0.0f)
                std::fill(measured.mv[static_cast<std::size_t>(kIndependent[k])].begin(),
                          measured.mv[static_cast<std::size_t>(kIndependent[k])].end(), 0.0f);
        measureBeat(measured, m.rrMs, usable, m);
    }
    // One lead alone whose median beat shows no QRS: what the detector found on it may be its T
    // or P waves (a QRS near isoelectric in that lead, a rate that jumps from beat to beat), so
    // no rate is given either.
    if (timingLeadCount(usable) <= 1 && !m.qrsMs) {
        m.heartRateBpm.reset();
        m.rrMs.reset();
    }
    // The frontal axes come from I and aVF. A recording that lacks either has at most one limb
    // lead, and what stands in for the other is a flat channel or an echo of that one lead; one
    // whose I or aVF is off or noisy has it unmeasured: no axis then.
    if (!usable[signal::StandardLeadI] || !usable[signal::StandardLeadAVF]) {
        m.pAxisDeg.reset();
        m.qrsAxisDeg.reset();
        m.tAxisDeg.reset();
    }
    if (median)
        *median = beat;
    return m;
}

} // namespace velkard::measure
