// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/Writers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::exporting::detail {

Status cannotWrite(const std::filesystem::path& target, const std::string& why) {
    return Status::failure(ErrorCode::CannotWrite, "Cannot write " + target.string() + ": " + why);
}

TemporaryTarget::TemporaryTarget(std::filesystem::path target) : target_(std::move(target)) {}

TemporaryTarget::~TemporaryTarget() {
    if (!committed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

Status TemporaryTarget::create() {
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty())
        folder = ".";
    std::string hidden(1, '.');
    hidden.append(target_.filename().string()).append(".XXXXXX");
    std::string pattern = (folder / hidden).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return cannotWrite(target_, std::strerror(errno));
    // The finished file gets the usual permissions rather than mkstemp's owner-only ones.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    temporary_ = pattern;
    return Status::success();
}

Status TemporaryTarget::write(const std::uint8_t* data, std::size_t size) {
    int fd = ::open(temporary_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return cannotWrite(target_, std::strerror(errno));
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            return cannotWrite(target_, std::strerror(err));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        return cannotWrite(target_, std::strerror(errno));
    return Status::success();
}

Status TemporaryTarget::commit(std::optional<std::uint64_t> expectedSize) {
    int fd = ::open(temporary_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return cannotWrite(target_, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return cannotWrite(target_, std::strerror(err));
    }
    if (expectedSize && static_cast<std::uint64_t>(st.st_size) != *expectedSize) {
        ::close(fd);
        return cannotWrite(target_, "the file was cut short (is the disk full?)");
    }
    if (::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        return cannotWrite(target_, std::strerror(err));
    }
    if (::close(fd) != 0)
        return cannotWrite(target_, std::strerror(errno));
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        return cannotWrite(target_, std::strerror(errno));
    committed_ = true;
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty())
        folder = ".";
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::success();
}

} // namespace velkard::exporting::detail
