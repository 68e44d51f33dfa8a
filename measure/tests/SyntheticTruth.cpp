// SPDX-License-Identifier: GPL-3.0-or-later
#include "SyntheticTruth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velkard::measure::test {

Synthetic makeRecording(const sim::EcgParameters& params, double seconds, std::uint32_t seed) {
    Synthetic s;
    s.params = params;
    s.records = sim::SyntheticEcg::records(
        seed, params, static_cast<std::size_t>(seconds * signal::kRecordsPerSecond), &s.placed);
    return s;
}

TrueAmplitudes trueAmplitudes(const sim::BeatParameters& params) {
    const sim::BeatShape beat = sim::normalBeat(params);
    const int samples = static_cast<int>(std::ceil(beat.qrsDuration * signal::kRecordsPerSecond));
    std::array<std::vector<double>, signal::kLeadCount> lead;
    for (int k = 0; k <= samples; ++k) {
        const double t = static_cast<double>(k) / signal::kRecordsPerSecond;
        const double i = beat.value(0, t), ii = beat.value(1, t);
        lead[signal::StandardLeadI].push_back(i);
        lead[signal::StandardLeadII].push_back(ii);
        lead[signal::StandardLeadIII].push_back(ii - i);
        lead[signal::StandardLeadAVR].push_back(-(i + ii) / 2);
        lead[signal::StandardLeadAVL].push_back(i - ii / 2);
        lead[signal::StandardLeadAVF].push_back(ii - i / 2);
        for (int v = 0; v < 6; ++v)
            lead[static_cast<std::size_t>(signal::StandardLeadV1 + v)].push_back(
                beat.value(2 + v, t));
    }
    TrueAmplitudes out;
    for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
        const auto& x = lead[l];
        // R: the highest point before the S (the deepest point after the first R), or of the
        // whole QRS where nothing after the first R falls below the baseline.
        auto firstR = std::find_if(x.begin(), x.end(), [](double v) { return v > 0.05; });
        auto sAt = firstR == x.end() ? x.end() : std::min_element(firstR, x.end());
        if (sAt == x.end() || *sAt > -0.03)
            sAt = x.end();
        out.r[l] = std::max(0.0, *std::max_element(x.begin(), sAt));
        auto sDepth = [&x](double rThreshold) {
            auto firstR =
                std::find_if(x.begin(), x.end(), [&](double v) { return v > rThreshold; });
            if (firstR == x.end())
                firstR = x.begin();
            return std::max(0.0, -*std::min_element(firstR, x.end()));
        };
        out.s[l] = sDepth(0.05);
        out.sClear[l] = std::abs(sDepth(0.03) - sDepth(0.08)) < 0.01;
    }
    return out;
}

std::vector<std::int64_t> trueBeats(const Synthetic& s, std::int64_t from, std::int64_t to) {
    std::vector<std::int64_t> out;
    for (const auto& b : s.placed) {
        const std::int64_t c = b.centreRecord(s.params.beat);
        if (c >= from && c < to)
            out.push_back(c);
    }
    return out;
}

double trueRrMs(const Synthetic& s, std::int64_t from, std::int64_t to) {
    std::vector<double> onsets;
    for (const auto& b : s.placed) {
        const std::int64_t c = b.centreRecord(s.params.beat);
        if (c >= from && c < to)
            onsets.push_back(b.qrsOnset);
    }
    return (onsets.back() - onsets.front()) / static_cast<double>(onsets.size() - 1) * 1000.0;
}

Matching match(const std::vector<std::int64_t>& truth, const std::vector<std::int64_t>& found) {
    constexpr std::int64_t kTolerance = signal::kRecordsPerSecond * 150 / 1000;
    Matching m;
    std::vector<bool> used(found.size(), false);
    for (std::int64_t t : truth) {
        std::ptrdiff_t best = -1;
        for (std::size_t i = 0; i < found.size(); ++i)
            if (!used[i] && std::llabs(found[i] - t) <= kTolerance &&
                (best < 0 ||
                 std::llabs(found[i] - t) < std::llabs(found[static_cast<std::size_t>(best)] - t)))
                best = static_cast<std::ptrdiff_t>(i);
        if (best >= 0) {
            used[static_cast<std::size_t>(best)] = true;
            ++m.truePositive;
        } else {
            ++m.falseNegative;
        }
    }
    m.falsePositive = static_cast<int>(std::count(used.begin(), used.end(), false));
    return m;
}

double angleDifference(double a, double b) {
    double d = std::fmod(a - b + 540.0, 360.0) - 180.0;
    return d;
}

} // namespace velkard::measure::test
