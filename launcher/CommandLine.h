// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace startel {

// What one invocation asks for: the INF key naming the installed component, the mode and the
// web address or command to start.
struct CommandLine {
    std::string key;
    int mode = 0;
    std::string target;
};

// The argument text after the launcher's own name: the arguments joined by single blanks, so a
// line split by a shell reads the same as one passed whole.
std::string joinArguments(int argc, const char* const* argv);

// "[key][mode] target". A part whose brackets are missing is empty (mode 0) and the target
// starts where that part would have begun.
CommandLine parseCommandLine(std::string_view argumentText);

// Decimal integer with an optional leading minus; anything unreadable is 0.
int parseMode(std::string_view text);

// True when the target, after blanks, begins with "http" in any case.
bool isWebAddress(std::string_view target);

// Splits a parameter string into program arguments the way a Windows program's runtime does:
// blanks separate, double quotes group, backslashes escape only a double quote.
std::vector<std::string> splitParameters(std::string_view parameters);

bool isBlank(char c);
std::string_view skipBlanks(std::string_view text);

} // namespace startel
