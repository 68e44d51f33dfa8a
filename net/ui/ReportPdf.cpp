// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/ReportPdf.h"

#include "interpret/Report.h"
#include "print/Report.h"
#include "signal/Recording.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace velkard::net::ui {

Result<std::vector<std::uint8_t>> reportPdf(const cardfile::CardFile& cardFile,
                                            const cardfile::PatientRecord& patient,
                                            const cardfile::ArchiveEntry& entry, bool russian) {
    using R = Result<std::vector<std::uint8_t>>;
    signal::RecordingBuffer recording;
    if (auto s = signal::loadRecording(cardFile.recordingPath(patient.id, entry.recordNumber()),
                                       recording);
        !s)
        return R::failure(ErrorCode::CannotReadRecording, s.message);
    print::ReportJob job;
    job.data = recording.bytes.data();
    job.length = recording.bytes.size();
    job.kindA2 = entry.isA2();
    job.russian = russian;
    job.patientName = QString::fromStdString(patient.name);
    job.birthDate = QString::fromStdString(patient.birthDate);
    job.sex = QString::fromStdString(patient.sex);
    job.date = QString::fromStdString(entry.date);
    job.time = QString::fromStdString(entry.time);
    // A recording filed from a file lacking leads prints them as absent.
    if (auto leads = cardFile.readLeads(patient.id, entry.recordNumber()); leads && leads.value)
        job.present = *leads.value;
    if (auto stored = cardFile.readReport(patient.id, entry.recordNumber());
        stored && stored.value) {
        auto report = interpret::decodeReport(*stored.value);
        if (report && report.value.recordedAt == entry.date + " " + entry.time) {
            job.physicianReport = report.value;
            job.fromSecond = static_cast<int>(report.value.firstRecord / signal::kRecordsPerSecond);
        }
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        return R::failure(ErrorCode::CannotWrite, "Cannot make a temporary folder for the report");
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const print::PrintResult printed = print::printReportToPdf(path, job, 300);
    if (!printed)
        return R::failure(ErrorCode::CannotWrite, printed.message);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return R::failure(ErrorCode::CannotRead, "Cannot read the report just made");
    const QByteArray bytes = file.readAll();
    return R::success(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

} // namespace velkard::net::ui
