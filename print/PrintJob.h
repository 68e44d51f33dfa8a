// SPDX-License-Identifier: GPL-3.0-or-later
// The print job: one recording drawn on A4 pages of a printer or a PDF, with the header line, the
// optional grid, second labels, lead labels with calibration marks and the traces.
//
// Only QtGui and QtPrintSupport; no widgets, so the command line prints through the same code.
#pragma once

#include "filter/Filters.h"
#include "signal/Status.h"

#include <QPageLayout>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QPagedPaintDevice;
class QPainter;

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
    QString date;                   // 10 characters
    QString time;                   // 8 characters
    bool kindA2 = false;            // records after 8040 carry lead II alone
    filter::FilterSettings filters; // display and print filters (zero phase)
    bool russian = true;            // language of the filter text in the header
    // The leads the recording carries (order I, II, III, aVR, aVL, aVF, V1..V6; a file of another
    // system may lack some): an absent lead's row shows its label and a dash, never a flat line.
    std::array<bool, 12> present{true, true, true, true, true, true,
                                 true, true, true, true, true, true};
    // Told before each page is drawn (pages drawn so far, pages in all); answering false stops the
    // job: printRecording fails with ErrorCode::Cancelled (a printer's job is aborted, a PDF is
    // not written).
    std::function<bool(int done, int pages)> progress;
};

// The pages printed (on failure, as far as printing came), or why printing failed.
using PrintResult = Result<int>;

struct Paper;

// Where things go on a page, in millimetres from the paint rectangle's top-left corner.
struct PrintLayout {
    double headerTopMm = 1.5;
    double labelTopMm = 6.5;   // second labels
    double x0Mm = 20;          // where each row's trace starts (second 0 of the page)
    double xEndMm = 0;         // where it ends
    double markXMm = 0;        // calibration marks
    double leadLabelXMm = 1.5; // lead names
    int rows = 0;
    double baselinesMm[12] = {};
    int firstLead = 0;
    double mmPerSecond = 25;
    double mmPerMv = 10;
    std::size_t recordsPerPage = 0; // the trace a page carries
};
PrintLayout printLayout(const Paper& paper, const PrintJob& job);

// The second labels of a page: every `step`-th second (1, 2, 5, 10, ...), wide enough apart not to
// touch at this speed.
int secondLabelStep(double mmPerSecond, double widestLabelMm);

// The header line: speed, scale, name, date, time, filters.
QString headerText(const PrintJob& job);

// Lead number of the first row of a group (rows take consecutive leads from it).
int firstLeadOfGroup(int groupIndex);

// Prints the job on an open paged device (a QPrinter or a QPdfWriter): begins its own painter,
// starts new pages as the trace needs, and ends the document.
PrintResult printRecording(QPagedPaintDevice& device, const PrintJob& job);

// Ends a job the user cancelled on its open painter: a printer drops the pages spooled so far and
// its "print to file" PDF is removed (writePdf's caller commits nothing). Returns the Cancelled
// failure with the pages drawn.
PrintResult endCancelled(QPainter& painter, QPagedPaintDevice& device, int pages);

// Writes the job as an A4 PDF at the given resolution (dots per inch).
PrintResult printToPdf(const QString& path, const PrintJob& job, int dpi);

// Draws A4 pages of the given orientation into a PDF at path: written beside the target and
// renamed over it only when draw succeeded, so a failed job never leaves a truncated file where an
// earlier one stood.
PrintResult writePdf(const QString& path, int dpi, QPageLayout::Orientation orientation,
                     const std::function<PrintResult(QPagedPaintDevice&)>& draw);

} // namespace velkard::print
