// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ui/ExportRecording.h"

#include "export/CardFileExport.h"
#include "ui/Messages.h"
#include "ui/ProgressJob.h"

#include <QFileDialog>
#include <algorithm>

namespace velkard::exporting::ui {

using cardfile::ArchiveEntry;
using cardfile::CardFile;
using cardfile::PatientRecord;

namespace {

namespace ex = velkard::exporting;

using velkard::ui::Language;

// The context of the export's texts in the translation files.
constexpr const char* kContext = "velkard::exporting::ui::ExportRecording";

QString text(Language l, const char* source) {
    return velkard::ui::translate(l, kContext, source);
}

// The message for a failed export, in the interface language; the detail (the file and the
// system's reason) follows on its own line.
QString failureText(const Status& s, Language l) {
    QString what;
    switch (s.code) {
    case ErrorCode::CannotReadRecording:
        what = text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording",
                                         "Ошибка открытия файла с ЭКГ"));
        break;
    case ErrorCode::NotAnEcg:
        what =
            text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording",
                                      "Ритмограмма не содержит отведений ЭКГ и не экспортируется"));
        break;
    case ErrorCode::EmptyRecording:
        what = text(
            l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Запись ЭКГ пуста"));
        break;
    case ErrorCode::FormatCannotHold:
        what =
            text(l, QT_TRANSLATE_NOOP(
                        "velkard::exporting::ui::ExportRecording",
                        "Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после "
                        "первых 10 с; выберите EDF+, DICOM или HL7 aECG"));
        break;
    case ErrorCode::CannotWrite:
        what = text(l, QT_TRANSLATE_NOOP(
                           "velkard::exporting::ui::ExportRecording",
                           "Не удалось записать файл (папка только для чтения или диск заполнен); "
                           "файл не создан"));
        break;
    case ErrorCode::UnknownPatient:
    case ErrorCode::UnknownRecording:
    default:
        what = text(
            l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Ошибка экспорта"));
        break;
    }
    return what + "\n" + QString::fromStdString(s.message);
}

} // namespace

void offerExport(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
                 const velkard::ui::ViewState& state) {
    window.setExportAction([seams, &state](const CardFile& cardFile, const PatientRecord& patient,
                                           const ArchiveEntry& entry, QWidget* owner) {
        exportWithSaveDialog(seams, cardFile, patient, entry, state.interfaceLanguage(),
                             QString::fromStdString(cardFile.workDir().string()), owner);
    });
}

QStringList exportNameFilters(Language l) {
    // The extension in brackets is the one the dialog filters by.
    return {text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording",
                                      "EDF+ для программ просмотра (*.edf)")),
            text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording",
                                      "DICOM ЭКГ для архива изображений (*.dcm)")),
            QStringLiteral("SCP-ECG (*.scp)"), QStringLiteral("HL7 aECG (*.xml)")};
}

bool exportWithSaveDialog(velkard::ui::Seams seams, const CardFile& cardFile,
                          const PatientRecord& patient, const ArchiveEntry& entry, Language l,
                          const QString& folder, QWidget* owner) {
    auto& messages = seams.messages;
    const QString caption =
        text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Экспорт"));
    if (entry.isRhythm()) {
        messages.show(failureText(Status::failure(ErrorCode::NotAnEcg, ""), l).trimmed(), caption,
                      owner);
        return false;
    }
    const QStringList filters = exportNameFilters(l);
    QString chosen;
    QString chosenFilter;
    {
        QFileDialog dialog(
            owner,
            text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Экспорт ЭКГ")),
            folder);
        dialog.setObjectName("ExportDialog");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
        // A name typed without extension gets the chosen filter's.
        dialog.setDefaultSuffix("edf");
        QObject::connect(
            &dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog, &filters](const QString& filter) {
                const auto index = std::max<qsizetype>(0, filters.indexOf(filter));
                dialog.setDefaultSuffix(QString::fromUtf8(
                    ex::formatExtension(ex::kFormats[static_cast<std::size_t>(index)]).substr(1)));
            });
        dialog.selectFile(
            QString::fromStdString(ex::defaultExportFileName(patient, entry, ex::Format::Edf)));
        if (seams.dialogs.run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        chosen = dialog.selectedFiles().front();
        chosenFilter = dialog.selectedNameFilter();
    }
    // The extension names the format; without a known one the chosen filter does and its
    // extension is added.
    std::filesystem::path target = chosen.toStdString();
    auto format = ex::formatFromPath(target);
    if (!format) {
        const auto index = std::max<qsizetype>(0, filters.indexOf(chosenFilter));
        format = ex::kFormats[static_cast<std::size_t>(index)];
        target += std::string(ex::formatExtension(*format));
    }
    // Written off the window thread; Cancel leaves no file (and an older one of the name as it
    // was).
    const velkard::ui::ProgressTexts texts{
        caption,
        text(l,
             QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Экспорт: %1 с из %2 с")),
        text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording", "Отмена"))};
    Status s;
    velkard::ui::runWithProgress(owner, texts, [&](velkard::ui::JobProgress& progress) {
        s = ex::exportCardFileRecording(
            cardFile, patient, entry, *format, target,
            [&progress](std::size_t done, std::size_t total) {
                return progress.report((long long)done, (long long)total);
            },
            // The statements have Russian and English texts.
            l == Language::Russian ? interpret::Language::Russian : interpret::Language::English);
    });
    if (s == ErrorCode::Cancelled)
        return false;
    if (!s) {
        messages.show(failureText(s, l), velkard::ui::errorCaption(l), owner);
        return false;
    }
    messages.show(text(l, QT_TRANSLATE_NOOP("velkard::exporting::ui::ExportRecording",
                                            "ЭКГ экспортирована в файл\n")) +
                      QString::fromStdString(target.string()),
                  caption, owner);
    return true;
}

} // namespace velkard::exporting::ui
