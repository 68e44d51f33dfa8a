// SPDX-License-Identifier: GPL-3.0-or-later
// The memory connection end to end: the tty backend on a pseudo-terminal served by the simulated
// instrument with its memory card.
#include "device/Link.h"
#include "links/MakeLink.h"
#include "memory/MemoryProtocol.h"
#include "memory/tests/TestFiles.h"
#include "memory/tests/TestWindow.h"
#include "sim/testing/ServedMemoryCard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

using namespace velkard;
using namespace velkard::memory;
using velkard::memory::test::TestWindow;
using namespace velkard::memory::test;
namespace fs = std::filesystem;

namespace {

// One simulated instrument with a memory card on a pseudo-terminal, for the life of the object.
// The served card, checked: a pty that cannot be opened fails the test that asked for it.
class ServedCard : public sim::testing::ServedMemoryCard {
public:
    ServedCard(const fs::path& dir, const std::function<void(sim::MemoryCard&)>& setUp)
        : sim::testing::ServedMemoryCard(dir, setUp) {
        EXPECT_TRUE(ok()) << error();
    }
};

class PtyMemoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "velkard-memory-pty-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        cardDir = root / "card";
        downloadDir = root / "temp";
        fs::create_directories(cardDir);
        fs::create_directories(downloadDir);
    }
    void TearDown() override {
        connection.reset();
        link.reset();
        served.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void connect(const std::function<void(sim::MemoryCard&)>& setUp = [](sim::MemoryCard&) {}) {
        served = std::make_unique<ServedCard>(cardDir, setUp);
        link = links::makeLink(served->path());
        connection = std::make_unique<MemoryConnection>(*link, window, downloadDir);
        window.connection = connection.get();
        ASSERT_EQ(connection->start(), StartResult::Started);
    }

    // Refresh and wait until the expected number of entries has arrived.
    void refresh(std::size_t expected) {
        window.refresh();
        ASSERT_TRUE(window.waitFor([&] { return window.entryCount() == expected; }))
            << "got " << window.entryCount();
    }

    fs::path root, cardDir, downloadDir;
    TestWindow window;
    std::unique_ptr<ServedCard> served;
    std::unique_ptr<device::Link> link;
    std::unique_ptr<MemoryConnection> connection;
};

TEST_F(PtyMemoryTest, SelectedFilesOfEverySizeArriveByteExact) {
    const std::vector<std::pair<std::string, std::size_t>> files{
        {"E0.ECG", 0}, {"E2988.ECG", 2988}, {"E2989.ECG", 2989}, {"E5988.ECG", 5988}};
    for (const auto& [name, size] : files)
        std::ofstream(cardDir / name, std::ios::binary) << randomBytes(size, unsigned(size));
    fs::create_directory(cardDir / "FOLDER");
    connect();
    refresh(5);
    window.selectAll();
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.listEnabled(); }));
    for (const auto& [name, size] : files) {
        ASSERT_TRUE(fs::exists(downloadDir / name)) << name;
        EXPECT_EQ(fs::file_size(downloadDir / name), size);
        EXPECT_EQ(slurp(downloadDir / name), slurp(cardDir / name)) << name;
    }
    EXPECT_TRUE(window.selectedEntries().empty());
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(PtyMemoryTest, DeleteRunRefreshesTheList) {
    for (const char* n : {"A.ECG", "B.ECG", "C.ECG"})
        std::ofstream(cardDir / n) << n;
    connect();
    refresh(3);
    window.setSelected(0, true);
    window.setSelected(2, true);
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Delete));
    ASSERT_TRUE(window.waitFor([&] {
        return window.refreshes() == 2 && window.listEnabled() &&
               window.entries() == std::vector<std::string>{"B.ECG"};
    }));
    EXPECT_FALSE(fs::exists(cardDir / "A.ECG"));
    EXPECT_TRUE(fs::exists(cardDir / "B.ECG"));
    EXPECT_FALSE(fs::exists(cardDir / "C.ECG"));
}

TEST_F(PtyMemoryTest, CardMissing) {
    connect([](sim::MemoryCard& c) { c.faults().cardMissing = true; });
    window.refresh();
    ASSERT_TRUE(window.waitFor([&] { return !window.messages().empty(); }));
    EXPECT_EQ(window.messages()[0], "Ошибка: SD карта не найдена");
    EXPECT_TRUE(window.entries().empty());
}

TEST_F(PtyMemoryTest, GarbageFillerAndHostileNames) {
    std::ofstream(cardDir / "GOOD.ECG") << "good";
    connect([](sim::MemoryCard& c) {
        c.faults().garbageFiller = true;
        c.addFile("../../escape.ECG", "evil");
        c.addFile("..", "evil");
        c.addFile(std::string("a\0b", 3), "evil");
    });
    refresh(4);
    window.selectAll();
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.listEnabled(); }));
    std::vector<std::string> saved;
    for (const auto& e : fs::directory_iterator(root))
        saved.push_back(e.path().filename().string());
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{"card", "temp"}));
    EXPECT_EQ(slurp(downloadDir / "GOOD.ECG"), "good");
    EXPECT_EQ(std::distance(fs::directory_iterator(downloadDir), fs::directory_iterator()), 1);
    EXPECT_EQ(window.messages().size(), 3u);
}

TEST_F(PtyMemoryTest, DownloadCutShortLeavesNoFile) {
    const std::string content = randomBytes(20000, 11);
    std::ofstream(cardDir / "LONG.ECG", std::ios::binary) << content;
    connect([](sim::MemoryCard& c) { c.faults().stopAfterDataBlocks = 2; });
    refresh(1);
    window.setSelected(0, true);
    ASSERT_TRUE(connection->requestNextSelected(RequestKind::Read));
    ASSERT_TRUE(window.waitFor([&] { return window.progressPosition() == 2988 + 3000; }));
    connection->end();
    // Neither under the file's name nor as a partial download: nothing to file by mistake.
    EXPECT_TRUE(std::filesystem::is_empty(downloadDir));
}

} // namespace
