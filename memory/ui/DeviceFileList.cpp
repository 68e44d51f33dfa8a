// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/ui/DeviceFileList.h"

#include "signal/Cp1251.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <limits>

namespace velkard::memory::ui {

namespace {

// The progress bar holds ints; announced sizes are 32-bit unsigned and the position may pass them.
int clampInt(std::int64_t v) {
    return int(std::clamp<std::int64_t>(v, 0, std::numeric_limits<int>::max()));
}

// An entry's raw bytes as they are shown: the instrument names its files in Windows-1251, and the
// downloaded file gets the same conversion, so the list and the "temp" folder show one name.
QString shownText(const std::string& raw) {
    return QString::fromStdString(signal::cp1251ToUtf8(raw));
}

} // namespace

DeviceFileList::DeviceFileList(const velkard::ui::ViewState& state, velkard::ui::Messages& messages,
                               QWidget* parent)
    : QDialog(parent), state_(state), messages_(messages) {
    setObjectName(QStringLiteral("DeviceFileList"));
    fileList = new QListWidget(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setSelectionMode(QAbstractItemView::MultiSelection);
    refreshButton = new QPushButton(this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    acceptButton = new QPushButton(this);
    acceptButton->setObjectName(QStringLiteral("acceptButton"));
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    deleteButton = new QPushButton(this);
    deleteButton->setObjectName(QStringLiteral("deleteButton"));
    selectAllButton = new QPushButton(this);
    selectAllButton->setObjectName(QStringLiteral("selectAllButton"));
    clearSelectionButton = new QPushButton(this);
    clearSelectionButton->setObjectName(QStringLiteral("clearSelectionButton"));

    auto* panel = new QWidget(this);
    // At least the form's 113 pixels, wider when a caption needs it (no clipped button texts).
    panel->setMinimumWidth(113);
    panel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    for (QWidget* w :
         {static_cast<QWidget*>(refreshButton), static_cast<QWidget*>(acceptButton),
          static_cast<QWidget*>(progressBar), static_cast<QWidget*>(deleteButton),
          static_cast<QWidget*>(selectAllButton), static_cast<QWidget*>(clearSelectionButton)})
        column->addWidget(w);
    column->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(fileList, 1);
    layout->addWidget(panel);
    resize(420, 320);

    applyLanguage(state_.interfaceLanguage());

    connect(refreshButton, &QPushButton::clicked, this, &DeviceFileList::refreshListing);
    connect(acceptButton, &QPushButton::clicked, this, &DeviceFileList::acceptSelected);
    connect(deleteButton, &QPushButton::clicked, this, &DeviceFileList::deleteSelected);
    connect(selectAllButton, &QPushButton::clicked, this, &DeviceFileList::selectAllFiles);
    connect(clearSelectionButton, &QPushButton::clicked, this, &DeviceFileList::clearFileSelection);
    // Enter in the list must not press Refresh (or any button); Esc closes the window.
    for (QPushButton* b :
         {refreshButton, acceptButton, deleteButton, selectAllButton, clearSelectionButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(fileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DeviceFileList::userSelectionChanged);
}

DeviceFileList::~DeviceFileList() = default;

void DeviceFileList::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void DeviceFileList::applyLanguage(velkard::ui::Language l) {
    const auto say = [l](const char* source) {
        return velkard::ui::translated<DeviceFileList>(l, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Память ЭК")));
    refreshButton->setText(say(QT_TR_NOOP("Обновить")));
    acceptButton->setText(say(QT_TR_NOOP("Принять")));
    deleteButton->setText(say(QT_TR_NOOP("Удалить")));
    selectAllButton->setText(say(QT_TR_NOOP("Выделить всё")));
    clearSelectionButton->setText(say(QT_TR_NOOP("Снять выделение")));
}

void DeviceFileList::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void DeviceFileList::prepareConnection(bool russian) {
    prepareConnection(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void DeviceFileList::prepareConnection(velkard::ui::Language language) {
    clearEntries();
    setProgressPosition(0);
    setListEnabled(true);
    applyLanguage(language);
}

void DeviceFileList::setConnection(MemoryConnection* connection) {
    connection_ = connection;
}

// ---- the worker's changes, replayed on the window's thread ----------------------------------

void DeviceFileList::entryAppended(const std::string& text) {
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            applying_ = true;
            fileList->addItem(shownText(text));
            applying_ = false;
        },
        Qt::QueuedConnection);
}

void DeviceFileList::entriesCleared() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            applying_ = true;
            fileList->clear();
            applying_ = false;
        },
        Qt::QueuedConnection);
}

void DeviceFileList::selectionChanged(std::size_t i, bool selected) {
    QMetaObject::invokeMethod(
        this,
        [this, i, selected] {
            if (QListWidgetItem* item = fileList->item(int(i))) {
                applying_ = true;
                item->setSelected(selected);
                applying_ = false;
            }
        },
        Qt::QueuedConnection);
}

void DeviceFileList::listEnabledChanged(bool enabled) {
    QMetaObject::invokeMethod(
        this,
        [this, enabled] {
            fileList->setEnabled(enabled);
            setRunControlsEnabled(enabled);
        },
        Qt::QueuedConnection);
}

void DeviceFileList::progressChanged(std::int64_t min, std::int64_t max, std::int64_t pos) {
    QMetaObject::invokeMethod(
        this,
        [this, min, max, pos] {
            // An empty file gives an empty range, which a QProgressBar would show as a busy
            // animation that never ends: keep a range of one, so the bar simply stays empty.
            progressBar->setRange(clampInt(min), std::max(clampInt(min) + 1, clampInt(max)));
            // The position counts whole blocks and may pass the maximum after the last one.
            progressBar->setValue(std::min(clampInt(pos), progressBar->maximum()));
        },
        Qt::QueuedConnection);
}

void DeviceFileList::report(const MemoryReport& report) {
    QPointer<DeviceFileList> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, report] {
            if (!self)
                return;
            const MemoryMessage shown = memoryMessage(report, self->state_.inRussian());
            self->messages_.show(QString::fromStdString(shown.text),
                                 QString::fromStdString(shown.caption), self);
        },
        Qt::QueuedConnection);
}

void DeviceFileList::refresh() {
    clearEntries();
    if (connection_)
        connection_->requestListing();
}

// Accept, Delete and Refresh are held back with the list while a read or delete run is under way:
// a second request in the middle of a transfer would interleave with the worker's commands.
void DeviceFileList::setRunControlsEnabled(bool enabled) {
    refreshButton->setEnabled(enabled);
    acceptButton->setEnabled(enabled);
    deleteButton->setEnabled(enabled);
    // Selecting everything mid-run would add files to the run under way.
    selectAllButton->setEnabled(enabled);
}

// ---- the user's side ------------------------------------------------------------------------

void DeviceFileList::userSelectionChanged(const QItemSelection& selected,
                                          const QItemSelection& deselected) {
    if (applying_)
        return;
    for (const QModelIndex& index : selected.indexes())
        setSelected(std::size_t(index.row()), true);
    for (const QModelIndex& index : deselected.indexes())
        setSelected(std::size_t(index.row()), false);
}

void DeviceFileList::refreshListing() {
    refresh();
}

void DeviceFileList::acceptSelected() {
    if (connection_)
        connection_->requestNextSelected(RequestKind::Read);
}

void DeviceFileList::deleteSelected() {
    if (!connection_)
        return;
    const auto chosen = selectedEntries();
    const bool anyFile = std::any_of(chosen.begin(), chosen.end(), [](const std::string& s) {
        return s.empty() || s.back() != '/';
    });
    if (anyFile) {
        const QString question = velkard::ui::translated<DeviceFileList>(
            state_.interfaceLanguage(),
            QT_TR_NOOP("Удалить выбранные файлы (%1) с карты памяти прибора?"));
        int files = 0;
        for (const auto& s : chosen)
            files += (s.empty() || s.back() != '/') ? 1 : 0;
        if (!messages_.ask(question.arg(files), QString(), this))
            return;
    }
    connection_->requestNextSelected(RequestKind::Delete);
}

void DeviceFileList::selectAllFiles() {
    selectAll();
}

void DeviceFileList::clearFileSelection() {
    clearSelection();
}

} // namespace velkard::memory::ui
