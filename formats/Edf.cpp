// SPDX-License-Identifier: GPL-3.0-or-later
// EDF, EDF+ (continuous and discontinuous), BDF and BDF+ through EDFlib. The fixed header is read
// and checked here first (sizes, counts, scales), so EDFlib only ever sees a file whose header
// holds together; the data records of a discontinuous file are placed at the onsets their
// time-keeping annotations give, the gaps between them at 0 µV with an annotation.
#include "formats/EcgFile.h"

#include <edflib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

namespace velkard::formats {

namespace {

std::string field(const std::string& h, std::size_t at, std::size_t len) {
    std::string s = h.substr(at, len);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && s[b] == ' ')
        ++b;
    return s.substr(b);
}

std::optional<double> number(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    double v = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// What the fixed header of an EDF or BDF file says, checked against the file's size.
struct EdfLayout {
    int signals = 0;
    std::int64_t records = 0;
    double recordSeconds = 0;
    std::vector<int> perRecord; // samples of each signal in one data record
    std::vector<std::string> labels;
    std::vector<std::string> units;
    std::vector<double> physMin, physMax, digMin, digMax;
    std::int64_t headerBytes = 0;
    std::int64_t recordBytes = 0;
    int bytesPerSample = 2;
    bool discontinuous = false;
};

Result<EdfLayout> readLayout(const std::filesystem::path& path, bool bdf) {
    using R = Result<EdfLayout>;
    const std::string name = path.filename().string();
    std::ifstream in(path, std::ios::binary);
    std::string h(256, '\0');
    if (!in.read(h.data(), 256))
        return R::failure(ErrorCode::BadData, name + " is shorter than an EDF header");
    EdfLayout L;
    L.bytesPerSample = bdf ? 3 : 2;
    const auto ns = number(field(h, 252, 4));
    const auto headerBytes = number(field(h, 184, 8));
    const auto records = number(field(h, 236, 8));
    const auto seconds = number(field(h, 244, 8));
    if (!ns || *ns < 1 || *ns > kMaxSignals + 8 || std::floor(*ns) != *ns)
        return R::failure(ErrorCode::BadData, name + ": the number of signals is not from 1 to " +
                                                  std::to_string(kMaxSignals + 8));
    L.signals = static_cast<int>(*ns);
    if (!headerBytes || *headerBytes != 256.0 * (L.signals + 1))
        return R::failure(ErrorCode::BadData,
                          name + ": the header size does not fit its number of signals");
    if (!records || *records < 1 || *records > 1e8)
        return R::failure(ErrorCode::BadData,
                          name + ": the number of data records is missing or wrong");
    if (!seconds || *seconds < 0 || *seconds > 3600)
        return R::failure(ErrorCode::BadData, name + ": the data record duration is wrong");
    L.records = static_cast<std::int64_t>(*records);
    L.recordSeconds = *seconds;
    L.headerBytes = static_cast<std::int64_t>(*headerBytes);
    const std::string reserved = field(h, 192, 44);
    L.discontinuous = reserved.rfind("EDF+D", 0) == 0 || reserved.rfind("BDF+D", 0) == 0;
    std::string s(static_cast<std::size_t>(256 * L.signals), '\0');
    if (!in.read(s.data(), static_cast<std::streamsize>(s.size())))
        return R::failure(ErrorCode::BadData, name + " is shorter than its signal headers");
    const std::size_t n = static_cast<std::size_t>(L.signals);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string label = field(s, 16 * k, 16);
        L.labels.push_back(label);
        const auto pmin = number(field(s, 104 * n + 8 * k, 8));
        const auto pmax = number(field(s, 112 * n + 8 * k, 8));
        const auto dmin = number(field(s, 120 * n + 8 * k, 8));
        const auto dmax = number(field(s, 128 * n + 8 * k, 8));
        const auto spr = number(field(s, 216 * n + 8 * k, 8));
        const std::string what =
            name + ": signal " + std::to_string(k + 1) + " (\"" + label + "\")";
        if (!pmin || !pmax || *pmin == *pmax)
            return R::failure(
                ErrorCode::BadData,
                what + " has no usable physical range (its gain is not a number or zero)");
        if (!dmin || !dmax || *dmin >= *dmax)
            return R::failure(ErrorCode::BadData, what + " has no usable digital range");
        if (!spr || *spr < 1 || *spr > 1e6 || std::floor(*spr) != *spr)
            return R::failure(ErrorCode::BadData, what + ": its samples per record are wrong");
        L.perRecord.push_back(static_cast<int>(*spr));
        L.units.push_back(field(s, 96 * n + 8 * k, 8));
        L.physMin.push_back(*pmin);
        L.physMax.push_back(*pmax);
        L.digMin.push_back(*dmin);
        L.digMax.push_back(*dmax);
        L.recordBytes += static_cast<std::int64_t>(*spr) * L.bytesPerSample;
    }
    std::error_code ec;
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path, ec));
    if (ec || L.recordBytes * L.records > size - L.headerBytes)
        return R::failure(ErrorCode::BadData, name + " is shorter than its " +
                                                  std::to_string(L.records) + " data records");
    return R::success(std::move(L));
}

std::string spaced(std::string s) {
    std::replace(s.begin(), s.end(), '_', ' ');
    return s;
}

struct EdfHandle {
    int handle = -1;
    ~EdfHandle() {
        if (handle >= 0)
            edfclose_file(handle);
    }
};

// The EDF+ patient field "code sex birthdate name" (subfields split at blanks, "X" unknown).
void readPatientField(const std::string& field, Patient& patient) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at < field.size()) {
        const std::size_t end = std::min(field.find(' ', at), field.size());
        if (end > at)
            parts.push_back(field.substr(at, end - at));
        at = end + 1;
    }
    if (parts.size() < 4 || (parts[1] != "M" && parts[1] != "F" && parts[1] != "X")) {
        if (!field.empty() && field != "X")
            patient.name = field;
        return;
    }
    auto known = [](const std::string& s) { return s == "X" ? std::string() : spaced(s); };
    patient.id = known(parts[0]);
    patient.sex = parts[1] == "X" ? "" : parts[1];
    static const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const std::string& b = parts[2];
    if (b.size() == 11 && b[2] == '-' && b[6] == '-') {
        std::string mon = b.substr(3, 3);
        for (char& c : mon)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (int m = 0; m < 12; ++m)
            if (mon == kMonths[m] && number(b.substr(0, 2)) && number(b.substr(7, 4))) {
                char d[16];
                std::snprintf(d, sizeof d, "%s.%02d.%s", b.substr(0, 2).c_str(), m + 1,
                              b.substr(7, 4).c_str());
                patient.birthDate = d;
            }
    }
    std::string name;
    for (std::size_t k = 3; k < parts.size(); ++k)
        name += (name.empty() ? "" : " ") + known(parts[k]);
    patient.name = name;
}

// The annotations of one data record's annotation signal: TALs "+onset[\x15duration]\x14text\x14",
// each ended by a zero byte. The first TAL of a record keeps its time (no text). Returns the
// record's onset.
std::optional<double> readTals(const std::string& bytes, std::vector<Annotation>& out) {
    std::optional<double> recordOnset;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = std::min(bytes.find('\0', at), bytes.size());
        const std::string tal = bytes.substr(at, end - at);
        at = end + 1;
        if (tal.empty())
            continue;
        const std::size_t stop = tal.find('\x14');
        if (stop == std::string::npos)
            continue;
        std::string time = tal.substr(0, stop);
        double duration = 0;
        if (const std::size_t d = time.find('\x15'); d != std::string::npos) {
            duration = number(time.substr(d + 1)).value_or(0);
            time = time.substr(0, d);
        }
        const auto onset = number(!time.empty() && time.front() == '+' ? time.substr(1) : time);
        if (!onset)
            continue;
        if (!recordOnset)
            recordOnset = *onset;
        std::size_t t = stop + 1;
        while (t < tal.size()) {
            const std::size_t e = std::min(tal.find('\x14', t), tal.size());
            if (e > t)
                out.push_back({*onset, duration, tal.substr(t, e - t)});
            t = e + 1;
        }
    }
    return recordOnset;
}

// EDF and BDF read here, sample by sample, where EDFlib does not: discontinuous EDF+D/BDF+D
// (placed at their records' onsets, the gaps at 0 µV and annotated), and files marked EDF+
// without an annotation signal (as BioSig's save2gdf writes them), read as plain EDF.
EcgResult readOwn(const std::filesystem::path& path, const EdfLayout& L, bool bdf) {
    const std::string name = path.filename().string();
    std::ifstream in(path, std::ios::binary);
    std::string h(256, '\0');
    in.read(h.data(), 256);
    EcgFile out;
    out.kind = bdf ? Kind::Bdf : Kind::Edf;
    if (L.recordSeconds <= 0)
        return EcgResult::failure(ErrorCode::BadData, name + ": its data records last no time");
    int pick = -1, annotation = -1;
    for (int s = 0; s < L.signals; ++s) {
        const std::string& l = L.labels[static_cast<std::size_t>(s)];
        if (l == "EDF Annotations" || l == "BDF Annotations") {
            if (annotation < 0)
                annotation = s;
            continue;
        }
        if (microvoltsPerUnit(L.units[static_cast<std::size_t>(s)]) &&
            (pick < 0 ||
             (leadOfLabel(l) && !leadOfLabel(L.labels[static_cast<std::size_t>(pick)]))))
            pick = s;
    }
    if (pick < 0)
        return EcgResult::failure(ErrorCode::NotAnEcg, name + " holds no signal in volts");
    if (L.discontinuous && annotation < 0)
        return EcgResult::failure(ErrorCode::BadData,
                                  name + " is discontinuous but has no annotation signal");
    const int perRecord = L.perRecord[static_cast<std::size_t>(pick)];
    out.rate = perRecord / L.recordSeconds;
    std::vector<std::int64_t> offset;
    std::int64_t at = 0;
    for (int s = 0; s < L.signals; ++s) {
        offset.push_back(at);
        at += std::int64_t{L.perRecord[static_cast<std::size_t>(s)]} * L.bytesPerSample;
    }
    // Every record first: the onsets decide how long the leads are.
    std::vector<std::uint8_t> data(static_cast<std::size_t>(L.recordBytes * L.records));
    in.seekg(L.headerBytes);
    if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
        return EcgResult::failure(ErrorCode::CannotRead,
                                  name + ": its data records cannot be read");
    std::vector<double> onsets;
    for (std::int64_t r = 0; r < L.records && annotation >= 0; ++r) {
        const auto* p =
            data.data() + r * L.recordBytes + offset[static_cast<std::size_t>(annotation)];
        const std::string tal(
            reinterpret_cast<const char*>(p),
            static_cast<std::size_t>(L.perRecord[static_cast<std::size_t>(annotation)] *
                                     L.bytesPerSample));
        const auto onset = readTals(tal, out.annotations);
        if (L.discontinuous && (!onset || *onset < 0 || *onset > kMaxSeconds))
            return EcgResult::failure(ErrorCode::BadData, name + ": data record " +
                                                              std::to_string(r + 1) +
                                                              " has no time-keeping annotation");
        onsets.push_back(onset.value_or(static_cast<double>(r) * L.recordSeconds));
    }
    std::int64_t total = L.records * perRecord;
    if (L.discontinuous)
        for (std::int64_t r = 0; r < L.records; ++r)
            total = std::max<std::int64_t>(
                total, std::llround(onsets[static_cast<std::size_t>(r)] * out.rate) + perRecord);
    if (static_cast<double>(total) / out.rate > kMaxSeconds || total * L.signals > kMaxTotalSamples)
        return EcgResult::failure(ErrorCode::TooLarge,
                                  name + " is longer than the 4 hours read here");
    std::vector<SignalIn> signals;
    std::vector<int> used;
    for (int s = 0; s < L.signals; ++s) {
        const auto k = static_cast<std::size_t>(s);
        if (s == annotation || L.labels[k] == "EDF Annotations" || L.labels[k] == "BDF Annotations")
            continue;
        if (!microvoltsPerUnit(L.units[k])) {
            out.notes.push_back("signal \"" + L.labels[k] + "\" left out: its unit \"" +
                                L.units[k] + "\" is no voltage");
            continue;
        }
        if (L.perRecord[k] != perRecord) {
            out.notes.push_back("signal \"" + L.labels[k] + "\" left out: another rate");
            continue;
        }
        used.push_back(s);
        signals.push_back({L.labels[k], std::vector<double>(static_cast<std::size_t>(total), 0.0)});
    }
    for (std::int64_t r = 0; r < L.records; ++r) {
        const std::int64_t first =
            L.discontinuous ? std::llround(onsets[static_cast<std::size_t>(r)] * out.rate)
                            : r * perRecord;
        for (std::size_t u = 0; u < used.size(); ++u) {
            const auto k = static_cast<std::size_t>(used[u]);
            const double gain = (L.physMax[k] - L.physMin[k]) / (L.digMax[k] - L.digMin[k]);
            const double uv = *microvoltsPerUnit(L.units[k]);
            const std::uint8_t* p = data.data() + r * L.recordBytes + offset[k];
            for (int t = 0; t < perRecord && first + t < total; ++t) {
                std::int32_t d;
                if (bdf) {
                    const std::uint8_t* q = p + 3 * t;
                    d = q[0] | (q[1] << 8) | (q[2] << 16);
                    if (d & 0x800000)
                        d -= 0x1000000;
                } else {
                    d = static_cast<std::int16_t>(p[2 * t] | (p[2 * t + 1] << 8));
                }
                signals[u].microvolts[static_cast<std::size_t>(first + t)] =
                    (L.physMin[k] + (d - L.digMin[k]) * gain) * uv;
            }
        }
    }
    placeSignals(std::move(signals), out);
    if (L.discontinuous) {
        double expected = 0;
        int gaps = 0;
        for (double onset : onsets) {
            if (onset > expected + 0.5 / out.rate) {
                out.annotations.push_back({expected, onset - expected, "gap (no data)"});
                ++gaps;
            }
            expected = onset + L.recordSeconds;
        }
        if (gaps > 0)
            out.notes.push_back(std::to_string(gaps) +
                                " gap(s) between data records shown at 0 µV");
    }
    std::sort(
        out.annotations.begin(), out.annotations.end(),
        [](const Annotation& a, const Annotation& b) { return a.onsetSeconds < b.onsetSeconds; });
    readPatientField(field(h, 8, 80), out.patient);
    // dd.mm.yy and hh.mm.ss; a field cut short (a NUL inside it) gives no date or a time of 0.
    const std::string date = field(h, 168, 8), time = field(h, 176, 8);
    const auto part = [](const std::string& s, std::size_t at) {
        return s.size() >= at + 2 ? number(s.substr(at, 2)) : std::nullopt;
    };
    const auto dd = part(date, 0), mm = part(date, 3), yy = part(date, 6);
    if (dd && mm && yy)
        out.start = DateTime{static_cast<int>(*yy) + (*yy < 85 ? 2000 : 1900),
                             static_cast<int>(*mm),
                             static_cast<int>(*dd),
                             static_cast<int>(part(time, 0).value_or(0)),
                             static_cast<int>(part(time, 3).value_or(0)),
                             static_cast<int>(part(time, 6).value_or(0))};
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", out.rate);
    const std::string marked = field(h, 192, 5);
    out.origin = (L.discontinuous ? marked : std::string(bdf ? "BDF" : "EDF")) + " file " + name;
    if (!L.discontinuous && marked.rfind("EDF+", 0) == 0)
        out.origin += " (marked " + marked + " without an annotation signal, read as plain EDF)";
    out.origin += ", " + std::to_string(L.signals) + " signal(s), " + rate;
    const std::string recording = field(h, 88, 80);
    if (!recording.empty())
        out.origin += ", recording \"" + recording + "\"";
    if (Status st = checkBounds(out, name); !st)
        return EcgResult::failure(st);
    return EcgResult::success(std::move(out));
}

} // namespace

EcgResult readEdf(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    std::ifstream probe(path, std::ios::binary);
    char first = 0;
    probe.get(first);
    const bool bdf = static_cast<unsigned char>(first) == 0xFF;
    auto layout = readLayout(path, bdf);
    if (!layout)
        return EcgResult::failure(layout);
    const EdfLayout& L = layout.value;

    if (L.discontinuous) // EDFlib refuses EDF+D
        return readOwn(path, L, bdf);
    auto hdr = std::make_unique<edf_hdr_struct>();
    EdfHandle h;
    if (edfopen_file_readonly(path.c_str(), hdr.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        const bool annotations =
            std::find_if(L.labels.begin(), L.labels.end(), [](const std::string& l) {
                return l == "EDF Annotations" || l == "BDF Annotations";
            }) != L.labels.end();
        if (!annotations)
            return readOwn(path, L, bdf);
        return EcgResult::failure(ErrorCode::BadData,
                                  name + " is not a readable EDF/BDF file (EDFlib error " +
                                      std::to_string(hdr->filetype) + ")");
    }
    h.handle = hdr->handle;

    EcgFile out;
    out.kind = bdf ? Kind::Bdf : Kind::Edf;
    const bool plus =
        hdr->filetype == EDFLIB_FILETYPE_EDFPLUS || hdr->filetype == EDFLIB_FILETYPE_BDFPLUS;
    if (hdr->datarecord_duration <= 0)
        return EcgResult::failure(ErrorCode::BadData, name + ": its data records last no time");
    const double recordSeconds =
        static_cast<double>(hdr->datarecord_duration) / EDFLIB_TIME_DIMENSION;

    // The rate of the ECG: that of the first voltage signal naming a lead (else the first
    // voltage signal); signals at other rates and of other units are left out.
    std::vector<int> voltage;
    for (int s = 0; s < hdr->edfsignals; ++s)
        if (microvoltsPerUnit(hdr->signalparam[s].physdimension))
            voltage.push_back(s);
        else
            out.notes.push_back(std::string("signal \"") + hdr->signalparam[s].label +
                                "\" left out: its unit \"" + hdr->signalparam[s].physdimension +
                                "\" is no voltage");
    if (voltage.empty())
        return EcgResult::failure(ErrorCode::NotAnEcg, name + " holds no signal in volts");
    int pick = voltage.front();
    for (int s : voltage)
        if (leadOfLabel(hdr->signalparam[s].label)) {
            pick = s;
            break;
        }
    const int perRecord = hdr->signalparam[pick].smp_in_datarecord;
    out.rate = perRecord / recordSeconds;

    const std::int64_t records = hdr->datarecords_in_file;
    const std::int64_t total = records * perRecord;
    if (total <= 0 || static_cast<double>(total) / out.rate > kMaxSeconds ||
        total * static_cast<std::int64_t>(voltage.size()) > kMaxTotalSamples)
        return EcgResult::failure(ErrorCode::TooLarge,
                                  name + " is longer than the 4 hours read here");

    std::vector<SignalIn> signals;
    std::vector<double> buf(static_cast<std::size_t>(perRecord));
    for (int s : voltage) {
        const edf_param_struct& p = hdr->signalparam[s];
        if (p.smp_in_datarecord != perRecord) {
            out.notes.push_back(std::string("signal \"") + p.label + "\" left out: " +
                                std::to_string(p.smp_in_datarecord / recordSeconds) +
                                " Hz, not the ECG's " + std::to_string(out.rate) + " Hz");
            continue;
        }
        const double scale = *microvoltsPerUnit(p.physdimension);
        SignalIn in{field(p.label, 0, sizeof p.label),
                    std::vector<double>(static_cast<std::size_t>(total), 0.0)};
        edfseek(h.handle, s, 0, EDFSEEK_SET);
        for (std::int64_t r = 0; r < records; ++r) {
            if (edfread_physical_samples(h.handle, s, perRecord, buf.data()) != perRecord)
                return EcgResult::failure(ErrorCode::CannotRead,
                                          name + ": signal \"" + p.label + "\" cannot be read");
            const std::int64_t at = r * perRecord;
            for (int k = 0; k < perRecord && at + k < total; ++k)
                in.microvolts[static_cast<std::size_t>(at + k)] =
                    buf[static_cast<std::size_t>(k)] * scale;
        }
        signals.push_back(std::move(in));
    }
    placeSignals(std::move(signals), out);

    for (long long a = 0; a < hdr->annotations_in_file; ++a) {
        edf_annotation_struct an{};
        if (edf_get_annotation(h.handle, static_cast<int>(a), &an) != 0)
            break;
        if (an.annotation[0] == '\0')
            continue;
        out.annotations.push_back(
            {static_cast<double>(an.onset) / EDFLIB_TIME_DIMENSION,
             an.duration_l > 0 ? static_cast<double>(an.duration_l) / EDFLIB_TIME_DIMENSION : 0.0,
             an.annotation});
    }
    std::sort(
        out.annotations.begin(), out.annotations.end(),
        [](const Annotation& a, const Annotation& b) { return a.onsetSeconds < b.onsetSeconds; });

    if (plus) {
        out.patient.name = spaced(hdr->patient_name);
        out.patient.id = spaced(hdr->patientcode);
        const std::string g = hdr->gender;
        out.patient.sex = g.rfind("M", 0) == 0 ? "M" : g.rfind("F", 0) == 0 ? "F" : "";
        if (hdr->birthdate_year > 0 && hdr->birthdate_month > 0 && hdr->birthdate_day > 0) {
            char b[16];
            std::snprintf(b, sizeof b, "%02d.%02d.%04d", hdr->birthdate_day % 100,
                          hdr->birthdate_month % 100, hdr->birthdate_year % 10000);
            out.patient.birthDate = b;
        }
    } else {
        readPatientField(field(hdr->patient, 0, sizeof hdr->patient), out.patient);
    }
    if (hdr->startdate_year > 0)
        out.start = DateTime{hdr->startdate_year, hdr->startdate_month,  hdr->startdate_day,
                             hdr->starttime_hour, hdr->starttime_minute, hdr->starttime_second};

    std::string type = bdf ? "BDF" : "EDF";
    if (plus)
        type += "+C";
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", out.rate);
    out.origin =
        type + " file " + name + ", " + std::to_string(hdr->edfsignals) + " signal(s), " + rate;
    if (plus && hdr->equipment[0] != '\0')
        out.origin += ", equipment " + spaced(hdr->equipment);
    if (!plus && hdr->recording[0] != '\0')
        out.origin += ", recording \"" + std::string(hdr->recording) + "\"";
    if (Status st = checkBounds(out, name); !st)
        return EcgResult::failure(st);
    return EcgResult::success(std::move(out));
}

} // namespace velkard::formats
