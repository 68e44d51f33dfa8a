// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the real launcher against a medium folder, a products folder and scripts standing in for
// the installer and the desktop's opener.
#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace startel {
namespace {

using test::kComponent;
using test::kProduct;
using test::readFile;
using test::TempDir;
using test::writeFile;

class Startel : public ::testing::Test {
protected:
    Startel() {
        ::mkdir(medium.file("Velkard Setup").c_str(), 0755);
        ::mkdir(products.path().c_str(), 0755);
        ::mkdir(bin.path().c_str(), 0755);
        writeFile(medium.file("Startel.inf"), std::string("[Installed]\r\nProductCode=") +
                                                  kProduct + "\r\nLaunch=" + kComponent + "\r\n");
        // Records its arguments and folder, then waits for a line on the pipe before it ends.
        ::mkfifo(out.file("go").c_str(), 0600);
        writeFile(medium.file("Velkard Setup/setup.sh"),
                  "#!/bin/sh\n"
                  "printf '%s\\n' \"$@\" > '" +
                      out.file("args") +
                      "'\n"
                      "pwd > '" +
                      out.file("cwd") +
                      "'\n"
                      "read line < '" +
                      out.file("go") +
                      "'\n"
                      "echo done > '" +
                      out.file("done") + "'\n",
                  true);
        writeFile(bin.file("xdg-open"),
                  "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + out.file("opened") + "'\n", true);
    }

    // Starts the launcher with `args` and returns its process id; `prefix` runs first and execs
    // the launcher.
    pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> argvText = prefix;
        argvText.push_back(STARTEL_BINARY);
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<std::string> envText{"STARTEL_MEDIUM_ROOT=" + medium.path(),
                                         "STARTEL_PRODUCTS_DIR=" + products.path(),
                                         "TMPDIR=" + temp.path(), "PATH=" + bin.path()};
        std::vector<char*> argv, envp;
        for (auto& a : argvText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.file("stdout").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, out.file("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        return pid;
    }

    int exitStatus(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int run(const std::vector<std::string>& args) { return exitStatus(spawn(args)); }

    void expectSilent() {
        EXPECT_EQ(readFile(out.file("stdout")), "");
        EXPECT_EQ(readFile(out.file("stderr")), "");
    }

    TempDir medium, products, bin, temp, out;
};

TEST_F(Startel, StartsTheInstallerFromTheMediumAndWaitsForIt) {
    const pid_t pid = spawn({"[Launch][1]", "\"Velkard Setup/setup.sh\" /quiet \"two words\""});

    // The installer has started once it opens its end of the pipe.
    int fd = -1;
    for (int i = 0; i < 3000 && fd < 0; ++i) {
        fd = ::open(out.file("go").c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) {
            ASSERT_EQ(errno, ENXIO);
            ASSERT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the launcher ended early";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_GE(fd, 0) << "the installer never started";

    // While the installer waits for its line, so does the launcher.
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);
    ASSERT_EQ(::write(fd, "go\n", 3), 3);
    ::close(fd);

    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_EQ(readFile(out.file("done")), "done\n");
    EXPECT_EQ(readFile(out.file("args")), "/quiet\ntwo words\n");
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(medium.file("Velkard Setup").c_str(), resolved), nullptr);
    EXPECT_EQ(readFile(out.file("cwd")), std::string(resolved) + "\n");
    expectSilent();
}

TEST_F(Startel, InstalledProductStartsNothingInMode1) {
    writeFile(products.file(std::string(kProduct) + ".ini"), "[Product]\nState=5\n");
    EXPECT_EQ(run({"[Launch][1]", "\"Velkard Setup/setup.sh\""}), 0);
    EXPECT_EQ(::access(out.file("args").c_str(), F_OK), -1);
    expectSilent();
}

TEST_F(Startel, Mode2StartsTheInstalledProgram) {
    writeFile(out.file("velkard"),
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out.file("installed-args") + "'\n", true);
    writeFile(products.file(std::string(kProduct) + ".ini"),
              "[Components]\n" + std::string(kComponent) + "=" + out.file("velkard") + "\n");
    EXPECT_EQ(run({"[Launch][2]", "\"Velkard Setup/setup.sh\"", "--review"}), 0);
    EXPECT_EQ(readFile(out.file("installed-args")), "--review\n");
    EXPECT_EQ(::access(out.file("args").c_str(), F_OK), -1);
    expectSilent();
}

TEST_F(Startel, WebAddressIsOpenedThroughAShortcut) {
    EXPECT_EQ(run({"[Web][0]", "HTTP://VELKARD.EXAMPLE/"}), 0);
    EXPECT_EQ(readFile(out.file("opened")), "HTTP://VELKARD.EXAMPLE/\n");
    const auto files = test::filesIn(temp.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("URL", 0), 0u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), ".url");
    EXPECT_EQ(readFile(temp.file(files[0])),
              "[InternetShortcut]\r\nURL=HTTP://VELKARD.EXAMPLE/\r\n");
    expectSilent();
}

TEST_F(Startel, OpenerIsWaitedForEvenWhenStartedIgnoringChildSignals) {
    // A parent that ignores SIGCHLD passes that on; the opener's success must still be seen, or
    // the shortcut would be opened a second time.
    const pid_t pid =
        spawn({"http://velkard.example/"}, {"/bin/bash", "-c", "trap '' CHLD; exec \"$0\" \"$@\""});
    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_EQ(readFile(out.file("opened")), "http://velkard.example/\n");
    expectSilent();
}

TEST_F(Startel, FailuresEndQuietlyWithZero) {
    EXPECT_EQ(run({"[Launch][1]", "missing.sh", "/quiet"}), 0);
    expectSilent();

    ::unlink(medium.file("Startel.inf").c_str());
    writeFile(medium.file("notes.txt"), "not a program");
    ::unlink(bin.file("xdg-open").c_str());
    EXPECT_EQ(run({"notes.txt"}), 0);
    expectSilent();

    EXPECT_EQ(run({}), 0);
    expectSilent();
}

} // namespace
} // namespace startel
