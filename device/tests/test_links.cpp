// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FrameReader.h"
#include "device/Link.h"
#include "device/TtyLink.h"
#include "links/MakeLink.h"
#include "links/SimLink.h"
#include "signal/tests/TestFiles.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace velkard::device {
namespace {

using links::makeLink;
using links::SimLink;

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
    EXPECT_EQ(missing.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(missing.close(), ErrorCode::None);

    const auto plain = std::filesystem::temp_directory_path() / "velkard-not-a-tty.txt";
    std::ofstream(plain) << "text";
    TtyLink notTty(plain.string());
    EXPECT_EQ(notTty.open(0), ErrorCode::DeviceNotFound);
    std::filesystem::remove(plain);

    std::uint8_t b = 0;
    std::size_t got = 9;
    EXPECT_EQ(missing.read(&b, 1, got), ErrorCode::DeviceNotOpened);
    EXPECT_EQ(got, 0u);
}

TEST(TtyLink, OpensExclusivelyAndReleasesOnClose) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), ErrorCode::None);
    // A second program of an ordinary user (root may open it anyway) is refused, and the reason
    // says the device is busy. The pty is handed to that user first, so only the exclusive mode
    // stands in its way.
    if (signal::test::runningAsRoot()) {
        ASSERT_EQ(
            ::chown(pty.path().c_str(), signal::test::kUnprivilegedId, static_cast<gid_t>(-1)), 0);
    }
    EXPECT_TRUE(signal::test::asUnprivilegedUser([&] {
        const int refused = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool busy = refused < 0 && errno == EBUSY;
        if (refused >= 0)
            ::close(refused);
        TtyLink second(pty.path());
        return busy && second.open(0) == ErrorCode::DeviceNotFound &&
               second.openProblem().kind == OpenFailure::Busy;
    }));
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int probe = other >= 0 ? other : ::open("/dev/null", O_RDONLY);
    int exclusive = 0;
    if (other >= 0) {
        // root may open it anyway; the tty still says it is in exclusive mode.
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    EXPECT_EQ(link.close(), ErrorCode::None);
    if (other >= 0) {
        ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
    }
    ::close(probe);
    TtyLink again(pty.path());
    EXPECT_EQ(again.open(0), ErrorCode::None);
}

TEST(TtyLink, OpenFailureNamesTheReason) {
    TtyLink missing("/nonexistent/ttyVELKARD0");
    ASSERT_EQ(missing.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(missing.openProblem().kind, OpenFailure::NoDevice);
    EXPECT_NE(missing.openProblem().detail.find("/nonexistent/ttyVELKARD0"), std::string::npos);

    const OpenProblem denied{OpenFailure::PermissionDenied, "/dev/bus/usb/001/004"};
    for (bool russian : {true, false}) {
        const std::string text = openFailureText(denied, russian);
        EXPECT_NE(text.find("packaging/70-velkard-ftdi.rules"), std::string::npos) << text;
        EXPECT_EQ(text.find("plugdev"), std::string::npos) << text;
        EXPECT_NE(text.find("/dev/bus/usb/001/004"), std::string::npos) << text;
    }
    EXPECT_NE(openFailureText({OpenFailure::Busy, ""}, true).find("ftdi_sio"), std::string::npos);
    EXPECT_NE(openFailureText({OpenFailure::Busy, ""}, false).find("busy"), std::string::npos);
    EXPECT_TRUE(openFailureText({}, false).empty());
}

TEST(TtyLink, ReadsWritesAndAcceptsBothLineSpeeds) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), ErrorCode::None);
    EXPECT_EQ(link.setDataCharacteristics(8, 0, 0), ErrorCode::None);
    EXPECT_EQ(link.setBaudRate(230400), ErrorCode::None);
    EXPECT_EQ(link.setBaudRate(3000000), ErrorCode::None);

    const std::uint8_t cmd = 0x5A;
    std::size_t written = 0;
    EXPECT_EQ(link.write(&cmd, 1, written), ErrorCode::None);
    EXPECT_EQ(written, 1u);
    EXPECT_EQ(pty.receiveOne(), 0x5A);

    pty.send({1, 2, 3, 4, 5});
    std::uint8_t buf[5] = {};
    std::size_t got = 0;
    EXPECT_EQ(link.read(buf, 5, got), ErrorCode::None);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(buf[4], 5);

    pty.send({7, 8, 9});
    ASSERT_TRUE(link.waitForData(5000ms));
    std::size_t waiting = 0;
    // The three bytes may still be on their way through the line discipline.
    for (int i = 0; i < 1000 && waiting < 3; ++i) {
        EXPECT_EQ(link.queueStatus(waiting), ErrorCode::None);
        if (waiting < 3)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(waiting, 3u);
    EXPECT_EQ(link.purge(kPurgeRx | kPurgeTx), ErrorCode::None);
    EXPECT_EQ(link.queueStatus(waiting), ErrorCode::None);
    EXPECT_EQ(waiting, 0u);
    EXPECT_FALSE(link.waitForData(20ms));
    EXPECT_EQ(link.readAvailable(buf, 5, got), ErrorCode::None);
    EXPECT_EQ(got, 0u);
}

TEST(TtyLink, CancelWakesABlockedReadAndResetCancelRearmsIt) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), ErrorCode::None);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return std::make_pair(link.read(&b, 1, got), got);
    });
    link.cancel();
    const auto [status, got] = blocked.get();
    EXPECT_EQ(status, ErrorCode::Cancelled);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(link.waitForData(1000ms)); // still cancelled: returns at once

    link.resetCancel();
    pty.send({0x42});
    std::uint8_t b = 0;
    std::size_t n = 0;
    EXPECT_EQ(link.read(&b, 1, n), ErrorCode::None);
    EXPECT_EQ(b, 0x42);
}

TEST(TtyLink, HangUpEndsAReadWithNoByte) {
    Pty pty;
    TtyLink link(pty.path());
    ASSERT_EQ(link.open(0), ErrorCode::None);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return std::make_pair(link.read(&b, 1, got), got);
    });
    pty.closeMaster();
    const auto [status, got] = blocked.get();
    EXPECT_EQ(status, ErrorCode::IoError);
    EXPECT_EQ(got, 0u);
}

TEST(SimLink, AbsentInstrumentIsNotFound) {
    sim::Faults faults;
    faults.absent = true;
    SimLink link(1, faults);
    EXPECT_EQ(link.open(0), ErrorCode::DeviceNotFound);
    SimLink present;
    EXPECT_EQ(present.open(1), ErrorCode::DeviceNotFound); // only the first device exists
    EXPECT_EQ(present.open(0), ErrorCode::None);
}

TEST(SimLink, StreamsTheSeededSignalAfterTheStartByte) {
    SimLink link(42);
    ASSERT_EQ(link.open(0), ErrorCode::None);
    EXPECT_FALSE(link.waitForData(30ms)); // silent until asked
    const std::uint8_t start = 0x5A;
    std::size_t written = 0;
    ASSERT_EQ(link.write(&start, 1, written), ErrorCode::None);

    FrameReader reader;
    std::vector<signal::SampleRecord> got;
    std::uint8_t buf[24 * 10];
    std::size_t n = 0;
    while (got.size() < 20) {
        ASSERT_EQ(link.read(buf, sizeof buf, n), ErrorCode::None);
        reader.feed(buf, n, [&](const signal::SampleRecord& r) { got.push_back(r); });
    }
    const auto expected = sim::SyntheticEcg::records(42, got.size());
    EXPECT_EQ(got, expected);
}

TEST(SimLink, CancelWakesABlockedReadAndDropEndsIt) {
    SimLink quiet;
    ASSERT_EQ(quiet.open(0), ErrorCode::None);
    auto blocked = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t got = 0;
        return quiet.read(&b, 1, got);
    });
    quiet.cancel();
    EXPECT_EQ(blocked.get(), ErrorCode::Cancelled);

    sim::Faults faults;
    faults.dropAfter = 0.05;
    SimLink dropping(1, faults);
    ASSERT_EQ(dropping.open(0), ErrorCode::None);
    const std::uint8_t start = 0x5A;
    std::size_t written = 0;
    ASSERT_EQ(dropping.write(&start, 1, written), ErrorCode::None);
    std::uint8_t buf[64];
    std::size_t got = 0;
    Status status = ErrorCode::None;
    std::size_t total = 0;
    while ((status = dropping.read(buf, 1, got)) == ErrorCode::None)
        total += got;
    EXPECT_EQ(status, ErrorCode::IoError);
    EXPECT_EQ(got, 0u);
    EXPECT_GT(total, 0u); // it did stream before the drop
    EXPECT_EQ(dropping.write(&start, 1, written), ErrorCode::IoError);
}

TEST(MakeLink, ChoosesTheBackendFromThePortName) {
    // The simulated instrument's memory card is held in memory: making the link, opening it and
    // listing the card writes nothing to the temporary folder.
    signal::test::ScratchDir tmp;
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    {
        auto sim = makeLink("SIM");
        EXPECT_EQ(sim->describe(), "SIM");
        ASSERT_EQ(sim->open(0), ErrorCode::None);
        const std::uint8_t list[] = {0x60, 0x62, 0x63};
        std::size_t written = 0;
        ASSERT_EQ(sim->write(list, sizeof list, written), ErrorCode::None);
        std::string text;
        std::uint8_t buf[4096];
        std::size_t got = 0;
        while (text.size() < 3000 && sim->waitForData(1s) &&
               sim->readAvailable(buf, sizeof buf, got) == ErrorCode::None)
            text.append(reinterpret_cast<const char*>(buf), got);
        EXPECT_NE(text.find("ECG00001.DAT"), std::string::npos);
        sim->close();
    }
    if (oldTmp)
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
    EXPECT_EQ(makeLink("/dev/ttyUSB7")->describe(), "/dev/ttyUSB7");
    // Plug and play with nothing plugged in: libftdi1, which then says no device was found.
    const auto emptySysfs = std::filesystem::temp_directory_path() / "velkard-empty-sysfs";
    EXPECT_EQ(makeLink("COM4", emptySysfs.string())->describe(), "USB FTDI (libftdi)");
}

} // namespace
} // namespace velkard::device
