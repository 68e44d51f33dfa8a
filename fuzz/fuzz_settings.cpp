// SPDX-License-Identifier: GPL-3.0-or-later
// Settings file parsing on arbitrary bytes: never crashes, and whatever it accepts is written and
// read back to the same file text.
#include "signal/Settings.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard::signal;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    SettingsResult r = parseSettings(text, "fuzz.txt");
    if (!r.ok()) {
        if (r.message.find("fuzz.txt") == std::string::npos)
            std::abort();
        return 0;
    }
    if (r.value.settings.scaleIndex < 0 || r.value.settings.scaleIndex >= kScaleCount)
        std::abort();
    if (r.value.settings.groupIndex < 0 || r.value.settings.groupIndex >= kGroupCount)
        std::abort();
    if (r.value.settings.speedIndex < 0 || r.value.settings.speedIndex >= kSpeedCount)
        std::abort();
    const std::string once = formatSettings(r.value.settings);
    SettingsResult again = parseSettings(once, "fuzz.txt");
    if (!again.ok() || again.value.indicesFellBack || formatSettings(again.value.settings) != once)
        std::abort();
    return 0;
}
