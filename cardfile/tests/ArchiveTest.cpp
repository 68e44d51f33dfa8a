// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"

#include <gtest/gtest.h>

namespace velkard::cardfile {
namespace {

using test::readBytes;
using test::readText;
using test::ScratchDir;
using test::writeText;
namespace fs = std::filesystem;

std::string text(const EntryBytes& b) {
    return std::string(b.begin(), b.end());
}

TEST(ArchiveEntryLayout, NumbersTimesAndDurationsArePaddedAsStored) {
    auto e =
        encodeArchiveEntry(7, "05.03.2009", "9:05:03", EntryDuration::ofSeconds(75), kKindPlain);
    ASSERT_TRUE(e);
    EXPECT_EQ(text(e.value), "  705.03.200909:05:03  75  ");

    e = encodeArchiveEntry(12, "05.03.2009", "12:05:03", EntryDuration::ofSeconds(9999), kKindA2);
    ASSERT_TRUE(e);
    EXPECT_EQ(text(e.value), " 1205.03.200912:05:039999A2");

    e = encodeArchiveEntry(999, "05.03.2009", "12:05:03", EntryDuration::ofSeconds(-2), kKindPlain);
    ASSERT_TRUE(e);
    EXPECT_EQ(text(e.value), "99905.03.200912:05:03  -2  ");
}

TEST(ArchiveEntryLayout, RhythmogramDurationTextInBothLanguages) {
    auto ru =
        encodeArchiveEntry(1, "05.03.2009", "12:05:03", EntryDuration::rhythm(true), kKindRhythm);
    ASSERT_TRUE(ru);
    EXPECT_EQ(text(ru.value), "  105.03.200912:05:03\xD0\xC8\xD2\xCCRT"); // "РИТМ" in Windows-1251
    auto back = decodeArchiveEntry(ru.value);
    EXPECT_EQ(back.duration, "РИТМ");
    EXPECT_FALSE(back.durationSeconds());
    EXPECT_TRUE(back.isRhythm());

    auto en =
        encodeArchiveEntry(1, "05.03.2009", "12:05:03", EntryDuration::rhythm(false), kKindRhythm);
    EXPECT_EQ(text(en.value).substr(21), "RITMRT");
}

TEST(ArchiveEntryLayout, OddDateAndTimeTextsAreCutOrPaddedToTheirWidths) {
    auto e = encodeArchiveEntry(1, "2009-03-05T00", "1:2:3", EntryDuration::ofSeconds(1), "X");
    ASSERT_TRUE(e);
    EXPECT_EQ(text(e.value), "  12009-03-051:2:3      1X ");
}

TEST(ArchiveEntryLayout, ValuesThatDoNotFitAreRefused) {
    for (int n : {0, -1, 1000}) {
        auto e = encodeArchiveEntry(n, "05.03.2009", "12:05:03", EntryDuration::ofSeconds(1),
                                    kKindPlain);
        EXPECT_FALSE(e) << n;
        EXPECT_EQ(e.code, ErrorCode::FieldOverflow);
    }
    for (long d : {10000L, -1000L}) {
        auto e = encodeArchiveEntry(1, "05.03.2009", "12:05:03", EntryDuration::ofSeconds(d),
                                    kKindPlain);
        EXPECT_FALSE(e) << d;
        EXPECT_EQ(e.code, ErrorCode::FieldOverflow);
    }
}

TEST(ArchiveEntryLayout, DecodedFieldsParseWithLeadingSpaces) {
    auto e =
        encodeArchiveEntry(12, "05.03.2009", "12:05:03", EntryDuration::ofSeconds(75), kKindA2);
    auto d = decodeArchiveEntry(e.value);
    EXPECT_EQ(d.number, " 12");
    EXPECT_EQ(d.recordNumber(), 12);
    EXPECT_EQ(d.date, "05.03.2009");
    EXPECT_EQ(d.time, "12:05:03");
    EXPECT_EQ(d.duration, "  75");
    EXPECT_EQ(d.durationSeconds(), 75);
    EXPECT_TRUE(d.isA2());
    ArchiveEntry junk;
    junk.number = "x1 ";
    junk.duration = "7 5 ";
    EXPECT_EQ(junk.recordNumber(), 0);
    EXPECT_FALSE(junk.durationSeconds());
}

class Archive : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(cf.createPatientArchive(id)); }

    // Entries numbered 1..count, each with a recording file that names its original number.
    void fill(int count) {
        for (int n = 1; n <= count; ++n) {
            ASSERT_TRUE(cf.appendArchiveEntry(
                id, n, "0" + std::to_string(n) + ".01.2020", "10:00:0" + std::to_string(n),
                EntryDuration::ofSeconds(10 * n), n == 2 ? kKindA2 : kKindPlain));
            writeText(cf.recordingPath(id, n), "recording " + std::to_string(n));
        }
    }

    ScratchDir dir;
    CardFile cf{dir.path()};
    const std::string id = "4c2f9a10";
};

TEST_F(Archive, AppendListAndNextNumber) {
    EXPECT_EQ(cf.nextRecordNumber(id), 1);
    fill(2);
    EXPECT_EQ(cf.nextRecordNumber(id), 3);
    EXPECT_EQ(readText(cf.archivePath(id)),
              "  101.01.202010:00:01  10    202.01.202010:00:02  20A2");
    auto list = cf.listArchiveEntries(id);
    ASSERT_TRUE(list);
    ASSERT_EQ(list.value.size(), 2u);
    EXPECT_EQ(list.value[1].number, "  2");
    EXPECT_EQ(list.value[1].duration, "  20");
    auto e = cf.readArchiveEntry(id, 1);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.value, list.value[1]);
    EXPECT_EQ(cf.readArchiveEntry(id, 2).code, ErrorCode::OutOfRange);
}

TEST_F(Archive, MissingArchive) {
    const std::string other = "0000abcd";
    EXPECT_EQ(cf.nextRecordNumber(other), 1);
    auto list = cf.listArchiveEntries(other);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list.value.empty());
    EXPECT_EQ(cf.readArchiveEntry(other, 0).code, ErrorCode::ArchiveOpenFailed);
    EXPECT_EQ(cf.removeArchiveEntry(other, 0).code, ErrorCode::ArchiveOpenFailed);
    EXPECT_FALSE(fs::exists(cf.archivePath(other)));
}

TEST_F(Archive, AppendFailsWithoutTheFolder) {
    ScratchDir empty;
    test::writeText(empty.path() / kDataFolder, "a file where the folder should be");
    CardFile bare(empty.path());
    auto s = bare.appendArchiveEntry(id, 1, "01.01.2020", "10:00:00", EntryDuration::ofSeconds(1),
                                     kKindPlain);
    EXPECT_EQ(s.code, ErrorCode::ArchiveOpenFailed);
}

TEST_F(Archive, RefusedEntryWritesNothing) {
    fill(1);
    auto before = readBytes(cf.archivePath(id));
    EXPECT_EQ(cf.appendArchiveEntry(id, 2, "01.01.2020", "10:00:00",
                                    EntryDuration::ofSeconds(12000), kKindPlain)
                  .code,
              ErrorCode::FieldOverflow);
    EXPECT_EQ(cf.appendArchiveEntry(id, 1000, "01.01.2020", "10:00:00", EntryDuration::ofSeconds(1),
                                    kKindPlain)
                  .code,
              ErrorCode::FieldOverflow);
    EXPECT_EQ(readBytes(cf.archivePath(id)), before);
}

TEST_F(Archive, CountingWithATornTrailingEntry) {
    fill(2);
    test::writeText(cf.archivePath(id), readText(cf.archivePath(id)) + std::string(26, '#'));
    EXPECT_EQ(cf.listArchiveEntries(id).value.size(), 3u); // (L + 1) / 27
    EXPECT_EQ(cf.nextRecordNumber(id), 3);                 // L / 27 + 1

    test::writeText(cf.archivePath(id), readText(cf.archivePath(id)).substr(0, 54 + 25));
    EXPECT_EQ(cf.listArchiveEntries(id).value.size(), 2u);

    // The next append replaces the torn bytes, so entry k stays at 27 * k.
    ASSERT_TRUE(cf.appendArchiveEntry(id, 3, "03.01.2020", "10:00:03", EntryDuration::ofSeconds(5),
                                      kKindPlain));
    EXPECT_EQ(fs::file_size(cf.archivePath(id)), 81u);
    EXPECT_EQ(cf.readArchiveEntry(id, 2).value.number, "  3");
}

// A row the list shows can be removed: a torn last entry without its recording (a filing cut short
// before the recording was written) goes, the whole entries stay; one whose recording exists is
// completed and removed with its recording.
TEST_F(Archive, TornTrailingEntryThatIsListedCanBeRemoved) {
    fill(2);
    const std::string whole = readText(cf.archivePath(id));
    test::writeText(cf.archivePath(id), whole + "  303.01.202010:00:03  30 ");
    ASSERT_EQ(cf.listArchiveEntries(id).value.size(), 3u);
    ASSERT_TRUE(cf.removeArchiveEntry(id, 2));
    EXPECT_EQ(readText(cf.archivePath(id)), whole);
    EXPECT_EQ(cf.removeArchiveEntry(id, 2).code, ErrorCode::OutOfRange);

    test::writeText(cf.archivePath(id), whole + "  303.01.202010:00:03  30 ");
    test::writeText(cf.recordingPath(id, 3), "recording 3");
    ASSERT_TRUE(cf.removeArchiveEntry(id, 0));
    auto list = cf.listArchiveEntries(id).value;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].number, "  2");
    EXPECT_EQ(list[1].date, "03.01.2020");
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 3");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 3)));
}

TEST_F(Archive, RemoveMiddleOfThreeRenumbersAndRenames) {
    fill(3);
    ASSERT_TRUE(cf.removeArchiveEntry(id, 1));
    EXPECT_EQ(readText(cf.archivePath(id)),
              "  101.01.202010:00:01  10    203.01.202010:00:03  30  ");
    EXPECT_EQ(readText(cf.recordingPath(id, 1)), "recording 1");
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 3");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 3)));
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    EXPECT_EQ(cf.nextRecordNumber(id), 3);
}

TEST_F(Archive, RemoveFirstOfThree) {
    fill(3);
    ASSERT_TRUE(cf.removeArchiveEntry(id, 0));
    auto list = cf.listArchiveEntries(id).value;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].number, "  1");
    EXPECT_EQ(list[0].date, "02.01.2020");
    EXPECT_EQ(list[0].kind, "A2");
    EXPECT_EQ(list[1].number, "  2");
    EXPECT_EQ(list[1].time, "10:00:03");
    EXPECT_EQ(readText(cf.recordingPath(id, 1)), "recording 2");
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 3");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 3)));
}

TEST_F(Archive, RemoveLastDeletesItsRecordingAndRenamesNothing) {
    fill(3);
    ASSERT_TRUE(cf.removeArchiveEntry(id, 2));
    EXPECT_EQ(cf.listArchiveEntries(id).value.size(), 2u);
    EXPECT_EQ(readText(cf.recordingPath(id, 1)), "recording 1");
    EXPECT_EQ(readText(cf.recordingPath(id, 2)), "recording 2");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 3)));
}

TEST_F(Archive, RemoveRenumbersBeyondNine) {
    fill(12);
    ASSERT_TRUE(cf.removeArchiveEntry(id, 0));
    auto list = cf.listArchiveEntries(id).value;
    ASSERT_EQ(list.size(), 11u);
    EXPECT_EQ(list[9].number, " 10");
    EXPECT_EQ(list[10].number, " 11");
    EXPECT_EQ(readText(cf.recordingPath(id, 9)), "recording 10");
    EXPECT_EQ(readText(cf.recordingPath(id, 11)), "recording 12");
    EXPECT_FALSE(fs::exists(cf.recordingPath(id, 12)));
}

TEST_F(Archive, RemoveOutOfRangeChangesNothing) {
    fill(2);
    auto before = readBytes(cf.archivePath(id));
    EXPECT_EQ(cf.removeArchiveEntry(id, 2).code, ErrorCode::OutOfRange);
    EXPECT_EQ(readBytes(cf.archivePath(id)), before);
    EXPECT_TRUE(fs::exists(cf.recordingPath(id, 2)));
}

} // namespace
} // namespace velkard::cardfile
