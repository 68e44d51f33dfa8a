// SPDX-License-Identifier: GPL-3.0-or-later
#include "validation/Stress.h"

#include "import/WfdbRecording.h"
#include "measure/QrsDetector.h"
#include "measure/SignalQuality.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

namespace velkard::measure::validation {

namespace {

constexpr std::int64_t kSecond = signal::kRecordsPerSecond;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr double kPi = 3.14159265358979323846;

std::int16_t clip(double v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

} // namespace

Result<std::vector<StressResult>> stressRecord(const std::filesystem::path& header) {
    using R = Result<std::vector<StressResult>>;
    auto loaded = loadRecord(header);
    if (!loaded)
        return R::failure(loaded);
    auto atr =
        import::wfdb::readAnnotations(std::filesystem::path(header).replace_extension(".atr"));
    if (!atr)
        return R::failure(atr);
    const auto& inst = loaded.value.recording;
    const double fs = loaded.value.frequency;
    std::vector<std::int64_t> reference;
    for (const auto& a : atr.value)
        if (import::wfdb::isBeat(a.code))
            reference.push_back(std::llround(static_cast<double>(a.sample) * kSecond / fs));
    const auto& clean = inst.records;
    const auto& present = inst.present;
    const double mv = signal::kUnitsPerMillivolt;
    constexpr std::int64_t kMatch = kSecond * 15 / 100;

    // A burst of 5 s from second 20 of every minute (margin: the second around it where the
    // detector settles).
    const std::int64_t burst = 5 * kSecond, burstAt = 20 * kSecond;
    auto inBurst = [&](std::int64_t t, std::int64_t margin) {
        const std::int64_t s = t % kMinute;
        return s >= burstAt - margin && s < burstAt + burst + margin;
    };

    struct Case {
        const char* what;
        std::function<void(std::vector<signal::SampleRecord>&, std::mt19937&)> add;
        bool bursts = false;
    };
    const Case cases[] = {
        {"electrode step 1.5 mV each minute (lead II's electrode)",
         [&](auto& r, auto&) {
             for (std::size_t t = 0; t < r.size(); ++t)
                 if ((static_cast<std::int64_t>(t) / kMinute) % 2 == 1)
                     r[t].c[1] = clip(r[t].c[1] + 1.5 * mv);
         }},
        {"white noise 0.5 mV RMS, 5 s each minute (every channel)",
         [&](auto& r, auto& random) {
             std::normal_distribution<double> noise(0.0, 0.5 * mv);
             for (std::size_t t = 0; t < r.size(); ++t)
                 if (inBurst(static_cast<std::int64_t>(t), 0))
                     for (auto& c : r[t].c)
                         c = clip(c + noise(random));
         },
         true},
        {"mains 50 Hz 0.2 mV throughout",
         [&](auto& r, auto&) {
             for (std::size_t t = 0; t < r.size(); ++t)
                 for (std::size_t c = 0; c < signal::kChannels; ++c)
                     r[t].c[c] = clip(r[t].c[c] +
                                      0.2 * mv *
                                          std::sin(2 * kPi * 50 * static_cast<double>(t) / kSecond +
                                                   static_cast<double>(c)));
         }},
        {"baseline wander 0.3 Hz 1 mV throughout",
         [&](auto& r, auto&) {
             for (std::size_t t = 0; t < r.size(); ++t)
                 for (std::size_t c = 0; c < signal::kChannels; ++c)
                     r[t].c[c] =
                         clip(r[t].c[c] +
                              mv * std::sin(2 * kPi * 0.3 * static_cast<double>(t) / kSecond +
                                            static_cast<double>(c)));
         }},
        {"white noise 0.1 mV RMS throughout (every channel)",
         [&](auto& r, auto& random) {
             std::normal_distribution<double> noise(0.0, 0.1 * mv);
             for (auto& record : r)
                 for (auto& c : record.c)
                     c = clip(c + noise(random));
         }},
    };

    // The false beats of the record as it is, so those a disturbance adds can be told apart.
    const std::vector<std::int64_t> undisturbed =
        matchBeats(reference,
                   detectBeats(clean.data(), clean.size(),
                               signalQuality(clean.data(), clean.size(), 0, SIZE_MAX, &present)),
                   kMatch)
            .extraAt;
    auto added = [&](const std::vector<std::int64_t>& extra) {
        int n = 0;
        for (std::int64_t e : extra)
            n += std::none_of(undisturbed.begin(), undisturbed.end(),
                              [&](std::int64_t u) { return std::abs(u - e) <= kMatch; });
        return n;
    };

    std::vector<StressResult> out;
    std::mt19937 random(800);
    for (const Case& c : cases) {
        std::vector<signal::SampleRecord> r = clean;
        c.add(r, random);
        const SignalQuality q = signalQuality(r.data(), r.size(), 0, SIZE_MAX, &present);
        const std::vector<std::int64_t> beats = detectBeats(r.data(), r.size(), q);
        StressResult s;
        s.what = c.what;
        if (!c.bursts) {
            s.beats = matchBeats(reference, beats, kMatch);
        } else {
            // A beat counts outside the bursts when it and every beat of the other list it could
            // be matched with lie outside them: a reference beat just inside the margin found
            // just outside it is neither false nor missed.
            const auto near = [&](const std::vector<std::int64_t>& in, std::int64_t b) {
                // in is sorted: only its beats within kMatch of b are looked at.
                for (auto it = std::lower_bound(in.begin(), in.end(), b - kMatch);
                     it != in.end() && *it <= b + kMatch; ++it)
                    if (inBurst(*it, kSecond))
                        return true;
                return false;
            };
            std::vector<std::int64_t> ref, det;
            for (std::int64_t b : reference)
                if (!inBurst(b, kSecond) && !near(beats, b))
                    ref.push_back(b);
            s.insideBursts = 0;
            for (std::int64_t b : beats) {
                if (!inBurst(b, kSecond) && !near(reference, b))
                    det.push_back(b);
                s.insideBursts += inBurst(b, 0);
            }
            s.beats = matchBeats(ref, det, kMatch);
            std::int64_t noisy = 0, marked = 0;
            for (std::size_t t = 0; t < r.size(); ++t)
                if (inBurst(static_cast<std::int64_t>(t), 0)) {
                    ++noisy;
                    marked += !q.readable(static_cast<std::int64_t>(t));
                }
            s.markedPercent = noisy ? 100.0 * static_cast<double>(marked) / noisy : 0.0;
        }
        s.falseAdded = added(s.beats.extraAt);
        out.push_back(std::move(s));
    }
    return R::success(std::move(out));
}

} // namespace velkard::measure::validation
