// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace startel {

// Result codes of the shell's execute calls; a plain execute succeeds with a value above 32.
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellPathNotFound = 3;
inline constexpr int kShellAccessDenied = 5;
inline constexpr int kShellOutOfMemory = 8;
inline constexpr int kShellBadFormat = 11;
inline constexpr int kShellAssociationIncomplete = 27;
inline constexpr int kShellNoAssociation = 31;
inline constexpr int kShellSuccess = 42;

enum class Verb {
    Open,    // "open"
    Default, // the file type's default action
};

using ProcessHandle = pid_t;

struct ShellExecuteRequest {
    Verb verb = Verb::Open;
    std::string file;
    std::string parameters;  // empty: none
    std::string directory;   // empty: the launcher's own working folder
    bool showErrors = false; // false: the opener's complaints are suppressed
    bool operator==(const ShellExecuteRequest&) const = default;
};

struct ShellExecuteResult {
    bool ok = false;
    int error = 0;                        // when !ok: one of the kShell codes
    std::optional<ProcessHandle> process; // when a process was started that can be waited for
};

// Starting programs and opening files and web addresses.
class Shell {
public:
    virtual ~Shell() = default;
    virtual ShellExecuteResult shellExecuteEx(const ShellExecuteRequest& request) = 0;
    // Opens a file; above 32 on success, a kShell code otherwise.
    virtual int shellExecute(Verb verb, const std::string& file) = 0;
    // Waits without a time limit and returns the exit code (-1 when it cannot be had).
    virtual int waitForProcess(ProcessHandle process) = 0;
};

// The desktop's shell: executables are started with posix_spawn in their working folder; a shell
// script without the execute bit ("#!" first line, or ".sh") runs through /bin/sh; any
// other file goes to the opener (xdg-open by default), whose failure counts as "no application
// associated". Opening an Internet shortcut (".url") with the "open" verb opens the address it
// holds; the default verb hands the shortcut file itself to the opener.
class PosixShell final : public Shell {
public:
    explicit PosixShell(std::string opener = "xdg-open");
    ShellExecuteResult shellExecuteEx(const ShellExecuteRequest& request) override;
    int shellExecute(Verb verb, const std::string& file) override;
    int waitForProcess(ProcessHandle process) override;

private:
    bool runOpener(const std::string& what, bool showErrors);
    std::string opener_;
};

} // namespace startel
