// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Store.h"
#include "cardfile/tests/TestUtil.h"
#include "import/Decompress.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

namespace velkard::cardfile {
namespace {

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
    EXPECT_EQ(r.recordNumber, 3);
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
    auto dev = deviceFile(800 * 16);
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
    EXPECT_EQ(missing.error, StoreError::CannotOpenSource);
    EXPECT_FALSE(missing.message.empty());

    auto shortFile =
        storeDeviceFile(cf, id, source("short.dat", std::vector<std::uint8_t>(100)), true);
    EXPECT_EQ(shortFile.error, StoreError::CannotOpenSource);

    auto garbage =
        storeDeviceFile(cf, id, source("bad.ecx", std::vector<std::uint8_t>(300, 0xFF)), true);
    EXPECT_EQ(garbage.error, StoreError::CannotOpenSource);

    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));
}

TEST_F(Store, UnknownPatientIsRefused) {
    auto src = source("ECG.dat", deviceFile(16));
    EXPECT_EQ(storeDeviceFile(cf, id, src, true).ok, true);
    auto r = storeDeviceFile(cf, "0badf00d", src, true);
    EXPECT_EQ(r.error, StoreError::UnknownPatient);
    EXPECT_EQ(storeDeviceFile(cf, "../../..", src, true).error, StoreError::UnknownPatient);
    EXPECT_FALSE(fs::exists(cf.archivePath("0badf00d")));
}

TEST_F(Store, FieldsThatDoNotFitAreRefusedBeforeWriting) {
    // 32000 records at 1 per second: 32000 s.
    auto longOne = storeDeviceFile(cf, id, source("ECG.dat", deviceFile(160, 1, 32000)), true);
    EXPECT_EQ(longOne.error, StoreError::FieldOverflow);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));

    writeText(cf.archivePath(id), std::string(999 * 27, ' '));
    auto full = storeDeviceFile(cf, id, source("ECG2.dat", deviceFile(160)), true);
    EXPECT_EQ(full.error, StoreError::FieldOverflow);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1000)));
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 999u * 27);
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
    EXPECT_EQ(r.error, StoreError::CannotAppendEntry);
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 1)));
    EXPECT_TRUE(fs::exists(temp / "ECG.dat"));
    EXPECT_EQ(storeErrorText(r.error), "Ошибка открытия файла с данными об ЭКГ");
}

TEST_F(Store, RecordingThatCannotBeCreatedAddsNoEntry) {
    fs::create_directory(cf.recordingPath(id, 1));
    fs::create_directory(cf.recordingPath(id, 1) / "occupied");
    auto r = storeDeviceFile(cf, id, source("ECG.dat", deviceFile(320)), true);
    EXPECT_EQ(r.error, StoreError::CannotCreateRecording);
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 0u);
    EXPECT_EQ(storeErrorText(r.error), "Ошибка создания файла для записи ЭКГ");
}

} // namespace
} // namespace velkard::cardfile
