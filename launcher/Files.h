// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace startel {

// ASCII comparison without regard to case, as the Windows file system and profile reader compare
// names.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix);

// Path of the entry of `folder` named `name`, preferring an exact match and otherwise one that
// differs only in case (media written on Windows or mounted with lower-case names). Empty when
// there is none.
std::string findFileIgnoringCase(const std::string& folder, const std::string& name);

// Joins a folder and a name with exactly one '/' between them (an empty folder leaves the name).
std::string joinPath(std::string_view folder, std::string_view name);

// Reads a regular file of at most `limit` bytes. Devices, pipes, folders, larger files and
// unreadable files give nothing, so a hostile medium cannot make the launcher block or swell.
std::optional<std::string> readSmallRegularFile(const std::string& path,
                                                std::size_t limit = 1 << 20);

bool isExecutableFile(const std::string& path);

// TMPDIR when it is set and not empty, otherwise /tmp.
std::string tempFolderFromEnvironment();

} // namespace startel
