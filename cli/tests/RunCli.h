// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built velkard-cli with arguments and captures its exit status, stdout and stderr.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velkard::cli::test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

CliResult runCli(const std::vector<std::string>& args,
                 const std::filesystem::path& workingDir = std::filesystem::current_path());

// The same with a file-size limit of `bytes` on the program, standing for a full disk: a write
// past it fails with EFBIG (SIGXFSZ is ignored), as one past the disk's end fails with ENOSPC.
CliResult runCliOnFullDisk(const std::vector<std::string>& args,
                           const std::filesystem::path& workingDir, unsigned long bytes);

// A fresh empty folder under the system temporary folder, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace velkard::cli::test
