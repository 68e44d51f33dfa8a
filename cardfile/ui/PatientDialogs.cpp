// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/ui/PatientDialogs.h"

#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velkard::cardfile::ui {

namespace {

struct Caption {
    const char* russian;
    const char* english;
};

// nameLabel .. policyLabel of both dialogs.
constexpr Caption kLabels[7] = {
    {"Ф.И.О.", "Surname, name"},
    {"Пол", "Sex"},
    {"Дата рождения", "    Date of birth"},
    {"Место рождения", "   The birthplace"},
    {"Адрес", "The address"},
    {"Телефон", "The telephone"},
    {"Медицинский страховой полис", "   The medical insurance policy"},
};
constexpr Caption kSexItems[2] = {{"Муж", "men"}, {"Жен", "wom"}};
constexpr Caption kCancel{"Отмена", "Cancel"};
constexpr Caption kNewTitle{"Новый пациент", "New patient"};
constexpr Caption kChangeTitle{"Изменить данные о пациенте", "Change of Data on the Patient"};

QString pick(const Caption& c, bool russian) {
    return QString::fromUtf8(russian ? c.russian : c.english);
}

// maxLength is the field's width in the stored record less its terminator, so nothing typed is
// cut without a word when the record is written (one Windows-1251 byte per character).
QLineEdit* makeEdit(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    return e;
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

} // namespace

PatientInputs::PatientInputs(velkard::ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    nameEdit = makeEdit(this, "nameEdit", kPatientFieldChars.name);
    sexBox = new QComboBox(this);
    sexBox->setObjectName("sexBox");
    // Editable, so a stored sex text of the other language can be shown and kept as it is.
    sexBox->setEditable(true);
    // Enter on a typed text keeps the list at its two items.
    sexBox->setInsertPolicy(QComboBox::NoInsert);
    sexBox->addItems(
        {QString::fromUtf8(kSexItems[0].russian), QString::fromUtf8(kSexItems[1].russian)});
    sexBox->setCurrentIndex(-1);
    sexBox->lineEdit()->setMaxLength(kPatientFieldChars.sex);
    birthDatePicker = new QDateEdit(this);
    birthDatePicker->setObjectName("birthDatePicker");
    birthDatePicker->setDisplayFormat("dd.MM.yyyy");
    birthDatePicker->setCalendarPopup(true);
    birthDatePicker->setMinimumDate(QDate(1800, 1, 1));
    birthplaceEdit = makeEdit(this, "birthplaceEdit", kPatientFieldChars.birthplace);
    addressEdit = makeEdit(this, "addressEdit", kPatientFieldChars.address);
    telephoneEdit = makeEdit(this, "telephoneEdit", kPatientFieldChars.telephone);
    policyEdit = makeEdit(this, "policyEdit", kPatientFieldChars.policy);
    nameLabel = makeLabel(this, "nameLabel");
    sexLabel = makeLabel(this, "sexLabel");
    birthDateLabel = makeLabel(this, "birthDateLabel");
    birthplaceLabel = makeLabel(this, "birthplaceLabel");
    addressLabel = makeLabel(this, "addressLabel");
    telephoneLabel = makeLabel(this, "telephoneLabel");
    policyLabel = makeLabel(this, "policyLabel");

    connect(nameEdit, &QLineEdit::textChanged, this, &PatientInputs::nameEdited);
    connect(sexBox, &QComboBox::currentTextChanged, this, &PatientInputs::sexEdited);
    connect(birthplaceEdit, &QLineEdit::textChanged, this, &PatientInputs::birthplaceEdited);
    connect(addressEdit, &QLineEdit::textChanged, this, &PatientInputs::addressEdited);
    connect(telephoneEdit, &QLineEdit::textChanged, this, &PatientInputs::telephoneEdited);
    connect(policyEdit, &QLineEdit::textChanged, this, &PatientInputs::policyEdited);
}

QString PatientInputs::pickerDateText() const {
    return birthDatePicker->date().toString("dd.MM.yyyy");
}

void PatientInputs::nameEdited() {
    state_.patientTexts.name = nameEdit->text();
}
void PatientInputs::sexEdited() {
    state_.patientTexts.sex = sexBox->currentText();
}
void PatientInputs::birthplaceEdited() {
    state_.patientTexts.birthplace = birthplaceEdit->text();
}
void PatientInputs::addressEdited() {
    state_.patientTexts.address = addressEdit->text();
}
void PatientInputs::telephoneEdited() {
    state_.patientTexts.telephone = telephoneEdit->text();
}
void PatientInputs::policyEdited() {
    state_.patientTexts.policy = policyEdit->text();
}

void PatientInputs::applyInputCaptions(bool russian) {
    QLabel* labels[7] = {nameLabel,    sexLabel,       birthDateLabel, birthplaceLabel,
                         addressLabel, telephoneLabel, policyLabel};
    for (int i = 0; i < 7; ++i)
        labels[i]->setText(pick(kLabels[i], russian));
    // Replacing the items must not change the text the box shows (nor the patient text).
    const QString shown = sexBox->currentText();
    const int index = sexBox->currentIndex();
    const QSignalBlocker block(sexBox);
    sexBox->setItemText(0, pick(kSexItems[0], russian));
    sexBox->setItemText(1, pick(kSexItems[1], russian));
    if (index < 0)
        sexBox->setEditText(shown);
    else
        sexBox->setCurrentIndex(index);
}

void PatientInputs::layOut(QPushButton* ok, QPushButton* cancel) {
    auto* grid = new QGridLayout;
    QLabel* labels[7] = {nameLabel,    sexLabel,       birthDateLabel, birthplaceLabel,
                         addressLabel, telephoneLabel, policyLabel};
    QWidget* inputs[7] = {nameEdit,    sexBox,        birthDatePicker, birthplaceEdit,
                          addressEdit, telephoneEdit, policyEdit};
    for (int i = 0; i < 7; ++i) {
        grid->addWidget(labels[i], i, 0);
        grid->addWidget(inputs[i], i, 1);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);
    QWidget::setTabOrder(nameEdit, sexBox);
    QWidget::setTabOrder(sexBox, birthDatePicker);
    QWidget::setTabOrder(birthDatePicker, birthplaceEdit);
    QWidget::setTabOrder(birthplaceEdit, addressEdit);
    QWidget::setTabOrder(addressEdit, telephoneEdit);
    QWidget::setTabOrder(telephoneEdit, policyEdit);
    QWidget::setTabOrder(policyEdit, ok);
    QWidget::setTabOrder(ok, cancel);
}

// ---- New patient ----

NewPatientDialog::NewPatientDialog(velkard::ui::ViewState& state, velkard::ui::Messages& messages,
                                   std::filesystem::path workDir, QWidget* parent)
    : PatientInputs(state, parent), messages_(messages), cardFile_(std::move(workDir)) {
    setObjectName("NewPatientDialog");
    setFixedSize(516, 300);
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    OK = new QPushButton("OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = new QPushButton(this);
    Cancel->setObjectName("Cancel");
    layOut(OK, Cancel);
    connect(OK, &QPushButton::clicked, this, &NewPatientDialog::confirm);
    connect(Cancel, &QPushButton::clicked, this, &NewPatientDialog::cancel);

    state_.patientTexts = velkard::ui::PatientTexts{};
    state_.newPatient.patientCreated = false;
    applyLanguage(state_.russian);
}

void NewPatientDialog::applyLanguage(bool russian) {
    setWindowTitle(pick(kNewTitle, russian));
    applyInputCaptions(russian);
    OK->setText("OK");
    Cancel->setText(pick(kCancel, russian));
}

void NewPatientDialog::confirm() {
    const velkard::ui::PatientTexts& t = state_.patientTexts;
    if (t.name.isEmpty() || t.policy.isEmpty()) {
        if (t.name.isEmpty() && t.policy.isEmpty()) {
            messages_.show(
                state_.tr2("Введите ФИО пациента и № страхового полиса",
                           "Enter surname, name of the patient and № of the insurance policy"),
                velkard::ui::errorCaption(state_.russian));
            return;
        }
        if (t.name.isEmpty())
            messages_.show(state_.tr2("Введите ФИО пациента", "Enter surname, name of the patient"),
                           velkard::ui::errorCaption(state_.russian));
        if (t.policy.isEmpty())
            messages_.show(
                state_.tr2("Введите № страхового полиса", "Enter № of the insurance policy"),
                "Error");
        return;
    }
    state_.patientTexts.birthDate = pickerDateText();

    NewPatientInput input;
    input.name = nameEdit->text().toStdString();
    input.sex = sexBox->currentText().toStdString();
    input.birthDate = pickerDateText().toStdString();
    input.birthplace = birthplaceEdit->text().toStdString();
    input.address = addressEdit->text().toStdString();
    input.telephone = telephoneEdit->text().toStdString();
    input.policy = policyEdit->text().toStdString();

    auto created = createNewPatient(cardFile_, input, state_.newPatient.selfAppend);
    if (!created) {
        const QString text = created.code == ErrorCode::ArchiveCreateFailed
                                 ? QString::fromUtf8("Ошибка создания ID файла")
                                 : QString::fromUtf8("Ошибка создания ID файла\n") +
                                       QString::fromStdString(created.message);
        messages_.show(text, "Error");
        return;
    }
    record_ = std::move(created.value);
    state_.newPatient.patientCreated = true;
    state_.newPatient.selfAppend = false;
    accept();
}

void NewPatientDialog::cancel() {
    state_.newPatient.patientCreated = false;
    reject();
}

void NewPatientDialog::reject() {
    state_.newPatient.selfAppend = false;
    QDialog::reject();
}

// ---- Change patient ----

ChangePatientDialog::ChangePatientDialog(velkard::ui::ViewState& state, QWidget* parent)
    : PatientInputs(state, parent) {
    setObjectName("ChangePatientDialog");
    resize(490, 295);
    // The normal border icons: system menu, minimise and maximise (the new-patient dialog has
    // only the system menu).
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    OK = new QPushButton("OK", this);
    OK->setObjectName("OK");
    OK->setDefault(true);
    Cancel = new QPushButton(this);
    Cancel->setObjectName("Cancel");
    layOut(OK, Cancel);
    connect(OK, &QPushButton::clicked, this, &ChangePatientDialog::confirm);
    connect(Cancel, &QPushButton::clicked, this, &ChangePatientDialog::cancel);
    connect(birthDatePicker, &QDateEdit::dateChanged, this, [this] { storedBirthDate_.reset(); });
    applyLanguage(state_.russian);
}

void ChangePatientDialog::showStoredBirthDate(const QString& stored) {
    const QDate birth = QDate::fromString(stored, "dd.MM.yyyy");
    birthDatePicker->setDate(birth.isValid() ? birth : QDate::currentDate());
    storedBirthDate_ = stored;
}

void ChangePatientDialog::applyLanguage(bool russian) {
    setWindowTitle(pick(kChangeTitle, russian));
    applyInputCaptions(russian);
    OK->setText("OK");
    Cancel->setText(pick(kCancel, russian));
}

void ChangePatientDialog::confirm() {
    state_.patientTexts.birthDate = storedBirthDate_ ? *storedBirthDate_ : pickerDateText();
    accept();
}

void ChangePatientDialog::cancel() {
    reject();
}

} // namespace velkard::cardfile::ui
