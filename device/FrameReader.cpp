// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FrameReader.h"

namespace velkard::device {

bool FrameReader::step(std::uint8_t byte) {
    switch (state_) {
    case State::Search:
        if (byte == wire::kSyncFirst)
            state_ = State::SyncSecond;
        return false;
    case State::SyncSecond:
        if (byte == wire::kSyncSecond) {
            state_ = State::Skip;
            count_ = 0;
        } else if (byte != wire::kSyncFirst) {
            state_ = State::Search;
        }
        return false;
    case State::Skip:
        if (++count_ == kDroppedBytes) {
            state_ = State::Record;
            count_ = 0;
        }
        return false;
    case State::Record:
        bytes_[count_++] = byte;
        if (count_ < signal::kRecordBytes)
            return false;
        for (int k = 0; k < signal::kChannels; ++k)
            record_.c[static_cast<std::size_t>(k)] = signal::readLe16(bytes_ + 2 * k);
        state_ = State::Search;
        count_ = 0;
        return true;
    }
    return false;
}

} // namespace velkard::device
