// SPDX-License-Identifier: GPL-3.0-or-later
// QRS detection on all leads, sample by sample, for the live sweep and for recordings alike.
//
// Each of the eight independent leads (I, II, V1..V6) goes through a low-pass made of two moving
// sums of 16 and 13 samples (zeros at 50 Hz and near 60 Hz, so mains interference drops out), a
// high-pass that takes off a 40 ms moving mean (baseline wander, and most of the slow T and P
// waves) and a 10 ms difference, which leaves the band of QRS slopes.
// The squares of the eight results, each weighted by the median noise of the leads over that
// lead's own (its noise: the median of its energy over the last twenty 100-ms blocks; so a lead
// full of muscle noise counts for little and a clean one for much), are summed and integrated over
// 120 ms, wide enough for broad QRS complexes. Peaks of the square root of that energy are sorted
// into QRS complexes and noise by two adaptive levels (after Pan and Tompkins): a refractory period
// of 200 ms, a T-wave test for peaks within 440 ms of a beat, a shape test for early peaks in
// noise (sooner than 0.9 mean RR, below 0.6 of the signal level while noise peaks reach 8 % of
// it, below the signal level while they reach 24 %: unless their QRS slopes correlate with one
// of the last eight beats', or their size on the low-passed leads is at least the last beats',
// they are noise) and for small peaks after a pause, a size test (a
// peak below the signal level whose peak-to-peak size on the low-passed leads is under half the
// last beats' is noise: spikes of muscle noise have steep slopes but little size), and a search
// back at half the threshold when no beat has come for 1.66 mean RR intervals. Integer arithmetic
// up to the energy, so long runs never drift.
#pragma once

#include "measure/SignalQuality.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velkard::measure {

class QrsDetector {
public:
    QrsDetector();

    // Feeds records; appends the record index (counted from the first record fed) of each QRS
    // found. A beat is reported about 0.3 s after it, later when found by the search back.
    void push(const signal::SampleRecord* records, std::size_t count,
              std::vector<std::int64_t>& beats);
    // Ends the input: reports what is still pending.
    void finish(std::vector<std::int64_t>& beats);

    // Records fed so far.
    std::int64_t position() const { return n_; }

    // The levels the detector has learnt from the beats and the noise between them.
    struct Levels {
        bool learnt = false;
        double signal = 0, noise = 0, lastBeatHeight = 0;
        std::array<std::int64_t, 8> rr{};
        int rrCount = 0;
        // QRS sizes of the last beats, by lead (and III's after them)
        std::array<std::array<std::int32_t, 9>, 8> sizes{};
        int sizesKept = 0;
    };
    Levels levels() const;
    // After a stretch that could not be read (a burst of noise, an electrode step): the levels
    // from before it, so what the stretch did to them does not hide the beats after it; nothing
    // found in it is pending any more.
    void resumeAfterUnreadable(const Levels& before);

private:
    static constexpr int kLeads = 8;
    static constexpr int kShort = 16; // moving sums
    static constexpr int kLong = 13;
    static constexpr int kMean = 32;     // high-pass: less the 40 ms mean
    static constexpr int kDiff = 8;      // difference span
    static constexpr int kWindow = 96;   // integration, 120 ms
    static constexpr int kHistory = 256; // ring buffers (power of two)
    // Delay of the QRS slope through the filters, in records.
    static constexpr int kFilterDelay = (kShort - 1) / 2 + (kLong - 1) / 2 + kMean / 2 + kDiff / 2;

    static constexpr int kConfirm = 80;     // a peak stands when not exceeded for 100 ms
    static constexpr int kRefractory = 160; // 200 ms
    static constexpr int kTWaveSpan = 352;  // 440 ms: T waves of long QT intervals too
    static constexpr int kLearning = 1600;  // 2 s
    static constexpr int kShapeRing = 512;  // weighted slopes kept for the shape test
    static constexpr int kShapeHalf = 48;   // +-60 ms,
    static constexpr int kShapeStep = 4;    // every fourth sample
    static constexpr int kShapeLength = 2 * kShapeHalf / kShapeStep + 1;
    static constexpr int kShapeLag = 16; // searched +-20 ms
    static constexpr int kShapesKept = 8;
    static constexpr double kShapeMatch = 0.7; // correlation of a QRS with a beat's
    static constexpr double kNoisy = 0.08;     // noise level against signal level: noisy
    static constexpr double kSmallSize = 0.5;  // QRS size against the last beats': not a QRS
    static constexpr double kBeatSize = 1.0;   // ... a QRS, whatever its shape
    static constexpr double kSteep = 0.5;      // energy this share of the steepest's: as steep
    static constexpr int kBlock = 80;          // lead noise: energy per 100 ms,
    static constexpr int kBlocks = 20;         // the median of the last 2 s
    // Lead noise of white noise of one unit RMS: the sum of the squared taps of the slope filter.
    static constexpr std::int64_t kFlatNoise = 212;
    // Lead weights in 1/256, between 1/16 and 16; squares are capped so no sum can overflow.
    static constexpr std::int64_t kWeightOne = 256;
    static constexpr double kMinWeight = 1.0 / 16, kMaxWeight = 16;
    static constexpr std::int64_t kMaxSquare = std::int64_t{1} << 40;

    struct Peak {
        std::int64_t index = -1;    // record index of the integrated peak
        std::int64_t integral = 0;  // integrated energy there
        double height = 0;          // its square root
        std::int64_t fiducial = -1; // steepest moment of the QRS
        // Moments about as steep (local peaks of the energy above half its peak), of which
        // the one where the QRS looks most like the last beats' becomes the fiducial point.
        std::array<std::int64_t, 4> steep{};
        int steepCount = 0;
    };

    void step(const signal::SampleRecord& r, std::vector<std::int64_t>& beats);
    void peakFound(Peak p, std::vector<std::int64_t>& beats);
    void updateLeadNoise();
    using Shape = std::array<float, kLeads * kShapeLength>;
    bool shapeAt(std::int64_t centre, Shape& out) const;
    bool likeRecentBeats(const Peak& p) const;
    // Peak to peak of each lead's QRS, and of III's (II less I) after them.
    using Sizes = std::array<std::int32_t, kLeads + 1>;
    static constexpr std::size_t kIiiSize = kLeads;
    bool sizesAt(std::int64_t fiducial, Sizes& out) const;
    double sizeAgainstBeats(const Peak& p) const;
    void endLearning(std::vector<std::int64_t>& beats);
    void searchBack(std::vector<std::int64_t>& beats);
    void classify(const Peak& p, std::vector<std::int64_t>& beats);
    void acceptBeat(Peak p, bool searchedBack, std::vector<std::int64_t>& beats);
    void findFiducial(Peak& p) const;
    void keepFiducialPlace(Peak& p) const;
    std::int64_t meanRr() const { return meanRr_; }
    void updateMeanRr();
    double threshold() const { return noiseLevel_ + 0.25 * (signalLevel_ - noiseLevel_); }

    std::int64_t n_ = 0;
    // Filter state, the eight leads side by side in each slot so one step filters them together.
    // 32 bits hold every sum: a lead's value is within 2^15, so the moving sums stay below 2^19
    // and 2^23, their 32-sample sum and the high-pass below 2^28 and 2^29.
    using Eight = std::array<std::int32_t, kLeads>;
    Eight held_{}; // each lead's last value not formed from a railed channel
    // How long each lead has been formed from a railed channel (records, up to kOffRun): from
    // kOffRun on it is off, and the beats are compared with the last ones over the other leads
    // only (a QRS clipped at the rail does not make a lead off).
    static constexpr int kOffRun = 160; // 200 ms
    std::array<int, kLeads> railedRun_{};
    unsigned offLeads_ = 0;     // bit k: lead k off
    unsigned railedBefore_ = 0; // bit k: lead k railed at the last record
    bool off(std::size_t k) const { return (offLeads_ >> k) & 1u; }
    // Whether III stands in lead I's place (the right arm's electrode off), and the shift that
    // makes it go on from I's last value.
    bool iiiForI_ = false, iiiReadable_ = true;
    std::int32_t iiiShift_ = 0;
    // One limb lead left alone whose QRS was below kAloneShare of the largest limb lead's over
    // the last beats (a QRS axis near right angles to it) cannot be read alone: its T and P waves
    // stand as high as its QRS, and the detector took them for beats (II alone at an axis of -30
    // degrees: 85-118 bpm for 55). Nothing is taken from it until the leads change again.
    static constexpr double kAloneShare = 0.4;
    bool silenced_ = false;
    bool readableAlone(std::size_t size) const;
    std::array<Eight, kShort> shortRing_{};
    Eight shortSum_{};
    std::array<Eight, kLong> longRing_{};
    Eight longSum_{};
    std::array<Eight, kMean> meanRing_{};
    Eight meanSum_{};
    std::array<Eight, kDiff> diffRing_{};
    int shortPos_ = 0, longPos_ = 0;
    // Noise of each lead: energy summed per block, the last blocks (in order, and sorted), and
    // their median.
    std::array<std::int64_t, kLeads> blockEnergy_{};
    std::array<std::array<std::int64_t, kBlocks>, kLeads> blockRing_{};
    std::array<std::array<std::int64_t, kBlocks>, kLeads> blockSorted_{};
    std::array<std::uint32_t, kLeads> leadWeight_{};
    int blocksSeen_ = 0;
    // Slopes of every lead (scaled by its weight when a shape is taken), and the QRS shapes of
    // the last beats.
    std::array<Eight, kShapeRing> slopeRing_{};
    std::array<Shape, kShapesKept> shapes_{};
    int shapesKept_ = 0;
    // Low-passed signal of every lead, and the peak-to-peak sizes of the last beats' QRS.
    static_assert(kLeads == 8 && kShapesKept == 8, "Levels::sizes holds these");
    std::array<Eight, kShapeRing> lowRing_{};
    std::array<Sizes, kShapesKept> sizes_{};
    int sizesKept_ = 0;
    std::array<float, kLeads> slopeScale_{};
    // Energy and its integral.
    std::array<std::int64_t, kHistory> energy_{};
    std::int64_t integral_ = 0;
    std::int64_t previousIntegral_ = 0;
    Peak candidate_;

    // Learning: the first two seconds set the levels.
    bool learning_ = true;
    std::int64_t learnUntil_ = kLearning; // where the levels are learnt (again) by
    unsigned learntOff_ = 0;              // the leads off as the levels were learnt
    std::vector<Peak> learningPeaks_;
    double signalLevel_ = 0;
    double noiseLevel_ = 0;

    // Beats.
    std::int64_t lastBeat_ = -1; // integrated peak index of the last beat
    double lastBeatHeight_ = 0;
    std::array<std::int64_t, 8> rr_{}; // last RR intervals (records)
    int rrCount_ = 0;
    std::int64_t meanRr_ = signal::kRecordsPerSecond; // meanRr(), kept as rr_ changes
    Peak searchBack_; // best noise peak since the last beat, above half the threshold
};

// Every QRS of count records, as record indices from the first of them; none in the stretches
// the signal quality finds unreadable (noise in every lead, electrode steps).
std::vector<std::int64_t> detectBeats(const signal::SampleRecord* records, std::size_t count);
// The same with the quality of those records already assessed.
std::vector<std::int64_t> detectBeats(const signal::SampleRecord* records, std::size_t count,
                                      const SignalQuality& quality);

} // namespace velkard::measure
