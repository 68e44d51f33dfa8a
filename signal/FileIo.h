// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reading and crash-safe whole-file writing.
#pragma once

#include "signal/Status.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace velkard::signal {

// Reads the named file whole. Fails with a message naming the file when it cannot be opened or
// read, or when it is larger than maxBytes.
BytesResult readWholeFile(const std::filesystem::path& path,
                          std::uint64_t maxBytes = std::uint64_t{1} << 32);

// Replaces (or creates) the named file with exactly these bytes: writes a temporary file in the
// same folder, flushes it to disk and renames it over the destination. On failure the destination
// is as it was and no temporary file is left behind.
Status writeFileAtomically(const std::filesystem::path& path, const std::uint8_t* data,
                           std::size_t size);
inline Status writeFileAtomically(const std::filesystem::path& path,
                                  const std::vector<std::uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}

} // namespace velkard::signal
