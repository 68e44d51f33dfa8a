// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/MedianBeat.h"

#include "measure/QrsBounds.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure {

namespace detail {

namespace {

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

} // namespace

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

} // namespace detail

MedianBeat medianBeat(const signal::SampleRecord* records, std::size_t count,
                      const std::vector<std::int64_t>& beats) {
    detail::Eight all;
    all.fill(1.0f);
    return detail::medianBeatWithin(records, count, all, beats, 0,
                                    static_cast<std::int64_t>(count));
}

} // namespace velkard::measure
