// SPDX-License-Identifier: GPL-3.0-or-later
// The measurements in the main window: the rate of the shown page and live, the calipers over the
// review page, the measurements window, in both languages.
#include "AppTestSupport.h"
#include "signal/FileIo.h"

#include "filing/Store.h"
#include "links/SimLink.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/HeartRateLabel.h"
#include "measure/ui/MeasurementsWindow.h"
#include "sim/DeviceFiles.h"
#include "sim/SyntheticEcg.h"

#include <QAction>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

// A device ECG file of the parametric generator: header and the records as they are.
std::vector<std::uint8_t> deviceFile(const char* beat, int seconds) {
    sim::EcgParameters params;
    const Status beatParsed = sim::parseBeatParameters(beat, params.beat);
    EXPECT_TRUE(beatParsed.ok()) << beatParsed.message;
    EXPECT_TRUE(sim::parseNoiseParameters("mains=50,wander=0.3,white=0.02", params.noise).ok());
    const auto records =
        sim::SyntheticEcg::records(3, params, static_cast<std::size_t>(seconds) * 800);
    auto file = sim::makeDeviceHeader(800, static_cast<std::int16_t>(records.size()),
                                      sim::RecordedAt{24, 3, 15, 9, 5, 3});
    for (const auto& r : records)
        for (std::int16_t v : r.c) {
            std::uint8_t le[2];
            signal::writeLe16(le, v);
            file.insert(file.end(), le, le + 2);
        }
    return file;
}

class MeasurementsTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(source.isValid());
        id = addPatient(work(), "Measured");
        const auto path = std::filesystem::path(source.path().toStdString()) / "ECG_0001.DAT";
        ASSERT_TRUE(signal::writeFileAtomically(
                        path, deviceFile("hr=60,pr=160,qrs=100,qt=400,axis=30,irregular=0", 40))
                        .ok());
        auto r = filing::storeDeviceFile(cardfile::CardFile(work()), id, path, true);
        ASSERT_TRUE(r) << r.message;
    }

    measure::ui::HeartRateLabel* rateLabel(MainWindow& w) {
        return w.findChild<measure::ui::HeartRateLabel*>("heartRateLabel");
    }
    measure::ui::Calipers* calipers(MainWindow& w) {
        return w.findChild<measure::ui::Calipers*>("calipers");
    }

    QTemporaryDir source;
    std::string id;
};

void drag(QWidget& w, QPoint from, QPoint to) {
    auto send = [&w](QEvent::Type type, QPoint at, Qt::MouseButton button,
                     Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), w.mapToGlobal(QPointF(at)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

} // namespace

TEST_F(MeasurementsTest, ReviewShowsThePageRateCalipersAndTheMeasurementsWindow) {
    auto w = makeWindow();
    auto* label = rateLabel(*w);
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isVisible()) << "nothing shown yet";
    auto* measurementsAction = w->findChild<QAction*>("measurementsAction");
    ASSERT_NE(measurementsAction, nullptr);
    EXPECT_FALSE(measurementsAction->isEnabled());

    dialogs.script.push_back(pickInCardFile(0, 0, "Open"));
    w->cardFileAction->trigger();
    ASSERT_EQ(w->session().shown(), Shown::CardRecording);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), QString::fromUtf8("ЧСС 60"));
    EXPECT_TRUE(measurementsAction->isEnabled());

    // Calipers at the drawn scale: 1024 px over 320 mm at 25 mm/s is 10 samples, 12.5 ms, per
    // pixel; 10 mm/mV at 2.4 px/mm... as the display's gain says.
    auto* c = calipers(*w);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->active());
    EXPECT_EQ(c->geometry().top(), 30) << "the tool panel stays clickable";
    drag(*c, {200, 300}, {280, 300});
    ASSERT_TRUE(c->reading());
    EXPECT_DOUBLE_EQ(c->reading()->ms, 1000.0);
    EXPECT_EQ(c->readingText().left(20), QString::fromUtf8("Δt 1000 мс  60 уд/ми"));
    const double gain = w->display().geometry().gain;
    drag(*c, {200, 300}, {200, 268});
    EXPECT_NEAR(c->reading()->mv, 32 / (gain * signal::kUnitsPerMillivolt), 1e-9);

    // The measurements of the 10 s from the page's start.
    measurementsAction->trigger();
    auto* window = w->findChild<measure::ui::MeasurementsWindow*>("measurementsWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Измерения"));
    EXPECT_EQ(window->valueText(0), "60");
    EXPECT_NEAR(window->valueText(4).toDouble(), 100, 10) << "QRS";
    EXPECT_NEAR(window->valueText(3).toDouble(), 160, 10) << "PR";
    EXPECT_NEAR(window->valueText(5).toDouble(), 400, 20) << "QT";
    EXPECT_NEAR(window->valueText(9).toDouble(), 30, 10) << "QRS axis";
    // The statements of the same ten seconds, each with why: a sinus rhythm at 60 per minute.
    QTableWidget* statements = window->statementTable();
    ASSERT_GT(statements->rowCount(), 0);
    bool sinus = false;
    for (int row = 0; row < statements->rowCount(); ++row) {
        EXPECT_FALSE(statements->item(row, 1)->text().isEmpty()) << row;
        if (statements->item(row, 0)->toolTip() == "SR") {
            sinus = true;
            EXPECT_EQ(statements->item(row, 0)->text(), QString::fromUtf8("Синусовый ритм"));
            EXPECT_TRUE(statements->item(row, 1)->text().contains("60"))
                << statements->item(row, 1)->text().toStdString();
        }
    }
    EXPECT_TRUE(sinus);

    // Paging moves calipers off and the window along; drawing calipers keeps the page.
    w->Forward->click();
    EXPECT_FALSE(c->reading());
    QCoreApplication::processEvents();
    drag(*c, {100, 300}, {180, 300});
    QCoreApplication::processEvents();
    EXPECT_EQ(w->display().pageNumber(), 1);
    EXPECT_TRUE(c->reading());
    EXPECT_TRUE(
        window->findChild<QLabel*>("measurementsSpan")
            ->text()
            .contains(QString::number(w->display().pageStartOffset() / 16 / 800.0, 'f', 1)
                          .replace(QLatin1Char('.'), QLatin1Char(',')))); // Russian notation
    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_EQ(label->text(), "HR 60");
    EXPECT_EQ(window->windowTitle(), "Measurements");
    EXPECT_EQ(measurementsAction->text(), "Measurements");

    // Leaving review takes the rate and the calipers away.
    w->showEmptyState();
    EXPECT_FALSE(label->isVisible());
    EXPECT_FALSE(c->active());
}

TEST_F(MeasurementsTest, LiveSweepShowsTheRateOfTheLastBeats) {
    QStringList lines = {QString::fromUtf8("10 мм/мВ"),
                         "I..V6",
                         QString::fromUtf8("25 мм/с"),
                         "SIM",
                         "1",
                         "9",
                         "2",
                         "0"};
    writeSettingsLines(work(), lines);
    auto w = makeWindow();
    dialogs.script.push_back(pickInCardFile(0, -1, "Write"));
    w->cardFileAction->trigger();
    auto* label = rateLabel(*w);
    ASSERT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), QString::fromUtf8("ЧСС --"));
    // The simulated instrument beats at about 72 per minute.
    ASSERT_TRUE(waitFor([&] { return label->rate().has_value(); }, 15000));
    EXPECT_NEAR(*label->rate(), 72, 5);
    EXPECT_FALSE(calipers(*w)->active()) << "no calipers on the live sweep";
    w->Stop->click();
}
