// SPDX-License-Identifier: GPL-3.0-or-later
// The print range dialog and the Print / Print setup commands, driven through the UI seams.
#include "print/ui/PrintCommands.h"
#include "print/ui/PrintRangeDialog.h"

#include "signal/Recording.h"
#include "signal/SampleRecord.h"
#include "ui/ViewState.h"
#include "ui/testing/TestSeams.h"
#include "ui/testing/WindowThreadWatch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace velkard;
using namespace velkard::print::ui;

namespace {

class PrintCommandsTest : public ::testing::Test {
protected:
    velkard::ui::ViewState state;
    void SetUp() override {
        state.printRange = {};
        state.setLanguage(velkard::ui::Language::Russian);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("printed.pdf")));
        request.printer = &printer;
        recording.assign(std::vector<std::uint8_t>(10 * 800 * 16, 0));
        request.durationEdit = &edit;
        request.durationLabel = &label;
        request.recordingShown = true;
        request.recording = &recording;
        request.durationSeconds = 10;
        request.speedText = QStringLiteral("25 mm/s");
        request.scaleText = QStringLiteral("10 mm/mV");
        request.patientName = QStringLiteral("Петров");
        edit.show();
        label.show();
    }
    void TearDown() override { state.setLanguage(velkard::ui::Language::Russian); }

    bool printed() const { return QFileInfo(printer.outputFileName()).size() > 0; }

    QTemporaryDir dir;
    QPrinter printer{QPrinter::HighResolution};
    signal::RecordingBuffer recording;
    QLineEdit edit;
    QLabel label;
    PrintRequest request;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
};

// Confirms a dialog as the user would with its settings unchanged. (QPrintDialog::accept() would
// copy the offscreen dialog's defaults over the PDF output set up here.)
int accept(QDialog&) {
    return QDialog::Accepted;
}

} // namespace

TEST(RangePrintDialog, StartsWithAllAndDisabledRange) {
    velkard::ui::ViewState state;
    state.printRange = {};
    state.printRange.all = false;
    state.printRange.beginText = QStringLiteral("1");
    state.printRange.endText = QStringLiteral("2");
    PrintRangeDialog d(state);
    EXPECT_TRUE(d.wholeButton->isChecked());
    EXPECT_FALSE(d.rangeButton->isChecked());
    EXPECT_TRUE(state.printRange.all);
    for (QWidget* w : {static_cast<QWidget*>(d.beginLabel), static_cast<QWidget*>(d.endLabel),
                       static_cast<QWidget*>(d.beginEdit), static_cast<QWidget*>(d.endEdit)})
        EXPECT_FALSE(w->isEnabled());
    d.rangeButton->click();
    EXPECT_FALSE(state.printRange.all);
    EXPECT_TRUE(d.beginEdit->isEnabled());
    EXPECT_TRUE(d.endLabel->isEnabled());
    EXPECT_FALSE(d.wholeButton->isChecked());
    d.wholeButton->click();
    EXPECT_TRUE(state.printRange.all);
    EXPECT_FALSE(d.endEdit->isEnabled());
}

TEST(RangePrintDialog, TypedTextsLiveOnIntoTheNextDialog) {
    velkard::ui::ViewState state;
    state.printRange = {};
    {
        PrintRangeDialog first(state);
        first.rangeButton->click();
        first.beginEdit->setText(QStringLiteral("3"));
        first.endEdit->setText(QStringLiteral("8"));
        first.OK->click();
        EXPECT_EQ(first.result(), QDialog::Accepted);
    }
    EXPECT_EQ(state.printRange.beginText, QStringLiteral("3"));
    EXPECT_EQ(state.printRange.endText, QStringLiteral("8"));
    PrintRangeDialog second(state);
    EXPECT_TRUE(state.printRange.all); // set again by every new dialog
    EXPECT_EQ(second.beginEdit->text(), QStringLiteral("3"));
    EXPECT_EQ(second.endEdit->text(), QStringLiteral("8"));
}

TEST(RangePrintDialog, CaptionsInBothLanguages) {
    velkard::ui::ViewState state;
    PrintRangeDialog d(state);
    EXPECT_EQ(d.objectName(), QStringLiteral("PrintRangeDialog"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Диапазон вывода на печать"));
    EXPECT_EQ(d.rangeButton->text(), QStringLiteral("Выборочно"));
    // The form's own text has two blanks after the comma; the Russian texts set before showing
    // it have one.
    EXPECT_EQ(d.beginLabel->text(), QStringLiteral("Начало,  сек"));
    EXPECT_EQ(d.Cancel->text(), QStringLiteral("Отмена"));
    d.applyLanguage(true);
    EXPECT_EQ(d.beginLabel->text(), QStringLiteral("Начало, сек"));
    EXPECT_EQ(d.endLabel->text(), QStringLiteral("Конец, сек"));
    d.applyLanguage(false);
    // All English, with no Cyrillic letter hiding among the Latin ones.
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Print range"));
    EXPECT_EQ(d.wholeButton->text(), QStringLiteral("All"));
    EXPECT_EQ(d.rangeButton->text(), QStringLiteral("Range"));
    EXPECT_EQ(d.beginLabel->text(), QStringLiteral("Start, s"));
    EXPECT_EQ(d.endLabel->text(), QStringLiteral("End, s"));
    EXPECT_EQ(d.Cancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(d.OK->text(), QStringLiteral("OK"));
}

TEST_F(PrintCommandsTest, WithoutAPrinterPrintWritesAPdfFileChosenInAFileDialog) {
    request.printer = nullptr;
    const QString target = dir.filePath(QStringLiteral("ecg.pdf"));
    dialogs.fallback = [&](QDialog& d) {
        if (auto* files = qobject_cast<QFileDialog*>(&d))
            files->selectFile(target);
        return int(QDialog::Accepted);
    };
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
    EXPECT_TRUE(std::find(dialogs.shownNames.begin(), dialogs.shownNames.end(),
                          QStringLiteral("pdfFileDialog")) != dialogs.shownNames.end());
    // The file written is confirmed, as an export is.
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(),
              QString::fromUtf8("ЭКГ сохранена в файл PDF\n") + QDir::toNativeSeparators(target));
    messages.shown.clear();
    QFile pdf(target);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == QByteArray("%PDF-"));
    EXPECT_FALSE(edit.isVisible());
    EXPECT_FALSE(label.isVisible());

    // Print setup tells where printing goes, in the interface language.
    runPrintSetup(seams, nullptr, nullptr, nullptr, nullptr, false);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.lastText(),
              QStringLiteral("No printer is installed: Print saves the ECG as a PDF file"));
}

TEST_F(PrintCommandsTest, NoShownRecordingPrintsNothing) {
    request.recordingShown = false;
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::NoRecording);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Выберите ЭКГ пациента"));
    EXPECT_TRUE(dialogs.shownNames.empty());
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, CancelOrEscapeInTheRangeDialogPrintsNothing) {
    // Cancel, then Esc: each ends the command before any printer or file dialog.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<PrintRangeDialog&>(d).Cancel->click();
        return d.result();
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Cancelled);
    dialogs.script.push_back([](QDialog& d) {
        QTest::keyClick(&d, Qt::Key_Escape);
        return d.result();
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Cancelled);
    EXPECT_EQ(dialogs.shownNames, (std::vector<QString>{QStringLiteral("PrintRangeDialog"),
                                                        QStringLiteral("PrintRangeDialog")}));
    EXPECT_FALSE(printed());
    EXPECT_TRUE(messages.shown.empty());

    // OK goes on to the printer dialog.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<PrintRangeDialog&>(d).OK->click();
        return d.result();
    });
    dialogs.script.push_back([this](QDialog& d) {
        auto* pd = qobject_cast<QPrintDialog*>(&d);
        EXPECT_NE(pd, nullptr);
        EXPECT_EQ(pd->printer(), &printer);
        return accept(d);
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
    EXPECT_TRUE(printed());
}

TEST_F(PrintCommandsTest, CancelInThePrinterDialogPrintsNothing) {
    dialogs.script.push_back([](QDialog& d) { return accept(d); });
    dialogs.script.push_back([](QDialog& d) {
        d.reject();
        return QDialog::Rejected;
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Cancelled);
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, BadRangeKeepsTheRangeDialogOpenWithTheFieldMarked) {
    state.setLanguage(velkard::ui::Language::English);
    dialogs.script.push_back([this](QDialog& d) {
        auto& range = dynamic_cast<PrintRangeDialog&>(d);
        range.rangeButton->click();
        // Past the 10 s recording: the end is marked, the dialog stays, nothing is printed yet.
        range.beginEdit->setText(QStringLiteral("4"));
        range.endEdit->setText(QStringLiteral("12"));
        range.OK->click();
        EXPECT_NE(range.result(), QDialog::Accepted);
        EXPECT_FALSE(range.errorLabel->isHidden());
        EXPECT_TRUE(range.errorLabel->text().contains(QStringLiteral("10 s")));
        EXPECT_TRUE(range.endEdit->property("invalid").toBool());
        EXPECT_FALSE(range.beginEdit->property("invalid").toBool());
        // A begin after the end marks the begin; letters mark the field that has them.
        range.beginEdit->setText(QStringLiteral("9"));
        range.endEdit->setText(QStringLiteral("5"));
        range.OK->click();
        EXPECT_NE(range.result(), QDialog::Accepted);
        EXPECT_TRUE(range.beginEdit->property("invalid").toBool());
        EXPECT_FALSE(range.endEdit->property("invalid").toBool());
        range.endEdit->setText(QStringLiteral("5s"));
        range.OK->click();
        EXPECT_TRUE(range.endEdit->property("invalid").toBool());
        EXPECT_FALSE(printed());
        // Mended, OK goes on.
        range.beginEdit->setText(QStringLiteral("4"));
        range.endEdit->setText(QStringLiteral("10"));
        range.OK->click();
        EXPECT_EQ(range.result(), QDialog::Accepted);
        EXPECT_TRUE(range.errorLabel->isHidden());
        EXPECT_FALSE(range.endEdit->property("invalid").toBool());
        return -1;
    });
    dialogs.script.push_back([](QDialog& d) { return accept(d); });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialogs.shownNames.size(), 2u);
    EXPECT_TRUE(printed());

    // A report from a second that is no number: its field is marked, Cancel ends the command.
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<PrintRangeDialog&>(d);
        range.reportButton->click();
        range.reportFromEdit->setText(QStringLiteral("-3"));
        range.OK->click();
        EXPECT_NE(range.result(), QDialog::Accepted);
        EXPECT_TRUE(range.reportFromEdit->property("invalid").toBool());
        EXPECT_FALSE(range.errorLabel->text().isEmpty());
        range.Cancel->click();
        return -1;
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Cancelled);
}

TEST_F(PrintCommandsTest, AReportThatCannotStartWhereAskedSaysWhereItStarts) {
    // 40 s recorded, a report asked from second 35: it shows 30–40 and says so.
    recording.assign(std::vector<std::uint8_t>(40 * 800 * 16, 0));
    request.durationSeconds = 40;
    for (int wished : {35, 12}) {
        messages.shown.clear();
        dialogs.script.push_back([wished](QDialog& d) {
            auto& range = dynamic_cast<PrintRangeDialog&>(d);
            range.reportButton->click();
            range.reportFromEdit->setText(QString::number(wished));
            range.OK->click();
            return -1;
        });
        dialogs.script.push_back([](QDialog& d) { return accept(d); });
        EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
        if (wished == 35) {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("30 с")));
            EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("35 с")));
            EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Информация"));
        } else {
            EXPECT_TRUE(messages.shown.empty()); // 12–22 fits: nothing to say
        }
    }
}

TEST_F(PrintCommandsTest, SelectiveRangeWithoutTypingUsesEmptyTextsAndIsRefused) {
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<PrintRangeDialog&>(d).rangeButton->click();
        return QDialog::Accepted;
    });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::BadRange);
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Ошибка"));
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, ValidRangePrints) {
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<PrintRangeDialog&>(d);
        range.rangeButton->click();
        range.beginEdit->setText(QStringLiteral("2"));
        range.endEdit->setText(QStringLiteral("5"));
        return QDialog::Accepted;
    });
    dialogs.script.push_back([](QDialog& d) { return accept(d); });
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
    EXPECT_TRUE(printed());
}

TEST_F(PrintCommandsTest, PrintSetupRunsThePageSetupDialog) {
    dialogs.fallback = [](QDialog& d) { return accept(d); };
    runPrintSetup(seams, &printer, nullptr, &edit, &label);
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("pageSetupDialog")});
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(edit.isVisible());
}

// A whole hour printed into a PDF runs off the window thread: the progress dialog counts the
// pages, the window thread never goes long without handling its events, and Cancel stops the job
// long before its end, leaving no file (neither the PDF nor its temporary) and saying nothing.
// The same through a printer: the printer's "print to file" PDF is not left behind either.
TEST_F(PrintCommandsTest, PrintingAnHourRunsOffTheWindowThreadAndCancelLeavesNoFile) {
    std::vector<std::uint8_t> bytes(std::size_t(3600) * 800 * 16);
    for (std::size_t i = 0; i < bytes.size() / 2; ++i)
        signal::writeLe16(bytes.data() + 2 * i, std::int16_t(int(i / 8 % 400) - 200));
    recording.assign(std::move(bytes));
    request.durationSeconds = 3600;
    const QString target = dir.filePath(QStringLiteral("hour.pdf"));
    for (const bool withPrinter : {false, true}) {
        SCOPED_TRACE(withPrinter ? "printer" : "PDF file");
        request.printer = withPrinter ? &printer : nullptr;
        // The trace runs from 20 mm to 3 mm before the right edge of the paint rectangle (the
        // whole A4 sheet of a PDF, the printable area of a printer), at 25 mm/s.
        const double widthMm =
            withPrinter ? printer.pageLayout().paintRect(QPageLayout::Millimeter).width() : 210.0;
        const int recordsPerPage = int((widthMm - 3 - 20) / 25 * 800);
        const int pages = (3600 * 800 + recordsPerPage - 1) / recordsPerPage;
        dialogs.fallback = [&](QDialog& d) {
            if (auto* files = qobject_cast<QFileDialog*>(&d))
                files->selectFile(target);
            return int(QDialog::Accepted);
        };
        velkard::ui::WindowThreadWatch watch;
        watch.cancelAt(3);
        EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Cancelled);
        ASSERT_TRUE(watch.cancelPressed());
        const qint64 stopped = watch.sinceCancelMs();
        RecordProperty(withPrinter ? "printerCancelStoppedMs" : "pdfCancelStoppedMs", int(stopped));
        // A job that ignored Cancel would run on for hundreds of pages.
        EXPECT_LT(stopped, 2000);
        EXPECT_LE(watch.longestGapMs(), velkard::ui::kResponsiveGapMs);
        EXPECT_GE(watch.seenValue(), 3);
        EXPECT_EQ(watch.seenMaximum(), pages);
        EXPECT_TRUE(watch.seenLabel().startsWith(QString::fromUtf8("Печать: страница ")))
            << watch.seenLabel().toStdString();
        EXPECT_TRUE(watch.seenLabel().endsWith(QStringLiteral(" из %1").arg(pages)))
            << watch.seenLabel().toStdString();
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList());
    }
}

// The 12-lead report runs off the window thread as the whole recording does: the progress dialog
// shows while it is drawn, the window thread never goes long without handling its events, and
// Cancel stops it at its next step, leaving no file (neither the PDF nor its temporary, nor the
// printer's "print to file" PDF) and saying nothing.
TEST_F(PrintCommandsTest, TheReportRunsOffTheWindowThreadAndCancelLeavesNoFile) {
    // Ten minutes of beats, filtered as the review shows them: the measurements and the filters
    // take the report long enough to be cancelled part way.
    std::vector<std::uint8_t> bytes(std::size_t(600) * 800 * 16);
    for (std::size_t r = 0; r < bytes.size() / 16; ++r)
        for (int c = 0; c < 8; ++c) {
            const double t = double(r % 640) / 800 - 0.3;
            signal::writeLe16(bytes.data() + 16 * r + 2 * std::size_t(c),
                              std::int16_t(900 * std::exp(-t * t / 0.0002) * (1 + 0.1 * c)));
        }
    recording.assign(std::move(bytes));
    request.durationSeconds = 600;
    state.filters = {filter::Mains::Hz50, filter::HighPass::Hz005, filter::LowPass::Hz40};
    const QString target = dir.filePath(QStringLiteral("report.pdf"));
    for (const bool withPrinter : {false, true}) {
        SCOPED_TRACE(withPrinter ? "printer" : "PDF file");
        request.printer = withPrinter ? &printer : nullptr;
        dialogs.script.push_back([](QDialog& d) {
            auto& range = dynamic_cast<PrintRangeDialog&>(d);
            range.reportButton->click();
            range.reportFromEdit->setText(QStringLiteral("300"));
            range.OK->click();
            return -1;
        });
        dialogs.fallback = [&](QDialog& d) {
            if (auto* files = qobject_cast<QFileDialog*>(&d))
                files->selectFile(target);
            return int(QDialog::Accepted);
        };
        // The report takes a fraction of a second, shorter than the progress dialog takes to
        // show a first value (WindowThreadWatch::cancelAt waits for one): Cancel is pressed as
        // soon as the dialog is up, while the measurements are still being made.
        velkard::ui::WindowThreadWatch watch;
        QElapsedTimer pressed;
        QTimer presser;
        presser.setInterval(2);
        QObject::connect(&presser, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* progress = qobject_cast<QProgressDialog*>(w);
                if (pressed.isValid() || !progress || !progress->isVisible() ||
                    progress->objectName() != QLatin1String("progressDialog"))
                    continue;
                if (auto* button = progress->findChild<QPushButton*>()) {
                    pressed.start();
                    button->click();
                }
            }
        });
        presser.start();
        const PrintOutcome outcome = runPrint(state, seams, request);
        presser.stop();
        ASSERT_TRUE(pressed.isValid());
        const qint64 stopped = pressed.elapsed();
        RecordProperty(withPrinter ? "reportPrinterCancelStoppedMs" : "reportPdfCancelStoppedMs",
                       int(stopped));
        EXPECT_EQ(outcome, PrintOutcome::Cancelled);
        // The longest step that cannot stop part way is the measurements of the header: about
        // 20 ms in a release build, up to 0.3 s under the sanitizers on a busy machine. A report
        // that ignored Cancel would be written and the outcome Printed.
        EXPECT_LT(stopped, 1000);
        EXPECT_LE(watch.longestGapMs(), velkard::ui::kResponsiveGapMs);
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                  QStringList());
    }

    // Not cancelled, the same report is written whole, off the window thread all the same.
    request.printer = nullptr;
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<PrintRangeDialog&>(d);
        range.reportButton->click();
        range.reportFromEdit->setText(QStringLiteral("300"));
        range.OK->click();
        return -1;
    });
    velkard::ui::WindowThreadWatch watch;
    EXPECT_EQ(runPrint(state, seams, request), PrintOutcome::Printed);
    EXPECT_LE(watch.longestGapMs(), velkard::ui::kResponsiveGapMs);
    EXPECT_TRUE(watch.seenLabel().startsWith(QString::fromUtf8("Печать: страница ")))
        << "the progress dialog was shown while the report was drawn";
    QFile pdf(target);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == QByteArray("%PDF-"));
}
