// SPDX-License-Identifier: GPL-3.0-or-later
// Crashes every card-file command of velkard-cli at each of its file operations in turn (a
// preloaded library kills it just before the n-th one) and checks what the next user of the card
// file finds: every listed entry shows the recording filed with its date and time, no patient or
// recording that the command did not remove is lost, the command either happened whole or not at
// all, and the next Store destroys nothing.
#include "cardfile/CardFile.h"
#include "cardfile/Lock.h"
#include "cli/tests/RunCli.h"
#include "filing/Store.h"
#include "signal/Recording.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#ifdef VELKARD_CRASH_SHIM

namespace velkard::cli::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ShimmedRun {
    bool killed = false;
    int status = -1;
};

// Runs velkard-cli with the shim preloaded; crashAt 0 only counts (into countFile).
ShimmedRun runShimmed(const std::vector<std::string>& args, long crashAt,
                      const fs::path& countFile) {
    std::vector<std::string> argv{VELKARD_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string_view v(*e);
        if (!v.starts_with("LD_PRELOAD=") && !v.starts_with("ASAN_OPTIONS=") &&
            !v.starts_with("VELKARD_CRASH"))
            env.emplace_back(v);
    }
    env.push_back(std::string("LD_PRELOAD=") + VELKARD_CRASH_SHIM);
    // The sanitizer runtime need not come first: the shim only passes calls on.
    env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    env.push_back("VELKARD_CRASH_AT=" + std::to_string(crashAt));
    env.push_back("VELKARD_CRASH_COUNT=" + countFile.string());
    std::vector<char*> cenv;
    for (auto& e : env)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ShimmedRun r;
    if (posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data()) == 0) {
        int st = 0;
        waitpid(pid, &st, 0);
        r.killed = WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return r;
}

// A device ECG file whose date, time and body are unique to `serial`.
Bytes deviceFile(int serial, int records = 40) {
    signal::DeviceHeader h;
    h.setRate(20);
    h.setRecordCount(static_cast<std::int16_t>(records));
    h.setDateTime(static_cast<std::int16_t>(20 + serial / 1000), 1 + serial % 12, 1 + serial % 28,
                  serial / 60 % 24, serial % 60, (serial * 7) % 60);
    Bytes out(h.bytes().begin(), h.bytes().end());
    for (int i = 0; i < records * 8; ++i) {
        std::uint8_t v[2];
        signal::writeLe16(v, static_cast<std::int16_t>(serial * 97 + i));
        out.push_back(v[0]);
        out.push_back(v[1]);
    }
    return out;
}

void save(const fs::path& p, const Bytes& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes load(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a user sees: each patient (name and policy) with the date and time of every entry.
using View = std::vector<std::pair<std::string, std::vector<std::string>>>;

class CrashEveryOperation : public ::testing::Test {
protected:
    void SetUp() override {
        cardfile::CardFile cf(base.path());
        for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
            cardfile::NewPatientInput in;
            in.name = name;
            in.policy = std::string("P-") + name;
            auto p = cardfile::createNewPatient(cf, in, true);
            ASSERT_TRUE(p) << p.message;
            ids.push_back(p.value.id);
        }
        // Alpha has three recordings, Bravo two, Charlie none.
        for (int k = 0; k < 3; ++k)
            file(cf, ids[0]);
        for (int k = 0; k < 2; ++k)
            file(cf, ids[1]);
        // Alpha's first and third recordings have a physician's report, naming its recording.
        auto alpha = cf.listArchiveEntries(ids[0]);
        ASSERT_TRUE(alpha) << alpha.message;
        for (int n : {1, 3}) {
            const auto& e = alpha.value[static_cast<std::size_t>(n - 1)];
            auto s = cf.writeReport(ids[0], n, "report of " + e.date + " " + e.time,
                                    {"Dr", "test@host"}, "written");
            ASSERT_TRUE(s) << s.message;
        }
        // Alpha's second and third recordings came from files lacking leads: a lead list beside
        // each (so removing the second moves one list down and deletes the other).
        for (int n : {2, 3}) {
            cardfile::LeadSet present;
            present.fill(true);
            present[static_cast<std::size_t>(n)] = false;
            const std::string list =
                cardfile::encodeLeadsFile(present, load(cf.recordingPath(ids[0], n)));
            save(cf.leadsPath(ids[0], n), Bytes(list.begin(), list.end()));
        }
        save(base / "source.dat", known(serial_++));
        save(base / "raw.dat", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
        recordings["01.01.2026 00:00:00"] = load(base / "raw.dat");
    }

    Bytes known(int serial) {
        Bytes dev = deviceFile(serial);
        auto header = signal::DeviceHeader::parse(dev);
        char key[64];
        std::snprintf(key, sizeof key, "%02d.%02d.20%02d %02d:%02d:%02d", header->day(),
                      header->month(), header->year(), header->hour(), header->minute(),
                      header->second());
        recordings[key] = signal::convertDeviceBytes(dev, signal::RecordingKind::Plain);
        return dev;
    }

    void file(const cardfile::CardFile& cf, const std::string& id) {
        const fs::path src = base / ("in" + std::to_string(serial_) + ".dat");
        save(src, known(serial_++));
        auto r = filing::storeDeviceFile(cf, id, src, true);
        ASSERT_TRUE(r) << r.message;
        fs::remove(src);
    }

    // Checks the card file in `dir` after a crash and returns what it shows; every failure names
    // the crash point.
    // A recording a crashed Store was writing before it took the lock goes with the next change,
    // so it may still be there when only reads have followed the crash.
    View inspect(const fs::path& dir, long point, bool afterReadsOnly = false) {
        cardfile::CardFile cf(dir);
        View view;
        auto patients = cf.listPatients();
        EXPECT_TRUE(patients) << "crash point " << point << ": " << patients.message;
        std::set<std::string> expectedFiles{cardfile::kIndexName, cardfile::kLockName};
        for (const auto& p : patients.value) {
            EXPECT_TRUE(cardfile::isValidPatientId(p.id)) << "crash point " << point;
            auto entries = cf.listArchiveEntries(p.id);
            EXPECT_TRUE(entries) << "crash point " << point << ": " << entries.message;
            std::vector<std::string> shown;
            for (std::size_t k = 0; k < entries.value.size(); ++k) {
                const auto& e = entries.value[k];
                const std::string key = e.date + " " + e.time;
                // A report stays with its own recording, whatever moved.
                const fs::path report = cf.reportPath(p.id, static_cast<int>(k) + 1);
                const bool reported = fs::exists(report);
                shown.push_back(key + (reported ? " +report" : ""));
                // So does a lead list: one that is there belongs to the recording at its number.
                if (fs::exists(cf.leadsPath(p.id, static_cast<int>(k) + 1))) {
                    auto leads = cf.readLeads(p.id, static_cast<int>(k) + 1);
                    EXPECT_TRUE(leads && leads.value)
                        << "crash point " << point << ": entry " << k + 1 << " of " << p.name
                        << " has another recording's lead list";
                    shown.back() += " +leads";
                    expectedFiles.insert(cardfile::leadsFileName(p.id, static_cast<int>(k) + 1));
                }
                if (reported) {
                    const Bytes text = load(report);
                    EXPECT_EQ(std::string(text.begin(), text.end()), "report of " + key)
                        << "crash point " << point << ": entry " << k + 1 << " of " << p.name
                        << " shows another recording's report";
                    expectedFiles.insert(cardfile::reportFileName(p.id, static_cast<int>(k) + 1));
                }
                EXPECT_EQ(e.recordNumber(), static_cast<int>(k) + 1)
                    << "crash point " << point << ": " << p.name;
                auto it = recordings.find(key);
                EXPECT_TRUE(it != recordings.end()) << "crash point " << point << ": " << key;
                if (it != recordings.end()) {
                    EXPECT_TRUE(load(cf.recordingPath(p.id, static_cast<int>(k) + 1)) == it->second)
                        << "crash point " << point << ": entry " << k + 1 << " of " << p.name
                        << " shows another recording";
                }
                expectedFiles.insert(cardfile::recordingFileName(p.id, static_cast<int>(k) + 1));
            }
            expectedFiles.insert(p.id);
            // A recording written just before the crash whose entry was not: the next Store
            // takes its number again.
            expectedFiles.insert(
                cardfile::recordingFileName(p.id, static_cast<int>(entries.value.size()) + 1));
            // So may the lead list written before that recording; the next filing sets it aside.
            expectedFiles.insert(
                cardfile::leadsFileName(p.id, static_cast<int>(entries.value.size()) + 1));
            view.push_back({p.name + "|" + p.policy, shown});
        }
        for (const auto& e : fs::directory_iterator(cf.dataDir())) {
            const std::string name = e.path().filename().string();
            // An empty archive whose patient record was never appended names no one.
            const bool emptyArchive =
                cardfile::isValidPatientId(name) && fs::file_size(e.path()) == 0;
            const bool incoming = afterReadsOnly && name.starts_with(".velkard-incoming-");
            // The last ID handed out, and recordings kept after a crash: never removed.
            const bool kept = name == ".velkard-last-id" || name.starts_with("unfiled_") ||
                              name == cardfile::kAuditLogName;
            EXPECT_TRUE(expectedFiles.contains(name) || emptyArchive || incoming || kept)
                << "crash point " << point << ": left behind '" << name << "'";
        }
        return view;
    }

    // Runs the command once to count its operations and learn its result, then once per
    // operation with a crash there. Returns the number of crash points.
    long crashEverywhere(const std::vector<std::string>& args) {
        const fs::path count = scratch / "count";
        fs::copy(base.path(), scratch / "whole", fs::copy_options::recursive);
        std::vector<std::string> whole = args;
        whole.insert(whole.end(), {"--dir", (scratch / "whole").string()});
        ShimmedRun complete = runShimmed(whole, 0, count);
        EXPECT_EQ(complete.status, 0);
        const View before = inspect(base.path(), 0);
        const View after = inspect(scratch / "whole", 0);
        EXPECT_NE(before, after) << "the command changes nothing";
        std::ifstream in(count);
        long operations = 0;
        in >> operations;
        EXPECT_GT(operations, 0);

        for (long n = 1; n <= operations; ++n) {
            const fs::path dir = scratch / ("crash" + std::to_string(n));
            fs::copy(base.path(), dir, fs::copy_options::recursive);
            std::vector<std::string> crashed = args;
            crashed.insert(crashed.end(), {"--dir", dir.string()});
            ShimmedRun run = runShimmed(crashed, n, count);
            EXPECT_TRUE(run.killed) << "crash point " << n;
            View seen = inspect(dir, n, true);
            EXPECT_TRUE(seen == before || seen == after)
                << "crash point " << n << ": the card file shows neither the old nor the new state";
            // The next Store destroys nothing: every patient gets one more recording, and every
            // entry still shows its own.
            cardfile::CardFile cf(dir);
            for (const auto& p : cf.listPatients().value) {
                const fs::path src = scratch / "next.dat";
                save(src, known(serial_++));
                auto stored = filing::storeDeviceFile(cf, p.id, src, true);
                EXPECT_TRUE(stored) << "crash point " << n << ": " << stored.message;
            }
            View next = inspect(dir, n);
            EXPECT_EQ(next.size(), seen.size());
            for (std::size_t i = 0; i < std::min(next.size(), seen.size()); ++i) {
                EXPECT_EQ(next[i].second.size(), seen[i].second.size() + 1) << "crash point " << n;
                next[i].second.resize(std::min(next[i].second.size(), seen[i].second.size()));
            }
            EXPECT_EQ(next, seen) << "crash point " << n << ": the next Store changed old entries";
            fs::remove_all(dir);
            if (::testing::Test::HasFailure())
                break;
        }
        std::cout << "crash points tried: " << operations << '\n';
        return operations;
    }

    TempDir base;
    TempDir scratch;
    std::vector<std::string> ids;
    std::map<std::string, Bytes> recordings; // "dd.MM.yyyy hh:mm:ss" -> recording bytes
    int serial_ = 1;
};

TEST_F(CrashEveryOperation, AddPatient) {
    EXPECT_GT(crashEverywhere({"add-patient", "--name", "Delta", "--policy", "P-Delta"}), 5);
}

TEST_F(CrashEveryOperation, ChangePatient) {
    EXPECT_GT(crashEverywhere({"change-patient", ids[1], "--name", "Bravo Two", "--phone", "12"}),
              3);
}

TEST_F(CrashEveryOperation, Store) {
    EXPECT_GT(crashEverywhere({"store", ids[0], (base / "source.dat").string()}), 5);
}

TEST_F(CrashEveryOperation, FilingARecording) {
    EXPECT_GT(crashEverywhere({"file-recording", ids[2], (base / "raw.dat").string(), "--seconds",
                               "1", "--date", "01.01.2026", "--time", "00:00:00"}),
              5);
}

// A file of another system lacking leads (EDF+ of II and V1 by EDFlib), filed with its lead list:
// killed anywhere, no recording shows a list that is not its own, and none is listed without it.
TEST_F(CrashEveryOperation, ImportingAFileLackingLeads) {
    const fs::path edf = base / "two.edf";
    const int h = edfopen_file_writeonly(edf.c_str(), EDFLIB_FILETYPE_EDFPLUS, 2);
    ASSERT_GE(h, 0);
    for (int k = 0; k < 2; ++k) {
        edf_set_samplefrequency(h, k, 500);
        edf_set_digital_maximum(h, k, 32767);
        edf_set_digital_minimum(h, k, -32768);
        edf_set_physical_maximum(h, k, 32767);
        edf_set_physical_minimum(h, k, -32768);
        edf_set_physical_dimension(h, k, "uV");
        edf_set_label(h, k, k == 0 ? "ECG II" : "ECG V1");
    }
    edf_set_startdatetime(h, 2026, 1, 2, 3, 4, 5);
    std::vector<short> samples(500);
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < 2; ++k) {
            for (int t = 0; t < 500; ++t)
                samples[static_cast<std::size_t>(t)] = static_cast<short>((k + 1) * 7 * (t % 50));
            ASSERT_EQ(edfwrite_digital_short_samples(h, samples.data()), 0);
        }
    ASSERT_EQ(edfclose_file(h), 0);
    ASSERT_EQ(runShimmed({"import", edf.string(), "--out", (base / "two.dat").string()}, 0,
                         scratch / "count")
                  .status,
              0);
    recordings["02.01.2026 03:04:05"] = load(base / "two.dat");
    EXPECT_GT(crashEverywhere({"import", edf.string(), "--into", ids[2]}), 5);
    auto leads = cardfile::CardFile(scratch / "whole").readLeads(ids[2], 1);
    ASSERT_TRUE(leads) << leads.message;
    ASSERT_TRUE(leads.value.has_value());
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        EXPECT_EQ((*leads.value)[l], l == 1 || l == 6) << l;
}

TEST_F(CrashEveryOperation, RemoveFirstEntry) {
    EXPECT_GT(crashEverywhere({"remove-entry", ids[0], "1"}), 10);
}

TEST_F(CrashEveryOperation, RemovePatient) {
    EXPECT_GT(crashEverywhere({"remove-patient", ids[0]}), 5);
}

// decompress replaces its output through a renamed temporary file: killed at any file operation
// it leaves the old file or the whole new one and nothing else; --sync adds the two flushes (the
// file before the rename, the folder after it).
TEST(CrashDecompress, LeavesTheOldOrTheWholeNewFileAndSyncAddsTheFlushes) {
    TempDir dir;
    Bytes device = deviceFile(5, 4000);
    // The instrument stores multiples of 8, which compress keeps exactly.
    for (std::size_t i = 512; i + 1 < device.size(); i += 2)
        signal::writeLe16(&device[i], static_cast<std::int16_t>(signal::readLe16(&device[i]) * 8));
    save(dir / "in.ecg", device);
    ASSERT_EQ(runShimmed({"compress", (dir / "in.ecg").string(), (dir / "in.ecx").string()}, 0,
                         dir / "count")
                  .status,
              0);
    const Bytes old{'o', 'l', 'd'};
    auto count = [&](bool sync) {
        save(dir / "out.ecg", old);
        std::vector<std::string> args{"decompress", (dir / "in.ecx").string(),
                                      (dir / "out.ecg").string()};
        if (sync)
            args.push_back("--sync");
        EXPECT_EQ(runShimmed(args, 0, dir / "count").status, 0);
        EXPECT_EQ(load(dir / "out.ecg"), device);
        long n = 0;
        std::ifstream(dir / "count") >> n;
        return n;
    };
    const long plain = count(false), synced = count(true);
    EXPECT_EQ(synced, plain + 2);
    for (bool sync : {false, true}) {
        for (long n = 1; n <= (sync ? synced : plain); ++n) {
            save(dir / "out.ecg", old);
            std::vector<std::string> args{"decompress", (dir / "in.ecx").string(),
                                          (dir / "out.ecg").string()};
            if (sync)
                args.push_back("--sync");
            EXPECT_TRUE(runShimmed(args, n, dir / "count").killed) << "crash point " << n;
            const Bytes out = load(dir / "out.ecg");
            EXPECT_TRUE(out == old || out == device) << "crash point " << n << ": a torn file";
            std::size_t files = 0;
            for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
                ++files;
            // in.ecg, in.ecx, out.ecg, count, and a temporary only when killed before the rename
            // (the next run replaces the output; the temporary stays, as after any crash).
            EXPECT_LE(files, 5u) << "crash point " << n;
            for (const auto& e : fs::directory_iterator(dir.path()))
                if (e.path().filename() != "in.ecg" && e.path().filename() != "in.ecx" &&
                    e.path().filename() != "out.ecg" && e.path().filename() != "count")
                    fs::remove(e.path());
        }
    }
    std::cout << "decompress crash points: " << plain << " (" << synced << " with --sync)\n";
}

} // namespace
} // namespace velkard::cli::test

#endif
