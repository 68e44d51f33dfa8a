// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Shell.h"

#include "launcher/CommandLine.h"
#include "launcher/Files.h"
#include "launcher/Profile.h"

#include <cerrno>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace startel {

namespace {

int shellCodeFor(int error) {
    switch (error) {
    case ENOENT:
        return kShellFileNotFound;
    case ENOTDIR:
        return kShellPathNotFound;
    case ENOEXEC:
    case ELIBBAD:
        return kShellBadFormat;
    case ENOMEM:
    case EAGAIN:
        return kShellOutOfMemory;
    default:
        return kShellAccessDenied;
    }
}

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A shell script that lost its execute bit (copied from a medium that keeps no modes): a regular
// file whose first line starts with "#!" or whose name ends with ".sh". It runs through /bin/sh.
bool isShellScript(const std::string& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode))
        return false;
    if (endsWithIgnoringCase(path, ".sh"))
        return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[2] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    return n == 2 && head[0] == '#' && head[1] == '!';
}

constexpr const char* kScriptShell = "/bin/sh";

// Internet shortcuts hold addresses of any length.
constexpr std::size_t kAddressLimit = 65535;

} // namespace

PosixShell::PosixShell(std::string opener) : opener_(std::move(opener)) {}

bool PosixShell::runOpener(const std::string& what, bool showErrors) {
    std::vector<std::string> args{opener_, what};
    std::vector<char*> argv = argvOf(args);
    FileActions actions;
    if (!showErrors) {
        ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    if (::posix_spawnp(&pid, opener_.c_str(), actions.get(), nullptr, argv.data(), environ) != 0)
        return false;
    return waitFor(pid) == 0;
}

ShellExecuteResult PosixShell::shellExecuteEx(const ShellExecuteRequest& request) {
    ShellExecuteResult result;
    struct stat st {};
    if (request.file.empty() || ::stat(request.file.c_str(), &st) != 0) {
        result.error = request.file.empty() ? kShellFileNotFound : shellCodeFor(errno);
        return result;
    }
    const bool script = !isExecutableFile(request.file) && isShellScript(request.file, st);
    if (!script && !isExecutableFile(request.file)) {
        // A document or folder: its application comes from the desktop's associations.
        if (runOpener(request.file, request.showErrors))
            result.ok = true;
        else
            result.error = kShellNoAssociation;
        return result;
    }

    // The working folder is entered before the program is looked up, so a relative program
    // path is fixed against the launcher's own folder first.
    std::string program = request.file;
    if (program.front() != '/' && !request.directory.empty()) {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) != nullptr)
            program = joinPath(cwd, program);
    }
    std::vector<std::string> args{request.file};
    if (script) {
        args = {kScriptShell, program};
        program = kScriptShell;
    }
    for (auto& parameter : splitParameters(request.parameters))
        args.push_back(std::move(parameter));
    std::vector<char*> argv = argvOf(args);
    FileActions actions;
    if (!request.directory.empty())
        ::posix_spawn_file_actions_addchdir_np(actions.get(), request.directory.c_str());
    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
    if (rc != 0) {
        result.error = shellCodeFor(rc);
        return result;
    }
    result.ok = true;
    result.process = pid;
    return result;
}

int PosixShell::shellExecute(Verb verb, const std::string& file) {
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0)
        return kShellFileNotFound;
    if (verb == Verb::Open && endsWithIgnoringCase(file, ".url")) {
        const std::string address =
            readProfileString(file, "InternetShortcut", "URL", kAddressLimit);
        if (address.empty())
            return kShellAssociationIncomplete;
        return runOpener(address, false) ? kShellSuccess : kShellNoAssociation;
    }
    ShellExecuteRequest request;
    request.verb = verb;
    request.file = file;
    request.showErrors = verb == Verb::Default;
    const ShellExecuteResult result = shellExecuteEx(request);
    if (!result.ok)
        return result.error;
    // A plain execute gives no handle; the program runs on after the launcher ends.
    return kShellSuccess;
}

int PosixShell::waitForProcess(ProcessHandle process) {
    return waitFor(process);
}

} // namespace startel
