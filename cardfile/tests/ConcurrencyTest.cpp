// SPDX-License-Identifier: GPL-3.0-or-later
// Two processes working on one card file at once, as two workstations on a shared folder do, and
// what the lock leaves for a second instance that finds the card file busy.
#include "cardfile/CardFile.h"
#include "cardfile/Lock.h"
#include "cardfile/Unfiled.h"
#include "cardfile/tests/TestUtil.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace velkard::cardfile {
namespace {

using test::readBytes;
using test::ScratchDir;
using test::writeBytes;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::chrono::milliseconds kPatient{60'000};

// Runs each job in a process of its own at the same time; true when every one returned true.
bool inParallel(const std::vector<std::function<bool()>>& jobs) {
    std::vector<pid_t> children;
    for (const auto& job : jobs) {
        pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(job() ? 0 : 1);
        children.push_back(pid);
    }
    bool ok = true;
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok;
}

// A device ECG file whose date, time and body are unique to serial.
Bytes deviceFile(int serial) {
    signal::DeviceHeader h;
    h.setRate(10);
    h.setRecordCount(20);
    h.setDateTime(static_cast<std::int16_t>(serial / 1000 + 20), 1 + serial / 100 % 12,
                  1 + serial % 28, serial / 28 % 24, serial % 60, serial / 60 % 60);
    Bytes out(h.bytes().begin(), h.bytes().end());
    for (int i = 0; i < 20 * 8; ++i) {
        std::uint8_t v[2];
        signal::writeLe16(v, static_cast<std::int16_t>(serial * 131 + i));
        out.insert(out.end(), v, v + 2);
    }
    return out;
}

std::string key(const ArchiveEntry& e) {
    return e.date + " " + e.time;
}

std::string key(const Bytes& device) {
    auto h = signal::DeviceHeader::parse(device);
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.20%02d %02d:%02d:%02d", h->day(), h->month(),
                  h->year(), h->hour(), h->minute(), h->second());
    return text;
}

Bytes body(const Bytes& device) {
    return {device.begin() + 512, device.end()};
}

// Files the device file's body as a recording with the device file's date and time.
bool fileDevice(const CardFile& cf, const std::string& id, const Bytes& device) {
    const std::string at = key(device);
    auto filed = cf.fileRecording(id, body(device), at.substr(0, 10), at.substr(11),
                                  EntryDuration::ofSeconds(2), kKindPlain);
    if (!filed)
        std::fprintf(stderr, "%s\n", filed.message.c_str());
    return bool(filed);
}

PatientRecord patient(const std::string& name, const std::string& id) {
    PatientRecord r;
    r.name = name;
    r.policy = "1";
    r.id = id;
    return r;
}

TEST(TwoProcesses, AddPatientLoopsLoseNoPatientAndShareNoId) {
    ScratchDir dir;
    constexpr int kEach = 60;
    // Both clocks stand still, so every ID is taken from the card file's state alone.
    auto loop = [&](char who) {
        return [&, who] {
            CardFile cf(dir.path());
            cf.setLockWait(kPatient);
            cf.setClock([] { return std::int64_t{0x60000000}; });
            for (int i = 0; i < kEach; ++i) {
                NewPatientInput in;
                in.name = std::string(1, who) + std::to_string(i);
                in.policy = "1";
                if (!createNewPatient(cf, in, true))
                    return false;
            }
            return true;
        };
    };
    ASSERT_TRUE(inParallel({loop('a'), loop('b')}));
    CardFile cf(dir.path());
    auto list = cf.listPatients().value;
    ASSERT_EQ(list.size(), 2u * kEach);
    std::set<std::string> ids, names;
    for (const auto& p : list) {
        ids.insert(p.id);
        names.insert(p.name);
        EXPECT_TRUE(fs::exists(cf.archivePath(p.id))) << p.id;
    }
    EXPECT_EQ(ids.size(), 2u * kEach) << "an ID was handed out twice";
    EXPECT_EQ(names.size(), 2u * kEach) << "a patient was lost";
    EXPECT_EQ(fs::file_size(cf.indexPath()), 2u * kEach * kPatientRecordBytes);
}

TEST(TwoProcesses, StoreLoopsIntoOnePatientNumberEachRecordingOnceAndShowIt) {
    ScratchDir dir;
    CardFile setup(dir.path());
    const std::string id = "60000000";
    ASSERT_TRUE(setup.appendPatientRecord(patient("One", id)));
    ASSERT_TRUE(setup.createPatientArchive(id));
    constexpr int kEach = 50;
    std::map<std::string, Bytes> expected;
    for (int i = 0; i < 2 * kEach; ++i) {
        Bytes dev = deviceFile(i + 1);
        expected[key(dev)] = body(dev);
    }
    ASSERT_EQ(expected.size(), 2u * kEach);
    auto loop = [&](int first) {
        return [&, first] {
            CardFile cf(dir.path());
            cf.setLockWait(kPatient);
            for (int i = first; i < first + kEach; ++i)
                if (!fileDevice(cf, id, deviceFile(i + 1)))
                    return false;
            return true;
        };
    };
    ASSERT_TRUE(inParallel({loop(0), loop(kEach)}));
    auto entries = setup.listArchiveEntries(id).value;
    ASSERT_EQ(entries.size(), 2u * kEach);
    std::set<std::string> seen;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(entries[k].recordNumber(), static_cast<int>(k) + 1) << "a number twice";
        seen.insert(key(entries[k]));
        auto it = expected.find(key(entries[k]));
        ASSERT_NE(it, expected.end());
        EXPECT_EQ(readBytes(setup.recordingPath(id, static_cast<int>(k) + 1)), it->second)
            << "entry " << k + 1 << " shows another recording";
    }
    EXPECT_EQ(seen.size(), 2u * kEach) << "a recording was filed twice or lost";
    EXPECT_FALSE(fs::exists(setup.recordingPath(id, 2 * kEach + 1)));
    EXPECT_TRUE(test::leftovers(setup.dataDir()).empty());
}

TEST(TwoProcesses, RemoveEntryBesideRemovePatientTouchesOnlyWhatItRemoves) {
    ScratchDir dir;
    CardFile setup(dir.path());
    const std::string kept = "50000000";
    ASSERT_TRUE(setup.appendPatientRecord(patient("Kept", kept)));
    ASSERT_TRUE(setup.createPatientArchive(kept));
    constexpr int kEntries = 40, kRemovals = 30, kOthers = 25;
    std::vector<std::string> order; // the kept patient's recordings, oldest first
    std::map<std::string, Bytes> expected;
    int serial = 1;
    for (int i = 0; i < kEntries; ++i) {
        Bytes dev = deviceFile(serial++);
        expected[key(dev)] = body(dev);
        order.push_back(key(dev));
        ASSERT_TRUE(fileDevice(setup, kept, dev));
    }
    std::vector<std::string> others;
    for (int p = 0; p < kOthers; ++p) {
        others.push_back(formatPatientId(0x51000000 + p));
        ASSERT_TRUE(setup.appendPatientRecord(patient("Other", others.back())));
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(fileDevice(setup, others.back(), deviceFile(serial++)));
        }
    }
    // One process removes every third entry of the kept patient (renumbering the rest), the other
    // removes the other patients one by one.
    auto removeEntries = [&] {
        CardFile cf(dir.path());
        cf.setLockWait(kPatient);
        for (int i = 0; i < kRemovals; ++i)
            if (!cf.removeArchiveEntry(kept, static_cast<std::size_t>(i % 3 == 0 ? 0 : 1)))
                return false;
        return true;
    };
    auto removePatients = [&] {
        CardFile cf(dir.path());
        cf.setLockWait(kPatient);
        for (const auto& id : others) {
            auto list = cf.listPatients();
            if (!list)
                return false;
            std::size_t at = 0;
            while (at < list.value.size() && list.value[at].id != id)
                ++at;
            if (!cf.removePatient(at, id))
                return false;
        }
        return true;
    };
    ASSERT_TRUE(inParallel({removeEntries, removePatients}));
    for (int i = 0; i < kRemovals; ++i)
        order.erase(order.begin() + (i % 3 == 0 ? 0 : 1));

    auto list = setup.listPatients().value;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], patient("Kept", kept));
    auto entries = setup.listArchiveEntries(kept).value;
    ASSERT_EQ(entries.size(), order.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(key(entries[k]), order[k]);
        EXPECT_EQ(entries[k].recordNumber(), static_cast<int>(k) + 1);
        EXPECT_EQ(readBytes(setup.recordingPath(kept, static_cast<int>(k) + 1)),
                  expected[order[k]]);
    }
    // Nothing of the removed patients, nothing half-done.
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(setup.dataDir())) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == kIndexName || name == kLockName || name.starts_with(kept)) << name;
        ++files;
    }
    EXPECT_EQ(files, 3 + order.size()); // index, lock, archive and the recordings
}

// Write records for minutes into a pending file and files it at Save: a workstation that files
// recordings of the same patient meanwhile takes numbers, cleans up, and touches none of it.
TEST(TwoProcesses, ARecordingWrittenWhileAnotherFilesTakesTheNextNumberAtSave) {
    ScratchDir dir;
    CardFile cf(dir.path());
    const std::string id = "60000000";
    ASSERT_TRUE(cf.appendPatientRecord(patient("One", id)));
    ASSERT_TRUE(cf.createPatientArchive(id));
    const mode_t mask = ::umask(022);

    PendingRecording pending;
    ASSERT_TRUE(cf.createPendingRecording(pending));
    const fs::path recorded = pending.path();
    EXPECT_EQ(recorded.parent_path(), cf.dataDir());
    // Acquisition writes it through a descriptor of its own.
    const Bytes live(6400 * 3, 0x5a);
    writeBytes(recorded, live);
    // Another workstation files two recordings (its changes clean up crashed leftovers).
    ASSERT_TRUE(inParallel({[&] {
        CardFile other(dir.path());
        return fileDevice(other, id, deviceFile(1)) && fileDevice(other, id, deviceFile(2));
    }}));
    ASSERT_TRUE(fs::exists(recorded)) << "a live recording was taken for a crashed one's";

    auto filed = cf.fileRecordingFile(id, recorded, "07.12.2026", "10:00:00",
                                      EntryDuration::ofSeconds(1), kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    EXPECT_EQ(filed.value, 3);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 3)), live);
    EXPECT_EQ(readBytes(cf.recordingPath(id, 1)), body(deviceFile(1)));
    EXPECT_EQ(readBytes(cf.recordingPath(id, 2)), body(deviceFile(2)));
    EXPECT_EQ(fs::status(cf.recordingPath(id, 3)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    pending.discard(); // filed: nothing left to delete, the filed recording stays
    EXPECT_EQ(readBytes(cf.recordingPath(id, 3)), live);
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());

    // Stop without Save deletes the pending file; one left by a crashed program is kept at the
    // next change under an unfiled name, with every byte it holds.
    ASSERT_TRUE(cf.createPendingRecording(pending));
    const fs::path unsaved = pending.path();
    pending.discard();
    EXPECT_FALSE(fs::exists(unsaved));
    ASSERT_TRUE(inParallel({[&] {
        CardFile crashing(dir.path());
        PendingRecording p;
        if (!crashing.createPendingRecording(p))
            return false;
        writeBytes(p.path(), live);
        ::_exit(0); // no destructor runs, as in a crash
    }}));
    EXPECT_EQ(test::leftovers(cf.dataDir()).size(), 1u);
    ASSERT_TRUE(cf.appendPatientRecord(patient("Two", "60000001")));
    EXPECT_TRUE(test::leftovers(cf.dataDir()).empty());
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().starts_with("unfiled_"))
            kept.push_back(e.path());
    ASSERT_EQ(kept.size(), 1u) << "a recording cut short by a crash was deleted";
    EXPECT_EQ(kept[0].extension(), ".dat");
    EXPECT_EQ(readBytes(kept[0]), live);
    // Later changes leave it where it is.
    ASSERT_TRUE(cf.appendPatientRecord(patient("Three", "60000002")));
    EXPECT_EQ(readBytes(kept[0]), live);
    // It is offered, nobody's; put aside, it stays with every byte and is offered no more.
    auto unfiled = listUnfiledRecordings(cf);
    ASSERT_EQ(unfiled.size(), 1u);
    EXPECT_TRUE(unfiled[0].patientId.empty());
    ASSERT_TRUE(setUnfiledAside(cf, unfiled[0]));
    EXPECT_TRUE(listUnfiledRecordings(cf).empty());
    EXPECT_EQ(readBytes(cf.dataDir() / "unfiled" / kept[0].filename()), live);
    ::umask(mask);
}

TEST(Lock, ASecondInstanceWaitsBrieflyThenSaysTheCardFileIsBusy) {
    ScratchDir dir;
    CardFile cf(dir.path());
    ASSERT_TRUE(cf.appendPatientRecord(patient("One", "60000000")));
    auto before = readBytes(cf.indexPath());

    CardFileLock other;
    ASSERT_EQ(other.acquire(cf.dataDir(), CardFileLock::Mode::Exclusive, {}),
              CardFileLock::Outcome::Locked);
    cf.setLockWait(std::chrono::milliseconds(50));
    EXPECT_EQ(cf.appendPatientRecord(patient("Two", "60000001")).code, ErrorCode::Busy);
    EXPECT_EQ(cf.removePatient(0, "60000000").code, ErrorCode::Busy);
    auto listed = cf.listPatients();
    EXPECT_EQ(listed.code, ErrorCode::Busy) << "a reader never sees a change half-made";
    EXPECT_NE(listed.message.find("busy"), std::string::npos);
    NewPatientInput in{"Three", "", "", "", "", "", "1"};
    EXPECT_EQ(createNewPatient(cf, in, true).code, ErrorCode::Busy);
    EXPECT_EQ(readBytes(cf.indexPath()), before);

    // Readers share the lock; a change waits for them.
    other.release();
    CardFileLock reader;
    ASSERT_EQ(reader.acquire(cf.dataDir(), CardFileLock::Mode::Shared, {}),
              CardFileLock::Outcome::Locked);
    EXPECT_TRUE(cf.listPatients());
    EXPECT_EQ(cf.appendPatientRecord(patient("Two", "60000001")).code, ErrorCode::Busy);
    reader.release();
    EXPECT_TRUE(cf.appendPatientRecord(patient("Two", "60000001")));
}

} // namespace
} // namespace velkard::cardfile
