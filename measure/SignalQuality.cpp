// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/SignalQuality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace velkard::measure {

namespace {

constexpr int kSecond = signal::kRecordsPerSecond;
// Every fourth record is enough to judge the quality by: 200 samples per second (noise above
// 100 Hz folds into the band, so it still counts).
constexpr int kStep = 4;
constexpr int kRate = kSecond / kStep;
constexpr int kBlock = kRate / 10; // 100 ms
constexpr int kWarmUp = 10;        // samples before a second that settle its moving means
constexpr int kMean50 = 4;         // 20 ms: zeros at 50 Hz and its harmonics
constexpr int kMean60 = 3;         // 15 ms: near 60 Hz
constexpr int kSlopeLag = 2;       // 10 ms
constexpr double kPi = 3.14159265358979323846;

// Thresholds (mV): what a clean ECG stays below.
constexpr float kFlatMv = 0.01f;       // peak-to-peak of a flat lead over a second
constexpr float kNoisySlopeMv = 0.08f; // 10-ms slope RMS in the quietest blocks of a second
constexpr float kNoisyMv = 0.15f;      // broadband noise RMS there
constexpr float kMainsMv = 0.05f;      // 50 or 60 Hz amplitude
constexpr float kDriftMv = 0.5f;       // baseline change from one second to the next
constexpr float kStepMv = 1.0f;        // baseline jump between two 300-ms stretches
constexpr float kStepSharp = 0.5f;     // of the jump: made within 10 ms
constexpr int kRail = kRailUnits;

// The channels each lead is formed from (c0 lead III, c1 lead II, c2..c7 the chest channels
// against (c1 + c0) / 3), as bits.
constexpr std::array<unsigned, signal::kLeadCount> kChannelsOf{
    0b11, 0b10, 0b01, 0b11, 0b11, 0b11, 0b111, 0b1011, 0b10011, 0b100011, 0b1000011, 0b10000011};
constexpr int kStepBefore = 160; // unreadable around a step: 200 ms before,
constexpr int kStepAfter = 240;  // 300 ms after

float medianOf(std::vector<float>& v) {
    if (v.empty())
        return 0.0f;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

double medianOf(std::vector<double> v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

struct Second {
    bool off = false, noisy = false;
    double noise = 0, mains = 0;
    float baseline = 0;
};

// cos and sin of 50 and 60 Hz over one second.
struct MainsTable {
    std::array<float, kRate> c50{}, s50{}, c60{}, s60{};
};

const MainsTable& mainsTable() {
    static const MainsTable table = [] {
        MainsTable t;
        for (int i = 0; i < kRate; ++i) {
            const auto k = static_cast<std::size_t>(i);
            t.c50[k] = static_cast<float>(std::cos(2 * kPi * 50 * i / kRate));
            t.s50[k] = static_cast<float>(std::sin(2 * kPi * 50 * i / kRate));
            t.c60[k] = static_cast<float>(std::cos(2 * kPi * 60 * i / kRate));
            t.s60[k] = static_cast<float>(std::sin(2 * kPi * 60 * i / kRate));
        }
        return t;
    }();
    return table;
}

// Every lead of a second side by side, four to a vector (GCC and Clang vector extension; SSE on
// x86-64). Each lane is computed on its own, in the order a lead alone would be, with the scalar
// IEEE arithmetic, so the values are the same; no lead's sums wait on another's.
constexpr std::size_t kLanes = signal::kLeadCount;
typedef float Quad __attribute__((vector_size(16)));
typedef std::int32_t QuadBits __attribute__((vector_size(16)));
constexpr std::size_t kQuads = kLanes / 4;
static_assert(kLanes % 4 == 0);

// One value of every lead.
struct Row {
    Quad q[kQuads];
    float operator[](std::size_t l) const { return q[l / 4][l % 4]; }
};

Quad splat(float v) {
    return Quad{v, v, v, v};
}
// std::min(a, b), std::max(a, b) and std::abs(a), lane by lane.
Quad minOf(Quad a, Quad b) {
    return b < a ? b : a;
}
Quad maxOf(Quad a, Quad b) {
    return a < b ? b : a;
}
Quad absOf(Quad a) {
    return reinterpret_cast<Quad>(reinterpret_cast<QuadBits>(a) & 0x7fffffff);
}

// Comparators of Batcher's odd-even merge sort for 32 values, less those that touch the values
// beyond kBlock (they stand for +infinity there and never move) and those that cannot change the
// middle value: what is left puts the median of kBlock values in its place, as sorting would.
struct MedianNetwork {
    std::array<std::pair<int, int>, 256> pairs{};
    int size = 0;
};

constexpr MedianNetwork medianNetwork() {
    constexpr int kWidth = 32;
    static_assert(kBlock <= kWidth);
    std::array<std::pair<int, int>, 256> all{};
    int count = 0;
    for (int p = 1; p < kWidth; p <<= 1)
        for (int k = p; k >= 1; k >>= 1)
            for (int j = k % p; j + k < kWidth; j += 2 * k)
                for (int i = 0; i < k && i + j + k < kWidth; ++i)
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < kBlock)
                        all[static_cast<std::size_t>(count++)] = {i + j, i + j + k};
    // Backwards from the middle: only comparators that feed it.
    std::array<bool, kWidth> needed{};
    needed[kBlock / 2] = true;
    std::array<bool, 256> kept{};
    for (int c = count - 1; c >= 0; --c) {
        const auto [x, y] = all[static_cast<std::size_t>(c)];
        if (needed[static_cast<std::size_t>(x)] || needed[static_cast<std::size_t>(y)]) {
            kept[static_cast<std::size_t>(c)] = true;
            needed[static_cast<std::size_t>(x)] = needed[static_cast<std::size_t>(y)] = true;
        }
    }
    MedianNetwork out;
    for (int c = 0; c < count; ++c)
        if (kept[static_cast<std::size_t>(c)])
            out.pairs[static_cast<std::size_t>(out.size++)] = all[static_cast<std::size_t>(c)];
    return out;
}

constexpr MedianNetwork kMedianNetwork = medianNetwork();

// Buffers reused from second to second.
struct Work {
    std::vector<Row> x, mean60, mean50, clean;
    std::array<std::vector<float>, kLanes> rms, hf;
    std::vector<float> block;
};

// One second (or what is left of the span) of every lead: w.x holds kWarmUp samples before it.
// The leads in `assessed` are assessed into out (their block medians and largest 10-ms changes
// appended); every lead gets its lowest and highest value.
void assess(Work& w, int n, unsigned railed, const std::array<bool, kLanes>& assessed,
            std::array<Second, kLanes>& out, Row& lo, Row& hi,
            std::array<std::vector<float>, kLanes>& blockMedians,
            std::array<std::vector<float>, kLanes>& blockJumps) {
    const Row* x = w.x.data();
    const Row* v = x + kWarmUp;
    lo = hi = v[0];
    for (int i = 1; i < n; ++i)
        for (std::size_t j = 0; j < kQuads; ++j) {
            lo.q[j] = minOf(lo.q[j], v[i].q[j]);
            hi.q[j] = maxOf(hi.q[j], v[i].q[j]);
        }

    // Mains-free low-pass: a 20-ms mean (zeros at 50 Hz and its harmonics) of a 15-ms mean
    // (near 60 Hz), then its change over 10 ms.
    const int total = kWarmUp + n;
    w.mean60.resize(static_cast<std::size_t>(total));
    w.mean50.resize(static_cast<std::size_t>(total));
    auto movingMean = [total](const Row* in, Row* mean, int width) {
        const Quad divisor = splat(static_cast<float>(width));
        Row sum{};
        for (int i = 0; i < total; ++i)
            for (std::size_t j = 0; j < kQuads; ++j) {
                sum.q[j] += in[i].q[j];
                if (i >= width)
                    sum.q[j] -= in[i - width].q[j];
                mean[i].q[j] = sum.q[j] / divisor;
            }
    };
    movingMean(x, w.mean60.data(), kMean60);
    movingMean(w.mean60.data(), w.mean50.data(), kMean50);

    // Mains: the 50 and 60 Hz components of the second (whole cycles over a full second), taken
    // off a copy before the broadband noise is measured on it.
    const MainsTable& t = mainsTable();
    Row re50{}, im50{}, re60{}, im60{};
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const Quad c50 = splat(t.c50[k]), s50 = splat(t.s50[k]);
        const Quad c60 = splat(t.c60[k]), s60 = splat(t.s60[k]);
        for (std::size_t j = 0; j < kQuads; ++j) {
            re50.q[j] += v[i].q[j] * c50;
            im50.q[j] += v[i].q[j] * s50;
            re60.q[j] += v[i].q[j] * c60;
            im60.q[j] += v[i].q[j] * s60;
        }
    }
    const Quad scale = splat(2.0f / static_cast<float>(n));
    for (std::size_t j = 0; j < kQuads; ++j) {
        re50.q[j] *= scale, im50.q[j] *= scale, re60.q[j] *= scale, im60.q[j] *= scale;
    }
    w.clean.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const Quad c50 = splat(t.c50[k]), s50 = splat(t.s50[k]);
        const Quad c60 = splat(t.c60[k]), s60 = splat(t.s60[k]);
        for (std::size_t j = 0; j < kQuads; ++j)
            w.clean[k].q[j] =
                v[i].q[j] - (re50.q[j] * c50 + im50.q[j] * s50 + re60.q[j] * c60 + im60.q[j] * s60);
    }

    for (std::size_t l = 0; l < kLanes; ++l) {
        out[l] = {};
        out[l].off = hi[l] - lo[l] < kFlatMv || (railed & kChannelsOf[l]) != 0;
        out[l].mains = std::max(std::hypot(re50[l], im50[l]), std::hypot(re60[l], im60[l]));
        w.rms[l].clear();
        w.hf[l].clear();
    }
    const Row* m50 = w.mean50.data();
    const Row* clean = w.clean.data();
    const Quad two = splat(2.0f), block = splat(static_cast<float>(kBlock));
    std::array<Row, kBlock> values;
    for (int b = 0; b + kBlock <= n; b += kBlock) {
        Row s{}, h{}, jump{};
        for (int i = b; i < b + kBlock; ++i) {
            const int k = kWarmUp + i;
            for (std::size_t j = 0; j < kQuads; ++j) {
                const Quad d = m50[k].q[j] - m50[k - kSlopeLag].q[j];
                s.q[j] += d * d;
            }
            if (i >= 2)
                for (std::size_t j = 0; j < kQuads; ++j) {
                    const Quad e =
                        (clean[i].q[j] - two * clean[i - 1].q[j] + clean[i - 2].q[j]) / two;
                    h.q[j] += e * e;
                }
            // The largest change over 10 ms in the block (from the sample before it on).
            for (std::size_t j = 0; j < kQuads; ++j)
                jump.q[j] = maxOf(jump.q[j], absOf(v[i].q[j] - v[i - kSlopeLag].q[j]));
        }
        // The block's median.
        std::copy_n(v + b, kBlock, values.begin());
        for (int c = 0; c < kMedianNetwork.size; ++c) {
            const auto [p, q] = kMedianNetwork.pairs[static_cast<std::size_t>(c)];
            Row& low = values[static_cast<std::size_t>(p)];
            Row& high = values[static_cast<std::size_t>(q)];
            for (std::size_t j = 0; j < kQuads; ++j) {
                const Quad a = low.q[j], z = high.q[j];
                low.q[j] = minOf(a, z);
                high.q[j] = maxOf(a, z);
            }
        }
        Row rms, hf;
        for (std::size_t j = 0; j < kQuads; ++j) {
            rms.q[j] = s.q[j] / block;
            hf.q[j] = h.q[j] / block;
        }
        for (std::size_t l = 0; l < kLanes; ++l) {
            if (!assessed[l])
                continue;
            blockJumps[l].push_back(jump[l]);
            w.rms[l].push_back(std::sqrt(rms[l]));
            w.hf[l].push_back(std::sqrt(hf[l]));
            blockMedians[l].push_back(values[kBlock / 2][l]);
        }
    }
    for (std::size_t l = 0; l < kLanes; ++l) {
        if (!assessed[l] || w.rms[l].empty())
            continue;
        // The quietest 30 % of the blocks: QRS complexes and T waves stay out. Broadband noise as
        // the white noise it would be (a halved second difference has 1.22 times its RMS).
        auto& rms = w.rms[l];
        auto& hf = w.hf[l];
        std::sort(rms.begin(), rms.end());
        std::sort(hf.begin(), hf.end());
        const double slope = rms[rms.size() * 3 / 10];
        out[l].noise = hf[hf.size() * 3 / 10] / 1.22;
        out[l].noisy = !out[l].off && (slope > kNoisySlopeMv || out[l].noise > kNoisyMv);
        w.block.assign(blockMedians[l].end() - static_cast<std::ptrdiff_t>(rms.size()),
                       blockMedians[l].end());
        out[l].baseline = medianOf(w.block);
    }
}

bool isLimbCombination(std::size_t l) {
    return l == signal::StandardLeadIII || l == signal::StandardLeadAVR ||
           l == signal::StandardLeadAVL || l == signal::StandardLeadAVF;
}

void addRange(std::vector<std::pair<std::int64_t, std::int64_t>>& ranges, std::int64_t from,
              std::int64_t to) {
    ranges.emplace_back(from, to);
}

// Ranges sorted and the overlapping ones joined.
std::vector<std::pair<std::int64_t, std::int64_t>>
merged(std::vector<std::pair<std::int64_t, std::int64_t>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const auto& r : ranges) {
        if (!out.empty() && r.first <= out.back().second)
            out.back().second = std::max(out.back().second, r.second);
        else
            out.push_back(r);
    }
    return out;
}

bool inRanges(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges,
              std::int64_t record) {
    const auto it = std::upper_bound(
        ranges.begin(), ranges.end(), record,
        [](std::int64_t r, const std::pair<std::int64_t, std::int64_t>& u) { return r < u.first; });
    return it != ranges.begin() && record < std::prev(it)->second;
}

} // namespace

bool SignalQuality::readable(std::int64_t record) const {
    return !inRanges(unreadable, record);
}

bool SignalQuality::aroundStepOnly(std::int64_t record) const {
    return inRanges(steps, record);
}

SignalQuality signalQuality(const signal::SampleRecord* records, std::size_t count,
                            std::size_t from, std::size_t length,
                            const std::array<bool, signal::kLeadCount>* present) {
    SignalQuality q;
    if (from >= count)
        return q;
    length = std::min(length, count - from);
    std::array<bool, signal::kLeadCount> carried{};
    carried.fill(true);
    if (present)
        carried = *present;

    const auto seconds = static_cast<std::size_t>((length + kSecond - 1) / kSecond);
    std::array<std::vector<Second>, signal::kLeadCount> perSecond;
    std::array<std::vector<float>, signal::kLeadCount> blockMedians, blockJumps;
    Work work;
    const bool limbsCarried = carried[signal::StandardLeadI] && carried[signal::StandardLeadII];
    std::array<bool, kLanes> assessed{};
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        assessed[l] = carried[l] && (!isLimbCombination(l) || !limbsCarried);
    std::array<Second, kLanes> second;
    Row lo, hi;
    for (std::size_t s = 0; s < seconds; ++s) {
        const std::int64_t start = static_cast<std::int64_t>(from + s * kSecond);
        const int span = static_cast<int>(
            std::min<std::size_t>(kSecond, from + length - static_cast<std::size_t>(start)));
        const int n = (span + kStep - 1) / kStep;
        work.x.resize(static_cast<std::size_t>(kWarmUp + n));
        std::array<int, signal::kChannels> railedCount{};
        for (int i = -kWarmUp; i < n; ++i) {
            // Before the recording's start the first record stands in.
            const std::int64_t t = std::max<std::int64_t>(0, start + i * kStep);
            const signal::LeadValues all = signal::deriveStandardLeads(records[t]);
            std::array<float, kLanes> mv;
            for (std::size_t l = 0; l < signal::kLeadCount; ++l)
                mv[l] = static_cast<float>(all[l] / signal::kUnitsPerMillivolt);
            std::memcpy(&work.x[static_cast<std::size_t>(kWarmUp + i)], mv.data(), sizeof(Row));
            if (i >= 0)
                for (std::size_t c = 0; c < signal::kChannels; ++c)
                    railedCount[c] += std::abs(records[t].c[c]) >= kRail;
        }
        unsigned railed = 0;
        for (std::size_t c = 0; c < signal::kChannels; ++c)
            if (railedCount[c] * 2 > n)
                railed |= 1u << c;
        assess(work, n, railed, assessed, second, lo, hi, blockMedians, blockJumps);
        for (std::size_t l = 0; l < signal::kLeadCount; ++l)
            if (assessed[l])
                perSecond[l].push_back(second[l]);
        // III, aVR, aVL and aVF are combinations of I and II: their noise is theirs.
        for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
            if (!carried[l] || !isLimbCombination(l) || !limbsCarried)
                continue;
            const Second& i = perSecond[signal::StandardLeadI].back();
            const Second& ii = perSecond[signal::StandardLeadII].back();
            Second c;
            c.off = hi[l] - lo[l] < kFlatMv || (railed & kChannelsOf[l]) != 0;
            c.noise = std::max(i.noise, ii.noise);
            c.noisy = !c.off && (i.noisy || ii.noisy);
            c.mains = std::max(i.mains, ii.mains);
            c.baseline = lo[l]; // not followed: drift and steps are I's and II's
            perSecond[l].push_back(c);
        }
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> ranges, noiseRanges, stepRanges;
    // Seconds no lead can be read in.
    for (std::size_t s = 0; s < seconds; ++s) {
        bool any = false, readable = false;
        for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
            if (!carried[l])
                continue;
            any = true;
            readable = readable || (!perSecond[l][s].off && !perSecond[l][s].noisy);
        }
        if (any && !readable) {
            const auto start = static_cast<std::int64_t>(from + s * kSecond);
            const std::int64_t end =
                std::min<std::int64_t>(start + kSecond, static_cast<std::int64_t>(from + length));
            addRange(ranges, start, end);
            addRange(noiseRanges, start, end);
        }
    }

    for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
        if (!carried[l] || perSecond[l].empty())
            continue;
        LeadQuality& lq = q.leads[l];
        const auto& sec = perSecond[l];
        int off = 0, noisy = 0, mains = 0, drift = 0;
        std::vector<double> noise, mainsMv;
        for (std::size_t s = 0; s < sec.size(); ++s) {
            off += sec[s].off;
            if (sec[s].off)
                continue;
            noisy += sec[s].noisy;
            mains += sec[s].mains > kMainsMv;
            noise.push_back(sec[s].noise);
            mainsMv.push_back(sec[s].mains);
            if (s > 0 && !sec[s - 1].off &&
                std::abs(sec[s].baseline - sec[s - 1].baseline) >= kDriftMv)
                ++drift;
        }
        const int on = static_cast<int>(sec.size()) - off;
        lq.off = off * 2 >= static_cast<int>(sec.size());
        lq.noisy = on > 0 && noisy * 3 >= on;
        lq.mains = on > 0 && mains * 3 >= on;
        lq.drift = on > 1 && drift * 3 >= on - 1;
        if (isLimbCombination(l) && limbsCarried)
            lq.drift =
                q.leads[signal::StandardLeadI].drift || q.leads[signal::StandardLeadII].drift;
        if (!noise.empty()) {
            lq.noiseMv = medianOf(noise);
            lq.mainsMv = medianOf(mainsMv);
        }
        // Steps: the median of three block medians before a block boundary against the three
        // after it and the three after those, the level before steady over six (a QRS in one
        // block moves none; a wide ectopic beat with its T is over within 300 ms, a step is not).
        const auto& bm = blockMedians[l];
        const auto& bj = blockJumps[l];
        auto median3 = [&](std::size_t k) {
            float a = bm[k], b = bm[k + 1], c = bm[k + 2];
            return std::max(std::min(a, b), std::min(std::max(a, b), c));
        };
        // A lead that is off around the boundary has no steps, only its fault.
        auto offAt = [&](std::size_t block) { return sec[block / 10].off; };
        for (std::size_t k = 6; k + 6 <= bm.size(); ++k) {
            if (offAt(k - 6) || offAt(k + 5))
                continue;
            const float before = median3(k - 3);
            const float jump = median3(k) - before, held = median3(k + 3) - before;
            const float trend = before - median3(k - 6);
            if (std::abs(jump) < kStepMv || std::abs(held) < kStepMv || (jump > 0) != (held > 0) ||
                std::abs(trend) >= kStepMv / 2)
                continue;
            // Against the level's course before it: a baseline that wanders as fast moves the
            // medians as far, but it was moving already.
            if (std::abs(jump - trend) < kStepMv)
                continue;
            // An electrode's step is made within 10 ms, around the boundary; the end of a tall T
            // wave on a wandering baseline moves the block medians as far, but slowly.
            if (std::max({bj[k - 1], bj[k], bj[k + 1]}) < kStepSharp * std::abs(jump))
                continue;
            ++lq.steps;
            const auto at = static_cast<std::int64_t>(from + k * kBlock * kStep);
            const std::int64_t a =
                std::max<std::int64_t>(static_cast<std::int64_t>(from), at - kStepBefore);
            addRange(ranges, a, at + kStepAfter);
            addRange(stepRanges, a, at + kStepAfter);
            k += 5; // one step, not the six boundaries around it
        }
    }

    q.unreadable = merged(std::move(ranges));
    // A step's stretch that noise overlaps is noise's.
    for (const auto& s : merged(std::move(stepRanges)))
        if (std::none_of(noiseRanges.begin(), noiseRanges.end(),
                         [&](const auto& n) { return n.first < s.second && s.first < n.second; }))
            q.steps.push_back(s);
    return q;
}

} // namespace velkard::measure
