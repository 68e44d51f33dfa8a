// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the card-file tests: a scratch working folder and raw file access.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace velkard::cardfile::test {

class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("velkard_cardfile_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string readText(const std::filesystem::path& p) {
    auto b = readBytes(p);
    return {b.begin(), b.end()};
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Names of files in the card-file folder that a finished operation must not leave behind:
// temporary files of rewrites, staged recordings and the journal.
inline std::vector<std::string> leftovers(const std::filesystem::path& dataDir) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dataDir, ec)) {
        std::string name = e.path().filename().string();
        if (name.starts_with(".velkard-tmp-") || name.starts_with(".velkard-stage-") ||
            name.starts_with(".velkard-incoming-") || name == ".velkard.journal" ||
            name == "ID_Patient_new")
            found.push_back(name);
    }
    return found;
}

inline void writeText(const std::filesystem::path& p, const std::string& text) {
    writeBytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
}

} // namespace velkard::cardfile::test
