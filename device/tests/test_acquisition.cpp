// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Acquisition.h"
#include "links/MakeLink.h"
#include "links/SimLink.h"
#include "sim/PtyServer.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace velkard::device {
namespace {

using links::SimLink;

// The link the port-name setting would choose.
Acquisition::LinkFactory linkTo(std::string port) {
    return [port] { return links::makeLink(port); };
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Forwards to a simulated link and records the calls the engine makes, so tests can check the
// order of the shutdown sequences and make single calls fail.
class SpyLink : public Link {
public:
    explicit SpyLink(std::shared_ptr<SimLink> inner, std::shared_ptr<std::vector<std::string>> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    bool failClose = false;
    bool failWrite = false;

    Status open(int i) override { return note("open", inner_->open(i)); }
    Status close() override {
        const Status s = inner_->close();
        return note("close", failClose ? ErrorCode::IoError : s);
    }
    Status read(std::uint8_t* b, std::size_t n, std::size_t& got) override {
        return inner_->read(b, n, got);
    }
    Status readAvailable(std::uint8_t* b, std::size_t n, std::size_t& got) override {
        return inner_->readAvailable(b, n, got);
    }
    Status write(const std::uint8_t* b, std::size_t n, std::size_t& w) override {
        char text[16];
        std::snprintf(text, sizeof text, "write %02X", b[0]);
        if (failWrite) {
            w = 0;
            return note(text, ErrorCode::IoError);
        }
        return note(text, inner_->write(b, n, w));
    }
    Status setBaudRate(std::uint32_t baud) override {
        return note("baud " + std::to_string(baud), inner_->setBaudRate(baud));
    }
    Status setDataCharacteristics(int w, int s, int p) override {
        return note("8N1", inner_->setDataCharacteristics(w, s, p));
    }
    Status purge(std::uint8_t mask) override {
        return note("purge " + std::to_string(mask), inner_->purge(mask));
    }
    Status resetDevice() override { return note("reset", inner_->resetDevice()); }
    Status stopInTask() override { return note("stopInTask", inner_->stopInTask()); }
    Status queueStatus(std::size_t& rx) override { return inner_->queueStatus(rx); }
    bool waitForData(std::chrono::milliseconds t) override { return inner_->waitForData(t); }
    void cancel() override {
        note("cancel", ErrorCode::None);
        inner_->cancel();
    }
    void resetCancel() override { inner_->resetCancel(); }
    std::string describe() const override { return "spy"; }

private:
    Status note(const std::string& what, Status s) {
        std::lock_guard lock(m_);
        log_->push_back(what);
        return s;
    }
    std::shared_ptr<SimLink> inner_;
    std::shared_ptr<std::vector<std::string>> log_;
    std::mutex m_;
};

struct Rig {
    explicit Rig(sim::Faults faults = {}, std::uint32_t seed = 3)
        : sim(std::make_shared<SimLink>(seed, faults)),
          log(std::make_shared<std::vector<std::string>>()), acq([this] {
              auto spy = std::make_unique<SpyLink>(sim, log);
              this->spy = spy.get();
              ++made;
              return spy;
          }) {}
    std::shared_ptr<SimLink> sim;
    std::shared_ptr<std::vector<std::string>> log;
    SpyLink* spy = nullptr;
    int made = 0;
    Acquisition acq;
};

std::filesystem::path tempFile(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("velkard-acq-" + std::to_string(::getpid()) + "-" + name);
}

// Drives the engine like the window's timers until done() holds or the deadline passes.
template <typename Done>
bool pump(Acquisition& acq, std::vector<signal::SampleBlock>& blocks, std::vector<Event>& events,
          Done done, std::chrono::seconds deadline = 20s) {
    const auto end = Clock::now() + deadline;
    while (Clock::now() < end) {
        TickResult r = acq.handOverBlocks();
        blocks.insert(blocks.end(), r.blocks.begin(), r.blocks.end());
        events.insert(events.end(), r.events.begin(), r.events.end());
        if (acq.watchdogExpired()) {
            auto more = acq.takeEvents();
            events.insert(events.end(), more.begin(), more.end());
        }
        if (done())
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

std::vector<signal::SampleRecord> readRecords(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<signal::SampleRecord> records(bytes.size() / signal::kRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t k = 0; k < 8; ++k)
            records[i].c[k] = signal::readLe16(reinterpret_cast<const std::uint8_t*>(bytes.data()) +
                                               i * 16 + k * 2);
    return records;
}

// What the window shows for an event.
std::string shownText(const Event& e, bool russian = true) {
    return eventMessage(e, russian).text;
}
std::string shownCaption(const Event& e) {
    return eventMessage(e, true).caption;
}

bool hasEvent(const std::vector<Event>& events, EventKind kind) {
    for (const Event& e : events)
        if (e.kind == kind)
            return true;
    return false;
}

TEST(Acquisition, NoInstrumentReportsNotFoundOnceAndRetriesNextTime) {
    Acquisition acq(linkTo("/nonexistent/ttyVELKARD0"));
    EXPECT_FALSE(acq.startMonitoring());
    auto events = acq.takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::NotFound);
    EXPECT_EQ(events[0].code, ErrorCode::DeviceNotFound);
    EXPECT_EQ(shownText(events[0]).rfind("Прибор не найден", 0), 0u);
    EXPECT_FALSE(acq.readerRunning());
    EXPECT_FALSE(acq.linkOpen());
    EXPECT_FALSE(acq.startMonitoring());
    EXPECT_EQ(acq.takeEvents().size(), 1u);
}

TEST(Acquisition, RecordsWholeBlocksOfExactlyWhatTheInstrumentSent) {
    Rig rig({}, 7);
    const auto file = tempFile("whole.dat");
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Recording);
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return rig.acq.blocksWritten() >= 3; }));
    rig.acq.stop();
    EXPECT_TRUE(events.empty()); // a healthy stream never trips the watchdog

    const auto records = readRecords(file);
    EXPECT_EQ(std::filesystem::file_size(file) % signal::kBlockBytes, 0u);
    ASSERT_EQ(records.size(), rig.acq.blocksWritten() * signal::kRecordsPerBlock);
    EXPECT_EQ(records, sim::SyntheticEcg::records(7, records.size()));
    // What was handed out for drawing is the same signal, block by block.
    ASSERT_GE(blocks.size(), 3u);
    EXPECT_EQ(blocks[2][0], records[800]);
    std::filesystem::remove(file);
}

TEST(Acquisition, StopKeepsTheCommandFileReaderShutdownOrder) {
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return !blocks.empty(); }));
    rig.log->clear();
    rig.acq.stop();
    const std::vector<std::string> expected{"write A5",   "cancel", "purge 3",
                                            "stopInTask", "reset",  "close"};
    EXPECT_EQ(*rig.log, expected);
    EXPECT_FALSE(rig.acq.linkOpen());
    EXPECT_FALSE(rig.acq.readerRunning());
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Stopped);
    // Stopped means stopped: no further block is handed out.
    EXPECT_TRUE(rig.acq.handOverBlocks().blocks.empty());
}

TEST(Acquisition, StopDuringRecordingKeepsOnlyWholeBlocks) {
    Rig rig;
    const auto file = tempFile("partial.dat");
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return rig.acq.blocksWritten() >= 1; }));
    // Let the reader get part of the way into the next block, then stop.
    const auto sent = [&] {
        std::uint64_t n = 0;
        rig.sim->withInstrument([&](sim::Instrument& i) { n = i.framesSent(); });
        return n;
    };
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return sent() % 400 > 100; }));
    rig.acq.stop();
    EXPECT_EQ(std::filesystem::file_size(file),
              rig.acq.blocksWritten() * static_cast<std::uint64_t>(signal::kBlockBytes));
    EXPECT_GE(rig.acq.blocksWritten(), 1u);
    std::filesystem::remove(file);
}

TEST(Acquisition, SecondStartWhileOpenDoesNotReopenAndRunsOneReader) {
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startMonitoring());
    EXPECT_EQ(rig.made, 1);
    EXPECT_EQ(std::count(rig.log->begin(), rig.log->end(), "open"), 1);
    EXPECT_EQ(std::count(rig.log->begin(), rig.log->end(), "write 5A"), 2);
    const std::vector<std::string> openSeq(rig.log->begin(), rig.log->begin() + 4);
    EXPECT_EQ(openSeq, (std::vector<std::string>{"open", "8N1", "baud 230400", "write 5A"}));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    EXPECT_TRUE(pump(rig.acq, blocks, events, [&] { return !blocks.empty(); }));
}

TEST(Acquisition, SilenceTripsTheWatchdogAndClosesTheFile) {
    sim::Faults faults;
    faults.silenceAfter = 0.8;
    Rig rig(faults);
    const auto file = tempFile("silence.dat");
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return hasEvent(events, EventKind::NoData); }));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, ErrorCode::NoAnswer);
    EXPECT_EQ(shownText(events[0]), "Нет приема данных!");
    EXPECT_EQ(shownCaption(events[0]), "Ошибка");
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Halted);
    EXPECT_FALSE(rig.acq.linkOpen());
    EXPECT_FALSE(rig.acq.recordingToFile());
    EXPECT_FALSE(rig.acq.readerRunning());
    // 0.8 s of signal: one whole block reached the file, the rest was lost with the stream.
    EXPECT_EQ(rig.acq.blocksWritten(), 1u);
    EXPECT_EQ(std::filesystem::file_size(file), 6400u);
    // Purge, the shutdown call and reset come before the close, and no stop byte is sent.
    const auto& log = *rig.log;
    const auto at = [&](const std::string& s) {
        return std::find(log.begin(), log.end(), s) - log.begin();
    };
    EXPECT_LT(at("purge 3"), at("reset"));
    EXPECT_LT(at("reset"), at("close"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "write A5"), 0);
    rig.acq.stop(); // Stop afterwards finishes quietly
    EXPECT_TRUE(rig.acq.takeEvents().empty());
    std::filesystem::remove(file);
}

TEST(Acquisition, WatchdogFiresWhenOneReadHasWaitedAFullSecond) {
    sim::Faults faults;
    faults.silenceAfter = 0;
    Rig rig(faults);
    ASSERT_TRUE(rig.acq.startMonitoring());
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return rig.acq.readPending(); }));
    // The pending read began no later than t, so at t + 1000 ms it has waited the full period.
    const auto t = Clock::now();
    // The window looks again when the read would reach the period, and not before.
    EXPECT_LE(rig.acq.watchdogDueIn(t), 1000ms);
    EXPECT_GT(rig.acq.watchdogDueIn(t + 900ms), 0ms);
    EXPECT_LE(rig.acq.watchdogDueIn(t + 900ms), 100ms);
    EXPECT_EQ(rig.acq.watchdogDueIn(t + 1000ms), 0ms);
    EXPECT_FALSE(rig.acq.watchdogExpired(t));
    EXPECT_FALSE(rig.acq.watchdogExpired(t + 900ms));
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Monitoring);
    EXPECT_TRUE(rig.acq.takeEvents().empty());
    EXPECT_TRUE(rig.acq.watchdogExpired(t + 1000ms));
    EXPECT_EQ(rig.acq.takeEvents().size(), 1u);
    EXPECT_FALSE(rig.acq.readPending());
    EXPECT_FALSE(rig.acq.watchdogExpired(t + 5s)); // fires once
}

TEST(Acquisition, CloseFailureInTheWatchdogKeepsTheFileOpen) {
    sim::Faults faults;
    faults.silenceAfter = 0;
    Rig rig(faults);
    const auto file = tempFile("closefail.dat");
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    rig.spy->failClose = true;
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(
        pump(rig.acq, blocks, events, [&] { return hasEvent(events, EventKind::CloseError); }));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, EventKind::NoData);
    EXPECT_EQ(shownText(events[1]), "Ошибка закрытия порта!");
    EXPECT_TRUE(rig.acq.recordingToFile());
    rig.acq.stop();
    EXPECT_FALSE(rig.acq.recordingToFile());
    std::filesystem::remove(file);
}

TEST(Acquisition, DeviceLostKeepsTheBlocksAlreadyWritten) {
    sim::Faults faults;
    faults.dropAfter = 1.3;
    Rig rig(faults);
    const auto file = tempFile("lost.dat");
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(
        pump(rig.acq, blocks, events, [&] { return hasEvent(events, EventKind::DeviceLost); }));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, ErrorCode::DeviceLost);
    EXPECT_EQ(shownText(events[0]), "Прибор не включен!");
    EXPECT_EQ(shownCaption(events[0]), "Ошибка");
    EXPECT_EQ(shownText(events[0], false), "The instrument is switched off or unplugged");
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Halted);
    EXPECT_FALSE(rig.acq.linkOpen());
    // The file stays open until Stop, holding the two whole blocks sent before the drop.
    EXPECT_TRUE(rig.acq.recordingToFile());
    EXPECT_EQ(rig.acq.blocksWritten(), 2u);
    EXPECT_TRUE(rig.acq.handOverBlocks().events.empty()); // reported once
    rig.log->clear();
    rig.acq.stop();
    EXPECT_EQ(std::count(rig.log->begin(), rig.log->end(), "write A5"), 0); // link already shut
    EXPECT_EQ(readRecords(file), sim::SyntheticEcg::records(3, 800));
    std::filesystem::remove(file);
}

TEST(Acquisition, RecordingFileIsCreatedAfresh) {
    const auto file = tempFile("orphan.dat");
    std::ofstream(file, std::ios::binary) << std::string(1000, 'x');
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    ASSERT_TRUE(rig.acq.startRecording(file));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    ASSERT_TRUE(pump(rig.acq, blocks, events, [&] { return rig.acq.blocksWritten() >= 1; }));
    rig.acq.stop();
    EXPECT_EQ(std::filesystem::file_size(file), rig.acq.blocksWritten() * 6400u);
    EXPECT_EQ(readRecords(file).front(), sim::SyntheticEcg::records(3, 1).front());
    std::filesystem::remove(file);
}

TEST(Acquisition, FileErrorsAreReportedAndMonitoringGoesOn) {
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    EXPECT_FALSE(rig.acq.startRecording("/nonexistent/dir/x.dat"));
    auto events = rig.acq.takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::FileCreateError);
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Monitoring);

    // A full disk: the block is not counted, recording to file ends, the signal still flows.
    ASSERT_TRUE(rig.acq.startRecording("/dev/full"));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> tickEvents;
    ASSERT_TRUE(pump(rig.acq, blocks, tickEvents,
                     [&] { return hasEvent(tickEvents, EventKind::FileWriteError); }));
    EXPECT_FALSE(rig.acq.recordingToFile());
    EXPECT_EQ(rig.acq.blocksWritten(), 0u);
    EXPECT_EQ(rig.acq.state(), AcquisitionState::Monitoring);
    const auto had = blocks.size();
    ASSERT_TRUE(pump(rig.acq, blocks, tickEvents, [&] { return blocks.size() > had; }));
}

TEST(Acquisition, WriteFailureOfACommandIsReportedAndIgnored) {
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    rig.spy->failWrite = true;
    rig.acq.stop();
    auto events = rig.acq.takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, ErrorCode::IoError); // what the failing write returned
    EXPECT_EQ(shownText(events[0]), "Ошибка записи в порт!");
    EXPECT_FALSE(rig.acq.linkOpen()); // the shutdown went on
}

TEST(Acquisition, ExitSendsStopResetsAndClosesOnlyWhenOpen) {
    Rig rig;
    ASSERT_TRUE(rig.acq.startMonitoring());
    rig.log->clear();
    EXPECT_TRUE(rig.acq.exit());
    EXPECT_EQ(*rig.log, (std::vector<std::string>{"write A5", "cancel", "reset", "close"}));
    rig.log->clear();
    EXPECT_TRUE(rig.acq.exit());
    EXPECT_TRUE(rig.log->empty());

    Rig failing;
    ASSERT_TRUE(failing.acq.startMonitoring());
    failing.spy->failClose = true;
    EXPECT_FALSE(failing.acq.exit());
    EXPECT_EQ(failing.acq.takeEvents().at(0).kind, EventKind::CloseError);
}

// The simulated instrument served on a pseudo-terminal by a thread of its own.
struct ServedPty {
    explicit ServedPty(sim::Instrument& instrument) : server(instrument) {}
    ~ServedPty() { stop(); }
    // Opens the terminal and serves it; false with the reason in `opened`.
    bool start() {
        opened = server.open();
        if (opened.ok())
            serving = std::thread([this] { server.run(); });
        return opened.ok();
    }
    void stop() {
        if (serving.joinable()) {
            server.stop();
            serving.join();
        }
    }
    sim::PtyServer server;
    Status opened;
    std::thread serving;
};

TEST(Acquisition, RecordsThroughAPseudoTerminalWithGarbageOnTheLine) {
    sim::Faults faults;
    faults.garbage = true;
    sim::Instrument instrument(11, faults);
    ServedPty pty(instrument);
    ASSERT_TRUE(pty.start()) << pty.opened.message;

    const auto file = tempFile("pty.dat");
    Acquisition acq(linkTo(pty.server.slavePath()));
    ASSERT_TRUE(acq.startMonitoring());
    ASSERT_TRUE(acq.startRecording(file));
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    const bool done = pump(acq, blocks, events, [&] { return acq.blocksWritten() >= 4; });
    acq.stop();
    pty.stop();
    ASSERT_TRUE(done);
    EXPECT_TRUE(events.empty());
    const auto records = readRecords(file);
    ASSERT_EQ(records.size(), acq.blocksWritten() * 400u);
    EXPECT_EQ(records, sim::SyntheticEcg::records(11, records.size()));
    std::filesystem::remove(file);
}

// An unplug and a plug asked before the server looks (two test signals in quick succession)
// still power the instrument off: the stream stops and the watchdog says so, instead of the
// instrument streaming on into the replugged bridge.
TEST(Acquisition, UnplugAndPlugAtOnceStillPowersTheInstrumentOff) {
    sim::Instrument instrument(8);
    ServedPty pty(instrument);
    std::vector<sim::PtyServer::Happening> log;
    std::mutex logMutex;
    pty.server.setLog([&](sim::PtyServer::Happening what, std::uint64_t, std::uint64_t) {
        std::lock_guard lock(logMutex);
        log.push_back(what);
    });
    ASSERT_TRUE(pty.start()) << pty.opened.message;

    Acquisition acq(linkTo(pty.server.slavePath()));
    ASSERT_TRUE(acq.startMonitoring());
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    const bool streaming = pump(acq, blocks, events, [&] { return blocks.size() >= 2; });
    pty.server.setUnplugged(true);
    pty.server.setUnplugged(false);
    const bool stopped = pump(
        acq, blocks, events, [&] { return !events.empty(); }, 5s);
    acq.stop();
    pty.stop();
    ASSERT_TRUE(streaming);
    ASSERT_TRUE(stopped) << "the instrument streamed on";
    EXPECT_EQ(events.at(0).kind, EventKind::NoData); // the terminal stays; the stream stops
    std::lock_guard lock(logMutex);
    EXPECT_EQ(log, (std::vector{sim::PtyServer::Happening::Unplugged,
                                sim::PtyServer::Happening::PluggedIn}));
}

TEST(Acquisition, PseudoTerminalHangUpIsADeviceLoss) {
    sim::Faults faults;
    faults.dropAfter = 0.7;
    sim::Instrument instrument(5, faults);
    ServedPty pty(instrument);
    ASSERT_TRUE(pty.start()) << pty.opened.message;

    Acquisition acq(linkTo(pty.server.slavePath()));
    ASSERT_TRUE(acq.startMonitoring());
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    const bool lost = pump(acq, blocks, events, [&] { return !events.empty(); });
    pty.serving.join(); // the server ends by itself after the drop
    ASSERT_TRUE(lost);
    EXPECT_EQ(events.at(0).kind, EventKind::DeviceLost);
    EXPECT_EQ(blocks.size(), 1u);
    acq.stop();
}

} // namespace
} // namespace velkard::device

namespace velkard::device {
namespace {

// Hands out a fixed byte stream as fast as it is read, then waits for cancel().
class BurstLink : public Link {
public:
    explicit BurstLink(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    Status open(int) override { return Status::success(); }
    Status close() override { return Status::success(); }
    Status read(std::uint8_t* b, std::size_t n, std::size_t& got) override {
        std::unique_lock lock(m_);
        got = takeLocked(b, n);
        if (got > 0)
            return Status::success();
        drained_ = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return cancelled_; });
        return ErrorCode::Cancelled;
    }
    Status readAvailable(std::uint8_t* b, std::size_t n, std::size_t& got) override {
        std::lock_guard lock(m_);
        got = takeLocked(b, n);
        return Status::success();
    }
    Status write(const std::uint8_t*, std::size_t n, std::size_t& w) override {
        w = n;
        return Status::success();
    }
    Status setBaudRate(std::uint32_t) override { return Status::success(); }
    Status setDataCharacteristics(int, int, int) override { return Status::success(); }
    Status purge(std::uint8_t) override { return Status::success(); }
    Status resetDevice() override { return Status::success(); }
    Status stopInTask() override { return Status::success(); }
    Status queueStatus(std::size_t& rx) override {
        rx = 0;
        return Status::success();
    }
    bool waitForData(std::chrono::milliseconds) override { return false; }
    void cancel() override {
        std::lock_guard lock(m_);
        cancelled_ = true;
        cv_.notify_all();
    }
    void resetCancel() override {
        std::lock_guard lock(m_);
        cancelled_ = false;
    }
    std::string describe() const override { return "burst"; }
    // Blocks until the reader has taken every byte and asked for more.
    void waitDrained() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [this] { return drained_; });
    }

private:
    std::size_t takeLocked(std::uint8_t* b, std::size_t n) {
        const std::size_t k = std::min(n, bytes_.size() - pos_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), k, b);
        pos_ += k;
        return k;
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool drained_ = false;
    bool cancelled_ = false;
};

std::vector<std::uint8_t> framedRecords(int count) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), {0xF0, 0x0F, 0, 0, 0, 0, 0, 0});
        for (int k = 0; k < signal::kRecordBytes; ++k)
            out.push_back(static_cast<std::uint8_t>(i + k));
    }
    return out;
}

TEST(Acquisition, HandOverOverrunIsReportedOncePerRecordingInBothLanguages) {
    BurstLink* burst = nullptr;
    // Three whole blocks arrive before the window's timer runs once: two of them cannot be handed
    // over (the double buffer holds one finished block), 1.0 s of the recording is lost.
    Acquisition acq([&] {
        auto link = std::make_unique<BurstLink>(framedRecords(3 * signal::kRecordsPerBlock));
        burst = link.get();
        return link;
    });
    const auto file = tempFile("overrun.bin");
    ASSERT_TRUE(acq.startRecording(file));
    ASSERT_TRUE(acq.startMonitoring());
    ASSERT_NE(burst, nullptr);
    burst->waitDrained();

    TickResult first = acq.handOverBlocks();
    ASSERT_EQ(first.blocks.size(), 1u);
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].kind, EventKind::DataLost);
    EXPECT_EQ(shownText(first.events[0]), "Потеряны данные: 1,0 с");
    EXPECT_EQ(shownText(first.events[0], false), "Data lost: 1.0 s");
    EXPECT_EQ(shownCaption(first.events[0]), "Ошибка");
    EXPECT_DOUBLE_EQ(acq.lostSeconds(), 1.0);
    EXPECT_EQ(acq.blocksWritten(), 1u);
    // Nothing more is reported for this recording.
    EXPECT_TRUE(acq.handOverBlocks().events.empty());
    acq.stop();
    std::filesystem::remove(file);
}

TEST(Acquisition, NotFoundSaysWhyOpeningFailed) {
    Acquisition acq(linkTo("/nonexistent/ttyVELKARD0"));
    EXPECT_FALSE(acq.startMonitoring());
    const auto events = acq.takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::NotFound);
    // The message the user knows comes first, the reason on the next line in each language.
    EXPECT_EQ(shownText(events[0]).rfind("Прибор не найден\n", 0), 0u) << shownText(events[0]);
    EXPECT_NE(shownText(events[0]).find("Прибор не подключён"), std::string::npos);
    EXPECT_NE(shownText(events[0], false).find("No instrument is connected"), std::string::npos);
    EXPECT_NE(shownText(events[0], false).find("/nonexistent/ttyVELKARD0"), std::string::npos);
}

// The window sleeps until the reader says a block is complete: one notification a block, whether
// the link holds a whole block between reads (the simulator: the reader sleeps until the block is
// due and takes it in one go) or only a twentieth of a second (a tty: ten reads a block), and the
// blocks are the instrument's stream without a gap.
TEST(Acquisition, TheReaderNotifiesOncePerBlockAndTheBlocksAreTheStream) {
    for (const bool spy : {false, true}) {
        SCOPED_TRACE(spy ? "short hold" : "long hold");
        Rig rig({}, 5);
        Acquisition direct([] { return std::make_unique<SimLink>(5); });
        Acquisition& acq = spy ? rig.acq : direct;
        std::mutex m;
        std::condition_variable cv;
        int notified = 0;
        acq.setBlockNotify([&] {
            std::lock_guard lock(m);
            ++notified;
            cv.notify_all();
        });
        ASSERT_TRUE(acq.startMonitoring());
        std::vector<signal::SampleBlock> blocks;
        int seen = 0;
        while (blocks.size() < 5) {
            {
                std::unique_lock lock(m);
                ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return notified > seen; }));
                seen = notified;
            }
            TickResult r = acq.handOverBlocks();
            EXPECT_TRUE(r.events.empty());
            blocks.insert(blocks.end(), r.blocks.begin(), r.blocks.end());
        }
        acq.setBlockNotify({});
        acq.stop();
        // A notification per read would be ten a block with the short hold.
        EXPECT_LE(notified, int(blocks.size()) + 1);
        const auto expected =
            sim::SyntheticEcg::records(5, blocks.size() * signal::kRecordsPerBlock);
        for (std::size_t b = 0; b < blocks.size(); ++b)
            for (std::size_t r = 0; r < std::size_t(signal::kRecordsPerBlock); ++r)
                ASSERT_EQ(blocks[b][r], expected[b * signal::kRecordsPerBlock + r])
                    << b << " " << r;
    }
}

} // namespace
} // namespace velkard::device
