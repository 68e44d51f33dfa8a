// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/testing/TestSeams.h"

#include <QDialog>

namespace velkard::ui {

void RecordingMessages::show(const QString& text, const QString& caption, QWidget*) {
    shown.push_back({text, caption, false});
}

bool RecordingMessages::ask(const QString& text, const QString& caption, QWidget*,
                            bool yesByDefault) {
    shown.push_back({text, caption, true, yesByDefault});
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
