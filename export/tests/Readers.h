// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the independent readers (BioSig's save2gdf, dicom3tools' dciodvfy, DCMTK's dcmdump) and
// parses what they print. A missing reader fails the test that needs it: scripts/deps.sh
// installs them all.
#pragma once

#include "export/Export.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velkard::exporting::test {

struct CommandOutput {
    int status = -1;
    std::string out; // stdout and stderr together
};

// Runs a shell command line; stdout and stderr are captured together.
CommandOutput runCommand(const std::string& commandLine);
// True when the program is on PATH; otherwise records a failure naming the Debian package.
bool requireTool(const std::string& program, const std::string& package);
std::string quoted(const std::filesystem::path& path);

// A recording of the synthetic twelve-lead ECG (instrument units, 800 records a second); beyond a
// minute the first minute repeats.
signal::RecordingBuffer syntheticRecording(std::size_t records, std::uint32_t seed = 7);

// The expected leads, computed here from the channels by the derivation the display uses:
// I = c1 - c0, II = c1, III = c0, aVR = c0/2 - c1, aVL = c1/2 - c0, aVF = (c1 + c0)/2,
// Vk = (c1 + c0)/3 - c(k+1), integer division truncating.
std::array<std::vector<std::int16_t>, 12> expectedLeads(const signal::RecordingBuffer& buffer,
                                                        std::size_t records);

// Every value of "key" in save2gdf's JSON, in order, strings without their quotes.
std::vector<std::string> jsonValues(const std::string& json, const std::string& key);

// What save2gdf makes of a file: -JSON for the header, -CSV for the samples in physical units.
struct BioSigHeader {
    std::string json;
    std::vector<std::string> labels;
    std::vector<double> rates;
    long long samples = -1;
};
BioSigHeader bioSigHeader(const std::filesystem::path& file, bool withNames = false);
// Column per channel, values in the unit the header names (µV here).
std::vector<std::vector<double>> bioSigSamples(const std::filesystem::path& file,
                                               std::vector<std::string>& labels);

// Largest |read - expected| in µV over every sample of the twelve leads, read columns in lead
// order; a missing or extra sample counts as infinite.
double worstMicrovolts(const std::vector<std::vector<double>>& read,
                       const std::array<std::vector<std::int16_t>, 12>& expected);

} // namespace velkard::exporting::test
