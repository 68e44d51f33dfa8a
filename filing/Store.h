// SPDX-License-Identifier: GPL-3.0-or-later
// Filing an instrument's ECG file (a device ECG file, or a compressed .ecx) into a patient's card:
// the recording file is written from the converted body and one archive entry describes it. This
// sits above both the card file and the import, so neither depends on the other.
#pragma once

#include "cardfile/CardFile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace velkard::filing {

using cardfile::CardFile;

// Files `source` into the card of patient `patientId`:
//  - kind by the file name (without folders): "A2..." A2, "VSR..." rhythmogram, else plain
//    (case-sensitive); an extension .ecx in any case is decompressed first (in memory: nothing is
//    written next to the source);
//  - the file is read within the bounds its header sets (signal::readDeviceFile; an .ecx expands
//    at most that far): a far larger body, a negative count or rate is refused;
//  - duration from the header (device file duration for A2 or plain, or what a short body holds),
//    date and time from the header fields (dd.MM.20yy, hh:mm:ss);
//  - under the card file's lock: record number = next record number; the recording file is
//    written afresh from the converted body; then the entry is appended ("РИТМ"/"RITM" by
//    `russian` for a rhythmogram).
// Refuses before writing anything when the number or the duration does not fit its field.
// On any failure nothing is left half-filed: a recording written before a failed entry is removed.
// The source file is never deleted; deleting a downloaded file is the caller's choice after
// success.
//
// Returns the number of the new archive entry. The failure codes the memory window tells apart:
// UnknownPatient (the ID is not valid or names no record of the index), CannotOpenSource (the
// source or its decompressed copy cannot be opened or read), CannotCreateRecording,
// CannotAppendEntry (recording removed again), ArchiveFull (999 entries), TooLong (over 9999 s) and
// Busy (the card file's lock is held elsewhere). The message is one clear English line for the
// command line and logs.
Result<int> storeDeviceFile(const CardFile& cardFile, std::string_view patientId,
                            const std::filesystem::path& source, bool russian);

// Files a recording converted from another system's file (formats/Instrument.h gives its bytes)
// into a patient's card: the next number, date and time as given (dd.MM.yyyy, hh:mm:ss), the
// duration in seconds, and `origin` (where it came from, which leads are absent, how many values
// were clipped) as a line of the audit log naming the new recording file. `present`, when given
// and lacking a lead, is kept beside the recording as its leads file (CardFile::readLeads), so
// the card shows the absent leads as absent, not as flat lines. UnknownPatient when the ID names
// no patient. Returns the record number.
Result<int> storeConvertedRecording(const CardFile& cardFile, std::string_view patientId,
                                    std::span<const std::uint8_t> body, std::string_view date,
                                    std::string_view time, long seconds, const std::string& origin,
                                    const cardfile::LeadSet* present = nullptr);

// The message box text the memory window shows for a failure of storeDeviceFile (all with caption
// "Error"); empty for None. The instrument-era texts are Russian in both languages; the later ones
// follow the interface language.
std::string storeErrorText(ErrorCode code, bool russian = true);

} // namespace velkard::filing
