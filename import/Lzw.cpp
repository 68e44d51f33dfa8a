// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Lzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velkard::import {

namespace {

std::uint64_t loadBigEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap64(v);
    return v;
}

void storeBigEndian32(std::uint8_t* p, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, sizeof v);
}

// Copies n >= 1 bytes from src to dst in 16-byte blocks, so up to 15 bytes past both ends are
// read and written too. src + n <= dst: the source bytes that matter lie before everything this
// writes, so a block that reads bytes written by the one before only reads them past n.
inline void copyForward(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
    std::size_t done = 0;
    do {
        std::uint8_t block[16];
        std::memcpy(block, src + done, 16);
        std::memcpy(dst + done, block, 16);
        done += 16;
    } while (done < n);
}

// Every byte value, with room for a 16-byte read from any of them: single-byte codes are copied
// from here like any other string.
constexpr std::array<std::uint8_t, 256 + 16> kSingleBytes = [] {
    std::array<std::uint8_t, 256 + 16> bytes{};
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return bytes;
}();

} // namespace

LzwBufferDecoder::LzwBufferDecoder(std::size_t reserve, std::size_t limit) : limit_(limit) {
    if (reserve > 0)
        buffer_.resize(std::min(reserve, limit_) + kSlack);
}

void LzwBufferDecoder::clear() {
    size_ = 0;
    dictionaryStart_ = 0;
    forgotten_ = 0;
    bits_ = 0;
    bitCount_ = 0;
    lastCode_ = 255;
    width_ = 8;
    previousOffset_ = 0;
    previousLength_ = 0;
    previousCode_ = 0;
}

bool LzwBufferDecoder::makeRoom(std::size_t needed) {
    if (needed > limit_)
        return false;
    const std::size_t capacity = buffer_.size() > kSlack ? buffer_.size() - kSlack : 0;
    if (needed <= capacity)
        return true;
    std::size_t grown = std::max({needed, capacity * 2, std::size_t{4096}});
    buffer_.resize(std::min(grown, limit_) + kSlack);
    return true;
}

void LzwBufferDecoder::append(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0 || !makeRoom(size_ + n))
        return;
    std::memcpy(buffer_.data() + size_, bytes, n);
    size_ += n;
    dictionaryStart_ = size_;
}

void LzwBufferDecoder::discard(std::size_t n) {
    forget(std::min(n, dictionaryStart_));
}

void LzwBufferDecoder::forget(std::size_t n) {
    n = std::min(n, size_);
    if (n == 0)
        return;
    std::memmove(buffer_.data(), buffer_.data() + n, size_ - n);
    size_ -= n;
    limit_ -= n; // the limit is on the whole stream, discarded bytes included
    if (n <= dictionaryStart_) {
        dictionaryStart_ -= n;
    } else {
        forgotten_ += n - dictionaryStart_;
        dictionaryStart_ = 0;
    }
}

std::vector<std::uint8_t> LzwBufferDecoder::take() {
    buffer_.resize(size_);
    std::vector<std::uint8_t> out = std::move(buffer_);
    buffer_.clear();
    clear();
    return out;
}

void LzwBufferDecoder::writeFromChain(std::uint8_t* out, std::uint32_t code,
                                      std::uint32_t length) const {
    std::uint8_t* p = out + length;
    while (code >= kLzwFirstFree) {
        const std::uint32_t link = chain_[code];
        *--p = static_cast<std::uint8_t>(link >> 16);
        code = link & 0xFFFF;
    }
    *--p = static_cast<std::uint8_t>(code);
}

Status LzwBufferDecoder::decode(const std::uint8_t* codes, std::size_t n) {
    Pause pause;
    return decode(codes, n, std::numeric_limits<std::size_t>::max(), pause);
}

Status LzwBufferDecoder::decode(const std::uint8_t* codes, std::size_t n, std::size_t pauseAt,
                                Pause& pause) {
    const std::uint8_t* in = codes;
    const std::uint8_t* const end = codes + n;
    // The whole state lives in locals while decoding and is stored back at the end.
    std::uint64_t bits = bits_;
    unsigned count = bitCount_;
    int last = lastCode_;
    int width = width_;
    int widthLimit = 1 << width; // the width grows when the dictionary reaches this many entries
    std::uint32_t previousOffset = previousOffset_;
    std::uint32_t previousLength = previousLength_;
    std::uint32_t previousCode = previousCode_;
    Entry* const entries = entries_.data();
    std::uint32_t* const chain = chain_.data();
    // Positions below are counted from the start of the current dictionary; adding shift gives
    // the offset in the buffer. Strings that begin before lowest were forgotten.
    std::ptrdiff_t shift =
        static_cast<std::ptrdiff_t>(dictionaryStart_) - static_cast<std::ptrdiff_t>(forgotten_);
    std::size_t lowest = forgotten_;
    std::size_t pos = size_ + forgotten_ - dictionaryStart_;
    std::uint8_t* buf = buffer_.data();
    auto at = [&](std::size_t segmentOffset) {
        return buf + (static_cast<std::ptrdiff_t>(segmentOffset) + shift);
    };
    bool decodedAny = false;
    // Room for the output, as a position: the capacity, the limit or the pause, whichever comes
    // first. Only a string past the pause of a call that has decoded one already pauses.
    auto roomFor = [&] {
        const std::size_t capacity = buffer_.size() > kSlack ? buffer_.size() - kSlack : 0;
        const auto here = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + shift);
        const std::size_t room = std::min({capacity, limit_, std::max(pauseAt, here)});
        return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(room) - shift);
    };
    std::size_t room = roomFor();
    ErrorCode status = ErrorCode::None;
    pause.paused = false;

    for (;;) {
        if (end - in >= 8) {
            // Tops the bit buffer up to at least 56 bits with one load.
            bits |= loadBigEndian64(in) >> count;
            in += (63 - count) >> 3;
            count |= 56;
        } else {
            while (count < static_cast<unsigned>(width)) {
                if (in == end)
                    goto done; // the pending bits wait for the next piece
                bits |= std::uint64_t{*in++} << (56 - count);
                count += 8;
            }
        }
        const auto code = static_cast<std::uint32_t>(bits >> (64 - width));
        bits <<= width;
        count -= static_cast<unsigned>(width);

        const bool known = code <= static_cast<std::uint32_t>(last);
        const Entry entry = entries[code];
        std::uint32_t length;
        if (known) {
            length = code < 256 ? 1 : entry.length;
        } else if (code == static_cast<std::uint32_t>(last) + 1 && previousLength > 0) {
            // The entry about to be made: the previous string and its own first byte.
            length = previousLength + 1;
        } else {
            status = ErrorCode::CorruptCompressedData;
            break;
        }
        if (pos + length > room) {
            const std::size_t needed =
                static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos + length) + shift);
            if (needed > pauseAt && decodedAny) {
                // Puts the code back for the next call.
                bits = (bits >> width) | (std::uint64_t{code} << (64 - width));
                count += static_cast<unsigned>(width);
                pause.paused = true;
                break;
            }
            if (!makeRoom(needed)) {
                status = ErrorCode::TooLarge;
                break;
            }
            buf = buffer_.data();
            room = roomFor();
        }
        std::uint8_t* const out = at(pos);
        if (known) {
            if (code < 256)
                copyForward(out, kSingleBytes.data() + code, 1);
            else if (entry.offset >= lowest)
                copyForward(out, at(entry.offset), length);
            else
                writeFromChain(out, code, length);
        } else {
            if (previousOffset >= lowest)
                copyForward(out, at(previousOffset), previousLength);
            else
                writeFromChain(out, previousCode, previousLength);
            out[previousLength] = out[0];
        }
        decodedAny = true;
        // The new entry is the previous string plus this string's first byte, which follows it
        // directly in the output.
        if (previousLength > 0) {
            ++last;
            entries[last] = {previousOffset, previousLength + 1};
            chain[last] = previousCode | (std::uint32_t{out[0]} << 16);
        }
        previousOffset = static_cast<std::uint32_t>(pos);
        previousLength = length;
        previousCode = code;
        pos += length;
        if (last + 1 == widthLimit) {
            if (last == kLzwDictionarySize - 1) {
                // Full: restart with single bytes and 8-bit codes. Nothing before this point is
                // referred to again.
                shift += static_cast<std::ptrdiff_t>(pos);
                room -= pos;
                pos = 0;
                lowest = 0;
                previousLength = 0;
                last = 255;
                width = 8;
                widthLimit = 256;
            } else {
                ++width;
                widthLimit <<= 1;
            }
        }
    }
done:
    size_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + shift);
    if (shift >= 0) {
        dictionaryStart_ = static_cast<std::size_t>(shift);
        forgotten_ = 0;
    } else {
        dictionaryStart_ = 0;
        forgotten_ = static_cast<std::size_t>(-shift);
    }
    pause.consumed = static_cast<std::size_t>(in - codes);
    bits_ = bits;
    bitCount_ = count;
    lastCode_ = last;
    width_ = width;
    previousOffset_ = previousOffset;
    previousLength_ = previousLength;
    previousCode_ = previousCode;
    return status;
}

void LzwDecoder::init(Sink sink) {
    sink_ = std::move(sink);
    decoder_.clear();
    delivered_ = 0;
}

Status LzwDecoder::decodeChunk(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0)
        return {};
    // Decoded a bounded piece at a time, delivered, and forgotten but for a window the next
    // strings are most likely copied from: memory stays bounded whatever the codes expand to.
    constexpr std::size_t kPiece = 256 * 1024;
    constexpr std::size_t kWindow = 256 * 1024;
    Status status;
    LzwBufferDecoder::Pause pause;
    std::size_t pos = 0;
    do {
        status = decoder_.decode(bytes + pos, n - pos, decoder_.size() + kPiece, pause);
        pos += pause.consumed;
        if (decoder_.size() > delivered_ && sink_)
            sink_(decoder_.data() + delivered_, decoder_.size() - delivered_);
        delivered_ = decoder_.size();
        const std::size_t keep = std::min(decoder_.size() - decoder_.settled(), kWindow);
        const std::size_t drop = decoder_.size() - keep;
        decoder_.forget(drop);
        delivered_ -= drop;
    } while (status && pause.paused);
    return status;
}

Result<std::vector<std::uint8_t>> lzwDecode(const std::uint8_t* data, std::size_t size) {
    LzwBufferDecoder decoder(size * 3);
    const Status status = decoder.decode(data, size);
    if (!status)
        return Result<std::vector<std::uint8_t>>::failure(status.code, "invalid LZW code",
                                                          decoder.take());
    return Result<std::vector<std::uint8_t>>::success(decoder.take());
}

// Open-addressing map from (prefix code, next byte) to the code of that string. A slot holds its
// stamp, key and code; slots with an older stamp are empty, so starting afresh only bumps the
// stamp.
struct LzwEncoder::Table {
    static constexpr std::size_t kSlots = 16384; // at most 3840 entries: load stays low
    static constexpr std::size_t kMask = kSlots - 1;

    std::uint64_t stamp = 1;
    std::array<std::uint64_t, kSlots> slots{};

    static std::size_t slot(std::uint32_t key) { return (key * 2654435761u) >> 18; }

    void clear() {
        if (++stamp == 0x10000) {
            slots.fill(0);
            stamp = 1;
        }
    }
    // The code of (prefix, ch), or -1 with the free slot for it in where.
    int find(std::uint32_t prefix, std::uint8_t ch, std::size_t& where) const {
        const std::uint32_t key = (prefix << 8) | ch;
        const std::uint64_t wanted = (stamp << 20) | key;
        for (std::size_t i = slot(key);; i = (i + 1) & kMask) {
            const std::uint64_t s = slots[i];
            if ((s >> 32) != stamp) {
                where = i;
                return -1;
            }
            if ((s >> 12) == wanted)
                return static_cast<int>(s & 0xFFF);
        }
    }
    void insert(std::size_t where, std::uint32_t prefix, std::uint8_t ch, int code) {
        slots[where] =
            (stamp << 32) | (((prefix << 8) | ch) << 12) | static_cast<std::uint32_t>(code);
    }
};

LzwEncoder::LzwEncoder() : table_(std::make_unique<Table>()) {}
LzwEncoder::~LzwEncoder() = default;

void LzwEncoder::put(std::uint32_t code, std::uint8_t*& out) {
    bits_ = (bits_ << width_) | code;
    bitCount_ += width_;
    if (bitCount_ >= 32) {
        bitCount_ -= 32;
        storeBigEndian32(out, static_cast<std::uint32_t>(bits_ >> bitCount_));
        out += 4;
    }
}

// Writes the code of the string matched so far and follows the decoder through it.
void LzwEncoder::emitCurrent(std::uint8_t*& out) {
    put(current_, out);
    if (firstOfRun_)
        firstOfRun_ = false;
    else
        ++decoderLast_;
    if ((1 << width_) == decoderLast_ + 1)
        ++width_;
}

void LzwEncoder::encode(const std::uint8_t* data, std::size_t n, std::vector<std::uint8_t>& out) {
    // Slices bound the room made in out: at most 12 bits per input byte.
    constexpr std::size_t kSlice = 1 << 16;
    Table& table = *table_;
    for (std::size_t sliceStart = 0; sliceStart < n; sliceStart += kSlice) {
        const std::size_t sliceEnd = std::min(n, sliceStart + kSlice);
        const std::size_t used = out.size();
        out.resize(used + (sliceEnd - sliceStart) * 3 / 2 + 16);
        std::uint8_t* o = out.data() + used;
        std::size_t i = sliceStart;
        if (!started_) {
            current_ = data[i++];
            started_ = true;
        }
        for (; i < sliceEnd; ++i) {
            const std::uint8_t next = data[i];
            std::size_t where;
            const int found = table.find(current_, next, where);
            if (found >= 0) {
                current_ = static_cast<std::uint32_t>(found);
                continue;
            }
            emitCurrent(o);
            if (decoderLast_ == kLzwDictionarySize - 1) {
                // The decoder restarts here: start afresh with single bytes and 8-bit codes.
                decoderLast_ = 255;
                width_ = 8;
                firstOfRun_ = true;
                nextFree_ = kLzwFirstFree;
                table.clear();
            } else if (nextFree_ < kLzwDictionarySize) {
                table.insert(where, current_, next, nextFree_++);
            }
            current_ = next;
        }
        out.resize(static_cast<std::size_t>(o - out.data()));
    }
}

void LzwEncoder::finish(std::vector<std::uint8_t>& out) {
    const std::size_t used = out.size();
    out.resize(used + 16);
    std::uint8_t* o = out.data() + used;
    if (started_)
        emitCurrent(o);
    while (bitCount_ >= 8) {
        bitCount_ -= 8;
        *o++ = static_cast<std::uint8_t>(bits_ >> bitCount_);
    }
    if (bitCount_ > 0)
        *o++ = static_cast<std::uint8_t>(bits_ << (8 - bitCount_));
    out.resize(static_cast<std::size_t>(o - out.data()));
    bits_ = 0;
    bitCount_ = 0;
    decoderLast_ = 255;
    width_ = 8;
    firstOfRun_ = true;
    nextFree_ = kLzwFirstFree;
    started_ = false;
    table_->clear();
}

std::vector<std::uint8_t> lzwEncode(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    if (size == 0)
        return out;
    out.reserve(size / 2 + 16);
    LzwEncoder encoder;
    encoder.encode(data, size, out);
    encoder.finish(out);
    return out;
}

} // namespace velkard::import
