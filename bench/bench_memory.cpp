// SPDX-License-Identifier: GPL-3.0-or-later
// Download throughput of the memory connection: a 1 MB file from the simulated memory card, with
// the card's replies paced as on a 3,000,000-baud wire (300,000 bytes/s). The wire's rate is the
// ceiling; the figure of merit is the share of it that the connection reaches ("wire_share").
//
// BM_DownloadPty: through a pseudo-terminal and the tty backend (the program's real path).
// BM_DownloadLoopback: through the in-memory test link, paced the same way (no kernel in between).
#include "device/Link.h"
#include "links/MakeLink.h"
#include "memory/MemoryProtocol.h"
#include "memory/tests/LoopbackLink.h"
#include "memory/tests/TestWindow.h"
#include "sim/MemoryCard.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace velkard;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kFileBytes = 1 << 20;
constexpr double kWireBytesPerSecond = 3000000.0 / 10.0;

fs::path makeCard() {
    std::string tmpl = (fs::temp_directory_path() / "velkard-bench-memory-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        std::abort();
    const fs::path root = tmpl;
    fs::create_directories(root / "card");
    fs::create_directories(root / "temp");
    std::mt19937 rng(1);
    std::string data(kFileBytes, '\0');
    for (char& c : data)
        c = static_cast<char>(rng());
    std::ofstream(root / "card" / "BIG.DAT", std::ios::binary) << data;
    return root;
}

// Serves a memory card on a pseudo-terminal, releasing its replies no faster than the wire.
class PacedPtyCard {
public:
    explicit PacedPtyCard(const fs::path& cardDir) : card_(cardDir) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            std::abort();
        path_ = ptsname(master_);
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        if (pipe(stop_) != 0)
            std::abort();
        thread_ = std::thread([this] { run(); });
    }
    ~PacedPtyCard() {
        const char c = 0;
        (void)!write(stop_[1], &c, 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
        ::close(slave_);
        ::close(master_);
    }
    const std::string& path() const { return path_; }

private:
    struct Sink : sim::ByteSink {
        std::deque<std::uint8_t>& out;
        explicit Sink(std::deque<std::uint8_t>& o) : out(o) {}
        void send(const std::uint8_t* d, std::size_t n) override {
            out.insert(out.end(), d, d + n);
        }
    };

    void run() {
        // A burst of reply bytes leaves the wire at one byte per 10 bit times from its start: byte
        // k of the burst may go out at burstStart + k * byteTime, however late this thread wakes.
        std::deque<std::uint8_t> out;
        Clock::time_point burstStart{};
        std::size_t burstSent = 0;
        const auto byteTime = std::chrono::duration<double>(1.0 / kWireBytesPerSecond);
        auto departure = [&](std::size_t k) {
            return burstStart + std::chrono::duration_cast<Clock::duration>(byteTime * double(k));
        };
        for (;;) {
            timespec ts{};
            timespec* timeout = nullptr;
            if (!out.empty()) {
                // Wake when the next 300 bytes (1 ms of wire) are due, or the rest of the burst.
                const auto wake = departure(burstSent + std::min<std::size_t>(out.size(), 300) - 1);
                const auto wait = std::max(Clock::duration::zero(), wake - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
                ts.tv_sec = static_cast<time_t>(ns / 1000000000);
                ts.tv_nsec = static_cast<long>(ns % 1000000000);
                timeout = &ts;
            }
            pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (ppoll(fds, 2, timeout, nullptr) < 0)
                return;
            if (fds[1].revents)
                return;
            if (fds[0].revents & POLLIN) {
                std::uint8_t buf[512];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                const bool idle = out.empty();
                Sink sink(out);
                for (ssize_t i = 0; i < n; ++i)
                    card_.onHostByte(buf[i], sink);
                if (idle && !out.empty()) {
                    burstStart = Clock::now();
                    burstSent = 0;
                }
            }
            if (out.empty())
                continue;
            const auto now = Clock::now();
            std::size_t due = 0;
            while (due < out.size() && departure(burstSent + due) <= now)
                ++due;
            if (due == 0)
                continue;
            std::vector<std::uint8_t> chunk(out.begin(), out.begin() + static_cast<long>(due));
            const ssize_t w = ::write(master_, chunk.data(), chunk.size());
            if (w > 0) {
                out.erase(out.begin(), out.begin() + w);
                burstSent += static_cast<std::size_t>(w);
            }
        }
    }

    sim::MemoryCard card_;
    int master_ = -1;
    int slave_ = -1;
    int stop_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
};

void download(benchmark::State& state, device::Link& link, const fs::path& root) {
    memory::test::TestWindow window;
    memory::MemoryConnection connection(link, window, root / "temp");
    window.connection = &connection;
    std::atomic<int> listingBlocks{0};
    connection.setReplyObserver([&](memory::ReplyKind k) {
        if (k == memory::ReplyKind::ListingBlock)
            listingBlocks.fetch_add(1);
        window.poke();
    });
    if (connection.start() != memory::StartResult::Started) {
        state.SkipWithError("no instrument");
        return;
    }
    window.refresh();
    // The observer runs after the listing block's acknowledgement has gone out.
    if (!window.waitFor([&] { return listingBlocks.load() == 1 && window.entryCount() == 1; })) {
        state.SkipWithError("no listing");
        return;
    }
    for (auto _ : state) {
        window.setSelected(0, true);
        connection.requestNextSelected(memory::RequestKind::Read);
        if (!window.waitFor([&] { return window.listEnabled(); }, std::chrono::seconds(60))) {
            state.SkipWithError("download stalled");
            break;
        }
    }
    connection.end();
    if (fs::file_size(root / "temp" / "BIG.DAT") != kFileBytes)
        state.SkipWithError("wrong size");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    state.counters["wire_share"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kFileBytes) / kWireBytesPerSecond,
        benchmark::Counter::kIsRate);
}

void BM_DownloadPty(benchmark::State& state) {
    const fs::path root = makeCard();
    {
        PacedPtyCard served(root / "card");
        auto link = links::makeLink(served.path());
        download(state, *link, root);
    }
    fs::remove_all(root);
}

void BM_DownloadLoopback(benchmark::State& state) {
    const fs::path root = makeCard();
    {
        sim::MemoryCard card(root / "card");
        memory::test::LoopbackLink link(card);
        link.paceBaud = 3000000;
        download(state, link, root);
    }
    fs::remove_all(root);
}

} // namespace

BENCHMARK(BM_DownloadPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DownloadLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK_MAIN();
