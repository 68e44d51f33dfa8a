// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Shell.h"

#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace startel {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A stand-in for xdg-open that records its argument and where its error stream goes.
class ShellOnDisk : public ::testing::Test {
protected:
    ShellOnDisk() {
        writeFile(dir.file("opener"),
                  "#!/bin/sh\n"
                  "printf '%s\\n' \"$1\" >> '" +
                      dir.file("opened") +
                      "'\n"
                      "readlink /proc/$$/fd/2 >> '" +
                      dir.file("stderr") +
                      "'\n"
                      "exit \"$(cat '" +
                      dir.file("opener-exit") + "' 2>/dev/null || echo 0)\"\n",
                  true);
    }
    TempDir dir;
    PosixShell shell{dir.file("opener")};
};

TEST_F(ShellOnDisk, StartsAProgramWithItsParametersInItsFolderAndWaits) {
    ::mkdir(dir.file("work").c_str(), 0755);
    writeFile(dir.file("prog.sh"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("args") + "'\npwd > '" +
                  dir.file("cwd") + "'\nexit 7\n",
              true);
    ShellExecuteRequest request;
    request.file = dir.file("prog.sh");
    request.parameters = "/quiet \"two words\" C:\\dir\\";
    request.directory = dir.file("work");
    const ShellExecuteResult result = shell.shellExecuteEx(request);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(result.process.has_value());
    EXPECT_EQ(shell.waitForProcess(*result.process), 7);
    EXPECT_EQ(readFile(dir.file("args")), "/quiet\ntwo words\nC:\\dir\\\n");
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(dir.file("work").c_str(), resolved), nullptr);
    EXPECT_EQ(readFile(dir.file("cwd")), std::string(resolved) + "\n");
    EXPECT_EQ(readFile(dir.file("opened")), "");
}

TEST_F(ShellOnDisk, RelativeProgramIsFoundBeforeEnteringItsWorkingFolder) {
    ::mkdir(dir.file("work").c_str(), 0755);
    writeFile(dir.file("prog.sh"), "#!/bin/sh\npwd > '" + dir.file("cwd") + "'\n", true);
    char previous[PATH_MAX];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    ShellExecuteRequest request;
    request.file = "prog.sh";
    request.directory = "work";
    const ShellExecuteResult result = shell.shellExecuteEx(request);
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(result.process.has_value());
    EXPECT_EQ(shell.waitForProcess(*result.process), 0);
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(dir.file("work").c_str(), resolved), nullptr);
    EXPECT_EQ(readFile(dir.file("cwd")), std::string(resolved) + "\n");
}

TEST_F(ShellOnDisk, MissingProgramOrFolderIsAFailure) {
    ShellExecuteRequest request;
    request.file = dir.file("missing.sh");
    ShellExecuteResult result = shell.shellExecuteEx(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, kShellFileNotFound);
    EXPECT_FALSE(result.process.has_value());

    request.file = "";
    EXPECT_EQ(shell.shellExecuteEx(request).error, kShellFileNotFound);

    writeFile(dir.file("prog.sh"), "#!/bin/sh\nexit 0\n", true);
    request.file = dir.file("prog.sh");
    request.directory = dir.file("no-such-folder");
    result = shell.shellExecuteEx(request);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.process.has_value());
}

TEST_F(ShellOnDisk, DocumentsGoToTheOpenerQuietlyUnlessErrorsAreShown) {
    writeFile(dir.file("readme.pdf"), "%PDF");
    ShellExecuteRequest request;
    request.file = dir.file("readme.pdf");
    ShellExecuteResult result = shell.shellExecuteEx(request);
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.process.has_value());

    request.verb = Verb::Default;
    request.showErrors = true;
    EXPECT_TRUE(shell.shellExecuteEx(request).ok);

    EXPECT_EQ(readFile(dir.file("opened")), request.file + "\n" + request.file + "\n");
    const std::string streams = readFile(dir.file("stderr"));
    const std::string first = streams.substr(0, streams.find('\n'));
    const std::string second = streams.substr(streams.find('\n') + 1);
    EXPECT_EQ(first, "/dev/null");
    EXPECT_NE(second, "/dev/null\n");
    EXPECT_FALSE(second.empty());
}

TEST_F(ShellOnDisk, ScriptsWithoutTheExecuteBitRunThroughTheShell) {
    ::mkdir(dir.file("work").c_str(), 0755);
    // An installer copied without its modes: a "#!" first line, no ".sh".
    writeFile(dir.file("setup"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("args") + "'\npwd > '" +
                  dir.file("cwd") + "'\nexit 5\n",
              false);
    // And one named ".sh" without a "#!" line.
    writeFile(dir.file("install.sh"), "echo plain > '" + dir.file("plain") + "'\nexit 3\n", false);
    ShellExecuteRequest request;
    request.file = dir.file("setup");
    request.parameters = "/quiet \"two words\"";
    request.directory = dir.file("work");
    ShellExecuteResult result = shell.shellExecuteEx(request);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(result.process.has_value());
    EXPECT_EQ(shell.waitForProcess(*result.process), 5);
    EXPECT_EQ(readFile(dir.file("args")), "/quiet\ntwo words\n");
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(dir.file("work").c_str(), resolved), nullptr);
    EXPECT_EQ(readFile(dir.file("cwd")), std::string(resolved) + "\n");

    request = {};
    request.file = dir.file("install.sh");
    result = shell.shellExecuteEx(request);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_TRUE(result.process.has_value());
    EXPECT_EQ(shell.waitForProcess(*result.process), 3);
    EXPECT_EQ(readFile(dir.file("plain")), "plain\n");
    // Neither went to the viewer.
    EXPECT_EQ(readFile(dir.file("opened")), "");
}

TEST_F(ShellOnDisk, FailingOrMissingOpenerMeansNoAssociation) {
    writeFile(dir.file("readme.pdf"), "%PDF");
    writeFile(dir.file("opener-exit"), "3\n");
    ShellExecuteRequest request;
    request.file = dir.file("readme.pdf");
    EXPECT_EQ(shell.shellExecuteEx(request).error, kShellNoAssociation);

    PosixShell withoutOpener(dir.file("no-opener"));
    EXPECT_EQ(withoutOpener.shellExecuteEx(request).error, kShellNoAssociation);
    EXPECT_EQ(withoutOpener.shellExecute(Verb::Default, request.file), kShellNoAssociation);
}

TEST_F(ShellOnDisk, InternetShortcutOpensItsAddressOrItselfWithTheDefaultVerb) {
    writeFile(dir.file("URLab12cd.url"),
              "[InternetShortcut]\r\nURL=HTTP://VELKARD.EXAMPLE/a b\r\n");
    EXPECT_GT(shell.shellExecute(Verb::Open, dir.file("URLab12cd.url")), 32);
    EXPECT_GT(shell.shellExecute(Verb::Default, dir.file("URLab12cd.url")), 32);
    EXPECT_EQ(readFile(dir.file("opened")),
              "HTTP://VELKARD.EXAMPLE/a b\n" + dir.file("URLab12cd.url") + "\n");

    writeFile(dir.file("empty.url"), "[InternetShortcut]\r\n");
    EXPECT_LE(shell.shellExecute(Verb::Open, dir.file("empty.url")), 32);
    EXPECT_EQ(shell.shellExecute(Verb::Open, dir.file("gone.url")), kShellFileNotFound);
}

} // namespace
} // namespace startel
