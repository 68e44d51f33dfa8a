// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Instrument.h"

#include <gtest/gtest.h>

namespace velkard::sim {
namespace {

using namespace std::chrono_literals;
using Clock = Instrument::Clock;

std::vector<std::uint8_t> pumpAt(Instrument& instrument, Clock::time_point t) {
    std::vector<std::uint8_t> out;
    instrument.pump(t, out);
    return out;
}

// Counts sync pairs that start a frame in a clean stream (no garbage).
std::size_t frames(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() / 24;
}

void hostByte(Instrument& instrument, std::uint8_t b, Clock::time_point t) {
    instrument.hostWrite(&b, 1, t);
}

TEST(Instrument, StreamsEightHundredFramesASecondBetweenStartAndStop) {
    Instrument instrument(1);
    const auto t0 = Clock::time_point{} + 100s;
    EXPECT_TRUE(pumpAt(instrument, t0 + 1s).empty()); // silent until started
    EXPECT_FALSE(instrument.nextDue().has_value());

    hostByte(instrument, 0x5A, t0);
    const auto first = pumpAt(instrument, t0);
    ASSERT_EQ(first.size(), 24u); // frame 0 is due at once
    EXPECT_EQ(first[0], 0xF0);
    EXPECT_EQ(first[1], 0x0F);
    EXPECT_EQ(frames(pumpAt(instrument, t0 + 1s)), 800u); // frames 1..800
    EXPECT_EQ(instrument.framesSent(), 801u);
    EXPECT_EQ(*instrument.nextDue(), t0 + 1s + 1250us);

    hostByte(instrument, 0xA5, t0 + 1s);
    EXPECT_TRUE(pumpAt(instrument, t0 + 3s).empty());
    EXPECT_FALSE(instrument.streaming());
}

TEST(Instrument, FramesCarryTheSyntheticSignal) {
    Instrument instrument(4);
    const auto t0 = Clock::time_point{} + 1s;
    hostByte(instrument, 0x5A, t0);
    const auto bytes = pumpAt(instrument, t0 + 10ms);
    const auto expected = SyntheticEcg::records(4, bytes.size() / 24);
    ASSERT_EQ(bytes.size() % 24, 0u);
    for (std::size_t f = 0; f < expected.size(); ++f)
        for (std::size_t k = 0; k < 8; ++k)
            ASSERT_EQ(signal::readLe16(&bytes[f * 24 + 8 + 2 * k]), expected[f].c[k]);
}

TEST(Instrument, SilenceAndDropFaultsCountFromTheFirstStart) {
    Faults silence;
    silence.silenceAfter = 0.5;
    Instrument quiet(1, silence);
    const auto t0 = Clock::time_point{} + 1s;
    hostByte(quiet, 0x5A, t0);
    EXPECT_EQ(frames(pumpAt(quiet, t0 + 2s)), 400u); // frames due before 0.5 s only
    EXPECT_FALSE(quiet.nextDue().has_value());
    EXPECT_FALSE(quiet.dropped(t0 + 2s));

    Faults drop;
    drop.dropAfter = 0.25;
    Instrument gone(1, drop);
    hostByte(gone, 0x5A, t0);
    EXPECT_EQ(frames(pumpAt(gone, t0 + 100ms)), 81u);
    EXPECT_EQ(*gone.nextDue(), t0 + 101250us);
    EXPECT_FALSE(gone.dropped(t0 + 249ms));
    EXPECT_TRUE(gone.dropped(t0 + 250ms));
    EXPECT_TRUE(pumpAt(gone, t0 + 1s).empty());
}

TEST(Instrument, SlowLinkStretchesThePacing) {
    Faults slow;
    slow.slowFactor = 4;
    Instrument instrument(1, slow);
    const auto t0 = Clock::time_point{} + 1s;
    hostByte(instrument, 0x5A, t0);
    EXPECT_EQ(frames(pumpAt(instrument, t0 + 1s)), 201u);
}

TEST(Instrument, GarbageNeverFormsAFalseSync) {
    Faults faults;
    faults.garbage = true;
    Instrument instrument(8, faults);
    const auto t0 = Clock::time_point{} + 1s;
    hostByte(instrument, 0x5A, t0);
    const auto bytes = pumpAt(instrument, t0 + 2s);
    EXPECT_GT(bytes.size(), 1601u * 24); // noise was added
    // Every F0 0F pair is the start of a real frame: there are exactly as many as frames sent.
    std::size_t pairs = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xF0 && bytes[i + 1] == 0x0F) {
            ++pairs;
            i += 23; // skip the rest of the frame: its data may hold any bytes
        }
    }
    EXPECT_EQ(pairs, instrument.framesSent());
}

TEST(Instrument, MemoryModeHandsEveryByteToTheCardAndStopsTheStream) {
    Instrument instrument(1);
    std::vector<std::uint8_t> seen;
    instrument.setMemoryHandler([&](std::uint8_t b, std::vector<std::uint8_t>& reply) {
        seen.push_back(b);
        if (b == 0x62)
            reply.push_back(0x77);
    });
    const auto t0 = Clock::time_point{} + 1s;
    hostByte(instrument, 0x5A, t0);
    pumpAt(instrument, t0 + 100ms);
    for (std::uint8_t b : {0x60, 0x5A, 0x62, 0xA5, 0x61})
        hostByte(instrument, b, t0 + 100ms);
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{0x60, 0x5A, 0x62, 0xA5, 0x61}));
    EXPECT_FALSE(instrument.memoryMode());
    EXPECT_FALSE(instrument.streaming()); // 0x5A inside memory mode started nothing
    EXPECT_EQ(pumpAt(instrument, t0 + 1s), std::vector<std::uint8_t>{0x77});
}

TEST(Instrument, FaultSwitchesParse) {
    Faults f;
    EXPECT_TRUE(parseFaults("silence-after=2.5,garbage", f).ok());
    EXPECT_DOUBLE_EQ(f.silenceAfter, 2.5);
    EXPECT_TRUE(f.garbage);
    EXPECT_TRUE(parseFaults("drop-after=1", f).ok());
    EXPECT_DOUBLE_EQ(f.dropAfter, 1.0);
    EXPECT_TRUE(parseFaults("no-card", f).ok());
    EXPECT_TRUE(f.noCard);
    EXPECT_FALSE(parseFaults("drop-after=soon", f).ok());
    EXPECT_FALSE(parseFaults("silence-after=-1", f).ok());
    EXPECT_FALSE(parseFaults("slow=0.5", f).ok());
    const Status unknown = parseFaults("explode", f);
    EXPECT_EQ(unknown.code, ErrorCode::InvalidArgument);
    EXPECT_NE(unknown.message.find("explode"), std::string::npos);
}

} // namespace
} // namespace velkard::sim
