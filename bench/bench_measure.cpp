// SPDX-License-Identifier: GPL-3.0-or-later
// Beat detection and every measurement of a one-hour recording (goal: 300 ms), and the live
// detector's cost per second of signal (goal: 0.1 % of a core, 1 ms per second), and the live
// signal quality's.
#include "measure/HeartRateMeter.h"
#include "measure/Measurements.h"
#include "measure/QrsDetector.h"
#include "sim/SyntheticEcg.h"

#include <benchmark/benchmark.h>

namespace {

using velkard::signal::SampleRecord;

// A noisy, irregular hour with premature beats, made once.
const std::vector<SampleRecord>& hour() {
    static const std::vector<SampleRecord> records = [] {
        velkard::sim::EcgParameters params;
        velkard::sim::parseBeatParameters("hr=75,irregular=0.15,pvc=0.05,pac=0.05", params.beat);
        velkard::sim::parseNoiseParameters("mains=50,wander=0.5,white=0.03", params.noise);
        return velkard::sim::SyntheticEcg::records(7, params, std::size_t{3600} * 800);
    }();
    return records;
}

void BM_DetectHour(benchmark::State& state) {
    const auto& records = hour();
    std::size_t beats = 0;
    for (auto _ : state) {
        const auto found = velkard::measure::detectBeats(records.data(), records.size());
        beats = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["beats"] = static_cast<double>(beats);
}
BENCHMARK(BM_DetectHour)->Unit(benchmark::kMillisecond);

void BM_MeasureHour(benchmark::State& state) {
    const auto& records = hour();
    velkard::measure::Measurements m;
    for (auto _ : state) {
        m = velkard::measure::measureSpan(records.data(), records.size());
        benchmark::DoNotOptimize(m.beats.data());
    }
    state.counters["beats"] = static_cast<double>(m.beats.size());
    state.counters["median_of"] = m.beatsInMedian;
}
BENCHMARK(BM_MeasureHour)->Unit(benchmark::kMillisecond);

void BM_MeasureTenSeconds(benchmark::State& state) {
    const auto& records = hour();
    for (auto _ : state) {
        auto m =
            velkard::measure::measureSpan(records.data(), records.size(), 1800 * 800, 10 * 800);
        benchmark::DoNotOptimize(m.beats.data());
    }
}
BENCHMARK(BM_MeasureTenSeconds)->Unit(benchmark::kMillisecond);

// The live rate: one second of signal in the acquisition's half-second blocks. The counter
// core_share is the fraction of one core the live detector needs.
void BM_LiveHeartRateSecond(benchmark::State& state) {
    const auto& records = hour();
    velkard::measure::HeartRateMeter meter;
    std::size_t at = 0;
    for (auto _ : state) {
        for (int block = 0; block < 2; ++block) {
            meter.push(records.data() + at, 400);
            at = (at + 400) % (records.size() - 400);
        }
        benchmark::DoNotOptimize(meter.bpm());
    }
    state.counters["core_share"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LiveHeartRateSecond)->Unit(benchmark::kMicrosecond);

// The live signal quality: the last 5 s assessed once a second, as the sweep's lead notes are.
void BM_LiveQualitySecond(benchmark::State& state) {
    const auto& records = hour();
    std::size_t at = 0;
    for (auto _ : state) {
        const auto q = velkard::measure::signalQuality(records.data() + at, 5 * 800);
        benchmark::DoNotOptimize(q.leads.data());
        at = (at + 800) % (records.size() - 5 * 800);
    }
    state.counters["core_share"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LiveQualitySecond)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
