// SPDX-License-Identifier: GPL-3.0-or-later
// Startel: the installation medium's launcher. It starts the installer or the installed program,
// or opens a web address, as its command line says, and always ends with exit code 0 without a
// message of its own. Alone on the command line, --version and --help print and end (exit 0).
#include "launcher/CommandLine.h"
#include "launcher/Files.h"
#include "launcher/Launcher.h"
#include "launcher/Medium.h"
#include "launcher/Registry.h"
#include "launcher/Shell.h"
#include "velkard_version.h"

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // No medium names a program "--version" or "--help"; both are answered here and never started.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("startel %s\n", VELKARD_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "usage: startel [KEY][MODE] TARGET\n"
            "Starts TARGET (a program on the installation medium, or a web address) or the\n"
            "installed Velkard, as MODE says: 1 only when Velkard is not installed; 2 the\n"
            "installed program named by KEY in Startel.inf when installed, else TARGET\n"
            "without its parameters; 4 as 2 but nothing when not installed; any other\n"
            "always TARGET. Always exits with 0. See startel(1).\n");
        return 0;
    }
    // A parent that ignores SIGCHLD would make its children unwaitable, and a waited-for opener
    // would then count as failed.
    std::signal(SIGCHLD, SIG_DFL);
    try {
        startel::FolderProductRegistry registry(startel::productsFolderFromEnvironment());
        startel::PosixShell shell;
        startel::LaunchContext context;
        context.mediumRoot = startel::findMediumRoot();
        context.tempFolder = startel::tempFolderFromEnvironment();
        context.registry = &registry;
        context.shell = &shell;
        startel::runStartel(startel::joinArguments(argc, argv), context);
    } catch (...) {
        // Nothing to report: the launcher ends quietly whatever happened.
    }
    return 0;
}
