// SPDX-License-Identifier: GPL-3.0-or-later
// The Print and Print setup commands of the main window's Patient menu.
#pragma once

#include "interpret/Report.h"
#include "print/PrintJob.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QPrinter;
class QWidget;

namespace velkard::signal {
struct RecordingBuffer;
}

namespace velkard::print::ui {

// The printer object the program prints on: the system's default printer (else the first one
// listed) at high resolution; null when no printer is installed. The main window makes it on
// first use and keeps it.
std::unique_ptr<QPrinter> makeInstalledPrinter();
// True when the system lists at least one printer.
bool printersInstalled();

// Everything the print command reads from the main window and the card-file selection.
struct PrintRequest {
    QWidget* parent = nullptr;        // the main window (dialogs are centred on it)
    QPrinter* printer = nullptr;      // the printer object; without one the job goes into a PDF
    QWidget* durationEdit = nullptr;  // the main window's beginEdit, hidden by the command
    QWidget* durationLabel = nullptr; // its secondsLabel
    bool recordingShown = false;      // a card-file recording is shown for review
    const signal::RecordingBuffer* recording = nullptr;
    bool kindA2 = false; // the recording is of kind A2
    int durationSeconds = 0;
    int groupIndex = 9;
    int scaleIndex = 1;
    int speedIndex = 2;
    QString speedText; // the speed box's text
    QString scaleText; // the scale box's text
    QString patientName;
    QString birthDate; // the patient's, as the card file stores it (the report prints it)
    QString sex;       // the patient's, as stored (the report's statements use it)
    QString date;
    QString time;
    // Set for a recording shown by Import: the header carries this file name instead of a
    // patient's name, date and time, and durationSeconds is the imported recording's own.
    QString importedFileName;
    // The physician's report stored beside the recording: the 12-lead report prints its
    // statements (and the confirmation) instead of the program's.
    std::optional<interpret::Report> physicianReport;
    // The leads the recording carries (a file of another system may lack some).
    std::array<bool, 12> present{true, true, true, true, true, true,
                                 true, true, true, true, true, true};
};

enum class PrintOutcome { NoPrinter, NoRecording, BadRange, Cancelled, Printed, Failed };

// Print: range dialog, range check, printer dialog, then the job on the printer object; without a
// printer, a file dialog and the job into that PDF file.
PrintOutcome runPrint(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                      const PrintRequest& request);

// Print setup: the page setup dialog for the printer object; without a printer (null), a note that
// Print writes a PDF file.
void runPrintSetup(velkard::ui::Seams seams, QPrinter* printer, QWidget* parent,
                   QWidget* durationEdit, QWidget* durationLabel, velkard::ui::Language language);
// The same for Russian or English.
void runPrintSetup(velkard::ui::Seams seams, QPrinter* printer, QWidget* parent,
                   QWidget* durationEdit, QWidget* durationLabel, bool russian = true);

} // namespace velkard::print::ui
