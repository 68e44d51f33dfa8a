// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Files.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace startel {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string findFileIgnoringCase(const std::string& folder, const std::string& name) {
    const std::string exact = joinPath(folder, name);
    struct stat st {};
    if (::stat(exact.c_str(), &st) == 0)
        return exact;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        if (equalsIgnoringCase(entry->d_name, name)) {
            found = joinPath(folder, entry->d_name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::optional<std::string> readSmallRegularFile(const std::string& path, std::size_t limit) {
    // Non-blocking open, so a named pipe planted under the expected name cannot stall us.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > limit) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t got = ::read(fd, data.data() + done, data.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    data.resize(done);
    return data;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string tempFolderFromEnvironment() {
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0')
        return tmp;
    return "/tmp";
}

} // namespace startel
