// SPDX-License-Identifier: GPL-3.0-or-later
// Display and print filters: mains notch, baseline-wander high-pass and muscle low-pass, designed
// for the instrument's 800 samples per second. Recordings on disk stay raw; review and print
// filter forward and backward (zero phase, so ST segments keep their level), the live sweep
// filters causally block by block.
#pragma once

#include "signal/SampleRecord.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velkard::filter {

inline constexpr double kSampleRate = signal::kRecordsPerSecond;

enum class Mains { Off, Hz50, Hz60 };
enum class HighPass { Off, Hz005, Hz05 };      // 0.05 Hz (diagnostic) or 0.5 Hz
enum class LowPass { Off, Hz35, Hz40, Hz150 }; // Hz150 is the dialog's "off (150 Hz)"

struct FilterSettings {
    Mains mains = Mains::Off;
    HighPass highPass = HighPass::Off;
    LowPass lowPass = LowPass::Off;

    // True when at least one filter is on.
    bool any() const {
        return mains != Mains::Off || highPass != HighPass::Off || lowPass != LowPass::Off;
    }
    bool operator==(const FilterSettings&) const = default;
};

// What the program uses until the user chooses otherwise: 0.05–150 Hz with the 50 Hz notch.
FilterSettings programDefaults();

double mainsHz(Mains m);       // 0 when off
double highPassHz(HighPass h); // 0 when off
double lowPassHz(LowPass l);   // 0 when off

// The band as the tool panel and the print header show it, e.g. "0,05–40 Гц ~50 Гц" or
// "0.05–40 Hz ~50 Hz"; empty when every filter is off.
std::string describe(const FilterSettings& settings, bool russian);

enum class Phase {
    Zero,  // run forward and backward: the combined response is the one described
    Causal // run once forward: the single pass is the one described
};

// One second-order section, a0 = 1 (a first-order section has b2 = a2 = 0).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// The sections for these settings; empty when every filter is off. For Phase::Zero the cutoffs are
// moved so that the forward-backward response is 3 dB down at the stated frequencies.
std::vector<Biquad> design(const FilterSettings& settings, Phase phase,
                           double sampleRate = kSampleRate);

// Frequency response of one pass of the sections at hz.
std::complex<double> response(const std::vector<Biquad>& sections, double hz,
                              double sampleRate = kSampleRate);

// Filters a whole recording (little-endian sample records, as in a recording file) in place,
// zero phase, channel by channel. A recording of kind A2 changes its channel meaning at record
// a2Switch: the two parts are filtered separately, so no ringing crosses from one to the other.
// Records are 16-byte units; a trailing partial record is left as it is.
void filterRecordingBytes(std::span<std::uint8_t> bytes, const FilterSettings& settings,
                          std::size_t a2Switch = SIZE_MAX);
// The same into a new buffer, the source left as it is.
std::vector<std::uint8_t> filteredCopy(std::span<const std::uint8_t> bytes,
                                       const FilterSettings& settings,
                                       std::size_t a2Switch = SIZE_MAX);

// Causal filtering of a stream of sample records (the live sweep): keeps its state between calls.
class StreamFilter {
public:
    StreamFilter() = default;
    explicit StreamFilter(const FilterSettings& settings) { reset(settings); }
    // New settings; the next record starts the filters afresh from its own values.
    void reset(const FilterSettings& settings);
    const FilterSettings& settings() const { return settings_; }
    // Filters the records in place.
    void process(std::span<signal::SampleRecord> records);

private:
    FilterSettings settings_;
    std::vector<Biquad> sections_;
    std::vector<float> state_; // sections × 2 × channels
    bool primed_ = false;
};

} // namespace velkard::filter
