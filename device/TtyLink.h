// SPDX-License-Identifier: GPL-3.0-or-later
// A serial tty given by path (/dev/ttyUSB0 through the kernel's ftdi_sio driver, or the pseudo-
// terminal of velkard-instrument), in raw mode and exclusively (TIOCEXCL: a second program cannot
// open it meanwhile). Blocking reads wait in poll() together with an eventfd, so cancel() from
// another thread wakes them at once. The line speed changes only after the output has drained.
#pragma once

#include "device/Link.h"

#include <atomic>

namespace velkard::device {

class TtyLink : public Link {
public:
    // label names how the path was found (e.g. "ftdi_sio" for plug and play); shown by describe().
    explicit TtyLink(std::string path, std::string label = {});
    ~TtyLink() override;

    Status open(int deviceIndex) override;
    Status close() override;
    Status read(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status write(const std::uint8_t* buf, std::size_t n, std::size_t& written) override;
    Status drainOutput() override;
    Status setBaudRate(std::uint32_t baud) override;
    Status setDataCharacteristics(int wordLength, int stopBits, int parity) override;
    Status purge(std::uint8_t mask) override;
    Status resetDevice() override;
    Status stopInTask() override;
    Status queueStatus(std::size_t& rxBytes) override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void cancel() override;
    void resetCancel() override;
    std::string describe() const override {
        return label_.empty() ? path_ : path_ + " (" + label_ + ")";
    }
    OpenProblem openProblem() const override { return problem_; }

private:
    // Waits until fd is readable (true), or cancel / hang-up / timeout (false; hungUp says which).
    bool waitReadable(int timeoutMs, bool& hungUp, bool& cancelled);

    std::string path_;
    std::string label_;
    OpenProblem problem_;
    std::atomic<int> fd_{-1};
    std::atomic<bool> hungUp_{false};
    int cancelFd_ = -1;
};

// Sets any line speed, including 3000000, through termios2 (BOTHER), after the output has drained
// (TCSETSW2). 0 or an errno value.
int setTtySpeed(int fd, std::uint32_t baud);

} // namespace velkard::device
