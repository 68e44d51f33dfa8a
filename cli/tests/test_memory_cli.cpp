// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli memory against the simulated instrument's memory card on a pseudo-terminal.
#include "cli/tests/RunCli.h"
#include "sim/testing/ServedMemoryCard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

namespace velkard::cli::test {
namespace {

namespace fs = std::filesystem;

std::string slurpFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A simulated instrument serving a memory card folder on a pseudo-terminal.
// The served card, checked: a pty that cannot be opened fails the test that asked for it.
class ServedMemoryCard : public sim::testing::ServedMemoryCard {
public:
    ServedMemoryCard(const fs::path& dir, const std::function<void(sim::MemoryCard&)>& setUp = {})
        : sim::testing::ServedMemoryCard(dir, setUp) {
        EXPECT_TRUE(ok()) << error();
    }
};

class MemoryCli : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(card);
        std::ofstream(card / "A2000001.DAT", std::ios::binary) << std::string(7000, 'a');
        std::ofstream(card / "ECG00001.DAT", std::ios::binary) << std::string(2989, 'e');
        fs::create_directory(card / "OLD");
    }
    TempDir dir;
    const fs::path card = dir / "card";
};

TEST_F(MemoryCli, ListPrintsOneEntryPerLine) {
    ServedMemoryCard served(card);
    const CliResult r = runCli({"memory", "--port", served.path(), "list"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A2000001.DAT\nECG00001.DAT\nOLD/\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(MemoryCli, GetCopiesIntoTempOfTheFolder) {
    ServedMemoryCard served(card);
    const fs::path work = dir / "work";
    fs::create_directory(work);
    const CliResult r = runCli({"memory", "--port", served.path(), "--dir", work.string(), "get",
                                "ECG00001.DAT", "A2000001.DAT"},
                               dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurpFile(work / "temp" / "ECG00001.DAT"), slurpFile(card / "ECG00001.DAT"));
    EXPECT_EQ(slurpFile(work / "temp" / "A2000001.DAT"), slurpFile(card / "A2000001.DAT"));
    EXPECT_NE(r.out.find("ECG00001.DAT"), std::string::npos);
    EXPECT_NE(r.out.find("A2000001.DAT"), std::string::npos);
    EXPECT_TRUE(fs::exists(card / "ECG00001.DAT")); // a copy, not a move
}

TEST_F(MemoryCli, DeleteRemovesOnlyTheNamedFiles) {
    ServedMemoryCard served(card);
    const CliResult r =
        runCli({"memory", "--port", served.path(), "delete", "A2000001.DAT"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(card / "A2000001.DAT"));
    EXPECT_TRUE(fs::exists(card / "ECG00001.DAT"));
    EXPECT_FALSE(fs::exists(dir / "temp")); // delete downloads nothing
}

TEST_F(MemoryCli, FailuresGiveOneLineAndStatusOne) {
    {
        ServedMemoryCard served(card);
        const CliResult r =
            runCli({"memory", "--port", served.path(), "get", "NOPE.DAT"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "velkard-cli: нет такого файла на карте: NOPE.DAT\n");
        EXPECT_FALSE(fs::exists(dir / "temp" / "NOPE.DAT"));
    }
    {
        ServedMemoryCard served(card, [](sim::MemoryCard& c) { c.faults().cardMissing = true; });
        const CliResult r = runCli({"memory", "--port", served.path(), "list"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "velkard-cli: SD карта не найдена\n");
        EXPECT_EQ(r.out, "");
    }
    const CliResult none =
        runCli({"memory", "--port", (dir / "no-such-tty").string(), "list"}, dir.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "velkard-cli: Прибор не найден\n");

    EXPECT_EQ(runCli({"memory", "--port", "SIM"}, dir.path()).status, 2);
    EXPECT_EQ(runCli({"memory", "list"}, dir.path()).status, 2);
    EXPECT_EQ(runCli({"memory", "--port", "SIM", "get"}, dir.path()).status, 2);
}

TEST_F(MemoryCli, HostileNameIsRefusedAndNothingLandsOutsideTemp) {
    ServedMemoryCard served(card, [](sim::MemoryCard& c) { c.addFile("../planted", "evil"); });
    const fs::path work = dir / "work";
    fs::create_directory(work);
    const CliResult r =
        runCli({"memory", "--port", served.path(), "--dir", work.string(), "get", "../planted"},
               dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("файл пропущен"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(work / "planted"));
    EXPECT_TRUE(fs::is_empty(work / "temp"));
}

} // namespace
} // namespace velkard::cli::test
