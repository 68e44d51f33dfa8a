// SPDX-License-Identifier: GPL-3.0-or-later
// CPU cost of the live reader: frame search and block hand-over for one second of signal
// (800 frames, 19200 bytes), in memory and through a real pseudo-terminal with the reader's
// blocking-read-then-drain pattern. The time per iteration is the CPU time per second of signal.
#include "device/FrameReader.h"
#include "device/TtyLink.h"
#include "signal/ReceiveBuffer.h"
#include "sim/Instrument.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using velkard::signal::SampleRecord;

std::vector<std::uint8_t> oneSecondOfStream() {
    velkard::sim::Instrument instrument(1);
    const auto t0 = velkard::sim::Instrument::Clock::time_point{} + std::chrono::seconds(1);
    const std::uint8_t start = 0x5A;
    instrument.hostWrite(&start, 1, t0);
    std::vector<std::uint8_t> bytes;
    instrument.pump(t0 + std::chrono::microseconds(999'000), bytes);
    return bytes; // 800 frames
}

void BM_FrameSearchAndHandOver(benchmark::State& state) {
    const auto stream = oneSecondOfStream();
    const auto chunk = static_cast<std::size_t>(state.range(0));
    velkard::signal::ReceiveBuffer buffer;
    velkard::signal::SampleBlock block;
    velkard::device::FrameReader reader;
    std::size_t records = 0;
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - pos);
            reader.feed(stream.data() + pos, n, [&](const SampleRecord& r) {
                ++records;
                if (buffer.pushRecord(r))
                    buffer.takeBlock(block);
            });
        }
        benchmark::DoNotOptimize(block);
    }
    state.counters["records/s of signal"] = static_cast<double>(records) / state.iterations();
}
BENCHMARK(BM_FrameSearchAndHandOver)->Arg(1)->Arg(96)->Arg(4096);

// The same through a pseudo-terminal: the sender writes 96-byte chunks (four frames, as the
// bridge's latency timer delivers them); the reader blocks for one byte and drains the rest.
// The figure includes the sender's write calls, so it is an upper bound for the reader.
void BM_ReaderThroughPty(benchmark::State& state) {
    const auto stream = oneSecondOfStream();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    char name[256];
    ::ptsname_r(master, name, sizeof name);
    velkard::device::TtyLink link(name);
    if (!link.open(0)) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    velkard::signal::ReceiveBuffer buffer;
    velkard::signal::SampleBlock block;
    velkard::device::FrameReader reader;
    std::uint8_t buf[4096];
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < stream.size(); pos += 96) {
            const std::size_t n = std::min<std::size_t>(96, stream.size() - pos);
            if (::write(master, stream.data() + pos, n) != static_cast<ssize_t>(n))
                state.SkipWithError("write failed");
            std::size_t got = 0, more = 0;
            link.read(buf, 1, got);
            link.readAvailable(buf + 1, sizeof buf - 1, more);
            reader.feed(buf, got + more, [&](const SampleRecord& r) {
                if (buffer.pushRecord(r))
                    buffer.takeBlock(block);
            });
        }
    }
    link.close();
    ::close(master);
}
BENCHMARK(BM_ReaderThroughPty)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
