// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a one-hour recording (46 MB) for review, and converting an A2 file; what flushing a
// crash-safe write of a 7.68 MB file costs.
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <fcntl.h>
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
        if (!velkard::signal::loadRecording(file.path(), buffer).ok())
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(buffer.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * buffer.length);
}
BENCHMARK(BM_LoadHourRecording)->Unit(benchmark::kMillisecond);

// Opening and then reading every sample of every channel once (what going through the whole hour
// costs in all): each 16-bit value is decoded and summed.
void BM_LoadHourRecordingAndReadAll(benchmark::State& state) {
    static HourRecording file;
    velkard::signal::RecordingBuffer buffer;
    for (auto _ : state) {
        if (!velkard::signal::loadRecording(file.path(), buffer).ok())
            state.SkipWithError("load failed");
        std::int64_t sum = 0;
        const std::size_t values = buffer.values();
        for (std::size_t i = 0; i < values; ++i)
            sum += buffer.value(i);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * buffer.length);
}
BENCHMARK(BM_LoadHourRecordingAndReadAll)->Unit(benchmark::kMillisecond);

// Ten minutes of a device file written crash-safe (temporary file, flush, rename, folder flush)
// and, for comparison, written plainly over the same name: the difference is the flush.
const std::vector<std::uint8_t>& tenMinutes() {
    static const std::vector<std::uint8_t> bytes(512 + std::size_t{600} * 800 * 16, 8);
    return bytes;
}

fs::path writeTarget() {
    return fs::temp_directory_path() / ("velkard-bench-write-" + std::to_string(::getpid()));
}

void BM_WriteTenMinutesAtomically(benchmark::State& state) {
    const fs::path path = writeTarget();
    for (auto _ : state)
        if (!velkard::signal::writeFileAtomically(path, tenMinutes()).ok())
            state.SkipWithError("write failed");
    fs::remove(path);
}
BENCHMARK(BM_WriteTenMinutesAtomically)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteTenMinutesWithoutFlush(benchmark::State& state) {
    const fs::path path = writeTarget();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, tenMinutes().data(), tenMinutes().size()) !=
                          static_cast<ssize_t>(tenMinutes().size()))
            state.SkipWithError("write failed");
        ::close(fd);
    }
    fs::remove(path);
}
BENCHMARK(BM_WriteTenMinutesWithoutFlush)->Unit(benchmark::kMillisecond)->UseRealTime();

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
