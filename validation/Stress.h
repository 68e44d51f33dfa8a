// SPDX-License-Identifier: GPL-3.0-or-later
// Beat detection on a real record with disturbances added, as the field's robustness tests add
// them (the MIT-BIH Noise Stress Test's idea on the instrument's channels): an electrode step
// each minute, a 5-s burst of white noise each minute, mains, baseline wander, white noise
// throughout. Each against the record's reference beats by EC57 (150 ms).
#pragma once

#include "validation/Validation.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velkard::measure::validation {

struct StressResult {
    std::string what;          // "electrode step 1.5 mV each minute"...
    Detection beats;           // outside the bursts (and a second around them) for the bursts
    double markedPercent = -1; // the bursts' share the signal quality marked unreadable (bursts)
    int insideBursts = -1;     // beats reported inside the bursts
    int falseAdded = 0;        // false beats the undisturbed record does not give
};

// Every disturbance added to the record in turn (seeded, so each run is the same).
Result<std::vector<StressResult>> stressRecord(const std::filesystem::path& header);

} // namespace velkard::measure::validation
