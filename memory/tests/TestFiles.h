// SPDX-License-Identifier: GPL-3.0-or-later
// File helpers shared by the memory tests: random contents, whole-file read and write.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace velkard::memory::test {

inline std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::string& content) {
    std::ofstream(p, std::ios::binary) << content;
}

} // namespace velkard::memory::test
