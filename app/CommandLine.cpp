// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include "velkard_version.h"

#include <cstring>

namespace velkard::app {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
            line.action = CommandLine::Action::PrintHelp;
            return line;
        } else if (!optionsEnded && argument == "--version") {
            line.action = CommandLine::Action::PrintVersion;
            return line;
        } else if (!optionsEnded && argument.startsWith('-') && argument != "-") {
            line.action = CommandLine::Action::WrongUsage;
            line.error = "unknown option '" + argument + "'";
            return line;
        } else if (!line.file.isEmpty()) {
            line.action = CommandLine::Action::WrongUsage;
            line.error = "one file at a time ('" + line.file + "', '" + argument + "')";
            return line;
        } else {
            line.file = argument;
        }
    }
    return line;
}

CommandLine::Action helpOrVersion(int argc, const char* const* argv) {
    auto action = CommandLine::Action::Run;
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            return CommandLine::Action::PrintVersion;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            action = CommandLine::Action::PrintHelp;
    }
    return action;
}

QString helpText() {
    return "Usage: velkard [FILE]\n"
           "       velkard --help | --version\n\n"
           "Velkard, the program of the portable twelve-lead electrocardiograph. It works in the\n"
           "current folder (settings file, card file DATA_BASE, downloads in temp).\n"
           "FILE, a device ECG file, a compressed .ecx file or an EDF, BDF, DICOM, SCP-ECG,\n"
           "HL7 aECG, GDF or WFDB (.hea) file, is opened in the import view.\n"
           "See velkard(1).\n";
}

QString versionText() {
    return QStringLiteral("velkard " VELKARD_VERSION "\n");
}

} // namespace velkard::app
