// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Delineation.h"

#include "measure/QrsBounds.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure::detail {

namespace {

// Slope of one lead: the change over 5 ms of a 5-sample mean, as in the spatial velocity.
std::vector<float> leadSlope(const std::vector<float>& x) {
    const std::size_t n = x.size();
    std::vector<float> mean(n, 0.0f), slope(n, 0.0f);
    for (std::size_t t = 2; t + 2 < n; ++t)
        mean[t] = (x[t - 2] + x[t - 1] + x[t] + x[t + 1] + x[t + 2]) / 5.0f;
    for (std::size_t t = 4; t + 4 < n; ++t)
        slope[t] = std::abs(mean[t + 2] - mean[t - 2]);
    return slope;
}

// The QRS onset and end refined lead by lead. In the spatial velocity a slow start or a small
// terminal wave of a few leads drowns in the noise of all eight; each lead is judged against
// its own peak slope and its own noise instead. Only clear leads (a peak slope well above their
// noise) take part; each lead's onset and end lie where its slope has stayed below its threshold
// for 10 ms, searched at most kReach beyond the spatial bounds. As the cardiologists mark them,
// the onset is the second earliest over the leads and the end the second latest (with fewer
// than six clear leads, the earliest and the latest); the spatial bounds are never narrowed.
QrsBounds refineQrs(const std::array<std::vector<float>, kLeadCount>& mv, const LeadSet& present,
                    QrsBounds q,
                    std::array<std::optional<QrsBounds>, kLeadCount>* perLead = nullptr) {
    // Threshold: a 25th of the lead's peak slope (lower, the ringing of the mains notches around
    // a steep QRS counts as QRS), or three SDs of its noise (the quietest fifth of a noise
    // slope's magnitude is about a quarter of its SD). A lead is clear when its peak slope is
    // five such SDs.
    constexpr float kFraction = 0.04f, kNoise = 12.0f, kClear = 20.0f;
    constexpr int kReach = 32; // 40 ms
    constexpr int kQuiet = 8, kSpreadCorrection = 2, kFootSpread = 3;
    constexpr float kFootNoise = 4.0f;
    std::vector<int> onsets, ends;
    for (std::size_t l = 0; l < kLeadCount; ++l) {
        if (!present[l] || mv[l].size() < 16)
            continue;
        const std::vector<float> slope = leadSlope(mv[l]);
        const int n = static_cast<int>(slope.size());
        float peak = 0;
        for (int t = q.onset; t <= q.end; ++t)
            peak = std::max(peak, slope[static_cast<std::size_t>(t)]);
        std::vector<float> sorted(slope.begin() + 4, slope.end() - 4);
        const auto fifth = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 5);
        std::nth_element(sorted.begin(), fifth, sorted.end());
        const float noise = *fifth;
        if (peak <= kClear * noise)
            continue;
        const float th = std::max(kFraction * peak, kNoise * noise);
        const int lo = std::max(4, q.onset - kReach), hi = std::min(n - 5, q.end + kReach);
        // The lead's first and last sample above its threshold within the spatial bounds.
        int first = -1, last = -1;
        for (int t = q.onset; t <= q.end; ++t)
            if (slope[static_cast<std::size_t>(t)] >= th) {
                if (first < 0)
                    first = t;
                last = t;
            }
        if (first < 0)
            continue;
        int run = 0, t = first;
        for (; t >= lo && run < kQuiet; --t)
            run = slope[static_cast<std::size_t>(t)] < th ? run + 1 : 0;
        if (run < kQuiet)
            continue; // still moving at the edge of the reach: not a clear onset in this lead
        // The threshold crossing lies within the onset's rise; the onset is where that rise
        // began: back along it while the slope keeps falling above four times the lead's
        // quietest fifth (out of the noise) and above half the threshold (below it, the mains
        // notches' ringing before a steep QRS would lead it on), and no further than the rise
        // extended straight back from its first and second threshold crossing. The slope's
        // 5-sample mean and 5-ms difference put that foot about 3 samples before the change; the
        // straight line back, which the symmetric smoothing does not shift, needs no such
        // correction.
        const auto at = [&](int i) { return slope[static_cast<std::size_t>(i)]; };
        // From `from` by `step` while the slope stays below twice the threshold, up to `limit`.
        const auto belowTwice = [&](int from, int step, int limit) {
            while (step * (limit - from) > 0 && at(from) < 2 * th)
                from += step;
            return from;
        };
        // From `from` by `step` along the slope while it keeps falling out of the noise.
        const float floor = std::max(kFootNoise * noise, 0.5f * th);
        const auto downTheSlope = [&](int from, int step, int limit) {
            int i = from;
            while (step * (limit - i) > 0 && std::abs(i - from) < kReach && at(i + step) < at(i) &&
                   at(i + step) > floor)
                i += step;
            return i;
        };
        const int cross = t + kQuiet + 1;
        const int twice = belowTwice(cross, 1, q.end);
        const int foot = downTheSlope(cross, -1, lo);
        const int onset = std::min(std::max(foot + kFootSpread, cross - (twice - cross)),
                                   cross + kSpreadCorrection);
        run = 0;
        for (t = last; t <= hi && run < kQuiet; ++t)
            run = slope[static_cast<std::size_t>(t)] < th ? run + 1 : 0;
        if (run < kQuiet)
            continue;
        // The end mirrors the onset: from the last sample above the threshold on along the
        // falling slope (its tail 3 samples after the change) and no further than the fall
        // extended straight on from its last crossings of twice and once the threshold.
        const int lastAbove = t - kQuiet - 1;
        const int twiceEnd = belowTwice(lastAbove, -1, q.onset);
        const int tail = downTheSlope(lastAbove, 1, hi);
        const int endAt = std::max(std::min(tail - kFootSpread, lastAbove + (lastAbove - twiceEnd)),
                                   lastAbove - kSpreadCorrection + 1);
        // A slope above the threshold for a moment only (a spike) gives bounds that cross: no
        // QRS of this lead's own.
        if (endAt <= onset)
            continue;
        onsets.push_back(onset);
        ends.push_back(endAt);
        if (perLead)
            (*perLead)[l] = QrsBounds{onsets.back(), ends.back()};
    }
    if (onsets.empty())
        return q;
    std::sort(onsets.begin(), onsets.end());
    std::sort(ends.begin(), ends.end(), std::greater<>());
    const std::size_t k = onsets.size() >= 6 ? 1 : 0;
    q.onset = std::min(q.onset, onsets[k]);
    q.end = std::max(q.end, ends[k]);
    return q;
}

Leads8 independentOf(const MedianBeat& beat) {
    Leads8 m;
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        m[k] = beat.mv[static_cast<std::size_t>(kIndependent[k])];
    return m;
}

// ---- Measurements on the median beat -----------------------------------------------------

std::vector<float> smooth(const std::vector<float>& x, int half) {
    const int n = static_cast<int>(x.size());
    std::vector<float> out(x.size());
    for (int t = 0; t < n; ++t) {
        double s = 0;
        int c = 0;
        for (int k = std::max(0, t - half); k <= std::min(n - 1, t + half); ++k, ++c)
            s += x[static_cast<std::size_t>(k)];
        out[static_cast<std::size_t>(t)] = static_cast<float>(s / c);
    }
    return out;
}

// Where the tangent at the steepest slope of x within [from, to] meets the level `base`;
// rising: the steepest rise, otherwise the steepest fall.
std::optional<double> tangentCrossing(const std::vector<float>& x, int from, int to, bool rising,
                                      float base) {
    const int n = static_cast<int>(x.size());
    from = std::max(from, 4);
    to = std::min(to, n - 5);
    int best = -1;
    double bestSlope = 0;
    for (int t = from; t <= to; ++t) {
        const double slope =
            (x[static_cast<std::size_t>(t + 4)] - x[static_cast<std::size_t>(t - 4)]) / 8.0;
        if ((rising && slope > bestSlope) || (!rising && slope < bestSlope)) {
            bestSlope = slope;
            best = t;
        }
    }
    if (best < 0)
        return std::nullopt;
    return best + (base - x[static_cast<std::size_t>(best)]) / bestSlope;
}

// A wave's bound by the trapezium area. For its end (end = true): with m the point of its
// steepest descent within [lo, hi] and r = hi a reference point beyond the end, the point e in
// [m, r] that maximises the area of the trapezium (m, x(m)), (e, x(e)), (r, x(e)), (r, x(m)),
// (x(m) - x(e)) |2r - m - e| / 2. Unlike the tangent, it follows a slow tail down to where the
// wave has flattened, and it needs no baseline level. Its onset is the mirror: the steepest rise
// within [lo, hi], the reference point r = lo before the wave, e in [r, m].
std::optional<double> trapeziumBound(const std::vector<float>& x, int lo, int hi, bool end) {
    const int n = static_cast<int>(x.size());
    lo = std::max(lo, 4);
    hi = std::min(hi, n - 5);
    const double sign = end ? -1.0 : 1.0;
    int m = -1;
    double steepest = 0;
    for (int t = lo; t <= hi; ++t) {
        const double slope =
            sign * (x[static_cast<std::size_t>(t + 4)] - x[static_cast<std::size_t>(t - 4)]) / 8.0;
        if (slope > steepest) {
            steepest = slope;
            m = t;
        }
    }
    if (m < 0 || (end ? m >= hi : m <= lo))
        return std::nullopt;
    const int reference = end ? hi : lo;
    int best = m;
    double bestArea = 0;
    for (int e = end ? m : lo; e <= (end ? hi : m); ++e) {
        const double area = (x[static_cast<std::size_t>(m)] - x[static_cast<std::size_t>(e)]) *
                            std::abs(m + e - 2.0 * reference) / 2.0;
        if (area > bestArea) {
            bestArea = area;
            best = e;
        }
    }
    if (best == m)
        return std::nullopt;
    return static_cast<double>(best);
}

std::optional<double> trapeziumEnd(const std::vector<float>& x, int peak, int to) {
    return trapeziumBound(x, peak, to, true);
}

// The T end: by the trapezium area on the spatial magnitude, from its peak up to `to`. Where the
// leads cross their PR level while the T still descends (ST depression, a TP level above the
// PR), the magnitude folds back up there and that end lies on the descent; the end is then taken
// on the leads projected onto the T's direction at its peak, a signed signal that does not fold.
// The fold shows as a projection still falling at the magnitude's end, at over 0.3 of its
// steepest fall.
std::optional<double> tWaveEnd(const Leads8& m8, const std::array<float, kLeadCount>& base,
                               const std::vector<float>& magnitude, int peak, int to) {
    const auto end = trapeziumEnd(magnitude, peak, to);
    if (!end)
        return end;
    const int n = static_cast<int>(magnitude.size());
    std::array<double, kIndependentCount> direction{};
    double norm = 0;
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        double sum = 0;
        for (int t = std::max(0, peak - 8); t <= std::min(n - 1, peak + 8); ++t)
            sum += m8[k][static_cast<std::size_t>(t)] -
                   base[static_cast<std::size_t>(kIndependent[k])];
        direction[k] = sum;
        norm += sum * sum;
    }
    if (!(norm > 0))
        return end;
    norm = std::sqrt(norm);
    std::vector<float> projection(static_cast<std::size_t>(n));
    for (int t = 0; t < n; ++t) {
        double s = 0;
        for (std::size_t k = 0; k < kIndependentCount; ++k)
            s += direction[k] * (m8[k][static_cast<std::size_t>(t)] -
                                 base[static_cast<std::size_t>(kIndependent[k])]);
        projection[static_cast<std::size_t>(t)] = static_cast<float>(s / norm);
    }
    projection = smooth(projection, 3);
    const auto projected = trapeziumEnd(projection, peak, to);
    if (!projected || *projected <= *end)
        return end;
    const auto fall = [&](int t) {
        return (projection[static_cast<std::size_t>(t - 4)] -
                projection[static_cast<std::size_t>(t + 4)]) /
               8.0;
    };
    double steepest = 0;
    for (int t = std::max(peak, 4); t <= std::min(static_cast<int>(*projected), n - 5); ++t)
        steepest = std::max(steepest, fall(t));
    const int e = static_cast<int>(std::lround(*end));
    return e >= 4 && e + 4 < n && fall(e) > 0.3 * steepest ? projected : end;
}

// The onset of a wave rising to its peak, with the reference point `from` before the wave.
std::optional<double> trapeziumOnset(const std::vector<float>& x, int from, int peak) {
    return trapeziumBound(x, from, peak, false);
}

double axisOf(const MedianBeat& beat, const std::array<float, kLeadCount>& base, int from, int to) {
    const int n = static_cast<int>(beat.mv[signal::StandardLeadI].size());
    from = std::max(from, 0);
    to = std::min(to, n - 1);
    double i = 0, avf = 0;
    for (int t = from; t <= to; ++t) {
        i += beat.mv[signal::StandardLeadI][static_cast<std::size_t>(t)] -
             base[signal::StandardLeadI];
        avf += beat.mv[signal::StandardLeadAVF][static_cast<std::size_t>(t)] -
               base[signal::StandardLeadAVF];
    }
    double deg = std::atan2(2.0 / std::sqrt(3.0) * avf, i) * 180.0 / kPi;
    if (deg <= -180.0)
        deg += 360.0;
    return deg;
}

// The baseline of a beat: the 10 samples of the PR segment that end 7.5 ms before the QRS.
constexpr int kBaseFrom = 16, kBaseTo = 6;

// Physiological bounds: a value outside them is not something a heart does, so it is not
// measured (ms).
constexpr double kPMinMs = 40, kPMaxMs = 180;
constexpr double kPrMinMs = 70, kPrMaxMs = 420;
constexpr double kQrsMinMs = 40, kQrsMaxMs = 220;
constexpr double kQtMinMs = 200, kQtMaxMs = 680;
constexpr double kQtcMinMs = 300, kQtcMaxMs = 650;
// A lead whose median beat still carries this much noise (mV) where the P lies takes no part in
// finding the P: a P stands no higher than that a few ms from its ends.
constexpr float kPNoiseMv = 0.02f;
// A P found against a baseline drawn from the TP level must follow a level TP segment this long
// (ms): where the window opens on the T's tail, that line runs under the tail.
constexpr double kTpMinMs = 40;
// A T end where the leads still stand this share of the T peak's distance from their PR level
// is no end that can be told from a moved baseline.
constexpr float kUnsureTEndShare = 0.6f;

int toIndex(double ms) {
    return static_cast<int>(std::lround(ms / kMsPerRecord));
}

// Mean of x over [t - half, t + half], clipped to the beat.
float meanAround(const std::vector<float>& x, int t, int half) {
    const int n = static_cast<int>(x.size());
    double s = 0;
    int c = 0;
    for (int k = std::max(0, t - half); k <= std::min(n - 1, t + half); ++k, ++c)
        s += x[static_cast<std::size_t>(k)];
    return c ? static_cast<float>(s / c) : 0.0f;
}

// Q, R, S and R' of one lead over [on, end] against its baseline, from the deflections beyond
// +-kWave: a negative one that opens the QRS before the first R (beyond 0.05 mV) the Q, the
// deepest negative one after that R the S, the highest point before the S the R, the highest
// positive one after it the R'.
// Without an R the complex is a QS, a Q (and its depth the S too). An R notched without crossing
// the baseline (two peaks with a dip of at least 0.05 mV and a fifth of the lower peak between
// them) gives R' as its second peak. The Q's width counts from the lead's own onset where it
// has one (leadOnset).
void qrsWaves(const std::vector<float>& v, float base, int on, int end,
              std::optional<int> leadOnset, LeadAmplitudes& a) {
    constexpr float kWave = 0.03f;
    struct Deflection {
        int from, to;
        float extreme;
        bool positive;
    };
    std::vector<Deflection> d;
    int sign = 0;
    for (int t = on; t <= end; ++t) {
        const float x = v[static_cast<std::size_t>(t)] - base;
        const int s = x > kWave ? 1 : x < -kWave ? -1 : 0;
        if (s == 0)
            continue;
        if (s != sign) {
            d.push_back({t, t, x, s > 0});
            sign = s;
        }
        Deflection& cur = d.back();
        cur.to = t;
        if ((s > 0 && x > cur.extreme) || (s < 0 && x < cur.extreme))
            cur.extreme = x;
    }
    // A Q wave's width is measured in its own lead: from where that lead leaves its baseline
    // (never before the global onset, nor after the Q's own first sample beyond the threshold),
    // so an earlier onset in other leads does not widen it.
    const auto qFrom = [&](int latest) {
        return leadOnset ? std::clamp(*leadOnset, on, std::max(on, latest)) : on;
    };
    a.qMs = 0.0;
    a.qMv = 0.0;
    a.rMv = 0.0;
    a.sMv = 0.0;
    a.r2Mv = 0.0;
    // The first R: the first positive deflection beyond 0.05 mV.
    std::size_t r = d.size();
    for (std::size_t k = 0; k < d.size() && r == d.size(); ++k)
        if (d[k].positive && d[k].extreme > 0.05f)
            r = k;
    if (r == d.size()) {
        // No R: a QS complex, all of it a Q.
        float low = 0;
        int last = on, first = -1;
        for (int t = on; t <= end; ++t) {
            const float x = v[static_cast<std::size_t>(t)] - base;
            low = std::min(low, x);
            if (x < 0)
                last = t;
            if (x < -kWave && first < 0)
                first = t;
        }
        if (low < -kWave) {
            a.qMv = -low;
            a.qMs = (last - qFrom(first) + 1) * kMsPerRecord;
        }
        // The S of a QS complex is the same wave (its depth as before any Q was reported).
        a.sMv = -low;
        return;
    }
    if (r >= 1 && !d[0].positive) {
        // Q: from the onset to where the signal comes back up through the baseline.
        int back = d[0].to;
        while (back < end && v[static_cast<std::size_t>(back)] - base < 0)
            ++back;
        a.qMs = (back - qFrom(d[0].from)) * kMsPerRecord;
        a.qMv = -d[0].extreme;
    }
    // S: the deepest negative deflection after the first R; R: the highest point before that S
    // (or of the whole complex without one); R': the highest positive deflection after it. An
    // rSR' is then r, S and R', not an R as tall as its R'.
    std::size_t sIndex = d.size();
    for (std::size_t k = r; k < d.size(); ++k)
        if (!d[k].positive && (sIndex == d.size() || d[k].extreme < d[sIndex].extreme))
            sIndex = k;
    for (std::size_t k = r; k < sIndex; ++k)
        if (d[k].positive)
            a.rMv = std::max(*a.rMv, static_cast<double>(d[k].extreme));
    if (sIndex < d.size()) {
        a.sMv = -d[sIndex].extreme;
        for (std::size_t k = sIndex + 1; k < d.size(); ++k)
            if (d[k].positive && d[k].extreme > 0.05f)
                a.r2Mv = std::max(*a.r2Mv, static_cast<double>(d[k].extreme));
    }
    if (*a.r2Mv > 0)
        return;
    // A notch within the R: two peaks with a dip between them.
    int firstPeak = -1;
    float dip = 0;
    for (int t = d[r].from + 1; t < d[r].to && d[r].extreme == *a.rMv; ++t) {
        const float x = v[static_cast<std::size_t>(t)] - base;
        const float prev = v[static_cast<std::size_t>(t - 1)] - base;
        const float next = v[static_cast<std::size_t>(t + 1)] - base;
        const bool isPeak = x >= prev && x > next;
        if (firstPeak < 0) {
            if (isPeak)
                firstPeak = t, dip = x;
            continue;
        }
        dip = std::min(dip, x);
        if (isPeak) {
            const float p1 = v[static_cast<std::size_t>(firstPeak)] - base;
            const float lower = std::min(p1, x);
            if (lower - dip >= std::max(0.05f, 0.2f * lower)) {
                a.r2Mv = x;
                return;
            }
            if (x > p1)
                firstPeak = t, dip = x;
        }
    }
}

// Pacing spikes bridged. A pacemaker's pulse lasts under 2 ms; with the recorder's filters and
// the resampling it spreads over a few samples, far narrower than any change a heart makes (the
// steepest QRS still takes some 10 ms to rise). Its slope would otherwise be the peak of the
// spatial velocity and take the QRS bounds with it. A spike: the summed absolute sample-to-sample
// change of the leads stays above half its peak for at most 4 ms, and nothing within 100 ms
// outside 6 ms of it comes within a third of that peak (as a mean over 5 ms), and the leads
// return at least halfway within 12 ms. Each lead is bridged by a straight line
// from where the change has fallen below a tenth of the peak before to where it has after.
// spikes receives where they were.
MedianBeat withoutPacingSpikes(const MedianBeat& in, const LeadSet& present,
                               std::vector<int>& spikes) {
    constexpr int kHalfWidth = 3; // samples above half the peak: 3.75 ms
    constexpr int kNear = 5;      // 6 ms either side belong to the spike
    constexpr int kAround = 80;   // 100 ms either side hold nothing as steep
    constexpr int kMaxBridge = 8; // a bridge reaches at most 10 ms either side
    constexpr int kMaxSpikes = 3; // atrial and ventricular spikes
    constexpr int kSpread = 4;    // 5 ms
    constexpr float kContrast = 3;
    constexpr int kReturn = 10; // 12.5 ms
    MedianBeat beat = in;
    const std::size_t n = beat.mv[signal::StandardLeadI].size();
    if (n < 2 * kAround)
        return beat;
    for (int found = 0; found < kMaxSpikes; ++found) {
        std::vector<float> d(n, 0.0f);
        for (std::size_t k = 0; k < kIndependentCount; ++k) {
            const auto l = static_cast<std::size_t>(kIndependent[k]);
            if (!present[l])
                continue;
            for (std::size_t t = 1; t < n; ++t)
                d[t] += std::abs(beat.mv[l][t] - beat.mv[l][t - 1]);
        }
        const int peak = static_cast<int>(std::max_element(d.begin(), d.end()) - d.begin());
        const float top = d[static_cast<std::size_t>(peak)];
        if (top <= 0)
            break;
        int above = 0;
        for (int t = std::max(0, peak - kNear);
             t <= std::min<int>(static_cast<int>(n) - 1, peak + kNear); ++t)
            above += d[static_cast<std::size_t>(t)] > top / 2;
        // What else is steep around it, as a mean over 5 ms: a QRS changes for longer than that.
        float rest = 0;
        for (int t = std::max(0, peak - kAround);
             t + kSpread <= std::min<int>(static_cast<int>(n), peak + kAround); ++t) {
            if (t + kSpread > peak - kNear && t <= peak + kNear)
                continue;
            float sum = 0;
            for (int k = 0; k < kSpread; ++k)
                sum += d[static_cast<std::size_t>(t + k)];
            rest = std::max(rest, sum / kSpread);
        }
        if (above > kHalfWidth || rest * kContrast > top)
            break;
        int from = peak - 1, to = peak;
        while (from > 0 && peak - from < kMaxBridge &&
               d[static_cast<std::size_t>(from)] >= top / 10)
            --from;
        while (to + 1 < static_cast<int>(n) && to - peak < kMaxBridge &&
               d[static_cast<std::size_t>(to)] >= top / 10)
            ++to;
        // d[t] is the change from t - 1 to t: samples from..to-1 stay, the ones between move.
        --to;
        if (from < 0 || to <= from + 1)
            break;
        // A stimulus returns: within 12 ms the leads are back at least halfway to where they
        // were before it (a heart's fast change, or a clipped R, goes on or stays).
        const int back = std::min(static_cast<int>(n) - 1, peak + kReturn);
        float jump = 0, left = 0;
        for (std::size_t k = 0; k < kIndependentCount; ++k) {
            const auto l = static_cast<std::size_t>(kIndependent[k]);
            if (!present[l])
                continue;
            const float base = beat.mv[l][static_cast<std::size_t>(from)];
            jump += std::abs(beat.mv[l][static_cast<std::size_t>(peak)] - base);
            left += std::abs(beat.mv[l][static_cast<std::size_t>(back)] - base);
        }
        if (left > jump / 2)
            break;
        spikes.push_back(peak);
        for (auto& lead : beat.mv) {
            if (lead.size() != n)
                continue;
            const float a = lead[static_cast<std::size_t>(from)],
                        b = lead[static_cast<std::size_t>(to)];
            for (int t = from + 1; t < to; ++t)
                lead[static_cast<std::size_t>(t)] =
                    a + (b - a) * static_cast<float>(t - from) / static_cast<float>(to - from);
        }
    }
    return beat;
}

} // namespace

// Whether III is the only limb lead of `present` (I and II absent from the file, or off).
bool iiiAlone(const LeadSet& present) {
    return !present[signal::StandardLeadI] && !present[signal::StandardLeadII] &&
           present[signal::StandardLeadIII];
}

// How many independent leads the waves are timed on: those of `present`, or III alone in I's
// place.
int timingLeadCount(const LeadSet& present) {
    int count = iiiAlone(present) ? 1 : 0;
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        count += present[static_cast<std::size_t>(kIndependent[k])];
    return count;
}

namespace {

// A beat whose only limb lead is III is timed on III: III takes I's place among the leads the
// waves are found on, though I is not measured. timing receives the leads that take part.
MedianBeat timedOn(const MedianBeat& raw, const LeadSet& present, LeadSet& timing) {
    timing = present;
    if (!iiiAlone(present))
        return raw;
    MedianBeat beat = raw;
    beat.mv[signal::StandardLeadI] = raw.mv[signal::StandardLeadIII];
    timing[signal::StandardLeadI] = true;
    return beat;
}

// The magnitude of the leads' distance from their baseline, for the P and T waves.
struct Magnitude {
    std::vector<float> smooth, light;
    float level = 0;   // in the PR segment
    float present = 0; // how far above that level a wave must rise to be one
};

using LeadMask = std::array<bool, kIndependentCount>;

// Whether the magnitude stays level over the kTpMinMs before `onset`, all of them after `from`
// (-1: no such condition).
bool quietUntil(const Magnitude& waves, int from, double onset) {
    if (from < 0)
        return true;
    if (onset - from < toIndex(kTpMinMs))
        return false;
    for (int t = static_cast<int>(onset) - toIndex(kTpMinMs); t < onset; ++t)
        if (std::abs(waves.smooth[static_cast<std::size_t>(t)] - waves.level) > waves.present / 2)
            return false;
    return true;
}

// One median beat measured into m, step by step: each step reads what those before it found.
struct BeatDelineation {
    BeatDelineation(const MedianBeat& median, std::optional<double> spanRrMs,
                    const LeadSet& present, Measurements& out);

    // The QRS onset and end by the spatial velocity of the leads that time the waves, refined
    // lead by lead; false where no QRS a heart has is found (nothing else is measured then).
    bool findQrsBounds();
    // Each present lead's baseline, Q, R, S, R', QRS area and ST, and the QRS axis.
    void measureLeadWaves();
    // Spatial magnitude against the baseline over the leads in `use`. P and T are slow waves:
    // their magnitude is smoothed over 21 ms for their peaks and slopes; the T end is found on a
    // magnitude smoothed over 9 ms only, which moves a sharp end less.
    // `from` and `level` (optional) move the baseline: from `from` on, each lead's baseline runs
    // in a line from its level there to its PR level.
    Magnitude magnitudeOver(const LeadMask& use, int from = -1,
                            const std::array<float, kIndependentCount>* level = nullptr) const;
    // The P is sought on the leads whose median still carries less noise where it lies than
    // kPNoiseMv, where three or more are left: a tremor of one arm stands in I and, through the
    // central terminal, in every chest lead, and what the median keeps of it bends the P.
    LeadMask pLeadsOf(const LeadMask& every) const;
    // The T peak and end on the magnitude of every lead, and QT.
    void findTEnd(const Magnitude& all);
    // The P within its window (below), against the PR level and then against the TP level.
    void findPWave(const Magnitude& waves);
    void findP(const Magnitude& waves, int quietFrom);
    // A P that rises from a TP level below or above the PR level (MIT-BIH 113's leads stand some
    // 0.07 mV lower between T and P than just before the QRS) crosses that level on its way up
    // and, against it, shows as two small humps or none. Where no P was found, it is sought against
    // a baseline that runs in a line from each lead's level at the window's start to its PR level;
    // then from the level just before the P found, until the onset stays put (within 5 ms), and
    // taken where the leads stood level over the kTpMinMs before it.
    void findPAgainstTp();
    // QT and QTc kept within what a heart does.
    void boundQt();
    // Each present lead's T amplitude, and the T axis.
    void measureT();

    const LeadSet& leadsPresent;
    std::optional<double> rrMs;
    Measurements& m;
    LeadSet timing{}; // the leads the waves are timed on
    MedianBeat raw;   // the median beat timed on them
    std::vector<int> spikes;
    MedianBeat beat; // and without its pacing spikes
    Leads8 m8;       // its independent leads, those that time no wave flat
    std::vector<float> sv;
    int n = 0;
    int timingLeads = 0;
    std::optional<QrsBounds> qrs;
    std::array<std::optional<QrsBounds>, kLeadCount> perLead{};
    std::array<float, kLeadCount> base{};
    double rr = 1000;
    int tFrom = 0, tEnd = -1;
    LeadMask pLeads{};
    int pFrom = 0, pTo = 0;
    std::optional<double> pOnset;
};

BeatDelineation::BeatDelineation(const MedianBeat& median, std::optional<double> spanRrMs,
                                 const LeadSet& present, Measurements& out)
    : leadsPresent(present), rrMs(spanRrMs), m(out), raw(timedOn(median, present, timing)),
      beat(withoutPacingSpikes(raw, timing, spikes)), m8(independentOf(beat)) {
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        if (!timing[static_cast<std::size_t>(kIndependent[k])])
            std::fill(m8[k].begin(), m8[k].end(), 0.0f);
    sv = spatialVelocity(m8);
    n = static_cast<int>(sv.size());
    timingLeads = timingLeadCount(leadsPresent);
    // RR of the median beat; without a rate, a slow one, so the windows below stay wide.
    rr = rrMs ? *rrMs : 1000.0;
}

bool BeatDelineation::findQrsBounds() {
    std::optional<QrsBounds> spatial = findQrs(sv, beat.before, 80, 80, spikes, timingLeads);
    // A paced QRS follows its spike at once; the beat may have been found on the spike or on an
    // atrial spike before it (an AV delay, 300 ms at most). After each spike from the fiducial
    // point on, a QRS is sought from 20 ms on (beyond what is left of the spike's slope in the
    // bridge) for 200 ms; of these and the complex about the fiducial point, the ventricles' is
    // the largest change.
    constexpr int kSpikeBefore = 12, kPastSpike = 16, kPacedDelay = 240, kPacedPeak = 160;
    const auto change = [&](const std::optional<QrsBounds>& q) {
        double sum = 0;
        if (q)
            for (int t = q->onset; t <= q->end; ++t)
                sum += sv[static_cast<std::size_t>(t)];
        return sum;
    };
    for (int s : spikes) {
        if (s < beat.before - kSpikeBefore || s > beat.before + kPacedDelay)
            continue;
        const auto after = findQrs(sv, s + kPastSpike, 0, kPacedPeak, spikes, timingLeads);
        if (change(after) > change(spatial))
            spatial = after;
    }
    if (!spatial)
        return false;
    qrs = refineQrs(beat.mv, leadsPresent, *spatial, &perLead);
    // A paced QRS begins with its stimulus, not before.
    for (int s : spikes)
        if (qrs->onset < s && s < qrs->end)
            qrs->onset = std::max(qrs->onset, s - 1);
    const double qrsMs = (qrs->end - qrs->onset) * kMsPerRecord;
    if (qrs->onset - kBaseFrom < 0 || qrsMs < kQrsMinMs || qrsMs > kQrsMaxMs)
        return false;
    m.qrsMs = qrsMs;
    m.qrsOnsetAt = qrs->onset;
    m.qrsEndAt = qrs->end;
    for (std::size_t l = 0; l < kLeadCount; ++l)
        if (perLead[l]) {
            m.leads[l].qrsOnsetAt = perLead[l]->onset;
            m.leads[l].qrsEndAt = perLead[l]->end;
        }

    return true;
}

void BeatDelineation::measureLeadWaves() {
    // Baseline: the PR segment just before the QRS.
    for (std::size_t l = 0; l < kLeadCount; ++l) {
        double s = 0;
        for (int t = qrs->onset - kBaseFrom; t < qrs->onset - kBaseTo; ++t)
            s += beat.mv[l][static_cast<std::size_t>(t)];
        base[l] = static_cast<float>(s / 10.0);
    }

    // Q, R, S, R', the QRS area and the ST level of every lead.
    const int j = qrs->end;
    for (std::size_t l = 0; l < kLeadCount; ++l) {
        if (!leadsPresent[l])
            continue;
        const auto& v = beat.mv[l];
        LeadAmplitudes& a = m.leads[l];
        qrsWaves(v, base[l], qrs->onset, qrs->end,
                 perLead[l] ? std::optional<int>(perLead[l]->onset) : std::nullopt, a);
        double area = 0;
        for (int t = qrs->onset; t <= qrs->end; ++t)
            area += v[static_cast<std::size_t>(t)] - base[l];
        a.qrsArea = area * kMsPerRecord;
        a.stJMv = meanAround(v, j, 2) - base[l];
        if (j + toIndex(60) + 2 < n)
            a.st60Mv = meanAround(v, j + toIndex(60), 2) - base[l];
        if (j + toIndex(80) + 2 < n)
            a.st80Mv = meanAround(v, j + toIndex(80), 2) - base[l];
    }
    m.qrsAxisDeg = axisOf(beat, base, qrs->onset, qrs->end);
}

Magnitude BeatDelineation::magnitudeOver(const LeadMask& use, int from,
                                         const std::array<float, kIndependentCount>* level) const {
    std::vector<float> raw(static_cast<std::size_t>(n));
    const int to = qrs->onset - (kBaseFrom + kBaseTo) / 2;
    for (int t = 0; t < n; ++t) {
        const double w =
            level && t < to ? std::clamp(static_cast<double>(to - t) / (to - from), 0.0, 1.0) : 0.0;
        double s = 0;
        for (std::size_t k = 0; k < kIndependentCount; ++k) {
            if (!use[k])
                continue;
            const double b = base[static_cast<std::size_t>(kIndependent[k])];
            const double d =
                m8[k][static_cast<std::size_t>(t)] - (level ? b + w * ((*level)[k] - b) : b);
            s += d * d;
        }
        raw[static_cast<std::size_t>(t)] = static_cast<float>(std::sqrt(s));
    }
    Magnitude g;
    g.light = smooth(raw, 3);
    g.smooth = smooth(raw, 8);
    for (int t = qrs->onset - kBaseFrom; t < qrs->onset - kBaseTo; ++t)
        g.level += g.smooth[static_cast<std::size_t>(t)] / 10.0f;
    // Noise: spread of the magnitude in the PR segment, at least a few microvolts.
    float spread = 0;
    for (int t = qrs->onset - kBaseFrom; t < qrs->onset - kBaseTo; ++t)
        spread = std::max(spread, std::abs(g.smooth[static_cast<std::size_t>(t)] - g.level));
    g.present = std::max(0.04f, 4.0f * spread);
    return g;
}

LeadMask BeatDelineation::pLeadsOf(const LeadMask& every) const {
    LeadMask quiet{};
    int quietLeads = 0, leadsIn = 0;
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        const auto l = static_cast<std::size_t>(kIndependent[k]);
        leadsIn += timing[l];
        quiet[k] = timing[l] && raw.noiseMv[l] < kPNoiseMv;
        quietLeads += quiet[k];
    }
    return quietLeads >= 3 && quietLeads < leadsIn ? quiet : every;
}

void BeatDelineation::findTEnd(const Magnitude& all) {
    // T: its peak is sought from 80 ms after the QRS up to where a T peak can lie at this rate
    // (QT at most 0.62 RR + 60 ms, peak 40 ms before the end) and never within 240 ms of the next
    // QRS, where the next P wave lies; its end at most 0.7 RR after the QRS onset and 150 ms
    // before the next QRS.
    tFrom = qrs->end + toIndex(80);
    const int tPeakTo =
        std::min({n - 6, qrs->onset + toIndex(std::min(0.62 * rr + 20.0, rr - 240.0)),
                  qrs->onset + toIndex(kQtMaxMs - 40)});
    const int tEndLimit =
        std::min({n - 6, qrs->onset + toIndex(std::min(0.7 * rr + 60.0, rr - 150.0)),
                  qrs->onset + toIndex(kQtMaxMs)});
    if (tPeakTo > tFrom + 16) {
        int peak = tFrom;
        for (int t = tFrom; t <= tPeakTo; ++t)
            if (all.smooth[static_cast<std::size_t>(t)] >
                all.smooth[static_cast<std::size_t>(peak)])
                peak = t;
        if (peak > tFrom && all.smooth[static_cast<std::size_t>(peak)] - all.level > all.present) {
            const auto end = tWaveEnd(m8, base, all.light, peak, std::min(tEndLimit, peak + 160));
            // Where the leads still stand 0.6 of the T peak's distance from their PR level at
            // the end found, the baseline has moved as far as the T: the T's end cannot be told
            // from that move, and QT is not measurable.
            const bool baselineMoved =
                end && *end < n &&
                all.light[static_cast<std::size_t>(std::lround(*end))] - all.level >=
                    kUnsureTEndShare * (all.smooth[static_cast<std::size_t>(peak)] - all.level);
            if (end && *end > peak && *end <= tEndLimit && !baselineMoved) {
                tEnd = static_cast<int>(std::lround(*end));
                m.qtMs = (*end - qrs->onset) * kMsPerRecord;
            }
        }
    }
}

void BeatDelineation::findPWave(const Magnitude& waves) {
    // P: after the previous beat's T end (or, without one, 0.6 RR after the previous QRS) and at
    // most 400 ms before the QRS; its end before the QRS.
    const double previousTEnd =
        tEnd >= 0 ? tEnd - rr / kMsPerRecord : qrs->onset - (0.4 * rr) / kMsPerRecord;
    pFrom = std::max({8, qrs->onset - toIndex(kPrMaxMs),
                      static_cast<int>(std::ceil(previousTEnd)) + toIndex(20)});
    pTo = qrs->onset - 8;
    findP(waves, -1);
    if (!m.pMs)
        findPAgainstTp();
}

void BeatDelineation::findP(const Magnitude& waves, int quietFrom) {
    // Where the window opens on the falling tail of a T (no T end was found before it), the P
    // peak is sought from the foot of that tail. A larger wave early in the window that makes
    // no P (the T's slow tail or a U wave on a baseline that has moved since) is passed over
    // and the P sought after it, up to twice.
    for (int from = pFrom, attempt = 0; attempt < 3 && !m.pMs && pTo > from + 24; ++attempt) {
        int peak = from;
        if (attempt == 0) {
            while (from < pTo && waves.smooth[static_cast<std::size_t>(from + 1)] <
                                     waves.smooth[static_cast<std::size_t>(from)])
                ++from;
            for (int t = from; t <= pTo; ++t)
                if (waves.smooth[static_cast<std::size_t>(t)] >
                    waves.smooth[static_cast<std::size_t>(peak)])
                    peak = t;
        } else {
            // After a passed-over wave: the wave that rises most above the lowest point since,
            // and by more than the noise; that lowest point is where it starts.
            float rise = 0;
            int low = from, start = -1;
            for (int t = from; t <= pTo; ++t) {
                const float x = waves.smooth[static_cast<std::size_t>(t)];
                if (x < waves.smooth[static_cast<std::size_t>(low)])
                    low = t;
                if (x - waves.smooth[static_cast<std::size_t>(low)] > rise) {
                    rise = x - waves.smooth[static_cast<std::size_t>(low)];
                    peak = t;
                    start = low;
                }
            }
            if (start < 0 || rise <= waves.present)
                break;
            from = start;
        }
        if (peak > from + 8 && peak < pTo - 4 &&
            waves.smooth[static_cast<std::size_t>(peak)] - waves.level > waves.present) {
            // After a passed-over wave, the P rises from the trough between them: its onset is
            // sought from there and against that trough's height where it lies above the PR
            // baseline.
            const int waveFrom = attempt ? from : pFrom;
            const int onsetFrom = std::max(waveFrom, peak - toIndex(100));
            const float onsetLevel =
                attempt ? std::max(waves.level, waves.smooth[static_cast<std::size_t>(from)])
                        : waves.level;
            const auto tangentOnset =
                tangentCrossing(waves.smooth, onsetFrom, peak, true, onsetLevel);
            // The onset by the trapezium area, the mirror of the ends', where it lies before
            // the tangent's: the tangent at the steepest rise stops short of a slow start. The
            // 7-sample mean it is found on puts it 3 samples before the change.
            std::optional<double> trapezium = trapeziumOnset(waves.light, onsetFrom, peak);
            if (trapezium)
                *trapezium += 3;
            const int endTo = std::min(pTo, peak + toIndex(100));
            const auto tangentEnd = tangentCrossing(waves.smooth, peak, endTo, false, waves.level);
            // The wave is taken as a P where the tangents at its slopes meet the baseline
            // around it; its end then lies where the trapezium area finds the slow descent
            // flattened (the tangent stops before it), never before the tangent's.
            auto end = tangentEnd;
            if (const auto endByArea = trapeziumEnd(waves.light, peak, endTo);
                end && endByArea && *endByArea > *end)
                end = endByArea;
            // The earlier of the two onsets first; where it makes a P or PR no heart has (it
            // ran on into the end of the T before), the later one.
            const bool areaFirst = trapezium && tangentOnset && *trapezium < *tangentOnset;
            for (const auto& onset :
                 {areaFirst ? trapezium : tangentOnset, areaFirst ? tangentOnset : trapezium}) {
                if (m.pMs || !(tangentOnset && end && *tangentOnset < peak &&
                               *tangentOnset >= waveFrom - 8 && *tangentEnd > peak &&
                               *end < qrs->onset && onset && *onset < peak))
                    continue;
                const double pMs = (*end - *onset) * kMsPerRecord;
                const double prMs = (qrs->onset - *onset) * kMsPerRecord;
                if (pMs >= kPMinMs && pMs <= kPMaxMs && prMs >= kPrMinMs && prMs <= kPrMaxMs &&
                    quietUntil(waves, quietFrom, *onset)) {
                    m.pMs = pMs;
                    m.prMs = prMs;
                    pOnset = *onset;
                    m.pAxisDeg = axisOf(beat, base, static_cast<int>(std::ceil(*onset)),
                                        static_cast<int>(std::floor(*end)));
                }
            }
        }
        from = peak;
    }
}

void BeatDelineation::findPAgainstTp() {
    if (pTo <= pFrom + 24)
        return;
    int anchor = pFrom + 5;
    std::array<float, kIndependentCount> level{};
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        level[k] = meanAround(m8[k], anchor, 5);
    for (int pass = 0; pass < 4; ++pass) {
        const Magnitude waves = magnitudeOver(pLeads, anchor, &level);
        findP(waves, -1);
        if (!m.pMs)
            return;
        const int onset = static_cast<int>(std::floor(*pOnset));
        m.pMs = m.prMs = m.pAxisDeg = pOnset = std::nullopt;
        if (std::abs(onset - anchor) <= 4) {
            findP(waves, pFrom);
            return;
        }
        anchor = onset;
        if (anchor - 8 < pFrom)
            return;
        for (std::size_t k = 0; k < kIndependentCount; ++k)
            level[k] = meanAround(m8[k], anchor - 4, 4);
    }
}

void BeatDelineation::boundQt() {
    // The T end cannot lie beyond the next beat's P onset; QT and QTc within what a heart does.
    if (m.qtMs && pOnset && tEnd >= 0 && tEnd > *pOnset + rr / kMsPerRecord)
        m.qtMs.reset();
    if (m.qtMs && (*m.qtMs < kQtMinMs || *m.qtMs > kQtMaxMs))
        m.qtMs.reset();
    if (m.qtMs && rrMs && *rrMs > 0) {
        const double rrSeconds = *rrMs / 1000.0;
        const double bazett = *m.qtMs / std::sqrt(rrSeconds);
        if (bazett < kQtcMinMs || bazett > kQtcMaxMs) {
            m.qtMs.reset();
        } else {
            m.qtcBazettMs = bazett;
            m.qtcFridericiaMs = *m.qtMs / std::cbrt(rrSeconds);
        }
    }
    if (!m.qtMs)
        tEnd = -1;
}

void BeatDelineation::measureT() {
    // T amplitude of every lead from 80 ms after the J point to the T end: the highest and the
    // lowest point, the larger of them signed.
    if (tEnd >= 0) {
        m.tAxisDeg = axisOf(beat, base, qrs->end, std::min(tEnd, n - 1));
        for (std::size_t l = 0; l < kLeadCount; ++l) {
            if (!leadsPresent[l])
                continue;
            float high = 0, low = 0;
            for (int t = tFrom; t <= tEnd; ++t) {
                const float x = meanAround(beat.mv[l], t, 4) - base[l];
                high = std::max(high, x);
                low = std::min(low, x);
            }
            LeadAmplitudes& a = m.leads[l];
            a.tPosMv = high;
            a.tNegMv = low;
            a.tMv = high >= -low ? high : low;
        }
    }
}

} // namespace

void measureBeat(const MedianBeat& median, std::optional<double> rrMs, const LeadSet& leadsPresent,
                 Measurements& m) {
    BeatDelineation d(median, rrMs, leadsPresent, m);
    if (!d.findQrsBounds())
        return;
    d.measureLeadWaves();
    LeadMask every{};
    every.fill(true);
    const Magnitude all = d.magnitudeOver(every);
    d.pLeads = d.pLeadsOf(every);
    const Magnitude pWaves = d.magnitudeOver(d.pLeads);
    d.findTEnd(all);
    d.findPWave(pWaves);
    d.boundQt();
    d.measureT();
}

} // namespace velkard::measure::detail
