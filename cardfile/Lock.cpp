// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velkard::cardfile {

namespace {

// Open-file-description locks belong to the open file, not the process, so closing another
// descriptor of the same file never drops them, and two opens in one process exclude each other.
// Kernels without them get classic process-owned record locks.
int trySetLock(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
        return 0;
    if (errno != EINVAL)
        return -1;
#endif
    return ::fcntl(fd, F_SETLK, &fl);
}

} // namespace

CardFileLock::CardFileLock(CardFileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

CardFileLock& CardFileLock::operator=(CardFileLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

CardFileLock::Outcome CardFileLock::acquire(const std::filesystem::path& dataDir, Mode mode,
                                            std::chrono::milliseconds wait) {
    release();
    ::mkdir(dataDir.c_str(), 0777);
    const std::filesystem::path path = dataDir / kLockName;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    // Another user's lock file on a shared folder may be read-only to us: reading needs no more.
    if (fd < 0 && errno == EACCES && mode == Mode::Shared)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        message_ = "cannot open the card-file lock " + path.string() + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    const short type = mode == Mode::Exclusive ? F_WRLCK : F_RDLCK;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(2);
    for (;;) {
        if (trySetLock(fd, type) == 0) {
            fd_ = fd;
            message_.clear();
            return Outcome::Locked;
        }
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            message_ = "cannot lock the card file " + path.string() + ": " + std::strerror(errno);
            ::close(fd);
            return Outcome::Failed;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(25));
    }
    ::close(fd);
    message_ = "the card file " + dataDir.string() +
               " is busy: another program or workstation is changing it";
    return Outcome::Busy;
}

void CardFileLock::release() {
    if (fd_ >= 0)
        ::close(fd_); // closing the descriptor drops the lock
    fd_ = -1;
}

} // namespace velkard::cardfile
