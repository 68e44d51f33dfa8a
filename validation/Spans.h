// SPDX-License-Identifier: GPL-3.0-or-later
// Every 10-s span of a long real record measured on its own, as the report measures the span a
// user picks, and checked for intervals that contradict each other or the rhythm (a T end after
// the next beat's QRS, a P longer than its PR, a QRS longer than its QT) and, where the experts
// marked beats in the span, against their QT and PR.
#pragma once

#include "validation/Validation.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkard::measure::validation {

struct SpanCheck {
    int spans = 0;                                      // spans measured
    int withP = 0, withPr = 0, withQrs = 0, withQt = 0; // spans where each was measured
    int contradictions = 0;            // spans with intervals that cannot all be true
    std::vector<std::string> examples; // the first few, "610-620 s: QT 750 ms >= RR 705 ms"
    // Spans holding at least three beats the experts marked: program QT - their median QT.
    std::vector<double> qtErrors;
    int qtMarkedSpans = 0; // such spans, measured or not
    // The same for the PR, in spans holding at least three beats with a marked P.
    std::vector<double> prErrors;
    int prMarkedSpans = 0;
};

// manual: the experts' beats (QT Database "q1c"), in samples of the record; may be empty.
Result<SpanCheck> checkSpans(const std::filesystem::path& header, std::optional<double> adcPerMv,
                             const std::vector<QtBeat>& manual = {}, double spanSeconds = 10);

} // namespace velkard::measure::validation
