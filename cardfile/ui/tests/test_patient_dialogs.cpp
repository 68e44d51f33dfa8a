// The new-patient and change-patient dialogs driven headless: checks, messages, the created
// patient on disk, captions in both languages.
#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/CardFile.h"
#include "cardfile/ui/PatientDialogs.h"
#include "cardfile/ui/Selection.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkard;
using cardfile::ui::TChange_patient;
using cardfile::ui::TNew_patient;

namespace {

class NewPatientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ui::flags() = ui::AppFlags{};
        cardfile::ui::newPatientFlags() = {};
    }
    std::filesystem::path work() const { return dir.path().toStdString(); }
    std::size_t archiveCount() const {
        std::size_t n = 0;
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE", ec))
            if (e.path().filename() != "ID_Patient_real")
                ++n;
        return n;
    }

    QTemporaryDir dir;
    ui::RecordingMessages messages;
    ui::ScopedMessages scoped{&messages};
};

} // namespace

TEST_F(NewPatientTest, MissingNameOrPolicyShowsOneMessageAndCreatesNothing) {
    struct Case {
        const char* name;
        const char* policy;
        const char* text;
        const char* caption;
    };
    const Case cases[] = {
        {"", "", "Введите ФИО пациента и № страхового полиса", "Ошибка"},
        {"", "12345", "Введите ФИО пациента", "Ошибка"},
        // The policy message keeps the English caption in the Russian interface.
        {"Иванов Иван", "", "Введите № страхового полиса", "Error"},
    };
    for (const auto& c : cases) {
        messages.shown.clear();
        TNew_patient dialog(work());
        dialog.Edit1->setText(QString::fromUtf8(c.name));
        dialog.Edit5->setText(QString::fromUtf8(c.policy));
        dialog.Button1->click();
        ASSERT_EQ(messages.shown.size(), 1u) << c.text;
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8(c.text));
        EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8(c.caption));
        EXPECT_FALSE(cardfile::ui::newPatientFlags().patientCreated);
        EXPECT_EQ(dialog.result(), 0); // still open
        EXPECT_EQ(archiveCount(), 0u);
    }
}

TEST_F(NewPatientTest, EnglishMessagesFollowTheInterface) {
    ui::flags().russian = false;
    TNew_patient dialog(work());
    dialog.Button1->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].text,
        QString::fromUtf8("Enter surname, name of the patient and № of the insurance policy"));
    EXPECT_EQ(messages.shown[0].caption, "Error");
}

TEST_F(NewPatientTest, OkCreatesArchiveAndAppendsWhenAsked) {
    cardfile::ui::newPatientFlags().selfAppend = true;
    TNew_patient dialog(work());
    const QString longName = QString::fromUtf8("Константинопольский Александр Петрович");
    ASSERT_GT(longName.size(), 29);
    dialog.Edit1->setText(longName);
    dialog.ComboBox1->setCurrentIndex(1);
    dialog.DateTimePicker1->setDate(QDate(1961, 4, 12));
    dialog.Edit2->setText(QString::fromUtf8("Москва"));
    dialog.Edit5->setText("7700 123456");
    dialog.Button1->click();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(cardfile::ui::newPatientFlags().patientCreated);
    EXPECT_FALSE(cardfile::ui::newPatientFlags().selfAppend);
    // The patient texts keep what was typed; the record holds the field widths.
    EXPECT_EQ(cardfile::ui::patientTexts().name, longName);
    EXPECT_EQ(cardfile::ui::patientTexts().birthDate, "12.04.1961");
    EXPECT_EQ(cardfile::ui::patientTexts().sex, QString::fromUtf8("Жен"));

    cardfile::CardFile cf(work());
    auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 1u);
    const auto& p = patients.value[0];
    EXPECT_EQ(QString::fromStdString(p.name), longName.left(29));
    EXPECT_EQ(p.birthDate, "12.04.1961");
    EXPECT_EQ(p.sex, "Жен");
    EXPECT_EQ(p.birthplace, "Москва");
    EXPECT_EQ(p.policy, "7700 123456");
    EXPECT_EQ(p.id, dialog.record().id);
    EXPECT_TRUE(std::filesystem::exists(cf.archivePath(p.id)));
}

TEST_F(NewPatientTest, WithoutSelfAppendOnlyTheArchiveIsCreated) {
    TNew_patient dialog(work());
    dialog.Edit1->setText("Smith John");
    dialog.Edit5->setText("42");
    dialog.Button1->click();
    ASSERT_TRUE(cardfile::ui::newPatientFlags().patientCreated);
    cardfile::CardFile cf(work());
    EXPECT_TRUE(std::filesystem::exists(cf.archivePath(dialog.record().id)));
    auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    EXPECT_TRUE(patients.value.empty());
    // The sex was never chosen: empty text, empty field.
    EXPECT_TRUE(cardfile::ui::patientTexts().sex.isEmpty());
    EXPECT_TRUE(dialog.record().sex.empty());
}

TEST_F(NewPatientTest, CancelAfterAnEarlierSuccessCreatesNothing) {
    {
        TNew_patient first(work());
        first.Edit1->setText("A");
        first.Edit5->setText("1");
        first.Button1->click();
        ASSERT_TRUE(cardfile::ui::newPatientFlags().patientCreated);
    }
    cardfile::ui::newPatientFlags().selfAppend = true;
    TNew_patient second(work());
    EXPECT_FALSE(cardfile::ui::newPatientFlags().patientCreated);
    EXPECT_TRUE(cardfile::ui::patientTexts().name.isEmpty());
    second.Edit1->setText("B");
    second.Button2->click();
    EXPECT_FALSE(cardfile::ui::newPatientFlags().patientCreated);
    EXPECT_FALSE(cardfile::ui::newPatientFlags().selfAppend);
    EXPECT_EQ(archiveCount(), 1u);
}

TEST_F(NewPatientTest, ArchiveThatCannotBeCreatedKeepsTheDialogOpen) {
    // A plain file where the folder should be: nothing can be created below it.
    std::filesystem::create_directories(work());
    {
        std::FILE* f = std::fopen((work() / "DATA_BASE").c_str(), "w");
        std::fclose(f);
    }
    TNew_patient dialog(work());
    dialog.Edit1->setText("A");
    dialog.Edit5->setText("1");
    dialog.Button1->click();
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_TRUE(messages.shown[0].text.startsWith(QString::fromUtf8("Ошибка создания ID файла")));
    EXPECT_EQ(messages.shown[0].caption, "Error");
    EXPECT_FALSE(cardfile::ui::newPatientFlags().patientCreated);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST_F(NewPatientTest, CaptionsInBothLanguages) {
    TNew_patient dialog(work());
    dialog.applyLanguage(false);
    EXPECT_EQ(dialog.windowTitle(), "New patient");
    EXPECT_EQ(dialog.Label3->text(), "    Date of birth");
    EXPECT_EQ(dialog.Label4->text(), "   The birthplace");
    EXPECT_EQ(dialog.Label7->text(), "   The medical insurance policy");
    EXPECT_EQ(dialog.Button2->text(), "Cancel");
    EXPECT_EQ(dialog.ComboBox1->itemText(0), "men");
    EXPECT_EQ(dialog.ComboBox1->itemText(1), "wom");
    dialog.applyLanguage(true);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Новый пациент"));
    EXPECT_EQ(dialog.Label7->text(), QString::fromUtf8("Медицинский страховой полис"));
    EXPECT_EQ(dialog.Button2->text(), QString::fromUtf8("Отмена"));
    EXPECT_EQ(dialog.ComboBox1->itemText(0), QString::fromUtf8("Муж"));
    EXPECT_EQ(dialog.Button1->text(), "OK");

    TChange_patient change;
    change.applyLanguage(false);
    EXPECT_EQ(change.windowTitle(), "Change of Data on the Patient");
    change.applyLanguage(true);
    EXPECT_EQ(change.windowTitle(), QString::fromUtf8("Изменить данные о пациенте"));
    EXPECT_EQ(change.Cancel->text(), QString::fromUtf8("Отмена"));
}

TEST_F(NewPatientTest, EnglishSexIsStoredAsTyped) {
    ui::flags().russian = false;
    cardfile::ui::newPatientFlags().selfAppend = true;
    TNew_patient dialog(work());
    dialog.Edit1->setText("Smith John");
    dialog.ComboBox1->setCurrentIndex(0);
    dialog.Edit5->setText("42");
    dialog.Button1->click();
    cardfile::CardFile cf(work());
    auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 1u);
    EXPECT_EQ(patients.value[0].sex, "men");
}

TEST(ChangePatientTest, TypingUpdatesTextsAndOkTakesThePickerDate) {
    ui::RecordingMessages messages;
    ui::ScopedMessages scoped(&messages);
    cardfile::ui::selection().writeRequest = true;
    ui::flags().cardReview = true;
    TChange_patient dialog;
    dialog.Edit3->setText("Baker Street 221b");
    dialog.Edit4->setText("555-0100");
    dialog.DateTimePicker1->setDate(QDate(2001, 2, 3));
    EXPECT_EQ(cardfile::ui::patientTexts().address, "Baker Street 221b");
    EXPECT_EQ(cardfile::ui::patientTexts().telephone, "555-0100");
    dialog.OK->click();
    EXPECT_EQ(cardfile::ui::patientTexts().birthDate, "03.02.2001");
    EXPECT_FALSE(cardfile::ui::selection().writeRequest);
    EXPECT_FALSE(ui::flags().cardReview);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.shown.empty()); // the change dialog checks nothing
}

TEST_F(NewPatientTest, TypedSexTextDoesNotBecomeAThirdItem) {
    TNew_patient dialog(work());
    dialog.ComboBox1->lineEdit()->setText("X");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.ComboBox1->lineEdit(), &enter);
    EXPECT_EQ(dialog.ComboBox1->count(), 2);
    EXPECT_EQ(cardfile::ui::patientTexts().sex, "X");
    // Switching the language relabels exactly the two sex items.
    dialog.applyLanguage(false);
    EXPECT_EQ(dialog.ComboBox1->itemText(0), "men");
    EXPECT_EQ(dialog.ComboBox1->itemText(1), "wom");
}

TEST(ChangePatientTest, SizeAndBorderIconsDifferFromTheNewPatientDialog) {
    QTemporaryDir dir;
    TNew_patient created(std::filesystem::path(dir.path().toStdString()));
    TChange_patient change;
    EXPECT_EQ(created.size(), QSize(516, 300));
    EXPECT_EQ(change.size(), QSize(490, 295));
    EXPECT_TRUE(change.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(change.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(created.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(created.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(created.windowFlags().testFlag(Qt::WindowSystemMenuHint));
}
