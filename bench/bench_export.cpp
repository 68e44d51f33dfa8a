// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting a one-hour recording (46 MB, 800 Hz) into each format, file written and flushed to
// disk. SCP-ECG holds at most 32767 samples a lead, so it exports its longest: 40.96 s.
#include "export/Export.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
namespace ex = velkard::exporting;

// A realistic signal is not needed for timing, only realistic sizes: random small values.
ex::EcgExport hourExport(std::size_t records) {
    std::vector<std::uint8_t> bytes(records * velkard::signal::kRecordBytes);
    std::mt19937 rng(3);
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        velkard::signal::writeLe16(bytes.data() + i,
                                   static_cast<std::int16_t>(rng() % 2001) - 1000);
    velkard::signal::RecordingBuffer buffer;
    buffer.assign(std::move(bytes));
    return ex::deriveExport(buffer, velkard::signal::RecordingKind::Plain);
}

void exportTo(benchmark::State& state, ex::Format format, std::size_t records) {
    static const ex::EcgExport hour = hourExport(3600 * 800);
    const ex::EcgExport shorter = records < hour.samples() ? hourExport(records) : ex::EcgExport{};
    const ex::EcgExport& ecg = records < hour.samples() ? shorter : hour;
    const fs::path target =
        fs::temp_directory_path() /
        ("velkard-bench-" + std::to_string(::getpid()) + std::string(ex::formatExtension(format)));
    for (auto _ : state) {
        auto s = ex::writeExport(ecg, format, target);
        if (!s)
            state.SkipWithError(s.message.c_str());
    }
    state.counters["MB"] = static_cast<double>(fs::file_size(target)) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(records * 16));
    fs::remove(target);
}

void BM_ExportHourEdf(benchmark::State& s) {
    exportTo(s, ex::Format::Edf, 3600 * 800);
}
void BM_ExportHourDicom(benchmark::State& s) {
    exportTo(s, ex::Format::Dicom, 3600 * 800);
}
void BM_ExportHourAecg(benchmark::State& s) {
    exportTo(s, ex::Format::Aecg, 3600 * 800);
}
void BM_ExportLongestScp(benchmark::State& s) {
    exportTo(s, ex::Format::Scp, 32767);
}
BENCHMARK(BM_ExportHourEdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportHourDicom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportHourAecg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportLongestScp)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
