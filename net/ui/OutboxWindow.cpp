// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/OutboxWindow.h"

#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <ctime>

namespace velkard::net::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

OutboxWindow::OutboxWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                           OutboxSender& sender, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), sender_(sender) {
    setObjectName("outboxWindow");
    entryList = new QTreeWidget(this);
    entryList->setObjectName("entryList");
    entryList->setColumnCount(5);
    entryList->setRootIsDecorated(false);
    entryList->setSelectionMode(QAbstractItemView::SingleSelection);
    entryList->header()->setStretchLastSection(false);
    entryList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    entryList->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName("statusLabel");
    statusLabel->setWordWrap(true);
    retryButton = new QPushButton(this);
    retryButton->setObjectName("retryButton");
    removeButton = new QPushButton(this);
    removeButton->setObjectName("removeButton");
    refreshButton = new QPushButton(this);
    refreshButton->setObjectName("refreshButton");
    closeButton = new QPushButton(this);
    closeButton->setObjectName("closeButton");
    for (QPushButton* b : {retryButton, removeButton, refreshButton, closeButton})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(retryButton);
    buttons->addWidget(removeButton);
    buttons->addWidget(refreshButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(entryList, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);
    resize(820, 420);
    connect(retryButton, &QPushButton::clicked, this, &OutboxWindow::retry);
    connect(removeButton, &QPushButton::clicked, this, &OutboxWindow::remove);
    connect(refreshButton, &QPushButton::clicked, this, &OutboxWindow::refresh);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(&sender_, &OutboxSender::ran, this, &OutboxWindow::refresh);
    applyLanguage(state_.interfaceLanguage());
    refresh();
}

QString OutboxWindow::say(const char* source) const {
    return velkard::ui::translated<OutboxWindow>(state_.interfaceLanguage(), source);
}

void OutboxWindow::applyLanguage(velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translated<OutboxWindow>(l, source);
    };
    setWindowTitle(text(QT_TR_NOOP("Очередь отправки")));
    entryList->setHeaderLabels({text(QT_TR_NOOP("ЭКГ")), text(QT_TR_NOOP("Куда")),
                                text(QT_TR_NOOP("Состояние")), text(QT_TR_NOOP("Попыток")),
                                text(QT_TR_NOOP("Следующая попытка"))});
    retryButton->setText(text(QT_TR_NOOP("Повторить")));
    retryButton->setToolTip(text(QT_TR_NOOP("Отправить выбранное сейчас")));
    removeButton->setText(text(QT_TR_NOOP("Удалить из очереди…")));
    removeButton->setToolTip(text(QT_TR_NOOP("Больше не отправлять; ЭКГ остаётся в картотеке")));
    refreshButton->setText(text(QT_TR_NOOP("Обновить")));
    closeButton->setText(text(QT_TR_NOOP("Закрыть")));
    // The rows' texts are in the language too.
    if (!entries_.empty() || entryList->topLevelItemCount() > 0)
        refresh();
}

void OutboxWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void OutboxWindow::refresh() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    QString chosen;
    if (auto* item = entryList->currentItem())
        chosen = item->data(0, Qt::UserRole).toString();
    auto listed = Outbox(sender_.workDir()).list();
    entryList->clear();
    if (!listed) {
        entries_.clear();
        statusLabel->setText(utf8(listed.message));
        return;
    }
    entries_ = std::move(listed.value);
    const std::int64_t now = std::time(nullptr);
    int waiting = 0, failed = 0, sent = 0;
    // Newest first: what was queued last is what one looks for.
    for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
        QString next = QStringLiteral("—");
        if (e->state == EntryState::Waiting)
            next =
                e->nextAttempt <= now
                    ? say(QT_TR_NOOP("сейчас"))
                    : QDateTime::fromSecsSinceEpoch(e->nextAttempt).toString("dd.MM.yyyy hh:mm:ss");
        const QString where = e->destination == Destination::Hl7 ? say(QT_TR_NOOP("Приёмник HL7"))
                                                                 : say(QT_TR_NOOP("Архив (PACS)"));
        auto* row =
            new QTreeWidgetItem({utf8(e->label), where, entryStateText(l, e->state, e->reason),
                                 QString::number(e->attempts), next});
        row->setData(0, Qt::UserRole, utf8(e->id));
        row->setToolTip(2, row->text(2));
        entryList->addTopLevelItem(row);
        if (utf8(e->id) == chosen)
            entryList->setCurrentItem(row);
        waiting += e->state == EntryState::Waiting;
        failed += e->state == EntryState::Failed;
        sent += delivered(e->state);
    }
    if (!entryList->currentItem() && entryList->topLevelItemCount() > 0)
        entryList->setCurrentItem(entryList->topLevelItem(0));
    statusLabel->setText(entries_.empty() ? say(QT_TR_NOOP("Очередь пуста"))
                                          : say(QT_TR_NOOP("Ожидают: %1, с ошибкой: %2, "
                                                           "отправлено: %3"))
                                                .arg(waiting)
                                                .arg(failed)
                                                .arg(sent));
}

std::string OutboxWindow::chosenId() {
    auto* item = entryList->currentItem();
    if (!item) {
        seams_.messages.show(say(QT_TR_NOOP("Выберите отправку")),
                             velkard::ui::attentionCaption(state_.interfaceLanguage()), this);
        return {};
    }
    return item->data(0, Qt::UserRole).toString().toStdString();
}

void OutboxWindow::retry() {
    const std::string id = chosenId();
    if (id.empty())
        return;
    const velkard::ui::Language l = state_.interfaceLanguage();
    auto tried = Outbox(sender_.workDir()).retry(id);
    if (!tried) {
        seams_.messages.show(tried.code == ErrorCode::Busy
                                 ? say(QT_TR_NOOP("Очередь сейчас отправляется; повторите через "
                                                  "несколько секунд"))
                                 : utf8(tried.message),
                             velkard::ui::errorCaption(l), this);
        return;
    }
    if (tried.value == 0) {
        seams_.messages.show(say(QT_TR_NOOP("Уже отправлено")), say(QT_TR_NOOP("Очередь отправки")),
                             this);
        return;
    }
    refresh();
    sender_.sendNow();
}

void OutboxWindow::remove() {
    const std::string id = chosenId();
    if (id.empty())
        return;
    const velkard::ui::Language l = state_.interfaceLanguage();
    for (const OutboxEntry& e : entries_)
        if (e.id == id && delivered(e.state)) {
            seams_.messages.show(say(QT_TR_NOOP("Уже отправлено")),
                                 say(QT_TR_NOOP("Очередь отправки")), this);
            return;
        }
    if (!seams_.messages.ask(say(QT_TR_NOOP("Больше не отправлять выбранное? ЭКГ остаётся в "
                                            "картотеке.")),
                             say(QT_TR_NOOP("Очередь отправки")), this, false))
        return;
    if (Status s = Outbox(sender_.workDir()).withdraw(id); !s) {
        seams_.messages.show(s.code == ErrorCode::Busy
                                 ? say(QT_TR_NOOP("Очередь сейчас отправляется; повторите через "
                                                  "несколько секунд"))
                                 : utf8(s.message),
                             velkard::ui::errorCaption(l), this);
        return;
    }
    refresh();
}

} // namespace velkard::net::ui
