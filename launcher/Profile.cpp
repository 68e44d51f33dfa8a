// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Profile.h"

#include "launcher/Files.h"

namespace startel {

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string profileValue(std::string_view text, std::string_view section, std::string_view key,
                         std::size_t limit) {
    section = trim(section);
    key = trim(key);
    if (section.empty() || key.empty())
        return {};
    if (text.substr(0, 3) == "\xEF\xBB\xBF") // byte-order mark of files saved as UTF-8
        text.remove_prefix(3);

    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);

        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (inSection)
                break; // only the first section of that name is searched
            const std::size_t close = line.find(']');
            const std::string_view name =
                trim(line.substr(1, close == line.npos ? line.npos : close - 1));
            inSection = !sectionSeen && equalsIgnoringCase(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !equalsIgnoringCase(trim(line.substr(0, eq)), key))
            continue;
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return std::string(value.substr(0, limit));
    }
    return {};
}

std::string readProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::size_t limit) {
    const auto text = readSmallRegularFile(file);
    if (!text)
        return {};
    return profileValue(*text, section, key, limit);
}

} // namespace startel
