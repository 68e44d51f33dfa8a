// SPDX-License-Identifier: GPL-3.0-or-later
// The filter choices kept between runs, in a second small file beside the eight-line settings
// file (which older installations read and which therefore stays as it is).
//
//     mains=50          off, 50 or 60
//     highpass=0.05     off, 0.05 or 0.5
//     lowpass=150       off, 35, 40 or 150
//
// UTF-8 text, one key=value a line; unknown keys are ignored, so later versions may add some.
#pragma once

#include "filter/Filters.h"
#include "signal/Status.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace velkard::filter {

inline constexpr const char* kFilterSettingsFileName = "ПЛ4Н-52-фильтры.txt";

struct LoadedFilterSettings {
    FilterSettings settings; // the file's choices; programDefaults() when missing or damaged
    bool missing = false;    // no file yet: the defaults are in use
};
// On failure the message names the file and the fault, in the asked language, and the value holds
// the defaults in use.
using FilterSettingsResult = Result<LoadedFilterSettings>;

std::filesystem::path filterSettingsPath(const std::filesystem::path& folder);

// Reads folder's filter file. A missing file gives the defaults (nothing is written); a damaged
// one gives the defaults and a message, and is left as it is until the user saves new choices.
FilterSettingsResult loadFilterSettings(const std::filesystem::path& folder, bool russian);

// Replaces the file (temporary file, flush, rename).
Status saveFilterSettings(const std::filesystem::path& folder, const FilterSettings& settings,
                          bool russian);

std::string formatFilterSettings(const FilterSettings& settings);
FilterSettingsResult parseFilterSettings(std::string_view text, const std::string& fileName,
                                         bool russian);

// One value of each option as the command line and the file spell it ("off", "50", "0.05", ...);
// false when the text names no choice.
bool parseMains(std::string_view text, Mains& out);
bool parseHighPass(std::string_view text, HighPass& out);
bool parseLowPass(std::string_view text, LowPass& out);

} // namespace velkard::filter
