// SPDX-License-Identifier: GPL-3.0-or-later
// The interface languages and the program's translations. Every text of the windows is written in
// Russian in the code (the source language, marked with QT_TR_NOOP or QT_TRANSLATE_NOOP) and looked
// up in translations/velkard_<code>.ts, compiled into the program; Qt's own texts (standard
// buttons, file and calendar dialogs) come from Qt's qtbase_<code>.qm. Another language is another
// .ts file, an entry in kLanguages and a menu entry.
//
// A window shows its captions in the language it is given (its state's at construction, the one
// installed when Qt sends QEvent::LanguageChange) and its messages in its state's language at the
// moment they are shown, so a caller that changes the state sees the next message follow.
#pragma once

#include <QString>

namespace velkard::ui {

// The values are the settings file's numbers: 0 and 1 as they always were, 2 new (a reader that
// knows only 0 and 1 takes any other value for English).
enum class Language { Russian = 0, English = 1, German = 2 };

inline constexpr Language kLanguages[] = {Language::Russian, Language::English, Language::German};

// The settings file's number read as a language: 0 Russian, 2 German, any other value English.
Language languageFromSetting(int value);
inline int settingOf(Language language) {
    return static_cast<int>(language);
}
// "ru", "en", "de": the suffix of the translation files.
const char* languageCode(Language language);
// The name of the language in itself, as its menu entry shows it ("Русский", "English", "Deutsch").
QString languageName(Language language);

// Installs the program's and Qt's translations of `language` in the application in place of the
// ones before, and makes it the default locale of the dialogs created from now on. Qt then sends
// QEvent::LanguageChange to every window, which relabels itself in changeEvent(). Does nothing when
// the language is already in use. False when a translation cannot be loaded (its texts then stay as
// written: the program's in Russian, Qt's in English).
bool useLanguage(Language language);
// The language installed last (Russian before any).
Language languageInUse();

// `source` of `context` in `language`, whatever language is installed: for texts that follow the
// language a caller names at the moment they are shown (messages, printed lines). The source comes
// back as it is when the language's file has no translation for it.
QString translate(Language language, const char* context, const char* source,
                  const char* disambiguation = nullptr);

// `source`, marked with QT_TR_NOOP in a member function of Window, in `language`: Window's class
// name is its context, as lupdate files it.
template <typename Window> QString translated(Language language, const char* source) {
    return translate(language, Window::staticMetaObject.className(), source);
}

} // namespace velkard::ui
