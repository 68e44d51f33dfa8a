// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Measurements.h"

#include "measure/QrsDetector.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure {

namespace {

using signal::kLeadCount;

constexpr double kPi = 3.14159265358979323846;
constexpr double kMsPerRecord = 1000.0 / signal::kRecordsPerSecond;
constexpr int kIndependentCount = 8;
// The leads every other lead is a combination of: I, II, V1..V6.
constexpr std::array<int, kIndependentCount> kIndependent{
    signal::StandardLeadI,  signal::StandardLeadII, signal::StandardLeadV1, signal::StandardLeadV2,
    signal::StandardLeadV3, signal::StandardLeadV4, signal::StandardLeadV5, signal::StandardLeadV6};

constexpr int kBefore = kMedianFiducial; // median beat: 0.5 s before the fiducial point
constexpr int kAfter = 640;              // and 0.8 s after it
constexpr int kLength = kBefore + kAfter;
constexpr int kPad = 320; // settles the notch filters around a cut
constexpr int kMaxMedianBeats = 240;
// Where the P and the PR segment lie in the median beat, for its noise: from 350 to 60 ms before
// the fiducial point.
constexpr int kNoiseFrom = 280, kNoiseTo = 48;
constexpr int kShapeHalf = 48; // QRS shape for matching: +-60 ms,
constexpr int kShapeStep = 2;  // every second sample
constexpr int kShapeLength = 2 * kShapeHalf / kShapeStep + 1;
constexpr int kMaxLag = 40; // alignment search, +-50 ms: fiducial points that flip between
                            // two peaks of the QRS are brought together
constexpr double kDominantCorrelation = 0.8;
// Two QRS shapes in one span: the beats that match one median shape better than the other by
// this much (in correlation, each shape's median over its beats) conduct otherwise.
constexpr double kShapeGap = 0.05;
// Only where some beat matches the span's median QRS level below this is a second shape sought.
constexpr double kShapeSeed = 0.97;

using Eight = std::array<float, kIndependentCount>;

Eight independentMv(const signal::SampleRecord& r) {
    const signal::LeadValues all = signal::deriveStandardLeads(r);
    Eight out;
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        out[k] = static_cast<float>(all[static_cast<std::size_t>(kIndependent[k])] /
                                    signal::kUnitsPerMillivolt);
    return out;
}

// The other four limb leads from I and II, as the derivation defines them.
void completeLimbLeads(std::array<std::vector<float>, kLeadCount>& mv) {
    const std::size_t n = mv[signal::StandardLeadI].size();
    for (int l : {signal::StandardLeadIII, signal::StandardLeadAVR, signal::StandardLeadAVL,
                  signal::StandardLeadAVF})
        mv[static_cast<std::size_t>(l)].assign(n, 0.0f);
    for (std::size_t t = 0; t < n; ++t) {
        const float i = mv[signal::StandardLeadI][t], ii = mv[signal::StandardLeadII][t];
        mv[signal::StandardLeadIII][t] = ii - i;
        mv[signal::StandardLeadAVR][t] = -(i + ii) / 2;
        mv[signal::StandardLeadAVL][t] = i - ii / 2;
        mv[signal::StandardLeadAVF][t] = ii - i / 2;
    }
}

float medianOf(std::vector<float>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    float m = *mid;
    if (v.size() % 2 == 0) {
        const float below = *std::max_element(v.begin(), mid);
        m = (m + below) / 2;
    }
    return m;
}

// At most `limit` of the items, evenly spread.
template <typename T> std::vector<T> evenlySpread(const std::vector<T>& items, std::size_t limit) {
    if (items.size() <= limit)
        return items;
    std::vector<T> out;
    out.reserve(limit);
    for (std::size_t i = 0; i < limit; ++i)
        out.push_back(items[i * items.size() / limit]);
    return out;
}

// ---- Dominant beats ----------------------------------------------------------------------

constexpr int kShapeSpan = 2 * (kShapeHalf + kMaxLag) + 1;

// The QRS slopes of the beat at b, lead after lead, over +-60 ms plus the lag range: differences
// over 5 ms of a 20 ms moving mean, so neither 50 Hz nor the baseline disturb the matching.
constexpr int kShapeMean = 16, kShapeDiff = 4;
constexpr int kShapeReach = kShapeHalf + kMaxLag + kShapeMean / 2 + kShapeDiff / 2;

// Whether the recording holds all qrsShape() needs around b.
bool hasQrsShape(std::size_t count, std::int64_t b) {
    return b - kShapeReach >= 0 && b + kShapeReach < static_cast<std::int64_t>(count);
}

bool qrsShape(const signal::SampleRecord* records, std::size_t count, const Eight& weight,
              std::int64_t b, std::vector<float>& out, bool levels = false) {
    constexpr int kMean = kShapeMean, kStep = kShapeDiff;
    const std::int64_t first = b - kShapeReach;
    const std::int64_t last = b + kShapeReach;
    if (!hasQrsShape(count, b))
        return false;
    const int raw = static_cast<int>(last - first + 1);
    // Prefix sums of every lead.
    std::array<std::vector<float>, kIndependentCount> prefix;
    for (auto& p : prefix)
        p.assign(static_cast<std::size_t>(raw + 1), 0.0f);
    for (int i = 0; i < raw; ++i) {
        const Eight v = independentMv(records[first + i]);
        for (std::size_t l = 0; l < kIndependentCount; ++l)
            prefix[l][static_cast<std::size_t>(i + 1)] =
                prefix[l][static_cast<std::size_t>(i)] + v[l] * weight[l];
    }
    // Mean of the 16 samples centred at raw index c.
    auto mean = [&](std::size_t l, int c) {
        return (prefix[l][static_cast<std::size_t>(c + kMean / 2)] -
                prefix[l][static_cast<std::size_t>(c - kMean / 2)]) /
               kMean;
    };
    out.assign(static_cast<std::size_t>(kShapeSpan * kIndependentCount), 0.0f);
    const int offset = kMean / 2 + kStep / 2;
    for (std::size_t l = 0; l < kIndependentCount; ++l) {
        float sum = 0;
        for (int i = 0; i < kShapeSpan; ++i) {
            float& v = out[l * kShapeSpan + static_cast<std::size_t>(i)];
            v = levels ? mean(l, offset + i)
                       : mean(l, offset + i + kStep / 2) - mean(l, offset + i - kStep / 2);
            sum += v;
        }
        if (levels)
            for (int i = 0; i < kShapeSpan; ++i)
                out[l * kShapeSpan + static_cast<std::size_t>(i)] -= sum / kShapeSpan;
    }
    return true;
}

// The samples of a shape at this lag (every second sample of +-60 ms around b + lag).
void sampleShape(const std::vector<float>& raw, int lag, std::vector<float>& out) {
    out.resize(static_cast<std::size_t>(kShapeLength * kIndependentCount));
    for (int l = 0; l < kIndependentCount; ++l)
        for (int i = 0; i < kShapeLength; ++i)
            out[static_cast<std::size_t>(l * kShapeLength + i)] =
                raw[static_cast<std::size_t>(l * kShapeSpan + kMaxLag + lag + i * kShapeStep)];
}

// The template a shape is correlated with: its mean taken off, and its sum of squares.
struct Template {
    std::vector<double> centred;
    double mean = 0, squares = 0;
};

Template templateOf(const std::vector<float>& b) {
    Template t;
    const double n = static_cast<double>(b.size());
    double sb = 0;
    for (float v : b)
        sb += v;
    t.mean = sb / n;
    t.centred.resize(b.size());
    for (std::size_t i = 0; i < b.size(); ++i) {
        const double y = b[i] - t.mean;
        t.centred[i] = y;
        t.squares += y * y;
    }
    return t;
}

// Two doubles side by side (GCC and Clang vector extension; SSE2 on x86-64).
typedef double Pair __attribute__((vector_size(16)));

// Pearson correlation of the sampled shape of raw at `count` consecutive lags from `first` (each
// lag's sums in the shape's order) with the template, into c.
template <int kPairs>
void lagCorrelations(const std::vector<float>& raw, const Template& t, int first, double* c) {
    const double n = static_cast<double>(kShapeLength * kIndependentCount);
    std::array<Pair, kPairs> sa{}, ma{}, ab{}, aa{};
    auto load = [&](int l, int i, int p) {
        const float* a = &raw[static_cast<std::size_t>(l * kShapeSpan + kMaxLag + first +
                                                       i * kShapeStep + 2 * p)];
        return Pair{a[0], a[1]};
    };
    for (int l = 0; l < kIndependentCount; ++l)
        for (int i = 0; i < kShapeLength; ++i)
            for (int p = 0; p < kPairs; ++p)
                sa[static_cast<std::size_t>(p)] += load(l, i, p);
    for (std::size_t p = 0; p < kPairs; ++p)
        ma[p] = sa[p] / n;
    for (int l = 0; l < kIndependentCount; ++l)
        for (int i = 0; i < kShapeLength; ++i) {
            const double y = t.centred[static_cast<std::size_t>(l * kShapeLength + i)];
            for (int p = 0; p < kPairs; ++p) {
                const auto k = static_cast<std::size_t>(p);
                const Pair x = load(l, i, p) - ma[k];
                ab[k] += x * y;
                aa[k] += x * x;
            }
        }
    for (std::size_t p = 0; p < kPairs; ++p)
        for (int h = 0; h < 2; ++h)
            c[2 * p + static_cast<std::size_t>(h)] =
                aa[p][h] > 0 && t.squares > 0 ? ab[p][h] / std::sqrt(aa[p][h] * t.squares) : 0.0;
}

// The lag whose sampled shape of raw (sampleShape) correlates best with the template (Pearson,
// the first of the highest), and that correlation. Sixteen lags are summed side by side, each
// in its own order over the shape, so the sums do not wait on one another.
std::pair<int, double> bestLag(const std::vector<float>& raw, const Template& t) {
    constexpr int kLags = 2 * kMaxLag + 1;
    constexpr int kGroup = 16;
    static_assert((kLags - 1) % kGroup == 0);
    std::array<double, kLags> c{};
    for (int g = 0; g + 1 < kLags; g += kGroup)
        lagCorrelations<kGroup / 2>(raw, t, g - kMaxLag, &c[static_cast<std::size_t>(g)]);
    // The last lag on its own.
    const double n = static_cast<double>(kShapeLength * kIndependentCount);
    auto at = [&](int l, int i) {
        return raw[static_cast<std::size_t>(l * kShapeSpan + 2 * kMaxLag + i * kShapeStep)];
    };
    double sa = 0, ab = 0, aa = 0;
    for (int l = 0; l < kIndependentCount; ++l)
        for (int i = 0; i < kShapeLength; ++i)
            sa += at(l, i);
    const double ma = sa / n;
    for (int l = 0; l < kIndependentCount; ++l)
        for (int i = 0; i < kShapeLength; ++i) {
            const double x = at(l, i) - ma;
            const double y = t.centred[static_cast<std::size_t>(l * kShapeLength + i)];
            ab += x * y;
            aa += x * x;
        }
    c[kLags - 1] = aa > 0 && t.squares > 0 ? ab / std::sqrt(aa * t.squares) : 0.0;
    double best = -2;
    int bestAt = 0;
    for (int g = 0; g < kLags; ++g)
        if (c[static_cast<std::size_t>(g)] > best) {
            best = c[static_cast<std::size_t>(g)];
            bestAt = g - kMaxLag;
        }
    return {bestAt, best};
}

struct DominantBeats {
    std::vector<std::int64_t> cuts;  // to form the median beat from, at most kMaxMedianBeats
    std::vector<std::int64_t> knots; // every classified dominant beat: cuts and their neighbours
};

// The correlation of a sampled shape with a template of its length, as it stands (no lag).
double correlation(const std::vector<float>& shape, const Template& t) {
    const Template s = templateOf(shape);
    double ab = 0;
    for (std::size_t k = 0; k < s.centred.size(); ++k)
        ab += s.centred[k] * t.centred[k];
    return s.squares > 0 && t.squares > 0 ? ab / std::sqrt(s.squares * t.squares) : 1.0;
}

// The template of the sample-by-sample median of shapes (all of one length, at least one).
Template medianTemplate(const std::vector<std::vector<float>>& shapes) {
    std::vector<float> templ(shapes.front().size()), column(shapes.size());
    for (std::size_t k = 0; k < templ.size(); ++k) {
        for (std::size_t i = 0; i < shapes.size(); ++i)
            column[i] = shapes[i][k];
        templ[k] = medianOf(column);
    }
    return templateOf(templ);
}

// Where the span's beats have two QRS shapes (intermittent pre-excitation or bundle branch
// block, a run of aberrant beats), a median of both is neither. The QRS slopes the beats are
// aligned by match either shape alike (pre-excitation's slow delta wave hardly moves them), so
// the shapes are told by the QRS levels: the beats are parted into the shape each matches best,
// starting from the one least like the median shape, and each shape is made anew from its beats,
// three times. Where the two stand apart (each shape's beats match it better than the other by
// kShapeGap, at the median), the shape of more beats in the span is the dominant one, and a beat
// that matches the other better is not a dominant beat. One shape and its noise part into two
// that match every beat alike: none then.
struct TwoShapes {
    Template dominant, other;     // of the QRS levels (qrsShape's levels)
    std::vector<char> ofDominant; // per beat of the sample
};
// slopes: the sample's beats' QRS slopes, aligned at `lags` on slopeMedian.
std::optional<TwoShapes> twoShapes(const signal::SampleRecord* records, std::size_t count,
                                   const Eight& weight, const std::vector<std::int64_t>& sample,
                                   const std::vector<std::vector<float>>& slopes,
                                   const std::vector<int>& lags, const Template& slopeMedian,
                                   std::int64_t cutFrom, std::int64_t cutTo) {
    // Only the beats the slopes take for dominant ones (premature ventricular beats are not)
    // are parted: their levels, and the median of these at the lags the slopes aligned them at.
    std::vector<std::size_t> taken;
    std::vector<std::vector<float>> raws, of;
    std::vector<float> levels;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (correlation(slopes[i], slopeMedian) < kDominantCorrelation)
            continue;
        taken.push_back(i);
        qrsShape(records, count, weight, sample[i], levels, true);
        raws.push_back(levels);
        of.emplace_back();
        sampleShape(levels, lags[i], of.back());
    }
    const std::size_t n = taken.size();
    if (n < 4)
        return std::nullopt;
    const Template median = medianTemplate(of);
    // Each beat against that median at its lag (no search: the slopes found it).
    std::vector<double> toMedian(n);
    for (std::size_t i = 0; i < n; ++i)
        toMedian[i] = correlation(of[i], median);
    const std::size_t seed = static_cast<std::size_t>(
        std::min_element(toMedian.begin(), toMedian.end()) - toMedian.begin());
    if (toMedian[seed] >= kShapeSeed)
        return std::nullopt;
    std::array<Template, 2> shapes{median, {}};
    std::vector<float> sampled;
    sampleShape(raws[seed], 0, sampled);
    shapes[1] = templateOf(sampled);
    std::vector<std::array<std::pair<int, double>, 2>> match(n);
    std::vector<int> side(n, 0);
    std::array<std::size_t, 2> members{};
    const auto assign = [&] {
        members = {0, 0};
        for (std::size_t i = 0; i < n; ++i) {
            match[i] = {bestLag(raws[i], shapes[0]), bestLag(raws[i], shapes[1])};
            side[i] = match[i][1].second > match[i][0].second ? 1 : 0;
            ++members[static_cast<std::size_t>(side[i])];
        }
    };
    assign();
    for (int round = 0; round < 3 && members[0] >= 2 && members[1] >= 2; ++round) {
        for (int k = 0; k < 2; ++k) {
            of.clear();
            for (std::size_t i = 0; i < n; ++i)
                if (side[i] == k) {
                    sampleShape(raws[i], match[i][static_cast<std::size_t>(k)].first, sampled);
                    of.push_back(sampled);
                }
            shapes[static_cast<std::size_t>(k)] = medianTemplate(of);
        }
        assign();
    }
    if (members[0] < 2 || members[1] < 2)
        return std::nullopt;
    // How much better each shape's beats match it than the other shape, at the median.
    std::array<std::vector<float>, 2> gaps;
    for (std::size_t i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(side[i]);
        gaps[k].push_back(static_cast<float>(match[i][k].second - match[i][1 - k].second));
    }
    if (medianOf(gaps[0]) < kShapeGap || medianOf(gaps[1]) < kShapeGap)
        return std::nullopt;
    // The shape of more beats within the span (those around it only settle the shapes); of as
    // many, neither is the dominant one, and the beats are taken as before the parting.
    std::array<std::size_t, 2> within{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t b = sample[taken[i]];
        within[static_cast<std::size_t>(side[i])] += b >= cutFrom && b < cutTo;
    }
    if (within[0] == within[1])
        return std::nullopt;
    const std::size_t dominant = within[1] > within[0] ? 1 : 0;
    TwoShapes out{shapes[dominant], shapes[1 - dominant], std::vector<char>(sample.size())};
    for (std::size_t i = 0; i < n; ++i)
        out.ofDominant[taken[i]] = side[i] == static_cast<int>(dominant);
    return out;
}

// The dominant beats, each moved onto the point where its QRS matches the median QRS best. Only
// the beats to cut out (evenly spread over [cutFrom, cutTo), at most kMaxMedianBeats) and their
// neighbours, which carry the baseline around them, are matched: an hour needs no more.
DominantBeats dominantBeats(const signal::SampleRecord* records, std::size_t count,
                            const Eight& weight, const std::vector<std::int64_t>& beats,
                            std::int64_t cutFrom, std::int64_t cutTo) {
    std::vector<std::int64_t> usable;
    std::vector<float> raw, sampled;
    for (std::int64_t b : beats)
        if (hasQrsShape(count, b))
            usable.push_back(b);
    if (usable.empty())
        return {};

    const std::vector<std::int64_t> sample = evenlySpread(usable, kMaxMedianBeats);
    std::vector<std::vector<float>> shapes;
    for (std::int64_t b : sample) {
        qrsShape(records, count, weight, b, raw);
        sampleShape(raw, 0, sampled);
        shapes.push_back(sampled);
    }
    // The template again from the shapes aligned on it by cross-correlation over the whole QRS,
    // so beats whose fiducial point lies on another peak no longer blur it.
    const Template first = medianTemplate(shapes);
    std::vector<int> lags(sample.size());
    for (std::size_t i = 0; i < sample.size(); ++i) {
        qrsShape(records, count, weight, sample[i], raw);
        lags[i] = bestLag(raw, first).first;
        sampleShape(raw, lags[i], shapes[i]);
    }
    Template aligned = medianTemplate(shapes);
    const std::optional<TwoShapes> two =
        twoShapes(records, count, weight, sample, shapes, lags, aligned, cutFrom, cutTo);
    std::vector<float> levels;
    if (two) {
        // The dominant shape's own slopes: a median of both shapes would decide which beats
        // match it.
        std::vector<std::vector<float>> of;
        for (std::size_t i = 0; i < sample.size(); ++i)
            if (two->ofDominant[i])
                of.push_back(shapes[i]);
        aligned = medianTemplate(of);
    }

    // Indices (into usable) of the beats to cut out, and which beats to match.
    std::vector<std::size_t> inSpan;
    for (std::size_t i = 0; i < usable.size(); ++i)
        if (usable[i] >= cutFrom && usable[i] < cutTo && usable[i] - kBefore >= 0 &&
            usable[i] + kAfter <= static_cast<std::int64_t>(count))
            inSpan.push_back(i);
    const std::vector<std::size_t> cutIndices = evenlySpread(inSpan, kMaxMedianBeats);
    std::vector<char> wanted(usable.size(), 0), isCut(usable.size(), 0);
    for (std::size_t i : cutIndices) {
        isCut[i] = 1;
        for (std::size_t j = i >= 2 ? i - 2 : 0; j <= std::min(usable.size() - 1, i + 2); ++j)
            wanted[j] = 1;
    }

    DominantBeats out;
    for (std::size_t i = 0; i < usable.size(); ++i) {
        if (!wanted[i])
            continue;
        const std::int64_t b = usable[i];
        qrsShape(records, count, weight, b, raw);
        const auto [lag, best] = bestLag(raw, aligned);
        if (best < kDominantCorrelation)
            continue;
        if (two) {
            qrsShape(records, count, weight, b, levels, true);
            if (bestLag(levels, two->other).second > bestLag(levels, two->dominant).second)
                continue;
        }
        out.knots.push_back(b + lag);
        // A cut that moved off the recording's end by the alignment is left out.
        if (isCut[i] && b + lag - kBefore >= 0 &&
            b + lag + kAfter <= static_cast<std::int64_t>(count))
            out.cuts.push_back(b + lag);
    }
    return out;
}

// ---- Onsets and ends on a beat -----------------------------------------------------------

using Leads8 = std::array<std::vector<float>, kIndependentCount>;

// Spatial velocity: summed absolute change of the leads over 5 ms, after a 5-sample mean that
// takes the edge off the remaining noise.
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

struct QrsBounds {
    int onset = 0, end = 0;
};

// QRS onset and end around the fiducial point (its peak sought from before to after samples
// about it): where the spatial velocity has stayed below the threshold for 10 ms before, and
// after. `leads`: how many leads the velocity sums.
std::optional<QrsBounds> findQrs(const std::vector<float>& sv, int fiducial, int before = 80,
                                 int after = 80, const std::vector<int>& spikes = {},
                                 int leads = kIndependentCount) {
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

// ---- Baseline and mains ------------------------------------------------------------------

// Smoothed value of every independent lead at t: a 16-sample mean of 13-sample means (no 50 Hz,
// hardly any 60 Hz), centred on t.
Eight smoothedAt(const signal::SampleRecord* records, std::size_t count, std::int64_t t) {
    Eight sum{};
    const std::int64_t first = std::max<std::int64_t>(0, t - 14);
    const std::int64_t last = std::min<std::int64_t>(static_cast<std::int64_t>(count) - 1, t + 14);
    // Weights of the two moving means combined: a trapezoid over 28 samples.
    double weights = 0;
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t d = std::abs(i - t);
        const double w = std::min<double>(13.0, 14.5 - static_cast<double>(d));
        if (w <= 0)
            continue;
        const Eight v = independentMv(records[i]);
        for (std::size_t l = 0; l < kIndependentCount; ++l)
            sum[l] += static_cast<float>(w * v[l]);
        weights += w;
    }
    for (auto& s : sum)
        s = static_cast<float>(s / weights);
    return sum;
}

LeadSet allLeads() {
    LeadSet all;
    all.fill(true);
    return all;
}

struct Knot {
    std::int64_t t;
    Eight v;
};

// Baseline through the knots (cubic Hermite with finite-difference tangents).
class Baseline {
public:
    explicit Baseline(std::vector<Knot> knots) : knots_(std::move(knots)) {
        const std::size_t n = knots_.size();
        tangents_.resize(n);
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t a = j == 0 ? 0 : j - 1, b = j + 1 == n ? j : j + 1;
            const double dt = static_cast<double>(knots_[b].t - knots_[a].t);
            for (std::size_t l = 0; l < kIndependentCount; ++l)
                tangents_[j][l] =
                    dt > 0 ? static_cast<float>((knots_[b].v[l] - knots_[a].v[l]) / dt) : 0.0f;
        }
    }
    bool empty() const { return knots_.empty(); }

    // Values at t (any order, but fastest when t increases).
    Eight at(std::int64_t t) {
        const std::size_t n = knots_.size();
        while (j_ > 0 && knots_[j_].t > t)
            --j_;
        while (j_ + 1 < n && knots_[j_ + 1].t <= t)
            ++j_;
        Eight out;
        if (t <= knots_[0].t || j_ + 1 >= n) {
            const Knot& k = t <= knots_[0].t ? knots_[0] : knots_[n - 1];
            const auto& m = t <= knots_[0].t ? tangents_[0] : tangents_[n - 1];
            for (std::size_t l = 0; l < kIndependentCount; ++l)
                out[l] = k.v[l] + m[l] * static_cast<float>(t - k.t);
            return out;
        }
        const Knot& a = knots_[j_];
        const Knot& b = knots_[j_ + 1];
        const double h = static_cast<double>(b.t - a.t);
        const double s = static_cast<double>(t - a.t) / h;
        const double h00 = 2 * s * s * s - 3 * s * s + 1, h10 = s * s * s - 2 * s * s + s;
        const double h01 = -2 * s * s * s + 3 * s * s, h11 = s * s * s - s * s;
        for (std::size_t l = 0; l < kIndependentCount; ++l)
            out[l] = static_cast<float>(h00 * a.v[l] + h10 * h * tangents_[j_][l] + h01 * b.v[l] +
                                        h11 * h * tangents_[j_ + 1][l]);
        return out;
    }

private:
    std::vector<Knot> knots_;
    std::vector<Eight> tangents_;
    std::size_t j_ = 0;
};

// Zero-phase notch (second order, about 2 Hz wide), started in the steady state of the first
// value so a baseline offset makes no transient; on the n samples of every independent lead,
// interleaved (x[t * kIndependentCount + lead]). Each lead is filtered on its own, the eight side
// by side, so their recursions do not wait on one another.
void notch(std::vector<float>& x, std::size_t n, double hz) {
    if (n < 3)
        return;
    const double w = 2 * kPi * hz / signal::kRecordsPerSecond;
    const double r = 1.0 - kPi * 2.0 / signal::kRecordsPerSecond;
    const double c = std::cos(w);
    const double gain = (1 - 2 * r * c + r * r) / (2 - 2 * c);
    const double b0 = gain, b1 = -2 * c * gain, b2 = gain, a1 = -2 * r * c, a2 = r * r;
    constexpr std::size_t kPairs = kIndependentCount / 2;
    auto pass = [&](std::size_t start, bool forward) {
        std::array<Pair, kPairs> x1, x2, y1, y2;
        for (std::size_t p = 0; p < kPairs; ++p) {
            const float* v = &x[start * kIndependentCount + 2 * p];
            x1[p] = x2[p] = y1[p] = y2[p] = Pair{v[0], v[1]};
        }
        for (std::size_t k = 0; k < n; ++k) {
            float* v = &x[(forward ? start + k : start - k) * kIndependentCount];
            for (std::size_t p = 0; p < kPairs; ++p) {
                const Pair in{v[2 * p], v[2 * p + 1]};
                const Pair y = b0 * in + b1 * x1[p] + b2 * x2[p] - a1 * y1[p] - a2 * y2[p];
                x2[p] = x1[p];
                x1[p] = in;
                y2[p] = y1[p];
                y1[p] = y;
                v[2 * p] = static_cast<float>(y[0]);
                v[2 * p + 1] = static_cast<float>(y[1]);
            }
        }
    };
    pass(0, true);
    pass(n - 1, false);
}

// Median of the cuts [b - kBefore, b + kAfter) of the independent leads, with the baseline taken
// off (without one, each cut's own mean, which serves for finding where the knots belong) and,
// with filter, mains notched out. noise, when given, receives the noise each lead's median still
// carries where the P lies: the cuts' RMS scatter about it there, times 1.25 (a median's
// error against a mean's), over the square root of their number.
Leads8 medianOfCuts(const signal::SampleRecord* records, std::size_t count,
                    const std::vector<std::int64_t>& beats, Baseline* baseline, bool filter,
                    int& used, Eight* noise = nullptr) {
    std::vector<std::int64_t> cuts;
    for (std::int64_t b : beats)
        if (b - kBefore >= 0 && b + kAfter <= static_cast<std::int64_t>(count))
            cuts.push_back(b);
    cuts = evenlySpread(cuts, kMaxMedianBeats);
    used = static_cast<int>(cuts.size());
    Leads8 median;
    if (cuts.empty())
        return median;
    const std::size_t n = cuts.size();
    // Cut after cut (written in order; a column's values are gathered from lines that stay
    // cached for the columns next to it).
    constexpr std::size_t kWidth = static_cast<std::size_t>(kIndependentCount) * kLength;
    std::vector<float> values(kWidth * n);
    std::vector<float> cut; // interleaved: cut[t * kIndependentCount + lead]
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t b = cuts[i];
        const std::int64_t padBefore = filter ? std::min<std::int64_t>(kPad, b - kBefore) : 0;
        const std::int64_t padAfter =
            filter ? std::min<std::int64_t>(kPad, static_cast<std::int64_t>(count) - (b + kAfter))
                   : 0;
        const std::int64_t first = b - kBefore - padBefore;
        const std::size_t span = static_cast<std::size_t>(kLength + padBefore + padAfter);
        cut.resize(span * kIndependentCount);
        for (std::size_t k = 0; k < span; ++k) {
            const std::int64_t t = first + static_cast<std::int64_t>(k);
            const Eight v = independentMv(records[t]);
            const Eight base = baseline ? baseline->at(t) : Eight{};
            for (std::size_t l = 0; l < kIndependentCount; ++l)
                cut[k * kIndependentCount + l] = v[l] - base[l];
        }
        if (filter) {
            notch(cut, span, 50.0);
            notch(cut, span, 60.0);
        }
        if (!baseline) {
            for (std::size_t l = 0; l < kIndependentCount; ++l) {
                float sum = 0.0f;
                for (std::size_t k = 0; k < span; ++k)
                    sum += cut[k * kIndependentCount + l];
                const float mean = sum / static_cast<float>(span);
                for (std::size_t k = 0; k < span; ++k)
                    cut[k * kIndependentCount + l] -= mean;
            }
        }
        for (std::size_t l = 0; l < kIndependentCount; ++l)
            for (int s = 0; s < kLength; ++s)
                values[i * kWidth + l * kLength + static_cast<std::size_t>(s)] =
                    cut[static_cast<std::size_t>(padBefore + s) * kIndependentCount + l];
    }
    std::vector<float> column(n);
    for (std::size_t l = 0; l < kIndependentCount; ++l) {
        median[l].resize(kLength);
        for (int s = 0; s < kLength; ++s) {
            const float* p = &values[l * kLength + static_cast<std::size_t>(s)];
            for (std::size_t i = 0; i < n; ++i)
                column[i] = p[i * kWidth];
            median[l][static_cast<std::size_t>(s)] = medianOf(column);
        }
    }
    if (noise)
        for (std::size_t l = 0; l < kIndependentCount; ++l) {
            double sum = 0;
            for (int s = kBefore - kNoiseFrom; s < kBefore - kNoiseTo; ++s)
                for (std::size_t i = 0; i < n; ++i) {
                    const double d =
                        values[i * kWidth + l * kLength + static_cast<std::size_t>(s)] -
                        median[l][static_cast<std::size_t>(s)];
                    sum += d * d;
                }
            const double samples = static_cast<double>(n) * (kNoiseFrom - kNoiseTo);
            (*noise)[l] =
                static_cast<float>(1.25 * std::sqrt(sum / samples / static_cast<double>(n)));
        }
    return median;
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

void measureBeat(const MedianBeat& median, std::optional<double> rrMs, const LeadSet& leadsPresent,
                 Measurements& m) {
    LeadSet timing;
    const MedianBeat raw = timedOn(median, leadsPresent, timing);
    std::vector<int> spikes;
    const MedianBeat beat = withoutPacingSpikes(raw, timing, spikes);
    Leads8 m8 = independentOf(beat);
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        if (!timing[static_cast<std::size_t>(kIndependent[k])])
            std::fill(m8[k].begin(), m8[k].end(), 0.0f);
    const std::vector<float> sv = spatialVelocity(m8);
    const int timingLeads = timingLeadCount(leadsPresent);
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
        return;
    std::array<std::optional<QrsBounds>, kLeadCount> perLead{};
    std::optional<QrsBounds> qrs = refineQrs(beat.mv, leadsPresent, *spatial, &perLead);
    // A paced QRS begins with its stimulus, not before.
    for (int s : spikes)
        if (qrs->onset < s && s < qrs->end)
            qrs->onset = std::max(qrs->onset, s - 1);
    const int n = static_cast<int>(sv.size());
    const double qrsMs = (qrs->end - qrs->onset) * kMsPerRecord;
    if (qrs->onset - kBaseFrom < 0 || qrsMs < kQrsMinMs || qrsMs > kQrsMaxMs)
        return;
    m.qrsMs = qrsMs;
    m.qrsOnsetAt = qrs->onset;
    m.qrsEndAt = qrs->end;
    for (std::size_t l = 0; l < kLeadCount; ++l)
        if (perLead[l]) {
            m.leads[l].qrsOnsetAt = perLead[l]->onset;
            m.leads[l].qrsEndAt = perLead[l]->end;
        }

    // Baseline: the PR segment just before the QRS.
    std::array<float, kLeadCount> base{};
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

    // Spatial magnitude against the baseline over the leads in `use`. P and T are slow waves:
    // their magnitude is smoothed over 21 ms for their peaks and slopes; the T end is found on a
    // magnitude smoothed over 9 ms only, which moves a sharp end less.
    struct Magnitude {
        std::vector<float> smooth, light;
        float level = 0;   // in the PR segment
        float present = 0; // how far above that level a wave must rise to be one
    };
    // `from` and `level` (optional) move the baseline: from `from` on, each lead's baseline runs
    // in a line from its level there to its PR level.
    const auto magnitudeOver = [&](const std::array<bool, kIndependentCount>& use, int from = -1,
                                   const std::array<float, kIndependentCount>* level = nullptr) {
        std::vector<float> raw(static_cast<std::size_t>(n));
        const int to = qrs->onset - (kBaseFrom + kBaseTo) / 2;
        for (int t = 0; t < n; ++t) {
            const double w = level && t < to
                                 ? std::clamp(static_cast<double>(to - t) / (to - from), 0.0, 1.0)
                                 : 0.0;
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
    };
    std::array<bool, kIndependentCount> every{}, quiet{};
    every.fill(true);
    const Magnitude all = magnitudeOver(every);
    // The P is sought on the leads whose median still carries less noise where it lies than
    // kPNoiseMv, where three or more are left: a tremor of one arm stands in I and, through the
    // central terminal, in every chest lead, and what the median keeps of it bends the P.
    int quietLeads = 0, leadsIn = 0;
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        const auto l = static_cast<std::size_t>(kIndependent[k]);
        leadsIn += timing[l];
        quiet[k] = timing[l] && raw.noiseMv[l] < kPNoiseMv;
        quietLeads += quiet[k];
    }
    const std::array<bool, kIndependentCount>& pLeads =
        quietLeads >= 3 && quietLeads < leadsIn ? quiet : every;
    const Magnitude pWaves = magnitudeOver(pLeads);

    // RR of the median beat; without a rate, a slow one, so the windows below stay wide.
    const double rr = rrMs ? *rrMs : 1000.0;
    // T: its peak is sought from 80 ms after the QRS up to where a T peak can lie at this rate
    // (QT at most 0.62 RR + 60 ms, peak 40 ms before the end) and never within 240 ms of the next
    // QRS, where the next P wave lies; its end at most 0.7 RR after the QRS onset and 150 ms
    // before the next QRS.
    const int tFrom = qrs->end + toIndex(80);
    const int tPeakTo =
        std::min({n - 6, qrs->onset + toIndex(std::min(0.62 * rr + 20.0, rr - 240.0)),
                  qrs->onset + toIndex(kQtMaxMs - 40)});
    const int tEndLimit =
        std::min({n - 6, qrs->onset + toIndex(std::min(0.7 * rr + 60.0, rr - 150.0)),
                  qrs->onset + toIndex(kQtMaxMs)});
    int tEnd = -1;
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

    // P: after the previous beat's T end (or, without one, 0.6 RR after the previous QRS) and at
    // most 400 ms before the QRS; its end before the QRS.
    const double previousTEnd =
        tEnd >= 0 ? tEnd - rr / kMsPerRecord : qrs->onset - (0.4 * rr) / kMsPerRecord;
    const int pFrom = std::max({8, qrs->onset - toIndex(kPrMaxMs),
                                static_cast<int>(std::ceil(previousTEnd)) + toIndex(20)});
    const int pTo = qrs->onset - 8;
    std::optional<double> pOnset;
    // Whether the magnitude stays level over the kTpMinMs before `onset`, all of them after `from`
    // (-1: no such condition).
    const auto quietUntil = [](const Magnitude& waves, int from, double onset) {
        if (from < 0)
            return true;
        if (onset - from < toIndex(kTpMinMs))
            return false;
        for (int t = static_cast<int>(onset) - toIndex(kTpMinMs); t < onset; ++t)
            if (std::abs(waves.smooth[static_cast<std::size_t>(t)] - waves.level) >
                waves.present / 2)
                return false;
        return true;
    };
    const auto findP = [&](const Magnitude& waves, int quietFrom) {
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
                const auto tangentEnd =
                    tangentCrossing(waves.smooth, peak, endTo, false, waves.level);
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
    };
    // A P that rises from a TP level below or above the PR level (MIT-BIH 113's leads stand some
    // 0.07 mV lower between T and P than just before the QRS) crosses that level on its way up
    // and, against it, shows as two small humps or none. Where no P was found, it is sought against
    // a baseline that runs in a line from each lead's level at the window's start to its PR level;
    // then from the level just before the P found, until the onset stays put (within 5 ms), and
    // taken where the leads stood level over the kTpMinMs before it.
    const auto againstTp = [&] {
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
    };
    findP(pWaves, -1);
    if (!m.pMs)
        againstTp();

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

std::optional<double> heartRateOf(const std::vector<std::int64_t>& beats) {
    if (beats.size() < 2)
        return std::nullopt;
    const double rr =
        static_cast<double>(beats.back() - beats.front()) / static_cast<double>(beats.size() - 1);
    if (rr <= 0)
        return std::nullopt;
    return 60.0 * signal::kRecordsPerSecond / rr;
}

// The median beat of the dominant beats in [cutFrom, cutTo); the dominant beats outside that
// range still give the baseline its knots. Only the independent leads of weight 1 find the
// dominant beats, align them and place the PR segment: a lead off with its electrode swings
// between the rails as its derivation wraps, and would outweigh every other.
MedianBeat medianBeatWithin(const signal::SampleRecord* records, std::size_t count,
                            const Eight& weight, const std::vector<std::int64_t>& beats,
                            std::int64_t cutFrom, std::int64_t cutTo) {
    MedianBeat out;
    const DominantBeats found = dominantBeats(records, count, weight, beats, cutFrom, cutTo);
    const std::vector<std::int64_t>& dominant = found.cuts;
    if (dominant.empty())
        return out;

    // Where the PR segment lies: QRS onset on a rough median beat (each cut's own mean taken off).
    int used = 0;
    Leads8 rough = medianOfCuts(records, count, evenlySpread(dominant, 60), nullptr, true, used);
    if (used == 0)
        return out;
    for (std::size_t k = 0; k < kIndependentCount; ++k)
        if (weight[k] == 0.0f)
            std::fill(rough[k].begin(), rough[k].end(), 0.0f);
    const auto roughQrs = findQrs(spatialVelocity(rough), kBefore);
    const int knotOffset = (roughQrs ? roughQrs->onset : kBefore - 40) - kBefore - 16;

    std::vector<Knot> knots;
    knots.reserve(found.knots.size());
    for (std::int64_t b : found.knots)
        knots.push_back({b + knotOffset, smoothedAt(records, count, b + knotOffset)});
    Baseline baseline(std::move(knots));

    Eight noise{};
    const Leads8 median = medianOfCuts(records, count, dominant, &baseline, true, used, &noise);
    if (used == 0)
        return out;
    out.before = kBefore;
    out.beats = used;
    for (std::size_t k = 0; k < kIndependentCount; ++k) {
        out.mv[static_cast<std::size_t>(kIndependent[k])] = median[k];
        out.noiseMv[static_cast<std::size_t>(kIndependent[k])] = noise[k];
    }
    completeLimbLeads(out.mv);
    return out;
}

} // namespace

std::optional<double> heartRate(const std::vector<std::int64_t>& beats) {
    return heartRateOf(beats);
}

MedianBeat medianBeat(const signal::SampleRecord* records, std::size_t count,
                      const std::vector<std::int64_t>& beats) {
    Eight all;
    all.fill(1.0f);
    return medianBeatWithin(records, count, all, beats, 0, static_cast<std::int64_t>(count));
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
