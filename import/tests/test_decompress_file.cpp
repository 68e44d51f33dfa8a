// SPDX-License-Identifier: GPL-3.0-or-later
// Compressed files written and read piece by piece: the file forms agree byte for byte with the
// in-memory ones, and a stream found damaged late leaves nothing behind.
#include "import/Decompress.h"

#include "import/Lzw.h"
#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

namespace velkard::import {
namespace {

using Bytes = std::vector<std::uint8_t>;
using signal::test::ScratchDir;

// A device file of `records` records of a slowly wandering signal (multiples of 8), then `extra`
// bytes of a partial record.
Bytes longDeviceFile(std::size_t records, std::size_t extra, std::int16_t count) {
    signal::DeviceHeader h;
    h.setRate(800);
    h.setRecordCount(count);
    Bytes file(h.bytes().begin(), h.bytes().end());
    std::mt19937 rng(9);
    int level[8] = {};
    for (std::size_t r = 0; r < records; ++r)
        for (int ch = 0; ch < 8; ++ch) {
            level[ch] = std::clamp(level[ch] + static_cast<int>(rng() % 7) - 3, -4000, 4000);
            std::uint8_t le[2];
            signal::writeLe16(le, static_cast<std::int16_t>(8 * level[ch]));
            file.insert(file.end(), le, le + 2);
        }
    for (std::size_t i = 0; i < extra; ++i)
        file.push_back(static_cast<std::uint8_t>(8 * i));
    return file;
}

TEST(DecompressFile, LongFilesRoundTripThroughFilesAndMemoryAlike) {
    ScratchDir dir;
    // 100 s, more than the header's count can say, and a partial record with an odd byte; then a
    // file whose count is hostile (claims the most records) but holds few.
    for (auto [records, extra, count] :
         {std::tuple<std::size_t, std::size_t, std::int16_t>{80000, 7, 32767},
          {20, 0, 32767},
          {0, 0, -5}}) {
        const Bytes device = longDeviceFile(records, extra, count);
        signal::test::writeBytes(dir / "in.ecg", device);
        ASSERT_TRUE(compressEcxFile(dir / "in.ecg", dir / "in.ecx").ok());
        const Bytes ecx = signal::test::readBytes(dir / "in.ecx");
        EXPECT_EQ(ecx, compressToEcx(device)) << records;
        ASSERT_TRUE(decompressEcxFile(dir / "in.ecx", dir / "out.ecg").ok());
        EXPECT_EQ(signal::test::readBytes(dir / "out.ecg"), device) << records;
        signal::BytesResult inMemory = decompressEcx(dir / "in.ecx");
        ASSERT_TRUE(inMemory.ok()) << inMemory.message;
        EXPECT_EQ(inMemory.value, device) << records;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.ecg", "in.ecx", "out.ecg"}));
}

TEST(DecompressFile, DamageFoundLateLeavesTheOldFileAndNoTemporary) {
    ScratchDir dir;
    const Bytes device = longDeviceFile(80000, 0, 100);
    Bytes ecx = compressToEcx(device);
    for (std::size_t i = ecx.size() - 64; i < ecx.size(); ++i)
        ecx[i] = 0xFF; // codes far beyond the dictionary, after megabytes of good data
    ASSERT_FALSE(decompressEcxBytes(ecx).ok());
    signal::test::writeBytes(dir / "bad.ecx", ecx);
    signal::test::writeBytes(dir / "out.ecg", {1, 2, 3});
    Status st = decompressEcxFile(dir / "bad.ecx", dir / "out.ecg");
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message.find("bad.ecx"), std::string::npos) << st.message;
    EXPECT_EQ(signal::test::readBytes(dir / "out.ecg"), (Bytes{1, 2, 3}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.ecx", "out.ecg"}));

    // Too short for its header: nothing is created either.
    Bytes shortStream(ecx.begin(), ecx.begin() + 60);
    signal::test::writeBytes(dir / "short.ecx", shortStream);
    st = decompressEcxFile(dir / "short.ecx", dir / "new.ecg");
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message.find("512"), std::string::npos) << st.message;
    EXPECT_FALSE(std::filesystem::exists(dir / "new.ecg"));
}

} // namespace
} // namespace velkard::import
