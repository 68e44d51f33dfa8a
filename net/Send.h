// SPDX-License-Identifier: GPL-3.0-or-later
// Queueing a recording of the card file for its receivers: for the archive (PACS) the twelve-lead
// waveform as the DICOM export writes it and the report as an Encapsulated PDF in the same study;
// for the record system an HL7 ORU^R01 with the measurements, the statements and the PDF. The
// order the recording was made for (Orders.h) gives the accession number, the requested
// procedure and the study instance UID; the hospital's patient ID, when kept, is the patient ID.
// Everything is made once, at queueing, and sent from the outbox as it was made.
#pragma once

#include "cardfile/CardFile.h"
#include "net/Orders.h"
#include "net/Outbox.h"
#include "net/Settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkard::net {

struct RecordingRef {
    cardfile::PatientRecord patient;
    cardfile::ArchiveEntry entry;
    std::string recordedAt() const { return entry.date + " " + entry.time; }
};
Result<RecordingRef> findRecording(const cardfile::CardFile& cardFile, const std::string& patientId,
                                   int number);

// A UID of the "2.25." form (a random 128-bit number; needs no registered root).
std::string newUid();

struct PdfObject {
    std::string patientName, patientId, birthDate, sex; // DICOM forms
    std::string studyInstanceUid, accessionNumber, studyDate, studyTime;
    std::string seriesInstanceUid, sopInstanceUid;
    std::string title = "ECG report";
};
// An Encapsulated PDF object holding the PDF.
Status writeEncapsulatedPdf(const PdfObject& object, const std::vector<std::uint8_t>& pdf,
                            const std::filesystem::path& target);

// Queues the recording for every receiver that is configured (PACS, HL7); pdf is the report to
// send with it (empty: none). `russian`: the language of the statements sent. Returns the new
// outbox entries' IDs; InvalidArgument when no receiver is configured.
Result<std::vector<std::string>>
queueRecording(const Outbox& outbox, const cardfile::CardFile& cardFile,
               const NetworkSettings& settings, const std::string& patientId, int number,
               const std::vector<std::uint8_t>& pdf, bool russian = true);

// What the outbox holds for one recording, for the card-file window: nullopt when nothing was
// queued; otherwise the least finished state of its newest entries (failed before waiting before
// awaiting commitment before withdrawn before sent or committed) and the reason given.
struct SendState {
    EntryState state = EntryState::Waiting;
    std::string reason;
};
std::optional<SendState> sendStateOf(const std::vector<OutboxEntry>& entries,
                                     const std::string& patientId, const std::string& recordedAt);

} // namespace velkard::net
