// SPDX-License-Identifier: GPL-3.0-or-later
// The heart rate in the tool panel: "ЧСС 72" / "HR 72", or "--" when there is none.
#pragma once

#include "ui/Language.h"

#include <QLabel>
#include <optional>

namespace velkard::measure::ui {

class HeartRateLabel : public QLabel {
    Q_OBJECT
public:
    explicit HeartRateLabel(QWidget* parent = nullptr);

    void setRate(std::optional<int> bpm);
    // From a measured rate in beats per minute (rounded), or none.
    void setRate(std::optional<double> bpm);
    std::optional<int> rate() const { return bpm_; }
    // Also on QEvent::LanguageChange, in the language installed then.
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English

protected:
    void changeEvent(QEvent* event) override;

private:
    void showText();

    std::optional<int> bpm_;
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
};

// "ЧСС 72" / "HR 72", "ЧСС --" / "HR --".
QString heartRateText(std::optional<int> bpm, velkard::ui::Language language);
QString heartRateText(std::optional<int> bpm, bool russian); // Russian or English

} // namespace velkard::measure::ui
