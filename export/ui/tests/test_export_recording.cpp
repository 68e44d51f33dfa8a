// SPDX-License-Identifier: GPL-3.0-or-later
// The card-file window's Export: the button beside Open in both languages, the save dialog with
// the four formats, the default file name, the format from the extension or the filter, and the
// messages for every outcome. The dialog is answered through the dialog seam.
#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "export/ui/ExportRecording.h"
#include "signal/FileIo.h"
#include "signal/SampleRecord.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"
#include "ui/testing/WindowThreadWatch.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <gtest/gtest.h>

using namespace velkard;
using cardfile::ui::CardFileWindow;

namespace {

namespace fs = std::filesystem;

class ExportButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cardfile::PatientRecord r;
        r.name = "Петрова Мария Сергеевна";
        r.policy = "1";
        r.birthDate = "03.09.1975";
        r.sex = "Жен";
        r.id = cf.newPatientId();
        ASSERT_TRUE(cf.createPatientArchive(r.id));
        ASSERT_TRUE(cf.appendPatientRecord(r));
        id = r.id;
        // Two seconds of a small sawtooth in every channel.
        std::vector<std::uint8_t> bytes(1600 * signal::kRecordBytes);
        for (std::size_t i = 0; i < bytes.size() / 2; ++i)
            signal::writeLe16(bytes.data() + 2 * i, static_cast<std::int16_t>(i % 97));
        ASSERT_TRUE(signal::writeFileAtomically(cf.recordingPath(id, 1), bytes));
        ASSERT_TRUE(cf.appendArchiveEntry(id, 1, "02.06.2024", "18:47:09",
                                          cardfile::EntryDuration::ofSeconds(2), "  "));
        ASSERT_TRUE(cf.appendArchiveEntry(id, 2, "02.06.2024", "19:00:00",
                                          cardfile::EntryDuration::rhythm(true), "RT"));
    }
    fs::path work() const { return dir.path().toStdString(); }
    void selectEntry(CardFileWindow& w, int entry) {
        w.patientList->setCurrentItem(w.patientList->topLevelItem(0));
        w.archiveList->setCurrentItem(w.archiveList->topLevelItem(entry));
    }
    // Answers the save dialog: records what it offered, then picks the filter and the file name
    // (an empty name cancels).
    ui::ScriptedDialogs::Handler answer(int filter, const QString& name) {
        return [this, filter, name](QDialog& d) {
            EXPECT_EQ(d.objectName(), "ExportDialog");
            auto& dialog = dynamic_cast<QFileDialog&>(d);
            offeredFilters = dialog.nameFilters();
            offeredFile = dialog.selectedFiles().value(0);
            saveMode = dialog.acceptMode() == QFileDialog::AcceptSave;
            if (name.isEmpty())
                return int(QDialog::Rejected);
            // As the user does it: the filter, whose signal sets the default suffix, then the name.
            dialog.selectNameFilter(offeredFilters.value(filter));
            emit dialog.filterSelected(offeredFilters.value(filter));
            dialog.selectFile(name);
            return int(QDialog::Accepted);
        };
    }
    static std::string head(const fs::path& p, std::size_t n, std::size_t from = 0) {
        std::ifstream in(p, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(from));
        std::string s(n, '\0');
        in.read(s.data(), static_cast<std::streamsize>(n));
        return s;
    }

    QTemporaryDir dir;
    cardfile::CardFile cf{fs::path(dir.path().toStdString())};
    std::string id;
    ui::ViewState state;
    ui::RecordingMessages messages;
    ui::ScriptedDialogs dialogs;
    ui::Seams seams{messages, dialogs};
    QStringList offeredFilters;
    QString offeredFile;
    bool saveMode = false;
};

TEST_F(ExportButtonTest, ButtonBesideOpenInBothLanguages) {
    CardFileWindow w(state, seams, work());
    exporting::ui::offerExport(w, seams, state);
    EXPECT_EQ(w.Export->text(), QString::fromUtf8("Экспорт"));
    // The archive's button row: Open, Export, Delete, Write.
    QLayout* buttons = nullptr;
    for (auto* l : w.findChildren<QHBoxLayout*>())
        if (l->indexOf(w.Open) >= 0)
            buttons = l;
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->indexOf(w.Export), buttons->indexOf(w.Open) + 1);
    w.applyLanguage(false);
    EXPECT_EQ(w.Export->text(), "Export");
    EXPECT_EQ(exporting::ui::exportNameFilters(false).size(), 4);
}

TEST_F(ExportButtonTest, ExportsTheSelectedRecordingByFilterOrExtension) {
    CardFileWindow w(state, seams, work());
    exporting::ui::offerExport(w, seams, state);
    selectEntry(w, 0);
    // The DICOM filter and a name without extension: .dcm is added.
    dialogs.script.push_back(answer(1, dir.filePath("first")));
    w.Export->click();
    ASSERT_EQ(dialogs.shownNames.size(), 1u);
    EXPECT_TRUE(saveMode);
    ASSERT_EQ(offeredFilters.size(), 4);
    const char* extensions[] = {"(*.edf)", "(*.dcm)", "(*.scp)", "(*.xml)"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(offeredFilters[i].endsWith(extensions[i])) << offeredFilters[i].toStdString();
    EXPECT_EQ(offeredFile,
              dir.filePath(QString::fromUtf8("Петрова_Мария_Сергеевна_2024-06-02_18-47-09.edf")));
    EXPECT_EQ(head(work() / "first.dcm", 4, 128), "DICM");
    EXPECT_TRUE(messages.lastText().contains("first.dcm")) << messages.lastText().toStdString();
    EXPECT_TRUE(messages.lastText().startsWith(QString::fromUtf8("ЭКГ экспортирована")));

    // An extension of the four decides over the filter; English texts.
    w.applyLanguage(false);
    state.setLanguage(velkard::ui::Language::English);
    dialogs.script.push_back(answer(0, dir.filePath("second.xml")));
    w.Export->click();
    EXPECT_TRUE(offeredFilters[0].startsWith("EDF+ for"));
    EXPECT_EQ(head(work() / "second.xml", 5), "<?xml");
    EXPECT_FALSE(fs::exists(work() / "second.xml.edf"));
    EXPECT_TRUE(messages.lastText().startsWith("The ECG was exported"));
    dialogs.script.push_back(answer(2, dir.filePath("third.scp")));
    w.Export->click();
    EXPECT_EQ(head(work() / "third.scp", 6, 6 + 16 - 6), "SCPECG");

    // Cancel: nothing written, nothing said.
    const auto shown = messages.shown.size();
    dialogs.script.push_back(answer(0, QString()));
    w.Export->click();
    EXPECT_EQ(messages.shown.size(), shown);
    EXPECT_FALSE(fs::exists(work() / "Петрова_Мария_Сергеевна_2024-06-02_18-47-09.edf"));
}

TEST_F(ExportButtonTest, FailuresAreToldInTheInterfaceLanguage) {
    CardFileWindow w(state, seams, work());
    exporting::ui::offerExport(w, seams, state);
    // Nothing selected.
    w.Export->click();
    EXPECT_EQ(messages.lastText(), QString::fromUtf8("Выберите пациента"));
    w.patientList->setCurrentItem(w.patientList->topLevelItem(0));
    w.Export->click();
    EXPECT_EQ(messages.lastText(), QString::fromUtf8("Выберите в архиве № ЭКГ"));
    EXPECT_TRUE(dialogs.shownNames.empty());

    // A rhythmogram holds no leads: said before any dialog.
    selectEntry(w, 1);
    w.Export->click();
    EXPECT_TRUE(messages.lastText().startsWith(QString::fromUtf8("Ритмограмма")));
    EXPECT_TRUE(dialogs.shownNames.empty());

    // A folder that cannot be written: said, nothing left.
    selectEntry(w, 0);
    dialogs.script.push_back(answer(0, dir.filePath("missing/x.edf")));
    w.Export->click();
    EXPECT_TRUE(messages.lastText().startsWith(QString::fromUtf8("Не удалось записать файл")))
        << messages.lastText().toStdString();
    EXPECT_FALSE(fs::exists(work() / "missing"));

    // The recording gone from the disk.
    fs::remove(cf.recordingPath(id, 1));
    state.setLanguage(velkard::ui::Language::English);
    dialogs.script.push_back(answer(0, dir.filePath("y.edf")));
    w.Export->click();
    EXPECT_TRUE(messages.lastText().startsWith("Cannot open the ECG file"))
        << messages.lastText().toStdString();
    EXPECT_FALSE(fs::exists(work() / "y.edf"));
}

// An hour-long recording is exported off the window thread: the progress dialog counts the
// seconds, the window thread never goes long without handling its events, and Cancel stops the
// export long before its end, leaving no file and saying nothing. Every format that holds an hour.
TEST_F(ExportButtonTest, ExportingAnHourRunsOffTheWindowThreadAndCancelLeavesNoFile) {
    std::vector<std::uint8_t> bytes(std::size_t(3600) * 800 * signal::kRecordBytes);
    for (std::size_t i = 0; i < bytes.size() / 2; ++i)
        signal::writeLe16(bytes.data() + 2 * i, static_cast<std::int16_t>(i % 97));
    ASSERT_TRUE(signal::writeFileAtomically(cf.recordingPath(id, 3), bytes));
    ASSERT_TRUE(cf.appendArchiveEntry(id, 3, "03.06.2024", "08:00:00",
                                      cardfile::EntryDuration::ofSeconds(3600), "  "));
    CardFileWindow w(state, seams, work());
    exporting::ui::offerExport(w, seams, state);
    const auto before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const auto& [filter, name] :
         {std::pair{0, "hour.edf"}, std::pair{1, "hour.dcm"}, std::pair{3, "hour.xml"}}) {
        SCOPED_TRACE(name);
        selectEntry(w, 2);
        dialogs.script.push_back(answer(filter, dir.filePath(name)));
        const auto shown = messages.shown.size();
        ui::WindowThreadWatch watch;
        watch.cancelAt(1); // as early as the dialog shows progress: EDF+ of an hour is quick
        w.Export->click();
        ASSERT_TRUE(watch.cancelPressed());
        const qint64 stopped = watch.sinceCancelMs();
        RecordProperty(std::string(name) + "CancelStoppedMs", int(stopped));
        EXPECT_LT(stopped, 2000);
        EXPECT_LE(watch.longestGapMs(), velkard::ui::kResponsiveGapMs);
        EXPECT_GE(watch.seenValue(), 1);
        EXPECT_EQ(watch.seenMaximum(), 3600);
        EXPECT_TRUE(watch.seenLabel().startsWith(QString::fromUtf8("Экспорт: ")))
            << watch.seenLabel().toStdString();
        EXPECT_TRUE(watch.seenLabel().endsWith(QString::fromUtf8(" из 3600 с")));
        EXPECT_EQ(messages.shown.size(), shown) << messages.lastText().toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System),
                  before);
    }
    // SCP-ECG cannot hold an hour: refused before the samples are read, nothing written.
    selectEntry(w, 2);
    dialogs.script.push_back(answer(2, dir.filePath("hour.scp")));
    w.Export->click();
    EXPECT_TRUE(messages.lastText().startsWith(QString::fromUtf8("Формат SCP-ECG вмещает")))
        << messages.lastText().toStdString();
    EXPECT_FALSE(fs::exists(work() / "hour.scp"));
}

} // namespace
