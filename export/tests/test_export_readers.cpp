// SPDX-License-Identifier: GPL-3.0-or-later
// Exported files read back by readers no one here wrote: BioSig's save2gdf (EDF+, SCP-ECG,
// HL7 aECG), dicom3tools' dciodvfy and DCMTK's dcmdump (DICOM). Every sample of every lead must
// come back within 3 µV of the instrument value, with the labels, the rate and the patient.
#include "export/Export.h"
#include "export/tests/Readers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <span>
#include <sstream>

namespace velkard::exporting::test {
namespace {

namespace fs = std::filesystem;

class ExportReaders : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velkard-export-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A recording of `records` samples with a Cyrillic patient and a known date.
    EcgExport ecgWithPatient(const signal::RecordingBuffer& buffer,
                             signal::RecordingKind kind = signal::RecordingKind::Plain) {
        EcgExport ecg = deriveExport(buffer, kind);
        ecg.patient = Patient{"Жукова Юлия Сергеевна", "6b16d54a", "12.04.1961", "Жен"};
        ecg.recordedAt = DateTime{2024, 6, 2, 18, 47, 9};
        return ecg;
    }

    fs::path dir_;
};

const std::vector<std::string> kBioSigLabels{"I",  "II", "III", "aVR", "aVL", "aVF",
                                             "V1", "V2", "V3",  "V4",  "V5",  "V6"};

std::vector<std::string> prefixed(const std::string& prefix, const std::string& suffix) {
    std::vector<std::string> out;
    for (const auto& l : kBioSigLabels)
        out.push_back(prefix + l + suffix);
    return out;
}

// The recording's start as BioSig prints it (its time base may land a few µs early).
bool startsAt(const std::string& json) {
    const auto t = jsonValues(json, "StartOfRecording");
    return !t.empty() && (t[0].rfind("2024-06-02 18:47:09", 0) == 0 ||
                          t[0].rfind("2024-06-02 18:47:08.99", 0) == 0);
}

std::vector<std::string> firstTwelve(const std::vector<std::string>& v) {
    return {v.begin(), v.begin() + std::min<std::size_t>(12, v.size())};
}

// Header and samples through save2gdf; `labelPrefix` is what the format puts before the name.
void expectBioSigReadsBack(const fs::path& file, const signal::RecordingBuffer& buffer,
                           const std::string& labelPrefix) {
    const std::size_t n = buffer.records();
    const BioSigHeader h = bioSigHeader(file);
    EXPECT_EQ(firstTwelve(h.labels), prefixed(labelPrefix, "")) << h.json;
    ASSERT_GE(h.rates.size(), 13u) << h.json; // the file's rate, then one per channel
    for (std::size_t c = 0; c < 13; ++c)
        EXPECT_EQ(h.rates[c], 800.0) << "rate " << c;
    EXPECT_EQ(h.samples, static_cast<long long>(n));

    std::vector<std::string> columns;
    const auto read = bioSigSamples(file, columns);
    EXPECT_EQ(firstTwelve(columns), prefixed("\"" + labelPrefix, " [uV]\""));
    EXPECT_LE(worstMicrovolts(read, expectedLeads(buffer, n)), 3.0);
}

TEST_F(ExportReaders, EdfReadsBackInBioSigWithTransliteratedName) {
    if (!requireTool("save2gdf", "biosig-tools"))
        return;
    const auto buffer = syntheticRecording(12 * 800);
    const fs::path file = dir_ / "ecg.edf";
    ASSERT_TRUE(writeExport(ecgWithPatient(buffer), Format::Edf, file).ok());
    expectBioSigReadsBack(file, buffer, "ECG ");

    const BioSigHeader named = bioSigHeader(file, true);
    EXPECT_NE(named.json.find("\"Zhukova_Iuliia_Sergeevna\""), std::string::npos) << named.json;
    EXPECT_NE(named.json.find("\"Id\"\t: \"6b16d54a\""), std::string::npos);
    EXPECT_NE(named.json.find("\"Gender\"\t: \"Female\""), std::string::npos);
    EXPECT_TRUE(startsAt(named.json)) << named.json;
    EXPECT_NE(named.json.find("\"PhysicalUnit\"\t: \"uV\""), std::string::npos);
}

TEST_F(ExportReaders, EdfOfAPrimeLengthKeepsEverySample) {
    if (!requireTool("save2gdf", "biosig-tools"))
        return;
    // 1601 samples: no data record longer than one sample divides it, nothing is added or cut.
    const auto buffer = syntheticRecording(1601);
    const fs::path file = dir_ / "odd.edf";
    ASSERT_TRUE(
        writeExport(deriveExport(buffer, signal::RecordingKind::Plain), Format::Edf, file).ok());
    expectBioSigReadsBack(file, buffer, "ECG ");
}

TEST_F(ExportReaders, ScpReadsBackInBioSigWithValidCrcs) {
    if (!requireTool("save2gdf", "biosig-tools"))
        return;
    const auto buffer = syntheticRecording(12 * 800);
    const fs::path file = dir_ / "ecg.scp";
    ASSERT_TRUE(writeExport(ecgWithPatient(buffer), Format::Scp, file).ok());
    expectBioSigReadsBack(file, buffer, "");

    const BioSigHeader named = bioSigHeader(file, true);
    EXPECT_EQ(named.json.find("faulty CRC"), std::string::npos) << named.json;
    EXPECT_NE(named.json.find("\"Lastname\"\t: \"Жукова\""), std::string::npos) << named.json;
    EXPECT_NE(named.json.find("\"Gender\"\t: \"Female\""), std::string::npos);
    EXPECT_NE(named.json.find("\"scaling\"\t: 1.468,"), std::string::npos); // 1468 nV
    EXPECT_TRUE(startsAt(named.json)) << named.json;

    // The reader does check the CRCs: one changed sample byte is reported.
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(-3, std::ios::end);
    f.put('\x55');
    f.close();
    EXPECT_NE(bioSigHeader(file).json.find("faulty CRC in section 6"), std::string::npos);
}

TEST_F(ExportReaders, AecgReadsBackInBioSig) {
    if (!requireTool("save2gdf", "biosig-tools"))
        return;
    const auto buffer = syntheticRecording(12 * 800);
    const fs::path file = dir_ / "ecg.xml";
    ASSERT_TRUE(writeExport(ecgWithPatient(buffer), Format::Aecg, file).ok());
    expectBioSigReadsBack(file, buffer, "");
    const BioSigHeader h = bioSigHeader(file);
    EXPECT_NE(h.json.find("\"Id\"\t: \"6b16d54a\""), std::string::npos) << h.json;
    EXPECT_NE(h.json.find("\"Gender\"\t: \"Female\""), std::string::npos);
    EXPECT_TRUE(startsAt(h.json)) << h.json;

    // A bare recording file: no patient, no time.
    const fs::path bare = dir_ / "bare.xml";
    ASSERT_TRUE(
        writeExport(deriveExport(buffer, signal::RecordingKind::Plain), Format::Aecg, bare).ok());
    expectBioSigReadsBack(bare, buffer, "");
}

// ---- DICOM ----

struct DicomGroup {
    std::size_t channels = 0, samples = 0;
    std::vector<std::string> codes;
    std::vector<double> sensitivity;
    std::vector<std::int16_t> data; // interleaved
};

// The text after `prefix` on a dcmdump line, up to the first blank ("[x]" loses its brackets).
std::optional<std::string> field(const std::string& line, const std::string& prefix) {
    const std::size_t at = line.find(prefix);
    if (at == std::string::npos)
        return std::nullopt;
    std::string v = line.substr(at + prefix.size());
    v = v.substr(0, v.find(' '));
    if (!v.empty() && v.front() == '[') {
        const std::size_t close = v.find(']');
        v = v.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return v;
}

std::vector<DicomGroup> dicomGroups(const std::string& dump) {
    std::vector<DicomGroup> groups;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);) {
        if (auto v = field(line, "(003a,0005) US ")) {
            groups.emplace_back();
            groups.back().channels = std::stoul(*v);
        } else if (groups.empty()) {
            continue;
        } else if (auto v = field(line, "(003a,0010) UL ")) {
            groups.back().samples = std::stoul(*v);
        } else if (auto v = field(line, "(0008,0100) SH ")) {
            if (v->rfind("2:", 0) == 0) // lead codes, not the unit's "uV"
                groups.back().codes.push_back(*v);
        } else if (auto v = field(line, "(003a,0210) DS ")) {
            groups.back().sensitivity.push_back(std::stod(*v));
        } else if (auto v = field(line, "(5400,1010) OW ")) {
            std::stringstream words(*v);
            for (std::string w; std::getline(words, w, '\\');)
                groups.back().data.push_back(static_cast<std::int16_t>(
                    static_cast<std::uint16_t>(std::stoul(w, nullptr, 16))));
        }
    }
    return groups;
}

const std::vector<std::string> kMdcCodes{"2:1", "2:2", "2:61", "2:62", "2:63", "2:64",
                                         "2:3", "2:4", "2:5",  "2:6",  "2:7",  "2:8"};

// Largest difference in µV between a group's channel and the expected lead values.
double worstInGroup(const DicomGroup& g, std::size_t channel,
                    const std::vector<std::int16_t>& lead) {
    if (g.data.size() != g.channels * g.samples || lead.size() != g.samples)
        return INFINITY;
    double worst = 0;
    for (std::size_t i = 0; i < g.samples; ++i)
        worst =
            std::max(worst, std::fabs(g.data[i * g.channels + channel] * g.sensitivity[channel] -
                                      lead[i] * kMicrovoltsPerUnit));
    return worst;
}

void expectValidDicom(const fs::path& file, const std::string& iod) {
    const auto v = runCommand("dciodvfy " + quoted(file));
    EXPECT_TRUE(v.out.find("Error") == std::string::npos) << v.out;
    EXPECT_NE(v.out.find(iod), std::string::npos) << v.out;
}

TEST_F(ExportReaders, DicomTwelveLeadIsValidAndReadsBack) {
    if (!requireTool("dciodvfy", "dicom3tools") || !requireTool("dcmdump", "dcmtk"))
        return;
    const auto buffer = syntheticRecording(10 * 800);
    const fs::path file = dir_ / "ecg.dcm";
    ASSERT_TRUE(writeExport(ecgWithPatient(buffer), Format::Dicom, file).ok());
    expectValidDicom(file, "TwelveLeadECG");

    const std::string dump = runCommand("dcmdump +L " + quoted(file)).out;
    EXPECT_NE(dump.find("(0008,0005) CS [ISO_IR 192]"), std::string::npos);
    EXPECT_NE(dump.find("(0008,0016) UI =TwelveLeadECGWaveformStorage"), std::string::npos);
    EXPECT_NE(dump.find("(0010,0010) PN [Жукова^Юлия^Сергеевна]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0010,0020) LO [6b16d54a]"), std::string::npos);
    EXPECT_NE(dump.find("(0010,0030) DA [19610412]"), std::string::npos);
    EXPECT_NE(dump.find("(0010,0040) CS [F]"), std::string::npos);
    EXPECT_NE(dump.find("(0008,002a) DT [20240602184709]"), std::string::npos);
    EXPECT_NE(dump.find("(003a,001a) DS [800]"), std::string::npos);

    const auto groups = dicomGroups(dump);
    ASSERT_EQ(groups.size(), 1u);
    const DicomGroup& g = groups[0];
    EXPECT_EQ(g.channels, 12u);
    EXPECT_EQ(g.samples, buffer.records());
    EXPECT_EQ(g.codes, kMdcCodes);
    ASSERT_EQ(g.sensitivity.size(), 12u);
    const auto expected = expectedLeads(buffer, buffer.records());
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_LE(worstInGroup(g, l, expected[l]), 3.0) << "lead " << l;
}

TEST_F(ExportReaders, DicomLongerThan16SecondsIsGeneralEcg) {
    if (!requireTool("dciodvfy", "dicom3tools") || !requireTool("dcmdump", "dcmtk"))
        return;
    const auto buffer = syntheticRecording(16 * 800 + 400);
    const fs::path file = dir_ / "ecg.dcm";
    ASSERT_TRUE(writeExport(ecgWithPatient(buffer), Format::Dicom, file).ok());
    expectValidDicom(file, "GeneralECG");
    const std::string dump = runCommand("dcmdump +L " + quoted(file)).out;
    EXPECT_NE(dump.find("=GeneralECGWaveformStorage"), std::string::npos);
    const auto groups = dicomGroups(dump);
    ASSERT_EQ(groups.size(), 1u);
    const auto expected = expectedLeads(buffer, buffer.records());
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_LE(worstInGroup(groups[0], l, expected[l]), 3.0) << "lead " << l;
}

// ---- A2: twelve leads for 10.05 s, then lead II alone ----

TEST_F(ExportReaders, A2ExportsLeadIIAloneAfterItsFirstPart) {
    if (!requireTool("save2gdf", "biosig-tools") || !requireTool("dciodvfy", "dicom3tools") ||
        !requireTool("dcmdump", "dcmtk"))
        return;
    // A2 records after the first 8040 hold lead II in c1 and zeros elsewhere.
    auto buffer = syntheticRecording(20 * 800);
    const std::span<const std::uint8_t> recorded = buffer.bytes;
    std::vector<std::uint8_t> bytes(recorded.begin(), recorded.end());
    for (std::size_t i = signal::kA2DerivedRecords; i < buffer.records(); ++i)
        for (int c : {0, 2, 3, 4, 5, 6, 7})
            signal::writeLe16(bytes.data() + i * signal::kRecordBytes + 2 * c, 0);
    buffer.assign(std::move(bytes));
    const std::size_t n = buffer.records(), first = signal::kA2DerivedRecords;
    const auto full = expectedLeads(buffer, first);
    std::vector<std::int16_t> leadII;
    for (std::size_t i = 0; i < n; ++i)
        leadII.push_back(buffer.record(i).c[1]);
    const EcgExport ecg = ecgWithPatient(buffer, signal::RecordingKind::A2);

    // EDF+: lead II whole; the other eleven end with the first part (then at the digital
    // minimum, below the physical range), and an annotation says so.
    const fs::path edf = dir_ / "a2.edf";
    ASSERT_TRUE(writeExport(ecg, Format::Edf, edf).ok());
    std::vector<std::string> labels;
    const auto read = bioSigSamples(edf, labels);
    ASSERT_GE(read.size(), 12u);
    for (std::size_t l = 0; l < 12; ++l) {
        ASSERT_EQ(read[l].size(), n) << "lead " << l;
        double worst = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (l == signal::StandardLeadII)
                worst = std::max(worst, std::fabs(read[l][i] - leadII[i] * kMicrovoltsPerUnit));
            else if (i < first)
                worst = std::max(worst, std::fabs(read[l][i] - full[l][i] * kMicrovoltsPerUnit));
            else
                EXPECT_LE(read[l][i], -48000.0) << "lead " << l << " sample " << i;
            if (::testing::Test::HasFailure())
                break;
        }
        EXPECT_LE(worst, 3.0) << "lead " << l;
    }
    EXPECT_NE(bioSigHeader(edf).json.find("Lead II alone from here"), std::string::npos);

    // DICOM: the twelve leads for the first part, and lead II for the whole recording.
    const fs::path dcm = dir_ / "a2.dcm";
    ASSERT_TRUE(writeExport(ecg, Format::Dicom, dcm).ok());
    expectValidDicom(dcm, "GeneralECG");
    const auto groups = dicomGroups(runCommand("dcmdump +L " + quoted(dcm)).out);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].channels, 12u);
    EXPECT_EQ(groups[0].samples, first);
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_LE(worstInGroup(groups[0], l, full[l]), 3.0) << "lead " << l;
    EXPECT_EQ(groups[1].channels, 1u);
    EXPECT_EQ(groups[1].codes, std::vector<std::string>{"2:2"});
    EXPECT_LE(worstInGroup(groups[1], 0, leadII), 3.0);

    // SCP-ECG readers take every lead as long as the longest: refused, nothing written.
    const fs::path scp = dir_ / "a2.scp";
    EXPECT_EQ(writeExport(ecg, Format::Scp, scp).code, ErrorCode::FormatCannotHold);
    EXPECT_FALSE(fs::exists(scp));

    // HL7 aECG: BioSig reads the first sequence set, the twelve leads of the first part.
    const fs::path xml = dir_ / "a2.xml";
    ASSERT_TRUE(writeExport(ecg, Format::Aecg, xml).ok());
    const auto aecg = bioSigSamples(xml, labels);
    EXPECT_LE(worstMicrovolts(aecg, full), 3.0);
}

// ---- One hour ----

TEST_F(ExportReaders, OneHourEdfReadsBackWhole) {
    if (!requireTool("save2gdf", "biosig-tools"))
        return;
    const auto buffer = syntheticRecording(3600 * 800, 11);
    const fs::path file = dir_ / "hour.edf";
    ASSERT_TRUE(
        writeExport(deriveExport(buffer, signal::RecordingKind::Plain), Format::Edf, file).ok());
    // The CSV of an hour takes long to print; BioSig's binary export gives the same samples
    // as BioSig decoded them, one int16 file per channel with its scale in a text header.
    const fs::path bin = dir_ / "bin" / "hour.bin";
    fs::create_directories(bin.parent_path());
    runCommand("save2gdf -f=BIN " + quoted(file) + " " + quoted(bin));
    std::ifstream header(bin);
    std::stringstream text;
    text << header.rdbuf();
    const std::string h = text.str();
    const auto expected = expectedLeads(buffer, buffer.records());
    // One block of "Key = value" lines per channel, each starting with its file name.
    std::vector<std::map<std::string, std::string>> channels;
    std::istringstream lines(h);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        key.erase(key.find_last_not_of(" \t") + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value = value.substr(0, value.find('\t'));
        if (key == "Filename" && value.find(".s") != std::string::npos)
            channels.emplace_back();
        if (!channels.empty())
            channels.back()[key] = value;
    }
    std::vector<std::vector<double>> read(12);
    std::size_t l = 0;
    for (; l < 12 && l < channels.size(); ++l) {
        auto& c = channels[l];
        EXPECT_EQ(c["Label"], "ECG " + kBioSigLabels[l]);
        EXPECT_EQ(std::stod(c["SamplingRate"]), 800.0);
        EXPECT_EQ(std::stoul(c["NumberOfSamples"]), buffer.records());
        const double digMax = std::stod(c["DigMax"]), digMin = std::stod(c["DigMin"]);
        const double physMax = std::stod(c["PhysMax"]), physMin = std::stod(c["PhysMin"]);
        const double gain = (physMax - physMin) / (digMax - digMin);
        std::ifstream raw(c["Filename"], std::ios::binary);
        std::vector<std::int16_t> v(buffer.records());
        raw.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(v.size() * 2));
        ASSERT_TRUE(raw) << c["Filename"];
        for (std::int16_t d : v)
            read[l].push_back(physMin + (d - digMin) * gain);
    }
    ASSERT_EQ(l, 12u) << h;
    EXPECT_LE(worstMicrovolts(read, expected), 3.0);
}

TEST_F(ExportReaders, OneHourDicomIsValid) {
    if (!requireTool("dciodvfy", "dicom3tools") || !requireTool("dcmdump", "dcmtk"))
        return;
    const auto buffer = syntheticRecording(3600 * 800, 11);
    const fs::path file = dir_ / "hour.dcm";
    ASSERT_TRUE(
        writeExport(deriveExport(buffer, signal::RecordingKind::Plain), Format::Dicom, file).ok());
    expectValidDicom(file, "GeneralECG");
    // Without +L dcmdump prints the element's length rather than its 34 million values.
    const std::string dump = runCommand("dcmdump " + quoted(file)).out;
    EXPECT_NE(dump.find("(003a,0010) UL 2880000"), std::string::npos) << dump;
    EXPECT_NE(dump.find("# 69120000, 1 WaveformData"), std::string::npos) << dump;
}

} // namespace
} // namespace velkard::exporting::test
