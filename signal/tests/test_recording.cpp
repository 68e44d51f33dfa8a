// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Recording.h"

#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <random>

namespace velkard::signal {
namespace {

using test::readBytes;
using test::ScratchDir;
using test::writeBytes;

// A device ECG file: header with rate and count, body of the given size with a recognisable
// pattern (byte i of the body is i * 7 + 3).
std::vector<std::uint8_t> deviceFile(std::size_t bodySize, std::int16_t rate = 800,
                                     std::int16_t count = 0) {
    DeviceHeader h;
    h.setRate(rate);
    h.setRecordCount(count);
    h.bytes()[0] = 0x5E; // carried, not interpreted
    std::vector<std::uint8_t> file(h.bytes().begin(), h.bytes().end());
    for (std::size_t i = 0; i < bodySize; ++i)
        file.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return file;
}

TEST(RecordingKind, MarkersRoundTripAndUnknownIsPlain) {
    for (auto kind : {RecordingKind::Plain, RecordingKind::A2, RecordingKind::Rhythmogram})
        EXPECT_EQ(kindFromMarker(kindMarker(kind)), kind);
    EXPECT_EQ(kindMarker(RecordingKind::Plain), "  ");
    EXPECT_EQ(kindMarker(RecordingKind::A2), "A2");
    EXPECT_EQ(kindMarker(RecordingKind::Rhythmogram), "RT");
    EXPECT_EQ(kindFromMarker("a2"), RecordingKind::Plain);
    EXPECT_EQ(kindFromMarker(""), RecordingKind::Plain);
}

TEST(DeviceHeader, FieldsAtTheirOffsetsLittleEndian) {
    std::vector<std::uint8_t> file(600, 0);
    file[24] = 0x20; // 800
    file[25] = 0x03;
    file[48] = 0xC0; // -1600
    file[49] = 0xF9;
    file[30] = 9;
    file[34] = 3;
    file[36] = 5;
    file[38] = 7;
    file[40] = 5;
    file[42] = 9;
    auto h = DeviceHeader::parse(file);
    ASSERT_TRUE(h.has_value());
    EXPECT_EQ(h->rate(), 800);
    EXPECT_EQ(h->recordCount(), -1600);
    EXPECT_EQ(h->year(), 9);
    EXPECT_EQ(h->month(), 3);
    EXPECT_EQ(h->day(), 5);
    EXPECT_EQ(h->hour(), 7);
    EXPECT_EQ(h->minute(), 5);
    EXPECT_EQ(h->second(), 9);
    EXPECT_FALSE(DeviceHeader::parse(file.data(), 511).has_value());

    DeviceHeader built;
    built.setDateTime(12, 11, 30, 23, 59, 58);
    built.setRate(800);
    EXPECT_EQ(built.bytes()[30], 12);
    EXPECT_EQ(built.bytes()[34], 11);
    EXPECT_EQ(built.bytes()[36], 30);
    EXPECT_EQ(built.bytes()[42], 58);
    EXPECT_EQ(built.bytes()[24], 0x20);
    EXPECT_EQ(built.bytes()[25], 0x03);
    EXPECT_EQ(built.bytes()[32], 0); // untouched
}

TEST(ConvertDevice, PlainAndRhythmogramCopyTheBodyUnchanged) {
    auto file = deviceFile(1001);
    for (auto kind : {RecordingKind::Plain, RecordingKind::Rhythmogram}) {
        auto body = convertDeviceBytes(file, kind);
        ASSERT_EQ(body.size(), 1001u);
        EXPECT_TRUE(std::equal(body.begin(), body.end(), file.begin() + 512));
    }
    EXPECT_TRUE(convertDeviceBytes(deviceFile(0), RecordingKind::Plain).empty());
    EXPECT_TRUE(convertDeviceBytes(std::vector<std::uint8_t>(100, 1), RecordingKind::A2).empty());
}

TEST(ConvertDevice, A2SpreadsSingleChannelValuesIntoRecords) {
    const std::size_t n = 5;
    auto file = deviceFile(kA2FullBodyBytes + 2 * n + 1); // odd trailing byte is dropped
    auto body = convertDeviceBytes(file, RecordingKind::A2);
    ASSERT_EQ(body.size(), kA2FullBodyBytes + n * 16);
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + kA2FullBodyBytes, file.begin() + 512));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* rec = body.data() + kA2FullBodyBytes + 16 * i;
        const std::uint8_t* src = file.data() + 512 + kA2FullBodyBytes + 2 * i;
        EXPECT_EQ(rec[0], 0);
        EXPECT_EQ(rec[1], 0);
        EXPECT_EQ(rec[2], src[0]) << i;
        EXPECT_EQ(rec[3], src[1]) << i;
        for (int b = 4; b < 16; ++b)
            EXPECT_EQ(rec[b], 0) << i << ":" << b;
    }
    RecordingBuffer buf;
    buf.assign(body);
    EXPECT_EQ(buf.records(), kA2FullRecords + n);
    EXPECT_EQ(buf.record(kA2FullRecords).c[1], readLe16(file.data() + 512 + kA2FullBodyBytes));
}

TEST(ConvertDevice, A2ExactOrShortBodyIsCopiedAndNothingMore) {
    auto exact = convertDeviceBytes(deviceFile(kA2FullBodyBytes), RecordingKind::A2);
    EXPECT_EQ(exact.size(), kA2FullBodyBytes);
    EXPECT_EQ(exact.size() / 16, 8040u);
    auto shortFile = deviceFile(1000);
    auto shortBody = convertDeviceBytes(shortFile, RecordingKind::A2);
    ASSERT_EQ(shortBody.size(), 1000u);
    EXPECT_TRUE(std::equal(shortBody.begin(), shortBody.end(), shortFile.begin() + 512));
}

TEST(Duration, PlainIsSignedCountOverRate) {
    EXPECT_EQ(deviceFileDuration(*DeviceHeader::parse(deviceFile(0, 800, -1600)), 512,
                                 RecordingKind::Plain),
              -2);
    EXPECT_EQ(deviceFileDuration(*DeviceHeader::parse(deviceFile(0, 800, 1599)), 512,
                                 RecordingKind::Rhythmogram),
              1);
    EXPECT_EQ(
        deviceFileDuration(*DeviceHeader::parse(deviceFile(0, 0, 1600)), 512, RecordingKind::Plain),
        0);
}

TEST(Duration, A2IsConvertedRecordsOverRate) {
    DeviceHeader h;
    h.setRate(800);
    // 8040 records + 800 * 50 single values = 48040 records = 60.05 s.
    std::uint64_t len = 512 + kA2FullBodyBytes + 2 * 40000;
    EXPECT_EQ(deviceFileDuration(h, len, RecordingKind::A2), 60);
    EXPECT_EQ(deviceFileDuration(h, 512 + kA2FullBodyBytes, RecordingKind::A2), 10);
    // A short body converts only as what it is: 12800 bytes = 800 records = 1 s.
    EXPECT_EQ(deviceFileDuration(h, 512 + 12800, RecordingKind::A2), 1);
    EXPECT_EQ(deviceFileDuration(h, 100, RecordingKind::A2), 0);
    h.setRate(0);
    EXPECT_EQ(deviceFileDuration(h, len, RecordingKind::A2), 0);
}

TEST(LoadRecording, ReadsWholeFileAndKeepsBufferOnFailure) {
    ScratchDir dir;
    std::vector<std::uint8_t> bytes(12800);
    std::mt19937 rng(5);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    writeBytes(dir / "r.dat", bytes);

    RecordingBuffer buf;
    ASSERT_TRUE(loadRecording(dir / "r.dat", buf).ok());
    EXPECT_EQ(buf.bytes, bytes);
    EXPECT_EQ(buf.length, 12800u);
    EXPECT_DOUBLE_EQ(buf.recordCount, 800.0);
    SampleRecord r = buf.record(1);
    EXPECT_EQ(r.c[0], readLe16(bytes.data() + 16));
    EXPECT_EQ(r.c[7], readLe16(bytes.data() + 30));

    Status missing = loadRecording(dir / "missing.dat", buf);
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.message.find("missing.dat"), std::string::npos);
    EXPECT_EQ(buf.bytes, bytes);
    EXPECT_EQ(buf.length, 12800u);
}

TEST(LoadRecording, EmptyOddAndPartialLengths) {
    ScratchDir dir;
    writeBytes(dir / "empty.dat", {});
    RecordingBuffer buf;
    buf.assign(std::vector<std::uint8_t>(32, 1));
    ASSERT_TRUE(loadRecording(dir / "empty.dat", buf).ok());
    EXPECT_EQ(buf.length, 0u);
    EXPECT_EQ(buf.recordCount, 0.0);
    EXPECT_TRUE(buf.bytes.empty());

    writeBytes(dir / "odd.dat", std::vector<std::uint8_t>(37, 9));
    ASSERT_TRUE(loadRecording(dir / "odd.dat", buf).ok());
    EXPECT_EQ(buf.bytes.size(), 36u);
    EXPECT_EQ(buf.length, 36u);
    EXPECT_DOUBLE_EQ(buf.recordCount, 2.25);
    EXPECT_EQ(buf.records(), 2u);
    EXPECT_EQ(buf.values(), 18u);
}

} // namespace
} // namespace velkard::signal
