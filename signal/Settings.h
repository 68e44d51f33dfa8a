// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: display choices, port name and interface language kept between runs.
// Eight lines of Windows-1251 text ended by CR LF; the meaning of a line is its position.
#pragma once

#include "signal/Status.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace velkard::signal {

inline constexpr const char* kSettingsFileName = "ПЛ4Н-52.txt";
inline constexpr int kSettingsLines = 8;
inline constexpr int kScaleCount = 3;  // 5, 10, 20 mm/mV
inline constexpr int kGroupCount = 10; // "I" .. "I..V6"
inline constexpr int kSpeedCount = 4;  // 5, 10, 25, 50 mm/s

// Texts are UTF-8 here; the file holds them in Windows-1251.
struct Settings {
    std::string scaleText = "10 мм/мВ";
    std::string groupText = "I..V6";
    std::string speedText = "25 мм/с";
    std::string portName = "COM4";
    int scaleIndex = 1;
    int groupIndex = 9;
    int speedIndex = 2;
    int language = 0; // 0 Russian, 1 English, 2 German; older versions read any but 0 as English

    bool operator==(const Settings&) const = default;
};

Settings defaultSettings();

struct LoadedSettings {
    Settings settings;
    bool created = false;         // the file was missing and has been written with the defaults
    bool indicesFellBack = false; // an index was out of range and was replaced by its default
};
// On failure the message names the settings file and the fault.
using SettingsResult = Result<LoadedSettings>;

// Reads folder/ПЛ4Н-52.txt, first creating it with the defaults when it is missing. Fewer than
// eight lines or a line 4..7 that is not a decimal integer is an error and the file is left as it
// is. Out-of-range indices fall back to their defaults (indicesFellBack says so, so the caller can
// select the items again and rewrite the texts).
SettingsResult loadSettings(const std::filesystem::path& folder);

// Replaces folder/ПЛ4Н-52.txt with these settings (temporary file, flush, rename).
Status saveSettings(const std::filesystem::path& folder, const Settings& settings);

// The file's bytes for these settings, and the reverse (the name is used in messages only).
std::string formatSettings(const Settings& settings);
SettingsResult parseSettings(std::string_view fileBytes, const std::string& fileName);

} // namespace velkard::signal
