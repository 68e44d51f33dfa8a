// SPDX-License-Identifier: GPL-3.0-or-later
// A full disk, imitated with the file-size limit: writes past it fail as they would on a full disk.
#include "cardfile/CardFile.h"
#include "cardfile/Unfiled.h"
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

// Save of a recorded file on a full disk: the entry cannot be written, and the recording stays
// where it was recorded, whole, for the program to keep; no number is taken.
TEST(DiskFull, FailedFilingKeepsTheRecordedFile) {
    ScratchDir dir;
    CardFile cf(dir.path());
    const std::string id = "0000000a";
    ASSERT_TRUE(cf.appendPatientRecord(patient(id)));
    ASSERT_TRUE(cf.createPatientArchive(id));
    ASSERT_TRUE(cf.appendArchiveEntry(id, 1, "01.01.2020", "10:00:00", EntryDuration::ofSeconds(5),
                                      kKindPlain));
    PendingRecording pending;
    ASSERT_TRUE(cf.createPendingRecording(pending));
    const std::vector<std::uint8_t> recorded(16 * 800 * 3, 0x3c);
    test::writeBytes(pending.path(), recorded);
    const auto archive = readBytes(cf.archivePath(id));
    Result<int> filed;
    {
        FileSizeLimit limit(40); // the archive (27 bytes) cannot take its second entry
        filed = cf.fileRecordingFile(id, pending.path(), "02.01.2020", "11:00:00",
                                     EntryDuration::ofSeconds(3), kKindPlain);
    }
    EXPECT_EQ(filed.code, ErrorCode::CannotWrite);
    ASSERT_TRUE(fs::exists(pending.path())) << "the recording was lost: " << filed.message;
    EXPECT_EQ(readBytes(pending.path()), recorded);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 2)));
    EXPECT_EQ(readBytes(cf.archivePath(id)), archive);

    // With room again the same file is filed as recording 2.
    filed = cf.fileRecordingFile(id, pending.path(), "02.01.2020", "11:00:00",
                                 EntryDuration::ofSeconds(3), kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    EXPECT_EQ(filed.value, 2);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 2)), recorded);
}

// A numbered recording without an entry (a crash between the rename and the entry) is not
// written over by the next filing: it is kept under an unfiled name.
TEST(DiskFull, TheNextFilingNeverWritesOverAnUnlistedRecording) {
    ScratchDir dir;
    CardFile cf(dir.path());
    const std::string id = "0000000a";
    ASSERT_TRUE(cf.appendPatientRecord(patient(id)));
    ASSERT_TRUE(cf.createPatientArchive(id));
    const std::vector<std::uint8_t> orphan(16 * 800, 0x11), next(16 * 800, 0x22);
    test::writeBytes(cf.recordingPath(id, 1), orphan);
    PendingRecording pending;
    ASSERT_TRUE(cf.createPendingRecording(pending));
    test::writeBytes(pending.path(), next);
    auto filed = cf.fileRecordingFile(id, pending.path(), "02.01.2020", "11:00:00",
                                      EntryDuration::ofSeconds(1), kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    EXPECT_EQ(filed.value, 1);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), next);
    int kept = 0;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().starts_with("unfiled_")) {
            ++kept;
            EXPECT_EQ(readBytes(e.path()), orphan);
        }
    EXPECT_EQ(kept, 1);

    // It is offered as the patient's unfiled recording and files under the next number.
    const auto unfiled = listUnfiledRecordings(cf);
    ASSERT_EQ(unfiled.size(), 1u);
    EXPECT_EQ(unfiled[0].patientId, id);
    EXPECT_EQ(unfiled[0].patientName, "Пациент " + id);
    EXPECT_DOUBLE_EQ(unfiled[0].seconds, 1.0); // two blocks of half a second
    EXPECT_EQ(unfiled[0].date.size(), 10u);
    auto refiled = fileUnfiledRecording(cf, unfiled[0], id);
    ASSERT_TRUE(refiled) << refiled.message;
    EXPECT_EQ(refiled.value, 2);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 2)), orphan);
    EXPECT_EQ(cf.listArchiveEntries(id).value.at(1).duration, "   1");
    EXPECT_TRUE(listUnfiledRecordings(cf).empty());
}

} // namespace
} // namespace velkard::cardfile
