// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PrintJob.h"

#include "display/Geometry.h"
#include "display/Leads.h"
#include "display/Texts.h"
#include "print/Paper.h"
#include "signal/Recording.h"
#include "signal/SampleRecord.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPoint>
#include <QPrinter>
#include <QSaveFile>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <span>

namespace velkard::print {

namespace d = velkard::display;

namespace {

// A whole, non-negative number of seconds; anything else (blank, sign, fraction, letters) fails.
bool parseSeconds(const QString& text, int& out) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 6)
        return false;
    for (QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    out = t.toInt();
    return true;
}

} // namespace

RangeCheck checkRange(const QString& beginText, const QString& endText, int durationSeconds,
                      bool russian) {
    RangeCheck r;
    int b = 0;
    int e = 0;
    if (!parseSeconds(beginText, b) || !parseSeconds(endText, e)) {
        r.message = russian ? QStringLiteral("Начало и конец диапазона должны быть целыми числами "
                                             "секунд")
                            : QStringLiteral("The beginning and the end of the range must be whole "
                                             "numbers of seconds");
        return r;
    }
    if (b > e) {
        r.message = russian ? QStringLiteral("Начало диапазона больше конца")
                            : QStringLiteral("The beginning of the range is after its end");
        return r;
    }
    const int duration = std::max(durationSeconds, 0);
    if (e > duration) {
        r.message = russian
                        ? QStringLiteral("Диапазон выходит за конец записи (%1 с)").arg(duration)
                        : QStringLiteral("The range goes past the end of the recording (%1 s)")
                              .arg(duration);
        return r;
    }
    r.ok = true;
    r.range = {b, e};
    return r;
}

int firstLeadOfGroup(int groupIndex) {
    return d::leadOfRow(d::clampGroup(groupIndex), 0);
}

QString headerText(const PrintJob& job) {
    QString text = QStringLiteral(" %1   %2   %3   %4   %5 ")
                       .arg(job.speedText, job.scaleText, job.patientName, job.date.left(10),
                            job.time.left(8));
    const std::string filters = filter::describe(job.filters, job.russian);
    if (!filters.empty())
        text += QStringLiteral("  %1 ").arg(QString::fromStdString(filters));
    return text;
}

int secondLabelStep(double mmPerSecond, double widestLabelMm) {
    for (int step : {1, 2, 5, 10, 20, 30, 60, 120, 300, 600})
        if (step * mmPerSecond >= widestLabelMm + 1.5)
            return step;
    return 1200;
}

PrintLayout printLayout(const Paper& paper, const PrintJob& job) {
    PrintLayout l;
    l.mmPerSecond = d::kSpeedMmPerS[std::size_t(d::clampSpeed(job.speedIndex))];
    l.mmPerMv = d::kScaleMmPerMv[std::size_t(d::clampScale(job.scaleIndex))];
    l.xEndMm = std::max(l.x0Mm + 10, paper.widthMm - 3);
    l.markXMm = l.x0Mm - 1 - calibrationMarkWidthMm(l.mmPerSecond);
    l.rows = std::min(d::rowCount(d::clampGroup(job.groupIndex)), 12);
    l.firstLead = firstLeadOfGroup(job.groupIndex);
    // Rows share the height below the labels; baselines on whole millimetres (grid lines), a
    // little below the middle of their band as the waves rise more than they fall.
    const double top = 12;
    const double band = std::max(1.0, (paper.heightMm - top - 3) / std::max(l.rows, 1));
    for (int r = 0; r < l.rows; ++r)
        l.baselinesMm[r] = std::round(top + band * (r + 0.6));
    l.recordsPerPage =
        std::size_t(std::floor((l.xEndMm - l.x0Mm) / l.mmPerSecond * signal::kRecordsPerSecond));
    return l;
}

namespace {

QString secondLabel(int second, bool russian) {
    return d::secondLabelText(second, russian);
}

class PagePrinter {
public:
    PagePrinter(QPainter& p, QPagedPaintDevice& dev, const PrintJob& job)
        : p_(p), dev_(dev), job_(job), paper_(Paper::of(dev)), layout_(printLayout(paper_, job)) {}

    enum class Outcome { Done, Failed, Cancelled };

    Outcome run(int& pages) {
        const std::size_t L = job_.data ? job_.length : 0;
        const std::size_t records = L / signal::kRecordBytes;
        std::size_t first = 0;
        std::size_t count = records;
        if (!job_.all) {
            first = std::min(records, std::size_t(job_.range.begin) * signal::kRecordsPerSecond);
            const std::size_t end =
                std::min(records, std::size_t(job_.range.end) * signal::kRecordsPerSecond);
            count = end > first ? end - first : 0;
        }
        // The filters run over the whole recording once, as the review shows it.
        std::vector<std::uint8_t> filtered;
        const std::uint8_t* data = job_.data;
        if (job_.filters.any() && records > 0) {
            filtered =
                filter::filteredCopy(std::span<const std::uint8_t>(job_.data, L), job_.filters,
                                     job_.kindA2 ? signal::kA2FullRecords : SIZE_MAX);
            data = filtered.data();
        }
        const std::size_t perPage = std::max<std::size_t>(layout_.recordsPerPage, 1);
        const std::size_t pageCount = std::max<std::size_t>(1, (count + perPage - 1) / perPage);
        // The last second labelled: the range's end, or the recording's last second.
        const double lastSecond =
            job_.all ? double(records) / signal::kRecordsPerSecond : double(job_.range.end);
        for (std::size_t page = 0; page < pageCount; ++page) {
            if (job_.progress && !job_.progress(int(page), int(pageCount))) {
                pages = int(page);
                return Outcome::Cancelled;
            }
            if (page > 0 && !dev_.newPage())
                return Outcome::Failed;
            const std::size_t start = first + page * perPage;
            const std::size_t n = std::min(perPage, count - std::min(count, page * perPage));
            drawFurniture(
                double(start) / signal::kRecordsPerSecond,
                std::min(lastSecond, double(start + perPage) / signal::kRecordsPerSecond));
            const LeadSamples leads =
                leadsOf(data, L, start, n, job_.kindA2, filter::FilterSettings{});
            for (int r = 0; r < layout_.rows; ++r)
                drawRow(r, leads[std::size_t(leadOf(r))]);
        }
        pages = int(pageCount);
        if (job_.progress)
            job_.progress(pages, pages);
        return Outcome::Done;
    }

private:
    int leadOf(int row) const { return std::min(layout_.firstLead + row, 11); }

    // Labels for the whole seconds in [from, to] at their place on the trace.
    void drawSecondLabels(double from, double to) {
        const int firstSecond = int(std::ceil(from - 1e-9));
        const int lastSecond = int(std::floor(to + 1e-9));
        if (lastSecond < firstSecond)
            return;
        const double widest =
            textWidthMm(p_, paper_, secondLabel(lastSecond, job_.russian), kLabelPoints);
        const int step = secondLabelStep(layout_.mmPerSecond, widest);
        p_.save();
        p_.setPen(tracePen(paper_));
        for (int s = firstSecond; s <= lastSecond; ++s) {
            if (s % step != 0)
                continue;
            const double x = layout_.x0Mm + (s - from) * layout_.mmPerSecond;
            if (x > layout_.xEndMm + 1e-6)
                break;
            drawText(p_, paper_, x, layout_.labelTopMm, secondLabel(s, job_.russian), kLabelPoints);
            p_.setPen(tracePen(paper_));
            p_.drawLine(QPointF(paper_.x(x), paper_.y(layout_.labelTopMm + 3.6)),
                        QPointF(paper_.x(x), paper_.y(layout_.labelTopMm + 5)));
        }
        p_.restore();
    }

    void drawFurniture(double fromSecond, double toSecond) {
        if (job_.grid)
            drawGrid(p_, paper_);
        drawText(p_, paper_, layout_.x0Mm - 5, layout_.headerTopMm, headerText(job_), 9);
        drawSecondLabels(fromSecond, toSecond);
    }

    // One row of a page: its lead's name, the calibration mark and the trace.
    void drawRow(int row, const std::vector<std::int16_t>& lead) {
        const double b = layout_.baselinesMm[row];
        drawText(p_, paper_, layout_.leadLabelXMm, b - 4.5,
                 QString::fromUtf8(d::kLeadLabels[std::size_t(leadOf(row))]).trimmed(), 7);
        drawCalibrationMark(p_, paper_, layout_.markXMm, b, layout_.mmPerMv, layout_.mmPerSecond);
        TraceGeometry g;
        g.x0Mm = layout_.x0Mm;
        g.xEndMm = layout_.xEndMm;
        g.baselineMm = b;
        g.mmPerSecond = layout_.mmPerSecond;
        g.mmPerMv = layout_.mmPerMv;
        // A lead the recording lacks keeps its label and shows a dash, not a flat line.
        if (!job_.present[std::size_t(leadOf(row))]) {
            drawText(p_, paper_, g.x0Mm + 2, b - 2.5, QStringLiteral("—"), 9);
            return;
        }
        drawTrace(p_, paper_, g, lead.data(), lead.size());
    }

    static constexpr double kLabelPoints = 8;

    QPainter& p_;
    QPagedPaintDevice& dev_;
    const PrintJob& job_;
    const Paper paper_;
    const PrintLayout layout_;
};

} // namespace

PrintResult endCancelled(QPainter& painter, QPagedPaintDevice& device, int pages) {
    // A printer drops the pages spooled so far; the print dialog's "print to file" PDF, which the
    // printer writes straight under its name, is removed.
    auto* printerDevice = dynamic_cast<QPrinter*>(&device);
    if (printerDevice)
        printerDevice->abort();
    painter.end();
    if (printerDevice && printerDevice->outputFormat() == QPrinter::PdfFormat &&
        !printerDevice->outputFileName().isEmpty())
        QFile::remove(printerDevice->outputFileName());
    return PrintResult::failure(ErrorCode::Cancelled, "printing cancelled", pages);
}

PrintResult printRecording(QPagedPaintDevice& device, const PrintJob& job) {
    if (!job.all && (job.range.begin < 0 || job.range.end < job.range.begin))
        return PrintResult::failure(ErrorCode::InvalidArgument, "invalid print range");
    QPainter painter;
    if (!painter.begin(&device))
        return PrintResult::failure(ErrorCode::CannotOpen,
                                    "the printer or output file cannot be opened");
    PagePrinter printer(painter, device, job);
    int pages = 0;
    const PagePrinter::Outcome outcome = printer.run(pages);
    if (outcome == PagePrinter::Outcome::Cancelled)
        return endCancelled(painter, device, pages);
    const bool ended = painter.end();
    if (outcome != PagePrinter::Outcome::Done || !ended)
        return PrintResult::failure(ErrorCode::Failed, "printing failed", pages);
    return PrintResult::success(pages);
}

namespace {

// Passes the PDF engine's bytes to the save file and remembers any write that fell short. The
// engine ignores short writes, and QFileDevice reports a write cut off by a full disk as a short
// count without an error, so without this a truncated PDF would be committed under its name.
class CheckedSink final : public QIODevice {
public:
    explicit CheckedSink(QSaveFile& file) : file_(file) { open(QIODevice::WriteOnly); }
    bool failed() const { return failed_; }
    // Why the write fell short, as the system said (a full disk, a file-size limit).
    QString why() const { return why_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        if (failed_)
            return -1;
        errno = 0;
        if (file_.write(data, length) != length) {
            failed_ = true;
            why_ = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file_.errorString();
            return -1;
        }
        return length;
    }

private:
    QSaveFile& file_;
    bool failed_ = false;
    QString why_;
};

} // namespace

PrintResult writePdf(const QString& path, int dpi, QPageLayout::Orientation orientation,
                     const std::function<PrintResult(QPagedPaintDevice&)>& draw) {
    PrintResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return PrintResult::failure(
            ErrorCode::CannotWrite,
            QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
    CheckedSink sink(file);
    {
        QPdfWriter writer(&sink);
        writer.setResolution(dpi);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(0, 0, 0, 0)));
        writer.setCreator(QStringLiteral("Velkard"));
        result = draw(writer);
    }
    if (!result) {
        file.cancelWriting();
        return result;
    }
    if (sink.failed() || !file.flush()) {
        const QString why = sink.failed() ? sink.why() : file.errorString();
        file.cancelWriting();
        return PrintResult::failure(
            ErrorCode::CannotWrite,
            QStringLiteral("cannot write %1: %2").arg(path, why).toStdString(), result.value);
    }
    if (!file.commit())
        return PrintResult::failure(
            ErrorCode::CannotWrite,
            QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString(),
            result.value);
    return result;
}

PrintResult printToPdf(const QString& path, const PrintJob& job, int dpi) {
    return writePdf(path, dpi, QPageLayout::Portrait,
                    [&](QPagedPaintDevice& device) { return printRecording(device, job); });
}

} // namespace velkard::print
