// SPDX-License-Identifier: GPL-3.0-or-later
// Serves a simulated instrument on a pseudo-terminal: the host opens the slave path like the tty of
// a real USB-serial bridge. The slave is put into raw mode before anyone opens it, so no byte is
// echoed or translated; the server keeps its own slave descriptor open so the pty survives the
// host closing and reopening it.
//
// The pseudo-terminal stands for the bridge chip, which holds no more than its FIFO: while the
// instrument streams and the host takes nothing, what the terminal does not take is lost, as bytes
// are at a full FIFO, instead of piling up for a host that may come back minutes later. The
// terminal itself holds some 20 kB (about a second of the stream) before it refuses more.
// A bridge can also be unplugged from the host (setUnplugged, e.g. when a test takes the emulated
// chip away): the instrument, powered by the bus as its bridge is, goes off (Instrument::powerOff)
// and nothing of what the terminal held is left when it is plugged back in, as a real chip
// starts with empty FIFOs.
#pragma once

#include "signal/Status.h"
#include "sim/Instrument.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velkard::sim {

class PtyServer {
public:
    explicit PtyServer(Instrument& instrument);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal. Fails with CannotOpen and the system's reason when it refuses.
    Status open();
    const std::string& slavePath() const { return slavePath_; }
    // Every byte handed to the host from now on is also written to fd (not closed by the server),
    // so a test can compare what arrived with what was sent.
    void copySentTo(int fd) { copyFd_ = fd; }

    enum class End { Stopped, Dropped, Failed };
    // Serves until stop() is called from any thread, or the drop fault closes the link.
    End run();
    // Thread-safe; run() returns soon after.
    void stop();
    // The bridge taken away from the host (true) or plugged back in (false). Thread-safe and
    // async-signal-safe; run() acts on it soon after.
    void setUnplugged(bool unplugged);
    // What run() tells its log: it acted on setUnplugged, or bytes began to be lost because the
    // host takes none (once until the host takes bytes again). sent: the bytes handed to the host
    // until then (an offset into the copySentTo copy); lost: the bytes this server dropped so far.
    enum class Happening { Unplugged, PluggedIn, Losing };
    using Log = std::function<void(Happening what, std::uint64_t sent, std::uint64_t lost)>;
    void setLog(Log log) { log_ = std::move(log); }
    std::uint64_t bytesSent() const { return sent_; }
    std::uint64_t bytesLost() const { return lost_; }

private:
    Instrument& instrument_;
    int master_ = -1;
    int slave_ = -1;
    int stopFd_ = -1;
    int copyFd_ = -1;
    int plugFd_ = -1;
    std::atomic<bool> unplugRequested_{false};
    // Unplugs asked so far: an unplug and a plug asked before run() looks still power it off.
    std::atomic<unsigned> unplugsRequested_{0};
    unsigned unplugsSeen_ = 0;
    bool unplugged_ = false;
    std::uint64_t sent_ = 0;
    std::uint64_t lost_ = 0;
    bool losing_ = false;
    Log log_;
    std::string slavePath_;
    std::vector<std::uint8_t> out_;
};

} // namespace velkard::sim
