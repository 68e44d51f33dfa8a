// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for driving the main window headless: a working folder, the message and dialog seams,
// the settings file read back as UTF-8 lines.
#pragma once

#include "app/MainWindow.h"
#include "signal/Cp1251.h"
#include "signal/Settings.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>

namespace velkard::app::test {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The settings file's lines as UTF-8 (CR LF ends each line).
inline QStringList settingsLines(const std::filesystem::path& folder) {
    const std::string bytes = readFile(folder / signal::kSettingsFileName);
    QStringList lines = QString::fromStdString(signal::cp1251ToUtf8(bytes)).split("\r\n");
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

inline void writeSettingsLines(const std::filesystem::path& folder, const QStringList& lines) {
    std::string bytes;
    for (const QString& l : lines)
        bytes += signal::utf8ToCp1251(l.toStdString()) + "\r\n";
    writeFile(folder / signal::kSettingsFileName, bytes);
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::filesystem::path work() const { return dir.path().toStdString(); }

    MainWindowOptions options() {
        MainWindowOptions o;
        o.workDir = work();
        o.messages = &messages;
        o.dialogs = &dialogs;
        o.caps = display::DeviceCaps{1024, 320, 768, 240};
        o.printerExists = false;
        return o;
    }

    std::unique_ptr<MainWindow> makeWindow() {
        auto w = std::make_unique<MainWindow>(options());
        if (w->startedOk()) {
            w->resize(1024, 768);
            w->show();
        }
        return w;
    }

    QTemporaryDir dir;
    ui::RecordingMessages messages;
    ui::ScriptedDialogs dialogs;
};

} // namespace velkard::app::test

#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTreeWidget>

namespace velkard::app::test {

// Runs the event loop until pred holds or the timeout passes; returns pred().
template <class Pred> bool waitFor(Pred pred, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred() && !deadline.hasExpired())
        QTest::qWait(5);
    return pred();
}

// A control of the window by its objectName (the window keeps public pointers only to the ones
// driven most).
template <class T> T* child(QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Adds a patient to the card file of folder and returns its ID.
inline std::string addPatient(const std::filesystem::path& folder, const std::string& name) {
    cardfile::CardFile cf(folder);
    cardfile::PatientRecord r;
    r.name = name;
    r.policy = "1";
    r.id = cf.newPatientId();
    EXPECT_TRUE(cf.createPatientArchive(r.id));
    EXPECT_TRUE(cf.appendPatientRecord(r));
    return r.id;
}

// A card-file window script: select patient row, optionally an archive row, then press a button.
inline ui::ScriptedDialogs::Handler pickInCardFile(int patientRow, int entryRow,
                                                   const char* button) {
    return [=](QDialog& d) {
        auto& w = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
        if (patientRow >= 0)
            w.patientList->setCurrentItem(w.patientList->topLevelItem(patientRow));
        if (entryRow >= 0)
            w.archiveList->setCurrentItem(w.archiveList->topLevelItem(entryRow));
        w.findChild<QPushButton*>(button)->click();
        return -1;
    };
}

} // namespace velkard::app::test
