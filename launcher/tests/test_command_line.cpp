// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/CommandLine.h"

#include <gtest/gtest.h>

#include <climits>

namespace startel {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, KeyModeAndTarget) {
    const CommandLine c = parseCommandLine("  [Launch][1]  setup.exe /quiet");
    EXPECT_EQ(c.key, "Launch");
    EXPECT_EQ(c.mode, 1);
    EXPECT_EQ(c.target, "setup.exe /quiet");

    const CommandLine negative = parseCommandLine("[Doc][-3]\"docs\\read me.pdf\"");
    EXPECT_EQ(negative.key, "Doc");
    EXPECT_EQ(negative.mode, -3);
    EXPECT_EQ(negative.target, "\"docs\\read me.pdf\"");
}

TEST(CommandLine, WithoutBracketsTheWholeLineIsTheTarget) {
    const CommandLine c = parseCommandLine("setup.exe /quiet");
    EXPECT_EQ(c.key, "");
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.target, "setup.exe /quiet");
}

TEST(CommandLine, MissingClosingBracketsLeaveTheirPartsEmpty) {
    // No mode part: the target starts right after the key.
    const CommandLine noMode = parseCommandLine("[Launch] setup.exe");
    EXPECT_EQ(noMode.key, "Launch");
    EXPECT_EQ(noMode.mode, 0);
    EXPECT_EQ(noMode.target, "setup.exe");

    // The mode's bracket is never closed: its text is part of the target.
    const CommandLine openMode = parseCommandLine("[Launch][2 setup.exe");
    EXPECT_EQ(openMode.key, "Launch");
    EXPECT_EQ(openMode.mode, 0);
    EXPECT_EQ(openMode.target, "[2 setup.exe");

    const CommandLine openKey = parseCommandLine("[Launch setup.exe");
    EXPECT_EQ(openKey.key, "");
    EXPECT_EQ(openKey.target, "[Launch setup.exe");
}

TEST(CommandLine, ClosingBracketInsideAnUnbracketedTargetIsKept) {
    const CommandLine c = parseCommandLine("http://[::1]:8080/index.html");
    EXPECT_EQ(c.key, "");
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.target, "http://[::1]:8080/index.html");

    const CommandLine keyed = parseCommandLine("[Web][3]http://[::1]/");
    EXPECT_EQ(keyed.key, "Web");
    EXPECT_EQ(keyed.mode, 3);
    EXPECT_EQ(keyed.target, "http://[::1]/");
}

TEST(CommandLine, EmptyLine) {
    const CommandLine c = parseCommandLine("   ");
    EXPECT_EQ(c.key, "");
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.target, "");
}

TEST(CommandLine, ModeText) {
    EXPECT_EQ(parseMode("4"), 4);
    EXPECT_EQ(parseMode("-12"), -12);
    EXPECT_EQ(parseMode(" 2"), 2);
    EXPECT_EQ(parseMode(""), 0);
    EXPECT_EQ(parseMode("x"), 0);
    EXPECT_EQ(parseMode("2x"), 2);
    EXPECT_EQ(parseMode("99999999999999999999"), INT_MAX);
    EXPECT_EQ(parseMode("-99999999999999999999"), INT_MIN);
}

TEST(CommandLine, WebAddressIsRecognisedInAnyCase) {
    EXPECT_TRUE(isWebAddress("http://velkard.example/"));
    EXPECT_TRUE(isWebAddress("HTTPS://VELKARD.EXAMPLE/"));
    EXPECT_TRUE(isWebAddress("  HtTp://x"));
    EXPECT_FALSE(isWebAddress("htt"));
    EXPECT_FALSE(isWebAddress("setup.exe http://x"));
    EXPECT_FALSE(isWebAddress("\"http.exe\""));
}

TEST(CommandLine, ArgumentsAreJoinedWithBlanks) {
    const char* argv[] = {"/media/cdrom/startel", "[Launch][1]", "setup.sh", "/quiet"};
    EXPECT_EQ(joinArguments(4, argv), "[Launch][1] setup.sh /quiet");
    EXPECT_EQ(joinArguments(1, argv), "");
}

TEST(CommandLine, ParametersSplitLikeAWindowsProgramReadsThem) {
    EXPECT_EQ(splitParameters(""), Args{});
    EXPECT_EQ(splitParameters("  /quiet   /log  "), (Args{"/quiet", "/log"}));
    EXPECT_EQ(splitParameters("/dir \"C:\\Program Files\\Velkard\" x"),
              (Args{"/dir", "C:\\Program Files\\Velkard", "x"}));
    EXPECT_EQ(splitParameters("a\"b c\"d"), (Args{"ab cd"}));
    EXPECT_EQ(splitParameters("\"\""), (Args{""}));
    EXPECT_EQ(splitParameters("\"say \"\"hi\"\"\""), (Args{"say \"hi\""}));
    EXPECT_EQ(splitParameters("a\\\\b"), (Args{"a\\\\b"}));
    EXPECT_EQ(splitParameters("a\\\"b"), (Args{"a\"b"}));
    EXPECT_EQ(splitParameters("\"a\\\\\" b"), (Args{"a\\", "b"}));
    EXPECT_EQ(splitParameters("\"open"), (Args{"open"}));
}

} // namespace
} // namespace startel
