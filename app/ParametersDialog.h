// SPDX-License-Identifier: GPL-3.0-or-later
// The parameters dialog: whether printed pages carry the millimetre grid, the display filters, the
// screen's background, and the port the instrument is reached on (the settings file's line 4).
#pragma once

#include "ui/ViewState.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace velkard::app {

// The port names the Instrument tab offers: every instrument found on USB (its tty when the
// kernel's serial driver has bound it, else its USB identifiers), then the simulated instrument
// (SIM) and the first FTDI bridge (COM4). sysfsRoot is where the USB devices are listed.
QStringList foundPorts(const std::string& sysfsRoot = "/sys");

class ParametersDialog : public QDialog {
    Q_OBJECT
public:
    explicit ParametersDialog(ui::ViewState& state, QWidget* parent = nullptr);

    // Sets every caption in `language` (also on QEvent::LanguageChange, in the language installed
    // then).
    void applyLanguage(ui::Language language);
    void applyLanguage(bool russian); // Russian or English

    QTabWidget* printTab;
    QCheckBox* printGridBox;
    // Filters tab: mains notch, baseline (high-pass) and muscle (low-pass) filters.
    QLabel* mainsLabel;
    QComboBox* mainsBox;
    QLabel* highPassLabel;
    QComboBox* highPassBox;
    QLabel* lowPassLabel;
    QComboBox* lowPassBox;
    // Instrument tab: the port, chosen from the list or typed (a tty path such as /dev/ttyUSB0 or
    // the pseudo-terminal velkard-instrument prints).
    QLabel* portLabel;
    QComboBox* portBox;
    QLabel* portHint;
    // View tab: the screen's ECG on a dark background.
    QCheckBox* darkScreenBox;
    QPushButton* okButton;     // OK
    QPushButton* cancelButton; // Cancel
    QPushButton* applyButton;  // Apply

    // The port in use and the ports offered (foundPorts()); the box shows the one in use.
    void setPorts(const QString& current, const QStringList& offered);
    // The port chosen: an offered item's port name or the text typed, trimmed; the one in use
    // when the box is left blank.
    QString chosenPort() const;

public slots:
    void showPrintGridFlag();
    void togglePrintGrid();
    void confirm();
    void cancel();
    void apply();

protected:
    void changeEvent(QEvent* event) override;

private:
    void showFilters();
    void takeFilters();
    ui::ViewState& state_;
    QString currentPort_;
};

} // namespace velkard::app
