// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/HeartRateLabel.h"

#include <cmath>

namespace velkard::measure::ui {

QString heartRateText(std::optional<int> bpm, bool russian) {
    const QString caption = russian ? QString::fromUtf8("ЧСС") : QStringLiteral("HR");
    return caption + ' ' + (bpm ? QString::number(*bpm) : QStringLiteral("--"));
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
    russian_ = russian;
    showText();
}

void HeartRateLabel::showText() {
    setText(heartRateText(bpm_, russian_));
}

} // namespace velkard::measure::ui
