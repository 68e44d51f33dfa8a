// SPDX-License-Identifier: GPL-3.0-or-later
// Lossless exports of a recording into files other systems read: EDF+, DICOM ECG waveform,
// SCP-ECG and HL7 aECG. Every file holds the twelve standard leads at 800 Hz as the instrument gave
// them (whole instrument units with the scale in physical units), the patient's name, ID, birth
// date and sex, and the recording's date and time when they are known.
#pragma once

#include "export/EcgExport.h"
#include "interpret/Interpret.h"
#include "signal/Status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::exporting {

enum class Format { Edf, Dicom, Scp, Aecg };
inline constexpr std::array<Format, 4> kFormats{Format::Edf, Format::Dicom, Format::Scp,
                                                Format::Aecg};

// "edf", "dicom", "scp", "aecg" (the command line's names).
std::string_view formatName(Format format);
std::optional<Format> formatFromName(std::string_view name);
// ".edf", ".dcm", ".scp", ".xml".
std::string_view formatExtension(Format format);
// The format that the file name's extension names (letter case ignored).
std::optional<Format> formatFromPath(const std::filesystem::path& path);

// Writes the file. The target is written under a unique temporary name in its folder, flushed and
// renamed over the name only when complete, so a failure leaves no partial file under that name.
Status writeExport(const EcgExport& ecg, Format format, const std::filesystem::path& target,
                   const ExportProgress& progress = {});

// Whether the format can hold the recording file, told from its size before its samples are read
// (SCP-ECG's limits; the other formats hold any length).
Status checkFormatHolds(const std::filesystem::path& recording, signal::RecordingKind kind,
                        Format format);

// The program's statements of records [first, first + count) of a recording (the span is kept
// within the recording, and within an A2 recording's twelve-lead part), texts in `language`; none
// where nothing could be measured.
ExportInterpretation programInterpretation(std::span<const std::uint8_t> recording, bool a2,
                                           std::int64_t first, std::int64_t count,
                                           const LeadSet& present,
                                           const interpret::Patient& patient,
                                           interpret::Language language);

// Reads a recording file and exports it without patient data, with the program's statements of
// its first ten seconds. The leads named absent by a lead list beside it (<name>.lds, when it was
// written for this recording) are left out.
Status exportRecordingFile(const std::filesystem::path& recording, signal::RecordingKind kind,
                           Format format, const std::filesystem::path& target,
                           const ExportProgress& progress = {},
                           interpret::Language language = interpret::Language::Russian);

} // namespace velkard::exporting
