// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FtdiLink.h"

#ifdef VELKARD_HAVE_LIBFTDI
#include <ftdi.h>
#endif

#include <thread>

namespace velkard::device {

#ifdef VELKARD_HAVE_LIBFTDI

namespace {
constexpr int kUsbReadTimeoutMs = 20;
constexpr unsigned char kLatencyMs = 2;
} // namespace

FtdiLink::FtdiLink() = default;

FtdiLink::~FtdiLink() {
    close();
}

Status FtdiLink::open(int deviceIndex) {
    std::lock_guard lock(m_);
    if (open_)
        return Status::Ok;
    ctx_ = ftdi_new();
    if (!ctx_)
        return Status::DeviceNotFound;
    ftdi_device_list* list = nullptr;
    // Vendor and product 0: every device with one of FTDI's default identifiers.
    const int count = ftdi_usb_find_all(ctx_, &list, 0, 0);
    Status status = Status::DeviceNotFound;
    if (count > deviceIndex && deviceIndex >= 0) {
        ftdi_device_list* item = list;
        for (int i = 0; i < deviceIndex; ++i)
            item = item->next;
        if (ftdi_usb_open_dev(ctx_, item->dev) == 0)
            status = Status::Ok;
    }
    if (list)
        ftdi_list_free(&list);
    if (status != Status::Ok) {
        ftdi_free(ctx_);
        ctx_ = nullptr;
        return status;
    }
    ftdi_set_latency_timer(ctx_, kLatencyMs);
    ftdi_setflowctrl(ctx_, SIO_DISABLE_FLOW_CTRL);
    ctx_->usb_read_timeout = kUsbReadTimeoutMs;
    open_ = true;
    rx_.clear();
    return Status::Ok;
}

Status FtdiLink::close() {
    std::lock_guard lock(m_);
    if (!ctx_)
        return Status::Ok;
    const int r = open_ ? ftdi_usb_close(ctx_) : 0;
    ftdi_free(ctx_);
    ctx_ = nullptr;
    open_ = false;
    rx_.clear();
    return r == 0 ? Status::Ok : Status::IoError;
}

Status FtdiLink::fillLocked() {
    unsigned char chunk[4096];
    const int r = ftdi_read_data(ctx_, chunk, sizeof chunk);
    if (r < 0)
        return Status::IoError;
    rx_.insert(rx_.end(), chunk, chunk + r);
    return Status::Ok;
}

std::size_t FtdiLink::takeLocked(std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n && !rx_.empty()) {
        buf[got++] = rx_.front();
        rx_.pop_front();
    }
    return got;
}

Status FtdiLink::read(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    while (got < n) {
        if (cancelled_)
            return Status::Cancelled;
        {
            std::lock_guard lock(m_);
            if (!open_)
                return Status::DeviceNotOpened;
            got += takeLocked(buf + got, n - got);
            if (got == n)
                break;
            if (fillLocked() != Status::Ok)
                return Status::IoError;
            got += takeLocked(buf + got, n - got);
        }
        // Let a writer on the other thread take the lock between polls.
        std::this_thread::yield();
    }
    return Status::Ok;
}

Status FtdiLink::readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    std::lock_guard lock(m_);
    got = 0;
    if (!open_)
        return Status::DeviceNotOpened;
    if (rx_.empty() && fillLocked() != Status::Ok)
        return Status::IoError;
    got = takeLocked(buf, n);
    return Status::Ok;
}

Status FtdiLink::write(const std::uint8_t* buf, std::size_t n, std::size_t& written) {
    std::lock_guard lock(m_);
    written = 0;
    if (!open_)
        return Status::DeviceNotOpened;
    const int r = ftdi_write_data(ctx_, buf, static_cast<int>(n));
    if (r < 0)
        return Status::IoError;
    written = static_cast<std::size_t>(r);
    return written == n ? Status::Ok : Status::IoError;
}

Status FtdiLink::setBaudRate(std::uint32_t baud) {
    std::lock_guard lock(m_);
    if (!open_)
        return Status::DeviceNotOpened;
    return ftdi_set_baudrate(ctx_, static_cast<int>(baud)) == 0 ? Status::Ok : Status::IoError;
}

Status FtdiLink::setDataCharacteristics(int wordLength, int stopBits, int parity) {
    std::lock_guard lock(m_);
    if (!open_)
        return Status::DeviceNotOpened;
    const ftdi_bits_type bits = wordLength == 7 ? BITS_7 : BITS_8;
    const ftdi_stopbits_type stop = stopBits == 2 ? STOP_BIT_2 : STOP_BIT_1;
    const ftdi_parity_type par = parity == 1 ? ODD : parity == 2 ? EVEN : NONE;
    return ftdi_set_line_property(ctx_, bits, stop, par) == 0 ? Status::Ok : Status::IoError;
}

Status FtdiLink::purge(std::uint8_t mask) {
    std::lock_guard lock(m_);
    if (!open_)
        return Status::DeviceNotOpened;
    int r = 0;
    if (mask & kPurgeRx) {
        rx_.clear();
        r |= ftdi_tciflush(ctx_);
    }
    if (mask & kPurgeTx)
        r |= ftdi_tcoflush(ctx_);
    return r == 0 ? Status::Ok : Status::IoError;
}

Status FtdiLink::resetDevice() {
    std::lock_guard lock(m_);
    if (!open_)
        return Status::DeviceNotOpened;
    return ftdi_usb_reset(ctx_) == 0 ? Status::Ok : Status::IoError;
}

Status FtdiLink::stopInTask() {
    return Status::Ok;
}

Status FtdiLink::queueStatus(std::size_t& rxBytes) {
    std::lock_guard lock(m_);
    rxBytes = 0;
    if (!open_)
        return Status::DeviceNotOpened;
    const Status s = fillLocked();
    rxBytes = rx_.size();
    return s;
}

bool FtdiLink::waitForData(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (cancelled_)
            return false;
        {
            std::lock_guard lock(m_);
            if (!open_)
                return false;
            if (rx_.empty() && fillLocked() != Status::Ok) {
                // Device gone: nothing will come.
                return false;
            }
            if (!rx_.empty())
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
}

void FtdiLink::cancel() {
    cancelled_ = true;
}

void FtdiLink::resetCancel() {
    cancelled_ = false;
}

#else // built without libftdi1: there is never a USB instrument to find

FtdiLink::FtdiLink() = default;
FtdiLink::~FtdiLink() = default;
Status FtdiLink::open(int) {
    return Status::DeviceNotFound;
}
Status FtdiLink::close() {
    return Status::Ok;
}
Status FtdiLink::read(std::uint8_t*, std::size_t, std::size_t& got) {
    got = 0;
    return Status::DeviceNotOpened;
}
Status FtdiLink::readAvailable(std::uint8_t*, std::size_t, std::size_t& got) {
    got = 0;
    return Status::DeviceNotOpened;
}
Status FtdiLink::write(const std::uint8_t*, std::size_t, std::size_t& written) {
    written = 0;
    return Status::DeviceNotOpened;
}
Status FtdiLink::setBaudRate(std::uint32_t) {
    return Status::DeviceNotOpened;
}
Status FtdiLink::setDataCharacteristics(int, int, int) {
    return Status::DeviceNotOpened;
}
Status FtdiLink::purge(std::uint8_t) {
    return Status::DeviceNotOpened;
}
Status FtdiLink::resetDevice() {
    return Status::DeviceNotOpened;
}
Status FtdiLink::stopInTask() {
    return Status::Ok;
}
Status FtdiLink::queueStatus(std::size_t& rxBytes) {
    rxBytes = 0;
    return Status::DeviceNotOpened;
}
bool FtdiLink::waitForData(std::chrono::milliseconds) {
    return false;
}
void FtdiLink::cancel() {}
void FtdiLink::resetCancel() {}

#endif

} // namespace velkard::device
