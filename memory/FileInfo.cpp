// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/FileInfo.h"

#include "import/Decompress.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace velkard::memory {

DeviceFileInfo readDeviceFileInfo(const std::filesystem::path& path) {
    DeviceFileInfo info;
    info.kind = import::kindFromFileName(path.filename());
    info.compressed = import::isCompressedName(path.filename());
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return info;
    const std::size_t wanted =
        info.compressed ? import::kEcxStoredBytes : signal::kDeviceHeaderBytes;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(signal::kDeviceHeaderBytes, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(wanted));
    if (!in || static_cast<std::size_t>(in.gcount()) != wanted)
        return info;
    const auto header = signal::DeviceHeader::parse(bytes);
    if (!header)
        return info;
    info.headerRead = true;
    info.year = 2000 + header->year();
    info.month = header->month();
    info.day = header->day();
    info.hour = header->hour();
    info.minute = header->minute();
    info.second = header->second();
    info.dateValid = header->year() >= 0 && header->year() < 100 && info.month >= 1 &&
                     info.month <= 12 && info.day >= 1 && info.day <= 31 && info.hour >= 0 &&
                     info.hour < 24 && info.minute >= 0 && info.minute < 60 && info.second >= 0 &&
                     info.second < 60;
    // An A2 file's duration depends on its body length, which a compressed file does not show.
    if (header->rate() > 0 && !(info.compressed && info.kind == signal::RecordingKind::A2)) {
        const std::int64_t seconds = signal::deviceFileDuration(*header, size, info.kind);
        if (seconds >= 0)
            info.durationSeconds = seconds;
    }
    return info;
}

std::string describeDeviceFile(const DeviceFileInfo& info, bool russian) {
    std::string text;
    switch (info.kind) {
    case signal::RecordingKind::Plain:
        text = russian ? "ЭКГ" : "ECG";
        break;
    case signal::RecordingKind::A2:
        text = "A2";
        break;
    case signal::RecordingKind::Rhythmogram:
        text = russian ? "ритмограмма" : "rhythmogram";
        break;
    }
    if (info.compressed)
        text += russian ? ", сжатый" : ", compressed";
    if (info.dateValid) {
        char when[40];
        std::snprintf(when, sizeof when, ", %02d.%02d.%04d %02d:%02d:%02d", info.day, info.month,
                      info.year, info.hour, info.minute, info.second);
        text += when;
    }
    if (info.durationSeconds)
        text += ", " + std::to_string(*info.durationSeconds) + (russian ? " с" : " s");
    return text;
}

} // namespace velkard::memory
