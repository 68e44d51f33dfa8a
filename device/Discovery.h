// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the instrument's USB-serial bridge by its USB identifiers in sysfs, for plug and play.
#pragma once

#include "device/Link.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velkard::device {

struct UsbDevice {
    std::string sysfsName; // e.g. "1-1.2"
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string tty; // "/dev/ttyUSB0" when the kernel's serial driver has bound it, else empty
};

// True when a device with these identifiers is what ids asks for (vendor 0: FTDI's own).
bool matchesUsbIds(const UsbIds& ids, std::uint16_t vendor, std::uint16_t product);

// Every matching USB device listed under sysfsRoot/bus/usb/devices, sorted by name. Missing or
// unreadable entries are skipped.
std::vector<UsbDevice> findUsbDevices(const std::string& sysfsRoot, const UsbIds& ids);

} // namespace velkard::device
