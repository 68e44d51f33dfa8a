// SPDX-License-Identifier: GPL-3.0-or-later
#include "interpret/Comparison.h"

#include <algorithm>
#include <cmath>

namespace velkard::interpret {

namespace {

// Statements are the same when their codes are; free text (no code) when its words are.
std::string keyOf(const SaidStatement& s) {
    return s.code.empty() ? "\t" + s.text[0] : s.code;
}

bool saidIn(const std::vector<SaidStatement>& list, const SaidStatement& s) {
    const std::string key = keyOf(s);
    return std::any_of(list.begin(), list.end(),
                       [&](const SaidStatement& t) { return keyOf(t) == key; });
}

} // namespace

bool isAxis(Quantity q) {
    return q == Quantity::PAxis || q == Quantity::QrsAxis || q == Quantity::TAxis;
}

std::optional<double> valueOf(const measure::Measurements& m, Quantity q) {
    switch (q) {
    case Quantity::HeartRate:
        return m.heartRateBpm;
    case Quantity::Rr:
        return m.rrMs;
    case Quantity::P:
        return m.pMs;
    case Quantity::Pr:
        return m.prMs;
    case Quantity::Qrs:
        return m.qrsMs;
    case Quantity::Qt:
        return m.qtMs;
    case Quantity::QtcBazett:
        return m.qtcBazettMs;
    case Quantity::QtcFridericia:
        return m.qtcFridericiaMs;
    case Quantity::PAxis:
        return m.pAxisDeg;
    case Quantity::QrsAxis:
        return m.qrsAxisDeg;
    case Quantity::TAxis:
        return m.tAxisDeg;
    }
    return std::nullopt;
}

std::vector<SaidStatement> saidStatements(const Report* report,
                                          const std::vector<Statement>& computed) {
    std::vector<SaidStatement> out;
    if (report && report->confirmed()) {
        for (const ReportStatement* s : shownStatements(*report))
            out.push_back({s->code, s->text});
        return out;
    }
    for (const Statement& s : computed)
        out.push_back({s.code, s.text});
    return out;
}

Comparison compare(const measure::Measurements& earlier,
                   const std::vector<SaidStatement>& earlierSaid,
                   const measure::Measurements& later,
                   const std::vector<SaidStatement>& laterSaid) {
    Comparison out;
    for (const Quantity q : kComparedQuantities) {
        QuantityChange c;
        c.quantity = q;
        const auto finite = [](std::optional<double> v) {
            return v && std::isfinite(*v) ? v : std::nullopt;
        };
        c.earlier = finite(valueOf(earlier, q));
        c.later = finite(valueOf(later, q));
        if (c.earlier && c.later) {
            double d = *c.later - *c.earlier;
            if (isAxis(q)) {
                d = std::fmod(d, 360.0);
                if (d <= -180)
                    d += 360;
                else if (d > 180)
                    d -= 360;
            }
            c.difference = d;
        }
        out.quantities.push_back(c);
    }
    for (const SaidStatement& s : laterSaid)
        (saidIn(earlierSaid, s) ? out.kept : out.appeared).push_back(s);
    for (const SaidStatement& s : earlierSaid)
        if (!saidIn(laterSaid, s))
            out.disappeared.push_back(s);
    return out;
}

} // namespace velkard::interpret
