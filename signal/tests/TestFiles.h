// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for tests that touch files: a private temporary folder and whole-file read/write.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velkard::signal::test {

class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("velkard-signal-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of everything in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline bool runningAsRoot() {
    return ::geteuid() == 0;
}

// The user checks run as when the tests run as root (as CI does): nobody.
inline constexpr uid_t kUnprivilegedId = 65534;

// Runs check as an ordinary user, so that checks of permissions see what a user sees: as is when
// the tests do not run as root, otherwise in a child process that has become kUnprivilegedId
// (no supplementary groups). check makes what it needs itself (a ScratchDir under the system's
// temporary folder) and returns whether it passed; it must not use gtest's assertions, which do
// not reach the parent from the child. False when the child could not drop root.
inline bool asUnprivilegedUser(const std::function<bool()>& check) {
    if (!runningAsRoot())
        return check();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0 ||
            ::setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) != 0 || ::geteuid() == 0)
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace velkard::signal::test
