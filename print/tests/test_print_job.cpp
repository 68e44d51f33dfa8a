// SPDX-License-Identifier: GPL-3.0-or-later
// The print job rendered to PDF and read back: text with pdftotext, pixels with pdftoppm.
#include "print/PrintJob.h"
#include "print/tests/PdfTools.h"

#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace velkard::print;
using namespace velkard::print::test;

namespace {

int pulsesEachSecond(int sample) {
    return sample % 800 < 40 ? 681 : 0;
}
int flat(int) {
    return 0;
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
        EXPECT_TRUE(r.result.ok) << r.result.message.toStdString();
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

TEST(PrintGeometry, A4PageAt600DotsPerInch) {
    const PageGeometry g = pageGeometry(4960, 7016, 9, 1, 2);
    EXPECT_NEAR(g.hp, 23.62, 0.01);
    EXPECT_NEAR(g.vp, 23.62, 0.01);
    EXPECT_EQ(g.rows, 12);
    EXPECT_EQ(g.band, 292);
    EXPECT_EQ(g.baselines[0], 410);
    EXPECT_EQ(g.baselines[1], int(5 * g.vp + 3 * 292));
    EXPECT_EQ(g.samplesPerColumn, 6);
    // Six samples of 1/800 s at 25 mm/s: 0.1875 mm of paper per column.
    EXPECT_NEAR(g.columnStep / g.hp, 0.1875, 1e-9);
    // One millivolt (681.3 units) is as tall as the calibration mark: scale millimetres.
    EXPECT_NEAR(681.3 * g.gain / g.vp, 10.0, 0.01);
}

TEST(PrintGeometry, FirstLeadOfEachGroup) {
    const int expected[10] = {0, 1, 2, 0, 3, 0, 6, 9, 6, 0};
    for (int group = 0; group < 10; ++group)
        EXPECT_EQ(firstLeadOfGroup(group), expected[group]) << "group " << group;
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

TEST_F(PrintJobTest, HeaderLineCarriesSpeedScaleNameDateAndTime) {
    const Rendered r = render(job(2, flat), 150);
    const QString text = pdfText(r.pdf, 1).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("25 mm/s 10 mm/mV Иванов Пётр 05.03.2009 07:05:09")))
        << text.toStdString();
    EXPECT_EQ(headerText(job(1, flat)),
              QStringLiteral(" 25 mm/s   10 mm/mV   Иванов Пётр   05.03.2009   07:05:09 "));
}

TEST_F(PrintJobTest, GridFollowsTheFlagAndHasFiveMillimetreSquares) {
    PrintJob j = job(2, flat, 1);
    j.grid = true;
    const QImage withGrid = rasterPage(render(j, 300, QStringLiteral("grid.pdf")).pdf, 1, 300);
    j.grid = false;
    const QImage without = rasterPage(render(j, 300, QStringLiteral("nogrid.pdf")).pdf, 1, 300);
    const double mm = 300 / 25.4;
    // A patch well away from text, labels, marks and the single trace row.
    int darkWith = 0;
    int darkWithout = 0;
    for (int y = int(200 * mm); y < int(260 * mm); ++y)
        for (int x = int(60 * mm); x < int(150 * mm); ++x) {
            darkWith += isDark(withGrid, x, y);
            darkWithout += isDark(without, x, y);
        }
    EXPECT_GT(darkWith, 1000);
    EXPECT_EQ(darkWithout, 0);
    // Vertical grid lines along a row between two horizontal lines: 5 mm apart.
    const std::vector<int> xs =
        groupStarts(withGrid, int(222.5 * mm), int(30 * mm), int(190 * mm), 3);
    ASSERT_GE(xs.size(), 20u);
    const double spacing = double(xs.back() - xs.front()) / double(xs.size() - 1) / mm;
    EXPECT_NEAR(spacing, 5.0, 0.05);
    // Horizontal lines down a column between two vertical lines: 5 mm apart.
    std::vector<int> ys;
    int last = -100;
    for (int y = int(160 * mm); y < int(280 * mm); ++y) // below the one trace row
        if (isDark(withGrid, xs[4] + int(2.5 * mm), y)) {
            if (y - last > 3)
                ys.push_back(y);
            last = y;
        }
    ASSERT_GE(ys.size(), 20u);
    EXPECT_NEAR(double(ys.back() - ys.front()) / double(ys.size() - 1) / mm, 5.0, 0.05);
}

TEST_F(PrintJobTest, CalibrationPulseIsOneMillivoltTall) {
    for (int scale = 0; scale < 3; ++scale) {
        PrintJob j = job(1, flat, 1);
        j.scaleIndex = scale;
        const QImage img =
            rasterPage(render(j, 300, QStringLiteral("cal%1.pdf").arg(scale)).pdf, 1, 300);
        const PageGeometry g = pageGeometry(img.width(), img.height(), 1, scale, 2);
        const int B = g.baselines[0];
        // Down the middle of the pulse's top: the top edge is scale mm above the baseline.
        const int x = int(4 * g.hp + 300);
        int top = -1;
        for (int y = B - int(30 * g.vp); y <= B; ++y)
            if (isDark(img, x, y)) {
                top = y;
                break;
            }
        ASSERT_GE(top, 0);
        const int heightMm[3] = {5, 10, 20};
        EXPECT_NEAR((B - top) / g.vp, heightMm[scale], 0.25) << "scale " << scale;
        // The base line runs on to 8 mm from the mark's start.
        EXPECT_TRUE(isDark(img, int(7 * g.hp + 300), B) || isDark(img, int(7 * g.hp + 300), B - 1));
    }
}

TEST_F(PrintJobTest, PrintedMillivoltMatchesTheCalibrationMark) {
    // A square wave of 681 units (1 mV) printed at 10 mm/mV is 10 mm tall.
    const QImage img = rasterPage(render(job(2, pulsesEachSecond, 1), 300).pdf, 1, 300);
    const PageGeometry g = pageGeometry(img.width(), img.height(), 1, 1, 2);
    const int B = g.baselines[0];
    const int x = int((20 + 25 + 0.6) * g.hp); // inside the pulse at 1 s (50 ms = 1.25 mm wide)
    int top = -1;
    for (int y = B - int(20 * g.vp); y <= B; ++y)
        if (isDark(img, x, y)) {
            top = y;
            break;
        }
    ASSERT_GE(top, 0);
    const double penHalf = int(0.2 * g.hp) / 2.0;
    EXPECT_NEAR((B - top - penHalf) / g.vp, 10.0, 0.3);
}

TEST_F(PrintJobTest, SecondLabelsContinueOnTheNextPage) {
    const Rendered r = render(job(16, pulsesEachSecond), 150);
    EXPECT_EQ(r.result.pages, 3);
    EXPECT_EQ(pdfPages(r.pdf), 3);
    // 180 mm of trace per page at 25 mm/s: labels 0s..7s on page 1, 8s..14s on page 2.
    const QStringList page1 = pdfText(r.pdf, 1).split(QRegularExpression(QStringLiteral("\\s+")));
    const QStringList page2 = pdfText(r.pdf, 2).split(QRegularExpression(QStringLiteral("\\s+")));
    for (int s = 0; s <= 7; ++s) {
        EXPECT_TRUE(page1.contains(QStringLiteral("%1s").arg(s))) << s;
        EXPECT_FALSE(page2.contains(QStringLiteral("%1s").arg(s))) << s;
    }
    for (int s = 8; s <= 14; ++s) {
        EXPECT_TRUE(page2.contains(QStringLiteral("%1s").arg(s))) << s;
        EXPECT_FALSE(page1.contains(QStringLiteral("%1s").arg(s))) << s;
    }
    // Page 2 begins 7.2 s into the recording, so "8s" stands 0.8 s (20 mm) after the trace start.
    bool found = false;
    for (const Word& w : pdfWords(r.pdf, 2)) {
        if (w.text == QStringLiteral("8s")) {
            found = true;
            EXPECT_NEAR(w.xMin * 25.4 / 72, 40.0, 0.6);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(PrintJobTest, TraceAndLabelsAgreeAcrossThePageBreak) {
    const Rendered r = render(job(16, pulsesEachSecond), 300);
    const QImage img = rasterPage(r.pdf, 2, 300);
    const PageGeometry g = pageGeometry(img.width(), img.height(), 3, 1, 2);
    const std::vector<int> xs = groupStarts(img, g.baselines[1] - int(5 * g.vp), int(19 * g.hp),
                                            int(201 * g.hp), int(3 * g.hp));
    ASSERT_FALSE(xs.empty());
    // The first pulse on page 2 is the one at 8 s, under its label at 40 mm.
    EXPECT_NEAR(xs.front() / g.hp, 40.0, 0.6);
}

TEST_F(PrintJobTest, RangeZeroToZeroPrintsOnePageOfFurniture) {
    PrintJob j = job(10, pulsesEachSecond);
    j.all = false;
    j.range = {0, 0};
    const Rendered r = render(j, 150);
    EXPECT_EQ(r.result.pages, 1);
    EXPECT_EQ(pdfPages(r.pdf), 1);
    const QStringList words = pdfText(r.pdf, 1).split(QRegularExpression(QStringLiteral("\\s+")));
    EXPECT_TRUE(words.contains(QStringLiteral("0s")));
    EXPECT_TRUE(words.contains(QStringLiteral("1s")));
    EXPECT_FALSE(words.contains(QStringLiteral("2s")));
    EXPECT_TRUE(words.contains(QStringLiteral("II")));
    // No trace: nothing dark above the lead II baseline in the trace area.
    const QImage img = rasterPage(r.pdf, 1, 150);
    const PageGeometry g = pageGeometry(img.width(), img.height(), 3, 1, 2);
    int dark = 0;
    for (int x = int(40 * g.hp); x < int(190 * g.hp); ++x)
        dark += isDark(img, x, g.baselines[1] - int(5 * g.vp));
    EXPECT_EQ(dark, 0);
}

TEST_F(PrintJobTest, RangeLabelsOnLaterPagesRunOnTowardsTheRecordingEnd) {
    // 0..10 s of a 16 s recording: page 1 holds 0s..7s; page 2 numbers on as far as the page
    // allows (up to the recording's 16 s), not only to the range's end.
    PrintJob j = job(16, pulsesEachSecond);
    j.all = false;
    j.range = {0, 10};
    const Rendered r = render(j, 150);
    ASSERT_EQ(r.result.pages, 2);
    const QStringList page2 = pdfText(r.pdf, 2).split(QRegularExpression(QStringLiteral("\\s+")));
    for (int s = 8; s <= 14; ++s)
        EXPECT_TRUE(page2.contains(QStringLiteral("%1s").arg(s))) << s;
    EXPECT_FALSE(page2.contains(QStringLiteral("7s")));
}

TEST_F(PrintJobTest, RangeStartsTheTraceAtItsBeginning) {
    // Pulses only at 3 s: printing 3..5 shows the pulse at the very start of the trace.
    PrintJob j = job(6, [](int s) { return s >= 2400 && s < 2440 ? 681 : 0; });
    j.all = false;
    j.range = {3, 5};
    const Rendered r = render(j, 300);
    const QStringList words = pdfText(r.pdf, 1).split(QRegularExpression(QStringLiteral("\\s+")));
    EXPECT_TRUE(words.contains(QStringLiteral("3s")));
    EXPECT_TRUE(words.contains(QStringLiteral("6s")));
    EXPECT_FALSE(words.contains(QStringLiteral("7s")));
    EXPECT_FALSE(words.contains(QStringLiteral("2s")));
    const QImage img = rasterPage(r.pdf, 1, 300);
    const PageGeometry g = pageGeometry(img.width(), img.height(), 3, 1, 2);
    const std::vector<int> xs = groupStarts(img, g.baselines[1] - int(5 * g.vp), int(18 * g.hp),
                                            int(201 * g.hp), int(3 * g.hp));
    ASSERT_EQ(xs.size(), 1u);
    EXPECT_NEAR(xs.front() / g.hp, 20.0, 0.6);
}

TEST_F(PrintJobTest, LongRecordingPageCount) {
    // 7.2 s per page at 25 mm/s: 60 s need 9 pages; at 50 mm/s (3.6 s per page) 17.
    PrintJob j = job(60, flat, 9);
    EXPECT_EQ(render(j, 150, QStringLiteral("a.pdf")).result.pages, 9);
    j.speedIndex = 3;
    const Rendered fast = render(j, 150, QStringLiteral("b.pdf"));
    EXPECT_EQ(fast.result.pages, 17);
    EXPECT_EQ(pdfPages(fast.pdf), 17);
}

class PaperSpeed : public PrintJobTest,
                   public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(PaperSpeed, OneSecondOfTraceIsSpeedMillimetresLong) {
    const int dpi = GetParam().first;
    const int speedIndex = GetParam().second;
    const int mmPerS[4] = {5, 10, 25, 50};
    const int speed = mmPerS[speedIndex];
    PrintJob j = job(8, pulsesEachSecond);
    j.speedIndex = speedIndex;
    const QImage img = rasterPage(render(j, dpi).pdf, 1, dpi);
    const double mm = dpi / 25.4;
    const PageGeometry g = pageGeometry(img.width(), img.height(), 3, 1, speedIndex);
    // Rising edges of the pulses, one per second, in the lead II row.
    const std::vector<int> xs = groupStarts(img, g.baselines[1] - int(5 * g.vp), int(19 * mm),
                                            int(201 * mm), int(std::min(3.0, speed * 0.5) * mm));
    const int seconds = std::min(7, int(180 / speed));
    ASSERT_GE(int(xs.size()), seconds + 1);
    for (int s = 1; s + 1 <= seconds; ++s)
        EXPECT_NEAR((xs[s + 1] - xs[s]) / mm, speed, speed * 0.02) << "second " << s;
    EXPECT_NEAR((xs[seconds] - xs[1]) / mm, speed * (seconds - 1), speed * (seconds - 1) * 0.02);
    // The trace starts at 20 mm.
    EXPECT_NEAR(xs[0] / mm, 20.0, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Printers, PaperSpeed,
                         ::testing::Values(std::make_pair(300, 2), std::make_pair(600, 2),
                                           std::make_pair(300, 1), std::make_pair(600, 3)));

TEST_F(PrintJobTest, UnwritableOutputFailsAndKeepsAnEarlierFile) {
    const QString target = dir.filePath(QStringLiteral("kept.pdf"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    PrintJob j = job(1, flat);
    const PrintResult bad = printToPdf(dir.filePath(QStringLiteral("missing/out.pdf")), j, 150);
    EXPECT_FALSE(bad.ok);
    EXPECT_FALSE(bad.message.isEmpty());
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("earlier"));
}
