// SPDX-License-Identifier: GPL-3.0-or-later
// The outbox with a transport that fails, refuses or stores as a test tells it: what waits, what
// is tried when, that a stored file is never sent again, and that a half-made entry is not one.
#include "net/Outbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>

namespace velkard::net {
namespace {

class Scratch {
public:
    Scratch() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("velkard_net_" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A receiver whose answers the test sets: down (no connection), or a status per file name.
struct FakeReceiver {
    bool down = false;
    std::map<std::string, unsigned> status; // file name -> DIMSE status (default success)
    std::map<std::string, int> stored;      // file name -> times stored
    int associations = 0;

    Transport transport() {
        Transport t;
        t.store = [this](const std::vector<std::filesystem::path>& files) {
            using R = Result<std::vector<StoreOutcome>>;
            ++associations;
            if (down)
                return R::failure(ErrorCode::IoError, "Cannot reach PACS: Connection refused");
            std::vector<StoreOutcome> out;
            for (const auto& f : files) {
                StoreOutcome o;
                o.file = f;
                o.status = status.count(f.filename().string()) ? status[f.filename().string()] : 0;
                o.stored = o.status == 0;
                if (o.stored)
                    ++stored[f.filename().string()];
                else
                    o.reason = "Refused: Out of Resources";
                out.push_back(o);
            }
            return R::success(out);
        };
        t.hl7 = [this](const std::string&) {
            ++associations;
            return down ? Status::failure(ErrorCode::IoError, "down") : Status::success();
        };
        return t;
    }
};

std::string queue(const Outbox& outbox, std::vector<std::string> names) {
    auto draft = outbox.begin();
    EXPECT_TRUE(draft) << draft.message;
    for (const auto& n : names) {
        std::ofstream(draft.value.folder / n) << "payload " << n;
        draft.value.entry.files.push_back(n);
    }
    draft.value.entry.patientId = "  1a2b3c";
    draft.value.entry.recording = 2;
    draft.value.entry.recordedAt = "05.03.2024 14:30:00";
    draft.value.entry.label = "Иванов Иван, 05.03.2024 14:30:00";
    auto id = outbox.commit(draft.value);
    EXPECT_TRUE(id) << id.message;
    return id.value;
}

TEST(Outbox, WaitsWhileTheReceiverIsDownWithGrowingPausesThenSendsEachFileOnce) {
    Scratch dir;
    Outbox outbox(dir.path());
    FakeReceiver pacs;
    pacs.down = true;
    queue(outbox, {"1-ecg.dcm", "2-report.dcm"});

    const std::int64_t t0 = 1'000'000;
    auto sum = outbox.process(pacs.transport(), t0);
    ASSERT_TRUE(sum) << sum.message;
    EXPECT_EQ(sum.value.waiting, 1);
    auto entries = outbox.list().value;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].state, EntryState::Waiting);
    EXPECT_EQ(entries[0].attempts, 1);
    EXPECT_EQ(entries[0].nextAttempt, t0 + 30);
    EXPECT_NE(entries[0].reason.find("Connection refused"), std::string::npos);
    EXPECT_EQ(entries[0].label, "Иванов Иван, 05.03.2024 14:30:00");

    // Not tried before its time; then the pause doubles.
    outbox.process(pacs.transport(), t0 + 29);
    EXPECT_EQ(pacs.associations, 1);
    outbox.process(pacs.transport(), t0 + 30);
    EXPECT_EQ(pacs.associations, 2);
    EXPECT_EQ(outbox.list().value[0].nextAttempt, t0 + 30 + 60);

    pacs.down = false;
    outbox.process(pacs.transport(), t0 + 90);
    entries = outbox.list().value;
    EXPECT_EQ(entries[0].state, EntryState::Sent);
    EXPECT_EQ(entries[0].sentAt, t0 + 90);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 1);
    EXPECT_EQ(pacs.stored["2-report.dcm"], 1);

    // A sent entry is never sent again, neither by run nor by retry.
    outbox.process(pacs.transport(), t0 + 100000, true);
    EXPECT_EQ(outbox.retry().value, 0);
    outbox.process(pacs.transport(), t0 + 100001, true);
    EXPECT_EQ(pacs.associations, 3);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 1);
}

TEST(Outbox, ARefusedObjectFailsWithTheReasonAndRetrySendsOnlyWhatWasNotStored) {
    Scratch dir;
    Outbox outbox(dir.path());
    FakeReceiver pacs;
    pacs.status["2-report.dcm"] = 0xA700;
    const std::string id = queue(outbox, {"1-ecg.dcm", "2-report.dcm"});
    outbox.process(pacs.transport(), 50);
    auto e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::Failed);
    EXPECT_EQ(e.reason, "2-report.dcm: Refused: Out of Resources (0xA700)");
    EXPECT_EQ(e.fileSent, (std::vector<bool>{true, false}));
    // A failed entry waits for the user.
    outbox.process(pacs.transport(), 1'000'000, true);
    EXPECT_EQ(pacs.associations, 1);

    pacs.status.clear();
    EXPECT_EQ(outbox.retry(id).value, 1);
    outbox.process(pacs.transport(), 60);
    e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::Sent);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 1);
    EXPECT_EQ(pacs.stored["2-report.dcm"], 1);
}

TEST(Outbox, AWithdrawnEntryKeepsItsFilesIsNeverSentAndOnlyItsOwnRetryBringsItBack) {
    Scratch dir;
    Outbox outbox(dir.path());
    FakeReceiver pacs;
    pacs.down = true;
    const std::string id = queue(outbox, {"1-ecg.dcm", "2-report.dcm"});
    const std::string other = queue(outbox, {"1-ecg.dcm"});
    outbox.process(pacs.transport(), 100);
    ASSERT_TRUE(outbox.withdraw(id));
    auto entries = outbox.list().value;
    ASSERT_EQ(entries.size(), 2u);
    const OutboxEntry& w = entries[0].id == id ? entries[0] : entries[1];
    EXPECT_EQ(w.state, EntryState::Withdrawn);
    EXPECT_EQ(w.attempts, 1); // what happened before stays
    for (const auto& f : w.files)
        EXPECT_TRUE(std::filesystem::exists(w.folder / f)) << f;

    // Neither a run of everything nor a retry of everything sends it; the other one is sent.
    pacs.down = false;
    EXPECT_EQ(outbox.retry().value, 1);
    auto sum = outbox.process(pacs.transport(), 200, true);
    ASSERT_TRUE(sum);
    EXPECT_EQ(sum.value.sent, 1);
    EXPECT_EQ(sum.value.withdrawn, 1);
    EXPECT_EQ(pacs.stored["2-report.dcm"], 0);
    // A sent entry cannot be withdrawn, nor one that is not there.
    EXPECT_EQ(outbox.withdraw(other).code, ErrorCode::InvalidArgument);
    EXPECT_EQ(outbox.withdraw("20240101-000000-nothing").code, ErrorCode::InvalidArgument);

    // Retry of that entry puts it back into the queue.
    EXPECT_EQ(outbox.retry(id).value, 1);
    outbox.process(pacs.transport(), 300);
    for (const auto& e : outbox.list().value)
        EXPECT_EQ(e.state, EntryState::Sent) << e.id;
    EXPECT_EQ(pacs.stored["2-report.dcm"], 1);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 2);
}

TEST(Outbox, AnEntryCutShortBeforeItsCommitIsNotListedAndAnUnreadableOneIsNotSent) {
    Scratch dir;
    Outbox outbox(dir.path());
    auto draft = outbox.begin();
    ASSERT_TRUE(draft);
    std::ofstream(draft.value.folder / "1-ecg.dcm") << "half";
    EXPECT_TRUE(outbox.list().value.empty());

    // A folder whose state file was lost is shown failed, never sent.
    const std::string id = queue(outbox, {"1-ecg.dcm"});
    std::filesystem::remove(outbox.folder() / id / "state.txt");
    FakeReceiver pacs;
    outbox.process(pacs.transport(), 10, true);
    auto entries = outbox.list().value;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].state, EntryState::Failed);
    EXPECT_NE(entries[0].reason.find("cannot be read"), std::string::npos);
    EXPECT_EQ(pacs.associations, 0);
}

TEST(Outbox, TheSecondProcessFindsTheOutboxBusy) {
    Scratch dir;
    Outbox outbox(dir.path());
    queue(outbox, {"message.hl7"});
    FakeReceiver receiver;
    Transport t = receiver.transport();
    Result<Outbox::Summary> inner;
    Transport nested = t;
    // While one process sends, another's attempt returns at once.
    nested.store = [&](const std::vector<std::filesystem::path>& files) {
        inner = outbox.process(t, 0, true);
        return t.store(files);
    };
    outbox.process(nested, 0, true);
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner.value.busy, 1);
    EXPECT_EQ(receiver.stored["message.hl7"], 1);
}

// The archive's side of storage commitment as a test sets it: not reached, answering on the same
// association, or leaving the report for later (the store SCP).
struct FakeCommitter {
    bool down = false;
    std::optional<CommitmentReport> sameAssociation; // the report given right away, if any
    std::vector<std::string> asked;                  // transaction UIDs, in order
    std::string stateOnDisk;                         // state.txt while it was asked

    void into(Transport& t) {
        t.commit = [this](const std::string& uid, const std::vector<std::filesystem::path>& files) {
            using R = Result<std::optional<CommitmentReport>>;
            if (down)
                return R::failure(ErrorCode::IoError, "Cannot reach PACS");
            asked.push_back(uid);
            std::ifstream in(files.front().parent_path() / "state.txt");
            stateOnDisk.assign(std::istreambuf_iterator<char>(in), {});
            std::optional<CommitmentReport> r = sameAssociation;
            if (r)
                r->transactionUid = uid;
            return R::success(r);
        };
        t.commitmentWaitSeconds = 3600;
    }
};

TEST(Outbox, StorageCommitmentCommitsOnTheReportAndSendsAgainWhatTheArchiveDoesNotHold) {
    Scratch dir;
    Outbox outbox(dir.path());
    FakeReceiver pacs;
    FakeCommitter archive;
    Transport t = pacs.transport();
    archive.into(t);
    const std::string id = queue(outbox, {"1-ecg.dcm", "2-report.dcm"});
    const std::int64_t t0 = 2'000'000;

    // The archive not reached for the request: stored once, awaiting, asked again after the
    // pause without storing again.
    archive.down = true;
    outbox.process(t, t0);
    OutboxEntry e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::AwaitingCommitment);
    EXPECT_EQ(e.commitAskedAt, 0);
    EXPECT_NE(e.reason.find("not asked yet"), std::string::npos) << e.reason;
    archive.down = false;
    outbox.process(t, t0 + 10);
    EXPECT_TRUE(archive.asked.empty()) << "asked before its pause was over";
    outbox.process(t, t0 + 100);
    ASSERT_EQ(archive.asked.size(), 1u);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 1);
    // The transaction was in the state on disk before it was asked for.
    EXPECT_NE(archive.stateOnDisk.find("commit_transaction=" + archive.asked[0]), std::string::npos)
        << archive.stateOnDisk;
    e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::AwaitingCommitment);
    EXPECT_EQ(e.commitAskedAt, t0 + 100);
    EXPECT_EQ(e.reason, "");

    // No report for an hour: a note, never "committed".
    outbox.process(t, t0 + 100 + 3600);
    e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::AwaitingCommitment);
    EXPECT_NE(e.reason.find("No storage commitment report within 60 min"), std::string::npos)
        << e.reason;

    // A report of another transaction changes nothing; the entry's own one fails the waveform.
    CommitmentReport other;
    other.transactionUid = "2.25.1";
    ASSERT_TRUE(outbox.keepReport(other));
    outbox.process(t, t0 + 4000);
    EXPECT_EQ(outbox.list().value.at(0).state, EntryState::AwaitingCommitment);
    CommitmentReport failed;
    failed.transactionUid = archive.asked[0];
    failed.committed = {"2.25.20"};
    failed.failed = {{"1.2.840.10008.5.1.4.1.1.9.1.1", "2.25.10", 0x0112}};
    ASSERT_TRUE(outbox.keepReport(failed));
    EXPECT_FALSE(outbox.keepReport(CommitmentReport{"../x", {}, {}}));
    ASSERT_TRUE(outbox.takeReports(t0 + 4001));
    e = outbox.list().value.at(0);
    EXPECT_EQ(e.state, EntryState::Waiting);
    EXPECT_EQ(e.reason, "Storage commitment failed: 2.25.10: no such object instance (0x0112)");
    EXPECT_EQ(e.nextAttempt, t0 + 4001 + retryDelaySeconds(e.attempts));
    EXPECT_TRUE(std::filesystem::is_empty(outbox.folder() / ".commitments"));

    // Sent again after the pause and committed by the report on the same association.
    archive.sameAssociation = CommitmentReport{};
    outbox.process(t, e.nextAttempt);
    e = outbox.list().value.at(0);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 2);
    EXPECT_EQ(pacs.stored["2-report.dcm"], 2);
    ASSERT_EQ(archive.asked.size(), 2u);
    EXPECT_NE(archive.asked[1], archive.asked[0]);
    EXPECT_EQ(e.state, EntryState::Committed);
    EXPECT_EQ(e.id, id);

    // Committed: not sent by a run or a retry of everything; asked again only when named.
    outbox.process(t, t0 + 100000, true);
    EXPECT_EQ(outbox.retry().value, 0);
    EXPECT_EQ(archive.asked.size(), 2u);
    EXPECT_FALSE(outbox.withdraw(id));
    EXPECT_EQ(outbox.retry(id).value, 1);
    outbox.process(t, t0 + 100001);
    EXPECT_EQ(archive.asked.size(), 3u);
    EXPECT_EQ(pacs.stored["1-ecg.dcm"], 2);
    EXPECT_EQ(outbox.list().value.at(0).state, EntryState::Committed);

    // Switched off before it was asked: plain "sent".
    archive.down = true;
    ASSERT_EQ(outbox.retry(id).value, 1);
    outbox.process(t, t0 + 100002);
    EXPECT_EQ(outbox.list().value.at(0).state, EntryState::AwaitingCommitment);
    outbox.process(pacs.transport(), t0 + 200000);
    EXPECT_EQ(outbox.list().value.at(0).state, EntryState::Sent);
}

TEST(Outbox, RetryDelayDoublesFromHalfAMinuteToAnHour) {
    EXPECT_EQ(retryDelaySeconds(1), 30);
    EXPECT_EQ(retryDelaySeconds(2), 60);
    EXPECT_EQ(retryDelaySeconds(5), 480);
    EXPECT_EQ(retryDelaySeconds(8), 3600);
    EXPECT_EQ(retryDelaySeconds(200), 3600);
}

} // namespace
} // namespace velkard::net
