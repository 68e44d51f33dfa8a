// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace startel {

// Longest value the launcher reads from an INI file: a 260-byte buffer less its terminator.
inline constexpr std::size_t kProfileValueLimit = 259;

// One value of an INI text with the private-profile rules: section and key names compared
// without regard to case and to surrounding blanks, the first matching section and key win,
// lines starting with ';' are comments, the value is trimmed and loses one pair of enclosing
// quotes, and is cut to `limit` characters. Anything missing gives the empty default.
std::string profileValue(std::string_view text, std::string_view section, std::string_view key,
                         std::size_t limit = kProfileValueLimit);

// The same, read from a file; a missing or unreadable file gives the empty default.
std::string readProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::size_t limit = kProfileValueLimit);

} // namespace startel
