// The device file list window: the worker's changes on the window's thread, in order; the buttons
// during a run; Delete's confirmation.
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/tests/MemoryUiTestSupport.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "sim/DeviceFiles.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

using namespace velkard;
using namespace velkard::memory;
using namespace velkard::memory::ui;
using namespace velkard::memory::ui::test;

namespace {

QStringList shown(const TForm1& form) {
    QStringList texts;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        texts << form.ListBox1->item(i)->text();
    return texts;
}

int selectedRows(const TForm1& form) {
    int n = 0;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        n += form.ListBox1->item(i)->isSelected();
    return n;
}

} // namespace

TEST(DeviceFileList, WorkerChangesReachTheWidgetsInOrder) {
    TForm1 form;
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
        waitUntil([&] { return form.ListBox1->count() == 201 && !form.ListBox1->isEnabled(); }));
    const QStringList texts = shown(form);
    EXPECT_EQ(texts.front(), QStringLiteral("F0.DAT"));
    EXPECT_EQ(texts[199], QStringLiteral("F199.DAT"));
    EXPECT_EQ(texts.back(), QStringLiteral("DIR/"));
    EXPECT_EQ(form.ProgressBar1->maximum(), 5000);
    EXPECT_EQ(form.ProgressBar1->value(), 5000);
}

TEST(DeviceFileList, EmptyFileLeavesTheProgressBarStill) {
    TForm1 form;
    form.setProgressRange(0, 0); // the first block of a file of announced size 0
    form.setProgressPosition(0);
    form.setListEnabled(false); // changes arrive in order: this one comes last
    ASSERT_TRUE(waitUntil([&] { return !form.ListBox1->isEnabled(); }));
    // An empty range would turn the bar into a busy indicator.
    EXPECT_LT(form.ProgressBar1->minimum(), form.ProgressBar1->maximum());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.progressMaximum(), 0); // the worker still sees the announced size
}

TEST(DeviceFileList, RunControlsFollowTheList) {
    TForm1 form;
    form.setListEnabled(false);
    ASSERT_TRUE(waitUntil([&] { return !form.ListBox1->isEnabled(); }));
    EXPECT_FALSE(form.Button1->isEnabled()); // Refresh
    EXPECT_FALSE(form.Button2->isEnabled()); // Accept
    EXPECT_FALSE(form.Button5->isEnabled()); // Delete
    EXPECT_TRUE(form.Button3->isEnabled());  // Select all stays
    EXPECT_TRUE(form.Button4->isEnabled());  // Clear selection stays: it ends a run early
    // A connection that starts after a run was cut short begins unlocked.
    form.prepareConnection(true);
    ASSERT_TRUE(waitUntil([&] { return form.ListBox1->isEnabled(); }));
    EXPECT_TRUE(form.Button2->isEnabled());
    EXPECT_TRUE(form.listEnabled());
}

TEST(DeviceFileList, SelectionGoesBothWays) {
    TForm1 form;
    for (const char* name : {"A.DAT", "B/", "C.DAT"})
        form.appendEntry(name);
    ASSERT_TRUE(waitUntil([&] { return form.ListBox1->count() == 3; }));
    form.ListBox1->item(2)->setSelected(true); // the user's click
    EXPECT_TRUE(form.isSelected(2));
    EXPECT_FALSE(form.isSelected(0));
    form.Button3->click(); // Select all
    ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 3; }));
    EXPECT_EQ(form.selectedEntries().size(), 3u);
    form.clearSelected(0); // the worker finished A.DAT
    ASSERT_TRUE(waitUntil([&] { return !form.ListBox1->item(0)->isSelected(); }));
    EXPECT_TRUE(form.isSelected(2));
    form.Button4->click(); // Clear selection
    ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 0; }));
    EXPECT_TRUE(form.selectedEntries().empty());
}

TEST(DeviceFileList, CaptionsByLanguage) {
    TForm1 form;
    form.prepareConnection(false);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Memory EC"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("To update"));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("To accept"));
    EXPECT_EQ(form.Button5->text(), QStringLiteral("Delete"));
    EXPECT_EQ(form.Button3->text(), QStringLiteral("Allocate all"));
    EXPECT_EQ(form.Button4->text(), QStringLiteral("To remove allocation"));
    form.prepareConnection(true);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Память ЭК"));
    EXPECT_EQ(form.Button4->text(), QStringLiteral("Снять выделение"));
    EXPECT_EQ(form.objectName(), QStringLiteral("Form1"));
}

TEST(DeviceFileList, ButtonsAreWideEnoughForTheirCaptionsInBothLanguages) {
    for (const bool russian : {true, false}) {
        TForm1 form;
        form.prepareConnection(russian);
        form.show();
        QCoreApplication::processEvents();
        for (QPushButton* b :
             {form.Button1, form.Button2, form.Button3, form.Button4, form.Button5})
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
    }
}

class DeviceFileListConnection : public ::testing::Test {
protected:
    void SetUp() override {
        card = std::filesystem::path(dir.filePath(QStringLiteral("card")).toStdString());
        temp = std::filesystem::path(dir.filePath(QStringLiteral("temp")).toStdString());
        std::filesystem::create_directories(card);
        std::filesystem::create_directories(temp);
        velkard::ui::flags().russian = true;
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
        form.Button1->click();
        return waitUntil([&] { return form.ListBox1->count() == int(entries); });
    }

    QTemporaryDir dir;
    std::filesystem::path card;
    std::filesystem::path temp;
    TForm1 form;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScopedMessages scoped{&messages};
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
        for (int i = 0; i < form.ListBox1->count(); ++i)
            if (form.ListBox1->item(i)->text() != QStringLiteral("C.DAT"))
                form.ListBox1->item(i)->setSelected(true);
        form.Button2->click();
        ASSERT_TRUE(waitUntil([&] {
            return form.selectedEntries().empty() && form.ListBox1->isEnabled() &&
                   form.Button2->isEnabled();
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
        form.Button3->click();
        ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 2; }));
        form.Button2->click();
        ASSERT_TRUE(waitUntil(
            [&] { return form.selectedEntries().empty() && form.ListBox1->isEnabled(); }));
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
        form.Button3->click(); // Select all
        ASSERT_TRUE(waitUntil([&] { return selectedRows(form) == 2; }));
        messages.answers = {false};
        form.Button5->click();
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
        form.Button5->click();
        // After the last deletion the list is asked for again and comes back empty.
        ASSERT_TRUE(waitUntil([&] {
            return !std::filesystem::exists(card / "A.DAT") &&
                   !std::filesystem::exists(card / "B.DAT") && form.ListBox1->count() == 0 &&
                   form.ListBox1->isEnabled();
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
        form.Button1->click();
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
