// SPDX-License-Identifier: GPL-3.0-or-later
// How the screen's ECG looks, measured on rendered pages: the ruler and the rhythmogram in the
// interface language, the dark background, traces wider than a pixel, the calibration pulse 5 mm
// wide and whole at every scale, and the rhythmogram's RR statistics against a known series.
#include "display/Canvas.h"
#include "display/Display.h"
#include "display/RrStatistics.h"
#include "display/Texts.h"
#include "display/tests/Synthetic.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cmath>

using namespace velkard;
using namespace velkard::display;
using velkard::display::test::constantRecording;
using velkard::display::test::kReview;
using velkard::display::test::kRhythmogram;
using velkard::display::test::makeRecording;
using velkard::display::test::record;

namespace {

const DeviceCaps kCaps{1024, 320, 768, 240}; // p = q = 3.2
const WindowMetrics kWin{1024, 700, 1024, 650, 30};

// Pixels of [x0, x1) × [y0, y1) of exactly this colour.
long count(const QImage& img, std::uint32_t colour, int x0 = 0, int x1 = -1, int y0 = 0,
           int y1 = -1) {
    long n = 0;
    x1 = x1 < 0 ? img.width() : x1;
    y1 = y1 < 0 ? img.height() : y1;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += img.pixel(x, y) == colour;
    return n;
}

// A pulse of 1.5 mV, 60 ms, every second in every lead.
std::vector<std::uint8_t> pulses(int seconds) {
    return makeRecording(seconds * 800, [](int i) {
        const auto v = std::int16_t(i % 800 < 48 ? 1021 : 0);
        return record(0, v, 0);
    });
}

} // namespace

TEST(ScreenLook, TheRulerAndTheRhythmogramSpeakTheInterfaceLanguage) {
    const auto bytes = constantRecording(40 * 800, 0, 0);
    display::Display ru(kCaps, kWin);
    ru.setChoices(1, 9, 2);
    ru.setRussian(true, kReview);
    ru.openRecording(bytes, 40, kReview);
    display::Display en(kCaps, kWin);
    en.setChoices(1, 9, 2);
    en.openRecording(bytes, 40, kReview);
    ASSERT_FALSE(ru.secondLabels().empty());
    EXPECT_EQ(secondLabelText(3, true), QString::fromUtf8("3 с"));
    EXPECT_EQ(secondLabelText(3, false), QStringLiteral("3s"));
    // The labels drawn differ: "1 с" is wider than "1s" and its letter is Cyrillic. Compare the
    // label row of the two pages, left of the second label.
    const int y0 = kWin.panelHeight;
    const auto& label = ru.secondLabels()[1];
    QFont font = QGuiApplication::font();
    font.setPointSize(10);
    font.setBold(true);
    const QFontMetrics fm(font, &ru.surface());
    const int wRu = fm.horizontalAdvance(secondLabelText(label.second, true));
    const int wEn = fm.horizontalAdvance(secondLabelText(label.second, false));
    ASSERT_NE(wRu, wEn);
    auto inkColumns = [&](const QImage& img) {
        int last = -1;
        for (int x = label.x; x < label.x + 60; ++x)
            for (int y = y0; y < y0 + fm.height(); ++y)
                if ((img.pixel(x, y) & 0xFFFFFF) == 0)
                    last = x;
        return last - label.x + 1;
    };
    EXPECT_GT(wRu, wEn);
    EXPECT_LE(inkColumns(ru.surface()), wRu);
    EXPECT_LE(inkColumns(en.surface()), wEn);
    // The label row differs, the traces' rows do not (right of the lead names).
    const auto band = [&](const QImage& img, int top, int bottom) {
        return img.copy(ru.traceOrigin(), top, img.width() - ru.traceOrigin(), bottom - top);
    };
    EXPECT_NE(band(ru.surface(), y0, y0 + fm.height()), band(en.surface(), y0, y0 + fm.height()));
    EXPECT_EQ(band(ru.surface(), y0 + fm.height() + 2, kWin.clientBottom),
              band(en.surface(), y0 + fm.height() + 2, kWin.clientBottom));

    // Switching the language redraws the page shown.
    en.setRussian(true, kReview);
    EXPECT_EQ(en.surface(), ru.surface());

    // The rhythmogram: its page word and axis differ by language; a page in one language drawn
    // again in the other is the other's page.
    std::vector<std::uint8_t> rr(600);
    for (int i = 0; i < 300; ++i)
        signal::writeLe16(rr.data() + 2 * i, std::int16_t(800 + (i % 2) * 100));
    display::Display a(kCaps, kWin), b(kCaps, kWin);
    a.setRussian(true, kRhythmogram);
    a.openRhythmogramBytes(rr);
    b.openRhythmogramBytes(rr);
    EXPECT_NE(a.surface(), b.surface());
    b.setRussian(true, kRhythmogram);
    EXPECT_EQ(a.surface(), b.surface());
}

TEST(ScreenLook, DecimalNumbersInTheLanguagesNotation) {
    EXPECT_EQ(decimalText(2.236, 2, true), QStringLiteral("2,24"));
    EXPECT_EQ(decimalText(2.236, 2, false), QStringLiteral("2.24"));
    EXPECT_EQ(decimalText(-0.001, 2, true), QStringLiteral("0,00"));
    EXPECT_EQ(decimalText(std::nullopt, 2, true), QString::fromUtf8("—"));
    EXPECT_EQ(decimalText(std::nan(""), 1, false), QString::fromUtf8("—"));
    // Lines put together elsewhere: decimals change, dates and times stay.
    EXPECT_EQ(
        withDecimalSeparator(QStringLiteral("SV1+RV5 2.24 mV 05.03.2009 07:05:09 0.83"), true),
        QStringLiteral("SV1+RV5 2,24 mV 05.03.2009 07:05:09 0,83"));
    EXPECT_EQ(withDecimalSeparator(QString::fromUtf8("0,05–150 Гц"), false),
              QString::fromUtf8("0.05–150 Гц"));
}

TEST(ScreenLook, ADarkBackgroundKeepsTheTraceTheBrightestThing) {
    const auto bytes = pulses(20);
    display::Display light(kCaps, kWin);
    light.setChoices(1, 1, 2);
    light.openRecording(bytes, 20, kReview);
    display::Display dark(kCaps, kWin);
    dark.setDarkScreen(true);
    dark.setChoices(1, 1, 2);
    dark.openRecording(bytes, 20, kReview);
    const QImage& d = dark.surface();
    const int x0 = dark.traceOrigin();
    const long area = long(kWin.clientRight - x0) * (kWin.clientBottom - kWin.panelHeight);
    // Mostly background, with the dim grid; no white paper left in the drawing area.
    EXPECT_GT(count(d, kDarkPalette.background, x0, kWin.clientRight, kWin.panelHeight + 20,
                    kWin.clientBottom),
              area / 3);
    EXPECT_EQ(count(d, kWhite, x0, kWin.clientRight, kWin.panelHeight + 20, kWin.clientBottom), 0);
    EXPECT_LT(qGray(kDarkPalette.gridMajor), 100);
    EXPECT_GT(qGray(kDarkPalette.ink), 200);
    // The trace is where the light page has it, in the light ink.
    const QImage& l = light.surface();
    long traceLight = 0, traceDark = 0, misplaced = 0;
    for (int y = kWin.panelHeight; y < kWin.clientBottom; ++y)
        for (int x = x0; x < kWin.clientRight; ++x) {
            const bool a = l.pixel(x, y) == kBlack;
            const bool b = d.pixel(x, y) == kDarkPalette.ink;
            traceLight += a;
            traceDark += b;
            misplaced += a != b;
        }
    EXPECT_GT(traceLight, 500);
    EXPECT_EQ(traceDark, traceLight);
    EXPECT_EQ(misplaced, 0);
    // The calibration marks in the dark palette's colour, none in paper blue.
    EXPECT_GT(count(d, kDarkPalette.mark), 50);
    EXPECT_EQ(count(d, kBlue), 0);
    // Back to paper: the same page as one never darkened (opened twice as well: the canvas keeps
    // its font from one drawing to the next).
    light.openRecording(bytes, 20, kReview);
    dark.setDarkScreen(false);
    dark.openRecording(bytes, 20, kReview);
    long differ = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < light.surface().height(); ++y)
        for (int x = 0; x < light.surface().width(); ++x)
            if (dark.surface().pixel(x, y) != light.surface().pixel(x, y)) {
                if (!differ++) {
                    firstX = x;
                    firstY = y;
                }
            }
    EXPECT_EQ(differ, 0) << "first at " << firstX << "," << firstY;
}

TEST(ScreenLook, TracesAreWiderThanAPixelWithoutLosingTheirPeaks) {
    // A flat line and steep pulses: with the soft edge each stroke is 1.5 px wide (a full pixel
    // and half a pixel), the full pixels exactly where a one-pixel trace has them.
    const auto bytes = pulses(20);
    display::Display d(kCaps, kWin);
    ASSERT_TRUE(d.wideTraces());
    d.setChoices(1, 1, 2);
    d.openRecording(bytes, 20, kReview);
    const QImage& img = d.surface();
    const int baseline = d.calibrationMarkOf(0).baseline;
    const int x = d.traceOrigin() + 150; // on the flat line between pulses
    EXPECT_EQ(img.pixel(x, baseline), kBlack);
    const QRgb below = img.pixel(x, baseline + 1);
    EXPECT_NE(below, kBlack);
    EXPECT_LT(qGray(below), 180); // half ink over the grid or the paper
    EXPECT_GT(qGray(below), 60);
    EXPECT_GE(qGray(img.pixel(x, baseline - 1)), 200); // one soft side only

    // The peak: 1.5 mV at 10 mm/mV = 15 mm = 48 px above the baseline, within a pixel.
    int top = -1;
    for (int y = kWin.panelHeight + 20; y < baseline && top < 0; ++y) // below the second labels
        for (int xx = d.traceOrigin(); xx < d.traceOrigin() + 100; ++xx)
            if (img.pixel(xx, y) == kBlack) {
                top = y;
                break;
            }
    EXPECT_NEAR(baseline - top, 1021 * d.geometry().gain, 1.0);

    // A coarse screen keeps one-pixel traces.
    display::Display coarse(DeviceCaps{800, 320, 600, 240}, kWin);
    EXPECT_FALSE(coarse.wideTraces());
}

TEST(ScreenLook, TheCalibrationPulseIsFiveMillimetresWideAndWholeAtEveryScale) {
    for (int scale = 0; scale < kScaleCount; ++scale)
        for (int group : {0, 3, 5, 9}) {
            display::Display d(kCaps, kWin);
            d.setChoices(scale, group, 2);
            d.openRecording(constantRecording(800, 0, 0), 1, kReview);
            const QImage& img = d.surface();
            const std::string what =
                "scale " + std::to_string(scale) + " group " + std::to_string(group);
            for (int row = 0; row < rowCount(group); row += 3) {
                const display::Display::CalibrationMark m = d.calibrationMarkOf(row);
                // 5 mm at 3.2 px/mm between rise and fall, and exactly 1 mV tall.
                EXPECT_NEAR(m.fall - m.rise, 5 * 3.2, 1) << what;
                EXPECT_NEAR(m.baseline - m.top,
                            kScaleMmPerMv[std::size_t(scale)] * d.geometry().vertPxPerMm, 1)
                    << what;
                // Wholly below the tool panel: its top bar drawn across the pulse.
                EXPECT_GE(m.top, kWin.panelHeight) << what << " row " << row;
                for (int x = m.rise; x < m.fall; ++x)
                    EXPECT_EQ(img.pixel(x, m.top), kBlue) << what << " x " << x;
                for (int y = m.top; y < m.baseline; ++y)
                    EXPECT_EQ(img.pixel(m.rise, y), kBlue) << what << " y " << y;
                // On its own row's trace.
                const int traceRow = m.baseline;
                EXPECT_EQ(img.pixel(d.traceOrigin() + 40, traceRow), kBlack) << what;
            }
            // The rows stay in order inside the drawing area.
            int last = 0;
            for (int row = 0; row < rowCount(group); ++row) {
                const int y = rowBaseline(group, row, d.rowSpacings());
                EXPECT_GT(y, last) << what;
                EXPECT_LT(y, kWin.clientBottom) << what;
                last = y;
            }
        }
}

TEST(RrStatistics, MeanSdnnRmssdAndRangeOfAKnownSeries) {
    // 800, 900, 800, 900, … (100 intervals): mean 850, every step 100 ms, SDNN of ±50.
    std::vector<std::uint8_t> bytes(200);
    for (int i = 0; i < 100; ++i)
        signal::writeLe16(bytes.data() + 2 * i, std::int16_t(i % 2 ? 900 : 800));
    RrStatistics s = rrStatistics(bytes);
    EXPECT_EQ(s.intervals, 100);
    EXPECT_DOUBLE_EQ(*s.meanMs, 850);
    EXPECT_NEAR(*s.sdnnMs, std::sqrt(100 * 2500.0 / 99), 1e-9);
    EXPECT_DOUBLE_EQ(*s.rmssdMs, 100);
    EXPECT_DOUBLE_EQ(*s.minMs, 800);
    EXPECT_DOUBLE_EQ(*s.maxMs, 900);

    // A ramp 600, 610, …, 990 with an artefact (0) and a gap (5000) among it: those are left out
    // and break the successive pairs they stand in.
    std::vector<std::uint8_t> ramp;
    auto push = [&](int v) {
        std::uint8_t le[2];
        signal::writeLe16(le, std::int16_t(v));
        ramp.insert(ramp.end(), le, le + 2);
    };
    for (int i = 0; i < 40; ++i) {
        push(600 + 10 * i);
        if (i == 10)
            push(0);
        if (i == 20)
            push(5000);
    }
    s = rrStatistics(ramp);
    EXPECT_EQ(s.intervals, 40);
    EXPECT_DOUBLE_EQ(*s.meanMs, 795);
    EXPECT_DOUBLE_EQ(*s.rmssdMs, 10); // 37 pairs of 10 ms; the two broken ones do not count
    EXPECT_DOUBLE_EQ(*s.minMs, 600);
    EXPECT_DOUBLE_EQ(*s.maxMs, 990);
    double squares = 0;
    for (int i = 0; i < 40; ++i)
        squares += std::pow(600 + 10 * i - 795.0, 2);
    EXPECT_NEAR(*s.sdnnMs, std::sqrt(squares / 39), 1e-9);

    // One interval: a mean, no spread; none: nothing.
    s = rrStatistics(std::span<const std::uint8_t>(bytes.data(), 2));
    EXPECT_DOUBLE_EQ(*s.meanMs, 800);
    EXPECT_FALSE(s.sdnnMs);
    EXPECT_FALSE(s.rmssdMs);
    s = rrStatistics({});
    EXPECT_EQ(s.intervals, 0);
    EXPECT_FALSE(s.meanMs);
    const QString none = rrStatisticsLine(s, true);
    EXPECT_TRUE(none.contains(QString::fromUtf8("среднее —"))) << none.toStdString();

    // The line in either language.
    const RrStatistics alt = rrStatistics(bytes);
    EXPECT_EQ(rrStatisticsLine(alt, true),
              QString::fromUtf8("RR: среднее 850 мс, SDNN 50 мс, RMSSD 100 мс, мин. 800 мс, "
                                "макс. 900 мс (n = 100)"));
    EXPECT_EQ(rrStatisticsLine(alt, false),
              QStringLiteral("RR: mean 850 ms, SDNN 50 ms, RMSSD 100 ms, min 800 ms, max 900 ms "
                             "(n = 100)"));
}

TEST(RrStatistics, TheRhythmogramPageShowsThemAndAHalfSecondAxis) {
    // The statistics line under the axis and a faint line every half second across the bars.
    std::vector<std::uint8_t> rr(600);
    for (int i = 0; i < 300; ++i)
        signal::writeLe16(rr.data() + 2 * i, std::int16_t(800 + (i % 2) * 100));
    display::Display d(kCaps, kWin);
    d.openRhythmogramBytes(rr);
    const QImage& img = d.surface();
    const int b = kWin.clientBottom / 2;
    for (int k = 1; k <= 4; ++k) {
        const int y = int(b - 10 * k * 3.2);
        // Across the page right of the bars, in the grid's big-line colour.
        EXPECT_EQ(count(img, kGridMajor, 700, 950, y, y + 1), 250) << k;
    }
    // The statistics are written under the axis.
    const int y = int(b + 17 * 3.2);
    EXPECT_GT(count(img, kBlack, 41, 500, y, y + 20), 50);
}

// A lead's note stands right of its label in the warning colour, ends before the trace, leaves the
// traces and calibration marks as they are, and taken away leaves the surface exactly as before;
// in review and on the live sweep.
TEST(ScreenLook, ALeadsNoteStandsByItsLabelAndTouchesNoTrace) {
    const int group = 9; // I … V6, twelve rows
    const auto bytes = pulses(20);
    for (const bool live : {false, true}) {
        display::Display d(kCaps, kWin);
        d.setChoices(1, group, 2);
        const View view = live ? test::kLive : kReview;
        if (live) {
            d.prepareLiveDisplay();
            for (int b = 0; b < 6; ++b)
                d.drawLiveBlock(bytes.data() + std::size_t(b) * 400 * 16);
        } else {
            d.openRecording(bytes, 20, kReview);
        }
        const QImage before = d.surface().copy();
        const int origin = live ? d.sweepOrigin() : d.traceOrigin();
        std::array<QString, 12> notes{};
        notes[LeadV4] = QString::fromUtf8("шум");
        notes[LeadIII] = QString::fromUtf8("отключено, дрейф"); // the row above aVR's pulse
        d.setLeadNotes(notes);
        const QRect changed = d.redrawLeadFurniture(view);
        EXPECT_EQ(changed.right() + 1, origin);
        const QImage& img = d.surface();
        // What changed: the notes on their rows only, right of the labels, left of the traces
        // (V4's between its baseline and V5's, III's between its own and aVR's), in a red
        // (the text is smoothed: its pixels are mixtures of the warning colour and the paper).
        auto rowOf = [&](int lead) {
            for (int r = 0; r < rowCount(group); ++r)
                if (leadOfRow(group, r) == lead)
                    return r;
            return -1;
        };
        const auto& s = d.rowSpacings();
        const int v4 = rowBaseline(group, rowOf(LeadV4), s);
        const int v5 = rowBaseline(group, rowOf(LeadV5), s);
        const int iii = rowBaseline(group, rowOf(LeadIII), s);
        const int avr = rowBaseline(group, rowOf(LeadAVR), s);
        int inV4 = 0, inIII = 0, elsewhere = 0, reddest = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixel(x, y) == before.pixel(x, y))
                    continue;
                const QColor p = QColor::fromRgb(img.pixel(x, y));
                reddest = std::max(reddest, p.red() - p.green());
                if (x < origin && y >= v4 && y < v5)
                    ++inV4;
                else if (x < origin && y >= iii && y < avr)
                    ++inIII;
                else
                    ++elsewhere;
            }
        EXPECT_GT(inV4, 20);
        EXPECT_GT(inIII, 20);
        EXPECT_EQ(elsewhere, 0);
        EXPECT_GT(reddest, 120) << "the notes are in the warning colour";
        // The traces and the calibration pulses stay whole.
        for (int y = 0; y < img.height(); ++y)
            for (int x = origin; x < img.width(); ++x)
                ASSERT_EQ(img.pixel(x, y), before.pixel(x, y)) << x << "," << y;
        EXPECT_EQ(count(img, kBlue), count(before, kBlue)) << (live ? "live" : "review");
        // Without notes the surface is as it was.
        d.setLeadNotes({});
        d.redrawLeadFurniture(view);
        EXPECT_TRUE(d.surface() == before) << (live ? "live" : "review");
    }
}
