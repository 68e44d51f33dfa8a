// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/MemoryProtocol.h"
#include "memory/tests/LoopbackLink.h"
#include "memory/tests/TestFiles.h"
#include "memory/tests/TestWindow.h"
#include "sim/MemoryCard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sys/resource.h>

using namespace velkard;
using namespace velkard::memory;
using velkard::memory::test::LoopbackLink;
using velkard::memory::test::TestWindow;
using namespace velkard::memory::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> folderNames(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::uint8_t> bytes(std::initializer_list<int> v) {
    std::vector<std::uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

std::vector<std::uint8_t> command(std::uint8_t cmd, const std::string& name) {
    std::vector<std::uint8_t> out{cmd};
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0x7C);
    return out;
}

std::size_t countOf(const std::vector<std::uint8_t>& v, std::uint8_t b) {
    return static_cast<std::size_t>(std::count(v.begin(), v.end(), b));
}

class MemoryConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "velkard-memory-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        cardDir = root / "card";
        downloadDir = root / "work" / "temp";
        fs::create_directories(cardDir);
        fs::create_directories(downloadDir);
        card = std::make_unique<sim::MemoryCard>(cardDir);
        link = std::make_unique<LoopbackLink>(*card);
        link->onActivity = [this] { window.poke(); };
        connection = std::make_unique<MemoryConnection>(*link, window, downloadDir);
        window.connection = connection.get();
    }
    void TearDown() override {
        connection.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void start() { ASSERT_EQ(connection->start(), StartResult::Started); }

    // Refresh and wait for the listing's last acknowledgement (one listing block unless told).
    void refresh(std::size_t blocks = 1) {
        link->clearWritten();
        window.refresh();
        ASSERT_TRUE(window.waitFor([&] { return countOf(link->written(), 0x63) == 1 + blocks; }));
    }

    void select(const std::vector<std::string>& names) {
        const auto entries = window.entries();
        for (const auto& n : names) {
            const auto it = std::find(entries.begin(), entries.end(), n);
            ASSERT_NE(it, entries.end()) << n;
            window.setSelected(static_cast<std::size_t>(it - entries.begin()), true);
        }
    }

    // Presses Accept or Delete and waits until the run has ended (the list is enabled again).
    void runRequest(RequestKind kind) {
        ASSERT_TRUE(connection->requestNextSelected(kind));
        ASSERT_TRUE(window.waitFor([&] { return window.listEnabled(); }));
    }

    fs::path root, cardDir, downloadDir;
    TestWindow window;
    std::unique_ptr<sim::MemoryCard> card;
    std::unique_ptr<LoopbackLink> link;
    std::unique_ptr<MemoryConnection> connection;
};

TEST_F(MemoryConnectionTest, ConnectionEntersAndLeavesMemoryMode) {
    start();
    EXPECT_TRUE(link->isOpen());
    EXPECT_TRUE(link->dataCharacteristicsOk());
    EXPECT_TRUE(card->active());
    connection->end();
    EXPECT_FALSE(connection->running());
    EXPECT_FALSE(link->isOpen());
    EXPECT_FALSE(card->active());
    // Enter at 230,400 baud, everything after at 3,000,000; no listing is asked for by itself.
    EXPECT_EQ(link->written(), bytes({0x60, 0x61}));
    EXPECT_EQ(link->writeBauds(), (std::vector<std::uint32_t>{230400, 3000000}));
    EXPECT_TRUE(window.entries().empty());
    connection->end(); // a second end does nothing
    EXPECT_EQ(link->written().size(), 2u);
}

TEST_F(MemoryConnectionTest, NoInstrumentShowsNoWindow) {
    link->present = false;
    bool shown = false;
    EXPECT_EQ(runMemoryConnection(*connection, window, [&] { shown = true; }),
              StartResult::NotFound);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(connection->running());
    EXPECT_TRUE(link->written().empty());
}

TEST_F(MemoryConnectionTest, RunClearsTheListAndEndsAfterTheWindowCloses) {
    window.appendEntry("old");
    window.setProgressPosition(40);
    bool shown = false;
    EXPECT_EQ(runMemoryConnection(*connection, window,
                                  [&] {
                                      shown = true;
                                      EXPECT_TRUE(connection->running());
                                      EXPECT_TRUE(window.entries().empty());
                                      EXPECT_EQ(window.progressPosition(), 0);
                                  }),
              StartResult::Started);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(connection->running());
    EXPECT_EQ(link->closes(), 1);
}

TEST_F(MemoryConnectionTest, ListingFillsTheListInOrder) {
    writeFile(cardDir / "A2_0001.ECG", "x");
    writeFile(cardDir / "B.ECG", "y");
    fs::create_directory(cardDir / "DIR1");
    card->addFile("100%.ecg", "z");
    start();
    refresh();
    EXPECT_EQ(window.entries(),
              (std::vector<std::string>{"A2_0001.ECG", "B.ECG", "DIR1/", "100%.ecg"}));
    EXPECT_EQ(link->written(), bytes({0x62, 0x63, 0x63}));
    // A second refresh replaces, not appends.
    refresh();
    EXPECT_EQ(window.entries().size(), 4u);
}

TEST_F(MemoryConnectionTest, EmptyCardAndGarbageFillerAddNothing) {
    start();
    refresh();
    EXPECT_TRUE(window.entries().empty());
    card->faults().garbageFiller = true;
    card->addFile("ONE.ECG", "1");
    refresh();
    EXPECT_EQ(window.entries(), (std::vector<std::string>{"ONE.ECG"}));
}

TEST_F(MemoryConnectionTest, ListingLargerThanTheReceiveBufferIsReadWhole) {
    for (int i = 0; i < 8000; ++i) // 18 bytes each
        card->addFile("FILE" + std::to_string(100000 + i) + ".ECG", "");
    card->faults().listingBlockBytes = 120000; // two blocks, each larger than 50,000 bytes
    start();
    refresh(2);
    const auto entries = window.entries();
    ASSERT_EQ(entries.size(), 8000u);
    EXPECT_EQ(entries.front(), "FILE100000.ECG");
    EXPECT_EQ(entries.back(), "FILE107999.ECG");
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(MemoryConnectionTest, LongNamesAreLeftOutWithAMessage) {
    card->addFile(std::string(300, 'L'), "");
    card->addFile("SHORT.ECG", "");
    start();
    refresh();
    EXPECT_EQ(window.entries(), (std::vector<std::string>{"SHORT.ECG"}));
    ASSERT_EQ(window.messages().size(), 1u);
    EXPECT_NE(window.messages()[0].find("не показаны"), std::string::npos);
}

struct SizeCase {
    std::size_t size;
    std::size_t continues;     // Continue bytes written for the whole read
    std::int64_t lastPosition; // the progress bar counts whole blocks
};

class FileSizeTest : public MemoryConnectionTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FileSizeTest, DownloadIsByteExact) {
    const SizeCase c = GetParam();
    const std::string content = randomBytes(c.size, static_cast<unsigned>(c.size));
    writeFile(cardDir / "REC.ECG", content);
    start();
    refresh();
    select({"REC.ECG"});
    link->clearWritten();
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "REC.ECG"), content);
    EXPECT_TRUE(fs::exists(downloadDir / "REC.ECG"));
    const auto w = link->written();
    auto expected = command(0x65, "REC.ECG");
    expected.insert(expected.end(), c.continues, 0x63);
    EXPECT_EQ(w, expected);
    // Each byte went out in its own write.
    const auto sizes = link->writeSizes();
    EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end(), [](std::size_t n) { return n == 1; }));
    EXPECT_EQ(window.progressMaximum(), static_cast<std::int64_t>(c.size));
    EXPECT_EQ(window.progressPosition(), c.lastPosition);
    EXPECT_EQ(connection->state(), TransferState::Idle);
    EXPECT_TRUE(window.selectedEntries().empty());
    EXPECT_TRUE(window.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileSizeTest,
                         ::testing::Values(SizeCase{0, 2, 0}, SizeCase{2988, 2, 2988},
                                           SizeCase{2989, 3, 5988}, SizeCase{5988, 3, 5988},
                                           SizeCase{100000, 35, 101988}));

TEST_F(MemoryConnectionTest, SelectedFilesAreReadInListOrderAndFoldersSkipped) {
    for (const char* n : {"F1.ECG", "F2.ECG", "F3.ECG", "F4.ECG"})
        writeFile(cardDir / n, randomBytes(4000, n[1]));
    fs::create_directory(cardDir / "DIR");
    start();
    refresh();
    ASSERT_EQ(window.entries(),
              (std::vector<std::string>{"DIR/", "F1.ECG", "F2.ECG", "F3.ECG", "F4.ECG"}));
    select({"DIR/", "F1.ECG", "F2.ECG", "F3.ECG"});
    link->clearWritten();
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.listEnabled(); }));
    EXPECT_EQ(folderNames(downloadDir), (std::vector<std::string>{"F1.ECG", "F2.ECG", "F3.ECG"}));
    for (const char* n : {"F1.ECG", "F2.ECG", "F3.ECG"})
        EXPECT_EQ(slurp(downloadDir / n), slurp(cardDir / n));
    EXPECT_TRUE(window.selectedEntries().empty());
    // Reads went out one after the other, in list order.
    const auto w = link->written();
    std::string text(w.begin(), w.end());
    const auto p1 = text.find("eF1.ECG|"), p2 = text.find("eF2.ECG|"), p3 = text.find("eF3.ECG|");
    EXPECT_EQ(p1, 0u);
    EXPECT_LT(p1, p2);
    EXPECT_LT(p2, p3);
    EXPECT_EQ(text.find("F4"), std::string::npos);
    EXPECT_EQ(text.find("DIR"), std::string::npos);
}

TEST_F(MemoryConnectionTest, RequestWithoutSelectedFileSendsNothing) {
    fs::create_directory(cardDir / "D1");
    fs::create_directory(cardDir / "D2");
    start();
    refresh();
    select({"D1/", "D2/"});
    link->clearWritten();
    EXPECT_FALSE(connection->requestNextSelected(RequestKind::Read));
    EXPECT_FALSE(connection->requestNextSelected(RequestKind::Delete));
    EXPECT_TRUE(link->written().empty());
    EXPECT_TRUE(window.selectedEntries().empty());
    EXPECT_TRUE(window.listEnabled());
    EXPECT_EQ(window.refreshes(), 1);
}

TEST_F(MemoryConnectionTest, ClearingTheSelectionDuringARunEndsItAfterTheCurrentFile) {
    writeFile(cardDir / "A.ECG", randomBytes(7000, 1));
    writeFile(cardDir / "B.ECG", randomBytes(7000, 2));
    start();
    refresh();
    select({"A.ECG", "B.ECG"});
    link->setHeld(true); // the reply to the first request waits until the selection is cleared
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    window.clearSelection();
    link->setHeld(false);
    ASSERT_TRUE(window.waitFor([&] { return window.listEnabled(); }));
    EXPECT_EQ(folderNames(downloadDir), (std::vector<std::string>{"A.ECG"}));
    EXPECT_EQ(slurp(downloadDir / "A.ECG"), slurp(cardDir / "A.ECG"));
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(MemoryConnectionTest, DeleteRunEndsInARefresh) {
    for (const char* n : {"A.ECG", "B.ECG", "C.ECG"})
        writeFile(cardDir / n, "data");
    fs::create_directory(cardDir / "D");
    start();
    refresh();
    select({"A.ECG", "C.ECG", "D/"});
    link->clearWritten();
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Delete));
    ASSERT_TRUE(window.waitFor([&] {
        return window.refreshes() == 2 && countOf(link->written(), 0x63) == 2 &&
               window.entries().size() == 2;
    }));
    EXPECT_EQ(window.entries(), (std::vector<std::string>{"B.ECG", "D/"}));
    EXPECT_TRUE(fs::exists(cardDir / "B.ECG"));
    EXPECT_FALSE(fs::exists(cardDir / "A.ECG"));
    EXPECT_FALSE(fs::exists(cardDir / "C.ECG"));
    auto expected = command(0x66, "A.ECG");
    const auto second = command(0x66, "C.ECG");
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), {0x62, 0x63, 0x63});
    EXPECT_EQ(link->written(), expected);
    EXPECT_TRUE(window.listEnabled());
    EXPECT_TRUE(folderNames(downloadDir).empty());
}

TEST_F(MemoryConnectionTest, CardMissingShowsTheMessageAndEnablesTheList) {
    writeFile(cardDir / "A.ECG", "data");
    start();
    refresh();
    select({"A.ECG"});
    card->faults().cardMissing = true;
    runRequest(RequestKind::Read);
    ASSERT_TRUE(window.waitFor([&] { return window.messages().size() == 1; }));
    EXPECT_EQ(window.messages()[0], "Ошибка: SD карта не найдена");
    EXPECT_EQ(window.selectedEntries(), (std::vector<std::string>{"A.ECG"}));
    EXPECT_EQ(connection->state(), TransferState::Idle);
    EXPECT_TRUE(folderNames(downloadDir).empty());

    // The listing request gets the same answer; the list stays empty.
    link->clearWritten();
    window.refresh();
    ASSERT_TRUE(window.waitFor([&] { return window.messages().size() == 2; }));
    EXPECT_TRUE(window.entries().empty());
}

TEST_F(MemoryConnectionTest, HostileNamesAreRefusedAndNothingIsWrittenOutside) {
    card->addFile("../evil.ECG", "evil");
    card->addFile("sub/x.ECG", "evil");
    card->addFile("..", "evil");
    card->addFile(std::string("nul\0name", 8), "evil");
    card->addFile("ctl\x01.ECG", "evil");
    card->addFile("bar|x", "evil");
    card->addFile("\\win.ECG", "evil");
    card->addFile("GOOD%s%n.ECG", "good data"); // '%' is an ordinary name byte
    start();
    refresh();
    ASSERT_EQ(window.entries().size(), 8u);
    window.selectAll();
    link->clearWritten();
    runRequest(RequestKind::Read);
    EXPECT_EQ(folderNames(downloadDir), (std::vector<std::string>{"GOOD%s%n.ECG"}));
    EXPECT_EQ(slurp(downloadDir / "GOOD%s%n.ECG"), "good data");
    EXPECT_EQ(folderNames(root), (std::vector<std::string>{"card", "work"}));
    EXPECT_EQ(folderNames(root / "work"), (std::vector<std::string>{"temp"}));
    EXPECT_EQ(window.messages().size(), 7u);
    for (const auto& m : window.messages())
        EXPECT_NE(m.find("файл пропущен"), std::string::npos) << m;
    // Only the good name was ever sent.
    const auto w = link->written();
    EXPECT_EQ(countOf(w, 0x65), 1u);
    EXPECT_TRUE(window.selectedEntries().empty());
}

TEST_F(MemoryConnectionTest, DeleteRefusesNamesThatCannotBeFramed) {
    card->addFile("bar|x", "");
    card->addFile("OK.ECG", "");
    start();
    refresh();
    window.selectAll();
    link->clearWritten();
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Delete));
    ASSERT_TRUE(
        window.waitFor([&] { return window.refreshes() == 2 && window.entries().size() == 1; }));
    EXPECT_EQ(window.entries(), (std::vector<std::string>{"bar|x"}));
    EXPECT_EQ(window.messages().size(), 1u);
    EXPECT_EQ(countOf(link->written(), 0x66), 1u);
}

TEST_F(MemoryConnectionTest, BadBlockHeaderWritesNothingAndKeepsTurns) {
    writeFile(cardDir / "A.ECG", randomBytes(7000, 3));
    writeFile(cardDir / "B.ECG", randomBytes(100, 4));
    start();
    refresh();
    select({"A.ECG", "B.ECG"});
    card->faults().badFirstBlockMarkers = true;
    link->clearWritten();
    runRequest(RequestKind::Read);
    // Every block of both files was acknowledged and both runs ended with Read finished.
    EXPECT_EQ(card->dataBlocksSent(), 4u);
    EXPECT_EQ(countOf(link->written(), 0x65), 2u);
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_EQ(window.messages().size(), 2u);
    EXPECT_NE(window.messages()[0].find("неверный заголовок"), std::string::npos);
    EXPECT_EQ(connection->announcedSize(), 0u);
    EXPECT_EQ(connection->state(), TransferState::Idle);
    EXPECT_TRUE(window.selectedEntries().empty());

    // The connection stays usable.
    card->faults().badFirstBlockMarkers = false;
    select({"B.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "B.ECG"), slurp(cardDir / "B.ECG"));
}

TEST_F(MemoryConnectionTest, UnaskedTransferIsNeitherAcknowledgedNorSaved) {
    writeFile(cardDir / "A.ECG", "abc");
    card->faults().readAcceptedUnasked = true;
    connection->setTimeouts({3s, 1s});
    start();
    link->clearWritten();
    window.refresh();
    // The listing's last Continue is answered with Read accepted: nobody asked, it is dropped.
    ASSERT_TRUE(window.waitFor([&] { return connection->droppedBytes() == 1; }));
    EXPECT_EQ(countOf(link->written(), 0x63), 2u);
    EXPECT_EQ(card->dataBlocksSent(), 0u);
    EXPECT_TRUE(window.messages().empty());
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_EQ(window.entries(), (std::vector<std::string>{"A.ECG"}));
    // The next request is served.
    select({"A.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "A.ECG"), "abc");
}

TEST_F(MemoryConnectionTest, OutputFileThatCannotBeCreatedIsSkipped) {
    writeFile(cardDir / "A.ECG", randomBytes(5000, 5));
    writeFile(cardDir / "B.ECG", randomBytes(5000, 6));
    start();
    refresh();
    fs::remove(downloadDir);
    select({"A.ECG", "B.ECG"});
    runRequest(RequestKind::Read);
    ASSERT_EQ(window.messages().size(), 2u);
    EXPECT_NE(window.messages()[0].find("Не удалось создать файл"), std::string::npos);
    EXPECT_EQ(card->dataBlocksSent(), 4u); // both transfers ran to their end
    EXPECT_FALSE(fs::exists(downloadDir));

    fs::create_directories(downloadDir);
    select({"B.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "B.ECG"), slurp(cardDir / "B.ECG"));
}

TEST_F(MemoryConnectionTest, WriteFailureRemovesTheBrokenFileAndGoesOn) {
    // A file-size limit stands in for a full disk: writes past 4000 bytes fail (EFBIG).
    writeFile(cardDir / "BIG.ECG", randomBytes(10000, 12));
    writeFile(cardDir / "SMALL.ECG", randomBytes(1000, 13));
    start();
    refresh();
    select({"BIG.ECG", "SMALL.ECG"});
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 4000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    runRequest(RequestKind::Read);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(folderNames(downloadDir), (std::vector<std::string>{"SMALL.ECG"}));
    EXPECT_EQ(slurp(downloadDir / "SMALL.ECG"), slurp(cardDir / "SMALL.ECG"));
    ASSERT_EQ(window.messages().size(), 1u);
    EXPECT_NE(window.messages()[0].find("BIG.ECG"), std::string::npos);
    EXPECT_EQ(card->dataBlocksSent(), 5u); // the broken transfer still ran to its end
}

TEST_F(MemoryConnectionTest, ExistingLinkInTheFolderIsNotFollowed) {
    writeFile(cardDir / "A.ECG", "new");
    const fs::path outside = root / "outside.txt";
    writeFile(outside, "keep");
    fs::create_symlink(outside, downloadDir / "A.ECG");
    start();
    refresh();
    select({"A.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(outside), "keep");
    EXPECT_EQ(window.messages().size(), 1u);
}

TEST_F(MemoryConnectionTest, DownloadCutShortLeavesNoFile) {
    const std::string content = randomBytes(10000, 7);
    writeFile(cardDir / "LONG.ECG", content);
    card->faults().stopAfterDataBlocks = 1;
    start();
    refresh();
    select({"LONG.ECG"});
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.progressPosition() == 2988; }));
    EXPECT_EQ(connection->state(), TransferState::AwaitingNextBlock);
    connection->end();
    // Closing the window mid-read leaves nothing that could be filed as a whole recording.
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_EQ(link->written().back(), 0x61);
    EXPECT_FALSE(link->isOpen());
}

TEST_F(MemoryConnectionTest, UnpluggedInstrumentIsReportedOnceAndTheConnectionStillEnds) {
    const std::string content = randomBytes(10000, 14);
    writeFile(cardDir / "LONG.ECG", content);
    card->faults().stopAfterDataBlocks = 1;
    start();
    refresh();
    select({"LONG.ECG"});
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.progressPosition() == 2988; }));
    link->drop();
    ASSERT_TRUE(window.waitFor([&] { return !window.messages().empty(); }));
    EXPECT_EQ(window.messages(), (std::vector<std::string>{"Ошибка: Связь с прибором потеряна"}));
    connection->end();
    EXPECT_FALSE(link->isOpen());
    EXPECT_TRUE(folderNames(downloadDir).empty()); // no partial recording
}

// Enter memory mode must leave the wire before the speed changes.
TEST_F(MemoryConnectionTest, EnterGoesOutAtTheOldSpeed) {
    start();
    const auto sent = link->written();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], 0x60);
    EXPECT_EQ(link->writeBauds()[0], 230400u);
    EXPECT_TRUE(card->active());
}

TEST_F(MemoryConnectionTest, UnaskedRepliesAreDroppedAndNothingIsDeletedOrRead) {
    writeFile(cardDir / "A.ECG", "a");
    writeFile(cardDir / "B.ECG", "b");
    std::vector<std::string> log;
    std::mutex logMutex;
    connection->setLog([&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    });
    start();
    refresh();
    select({"A.ECG", "B.ECG"});
    // Delete finished and Read finished while nothing was asked, one at a time (as a lone reply
    // would be acted on): the selection stays as it is, no request goes out.
    link->clearWritten();
    std::uint64_t n = 0;
    for (std::uint8_t stray : {0x81, 0x79, 0x81}) {
        link->inject({stray});
        ++n;
        ASSERT_TRUE(window.waitFor([&] { return connection->droppedBytes() == n; }));
    }
    EXPECT_TRUE(fs::exists(cardDir / "A.ECG"));
    EXPECT_TRUE(fs::exists(cardDir / "B.ECG"));
    EXPECT_EQ(window.selectedEntries(), (std::vector<std::string>{"A.ECG", "B.ECG"}));
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_TRUE(link->written().empty());
    {
        std::lock_guard lock(logMutex);
        EXPECT_EQ(log.size(), 3u);
    }
    // Requests still work.
    window.setSelected(1, false);
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "A.ECG"), "a");
    EXPECT_TRUE(fs::exists(cardDir / "A.ECG"));
}

// Every fault of the simulated card ends the run with a message in bounded time, leaves no file
// under the recording's name, and the next request works.
struct CardFault {
    const char* name;
    void (*arm)(sim::MemoryCardFaults&);
    const char* message; // part of the message shown
};

void PrintTo(const CardFault& fault, std::ostream* os) {
    *os << fault.name;
}

class CardFaultTest : public MemoryConnectionTest,
                      public ::testing::WithParamInterface<CardFault> {};

TEST_P(CardFaultTest, RunEndsWithAMessageAndTheNextReadWorks) {
    const std::string content = randomBytes(10000, 21);
    writeFile(cardDir / "LONG.ECG", content);
    connection->setTimeouts({3s, 1s});
    start();
    refresh();
    GetParam().arm(card->faults());
    select({"LONG.ECG"});
    const auto began = std::chrono::steady_clock::now();
    runRequest(RequestKind::Read);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 20s); // a bound, not a measurement
    ASSERT_EQ(window.messages().size(), 1u);
    EXPECT_NE(window.messages()[0].find(GetParam().message), std::string::npos)
        << window.messages()[0];
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_EQ(connection->state(), TransferState::Idle);
    EXPECT_TRUE(window.listEnabled());
    // Still selected: pressing Accept again reads it whole.
    EXPECT_EQ(window.selectedEntries(), std::vector<std::string>{"LONG.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "LONG.ECG"), content);
    EXPECT_EQ(folderNames(downloadDir), std::vector<std::string>{"LONG.ECG"});
    EXPECT_EQ(window.messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CardFaultTest,
    ::testing::Values(
        CardFault{"StallInTheSecondBlock", [](sim::MemoryCardFaults& f) { f.stallInBlock = 2; },
                  "Прибор не отвечает"},
        CardFault{"StallInTheFirstBlock", [](sim::MemoryCardFaults& f) { f.stallInBlock = 1; },
                  "Прибор не отвечает"},
        CardFault{"ByteDropped", [](sim::MemoryCardFaults& f) { f.dropByteInBlock = true; },
                  "Прибор не отвечает"},
        CardFault{"ByteAdded", [](sim::MemoryCardFaults& f) { f.extraByteInBlock = true; },
                  "передан с ошибкой"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoryConnectionTest, StrayRepliesAfterAListingAreDroppedAndTheCardStaysWhole) {
    writeFile(cardDir / "A.ECG", "a");
    card->faults().strayWhenIdle = true;
    connection->setTimeouts({3s, 1s});
    start();
    select({});
    refresh();
    window.setSelected(0, true);
    ASSERT_TRUE(window.waitFor([&] { return connection->droppedBytes() == 2; }));
    EXPECT_TRUE(fs::exists(cardDir / "A.ECG"));
    EXPECT_TRUE(folderNames(downloadDir).empty());
    EXPECT_TRUE(window.messages().empty());
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "A.ECG"), "a");
}

TEST_F(MemoryConnectionTest, SilentInstrumentIsGivenUpInEnglishToo) {
    writeFile(cardDir / "A.ECG", "a");
    connection->setTimeouts({1s, 1s});
    window.russian = false;
    start();
    refresh();
    select({"A.ECG"});
    link->setHeld(true); // the reply never comes
    runRequest(RequestKind::Delete);
    EXPECT_EQ(window.messages(), std::vector<std::string>{"Ошибка: The device does not respond"});
    ASSERT_EQ(window.reports().size(), 1u);
    EXPECT_EQ(window.reports()[0].code, ErrorCode::NoAnswer);
    link->setHeld(false);
}

TEST_F(MemoryConnectionTest, LeftoverStrayByteIsDiscardedByTheNextRequest) {
    writeFile(cardDir / "A.ECG", "a");
    writeFile(cardDir / "B.ECG", "b");
    start();
    refresh();
    link->inject({0x41, 0x42}); // noise between runs
    select({"A.ECG"});
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Delete));
    ASSERT_TRUE(window.waitFor([&] {
        return window.refreshes() == 2 && window.entries() == std::vector<std::string>{"B.ECG"};
    }));
    EXPECT_FALSE(fs::exists(cardDir / "A.ECG"));
}

TEST_F(MemoryConnectionTest, StrayByteJustBeforeAReplyDoesNotHideIt) {
    writeFile(cardDir / "A.ECG", "a");
    writeFile(cardDir / "B.ECG", "b");
    start();
    refresh();
    select({"A.ECG", "B.ECG"});
    card->faults().strayBeforeReply = 0x41;
    link->setHeld(true);
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Delete));
    // Each Delete finished comes as stray then reply; let the worker see the stray alone first.
    // (Asleep with one byte still queued: the stray was read and handled on its own.)
    for (int reply = 0; reply < 2; ++reply) {
        ASSERT_TRUE(window.waitFor([&] { return link->queued() == 2; }));
        link->release(1);
        ASSERT_TRUE(window.waitFor([&] { return link->queued() == 1 && link->asleep(); }));
        link->release(1);
    }
    link->setHeld(false);
    ASSERT_TRUE(window.waitFor([&] { return window.refreshes() == 2 && window.listEnabled(); }));
    EXPECT_FALSE(fs::exists(cardDir / "A.ECG"));
    EXPECT_FALSE(fs::exists(cardDir / "B.ECG"));
}

TEST_F(MemoryConnectionTest, RepliesArrivingInPiecesOnAPacedWire) {
    link->paceBaud = 3000000;
    const std::string content = randomBytes(9000, 8);
    writeFile(cardDir / "PACED.ECG", content);
    for (int i = 0; i < 100; ++i)
        card->addFile("N" + std::to_string(i), "");
    start();
    // A stray byte before the listing joins it and is dropped with its filler.
    link->inject({0x41});
    refresh();
    EXPECT_EQ(window.entries().size(), 101u);
    select({"PACED.ECG"});
    runRequest(RequestKind::Read);
    EXPECT_EQ(slurp(downloadDir / "PACED.ECG"), content);
    EXPECT_TRUE(window.messages().empty());
}

} // namespace
