// SPDX-License-Identifier: GPL-3.0-or-later
// Store and forward: everything to be sent goes into the outbox folder of the working folder
// first, one folder an entry, and is sent from there, again and again with a growing pause while
// the receiver cannot be reached, until it has arrived. Nothing in it is lost or sent twice:
//  - an entry is made in a temporary folder (".new-*"), its files flushed, and then renamed into
//    place, so after a crash it is there whole or not at all;
//  - its state (state.txt) is replaced through a flushed temporary file after every attempt, and
//    a file is marked sent only after the receiver's answer said it was stored;
//  - a DICOM object keeps its UIDs in the entry, so when a crash falls between the receiver's
//    success and the mark, the same object is sent again, which an archive takes as the same
//    instance;
//  - one process at a time works on the outbox (an fcntl lock on outbox/.lock).
// Sent entries stay (state "sent") as the record of what went where; nothing is deleted.
// With storage commitment, a sent archive entry awaits the archive's report ("awaiting
// commitment", its transaction UID kept in the state) and becomes "committed" only when the
// report says every object is; a report of failures sends the entry again after the usual pause.
// Reports that come to the store SCP are kept in outbox/.commitments/<transaction UID> and taken
// up by the next run.
#pragma once

#include "net/Dicom.h"
#include "net/Settings.h"
#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velkard::net {

inline constexpr const char* kOutboxFolder = "outbox";

// Withdrawn: taken out of the queue by the user; it is no longer sent, but its files stay (and
// the recording in the card file is not touched).
enum class EntryState { Waiting, Sent, Failed, Withdrawn, AwaitingCommitment, Committed };
// "waiting", "sent", "failed", "withdrawn", "awaiting_commitment", "committed"
std::string_view stateName(EntryState state);
// Sent, awaiting commitment or committed: the receiver took every file.
bool delivered(EntryState state);

enum class Destination { Pacs, Hl7 };

struct OutboxEntry {
    std::string id; // the folder's name
    std::filesystem::path folder;
    Destination destination = Destination::Pacs;
    std::string patientId;          // the card's
    int recording = 0;              // its number when queued
    std::string recordedAt;         // "dd.MM.yyyy hh:mm:ss"
    std::string label;              // what it is, for the lists
    std::vector<std::string> files; // payload, in the order they are sent
    // State.
    EntryState state = EntryState::Waiting;
    int attempts = 0;
    std::int64_t nextAttempt = 0; // seconds since 1970
    std::int64_t sentAt = 0;
    std::string reason; // the last failure: the receiver's reason, or why it was not reached
    std::vector<bool> fileSent;
    // Storage commitment: the transaction asked for and when (0: not asked yet).
    std::string commitTransaction;
    std::int64_t commitAskedAt = 0;
};

// How the payload goes out; the default one uses the settings (DICOM C-STORE, HL7 over MLLP).
struct Transport {
    std::function<Result<std::vector<StoreOutcome>>(const std::vector<std::filesystem::path>&)>
        store;
    // Sends one HL7 message; success when the receiver accepted it (AA/CA), Failed with its
    // reason when it refused it, IoError when it could not be reached or did not answer.
    std::function<Status(const std::string& message)> hl7;
    // Asks the archive to commit the files (storage commitment); empty: not asked. The report
    // when it came on the same association, nullopt when it comes later.
    std::function<Result<std::optional<CommitmentReport>>(
        const std::string& transactionUid, const std::vector<std::filesystem::path>& files)>
        commit;
    // How long a report is awaited before the entry says none came.
    int commitmentWaitSeconds = 3600;
};
Transport networkTransport(const NetworkSettings& settings);

// The pause before attempt n + 1 after n failed attempts: 30 s doubling up to an hour.
std::int64_t retryDelaySeconds(int attempts);

class Outbox {
public:
    explicit Outbox(std::filesystem::path workDir);
    const std::filesystem::path& folder() const { return folder_; }

    // A new entry being made: write the payload into folder(), then commit().
    struct Draft {
        std::filesystem::path folder;
        OutboxEntry entry;
    };
    Result<Draft> begin() const;
    // Flushes the payload, writes the entry's description and state and renames it into place.
    // Returns the entry's ID.
    Result<std::string> commit(Draft& draft) const;

    // Every entry, oldest first. Entries that do not read are listed with state Failed and why.
    Result<std::vector<OutboxEntry>> list() const;

    struct Summary {
        int sent = 0, waiting = 0, failed = 0, withdrawn = 0, busy = 0;
        int awaitingCommitment = 0, committed = 0;
    };
    // Tries every waiting entry whose time has come (all waiting entries with `all`). Returns at
    // once with busy = 1 when another process works on the outbox.
    Result<Summary> process(const Transport& transport, std::int64_t now, bool all = false) const;
    // Keeps a storage commitment report that came to the store SCP (flushed, under
    // .commitments/) for the next run of process(), which gives it to the entry that asked.
    Status keepReport(const CommitmentReport& report) const;
    // Gives the kept reports to their entries now (process() does it too). Busy while another
    // process works on the outbox.
    Status takeReports(std::int64_t now) const;

    // Puts failed and waiting entries back to be tried at once; the one named, also when it was
    // withdrawn, and also one awaiting commitment or committed: then nothing is stored again, and
    // with storage commitment on the archive is asked anew (a new transaction).
    Result<int> retry(const std::string& id = {}) const;
    // Takes a waiting or failed entry out of the queue: it is kept as withdrawn and no longer
    // sent. InvalidArgument for an entry that was delivered or is not there; Busy while another
    // process works on the outbox.
    Status withdraw(const std::string& id) const;

private:
    Status writeState(const OutboxEntry& entry) const;
    Status attempt(OutboxEntry& entry, const Transport& transport, std::int64_t now) const;
    Status askCommitment(OutboxEntry& entry, const Transport& transport, std::int64_t now) const;
    Status takeReport(OutboxEntry& entry, const CommitmentReport& report, std::int64_t now) const;
    Status takeKeptReports(std::vector<OutboxEntry>& entries, std::int64_t now) const;
    std::filesystem::path folder_;
};

} // namespace velkard::net
