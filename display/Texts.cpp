// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Texts.h"

#include <cmath>

namespace velkard::display {

QString secondLabelText(int second, bool russian) {
    return russian ? QStringLiteral("%1 с").arg(second) : QStringLiteral("%1s").arg(second);
}

QString decimalText(std::optional<double> v, int decimals, bool russian) {
    if (!v || !std::isfinite(*v))
        return QStringLiteral("—");
    double value = *v;
    // A value that rounds to zero is written without a sign.
    if (std::abs(value) * std::pow(10.0, decimals) < 0.5)
        value = 0;
    QString text = QString::number(value, 'f', decimals);
    if (russian)
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

QString withDecimalSeparator(const QString& text, bool russian) {
    const QChar from = russian ? QLatin1Char('.') : QLatin1Char(',');
    const QChar to = russian ? QLatin1Char(',') : QLatin1Char('.');
    QString out = text;
    const auto n = out.size();
    for (qsizetype i = 1; i + 1 < n; ++i) {
        if (out[i] != from || !out[i - 1].isDigit() || !out[i + 1].isDigit())
            continue;
        // Part of a date such as 08.12.2026: two separators among digits within a few places.
        qsizetype start = i - 1;
        while (start > 0 && out[start - 1].isDigit())
            --start;
        qsizetype end = i + 1;
        while (end < n && out[end].isDigit())
            ++end;
        const bool dateBefore = start > 0 && out[start - 1] == from;
        const bool dateAfter = end + 1 < n && out[end] == from && out[end + 1].isDigit();
        if (dateBefore || dateAfter)
            continue;
        out[i] = to;
    }
    return out;
}

} // namespace velkard::display
