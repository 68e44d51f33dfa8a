// Startel: the installation medium's launcher. It starts the installer or the installed program,
// or opens a web address, as its command line says, and always ends with exit code 0 without a
// message of its own.
#include "launcher/CommandLine.h"
#include "launcher/Files.h"
#include "launcher/Launcher.h"
#include "launcher/Medium.h"
#include "launcher/Registry.h"
#include "launcher/Shell.h"

#include <csignal>

int main(int argc, char** argv) {
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
