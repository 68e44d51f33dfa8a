// SPDX-License-Identifier: GPL-3.0-or-later
// Cyrillic to plain ASCII for headers that hold ASCII only (EDF+). The scheme is ICAO Doc 9303, the
// one Russian passports use since 2014: Ж ZH, Х KH, Ц TS, Ч CH, Ш SH, Щ SHCH, Ъ IE, Ы Y, Ь dropped,
// Ю IU, Я IA, Ё and Э E, Й I; Ukrainian and Belarusian letters of Windows-1251: Є IE, І I, Ї I,
// Ґ G, Ў U. Case is kept ("Жук" Zhuk, "ЖУК" ZHUK). Other characters outside printable ASCII
// become '?'.
#pragma once

#include <string>
#include <string_view>

namespace velkard::exporting {

std::string transliterate(std::string_view utf8);

} // namespace velkard::exporting
