// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/EcgExport.h"

#include "signal/FileIo.h"

#include <algorithm>
#include <cstdio>

#include <sys/mman.h>

namespace velkard::exporting {

namespace {

constexpr std::size_t kPageBytes = 4096;
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

} // namespace velkard::exporting
