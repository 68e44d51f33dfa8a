// SPDX-License-Identifier: GPL-3.0-or-later
// FtdiLink against the emulated FTDI chip (device/testing/FakeFtdi.h).
#include "device/Acquisition.h"
#include "device/FtdiLink.h"
#include "device/testing/FakeFtdi.h"
#include "sim/Instrument.h"

#include <gtest/gtest.h>

#include <ftdi.h>

#include <future>
#include <thread>

namespace velkard::device {
namespace {

using namespace std::chrono_literals;
namespace fake = fakeftdi;

// Generous bounds: they only keep a broken build from hanging, they time nothing.
constexpr auto kPatience = 10s;

// A chip with one setting changed from the default.
template <typename Change> fake::Chip chipWith(Change change) {
    fake::Chip chip;
    change(chip);
    return chip;
}

// Reads until n bytes have come or a read reports something other than Ok.
Status collect(Link& link, std::vector<std::uint8_t>& out, std::size_t n) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (out.size() < n && std::chrono::steady_clock::now() < end) {
        link.waitForData(100ms);
        std::uint8_t buf[256];
        std::size_t got = 0;
        const Status s = link.readAvailable(buf, sizeof buf, got);
        out.insert(out.end(), buf, buf + got);
        if (s != ErrorCode::None)
            return s;
    }
    return Status::success();
}

TEST(FtdiLink, OpenFailuresSayWhy) {
    fake::plug(chipWith([](fake::Chip& c) { c.present = false; }));
    FtdiLink none;
    EXPECT_EQ(none.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(none.openProblem().kind, OpenFailure::NoDevice);
    EXPECT_EQ(none.close(), ErrorCode::None);

    fake::plug(chipWith([](fake::Chip& c) {
        c.openResult = -4;
        c.openError = "libusb_open() failed";
    }));
    FtdiLink denied;
    EXPECT_EQ(denied.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(denied.openProblem().kind, OpenFailure::PermissionDenied);
    EXPECT_NE(denied.openProblem().detail.find("libusb_open() failed"), std::string::npos);
    EXPECT_NE(openFailureText(denied.openProblem(), false).find("udev"), std::string::npos);
    EXPECT_NE(openFailureText(denied.openProblem(), true).find("udev"), std::string::npos);

    fake::plug(chipWith([](fake::Chip& c) {
        c.openResult = -5;
        c.openError = "unable to claim usb device. Make sure the default FTDI driver is not in use";
    }));
    FtdiLink busy;
    EXPECT_EQ(busy.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(busy.openProblem().kind, OpenFailure::Busy);
    EXPECT_NE(openFailureText(busy.openProblem(), true).find("ftdi_sio"), std::string::npos);

    // Another vendor's bridge is not taken for the instrument unless configured.
    fake::plug(chipWith([](fake::Chip& c) {
        c.vendor = 0x1209;
        c.product = 0x00F1;
    }));
    FtdiLink defaults;
    EXPECT_EQ(defaults.open(0), ErrorCode::DeviceNotFound);
    EXPECT_EQ(defaults.openProblem().kind, OpenFailure::NoDevice);
    FtdiLink configured({0x1209, 0x00F1});
    EXPECT_EQ(configured.open(0), ErrorCode::None);
    EXPECT_EQ(configured.openProblem().kind, OpenFailure::None);
    EXPECT_EQ(configured.close(), ErrorCode::None);
}

TEST(FtdiLink, OpensWithLowLatencyAndGivesTheDeviceBackToTheKernelDriver) {
    fake::plug({});
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    EXPECT_EQ(fake::latencyTimer(), 2);
    EXPECT_EQ(fake::readChunkSize(), FtdiLink::kUsbChunkBytes);
    EXPECT_EQ(fake::detachModeAtOpen(), AUTO_DETACH_REATACH_SIO_MODULE);
    EXPECT_FALSE(fake::kernelDriverBound());
    EXPECT_EQ(link.close(), ErrorCode::None);
    EXPECT_TRUE(fake::kernelDriverBound()); // /dev/ttyUSB* is back
}

TEST(FtdiLink, ReadsWhatArrivedAndNeverHoldsTheLinkForWrites) {
    fake::plug({});
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    fake::receive({1, 2, 3});
    std::vector<std::uint8_t> got;
    EXPECT_EQ(collect(link, got, 3), ErrorCode::None);
    EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 3}));

    // A host whose USB read is stuck (the chip has not answered yet) still writes at once.
    fake::holdHost(true);
    auto reader = std::async(std::launch::async, [&] {
        std::uint8_t b = 0;
        std::size_t n = 0;
        return link.read(&b, 1, n);
    });
    auto writer = std::async(std::launch::async, [&] {
        const std::uint8_t stop = 0xA5;
        std::size_t written = 0;
        return link.write(&stop, 1, written);
    });
    ASSERT_EQ(writer.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(writer.get(), ErrorCode::None);
    fake::holdHost(false);
    fake::receive({9});
    ASSERT_EQ(reader.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reader.get(), ErrorCode::None);
    EXPECT_EQ(link.close(), ErrorCode::None);
}

// QEMU's emulated FT232 NAKs reads while it has nothing, so libftdi's read can time out after it
// has copied bytes, and drops them. Every reply of the memory protocol ends that way: the tail of
// each block was lost and the download stopped with "no answer".
TEST(FtdiLink, AChipThatNaksWhenIdleLosesNoByteAtTheEndOfAReply) {
    fake::plug(chipWith([](fake::Chip& c) {
        c.nakWhenIdle = true;
        c.fifoBytes = 4096;
    }));
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    for (const std::size_t replyBytes : {1u, 61u, 62u, 100u, 496u, 3000u}) {
        std::vector<std::uint8_t> reply(replyBytes);
        for (std::size_t i = 0; i < reply.size(); ++i)
            reply[i] = static_cast<std::uint8_t>(i * 7 + replyBytes);
        fake::receive(reply);
        std::vector<std::uint8_t> got;
        EXPECT_EQ(collect(link, got, reply.size()), ErrorCode::None) << replyBytes;
        EXPECT_EQ(got, reply) << replyBytes;
    }
    link.close();
}

TEST(FtdiLink, DrainSendsTheLastByteAtTheOldSpeed) {
    fake::plug({});
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    ASSERT_EQ(link.setBaudRate(230400), ErrorCode::None);
    const std::uint8_t enter = 0x60;
    std::size_t written = 0;
    ASSERT_EQ(link.write(&enter, 1, written), ErrorCode::None);
    ASSERT_EQ(link.drainOutput(), ErrorCode::None);
    ASSERT_EQ(link.setBaudRate(3000000), ErrorCode::None);
    const auto sent = fake::sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].byte, 0x60);
    EXPECT_EQ(sent[0].baud, 230400u);
    link.close();
}

TEST(FtdiLink, ReceiveBufferOverflowIsReportedNotHidden) {
    fake::plug(chipWith([](fake::Chip& c) { c.fifoBytes = 256; }));
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    // The host stops polling while 1000 bytes arrive: the chip keeps 256.
    fake::holdHost(true);
    std::vector<std::uint8_t> burst(1000);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<std::uint8_t>(i);
    fake::receive(burst);
    EXPECT_EQ(fake::bytesLost(), 744u);
    fake::holdHost(false);

    std::vector<std::uint8_t> got;
    Status seen = ErrorCode::None;
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (seen == ErrorCode::None && std::chrono::steady_clock::now() < end)
        seen = collect(link, got, 100000);
    EXPECT_EQ(seen, ErrorCode::Overrun);
    EXPECT_LE(got.size(), 256u);
    // Reported once: the next read is clean again.
    std::uint8_t rest[256];
    std::size_t n = 0;
    EXPECT_EQ(link.readAvailable(rest, sizeof rest, n), ErrorCode::None);
    link.close();
}

TEST(FtdiLink, UnplugInTheMiddleOfATransferEndsTheReadAndClosesWithoutError) {
    fake::plug({});
    FtdiLink link;
    ASSERT_EQ(link.open(0), ErrorCode::None);
    auto reader = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> block(3000);
        std::size_t got = 0;
        const Status s = link.read(block.data(), block.size(), got);
        return std::make_pair(s, got);
    });
    for (int i = 0; i < 10; ++i) {
        fake::receive(std::vector<std::uint8_t>(100, 0x11));
        while (fake::fifoLevel() > 0)
            std::this_thread::sleep_for(1ms);
    }
    fake::unplug();
    ASSERT_EQ(reader.wait_for(kPatience), std::future_status::ready);
    const auto [status, got] = reader.get();
    EXPECT_EQ(status, ErrorCode::DeviceLost);
    EXPECT_EQ(got, 1000u);
    const std::uint8_t b = 0x63;
    std::size_t written = 0;
    EXPECT_EQ(link.write(&b, 1, written), ErrorCode::DeviceLost);
    EXPECT_TRUE(link.waitForData(kPatience)); // readable: the read says what happened
    EXPECT_EQ(link.close(), ErrorCode::None); // no false close error after an unplug

    // Plugged in again, the next open works.
    fake::plug({});
    EXPECT_EQ(link.open(0), ErrorCode::None);
    EXPECT_EQ(link.close(), ErrorCode::None);
}

TEST(FtdiLink, UnplugWhileStreamingIsOneDeviceLossAndNoCloseError) {
    fake::plug({});
    Acquisition acq([] { return std::make_unique<FtdiLink>(); });
    ASSERT_TRUE(acq.startMonitoring());
    EXPECT_EQ(acq.linkDescription(), "USB FTDI (libftdi)");

    // The instrument streams: feed its frames as the chip receives them, never overflowing it.
    sim::Instrument instrument(5);
    const auto t0 = sim::Instrument::Clock::now();
    const std::uint8_t start = 0x5A;
    instrument.hostWrite(&start, 1, t0);
    std::vector<std::uint8_t> stream;
    instrument.pump(t0 + 1500ms, stream); // 1.5 s of frames: three blocks
    std::vector<signal::SampleBlock> blocks;
    std::vector<Event> events;
    std::size_t at = 0;
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (blocks.size() < 2 && std::chrono::steady_clock::now() < end) {
        if (fake::fifoLevel() == 0 && at < stream.size()) {
            const std::size_t n = std::min<std::size_t>(200, stream.size() - at);
            fake::receive({stream.begin() + static_cast<std::ptrdiff_t>(at),
                           stream.begin() + static_cast<std::ptrdiff_t>(at + n)});
            at += n;
        }
        TickResult r = acq.handOverBlocks();
        blocks.insert(blocks.end(), r.blocks.begin(), r.blocks.end());
        events.insert(events.end(), r.events.begin(), r.events.end());
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(fake::bytesLost(), 0u);

    fake::unplug();
    while (acq.state() != AcquisitionState::Halted && std::chrono::steady_clock::now() < end) {
        TickResult r = acq.handOverBlocks();
        events.insert(events.end(), r.events.begin(), r.events.end());
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(acq.state(), AcquisitionState::Halted);
    int lost = 0;
    for (const Event& e : events) {
        EXPECT_NE(e.kind, EventKind::CloseError);
        lost += e.kind == EventKind::DeviceLost;
    }
    EXPECT_EQ(lost, 1);
    acq.stop();
    EXPECT_TRUE(acq.takeEvents().empty());
}

} // namespace
} // namespace velkard::device
