// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the ECG drawing area between a tool panel (scale, lead group, speed, duration)
// and a button panel (Start/Stop or Forward/Back), the main menu and the three acquisition timers.
#pragma once

#include "cardfile/CardFile.h"
#include "device/Acquisition.h"
#include "display/Display.h"
#include "signal/Recording.h"
#include "signal/Settings.h"
#include "ui/Messages.h"
#include "ui/QtLanguage.h"
#include "ui/ViewState.h"

#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPrinter;
class QPushButton;
class QTimer;

namespace velkard::measure::ui {
class MeasurementsController;
}
namespace velkard::memory::ui {
class DeviceFileList;
}

namespace velkard::app {

class DrawingArea;

// What differs between the program and a test of it.
struct MainWindowOptions {
    // The working folder (settings file, DATA_BASE, temp); empty means the current directory.
    std::filesystem::path workDir;
    // Screen capabilities; the primary screen's when not given.
    std::optional<display::DeviceCaps> caps;
    // Whether a printer is installed; asked of the print system when not given.
    std::optional<bool> printerExists;
    // Makes the instrument link; makeLink(port name of the settings) when not given.
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

    // Sets every caption of the window from the one table, in the given language.
    void applyLanguage(bool russian);

    // ---- what other windows use ----
    signal::RecordingBuffer& recordingBuffer() { return buffer_; }
    display::Display& display() { return *display_; }
    bool printerExists() const { return printerExists_; }
    const std::filesystem::path& workingDirectory() const { return workDir_; }
    const signal::Settings& settings() const { return settings_; }
    // The state the windows share: language, print grid, what is shown, the card-file selection.
    ui::ViewState& viewState() { return state_; }
    device::Acquisition* acquisition() { return acquisition_.get(); }
    // Hides the acquisition and paging controls, disables Print and clears the drawing area.
    void showEmptyState();
    // Copies the display surface to the screen and the paging flags to Forward and Back.
    void refreshFromDisplay();
    // Copies the paging flags to Forward and Back.
    void refreshButtons();
    // The settings as they would be written now.
    signal::Settings currentSettings() const;
    bool recordingStarted() const { return recordingStarted_; }
    int secondsCounter() const { return seconds_; }

    // ---- controls (names as on the form) ----
    QFrame* toolPanel;
    QLabel* scaleLabel;
    QComboBox* scaleBox; // scale
    QLabel* leadGroupLabel;
    QComboBox* leadGroupBox; // lead group
    QLabel* speedLabel;
    QComboBox* speedBox; // speed
    QLabel* secondsLabel;
    QLineEdit* secondsEdit; // seconds of the recording
    QLabel* filterLabel;    // the display filters in use, e.g. "0,05–150 Гц ~50 Гц"
    QFrame* buttonPanel;
    QPushButton* Start;
    QPushButton* Stop;
    QPushButton* Forward;
    QPushButton* Back;

    QMenu* patientMenu;      // Patient
    QAction* cardFileAction; // Card file
    QAction* cardFileSeparator;
    QAction* memoryAction; // Memory
    QAction* memorySeparator;
    QAction* importAction;
    QAction* importSeparator;
    QAction* printSetupAction; // Print setup
    QAction* printAction;      // Print
    QMenu* setupMenu;          // Setup
    QAction* parametersAction; // Parameters
    QMenu* languageMenu;       // Language
    QAction* russianAction;    // Русский
    QAction* englishAction;
    QAction* exitAction; // Exit

    QTimer* handOverTimer; // block hand-over, 1 ms
    QTimer* secondsTimer;  // seconds counter, 940 ms
    QTimer* watchdogTimer; // no-data watchdog

public slots:
    void openCardFile();
    void openMemory();
    void importFromFile();
    void printSetup();
    void printRecording();
    void openParameters();
    void chooseRussian();
    void chooseEnglish();
    void exitProgram();
    void start();
    void stop();
    void forward();
    void back();
    void applyScale();
    void applyLeadGroup();
    // Also the window's paint and resize handler.
    void applySpeedAndRedraw();
    void handOverBlocks();
    void countSecond();
    void checkWatchdog();

protected:
    void closeEvent(QCloseEvent* event) override;
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
    void pushView();
    void pullView();
    void showEvents(const std::vector<device::Event>& events);
    bool shutDown(); // steps 1 to 4 of Exit; false when the link could not be closed
    bool writeSettings();
    void startMonitoring();
    // The heart rate, calipers and measurements window follow what is shown.
    void updateMeasurements();
    void endAcquisitionIfActive();
    void openCardRecording();
    void saveRecording();
    // Moves the recording that was not filed to "<id>_unfiled_<date-time>.dat" beside the card
    // file and returns where it is (its old place when it cannot be moved).
    QString keepUnfiledRecording();
    std::optional<int> printerPageWidth() const;
    // The printer object; null when there is no printer (Print then writes a PDF file).
    QPrinter* printerObject();
    ui::Messages& messages() { return seams_.messages; }
    void loadFilters();
    void applyFilters(const filter::FilterSettings& before);
    void refreshTitle();
    void refreshSelectors();

    ui::ViewState state_;
    ui::MessageBoxes ownMessages_;
    ui::ModalDialogs ownDialogs_;
    ui::Seams seams_;
    ui::QtLanguage qtLanguage_; // Qt's own texts follow the interface language
    // The recording Import shows: its own duration and file name, for Print (the name is empty
    // when the buffer holds no imported recording).
    int importedSeconds_ = 0;
    QString importedFileName_;
    MainWindowOptions options_;
    std::filesystem::path workDir_;
    std::string startupError_;
    signal::Settings settings_;
    bool printerExists_ = false;
    std::unique_ptr<QPrinter> installedPrinter_;
    // The device file list, hidden until a memory connection shows it.
    std::unique_ptr<memory::ui::DeviceFileList> deviceFileList_;
    std::unique_ptr<display::Display> display_;
    DrawingArea* area_ = nullptr;
    measure::ui::MeasurementsController* measurements_ = nullptr;
    signal::RecordingBuffer buffer_;
    std::unique_ptr<device::Acquisition> acquisition_;

    // Acquisition state the window keeps.
    bool handingOver_ = false; // a message box shown from the hand-over must not re-enter it
    bool recordingStarted_ = false;
    // Whether Start created the recording file; a file it could not create is not this recording.
    bool fileCreated_ = false;
    // The private file Write records into; filed under its number at Save.
    cardfile::PendingRecording pendingRecording_;
    int seconds_ = 0;
    QString startDate_;
    QString startTime_;
};

} // namespace velkard::app
