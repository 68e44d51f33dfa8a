// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Lzw.h"

#include <algorithm>
#include <memory>

namespace velkard::import {

void LzwDecoder::init(Sink sink) {
    sink_ = std::move(sink);
    previous_ = kNone;
    lastCode_ = 255;
    width_ = 8;
    bitBuffer_ = 0;
    bitCount_ = 0;
    input_ = nullptr;
    inputSize_ = 0;
    inputPos_ = 0;
    for (int i = 0; i < kLzwFirstFree; ++i) {
        prefix_[static_cast<std::size_t>(i)] = kNone;
        char_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    // Entries above 255 are cleared so nothing stale from an earlier stream can ever be emitted.
    std::fill(prefix_.begin() + kLzwFirstFree, prefix_.end(), kNone);
    std::fill(char_.begin() + kLzwFirstFree, char_.end(), std::uint8_t{0});
    firstChar_ = 0;
}

bool LzwDecoder::readCode(std::uint32_t& code) {
    while (bitCount_ < static_cast<unsigned>(width_)) {
        if (inputPos_ == inputSize_)
            return false; // pending bits wait for the next chunk
        bitBuffer_ = (bitBuffer_ << 8) | input_[inputPos_++];
        bitCount_ += 8;
    }
    bitCount_ -= static_cast<unsigned>(width_);
    code = (bitBuffer_ >> bitCount_) & ((1u << width_) - 1u);
    return true;
}

void LzwDecoder::emit(std::uint16_t code) {
    // Strings are built backwards from the end of the buffer; a looping chain stops when full.
    std::size_t pos = expansion_.size();
    std::uint16_t c = code;
    do {
        expansion_[--pos] = char_[c];
        c = prefix_[c];
    } while (c != kNone && pos > 0);
    firstChar_ = expansion_[pos];
    if (sink_)
        sink_(expansion_.data() + pos, expansion_.size() - pos);
}

int LzwDecoder::addEntry(std::uint16_t prefix, std::uint8_t ch) {
    if (prefix == kNone)
        return ch;
    if (lastCode_ == kLzwDictionarySize - 1)
        return kLzwDictionarySize;
    ++lastCode_;
    prefix_[static_cast<std::size_t>(lastCode_)] = prefix;
    char_[static_cast<std::size_t>(lastCode_)] = ch;
    return lastCode_;
}

void LzwDecoder::restart() {
    previous_ = kNone;
    lastCode_ = 255;
    width_ = 8;
    std::fill(prefix_.begin() + kLzwFirstFree, prefix_.end(), kNone);
}

int LzwDecoder::decodeChunk(const std::uint8_t* bytes, int n) {
    if (n <= 0)
        return 0;
    input_ = bytes;
    inputSize_ = n;
    inputPos_ = 0;
    std::uint32_t code = 0;
    while (readCode(code)) {
        if (static_cast<int>(code) > lastCode_) {
            // Only the entry about to be made may be referred to, and only when there is a string
            // before it to build it from.
            if (static_cast<int>(code) != lastCode_ + 1 || previous_ == kNone)
                return kLzwInvalidCode;
            if (addEntry(previous_, firstChar_) == kLzwDictionarySize)
                return kLzwDictionaryFull;
            emit(static_cast<std::uint16_t>(code));
        } else {
            emit(static_cast<std::uint16_t>(code));
            if (addEntry(previous_, firstChar_) == kLzwDictionarySize)
                return kLzwDictionaryFull;
        }
        previous_ = static_cast<std::uint16_t>(code);
        if ((1 << width_) == lastCode_ + 1)
            ++width_;
        if (lastCode_ == kLzwDictionarySize - 1)
            restart();
    }
    input_ = nullptr;
    return inputPos_;
}

namespace {

// Packs codes most significant bit first.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t code, int width) {
        acc_ = (acc_ << width) | code;
        bits_ += width;
        while (bits_ >= 8) {
            bits_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
        }
        acc_ &= (1u << bits_) - 1u;
    }
    void flush() {
        if (bits_ > 0)
            out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - bits_)));
        bits_ = 0;
        acc_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint32_t acc_ = 0;
    int bits_ = 0;
};

// Open-addressing map from (prefix code, next byte) to the code of that string.
class StringTable {
public:
    StringTable() { clear(); }
    void clear() { std::fill(keys_.begin(), keys_.end(), kEmpty); }
    int find(std::uint32_t prefix, std::uint8_t ch) const {
        std::uint32_t key = (prefix << 8) | ch;
        for (std::size_t i = slot(key);; i = (i + 1) & kMask) {
            if (keys_[i] == kEmpty)
                return -1;
            if (keys_[i] == key)
                return codes_[i];
        }
    }
    void insert(std::uint32_t prefix, std::uint8_t ch, int code) {
        std::uint32_t key = (prefix << 8) | ch;
        std::size_t i = slot(key);
        while (keys_[i] != kEmpty)
            i = (i + 1) & kMask;
        keys_[i] = key;
        codes_[i] = static_cast<std::uint16_t>(code);
    }

private:
    static constexpr std::size_t kSlots = 16384; // at most 3840 entries: load stays low
    static constexpr std::size_t kMask = kSlots - 1;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static std::size_t slot(std::uint32_t key) { return (key * 2654435761u) >> 18; }
    std::array<std::uint32_t, kSlots> keys_{};
    std::array<std::uint16_t, kSlots> codes_{};
};

} // namespace

std::vector<std::uint8_t> lzwEncode(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    if (size == 0)
        return out;
    out.reserve(size / 2 + 16);
    BitWriter writer(out);
    auto table = std::make_unique<StringTable>();

    // The decoder's view: its highest entry and the width of the next code it reads.
    int decoderLast = 255;
    int width = 8;
    bool firstOfRun = true;
    // The encoder's own next free entry runs one ahead of the decoder's, as in every LZW.
    int nextFree = kLzwFirstFree;

    std::uint32_t current = data[0];
    for (std::size_t i = 1; i <= size; ++i) {
        if (i < size) {
            int found = table->find(current, data[i]);
            if (found >= 0) {
                current = static_cast<std::uint32_t>(found);
                continue;
            }
        }
        writer.put(current, width);
        if (firstOfRun)
            firstOfRun = false;
        else
            ++decoderLast;
        if ((1 << width) == decoderLast + 1)
            ++width;
        if (decoderLast == kLzwDictionarySize - 1) {
            // The decoder restarts here: start afresh with single bytes and 8-bit codes.
            decoderLast = 255;
            width = 8;
            firstOfRun = true;
            nextFree = kLzwFirstFree;
            table->clear();
        } else if (i < size && nextFree < kLzwDictionarySize) {
            table->insert(current, data[i], nextFree++);
        }
        if (i < size)
            current = data[i];
    }
    writer.flush();
    return out;
}

LzwDecodeResult lzwDecode(const std::uint8_t* data, std::size_t size) {
    LzwDecodeResult result;
    LzwDecoder decoder;
    decoder.init([&](const std::uint8_t* p, std::size_t n) {
        result.bytes.insert(result.bytes.end(), p, p + n);
    });
    // Feed in pieces that fit the decoder's int-sized chunks.
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t pos = 0; pos < size; pos += kPiece) {
        int n = static_cast<int>(std::min(kPiece, size - pos));
        int r = decoder.decodeChunk(data + pos, n);
        if (r != n) {
            result.ok = false;
            result.error = r;
            break;
        }
    }
    return result;
}

} // namespace velkard::import
