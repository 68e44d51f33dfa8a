// SPDX-License-Identifier: GPL-3.0-or-later
// Orders from the worklist beside the card file, which itself stays as it is: two small UTF-8
// text files in DATA_BASE, rewritten through a flushed temporary file under the card file's lock.
//   velkard-hospital-ids.txt  card ID <tab> the hospital's patient ID
//   velkard-orders.txt        card ID <tab> recording (date time, or "pending") <tab> taken at
//                             <tab> accession <tab> requested procedure ID <tab> its description
//                             <tab> study instance UID <tab> scheduled step ID
//   velkard-gdt-requests.txt  card ID <tab> recording (date time, or "pending") <tab> taken at
//                             <tab> the GDT request's file
// A recording is named by its date and time, which stay when later recordings are renumbered.
// An order picked from the worklist is "pending" for its patient until the next recording of
// that patient is saved (or sent), which then carries it.
#pragma once

#include "cardfile/CardFile.h"
#include "net/Dicom.h"
#include "net/Gdt.h"
#include "signal/Status.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velkard::net {

inline constexpr const char* kHospitalIdsName = "velkard-hospital-ids.txt";
inline constexpr const char* kOrdersName = "velkard-orders.txt";
inline constexpr const char* kGdtRequestsName = "velkard-gdt-requests.txt";

struct Order {
    std::string accessionNumber;
    std::string requestedProcedureId, requestedProcedureDescription;
    std::string studyInstanceUid;
    std::string scheduledStepId;
    bool operator==(const Order&) const = default;
};

Order orderOf(const WorklistItem& item);

// The hospital's patient ID kept for a card; nullopt when none is kept.
Result<std::optional<std::string>> hospitalIdOf(const cardfile::CardFile& cardFile,
                                                const std::string& cardId);
Status setHospitalId(const cardfile::CardFile& cardFile, const std::string& cardId,
                     const std::string& hospitalId);

// The card of the worklist's patient: the one the hospital ID is kept for, else a new card from
// the worklist's name, birth date and sex (the hospital ID also stands in the card's policy
// field, which a card must have; umlauts written ae, oe, ue, ss, as Windows-1251 has none).
// `russian` chooses how the sex is written ("Муж"/"men").
struct PatientForOrder {
    cardfile::PatientRecord patient;
    bool created = false;
};
Result<PatientForOrder> patientForOrder(const cardfile::CardFile& cardFile,
                                        const WorklistItem& item, bool russian = true);

// Keeps the order as pending for the card (replacing an earlier pending one).
Status setPendingOrder(const cardfile::CardFile& cardFile, const std::string& cardId,
                       const Order& order, std::int64_t takenAt);
// The order of a recording ("dd.MM.yyyy hh:mm:ss"). With attachPending, a recording without an
// order takes the card's pending order when it was recorded after the order was taken.
Result<std::optional<Order>> orderOfRecording(const cardfile::CardFile& cardFile,
                                              const std::string& cardId,
                                              const std::string& recordedAt, bool attachPending);

// A GDT request as an order's patient: the GDT patient number stands for the hospital ID, so
// patientForOrder finds the card again by it.
WorklistItem itemOfGdtRequest(const GdtRequest& request);

// Keeps the GDT request (its file) as pending for the card, replacing an earlier pending one.
Status setPendingGdtRequest(const cardfile::CardFile& cardFile, const std::string& cardId,
                            const std::filesystem::path& requestFile, std::int64_t takenAt);
// The GDT request file of a recording ("dd.MM.yyyy hh:mm:ss") not yet answered: one already
// attached to it, else the card's pending one when the recording was made after it was taken
// (then attached to the recording). nullopt when there is none.
Result<std::optional<std::filesystem::path>>
gdtRequestOfRecording(const cardfile::CardFile& cardFile, const std::string& cardId,
                      const std::string& recordedAt);
// The request of the recording was answered: it is no longer kept.
Status forgetGdtRequest(const cardfile::CardFile& cardFile, const std::string& cardId,
                        const std::string& recordedAt);

// How the archive is asked for the card's studies: by the hospital patient ID kept for it, else
// by the family and given name ("Family^Given*", so a middle name the archive holds or lacks
// does not matter) and the birth date.
Result<StudyQuery> studyQueryFor(const cardfile::CardFile& cardFile,
                                 const cardfile::PatientRecord& patient);

// "Family^Given^Middle" -> "Family Given Middle"; "YYYYMMDD" -> "dd.MM.yyyy" ("" otherwise).
std::string cardName(const std::string& dicomName);
std::string cardDate(const std::string& dicomDate);

} // namespace velkard::net
