// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/QrsDetector.h"

#include "signal/Leads.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure {

QrsDetector::QrsDetector() {
    // Until a block is complete every lead counts alike.
    leadWeight_.fill(static_cast<std::uint32_t>(kWeightOne));
    slopeScale_.fill(1.0f);
}

bool QrsDetector::shapeAt(std::int64_t centre, Shape& out) const {
    // The slopes lie in the ring delayed by the filters; only what the ring still holds.
    const std::int64_t first = centre + kFilterDelay - kShapeHalf;
    const std::int64_t last = centre + kFilterDelay + kShapeHalf;
    if (first < 0 || last >= n_ || n_ - first >= kShapeRing)
        return false;
    for (std::size_t k = 0; k < kLeads; ++k)
        for (int i = 0; i < kShapeLength; ++i)
            out[k * kShapeLength + static_cast<std::size_t>(i)] =
                static_cast<float>(slopeRing_[static_cast<std::size_t>((first + i * kShapeStep) &
                                                                       (kShapeRing - 1))][k]) *
                slopeScale_[k];
    return true;
}

namespace {
// The last N values, oldest first: v goes in at the back, the oldest out; kept counts them.
template <typename T, std::size_t N> void keepLast(std::array<T, N>& ring, int& kept, const T& v) {
    std::rotate(ring.begin(), ring.begin() + 1, ring.end());
    ring.back() = v;
    kept = std::min(kept + 1, static_cast<int>(N));
}

// Correlation of a and b, leaving out the parts (of `parts` alike: the leads of a shape, each
// kShapeLength long) whose bit in `skip` is set.
template <typename A>
double correlation(const A& a, const A& b, unsigned skip = 0, std::size_t parts = 1) {
    double ab = 0, aa = 0, bb = 0;
    const std::size_t part = a.size() / parts;
    for (std::size_t p = 0; p < parts; ++p) {
        if ((skip >> p) & 1u)
            continue;
        for (std::size_t i = p * part; i < (p + 1) * part; ++i) {
            ab += static_cast<double>(a[i]) * b[i];
            aa += static_cast<double>(a[i]) * a[i];
            bb += static_cast<double>(b[i]) * b[i];
        }
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}
} // namespace

bool QrsDetector::likeRecentBeats(const Peak& p) const {
    if (shapesKept_ == 0)
        return true;
    Shape shape;
    for (int lag = -kShapeLag; lag <= kShapeLag; lag += 2) {
        if (!shapeAt(p.fiducial + lag, shape))
            continue;
        for (int i = kShapesKept - shapesKept_; i < kShapesKept; ++i)
            if (correlation(shape, shapes_[static_cast<std::size_t>(i)], offLeads_, kLeads) >=
                kShapeMatch)
                return true;
    }
    return false;
}

bool QrsDetector::sizesAt(std::int64_t fiducial, Sizes& out) const {
    // Peak to peak of every lead's low-passed signal within +-60 ms of the fiducial point.
    constexpr int delay = (kShort - 1) / 2 + (kLong - 1) / 2;
    const std::int64_t first = fiducial + delay - kShapeHalf;
    const std::int64_t last = fiducial + delay + kShapeHalf;
    if (first < 0 || last >= n_ || n_ - first >= kShapeRing)
        return false;
    // Taken about the straight line between the levels 100 ms beyond either end (as far as the
    // ring still holds them), so a wandering baseline does not add the distance it moves in those
    // 120 ms, and a wide QRS is not cut by a line through its own slopes.
    constexpr std::int64_t kLevelBeyond = 80;
    const auto at = [&](std::int64_t i, std::size_t k) {
        return static_cast<std::int64_t>(
            lowRing_[static_cast<std::size_t>(i & (kShapeRing - 1))][k]);
    };
    const std::int64_t from = std::max(first - kLevelBeyond, n_ - kShapeRing + 1);
    const std::int64_t to = std::min(last + kLevelBeyond, n_ - 1);
    const std::int64_t span = to - from;
    const auto sizeOf = [&](const auto& value) {
        const std::int64_t a = value(from), b = value(to);
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        for (std::int64_t i = first; i <= last; ++i) {
            // span times the distance from the line, in whole numbers
            const std::int64_t v = value(i) * span - (a * (to - i) + b * (i - from));
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return static_cast<std::int32_t>((hi - lo) / span);
    };
    for (std::size_t k = 0; k < kLeads; ++k)
        out[k] = sizeOf([&](std::int64_t i) { return at(i, k); });
    out[kIiiSize] = sizeOf([&](std::int64_t i) { return at(i, 1) - at(i, 0); });
    return true;
}

bool QrsDetector::readableAlone(std::size_t size) const {
    if (sizesKept_ < 3)
        return true;
    std::array<std::int32_t, kShapesKept> own{}, largest{};
    for (int i = 0; i < sizesKept_; ++i) {
        const Sizes& s = sizes_[static_cast<std::size_t>(kShapesKept - 1 - i)];
        own[static_cast<std::size_t>(i)] = s[size];
        largest[static_cast<std::size_t>(i)] = std::max({s[0], s[1], s[kIiiSize]});
    }
    const auto mid = static_cast<std::ptrdiff_t>(sizesKept_ / 2);
    std::nth_element(own.begin(), own.begin() + mid, own.begin() + sizesKept_);
    std::nth_element(largest.begin(), largest.begin() + mid, largest.begin() + sizesKept_);
    return own[static_cast<std::size_t>(mid)] >=
           kAloneShare * largest[static_cast<std::size_t>(mid)];
}

double QrsDetector::sizeAgainstBeats(const Peak& p) const {
    // The peak's QRS size against the median of the last beats' lead by lead, summed over the
    // leads by their weights (a lead full of noise counts as little as in the detection).
    Sizes s;
    if (sizesKept_ < 3 || !sizesAt(p.fiducial, s))
        return 1.0;
    double own = 0, beats = 0;
    for (std::size_t k = 0; k < kLeads; ++k) {
        if (off(k))
            continue;
        std::array<std::int32_t, kShapesKept> v{};
        for (int i = 0; i < sizesKept_; ++i)
            v[static_cast<std::size_t>(i)] =
                sizes_[static_cast<std::size_t>(kShapesKept - 1 - i)][k];
        const auto mid = v.begin() + sizesKept_ / 2;
        std::nth_element(v.begin(), mid, v.begin() + sizesKept_);
        const double w = static_cast<double>(leadWeight_[k]);
        own += w * s[k];
        beats += w * *mid;
    }
    return beats > 0 ? own / beats : 1.0;
}

void QrsDetector::push(const signal::SampleRecord* records, std::size_t count,
                       std::vector<std::int64_t>& beats) {
    for (std::size_t i = 0; i < count; ++i)
        step(records[i], beats);
}

void QrsDetector::step(const signal::SampleRecord& r, std::vector<std::int64_t>& beats) {
    const signal::LeadValues all = signal::deriveStandardLeads(r);
    Eight leads{all[signal::StandardLeadI],  all[signal::StandardLeadII],
                all[signal::StandardLeadV1], all[signal::StandardLeadV2],
                all[signal::StandardLeadV3], all[signal::StandardLeadV4],
                all[signal::StandardLeadV5], all[signal::StandardLeadV6]};
    // A lead formed from a channel at the amplifier's limit (an electrode off) holds its last
    // value: wrapped round, its 16-bit sum jumps by 65536 units with the other channels' beats
    // and makes beats of its own. Lead I is formed from c0 and c1, II is c1, V1..V6 are c2..c7
    // with c0 and c1.
    const bool c0 = std::abs(r.c[0]) >= kRailUnits, c1 = std::abs(r.c[1]) >= kRailUnits;
    unsigned railedNow = 0;
    for (std::size_t k = 0; k < kLeads; ++k) {
        const bool railed = k == 0   ? c0 || c1
                            : k == 1 ? c1
                                     : c0 || c1 || std::abs(r.c[k]) >= kRailUnits;
        if (railed) {
            leads[k] = held_[k];
            railedNow |= 1u << k;
        } else {
            held_[k] = leads[k];
        }
    }
    // How long each lead has been railed, where any is or was a moment ago.
    if (railedNow | railedBefore_) {
        for (std::size_t k = 0; k < kLeads; ++k) {
            if (!((railedNow >> k) & 1u)) {
                railedRun_[k] = 0;
                offLeads_ &= ~(1u << k);
            } else if (railedRun_[k] < kOffRun && ++railedRun_[k] == kOffRun) {
                offLeads_ |= 1u << k;
            }
        }
        railedBefore_ = railedNow;
    }
    // With II's channel off (the right arm's electrode) every lead above is formed from it, and
    // III alone, which does not take in the right arm, still carries the heart: it stands in
    // lead I's place, shifted to go on from I's last value so the change makes no step. The
    // last beats' shapes and sizes in that place were I's: they are forgotten as III comes in
    // and goes.
    const bool iiiForI = off(1) && !c0;
    if (iiiForI != iiiForI_) {
        iiiReadable_ = !iiiForI || readableAlone(kIiiSize);
        iiiShift_ = held_[0] - all[signal::StandardLeadIII];
        shapesKept_ = 0;
        sizesKept_ = 0;
        iiiForI_ = iiiForI;
    }
    if (iiiForI_) {
        leads[0] = std::clamp(all[signal::StandardLeadIII] + iiiShift_, -32767, 32767);
        held_[0] = leads[0];
        railedRun_[0] = 0;
        offLeads_ &= ~1u;
    }
    // The levels were learnt on the energy of the leads then live: where one goes off or comes
    // back, the beats' energy falls or rises by its share, and they are learnt again over the
    // next 2 s (the peaks found meanwhile are judged by them, as at the start).
    if (offLeads_ != learntOff_) {
        learntOff_ = offLeads_;
        // One limb lead left alone: I or II with the other off (and every chest lead), or III.
        const unsigned live = ~offLeads_ & ((1u << kLeads) - 1);
        silenced_ = (live == 1u && (iiiForI_ ? !iiiReadable_ : !readableAlone(0))) ||
                    (live == 2u && !readableAlone(1));
        if (!learning_) {
            learning_ = true;
            learnUntil_ = n_ + kLearning;
            learningPeaks_.clear();
            searchBack_ = {};
        }
    }
    const auto meanPos = static_cast<std::size_t>(n_ & (kMean - 1));
    const auto centrePos = static_cast<std::size_t>((n_ - kMean / 2) & (kMean - 1));
    const auto diffPos = static_cast<std::size_t>(n_ & (kDiff - 1));
    const auto shortPos = static_cast<std::size_t>(shortPos_);
    const auto longPos = static_cast<std::size_t>(longPos_);
    // The filters of the eight leads side by side, on copies so the compiler sees no aliasing
    // and takes them in vectors.
    const Eight oldShort = shortRing_[shortPos], oldLong = longRing_[longPos];
    const Eight oldMean = meanRing_[meanPos], centre = meanRing_[centrePos];
    const Eight oldHp = diffRing_[diffPos];
    Eight shortSum = shortSum_, longSum = longSum_, meanSum = meanSum_, hp, slope;
    for (std::size_t k = 0; k < kLeads; ++k) {
        shortSum[k] += leads[k] - oldShort[k];
        longSum[k] += shortSum[k] - oldLong[k];
        // High-pass: the low-passed value 16 samples back less the mean of the last 32.
        meanSum[k] += longSum[k] - oldMean[k];
        hp[k] = centre[k] * kMean - meanSum[k];
        // Scaled down so eight squares integrated over the window stay far inside 64 bits.
        slope[k] = (hp[k] - oldHp[k]) / 64;
    }
    shortSum_ = shortSum;
    longSum_ = longSum;
    meanSum_ = meanSum;
    shortRing_[shortPos] = leads;
    longRing_[longPos] = shortSum;
    meanRing_[meanPos] = longSum;
    diffRing_[diffPos] = hp;
    slopeRing_[static_cast<std::size_t>(n_ & (kShapeRing - 1))] = slope;
    lowRing_[static_cast<std::size_t>(n_ & (kShapeRing - 1))] = longSum;
    // Squares capped at kMaxSquare = (2^20)^2: the magnitude capped at 2^20 first keeps them in
    // unsigned 32 by 32 bit products. A square is not negative, so the shift is the division by
    // kWeightOne.
    static_assert(kMaxSquare == (std::int64_t{1} << 40) && kWeightOne == 256);
    std::array<std::int64_t, kLeads> blockEnergy = blockEnergy_;
    std::uint64_t e = 0;
    for (std::size_t k = 0; k < kLeads; ++k) {
        const auto magnitude = static_cast<std::uint32_t>(slope[k] < 0 ? -slope[k] : slope[k]);
        const std::uint32_t capped = std::min<std::uint32_t>(magnitude, 1u << 20);
        const std::uint64_t square = static_cast<std::uint64_t>(capped) * capped;
        blockEnergy[k] += static_cast<std::int64_t>(square);
        e += static_cast<std::uint64_t>(static_cast<std::uint32_t>(square >> 8)) * leadWeight_[k];
    }
    blockEnergy_ = blockEnergy;
    if ((n_ + 1) % kBlock == 0)
        updateLeadNoise();
    shortPos_ = shortPos_ + 1 == kShort ? 0 : shortPos_ + 1;
    longPos_ = longPos_ + 1 == kLong ? 0 : longPos_ + 1;

    integral_ += static_cast<std::int64_t>(e) -
                 energy_[static_cast<std::size_t>((n_ - kWindow) & (kHistory - 1))];
    energy_[static_cast<std::size_t>(n_ & (kHistory - 1))] = static_cast<std::int64_t>(e);

    // The first samples carry the filters' start-up; they make no peaks.
    if (n_ >= kShort + kLong + kMean + kDiff + kWindow) {
        if (candidate_.index >= 0) {
            if (integral_ > candidate_.integral) {
                candidate_.index = n_;
                candidate_.integral = integral_;
            } else if (n_ - candidate_.index >= kConfirm) {
                Peak p = candidate_;
                candidate_ = {};
                peakFound(p, beats);
            }
        } else if (integral_ > previousIntegral_) {
            candidate_.index = n_;
            candidate_.integral = integral_;
        }
    }
    previousIntegral_ = integral_;

    if (learning_ && n_ + 1 >= learnUntil_)
        endLearning(beats);
    else if (!learning_)
        searchBack(beats);
    ++n_;
}

void QrsDetector::updateLeadNoise() {
    const auto slot = static_cast<std::size_t>(blocksSeen_ % kBlocks);
    const int had = std::min(blocksSeen_, kBlocks);
    ++blocksSeen_;
    const int filled = std::min(blocksSeen_, kBlocks);
    std::array<std::int64_t, kLeads> noise{};
    for (std::size_t k = 0; k < kLeads; ++k) {
        // The sorted copy of the ring: the block leaving it taken out, the new one put in.
        auto& sorted = blockSorted_[k];
        auto end = sorted.begin() + had;
        if (had == kBlocks) {
            const auto leaving = std::lower_bound(sorted.begin(), end, blockRing_[k][slot]);
            end = std::move(leaving + 1, end, leaving);
        }
        const std::int64_t value = blockEnergy_[k] / kBlock;
        blockRing_[k][slot] = value;
        blockEnergy_[k] = 0;
        const auto at = std::upper_bound(sorted.begin(), end, value);
        std::move_backward(at, end, end + 1);
        *at = value;
        noise[k] = sorted[static_cast<std::size_t>(filled / 2)];
    }
    // Weights against the median noise of the leads that carry a signal, so the sum keeps its
    // scale when all leads are alike and only the leads noisier or cleaner than the others move.
    // A lead quieter than white noise of one unit carries none: a lead the recording lacks is
    // derived from the others and holds only their rounding, which an offset in a limb channel
    // turns from zero into a few units of energy; counted, such leads made the reference and
    // weighted every real lead down to the least weight.
    // (When no lead is above it, as on a noiseless synthetic ECG, every lead with any noise is.)
    const std::int64_t flat =
        std::any_of(noise.begin(), noise.end(), [](std::int64_t v) { return v > kFlatNoise; })
            ? kFlatNoise
            : 0;
    std::array<std::int64_t, kLeads> carrying{};
    int carried = 0;
    for (std::int64_t v : noise)
        if (v > flat)
            carrying[static_cast<std::size_t>(carried++)] = v;
    if (carried == 0 || blocksSeen_ < kBlocks / 2)
        return;
    const auto mid = carrying.begin() + carried / 2;
    std::nth_element(carrying.begin(), mid, carrying.begin() + carried);
    const double reference = static_cast<double>(*mid);
    for (std::size_t k = 0; k < kLeads; ++k) {
        const double w = noise[k] > 0 ? reference / static_cast<double>(noise[k]) : 1.0;
        leadWeight_[k] = static_cast<std::uint32_t>(
            std::lround(std::clamp(w, kMinWeight, kMaxWeight) * kWeightOne));
        slopeScale_[k] =
            static_cast<float>(std::sqrt(static_cast<double>(leadWeight_[k]) / kWeightOne));
    }
}

void QrsDetector::findFiducial(Peak& p) const {
    // The steepest moment of the QRS lies within the integration window before the peak; other
    // moments nearly as steep are kept beside it.
    const std::int64_t first = std::max<std::int64_t>(0, p.index - kWindow - 8);
    auto energy = [&](std::int64_t i) {
        return energy_[static_cast<std::size_t>(i & (kHistory - 1))];
    };
    std::int64_t best = p.index;
    std::int64_t bestEnergy = -1;
    for (std::int64_t i = first; i <= p.index; ++i)
        if (energy(i) > bestEnergy) {
            bestEnergy = energy(i);
            best = i;
        }
    p.fiducial = std::max<std::int64_t>(0, best - kFilterDelay);
    p.steepCount = 0;
    for (std::int64_t i = first + 1; i < p.index && p.steepCount < 4; ++i)
        if (i != best &&
            static_cast<double>(energy(i)) >= kSteep * static_cast<double>(bestEnergy) &&
            energy(i) > energy(i - 1) && energy(i) >= energy(i + 1))
            p.steep[static_cast<std::size_t>(p.steepCount++)] =
                std::max<std::int64_t>(0, i - kFilterDelay);
}

void QrsDetector::keepFiducialPlace(Peak& p) const {
    // Where two slopes are about as steep, which is steepest changes with the noise from beat to
    // beat; the fiducial point goes to the one where the QRS matches the last beats' best, so
    // it keeps its place in the QRS. Only steep moments are candidates, so it cannot drift.
    if (p.steepCount == 0 || shapesKept_ == 0)
        return;
    Shape shape;
    auto fit = [&](std::int64_t at) {
        double best = -2;
        if (shapeAt(at, shape))
            for (int i = kShapesKept - shapesKept_; i < kShapesKept; ++i)
                best = std::max(best, correlation(shape, shapes_[static_cast<std::size_t>(i)],
                                                  offLeads_, kLeads));
        return best;
    };
    double bestFit = fit(p.fiducial);
    for (int k = 0; k < p.steepCount; ++k) {
        const double f = fit(p.steep[static_cast<std::size_t>(k)]);
        if (f > bestFit) {
            bestFit = f;
            p.fiducial = p.steep[static_cast<std::size_t>(k)];
        }
    }
}

void QrsDetector::peakFound(Peak p, std::vector<std::int64_t>& beats) {
    p.height = std::sqrt(static_cast<double>(p.integral));
    findFiducial(p);
    if (learning_)
        learningPeaks_.push_back(p);
    else
        classify(p, beats);
}

void QrsDetector::endLearning(std::vector<std::int64_t>& beats) {
    learning_ = false;
    double highest = 0, sum = 0;
    for (const Peak& p : learningPeaks_) {
        highest = std::max(highest, p.height);
        sum += p.height;
    }
    signalLevel_ = 0.7 * highest;
    noiseLevel_ =
        learningPeaks_.empty() ? 0.0 : 0.5 * sum / static_cast<double>(learningPeaks_.size());
    noiseLevel_ = std::min(noiseLevel_, 0.3 * signalLevel_);
    for (const Peak& p : learningPeaks_)
        classify(p, beats);
    learningPeaks_.clear();
}

void QrsDetector::classify(const Peak& p, std::vector<std::int64_t>& beats) {
    if (silenced_ || (lastBeat_ >= 0 && p.index - lastBeat_ < kRefractory))
        return;
    if (p.height > threshold()) {
        // A smaller peak soon after a beat is its T wave.
        if (lastBeat_ >= 0 && p.index - lastBeat_ < kTWaveSpan &&
            p.height < 0.5 * lastBeatHeight_) {
            noiseLevel_ = 0.125 * p.height + 0.875 * noiseLevel_;
            return;
        }
        // In noise, a peak early in the interval (small, or in much noise any below the signal
        // level), and after a pause (when the levels have been lowered) a peak far smaller than
        // the last beat, are noise unless they have a QRS of the shapes seen.
        const std::int64_t since = lastBeat_ >= 0 ? p.index - lastBeat_ : 0;
        const bool earlyInNoise =
            since * 10 < 9 * meanRr() &&
            ((noiseLevel_ > kNoisy * signalLevel_ && p.height < 0.6 * signalLevel_) ||
             (noiseLevel_ > 3 * kNoisy * signalLevel_ && p.height < signalLevel_));
        const bool smallAfterPause = since > 2 * meanRr() && p.height < 0.5 * lastBeatHeight_;
        // Below the level of the beats and less than half their size on the signal itself: a
        // spike of muscle noise or an artifact, whose steep slopes make energy but no QRS. A
        // premature beat, even a wide one with little energy, keeps the size of a QRS. The
        // beats' sizes hold after a stretch that could not be read too, so the first peak after
        // it is judged by them.
        if (p.height < signalLevel_ && sizeAgainstBeats(p) < kSmallSize) {
            noiseLevel_ = 0.125 * p.height + 0.875 * noiseLevel_;
            return;
        }
        // Early in noise, a complex as large on the signal as the beats is no spike of noise: a
        // premature ventricular beat, unlike every recent beat, is at least that large.
        const bool asLargeAsBeats = earlyInNoise && sizeAgainstBeats(p) >= kBeatSize;
        if (lastBeat_ >= 0 && (earlyInNoise || smallAfterPause) && !asLargeAsBeats &&
            !likeRecentBeats(p)) {
            noiseLevel_ = 0.125 * p.height + 0.875 * noiseLevel_;
            return;
        }
        acceptBeat(p, false, beats);
        return;
    }
    noiseLevel_ = 0.125 * p.height + 0.875 * noiseLevel_;
    if (p.height > 0.5 * threshold() && p.height > searchBack_.height &&
        (lastBeat_ < 0 || p.index - lastBeat_ >= kTWaveSpan)) {
        // Found again later, a candidate far smaller than the last beat must have its QRS shape;
        // the shape is judged now, while the slopes are still at hand.
        const double size = sizeAgainstBeats(p);
        if (p.height < 0.5 * lastBeatHeight_ && size < kBeatSize && !likeRecentBeats(p))
            return;
        if (size < kSmallSize)
            return;
        searchBack_ = p;
    }
}

void QrsDetector::acceptBeat(Peak p, bool searchedBack, std::vector<std::int64_t>& beats) {
    // p is taken by value: it may be the search-back candidate, which is cleared below.
    signalLevel_ = searchedBack ? 0.25 * p.height + 0.75 * signalLevel_
                                : 0.125 * p.height + 0.875 * signalLevel_;
    if (lastBeat_ >= 0) {
        keepLast(rr_, rrCount_, p.index - lastBeat_);
        updateMeanRr();
    }
    lastBeat_ = p.index;
    lastBeatHeight_ = p.height;
    keepFiducialPlace(p);
    Sizes sizes;
    if (sizesAt(p.fiducial, sizes))
        keepLast(sizes_, sizesKept_, sizes);
    Shape shape;
    if (shapeAt(p.fiducial, shape))
        keepLast(shapes_, shapesKept_, shape);
    searchBack_ = {};
    beats.push_back(p.fiducial);
}

void QrsDetector::updateMeanRr() {
    if (rrCount_ == 0) {
        meanRr_ = signal::kRecordsPerSecond; // until two beats are known: as at 60 per minute
        return;
    }
    std::int64_t sum = 0;
    for (int i = 0; i < rrCount_; ++i)
        sum += rr_[rr_.size() - 1 - static_cast<std::size_t>(i)];
    meanRr_ = sum / rrCount_;
}

void QrsDetector::searchBack(std::vector<std::int64_t>& beats) {
    if (lastBeat_ < 0)
        return;
    const std::int64_t silence = n_ - lastBeat_;
    if (silence > meanRr() * 166 / 100 && searchBack_.index >= 0) {
        acceptBeat(searchBack_, true, beats);
        return;
    }
    // A long pause without any candidate: the levels may be too high (a gain change, or a
    // burst of noise pushed them up); lower them so smaller beats are found again.
    if (silence > 4 * signal::kRecordsPerSecond && silence % (signal::kRecordsPerSecond / 2) == 0)
        signalLevel_ *= 0.5;
}

QrsDetector::Levels QrsDetector::levels() const {
    Levels l;
    l.learnt = !learning_;
    l.signal = signalLevel_;
    l.noise = noiseLevel_;
    l.lastBeatHeight = lastBeatHeight_;
    l.rr = rr_;
    l.rrCount = rrCount_;
    l.sizes = sizes_;
    l.sizesKept = sizesKept_;
    return l;
}

void QrsDetector::resumeAfterUnreadable(const Levels& before) {
    if (!before.learnt || learning_)
        return;
    signalLevel_ = before.signal;
    noiseLevel_ = before.noise;
    lastBeatHeight_ = before.lastBeatHeight;
    rr_ = before.rr;
    rrCount_ = before.rrCount;
    sizes_ = before.sizes;
    sizesKept_ = before.sizesKept;
    updateMeanRr();
    // The last beat lay before or in the stretch: the next is judged on its own, and no peak of
    // the stretch waits to be taken by the search back.
    lastBeat_ = -1;
    searchBack_ = {};
    candidate_ = {};
}

void QrsDetector::finish(std::vector<std::int64_t>& beats) {
    if (candidate_.index >= 0) {
        Peak p = candidate_;
        candidate_ = {};
        peakFound(p, beats);
    }
    if (learning_)
        endLearning(beats);
}

namespace {

// A beat's QRS as the slopes of the eight independent leads about its fiducial point: the change
// over 10 ms of a 5-sample mean, every fourth sample over +-60 ms, one vector. A step's slope is
// one instant in the same direction in every lead it is in; a QRS's runs through several.
constexpr int kBeatHalf = 48, kBeatStep = 4, kBeatLength = 2 * kBeatHalf / kBeatStep + 1;
using BeatShape = std::array<float, 8 * kBeatLength>;

bool beatShapeAt(const signal::SampleRecord* records, std::size_t count, std::int64_t centre,
                 BeatShape& out) {
    constexpr int kMeanHalf = 2, kLag = 4;
    const std::int64_t first = centre - kBeatHalf - kLag - kMeanHalf;
    const std::int64_t last = centre + kBeatHalf + kLag + kMeanHalf;
    if (first < 0 || last >= static_cast<std::int64_t>(count))
        return false;
    auto meanAt = [&](std::int64_t t, std::size_t k) {
        constexpr std::array<std::size_t, 8> kIndependent{
            signal::StandardLeadI,  signal::StandardLeadII, signal::StandardLeadV1,
            signal::StandardLeadV2, signal::StandardLeadV3, signal::StandardLeadV4,
            signal::StandardLeadV5, signal::StandardLeadV6};
        float sum = 0;
        for (std::int64_t i = t - kMeanHalf; i <= t + kMeanHalf; ++i)
            sum += static_cast<float>(
                signal::deriveStandardLeads(records[static_cast<std::size_t>(i)])[kIndependent[k]]);
        return sum;
    };
    for (std::size_t k = 0; k < 8; ++k)
        for (int i = 0; i < kBeatLength; ++i) {
            const std::int64_t t = centre - kBeatHalf + i * kBeatStep;
            out[k * kBeatLength + static_cast<std::size_t>(i)] =
                meanAt(t + kLag, k) - meanAt(t - kLag, k);
        }
    return true;
}

// Whether the beat at b has the QRS of one of the beats in like (best lag within +-20 ms).
bool shapedLike(const signal::SampleRecord* records, std::size_t count, std::int64_t b,
                const std::vector<std::int64_t>& like, double match) {
    std::vector<BeatShape> shapes;
    for (std::int64_t l : like) {
        BeatShape s;
        if (beatShapeAt(records, count, l, s))
            shapes.push_back(s);
    }
    BeatShape shape;
    for (int lag = -16; lag <= 16; lag += 2) {
        if (!beatShapeAt(records, count, b + lag, shape))
            continue;
        for (const BeatShape& s : shapes)
            if (correlation(shape, s) >= match)
                return true;
    }
    return false;
}

} // namespace

std::vector<std::int64_t> detectBeats(const signal::SampleRecord* records, std::size_t count) {
    return detectBeats(records, count, signalQuality(records, count));
}

std::vector<std::int64_t> detectBeats(const signal::SampleRecord* records, std::size_t count,
                                      const SignalQuality& quality) {
    QrsDetector detector;
    std::vector<std::int64_t> beats;
    beats.reserve(count / 300 + 16);
    // Through each stretch the signal quality could not read, and then on with the levels from
    // before it: what a burst of noise or an electrode step did to them ends with it, instead of
    // hiding the beats after it until they have come down.
    std::size_t at = 0;
    for (const auto& [first, end] : quality.unreadable) {
        const auto from = std::clamp<std::size_t>(
            static_cast<std::size_t>(std::max<std::int64_t>(0, first)), at, count);
        const auto to = std::clamp<std::size_t>(
            static_cast<std::size_t>(std::max<std::int64_t>(0, end)), from, count);
        detector.push(records + at, from - at, beats);
        const QrsDetector::Levels before = detector.levels();
        detector.push(records + from, to - from, beats);
        detector.resumeAfterUnreadable(before);
        at = to;
    }
    detector.push(records + at, count - at, beats);
    detector.finish(beats);
    // Nothing is taken from a stretch of noise. Around an electrode step the leads can still be
    // read: a beat there stands when its QRS is that of the readable beats either side (what the
    // step itself made is not).
    // The correlation needed with one of them: what 1.5 mV steps made on the development
    // records stayed below 0.8; nine in ten real beats near a step or in a wandering baseline's
    // false one reach 0.9.
    constexpr double kMatch = 0.9;
    std::vector<std::int64_t> kept;
    kept.reserve(beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const std::int64_t b = beats[i];
        if (quality.readable(b)) {
            kept.push_back(b);
            continue;
        }
        if (!quality.aroundStepOnly(b))
            continue;
        std::vector<std::int64_t> like;
        for (std::size_t j = i; j-- > 0 && like.size() < 2;)
            if (quality.readable(beats[j]))
                like.push_back(beats[j]);
        for (std::size_t j = i + 1; j < beats.size() && like.size() < 4; ++j)
            if (quality.readable(beats[j]))
                like.push_back(beats[j]);
        if (shapedLike(records, count, b, like, kMatch))
            kept.push_back(b);
    }
    return kept;
}

} // namespace velkard::measure
