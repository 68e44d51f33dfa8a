// SPDX-License-Identifier: GPL-3.0-or-later
// The device file list window: the worker's changes on the window's thread, in order; the buttons
// during a run; Delete's confirmation.
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/tests/MemoryUiTestSupport.h"

#include "sim/DeviceFiles.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

using namespace velkard;
using namespace velkard::memory;
using namespace velkard::memory::ui;
using namespace velkard::memory::ui::test;

namespace {

QStringList shown(const DeviceFileList& form) {
    QStringList texts;
    for (int i = 0; i < form.fileList->count(); ++i)
        texts << form.fileList->item(i)->text();
    return texts;
}

int selectedRows(const DeviceFileList& form) {
    int n = 0;
    for (int i = 0; i < form.fileList->count(); ++i)
        n += form.fileList->item(i)->isSelected();
    return n;
}

} // namespace

TEST(DeviceFileList, WorkerChangesReachTheWidgetsInOrder) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    std::thread worker([&form] {
        form.appendEntry("OLD.DAT");
        form.clearEntries();
        for (int i = 0; i < 200; ++i)
            form.appendEntry("F" + std::to_string(i) + ".DAT");
        form.appendEntry("DIR/");
        form.setProgressRange(0, 5000);
        form.setProgressPosition(2988);
        form.setProgressPosition(6000); // whole blocks may pass the maximum
        form.setListEnabled(false);
    });
    // The model answers the worker at once, whatever the widgets show yet.
    worker.join();
    EXPECT_EQ(form.entryCount(), 201u);
    EXPECT_EQ(form.entryText(200), "DIR/");
    ASSERT_TRUE(
        waitUntil([&] { return form.fileList->count() == 201 && !form.fileList->isEnabled(); }));
    const QStringList texts = shown(form);
    EXPECT_EQ(texts.front(), QStringLiteral("F0.DAT"));
    EXPECT_EQ(texts[199], QStringLiteral("F199.DAT"));
    EXPECT_EQ(texts.back(), QStringLiteral("DIR/"));
    EXPECT_EQ(form.progressBar->maximum(), 5000);
    EXPECT_EQ(form.progressBar->value(), 5000);
}

// Messages that note the thread each one was shown on.
class ThreadNotingMessages : public velkard::ui::RecordingMessages {
public:
    std::vector<QThread*> threads;
    void show(const QString& text, const QString& caption, QWidget* owner) override {
        threads.push_back(QThread::currentThread());
        RecordingMessages::show(text, caption, owner);
    }
};

TEST(DeviceFileList, WorkerReportsAreShownOnTheWindowThreadInTheLanguageOfThen) {
    velkard::ui::ViewState state;
    state.setLanguage(velkard::ui::Language::Russian);
    ThreadNotingMessages messages;
    DeviceFileList form(state, messages);
    std::thread worker([&form] {
        form.report({.problem = MemoryProblem::TransferBroken, .name = "A.DAT"});
        form.report({.problem = MemoryProblem::NoAnswer});
    });
    worker.join();
    EXPECT_TRUE(messages.shown.empty()) << "nothing is shown from the worker's thread";
    // The interface language changes before the window gets to the reports: they follow it.
    state.setLanguage(velkard::ui::Language::English);
    ASSERT_TRUE(waitUntil([&] { return messages.shown.size() == 2; }));
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("The file «A.DAT» was transferred with an error. It was not saved"));
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("The device does not respond"));
    for (const auto& m : messages.shown)
        EXPECT_EQ(m.caption, QStringLiteral("Ошибка"));
    for (QThread* t : messages.threads)
        EXPECT_EQ(t, form.thread());
}

TEST(DeviceFileList, EmptyFileLeavesTheProgressBarStill) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    form.setProgressRange(0, 0); // the first block of a file of announced size 0
    form.setProgressPosition(0);
    form.setListEnabled(false); // changes arrive in order: this one comes last
    ASSERT_TRUE(waitUntil([&] { return !form.fileList->isEnabled(); }));
    // An empty range would turn the bar into a busy indicator.
    EXPECT_LT(form.progressBar->minimum(), form.progressBar->maximum());
    EXPECT_EQ(form.progressBar->value(), 0);
    EXPECT_EQ(form.progressMaximum(), 0); // the worker still sees the announced size
}

TEST(DeviceFileList, RunControlsFollowTheList) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    form.setListEnabled(false);
    ASSERT_TRUE(waitUntil([&] { return !form.fileList->isEnabled(); }));
    EXPECT_FALSE(form.refreshButton->isEnabled());   // Refresh
    EXPECT_FALSE(form.acceptButton->isEnabled());    // Accept
    EXPECT_FALSE(form.deleteButton->isEnabled());    // Delete
    EXPECT_FALSE(form.selectAllButton->isEnabled()); // Select all would widen the run
    EXPECT_TRUE(
        form.clearSelectionButton->isEnabled()); // Clear selection stays: it ends a run early
    // A connection that starts after a run was cut short begins unlocked.
    form.prepareConnection(true);
    ASSERT_TRUE(waitUntil([&] { return form.fileList->isEnabled(); }));
    EXPECT_TRUE(form.acceptButton->isEnabled());
    EXPECT_TRUE(form.listEnabled());
}

TEST(DeviceFileList, EnterInTheListRefreshesNothingAndEscCloses) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    form.appendEntry("A.DAT");
    form.appendEntry("B.DAT");
    form.show();
    ASSERT_TRUE(waitUntil([&] { return form.fileList->count() == 2; }));
    form.fileList->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(form.fileList, &enter);
    // Refresh would have cleared the list.
    EXPECT_EQ(form.entryCount(), 2u);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.fileList->count(), 2);
    EXPECT_TRUE(form.isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(form.fileList, &escape);
    EXPECT_FALSE(form.isVisible());
}

TEST(DeviceFileList, SelectionGoesBothWays) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    for (const char* name : {"A.DAT", "B/", "C.DAT"})
        form.appendEntry(name);
    ASSERT_TRUE(waitUntil([&] { return form.fileList->count() == 3; }));
    form.fileList->item(2)->setSelected(true); // the user's click
    EXPECT_TRUE(form.isSelected(2));
    EXPECT_FALSE(form.isSelected(0));
    form.selectAllButton->click(); // Select all
    ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 3; }));
    EXPECT_EQ(form.selectedEntries().size(), 3u);
    form.clearSelected(0); // the worker finished A.DAT
    ASSERT_TRUE(waitUntil([&] { return !form.fileList->item(0)->isSelected(); }));
    EXPECT_TRUE(form.isSelected(2));
    form.clearSelectionButton->click(); // Clear selection
    ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 0; }));
    EXPECT_TRUE(form.selectedEntries().empty());
}

TEST(DeviceFileList, CaptionsByLanguage) {
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form(state, messages);
    form.prepareConnection(false);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Instrument's memory"));
    EXPECT_EQ(form.refreshButton->text(), QStringLiteral("Refresh"));
    EXPECT_EQ(form.acceptButton->text(), QStringLiteral("Accept"));
    EXPECT_EQ(form.deleteButton->text(), QStringLiteral("Delete"));
    EXPECT_EQ(form.selectAllButton->text(), QStringLiteral("Select all"));
    EXPECT_EQ(form.clearSelectionButton->text(), QStringLiteral("Select none"));
    form.prepareConnection(true);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Память ЭК"));
    EXPECT_EQ(form.clearSelectionButton->text(), QStringLiteral("Снять выделение"));
    EXPECT_EQ(form.objectName(), QStringLiteral("DeviceFileList"));
}

TEST(DeviceFileList, ButtonsAreWideEnoughForTheirCaptionsInBothLanguages) {
    velkard::ui::ViewState state;
    for (const bool russian : {true, false}) {
        velkard::ui::RecordingMessages messages;
        DeviceFileList form(state, messages);
        form.prepareConnection(russian);
        form.show();
        QCoreApplication::processEvents();
        for (QPushButton* b : {form.refreshButton, form.acceptButton, form.selectAllButton,
                               form.clearSelectionButton, form.deleteButton})
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
}

class DeviceFileListConnection : public ::testing::Test {
protected:
    velkard::ui::ViewState state;
    void SetUp() override {
        card = std::filesystem::path(dir.filePath(QStringLiteral("card")).toStdString());
        temp = std::filesystem::path(dir.filePath(QStringLiteral("temp")).toStdString());
        std::filesystem::create_directories(card);
        std::filesystem::create_directories(temp);
        state.setLanguage(velkard::ui::Language::Russian);
    }

    // Runs a connection whose modal showing is `user`.
    StartResult run(device::Link& link, const std::function<void()>& user) {
        form.prepareConnection(true);
        MemoryConnection connection(link, form, temp);
        form.setConnection(&connection);
        const StartResult r = runMemoryConnection(connection, form, user);
        form.setConnection(nullptr);
        return r;
    }

    bool refreshed(std::size_t entries) {
        form.refreshButton->click();
        return waitUntil([&] { return form.fileList->count() == int(entries); });
    }

    QTemporaryDir dir;
    std::filesystem::path card;
    std::filesystem::path temp;
    velkard::ui::RecordingMessages messages;
    DeviceFileList form{state, messages};
};

TEST_F(DeviceFileListConnection, AcceptReadsTheSelectedFilesAndSkipsFolders) {
    const auto a = sim::makeDeviceEcg(3.0, 1, {});
    const auto b = sim::makeDeviceEcg(1.0, 2, {});
    writeBytes(card / "A.DAT", a);
    writeBytes(card / "B.DAT", b);
    writeBytes(card / "C.DAT", {1, 2, 3});
    std::filesystem::create_directories(card / "SUB");
    auto link = simInstrument(card);
    const StartResult r = run(*link, [&] {
        ASSERT_TRUE(refreshed(4));
        for (int i = 0; i < form.fileList->count(); ++i)
            if (form.fileList->item(i)->text() != QStringLiteral("C.DAT"))
                form.fileList->item(i)->setSelected(true);
        form.acceptButton->click();
        ASSERT_TRUE(waitUntil([&] {
            return form.selectedEntries().empty() && form.fileList->isEnabled() &&
                   form.acceptButton->isEnabled();
        }));
    });
    EXPECT_EQ(r, StartResult::Started);
    EXPECT_EQ(readBytes(temp / "A.DAT"), a);
    EXPECT_EQ(readBytes(temp / "B.DAT"), b);
    EXPECT_FALSE(std::filesystem::exists(temp / "C.DAT"));
    EXPECT_FALSE(std::filesystem::exists(temp / "SUB"));
    EXPECT_TRUE(shown(form).contains(QStringLiteral("SUB/")));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DeviceFileListConnection, NamesShowAsTheyLandInTheDownloadFolder) {
    // The card names its files in Windows-1251: "ЭКГ1.DAT", and "Рї.DAT" whose two bytes would
    // also read as UTF-8 ("п").
    const std::string ecg = "\xdd\xca\xc3"
                            "1.DAT";
    const std::string pair = "\xd0\xbf.DAT";
    writeBytes(card / ecg, {1, 2, 3});
    writeBytes(card / pair, {4, 5});
    auto link = simInstrument(card);
    run(*link, [&] {
        ASSERT_TRUE(refreshed(2));
        EXPECT_TRUE(shown(form).contains(QStringLiteral("ЭКГ1.DAT")));
        EXPECT_TRUE(shown(form).contains(QStringLiteral("Рї.DAT")));
        form.selectAllButton->click();
        ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 2; }));
        form.acceptButton->click();
        ASSERT_TRUE(waitUntil(
            [&] { return form.selectedEntries().empty() && form.fileList->isEnabled(); }));
    });
    QStringList landed;
    for (const auto& e : std::filesystem::directory_iterator(temp))
        landed << QString::fromStdString(e.path().filename().string());
    landed.sort();
    QStringList listed = shown(form);
    listed.sort();
    EXPECT_EQ(landed, listed);
    EXPECT_EQ(readBytes(temp / "ЭКГ1.DAT"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DeviceFileListConnection, DeleteAsksFirstAndRefreshesAfterwards) {
    writeBytes(card / "A.DAT", {1, 2});
    writeBytes(card / "B.DAT", {3, 4});
    auto link = simInstrument(card);
    run(*link, [&] {
        ASSERT_TRUE(refreshed(2));
        form.selectAllButton->click(); // Select all
        ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 2; }));
        messages.answers = {false};
        form.deleteButton->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].question);
        EXPECT_TRUE(messages.shown[0].caption.isEmpty());
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("(2)")));
        EXPECT_TRUE(form.listEnabled()); // no run started
        {
            const auto sent = link->hostBytes();
            EXPECT_EQ(std::count(sent.begin(), sent.end(), std::uint8_t(0x66)), 0);
        }
        messages.answers = {true};
        form.deleteButton->click();
        // After the last deletion the list is asked for again and comes back empty.
        ASSERT_TRUE(waitUntil([&] {
            return !std::filesystem::exists(card / "A.DAT") &&
                   !std::filesystem::exists(card / "B.DAT") && form.fileList->count() == 0 &&
                   form.fileList->isEnabled();
        }));
    });
    EXPECT_EQ(messages.shown.size(), 2u);
    const auto sent = link->hostBytes();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), std::uint8_t(0x66)), 2);
}

TEST_F(DeviceFileListConnection, MissingCardIsReportedAndTheListStaysUsable) {
    sim::Faults faults;
    faults.noCard = true;
    auto link = simInstrument(card, faults);
    run(*link, [&] {
        form.refreshButton->click();
        ASSERT_TRUE(waitUntil([&] { return !messages.shown.empty(); }));
    });
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("SD карта не найдена"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Ошибка"));
    EXPECT_TRUE(form.listEnabled());
}

TEST_F(DeviceFileListConnection, NoInstrumentShowsNoWindow) {
    sim::Faults faults;
    faults.absent = true;
    auto link = simInstrument(card, faults);
    bool shownModal = false;
    EXPECT_EQ(run(*link, [&] { shownModal = true; }), StartResult::NotFound);
    EXPECT_FALSE(shownModal);
}
