// SPDX-License-Identifier: GPL-3.0-or-later
// An FTDI bridge over USB through libftdi1, opened by vendor and product ID.
//
// A reader thread keeps asking the chip for data (small requests, a 2 ms latency timer) and queues
// what arrives, so the chip's receive buffer is emptied without gaps even at 3,000,000 baud and no
// read holds the link: writes, purges and speed changes go through at once. Errors stay apart: a
// read that brings nothing is no error, an unplugged device is DeviceLost, a receive-buffer
// overflow the chip reports is Overrun, other USB errors are IoError. Opening says why it failed
// (openProblem()). The kernel's ftdi_sio driver is detached while the link is open and re-attached
// when it closes, so /dev/ttyUSB* comes back.
#pragma once

#include "device/Link.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct ftdi_context;

namespace velkard::device {

class FtdiLink : public Link {
public:
    // Settings applied on open.
    static constexpr unsigned char kLatencyMs = 2; // the chip hands over partial packets after 2 ms
    static constexpr unsigned kUsbChunkBytes = 4096; // libftdi's USB transfer size
    static constexpr int kReadRequestBytes = 512;    // bytes asked for per read call
    static constexpr int kUsbReadTimeoutMs = 100;    // a chip that answers nothing for this long
    static constexpr int kDrainLimitMs = 200;        // longest wait for the transmitter to empty

    explicit FtdiLink(UsbIds ids = {});
    ~FtdiLink() override;

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
    std::string describe() const override;
    // The link's own reader thread queues what the chip sends, without a limit.
    std::chrono::milliseconds holdTime() const override { return std::chrono::seconds(1); }
    OpenProblem openProblem() const override;

private:
    void readerMain();
    void stopReaderThread();
    // The status a read reports besides its bytes: a pending overrun or USB error, once. Caller
    // holds rxMutex_.
    Status takeReadStatusLocked();
    std::size_t takeLocked(std::uint8_t* buf, std::size_t n);

    UsbIds ids_;
    mutable std::mutex control_; // ctx_ set-up and teardown, configuration calls and writes
    std::mutex usbRead_;         // held around each USB read and around purging libftdi's buffer
    std::mutex rxMutex_;
    std::condition_variable rxReady_;
    std::deque<std::uint8_t> rx_; // guarded by rxMutex_
    bool overrun_ = false;        // guarded by rxMutex_
    std::uint32_t usbErrors_ = 0; // guarded by rxMutex_: errors not yet reported by a read
    bool cancelled_ = false;      // guarded by rxMutex_
    ftdi_context* ctx_ = nullptr;
    std::atomic<bool> open_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> stopReader_{false};
    std::thread reader_;
    OpenProblem problem_; // guarded by control_
};

} // namespace velkard::device
