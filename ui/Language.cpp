// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <array>
#include <memory>

namespace velkard::ui {

namespace {

constexpr std::size_t kCount = std::size(kLanguages);

std::size_t slot(Language language) {
    return static_cast<std::size_t>(language);
}

QLocale localeOf(Language language) {
    switch (language) {
    case Language::Russian:
        return QLocale(QLocale::Russian, QLocale::Russia);
    case Language::German:
        return QLocale(QLocale::German, QLocale::Germany);
    case Language::English:
        break;
    }
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

// The program's translations, one per language, loaded from the resources on first use; and Qt's
// own translations of the installed language.
struct Translators {
    std::array<std::unique_ptr<QTranslator>, kCount> program;
    std::unique_ptr<QTranslator> qt;
    QTranslator* installedProgram = nullptr;
    Language inUse = Language::Russian;
    bool applied = false;
};

Translators& translators() {
    static Translators t;
    return t;
}

QTranslator* programTranslator(Language language) {
    auto& p = translators().program[slot(language)];
    if (!p) {
        p = std::make_unique<QTranslator>();
        if (!p->load(QStringLiteral(":/translations/velkard_%1.qm")
                         .arg(QLatin1String(languageCode(language))))) {
            p.reset();
            return nullptr;
        }
    }
    return p.get();
}

// Qt's own texts: English needs none. Debian's qt6-translations-l10n puts them where Qt's own
// translations live.
bool loadQtTranslations(QTranslator& t, Language language) {
    const QString code = QLatin1String(languageCode(language));
    return t.load(QLocale(localeOf(language).language()), "qtbase", "_",
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
           t.load("qtbase_" + code, "/usr/share/qt6/translations");
}

} // namespace

Language languageFromSetting(int value) {
    if (value == settingOf(Language::Russian))
        return Language::Russian;
    if (value == settingOf(Language::German))
        return Language::German;
    return Language::English;
}

const char* languageCode(Language language) {
    switch (language) {
    case Language::Russian:
        return "ru";
    case Language::German:
        return "de";
    case Language::English:
        break;
    }
    return "en";
}

QString languageName(Language language) {
    switch (language) {
    case Language::Russian:
        return QString::fromUtf8("Русский");
    case Language::German:
        return QStringLiteral("Deutsch");
    case Language::English:
        break;
    }
    return QStringLiteral("English");
}

bool useLanguage(Language language) {
    Translators& t = translators();
    if (t.applied && t.inUse == language)
        return true;
    QLocale::setDefault(localeOf(language));
    if (!QCoreApplication::instance())
        return false;
    if (t.installedProgram)
        QCoreApplication::removeTranslator(t.installedProgram);
    t.installedProgram = nullptr;
    if (t.qt)
        QCoreApplication::removeTranslator(t.qt.get());
    t.qt.reset();
    t.inUse = language;
    t.applied = true;

    bool complete = true;
    if (QTranslator* program = programTranslator(language)) {
        QCoreApplication::installTranslator(program);
        t.installedProgram = program;
    } else {
        complete = false;
    }
    if (language != Language::English) {
        auto qt = std::make_unique<QTranslator>();
        if (loadQtTranslations(*qt, language)) {
            QCoreApplication::installTranslator(qt.get());
            t.qt = std::move(qt);
        } else {
            complete = false;
        }
    }
    return complete;
}

Language languageInUse() {
    return translators().inUse;
}

QString translate(Language language, const char* context, const char* source,
                  const char* disambiguation) {
    if (QTranslator* t = programTranslator(language)) {
        const QString text = t->translate(context, source, disambiguation);
        if (!text.isEmpty())
            return text;
    }
    return QString::fromUtf8(source);
}

} // namespace velkard::ui
