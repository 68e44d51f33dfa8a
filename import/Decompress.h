// SPDX-License-Identifier: GPL-3.0-or-later
// Compressed device ECG files (".ecx") and the import of a file as a recording.
//
// An ".ecx" file holds the first 54 bytes of a device ECG file as they are, then the LZW code
// stream of the rest, in which the body is delta-coded per channel and divided by 8. Decompression
// rebuilds the device ECG file; compression is its exact inverse when every body value is a
// multiple of 8 (other values lose their three low bits).
#pragma once

#include "signal/Recording.h"
#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::import {

inline constexpr std::size_t kEcxStoredBytes = 54;
// Guard against hostile streams: a decoded stream larger than this is refused.
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{1} << 30;

// Kind of a file to import, from the first two characters of its name (without folder, compared
// case-sensitively): "A2" -> A2, "VS" -> rhythmogram, anything else -> plain.
signal::RecordingKind kindFromFileName(const std::filesystem::path& fileName);

// True when the extension, in lower case, is ".ecx".
bool isCompressedName(const std::filesystem::path& fileName);

// The device ECG file rebuilt from the bytes of an ".ecx" file. A source shorter than 54 bytes, a
// corrupt code stream, a decoded stream shorter than the 512-byte header or larger than
// kMaxDecodedBytes is an error (name is used in the message).
signal::BytesResult decompressEcxBytes(std::span<const std::uint8_t> ecx,
                                       const std::string& name = "compressed file",
                                       std::optional<signal::RecordingKind> boundedAs = {});
// boundedAs: stop as soon as the stream outgrows what its header allows for a file of this kind
// (signal::bodyLimit), so a small file cannot expand into a huge recording.
inline signal::BytesResult decompressEcxBytes(const std::vector<std::uint8_t>& ecx,
                                              const std::string& name = "compressed file",
                                              std::optional<signal::RecordingKind> boundedAs = {}) {
    return decompressEcxBytes(std::span<const std::uint8_t>(ecx), name, boundedAs);
}
// The same, reading the named file.
signal::BytesResult decompressEcx(const std::filesystem::path& path);

// The largest compressed file read: LZW never makes data more than half again as large.
inline constexpr std::uint64_t kMaxEcxBytes = std::uint64_t{64} << 20;
// A device ECG file of this kind rebuilt from the named ".ecx" file, bounded by its header.
signal::BytesResult readEcxDeviceFile(const std::filesystem::path& path,
                                      signal::RecordingKind kind);
// The named device ECG file, or the one rebuilt from it when its name ends in ".ecx", read within
// the bounds its header sets (signal::readDeviceFile).
signal::BytesResult readAnyDeviceFile(const std::filesystem::path& path,
                                      signal::RecordingKind kind);
// Reads in and writes the rebuilt device ECG file to out (temporary file, flush unless
// flushToDisk is false, rename), piece by piece as it is decoded: the whole file is never held in
// memory. A plain rebuild of the file as
// it was compressed, bounded by kMaxDecodedBytes only (filing and import use the header's bound).
// On failure out is untouched.
// times, when given, receives where the time went: mapping the input, decoding and writing, and
// the final flush (fsync of the file, rename, fsync of the folder).
struct DecompressTimes {
    double openMs = 0;
    double decodeMs = 0;
    double flushMs = 0;
};
Status decompressEcxFile(const std::filesystem::path& in, const std::filesystem::path& out,
                         DecompressTimes* times = nullptr, bool flushToDisk = true);
// The same written to an open file descriptor (standard output) as it is decoded, with no
// temporary file and no flush; fdName names it in messages. On failure part of the output may have
// been written.
Status decompressEcxToStream(const std::filesystem::path& in, int fd, const std::string& fdName,
                             DecompressTimes* times = nullptr);

// The ".ecx" bytes of a device ECG file (header and body).
std::vector<std::uint8_t> compressToEcx(std::span<const std::uint8_t> deviceFile);
inline std::vector<std::uint8_t> compressToEcx(const std::vector<std::uint8_t>& deviceFile) {
    return compressToEcx(std::span<const std::uint8_t>(deviceFile));
}
// Reads in (a device ECG file, at least 512 bytes) and writes the ".ecx" file out, piece by piece
// (temporary file, flush unless flushToDisk is false, rename).
Status compressEcxFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       bool flushToDisk = true);

// The non-window half of importing a file: decompresses it when its name ends in ".ecx", takes
// the kind from its name, converts it into a recording and puts that into buffer. No file is
// written. On failure buffer is unchanged.
// Failure codes: CannotOpenSource (cannot be read), CorruptCompressedData, NotDeviceFile (shorter
// than its header, or too large to hold); the message names the file and the fault. The kind is
// set on failure too.
struct ImportedRecording {
    signal::RecordingKind kind = signal::RecordingKind::Plain;
    std::int64_t durationSeconds = 0; // from the device file header
};
using ImportResult = Result<ImportedRecording>;
ImportResult importFile(const std::filesystem::path& chosen, signal::RecordingBuffer& buffer);

} // namespace velkard::import
