// SPDX-License-Identifier: GPL-3.0-or-later
#include "links/MakeLink.h"

#include "device/Discovery.h"
#include "device/FtdiLink.h"
#include "device/TtyLink.h"
#include "links/SimLink.h"
#include "sim/MemoryHook.h"

namespace velkard::links {

namespace {

// The in-process instrument's memory card: made on first use, kept for the process, so what was
// deleted from it stays deleted while the program runs.
std::shared_ptr<sim::SharedCard> sampleCard() {
    static const std::shared_ptr<sim::SharedCard> card = sim::makeSampleCard();
    return card;
}

} // namespace

std::unique_ptr<device::Link> makeLink(const std::string& portName, const std::string& sysfsRoot) {
    if (portName == "SIM") {
        auto link = std::make_unique<SimLink>();
        link->withInstrument(
            [](sim::Instrument& instrument) { sim::attachMemoryCard(instrument, sampleCard()); });
        return link;
    }
    if (portName.find('/') != std::string::npos)
        return std::make_unique<device::TtyLink>(portName);
    // Plug and play: the kernel's serial driver when it has bound the bridge (it stays usable by
    // other tools and needs no udev rule), libftdi1 otherwise.
    device::UsbIds ids;
    device::parseUsbPortName(portName, ids);
    for (const device::UsbDevice& found : device::findUsbDevices(sysfsRoot, ids)) {
        if (!found.tty.empty())
            return std::make_unique<device::TtyLink>(found.tty, "ftdi_sio");
    }
    return std::make_unique<device::FtdiLink>(ids);
}

} // namespace velkard::links
