// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/EarlierWindow.h"

#include "formats/EcgFile.h"
#include "net/Orders.h"
#include "net/Settings.h"
#include "ui/ProgressJob.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

namespace velkard::net::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

// "HHMMSS[.ffffff]" as "hh:mm:ss" (or "hh:mm"); anything else as it came.
QString timeText(const std::string& t) {
    const QString s = utf8(t);
    const auto digits = [&s](int n) {
        for (int i = 0; i < n; ++i)
            if (!s.at(i).isDigit())
                return false;
        return true;
    };
    if (s.size() >= 6 && digits(6))
        return s.left(2) + ':' + s.mid(2, 2) + ':' + s.mid(4, 2);
    if (s.size() >= 4 && digits(4))
        return s.left(2) + ':' + s.mid(2, 2);
    return s;
}

} // namespace

std::vector<FetchedEcg> describeEcgs(const std::vector<std::filesystem::path>& files) {
    std::vector<FetchedEcg> out;
    for (const auto& f : files) {
        FetchedEcg e;
        e.file = f;
        auto read = formats::readDicom(f);
        if (!read) {
            e.error = read.message;
            out.push_back(std::move(e));
            continue;
        }
        e.read = true;
        if (const auto& t = read.value.start) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", t->day, t->month,
                          t->year, t->hour, t->minute, t->second);
            e.acquired = buf;
        }
        e.series = read.value.series;
        e.leads = read.value.presentCount();
        e.seconds = read.value.seconds();
        out.push_back(std::move(e));
    }
    // "dd.MM.yyyy hh:mm:ss" sorts as yyyyMMddhhmmss.
    const auto key = [](const FetchedEcg& e) {
        const std::string& a = e.acquired;
        return a.size() == 19 ? a.substr(6, 4) + a.substr(3, 2) + a.substr(0, 2) + a.substr(11)
                              : std::string("~");
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const FetchedEcg& a, const FetchedEcg& b) { return key(a) < key(b); });
    return out;
}

EcgChoiceDialog::EcgChoiceDialog(const velkard::ui::ViewState& state, std::vector<FetchedEcg> ecgs,
                                 QWidget* parent)
    : QDialog(parent), state_(state), ecgs_(std::move(ecgs)) {
    setObjectName("EcgChoiceDialog");
    resize(620, 300);
    ecgList = new QTreeWidget(this);
    ecgList->setObjectName("ecgList");
    ecgList->setColumnCount(5);
    ecgList->setRootIsDecorated(false);
    ecgList->setSelectionMode(QAbstractItemView::SingleSelection);
    ecgList->setSelectionBehavior(QAbstractItemView::SelectRows);
    ecgList->setUniformRowHeights(true);
    openButton = new QPushButton(this);
    openButton->setObjectName("openButton");
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName("cancelButton");
    for (QPushButton* b : {openButton, cancelButton})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(openButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ecgList, 1);
    layout->addLayout(buttons);
    connect(openButton, &QPushButton::clicked, this, &EcgChoiceDialog::choose);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ecgList, &QTreeWidget::itemDoubleClicked, this, [this] { choose(); });
    applyLanguage(state_.interfaceLanguage());
}

void EcgChoiceDialog::applyLanguage(velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translated<EcgChoiceDialog>(l, source);
    };
    setWindowTitle(text(QT_TR_NOOP("В исследовании несколько ЭКГ: выберите одну")));
    ecgList->setHeaderLabels({text(QT_TR_NOOP("Дата")), text(QT_TR_NOOP("Время")),
                              text(QT_TR_NOOP("Серия")), text(QT_TR_NOOP("Отведения")),
                              text(QT_TR_NOOP("Длительность, с"))});
    openButton->setText(text(QT_TR_NOOP("Открыть")));
    cancelButton->setText(text(QT_TR_NOOP("Отмена")));
    const QString unknown = QString::fromUtf8("—");
    const int current =
        ecgList->currentItem() ? ecgList->indexOfTopLevelItem(ecgList->currentItem()) : 0;
    ecgList->clear();
    for (std::size_t i = 0; i < ecgs_.size(); ++i) {
        const FetchedEcg& e = ecgs_[i];
        QString seconds = QString::number(e.seconds, 'f', 1);
        if (l != velkard::ui::Language::English)
            seconds.replace('.', ',');
        auto* row = new QTreeWidgetItem(
            {e.acquired.empty() ? unknown : utf8(e.acquired.substr(0, 10)),
             e.acquired.empty() ? unknown : utf8(e.acquired.substr(11)), utf8(e.series),
             e.read ? QString::number(e.leads) : unknown, e.read ? seconds : unknown});
        if (!e.read)
            for (int c = 0; c < 5; ++c)
                row->setToolTip(c, utf8(e.error));
        ecgList->addTopLevelItem(row);
    }
    if (ecgList->topLevelItemCount() > 0)
        ecgList->setCurrentItem(
            ecgList->topLevelItem(std::clamp(current, 0, ecgList->topLevelItemCount() - 1)));
}

void EcgChoiceDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void EcgChoiceDialog::choose() {
    const auto selected = ecgList->selectedItems();
    if (selected.isEmpty())
        return;
    const int index = ecgList->indexOfTopLevelItem(selected.front());
    if (index < 0 || static_cast<std::size_t>(index) >= ecgs_.size())
        return;
    chosen_ = ecgs_[static_cast<std::size_t>(index)].file;
    accept();
}

EarlierWindow::EarlierWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                             std::filesystem::path workDir, cardfile::PatientRecord patient,
                             QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), workDir_(std::move(workDir)),
      patient_(std::move(patient)) {
    setObjectName("EarlierWindow");
    resize(760, 380);
    studyList = new QTreeWidget(this);
    studyList->setObjectName("studyList");
    studyList->setColumnCount(5);
    studyList->setRootIsDecorated(false);
    studyList->setSelectionMode(QAbstractItemView::SingleSelection);
    studyList->setSelectionBehavior(QAbstractItemView::SelectRows);
    studyList->setUniformRowHeights(true);
    studyList->setColumnWidth(2, 260);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName("statusLabel");
    statusLabel->setWordWrap(true);
    refreshButton = new QPushButton(this);
    refreshButton->setObjectName("refreshButton");
    openButton = new QPushButton(this);
    openButton->setObjectName("openButton");
    closeButton = new QPushButton(this);
    closeButton->setObjectName("closeButton");
    for (QPushButton* b : {refreshButton, openButton, closeButton})
        b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refreshButton);
    buttons->addStretch();
    buttons->addWidget(openButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(studyList, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);

    connect(refreshButton, &QPushButton::clicked, this, &EarlierWindow::query);
    connect(openButton, &QPushButton::clicked, this, &EarlierWindow::open);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(studyList, &QTreeWidget::itemDoubleClicked, this, [this] { open(); });
    applyLanguage(state_.interfaceLanguage());
}

QString EarlierWindow::say(const char* source) const {
    return velkard::ui::translated<EarlierWindow>(state_.interfaceLanguage(), source);
}

void EarlierWindow::applyLanguage(velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translated<EarlierWindow>(l, source);
    };
    setWindowTitle(text(QT_TR_NOOP("Ранее снятые ЭКГ")) + QStringLiteral(": ") +
                   utf8(patient_.name).trimmed());
    studyList->setHeaderLabels({text(QT_TR_NOOP("Дата")), text(QT_TR_NOOP("Время")),
                                text(QT_TR_NOOP("Исследование")), text(QT_TR_NOOP("№ направления")),
                                text(QT_TR_NOOP("ЭКГ"))});
    refreshButton->setText(text(QT_TR_NOOP("Обновить")));
    openButton->setText(text(QT_TR_NOOP("Открыть")));
    openButton->setToolTip(
        text(QT_TR_NOOP("Получить ЭКГ из архива и открыть для просмотра и измерения")));
    closeButton->setText(text(QT_TR_NOOP("Закрыть")));
}

void EarlierWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void EarlierWindow::tell(const QString& text, const QString& caption) {
    statusLabel->setText(text);
    seams_.messages.show(text, caption, this);
}

void EarlierWindow::query() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    studies_.clear();
    fill();
    auto settings = loadSettings(workDir_);
    if (!settings) {
        tell(utf8(settings.message), velkard::ui::errorCaption(l));
        return;
    }
    if (!settings.value.pacs.configured()) {
        tell(say(QT_TR_NOOP("Архив (PACS) не настроен: Настройка → Параметры → Сеть")),
             say(QT_TR_NOOP("Ранее снятые ЭКГ")));
        return;
    }
    cardfile::CardFile cardFile(workDir_);
    auto asked = studyQueryFor(cardFile, patient_);
    if (!asked) {
        tell(say(QT_TR_NOOP("Не по чему искать в архиве: у пациента нет ни ID больницы, ни "
                            "имени\n")) +
                 utf8(asked.message),
             velkard::ui::errorCaption(l));
        return;
    }
    Result<std::vector<StudyItem>> found =
        Result<std::vector<StudyItem>>::failure(ErrorCode::Failed, "");
    velkard::ui::ProgressTexts texts{say(QT_TR_NOOP("Ранее снятые ЭКГ")),
                                     say(QT_TR_NOOP("Запрос к архиву (%1 из %2)…")),
                                     say(QT_TR_NOOP("Отмена"))};
    const bool cancelled =
        velkard::ui::runWithProgress(this, texts, [&](velkard::ui::JobProgress& progress) {
            progress.report(0, 1);
            found = findStudies(settings.value, asked.value);
            progress.report(1, 1);
        });
    if (cancelled)
        return;
    if (!found) {
        const char* why = found.code == ErrorCode::IoError
                              ? QT_TR_NOOP("Архив (PACS) недоступен\n")
                              : QT_TR_NOOP("Архив (PACS) отказал в запросе\n");
        tell(say(why) + utf8(found.message), velkard::ui::errorCaption(l));
        return;
    }
    studies_ = std::move(found.value);
    fill();
    if (studies_.empty()) {
        tell(asked.value.patientId.empty()
                 ? say(QT_TR_NOOP("В архиве нет ЭКГ пациента с таким именем и датой рождения"))
                 : say(QT_TR_NOOP("В архиве нет ЭКГ пациента с ID %1"))
                       .arg(utf8(asked.value.patientId)),
             say(QT_TR_NOOP("Ранее снятые ЭКГ")));
        return;
    }
    statusLabel->setText(say(QT_TR_NOOP("Исследований с ЭКГ: %1")).arg(studies_.size()));
}

void EarlierWindow::fill() {
    studyList->clear();
    for (std::size_t i = 0; i < studies_.size(); ++i) {
        const StudyItem& s = studies_[i];
        const std::string date = cardDate(s.studyDate);
        auto* row = new QTreeWidgetItem(
            {utf8(date.empty() ? s.studyDate : date), timeText(s.studyTime),
             utf8(s.studyDescription), utf8(s.accessionNumber),
             s.instances < 0 ? QString::fromUtf8("—") : QString::number(s.instances)});
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        studyList->addTopLevelItem(row);
    }
    if (studyList->topLevelItemCount() > 0)
        studyList->setCurrentItem(studyList->topLevelItem(0));
}

void EarlierWindow::open() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    const auto selected = studyList->selectedItems();
    if (selected.isEmpty()) {
        seams_.messages.show(say(QT_TR_NOOP("Выберите исследование")),
                             velkard::ui::attentionCaption(l), this);
        return;
    }
    const int index = selected.front()->data(0, Qt::UserRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= studies_.size())
        return;
    const std::string uid = studies_[static_cast<std::size_t>(index)].studyInstanceUid;
    auto settings = loadSettings(workDir_);
    if (!settings) {
        tell(utf8(settings.message), velkard::ui::errorCaption(l));
        return;
    }
    Result<FetchedStudy> fetched = Result<FetchedStudy>::failure(ErrorCode::Failed, "");
    std::vector<FetchedEcg> described;
    velkard::ui::ProgressTexts texts{say(QT_TR_NOOP("Ранее снятые ЭКГ")),
                                     say(QT_TR_NOOP("Получение ЭКГ из архива (%1 из %2)…")),
                                     say(QT_TR_NOOP("Отмена"))};
    const bool cancelled =
        velkard::ui::runWithProgress(this, texts, [&](velkard::ui::JobProgress& progress) {
            progress.report(0, 1);
            fetched = fetchStudy(settings.value, uid, workDir_);
            // Of several, what the chooser shows is read here too, off the window thread.
            if (fetched && fetched.value.ecgs.size() > 1)
                described = describeEcgs(fetched.value.ecgs);
            progress.report(1, 1);
        });
    if (cancelled)
        return;
    if (!fetched) {
        const char* why =
            fetched.code == ErrorCode::IoError ? QT_TR_NOOP("Архив (PACS) недоступен\n")
            : fetched.code == ErrorCode::Failed ? QT_TR_NOOP("Архив (PACS) отказал в запросе\n")
                                                : QT_TR_NOOP("ЭКГ не получена из архива\n");
        tell(say(why) + utf8(fetched.message), velkard::ui::errorCaption(l));
        return;
    }
    if (fetched.value.ecgs.empty()) {
        tell(say(QT_TR_NOOP("Архив не передал ни одной ЭКГ этого исследования")),
             velkard::ui::errorCaption(l));
        return;
    }
    if (fetched.value.ecgs.size() == 1) {
        opened_ = fetched.value.ecgs.front();
        accept();
        return;
    }
    EcgChoiceDialog chooser(state_, std::move(described), this);
    if (seams_.dialogs.run(chooser) != QDialog::Accepted || chooser.chosen().empty())
        return;
    opened_ = chooser.chosen();
    accept();
}

std::filesystem::path showEarlier(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                                  const std::filesystem::path& workDir,
                                  const cardfile::PatientRecord& patient, QWidget* owner) {
    EarlierWindow window(state, seams, workDir, patient, owner);
    window.query();
    if (seams.dialogs.run(window) == QDialog::Accepted)
        return window.opened();
    return {};
}

void offerEarlier(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                  const velkard::ui::ViewState& state,
                  std::function<void(const std::filesystem::path&)> open) {
    window.setEarlierAction([seams, &state, open](const cardfile::CardFile& cardFile,
                                                  const cardfile::PatientRecord& patient,
                                                  QWidget* owner) {
        const auto file = showEarlier(state, seams, cardFile.workDir(), patient, owner);
        if (!file.empty())
            open(file);
    });
}

} // namespace velkard::net::ui
