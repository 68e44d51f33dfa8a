// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/ui/PrintCommands.h"

#include "print/ui/PrintRangeDialog.h"
#include "signal/Recording.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <memory>

namespace velkard::print::ui {

namespace {

struct PrinterSlot {
    bool overridden = false;
    QPrinter* override = nullptr;
    std::unique_ptr<QPrinter> own;
};

PrinterSlot& slot() {
    static PrinterSlot s;
    return s;
}

const QString kError = QStringLiteral("Ошибка");

void hide(QWidget* w) {
    if (w)
        w->hide();
}

} // namespace

bool printersInstalled() {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

QPrinter* printerObject() {
    PrinterSlot& s = slot();
    if (s.overridden)
        return s.override;
    if (!s.own && printersInstalled()) {
        QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            info = QPrinterInfo::availablePrinters().front();
        s.own = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    return s.own.get();
}

void setPrinterObject(QPrinter* printer) {
    slot().overridden = true;
    slot().override = printer;
}

void resetPrinterObject() {
    slot().overridden = false;
    slot().override = nullptr;
}

PrintOutcome runPrint(velkard::ui::ViewState& state, const PrintRequest& request) {
    hide(request.durationEdit);
    hide(request.durationLabel);
    auto& msg = velkard::ui::messages();
    QPrinter* printer = request.printerExists ? printerObject() : nullptr;
    if (!printer) {
        msg.show(QStringLiteral("Нет установленных принтеров"), kError);
        return PrintOutcome::NoPrinter;
    }
    // Printing whatever happens to be loaded under the selected patient's name could label one
    // patient's ECG with another's name, so without a shown recording nothing is printed.
    if (!request.recordingShown) {
        msg.show(QStringLiteral("Выберите ЭКГ пациента"), kError);
        return PrintOutcome::NoRecording;
    }
    const bool russian = state.russian;
    {
        PrintRangeDialog range(state, request.parent);
        range.applyLanguage(russian);
        velkard::ui::dialogs().run(range);
    }
    const velkard::ui::PrintRangeChoice& choice = state.printRange;
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
            msg.show(check.message, russian ? kError : QStringLiteral("Error"));
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

    printer->setCopyCount(1);
    {
        QPrintDialog dialog(printer, request.parent);
        dialog.setObjectName(QStringLiteral("printDialog"));
        if (velkard::ui::dialogs().run(dialog) != QDialog::Accepted)
            return PrintOutcome::Cancelled;
    }
    const PrintResult result = printRecording(*printer, job);
    if (!result.ok) {
        msg.show(russian ? QStringLiteral("Ошибка печати") : QStringLiteral("Printing failed"),
                 russian ? kError : QStringLiteral("Error"));
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

void runPrintSetup(QWidget* parent, QWidget* durationEdit, QWidget* durationLabel,
                   bool printerExists) {
    hide(durationEdit);
    hide(durationLabel);
    QPrinter* printer = printerExists ? printerObject() : nullptr;
    if (!printer) {
        velkard::ui::messages().show(QStringLiteral("Нет установленных принтеров"), kError);
        return;
    }
    QPageSetupDialog dialog(printer, parent);
    dialog.setObjectName(QStringLiteral("pageSetupDialog"));
    velkard::ui::dialogs().run(dialog);
}

} // namespace velkard::print::ui
