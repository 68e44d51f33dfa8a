// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Launcher.h"

#include "launcher/CommandLine.h"
#include "launcher/Medium.h"
#include "launcher/Profile.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace startel {

bool isRelativeToMedium(std::string_view target) {
    const bool driveLetter =
        (target.size() > 1 && target[1] == ':') || (target.size() > 2 && target[2] == ':');
    const std::string_view path =
        (!target.empty() && target.front() == '"') ? target.substr(1) : target;
    return !driveLetter && (path.empty() || path.front() != '/');
}

RunRequest resolveTarget(std::string_view target, std::string_view mediumRoot) {
    const bool relative = isRelativeToMedium(target);
    const bool quoted = !target.empty() && target.front() == '"';
    std::string_view rest = quoted ? target.substr(1) : target;

    // A quoted program ends at its closing quote, an unquoted one at the first blank. The root
    // is put in front afterwards, so blanks in the medium's mount point never split the program.
    const std::size_t end = rest.find(quoted ? '"' : ' ');
    RunRequest request;
    request.program = relative ? std::string(mediumRoot) : std::string();
    request.program += rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);

    if (!rest.empty() && rest.front() == '"')
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    request.parameters = std::string(rest);

    const bool windowsPath = request.program.size() > 1 && request.program[1] == ':';
    const std::size_t slash = request.program.find_last_of(windowsPath ? "\\/" : "/");
    if (slash != std::string::npos)
        request.workingFolder = slash == 0 ? "/" : request.program.substr(0, slash);
    return request;
}

std::optional<std::string> createInternetShortcut(const std::string& tempFolder,
                                                  std::string_view address) {
    // A line break would smuggle further lines into the shortcut.
    address = address.substr(0, address.find_first_of("\r\n"));

    // Created exclusively under its final name, so nothing planted in a shared temporary folder
    // (a symbolic link, say) is followed or overwritten.
    std::string path = tempFolder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += "URLXXXXXX.url";
    const int fd = ::mkstemps(path.data(), 4);
    if (fd < 0)
        return std::nullopt;

    std::string text = "[InternetShortcut]\r\nURL=";
    text += address;
    text += "\r\n";
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(path.c_str());
        return std::nullopt;
    }
    return path;
}

void openWebAddress(std::string_view address, const LaunchContext& context) {
    const auto shortcut = createInternetShortcut(context.tempFolder, address);
    if (!shortcut)
        return;
    if (context.shell->shellExecute(Verb::Open, *shortcut) <= 32)
        context.shell->shellExecute(Verb::Default, *shortcut);
}

void startProgram(const RunRequest& request, Shell& shell) {
    ShellExecuteRequest execute;
    execute.verb = Verb::Open;
    execute.file = request.program;
    execute.parameters = request.parameters;
    execute.directory = request.workingFolder;
    execute.showErrors = false;
    ShellExecuteResult result = shell.shellExecuteEx(execute);
    if (!result.ok &&
        (result.error == kShellNoAssociation || result.error == kShellAssociationIncomplete)) {
        execute.verb = Verb::Default;
        execute.showErrors = true;
        result = shell.shellExecuteEx(execute);
    }
    if (result.ok && result.process)
        shell.waitForProcess(*result.process); // its exit code is of no interest
}

int runStartel(std::string_view argumentText, const LaunchContext& context) {
    const CommandLine command = parseCommandLine(argumentText);
    if (isWebAddress(command.target)) {
        openWebAddress(command.target, context);
        return 0;
    }

    const std::string inf = infPath(context.mediumRoot);
    const std::string productCode = readProfileString(inf, "Installed", "ProductCode");
    const std::string componentId = readProfileString(inf, "Installed", command.key);
    const bool installed = productCode.size() > 1 &&
                           context.registry->queryProductState(productCode) == kStateInstalled;

    RunRequest request = resolveTarget(command.target, context.mediumRoot);
    bool start = true;
    if (command.mode == 2 || command.mode == 4) {
        if (installed) {
            std::string path;
            const int state = context.registry->getComponentPath(productCode, componentId, path);
            if (state == kStateLocal || state == kStateSource) {
                request.program = path;
                request.workingFolder.clear();
            }
        } else {
            request.parameters.clear();
            start = command.mode != 4;
        }
    } else if (command.mode == 1 && installed) {
        start = false;
    }
    if (start)
        startProgram(request, *context.shell);
    return 0;
}

} // namespace startel
