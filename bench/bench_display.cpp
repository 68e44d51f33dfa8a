// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing speed of the ECG display: one full twelve-lead review page at 5 mm/s on a 1920-pixel
// screen (drawn afresh: grid in step with the page, labels, calibration marks, traces), reached by
// Forward and by Back, and one live block.
#include "display/Display.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace velkard;
using display::DeviceCaps;
using display::WindowMetrics;
using Surface = velkard::display::Display;

namespace {

const DeviceCaps kWide{1920, 509, 1080, 286};
const WindowMetrics kWideWindow{1920, 1050, 1920, 990, 30};

// A synthetic ECG-like recording: a QRS spike every 0.8 s over a slow T wave, all channels moving.
std::vector<std::uint8_t> recording(int seconds) {
    const int records = seconds * signal::kRecordsPerSecond;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(records) * signal::kRecordBytes);
    for (int i = 0; i < records; ++i) {
        const double ph = std::fmod(i / 800.0, 0.8);
        const double v = 900 * std::exp(-std::pow((ph - 0.2) / 0.015, 2)) +
                         200 * std::exp(-std::pow((ph - 0.5) / 0.05, 2));
        for (int ch = 0; ch < signal::kChannels; ++ch)
            signal::writeLe16(bytes.data() + i * 16 + ch * 2,
                              static_cast<std::int16_t>(v * (0.3 + 0.1 * ch)));
    }
    return bytes;
}

const velkard::View kReview{velkard::Shown::CardRecording};

void reviewDisplay(Surface& d, const std::vector<std::uint8_t>& bytes) {
    d.setChoices(1, 9, 0); // all twelve leads, 10 mm/mV, 5 mm/s
    d.openRecording(bytes, static_cast<int>(bytes.size() / 12800), kReview);
}

void BM_ReviewPage12Leads5mmPerSecond(benchmark::State& state) {
    const auto bytes = recording(240);
    Surface d(kWide, kWideWindow);
    reviewDisplay(d, bytes);
    for (auto _ : state) {
        d.prepareReviewGeometry(kReview); // back to page 0 and draws it
        benchmark::DoNotOptimize(d.surface().constBits());
    }
}
BENCHMARK(BM_ReviewPage12Leads5mmPerSecond)->Unit(benchmark::kMillisecond);

// The same page with the diagnostic filters on (0.05–40 Hz, 50 Hz notch): the recording is filtered
// once when it is opened, each page then draws the envelopes of the filtered copy.
void BM_ReviewPage12Leads5mmPerSecondFiltered(benchmark::State& state) {
    const auto bytes = recording(240);
    Surface d(kWide, kWideWindow);
    d.setFilters({filter::Mains::Hz50, filter::HighPass::Hz005, filter::LowPass::Hz40}, kReview);
    reviewDisplay(d, bytes);
    for (auto _ : state) {
        d.prepareReviewGeometry(kReview);
        benchmark::DoNotOptimize(d.surface().constBits());
    }
}
BENCHMARK(BM_ReviewPage12Leads5mmPerSecondFiltered)->Unit(benchmark::kMillisecond);

void BM_ForwardWithGrid(benchmark::State& state) {
    const auto bytes = recording(240);
    Surface d(kWide, kWideWindow);
    reviewDisplay(d, bytes);
    for (auto _ : state) {
        state.PauseTiming();
        d.prepareReviewGeometry(kReview);
        state.ResumeTiming();
        d.forward(kReview);
        benchmark::DoNotOptimize(d.surface().constBits());
    }
}
BENCHMARK(BM_ForwardWithGrid)->Unit(benchmark::kMillisecond);

void BM_BackWithGrid(benchmark::State& state) {
    const auto bytes = recording(240);
    Surface d(kWide, kWideWindow);
    reviewDisplay(d, bytes);
    for (auto _ : state) {
        state.PauseTiming();
        d.prepareReviewGeometry(kReview);
        d.forward(kReview);
        d.forward(kReview);
        state.ResumeTiming();
        d.back(kReview);
        benchmark::DoNotOptimize(d.surface().constBits());
    }
}
BENCHMARK(BM_BackWithGrid)->Unit(benchmark::kMillisecond);

void BM_LiveBlock12Leads(benchmark::State& state) {
    const auto bytes = recording(10);
    Surface d(kWide, kWideWindow);
    d.setChoices(1, 9, 2);
    d.prepareLiveDisplay();
    std::size_t block = 0;
    const std::size_t blocks = bytes.size() / signal::kBlockBytes;
    for (auto _ : state) {
        d.drawLiveBlock(bytes.data() + (block++ % blocks) * signal::kBlockBytes);
        benchmark::DoNotOptimize(d.surface().constBits());
    }
}
BENCHMARK(BM_LiveBlock12Leads)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
