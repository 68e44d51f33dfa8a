// SPDX-License-Identifier: GPL-3.0-or-later
#include "validation/Validation.h"

#include "import/WfdbRecording.h"
#include "measure/QrsDetector.h"

#include <algorithm>
#include <cmath>

namespace velkard::measure::validation {

namespace {

using import::wfdb::Annotation;

std::optional<double> median(std::vector<double> v) {
    if (v.empty())
        return std::nullopt;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The second smallest (or, with largest, second largest) of the values; the only one when there
// is one.
double second(std::vector<std::int64_t> v, bool largest) {
    std::sort(v.begin(), v.end());
    if (largest)
        std::reverse(v.begin(), v.end());
    return static_cast<double>(v.size() > 1 ? v[1] : v[0]);
}

} // namespace

std::vector<Wave> wavesOf(const std::vector<Annotation>& annotations) {
    std::vector<Wave> out;
    std::optional<std::int64_t> onset;
    std::optional<Wave> open;
    for (const Annotation& a : annotations) {
        if (a.code == import::wfdb::kWaveOnset) {
            onset = a.sample;
            open.reset();
        } else if (a.code == import::wfdb::kWaveEnd) {
            if (open) {
                open->end = a.sample;
                if (open->onset <= open->peak && open->peak <= open->end && open->end > open->onset)
                    out.push_back(*open);
            }
            onset.reset();
            open.reset();
        } else if (a.code == import::wfdb::kPPeak || a.code == import::wfdb::kTPeak ||
                   import::wfdb::isBeat(a.code)) {
            if (onset && !open)
                open = Wave{import::wfdb::isBeat(a.code) ? 1 : a.code, *onset, a.sample, 0};
            else
                open.reset();
        }
    }
    return out;
}

Intervals globalIntervals(const std::vector<std::vector<Wave>>& leads, double fs) {
    // Every QRS, clustered by peak.
    struct Mark {
        std::int64_t peak;
        std::size_t lead;
        const Wave* wave;
    };
    std::vector<Mark> qrs;
    for (std::size_t l = 0; l < leads.size(); ++l)
        for (const Wave& w : leads[l])
            if (w.type == 1)
                qrs.push_back({w.peak, l, &w});
    std::sort(qrs.begin(), qrs.end(), [](const Mark& a, const Mark& b) { return a.peak < b.peak; });
    const auto window = static_cast<std::int64_t>(0.08 * fs);
    std::vector<std::vector<Mark>> beats;
    for (const Mark& m : qrs) {
        if (beats.empty() || m.peak - beats.back().front().peak > window)
            beats.emplace_back();
        beats.back().push_back(m);
    }
    std::erase_if(beats, [](const std::vector<Mark>& b) { return b.size() < 3; });

    Intervals out;
    std::vector<double> p, pr, qrsMs, qt;
    const double ms = 1000.0 / fs;
    for (std::size_t b = 0; b < beats.size(); ++b) {
        std::vector<std::int64_t> qOn, qOff, pOn, pOff, tOff;
        for (const Mark& m : beats[b]) {
            qOn.push_back(m.wave->onset);
            qOff.push_back(m.wave->end);
        }
        const std::int64_t first = *std::min_element(qOn.begin(), qOn.end());
        const std::int64_t last = *std::max_element(qOff.begin(), qOff.end());
        const std::int64_t previousEnd =
            b > 0 ? beats[b - 1].front().peak : first - static_cast<std::int64_t>(fs);
        const std::int64_t nextStart = b + 1 < beats.size() ? beats[b + 1].front().wave->onset
                                                            : last + static_cast<std::int64_t>(fs);
        for (std::size_t l = 0; l < leads.size(); ++l) {
            const Wave* pw = nullptr;
            const Wave* tw = nullptr;
            for (const Wave& w : leads[l]) {
                if (w.type == 24 && w.peak > previousEnd && w.peak < first &&
                    w.end <= first + static_cast<std::int64_t>(0.02 * fs))
                    pw = &w; // the last P before the QRS
                if (w.type == 27 && !tw && w.peak > last && w.peak < nextStart)
                    tw = &w;
            }
            if (pw) {
                pOn.push_back(pw->onset);
                pOff.push_back(pw->end);
            }
            if (tw)
                tOff.push_back(tw->end);
        }
        const double on = second(qOn, false), off = second(qOff, true);
        qrsMs.push_back((off - on) * ms);
        out.qrsOnsets.push_back(on);
        out.qrsEnds.push_back(off);
        out.pOnsets.push_back(pOn.size() >= 3 ? second(pOn, false) : std::nan(""));
        // A wave marked in fewer than three leads is taken as not there.
        if (pOn.size() >= 3) {
            const double pon = second(pOn, false), poff = second(pOff, true);
            p.push_back((poff - pon) * ms);
            pr.push_back((on - pon) * ms);
        }
        if (tOff.size() >= 3)
            qt.push_back((second(tOff, true) - on) * ms);
    }
    out.beats = static_cast<int>(beats.size());
    out.qrsMs = median(qrsMs);
    // The P (or T) of most beats decides whether the record has one.
    if (p.size() * 2 >= beats.size())
        out.pMs = median(p), out.prMs = median(pr);
    if (qt.size() * 2 >= beats.size())
        out.qtMs = median(qt);
    return out;
}

std::vector<QtBeat> qtBeats(const std::vector<Annotation>& all, int channel) {
    std::vector<Annotation> annotations;
    for (const Annotation& a : all)
        if (channel < 0 || a.channel == channel)
            annotations.push_back(a);
    std::vector<QtBeat> out;
    for (std::size_t k = 0; k < annotations.size(); ++k) {
        if (!import::wfdb::isBeat(annotations[k].code))
            continue;
        QtBeat beat;
        beat.peak = annotations[k].sample;
        if (k > 0 && annotations[k - 1].code == import::wfdb::kWaveOnset) {
            beat.onset = annotations[k - 1].sample;
            if (k >= 4 && annotations[k - 2].code == import::wfdb::kWaveEnd &&
                annotations[k - 3].code == import::wfdb::kPPeak &&
                annotations[k - 4].code == import::wfdb::kWaveOnset) {
                beat.pOnset = annotations[k - 4].sample;
                beat.pEnd = annotations[k - 2].sample;
            }
        }
        if (k + 1 < annotations.size() && annotations[k + 1].code == import::wfdb::kWaveEnd)
            beat.qrsEnd = annotations[k + 1].sample;
        for (std::size_t j = k + 1; j < annotations.size(); ++j) {
            if (import::wfdb::isBeat(annotations[j].code))
                break;
            if (annotations[j].code == import::wfdb::kTPeak) {
                // ecgpuwave marks biphasic T waves with two peaks: the end follows the last.
                std::size_t e = j + 1;
                while (e < annotations.size() && annotations[e].code == import::wfdb::kTPeak)
                    ++e;
                if (e < annotations.size() && annotations[e].code == import::wfdb::kWaveEnd)
                    beat.tEnd = annotations[e].sample;
                break;
            }
        }
        out.push_back(beat);
    }
    return out;
}

Detection matchBeats(const std::vector<std::int64_t>& reference,
                     const std::vector<std::int64_t>& detected, std::int64_t window) {
    Detection d;
    std::size_t j = 0;
    std::vector<char> used(detected.size(), 0);
    for (std::size_t ri = 0; ri < reference.size(); ++ri) {
        const std::int64_t r = reference[ri];
        while (j < detected.size() && detected[j] < r - window)
            ++j;
        // The nearest unused detection within the window.
        std::size_t best = detected.size();
        for (std::size_t k = j; k < detected.size() && detected[k] <= r + window; ++k)
            if (!used[k] && (best == detected.size() ||
                             std::abs(detected[k] - r) < std::abs(detected[best] - r)))
                best = k;
        if (best < detected.size()) {
            used[best] = 1;
            ++d.truePositive;
            d.offsets.push_back(detected[best] - r);
            d.matchedReference.push_back(ri);
        } else {
            ++d.missed;
            d.missedAt.push_back(r);
        }
    }
    for (std::size_t k = 0; k < detected.size(); ++k)
        if (!used[k])
            d.extraAt.push_back(detected[k]);
    d.extra = static_cast<int>(d.extraAt.size());
    return d;
}

std::optional<double> Detection::rrErrorSd(const std::vector<char>& counted) const {
    double sum = 0, squares = 0, n = 0;
    for (std::size_t i = 1; i < offsets.size(); ++i) {
        const std::size_t a = matchedReference[i - 1], b = matchedReference[i];
        if (b != a + 1 || (!counted.empty() && (!counted[a] || !counted[b])))
            continue;
        const auto e = static_cast<double>(offsets[i] - offsets[i - 1]);
        sum += e;
        squares += e * e;
        ++n;
    }
    if (n < 2)
        return std::nullopt;
    return std::sqrt(std::max(0.0, (squares - sum * sum / n) / (n - 1)));
}

Result<LoadedRecord> loadRecord(const std::filesystem::path& header,
                                std::optional<double> adcPerMv) {
    auto rec = import::wfdb::readRecord(header);
    if (!rec)
        return Result<LoadedRecord>::failure(rec);
    auto inst = import::wfdb::toInstrument(rec.value, adcPerMv);
    if (!inst)
        return Result<LoadedRecord>::failure(inst);
    return Result<LoadedRecord>::success(
        LoadedRecord{std::move(inst.value), rec.value.header.frequency});
}

Result<Measured> measureRecord(const std::filesystem::path& header, std::optional<double> adcPerMv,
                               double fromSecond, double toSecond, bool wholeRecordBeats,
                               const std::vector<double>* onlyAtSecond) {
    auto loaded = loadRecord(header, adcPerMv);
    if (!loaded)
        return Result<Measured>::failure(loaded);
    const auto& inst = loaded.value;
    const auto& r = inst.recording.records;
    const double fs = inst.frequency;
    const auto from = static_cast<std::size_t>(
        std::clamp(fromSecond * signal::kRecordsPerSecond, 0.0, static_cast<double>(r.size())));
    const auto to = static_cast<std::size_t>(
        std::clamp(toSecond * signal::kRecordsPerSecond, 0.0, static_cast<double>(r.size())));
    std::vector<std::int64_t> only;
    if (onlyAtSecond)
        for (double s : *onlyAtSecond)
            only.push_back(std::llround(s * signal::kRecordsPerSecond));
    Measured out;
    out.m = measureSpan(r.data(), r.size(), from, to > from ? to - from : 0,
                        &inst.recording.present, nullptr, onlyAtSecond ? &only : nullptr);
    const std::vector<std::int64_t> beats =
        wholeRecordBeats ? detectBeats(r.data(), r.size()) : out.m.beats;
    for (std::int64_t b : beats)
        out.beatsAtRecordRate.push_back(
            std::llround(static_cast<double>(b) * fs / signal::kRecordsPerSecond));
    return Result<Measured>::success(std::move(out));
}

Stats differences(const std::vector<std::optional<double>>& program,
                  const std::vector<std::optional<double>>& reference) {
    Stats s;
    std::vector<double> d;
    for (std::size_t i = 0; i < program.size() && i < reference.size(); ++i) {
        if (!reference[i])
            continue;
        ++s.withReference;
        if (!program[i])
            continue;
        ++s.measured;
        d.push_back(*program[i] - *reference[i]);
    }
    if (d.empty())
        return s;
    double sum = 0;
    for (double x : d)
        sum += x;
    s.mean = sum / static_cast<double>(d.size());
    double ss = 0;
    for (double x : d)
        ss += (x - s.mean) * (x - s.mean);
    s.sd = d.size() > 1 ? std::sqrt(ss / static_cast<double>(d.size() - 1)) : 0.0;
    return s;
}

} // namespace velkard::measure::validation
