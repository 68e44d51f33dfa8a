// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/MeasurementsWindow.h"

#include "signal/Leads.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace velkard::measure::ui {

namespace {

constexpr const char* kContext = "velkard::measure::ui::MeasurementsWindow";
constexpr int kLeadColumns = 8;

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
// German.
QString number(std::optional<double> v, int decimals, velkard::ui::Language l) {
    if (!v || !std::isfinite(*v))
        return QString::fromUtf8("—");
    QString text = QString::number(*v, 'f', decimals);
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
    resize(720, 860);
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
         text(l, QT_TR_NOOP("T, мВ"))});
    statementsLabel_->setText(text(l, QT_TR_NOOP("Заключение программы (не подтверждено)")));
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
            number(a.rMv, 2, language_),    number(a.sMv, 2, language_),
            number(a.qMs, 0, language_),    number(a.qMv, 2, language_),
            number(a.r2Mv, 2, language_),   number(a.stJMv, 2, language_),
            number(a.st60Mv, 2, language_), number(a.tMv, 2, language_)};
        for (int c = 0; c < kLeadColumns; ++c) {
            leads_->setItem(l, c, new QTableWidgetItem(cells[c]));
            leads_->item(l, c)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    const auto lang = language_ == velkard::ui::Language::Russian ? interpret::Language::Russian
                                                                  : interpret::Language::English;
    statements_->setRowCount(int(statementList_.size()));
    for (int i = 0; i < int(statementList_.size()); ++i) {
        const interpret::Statement& s = statementList_[std::size_t(i)];
        statements_->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(s.textIn(lang))));
        statements_->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(s.reasonIn(lang))));
        statements_->item(i, 0)->setToolTip(QString::fromStdString(s.code));
    }
    statements_->resizeRowsToContents();
}

void MeasurementsWindow::setStatements(std::vector<interpret::Statement> statements) {
    statementList_ = std::move(statements);
    fill();
}

} // namespace velkard::measure::ui
