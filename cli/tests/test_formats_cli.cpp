// SPDX-License-Identifier: GPL-3.0-or-later
// Every export of Velkard read back by the readers of formats/ sample for sample, and
// velkard-cli import and convert over such files: into a recording file, into a patient's card
// with its origin in the audit log, and hostile input refused.
#include "cli/tests/RunCli.h"
#include "export/Export.h"
#include "formats/EcgFile.h"
#include "formats/Instrument.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace velkard::cli::test {
namespace {

namespace fs = std::filesystem;

signal::RecordingBuffer synthetic(std::size_t records) {
    const auto samples = sim::SyntheticEcg::records(11, records);
    std::vector<std::uint8_t> bytes(records * signal::kRecordBytes);
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (int c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(bytes.data() + i * signal::kRecordBytes + 2 * c,
                              samples[i].c[static_cast<std::size_t>(c)]);
    signal::RecordingBuffer b;
    b.assign(std::move(bytes));
    return b;
}

exporting::EcgExport exportOf(const signal::RecordingBuffer& b) {
    auto e = exporting::deriveExport(b, signal::RecordingKind::Plain);
    e.patient = exporting::Patient{"Петрова Анна Сергеевна", "0000002a", "03.07.1958", "Жен"};
    e.recordedAt = exporting::DateTime{2024, 6, 2, 18, 47, 9};
    return e;
}

TEST(FormatsCli, EveryExportReadsBackSampleForSample) {
    TempDir dir;
    const auto buffer = synthetic(12 * 800);
    const auto ecg = exportOf(buffer);
    for (auto format : exporting::kFormats) {
        const fs::path file = dir / ("x" + std::string(exporting::formatExtension(format)));
        ASSERT_TRUE(exporting::writeExport(ecg, format, file)) << file;
        auto r = formats::readEcgFile(file);
        ASSERT_TRUE(r) << file << ": " << r.message;
        const formats::EcgFile& f = r.value;
        EXPECT_DOUBLE_EQ(f.rate, 800) << file;
        ASSERT_EQ(f.samples(), ecg.samples()) << file;
        ASSERT_EQ(f.presentCount(), 12) << file;
        // The file's step: SCP-ECG keeps whole nanovolts (1468 nV a unit).
        const double step = format == exporting::Format::Scp
                                ? exporting::kScpNanovoltsPerUnit / 1000.0
                                : exporting::kMicrovoltsPerUnit;
        double worstUnits = 0, worstTrue = 0;
        for (int l = 0; l < 12; ++l)
            for (std::size_t t = 0; t < f.samples(); ++t) {
                const double v = f.leads[static_cast<std::size_t>(l)][t];
                const int units = ecg.leads[static_cast<std::size_t>(l)][t];
                worstUnits = std::max(worstUnits, std::abs(v / step - units));
                worstTrue =
                    std::max(worstTrue, std::abs(v - units * exporting::kMicrovoltsPerUnit));
            }
        EXPECT_LT(worstUnits, 0.01) << file; // every sample is the unit written
        EXPECT_LT(worstTrue, 1.0) << file;
        std::printf("%s: worst %.4f units, %.4f uV from the instrument's values\n",
                    file.filename().c_str(), worstUnits, worstTrue);
        EXPECT_EQ(f.patient.id, "0000002a") << file;
        EXPECT_EQ(f.patient.birthDate, "03.07.1958") << file;
        EXPECT_EQ(f.patient.sex, "F") << file;
        ASSERT_TRUE(f.start) << file;
        EXPECT_EQ(f.start->minute, 47) << file;
        // Converted back at 800 Hz the recording is the one exported (SCP-ECG: within a unit).
        auto back = formats::toInstrument(f);
        ASSERT_TRUE(back) << back.message;
        ASSERT_EQ(back.value.records.size(), buffer.records());
        EXPECT_EQ(back.value.clipped, 0);
        int worst = 0;
        for (std::size_t t = 0; t < buffer.records(); ++t)
            for (int c = 0; c < signal::kChannels; ++c)
                worst =
                    std::max(worst, std::abs(back.value.records[t].c[static_cast<std::size_t>(c)] -
                                             buffer.record(t).c[static_cast<std::size_t>(c)]));
        EXPECT_LE(worst, format == exporting::Format::Scp ? 2 : 0) << file;
    }
}

TEST(FormatsCli, ImportConvertsAndFilesWithItsOriginAndRefusesBadFiles) {
    TempDir dir;
    const std::string d = dir.path().string();
    const auto buffer = synthetic(5 * 800);
    ASSERT_TRUE(exporting::writeExport(exportOf(buffer), exporting::Format::Dicom, dir / "in.dcm"));
    ASSERT_TRUE(exporting::writeExport(exportOf(buffer), exporting::Format::Edf, dir / "in.edf"));

    // convert hands the file over to the readers and writes the recording file.
    auto conv = runCli({"convert", (dir / "in.dcm").string(), (dir / "out.dat").string()});
    ASSERT_EQ(conv.status, 0) << conv.err;
    EXPECT_NE(conv.out.find("4000 records"), std::string::npos) << conv.out;
    EXPECT_EQ(fs::file_size(dir / "out.dat"), 4000u * 16);
    std::ifstream out(dir / "out.dat", std::ios::binary);
    std::vector<char> got((std::istreambuf_iterator<char>(out)), {});
    EXPECT_TRUE(
        std::equal(got.begin(), got.end(), reinterpret_cast<const char*>(buffer.bytes.data())));

    auto add = runCli({"add-patient", "--name", "Петрова Анна", "--policy", "1", "--dir", d});
    ASSERT_EQ(add.status, 0) << add.err;
    const std::string id = add.out.substr(0, 8);
    auto imp = runCli({"import", (dir / "in.edf").string(), "--into", id, "--dir", d});
    ASSERT_EQ(imp.status, 0) << imp.err;
    EXPECT_NE(imp.out.find("\"number\":1"), std::string::npos) << imp.out;
    EXPECT_NE(imp.out.find("\"absent\":[]"), std::string::npos) << imp.out;
    EXPECT_NE(imp.out.find("\"kind\":\"EDF\""), std::string::npos) << imp.out;
    auto archive = runCli({"archive", id, "--dir", d});
    EXPECT_EQ(archive.status, 0) << archive.err;
    EXPECT_NE(archive.out.find("02.06.2024"), std::string::npos) << archive.out;
    std::ifstream rec(dir.path() / "DATA_BASE" / (id + "_ 1.dat"), std::ios::binary);
    std::vector<char> filed((std::istreambuf_iterator<char>(rec)), {});
    ASSERT_EQ(filed.size(), buffer.bytes.size());
    EXPECT_TRUE(
        std::equal(filed.begin(), filed.end(), reinterpret_cast<const char*>(buffer.bytes.data())));
    bool logged = false;
    for (const auto& e : fs::directory_iterator(dir.path() / "DATA_BASE")) {
        std::ifstream in(e.path());
        std::string text((std::istreambuf_iterator<char>(in)), {});
        logged |= text.find("imported from in.edf: EDF+C") != std::string::npos &&
                  text.find(id + "_ 1.dat") != std::string::npos;
    }
    EXPECT_TRUE(logged) << "no audit line names the filed recording and its origin";

    // Hostile and unknown input: exit 1, one line saying why, nothing filed.
    std::string edf;
    {
        std::ifstream in(dir / "in.edf", std::ios::binary);
        edf.assign(std::istreambuf_iterator<char>(in), {});
    }
    edf.replace(236, 8, "99999   ");
    std::ofstream(dir / "bad.edf", std::ios::binary) << edf;
    auto bad = runCli({"import", (dir / "bad.edf").string(), "--into", id, "--dir", d});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("shorter than its 99999 data records"), std::string::npos) << bad.err;
    std::ofstream(dir / "note.txt") << "not an ECG";
    auto none = runCli({"import", (dir / "note.txt").string()});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("none of the ECG formats"), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(dir.path() / "DATA_BASE" / (id + "_ 2.dat")));
}

} // namespace
} // namespace velkard::cli::test
