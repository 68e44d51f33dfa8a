// SPDX-License-Identifier: GPL-3.0-or-later
// The first FTDI device over USB through libftdi1: the equivalent of the vendor driver's
// open-by-index. Reads use short USB timeouts in a loop so cancel() ends them within a few
// milliseconds; received bytes are kept in a queue so the waiting count can be reported.
#pragma once

#include "device/Link.h"

#include <atomic>
#include <deque>
#include <mutex>

struct ftdi_context;

namespace velkard::device {

class FtdiLink : public Link {
public:
    FtdiLink();
    ~FtdiLink() override;

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
    std::string describe() const override { return "FTDI USB device"; }

private:
    // One short USB read into the queue. Caller holds m_. Non-Ok when the device is gone.
    Status fillLocked();
    std::size_t takeLocked(std::uint8_t* buf, std::size_t n);

    std::mutex m_;
    ftdi_context* ctx_ = nullptr;
    bool open_ = false;
    std::deque<std::uint8_t> rx_;
    std::atomic<bool> cancelled_{false};
};

} // namespace velkard::device
