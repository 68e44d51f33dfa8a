// SPDX-License-Identifier: GPL-3.0-or-later
// Live recording from the card file with the simulated instrument: Write, Start, Stop and the
// question, the archive entry, and the failure paths.
#include "AppTestSupport.h"

#include "app/TerminationSignals.h"
#include "links/SimLink.h"

#include <QDate>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

class AcquisitionTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        QStringList lines = {QString::fromUtf8("10 мм/мВ"),
                             "I..V6",
                             QString::fromUtf8("25 мм/с"),
                             "SIM",
                             "1",
                             "9",
                             "2",
                             "0"};
        writeSettingsLines(work(), lines);
        id = addPatient(work(), "Patient");
    }

    // Card file -> Write on the patient: the window is monitoring afterwards.
    void beginWrite(MainWindow& w) {
        dialogs.script.push_back(pickInCardFile(0, -1, "Write"));
        w.cardFileAction->trigger();
    }

    // Start, then Stop once the seconds counter has reached `seconds`.
    void recordFor(MainWindow& w, int seconds) {
        w.Start->click();
        ASSERT_TRUE(waitFor([&] { return w.secondsCounter() >= seconds; }));
        w.Stop->click();
    }

    std::filesystem::path recording(int n) const {
        return cardfile::CardFile(work()).recordingPath(id, n);
    }

    // The recording kept beside the card file when it could not be filed (empty when none).
    std::filesystem::path unfiled() const {
        std::filesystem::path found;
        for (auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE"))
            if (e.path().filename().string().find("_unfiled_") != std::string::npos)
                found = e.path();
        return found;
    }

    std::string id;
};

std::vector<char> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Pixels of the calibration mark's pure blue on the window's drawing surface.
int bluePixels(MainWindow& w) {
    const QImage& img = w.display().surface();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFFu) == 0x0000FFu)
                ++n;
    return n;
}

} // namespace

TEST_F(AcquisitionTest, WriteStartStopYesFilesTheRecording) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    beginWrite(*w);
    EXPECT_TRUE(w->Start->isVisible() && w->Start->isEnabled());
    EXPECT_TRUE(w->Stop->isVisible() && w->Stop->isEnabled());
    EXPECT_TRUE(w->secondsEdit->isVisible());
    EXPECT_FALSE(w->Forward->isVisible());
    EXPECT_FALSE(w->printAction->isEnabled());
    EXPECT_TRUE(w->handOverTimer->isActive());
    EXPECT_GT(bluePixels(*w), 0); // the live display is prepared with its calibration mark
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    // The live sweep moves as blocks arrive.
    ASSERT_TRUE(waitFor([&] { return w->display().sweepPosition() > 0; }));

    w->Start->click();
    // The counter shows the seconds recorded, none yet.
    EXPECT_EQ(w->secondsEdit->text(), "0");
    EXPECT_FALSE(w->Start->isEnabled());
    EXPECT_TRUE(w->Stop->isEnabled());
    ASSERT_TRUE(waitFor([&] { return w->secondsEdit->text() == "2"; }));
    messages.answers = {true};
    w->Stop->click();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].question);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Сохранить данные?"));
    EXPECT_TRUE(messages.shown[0].caption.isEmpty());
    // Saved: the status line says so, and the sweep of the same patient runs again for the next
    // Start.
    EXPECT_FALSE(w->secondsTimer->isActive());
    EXPECT_TRUE(w->handOverTimer->isActive());
    EXPECT_TRUE(w->Start->isVisible() && w->Start->isEnabled());
    EXPECT_TRUE(w->Stop->isEnabled());
    EXPECT_TRUE(w->secondsEdit->text().isEmpty());
    EXPECT_TRUE(w->windowTitle().contains(QString::fromUtf8("мониторинг")));

    auto entries = cardfile::CardFile(work()).listArchiveEntries(id);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries.value.size(), 1u);
    const auto& e = entries.value[0];
    EXPECT_EQ(e.number, "  1");
    EXPECT_EQ(e.kind, "  ");
    EXPECT_EQ(e.date, QDate::currentDate().toString("dd.MM.yyyy").toStdString());
    EXPECT_EQ(e.time.size(), 8u);
    const auto size = std::filesystem::file_size(recording(1));
    EXPECT_GT(size, 0u);
    EXPECT_EQ(size % signal::kBlockBytes, 0u);
    // The entry's duration is the file's: whole half-second blocks, to the nearest second.
    const int seconds = int((size / signal::kBlockBytes + 1) / 2);
    EXPECT_EQ(std::stoi(e.duration), seconds) << e.duration;
    EXPECT_EQ(w->statusBar()->currentMessage(),
              QString::fromUtf8("Сохранено: Patient, № 1, %1 с").arg(seconds));

    // A second recording for the same patient takes the next number.
    messages.answers = {true};
    recordFor(*w, 1);
    EXPECT_EQ(cardfile::CardFile(work()).listArchiveEntries(id).value.size(), 2u);
    EXPECT_TRUE(w->statusBar()->currentMessage().startsWith(
        QString::fromUtf8("Сохранено: Patient, № 2, ")));
}

TEST_F(AcquisitionTest, StopAnsweredNoDeletesTheFile) {
    auto w = makeWindow();
    w->viewState().setLanguage(
        velkard::ui::Language::English); // the question follows the language at Stop
    beginWrite(*w);
    messages.answers = {false};
    recordFor(*w, 1);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().text, "Save the recording?");
    EXPECT_FALSE(std::filesystem::exists(recording(1)));
    EXPECT_TRUE(cardfile::CardFile(work()).listArchiveEntries(id).value.empty());
}

TEST_F(AcquisitionTest, StopWithoutStartAsksNothing) {
    auto w = makeWindow();
    beginWrite(*w);
    ASSERT_TRUE(waitFor([&] { return w->display().sweepPosition() > 0; }));
    w->Stop->click();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(recording(1)));
    EXPECT_TRUE(cardfile::CardFile(work()).listArchiveEntries(id).value.empty());
    EXPECT_FALSE(w->handOverTimer->isActive());
}

TEST_F(AcquisitionTest, ArchiveThatCannotBeOpenedKeepsTheRecordingUnderAnUnusedName) {
    auto w = makeWindow();
    beginWrite(*w);
    w->Start->click();
    ASSERT_TRUE(
        waitFor([&] { return w->secondsCounter() >= 1 && w->acquisition()->blocksWritten() > 0; }));
    // The archive turns into a folder: appending to it fails.
    const auto archive = cardfile::CardFile(work()).archivePath(id);
    std::filesystem::remove(archive);
    std::filesystem::create_directory(archive);
    messages.answers = {true};
    w->Stop->click();

    ASSERT_GE(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[1].text, QString::fromUtf8("Ошибка открытия файла с данными об ЭКГ"));
    EXPECT_EQ(messages.shown[1].caption, QString::fromUtf8("Ошибка"));
    EXPECT_FALSE(std::filesystem::exists(recording(1)));
    const std::filesystem::path kept = unfiled();
    ASSERT_FALSE(kept.empty());
    EXPECT_GT(std::filesystem::file_size(kept), 0u);
    EXPECT_TRUE(messages.shown[2].text.contains(QString::fromStdString(kept.string())));

    // The next recording takes number 1 again and does not touch the kept file.
    const auto keptSize = std::filesystem::file_size(kept);
    std::filesystem::remove(archive);
    ASSERT_TRUE(cardfile::CardFile(work()).createPatientArchive(id));
    messages.shown.clear();
    beginWrite(*w);
    messages.answers = {true};
    recordFor(*w, 1);
    EXPECT_TRUE(std::filesystem::exists(recording(1)));
    EXPECT_EQ(std::filesystem::file_size(kept), keptSize);
}

TEST_F(AcquisitionTest, NoInstrumentIsReportedOnce) {
    auto opts = options();
    opts.linkFactory = [] {
        sim::Faults faults;
        faults.absent = true;
        return std::make_unique<links::SimLink>(1, faults);
    };
    MainWindow w(opts);
    w.resize(1024, 768);
    w.show();
    beginWrite(w);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Прибор не найден"));
    EXPECT_FALSE(w.handOverTimer->isActive());
    // Only the grid is shown: no calibration mark without a stream.
    EXPECT_EQ(bluePixels(w), 0);
    // Start waits for an instrument; Stop asks nothing.
    EXPECT_FALSE(w.Start->isEnabled());
    EXPECT_TRUE(w.Stop->isVisible());
    w.Stop->click();
    EXPECT_EQ(messages.shown.size(), 1u);
}

// An instrument that goes silent (no byte: the watchdog) or is switched off (the link reports it
// lost) ends the recording: the counter stops at the seconds that came, the question follows at
// once, and the entry's duration is the file's.
TEST_F(AcquisitionTest, InstrumentThatFallsSilentEndsTheRecordingWithItsTrueDuration) {
    for (const bool silence : {true, false}) {
        SCOPED_TRACE(silence ? "silence" : "switched off");
        std::filesystem::remove_all(work() / "DATA_BASE");
        id = addPatient(work(), "Patient");
        messages.shown.clear();
        auto opts = options();
        opts.linkFactory = [silence] {
            sim::Faults faults;
            (silence ? faults.silenceAfter : faults.dropAfter) = 2.0;
            return std::make_unique<links::SimLink>(1, faults);
        };
        MainWindow w(opts);
        w.resize(1024, 768);
        w.show();
        beginWrite(w);
        w.Start->click();
        messages.answers = {true};
        ASSERT_TRUE(waitFor(
            [&] { return messages.contains(QString::fromUtf8("Сохранить данные?")); }, 15000));
        EXPECT_TRUE(messages.contains(QString::fromUtf8("Нет приема данных!")) ||
                    messages.contains(QString::fromUtf8("Прибор не включен!")));
        EXPECT_FALSE(w.handOverTimer->isActive());
        EXPECT_FALSE(w.secondsTimer->isActive());
        EXPECT_FALSE(w.Start->isEnabled());
        EXPECT_FALSE(w.Stop->isEnabled());
        EXPECT_TRUE(
            w.statusBar()->currentMessage().contains(QString::fromUtf8("Прибор не отвечает")));
        auto entries = cardfile::CardFile(work()).listArchiveEntries(id);
        ASSERT_EQ(entries.value.size(), 1u);
        const auto blocks = std::filesystem::file_size(recording(1)) / signal::kBlockBytes;
        EXPECT_GE(blocks, 2u);
        EXPECT_LE(blocks, 6u); // 2 s of signal, and nothing counted after it
        const int seconds = int((blocks + 1) / 2);
        EXPECT_EQ(std::stoi(entries.value[0].duration), seconds);
        EXPECT_EQ(w.secondsEdit->text(), QString::number(seconds));
        // Waiting changes nothing: nothing counts on.
        QTest::qWait(1200);
        EXPECT_EQ(w.secondsEdit->text(), QString::number(seconds));
        w.Stop->click();
        EXPECT_EQ(cardfile::CardFile(work()).listArchiveEntries(id).value.size(), 1u);
    }
}

// Exit during a recording asks; No keeps the recording beside the card file and says where, Yes
// files it into the patient's card. Either way the settings are written and the program ends.
TEST_F(AcquisitionTest, ExitDuringRecordingAsksWhereTheRecordingGoes) {
    for (const bool file : {false, true}) {
        SCOPED_TRACE(file ? "Yes" : "No");
        messages.shown.clear();
        auto w = makeWindow();
        beginWrite(*w);
        w->Start->click();
        ASSERT_TRUE(waitFor([&] { return w->acquisition()->blocksWritten() > 0; }));
        std::filesystem::remove(work() / signal::kSettingsFileName);
        messages.answers = {file};
        w->exitAction->trigger();
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(std::filesystem::exists(work() / signal::kSettingsFileName));
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_TRUE(messages.shown[0].question);
        EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Идёт запись. Сохранить?"));
        const auto entries = cardfile::CardFile(work()).listArchiveEntries(id).value;
        if (file) {
            ASSERT_EQ(entries.size(), 2u); // the one of the No, filed at the start, and this one
            EXPECT_GT(std::filesystem::file_size(recording(2)), 0u);
            EXPECT_EQ(messages.shown.size(), 1u);
            continue;
        }
        EXPECT_TRUE(entries.empty());
        EXPECT_FALSE(std::filesystem::exists(recording(1)));
        // What was recorded stays, under a name no recording takes, and the message names it.
        const std::filesystem::path kept = unfiled();
        ASSERT_FALSE(kept.empty());
        const auto keptBytes = readBytes(kept);
        EXPECT_GT(keptBytes.size(), 0u);
        EXPECT_EQ(keptBytes.size() % signal::kBlockBytes, 0u);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_TRUE(messages.shown[1].text.contains(QString::fromStdString(kept.string())));

        // The next start offers it, and Yes files it into the patient's card with its duration.
        messages.shown.clear();
        auto again = makeWindow();
        messages.answers = {true};
        again->offerUnfiledRecordings();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].question);
        EXPECT_TRUE(messages.shown[0].text.startsWith(
            QString::fromUtf8("Найдена незавершённая запись пациента Patient, ")))
            << messages.shown[0].text.toStdString();
        const auto filed = cardfile::CardFile(work()).listArchiveEntries(id).value;
        ASSERT_EQ(filed.size(), 1u);
        EXPECT_EQ(std::stoi(filed[0].duration),
                  int(std::lround(double(keptBytes.size() / signal::kBlockBytes) / 2)));
        EXPECT_EQ(readBytes(recording(1)), keptBytes);
        EXPECT_TRUE(unfiled().empty());
        again->close();
    }
}

// SIGTERM or SIGHUP (logout, a closed terminal) during a recording, and while Stop's question is
// open: nobody answers, the program ends, and what was recorded stays beside the card file for the
// next start, never deleted and never asked about on the screen.
TEST_F(AcquisitionTest, TerminationSignalKeepsTheRecordingForTheNextStart) {
    // Answers Stop's question only after the signal has ended the program, as a real box would.
    struct SignalDuringQuestion : ui::RecordingMessages {
        MainWindow* window = nullptr;
        bool ask(const QString& text, const QString& caption, QWidget* owner,
                 bool yesByDefault) override {
            RecordingMessages::ask(text, caption, owner, yesByDefault);
            ::raise(SIGHUP);
            waitFor([&] { return !window->isVisible(); }, 5000);
            return false;
        }
    };
    for (const bool duringQuestion : {false, true}) {
        SCOPED_TRACE(duringQuestion ? "during Stop's question" : "during the recording");
        for (auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE"))
            if (e.path().filename().string().find("_unfiled_") != std::string::npos)
                std::filesystem::remove(e.path());
        messages.shown.clear();
        SignalDuringQuestion questionMessages;
        auto opts = options();
        if (duringQuestion)
            opts.messages = &questionMessages;
        auto w = std::make_unique<MainWindow>(std::move(opts));
        ASSERT_TRUE(w->startedOk());
        w->show();
        questionMessages.window = w.get();
        TerminationSignals termination;
        ASSERT_TRUE(termination.installed());
        QObject::connect(&termination, &TerminationSignals::received, w.get(),
                         &MainWindow::endUnattended);
        beginWrite(*w);
        w->Start->click();
        ASSERT_TRUE(waitFor([&] { return w->acquisition()->blocksWritten() > 1; }));
        std::filesystem::remove(work() / signal::kSettingsFileName);
        if (duringQuestion)
            w->Stop->click();
        else
            ::raise(SIGTERM);
        ASSERT_TRUE(waitFor([&] { return !w->isVisible(); }));
        // Exit's steps ran: the settings are written, nothing was filed, nothing shown on screen.
        EXPECT_TRUE(std::filesystem::exists(work() / signal::kSettingsFileName));
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(questionMessages.shown.size(), duringQuestion ? 1u : 0u);
        EXPECT_TRUE(cardfile::CardFile(work()).listArchiveEntries(id).value.empty());
        const std::filesystem::path kept = unfiled();
        ASSERT_FALSE(kept.empty());
        const auto bytes = readBytes(kept);
        EXPECT_GE(bytes.size(), 2 * signal::kBlockBytes);
        EXPECT_EQ(bytes.size() % signal::kBlockBytes, 0u);
        w.reset();
        // The card-file window offers it (as the next start does); No sets it aside, kept.
        auto again = makeWindow();
        messages.answers = {false};
        dialogs.script.push_back([](QDialog&) { return int(QDialog::Rejected); });
        again->cardFileAction->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.startsWith(
            QString::fromUtf8("Найдена незавершённая запись пациента Patient, ")));
        EXPECT_TRUE(unfiled().empty());
        EXPECT_TRUE(std::filesystem::exists(work() / "DATA_BASE" / "unfiled" / kept.filename()));
        again->close();
    }
}

TEST_F(AcquisitionTest, StartWithoutInstrumentIsRefused) {
    auto opts = options();
    opts.linkFactory = [] {
        sim::Faults faults;
        faults.absent = true;
        return std::make_unique<links::SimLink>(1, faults);
    };
    MainWindow w(opts);
    w.resize(1024, 768);
    w.show();
    beginWrite(w);
    ASSERT_TRUE(messages.contains(QString::fromUtf8("Прибор не найден")));
    EXPECT_FALSE(w.Start->isEnabled());
    // Even when called (a shortcut, a script), Start records nothing and counts nothing.
    messages.shown.clear();
    w.start();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Прибор не найден"));
    EXPECT_FALSE(w.secondsTimer->isActive());
    EXPECT_FALSE(w.recordingStarted());
    w.Stop->click();
    EXPECT_FALSE(messages.contains(QString::fromUtf8("Сохранить данные?")));
    EXPECT_FALSE(std::filesystem::exists(recording(1)));
    EXPECT_TRUE(cardfile::CardFile(work()).listArchiveEntries(id).value.empty());
}

TEST_F(AcquisitionTest, RecordingFileThatCannotBeCreatedIsReported) {
    auto w = makeWindow();
    beginWrite(*w);
    // The card file's folder is no folder any more: no recording file can be made there.
    std::filesystem::rename(work() / "DATA_BASE", work() / "away");
    writeFile(work() / "DATA_BASE", "not a folder");
    w->Start->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("Ошибка создания файла для записи ЭКГ"));
    EXPECT_EQ(messages.shown[0].caption, "Error");
    // Monitoring goes on and Start stays available; nothing is recorded, so nothing counts.
    EXPECT_FALSE(w->secondsTimer->isActive());
    EXPECT_TRUE(w->handOverTimer->isActive());
    EXPECT_TRUE(w->Start->isEnabled());
    EXPECT_TRUE(w->Stop->isEnabled());
    EXPECT_EQ(w->secondsCounter(), 0);
    std::filesystem::remove(work() / "DATA_BASE");
    std::filesystem::rename(work() / "away", work() / "DATA_BASE");
    w->Stop->click();
    EXPECT_FALSE(messages.contains(QString::fromUtf8("Сохранить данные?")));
    EXPECT_TRUE(cardfile::CardFile(work()).listArchiveEntries(id).value.empty());
    EXPECT_TRUE(unfiled().empty());
}

// The recording takes its number at Save: a recording filed meanwhile (Store, another
// workstation) keeps its number and its file, and something that is not a recording under the
// number is left alone.
TEST_F(AcquisitionTest, RecordingTakesItsNumberAtSaveAndOverwritesNothing) {
    auto w = makeWindow();
    beginWrite(*w);
    w->Start->click();
    ASSERT_TRUE(waitFor([&] { return w->acquisition()->blocksWritten() > 0; }));
    const std::vector<std::uint8_t> stored(6400, 0x11);
    cardfile::CardFile other(work());
    auto filed = other.fileRecording(id, stored, "01.02.2026", "03:04:05",
                                     cardfile::EntryDuration::ofSeconds(1), cardfile::kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    ASSERT_EQ(filed.value, 1);
    messages.answers = {true};
    w->Stop->click();
    auto entries = cardfile::CardFile(work()).listArchiveEntries(id).value;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].time, "03:04:05");
    EXPECT_EQ(entries[1].number, "  2");
    EXPECT_EQ(readFile(recording(1)), std::string(6400, '\x11'));
    const auto size = std::filesystem::file_size(recording(2));
    EXPECT_GT(size, 0u);
    EXPECT_EQ(size % signal::kBlockBytes, 0u);
    EXPECT_EQ(w->session().selection().recordNumber, 2);

    // A folder under the next number: the recording is kept aside with a message, the folder
    // stays as it is.
    std::filesystem::create_directory(recording(3));
    writeFile(recording(3) / "keep.txt", "not a recording");
    messages.shown.clear();
    beginWrite(*w);
    w->Start->click();
    ASSERT_TRUE(waitFor([&] { return w->acquisition()->blocksWritten() > 0; }));
    messages.answers = {true};
    w->Stop->click();
    EXPECT_EQ(readFile(recording(3) / "keep.txt"), "not a recording");
    EXPECT_EQ(cardfile::CardFile(work()).listArchiveEntries(id).value.size(), 2u);
    const std::filesystem::path kept = unfiled();
    ASSERT_FALSE(kept.empty());
    EXPECT_GT(std::filesystem::file_size(kept), 0u);
    EXPECT_TRUE(messages.shown.back().text.contains(QString::fromStdString(kept.string())));
}
