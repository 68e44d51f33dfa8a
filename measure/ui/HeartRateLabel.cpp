// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/HeartRateLabel.h"

#include <QEvent>
#include <cmath>

namespace velkard::measure::ui {

QString heartRateText(std::optional<int> bpm, velkard::ui::Language l) {
    const QString caption =
        velkard::ui::translate(l, "velkard::measure::ui::HeartRateLabel",
                               QT_TRANSLATE_NOOP("velkard::measure::ui::HeartRateLabel", "ЧСС"));
    return caption + ' ' + (bpm ? QString::number(*bpm) : QStringLiteral("--"));
}

QString heartRateText(std::optional<int> bpm, bool russian) {
    return heartRateText(bpm,
                         russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

HeartRateLabel::HeartRateLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("heartRateLabel");
    showText();
}

void HeartRateLabel::setRate(std::optional<int> bpm) {
    bpm_ = bpm;
    showText();
}

void HeartRateLabel::setRate(std::optional<double> bpm) {
    setRate(bpm && std::isfinite(*bpm) ? std::optional<int>(static_cast<int>(std::lround(*bpm)))
                                       : std::nullopt);
}

void HeartRateLabel::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void HeartRateLabel::applyLanguage(velkard::ui::Language language) {
    language_ = language;
    showText();
}

void HeartRateLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QLabel::changeEvent(event);
}

void HeartRateLabel::showText() {
    setText(heartRateText(bpm_, language_));
}

} // namespace velkard::measure::ui
