// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/Report.h"

#include "display/Geometry.h"
#include "display/Leads.h"
#include "measure/Summary.h"
#include "print/Paper.h"
#include "signal/SampleRecord.h"

#include <QDate>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace velkard::print {

namespace d = velkard::display;

namespace {

constexpr double kHeaderPointSize = 9;
constexpr double kLinePitchMm = 4.2;
constexpr double kColumnSeconds = 2.5;
constexpr int kRecordsPerSecond = signal::kRecordsPerSecond;

// Column k shows these leads, top to bottom.
constexpr int kColumnLeads[4][3] = {{d::LeadI, d::LeadII, d::LeadIII},
                                    {d::LeadAVR, d::LeadAVL, d::LeadAVF},
                                    {d::LeadV1, d::LeadV2, d::LeadV3},
                                    {d::LeadV4, d::LeadV5, d::LeadV6}};

QString tr(bool russian, const char* ru, const char* en) {
    return QString::fromUtf8(russian ? ru : en);
}

} // namespace

int reportStartSecond(int wished, std::size_t bytes) {
    const std::size_t records = bytes / signal::kRecordBytes;
    const int whole = int(records / kRecordsPerSecond);
    const int last = std::max(0, whole - int(kReportSeconds));
    return std::clamp(wished, 0, last);
}

namespace {

// The interpretation of the ten seconds the report shows, when it prints measurements.
std::optional<interpret::Interpretation> shownInterpretation(const ReportJob& job) {
    if (!job.measurements || !job.data)
        return std::nullopt;
    const std::int64_t first =
        std::int64_t(reportStartSecond(job.fromSecond, job.length)) * kRecordsPerSecond;
    std::int64_t count = std::int64_t(kReportSeconds * kRecordsPerSecond);
    if (job.kindA2)
        count = std::clamp<std::int64_t>(signal::kA2DerivedRecords - first, 0, count);
    if (count <= 0)
        return std::nullopt;
    return interpret::interpretRecording({job.data, job.length}, first, count, reportPatient(job),
                                         &job.present);
}

QStringList headerLeft(const ReportJob& job,
                       const std::optional<interpret::Interpretation>& shown) {
    const bool ru = job.russian;
    QStringList lines;
    lines << tr(ru, "ЭКГ в 12 отведениях", "12-lead ECG");
    if (!job.patientName.isEmpty())
        lines << tr(ru, "Пациент: ", "Patient: ") + job.patientName;
    else if (!job.fileName.isEmpty())
        lines << tr(ru, "Файл: ", "File: ") + job.fileName;
    if (!job.birthDate.isEmpty())
        lines << tr(ru, "Дата рождения: ", "Born: ") + job.birthDate;
    if (shown) {
        const interpret::Interpretation& r = *shown;
        for (const std::string& line : measure::summaryLines(r.measurements, ru))
            lines << QString::fromStdString(line);
        const auto l = ru ? interpret::Language::Russian : interpret::Language::English;
        if (job.physicianReport) {
            // What the physician kept, changed and added; confirmed or not.
            const interpret::Report& p = *job.physicianReport;
            const auto said = interpret::shownStatements(p);
            if (!said.empty() || p.confirmed())
                lines << (p.confirmed() ? tr(ru, "Заключение:", "Interpretation:")
                                        : tr(ru, "Неподтверждённый отчёт:", "Unconfirmed report:"));
            for (const interpret::ReportStatement* s : said) {
                QString line = QStringLiteral("• ") + QString::fromStdString(s->textIn(l));
                if (s->edited)
                    line += tr(ru, " (изменено врачом)", " (edited by the physician)");
                else if (!s->reasonIn(l).empty())
                    line += QStringLiteral(" (") + QString::fromStdString(s->reasonIn(l)) +
                            QLatin1Char(')');
                lines << line;
            }
            if (p.confirmed())
                lines << tr(ru, "Подтверждено: %1, %2", "Confirmed: %1, %2")
                             .arg(QString::fromStdString(p.physician),
                                  QString::fromStdString(p.confirmedAt));
        } else if (!r.statements.empty()) {
            // What the program says of the ECG, each statement with why; no physician has
            // confirmed it.
            lines << tr(ru, "Неподтверждённый отчёт:", "Unconfirmed report:");
            for (const interpret::Statement& s : r.statements) {
                QString line = QStringLiteral("• ") + QString::fromStdString(s.textIn(l));
                if (!s.reasonIn(l).empty())
                    line += QStringLiteral(" (") + QString::fromStdString(s.reasonIn(l)) +
                            QLatin1Char(')');
                lines << line;
            }
        }
    }
    lines << job.extraHeaderLines;
    return lines;
}

// The header's lines as they fit into widthMm: a longer one (a statement with its reason, a
// physician's free text) is wrapped at spaces, a statement's continuation indented past its bullet.
QStringList wrappedToWidth(QPainter& painter, const Paper& paper, const QStringList& lines,
                           double widthMm) {
    QStringList out;
    for (const QString& line : lines) {
        if (textWidthMm(painter, paper, line, kHeaderPointSize) <= widthMm) {
            out << line;
            continue;
        }
        const QString indent =
            line.startsWith(QStringLiteral("• ")) ? QStringLiteral("   ") : QString();
        QString current;
        for (const QString& word : line.split(QLatin1Char(' '))) {
            const QString trial =
                current.trimmed().isEmpty() ? current + word : current + QLatin1Char(' ') + word;
            if (!current.trimmed().isEmpty() &&
                textWidthMm(painter, paper, trial, kHeaderPointSize) > widthMm) {
                out << current;
                current = indent + word;
            } else {
                current = trial;
            }
        }
        out << current;
    }
    return out;
}

} // namespace

QStringList reportHeaderLeft(const ReportJob& job) {
    return headerLeft(job, shownInterpretation(job));
}

QString leadQualityText(const measure::LeadQuality& q, bool russian) {
    return QString::fromStdString(measure::qualityText(q, russian));
}

interpret::Patient reportPatient(const ReportJob& job) {
    interpret::Patient p;
    const QString sex = job.sex.trimmed().toLower();
    if (sex.startsWith(QString::fromUtf8("м")) || sex.startsWith(QLatin1Char('m')))
        p.sex = interpret::Sex::Male;
    else if (sex.startsWith(QString::fromUtf8("ж")) || sex.startsWith(QLatin1Char('w')) ||
             sex.startsWith(QLatin1Char('f')))
        p.sex = interpret::Sex::Female;
    const QDate born = QDate::fromString(job.birthDate.trimmed(), QStringLiteral("dd.MM.yyyy"));
    const QDate on = QDate::fromString(job.date.trimmed(), QStringLiteral("dd.MM.yyyy"));
    if (born.isValid() && on.isValid() && born <= on) {
        int years = on.year() - born.year();
        if (on.month() < born.month() || (on.month() == born.month() && on.day() < born.day()))
            --years;
        p.ageYears = years;
    }
    return p;
}

QStringList reportHeaderRight(const ReportJob& job) {
    const bool ru = job.russian;
    const int scale = d::kScaleMmPerMv[std::size_t(d::clampScale(job.scaleIndex))];
    const int from = reportStartSecond(job.fromSecond, job.length);
    QStringList lines;
    QString when = (job.date + QLatin1Char(' ') + job.time).trimmed();
    if (!when.isEmpty())
        lines << tr(ru, "Запись: ", "Recorded: ") + when;
    lines
        << tr(ru, "Отрезок: %1–%2 с", "Window: %1–%2 s").arg(from).arg(from + int(kReportSeconds));
    lines << tr(ru, "25 мм/с   %1 мм/мВ", "25 mm/s   %1 mm/mV").arg(scale);
    const std::string filters = filter::describe(job.filters, ru);
    lines << tr(ru, "Фильтры: ", "Filters: ") +
                 (filters.empty() ? tr(ru, "нет", "none") : QString::fromStdString(filters));
    return lines;
}

namespace {

// One strip of the report: a lead's samples [begin, begin + count) from x, its name above.
struct Strip {
    int lead = 0;
    double xMm = 0;
    double xEndMm = 0;
    double baselineMm = 0;
    double labelTopMm = 0;
    std::size_t begin = 0;
    std::size_t count = 0;
    bool present = true; // false: the recording lacks the lead
    bool off = false;    // the signal quality found the lead off (flat or railed)
    QString quality; // what the signal quality found in the lead ("шум", "off" …), or empty
};

void drawStrip(QPainter& painter, const Paper& paper, const Strip& s, const LeadSamples& leads,
               double mmPerMv) {
    const std::vector<std::int16_t>& lead = leads[std::size_t(s.lead)];
    const std::size_t shown = s.begin < lead.size() ? std::min(s.count, lead.size() - s.begin) : 0;
    TraceGeometry g;
    g.x0Mm = s.xMm;
    g.xEndMm = s.xEndMm;
    g.baselineMm = s.baselineMm;
    g.mmPerSecond = kReportMmPerSecond;
    g.mmPerMv = mmPerMv;
    // A lead the recording lacks keeps its label and shows a dash, not a flat line; so does a lead
    // that is off, whose channel at the amplifier's limit wraps its derivation from rail to rail
    // and would draw strokes the height of the page over the others.
    if (!s.present || s.off)
        drawText(painter, paper, s.xMm + 2, s.baselineMm - 2.5, QStringLiteral("—"), 9);
    else if (shown > 0)
        drawTrace(painter, paper, g, lead.data() + s.begin, shown);
    const QString name = QString::fromUtf8(d::kLeadLabels[std::size_t(s.lead)]).trimmed();
    drawText(painter, paper, s.xMm + 1, s.labelTopMm,
             s.quality.isEmpty() ? name : name + QStringLiteral(": ") + s.quality, 9, true);
}

// The second page: the ten seconds' measurements lead by lead, as a table under a header that
// names whose ECG it is.
void drawLeadTablePage(QPainter& painter, const Paper& paper, const ReportJob& job,
                       const interpret::Interpretation& shown) {
    const bool ru = job.russian;
    const int from = reportStartSecond(job.fromSecond, job.length);
    QStringList header;
    header << tr(ru, "ЭКГ в 12 отведениях: измерения по отведениям",
                 "12-lead ECG: measurements by lead");
    QString who = !job.patientName.isEmpty() ? tr(ru, "Пациент: ", "Patient: ") + job.patientName
                  : !job.fileName.isEmpty() ? tr(ru, "Файл: ", "File: ") + job.fileName
                                            : QString();
    if (!job.birthDate.isEmpty())
        who += (who.isEmpty() ? QString() : QStringLiteral("   ")) +
               tr(ru, "Дата рождения: ", "Born: ") + job.birthDate;
    if (!who.isEmpty())
        header << who;
    QString when = (job.date + QLatin1Char(' ') + job.time).trimmed();
    header << (when.isEmpty() ? QString() : tr(ru, "Запись: ", "Recorded: ") + when + "   ") +
                  tr(ru, "Отрезок: %1–%2 с", "Window: %1–%2 s")
                      .arg(from)
                      .arg(from + int(kReportSeconds));
    for (const std::string& line : measure::summaryLines(shown.measurements, ru))
        header << QString::fromStdString(line);
    for (int i = 0; i < header.size(); ++i)
        drawText(painter, paper, 8, 6 + i * kLinePitchMm, header[i], kHeaderPointSize, i == 0);

    // The table: the lead table's columns and the lead's signal quality.
    const std::vector<std::vector<std::string>> table = measure::leadTable(shown.measurements, ru);
    std::vector<QStringList> rows;
    for (std::size_t r = 0; r < table.size(); ++r) {
        QStringList cells;
        for (const std::string& cell : table[r])
            cells << QString::fromStdString(cell);
        if (r == 0)
            cells << tr(ru, "Сигнал", "Signal");
        else if (!job.present[r - 1])
            cells << tr(ru, "нет в записи", "not recorded");
        else
            cells << leadQualityText(shown.measurements.quality[r - 1], ru);
        rows.push_back(cells);
    }
    // Columns as wide as their widest cell, the font made smaller where the page is too narrow.
    double points = 10;
    std::vector<double> widths;
    for (;; points -= 0.5) {
        widths.assign(std::size_t(rows.front().size()), 0.0);
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c)
                widths[std::size_t(c)] =
                    std::max(widths[std::size_t(c)],
                             textWidthMm(painter, paper, rows[r][c], points, r == 0));
        double total = 0;
        for (double& w : widths)
            total += (w += 4);
        if (total <= paper.widthMm - 16 || points <= 6)
            break;
    }
    const double top = 8 + header.size() * kLinePitchMm + 4;
    const double pitch = 7;
    double right = 8;
    for (double w : widths)
        right += w;
    painter.save();
    painter.setPen(QPen(Qt::black, std::max(1.0, paper.x(0.15))));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const double y = top + double(r) * pitch;
        double x = 8;
        for (int c = 0; c < rows[r].size(); ++c) {
            const double w = widths[std::size_t(c)];
            // Lead names and the quality words left, the numbers right.
            const bool left = c == 0 || c == rows[r].size() - 1;
            const double tw = textWidthMm(painter, paper, rows[r][c], points, r == 0);
            drawText(painter, paper, left ? x + 1 : x + w - 2 - tw, y + 1, rows[r][c], points,
                     r == 0 || c == 0);
            x += w;
        }
        // A rule under the heading and under each group of three leads.
        if (r % 3 == 0)
            painter.drawLine(QPointF(paper.x(8), paper.y(y + pitch)),
                             QPointF(paper.x(right), paper.y(y + pitch)));
    }
    painter.restore();
    drawText(
        painter, paper, 8, top + double(rows.size()) * pitch + 2,
        tr(ru,
           "«—»: не измеримо (отведение не записано, отключено, с шумом или волны нет). "
           "ST относительно изолинии PR; T — наибольшее отклонение, двухфазный как +/−.",
           "\"—\": not measurable (the lead is not recorded, off, noisy, or the wave is "
           "absent). ST from the PR baseline; T is the largest deflection, a biphasic T as +/−."),
        7);
}

} // namespace

PrintResult printReport(QPagedPaintDevice& device, const ReportJob& job) {
    device.setPageOrientation(QPageLayout::Landscape);
    // The traces' page, and with measurements the per-lead table's page after it; each step
    // reports the pages done so far.
    const std::optional<interpret::Interpretation> shown = shownInterpretation(job);
    const int pages = shown && !shown->measurements.beats.empty() ? 2 : 1;
    int done = 0;
    auto goOn = [&job, &done, pages] { return !job.progress || job.progress(done, pages); };
    if (!goOn())
        return PrintResult::failure(ErrorCode::Cancelled, "printing cancelled", 0);
    QPainter painter;
    if (!painter.begin(&device))
        return PrintResult::failure(ErrorCode::CannotOpen,
                                    "the printer or output file cannot be opened");
    const Paper paper = Paper::of(device);
    if (job.grid)
        drawGrid(painter, paper);

    // Header: two blocks of lines.
    const QStringList left =
        wrappedToWidth(painter, paper, headerLeft(job, shown), paper.widthMm - 4 - 3);
    const QStringList right = reportHeaderRight(job);
    if (!goOn())
        return endCancelled(painter, device, 0);
    for (int i = 0; i < left.size(); ++i)
        drawText(painter, paper, 4, 2 + i * kLinePitchMm, left[i], kHeaderPointSize, i == 0);
    const double rightX = std::max(4.0, std::min(paper.widthMm - 75, 190.0));
    for (int i = 0; i < right.size(); ++i)
        drawText(painter, paper, rightX, 2 + i * kLinePitchMm, right[i], kHeaderPointSize);
    const double headerBottom =
        std::ceil(2 + std::max(left.size(), right.size()) * kLinePitchMm + 2);

    // Four rows of traces below it, on whole millimetres.
    const double mmPerMv = d::kScaleMmPerMv[std::size_t(d::clampScale(job.scaleIndex))];
    const double pitch = (paper.heightMm - headerBottom - 2) / 4;
    double baselines[4];
    for (int r = 0; r < 4; ++r)
        baselines[r] = std::round(headerBottom + pitch * (r + 0.62));
    const double x0 = 4 + calibrationMarkWidthMm(kReportMmPerSecond) + 4;
    const double columnMm = kColumnSeconds * kReportMmPerSecond;
    const double xEnd = std::min(paper.widthMm - 1, x0 + 4 * columnMm);

    const int from = reportStartSecond(job.fromSecond, job.length);
    const std::size_t first = std::size_t(from) * kRecordsPerSecond;
    const std::size_t count = std::size_t(kReportSeconds * kRecordsPerSecond);
    const LeadSamples leads = leadsOf(job.data, job.length, first, count, job.kindA2, job.filters);
    const std::size_t perColumn = std::size_t(kColumnSeconds * kRecordsPerSecond);
    if (!goOn())
        return endCancelled(painter, device, 0);

    for (int r = 0; r < 4; ++r) {
        drawCalibrationMark(painter, paper, 4, baselines[r], mmPerMv, kReportMmPerSecond);
        // Three rows of four columns of 2.5 s, then the rhythm strip of lead II over all ten.
        for (int c = 0; c < (r < 3 ? 4 : 1); ++c) {
            if (!goOn())
                return endCancelled(painter, device, 0);
            Strip s;
            s.lead = r < 3 ? kColumnLeads[c][r] : d::LeadII;
            s.xMm = x0 + c * columnMm;
            s.xEndMm = r < 3 ? std::min(xEnd, s.xMm + columnMm) : xEnd;
            s.baselineMm = baselines[r];
            s.labelTopMm = baselines[r] - pitch * 0.55;
            s.begin = r < 3 ? std::size_t(c) * perColumn : 0;
            s.count = r < 3 ? perColumn : count;
            s.present = job.present[std::size_t(s.lead)];
            // A lead that is off, noisy, drifting or stepping over the ten seconds says so by
            // its name; the measurements leave out the leads that are off or noisy.
            if (shown && s.present) {
                const measure::LeadQuality& q = shown->measurements.quality[std::size_t(s.lead)];
                s.quality = leadQualityText(q, job.russian);
                s.off = q.off;
            }
            drawStrip(painter, paper, s, leads, mmPerMv);
            // A short mark where one column's leads hand over to the next.
            if (r < 3 && c > 0) {
                painter.save();
                painter.setPen(tracePen(paper));
                painter.drawLine(QPointF(paper.x(s.xMm), paper.y(baselines[r] - 2.5)),
                                 QPointF(paper.x(s.xMm), paper.y(baselines[r] + 2.5)));
                painter.restore();
            }
        }
    }
    // Second labels under the rhythm strip.
    for (int s = 0; s <= int(kReportSeconds); ++s)
        drawText(painter, paper, x0 + s * kReportMmPerSecond, baselines[3] + pitch * 0.3,
                 QStringLiteral("%1%2").arg(from + s).arg(job.russian ? QStringLiteral(" с")
                                                                      : QStringLiteral(" s")),
                 7);
    if (!goOn())
        return endCancelled(painter, device, 0);
    if (pages > 1) {
        done = 1;
        if (!goOn())
            return endCancelled(painter, device, 1);
        if (!device.newPage())
            return PrintResult::failure(ErrorCode::Failed, "printing failed", 1);
        drawLeadTablePage(painter, paper, job, *shown);
        if (!goOn())
            return endCancelled(painter, device, 1);
    }

    if (!painter.end())
        return PrintResult::failure(ErrorCode::Failed, "printing failed", pages);
    if (job.progress)
        job.progress(pages, pages);
    return PrintResult::success(pages);
}

PrintResult printReportToPdf(const QString& path, const ReportJob& job, int dpi) {
    return writePdf(path, dpi, QPageLayout::Landscape,
                    [&](QPagedPaintDevice& device) { return printReport(device, job); });
}

} // namespace velkard::print
