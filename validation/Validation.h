// SPDX-License-Identifier: GPL-3.0-or-later
// Validation of the measurements against real annotated ECGs (WFDB records of LUDB, the QT
// Database, MIT-BIH): the experts' global boundaries of each record, the program's measurements of
// the same record, beat matching by ANSI/AAMI EC57 (150 ms) and the summary statistics.
#pragma once

#include "import/Wfdb.h"
#include "import/WfdbRecording.h"
#include "measure/Measurements.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkard::measure::validation {

// Intervals of one record in ms: medians over its beats.
struct Intervals {
    std::optional<double> pMs, prMs, qrsMs, qtMs;
    int beats = 0;
    // Every beat's global QRS onset and end and P onset (NaN: no P), in samples of the record.
    std::vector<double> qrsOnsets, qrsEnds, pOnsets;
};

// One wave marked in one lead: onset, peak and end, in samples of the record.
struct Wave {
    int type = 0; // annotation code of the peak: 24 P, 1 QRS, 27 T
    std::int64_t onset = 0, peak = 0, end = 0;
};

// The complete "( peak )" triples of an annotation list (unmatched or empty brackets are skipped).
std::vector<Wave> wavesOf(const std::vector<import::wfdb::Annotation>& annotations);

// Global boundaries of every beat from waves marked lead by lead (beats: QRS peaks of at least
// three leads within 80 ms): onset = the second earliest over the leads, end = the second
// latest; then the medians over the beats. fs: samples per second.
Intervals globalIntervals(const std::vector<std::vector<Wave>>& leads, double fs);

// QRS onset, QRS end and T end of beats marked with "( N )" and "t )" in one annotation list (QT
// Database manual and ecgpuwave files), and the P onset and end of a "( p )" right before the
// QRS onset, in samples, keyed by the beat's QRS peak; only the annotations of one channel when
// channel >= 0 (ecgpuwave's ".pu" holds both leads').
struct QtBeat {
    std::int64_t peak = 0;
    std::optional<std::int64_t> onset, qrsEnd, tEnd, pOnset, pEnd;
};
std::vector<QtBeat> qtBeats(const std::vector<import::wfdb::Annotation>& annotations,
                            int channel = -1);

// Beats of one annotation list matched to those of another within `window` samples (each used
// once): true positives, misses, false detections.
struct Detection {
    int truePositive = 0, missed = 0, extra = 0;
    // Where (record samples): the reference beats not found and the detections matching none.
    std::vector<std::int64_t> missedAt, extraAt;
    // Detection less reference of each matched beat, in reference order, and its reference
    // beat's index.
    std::vector<std::int64_t> offsets;
    std::vector<std::size_t> matchedReference;
    // SD of the error of the RR intervals between matched beats next to each other in the
    // reference (samples), of those whose two beats are both `counted` (all when empty): how
    // far the fiducial point wanders from beat to beat.
    // (nullopt without two such intervals)
    std::optional<double> rrErrorSd(const std::vector<char>& counted = {}) const;
    double sensitivity() const {
        return truePositive + missed ? 100.0 * truePositive / (truePositive + missed) : 0.0;
    }
    double positivePredictivity() const {
        return truePositive + extra ? 100.0 * truePositive / (truePositive + extra) : 0.0;
    }
};
Detection matchBeats(const std::vector<std::int64_t>& reference,
                     const std::vector<std::int64_t>& detected, std::int64_t window);

// A WFDB record read and converted to what the instrument records, with the record's own rate.
struct LoadedRecord {
    import::wfdb::InstrumentRecording recording;
    double frequency = 0;
};
Result<LoadedRecord> loadRecord(const std::filesystem::path& header,
                                std::optional<double> adcPerMv = std::nullopt);

// A WFDB record as the instrument records it, and what the program measures on all of it or a
// span [fromSecond, toSecond); with onlyAtSecond, the median beat is made of the beats there
// only (an annotated set of beats, so the program is measured on the beats the reference is).
struct Measured {
    Measurements m;
    std::vector<std::int64_t> beatsAtRecordRate; // detected beats, in samples of the WFDB record
};
Result<Measured> measureRecord(const std::filesystem::path& header, std::optional<double> adcPerMv,
                               double fromSecond = 0, double toSecond = 1e18,
                               bool wholeRecordBeats = false,
                               const std::vector<double>* onlyAtSecond = nullptr);

// Mean and sample SD of program - reference over the records where both exist, and how many
// records the reference has the quantity in and the program measured it in.
struct Stats {
    int withReference = 0, measured = 0;
    double mean = 0, sd = 0;
    double measuredPercent() const {
        return withReference ? 100.0 * measured / withReference : 0.0;
    }
};
Stats differences(const std::vector<std::optional<double>>& program,
                  const std::vector<std::optional<double>>& reference);

} // namespace velkard::measure::validation
