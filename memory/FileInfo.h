// SPDX-License-Identifier: GPL-3.0-or-later
// What a downloaded or memory-card file holds, read from its header, for the memory window's lists:
// its kind, the date and time it was recorded, and its duration. The instrument's listing carries
// only names, so this is read from the file itself once it is on disk.
#pragma once

#include "signal/Recording.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velkard::memory {

struct DeviceFileInfo {
    signal::RecordingKind kind = signal::RecordingKind::Plain;
    bool compressed = false;
    bool headerRead = false; // false: the file is shorter than its header or cannot be read
    bool dateValid = false;  // the header's date and time make sense
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::optional<std::int64_t> durationSeconds; // when the header and size tell it
};

// Reads the header of a device ECG file, plain or compressed (".ecx": its first 54 bytes are the
// header as it is). Kind and compression come from the name.
DeviceFileInfo readDeviceFileInfo(const std::filesystem::path& path);

// "ЭКГ, 07.12.2026 10:15:30, 10 с" / "ECG, 07.12.2026 10:15:30, 10 s"; the parts the header does
// not give are left out, only the kind is always there.
std::string describeDeviceFile(const DeviceFileInfo& info, bool russian);

} // namespace velkard::memory
