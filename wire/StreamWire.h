// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes of the instrument's sample stream, shared by the program's side (device/) and the
// simulated instrument (sim/), so both speak from one definition.
//
// The host sends 0x5A to start the stream and 0xA5 to stop it; 0x60 enters memory mode and 0x61
// leaves it (the memory protocol's bytes are in wire/MemoryWire.h). The stream is a run of frames:
// the sync pair F0 0F, six status bytes, then one 16-byte sample record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkard::wire {

inline constexpr std::uint8_t kStart = 0x5A;
inline constexpr std::uint8_t kStop = 0xA5;
inline constexpr std::uint8_t kEnterMemory = 0x60;
inline constexpr std::uint8_t kLeaveMemory = 0x61;

inline constexpr std::uint8_t kSyncFirst = 0xF0;
inline constexpr std::uint8_t kSyncSecond = 0x0F;
inline constexpr std::size_t kStatusBytes = 6;
// Sync pair, status bytes and the 16-byte sample record (signal::kRecordBytes).
inline constexpr std::size_t kFrameBytes = 2 + kStatusBytes + 16;

// The stream's line speed; the memory protocol runs faster (see memory/).
inline constexpr std::uint32_t kStreamBaud = 230400;

} // namespace velkard::wire
