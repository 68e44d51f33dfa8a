// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FrameReader.h"

#include <gtest/gtest.h>

#include <vector>

namespace velkard::device {
namespace {

using Bytes = std::vector<std::uint8_t>;

signal::SampleRecord recordOf(int base) {
    signal::SampleRecord r;
    for (int k = 0; k < signal::kChannels; ++k)
        r.c[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(base * 100 + k - 400);
    return r;
}

// One frame as the instrument sends it: sync, six status bytes, the record low byte first.
Bytes frame(const signal::SampleRecord& r, std::uint8_t status = 0x11) {
    Bytes b{0xF0, 0x0F};
    for (int i = 0; i < 6; ++i)
        b.push_back(status);
    for (std::int16_t v : r.c) {
        b.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) & 0xFF));
        b.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8));
    }
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<signal::SampleRecord> decode(const Bytes& bytes) {
    FrameReader reader;
    std::vector<signal::SampleRecord> out;
    reader.feed(bytes.data(), bytes.size(),
                [&](const signal::SampleRecord& r) { out.push_back(r); });
    return out;
}

TEST(FrameReader, DecodesConsecutiveFramesLittleEndian) {
    const Bytes stream = frame(recordOf(1)) + frame(recordOf(2)) + frame(recordOf(3));
    const auto records = decode(stream);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], recordOf(1));
    EXPECT_EQ(records[2], recordOf(3));
    EXPECT_EQ(records[0].c[0], -300);
    EXPECT_EQ(records[2].c[7], -93);
}

TEST(FrameReader, SkipsNoiseBeforeTheFirstSyncAndBetweenFrames) {
    // The noise holds lone F0 and 0F bytes that must not start a frame.
    const Bytes noise{0x00, 0x0F, 0xF0, 0x33, 0x0F, 0xF0, 0xAA, 0x0F};
    const Bytes stream = noise + frame(recordOf(5)) + Bytes{0x01, 0x0F, 0x02} + frame(recordOf(6));
    const auto records = decode(stream);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], recordOf(5));
    EXPECT_EQ(records[1], recordOf(6));
}

TEST(FrameReader, RepeatedF0KeepsTheSearchAtTheSecondByte) {
    // F0 F0 0F is a sync; so is any run of F0 ended by 0F.
    const Bytes whole = frame(recordOf(7));
    const Bytes body(whole.begin() + 2, whole.end());
    EXPECT_EQ(decode(Bytes{0xF0, 0xF0, 0x0F} + body).size(), 1u);
    EXPECT_EQ(decode(Bytes{0xF0, 0xF0, 0xF0, 0xF0, 0x0F} + body), std::vector{recordOf(7)});
}

TEST(FrameReader, SyncBrokenByAnotherByteIsNotASync) {
    // F0 00 0F: the 00 ends the search; the 0F alone does not start a frame, so the bytes that
    // follow are noise until the next real sync pair.
    const Bytes bogus = Bytes{0xF0, 0x00, 0x0F} + Bytes(22, 0x55);
    const auto records = decode(bogus + frame(recordOf(9)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], recordOf(9));
}

TEST(FrameReader, SyncBytesInsideTheStatusAndRecordAreData) {
    // Status bytes F0 0F and a record made of F0 0F pairs: read blindly, not searched.
    signal::SampleRecord r;
    r.c.fill(static_cast<std::int16_t>(0x0FF0)); // bytes F0 0F on the wire
    const auto records = decode(frame(r, 0xF0) + frame(recordOf(2)));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], r);
    EXPECT_EQ(records[1], recordOf(2));
}

TEST(FrameReader, AnySplitOfTheStreamGivesTheSameRecords) {
    const Bytes stream = Bytes{0x12, 0xF0} + frame(recordOf(1)) + Bytes{0xF0, 0x00, 0x0F} +
                         frame(recordOf(2)) + Bytes{0xF0} + frame(recordOf(3));
    const auto whole = decode(stream);
    ASSERT_EQ(whole.size(), 3u);
    for (std::size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
        for (std::size_t cut2 = cut1; cut2 <= stream.size(); cut2 += 7) {
            FrameReader reader;
            std::vector<signal::SampleRecord> got;
            auto sink = [&](const signal::SampleRecord& r) { got.push_back(r); };
            reader.feed(stream.data(), cut1, sink);
            reader.feed(stream.data() + cut1, cut2 - cut1, sink);
            reader.feed(stream.data() + cut2, stream.size() - cut2, sink);
            ASSERT_EQ(got, whole) << "cuts at " << cut1 << " and " << cut2;
        }
    }
}

TEST(FrameReader, PartialFrameAtTheEndYieldsNothingUntilCompleted) {
    const Bytes f = frame(recordOf(4));
    FrameReader reader;
    int count = 0;
    reader.feed(f.data(), f.size() - 1, [&](const signal::SampleRecord&) { ++count; });
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(reader.step(f.back()));
    EXPECT_EQ(reader.record(), recordOf(4));
    // The next frame is read whole after the completed one.
    reader.feed(f.data(), f.size(), [&](const signal::SampleRecord&) { ++count; });
    EXPECT_EQ(count, 1);
}

} // namespace
} // namespace velkard::device
