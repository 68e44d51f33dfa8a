// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Discovery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace velkard::device {

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kFtdiVendor = 0x0403;
// FT232R/FT245R, FT2232, FT4232, FT232H, FT-X: the products libftdi1 looks for by default.
constexpr std::uint16_t kFtdiProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

bool readHex(const fs::path& file, std::uint16_t& value) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 4)
        return false;
    try {
        std::size_t used = 0;
        const unsigned long v = std::stoul(text, &used, 16);
        if (used != text.size())
            return false;
        value = static_cast<std::uint16_t>(v);
        return true;
    } catch (...) {
        return false;
    }
}

// The first ttyUSB* bound to one of the device's interfaces ("1-1:1.0/ttyUSB0").
std::string boundTty(const fs::path& device, const std::string& name) {
    std::error_code ec;
    std::vector<std::string> ttys;
    for (const auto& entry : fs::directory_iterator(device, ec)) {
        const std::string child = entry.path().filename().string();
        if (child.rfind(name + ":", 0) != 0)
            continue;
        std::error_code ec2;
        for (const auto& inner : fs::directory_iterator(entry.path(), ec2)) {
            const std::string tty = inner.path().filename().string();
            if (tty.rfind("ttyUSB", 0) == 0)
                ttys.push_back("/dev/" + tty);
        }
    }
    std::sort(ttys.begin(), ttys.end());
    return ttys.empty() ? std::string() : ttys.front();
}

} // namespace

bool matchesUsbIds(const UsbIds& ids, std::uint16_t vendor, std::uint16_t product) {
    if (ids.vendor != 0)
        return vendor == ids.vendor && product == ids.product;
    return vendor == kFtdiVendor && std::find(std::begin(kFtdiProducts), std::end(kFtdiProducts),
                                              product) != std::end(kFtdiProducts);
}

std::vector<UsbDevice> findUsbDevices(const std::string& sysfsRoot, const UsbIds& ids) {
    std::vector<UsbDevice> found;
    std::error_code ec;
    const fs::path devices = fs::path(sysfsRoot) / "bus" / "usb" / "devices";
    for (const auto& entry : fs::directory_iterator(devices, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(':') != std::string::npos)
            continue; // an interface, not a device
        UsbDevice d;
        d.sysfsName = name;
        if (!readHex(entry.path() / "idVendor", d.vendor) ||
            !readHex(entry.path() / "idProduct", d.product) ||
            !matchesUsbIds(ids, d.vendor, d.product))
            continue;
        d.tty = boundTty(entry.path(), name);
        found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(),
              [](const UsbDevice& a, const UsbDevice& b) { return a.sysfsName < b.sysfsName; });
    return found;
}

} // namespace velkard::device
