// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace velkard::ui {

QtLanguage::~QtLanguage() {
    if (installed_ && QCoreApplication::instance())
        QCoreApplication::removeTranslator(&translator_);
}

bool QtLanguage::apply(bool russian) {
    QLocale::setDefault(russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                : QLocale(QLocale::English, QLocale::UnitedStates));
    if (!russian) {
        if (installed_)
            QCoreApplication::removeTranslator(&translator_);
        installed_ = false;
        return true;
    }
    if (installed_)
        return true;
    // Debian's qt6-translations-l10n puts them where Qt's own translations live.
    if (!translator_.load(QLocale(QLocale::Russian), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        !translator_.load("qtbase_ru", "/usr/share/qt6/translations"))
        return false;
    installed_ = QCoreApplication::installTranslator(&translator_);
    return installed_;
}

} // namespace velkard::ui
