// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/TtyLink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velkard::device {

namespace {

OpenProblem problemFromErrno(int error, const std::string& path) {
    OpenProblem p;
    p.detail = path + ": " + std::strerror(error);
    switch (error) {
    case EACCES:
    case EPERM:
        p.kind = OpenFailure::PermissionDenied;
        break;
    case EBUSY:
        p.kind = OpenFailure::Busy;
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        p.kind = OpenFailure::NoDevice;
        break;
    default:
        p.kind = OpenFailure::Other;
        break;
    }
    return p;
}

} // namespace

TtyLink::TtyLink(std::string path, std::string label)
    : path_(std::move(path)), label_(std::move(label)) {
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TtyLink::~TtyLink() {
    close();
    if (cancelFd_ >= 0)
        ::close(cancelFd_);
}

Status TtyLink::open(int deviceIndex) {
    if (deviceIndex != 0)
        return ErrorCode::DeviceNotFound;
    if (fd_ >= 0)
        return Status::success();
    problem_ = {};
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem_ = problemFromErrno(errno, path_);
        return ErrorCode::DeviceNotFound;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        problem_ = {OpenFailure::NoDevice, path_ + ": not a serial port"};
        ::close(fd);
        return ErrorCode::DeviceNotFound;
    }
    // Exclusive use: a second program (or a second copy of this one) gets EBUSY from open().
    if (::ioctl(fd, TIOCEXCL) != 0) {
        problem_ = problemFromErrno(errno, path_);
        ::close(fd);
        return ErrorCode::DeviceNotFound;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        problem_ = problemFromErrno(errno, path_);
        ::close(fd);
        return ErrorCode::DeviceNotFound;
    }
    hungUp_ = false;
    fd_ = fd;
    return Status::success();
}

Status TtyLink::close() {
    const int fd = fd_.exchange(-1);
    if (fd < 0)
        return Status::success();
    ::ioctl(fd, TIOCNXCL);
    // After the device went away close() may report EIO; the descriptor is released all the same,
    // and the loss has been reported already.
    const bool closed = ::close(fd) == 0 || errno == EINTR;
    return closed || hungUp_ ? ErrorCode::None : ErrorCode::IoError;
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
        return ErrorCode::DeviceNotOpened;
    while (got < n) {
        bool hungUp = false, cancelled = false;
        if (!waitReadable(-1, hungUp, cancelled)) {
            if (hungUp)
                hungUp_ = true;
            return cancelled ? ErrorCode::Cancelled : ErrorCode::IoError;
        }
        const ssize_t r = ::read(fd_, buf + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            hungUp_ = true;
            return ErrorCode::IoError; // the device went away (EIO, hang-up)
        }
    }
    return Status::success();
}

Status TtyLink::readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    if (n == 0)
        return Status::success();
    const ssize_t r = ::read(fd_, buf, n);
    if (r > 0) {
        got = static_cast<std::size_t>(r);
        return Status::success();
    }
    if (r < 0 && (errno == EAGAIN || errno == EINTR))
        return Status::success();
    hungUp_ = true;
    return ErrorCode::IoError;
}

Status TtyLink::write(const std::uint8_t* buf, std::size_t n, std::size_t& written) {
    written = 0;
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
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
        return ErrorCode::IoError;
    }
    return Status::success();
}

Status TtyLink::drainOutput() {
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    for (;;) {
        if (::tcdrain(fd_) == 0)
            return Status::success();
        if (errno != EINTR)
            return ErrorCode::IoError;
    }
}

Status TtyLink::setBaudRate(std::uint32_t baud) {
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    // The bytes already written go out at the old speed (setTtySpeed uses TCSETSW2 as well).
    if (!drainOutput())
        return ErrorCode::IoError;
    if (setTtySpeed(fd_, baud) == 0)
        return Status::success();
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
        return ErrorCode::IoError;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0 || ::cfsetspeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_, TCSADRAIN, &tio) != 0)
        return ErrorCode::IoError;
    return Status::success();
}

Status TtyLink::setDataCharacteristics(int wordLength, int stopBits, int parity) {
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return ErrorCode::IoError;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
    tio.c_cflag |= wordLength == 7 ? CS7 : CS8;
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    if (parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (parity == 2)
        tio.c_cflag |= PARENB;
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0 ? ErrorCode::None : ErrorCode::IoError;
}

Status TtyLink::purge(std::uint8_t mask) {
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    const bool rx = mask & kPurgeRx, tx = mask & kPurgeTx;
    if (!rx && !tx)
        return Status::success();
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd_, which) == 0 ? ErrorCode::None : ErrorCode::IoError;
}

Status TtyLink::resetDevice() {
    return fd_ < 0 ? ErrorCode::DeviceNotOpened : ErrorCode::None;
}

Status TtyLink::stopInTask() {
    return Status::success();
}

Status TtyLink::queueStatus(std::size_t& rxBytes) {
    rxBytes = 0;
    if (fd_ < 0)
        return ErrorCode::DeviceNotOpened;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0)
        return ErrorCode::IoError;
    rxBytes = static_cast<std::size_t>(waiting);
    return Status::success();
}

bool TtyLink::waitForData(std::chrono::milliseconds timeout) {
    if (fd_ < 0)
        return false;
    bool hungUp = false, cancelled = false;
    if (waitReadable(static_cast<int>(timeout.count()), hungUp, cancelled))
        return true;
    if (hungUp) {
        hungUp_ = true;
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
