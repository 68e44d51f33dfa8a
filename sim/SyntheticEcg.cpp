// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/SyntheticEcg.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velkard::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The plain generator's beats: the normal beat of BeatParameters' defaults at this rate, with a
// breath's baseline wander and a little noise on every lead.
EcgParameters plainParameters(double heartRate) {
    EcgParameters params;
    params.beat.heartRate = heartRate;
    params.noise.wanderMv = 0.08;
    params.noise.whiteMv = 0.008;
    return params;
}

} // namespace

signal::SampleRecord toChannels(const IndependentLeads& leads) {
    const std::int32_t leadIII = leads.leadII - leads.leadI;
    signal::SampleRecord r;
    r.c[0] = static_cast<std::int16_t>(leadIII);
    r.c[1] = static_cast<std::int16_t>(leads.leadII);
    const std::int32_t centre = (static_cast<std::int32_t>(r.c[1]) + r.c[0]) / 3;
    for (std::size_t k = 0; k < 6; ++k)
        r.c[k + 2] = static_cast<std::int16_t>(centre - leads.chest[k]);
    return r;
}

SyntheticEcg::SyntheticEcg(std::uint32_t seed, double heartRate)
    : SyntheticEcg(seed, plainParameters(heartRate)) {}

std::int64_t PlacedBeat::centreRecord(const BeatParameters& params) const {
    const double qrs =
        kind == Kind::Ventricular ? ventricularBeat(params).qrsDuration : params.qrsMs / 1000.0;
    return std::llround((qrsOnset + qrs / 2) * signal::kRecordsPerSecond);
}

SyntheticEcg::SyntheticEcg(std::uint32_t seed, const EcgParameters& params)
    : rng_(seed), heartRate_(params.beat.heartRate), params_(params),
      normal_(normalBeat(params.beat)), ventricular_(ventricularBeat(params.beat)) {
    std::uniform_real_distribution<double> phase(0.0, 2 * kPi);
    for (std::size_t k = 0; k < 8; ++k) {
        mainsPhase_[k] = phase(rng_);
        wanderPhases_[k] = phase(rng_);
    }
    // The first QRS comes late enough for its P wave to fit in.
    nextNormal_ = std::max(0.3, params.beat.prMs / 1000.0 + 0.05);
}

void SyntheticEcg::scheduleParametricBeats(double upTo) {
    const BeatParameters& p = params_.beat;
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double base = 60.0 / p.heartRate;
    auto place = [this](double onset, PlacedBeat::Kind kind) {
        placed_.push_back({onset, kind});
        if (keepLog_)
            log_.push_back({onset, kind});
    };
    while (placed_.empty() || placed_.back().qrsOnset < upTo) {
        const double rr = base * (1.0 + p.irregularity * (2.0 * unit(rng_) - 1.0));
        const double choice = unit(rng_);
        if (placed_.empty()) {
            place(nextNormal_, PlacedBeat::Kind::Normal);
            lastKind_ = PlacedBeat::Kind::Normal;
            continue;
        }
        const double last = placed_.back().qrsOnset;
        if (lastKind_ == PlacedBeat::Kind::Normal && choice < p.ventricularPremature) {
            // A ventricular premature beat and the full compensatory pause after it.
            place(last + p.coupling * base, PlacedBeat::Kind::Ventricular);
            place(last + 2.0 * rr, PlacedBeat::Kind::Normal);
            lastKind_ = PlacedBeat::Kind::Normal;
        } else if (lastKind_ == PlacedBeat::Kind::Normal &&
                   choice < p.ventricularPremature + p.supraventricularPremature) {
            // An early beat of normal shape resets the rhythm.
            place(last + p.coupling * base, PlacedBeat::Kind::Supraventricular);
            lastKind_ = PlacedBeat::Kind::Supraventricular;
        } else {
            place(last + rr, PlacedBeat::Kind::Normal);
            lastKind_ = PlacedBeat::Kind::Normal;
        }
    }
}

IndependentLeads SyntheticEcg::nextLeads() {
    const double t = static_cast<double>(sample_++) / signal::kRecordsPerSecond;
    scheduleParametricBeats(t + 1.0);
    while (!placed_.empty() && placed_.front().qrsOnset < t - 1.5)
        placed_.pop_front();

    std::array<double, 8> mv{};
    for (const PlacedBeat& beat : placed_) {
        const BeatShape& shape =
            beat.kind == PlacedBeat::Kind::Ventricular ? ventricular_ : normal_;
        const double dt = t - beat.qrsOnset;
        if (dt < shape.start() || dt > shape.end())
            continue;
        for (int lead = 0; lead < 8; ++lead)
            mv[static_cast<std::size_t>(lead)] += shape.value(lead, dt);
    }
    const NoiseParameters& n = params_.noise;
    for (std::size_t lead = 0; lead < 8; ++lead) {
        if (n.mainsHz > 0)
            mv[lead] += n.mainsMv * std::sin(2 * kPi * n.mainsHz * t + mainsPhase_[lead]);
        if (n.wanderMv > 0)
            mv[lead] += n.wanderMv * (0.7 * std::sin(2 * kPi * 0.3 * t + wanderPhases_[lead]) +
                                      0.3 * std::sin(2 * kPi * 0.13 * t + 2 * wanderPhases_[lead]));
        if (n.whiteMv > 0)
            mv[lead] += n.whiteMv * noise_(rng_);
    }
    auto toUnits = [](double value) {
        return static_cast<std::int32_t>(
            std::clamp(std::lround(value * signal::kUnitsPerMillivolt), -20000L, 20000L));
    };
    IndependentLeads out;
    out.leadI = toUnits(mv[0]);
    out.leadII = toUnits(mv[1]);
    for (std::size_t k = 0; k < 6; ++k)
        out.chest[k] = toUnits(mv[k + 2]);
    return out;
}

signal::SampleRecord SyntheticEcg::next() {
    signal::SampleRecord r = toChannels(nextLeads());
    const double t = static_cast<double>(sample_ - 1) / signal::kRecordsPerSecond;
    const NoiseParameters& n = params_.noise;
    if (n.leftArmOffS >= 0 && t >= n.leftArmOffS)
        r.c[0] = std::numeric_limits<std::int16_t>::max();
    if (n.rightArmOffS >= 0 && t >= n.rightArmOffS)
        r.c[1] = std::numeric_limits<std::int16_t>::max();
    return r;
}

std::vector<signal::SampleRecord> SyntheticEcg::records(std::uint32_t seed, std::size_t n) {
    SyntheticEcg ecg(seed);
    std::vector<signal::SampleRecord> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(ecg.next());
    return out;
}

std::vector<signal::SampleRecord> SyntheticEcg::records(std::uint32_t seed,
                                                        const EcgParameters& params, std::size_t n,
                                                        std::vector<PlacedBeat>* placed) {
    SyntheticEcg ecg(seed, params);
    ecg.keepBeatLog(placed != nullptr);
    std::vector<signal::SampleRecord> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(ecg.next());
    if (placed) {
        const double end = static_cast<double>(n) / signal::kRecordsPerSecond;
        placed->clear();
        for (const PlacedBeat& b : ecg.beatLog())
            if (b.qrsOnset < end)
                placed->push_back(b);
    }
    return out;
}

} // namespace velkard::sim
