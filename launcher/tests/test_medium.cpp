// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Medium.h"

#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace startel {
namespace {

using test::TempDir;
using test::writeFile;

dev_t deviceOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_dev;
}

TEST(Medium, MountRootIsTheTopFolderOfTheSameFileSystem) {
    TempDir dir;
    ::mkdir(dir.file("a").c_str(), 0755);
    ::mkdir(dir.file("a/b").c_str(), 0755);
    const std::string root = mountRootOf(dir.file("a/b"));
    ASSERT_FALSE(root.empty());
    ASSERT_EQ(root.back(), '/');

    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(dir.file("a/b").c_str(), resolved), nullptr);
    EXPECT_EQ(std::string(resolved).rfind(root, 0), 0u) << root << " is not above " << resolved;
    EXPECT_EQ(deviceOf(root), deviceOf(dir.path()));
    if (root != "/") {
        const std::string above = root.substr(0, root.find_last_of('/', root.size() - 2) + 1);
        EXPECT_NE(deviceOf(above), deviceOf(root));
    }
}

TEST(Medium, MountRootOfAnotherFileSystem) {
    // /proc is always a file system of its own, mounted on "/proc".
    EXPECT_EQ(mountRootOf("/proc/self/fd"), "/proc/");
    EXPECT_EQ(mountRootOf("/"), "/");
    EXPECT_EQ(mountRootOf("/no/such/folder"), "");
}

TEST(Medium, OwnExecutableIsThisTestProgram) {
    const std::string self = ownExecutablePath();
    EXPECT_NE(self.find("velkard_launcher_tests"), std::string::npos) << self;
}

TEST(Medium, RootCanBeNamedByTheEnvironment) {
    ::setenv("STARTEL_MEDIUM_ROOT", "/media/test disc", 1);
    EXPECT_EQ(findMediumRoot(), "/media/test disc/");
    ::unsetenv("STARTEL_MEDIUM_ROOT");
    EXPECT_EQ(findMediumRoot(),
              mountRootOf(ownExecutablePath().substr(0, ownExecutablePath().find_last_of('/'))));
}

TEST(Medium, InfFileIsFoundWithoutRegardToCase) {
    TempDir dir;
    EXPECT_EQ(infPath(dir.root()), dir.file("Startel.inf"));
    writeFile(dir.file("STARTEL.INF"), "[Installed]\n");
    EXPECT_EQ(infPath(dir.root()), dir.file("STARTEL.INF"));
    writeFile(dir.file("Startel.inf"), "[Installed]\n");
    EXPECT_EQ(infPath(dir.root()), dir.file("Startel.inf"));
}

} // namespace
} // namespace startel
