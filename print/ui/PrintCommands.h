// The Print and Print setup commands of the main window's Patient menu.
#pragma once

#include "print/PrintJob.h"

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace velkard::signal {
struct RecordingBuffer;
}

namespace velkard::print::ui {

// The printer object: created on first use when at least one printer is installed, else null.
// Lives until the program ends.
QPrinter* printerObject();
// Replaces the printer object (tests print to a PDF this way); nullptr means "no printer".
// Not owned. resetPrinterObject() goes back to the installed printers.
void setPrinterObject(QPrinter* printer);
void resetPrinterObject();
// True when the system lists at least one printer.
bool printersInstalled();

// Everything the print command reads from the main window and the card-file selection.
struct PrintRequest {
    QWidget* parent = nullptr;        // the main window (dialogs are centred on it)
    bool printerExists = true;        // the main window found a printer at start
    QWidget* durationEdit = nullptr;  // the main window's Edit1, hidden by the command
    QWidget* durationLabel = nullptr; // its Label4
    bool recordingShown = false;      // a card-file recording is shown for review
    const signal::RecordingBuffer* recording = nullptr;
    int durationSeconds = 0;
    int groupIndex = 9;
    int scaleIndex = 1;
    int speedIndex = 2;
    QString speedText; // ComboBox3's text
    QString scaleText; // ComboBox1's text
    QString patientName;
    QString date;
    QString time;
};

enum class PrintOutcome { NoPrinter, NoRecording, BadRange, Cancelled, Printed, Failed };

// Print (N10): range dialog, range check, printer dialog, then the job on the printer object.
PrintOutcome N10Click(const PrintRequest& request);

// Print setup (N9): the page setup dialog for the printer object, or the no-printer message.
void N9Click(QWidget* parent, QWidget* durationEdit, QWidget* durationLabel,
             bool printerExists = true);

} // namespace velkard::print::ui
