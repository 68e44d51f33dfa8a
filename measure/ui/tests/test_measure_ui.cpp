// SPDX-License-Identifier: GPL-3.0-or-later
// The heart-rate label, the measurements window and the calipers, in both languages.
#include "measure/Summary.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/HeartRateLabel.h"
#include "measure/ui/MeasurementsController.h"
#include "measure/ui/MeasurementsWindow.h"
#include "sim/SyntheticEcg.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace velkard::measure::ui {
namespace {

TEST(HeartRateLabel, ShowsTheRateOrDashesInTheInterfaceLanguage) {
    HeartRateLabel label;
    EXPECT_EQ(label.text(), QString::fromUtf8("ЧСС --"));
    label.setRate(std::optional<int>(72));
    EXPECT_EQ(label.text(), QString::fromUtf8("ЧСС 72"));
    label.applyLanguage(false);
    EXPECT_EQ(label.text(), "HR 72");
    label.setRate(std::optional<double>(71.6));
    EXPECT_EQ(label.text(), "HR 72");
    label.setRate(std::optional<int>());
    EXPECT_EQ(label.text(), "HR --");
}

Measurements sample() {
    Measurements m;
    m.heartRateBpm = 71.8;
    m.rrMs = 835.6;
    m.pMs = 98.2;
    m.prMs = 161.4;
    m.qrsMs = 91.3;
    m.qtMs = 402.0;
    m.qtcBazettMs = 439.8;
    m.qtcFridericiaMs = 426.7;
    m.qrsAxisDeg = 59.6;
    m.tAxisDeg = 40.2;
    m.leads[signal::StandardLeadV1].rMv = 0.25;
    m.leads[signal::StandardLeadV1].sMv = 1.42;
    m.leads[signal::StandardLeadV5].rMv = 2.21;
    m.leads[signal::StandardLeadV5].sMv = 0.2;
    m.leads[signal::StandardLeadV5].stJMv = -0.004;
    m.leads[signal::StandardLeadV5].st60Mv = -0.06;
    m.beatsInMedian = 11;
    return m;
}

TEST(MeasurementsWindow, ListsTheMeasurementsAndTheirUnitsInBothLanguages) {
    MeasurementsWindow w;
    w.setMeasurements(sample(), 20.0, 10.0);
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Измерения"));
    EXPECT_EQ(w.valueText(0), "72");  // heart rate
    EXPECT_EQ(w.valueText(3), "161"); // PR
    EXPECT_EQ(w.valueText(4), "91");  // QRS
    EXPECT_EQ(w.valueText(6), "440"); // QTc Bazett
    EXPECT_EQ(w.valueText(8), QString::fromUtf8("—")) << "no P axis";
    EXPECT_EQ(w.valueText(11), "3,63") << "SV1 + RV5, a decimal comma in Russian";
    EXPECT_EQ(w.globalTable()->verticalHeaderItem(0)->text(), QString::fromUtf8("ЧСС"));
    EXPECT_EQ(w.globalTable()->item(0, 1)->text(), QString::fromUtf8("уд/мин"));
    EXPECT_EQ(w.leadTable()->item(signal::StandardLeadV5, 0)->text(), "2,21");
    EXPECT_EQ(w.leadTable()->item(signal::StandardLeadI, 0)->text(), QString::fromUtf8("—"));
    // An ST level that rounds to zero has no sign: "-0,00" reads as a depression.
    EXPECT_EQ(w.leadTable()->item(signal::StandardLeadV5, 5)->text(), "0,00");
    EXPECT_EQ(w.leadTable()->item(signal::StandardLeadV5, 6)->text(), "-0,06");
    EXPECT_EQ(w.leadTable()->verticalHeaderItem(signal::StandardLeadAVR)->text(), "aVR");
    EXPECT_TRUE(w.findChild<QLabel*>("measurementsSpan")->text().contains("20,0"));

    w.applyLanguage(false);
    EXPECT_EQ(w.windowTitle(), "Measurements");
    EXPECT_EQ(w.globalTable()->verticalHeaderItem(0)->text(), "Heart rate");
    EXPECT_EQ(w.globalTable()->item(0, 1)->text(), "bpm");
    EXPECT_EQ(w.leadTable()->horizontalHeaderItem(0)->text(), "R, mV");
    EXPECT_EQ(w.valueText(0), "72");
    EXPECT_EQ(w.valueText(11), "3.63") << "a decimal point in English";
    EXPECT_EQ(w.leadTable()->item(signal::StandardLeadV5, 0)->text(), "2.21");
    EXPECT_TRUE(w.findChild<QLabel*>("measurementsSpan")->text().contains("20.0"));
}

TEST(MeasurementsSummary, ReportLinesRoundAndMarkWhatWasNotMeasured) {
    Measurements m = sample();
    m.beats = {100, 770, 1440};
    const auto en = summaryLines(m, false);
    ASSERT_EQ(en.size(), 3u);
    EXPECT_EQ(en[0], "HR 72 bpm  RR 836 ms  P 98 ms  PR 161 ms  QRS 91 ms");
    EXPECT_EQ(en[1], "QT 402 ms  QTc 440 (Bazett) / 427 (Fridericia) ms");
    EXPECT_EQ(en[2], "Axes P/QRS/T —/60/40°  SV1+RV5 3.63 mV");
    const auto ru = summaryLines(m, true);
    ASSERT_EQ(ru.size(), 3u);
    EXPECT_EQ(ru[0], "ЧСС 72 уд/мин  RR 836 мс  P 98 мс  PR 161 мс  QRS 91 мс");
    EXPECT_EQ(ru[2], "Оси P/QRS/T —/60/40°  SV1+RV5 3,63 мВ"); // a decimal comma in Russian

    m.leads[signal::StandardLeadV5].rMv.reset();
    EXPECT_EQ(summaryLines(m, false)[2], "Axes P/QRS/T —/60/40°  SV1+RV5 — mV");
    m.beats.clear();
    EXPECT_EQ(summaryLines(m, true),
              std::vector<std::string>{"Измерения: комплексы QRS не найдены"});
}

void mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)),
                  type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void drag(QWidget& w, QPoint from, QPoint to) {
    mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    mouse(w, QEvent::MouseMove, to, Qt::LeftButton);
    mouse(w, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

TEST(Calipers, DragShowsTimeRateAndAmplitudeAndEscOrAClickClears) {
    QWidget area;
    area.resize(800, 600);
    Calipers calipers(&area);
    EXPECT_FALSE(calipers.active());
    EXPECT_TRUE(calipers.testAttribute(Qt::WA_TransparentForMouseEvents));
    area.show();
    calipers.setActive(true);
    EXPECT_EQ(calipers.size(), area.size());
    // 25 mm/s at 3.2 px/mm: 12.5 ms per pixel; 10 mm/mV: 1/32 mV per pixel.
    calipers.setScale(12.5, 1.0 / 32);

    drag(calipers, {100, 300}, {164, 268});
    ASSERT_TRUE(calipers.reading());
    EXPECT_DOUBLE_EQ(calipers.reading()->ms, 800.0);
    EXPECT_DOUBLE_EQ(calipers.reading()->bpm, 75.0);
    EXPECT_DOUBLE_EQ(calipers.reading()->mv, 1.0);
    EXPECT_EQ(calipers.readingText(), QString::fromUtf8("Δt 800 мс  75 уд/мин  ΔU 1,00 мВ"));
    calipers.applyLanguage(false);
    EXPECT_EQ(calipers.readingText(), QString::fromUtf8("Δt 800 ms  75 bpm  ΔU 1.00 mV"));
    // Points on one level read no sign: "-0.00" would be a fall.
    EXPECT_EQ(caliperText(CaliperReading{800, 75, -0.001}, false),
              QString::fromUtf8("Δt 800 ms  75 bpm  ΔU 0.00 mV"));

    // Drawn: dashed end lines in the calipers' ink across the area, nothing elsewhere.
    const QImage shot = area.grab().toImage();
    auto inkInColumn = [&shot](int x) {
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            n += shot.pixelColor(x, y) == QColor(0, 0, 160);
        return n;
    };
    EXPECT_GT(inkInColumn(100), 200);
    EXPECT_GT(inkInColumn(164), 200);
    EXPECT_EQ(inkInColumn(50), 0);

    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&calipers, &esc);
    EXPECT_FALSE(calipers.reading());
    EXPECT_TRUE(calipers.readingText().isEmpty());

    // Right to left and downwards: the time stays positive, the amplitude turns negative.
    drag(calipers, {400, 100}, {320, 164});
    ASSERT_TRUE(calipers.reading());
    EXPECT_DOUBLE_EQ(calipers.reading()->ms, 1000.0);
    EXPECT_DOUBLE_EQ(calipers.reading()->mv, -2.0);
    drag(calipers, {500, 500}, {501, 500}); // a click
    EXPECT_FALSE(calipers.reading());

    drag(calipers, {10, 10}, {90, 10});
    EXPECT_TRUE(calipers.reading());
    calipers.setActive(false); // leaving review clears them
    EXPECT_FALSE(calipers.reading());
    EXPECT_TRUE(calipers.testAttribute(Qt::WA_TransparentForMouseEvents));
    area.resize(1000, 700);
    EXPECT_EQ(calipers.size(), QSize(1000, 700));
}

// A recording of a steady rhythm at this rate, as the bytes of a recording file.
std::vector<std::uint8_t> recordingBytes(std::vector<signal::SampleRecord>& records) {
    std::vector<std::uint8_t> bytes(records.size() * signal::kRecordBytes);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(bytes.data() + i * signal::kRecordBytes + 2 * c, records[i].c[c]);
    return bytes;
}

// Beats at exactly `bpm`: a sharp spike on every lead, so the truth needs no generator.
std::vector<signal::SampleRecord> spikes(int bpm, int seconds) {
    std::vector<signal::SampleRecord> r(static_cast<std::size_t>(seconds) * 800);
    const std::size_t every = static_cast<std::size_t>(48000 / bpm);
    for (std::size_t at = 400; at + 40 < r.size(); at += every)
        for (std::size_t k = 0; k < 40; ++k) {
            const auto v = static_cast<std::int16_t>(700 * (k < 20 ? k : 40 - k) / 20);
            r[at + k].c = {0, v, 0, 0, 0, 0, 0, 0};
        }
    return r;
}

TEST(MeasurementsController, LiveRateReviewRateCalipersAndWindow) {
    QWidget window, panel(&window), area(&window);
    area.resize(800, 600);
    MeasurementsController c(&panel, &area, &window);
    EXPECT_FALSE(c.heartRateLabel()->isVisibleTo(&window));
    EXPECT_FALSE(c.showAction()->isEnabled());
    EXPECT_EQ(c.showAction()->text(), QString::fromUtf8("Измерения"));

    // Live: the acquisition's blocks.
    c.liveStarted();
    EXPECT_EQ(c.heartRateLabel()->text(), QString::fromUtf8("ЧСС --"));
    auto live = spikes(80, 20);
    for (std::size_t at = 0; at + 400 <= live.size(); at += 400) {
        signal::SampleBlock block;
        std::copy_n(live.begin() + static_cast<std::ptrdiff_t>(at), 400, block.begin());
        c.liveBlock(block);
    }
    EXPECT_EQ(c.heartRateLabel()->text(), QString::fromUtf8("ЧСС 80"));
    EXPECT_FALSE(c.calipers()->active());

    // Review: the rate of the shown page, calipers at the page's scale.
    auto reviewed = spikes(60, 60);
    const auto bytes = recordingBytes(reviewed);
    c.applyLanguage(false);
    c.reviewPage({bytes, 20 * 800, 12, 12.5, 1.0 / 32});
    EXPECT_EQ(c.heartRateLabel()->text(), "HR 60");
    EXPECT_TRUE(c.calipers()->active());
    EXPECT_TRUE(c.showAction()->isEnabled());
    EXPECT_EQ(c.showAction()->text(), "Measurements");

    c.showAction()->trigger();
    EXPECT_TRUE(c.window()->isVisible());
    EXPECT_EQ(c.window()->windowTitle(), "Measurements");
    EXPECT_EQ(c.window()->valueText(0), "60");
    EXPECT_EQ(c.window()->valueText(1), "1000");
    EXPECT_TRUE(c.window()
                    ->findChild<QLabel*>("measurementsSpan")
                    ->text()
                    .startsWith("From 20.0 to 30.0 s"));

    c.nothingShown();
    EXPECT_FALSE(c.calipers()->active());
    EXPECT_FALSE(c.showAction()->isEnabled());
    EXPECT_FALSE(c.heartRateLabel()->isVisibleTo(&window));
}

// The lead notes say what is wrong with a lead: live over the last seconds (a lead whose
// electrode comes off, one with muscle noise, and again nothing once both are fixed), in review
// over the shown page, in the interface language; nothing is said when nothing is shown.
TEST(MeasurementsController, LeadNotesFollowTheSignalQualityLiveAndInReview) {
    QWidget window, panel(&window), area(&window);
    MeasurementsController c(&panel, &area, &window);
    int told = 0;
    QObject::connect(&c, &MeasurementsController::leadNotesChanged, [&told] { ++told; });
    velkard::sim::EcgParameters params;
    params.beat.heartRate = 70;
    auto records = velkard::sim::SyntheticEcg::records(4, params, 30 * 800);
    // Seconds 0-12: V4's channel railed (electrode off), V2's with 0.4 mV of white noise.
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.4 * signal::kUnitsPerMillivolt);
    constexpr std::size_t kV2 = 3, kV4 = 5; // channels III, II, V1..V6
    for (std::size_t i = 0; i < 12 * 800; ++i) {
        records[i].c[kV4] = 32767;
        records[i].c[kV2] = std::int16_t(std::clamp(records[i].c[kV2] + noise(rng), -3e4, 3e4));
    }
    auto feed = [&c, &records](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at + 400 <= to; at += 400) {
            signal::SampleBlock block;
            std::copy_n(records.begin() + std::ptrdiff_t(at), 400, block.begin());
            c.liveBlock(block);
        }
    };
    const std::array<QString, signal::kLeadCount> none{};
    c.liveStarted();
    feed(0, 800);
    EXPECT_EQ(c.leadNotes(), none) << "a second is too short to tell";
    feed(800, 8 * 800);
    auto expected = none;
    expected[signal::StandardLeadV4] = QString::fromUtf8("отключено");
    expected[signal::StandardLeadV2] = QString::fromUtf8("шум");
    EXPECT_EQ(c.leadNotes(), expected);
    EXPECT_GT(told, 0);
    c.applyLanguage(false);
    expected[signal::StandardLeadV4] = "off";
    expected[signal::StandardLeadV2] = "noisy";
    EXPECT_EQ(c.leadNotes(), expected);
    // Both fixed at 12 s: the last seconds are clean again by 20 s.
    feed(8 * 800, 20 * 800);
    EXPECT_EQ(c.leadNotes(), none);

    // Review: the page from 2 s (V2 noisy, V4 off) and the page from 15 s (clean).
    const auto bytes = recordingBytes(records);
    c.reviewPage({bytes, 2 * 800, 8, 12.5, 1.0 / 32});
    EXPECT_EQ(c.leadNotes(), expected);
    // The measurements window's lead table says the same in its last column; the other leads
    // are measured (the synthetic beat has no ST deviation).
    c.showAction()->trigger();
    auto* table = c.window()->findChild<QTableWidget*>("measurementsLeads");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->columnCount(), 10);
    EXPECT_EQ(table->horizontalHeaderItem(9)->text(), "Signal");
    EXPECT_EQ(table->horizontalHeaderItem(7)->text(), "ST J+80, mV");
    for (int l = 0; l < signal::kLeadCount; ++l)
        EXPECT_EQ(table->item(l, 9)->text(), expected[std::size_t(l)]) << l;
    EXPECT_EQ(table->item(signal::StandardLeadV2, 0)->text(), QString::fromUtf8("—"));
    EXPECT_NEAR(table->item(signal::StandardLeadV5, 7)->text().toDouble(), 0.0, 0.05);
    EXPECT_GT(table->item(signal::StandardLeadV5, 0)->text().toDouble(), 0.5) << "R in V5";
    c.window()->hide();
    c.reviewPage({bytes, 15 * 800, 8, 12.5, 1.0 / 32});
    EXPECT_EQ(c.leadNotes(), none);
    // A lead the recording lacks is not called off.
    ReviewPage lacking{bytes, 2 * 800, 8, 12.5, 1.0 / 32};
    lacking.present[signal::StandardLeadV4] = false;
    c.reviewPage(lacking);
    expected[signal::StandardLeadV4].clear();
    EXPECT_EQ(c.leadNotes(), expected);
    told = 0;
    c.nothingShown();
    EXPECT_EQ(c.leadNotes(), none);
    EXPECT_EQ(told, 1);
}

} // namespace
} // namespace velkard::measure::ui
