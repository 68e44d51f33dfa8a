// SPDX-License-Identifier: GPL-3.0-or-later
// The standard 12-lead report: four columns of 2.5 s (I, II, III | aVR, aVL, aVF |
// V1, V2, V3 | V4, V5, V6) and a 10-s rhythm strip of lead II below, at 25 mm/s and the chosen
// gain, on A4 landscape with grid, calibration marks and a header naming the patient; where the
// ten seconds have beats, a second page with the measurements lead by lead.
#pragma once

#include "filter/Filters.h"
#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "print/PrintJob.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

class QPagedPaintDevice;

namespace velkard::print {

inline constexpr double kReportSeconds = 10.0;
inline constexpr double kReportMmPerSecond = 25.0;

struct ReportJob {
    const std::uint8_t* data = nullptr; // the recording file's bytes (sample records), raw
    std::size_t length = 0;
    bool kindA2 = false;
    int scaleIndex = 1; // 5, 10, 20 mm/mV
    int fromSecond = 0; // the ten seconds shown start here (moved back when past the end)
    bool grid = true;
    bool russian = true; // language of the header
    filter::FilterSettings filters;
    QString patientName;
    QString birthDate;
    QString sex; // as the card file stores it ("Муж", "Жен", …); the statements' thresholds
    QString date;
    QString time;
    QString fileName; // an imported recording's file, shown when there is no patient
    // The ten seconds' measurements (rate, intervals, axes, Sokolow-Lyon) in the header, and the
    // interpretation's statements with their reasons under them, marked unconfirmed.
    bool measurements = true;
    // The physician's report stored beside the recording: its statements are printed instead of
    // the program's, an edited one marked so, and once confirmed "Подтверждено: <name>, <date
    // time>" in place of the unconfirmed mark.
    std::optional<interpret::Report> physicianReport;
    // More header lines (e.g. an interpretation), printed as they are under the measurements.
    QStringList extraHeaderLines;
    // Told before each step (the header with its measurements, the leads, each strip, the lead
    // table) as pages done of pages (0 of 2 on the first page, 1 of 2 on the table's, at the end
    // 2 of 2; of 1 without a table); answering false stops the report: printReport
    // fails with ErrorCode::Cancelled as printRecording does (a printer's job is aborted, a PDF
    // is not written).
    std::function<bool(int done, int pages)> progress;
    // The leads the recording carries (order I, II, III, aVR, aVL, aVF, V1..V6): an absent lead
    // shows its label and a dash, takes no part in the measurements and statements, and its
    // values are "—".
    std::array<bool, 12> present{true, true, true, true, true, true,
                                 true, true, true, true, true, true};
};

// The second the report starts at for a wished start: at most the last whole second that still
// leaves ten seconds (or 0 for a shorter recording).
int reportStartSecond(int wishedSecond, std::size_t recordingBytes);

// The header lines (left block, then right block) as printed. The left block measures the
// report's ten seconds when job.measurements is set (an A2 recording only where it has all
// twelve leads).
QStringList reportHeaderLeft(const ReportJob& job);
// What the signal quality found in a lead, as the report prints it after the lead's name
// ("V4: шум" / "V4: noisy"): off, noisy, mains, drift, steps; empty for a clean lead.
QString leadQualityText(const measure::LeadQuality& quality, bool russian);
QStringList reportHeaderRight(const ReportJob& job);

// The patient the statements' thresholds are chosen for: sex from the card's text, age in whole
// years from the birth date on the recording's date (dd.MM.yyyy); unknown where they do not read.
interpret::Patient reportPatient(const ReportJob& job);

// Prints the report on landscape pages of an open paged device (its page orientation is set
// here) and ends the document; the result counts the pages.
PrintResult printReport(QPagedPaintDevice& device, const ReportJob& job);

// Writes the report as an A4 landscape PDF at the given resolution (dots per inch).
PrintResult printReportToPdf(const QString& path, const ReportJob& job, int dpi);

} // namespace velkard::print
