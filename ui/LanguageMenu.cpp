// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LanguageMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>

namespace velkard::ui {

namespace {

const char* actionName(Language language) {
    switch (language) {
    case Language::Russian:
        return "russianAction";
    case Language::German:
        return "germanAction";
    case Language::English:
        break;
    }
    return "englishAction";
}

} // namespace

LanguageMenu::LanguageMenu(QWidget* parent) : QMenu(parent) {
    setObjectName("languageMenu");
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (const Language l : kLanguages) {
        QAction* a = addAction(languageName(l));
        a->setObjectName(actionName(l));
        a->setCheckable(true);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, l] {
            tick(l);
            emit chosen(l);
        });
        entries_[static_cast<std::size_t>(l)] = a;
    }
    applyLanguage(languageInUse());
}

QAction* LanguageMenu::entry(Language language) const {
    return entries_[static_cast<std::size_t>(language)];
}

void LanguageMenu::tick(Language language) {
    for (const Language l : kLanguages)
        entry(l)->setChecked(l == language);
}

void LanguageMenu::applyLanguage(Language language) {
    setTitle(translated<LanguageMenu>(language, QT_TR_NOOP("Язык")));
}

void LanguageMenu::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(languageInUse());
    QMenu::changeEvent(event);
}

} // namespace velkard::ui
