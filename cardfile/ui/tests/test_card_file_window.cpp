// SPDX-License-Identifier: GPL-3.0-or-later
// The card-file window driven headless over a card file made with the storage API: lists,
// selection, Open / Write / DelRec / Delete / New / Change and their messages.
#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "cardfile/ui/PatientDialogs.h"
#include "interpret/Report.h"
#include "session/Session.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <gtest/gtest.h>

using namespace velkard;
using cardfile::CardFile;
using cardfile::ui::CardFileWindow;
using session::CardRequest;

namespace {

class PatientWindowTest : public ::testing::Test {
protected:
    velkard::ui::ViewState state;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        state = velkard::ui::ViewState{};
    }
    std::filesystem::path work() const { return dir.path().toStdString(); }

    std::string addPatient(const std::string& name, const std::string& policy) {
        cardfile::PatientRecord r;
        r.name = name;
        r.policy = policy;
        r.birthDate = "01.02.1950";
        r.sex = "Муж";
        r.address = "Address of " + name;
        r.id = cf.newPatientId();
        EXPECT_TRUE(cf.createPatientArchive(r.id));
        EXPECT_TRUE(cf.appendPatientRecord(r));
        return r.id;
    }
    // A recording whose bytes tell which one it was.
    void addEntry(const std::string& id, std::string_view kind, long seconds, char fill) {
        const int n = cf.nextRecordNumber(id);
        std::ofstream(cf.recordingPath(id, n), std::ios::binary) << std::string(32, fill);
        const auto duration = kind == cardfile::kKindRhythm
                                  ? cardfile::EntryDuration::rhythm(true)
                                  : cardfile::EntryDuration::ofSeconds(seconds);
        EXPECT_TRUE(cf.appendArchiveEntry(id, n, "05.06.2021", "09:05:03", duration, kind));
    }
    static std::string contents(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void select(QTreeWidget* view, int row) {
        view->setCurrentItem(view->topLevelItem(row));
    }
    // As the main window does: a window starts from the session's selection, and its selection
    // and request go back into the session when it closes.
    void startFromSession(CardFileWindow& window) { window.startFrom(session.selection()); }
    void closed(const CardFileWindow& window) {
        session.cardFileClosed(window.selection(), window.choice());
    }
    bool shown(Shown what) const { return session.shown() == what; }

    QTemporaryDir dir;
    CardFile cf{std::filesystem::path(dir.path().toStdString())};
    ui::RecordingMessages messages;
    ui::ScriptedDialogs dialogs;
    ui::Seams seams{messages, dialogs};
    session::Session session{work()};
};

} // namespace

TEST_F(PatientWindowTest, FirstOpeningCreatesAnEmptyIndex) {
    CardFileWindow window(state, seams, work());
    EXPECT_EQ(window.patientList->topLevelItemCount(), 0);
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 0);
    const auto index = work() / "DATA_BASE" / "ID_Patient_real";
    ASSERT_TRUE(std::filesystem::exists(index));
    EXPECT_EQ(std::filesystem::file_size(index), 0u);
}

TEST_F(PatientWindowTest, UnusableIndexIsReportedUnderACaptionOfTheInterfaceLanguage) {
    // A folder where the patient index belongs cannot be read as one.
    std::filesystem::create_directories(work() / "DATA_BASE" / "ID_Patient_real");
    for (const bool russian : {true, false}) {
        state.setLanguage(russian ? velkard::ui::Language::Russian
                                  : velkard::ui::Language::English);
        messages.shown.clear();
        CardFileWindow window(state, seams, work());
        EXPECT_EQ(window.patientList->topLevelItemCount(), 0);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].caption, russian ? QString::fromUtf8("Ошибка") : "Error");
        // The message, too, is in the interface language; the reason follows on its own line.
        EXPECT_EQ(messages.shown[0].text.section(QLatin1Char('\n'), 0, 0),
                  russian ? QString::fromUtf8("Ошибка открытия картотеки")
                          : QStringLiteral("Cannot open the card file"));
    }
    EXPECT_TRUE(std::filesystem::is_directory(work() / "DATA_BASE" / "ID_Patient_real"));
}

TEST_F(PatientWindowTest, SelectingAPatientShowsDetailsAndArchive) {
    addPatient("First", "1");
    const auto id = addPatient("Second", "2");
    for (int i = 0; i < 3; ++i)
        addEntry(id, cardfile::kKindPlain, 75 + i, char('a' + i));
    CardFileWindow window(state, seams, work());
    ASSERT_EQ(window.patientList->topLevelItemCount(), 2);
    select(window.patientList, 1);
    EXPECT_EQ(window.nameValue->text(), "Second");
    EXPECT_EQ(window.addressValue->text(), "Address of Second");
    EXPECT_EQ(window.policyValue->text(), "2");
    EXPECT_EQ(window.selection().patientId.toStdString(), id);
    EXPECT_EQ(window.selection().patientIndex, 1);
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 3);
    EXPECT_EQ(window.archiveList->topLevelItem(0)->text(0), "  1");
    EXPECT_EQ(window.archiveList->topLevelItem(2)->text(0), "  3");
    EXPECT_EQ(window.archiveList->topLevelItem(0)->text(3), "  75");
    EXPECT_EQ(window.archiveList->topLevelItem(0)->text(2), "09:05:03");
}

TEST_F(PatientWindowTest, MissingSelectionsAreReportedAndChangeNothing) {
    const auto id = addPatient("Only", "1");
    addEntry(id, cardfile::kKindPlain, 10, 'x');
    CardFileWindow window(state, seams, work());
    for (QPushButton* b : {window.Change, window.Delete, window.Open, window.DelRec}) {
        messages.shown.clear();
        b->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Выберите пациента"));
        EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8("Внимание"));
    }
    select(window.patientList, 0);
    state.setLanguage(velkard::ui::Language::English);
    for (QPushButton* b : {window.Open, window.DelRec}) {
        messages.shown.clear();
        b->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Choose an ECG in the archive"));
        EXPECT_EQ(messages.shown[0].caption, "Attention");
    }
    EXPECT_EQ(cf.listArchiveEntries(id).value.size(), 1u);
    EXPECT_NE(window.result(), QDialog::Accepted);
}

TEST_F(PatientWindowTest, OpenSetsThePathAndTheKindFlags) {
    const auto id = addPatient("P", "1");
    addEntry(id, cardfile::kKindPlain, 12, 'a');
    addEntry(id, cardfile::kKindA2, 30, 'b');
    addEntry(id, cardfile::kKindRhythm, 0, 'c');
    const auto& sel = session.selection();
    {
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        select(window.patientList, 0);
        // The list says which entries are A2 and rhythmograms.
        ASSERT_EQ(window.archiveList->topLevelItemCount(), 3);
        EXPECT_TRUE(window.archiveList->topLevelItem(0)->text(4).isEmpty());
        EXPECT_EQ(window.archiveList->topLevelItem(1)->text(4), "A2");
        EXPECT_EQ(window.archiveList->topLevelItem(2)->text(4), QString::fromUtf8("Ритмограмма"));
        select(window.archiveList, 0);
        window.Open->click();
        closed(window);
        EXPECT_EQ(window.result(), QDialog::Accepted);
        EXPECT_TRUE(sel.recordingPath.endsWith(QString::fromStdString(id) + "_ 1.dat"));
        EXPECT_EQ(sel.entryDuration, 12);
        EXPECT_EQ(sel.entryDate, "05.06.2021");
        EXPECT_TRUE(shown(Shown::CardRecording));
        EXPECT_FALSE(session.view().kindA2);
    }
    {
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        select(window.patientList, 0);
        // A double click on the entry opens it, as Open does.
        QTreeWidgetItem* entry = window.archiveList->topLevelItem(1);
        select(window.archiveList, 1);
        emit window.archiveList->itemDoubleClicked(entry, 0);
        closed(window);
        EXPECT_EQ(window.result(), QDialog::Accepted);
        EXPECT_TRUE(shown(Shown::CardRecording));
        EXPECT_TRUE(session.view().kindA2);
        EXPECT_EQ(sel.entryDuration, 30);
    }
    {
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        select(window.patientList, 0);
        select(window.archiveList, 2);
        window.Open->click();
        closed(window);
        EXPECT_TRUE(shown(Shown::Rhythmogram));
        EXPECT_FALSE(shown(Shown::CardRecording));
        EXPECT_FALSE(session.view().kindA2);
        EXPECT_EQ(sel.entryDuration, 30); // a rhythmogram leaves the duration alone
        EXPECT_TRUE(sel.recordingPath.endsWith("_ 3.dat"));
        EXPECT_EQ(sel.kindMarker, "RT");
    }
}

TEST_F(PatientWindowTest, WriteChoosesTheNextNumberOrClosesWithoutRequest) {
    const auto id = addPatient("P", "1");
    addEntry(id, cardfile::kKindPlain, 1, 'a');
    addEntry(id, cardfile::kKindPlain, 2, 'b');
    {
        CardFileWindow window(state, seams, work());
        window.Write->click();
        EXPECT_NE(window.choice().request, CardRequest::Write);
        EXPECT_EQ(window.result(), QDialog::Rejected);
    }
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    window.Write->click();
    EXPECT_EQ(window.choice().request, CardRequest::Write);
    EXPECT_EQ(window.selection().recordNumber, 3);
    EXPECT_EQ(window.selection().recordingPath.toStdString(), cf.recordingPath(id, 3).string());
}

TEST_F(PatientWindowTest, DelRecOfTheMiddleOfThreeRenumbers) {
    const auto id = addPatient("P", "1");
    addEntry(id, cardfile::kKindPlain, 1, 'a');
    addEntry(id, cardfile::kKindPlain, 2, 'b');
    addEntry(id, cardfile::kKindPlain, 3, 'c');
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    select(window.archiveList, 1);
    messages.answers = {false};
    window.DelRec->click();
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 3); // No keeps everything
    messages.answers = {true};
    window.DelRec->click();
    ASSERT_EQ(messages.shown.back().text, QString::fromUtf8("Удалить запись?"));
    EXPECT_TRUE(messages.shown.back().question);
    EXPECT_FALSE(messages.shown.back().yesByDefault);
    EXPECT_TRUE(messages.shown.back().caption.isEmpty());
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 2);
    EXPECT_EQ(window.archiveList->topLevelItem(0)->text(0), "  1");
    EXPECT_EQ(window.archiveList->topLevelItem(1)->text(0), "  2");
    EXPECT_EQ(window.archiveList->topLevelItem(1)->text(3), "   3");
    EXPECT_EQ(contents(cf.recordingPath(id, 1)), std::string(32, 'a'));
    EXPECT_EQ(contents(cf.recordingPath(id, 2)), std::string(32, 'c'));
    EXPECT_FALSE(std::filesystem::exists(cf.recordingPath(id, 3)));
}

TEST_F(PatientWindowTest, DeletePatientRemovesRowFilesAndSelection) {
    addPatient("Keep", "1");
    const auto id = addPatient("Gone", "2");
    addEntry(id, cardfile::kKindPlain, 1, 'a');
    CardFileWindow window(state, seams, work());
    select(window.patientList, 1);
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 1);
    messages.answers = {true};
    window.Delete->click();
    // The question names the patient and the recordings, and Enter would answer No.
    EXPECT_EQ(messages.shown.back().text,
              QString::fromUtf8("Удалить пациента «Gone» и все его записи (1)?"));
    EXPECT_FALSE(messages.shown.back().yesByDefault);
    ASSERT_EQ(window.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), "Keep");
    EXPECT_TRUE(window.nameValue->text().isEmpty());
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 0);
    EXPECT_TRUE(window.patientList->selectedItems().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(cf.recordingPath(id, 1)));
    EXPECT_FALSE(std::filesystem::exists(cf.archivePath(id)));
    EXPECT_EQ(cf.listPatients().value.size(), 1u);
}

// The wrong patient must not be easy to pick: a new patient becomes the chosen one, and the window
// opens on the patient and recording in use.
TEST_F(PatientWindowTest, ChoosesTheNewPatientAndOpensOnThePatientInUse) {
    const auto rowOf = [](QTreeWidget* list) {
        const auto items = list->selectedItems();
        return items.isEmpty() ? -1 : list->indexOfTopLevelItem(items.front());
    };
    addPatient("Old", "1");
    const auto id = addPatient("Second", "2");
    addEntry(id, cardfile::kKindPlain, 1, 'a');
    addEntry(id, cardfile::kKindPlain, 2, 'b');
    {
        CardFileWindow window(state, seams, work());
        select(window.patientList, 0);
        dialogs.script.push_back([](QDialog& d) {
            auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
            dialog.nameEdit->setText(QString::fromUtf8("Новый"));
            dialog.sexBox->setCurrentIndex(0);
            dialog.policyEdit->setText("3");
            dialog.OK->click();
            return -1;
        });
        window.New->click();
        ASSERT_EQ(window.patientList->topLevelItemCount(), 3);
        EXPECT_EQ(rowOf(window.patientList), 2);
        EXPECT_EQ(window.selection().patientName, QString::fromUtf8("Новый"));
        EXPECT_EQ(window.selection().patientId.toStdString(), cf.listPatients().value[2].id);
        EXPECT_EQ(window.nameValue->text(), QString::fromUtf8("Новый"));
    }
    // Right after recording number 2 of "Second", the window opens on both.
    session::CardSelection inUse;
    inUse.patientIndex = 1;
    inUse.patientId = QString::fromStdString(id);
    inUse.recordNumber = 2;
    CardFileWindow window(state, seams, work());
    window.startFrom(inUse);
    EXPECT_EQ(rowOf(window.patientList), 1);
    EXPECT_EQ(rowOf(window.archiveList), 1);
    EXPECT_EQ(window.nameValue->text(), "Second");
    // A row that holds someone else now (another workstation changed the card file) is not chosen.
    inUse.patientIndex = 0;
    CardFileWindow other(state, seams, work());
    other.startFrom(inUse);
    EXPECT_EQ(rowOf(other.patientList), -1);
}

TEST_F(PatientWindowTest, NewAddsARowAndTheRecord) {
    CardFileWindow window(state, seams, work());
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        // No birth date until one is entered (not today's as if it were one).
        EXPECT_TRUE(dialog.pickerDateText().isEmpty());
        dialog.nameEdit->setText(QString::fromUtf8("Петров Пётр"));
        dialog.sexBox->setCurrentIndex(0);
        dialog.policyEdit->setText("99");
        dialog.OK->click();
        return -1;
    });
    window.New->click();
    ASSERT_EQ(window.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), QString::fromUtf8("Петров Пётр"));
    auto patients = cf.listPatients();
    ASSERT_EQ(patients.value.size(), 1u);
    EXPECT_EQ(patients.value[0].name, "Петров Пётр");
    EXPECT_TRUE(std::filesystem::exists(cf.archivePath(patients.value[0].id)));

    // A dialog left with Cancel adds nothing.
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        dialog.nameEdit->setText("X");
        dialog.policyEdit->setText("1");
        dialog.Cancel->click();
        return -1;
    });
    window.New->click();
    EXPECT_EQ(window.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(cf.listPatients().value.size(), 1u);
}

TEST_F(PatientWindowTest, ChangeWritesOnOkAndCancelDiscardsTheEdits) {
    const auto id = addPatient("Old Name", "111");
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        EXPECT_EQ(dialog.nameEdit->text(), "Old Name");
        EXPECT_EQ(dialog.policyEdit->text(), "111");
        EXPECT_EQ(dialog.birthDatePicker->date(), QDate(1950, 2, 1));
        dialog.nameEdit->setText("Typed But Cancelled");
        dialog.Cancel->click();
        return -1;
    });
    window.Change->click();
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), "Old Name");
    EXPECT_EQ(cf.readPatient(0).value.name, "Old Name");
    EXPECT_TRUE(window.patientList->selectedItems().isEmpty());

    select(window.patientList, 0);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        dialog.nameEdit->setText("New Name");
        dialog.telephoneEdit->setText("555");
        dialog.birthDatePicker->setDate(QDate(1960, 7, 8));
        dialog.OK->click();
        return -1;
    });
    window.Change->click();
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), "New Name");
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(1), "08.07.1960");
    auto stored = cf.readPatient(0);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored.value.name, "New Name");
    EXPECT_EQ(stored.value.telephone, "555");
    EXPECT_EQ(stored.value.birthDate, "08.07.1960");
    EXPECT_EQ(stored.value.policy, "111");
    EXPECT_EQ(stored.value.id, id);
    EXPECT_TRUE(window.patientList->selectedItems().isEmpty());
}

TEST_F(PatientWindowTest, CaptionsFollowTheLanguage) {
    CardFileWindow window(state, seams, work());
    EXPECT_EQ(window.size(), QSize(971, 555));
    EXPECT_EQ(window.font().family(), "MS Sans Serif");
    EXPECT_EQ(window.font().pointSize(), 8);
    window.applyLanguage(false);
    EXPECT_EQ(window.windowTitle(), "Patient");
    EXPECT_EQ(window.Write->text(), "Write");
    EXPECT_EQ(window.birthDateLabel->text(), "Date of birth");
    EXPECT_EQ(window.DelRec->text(), "Delete");
    EXPECT_EQ(window.archiveList->headerItem()->text(0), QString::fromUtf8("№"));
    EXPECT_EQ(window.archiveList->headerItem()->text(3), "Duration, s");
    // The hints are English too.
    EXPECT_EQ(window.Write->toolTip(), "Record a new ECG live");
    window.applyLanguage(true);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Пациент"));
    EXPECT_EQ(window.Write->text(), QString::fromUtf8("Запись"));
    EXPECT_EQ(window.patientList->headerItem()->text(1), QString::fromUtf8("Дата рожд."));
    // Date of birth, sex and the archive columns after the number are centred.
    EXPECT_EQ(window.patientList->headerItem()->textAlignment(0) & Qt::AlignHCenter, 0);
    EXPECT_EQ(window.patientList->headerItem()->textAlignment(2), int(Qt::AlignCenter));
    EXPECT_EQ(window.archiveList->headerItem()->textAlignment(3), int(Qt::AlignCenter));
}

TEST_F(PatientWindowTest, DeletingAnEarlierPatientSelectsNoNeighbour) {
    const auto gone = addPatient("Gone", "1");
    const auto next = addPatient("Next", "2");
    addEntry(gone, cardfile::kKindPlain, 1, 'a');
    addEntry(next, cardfile::kKindPlain, 2, 'b');
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    ASSERT_EQ(window.nameValue->text(), "Gone");
    messages.answers = {true};
    window.Delete->click();
    ASSERT_EQ(window.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), "Next");
    // The row that moved into the deleted one's place is not taken over as the new selection.
    EXPECT_TRUE(window.patientList->selectedItems().isEmpty());
    EXPECT_TRUE(window.nameValue->text().isEmpty());
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(cf.recordingPath(next, 1)));
    EXPECT_FALSE(std::filesystem::exists(cf.archivePath(gone)));
}

TEST_F(PatientWindowTest, ChangeOfAnUnreadableBirthDateStartsOnTodayAndCancelWritesNothing) {
    cardfile::PatientRecord r;
    r.name = "Odd Date";
    r.policy = "5";
    r.birthDate = "1950/02/01";
    r.id = cf.newPatientId();
    ASSERT_TRUE(cf.createPatientArchive(r.id));
    ASSERT_TRUE(cf.appendPatientRecord(r));
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        // The picker shows no date rather than a silent default the user might keep.
        EXPECT_TRUE(dialog.pickerDateText().isEmpty());
        dialog.nameEdit->setText("Typed");
        dialog.Cancel->click();
        return -1;
    });
    window.Change->click();
    EXPECT_EQ(cf.readPatient(0).value, r);
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(1), "1950/02/01");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PatientWindowTest, NewAppendsTheRecordOnceEvenWithALeftoverSelfAppendRequest) {
    CardFileWindow window(state, seams, work());
    // A request left over from another caller must not make the dialog append a second copy.
    state.newPatient.selfAppend = true;
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        dialog.nameEdit->setText("Once");
        dialog.sexBox->setCurrentIndex(1);
        dialog.policyEdit->setText("7");
        dialog.OK->click();
        return -1;
    });
    window.New->click();
    EXPECT_EQ(window.patientList->topLevelItemCount(), 1);
    auto patients = cf.listPatients();
    ASSERT_EQ(patients.value.size(), 1u);
    EXPECT_EQ(patients.value[0].name, "Once");
    EXPECT_FALSE(state.newPatient.selfAppend);
}

TEST_F(PatientWindowTest, NewRowShowsTheTypedNameAndTheNextOpeningTheStoredOne) {
    const QString longName = QString("N").repeated(35);
    {
        CardFileWindow window(state, seams, work());
        dialogs.script.push_back([&](QDialog& d) {
            auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
            dialog.nameEdit->setText(longName);
            dialog.sexBox->setCurrentIndex(0);
            dialog.policyEdit->setText("3");
            dialog.birthDatePicker->setDate(QDate(1971, 3, 4));
            dialog.OK->click();
            return -1;
        });
        window.New->click();
        ASSERT_EQ(window.patientList->topLevelItemCount(), 1);
        // The name field took only what the record keeps.
        EXPECT_EQ(window.patientList->topLevelItem(0)->text(0), longName.left(29));
        EXPECT_EQ(window.patientList->topLevelItem(0)->text(1), "04.03.1971");
        EXPECT_EQ(window.patientList->topLevelItem(0)->text(2), QString::fromUtf8("Муж"));
    }
    CardFileWindow reopened(state, seams, work());
    ASSERT_EQ(reopened.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(reopened.patientList->topLevelItem(0)->text(0), longName.left(29));
    EXPECT_EQ(reopened.patientList->topLevelItem(0)->text(1), "04.03.1971");
}

TEST_F(PatientWindowTest, ArchiveGoneUnderTheWindowIsReportedByOpenAndDelRec) {
    const auto id = addPatient("P", "1");
    addEntry(id, cardfile::kKindPlain, 12, 'a');
    CardFileWindow window(state, seams, work());
    int finished = 0;
    QObject::connect(&window, &QDialog::finished, [&finished] { ++finished; });
    select(window.patientList, 0);
    select(window.archiveList, 0);
    std::filesystem::remove(cf.archivePath(id));

    window.Open->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Ошибка открытия файла с ЭКГ"));
    EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8("Ошибка"));
    EXPECT_EQ(window.choice().request, CardRequest::None); // no review, no recording
    EXPECT_EQ(finished, 0);                                // the window stays open

    state.setLanguage(velkard::ui::Language::English);
    messages.answers = {true};
    window.DelRec->click();
    ASSERT_EQ(messages.shown.size(), 3u); // the question, then the failure
    EXPECT_EQ(messages.shown[1].text, "Delete the recording?");
    EXPECT_EQ(messages.shown[2].text, "Cannot open the file");
    EXPECT_EQ(messages.shown[2].caption, "Error");
    EXPECT_TRUE(std::filesystem::exists(cf.recordingPath(id, 1)));
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 1);
    EXPECT_EQ(finished, 0);
}

TEST_F(PatientWindowTest, ChangeOkKeepsAnUnreadableBirthDateUnlessTheDateIsChanged) {
    cardfile::PatientRecord r;
    r.name = "Odd Date";
    r.policy = "5";
    r.birthDate = "1950/02/01";
    r.id = cf.newPatientId();
    ASSERT_TRUE(cf.createPatientArchive(r.id));
    ASSERT_TRUE(cf.appendPatientRecord(r));
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        dialog.addressEdit->setText("Elm Street 1");
        dialog.OK->click();
        return -1;
    });
    window.Change->click();
    auto kept = cf.readPatient(0);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept.value.birthDate, "1950/02/01"); // not today's date
    EXPECT_EQ(kept.value.address, "Elm Street 1");
    EXPECT_EQ(window.patientList->topLevelItem(0)->text(1), "1950/02/01");

    select(window.patientList, 0);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        dialog.birthDatePicker->setDate(QDate(1951, 3, 4));
        dialog.OK->click();
        return -1;
    });
    window.Change->click();
    EXPECT_EQ(cf.readPatient(0).value.birthDate, "04.03.1951");
}

TEST_F(PatientWindowTest, UnreadableRowClearsTheChosenPatientAndWriteRefuses) {
    const auto first = addPatient("First", "1");
    addPatient("Second", "2");
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    ASSERT_EQ(window.selection().patientId.toStdString(), first);
    // The index loses its second record under the open window.
    std::filesystem::resize_file(cf.indexPath(), cardfile::kPatientRecordBytes);
    select(window.patientList, 1);
    EXPECT_TRUE(window.selection().patientId.isEmpty());
    EXPECT_TRUE(window.selection().patientName.isEmpty());
    window.Write->click();
    EXPECT_NE(window.choice().request, CardRequest::Write);
    EXPECT_TRUE(window.selection().recordingPath.isEmpty());
    EXPECT_TRUE(messages.contains(QString::fromUtf8("Выберите пациента")));
    EXPECT_FALSE(std::filesystem::exists(cf.recordingPath(first, 1)));
}

TEST_F(PatientWindowTest, DelRecAndDeleteForgetAnOpenedRhythmogram) {
    const auto id = addPatient("P", "1");
    addEntry(id, cardfile::kKindRhythm, 0, 'a');
    addEntry(id, cardfile::kKindPlain, 5, 'b');
    {
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        select(window.patientList, 0);
        select(window.archiveList, 0);
        window.Open->click();
        closed(window);
        ASSERT_TRUE(shown(Shown::Rhythmogram));
    }
    {
        // Deleting the rhythmogram renames recording 2 to 1: the opened path now names it.
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        session.cardFileOpening();
        select(window.patientList, 0);
        select(window.archiveList, 0);
        window.DelRec->click();
        ASSERT_EQ(window.archiveList->topLevelItemCount(), 1);
        window.OK->click();
        closed(window);
        EXPECT_FALSE(shown(Shown::Rhythmogram));
        EXPECT_TRUE(session.selection().recordingPath.isEmpty());
    }
    addEntry(id, cardfile::kKindRhythm, 0, 'c');
    {
        CardFileWindow window(state, seams, work());
        startFromSession(window);
        select(window.patientList, 0);
        select(window.archiveList, 1);
        window.Open->click();
        closed(window);
        ASSERT_TRUE(shown(Shown::Rhythmogram));
    }
    CardFileWindow window(state, seams, work());
    startFromSession(window);
    session.cardFileOpening();
    select(window.patientList, 0);
    window.Delete->click();
    ASSERT_EQ(window.patientList->topLevelItemCount(), 0);
    window.OK->click();
    closed(window);
    EXPECT_FALSE(shown(Shown::Rhythmogram));
    EXPECT_TRUE(session.selection().recordingPath.isEmpty());
}

TEST_F(PatientWindowTest, EnterInAListPressesNoButtonAndEscCloses) {
    addPatient("P", "1");
    CardFileWindow window(state, seams, work());
    window.show();
    for (QTreeWidget* list : {window.patientList, window.archiveList}) {
        select(window.patientList, 0);
        list->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            QKeyEvent enter(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(list, &enter);
        }
    }
    EXPECT_TRUE(dialogs.shownNames.empty()); // no New patient dialog
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.patientList->topLevelItemCount(), 1);
    EXPECT_EQ(window.choice().request, CardRequest::None);
    for (auto* b : window.findChildren<QPushButton*>())
        EXPECT_FALSE(b->autoDefault() || b->isDefault()) << b->objectName().toStdString();

    // A request made before (Write on the patient) is taken back by Esc.
    select(window.patientList, 0);
    window.Write->click();
    ASSERT_EQ(window.choice().request, CardRequest::Write);
    window.show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.patientList, &esc);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(window.choice().request, CardRequest::None);
}

TEST_F(PatientWindowTest, WriteRefusesAFullArchiveBeforeRecording) {
    const auto id = addPatient("P", "1");
    // 998 entries written in one go.
    std::string archive;
    for (int n = 1; n < cardfile::kMaxRecordNumber; ++n) {
        auto entry = cardfile::encodeArchiveEntry(n, "05.06.2021", "09:05:03",
                                                  cardfile::EntryDuration::ofSeconds(1),
                                                  cardfile::kKindPlain);
        ASSERT_TRUE(entry);
        archive.append(entry.value.begin(), entry.value.end());
    }
    std::ofstream(cf.archivePath(id), std::ios::binary) << archive;
    {
        // 998 entries: one more can be written, as number 999.
        CardFileWindow window(state, seams, work());
        select(window.patientList, 0);
        window.Write->click();
        EXPECT_EQ(window.choice().request, CardRequest::Write);
        EXPECT_EQ(window.selection().recordNumber, 999);
    }
    ASSERT_TRUE(cf.appendArchiveEntry(id, 999, "05.06.2021", "09:05:03",
                                      cardfile::EntryDuration::ofSeconds(1), cardfile::kKindPlain));
    state.setLanguage(velkard::ui::Language::English);
    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    window.Write->click();
    EXPECT_NE(window.choice().request, CardRequest::Write);
    EXPECT_TRUE(window.selection().recordingPath.isEmpty());
    EXPECT_NE(window.result(), QDialog::Accepted);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains("999"));
    EXPECT_TRUE(messages.lastText().contains("full"));
}

TEST_F(PatientWindowTest, GermanAtRunTimeRelabelsTheWindowAndSwitchingBackRestoresTheCaptions) {
    CardFileWindow window(state, seams, work());
    // Installs the language and delivers the LanguageChange events Qt posts to the windows.
    const auto switchTo = [](ui::Language l) {
        ASSERT_TRUE(ui::useLanguage(l));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    };
    switchTo(ui::Language::German);
    EXPECT_EQ(window.New->text(), "Neuer Patient");
    EXPECT_EQ(window.Write->text(), "Aufnahme");
    EXPECT_EQ(window.Export->text(), "Export");
    EXPECT_EQ(window.policyLabel->text(), "Krankenversicherungsnummer");
    EXPECT_EQ(window.archiveList->headerItem()->text(3), "EKG-Dauer, s");
    // A heading too wide for its column is read whole in its tooltip, in the language shown.
    EXPECT_EQ(window.archiveList->headerItem()->toolTip(3), "EKG-Dauer, s");
    EXPECT_EQ(window.Write->toolTip(), "EKG-Aufnahme in Echtzeit");

    switchTo(ui::Language::English);
    EXPECT_EQ(window.windowTitle(), "Patient");
    EXPECT_EQ(window.New->text(), "New patient");
    EXPECT_EQ(window.Write->text(), "Write");
    EXPECT_EQ(window.birthDateLabel->text(), "Date of birth");
    EXPECT_EQ(window.patientList->headerItem()->text(0), "Name");
    EXPECT_EQ(window.nameLabel->text(), "Name");
    EXPECT_EQ(window.Write->toolTip(), "Record a new ECG live");

    switchTo(ui::Language::Russian);
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("Пациент"));
    EXPECT_EQ(window.New->text(), QString::fromUtf8("Новый пациент"));
    EXPECT_EQ(window.Write->text(), QString::fromUtf8("Запись"));
    EXPECT_EQ(window.Export->text(), QString::fromUtf8("Экспорт"));
    EXPECT_EQ(window.archiveList->headerItem()->text(3), QString::fromUtf8("Длительность ЭКГ,с"));
    EXPECT_EQ(window.Write->toolTip(), QString::fromUtf8("Регистрация ЭКГ в реальном времени"));

    // Messages follow the view state's language at the moment they are shown.
    state.setLanguage(velkard::ui::Language::German);
    window.changePatient();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Wählen Sie den Patienten"));
    EXPECT_EQ(messages.shown[0].caption, "Achtung");
}

namespace {

// Types a text into the field as key presses carrying the characters (Cyrillic included).
void typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &release);
    }
}

void eraseAll(QLineEdit* edit) {
    edit->setFocus();
    while (!edit->text().isEmpty()) {
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QApplication::sendEvent(edit, &backspace);
    }
}

QStringList column(const QTreeWidget* list, int c) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(c);
    return texts;
}

int selectedRow(const QTreeWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->indexOfTopLevelItem(items.front());
}

QString u(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

class PatientSearchTest : public PatientWindowTest {
protected:
    std::string add(const char* name, const char* birth, const char* policy) {
        cardfile::PatientRecord r;
        r.name = name;
        r.birthDate = birth;
        r.policy = policy;
        r.sex = "Жен";
        r.id = cf.newPatientId();
        EXPECT_TRUE(cf.createPatientArchive(r.id));
        EXPECT_TRUE(cf.appendPatientRecord(r));
        return r.id;
    }
};

// What is typed narrows the list; the patient chosen stays chosen while listed and is never
// replaced by whoever takes their row; every action acts on the patient shown selected.
TEST_F(PatientSearchTest, TypingFiltersAndActionsGoToThePatientShownSelected) {
    const auto ivanov = add("Иванов Пётр", "03.04.1961", "1111 2222");
    const auto petrov = add("Петров Иван", "15.05.1972", "3333");
    const auto yolkina = add("Ёлкина Анна", "01.02.1950", "4444");
    const auto sidorov = add("Сидоров Семён", "20.12.1980", "5555");
    for (int i = 0; i < 3; ++i)
        addEntry(yolkina, cardfile::kKindPlain, 10 + i, char('a' + i));
    addEntry(sidorov, cardfile::kKindPlain, 30, 's');

    CardFileWindow window(state, seams, work());
    ASSERT_EQ(window.patientList->topLevelItemCount(), 4);
    select(window.patientList, 2);
    select(window.archiveList, 1);
    ASSERT_EQ(window.nameValue->text(), u("Ёлкина Анна"));

    // "ЕЛК" finds "Ёлкина": the chosen patient and recording stay chosen as the list narrows.
    typeInto(window.searchEdit, u("ЕЛК"));
    EXPECT_EQ(column(window.patientList, 0), QStringList{u("Ёлкина Анна")});
    EXPECT_EQ(selectedRow(window.patientList), 0);
    EXPECT_EQ(window.nameValue->text(), u("Ёлкина Анна"));
    EXPECT_EQ(selectedRow(window.archiveList), 1);
    window.Open->click();
    EXPECT_TRUE(
        window.selection().recordingPath.endsWith(QString::fromStdString(yolkina) + "_ 2.dat"));

    // "иван" matches two names; the chosen patient is not among them, so nothing is chosen and
    // nothing of hers stays on show.
    eraseAll(window.searchEdit);
    EXPECT_EQ(window.patientList->topLevelItemCount(), 4);
    typeInto(window.searchEdit, u("иван"));
    EXPECT_EQ(column(window.patientList, 0), (QStringList{u("Иванов Пётр"), u("Петров Иван")}));
    EXPECT_EQ(selectedRow(window.patientList), -1);
    EXPECT_TRUE(window.nameValue->text().isEmpty());
    EXPECT_EQ(window.archiveList->topLevelItemCount(), 0);
    messages.shown.clear();
    window.Change->click();
    EXPECT_TRUE(messages.contains(u("Выберите пациента")));

    // The first row of a search for "семен" is Сидоров, the fourth patient of the index: he is
    // the one shown, changed and recorded into.
    eraseAll(window.searchEdit);
    typeInto(window.searchEdit, u("СЕМЕН"));
    ASSERT_EQ(column(window.patientList, 0), QStringList{u("Сидоров Семён")});
    select(window.patientList, 0);
    EXPECT_EQ(window.nameValue->text(), u("Сидоров Семён"));
    EXPECT_EQ(window.policyValue->text(), "5555");
    EXPECT_EQ(window.selection().patientIndex, 3);
    EXPECT_EQ(window.selection().patientId.toStdString(), sidorov);
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 1);
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::ChangePatientDialog&>(d);
        EXPECT_EQ(dialog.nameEdit->text(), u("Сидоров Семён"));
        dialog.telephoneEdit->setText("777");
        dialog.OK->click();
        return -1;
    });
    window.Change->click();
    EXPECT_EQ(cf.readPatient(3).value.telephone, "777");
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(cf.readPatient(i).value.telephone.empty()) << i;
    // The changed patient still matches and is listed.
    EXPECT_EQ(column(window.patientList, 0), QStringList{u("Сидоров Семён")});
    select(window.patientList, 0);
    window.Write->click();
    EXPECT_EQ(window.choice().request, CardRequest::Write);
    EXPECT_EQ(window.selection().recordingPath.toStdString(),
              cf.recordingPath(sidorov, 2).string());

    // Policy, ID and birth date find a patient too; Delete removes the one shown.
    CardFileWindow other(state, seams, work());
    typeInto(other.searchEdit, "3333");
    EXPECT_EQ(column(other.patientList, 0), QStringList{u("Петров Иван")});
    eraseAll(other.searchEdit);
    typeInto(other.searchEdit, QString::fromStdString(ivanov).trimmed().toUpper());
    EXPECT_EQ(column(other.patientList, 0), QStringList{u("Иванов Пётр")});
    eraseAll(other.searchEdit);
    typeInto(other.searchEdit, "01/02/1950");
    ASSERT_EQ(column(other.patientList, 0), QStringList{u("Ёлкина Анна")});
    select(other.patientList, 0);
    messages.answers = {true};
    other.Delete->click();
    EXPECT_EQ(messages.lastText(), u("Удалить пациента «Ёлкина Анна» и все его записи (3)?"));
    EXPECT_FALSE(std::filesystem::exists(cf.archivePath(yolkina)));
    const auto left = cf.listPatients();
    ASSERT_EQ(left.value.size(), 3u);
    EXPECT_EQ(left.value[2].id, sidorov);
    EXPECT_EQ(other.patientList->topLevelItemCount(), 0);
    // After the deletion the rows carry the new positions: Сидоров is third now.
    eraseAll(other.searchEdit);
    typeInto(other.searchEdit, u("сидоров"));
    select(other.patientList, 0);
    EXPECT_EQ(other.selection().patientIndex, 2);
    EXPECT_EQ(other.selection().patientId.toStdString(), sidorov);
    EXPECT_TRUE(std::filesystem::exists(cf.recordingPath(sidorov, 1)));
    EXPECT_TRUE(std::filesystem::exists(cf.archivePath(petrov)));
}

// Another workstation removes and adds patients while the window shows the list: the row of the
// patient chosen then holds someone else, and the window finds its patient again by ID.
TEST_F(PatientSearchTest, ARowTakenOverByAnotherPatientIsNeverShownAsTheChosenOne) {
    const auto first = add("Первая", "01.01.1950", "1");
    add("Вторая", "01.01.1951", "2");
    const auto third = add("Третья", "01.01.1952", "3");
    addEntry(third, cardfile::kKindPlain, 5, 't');
    CardFileWindow window(state, seams, work());
    typeInto(window.searchEdit, u("трет"));
    ASSERT_EQ(column(window.patientList, 0), QStringList{u("Третья")});
    // Elsewhere: the first patient removed, a fourth added in the third one's old row.
    ASSERT_TRUE(cf.removePatient(0, first));
    const auto fourth = add("Четвёртая", "01.01.1953", "4");
    select(window.patientList, 0);
    EXPECT_EQ(window.nameValue->text(), u("Третья"));
    EXPECT_EQ(window.selection().patientId.toStdString(), third);
    EXPECT_EQ(window.selection().patientIndex, 1);
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 1);
    select(window.archiveList, 0);
    window.Write->click();
    EXPECT_EQ(window.selection().recordingPath.toStdString(), cf.recordingPath(third, 2).string());
    EXPECT_NE(window.selection().patientId.toStdString(), fourth);
}

// A click on a header orders by that column, again the other way round; the rows keep naming
// their patients and recordings.
TEST_F(PatientSearchTest, HeadersOrderByDateAndNumberAndTheChosenRowStays) {
    add("Борисова", "31.01.1950", "1");
    const auto late = add("абрамова", "01.12.1990", "2");
    add("Ёжикова", "", "3");
    add("Егорова", "15.06.1970", "4");
    addEntry(late, cardfile::kKindPlain, 600, 'a');
    addEntry(late, cardfile::kKindPlain, 75, 'b');
    addEntry(late, cardfile::kKindRhythm, 0, 'c');
    addEntry(late, cardfile::kKindPlain, 9, 'd');
    CardFileWindow window(state, seams, work());
    QHeaderView* patients = window.patientList->header();
    emit patients->sectionClicked(1);
    EXPECT_EQ(column(window.patientList, 1),
              (QStringList{"31.01.1950", "15.06.1970", "01.12.1990", ""}));
    EXPECT_TRUE(patients->isSortIndicatorShown());
    EXPECT_EQ(patients->sortIndicatorOrder(), Qt::AscendingOrder);
    emit patients->sectionClicked(1);
    EXPECT_EQ(column(window.patientList, 1),
              (QStringList{"01.12.1990", "15.06.1970", "31.01.1950", ""}));
    EXPECT_EQ(patients->sortIndicatorOrder(), Qt::DescendingOrder);
    emit patients->sectionClicked(0);
    EXPECT_EQ(column(window.patientList, 0),
              (QStringList{u("абрамова"), u("Борисова"), u("Егорова"), u("Ёжикова")}));

    select(window.patientList, 0);
    ASSERT_EQ(window.selection().patientId.toStdString(), late);
    QHeaderView* entries = window.archiveList->header();
    emit entries->sectionClicked(3);
    EXPECT_EQ(column(window.archiveList, 0), (QStringList{"  4", "  2", "  1", "  3"}));
    select(window.archiveList, 1);
    // Reordering keeps the chosen recording chosen; it is the one opened.
    emit entries->sectionClicked(3);
    EXPECT_EQ(column(window.archiveList, 0), (QStringList{"  1", "  2", "  4", "  3"}));
    EXPECT_EQ(window.archiveList->selectedItems().front()->text(0), "  2");
    // Typing keeps the patient and the recording chosen.
    typeInto(window.searchEdit, u("АБР"));
    EXPECT_EQ(window.archiveList->selectedItems().front()->text(0), "  2");
    window.Open->click();
    EXPECT_EQ(window.selection().entryDuration, 75);
    EXPECT_TRUE(window.selection().recordingPath.endsWith("_ 2.dat"));
    // DelRec removes the recording shown chosen, whatever its place in the list.
    CardFileWindow again(state, seams, work());
    select(again.patientList, 1);
    emit again.archiveList->header()->sectionClicked(3);
    select(again.archiveList, 0); // recording 4, 9 s
    messages.answers = {true};
    again.DelRec->click();
    const auto kept = cf.listArchiveEntries(late);
    ASSERT_EQ(kept.value.size(), 3u);
    EXPECT_EQ(kept.value[0].durationSeconds(), 600);
    EXPECT_EQ(kept.value[1].durationSeconds(), 75);
    EXPECT_FALSE(kept.value[2].durationSeconds()); // the rhythmogram
    EXPECT_EQ(contents(cf.recordingPath(late, 3)), std::string(32, 'c'));
}

TEST_F(PatientSearchTest, NewPatientHiddenByTheSearchIsShownChosen) {
    add("Иванова", "01.01.1950", "1");
    CardFileWindow window(state, seams, work());
    typeInto(window.searchEdit, u("иван"));
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        dialog.nameEdit->setText(u("Петрова"));
        dialog.sexBox->setCurrentIndex(1);
        dialog.policyEdit->setText("2");
        dialog.OK->click();
        return -1;
    });
    window.New->click();
    EXPECT_TRUE(window.searchEdit->text().isEmpty());
    ASSERT_EQ(window.patientList->topLevelItemCount(), 2);
    EXPECT_EQ(window.patientList->selectedItems().front()->text(0), u("Петрова"));
    EXPECT_EQ(window.selection().patientIndex, 1);
    window.applyLanguage(false);
    EXPECT_EQ(window.searchLabel->text(), "Search:");
    EXPECT_EQ(window.searchEdit->placeholderText(), "Name, ID, policy or date of birth");
}

// The archive shows each recording's report as the report file beside it says it, without
// reading the recording (these hold 32 bytes, nothing to measure): the statement codes (free text
// shortened) and whether it is confirmed; nothing for a recording without a report or with one
// made on another recording, a note for a damaged one. The words follow the language.
TEST_F(PatientWindowTest, TheArchiveShowsEachReportsStatementsAndConfirmation) {
    const std::string id = addPatient("Reports", "R1");
    for (char fill : {'a', 'b', 'c', 'd', 'e'})
        addEntry(id, "", 10, fill);
    const auto statement = [](const char* code) {
        interpret::Statement s;
        s.code = code;
        s.text = {interpret::statementText(code, interpret::Language::Russian),
                  interpret::statementText(code, interpret::Language::English)};
        return s;
    };
    const CardFile::ReportAuthor author{"", "test@host"};
    // 2: the program's, unconfirmed, one struck out.
    interpret::Report two = interpret::draftReport(
        {statement("SR"), statement("LAD"), statement("LVH")}, "05.06.2021 09:05:03", 0, 8000);
    interpret::removeStatement(two, 2);
    ASSERT_TRUE(cf.writeReport(id, 2, interpret::encodeReport(two), author, "made"));
    // 3: confirmed, with the physician's words.
    interpret::Report three =
        interpret::draftReport({statement("SR")}, "05.06.2021 09:05:03", 0, 8000);
    interpret::addFreeText(three, "Сравнить с ЭКГ от 01.02.2025 года");
    interpret::confirmReport(three, "Иванова А. П.", "05.06.2021 10:00:00");
    ASSERT_TRUE(cf.writeReport(id, 3, interpret::encodeReport(three), author, "confirmed"));
    // 4: made on another recording than the one now filed under this number.
    interpret::Report four =
        interpret::draftReport({statement("AFIB")}, "01.01.2020 08:00:00", 0, 8000);
    ASSERT_TRUE(cf.writeReport(id, 4, interpret::encodeReport(four), author, "made"));
    // 5: cut short.
    const std::string cut = interpret::encodeReport(two);
    ASSERT_TRUE(cf.writeReport(id, 5, cut.substr(0, cut.size() / 2), author, "made"));

    CardFileWindow window(state, seams, work());
    select(window.patientList, 0);
    ASSERT_EQ(window.archiveList->topLevelItemCount(), 5);
    EXPECT_EQ(window.archiveList->columnCount(), 6);
    EXPECT_EQ(window.archiveList->headerItem()->text(5), QString::fromUtf8("Заключение"));
    const auto shown = [&](int number) {
        for (int i = 0; i < window.archiveList->topLevelItemCount(); ++i)
            if (window.archiveList->topLevelItem(i)->text(0).trimmed().toInt() == number)
                return window.archiveList->topLevelItem(i);
        return static_cast<QTreeWidgetItem*>(nullptr);
    };
    EXPECT_EQ(shown(1)->text(5), QString());
    EXPECT_EQ(shown(2)->text(5), QString::fromUtf8("SR, LAD · не подтверждено"));
    EXPECT_EQ(shown(3)->text(5), QString::fromUtf8("SR, Сравнить с ЭКГ от 0… · Подтверждено"));
    EXPECT_TRUE(
        shown(3)->toolTip(5).contains(QString::fromUtf8("Иванова А. П., 05.06.2021 10:00:00")));
    EXPECT_TRUE(
        shown(3)->toolTip(5).contains(QString::fromUtf8("Сравнить с ЭКГ от 01.02.2025 года")));
    EXPECT_EQ(shown(4)->text(5), QString());
    EXPECT_EQ(shown(5)->text(5), QString::fromUtf8("отчёт не читается"));

    // Ordered by another column, the texts stay with their recordings.
    window.archiveList->header()->sectionClicked(0);
    window.archiveList->header()->sectionClicked(0);
    EXPECT_EQ(window.archiveList->topLevelItem(0)->text(0).trimmed(), "5");
    EXPECT_EQ(shown(2)->text(5), QString::fromUtf8("SR, LAD · не подтверждено"));

    window.applyLanguage(false);
    EXPECT_EQ(window.archiveList->headerItem()->text(5), "Statements");
    EXPECT_EQ(shown(2)->text(5), QString::fromUtf8("SR, LAD · unconfirmed"));
    EXPECT_EQ(shown(3)->text(5), QString::fromUtf8("SR, Сравнить с ЭКГ от 0… · Confirmed"));
}
