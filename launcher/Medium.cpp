// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Medium.h"

#include "launcher/Files.h"

#include <cstdlib>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace startel {

std::string ownExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

namespace {

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

} // namespace

std::string mountRootOf(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return {};
    std::string current = resolved;
    struct stat st {};
    if (::stat(current.c_str(), &st) != 0)
        return {};
    const dev_t device = st.st_dev;
    while (current != "/") {
        const std::string parent = parentOf(current);
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != device)
            break;
        current = parent;
    }
    return withTrailingSlash(current);
}

std::string findMediumRoot() {
    const char* overrideRoot = std::getenv("STARTEL_MEDIUM_ROOT");
    if (overrideRoot != nullptr && *overrideRoot != '\0')
        return withTrailingSlash(overrideRoot);
    const std::string self = ownExecutablePath();
    if (self.empty())
        return {};
    return mountRootOf(parentOf(self));
}

std::string infPath(const std::string& mediumRoot) {
    std::string found = findFileIgnoringCase(mediumRoot, "Startel.inf");
    return found.empty() ? joinPath(mediumRoot, "Startel.inf") : found;
}

} // namespace startel
