// SPDX-License-Identifier: GPL-3.0-or-later
// The two seams between program logic and modal UI: message boxes and modal dialogs.
//
// Logic never calls QMessageBox or QDialog::exec() itself. It asks the Messages it was handed to
// show a text or a Yes/No question and the DialogRunner to run a modal dialog. main() makes the
// QMessageBox / exec() implementations and hands them down; tests hand recorders that answer at
// once (ui/testing/TestSeams.h), so whole flows run headless without nested event loops.
#pragma once

#include "ui/Language.h"

#include <QString>

class QDialog;
class QWidget;

namespace velkard::ui {

class Messages {
public:
    virtual ~Messages() = default;
    // One OK button. owner may be null (no owner window).
    virtual void show(const QString& text, const QString& caption, QWidget* owner = nullptr) = 0;
    // Yes / No; true for Yes. Enter answers Yes unless yesByDefault is false (questions whose Yes
    // cannot be undone).
    virtual bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr,
                     bool yesByDefault = true) = 0;
};

class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally and returns its result code (QDialog::Accepted / Rejected).
    virtual int run(QDialog& dialog) = 0;
};

// The two seams a window or command is handed; both outlive it.
struct Seams {
    Messages& messages;
    DialogRunner& dialogs;
};

// The program's implementations: a QMessageBox, and the dialog's own exec().
class MessageBoxes : public Messages {
public:
    void show(const QString& text, const QString& caption, QWidget* owner = nullptr) override;
    bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr,
             bool yesByDefault = true) override;
};

// For an unattended end (a termination signal): nobody is there to answer, so messages go to
// standard error and every question is answered No.
class StandardErrorMessages : public Messages {
public:
    void show(const QString& text, const QString& caption, QWidget* owner = nullptr) override;
    bool ask(const QString& text, const QString& caption, QWidget* owner = nullptr,
             bool yesByDefault = true) override;
};

class ModalDialogs : public DialogRunner {
public:
    int run(QDialog& dialog) override;
};

// The caption of an error message in the interface language, where no fixed caption is given.
QString errorCaption(Language language);
// The same for a Russian-or-English flag (the main window's callers; to go with them).
QString errorCaption(bool russian);
// The caption of a warning ("Внимание").
QString attentionCaption(Language language);

} // namespace velkard::ui
