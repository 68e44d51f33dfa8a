// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/Instrument.h"

#include "import/WfdbRecording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velkard::formats {

std::vector<std::uint8_t> InstrumentEcg::bytes() const {
    std::vector<std::uint8_t> out(records.size() * signal::kRecordBytes);
    for (std::size_t r = 0; r < records.size(); ++r)
        for (int c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(out.data() + r * signal::kRecordBytes + 2 * c,
                              records[r].c[static_cast<std::size_t>(c)]);
    return out;
}

std::string leadNames(const LeadSet& leads, bool present) {
    std::string out;
    for (int l = 0; l < signal::kLeadCount; ++l)
        if (leads[static_cast<std::size_t>(l)] == present) {
            if (!out.empty())
                out += ' ';
            out += signal::kStandardLeadNames[static_cast<std::size_t>(l)];
        }
    return out;
}

Result<InstrumentEcg> toInstrument(const EcgFile& file) {
    using R = Result<InstrumentEcg>;
    const double fsRounded = std::round(file.rate);
    // EDF's 8-character record duration cannot always say a rate exactly (1 / 360 s is
    // "0.0027782"): a rate within 0.05 % of whole hertz is taken as that.
    if (std::abs(file.rate - fsRounded) > 5e-4 * fsRounded || fsRounded < kMinRate ||
        fsRounded > kMaxRate)
        return R::failure(ErrorCode::BadData,
                          "a sampling rate of " + std::to_string(file.rate) +
                              " Hz cannot be resampled here (whole hertz from 50 to 20000 only)");
    InstrumentEcg out;
    if (file.rate != fsRounded)
        out.notes.push_back("the file's rate of " + std::to_string(file.rate) + " Hz taken as " +
                            std::to_string(static_cast<int>(fsRounded)) + " Hz");
    const int fs = static_cast<int>(fsRounded);
    const std::size_t length = file.samples();
    if (length == 0)
        return R::failure(ErrorCode::EmptyRecording, "the file holds no samples");
    const std::size_t n = static_cast<std::size_t>(
        (static_cast<std::int64_t>(length) * signal::kRecordsPerSecond + fs - 1) / fs);
    auto lead = [&](int l) -> std::vector<double> {
        const auto& v = file.leads[static_cast<std::size_t>(l)];
        if (v.empty())
            return {};
        std::vector<double> mv(v.size());
        for (std::size_t t = 0; t < v.size(); ++t)
            mv[t] = v[t] / 1000.0;
        auto r = velkard::import::wfdb::resample(mv, fs, signal::kRecordsPerSecond);
        r.resize(n, r.empty() ? 0.0 : r.back());
        return r;
    };
    std::vector<double> i = lead(signal::StandardLeadI), ii = lead(signal::StandardLeadII),
                        iii = lead(signal::StandardLeadIII);
    const bool allLimbLeads = velkard::import::wfdb::completeLimbLeads(i, ii, iii, n);
    if (allLimbLeads) {
        for (int l = signal::StandardLeadI; l <= signal::StandardLeadAVF; ++l)
            out.present[static_cast<std::size_t>(l)] = true;
        if (!i.empty() && file.leads[signal::StandardLeadII].size() &&
            file.leads[signal::StandardLeadIII].size())
            out.notes.push_back("lead I, aVR, aVL and aVF are derived from II and III");
    } else if (!ii.empty()) {
        out.present[signal::StandardLeadII] = true;
    } else if (!iii.empty()) {
        out.present[signal::StandardLeadIII] = true;
    } else if (!i.empty()) {
        // Lead I = c1 - c0: carried in c1 with c0 at zero; II and III then stay absent.
        ii = i;
        out.present[signal::StandardLeadI] = true;
    }
    if (!allLimbLeads)
        for (int l : {signal::StandardLeadAVR, signal::StandardLeadAVL, signal::StandardLeadAVF})
            if (!file.leads[static_cast<std::size_t>(l)].empty())
                out.notes.push_back(std::string("lead ") +
                                    signal::kStandardLeadNames[static_cast<std::size_t>(l)] +
                                    " left out: it needs two of I, II and III");
    ii.resize(n, 0.0);
    iii.resize(n, 0.0);
    std::array<std::vector<double>, 6> chest;
    for (int k = 0; k < 6; ++k) {
        chest[static_cast<std::size_t>(k)] = lead(signal::StandardLeadV1 + k);
        if (!chest[static_cast<std::size_t>(k)].empty())
            out.present[static_cast<std::size_t>(signal::StandardLeadV1 + k)] = true;
        chest[static_cast<std::size_t>(k)].resize(n, 0.0);
    }
    auto clip = [&](double units) -> std::int16_t {
        const double r = std::round(units);
        if (r > 32767 || r < -32767) {
            ++out.clipped;
            return static_cast<std::int16_t>(r > 0 ? 32767 : -32767);
        }
        return static_cast<std::int16_t>(r);
    };
    out.records.resize(n);
    for (std::size_t t = 0; t < n; ++t) {
        signal::SampleRecord& r = out.records[t];
        r.c[0] = clip(iii[t] * signal::kUnitsPerMillivolt);
        r.c[1] = clip(ii[t] * signal::kUnitsPerMillivolt);
        const std::int32_t ref = (static_cast<std::int32_t>(r.c[1]) + r.c[0]) / 3;
        for (std::size_t k = 0; k < 6; ++k)
            r.c[2 + k] = out.present[signal::StandardLeadV1 + k]
                             ? clip(ref - std::round(chest[k][t] * signal::kUnitsPerMillivolt))
                             : static_cast<std::int16_t>(0);
    }
    if (out.clipped > 0)
        out.notes.push_back(std::to_string(out.clipped) +
                            " sample value(s) beyond ±48 mV clipped to the instrument's range");
    return R::success(std::move(out));
}

std::string originLine(const EcgFile& file, const InstrumentEcg& converted,
                       const std::string& fileName) {
    std::string line = "imported from " + fileName + ": " + file.origin;
    const Patient& p = file.patient;
    if (!p.name.empty() || !p.id.empty() || !p.birthDate.empty() || !p.sex.empty())
        line += "; patient in the file: " + (p.name.empty() ? std::string("-") : p.name) + ", ID " +
                (p.id.empty() ? std::string("-") : p.id) + ", born " +
                (p.birthDate.empty() ? std::string("-") : p.birthDate) + ", sex " +
                (p.sex.empty() ? std::string("-") : p.sex);
    if (file.start) {
        char b[40];
        std::snprintf(b, sizeof b, "; recorded %04d-%02d-%02d %02d:%02d:%02d",
                      file.start->year % 10000, file.start->month % 100, file.start->day % 100,
                      file.start->hour % 100, file.start->minute % 100, file.start->second % 100);
        line += b;
    }
    const std::string absent = leadNames(converted.present, false);
    line += "; leads absent (stored as zero): " + (absent.empty() ? std::string("none") : absent);
    line += "; clipped samples: " + std::to_string(converted.clipped);
    line += "; resampled from " + std::to_string(static_cast<int>(std::round(file.rate))) +
            " Hz to 800 Hz";
    // How the file was read and placed (signals left out, gains refused, leads derived).
    std::vector<std::string> notes = file.notes;
    notes.insert(notes.end(), converted.notes.begin(), converted.notes.end());
    for (std::size_t n = 0; n < notes.size(); ++n)
        line += (n ? "; " : "; notes: ") + notes[n];
    return line;
}

} // namespace velkard::formats
