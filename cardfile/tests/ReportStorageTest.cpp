// SPDX-License-Identifier: GPL-3.0-or-later
// The physician's report beside each recording: stored and read back, carried along when an
// entry is removed and the later ones renumbered, and every change on the audit log, which only
// grows.
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace velkard::cardfile {
namespace {

using test::readText;
using test::ScratchDir;
using test::writeText;
namespace fs = std::filesystem;

class Reports : public ::testing::Test {
protected:
    void SetUp() override {
        NewPatientInput in;
        in.name = "Alpha";
        in.policy = "P-1";
        auto p = createNewPatient(cf, in, true);
        ASSERT_TRUE(p) << p.message;
        id = p.value.id;
    }

    void fill(int count) {
        for (int n = 1; n <= count; ++n) {
            ASSERT_TRUE(cf.appendArchiveEntry(id, n, "0" + std::to_string(n) + ".01.2020",
                                              "10:00:00", EntryDuration::ofSeconds(10),
                                              kKindPlain));
            writeText(cf.recordingPath(id, n), "recording " + std::to_string(n));
        }
    }
    Status write(int n, const std::string& text, const std::string& what = "edited") {
        return cf.writeReport(id, n, text, {"Иванова А. П.", "user@host"}, what);
    }
    std::optional<std::string> read(int n) {
        auto r = cf.readReport(id, n);
        EXPECT_TRUE(r) << r.message;
        return r.value;
    }

    ScratchDir dir;
    CardFile cf{dir.path()};
    std::string id;
};

TEST_F(Reports, StoredBesideTheRecordingAndReadBack) {
    fill(2);
    EXPECT_EQ(read(1), std::nullopt);
    ASSERT_TRUE(write(2, "report of 2\n"));
    EXPECT_EQ(cf.reportPath(id, 2), cf.dataDir() / (id + "_ 2.rep"));
    EXPECT_EQ(readText(cf.reportPath(id, 2)), "report of 2\n");
    EXPECT_EQ(read(2), "report of 2\n");
    EXPECT_EQ(read(1), std::nullopt);
    ASSERT_TRUE(write(2, "second version"));
    EXPECT_EQ(read(2), "second version");
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    // The recordings and the archive are not touched.
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 2");
    EXPECT_EQ(cf.listArchiveEntries(id).value.size(), 2u);
}

TEST_F(Reports, OnlyARecordingOfTheArchiveGetsOne) {
    fill(1);
    for (int n : {0, 2, 1000})
        EXPECT_EQ(write(n, "x").code, ErrorCode::UnknownRecording) << n;
    EXPECT_FALSE(fs::exists(cf.reportPath(id, 2)));
    EXPECT_EQ(cf.writeReport("../../x", 1, "x", {}, "x").code, ErrorCode::InvalidArgument);
    // Nothing was logged for the refused ones.
    EXPECT_TRUE(cf.readAuditLog().value.empty());
}

TEST_F(Reports, AnUnreadableReportIsKeptAsideWhenReplaced) {
    fill(1);
    writeText(cf.reportPath(id, 1), "velkard report 1\nstatement\tprog");
    ASSERT_TRUE(cf.writeReport(id, 1, "new", {"Dr", "u@h"}, "edited", /*keepOld=*/true));
    EXPECT_EQ(read(1), "new");
    int kept = 0;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().starts_with(id + "_ 1.rep.damaged-")) {
            ++kept;
            EXPECT_EQ(readText(e.path()), "velkard report 1\nstatement\tprog");
        }
    EXPECT_EQ(kept, 1);
    auto log = cf.readAuditLog().value;
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("unreadable report kept as " + id + "_ 1.rep.damaged-"),
              std::string::npos);
}

TEST_F(Reports, RemovingAnEntryTakesItsReportAndRenumbersTheLaterOnes) {
    fill(4);
    ASSERT_TRUE(write(1, "of 1"));
    ASSERT_TRUE(write(2, "of 2"));
    ASSERT_TRUE(write(4, "of 4"));
    ASSERT_TRUE(cf.removeArchiveEntry(id, 1));
    EXPECT_EQ(read(1), "of 1");
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 3");
    EXPECT_EQ(read(2), std::nullopt) << "recording 3 had no report";
    EXPECT_EQ(readText(cf.recordingPath(id, 3)), "recording 4");
    EXPECT_EQ(read(3), "of 4");
    EXPECT_FALSE(fs::exists(cf.reportPath(id, 4)));
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    auto log = cf.readAuditLog().value;
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[3].find("recording 2 removed with its report; 1 later report(s) renumbered"),
              std::string::npos)
        << log[3];

    ASSERT_TRUE(cf.removePatient(0, id));
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(fs::exists(cf.reportPath(id, n))) << n;
    log = cf.readAuditLog().value;
    ASSERT_EQ(log.size(), 5u);
    EXPECT_NE(log[4].find("patient removed with 2 report(s)"), std::string::npos) << log[4];
}

TEST_F(Reports, AReportLeftWithoutItsRecordingIsNotGivenToTheNextOne) {
    // An older installation removed entry 2 and left its report behind.
    fill(1);
    writeText(cf.reportPath(id, 2), "report of a recording that is gone");
    auto filed = cf.fileRecording(id, std::vector<std::uint8_t>(16, 1), "02.02.2020", "10:00:00",
                                  EntryDuration::ofSeconds(1), kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    ASSERT_EQ(filed.value, 2);
    EXPECT_EQ(read(2), std::nullopt);
    bool kept = false;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().starts_with("unfiled_") && e.path().extension() == ".rep")
            kept = readText(e.path()) == "report of a recording that is gone";
    EXPECT_TRUE(kept);
}

TEST_F(Reports, TheAuditLogOnlyGrowsAndSaysWhoWhenAndWhat) {
    fill(2);
    cf.setClock([] { return std::int64_t{1767225600}; }); // 2026-01-01 00:00 UTC
    std::string before;
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(cf.writeReport(id, 1 + k % 2, "v" + std::to_string(k),
                                   {"Иванова\tА.\nП.", "user@host"},
                                   "edited SR \"Синусовый ритм\" to \"x\"\nsecond line"));
        const std::string now = readText(cf.auditLogPath());
        // What was there stays, byte for byte, at the start.
        EXPECT_EQ(now.substr(0, before.size()), before);
        EXPECT_GT(now.size(), before.size());
        before = now;
    }
    auto log = cf.readAuditLog().value;
    ASSERT_EQ(log.size(), 5u);
    for (const auto& line : log) {
        // time, account, physician, file, what: five fields, the line breaks of the texts gone.
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
        EXPECT_NE(line.find("\tuser@host\tИванова А. П.\t"), std::string::npos) << line;
        EXPECT_NE(line.find("to \"x\" second line"), std::string::npos) << line;
        EXPECT_TRUE(line.starts_with("2026-01-01 ") || line.starts_with("2025-12-31 ")) << line;
    }
    EXPECT_NE(log[1].find(id + "_ 2.rep"), std::string::npos);
}

TEST_F(Reports, NothingIsWrittenWhenTheLogCannotTakeTheLine) {
    fill(1);
    ASSERT_TRUE(write(1, "kept"));
    fs::remove(cf.auditLogPath());
    fs::create_directory(cf.auditLogPath()); // a folder where the log should be
    EXPECT_FALSE(write(1, "not kept"));
    EXPECT_EQ(read(1), "kept");
}

TEST_F(Reports, AReportThatCannotBeWrittenIsLoggedAsNotSaved) {
    fill(1);
    ASSERT_TRUE(write(1, "kept"));
    Status s;
    {
        // A full disk for the report (the file-size limit), while the log's short lines fit.
        auto old = std::signal(SIGXFSZ, SIG_IGN);
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit lim = before;
        lim.rlim_cur = 16 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &lim);
        s = write(1, std::string(64 * 1024, 'x'));
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, old);
    }
    EXPECT_EQ(s.code, ErrorCode::CannotWrite) << s.message;
    EXPECT_EQ(read(1), "kept");
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    auto log = cf.readAuditLog().value;
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[2].find("not saved: cannot write the report"), std::string::npos) << log[2];
}

} // namespace
} // namespace velkard::cardfile
