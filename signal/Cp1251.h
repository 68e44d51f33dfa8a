// SPDX-License-Identifier: GPL-3.0-or-later
// Windows-1251 <-> UTF-8 conversion at the edges: files keep their single-byte text so they move
// between this program and older installations unchanged.
#pragma once

#include <string>
#include <string_view>

namespace velkard::signal {

// Bytes in Windows-1251 to UTF-8. Every byte maps (undefined 0x98 becomes U+FFFD).
std::string cp1251ToUtf8(std::string_view cp1251);
// UTF-8 to Windows-1251. Characters with no Windows-1251 form become '?'.
std::string utf8ToCp1251(std::string_view utf8);

} // namespace velkard::signal
