// SPDX-License-Identifier: GPL-3.0-or-later
#include "filter/FilterSettingsFile.h"

#include "signal/FileIo.h"

#include <cstdint>
#include <vector>

namespace velkard::filter {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

const char* mainsText(Mains m) {
    return m == Mains::Hz50 ? "50" : m == Mains::Hz60 ? "60" : "off";
}
const char* highPassText(HighPass h) {
    return h == HighPass::Hz005 ? "0.05" : h == HighPass::Hz05 ? "0.5" : "off";
}
const char* lowPassText(LowPass l) {
    switch (l) {
    case LowPass::Hz35:
        return "35";
    case LowPass::Hz40:
        return "40";
    case LowPass::Hz150:
        return "150";
    case LowPass::Off:
        break;
    }
    return "off";
}

std::string fileNameOf(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

} // namespace

bool parseMains(std::string_view t, Mains& out) {
    t = trim(t);
    if (t == "off")
        out = Mains::Off;
    else if (t == "50")
        out = Mains::Hz50;
    else if (t == "60")
        out = Mains::Hz60;
    else
        return false;
    return true;
}

bool parseHighPass(std::string_view t, HighPass& out) {
    t = trim(t);
    if (t == "off")
        out = HighPass::Off;
    else if (t == "0.05" || t == "0,05")
        out = HighPass::Hz005;
    else if (t == "0.5" || t == "0,5")
        out = HighPass::Hz05;
    else
        return false;
    return true;
}

bool parseLowPass(std::string_view t, LowPass& out) {
    t = trim(t);
    if (t == "off")
        out = LowPass::Off;
    else if (t == "35")
        out = LowPass::Hz35;
    else if (t == "40")
        out = LowPass::Hz40;
    else if (t == "150")
        out = LowPass::Hz150;
    else
        return false;
    return true;
}

std::filesystem::path filterSettingsPath(const std::filesystem::path& folder) {
    return folder / std::filesystem::path(
                        std::u8string(reinterpret_cast<const char8_t*>(kFilterSettingsFileName)));
}

std::string formatFilterSettings(const FilterSettings& s) {
    return std::string("mains=") + mainsText(s.mains) + "\nhighpass=" + highPassText(s.highPass) +
           "\nlowpass=" + lowPassText(s.lowPass) + "\n";
}

FilterSettingsResult parseFilterSettings(std::string_view text, const std::string& fileName,
                                         bool russian) {
    const LoadedFilterSettings defaults{programDefaults(), false};
    FilterSettings s = programDefaults();
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        bool good = eq != std::string_view::npos;
        if (good) {
            const std::string_view key = trim(line.substr(0, eq));
            const std::string_view value = line.substr(eq + 1);
            if (key == "mains")
                good = parseMains(value, s.mains);
            else if (key == "highpass")
                good = parseHighPass(value, s.highPass);
            else if (key == "lowpass")
                good = parseLowPass(value, s.lowPass);
        }
        if (!good) {
            return FilterSettingsResult::failure(
                ErrorCode::BadData,
                russian ? "Файл настроек фильтров " + fileName + " повреждён (строка " +
                              std::to_string(lineNumber) + "); фильтры взяты по умолчанию"
                        : "The filter settings file " + fileName + " is damaged (line " +
                              std::to_string(lineNumber) + "); default filters are used",
                defaults);
        }
    }
    return FilterSettingsResult::success({s, false});
}

FilterSettingsResult loadFilterSettings(const std::filesystem::path& folder, bool russian) {
    const std::filesystem::path path = filterSettingsPath(folder);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec)
        return FilterSettingsResult::success({programDefaults(), true});
    const signal::BytesResult bytes = signal::readWholeFile(path, 1 << 16);
    if (!bytes)
        return FilterSettingsResult::failure(
            bytes.code,
            russian ? "Не удалось прочитать файл настроек фильтров " + fileNameOf(path) +
                          "; фильтры взяты по умолчанию"
                    : "Cannot read the filter settings file " + fileNameOf(path) +
                          "; default filters are used",
            {programDefaults(), false});
    return parseFilterSettings(
        std::string_view(reinterpret_cast<const char*>(bytes.value.data()), bytes.value.size()),
        fileNameOf(path), russian);
}

Status saveFilterSettings(const std::filesystem::path& folder, const FilterSettings& s,
                          bool russian) {
    const std::string text = formatFilterSettings(s);
    const std::filesystem::path path = filterSettingsPath(folder);
    const Status st = signal::writeFileAtomically(
        path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (st)
        return st;
    return Status::failure(
        st.code, russian ? "Не удалось записать файл настроек фильтров " + fileNameOf(path)
                         : "Cannot write the filter settings file " + fileNameOf(path));
}

} // namespace velkard::filter
