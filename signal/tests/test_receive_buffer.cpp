// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/ReceiveBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace velkard::signal {
namespace {

// Every channel of record n carries a different function of n, so a block assembled from two
// different fills shows up as a broken sequence or a channel mismatch.
SampleRecord numbered(std::uint32_t n) {
    SampleRecord r;
    for (int ch = 0; ch < kChannels; ++ch)
        r.c[static_cast<std::size_t>(ch)] =
            static_cast<std::int16_t>(static_cast<std::uint16_t>((n * 8 + ch) & 0xFFFF));
    return r;
}

std::uint32_t sequenceOf(const SampleRecord& r) {
    return static_cast<std::uint16_t>(r.c[0]) / 8u;
}

TEST(ReceiveBuffer, SingleThreadedBlocksInOrderAndPartialHalfDiscarded) {
    ReceiveBuffer buf;
    SampleBlock out;
    EXPECT_FALSE(buf.takeBlock(out));
    for (std::uint32_t n = 0; n < 399; ++n)
        EXPECT_FALSE(buf.pushRecord(numbered(n)));
    EXPECT_FALSE(buf.takeBlock(out));
    EXPECT_TRUE(buf.pushRecord(numbered(399)));
    ASSERT_TRUE(buf.takeBlock(out));
    EXPECT_EQ(out[0], numbered(0));
    EXPECT_EQ(out[399], numbered(399));
    EXPECT_FALSE(buf.takeBlock(out)); // each block once

    for (std::uint32_t n = 400; n < 600; ++n)
        buf.pushRecord(numbered(n));
    buf.discardPending(); // stop: the partial half is neither written nor drawn
    for (std::uint32_t n = 1000; n < 1400; ++n)
        buf.pushRecord(numbered(n));
    ASSERT_TRUE(buf.takeBlock(out));
    EXPECT_EQ(out[0], numbered(1000));
    EXPECT_EQ(out[399], numbered(1399));
    EXPECT_EQ(buf.publishedBlocks(), 2u);
}

TEST(ReceiveBuffer, ConsumerFallingBehindGetsTheNewestWholeBlock) {
    ReceiveBuffer buf;
    for (std::uint32_t n = 0; n < 3 * 400 + 10; ++n)
        buf.pushRecord(numbered(n));
    SampleBlock out;
    ASSERT_TRUE(buf.takeBlock(out));
    EXPECT_EQ(out[0], numbered(800));
    EXPECT_EQ(out[399], numbered(1199));
    EXPECT_FALSE(buf.takeBlock(out));
}

// A reader thread pushes numbered records as fast as it can while the UI thread takes blocks. As
// with the instrument (half a second per block against a 1 ms UI poll), the UI never falls a whole
// block behind: the reader holds back the record that completes block b until block b - 1 has
// been taken, so the UI copies one half while the reader fills the other. Every block must arrive
// whole, once, and in order.
TEST(ReceiveBuffer, ReaderAndUiThreadsHandOverWholeBlocksInOrder) {
    constexpr std::uint32_t kBlocks = 2000;
    ReceiveBuffer buf;
    std::atomic<std::uint32_t> consumed{0};
    std::atomic<bool> abandon{false};
    std::thread reader([&] {
        for (std::uint32_t block = 0; block < kBlocks; ++block) {
            for (std::uint32_t i = 0; i < kRecordsPerBlock; ++i) {
                if (i == kRecordsPerBlock - 1)
                    while (consumed.load(std::memory_order_acquire) < block) {
                        if (abandon.load(std::memory_order_relaxed))
                            return;
                        std::this_thread::yield();
                    }
                buf.pushRecord(numbered(block * kRecordsPerBlock + i));
            }
        }
    });
    SampleBlock out;
    std::uint32_t torn = 0;
    std::uint32_t outOfOrder = 0;
    while (consumed.load(std::memory_order_relaxed) < kBlocks) {
        if (!buf.takeBlock(out)) {
            std::this_thread::yield();
            continue;
        }
        const std::uint32_t b = consumed.load(std::memory_order_relaxed);
        if (sequenceOf(out[0]) != ((b * kRecordsPerBlock) & 0x1FFF)) {
            ++outOfOrder;
            break;
        }
        for (std::uint32_t i = 0; i < kRecordsPerBlock; ++i)
            if (!(out[i] == numbered(b * kRecordsPerBlock + i)))
                ++torn;
        consumed.fetch_add(1, std::memory_order_release);
    }
    abandon.store(true);
    reader.join();
    EXPECT_EQ(outOfOrder, 0u);
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(consumed.load(), kBlocks);
    EXPECT_EQ(buf.publishedBlocks(), kBlocks);
}

} // namespace
} // namespace velkard::signal
