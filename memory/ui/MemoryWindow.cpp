#include "memory/ui/MemoryWindow.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/Store.h"
#include "cardfile/ui/PatientDialogs.h"
#include "cardfile/ui/Selection.h"
#include "memory/MemoryProtocol.h"
#include "memory/ui/DeviceFileList.h"

#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <system_error>

namespace velkard::memory::ui {

namespace {

QString tr2(const char* russian, const char* english) {
    return QString::fromUtf8(velkard::ui::tr2(russian, english));
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// A row of a check list: the box is shown, unchecked, and means nothing; commands use the current
// row.
void addCheckRow(QListWidget* list, const QString& text) {
    auto* item = new QListWidgetItem(text, list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

// A file name shown in a list, back to the bytes that name it on disk.
std::filesystem::path diskPath(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

} // namespace

TMemory::TMemory(MemoryWindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), cardFile_(setup_.workDir) {
    setObjectName(QStringLiteral("Memory"));

    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->addTab(QString());
    TabControl1->addTab(QString());

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(1);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);

    Label1 = makeLabel(this, "Label1");
    Label2 = makeLabel(this, "Label2");
    Label3 = makeLabel(this, "Label3");
    Label4 = makeLabel(this, "Label4");
    Label5 = makeLabel(this, "Label5");
    Label6 = makeLabel(this, "Label6");
    Label7 = makeLabel(this, "Label7");
    Label8 = makeLabel(this, "Label8");
    Label9 = makeLabel(this, "Label9");
    Label10 = makeLabel(this, "Label10");
    Label11 = makeLabel(this, "Label11");
    Label12 = makeLabel(this, "Label12");
    Label13 = makeLabel(this, "Label13");
    Label14 = makeLabel(this, "Label14");
    Label15 = makeLabel(this, "Label15");
    Label16 = makeLabel(this, "Label16");

    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox2 = new QListWidget(this);
    CheckListBox2->setObjectName(QStringLiteral("CheckListBox2"));
    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(this);
    Button4->setObjectName(QStringLiteral("Button4"));

    auto* details = new QGridLayout;
    QLabel* pairs[7][2] = {{Label1, Label2},  {Label3, Label4},  {Label5, Label6},
                           {Label7, Label8},  {Label9, Label10}, {Label11, Label12},
                           {Label13, Label14}};
    for (int r = 0; r < 7; ++r) {
        details->addWidget(pairs[r][0], r, 0);
        details->addWidget(pairs[r][1], r, 1);
    }
    auto* left = new QVBoxLayout;
    left->addWidget(ListView1, 1);
    left->addLayout(details);
    left->addWidget(Button1);

    auto* right = new QVBoxLayout;
    right->addWidget(TabControl1);
    right->addWidget(Label15);
    right->addWidget(Label16);
    right->addWidget(CheckListBox1, 1);
    right->addWidget(CheckListBox2, 1);
    right->addWidget(Button3);
    right->addWidget(Button4);
    right->addWidget(Button2);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);
    resize(760, 480);

    connect(TabControl1, &QTabBar::currentChanged, this, &TMemory::TabControl1Change);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TMemory::ListView1SelectItem);
    connect(Button1, &QPushButton::clicked, this, &TMemory::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMemory::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TMemory::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TMemory::Button4Click);

    // Tab 0 (downloaded files) first; no recording is under review from here on.
    showTab(true);
    cardfile::ui::selection().writeRequest = false;
    velkard::ui::flags().cardReview = false;
    sourceTab_ = 1;
    fillPatients();
    applyLanguage(velkard::ui::flags().russian);
}

void TMemory::applyLanguage(bool russian) {
    auto pick = [russian](const char* ru, const char* en) {
        return QString::fromUtf8(russian ? ru : en);
    };
    setWindowTitle(pick("Память", "Memory"));
    TabControl1->setTabText(0, pick("Память ЭК", "Memory EC"));
    TabControl1->setTabText(1, pick("Карта памяти", "Memory card"));
    ListView1->setHeaderLabels({pick("Картотека", "Card file")});
    Label15->setText(pick("Карта памяти", "Memory card"));
    Label16->setText(pick("Память ЭК", "Memory EC"));
    Button1->setText(pick("Новая карта пациента", "New card of the patient"));
    Button2->setText(pick("Положить в карту пациента", "To put in the card of the patient"));
    Button3->setText(
        pick("Скачать архив с карты памяти", "To download archive from a memory card"));
    Button4->setText(pick("Скачать архив с ЭК", "To download archive from the EC"));
    Label1->setText(pick("Фамилия Имя Отчество", "Surname, name"));
    Label3->setText(pick("Пол", "Sex"));
    Label5->setText(pick("Дата рождения", "Date of birth "));
    Label7->setText(pick("Место рождения", "The birthplace"));
    Label9->setText(pick("Адрес", "The address"));
    Label11->setText(pick("Телефон", "The telephone"));
    Label13->setText(pick("Медицинский страховой полис", "The medical insurance policy"));
}

void TMemory::fillPatients() {
    ListView1->clear();
    const auto patients = cardFile_.listPatients();
    if (!patients)
        return;
    for (const auto& p : patients.value)
        new QTreeWidgetItem(ListView1, {QString::fromStdString(p.name)});
}

void TMemory::showTab(bool downloaded) {
    Label16->setVisible(downloaded);
    CheckListBox2->setVisible(downloaded);
    Button4->setVisible(downloaded);
    Label15->setVisible(!downloaded);
    CheckListBox1->setVisible(!downloaded);
    Button3->setVisible(!downloaded);
}

void TMemory::TabControl1Change(int index) {
    sourceTab_ = index == 1 ? 0 : 1;
    showTab(index != 1);
}

void TMemory::showPatient(const cardfile::PatientRecord& p) {
    Label2->setText(QString::fromStdString(p.name));
    Label4->setText(QString::fromStdString(p.sex));
    Label6->setText(QString::fromStdString(p.birthDate));
    Label8->setText(QString::fromStdString(p.birthplace));
    Label10->setText(QString::fromStdString(p.address));
    Label12->setText(QString::fromStdString(p.telephone));
    Label14->setText(QString::fromStdString(p.policy));
}

void TMemory::ListView1SelectItem() {
    const auto chosen = ListView1->selectedItems();
    if (chosen.isEmpty())
        return; // a row lost its selection
    const int row = ListView1->indexOfTopLevelItem(chosen.front());
    const auto record = cardFile_.readPatient(std::size_t(row));
    if (!record)
        return;
    showPatient(record.value);
    auto& sel = cardfile::ui::selection();
    sel.patientIndex = row;
    sel.patientName = QString::fromStdString(record.value.name);
    sel.patientId = QString::fromStdString(record.value.id);
}

void TMemory::Button1Click() {
    cardfile::ui::TNew_patient dialog(setup_.workDir, this);
    dialog.applyLanguage(velkard::ui::flags().russian);
    cardfile::ui::newPatientFlags().selfAppend = true;
    dialog.DateTimePicker1->setDate(QDate::currentDate());
    velkard::ui::dialogs().run(dialog);
    cardfile::ui::newPatientFlags().selfAppend = false;
    if (cardfile::ui::newPatientFlags().patientCreated)
        new QTreeWidgetItem(ListView1, {QString::fromStdString(dialog.record().name)});
}

QStringList chooseMemoryCardFiles(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    if (velkard::ui::dialogs().run(dialog) != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void TMemory::Button3Click() {
    const QStringList files =
        setup_.chooseFiles ? setup_.chooseFiles(this) : chooseMemoryCardFiles(this);
    for (const QString& f : files)
        addCheckRow(CheckListBox1, QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath()));
}

void TMemory::Button4Click() {
    if (!setup_.makeLink)
        return;
    TForm1* form = setup_.fileList ? setup_.fileList : TForm1::instance();
    std::unique_ptr<TForm1> ownForm; // only when the program made none at start
    if (!form) {
        ownForm = std::make_unique<TForm1>(this);
        form = ownForm.get();
    }
    const bool russian = velkard::ui::flags().russian;
    const std::filesystem::path temp = setup_.workDir / "temp";
    std::error_code ec;
    std::filesystem::create_directories(temp, ec); // made at start; a deleted one comes back

    std::unique_ptr<device::Link> link = setup_.makeLink();
    if (!link) {
        velkard::ui::messages().show(tr2(kNotFoundRu, kNotFoundEn), tr2("Ошибка", "Error"));
        return;
    }
    form->prepareConnection(russian);
    StartResult started;
    {
        MemoryConnection connection(*link, *form, temp);
        form->setConnection(&connection);
        started =
            runMemoryConnection(connection, *form, [form] { velkard::ui::dialogs().run(*form); });
        form->setConnection(nullptr);
    }
    if (started == StartResult::NotFound) {
        velkard::ui::messages().show(tr2(kNotFoundRu, kNotFoundEn), tr2("Ошибка", "Error"));
        return;
    }
    if (started != StartResult::Started)
        return;
    CheckListBox2->clear();
    const QStringList names =
        QDir(QString::fromStdString(temp.string()))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                       QDir::NoSort);
    for (const QString& name : names)
        addCheckRow(CheckListBox2, name);
}

void TMemory::Button2Click() {
    auto& msg = velkard::ui::messages();
    const QString attention = tr2("Внимание", "Attention");
    const QString choosePatient =
        tr2("Выберите пациента в картотеке", "Choose the patient in a card file");
    if (ListView1->selectedItems().isEmpty()) {
        msg.show(choosePatient, attention);
        return;
    }
    QListWidget* list = sourceTab_ == 1 ? CheckListBox2 : CheckListBox1;
    QListWidgetItem* item = list->currentItem();
    if (!item) {
        msg.show(tr2("Выберите файл ЭКГ для сохранения", "Choose a file ECG for preservation"),
                 attention);
        return;
    }
    const std::filesystem::path source = sourceTab_ == 1
                                             ? setup_.workDir / "temp" / diskPath(item->text())
                                             : diskPath(QDir::fromNativeSeparators(item->text()));
    const std::string patientId = cardfile::ui::selection().patientId.toStdString();
    const cardfile::StoreResult stored =
        cardfile::storeDeviceFile(cardFile_, patientId, source, velkard::ui::flags().russian);
    if (!stored) {
        // Nothing is half-filed and the source stays where it is, in its list.
        if (stored.error == cardfile::StoreError::UnknownPatient) {
            // The selected row named no readable patient: the same request as with no row.
            msg.show(choosePatient, attention);
            return;
        }
        msg.show(QString::fromStdString(cardfile::storeErrorText(stored.error)),
                 QStringLiteral("Error"));
        return;
    }
    delete list->takeItem(list->row(item));
    if (sourceTab_ == 1) {
        std::error_code ec;
        std::filesystem::remove(source, ec); // the download has been filed
    }
}

void openMemoryWindow(MemoryWindowSetup setup, QWidget* parent,
                      const std::function<void()>& backToEmpty) {
    {
        TMemory window(std::move(setup), parent);
        window.applyLanguage(velkard::ui::flags().russian);
        velkard::ui::dialogs().run(window);
    }
    if (backToEmpty)
        backToEmpty();
}

} // namespace velkard::memory::ui
