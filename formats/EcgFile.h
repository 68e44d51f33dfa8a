// SPDX-License-Identifier: GPL-3.0-or-later
// ECG files of other systems read into one form: EDF/EDF+/BDF (EDFlib), DICOM 12-lead and General
// ECG waveforms (DCMTK), SCP-ECG and HL7 aECG (BioSig) and PhysioNet WFDB records. Every reader
// checks sizes, counts and scales before it believes them and refuses the file with one clear
// line instead; none uses Qt.
#pragma once

#include "formats/Detect.h"
#include "signal/Leads.h"
#include "signal/Status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::formats {

// "EDF", "BDF", "DICOM", "SCP-ECG", "HL7 aECG", "WFDB", "GDF".
std::string_view kindName(Kind kind);

// Bounds every reader holds a file to.
inline constexpr int kMaxSignals = 64;                        // signals (channels) of one file
inline constexpr double kMinRate = 50;                        // samples per second
inline constexpr double kMaxRate = 20000;                     // samples per second
inline constexpr double kMaxSeconds = 4 * 3600;               // duration
inline constexpr std::int64_t kMaxTotalSamples = 64'000'000;  // over all signals
inline constexpr std::uint64_t kMaxFileBytes = 1ULL << 31;    // the file itself
inline constexpr std::uint64_t kMaxHeaderBytes = 16ULL << 20; // headers, XML documents

// Patient data as the file gives it (UTF-8; empty when not given).
struct Patient {
    std::string name; // "Family Given Middle"
    std::string id;
    std::string birthDate; // dd.MM.yyyy
    std::string sex;       // "M", "F" or empty
};

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct Annotation {
    double onsetSeconds = 0;    // from the start of the recording
    double durationSeconds = 0; // 0 when none is given
    std::string text;
};

// One file read: every lead at the file's own rate, in microvolts.
struct EcgFile {
    Kind kind = Kind::Edf;
    double rate = 0; // samples per second of every lead
    // The twelve standard leads (signal::StandardLead order); an empty vector is a lead the file
    // does not carry. Present leads are all equally long.
    std::array<std::vector<double>, signal::kLeadCount> leads;
    // The file's label of each present lead ("ECG I", "MDC_ECG_LEAD_V1", "2:61"...).
    std::array<std::string, signal::kLeadCount> labels;
    Patient patient;
    std::optional<DateTime> start;
    // DICOM only: the series number and description ("1", "2 Ruhe-EKG"); empty otherwise.
    std::string series;
    std::vector<Annotation> annotations;
    // How the file was read, in English: the kind, the producer when it says so, the signals left
    // out and why, gaps of a discontinuous file.
    std::string origin;
    std::vector<std::string> notes;
    // The header's gains contradicted the samples and every signal was read at one scale
    // (a WFDB record whose limb leads obey Einthoven's law only on the stored values).
    bool gainsReplaced = false;

    std::size_t samples() const; // of each present lead
    int presentCount() const;
    double seconds() const { return rate > 0 ? static_cast<double>(samples()) / rate : 0; }
};

using EcgResult = Result<EcgFile>;

// The kind a file's first bytes (and, for WFDB, its ".hea" name) show; nullopt for anything else
// (device files and ".ecx" included).
std::optional<Kind> detectKind(const std::filesystem::path& path);

// The files reading `path` opens: the file itself and, for a WFDB header, the sample files it
// names and the ".atr" beside it.
std::vector<std::filesystem::path> filesRead(const std::filesystem::path& path);

// Reads any of the kinds above, chosen by detectKind. NotAnEcg when the file is none of them.
EcgResult readEcgFile(const std::filesystem::path& path);

EcgResult readEdf(const std::filesystem::path& path); // EDF, EDF+C/D, BDF, BDF+
// DICOM ECG waveforms: from a file, or from the bytes of a Part 10 file (or a bare data set
// in explicit VR little endian) as a network transfer gives them.
EcgResult readDicom(const std::filesystem::path& path);
EcgResult readDicom(std::span<const std::uint8_t> bytes);
EcgResult readBioSig(const std::filesystem::path& path); // SCP-ECG, HL7 aECG, GDF
EcgResult readWfdb(const std::filesystem::path& headerPath);

// The standard lead a label names: "I", "ECG I", "Lead II", "EKG aVR", "V1", "ECG V1-Ref",
// "MLII", "MDC_ECG_LEAD_AVF", "D1"... ; nullopt for anything else.
std::optional<int> leadOfLabel(std::string_view label);

// Microvolts in one unit of a physical dimension ("uV", "µV", "mV", "V", "nV", UCUM "uV"...);
// nullopt for units that are no voltage.
std::optional<double> microvoltsPerUnit(std::string_view unit);

// Checks shared by every reader: rate, counts and duration within the bounds above, every value
// finite. A failure names the file.
Status checkBounds(const EcgFile& file, const std::string& name);

// Places signals into the twelve leads: a labelled one into its lead (the first of a lead wins),
// then, when no lead at all was named, a single unnamed ECG signal as lead II. With
// ecgOfSeveral (an ECG database's record, whose signals may all be "ECG", "CM5", "record 100,
// signal 0"), the first unnamed signal whose label says ECG or EKG, else the first, is lead II
// however many there are, for the rhythm and the intervals; the others stay out, since guessed
// as chest leads they would make lead-specific statements. Notes say what was left out.
struct SignalIn {
    std::string label;
    std::vector<double> microvolts;
};
void placeSignals(std::vector<SignalIn> inputs, EcgFile& out, bool ecgOfSeveral = false);

} // namespace velkard::formats
