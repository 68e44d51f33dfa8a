// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own command line: `velkard [FILE]`, `--help`, `--version`. Qt's options (such as
// -platform) are taken out by QApplication before this reads the rest.
#pragma once

#include <QString>
#include <QStringList>

namespace velkard::app {

struct CommandLine {
    enum class Action { Run, PrintHelp, PrintVersion, WrongUsage };
    Action action = Action::Run;
    QString file;  // opened in the import view at start; empty for none
    QString error; // what is wrong, for WrongUsage
};

// The arguments after the program's name. "--" ends the options (a file named "-x").
CommandLine parseCommandLine(const QStringList& arguments);

// PrintVersion or PrintHelp when the raw arguments (Qt's options still among them) ask for the
// version or for help, which need no display and are answered before the application object
// exists; Run otherwise. The version wins when both are asked for.
CommandLine::Action helpOrVersion(int argc, const char* const* argv);

QString helpText();
QString versionText();

} // namespace velkard::app
