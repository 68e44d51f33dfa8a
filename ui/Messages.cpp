// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Messages.h"

#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <cstdio>

namespace velkard::ui {

void MessageBoxes::show(const QString& text, const QString& caption, QWidget* owner) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool MessageBoxes::ask(const QString& text, const QString& caption, QWidget* owner,
                       bool yesByDefault) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.setDefaultButton(yesByDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void StandardErrorMessages::show(const QString& text, const QString& caption, QWidget*) {
    std::fprintf(stderr, "velkard: %s: %s\n", caption.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
}

bool StandardErrorMessages::ask(const QString& text, const QString& caption, QWidget*, bool) {
    show(text + " -> No", caption);
    return false;
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

} // namespace velkard::ui
