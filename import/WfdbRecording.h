// SPDX-License-Identifier: GPL-3.0-or-later
// A WFDB record as the instrument would have recorded it: resampled to 800 Hz by a polyphase
// windowed-sinc filter, converted to the instrument's units and placed into its eight channels
// (c0 lead III, c1 lead II, c2..c7 the chest leads against (II + III) / 3). Leads the record does
// not carry are flagged absent, so nothing measures their flat channels.
#pragma once

#include "import/Wfdb.h"
#include "signal/Leads.h"
#include "signal/SampleRecord.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace velkard::import::wfdb {

// Resamples x from `from` to `to` samples per second (both whole numbers): polyphase FIR, a
// Kaiser-windowed sinc with its cutoff at 0.45 of the lower rate, delay-compensated so output
// sample n lies at time n / to. Input beyond the ends counts as the end values.
std::vector<double> resample(const std::vector<double>& x, int from, int to);

// The standard lead a WFDB signal description names ("i", "II", "MLII", "aVF", "V5", "mod.V1"...);
// nullopt for names such as "ECG", "CM5" or "D3".
std::optional<int> leadOfName(std::string_view description);

// Given two of the limb leads I, II and III (n samples each), derives the third by Einthoven's
// law (II = I + III); false, and nothing changed, when fewer than two are given.
bool completeLimbLeads(std::vector<double>& i, std::vector<double>& ii, std::vector<double>& iii,
                       std::size_t n);

// Units per mV the samples are read at where the header's gains contradict them (below): LUDB's
// samples are stored at 1 µV per unit.
inline constexpr double kSharedScaleAdcPerMv = 1000.0;

// Whether the header's gains contradict its samples: the stored values of I, II and III obey
// Einthoven's law (I + III = II within 2 units at 99.9 % of the samples, on a signal that moves)
// while the gains give the three leads scales more than 2 % apart, so that the law fails on the
// physical values. Such gains cannot be true, and the samples share one scale: LUDB's headers
// give each lead's range as its gain.
bool gainsContradictLimbLeads(const Record& record);

// The note an import gives where it reads the samples at kSharedScaleAdcPerMv for that reason.
std::string sharedScaleNote();

struct InstrumentRecording {
    std::vector<signal::SampleRecord> records;      // 800 per second
    std::array<bool, signal::kLeadCount> present{}; // leads that carry the record's signal
    std::array<int, signal::kLeadCount> source{};   // WFDB signal of each present lead, or -1
    std::vector<std::string> notes;                 // how unnamed signals were placed
};

// Places the record's signals. Limb leads: any two of I, II and III give all six; II alone gives
// II only (the channels for III hold zeros and the derived leads are absent). Chest leads go to
// their channels; a signal whose name is no standard lead takes lead II when that is free, then the
// first free chest channel (and a note says so). adcPerMv, when given, replaces every signal's
// gain; without it, where gainsContradictLimbLeads, kSharedScaleAdcPerMv does (and a note says
// so). The baseline is taken off.
// Values beyond the 16-bit range are clipped.
Result<InstrumentRecording> toInstrument(const Record& record,
                                         std::optional<double> adcPerMv = std::nullopt);

} // namespace velkard::import::wfdb
