// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace startel {

// Canonical path of the running launcher (/proc/self/exe); empty when it cannot be read.
std::string ownExecutablePath();

// The mount point holding `path`: walks up from it while the device number stays the same.
// Returned with a trailing '/' ("/media/cdrom/", or "/" for the root file system); empty when
// `path` does not exist.
std::string mountRootOf(const std::string& path);

// Root folder of the medium the launcher runs from, with a trailing '/'. STARTEL_MEDIUM_ROOT,
// when set, names it instead (a medium copied into a folder, and tests).
std::string findMediumRoot();

// Path of "Startel.inf" in the medium's root, found without regard to case.
std::string infPath(const std::string& mediumRoot);

} // namespace startel
