// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli wfdb on real PhysioNet records: the recording it writes measures like the record
// (LUDB record 1 against its cardiologists' QRS in lead II), two-lead records name their absent
// leads, and bad input leaves no file behind.
#include "cli/tests/RunCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velkard::cli::test {
namespace {

const std::filesystem::path kData = VELKARD_ECG_TESTDATA;

QJsonObject parseJson(const std::string& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

TEST(WfdbCli, RecordsBecomeRecordingsThatMeasureAndNameTheirAbsentLeads) {
    TempDir dir;
    const CliResult ludb = runCli({"wfdb", (kData / "ludb/1.hea").string(),
                                   (dir / "1.rec").string(), "--adc-per-mv", "1000"});
    ASSERT_EQ(ludb.status, 0) << ludb.err;
    const QJsonObject info = parseJson(ludb.out);
    EXPECT_EQ(info["records"].toInt(), 8000); // 10 s at 800 Hz
    EXPECT_EQ(info["present"].toArray().size(), 12);
    EXPECT_TRUE(info["absent"].toArray().isEmpty());
    EXPECT_EQ(std::filesystem::file_size(dir / "1.rec"), 8000u * 16u);

    const CliResult m = runCli({"measure", (dir / "1.rec").string()});
    ASSERT_EQ(m.status, 0) << m.err;
    const QJsonObject measured = parseJson(m.out);
    // The record's annotation files mark 7 beats in its seconds 1 to 9; the whole 10 s hold 7.
    EXPECT_EQ(measured["beats"].toArray().size(), 7);
    EXPECT_NEAR(measured["heart_rate_bpm"].toDouble(), 45.6, 2.0);
    const QJsonObject ii = measured["leads"].toObject()["II"].toObject();
    for (const char* key : {"q_ms", "q_mv", "r_mv", "s_mv", "r2_mv", "st_j_mv", "st_60_mv",
                            "st_80_mv", "t_mv", "t_pos_mv", "t_neg_mv", "qrs_area"})
        EXPECT_TRUE(ii[key].isDouble()) << key;
    EXPECT_GE(ii["t_pos_mv"].toDouble(), ii["t_mv"].toDouble());
    EXPECT_LE(ii["t_neg_mv"].toDouble(), 0.0);

    const CliResult qt =
        runCli({"wfdb", (kData / "qtdb/sel100").string(), (dir / "sel100.rec").string()});
    ASSERT_EQ(qt.status, 0) << qt.err;
    const QJsonObject two = parseJson(qt.out);
    EXPECT_EQ(two["records"].toInt(), 720000); // 15 min at 800 Hz
    const QJsonArray present = two["present"].toArray();
    ASSERT_EQ(present.size(), 2);
    EXPECT_EQ(present[0].toString(), "II");
    EXPECT_EQ(present[1].toString(), "V5");
    const QJsonArray absent = two["absent"].toArray();
    ASSERT_EQ(absent.size(), 10);
    std::string names;
    for (const auto& a : absent)
        names += (names.empty() ? "" : ",") + a.toString().toStdString();
    const CliResult m2 =
        runCli({"measure", (dir / "sel100.rec").string(), "--seconds", "20", "--absent", names});
    ASSERT_EQ(m2.status, 0) << m2.err;
    const QJsonObject leads = parseJson(m2.out)["leads"].toObject();
    EXPECT_TRUE(leads["V1"].toObject()["r_mv"].isNull());
    EXPECT_TRUE(leads["aVF"].toObject()["t_mv"].isNull());
    EXPECT_TRUE(leads["V5"].toObject()["r_mv"].isDouble());
    EXPECT_GT(leads["II"].toObject()["r_mv"].toDouble(), 0.5);
    // The lead list written beside the recording names the same leads absent, so measure leaves
    // them out without being told: the frontal axes, which need I and aVF, are not made from
    // the flat channels (they were: P and QRS axis 30 degrees, lead II's direction). The rhythm
    // rests on the P in II instead. A record with all twelve leads gets no lead list.
    EXPECT_TRUE(std::filesystem::exists(dir / "sel100.lds"));
    EXPECT_FALSE(std::filesystem::exists(dir / "1.lds"));
    const CliResult m3 = runCli({"measure", (dir / "sel100.rec").string(), "--seconds", "20"});
    ASSERT_EQ(m3.status, 0) << m3.err;
    const QJsonObject own = parseJson(m3.out);
    EXPECT_EQ(own["leads"].toObject(), leads);
    for (const char* axis : {"p_axis_deg", "qrs_axis_deg", "t_axis_deg"})
        EXPECT_TRUE(own[axis].isNull()) << axis;
    bool sinus = false;
    for (const auto& st : own["statements"].toArray())
        sinus = sinus || st.toObject()["code"].toString() == "SR";
    EXPECT_TRUE(sinus) << m3.out;
    // import --out writes the same list beside its recording.
    const CliResult imported = runCli(
        {"import", (kData / "qtdb/sel100.hea").string(), "--out", (dir / "imported.dat").string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "imported.lds"));
    const QJsonObject viaImport =
        parseJson(runCli({"measure", (dir / "imported.dat").string(), "--seconds", "20"}).out);
    EXPECT_TRUE(viaImport["qrs_axis_deg"].isNull());
    EXPECT_TRUE(viaImport["leads"].toObject()["V1"].toObject()["r_mv"].isNull());

    const CliResult bad = runCli({"measure", (dir / "sel100.rec").string(), "--absent", "V7"});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("V7"), std::string::npos) << bad.err;
}

// LUDB's header gains are refused for one scale (its limb leads obey Einthoven's law only on the
// stored values): the import says so, the leads measure what the stored values hold, and the
// audit line of the filed recording keeps the note.
TEST(WfdbCli, ImportOfContradictoryGainsSaysSoAndTheAuditLogKeepsIt) {
    TempDir dir;
    const std::string d = dir.path().string();
    const CliResult add =
        runCli({"add-patient", "--name", "Иванов Иван", "--policy", "7", "--dir", d});
    ASSERT_EQ(add.status, 0) << add.err;
    const std::string id = add.out.substr(0, 8);
    const CliResult imp = runCli({"import", (kData / "ludb/1.hea").string(), "--into", id, "--out",
                                  (dir / "1.dat").string(), "--dir", d});
    ASSERT_EQ(imp.status, 0) << imp.err;
    const QJsonObject info = parseJson(imp.out);
    bool noted = false;
    for (const auto& n : info["notes"].toArray())
        noted |= n.toString().contains("1000 units per mV");
    EXPECT_TRUE(noted) << imp.out;
    // The R waves of V3 and V4 measure 1.69 and 1.82 mV at 1000 units per mV; their header's
    // gains (2259 and 2317 units per mV) would make them 0.75 and 0.79 mV.
    const CliResult m = runCli({"measure", (dir / "1.dat").string()});
    ASSERT_EQ(m.status, 0) << m.err;
    const QJsonObject leads = parseJson(m.out)["leads"].toObject();
    EXPECT_NEAR(leads["V3"].toObject()["r_mv"].toDouble(), 1.69, 0.1) << m.out;
    EXPECT_NEAR(leads["V4"].toObject()["r_mv"].toDouble(), 1.82, 0.1) << m.out;
    bool logged = false;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() / "DATA_BASE")) {
        std::ifstream in(e.path());
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        logged |= text.find("imported from 1.hea") != std::string::npos &&
                  text.find("1000 units per mV") != std::string::npos;
    }
    EXPECT_TRUE(logged) << "no audit line keeps the note on the gains";
}

TEST(WfdbCli, BadInputGivesAMessageAndNoFile) {
    TempDir dir;
    const CliResult missing =
        runCli({"wfdb", (dir / "none.hea").string(), (dir / "x.rec").string()});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("none.hea"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.rec"));
    const CliResult gain = runCli(
        {"wfdb", (kData / "ludb/1.hea").string(), (dir / "x.rec").string(), "--adc-per-mv", "-3"});
    EXPECT_NE(gain.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.rec"));
}

// An output named as a file the command reads (a WFDB record's own sample file "1.dat" is the
// natural name for its recording; a filtered copy over its recording) is refused before
// anything is written, under any name of that file, and the file is left as it was.
TEST(WfdbCli, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    TempDir dir;
    for (const char* ext : {".hea", ".dat", ".atr"})
        if (std::filesystem::exists(kData / (std::string("mitdb/113") + ext)))
            std::filesystem::copy_file(kData / (std::string("mitdb/113") + ext),
                                       dir / (std::string("113") + ext));
    const auto bytesOf = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    const std::string samples = bytesOf(dir / "113.dat"), beats = bytesOf(dir / "113.atr");
    ASSERT_FALSE(samples.empty());
    const std::string hea = (dir / "113.hea").string();
    std::filesystem::create_directory(dir / "sub");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", hea, "--out", (dir / "113.dat").string()},
          {"import", hea, "--out", (dir / "sub" / ".." / "113.dat").string()},
          {"import", hea, "--out", (dir / "113.atr").string()},
          {"wfdb", hea, (dir / "113.dat").string()},
          {"convert", hea, (dir / "113.hea").string()}}) {
        const CliResult r = runCli(args);
        EXPECT_NE(r.status, 0) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("choose another name"), std::string::npos) << r.err;
    }
    EXPECT_EQ(bytesOf(dir / "113.dat"), samples);
    EXPECT_EQ(bytesOf(dir / "113.atr"), beats);
    // The recording itself, and a filtered copy asked over it.
    ASSERT_EQ(runCli({"wfdb", hea, (dir / "113.rec").string()}).status, 0);
    const std::string recording = bytesOf(dir / "113.rec");
    const CliResult filtered =
        runCli({"filter", (dir / "113.rec").string(), (dir / "113.rec").string(), "--mains", "50"});
    EXPECT_NE(filtered.status, 0);
    EXPECT_EQ(bytesOf(dir / "113.rec"), recording);
    // Another name is written.
    EXPECT_EQ(runCli({"import", hea, "--out", (dir / "113-ecg.dat").string()}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "113-ecg.dat"));
}

} // namespace
} // namespace velkard::cli::test
