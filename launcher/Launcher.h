// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launcher/Registry.h"
#include "launcher/Shell.h"

#include <optional>
#include <string>
#include <string_view>

namespace startel {

// What the launcher needs from its surroundings; tests pass fakes.
struct LaunchContext {
    std::string mediumRoot; // with a trailing '/'
    std::string tempFolder;
    ProductRegistry* registry = nullptr;
    Shell* shell = nullptr;
};

// The program to start, its parameters (empty: none) and its working folder (empty: none).
struct RunRequest {
    std::string program;
    std::string parameters;
    std::string workingFolder;
    bool operator==(const RunRequest&) const = default;
};

// A target that is neither an absolute path nor carries a drive letter is relative to the
// medium's root.
bool isRelativeToMedium(std::string_view target);

// Splits a target into program, parameters and working folder, putting a medium-relative
// program below `mediumRoot`.
RunRequest resolveTarget(std::string_view target, std::string_view mediumRoot);

// Writes "[InternetShortcut]\r\nURL=<address>\r\n" to a new file "URL<unique>.url" in
// `tempFolder` and returns its path; nothing when it cannot be created or written.
std::optional<std::string> createInternetShortcut(const std::string& tempFolder,
                                                  std::string_view address);

// Opens a web address through a temporary Internet shortcut, which stays behind.
void openWebAddress(std::string_view address, const LaunchContext& context);

// Starts the program, retrying with the default verb when the file has no usable association,
// and waits for it when a process was started.
void startProgram(const RunRequest& request, Shell& shell);

// One whole invocation. Always 0: the launcher reports nothing.
int runStartel(std::string_view argumentText, const LaunchContext& context);

} // namespace startel
