// SPDX-License-Identifier: GPL-3.0-or-later
// The two seams between program logic and modal UI: message boxes and modal dialogs.
//
// Logic never calls QMessageBox or QDialog::exec() itself. It asks ui::messages() to show a text or
// a Yes/No question and ui::dialogs() to run a modal dialog. The program installs the QMessageBox /
// exec() implementations; tests install recorders that answer at once, so whole flows run headless
// without nested event loops.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace velkard::ui {

class Messages {
public:
    virtual ~Messages() = default;
    // One OK button. owner may be null (no owner window).
    virtual void show(const QString& text, const QString& caption, QWidget* owner = nullptr) = 0;
    // Yes / No; true for Yes.
    virtual bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr) = 0;
};

class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally and returns its result code (QDialog::Accepted / Rejected).
    virtual int run(QDialog& dialog) = 0;
};

Messages& messages();
DialogRunner& dialogs();
// Installs a replacement (tests); nullptr restores the real implementation. Not owned.
void setMessages(Messages* m);
void setDialogs(DialogRunner* d);

// Test double: records every message and answers questions from a queue (default answer when
// empty).
class RecordingMessages : public Messages {
public:
    struct Entry {
        QString text;
        QString caption;
        bool question = false;
    };
    std::vector<Entry> shown;
    std::deque<bool> answers;
    bool defaultAnswer = true;

    void show(const QString& text, const QString& caption, QWidget* owner = nullptr) override;
    bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr) override;

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

// Installs a double for the lifetime of a scope.
template <class T, void (*Set)(T*)> struct ScopedSeam {
    explicit ScopedSeam(T* t) { Set(t); }
    ~ScopedSeam() { Set(nullptr); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;
};
using ScopedMessages = ScopedSeam<Messages, setMessages>;
using ScopedDialogs = ScopedSeam<DialogRunner, setDialogs>;

} // namespace velkard::ui
