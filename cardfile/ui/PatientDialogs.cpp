#include "cardfile/ui/PatientDialogs.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/ui/Selection.h"

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

// Label1 .. Label7 of both dialogs.
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

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

} // namespace

PatientInputs::PatientInputs(QWidget* parent) : QDialog(parent) {
    Edit1 = makeEdit(this, "Edit1");
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    // Editable, so a stored sex text of the other language can be shown and kept as it is.
    ComboBox1->setEditable(true);
    // Enter on a typed text keeps the list at its two items.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems(
        {QString::fromUtf8(kSexItems[0].russian), QString::fromUtf8(kSexItems[1].russian)});
    ComboBox1->setCurrentIndex(-1);
    DateTimePicker1 = new QDateEdit(this);
    DateTimePicker1->setObjectName("DateTimePicker1");
    DateTimePicker1->setDisplayFormat("dd.MM.yyyy");
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setMinimumDate(QDate(1800, 1, 1));
    Edit2 = makeEdit(this, "Edit2");
    Edit3 = makeEdit(this, "Edit3");
    Edit4 = makeEdit(this, "Edit4");
    Edit5 = makeEdit(this, "Edit5");
    Label1 = makeLabel(this, "Label1");
    Label2 = makeLabel(this, "Label2");
    Label3 = makeLabel(this, "Label3");
    Label4 = makeLabel(this, "Label4");
    Label5 = makeLabel(this, "Label5");
    Label6 = makeLabel(this, "Label6");
    Label7 = makeLabel(this, "Label7");

    connect(Edit1, &QLineEdit::textChanged, this, &PatientInputs::Edit1Change);
    connect(ComboBox1, &QComboBox::currentTextChanged, this, &PatientInputs::ComboBox1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &PatientInputs::Edit2Change);
    connect(Edit3, &QLineEdit::textChanged, this, &PatientInputs::Edit3Change);
    connect(Edit4, &QLineEdit::textChanged, this, &PatientInputs::Edit4Change);
    connect(Edit5, &QLineEdit::textChanged, this, &PatientInputs::Edit5Change);
}

QString PatientInputs::pickerDateText() const {
    return DateTimePicker1->date().toString("dd.MM.yyyy");
}

void PatientInputs::Edit1Change() {
    patientTexts().name = Edit1->text();
}
void PatientInputs::ComboBox1Change() {
    patientTexts().sex = ComboBox1->currentText();
}
void PatientInputs::Edit2Change() {
    patientTexts().birthplace = Edit2->text();
}
void PatientInputs::Edit3Change() {
    patientTexts().address = Edit3->text();
}
void PatientInputs::Edit4Change() {
    patientTexts().telephone = Edit4->text();
}
void PatientInputs::Edit5Change() {
    patientTexts().policy = Edit5->text();
}

void PatientInputs::applyInputCaptions(bool russian) {
    QLabel* labels[7] = {Label1, Label2, Label3, Label4, Label5, Label6, Label7};
    for (int i = 0; i < 7; ++i)
        labels[i]->setText(pick(kLabels[i], russian));
    // Replacing the items must not change the text the box shows (nor the patient text).
    const QString shown = ComboBox1->currentText();
    const int index = ComboBox1->currentIndex();
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setItemText(0, pick(kSexItems[0], russian));
    ComboBox1->setItemText(1, pick(kSexItems[1], russian));
    if (index < 0)
        ComboBox1->setEditText(shown);
    else
        ComboBox1->setCurrentIndex(index);
}

void PatientInputs::layOut(QPushButton* ok, QPushButton* cancel) {
    auto* grid = new QGridLayout;
    QLabel* labels[7] = {Label1, Label2, Label3, Label4, Label5, Label6, Label7};
    QWidget* inputs[7] = {Edit1, ComboBox1, DateTimePicker1, Edit2, Edit3, Edit4, Edit5};
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
    QWidget::setTabOrder(Edit1, ComboBox1);
    QWidget::setTabOrder(ComboBox1, DateTimePicker1);
    QWidget::setTabOrder(DateTimePicker1, Edit2);
    QWidget::setTabOrder(Edit2, Edit3);
    QWidget::setTabOrder(Edit3, Edit4);
    QWidget::setTabOrder(Edit4, Edit5);
    QWidget::setTabOrder(Edit5, ok);
    QWidget::setTabOrder(ok, cancel);
}

// ---- New patient ----

TNew_patient::TNew_patient(std::filesystem::path workDir, QWidget* parent)
    : PatientInputs(parent), cardFile_(std::move(workDir)) {
    setObjectName("New_patient");
    setFixedSize(516, 300);
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button2 = new QPushButton(this);
    Button2->setObjectName("Button2");
    layOut(Button1, Button2);
    connect(Button1, &QPushButton::clicked, this, &TNew_patient::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TNew_patient::Button2Click);

    patientTexts() = PatientTexts{};
    newPatientFlags().patientCreated = false;
    applyLanguage(velkard::ui::flags().russian);
}

void TNew_patient::applyLanguage(bool russian) {
    setWindowTitle(pick(kNewTitle, russian));
    applyInputCaptions(russian);
    Button1->setText("OK");
    Button2->setText(pick(kCancel, russian));
}

void TNew_patient::Button1Click() {
    using velkard::ui::messages;
    using velkard::ui::tr2;
    const PatientTexts& t = patientTexts();
    if (t.name.isEmpty() || t.policy.isEmpty()) {
        if (t.name.isEmpty() && t.policy.isEmpty()) {
            messages().show(tr2("Введите ФИО пациента и № страхового полиса",
                                "Enter surname, name of the patient and № of the insurance policy"),
                            tr2("Ошибка", "Error"));
            return;
        }
        if (t.name.isEmpty())
            messages().show(tr2("Введите ФИО пациента", "Enter surname, name of the patient"),
                            tr2("Ошибка", "Error"));
        if (t.policy.isEmpty())
            messages().show(tr2("Введите № страхового полиса", "Enter № of the insurance policy"),
                            "Error");
        return;
    }
    patientTexts().birthDate = pickerDateText();

    NewPatientInput input;
    input.name = Edit1->text().toStdString();
    input.sex = ComboBox1->currentText().toStdString();
    input.birthDate = pickerDateText().toStdString();
    input.birthplace = Edit2->text().toStdString();
    input.address = Edit3->text().toStdString();
    input.telephone = Edit4->text().toStdString();
    input.policy = Edit5->text().toStdString();

    auto created = createNewPatient(cardFile_, input, newPatientFlags().selfAppend);
    if (!created) {
        const QString text = created.code == ErrorCode::ArchiveCreateFailed
                                 ? QString::fromUtf8("Ошибка создания ID файла")
                                 : QString::fromUtf8("Ошибка создания ID файла\n") +
                                       QString::fromStdString(created.message);
        messages().show(text, "Error");
        return;
    }
    record_ = std::move(created.value);
    selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    newPatientFlags().patientCreated = true;
    newPatientFlags().selfAppend = false;
    accept();
}

void TNew_patient::Button2Click() {
    selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    newPatientFlags().patientCreated = false;
    reject();
}

void TNew_patient::reject() {
    newPatientFlags().selfAppend = false;
    QDialog::reject();
}

// ---- Change patient ----

TChange_patient::TChange_patient(QWidget* parent) : PatientInputs(parent) {
    setObjectName("Change_patient");
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
    connect(OK, &QPushButton::clicked, this, &TChange_patient::OKClick);
    connect(Cancel, &QPushButton::clicked, this, &TChange_patient::CancelClick);
    applyLanguage(velkard::ui::flags().russian);
}

void TChange_patient::applyLanguage(bool russian) {
    setWindowTitle(pick(kChangeTitle, russian));
    applyInputCaptions(russian);
    OK->setText("OK");
    Cancel->setText(pick(kCancel, russian));
}

void TChange_patient::OKClick() {
    patientTexts().birthDate = pickerDateText();
    selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    accept();
}

void TChange_patient::CancelClick() {
    selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    reject();
}

} // namespace velkard::cardfile::ui
