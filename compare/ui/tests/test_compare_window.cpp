// SPDX-License-Identifier: GPL-3.0-or-later
// Compare driven headless from the card-file window over a card file of two synthetic ECGs of one
// patient, the later with a left bundle branch block: the choice of the other recording, the
// window's measurements and statements, and the printed page read back with poppler's tools.
#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "compare/ui/CompareCommands.h"
#include "compare/ui/CompareWindow.h"
#include "interpret/Report.h"
#include "print/tests/PdfTools.h"
#include "sim/SyntheticEcg.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"

#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <fstream>
#include <gtest/gtest.h>

using namespace velkard;
using compare::ui::CompareWindow;
using compare::ui::PickRecordingDialog;

namespace {

const char* kLbbb = "qrs=160,qt=460,axis=0,q=0,s=0,taxis=180,qV5=0,qV6=0,qV4=0,rV1=0.1,sV1=1.6,"
                    "rV2=0.2,sV2=1.8,sV5=0,sV6=0,tV5=-0.3,tV6=-0.3,tV1=0.4";

std::string recordingBytes(const std::string& beat, std::uint32_t seed) {
    sim::EcgParameters params;
    EXPECT_TRUE(sim::parseBeatParameters("hr=72,irregular=0.01," + beat, params.beat));
    EXPECT_TRUE(sim::parseNoiseParameters("white=0.01,wander=0.1", params.noise));
    const auto records = sim::SyntheticEcg::records(seed, params, 12 * signal::kRecordsPerSecond);
    std::string bytes(records.size() * signal::kRecordBytes, '\0');
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(
                reinterpret_cast<std::uint8_t*>(&bytes[i * signal::kRecordBytes + 2 * c]),
                records[i].c[c]);
    return bytes;
}

class CompareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cardfile::PatientRecord r;
        r.name = "Петров Пётр Петрович";
        r.birthDate = "01.02.1960";
        r.sex = "Муж";
        r.id = cf.newPatientId();
        ASSERT_TRUE(cf.createPatientArchive(r.id));
        ASSERT_TRUE(cf.appendPatientRecord(r));
        id = r.id;
    }
    int addEcg(const std::string& bytes, const char* date, const char* time,
               std::string_view kind = "") {
        const int n = cf.nextRecordNumber(id);
        std::ofstream(cf.recordingPath(id, n), std::ios::binary) << bytes;
        EXPECT_TRUE(
            cf.appendArchiveEntry(id, n, date, time, cardfile::EntryDuration::ofSeconds(12), kind));
        return n;
    }
    // The archive row of recording `number` selected in a window on the first patient.
    static void selectEntry(cardfile::ui::CardFileWindow& w, int number) {
        w.patientList->setCurrentItem(w.patientList->topLevelItem(0));
        for (int i = 0; i < w.archiveList->topLevelItemCount(); ++i)
            if (w.archiveList->topLevelItem(i)->text(0).trimmed().toInt() == number)
                w.archiveList->setCurrentItem(w.archiveList->topLevelItem(i));
    }
    static QTreeWidgetItem* rowNamed(QTreeWidget* list, const QString& name) {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(0) == name)
                return list->topLevelItem(i);
        return nullptr;
    }
    static QStringList changes(const CompareWindow& w, const QString& kind) {
        QStringList out;
        for (int i = 0; i < w.statementList->topLevelItemCount(); ++i)
            if (w.statementList->topLevelItem(i)->text(0) == kind)
                out << w.statementList->topLevelItem(i)->data(0, Qt::UserRole).toString();
        out.sort();
        return out;
    }
    // A picture of the window or page for a person to look at, when VELKARD_COMPARE_PICTURES
    // names a folder.
    static void keepPicture(const QImage& image, const char* name) {
        const QByteArray folder = qgetenv("VELKARD_COMPARE_PICTURES");
        if (!folder.isEmpty())
            image.save(QString::fromLocal8Bit(folder) + QLatin1Char('/') +
                       QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    cardfile::CardFile cf{dir.path().toStdString()};
    std::string id;
    velkard::ui::ViewState state;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
};

// Compare is offered only for an ECG of a patient with another ECG (rhythmograms do not count),
// proposes the latest ECG recorded before the chosen one, and shows the earlier first: the new
// block appears, the normal ECG disappears, QRS and QT grew by what the generator was given.
TEST_F(CompareTest, TheCardFileComparesAnEcgWithAnEarlierOne) {
    const int rhythm =
        addEcg(std::string(64, '\0'), "10.01.2024", "08:00:00", cardfile::kKindRhythm);
    const int first = addEcg(recordingBytes("", 3), "01.02.2025", "10:00:00");
    {
        cardfile::ui::CardFileWindow window(state, seams, dir.path().toStdString());
        EXPECT_FALSE(window.Compare->isVisibleTo(&window)); // no action given
        compare::ui::offerCompare(window, seams, state);
        EXPECT_TRUE(window.Compare->isVisibleTo(&window));
        EXPECT_EQ(window.Compare->text(), QString::fromUtf8("Сравнить"));
        selectEntry(window, first);
        EXPECT_FALSE(window.Compare->isEnabled()); // the rhythmogram is no ECG to compare with
        selectEntry(window, rhythm);
        EXPECT_FALSE(window.Compare->isEnabled());
    }
    const int second = addEcg(recordingBytes(kLbbb, 5), "05.03.2026", "11:30:00");
    const int third = addEcg(recordingBytes("", 9), "07.04.2026", "09:00:00");

    cardfile::ui::CardFileWindow window(state, seams, dir.path().toStdString());
    compare::ui::offerCompare(window, seams, state);
    EXPECT_FALSE(window.Compare->isEnabled()); // nothing selected
    selectEntry(window, second);
    ASSERT_TRUE(window.Compare->isEnabled());

    QStringList offered;
    QString proposed;
    const QString pdf = dir.filePath(QStringLiteral("compare.pdf"));
    bool windowShown = false;
    dialogs.script.push_back([&](QDialog& d) {
        auto* pick = dynamic_cast<PickRecordingDialog*>(&d);
        EXPECT_NE(pick, nullptr);
        if (!pick)
            return int(QDialog::Rejected);
        for (int i = 0; i < pick->recordingList->topLevelItemCount(); ++i)
            offered << pick->recordingList->topLevelItem(i)->text(1);
        if (pick->recordingList->currentItem())
            proposed = pick->recordingList->currentItem()->text(1);
        pick->OK->click();
        return -1;
    });
    dialogs.script.push_back([&](QDialog& d) {
        auto* w = dynamic_cast<CompareWindow*>(&d);
        EXPECT_NE(w, nullptr);
        if (!w)
            return int(QDialog::Rejected);
        windowShown = true;
        // The earlier recording's column comes first.
        EXPECT_EQ(w->measurementList->headerItem()->text(1), QStringLiteral("01.02.2025"));
        EXPECT_EQ(w->measurementList->headerItem()->text(2), QStringLiteral("05.03.2026"));
        EXPECT_EQ(w->measurementList->topLevelItemCount(), 11);
        QTreeWidgetItem* qrs = rowNamed(w->measurementList, QString::fromUtf8("QRS, мс"));
        EXPECT_NE(qrs, nullptr);
        if (qrs) {
            EXPECT_NEAR(qrs->text(1).toInt(), 90, 15);
            EXPECT_NEAR(qrs->text(2).toInt(), 160, 15);
            EXPECT_TRUE(qrs->text(3).startsWith(QLatin1Char('+')));
            EXPECT_EQ(qrs->text(3).toInt(), qrs->text(2).toInt() - qrs->text(1).toInt());
        }
        // Axes: 60 -> 0 degrees, the difference the short way round.
        QTreeWidgetItem* axis = rowNamed(w->measurementList, QString::fromUtf8("Ось QRS, °"));
        EXPECT_NE(axis, nullptr);
        if (axis) {
            EXPECT_NEAR(axis->text(3).toInt(), -60, 20);
        }
        EXPECT_EQ(changes(*w, QString::fromUtf8("Появилось")), QStringList{"CLBBB"});
        EXPECT_EQ(changes(*w, QString::fromUtf8("Исчезло")), QStringList{"NORM"});
        EXPECT_EQ(changes(*w, QString::fromUtf8("Без изменений")), QStringList{"SR"});
        EXPECT_TRUE(w->headerLabel->text().contains(QString::fromUtf8("Петров Пётр Петрович")));
        w->resize(1000, 720);
        keepPicture(w->grab().toImage(), "compare-window.png");

        // Print: the same on one page of a PDF file.
        dialogs.script.push_front([&](QDialog& files) {
            EXPECT_EQ(files.objectName(), QStringLiteral("comparePdfFileDialog"));
            if (auto* f = qobject_cast<QFileDialog*>(&files))
                f->selectFile(pdf);
            return int(QDialog::Accepted);
        });
        w->Print->click();
        w->Close->click();
        return -1;
    });
    window.Compare->click();
    ASSERT_TRUE(windowShown);
    EXPECT_EQ(offered, (QStringList{"07.04.2026", "01.02.2025"})); // newest first, no rhythmogram
    EXPECT_EQ(proposed, QStringLiteral("01.02.2025"));
    (void)third;

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(), QString::fromUtf8("Сравнение ЭКГ сохранено в файл PDF\n") + pdf);
    EXPECT_EQ(print::test::pdfPages(pdf), 1);
    const QString text = print::test::pdfText(pdf, 1).simplified();
    for (const char* expected :
         {"Сравнение ЭКГ", "Пациент: Петров Пётр Петрович", "Ранее: 01.02.2025 10:00:00",
          "Теперь: 05.03.2026 11:30:00", "QRS, мс", "QTc (Фридеричиа), мс", "Появилось:",
          "Исчезло: Нормальная ЭКГ", "Без изменений: Синусовый ритм", "50 мм/с 10 мм/мВ"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(
        "Появилось: " + interpret::statementText("CLBBB", interpret::Language::Russian))));
    keepPicture(print::test::rasterPage(pdf, 1, 100), "compare-page.png");
}

// A confirmed report speaks for its ECG: the physician struck out the program's block and wrote
// another statement, so the comparison says what the report says. An unconfirmed report does
// not. English texts follow the language.
TEST_F(CompareTest, AConfirmedReportSpeaksForItsEcg) {
    const int first = addEcg(recordingBytes("", 3), "01.02.2025", "10:00:00");
    const std::string lbbb = recordingBytes(kLbbb, 5);
    const int second = addEcg(lbbb, "05.03.2026", "11:30:00");
    auto interpretation = interpret::interpretRecording(
        {reinterpret_cast<const std::uint8_t*>(lbbb.data()), lbbb.size()}, 0, 8000);
    interpret::Report report =
        interpret::draftReport(interpretation.statements, "05.03.2026 11:30:00", 0, 8000);
    for (std::size_t i = 0; i < report.statements.size(); ++i)
        if (report.statements[i].code == "CLBBB")
            interpret::removeStatement(report, i);
    interpret::addStatement(report, "IVCD");
    const auto store = [&] {
        ASSERT_TRUE(cf.writeReport(id, second, interpret::encodeReport(report), {"Иванова", "t@h"},
                                   "changed"));
    };
    store();
    const cardfile::PatientRecord patient = cf.readPatient(0).value;
    const auto entries = cf.listArchiveEntries(id).value;
    const auto compared = [&] {
        auto a = compare::ui::examineRecording(cf, patient, entries[0]);
        auto b = compare::ui::examineRecording(cf, patient, entries[1]);
        EXPECT_TRUE(a && b);
        return std::make_unique<CompareWindow>(state, seams, patient, std::move(a.value),
                                               std::move(b.value));
    };
    {
        auto w = compared(); // not confirmed: the program's statements
        EXPECT_EQ(changes(*w, QString::fromUtf8("Появилось")), QStringList{"CLBBB"});
    }
    interpret::confirmReport(report, "Иванова А. П.", "05.03.2026 12:00:00");
    store();
    state.language = velkard::ui::Language::English;
    auto w = compared();
    w->applyLanguage(velkard::ui::Language::English);
    EXPECT_EQ(changes(*w, QStringLiteral("Appeared")), QStringList{"IVCD"});
    EXPECT_EQ(changes(*w, QStringLiteral("Disappeared")), QStringList{"NORM"});
    EXPECT_TRUE(w->headerLabel->text().contains(QStringLiteral("Иванова А. П.")));
    EXPECT_EQ(w->page().statementLines.front(),
              QStringLiteral("Appeared: ") + QString::fromStdString(interpret::statementText(
                                                 "IVCD", interpret::Language::English)));
    (void)first;
}

// A recording filed from a file lacking leads is compared on the leads it carries: without lead I
// no frontal axis is claimed and lead I has no values, while the same recording filed whole has
// both.
TEST_F(CompareTest, ARecordingLackingLeadsIsMeasuredWithoutThem) {
    const std::string bytes = recordingBytes("", 7);
    const std::span<const std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size());
    cardfile::LeadSet present{};
    present.fill(true);
    present[0] = false; // I
    present[4] = false; // aVL
    const std::string leads = cardfile::encodeLeadsFile(present, body);
    ASSERT_TRUE(cf.fileRecording(id, body, "01.02.2025", "10:00:00",
                                 cardfile::EntryDuration::ofSeconds(12), "", {}));
    ASSERT_TRUE(cf.fileRecording(id, body, "05.03.2026", "11:30:00",
                                 cardfile::EntryDuration::ofSeconds(12), "", leads));
    const cardfile::PatientRecord patient = cf.readPatient(0).value;
    const auto entries = cf.listArchiveEntries(id).value;
    ASSERT_EQ(entries.size(), 2u);
    auto whole = compare::ui::examineRecording(cf, patient, entries[0]);
    auto lacking = compare::ui::examineRecording(cf, patient, entries[1]);
    ASSERT_TRUE(whole && lacking);
    const auto& w = whole.value.interpretation.measurements;
    const auto& l = lacking.value.interpretation.measurements;
    EXPECT_TRUE(w.qrsAxisDeg.has_value());
    EXPECT_TRUE(w.leads[0].rMv.has_value());
    EXPECT_FALSE(l.qrsAxisDeg.has_value());
    EXPECT_FALSE(l.leads[0].rMv.has_value());
    EXPECT_FALSE(l.leads[4].rMv.has_value());
    // The leads it carries measure as in the whole recording.
    ASSERT_TRUE(w.leads[1].rMv && l.leads[1].rMv);
    EXPECT_NEAR(*l.leads[1].rMv, *w.leads[1].rMv, 0.02);

    // Its median beats are drawn in the leads it carries only: what stands in I and aVL is a
    // derivation of the others, and drawn it passed for a measured lead. The panels of the first
    // row, I, II, III, aVR, aVL, aVF: red ink in each but I's and aVL's.
    EXPECT_FALSE(whole.value.hidden[0] || lacking.value.hidden[1]);
    compare::ui::BeatTrace trace{&lacking.value.median, l.qrsOnsetAt, QColor(Qt::red),
                                 lacking.value.hidden};
    constexpr double kPxPerMm = 4, kHeightMm = 80;
    const double panelMm = (compare::ui::kBeatToSeconds - compare::ui::kBeatFromSeconds) *
                           compare::ui::kBeatMmPerSecond;
    const double firstPanelMm = 2 + compare::ui::medianBeatsWidthMm() - 6 * panelMm;
    QImage img(int((compare::ui::medianBeatsWidthMm() + 4) * kPxPerMm), int(kHeightMm * kPxPerMm),
               QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter painter(&img);
        print::Paper paper;
        paper.pxPerMmX = paper.pxPerMmY = kPxPerMm;
        paper.widthMm = img.width() / kPxPerMm;
        paper.heightMm = kHeightMm;
        compare::ui::drawMedianBeats(painter, paper, 2, 0, kHeightMm, {trace});
    }
    for (int panel = 0; panel < 6; ++panel) {
        int red = 0;
        for (int x = int((firstPanelMm + panel * panelMm) * kPxPerMm) + 2;
             x < int((firstPanelMm + (panel + 1) * panelMm) * kPxPerMm) - 2; ++x)
            for (int y = 0; y < int(kHeightMm / 2 * kPxPerMm); ++y) {
                const QColor c = img.pixelColor(x, y);
                red += c.red() > 180 && c.green() < 120 && c.blue() < 120;
            }
        if (panel == 0 || panel == 4)
            EXPECT_EQ(red, 0) << panel;
        else
            EXPECT_GT(red, 20) << panel;
    }
}

} // namespace
