// SPDX-License-Identifier: GPL-3.0-or-later
// LZW decoder on arbitrary code streams: decoding in chunks must give what decoding whole gives,
// and the encoder's output for any data must decode back to that data.
#include "import/Lzw.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard::import;
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 17;
    ++data;
    --size;

    auto whole = lzwDecode(data, size);
    std::vector<std::uint8_t> chunked;
    LzwDecoder decoder;
    decoder.init(
        [&](const std::uint8_t* p, std::size_t n) { chunked.insert(chunked.end(), p, p + n); });
    bool chunkedOk = true;
    for (std::size_t pos = 0; pos < size && chunkedOk; pos += piece) {
        const velkard::Status status = decoder.decodeChunk(data + pos, std::min(piece, size - pos));
        if (!status) {
            chunkedOk = false;
            if (status.code != velkard::ErrorCode::CorruptCompressedData ||
                whole.code != velkard::ErrorCode::CorruptCompressedData)
                std::abort();
        }
    }
    if (chunked != whole.value || chunkedOk != whole.ok())
        std::abort();

    std::vector<std::uint8_t> codes = lzwEncode(data, size);
    auto back = lzwDecode(codes.data(), codes.size());
    if (!back.ok() || back.value != std::vector<std::uint8_t>(data, data + size))
        std::abort();
    return 0;
}
