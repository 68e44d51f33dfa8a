// SPDX-License-Identifier: GPL-3.0-or-later
// A full disk, imitated with the file-size limit: writes past it fail as they would on a full disk.
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace velkard::cardfile {
namespace {

using test::readBytes;
using test::ScratchDir;
namespace fs = std::filesystem;

// Limits the size of files this process writes while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

PatientRecord patient(const std::string& id) {
    PatientRecord r;
    r.name = "Пациент " + id;
    r.policy = "1";
    r.id = id;
    return r;
}

TEST(DiskFull, FailedAppendLeavesNoTornRecord) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(patient("0000000a")));
    ASSERT_TRUE(cf.createPatientArchive("0000000a"));
    ASSERT_TRUE(cf.appendArchiveEntry("0000000a", 1, "01.01.2020", "10:00:00",
                                      EntryDuration::ofSeconds(5), kKindPlain));
    auto index = readBytes(cf.indexPath());
    auto archive = readBytes(cf.archivePath("0000000a"));
    {
        FileSizeLimit limit(250); // room for one record and a part of the next
        auto s = cf.appendPatientRecord(patient("0000000b"));
        EXPECT_EQ(s.code, ErrorCode::CannotWrite);
        EXPECT_FALSE(s.message.empty());
    }
    EXPECT_EQ(readBytes(cf.indexPath()), index);
    {
        FileSizeLimit limit(40);
        auto s = cf.appendArchiveEntry("0000000a", 2, "01.01.2020", "10:00:00",
                                       EntryDuration::ofSeconds(5), kKindPlain);
        EXPECT_EQ(s.code, ErrorCode::CannotWrite);
    }
    EXPECT_EQ(readBytes(cf.archivePath("0000000a")), archive);
    EXPECT_EQ(cf.nextRecordNumber("0000000a"), 2);
}

TEST(DiskFull, FailedRewriteKeepsTheOldIndexAndArchive) {
    ScratchDir dir;
    CardFile cf(dir.path());
    for (const char* id : {"0000000a", "0000000b", "0000000c"})
        ASSERT_TRUE(cf.appendPatientRecord(patient(id)));
    ASSERT_TRUE(cf.createPatientArchive("0000000a"));
    for (int n = 1; n <= 3; ++n) {
        ASSERT_TRUE(cf.appendArchiveEntry("0000000a", n, "01.01.2020", "10:00:00",
                                          EntryDuration::ofSeconds(n), kKindPlain));
        test::writeText(cf.recordingPath("0000000a", n), std::to_string(n));
    }
    auto index = readBytes(cf.indexPath());
    auto archive = readBytes(cf.archivePath("0000000a"));
    {
        FileSizeLimit limit(30); // the new files cannot be written
        EXPECT_EQ(cf.removePatient(2, "0000000c").code, ErrorCode::CannotWrite);
        EXPECT_EQ(cf.removeArchiveEntry("0000000a", 0).code, ErrorCode::CannotWrite);
    }
    EXPECT_EQ(readBytes(cf.indexPath()), index);
    EXPECT_EQ(readBytes(cf.archivePath("0000000a")), archive);
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(test::readText(cf.recordingPath("0000000a", n)), std::to_string(n));
}

TEST(DiskFull, FilingThatCannotWriteTheRecordingFilesNothing) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(patient("0000000a")));
    ASSERT_TRUE(cf.createPatientArchive("0000000a"));
    const std::vector<std::uint8_t> body(800 * 16, 0x08);
    Result<int> r;
    {
        FileSizeLimit limit(4096);
        r = cf.fileRecording("0000000a", body, "01.01.2020", "10:00:00",
                             EntryDuration::ofSeconds(1), kKindPlain);
    }
    EXPECT_EQ(r.code, ErrorCode::CannotWrite);
    EXPECT_FALSE(fs::exists(cf.recordingPath("0000000a", 1)));
    EXPECT_EQ(fs::file_size(cf.archivePath("0000000a")), 0u);
    std::size_t files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(cf.dataDir()))
        ++files;
    EXPECT_EQ(files, 3u); // the index, the archive and the lock, no temporary left over
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
}

} // namespace
} // namespace velkard::cardfile
