// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the ECG drawing area between a tool panel (scale, lead group, speed, duration)
// and a button panel (Start/Stop or Forward/Back), the main menu and the three acquisition timers.
// It keeps the forms and forwards: what is shown, the card-file selection, the recording and its
// workflows are the session's (session/Session.h); the window shows what the session says and
// turns its outcomes into messages.
#pragma once

#include "device/Acquisition.h"
#include "display/Display.h"
#include "session/Session.h"
#include "signal/Recording.h"
#include "signal/Settings.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QTimer;

namespace velkard::cardfile {
struct PatientRecord;
}
namespace velkard::net {
struct RecordingRef;
}
namespace velkard::measure::ui {
class MeasurementsController;
}
namespace velkard::memory::ui {
class DeviceFileList;
}

namespace velkard::ui {
class LanguageMenu;
}
namespace velkard::net::ui {
class OutboxSender;
}

namespace velkard::app {

class DrawingArea;

// What differs between the program and a test of it.
struct MainWindowOptions {
    // The working folder (settings file, DATA_BASE, temp); empty means the current directory at
    // start. Every file is named under it; the process's current directory is never changed.
    std::filesystem::path workDir;
    // Screen capabilities; the primary screen's when not given.
    std::optional<display::DeviceCaps> caps;
    // Whether a printer is installed; asked of the print system when not given.
    std::optional<bool> printerExists;
    // Makes the instrument link; links::makeLink(port name of the settings) when not given.
    device::Acquisition::LinkFactory linkFactory;
    // Where message boxes and modal dialogs go; message boxes and exec() when not given.
    // Not owned.
    ui::Messages* messages = nullptr;
    ui::DialogRunner* dialogs = nullptr;
    // The printer Print and Print setup use; the installed default printer, made on first use,
    // when not given. Not owned.
    QPrinter* printer = nullptr;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // False when start-up failed (a malformed settings file); startupError() says why. The
    // program then ends without showing the window.
    bool startedOk() const { return startupError_.empty(); }
    const std::string& startupError() const { return startupError_; }

    // Shows a device ECG file or an ".ecx" file in the import view, as the import command does
    // after its dialog (also `velkard FILE`). Failures are shown as messages.
    void importFile(const QString& path);

    // Recordings kept beside the card file and never filed (a crash, an Exit without Save, a
    // failed Save): each whose patient is in the card file is offered ("Найдена незавершённая
    // запись пациента …"), filed on Yes, put aside into DATA_BASE/unfiled on No; the others are
    // put aside and named in one message. Nothing is deleted.
    void offerUnfiledRecordings();

    // Sets every caption of the window from the one table, in the given language.
    void applyLanguage(ui::Language language);

    // ---- what other windows use ----
    signal::RecordingBuffer& recordingBuffer() { return session_.buffer(); }
    // What is shown, the card-file selection and the recording workflows.
    session::Session& session() { return session_; }
    display::Display& display() { return *display_; }
    bool printerExists() const { return printerExists_; }
    // Works the outbox in the background (Send, and Save when the settings say so).
    net::ui::OutboxSender& outboxSender() { return *sender_; }
    const std::filesystem::path& workingDirectory() const { return workDir_; }
    const signal::Settings& settings() const { return settings_; }
    // The state the windows share: language, print grid, filters, dialog texts, print range.
    ui::ViewState& viewState() { return state_; }
    device::Acquisition* acquisition() { return session_.acquisition(); }
    // Hides the acquisition and paging controls, disables Print and clears the drawing area.
    void showEmptyState();
    // Copies the display surface to the screen and the paging flags to Forward and Back.
    void refreshFromDisplay();
    // Copies the paging flags to Forward and Back.
    void refreshButtons();
    // The settings as they would be written now.
    signal::Settings currentSettings() const;
    bool recordingStarted() const { return session_.recordingStarted(); }
    int secondsCounter() const { return session_.seconds(); }

    // ---- the controls the tests drive most (names as on the form; every control, menu and timer
    // has its objectName, so the others are reached with findChild) ----
    QComboBox* scaleBox;     // scale
    QComboBox* leadGroupBox; // lead group
    QComboBox* speedBox;     // speed
    QLineEdit* secondsEdit;  // seconds of the recording
    QPushButton* Start;
    QPushButton* Stop;
    QPushButton* Forward;
    QPushButton* Back;
    QAction* cardFileAction; // Card file
    QAction* worklistAction; // the worklist's orders
    QAction* gdtAction;      // the practice software's GDT requests
    QAction* outboxAction;   // the outbox: what is sent, was sent or was refused
    QAction* earlierAction;  // the chosen patient's earlier ECGs in the archive
    QAction* importAction;
    QAction* fileImportAction; // "Положить в карту пациента": the imported file of another system
    QAction* printAction; // Print
    QAction* exitAction;  // Exit
    // The no-data watchdog, and the hand-over for blocks no notification has brought: due when
    // the read under way would reach the watchdog period, restarted by every hand-over, so while
    // blocks come it never fires.
    QTimer* handOverTimer;
    QTimer* secondsTimer; // seconds counter, 940 ms

public slots:
    void openCardFile();
    // The worklist window; an order taken makes its patient the chosen one and starts the sweep,
    // so the next recording is made for that order.
    void openWorklist();
    // The GDT requests of the exchange folder; as the worklist, for a request of the practice
    // software, whose result is written when the next recording is saved.
    void openGdt();
    void openOutbox();
    // The chosen patient's ECG studies in the archive; the one fetched opens in the import view.
    void openEarlier();
    void openMemory();
    void importFromFile();
    void fileImportIntoCard();
    void printSetup();
    void printRecording();
    void openParameters();
    // The Language menu's choice: installs the language, relabels every window, keeps the setting.
    void chooseLanguage(velkard::ui::Language language);
    void exitProgram();
    // A termination signal: ends as Exit does with nobody there to answer. A recording under way
    // is kept beside the card file (the next start offers it), messages go to standard error. The
    // caller then ends the event loops.
    void endUnattended();
    // Help: the keys and mouse gestures; the version and licence.
    void showKeys();
    void showAbout();
    void start();
    void stop();
    void forward();
    void back();
    void applyScale();
    void applyLeadGroup();
    // Also the window's paint and resize handler.
    void applySpeedAndRedraw();
    // On the reader's notification: shows the blocks that came.
    void handOverBlocks();
    void countSecond();
    // The handOverTimer: the watchdog, then any block.
    void checkWatchdog();
    void armWatchdog();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Review keys: PageDown/PageUp turn pages wherever the focus is (a focused selector does not
    // take them); Right/Left turn pages when no selector has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class DrawingArea;
    void buildForm();
    void buildMenu();
    void layOutPanels();
    void windowResized();
    // The form's paint and resize handler (applySpeedAndRedraw) without showing the result.
    void runPaintHandler();
    void showEvents(const std::vector<device::Event>& events);
    bool shutDown(); // steps 1 to 4 of Exit; false when the link could not be closed
    bool writeSettings();
    void startMonitoring();
    // Before a modal window that replaces what is shown: no acquisition, an empty drawing area.
    void clearForWindow();
    // Shows the seconds edit and Start/Stop, or Forward/Back.
    void showAcquisitionControls(bool acquisition);
    // The heart rate, calipers and measurements window follow what is shown.
    void updateMeasurements();
    void endAcquisitionIfActive();
    // Stop without what follows it: the engine stops, a recording gets its question. True when a
    // recording had been started.
    bool finishAcquisition();
    // The instrument link: the options' factory, or the one the settings' port name chooses (read
    // when the link is made, so a port changed in Parameters takes effect at the next Start).
    device::Acquisition::LinkFactory linkFactory();
    // The instrument went silent or was lost: the live display stops and says so; a recording
    // under way ends with what came (Stop's question follows).
    void instrumentLost();
    void openCardRecording();
    void openCardRhythmogram();
    // Shows what the card-file window (or the worklist) closed with.
    void showCardFileChoice();
    // After Save: a pending worklist order of the patient goes with recording `number`, a
    // pending GDT request is answered with it, and the recording goes into the outbox when the
    // network settings say so.
    void networkAfterSave(int number);
    // Makes the card `patient` (just taken from the worklist or a GDT request) the chosen one,
    // written for, as Write in the card file does; false when the card file does not list it.
    bool choosePatientToRecord(const cardfile::PatientRecord& patient,
                               session::CardSelection& chosen, session::CardFileChoice& choice);
    // The GDT result of recording `number` for the request kept for the patient.
    void answerGdtRequest(const net::RecordingRef& recording);
    // The report of recording `number` of patient `patientId` was confirmed: sent when the
    // settings say so.
    void networkAfterConfirmation(const QString& patientId, int number);
    // Stop's question and Save; the messages of a failed Save.
    void saveRecording();
    // Files the stopped recording into the patient's card; when that fails, keeps it unfiled.
    void fileRecording();
    // Keeps the stopped recording beside the card file and says where.
    void keepRecordingUnfiled();
    void showBusyOr(const Status& status, const QString& otherText, const QString& otherCaption);
    // `source` (marked QT_TR_NOOP here) in the interface language.
    QString say(const char* source) const;
    std::optional<int> printerPageWidth() const;
    // The printer object; null when there is no printer (Print then writes a PDF file).
    QPrinter* printerObject();
    ui::Messages& messages() {
        return unattended_ ? static_cast<ui::Messages&>(unattendedMessages_) : seams_.messages;
    }
    const View& view() const { return session_.view(); }
    void loadFilters();
    void applyFilters(const filter::FilterSettings& before);
    // The title and the patient banner follow what is shown.
    void refreshTitle();
    void refreshSelectors();

    ui::ViewState state_;
    ui::MessageBoxes ownMessages_;
    ui::ModalDialogs ownDialogs_;
    ui::StandardErrorMessages unattendedMessages_;
    bool unattended_ = false;
    // Recordings this window kept beside the card file and named to the user.
    std::set<std::filesystem::path> keptUnfiled_;
    ui::Seams seams_;
    MainWindowOptions options_;
    std::filesystem::path workDir_;
    std::string startupError_;
    signal::Settings settings_;
    bool printerExists_ = false;
    std::unique_ptr<QPrinter> installedPrinter_;
    // The device file list, hidden until a memory connection shows it.
    std::unique_ptr<memory::ui::DeviceFileList> deviceFileList_;
    std::unique_ptr<display::Display> display_;
    std::unique_ptr<net::ui::OutboxSender> sender_;
    DrawingArea* area_ = nullptr;
    measure::ui::MeasurementsController* measurements_ = nullptr;
    session::Session session_;
    bool handingOver_ = false; // a message box shown from the hand-over must not re-enter it

    // The rest of the form.
    QFrame* toolPanel_;
    QFrame* buttonPanel_;
    QLabel* secondsLabel_;
    QLabel* filterLabel_;   // the display filters in use, e.g. "0,05–150 Гц ~50 Гц"
    QLabel* patientBanner_; // the chosen patient: name, age, sex, ID
    QAction* printSetupAction_;
    ui::LanguageMenu* languageMenu_;
};

} // namespace velkard::app
