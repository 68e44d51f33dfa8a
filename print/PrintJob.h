// SPDX-License-Identifier: GPL-3.0-or-later
// The print job: one recording drawn on A4 pages of a printer or a PDF, with the header line, the
// optional grid, second labels, lead labels with calibration marks and the traces.
//
// Only QtGui and QtPrintSupport; no widgets, so the command line prints through the same code.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

class QPagedPaintDevice;

namespace velkard::print {

// A range of whole seconds, begin..end inclusive of the label after end.
struct SecondsRange {
    int begin = 0;
    int end = 0;
};

struct RangeCheck {
    bool ok = false;
    SecondsRange range;
    QString message; // why the range was refused, in the interface language
};

// Checks the two range texts: whole non-negative numbers, begin <= end, end <= duration.
RangeCheck checkRange(const QString& beginText, const QString& endText, int durationSeconds,
                      bool russian);

struct PrintJob {
    const std::uint8_t* data = nullptr; // the recording file's bytes (sample records)
    std::size_t length = 0;             // L, bytes
    int durationSeconds = 0;            // the recording's duration as the card file holds it
    int groupIndex = 9;                 // lead group 0..9
    int scaleIndex = 1;                 // 5, 10, 20 mm/mV
    int speedIndex = 2;                 // 5, 10, 25, 50 mm/s
    bool all = true;                    // whole recording, else range
    SecondsRange range;                 // used when !all; already checked
    bool grid = true;                   // print-grid flag
    QString speedText;                  // the speed box's text, e.g. "25 mm/s"
    QString scaleText;                  // the scale box's text, e.g. "10 mm/mV"
    QString patientName;
    QString date; // 10 characters
    QString time; // 8 characters
};

struct PrintResult {
    bool ok = false;
    int pages = 0;
    QString message;
};

// Page geometry derived from the page size in device pixels; the page is taken as A4.
struct PageGeometry {
    int pageWidth = 0;
    int pageHeight = 0;
    double hp = 0;   // pixels per mm across
    double vp = 0;   // pixels per mm down
    double gain = 0; // pixels per sample unit
    int rows = 0;
    int band = 0;
    int baselines[12] = {};
    int firstLead = 0;
    int samplesPerColumn = 1;
    double columnStep = 0; // pixels the trace advances per decimated column
};
PageGeometry pageGeometry(int pageWidth, int pageHeight, int groupIndex, int scaleIndex,
                          int speedIndex);

// The header line: speed, scale, name, date, time.
QString headerText(const PrintJob& job);

// Lead number of the first row of a group (rows take consecutive leads from it).
int firstLeadOfGroup(int groupIndex);

// Prints the job on an open paged device (a QPrinter or a QPdfWriter): begins its own painter,
// starts new pages as the trace needs, and ends the document.
PrintResult printRecording(QPagedPaintDevice& device, const PrintJob& job);

// Writes the job as an A4 PDF at the given resolution (dots per inch).
PrintResult printToPdf(const QString& path, const PrintJob& job, int dpi);

} // namespace velkard::print
