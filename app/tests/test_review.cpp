// SPDX-License-Identifier: GPL-3.0-or-later
// Review of stored and imported recordings: Open from the card file (plain, A2, RT), paging,
// redraw on a choice or a resize, import of device and compressed files, and a screenshot.
#include "AppTestSupport.h"
#include "signal/FileIo.h"

#include "display/Canvas.h"
#include "filing/Store.h"
#include "import/Decompress.h"
#include "print/ui/PrintCommands.h"
#include "print/ui/PrintRangeDialog.h"
#include "signal/Recording.h"
#include "sim/DeviceFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

const sim::RecordedAt kAt{24, 3, 15, 9, 5, 3};

class ReviewTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(source.isValid());
        id = addPatient(work(), "Reviewed");
        store("ECG_0001.DAT", sim::makeDeviceEcg(30, 7, kAt));
        store("A2_0002.DAT", sim::makeA2(20, 8, kAt));
        store("VSR_0003.DAT", sim::makeRhythmogram(200, 9, kAt));
    }
    void store(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = std::filesystem::path(source.path().toStdString()) / name;
        ASSERT_TRUE(signal::writeFileAtomically(path, bytes).ok());
        auto r = filing::storeDeviceFile(cardfile::CardFile(work()), id, path, true);
        ASSERT_TRUE(r) << r.message;
    }
    void open(MainWindow& w, int entry) {
        dialogs.script.push_back(pickInCardFile(0, entry, "Open"));
        w.cardFileAction->trigger();
    }
    std::filesystem::path recording(int n) const {
        return cardfile::CardFile(work()).recordingPath(id, n);
    }

    QTemporaryDir source;
    std::string id;
};

// Answers the file-open dialog with this file (or cancels with an empty path).
ui::ScriptedDialogs::Handler chooseFile(const QString& path) {
    return [path](QDialog& d) {
        EXPECT_EQ(d.objectName(), "importFileDialog");
        if (path.isEmpty())
            return int(QDialog::Rejected);
        auto& dialog = dynamic_cast<QFileDialog&>(d);
        dialog.selectFile(path);
        return int(QDialog::Accepted);
    };
}

std::vector<std::string> folderNames(const QString& folder) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(folder.toStdString()))
        names.push_back(e.path().filename().string());
    return names;
}

} // namespace

TEST_F(ReviewTest, OpenPlainRecordingPagesAndRedraws) {
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(w->session().shown(), Shown::CardRecording);
    EXPECT_TRUE(w->Forward->isVisible());
    EXPECT_TRUE(w->Back->isVisible());
    EXPECT_FALSE(w->Start->isVisible());
    EXPECT_TRUE(w->printAction->isEnabled());
    EXPECT_EQ(w->recordingBuffer().bytes.size(), std::filesystem::file_size(recording(1)));
    EXPECT_EQ(w->display().recording().size(), w->recordingBuffer().bytes.size());
    EXPECT_EQ(w->display().durationSeconds(), 30);
    EXPECT_EQ(w->display().pageNumber(), 0);
    // 30 s do not fit one page of about 12 s.
    EXPECT_TRUE(w->Forward->isEnabled());
    EXPECT_FALSE(w->Back->isEnabled());

    w->Forward->click();
    EXPECT_EQ(w->display().pageNumber(), 1);
    EXPECT_TRUE(w->Back->isEnabled());
    // The window shows the page (the update request it posted is handled here, no time waited);
    // that repaint must not go back to page 0.
    QCoreApplication::processEvents();
    EXPECT_EQ(w->display().pageNumber(), 1);
    w->Back->click();
    EXPECT_EQ(w->display().pageNumber(), 0);
    EXPECT_FALSE(w->Back->isEnabled());

    // A repaint the window did not ask for runs the paint handler: back to the first page.
    w->Forward->click();
    ASSERT_EQ(w->display().pageNumber(), 1);
    QCoreApplication::processEvents(); // the page is shown first
    ASSERT_EQ(w->display().pageNumber(), 1);
    w->centralWidget()->repaint();
    EXPECT_EQ(w->display().pageNumber(), 0);

    // A new scale redraws from the first page.
    w->Forward->click();
    w->scaleBox->setCurrentIndex(2);
    w->applyScale();
    EXPECT_EQ(w->display().geometry().scaleIndex, 2);
    EXPECT_EQ(w->display().pageNumber(), 0);
    // So does a resize.
    w->Forward->click();
    ASSERT_EQ(w->display().pageNumber(), 1);
    w->resize(900, 700);
    ASSERT_TRUE(waitFor([&] { return w->display().pageNumber() == 0; }));
    EXPECT_EQ(w->display().windowMetrics().clientRight, w->centralWidget()->width());
}

TEST_F(ReviewTest, PageKeysTurnPagesAndNeverChangeAFocusedSelector) {
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(w->display().pageNumber(), 0);
    const int speed = w->speedBox->currentIndex();
    const int speedShown = w->display().geometry().speedIndex;
    auto press = [](QWidget* target, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    for (QComboBox* selector : {w->speedBox, w->scaleBox, w->leadGroupBox}) {
        const int before = selector->currentIndex();
        press(selector, Qt::Key_PageDown);
        EXPECT_EQ(w->display().pageNumber(), 1) << selector->objectName().toStdString();
        press(selector, Qt::Key_PageUp);
        EXPECT_EQ(w->display().pageNumber(), 0);
        EXPECT_EQ(selector->currentIndex(), before) << selector->objectName().toStdString();
    }
    EXPECT_EQ(w->speedBox->currentIndex(), speed);
    EXPECT_EQ(w->display().geometry().speedIndex, speedShown);
    // PageUp on the first page does nothing (Back is disabled).
    press(w->speedBox, Qt::Key_PageUp);
    EXPECT_EQ(w->display().pageNumber(), 0);

    // Right and Left turn pages when no selector has the focus.
    press(w->centralWidget(), Qt::Key_Right);
    EXPECT_EQ(w->display().pageNumber(), 1);
    press(w->Forward, Qt::Key_Right);
    EXPECT_EQ(w->display().pageNumber(), 2);
    press(w->centralWidget(), Qt::Key_Left);
    EXPECT_EQ(w->display().pageNumber(), 1);
    press(w->centralWidget(), Qt::Key_PageUp);
    EXPECT_EQ(w->display().pageNumber(), 0);
    EXPECT_TRUE(w->Forward->isEnabled());
    EXPECT_FALSE(w->Back->isEnabled());
}

TEST_F(ReviewTest, PrintAfterImportUsesTheImportedRecordingAndNoPatient) {
    QTemporaryDir out;
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QString pdfPath = out.filePath("printed.pdf");
    pdf.setOutputFileName(pdfPath);
    MainWindowOptions o = options();
    o.printerExists = true;
    o.printer = &pdf;
    MainWindow w(o);
    ASSERT_TRUE(w.startedOk());
    w.resize(1024, 768);
    open(w, 0); // 30 s of the patient "Reviewed"
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(w.session().selection().entryDuration, 30);

    const QString file = source.path() + "/ECG_0009.DAT";
    const auto bytes = sim::makeDeviceEcg(20, 11, kAt);
    writeFile(file.toStdString(), std::string(bytes.begin(), bytes.end()));
    dialogs.script.push_back(chooseFile(file));
    w.importAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_TRUE(w.printAction->isEnabled());

    // A range within the card entry's 30 s but past the imported 20 s is refused.
    dialogs.script.push_back([](QDialog& d) {
        auto& range = dynamic_cast<print::ui::PrintRangeDialog&>(d);
        range.rangeButton->click();
        range.beginEdit->setText("2");
        range.endEdit->setText("25");
        return int(QDialog::Accepted);
    });
    w.printAction->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains("20")) << messages.lastText().toStdString();
    EXPECT_FALSE(QFileInfo(pdfPath).exists());

    messages.shown.clear();
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<print::ui::PrintRangeDialog&>(d).wholeButton->click();
        return int(QDialog::Accepted);
    });
    dialogs.script.push_back([](QDialog&) { return int(QDialog::Accepted); });
    w.printAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_GT(QFileInfo(pdfPath).size(), 0);
    QProcess text;
    text.start("pdftotext", {"-layout", pdfPath, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(printed.contains("ECG_0009.DAT")) << printed.toStdString();
    EXPECT_FALSE(printed.contains("Reviewed")) << printed.toStdString();
    const QString cardDate = w.session().selection().entryDate;
    ASSERT_FALSE(cardDate.isEmpty());
    EXPECT_FALSE(printed.contains(cardDate)) << printed.toStdString();

    // The 12-lead report of the imported recording names the file too, and measures it.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<print::ui::PrintRangeDialog&>(d).reportButton->click();
        return int(QDialog::Accepted);
    });
    dialogs.script.push_back([](QDialog&) { return int(QDialog::Accepted); });
    w.printAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    text.start("pdftotext", {"-layout", pdfPath, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString report = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(report.contains(QString::fromUtf8("Файл: ECG_0009.DAT"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QString::fromUtf8("ЧСС"))) << report.toStdString();
    EXPECT_FALSE(report.contains("Reviewed")) << report.toStdString();
    EXPECT_FALSE(report.contains(cardDate)) << report.toStdString();
}

TEST_F(ReviewTest, OpenA2AndRhythmogramEntries) {
    auto w = makeWindow();
    open(*w, 1);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_TRUE(w->session().view().kindA2);
    EXPECT_EQ(w->session().shown(), Shown::CardRecording);
    EXPECT_EQ(w->display().recording().size(), std::filesystem::file_size(recording(2)));
    EXPECT_TRUE(w->printAction->isEnabled());

    open(*w, 2);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(w->session().shown(), Shown::Rhythmogram);
    EXPECT_FALSE(w->printAction->isEnabled());
    EXPECT_TRUE(w->Forward->isVisible());
    // The selectors do nothing while a rhythmogram is shown.
    w->scaleBox->setCurrentIndex(0);
    w->applyScale();
    EXPECT_EQ(w->display().geometry().scaleIndex, 1);

    // A showing of the card file without a request opens the rhythmogram again.
    dialogs.script.push_back([](QDialog& d) {
        dynamic_cast<cardfile::ui::CardFileWindow&>(d).OK->click();
        return -1;
    });
    w->cardFileAction->trigger();
    EXPECT_EQ(w->session().shown(), Shown::Rhythmogram);
    EXPECT_TRUE(messages.shown.empty());
}

// DelRec renumbers the recordings: the rhythmogram shown before is not opened again by its old
// path, which now names another recording or none.
TEST_F(ReviewTest, DelRecKeepsTheMainWindowFromReopeningTheShownRhythmogram) {
    auto w = makeWindow();
    open(*w, 2);
    ASSERT_EQ(w->session().shown(), Shown::Rhythmogram);
    dialogs.script.push_back([](QDialog& d) {
        auto& card = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
        card.patientList->setCurrentItem(card.patientList->topLevelItem(0));
        card.archiveList->setCurrentItem(card.archiveList->topLevelItem(0));
        card.DelRec->click(); // answered Yes
        card.OK->click();
        return -1;
    });
    w->cardFileAction->trigger();
    ASSERT_EQ(messages.shown.size(), 1u) << messages.lastText().toStdString();
    EXPECT_TRUE(messages.shown[0].question);
    EXPECT_NE(w->session().shown(), Shown::Rhythmogram);
    // Nothing is drawn: the area stays white below the tool panel.
    const QImage& surface = w->display().surface();
    int nonWhite = 0;
    for (int y = 40; y < w->centralWidget()->height() - 40; y += 3)
        for (int x = 0; x < w->centralWidget()->width(); x += 3)
            nonWhite += surface.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_EQ(nonWhite, 0);
    // The rhythmogram itself is kept, under its new number.
    EXPECT_TRUE(std::filesystem::exists(recording(2)));
    EXPECT_FALSE(std::filesystem::exists(recording(3)));
}

TEST_F(ReviewTest, MissingRecordingFileIsReported) {
    std::filesystem::remove(recording(1));
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Ошибка открытия файла с ЭКГ"));
    EXPECT_EQ(messages.shown[0].caption, "Error");
    EXPECT_TRUE(w->recordingBuffer().bytes.empty());
}

TEST_F(ReviewTest, ImportOfACompressedFileLeavesNothingBehind) {
    const auto device = sim::makeDeviceEcg(20, 11, kAt, true);
    const QString folder = source.path() + "/import";
    QDir().mkpath(folder);
    const QString ecx = folder + "/A2_0007.ECX";
    const auto packed = import::compressToEcx(device);
    writeFile(ecx.toStdString(), std::string(packed.begin(), packed.end()));

    auto w = makeWindow();
    const auto before = folderNames(QString::fromStdString(work().string()));
    const QString current = QDir::currentPath();
    dialogs.script.push_back(chooseFile(ecx));
    w->importAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();

    // The upper-case extension is compressed too; the name makes it an A2 recording.
    EXPECT_EQ(w->recordingBuffer().bytes,
              signal::convertDeviceBytes(device, signal::RecordingKind::A2));
    EXPECT_TRUE(w->session().view().kindA2);
    EXPECT_EQ(w->session().shown(), Shown::Imported);
    EXPECT_TRUE(w->Forward->isVisible());
    EXPECT_FALSE(w->secondsEdit->isVisible());
    EXPECT_TRUE(w->printAction->isEnabled());
    EXPECT_EQ(w->display().pageNumber(), 0);
    EXPECT_EQ(folderNames(folder), std::vector<std::string>{"A2_0007.ECX"});
    EXPECT_EQ(folderNames(QString::fromStdString(work().string())), before);
    EXPECT_EQ(QDir::currentPath(), current); // files are named under the working folder
}

TEST_F(ReviewTest, ImportOfADeviceFileAndOfADamagedOne) {
    const auto device = sim::makeDeviceEcg(15, 12, kAt);
    const QString plain = source.path() + "/ECG_0009.DAT";
    writeFile(plain.toStdString(), std::string(device.begin(), device.end()));
    auto w = makeWindow();
    dialogs.script.push_back(chooseFile(plain));
    w->importAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(w->recordingBuffer().bytes,
              signal::convertDeviceBytes(device, signal::RecordingKind::Plain));
    EXPECT_FALSE(w->session().view().kindA2);
    EXPECT_EQ(w->display().durationSeconds(), 15);

    // A damaged compressed file stops the import with a message; the shown recording stays.
    const QString broken = source.path() + "/BAD.ecx";
    writeFile(broken.toStdString(), std::string(20, '\x7f'));
    const auto shown = w->recordingBuffer().bytes;
    dialogs.script.push_back(chooseFile(broken));
    w->importAction->trigger();
    ASSERT_EQ(messages.shown.size(), 1u);
    // The caption follows the interface language.
    EXPECT_EQ(messages.shown[0].caption, QString::fromUtf8("Ошибка"));
    EXPECT_FALSE(messages.shown[0].text.isEmpty());
    EXPECT_EQ(w->recordingBuffer().bytes, shown);
    EXPECT_EQ(folderNames(source.path()).size(), 5u); // three stored sources, two imports
    child<QAction>(*w, "englishAction")->trigger();
    dialogs.script.push_back(chooseFile(broken));
    w->importAction->trigger();
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].caption, "Error");
    EXPECT_EQ(w->recordingBuffer().bytes, shown);
}

// `velkard FILE` (and a double click on the file) goes the import command's way without its dialog.
TEST_F(ReviewTest, FileGivenToTheProgramOpensInTheImportView) {
    const auto device = sim::makeA2(15, 21, kAt);
    const QString a2 = source.path() + "/A2000001.DAT";
    writeFile(a2.toStdString(), std::string(device.begin(), device.end()));
    const auto before = folderNames(source.path());

    auto w = makeWindow();
    w->importFile(a2);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_TRUE(dialogs.script.empty());
    EXPECT_EQ(w->recordingBuffer().bytes,
              signal::convertDeviceBytes(device, signal::RecordingKind::A2));
    EXPECT_EQ(w->session().shown(), Shown::Imported);
    EXPECT_TRUE(w->session().view().kindA2);
    EXPECT_TRUE(w->Forward->isVisible());
    EXPECT_FALSE(w->Start->isVisible());
    EXPECT_TRUE(w->printAction->isEnabled());
    EXPECT_EQ(folderNames(source.path()), before);

    // A file that is gone is reported in the window; what is shown stays.
    w->importFile(source.path() + "/ECG09999.DAT");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Ошибка открытия файла с ЭКГ"));
    EXPECT_EQ(w->recordingBuffer().bytes,
              signal::convertDeviceBytes(device, signal::RecordingKind::A2));
}

// The title names whose ECG is shown: the patient with birth date and the recording's date and
// time, the imported file, or the live sweep, in both languages.
// The title and the banner above the trace name whose ECG is shown; the banner's age is on the
// recording's day, its sex in the interface language.
TEST_F(ReviewTest, TitleAndBannerNameWhoseEcgIsShown) {
    cardfile::CardFile cf(work());
    auto record = cf.readPatient(0);
    ASSERT_TRUE(record);
    record.value.birthDate = "01.02.1960";
    record.value.sex = "Жен";
    ASSERT_TRUE(cf.rewritePatientRecord(0, record.value));
    const auto entry = cf.readArchiveEntry(id, 0);
    ASSERT_TRUE(entry);
    const QString when = QString::fromStdString(entry.value.date + " " + entry.value.time);
    const QDate recorded =
        QDate::fromString(QString::fromStdString(entry.value.date), "dd.MM.yyyy");
    ASSERT_TRUE(recorded.isValid());
    const int age = recorded.year() - 1960 - (recorded < QDate(recorded.year(), 2, 1) ? 1 : 0);

    auto w = makeWindow();
    auto* banner = child<QLabel>(*w, "patientBanner");
    EXPECT_FALSE(banner->isVisible()); // nobody is chosen yet
    open(*w, 0);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Velkard — Reviewed, 01.02.1960 — ") + when);
    const QString who = QString::fromStdString(id).trimmed();
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->text(),
              QString::fromUtf8("Reviewed · возраст %1 · пол Жен · ID %2").arg(age).arg(who));
    w->Forward->click();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Velkard — Reviewed, 01.02.1960 — ") + when);

    const auto device = sim::makeDeviceEcg(12, 3, kAt);
    const QString imported = source.path() + "/ECG00042.DAT";
    writeFile(imported.toStdString(), std::string(device.begin(), device.end()));
    w->importFile(imported);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Velkard — ECG00042.DAT"));
    EXPECT_FALSE(banner->isVisible()); // an imported file belongs to nobody in the card file

    dialogs.script.push_back(pickInCardFile(0, -1, "Write"));
    w->cardFileAction->trigger();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Velkard — мониторинг — Reviewed"));
    EXPECT_TRUE(banner->isVisible());
    child<QAction>(*w, "englishAction")->trigger();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Velkard — live — Reviewed"));
    const QDate today = QDate::currentDate();
    const int ageToday = today.year() - 1960 - (today < QDate(today.year(), 2, 1) ? 1 : 0);
    EXPECT_EQ(banner->text(),
              QString::fromUtf8("Reviewed · age %1 · sex wom · ID %2").arg(ageToday).arg(who));
    w->Stop->click();
}

TEST_F(ReviewTest, CancelledImportOnlySetsTheImportFlag) {
    auto w = makeWindow();
    dialogs.script.push_back(chooseFile(QString()));
    w->importAction->trigger();
    EXPECT_EQ(w->session().shown(), Shown::Imported);
    EXPECT_FALSE(w->Forward->isVisible());
    EXPECT_TRUE(w->recordingBuffer().bytes.empty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ReviewTest, ScreenshotShowsTheDisplaySurface) {
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_TRUE(messages.shown.empty());
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage surface = w->display().surface().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = w->centralWidget()->mapTo(w.get(), QPoint(0, 0));
    const int top = 31;                                   // below the tool panel
    const int bottom = w->centralWidget()->height() - 31; // above the button panel
    const int right = std::min(w->centralWidget()->width(), surface.width());
    ASSERT_GT(bottom, top);

    int red = 0, black = 0, differing = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < right; ++x) {
            const QRgb s = surface.pixel(x, y);
            if (shot.pixel(origin.x() + x, origin.y() + y) != s)
                ++differing;
            if (s == display::kGridMajor || s == display::kGridMinor)
                ++red;
            else if (s == qRgb(0, 0, 0))
                ++black;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(red, 1000);  // the grid
    EXPECT_GT(black, 500); // labels and traces

    // The twelve-lead traces lie around their row baselines: black pixels near each of them, right
    // of the label strip.
    const int s3 = w->display().rowSpacings().s3;
    ASSERT_GT(s3, 0);
    for (int row = 1; row <= 12; ++row) {
        const int baseline = row * s3;
        int near = 0;
        for (int y = std::max(top, baseline - s3 / 2); y < std::min(bottom, baseline + s3 / 2); ++y)
            for (int x = 80; x < right; ++x)
                if (shot.pixel(origin.x() + x, origin.y() + y) == qRgb(0, 0, 0))
                    ++near;
        if (baseline > top && baseline < bottom) {
            EXPECT_GT(near, 100) << "row " << row;
        }
    }
}

TEST_F(ReviewTest, CardFileClosedWithoutRequestLeavesTheWindowEmpty) {
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_TRUE(w->Forward->isVisible());
    // The window opens on the patient in use; Write with that selection cleared: no request.
    dialogs.script.push_back([](QDialog& d) {
        auto& card = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
        EXPECT_EQ(card.patientList->selectedItems().size(), 1);
        card.patientList->clearSelection();
        card.Write->click();
        return -1;
    });
    w->cardFileAction->trigger();
    EXPECT_NE(w->session().shown(), Shown::Live); // no write request
    EXPECT_FALSE(w->Start->isVisible());
    EXPECT_FALSE(w->Stop->isVisible());
    EXPECT_NE(w->session().shown(), Shown::CardRecording);
    EXPECT_EQ(w->acquisition(), nullptr); // nothing was opened
    // The drawing area is white below the tool panel.
    const QImage& surface = w->display().surface();
    int nonWhite = 0;
    for (int y = 40; y < w->centralWidget()->height() - 40; y += 3)
        for (int x = 0; x < w->centralWidget()->width(); x += 3)
            if (surface.pixel(x, y) != qRgb(255, 255, 255))
                ++nonWhite;
    EXPECT_EQ(nonWhite, 0);
}

// The memory window replaces what is shown: while it is open nothing is under review, and after it
// the drawing area is empty and Print waits for a recording.
TEST_F(ReviewTest, MemoryWindowEndsTheReview) {
    auto w = makeWindow();
    open(*w, 0);
    ASSERT_EQ(w->session().shown(), Shown::CardRecording);
    bool ran = false;
    dialogs.script.push_back([&](QDialog& d) {
        EXPECT_EQ(d.objectName(), "MemoryWindow");
        EXPECT_EQ(w->session().shown(), Shown::Nothing);
        EXPECT_EQ(w->windowTitle(), "Velkard");
        ran = true;
        return int(QDialog::Rejected);
    });
    child<QAction>(*w, "memoryAction")->trigger();
    EXPECT_TRUE(ran);
    EXPECT_EQ(w->session().shown(), Shown::Nothing);
    EXPECT_FALSE(w->printAction->isEnabled());
    EXPECT_FALSE(w->Forward->isVisible());
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
}
