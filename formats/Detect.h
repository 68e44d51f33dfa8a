// SPDX-License-Identifier: GPL-3.0-or-later
// Which kind of ECG file the first bytes show, header-only so that a program can tell a file of
// another system from a device file without linking the readers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkard::formats {

enum class Kind { Edf, Bdf, Dicom, Scp, Aecg, Wfdb, Gdf };

// head: the first bytes of the file (4096 are enough); extension: its name's, lower case
// (".hea", ".dcm"...). nullopt for anything else, device files and ".ecx" included.
inline std::optional<Kind> detectKindOfHead(std::string_view head, std::string_view extension) {
    if (extension == ".hea")
        return Kind::Wfdb;
    if (head.substr(0, 8) == "0       ")
        return Kind::Edf;
    if (head.size() >= 8 && static_cast<unsigned char>(head[0]) == 0xFF &&
        head.substr(1, 7) == "BIOSEMI")
        return Kind::Bdf;
    if (head.size() >= 132 && head.substr(128, 4) == "DICM")
        return Kind::Dicom;
    if (head.substr(0, 4) == "GDF ")
        return Kind::Gdf;
    // SCP-ECG: CRC, file length, then section 0 whose header ends in "SCPECG".
    if (head.size() >= 22 && head.substr(16, 6) == "SCPECG")
        return Kind::Scp;
    if (head.find("AnnotatedECG") != std::string_view::npos)
        return Kind::Aecg;
    if (extension == ".dcm")
        return Kind::Dicom;
    if (extension == ".scp")
        return Kind::Scp;
    return std::nullopt;
}

} // namespace velkard::formats
