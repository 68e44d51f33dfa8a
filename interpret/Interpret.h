// SPDX-License-Identifier: GPL-3.0-or-later
// Interpretation statements over the measurements of a span, each with the criterion and the
// measured values that met it.
//
// features() derives what the criteria need beyond measure's results, from the recording and the
// median beat: every beat's RR and shape against the dominant QRS, whether each beat has the
// median beat's P, R-peak times, S and R durations, the P terminal force in V1. interpret()
// applies the criteria of Criteria.h to them. A value that was not measured never makes a
// statement; where a finding cannot be judged the engine says nothing about it, and "normal ECG"
// is given only when everything it rests on was measured.
#pragma once

#include "measure/Measurements.h"
#include "signal/Leads.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velkard::interpret {

enum class Language { Russian = 0, English = 1 };

enum class Sex { Unknown, Male, Female };

// From the card; either may be unknown, and the statements then use the conservative threshold
// and say so in their reason.
struct Patient {
    Sex sex = Sex::Unknown;
    std::optional<int> ageYears;
};

struct Statement {
    std::string code;                // SCP-ECG acronym: "SR", "CLBBB", "LVH" ...
    std::array<std::string, 2> text; // by Language: "Синусовый ритм" / "Sinus rhythm"
    std::array<std::string, 2> reason; // the criterion and the values that met it
    const std::string& textIn(Language l) const { return text[static_cast<std::size_t>(l)]; }
    const std::string& reasonIn(Language l) const { return reason[static_cast<std::size_t>(l)]; }
};

// What the criteria read beyond measure::Measurements. Times in ms, amplitudes in mV.
struct Features {
    // Rhythm, over the beats of the span.
    std::vector<double> rrMs;    // interval before each beat but the first
    std::vector<double> shape;   // each beat's QRS correlation with the median beat (NaN: unknown)
    std::vector<char> premature; // each beat: early against the rhythm
    std::optional<double> dominantRmssdRatio; // RMSSD / mean of the RR between dominant beats
    std::optional<double> sinusRangeMs;       // longest - shortest RR between dominant beats
    std::optional<double> pShare;             // share of dominant beats with the median's P
    // How alike the atrial stretches before the dominant beats are: the energy of their mean over
    // the mean of their energies (1: the same wave before each, about 1/N: nothing in common).
    std::optional<double> atrialCoherence;
    // Regular atrial waves between the complexes (atrial flutter): in the lead among II, III, aVF
    // and V1 where they repeat best, with every QRS left out, mains taken off and the T's slow
    // wave taken down (less a 250-ms mean), the lag of 150-300 ms at which they correlate best
    // with themselves, that correlation, the correlation at twice the lag, and their RMS (mV).
    std::optional<double> atrialWavePeriodMs, atrialWaveRepeat, atrialWaveRepeatTwice, atrialWaveMv;
    int atrialWaveLead = -1;
    // The lowest repeat, at that period (within 10 ms), among II, III and aVF where present.
    std::optional<double> atrialWaveRepeatInferior;
    int prematureSameShape = 0; // early beats of the dominant QRS shape
    int otherShape = 0;         // early beats of another QRS shape
    int otherShapeLate = 0;     // beats of another QRS shape, not early
    // Shape of the median beat, per lead (null where the lead is absent or has no such wave).
    std::array<std::optional<double>, signal::kLeadCount> rPeakTimeMs, rDurationMs, sDurationMs;
    // Whether the last wave of the QRS points up (an R' that closes the complex, not a notch
    // before an S).
    std::array<std::optional<bool>, signal::kLeadCount> endsPositive;
    std::optional<double> pTerminalForceV1; // negative terminal P in V1, mV*ms (>= 0)
    // The P in II against the PR baseline: the larger of its highest and (negated) lowest point,
    // signed (mV); for the rhythm where no P axis can be had (a recording without I or aVF).
    std::optional<double> pLeadIIMv;
    // Pacemaker spikes: beats with a spike before their QRS, of the beats looked at (none when
    // no beat could be), the median time from the spike to the beat's QRS onset (ms) and the
    // largest spike's jump (mV over 2.5 ms) and lead.
    int pacedBeats = 0, spikeBeatsSeen = 0;
    std::optional<double> spikeToQrsMs, spikeMv;
    int spikeLead = -1;
    bool spikeOnsetMeasured = false; // spikeToQrsMs is from a measured QRS onset
};

// Features of records [from, from + length) given measure's results of the same span (m) and
// the median beat they were made on.
Features features(const signal::SampleRecord* records, std::size_t count,
                  const measure::Measurements& m, const measure::MedianBeat& median);

// The statements, in report order: rhythm, conduction, axis, hypertrophy, infarction, injury,
// repolarisation, voltage; "NORM" alone with a sinus rhythm when nothing else applies.
std::vector<Statement> interpret(const measure::Measurements& m, const Features& f,
                                 const Patient& patient = {});

// Measures and interprets a span in one call (as velkard-cli measure does); median, when given,
// receives the median beat the measurements were made on.
struct Interpretation {
    measure::Measurements measurements;
    Features features;
    std::vector<Statement> statements;
};
Interpretation interpretSpan(const signal::SampleRecord* records, std::size_t count,
                             std::size_t from = 0, std::size_t length = SIZE_MAX,
                             const measure::LeadSet* present = nullptr, const Patient& patient = {},
                             measure::MedianBeat* median = nullptr);

// Measures and interprets records [first, first + count) of a recording file's bytes, with up to
// a second before as context, as measure::measureRecording measures them (its beats counted from
// the recording's first record). present, when given, names the leads that carry a signal (a
// file of another system may lack some): the others take no part, as in interpretSpan.
Interpretation interpretRecording(std::span<const std::uint8_t> bytes, std::int64_t first,
                                  std::int64_t count, const Patient& patient = {},
                                  const measure::LeadSet* present = nullptr,
                                  measure::MedianBeat* median = nullptr);

// The text of a code as the table gives it, in a language ("" for an unknown code): what a
// physician picks from when adding a statement by hand.
std::string statementText(const std::string& code, Language language);
// Every code of the table, in report order.
std::vector<std::string> statementCodes();

} // namespace velkard::interpret
