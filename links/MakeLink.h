// SPDX-License-Identifier: GPL-3.0-or-later
// The link factory: the port-name setting turned into one of the three backends. It sits above
// device/ (the tty and libftdi1 links) and sim/ (the in-process instrument), which know nothing
// of each other.
#pragma once

#include "device/Link.h"

#include <memory>
#include <string>

namespace velkard::links {

// Chooses the backend from the port-name setting: "SIM" (the simulated instrument in-process, its
// memory card the sample card held in memory, shared by every SIM link of the process), a path
// (a serial tty), or plug and play for anything else. "USB:VVVV:PPPP" (hexadecimal) names the
// vendor and product ID to look for; any other name looks for FTDI's own identifiers. sysfsRoot is
// where the USB devices are listed ("/sys" on a running system; tests pass a folder of their own).
// Making a link opens nothing and writes no file.
std::unique_ptr<device::Link> makeLink(const std::string& portName,
                                       const std::string& sysfsRoot = "/sys");

} // namespace velkard::links
