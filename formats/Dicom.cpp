// SPDX-License-Identifier: GPL-3.0-or-later
// DICOM ECG waveforms (12-Lead ECG, General ECG, and any other waveform object with ECG
// channels) through DCMTK's dcmdata. Channels take their lead from their source code (MDC
// "2:1"…, SCPECG "5.6.3-9-1"…, or the code meaning); samples become microvolts by
// (value + baseline) × sensitivity × correction factor in the sensitivity's unit. Of several
// multiplex groups the one with the most leads is read (a rhythm group before a median beat).
#include "formats/EcgFile.h"

#include "signal/FileIo.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmb.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dctag.h>
#include <dcmtk/dcmdata/dcvrobow.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

namespace velkard::formats {

namespace {

std::string text(DcmItem* item, const DcmTagKey& tag) {
    OFString s;
    if (item && item->findAndGetOFStringArray(tag, s).good())
        return std::string(s.c_str());
    return {};
}

std::optional<double> decimal(DcmItem* item, const DcmTagKey& tag) {
    Float64 v = 0;
    if (item && item->findAndGetFloat64(tag, v).good() && std::isfinite(v))
        return v;
    return std::nullopt;
}

DcmItem* firstItem(DcmItem* item, const DcmTagKey& tag) {
    DcmItem* out = nullptr;
    if (item && item->findAndGetSequenceItem(tag, out, 0).good())
        return out;
    return nullptr;
}

// The lead of a channel source code.
std::optional<int> leadOfCode(const std::string& scheme, const std::string& value,
                              const std::string& meaning) {
    static const std::map<int, int> kByNumber{
        {1, signal::StandardLeadI},    {2, signal::StandardLeadII},   {61, signal::StandardLeadIII},
        {62, signal::StandardLeadAVR}, {63, signal::StandardLeadAVL}, {64, signal::StandardLeadAVF},
        {3, signal::StandardLeadV1},   {4, signal::StandardLeadV2},   {5, signal::StandardLeadV3},
        {6, signal::StandardLeadV4},   {7, signal::StandardLeadV5},   {8, signal::StandardLeadV6}};
    auto byNumber = [&](const std::string& digits) -> std::optional<int> {
        if (digits.empty() || digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        const auto it = kByNumber.find(std::stoi(digits));
        return it == kByNumber.end() ? std::nullopt : std::optional<int>(it->second);
    };
    std::optional<int> lead;
    if (scheme == "MDC" && value.rfind("2:", 0) == 0)
        lead = byNumber(value.substr(2));
    else if (scheme == "MDC" && value.size() >= 6 &&
             value.find_first_not_of("0123456789") == std::string::npos) {
        const long code = std::stol(value); // MDC_ECG_LEAD_x as a 32-bit code: 2 << 16 | n
        if ((code >> 16) == 2)
            lead = byNumber(std::to_string(code & 0xFFFF));
    } else if (scheme.rfind("SCPECG", 0) == 0 && value.rfind("5.6.3-9-", 0) == 0)
        lead = byNumber(value.substr(8));
    if (!lead)
        lead = leadOfLabel(meaning);
    return lead;
}

struct Group {
    int index = 0;
    std::string label;
    double rate = 0;
    std::uint32_t samples = 0;
    int channels = 0;
    int leads = 0;
    DcmItem* item = nullptr;
};

std::string dicomDate(const std::string& d) {
    if (d.size() < 8)
        return {};
    return d.substr(6, 2) + "." + d.substr(4, 2) + "." + d.substr(0, 4);
}

std::optional<DateTime> dicomDateTime(const std::string& date, const std::string& time) {
    if (date.size() < 8 || !std::all_of(date.begin(), date.begin() + 8, ::isdigit))
        return std::nullopt;
    DateTime t{std::stoi(date.substr(0, 4)),
               std::stoi(date.substr(4, 2)),
               std::stoi(date.substr(6, 2)),
               0,
               0,
               0};
    auto two = [&](std::size_t at) {
        return time.size() >= at + 2 && ::isdigit(time[at]) && ::isdigit(time[at + 1])
                   ? std::stoi(time.substr(at, 2))
                   : 0;
    };
    t.hour = two(0);
    t.minute = two(2);
    t.second = two(4);
    return t;
}

// DCMTK allocates an element's value from the length the element claims before reading it, so a
// few crafted bytes could make it reserve gigabytes. Walks the elements (the meta group, then the
// data set in its transfer syntax, into sequences and items) and finds the first one claiming
// more bytes than the file has left. Deflated data sets are inflated by DCMTK itself and bounded
// by it; only their meta group is walked here.
std::optional<std::string> lengthBeyondTheEnd(std::span<const std::uint8_t> b) {
    std::size_t at = 0;
    if (b.size() >= 132 && std::memcmp(b.data() + 128, "DICM", 4) == 0)
        at = 132;
    auto u16 = [&](std::size_t i, bool big) {
        return big ? static_cast<unsigned>(b[i] << 8 | b[i + 1])
                   : static_cast<unsigned>(b[i] | b[i + 1] << 8);
    };
    auto u32 = [&](std::size_t i, bool big) {
        return big ? (std::uint32_t{b[i]} << 24 | std::uint32_t{b[i + 1]} << 16 |
                      std::uint32_t{b[i + 2]} << 8 | b[i + 3])
                   : (b[i] | std::uint32_t{b[i + 1]} << 8 | std::uint32_t{b[i + 2]} << 16 |
                      std::uint32_t{b[i + 3]} << 24);
    };
    auto isVr = [&](std::size_t i) {
        return i + 2 <= b.size() && b[i] >= 'A' && b[i] <= 'Z' && b[i + 1] >= 'A' &&
               b[i + 1] <= 'Z';
    };
    auto longVr = [](const std::uint8_t* v) {
        static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                            "SV", "UC", "UN", "UR", "UT", "UV"};
        return std::any_of(std::begin(kLong), std::end(kLong),
                           [&](const char* l) { return v[0] == l[0] && v[1] == l[1]; });
    };
    std::string transferSyntax;
    bool inMeta = true;
    bool explicitVr = true, big = false, fragments = false;
    if (at == 0 && !(b.size() >= 6 && u16(0, false) == 0x0002)) {
        // no meta group: DCMTK guesses the encoding as this does
        inMeta = false;
        explicitVr = isVr(4);
    }
    while (at + 8 <= b.size()) {
        if (inMeta && u16(at, false) != 0x0002) {
            inMeta = false;
            if (transferSyntax == "1.2.840.10008.1.2.1.99")
                return std::nullopt;
            explicitVr = transferSyntax != "1.2.840.10008.1.2";
            big = transferSyntax == "1.2.840.10008.1.2.2";
            if (transferSyntax.empty())
                explicitVr = isVr(at + 4);
        }
        const bool be = big && !inMeta;
        const unsigned group = u16(at, be), element = u16(at + 2, be);
        std::uint64_t length = 0;
        std::size_t header = 8;
        bool container = false;
        if (group == 0xFFFE) {
            // items and delimiters: an item's value is walked as elements
            length = u32(at + 4, be);
            container = element == 0xE000 && !fragments;
            if (element == 0xE0DD)
                fragments = false;
            if (element != 0xE000)
                length = 0;
        } else if (explicitVr || inMeta) {
            if (!isVr(at + 4)) {
                // DCMTK would guess a length from the bytes around it
                char tag[16];
                std::snprintf(tag, sizeof tag, "(%04X,%04X)", group, element);
                return std::string("element ") + tag + " has no value representation";
            }
            if (longVr(b.data() + at + 4)) {
                if (at + 12 > b.size())
                    return "an element header runs past the end of the file";
                length = u32(at + 8, be);
                header = 12;
                const bool sequence = b[at + 4] == 'S' && b[at + 5] == 'Q';
                container = sequence || length == 0xFFFFFFFFu;
                // encapsulated data: its items are fragments of bytes, not elements
                fragments = !sequence && length == 0xFFFFFFFFu;
            } else {
                length = u16(at + 6, be);
            }
        } else {
            length = u32(at + 4, be);
            container = length == 0xFFFFFFFFu ||
                        DcmTag(DcmTagKey(static_cast<Uint16>(group), static_cast<Uint16>(element)))
                                .getEVR() == EVR_SQ;
        }
        const std::size_t left = b.size() - at - header;
        if (length != 0xFFFFFFFFu && length > left) {
            char tag[16];
            std::snprintf(tag, sizeof tag, "(%04X,%04X)", group, element);
            return std::string("element ") + tag + " claims " + std::to_string(length) +
                   " bytes, the file has " + std::to_string(left) + " left";
        }
        if (inMeta && group == 0x0002 && element == 0x0010) {
            transferSyntax.assign(reinterpret_cast<const char*>(b.data() + at + header), length);
            while (!transferSyntax.empty() &&
                   (transferSyntax.back() == '\0' || transferSyntax.back() == ' '))
                transferSyntax.pop_back();
        }
        at += header + (container ? 0 : length);
    }
    return std::nullopt;
}

// The waveform annotations: each item's text (else its concept's meaning with its numeric value
// and unit, as "QRS Duration 96 ms") at its first referenced sample of the shown group, or at
// its first time offset, or at 0.
void readAnnotations(DcmItem* ds, int shownGroup, EcgFile& out) {
    DcmSequenceOfItems* items = nullptr;
    if (ds->findAndGetSequence(DCM_WaveformAnnotationSequence, items).bad() || !items)
        return;
    constexpr unsigned long kMaxAnnotations = 10000;
    const unsigned long n = std::min<unsigned long>(items->card(), kMaxAnnotations);
    if (items->card() > kMaxAnnotations)
        out.notes.push_back("waveform annotations beyond the first 10000 left out");
    for (unsigned long i = 0; i < n; ++i) {
        DcmItem* a = items->getItem(i);
        std::string what = text(a, DCM_UnformattedTextValue);
        if (what.empty()) {
            what = text(firstItem(a, DCM_ConceptNameCodeSequence), DCM_CodeMeaning);
            const std::string value = text(a, DCM_NumericValue);
            if (!what.empty() && !value.empty()) {
                what += " " + value;
                const std::string unit =
                    text(firstItem(a, DCM_MeasurementUnitsCodeSequence), DCM_CodeValue);
                if (!unit.empty())
                    what += " " + unit;
            }
        }
        if (what.empty())
            continue;
        Uint16 group = 0;
        const bool otherGroup =
            a->findAndGetUint16(DCM_ReferencedWaveformChannels, group, 0).good() &&
            group != shownGroup;
        double onset = 0;
        Uint32 position = 0;
        Float64 offset = 0;
        if (!otherGroup && a->findAndGetUint32(DCM_ReferencedSamplePositions, position, 0).good() &&
            position >= 1 && out.rate > 0)
            onset = (position - 1) / out.rate;
        else if (a->findAndGetFloat64(DCM_ReferencedTimeOffsets, offset, 0).good() &&
                 std::isfinite(offset) && offset >= 0)
            onset = offset;
        out.annotations.push_back({onset, 0, what});
    }
}

// G.711 expansion to the 16-bit linear values of the reference decoders (ITU-T G.711's tables
// shifted to 16 bits, as sox and Python's audioop give them): the scale Channel Sensitivity
// applies to.
int muLawToLinear(std::uint8_t code) {
    const int u = ~code & 0xFF;
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return (u & 0x80) ? 0x84 - t : t - 0x84;
}

int aLawToLinear(std::uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0)
        t += 8;
    else
        t = (t + 0x108) << (segment - 1);
    return (a & 0x80) ? t : -t;
}

} // namespace

EcgResult readDicom(const std::filesystem::path& path) {
    auto bytes = signal::readWholeFile(path, kMaxFileBytes);
    if (!bytes)
        return EcgResult::failure(bytes.code == ErrorCode::TooLarge ? ErrorCode::TooLarge
                                                                    : ErrorCode::CannotOpen,
                                  bytes.message);
    auto r = readDicom(std::span<const std::uint8_t>(bytes.value));
    if (!r)
        return EcgResult::failure(r.code, path.filename().string() + ": " + r.message);
    r.value.origin.insert(0, path.filename().string() + ", ");
    return r;
}

EcgResult readDicom(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 16)
        return EcgResult::failure(ErrorCode::BadData, "too short for a DICOM file");
    if (bytes.size() > kMaxFileBytes)
        return EcgResult::failure(ErrorCode::TooLarge, "larger than 2 GB");
    if (auto beyond = lengthBeyondTheEnd(bytes))
        return EcgResult::failure(ErrorCode::BadData,
                                  "not a readable DICOM file (" + *beyond + ")");
    std::vector<std::uint8_t> even(bytes.begin(), bytes.end());
    if (even.size() % 2)
        even.push_back(0);
    DcmInputBufferStream stream;
    stream.setBuffer(even.data(), static_cast<offile_off_t>(even.size()));
    stream.setEos();
    DcmFileFormat ff;
    ff.transferInit();
    OFCondition read = ff.read(stream, EXS_Unknown, EGL_noChange, DCM_MaxReadLength);
    ff.transferEnd();
    if (read.bad())
        return EcgResult::failure(ErrorCode::BadData,
                                  std::string("not a readable DICOM file (") + read.text() + ")");
    DcmDataset* ds = ff.getDataset();
    const std::string charset = text(ds, DCM_SpecificCharacterSet);
    if (!charset.empty() && charset != "ISO_IR 192" && charset != "ISO_IR 6")
        (void)ds->convertToUTF8(); // names stay as stored when no converter is there

    DcmSequenceOfItems* waveforms = nullptr;
    if (ds->findAndGetSequence(DCM_WaveformSequence, waveforms).bad() || !waveforms ||
        waveforms->card() == 0)
        return EcgResult::failure(ErrorCode::NotAnEcg, "a DICOM file without a waveform");
    if (waveforms->card() > 64)
        return EcgResult::failure(ErrorCode::BadData, "more than 64 multiplex groups");

    EcgFile out;
    out.kind = Kind::Dicom;
    std::vector<Group> groups;
    for (unsigned long g = 0; g < waveforms->card(); ++g) {
        Group G;
        G.index = static_cast<int>(g);
        G.item = waveforms->getItem(g);
        G.label = text(G.item, DCM_MultiplexGroupLabel);
        Uint16 channels = 0;
        Uint32 samples = 0;
        G.item->findAndGetUint16(DCM_NumberOfWaveformChannels, channels);
        G.item->findAndGetUint32(DCM_NumberOfWaveformSamples, samples);
        G.channels = channels;
        G.samples = samples;
        G.rate = decimal(G.item, DCM_SamplingFrequency).value_or(0);
        DcmSequenceOfItems* defs = nullptr;
        if (G.item->findAndGetSequence(DCM_ChannelDefinitionSequence, defs).good() && defs)
            for (unsigned long c = 0; c < defs->card(); ++c) {
                DcmItem* src = firstItem(defs->getItem(c), DCM_ChannelSourceSequence);
                if (leadOfCode(text(src, DCM_CodingSchemeDesignator), text(src, DCM_CodeValue),
                               text(src, DCM_CodeMeaning)))
                    ++G.leads;
            }
        groups.push_back(G);
    }
    auto median = [](const Group& g) {
        std::string l = g.label;
        std::transform(l.begin(), l.end(), l.begin(), ::toupper);
        return l.find("MEDIAN") != std::string::npos || l.find("AVERAGE") != std::string::npos ||
               l.find("REPRESENTATIVE") != std::string::npos;
    };
    auto better = [&](const Group& a, const Group& b) {
        // a rhythm group before a median beat, more leads, then more seconds
        if (median(a) != median(b))
            return !median(a);
        if (a.leads != b.leads)
            return a.leads > b.leads;
        const double sa = a.rate > 0 ? a.samples / a.rate : 0,
                     sb = b.rate > 0 ? b.samples / b.rate : 0;
        return sa > sb;
    };
    const Group best = *std::min_element(
        groups.begin(), groups.end(), [&](const Group& a, const Group& b) { return better(a, b); });
    for (const Group& g : groups)
        if (g.index != best.index)
            out.notes.push_back("multiplex group " + std::to_string(g.index + 1) + " (\"" +
                                g.label + "\", " + std::to_string(g.channels) +
                                " channels) not shown");

    const std::string where = "multiplex group " + std::to_string(best.index + 1);
    if (best.channels < 1 || best.channels > kMaxSignals)
        return EcgResult::failure(ErrorCode::BadData,
                                  where + ": the number of channels is not from 1 to 64");
    if (best.samples < 1 || std::int64_t{best.samples} * best.channels > kMaxTotalSamples)
        return EcgResult::failure(ErrorCode::TooLarge,
                                  where + ": the number of samples is 0 or too large");
    out.rate = best.rate;
    Uint16 bits = 0;
    best.item->findAndGetUint16(DCM_WaveformBitsAllocated, bits);
    const std::string interpretation = text(best.item, DCM_WaveformSampleInterpretation);
    if (!((bits == 8 && (interpretation == "SB" || interpretation == "UB" ||
                         interpretation == "MB" || interpretation == "AB")) ||
          (bits == 16 && (interpretation == "SS" || interpretation == "US")) ||
          (bits == 32 && (interpretation == "SL" || interpretation == "UL"))))
        return EcgResult::failure(ErrorCode::BadData, where + ": samples of " +
                                                          std::to_string(bits) + " bits \"" +
                                                          interpretation + "\" are not read here");
    DcmElement* data = nullptr;
    if (best.item->findAndGetElement(DCM_WaveformData, data).bad() || !data)
        return EcgResult::failure(ErrorCode::BadData, where + " has no waveform data");
    Uint8* raw = nullptr;
    if (data->getUint8Array(raw).bad() || !raw) {
        Uint16* raw16 = nullptr;
        if (data->getUint16Array(raw16).bad() || !raw16)
            return EcgResult::failure(ErrorCode::BadData,
                                      where + ": its waveform data cannot be read");
        raw = reinterpret_cast<Uint8*>(raw16);
    }
    const std::uint64_t needed = std::uint64_t{best.samples} * best.channels * (bits / 8);
    if (data->getLength() < needed)
        return EcgResult::failure(ErrorCode::BadData,
                                  where + ": its waveform data holds fewer samples than it says (" +
                                      std::to_string(data->getLength()) + " bytes, not " +
                                      std::to_string(needed) + ")");
    // OW data is held in host order by DCMTK; OB data as the file's little-endian bytes.
    const bool words = data->getVR() == EVR_OW;
    auto sampleAt = [&](std::uint64_t k) -> double {
        if (bits == 8) {
            if (interpretation == "MB")
                return muLawToLinear(raw[k]);
            if (interpretation == "AB")
                return aLawToLinear(raw[k]);
            return interpretation == "SB" ? static_cast<std::int8_t>(raw[k]) : raw[k];
        }
        if (bits == 16) {
            std::uint16_t u;
            if (words)
                std::memcpy(&u, raw + 2 * k, 2);
            else
                u = static_cast<std::uint16_t>(raw[2 * k] | (raw[2 * k + 1] << 8));
            return interpretation == "SS" ? static_cast<std::int16_t>(u) : u;
        }
        std::uint32_t u;
        if (words) {
            std::uint16_t lo, hi;
            std::memcpy(&lo, raw + 4 * k, 2);
            std::memcpy(&hi, raw + 4 * k + 2, 2);
            u = lo | (std::uint32_t{hi} << 16);
        } else {
            u = raw[4 * k] | (raw[4 * k + 1] << 8) | (raw[4 * k + 2] << 16) |
                (std::uint32_t{raw[4 * k + 3]} << 24);
        }
        return interpretation == "SL" ? static_cast<double>(static_cast<std::int32_t>(u)) : u;
    };

    DcmSequenceOfItems* defs = nullptr;
    if (best.item->findAndGetSequence(DCM_ChannelDefinitionSequence, defs).bad() || !defs ||
        static_cast<int>(defs->card()) != best.channels)
        return EcgResult::failure(
            ErrorCode::BadData, where + ": its channel definitions do not match its channel count");
    std::vector<SignalIn> signals;
    for (int c = 0; c < best.channels; ++c) {
        DcmItem* def = defs->getItem(static_cast<unsigned long>(c));
        DcmItem* src = firstItem(def, DCM_ChannelSourceSequence);
        const std::string scheme = text(src, DCM_CodingSchemeDesignator),
                          value = text(src, DCM_CodeValue), meaning = text(src, DCM_CodeMeaning);
        std::string label = text(def, DCM_ChannelLabel);
        if (label.empty())
            label = meaning.empty() ? scheme + " " + value : meaning;
        const std::string what = "channel " + std::to_string(c + 1) + " (\"" + label + "\")";
        const auto lead = leadOfCode(scheme, value, meaning);
        const auto sensitivity = decimal(def, DCM_ChannelSensitivity);
        const double correction =
            decimal(def, DCM_ChannelSensitivityCorrectionFactor).value_or(1.0);
        const double baseline = decimal(def, DCM_ChannelBaseline).value_or(0.0);
        const std::string unit =
            text(firstItem(def, DCM_ChannelSensitivityUnitsSequence), DCM_CodeValue);
        if (!lead) {
            out.notes.push_back(what + " left out: its source names no lead");
            continue;
        }
        if (!sensitivity || *sensitivity == 0 || correction == 0)
            return EcgResult::failure(ErrorCode::BadData,
                                      where + ", " + what +
                                          ": its sensitivity is missing, zero or not a number");
        const auto uv = microvoltsPerUnit(unit);
        if (!uv)
            return EcgResult::failure(ErrorCode::BadData, where + ", " + what + ": its unit \"" +
                                                              unit + "\" is no voltage");
        const double scale = *sensitivity * correction * *uv;
        SignalIn in;
        in.label = std::string(signal::kStandardLeadNames[static_cast<std::size_t>(*lead)]);
        in.microvolts.resize(best.samples);
        for (std::uint32_t t = 0; t < best.samples; ++t)
            in.microvolts[t] = (sampleAt(std::uint64_t{t} * best.channels + c) + baseline) * scale;
        signals.push_back(std::move(in));
    }
    placeSignals(std::move(signals), out);
    readAnnotations(ds, best.index + 1, out);

    std::string name = text(ds, DCM_PatientName);
    std::replace(name.begin(), name.end(), '^', ' ');
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    out.patient.name = name;
    out.patient.id = text(ds, DCM_PatientID);
    out.patient.birthDate = dicomDate(text(ds, DCM_PatientBirthDate));
    const std::string sex = text(ds, DCM_PatientSex);
    out.patient.sex = sex == "M" || sex == "F" ? sex : "";
    const std::string acq = text(ds, DCM_AcquisitionDateTime);
    out.start = acq.size() >= 8
                    ? dicomDateTime(acq.substr(0, 8), acq.substr(8))
                    : dicomDateTime(text(ds, DCM_ContentDate), text(ds, DCM_ContentTime));
    if (!out.start)
        out.start = dicomDateTime(text(ds, DCM_StudyDate), text(ds, DCM_StudyTime));
    const std::string seriesNumber = text(ds, DCM_SeriesNumber),
                      seriesDescription = text(ds, DCM_SeriesDescription);
    out.series = seriesNumber + (seriesNumber.empty() || seriesDescription.empty() ? "" : " ") +
                 seriesDescription;

    const std::string sop = text(ds, DCM_SOPClassUID);
    std::string what = sop == "1.2.840.10008.5.1.4.1.1.9.1.1"   ? "DICOM 12-lead ECG"
                       : sop == "1.2.840.10008.5.1.4.1.1.9.1.2" ? "DICOM General ECG"
                       : sop == "1.2.840.10008.5.1.4.1.1.9.1.3" ? "DICOM Ambulatory ECG"
                                                                : "DICOM waveform " + sop;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", out.rate);
    out.origin = what + ", " + where + " (\"" + best.label + "\", " +
                 std::to_string(best.channels) + " channels, " + rate + ")";
    const std::string maker = text(ds, DCM_Manufacturer),
                      model = text(ds, DCM_ManufacturerModelName);
    if (!maker.empty() || !model.empty())
        out.origin += ", made by " + (maker + " " + model);
    if (Status st = checkBounds(out, "the DICOM file"); !st)
        return EcgResult::failure(st);
    return EcgResult::success(std::move(out));
}

} // namespace velkard::formats
