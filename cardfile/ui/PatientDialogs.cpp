// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/ui/PatientDialogs.h"

#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velkard::cardfile::ui {

namespace {

using velkard::ui::Language;

// Both dialogs' texts share one context in the translation files.
constexpr const char* kContext = "velkard::cardfile::ui::PatientInputs";

QString text(Language l, const char* source) {
    return velkard::ui::translate(l, kContext, source);
}

// nameLabel .. policyLabel of both dialogs.
const char* const kLabels[7] = {
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Ф.И.О."),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Пол"),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Дата рождения"),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Место рождения"),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Адрес"),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Телефон"),
    QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Медицинский страховой полис"),
};
const char* const kSexItems[2] = {QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Муж"),
                                  QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Жен")};

// maxLength is the field's width in the stored record less its terminator, so nothing typed is
// cut when the record is written (one Windows-1251 byte per character); a key or paste the field
// cannot take is said in the limit note.
QLineEdit* makeEdit(QWidget* parent, const char* name, int maxLength) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    return e;
}

// A birth date not entered: the picker shows nothing at its minimum date.
const QDate kNoBirthDate(1800, 1, 1);

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

// The sex item (0 male, 1 female) a text names in any language or old stored form; -1 for none.
int sexIndexOf(const QString& textShown) {
    const QString t = textShown.trimmed();
    if (t.isEmpty())
        return -1;
    for (int i = 0; i < 2; ++i) {
        if (t == QString::fromUtf8(kSexItems[i]))
            return i;
        for (const Language l : velkard::ui::kLanguages)
            if (t == text(l, kSexItems[i]))
                return i;
    }
    return -1;
}

} // namespace

QString storedSex(const QString& shown) {
    const int i = sexIndexOf(shown);
    return i < 0 ? shown : QString::fromUtf8(kSexItems[i]);
}

QString shownSex(const QString& stored, Language language) {
    const int i = sexIndexOf(stored);
    return i < 0 ? stored : text(language, kSexItems[i]);
}

PatientInputs::PatientInputs(velkard::ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    nameEdit = makeEdit(this, "nameEdit", kPatientFieldChars.name);
    sexBox = new QComboBox(this);
    sexBox->setObjectName("sexBox");
    // Editable, so a stored sex text of the other language can be shown and kept as it is.
    sexBox->setEditable(true);
    // Enter on a typed text keeps the list at its two items.
    sexBox->setInsertPolicy(QComboBox::NoInsert);
    sexBox->addItems({QString::fromUtf8(kSexItems[0]), QString::fromUtf8(kSexItems[1])});
    sexBox->setCurrentIndex(-1);
    sexBox->lineEdit()->setMaxLength(kPatientFieldChars.sex);
    birthDatePicker = new QDateEdit(this);
    birthDatePicker->setObjectName("birthDatePicker");
    birthDatePicker->setDisplayFormat("dd.MM.yyyy");
    birthDatePicker->setCalendarPopup(true);
    birthDatePicker->setMinimumDate(kNoBirthDate);
    birthDatePicker->setSpecialValueText(QStringLiteral(" "));
    birthDatePicker->setDate(kNoBirthDate);
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
    limitNote = makeLabel(this, "limitNote");
    QLabel* const labels[] = {nameLabel, birthplaceLabel, addressLabel, telephoneLabel,
                              policyLabel};
    QLineEdit* const edits[] = {nameEdit, birthplaceEdit, addressEdit, telephoneEdit, policyEdit};
    for (std::size_t i = 0; i < std::size(edits); ++i)
        connect(
            edits[i], &QLineEdit::inputRejected, this, [this, edit = edits[i], label = labels[i]] {
                limitNote->setText(text(state_.interfaceLanguage(),
                                        QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                                          "«%1»: не более %2 знаков"))
                                       .arg(label->text().trimmed())
                                       .arg(edit->maxLength()));
            });

    connect(nameEdit, &QLineEdit::textChanged, this, &PatientInputs::nameEdited);
    connect(sexBox, &QComboBox::currentTextChanged, this, &PatientInputs::sexEdited);
    connect(birthplaceEdit, &QLineEdit::textChanged, this, &PatientInputs::birthplaceEdited);
    connect(addressEdit, &QLineEdit::textChanged, this, &PatientInputs::addressEdited);
    connect(telephoneEdit, &QLineEdit::textChanged, this, &PatientInputs::telephoneEdited);
    connect(policyEdit, &QLineEdit::textChanged, this, &PatientInputs::policyEdited);
}

QString PatientInputs::pickerDateText() const {
    if (birthDatePicker->date() == kNoBirthDate)
        return QString();
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

void PatientInputs::applyInputCaptions(Language l) {
    QLabel* labels[7] = {nameLabel,    sexLabel,       birthDateLabel, birthplaceLabel,
                         addressLabel, telephoneLabel, policyLabel};
    for (int i = 0; i < 7; ++i)
        labels[i]->setText(text(l, kLabels[i]));
    // Replacing the items must not change the text the box shows (nor the patient text).
    const QString shown = sexBox->currentText();
    const int index = sexBox->currentIndex();
    const QSignalBlocker block(sexBox);
    sexBox->setItemText(0, text(l, kSexItems[0]));
    sexBox->setItemText(1, text(l, kSexItems[1]));
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
    buttons->addWidget(limitNote);
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
    applyLanguage(state_.interfaceLanguage());
}

void NewPatientDialog::applyLanguage(bool russian) {
    applyLanguage(russian ? Language::Russian : Language::English);
}

void NewPatientDialog::applyLanguage(Language l) {
    setWindowTitle(
        text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Новый пациент")));
    applyInputCaptions(l);
    OK->setText("OK");
    Cancel->setText(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Отмена")));
}

void NewPatientDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    PatientInputs::changeEvent(event);
}

void NewPatientDialog::confirm() {
    const velkard::ui::PatientTexts& t = state_.patientTexts;
    const Language l = state_.interfaceLanguage();
    if (t.name.isEmpty() || t.policy.isEmpty()) {
        if (t.name.isEmpty() && t.policy.isEmpty()) {
            messages_.show(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                                     "Введите ФИО пациента и № страхового полиса")),
                           velkard::ui::errorCaption(l));
            return;
        }
        if (t.name.isEmpty())
            messages_.show(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                                     "Введите ФИО пациента")),
                           velkard::ui::errorCaption(l));
        // Under the caption "Error" in both languages, as it always was.
        if (t.policy.isEmpty())
            messages_.show(
                text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                          "Введите № страхового полиса")),
                text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Error")));
        return;
    }
    if (sexBox->currentText().trimmed().isEmpty()) {
        messages_.show(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                                 "Укажите пол пациента")),
                       velkard::ui::errorCaption(l));
        return;
    }
    // The same policy twice is most often the same patient entered again: ask, Enter answers No.
    if (const auto patients = cardFile_.listPatients(); patients) {
        for (const PatientRecord& p : patients.value) {
            if (QString::fromStdString(p.policy).trimmed() != t.policy.trimmed())
                continue;
            const QString question =
                text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                          "В картотеке уже есть пациент с полисом № %1: %2. "
                                          "Создать ещё одного?"))
                    .arg(t.policy.trimmed(), QString::fromStdString(p.name).trimmed());
            if (!messages_.ask(question, velkard::ui::attentionCaption(l), this, false))
                return;
            break;
        }
    }
    state_.patientTexts.birthDate = pickerDateText();

    NewPatientInput input;
    input.name = nameEdit->text().toStdString();
    input.sex = storedSex(sexBox->currentText()).toStdString();
    input.birthDate = pickerDateText().toStdString();
    input.birthplace = birthplaceEdit->text().toStdString();
    input.address = addressEdit->text().toStdString();
    input.telephone = telephoneEdit->text().toStdString();
    input.policy = policyEdit->text().toStdString();

    auto created = createNewPatient(cardFile_, input, state_.newPatient.selfAppend);
    if (!created) {
        // Russian under "Error" in both languages, as it always was.
        const QString failed = text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                                         "Ошибка создания ID файла"));
        messages_.show(created.code == ErrorCode::ArchiveCreateFailed
                           ? failed
                           : failed + "\n" + QString::fromStdString(created.message),
                       text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Error")));
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
    applyLanguage(state_.interfaceLanguage());
}

void ChangePatientDialog::showStoredBirthDate(const QString& stored) {
    const QDate birth = QDate::fromString(stored, "dd.MM.yyyy");
    birthDatePicker->setDate(birth.isValid() ? birth : kNoBirthDate);
    storedBirthDate_ = stored;
}

void ChangePatientDialog::applyLanguage(bool russian) {
    applyLanguage(russian ? Language::Russian : Language::English);
}

void ChangePatientDialog::applyLanguage(Language l) {
    setWindowTitle(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs",
                                             "Изменить данные о пациенте")));
    applyInputCaptions(l);
    OK->setText("OK");
    Cancel->setText(text(l, QT_TRANSLATE_NOOP("velkard::cardfile::ui::PatientInputs", "Отмена")));
}

void ChangePatientDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    PatientInputs::changeEvent(event);
}

void ChangePatientDialog::confirm() {
    state_.patientTexts.birthDate = storedBirthDate_ ? *storedBirthDate_ : pickerDateText();
    accept();
}

void ChangePatientDialog::cancel() {
    reject();
}

} // namespace velkard::cardfile::ui
