// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/CardFile.h"
#include "cardfile/Lock.h"
#include "cli/tests/RunCli.h"
#include "signal/Recording.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace velkard::cli::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

void writeDeviceFile(const fs::path& p, std::int16_t rate, std::int16_t count,
                     std::size_t bodyBytes) {
    signal::DeviceHeader h;
    h.setRate(rate);
    h.setRecordCount(count);
    h.setDateTime(12, 11, 25, 14, 3, 7);
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(h.bytes().data()), 512);
    out << std::string(bodyBytes, '\x10');
}

std::string addPatient(const TempDir& dir, const std::string& name) {
    auto r = runCli({"add-patient", "--name", name, "--policy", "77 0001", "--sex", "Жен",
                     "--birth", "01.02.1990", "--dir", dir.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 9u) << r.out;
    return r.out.substr(0, 8);
}

TEST(CardFileCli, AddPatientsAndListThem) {
    TempDir dir;
    std::string first = addPatient(dir, "Петрова Анна Сергеевна");
    std::string second = addPatient(dir, "Smith John");
    EXPECT_NE(first, second);

    auto r = runCli({"patients", "--dir", dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"0\t" + first + "\tПетрова Анна Сергеевна\t01.02.1990\tЖен",
                                        "1\t" + second + "\tSmith John\t01.02.1990\tЖен"}));
    EXPECT_TRUE(fs::exists(dir / "DATA_BASE" / first));

    auto a = runCli({"archive", first, "--dir", dir.path().string()});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.out, "");
}

TEST(CardFileCli, DamagedIndexStillListsOneLinePerPatient) {
    TempDir dir;
    fs::create_directories(dir / "DATA_BASE");
    std::string record(198, '\0');
    record.replace(0, 8, "A\tB\nC\xC6\xE5\xED"); // tab, line break, then "Жен" in Windows-1251
    record.replace(190, 8, "0000000a");
    // A whole record and a torn one of 197 bytes, which is still listed.
    std::ofstream(dir / "DATA_BASE" / "ID_Patient_real", std::ios::binary)
        << record << record.substr(0, 197);
    auto r = runCli({"patients", "--dir", dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"0\t0000000a\tA?B?CЖен\t\t", "1\t0000000\tA?B?CЖен\t\t"}));
}

TEST(CardFileCli, DefaultFolderIsTheCurrentOne) {
    TempDir dir;
    auto r = runCli({"add-patient", "--name", "X", "--policy", "1"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir / "DATA_BASE" / "ID_Patient_real"), 198u);
    EXPECT_EQ(runCli({"patients"}, dir.path()).out.substr(0, 2), "0\t");
}

TEST(CardFileCli, UsageErrorsAndHelp) {
    TempDir dir;
    auto d = dir.path().string();
    EXPECT_EQ(runCli({"add-patient", "--name", "X", "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"add-patient", "--policy", "1", "--dir", d}).status, 2);
    EXPECT_EQ(
        runCli({"add-patient", "--name", "X", "--policy", "1", "--birth", "31.02.2000", "--dir", d})
            .status,
        2);
    EXPECT_EQ(
        runCli({"add-patient", "--name", "X", "--policy", "1", "--sex", "male", "--dir", d}).status,
        2);
    auto bad = runCli({"archive", "../../etc", "--dir", d});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("patient ID"), std::string::npos);
    EXPECT_EQ(runCli({"remove-entry", "4c2f9a10", "0", "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"store", "4c2f9a10", "--dir", d}).status, 2);
    EXPECT_EQ(runCli({"patients", "--dir", (dir / "missing").string()}).status, 1);

    for (const char* cmd :
         {"patients", "archive", "add-patient", "store", "remove-entry", "remove-patient"}) {
        auto h = runCli({cmd, "--help"});
        EXPECT_EQ(h.status, 0) << cmd;
        EXPECT_NE(h.out.find(std::string("velkard-cli ") + cmd), std::string::npos) << cmd;
    }
}

TEST(CardFileCli, StoreRemoveEntryAndRemovePatient) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    writeDeviceFile(dir / "ECG0001.DAT", 800, 4000, 4000 * 16);
    writeDeviceFile(dir / "VSR0001.DAT", 800, 0, 200);

    auto s1 = runCli({"store", id, (dir / "ECG0001.DAT").string(), "--dir", d});
    ASSERT_EQ(s1.status, 0) << s1.err;
    EXPECT_EQ(s1.out, "1\n");
    auto s2 = runCli({"store", id, (dir / "VSR0001.DAT").string(), "--dir", d, "--russian"});
    ASSERT_EQ(s2.status, 0) << s2.err;
    EXPECT_EQ(s2.out, "2\n");
    EXPECT_TRUE(fs::exists(dir / "ECG0001.DAT"));

    auto a = runCli({"archive", id, "--dir", d});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(lines(a.out), (std::vector<std::string>{"  1\t25.11.2012\t14:03:07\t   5\t  ",
                                                      "  2\t25.11.2012\t14:03:07\tРИТМ\tRT"}));
    EXPECT_EQ(fs::file_size(dir / "DATA_BASE" / (id + "_ 1.dat")), 4000u * 16);

    EXPECT_EQ(runCli({"remove-entry", id, "3", "--dir", d}).status, 1);
    auto rm = runCli({"remove-entry", id, "1", "--dir", d});
    ASSERT_EQ(rm.status, 0) << rm.err;
    EXPECT_EQ(lines(runCli({"archive", id, "--dir", d}).out),
              (std::vector<std::string>{"  1\t25.11.2012\t14:03:07\tРИТМ\tRT"}));
    EXPECT_EQ(fs::file_size(dir / "DATA_BASE" / (id + "_ 1.dat")), 200u);

    auto rp = runCli({"remove-patient", id, "--dir", d});
    ASSERT_EQ(rp.status, 0) << rp.err;
    EXPECT_EQ(runCli({"patients", "--dir", d}).out, "");
    EXPECT_FALSE(fs::exists(dir / "DATA_BASE" / id));
    EXPECT_FALSE(fs::exists(dir / "DATA_BASE" / (id + "_ 1.dat")));
    EXPECT_EQ(runCli({"remove-patient", id, "--dir", d}).status, 1);
}

// A journal that does not fit the archive it names (a position beyond the entries) or cannot be
// read is never replayed: every command says the journal is damaged and changes nothing, and
// repair sets it aside, after which the card file is as it was.
TEST(CardFileCli, ADamagedJournalIsNotReplayedAndRepairSetsItAside) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    writeDeviceFile(dir / "ECG0001.DAT", 800, 800, 800 * 16);
    ASSERT_EQ(runCli({"store", id, (dir / "ECG0001.DAT").string(), "--dir", d}).status, 0);
    writeDeviceFile(dir / "ECG0002.DAT", 800, 1600, 1600 * 16);
    ASSERT_EQ(runCli({"store", id, (dir / "ECG0002.DAT").string(), "--dir", d}).status, 0);
    const fs::path data = dir / "DATA_BASE";
    const std::string archiveBefore = runCli({"archive", id, "--dir", d}).out;
    ASSERT_EQ(lines(archiveBefore).size(), 2u);

    std::ifstream in(data / id, std::ios::binary);
    std::string archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(archive.size(), 54u);
    const std::string crafted = "velkard journal 1\nremove-entry\n[" + id + "]\n5\n2\n0\n1\n27\n" +
                                archive.substr(0, 27) + "\nend\n";
    for (const std::string& journal : {crafted, std::string("garbled\n")}) {
        std::ofstream(data / ".velkard.journal", std::ios::binary) << journal;
        auto r = runCli({"archive", id, "--dir", d});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("journal"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
        r = runCli({"store", id, (dir / "ECG0001.DAT").string(), "--dir", d});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find("not in the card file"), std::string::npos) << r.err;
        EXPECT_EQ(fs::file_size(data / (id + "_ 1.dat")), 800u * 16);
        EXPECT_EQ(fs::file_size(data / (id + "_ 2.dat")), 1600u * 16);

        r = runCli({"repair", "--dir", d});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("velkard-damaged-journal-"), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(data / ".velkard.journal"));
        EXPECT_EQ(runCli({"archive", id, "--dir", d}).out, archiveBefore);
        EXPECT_EQ(fs::file_size(data / (id + "_ 1.dat")), 800u * 16);
        EXPECT_EQ(fs::file_size(data / (id + "_ 2.dat")), 1600u * 16);
    }
    auto r = runCli({"repair", "--dir", d});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "nothing to repair\n");
}

// Recordings left beside the card file (a numbered one without its entry, one nobody filed) are
// listed, filed by the patient their name gives, or into a patient named.
TEST(CardFileCli, RecoverListsAndFilesWhatWasLeftUnfiled) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    const fs::path data = dir / "DATA_BASE";
    // A crash between the rename and the entry left recording 1 without its entry; the next
    // store puts it aside under an unfiled name and takes number 1 itself.
    std::ofstream(data / (id + "_ 1.dat"), std::ios::binary) << std::string(3 * 6400, '\x21');
    writeDeviceFile(dir / "ECG0001.DAT", 800, 800, 800 * 16);
    ASSERT_EQ(runCli({"store", id, (dir / "ECG0001.DAT").string(), "--dir", d}).status, 0);
    // A private file of a crashed program, kept under a name that says nobody's.
    const fs::path nobodys = data / "unfiled_20260101-101010_Ab12Cd.dat";
    std::ofstream(nobodys, std::ios::binary) << std::string(4 * 6400, '\x22');

    auto r = runCli({"recover", "--dir", d});
    ASSERT_EQ(r.status, 0) << r.err;
    auto listed = lines(r.out);
    ASSERT_EQ(listed.size(), 2u) << r.out;
    int withPatient = 0;
    for (const auto& l : listed)
        if (l.find("\t" + id + "\tИванов\t1.5\t") != std::string::npos)
            ++withPatient;
    EXPECT_EQ(withPatient, 1) << r.out;
    EXPECT_NE(r.out.find(nobodys.string() + "\t\t\t2\t"), std::string::npos) << r.out;

    r = runCli({"recover", "--all", "--dir", d});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 2u); // the filed one, and the nobody's still listed
    EXPECT_NE(r.out.find("filed\t"), std::string::npos);
    EXPECT_EQ(fs::file_size(data / (id + "_ 2.dat")), 3u * 6400);

    EXPECT_EQ(runCli({"recover", "--file", nobodys.string(), "--dir", d}).status, 2);
    r = runCli({"recover", "--file", nobodys.string(), "--patient", id, "--dir", d});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3\n");
    EXPECT_FALSE(fs::exists(nobodys));
    EXPECT_EQ(fs::file_size(data / (id + "_ 3.dat")), 4u * 6400);
    const auto archive = lines(runCli({"archive", id, "--dir", d}).out);
    ASSERT_EQ(archive.size(), 3u);
    EXPECT_EQ(runCli({"recover", "--dir", d}).out, "");
}

TEST(CardFileCli, StoreFailuresKeepEverything) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    writeDeviceFile(dir / "ECG.DAT", 800, 800, 800 * 16);

    auto unknown = runCli({"store", "0badf00d", (dir / "ECG.DAT").string(), "--dir", d});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("0badf00d"), std::string::npos);

    auto missing = runCli({"store", id, (dir / "nothing.dat").string(), "--dir", d});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(lines(missing.err).size(), 1u);

    std::ofstream(dir / "broken.ecx") << "not compressed at all";
    EXPECT_EQ(runCli({"store", id, (dir / "broken.ecx").string(), "--dir", d}).status, 1);
    EXPECT_EQ(runCli({"archive", id, "--dir", d}).out, "");
    EXPECT_TRUE(fs::exists(dir / "broken.ecx"));
}

TEST(CardFileCli, ABusyCardFileIsSaidSoAndLeftAlone) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    const auto index = dir / "DATA_BASE" / "ID_Patient_real";
    const auto before = fs::file_size(index);
    cardfile::CardFileLock held;
    ASSERT_EQ(held.acquire(dir / "DATA_BASE", cardfile::CardFileLock::Mode::Exclusive, {}),
              cardfile::CardFileLock::Outcome::Locked);
    auto r = runCli({"add-patient", "--name", "Петров", "--policy", "2", "--dir", d});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("busy"), std::string::npos) << r.err;
    EXPECT_EQ(lines(r.err).size(), 1u);
    EXPECT_EQ(fs::file_size(index), before);
    held.release();
    EXPECT_EQ(runCli({"add-patient", "--name", "Петров", "--policy", "2", "--dir", d}).status, 0);
}

TEST(CardFileCli, ChangePatientAndRemoveADamagedRow) {
    TempDir dir;
    auto d = dir.path().string();
    std::string id = addPatient(dir, "Иванов");
    auto r = runCli({"change-patient", id, "--name", "Иванова", "--phone", "123", "--dir", d});
    ASSERT_EQ(r.status, 0) << r.err;
    cardfile::CardFile cf(dir.path());
    auto p = cf.readPatient(0).value;
    EXPECT_EQ(p.name, "Иванова");
    EXPECT_EQ(p.telephone, "123");
    EXPECT_EQ(p.policy, "77 0001");
    EXPECT_EQ(p.id, id);

    // A row whose ID bytes were damaged.
    std::ofstream(dir / "DATA_BASE" / "ID_Patient_real", std::ios::app | std::ios::binary)
        << std::string(190, 'x') << "../../x" << '\1';
    ASSERT_EQ(lines(runCli({"patients", "--dir", d}).out).size(), 2u);
    EXPECT_EQ(runCli({"remove-patient", "--row", "1", "--dir", d}).status, 0);
    EXPECT_EQ(lines(runCli({"patients", "--dir", d}).out).size(), 1u);
    EXPECT_TRUE(fs::exists(dir / "DATA_BASE" / id));
}

TEST(CardFileCli, DecompressNeverReplacesADeviceNode) {
    TempDir dir;
    writeDeviceFile(dir / "ECG.DAT", 800, 800, 800 * 16);
    ASSERT_EQ(runCli({"compress", (dir / "ECG.DAT").string(), (dir / "ECG.ecx").string()}).status,
              0);
    ASSERT_EQ(::mkfifo((dir / "node").c_str(), 0644), 0);
    auto r = runCli({"decompress", (dir / "ECG.ecx").string(), (dir / "node").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_fifo(dir / "node"));
}

} // namespace
} // namespace velkard::cli::test
