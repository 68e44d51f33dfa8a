// SPDX-License-Identifier: GPL-3.0-or-later
// Writers for the files the instrument keeps on its memory card, so demos and tests have
// real-looking data: device ECG files (512-byte header + eight-channel records), A2 files (10.05 s
// of eight channels, then lead II alone), rhythmogram files ("VSR…": beat intervals) and compressed
// ".ecx" files.
#pragma once

#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velkard::sim {

inline constexpr int kHeaderBytes = 512;
inline constexpr int kRateOffset = 24;
inline constexpr int kYearOffset = 30; // year within the century; 32 is not used
inline constexpr int kMonthOffset = 34;
inline constexpr int kDayOffset = 36;
inline constexpr int kHourOffset = 38;
inline constexpr int kMinuteOffset = 40;
inline constexpr int kSecondOffset = 42;
inline constexpr int kCountOffset = 48;
inline constexpr std::size_t kA2FullBytes = 128640; // 8040 eight-channel records

struct RecordedAt {
    int year = 24; // within the century
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The 512-byte header: an "ECG" signature, the rate, the date and time and the record count; the
// rest is zero.
std::vector<std::uint8_t> makeDeviceHeader(std::int16_t rate, std::int16_t count,
                                           const RecordedAt& at);

// A whole device ECG file in memory: header + the synthetic signal of `seconds` seconds.
// The record count field holds at most 32767; longer files are refused (ok = false).
// With multipleOf8 every body value is rounded down to a multiple of 8, so compressing the file to
// ".ecx" and decompressing it again gives back the same bytes.
std::vector<std::uint8_t> makeDeviceEcg(double seconds, std::uint32_t seed, const RecordedAt& at,
                                        bool multipleOf8 = false);
// A2: 8040 eight-channel records, then `extraSeconds` seconds of lead II alone (one value each).
std::vector<std::uint8_t> makeA2(double extraSeconds, std::uint32_t seed, const RecordedAt& at);
// Rhythmogram: header + one 16-bit beat interval in milliseconds per beat.
std::vector<std::uint8_t> makeRhythmogram(int beats, std::uint32_t seed, const RecordedAt& at);

// A few files of every kind, with names as the instrument gives them: the sample memory card.
struct SampleFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
};
std::vector<SampleFile> sampleCardFiles();

// Fills dir (created when missing) with sampleCardFiles(), each replaced atomically. Returns the
// names written.
Status makeCard(const std::filesystem::path& dir, std::vector<std::string>* names = nullptr);

} // namespace velkard::sim
