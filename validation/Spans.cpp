// SPDX-License-Identifier: GPL-3.0-or-later
#include "validation/Spans.h"

#include "import/WfdbRecording.h"

#include <algorithm>
#include <cstdio>

namespace velkard::measure::validation {

namespace {

std::optional<double> medianRrMs(const std::vector<std::int64_t>& beats) {
    std::vector<double> rr;
    for (std::size_t i = 1; i < beats.size(); ++i)
        rr.push_back(static_cast<double>(beats[i] - beats[i - 1]) * 1000.0 /
                     signal::kRecordsPerSecond);
    if (rr.empty())
        return std::nullopt;
    std::nth_element(rr.begin(), rr.begin() + static_cast<std::ptrdiff_t>(rr.size() / 2), rr.end());
    return rr[rr.size() / 2];
}

// What cannot all be true of one median beat: "" when nothing.
std::string contradiction(const Measurements& m) {
    char b[96];
    const auto rr = medianRrMs(m.beats);
    if (m.qtMs && rr && *m.qtMs >= *rr) {
        std::snprintf(b, sizeof b, "QT %.0f ms >= RR %.0f ms", *m.qtMs, *rr);
        return b;
    }
    if (m.pMs && m.prMs && *m.pMs >= *m.prMs) {
        std::snprintf(b, sizeof b, "P %.0f ms >= PR %.0f ms", *m.pMs, *m.prMs);
        return b;
    }
    if (m.qrsMs && m.qtMs && *m.qrsMs >= *m.qtMs) {
        std::snprintf(b, sizeof b, "QRS %.0f ms >= QT %.0f ms", *m.qrsMs, *m.qtMs);
        return b;
    }
    if (m.prMs && rr && *m.prMs >= *rr) {
        std::snprintf(b, sizeof b, "PR %.0f ms >= RR %.0f ms", *m.prMs, *rr);
        return b;
    }
    return {};
}

} // namespace

Result<SpanCheck> checkSpans(const std::filesystem::path& header, std::optional<double> adcPerMv,
                             const std::vector<QtBeat>& manual, double spanSeconds) {
    auto loaded = loadRecord(header, adcPerMv);
    if (!loaded)
        return Result<SpanCheck>::failure(loaded);
    const auto& r = loaded.value.recording.records;
    const auto& present = loaded.value.recording.present;
    const double fs = loaded.value.frequency;
    const auto span = static_cast<std::size_t>(spanSeconds * signal::kRecordsPerSecond);
    SpanCheck out;
    for (std::size_t from = 0; span > 0 && from + span <= r.size(); from += span) {
        const Measurements m = measureSpan(r.data(), r.size(), from, span, &present);
        ++out.spans;
        out.withP += m.pMs.has_value();
        out.withPr += m.prMs.has_value();
        out.withQrs += m.qrsMs.has_value();
        out.withQt += m.qtMs.has_value();
        if (const std::string c = contradiction(m); !c.empty()) {
            ++out.contradictions;
            if (out.examples.size() < 5) {
                char b[64];
                std::snprintf(b, sizeof b, "%.0f-%.0f s: ",
                              static_cast<double>(from) / signal::kRecordsPerSecond,
                              static_cast<double>(from + span) / signal::kRecordsPerSecond);
                out.examples.push_back(b + c);
            }
        }
        // The experts' beats inside the span, by their QRS peak.
        std::vector<double> qt, pr;
        for (const QtBeat& b : manual) {
            const double at = static_cast<double>(b.peak) / fs * signal::kRecordsPerSecond;
            if (at < static_cast<double>(from) || at >= static_cast<double>(from + span) ||
                !b.onset)
                continue;
            if (b.tEnd)
                qt.push_back(static_cast<double>(*b.tEnd - *b.onset) * 1000.0 / fs);
            if (b.pOnset)
                pr.push_back(static_cast<double>(*b.onset - *b.pOnset) * 1000.0 / fs);
        }
        if (qt.size() >= 3) {
            ++out.qtMarkedSpans;
            std::sort(qt.begin(), qt.end());
            if (m.qtMs)
                out.qtErrors.push_back(*m.qtMs - qt[qt.size() / 2]);
        }
        if (pr.size() >= 3) {
            ++out.prMarkedSpans;
            std::sort(pr.begin(), pr.end());
            if (m.prMs)
                out.prErrors.push_back(*m.prMs - pr[pr.size() / 2]);
        }
    }
    return Result<SpanCheck>::success(std::move(out));
}

} // namespace velkard::measure::validation
