// The print range dialog and the Print / Print setup commands, driven through the UI seams.
#include "print/ui/PrintCommands.h"
#include "print/ui/RangePrint.h"

#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "signal/Recording.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace velkard;
using namespace velkard::print::ui;

namespace {

class PrintCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        print::printRangeChoice() = {};
        velkard::ui::flags().russian = true;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("printed.pdf")));
        setPrinterObject(&printer);
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
    void TearDown() override {
        resetPrinterObject();
        velkard::ui::flags().russian = true;
    }

    bool printed() const { return QFileInfo(printer.outputFileName()).size() > 0; }

    QTemporaryDir dir;
    QPrinter printer{QPrinter::HighResolution};
    signal::RecordingBuffer recording;
    QLineEdit edit;
    QLabel label;
    PrintRequest request;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    velkard::ui::ScopedMessages scopedMessages{&messages};
    velkard::ui::ScopedDialogs scopedDialogs{&dialogs};
};

// Confirms a dialog as the user would with its settings unchanged. (QPrintDialog::accept() would
// copy the offscreen dialog's defaults over the PDF output set up here.)
int accept(QDialog&) {
    return QDialog::Accepted;
}

} // namespace

TEST(RangePrintDialog, StartsWithAllAndDisabledRange) {
    print::printRangeChoice() = {false, QStringLiteral("1"), QStringLiteral("2")};
    TRangePrint d;
    EXPECT_TRUE(d.RadioButton1->isChecked());
    EXPECT_FALSE(d.RadioButton2->isChecked());
    EXPECT_TRUE(print::printRangeChoice().all);
    for (QWidget* w : {static_cast<QWidget*>(d.Label1), static_cast<QWidget*>(d.Label2),
                       static_cast<QWidget*>(d.Edit1), static_cast<QWidget*>(d.Edit2)})
        EXPECT_FALSE(w->isEnabled());
    d.RadioButton2->click();
    EXPECT_FALSE(print::printRangeChoice().all);
    EXPECT_TRUE(d.Edit1->isEnabled());
    EXPECT_TRUE(d.Label2->isEnabled());
    EXPECT_FALSE(d.RadioButton1->isChecked());
    d.RadioButton1->click();
    EXPECT_TRUE(print::printRangeChoice().all);
    EXPECT_FALSE(d.Edit2->isEnabled());
}

TEST(RangePrintDialog, TypedTextsLiveOnIntoTheNextDialog) {
    print::printRangeChoice() = {};
    {
        TRangePrint first;
        first.RadioButton2->click();
        first.Edit1->setText(QStringLiteral("3"));
        first.Edit2->setText(QStringLiteral("8"));
        first.OK->click();
        EXPECT_EQ(first.result(), QDialog::Accepted);
    }
    EXPECT_EQ(print::printRangeChoice().beginText, QStringLiteral("3"));
    EXPECT_EQ(print::printRangeChoice().endText, QStringLiteral("8"));
    TRangePrint second;
    EXPECT_TRUE(print::printRangeChoice().all); // set again by every new dialog
    EXPECT_EQ(second.Edit1->text(), QStringLiteral("3"));
    EXPECT_EQ(second.Edit2->text(), QStringLiteral("8"));
}

TEST(RangePrintDialog, CaptionsInBothLanguages) {
    TRangePrint d;
    EXPECT_EQ(d.objectName(), QStringLiteral("RangePrint"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Диапазон вывода на печать"));
    EXPECT_EQ(d.RadioButton2->text(), QStringLiteral("Выборочно"));
    // The form's own text has two blanks after the comma; the Russian texts set before showing
    // it have one.
    EXPECT_EQ(d.Label1->text(), QStringLiteral("Начало,  сек"));
    EXPECT_EQ(d.Cancel->text(), QStringLiteral("Отмена"));
    d.applyLanguage(true);
    EXPECT_EQ(d.Label1->text(), QStringLiteral("Начало, сек"));
    EXPECT_EQ(d.Label2->text(), QStringLiteral("Конец, сек"));
    d.applyLanguage(false);
    // The English caption carries a Cyrillic о (U+043E) and а (U+0430).
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Range of a conclusion \xD0\xBEn \xD0\xB0 print"));
    EXPECT_EQ(d.RadioButton1->text(), QStringLiteral("All"));
    EXPECT_EQ(d.RadioButton2->text(), QStringLiteral("Selectively"));
    EXPECT_EQ(d.Label1->text(), QStringLiteral("Begining, sec"));
    EXPECT_EQ(d.Label2->text(), QStringLiteral("The end, sec"));
    EXPECT_EQ(d.Cancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(d.OK->text(), QStringLiteral("OK"));
}

TEST_F(PrintCommandsTest, NoPrinterSaysSoAndShowsNoDialog) {
    setPrinterObject(nullptr);
    EXPECT_EQ(N10Click(request), PrintOutcome::NoPrinter);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Нет установленных принтеров"));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Ошибка"));
    EXPECT_TRUE(dialogs.shownNames.empty());
    EXPECT_FALSE(edit.isVisible());
    EXPECT_FALSE(label.isVisible());

    N9Click(nullptr, nullptr, nullptr);
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Нет установленных принтеров"));
    EXPECT_TRUE(dialogs.shownNames.empty());

    // The main window found no printer at start, even if one is configured now.
    setPrinterObject(&printer);
    request.printerExists = false;
    EXPECT_EQ(N10Click(request), PrintOutcome::NoPrinter);
    N9Click(nullptr, nullptr, nullptr, false);
    EXPECT_EQ(messages.shown.size(), 4u);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Нет установленных принтеров"));
    EXPECT_TRUE(dialogs.shownNames.empty());
}

TEST_F(PrintCommandsTest, NoShownRecordingPrintsNothing) {
    request.recordingShown = false;
    EXPECT_EQ(N10Click(request), PrintOutcome::NoRecording);
    EXPECT_EQ(messages.lastText(), QStringLiteral("Выберите ЭКГ пациента"));
    EXPECT_TRUE(dialogs.shownNames.empty());
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, CancelInTheRangeDialogStillLeadsToThePrinterDialog) {
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<TRangePrint&>(d);
        range.Cancel->click();
        return -1;
    });
    dialogs.script.push_back([this](QDialog& d) {
        auto* pd = qobject_cast<QPrintDialog*>(&d);
        EXPECT_NE(pd, nullptr);
        EXPECT_EQ(pd->printer(), &printer);
        EXPECT_EQ(printer.copyCount(), 1);
        return accept(d);
    });
    EXPECT_EQ(N10Click(request), PrintOutcome::Printed);
    EXPECT_EQ(dialogs.shownNames,
              (std::vector<QString>{QStringLiteral("RangePrint"), QStringLiteral("PrintDialog1")}));
    EXPECT_TRUE(printed());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PrintCommandsTest, CancelInThePrinterDialogPrintsNothing) {
    dialogs.script.push_back([](QDialog& d) { return accept(d); });
    dialogs.script.push_back([](QDialog& d) {
        d.reject();
        return QDialog::Rejected;
    });
    EXPECT_EQ(N10Click(request), PrintOutcome::Cancelled);
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, BadRangeIsRefusedBeforeThePrinterDialog) {
    velkard::ui::flags().russian = false;
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<TRangePrint&>(d);
        range.RadioButton2->click();
        range.Edit1->setText(QStringLiteral("4"));
        range.Edit2->setText(QStringLiteral("12")); // past the 10 s recording
        range.OK->click();
        return -1;
    });
    EXPECT_EQ(N10Click(request), PrintOutcome::BadRange);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("10 s")));
    EXPECT_EQ(messages.shown[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.shownNames.size(), 1u);
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, SelectiveRangeWithoutTypingUsesEmptyTextsAndIsRefused) {
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<TRangePrint&>(d).RadioButton2->click();
        return QDialog::Accepted;
    });
    EXPECT_EQ(N10Click(request), PrintOutcome::BadRange);
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Ошибка"));
    EXPECT_FALSE(printed());
}

TEST_F(PrintCommandsTest, ValidRangePrints) {
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<TRangePrint&>(d);
        range.RadioButton2->click();
        range.Edit1->setText(QStringLiteral("2"));
        range.Edit2->setText(QStringLiteral("5"));
        return QDialog::Accepted;
    });
    dialogs.script.push_back([](QDialog& d) { return accept(d); });
    EXPECT_EQ(N10Click(request), PrintOutcome::Printed);
    EXPECT_TRUE(printed());
}

TEST_F(PrintCommandsTest, PrintSetupRunsThePageSetupDialog) {
    dialogs.fallback = [](QDialog& d) { return accept(d); };
    N9Click(nullptr, &edit, &label);
    EXPECT_EQ(dialogs.shownNames, std::vector<QString>{QStringLiteral("PrinterSetupDialog1")});
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(edit.isVisible());
}
