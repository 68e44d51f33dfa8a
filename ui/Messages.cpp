// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Messages.h"

#include <QDialog>
#include <QMessageBox>

namespace velkard::ui {
namespace {

class BoxMessages : public Messages {
public:
    void show(const QString& text, const QString& caption, QWidget* owner) override {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    }
    bool ask(const QString& text, const QString& caption, QWidget* owner) override {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                        owner);
        return box.exec() == QMessageBox::Yes;
    }
};

class ExecDialogs : public DialogRunner {
public:
    int run(QDialog& dialog) override { return dialog.exec(); }
};

BoxMessages realMessages;
ExecDialogs realDialogs;
Messages* currentMessages = &realMessages;
DialogRunner* currentDialogs = &realDialogs;

} // namespace

Messages& messages() {
    return *currentMessages;
}
DialogRunner& dialogs() {
    return *currentDialogs;
}
void setMessages(Messages* m) {
    currentMessages = m ? m : &realMessages;
}
void setDialogs(DialogRunner* d) {
    currentDialogs = d ? d : &realDialogs;
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
