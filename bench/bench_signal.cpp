// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a one-hour recording (46 MB) into the recording buffer, and converting an A2 file.
#include "signal/Recording.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class HourRecording {
public:
    HourRecording() {
        path_ =
            fs::temp_directory_path() / ("velkard-bench-" + std::to_string(::getpid()) + ".dat");
        std::vector<char> bytes(std::size_t{3600} * 800 * 16);
        std::mt19937 rng(1);
        for (auto& b : bytes)
            b = static_cast<char>(rng());
        std::ofstream(path_, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~HourRecording() {
        std::error_code ec;
        fs::remove(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void BM_LoadHourRecording(benchmark::State& state) {
    static HourRecording file;
    velkard::signal::RecordingBuffer buffer;
    for (auto _ : state) {
        if (!velkard::signal::loadRecording(file.path(), buffer).ok)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(buffer.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * buffer.length);
}
BENCHMARK(BM_LoadHourRecording)->Unit(benchmark::kMillisecond);

void BM_ConvertA2Hour(benchmark::State& state) {
    // Header, 10.05 s of eight channels, then the rest of the hour as lead II values.
    std::vector<std::uint8_t> file(
        512 + velkard::signal::kA2FullBodyBytes + (3600 * 800 - 8040) * 2, 8);
    for (auto _ : state) {
        auto body = velkard::signal::convertDeviceBytes(file, velkard::signal::RecordingKind::A2);
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_ConvertA2Hour)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
