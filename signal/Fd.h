// SPDX-License-Identifier: GPL-3.0-or-later
// An owned POSIX file descriptor, closed when it goes out of scope.
#pragma once

#include <unistd.h>

namespace velkard::signal {

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
    // Closes now. Closing reports errors of delayed writes (NFS, quota), so it is checked where
    // data matters.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace velkard::signal
