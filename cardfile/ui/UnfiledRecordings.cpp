// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/ui/UnfiledRecordings.h"

#include "cardfile/CardFile.h"
#include "cardfile/Unfiled.h"
#include "cardfile/ui/CardFileWindow.h"

#include <QLocale>
#include <cmath>

namespace velkard::cardfile::ui {

namespace {

constexpr const char* kContext = "velkard::cardfile::ui::UnfiledRecordings";

} // namespace

void offerUnfiledRecordings(velkard::ui::Seams seams, velkard::ui::Language l,
                            const std::filesystem::path& workDir,
                            const std::function<void(const QString&)>& filed, QWidget* owner,
                            const std::function<bool(const std::filesystem::path&)>& skip) {
    const auto say = [l](const char* source) {
        return velkard::ui::translate(l, kContext, source);
    };
    const CardFile cardFile(workDir);
    int nobodys = 0;
    for (const UnfiledRecording& r : listUnfiledRecordings(cardFile)) {
        if (skip && skip(r.path))
            continue;
        if (r.patientId.empty()) {
            if (setUnfiledAside(cardFile, r))
                ++nobodys;
            continue;
        }
        const QString name = QString::fromStdString(r.patientName).trimmed();
        const QString question =
            say(QT_TRANSLATE_NOOP("velkard::cardfile::ui::UnfiledRecordings",
                                  "Найдена незавершённая запись пациента %1, %2 с. Сохранить в "
                                  "архив?"))
                .arg(name, QLocale().toString(r.seconds, 'f', 1));
        if (!seams.messages.ask(question, QString(), owner)) {
            const Status aside = setUnfiledAside(cardFile, r);
            if (!aside)
                seams.messages.show(QString::fromStdString(aside.message),
                                    velkard::ui::errorCaption(l), owner);
            continue;
        }
        const auto filedAs = fileUnfiledRecording(cardFile, r, r.patientId);
        if (!filedAs) {
            seams.messages.show(
                filedAs.code == ErrorCode::Busy
                    ? busyText(l)
                    : say(QT_TRANSLATE_NOOP("velkard::cardfile::ui::UnfiledRecordings",
                                            "Запись не внесена в архив и осталась в файле ")) +
                          QString::fromStdString(r.path.string()),
                velkard::ui::errorCaption(l), owner);
            continue;
        }
        if (filed)
            filed(say(QT_TRANSLATE_NOOP("velkard::cardfile::ui::UnfiledRecordings",
                                        "Сохранено: %1, № %2, %3 с"))
                      .arg(name)
                      .arg(filedAs.value)
                      .arg(std::lround(r.seconds)));
    }
    if (nobodys > 0)
        seams.messages.show(
            say(QT_TRANSLATE_NOOP("velkard::cardfile::ui::UnfiledRecordings",
                                  "Найдены записи, не внесённые ни в одну карту (%1). Они "
                                  "сохранены в папке %2; внести в карту пациента: "
                                  "velkard-cli recover"))
                .arg(nobodys)
                .arg(QString::fromStdString((cardFile.dataDir() / "unfiled").string())),
            velkard::ui::attentionCaption(l), owner);
}

} // namespace velkard::cardfile::ui
