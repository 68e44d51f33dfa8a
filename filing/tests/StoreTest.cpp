// SPDX-License-Identifier: GPL-3.0-or-later
#include "filing/Store.h"
#include "cardfile/FileIo.h"
#include "cardfile/Lock.h"
#include "cardfile/tests/TestUtil.h"
#include "import/Decompress.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velkard::filing {
namespace {

using namespace cardfile;

using test::readBytes;
using test::readText;
using test::ScratchDir;
using test::writeBytes;
using test::writeText;
namespace fs = std::filesystem;

// A device ECG file: 512-byte header (rate, count, 05.03.2009 07:05:09) and a body of 16-bit
// values that are all multiples of 8, so compression is lossless.
std::vector<std::uint8_t> deviceFile(std::size_t bodyBytes, std::int16_t rate = 800,
                                     std::int16_t count = 1600) {
    signal::DeviceHeader h;
    h.setRate(rate);
    h.setRecordCount(count);
    h.setDateTime(9, 3, 5, 7, 5, 9);
    std::vector<std::uint8_t> out(h.bytes().begin(), h.bytes().end());
    for (std::size_t i = 0; i < bodyBytes / 2; ++i) {
        std::uint8_t v[2];
        signal::writeLe16(v, static_cast<std::int16_t>(((i * 37) % 200 - 100) * 8));
        out.push_back(v[0]);
        out.push_back(v[1]);
    }
    return out;
}

std::vector<std::uint8_t> body(const std::vector<std::uint8_t>& device) {
    return {device.begin() + 512, device.end()};
}

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        PatientRecord p;
        p.name = "Иванов";
        p.policy = "1";
        p.id = id;
        ASSERT_TRUE(cf.appendPatientRecord(p));
        ASSERT_TRUE(cf.createPatientArchive(id));
        fs::create_directories(temp);
    }

    fs::path source(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        fs::path p = temp / name;
        writeBytes(p, bytes);
        return p;
    }

    void existingEntries(int count) {
        for (int n = 1; n <= count; ++n)
            ASSERT_TRUE(cf.appendArchiveEntry(id, n, "01.01.2020", "10:00:00",
                                              EntryDuration::ofSeconds(1), kKindPlain));
    }

    std::string entryText(std::size_t position) {
        return readText(cf.archivePath(id)).substr(position * 27, 27);
    }

    ScratchDir dir;
    CardFile cf{dir.path()};
    fs::path temp = dir.path() / "temp";
    const std::string id = "4c2f9a10";
};

TEST_F(Store, PlainFileBecomesTheNextRecording) {
    existingEntries(2);
    auto dev = deviceFile(1600 * 16);
    auto src = source("ECG0001.DAT", dev);
    auto r = storeDeviceFile(cf, id, src, true);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(r.value, 3);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 3)), body(dev));
    EXPECT_EQ(entryText(2), "  305.03.200907:05:09   2  ");
    EXPECT_EQ(readBytes(src), dev); // the source is the caller's to delete
}

TEST_F(Store, LowerCaseA2PrefixIsPlain) {
    auto dev = deviceFile(800 * 16, 800, 800);
    auto r = storeDeviceFile(cf, id, source("a2_0001.dat", dev), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(entryText(0).substr(21), "   1  ");
}

TEST_F(Store, A2FileIsExpandedAndMarked) {
    const std::size_t extra = 1600; // single-channel values after the eight-channel part
    auto dev = deviceFile(signal::kA2FullBodyBytes + 2 * extra);
    auto r = storeDeviceFile(cf, id, source("A2_0001.dat", dev), true);
    ASSERT_TRUE(r) << r.message;
    auto rec = readBytes(cf.recordingPath(id, 1));
    EXPECT_EQ(rec, signal::convertDeviceBytes(dev, signal::RecordingKind::A2));
    EXPECT_EQ(rec.size(), (signal::kA2FullRecords + extra) * 16);
    signal::DeviceHeader h = *signal::DeviceHeader::parse(dev);
    long seconds = signal::deviceFileDuration(h, dev.size(), signal::RecordingKind::A2);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%4ld", seconds);
    EXPECT_EQ(entryText(0).substr(21), std::string(expected) + "A2");
}

TEST_F(Store, RhythmogramKeepsItsBodyAndTakesTheLanguageText) {
    auto dev = deviceFile(300 * 2);
    ASSERT_TRUE(storeDeviceFile(cf, id, source("VSR0001.dat", dev), true));
    ASSERT_TRUE(storeDeviceFile(cf, id, source("VSR0002.dat", dev), false));
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), body(dev));
    EXPECT_EQ(entryText(0).substr(21), "\xD0\xC8\xD2\xCCRT");
    EXPECT_EQ(entryText(1).substr(21), "RITMRT");
    auto list = cf.listArchiveEntries(id).value;
    EXPECT_EQ(list[0].duration, "РИТМ");
    EXPECT_TRUE(list[1].isRhythm());
}

TEST_F(Store, CompressedFileIsDecompressedWhateverTheCaseOfItsExtension) {
    auto dev = deviceFile(1600 * 16);
    auto ecx = import::compressToEcx(dev);
    auto src = source("ECG0002.ECX", ecx);
    auto r = storeDeviceFile(cf, id, src, true);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), body(dev));
    EXPECT_EQ(entryText(0), "  105.03.200907:05:09   2  ");
    // Nothing is left beside the source but the source itself.
    std::vector<fs::path> left;
    for (auto& e : fs::directory_iterator(temp))
        left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"ECG0002.ECX"});
}

TEST_F(Store, UnreadableOrDamagedSourceWritesNothing) {
    auto missing = storeDeviceFile(cf, id, temp / "nothing.dat", true);
    EXPECT_EQ(missing.code, ErrorCode::CannotOpenSource);
    EXPECT_FALSE(missing.message.empty());

    auto shortFile =
        storeDeviceFile(cf, id, source("short.dat", std::vector<std::uint8_t>(100)), true);
    EXPECT_EQ(shortFile.code, ErrorCode::CannotOpenSource);

    auto garbage =
        storeDeviceFile(cf, id, source("bad.ecx", std::vector<std::uint8_t>(300, 0xFF)), true);
    EXPECT_EQ(garbage.code, ErrorCode::CannotOpenSource);

    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));
}

TEST_F(Store, UnknownPatientIsRefused) {
    auto src = source("ECG.dat", deviceFile(16));
    EXPECT_EQ(storeDeviceFile(cf, id, src, true).ok(), true);
    auto r = storeDeviceFile(cf, "0badf00d", src, true);
    EXPECT_EQ(r.code, ErrorCode::UnknownPatient);
    EXPECT_EQ(storeDeviceFile(cf, "../../..", src, true).code, ErrorCode::UnknownPatient);
    EXPECT_FALSE(fs::exists(cf.archivePath("0badf00d")));
}

TEST_F(Store, FieldsThatDoNotFitAreRefusedBeforeWritingAndSayWhy) {
    // 10000 records at 1 per second: 10000 s.
    auto longOne = storeDeviceFile(cf, id, source("ECG.dat", deviceFile(160000, 1, 10000)), true);
    EXPECT_EQ(longOne.code, ErrorCode::TooLong);
    EXPECT_NE(longOne.message.find("9999"), std::string::npos) << longOne.message;
    EXPECT_EQ(storeErrorText(longOne.code, true),
              "ЭКГ длиннее 9999 секунд не помещается в архив пациента.");
    EXPECT_EQ(storeErrorText(longOne.code, false),
              "An ECG longer than 9999 seconds does not fit the patient's archive.");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));

    ASSERT_TRUE(cf.canAppendEntry(id));
    writeText(cf.archivePath(id), std::string(999 * 27, ' '));
    auto refused = cf.canAppendEntry(id);
    EXPECT_EQ(refused.code, ErrorCode::FieldOverflow);
    EXPECT_NE(refused.message.find("999"), std::string::npos);
    auto full = storeDeviceFile(cf, id, source("ECG2.dat", deviceFile(160)), true);
    EXPECT_EQ(full.code, ErrorCode::ArchiveFull);
    EXPECT_NE(storeErrorText(full.code, true).find("999 ЭКГ"), std::string::npos);
    EXPECT_NE(storeErrorText(full.code, false).find("999 ECGs"), std::string::npos);
    EXPECT_NE(storeErrorText(full.code), "Ошибка создания файла для записи ЭКГ");
    EXPECT_EQ(storeErrorText(ErrorCode::Busy, true), kBusyTextRussian);
    EXPECT_EQ(storeErrorText(ErrorCode::Busy, false), kBusyTextEnglish);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1000)));
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 999u * 27);
}

TEST_F(Store, ACardFileBusyElsewhereIsPassedOnWithItsCodeAndMessage) {
    const auto dev = deviceFile(320);
    const fs::path src = source("ECG.dat", dev);
    CardFileLock other;
    ASSERT_EQ(other.acquire(cf.dataDir(), CardFileLock::Mode::Exclusive, {}),
              CardFileLock::Outcome::Locked);
    cf.setLockWait(std::chrono::milliseconds(50));
    const auto listed = cf.listPatients();
    ASSERT_EQ(listed.code, ErrorCode::Busy);

    // The card file's own failure, not "choose a patient": the window says the card file is busy.
    const auto r = storeDeviceFile(cf, id, src, true);
    EXPECT_EQ(r.code, ErrorCode::Busy);
    EXPECT_EQ(r.message, listed.message);
    EXPECT_EQ(storeErrorText(r.code, false), kBusyTextEnglish);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);

    other.release();
    const auto filed = storeDeviceFile(cf, id, src, true);
    ASSERT_TRUE(filed) << filed.message;
    EXPECT_EQ(filed.value, 1);
}

TEST_F(Store, OrphanRecordingIsReplacedNotAppendedTo) {
    writeText(cf.recordingPath(id, 1), std::string(5000, 'o'));
    auto dev = deviceFile(320);
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG.dat", dev), true));
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), body(dev));
}

TEST_F(Store, FailedEntryRemovesTheRecording) {
    // An archive that cannot be opened for appending: a folder in its place.
    fs::remove(cf.archivePath(id));
    fs::create_directory(cf.archivePath(id));
    auto r = storeDeviceFile(cf, id, source("ECG.dat", deviceFile(320)), true);
    EXPECT_EQ(r.code, ErrorCode::CannotAppendEntry);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));
    EXPECT_TRUE(fs::exists(temp / "ECG.dat"));
    EXPECT_EQ(storeErrorText(r.code), "Ошибка открытия файла с данными об ЭКГ");
}

TEST_F(Store, RecordingThatCannotBeCreatedAddsNoEntry) {
    fs::create_directory(cf.recordingPath(id, 1));
    fs::create_directory(cf.recordingPath(id, 1) / "occupied");
    auto r = storeDeviceFile(cf, id, source("ECG.dat", deviceFile(320)), true);
    EXPECT_EQ(r.code, ErrorCode::CannotCreateRecording);
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    EXPECT_EQ(storeErrorText(r.code), "Ошибка создания файла для записи ЭКГ");
}

} // namespace
} // namespace velkard::filing

namespace velkard::filing {
namespace {

using namespace cardfile;

TEST_F(Store, TornLastEntryDoesNotLetTheNextStoreReplaceItsRecording) {
    auto first = deviceFile(320), second = deviceFile(480), third = deviceFile(640);
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG1.dat", first), true));
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG2.dat", second), true));
    // A power cut while the entry of the second recording was written: 26 of its 27 bytes.
    auto archive = readBytes(cf.archivePath(id));
    archive.pop_back();
    writeBytes(cf.archivePath(id), archive);
    ASSERT_EQ(cf.listArchiveEntries(id).value.size(), 2u);
    EXPECT_EQ(cf.nextRecordNumber(id), 3);

    auto r = storeDeviceFile(cf, id, source("ECG3.dat", third), true);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(r.value, 3);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 2)), body(second)) << "the torn entry's recording";
    EXPECT_EQ(readBytes(cf.recordingPath(id, 3)), body(third));
    auto entries = cf.listArchiveEntries(id).value;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].number, "  2");
    EXPECT_EQ(entries[1].date, "05.03.2009");
    EXPECT_EQ(entries[2].number, "  3");
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 3u * 27);
    // The completed entry can be removed like any other.
    ASSERT_TRUE(cf.removeArchiveEntry(id, 1));
    EXPECT_EQ(readBytes(cf.recordingPath(id, 2)), body(third));
}

TEST_F(Store, TornFragmentWithoutItsRecordingIsCutOff) {
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG1.dat", deviceFile(320)), true));
    auto archive = readBytes(cf.archivePath(id));
    archive.insert(archive.end(), archive.begin(), archive.begin() + 10);
    writeBytes(cf.archivePath(id), archive);
    auto r = storeDeviceFile(cf, id, source("ECG2.dat", deviceFile(480)), true);
    ASSERT_TRUE(r);
    EXPECT_EQ(r.value, 2);
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 2u * 27);
}

TEST_F(Store, StaleTemporariesGoWhenTheLockIsNextTaken) {
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG1.dat", deviceFile(320)), true));
    writeText(cf.dataDir() / ".velkard-tmp-a1b2c3", std::string(100000, 'x'));
    writeText(cf.dataDir() / ".velkard-tmp-d4e5f6", "");
    // A recording another workstation is still writing stays; a crashed writer's goes.
    writeText(cf.dataDir() / ".velkard-incoming-g7h8i9", "abandoned");
    const std::vector<std::uint8_t> bytes(1000, 7);
    io::IncomingFile live;
    ASSERT_TRUE(live.create(cf.dataDir()));
    ASSERT_TRUE(live.write(bytes));
    EXPECT_FALSE(test::leftovers(cf.dataDir()).empty());
    ASSERT_TRUE(cf.listPatients()); // a reader removes the rewrites' temporaries
    EXPECT_EQ(test::leftovers(cf.dataDir()).size(), 2u);
    PatientRecord other;
    other.name = "Петров";
    other.policy = "2";
    other.id = "0000000b";
    ASSERT_TRUE(cf.appendPatientRecord(other)); // a change takes the lock exclusively
    EXPECT_EQ(test::leftovers(cf.dataDir()),
              std::vector<std::string>{live.path().filename().string()});
    EXPECT_EQ(readBytes(live.path()), bytes);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), body(deviceFile(320)));
}

TEST_F(Store, APathThatIsNoRegularFileIsNeverWrittenOver) {
    ASSERT_EQ(::mkfifo(cf.recordingPath(id, 1).c_str(), 0644), 0);
    auto r = storeDeviceFile(cf, id, source("ECG1.dat", deviceFile(320)), true);
    EXPECT_EQ(r.code, ErrorCode::CannotCreateRecording);
    EXPECT_NE(r.message.find("not a regular file"), std::string::npos) << r.message;
    EXPECT_TRUE(fs::is_fifo(cf.recordingPath(id, 1)));
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    // A source that is a pipe is refused without blocking.
    ASSERT_EQ(::mkfifo((temp / "ECG2.dat").c_str(), 0644), 0);
    EXPECT_EQ(storeDeviceFile(cf, id, temp / "ECG2.dat", true).code, ErrorCode::CannotOpenSource);
}

TEST_F(Store, BodiesAreBoundedByTheirHeaders) {
    // A header that says 1600 records (2 s) over a body of 4 MB: refused, nothing filed.
    auto huge = deviceFile(4 << 20);
    auto r = storeDeviceFile(cf, id, source("ECG1.dat", huge), true);
    EXPECT_EQ(r.code, ErrorCode::CannotOpenSource);
    EXPECT_NE(r.message.find("header's record count allows"), std::string::npos) << r.message;
    // Its compressed form (small on disk) is refused the same way, without expanding it whole.
    auto ecx = import::compressToEcx(huge);
    ASSERT_LT(ecx.size(), huge.size() / 4);
    r = storeDeviceFile(cf, id, source("ECG2.ecx", ecx), true);
    EXPECT_EQ(r.code, ErrorCode::CannotOpenSource);
    EXPECT_NE(r.message.find("its header allows"), std::string::npos) << r.message;
    // Negative counts and rates.
    EXPECT_EQ(storeDeviceFile(cf, id, source("ECG3.dat", deviceFile(320, 800, -1600)), true).code,
              ErrorCode::CannotOpenSource);
    EXPECT_EQ(storeDeviceFile(cf, id, source("ECG4.dat", deviceFile(320, -800, 1600)), true).code,
              ErrorCode::CannotOpenSource);
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    // A few bytes past the count (the card's cluster) still pass; a short body says what it holds.
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG5.dat", deviceFile(1600 * 16 + 4096)), true));
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG6.dat", deviceFile(3)), true));
    ASSERT_TRUE(storeDeviceFile(cf, id, source("ECG7.dat", deviceFile(800 * 16)), true));
    auto entries = cf.listArchiveEntries(id).value;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].duration, "   2");
    EXPECT_EQ(entries[1].duration, "   0");
    EXPECT_EQ(entries[2].duration, "   1");
    // An A2 file of several MB (25 minutes of lead II) still passes.
    auto a2 = deviceFile(signal::kA2FullBodyBytes + 2 * 800 * 1500, 800, 0);
    r = storeDeviceFile(cf, id, source("A2_0001.dat", a2), true);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(cf.listArchiveEntries(id).value[3].duration, "1510");
}

} // namespace
} // namespace velkard::filing
