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

// "Cannot write <target>: <why>", the message of every failed export.
Status cannotWrite(const std::filesystem::path& target, const std::string& why);

} // namespace velkard::exporting::detail
