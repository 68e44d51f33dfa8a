// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PrintJob.h"

#include "display/Geometry.h"
#include "display/Leads.h"
#include "signal/SampleRecord.h"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPoint>
#include <QSaveFile>
#include <QVector>

#include <algorithm>
#include <cstring>
#include <memory>

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

PageGeometry pageGeometry(int pageWidth, int pageHeight, int groupIndex, int scaleIndex,
                          int speedIndex) {
    PageGeometry g;
    groupIndex = d::clampGroup(groupIndex);
    scaleIndex = d::clampScale(scaleIndex);
    speedIndex = d::clampSpeed(speedIndex);
    g.pageWidth = pageWidth;
    g.pageHeight = pageHeight;
    g.hp = pageWidth * (1.0 / 210.0);
    g.vp = pageHeight * (1.0 / 297.0);
    // The same units per millivolt as on screen, so one millivolt of trace is exactly as tall as
    // the calibration mark (scale millimetres).
    g.gain = d::kScaleMmPerMv[scaleIndex] * g.vp * (1.0 / 198.0) * 0.3125 * 0.93;
    g.rows = std::min(d::rowCount(groupIndex), 12);
    g.band = g.rows > 0 ? pageHeight / (2 * g.rows) : 0;
    double y = 5 * g.vp;
    for (int k = 0; k < g.rows; ++k) {
        y += g.band;
        g.baselines[k] = static_cast<int>(y);
        y += g.band;
    }
    g.firstLead = firstLeadOfGroup(groupIndex);
    g.samplesPerColumn =
        std::max(1, static_cast<int>(d::printerSamplesPerColumn(speedIndex, pageWidth)));
    // Each column stands for samplesPerColumn samples, i.e. that many 1/800 s of paper travel.
    g.columnStep = g.samplesPerColumn * double(d::kSpeedMmPerS[speedIndex]) / d::kSampleRate * g.hp;
    return g;
}

QString headerText(const PrintJob& job) {
    return QStringLiteral(" %1   %2   %3   %4   %5 ")
        .arg(job.speedText, job.scaleText, job.patientName, job.date.left(10), job.time.left(8));
}

namespace {

class PagePrinter {
public:
    PagePrinter(QPainter& p, QPagedPaintDevice& dev, const PrintJob& job, const PageGeometry& g)
        : p_(p), dev_(dev), job_(job), g_(g),
          speed_(d::kSpeedMmPerS[d::clampSpeed(job.speedIndex)]),
          scale_(d::kScaleMmPerMv[d::clampScale(job.scaleIndex)]) {}

    bool run(int& pages) {
        QFont font = p_.font();
        font.setPointSize(10);
        p_.setFont(font);
        p_.setPen(QPen(Qt::black, 1, Qt::SolidLine));

        // Second labels: s0 .. lastLabel over the whole job.
        int count = 0;
        if (job_.all) {
            count = std::max(job_.durationSeconds, 0);
            label_ = 0;
        } else {
            count = job_.range.end - job_.range.begin + 1;
            label_ = job_.range.begin;
        }
        lastLabel_ = label_ + count;

        pages = 1;
        drawFurniture(true);
        // Later pages number on up to the recording's last second, whatever the range.
        lastLabel_ = std::max(job_.durationSeconds, 0);

        // The byte range to print.
        const std::size_t L = job_.data ? job_.length : 0;
        std::size_t start = 0;
        std::size_t total = L;
        if (!job_.all) {
            total = 0;
            if (job_.durationSeconds > 0) {
                const std::size_t perSecondRaw = L / std::size_t(job_.durationSeconds);
                const std::size_t bytesPerSecond = perSecondRaw / 16 * 16;
                start = std::size_t(job_.range.begin) * perSecondRaw / 16 * 16;
                total = std::size_t(job_.range.end - job_.range.begin) * bytesPerSecond;
            }
            start = std::min(start, L);
            total = std::min(total, L - start);
        }

        x_ = 20 * g_.hp;
        prevX_ = x_ - g_.columnStep;
        traceStyle();
        const int rows = g_.rows;
        for (int r = 0; r < rows; ++r)
            lines_[r].append(QPoint(int(prevX_), yOf(r, last_[leadOf(r)])));

        signal::SampleBlock block{};
        const double right = g_.pageWidth - 10 * g_.hp;
        for (std::size_t done = 0; done < total; done += signal::kBlockBytes) {
            const std::size_t chunk = std::min<std::size_t>(signal::kBlockBytes, total - done);
            const std::size_t offset = 2 * ((start + done) / 2);
            const std::size_t avail = std::min(chunk, L - std::min(offset, L));
            const int records = int(avail / signal::kRecordBytes);
            if (records <= 0)
                break;
            std::memcpy(block.data(), job_.data + offset, std::size_t(records) * 16);
            d::deriveLeads(block.data(), records, *derived_);
            const int columns =
                d::decimateAll(*derived_, float(g_.samplesPerColumn), records, *decimated_);
            if (columns <= 0)
                continue;
            // The chunk's columns together cover exactly its records' time on paper.
            const double step = double(records) * speed_ / d::kSampleRate * g_.hp / columns;
            for (int j = 0; j < columns; ++j) {
                for (int r = 0; r < rows; ++r)
                    lines_[r].append(QPoint(int(x_), yOf(r, (*decimated_)[leadOf(r)][j])));
                prevX_ = x_;
                x_ += step;
                if (!(right > x_)) {
                    flushLines();
                    if (!dev_.newPage())
                        return false;
                    ++pages;
                    // Keep the part of the column step that ran past the margin, so the trace
                    // stays aligned with the continued second labels.
                    x_ = 20 * g_.hp + (x_ - right);
                    prevX_ = x_ - step;
                    last_.fill(0);
                    drawFurniture(false);
                    traceStyle();
                    for (int r = 0; r < rows; ++r)
                        lines_[r].append(QPoint(int(prevX_), yOf(r, (*decimated_)[leadOf(r)][j])));
                }
            }
            for (int lead = 0; lead < 12; ++lead)
                last_[lead] = (*decimated_)[lead][columns - 1];
        }
        flushLines();
        return true;
    }

private:
    int leadOf(int row) const { return std::min(g_.firstLead + row, 11); }
    int yOf(int row, int value) const {
        return static_cast<int>(g_.baselines[row] - value * g_.gain);
    }

    void traceStyle() {
        p_.setPen(QPen(Qt::black, int(0.2 * g_.hp), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }

    void flushLines() {
        for (int r = 0; r < g_.rows; ++r) {
            if (lines_[r].size() > 1)
                p_.drawPolyline(lines_[r].constData(), int(lines_[r].size()));
            lines_[r].clear();
        }
    }

    // Text with its top at y, as the trace furniture is placed by its top edge.
    void textOut(int x, int y, const QString& text) {
        const QFontMetrics fm(p_.font(), &dev_);
        p_.drawText(x, y + fm.ascent(), text);
    }

    void drawGrid(int y) {
        p_.save();
        p_.setPen(QPen(Qt::black, int(0.08 * g_.hp), Qt::SolidLine));
        const double W = g_.pageWidth;
        const double H = g_.pageHeight;
        const int tileW = int(5 * g_.hp);
        const int tileH = int(H - 5 * g_.vp);
        QVector<QLine> lines;
        for (int t = 0; t < (W - 25 * g_.hp) / (5 * g_.hp); ++t) {
            const int x0 = int(5 * g_.hp * t + 15 * g_.hp);
            double yy = 0;
            for (int c = 0; c < (H - 15 * g_.vp) / (5 * g_.vp); ++c) {
                const int ly = y + int(yy);
                lines.append(QLine(x0, ly, x0 + tileW, ly));
                yy += 5 * g_.vp;
            }
            lines.append(QLine(x0, y, x0, y + tileH));
        }
        p_.drawLines(lines);
        p_.restore();
    }

    void drawSecondLabels(int y) {
        const double right = g_.pageWidth - 10 * g_.hp;
        for (int h = 0; label_ <= lastLabel_; ++h) {
            const double X = speed_ * g_.hp * h + 20 * g_.hp + carry_;
            if (X >= right) {
                carry_ = int(speed_ * g_.hp -
                             (right - (g_.hp * speed_ * (h - 1) + 20 * g_.hp + carry_)));
                return;
            }
            textOut(int(X), y, QStringLiteral("%1s").arg(label_));
            ++label_;
        }
    }

    void drawLeadLabelsAndCalibration() {
        p_.setPen(QPen(Qt::black, int(0.12 * g_.hp), Qt::SolidLine));
        for (int i = 0; i < g_.rows && i < 12; ++i) {
            const int B = g_.baselines[i];
            textOut(50, B, QString::fromUtf8(d::kLeadLabels[leadOf(i)]));
            if (i % 3 == 0) {
                const int top = int(B - scale_ * g_.vp);
                const QPoint mark[] = {{300, B},
                                       {int(3 * g_.hp + 300), B},
                                       {int(3 * g_.hp + 300), top},
                                       {int(5 * g_.hp + 300), top},
                                       {int(5 * g_.hp + 300), B},
                                       {int(8 * g_.hp + 300), B}};
                p_.drawPolyline(mark, 6);
            }
        }
    }

    void drawFurniture(bool firstPage) {
        p_.setPen(QPen(Qt::black, 1, Qt::SolidLine));
        if (job_.grid)
            drawGrid(firstPage ? int(4 * g_.vp) : int(4 * g_.vp * 0.98));
        textOut(int(15 * g_.hp), int(g_.vp), headerText(job_));
        drawSecondLabels(firstPage ? int(6 * g_.vp) : int(5 * g_.vp));
        drawLeadLabelsAndCalibration();
    }

    QPainter& p_;
    QPagedPaintDevice& dev_;
    const PrintJob& job_;
    const PageGeometry& g_;
    const int speed_;
    const int scale_;
    int label_ = 0;
    int lastLabel_ = 0;
    int carry_ = 0;
    double x_ = 0;
    double prevX_ = 0;
    std::array<std::int16_t, 12> last_{};
    std::array<QVector<QPoint>, 12> lines_;
    std::unique_ptr<d::DerivedLeads> derived_ = std::make_unique<d::DerivedLeads>();
    std::unique_ptr<d::DecimatedLeads> decimated_ = std::make_unique<d::DecimatedLeads>();
};

} // namespace

PrintResult printRecording(QPagedPaintDevice& device, const PrintJob& job) {
    PrintResult result;
    if (!job.all && (job.range.begin < 0 || job.range.end < job.range.begin)) {
        result.message = QStringLiteral("invalid print range");
        return result;
    }
    QPainter painter;
    if (!painter.begin(&device)) {
        result.message = QStringLiteral("the printer or output file cannot be opened");
        return result;
    }
    const PageGeometry g = pageGeometry(device.width(), device.height(), job.groupIndex,
                                        job.scaleIndex, job.speedIndex);
    PagePrinter printer(painter, device, job, g);
    int pages = 0;
    const bool ok = printer.run(pages);
    const bool ended = painter.end();
    result.ok = ok && ended;
    result.pages = pages;
    if (!result.ok)
        result.message = QStringLiteral("printing failed");
    return result;
}

PrintResult printToPdf(const QString& path, const PrintJob& job, int dpi) {
    PrintResult result;
    // Written beside the target and renamed over it only when complete, so a failed job never
    // leaves a truncated file where an earlier one stood.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.message = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return result;
    }
    {
        QPdfWriter writer(&file);
        writer.setResolution(dpi);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        writer.setCreator(QStringLiteral("Velkard"));
        result = printRecording(writer, job);
    }
    if (!result.ok) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.ok = false;
        result.message = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    return result;
}

} // namespace velkard::print
