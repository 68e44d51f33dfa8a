// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Export.h"

#include "cardfile/Records.h"
#include "export/Writers.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <sys/mman.h>

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

constexpr std::size_t kPageBytes = 4096;
// The span the program's statements are made of when no report names one, as the report prints.
constexpr std::int64_t kTenSeconds = 10 * kSampleRate;
constexpr std::size_t kReleaseBytes = std::size_t(4) << 20;

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(std::string_view s) {
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

bool validDay(int year, int month, int day) {
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

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

Sex sexOf(const Patient& patient) {
    if (patient.sex == "Муж" || patient.sex == "men")
        return Sex::Male;
    if (patient.sex == "Жен" || patient.sex == "wom")
        return Sex::Female;
    return Sex::Unknown;
}

PersonName splitName(std::string_view name) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < name.size()) {
        while (i < name.size() && (name[i] == ' ' || name[i] == '\t'))
            ++i;
        std::size_t start = i;
        while (i < name.size() && name[i] != ' ' && name[i] != '\t')
            ++i;
        if (i > start)
            words.emplace_back(name.substr(start, i - start));
    }
    PersonName out;
    if (!words.empty())
        out.family = words[0];
    if (words.size() > 1)
        out.given = words[1];
    for (std::size_t w = 2; w < words.size(); ++w)
        out.middle += (w > 2 ? " " : "") + words[w];
    return out;
}

std::optional<Date> parseDate(std::string_view text) {
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        return std::nullopt;
    auto dd = text.substr(0, 2), mm = text.substr(3, 2), yyyy = text.substr(6, 4);
    if (!allDigits(dd) || !allDigits(mm) || !allDigits(yyyy))
        return std::nullopt;
    Date d{number(yyyy), number(mm), number(dd)};
    if (!validDay(d.year, d.month, d.day))
        return std::nullopt;
    return d;
}

std::optional<DateTime> parseDateTime(std::string_view date, std::string_view time) {
    auto d = parseDate(date);
    if (!d || time.size() != 8 || time[2] != ':' || time[5] != ':')
        return std::nullopt;
    auto hh = time.substr(0, 2), mi = time.substr(3, 2), ss = time.substr(6, 2);
    if (!allDigits(hh) || !allDigits(mi) || !allDigits(ss))
        return std::nullopt;
    DateTime t{d->year, d->month, d->day, number(hh), number(mi), number(ss)};
    if (t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

LeadSet writtenLeads(const LeadSet& carried) {
    LeadSet out = carried;
    const int limbLeads = int(carried[signal::StandardLeadI]) +
                          int(carried[signal::StandardLeadII]) +
                          int(carried[signal::StandardLeadIII]);
    if (limbLeads < 2)
        for (std::size_t l :
             {signal::StandardLeadAVR, signal::StandardLeadAVL, signal::StandardLeadAVF})
            out[l] = false;
    return out;
}

std::vector<std::size_t> EcgExport::writtenLeadIndexes() const {
    std::vector<std::size_t> out;
    for (std::size_t l = 0; l < present.size(); ++l)
        if (present[l])
            out.push_back(l);
    return out;
}

EcgExport deriveExport(const signal::RecordingBuffer& buffer, signal::RecordingKind kind) {
    EcgExport ecg;
    const std::size_t n = buffer.records();
    const bool a2 = kind == signal::RecordingKind::A2;
    const std::size_t twelve = a2 ? std::min<std::size_t>(n, signal::kA2DerivedRecords) : n;
    for (std::size_t l = 0; l < ecg.leads.size(); ++l)
        ecg.leads[l].resize(l == signal::StandardLeadII ? n : twelve);
    // A mapped file's pages are given back as they are done (they are read from the file again
    // if touched), so the file and its derived leads are not held whole at the same time.
    std::size_t released = 0;
    const auto release = [&](std::size_t record) {
        if (!buffer.bytes.mapped())
            return;
        const std::size_t end = record * signal::kRecordBytes / kPageBytes * kPageBytes;
        if (end < released + kReleaseBytes)
            return;
        ::madvise(const_cast<std::uint8_t*>(buffer.bytes.data()) + released, end - released,
                  MADV_DONTNEED);
        released = end;
    };
    for (std::size_t i = 0; i < twelve; ++i) {
        const auto values = signal::deriveStandardLeads(buffer.record(i));
        for (std::size_t l = 0; l < values.size(); ++l)
            ecg.leads[l][i] = values[l];
        release(i);
    }
    // Later A2 records carry lead II in c1 alone; the other channels hold no recording.
    for (std::size_t i = twelve; i < n; ++i) {
        ecg.leads[signal::StandardLeadII][i] =
            signal::readLe16(buffer.bytes.data() + i * signal::kRecordBytes + 2);
        release(i);
    }
    return ecg;
}

class DerivedLeads {
public:
    DerivedLeads(const signal::RecordingBuffer& buffer, signal::RecordingKind kind)
        : buffer_(buffer), records_(buffer.records()),
          twelve_(kind == signal::RecordingKind::A2
                      ? std::min<std::size_t>(records_, signal::kA2DerivedRecords)
                      : records_) {}

    std::size_t samples() const { return records_; }
    std::size_t twelveLeadSamples() const { return twelve_; }

    void copy(std::size_t lead, std::size_t first, std::size_t count, std::int16_t* out) const {
        release(first * signal::kRecordBytes);
        const std::size_t end = first + count;
        const std::size_t derivedEnd = std::min(end, twelve_);
        std::size_t i = first;
        for (; i < derivedEnd; ++i)
            *out++ = signal::deriveStandardLeads(buffer_.record(i))[lead];
        // Later A2 records carry lead II in c1 alone.
        for (; i < end; ++i)
            *out++ = signal::readLe16(buffer_.bytes.data() + i * signal::kRecordBytes + 2);
    }

private:
    // A mapped file's pages before offset are given back every few megabytes (they are read from
    // the file again when a later pass over the leads touches them).
    void release(std::size_t offset) const {
        if (!buffer_.bytes.mapped())
            return;
        const std::size_t end = offset / kPageBytes * kPageBytes;
        if (end < released_) {
            released_ = end; // a new pass, from the start
            return;
        }
        if (end < released_ + kReleaseBytes)
            return;
        ::madvise(const_cast<std::uint8_t*>(buffer_.bytes.data()) + released_, end - released_,
                  MADV_DONTNEED);
        released_ = end;
    }

    signal::RecordingBuffer buffer_; // shares the bytes (the mapping) of the caller's buffer
    std::size_t records_;
    std::size_t twelve_;
    mutable std::size_t released_ = 0;
};

std::size_t EcgExport::samples() const {
    return derived ? derived->samples() : leads[signal::StandardLeadII].size();
}

std::size_t EcgExport::twelveLeadSamples() const {
    return derived ? derived->twelveLeadSamples() : leads[signal::StandardLeadI].size();
}

void EcgExport::copyLead(std::size_t lead, std::size_t first, std::size_t count,
                         std::int16_t* out) const {
    if (count == 0)
        return;
    if (derived)
        derived->copy(lead, first, count, out);
    else
        std::copy_n(leads[lead].data() + first, count, out);
}

EcgExport streamExport(const signal::RecordingBuffer& buffer, signal::RecordingKind kind) {
    EcgExport ecg;
    ecg.derived = std::make_shared<const DerivedLeads>(buffer, kind);
    return ecg;
}

namespace detail {

std::string interpretationStatus(const ExportInterpretation& interpretation) {
    const bool ru = interpretation.russian;
    if (!interpretation.confirmed)
        return ru ? "Неподтверждённый отчёт" : "Unconfirmed report";
    std::string out = ru ? "Подтверждено" : "Confirmed";
    if (!interpretation.physician.empty())
        out += ": " + interpretation.physician;
    if (const auto& t = interpretation.confirmedAt) {
        char at[40];
        std::snprintf(at, sizeof at, ", %02d.%02d.%04d %02d:%02d:%02d", t->day, t->month, t->year,
                      t->hour, t->minute, t->second);
        out += at;
    }
    return out;
}

} // namespace detail

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
