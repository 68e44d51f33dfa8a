// SPDX-License-Identifier: GPL-3.0-or-later
#include "compare/ui/CompareWindow.h"

#include "print/Report.h"
#include "signal/Recording.h"
#include "signal/SampleRecord.h"

#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace velkard::compare::ui {

namespace {

using interpret::Quantity;
using velkard::ui::Language;

constexpr const char* kContext = "velkard::compare::ui::CompareWindow";
constexpr std::int64_t kTenSeconds = 10 * signal::kRecordsPerSecond;

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

// The statements' texts exist in Russian and English; other languages show the English.
interpret::Language statementLanguage(Language l) {
    return l == Language::Russian ? interpret::Language::Russian : interpret::Language::English;
}

// The quantity's name with its unit, as the table's first column shows it.
const char* quantityName(Quantity q) {
    switch (q) {
    case Quantity::HeartRate:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "ЧСС, уд/мин");
    case Quantity::Rr:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "RR, мс");
    case Quantity::P:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "P, мс");
    case Quantity::Pr:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "PR, мс");
    case Quantity::Qrs:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "QRS, мс");
    case Quantity::Qt:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "QT, мс");
    case Quantity::QtcBazett:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "QTc (Базетт), мс");
    case Quantity::QtcFridericia:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "QTc (Фридеричиа), мс");
    case Quantity::PAxis:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "Ось P, °");
    case Quantity::QrsAxis:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "Ось QRS, °");
    case Quantity::TAxis:
        return QT_TRANSLATE_NOOP("velkard::compare::ui::CompareWindow", "Ось T, °");
    }
    return "";
}

// Whole numbers; "—" for what was not measured. A difference carries its sign.
QString valueText(std::optional<double> v, bool signedValue = false) {
    if (!v)
        return QStringLiteral("—");
    const long n = std::lround(*v);
    if (signedValue && n > 0)
        return QStringLiteral("+%1").arg(n);
    return QString::number(n);
}

// The difference as the two shown values give it, so the row reads right (101 and 163: +62);
// an axis the short way round.
std::optional<double> shownDifference(const interpret::QuantityChange& c) {
    if (!c.difference)
        return std::nullopt;
    long d = std::lround(*c.later) - std::lround(*c.earlier);
    if (interpret::isAxis(c.quantity)) {
        d %= 360;
        if (d <= -180)
            d += 360;
        else if (d > 180)
            d -= 360;
    }
    return double(d);
}

} // namespace

Result<ComparedEcg> examineRecording(const cardfile::CardFile& cardFile,
                                     const cardfile::PatientRecord& patient,
                                     const cardfile::ArchiveEntry& entry) {
    using R = Result<ComparedEcg>;
    ComparedEcg out;
    out.date = utf8(entry.date);
    out.time = utf8(entry.time);
    out.recordNumber = entry.recordNumber();
    signal::RecordingBuffer recording;
    if (auto s =
            signal::loadRecording(cardFile.recordingPath(patient.id, out.recordNumber), recording);
        !s)
        return R::failure(ErrorCode::CannotReadRecording, s.message);
    const auto records = static_cast<std::int64_t>(recording.records());
    out.firstRecord = 0;
    out.recordCount = std::min(records, kTenSeconds);
    // The report's statements were made on its span: the comparison measures the same.
    if (auto stored = cardFile.readReport(patient.id, out.recordNumber); stored && stored.value) {
        auto report = interpret::decodeReport(*stored.value);
        if (report && report.value.recordedAt == entry.date + " " + entry.time) {
            out.report = std::move(report.value);
            if (out.report->recordCount > 0 && out.report->firstRecord < records) {
                out.firstRecord = std::max<std::int64_t>(0, out.report->firstRecord);
                out.recordCount = std::min(out.report->recordCount, records - out.firstRecord);
            }
        }
    }
    // An A2 recording carries all twelve leads only in its first records.
    if (entry.isA2())
        out.recordCount = std::clamp<std::int64_t>(signal::kA2DerivedRecords - out.firstRecord, 0,
                                                   out.recordCount);
    print::ReportJob job;
    job.sex = utf8(patient.sex);
    job.birthDate = utf8(patient.birthDate);
    job.date = out.date;
    // A recording filed from a file lacking leads is measured without them, as everywhere else.
    const auto leads = cardFile.readLeads(patient.id, out.recordNumber);
    const cardfile::LeadSet* present = leads && leads.value ? &*leads.value : nullptr;
    out.interpretation = interpret::interpretRecording(
        {recording.bytes.data(), recording.bytes.size()}, out.firstRecord, out.recordCount,
        print::reportPatient(job), present, &out.median);
    out.said = interpret::saidStatements(out.report ? &*out.report : nullptr,
                                         out.interpretation.statements);
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        out.hidden[l] =
            (present && !(*present)[l]) || out.interpretation.measurements.quality[l].off;
    return R::success(std::move(out));
}

void BeatsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    print::Paper paper;
    const double mm = width() / (medianBeatsWidthMm() + 4);
    paper.pxPerMmX = paper.pxPerMmY = mm;
    paper.widthMm = width() / mm;
    paper.heightMm = height() / mm;
    print::drawGrid(painter, paper);
    drawMedianBeats(painter, paper, 2, 0, paper.heightMm, traces);
}

CompareWindow::CompareWindow(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                             const cardfile::PatientRecord& patient, ComparedEcg earlier,
                             ComparedEcg later, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), patient_(patient),
      earlier_(std::move(earlier)), later_(std::move(later)), language_(state.interfaceLanguage()) {
    setObjectName("CompareWindow");
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(1000, 720);
    comparison_ = interpret::compare(earlier_.interpretation.measurements, earlier_.said,
                                     later_.interpretation.measurements, later_.said);

    headerLabel = new QLabel(this);
    headerLabel->setObjectName("headerLabel");
    headerLabel->setTextFormat(Qt::RichText);
    beatsView = new BeatsView(this);
    beatsView->setObjectName("beatsView");
    beatsView->setMinimumSize(800, 300);
    beatsView->traces = {{&earlier_.median, earlier_.interpretation.measurements.qrsOnsetAt,
                          QColor(kEarlierColour), earlier_.hidden},
                         {&later_.median, later_.interpretation.measurements.qrsOnsetAt,
                          QColor(kLaterColour), later_.hidden}};
    measurementList = new QTreeWidget(this);
    measurementList->setObjectName("measurementList");
    measurementList->setColumnCount(4);
    measurementList->setRootIsDecorated(false);
    measurementList->setColumnWidth(0, 150);
    statementList = new QTreeWidget(this);
    statementList->setObjectName("statementList");
    statementList->setColumnCount(2);
    statementList->setRootIsDecorated(false);
    statementList->setColumnWidth(0, 120);
    Print = new QPushButton(this);
    Print->setObjectName("Print");
    Print->setAutoDefault(false);
    Close = new QPushButton(this);
    Close->setObjectName("Close");
    Close->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(headerLabel);
    layout->addWidget(beatsView, 1);
    auto* lists = new QHBoxLayout;
    lists->addWidget(measurementList, 1);
    lists->addWidget(statementList, 1);
    layout->addLayout(lists);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Print);
    buttons->addWidget(Close);
    layout->addLayout(buttons);

    connect(Print, &QPushButton::clicked, this, &CompareWindow::printToPdf);
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
    applyLanguage(language_);
}

QString CompareWindow::say(const char* source) const {
    return velkard::ui::translate(language_, kContext, source);
}

ComparePage CompareWindow::page() const {
    ComparePage p;
    p.title = say(QT_TR_NOOP("Сравнение ЭКГ"));
    p.headerLines << say(QT_TR_NOOP("Пациент: %1")).arg(utf8(patient_.name).trimmed());
    if (!patient_.birthDate.empty())
        p.headerLines << say(QT_TR_NOOP("Дата рождения: %1")).arg(utf8(patient_.birthDate));
    const auto legend = [this](const char* which, const ComparedEcg& e) {
        QString source;
        if (e.report && e.report->confirmed())
            source = say(QT_TR_NOOP("заключение подтверждено: %1, %2"))
                         .arg(utf8(e.report->physician), utf8(e.report->confirmedAt));
        else
            source = say(QT_TR_NOOP("заключение программы, не подтверждено"));
        return say(which).arg(e.date, e.time, source);
    };
    p.earlierLegend = legend(QT_TR_NOOP("Ранее: %1 %2 (%3)"), earlier_);
    p.laterLegend = legend(QT_TR_NOOP("Теперь: %1 %2 (%3)"), later_);
    p.columnTitles = {say(QT_TR_NOOP("Показатель")), earlier_.date, later_.date,
                      say(QT_TR_NOOP("Разница"))};
    for (const interpret::QuantityChange& c : comparison_.quantities)
        p.rows.push_back({say(quantityName(c.quantity)), valueText(c.earlier), valueText(c.later),
                          valueText(shownDifference(c), true)});
    p.statementsTitle = say(QT_TR_NOOP("Заключение"));
    const interpret::Language sl = statementLanguage(language_);
    for (const auto& s : comparison_.appeared)
        p.statementLines << say(QT_TR_NOOP("Появилось: %1")).arg(utf8(s.textIn(sl)));
    for (const auto& s : comparison_.disappeared)
        p.statementLines << say(QT_TR_NOOP("Исчезло: %1")).arg(utf8(s.textIn(sl)));
    for (const auto& s : comparison_.kept)
        p.statementLines << say(QT_TR_NOOP("Без изменений: %1")).arg(utf8(s.textIn(sl)));
    if (p.statementLines.isEmpty())
        p.statementLines << say(QT_TR_NOOP("Ни одна ЭКГ не содержит заключений"));
    p.scaleLine = say(QT_TR_NOOP("%1 мм/с   %2 мм/мВ")).arg(kBeatMmPerSecond).arg(kBeatMmPerMv);
    p.earlier = beatsView->traces[0];
    p.later = beatsView->traces[1];
    return p;
}

void CompareWindow::applyLanguage(Language l) {
    language_ = l;
    setWindowTitle(say(QT_TR_NOOP("Сравнение ЭКГ")));
    Print->setText(say(QT_TR_NOOP("Печать")));
    Print->setToolTip(say(QT_TR_NOOP("Сохранить сравнение на одной странице в файл PDF")));
    Close->setText(say(QT_TR_NOOP("Закрыть")));
    const ComparePage p = page();
    const auto coloured = [](QRgb colour, const QString& text) {
        return QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2")
            .arg(QColor(colour).name(), text.toHtmlEscaped());
    };
    QStringList header;
    header << QStringLiteral("<b>%1</b>")
                  .arg(p.headerLines.join(QStringLiteral("   ")).toHtmlEscaped());
    header << coloured(kEarlierColour, p.earlierLegend);
    header << coloured(kLaterColour, p.laterLegend);
    header << p.scaleLine.toHtmlEscaped();
    headerLabel->setText(header.join(QStringLiteral("<br>")));
    for (int c = 0; c < 4; ++c)
        measurementList->headerItem()->setText(c, p.columnTitles[std::size_t(c)]);
    measurementList->clear();
    for (const auto& row : p.rows) {
        auto* item = new QTreeWidgetItem({row[0], row[1], row[2], row[3]});
        for (int c = 1; c < 4; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        measurementList->addTopLevelItem(item);
    }
    statementList->headerItem()->setText(0, say(QT_TR_NOOP("Изменение")));
    statementList->headerItem()->setText(1, say(QT_TR_NOOP("Заключение")));
    statementList->clear();
    const interpret::Language sl = statementLanguage(l);
    const auto add = [&](const char* change, const std::vector<interpret::SaidStatement>& list) {
        for (const auto& s : list) {
            auto* item = new QTreeWidgetItem({say(change), utf8(s.textIn(sl))});
            item->setData(0, Qt::UserRole, utf8(s.code));
            statementList->addTopLevelItem(item);
        }
    };
    add(QT_TR_NOOP("Появилось"), comparison_.appeared);
    add(QT_TR_NOOP("Исчезло"), comparison_.disappeared);
    add(QT_TR_NOOP("Без изменений"), comparison_.kept);
}

void CompareWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void CompareWindow::printToPdf() {
    const Language l = state_.interfaceLanguage();
    language_ = l;
    QFileDialog dialog(this, say(QT_TR_NOOP("Сохранить сравнение ЭКГ в файл PDF")));
    dialog.setObjectName(QStringLiteral("comparePdfFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    QString name = say(QT_TR_NOOP("Сравнение ЭКГ %1 %2 и %3"))
                       .arg(utf8(patient_.name).trimmed(), earlier_.date, later_.date);
    static const QRegularExpression unfit(QStringLiteral("[/\\\\:*?\"<>|]"));
    name.replace(unfit, QStringLiteral("_"));
    dialog.selectFile(name + QStringLiteral(".pdf"));
    if (seams_.dialogs.run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    const print::PrintResult printed = printComparisonToPdf(path, page(), 300);
    if (!printed) {
        seams_.messages.show(say(QT_TR_NOOP("Сравнение не сохранено:\n")) +
                                 QString::fromStdString(printed.message),
                             velkard::ui::errorCaption(l), this);
        return;
    }
    seams_.messages.show(say(QT_TR_NOOP("Сравнение ЭКГ сохранено в файл PDF\n")) + path,
                         say(QT_TR_NOOP("Информация")), this);
}

} // namespace velkard::compare::ui
