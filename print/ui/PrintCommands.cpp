// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/ui/PrintCommands.h"

#include "print/Report.h"
#include "print/ui/PrintRangeDialog.h"
#include "signal/Recording.h"
#include "ui/Messages.h"
#include "ui/ProgressJob.h"
#include "ui/ViewState.h"

#include <QDir>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <functional>
#include <memory>

namespace velkard::print::ui {

namespace {

using velkard::ui::Language;

constexpr const char* kContext = "velkard::print::ui::PrintCommands";

QString text(Language l, const char* source) {
    return velkard::ui::translate(l, kContext, source);
}

void hide(QWidget* w) {
    if (w)
        w->hide();
}

// A PDF written says where, as an export does.
void confirmPdf(velkard::ui::Messages& msg, const QString& path, Language l) {
    msg.show(text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands",
                                       "ЭКГ сохранена в файл PDF\n")) +
                 QDir::toNativeSeparators(path),
             text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Информация")));
}

// "ЭКГ <name> <date>.pdf" ("ECG …" in English) in the current folder, characters unfit for a
// file name left out.
QString pdfFileName(const PrintRequest& request, Language l) {
    QString name = text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "ЭКГ %1 %2"))
                       .arg(request.patientName.trimmed(), request.date.trimmed())
                       .trimmed();
    for (QChar& c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"')
            c = u'_';
    return name + QStringLiteral(".pdf");
}

// The PDF file the job goes to when there is no printer; empty when the user cancelled.
QString choosePdfFile(velkard::ui::DialogRunner& dialogs, const PrintRequest& request, Language l) {
    QFileDialog dialog(request.parent,
                       text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands",
                                                 "Сохранить ЭКГ в файл PDF")));
    dialog.setObjectName(QStringLiteral("pdfFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(pdfFileName(request, l));
    if (dialogs.run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

// Runs print (on the printer, or into a PDF) off the window thread while a progress dialog counts
// the pages; Cancel makes the progress it is given answer false, and the job then stops before its
// next step, printing and writing nothing.
using Printing = std::function<PrintResult(const std::function<bool(int done, int pages)>&)>;
PrintResult printInBackground(QWidget* parent, Language l, const Printing& print) {
    const velkard::ui::ProgressTexts texts{
        text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Печать")),
        text(l,
             QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Печать: страница %1 из %2")),
        text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Отмена"))};
    PrintResult result;
    velkard::ui::runWithProgress(parent, texts, [&](velkard::ui::JobProgress& progress) {
        result = print([&progress](int done, int pages) { return progress.report(done, pages); });
    });
    return result;
}

// The whole-recording job, drawn off the window thread.
PrintResult printInBackground(QWidget* parent, const PrintJob& job, QPrinter* printer,
                              const QString& path, Language l) {
    return printInBackground(parent, l, [&](const auto& progress) {
        PrintJob paged = job;
        paged.progress = progress;
        return printer ? printRecording(*printer, paged) : printToPdf(path, paged, 600);
    });
}

// The 12-lead report, drawn off the window thread.
PrintResult printReportInBackground(QWidget* parent, const ReportJob& job, QPrinter* printer,
                                    const QString& path, Language l) {
    return printInBackground(parent, l, [&](const auto& progress) {
        ReportJob stepped = job;
        stepped.progress = progress;
        return printer ? printReport(*printer, stepped) : printReportToPdf(path, stepped, 600);
    });
}

// The one-page 12-lead report on the printer, or into a PDF file without one.
PrintOutcome runReport(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                       const PrintRequest& request, QPrinter* printer) {
    const bool russian = state.inRussian();
    const Language l = state.interfaceLanguage();
    auto& msg = seams.messages;
    const QString fromText = state.printRange.reportFromText.trimmed();
    bool ok = !fromText.isEmpty();
    const int from = fromText.toInt(&ok);
    if (!ok || from < 0) {
        msg.show(text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands",
                                           "Начало отчёта должно быть целым числом секунд")),
                 velkard::ui::errorCaption(l));
        return PrintOutcome::BadRange;
    }
    ReportJob job;
    if (request.recording) {
        job.data = request.recording->bytes.data();
        job.length = request.recording->bytes.size();
    }
    job.kindA2 = request.kindA2;
    job.scaleIndex = request.scaleIndex;
    job.fromSecond = from;
    // Ten seconds do not fit after the second asked for: the report shows the last ten, and says
    // so before it is printed.
    const int start = reportStartSecond(from, job.length);
    if (start != from)
        msg.show(text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands",
                                           "Отчёт показывает 10 с: он начинается с %1 с, а не с "
                                           "%2 с, так как запись короче"))
                     .arg(start)
                     .arg(from),
                 text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Информация")));
    job.grid = state.printGrid;
    job.russian = russian;
    job.filters = state.filters;
    job.present = request.present;
    if (request.importedFileName.isEmpty()) {
        job.patientName = request.patientName;
        job.birthDate = request.birthDate;
        job.sex = request.sex;
        job.date = request.date;
        job.time = request.time;
        job.physicianReport = request.physicianReport;
    } else {
        // An imported recording belongs to no card-file patient: its file name instead.
        job.fileName = request.importedFileName;
    }
    PrintResult result;
    if (!printer) {
        const QString path = choosePdfFile(seams.dialogs, request, l);
        if (path.isEmpty())
            return PrintOutcome::Cancelled;
        result = printReportInBackground(request.parent, job, nullptr, path, l);
        if (result.ok())
            confirmPdf(msg, path, l);
    } else {
        printer->setCopyCount(1);
        QPrintDialog dialog(printer, request.parent);
        dialog.setObjectName(QStringLiteral("printDialog"));
        if (seams.dialogs.run(dialog) != QDialog::Accepted)
            return PrintOutcome::Cancelled;
        result = printReportInBackground(request.parent, job, printer, QString(), l);
    }
    if (result.code == ErrorCode::Cancelled)
        return PrintOutcome::Cancelled;
    if (!result.ok()) {
        msg.show(text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Ошибка печати")),
                 velkard::ui::errorCaption(l));
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

} // namespace

bool printersInstalled() {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

std::unique_ptr<QPrinter> makeInstalledPrinter() {
    if (!printersInstalled())
        return nullptr;
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        info = QPrinterInfo::availablePrinters().front();
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

PrintOutcome runPrint(velkard::ui::ViewState& state, velkard::ui::Seams seams,
                      const PrintRequest& request) {
    hide(request.durationEdit);
    hide(request.durationLabel);
    auto& msg = seams.messages;
    // Without an installed printer the job goes into a PDF file the user names.
    QPrinter* printer = request.printer;
    // Printing whatever happens to be loaded under the selected patient's name could label one
    // patient's ECG with another's name, so without a shown recording nothing is printed.
    if (!request.recordingShown) {
        // Russian in English too, as it always was.
        const Language shown = state.interfaceLanguage();
        msg.show(text(shown, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands",
                                               "Выберите ЭКГ пациента")),
                 text(shown, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Ошибка")));
        return PrintOutcome::NoRecording;
    }
    const bool russian = state.inRussian();
    const Language l = state.interfaceLanguage();
    {
        PrintRangeDialog range(state, request.parent);
        range.applyLanguage(l);
        range.setDurationSeconds(request.durationSeconds);
        // Cancel, Esc or the close button end the command.
        if (seams.dialogs.run(range) != QDialog::Accepted)
            return PrintOutcome::Cancelled;
    }
    const velkard::ui::PrintRangeChoice& choice = state.printRange;
    if (choice.report)
        return runReport(state, seams, request, printer);
    PrintJob job;
    if (request.recording) {
        job.data = request.recording->bytes.data();
        job.length = request.recording->bytes.size();
    }
    job.durationSeconds = request.durationSeconds;
    job.groupIndex = request.groupIndex;
    job.scaleIndex = request.scaleIndex;
    job.speedIndex = request.speedIndex;
    job.all = choice.all;
    if (!choice.all) {
        const RangeCheck check =
            checkRange(choice.beginText, choice.endText, request.durationSeconds, russian);
        if (!check.ok) {
            msg.show(check.message, velkard::ui::errorCaption(l));
            return PrintOutcome::BadRange;
        }
        job.range = check.range;
    }
    job.grid = state.printGrid;
    job.speedText = request.speedText;
    job.scaleText = request.scaleText;
    if (request.importedFileName.isEmpty()) {
        job.patientName = request.patientName;
        job.date = request.date;
        job.time = request.time;
    } else {
        // An imported recording belongs to no card-file patient: no name of an earlier choice.
        job.patientName = request.importedFileName;
    }
    job.kindA2 = request.kindA2;
    job.filters = state.filters;
    job.russian = russian;
    job.present = request.present;

    if (!printer) {
        const QString path = choosePdfFile(seams.dialogs, request, l);
        if (path.isEmpty())
            return PrintOutcome::Cancelled;
        const PrintResult result = printInBackground(request.parent, job, nullptr, path, l);
        if (result.code == ErrorCode::Cancelled)
            return PrintOutcome::Cancelled;
        if (!result.ok()) {
            msg.show(
                text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Ошибка печати: ")) +
                    QString::fromStdString(result.message),
                velkard::ui::errorCaption(l));
            return PrintOutcome::Failed;
        }
        confirmPdf(msg, path, l);
        return PrintOutcome::Printed;
    }
    printer->setCopyCount(1);
    {
        QPrintDialog dialog(printer, request.parent);
        dialog.setObjectName(QStringLiteral("printDialog"));
        if (seams.dialogs.run(dialog) != QDialog::Accepted)
            return PrintOutcome::Cancelled;
    }
    const PrintResult result = printInBackground(request.parent, job, printer, QString(), l);
    if (result.code == ErrorCode::Cancelled)
        return PrintOutcome::Cancelled;
    if (!result.ok()) {
        msg.show(text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Ошибка печати")),
                 velkard::ui::errorCaption(l));
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

void runPrintSetup(velkard::ui::Seams seams, QPrinter* printer, QWidget* parent,
                   QWidget* durationEdit, QWidget* durationLabel, bool russian) {
    runPrintSetup(seams, printer, parent, durationEdit, durationLabel,
                  russian ? Language::Russian : Language::English);
}

void runPrintSetup(velkard::ui::Seams seams, QPrinter* printer, QWidget* parent,
                   QWidget* durationEdit, QWidget* durationLabel, Language l) {
    hide(durationEdit);
    hide(durationLabel);
    if (!printer) {
        // Print still works: it writes a PDF file (A4) chosen in a file dialog.
        seams.messages.show(
            text(l, QT_TRANSLATE_NOOP(
                        "velkard::print::ui::PrintCommands",
                        "Нет установленных принтеров: «Печать» сохранит ЭКГ в файл PDF")),
            text(l, QT_TRANSLATE_NOOP("velkard::print::ui::PrintCommands", "Информация")));
        return;
    }
    QPageSetupDialog dialog(printer, parent);
    dialog.setObjectName(QStringLiteral("pageSetupDialog"));
    seams.dialogs.run(dialog);
}

} // namespace velkard::print::ui
