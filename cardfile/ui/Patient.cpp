#include "cardfile/ui/Patient.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/ui/PatientDialogs.h"
#include "cardfile/ui/Selection.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velkard::cardfile::ui {

namespace {

using velkard::ui::messages;
using velkard::ui::tr2;

struct Caption {
    const char* name;
    const char* russian;
    const char* english;
};

// Every run-time caption of the window, by control name; list-view headers as "<view>:<column>".
constexpr Caption kCaptions[] = {
    {"Patient", "Пациент", "Patient"},
    {"New", "Новый пациент", "New patient"},
    {"Change", "Изменить", "Change"},
    {"Delete", "Удалить", "Delete"},
    {"OK", "OK", "OK"},
    {"Open", "Открыть", "Open"},
    {"DelRec", "Удалить", "Delete"},
    {"Write", "Запись", "Write Velkard"},
    {"Label1", "Архив пациента", "Archive of the patient"},
    {"Label2", "Ф.И.О.", "Surname, name"},
    {"Label3", "Пол", "Sex"},
    {"Label4", "Дата рождения", "Date of birth "},
    {"Label5", "Место рождения", "The birthplace"},
    {"Label6", "Адрес", "The address"},
    {"Label7", "Телефон", "The telephone"},
    {"Label14", "Медицинский страховой полис", "The medical insurance policy"},
    {"ListView1:0", "Ф.И.О.", "Surname, Name"},
    {"ListView1:1", "Дата рожд.", "Date birth"},
    {"ListView1:2", "Пол", "Sex"},
    {"ListView2:0", "№", "№"},
    {"ListView2:1", "Дата", "Date"},
    {"ListView2:2", "Время", "Time"},
    {"ListView2:3", "Длительность ЭКГ,с", "Duration ECG,s"},
};

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* hint) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    if (hint)
        b->setToolTip(QString::fromUtf8(hint)); // hints stay Russian in both languages
    return b;
}

QTreeWidget* makeList(QWidget* parent, const char* name, int columns) {
    auto* v = new QTreeWidget(parent);
    v->setObjectName(name);
    v->setColumnCount(columns);
    v->setRootIsDecorated(false);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return v;
}

// A list row whose columns after the first are centred, as both lists show them.
QTreeWidgetItem* centredRow(const QStringList& texts) {
    auto* item = new QTreeWidgetItem(texts);
    for (int c = 1; c < texts.size(); ++c)
        item->setTextAlignment(c, Qt::AlignCenter);
    return item;
}

void showNoPatient() {
    messages().show(tr2("Выберите пациента", "Choose the patient"), tr2("Внимание", "Attention"));
}

void showNoEntry() {
    messages().show(tr2("Выберите в архиве № ЭКГ", "Choose in archive № ECG"),
                    tr2("Внимание", "Attention"));
}

} // namespace

TPatient::TPatient(std::filesystem::path workDir, QWidget* parent)
    : QDialog(parent), cardFile_(std::move(workDir)) {
    setObjectName("Patient");
    setFixedSize(971, 555);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    ListView1 = makeList(this, "ListView1", 3);
    ListView1->setColumnWidth(0, 228);
    ListView1->setColumnWidth(1, 120);
    ListView2 = makeList(this, "ListView2", 4);
    ListView2->setColumnWidth(0, 50);
    ListView2->setColumnWidth(1, 120);
    ListView2->setColumnWidth(2, 120);
    ListView2->setColumnWidth(3, 104);
    // The columns after the first are centred, headers as well as rows.
    for (int c = 1; c < 3; ++c)
        ListView1->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    for (int c = 1; c < 4; ++c)
        ListView2->headerItem()->setTextAlignment(c, Qt::AlignCenter);

    Label1 = makeLabel(this, "Label1");
    Label1->setToolTip(QString::fromUtf8("Список сохраненных ЭКГ пациента"));
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    Label2 = makeLabel(GroupBox1, "Label2");
    Label3 = makeLabel(GroupBox1, "Label3");
    Label4 = makeLabel(GroupBox1, "Label4");
    Label5 = makeLabel(GroupBox1, "Label5");
    Label6 = makeLabel(GroupBox1, "Label6");
    Label7 = makeLabel(GroupBox1, "Label7");
    Label14 = makeLabel(GroupBox1, "Label14");
    Label8 = makeLabel(GroupBox1, "Label8");
    Label9 = makeLabel(GroupBox1, "Label9");
    Label10 = makeLabel(GroupBox1, "Label10");
    Label11 = makeLabel(GroupBox1, "Label11");
    Label12 = makeLabel(GroupBox1, "Label12");
    Label13 = makeLabel(GroupBox1, "Label13");
    Label15 = makeLabel(GroupBox1, "Label15");
    auto* details = new QGridLayout(GroupBox1);
    QLabel* names[7] = {Label2, Label3, Label4, Label5, Label6, Label7, Label14};
    QLabel* values[7] = {Label8, Label9, Label10, Label11, Label12, Label13, Label15};
    for (int i = 0; i < 7; ++i) {
        details->addWidget(names[i], i, 0);
        details->addWidget(values[i], i, 1);
    }

    New = makeButton(this, "New", "Ввести в базу данные нового пациента");
    Change = makeButton(this, "Change", "Изменить данные о пациенте");
    Delete = makeButton(this, "Delete", "Удалить карту пациента из базы");
    OK = makeButton(this, "OK", nullptr);
    Open = makeButton(this, "Open", "Вывести на экран ЭКГ из архива");
    DelRec = makeButton(this, "DelRec", "Удалить выделенную ЭКГ из  архива");
    Write = makeButton(this, "Write", "Регистрация ЭКГ в реальном времени");

    auto* left = new QVBoxLayout;
    left->addWidget(ListView1, 1);
    auto* patientButtons = new QHBoxLayout;
    patientButtons->addWidget(New);
    patientButtons->addWidget(Change);
    patientButtons->addWidget(Delete);
    patientButtons->addStretch();
    patientButtons->addWidget(OK);
    left->addLayout(patientButtons);
    auto* right = new QVBoxLayout;
    right->addWidget(GroupBox1);
    right->addWidget(Label1);
    right->addWidget(ListView2, 1);
    auto* archiveButtons = new QHBoxLayout;
    archiveButtons->addWidget(Open);
    archiveButtons->addWidget(DelRec);
    archiveButtons->addWidget(Write);
    right->addLayout(archiveButtons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    connect(New, &QPushButton::clicked, this, &TPatient::NewClick);
    connect(Change, &QPushButton::clicked, this, &TPatient::ChangeClick);
    connect(Delete, &QPushButton::clicked, this, &TPatient::DeleteClick);
    connect(OK, &QPushButton::clicked, this, &TPatient::OKClick);
    connect(Open, &QPushButton::clicked, this, &TPatient::OpenClick);
    connect(DelRec, &QPushButton::clicked, this, &TPatient::DelRecClick);
    connect(Write, &QPushButton::clicked, this, &TPatient::WriteClick);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TPatient::ListView1SelectItem);
    connect(ListView2, &QTreeWidget::itemSelectionChanged, this, &TPatient::ListView2SelectItem);

    auto patients = cardFile_.listPatients();
    if (!patients) {
        messages().show(QString::fromUtf8("Ошибка открытия картотеки\n") + utf8(patients.message),
                        "Error");
    } else {
        for (const auto& p : patients.value)
            ListView1->addTopLevelItem(centredRow({utf8(p.name), utf8(p.birthDate), utf8(p.sex)}));
    }
    applyLanguage(velkard::ui::flags().russian);
}

void TPatient::applyLanguage(bool russian) {
    for (const auto& c : kCaptions) {
        const QString text = QString::fromUtf8(russian ? c.russian : c.english);
        const QString name = QString::fromUtf8(c.name);
        if (name == objectName()) {
            setWindowTitle(text);
        } else if (name.contains(':')) {
            auto* view = name.startsWith("ListView1") ? ListView1 : ListView2;
            view->headerItem()->setText(name.section(':', 1).toInt(), text);
        } else if (auto* label = findChild<QLabel*>(name)) {
            label->setText(text);
        } else if (auto* button = findChild<QPushButton*>(name)) {
            button->setText(text);
        }
    }
}

int TPatient::selectedPatientRow() const {
    const auto items = ListView1->selectedItems();
    return items.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(items.front());
}

int TPatient::selectedEntryRow() const {
    const auto items = ListView2->selectedItems();
    return items.isEmpty() ? -1 : ListView2->indexOfTopLevelItem(items.front());
}

void TPatient::clearDetails() {
    for (QLabel* l : {Label8, Label9, Label10, Label11, Label12, Label13, Label15})
        l->clear();
}

void TPatient::fillArchive(const std::string& id) {
    ListView2->clear();
    auto entries = cardFile_.listArchiveEntries(id);
    if (!entries)
        return;
    for (const auto& e : entries.value)
        ListView2->addTopLevelItem(
            centredRow({utf8(e.number), utf8(e.date), utf8(e.time), utf8(e.duration)}));
}

void TPatient::ListView1SelectItem() {
    const int row = selectedPatientRow();
    if (row < 0)
        return; // a row losing its selection is ignored
    Selection& sel = selection();
    sel.patientIndex = row;
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (!patient) {
        clearDetails();
        ListView2->clear();
        return;
    }
    const PatientRecord& p = patient.value;
    Label8->setText(utf8(p.name));
    Label9->setText(utf8(p.sex));
    Label10->setText(utf8(p.birthDate));
    Label11->setText(utf8(p.birthplace));
    Label12->setText(utf8(p.address));
    Label13->setText(utf8(p.telephone));
    Label15->setText(utf8(p.policy));
    sel.patientName = utf8(p.name);
    sel.patientId = utf8(p.id);
    fillArchive(p.id);
}

void TPatient::ListView2SelectItem() {
    const int row = selectedEntryRow();
    if (row < 0)
        return;
    Selection& sel = selection();
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(sel.patientIndex));
    if (patient)
        sel.patientId = utf8(patient.value.id);
    sel.entryIndex = row;
}

void TPatient::NewClick() {
    TNew_patient dialog(cardFile_.workDir(), this);
    dialog.applyLanguage(velkard::ui::flags().russian);
    dialog.DateTimePicker1->setDate(QDate::currentDate());
    // This window appends the record itself; a request left by another caller would add it twice.
    newPatientFlags().selfAppend = false;
    velkard::ui::dialogs().run(dialog);
    if (!newPatientFlags().patientCreated)
        return;
    const PatientTexts& t = patientTexts();
    auto status = cardFile_.appendPatientRecord(dialog.record());
    if (!status) {
        messages().show(QString::fromUtf8("Ошибка записи в картотеку\n") + utf8(status.message),
                        "Error");
        return;
    }
    ListView1->addTopLevelItem(centredRow({t.name, t.birthDate, t.sex}));
}

void TPatient::ChangeClick() {
    const int row = selectedPatientRow();
    if (row < 0) {
        showNoPatient();
        return;
    }
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    auto stored = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (!stored) {
        messages().show(QString::fromUtf8("Ошибка открытия картотеки\n") + utf8(stored.message),
                        "Error");
        return;
    }
    TChange_patient dialog(this);
    dialog.applyLanguage(velkard::ui::flags().russian);

    PatientTexts& t = patientTexts();
    const PatientTexts before = t;
    t.name = item->text(0);
    t.sex = item->text(2);
    t.birthDate = item->text(1);
    t.birthplace = utf8(stored.value.birthplace);
    t.address = utf8(stored.value.address);
    t.telephone = utf8(stored.value.telephone);
    t.policy = utf8(stored.value.policy);
    const PatientTexts filled = t;
    dialog.Edit1->setText(filled.name);
    dialog.ComboBox1->setEditText(filled.sex);
    const QDate birth = QDate::fromString(filled.birthDate, "dd.MM.yyyy");
    // A birth date that does not read as a date leaves the picker on today; OK then stores it.
    dialog.DateTimePicker1->setDate(birth.isValid() ? birth : QDate::currentDate());
    dialog.Edit2->setText(filled.birthplace);
    dialog.Edit3->setText(filled.address);
    dialog.Edit4->setText(filled.telephone);
    dialog.Edit5->setText(filled.policy);
    t = filled; // the fills above went through the typing handlers; keep the stored texts exact

    const int result = velkard::ui::dialogs().run(dialog);
    if (result != QDialog::Accepted) {
        // Cancel discards what was typed: nothing is written and the row keeps its texts.
        t = before;
        ListView1->clearSelection();
        return;
    }
    item->setText(0, t.name);
    item->setText(1, t.birthDate);
    item->setText(2, t.sex);
    Label8->setText(t.name);
    Label9->setText(t.sex);
    Label10->setText(t.birthDate);
    Label11->setText(t.birthplace);
    Label12->setText(t.address);
    Label13->setText(t.telephone);
    Label15->setText(t.policy);

    PatientRecord record;
    record.name = Label8->text().toStdString();
    record.sex = Label9->text().toStdString();
    record.birthDate = Label10->text().toStdString();
    record.birthplace = Label11->text().toStdString();
    record.address = Label12->text().toStdString();
    record.telephone = Label13->text().toStdString();
    record.policy = Label15->text().toStdString();
    record.id = stored.value.id;
    auto status = cardFile_.rewritePatientRecord(static_cast<std::size_t>(row), record);
    if (!status)
        messages().show(QString::fromUtf8("Ошибка записи в картотеку\n") + utf8(status.message),
                        "Error");
    ListView1->clearSelection();
}

void TPatient::DeleteClick() {
    const int row = selectedPatientRow();
    if (row < 0) {
        showNoPatient();
        return;
    }
    if (!messages().ask(
            tr2("Удалить пациента и все его записи?", "To remove the patient and all his records?"),
            QString()))
        return;
    Selection& sel = selection();
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(row));
    const std::string id = patient ? patient.value.id : sel.patientId.toStdString();
    auto status = cardFile_.removePatient(static_cast<std::size_t>(row), id);
    if (!status) {
        messages().show(QString::fromUtf8("Ошибка удаления пациента\n") + utf8(status.message),
                        "Error");
        return;
    }
    delete ListView1->takeTopLevelItem(row);
    clearDetails();
    ListView2->clear();
    ListView1->clearSelection();
}

void TPatient::OKClick() {
    selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    accept();
}

void TPatient::OpenClick() {
    if (selectedPatientRow() < 0) {
        showNoPatient();
        return;
    }
    if (selectedEntryRow() < 0) {
        showNoEntry();
        return;
    }
    Selection& sel = selection();
    auto& flags = velkard::ui::flags();
    auto entry = cardFile_.readArchiveEntry(sel.patientId.toStdString(),
                                            static_cast<std::size_t>(sel.entryIndex));
    if (!entry) {
        messages().show(QString::fromUtf8("Ошибка открытия файла с ЭКГ"),
                        QString::fromUtf8("Ошибка"));
        sel.writeRequest = false;
        flags.cardReview = false;
        return;
    }
    const ArchiveEntry& e = entry.value;
    sel.entryDate = utf8(e.date);
    sel.entryTime = utf8(e.time);
    sel.kindMarker = utf8(e.kind);
    if (e.isA2()) {
        flags.kindA2 = true;
        flags.rhythmogram = false;
        flags.cardReview = true;
    } else if (e.isRhythm()) {
        flags.rhythmogram = true;
        flags.kindA2 = false;
        flags.cardReview = false;
    } else {
        flags.kindA2 = false;
        flags.rhythmogram = false;
        flags.cardReview = true;
    }
    if (!e.isRhythm())
        sel.entryDuration = static_cast<int>(e.durationSeconds().value_or(0));
    sel.recordingPath = QString::fromStdString(
        cardFile_.recordingPath(sel.patientId.toStdString(), sel.entryIndex + 1).string());
    accept();
}

void TPatient::WriteClick() {
    if (selectedPatientRow() < 0) {
        reject();
        return;
    }
    Selection& sel = selection();
    sel.writeRequest = true;
    sel.recordNumber = cardFile_.nextRecordNumber(sel.patientId.toStdString());
    sel.recordingPath = QString::fromStdString(
        cardFile_.recordingPath(sel.patientId.toStdString(), sel.recordNumber).string());
    accept();
}

void TPatient::DelRecClick() {
    if (selectedPatientRow() < 0) {
        showNoPatient();
        return;
    }
    if (selectedEntryRow() < 0) {
        showNoEntry();
        return;
    }
    if (!messages().ask(tr2("Удалить запись?", "To remove record?"), QString()))
        return;
    Selection& sel = selection();
    auto status = cardFile_.removeArchiveEntry(sel.patientId.toStdString(),
                                               static_cast<std::size_t>(sel.entryIndex));
    if (!status) {
        messages().show(QString::fromUtf8("Ошибка отрытия файла"), "Error");
        return;
    }
    fillArchive(sel.patientId.toStdString());
}

} // namespace velkard::cardfile::ui
