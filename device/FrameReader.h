// SPDX-License-Identifier: GPL-3.0-or-later
// The byte-level frame search of the sample stream, as a pure state machine: bytes in, records out.
//
// A frame is the sync pair F0 0F, six bytes that are dropped, and one 16-byte sample record. Bytes
// between a record and the next sync pair are skipped, so every record is preceded by a sync
// search: after an F0 byte, 0F completes the sync, another F0 keeps the search at the second byte
// (F0 F0 0F is a sync), and anything else starts the search over (F0 00 0F is not). Feeding the
// stream in any split gives the same records as feeding it byte by byte.
#pragma once

#include "signal/SampleRecord.h"
#include "wire/StreamWire.h"

#include <cstddef>
#include <cstdint>

namespace velkard::device {

class FrameReader {
public:
    static constexpr int kDroppedBytes = static_cast<int>(wire::kStatusBytes);

    // Feeds n bytes; calls onRecord(const signal::SampleRecord&) for each completed record in
    // order.
    template <typename OnRecord>
    void feed(const std::uint8_t* data, std::size_t n, OnRecord&& onRecord) {
        for (std::size_t i = 0; i < n; ++i) {
            if (step(data[i]))
                onRecord(record_);
        }
    }

    // Feeds one byte; true when it completed a record (then record() holds it).
    bool step(std::uint8_t byte);

    const signal::SampleRecord& record() const { return record_; }

private:
    enum class State : std::uint8_t { Search, SyncSecond, Skip, Record };

    State state_ = State::Search;
    int count_ = 0;
    std::uint8_t bytes_[signal::kRecordBytes]{};
    signal::SampleRecord record_{};
};

} // namespace velkard::device
