// SPDX-License-Identifier: GPL-3.0-or-later
// The new-patient and change-patient dialogs driven headless: checks, messages, the created
// patient on disk, captions in both languages.
#include "cardfile/CardFile.h"
#include "cardfile/ui/PatientDialogs.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace velkard;
using cardfile::ui::ChangePatientDialog;
using cardfile::ui::NewPatientDialog;

namespace {

class NewPatientTest : public ::testing::Test {
protected:
    velkard::ui::ViewState state;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        state = velkard::ui::ViewState{};
        state.newPatient = {};
    }
    std::filesystem::path work() const { return dir.path().toStdString(); }
    std::size_t archiveCount() const {
        std::size_t n = 0;
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE", ec))
            if (e.path().filename() != "ID_Patient_real" &&
                !e.path().filename().string().starts_with(".")) // the card file's lock
                ++n;
        return n;
    }

    QTemporaryDir dir;
    ui::RecordingMessages messages;
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
        // Every caption in the interface's language (the policy message was once "Error").
        {"Иванов Иван", "", "Введите № страхового полиса", "Ошибка"},
    };
    for (const auto& c : cases) {
        messages.shown.clear();
        NewPatientDialog dialog(state, messages, work());
        dialog.nameEdit->setText(QString::fromUtf8(c.name));
        dialog.policyEdit->setText(QString::fromUtf8(c.policy));
        dialog.OK->click();
        ASSERT_EQ(messages.shown.size(), 1u) << c.text;
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8(c.text));
        EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8(c.caption));
        EXPECT_FALSE(state.newPatient.patientCreated);
        EXPECT_EQ(dialog.result(), 0); // still open
        EXPECT_EQ(archiveCount(), 0u);
    }
}

TEST_F(NewPatientTest, EnglishMessagesFollowTheInterface) {
    state.setLanguage(velkard::ui::Language::English);
    NewPatientDialog dialog(state, messages, work());
    dialog.OK->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QString::fromUtf8("Enter the patient's name and insurance policy number"));
    EXPECT_EQ(messages.shown[0].caption, "Error");
}

TEST_F(NewPatientTest, OkCreatesArchiveAndAppendsWhenAsked) {
    state.newPatient.selfAppend = true;
    NewPatientDialog dialog(state, messages, work());
    const QString longName = QString::fromUtf8("Константинопольский Александр Петрович");
    ASSERT_GT(longName.size(), 29);
    dialog.nameEdit->setText(longName);
    dialog.sexBox->setCurrentIndex(1);
    dialog.birthDatePicker->setDate(QDate(1961, 4, 12));
    dialog.birthplaceEdit->setText(QString::fromUtf8("Москва"));
    dialog.policyEdit->setText("7700 123456");
    dialog.OK->click();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(state.newPatient.patientCreated);
    EXPECT_FALSE(state.newPatient.selfAppend);
    // The name field takes no more than the record keeps; texts and record agree.
    EXPECT_EQ(state.patientTexts.name, longName.left(29));
    EXPECT_EQ(state.patientTexts.birthDate, "12.04.1961");
    EXPECT_EQ(state.patientTexts.sex, QString::fromUtf8("Жен"));

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
    NewPatientDialog dialog(state, messages, work());
    dialog.nameEdit->setText("Smith John");
    dialog.sexBox->setCurrentIndex(0);
    dialog.policyEdit->setText("42");
    dialog.OK->click();
    ASSERT_TRUE(state.newPatient.patientCreated);
    cardfile::CardFile cf(work());
    EXPECT_TRUE(std::filesystem::exists(cf.archivePath(dialog.record().id)));
    auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    EXPECT_TRUE(patients.value.empty());
}

// What made wrong cards easy: no sex, a birth date of today by default, the same policy twice, a
// field that silently refused what was typed.
TEST_F(NewPatientTest, AsksForSexStartsWithoutBirthDateAndWarnsOfADuplicatePolicy) {
    state.newPatient.selfAppend = true;
    {
        NewPatientDialog dialog(state, messages, work());
        EXPECT_TRUE(dialog.pickerDateText().isEmpty());
        dialog.nameEdit->setText("First");
        dialog.policyEdit->setText("42");
        dialog.OK->click();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Укажите пол пациента"));
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(archiveCount(), 0u);
        dialog.sexBox->setCurrentIndex(0);
        dialog.OK->click();
        ASSERT_TRUE(state.newPatient.patientCreated);
        // Left empty, the birth date is stored empty: unknown, not today.
        EXPECT_TRUE(cardfile::CardFile(work()).listPatients().value.at(0).birthDate.empty());
    }
    messages.shown.clear();
    state.newPatient.selfAppend = true;
    NewPatientDialog dialog(state, messages, work());
    dialog.nameEdit->setText("Second");
    dialog.sexBox->setCurrentIndex(1);
    dialog.policyEdit->setText(" 42");
    messages.answers = {false};
    dialog.OK->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].question);
    EXPECT_FALSE(messages.shown[0].yesByDefault);
    EXPECT_EQ(messages.shown[0].text,
              QString::fromUtf8("В картотеке уже есть пациент с полисом № 42: First. "
                                "Создать ещё одного?"));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(cardfile::CardFile(work()).listPatients().value.size(), 1u);
    messages.answers = {true};
    dialog.OK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(cardfile::CardFile(work()).listPatients().value.size(), 2u);

    // A telephone typed past the field's width says so instead of dropping keys without a word.
    ChangePatientDialog change(state);
    change.telephoneEdit->setFocus();
    QTest::keyClicks(change.telephoneEdit, QString(40, QLatin1Char('5')));
    EXPECT_EQ(change.telephoneEdit->text().size(), change.telephoneEdit->maxLength());
    EXPECT_EQ(
        change.limitNote->text(),
        QString::fromUtf8("«Телефон»: не более %1 знаков").arg(change.telephoneEdit->maxLength()));
}

TEST_F(NewPatientTest, CancelAfterAnEarlierSuccessCreatesNothing) {
    {
        NewPatientDialog first(state, messages, work());
        first.nameEdit->setText("A");
        first.sexBox->setCurrentIndex(0);
        first.policyEdit->setText("1");
        first.OK->click();
        ASSERT_TRUE(state.newPatient.patientCreated);
    }
    state.newPatient.selfAppend = true;
    NewPatientDialog second(state, messages, work());
    EXPECT_FALSE(state.newPatient.patientCreated);
    EXPECT_TRUE(state.patientTexts.name.isEmpty());
    second.nameEdit->setText("B");
    second.Cancel->click();
    EXPECT_FALSE(state.newPatient.patientCreated);
    EXPECT_FALSE(state.newPatient.selfAppend);
    EXPECT_EQ(archiveCount(), 1u);
}

TEST_F(NewPatientTest, ArchiveThatCannotBeCreatedKeepsTheDialogOpen) {
    // A plain file where the folder should be: nothing can be created below it.
    std::filesystem::create_directories(work());
    {
        std::FILE* f = std::fopen((work() / "DATA_BASE").c_str(), "w");
        std::fclose(f);
    }
    NewPatientDialog dialog(state, messages, work());
    dialog.nameEdit->setText("A");
    dialog.sexBox->setCurrentIndex(0);
    dialog.policyEdit->setText("1");
    dialog.OK->click();
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_TRUE(messages.shown[0].text.startsWith(QString::fromUtf8("Ошибка создания ID файла")));
    EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8("Ошибка"));
    EXPECT_FALSE(state.newPatient.patientCreated);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST_F(NewPatientTest, CaptionsInBothLanguages) {
    NewPatientDialog dialog(state, messages, work());
    dialog.applyLanguage(false);
    EXPECT_EQ(dialog.windowTitle(), "New patient");
    EXPECT_EQ(dialog.birthDateLabel->text(), "Date of birth");
    EXPECT_EQ(dialog.birthplaceLabel->text(), "Place of birth");
    EXPECT_EQ(dialog.policyLabel->text(), "Insurance policy No.");
    EXPECT_EQ(dialog.Cancel->text(), "Cancel");
    EXPECT_EQ(dialog.sexBox->itemText(0), "men");
    EXPECT_EQ(dialog.sexBox->itemText(1), "wom");
    dialog.applyLanguage(true);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Новый пациент"));
    EXPECT_EQ(dialog.policyLabel->text(), QString::fromUtf8("Медицинский страховой полис"));
    EXPECT_EQ(dialog.Cancel->text(), QString::fromUtf8("Отмена"));
    EXPECT_EQ(dialog.sexBox->itemText(0), QString::fromUtf8("Муж"));
    EXPECT_EQ(dialog.OK->text(), "OK");

    ChangePatientDialog change(state);
    change.applyLanguage(false);
    EXPECT_EQ(change.windowTitle(), "Change the patient's details");
    change.applyLanguage(true);
    EXPECT_EQ(change.windowTitle(), QString::fromUtf8("Изменить данные о пациенте"));
    EXPECT_EQ(change.Cancel->text(), QString::fromUtf8("Отмена"));
}

// One stored value whatever the language of entry, shown in the interface language; the form
// English entry once stored reads the same.
TEST_F(NewPatientTest, SexIsStoredInOneFormAndShownInTheInterfaceLanguage) {
    state.setLanguage(velkard::ui::Language::English);
    state.newPatient.selfAppend = true;
    NewPatientDialog dialog(state, messages, work());
    dialog.nameEdit->setText("Smith John");
    dialog.sexBox->setCurrentIndex(0);
    EXPECT_EQ(dialog.sexBox->currentText(), "men");
    dialog.policyEdit->setText("42");
    dialog.OK->click();
    cardfile::CardFile cf(work());
    auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 1u);
    EXPECT_EQ(patients.value[0].sex, "Муж");
    using velkard::cardfile::ui::shownSex;
    using velkard::cardfile::ui::storedSex;
    using velkard::ui::Language;
    EXPECT_EQ(shownSex(QString::fromUtf8("Муж"), Language::English), "men");
    EXPECT_EQ(shownSex("wom", Language::Russian), QString::fromUtf8("Жен"));
    EXPECT_EQ(shownSex("wom", Language::English), "wom");
    EXPECT_EQ(storedSex("men"), QString::fromUtf8("Муж"));
    EXPECT_EQ(storedSex(QString::fromUtf8("Жен")), QString::fromUtf8("Жен"));
    EXPECT_EQ(storedSex("X"), "X"); // a typed text stays as it is
}

TEST(ChangePatientTest, TypingUpdatesTextsAndOkTakesThePickerDate) {
    velkard::ui::ViewState state;
    ui::RecordingMessages messages;
    ChangePatientDialog dialog(state);
    dialog.addressEdit->setText("Baker Street 221b");
    dialog.telephoneEdit->setText("555-0100");
    dialog.birthDatePicker->setDate(QDate(2001, 2, 3));
    EXPECT_EQ(state.patientTexts.address, "Baker Street 221b");
    EXPECT_EQ(state.patientTexts.telephone, "555-0100");
    dialog.OK->click();
    EXPECT_EQ(state.patientTexts.birthDate, "03.02.2001");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.shown.empty()); // the change dialog checks nothing
}

TEST_F(NewPatientTest, TypedSexTextDoesNotBecomeAThirdItem) {
    NewPatientDialog dialog(state, messages, work());
    dialog.sexBox->lineEdit()->setText("X");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.sexBox->lineEdit(), &enter);
    EXPECT_EQ(dialog.sexBox->count(), 2);
    EXPECT_EQ(state.patientTexts.sex, "X");
    // Switching the language relabels exactly the two sex items.
    dialog.applyLanguage(false);
    EXPECT_EQ(dialog.sexBox->itemText(0), "men");
    EXPECT_EQ(dialog.sexBox->itemText(1), "wom");
}

TEST(ChangePatientTest, SizeAndBorderIconsDifferFromTheNewPatientDialog) {
    velkard::ui::ViewState state;
    ui::RecordingMessages messages;
    QTemporaryDir dir;
    NewPatientDialog created(state, messages, std::filesystem::path(dir.path().toStdString()));
    ChangePatientDialog change(state);
    EXPECT_EQ(created.size(), QSize(516, 300));
    EXPECT_EQ(change.size(), QSize(490, 295));
    EXPECT_TRUE(change.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(change.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(created.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(created.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(created.windowFlags().testFlag(Qt::WindowSystemMenuHint));
}

TEST_F(NewPatientTest, FieldsTakeNoMoreThanTheRecordStores) {
    state.newPatient.selfAppend = true;
    NewPatientDialog dialog(state, messages, work());
    // Longer than every field; Cyrillic is one stored byte per character.
    const QString tooLong = QString::fromUtf8("Ж").repeated(20) + QString("0123456789").repeated(6);
    for (QLineEdit* e : {dialog.nameEdit, dialog.birthplaceEdit, dialog.addressEdit,
                         dialog.telephoneEdit, dialog.policyEdit, dialog.sexBox->lineEdit()}) {
        e->setText(tooLong);
    }
    EXPECT_EQ(dialog.telephoneEdit->text().size(), 15);
    EXPECT_EQ(dialog.nameEdit->text().size(), 29);
    EXPECT_EQ(dialog.sexBox->currentText().size(), 3);
    dialog.OK->click();
    ASSERT_TRUE(state.newPatient.patientCreated);
    cardfile::CardFile cf(work());
    auto stored = cf.readPatient(0);
    ASSERT_TRUE(stored);
    // What the fields show is exactly what the card file keeps: nothing is cut without a word.
    EXPECT_EQ(QString::fromStdString(stored.value.name), dialog.nameEdit->text());
    EXPECT_EQ(QString::fromStdString(stored.value.sex), dialog.sexBox->currentText());
    EXPECT_EQ(QString::fromStdString(stored.value.birthplace), dialog.birthplaceEdit->text());
    EXPECT_EQ(QString::fromStdString(stored.value.address), dialog.addressEdit->text());
    EXPECT_EQ(QString::fromStdString(stored.value.telephone), dialog.telephoneEdit->text());
    EXPECT_EQ(QString::fromStdString(stored.value.policy), dialog.policyEdit->text());
}
