// SPDX-License-Identifier: GPL-3.0-or-later
// The memory card's one-shot faults, driven byte by byte as the host would.
#include "sim/Instrument.h"
#include "sim/MemoryCard.h"

#include <gtest/gtest.h>

namespace velkard::sim {
namespace {

using namespace memcmd;

std::vector<std::uint8_t> send(MemoryCard& card, std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> reply;
    for (std::uint8_t b : bytes)
        card.onHostByte(b, reply);
    return reply;
}

std::vector<std::uint8_t> requestRead(MemoryCard& card, const std::string& name) {
    std::vector<std::uint8_t> reply;
    card.onHostByte(kRead, reply);
    for (char c : name)
        card.onHostByte(static_cast<std::uint8_t>(c), reply);
    card.onHostByte(kNameEnd, reply);
    return reply;
}

MemoryCard cardWithFile(std::size_t bytes) {
    MemoryCard card;
    std::string content(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        content[i] = static_cast<char>('a' + i % 26);
    card.addFile("ECG00001.ECG", content);
    return card;
}

TEST(MemoryCardFaults, StrayRepliesFollowTheFirstListingOnly) {
    MemoryCard card = cardWithFile(10);
    card.faults().strayWhenIdle = true;
    send(card, {kEnter});
    EXPECT_EQ(send(card, {kList, kContinue}).size(), kBlockBytes);
    EXPECT_EQ(send(card, {kContinue}), (std::vector<std::uint8_t>{kDeleteFinished, kReadFinished}));
    // Nothing was deleted; the next listing ends quietly.
    EXPECT_EQ(card.names().size(), 1u);
    EXPECT_EQ(send(card, {kList, kContinue}).size(), kBlockBytes);
    EXPECT_TRUE(send(card, {kContinue}).empty());
}

TEST(MemoryCardFaults, StallStopsHalfWayThroughTheChosenBlockOnce) {
    MemoryCard card = cardWithFile(3 * kBlockBytes);
    card.faults().stallInBlock = 2;
    send(card, {kEnter});
    EXPECT_EQ(requestRead(card, "ECG00001.ECG"), std::vector<std::uint8_t>{kReadAccepted});
    EXPECT_EQ(send(card, {kContinue}).size(), kBlockBytes);
    EXPECT_EQ(send(card, {kContinue}).size(), kBlockBytes / 2);
    EXPECT_TRUE(send(card, {kContinue}).empty()); // it has forgotten the read
    // The next request is served in full.
    EXPECT_EQ(requestRead(card, "ECG00001.ECG"), std::vector<std::uint8_t>{kReadAccepted});
    std::size_t blocks = 0;
    for (;;) {
        const auto r = send(card, {kContinue});
        if (r == std::vector<std::uint8_t>{kReadFinished})
            break;
        ASSERT_EQ(r.size(), kBlockBytes);
        ++blocks;
    }
    EXPECT_EQ(blocks, 4u); // 9000 bytes and the 12-byte header
}

TEST(MemoryCardFaults, DroppedAndExtraBytesChangeTheFirstBlockOnly) {
    for (const bool drop : {true, false}) {
        MemoryCard card = cardWithFile(5000);
        (drop ? card.faults().dropByteInBlock : card.faults().extraByteInBlock) = true;
        send(card, {kEnter});
        requestRead(card, "ECG00001.ECG");
        EXPECT_EQ(send(card, {kContinue}).size(), drop ? kBlockBytes - 1 : kBlockBytes + 1);
        EXPECT_EQ(send(card, {kContinue}).size(), kBlockBytes);
        EXPECT_EQ(send(card, {kContinue}), std::vector<std::uint8_t>{kReadFinished});
    }
}

TEST(MemoryCardFaults, ParsedFromTheCommandLineList) {
    Faults f;
    const Status parsed = parseFaults("stray-reply,stall-block=3,drop-byte,extra-byte", f);
    ASSERT_TRUE(parsed.ok()) << parsed.message;
    EXPECT_TRUE(f.strayReply);
    EXPECT_EQ(f.stallBlock, 3u);
    EXPECT_TRUE(f.dropByte);
    EXPECT_TRUE(f.extraByte);
    for (const char* bad : {"stall-block=0", "stall-block=1.5", "stall-block", "drop-byte=1"})
        EXPECT_EQ(parseFaults(bad, f).code, ErrorCode::InvalidArgument) << bad;
}

} // namespace
} // namespace velkard::sim
