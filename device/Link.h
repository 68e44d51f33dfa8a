// SPDX-License-Identifier: GPL-3.0-or-later
// The link to the instrument's USB-serial bridge, shaped after the driver calls the program uses.
//
// Three backends implement it (chosen by the port-name setting, links/MakeLink.h): the in-process
// simulated instrument ("SIM", links/SimLink.h), a serial tty given by path (termios, the kernel's
// ftdi_sio driver), and an FTDI device over USB through libftdi1. A port name that names no path
// (e.g. the default "COM4") means plug and play: the instrument is looked up by its USB vendor and
// product ID and opened through its /dev/ttyUSB* when the kernel driver has bound it, through
// libftdi1 otherwise.
#pragma once

#include "signal/Status.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velkard::device {

// Every call returns a Status: success, or a code of the instrument's link
// (ErrorCode::DeviceNotFound, DeviceNotOpened, IoError, Cancelled, DeviceLost, Overrun...) after
// the D2XX FT_STATUS values the program distinguishes, without a message of its own.

// Why open() failed, for a message that tells the user what to do.
enum class OpenFailure {
    None,
    NoDevice,         // no instrument with the expected identifiers is connected
    PermissionDenied, // the device node may not be opened by this user (udev rule missing)
    Busy,             // another program or the kernel driver holds the device
    Other,            // anything else; detail says what the driver reported
};

struct OpenProblem {
    OpenFailure kind = OpenFailure::None;
    std::string detail; // the driver's own words (path, errno text, libftdi's error string)
};

// The reason for the user in the interface language, one line, or empty for None. The permission
// case carries the udev-rule hint of the README.
std::string openFailureText(const OpenProblem& problem, bool russian);

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

    // Waits until every byte written so far has left the bridge's transmitter (tcdrain on a tty).
    // Call before changing the line speed, or the last command may go out at the new speed.
    virtual Status drainOutput() { return Status::success(); }
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
    // How long the link gathers the stream without losing a byte, for a reader that pauses
    // between reads: a tty's line discipline holds 4 kB (0.2 s of the stream), a link with its own
    // queue (the USB bridge's reader thread, the simulator) as long as the reader likes.
    virtual std::chrono::milliseconds holdTime() const { return std::chrono::milliseconds(50); }
    // Why the last open() failed (kind None after a successful one).
    virtual OpenProblem openProblem() const { return {}; }
};

// USB identifiers to look the instrument up by. Vendor 0 means FTDI's own identifiers (vendor
// 0x0403 with the products of its standard bridges).
struct UsbIds {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

// Reads "USB:VVVV:PPPP" (case-insensitive prefix); false for any other port name.
bool parseUsbPortName(const std::string& portName, UsbIds& ids);

} // namespace velkard::device
