// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (standard buttons of message boxes, file and calendar dialogs) in the interface
// language: Qt's Russian translations and the default locale follow the language switch. The main
// window owns one.
#pragma once

#include <QTranslator>

namespace velkard::ui {

class QtLanguage {
public:
    QtLanguage() = default;
    ~QtLanguage();
    QtLanguage(const QtLanguage&) = delete;
    QtLanguage& operator=(const QtLanguage&) = delete;

    // Installs Qt's Russian translations or removes them, and sets the default locale dialogs
    // created from now on use. False when the Russian translations cannot be found (Qt then
    // stays in English).
    bool apply(bool russian);

private:
    QTranslator translator_;
    bool installed_ = false;
};

} // namespace velkard::ui
