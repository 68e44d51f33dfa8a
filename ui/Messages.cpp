// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Messages.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>

namespace velkard::ui {

void MessageBoxes::show(const QString& text, const QString& caption, QWidget* owner) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool MessageBoxes::ask(const QString& text, const QString& caption, QWidget* owner) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    return box.exec() == QMessageBox::Yes;
}

int ModalDialogs::run(QDialog& dialog) {
    return dialog.exec();
}

QString errorCaption(Language language) {
    return translate(language, "velkard::ui", QT_TRANSLATE_NOOP("velkard::ui", "Ошибка"));
}

QString errorCaption(bool russian) {
    return errorCaption(russian ? Language::Russian : Language::English);
}

QString attentionCaption(Language language) {
    return translate(language, "velkard::ui", QT_TRANSLATE_NOOP("velkard::ui", "Внимание"));
}

void RecordingMessages::show(const QString& text, const QString& caption, QWidget*) {
    shown.push_back({text, caption, false});
}

bool RecordingMessages::ask(const QString& text, const QString& caption, QWidget*) {
    shown.push_back({text, caption, true});
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

bool RecordingMessages::contains(const QString& text) const {
    for (const auto& e : shown)
        if (e.text == text)
            return true;
    return false;
}

int ScriptedDialogs::run(QDialog& dialog) {
    shownNames.push_back(dialog.objectName());
    Handler h;
    if (!script.empty()) {
        h = std::move(script.front());
        script.pop_front();
    } else {
        h = fallback;
    }
    if (!h)
        return QDialog::Rejected;
    const int r = h(dialog);
    return r >= 0 ? r : dialog.result();
}

} // namespace velkard::ui
