// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/PtyServer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace velkard::sim {

namespace {
// Memory replies kept for a host that does not read; beyond this the oldest are dropped (nobody
// listens).
constexpr std::size_t kMaxBacklog = 1 << 20;
// While streaming: what the bridge's receive FIFO holds (an FT232R's 256 bytes) beyond what the
// terminal took; newer bytes are lost.
constexpr std::size_t kBridgeFifo = 256;

bool copySent(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}
} // namespace

PtyServer::PtyServer(Instrument& instrument) : instrument_(instrument) {}

PtyServer::~PtyServer() {
    for (int fd : {master_, slave_, stopFd_, plugFd_})
        if (fd >= 0)
            ::close(fd);
}

Status PtyServer::open() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        return Status::failure(ErrorCode::CannotOpen,
                               std::string("cannot create a pseudo-terminal: ") +
                                   std::strerror(errno));
    }
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        return Status::failure(ErrorCode::CannotOpen,
                               std::string("cannot name the pseudo-terminal: ") +
                                   std::strerror(errno));
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        return Status::failure(ErrorCode::CannotOpen, std::string("cannot open ") + slavePath_ +
                                                          ": " + std::strerror(errno));
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    plugFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0 || plugFd_ < 0) {
        return Status::failure(ErrorCode::CannotOpen,
                               std::string("eventfd: ") + std::strerror(errno));
    }
    return Status::success();
}

void PtyServer::stop() {
    const std::uint64_t one = 1;
    if (stopFd_ >= 0) [[maybe_unused]]
        auto n = ::write(stopFd_, &one, sizeof one);
}

void PtyServer::setUnplugged(bool unplugged) {
    unplugRequested_.store(unplugged);
    if (unplugged)
        unplugsRequested_.fetch_add(1);
    const std::uint64_t one = 1;
    if (plugFd_ >= 0) [[maybe_unused]]
        auto n = ::write(plugFd_, &one, sizeof one);
}

PtyServer::End PtyServer::run() {
    using Clock = Instrument::Clock;
    std::uint8_t in[4096];
    for (;;) {
        int timeoutMs = -1;
        if (auto due = instrument_.nextDue()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
            timeoutMs = wait < 0 ? 0 : static_cast<int>(wait);
        }
        pollfd fds[3] = {{master_, static_cast<short>(POLLIN | (out_.empty() ? 0 : POLLOUT)), 0},
                         {stopFd_, POLLIN, 0},
                         {plugFd_, POLLIN, 0}};
        if (::poll(fds, 3, out_.empty() ? timeoutMs : (timeoutMs < 0 ? 50 : timeoutMs)) < 0 &&
            errno != EINTR)
            return End::Failed;
        if (fds[1].revents & POLLIN)
            return End::Stopped;
        if (fds[2].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] auto n = ::read(plugFd_, &value, sizeof value);
        }
        // Whichever way: what the terminal and this server still held never reaches the host.
        // The chip that held it lost its power, or comes back with empty FIFOs.
        const auto plug = [&](bool unplugged) {
            unplugged_ = unplugged;
            if (unplugged_)
                instrument_.powerOff();
            lost_ += out_.size();
            out_.clear();
            ::tcflush(slave_, TCIFLUSH);
            losing_ = false;
            if (log_)
                log_(unplugged_ ? Happening::Unplugged : Happening::PluggedIn, sent_, lost_);
        };
        // The count before the state: an unplug asked between the two is seen next time.
        if (const unsigned unplugs = unplugsRequested_.load(); unplugs != unplugsSeen_) {
            unplugsSeen_ = unplugs;
            if (!unplugged_)
                plug(true); // even when plugged back in since: the instrument went off meanwhile
        }
        if (const bool unplugged = unplugRequested_.load(); unplugged != unplugged_)
            plug(unplugged);
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, in, sizeof in);
            if (n > 0)
                instrument_.hostWrite(in, static_cast<std::size_t>(n), Clock::now());
        }
        const auto now = Clock::now();
        instrument_.pump(now, out_);
        if (instrument_.dropped(now)) {
            // Unplugged: the host's reads end with a hang-up.
            ::close(master_);
            ::close(slave_);
            master_ = slave_ = -1;
            return End::Dropped;
        }
        if (unplugged_) {
            lost_ += out_.size();
            out_.clear();
            continue;
        }
        while (!out_.empty()) {
            const ssize_t n = ::write(master_, out_.data(), out_.size());
            if (n <= 0)
                break;
            if (copyFd_ >= 0 && !copySent(copyFd_, out_.data(), static_cast<std::size_t>(n)))
                copyFd_ = -1; // the copy is a test aid; a full disk must not stop the instrument
            sent_ += static_cast<std::uint64_t>(n);
            losing_ = false;
            out_.erase(out_.begin(), out_.begin() + n);
        }
        if (instrument_.streaming() && out_.size() > kBridgeFifo) {
            // A full FIFO takes no more: the newest bytes are lost.
            if (!losing_ && log_)
                log_(Happening::Losing, sent_, lost_);
            losing_ = true;
            lost_ += out_.size() - kBridgeFifo;
            out_.resize(kBridgeFifo);
        } else if (out_.size() > kMaxBacklog) {
            lost_ += out_.size() - kMaxBacklog;
            out_.erase(out_.begin(),
                       out_.begin() + static_cast<std::ptrdiff_t>(out_.size() - kMaxBacklog));
        }
    }
}

} // namespace velkard::sim
