// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FtdiLink.h"
#include "device/Link.h"
#include "device/SimLink.h"
#include "device/TtyLink.h"
#include "sim/DeviceFiles.h"
#include "sim/MemoryHook.h"

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
    if (!std::filesystem::is_directory(dir, ec) && !sim::makeCard(dir).ok)
        return {};
    return dir.string();
}

} // namespace

std::unique_ptr<Link> makeLink(const std::string& portName) {
    if (portName == "SIM") {
        auto link = std::make_unique<SimLink>();
        link->withInstrument([](sim::Instrument& instrument) {
            std::string error;
            sim::attachMemoryCard(instrument, simCardFolder(), error);
        });
        return link;
    }
    if (portName.find('/') != std::string::npos)
        return std::make_unique<TtyLink>(portName);
    return std::make_unique<FtdiLink>();
}

} // namespace velkard::device
