// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the display and print filters: zero-phase filtering of a one-hour twelve-lead recording
// (0.05–40 Hz with the 50 Hz notch, as review and print run it), and one live block.
#include "filter/Filters.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace velkard;

namespace {

std::vector<std::uint8_t> recording(int seconds) {
    const std::size_t records = std::size_t(seconds) * signal::kRecordsPerSecond;
    std::vector<std::uint8_t> bytes(records * signal::kRecordBytes);
    for (std::size_t i = 0; i < records; ++i) {
        const double ph = std::fmod(double(i) / 800.0, 0.8);
        const double v = 900 * std::exp(-std::pow((ph - 0.2) / 0.015, 2)) +
                         200 * std::exp(-std::pow((ph - 0.5) / 0.05, 2)) +
                         60 * std::sin(2 * 3.14159265 * 50 * double(i) / 800.0);
        for (int ch = 0; ch < signal::kChannels; ++ch)
            signal::writeLe16(bytes.data() + i * 16 + std::size_t(ch) * 2,
                              static_cast<std::int16_t>(v * (0.3 + 0.1 * ch)));
    }
    return bytes;
}

const filter::FilterSettings kDiagnostic{filter::Mains::Hz50, filter::HighPass::Hz005,
                                         filter::LowPass::Hz40};

void BM_ZeroPhaseOneHour(benchmark::State& state) {
    const std::vector<std::uint8_t> source = recording(3600);
    std::vector<std::uint8_t> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = source;
        state.ResumeTiming();
        filter::filterRecordingBytes(work, kDiagnostic);
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_ZeroPhaseOneHour)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LiveBlock(benchmark::State& state) {
    const std::vector<std::uint8_t> source = recording(1);
    std::vector<signal::SampleRecord> block(signal::kRecordsPerBlock);
    filter::StreamFilter f(kDiagnostic);
    for (auto _ : state) {
        for (std::size_t i = 0; i < block.size(); ++i)
            for (int ch = 0; ch < 8; ++ch)
                block[i].c[std::size_t(ch)] = signal::readLe16(source.data() + i * 16 + 2 * ch);
        f.process(block);
        benchmark::DoNotOptimize(block.data());
    }
}
BENCHMARK(BM_LiveBlock)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
