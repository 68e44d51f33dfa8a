// SPDX-License-Identifier: GPL-3.0-or-later
// Variable-width LZW as the instrument's compressed files use it: a 4096-entry dictionary, no clear
// and no end code, codes packed most significant bit first, and an automatic restart when the
// dictionary is full. The first code after a (re)start is 8 bits wide and adds no entry; the width
// then grows from 9 to 12 bits as the dictionary fills.
#pragma once

#include "signal/Status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace velkard::import {

inline constexpr int kLzwDictionarySize = 4096;
inline constexpr int kLzwFirstFree = 256;

// The decoders fail with these codes, without a message (the caller names the file):
//   CorruptCompressedData  a code beyond the next free entry
//   TooLarge               the output would grow beyond the limit the buffer decoder was given

// Decodes a code stream straight into one growing byte buffer. Every dictionary entry is an offset
// and a length into what the buffer already holds, so each string is copied forward once, from
// its earlier occurrence to the end of the output, with no call and no scratch buffer per string.
// The input may come in pieces of any size; a code split between pieces is completed by the next.
class LzwBufferDecoder {
public:
    // reserve: expected size of the whole output (allocated at once; the buffer grows
    // geometrically beyond it). limit: the output, discarded bytes included, may not grow beyond
    // this many bytes.
    explicit LzwBufferDecoder(std::size_t reserve = 0,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

    // Appends bytes that belong before the decoded strings (they are never part of the
    // dictionary). Only before the first decode().
    void append(const std::uint8_t* bytes, std::size_t n);

    // Decodes n more bytes of codes. Succeeds when all of them were decoded; fails with
    // CorruptCompressedData for a code beyond the next free entry, TooLarge when the output would
    // pass the limit. On a failure everything decoded before the bad code stays in the buffer.
    Status decode(const std::uint8_t* codes, std::size_t n);
    // The same, pausing once the buffer would hold more than pauseAt bytes (after at least one
    // string of this call); the next call goes on with the bytes not consumed. Lets a caller bound
    // the buffer whatever the codes expand to.
    struct Pause {
        std::size_t consumed = 0; // bytes of codes taken (some may wait in the bit buffer)
        bool paused = false;      // stopped at pauseAt: call again, with no bytes if none are left
    };
    Status decode(const std::uint8_t* codes, std::size_t n, std::size_t pauseAt, Pause& pause);

    // The output so far: data()[0, size()).
    std::uint8_t* data() { return buffer_.data(); }
    const std::uint8_t* data() const { return buffer_.data(); }
    std::size_t size() const { return size_; }
    // Bytes before this offset are no longer read by the decoder (the current dictionary only
    // refers to what follows it): the caller may rewrite or discard them.
    std::size_t settled() const { return dictionaryStart_; }
    // Drops the first n bytes (n <= settled()), moving the rest to the front.
    void discard(std::size_t n);
    // Drops the first n bytes (n <= size()), even those the dictionary still refers to: a later
    // code for such a string is rebuilt from the dictionary's chain of prefixes, byte by byte,
    // instead of copied. Keeps memory bounded when one dictionary spans megabytes of output.
    void forget(std::size_t n);
    // Starts a new stream: no output, a fresh dictionary (the allocation is kept).
    void clear();
    // The output, taken out of the decoder (which must not be used for the stream after that).
    std::vector<std::uint8_t> take();

    // Highest dictionary index in use and the width of the next code.
    int lastCode() const { return lastCode_; }
    int codeWidth() const { return width_; }

private:
    // Copies may write up to this many bytes past a string's end, and read as far past its source.
    static constexpr std::size_t kSlack = 32;

    struct Entry {
        std::uint32_t offset; // from dictionaryStart_
        std::uint32_t length;
    };

    bool makeRoom(std::size_t needed);
    // Writes the string of code (a dictionary entry of length bytes) at out from the chain.
    void writeFromChain(std::uint8_t* out, std::uint32_t code, std::uint32_t length) const;

    std::vector<std::uint8_t> buffer_; // size() is the capacity, kSlack included
    std::size_t size_ = 0;
    std::size_t limit_;
    std::size_t dictionaryStart_ = 0; // output offset where the current dictionary began
    // Bytes at the start of the current dictionary's output that were forgotten (then
    // dictionaryStart_ is 0): strings beginning before this offset come from the chain.
    std::size_t forgotten_ = 0;
    // Bits not yet used, most significant first from bit 63; bits below them are zero or the
    // stream's next bits.
    std::uint64_t bits_ = 0;
    unsigned bitCount_ = 0;
    int lastCode_ = 255;
    int width_ = 8;
    // The string decoded last, from dictionaryStart_; length 0 when there is none (after a start).
    std::uint32_t previousOffset_ = 0;
    std::uint32_t previousLength_ = 0;
    std::uint32_t previousCode_ = 0;
    // Entries above lastCode_ are never used, so they are not cleared between streams.
    std::array<Entry, kLzwDictionarySize> entries_{};
    // Per entry: the code of its prefix (low 16 bits) and its last byte (bits 16-23).
    std::array<std::uint32_t, kLzwDictionarySize> chain_{};
};

// The same decoding fed chunk by chunk, handing the decoded bytes to a sink.
class LzwDecoder {
public:
    // Receives the bytes decoded by each call of decodeChunk, in order.
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    LzwDecoder() { init({}); }

    // Starts a new stream writing into sink.
    void init(Sink sink);

    // Decodes one chunk of the code stream; state (including a code split between chunks) carries
    // over to the next call. Fails with CorruptCompressedData for a code beyond the next free entry
    // (the bytes decoded before it still reach the sink). The dictionary never overflows: it
    // restarts before it would.
    Status decodeChunk(const std::uint8_t* bytes, std::size_t n);

    // Highest dictionary index in use and the width of the next code (for tests and diagnostics).
    int lastCode() const { return decoder_.lastCode(); }
    int codeWidth() const { return decoder_.codeWidth(); }

private:
    Sink sink_;
    LzwBufferDecoder decoder_;
    std::size_t delivered_ = 0; // output bytes already handed to the sink
};

// Encodes data into a code stream that LzwDecoder reads back exactly (same widths, same restart).
// The last code is padded with zero bits to a whole byte.
std::vector<std::uint8_t> lzwEncode(const std::uint8_t* data, std::size_t size);
inline std::vector<std::uint8_t> lzwEncode(const std::vector<std::uint8_t>& data) {
    return lzwEncode(data.data(), data.size());
}

// The encoder fed piece by piece: the codes of all pieces together are those lzwEncode gives for
// the whole input.
class LzwEncoder {
public:
    LzwEncoder();
    ~LzwEncoder();
    LzwEncoder(const LzwEncoder&) = delete;
    LzwEncoder& operator=(const LzwEncoder&) = delete;

    // Encodes the next n bytes, appending whole code bytes to out.
    void encode(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out);
    // Ends the stream: the pending string's code and the padding of the last byte go to out.
    void finish(std::vector<std::uint8_t>& out);

private:
    struct Table;
    void put(std::uint32_t code, std::uint8_t*& out);
    void emitCurrent(std::uint8_t*& out);

    std::unique_ptr<Table> table_;
    std::uint64_t bits_ = 0; // pending bits in the low bitCount_ bits
    int bitCount_ = 0;
    // The decoder's view: its highest entry and the width of the next code it reads.
    int decoderLast_ = 255;
    int width_ = 8;
    bool firstOfRun_ = true;
    // The encoder's own next free entry runs one ahead of the decoder's, as in every LZW.
    int nextFree_ = kLzwFirstFree;
    bool started_ = false;
    std::uint32_t current_ = 0; // code of the string matched so far
};

// Decodes a whole code stream. A bad code fails with CorruptCompressedData; the value then holds
// everything decoded up to the bad code.
Result<std::vector<std::uint8_t>> lzwDecode(const std::uint8_t* data, std::size_t size);

} // namespace velkard::import
