// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/tests/RunCli.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velkard::cli::test {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// velkard-cli followed by `args`, and the NUL-ended pointer array exec wants of them.
std::vector<std::string> programArguments(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VELKARD_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<char*> pointers(std::vector<std::string>& argv) {
    std::vector<char*> out;
    for (auto& a : argv)
        out.push_back(a.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

CliResult runCli(const std::vector<std::string>& args, const std::filesystem::path& workingDir) {
    TempDir io;
    const auto outPath = io / "stdout";
    const auto errPath = io / "stderr";

    std::vector<std::string> argv = programArguments(args);
    std::vector<char*> cargv = pointers(argv);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, workingDir.c_str());
    pid_t pid = 0;
    CliResult r;
    if (posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), environ) == 0) {
        int st = 0;
        waitpid(pid, &st, 0);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

CliResult runCliOnFullDisk(const std::vector<std::string>& args,
                           const std::filesystem::path& workingDir, unsigned long bytes) {
    TempDir io;
    const auto outPath = io / "stdout";
    const auto errPath = io / "stderr";
    std::vector<std::string> argv = programArguments(args);
    std::vector<char*> cargv = pointers(argv);

    CliResult r;
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0 || chdir(workingDir.c_str()) != 0)
            _exit(126);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(126);
        execve(cargv[0], cargv.data(), environ);
        _exit(127);
    }
    if (pid > 0) {
        int st = 0;
        waitpid(pid, &st, 0);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velkard-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace velkard::cli::test
