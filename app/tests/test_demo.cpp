// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli make-demo: the folder it makes starts the program on the simulated instrument with a
// card file whose recordings open.
#include "AppTestSupport.h"

#include <QProcess>
#include <QTreeWidget>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

int runCli(const QStringList& args, QString* err = nullptr) {
    QProcess p;
    p.start(VELKARD_CLI_PATH, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitCode();
}

} // namespace

TEST_F(AppTest, DemoFolderOpensWithTheSimulatedInstrument) {
    const QString demo = QString::fromStdString((work() / "demo").string());
    QString err;
    ASSERT_EQ(runCli({"make-demo", demo}, &err), 0) << err.toStdString();
    const QStringList lines = settingsLines(demo.toStdString());
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[3], "SIM");
    EXPECT_EQ(lines[7], "0");

    // A second run leaves the folder alone.
    EXPECT_EQ(runCli({"make-demo", demo}, &err), 1);
    EXPECT_TRUE(err.contains("already"));

    MainWindowOptions o = options();
    o.workDir = demo.toStdString();
    MainWindow w(o);
    ASSERT_TRUE(w.startedOk());
    w.resize(1024, 768);
    w.show();

    int patients = 0, entries = 0;
    bool kinds[3] = {false, false, false}; // plain, A2, RT
    dialogs.script.push_back([&](QDialog& d) {
        auto& card = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
        patients = card.patientList->topLevelItemCount();
        for (int i = 0; i < patients; ++i) {
            card.patientList->setCurrentItem(card.patientList->topLevelItem(i));
            entries += card.archiveList->topLevelItemCount();
            cardfile::CardFile cf(demo.toStdString());
            for (const auto& e :
                 cf.listArchiveEntries(card.selection().patientId.toStdString()).value)
                kinds[e.isA2() ? 1 : e.isRhythm() ? 2 : 0] = true;
        }
        card.patientList->setCurrentItem(card.patientList->topLevelItem(0));
        card.archiveList->setCurrentItem(card.archiveList->topLevelItem(0));
        card.Open->click();
        return -1;
    });
    w.cardFileAction->trigger();
    EXPECT_EQ(patients, 3);
    EXPECT_GE(entries, 3);
    EXPECT_TRUE(kinds[0] && kinds[1] && kinds[2]);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_GT(w.recordingBuffer().bytes.size(), 0u);
    EXPECT_TRUE(w.Forward->isVisible());
}
