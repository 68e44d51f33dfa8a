// SPDX-License-Identifier: GPL-3.0-or-later
// The lead list beside a recording filed from a file that lacks leads: written with the recording,
// read back only for the recording it was written for, carried along when an entry is removed
// and the later ones renumbered, gone with its recording or patient, and never given to the next
// recording filed under a number an older installation freed.
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"

#include <gtest/gtest.h>

namespace velkard::cardfile {
namespace {

using test::readText;
using test::ScratchDir;
using test::writeText;
namespace fs = std::filesystem;

LeadSet without(std::initializer_list<int> absent) {
    LeadSet s;
    s.fill(true);
    for (int l : absent)
        s[static_cast<std::size_t>(l)] = false;
    return s;
}

std::vector<std::uint8_t> recording(std::uint8_t fill) {
    return std::vector<std::uint8_t>(16 * 800, fill);
}

class LeadLists : public ::testing::Test {
protected:
    void SetUp() override {
        NewPatientInput in;
        in.name = "Alpha";
        in.policy = "P-1";
        auto p = createNewPatient(cf, in, true);
        ASSERT_TRUE(p) << p.message;
        id = p.value.id;
    }
    // Files recording n (its bytes all n) with the lead list of `present`, or without one.
    void file(int n, const std::optional<LeadSet>& present) {
        const auto body = recording(static_cast<std::uint8_t>(n));
        const std::string leads = present ? encodeLeadsFile(*present, body) : std::string();
        auto filed = cf.fileRecording(id, body, "01.01.2020", "10:00:00",
                                      EntryDuration::ofSeconds(1), kKindPlain, leads);
        ASSERT_TRUE(filed) << filed.message;
        ASSERT_EQ(filed.value, n);
    }
    std::optional<LeadSet> read(int n) {
        auto r = cf.readLeads(id, n);
        EXPECT_TRUE(r) << r.message;
        return r.value;
    }

    ScratchDir dir;
    CardFile cf{dir.path()};
    std::string id;
};

TEST(LeadListFile, NamesTheAbsentLeadsAndTheRecordingItBelongsTo) {
    const auto body = recording(7);
    const LeadSet present = without({0, 2, 3, 4, 5});
    const std::string text = encodeLeadsFile(present, body);
    EXPECT_TRUE(text.starts_with("velkard leads 1\nabsent I III aVR aVL aVF\nrecording 12800 "))
        << text;
    EXPECT_EQ(decodeLeadsFile(text, body), present);
    // Another recording (one byte changed, or one record more) is not the one it was written for.
    auto changed = body;
    changed[5000] ^= 1;
    EXPECT_EQ(decodeLeadsFile(text, changed), std::nullopt);
    auto longer = body;
    longer.resize(longer.size() + 16, 7);
    EXPECT_EQ(decodeLeadsFile(text, longer), std::nullopt);
    // Torn, unknown or damaged files count as none.
    EXPECT_EQ(decodeLeadsFile(text.substr(0, text.size() - 1), body), std::nullopt);
    EXPECT_EQ(decodeLeadsFile("", body), std::nullopt);
    std::string unknown = text;
    unknown.replace(unknown.find("aVL"), 3, "aVX");
    EXPECT_EQ(decodeLeadsFile(unknown, body), std::nullopt);
    std::string version = text;
    version[14] = '2';
    EXPECT_EQ(decodeLeadsFile(version, body), std::nullopt);
    // A later line an older reader does not know is no reason to drop what it does know.
    EXPECT_EQ(decodeLeadsFile(text + "origin EDF\n", body), present);
}

TEST_F(LeadLists, FiledWithTheRecordingAndReadBack) {
    file(1, without({6, 7}));
    file(2, std::nullopt);
    EXPECT_EQ(cf.leadsPath(id, 1), cf.dataDir() / (id + "_ 1.lds"));
    EXPECT_EQ(read(1), without({6, 7}));
    EXPECT_EQ(read(2), std::nullopt);
    EXPECT_FALSE(fs::exists(cf.leadsPath(id, 2)));
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    // The recording changed by hand: its list no longer applies.
    test::writeBytes(cf.recordingPath(id, 1), recording(9));
    EXPECT_EQ(read(1), std::nullopt);
}

TEST_F(LeadLists, RemovingAnEntryTakesItsListAndRenumbersTheLaterOnes) {
    file(1, without({0}));
    file(2, without({1}));
    file(3, std::nullopt);
    file(4, without({11}));
    ASSERT_TRUE(cf.removeArchiveEntry(id, 1));
    EXPECT_EQ(read(1), without({0}));
    EXPECT_EQ(test::readBytes(cf.recordingPath(id, 2)), recording(3));
    EXPECT_EQ(read(2), std::nullopt) << "recording 3 had no list";
    EXPECT_FALSE(fs::exists(cf.leadsPath(id, 2)));
    EXPECT_EQ(test::readBytes(cf.recordingPath(id, 3)), recording(4));
    EXPECT_EQ(read(3), without({11}));
    EXPECT_FALSE(fs::exists(cf.leadsPath(id, 4)));
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());

    ASSERT_TRUE(cf.removePatient(0, id));
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(fs::exists(cf.leadsPath(id, n))) << n;
}

TEST_F(LeadLists, AnOlderInstallationsRenumberingDoesNotMisplaceThem) {
    // An older installation removed entry 1: recording 2 became 1, the lists stayed where they
    // were. Recording 1's list (written for the removed one) does not apply to it, and the list
    // left at 2 is kept aside when the next recording takes that number.
    file(1, without({0}));
    file(2, without({1}));
    const auto second = test::readBytes(cf.recordingPath(id, 2));
    test::writeBytes(cf.recordingPath(id, 1), second);
    fs::remove(cf.recordingPath(id, 2));
    const auto archive = test::readBytes(cf.archivePath(id));
    test::writeBytes(cf.archivePath(id),
                     std::vector<std::uint8_t>(archive.begin(), archive.begin() + 27));
    EXPECT_EQ(read(1), std::nullopt);
    file(2, std::nullopt);
    EXPECT_EQ(read(2), std::nullopt);
    bool kept = false;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().starts_with("unfiled_") && e.path().extension() == ".lds")
            kept = readText(e.path()).find("absent II\n") != std::string::npos;
    EXPECT_TRUE(kept);
}

} // namespace
} // namespace velkard::cardfile
