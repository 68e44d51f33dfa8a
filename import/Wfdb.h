// SPDX-License-Identifier: GPL-3.0-or-later
// WFDB records (PhysioNet): the ".hea" text header, sample files in formats 16, 212 and 80, and
// MIT-format binary annotation files. Plain C++, no Qt; every reader takes bytes, so hostile
// input is refused with a message instead of read past its end.
#pragma once

#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::import::wfdb {

// One signal line of a header.
struct SignalSpec {
    std::string file;            // sample file name, relative to the header's folder
    int format = 0;              // 16, 212 or 80
    std::int64_t byteOffset = 0; // bytes to skip at the start of the file ("16+24")
    double gain = 200.0;         // ADC units per physical unit
    int baseline = 0;            // ADC value of physical zero (defaults to the ADC zero)
    std::string units = "mV";
    int adcResolution = 0;
    int adcZero = 0;
    int initialValue = 0;
    bool hasChecksum = false;
    int checksum = 0; // 16-bit sum of the signal's samples, as the header gives it
    std::string description;
};

struct Header {
    std::string name;
    double frequency = 250.0; // samples per second per signal
    std::int64_t samples = 0; // per signal; 0 when the header does not say
    std::vector<SignalSpec> signals;
};

// Parses a header's text. Multi-segment records, more than one sample per frame and formats other
// than 16, 212 and 80 are refused with a message.
Result<Header> parseHeader(std::string_view text);

// Decodes the signals of `header` stored in the sample file `file` from its bytes: one vector of
// ADC values per signal of the header (empty for signals stored in other files). Reads the frames
// the bytes hold, at most header.samples when the header gives a count.
Status decodeSamples(const Header& header, const std::string& file,
                     std::span<const std::uint8_t> bytes, std::vector<std::vector<int>>& samples);

// Annotation codes as the WFDB library numbers them.
enum AnnotationCode : int {
    kNormal = 1,
    kNoise = 14,
    kPPeak = 24,
    kRhythm = 28,
    kTPeak = 27,
    kWaveOnset = 39,
    kWaveEnd = 40,
    kSkip = 59,
    kNum = 60,
    kSub = 61,
    kChn = 62,
    kAux = 63,
};

struct Annotation {
    std::int64_t sample = 0;
    int code = 0;
    int subtype = 0;
    int channel = 0;
    int num = 0;
    std::string aux;
};

// Parses an MIT-format annotation file. Stops at the end-of-file word (or the end of the bytes);
// a pseudo-annotation that runs past the end is refused.
Result<std::vector<Annotation>> parseAnnotations(std::span<const std::uint8_t> bytes);

// Whether an annotation code marks a beat (N, L, R, a, V, F, J, A, S, E, j, /, Q, ?, e, n, f, r).
bool isBeat(int code);

// The mnemonic of a code ("N", "V", "(", "p", ...; "?" for codes without one).
std::string_view mnemonic(int code);

// A whole record: the header and every signal's ADC values.
struct Record {
    Header header;
    std::vector<std::vector<int>> samples; // per signal
    std::int64_t length() const {
        return samples.empty() ? 0 : static_cast<std::int64_t>(samples.front().size());
    }
    // Physical value of signal s at sample t: (adc - baseline) / gain.
    double physical(std::size_t s, std::int64_t t) const {
        const SignalSpec& sp = header.signals[s];
        return (samples[s][static_cast<std::size_t>(t)] - sp.baseline) / sp.gain;
    }
};

// Reads a record from its header path ("100.hea", or the record name without ".hea"); the sample
// files are looked for beside it. All signals end at the shortest one's length.
Result<Record> readRecord(const std::filesystem::path& headerPath);

// The files reading the record opens: its header, the sample files the header names and the
// ".atr" beside it; the header alone when it cannot be parsed.
std::vector<std::filesystem::path> recordFiles(const std::filesystem::path& headerPath);

// Reads an annotation file.
Result<std::vector<Annotation>> readAnnotations(const std::filesystem::path& path);

} // namespace velkard::import::wfdb
