// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PrintJob.h"

#include "display/Geometry.h"
#include "display/Leads.h"
#include "display/Texts.h"
#include "print/Paper.h"
#include "print/PdfDocument.h"
#include "signal/Recording.h"
#include "signal/SampleRecord.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPoint>
#include <QPrinter>
#include <QRawFont>
#include <QSaveFile>
#include <QTextLayout>
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

// What a page is drawn on: a painter on a printer or QPdfWriter, or the PDF writer of this folder.
// Positions in millimetres as in Paper.h; `line` takes device pixels.
class Surface {
public:
    virtual ~Surface() = default;
    virtual const Paper& paper() const = 0;
    virtual bool newPage() = 0;
    virtual void grid() = 0;
    virtual void text(double xMm, double topMm, const QString& text, double pointSize) = 0;
    virtual double textWidthMm(const QString& text, double pointSize) = 0;
    // A line in the trace pen.
    virtual void line(QPointF a, QPointF b) = 0;
    virtual void calibrationMark(double xMm, double baselineMm, double mmPerMv,
                                 double mmPerSecond) = 0;
    virtual void trace(const TraceGeometry& g, const std::int16_t* samples, std::size_t count) = 0;
};

class PainterSurface final : public Surface {
public:
    PainterSurface(QPainter& p, QPagedPaintDevice& dev)
        : p_(p), dev_(dev), paper_(Paper::of(dev)) {}
    const Paper& paper() const override { return paper_; }
    bool newPage() override { return dev_.newPage(); }
    void grid() override { drawGrid(p_, paper_); }
    void text(double xMm, double topMm, const QString& text, double pointSize) override {
        drawText(p_, paper_, xMm, topMm, text, pointSize);
    }
    double textWidthMm(const QString& text, double pointSize) override {
        return print::textWidthMm(p_, paper_, text, pointSize);
    }
    void line(QPointF a, QPointF b) override {
        p_.save();
        p_.setPen(tracePen(paper_));
        p_.drawLine(a, b);
        p_.restore();
    }
    void calibrationMark(double xMm, double baselineMm, double mmPerMv,
                         double mmPerSecond) override {
        drawCalibrationMark(p_, paper_, xMm, baselineMm, mmPerMv, mmPerSecond);
    }
    void trace(const TraceGeometry& g, const std::int16_t* samples, std::size_t count) override {
        drawTrace(p_, paper_, g, samples, count);
    }

private:
    QPainter& p_;
    QPagedPaintDevice& dev_;
    const Paper paper_;
};

// Pages written by PdfDocument with the operators Qt's engine would write for the same drawing
// (the same pens, glyphs and positions, the traces' heights in the ten-thousandths of a column
// both write), but the grid once as a form.
class PdfSurface final : public Surface {
public:
    PdfSurface(PdfDocument& doc, const QPaintDevice& device)
        : doc_(doc), device_(device), paper_(Paper::of(device)) {}
    const Paper& paper() const override { return paper_; }
    bool unsupported() const { return unsupported_; }

    bool newPage() override {
        endPage();
        return !doc_.failed();
    }
    void endPage() {
        doc_.addPage(std::move(page_));
        page_ = PdfContent();
    }
    void grid() override {
        if (!gridSet_) {
            doc_.setForm(gridContent(), paper_.x(paper_.widthMm), paper_.y(paper_.heightMm));
            gridSet_ = true;
        }
        page_.op("q /G Do Q\n");
    }
    void text(double xMm, double topMm, const QString& text, double pointSize) override {
        const QFont f = font(pointSize);
        QTextLayout layout(text, f, &device_);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        if (!line.isValid())
            return;
        // The origin on the baseline in 1/64 pixel, cut as QPainter::drawText does.
        const double x = std::trunc(paper_.x(xMm) * 64) / 64;
        const double baseline =
            std::trunc((paper_.y(topMm) + QFontMetricsF(f, &device_).ascent()) * 64) / 64;
        for (const QGlyphRun& run : layout.glyphRuns())
            if (!doc_.text(page_, run, x, baseline - line.ascent()))
                unsupported_ = true;
    }
    double textWidthMm(const QString& text, double pointSize) override {
        return QFontMetricsF(font(pointSize), &device_).horizontalAdvance(text) / paper_.pxPerMmX;
    }
    void line(QPointF a, QPointF b) override {
        page_.op("0 0 0 RG\n");
        page_.pen(tracePen(paper_).widthF(), 1, 1);
        page_.moveTo(a.x(), a.y());
        page_.lineTo(b.x(), b.y());
        page_.op("S\n");
    }
    void calibrationMark(double xMm, double baselineMm, double mmPerMv,
                         double mmPerSecond) override {
        const double pulse = 0.2 * mmPerSecond;
        const double b = paper_.y(baselineMm);
        const double t = paper_.y(baselineMm - mmPerMv);
        page_.op("0 0 0 RG\n");
        page_.pen(tracePen(paper_).widthF(), 1, 1);
        page_.moveTo(paper_.x(xMm), b);
        page_.lineTo(paper_.x(xMm + 1), b);
        page_.lineTo(paper_.x(xMm + 1), t);
        page_.lineTo(paper_.x(xMm + 1 + pulse), t);
        page_.lineTo(paper_.x(xMm + 1 + pulse), b);
        page_.lineTo(paper_.x(xMm + 2 + pulse), b);
        page_.op("S\n");
    }
    // As drawTrace: one path in a frame of one column per unit, scaled alike in x and y.
    void trace(const TraceGeometry& g, const std::int16_t* samples, std::size_t count) override {
        const std::vector<TracePoint> points = tracePoints(paper_, g, samples, count);
        if (points.empty())
            return;
        const double k = traceColumnPx(paper_);
        const double yStep = g.mmPerMv * paper_.pxPerMmY / signal::kUnitsPerMillivolt / k;
        page_.op("q\n");
        page_.num(k);
        page_.op(" 0 0 ");
        page_.num(k);
        page_.op(" ");
        page_.num(paper_.x(g.x0Mm));
        page_.op(" ");
        page_.num(paper_.y(g.baselineMm));
        page_.op(" cm\n0 0 0 RG\n");
        page_.pen(tracePen(paper_).widthF() / k, 1, 1);
        std::string& s = page_.raw();
        for (std::size_t i = 0; i < points.size(); ++i) {
            page_.integer(points[i].column);
            s += ' ';
            page_.fixed(traceHeight(points[i].value, yStep), 4);
            s += i == 0 ? " m\n" : " l\n";
        }
        if (points.size() == 1) {
            page_.integer(points[0].column);
            s += ' ';
            page_.fixed(traceHeight(points[0].value, yStep), 4);
            s += " l\n";
        }
        s += "S\nQ\n";
    }

private:
    QFont font(double pointSize) const {
        QFont f;
        f.setPointSizeF(pointSize);
        return QFont(f, &device_);
    }
    // drawGrid's lines: every millimetre, heavier every 5 mm.
    std::string gridContent() const {
        PdfContent c;
        const QColor colour(kGridColour);
        const double w = paper_.x(paper_.widthMm);
        const double h = paper_.y(paper_.heightMm);
        for (const bool major : {false, true}) {
            c.strokeRgb(double(float(colour.redF())), double(float(colour.greenF())),
                        double(float(colour.blueF())));
            c.pen(std::max(1.0, paper_.x(major ? 0.15 : 0.05)), 0, 2);
            for (int mm = 0; mm <= int(paper_.widthMm); ++mm)
                if ((mm % 5 == 0) == major) {
                    c.moveTo(paper_.x(mm), 0);
                    c.lineTo(paper_.x(mm), h);
                }
            for (int mm = 0; mm <= int(paper_.heightMm); ++mm)
                if ((mm % 5 == 0) == major) {
                    c.moveTo(0, paper_.y(mm));
                    c.lineTo(w, paper_.y(mm));
                }
            c.op("S\n");
        }
        return std::move(c.raw());
    }

    PdfDocument& doc_;
    const QPaintDevice& device_;
    const Paper paper_;
    PdfContent page_;
    bool gridSet_ = false;
    bool unsupported_ = false;
};

class PagePrinter {
public:
    PagePrinter(Surface& s, const PrintJob& job)
        : s_(s), job_(job), paper_(s.paper()), layout_(printLayout(paper_, job)) {}

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
            if (page > 0 && !s_.newPage())
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
        const double widest = s_.textWidthMm(secondLabel(lastSecond, job_.russian), kLabelPoints);
        const int step = secondLabelStep(layout_.mmPerSecond, widest);
        for (int s = firstSecond; s <= lastSecond; ++s) {
            if (s % step != 0)
                continue;
            const double x = layout_.x0Mm + (s - from) * layout_.mmPerSecond;
            if (x > layout_.xEndMm + 1e-6)
                break;
            s_.text(x, layout_.labelTopMm, secondLabel(s, job_.russian), kLabelPoints);
            s_.line(QPointF(paper_.x(x), paper_.y(layout_.labelTopMm + 3.6)),
                    QPointF(paper_.x(x), paper_.y(layout_.labelTopMm + 5)));
        }
    }

    void drawFurniture(double fromSecond, double toSecond) {
        if (job_.grid)
            s_.grid();
        s_.text(layout_.x0Mm - 5, layout_.headerTopMm, headerText(job_), 9);
        drawSecondLabels(fromSecond, toSecond);
    }

    // One row of a page: its lead's name, the calibration mark and the trace.
    void drawRow(int row, const std::vector<std::int16_t>& lead) {
        const double b = layout_.baselinesMm[row];
        s_.text(layout_.leadLabelXMm, b - 4.5,
                QString::fromUtf8(d::kLeadLabels[std::size_t(leadOf(row))]).trimmed(), 7);
        s_.calibrationMark(layout_.markXMm, b, layout_.mmPerMv, layout_.mmPerSecond);
        TraceGeometry g;
        g.x0Mm = layout_.x0Mm;
        g.xEndMm = layout_.xEndMm;
        g.baselineMm = b;
        g.mmPerSecond = layout_.mmPerSecond;
        g.mmPerMv = layout_.mmPerMv;
        // A lead the recording lacks keeps its label and shows a dash, not a flat line.
        if (!job_.present[std::size_t(leadOf(row))]) {
            s_.text(g.x0Mm + 2, b - 2.5, QStringLiteral("—"), 9);
            return;
        }
        s_.trace(g, lead.data(), lead.size());
    }

    static constexpr double kLabelPoints = 8;

    Surface& s_;
    const PrintJob& job_;
    const Paper& paper_;
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
    PainterSurface surface(painter, device);
    PagePrinter printer(surface, job);
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

namespace {

// Commits the PDF written into file through sink when drawing succeeded and every byte reached
// the file; otherwise drops it, leaving any earlier file under the name as it was.
PrintResult commitPdf(const QString& path, QSaveFile& file, const CheckedSink& sink,
                      PrintResult result) {
    // A page that could not be started because the file was cut off fails as the write did.
    if (!result && (result.code == ErrorCode::Cancelled || !sink.failed())) {
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

PrintResult cannotOpen(const QString& path, const QSaveFile& file) {
    return PrintResult::failure(
        ErrorCode::CannotWrite,
        QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

void setA4(QPdfWriter& writer, int dpi, QPageLayout::Orientation orientation) {
    writer.setResolution(dpi);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(0, 0, 0, 0)));
    writer.setCreator(QStringLiteral("Velkard"));
}

// The job written by PdfDocument. A QPdfWriter that is never painted on serves as the device
// whose resolution and fonts the pages are laid out with, so they come out as Qt would draw them.
// Sets unsupported (and writes nothing) when a text's font cannot be embedded.
PrintResult writeRecordingPdf(const QString& path, const PrintJob& job, int dpi,
                              bool& unsupported) {
    unsupported = false;
    QBuffer scratch;
    scratch.open(QIODevice::WriteOnly);
    QPdfWriter reference(&scratch);
    setA4(reference, dpi, QPageLayout::Portrait);
    QFont font;
    font.setPointSizeF(9);
    if (!PdfDocument::canEmbed(QRawFont::fromFont(QFont(font, &reference)))) {
        unsupported = true;
        return PrintResult::failure(ErrorCode::Failed, "the font cannot be embedded");
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cannotOpen(path, file);
    CheckedSink sink(file);
    const QSize points = QPageSize(QPageSize::A4).sizePoints();
    PdfDocument doc(sink, points.width(), points.height(), dpi);
    PdfSurface surface(doc, reference);
    PagePrinter printer(surface, job);
    int pages = 0;
    const PagePrinter::Outcome outcome = printer.run(pages);
    if (surface.unsupported()) {
        unsupported = true;
        file.cancelWriting();
        return PrintResult::failure(ErrorCode::Failed, "the font cannot be embedded");
    }
    if (outcome == PagePrinter::Outcome::Cancelled)
        return commitPdf(path, file, sink,
                         PrintResult::failure(ErrorCode::Cancelled, "printing cancelled", pages));
    if (outcome == PagePrinter::Outcome::Done)
        surface.endPage();
    // A write that fell short is the sink's to tell (commitPdf).
    doc.finish(QStringLiteral("Velkard"));
    if (outcome != PagePrinter::Outcome::Done)
        return commitPdf(path, file, sink,
                         PrintResult::failure(ErrorCode::Failed, "printing failed", pages));
    return commitPdf(path, file, sink, PrintResult::success(pages));
}

} // namespace

PrintResult writePdf(const QString& path, int dpi, QPageLayout::Orientation orientation,
                     const std::function<PrintResult(QPagedPaintDevice&)>& draw) {
    PrintResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cannotOpen(path, file);
    CheckedSink sink(file);
    {
        QPdfWriter writer(&sink);
        setA4(writer, dpi, orientation);
        result = draw(writer);
    }
    return commitPdf(path, file, sink, result);
}

PrintResult printToPdf(const QString& path, const PrintJob& job, int dpi) {
    if (!job.all && (job.range.begin < 0 || job.range.end < job.range.begin))
        return PrintResult::failure(ErrorCode::InvalidArgument, "invalid print range");
    bool unsupported = false;
    PrintResult result = writeRecordingPdf(path, job, dpi, unsupported);
    if (!unsupported)
        return result;
    // A font without TrueType outlines: Qt's engine embeds it.
    return writePdf(path, dpi, QPageLayout::Portrait,
                    [&](QPagedPaintDevice& device) { return printRecording(device, job); });
}

} // namespace velkard::print
