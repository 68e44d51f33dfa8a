// SPDX-License-Identifier: GPL-3.0-or-later
// A serial tty given by path (/dev/ttyUSB0 through the kernel's ftdi_sio driver, or the pseudo-
// terminal of velkard-instrument), in raw mode. Blocking reads wait in poll() together with an
// eventfd, so cancel() from another thread wakes them at once.
#pragma once

#include "device/Link.h"

#include <atomic>

namespace velkard::device {

class TtyLink : public Link {
public:
    explicit TtyLink(std::string path);
    ~TtyLink() override;

    Status open(int deviceIndex) override;
    Status close() override;
    Status read(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status write(const std::uint8_t* buf, std::size_t n, std::size_t& written) override;
    Status setBaudRate(std::uint32_t baud) override;
    Status setDataCharacteristics(int wordLength, int stopBits, int parity) override;
    Status purge(std::uint8_t mask) override;
    Status resetDevice() override;
    Status stopInTask() override;
    Status queueStatus(std::size_t& rxBytes) override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void cancel() override;
    void resetCancel() override;
    std::string describe() const override { return path_; }

private:
    // Waits until fd is readable (true), or cancel / hang-up / timeout (false; hungUp says which).
    bool waitReadable(int timeoutMs, bool& hungUp, bool& cancelled);

    std::string path_;
    std::atomic<int> fd_{-1};
    int cancelFd_ = -1;
};

// Sets any line speed, including 3000000, through termios2 (BOTHER). 0 or an errno value.
int setTtySpeed(int fd, std::uint32_t baud);

} // namespace velkard::device
