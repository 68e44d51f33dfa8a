// SPDX-License-Identifier: GPL-3.0-or-later
// The few words and numbers the drawings carry (second labels of the time ruler, the
// rhythmogram's axis and page, decimal numbers), in the interface language, so a page never mixes
// "1s" with "мм/мВ" or "2.24" with "0,05". Russian writes "12 с" and a decimal comma; the other
// languages "12s" and a decimal point.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace velkard::display {

// A second label of the time ruler, on the screen and on paper.
QString secondLabelText(int second, bool russian);

// v with the given decimals in the language's notation; "—" when v is absent or not finite (a
// number the program is not sure of is not printed).
QString decimalText(std::optional<double> v, int decimals, bool russian);

// Every decimal point standing between two digits as the language writes it (a comma in
// Russian): for lines put together from numbers printed elsewhere. Dates (dd.MM.yyyy) are left
// alone.
QString withDecimalSeparator(const QString& text, bool russian);

} // namespace velkard::display
