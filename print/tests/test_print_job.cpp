// SPDX-License-Identifier: GPL-3.0-or-later
// The print job rendered to PDF and read back: text with pdftotext, pixels with pdftoppm.
#include "print/Paper.h"
#include "print/PrintJob.h"
#include "print/Report.h"
#include "print/tests/PdfTools.h"
#include "sim/SyntheticEcg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <random>
#include <sys/resource.h>

using namespace velkard::print;
using namespace velkard::print::test;

namespace {

int pulsesEachSecond(int sample) {
    return sample % 800 < 40 ? 681 : 0;
}
// A 1 mV pulse of 50 ms starting half way through each second (so each pulse has a rising edge).
int pulsesMidSecond(int sample) {
    return sample % 800 >= 400 && sample % 800 < 440 ? 681 : 0;
}
int flat(int) {
    return 0;
}
// Identical beats every 0.8 s: R waves of 1.5 mV, gaussian with sigma 8 ms, peaks on a sample.
int beats(int sample) {
    const double t = (sample % 640 - 200) / 800.0;
    return int(std::lround(1.5 * velkard::signal::kUnitsPerMillivolt *
                           std::exp(-t * t / (2 * 0.008 * 0.008))));
}

// The records as a recording's bytes (16 a record, little-endian).
std::vector<std::uint8_t> recordingOf(const std::vector<velkard::signal::SampleRecord>& records) {
    std::vector<std::uint8_t> out(records.size() * velkard::signal::kRecordBytes, 0);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t c = 0; c < velkard::signal::kChannels; ++c)
            velkard::signal::writeLe16(&out[i * velkard::signal::kRecordBytes + 2 * c],
                                       records[i].c[c]);
    return out;
}

// The paper of an A4 PDF page rasterised at dpi.
Paper a4(int dpi, bool landscape = false) {
    Paper p;
    p.pxPerMmX = p.pxPerMmY = dpi / 25.4;
    p.widthMm = landscape ? 297 : 210;
    p.heightMm = landscape ? 210 : 297;
    return p;
}

// The first dark row from the top within columns [x0, x1) and rows [y0, y1); -1 when none.
int topDark(const QImage& img, int x0, int x1, int y0, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (isDark(img, x, y))
                return y;
    return -1;
}

struct Rendered {
    QString pdf;
    PrintResult result;
};

class PrintJobTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::vector<std::uint8_t> bytes;

    PrintJob job(int seconds, int (*value)(int), int group = 3) {
        bytes = leadIIRecording(seconds, value);
        PrintJob j;
        j.data = bytes.data();
        j.length = bytes.size();
        j.durationSeconds = seconds;
        j.groupIndex = group;
        j.scaleIndex = 1;
        j.speedIndex = 2;
        j.grid = false;
        j.speedText = QStringLiteral("25 mm/s");
        j.scaleText = QStringLiteral("10 mm/mV");
        j.patientName = QStringLiteral("Иванов Пётр");
        j.date = QStringLiteral("05.03.2009");
        j.time = QStringLiteral("07:05:09");
        return j;
    }

    Rendered render(const PrintJob& j, int dpi, const QString& name = QStringLiteral("out.pdf")) {
        Rendered r;
        r.pdf = dir.filePath(name);
        r.result = printToPdf(r.pdf, j, dpi);
        EXPECT_TRUE(r.result.ok()) << r.result.message;
        return r;
    }
};

// Dark runs along one pixel row between two x positions, merged when closer than `gap` pixels;
// returns the first x of each merged group.
std::vector<int> groupStarts(const QImage& img, int y, int x0, int x1, int gap) {
    std::vector<int> starts;
    int lastDark = -100000;
    for (int x = x0; x < x1; ++x) {
        if (!isDark(img, x, y))
            continue;
        if (x - lastDark > gap)
            starts.push_back(x);
        lastDark = x;
    }
    return starts;
}

} // namespace

TEST(PrintGeometry, FirstLeadOfEachGroup) {
    const int expected[10] = {0, 1, 2, 0, 3, 0, 6, 9, 6, 0};
    for (int group = 0; group < 10; ++group)
        EXPECT_EQ(firstLeadOfGroup(group), expected[group]) << "group " << group;
}

TEST(PrintGeometry, SecondLabelsThinOutWhereTheyWouldTouch) {
    EXPECT_EQ(secondLabelStep(25, 4), 1);
    EXPECT_EQ(secondLabelStep(5, 4), 2); // 5 mm per second, 4 mm labels
    EXPECT_EQ(secondLabelStep(5, 9), 5); // "1000s"
    EXPECT_EQ(secondLabelStep(0.5, 4), 20);
}

TEST(PrintRange, AcceptsWholeSecondsWithinTheRecording) {
    const RangeCheck r = checkRange(QStringLiteral("2"), QStringLiteral(" 7 "), 10, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.range.begin, 2);
    EXPECT_EQ(r.range.end, 7);
    EXPECT_TRUE(checkRange(QStringLiteral("0"), QStringLiteral("0"), 0, true).ok);
    EXPECT_TRUE(checkRange(QStringLiteral("10"), QStringLiteral("10"), 10, false).ok);
}

TEST(PrintRange, RefusesWhatIsNotARange) {
    struct Case {
        const char* begin;
        const char* end;
    };
    const Case bad[] = {{"", ""},    {"", "3"},  {"a", "3"},  {"-1", "3"},      {"1.5", "3"},
                        {"1", "2x"}, {"5", "4"}, {"0", "11"}, {"99999999", "1"}};
    for (const Case& c : bad) {
        const RangeCheck r =
            checkRange(QString::fromUtf8(c.begin), QString::fromUtf8(c.end), 10, true);
        EXPECT_FALSE(r.ok) << c.begin << ".." << c.end;
        EXPECT_FALSE(r.message.isEmpty());
    }
    EXPECT_TRUE(checkRange(QStringLiteral("5"), QStringLiteral("4"), 10, false)
                    .message.contains(QStringLiteral("after")));
    EXPECT_TRUE(checkRange(QStringLiteral("0"), QStringLiteral("11"), 10, true)
                    .message.contains(QStringLiteral("10")));
}

TEST_F(PrintJobTest, HeaderLineCarriesSpeedScaleNameDateTimeAndFilters) {
    PrintJob j = job(2, flat);
    j.filters = {velkard::filter::Mains::Hz50, velkard::filter::HighPass::Hz005,
                 velkard::filter::LowPass::Hz40};
    const Rendered r = render(j, 150);
    const QString text = pdfText(r.pdf, 1).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("25 mm/s 10 mm/mV Иванов Пётр 05.03.2009 07:05:09 "
                                             "0,05–40 Гц ~50 Гц")))
        << text.toStdString();
    j.russian = false;
    EXPECT_TRUE(headerText(j).contains(QStringLiteral("0.05–40 Hz ~50 Hz")));
}

TEST_F(PrintJobTest, GridReachesThePrintableEdgesInOneColourOnEveryPage) {
    PrintJob j = job(20, flat, 1);
    j.grid = true;
    const Rendered r = render(j, 150);
    ASSERT_GE(r.result.value, 2);
    const double mm = 150 / 25.4;
    std::vector<int> colours[2];
    for (int page = 1; page <= 2; ++page) {
        const QImage img = rasterPage(r.pdf, page, 150);
        // Grid lines in the last 3 mm at the bottom and the right.
        int bottom = 0, right = 0;
        for (int x = 0; x < img.width(); ++x)
            for (int y = img.height() - int(3 * mm); y < img.height(); ++y)
                bottom += qGray(img.pixel(x, y)) < 250;
        for (int y = 0; y < img.height(); ++y)
            for (int x = img.width() - int(3 * mm); x < img.width(); ++x)
                right += qGray(img.pixel(x, y)) < 250;
        EXPECT_GT(bottom, img.width()) << page;
        EXPECT_GT(right, img.height()) << page;
        // The grey levels in an empty patch (only grid there).
        std::vector<int>& c = colours[page - 1];
        for (int y = int(200 * mm); y < int(260 * mm); ++y)
            for (int x = int(60 * mm); x < int(150 * mm); ++x) {
                const int g = qGray(img.pixel(x, y));
                if (g < 250 && std::find(c.begin(), c.end(), g) == c.end())
                    c.push_back(g);
            }
        std::sort(c.begin(), c.end());
        EXPECT_EQ(c.size(), 1u) << page;
    }
    EXPECT_EQ(colours[0], colours[1]);
    // Vertical lines 1 mm apart along a row between two horizontal lines.
    const QImage img = rasterPage(r.pdf, 1, 150);
    std::vector<int> grid;
    int last = -100;
    for (int x = int(30 * mm); x < int(190 * mm); ++x)
        if (qGray(img.pixel(x, int(222.5 * mm))) < 250) {
            if (x - last > 1)
                grid.push_back(x);
            last = x;
        }
    ASSERT_GE(grid.size(), 100u);
    EXPECT_NEAR(double(grid.back() - grid.front()) / double(grid.size() - 1) / mm, 1.0, 0.01);
    // Without the flag: no grid.
    j.grid = false;
    const QImage plain = rasterPage(render(j, 150, QStringLiteral("plain.pdf")).pdf, 1, 150);
    int marks = 0;
    for (int y = int(200 * mm); y < int(260 * mm); ++y)
        for (int x = int(60 * mm); x < int(150 * mm); ++x)
            marks += qGray(plain.pixel(x, y)) < 250;
    EXPECT_EQ(marks, 0);
}

// R waves of 1.5 mV drawn 1.5 times the calibration mark, every beat alike, at every speed and
// at 300 and 600 dots per inch.
class PaperAmplitude : public PrintJobTest,
                       public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PaperAmplitude, RWavesAreOneAndAHalfCalibrationMarksTall) {
    const auto [dpi, speedIndex] = GetParam();
    PrintJob j = job(6, beats, 1);
    j.speedIndex = speedIndex;
    const QImage img = rasterPage(render(j, dpi).pdf, 1, dpi);
    const Paper paper = a4(dpi);
    const PrintLayout l = printLayout(paper, j);
    const int B = int(paper.y(l.baselinesMm[0]));
    const int mark = topDark(img, int(paper.x(l.markXMm + 1.5)), int(paper.x(l.markXMm + 2)),
                             B - int(paper.y(15)), B + 1);
    ASSERT_GT(mark, 0);
    // Both measured to the top edge of their strokes, so the pen's half width is in both.
    const double markMm = (B - mark) / paper.pxPerMmY;
    EXPECT_NEAR(markMm, 10.0, 0.2);
    std::vector<int> tops;
    for (double t = 0.25; t < 6; t += 0.8) {
        const double x = l.x0Mm + t * l.mmPerSecond;
        if (x + 1 > l.xEndMm)
            break;
        tops.push_back(
            topDark(img, int(paper.x(x - 1)), int(paper.x(x + 1)), B - int(paper.y(25)), B));
    }
    ASSERT_GE(tops.size(), 2u);
    for (int top : tops) {
        const double r = (B - top) / paper.pxPerMmY;
        EXPECT_NEAR(r, 1.5 * markMm, 0.2 + 0.05);
        EXPECT_NEAR(top, tops[0], 1); // identical beats look identical
    }
}

INSTANTIATE_TEST_SUITE_P(Printers, PaperAmplitude,
                         ::testing::Values(std::make_pair(300, 0), std::make_pair(300, 1),
                                           std::make_pair(300, 2), std::make_pair(300, 3),
                                           std::make_pair(600, 0), std::make_pair(600, 3)));

// Rising edges of pulses at every whole second: one second of paper is the speed within 1 %,
// and the labels sit over their seconds.
class PaperSpeed : public PrintJobTest,
                   public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PaperSpeed, OneSecondIsTheSpeedWithinOnePercentAndLabelsSitOverTheirSeconds) {
    const auto [dpi, speedIndex] = GetParam();
    PrintJob j = job(40, pulsesMidSecond);
    j.speedIndex = speedIndex;
    j.russian = false; // "12s": one word a label
    const Rendered r = render(j, dpi);
    const Paper paper = a4(dpi);
    const PrintLayout l = printLayout(paper, j);
    for (int page = 1; page <= std::min(2, r.result.value); ++page) {
        const QImage img = rasterPage(r.pdf, page, dpi);
        const int y = int(paper.y(l.baselinesMm[1] - 5));
        const std::vector<int> xs =
            groupStarts(img, y, int(paper.x(l.x0Mm - 0.5)), int(paper.x(l.xEndMm)),
                        int(paper.x(std::min(3.0, l.mmPerSecond * 0.5))));
        ASSERT_GE(xs.size(), 3u) << page;
        const double perSecond = (xs.back() - xs.front()) / paper.pxPerMmX / double(xs.size() - 1);
        EXPECT_NEAR(perSecond, l.mmPerSecond, l.mmPerSecond * 0.01) << page;
        // The page's first second at the trace's start (page 2 starts mid-second when the page
        // holds a fractional number of seconds).
        const double pageStart = double((page - 1) * l.recordsPerPage) / 800.0;
        const double firstX =
            l.x0Mm + (std::ceil(pageStart - 0.5) + 0.5 - pageStart) * l.mmPerSecond;
        EXPECT_NEAR(xs.front() / paper.pxPerMmX, firstX - 0.1, 0.25) << page;
        // Labels: "Ns" with its left edge at second N (pdftotext reports points).
        int labels = 0;
        double lastX = -100;
        for (const Word& w : pdfWords(r.pdf, page)) {
            static const QRegularExpression re(QStringLiteral("^(\\d+)s$"));
            const auto m = re.match(w.text);
            if (!m.hasMatch() || w.yMin * 25.4 / 72 > 12)
                continue;
            const int second = m.captured(1).toInt();
            const double x = w.xMin * 25.4 / 72;
            EXPECT_NEAR(x, l.x0Mm + (second - pageStart) * l.mmPerSecond, 0.3) << second;
            EXPECT_GT(x, lastX + 3) << "labels touch at " << second;
            lastX = x;
            ++labels;
        }
        EXPECT_GE(labels, 2) << page;
    }
}

INSTANTIATE_TEST_SUITE_P(Printers, PaperSpeed,
                         ::testing::Values(std::make_pair(300, 0), std::make_pair(300, 1),
                                           std::make_pair(300, 2), std::make_pair(300, 3),
                                           std::make_pair(600, 2), std::make_pair(600, 3)));

TEST_F(PrintJobTest, MarksAndLabelsStayLeftOfTheTracesAtAnyResolution) {
    for (int dpi : {72, 150, 600, 2400}) {
        PrintJob j = job(1, flat, 9);
        QTemporaryDir d;
        const QString pdf = d.filePath(QStringLiteral("p.pdf"));
        ASSERT_TRUE(printToPdf(pdf, j, dpi).ok());
        const Paper paper = a4(150);
        const PrintLayout l = printLayout(paper, j);
        for (const Word& w : pdfWords(pdf, 1)) {
            const double y = w.yMin * 25.4 / 72;
            if (y < 12)
                continue; // header and second labels
            EXPECT_LT(w.xMin * 25.4 / 72, l.markXMm) << w.text.toStdString() << " at " << dpi;
        }
        // The last row's mark and trace are on the page at every resolution.
        const QImage img = rasterPage(pdf, 1, 150);
        const int B = int(paper.y(l.baselinesMm[11]));
        EXPECT_GT(topDark(img, int(paper.x(l.markXMm + 1.5)), int(paper.x(l.markXMm + 2)),
                          B - int(paper.y(12)), B + 2),
                  0)
            << dpi;
        EXPECT_TRUE(isDark(img, int(paper.x(l.x0Mm + 5)), B) ||
                    isDark(img, int(paper.x(l.x0Mm + 5)), B - 1))
            << dpi;
    }
}

TEST_F(PrintJobTest, A2RecordingsPrintAsTheReviewShowsThem) {
    // The first 8040 records carry all channels; after them c1 (lead II) alone. Lead I shows c0
    // there, i.e. nothing, as on screen; before, it is derived (c1 - c0, the pulses).
    PrintJob j = job(14, pulsesEachSecond, 3);
    j.kindA2 = true;
    j.speedIndex = 0; // 5 mm/s: the whole recording on one page
    const Rendered r = render(j, 150);
    const QImage img = rasterPage(r.pdf, 1, 150);
    const Paper paper = a4(150);
    const PrintLayout l = printLayout(paper, j);
    auto pulsesIn = [&](int row, double fromS, double toS) {
        const int y = int(paper.y(l.baselinesMm[row] - 5));
        return groupStarts(img, y, int(paper.x(l.x0Mm + fromS * 5)), int(paper.x(l.x0Mm + toS * 5)),
                           2)
            .size();
    };
    EXPECT_EQ(pulsesIn(0, 0.5, 9.5), 9u);   // lead I derived
    EXPECT_EQ(pulsesIn(0, 10.5, 13.9), 0u); // lead I = c0 = 0 after record 8040
    EXPECT_EQ(pulsesIn(1, 10.5, 13.9), 3u); // lead II goes on
}

TEST_F(PrintJobTest, RangeStartsTheTraceAtItsBeginning) {
    PrintJob j = job(10, pulsesMidSecond);
    j.all = false;
    j.range = {3, 6};
    j.russian = false; // labels "3s": one word each
    const Rendered r = render(j, 150);
    EXPECT_EQ(r.result.value, 1);
    QStringList words;
    for (const Word& w : pdfWords(r.pdf, 1))
        words << w.text;
    for (const char* s : {"3s", "4s", "5s", "6s"})
        EXPECT_TRUE(words.contains(QString::fromLatin1(s))) << s;
    EXPECT_FALSE(words.contains(QStringLiteral("7s")));
    EXPECT_FALSE(words.contains(QStringLiteral("2s")));
    const QImage img = rasterPage(r.pdf, 1, 150);
    const Paper paper = a4(150);
    const PrintLayout l = printLayout(paper, j);
    const std::vector<int> xs =
        groupStarts(img, int(paper.y(l.baselinesMm[1] - 5)), int(paper.x(l.x0Mm - 1)),
                    int(paper.x(l.xEndMm)), int(paper.x(3)));
    ASSERT_EQ(xs.size(), 3u); // seconds 3, 4 and 5
    EXPECT_NEAR(xs.front() / paper.pxPerMmX, l.x0Mm + 0.5 * l.mmPerSecond, 0.4);
}

TEST_F(PrintJobTest, EveryPageCarriesLabelsAndTheLastOneToTheEnd) {
    // 60 s at 25 mm/s: 187 mm = 7.48 s a page, 9 pages; at 50 mm/s 17.
    PrintJob j = job(60, flat, 9);
    j.russian = false; // labels "60s": one word each
    const Rendered slow = render(j, 150, QStringLiteral("a.pdf"));
    EXPECT_EQ(slow.result.value, 9);
    QStringList last;
    for (const Word& w : pdfWords(slow.pdf, 9))
        last << w.text;
    EXPECT_TRUE(last.contains(QStringLiteral("60s"))) << last.join(' ').toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("60s")));
    j.speedIndex = 3;
    const Rendered fast = render(j, 150, QStringLiteral("b.pdf"));
    EXPECT_EQ(fast.result.value, 17);
    EXPECT_EQ(pdfPages(fast.pdf), 17);
}

TEST_F(PrintJobTest, ReportIsOneLandscapePageWithTheTwelveLeadsAndARhythmStrip) {
    bytes = leadIIRecording(20, beats);
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    rj.fromSecond = 15; // moved back to 10 so ten seconds fit
    rj.russian = true;
    rj.patientName = QStringLiteral("Иванов Пётр");
    rj.birthDate = QStringLiteral("01.02.1960");
    rj.date = QStringLiteral("05.03.2009");
    rj.time = QStringLiteral("07:05:09");
    rj.filters = {velkard::filter::Mains::Hz50, velkard::filter::HighPass::Hz005,
                  velkard::filter::LowPass::Hz40};
    rj.extraHeaderLines << QStringLiteral("ЧСС 75 уд/мин");
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const PrintResult res = printReportToPdf(pdf, rj, 300);
    ASSERT_TRUE(res.ok()) << res.message;
    // The traces, then the measurements lead by lead on a page of their own.
    EXPECT_EQ(pdfPages(pdf), 2);
    EXPECT_EQ(res.value, 2);
    EXPECT_TRUE(runTool(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("842 x 595")));
    const QString text = pdfText(pdf, 1).simplified();
    for (const char* s : {"ЭКГ в 12 отведениях", "Иванов Пётр", "01.02.1960", "05.03.2009 07:05:09",
                          "10–20 с", "25 мм/с 10 мм/мВ", "0,05–40 Гц ~50 Гц", "ЧСС 75 уд/мин"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s << " in " << text.toStdString();
    QStringList words;
    for (const Word& w : pdfWords(pdf, 1))
        words << (w.text.endsWith(QLatin1Char(':')) ? w.text.chopped(1) : w.text);
    for (const char* lead : {"I", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"})
        EXPECT_EQ(words.count(QString::fromLatin1(lead)), 1) << lead;
    EXPECT_EQ(words.count(QStringLiteral("II")), 2); // its column and the rhythm strip
    // Only lead II's channel carries a signal: III (the flat channel itself) says so by its name,
    // and only it; the leads derived from II are clean.
    EXPECT_TRUE(text.contains(QString::fromUtf8("III: отключено"))) << text.toStdString();
    EXPECT_EQ(text.count(QString::fromUtf8("отключено")), 1) << text.toStdString();
    // The rhythm strip: R waves every 0.8 s = 20 mm, 1.5 calibration marks tall (unfiltered: the
    // filters round these narrow R waves off by a few per cent, as they should).
    rj.filters = {};
    const QString raw = dir.filePath(QStringLiteral("raw.pdf"));
    ASSERT_TRUE(printReportToPdf(raw, rj, 300).ok());
    const QImage img = rasterPage(raw, 1, 300);
    const double mm = 300 / 25.4;
    int rowTop = -1;
    // Find the strip's baseline from its calibration mark's foot (4 mm from the left edge).
    for (int y = img.height() - 1; y > img.height() / 2 && rowTop < 0; --y)
        if (isDark(img, int(4.5 * mm), y))
            rowTop = y;
    ASSERT_GT(rowTop, 0);
    const int B = rowTop; // the lowest dark pixel of the mark: the baseline's lower edge
    const int markTop = topDark(img, int(6 * mm), int(8 * mm), B - int(30 * mm), B);
    const std::vector<int> peaks =
        groupStarts(img, B - int(8 * mm), int(19 * mm), int(280 * mm), int(3 * mm));
    ASSERT_GE(peaks.size(), 10u);
    const double spacing = (peaks.back() - peaks.front()) / mm / double(peaks.size() - 1);
    EXPECT_NEAR(spacing, 20.0, 0.2);
    for (int p : peaks) {
        const int top = topDark(img, p - int(1 * mm), p + int(1 * mm), B - int(30 * mm), B);
        EXPECT_NEAR(double(B - top), 1.5 * double(B - markTop), 0.2 * mm + 0.5 * (0.2 * mm));
    }
}

// The header's measurements, read back from the PDF's text, against the synthetic ECG's truth.
TEST_F(PrintJobTest, ReportHeaderCarriesTheMeasurementsOfItsTenSeconds) {
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 75;
    params.beat.prMs = 170;
    params.beat.qrsMs = 100;
    params.beat.qtMs = 380;
    params.beat.qrsAxis = 30;
    params.noise.mainsHz = 50;
    params.noise.whiteMv = 0.02;
    const auto records =
        velkard::sim::SyntheticEcg::records(7, params, 30 * velkard::signal::kRecordsPerSecond);
    bytes = recordingOf(records);
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    rj.fromSecond = 12;
    rj.russian = false;
    const QString pdf = dir.filePath(QStringLiteral("measured.pdf"));
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    const QString text = pdfText(pdf, 1).simplified();
    auto value = [&](const QString& pattern) {
        const QRegularExpressionMatch m = QRegularExpression(pattern).match(text);
        EXPECT_TRUE(m.hasMatch()) << pattern.toStdString() << " in " << text.toStdString();
        return m.hasMatch() ? m.captured(1).toDouble() : -1000.0;
    };
    EXPECT_NEAR(value(QStringLiteral("HR (\\d+) bpm")), 75, 1);
    EXPECT_NEAR(value(QStringLiteral("PR (\\d+) ms")), 170, 10);
    EXPECT_NEAR(value(QStringLiteral("QRS (\\d+) ms")), 100, 10);
    EXPECT_NEAR(value(QStringLiteral("QT (\\d+) ms")), 380, 20);
    EXPECT_NEAR(value(QStringLiteral("Axes P/QRS/T [-\\d]+/(-?\\d+)/")), 30, 10);
    EXPECT_TRUE(text.contains(QStringLiteral("QTc"))) << text.toStdString();

    // Russian header; without measurements the header has none of them.
    rj.russian = true;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    EXPECT_TRUE(pdfText(pdf, 1).contains(QString::fromUtf8("уд/мин")));
    rj.measurements = false;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    EXPECT_FALSE(pdfText(pdf, 1).contains(QStringLiteral("QRS")));
}

namespace {

// The records as a recording's bytes, with 0.4 mV of white noise (muscle) added to one channel.
std::vector<std::uint8_t> withNoiseIn(std::size_t channel, unsigned seed,
                                      const std::vector<velkard::signal::SampleRecord>& records) {
    std::vector<std::uint8_t> out(records.size() * velkard::signal::kRecordBytes, 0);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 0.4 * velkard::signal::kUnitsPerMillivolt);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t c = 0; c < velkard::signal::kChannels; ++c) {
            const double v = records[i].c[c] + (c == channel ? noise(rng) : 0.0);
            velkard::signal::writeLe16(&out[i * velkard::signal::kRecordBytes + 2 * c],
                                       std::int16_t(std::clamp(v, -20000.0, 20000.0)));
        }
    return out;
}

} // namespace

// A lead whose electrode picks up muscle noise says so by its name on the report, in the report's
// language, and the clean leads say nothing.
TEST_F(PrintJobTest, ANoisyLeadSaysSoByItsNameOnTheReport) {
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 70;
    constexpr std::size_t kV4Channel = 5; // channels III, II, V1..V6
    bytes = withNoiseIn(
        kV4Channel, 11,
        velkard::sim::SyntheticEcg::records(5, params, 12 * velkard::signal::kRecordsPerSecond));
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    for (const bool russian : {false, true}) {
        rj.russian = russian;
        const QString pdf = dir.filePath(QStringLiteral("noisy.pdf"));
        ASSERT_TRUE(printReportToPdf(pdf, rj, 150).ok());
        const QString text = pdfText(pdf, 1).simplified();
        const QString said = QString::fromUtf8(russian ? "V4: шум" : "V4: noisy");
        EXPECT_TRUE(text.contains(said)) << text.toStdString();
        for (const char* other : {"V3:", "V5:", "II:", "aVF:"})
            EXPECT_FALSE(text.contains(QLatin1String(other))) << other;
    }
}

// With the left arm's electrode off (III's channel at the amplifier's limit), I, III, aVR, aVL,
// aVF and the chest leads are off: the report names them so and draws a dash for each. Their
// derivation wraps from rail to rail, and drawn it crossed the whole page with vertical strokes,
// over lead II and the header; II is still drawn.
TEST_F(PrintJobTest, TheReportDrawsADashForALeadThatIsOff) {
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 70;
    auto records =
        velkard::sim::SyntheticEcg::records(4, params, 12 * velkard::signal::kRecordsPerSecond);
    for (auto& r : records)
        r.c[0] = 32767;
    bytes = recordingOf(records);
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    rj.grid = false;
    rj.russian = false;
    const QString pdf = dir.filePath(QStringLiteral("off.pdf"));
    ASSERT_TRUE(printReportToPdf(pdf, rj, 100).ok());
    // pdftotext gives the font's "ff" ligature as one character.
    const QString text = pdfText(pdf, 1).simplified().replace(QChar(0xFB00), QStringLiteral("ff"));
    for (const char* off : {"I: off", "III: off", "aVF: off", "V1: off", "V6: off"})
        EXPECT_TRUE(text.contains(QLatin1String(off))) << off << ": " << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1String(" II: off")));
    // No column of the page is dark over half of its height; lead II's rhythm strip (the
    // bottom fifth of the page) still has ink.
    const QImage img = rasterPage(pdf, 1, 100);
    int tallest = 0, rhythmInk = 0;
    for (int x = 0; x < img.width(); ++x) {
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            dark += isDark(img, x, y);
        tallest = std::max(tallest, dark);
        for (int y = img.height() * 4 / 5; y < img.height(); ++y)
            rhythmInk += isDark(img, x, y);
    }
    EXPECT_LT(tallest, img.height() / 2);
    EXPECT_GT(rhythmInk, img.width() / 2);
}

// The report's second page gives every lead's Q, R, S, ST and T as the synthetic beat made them,
// in the language's notation; a noisy lead says so and shows no values, a lead the recording
// lacks says that instead; without beats there is no such page.
TEST_F(PrintJobTest, TheSecondPageTablesEveryLeadsWavesAsTheyWereMade) {
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 65;
    params.beat.chestQ[4] = 0.30;  // V5: a Q of 0.30 mV, 18 ms wide (a fifth of the 90-ms QRS)
    params.beat.chestR[3] = 1.60;  // V4
    params.beat.chestT[0] = -0.30; // V1: an inverted T
    constexpr std::size_t kV2Channel = 3; // channels III, II, V1..V6
    bytes = withNoiseIn(
        kV2Channel, 5,
        velkard::sim::SyntheticEcg::records(9, params, 12 * velkard::signal::kRecordsPerSecond));
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    rj.present[velkard::signal::StandardLeadV6] = false;
    // The cells right of a lead's name on its line: Q ms, Q, R, S, R', ST J, J+60, J+80, T,
    // area, and the quality words of a lead that has any.
    auto rowOf = [](const std::vector<Word>& words, const char* lead) {
        QStringList cells;
        for (const Word& name : words) {
            if (name.text != QString::fromUtf8(lead) || name.xMin > 40)
                continue;
            std::vector<Word> line;
            for (const Word& w : words)
                if (std::abs(w.yMin - name.yMin) < 2 && w.xMin > name.xMin)
                    line.push_back(w);
            std::sort(line.begin(), line.end(),
                      [](const Word& a, const Word& b) { return a.xMin < b.xMin; });
            for (const Word& w : line)
                cells << w.text;
        }
        return cells;
    };
    auto mv = [](const QString& cell) {
        return QString(cell).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
    };
    for (const bool russian : {false, true}) {
        rj.russian = russian;
        const QString pdf = dir.filePath(QStringLiteral("table.pdf"));
        const PrintResult res = printReportToPdf(pdf, rj, 150);
        ASSERT_TRUE(res.ok()) << res.message;
        ASSERT_EQ(pdfPages(pdf), 2);
        const QString page = pdfText(pdf, 2);
        EXPECT_TRUE(page.contains(QString::fromUtf8(russian ? "Отведение" : "Lead")));
        const std::vector<Word> words = pdfWords(pdf, 2);
        const QStringList v5 = rowOf(words, "V5"), v4 = rowOf(words, "V4"), v1 = rowOf(words, "V1");
        ASSERT_EQ(v5.size(), 10) << page.toStdString();
        EXPECT_NEAR(v5[0].toDouble(), 18, 6) << v5.join(' ').toStdString();
        EXPECT_NEAR(mv(v5[1]), 0.30, 0.05);
        EXPECT_NEAR(mv(v4[2]), 1.60, 0.08) << v4.join(' ').toStdString();
        EXPECT_NEAR(mv(v1[8]), -0.30, 0.05) << v1.join(' ').toStdString();
        for (const QStringList& row : {v5, v4, v1})
            EXPECT_NEAR(mv(row[5]), 0.0, 0.05); // no ST deviation was made
        // Decimal commas in Russian, points in English.
        EXPECT_EQ(v5[1].contains(QLatin1Char(',')), russian) << v5[1].toStdString();
        // Noisy V2: named so, nothing measured in it.
        const QStringList v2 = rowOf(words, "V2");
        EXPECT_EQ(v2, QStringList(10, QString::fromUtf8("—")) +
                          QStringList{QString::fromUtf8(russian ? "шум" : "noisy")});
        const QStringList v6 = rowOf(words, "V6");
        EXPECT_EQ(v6, QStringList(10, QString::fromUtf8("—")) +
                          QString::fromUtf8(russian ? "нет в записи" : "not recorded").split(' '));
    }
    // A flat recording has no beats to measure: the traces' page alone.
    bytes.assign(bytes.size(), 0);
    const QString flat = dir.filePath(QStringLiteral("flat.pdf"));
    const PrintResult res = printReportToPdf(flat, rj, 100);
    ASSERT_TRUE(res.ok()) << res.message;
    EXPECT_EQ(pdfPages(flat), 1);
    EXPECT_EQ(res.value, 1);
}

TEST_F(PrintJobTest, TheReportPrintsThePhysiciansStatementsAndTheConfirmation) {
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 70;
    params.beat.prMs = 240; // first-degree AV block: a statement the program makes
    const auto records =
        velkard::sim::SyntheticEcg::records(3, params, 12 * velkard::signal::kRecordsPerSecond);
    bytes = recordingOf(records);
    // pdftotext gives the "fi" of the font as its ligature.
    auto pageText = [](const QString& file) {
        return pdfText(file, 1).replace(QChar(0xFB01), QStringLiteral("fi")).simplified();
    };
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    const QString pdf = dir.filePath(QStringLiteral("confirmed.pdf"));
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    const QString machine = pageText(pdf);
    ASSERT_TRUE(machine.contains(QString::fromUtf8("Неподтверждённый отчёт:")))
        << machine.toStdString();
    const auto said = velkard::interpret::interpretRecording(bytes, 0, 8000);
    ASSERT_FALSE(said.statements.empty());

    velkard::interpret::Report report =
        velkard::interpret::draftReport(said.statements, "01.02.2026 10:00:00", 0, 8000);
    velkard::interpret::editStatement(report, 0, "Ритм синусовый, правильный",
                                      velkard::interpret::Language::Russian);
    velkard::interpret::addFreeText(report, "Сравнить с ЭКГ от 01.02.2025");
    rj.physicianReport = report;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    QString text = pageText(pdf);
    EXPECT_TRUE(text.contains(QString::fromUtf8("Неподтверждённый отчёт:"))) << "not confirmed yet";
    EXPECT_TRUE(text.contains(QString::fromUtf8("Ритм синусовый, правильный (изменено врачом)")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("Сравнить с ЭКГ от 01.02.2025")));
    EXPECT_FALSE(text.contains(QString::fromUtf8("Подтверждено")));

    velkard::interpret::confirmReport(report, "Иванова А. П.", "01.02.2026 11:02:13");
    rj.physicianReport = report;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    text = pageText(pdf);
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("Подтверждено: Иванова А. П., 01.02.2026 11:02:13")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromUtf8("Неподтверждённый"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromUtf8("(изменено врачом)")));

    rj.russian = false;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    text = pageText(pdf);
    EXPECT_TRUE(text.contains(QString::fromUtf8("Confirmed: Иванова А. П., 01.02.2026 11:02:13")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("(edited by the physician)")));
    EXPECT_FALSE(text.contains(QStringLiteral("Unconfirmed")));
    // A statement the physician struck out is not printed.
    velkard::interpret::removeStatement(report, 0);
    rj.physicianReport = report;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    text = pageText(pdf);
    EXPECT_FALSE(text.contains(QString::fromUtf8("Ритм синусовый, правильный")));
    EXPECT_TRUE(text.contains(QStringLiteral("Unconfirmed report:")));

    // A line longer than the page (here a physician's free text; a statement with a long reason
    // ran off the page's edge) is wrapped: every word of it starts on the page.
    QStringList longText;
    for (int i = 0; i < 60; ++i)
        longText << QStringLiteral("word%1").arg(i);
    velkard::interpret::addFreeText(report, longText.join(QLatin1Char(' ')).toStdString());
    rj.physicianReport = report;
    ASSERT_TRUE(printReportToPdf(pdf, rj, 300).ok());
    QSet<QString> onPage;
    for (const Word& w : pdfWords(pdf, 1))
        if (w.xMin < 842 - 8) // A4 landscape is 842 points wide
            onPage.insert(w.text);
    for (const QString& w : longText)
        EXPECT_TRUE(onPage.contains(w)) << w.toStdString();
}

TEST_F(PrintJobTest, RulerAndNumbersFollowTheLanguageOnEveryPage) {
    // The pages of a recording: Russian second labels "N с", never "Ns"; English "Ns".
    PrintJob j = job(12, pulsesMidSecond);
    j.filters.highPass = velkard::filter::HighPass::Hz005;
    j.filters.lowPass = velkard::filter::LowPass::Hz150;
    static const QRegularExpression latinSeconds(QStringLiteral("\\b\\d+s\\b"));
    static const QRegularExpression cyrillicSeconds(
        QString::fromUtf8("\\b(\\d+) ?с")); // pdftotext may drop the space
    for (bool russian : {true, false}) {
        j.russian = russian;
        const Rendered r =
            render(j, 150, russian ? QStringLiteral("ru.pdf") : QStringLiteral("en.pdf"));
        const QString text = pdfText(r.pdf, 1).simplified();
        EXPECT_EQ(text.contains(latinSeconds), !russian) << text.toStdString();
        int labels = 0;
        for (auto it = cyrillicSeconds.globalMatch(text); it.hasNext(); it.next())
            ++labels;
        EXPECT_EQ(labels >= 5, russian) << text.toStdString();
        // One notation for the filter's decimals beside the header's other numbers.
        EXPECT_TRUE(text.contains(russian ? QString::fromUtf8("0,05–150 Гц")
                                          : QStringLiteral("0.05–150 Hz")))
            << text.toStdString();
    }

    // The report header: every decimal number in the language's notation, the date as it is.
    velkard::sim::EcgParameters params;
    params.beat.rMv = 1.3;
    params.beat.chestR = {0.25, 0.5, 0.8, 1.3, 1.77, 0.9};
    params.beat.chestS = {1.03, 1.3, 0.8, 0.4, 0.2, 0.1};
    params.beat.irregularity = 0.2; // irregular: a reason with a ratio of two decimals
    const auto records =
        velkard::sim::SyntheticEcg::records(3, params, 20 * velkard::signal::kRecordsPerSecond);
    bytes = recordingOf(records);
    ReportJob rj;
    rj.data = bytes.data();
    rj.length = bytes.size();
    rj.filters = j.filters;
    rj.date = QStringLiteral("05.03.2009");
    rj.birthDate = QStringLiteral("01.02.1950");
    static const QRegularExpression point(QStringLiteral("\\d\\.\\d"));
    static const QRegularExpression comma(QStringLiteral("\\d,\\d"));
    static const QRegularExpression date(QStringLiteral("\\d\\d\\.\\d\\d\\.\\d{4}"));
    for (bool russian : {true, false}) {
        rj.russian = russian;
        const QString header =
            (reportHeaderLeft(rj) + reportHeaderRight(rj)).join(QLatin1Char('\n'));
        QString withoutDates = header;
        withoutDates.remove(date);
        ASSERT_TRUE(header.contains(QStringLiteral("SV1+RV5"))) << header.toStdString();
        EXPECT_FALSE(withoutDates.contains(russian ? point : comma)) << header.toStdString();
        EXPECT_TRUE(withoutDates.contains(russian ? comma : point)) << header.toStdString();
        // SV1+RV5 reads back as the synthetic beat's S in V1 plus R in V5 (2.8 mV).
        const auto m =
            QRegularExpression(QStringLiteral("SV1\\+RV5 (\\d+)[.,](\\d\\d)")).match(header);
        ASSERT_TRUE(m.hasMatch());
        EXPECT_NEAR(m.captured(1).toDouble() + m.captured(2).toDouble() / 100, 2.8, 0.15);
    }
}

TEST_F(PrintJobTest, UnwritableOutputFailsAndKeepsAnEarlierFile) {
    const QString target = dir.filePath(QStringLiteral("kept.pdf"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    PrintJob j = job(1, flat);
    const PrintResult bad = printToPdf(dir.filePath(QStringLiteral("missing/out.pdf")), j, 150);
    EXPECT_FALSE(bad.ok());
    EXPECT_FALSE(bad.message.empty());
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("earlier"));
}

// The PDF the print folder writes itself shows what Qt's engine draws for the same job: the same
// pages, texts (Cyrillic header with the filters, labels, an absent lead's dash) and, rasterised,
// the same pixels.
TEST_F(PrintJobTest, TheWrittenPdfShowsWhatQtsEngineDraws) {
    PrintJob j = job(20, beats, 9);
    j.grid = true;
    j.present[4] = false;
    j.filters = {velkard::filter::Mains::Hz50, velkard::filter::HighPass::Hz005,
                 velkard::filter::LowPass::Hz40};
    const Rendered own = render(j, 600, QStringLiteral("own.pdf"));
    const QString qt = dir.filePath(QStringLiteral("qt.pdf"));
    const PrintResult viaQt = writePdf(qt, 600, QPageLayout::Portrait,
                                       [&](QPagedPaintDevice& d) { return printRecording(d, j); });
    ASSERT_TRUE(viaQt.ok()) << viaQt.message;
    ASSERT_EQ(own.result.value, viaQt.value);
    ASSERT_EQ(pdfPages(own.pdf), pdfPages(qt));
    for (int page = 1; page <= viaQt.value; ++page) {
        SCOPED_TRACE(page);
        const QString text = pdfText(own.pdf, page);
        EXPECT_EQ(text, pdfText(qt, page));
        EXPECT_TRUE(text.contains(QStringLiteral("Иванов Пётр")));
        EXPECT_TRUE(text.contains(QStringLiteral("—")));
        const QImage a = rasterPage(own.pdf, page, 300);
        const QImage b = rasterPage(qt, page, 300);
        ASSERT_EQ(a.size(), b.size());
        int differing = 0;
        int ink = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                differing += a.pixelColor(x, y) != b.pixelColor(x, y);
                ink += isDark(b, x, y);
            }
        EXPECT_GT(ink, 10000);
        EXPECT_EQ(differing, 0);
    }
}

// A job cancelled part way, and one whose writes are cut off by a file-size limit (as by a full
// disk), fail and leave the earlier file under the name as it was, and no temporary beside it.
TEST_F(PrintJobTest, CancelledOrCutOffPdfKeepsTheEarlierFile) {
    const QString target = dir.filePath(QStringLiteral("kept.pdf"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    PrintJob j = job(120, beats, 9);
    j.grid = true;
    int asked = 0;
    j.progress = [&asked](int done, int) {
        ++asked;
        return done < 5;
    };
    const PrintResult cancelled = printToPdf(target, j, 300);
    EXPECT_EQ(cancelled.code, velkard::ErrorCode::Cancelled);
    EXPECT_EQ(cancelled.value, 5);
    EXPECT_EQ(asked, 6);

    j.progress = nullptr;
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = before;
    limit.rlim_cur = 32 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const PrintResult cut = printToPdf(target, j, 300);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(cut.code, velkard::ErrorCode::CannotWrite);
    EXPECT_NE(cut.message.find("cannot write"), std::string::npos) << cut.message;

    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("earlier"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.pdf"});
    // The same job without the limit is whole.
    const PrintResult whole = printToPdf(target, j, 300);
    ASSERT_TRUE(whole.ok()) << whole.message;
    EXPECT_EQ(pdfPages(target), whole.value);
    EXPECT_GT(QFileInfo(target).size(), 32 * 1024);
}

// The points of a trace leave out only points on the straight line between their neighbours:
// a flat line is its two ends, a ramp of one unit per column its two ends, and the beats keep
// every peak (each dropped point lies on the segment of the points kept around it).
TEST(TracePoints, LeaveOutOnlyPointsOnAStraightLine) {
    const Paper paper = a4(600);
    TraceGeometry g;
    g.x0Mm = 20;
    g.xEndMm = 200;
    g.baselineMm = 50;
    // At 25 mm/s a 0.1 mm column holds 3.2 samples.
    std::vector<std::int16_t> flatLine(8000, 17);
    const auto flatPoints = tracePoints(paper, g, flatLine.data(), flatLine.size());
    ASSERT_EQ(flatPoints.size(), 2u);
    EXPECT_EQ(flatPoints.front(), (TracePoint{0, 17}));
    EXPECT_EQ(flatPoints.back().value, 17);
    // 2500 columns of samples, cut at the strip's end: 180 mm of 0.1 mm columns after the first.
    EXPECT_EQ(flatPoints.back().column, 1800);

    // A peak in the middle of the flat line: up and down again, nothing merged across it.
    flatLine[4000] = 900;
    const auto peaked = tracePoints(paper, g, flatLine.data(), flatLine.size());
    const auto top = std::max_element(peaked.begin(), peaked.end(),
                                      [](auto a, auto b) { return a.value < b.value; });
    ASSERT_NE(top, peaked.end());
    EXPECT_EQ(top->value, 900);
    EXPECT_EQ(peaked.size(), 5u); // start, foot, peak, foot, end
}

// A report cancelled at any of its steps writes no PDF and leaves an earlier file as it was.
TEST_F(PrintJobTest, ACancelledReportWritesNoPdf) {
    bytes = leadIIRecording(20, beats);
    ReportJob job;
    job.data = bytes.data();
    job.length = bytes.size();
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    {
        QFile earlier(path);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
    }
    int steps = 0;
    job.progress = [&steps](int, int) { return ++steps < 1000; };
    ASSERT_TRUE(printReportToPdf(dir.filePath(QStringLiteral("whole.pdf")), job, 300).ok());
    const int all = steps;
    EXPECT_GT(all, 13); // the header, the leads, thirteen strips
    for (int stopAt = 1; stopAt < all; ++stopAt) {
        int step = 0;
        job.progress = [&step, stopAt](int, int) { return ++step < stopAt; };
        const PrintResult r = printReportToPdf(path, job, 300);
        EXPECT_EQ(r.code, velkard::ErrorCode::Cancelled) << stopAt;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("earlier")) << stopAt;
    }
}
