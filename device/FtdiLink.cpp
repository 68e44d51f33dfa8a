// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/FtdiLink.h"

#ifdef VELKARD_HAVE_LIBFTDI
#include <ftdi.h>
#include <libusb.h>
#endif

#include <algorithm>
#include <cstdio>

namespace velkard::device {

namespace {

std::string idsText(const UsbIds& ids) {
    if (ids.vendor == 0)
        return "FTDI";
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", ids.vendor, ids.product);
    return text;
}

} // namespace

std::string FtdiLink::describe() const {
    return "USB " + idsText(ids_) + " (libftdi)";
}

OpenProblem FtdiLink::openProblem() const {
    std::lock_guard lock(control_);
    return problem_;
}

FtdiLink::FtdiLink(UsbIds ids) : ids_(ids) {}

#ifdef VELKARD_HAVE_LIBFTDI

namespace {

// Line status bits of ftdi_poll_modem_status (high byte).
constexpr unsigned short kOverrunError = 0x0200;
constexpr unsigned short kTransmitterEmpty = 0x4000;
constexpr int kUsbUnavailable = -666;           // libftdi: no device handle
constexpr std::uint32_t kErrorsMeaningLost = 5; // USB errors in a row that mean the device is gone
constexpr auto kStatusPollPeriod = std::chrono::milliseconds(100);

bool deviceGone(int code) {
    return code == LIBUSB_ERROR_NO_DEVICE || code == kUsbUnavailable;
}

// ftdi_usb_open_dev's codes: -4 libusb_open failed (almost always the device node's permissions),
// -8 inappropriate permissions, -3 / -5 the configuration or interface is held by a driver.
OpenFailure classifyOpen(int code) {
    switch (code) {
    case -4:
    case -8:
        return OpenFailure::PermissionDenied;
    case -3:
    case -5:
        return OpenFailure::Busy;
    default:
        return OpenFailure::Other;
    }
}

std::string errorText(ftdi_context* ctx, int code) {
    const char* text = ctx ? ftdi_get_error_string(ctx) : nullptr;
    std::string out = text && *text ? text : "libftdi";
    return out + ", " + std::to_string(code);
}

} // namespace

FtdiLink::~FtdiLink() {
    close();
}

Status FtdiLink::open(int deviceIndex) {
    std::lock_guard lock(control_);
    if (open_)
        return Status::success();
    problem_ = {};
    ctx_ = ftdi_new();
    if (!ctx_) {
        problem_ = {OpenFailure::Other, "ftdi_new"};
        return ErrorCode::DeviceNotFound;
    }
    // Detach ftdi_sio for as long as the link is open and give the device back to it on close.
    ctx_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    ftdi_device_list* list = nullptr;
    // Vendor and product 0: every device with one of FTDI's own identifiers.
    const int count = ftdi_usb_find_all(ctx_, &list, ids_.vendor, ids_.vendor ? ids_.product : 0);
    Status status = ErrorCode::DeviceNotFound;
    if (count < 0) {
        problem_ = {OpenFailure::Other, errorText(ctx_, count)};
    } else if (deviceIndex < 0 || count <= deviceIndex) {
        problem_ = {OpenFailure::NoDevice, "USB " + idsText(ids_)};
    } else {
        ftdi_device_list* item = list;
        for (int i = 0; i < deviceIndex; ++i)
            item = item->next;
        const int r = ftdi_usb_open_dev(ctx_, item->dev);
        if (r == 0)
            status = ErrorCode::None;
        else
            problem_ = {classifyOpen(r), errorText(ctx_, r)};
    }
    if (list)
        ftdi_list_free(&list);
    if (status.ok()) {
        const int r = ftdi_set_latency_timer(ctx_, kLatencyMs) |
                      ftdi_read_data_set_chunksize(ctx_, kUsbChunkBytes) |
                      ftdi_write_data_set_chunksize(ctx_, kUsbChunkBytes) |
                      ftdi_setflowctrl(ctx_, SIO_DISABLE_FLOW_CTRL);
        if (r != 0) {
            problem_ = {OpenFailure::Other, errorText(ctx_, r)};
            ftdi_usb_close(ctx_);
            status = ErrorCode::DeviceNotFound;
        }
    }
    if (!status) {
        ftdi_free(ctx_);
        ctx_ = nullptr;
        return status;
    }
    ctx_->usb_read_timeout = kUsbReadTimeoutMs;
    {
        std::lock_guard rx(rxMutex_);
        rx_.clear();
        overrun_ = false;
        usbErrors_ = 0;
    }
    lost_ = false;
    stopReader_ = false;
    open_ = true;
    reader_ = std::thread([this] { readerMain(); });
    return Status::success();
}

void FtdiLink::readerMain() {
    unsigned char chunk[kReadRequestBytes];
    std::uint32_t errorsInARow = 0;
    auto nextStatusPoll = std::chrono::steady_clock::now() + kStatusPollPeriod;
    while (!stopReader_.load(std::memory_order_acquire)) {
        int r = 0;
        {
            std::lock_guard usb(usbRead_);
            // libftdi keeps what a USB transfer brought beyond the bytes asked for, and a read
            // asking for more starts a further transfer; when that one times out, libftdi
            // returns the error and the bytes it had already copied are lost. A chip that
            // answers every request within its latency timer never lets it time out, but one
            // that NAKs while it has nothing (QEMU's FT232, found by scripts/vm-link-test.sh)
            // does, at the end of every reply. So each call asks for what libftdi holds, or for
            // one byte (one transfer) when it holds nothing.
            const unsigned held = ctx_->readbuffer_remaining;
            const int want =
                held == 0 ? 1 : static_cast<int>(std::min<unsigned>(held, sizeof chunk));
            // Returns what arrived, or 0 once the chip answers with status only (every 2 ms).
            r = ftdi_read_data(ctx_, chunk, want);
        }
        bool gone = false;
        if (r > 0) {
            errorsInARow = 0;
            std::lock_guard rx(rxMutex_);
            rx_.insert(rx_.end(), chunk, chunk + r);
        } else if (r < 0 && r != LIBUSB_ERROR_TIMEOUT) {
            // A time-out only means nothing came; a vanished device ends the reader; other errors
            // are reported by the next read, and many in a row mean the device is gone as well.
            gone = deviceGone(r) || ++errorsInARow >= kErrorsMeaningLost;
            if (!gone) {
                std::lock_guard rx(rxMutex_);
                ++usbErrors_;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (!gone && now >= nextStatusPoll) {
            nextStatusPoll = now + kStatusPollPeriod;
            unsigned short status = 0;
            int s = 0;
            {
                std::lock_guard usb(usbRead_);
                s = ftdi_poll_modem_status(ctx_, &status);
            }
            if (s == 0 && (status & kOverrunError)) {
                std::lock_guard rx(rxMutex_);
                overrun_ = true;
            } else if (s < 0 && deviceGone(s)) {
                gone = true;
            }
        }
        if (gone) {
            lost_.store(true, std::memory_order_release);
            std::lock_guard rx(rxMutex_);
            rxReady_.notify_all();
            return;
        }
        if (r > 0) {
            std::lock_guard rx(rxMutex_);
            rxReady_.notify_all();
        } else if (r < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void FtdiLink::stopReaderThread() {
    stopReader_.store(true, std::memory_order_release);
    if (reader_.joinable())
        reader_.join();
}

Status FtdiLink::close() {
    stopReaderThread();
    std::lock_guard lock(control_);
    if (!ctx_)
        return Status::success();
    const int r = open_ ? ftdi_usb_close(ctx_) : 0;
    ftdi_free(ctx_);
    ctx_ = nullptr;
    open_ = false;
    {
        std::lock_guard rx(rxMutex_);
        rx_.clear();
        rxReady_.notify_all();
    }
    // An unplugged device cannot be released; that is not a close error, the loss was reported.
    return r == 0 || lost_.load() ? ErrorCode::None : ErrorCode::IoError;
}

std::size_t FtdiLink::takeLocked(std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n && !rx_.empty()) {
        buf[got++] = rx_.front();
        rx_.pop_front();
    }
    return got;
}

Status FtdiLink::takeReadStatusLocked() {
    if (overrun_) {
        overrun_ = false;
        return ErrorCode::Overrun;
    }
    if (usbErrors_ != 0) {
        usbErrors_ = 0;
        return ErrorCode::IoError;
    }
    return Status::success();
}

Status FtdiLink::read(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    std::unique_lock rx(rxMutex_);
    while (got < n) {
        got += takeLocked(buf + got, n - got);
        const Status s = takeReadStatusLocked();
        if (!s)
            return s;
        if (got == n)
            break;
        if (cancelled_)
            return ErrorCode::Cancelled;
        if (lost_.load(std::memory_order_acquire))
            return ErrorCode::DeviceLost;
        if (!open_)
            return ErrorCode::DeviceNotOpened;
        rxReady_.wait(rx);
    }
    return Status::success();
}

Status FtdiLink::readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    std::lock_guard rx(rxMutex_);
    got = takeLocked(buf, n);
    const Status s = takeReadStatusLocked();
    if (!s)
        return s;
    if (got == 0 && lost_.load(std::memory_order_acquire))
        return ErrorCode::DeviceLost;
    return Status::success();
}

Status FtdiLink::write(const std::uint8_t* buf, std::size_t n, std::size_t& written) {
    std::lock_guard lock(control_);
    written = 0;
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    if (lost_)
        return ErrorCode::DeviceLost;
    const int r = ftdi_write_data(ctx_, buf, static_cast<int>(n));
    if (r < 0)
        return deviceGone(r) ? ErrorCode::DeviceLost : ErrorCode::IoError;
    written = static_cast<std::size_t>(r);
    return written == n ? ErrorCode::None : ErrorCode::IoError;
}

Status FtdiLink::drainOutput() {
    // Lock order as in purge(): the reader pauses while the line status is polled.
    std::lock_guard usb(usbRead_);
    std::lock_guard lock(control_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    // ftdi_write_data returns once the chip has taken the bytes; its transmitter may still be
    // sending them. Wait until the line status says it is empty.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    for (;;) {
        unsigned short status = 0;
        const int r = ftdi_poll_modem_status(ctx_, &status);
        if (r < 0)
            return deviceGone(r) ? ErrorCode::DeviceLost : ErrorCode::IoError;
        if (status & kOverrunError) {
            std::lock_guard rx(rxMutex_);
            overrun_ = true;
        }
        if (status & kTransmitterEmpty)
            return Status::success();
        if (std::chrono::steady_clock::now() >= deadline)
            return ErrorCode::IoError;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

Status FtdiLink::setBaudRate(std::uint32_t baud) {
    std::lock_guard lock(control_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    const int r = ftdi_set_baudrate(ctx_, static_cast<int>(baud));
    return r == 0 ? ErrorCode::None : deviceGone(r) ? ErrorCode::DeviceLost : ErrorCode::IoError;
}

Status FtdiLink::setDataCharacteristics(int wordLength, int stopBits, int parity) {
    std::lock_guard lock(control_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    const ftdi_bits_type bits = wordLength == 7 ? BITS_7 : BITS_8;
    const ftdi_stopbits_type stop = stopBits == 2 ? STOP_BIT_2 : STOP_BIT_1;
    const ftdi_parity_type par = parity == 1 ? ODD : parity == 2 ? EVEN : NONE;
    return ftdi_set_line_property(ctx_, bits, stop, par) == 0 ? ErrorCode::None
                                                              : ErrorCode::IoError;
}

Status FtdiLink::purge(std::uint8_t mask) {
    // The reader's buffer inside libftdi is emptied too: wait for its current request.
    std::lock_guard usb(usbRead_);
    std::lock_guard lock(control_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    int r = 0;
    if (mask & kPurgeRx) {
        r |= ftdi_tciflush(ctx_);
        std::lock_guard rx(rxMutex_);
        rx_.clear();
        overrun_ = false;
    }
    if (mask & kPurgeTx)
        r |= ftdi_tcoflush(ctx_);
    return r == 0 ? ErrorCode::None : ErrorCode::IoError;
}

Status FtdiLink::resetDevice() {
    std::lock_guard lock(control_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    if (lost_)
        return ErrorCode::DeviceLost;
    return ftdi_usb_reset(ctx_) == 0 ? ErrorCode::None : ErrorCode::IoError;
}

Status FtdiLink::stopInTask() {
    return Status::success();
}

Status FtdiLink::queueStatus(std::size_t& rxBytes) {
    rxBytes = 0;
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    std::lock_guard rx(rxMutex_);
    rxBytes = rx_.size();
    if (rxBytes == 0 && lost_.load(std::memory_order_acquire))
        return ErrorCode::DeviceLost;
    return Status::success();
}

bool FtdiLink::waitForData(std::chrono::milliseconds timeout) {
    if (!open_)
        return false;
    std::unique_lock rx(rxMutex_);
    // A lost device counts as readable: the read that follows reports it.
    return rxReady_.wait_for(rx, timeout, [this] {
        return cancelled_ || !rx_.empty() || lost_.load(std::memory_order_acquire);
    }) && !cancelled_;
}

void FtdiLink::cancel() {
    std::lock_guard rx(rxMutex_);
    cancelled_ = true;
    rxReady_.notify_all();
}

void FtdiLink::resetCancel() {
    std::lock_guard rx(rxMutex_);
    cancelled_ = false;
}

#else // built without libftdi1: there is never a USB instrument to find

FtdiLink::~FtdiLink() = default;
Status FtdiLink::open(int) {
    std::lock_guard lock(control_);
    problem_ = {OpenFailure::Other, "built without libftdi1"};
    return ErrorCode::DeviceNotFound;
}
Status FtdiLink::close() {
    return Status::success();
}
Status FtdiLink::read(std::uint8_t*, std::size_t, std::size_t& got) {
    got = 0;
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::readAvailable(std::uint8_t*, std::size_t, std::size_t& got) {
    got = 0;
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::write(const std::uint8_t*, std::size_t, std::size_t& written) {
    written = 0;
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::drainOutput() {
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::setBaudRate(std::uint32_t) {
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::setDataCharacteristics(int, int, int) {
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::purge(std::uint8_t) {
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::resetDevice() {
    return ErrorCode::DeviceNotOpened;
}
Status FtdiLink::stopInTask() {
    return Status::success();
}
Status FtdiLink::queueStatus(std::size_t& rxBytes) {
    rxBytes = 0;
    return ErrorCode::DeviceNotOpened;
}
bool FtdiLink::waitForData(std::chrono::milliseconds) {
    return false;
}
void FtdiLink::cancel() {}
void FtdiLink::resetCancel() {}

#endif

} // namespace velkard::device
