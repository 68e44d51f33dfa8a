// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Registry.h"

#include "launcher/Files.h"
#include "launcher/Profile.h"

#include <cstdlib>
#include <sys/stat.h>

namespace startel {

namespace {

// Paths of installed programs are not bound by the launcher's own 259-character values.
constexpr std::size_t kPathLimit = 4095;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

bool isGuid(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !isHex(text[i]))
            return false;
    }
    return true;
}

FolderProductRegistry::FolderProductRegistry(std::string folder) : folder_(std::move(folder)) {}

std::string FolderProductRegistry::productFile(const std::string& productCode) const {
    return findFileIgnoringCase(folder_, productCode + ".ini");
}

int FolderProductRegistry::queryProductState(const std::string& productCode) {
    if (!isGuid(productCode))
        return kStateInvalidArgument;
    const std::string file = productFile(productCode);
    const auto text = file.empty() ? std::nullopt : readSmallRegularFile(file);
    if (!text)
        return kStateUnknown;
    const std::string state = profileValue(*text, "Product", "State");
    if (state.empty())
        return kStateInstalled;
    char* end = nullptr;
    const long value = std::strtol(state.c_str(), &end, 10);
    if (end == state.c_str() || *end != '\0' || value < -10 || value > 10)
        return kStateUnknown;
    return static_cast<int>(value);
}

int FolderProductRegistry::getComponentPath(const std::string& productCode,
                                            const std::string& componentId, std::string& path) {
    if (!isGuid(productCode) || !isGuid(componentId))
        return kStateInvalidArgument;
    if (queryProductState(productCode) != kStateInstalled)
        return kStateUnknown;
    const auto text = readSmallRegularFile(productFile(productCode));
    if (!text)
        return kStateUnknown;
    const std::string local = profileValue(*text, "Components", componentId, kPathLimit);
    if (!local.empty()) {
        struct stat st {};
        if (::stat(local.c_str(), &st) != 0)
            return kStateAbsent; // registered, but its file is gone
        path = local;
        return kStateLocal;
    }
    const std::string source = profileValue(*text, "Source", componentId, kPathLimit);
    if (!source.empty()) {
        path = source;
        return kStateSource;
    }
    return kStateUnknown;
}

std::string productsFolderFromEnvironment() {
    const char* dir = std::getenv("STARTEL_PRODUCTS_DIR");
    if (dir != nullptr && *dir != '\0')
        return dir;
    return "/var/lib/startel/products";
}

} // namespace startel
