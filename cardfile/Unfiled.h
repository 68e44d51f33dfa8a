// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings kept beside the card file but never filed: a recording the user did not save into
// the card at Exit or whose Save failed ("<id>_unfiled_<stamp>[_n].dat"), one found after a crash
// (an abandoned private file, "unfiled_<stamp>_<unique>.dat", whose patient is unknown), or a
// numbered recording without its entry moved aside ("unfiled_<stamp>_[n_]<id>_<number>.dat").
// The card file never deletes them; these functions list them, file one into a patient's card,
// or put one aside in DATA_BASE/unfiled/ where it stays and is no longer offered.
#pragma once

#include "cardfile/CardFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velkard::cardfile {

struct UnfiledRecording {
    std::filesystem::path path;
    // The patient's ID as stored ("%8lx") when the name says whose it is and that patient is in
    // the index; empty otherwise.
    std::string patientId;
    std::string patientName; // the index's name of that patient
    std::uint64_t bytes = 0;
    double seconds = 0; // whole blocks of half a second
    // When recording began: the file's last change less its duration (local time).
    std::string date;      // dd.MM.yyyy
    std::string time;      // hh:mm:ss
    bool setAside = false; // in DATA_BASE/unfiled (declined once, no longer offered)
};

// The unfiled recordings of DATA_BASE holding at least one whole block, by name; with
// `withSetAside` also those of DATA_BASE/unfiled. Nothing is changed.
std::vector<UnfiledRecording> listUnfiledRecordings(const CardFile& cardFile,
                                                    bool withSetAside = false);

// Files the recording into the card of `patientId` (which must be listed) under the next
// number, with the date, time and duration it carries; the file becomes the numbered recording.
Result<int> fileUnfiledRecording(const CardFile& cardFile, const UnfiledRecording& recording,
                                 std::string_view patientId);

// Moves the recording into DATA_BASE/unfiled/ (made when missing), kept and no longer offered.
Status setUnfiledAside(const CardFile& cardFile, const UnfiledRecording& recording);

} // namespace velkard::cardfile
