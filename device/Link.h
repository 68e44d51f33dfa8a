// SPDX-License-Identifier: GPL-3.0-or-later
// The link to the instrument's USB-serial bridge, shaped after the driver calls the program uses.
//
// Three backends implement it (chosen by the port-name setting): the in-process simulated
// instrument ("SIM"), a serial tty given by path (termios, the kernel's ftdi_sio driver), and the
// first FTDI device over USB through libftdi1 (anything else, e.g. the default "COM4").
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velkard::device {

// Driver status, after the D2XX FT_STATUS values the program distinguishes.
enum class Status : int {
    Ok = 0,
    InvalidHandle = 1,
    DeviceNotFound = 2,
    DeviceNotOpened = 3,
    IoError = 4,
    Cancelled = 100, // cancel() was called while a read or wait was blocked
};

inline constexpr std::uint8_t kPurgeRx = 1;
inline constexpr std::uint8_t kPurgeTx = 2;

class Link {
public:
    virtual ~Link() = default;

    // FT_Open(index). Non-Ok when no instrument answers on this backend.
    virtual Status open(int deviceIndex) = 0;
    // FT_Close. Safe to call on a link that is not open.
    virtual Status close() = 0;

    // FT_Read: blocks until n bytes have arrived, the read timeout passes, or cancel() is called;
    // got says how many arrived. A lost device gives a non-Ok status.
    virtual Status read(std::uint8_t* buf, std::size_t n, std::size_t& got) = 0;
    // Reads whatever is waiting now (at most n bytes) without blocking.
    virtual Status readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) = 0;
    // FT_Write.
    virtual Status write(const std::uint8_t* buf, std::size_t n, std::size_t& written) = 0;

    virtual Status setBaudRate(std::uint32_t baud) = 0;
    // FT_SetDataCharacteristics(wordLength, stopBits, parity) with D2XX values (8, 0, 0 = 8N1).
    virtual Status setDataCharacteristics(int wordLength, int stopBits, int parity) = 0;
    virtual Status purge(std::uint8_t mask) = 0;
    virtual Status resetDevice() = 0;
    // The further shutdown call made with the handle alone (FT_StopInTask): stop the driver's
    // receive task. Backends without such a task just return Ok.
    virtual Status stopInTask() = 0;

    // FT_GetStatus: number of received bytes waiting to be read.
    virtual Status queueStatus(std::size_t& rxBytes) = 0;
    // Stands in for FT_SetEventNotification(FT_EVENT_RXCHAR) + WaitForSingleObject: sleeps until
    // at least one byte is waiting, the timeout passes, or cancel() is called. Returns true when
    // data is waiting.
    virtual bool waitForData(std::chrono::milliseconds timeout) = 0;

    // Wakes every thread blocked in read() or waitForData() (they return Cancelled / false). Used
    // to stop worker threads cooperatively before joining them. Thread-safe.
    virtual void cancel() = 0;
    // Clears a previous cancel() so the link can be used again.
    virtual void resetCancel() = 0;

    virtual std::string describe() const = 0;
};

// Chooses the backend from the port-name setting: "SIM", a path, or anything else for USB.
std::unique_ptr<Link> makeLink(const std::string& portName);

} // namespace velkard::device
