// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/QrsBounds.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure::detail {

std::vector<float> spatialVelocity(const Leads8& m) {
    const std::size_t n = m[0].size();
    std::vector<float> sv(n, 0.0f);
    if (n < 9)
        return sv;
    Leads8 smoothed;
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        smoothed[k].assign(n, 0.0f);
        for (std::size_t t = 2; t + 2 < n; ++t)
            smoothed[k][t] =
                (m[k][t - 2] + m[k][t - 1] + m[k][t] + m[k][t + 1] + m[k][t + 2]) / 5.0f;
    }
    for (std::size_t t = 4; t + 4 < n; ++t) {
        float s = 0;
        for (const auto& lead : smoothed)
            s += std::abs(lead[t + 2] - lead[t - 2]);
        sv[t] = s;
    }
    return sv;
}

std::optional<QrsBounds> findQrs(const std::vector<float>& sv, int fiducial, int before, int after,
                                 const std::vector<int>& spikes, int leads) {
    const int n = static_cast<int>(sv.size());
    const int lo = std::max(4, fiducial - before), hi = std::min(n - 5, fiducial + after);
    int peak = lo;
    for (int t = lo; t <= hi; ++t)
        if (sv[static_cast<std::size_t>(t)] > sv[static_cast<std::size_t>(peak)])
            peak = t;
    // The quietest fifth of the beat tells the noise.
    std::vector<float> sorted(sv.begin() + 4, sv.end() - 4);
    const auto fifth = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 5);
    std::nth_element(sorted.begin(), fifth, sorted.end());
    // Noise in one lead's slope alone spreads far wider about its quietest fifth than in a sum
    // over leads: 3.5 times that fifth, which white noise in two leads exceeds 7 % of the time
    // (in eight, never), it exceeds 38 % of the time, and the quiet runs that end the QRS are
    // broken by noise; 7 times it is exceeded as often as 3.5 times is in two.
    const float factor = leads <= 1 ? 7.0f : 3.5f;
    const float th = std::max(0.04f * sv[static_cast<std::size_t>(peak)], factor * *fifth);
    if (sv[static_cast<std::size_t>(peak)] <= th)
        return std::nullopt;
    constexpr int kQuiet = 8;
    constexpr int kSpreadCorrection = 2;
    // From `from` by `step` until the velocity has stayed below the threshold for 10 ms: the
    // sample past that quiet run, or none where the beat ends first.
    const auto quietFrom = [&](int from, int step) -> std::optional<int> {
        int run = 0, t = from;
        for (; t >= 4 && t < n - 4 && run < kQuiet; t += step)
            run = sv[static_cast<std::size_t>(t)] < th ? run + 1 : 0;
        return run < kQuiet ? std::nullopt : std::optional(t);
    };
    // A wide QRS whose leads turn at once (a broad R peak, a notch) slows below a threshold the
    // noise has raised for 10 ms and more: where the velocity climbs to twice the threshold again
    // within 30 ms, the complex goes on; back no further than the span searched, and never back
    // across a pacing spike (from 15 ms before it to 20 ms after): what comes before a paced QRS
    // is no part of it.
    constexpr int kBridge = 24, kSpikeBefore = 12, kPastSpike = 16;
    const auto activeWithin = [&](int from, int step) {
        const int quietEnd = from + kQuiet + kPastSpike;
        for (int i = from, k = 0; k < kBridge && i >= lo && i < n - 4; i += step, ++k) {
            if (step < 0 && std::any_of(spikes.begin(), spikes.end(), [&](int s) {
                    return i - kSpikeBefore <= s && s <= quietEnd;
                }))
                return -1;
            if (sv[static_cast<std::size_t>(i)] >= 2 * th)
                return i;
        }
        return -1;
    };
    // The quiet run that ends the complex from its peak on, by `step`.
    const auto edge = [&](int step) {
        std::optional<int> t = quietFrom(peak, step);
        for (int again; t && (again = activeWithin(*t, step)) >= 0;)
            t = quietFrom(again, step);
        return t;
    };
    const std::optional<int> quietBefore = edge(-1), quietAfter = edge(1);
    if (!quietBefore || !quietAfter)
        return std::nullopt;
    // The 5-sample mean and the 5 ms difference let the velocity rise up to 4 samples ahead of
    // the first change and fall up to 4 after the last; half of that is taken back.
    QrsBounds q;
    q.onset = *quietBefore + kQuiet + 1 + kSpreadCorrection;
    q.end = *quietAfter - kQuiet - kSpreadCorrection;
    if (q.end <= q.onset)
        return std::nullopt;
    return q;
}

} // namespace velkard::measure::detail
