// SPDX-License-Identifier: GPL-3.0-or-later
// The double receive buffer between the reader thread and the user-interface thread.
//
// The reader fills one half record by record; after the 400th record it publishes the half with a
// single atomic step: a block counter incremented with release order. The half that block n went
// into is n % 2, so the counter alone tells the UI which half is complete; there is no window in
// which a "ready" flag is visible before the half index has moved. The UI takes each block once,
// in order. If the UI ever falls a whole block behind, the reader would be refilling the half the
// UI is about to copy; takeBlock() detects that and drops the overrun block instead of returning a
// torn one.
#pragma once

#include "signal/SampleRecord.h"

#include <atomic>
#include <cstdint>

namespace velkard::signal {

class ReceiveBuffer {
public:
    // Reader thread: store one record into the half being filled; returns true when this record
    // completed a block and the block was published.
    bool pushRecord(const SampleRecord& record);

    // Reader thread: whether the next record would begin refilling the half of a completed block
    // the UI has not taken yet (the reader is two blocks ahead).
    bool wouldOverwrite() const {
        return fillIndex_ == 0 && published_.load(std::memory_order_relaxed) >
                                      taken_.load(std::memory_order_acquire) + 1;
    }

    // UI thread: copy the oldest completed block not yet taken into out. Returns false when no new
    // block is ready (or the only new one was overrun while copying).
    bool takeBlock(SampleBlock& out);

    // Stop, teardown and the watchdog: forget any completed block not yet taken and the partial
    // half; the next block starts afresh. Call only while the reader thread is not running.
    void discardPending();

    // Number of blocks published since construction (monotonic).
    std::uint64_t publishedBlocks() const { return published_.load(std::memory_order_acquire); }
    // UI thread: blocks dropped by takeBlock() because the UI fell behind (monotonic).
    std::uint64_t lostBlocks() const { return lost_; }

private:
    SampleBlock halves_[2]{};
    int fillIndex_ = 0;                       // reader-owned: next record position in the half
    std::atomic<std::uint64_t> published_{0}; // blocks completed by the reader
    std::atomic<std::uint64_t> taken_{0};     // blocks consumed by the UI (UI-owned)
    std::uint64_t lost_ = 0;                  // UI-owned
};

} // namespace velkard::signal
