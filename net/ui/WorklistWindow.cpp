// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/WorklistWindow.h"

#include "net/Hl7Orders.h"
#include "net/Orders.h"
#include "net/Settings.h"
#include "net/ui/PickList.h"
#include "ui/ProgressJob.h"

#include <QDate>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <ctime>

namespace velkard::net::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

// "YYYYMMDD" and "HHMMSS" (or "HHMM") as the card file writes dates and times.
QString scheduledText(const WorklistItem& item) {
    QString out = cardDate(item.scheduledDate).empty() ? utf8(item.scheduledDate)
                                                       : utf8(cardDate(item.scheduledDate));
    const QString t = utf8(item.scheduledTime);
    if (t.size() >= 4)
        out += QStringLiteral(" ") + t.left(2) + QStringLiteral(":") + t.mid(2, 2);
    return out.trimmed();
}

} // namespace

WorklistWindow::WorklistWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                               std::filesystem::path workDir, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), workDir_(std::move(workDir)) {
    setObjectName("WorklistWindow");
    resize(820, 420);
    const PickListControls c = buildPickList(*this, "orderList", 6);
    orderList = c.list;
    statusLabel = c.status;
    refreshButton = c.refresh;
    takeButton = c.take;
    closeButton = c.close;

    connect(refreshButton, &QPushButton::clicked, this, &WorklistWindow::query);
    connect(takeButton, &QPushButton::clicked, this, &WorklistWindow::take);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(orderList, &QTreeWidget::itemDoubleClicked, this, [this] { take(); });
    applyLanguage(state_.interfaceLanguage());
}

QString WorklistWindow::say(const char* source) const {
    return velkard::ui::translated<WorklistWindow>(state_.interfaceLanguage(), source);
}

void WorklistWindow::applyLanguage(velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translated<WorklistWindow>(l, source);
    };
    setWindowTitle(text(QT_TR_NOOP("Рабочий список")));
    orderList->setHeaderLabels({text(QT_TR_NOOP("Пациент")), text(QT_TR_NOOP("ID пациента")),
                                text(QT_TR_NOOP("Дата рожд.")), text(QT_TR_NOOP("№ направления")),
                                text(QT_TR_NOOP("Назначено")), text(QT_TR_NOOP("Исследование"))});
    refreshButton->setText(text(QT_TR_NOOP("Обновить")));
    takeButton->setText(text(QT_TR_NOOP("Взять")));
    takeButton->setToolTip(
        text(QT_TR_NOOP("Найти или завести карту пациента; следующая ЭКГ будет записана по "
                        "этому направлению")));
    closeButton->setText(text(QT_TR_NOOP("Закрыть")));
}

void WorklistWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void WorklistWindow::query() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    auto settings = loadSettings(workDir_);
    if (!settings) {
        statusLabel->setText(utf8(settings.message));
        seams_.messages.show(utf8(settings.message), velkard::ui::errorCaption(l), this);
        return;
    }
    if (!settings.value.worklist.configured() && settings.value.hl7OrdersFolder.empty()) {
        items_.clear();
        fill();
        const QString text = say(QT_TR_NOOP("Сервер рабочего списка не настроен: Настройка → "
                                            "Параметры → Сеть"));
        statusLabel->setText(text);
        seams_.messages.show(text, say(QT_TR_NOOP("Рабочий список")), this);
        return;
    }
    WorklistQuery q;
    q.fromDate = QDate::currentDate().toString("yyyyMMdd").toStdString();
    q.toDate = q.fromDate;
    q.stationAeTitle = settings.value.stationAeTitle.empty() ? settings.value.aeTitle
                                                             : settings.value.stationAeTitle;
    Result<std::vector<WorklistItem>> found =
        Result<std::vector<WorklistItem>>::failure(ErrorCode::Failed, "");
    velkard::ui::ProgressTexts texts{
        say(QT_TR_NOOP("Рабочий список")),
        say(QT_TR_NOOP("Запрос к серверу рабочего списка (%1 из %2)…")), say(QT_TR_NOOP("Отмена"))};
    const bool cancelled =
        velkard::ui::runWithProgress(this, texts, [&](velkard::ui::JobProgress& progress) {
            progress.report(0, 1);
            found = findOrders(settings.value, q);
            progress.report(1, 1);
        });
    if (cancelled)
        return;
    if (!found) {
        const QString text = say(QT_TR_NOOP("Рабочий список не получен\n")) + utf8(found.message);
        statusLabel->setText(text);
        seams_.messages.show(text, velkard::ui::errorCaption(l), this);
        return;
    }
    items_ = std::move(found.value);
    fill();
    statusLabel->setText(items_.empty() ? say(QT_TR_NOOP("На сегодня направлений нет"))
                                        : say(QT_TR_NOOP("Направлений: %1")).arg(items_.size()));
}

void WorklistWindow::fill() {
    orderList->clear();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const WorklistItem& w = items_[i];
        const std::string procedure = !w.requestedProcedureDescription.empty()
                                          ? w.requestedProcedureDescription
                                          : w.scheduledStepDescription;
        auto* row = new QTreeWidgetItem({utf8(cardName(w.patientName)), utf8(w.patientId),
                                         utf8(cardDate(w.birthDate)), utf8(w.accessionNumber),
                                         scheduledText(w), utf8(procedure)});
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        orderList->addTopLevelItem(row);
    }
    if (orderList->topLevelItemCount() > 0)
        orderList->setCurrentItem(orderList->topLevelItem(0));
}

void WorklistWindow::take() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    const auto selected = orderList->selectedItems();
    if (selected.isEmpty()) {
        seams_.messages.show(say(QT_TR_NOOP("Выберите направление")),
                             velkard::ui::attentionCaption(l), this);
        return;
    }
    const int index = selected.front()->data(0, Qt::UserRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
        return;
    const WorklistItem& item = items_[static_cast<std::size_t>(index)];
    cardfile::CardFile cardFile(workDir_);
    auto patient = patientForOrder(cardFile, item, state_.inRussian());
    Status kept = patient ? setPendingOrder(cardFile, patient.value.patient.id, orderOf(item),
                                            std::time(nullptr))
                          : Status(patient);
    if (!kept) {
        seams_.messages.show(say(QT_TR_NOOP("Направление не принято\n")) + utf8(kept.message),
                             velkard::ui::errorCaption(l), this);
        return;
    }
    taken_ = patient.value.patient;
    created_ = patient.value.created;
    accept();
}

void offerWorklist(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                   const velkard::ui::ViewState& state, std::filesystem::path workDir) {
    window.setWorklistAction(
        [seams, &state, workDir](QWidget* owner) -> std::optional<std::string> {
            WorklistWindow worklist(state, seams, workDir, owner);
            worklist.query();
            if (seams.dialogs.run(worklist) == QDialog::Accepted && worklist.taken())
                return worklist.taken()->id;
            return std::nullopt;
        });
}

} // namespace velkard::net::ui
