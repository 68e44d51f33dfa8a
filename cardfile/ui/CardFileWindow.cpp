// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/ui/CardFileWindow.h"

#include "cardfile/ui/PatientDialogs.h"
#include "interpret/Report.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velkard::cardfile::ui {

namespace {

using velkard::session::CardRequest;
using velkard::session::CardSelection;
using velkard::ui::errorCaption;
using velkard::ui::PatientTexts;
using velkard::ui::ViewState;

using velkard::ui::Language;

constexpr const char* kContext = "velkard::cardfile::ui::CardFileWindow";

// What a row carries beside its texts: where it is in the index (or archive), and for a patient
// the ID it was listed with, so every action can check the row still holds that patient.
constexpr int kPositionRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

int positionOf(const QTreeWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : items.front()->data(0, kPositionRole).toInt();
}

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

// The message of a failed card-file operation: another workstation's change says so in the
// interface language; anything else is the caption line in the interface language and the reason.
template <typename Failed>
QString failureText(const velkard::ui::ViewState& state, const char* caption,
                    const Failed& failed) {
    const Language l = state.interfaceLanguage();
    if (failed.code == ErrorCode::Busy)
        return busyText(l);
    return velkard::ui::translate(l, kContext, caption) + QString::fromStdString(failed.message);
}

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

QPushButton* makeButton(QWidget* parent, const char* name) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    // No button is pressed by Enter typed in a list: each acts only when clicked.
    b->setAutoDefault(false);
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
    // All rows have one height, so a long list is laid out without measuring each row.
    v->setUniformRowHeights(true);
    // The window orders the rows itself (cardfile/Search.h): dates as dates, numbers as numbers.
    v->header()->setSectionsClickable(true);
    v->header()->setSortIndicatorShown(false);
    // A heading wider than its column ends in "…" instead of being cut at both sides (styles of
    // Qt 6.5 on; older ones still cut it); its whole text is in its tooltip.
    v->header()->setTextElideMode(Qt::ElideRight);
    return v;
}

// The next order after a click on `column`: that column ascending, or the other way round when it
// is already ordered by it.
template <typename Order, typename Column> Order clicked(const Order& now, Column column) {
    Order next;
    next.column = column;
    next.descending = now.column == column && !now.descending;
    return next;
}

template <typename Order> void showOrder(QTreeWidget* list, const Order& order) {
    list->header()->setSortIndicatorShown(order.column.has_value());
    if (order.column)
        list->header()->setSortIndicator(static_cast<int>(*order.column), order.descending
                                                                              ? Qt::DescendingOrder
                                                                              : Qt::AscendingOrder);
}

// A list row whose columns after the first are centred, as both lists show them.
QTreeWidgetItem* centredRow(const QStringList& texts) {
    auto* item = new QTreeWidgetItem(texts);
    for (int c = 1; c < texts.size(); ++c)
        item->setTextAlignment(c, Qt::AlignCenter);
    return item;
}

// A warning in the view state's language under the caption "Внимание".
void warn(velkard::ui::Messages& messages, const ViewState& s, const char* source) {
    const Language l = s.interfaceLanguage();
    messages.show(velkard::ui::translate(l, kContext, source), velkard::ui::attentionCaption(l));
}

void showNoPatient(velkard::ui::Messages& messages, const ViewState& s) {
    warn(messages, s,
         QT_TRANSLATE_NOOP("velkard::cardfile::ui::CardFileWindow", "Выберите пациента"));
}

void showArchiveFull(velkard::ui::Messages& messages, const ViewState& s) {
    warn(messages, s,
         QT_TRANSLATE_NOOP("velkard::cardfile::ui::CardFileWindow",
                           "Архив пациента заполнен: в нём 999 записей. Новая ЭКГ не может быть "
                           "записана"));
}

void showNoEntry(velkard::ui::Messages& messages, const ViewState& s) {
    warn(messages, s,
         QT_TRANSLATE_NOOP("velkard::cardfile::ui::CardFileWindow", "Выберите в архиве № ЭКГ"));
}

} // namespace

QString busyText(Language l) {
    return velkard::ui::translate(
        l, kContext,
        QT_TRANSLATE_NOOP("velkard::cardfile::ui::CardFileWindow",
                          "Картотека занята: её изменяет другая программа или рабочее место. "
                          "Повторите через несколько секунд."));
}

CardFileWindow::CardFileWindow(ViewState& state, velkard::ui::Seams seams,
                               std::filesystem::path workDir, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), cardFile_(std::move(workDir)) {
    setObjectName("CardFileWindow");
    setFixedSize(971, 555);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    searchLabel = makeLabel(this, "searchLabel");
    searchEdit = new QLineEdit(this);
    searchEdit->setObjectName("searchEdit");
    searchEdit->setClearButtonEnabled(true);
    searchLabel->setBuddy(searchEdit);
    patientList = makeList(this, "patientList", 3);
    patientList->setColumnWidth(0, 228);
    patientList->setColumnWidth(1, 120);
    // Number, date, time, duration and the kind (A2, rhythmogram; nothing for a plain ECG).
    // Then the statements of the recording's report and whether it is confirmed.
    archiveList = makeList(this, "archiveList", 6);
    archiveList->setColumnWidth(0, 40);
    archiveList->setColumnWidth(1, 92);
    archiveList->setColumnWidth(2, 76);
    archiveList->setColumnWidth(3, 90);
    archiveList->setColumnWidth(4, 60);
    // The columns after the first are centred, headers as well as rows.
    for (int c = 1; c < 3; ++c)
        patientList->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    for (int c = 1; c < 5; ++c)
        archiveList->headerItem()->setTextAlignment(c, Qt::AlignCenter);

    archiveLabel = makeLabel(this, "archiveLabel");
    detailsBox = new QGroupBox(this);
    detailsBox->setObjectName("detailsBox");
    nameLabel = makeLabel(detailsBox, "nameLabel");
    sexLabel = makeLabel(detailsBox, "sexLabel");
    birthDateLabel = makeLabel(detailsBox, "birthDateLabel");
    birthplaceLabel = makeLabel(detailsBox, "birthplaceLabel");
    addressLabel = makeLabel(detailsBox, "addressLabel");
    telephoneLabel = makeLabel(detailsBox, "telephoneLabel");
    policyLabel = makeLabel(detailsBox, "policyLabel");
    nameValue = makeLabel(detailsBox, "nameValue");
    sexValue = makeLabel(detailsBox, "sexValue");
    birthDateValue = makeLabel(detailsBox, "birthDateValue");
    birthplaceValue = makeLabel(detailsBox, "birthplaceValue");
    addressValue = makeLabel(detailsBox, "addressValue");
    telephoneValue = makeLabel(detailsBox, "telephoneValue");
    policyValue = makeLabel(detailsBox, "policyValue");
    auto* details = new QGridLayout(detailsBox);
    QLabel* names[7] = {nameLabel,    sexLabel,       birthDateLabel, birthplaceLabel,
                        addressLabel, telephoneLabel, policyLabel};
    QLabel* values[7] = {nameValue,    sexValue,       birthDateValue, birthplaceValue,
                         addressValue, telephoneValue, policyValue};
    for (int i = 0; i < 7; ++i) {
        details->addWidget(names[i], i, 0);
        details->addWidget(values[i], i, 1);
    }

    New = makeButton(this, "New");
    Change = makeButton(this, "Change");
    Delete = makeButton(this, "Delete");
    OK = makeButton(this, "OK");
    Open = makeButton(this, "Open");
    Export = makeButton(this, "Export");
    DelRec = makeButton(this, "DelRec");
    Write = makeButton(this, "Write");
    Send = makeButton(this, "Send");
    Send->setVisible(false);
    Queue = makeButton(this, "Queue");
    Queue->setVisible(false);
    Earlier = makeButton(this, "Earlier");
    Earlier->setVisible(false);
    Worklist = makeButton(this, "Worklist");
    Worklist->setVisible(false);
    Gdt = makeButton(this, "Gdt");
    Gdt->setVisible(false);
    Compare = makeButton(this, "Compare");
    Compare->setVisible(false);
    Compare->setEnabled(false);

    auto* left = new QVBoxLayout;
    auto* search = new QHBoxLayout;
    search->addWidget(searchLabel);
    search->addWidget(searchEdit, 1);
    left->addLayout(search);
    left->addWidget(patientList, 1);
    auto* patientButtons = new QHBoxLayout;
    patientButtons->addWidget(New);
    patientButtons->addWidget(Change);
    patientButtons->addWidget(Delete);
    patientButtons->addStretch();
    patientButtons->addWidget(OK);
    left->addLayout(patientButtons);
    auto* right = new QVBoxLayout;
    right->addWidget(detailsBox);
    right->addWidget(archiveLabel);
    right->addWidget(archiveList, 1);
    auto* archiveButtons = new QHBoxLayout;
    archiveButtons->addWidget(Open);
    archiveButtons->addWidget(Export);
    archiveButtons->addWidget(DelRec);
    archiveButtons->addWidget(Write);
    archiveButtons->addWidget(Send);
    archiveButtons->addWidget(Compare);
    right->addLayout(archiveButtons);
    auto* networkButtons = new QHBoxLayout;
    networkButtons->addWidget(Queue);
    networkButtons->addWidget(Earlier);
    networkButtons->addWidget(Worklist);
    networkButtons->addWidget(Gdt);
    networkButtons->addStretch();
    right->addLayout(networkButtons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    connect(New, &QPushButton::clicked, this, &CardFileWindow::newPatient);
    connect(Change, &QPushButton::clicked, this, &CardFileWindow::changePatient);
    connect(Delete, &QPushButton::clicked, this, &CardFileWindow::deletePatient);
    connect(OK, &QPushButton::clicked, this, &CardFileWindow::closeWithoutRequest);
    connect(Open, &QPushButton::clicked, this, &CardFileWindow::openRecording);
    connect(Export, &QPushButton::clicked, this, &CardFileWindow::exportRecording);
    connect(DelRec, &QPushButton::clicked, this, &CardFileWindow::deleteRecording);
    connect(Write, &QPushButton::clicked, this, &CardFileWindow::writeNewRecording);
    connect(Send, &QPushButton::clicked, this, &CardFileWindow::sendRecording);
    connect(Queue, &QPushButton::clicked, this, &CardFileWindow::showQueue);
    connect(Earlier, &QPushButton::clicked, this, &CardFileWindow::showEarlier);
    connect(Worklist, &QPushButton::clicked, this, &CardFileWindow::showWorklist);
    connect(Gdt, &QPushButton::clicked, this, &CardFileWindow::showGdt);
    connect(Compare, &QPushButton::clicked, this, &CardFileWindow::compareRecording);
    connect(patientList, &QTreeWidget::itemSelectionChanged, this,
            &CardFileWindow::patientSelected);
    connect(archiveList, &QTreeWidget::itemSelectionChanged, this, &CardFileWindow::entrySelected);
    connect(archiveList, &QTreeWidget::itemSelectionChanged, this, &CardFileWindow::updateCompare);
    // A double click opens the recording, as Open does.
    connect(archiveList, &QTreeWidget::itemDoubleClicked, this, [this] { openRecording(); });
    connect(searchEdit, &QLineEdit::textChanged, this, &CardFileWindow::fillPatients);
    connect(patientList->header(), &QHeaderView::sectionClicked, this,
            &CardFileWindow::orderPatientsBy);
    connect(archiveList->header(), &QHeaderView::sectionClicked, this,
            &CardFileWindow::orderEntriesBy);

    auto patients = cardFile_.listPatients();
    if (!patients) {
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка открытия картотеки\n"), patients),
                        errorCaption(state_.interfaceLanguage()));
    } else {
        finder_ = PatientFinder(std::move(patients.value));
        fillPatients();
    }
    applyLanguage(state_.interfaceLanguage());
}

void CardFileWindow::applyLanguage(bool russian) {
    applyLanguage(russian ? Language::Russian : Language::English);
}

void CardFileWindow::applyLanguage(Language l) {
    const auto say = [l](const char* source) {
        return velkard::ui::translate(l, kContext, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Пациент")));
    New->setText(say(QT_TR_NOOP("Новый пациент")));
    Change->setText(say(QT_TR_NOOP("Изменить")));
    Delete->setText(say(QT_TR_NOOP("Удалить")));
    OK->setText(say(QT_TR_NOOP("OK")));
    Open->setText(say(QT_TR_NOOP("Открыть")));
    Export->setText(say(QT_TR_NOOP("Экспорт")));
    DelRec->setText(say(QT_TR_NOOP("Удалить")));
    Write->setText(say(QT_TR_NOOP("Запись")));
    archiveLabel->setText(say(QT_TR_NOOP("Архив пациента")));
    nameLabel->setText(say(QT_TR_NOOP("Ф.И.О.")));
    sexLabel->setText(say(QT_TR_NOOP("Пол")));
    birthDateLabel->setText(say(QT_TR_NOOP("Дата рождения")));
    birthplaceLabel->setText(say(QT_TR_NOOP("Место рождения")));
    addressLabel->setText(say(QT_TR_NOOP("Адрес")));
    telephoneLabel->setText(say(QT_TR_NOOP("Телефон")));
    policyLabel->setText(say(QT_TR_NOOP("Медицинский страховой полис")));
    searchLabel->setText(say(QT_TR_NOOP("Поиск:")));
    searchEdit->setPlaceholderText(say(QT_TR_NOOP("Ф.И.О., ID, полис или дата рождения")));
    searchEdit->setToolTip(
        say(QT_TR_NOOP("Показать пациентов, у которых Ф.И.О., ID, номер полиса или дата рождения "
                       "содержат каждое из введённых слов")));
    // The list headers (the name column's capitals differ from the label's in English).
    const auto column = [l](const char* source, const char* disambiguation) {
        return velkard::ui::translate(l, kContext, source, disambiguation);
    };
    const char* patientColumns[][2] = {
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Ф.И.О.", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Дата рожд.", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Пол", "column")};
    for (int c = 0; c < 3; ++c)
        patientList->headerItem()->setText(c, column(patientColumns[c][0], patientColumns[c][1]));
    const char* archiveColumns[][2] = {
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "№", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Дата", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Время", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Длительность ЭКГ,с", "column"),
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Вид", "column")};
    for (int c = 0; c < 5; ++c)
        archiveList->headerItem()->setText(c, column(archiveColumns[c][0], archiveColumns[c][1]));
    const char* sendColumn[2] =
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Отправка", "column");
    if (sendStates_)
        archiveList->headerItem()->setText(5, column(sendColumn[0], sendColumn[1]));
    const char* reportColumn[2] =
        QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow", "Заключение", "column");
    archiveList->headerItem()->setText(reportColumnIndex(),
                                       column(reportColumn[0], reportColumn[1]));
    for (QTreeWidget* list : {patientList, archiveList})
        for (int c = 0; c < list->columnCount(); ++c)
            list->headerItem()->setToolTip(c, list->headerItem()->text(c));
    Send->setText(say(QT_TR_NOOP("Отправить")));
    Send->setToolTip(say(QT_TR_NOOP("Отправить ЭКГ в архив (PACS) и в медицинскую систему")));
    Queue->setText(say(QT_TR_NOOP("Очередь отправки")));
    Queue->setToolTip(say(QT_TR_NOOP("Что отправляется, отправлено или не принято")));
    Earlier->setText(say(QT_TR_NOOP("Ранее снятые ЭКГ")));
    Earlier->setToolTip(say(QT_TR_NOOP("ЭКГ этого пациента в архиве (PACS)")));
    Worklist->setText(say(QT_TR_NOOP("Рабочий список")));
    Worklist->setToolTip(say(QT_TR_NOOP("Направления на сегодня с сервера рабочего списка")));
    Gdt->setText(say(QT_TR_NOOP("Запросы GDT")));
    Gdt->setToolTip(say(QT_TR_NOOP("Запросы программы врачебной практики (GDT)")));
    Compare->setText(say(QT_TR_NOOP("Сравнить")));
    Compare->setToolTip(say(QT_TR_NOOP("Сравнить выделенную ЭКГ с другой ЭКГ этого пациента")));
    // The hints.
    archiveLabel->setToolTip(say(QT_TR_NOOP("Список сохраненных ЭКГ пациента")));
    New->setToolTip(say(QT_TR_NOOP("Ввести в базу данные нового пациента")));
    Change->setToolTip(say(QT_TR_NOOP("Изменить данные о пациенте")));
    Delete->setToolTip(say(QT_TR_NOOP("Удалить карту пациента из базы")));
    Open->setToolTip(say(QT_TR_NOOP("Вывести на экран ЭКГ из архива")));
    Export->setToolTip(
        say(QT_TR_NOOP("Сохранить ЭКГ из архива в файл EDF+, DICOM, SCP-ECG или HL7 aECG")));
    DelRec->setToolTip(say(QT_TR_NOOP("Удалить выделенную ЭКГ из  архива")));
    Write->setToolTip(say(QT_TR_NOOP("Регистрация ЭКГ в реальном времени")));
    // The report column's words follow the language.
    labelsIn_ = l;
    if (!entries_.empty()) {
        readReportStates();
        showEntries();
    }
}

void CardFileWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

QString CardFileWindow::text(const char* source) const {
    return velkard::ui::translate(state_.interfaceLanguage(), kContext, source);
}

int CardFileWindow::selectedPatientRow() const {
    return positionOf(patientList);
}

QString CardFileWindow::selectedPatientId() const {
    const auto items = patientList->selectedItems();
    return items.isEmpty() ? QString() : items.front()->data(0, kIdRole).toString();
}

int CardFileWindow::selectedEntryRow() const {
    return positionOf(archiveList);
}

void CardFileWindow::fillPatients() {
    const int selectedRow = selectedPatientRow();
    const QString selectedId = selectedPatientId();
    const Language l = state_.interfaceLanguage();
    const auto positions = finder_.find(searchEdit->text().toStdString(), patientOrder_);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(positions.size()));
    QTreeWidgetItem* stillSelected = nullptr;
    for (const std::size_t position : positions) {
        const PatientRecord& p = finder_.patient(position);
        QTreeWidgetItem* row =
            centredRow({utf8(p.name), utf8(p.birthDate), shownSex(utf8(p.sex), l)});
        row->setData(0, kPositionRole, static_cast<int>(position));
        row->setData(0, kIdRole, utf8(p.id));
        if (static_cast<int>(position) == selectedRow && utf8(p.id) == selectedId)
            stillSelected = row;
        rows.append(row);
    }
    {
        // The patient shown stays the chosen one without being read again; its archive and the
        // chosen recording stay as they are.
        const QSignalBlocker quiet(patientList);
        patientList->clear();
        patientList->addTopLevelItems(rows);
        if (stillSelected) {
            patientList->setCurrentItem(stillSelected);
            patientList->scrollToItem(stillSelected);
        }
    }
    if (selectedRow >= 0 && !stillSelected) {
        // The chosen patient is no longer listed: nothing of them stays on show to act on.
        clearDetails();
        clearArchive();
        entries_.clear();
    }
}

void CardFileWindow::reloadPatients(const QString& id) {
    auto patients = cardFile_.listPatients();
    {
        const QSignalBlocker quiet(patientList);
        patientList->clearSelection();
    }
    clearDetails();
    clearArchive();
    entries_.clear();
    if (!patients)
        return;
    finder_ = PatientFinder(std::move(patients.value));
    fillPatients();
    for (int i = 0; i < patientList->topLevelItemCount(); ++i)
        if (patientList->topLevelItem(i)->data(0, kIdRole).toString() == id) {
            reloading_ = true;
            patientList->setCurrentItem(patientList->topLevelItem(i));
            reloading_ = false;
            return;
        }
}

void CardFileWindow::orderPatientsBy(int column) {
    if (column < 0 || column > static_cast<int>(PatientColumn::Sex))
        return;
    patientOrder_ = clicked(patientOrder_, static_cast<PatientColumn>(column));
    showOrder(patientList, patientOrder_);
    fillPatients();
}

void CardFileWindow::orderEntriesBy(int column) {
    if (column < 0 || column > static_cast<int>(EntryColumn::Kind))
        return;
    entryOrder_ = clicked(entryOrder_, static_cast<EntryColumn>(column));
    showOrder(archiveList, entryOrder_);
    showEntries();
}

void CardFileWindow::clearDetails() {
    for (QLabel* l : {nameValue, sexValue, birthDateValue, birthplaceValue, addressValue,
                      telephoneValue, policyValue})
        l->clear();
}

void CardFileWindow::fillArchive(const std::string& id) {
    entries_.clear();
    shownPatientId_ = id;
    auto entries = cardFile_.listArchiveEntries(id);
    if (entries)
        entries_ = std::move(entries.value);
    readReportStates();
    clearArchive();
    showEntries();
}

void CardFileWindow::setSendAction(SendAction action) {
    sendAction_ = std::move(action);
    Send->setVisible(static_cast<bool>(sendAction_));
}

void CardFileWindow::setQueueAction(WindowAction action) {
    queueAction_ = std::move(action);
    Queue->setVisible(static_cast<bool>(queueAction_));
}

void CardFileWindow::showQueue() {
    if (!queueAction_)
        return;
    queueAction_(this);
    refreshSendStates();
}

void CardFileWindow::setEarlierAction(PatientAction action) {
    earlierAction_ = std::move(action);
    Earlier->setVisible(static_cast<bool>(earlierAction_));
}

void CardFileWindow::showEarlier() {
    if (!earlierAction_)
        return;
    if (selectedPatientRow() < 0) {
        showNoPatient(messages(), state_);
        return;
    }
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(selectedPatientRow()));
    if (!patient) {
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка открытия картотеки\n"), patient),
                        errorCaption(state_.interfaceLanguage()));
        return;
    }
    if (utf8(patient.value.id) != selectedPatientId()) {
        // The index changed under the window: the list is read again, the patient found by ID.
        reloadPatients(selectedPatientId());
        return;
    }
    earlierAction_(cardFile_, patient.value, this);
}

void CardFileWindow::setWorklistAction(PatientPick action) {
    worklistAction_ = std::move(action);
    Worklist->setVisible(static_cast<bool>(worklistAction_));
}

void CardFileWindow::setGdtAction(PatientPick action) {
    gdtAction_ = std::move(action);
    Gdt->setVisible(static_cast<bool>(gdtAction_));
}

void CardFileWindow::showWorklist() {
    writeForPick(worklistAction_);
}

void CardFileWindow::showGdt() {
    writeForPick(gdtAction_);
}

void CardFileWindow::writeForPick(const PatientPick& pick) {
    if (!pick)
        return;
    const auto id = pick(this);
    if (!id)
        return;
    // The card may be new: the list is read again, unfiltered, with it selected, then written
    // for.
    {
        const QSignalBlocker quiet(searchEdit);
        searchEdit->clear();
    }
    reloadPatients(utf8(*id));
    if (selectedPatientId() == utf8(*id))
        writeNewRecording();
}

int CardFileWindow::reportColumnIndex() const {
    return sendStates_ ? 6 : 5;
}

void CardFileWindow::readReportStates() {
    // Only the report files are read (small texts), never the recordings: the list stays quick
    // for an archive of hundreds of ECGs.
    reportStates_.assign(entries_.size(), {});
    const Language l = labelsIn_;
    const auto said =
        l == Language::Russian ? interpret::Language::Russian : interpret::Language::English;
    const auto say = [l](const char* source) {
        return velkard::ui::translate(l, kContext, source);
    };
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const ArchiveEntry& e = entries_[i];
        auto stored = cardFile_.readReport(shownPatientId_, e.recordNumber());
        if (stored && !stored.value)
            continue; // no report made yet
        auto report = stored ? interpret::decodeReport(*stored.value)
                             : Result<interpret::Report>::failure(stored.code, stored.message);
        if (!report) {
            reportStates_[i] = {say(QT_TR_NOOP("отчёт не читается")),
                                QString::fromStdString(report.message)};
            continue;
        }
        // A report left beside another recording says nothing of this one.
        if (report.value.recordedAt != e.date + " " + e.time)
            continue;
        QStringList codes, texts;
        for (const interpret::ReportStatement* s : interpret::shownStatements(report.value)) {
            const QString text = utf8(s->textIn(said));
            codes << (s->code.empty() ? (text.size() > 20 ? text.left(19) + QChar(0x2026) : text)
                                      : utf8(s->code));
            texts << QStringLiteral("• ") + text;
        }
        const bool confirmed = report.value.confirmed();
        const QString state =
            confirmed ? say(QT_TR_NOOP("Подтверждено")) : say(QT_TR_NOOP("не подтверждено"));
        texts << (confirmed ? say(QT_TR_NOOP("Подтверждено: %1, %2"))
                                  .arg(utf8(report.value.physician), utf8(report.value.confirmedAt))
                            : say(QT_TR_NOOP("Не подтверждено")));
        reportStates_[i] = {codes.isEmpty()
                                ? state
                                : codes.join(QStringLiteral(", ")) + QStringLiteral(" · ") + state,
                            texts.join(QLatin1Char('\n'))};
    }
}

void CardFileWindow::clearArchive() {
    archiveList->clear();
    // An emptied list (another patient, a deletion) leaves nothing to compare.
    updateCompare();
}

void CardFileWindow::setCompareAction(CompareAction action) {
    compareAction_ = std::move(action);
    Compare->setVisible(static_cast<bool>(compareAction_));
    updateCompare();
}

void CardFileWindow::updateCompare() {
    const int row = selectedEntryRow();
    bool other = false;
    if (row >= 0 && static_cast<std::size_t>(row) < entries_.size() &&
        !entries_[static_cast<std::size_t>(row)].isRhythm())
        for (std::size_t i = 0; i < entries_.size() && !other; ++i)
            other = static_cast<int>(i) != row && !entries_[i].isRhythm();
    Compare->setEnabled(compareAction_ && other);
}

void CardFileWindow::setSendStates(SendStates states) {
    sendStates_ = std::move(states);
    archiveList->setColumnCount(sendStates_ ? 7 : 6);
    if (sendStates_)
        archiveList->setColumnWidth(5, 90);
    applyLanguage(state_.interfaceLanguage());
    refreshSendStates();
}

void CardFileWindow::refreshSendStates() {
    if (!sendStates_ || entries_.empty())
        return;
    const QStringList states = sendStates_(shownPatientId_, entries_);
    for (int i = 0; i < archiveList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = archiveList->topLevelItem(i);
        const int position = row->data(0, kPositionRole).toInt();
        const QString shown = position < states.size() ? states[position] : QString();
        row->setText(5, shown);
        row->setToolTip(5, shown);
    }
}

void CardFileWindow::showEntries() {
    const int selected = selectedEntryRow();
    QList<QTreeWidgetItem*> rows;
    QTreeWidgetItem* stillSelected = nullptr;
    for (const std::size_t position : orderEntries(entries_, entryOrder_)) {
        const ArchiveEntry& e = entries_[position];
        QTreeWidgetItem* row = centredRow(
            {utf8(e.number), utf8(e.date), utf8(e.time), utf8(e.duration), kindText(e.kind)});
        row->setData(0, kPositionRole, static_cast<int>(position));
        if (position < reportStates_.size()) {
            row->setText(reportColumnIndex(), reportStates_[position].first);
            row->setToolTip(reportColumnIndex(), reportStates_[position].second);
            row->setTextAlignment(reportColumnIndex(), Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (static_cast<int>(position) == selected)
            stillSelected = row;
        rows.append(row);
    }
    // Reordering keeps the chosen recording chosen.
    const QSignalBlocker quiet(archiveList);
    archiveList->clear();
    archiveList->addTopLevelItems(rows);
    if (stillSelected)
        archiveList->setCurrentItem(stillSelected);
    refreshSendStates();
    updateCompare();
}

QString CardFileWindow::kindText(const std::string& marker) const {
    if (marker == cardfile::kKindA2)
        return QStringLiteral("A2");
    if (marker == cardfile::kKindRhythm)
        return text(QT_TR_NOOP("Ритмограмма"));
    return QString();
}

void CardFileWindow::patientSelected() {
    const int row = selectedPatientRow();
    if (row < 0)
        return; // a row losing its selection is ignored
    CardSelection& sel = selection_;
    sel.patientIndex = row;
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (patient && utf8(patient.value.id) != selectedPatientId()) {
        // Another workstation added or removed a patient: the row holds someone else now. The
        // list is read again and the patient chosen found by ID; never is another one shown in
        // their place.
        const QString id = selectedPatientId();
        sel.patientId.clear();
        sel.patientName.clear();
        sel.patientBirthDate.clear();
        sel.patientSex.clear();
        if (!reloading_)
            reloadPatients(id);
        return;
    }
    if (!patient) {
        // Nothing of the previously chosen patient may be used for this row.
        sel.patientId.clear();
        sel.patientName.clear();
        sel.patientBirthDate.clear();
        sel.patientSex.clear();
        clearDetails();
        clearArchive();
        return;
    }
    const PatientRecord& p = patient.value;
    nameValue->setText(utf8(p.name));
    sexValue->setText(shownSex(utf8(p.sex), state_.interfaceLanguage()));
    birthDateValue->setText(utf8(p.birthDate));
    birthplaceValue->setText(utf8(p.birthplace));
    addressValue->setText(utf8(p.address));
    telephoneValue->setText(utf8(p.telephone));
    policyValue->setText(utf8(p.policy));
    sel.patientName = utf8(p.name);
    sel.patientBirthDate = utf8(p.birthDate);
    sel.patientSex = utf8(p.sex);
    sel.patientId = utf8(p.id);
    fillArchive(p.id);
}

void CardFileWindow::startFrom(const CardSelection& selection) {
    selection_ = selection;
    // The patient and the recording in use are chosen again, so the next Write or Open acts on
    // them; only while the row still holds that patient (another workstation may have changed it).
    const int row = selection.patientIndex;
    if (row < 0 || static_cast<std::size_t>(row) >= finder_.size() || selection.patientId.isEmpty())
        return;
    const auto patient = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (!patient || utf8(patient.value.id) != selection.patientId)
        return;
    QTreeWidgetItem* patientRow = nullptr;
    for (int i = 0; i < patientList->topLevelItemCount() && !patientRow; ++i)
        if (patientList->topLevelItem(i)->data(0, kPositionRole).toInt() == row)
            patientRow = patientList->topLevelItem(i);
    if (!patientRow)
        return;
    patientList->setCurrentItem(patientRow);
    patientList->scrollToItem(patientRow);
    int entryRow = selection.entryIndex;
    if (selection.recordNumber > 0) {
        entryRow = -1;
        for (std::size_t j = 0; j < entries_.size(); ++j)
            if (entries_[j].recordNumber() == selection.recordNumber)
                entryRow = static_cast<int>(j);
    }
    for (int i = 0; i < archiveList->topLevelItemCount(); ++i)
        if (entryRow >= 0 &&
            archiveList->topLevelItem(i)->data(0, kPositionRole).toInt() == entryRow)
            archiveList->setCurrentItem(archiveList->topLevelItem(i));
}

void CardFileWindow::entrySelected() {
    const int row = selectedEntryRow();
    if (row < 0)
        return;
    CardSelection& sel = selection_;
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(sel.patientIndex));
    // The recording belongs to the patient whose row is selected, or to nobody.
    if (patient && utf8(patient.value.id) == selectedPatientId()) {
        sel.patientId = utf8(patient.value.id);
    } else {
        sel.patientId.clear();
        sel.patientName.clear();
        sel.patientBirthDate.clear();
        sel.patientSex.clear();
    }
    sel.entryIndex = row;
}

void CardFileWindow::newPatient() {
    NewPatientDialog dialog(state_, seams_.messages, cardFile_.workDir(), this);
    dialog.applyLanguage(state_.interfaceLanguage());
    // This window appends the record itself; a request left by another caller would add it twice.
    state_.newPatient.selfAppend = false;
    seams_.dialogs.run(dialog);
    if (!state_.newPatient.patientCreated)
        return;
    auto status = cardFile_.appendPatientRecord(dialog.record());
    if (!status) {
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка записи в картотеку\n"), status),
                        errorCaption(state_.interfaceLanguage()));
        return;
    }
    const PatientBytes stored = encodePatientRecord(dialog.record());
    finder_.append(decodePatientRecord(stored));
    const int position = static_cast<int>(finder_.size()) - 1;
    // The new patient is the chosen one: the next Write records into their card. A search that
    // would hide them is cleared.
    if (!finder_.matches(static_cast<std::size_t>(position), searchEdit->text().toStdString())) {
        const QSignalBlocker quiet(searchEdit);
        searchEdit->clear();
    }
    {
        const QSignalBlocker quiet(patientList);
        patientList->clearSelection();
    }
    fillPatients();
    for (int i = 0; i < patientList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* added = patientList->topLevelItem(i);
        if (added->data(0, kPositionRole).toInt() == position) {
            patientList->setCurrentItem(added);
            patientList->scrollToItem(added);
            break;
        }
    }
}

void CardFileWindow::changePatient() {
    const int row = selectedPatientRow();
    if (row < 0) {
        showNoPatient(messages(), state_);
        return;
    }
    QTreeWidgetItem* item = patientList->selectedItems().front();
    const QString shownId = selectedPatientId();
    auto stored = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (!stored) {
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка открытия картотеки\n"), stored),
                        errorCaption(state_.interfaceLanguage()));
        return;
    }
    if (utf8(stored.value.id) != shownId) {
        // The row holds another patient now: the list is read again, nothing is changed.
        reloadPatients(shownId);
        return;
    }
    ChangePatientDialog dialog(state_, this);
    dialog.applyLanguage(state_.interfaceLanguage());

    PatientTexts& t = state_.patientTexts;
    const PatientTexts before = t;
    t.name = item->text(0);
    t.sex = item->text(2);
    t.birthDate = item->text(1);
    t.birthplace = utf8(stored.value.birthplace);
    t.address = utf8(stored.value.address);
    t.telephone = utf8(stored.value.telephone);
    t.policy = utf8(stored.value.policy);
    const PatientTexts filled = t;
    dialog.nameEdit->setText(filled.name);
    dialog.sexBox->setEditText(filled.sex);
    // A birth date that does not read as a date shows nothing; OK keeps the stored text unless the
    // user changes the date.
    dialog.showStoredBirthDate(filled.birthDate);
    dialog.birthplaceEdit->setText(filled.birthplace);
    dialog.addressEdit->setText(filled.address);
    dialog.telephoneEdit->setText(filled.telephone);
    dialog.policyEdit->setText(filled.policy);
    t = filled; // the fills above went through the typing handlers; keep the stored texts exact

    const int result = seams_.dialogs.run(dialog);
    if (result != QDialog::Accepted) {
        // Cancel discards what was typed: nothing is written and the row keeps its texts.
        t = before;
        patientList->clearSelection();
        return;
    }
    item->setText(0, t.name);
    item->setText(1, t.birthDate);
    item->setText(2, t.sex);
    nameValue->setText(t.name);
    sexValue->setText(t.sex);
    birthDateValue->setText(t.birthDate);
    birthplaceValue->setText(t.birthplace);
    addressValue->setText(t.address);
    telephoneValue->setText(t.telephone);
    policyValue->setText(t.policy);

    PatientRecord record;
    record.name = nameValue->text().toStdString();
    record.sex = storedSex(sexValue->text()).toStdString();
    record.birthDate = birthDateValue->text().toStdString();
    record.birthplace = birthplaceValue->text().toStdString();
    record.address = addressValue->text().toStdString();
    record.telephone = telephoneValue->text().toStdString();
    record.policy = policyValue->text().toStdString();
    record.id = stored.value.id;
    auto status = cardFile_.rewritePatientRecord(static_cast<std::size_t>(row), record);
    if (!status)
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка записи в картотеку\n"), status),
                        errorCaption(state_.interfaceLanguage()));
    else
        finder_.replace(static_cast<std::size_t>(row),
                        decodePatientRecord(encodePatientRecord(record)));
    patientList->clearSelection();
    // The changed row moves to its place in the order, or out of a search it no longer matches.
    fillPatients();
}

void CardFileWindow::deletePatient() {
    const int row = selectedPatientRow();
    if (row < 0) {
        showNoPatient(messages(), state_);
        return;
    }
    // The patient of the row as it was listed: the card file refuses the removal when the row
    // holds someone else by now.
    const std::string id = selectedPatientId().toStdString();
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(row));
    if (patient && patient.value.id != id) {
        reloadPatients(selectedPatientId());
        return;
    }
    // The question names whom and how much it removes; Enter answers No.
    const auto entries = cardFile_.listArchiveEntries(id);
    const QString who = patientList->selectedItems().front()->text(0).trimmed();
    const QString question = text(QT_TR_NOOP("Удалить пациента «%1» и все его записи (%2)?"))
                                 .arg(who)
                                 .arg(entries ? qsizetype(entries.value.size()) : 0);
    if (!messages().ask(question, QString(), nullptr, false))
        return;
    auto status = cardFile_.removePatient(static_cast<std::size_t>(row), id);
    if (!status) {
        messages().show(failureText(state_, QT_TR_NOOP("Ошибка удаления пациента\n"), status),
                        errorCaption(state_.interfaceLanguage()));
        return;
    }
    finder_.remove(static_cast<std::size_t>(row));
    forgetOpenedRecording();
    clearDetails();
    clearArchive();
    entries_.clear();
    {
        const QSignalBlocker quiet(patientList);
        patientList->clearSelection();
    }
    fillPatients();
}

void CardFileWindow::forgetOpenedRecording() {
    // Deleting renumbers or removes recordings: the path of an earlier Open may now name another
    // recording, so it must not be shown again.
    choice_.forgotOpened = true;
    selection_.recordingPath.clear();
}

void CardFileWindow::reject() {
    choice_.request = CardRequest::None;
    QDialog::reject();
}

void CardFileWindow::closeWithoutRequest() {
    choice_.request = CardRequest::None;
    accept();
}

bool CardFileWindow::entryChosen() const {
    if (selectedPatientRow() < 0) {
        showNoPatient(messages(), state_);
        return false;
    }
    if (selectedEntryRow() < 0) {
        showNoEntry(messages(), state_);
        return false;
    }
    return true;
}

void CardFileWindow::openRecording() {
    if (!entryChosen())
        return;
    CardSelection& sel = selection_;
    auto entry = cardFile_.readArchiveEntry(sel.patientId.toStdString(),
                                            static_cast<std::size_t>(sel.entryIndex));
    if (!entry) {
        // Russian in English too, as it always was.
        messages().show(text(QT_TR_NOOP("Ошибка открытия файла с ЭКГ")),
                        text(QT_TR_NOOP("Ошибка")));
        choice_.request = CardRequest::None;
        return;
    }
    const ArchiveEntry& e = entry.value;
    sel.entryDate = utf8(e.date);
    sel.entryTime = utf8(e.time);
    sel.kindMarker = utf8(e.kind);
    choice_.request = e.isRhythm() ? CardRequest::OpenRhythmogram : CardRequest::OpenRecording;
    choice_.kindA2 = e.isA2();
    if (!e.isRhythm())
        sel.entryDuration = static_cast<int>(e.durationSeconds().value_or(0));
    sel.recordingPath = QString::fromStdString(
        cardFile_.recordingPath(sel.patientId.toStdString(), sel.entryIndex + 1).string());
    accept();
}

std::optional<std::pair<PatientRecord, ArchiveEntry>> CardFileWindow::readChosenEntry() {
    const CardSelection& sel = selection_;
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(sel.patientIndex));
    if (patient && utf8(patient.value.id) == selectedPatientId()) {
        auto entry =
            cardFile_.readArchiveEntry(patient.value.id, static_cast<std::size_t>(sel.entryIndex));
        if (entry)
            return std::pair{std::move(patient.value), std::move(entry.value)};
    }
    // Unlike Open's message, this one is in the interface language.
    const char* failed[2] = QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow",
                                               "Ошибка открытия файла с ЭКГ", "export");
    messages().show(
        velkard::ui::translate(state_.interfaceLanguage(), kContext, failed[0], failed[1]),
        errorCaption(state_.interfaceLanguage()));
    return std::nullopt;
}

void CardFileWindow::exportRecording() {
    if (!entryChosen())
        return;
    if (auto chosen = readChosenEntry(); chosen && exportAction_)
        exportAction_(cardFile_, chosen->first, chosen->second, this);
}

void CardFileWindow::sendRecording() {
    if (!entryChosen() || !sendAction_)
        return;
    if (auto chosen = readChosenEntry()) {
        sendAction_(cardFile_, chosen->first, chosen->second, this);
        refreshSendStates();
    }
}

void CardFileWindow::compareRecording() {
    if (!entryChosen() || !compareAction_)
        return;
    const CardSelection& sel = selection_;
    auto patient = cardFile_.readPatient(static_cast<std::size_t>(sel.patientIndex));
    if (patient && utf8(patient.value.id) == selectedPatientId() &&
        patient.value.id == shownPatientId_ && sel.entryIndex >= 0 &&
        static_cast<std::size_t>(sel.entryIndex) < entries_.size()) {
        compareAction_(cardFile_, patient.value, entries_, static_cast<std::size_t>(sel.entryIndex),
                       this);
        return;
    }
    const char* failed[2] = QT_TRANSLATE_NOOP3("velkard::cardfile::ui::CardFileWindow",
                                               "Ошибка открытия файла с ЭКГ", "export");
    messages().show(
        velkard::ui::translate(state_.interfaceLanguage(), kContext, failed[0], failed[1]),
        errorCaption(state_.interfaceLanguage()));
}

void CardFileWindow::writeNewRecording() {
    if (selectedPatientRow() < 0) {
        reject();
        return;
    }
    CardSelection& sel = selection_;
    const std::string id = sel.patientId.toStdString();
    if (!isValidPatientId(id)) {
        // The selected row could not be read: no patient to write for.
        showNoPatient(messages(), state_);
        return;
    }
    // Refused before recording: an archive of 999 entries has no number left for a new one.
    auto entries = cardFile_.listArchiveEntries(id);
    const std::size_t held = entries ? entries.value.size() : 0;
    if (held >= static_cast<std::size_t>(kMaxRecordNumber) ||
        cardFile_.nextRecordNumber(id) > kMaxRecordNumber) {
        showArchiveFull(messages(), state_);
        return;
    }
    choice_.request = CardRequest::Write;
    sel.recordNumber = cardFile_.nextRecordNumber(id);
    sel.recordingPath = QString::fromStdString(
        cardFile_.recordingPath(sel.patientId.toStdString(), sel.recordNumber).string());
    accept();
}

void CardFileWindow::deleteRecording() {
    if (!entryChosen())
        return;
    if (!messages().ask(text(QT_TR_NOOP("Удалить запись?")), QString(), nullptr, false))
        return;
    CardSelection& sel = selection_;
    auto status = cardFile_.removeArchiveEntry(sel.patientId.toStdString(),
                                               static_cast<std::size_t>(sel.entryIndex));
    if (!status) {
        // The text stays Russian and the caption English in both languages, as they always were.
        messages().show(text(QT_TR_NOOP("Ошибка отрытия файла")), text(QT_TR_NOOP("Error")));
        return;
    }
    forgetOpenedRecording();
    fillArchive(sel.patientId.toStdString());
}

} // namespace velkard::cardfile::ui
