// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"
#include "velkard_version.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <new>

#include <unistd.h>

using velkard::cli::registry;

namespace {

#ifdef VELKARD_CLI_HAND_OVER_TO
// Runs the same command line in the program next to this one that holds every command, the
// drawing ones included. Returns only when that program cannot be started.
void handOver(char** argv) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return;
    const std::string beside = (self.parent_path() / VELKARD_CLI_HAND_OVER_TO).string();
    ::execv(beside.c_str(), argv);
#ifdef VELKARD_CLI_LIBEXEC_DIR
    // An installed velkard-cli finds it among the package's private programs.
    const std::string installed =
        std::string(VELKARD_CLI_LIBEXEC_DIR "/") + VELKARD_CLI_HAND_OVER_TO;
    ::execv(installed.c_str(), argv);
#endif
}
#else
void handOver(char**) {}
#endif

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

namespace velkard::cli {
void handOverCommand(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> words{"velkard-cli", command};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    handOver(argv.data());
}
} // namespace velkard::cli

int main(int argc, char** argv) {
    if (argc < 2) {
        handOver(argv);
        printOverview(std::cerr);
        return velkard::cli::kUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        handOver(argv);
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
        // A damaged or hostile file can ask for more memory than there is; that ends the
        // command with a message, never with an abort.
        try {
            return c.run(args);
        } catch (const std::bad_alloc&) {
            std::cerr << "velkard-cli: " << name << ": not enough memory for this command\n";
            return velkard::cli::kFailure;
        }
    }
    handOver(argv);
    std::cerr << "velkard-cli: unknown command '" << name << "' (see velkard-cli --help)\n";
    return velkard::cli::kUsage;
}
