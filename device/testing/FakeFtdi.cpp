// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/testing/FakeFtdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace velkard::device::fakeftdi {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kPacketPayload = 62; // 64-byte USB packets less two status bytes

struct State {
    std::mutex m;
    std::condition_variable cv;
    Chip chip;
    bool plugged = false;
    bool opened = false;
    bool held = false;
    std::deque<std::uint8_t> fifo;
    std::deque<std::uint8_t> readBuffer; // libftdi's: the rest of the last transfer
    Clock::time_point oldestArrival{};
    bool overrun = false;
    std::size_t lost = 0;
    std::deque<std::uint8_t> tx;
    std::vector<SentByte> sent;
    std::uint32_t baud = 9600;
    int latency = 16;
    unsigned chunk = 4096;
    int detachMode = -1;
    bool kernelBound = true;
    int opens = 0;
    int closes = 0;
};

// The one emulated chip of the test program (libftdi's functions take no state of ours).
State& state() {
    static State s;
    return s;
}

// Bytes in the transmitter go out at the current speed. Caller holds m.
void transmitLocked(State& s) {
    while (!s.tx.empty()) {
        s.sent.push_back({s.tx.front(), s.baud});
        s.tx.pop_front();
    }
}

int fail(ftdi_context* ctx, int code, const char* text) {
    if (ctx)
        ctx->error_str = const_cast<char*>(text);
    return code;
}

} // namespace

void plug(const Chip& chip) {
    State& s = state();
    std::lock_guard lock(s.m);
    s.chip = chip;
    s.plugged = chip.present;
    s.opened = false;
    s.held = false;
    s.fifo.clear();
    s.readBuffer.clear();
    s.overrun = false;
    s.lost = 0;
    s.tx.clear();
    s.sent.clear();
    s.baud = 9600;
    s.latency = 16;
    s.chunk = 4096;
    s.detachMode = -1;
    s.kernelBound = true;
    s.opens = s.closes = 0;
    s.cv.notify_all();
}

void unplug() {
    State& s = state();
    std::lock_guard lock(s.m);
    s.plugged = false;
    s.kernelBound = false;
    s.cv.notify_all();
}

void receive(const std::vector<std::uint8_t>& bytes) {
    State& s = state();
    std::lock_guard lock(s.m);
    for (std::uint8_t b : bytes) {
        if (s.fifo.size() >= s.chip.fifoBytes) {
            s.overrun = true;
            ++s.lost;
            continue;
        }
        if (s.fifo.empty())
            s.oldestArrival = Clock::now();
        s.fifo.push_back(b);
    }
    s.cv.notify_all();
}

void holdHost(bool held) {
    State& s = state();
    std::lock_guard lock(s.m);
    s.held = held;
    s.cv.notify_all();
}

std::vector<SentByte> sent() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.sent;
}
std::size_t fifoLevel() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.fifo.size();
}
std::size_t bytesLost() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.lost;
}
int latencyTimer() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.latency;
}
unsigned readChunkSize() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.chunk;
}
int detachModeAtOpen() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.detachMode;
}
bool kernelDriverBound() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.kernelBound;
}
int openCount() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.opens;
}
int closeCount() {
    State& s = state();
    std::lock_guard lock(s.m);
    return s.closes;
}

} // namespace velkard::device::fakeftdi

using velkard::device::fakeftdi::State;
using namespace velkard::device::fakeftdi;

namespace {
State& chipState() {
    return velkard::device::fakeftdi::state();
}
// The device the fake list hands out; only its address is used.
int gDeviceToken = 0;
} // namespace

extern "C" {

ftdi_context* ftdi_new(void) {
    auto* ctx = static_cast<ftdi_context*>(std::calloc(1, sizeof(ftdi_context)));
    if (ctx) {
        ctx->usb_read_timeout = 5000;
        ctx->usb_write_timeout = 5000;
        ctx->module_detach_mode = AUTO_DETACH_SIO_MODULE;
        ctx->error_str = const_cast<char*>("");
    }
    return ctx;
}

void ftdi_free(ftdi_context* ctx) {
    std::free(ctx);
}

const char* ftdi_get_error_string(ftdi_context* ctx) {
    return ctx && ctx->error_str ? ctx->error_str : "";
}

int ftdi_usb_find_all(ftdi_context*, ftdi_device_list** devlist, int vendor, int product) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    *devlist = nullptr;
    const bool defaults = vendor == 0 && product == 0;
    const bool matches = defaults ? s.chip.vendor == 0x0403 &&
                                        (s.chip.product == 0x6001 || s.chip.product == 0x6010 ||
                                         s.chip.product == 0x6011 || s.chip.product == 0x6014 ||
                                         s.chip.product == 0x6015)
                                  : s.chip.vendor == vendor && s.chip.product == product;
    if (!s.plugged || !matches)
        return 0;
    auto* item = static_cast<ftdi_device_list*>(std::calloc(1, sizeof(ftdi_device_list)));
    item->dev = reinterpret_cast<libusb_device*>(&gDeviceToken);
    *devlist = item;
    return 1;
}

void ftdi_list_free(ftdi_device_list** devlist) {
    while (devlist && *devlist) {
        ftdi_device_list* next = (*devlist)->next;
        std::free(*devlist);
        *devlist = next;
    }
}

int ftdi_usb_open_dev(ftdi_context* ctx, libusb_device*) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    ++s.opens;
    s.detachMode = ctx->module_detach_mode;
    if (!s.plugged)
        return fail(ctx, -4, "libusb_open() failed");
    if (s.chip.openResult != 0) {
        ctx->error_str = const_cast<char*>(s.chip.openError.c_str());
        return s.chip.openResult;
    }
    s.opened = true;
    s.kernelBound = false;
    s.latency = 16;
    return 0;
}

int ftdi_usb_close(ftdi_context* ctx) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    ++s.closes;
    if (!s.plugged)
        return fail(ctx, -1, "usb_release failed");
    s.opened = false;
    if (ctx->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE)
        s.kernelBound = true;
    return 0;
}

int ftdi_set_latency_timer(ftdi_context* ctx, unsigned char latency) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    if (!s.plugged)
        return fail(ctx, -2, "USB device unavailable");
    s.latency = latency;
    return 0;
}

int ftdi_read_data_set_chunksize(ftdi_context*, unsigned int chunksize) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    s.chunk = chunksize;
    return 0;
}

int ftdi_write_data_set_chunksize(ftdi_context*, unsigned int) {
    return 0;
}

int ftdi_setflowctrl(ftdi_context*, int) {
    return 0;
}

int ftdi_set_line_property(ftdi_context*, enum ftdi_bits_type, enum ftdi_stopbits_type,
                           enum ftdi_parity_type) {
    return 0;
}

int ftdi_set_baudrate(ftdi_context*, int baudrate) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    if (!s.plugged)
        return LIBUSB_ERROR_NO_DEVICE;
    // Whatever still waits in the transmitter goes out at the new speed.
    s.baud = static_cast<std::uint32_t>(baudrate);
    transmitLocked(s);
    return 0;
}

int ftdi_write_data(ftdi_context*, const unsigned char* buf, int size) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    if (!s.plugged)
        return LIBUSB_ERROR_NO_DEVICE;
    s.tx.insert(s.tx.end(), buf, buf + size);
    return size;
}

int ftdi_poll_modem_status(ftdi_context*, unsigned short* status) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    if (!s.plugged)
        return LIBUSB_ERROR_NO_DEVICE;
    // The transmitter is empty only at a poll after it has sent what it held.
    const bool empty = s.tx.empty();
    transmitLocked(s);
    *status = static_cast<unsigned short>(0x0001 | 0x2000 | (empty ? 0x4000 : 0) |
                                          (s.overrun ? 0x0200 : 0));
    s.overrun = false;
    return 0;
}

int ftdi_read_data(ftdi_context* ctx, unsigned char* buf, int size) {
    State& s = chipState();
    std::unique_lock lock(s.m);
    s.cv.wait(lock, [&] { return !s.held || !s.plugged; });
    if (!s.plugged)
        return LIBUSB_ERROR_NO_DEVICE;
    int got = 0;
    const auto fromReadBuffer = [&] {
        while (got < size && !s.readBuffer.empty()) {
            buf[got++] = s.readBuffer.front();
            s.readBuffer.pop_front();
        }
        ctx->readbuffer_remaining = static_cast<unsigned>(s.readBuffer.size());
    };
    // One USB transfer: up to a chunk's worth of packets out of the FIFO, what was not asked for
    // kept in libftdi's buffer.
    const auto transfer = [&] {
        const std::size_t most = std::max<std::size_t>(1, s.chunk / 64) * kPacketPayload;
        for (std::size_t i = 0; i < most && !s.fifo.empty(); ++i) {
            s.readBuffer.push_back(s.fifo.front());
            s.fifo.pop_front();
        }
        if (!s.fifo.empty())
            s.oldestArrival = Clock::now();
        fromReadBuffer();
    };
    fromReadBuffer();
    if (got == size)
        return got;
    if (s.chip.nakWhenIdle) {
        // libftdi goes on with further transfers until size bytes came; a transfer the chip
        // leaves unanswered times out, and libftdi returns the error, not the bytes it had.
        while (got < size) {
            const auto deadline = Clock::now() + std::chrono::milliseconds(ctx->usb_read_timeout);
            s.cv.wait_until(lock, deadline, [&] { return !s.plugged || !s.fifo.empty(); });
            if (!s.plugged)
                return LIBUSB_ERROR_NO_DEVICE;
            if (s.fifo.empty())
                return LIBUSB_ERROR_TIMEOUT;
            transfer();
        }
        return got;
    }
    const auto latency = std::chrono::milliseconds(s.latency);
    // The chip answers a request once a packet is full or its latency timer has run out.
    const auto ready = [&] {
        return !s.plugged || s.fifo.size() >= kPacketPayload ||
               (!s.fifo.empty() && Clock::now() >= s.oldestArrival + latency);
    };
    const auto deadline = Clock::now() + latency;
    while (!ready() && Clock::now() < deadline) {
        const auto until =
            s.fifo.empty() ? deadline : std::min(deadline, s.oldestArrival + latency);
        s.cv.wait_until(lock, until);
    }
    if (!s.plugged)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!ready())
        return got; // the status bytes alone: nothing more came
    transfer();
    return got;
}

int ftdi_tciflush(ftdi_context* ctx) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    s.fifo.clear();
    s.readBuffer.clear();
    ctx->readbuffer_remaining = 0;
    return s.plugged ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

int ftdi_tcoflush(ftdi_context*) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    s.tx.clear();
    return s.plugged ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

int ftdi_usb_reset(ftdi_context*) {
    State& s = chipState();
    std::lock_guard lock(s.m);
    return s.plugged ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

} // extern "C"
