// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/ui/MemoryWindow.h"

#include "cardfile/ui/PatientDialogs.h"
#include "filing/Store.h"
#include "memory/FileInfo.h"
#include "memory/MemoryProtocol.h"
#include "memory/ui/DeviceFileList.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
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

using velkard::ui::Language;

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// A file name shown in a list, back to the bytes that name it on disk.
std::filesystem::path diskPath(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

// A row of a check list: the file's name (kept as the row's data) and what its header tells, with
// an unticked box. Commands use the current row, or the ticked rows when no row is current.
// `shown` names the file in the row when the name is too long to read (a full path): the row
// then shows it and the tooltip the name.
void addCheckRow(QListWidget* list, const QString& name, const std::filesystem::path& file,
                 bool russian, const QString& shown = QString()) {
    const std::string about = describeDeviceFile(readDeviceFileInfo(file), russian);
    auto* item = new QListWidgetItem((shown.isEmpty() ? name : shown) + QStringLiteral("  —  ") +
                                         QString::fromStdString(about),
                                     list);
    if (!shown.isEmpty())
        item->setToolTip(name);
    item->setData(Qt::UserRole, name);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

// The file errors of filing keep their caption "Error"; the refusals that say why (a full archive,
// too long a recording, a busy card file) are captioned in the interface language.
QString storeErrorCaption(ErrorCode error, Language l) {
    const bool refusal =
        error == ErrorCode::ArchiveFull || error == ErrorCode::TooLong || error == ErrorCode::Busy;
    return refusal ? velkard::ui::errorCaption(l)
                   : velkard::ui::translate(
                         l, "velkard::memory::ui::MemoryWindow",
                         QT_TRANSLATE_NOOP("velkard::memory::ui::MemoryWindow", "Error"));
}

// The file a row names (rows without their own data name the file by their text).
QString rowName(const QListWidgetItem* item) {
    const QVariant name = item->data(Qt::UserRole);
    return name.isValid() ? name.toString() : item->text();
}

} // namespace

MemoryWindow::MemoryWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                           MemoryWindowSetup setup, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), setup_(std::move(setup)),
      cardFile_(setup_.workDir) {
    setObjectName(QStringLiteral("MemoryWindow"));

    sourceTabs = new QTabBar(this);
    sourceTabs->setObjectName(QStringLiteral("sourceTabs"));
    sourceTabs->addTab(QString());
    sourceTabs->addTab(QString());

    patientList = new QTreeWidget(this);
    patientList->setObjectName(QStringLiteral("patientList"));
    patientList->setColumnCount(1);
    patientList->setRootIsDecorated(false);
    patientList->setSelectionMode(QAbstractItemView::SingleSelection);

    nameLabel = makeLabel(this, "nameLabel");
    nameValue = makeLabel(this, "nameValue");
    sexLabel = makeLabel(this, "sexLabel");
    sexValue = makeLabel(this, "sexValue");
    birthDateLabel = makeLabel(this, "birthDateLabel");
    birthDateValue = makeLabel(this, "birthDateValue");
    birthplaceLabel = makeLabel(this, "birthplaceLabel");
    birthplaceValue = makeLabel(this, "birthplaceValue");
    addressLabel = makeLabel(this, "addressLabel");
    addressValue = makeLabel(this, "addressValue");
    telephoneLabel = makeLabel(this, "telephoneLabel");
    telephoneValue = makeLabel(this, "telephoneValue");
    policyLabel = makeLabel(this, "policyLabel");
    policyValue = makeLabel(this, "policyValue");
    memoryCardLabel = makeLabel(this, "memoryCardLabel");
    downloadedLabel = makeLabel(this, "downloadedLabel");

    cardFileList = new QListWidget(this);
    cardFileList->setObjectName(QStringLiteral("cardFileList"));
    downloadedList = new QListWidget(this);
    downloadedList->setObjectName(QStringLiteral("downloadedList"));
    newPatientButton = new QPushButton(this);
    newPatientButton->setObjectName(QStringLiteral("newPatientButton"));
    storeButton = new QPushButton(this);
    storeButton->setObjectName(QStringLiteral("storeButton"));
    addCardFilesButton = new QPushButton(this);
    addCardFilesButton->setObjectName(QStringLiteral("addCardFilesButton"));
    downloadButton = new QPushButton(this);
    downloadButton->setObjectName(QStringLiteral("downloadButton"));
    closeButton = new QPushButton(this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    auto* details = new QGridLayout;
    QLabel* pairs[7][2] = {{nameLabel, nameValue},           {sexLabel, sexValue},
                           {birthDateLabel, birthDateValue}, {birthplaceLabel, birthplaceValue},
                           {addressLabel, addressValue},     {telephoneLabel, telephoneValue},
                           {policyLabel, policyValue}};
    for (int r = 0; r < 7; ++r) {
        details->addWidget(pairs[r][0], r, 0);
        details->addWidget(pairs[r][1], r, 1);
    }
    auto* left = new QVBoxLayout;
    left->addWidget(patientList, 1);
    left->addLayout(details);
    left->addWidget(newPatientButton);

    auto* right = new QVBoxLayout;
    right->addWidget(sourceTabs);
    right->addWidget(memoryCardLabel);
    right->addWidget(downloadedLabel);
    right->addWidget(cardFileList, 1);
    right->addWidget(downloadedList, 1);
    right->addWidget(addCardFilesButton);
    right->addWidget(downloadButton);
    right->addWidget(storeButton);
    right->addWidget(closeButton);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);
    resize(760, 480);

    connect(sourceTabs, &QTabBar::currentChanged, this, &MemoryWindow::showSource);
    connect(patientList, &QTreeWidget::itemSelectionChanged, this, &MemoryWindow::patientSelected);
    connect(newPatientButton, &QPushButton::clicked, this, &MemoryWindow::newPatient);
    connect(storeButton, &QPushButton::clicked, this, &MemoryWindow::storeInCard);
    connect(addCardFilesButton, &QPushButton::clicked, this, &MemoryWindow::addCardFiles);
    connect(downloadButton, &QPushButton::clicked, this, &MemoryWindow::download);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    // Enter in a list must not press a button (Esc closes the window, as in every dialog).
    for (QPushButton* b :
         {newPatientButton, storeButton, addCardFilesButton, downloadButton, closeButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    // Tab 0 (downloaded files) first.
    showTab(true);
    sourceTab_ = 1;
    fillPatients();
    applyLanguage(state_.interfaceLanguage());
    // Files downloaded earlier and not filed yet are offered again.
    fillDownloaded();
}

void MemoryWindow::applyLanguage(bool russian) {
    applyLanguage(russian ? Language::Russian : Language::English);
}

void MemoryWindow::applyLanguage(Language l) {
    const auto say = [l](const char* source) {
        return velkard::ui::translated<MemoryWindow>(l, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Память")));
    sourceTabs->setTabText(0, say(QT_TR_NOOP("Память ЭК")));
    sourceTabs->setTabText(1, say(QT_TR_NOOP("Карта памяти")));
    patientList->setHeaderLabels({say(QT_TR_NOOP("Картотека"))});
    memoryCardLabel->setText(say(QT_TR_NOOP("Карта памяти")));
    downloadedLabel->setText(say(QT_TR_NOOP("Память ЭК")));
    newPatientButton->setText(say(QT_TR_NOOP("Новая карта пациента")));
    storeButton->setText(say(QT_TR_NOOP("Положить в карту пациента")));
    addCardFilesButton->setText(say(QT_TR_NOOP("Скачать архив с карты памяти")));
    downloadButton->setText(say(QT_TR_NOOP("Скачать архив с ЭК")));
    closeButton->setText(say(QT_TR_NOOP("Закрыть")));
    nameLabel->setText(say(QT_TR_NOOP("Фамилия Имя Отчество")));
    sexLabel->setText(say(QT_TR_NOOP("Пол")));
    birthDateLabel->setText(say(QT_TR_NOOP("Дата рождения")));
    birthplaceLabel->setText(say(QT_TR_NOOP("Место рождения")));
    addressLabel->setText(say(QT_TR_NOOP("Адрес")));
    telephoneLabel->setText(say(QT_TR_NOOP("Телефон")));
    policyLabel->setText(say(QT_TR_NOOP("Медицинский страховой полис")));
}

void MemoryWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

QString MemoryWindow::text(const char* source) const {
    return velkard::ui::translated<MemoryWindow>(state_.interfaceLanguage(), source);
}

void MemoryWindow::fillPatients() {
    patientList->clear();
    const auto patients = cardFile_.listPatients();
    if (!patients)
        return;
    for (const auto& p : patients.value)
        new QTreeWidgetItem(patientList, {QString::fromStdString(p.name)});
}

void MemoryWindow::showTab(bool downloaded) {
    downloadedLabel->setVisible(downloaded);
    downloadedList->setVisible(downloaded);
    downloadButton->setVisible(downloaded);
    memoryCardLabel->setVisible(!downloaded);
    cardFileList->setVisible(!downloaded);
    addCardFilesButton->setVisible(!downloaded);
}

void MemoryWindow::showSource(int index) {
    sourceTab_ = index == 1 ? 0 : 1;
    showTab(index != 1);
}

void MemoryWindow::showPatient(const cardfile::PatientRecord& p) {
    nameValue->setText(QString::fromStdString(p.name));
    sexValue->setText(
        cardfile::ui::shownSex(QString::fromStdString(p.sex), state_.interfaceLanguage()));
    birthDateValue->setText(QString::fromStdString(p.birthDate));
    birthplaceValue->setText(QString::fromStdString(p.birthplace));
    addressValue->setText(QString::fromStdString(p.address));
    telephoneValue->setText(QString::fromStdString(p.telephone));
    policyValue->setText(QString::fromStdString(p.policy));
}

void MemoryWindow::patientSelected() {
    const auto chosen = patientList->selectedItems();
    if (chosen.isEmpty())
        return; // a row lost its selection
    const int row = patientList->indexOfTopLevelItem(chosen.front());
    const auto record = cardFile_.readPatient(std::size_t(row));
    if (!record) {
        // A row whose record cannot be read chooses nobody: filing must not fall back on the
        // patient chosen before.
        auto& sel = selection_;
        sel.patientIndex = -1;
        sel.patientName.clear();
        sel.patientBirthDate.clear();
        sel.patientSex.clear();
        sel.patientId.clear();
        showPatient({});
        return;
    }
    showPatient(record.value);
    auto& sel = selection_;
    sel.patientIndex = row;
    sel.patientName = QString::fromStdString(record.value.name);
    sel.patientBirthDate = QString::fromStdString(record.value.birthDate);
    sel.patientSex = QString::fromStdString(record.value.sex);
    sel.patientId = QString::fromStdString(record.value.id);
}

void MemoryWindow::newPatient() {
    cardfile::ui::NewPatientDialog dialog(state_, seams_.messages, setup_.workDir, this);
    dialog.applyLanguage(state_.interfaceLanguage());
    state_.newPatient.selfAppend = true;
    seams_.dialogs.run(dialog);
    state_.newPatient.selfAppend = false;
    if (state_.newPatient.patientCreated)
        new QTreeWidgetItem(patientList, {QString::fromStdString(dialog.record().name)});
}

QStringList chooseMemoryCardFiles(velkard::ui::DialogRunner& dialogs, QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("memoryCardFileDialog"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    if (dialogs.run(dialog) != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

void MemoryWindow::addCardFiles() {
    const QStringList files =
        setup_.chooseFiles ? setup_.chooseFiles(this) : chooseMemoryCardFiles(seams_.dialogs, this);
    for (const QString& f : files)
        // The row shows the file's name; the folder, which pushed the date off the row, is in
        // its tooltip.
        addCheckRow(cardFileList, QDir::toNativeSeparators(QFileInfo(f).absoluteFilePath()),
                    diskPath(QFileInfo(f).absoluteFilePath()), state_.inRussian(),
                    QFileInfo(f).fileName());
}

void MemoryWindow::download() {
    if (!setup_.makeLink)
        return;
    DeviceFileList* form = setup_.fileList;
    std::unique_ptr<DeviceFileList> ownForm; // only when the program handed none over
    if (!form) {
        ownForm = std::make_unique<DeviceFileList>(state_, seams_.messages, this);
        form = ownForm.get();
    }
    const bool russian = state_.inRussian();
    const std::filesystem::path temp = setup_.workDir / "temp";
    std::error_code ec;
    std::filesystem::create_directories(temp, ec); // made at start; a deleted one comes back

    std::unique_ptr<device::Link> link = setup_.makeLink();
    if (!link) {
        seams_.messages.show(text(QT_TR_NOOP("Прибор не найден")),
                             velkard::ui::errorCaption(state_.interfaceLanguage()));
        return;
    }
    form->prepareConnection(state_.interfaceLanguage());
    StartResult started;
    {
        MemoryConnection connection(*link, *form, temp);
        form->setConnection(&connection);
        started =
            runMemoryConnection(connection, *form, [this, form] { seams_.dialogs.run(*form); });
        form->setConnection(nullptr);
    }
    if (started == StartResult::NotFound) {
        // Why it failed (no device, no permission, busy) on the line below.
        const std::string reason = device::openFailureText(link->openProblem(), russian);
        QString shown = text(QT_TR_NOOP("Прибор не найден"));
        if (!reason.empty())
            shown += QLatin1Char('\n') + QString::fromStdString(reason);
        seams_.messages.show(shown, velkard::ui::errorCaption(state_.interfaceLanguage()));
        return;
    }
    if (started != StartResult::Started)
        return;
    fillDownloaded();
}

void MemoryWindow::fillDownloaded() {
    downloadedList->clear();
    const std::filesystem::path temp = setup_.workDir / "temp";
    const QStringList names = QDir(QString::fromStdString(temp.string()))
                                  .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        // A download cut short by a crash is no recording.
        if (isPartialDownloadName(QFile::encodeName(name).toStdString()))
            continue;
        addCheckRow(downloadedList, name, temp / diskPath(name), state_.inRussian());
    }
}

QList<QListWidgetItem*> MemoryWindow::filesToStore(QListWidget* list) const {
    if (QListWidgetItem* current = list->currentItem())
        return {current};
    QList<QListWidgetItem*> ticked;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked)
            ticked.push_back(list->item(i));
    return ticked;
}

void MemoryWindow::storeInCard() {
    auto& msg = seams_.messages;
    const QString attention = velkard::ui::attentionCaption(state_.interfaceLanguage());
    const QString choosePatient = text(QT_TR_NOOP("Выберите пациента в картотеке"));
    if (patientList->selectedItems().isEmpty()) {
        msg.show(choosePatient, attention);
        return;
    }
    QListWidget* list = sourceTab_ == 1 ? downloadedList : cardFileList;
    const QList<QListWidgetItem*> items = filesToStore(list);
    if (items.isEmpty()) {
        msg.show(text(QT_TR_NOOP("Выберите файл ЭКГ для сохранения")), attention);
        return;
    }
    const std::string patientId = selection_.patientId.toStdString();
    int filed = 0;
    for (QListWidgetItem* item : items) {
        const std::filesystem::path source =
            sourceTab_ == 1 ? setup_.workDir / "temp" / diskPath(rowName(item))
                            : diskPath(QDir::fromNativeSeparators(rowName(item)));
        const Result<int> stored =
            filing::storeDeviceFile(cardFile_, patientId, source, state_.inRussian());
        if (!stored) {
            // Nothing is half-filed and the source stays where it is, in its list.
            if (stored.code == ErrorCode::UnknownPatient) {
                // The selected row named no readable patient: the same request as with no row.
                msg.show(choosePatient, attention);
            } else {
                msg.show(
                    QString::fromStdString(filing::storeErrorText(stored.code, state_.inRussian())),
                    storeErrorCaption(stored.code, state_.interfaceLanguage()));
            }
            break;
        }
        delete list->takeItem(list->row(item));
        ++filed;
        if (sourceTab_ == 1) {
            std::error_code ec;
            std::filesystem::remove(source, ec); // the download has been filed
        }
    }
    if (filed == 0)
        return;
    // Qt makes the next row current after a removal; a second press must not file that one into
    // the same patient unasked.
    list->setCurrentItem(nullptr);
    list->clearSelection();
    const QString information = text(QT_TR_NOOP("Информация"));
    if (filed == 1)
        msg.show(text(QT_TR_NOOP("Файл помещён в карту пациента")), information);
    else if (filed > 1)
        msg.show(text(QT_TR_NOOP("Файлы помещены в карту пациента: ")) + QString::number(filed),
                 information);
}

void openMemoryWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                      MemoryWindowSetup setup, QWidget* parent,
                      const std::function<void()>& backToEmpty) {
    {
        MemoryWindow window(state, seams, std::move(setup), parent);
        window.applyLanguage(state.interfaceLanguage());
        seams.dialogs.run(window);
    }
    if (backToEmpty)
        backToEmpty();
}

} // namespace velkard::memory::ui
