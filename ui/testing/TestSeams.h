// SPDX-License-Identifier: GPL-3.0-or-later
// The seams as tests hand them: messages recorded and questions answered from a queue, dialogs run
// by a script instead of their event loop. For tests only (library velkard_ui_testing).
#pragma once

#include "ui/Messages.h"

#include <QString>
#include <deque>
#include <functional>
#include <vector>

namespace velkard::ui {

// Test double: records every message and answers questions from a queue (default answer when
// empty).
class RecordingMessages : public Messages {
public:
    struct Entry {
        QString text;
        QString caption;
        bool question = false;
        bool yesByDefault = true; // a question's default button
    };
    std::vector<Entry> shown;
    std::deque<bool> answers;
    bool defaultAnswer = true;

    void show(const QString& text, const QString& caption, QWidget* owner = nullptr) override;
    bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr,
             bool yesByDefault = true) override;

    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }
    bool contains(const QString& text) const;
};

// Test double: calls a handler with the dialog instead of entering its event loop. The handler
// fills in the controls and clicks buttons; the result is the dialog's result() afterwards (or the
// handler's return value when it returns one >= 0).
class ScriptedDialogs : public DialogRunner {
public:
    using Handler = std::function<int(QDialog&)>;
    std::deque<Handler> script;      // consumed in order; one per dialog shown
    Handler fallback;                // used when the script is empty; default rejects
    std::vector<QString> shownNames; // objectName() of every dialog run

    int run(QDialog& dialog) override;
};

} // namespace velkard::ui
