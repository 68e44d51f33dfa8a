// SPDX-License-Identifier: GPL-3.0-or-later
// The Language menu: one checkable entry per interface language, each named in its own language
// ("Русский", "English", "Deutsch"); its title follows the installed language. Choosing an entry
// ticks it and emits chosen(); the owner switches the language (useLanguage) and keeps the setting.
#pragma once

#include "ui/Language.h"

#include <QMenu>

class QAction;

namespace velkard::ui {

class LanguageMenu : public QMenu {
    Q_OBJECT
public:
    explicit LanguageMenu(QWidget* parent = nullptr);

    // The entry of `language` ("russianAction", "englishAction", "germanAction").
    QAction* entry(Language language) const;
    // Ticks the entry of `language` and no other, without emitting chosen().
    void tick(Language language);
    // The title in `language` (also on QEvent::LanguageChange, in the language installed then).
    void applyLanguage(Language language);

signals:
    void chosen(velkard::ui::Language language);

protected:
    void changeEvent(QEvent* event) override;

private:
    QAction* entries_[std::size(kLanguages)] = {};
};

} // namespace velkard::ui
