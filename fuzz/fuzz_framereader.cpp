// SPDX-License-Identifier: GPL-3.0-or-later
// The frame search over arbitrary bytes: never reads out of bounds, never finds more records than
// whole frames fit, and gives the same records however the bytes are split between reads. Every
// record also goes through the receive buffer's hand-over.
#include "device/FrameReader.h"
#include "signal/ReceiveBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velkard::device::FrameReader;
    using velkard::signal::SampleRecord;

    std::vector<SampleRecord> whole;
    FrameReader one;
    one.feed(data, size, [&](const SampleRecord& r) { whole.push_back(r); });
    if (whole.size() > size / 24)
        std::abort();

    // Split into pieces whose lengths come from the data itself.
    std::vector<SampleRecord> pieces;
    FrameReader split;
    velkard::signal::ReceiveBuffer buffer;
    std::size_t pos = 0, step = size ? data[0] % 31 + 1 : 1;
    while (pos < size) {
        const std::size_t n = std::min(step, size - pos);
        split.feed(data + pos, n, [&](const SampleRecord& r) {
            pieces.push_back(r);
            buffer.pushRecord(r);
        });
        pos += n;
        step = data[pos - 1] % 53 + 1;
    }
    if (pieces != whole)
        std::abort();
    // Taken only now, after every block: the hand-over gives the newest complete block, once.
    const std::size_t complete = whole.size() / velkard::signal::kRecordsPerBlock;
    velkard::signal::SampleBlock block;
    const bool got = buffer.takeBlock(block);
    if (got != (complete > 0))
        std::abort();
    if (got && block[0] != whole[(complete - 1) * velkard::signal::kRecordsPerBlock])
        std::abort();
    if (buffer.takeBlock(block))
        std::abort();
    return 0;
}
