// SPDX-License-Identifier: GPL-3.0-or-later
// Filing an instrument's ECG file (a device ECG file, or a compressed .ecx) into a patient's card:
// the recording file is written from the converted body and one archive entry describes it.
#pragma once

#include "cardfile/CardFile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace velkard::cardfile {

enum class StoreError {
    None,
    UnknownPatient,        // the patient ID is not valid or names no record of the index
    CannotOpenSource,      // the source (or its decompressed copy) cannot be opened or read
    CannotCreateRecording, // the recording file cannot be created or written
    CannotAppendEntry,     // the archive entry cannot be appended (recording removed again)
    FieldOverflow,         // record number above 999 or duration above 9999 s: nothing written
};

struct StoreResult {
    bool ok = false;
    int recordNumber = 0; // number of the new archive entry when ok
    StoreError error = StoreError::None;
    std::string message; // clear English line for the command line and logs

    explicit operator bool() const { return ok; }
};

// Files `source` into the card of patient `patientId`:
//  - kind by the file name (without folders): "A2..." A2, "VSR..." rhythmogram, else plain
//    (case-sensitive); an extension .ecx in any case is decompressed first (in memory: nothing is
//    written next to the source);
//  - duration from the header (device file duration for A2 or plain), date and time from the
//    header fields (dd.MM.20yy, hh:mm:ss);
//  - record number = next record number; the recording file is created afresh and the body
//    converted into it; then the entry is appended ("РИТМ"/"RITM" by `russian` for a rhythmogram).
// Refuses before writing anything when the number or the duration does not fit its field.
// On any failure nothing is left half-filed: a recording written before a failed entry is removed.
// The source file is never deleted; deleting a downloaded file is the caller's choice after
// success.
StoreResult storeDeviceFile(const CardFile& cardFile, std::string_view patientId,
                            const std::filesystem::path& source, bool russian);

// The message box text the memory window shows for an error (all with caption "Error"); empty
// for None.
std::string storeErrorText(StoreError error);

} // namespace velkard::cardfile
