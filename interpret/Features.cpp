// SPDX-License-Identifier: GPL-3.0-or-later
// What the criteria need beyond measure's results: each beat against the median beat (QRS shape,
// P wave, prematurity), RR regularity, and shapes within the median beat's QRS and P.
#include "interpret/Criteria.h"
#include "interpret/Interpret.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace velkard::interpret {
namespace {

constexpr double kMsPerRecord = 1000.0 / signal::kRecordsPerSecond;
constexpr int kIndependentCount = 8;
constexpr std::array<int, kIndependentCount> kIndependent{
    signal::StandardLeadI,  signal::StandardLeadII, signal::StandardLeadV1, signal::StandardLeadV2,
    signal::StandardLeadV3, signal::StandardLeadV4, signal::StandardLeadV5, signal::StandardLeadV6};
constexpr int kMaxLag = 40; // a beat's QRS is matched to the median's within +-50 ms

int samples(double ms) {
    return static_cast<int>(std::lround(ms / kMsPerRecord));
}

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// One stretch of several leads, each lead with its straight line through the stretch taken off
// (so an offset or a slow drift of the baseline does not look like a wave).
using Stretch = std::vector<std::vector<double>>;

void detrend(std::vector<double>& x) {
    const double n = static_cast<double>(x.size());
    if (n < 2)
        return;
    double st = 0, sx = 0, stt = 0, stx = 0;
    for (std::size_t t = 0; t < x.size(); ++t) {
        const double tt = static_cast<double>(t);
        st += tt;
        sx += x[t];
        stt += tt * tt;
        stx += tt * x[t];
    }
    const double slope = (n * stx - st * sx) / (n * stt - st * st);
    const double offset = (sx - slope * st) / n;
    for (std::size_t t = 0; t < x.size(); ++t)
        x[t] -= offset + slope * static_cast<double>(t);
}

// Correlation of two stretches over all their leads together, and the gain that scales b onto a.
struct Match {
    double correlation = 0, gain = 0;
};
Match match(const Stretch& a, const Stretch& b) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t l = 0; l < a.size(); ++l)
        for (std::size_t t = 0; t < a[l].size(); ++t) {
            ab += a[l][t] * b[l][t];
            aa += a[l][t] * a[l][t];
            bb += b[l][t] * b[l][t];
        }
    if (aa <= 0 || bb <= 0)
        return {};
    return {ab / std::sqrt(aa * bb), ab / aa};
}

// Mains interference is taken off every stretch the same way, the recording's and the median
// beat's: a centred 16-sample mean (zero at 50 Hz) of 13-sample means (near zero at 60 Hz), as
// measure/ smooths its baseline knots. kMargin samples either side settle the means.
constexpr int kMargin = 16;

std::vector<double> movingMean(const std::vector<double>& x, int width) {
    const int n = static_cast<int>(x.size());
    std::vector<double> sum(x.size() + 1, 0.0);
    for (int t = 0; t < n; ++t)
        sum[static_cast<std::size_t>(t + 1)] =
            sum[static_cast<std::size_t>(t)] + x[static_cast<std::size_t>(t)];
    std::vector<double> out(x.size());
    for (int t = 0; t < n; ++t) {
        const int from = std::max(0, t - width / 2), to = std::min(n, t - width / 2 + width);
        out[static_cast<std::size_t>(t)] =
            (sum[static_cast<std::size_t>(to)] - sum[static_cast<std::size_t>(from)]) / (to - from);
    }
    return out;
}

// Smooths each lead of s (kMargin longer at either end than wanted) and cuts the margins off.
Stretch withoutMains(Stretch s) {
    for (auto& x : s) {
        x = movingMean(movingMean(x, 16), 13);
        x = std::vector<double>(x.begin() + kMargin, x.end() - kMargin);
    }
    return s;
}

// The leads of the recording over [from, from + n) in mV, mains taken off; empty when the
// stretch leaves the recording.
Stretch recordStretch(const signal::SampleRecord* records, std::size_t count, std::int64_t from,
                      int n, const std::vector<int>& leads) {
    from -= kMargin;
    n += 2 * kMargin;
    if (from < 0 || from + n > static_cast<std::int64_t>(count))
        return {};
    Stretch s(leads.size(), std::vector<double>(static_cast<std::size_t>(n)));
    for (int t = 0; t < n; ++t) {
        const signal::LeadValues v =
            signal::deriveStandardLeads(records[static_cast<std::size_t>(from + t)]);
        for (std::size_t k = 0; k < leads.size(); ++k)
            s[k][static_cast<std::size_t>(t)] =
                v[static_cast<std::size_t>(leads[k])] / signal::kUnitsPerMillivolt;
    }
    return withoutMains(std::move(s));
}

// [from, from + n) of a stretch, detrended.
Stretch slice(const Stretch& s, int from, int n) {
    Stretch out(s.size());
    for (std::size_t k = 0; k < s.size(); ++k) {
        out[k].assign(s[k].begin() + from, s[k].begin() + from + n);
        detrend(out[k]);
    }
    return out;
}

// [from, from + n) of the median beat, smoothed as the recording's stretches are, detrended.
Stretch medianStretch(const measure::MedianBeat& beat, int from, int n,
                      const std::vector<int>& leads) {
    from -= kMargin;
    n += 2 * kMargin;
    Stretch s(leads.size(), std::vector<double>(static_cast<std::size_t>(n)));
    for (std::size_t k = 0; k < leads.size(); ++k) {
        const auto& v = beat.mv[static_cast<std::size_t>(leads[k])];
        if (from < 0 || from + n > static_cast<int>(v.size()))
            return {};
        for (int t = 0; t < n; ++t)
            s[k][static_cast<std::size_t>(t)] = v[static_cast<std::size_t>(from + t)];
    }
    s = withoutMains(std::move(s));
    for (auto& x : s)
        detrend(x);
    return s;
}

// Within one lead of the median beat: R-peak time (QRS onset to the peak of the last R or R'),
// the duration of the R that holds the highest point, and of the S after it.
void qrsShape(const std::vector<float>& v, int onset, int end, std::optional<double>& rPeakTime,
              std::optional<double>& rDuration, std::optional<double>& sDuration,
              std::optional<bool>& endsPositive) {
    const int n = static_cast<int>(v.size());
    if (onset < 16 || end <= onset || end >= n)
        return;
    double base = 0;
    for (int t = onset - 16; t < onset - 6; ++t)
        base += v[static_cast<std::size_t>(t)] / 10.0;
    // measure's QRS end tends to fall early on real ECGs: the S may run on a little after it.
    const int last = std::min(n - 2, end + samples(40));
    auto x = [&](int t) {
        // A 5-sample mean, so a ripple is no peak.
        double s = 0;
        for (int k = -2; k <= 2; ++k)
            s += v[static_cast<std::size_t>(std::clamp(t + k, 0, n - 1))];
        return s / 5.0 - base;
    };
    for (int t = end; t >= onset; --t)
        if (std::abs(x(t)) > criteria::kWaveMv) {
            endsPositive = x(t) > 0;
            break;
        }
    int top = onset;
    for (int t = onset; t <= end; ++t)
        if (x(t) > x(top))
            top = t;
    if (x(top) < criteria::kWaveMv) {
        rDuration = 0.0;
        sDuration = 0.0;
        return;
    }
    int peak = top;
    for (int t = top + 1; t <= std::min(last, end + samples(10)); ++t)
        if (x(t) >= x(t - 1) && x(t) > x(t + 1) &&
            x(t) >= std::max(criteria::kWaveMv, 0.5 * x(top)))
            peak = t;
    rPeakTime = (peak - onset) * kMsPerRecord;
    int from = top, to = top;
    while (from > onset && x(from - 1) > 0)
        --from;
    while (to < last && x(to + 1) > 0)
        ++to;
    rDuration = (to - from + 1) * kMsPerRecord;
    // S: the negative deflection right after that R, as far as it comes back to the baseline; one
    // that runs on into a depressed ST segment has no end to measure.
    const int sFrom = to + 1;
    double deepest = 0;
    int t = sFrom;
    for (; t <= last && x(t) <= 0; ++t)
        deepest = std::min(deepest, x(t));
    if (deepest > -criteria::kWaveMv)
        sDuration = 0.0;
    else if (t <= last || x(last) > -criteria::kWaveMv)
        sDuration = (t - sFrom) * kMsPerRecord;
}

// Pacemaker spikes before each beat's QRS. A spike is a jump of the signal over 2.5 ms far
// steeper than anything within 60 ms on either side of it (P and T waves, the QRS itself, noise
// are none), in at least two independent leads at once; or a step of that kind that holds flat and
// comes back within 40 ms (a pulse, as some recorders draw the spike), in three leads at once, no
// later than 12 ms into the measured QRS. Looked for from 300 ms
// before the QRS onset (atrial spikes before the P) to 50 ms after it (the onset measured on a
// median beat that holds the spike may lie before it); the last one counts. Only the leads in
// `counted` take part: a recording of lead II alone derives I and the chest leads as copies of
// it, and a steep QRS start in one lead is no spike in two.
void pacingSpikes(const signal::SampleRecord* records, std::size_t count,
                  const std::vector<std::int64_t>& onsets,
                  const std::array<bool, kIndependentCount>& counted, Features& f) {
    const int before = samples(300), after = samples(50);
    const int guard = samples(12), reach = samples(60), pulse = samples(40), edge = samples(5);
    const int pulseLatest = samples(12);
    std::vector<double> lags;
    double largest = 0;
    for (std::int64_t onset : onsets) {
        const std::int64_t from = onset - before - reach - 1, to = onset + after + reach + 1;
        if (from < 0 || to >= static_cast<std::int64_t>(count))
            continue;
        ++f.spikeBeatsSeen;
        const int n = static_cast<int>(to - from + 1);
        // jump[k][t]: x(t + 1) - x(t - 1) in lead k, mV.
        std::array<std::vector<double>, kIndependentCount> jump;
        for (auto& j : jump)
            j.assign(static_cast<std::size_t>(n), 0.0);
        std::vector<signal::LeadValues> v(static_cast<std::size_t>(n));
        for (int t = 0; t < n; ++t)
            v[static_cast<std::size_t>(t)] =
                signal::deriveStandardLeads(records[static_cast<std::size_t>(from + t)]);
        for (std::size_t k = 0; k < kIndependentCount; ++k)
            for (int t = 1; t + 1 < n; ++t)
                jump[k][static_cast<std::size_t>(t)] =
                    (v[static_cast<std::size_t>(t + 1)][static_cast<std::size_t>(kIndependent[k])] -
                     v[static_cast<std::size_t>(t - 1)]
                      [static_cast<std::size_t>(kIndependent[k])]) /
                    signal::kUnitsPerMillivolt;
        int bestT = -1, bestLead = -1;
        double bestJump = 0;
        for (int t = reach + 1; t < n - reach - 1; ++t) {
            int leads = 0, pulses = 0;
            double top = 0;
            int topLead = -1;
            for (std::size_t k = 0; k < kIndependentCount; ++k) {
                if (!counted[k])
                    continue;
                const auto& d = jump[k];
                const auto j = [&d](int at) { return std::abs(d[static_cast<std::size_t>(at)]); };
                const double here = j(t);
                if (here < criteria::kPacingSpikeMv || here < j(t - 1) || here < j(t + 1))
                    continue;
                const auto largest = [&](int a, int b) {
                    double m = 0;
                    for (int s = a; s <= b; ++s)
                        m = std::max(m, j(s));
                    return m;
                };
                const double steep = here / criteria::kPacingSpikeSteepness;
                if (largest(t - reach, t - guard - 1) > steep)
                    continue;
                bool isPulse = false;
                if (largest(t + guard + 1, t + reach) > steep) {
                    // A pulse: flat after the step until a step back of at least half its size.
                    int back = -1;
                    for (int s = t + edge; s <= t + pulse && back < 0; ++s)
                        if (j(s) >= 0.5 * here && (d[static_cast<std::size_t>(s)] > 0) !=
                                                      (d[static_cast<std::size_t>(t)] > 0))
                            back = s;
                    if (back < 0 || back - edge < t + edge ||
                        largest(t + edge, back - edge) > steep)
                        continue;
                    isPulse = true;
                }
                ++(isPulse ? pulses : leads);
                if (here > top) {
                    top = here;
                    topLead = kIndependent[k];
                }
            }
            // A pulse is one only before the QRS is under way, and where most leads show it.
            if (from + t > onset + pulseLatest || leads + pulses < criteria::kPacingPulseLeads)
                pulses = 0;
            // The spike nearest the QRS is the ventricular one (an atrial lead's comes first).
            if (leads >= criteria::kPacingSpikeLeads || pulses > 0) {
                bestJump = top;
                bestT = t;
                bestLead = topLead;
            }
        }
        if (bestT < 0)
            continue;
        ++f.pacedBeats;
        lags.push_back(static_cast<double>(onset - (from + bestT)) * kMsPerRecord);
        if (bestJump > largest) {
            largest = bestJump;
            f.spikeLead = bestLead;
        }
    }
    if (!lags.empty()) {
        f.spikeToQrsMs = medianOf(lags);
        f.spikeMv = largest;
    }
}

// How alike the atrial stretches before the dominant, not premature beats are, 250 to 30 ms
// before each QRS onset: a P wave repeats there however small it is, fibrillatory waves do not.
// The energy of their mean over the mean of their energies; nullopt with too few beats.
std::optional<double> atrialLikeness(const signal::SampleRecord* records, std::size_t count,
                                     const std::vector<std::int64_t>& onsets, const Features& f,
                                     const std::vector<int>& leads) {
    const int from = -samples(250), n = samples(220);
    Stretch sum;
    double energies = 0;
    int used = 0;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        if (!(f.shape[i] >= criteria::kOtherShape) || f.premature[i])
            continue;
        const Stretch full = recordStretch(records, count, onsets[i] + from, n, leads);
        if (full.empty())
            continue;
        const Stretch s = slice(full, 0, n);
        if (sum.empty())
            sum.assign(s.size(), std::vector<double>(static_cast<std::size_t>(n), 0.0));
        for (std::size_t k = 0; k < s.size(); ++k)
            for (std::size_t t = 0; t < s[k].size(); ++t) {
                sum[k][t] += s[k][t];
                energies += s[k][t] * s[k][t];
            }
        ++used;
    }
    if (used < criteria::kMinimumIntervals || energies <= 0)
        return std::nullopt;
    double meanEnergy = 0;
    for (const auto& x : sum)
        for (double v : x)
            meanEnergy += (v / used) * (v / used);
    return meanEnergy / (energies / used);
}

// Regular atrial waves between the complexes, from the QRS onsets of the beats and the QRS's
// length: each of II, III, aVF and V1 over the span of the beats, every QRS from 20 ms before
// its onset to 40 ms after its end bridged by a straight line and left out of the sums, mains
// taken off, band-passed by taking off a 250-ms mean (the T's slow wave); then its
// autocorrelation at every lag of the flutter periods. The lead with the best repeat is kept,
// and the lowest repeat of the inferior leads at its period.
void atrialWaves(const signal::SampleRecord* records, std::size_t count,
                 const std::vector<std::int64_t>& onsets, int qrsLength,
                 const measure::Measurements& m, Features& f) {
    if (onsets.size() < 3)
        return;
    const std::int64_t from = std::max<std::int64_t>(0, onsets.front() - samples(1000));
    const std::int64_t to =
        std::min<std::int64_t>(static_cast<std::int64_t>(count), onsets.back() + samples(1000));
    const int n = static_cast<int>(to - from);
    const int settle = samples(250);
    if (n < 4 * settle)
        return;
    std::vector<char> valid(static_cast<std::size_t>(n), 1);
    for (std::int64_t o : onsets) {
        const int a = std::max(0, static_cast<int>(o - from) - samples(20));
        const int b = std::min(n - 1, static_cast<int>(o - from) + qrsLength + samples(40));
        for (int t = a; t <= b; ++t)
            valid[static_cast<std::size_t>(t)] = 0;
    }
    for (int t = 0; t < settle; ++t)
        valid[static_cast<std::size_t>(t)] = valid[static_cast<std::size_t>(n - 1 - t)] = 0;
    const int lagLow = samples(criteria::kFlutterPeriodMinMs);
    const int lagHigh = samples(criteria::kFlutterPeriodMaxMs);
    const auto correlation = [&](const std::vector<double>& y, int lag) {
        double ab = 0, aa = 0, bb = 0;
        for (int t = 0; t + lag < n; ++t) {
            if (!valid[static_cast<std::size_t>(t)] || !valid[static_cast<std::size_t>(t + lag)])
                continue;
            const double a = y[static_cast<std::size_t>(t)],
                         b = y[static_cast<std::size_t>(t + lag)];
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
    };
    constexpr std::array<int, 4> kLeads{signal::StandardLeadII, signal::StandardLeadIII,
                                        signal::StandardLeadAVF, signal::StandardLeadV1};
    std::array<std::vector<double>, kLeads.size()> leads, waves;
    for (auto& x : leads)
        x.resize(static_cast<std::size_t>(n));
    for (int t = 0; t < n; ++t) {
        const signal::LeadValues v =
            signal::deriveStandardLeads(records[static_cast<std::size_t>(from + t)]);
        for (std::size_t k = 0; k < kLeads.size(); ++k)
            leads[k][static_cast<std::size_t>(t)] =
                v[static_cast<std::size_t>(kLeads[k])] / signal::kUnitsPerMillivolt;
    }
    for (std::size_t k = 0; k < kLeads.size(); ++k) {
        const int lead = kLeads[k];
        std::vector<double>& x = leads[k];
        // Each left-out QRS bridged from the sample before it to the sample after it.
        for (int t = 0; t < n;) {
            if (valid[static_cast<std::size_t>(t)] || t < settle) {
                ++t;
                continue;
            }
            int b = t;
            while (b < n && !valid[static_cast<std::size_t>(b)])
                ++b;
            const double left = x[static_cast<std::size_t>(t - 1)];
            const double right = b < n ? x[static_cast<std::size_t>(b)] : left;
            for (int k = t; k < b; ++k)
                x[static_cast<std::size_t>(k)] = left + (right - left) * (k - t + 1) / (b - t + 1);
            t = b;
        }
        const std::vector<double> smooth = movingMean(movingMean(x, 16), 13);
        const std::vector<double> slow = movingMean(smooth, settle);
        std::vector<double> y(static_cast<std::size_t>(n));
        double energy = 0;
        int used = 0;
        for (int t = 0; t < n; ++t) {
            y[static_cast<std::size_t>(t)] =
                smooth[static_cast<std::size_t>(t)] - slow[static_cast<std::size_t>(t)];
            if (valid[static_cast<std::size_t>(t)]) {
                energy += y[static_cast<std::size_t>(t)] * y[static_cast<std::size_t>(t)];
                ++used;
            }
        }
        if (used < 2 * settle || energy <= 0)
            continue;
        waves[k] = y;
        std::vector<double> r(static_cast<std::size_t>(lagHigh + 2), 0.0);
        for (int lag = lagLow - 1; lag <= lagHigh + 1; ++lag)
            r[static_cast<std::size_t>(lag)] = correlation(y, lag);
        int best = -1;
        for (int lag = lagLow; lag <= lagHigh; ++lag)
            if (r[static_cast<std::size_t>(lag)] >= r[static_cast<std::size_t>(lag - 1)] &&
                r[static_cast<std::size_t>(lag)] >= r[static_cast<std::size_t>(lag + 1)] &&
                (best < 0 || r[static_cast<std::size_t>(lag)] > r[static_cast<std::size_t>(best)]))
                best = lag;
        if (best < 0 ||
            (f.atrialWaveRepeat && r[static_cast<std::size_t>(best)] <= *f.atrialWaveRepeat))
            continue;
        f.atrialWavePeriodMs = best * kMsPerRecord;
        f.atrialWaveRepeat = r[static_cast<std::size_t>(best)];
        f.atrialWaveRepeatTwice = correlation(y, 2 * best);
        f.atrialWaveMv = std::sqrt(energy / used);
        f.atrialWaveLead = lead;
    }
    if (!f.atrialWavePeriodMs)
        return;
    // How the inferior leads repeat at the period found (a lead without waves: not at all).
    const int period = samples(*f.atrialWavePeriodMs), near = samples(10);
    for (std::size_t k = 0; k < kLeads.size(); ++k) {
        if (kLeads[k] == signal::StandardLeadV1 ||
            !m.leads[static_cast<std::size_t>(kLeads[k])].rMv)
            continue;
        double repeat = 0;
        if (!waves[k].empty())
            for (int lag = period - near; lag <= period + near; ++lag)
                repeat = std::max(repeat, correlation(waves[k], lag));
        f.atrialWaveRepeatInferior = std::min(f.atrialWaveRepeatInferior.value_or(1.0), repeat);
    }
}

} // namespace

Features features(const signal::SampleRecord* records, std::size_t count,
                  const measure::Measurements& m, const measure::MedianBeat& median) {
    Features f;
    const auto& beats = m.beats;
    // The leads measured (present and readable); where none is, every lead is looked at.
    std::array<bool, kIndependentCount> counted{};
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        counted[k] = m.leads[static_cast<std::size_t>(kIndependent[k])].rMv.has_value();
    if (std::none_of(counted.begin(), counted.end(), [](bool c) { return c; }))
        counted.fill(true);
    for (std::size_t i = 1; i < beats.size(); ++i)
        f.rrMs.push_back(static_cast<double>(beats[i] - beats[i - 1]) * kMsPerRecord);
    // Without a median beat's QRS to match each beat to, its QRS is taken to begin 40 ms before
    // its fiducial point (where a paced QRS's steepest slope lies after its spike).
    const auto spikesBeforeFiducials = [&] {
        std::vector<std::int64_t> onsets;
        for (std::int64_t b : beats)
            onsets.push_back(b - samples(40));
        pacingSpikes(records, count, onsets, counted, f);
        return f;
    };
    if (median.empty() || !m.qrsOnsetAt || !m.qrsEndAt)
        return spikesBeforeFiducials();
    const int onset = *m.qrsOnsetAt, end = *m.qrsEndAt;

    // Each beat's QRS against the median's (all independent leads), at the lag that fits best.
    const std::vector<int> qrsLeads(kIndependent.begin(), kIndependent.end());
    const int qFrom = onset - samples(10), qLength = end - onset + samples(20);
    const Stretch qrsTemplate = medianStretch(median, qFrom, qLength, qrsLeads);
    if (qrsTemplate.empty())
        return spikesBeforeFiducials();
    // The P wave of the median beat in I, II and V1, where atrial activity shows best.
    const std::vector<int> pLeads{signal::StandardLeadI, signal::StandardLeadII,
                                  signal::StandardLeadV1};
    Stretch pTemplate;
    int pFrom = 0, pLength = 0;
    if (m.prMs && m.pMs) {
        pFrom = onset - samples(*m.prMs) - samples(10);
        pLength = samples(*m.pMs) + samples(20);
        pTemplate = medianStretch(median, pFrom, pLength, pLeads);
    }
    std::vector<int> lags(beats.size(), 0);
    std::vector<char> hasP(beats.size(), 0);
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const std::int64_t start = beats[i] - median.before;
        Match best;
        const Stretch around =
            recordStretch(records, count, start + qFrom - kMaxLag, qLength + 2 * kMaxLag, qrsLeads);
        // Every 5 ms over the whole range, then every sample around the best of those.
        auto tryLag = [&](int lag) {
            if (lag < -kMaxLag || lag > kMaxLag)
                return;
            const Match c = match(qrsTemplate, slice(around, lag + kMaxLag, qLength));
            if (c.correlation > best.correlation) {
                best = c;
                lags[i] = lag;
            }
        };
        for (int lag = -kMaxLag; lag <= kMaxLag && !around.empty(); lag += 4)
            tryLag(lag);
        const int coarse = lags[i];
        for (int lag = coarse - 3; lag <= coarse + 3 && !around.empty(); ++lag)
            if (lag != coarse)
                tryLag(lag);
        // A beat too near the recording's ends to be matched has no shape (NaN: no comparison
        // holds, so it counts as neither dominant nor other).
        f.shape.push_back(around.empty() ? std::nan("") : best.correlation);
        if (!pTemplate.empty()) {
            const Stretch s =
                recordStretch(records, count, start + pFrom + lags[i], pLength, pLeads);
            if (!s.empty()) {
                const Match c = match(pTemplate, slice(s, 0, pLength));
                hasP[i] = c.correlation >= criteria::kPCorrelation && c.gain >= 0.5 && c.gain <= 2;
            }
        }
    }

    // Each beat's QRS onset where its QRS matched the median's.
    std::vector<std::int64_t> onsets;
    for (std::size_t i = 0; i < beats.size(); ++i)
        onsets.push_back(beats[i] - median.before + onset + lags[i]);
    pacingSpikes(records, count, onsets, counted, f);
    f.spikeOnsetMeasured = f.spikeToQrsMs.has_value();

    // Premature beats: early against the span's median RR and against the RR before them.
    f.premature.assign(beats.size(), 0);
    if (!f.rrMs.empty()) {
        const double typical = medianOf(f.rrMs);
        for (std::size_t i = 1; i < beats.size(); ++i) {
            const double rr = f.rrMs[i - 1];
            const bool early = rr < criteria::kPrematureRatio * typical &&
                               (i < 2 || rr < criteria::kPrematureRatio * f.rrMs[i - 2]);
            f.premature[i] = early;
            if (f.shape[i] >= criteria::kSameShape && early)
                ++f.prematureSameShape;
            else if (f.shape[i] < criteria::kOtherShape && early)
                ++f.otherShape;
            else if (f.shape[i] < criteria::kOtherShape)
                ++f.otherShapeLate;
        }
    }

    // Regularity over the intervals between beats of the dominant shape (premature ones too: in
    // atrial fibrillation every beat is early or late); the sinus range without the premature
    // beats and the intervals after them.
    std::vector<double> dominantRr, sinusRr;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        const bool both =
            f.shape[i] >= criteria::kOtherShape && f.shape[i - 1] >= criteria::kOtherShape;
        if (both)
            dominantRr.push_back(f.rrMs[i - 1]);
        if (both && !f.premature[i] && !f.premature[i - 1])
            sinusRr.push_back(f.rrMs[i - 1]);
    }
    if (static_cast<int>(dominantRr.size()) >= criteria::kMinimumIntervals) {
        double ss = 0;
        for (std::size_t i = 1; i < dominantRr.size(); ++i)
            ss += (dominantRr[i] - dominantRr[i - 1]) * (dominantRr[i] - dominantRr[i - 1]);
        const double mean = std::accumulate(dominantRr.begin(), dominantRr.end(), 0.0) /
                            static_cast<double>(dominantRr.size());
        f.dominantRmssdRatio = std::sqrt(ss / static_cast<double>(dominantRr.size() - 1)) / mean;
    }
    if (static_cast<int>(sinusRr.size()) >= criteria::kMinimumIntervals) {
        const auto [lo, hi] = std::minmax_element(sinusRr.begin(), sinusRr.end());
        f.sinusRangeMs = *hi - *lo;
    }
    f.atrialCoherence = atrialLikeness(records, count, onsets, f, pLeads);
    atrialWaves(records, count, onsets, end - onset, m, f);
    int dominant = 0, withP = 0;
    for (std::size_t i = 0; i < beats.size(); ++i)
        if (f.shape[i] >= criteria::kOtherShape && !f.premature[i]) {
            ++dominant;
            withP += hasP[i];
        }
    if (dominant > 0)
        f.pShare = pTemplate.empty() ? 0.0 : static_cast<double>(withP) / dominant;

    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        if (m.leads[l].rMv)
            qrsShape(median.mv[l], onset, end, f.rPeakTimeMs[l], f.rDurationMs[l], f.sDurationMs[l],
                     f.endsPositive[l]);

    // The median P of one lead: where it begins and ends, and the level just before it.
    struct PWave {
        const std::vector<float>* v;
        int on, end;
        double base;
    };
    const auto pWave = [&](int lead) -> std::optional<PWave> {
        if (!m.prMs || !m.pMs || !m.leads[static_cast<std::size_t>(lead)].rMv)
            return std::nullopt;
        const auto& v = median.mv[static_cast<std::size_t>(lead)];
        const int pOn = onset - samples(*m.prMs), pEnd = pOn + samples(*m.pMs);
        if (pOn < 16 || pEnd >= static_cast<int>(v.size()))
            return std::nullopt;
        double base = 0;
        for (int t = pOn - 16; t < pOn - 6; ++t)
            base += v[static_cast<std::size_t>(t)] / 10.0;
        return PWave{&v, pOn, pEnd, base};
    };

    // The P in II, its larger extreme against that level.
    if (const auto p = pWave(signal::StandardLeadII)) {
        double high = 0, low = 0;
        for (int t = p->on; t <= p->end; ++t) {
            high = std::max(high, (*p->v)[static_cast<std::size_t>(t)] - p->base);
            low = std::min(low, (*p->v)[static_cast<std::size_t>(t)] - p->base);
        }
        f.pLeadIIMv = high >= -low ? high : low;
    }

    // P terminal force in V1: duration times depth of the negative part that ends the P.
    if (const auto p = pWave(signal::StandardLeadV1)) {
        int t = p->end;
        double depth = 0;
        while (t > p->on && (*p->v)[static_cast<std::size_t>(t)] - p->base < 0) {
            depth = std::min(depth, (*p->v)[static_cast<std::size_t>(t)] - p->base);
            --t;
        }
        const double duration = (p->end - t) * kMsPerRecord;
        f.pTerminalForceV1 = depth <= -criteria::kWaveMv ? duration * -depth : 0.0;
    }
    return f;
}

} // namespace velkard::interpret
