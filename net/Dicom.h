// SPDX-License-Identifier: GPL-3.0-or-later
// The DICOM exchanges of the workstation, each one association to one peer (DCMTK's dcmnet, over
// TLS when the peer's settings ask for it): C-ECHO, C-STORE of files, the Modality Worklist
// C-FIND, and the archive's C-FIND of a patient's studies and C-GET of one study.
//
// Failures carry ErrorCode::IoError when the peer cannot be reached or the association breaks
// (worth trying again later) and ErrorCode::Failed when the peer refuses (an association
// rejected, a failure status), with the peer's reason in the message.
#pragma once

#include "net/Settings.h"
#include "signal/Status.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velkard::net {

// C-ECHO ("Verification").
Status echo(const NetworkSettings& settings, const Peer& peer);

// The outcome of one C-STORE: status 0 is success; anything else the peer's status and reason.
struct StoreOutcome {
    std::filesystem::path file;
    bool stored = false;
    unsigned status = 0;
    std::string reason;
};
// Sends the files in one association. A failure Status means none could be tried (no
// association); otherwise every file has its outcome.
Result<std::vector<StoreOutcome>> store(const NetworkSettings& settings, const Peer& peer,
                                        const std::vector<std::filesystem::path>& files);

// One scheduled procedure step of the worklist.
struct WorklistItem {
    std::string patientName; // DICOM form: Family^Given^Middle
    std::string patientId;   // the hospital's
    std::string birthDate;   // YYYYMMDD, may be empty
    std::string sex;         // M, F, O or empty
    std::string accessionNumber;
    std::string requestedProcedureId, requestedProcedureDescription;
    std::string studyInstanceUid;
    std::string scheduledStepId, scheduledStepDescription;
    std::string scheduledDate, scheduledTime; // YYYYMMDD, HHMMSS
    std::string stationAeTitle, modality;
};

struct WorklistQuery {
    std::string modality = "ECG";
    std::string stationAeTitle;   // empty: any station
    std::string fromDate, toDate; // YYYYMMDD; both empty: any day
};
Result<std::vector<WorklistItem>> findWorklist(const NetworkSettings& settings,
                                               const WorklistQuery& query);

// A study in the archive (Study Root C-FIND, study level).
struct StudyItem {
    std::string studyInstanceUid, studyDate, studyTime, studyDescription, accessionNumber;
    std::string patientId, patientName, modalities;
};
// The patient's studies; with modality set, only those that hold that modality.
Result<std::vector<StudyItem>> findStudies(const NetworkSettings& settings,
                                           const std::string& patientId,
                                           const std::string& modality = "ECG");

// C-GET of a whole study into `folder` (created if needed); returns the files received.
Result<std::vector<std::filesystem::path>> getStudy(const NetworkSettings& settings,
                                                    const std::string& studyInstanceUid,
                                                    const std::filesystem::path& folder);

// The text of a DIMSE status of a C-STORE response ("Refused: Out of Resources" ...).
std::string storeStatusText(unsigned status);

} // namespace velkard::net
