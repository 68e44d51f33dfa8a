// SPDX-License-Identifier: GPL-3.0-or-later
// SCP-ECG, HL7 aECG and GDF through BioSig (sopen/sread). BioSig trusts what a file says, so the
// file is checked here first: an SCP-ECG file's length field and CRC must hold, an aECG document
// must be of a size its parser can take, and the channel and sample counts BioSig reports must be
// within bounds before a single sample is read.
#include "formats/EcgFile.h"

#include "signal/FileIo.h"

#include <biosig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace velkard::formats {

namespace {

constexpr std::uint64_t kMaxXmlBytes = 512ULL << 20;

std::uint16_t crcCcitt(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<std::uint16_t>(p[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

// The frame of an SCP-ECG file: its length field, CRC and the pointer table of section 0, each
// pointing inside the file.
Status checkScp(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    auto bytes = signal::readWholeFile(path, 64ULL << 20);
    if (!bytes)
        return Status::failure(bytes.code, bytes.message);
    const auto& b = bytes.value;
    if (b.size() < 22 + 10)
        return Status::failure(ErrorCode::BadData, name + " is too short for an SCP-ECG file");
    if (le32(&b[2]) != b.size())
        return Status::failure(ErrorCode::BadData, name + ": its length field (" +
                                                       std::to_string(le32(&b[2])) +
                                                       " bytes) does not match the file (" +
                                                       std::to_string(b.size()) + " bytes)");
    const std::uint16_t crc = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    if (crc != crcCcitt(b.data() + 2, b.size() - 2))
        return Status::failure(ErrorCode::BadData, name + ": its CRC does not match its bytes");
    const std::uint32_t s0 = le32(&b[6 + 4]);
    if (s0 < 16 + 10 || 6 + std::uint64_t{s0} > b.size())
        return Status::failure(ErrorCode::BadData, name + ": its section 0 does not fit the file");
    for (std::uint32_t at = 6 + 16; at + 10 <= 6 + s0; at += 10) {
        const std::uint32_t len = le32(&b[at + 2]), index = le32(&b[at + 6]);
        if (len > 0 && (index < 1 || std::uint64_t{index} - 1 + len > b.size()))
            return Status::failure(ErrorCode::BadData,
                                   name + ": section " + std::to_string(b[at] | (b[at + 1] << 8)) +
                                       " lies outside the file");
    }
    return Status::success();
}

struct Closer {
    void operator()(HDRTYPE* h) const {
        sclose(h);
        destructHDR(h);
    }
};

std::string dateOf(const std::tm& t) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d.%02d.%04d", t.tm_mday % 100, (t.tm_mon + 1) % 100,
                  (t.tm_year + 1900) % 10000);
    return b;
}

} // namespace

EcgResult readBioSig(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const auto kind = detectKind(path);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return EcgResult::failure(ErrorCode::CannotOpen, name + " cannot be read");
    if (kind == Kind::Scp) {
        if (Status st = checkScp(path); !st)
            return EcgResult::failure(st);
    } else if (kind == Kind::Aecg && size > kMaxXmlBytes) {
        return EcgResult::failure(ErrorCode::TooLarge, name + " is an aECG document above 512 MB");
    }

    std::unique_ptr<HDRTYPE, Closer> hdr(constructHDR(0, 0));
    hdr->FLAG.ANONYMOUS = 0; // the patient's name is read: it is offered for the card
    HDRTYPE* opened = sopen(path.c_str(), "r", hdr.get());
    if (!opened || serror2(hdr.get())) {
        const char* why = hdr->AS.B4C_ERRMSG;
        return EcgResult::failure(ErrorCode::BadData,
                                  name + " cannot be read by BioSig" +
                                      (why ? std::string(": ") + why : std::string()));
    }
    EcgFile out;
    const auto type = biosig_get_filetype(hdr.get());
    out.kind = type == SCP_ECG   ? Kind::Scp
               : type == HL7aECG ? Kind::Aecg
               : type == GDF     ? Kind::Gdf
                                 : kind.value_or(Kind::Gdf);
    const long ns = biosig_get_number_of_channels(hdr.get());
    const std::size_t samples = biosig_get_number_of_samples(hdr.get());
    out.rate = biosig_get_samplerate(hdr.get());
    if (ns < 1 || ns > kMaxSignals)
        return EcgResult::failure(ErrorCode::BadData,
                                  name + ": the number of channels is not from 1 to 64");
    if (samples == 0)
        return EcgResult::failure(ErrorCode::EmptyRecording, name + " holds no samples");
    if (!std::isfinite(out.rate) || out.rate < kMinRate || out.rate > kMaxRate)
        return EcgResult::failure(ErrorCode::BadData,
                                  name + ": its sampling rate is not from 50 to 20000 Hz");
    if (static_cast<double>(samples) * static_cast<double>(ns) >
            static_cast<double>(kMaxTotalSamples) ||
        static_cast<double>(samples) / out.rate > kMaxSeconds)
        return EcgResult::failure(ErrorCode::TooLarge,
                                  name + " is longer than the 4 hours read here");

    std::vector<std::string> labels;
    std::vector<double> scale;
    for (long c = 0; c < ns; ++c) {
        CHANNEL_TYPE* ch = biosig_get_channel(hdr.get(), static_cast<int>(c));
        const char* label = biosig_channel_get_label(ch);
        const char* unit = biosig_channel_get_physdim(ch);
        labels.emplace_back(label ? label : "");
        // SCP-ECG names its leads by lead ID only (1 I, 2 II, 61..64 III..aVF, 3..8 V1..V6).
        if (!leadOfLabel(labels.back())) {
            static const std::pair<int, const char*> kScpLeads[] = {
                {1, "I"},  {2, "II"}, {61, "III"}, {62, "aVR"}, {63, "aVL"}, {64, "aVF"},
                {3, "V1"}, {4, "V2"}, {5, "V3"},   {6, "V4"},   {7, "V5"},   {8, "V6"}};
            for (const auto& [id, lead] : kScpLeads)
                if (ch->LeadIdCode == id)
                    labels.back() = lead;
        }
        const auto uv = microvoltsPerUnit(unit ? unit : "");
        const double cal = ch->Cal;
        if (!std::isfinite(cal) || cal == 0)
            return EcgResult::failure(ErrorCode::BadData,
                                      name + ": channel \"" + labels.back() +
                                          "\" has a gain that is zero or not a number");
        if (!uv)
            out.notes.push_back("channel \"" + labels.back() + "\" left out: its unit \"" +
                                (unit ? unit : "") + "\" is no voltage");
        scale.push_back(uv.value_or(0));
    }
    hdr->FLAG.ROW_BASED_CHANNELS = 0;
    hdr->FLAG.OVERFLOWDETECTION = 0;
    hdr->FLAG.UCAL = 0;
    const std::size_t records = biosig_get_number_of_records(hdr.get());
    const std::size_t got = sread(nullptr, 0, records, hdr.get());
    biosig_data_type* data = nullptr;
    std::size_t rows = 0, columns = 0;
    if (got == 0 || biosig_get_datablock(hdr.get(), &data, &rows, &columns) != 0 || !data ||
        columns != static_cast<std::size_t>(ns) || rows == 0)
        return EcgResult::failure(ErrorCode::CannotRead, name + ": BioSig read no samples");
    // Each channel's column is `rows` long (the data block's height); the file's own length may
    // be shorter.
    const std::size_t n = std::min(rows, samples);
    std::vector<SignalIn> signals;
    for (long c = 0; c < ns; ++c) {
        if (scale[static_cast<std::size_t>(c)] == 0)
            continue;
        SignalIn in{labels[static_cast<std::size_t>(c)], std::vector<double>(n)};
        const biosig_data_type* col = data + static_cast<std::size_t>(c) * rows;
        for (std::size_t t = 0; t < n; ++t)
            in.microvolts[t] = col[t] * scale[static_cast<std::size_t>(c)];
        signals.push_back(std::move(in));
    }
    placeSignals(std::move(signals), out);

    const std::size_t events = biosig_get_number_of_events(hdr.get());
    const double eventRate = biosig_get_eventtable_samplerate(hdr.get());
    for (std::size_t e = 0; e < events && e < 100000 && eventRate > 0; ++e) {
        uint16_t typ = 0, chn = 0;
        uint32_t pos = 0, dur = 0;
        const char* desc = nullptr;
        if (biosig_get_nth_event(hdr.get(), e, &typ, &pos, &chn, &dur, nullptr, &desc) != 0)
            continue;
        char code[24];
        std::snprintf(code, sizeof code, "event 0x%04x", typ);
        out.annotations.push_back({pos / eventRate, dur / eventRate, desc && *desc ? desc : code});
    }

    if (const char* n = biosig_get_patient_name(hdr.get())) {
        std::string s = n;
        std::replace(s.begin(), s.end(), '\x1f', ' '); // BioSig's separator of name parts
        out.patient.name = s;
    }
    if (const char* id = biosig_get_patient_id(hdr.get()))
        out.patient.id = id;
    out.patient.sex = hdr->Patient.Sex == 1 ? "M" : hdr->Patient.Sex == 2 ? "F" : "";
    std::tm t{};
    if (hdr->Patient.Birthday != 0 && biosig_get_birthdate(hdr.get(), &t) == 0 && t.tm_year > -1800)
        out.patient.birthDate = dateOf(t);
    std::tm s{};
    if (hdr->T0 != 0 && biosig_get_startdatetime(hdr.get(), &s) == 0)
        out.start =
            DateTime{s.tm_year + 1900, s.tm_mon + 1, s.tm_mday, s.tm_hour, s.tm_min, s.tm_sec};

    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", out.rate);
    out.origin = std::string(kindName(out.kind)) + " file " + name + " (read by BioSig), " +
                 std::to_string(ns) + " channel(s), " + rate;
    if (const char* maker = biosig_get_manufacturer_name(hdr.get()); maker && *maker)
        out.origin += ", made by " + std::string(maker);
    if (Status st = checkBounds(out, name); !st)
        return EcgResult::failure(st);
    return EcgResult::success(std::move(out));
}

} // namespace velkard::formats
