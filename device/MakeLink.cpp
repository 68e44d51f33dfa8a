// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Discovery.h"
#include "device/FtdiLink.h"
#include "device/Link.h"
#include "device/SimLink.h"
#include "device/TtyLink.h"
#include "sim/DeviceFiles.h"
#include "sim/MemoryHook.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velkard::device {

namespace {

// The in-process instrument's memory card: a folder of sample files under the temporary folder,
// made the first time it is needed.
std::string simCardFolder() {
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec) / "velkard-sim-card";
    if (ec)
        return {};
    if (!std::filesystem::is_directory(dir, ec) && !sim::makeCard(dir))
        return {};
    return dir.string();
}

bool parseHex16(const std::string& text, std::uint16_t& value) {
    if (text.empty() || text.size() > 4)
        return false;
    unsigned v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 +
            static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c))
                                      ? c - '0'
                                      : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    value = static_cast<std::uint16_t>(v);
    return true;
}

} // namespace

bool parseUsbPortName(const std::string& portName, UsbIds& ids) {
    if (portName.size() != 13 || portName[3] != ':' || portName[8] != ':')
        return false;
    std::string prefix = portName.substr(0, 3);
    for (char& c : prefix)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    UsbIds parsed;
    if (prefix != "USB" || !parseHex16(portName.substr(4, 4), parsed.vendor) ||
        !parseHex16(portName.substr(9, 4), parsed.product) || parsed.vendor == 0)
        return false;
    ids = parsed;
    return true;
}

std::unique_ptr<Link> makeLink(const std::string& portName, const std::string& sysfsRoot) {
    if (portName == "SIM") {
        auto link = std::make_unique<SimLink>();
        link->withInstrument([](sim::Instrument& instrument) {
            sim::attachMemoryCard(instrument, simCardFolder());
        });
        return link;
    }
    if (portName.find('/') != std::string::npos)
        return std::make_unique<TtyLink>(portName);
    // Plug and play: the kernel's serial driver when it has bound the bridge (it stays usable by
    // other tools and needs no udev rule), libftdi1 otherwise.
    UsbIds ids;
    parseUsbPortName(portName, ids);
    for (const UsbDevice& found : findUsbDevices(sysfsRoot, ids)) {
        if (!found.tty.empty())
            return std::make_unique<TtyLink>(found.tty, "ftdi_sio");
    }
    return std::make_unique<FtdiLink>(ids);
}

std::string openFailureText(const OpenProblem& problem, bool russian) {
    const std::string detail = problem.detail.empty() ? "" : " (" + problem.detail + ")";
    switch (problem.kind) {
    case OpenFailure::None:
        return {};
    case OpenFailure::NoDevice:
        return russian ? "Прибор не подключён" + detail + "."
                       : "No instrument is connected" + detail + ".";
    case OpenFailure::PermissionDenied:
        return russian
                   ? "Нет прав на доступ к устройству USB" + detail +
                         ". Установите правило udev из README (scripts/99-velkard-ftdi.rules в "
                         "/etc/udev/rules.d/, затем udevadm trigger), добавьте пользователя в "
                         "группу plugdev и войдите заново."
                   : "No permission to open the USB device" + detail +
                         ". Install the udev rule from the README (scripts/99-velkard-ftdi.rules "
                         "into /etc/udev/rules.d/, then udevadm trigger), add the user to the "
                         "plugdev group and log in again.";
    case OpenFailure::Busy:
        return russian ? "Устройство занято: его держит драйвер ftdi_sio или другая программа" +
                             detail + "."
                       : "The device is busy: the ftdi_sio driver or another program holds it" +
                             detail + ".";
    case OpenFailure::Other:
        return russian ? "Устройство не открывается" + detail + "."
                       : "The device could not be opened" + detail + ".";
    }
    return {};
}

} // namespace velkard::device
