// SPDX-License-Identifier: GPL-3.0-or-later
// LZW decoding and whole-file decompression throughput, counted in bytes of output.
#include "import/Decompress.h"
#include "import/Lzw.h"
#include "signal/FileIo.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include <unistd.h>

namespace {

// Ten minutes of a synthetic eight-channel ECG (a beat shape plus noise), values multiples of 8.
std::vector<std::uint8_t> syntheticDeviceFile(int seconds) {
    velkard::signal::DeviceHeader h;
    h.setRate(800);
    std::vector<std::uint8_t> file(h.bytes().begin(), h.bytes().end());
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 1.5);
    const int records = seconds * 800;
    file.reserve(file.size() + static_cast<std::size_t>(records) * 16);
    for (int r = 0; r < records; ++r) {
        const double t = (r % 640) / 800.0; // 75 beats per minute
        const double beat = 120.0 * std::exp(-std::pow((t - 0.25) / 0.012, 2)) +
                            25.0 * std::exp(-std::pow((t - 0.5) / 0.05, 2));
        for (int ch = 0; ch < 8; ++ch) {
            const int v = static_cast<int>(beat * (0.5 + ch * 0.1) + noise(rng));
            std::uint8_t le[2];
            velkard::signal::writeLe16(le, static_cast<std::int16_t>(v * 8));
            file.insert(file.end(), le, le + 2);
        }
    }
    return file;
}

const std::vector<std::uint8_t>& device() {
    static const std::vector<std::uint8_t> d = syntheticDeviceFile(600);
    return d;
}

void BM_LzwDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> ecx = velkard::import::compressToEcx(device());
    const std::uint8_t* codes = ecx.data() + velkard::import::kEcxStoredBytes;
    const int n = static_cast<int>(ecx.size() - velkard::import::kEcxStoredBytes);
    std::vector<std::uint8_t> out;
    out.reserve(device().size());
    velkard::import::LzwDecoder decoder;
    for (auto _ : state) {
        out.clear();
        decoder.init(
            [&](const std::uint8_t* p, std::size_t size) { out.insert(out.end(), p, p + size); });
        // Fed in 512-byte chunks, as files are read.
        for (int pos = 0; pos < n; pos += 512)
            decoder.decodeChunk(codes + pos, static_cast<std::size_t>(std::min(512, n - pos)));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(out.size()));
    state.counters["ratio"] =
        static_cast<double>(device().size()) / static_cast<double>(ecx.size());
}
BENCHMARK(BM_LzwDecode)->Unit(benchmark::kMillisecond);

void BM_LzwBufferDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> ecx = velkard::import::compressToEcx(device());
    const std::uint8_t* codes = ecx.data() + velkard::import::kEcxStoredBytes;
    const std::size_t n = ecx.size() - velkard::import::kEcxStoredBytes;
    std::size_t size = 0;
    for (auto _ : state) {
        velkard::import::LzwBufferDecoder decoder(device().size());
        decoder.decode(codes, n);
        size = decoder.size();
        benchmark::DoNotOptimize(decoder.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
BENCHMARK(BM_LzwBufferDecode)->Unit(benchmark::kMillisecond);

void BM_DecompressEcx(benchmark::State& state) {
    const std::vector<std::uint8_t> ecx = velkard::import::compressToEcx(device());
    for (auto _ : state) {
        auto r = velkard::import::decompressEcxBytes(ecx);
        benchmark::DoNotOptimize(r.value.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(device().size()));
}
BENCHMARK(BM_DecompressEcx)->Unit(benchmark::kMillisecond);

void BM_CompressToEcx(benchmark::State& state) {
    for (auto _ : state) {
        auto ecx = velkard::import::compressToEcx(device());
        benchmark::DoNotOptimize(ecx.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(device().size()));
}
BENCHMARK(BM_CompressToEcx)->Unit(benchmark::kMillisecond);

// The command's work: the file decoded piece by piece into a new file, flushed and renamed.
void BM_DecompressEcxFile(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("velkard-bench-ecx-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    velkard::signal::writeFileAtomically(dir / "in.ecx", velkard::import::compressToEcx(device()));
    for (auto _ : state) {
        if (!velkard::import::decompressEcxFile(dir / "in.ecx", dir / "out.ecg").ok())
            state.SkipWithError("decompression failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(device().size()));
    fs::remove_all(dir);
}
BENCHMARK(BM_DecompressEcxFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
