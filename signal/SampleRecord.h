// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's sample record and sample block: the unit every part of the program exchanges.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkard::signal {

inline constexpr int kRecordsPerSecond = 800;
inline constexpr int kChannels = 8;
inline constexpr int kRecordBytes = 16;
inline constexpr int kRecordsPerBlock = 400;
inline constexpr int kBlockBytes = kRecordsPerBlock * kRecordBytes; // 6400 bytes, 0.5 s
// Sample units in one millivolt: 198 ÷ (0.3125 × 0.93) ≈ 681.3.
inline constexpr double kUnitsPerMillivolt = 198.0 / (0.3125 * 0.93);

// One sampling instant: c0 lead III, c1 lead II, c2..c7 the chest channels. On disk and on the wire
// each value is a signed 16-bit little-endian integer, so the struct is exactly 16 bytes.
struct SampleRecord {
    std::array<std::int16_t, kChannels> c{};

    bool operator==(const SampleRecord&) const = default;
};
static_assert(sizeof(SampleRecord) == kRecordBytes);

using SampleBlock = std::array<SampleRecord, kRecordsPerBlock>;
static_assert(sizeof(SampleBlock) == kBlockBytes);

// Little-endian helpers for reading fields out of raw file bytes.
inline std::int16_t readLe16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}
inline void writeLe16(std::uint8_t* p, std::int16_t v) {
    auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<std::uint8_t>(u & 0xFF);
    p[1] = static_cast<std::uint8_t>(u >> 8);
}

} // namespace velkard::signal
