// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Launcher.h"

#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace startel {
namespace {

using test::FakeRegistry;
using test::FakeShell;
using test::kComponent;
using test::kProduct;
using test::TempDir;
using test::writeFile;

TEST(ResolveTarget, RelativeProgramIsBelowTheMediumRoot) {
    EXPECT_EQ(resolveTarget("setup.exe /quiet", "/media/cdrom/"),
              (RunRequest{"/media/cdrom/setup.exe", "/quiet", "/media/cdrom"}));
    EXPECT_EQ(resolveTarget("bin/setup.sh", "/media/cdrom/"),
              (RunRequest{"/media/cdrom/bin/setup.sh", "", "/media/cdrom/bin"}));
    // Blanks in the mount point never split the program.
    EXPECT_EQ(resolveTarget("\"Velkard Setup/setup.sh\" /quiet \"a b\"", "/media/u/VELKARD 1/"),
              (RunRequest{"/media/u/VELKARD 1/Velkard Setup/setup.sh", "/quiet \"a b\"",
                          "/media/u/VELKARD 1/Velkard Setup"}));
    EXPECT_EQ(resolveTarget("setup.sh", "/"), (RunRequest{"/setup.sh", "", "/"}));
}

TEST(ResolveTarget, DriveLetterOrAbsolutePathIsUsedUnchanged) {
    EXPECT_EQ(resolveTarget("C:\\tools\\run.exe", "/media/cdrom/"),
              (RunRequest{"C:\\tools\\run.exe", "", "C:\\tools"}));
    EXPECT_EQ(resolveTarget("\"C:\\Program Files\\run.exe\" -x", "/media/cdrom/"),
              (RunRequest{"C:\\Program Files\\run.exe", "-x", "C:\\Program Files"}));
    EXPECT_EQ(resolveTarget("/usr/bin/env FOO=1", "/media/cdrom/"),
              (RunRequest{"/usr/bin/env", "FOO=1", "/usr/bin"}));
    EXPECT_EQ(resolveTarget("\"/opt/my app/run\"", "/media/cdrom/"),
              (RunRequest{"/opt/my app/run", "", "/opt/my app"}));
    EXPECT_FALSE(isRelativeToMedium("C:\\x"));
    EXPECT_FALSE(isRelativeToMedium("\"C:\\x\""));
    EXPECT_FALSE(isRelativeToMedium("/x"));
    EXPECT_TRUE(isRelativeToMedium("x"));
    EXPECT_TRUE(isRelativeToMedium(""));
}

TEST(ResolveTarget, OnlyOneBlankIsConsumedBeforeTheParameters) {
    EXPECT_EQ(resolveTarget("\"run\"  -a", "/m/").parameters, " -a");
    EXPECT_EQ(resolveTarget("run ", "/m/").parameters, "");
    EXPECT_EQ(resolveTarget("\"run", "/m/").program, "/m/run");
}

// A medium folder with a Startel.inf, a fake registry and a fake shell.
class Launch : public ::testing::Test {
protected:
    Launch() {
        writeFile(medium.file("Startel.inf"), std::string("[Installed]\r\nProductCode=") +
                                                  kProduct + "\r\nLaunch=" + kComponent + "\r\n");
        context.mediumRoot = medium.root();
        context.tempFolder = temp.path();
        context.registry = &registry;
        context.shell = &shell;
    }
    void install() { registry.states[kProduct] = kStateInstalled; }
    void run(const std::string& line) { EXPECT_EQ(runStartel(line, context), 0); }
    ShellExecuteRequest started(const std::string& program, const std::string& parameters,
                                const std::string& directory) const {
        ShellExecuteRequest r;
        r.file = program;
        r.parameters = parameters;
        r.directory = directory;
        return r;
    }

    TempDir medium;
    TempDir temp;
    FakeRegistry registry;
    FakeShell shell;
    LaunchContext context;
};

TEST_F(Launch, Mode1StartsTheInstallerOnlyWhenTheProductIsMissing) {
    run("[Launch][1] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started(medium.root() + "setup.exe", "/quiet", medium.path()));
    EXPECT_EQ(shell.waited, std::vector<ProcessHandle>{4321});
    EXPECT_EQ(registry.queried, std::vector<std::string>{kProduct});

    shell.executed.clear();
    install();
    run("[Launch][1] setup.exe /quiet");
    EXPECT_TRUE(shell.executed.empty());
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(Launch, Mode2StartsTheInstalledComponentWithTheTargetsParameters) {
    install();
    registry.components[kComponent] = {kStateLocal, "/opt/velkard/bin/velkard"};
    run("[Launch][2] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started("/opt/velkard/bin/velkard", "/quiet", ""));
    ASSERT_EQ(registry.componentQueries.size(), 1u);
    EXPECT_EQ(registry.componentQueries[0],
              std::make_pair(std::string(kProduct), std::string(kComponent)));

    shell.executed.clear();
    registry.components[kComponent] = {kStateSource, "/media/other/velkard"};
    run("[Launch][2] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started("/media/other/velkard", "/quiet", ""));
}

TEST_F(Launch, Mode2WithAnUnknownComponentStartsTheTargetUnchanged) {
    install();
    registry.components[kComponent] = {kStateAbsent, "/should/not/be/used"};
    run("[Launch][2] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started(medium.root() + "setup.exe", "/quiet", medium.path()));

    // A key that the INF does not list asks for an empty component.
    shell.executed.clear();
    registry.componentQueries.clear();
    run("[Other][2] setup.exe /quiet");
    ASSERT_EQ(registry.componentQueries.size(), 1u);
    EXPECT_EQ(registry.componentQueries[0].second, "");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0].file, medium.root() + "setup.exe");
}

TEST_F(Launch, Mode2WithoutTheProductDropsTheParameters) {
    registry.components[kComponent] = {kStateLocal, "/opt/velkard/bin/velkard"};
    run("[Launch][2] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started(medium.root() + "setup.exe", "", medium.path()));
    EXPECT_TRUE(registry.componentQueries.empty());
}

TEST_F(Launch, Mode4StartsOnlyWhenInstalled) {
    run("[Launch][4] setup.exe /quiet");
    EXPECT_TRUE(shell.executed.empty());

    install();
    registry.components[kComponent] = {kStateLocal, "/opt/velkard/bin/velkard"};
    run("[Launch][4] setup.exe /quiet");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started("/opt/velkard/bin/velkard", "/quiet", ""));
}

TEST_F(Launch, OtherModesAlwaysStartTheTarget) {
    install();
    registry.components[kComponent] = {kStateLocal, "/opt/velkard/bin/velkard"};
    for (const char* line : {"[Launch][0] tool.sh -v", "[Launch][3] tool.sh -v",
                             "[Launch][-1] tool.sh -v", "tool.sh -v"}) {
        shell.executed.clear();
        run(line);
        ASSERT_EQ(shell.executed.size(), 1u) << line;
        EXPECT_EQ(shell.executed[0], started(medium.root() + "tool.sh", "-v", medium.path()))
            << line;
    }
}

TEST_F(Launch, QuotedProgramWithParametersAndDriveLetter) {
    run("[Launch][1] \"Setup Files/setup.sh\" /quiet /log:\"a b\"");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started(medium.root() + "Setup Files/setup.sh",
                                         "/quiet /log:\"a b\"", medium.file("Setup Files")));

    shell.executed.clear();
    run("[Launch][0] C:\\tools\\run.exe");
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0], started("C:\\tools\\run.exe", "", "C:\\tools"));
}

TEST_F(Launch, MissingInfMeansNotInstalled) {
    ::unlink(medium.file("Startel.inf").c_str());
    install();
    run("[Launch][1] setup.exe");
    EXPECT_TRUE(registry.queried.empty()); // an empty product code is never asked about
    ASSERT_EQ(shell.executed.size(), 1u);
    EXPECT_EQ(shell.executed[0].file, medium.root() + "setup.exe");
}

TEST_F(Launch, OneCharacterProductCodeCountsAsNotInstalled) {
    writeFile(medium.file("Startel.inf"), "[Installed]\nProductCode=X\n");
    registry.states["X"] = kStateInstalled;
    run("[Launch][1] setup.exe");
    EXPECT_TRUE(registry.queried.empty());
    EXPECT_EQ(shell.executed.size(), 1u);
}

TEST_F(Launch, InfNamedInCapitalsIsRead) {
    ::rename(medium.file("Startel.inf").c_str(), medium.file("STARTEL.INF").c_str());
    install();
    run("[Launch][1] setup.exe");
    EXPECT_EQ(registry.queried, std::vector<std::string>{kProduct});
    EXPECT_TRUE(shell.executed.empty());
}

TEST_F(Launch, NoAssociationIsRetriedWithTheDefaultVerb) {
    for (int error : {kShellNoAssociation, kShellAssociationIncomplete}) {
        shell.executed.clear();
        shell.waited.clear();
        shell.exResults = {test::failure(error)};
        run("readme.pdf");
        ASSERT_EQ(shell.executed.size(), 2u) << error;
        EXPECT_EQ(shell.executed[0].verb, Verb::Open);
        EXPECT_FALSE(shell.executed[0].showErrors);
        ShellExecuteRequest retry = shell.executed[0];
        retry.verb = Verb::Default;
        retry.showErrors = true;
        EXPECT_EQ(shell.executed[1], retry);
        EXPECT_EQ(shell.waited, std::vector<ProcessHandle>{4321});
    }
}

TEST_F(Launch, ProgramThatCannotBeStartedIsNotRetriedNorWaitedFor) {
    shell.exResults = {test::failure(kShellFileNotFound)};
    run("[Launch][1] missing.sh");
    EXPECT_EQ(shell.executed.size(), 1u);
    EXPECT_TRUE(shell.waited.empty());

    // Started without a process to wait for (handed to an opener).
    shell.executed.clear();
    ShellExecuteResult noHandle;
    noHandle.ok = true;
    shell.exResults = {noHandle};
    run("[Launch][1] readme.pdf");
    EXPECT_EQ(shell.executed.size(), 1u);
    EXPECT_TRUE(shell.waited.empty());
}

TEST_F(Launch, WebAddressInCapitalsOpensAShortcutInTheTemporaryFolder) {
    install();
    run("[Launch][1]   HTTP://VELKARD.EXAMPLE/Help?a=1&b=2");
    EXPECT_TRUE(shell.executed.empty());
    EXPECT_TRUE(registry.queried.empty());
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, Verb::Open);
    const std::string& path = shell.opened[0].second;
    EXPECT_EQ(path.rfind(temp.path() + "/URL", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 4), ".url");
    EXPECT_EQ(shell.openedText[0],
              "[InternetShortcut]\r\nURL=HTTP://VELKARD.EXAMPLE/Help?a=1&b=2\r\n");
    // The shortcut stays behind.
    EXPECT_EQ(test::readFile(path), shell.openedText[0]);
}

TEST_F(Launch, ShortcutThatFailsToOpenIsRetriedWithTheDefaultVerb) {
    shell.openResults = {kShellNoAssociation};
    run("http://velkard.example/");
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[1].first, Verb::Default);
    EXPECT_EQ(shell.opened[1].second, shell.opened[0].second);

    shell.opened.clear();
    shell.openResults = {33};
    run("http://velkard.example/");
    EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(Launch, EachAddressGetsItsOwnShortcut) {
    run("http://a.example/");
    run("http://b.example/");
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_NE(shell.opened[0].second, shell.opened[1].second);
    EXPECT_EQ(test::filesIn(temp.path()).size(), 2u);
}

TEST_F(Launch, ShortcutThatCannotBeCreatedLeavesTheAddressUnopened) {
    context.tempFolder = temp.file("no/such/folder");
    run("http://velkard.example/");
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_TRUE(shell.executed.empty());
}

TEST(InternetShortcut, LineBreaksCannotAddLines) {
    TempDir temp;
    const auto path = createInternetShortcut(temp.path() + "/", "http://x/\r\nIconFile=evil");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(test::readFile(*path), "[InternetShortcut]\r\nURL=http://x/\r\n");
    EXPECT_EQ(path->find("//"), std::string::npos) << *path;
}

} // namespace
} // namespace startel
