// SPDX-License-Identifier: GPL-3.0-or-later
// Measurements straight from a recording file's bytes, and the short lines a report header
// prints of them.
#pragma once

#include "measure/Measurements.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::measure {

// Sample records [first, first + count) of a recording's bytes (16-byte little-endian records),
// clipped to the whole records there are.
std::vector<signal::SampleRecord> recordsOf(std::span<const std::uint8_t> bytes, std::int64_t first,
                                            std::int64_t count);

// Measures records [first, first + count) of a recording's bytes. A second either side of the span
// is read too, so the filters settle before it; beats are counted from the file's first record.
Measurements measureRecording(std::span<const std::uint8_t> bytes, std::int64_t first,
                              std::int64_t count);

// v with the given decimals ("%.*f"), a rounded negative zero as 0; `missing` when v is absent or
// not finite.
std::string fixedText(std::optional<double> v, int decimals, std::string_view missing);

// The measurements as a report header prints them, in three lines (UTF-8):
//   "ЧСС 72 уд/мин  RR 833 мс  P 100 мс  PR 160 мс  QRS 90 мс"
//   "QT 400 мс  QTc 438 (Базетт) / 425 (Фридеричиа) мс"
//   "Оси P/QRS/T 60/60/40°  SV1+RV5 3,10 мВ" (a decimal point in English)
// A quantity that could not be measured shows "—". No beats: one line saying so.
std::vector<std::string> summaryLines(const Measurements& m, bool russian);

// What the signal quality found in a lead, gravest first: off, noisy, mains (not said of a noisy
// lead: broadband noise carries the mains band too), drift, steps; none for a clean lead.
enum class QualityFinding { Off, Noisy, Mains, Drift, Steps };
std::vector<QualityFinding> qualityFindings(const LeadQuality& quality);

// Those findings in a few words joined by ", " (UTF-8): "отключено" / "off", "шум" / "noisy",
// "сеть" / "mains", "дрейф" / "drift", "скачки" / "steps"; empty for a clean lead.
std::string qualityText(const LeadQuality& quality, bool russian);

// The per-lead table as a report prints it: a heading row, then one row per lead (I … V6) of
// Q duration and depth, R, S, R', ST at J, J+60 and J+80 ms, T (a biphasic T as "+0.20/-0.15")
// and the net QRS area, in the language's decimal notation; "—" where not measurable.
std::vector<std::vector<std::string>> leadTable(const Measurements& m, bool russian);

} // namespace velkard::measure
