// The memory window over the simulated instrument and a card file in a temporary folder: download,
// file every kind into a patient's card, the archive entries, and what stays where on failure.
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/MemoryWindow.h"
#include "memory/ui/tests/MemoryUiTestSupport.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/CardFile.h"
#include "cardfile/ui/PatientDialogs.h"
#include "cardfile/ui/Selection.h"
#include "import/Decompress.h"
#include "sim/DeviceFiles.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace velkard;
using namespace velkard::memory::ui;
using namespace velkard::memory::ui::test;
namespace fs = std::filesystem;

namespace {

class MemoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        velkard::ui::flags().russian = true;
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
    void download(TMemory& w, const QStringList& names) {
        dialogs.script.push_back([this, names](QDialog& d) {
            EXPECT_EQ(&d, static_cast<QDialog*>(&form));
            form.Button1->click();
            EXPECT_TRUE(waitUntil([&] { return form.ListBox1->count() == 4; }));
            for (int i = 0; i < form.ListBox1->count(); ++i)
                form.ListBox1->item(i)->setSelected(names.contains(form.ListBox1->item(i)->text()));
            form.Button2->click();
            EXPECT_TRUE(waitUntil([&] {
                return form.selectedEntries().empty() && form.listEnabled() &&
                       form.ListBox1->isEnabled();
            }));
            return QDialog::Accepted;
        });
        w.Button4->click();
    }

    static int row(QListWidget* list, const QString& text) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == text)
                return i;
        return -1;
    }

    void selectPatient(TMemory& w, int index) {
        w.ListView1->setCurrentItem(w.ListView1->topLevelItem(index));
        w.ListView1->topLevelItem(index)->setSelected(true);
    }

    void store(TMemory& w, QListWidget* list, const QString& name) {
        const int r = row(list, name);
        ASSERT_GE(r, 0) << name.toStdString();
        list->setCurrentRow(r);
        w.Button2->click();
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
    TForm1 form;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    velkard::ui::ScopedMessages scopedMessages{&messages};
    velkard::ui::ScopedDialogs scopedDialogs{&dialogs};
};

std::vector<std::uint8_t> body(const std::vector<std::uint8_t>& deviceFile) {
    return {deviceFile.begin() + 512, deviceFile.end()};
}

} // namespace

TEST_F(MemoryWindowTest, DownloadThenFileEveryKind) {
    TMemory w(setup());
    ASSERT_EQ(w.ListView1->topLevelItemCount(), 2);
    download(w, {QStringLiteral("ECG00001.DAT"), QStringLiteral("A2000001.DAT"),
                 QStringLiteral("VSR00001.DAT"), QStringLiteral("ECG00003.ECX")});
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("Form1")});
    ASSERT_EQ(w.CheckListBox2->count(), 4);
    EXPECT_TRUE(w.CheckListBox2->item(0)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(w.CheckListBox2->item(0)->data(Qt::CheckStateRole).isValid());
    EXPECT_EQ(readBytes(work / "temp" / "A2000001.DAT"), a2);

    // Patient 0 already holds two recordings: the next one is number 3.
    cardfile::CardFile cf(work);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(cf.appendArchiveEntry(ids[0], i + 1, "01.01.2020", "10:00:00",
                                          cardfile::EntryDuration::ofSeconds(5), "  "));
    selectPatient(w, 0);
    EXPECT_EQ(cardfile::ui::selection().patientId.toStdString(), ids[0]);
    store(w, w.CheckListBox2, QStringLiteral("ECG00001.DAT"));
    store(w, w.CheckListBox2, QStringLiteral("A2000001.DAT"));
    store(w, w.CheckListBox2, QStringLiteral("VSR00001.DAT"));
    velkard::ui::flags().russian = false;
    store(w, w.CheckListBox2, QStringLiteral("ECG00003.ECX"));
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();

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
    EXPECT_EQ(w.CheckListBox2->count(), 0);
    EXPECT_TRUE(fs::is_empty(work / "temp"));
    // The other patient was not touched.
    EXPECT_TRUE(entries(1).empty());
}

TEST_F(MemoryWindowTest, MemoryCardFilesStayOnTheCard) {
    writeBytes(reader / "a2lower.DAT", plain);
    writeBytes(reader / "A2CARD.DAT", a2);
    chosen = {QString::fromStdString((reader / "a2lower.DAT").string()),
              QString::fromStdString((reader / "A2CARD.DAT").string())};
    TMemory w(setup());
    w.TabControl1->setCurrentIndex(1);
    EXPECT_EQ(w.sourceTab(), 0);
    EXPECT_FALSE(w.CheckListBox1->isHidden());
    EXPECT_TRUE(w.CheckListBox2->isHidden());
    EXPECT_FALSE(w.Button3->isHidden());
    EXPECT_TRUE(w.Button4->isHidden());
    w.Button3->click();
    w.Button3->click(); // rows already listed stay; the new choice is appended
    ASSERT_EQ(w.CheckListBox1->count(), 4);
    // Check lists: every row has its box, unchecked; a ticked box does not choose the file.
    for (int i = 0; i < w.CheckListBox1->count(); ++i) {
        EXPECT_TRUE(w.CheckListBox1->item(i)->flags() & Qt::ItemIsUserCheckable);
        EXPECT_EQ(w.CheckListBox1->item(i)->checkState(), Qt::Unchecked);
        EXPECT_TRUE(w.CheckListBox1->item(i)->data(Qt::CheckStateRole).isValid());
    }
    w.CheckListBox1->item(1)->setCheckState(Qt::Checked);
    selectPatient(w, 1);
    store(w, w.CheckListBox1, chosen[0]);
    store(w, w.CheckListBox1, chosen[1]);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    const auto e = entries(1);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].kind, "  "); // "a2" in lower case is a plain file
    EXPECT_EQ(e[0].number, "  1");
    EXPECT_EQ(e[1].kind, "A2");
    EXPECT_EQ(w.CheckListBox1->count(), 2);
    EXPECT_EQ(readBytes(reader / "a2lower.DAT"), plain);
    EXPECT_EQ(readBytes(reader / "A2CARD.DAT"), a2);
}

TEST_F(MemoryWindowTest, StoringNeedsAPatientAndAFile) {
    TMemory w(setup());
    w.CheckListBox2->addItem(QStringLiteral("ECG00001.DAT"));
    w.Button2->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Выберите пациента в картотеке"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Внимание"));
    selectPatient(w, 0);
    w.CheckListBox2->setCurrentRow(-1);
    velkard::ui::flags().russian = false;
    w.Button2->click();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("Choose a file ECG for preservation"));
    EXPECT_EQ(messages.shown[1].caption, QStringLiteral("Attention"));
    EXPECT_TRUE(entries(0).empty());
}

TEST_F(MemoryWindowTest, RowWithoutAReadablePatientAsksForAPatient) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    TMemory w(setup());
    w.CheckListBox2->addItem(QStringLiteral("ECG00001.DAT"));
    selectPatient(w, 0);
    // As when the selected row's record could not be read: no patient ID to file under.
    cardfile::ui::selection().patientId.clear();
    velkard::ui::flags().russian = false;
    store(w, w.CheckListBox2, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Choose the patient in a card file"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Attention"));
    EXPECT_EQ(w.CheckListBox2->count(), 1);
    EXPECT_EQ(readBytes(work / "temp" / "ECG00001.DAT"), plain);
    EXPECT_TRUE(entries(0).empty());
}

TEST_F(MemoryWindowTest, FailedStoreKeepsTheDownloadAndFilesNothing) {
    writeBytes(work / "temp" / "ECG00001.DAT", plain);
    TMemory w(setup());
    w.CheckListBox2->addItem(QStringLiteral("ECG00001.DAT"));
    w.CheckListBox2->addItem(QStringLiteral("GONE.DAT"));
    selectPatient(w, 0);
    // The recording file cannot be created: its name is taken by a folder.
    fs::create_directories(recording(0, 1));
    store(w, w.CheckListBox2, QStringLiteral("ECG00001.DAT"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Ошибка создания файла для записи ЭКГ"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(readBytes(work / "temp" / "ECG00001.DAT"), plain);
    EXPECT_GE(row(w.CheckListBox2, QStringLiteral("ECG00001.DAT")), 0);
    EXPECT_TRUE(entries(0).empty());
    // A listed file that has disappeared cannot be opened.
    store(w, w.CheckListBox2, QStringLiteral("GONE.DAT"));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, QStringLiteral("Ошибка открытия файла с ЭКГ"));
    EXPECT_EQ(w.CheckListBox2->count(), 2);
    EXPECT_TRUE(entries(0).empty());
}

TEST_F(MemoryWindowTest, PatientDetailsFollowTheSelectedRow) {
    TMemory w(setup());
    selectPatient(w, 0);
    EXPECT_EQ(w.Label2->text(), QStringLiteral("Иванов Иван"));
    selectPatient(w, 1);
    EXPECT_EQ(w.Label2->text(), QStringLiteral("Петрова Анна"));
    EXPECT_EQ(w.Label10->text(), QStringLiteral("ул. Петрова Анна"));
    EXPECT_EQ(w.Label14->text(), QStringLiteral("12345"));
    EXPECT_EQ(cardfile::ui::selection().patientId.toStdString(), ids[1]);
    EXPECT_EQ(cardfile::ui::selection().patientIndex, 1);
    EXPECT_EQ(cardfile::ui::selection().patientName, QStringLiteral("Петрова Анна"));
}

TEST_F(MemoryWindowTest, NewPatientCardAppendsARow) {
    TMemory w(setup());
    dialogs.script.push_back([](QDialog& d) {
        auto& dlg = dynamic_cast<cardfile::ui::TNew_patient&>(d);
        EXPECT_TRUE(cardfile::ui::newPatientFlags().selfAppend);
        EXPECT_EQ(dlg.DateTimePicker1->date(), QDate::currentDate());
        dlg.Edit1->setText(QStringLiteral("Сидоров Пётр"));
        dlg.Edit5->setText(QStringLiteral("777"));
        dlg.Button1->click();
        return -1;
    });
    w.Button1->click();
    ASSERT_EQ(w.ListView1->topLevelItemCount(), 3);
    EXPECT_EQ(w.ListView1->topLevelItem(2)->text(0), QStringLiteral("Сидоров Пётр"));
    auto patients = cardfile::CardFile(work).listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 3u);
    EXPECT_EQ(patients.value[2].name, "Сидоров Пётр");
    // Cancelled: no row.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<cardfile::ui::TNew_patient&>(d).Button2->click();
        return -1;
    });
    w.Button1->click();
    EXPECT_EQ(w.ListView1->topLevelItemCount(), 3);
    EXPECT_FALSE(cardfile::ui::newPatientFlags().selfAppend);
}

TEST_F(MemoryWindowTest, NoInstrumentLeavesTheDownloadsListAlone) {
    MemoryWindowSetup s = setup();
    s.makeLink = [this] {
        sim::Faults faults;
        faults.absent = true;
        return simInstrument(card, faults);
    };
    writeBytes(work / "temp" / "OLD.DAT", plain);
    TMemory w(std::move(s));
    EXPECT_EQ(w.CheckListBox2->count(), 0); // earlier downloads appear only after a download
    w.CheckListBox2->addItem(QStringLiteral("KEPT"));
    w.Button4->click();
    EXPECT_TRUE(dialogs.shownNames.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Прибор не найден"));
    EXPECT_EQ(w.CheckListBox2->count(), 1);
}

TEST_F(MemoryWindowTest, CaptionsAndTheEmptyStateCallback) {
    velkard::ui::flags().russian = false;
    velkard::ui::flags().cardReview = true;
    bool backToEmpty = false;
    dialogs.script.push_back([&](QDialog& d) {
        auto& w = dynamic_cast<TMemory&>(d);
        EXPECT_FALSE(velkard::ui::flags().cardReview);
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Memory"));
        EXPECT_EQ(w.TabControl1->tabText(0), QStringLiteral("Memory EC"));
        EXPECT_EQ(w.TabControl1->tabText(1), QStringLiteral("Memory card"));
        EXPECT_EQ(w.ListView1->headerItem()->text(0), QStringLiteral("Card file"));
        EXPECT_EQ(w.Label5->text(), QStringLiteral("Date of birth "));
        EXPECT_EQ(w.Button2->text(), QStringLiteral("To put in the card of the patient"));
        EXPECT_FALSE(w.CheckListBox2->isHidden());
        EXPECT_TRUE(w.CheckListBox1->isHidden());
        EXPECT_EQ(w.sourceTab(), 1);
        EXPECT_FALSE(backToEmpty);
        return QDialog::Accepted;
    });
    openMemoryWindow(setup(), nullptr, [&] { backToEmpty = true; });
    EXPECT_TRUE(backToEmpty);
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("Memory")});
}
