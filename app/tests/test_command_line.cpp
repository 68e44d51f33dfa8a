// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: a file to open, help and version (also before Qt's own options are
// taken out), and wrong usage.
#include "app/CommandLine.h"
#include "velkard_version.h"

#include <gtest/gtest.h>

using velkard::app::CommandLine;
using velkard::app::helpOrVersion;
using velkard::app::parseCommandLine;
using Action = CommandLine::Action;

TEST(CommandLine, FileOrNothingRuns) {
    EXPECT_EQ(parseCommandLine({}).action, Action::Run);
    EXPECT_TRUE(parseCommandLine({}).file.isEmpty());

    const auto line = parseCommandLine({"card/A2000001.DAT"});
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.file, "card/A2000001.DAT");

    // After "--" a name beginning with a dash is a file.
    const auto dashed = parseCommandLine({"--", "-odd.ecx"});
    EXPECT_EQ(dashed.action, Action::Run);
    EXPECT_EQ(dashed.file, "-odd.ecx");
}

TEST(CommandLine, HelpAndVersion) {
    EXPECT_EQ(parseCommandLine({"--version"}).action, Action::PrintVersion);
    EXPECT_EQ(parseCommandLine({"x.ecx", "--help"}).action, Action::PrintHelp);
    EXPECT_EQ(parseCommandLine({"-h"}).action, Action::PrintHelp);
    EXPECT_EQ(velkard::app::versionText(), QString("velkard %1\n").arg(VELKARD_VERSION));
    EXPECT_TRUE(velkard::app::helpText().startsWith("Usage: velkard [FILE]"));

    // Before Qt has taken out its options: they may stand anywhere; "--" ends the search.
    const char* version[] = {"velkard", "-platform", "offscreen", "--help", "--version"};
    EXPECT_EQ(helpOrVersion(5, version), Action::PrintVersion);
    const char* help[] = {"velkard", "-platform", "offscreen", "-h"};
    EXPECT_EQ(helpOrVersion(4, help), Action::PrintHelp);
    const char* file[] = {"velkard", "--", "--version"};
    EXPECT_EQ(helpOrVersion(3, file), Action::Run);
    const char* none[] = {"velkard", "ECG00001.DAT"};
    EXPECT_EQ(helpOrVersion(2, none), Action::Run);
}

TEST(CommandLine, WrongUsageSaysWhat) {
    const auto unknown = parseCommandLine({"--import", "a.ecx"});
    EXPECT_EQ(unknown.action, Action::WrongUsage);
    EXPECT_TRUE(unknown.error.contains("--import"));

    const auto two = parseCommandLine({"a.ecx", "b.ecx"});
    EXPECT_EQ(two.action, Action::WrongUsage);
    EXPECT_TRUE(two.error.contains("b.ecx"));
}
