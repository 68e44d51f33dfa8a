// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Decompress.h"

#include "import/Lzw.h"
#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

namespace velkard::import {
namespace {

using Bytes = std::vector<std::uint8_t>;
using signal::RecordingKind;
using signal::test::ScratchDir;

// A device ECG file whose body values are multiples of 8 (what the instrument stores), with a
// smooth signal plus noise per channel so deltas are small, like real data.
Bytes deviceFile(std::size_t records, std::uint32_t seed, std::size_t extraBytes = 0) {
    std::mt19937 rng(seed);
    signal::DeviceHeader h;
    h.setRate(800);
    h.setRecordCount(static_cast<std::int16_t>(records));
    h.setDateTime(12, 3, 5, 7, 5, 9);
    for (std::size_t i = 50; i < 512; ++i)
        h.bytes()[i] = static_cast<std::uint8_t>(rng());
    Bytes file(h.bytes().begin(), h.bytes().end());
    int level[8] = {};
    for (std::size_t r = 0; r < records; ++r)
        for (int ch = 0; ch < 8; ++ch) {
            level[ch] += static_cast<int>(rng() % 9) - 4;
            level[ch] = std::clamp(level[ch], -4096, 4095);
            std::uint8_t le[2];
            signal::writeLe16(le, static_cast<std::int16_t>(level[ch] * 8));
            file.insert(file.end(), le, le + 2);
        }
    for (std::size_t i = 0; i < extraBytes; ++i)
        file.push_back(static_cast<std::uint8_t>(8 * i));
    return file;
}

// Builds an ".ecx" by hand: 54 stored bytes, then LZW of the rest of the decoded stream.
Bytes ecxOfStream(const Bytes& stream) {
    Bytes ecx(stream.begin(), stream.begin() + std::min<std::size_t>(54, stream.size()));
    if (stream.size() > 54) {
        Bytes codes = lzwEncode(stream.data() + 54, stream.size() - 54);
        ecx.insert(ecx.end(), codes.begin(), codes.end());
    }
    return ecx;
}

TEST(KindFromFileName, PrefixRulesCaseSensitiveWithoutFolder) {
    EXPECT_EQ(kindFromFileName("A2_0001.ecx"), RecordingKind::A2);
    EXPECT_EQ(kindFromFileName("/data/VS/A2x"), RecordingKind::A2);
    EXPECT_EQ(kindFromFileName("VSR0001.ecg"), RecordingKind::Rhythmogram);
    EXPECT_EQ(kindFromFileName("VS"), RecordingKind::Rhythmogram);
    EXPECT_EQ(kindFromFileName("a2_0001.ecx"), RecordingKind::Plain);
    EXPECT_EQ(kindFromFileName("/A2/ecg.dat"), RecordingKind::Plain);
    EXPECT_EQ(kindFromFileName("V"), RecordingKind::Plain);
    EXPECT_TRUE(isCompressedName("x/A2.ecx"));
    EXPECT_TRUE(isCompressedName("B.ECX"));
    EXPECT_TRUE(isCompressedName("B.eCx"));
    EXPECT_FALSE(isCompressedName("B.ecx.bak"));
    EXPECT_FALSE(isCompressedName("ecx"));
}

TEST(Decompress, FirstRecordIsScaledAndLaterValuesAccumulatePerChannel) {
    Bytes stream(512, 0x11);
    const std::int16_t body[] = {1,  -2, 3, -4, 5, -6, 7, 4095, // starting values
                                 1,  1,  1, 1,  1, 1,  1, 1,    // deltas
                                 -2, 0,  0, 0,  0, 0,  0, 1};   // 4095 + 1 + 1 wraps after * 8
    for (std::int16_t v : body) {
        std::uint8_t le[2];
        signal::writeLe16(le, v);
        stream.insert(stream.end(), le, le + 2);
    }
    signal::BytesResult r = decompressEcxBytes(ecxOfStream(stream));
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.value.size(), stream.size());
    EXPECT_TRUE(std::equal(r.value.begin(), r.value.begin() + 512, stream.begin()));
    auto value = [&](int k) { return signal::readLe16(r.value.data() + 512 + 2 * k); };
    EXPECT_EQ(value(0), 8);
    EXPECT_EQ(value(1), -16);
    EXPECT_EQ(value(7), 32760);
    EXPECT_EQ(value(8), 16);
    EXPECT_EQ(value(15), static_cast<std::int16_t>(4096 * 8)); // wraps to -32768
    EXPECT_EQ(value(16), 0);                                   // 1 + 1 - 2
    EXPECT_EQ(value(17), -8);
    EXPECT_EQ(value(23), static_cast<std::int16_t>(4097 * 8));
}

TEST(Decompress, PartialTrailingRecordAndOddByte) {
    // A body of one full record and three values and an odd byte, all inside the first 512 bytes
    // of body: every value is decoded the same way, the odd byte is carried.
    Bytes stream(512, 0);
    const std::int16_t body[] = {10, 20, 30, 40, 50, 60, 70, 80, 1, 2, 3};
    for (std::int16_t v : body) {
        std::uint8_t le[2];
        signal::writeLe16(le, v);
        stream.insert(stream.end(), le, le + 2);
    }
    stream.push_back(0x7F);
    signal::BytesResult r = decompressEcxBytes(ecxOfStream(stream));
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.value.size(), stream.size());
    EXPECT_EQ(signal::readLe16(r.value.data() + 512 + 16), 88);
    EXPECT_EQ(signal::readLe16(r.value.data() + 512 + 20), 264);
    EXPECT_EQ(r.value.back(), 0x7F);
}

TEST(Decompress, CompressRoundTripIsExactForMultiplesOfEight) {
    for (auto [records, extra, seed] :
         {std::tuple{0, 0, 1}, {1, 0, 2}, {33, 6, 3}, {9000, 0, 4}, {40000, 3, 5}}) {
        Bytes device =
            deviceFile(static_cast<std::size_t>(records), static_cast<std::uint32_t>(seed),
                       static_cast<std::size_t>(extra));
        Bytes ecx = compressToEcx(device);
        EXPECT_TRUE(std::equal(ecx.begin(), ecx.begin() + 54, device.begin()));
        if (records > 1000) {
            EXPECT_LT(ecx.size(), device.size() / 2);
        }
        signal::BytesResult back = decompressEcxBytes(ecx);
        ASSERT_TRUE(back.ok()) << back.message;
        EXPECT_EQ(back.value, device) << records;
    }
}

TEST(Decompress, ValuesNotMultipleOfEightLoseTheirLowBits) {
    Bytes device = deviceFile(4, 9);
    for (std::size_t i = 512; i + 1 < device.size(); i += 2)
        device[i] |= 0x05;
    signal::BytesResult back = decompressEcxBytes(compressToEcx(device));
    ASSERT_TRUE(back.ok());
    for (std::size_t i = 512; i + 1 < device.size(); i += 2) {
        EXPECT_EQ(back.value[i], device[i] & 0xF8);
        EXPECT_EQ(back.value[i + 1], device[i + 1]);
    }
}

TEST(Decompress, DamagedFilesAreClearErrors) {
    signal::BytesResult r = decompressEcxBytes(Bytes(53, 1), "x.ecx");
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find("x.ecx"), std::string::npos);

    Bytes device = deviceFile(100, 7);
    Bytes ecx = compressToEcx(device);
    Bytes truncatedHeader(ecx.begin(), ecx.begin() + 60); // decodes to fewer than 512 bytes
    r = decompressEcxBytes(truncatedHeader, "t.ecx");
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find("512"), std::string::npos) << r.message;

    Bytes corrupt = ecx;
    corrupt[56] = 0xFF; // a 9-bit code far beyond the next free entry
    corrupt[57] = 0xFF;
    r = decompressEcxBytes(corrupt, "c.ecx");
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find("-3"), std::string::npos) << r.message;
    EXPECT_TRUE(r.value.empty());
}

TEST(Decompress, FileFormsWriteOnlyTheirOutput) {
    ScratchDir dir;
    Bytes device = deviceFile(500, 11);
    signal::test::writeBytes(dir / "rec.ecg", device);
    ASSERT_TRUE(compressEcxFile(dir / "rec.ecg", dir / "rec.ecx").ok());
    signal::BytesResult back = decompressEcx(dir / "rec.ecx");
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_EQ(back.value, device);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"rec.ecg", "rec.ecx"}));

    signal::test::writeBytes(dir / "bad.ecx", Bytes(20, 0));
    EXPECT_FALSE(decompressEcx(dir / "bad.ecx").ok());
    signal::test::writeBytes(dir / "tiny.ecg", Bytes(100, 0));
    EXPECT_FALSE(compressEcxFile(dir / "tiny.ecg", dir / "out.ecx").ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "out.ecg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.ecx"));
}

TEST(ImportFile, CompressedA2FileBecomesA2RecordingWithoutFiles) {
    ScratchDir dir;
    Bytes device = deviceFile(signal::kA2FullRecords, 21);
    for (int i = 0; i < 1600; ++i) { // two seconds of lead II values
        std::uint8_t le[2];
        signal::writeLe16(le, static_cast<std::int16_t>(8 * (i % 100)));
        device.insert(device.end(), le, le + 2);
    }
    signal::test::writeBytes(dir / "A2_0003.ECX", compressToEcx(device));
    signal::RecordingBuffer buf;
    ImportResult r = importFile(dir / "A2_0003.ECX", buf);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value.kind, RecordingKind::A2);
    EXPECT_EQ(r.value.durationSeconds, 12); // 9640 records at 800 per second
    EXPECT_EQ(buf.records(), signal::kA2FullRecords + 1600);
    EXPECT_EQ(buf.bytes, signal::convertDeviceBytes(device, RecordingKind::A2));
    EXPECT_EQ(buf.record(signal::kA2FullRecords + 7).c[1], 56);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"A2_0003.ECX"});
}

TEST(ImportFile, PlainAndRhythmFilesAndFailuresKeepTheBuffer) {
    ScratchDir dir;
    Bytes device = deviceFile(1600, 5);
    signal::test::writeBytes(dir / "VSR01.ecg", device);
    signal::test::writeBytes(dir / "EC01.ecg", device);
    signal::RecordingBuffer buf;
    ImportResult r = importFile(dir / "VSR01.ecg", buf);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value.kind, RecordingKind::Rhythmogram);
    r = importFile(dir / "EC01.ecg", buf);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value.kind, RecordingKind::Plain);
    EXPECT_EQ(r.value.durationSeconds, 2);
    EXPECT_EQ(buf.length, 1600u * 16);
    const Bytes kept = buf.bytes;

    r = importFile(dir / "missing.ecg", buf);
    EXPECT_EQ(r.code, ErrorCode::CannotOpenSource);
    signal::test::writeBytes(dir / "junk.ecx", Bytes(300, 0xFF));
    r = importFile(dir / "junk.ecx", buf);
    EXPECT_EQ(r.code, ErrorCode::CorruptCompressedData);
    EXPECT_NE(r.message.find("junk.ecx"), std::string::npos);
    signal::test::writeBytes(dir / "short.ecg", Bytes(511, 0));
    r = importFile(dir / "short.ecg", buf);
    EXPECT_EQ(r.code, ErrorCode::NotDeviceFile);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(buf.bytes, kept);
}

} // namespace
} // namespace velkard::import
