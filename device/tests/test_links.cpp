// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FrameReader.h"
#include "device/Link.h"
#include "device/SimLink.h"
#include "device/TtyLink.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace velkard::device {
namespace {

using namespace std::chrono_literals;

// A raw pseudo-terminal whose master end plays the instrument.
class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        ::grantpt(master_);
        ::unlockpt(master_);
        char name[256] = {};
        ::ptsname_r(master_, name, sizeof name);
        path_ = name;
        const int slave = ::open(name, O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
    }
    ~Pty() { closeMaster(); }
    const std::string& path() const { return path_; }
    void send(std::vector<std::uint8_t> bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::uint8_t receiveOne() {
        std::uint8_t b = 0;
        EXPECT_EQ(::read(master_, &b, 1), 1);
        return b;
    }
    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string path_;
};

TEST(TtyLink, OpenFailsCleanlyWithoutADevice) {
    TtyLink missing("/nonexistent/ttyVELKARD0");
    EXPECT_EQ(missing.open(0), Status::DeviceNotFound);
    EXPECT_EQ(missing.close(), Status::Ok);

    const auto plain = std::filesystem::temp_directory_path() / "velkard-not-a-tty.txt";
    std::ofstream(plain) << "text";
    TtyLink notTty(plain.string());
    EXPECT_EQ(notTty.open(0), Status::DeviceNotFound);
    std::filesystem::remove(plain);

    std::uint8_t b = 0;
    std::size_t got = 9;
    EXPECT_EQ(missing.read(&b, 1, got), Status::DeviceNotOpened);
    EXPECT_EQ(got, 0u);
}

TEST(TtyLink, ReadsWritesAndAcceptsBothLineSpeeds) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), Status::Ok);
    EXPECT_EQ(link.setDataCharacteristics(8, 0, 0), Status::Ok);
    EXPECT_EQ(link.setBaudRate(230400), Status::Ok);
    EXPECT_EQ(link.setBaudRate(3000000), Status::Ok);

    const std::uint8_t cmd = 0x5A;
    std::size_t written = 0;
    EXPECT_EQ(link.write(&cmd, 1, written), Status::Ok);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(pty.receiveOne(), 0x5A);

    pty.send({1, 2, 3, 4, 5});
    std::uint8_t buf[5] = {};
    std::size_t got = 0;
    EXPECT_EQ(link.read(buf, 5, got), Status::Ok);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(buf[4], 5);

    pty.send({7, 8, 9});
    ASSERT_TRUE(link.waitForData(5000ms));
    std::size_t waiting = 0;
    // The three bytes may still be on their way through the line discipline.
    for (int i = 0; i < 1000 && waiting < 3; ++i) {
        EXPECT_EQ(link.queueStatus(waiting), Status::Ok);
        if (waiting < 3)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(waiting, 3u);
    EXPECT_EQ(link.purge(kPurgeRx | kPurgeTx), Status::Ok);
    EXPECT_EQ(link.queueStatus(waiting), Status::Ok);
    EXPECT_EQ(waiting, 0u);
    EXPECT_FALSE(link.waitForData(20ms));
    EXPECT_EQ(link.readAvailable(buf, 5, got), Status::Ok);
    EXPECT_EQ(got, 0u);
}

TEST(TtyLink, CancelWakesABlockedReadAndResetCancelRearmsIt) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), Status::Ok);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return std::make_pair(link.read(&b, 1, got), got);
    });
    link.cancel();
    const auto [status, got] = blocked.get();
    EXPECT_EQ(status, Status::Cancelled);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(link.waitForData(1000ms)); // still cancelled: returns at once

    link.resetCancel();
    pty.send({0x42});
    std::uint8_t b = 0;
    std::size_t n = 0;
    EXPECT_EQ(link.read(&b, 1, n), Status::Ok);
    EXPECT_EQ(b, 0x42);
}

TEST(TtyLink, HangUpEndsAReadWithNoByte) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), Status::Ok);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return std::make_pair(link.read(&b, 1, got), got);
    });
    pty.closeMaster();
    const auto [status, got] = blocked.get();
    EXPECT_EQ(status, Status::IoError);
    EXPECT_EQ(got, 0u);
}

TEST(SimLink, AbsentInstrumentIsNotFound) {
    sim::Faults faults;
    faults.absent = true;
    SimLink link(1, faults);
    EXPECT_EQ(link.open(0), Status::DeviceNotFound);
    SimLink present;
    EXPECT_EQ(present.open(1), Status::DeviceNotFound); // only the first device exists
    EXPECT_EQ(present.open(0), Status::Ok);
}

TEST(SimLink, StreamsTheSeededSignalAfterTheStartByte) {
    SimLink link(42);
    ASSERT_EQ(link.open(0), Status::Ok);
    EXPECT_FALSE(link.waitForData(30ms)); // silent until asked
    const std::uint8_t start = 0x5A;
    std::size_t written = 0;
    ASSERT_EQ(link.write(&start, 1, written), Status::Ok);

    FrameReader reader;
    std::vector<signal::SampleRecord> got;
    std::uint8_t buf[24 * 10];
    std::size_t n = 0;
    while (got.size() < 20) {
        ASSERT_EQ(link.read(buf, sizeof buf, n), Status::Ok);
        reader.feed(buf, n, [&](const signal::SampleRecord& r) { got.push_back(r); });
    }
    const auto expected = sim::SyntheticEcg::records(42, got.size());
    EXPECT_EQ(got, expected);
}

TEST(SimLink, CancelWakesABlockedReadAndDropEndsIt) {
    SimLink quiet;
    ASSERT_EQ(quiet.open(0), Status::Ok);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return quiet.read(&b, 1, got);
    });
    quiet.cancel();
    EXPECT_EQ(blocked.get(), Status::Cancelled);

    sim::Faults faults;
    faults.dropAfter = 0.05;
    SimLink dropping(1, faults);
    ASSERT_EQ(dropping.open(0), Status::Ok);
    const std::uint8_t start = 0x5A;
    std::size_t written = 0;
    ASSERT_EQ(dropping.write(&start, 1, written), Status::Ok);
    std::uint8_t buf[64];
    std::size_t got = 0;
    Status status = Status::Ok;
    std::size_t total = 0;
    while ((status = dropping.read(buf, 1, got)) == Status::Ok)
        total += got;
    EXPECT_EQ(status, Status::IoError);
    EXPECT_EQ(got, 0u);
    EXPECT_GT(total, 0u); // it did stream before the drop
    EXPECT_EQ(dropping.write(&start, 1, written), Status::IoError);
}

TEST(MakeLink, ChoosesTheBackendFromThePortName) {
    EXPECT_EQ(makeLink("SIM")->describe(), "SIM");
    EXPECT_EQ(makeLink("/dev/ttyUSB7")->describe(), "/dev/ttyUSB7");
    EXPECT_EQ(makeLink("COM4")->describe(), "FTDI USB device");
}

} // namespace
} // namespace velkard::device
