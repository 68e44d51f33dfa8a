// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/RrStatistics.h"

#include "display/Texts.h"
#include "signal/SampleRecord.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velkard::display {

RrStatistics rrStatistics(std::span<const std::uint8_t> bytes) {
    RrStatistics s;
    std::vector<double> rr;
    rr.reserve(bytes.size() / 2);
    double sumSquaredSteps = 0;
    int steps = 0;
    bool previousCounted = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const int v = signal::readLe16(bytes.data() + i);
        const bool counted = v >= kShortestRrMs && v <= kLongestRrMs;
        if (counted) {
            // Only neighbours in the file make a successive difference: an artefact between two
            // beats breaks the pair.
            if (previousCounted) {
                const double d = double(v) - rr.back();
                sumSquaredSteps += d * d;
                ++steps;
            }
            rr.push_back(double(v));
        }
        previousCounted = counted;
    }
    s.intervals = int(rr.size());
    if (rr.empty())
        return s;
    double sum = 0;
    for (double v : rr)
        sum += v;
    const double mean = sum / double(rr.size());
    s.meanMs = mean;
    s.minMs = *std::min_element(rr.begin(), rr.end());
    s.maxMs = *std::max_element(rr.begin(), rr.end());
    if (rr.size() >= 2) {
        double squares = 0;
        for (double v : rr)
            squares += (v - mean) * (v - mean);
        s.sdnnMs = std::sqrt(squares / double(rr.size() - 1));
    }
    if (steps > 0)
        s.rmssdMs = std::sqrt(sumSquaredSteps / steps);
    return s;
}

QString rrStatisticsLine(const RrStatistics& s, bool russian) {
    const QString ms = russian ? QStringLiteral(" мс") : QStringLiteral(" ms");
    const auto n = [&](const std::optional<double>& v) {
        return decimalText(v, 0, russian) + (v ? ms : QString());
    };
    if (russian)
        return QStringLiteral("RR: среднее %1, SDNN %2, RMSSD %3, мин. %4, макс. %5 (n = %6)")
            .arg(n(s.meanMs), n(s.sdnnMs), n(s.rmssdMs), n(s.minMs), n(s.maxMs))
            .arg(s.intervals);
    return QStringLiteral("RR: mean %1, SDNN %2, RMSSD %3, min %4, max %5 (n = %6)")
        .arg(n(s.meanMs), n(s.sdnnMs), n(s.rmssdMs), n(s.minMs), n(s.maxMs))
        .arg(s.intervals);
}

} // namespace velkard::display
