// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for libftdi1 at link time, emulating one FTDI bridge for tests of FtdiLink.
//
// A test program that compiles device/FtdiLink.cpp together with FakeFtdi.cpp gets these
// definitions of the ftdi_* functions instead of the library's. The emulated chip has a receive
// buffer of fifoBytes (what arrives while it is full is lost and the overrun bit is set in the line
// status), libftdi's own read buffer (what one USB transfer brought beyond the bytes asked for
// waits there for the next read, counted in readbuffer_remaining), a latency timer (a partial
// packet is handed over only once it has waited that long), a transmitter that sends written bytes
// at the speed set when they leave, and can be unplugged. Thread-safe; the chip's state is per test
// program, reset by plug().
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velkard::device::fakeftdi {

struct Chip {
    bool present = true;           // false: no device is found
    std::uint16_t vendor = 0x0403; // what the device reports
    std::uint16_t product = 0x6001;
    int openResult = 0;          // ftdi_usb_open_dev's result, e.g. -4 (libusb_open failed)
    std::string openError;       // and its error string
    std::size_t fifoBytes = 256; // the receive buffer (FT232R: 256 bytes)
    // The chip NAKs a read request while its receive buffer is empty instead of answering with
    // its two status bytes when the latency timer runs out (QEMU's emulated FT232 does so). A
    // read that needs a further USB transfer then waits for usb_read_timeout and fails with
    // LIBUSB_ERROR_TIMEOUT, and, as in libftdi, the bytes already copied in that call are lost.
    bool nakWhenIdle = false;
};

struct SentByte {
    std::uint8_t byte;
    std::uint32_t baud; // the line speed the byte went out at
};

// Connects a fresh chip (the previous one and everything it held are gone).
void plug(const Chip& chip);
// The device goes away: every USB call fails with LIBUSB_ERROR_NO_DEVICE from now on.
void unplug();
// Bytes arriving at the chip's serial input.
void receive(const std::vector<std::uint8_t>& bytes);
// While held, the host's USB read requests wait (a host that does not poll the chip).
void holdHost(bool held);

std::vector<SentByte> sent();
std::size_t fifoLevel();
std::size_t bytesLost(); // lost to receive-buffer overflow
int latencyTimer();      // as last set (16 after plug, the chip's default)
unsigned readChunkSize();
int detachModeAtOpen();   // the context's module_detach_mode when the device was opened
bool kernelDriverBound(); // ftdi_sio holds the device (before open, and after a re-attaching close)
int openCount();
int closeCount();

} // namespace velkard::device::fakeftdi
