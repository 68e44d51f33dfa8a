// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Transliterate.h"

#include <cstdint>
#include <vector>

namespace velkard::exporting {

namespace {

// Latin spelling of the lower-case letter, nullptr when the code point is no Cyrillic letter of
// the table. Upper-case letters map through their lower-case form.
const char* latinOf(char32_t lower) {
    static constexpr const char* kRussian[32] = {
        "a", "b", "v", "g", "d", "e",  "zh", "z",  "i",  "i",    "k",  "l", "m", "n", "o",  "p",
        "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "ie", "y", "",  "e", "iu", "ia"};
    if (lower >= U'а' && lower <= U'я')
        return kRussian[lower - U'а'];
    switch (lower) {
    case U'ё':
        return "e";
    case U'є':
        return "ie";
    case U'і':
    case U'ї':
        return "i";
    case U'ґ':
        return "g";
    case U'ў':
        return "u";
    default:
        return nullptr;
    }
}

char32_t toLower(char32_t c) {
    if (c >= U'А' && c <= U'Я')
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) // Ѐ..Џ (Ё, Є, І, Ї, Ў)
        return c + 0x50;
    if (c == U'Ґ')
        return U'ґ';
    return c;
}

bool isCyrillicLower(char32_t c) {
    return (c >= 0x430 && c <= 0x45F) || c == U'ґ';
}

std::vector<char32_t> decode(std::string_view s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cont & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cont & 0x3F);
        }
        out.push_back(ok ? c : 0xFFFD);
        i += ok ? static_cast<std::size_t>(extra) + 1 : 1;
    }
    return out;
}

bool isLowerLetter(char32_t c) {
    return (c >= U'a' && c <= U'z') || isCyrillicLower(c);
}

} // namespace

std::string transliterate(std::string_view utf8) {
    const std::vector<char32_t> text = decode(utf8);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const char32_t lower = toLower(c);
        const char* latin = latinOf(lower);
        if (!latin) {
            out.push_back('?');
            continue;
        }
        std::string part = latin;
        if (lower != c && !part.empty()) {
            // An upper-case letter: the first Latin letter upper-case, the rest as the next letter.
            const bool nextLower = i + 1 < text.size() && isLowerLetter(text[i + 1]);
            const bool prevLower = i > 0 && isLowerLetter(text[i - 1]);
            const bool titleCase = nextLower || (prevLower && i + 1 == text.size());
            for (std::size_t k = 0; k < part.size(); ++k)
                if (k == 0 || !titleCase)
                    part[k] = static_cast<char>(part[k] - 'a' + 'A');
        }
        out += part;
    }
    return out;
}

} // namespace velkard::exporting
