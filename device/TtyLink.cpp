// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/TtyLink.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velkard::device {

TtyLink::TtyLink(std::string path) : path_(std::move(path)) {
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TtyLink::~TtyLink() {
    close();
    if (cancelFd_ >= 0)
        ::close(cancelFd_);
}

Status TtyLink::open(int deviceIndex) {
    if (deviceIndex != 0)
        return Status::DeviceNotFound;
    if (fd_ >= 0)
        return Status::Ok;
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Status::DeviceNotFound;
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        ::close(fd); // not a terminal
        return Status::DeviceNotFound;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::close(fd);
        return Status::DeviceNotFound;
    }
    fd_ = fd;
    return Status::Ok;
}

Status TtyLink::close() {
    const int fd = fd_.exchange(-1);
    if (fd < 0)
        return Status::Ok;
    return ::close(fd) == 0 ? Status::Ok : Status::IoError;
}

bool TtyLink::waitReadable(int timeoutMs, bool& hungUp, bool& cancelled) {
    hungUp = cancelled = false;
    const int fd = fd_;
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
    for (;;) {
        const int r = ::poll(fds, 2, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        if (fds[1].revents & POLLIN) {
            cancelled = true;
            return false;
        }
        if (fds[0].revents & POLLIN)
            return true;
        hungUp = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        return false;
    }
}

Status TtyLink::read(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    while (got < n) {
        bool hungUp = false, cancelled = false;
        if (!waitReadable(-1, hungUp, cancelled))
            return cancelled ? Status::Cancelled : Status::IoError;
        const ssize_t r = ::read(fd_, buf + got, n - got);
        if (r > 0)
            got += static_cast<std::size_t>(r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            return Status::IoError; // the device went away (EIO, hang-up)
    }
    return Status::Ok;
}

Status TtyLink::readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    if (n == 0)
        return Status::Ok;
    const ssize_t r = ::read(fd_, buf, n);
    if (r > 0) {
        got = static_cast<std::size_t>(r);
        return Status::Ok;
    }
    if (r < 0 && (errno == EAGAIN || errno == EINTR))
        return Status::Ok;
    return Status::IoError;
}

Status TtyLink::write(const std::uint8_t* buf, std::size_t n, std::size_t& written) {
    written = 0;
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    while (written < n) {
        const ssize_t r = ::write(fd_, buf + written, n - written);
        if (r > 0) {
            written += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) > 0 && (p.revents & POLLOUT))
                continue;
        }
        return Status::IoError;
    }
    return Status::Ok;
}

Status TtyLink::setBaudRate(std::uint32_t baud) {
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    if (setTtySpeed(fd_, baud) == 0)
        return Status::Ok;
    // Kernels or drivers without termios2: the standard rates through termios.
    speed_t speed = 0;
    switch (baud) {
    case 9600:
        speed = B9600;
        break;
    case 115200:
        speed = B115200;
        break;
    case 230400:
        speed = B230400;
        break;
    case 3000000:
        speed = B3000000;
        break;
    default:
        return Status::IoError;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0 || ::cfsetspeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &tio) != 0)
        return Status::IoError;
    return Status::Ok;
}

Status TtyLink::setDataCharacteristics(int wordLength, int stopBits, int parity) {
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return Status::IoError;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
    tio.c_cflag |= wordLength == 7 ? CS7 : CS8;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (parity == 2)
        tio.c_cflag |= PARENB;
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0 ? Status::Ok : Status::IoError;
}

Status TtyLink::purge(std::uint8_t mask) {
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    const bool rx = mask & kPurgeRx, tx = mask & kPurgeTx;
    if (!rx && !tx)
        return Status::Ok;
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd_, which) == 0 ? Status::Ok : Status::IoError;
}

Status TtyLink::resetDevice() {
    return fd_ < 0 ? Status::DeviceNotOpened : Status::Ok;
}

Status TtyLink::stopInTask() {
    return Status::Ok;
}

Status TtyLink::queueStatus(std::size_t& rxBytes) {
    rxBytes = 0;
    if (fd_ < 0)
        return Status::DeviceNotOpened;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        return Status::IoError;
    rxBytes = static_cast<std::size_t>(waiting);
    return Status::Ok;
}

bool TtyLink::waitForData(std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        return false;
    bool hungUp = false, cancelled = false;
    if (waitReadable(static_cast<int>(timeout.count()), hungUp, cancelled))
        return true;
    if (hungUp) {
        // Nothing will come; sleep out the timeout unless cancelled, so callers do not spin.
        pollfd p{cancelFd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(timeout.count()));
    }
    return false;
}

void TtyLink::cancel() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(cancelFd_, &one, sizeof one);
}

void TtyLink::resetCancel() {
    std::uint64_t value = 0;
    [[maybe_unused]] auto n = ::read(cancelFd_, &value, sizeof value);
}

} // namespace velkard::device
