// SPDX-License-Identifier: GPL-3.0-or-later
// The memory window over the simulated instrument and a card file in a temporary folder: download,
// file every kind into a patient's card, the archive entries, and what stays where on failure.
#include "links/MakeLink.h"
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/MemoryWindow.h"
#include "memory/ui/tests/MemoryUiTestSupport.h"

#include "cardfile/CardFile.h"
#include "cardfile/ui/PatientDialogs.h"
#include "device/Link.h"
#include "import/Decompress.h"
#include "memory/MemoryProtocol.h"
#include "sim/DeviceFiles.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <gtest/gtest.h>

using namespace velkard;
using namespace velkard::memory::ui;
using namespace velkard::memory::ui::test;
namespace fs = std::filesystem;

namespace {

class MemoryWindowTest : public ::testing::Test {
protected:
    velkard::ui::ViewState state;
    void SetUp() override {
        state.setLanguage(velkard::ui::Language::Russian);
        work = fs::path(dir.filePath(QStringLiteral("work")).toStdString());
        card = fs::path(dir.filePath(QStringLiteral("card")).toStdString());
        reader = fs::path(dir.filePath(QStringLiteral("reader")).toStdString());
        for (const auto& p : {work / "temp", card, reader})
            fs::create_directories(p);
        plain = sim::makeDeviceEcg(10.0, 1, {9, 3, 5, 7, 5, 9});
        a2 = sim::makeA2(30.0, 2, {12, 11, 24, 13, 45, 0});
        rhythm = sim::makeRhythmogram(100, 3, {10, 1, 2, 3, 4, 5});
        ecxSource = sim::makeDeviceEcg(15.0, 4, {24, 6, 1, 12, 0, 0}, true);
        writeBytes(card / "ECG00001.DAT", plain);
        writeBytes(card / "A2000001.DAT", a2);
        writeBytes(card / "VSR00001.DAT", rhythm);
        writeBytes(card / "ECG00003.ECX", import::compressToEcx(ecxSource));
        cardfile::CardFile cf(work);
        for (const char* name : {"Иванов Иван", "Петрова Анна"}) {
            cardfile::NewPatientInput in;
            in.name = name;
            in.policy = "12345";
            in.sex = "Муж";
            in.address = std::string("ул. ") + name;
            auto created = cardfile::createNewPatient(cf, in, true);
            ASSERT_TRUE(created) << created.message;
            ids.push_back(created.value.id);
        }
    }

    MemoryWindowSetup setup() {
        MemoryWindowSetup s;
        s.workDir = work;
        s.fileList = &form;
        s.makeLink = [this] { return simInstrument(card); };
        s.chooseFiles = [this](QWidget*) { return chosen; };
        return s;
    }

    // "Скачать архив с ЭК": Refresh, select `names`, Accept, wait for the run, close.
    void download(MemoryWindow& w, const QStringList& names) {
        dialogs.script.push_back([this, names](QDialog& d) {
            EXPECT_EQ(&d, static_cast<QDialog*>(&form));
            form.refreshButton->click();
            EXPECT_TRUE(waitUntil([&] { return form.fileList->count() == 4; }));
            for (int i = 0; i < form.fileList->count(); ++i)
                form.fileList->item(i)->setSelected(names.contains(form.fileList->item(i)->text()));
            form.acceptButton->click();
            EXPECT_TRUE(waitUntil([&] {
                return form.selectedEntries().empty() && form.listEnabled() &&
                       form.fileList->isEnabled();
            }));
            return QDialog::Accepted;
        });
        w.downloadButton->click();
    }

    // The row of a file, by the name the row keeps (its text adds what the header tells).
    static int row(QListWidget* list, const QString& name) {
        for (int i = 0; i < list->count(); ++i) {
            const QVariant kept = list->item(i)->data(Qt::UserRole);
            if ((kept.isValid() ? kept.toString() : list->item(i)->text()) == name)
                return i;
        }
        return -1;
    }

    // The confirmations shown so far; other messages fail the test.
    int confirmations() {
        int n = 0;
        for (const auto& m : messages.shown) {
            EXPECT_TRUE(m.caption == QStringLiteral("Информация") ||
                        m.caption == QStringLiteral("Information"))
                << m.text.toStdString();
            ++n;
        }
        return n;
    }

    void selectPatient(MemoryWindow& w, int index) {
        w.patientList->setCurrentItem(w.patientList->topLevelItem(index));
        w.patientList->topLevelItem(index)->setSelected(true);
    }

    void store(MemoryWindow& w, QListWidget* list, const QString& name) {
        const int r = row(list, name);
        ASSERT_GE(r, 0) << name.toStdString();
        list->setCurrentRow(r);
        w.storeButton->click();
    }

    std::vector<cardfile::ArchiveEntry> entries(int patient) {
        auto list = cardfile::CardFile(work).listArchiveEntries(ids[std::size_t(patient)]);
        EXPECT_TRUE(list);
        return list.value;
    }

    fs::path recording(int patient, int number) {
        return cardfile::CardFile(work).recordingPath(ids[std::size_t(patient)], number);
    }

    QTemporaryDir dir;
    fs::path work, card, reader;
    std::vector<std::uint8_t> plain, a2, rhythm, ecxSource;
    std::vector<std::string> ids;
    QStringList chosen;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
    DeviceFileList form{state, messages};
};

std::vector<std::uint8_t> body(const std::vector<std::uint8_t>& deviceFile) {
    return {deviceFile.begin() + 512, deviceFile.end()};
}

} // namespace

TEST_F(MemoryWindowTest, DownloadThenFileEveryKind) {
    MemoryWindow w(state, seams, setup());
    ASSERT_EQ(w.patientList->topLevelItemCount(), 2);
    download(w, {QStringLiteral("ECG00001.DAT"), QStringLiteral("A2000001.DAT"),
                 QStringLiteral("VSR00001.DAT"), QStringLiteral("ECG00003.ECX")});
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("DeviceFileList")});
    ASSERT_EQ(w.downloadedList->count(), 4);
    EXPECT_TRUE(w.downloadedList->item(0)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(w.downloadedList->item(0)->data(Qt::CheckStateRole).isValid());
    EXPECT_EQ(readBytes(work / "temp" / "A2000001.DAT"), a2);

    // Patient 0 already holds two recordings: the next one is number 3.
    cardfile::CardFile cf(work);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(cf.appendArchiveEntry(ids[0], i + 1, "01.01.2020", "10:00:00",
                                          cardfile::EntryDuration::ofSeconds(5), "  "));
    selectPatient(w, 0);
    EXPECT_EQ(w.selection().patientId.toStdString(), ids[0]);
    store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
    store(w, w.downloadedList, QStringLiteral("A2000001.DAT"));
    store(w, w.downloadedList, QStringLiteral("VSR00001.DAT"));
    state.setLanguage(velkard::ui::Language::English);
    store(w, w.downloadedList, QStringLiteral("ECG00003.ECX"));
    // A short confirmation after each, in the language of the moment.
    ASSERT_EQ(confirmations(), 4);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Файл помещён в карту пациента"));
    EXPECT_EQ(messages.shown[3].text, QStringLiteral("The file was filed into the patient's card"));

    const auto e = entries(0);
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[2], (cardfile::ArchiveEntry{"  3", "05.03.2009", "07:05:09", "  10", "  "}));
    EXPECT_EQ(e[3], (cardfile::ArchiveEntry{"  4", "24.11.2012", "13:45:00", "  40", "A2"}));
    EXPECT_EQ(e[4].duration, "РИТМ");
    EXPECT_EQ(e[4].kind, "RT");
    EXPECT_EQ(e[4].date, "02.01.2010");
    EXPECT_EQ(e[4].time, "03:04:05");
    EXPECT_EQ(e[5], (cardfile::ArchiveEntry{"  6", "01.06.2024", "12:00:00", "  15", "  "}));

    EXPECT_EQ(readBytes(recording(0, 3)), body(plain));
    EXPECT_EQ(fs::file_size(recording(0, 4)), 128640u + (a2.size() - 512 - 128640) * 8);
    EXPECT_EQ(readBytes(recording(0, 5)), body(rhythm));
    EXPECT_EQ(readBytes(recording(0, 6)), body(ecxSource));

    // Every filed download is gone from temp and from the list, with no leftovers.
    EXPECT_EQ(w.downloadedList->count(), 0);
    EXPECT_TRUE(fs::is_empty(work / "temp"));
    // The other patient was not touched.
    EXPECT_TRUE(entries(1).empty());
}

TEST_F(MemoryWindowTest, MemoryCardFilesStayOnTheCard) {
    writeBytes(reader / "a2lower.DAT", plain);
    writeBytes(reader / "A2CARD.DAT", a2);
    chosen = {QString::fromStdString((reader / "a2lower.DAT").string()),
              QString::fromStdString((reader / "A2CARD.DAT").string())};
    MemoryWindow w(state, seams, setup());
    w.sourceTabs->setCurrentIndex(1);
    EXPECT_EQ(w.sourceTab(), 0);
    EXPECT_FALSE(w.cardFileList->isHidden());
    EXPECT_TRUE(w.downloadedList->isHidden());
    EXPECT_FALSE(w.addCardFilesButton->isHidden());
    EXPECT_TRUE(w.downloadButton->isHidden());
    w.addCardFilesButton->click();
    w.addCardFilesButton->click(); // rows already listed stay; the new choice is appended
    ASSERT_EQ(w.cardFileList->count(), 4);
    // Check lists: every row has its box, unchecked; the current row is the choice.
    for (int i = 0; i < w.cardFileList->count(); ++i) {
        EXPECT_TRUE(w.cardFileList->item(i)->flags() & Qt::ItemIsUserCheckable);
        EXPECT_EQ(w.cardFileList->item(i)->checkState(), Qt::Unchecked);
        EXPECT_TRUE(w.cardFileList->item(i)->data(Qt::CheckStateRole).isValid());
    }
    w.cardFileList->item(1)->setCheckState(Qt::Checked);
    selectPatient(w, 1);
    store(w, w.cardFileList, chosen[0]);
    store(w, w.cardFileList, chosen[1]);
    ASSERT_EQ(confirmations(), 2);
    const auto e = entries(1);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].kind, "  "); // "a2" in lower case is a plain file
    EXPECT_EQ(e[0].number, "  1");
    EXPECT_EQ(e[1].kind, "A2");
    EXPECT_EQ(w.cardFileList->count(), 2);
    EXPECT_EQ(readBytes(reader / "a2lower.DAT"), plain);
    EXPECT_EQ(readBytes(reader / "A2CARD.DAT"), a2);
}

TEST_F(MemoryWindowTest, StoringNeedsAPatientAndAFile) {
    MemoryWindow w(state, seams, setup());
    w.downloadedList->addItem(QStringLiteral("ECG00001.DAT"));
    w.storeButton->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Выберите пациента в картотеке"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Внимание"));
    selectPatient(w, 0);
    w.downloadedList->setCurrentRow(-1);
    state.setLanguage(velkard::ui::Language::English);
    w.storeButton->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("Choose an ECG file to file"));
    EXPECT_EQ(messages.shown[1].caption, QStringLiteral("Attention"));
    EXPECT_TRUE(entries(0).empty());
}

TEST_F(MemoryWindowTest, RowWithoutAReadablePatientAsksForAPatient) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    MemoryWindow w(state, seams, setup()); // lists the file waiting in temp
    selectPatient(w, 0);
    // As when the selected row's record could not be read: no patient ID to file under.
    w.selection().patientId.clear();
    state.setLanguage(velkard::ui::Language::English);
    store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Choose the patient in the card file"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Attention"));
    EXPECT_EQ(w.downloadedList->count(), 1);
    EXPECT_EQ(readBytes(work / "temp" / "ECG00001.DAT"), plain);
    EXPECT_TRUE(entries(0).empty());
}

TEST_F(MemoryWindowTest, FailedStoreKeepsTheDownloadAndFilesNothing) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    MemoryWindow w(state, seams, setup()); // lists the file waiting in temp
    w.downloadedList->addItem(QStringLiteral("GONE.DAT"));
    selectPatient(w, 0);
    // The recording file cannot be created: its name is taken by a folder.
    fs::create_directories(recording(0, 1));
    store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Ошибка создания файла для записи ЭКГ"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Ошибка"));
    EXPECT_EQ(readBytes(work / "temp" / "ECG00001.DAT"), plain);
    EXPECT_GE(row(w.downloadedList, QStringLiteral("ECG00001.DAT")), 0);
    EXPECT_TRUE(entries(0).empty());
    // A listed file that has disappeared cannot be opened.
    store(w, w.downloadedList, QStringLiteral("GONE.DAT"));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("Ошибка открытия файла с ЭКГ"));
    EXPECT_EQ(w.downloadedList->count(), 2);
    EXPECT_TRUE(entries(0).empty());
}

// A full archive is refused with a message that says why, captioned in the interface language.
TEST_F(MemoryWindowTest, FullArchiveIsRefusedUnderACaptionOfTheInterfaceLanguage) {
    std::string archive;
    for (int n = 1; n <= 999; ++n) {
        const auto entry = cardfile::encodeArchiveEntry(n, "05.06.2021", "09:05:03",
                                                        cardfile::EntryDuration::ofSeconds(10),
                                                        cardfile::kKindPlain);
        ASSERT_TRUE(entry);
        archive.append(entry.value.begin(), entry.value.end());
    }
    const fs::path archivePath = cardfile::CardFile(work).archivePath(ids[0]);
    std::ofstream(archivePath, std::ios::binary) << archive;
    for (const bool russian : {true, false}) {
        state.setLanguage(russian ? velkard::ui::Language::Russian
                                  : velkard::ui::Language::English);
        messages.shown.clear();
        writeBytes(work / "temp" / "ECG00001.DAT", plain);
        MemoryWindow w(state, seams, setup());
        selectPatient(w, 0);
        store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("999")))
            << messages.shown[0].text.toStdString();
        EXPECT_EQ(messages.shown[0].caption,
                  russian ? QStringLiteral("Ошибка") : QStringLiteral("Error"));
        EXPECT_EQ(readBytes(work / "temp" / "ECG00001.DAT"), plain);
        EXPECT_EQ(entries(0).size(), 999u);
    }
}

TEST_F(MemoryWindowTest, PatientDetailsFollowTheSelectedRow) {
    MemoryWindow w(state, seams, setup());
    selectPatient(w, 0);
    EXPECT_EQ(w.nameValue->text(), QStringLiteral("Иванов Иван"));
    selectPatient(w, 1);
    EXPECT_EQ(w.nameValue->text(), QStringLiteral("Петрова Анна"));
    EXPECT_EQ(w.addressValue->text(), QStringLiteral("ул. Петрова Анна"));
    EXPECT_EQ(w.policyValue->text(), QStringLiteral("12345"));
    EXPECT_EQ(w.selection().patientId.toStdString(), ids[1]);
    EXPECT_EQ(w.selection().patientIndex, 1);
    EXPECT_EQ(w.selection().patientName, QStringLiteral("Петрова Анна"));
}

TEST_F(MemoryWindowTest, NewPatientCardAppendsARow) {
    MemoryWindow w(state, seams, setup());
    dialogs.script.push_back([this](QDialog& d) {
        auto& dlg = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        EXPECT_TRUE(state.newPatient.selfAppend);
        EXPECT_TRUE(dlg.pickerDateText().isEmpty());
        dlg.nameEdit->setText(QStringLiteral("Сидоров Пётр"));
        dlg.sexBox->setCurrentIndex(0);
        dlg.policyEdit->setText(QStringLiteral("777"));
        dlg.OK->click();
        return -1;
    });
    w.newPatientButton->click();
    ASSERT_EQ(w.patientList->topLevelItemCount(), 3);
    EXPECT_EQ(w.patientList->topLevelItem(2)->text(0), QStringLiteral("Сидоров Пётр"));
    auto patients = cardfile::CardFile(work).listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 3u);
    EXPECT_EQ(patients.value[2].name, "Сидоров Пётр");
    // Cancelled: no row.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<cardfile::ui::NewPatientDialog&>(d).Cancel->click();
        return -1;
    });
    w.newPatientButton->click();
    EXPECT_EQ(w.patientList->topLevelItemCount(), 3);
    EXPECT_FALSE(state.newPatient.selfAppend);
}

TEST_F(MemoryWindowTest, NoInstrumentLeavesTheDownloadsListAlone) {
    MemoryWindowSetup s = setup();
    s.makeLink = [this] {
        sim::Faults faults;
        faults.absent = true;
        return simInstrument(card, faults);
    };
    writeBytes(work / "temp" / "OLD.DAT", plain);
    MemoryWindow w(state, seams, std::move(s));
    EXPECT_EQ(w.downloadedList->count(), 1); // files waiting in temp are offered at once
    w.downloadButton->click();
    EXPECT_TRUE(dialogs.shownNames.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Прибор не найден"));
    EXPECT_EQ(w.downloadedList->count(), 1);
}

TEST_F(MemoryWindowTest, CaptionsAndTheEmptyStateCallback) {
    state.setLanguage(velkard::ui::Language::English);
    bool backToEmpty = false;
    dialogs.script.push_back([&](QDialog& d) {
        auto& w = dynamic_cast<MemoryWindow&>(d);
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Memory"));
        EXPECT_EQ(w.sourceTabs->tabText(0), QStringLiteral("Instrument's memory"));
        EXPECT_EQ(w.sourceTabs->tabText(1), QStringLiteral("Memory card"));
        EXPECT_EQ(w.patientList->headerItem()->text(0), QStringLiteral("Card file"));
        EXPECT_EQ(w.birthDateLabel->text(), QStringLiteral("Date of birth"));
        EXPECT_EQ(w.storeButton->text(), QStringLiteral("File into patient's card"));
        EXPECT_FALSE(w.downloadedList->isHidden());
        EXPECT_TRUE(w.cardFileList->isHidden());
        EXPECT_EQ(w.sourceTab(), 1);
        EXPECT_FALSE(backToEmpty);
        return QDialog::Accepted;
    });
    openMemoryWindow(state, seams, setup(), nullptr, [&] { backToEmpty = true; });
    EXPECT_TRUE(backToEmpty);
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("MemoryWindow")});
}

// ---- the list of files, filing, and the keyboard ----------------------------------------------

TEST_F(MemoryWindowTest, FilesWaitingInTempAreListedWithWhatTheyHold) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    writeBytes(work / "temp" / "A2000001.DAT", a2);
    writeBytes(work / "temp" / memory::partialDownloadName("VSR00001.DAT"), {1, 2, 3});
    {
        MemoryWindow w(state, seams, setup());
        ASSERT_EQ(w.downloadedList->count(), 2); // the partial download is no recording
        EXPECT_EQ(w.downloadedList->item(0)->text(),
                  QStringLiteral("A2000001.DAT  —  A2, 24.11.2012 13:45:00, 40 с"));
        EXPECT_EQ(w.downloadedList->item(1)->text(),
                  QStringLiteral("ECG00001.DAT  —  ЭКГ, 05.03.2009 07:05:09, 10 с"));
    }
    state.setLanguage(velkard::ui::Language::English);
    MemoryWindow w(state, seams, setup());
    ASSERT_EQ(w.downloadedList->count(), 2);
    EXPECT_EQ(w.downloadedList->item(1)->text(),
              QStringLiteral("ECG00001.DAT  —  ECG, 05.03.2009 07:05:09, 10 s"));
    EXPECT_EQ(w.closeButton->text(), QStringLiteral("Close"));
    w.show();
    w.closeButton->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

TEST_F(MemoryWindowTest, SecondPressAfterFilingAsksForAFileInsteadOfFilingTheNext) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    writeBytes(work / "temp" / "ECG00002.DAT", plain);
    MemoryWindow w(state, seams, setup());
    selectPatient(w, 0);
    store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Файл помещён в карту пациента"));
    EXPECT_EQ(w.downloadedList->currentItem(), nullptr);
    w.storeButton->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("Выберите файл ЭКГ для сохранения"));
    EXPECT_EQ(entries(0).size(), 1u);
    EXPECT_TRUE(fs::exists(work / "temp" / "ECG00002.DAT"));
}

TEST_F(MemoryWindowTest, TickedRowsAreTheChoiceWhenNoRowIsCurrent) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    writeBytes(work / "temp" / "ECG00002.DAT", plain);
    writeBytes(work / "temp" / "ECG00003.DAT", plain);
    MemoryWindow w(state, seams, setup());
    selectPatient(w, 1);
    w.downloadedList->setCurrentItem(nullptr);
    w.downloadedList->item(0)->setCheckState(Qt::Checked);
    w.downloadedList->item(2)->setCheckState(Qt::Checked);
    state.setLanguage(velkard::ui::Language::English);
    w.storeButton->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Files filed into the patient's card: 2"));
    EXPECT_EQ(entries(1).size(), 2u);
    ASSERT_EQ(w.downloadedList->count(), 1);
    EXPECT_TRUE(w.downloadedList->item(0)->text().startsWith(QStringLiteral("ECG00002.DAT")));
    EXPECT_TRUE(fs::exists(work / "temp" / "ECG00002.DAT"));
    EXPECT_FALSE(fs::exists(work / "temp" / "ECG00001.DAT"));
}

TEST_F(MemoryWindowTest, UnreadablePatientRowClearsThePatientChosenBefore) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    MemoryWindow w(state, seams, setup());
    selectPatient(w, 0);
    ASSERT_EQ(w.selection().patientId.toStdString(), ids[0]);
    // A row with no record behind it (the index lost it meanwhile).
    new QTreeWidgetItem(w.patientList, {QStringLiteral("Сидоров")});
    w.patientList->clearSelection();
    selectPatient(w, 2);
    EXPECT_TRUE(w.selection().patientId.isEmpty());
    EXPECT_TRUE(w.nameValue->text().isEmpty());
    store(w, w.downloadedList, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Выберите пациента в картотеке"));
    EXPECT_TRUE(entries(0).empty());
    EXPECT_TRUE(fs::exists(work / "temp" / "ECG00001.DAT"));
}

TEST_F(MemoryWindowTest, EnterInAListPressesNoButtonAndEscCloses) {
    MemoryWindow w(state, seams, setup());
    w.show();
    for (QWidget* list :
         {static_cast<QWidget*>(w.patientList), static_cast<QWidget*>(w.downloadedList)}) {
        list->setFocus();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &enter);
    }
    EXPECT_TRUE(dialogs.shownNames.empty()); // no new-patient dialog, no download
    EXPECT_TRUE(w.isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(w.patientList, &escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MemoryWindowTest, OpenFailureSaysWhy) {
    MemoryWindowSetup s = setup();
    s.makeLink = [] { return links::makeLink("/nonexistent/ttyVELKARD0"); };
    MemoryWindow w(state, seams, s);
    w.downloadButton->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text.split(QLatin1Char('\n')).front(),
              QStringLiteral("Прибор не найден"));
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("/nonexistent/ttyVELKARD0")));
    EXPECT_TRUE(dialogs.shownNames.empty());
}
