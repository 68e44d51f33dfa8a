// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"
#include "velkard_version.h"

#include <algorithm>
#include <iostream>

using velkard::cli::registry;

namespace {

void printOverview(std::ostream& out) {
    auto commands = registry();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    out << "velkard-cli: headless companion of Velkard, the twelve-lead ECG program.\n\n"
           "Usage: velkard-cli COMMAND [ARGS...]\n"
           "       velkard-cli COMMAND --help\n"
           "       velkard-cli --version\n\n"
           "Commands:\n";
    for (const auto& c : commands)
        out << "  " << c.name << std::string(c.name.size() < 16 ? 16 - c.name.size() : 1, ' ')
            << c.summary << '\n';
    out << "\nExit status: 0 success, 1 failure of the input or the disk, 2 wrong usage.\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printOverview(std::cerr);
        return velkard::cli::kUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(std::cout);
        return velkard::cli::kOk;
    }
    if (name == "--version") {
        std::cout << "velkard-cli " VELKARD_VERSION "\n";
        return velkard::cli::kOk;
    }
    for (const auto& c : registry()) {
        if (c.name != name)
            continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        if (std::find(args.begin(), args.end(), "--help") != args.end() ||
            std::find(args.begin(), args.end(), "-h") != args.end()) {
            std::cout << c.help;
            return velkard::cli::kOk;
        }
        return c.run(args);
    }
    std::cerr << "velkard-cli: unknown command '" << name << "' (see velkard-cli --help)\n";
    return velkard::cli::kUsage;
}
