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
#include <optional>
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
    // Instances in the study's series of the modality asked for (series-level C-FIND of the
    // same association); -1 when the archive did not say.
    int instances = -1;
};
// Whose studies: by the patient ID when given, else by name (DICOM form, '*' and '?' as
// wildcards) and birth date (YYYYMMDD, may be empty). With modality set, only the studies that
// hold that modality.
struct StudyQuery {
    std::string patientId, patientName, birthDate;
    std::string modality = "ECG";
};
Result<std::vector<StudyItem>> findStudies(const NetworkSettings& settings,
                                           const StudyQuery& query);
Result<std::vector<StudyItem>> findStudies(const NetworkSettings& settings,
                                           const std::string& patientId,
                                           const std::string& modality = "ECG");

// C-GET of a whole study into `folder` (created if needed); returns the files received, named
// by the order they came in ("0001.dcm", ...), never by what the peer sent.
Result<std::vector<std::filesystem::path>> getStudy(const NetworkSettings& settings,
                                                    const std::string& studyInstanceUid,
                                                    const std::filesystem::path& folder);

// C-MOVE of a whole study to the own AE title: the archive sends it to the store SCP, which
// keeps it in archive-cache/<study UID>/ (StoreScp.h). Returns the number of objects the archive
// said it sent.
Result<int> moveStudy(const NetworkSettings& settings, const std::string& studyInstanceUid);

// A study UID as a folder name may hold it: 1 to 64 digits and dots, each dot between digits.
bool validUid(const std::string& uid);

// The workstation's copy of an archive study: <workDir>/archive-cache/<study UID>/.
inline constexpr const char* kArchiveCacheFolder = "archive-cache";
struct FetchedStudy {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> files; // all received
    std::vector<std::filesystem::path> ecgs;  // the 12-lead and general ECG waveforms among them
};
// Fetches the study (C-GET) into a fresh folder of the cache, which then replaces an earlier
// copy of the same study. With archive.fetch=move by C-MOVE instead, received by the store SCP
// (this process's, or the program's when that holds the port; it must be switched on), the
// earlier copy put back when the move fails. InvalidArgument for a UID that is no valid UID.
Result<FetchedStudy> fetchStudy(const NetworkSettings& settings,
                                const std::string& studyInstanceUid,
                                const std::filesystem::path& workDir);

// Storage commitment (push model): the archive is asked to take over the safekeeping of objects
// it was sent (N-ACTION), and answers with a report (N-EVENT-REPORT) of what it commits and what
// it does not, on the same association or later on one of its own to the store SCP.
struct CommitmentReport {
    std::string transactionUid;
    // The objects committed (SOP instance UIDs) and those the archive does not commit, each with
    // its failure reason (0x0110 processing failure, 0x0112 no such object instance, ...).
    std::vector<std::string> committed;
    struct Failure {
        std::string classUid, instanceUid;
        unsigned reason = 0;
    };
    std::vector<Failure> failed;
    bool allCommitted() const { return failed.empty(); }
};
// What a failure reason means, in words.
std::string commitmentFailureText(unsigned reason);

// Asks `peer` to commit the objects of `files` under transactionUid. Then waits up to
// waitSeconds for the report on the same association (nullopt when none came there: the archive
// sends it later on an association of its own). IoError: not reached; Failed: refused.
Result<std::optional<CommitmentReport>>
requestCommitment(const NetworkSettings& settings, const Peer& peer,
                  const std::string& transactionUid,
                  const std::vector<std::filesystem::path>& files, int waitSeconds);

// The text of a DIMSE status of a C-STORE response ("Refused: Out of Resources" ...).
std::string storeStatusText(unsigned status);

} // namespace velkard::net
