// SPDX-License-Identifier: GPL-3.0-or-later
// The interface languages: the settings numbers, switching at run time (the program's texts from
// translations/*.ts, Qt's own from qtbase_<code>.qm, the default locale) and the Language menu.
#include "ui/Language.h"
#include "ui/LanguageMenu.h"
#include "ui/Messages.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace velkard::ui {
namespace {

// Installs the language and delivers the LanguageChange events Qt posts to the windows.
void switchTo(Language l) {
    ASSERT_TRUE(useLanguage(l)) << languageCode(l);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

QString qtCancelText() {
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
}

TEST(Language, SettingsNumbersKeepZeroAndOneAndReadAnyOtherAsEnglish) {
    EXPECT_EQ(languageFromSetting(0), Language::Russian);
    EXPECT_EQ(languageFromSetting(1), Language::English);
    EXPECT_EQ(languageFromSetting(2), Language::German);
    for (int other : {-7, 3, 99})
        EXPECT_EQ(languageFromSetting(other), Language::English) << other;
    for (Language l : kLanguages)
        EXPECT_EQ(languageFromSetting(settingOf(l)), l);
    EXPECT_EQ(settingOf(Language::Russian), 0);
    EXPECT_EQ(settingOf(Language::English), 1);
    EXPECT_EQ(settingOf(Language::German), 2);
}

TEST(Language, GermanAtRunTimeRelabelsTheMenuAndQtsOwnTextsAndBackRestoresThem) {
    QMainWindow window;
    auto* menu = new LanguageMenu(&window);
    window.menuBar()->addMenu(menu);

    switchTo(Language::Russian);
    EXPECT_EQ(menu->title(), QString::fromUtf8("Язык"));
    EXPECT_EQ(qtCancelText(), QString::fromUtf8("Отмена"));

    switchTo(Language::German);
    EXPECT_EQ(languageInUse(), Language::German);
    EXPECT_EQ(menu->title(), QStringLiteral("Sprache"));
    EXPECT_EQ(qtCancelText(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(QLocale().language(), QLocale::German);
    // The entries are named in their own languages whatever the interface shows.
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[0]->text(), QString::fromUtf8("Русский"));
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("English"));
    EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("Deutsch"));

    switchTo(Language::English);
    EXPECT_EQ(menu->title(), QStringLiteral("Language"));
    EXPECT_EQ(qtCancelText(), QStringLiteral("Cancel"));
    EXPECT_EQ(QLocale().language(), QLocale::English);

    switchTo(Language::Russian);
    EXPECT_EQ(menu->title(), QString::fromUtf8("Язык"));
    EXPECT_EQ(qtCancelText(), QString::fromUtf8("Отмена"));
    EXPECT_EQ(QLocale().language(), QLocale::Russian);
}

TEST(Language, ChoosingAnEntryTicksItAloneAndTellsTheOwner) {
    LanguageMenu menu;
    menu.tick(Language::Russian);
    std::vector<Language> told;
    QObject::connect(&menu, &LanguageMenu::chosen, [&told](Language l) { told.push_back(l); });
    menu.entry(Language::German)->trigger();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], Language::German);
    EXPECT_TRUE(menu.entry(Language::German)->isChecked());
    EXPECT_FALSE(menu.entry(Language::Russian)->isChecked());
    EXPECT_FALSE(menu.entry(Language::English)->isChecked());
    EXPECT_EQ(menu.entry(Language::German)->objectName(), QStringLiteral("germanAction"));
}

TEST(Language, NamedLanguageTextsDoNotDependOnTheInstalledOne) {
    switchTo(Language::Russian);
    EXPECT_EQ(errorCaption(Language::German), QStringLiteral("Fehler"));
    EXPECT_EQ(errorCaption(Language::English), QStringLiteral("Error"));
    EXPECT_EQ(errorCaption(Language::Russian), QString::fromUtf8("Ошибка"));
    EXPECT_EQ(attentionCaption(Language::German), QStringLiteral("Achtung"));
    // A text the files do not hold comes back as written.
    EXPECT_EQ(translate(Language::German, "velkard::ui", "нет такого текста"),
              QString::fromUtf8("нет такого текста"));
}

} // namespace
} // namespace velkard::ui
