// SPDX-License-Identifier: GPL-3.0-or-later
// Print command: the print job of the program written into an A4 PDF.
#include "cli/Cli.h"
#include "cli/FilterOptions.h"
#include "cli/GuiApplication.h"
#include "display/Geometry.h"
#include "print/PrintJob.h"
#include "print/Report.h"
#include "signal/Recording.h"

#include <QDate>
#include <QGuiApplication>
#include <QTime>
#include <iostream>
#include <memory>

namespace velkard::cli {
namespace {

const Command kPrint{
    "print", "print a recording on A4 pages into a PDF file, as the program's Print does",
    std::string(
        "Usage: velkard-cli print RECORDING OUT.pdf [options]\n"
        "Prints the recording file (sample records) with the header line, grid, second labels, "
        "lead\n"
        "labels, calibration marks and traces, and prints pages=N. With --report it prints the\n"
        "12-lead report instead (A4 landscape, 25 mm/s, ten seconds from --from; where beats are\n"
        "found, a second page with the measurements lead by lead) and pages=N from=S. Leads\n"
        "that a card-file recording's lead list (<id>_<n>.lds beside it) names absent are printed\n"
        "as a label and a dash.\n"
        "Options:\n"
        "  --report               the 12-lead report\n"
        "  --lang en|ru           the language of the header, labels and report (default en)\n"
        "  --from S               the report's first second (default 0)\n"
        "  --a2                   the recording is of kind A2 (records after 8040 carry lead II)\n"
        "  --birth DD.MM.YYYY     birth date for the report header (and the statements' age)\n"
        "  --sex M|F              the patient's sex, for the report's statements\n") +
        kFilterOptionsHelp +
        "  --group 0-9            lead group (default 9, I..V6)\n"
        "  --scale 0-2            5, 10, 20 mm/mV (default 1)\n"
        "  --speed 0-3            5, 10, 25, 50 mm/s (default 2)\n"
        "  --range BEGIN-END      print only these seconds (whole numbers, within the recording)\n"
        "  --no-grid              leave the grid out\n"
        "  --duration S           the recording's duration in seconds (default: its length at 800\n"
        "                         records per second)\n"
        "  --name TEXT            patient name for the header\n"
        "  --date DD.MM.YYYY      recording date for the header\n"
        "  --time HH:MM:SS        recording time for the header\n"
        "  --dpi N                printer resolution, 72-2400 (default 600)\n",
    nullptr};

int runPrint(const std::vector<std::string>& argv) {
    std::vector<std::string> valueOptions{"group", "scale", "speed", "range", "duration",
                                          "name",  "date",  "time",  "dpi",   "from",
                                          "birth", "sex",   "lang"};
    for (const std::string& f : filterOptionNames())
        valueOptions.push_back(f);
    Args args(argv, valueOptions, {"no-grid", "report", "a2"});
    if (!args.ok())
        return usage(kPrint, args.error());
    if (args.wantsHelp()) {
        std::cout << kPrint.help;
        return kOk;
    }
    if (args.positional().size() != 2)
        return usage(kPrint, "expects RECORDING and OUT.pdf");

    struct IntOpt {
        const char* name;
        long lo, hi, fallback;
        long value = 0;
    };
    IntOpt opts[] = {{"group", 0, 9, 9},     {"scale", 0, 2, 1},           {"speed", 0, 3, 2},
                     {"dpi", 72, 2400, 600}, {"duration", 0, 1000000, -1}, {"from", 0, 1000000, 0}};
    for (IntOpt& o : opts) {
        o.value = o.fallback;
        if (auto text = args.value(o.name)) {
            auto v = intValue(*text, o.lo, o.hi);
            if (!v)
                return usage(kPrint, std::string("--") + o.name + " must be a whole number from " +
                                         std::to_string(o.lo) + " to " + std::to_string(o.hi));
            o.value = *v;
        }
    }
    const QString date = QString::fromStdString(args.valueOr("date", ""));
    if (!date.isEmpty() && !QDate::fromString(date, QStringLiteral("dd.MM.yyyy")).isValid())
        return usage(kPrint, "--date must be DD.MM.YYYY");
    const QString time = QString::fromStdString(args.valueOr("time", ""));
    if (!time.isEmpty() && !QTime::fromString(time, QStringLiteral("hh:mm:ss")).isValid())
        return usage(kPrint, "--time must be HH:MM:SS");

    const std::string lang = args.valueOr("lang", "en");
    if (lang != "ru" && lang != "en")
        return usage(kPrint, "--lang needs ru or en");

    std::string filterError;
    const auto filters = filterOptions(args, filterError);
    if (!filters)
        return usage(kPrint, filterError);

    signal::RecordingBuffer recording;
    if (auto st = signal::loadRecording(args.positional()[0], recording); !st)
        return fail(st.message);

    print::PrintJob job;
    job.data = recording.bytes.data();
    job.length = recording.bytes.size();
    job.durationSeconds = opts[4].value >= 0
                              ? int(opts[4].value)
                              : int(recording.records() / std::size_t(signal::kRecordsPerSecond));
    job.groupIndex = int(opts[0].value);
    job.scaleIndex = int(opts[1].value);
    job.speedIndex = int(opts[2].value);
    job.grid = !args.has("no-grid");
    job.speedText = QString::fromUtf8(display::speedItem(job.speedIndex, lang == "ru"));
    job.scaleText = QString::fromUtf8(display::scaleItem(job.scaleIndex, lang == "ru"));
    job.patientName = QString::fromStdString(args.valueOr("name", ""));
    job.date = date;
    job.time = time;
    job.filters = *filters;
    job.russian = lang == "ru";
    // A card-file recording of kind A2 is one without being told.
    job.kindA2 =
        args.has("a2") || kindInCardFile(args.positional()[0]) == signal::RecordingKind::A2;
    // A card-file recording filed from a file lacking leads prints them as absent.
    job.present = leadsBeside(args.positional()[0], recording.bytes);
    if (args.has("report")) {
        print::ReportJob report;
        report.data = job.data;
        report.length = job.length;
        report.kindA2 = job.kindA2;
        report.present = job.present;
        report.scaleIndex = job.scaleIndex;
        report.fromSecond = int(opts[5].value);
        report.grid = job.grid;
        report.russian = job.russian;
        report.filters = job.filters;
        report.patientName = job.patientName;
        report.birthDate = QString::fromStdString(args.valueOr("birth", ""));
        report.sex = QString::fromStdString(args.valueOr("sex", ""));
        report.date = job.date;
        report.time = job.time;
        auto app = guiApplication();
        const print::PrintResult result = print::printReportToPdf(
            QString::fromStdString(args.positional()[1]), report, int(opts[3].value));
        if (!result)
            return fail(result.message);
        std::cout << "pages=" << result.value
                  << " from=" << print::reportStartSecond(report.fromSecond, report.length) << "\n";
        return kOk;
    }
    if (auto range = args.value("range")) {
        const auto dash = range->find('-');
        if (dash == std::string::npos)
            return usage(kPrint, "--range must be BEGIN-END");
        const print::RangeCheck check = print::checkRange(
            QString::fromStdString(range->substr(0, dash)),
            QString::fromStdString(range->substr(dash + 1)), job.durationSeconds, false);
        if (!check.ok)
            return fail(check.message.toStdString());
        job.all = false;
        job.range = check.range;
    }

    auto app = guiApplication();
    const print::PrintResult result =
        print::printToPdf(QString::fromStdString(args.positional()[1]), job, int(opts[3].value));
    if (!result)
        return fail(result.message);
    std::cout << "pages=" << result.value << "\n";
    return kOk;
}

const Registration regPrint{[] {
    Command c = kPrint;
    c.run = runPrint;
    return c;
}()};

} // namespace
} // namespace velkard::cli
