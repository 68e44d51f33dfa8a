// SPDX-License-Identifier: GPL-3.0-or-later
// Program start, settings, language switching, the parameters dialog and the end of the program.
#include "AppTestSupport.h"
#include "velkard_version.h"

#include "app/ParametersDialog.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

const QStringList kDefaultLines = {QString::fromUtf8("10 мм/мВ"),
                                   "I..V6",
                                   QString::fromUtf8("25 мм/с"),
                                   "COM4",
                                   "1",
                                   "9",
                                   "2",
                                   "0"};

} // namespace

TEST_F(AppTest, FirstStartInAnEmptyFolder) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    EXPECT_EQ(settingsLines(work()), kDefaultLines);
    EXPECT_TRUE(std::filesystem::is_directory(work() / "temp"));
    // The card file comes into being only when a window opens it.
    EXPECT_FALSE(std::filesystem::exists(work() / "DATA_BASE"));

    EXPECT_EQ(w->scaleBox->currentText(), QString::fromUtf8("10 мм/мВ"));
    EXPECT_EQ(w->leadGroupBox->currentText(), "I..V6");
    EXPECT_EQ(w->speedBox->currentText(), QString::fromUtf8("25 мм/с"));
    EXPECT_EQ(child<QMenu>(*w, "patientMenu")->title(), QString::fromUtf8("Пациент"));
    EXPECT_EQ(w->exitAction->text(), QString::fromUtf8("Выход"));
    EXPECT_EQ(child<QLabel>(*w, "secondsLabel")->text(), QString::fromUtf8("Длительность ЭКГ,с"));
    EXPECT_EQ(w->windowTitle(), "Velkard");
    EXPECT_TRUE(child<QAction>(*w, "russianAction")->isChecked());
    EXPECT_FALSE(child<QAction>(*w, "englishAction")->isChecked());
    EXPECT_TRUE(w->viewState().inRussian());
    EXPECT_TRUE(w->viewState().printGrid);

    // Empty state: Print waits for a recording; Print setup and import stay available (without a
    // printer, Print writes a PDF file).
    for (QPushButton* b : {w->Start, w->Stop, w->Forward, w->Back}) {
        EXPECT_FALSE(b->isVisible());
        EXPECT_FALSE(b->isEnabled());
    }
    EXPECT_FALSE(w->secondsEdit->isVisible());
    EXPECT_FALSE(child<QLabel>(*w, "secondsLabel")->isVisible());
    EXPECT_TRUE(child<QAction>(*w, "printSetupAction")->isEnabled());
    EXPECT_FALSE(w->printAction->isEnabled());
    EXPECT_TRUE(w->importAction->isEnabled());
}

TEST_F(AppTest, MenuTreeHasItsItemsInOrder) {
    auto w = makeWindow();
    const auto items = child<QMenu>(*w, "patientMenu")->actions();
    ASSERT_EQ(items.size(), 14);
    const QStringList names = {"cardFileAction",   "worklistAction",    "gdtAction",
                               "outboxAction",     "earlierAction",     "cardFileSeparator",
                               "memoryAction",     "memorySeparator",   "importAction",
                               "fileImportAction", "importSeparator",   "printSetupAction",
                               "printAction",      "measurementsAction"};
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(items[i]->objectName(), names[i]);
    EXPECT_TRUE(items[5]->isSeparator());
    EXPECT_TRUE(items[10]->isSeparator());
    const auto languages = child<QMenu>(*w, "languageMenu")->actions();
    ASSERT_EQ(languages.size(), 3);
    EXPECT_EQ(languages[0]->text(), QString::fromUtf8("Русский"));
    EXPECT_EQ(languages[1]->text(), "English");
    EXPECT_EQ(languages[2]->text(), "Deutsch");
}

// The commands used most have keys, and Help says which keys and gestures there are and what
// program and licence this is.
TEST_F(AppTest, KeysAndHelp) {
    auto w = makeWindow();
    EXPECT_EQ(w->cardFileAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(w->printAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_EQ(w->importAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
    auto* keys = child<QAction>(*w, "keysAction");
    EXPECT_EQ(keys->shortcut(), QKeySequence(Qt::Key_F1));
    keys->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains("PageDown")) << messages.lastText().toStdString();
    EXPECT_TRUE(messages.lastText().contains("Ctrl+P"));
    child<QAction>(*w, "aboutAction")->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.lastText().startsWith(QStringLiteral("Velkard " VELKARD_VERSION)));
    EXPECT_TRUE(messages.lastText().contains("GNU GPL"));
    EXPECT_EQ(child<QMenu>(*w, "helpMenu")->title(), QString::fromUtf8("Справка"));
    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_EQ(child<QMenu>(*w, "helpMenu")->title(), "Help");
    EXPECT_EQ(w->Forward->toolTip(), QString::fromUtf8("Next page (PageDown, →)"));
}

TEST_F(AppTest, LanguageSwitchBothWaysAndSettingsRoundTrip) {
    auto w = makeWindow();
    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_FALSE(w->viewState().inRussian());
    EXPECT_EQ(child<QMenu>(*w, "patientMenu")->title(), "Patient");
    EXPECT_EQ(w->importAction->text(), "Import from file");
    EXPECT_EQ(w->Forward->text(), "Forward");
    EXPECT_EQ(child<QLabel>(*w, "scaleLabel")->text(), "Scale");
    EXPECT_EQ(child<QLabel>(*w, "leadGroupLabel")->text(), "Leads");
    EXPECT_EQ(child<QLabel>(*w, "speedLabel")->text(), "Speed");
    EXPECT_EQ(child<QLabel>(*w, "secondsLabel")->text(), "Duration, s");
    EXPECT_EQ(w->speedBox->currentText(), "25 mm/s");
    EXPECT_EQ(w->scaleBox->currentText(), "10 mm/mV");
    EXPECT_FALSE(child<QAction>(*w, "russianAction")->isChecked());
    EXPECT_TRUE(child<QAction>(*w, "englishAction")->isChecked());
    // Choosing English again keeps everything as it is.
    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_TRUE(child<QAction>(*w, "englishAction")->isChecked());
    EXPECT_EQ(child<QMenu>(*w, "patientMenu")->title(), "Patient");

    // A switch writes nothing; Exit writes the texts of the new language and "1".
    EXPECT_EQ(settingsLines(work()), kDefaultLines);
    w->exitAction->trigger();
    QStringList english = kDefaultLines;
    english[0] = "10 mm/mV";
    english[2] = "25 mm/s";
    english[7] = "1";
    EXPECT_EQ(settingsLines(work()), english);

    auto again = makeWindow();
    ASSERT_TRUE(again->startedOk());
    EXPECT_FALSE(again->viewState().inRussian());
    EXPECT_EQ(again->cardFileAction->text(), "Card file");
    child<QAction>(*again, "russianAction")->trigger();
    EXPECT_EQ(again->cardFileAction->text(), QString::fromUtf8("Картотека"));
    EXPECT_EQ(again->Back->text(), QString::fromUtf8("Назад"));
    EXPECT_EQ(again->scaleBox->currentText(), QString::fromUtf8("10 мм/мВ"));
    again->close();
    EXPECT_EQ(settingsLines(work()), kDefaultLines);
}

TEST_F(AppTest, LanguageValueTwoIsGermanAndKept) {
    QStringList lines = kDefaultLines;
    lines[3] = "/dev/my-port";
    lines[7] = "2";
    writeSettingsLines(work(), lines);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    EXPECT_EQ(w->viewState().interfaceLanguage(), ui::Language::German);
    EXPECT_TRUE(child<QAction>(*w, "germanAction")->isChecked());
    EXPECT_EQ(w->printAction->text(), "Drucken");
    EXPECT_EQ(child<QMenu>(*w, "patientMenu")->title(), "Patient");
    EXPECT_EQ(w->cardFileAction->text(), "Kartei");
    w->close();
    const QStringList written = settingsLines(work());
    ASSERT_EQ(written.size(), 8);
    EXPECT_EQ(written[7], "2");
    EXPECT_EQ(written[3], "/dev/my-port");
    EXPECT_EQ(written[0], "10 mm/mV");
}

TEST_F(AppTest, SavedChoicesAreSelectedAtStart) {
    QStringList lines = kDefaultLines;
    lines[0] = QString::fromUtf8("20 мм/мВ");
    lines[1] = "V1..V3";
    lines[2] = QString::fromUtf8("50 мм/с");
    lines[4] = "2";
    lines[5] = "6";
    lines[6] = "3";
    writeSettingsLines(work(), lines);
    auto w = makeWindow();
    EXPECT_EQ(w->scaleBox->currentIndex(), 2);
    EXPECT_EQ(w->leadGroupBox->currentText(), "V1..V3");
    EXPECT_EQ(w->speedBox->currentText(), QString::fromUtf8("50 мм/с"));
    EXPECT_EQ(w->display().geometry().speedIndex, 3);
    EXPECT_EQ(w->display().geometry().groupIndex, 6);
    w->close();
    EXPECT_EQ(settingsLines(work()), lines);
}

TEST_F(AppTest, MalformedSettingsStopStartAndStayUntouched) {
    const std::string shortFile = "10\r\nI..V6\r\n";
    writeFile(work() / signal::kSettingsFileName, shortFile);
    auto w = makeWindow();
    EXPECT_FALSE(w->startedOk());
    EXPECT_NE(w->startupError().find(signal::kSettingsFileName), std::string::npos)
        << w->startupError();
    w.reset();
    EXPECT_EQ(readFile(work() / signal::kSettingsFileName), shortFile);

    QStringList lines = kDefaultLines;
    lines[5] = "nine";
    writeSettingsLines(work(), lines);
    const std::string before = readFile(work() / signal::kSettingsFileName);
    auto second = makeWindow();
    EXPECT_FALSE(second->startedOk());
    second.reset();
    EXPECT_EQ(readFile(work() / signal::kSettingsFileName), before);
}

TEST_F(AppTest, OutOfRangeIndicesFallBackToDefaults) {
    QStringList lines = kDefaultLines;
    lines[4] = "7";
    lines[5] = "-1";
    lines[6] = "12";
    writeSettingsLines(work(), lines);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    EXPECT_EQ(w->display().geometry().scaleIndex, 1);
    EXPECT_EQ(w->display().geometry().groupIndex, 9);
    EXPECT_EQ(w->display().geometry().speedIndex, 2);
    EXPECT_EQ(w->speedBox->currentText(), QString::fromUtf8("25 мм/с"));
    w->close();
    EXPECT_EQ(settingsLines(work()), kDefaultLines);
}

TEST_F(AppTest, SpeedChoiceBeforeAnyRecordingHoldsForWhatIsDrawnNext) {
    auto w = makeWindow();
    w->speedBox->setCurrentIndex(0);
    w->applySpeedAndRedraw();
    EXPECT_EQ(w->display().geometry().speedIndex, 0);
    EXPECT_EQ(w->speedBox->currentText(), QString::fromUtf8("5 мм/с"));
}

TEST_F(AppTest, SelectorsShowWhatIsDrawnAndRestWhileARhythmogramIsShown) {
    auto w = makeWindow();
    auto& session = w->session();
    session.cardFileClosed(session.selection(), {session::CardRequest::OpenRhythmogram});
    w->refreshFromDisplay();
    for (QComboBox* box : {w->scaleBox, w->leadGroupBox, w->speedBox})
        EXPECT_FALSE(box->isEnabled());
    // A change that did not reach the drawing is taken back in the box.
    w->scaleBox->setCurrentIndex(2);
    w->applyScale();
    EXPECT_EQ(w->scaleBox->currentIndex(), w->display().geometry().scaleIndex);
    session.cardFileClosed(session.selection(), {session::CardRequest::None, false, true});
    w->refreshFromDisplay();
    EXPECT_TRUE(w->speedBox->isEnabled());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Velkard"));
}

TEST_F(AppTest, ParametersDialogKeepsThePrintGridFlag) {
    auto w = makeWindow();
    dialogs.script.push_back([](QDialog& d) {
        auto& p = dynamic_cast<ParametersDialog&>(d);
        EXPECT_EQ(p.windowTitle(), QString::fromUtf8("Параметры"));
        EXPECT_EQ(p.printGridBox->text(), QString::fromUtf8("Печать сетки"));
        EXPECT_TRUE(p.printGridBox->isChecked());
        EXPECT_TRUE(p.applyButton->isEnabled());
        p.applyButton->click();
        EXPECT_FALSE(p.applyButton->isEnabled()); // Apply greys until the next click
        p.printGridBox->click();
        EXPECT_TRUE(p.applyButton->isEnabled());
        p.cancelButton->click(); // Cancel does not undo the click
        return -1;
    });
    child<QAction>(*w, "parametersAction")->trigger();
    EXPECT_FALSE(w->viewState().printGrid);
    EXPECT_FALSE(w->printAction->isEnabled());
    EXPECT_FALSE(w->secondsEdit->isVisible());

    child<QAction>(*w, "englishAction")->trigger();
    dialogs.script.push_back([](QDialog& d) {
        auto& p = dynamic_cast<ParametersDialog&>(d);
        EXPECT_EQ(p.windowTitle(), "Parameters");
        EXPECT_EQ(p.applyButton->text(), "Apply");
        EXPECT_EQ(p.printGridBox->text(), "Print the grid");
        EXPECT_FALSE(p.printGridBox->isChecked());
        p.printGridBox->click();
        p.okButton->click();
        return -1;
    });
    child<QAction>(*w, "parametersAction")->trigger();
    EXPECT_TRUE(w->viewState().printGrid);
    EXPECT_EQ(dialogs.shownNames.size(), 2u);
}

TEST_F(AppTest, ThePortIsChosenInParametersAndKeptInLineFourOfTheSettings) {
    // Instruments found on USB: one bound to the serial driver, one not.
    const std::filesystem::path sys = work() / "sys";
    const auto usb = [&](const std::string& name, const char* product, const char* tty) {
        const auto d = sys / "bus" / "usb" / "devices" / name;
        std::filesystem::create_directories(d / (name + ":1.0"));
        writeFile(d / "idVendor", "0403\n");
        writeFile(d / "idProduct", std::string(product) + "\n");
        if (*tty)
            std::filesystem::create_directories(d / (name + ":1.0") / tty);
    };
    usb("1-1", "6001", "ttyUSB3");
    usb("1-2", "6015", "");
    EXPECT_EQ(foundPorts(sys.string()),
              (QStringList{"/dev/ttyUSB3", "USB:0403:6015", "SIM", "COM4"}));

    auto w = makeWindow();
    ASSERT_EQ(settingsLines(work()).value(3), QStringLiteral("COM4"));
    // The list offers the simulated instrument; choosing it and OK keeps it at once.
    dialogs.script.push_back([](QDialog& d) {
        auto& p = dynamic_cast<ParametersDialog&>(d);
        EXPECT_EQ(p.portBox->currentData().toString(), QStringLiteral("COM4"));
        const int sim = p.portBox->findData(QStringLiteral("SIM"));
        EXPECT_GE(sim, 0);
        EXPECT_TRUE(p.portBox->itemText(sim).contains(QString::fromUtf8("Имитатор")));
        p.portBox->setCurrentIndex(sim);
        p.okButton->click();
        return -1;
    });
    child<QAction>(*w, "parametersAction")->trigger();
    EXPECT_EQ(settingsLines(work()).value(3), QStringLiteral("SIM"));

    // A tty path typed in (English captions); Cancel changes nothing.
    child<QAction>(*w, "englishAction")->trigger();
    dialogs.script.push_back([](QDialog& d) {
        auto& p = dynamic_cast<ParametersDialog&>(d);
        EXPECT_EQ(p.chosenPort(), QStringLiteral("SIM"));
        EXPECT_TRUE(p.portBox->currentText().contains(QStringLiteral("Simulated")));
        p.portBox->setEditText(QStringLiteral("/dev/pts/7"));
        p.cancelButton->click();
        return -1;
    });
    child<QAction>(*w, "parametersAction")->trigger();
    EXPECT_EQ(settingsLines(work()).value(3), QStringLiteral("SIM"));
    dialogs.script.push_back([](QDialog& d) {
        auto& p = dynamic_cast<ParametersDialog&>(d);
        p.portBox->setEditText(QStringLiteral("  /dev/pts/7 "));
        p.okButton->click();
        return -1;
    });
    child<QAction>(*w, "parametersAction")->trigger();
    EXPECT_EQ(settingsLines(work()).value(3), QStringLiteral("/dev/pts/7"));
    w->exitAction->trigger();
    EXPECT_EQ(settingsLines(work()).value(3), QStringLiteral("/dev/pts/7"));
}

TEST_F(AppTest, ExitWithoutInstrumentWritesSettingsAndCloses) {
    auto w = makeWindow();
    ASSERT_TRUE(w->isVisible());
    std::filesystem::remove(work() / signal::kSettingsFileName);
    w->exitAction->trigger();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(settingsLines(work()), kDefaultLines);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(AppTest, SettingsThatCannotBeWrittenKeepExitFromEndingTheProgram) {
    auto w = makeWindow();
    // A folder in place of the settings file: it cannot be replaced.
    const auto settings = work() / signal::kSettingsFileName;
    std::filesystem::remove(settings);
    std::filesystem::create_directory(settings);
    w->exitAction->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    // The caption follows the interface language.
    EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8("Ошибка"));
    EXPECT_TRUE(w->isVisible());
    child<QAction>(*w, "englishAction")->trigger();
    w->exitAction->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].caption, "Error");
    EXPECT_EQ(messages.shown[1].text, messages.shown[0].text);
    EXPECT_TRUE(w->isVisible());
    // Closing from the frame ends the program anyway.
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(std::filesystem::is_directory(settings));
}

namespace velkard::app::test {

// Counts the grid's red pixels in [x0, x1) of one row of the window's surface.
// Pixels of the grid's pinks (thin or big lines) along a row.
static int redPixels(const QImage& img, int y, int x0, int x1) {
    int n = 0;
    for (int x = x0; x < x1 && x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        n += c.red() > 200 && c.green() < c.red() - 30 && c.blue() < c.red() - 30;
    }
    return n;
}

TEST_F(AppTest, EmptyWindowKeepsItsGridWhenResized) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    w->resize(1200, 900);
    QCoreApplication::processEvents();
    const QImage& surface = w->display().surface();
    ASSERT_GE(surface.width(), 1150);
    // Grid lines cover the whole width, also right of the window's former 1024 pixels.
    EXPECT_GT(redPixels(surface, 400, 60, 1000), 20);
    EXPECT_GT(redPixels(surface, 400, 1050, 1150), 0);
}

} // namespace velkard::app::test

TEST_F(AppTest, QtsOwnTextsFollowTheInterfaceLanguage) {
    auto w = makeWindow();
    ASSERT_TRUE(w->viewState().inRussian());
    auto buttonTexts = [] {
        QMessageBox box(QMessageBox::Question, "c", "t", QMessageBox::Yes | QMessageBox::No);
        return std::make_pair(box.button(QMessageBox::Yes)->text().remove('&'),
                              box.button(QMessageBox::No)->text().remove('&'));
    };
    EXPECT_EQ(buttonTexts(), std::make_pair(QString::fromUtf8("Да"), QString::fromUtf8("Нет")));
    QCalendarWidget russianCalendar;
    EXPECT_EQ(russianCalendar.locale().language(), QLocale::Russian);

    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_EQ(buttonTexts(), std::make_pair(QString("Yes"), QString("No")));
    QCalendarWidget englishCalendar;
    EXPECT_EQ(englishCalendar.locale().language(), QLocale::English);
    child<QAction>(*w, "russianAction")->trigger();
    EXPECT_EQ(buttonTexts(), std::make_pair(QString::fromUtf8("Да"), QString::fromUtf8("Нет")));
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    // The non-native file dialog's buttons are Qt's own texts.
    const auto* buttons = files.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove('&'),
              QString::fromUtf8("Отмена"));
}
