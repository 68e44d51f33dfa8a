// SPDX-License-Identifier: GPL-3.0-or-later
// Reading an instrument's device ECG file within the bounds its header sets, so a damaged or
// hostile file cannot make the program read, expand or file more than the recording it claims.
#pragma once

#include "signal/Recording.h"
#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace velkard::signal {

// How far a body may run past what its header allows (trailing bytes of a card's cluster).
inline constexpr std::uint64_t kBodyMarginBytes = 64 * 1024;
// An A2 header says nothing about the body's length: 16 MB holds 10 s of eight channels and more
// than 2.9 hours of lead II at 800 records per second, far beyond any recording the archive can
// list.
inline constexpr std::uint64_t kMaxA2BodyBytes = std::uint64_t{16} << 20;

// What the header allows the body to hold: plain count × 16 bytes, rhythmogram count × 2 bytes,
// A2 kMaxA2BodyBytes. A negative rate, or a negative count of a plain or rhythmogram file, is
// refused with BadData (name goes into the message).
Result<std::uint64_t> bodyLimit(const DeviceHeader& header, RecordingKind kind,
                                const std::string& name);

// The largest device file (header and body) when the body may hold allowedBody bytes, margin
// included.
std::uint64_t deviceFileLimit(std::uint64_t allowedBody);

// Reads a device ECG file: the header, then the body only when it is no larger than the header
// allows plus kBodyMarginBytes; a far larger body, a refused header, a file shorter than its
// header, and a file that shrinks while being read are errors with a clear message.
BytesResult readDeviceFile(const std::filesystem::path& path, RecordingKind kind);

// The header and the length of a device ECG file, read without its body, with the checks of
// readDeviceFile (a refused header or a far larger body is an error).
struct DeviceHeaderInfo {
    DeviceHeader header;
    std::uint64_t fileLength = 0;
};
Result<DeviceHeaderInfo> readDeviceHeader(const std::filesystem::path& path, RecordingKind kind);

// The duration a card-file entry states: deviceFileDuration, except that a plain body holding
// fewer records than the header claims gives the duration of the records it holds.
std::int64_t filedDuration(const DeviceHeader& header, std::uint64_t fileLength,
                           RecordingKind kind);

} // namespace velkard::signal
