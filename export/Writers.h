// SPDX-License-Identifier: GPL-3.0-or-later
// The four writers behind writeExport. Each writes a complete file at `path` (a temporary name the
// caller renames into place) or fails with a message.
#pragma once

#include "export/Export.h"

#include <optional>

namespace velkard::exporting::detail {

// expectedSize receives the size the written header promises, to be checked before the rename.
Status writeEdf(const EcgExport& ecg, const std::filesystem::path& path,
                std::uint64_t& expectedSize);
Status writeDicom(const EcgExport& ecg, const std::filesystem::path& path);
// SCP-ECG and HL7 aECG are built in memory.
Status encodeScp(const EcgExport& ecg, std::vector<std::uint8_t>& out);
Status encodeAecg(const EcgExport& ecg, std::string& out);

// A unique, empty temporary file beside the target. commit() flushes it to disk and renames it
// over the target; without commit the destructor removes it.
class TemporaryTarget {
public:
    explicit TemporaryTarget(std::filesystem::path target);
    ~TemporaryTarget();
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;

    // Creates the temporary file; fails when the folder cannot be written.
    Status create();
    const std::filesystem::path& path() const { return temporary_; }
    // Writes these bytes as the temporary file's whole content.
    Status write(const std::uint8_t* data, std::size_t size);
    // expectedSize, when given, is checked first: a writer that lost bytes on a full disk without
    // noticing leaves a short file.
    Status commit(std::optional<std::uint64_t> expectedSize = std::nullopt);

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

Status cannotWrite(const std::filesystem::path& target, const std::string& why);

} // namespace velkard::exporting::detail
