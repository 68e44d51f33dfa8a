// SPDX-License-Identifier: GPL-3.0-or-later
// Variable-width LZW as the instrument's compressed files use it: a 4096-entry dictionary, no clear
// and no end code, codes packed most significant bit first, and an automatic restart when the
// dictionary is full. The first code after a (re)start is 8 bits wide and adds no entry; the width
// then grows from 9 to 12 bits as the dictionary fills.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velkard::import {

inline constexpr int kLzwDictionarySize = 4096;
inline constexpr int kLzwFirstFree = 256;
inline constexpr int kLzwInvalidCode = -3;
inline constexpr int kLzwDictionaryFull = -1;

class LzwDecoder {
public:
    // Receives every decoded string as soon as it is decoded.
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    LzwDecoder() { init({}); }

    // Starts a new stream writing into sink.
    void init(Sink sink);

    // Decodes one chunk of the code stream; state (including a code split between chunks) carries
    // over to the next call. Returns 0 for n = 0, n when the chunk was decoded, kLzwInvalidCode
    // for a code beyond the next free entry, kLzwDictionaryFull if the dictionary overflows.
    int decodeChunk(const std::uint8_t* bytes, int n);

    // Highest dictionary index in use and the width of the next code (for tests and diagnostics).
    int lastCode() const { return lastCode_; }
    int codeWidth() const { return width_; }

private:
    static constexpr std::uint16_t kNone = 4096;

    bool readCode(std::uint32_t& code);
    void emit(std::uint16_t code);
    int addEntry(std::uint16_t prefix, std::uint8_t ch);
    void restart();

    Sink sink_;
    std::uint16_t previous_ = kNone;
    int lastCode_ = 255;
    int width_ = 8;
    std::uint32_t bitBuffer_ = 0;
    unsigned bitCount_ = 0;
    const std::uint8_t* input_ = nullptr;
    int inputSize_ = 0;
    int inputPos_ = 0;
    std::array<std::uint16_t, kLzwDictionarySize> prefix_{};
    std::array<std::uint8_t, kLzwDictionarySize> char_{};
    std::uint8_t firstChar_ = 0;
    std::array<std::uint8_t, kLzwDictionarySize> expansion_{};
};

// Encodes data into a code stream that LzwDecoder reads back exactly (same widths, same restart).
// The last code is padded with zero bits to a whole byte.
std::vector<std::uint8_t> lzwEncode(const std::uint8_t* data, std::size_t size);
inline std::vector<std::uint8_t> lzwEncode(const std::vector<std::uint8_t>& data) {
    return lzwEncode(data.data(), data.size());
}

// Decodes a whole code stream; ok is false (with the decoder's result in error) on a bad code.
struct LzwDecodeResult {
    bool ok = true;
    int error = 0;
    std::vector<std::uint8_t> bytes; // everything decoded, up to the bad code on failure
};
LzwDecodeResult lzwDecode(const std::uint8_t* data, std::size_t size);

} // namespace velkard::import
