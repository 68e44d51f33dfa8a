// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Export.h"

#include "cardfile/Records.h"
#include "export/Writers.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace velkard::exporting {

namespace {

struct FormatInfo {
    Format format;
    std::string_view name;
    std::string_view extension;
};
constexpr std::array<FormatInfo, 4> kFormatInfo{{{Format::Edf, "edf", ".edf"},
                                                 {Format::Dicom, "dicom", ".dcm"},
                                                 {Format::Scp, "scp", ".scp"},
                                                 {Format::Aecg, "aecg", ".xml"}}};

const FormatInfo& info(Format format) {
    return *std::find_if(kFormatInfo.begin(), kFormatInfo.end(),
                         [&](const FormatInfo& i) { return i.format == format; });
}

// The span the program's statements are made of when no report names one, as the report prints.
constexpr std::int64_t kTenSeconds = 10 * kSampleRate;

} // namespace

std::string_view formatName(Format format) {
    return info(format).name;
}
std::string_view formatExtension(Format format) {
    return info(format).extension;
}

std::optional<Format> formatFromName(std::string_view name) {
    for (const auto& i : kFormatInfo)
        if (i.name == name)
            return i.format;
    return std::nullopt;
}

std::optional<Format> formatFromPath(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& i : kFormatInfo)
        if (i.extension == ext)
            return i.format;
    return std::nullopt;
}

Status writeExport(const EcgExport& ecg, Format format, const std::filesystem::path& target,
                   const ExportProgress& report) {
    if (ecg.samples() == 0)
        return Status::failure(ErrorCode::EmptyRecording, "Nothing to export to " +
                                                              target.string() +
                                                              ": the recording holds no sample");
    if (ecg.writtenLeadIndexes().empty())
        return Status::failure(ErrorCode::EmptyRecording, "Nothing to export to " +
                                                              target.string() +
                                                              ": the recording carries no lead");
    // The writers step through every sample of every lead they write.
    const std::size_t twelve = ecg.twelveLeadSamples();
    const std::size_t steps =
        format == Format::Aecg ? twelve * ecg.writtenLeadIndexes().size() + (ecg.samples() - twelve)
        : format == Format::Dicom ? twelve + (ecg.samples() - twelve)
                                  : ecg.samples();
    detail::Progress progress(report, steps, ecg.samples());
    std::vector<std::uint8_t> bytes;
    std::string text;
    switch (format) {
    case Format::Scp:
        if (auto s = detail::encodeScp(ecg, bytes); !s)
            return s;
        break;
    case Format::Aecg:
    case Format::Edf:
    case Format::Dicom:
        break;
    }
    // The target is replaced only by a whole file: written beside it, then renamed over it.
    signal::AtomicFileWriter temporary(target);
    if (auto s = temporary.open(); !s)
        return Status::failure(ErrorCode::CannotWrite, s.message);
    switch (format) {
    case Format::Edf: {
        std::uint64_t expectedSize = 0;
        if (auto s = detail::writeEdf(ecg, temporary.temporaryPath(), expectedSize, progress); !s)
            return s == ErrorCode::Cancelled ? s : detail::cannotWrite(target, s.message);
        return temporary.commit(true, expectedSize);
    }
    case Format::Dicom:
        if (auto s = detail::writeDicom(ecg, temporary.temporaryPath(), progress); !s)
            return s == ErrorCode::Cancelled ? s : detail::cannotWrite(target, s.message);
        return temporary.commit();
    case Format::Scp:
        if (auto s = temporary.write(bytes.data(), bytes.size()); !s)
            return s;
        return temporary.commit(true, bytes.size());
    case Format::Aecg: {
        // Written as it is made, a megabyte at a time, not held whole.
        std::uint64_t written = 0;
        const auto drain = [&](std::string& part) {
            auto s =
                temporary.write(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
            written += part.size();
            part.clear();
            return s;
        };
        if (auto s = detail::encodeAecg(ecg, text, progress, drain); !s)
            return s;
        if (auto s = drain(text); !s)
            return s;
        return temporary.commit(true, written);
    }
    }
    return Status::success();
}

Status checkFormatHolds(const std::filesystem::path& recording, signal::RecordingKind kind,
                        Format format) {
    if (format != Format::Scp)
        return Status::success();
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(recording, error);
    if (error)
        return Status::success(); // loading the file tells what is wrong with it
    const std::size_t records = std::size_t(size / signal::kRecordBytes);
    const std::size_t twelve = kind == signal::RecordingKind::A2
                                   ? std::min<std::size_t>(records, signal::kA2DerivedRecords)
                                   : records;
    return detail::scpCanHold(records, twelve);
}

ExportInterpretation programInterpretation(std::span<const std::uint8_t> recording, bool a2,
                                           std::int64_t first, std::int64_t count,
                                           const LeadSet& present,
                                           const interpret::Patient& patient,
                                           interpret::Language language) {
    ExportInterpretation out;
    out.russian = language == interpret::Language::Russian;
    const auto records = static_cast<std::int64_t>(recording.size() / signal::kRecordBytes);
    first = std::clamp<std::int64_t>(first, 0, records);
    count = std::clamp<std::int64_t>(count, 0, records - first);
    if (a2)
        count = std::clamp<std::int64_t>(signal::kA2DerivedRecords - first, 0, count);
    if (count == 0)
        return out;
    const LeadSet written = writtenLeads(present);
    const interpret::Interpretation it =
        interpret::interpretRecording(recording, first, count, patient, &written);
    for (const interpret::Statement& s : it.statements)
        out.statements.push_back({s.code, s.textIn(language)});
    return out;
}

Status exportRecordingFile(const std::filesystem::path& recording, signal::RecordingKind kind,
                           Format format, const std::filesystem::path& target,
                           const ExportProgress& progress, interpret::Language language) {
    if (kind == signal::RecordingKind::Rhythmogram)
        return Status::failure(ErrorCode::NotAnEcg,
                               "Cannot export " + recording.string() +
                                   ": a rhythmogram holds beat intervals, not ECG samples");
    if (auto s = checkFormatHolds(recording, kind, format); !s)
        return s;
    signal::RecordingBuffer buffer;
    if (auto s = signal::loadRecording(recording, buffer); !s)
        return Status::failure(ErrorCode::CannotReadRecording, s.message);
    if (progress && !progress(0, buffer.records() / kSampleRate))
        return detail::cancelled();
    EcgExport ecg = streamExport(buffer, kind);
    // A card-file recording filed from a file lacking leads has their list beside it.
    std::filesystem::path beside = recording;
    beside.replace_extension(".lds");
    if (std::ifstream in{beside, std::ios::binary}) {
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (auto leads = cardfile::decodeLeadsFile(text, buffer.bytes))
            ecg.present = writtenLeads(*leads);
    }
    ecg.interpretation = programInterpretation({buffer.bytes.data(), buffer.bytes.size()},
                                               kind == signal::RecordingKind::A2, 0, kTenSeconds,
                                               ecg.present, {}, language);
    return writeExport(ecg, format, target, progress);
}

} // namespace velkard::exporting
