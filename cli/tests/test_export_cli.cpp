// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli export and export-file: format by extension or --format, card-file lookup, and the
// failures (wrong usage, unknown patient or recording, unreadable recording, full disk).
#include "cli/tests/RunCli.h"
#include "sim/DeviceFiles.h"

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

} // namespace
} // namespace velkard::cli::test
