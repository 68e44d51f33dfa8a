// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Discovery.h"
#include "device/Link.h"
#include "links/MakeLink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace velkard::device {
namespace {

using links::makeLink;

namespace fs = std::filesystem;

// A folder laid out like /sys/bus/usb/devices, with the devices a test plugs in.
class FakeSysfs {
public:
    FakeSysfs() {
        root_ = fs::temp_directory_path() / ("velkard-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(devices());
    }
    ~FakeSysfs() { fs::remove_all(root_); }
    fs::path devices() const { return root_ / "bus" / "usb" / "devices"; }
    std::string root() const { return root_.string(); }
    void device(const std::string& name, const std::string& vendor, const std::string& product,
                const std::string& tty = {}) {
        const fs::path d = devices() / name;
        fs::create_directories(d);
        std::ofstream(d / "idVendor") << vendor << "\n";
        std::ofstream(d / "idProduct") << product << "\n";
        // Interfaces appear both inside the device and beside it; only the device holds ids.
        fs::create_directories(d / (name + ":1.0"));
        fs::create_directories(devices() / (name + ":1.0"));
        if (!tty.empty())
            fs::create_directories(d / (name + ":1.0") / tty / "power");
    }

private:
    fs::path root_;
};

TEST(Discovery, FindsTheBridgeByItsIdentifiersAndTheTtyItsDriverMade) {
    FakeSysfs sys;
    sys.device("1-1", "1d6b", "0002");            // a hub
    sys.device("1-2", "0403", "6001", "ttyUSB3"); // FT232R bound to ftdi_sio
    sys.device("2-1", "0403", "6015");            // FT-X without a driver
    sys.device("2-2", "0403", "abcd");            // FTDI vendor, unknown product

    const auto ftdi = findUsbDevices(sys.root(), {});
    ASSERT_EQ(ftdi.size(), 2u);
    EXPECT_EQ(ftdi[0].sysfsName, "1-2");
    EXPECT_EQ(ftdi[0].tty, "/dev/ttyUSB3");
    EXPECT_EQ(ftdi[1].sysfsName, "2-1");
    EXPECT_TRUE(ftdi[1].tty.empty());

    const auto own = findUsbDevices(sys.root(), {0x0403, 0xABCD});
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].sysfsName, "2-2");
    EXPECT_TRUE(findUsbDevices(sys.root(), {0x1234, 0x5678}).empty());
    EXPECT_TRUE(findUsbDevices(sys.root() + "/missing", {}).empty());
}

TEST(Discovery, PlugAndPlayPrefersTheKernelTtyAndSaysWhichItUses) {
    FakeSysfs sys;
    sys.device("2-1", "0403", "6015");
    // Only a driverless bridge: libftdi1.
    EXPECT_EQ(makeLink("COM4", sys.root())->describe(), "USB FTDI (libftdi)");
    sys.device("1-4", "0403", "6001", "ttyUSB0");
    EXPECT_EQ(makeLink("COM4", sys.root())->describe(), "/dev/ttyUSB0 (ftdi_sio)");
    // A path or SIM is taken as it is.
    EXPECT_EQ(makeLink("/dev/ttyS1", sys.root())->describe(), "/dev/ttyS1");
    // Configured identifiers.
    EXPECT_EQ(makeLink("usb:1209:00F1", sys.root())->describe(), "USB 1209:00f1 (libftdi)");
    sys.device("3-1", "1209", "00f1", "ttyUSB5");
    EXPECT_EQ(makeLink("USB:1209:00f1", sys.root())->describe(), "/dev/ttyUSB5 (ftdi_sio)");
}

TEST(Discovery, UsbPortNamesAreReadStrictly) {
    UsbIds ids;
    EXPECT_TRUE(parseUsbPortName("USB:0403:6001", ids));
    EXPECT_EQ(ids.vendor, 0x0403);
    EXPECT_EQ(ids.product, 0x6001);
    for (const char* bad : {"COM4", "USB:0403", "USB:04036001", "USB:0403:60G1", "USB:0000:6001",
                            "USB:0403:6001:1", "usb 0403 6001"})
        EXPECT_FALSE(parseUsbPortName(bad, ids)) << bad;
}

} // namespace
} // namespace velkard::device
