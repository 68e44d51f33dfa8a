// SPDX-License-Identifier: GPL-3.0-or-later
// Two ECGs of one patient side by side: their measurements with the differences, and the
// statements that appeared or disappeared from the earlier to the later one.
//
// What an ECG "says" is its physician's confirmed report when there is one, else the program's
// statements; statements are matched by their SCP-ECG code (free text by its words), so a new
// "CLBBB" is a new left bundle branch block whatever the physician wrote around it.
#pragma once

#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "measure/Measurements.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace velkard::interpret {

// The quantities compared, in the order they are shown.
enum class Quantity {
    HeartRate,     // bpm
    Rr,            // ms
    P,             // ms
    Pr,            // ms
    Qrs,           // ms
    Qt,            // ms
    QtcBazett,     // ms
    QtcFridericia, // ms
    PAxis,         // degrees
    QrsAxis,       // degrees
    TAxis,         // degrees
};
inline constexpr Quantity kComparedQuantities[] = {
    Quantity::HeartRate, Quantity::Rr,      Quantity::P,         Quantity::Pr,
    Quantity::Qrs,       Quantity::Qt,      Quantity::QtcBazett, Quantity::QtcFridericia,
    Quantity::PAxis,     Quantity::QrsAxis, Quantity::TAxis};

bool isAxis(Quantity q);
// The value of a quantity in a set of measurements (null where it was not measured).
std::optional<double> valueOf(const measure::Measurements& m, Quantity q);

struct QuantityChange {
    Quantity quantity = Quantity::HeartRate;
    std::optional<double> earlier, later;
    // later - earlier; null when either is unknown. An axis turns the short way round:
    // (-180, 180], so 170° to -170° is +20°.
    std::optional<double> difference;
};

// A statement as an ECG says it: its code (empty for free text) and its texts by Language.
struct SaidStatement {
    std::string code;
    std::array<std::string, 2> text;
    const std::string& textIn(Language l) const { return text[static_cast<std::size_t>(l)]; }
    bool operator==(const SaidStatement&) const = default;
};

// What an ECG says: the statements the confirmed report shows (kept, edited, added, free text;
// not the struck-out ones) when the report is confirmed; otherwise the program's statements.
std::vector<SaidStatement> saidStatements(const Report* report,
                                          const std::vector<Statement>& computed);

struct Comparison {
    std::vector<QuantityChange> quantities; // one per kComparedQuantities, in that order
    std::vector<SaidStatement> appeared;    // said by the later ECG only, in its order
    std::vector<SaidStatement> disappeared; // said by the earlier ECG only, in its order
    std::vector<SaidStatement> kept;        // said by both, in the later ECG's order
};

Comparison compare(const measure::Measurements& earlier,
                   const std::vector<SaidStatement>& earlierSaid,
                   const measure::Measurements& later, const std::vector<SaidStatement>& laterSaid);

} // namespace velkard::interpret
