// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/tests/RunCli.h"
#include "import/Decompress.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace velkard::cli::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes deviceFile(std::size_t bodyValues, std::int16_t rate, std::int16_t count) {
    signal::DeviceHeader h;
    h.setRate(rate);
    h.setRecordCount(count);
    Bytes file(h.bytes().begin(), h.bytes().end());
    for (std::size_t i = 0; i < bodyValues; ++i) {
        std::uint8_t le[2];
        signal::writeLe16(le, static_cast<std::int16_t>(8 * ((i * 37) % 900) - 3600));
        file.insert(file.end(), le, le + 2);
    }
    return file;
}

void save(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes load(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST(ImportCli, CompressThenDecompressGivesTheFileBack) {
    TempDir dir;
    const Bytes device = deviceFile(8 * 2000, 800, 2000);
    save(dir / "rec.ecg", device);
    CliResult c = runCli({"compress", "rec.ecg", "rec.ecx"}, dir.path());
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_LT(load(dir / "rec.ecx").size(), device.size());
    CliResult d = runCli({"decompress", "rec.ecx", "back.ecg"}, dir.path());
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(load(dir / "back.ecg"), device);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"back.ecg", "rec.ecg", "rec.ecx"}));
}

TEST(ImportCli, DecompressToStandardOutputAndItsTiming) {
    TempDir dir;
    const Bytes device = deviceFile(8 * 2000, 800, 2000);
    save(dir / "rec.ecg", device);
    ASSERT_EQ(runCli({"compress", "rec.ecg", "rec.ecx"}, dir.path()).status, 0);
    // "-" writes the device file itself to stdout, and no file.
    CliResult d = runCli({"decompress", "rec.ecx", "-"}, dir.path());
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(Bytes(d.out.begin(), d.out.end()), device);
    EXPECT_FALSE(std::filesystem::exists(dir / "-"));
    // --timing says where the time went, on stderr; the file is written as without it.
    CliResult t = runCli({"decompress", "rec.ecx", "back.ecg", "--timing"}, dir.path());
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(load(dir / "back.ecg"), device);
    EXPECT_NE(t.err.find("decode and write"), std::string::npos) << t.err;
    EXPECT_NE(t.err.find("not flushed"), std::string::npos) << t.err;
    t = runCli({"decompress", "rec.ecx", "back.ecg", "--timing", "--sync"}, dir.path());
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(load(dir / "back.ecg"), device);
    EXPECT_NE(t.err.find("flush"), std::string::npos) << t.err;
    EXPECT_EQ(t.err.find("not flushed"), std::string::npos) << t.err;
    // A damaged stream to stdout is still a failure.
    save(dir / "junk.ecx", Bytes(100, 0xFF));
    EXPECT_EQ(runCli({"decompress", "junk.ecx", "-"}, dir.path()).status, 1);
}

TEST(ImportCli, FullDiskSaysSoAndKeepsTheOldFile) {
    TempDir dir;
    const Bytes device = deviceFile(8 * 4000, 800, 4000);
    save(dir / "rec.ecg", device);
    ASSERT_EQ(runCli({"compress", "rec.ecg", "rec.ecx"}, dir.path()).status, 0);
    const Bytes old = {1, 2, 3};
    save(dir / "old.ecg", old);
    save(dir / "old.ecx", old);
    // Half the compressed file's size stands for the room left on the disk: both outputs are
    // larger.
    const unsigned long room = load(dir / "rec.ecx").size() / 2;
    for (const auto& args : {std::vector<std::string>{"decompress", "rec.ecx", "old.ecg"},
                             std::vector<std::string>{"compress", "rec.ecg", "old.ecx"}}) {
        CliResult r = runCliOnFullDisk(args, dir.path(), room);
        EXPECT_EQ(r.status, 1) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find("Cannot write " + args[2]), std::string::npos) << r.err;
        EXPECT_EQ(load(dir / args[2]), old) << args[0];
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"old.ecg", "old.ecx", "rec.ecg", "rec.ecx"}));
}

TEST(ImportCli, ConvertAndDurationTakeTheKindFromTheName) {
    TempDir dir;
    const Bytes a2 = deviceFile(signal::kA2FullBodyBytes / 2 + 1600, 800, 0);
    save(dir / "A2_0001.ecg", a2);
    CliResult r = runCli({"convert", "A2_0001.ecg", "out.dat"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(load(dir / "out.dat"), signal::convertDeviceBytes(a2, signal::RecordingKind::A2));
    EXPECT_NE(r.out.find("9640"), std::string::npos) << r.out;

    r = runCli({"duration", "A2_0001.ecg"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "12\n");
    // As a plain file its header allows no body at all: the far larger body is refused.
    r = runCli({"duration", "A2_0001.ecg", "--kind", "plain"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("header's record count allows"), std::string::npos) << r.err;

    save(dir / "EC.ecg", deviceFile(8, 800, -1600));
    r = runCli({"duration", "EC.ecg"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("negative record count"), std::string::npos) << r.err;
    r = runCli({"convert", "EC.ecg", "plain.dat", "--kind", "A2"}, dir.path());
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(load(dir / "plain.dat").size(), 16u);
    // A compressed file is decompressed on the way.
    save(dir / "A2_0001.ecx", import::compressToEcx(a2));
    r = runCli({"convert", "A2_0001.ecx", "fromecx.dat"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(load(dir / "fromecx.dat"), load(dir / "out.dat"));
    r = runCli({"duration", "A2_0001.ecx"}, dir.path());
    EXPECT_EQ(r.out, "12\n");
}

TEST(ImportCli, BadInputAndUsageGiveOneLineAndTheRightStatus) {
    TempDir dir;
    save(dir / "junk.ecx", Bytes(200, 0xFF));
    CliResult r = runCli({"decompress", "junk.ecx", "out.ecg"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("junk.ecx"), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.ecg"));

    r = runCli({"convert", "missing.ecg", "out.dat"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.dat"));
    r = runCli({"convert", "a"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"duration", "x.ecg", "--kind", "zz"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"compress", "--help"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("multiple of 8"), std::string::npos);
}

} // namespace
} // namespace velkard::cli::test
