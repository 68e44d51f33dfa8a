// The main window: the ECG drawing area between a tool panel (scale, lead group, speed, duration)
// and a button panel (Start/Stop or Forvard/Back), the main menu and the three acquisition timers.
#pragma once

#include "device/Acquisition.h"
#include "display/Display.h"
#include "signal/Recording.h"
#include "signal/Settings.h"

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
class QPushButton;
class QTimer;

namespace velkard::app {

class DrawingArea;

// What differs between the program and a test of it.
struct VentrixOptions {
    // The working folder (settings file, DATA_BASE, temp); empty means the current directory.
    std::filesystem::path workDir;
    // Screen capabilities; the primary screen's when not given.
    std::optional<display::DeviceCaps> caps;
    // Whether a printer is installed; asked of the print system when not given.
    std::optional<bool> printerExists;
    // Makes the instrument link; makeLink(port name of the settings) when not given.
    device::Acquisition::LinkFactory linkFactory;
};

class TVentrix : public QMainWindow {
    Q_OBJECT
public:
    explicit TVentrix(VentrixOptions options = {}, QWidget* parent = nullptr);
    ~TVentrix() override;

    // False when start-up failed (a malformed settings file); startupError() says why. The
    // program then ends without showing the window.
    bool startedOk() const { return startupError_.empty(); }
    const std::string& startupError() const { return startupError_; }

    // Sets every caption of the window from the one table, in the given language.
    void applyLanguage(bool russian);

    // ---- what other windows use ----
    signal::RecordingBuffer& recordingBuffer() { return buffer_; }
    display::Display& display() { return *display_; }
    bool printerExists() const { return printerExists_; }
    const std::filesystem::path& workingDirectory() const { return workDir_; }
    const signal::Settings& settings() const { return settings_; }
    device::Acquisition* acquisition() { return acquisition_.get(); }
    // Hides the acquisition and paging controls, disables Print and clears the drawing area.
    void showEmptyState();
    // Copies the display surface to the screen and the paging flags to Forvard and Back.
    void refreshFromDisplay();
    // Copies the paging flags to Forvard and Back.
    void refreshButtons();
    // The settings as they would be written now.
    signal::Settings currentSettings() const;
    bool recordingStarted() const { return recordingStarted_; }
    int secondsCounter() const { return seconds_; }

    // ---- controls (names as on the form) ----
    QFrame* Panel1;
    QLabel* Label1;
    QComboBox* ComboBox1; // scale
    QLabel* Label2;
    QComboBox* ComboBox2; // lead group
    QLabel* Label3;
    QComboBox* ComboBox3; // speed
    QLabel* Label4;
    QLineEdit* Edit1; // seconds of the recording
    QFrame* Panel2;
    QPushButton* Start;
    QPushButton* Stop;
    QPushButton* Forvard;
    QPushButton* Back;

    QMenu* N1;   // Patient
    QAction* N5; // Card file
    QAction* N6;
    QAction* N3; // Memory
    QAction* N8;
    QAction* Importfromthefile1;
    QAction* N13;
    QAction* N9;  // Print setup
    QAction* N10; // Print
    QMenu* N2;    // Setup
    QAction* N4;  // Parameters
    QMenu* N7;    // Language
    QAction* N11; // Русский
    QAction* English1;
    QAction* N12; // Exit

    QTimer* Timer1; // block hand-over, 1 ms
    QTimer* Timer2; // seconds counter, 940 ms
    QTimer* Timer3; // no-data watchdog

public slots:
    void N5Click();
    void N3Click();
    void Importfromthefile1Click();
    void N9Click();
    void N10Click();
    void N4Click();
    void N11Click();
    void English1Click();
    void N12Click();
    void StartClick();
    void StopClick();
    void ForvardClick();
    void BackClick();
    void ComboBox1Change();
    void ComboBox2Change();
    // Also the window's paint and resize handler.
    void ComboBox3Change();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class DrawingArea;
    void buildForm();
    void buildMenu();
    void layOutPanels();
    void windowResized();
    // The form's paint and resize handler (ComboBox3Change) without showing the result.
    void runPaintHandler();
    void pushView();
    void pullView();
    void showEvents(const std::vector<device::Event>& events);
    bool shutDown(); // steps 1 to 4 of Exit; false when the link could not be closed
    bool writeSettings();
    void startMonitoring();
    void endAcquisitionIfActive();
    void openCardRecording();
    void saveRecording();
    std::optional<int> printerPageWidth() const;

    VentrixOptions options_;
    std::filesystem::path workDir_;
    std::string startupError_;
    signal::Settings settings_;
    bool printerExists_ = false;
    std::unique_ptr<display::Display> display_;
    DrawingArea* area_ = nullptr;
    signal::RecordingBuffer buffer_;
    std::unique_ptr<device::Acquisition> acquisition_;

    // Acquisition state the window keeps.
    bool recordingStarted_ = false;
    // Whether Start created the recording file; a file it could not create is not this recording.
    bool fileCreated_ = false;
    int seconds_ = 0;
    QString startDate_;
    QString startTime_;
};

} // namespace velkard::app
