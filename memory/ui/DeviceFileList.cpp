#include "memory/ui/DeviceFileList.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "signal/Cp1251.h"

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

TForm1*& theInstance() {
    static TForm1* form = nullptr;
    return form;
}

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

TForm1::TForm1(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form1"));
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::MultiSelection);
    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    Button5 = new QPushButton(this);
    Button5->setObjectName(QStringLiteral("Button5"));
    Button3 = new QPushButton(this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(this);
    Button4->setObjectName(QStringLiteral("Button4"));

    auto* panel = new QWidget(this);
    // At least the form's 113 pixels, wider when a caption needs it (no clipped button texts).
    panel->setMinimumWidth(113);
    panel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 4, 4, 4);
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(Button5),
                       static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4)})
        column->addWidget(w);
    column->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(panel);
    resize(420, 320);

    applyLanguage(velkard::ui::flags().russian);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(ListBox1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TForm1::userSelectionChanged);

    if (!theInstance())
        theInstance() = this;
}

TForm1::~TForm1() {
    if (theInstance() == this)
        theInstance() = nullptr;
}

TForm1* TForm1::instance() {
    return theInstance();
}

void TForm1::applyLanguage(bool russian) {
    setWindowTitle(russian ? QStringLiteral("Память ЭК") : QStringLiteral("Memory EC"));
    Button1->setText(russian ? QStringLiteral("Обновить") : QStringLiteral("To update"));
    Button2->setText(russian ? QStringLiteral("Принять") : QStringLiteral("To accept"));
    Button5->setText(russian ? QStringLiteral("Удалить") : QStringLiteral("Delete"));
    Button3->setText(russian ? QStringLiteral("Выделить всё") : QStringLiteral("Allocate all"));
    Button4->setText(russian ? QStringLiteral("Снять выделение")
                             : QStringLiteral("To remove allocation"));
}

void TForm1::prepareConnection(bool russian) {
    clearEntries();
    setProgressPosition(0);
    setListEnabled(true);
    applyLanguage(russian);
}

void TForm1::setConnection(MemoryConnection* connection) {
    connection_ = connection;
}

// ---- the worker's changes, replayed on the window's thread ----------------------------------

void TForm1::entryAppended(const std::string& text) {
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            applying_ = true;
            ListBox1->addItem(shownText(text));
            applying_ = false;
        },
        Qt::QueuedConnection);
}

void TForm1::entriesCleared() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            applying_ = true;
            ListBox1->clear();
            applying_ = false;
        },
        Qt::QueuedConnection);
}

void TForm1::selectionChanged(std::size_t i, bool selected) {
    QMetaObject::invokeMethod(
        this,
        [this, i, selected] {
            if (QListWidgetItem* item = ListBox1->item(int(i))) {
                applying_ = true;
                item->setSelected(selected);
                applying_ = false;
            }
        },
        Qt::QueuedConnection);
}

void TForm1::listEnabledChanged(bool enabled) {
    QMetaObject::invokeMethod(
        this,
        [this, enabled] {
            ListBox1->setEnabled(enabled);
            setRunControlsEnabled(enabled);
        },
        Qt::QueuedConnection);
}

void TForm1::progressChanged(std::int64_t min, std::int64_t max, std::int64_t pos) {
    QMetaObject::invokeMethod(
        this,
        [this, min, max, pos] {
            // An empty file gives an empty range, which a QProgressBar would show as a busy
            // animation that never ends: keep a range of one, so the bar simply stays empty.
            ProgressBar1->setRange(clampInt(min), std::max(clampInt(min) + 1, clampInt(max)));
            // The position counts whole blocks and may pass the maximum after the last one.
            ProgressBar1->setValue(std::min(clampInt(pos), ProgressBar1->maximum()));
        },
        Qt::QueuedConnection);
}

void TForm1::showMessage(const std::string& text, const std::string& caption) {
    QPointer<TForm1> self(this);
    const QString t = QString::fromStdString(text);
    const QString c = QString::fromStdString(caption);
    QMetaObject::invokeMethod(
        this,
        [self, t, c] {
            if (self)
                velkard::ui::messages().show(t, c, self);
        },
        Qt::QueuedConnection);
}

void TForm1::refresh() {
    clearEntries();
    if (connection_)
        connection_->requestListing();
}

// Accept, Delete and Refresh are held back with the list while a read or delete run is under way:
// a second request in the middle of a transfer would interleave with the worker's commands.
void TForm1::setRunControlsEnabled(bool enabled) {
    Button1->setEnabled(enabled);
    Button2->setEnabled(enabled);
    Button5->setEnabled(enabled);
}

// ---- the user's side ------------------------------------------------------------------------

void TForm1::userSelectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    if (applying_)
        return;
    for (const QModelIndex& index : selected.indexes())
        setSelected(std::size_t(index.row()), true);
    for (const QModelIndex& index : deselected.indexes())
        setSelected(std::size_t(index.row()), false);
}

void TForm1::Button1Click() {
    refresh();
}

void TForm1::Button2Click() {
    if (connection_)
        connection_->requestNextSelected(RequestKind::Read);
}

void TForm1::Button5Click() {
    if (!connection_)
        return;
    const auto chosen = selectedEntries();
    const bool anyFile = std::any_of(chosen.begin(), chosen.end(), [](const std::string& s) {
        return s.empty() || s.back() != '/';
    });
    if (anyFile) {
        const bool russian = velkard::ui::flags().russian;
        const QString question =
            russian ? QStringLiteral("Удалить выбранные файлы (%1) с карты памяти прибора?")
                    : QStringLiteral("Delete the selected files (%1) from the device's memory "
                                     "card?");
        int files = 0;
        for (const auto& s : chosen)
            files += (s.empty() || s.back() != '/') ? 1 : 0;
        if (!velkard::ui::messages().ask(question.arg(files), QString(), this))
            return;
    }
    connection_->requestNextSelected(RequestKind::Delete);
}

void TForm1::Button3Click() {
    selectAll();
}

void TForm1::Button4Click() {
    clearSelection();
}

} // namespace velkard::memory::ui
