// SPDX-License-Identifier: GPL-3.0-or-later
// The filter options shared by filter, render and print: --mains, --highpass, --lowpass.
#pragma once

#include "filter/FilterSettingsFile.h"
#include "filter/Filters.h"

#include <optional>
#include <string>
#include <vector>

namespace velkard::cli {

inline const char* const kFilterOptionsHelp =
    "  --mains 50|60|off      mains notch (default off)\n"
    "  --highpass 0.05|0.5|off  baseline-wander high-pass in Hz (default off)\n"
    "  --lowpass 35|40|150|off  muscle low-pass in Hz (default off)\n";

inline std::vector<std::string> filterOptionNames() {
    return {"mains", "highpass", "lowpass"};
}

// The chosen filters (all off when none is named), or nullopt with a message when a value is wrong.
template <class ArgsT>
std::optional<filter::FilterSettings> filterOptions(const ArgsT& args, std::string& error) {
    filter::FilterSettings s;
    if (auto v = args.value("mains"); v && !filter::parseMains(*v, s.mains)) {
        error = "--mains must be 50, 60 or off";
        return std::nullopt;
    }
    if (auto v = args.value("highpass"); v && !filter::parseHighPass(*v, s.highPass)) {
        error = "--highpass must be 0.05, 0.5 or off";
        return std::nullopt;
    }
    if (auto v = args.value("lowpass"); v && !filter::parseLowPass(*v, s.lowPass)) {
        error = "--lowpass must be 35, 40, 150 or off";
        return std::nullopt;
    }
    return s;
}

} // namespace velkard::cli
