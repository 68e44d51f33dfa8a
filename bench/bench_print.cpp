// SPDX-License-Identifier: GPL-3.0-or-later
// Printing speed: a 10-minute recording of all twelve leads into an A4 PDF at 300 and 600 dpi, and
// the one-page 12-lead report (with the diagnostic filters) from a 10-minute recording.
#include "print/PrintJob.h"
#include "print/Report.h"
#include "signal/SampleRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

namespace {

std::vector<std::uint8_t> syntheticRecording(int seconds) {
    const int n = seconds * velkard::signal::kRecordsPerSecond;
    std::vector<std::uint8_t> bytes(std::size_t(n) * velkard::signal::kRecordBytes);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / velkard::signal::kRecordsPerSecond;
        for (int c = 0; c < velkard::signal::kChannels; ++c) {
            const double beat = std::exp(-std::pow(std::fmod(t, 0.8) - 0.3, 2) / 0.0004);
            const double v = 600 * beat * (1 + 0.1 * c) + 40 * std::sin(2 * M_PI * 0.3 * t + c);
            velkard::signal::writeLe16(bytes.data() + std::size_t(i) * 16 + 2 * std::size_t(c),
                                       std::int16_t(v));
        }
    }
    return bytes;
}

void BM_PrintTenMinutesAllLeads(benchmark::State& state) {
    static const std::vector<std::uint8_t> recording = syntheticRecording(600);
    QTemporaryDir dir;
    velkard::print::PrintJob job;
    job.data = recording.data();
    job.length = recording.size();
    job.durationSeconds = 600;
    job.groupIndex = 9;
    job.scaleIndex = 1;
    job.speedIndex = 2;
    job.grid = true;
    job.speedText = QStringLiteral("25 mm/s");
    job.scaleText = QStringLiteral("10 mm/mV");
    job.patientName = QStringLiteral("Bench");
    int pages = 0;
    for (auto _ : state) {
        const auto r = velkard::print::printToPdf(dir.filePath(QStringLiteral("bench.pdf")), job,
                                                  int(state.range(0)));
        if (!r.ok())
            state.SkipWithError("printing failed");
        pages = r.value;
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintTenMinutesAllLeads)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

// The hour's print job, all leads on the grid.
velkard::print::PrintJob hourJob(const std::vector<std::uint8_t>& recording) {
    velkard::print::PrintJob job;
    job.data = recording.data();
    job.length = recording.size();
    job.durationSeconds = 3600;
    job.grid = true;
    job.speedText = QStringLiteral("25 mm/s");
    job.scaleText = QStringLiteral("10 mm/mV");
    job.patientName = QStringLiteral("Bench");
    return job;
}

// Where the hour's PDF goes: kept in VELKARD_BENCH_PDF_DIR when set, else in dir.
QString hourPdfPath(const QTemporaryDir& dir, const QString& name) {
    const QString keep = qEnvironmentVariable("VELKARD_BENCH_PDF_DIR");
    return QDir(keep.isEmpty() ? dir.path() : keep).filePath(name);
}

// A whole hour, as Print does it without a printer (A4 PDF at 600 dpi): the time and the size of
// the file it writes (bytes and MB). With VELKARD_BENCH_PDF_DIR set the PDF is kept there as
// hour.pdf, to compare the pages of two builds.
void BM_PrintHourAllLeads(benchmark::State& state) {
    static const std::vector<std::uint8_t> recording = syntheticRecording(3600);
    QTemporaryDir dir;
    const QString path = hourPdfPath(dir, QStringLiteral("hour.pdf"));
    const velkard::print::PrintJob job = hourJob(recording);
    int pages = 0;
    for (auto _ : state) {
        const auto r = velkard::print::printToPdf(path, job, 600);
        if (!r.ok())
            state.SkipWithError("printing failed");
        pages = r.value;
    }
    state.counters["pages"] = pages;
    const double bytes = double(QFileInfo(path).size());
    state.counters["bytes"] = bytes;
    state.counters["pdfMB"] = bytes / 1e6;
}
BENCHMARK(BM_PrintHourAllLeads)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same hour through Qt's own engine, as printers get it: with VELKARD_BENCH_PDF_DIR set it is
// kept there as hour-qt.pdf, the reference scripts/compare-pdf-pages.py compares hour.pdf with.
void BM_PrintHourViaQt(benchmark::State& state) {
    static const std::vector<std::uint8_t> recording = syntheticRecording(3600);
    QTemporaryDir dir;
    const QString path = hourPdfPath(dir, QStringLiteral("hour-qt.pdf"));
    const velkard::print::PrintJob job = hourJob(recording);
    for (auto _ : state) {
        const auto r =
            velkard::print::writePdf(path, 600, QPageLayout::Portrait, [&](QPagedPaintDevice& d) {
                return velkard::print::printRecording(d, job);
            });
        if (!r.ok())
            state.SkipWithError("printing failed");
    }
    state.counters["pdfMB"] = double(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(BM_PrintHourViaQt)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReportPage(benchmark::State& state) {
    static const std::vector<std::uint8_t> recording = syntheticRecording(600);
    QTemporaryDir dir;
    velkard::print::ReportJob job;
    job.data = recording.data();
    job.length = recording.size();
    job.fromSecond = 300;
    job.filters = {velkard::filter::Mains::Hz50, velkard::filter::HighPass::Hz005,
                   velkard::filter::LowPass::Hz40};
    job.patientName = QStringLiteral("Bench");
    const QString keep = qEnvironmentVariable("VELKARD_BENCH_PDF_DIR");
    const QString path = QDir(keep.isEmpty() ? dir.path() : keep)
                             .filePath(QStringLiteral("report-%1.pdf").arg(state.range(0)));
    for (auto _ : state) {
        const auto r = velkard::print::printReportToPdf(path, job, int(state.range(0)));
        if (!r.ok())
            state.SkipWithError("printing failed");
    }
}
BENCHMARK(BM_ReportPage)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
