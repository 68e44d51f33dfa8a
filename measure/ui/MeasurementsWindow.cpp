// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/MeasurementsWindow.h"

#include "measure/ui/MeasurementsController.h"

#include "cardfile/CardFile.h"
#include "measure/Summary.h"
#include "signal/Leads.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace velkard::measure::ui {

namespace {

constexpr const char* kContext = "velkard::measure::ui::MeasurementsWindow";
constexpr int kLeadColumns = 10;

struct Row {
    const char* name; // marked for translation, as the unit
    const char* unit;
    int decimals;
};

const Row kRows[] = {
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "ЧСС"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "уд/мин"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "RR"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "P"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "PR"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "QRS"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "QT"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "QTc (Базетт)"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "QTc (Фридеричиа)"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мс"), 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "Ось P"), "°", 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "Ось QRS"), "°", 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "Ось T"), "°", 0},
    {QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "SV1 + RV5 (Соколов–Лайон)"),
     QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsWindow", "мВ"), 2},
};
constexpr int kRowCount = static_cast<int>(std::size(kRows));

QString text(velkard::ui::Language l, const char* source) {
    return velkard::ui::translate(l, kContext, source);
}

// v in the interface language's notation: a decimal point in English, a comma in Russian and
// German; a value that rounds to zero without a sign ("-0,00" read as a depression).
QString number(std::optional<double> v, int decimals, velkard::ui::Language l) {
    QString text = QString::fromStdString(velkard::measure::fixedText(v, decimals, "—"));
    if (l != velkard::ui::Language::English)
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

std::optional<double> rowValue(const Measurements& m, int row) {
    switch (row) {
    case 0:
        return m.heartRateBpm;
    case 1:
        return m.rrMs;
    case 2:
        return m.pMs;
    case 3:
        return m.prMs;
    case 4:
        return m.qrsMs;
    case 5:
        return m.qtMs;
    case 6:
        return m.qtcBazettMs;
    case 7:
        return m.qtcFridericiaMs;
    case 8:
        return m.pAxisDeg;
    case 9:
        return m.qrsAxisDeg;
    case 10:
        return m.tAxisDeg;
    case 11: {
        const auto& s = m.leads[signal::StandardLeadV1].sMv;
        const auto& r = m.leads[signal::StandardLeadV5].rMv;
        return s && r ? std::optional<double>(*s + *r) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

MeasurementsWindow::MeasurementsWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("measurementsWindow");
    auto* layout = new QVBoxLayout(this);
    span_ = new QLabel(this);
    span_->setObjectName("measurementsSpan");
    layout->addWidget(span_);

    global_ = new QTableWidget(kRowCount, 2, this);
    global_->setObjectName("measurementsGlobal");
    leads_ = new QTableWidget(signal::kLeadCount, kLeadColumns, this);
    leads_->setObjectName("measurementsLeads");
    for (QTableWidget* t : {global_, leads_}) {
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->setSelectionMode(QAbstractItemView::NoSelection);
        t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        t->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        layout->addWidget(t);
    }
    global_->horizontalHeader()->hide();
    QStringList leadNames;
    for (const char* name : signal::kStandardLeadNames)
        leadNames << QString::fromUtf8(name);
    leads_->setVerticalHeaderLabels(leadNames);
    statementsLabel_ = new QLabel(this);
    statementsLabel_->setObjectName("statementsLabel");
    layout->addWidget(statementsLabel_);
    statements_ = new QTableWidget(0, 2, this);
    statements_->setObjectName("measurementsStatements");
    statements_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statements_->setWordWrap(true);
    statements_->verticalHeader()->hide();
    statements_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    statements_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(statements_);
    confirmation_ = new QLabel(this);
    confirmation_->setObjectName("reportConfirmation");
    layout->addWidget(confirmation_);
    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, void (MeasurementsWindow::*command)()) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, command);
        buttons->addWidget(b);
        return b;
    };
    addButton_ = button("reportAdd", &MeasurementsWindow::addStatementFromTable);
    removeButton_ = button("reportRemove", &MeasurementsWindow::removeSelectedStatement);
    editButton_ = button("reportEdit", &MeasurementsWindow::editSelectedStatement);
    freeTextButton_ = button("reportFreeText", &MeasurementsWindow::addFreeText);
    confirmButton_ = button("reportConfirm", &MeasurementsWindow::confirmReport);
    buttons->addStretch();
    layout->addLayout(buttons);
    statements_->setSelectionBehavior(QAbstractItemView::SelectRows);
    statements_->setSelectionMode(QAbstractItemView::SingleSelection);
    resize(720, 900);
    applyLanguage(velkard::ui::Language::Russian);
}

void MeasurementsWindow::setMeasurements(const Measurements& m, double fromSeconds,
                                         double spanSeconds) {
    m_ = m;
    from_ = fromSeconds;
    length_ = spanSeconds;
    fill();
}

void MeasurementsWindow::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void MeasurementsWindow::applyLanguage(velkard::ui::Language l) {
    language_ = l;
    setWindowTitle(text(l, QT_TR_NOOP("Измерения")));
    QStringList rows;
    for (const Row& r : kRows)
        rows << text(l, r.name);
    global_->setVerticalHeaderLabels(rows);
    leads_->setHorizontalHeaderLabels(
        {text(l, QT_TR_NOOP("R, мВ")), text(l, QT_TR_NOOP("S, мВ")), text(l, QT_TR_NOOP("Q, мс")),
         text(l, QT_TR_NOOP("Q, мВ")), text(l, QT_TR_NOOP("R′, мВ")),
         text(l, QT_TR_NOOP("ST J, мВ")), text(l, QT_TR_NOOP("ST J+60, мВ")),
         text(l, QT_TR_NOOP("ST J+80, мВ")), text(l, QT_TR_NOOP("T, мВ")),
         text(l, QT_TR_NOOP("Сигнал"))});
    addButton_->setText(text(l, QT_TR_NOOP("Добавить…")));
    removeButton_->setText(text(l, QT_TR_NOOP("Удалить")));
    editButton_->setText(text(l, QT_TR_NOOP("Изменить текст…")));
    freeTextButton_->setText(text(l, QT_TR_NOOP("Свой текст…")));
    confirmButton_->setText(text(l, QT_TR_NOOP("Подтвердить…")));
    statements_->setHorizontalHeaderLabels(
        {text(l, QT_TR_NOOP("Заключение")), text(l, QT_TR_NOOP("Почему"))});
    fill();
}

void MeasurementsWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

QString MeasurementsWindow::valueText(int row) const {
    return global_->item(row, 0) ? global_->item(row, 0)->text() : QString();
}

void MeasurementsWindow::fill() {
    const QString from = number(from_, 1, language_), to = number(from_ + length_, 1, language_);
    span_->setText(text(language_, QT_TR_NOOP("С %1 по %2 с, комплексов в медиане: %3"))
                       .arg(from, to)
                       .arg(m_.beatsInMedian));
    for (int row = 0; row < kRowCount; ++row) {
        const Row& r = kRows[row];
        global_->setItem(row, 0,
                         new QTableWidgetItem(number(rowValue(m_, row), r.decimals, language_)));
        global_->setItem(row, 1, new QTableWidgetItem(text(language_, r.unit)));
        global_->item(row, 0)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int l = 0; l < signal::kLeadCount; ++l) {
        const auto& a = m_.leads[static_cast<std::size_t>(l)];
        const QString cells[kLeadColumns] = {
            number(a.rMv, 2, language_),
            number(a.sMv, 2, language_),
            number(a.qMs, 0, language_),
            number(a.qMv, 2, language_),
            number(a.r2Mv, 2, language_),
            number(a.stJMv, 2, language_),
            number(a.st60Mv, 2, language_),
            number(a.st80Mv, 2, language_),
            number(a.tMv, 2, language_),
            leadQualityWords(m_.quality[static_cast<std::size_t>(l)], language_)};
        for (int c = 0; c < kLeadColumns; ++c) {
            leads_->setItem(l, c, new QTableWidgetItem(cells[c]));
            // Numbers right, the signal's words left.
            leads_->item(l, c)->setTextAlignment(
                (c + 1 < kLeadColumns ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        }
    }
    const auto lang = language_ == velkard::ui::Language::Russian ? interpret::Language::Russian
                                                                  : interpret::Language::English;
    const int selected = statements_->currentRow();
    rowStatement_.clear();
    for (std::size_t k = 0; k < report_.statements.size(); ++k)
        if (!report_.statements[k].removed)
            rowStatement_.push_back(k);
    statements_->setRowCount(int(rowStatement_.size()));
    for (int i = 0; i < int(rowStatement_.size()); ++i) {
        const interpret::ReportStatement& s = report_.statements[rowStatement_[std::size_t(i)]];
        QString shown = QString::fromStdString(s.textIn(lang));
        if (s.edited)
            shown += text(language_, QT_TR_NOOP(" (изменено врачом)"));
        else if (s.origin == interpret::ReportStatement::Origin::Added)
            shown += text(language_, QT_TR_NOOP(" (добавлено врачом)"));
        QString why = QString::fromStdString(s.reasonIn(lang));
        if (s.origin == interpret::ReportStatement::Origin::FreeText)
            why = text(language_, QT_TR_NOOP("текст врача"));
        statements_->setItem(i, 0, new QTableWidgetItem(shown));
        statements_->setItem(i, 1, new QTableWidgetItem(why));
        statements_->item(i, 0)->setToolTip(QString::fromStdString(s.code));
    }
    if (selected >= 0 && selected < statements_->rowCount())
        statements_->selectRow(selected);
    statements_->resizeRowsToContents();

    if (report_.confirmed())
        statementsLabel_->setText(text(language_, QT_TR_NOOP("Заключение")));
    else if (report_.changedByPhysician())
        statementsLabel_->setText(
            text(language_, QT_TR_NOOP("Заключение, изменённое врачом (не подтверждено)")));
    else
        statementsLabel_->setText(
            text(language_, QT_TR_NOOP("Заключение программы (не подтверждено)")));
    confirmation_->setText(report_.confirmed()
                               ? text(language_, QT_TR_NOOP("Подтверждено: %1, %2"))
                                     .arg(QString::fromStdString(report_.physician),
                                          QString::fromStdString(report_.confirmedAt))
                               : QString());
    confirmation_->setVisible(report_.confirmed());
    for (QPushButton* b : {addButton_, removeButton_, editButton_, freeTextButton_, confirmButton_})
        b->setVisible(context_.has_value());
}

void MeasurementsWindow::setStatements(std::vector<interpret::Statement> statements,
                                       std::int64_t firstRecord, std::int64_t recordCount) {
    statementList_ = std::move(statements);
    statementsFirst_ = firstRecord;
    statementsCount_ = recordCount;
    loadReport(false);
    fill();
}

void MeasurementsWindow::setReportContext(std::optional<ReportContext> context) {
    context_ = std::move(context);
    loadReport(true);
    fill();
}

void MeasurementsWindow::loadReport(bool sayProblems) {
    report_ = interpret::draftReport(statementList_, context_ ? context_->recordedAt : "",
                                     statementsFirst_, statementsCount_);
    stored_ = false;
    keepOld_ = false;
    if (!context_)
        return;
    const cardfile::CardFile cf(context_->workDir);
    auto read = cf.readReport(context_->patientId, context_->recordNumber);
    QString problem;
    if (!read) {
        problem = QString::fromStdString(read.message);
    } else if (read.value) {
        auto decoded = interpret::decodeReport(*read.value);
        if (!decoded)
            problem = QString::fromStdString(decoded.message);
        else if (decoded.value.recordedAt != context_->recordedAt)
            problem = text(language_, QT_TR_NOOP("он составлен к записи от %1"))
                          .arg(QString::fromStdString(decoded.value.recordedAt));
        else {
            report_ = std::move(decoded.value);
            stored_ = true;
        }
    }
    if (problem.isEmpty())
        return;
    // The file stays as it is; the first change keeps it under another name.
    keepOld_ = true;
    if (sayProblems && context_->messages)
        context_->messages->show(
            text(language_, QT_TR_NOOP("Сохранённый отчёт к этой записи не читается (%1). "
                                       "Показано заключение программы; файл отчёта не изменён и "
                                       "при первом изменении будет сохранён под другим именем."))
                .arg(problem),
            velkard::ui::errorCaption(language_), this);
}

bool MeasurementsWindow::store(const interpret::Report& before, const std::string& what) {
    if (what.empty() || !context_)
        return false;
    const cardfile::CardFile cf(context_->workDir);
    const cardfile::CardFile::ReportAuthor author{
        report_.confirmed() ? report_.physician : rememberedPhysician().toStdString(),
        cardfile::workstationAccount()};
    const Status s = cf.writeReport(context_->patientId, context_->recordNumber,
                                    interpret::encodeReport(report_), author, what, keepOld_);
    if (s) {
        stored_ = true;
        keepOld_ = false;
    } else {
        report_ = before;
        if (context_->messages)
            context_->messages->show(
                s.code == ErrorCode::Busy
                    ? QString::fromUtf8(language_ == velkard::ui::Language::Russian
                                            ? cardfile::kBusyTextRussian
                                            : cardfile::kBusyTextEnglish)
                    : text(language_, QT_TR_NOOP("Отчёт не сохранён: %1"))
                          .arg(QString::fromStdString(s.message)),
                velkard::ui::errorCaption(language_), this);
    }
    fill();
    return s.ok();
}

std::optional<std::size_t> MeasurementsWindow::selectedStatement() {
    const int row = statements_->currentRow();
    if (row >= 0 && row < int(rowStatement_.size()) &&
        statements_->selectionModel()->isRowSelected(row, {}))
        return rowStatement_[std::size_t(row)];
    if (context_ && context_->messages)
        context_->messages->show(text(language_, QT_TR_NOOP("Выберите заключение в списке.")),
                                 velkard::ui::attentionCaption(language_), this);
    return std::nullopt;
}

std::optional<QString> MeasurementsWindow::askText(const char* object, const QString& title,
                                                   const QString& label, const QString& initial) {
    if (!context_ || !context_->dialogs)
        return std::nullopt;
    QDialog dialog(this);
    dialog.setObjectName(object);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(label, &dialog));
    auto* edit = new QLineEdit(initial, &dialog);
    edit->setObjectName("reportText");
    edit->setMinimumWidth(420);
    layout->addWidget(edit);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    if (context_->dialogs->run(dialog) != QDialog::Accepted)
        return std::nullopt;
    return edit->text().trimmed();
}

void MeasurementsWindow::addStatementFromTable() {
    if (!context_ || !context_->dialogs)
        return;
    const auto lang = language_ == velkard::ui::Language::Russian ? interpret::Language::Russian
                                                                  : interpret::Language::English;
    QDialog dialog(this);
    dialog.setObjectName("reportAddDialog");
    dialog.setWindowTitle(text(language_, QT_TR_NOOP("Добавить заключение")));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName("reportCodes");
    for (const std::string& code : interpret::statementCodes()) {
        auto* item = new QListWidgetItem(
            QString::fromStdString(code + "  " + interpret::statementText(code, lang)), list);
        item->setData(Qt::UserRole, QString::fromStdString(code));
    }
    list->setMinimumSize(420, 360);
    layout->addWidget(list);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(box);
    if (context_->dialogs->run(dialog) != QDialog::Accepted || !list->currentItem())
        return;
    const interpret::Report before = report_;
    store(before, interpret::addStatement(
                      report_, list->currentItem()->data(Qt::UserRole).toString().toStdString()));
}

void MeasurementsWindow::removeSelectedStatement() {
    if (!context_)
        return;
    const auto k = selectedStatement();
    if (!k)
        return;
    const auto lang = language_ == velkard::ui::Language::Russian ? interpret::Language::Russian
                                                                  : interpret::Language::English;
    const QString shown = QString::fromStdString(report_.statements[*k].textIn(lang));
    if (context_->messages &&
        !context_->messages->ask(text(language_, QT_TR_NOOP("Удалить заключение «%1»?")).arg(shown),
                                 velkard::ui::attentionCaption(language_), this, false))
        return;
    const interpret::Report before = report_;
    store(before, interpret::removeStatement(report_, *k));
}

void MeasurementsWindow::editSelectedStatement() {
    if (!context_)
        return;
    const auto k = selectedStatement();
    if (!k)
        return;
    const auto lang = language_ == velkard::ui::Language::Russian ? interpret::Language::Russian
                                                                  : interpret::Language::English;
    const auto typed = askText("reportEditDialog", text(language_, QT_TR_NOOP("Текст заключения")),
                               text(language_, QT_TR_NOOP("Заключение:")),
                               QString::fromStdString(report_.statements[*k].textIn(lang)));
    if (!typed || typed->isEmpty())
        return;
    const interpret::Report before = report_;
    store(before, interpret::editStatement(report_, *k, typed->toStdString(), lang));
}

void MeasurementsWindow::addFreeText() {
    const auto typed = askText("reportFreeTextDialog", text(language_, QT_TR_NOOP("Свой текст")),
                               text(language_, QT_TR_NOOP("Текст врача:")), QString());
    if (!typed || typed->isEmpty())
        return;
    const interpret::Report before = report_;
    store(before, interpret::addFreeText(report_, typed->toStdString()));
}

void MeasurementsWindow::confirmReport() {
    if (!context_)
        return;
    const auto typed =
        askText("reportConfirmDialog", text(language_, QT_TR_NOOP("Подтвердить отчёт")),
                text(language_, QT_TR_NOOP("Врач (фамилия, инициалы):")), rememberedPhysician());
    if (!typed)
        return;
    if (typed->isEmpty()) {
        if (context_->messages)
            context_->messages->show(
                text(language_, QT_TR_NOOP("Отчёт не подтверждён: не указано имя врача.")),
                velkard::ui::attentionCaption(language_), this);
        return;
    }
    rememberPhysician(*typed);
    const QDateTime now = context_->clock ? context_->clock() : QDateTime::currentDateTime();
    const interpret::Report before = report_;
    if (store(before, interpret::confirmReport(
                          report_, typed->toStdString(),
                          now.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toStdString())))
        emit reportConfirmed(QString::fromStdString(context_->patientId), context_->recordNumber);
}

namespace {
constexpr const char* kPhysicianKey = "report/physician";
} // namespace

QString MeasurementsWindow::rememberedPhysician() const {
    if (context_ && context_->settings)
        return context_->settings->value(kPhysicianKey).toString();
    return QSettings(QStringLiteral("Velkard"), QStringLiteral("velkard"))
        .value(kPhysicianKey)
        .toString();
}

void MeasurementsWindow::rememberPhysician(const QString& name) const {
    if (context_ && context_->settings) {
        context_->settings->setValue(kPhysicianKey, name);
        return;
    }
    QSettings(QStringLiteral("Velkard"), QStringLiteral("velkard")).setValue(kPhysicianKey, name);
}

} // namespace velkard::measure::ui
