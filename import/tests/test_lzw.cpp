// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace velkard::import {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Collected {
    LzwDecoder decoder;
    Bytes out;
    Collected() {
        decoder.init(
            [this](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    }
    ErrorCode feed(const Bytes& in) { return decoder.decodeChunk(in.data(), in.size()).code; }
};

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Codes packed most significant bit first, padded with zero bits.
Bytes pack(const std::vector<std::pair<std::uint32_t, int>>& codes) {
    Bytes out;
    std::uint64_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc = (acc << width) | code;
        bits += width;
        while (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(acc >> bits));
        }
    }
    if (bits)
        out.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
    return out;
}

TEST(LzwDecoder, SpecialCaseCodeRightAfterItsEntry) {
    Collected c;
    EXPECT_EQ(c.feed({0x41, 0x20, 0xC0, 0x40}), ErrorCode::None);
    EXPECT_EQ(c.out, text("AAAA"));
    EXPECT_EQ(c.decoder.lastCode(), 257);
    EXPECT_EQ(c.decoder.codeWidth(), 9);
}

TEST(LzwDecoder, OrdinaryBranchAndInvalidCode) {
    Collected ordinary;
    EXPECT_EQ(ordinary.feed({0x41, 0x20, 0xC0, 0x00}), ErrorCode::None); // third code 0x100 = "AA"
    EXPECT_EQ(ordinary.out, text("AAAA"));

    Collected bad;
    EXPECT_EQ(bad.feed({0x41, 0x20, 0xC0, 0x80}),
              ErrorCode::CorruptCompressedData); // third code 0x102
    EXPECT_EQ(bad.out, text("AA"));
}

TEST(LzwDecoder, SecondCodeMayOnlyBeTheNextEntry) {
    Collected accepted; // "A" then 0x100 at 9 bits: entry 256 = "AA"
    EXPECT_EQ(accepted.feed(pack({{0x41, 8}, {0x100, 9}})), ErrorCode::None);
    EXPECT_EQ(accepted.out, text("AAA"));
    Collected rejected;
    EXPECT_EQ(rejected.feed(pack({{0x41, 8}, {0x101, 9}})), ErrorCode::CorruptCompressedData);
    Collected empty;
    EXPECT_TRUE(empty.decoder.decodeChunk(nullptr, 0).ok());
    EXPECT_TRUE(empty.out.empty());
}

TEST(LzwDecoder, WidthGrowsAndRestartsAfter3840Entries) {
    // 3841 codes add entries 256..4095; every code here is the byte 'x' (or 'y' after the restart).
    std::vector<std::pair<std::uint32_t, int>> codes;
    codes.push_back({'x', 8});
    int last = 255;
    int width = 9;
    for (int i = 0; i < 3840; ++i) {
        codes.push_back({'x', width});
        ++last;
        if ((1 << width) == last + 1)
            ++width;
    }
    ASSERT_EQ(last, 4095);
    codes.push_back({'y', 8});   // after the restart: 8 bits, no entry
    codes.push_back({0x100, 9}); // the special case again: "yy"
    Collected c;
    Bytes stream = pack(codes);
    ASSERT_EQ(c.feed(stream), ErrorCode::None);
    Bytes expected(3841, 'x');
    expected.insert(expected.end(), {'y', 'y', 'y'});
    EXPECT_EQ(c.out, expected);
    EXPECT_EQ(c.decoder.lastCode(), 256);
    EXPECT_EQ(c.decoder.codeWidth(), 9);
}

TEST(LzwEncoder, KnownStreamForRepeatedByte) {
    // "AAAA": A (8 bits), then 256 = "AA" (9 bits, the special case), then A (9 bits).
    EXPECT_EQ(lzwEncode(text("AAAA")), pack({{0x41, 8}, {0x100, 9}, {0x41, 9}}));
    EXPECT_TRUE(lzwEncode(Bytes{}).empty());
    EXPECT_EQ(lzwEncode(text("Z")), Bytes{'Z'});
}

// Feeds the stream in pieces of the sizes that next() gives.
template <typename Next> Bytes decodeInPieces(const Bytes& stream, Next next) {
    Collected c;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        std::size_t n = std::min<std::size_t>(next(), stream.size() - pos);
        EXPECT_TRUE(c.decoder.decodeChunk(stream.data() + pos, n).ok());
        pos += n;
    }
    return c.out;
}

TEST(LzwRoundTrip, RandomDataWholeOneByteAndRandomChunks) {
    std::mt19937 rng(1234);
    const std::size_t sizes[] = {1, 2, 255, 4096, 70000, 300000};
    for (std::size_t size : sizes) {
        // Few distinct symbols make long strings and many restarts; random bytes make wide codes.
        for (unsigned alphabet : {2u, 16u, 256u}) {
            Bytes data(size);
            for (auto& b : data)
                b = static_cast<std::uint8_t>(rng() % alphabet);
            Bytes stream = lzwEncode(data);
            auto whole = lzwDecode(stream.data(), stream.size());
            ASSERT_TRUE(whole.ok()) << size << "/" << alphabet;
            ASSERT_EQ(whole.value, data) << size << "/" << alphabet;
            if (size <= 70000) {
                ASSERT_EQ(decodeInPieces(stream, [] { return std::size_t{1}; }), data);
            }
            ASSERT_EQ(decodeInPieces(stream, [&] { return std::size_t{1 + rng() % 700}; }), data);
        }
    }
}

TEST(LzwRoundTrip, LongRunsReachTheLongestStrings) {
    Bytes data(5'000'000, 0x00);
    for (std::size_t i = 0; i < data.size(); i += 100'000)
        data[i] = 0x01;
    Bytes stream = lzwEncode(data);
    EXPECT_LT(stream.size(), data.size() / 100);
    auto r = lzwDecode(stream.data(), stream.size());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value, data);
}

TEST(LzwDecoder, InitStartsAFreshStream) {
    Collected c;
    Bytes a = lzwEncode(text("abababababab"));
    ASSERT_EQ(c.feed(a), ErrorCode::None);
    Bytes out;
    c.decoder.init([&](const std::uint8_t* p, std::size_t n) { out.insert(out.end(), p, p + n); });
    Bytes b = lzwEncode(text("xyzxyzxyz"));
    ASSERT_TRUE(c.decoder.decodeChunk(b.data(), b.size()).ok());
    EXPECT_EQ(out, text("xyzxyzxyz"));
}

} // namespace
} // namespace velkard::import
