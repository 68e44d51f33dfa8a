// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Settings.h"

#include "signal/Cp1251.h"
#include "signal/FileIo.h"

#include <unistd.h>

#include <charconv>
#include <climits>
#include <optional>
#include <vector>

namespace velkard::signal {

namespace {

// Optional sign then decimal digits, nothing else, within int range.
std::optional<int> strictDecimal(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    std::size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size())
        return std::nullopt;
    for (std::size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    if (text[0] == '+')
        text.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Lines ended by CR LF, a lone LF or a lone CR; a last line without an ending still counts.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::filesystem::path settingsPath(const std::filesystem::path& folder) {
    return folder / std::filesystem::path(
                        std::u8string(reinterpret_cast<const char8_t*>(kSettingsFileName)));
}

} // namespace

Settings defaultSettings() {
    return Settings{};
}

std::string formatSettings(const Settings& s) {
    std::string out;
    for (const std::string& text : {s.scaleText, s.groupText, s.speedText, s.portName}) {
        // A line break inside a text would shift every following line; write it as a space.
        std::string line = utf8ToCp1251(text);
        for (char& c : line)
            if (c == '\r' || c == '\n')
                c = ' ';
        out += line;
        out += "\r\n";
    }
    for (int v : {s.scaleIndex, s.groupIndex, s.speedIndex, s.language}) {
        out += std::to_string(v);
        out += "\r\n";
    }
    return out;
}

SettingsResult parseSettings(std::string_view fileBytes, const std::string& fileName) {
    SettingsResult result;
    std::vector<std::string_view> lines = splitLines(fileBytes);
    if (lines.size() < static_cast<std::size_t>(kSettingsLines)) {
        return SettingsResult::failure(ErrorCode::BadData,
                                       "The settings file " + fileName + " is damaged: it has " +
                                           std::to_string(lines.size()) + " lines instead of 8");
    }
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        std::optional<int> v = strictDecimal(lines[static_cast<std::size_t>(4 + i)]);
        if (!v) {
            return SettingsResult::failure(ErrorCode::BadData,
                                           "The settings file " + fileName + " is damaged: line " +
                                               std::to_string(5 + i) + " is not a whole number");
        }
        numbers[i] = *v;
    }
    Settings& s = result.value.settings;
    s.scaleText = cp1251ToUtf8(lines[0]);
    s.groupText = cp1251ToUtf8(lines[1]);
    s.speedText = cp1251ToUtf8(lines[2]);
    s.portName = cp1251ToUtf8(lines[3]);
    const Settings defaults;
    auto inRange = [&](int value, int count, int fallback) {
        if (value >= 0 && value < count)
            return value;
        result.value.indicesFellBack = true;
        return fallback;
    };
    s.scaleIndex = inRange(numbers[0], kScaleCount, defaults.scaleIndex);
    s.groupIndex = inRange(numbers[1], kGroupCount, defaults.groupIndex);
    s.speedIndex = inRange(numbers[2], kSpeedCount, defaults.speedIndex);
    s.language = numbers[3];
    return result;
}

SettingsResult loadSettings(const std::filesystem::path& folder) {
    const std::filesystem::path path = settingsPath(folder);
    std::error_code ec;
    bool created = false;
    if (!std::filesystem::exists(path, ec)) {
        if (ec) {
            return SettingsResult::failure(ErrorCode::CannotRead, "Cannot read the settings file " +
                                                                      path.string() + ": " +
                                                                      ec.message());
        }
        Status written = saveSettings(folder, defaultSettings());
        if (!written) {
            return SettingsResult::failure(written.code, "Cannot create the settings file " +
                                                             path.string() + ": " +
                                                             written.message);
        }
        created = true;
    }
    // A settings file is a few dozen bytes; anything far bigger is not one.
    BytesResult file = readWholeFile(path, 1 << 20);
    if (!file) {
        return SettingsResult::failure(file.code, "Cannot read the settings file " + path.string() +
                                                      ": " + file.message);
    }
    SettingsResult r = parseSettings(
        std::string_view(reinterpret_cast<const char*>(file.value.data()), file.value.size()),
        path.string());
    r.value.created = created;
    return r;
}

Status saveSettings(const std::filesystem::path& folder, const Settings& settings) {
    namespace fs = std::filesystem;
    const std::string text = formatSettings(settings);
    fs::path path = settingsPath(folder);
    std::error_code ec;
    // A symbolic link is written through: the file it names gets the new text, the link stays.
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (ec)
            return Status::failure(ErrorCode::CannotWrite, "Cannot write the settings file " +
                                                               path.string() + ": " + ec.message());
        path = target;
    }
    // A read-only file stays as it is: the rename would replace it although it may not be
    // written.
    const fs::file_status st = fs::status(path, ec);
    if (!ec && fs::is_regular_file(st)) {
        const fs::perms writeBits =
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        if ((st.permissions() & writeBits) == fs::perms::none || ::access(path.c_str(), W_OK) != 0)
            return Status::failure(ErrorCode::CannotWrite, "Cannot write the settings file " +
                                                               path.string() +
                                                               ": the file is read-only");
    }
    return writeFileAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                               text.size());
}

} // namespace velkard::signal
