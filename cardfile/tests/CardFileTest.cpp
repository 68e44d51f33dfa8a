// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"

#include <gtest/gtest.h>
#include <set>

#include <cstring>

namespace velkard::cardfile {
namespace {

using test::readBytes;
using test::readText;
using test::ScratchDir;
using test::writeBytes;
namespace fs = std::filesystem;

PatientRecord ivanov(std::string id = "4c2f9a10") {
    PatientRecord r;
    r.name = "Иванов Иван Иванович";
    r.birthDate = "05.03.1961";
    r.sex = "Муж";
    r.birthplace = "Москва";
    r.address = "ул. Ленина, 1";
    r.telephone = "+7 495 1234567";
    r.policy = "7700 123456";
    r.id = std::move(id);
    return r;
}

std::string field(const PatientBytes& b, std::size_t offset, std::size_t width) {
    return std::string(reinterpret_cast<const char*>(b.data() + offset), width);
}

TEST(PatientRecordLayout, FieldsSitAtTheirOffsetsInWindows1251) {
    auto b = encodePatientRecord(ivanov());
    // "Иванов" in Windows-1251.
    EXPECT_EQ(field(b, 0, 6), "\xC8\xE2\xE0\xED\xEE\xE2");
    EXPECT_EQ(b[20], 0); // 20 characters, then the terminator
    EXPECT_EQ(field(b, 30, 11), std::string("05.03.1961\0", 11));
    EXPECT_EQ(field(b, 41, 3), "\xCC\xF3\xE6"); // "Муж", no terminator
    EXPECT_EQ(field(b, 44, 6), "\xCC\xEE\xF1\xEA\xE2\xE0");
    EXPECT_EQ(b[50], 0);
    EXPECT_EQ(field(b, 94, 3), "\xF3\xEB.");
    EXPECT_EQ(field(b, 144, 15), std::string("+7 495 1234567\0", 15));
    EXPECT_EQ(field(b, 160, 11), "7700 123456");
    EXPECT_EQ(b[171], 0);
    EXPECT_EQ(field(b, 190, 8), "4c2f9a10");
}

TEST(PatientRecordLayout, RoundTripsCyrillicAndCutsToTheFieldWidths) {
    PatientRecord r = ivanov();
    r.name = std::string("Константинопольский Александр"); // 29 characters exactly
    EXPECT_EQ(decodePatientRecord(encodePatientRecord(r)), r);

    r.name = "Абвгдеёжзийклмнопрстуфхцчшщъыьэюя"; // 33 characters
    r.birthplace = std::string(60, 'x');
    r.telephone = "12345678901234567890";
    r.policy = std::string(40, '9');
    auto back = decodePatientRecord(encodePatientRecord(r));
    EXPECT_EQ(back.name, "Абвгдеёжзийклмнопрстуфхцчшщъы"); // first 29
    EXPECT_EQ(back.birthplace, std::string(49, 'x'));
    EXPECT_EQ(back.telephone, "123456789012345");
    EXPECT_EQ(back.policy, std::string(29, '9'));
    EXPECT_EQ(back.address, r.address);
}

TEST(PatientRecordLayout, SexOfThreeHasNoTerminatorAndEmptySexIsEmpty) {
    PatientRecord r = ivanov();
    r.sex = "men";
    r.birthplace = "";
    auto b = encodePatientRecord(r);
    EXPECT_EQ(field(b, 41, 4), std::string("men\0", 4));
    EXPECT_EQ(decodePatientRecord(b).sex, "men");

    r.sex = "";
    b = encodePatientRecord(r);
    EXPECT_EQ(b[41], 0);
    EXPECT_EQ(decodePatientRecord(b).sex, "");
}

TEST(PatientRecordLayout, ShortRecordReadsMissingFieldsAsEmpty) {
    auto b = encodePatientRecord(ivanov());
    auto r = decodePatientRecord(std::span<const std::uint8_t>(b.data(), 197));
    EXPECT_EQ(r.id, "4c2f9a1");
    EXPECT_EQ(r.name, "Иванов Иван Иванович");
    r = decodePatientRecord(std::span<const std::uint8_t>(b.data(), 35));
    EXPECT_EQ(r.birthDate, "05.03");
    EXPECT_EQ(r.policy, "");
}

TEST(Names, PatientIdsAndRecordingFileNames) {
    EXPECT_EQ(formatPatientId(0x4C2F9A10), "4c2f9a10");
    EXPECT_EQ(formatPatientId(0xFF), "      ff");
    EXPECT_EQ(recordingFileName("4c2f9a10", 7), "4c2f9a10_ 7.dat");
    EXPECT_EQ(recordingFileName("4c2f9a10", 12), "4c2f9a10_12.dat");
    EXPECT_EQ(recordingFileName("4c2f9a10", 123), "4c2f9a10_123.dat");
    CardFile cf("/w");
    EXPECT_EQ(cf.recordingPath("4c2f9a10", 7), fs::path("/w/DATA_BASE/4c2f9a10_ 7.dat"));
    EXPECT_EQ(cf.archivePath("4c2f9a10"), fs::path("/w/DATA_BASE/4c2f9a10"));
    EXPECT_EQ(formatDate(5, 3, 2009), "05.03.2009");
    EXPECT_EQ(formatTime(7, 5, 9), "07:05:09");
}

TEST(Names, HostileIdsAreRefused) {
    EXPECT_TRUE(isValidPatientId("4c2f9a10"));
    EXPECT_TRUE(isValidPatientId("      ff"));
    EXPECT_FALSE(isValidPatientId("../../x1"));
    EXPECT_FALSE(isValidPatientId("4c2f9a1"));
    EXPECT_FALSE(isValidPatientId("        "));
    EXPECT_FALSE(isValidPatientId(std::string("4c2f\0a10", 8)));

    ScratchDir dir;
    CardFile cf(dir.path());
    auto s = cf.createPatientArchive("../../x1");
    EXPECT_FALSE(s);
    EXPECT_EQ(s.code, ErrorCode::InvalidArgument);
    EXPECT_FALSE(fs::exists(dir.path() / "x1"));
    EXPECT_FALSE(cf.listArchiveEntries("..\\..\\x1"));
}

TEST(PatientIndex, MissingIndexIsCreatedEmpty) {
    ScratchDir dir;
    CardFile cf(dir.path());
    auto list = cf.listPatients();
    ASSERT_TRUE(list) << list.message;
    EXPECT_TRUE(list.value.empty());
    EXPECT_TRUE(fs::is_directory(dir.path() / "DATA_BASE"));
    ASSERT_TRUE(fs::exists(cf.indexPath()));
    EXPECT_EQ(fs::file_size(cf.indexPath()), 0u);
}

TEST(PatientIndex, UnusableIndexIsReportedNotTruncated) {
    ScratchDir dir;
    CardFile cf(dir.path());
    fs::create_directories(cf.indexPath()); // a folder where the index should be
    auto list = cf.listPatients();
    EXPECT_FALSE(list);
    EXPECT_EQ(list.code, ErrorCode::IndexUnavailable);
    EXPECT_FALSE(cf.appendPatientRecord(ivanov()));
}

TEST(PatientIndex, AppendReadAndListAreByteExact) {
    ScratchDir dir;
    CardFile cf(dir.path());
    auto a = ivanov("4c2f9a10");
    auto b = ivanov("4c2f9a11");
    b.name = "Петрова Анна";
    b.sex = "Жен";
    ASSERT_TRUE(cf.appendPatientRecord(a));
    ASSERT_TRUE(cf.appendPatientRecord(b));

    auto bytes = readBytes(cf.indexPath());
    ASSERT_EQ(bytes.size(), 2 * kPatientRecordBytes);
    auto ea = encodePatientRecord(a);
    auto eb = encodePatientRecord(b);
    EXPECT_TRUE(std::equal(ea.begin(), ea.end(), bytes.begin()));
    EXPECT_TRUE(std::equal(eb.begin(), eb.end(), bytes.begin() + 198));

    auto list = cf.listPatients();
    ASSERT_TRUE(list);
    ASSERT_EQ(list.value.size(), 2u);
    EXPECT_EQ(list.value[1], b);
    auto one = cf.readPatient(0);
    ASSERT_TRUE(one);
    EXPECT_EQ(one.value, a);
    EXPECT_EQ(cf.readPatient(2).code, ErrorCode::OutOfRange);
}

TEST(PatientIndex, RowCountIncludesARecordShortByOneByte) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.openPatientIndex());
    auto rec = encodePatientRecord(ivanov());
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 3; ++i)
        bytes.insert(bytes.end(), rec.begin(), rec.end());

    bytes.resize(2 * 198 + 197);
    writeBytes(cf.indexPath(), bytes);
    auto list = cf.listPatients();
    ASSERT_EQ(list.value.size(), 3u);
    EXPECT_EQ(list.value[2].id, "4c2f9a1");
    EXPECT_EQ(cf.openPatientIndex().value, 2u * 198 + 197);

    bytes.resize(2 * 198 + 196);
    writeBytes(cf.indexPath(), bytes);
    EXPECT_EQ(cf.listPatients().value.size(), 2u);
}

TEST(PatientIndex, AppendAfterATornRecordKeepsRecordsAligned) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.openPatientIndex());
    auto rec = encodePatientRecord(ivanov("4c2f9a10"));
    writeBytes(cf.indexPath(), std::vector<std::uint8_t>(rec.begin(), rec.begin() + 100));
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("4c2f9a11")));
    // The torn fragment never becomes a row of its own (whose ID no command could name): the
    // change cuts it off.
    EXPECT_EQ(fs::file_size(cf.indexPath()), kPatientRecordBytes);
    auto list = cf.listPatients();
    ASSERT_EQ(list.value.size(), 1u);
    EXPECT_EQ(list.value[0].id, "4c2f9a11");
}

TEST(PatientIndex, RowsWithoutAValidIdCanBeRemovedFromTheIndexAlone) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("4c2f9a10")));
    auto damaged = encodePatientRecord(ivanov("4c2f9a11"));
    std::memcpy(damaged.data() + 190, "4c/../x1", 8); // not an ID: must never name a file
    auto bytes = readBytes(cf.indexPath());
    bytes.insert(bytes.end(), damaged.begin(), damaged.end());
    auto good = encodePatientRecord(ivanov("4c2f9a12"));
    bytes.insert(bytes.end(), good.begin(), good.end());
    // A torn fragment of 197 bytes is listed as a row, too.
    bytes.insert(bytes.end(), good.begin(), good.begin() + 197);
    writeBytes(cf.indexPath(), bytes);
    test::writeText(cf.archivePath("4c2f9a12"), "");

    auto list = cf.listPatients().value;
    ASSERT_EQ(list.size(), 4u);
    ASSERT_FALSE(isValidPatientId(list[1].id));
    ASSERT_TRUE(cf.removePatient(1, list[1].id)) << "a damaged row can be removed";
    list = cf.listPatients().value;
    ASSERT_EQ(list.size(), 2u) << "the damaged row and the torn fragment are gone";
    EXPECT_EQ(list[0].id, "4c2f9a10");
    EXPECT_EQ(list[1].id, "4c2f9a12");
    EXPECT_TRUE(fs::exists(cf.archivePath("4c2f9a12")));

    // The torn row alone, too.
    bytes = readBytes(cf.indexPath());
    bytes.insert(bytes.end(), good.begin(), good.begin() + 197);
    writeBytes(cf.indexPath(), bytes);
    list = cf.listPatients().value;
    ASSERT_EQ(list.size(), 3u);
    ASSERT_TRUE(cf.removePatient(2, list[2].id));
    EXPECT_EQ(fs::file_size(cf.indexPath()), 2 * kPatientRecordBytes);
    EXPECT_TRUE(fs::exists(cf.archivePath("4c2f9a12")));
}

TEST(PatientIndex, RewriteKeepsTheStoredId) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("4c2f9a10")));
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("4c2f9a11")));
    auto changed = ivanov("deadbeef");
    changed.name = "Сидоров";
    changed.policy = "";
    // A record read before another workstation changed the index names another patient now.
    EXPECT_EQ(cf.rewritePatientRecord(1, changed).code, ErrorCode::InvalidArgument);
    EXPECT_EQ(cf.readPatient(1).value, ivanov("4c2f9a11"));
    changed.id = "";
    ASSERT_TRUE(cf.rewritePatientRecord(1, changed));
    auto r = cf.readPatient(1).value;
    EXPECT_EQ(r.name, "Сидоров");
    EXPECT_EQ(r.policy, "");
    EXPECT_EQ(r.id, "4c2f9a11");
    EXPECT_EQ(cf.readPatient(0).value, ivanov("4c2f9a10"));
    EXPECT_EQ(fs::file_size(cf.indexPath()), 2 * kPatientRecordBytes);
    EXPECT_EQ(cf.rewritePatientRecord(2, changed).code, ErrorCode::OutOfRange);
}

TEST(PatientIds, TakenFromTheClockAndNeverShared) {
    ScratchDir dir;
    CardFile cf(dir.path());
    cf.setClock([] { return std::int64_t{0x4C2F9A10}; });
    EXPECT_EQ(cf.newPatientId(), "4c2f9a10");

    // Same second, archive already there: the next free second.
    ASSERT_TRUE(cf.createPatientArchive("4c2f9a10"));
    EXPECT_EQ(cf.newPatientId(), "4c2f9a11");

    // A record in the index without its archive blocks its ID as well.
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("4c2f9a11")));
    EXPECT_EQ(cf.newPatientId(), "4c2f9a12");

    cf.setClock([] { return std::int64_t{0xFF}; });
    EXPECT_EQ(cf.newPatientId(), "      ff");
}

// A removed patient's ID is never handed out again, even in the same second and by another
// CardFile object (another workstation): a stale selection must not file into a new patient.
TEST(PatientIds, ARemovedPatientsIdIsNotReused) {
    ScratchDir dir;
    CardFile cf(dir.path());
    cf.setClock([] { return std::int64_t{0x4C2F9A10}; });
    NewPatientInput in;
    in.name = "Иванов";
    in.policy = "1";
    std::set<std::string> given;
    for (int round = 0; round < 3; ++round) {
        auto made = createNewPatient(cf, in, true);
        ASSERT_TRUE(made) << made.message;
        EXPECT_TRUE(given.insert(made.value.id).second) << "ID " << made.value.id << " reused";
        ASSERT_TRUE(cf.removePatient(0, made.value.id));
        ASSERT_TRUE(cf.listPatients().value.empty());
    }
    CardFile other(dir.path());
    other.setClock([] { return std::int64_t{0x4C2F9A10}; });
    auto made = createNewPatient(other, in, true);
    ASSERT_TRUE(made);
    EXPECT_FALSE(given.contains(made.value.id));
    EXPECT_EQ(made.value.id, "4c2f9a13");
}

TEST(PatientArchive, CreateIsEmptyAndLeavesAnExistingOneAlone) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.createPatientArchive("4c2f9a10"));
    EXPECT_EQ(fs::file_size(cf.archivePath("4c2f9a10")), 0u);
    test::writeText(cf.archivePath("4c2f9a10"), std::string(27, 'e'));
    ASSERT_TRUE(cf.createPatientArchive("4c2f9a10"));
    EXPECT_EQ(readText(cf.archivePath("4c2f9a10")), std::string(27, 'e'));
}

class RemovePatient : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* id : {"0000000a", "0000000b", "0000000c"}) {
            auto r = ivanov(id);
            r.name = std::string("patient ") + id;
            ASSERT_TRUE(cf.appendPatientRecord(r));
            ASSERT_TRUE(cf.createPatientArchive(id));
            for (int n = 1; n <= 2; ++n) {
                ASSERT_TRUE(cf.appendArchiveEntry(id, n, "01.01.2020", "10:00:00",
                                                  EntryDuration::ofSeconds(10), kKindPlain));
                test::writeText(cf.recordingPath(id, n), std::string(id) + std::to_string(n));
            }
        }
    }
    ScratchDir dir;
    CardFile cf{dir.path()};
};

TEST_F(RemovePatient, MiddleOfThreeDropsItsRecordRecordingsAndArchive) {
    auto before = readBytes(cf.indexPath());
    ASSERT_TRUE(cf.removePatient(1, "0000000b"));
    auto after = readBytes(cf.indexPath());
    ASSERT_EQ(after.size(), 2 * kPatientRecordBytes);
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 198, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 198, after.end(), before.begin() + 396));

    EXPECT_FALSE(fs::exists(cf.archivePath("0000000b")));
    EXPECT_FALSE(fs::exists(cf.recordingPath("0000000b", 1)));
    EXPECT_FALSE(fs::exists(cf.recordingPath("0000000b", 2)));
    EXPECT_EQ(readText(cf.recordingPath("0000000a", 2)), "0000000a2");
    EXPECT_EQ(readText(cf.recordingPath("0000000c", 1)), "0000000c1");
    EXPECT_EQ(cf.listArchiveEntries("0000000c").value.size(), 2u);
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
}

TEST_F(RemovePatient, LastAndOnlyRemainingPatient) {
    ASSERT_TRUE(cf.removePatient(2, "0000000c"));
    ASSERT_TRUE(cf.removePatient(0, "0000000a"));
    ASSERT_TRUE(cf.removePatient(0, "0000000b"));
    EXPECT_EQ(fs::file_size(cf.indexPath()), 0u);
    EXPECT_TRUE(cf.listPatients().value.empty());
}

TEST_F(RemovePatient, WrongIdOrPositionChangesNothing) {
    auto before = readBytes(cf.indexPath());
    auto s = cf.removePatient(1, "0000000a");
    EXPECT_EQ(s.code, ErrorCode::InvalidArgument);
    EXPECT_EQ(cf.removePatient(3, "0000000a").code, ErrorCode::OutOfRange);
    EXPECT_EQ(readBytes(cf.indexPath()), before);
    EXPECT_TRUE(fs::exists(cf.archivePath("0000000a")));
    EXPECT_TRUE(fs::exists(cf.recordingPath("0000000a", 1)));
}

TEST_F(RemovePatient, MissingArchiveDeletesNoRecordings) {
    fs::remove(cf.archivePath("0000000b"));
    ASSERT_TRUE(cf.removePatient(1, "0000000b"));
    // Without an archive there is no count of recordings to delete.
    EXPECT_TRUE(fs::exists(cf.recordingPath("0000000b", 1)));
    EXPECT_EQ(cf.listPatients().value.size(), 2u);
}

TEST(NewPatient, ChecksNameAndPolicy) {
    NewPatientInput in;
    EXPECT_EQ(checkNewPatient(in), NewPatientCheck::NameAndPolicyMissing);
    in.name = "Иванов";
    EXPECT_EQ(checkNewPatient(in), NewPatientCheck::PolicyMissing);
    in.policy = "1";
    EXPECT_EQ(checkNewPatient(in), NewPatientCheck::Ok);
    in.name.clear();
    EXPECT_EQ(checkNewPatient(in), NewPatientCheck::NameMissing);

    ScratchDir dir;
    CardFile cf(dir.path());
    auto r = createNewPatient(cf, in, true);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.code, ErrorCode::InvalidArgument);
    EXPECT_FALSE(fs::exists(cf.indexPath()) && fs::file_size(cf.indexPath()) > 0);
}

TEST(NewPatient, CreatesArchiveAndRecordWithStoredWidths) {
    ScratchDir dir;
    CardFile cf(dir.path());
    cf.setClock([] { return std::int64_t{0x4C2F9A10}; });
    NewPatientInput in;
    in.name = std::string(35, 'N');
    in.sex = "wom";
    in.birthDate = formatDate(1, 2, 1990);
    in.policy = "P-1";

    auto first = createNewPatient(cf, in, true);
    ASSERT_TRUE(first) << first.message;
    EXPECT_EQ(first.value.id, "4c2f9a10");
    EXPECT_EQ(first.value.name, std::string(29, 'N'));
    EXPECT_EQ(first.value.birthDate, "01.02.1990");
    EXPECT_TRUE(fs::exists(cf.archivePath("4c2f9a10")));

    // A second patient in the same second gets its own ID and archive.
    auto second = createNewPatient(cf, in, true);
    ASSERT_TRUE(second);
    EXPECT_EQ(second.value.id, "4c2f9a11");
    auto list = cf.listPatients().value;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], first.value);
    EXPECT_EQ(list[1], second.value);

    // Without self-append only the archive is made; the caller appends.
    auto third = createNewPatient(cf, in, false);
    ASSERT_TRUE(third);
    EXPECT_TRUE(fs::exists(cf.archivePath(third.value.id)));
    EXPECT_EQ(cf.listPatients().value.size(), 2u);
}

TEST(NewPatient, ArchiveThatCannotBeCreatedAddsNoPatient) {
    ScratchDir dir;
    CardFile cf(dir.path());
    test::writeText(dir.path() / "DATA_BASE", "a file, not a folder");
    NewPatientInput in;
    in.name = "Иванов";
    in.policy = "1";
    auto r = createNewPatient(cf, in, false);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.code, ErrorCode::ArchiveCreateFailed);
}

} // namespace

// Links inside DATA_BASE that lead elsewhere are never written through: the index and an archive
// linked to files outside the folder are refused, and those files stay as they were.
TEST(Links, CardFileFilesThatAreSymbolicLinksAreNotFollowed) {
    ScratchDir dir;
    ScratchDir outside;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(ivanov("0000000a")));
    ASSERT_TRUE(cf.createPatientArchive("0000000a"));
    const fs::path foreignArchive = outside.path() / "archive";
    const fs::path foreignIndex = outside.path() / "index";
    test::writeText(foreignArchive, "theirs");
    test::writeText(foreignIndex, "theirs");

    fs::remove(cf.archivePath("0000000a"));
    fs::create_symlink(foreignArchive, cf.archivePath("0000000a"));
    auto s = cf.appendArchiveEntry("0000000a", 1, "01.01.2020", "10:00:00",
                                   EntryDuration::ofSeconds(5), kKindPlain);
    EXPECT_FALSE(s);
    EXPECT_EQ(readText(foreignArchive), "theirs");

    fs::remove(cf.indexPath());
    fs::create_symlink(foreignIndex, cf.indexPath());
    EXPECT_FALSE(cf.appendPatientRecord(ivanov("0000000b")));
    EXPECT_EQ(readText(foreignIndex), "theirs");
    EXPECT_TRUE(fs::is_symlink(cf.indexPath()));
}

} // namespace velkard::cardfile
