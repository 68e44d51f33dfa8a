// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Decompress.h"
#include "signal/FileIo.h"
#include "signal/SampleRecord.h"
#include "sim/DeviceFiles.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace velkard::sim {
namespace {

std::int16_t at(const std::vector<std::uint8_t>& b, std::size_t offset) {
    return signal::readLe16(b.data() + offset);
}

TEST(DeviceFiles, HeaderHoldsRateCountDateAndTime) {
    const auto h = makeDeviceHeader(800, 8000, {9, 3, 5, 7, 5, 9});
    ASSERT_EQ(h.size(), 512u);
    EXPECT_EQ(at(h, 24), 800);
    EXPECT_EQ(at(h, 48), 8000);
    EXPECT_EQ(at(h, 30), 9);
    EXPECT_EQ(at(h, 32), 0);
    EXPECT_EQ(at(h, 34), 3);
    EXPECT_EQ(at(h, 36), 5);
    EXPECT_EQ(at(h, 38), 7);
    EXPECT_EQ(at(h, 40), 5);
    EXPECT_EQ(at(h, 42), 9);
}

TEST(DeviceFiles, EcgBodyIsTheSyntheticSignal) {
    const auto f = makeDeviceEcg(2.0, 6, {});
    ASSERT_EQ(f.size(), 512u + 1600u * 16u);
    EXPECT_EQ(at(f, 48), 1600);
    const auto expected = SyntheticEcg::records(6, 1600);
    EXPECT_EQ(at(f, 512 + 1599 * 16 + 14), expected[1599].c[7]);
    EXPECT_TRUE(makeDeviceEcg(41.0, 1, {}).empty()); // more records than the count field holds
}

TEST(DeviceFiles, A2HasTheFullPartThenLeadIIAlone) {
    const auto f = makeA2(1.0, 2, {});
    ASSERT_EQ(f.size(), 512u + kA2FullBytes + 800u * 2u);
    const auto expected = SyntheticEcg::records(2, 8040 + 800);
    EXPECT_EQ(at(f, 512 + 8039 * 16 + 2), expected[8039].c[1]);
    EXPECT_EQ(at(f, 512 + kA2FullBytes), expected[8040].c[1]);
    EXPECT_EQ(at(f, f.size() - 2), expected[8839].c[1]);
    EXPECT_EQ(makeA2(0.0, 2, {}).size(), 512u + kA2FullBytes);
}

TEST(DeviceFiles, RhythmogramHoldsPlausibleBeatIntervals) {
    const auto f = makeRhythmogram(100, 4, {});
    ASSERT_EQ(f.size(), 512u + 200u);
    EXPECT_EQ(at(f, 48), 100);
    for (std::size_t i = 0; i < 100; ++i) {
        const int ms = at(f, 512 + 2 * i);
        EXPECT_GT(ms, 600);
        EXPECT_LT(ms, 1100);
    }
}

TEST(DeviceFiles, CompressedFileDecompressesToTheExactDeviceFile) {
    const auto f = makeDeviceEcg(3.0, 8, {24, 1, 2, 3, 4, 5}, true);
    for (std::size_t i = 512; i < f.size(); i += 2)
        ASSERT_EQ(at(f, i) % 8, 0) << "offset " << i;
    const auto ecx = import::compressToEcx(f);
    const auto back = import::decompressEcxBytes(ecx);
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_EQ(back.value, f);
}

TEST(DeviceFiles, MakeCardWritesEveryKindAtomically) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("velkard-card-" + std::to_string(::getpid()));
    std::vector<std::string> names;
    const Status r = makeCard(dir, &names);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(names, (std::vector<std::string>{"ECG00001.DAT", "ECG00002.DAT", "A2000001.DAT",
                                               "VSR00001.DAT", "ECG00003.ECX"}));
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        EXPECT_NE(e.path().extension(), ".tmp");
        ++files;
    }
    EXPECT_EQ(files, names.size());
    EXPECT_EQ(std::filesystem::file_size(dir / "ECG00001.DAT"), 512u + 8000u * 16u);
    const auto rebuilt = import::decompressEcx(dir / "ECG00003.ECX");
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.message;
    EXPECT_EQ(rebuilt.value.size(), 512u + 12000u * 16u);
    std::filesystem::remove_all(dir);

    EXPECT_FALSE(makeCard("/proc/velkard-no-such-card").ok());
    EXPECT_FALSE(signal::writeFileAtomically("/nonexistent/dir/f.dat", {1, 2}).ok());
}

} // namespace
} // namespace velkard::sim
