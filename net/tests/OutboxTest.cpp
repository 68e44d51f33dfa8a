// SPDX-License-Identifier: GPL-3.0-or-later
// The outbox with a transport that fails, refuses or stores as a test tells it: what waits, what
// is tried when, that a stored file is never sent again, and that a half-made entry is not one.
#include "net/Outbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
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

TEST(Outbox, RetryDelayDoublesFromHalfAMinuteToAnHour) {
    EXPECT_EQ(retryDelaySeconds(1), 30);
    EXPECT_EQ(retryDelaySeconds(2), 60);
    EXPECT_EQ(retryDelaySeconds(5), 480);
    EXPECT_EQ(retryDelaySeconds(8), 3600);
    EXPECT_EQ(retryDelaySeconds(200), 3600);
}

} // namespace
} // namespace velkard::net
