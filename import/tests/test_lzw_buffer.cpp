// SPDX-License-Identifier: GPL-3.0-or-later
// The buffer decoder's own contract (settled bytes, discarding, the output limit) and the encoder
// fed in pieces, checked against the whole-stream codec.
#include "import/Lzw.h"

#include <gtest/gtest.h>

#include <random>

namespace velkard::import {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Data with short and long strings and many dictionary restarts.
Bytes sample(std::size_t size, unsigned alphabet, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i % 5000 < 600 ? 7 : rng() % alphabet);
    return data;
}

TEST(LzwBufferDecoder, SettledBytesAreNeverReadAgain) {
    // Scribbling over everything settled after each piece must not change what follows: that is
    // what lets the caller rewrite those bytes in place.
    const Bytes data = sample(400000, 16, 1);
    const Bytes codes = lzwEncode(data);
    std::mt19937 rng(2);
    LzwBufferDecoder decoder; // no reserve: grows from nothing
    Bytes collected;
    std::size_t pos = 0;
    while (pos < codes.size()) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 3000, codes.size() - pos);
        ASSERT_TRUE(decoder.decode(codes.data() + pos, n).ok());
        pos += n;
        ASSERT_LE(decoder.settled(), decoder.size());
        collected.insert(collected.end(), decoder.data() + collected.size(),
                         decoder.data() + decoder.settled());
        std::fill(decoder.data(), decoder.data() + decoder.settled(), std::uint8_t{0xEE});
    }
    EXPECT_GT(decoder.settled(), 0u); // the dictionary restarted
    collected.insert(collected.end(), decoder.data() + collected.size(),
                     decoder.data() + decoder.size());
    EXPECT_EQ(collected, data);
}

TEST(LzwBufferDecoder, DiscardingKeepsTheStreamAndTheLimitCountsAllOfIt) {
    const Bytes data = sample(300000, 4, 3);
    const Bytes codes = lzwEncode(data);
    const Bytes prefix = {'E', 'C', 'G'};
    Bytes expected = prefix;
    expected.insert(expected.end(), data.begin(), data.end());

    for (std::size_t limit : {expected.size(), expected.size() - 1}) {
        LzwBufferDecoder decoder(1000, limit);
        decoder.append(prefix.data(), prefix.size());
        EXPECT_EQ(decoder.settled(), prefix.size()); // stored bytes are no strings
        Bytes out;
        Status status;
        for (std::size_t pos = 0; pos < codes.size() && status.ok(); pos += 4096) {
            status =
                decoder.decode(codes.data() + pos, std::min<std::size_t>(4096, codes.size() - pos));
            out.insert(out.end(), decoder.data(), decoder.data() + decoder.settled());
            decoder.discard(decoder.settled());
            EXPECT_EQ(decoder.settled(), 0u);
        }
        out.insert(out.end(), decoder.data(), decoder.data() + decoder.size());
        if (limit == expected.size()) {
            EXPECT_TRUE(status.ok());
            EXPECT_EQ(out, expected);
        } else {
            EXPECT_EQ(status.code, ErrorCode::TooLarge);
            EXPECT_LE(out.size(), limit);
            EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin()));
        }
    }
}

TEST(LzwBufferDecoder, ForgottenStringsAreRebuiltAndPausesBoundTheBuffer) {
    // Short strings over a small alphabet, then long runs of one byte in the same dictionary
    // (strings of thousands of bytes), then the short strings again: later codes refer to strings
    // far back. The caller forgets a random part of the output after every call, often all of it,
    // so those strings must come from the dictionary's chain.
    Bytes data;
    std::mt19937 rng(6);
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 3000; ++i)
            data.push_back(static_cast<std::uint8_t>(rng() % 4));
        data.insert(data.end(), 150000 + 100000 * static_cast<std::size_t>(round), 0);
        for (int i = 0; i < 3000; ++i)
            data.push_back(static_cast<std::uint8_t>(rng() % 4));
    }
    const Bytes codes = lzwEncode(data);
    LzwBufferDecoder decoder;
    Bytes collected;
    std::size_t dropped = 0; // output bytes forgotten so far
    std::size_t pos = 0;
    LzwBufferDecoder::Pause pause;
    do {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 2000, codes.size() - pos);
        const std::size_t before = decoder.size();
        const std::size_t pauseAt = before + 1 + rng() % 20000;
        ASSERT_TRUE(decoder.decode(codes.data() + pos, n, pauseAt, pause).ok());
        ASSERT_LE(pause.consumed, n);
        pos += pause.consumed;
        // Past the pause only by the one string a call always decodes.
        ASSERT_LE(decoder.size(), std::max(pauseAt, before + kLzwDictionarySize));
        collected.insert(collected.end(), decoder.data() + (collected.size() - dropped),
                         decoder.data() + decoder.size());
        const std::size_t forget = rng() % 3 == 0 ? decoder.size() : rng() % (decoder.size() + 1);
        decoder.forget(forget);
        dropped += forget;
    } while (pos < codes.size() || pause.paused);
    EXPECT_EQ(collected.size(), data.size());
    EXPECT_TRUE(collected == data);
}

TEST(LzwBufferDecoder, TakeHandsOverExactlyTheOutput) {
    const Bytes data = sample(70000, 256, 4);
    const Bytes codes = lzwEncode(data);
    LzwBufferDecoder decoder(data.size() * 4); // more room than needed
    ASSERT_TRUE(decoder.decode(codes.data(), codes.size()).ok());
    EXPECT_EQ(decoder.take(), data);
}

TEST(LzwEncoder, PiecesGiveTheStreamOfTheWhole) {
    for (auto [size, alphabet] :
         {std::pair<std::size_t, unsigned>{1, 2}, {3000, 2}, {200000, 16}, {200000, 256}}) {
        const Bytes data = sample(size, alphabet, static_cast<std::uint32_t>(size + alphabet));
        std::mt19937 rng(5);
        LzwEncoder encoder;
        Bytes codes;
        for (std::size_t pos = 0; pos < data.size();) {
            const std::size_t n = std::min<std::size_t>(1 + rng() % 100000, data.size() - pos);
            encoder.encode(data.data() + pos, n, codes);
            pos += n;
        }
        encoder.finish(codes);
        EXPECT_EQ(codes, lzwEncode(data)) << size << "/" << alphabet;
        auto back = lzwDecode(codes.data(), codes.size());
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(back.value, data);
    }
}

} // namespace
} // namespace velkard::import
