// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/ui/ExportRecording.h"

#include "export/CardFileExport.h"
#include "ui/Messages.h"

#include <QFileDialog>
#include <algorithm>

namespace velkard::cardfile::ui {

namespace {

namespace ex = velkard::exporting;

QString text(bool russian, const char* ru, const char* en) {
    return QString::fromUtf8(russian ? ru : en);
}

// The message for a failed export, in the interface language; the detail (the file and the
// system's reason) follows on its own line.
QString failureText(const Status& s, bool russian) {
    QString what;
    switch (s.code) {
    case ErrorCode::CannotReadRecording:
        what = text(russian, "Ошибка открытия файла с ЭКГ", "Cannot open the ECG file");
        break;
    case ErrorCode::NotAnEcg:
        what = text(russian, "Ритмограмма не содержит отведений ЭКГ и не экспортируется",
                    "A rhythmogram holds no ECG leads and cannot be exported");
        break;
    case ErrorCode::EmptyRecording:
        what = text(russian, "Запись ЭКГ пуста", "The ECG recording is empty");
        break;
    case ErrorCode::FormatCannotHold:
        what = text(russian,
                    "Формат SCP-ECG вмещает не более 40 с записи и не вмещает запись A2 после "
                    "первых 10 с; выберите EDF+, DICOM или HL7 aECG",
                    "SCP-ECG holds at most 40 s and not an A2 recording beyond its first 10 s; "
                    "choose EDF+, DICOM or HL7 aECG");
        break;
    case ErrorCode::CannotWrite:
        what = text(russian,
                    "Не удалось записать файл (папка только для чтения или диск заполнен); "
                    "файл не создан",
                    "Cannot write the file (read-only folder or full disk); no file was made");
        break;
    case ErrorCode::UnknownPatient:
    case ErrorCode::UnknownRecording:
    default:
        what = text(russian, "Ошибка экспорта", "Export failed");
        break;
    }
    return what + "\n" + QString::fromStdString(s.message);
}

} // namespace

QString exportButtonCaption(bool russian) {
    return text(russian, "Экспорт", "Export");
}

QStringList exportNameFilters(bool russian) {
    return russian ? QStringList{QString::fromUtf8("EDF+ для программ просмотра (*.edf)"),
                                 QString::fromUtf8("DICOM ЭКГ для архива изображений (*.dcm)"),
                                 QString::fromUtf8("SCP-ECG (*.scp)"),
                                 QString::fromUtf8("HL7 aECG (*.xml)")}
                   : QStringList{"EDF+ for signal viewers (*.edf)",
                                 "DICOM ECG for image archives (*.dcm)", "SCP-ECG (*.scp)",
                                 "HL7 aECG (*.xml)"};
}

bool exportWithSaveDialog(velkard::ui::Seams seams, const CardFile& cardFile,
                          const PatientRecord& patient, const ArchiveEntry& entry, bool russian,
                          const QString& folder, QWidget* owner) {
    auto& messages = seams.messages;
    const QString caption = exportButtonCaption(russian);
    if (entry.isRhythm()) {
        messages.show(failureText(Status::failure(ErrorCode::NotAnEcg, ""), russian).trimmed(),
                      caption, owner);
        return false;
    }
    const QStringList filters = exportNameFilters(russian);
    QString chosen;
    QString chosenFilter;
    {
        QFileDialog dialog(owner, text(russian, "Экспорт ЭКГ", "Export ECG"), folder);
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
    const Status s = ex::exportCardFileRecording(cardFile, patient, entry, *format, target);
    if (!s) {
        messages.show(failureText(s, russian), velkard::ui::errorCaption(russian), owner);
        return false;
    }
    messages.show(text(russian, "ЭКГ экспортирована в файл\n", "The ECG was exported to\n") +
                      QString::fromStdString(target.string()),
                  caption, owner);
    return true;
}

} // namespace velkard::cardfile::ui
