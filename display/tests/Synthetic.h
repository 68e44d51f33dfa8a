// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic recordings for the display tests: records built from a function of the record index.
#pragma once

#include "signal/SampleRecord.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace velkard::display::test {

// What the main window shows, as the tests hand it to the display.
inline const View kReview{Shown::CardRecording};
inline const View kLive{Shown::Live};
inline const View kRhythmogram{Shown::Rhythmogram};

inline std::vector<std::uint8_t>
makeRecording(int records, const std::function<signal::SampleRecord(int)>& recordAt) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(records) * signal::kRecordBytes);
    for (int i = 0; i < records; ++i) {
        const signal::SampleRecord r = recordAt(i);
        for (int ch = 0; ch < signal::kChannels; ++ch)
            signal::writeLe16(bytes.data() + i * signal::kRecordBytes + ch * 2,
                              r.c[static_cast<std::size_t>(ch)]);
    }
    return bytes;
}

inline signal::SampleRecord record(std::int16_t c0, std::int16_t c1, std::int16_t chest = 0) {
    signal::SampleRecord r;
    r.c[0] = c0;
    r.c[1] = c1;
    for (std::size_t ch = 2; ch < 8; ++ch)
        r.c[ch] = chest;
    return r;
}

inline std::vector<std::uint8_t> constantRecording(int records, std::int16_t c0, std::int16_t c1,
                                                   std::int16_t chest = 0) {
    return makeRecording(records, [&](int) { return record(c0, c1, chest); });
}

} // namespace velkard::display::test
