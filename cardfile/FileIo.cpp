// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::cardfile::io {

namespace {

IoStatus errnoStatus() {
    return {false, std::strerror(errno)};
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing reports errors of delayed writes (NFS, quota), so it is checked where data matters.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes, off_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                             offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

} // namespace

std::uint64_t fileLength(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

IoStatus ensureFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return errnoStatus();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return errnoStatus();
    if (!S_ISREG(st.st_mode))
        return {false, "not a regular file"};
    return {};
}

IoStatus writeAt(const std::filesystem::path& path, std::uint64_t offset,
                 std::span<const std::uint8_t> bytes, bool restoreLengthOnFailure) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return errnoStatus();
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return errnoStatus();
    const off_t before = st.st_size;
    if (writeAll(fd.get(), bytes, static_cast<off_t>(offset)) && ::fsync(fd.get()) == 0 &&
        fd.close())
        return {};
    IoStatus failed = errnoStatus();
    if (restoreLengthOnFailure) {
        Fd again(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        if (again.valid() && ::ftruncate(again.get(), before) == 0)
            ::fsync(again.get());
    }
    return failed;
}

IoStatus truncateTo(const std::filesystem::path& path, std::uint64_t length) {
    if (::truncate(path.c_str(), static_cast<off_t>(length)) != 0)
        return errnoStatus();
    return {};
}

IoStatus writeWhole(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.valid())
        return errnoStatus();
    if (!writeAll(fd.get(), bytes, 0) || ::fsync(fd.get()) != 0 || !fd.close())
        return errnoStatus();
    return {};
}

IoStatus replaceFile(const std::filesystem::path& target, const std::filesystem::path& temp,
                     std::span<const std::uint8_t> bytes) {
    if (auto s = writeWhole(temp, bytes); !s) {
        ::unlink(temp.c_str());
        return s;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        IoStatus failed = errnoStatus();
        ::unlink(temp.c_str());
        return failed;
    }
    syncFolder(target.parent_path());
    return {};
}

} // namespace velkard::cardfile::io
