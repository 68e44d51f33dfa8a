// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli export and export-file: format by extension or --format, card-file lookup, and the
// failures (wrong usage, unknown patient or recording, unreadable recording, full disk).
#include "cardfile/CardFile.h"
#include "cardfile/Records.h"
#include "cli/tests/RunCli.h"
#include "signal/Recording.h"
#include "sim/DeviceFiles.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/wait.h>

namespace velkard::cli::test {
namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A card file with one patient and one 12-second recording; returns the patient's ID.
std::string makeCard(const TempDir& dir) {
    const std::string d = dir.path().string();
    auto add = runCli({"add-patient", "--name", "Иванов Иван Иванович", "--policy", "1", "--sex",
                       "Муж", "--birth", "12.04.1961", "--dir", d});
    EXPECT_EQ(add.status, 0) << add.err;
    const std::string id = add.out.substr(0, 8);
    auto ecg = sim::makeDeviceEcg(12, 5, sim::RecordedAt{24, 6, 2, 18, 47, 9});
    std::ofstream(dir / "ECG0001.DAT", std::ios::binary)
        .write(reinterpret_cast<const char*>(ecg.data()), static_cast<std::streamsize>(ecg.size()));
    auto store = runCli({"store", id, (dir / "ECG0001.DAT").string(), "--dir", d});
    EXPECT_EQ(store.status, 0) << store.err;
    return id;
}

TEST(ExportCli, CardFileRecordingInEveryFormat) {
    TempDir dir;
    const std::string id = makeCard(dir);
    const std::string d = dir.path().string();
    for (const char* name : {"a.edf", "a.dcm", "a.scp", "a.xml"}) {
        auto r = runCli({"export", id, "1", (dir / name).string(), "--dir", d});
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_GT(fs::file_size(dir / name), 12u * 800 * 12 * 2) << name;
    }
    // --format wins over the extension; the reader confirms what was written.
    auto r = runCli({"export", id, "1", (dir / "b.bin").string(), "--dir", d, "--format", "scp"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string json;
    if (FILE* p = ::popen(
            ("save2gdf -n -JSON " + shellQuoted((dir / "b.bin").string()) + " 2>&1").c_str(),
            "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            json.append(buf, n);
        ::pclose(p);
    }
    EXPECT_NE(json.find("\"TYPE\"\t: \"SCP\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"Lastname\"\t: \"Иванов\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"NumberOfChannels\"\t: 12"), std::string::npos);
}

TEST(ExportCli, WrongUsageAndUnknownRecordings) {
    TempDir dir;
    const std::string id = makeCard(dir);
    const std::string d = dir.path().string();
    const std::string out = (dir / "x.edf").string();
    EXPECT_EQ(runCli({"export", id, "1", (dir / "x.txt").string(), "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"export", id, "1", out, "--dir", d, "--format", "pdf"}).status, 2);
    EXPECT_EQ(runCli({"export", id, "0", out, "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"export", "../x", "1", out, "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"export", id, out}).status, 2);

    auto r = runCli({"export", "deadbeef", "1", out, "--dir", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No patient with ID 'deadbeef'"), std::string::npos) << r.err;
    r = runCli({"export", id, "2", out, "--dir", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no recording 2"), std::string::npos) << r.err;
    r = runCli({"export-file", (dir / "missing.dat").string(), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.dat"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
}

TEST(ExportCli, FullDiskSaysSoAndLeavesNoFile) {
    TempDir dir;
    const std::string id = makeCard(dir);
    for (const char* name : {"full.edf", "full.dcm", "full.scp", "full.xml"}) {
        // A file size limit of 64 KiB stands for a full disk; the signal it sends is ignored
        // so the writes fail instead.
        const std::string cmd = "trap '' XFSZ; ulimit -f 64; exec " +
                                shellQuoted(VELKARD_CLI_PATH) + " export " + id + " 1 " +
                                shellQuoted((dir / name).string()) + " --dir " +
                                shellQuoted(dir.path().string()) + " 2>&1";
        std::string err;
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            err.append(buf, n);
        const int st = ::pclose(p);
        EXPECT_EQ(WEXITSTATUS(st), 1) << name << ": " << err;
        EXPECT_NE(err.find("Cannot write"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    }
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".full"), std::string::npos)
            << "left behind: " << e.path();
}

TEST(ExportCli, BareRecordingFile) {
    TempDir dir;
    const std::string rec = (dir / "rec.dat").string();
    auto ecg = sim::makeDeviceEcg(3, 9, sim::RecordedAt{});
    std::ofstream(dir / "ECG0002.DAT", std::ios::binary)
        .write(reinterpret_cast<const char*>(ecg.data()), static_cast<std::streamsize>(ecg.size()));
    ASSERT_EQ(runCli({"convert", (dir / "ECG0002.DAT").string(), rec}).status, 0);
    auto r = runCli({"export-file", rec, (dir / "r.xml").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "r.xml"));
    r = runCli({"export-file", rec, (dir / "r.dat").string()});
    EXPECT_EQ(r.status, 2);
    r = runCli({"export-file", rec, (dir / "r.edf").string(), "--kind", "RT"});
    EXPECT_EQ(r.status, 2);
}

// "CODE: text" of every statement of velkard-cli measure's JSON, in order.
std::vector<std::string> measuredStatements(const std::string& json) {
    std::vector<std::string> out;
    const std::string code = "{\"code\": \"", text = "\"text\": \"";
    for (std::size_t at = json.find(code); at != std::string::npos; at = json.find(code, at + 1)) {
        const std::size_t c = at + code.size();
        const std::size_t t = json.find(text, c) + text.size();
        out.push_back(json.substr(c, json.find('"', c) - c) + ": " +
                      json.substr(t, json.find('"', t) - t));
    }
    return out;
}

struct EdfRead {
    std::vector<std::string> labels, annotations;
};

EdfRead edflibReads(const fs::path& file) {
    EdfRead out;
    edf_hdr_struct h{};
    if (edfopen_file_readonly(file.c_str(), &h, EDFLIB_READ_ALL_ANNOTATIONS) != 0)
        return out;
    for (int s = 0; s < h.edfsignals; ++s) {
        std::string label = h.signalparam[s].label;
        while (!label.empty() && label.back() == ' ')
            label.pop_back();
        out.labels.push_back(label);
    }
    for (long long a = 0; a < h.annotations_in_file; ++a) {
        edf_annotation_struct annotation{};
        if (edf_get_annotation(h.handle, static_cast<int>(a), &annotation) == 0)
            out.annotations.push_back(annotation.annotation);
    }
    edfclose_file(h.handle);
    return out;
}

// The exports carry what velkard-cli measure says of the recording's first ten seconds (with
// the patient's sex and age for export, without for export-file) in the language asked for, and
// leave out the leads its lead list names absent.
TEST(ExportCli, StatementsAndLeadListOfTheRecording) {
    TempDir dir;
    const std::string id = makeCard(dir);
    const std::string d = dir.path().string();
    const fs::path rec = cardfile::CardFile(d).recordingPath(id, 1);
    signal::RecordingBuffer buffer;
    ASSERT_TRUE(signal::loadRecording(rec, buffer));
    cardfile::LeadSet present{};
    present.fill(true);
    for (std::size_t l = signal::StandardLeadV1; l < signal::kLeadCount; ++l)
        present[l] = false;
    fs::path leads = rec;
    leads.replace_extension(".lds");
    std::ofstream(leads, std::ios::binary)
        << cardfile::encodeLeadsFile(present, {buffer.bytes.data(), buffer.bytes.size()});
    const std::vector<std::string> limbLeads{"ECG I",   "ECG II",  "ECG III",
                                             "ECG aVR", "ECG aVL", "ECG aVF"};

    // The patient is a man of 63 on the recording's day.
    auto m = runCli(
        {"measure", rec.string(), "--seconds", "10", "--sex", "M", "--age", "63", "--lang", "en"});
    ASSERT_EQ(m.status, 0) << m.err;
    std::vector<std::string> said = measuredStatements(m.out);
    ASSERT_FALSE(said.empty()) << m.out;
    said.push_back("Unconfirmed report");
    auto r = runCli({"export", id, "1", (dir / "a.edf").string(), "--dir", d, "--lang", "en"});
    ASSERT_EQ(r.status, 0) << r.err;
    EdfRead e = edflibReads(dir / "a.edf");
    EXPECT_EQ(e.labels, limbLeads);
    EXPECT_EQ(e.annotations, said);

    m = runCli({"measure", rec.string(), "--seconds", "10"});
    said = measuredStatements(m.out);
    ASSERT_FALSE(said.empty()) << m.out;
    said.push_back("Неподтверждённый отчёт");
    r = runCli({"export-file", rec.string(), (dir / "b.edf").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    e = edflibReads(dir / "b.edf");
    EXPECT_EQ(e.labels, limbLeads);
    EXPECT_EQ(e.annotations, said);

    EXPECT_EQ(
        runCli({"export", id, "1", (dir / "c.edf").string(), "--dir", d, "--lang", "de"}).status,
        2);
    EXPECT_EQ(runCli({"export-file", rec.string(), (dir / "c.edf").string(), "--lang", "x"}).status,
              2);
}

} // namespace
} // namespace velkard::cli::test
