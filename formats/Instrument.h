// SPDX-License-Identifier: GPL-3.0-or-later
// An EcgFile as the instrument would have recorded it: every lead resampled to 800 Hz by the
// polyphase windowed-sinc filter of import/WfdbRecording.h, in instrument units, placed into the
// eight channels (c0 III, c1 II, c2..c7 the chest leads against (II + III) / 3). Leads the file
// lacks are flagged absent; values beyond the 16-bit range are clipped and counted, never wrapped.
#pragma once

#include "formats/EcgFile.h"
#include "signal/SampleRecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkard::formats {

using LeadSet = std::array<bool, signal::kLeadCount>;

struct InstrumentEcg {
    std::vector<signal::SampleRecord> records; // 800 per second
    LeadSet present{};                         // leads that carry the file's signal
    std::int64_t clipped = 0;                  // channel values clipped to ±32767
    std::vector<std::string> notes;

    // The recording file's bytes (16 bytes a record, little-endian).
    std::vector<std::uint8_t> bytes() const;
    int seconds() const { return static_cast<int>(records.size() / signal::kRecordsPerSecond); }
};

// Limb leads: any two of I, II and III give all six; one alone is carried by itself (the others
// absent). Chest leads take their channels. The file's aVR, aVL and aVF are not needed: the
// program derives them from II and III as it does for its own recordings. A rate that is not a
// whole number of hertz is refused.
Result<InstrumentEcg> toInstrument(const EcgFile& file);

// Names of the present (or absent) leads joined by blanks: "I II III aVR aVL aVF V1".
std::string leadNames(const LeadSet& leads, bool present = true);

// What is kept beside a recording filed from a file: one line, in English, of where it came from
// (the origin, the file's patient fields, the leads absent, the clipped samples and the notes of
// the reading and the conversion).
std::string originLine(const EcgFile& file, const InstrumentEcg& converted,
                       const std::string& fileName);

} // namespace velkard::formats
