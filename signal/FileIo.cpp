// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::signal {

namespace {

std::string describe(const std::filesystem::path& path, const char* what, int err) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

// Retries interrupted and short reads.
bool readAll(int fd, std::uint8_t* data, std::size_t size, int& err) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        if (n == 0)
            break; // the file shrank under us; keep what was there
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& err) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

BytesResult readWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return BytesResult::failure(describe(path, "Cannot open", errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return BytesResult::failure(describe(path, "Cannot read", err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return BytesResult::failure("Cannot read " + path.string() + ": not a regular file");
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return BytesResult::failure("Cannot read " + path.string() + ": file too large");
    }
    BytesResult result;
    result.bytes.resize(static_cast<std::size_t>(st.st_size));
    int err = 0;
    std::size_t got = result.bytes.size();
    bool ok = readAll(fd, result.bytes.data(), got, err);
    ::close(fd);
    if (!ok)
        return BytesResult::failure(describe(path, "Cannot read", err));
    return result;
}

Status writeFileAtomically(const std::filesystem::path& path, const std::uint8_t* data,
                           std::size_t size) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    std::string hidden(1, '.');
    hidden.append(path.filename().string()).append(".XXXXXX");
    std::string pattern = (folder / hidden).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return Status::failure(describe(path, "Cannot create", errno));
    int err = 0;
    bool ok = writeAll(fd, data, size, err);
    if (ok && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    // New files get the usual permissions rather than mkstemp's owner-only ones.
    if (ok) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    if (ok && ::rename(pattern.c_str(), path.c_str()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(pattern.c_str());
        return Status::failure(describe(path, "Cannot write", err));
    }
    // Make the rename itself durable.
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::success();
}

} // namespace velkard::signal
