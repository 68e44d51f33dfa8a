// SPDX-License-Identifier: GPL-3.0-or-later
// Small POSIX file helpers of the card file: whole reads, positioned writes that undo a partial
// append, and replacement through a flushed temporary file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velkard::cardfile::io {

struct IoStatus {
    bool ok = true;
    std::string message; // strerror text when !ok
    explicit operator bool() const { return ok; }
};

// Length of a file; 0 when it cannot be opened.
std::uint64_t fileLength(const std::filesystem::path& path);
// The whole file, or nullopt when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path);
// Creates the file empty when missing; an existing file is left as it is (and must be writable).
IoStatus ensureFile(const std::filesystem::path& path);
// Writes `bytes` at `offset` and flushes. With restoreLengthOnFailure a failed write truncates the
// file back to its previous length, so a full disk leaves no torn record behind.
IoStatus writeAt(const std::filesystem::path& path, std::uint64_t offset,
                 std::span<const std::uint8_t> bytes, bool restoreLengthOnFailure);
IoStatus truncateTo(const std::filesystem::path& path, std::uint64_t length);
// Creates or truncates the file and writes `bytes`, flushed.
IoStatus writeWhole(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
// Writes `bytes` to `temp`, flushes it and renames it over `target`: a crash leaves either the old
// or the new file whole.
IoStatus replaceFile(const std::filesystem::path& target, const std::filesystem::path& temp,
                     std::span<const std::uint8_t> bytes);

} // namespace velkard::cardfile::io
