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

// The ".ecx" format decoded the plain way, from its description alone: the first 54 bytes as
// they are, then codes most significant bit first, the first code after a (re)start 8 bits wide
// and adding no entry, then 9 to 12 bits as the dictionary fills, a restart when it is full; the
// body after the 512-byte header delta-coded per channel and divided by 8.
Bytes plainDecompress(const Bytes& ecx) {
    Bytes stream(ecx.begin(), ecx.begin() + kEcxStoredBytes);
    std::vector<Bytes> dictionary;
    auto restart = [&] {
        dictionary.clear();
        for (int i = 0; i < 256; ++i)
            dictionary.push_back({static_cast<std::uint8_t>(i)});
    };
    restart();
    const std::size_t bits = ecx.size() * 8;
    std::size_t at = kEcxStoredBytes * 8;
    unsigned width = 8;
    Bytes previous;
    while (at + width <= bits) {
        std::uint32_t code = 0;
        for (unsigned b = 0; b < width; ++b, ++at)
            code = (code << 1) | ((ecx[at / 8] >> (7 - at % 8)) & 1u);
        Bytes current;
        if (code < dictionary.size()) {
            current = dictionary[code];
        } else if (code == dictionary.size() && !previous.empty()) {
            current = previous;
            current.push_back(previous[0]);
        } else {
            ADD_FAILURE() << "code " << code << " with " << dictionary.size() << " entries";
            break;
        }
        if (!previous.empty()) {
            dictionary.push_back(previous);
            dictionary.back().push_back(current[0]);
        }
        stream.insert(stream.end(), current.begin(), current.end());
        previous = std::move(current);
        if (dictionary.size() == 4096) {
            restart();
            width = 8;
            previous.clear();
        } else if (dictionary.size() == (1u << width)) {
            ++width;
        }
    }
    std::int16_t sums[8] = {};
    for (std::size_t k = 0; signal::kDeviceHeaderBytes + 2 * k + 1 < stream.size(); ++k) {
        std::uint8_t* p = stream.data() + signal::kDeviceHeaderBytes + 2 * k;
        std::int16_t& sum = sums[k % 8];
        sum = static_cast<std::int16_t>(sum + signal::readLe16(p));
        signal::writeLe16(p, static_cast<std::int16_t>(sum * 8));
    }
    return stream;
}

TEST(DecompressFile, LargeFilesAgreeWithAPlainDecoderThroughBoundedPieces) {
    // 20 minutes of a wandering signal with stretches of flat line (a lead off): those decode
    // into dictionaries spanning megabytes, beyond what the file form keeps of its output, and
    // the signal after them refers to strings from before them.
    signal::DeviceHeader h;
    h.setRate(800);
    h.setRecordCount(32767);
    Bytes device(h.bytes().begin(), h.bytes().end());
    std::mt19937 rng(11);
    int level[8] = {};
    const std::size_t records = 20 * 60 * 800;
    for (std::size_t r = 0; r < records; ++r) {
        const bool flat = (r >= 100000 && r < 130000) || (r >= 400000 && r < 470000) ||
                          (r >= 700000 && r < 800000);
        for (int ch = 0; ch < 8; ++ch) {
            if (!flat)
                level[ch] = std::clamp(level[ch] + static_cast<int>(rng() % 7) - 3, -4000, 4000);
            std::uint8_t le[2];
            signal::writeLe16(le, static_cast<std::int16_t>(8 * level[ch]));
            device.insert(device.end(), le, le + 2);
        }
    }
    device.push_back(0x28); // an odd last byte
    ScratchDir dir;
    signal::test::writeBytes(dir / "long.ecg", device);
    ASSERT_TRUE(compressEcxFile(dir / "long.ecg", dir / "long.ecx").ok());
    const Bytes ecx = signal::test::readBytes(dir / "long.ecx");
    EXPECT_TRUE(ecx == compressToEcx(device));
    EXPECT_TRUE(plainDecompress(ecx) == device);
    ASSERT_TRUE(decompressEcxFile(dir / "long.ecx", dir / "back.ecg").ok());
    EXPECT_TRUE(signal::test::readBytes(dir / "back.ecg") == device);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"back.ecg", "long.ecg", "long.ecx"}));
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
