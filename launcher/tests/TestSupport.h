// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launcher/Registry.h"
#include "launcher/Shell.h"

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace startel::test {

// A fresh folder below TMPDIR (or /tmp), removed with its contents at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The folder as a medium root: with a trailing '/'.
    std::string root() const { return path_ + "/"; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& text, bool executable = false);
std::string readFile(const std::string& path);
std::vector<std::string> filesIn(const std::string& folder);

inline constexpr const char* kProduct = "{6A0C1F2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B}";
inline constexpr const char* kComponent = "{11111111-2222-3333-4444-555555555555}";

class FakeRegistry final : public ProductRegistry {
public:
    int queryProductState(const std::string& productCode) override {
        queried.push_back(productCode);
        const auto it = states.find(productCode);
        return it == states.end() ? kStateUnknown : it->second;
    }
    int getComponentPath(const std::string& productCode, const std::string& componentId,
                         std::string& path) override {
        componentQueries.emplace_back(productCode, componentId);
        const auto it = components.find(componentId);
        if (it == components.end())
            return kStateUnknown;
        path = it->second.second;
        return it->second.first;
    }

    std::map<std::string, int> states;
    std::map<std::string, std::pair<int, std::string>> components; // id -> (state, path)
    std::vector<std::string> queried;
    std::vector<std::pair<std::string, std::string>> componentQueries;
};

class FakeShell final : public Shell {
public:
    ShellExecuteResult shellExecuteEx(const ShellExecuteRequest& request) override {
        executed.push_back(request);
        if (exResults.empty()) {
            ShellExecuteResult ok;
            ok.ok = true;
            ok.process = 4321;
            return ok;
        }
        const ShellExecuteResult result = exResults.front();
        exResults.pop_front();
        return result;
    }
    int shellExecute(Verb verb, const std::string& file) override {
        opened.emplace_back(verb, file);
        openedText.push_back(readFile(file));
        if (openResults.empty())
            return kShellSuccess;
        const int result = openResults.front();
        openResults.pop_front();
        return result;
    }
    int waitForProcess(ProcessHandle process) override {
        waited.push_back(process);
        return 0;
    }

    std::deque<ShellExecuteResult> exResults;
    std::deque<int> openResults;
    std::vector<ShellExecuteRequest> executed;
    std::vector<std::pair<Verb, std::string>> opened;
    std::vector<std::string> openedText; // each shortcut's contents when it was opened
    std::vector<ProcessHandle> waited;
};

inline ShellExecuteResult failure(int error) {
    ShellExecuteResult result;
    result.error = error;
    return result;
}

} // namespace startel::test
