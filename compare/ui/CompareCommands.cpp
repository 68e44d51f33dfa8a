// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/ui/CompareCommands.h"

#include "compare/ui/CompareWindow.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

namespace velkard::compare::ui {

namespace {

using velkard::ui::Language;

constexpr const char* kContext = "velkard::compare::ui::PickRecordingDialog";

QString utf8(const std::string& s) {
    return QString::fromStdString(s).trimmed();
}

QDateTime recordedAt(const cardfile::ArchiveEntry& e) {
    return QDateTime::fromString(utf8(e.date) + QLatin1Char(' ') + utf8(e.time),
                                 QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

} // namespace

bool recordedBefore(const cardfile::ArchiveEntry& a, const cardfile::ArchiveEntry& b) {
    const QDateTime ta = recordedAt(a), tb = recordedAt(b);
    if (ta.isValid() && tb.isValid() && ta != tb)
        return ta < tb;
    return a.recordNumber() < b.recordNumber();
}

PickRecordingDialog::PickRecordingDialog(Language l,
                                         const std::vector<cardfile::ArchiveEntry>& entries,
                                         std::size_t chosen, QWidget* parent)
    : QDialog(parent) {
    setObjectName("PickRecordingDialog");
    const auto say = [l](const char* source) {
        return velkard::ui::translate(l, kContext, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Сравнить с ЭКГ")));
    auto* label = new QLabel(this);
    label->setText(say(QT_TR_NOOP("С какой ЭКГ сравнить ЭКГ от %1 %2?"))
                       .arg(chosen < entries.size() ? utf8(entries[chosen].date) : QString(),
                            chosen < entries.size() ? utf8(entries[chosen].time) : QString()));
    recordingList = new QTreeWidget(this);
    recordingList->setObjectName("recordingList");
    recordingList->setColumnCount(4);
    recordingList->setRootIsDecorated(false);
    recordingList->setHeaderLabels({say(QT_TR_NOOP("№")), say(QT_TR_NOOP("Дата")),
                                    say(QT_TR_NOOP("Время")), say(QT_TR_NOOP("Длительность, с"))});
    std::vector<std::size_t> others;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (i != chosen && !entries[i].isRhythm())
            others.push_back(i);
    std::sort(others.begin(), others.end(),
              [&](std::size_t a, std::size_t b) { return recordedBefore(entries[b], entries[a]); });
    QTreeWidgetItem* proposed = nullptr;
    for (const std::size_t i : others) {
        const cardfile::ArchiveEntry& e = entries[i];
        auto* row =
            new QTreeWidgetItem({utf8(e.number), utf8(e.date), utf8(e.time), utf8(e.duration)});
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        recordingList->addTopLevelItem(row);
        if (!proposed && chosen < entries.size() && recordedBefore(e, entries[chosen]))
            proposed = row;
    }
    if (!proposed && recordingList->topLevelItemCount() > 0)
        proposed = recordingList->topLevelItem(0);
    if (proposed)
        recordingList->setCurrentItem(proposed);
    OK = new QPushButton(say(QT_TR_NOOP("Сравнить")), this);
    OK->setObjectName("OK");
    Cancel = new QPushButton(say(QT_TR_NOOP("Отмена")), this);
    Cancel->setObjectName("Cancel");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(recordingList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    layout->addLayout(buttons);
    connect(OK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(recordingList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(420, 300);
}

int PickRecordingDialog::picked() const {
    const auto items = recordingList->selectedItems();
    return items.isEmpty() ? -1 : items.front()->data(0, Qt::UserRole).toInt();
}

void offerCompare(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                  velkard::ui::ViewState& state) {
    window.setCompareAction([seams, &state](const cardfile::CardFile& cardFile,
                                            const cardfile::PatientRecord& patient,
                                            const std::vector<cardfile::ArchiveEntry>& entries,
                                            std::size_t chosen, QWidget* owner) {
        const Language l = state.interfaceLanguage();
        PickRecordingDialog pick(l, entries, chosen, owner);
        if (seams.dialogs.run(pick) != QDialog::Accepted || pick.picked() < 0)
            return;
        const cardfile::ArchiveEntry* a = &entries[chosen];
        const cardfile::ArchiveEntry* b = &entries[static_cast<std::size_t>(pick.picked())];
        if (recordedBefore(*b, *a))
            std::swap(a, b);
        auto earlier = examineRecording(cardFile, patient, *a);
        auto later = earlier ? examineRecording(cardFile, patient, *b) : earlier;
        if (!earlier || !later) {
            const auto& failed = !earlier ? earlier : later;
            seams.messages.show(velkard::ui::translate(
                                    l, kContext,
                                    QT_TRANSLATE_NOOP("velkard::compare::ui::PickRecordingDialog",
                                                      "Ошибка открытия файла с ЭКГ\n")) +
                                    QString::fromStdString(failed.message),
                                velkard::ui::errorCaption(l), owner);
            return;
        }
        CompareWindow compared(state, seams, patient, std::move(earlier.value),
                               std::move(later.value), owner);
        seams.dialogs.run(compared);
    });
}

} // namespace velkard::compare::ui
