// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/ReceiveBuffer.h"

namespace velkard::signal {

bool ReceiveBuffer::pushRecord(const SampleRecord& record) {
    const std::uint64_t block = published_.load(std::memory_order_relaxed);
    // Starting a half again: pairs with the UI's release of taken_ after it copied the block that
    // was here, so the copy happens-before this overwrite.
    if (fillIndex_ == 0)
        (void)taken_.load(std::memory_order_acquire);
    halves_[block % 2][fillIndex_] = record;
    if (++fillIndex_ < kRecordsPerBlock)
        return false;
    fillIndex_ = 0;
    published_.store(block + 1, std::memory_order_release);
    return true;
}

bool ReceiveBuffer::takeBlock(SampleBlock& out) {
    const std::uint64_t done = published_.load(std::memory_order_acquire);
    std::uint64_t next = taken_.load(std::memory_order_relaxed);
    if (next >= done)
        return false;
    // Only the newest completed block is safe to copy: the reader is filling the other half.
    if (done - next > 1)
        next = done - 1;
    out = halves_[next % 2];
    taken_.store(next + 1, std::memory_order_release);
    // The reader may have finished another block and begun overwriting this half meanwhile. A
    // read-don't-modify-write with release order keeps the copy above from moving past the check.
    return published_.fetch_add(0, std::memory_order_acq_rel) <= next + 1;
}

void ReceiveBuffer::discardPending() {
    fillIndex_ = 0;
    taken_.store(published_.load(std::memory_order_acquire), std::memory_order_relaxed);
}

} // namespace velkard::signal
