// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes of the instrument's memory protocol, shared by the program's side (memory/) and the
// simulated instrument's memory card (sim/), so both speak from one definition.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkard::memory {

inline constexpr std::size_t kBlockBytes = 3000;
inline constexpr std::size_t kFirstBlockHeader = 12;

namespace cmd {
inline constexpr std::uint8_t kEnter = 0x60;
inline constexpr std::uint8_t kLeave = 0x61;
inline constexpr std::uint8_t kList = 0x62;
inline constexpr std::uint8_t kContinue = 0x63;
inline constexpr std::uint8_t kRead = 0x65;
inline constexpr std::uint8_t kDelete = 0x66;
inline constexpr std::uint8_t kNameEnd = 0x7C; // '|'
} // namespace cmd

namespace reply {
inline constexpr std::uint8_t kCardMissing = 0x77;
inline constexpr std::uint8_t kReadAccepted = 0x80;
inline constexpr std::uint8_t kReadFinished = 0x79;
inline constexpr std::uint8_t kDeleteFinished = 0x81;
} // namespace reply

} // namespace velkard::memory
