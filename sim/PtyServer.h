// SPDX-License-Identifier: GPL-3.0-or-later
// Serves a simulated instrument on a pseudo-terminal: the host opens the slave path like the tty of
// a real USB-serial bridge. The slave is put into raw mode before anyone opens it, so no byte is
// echoed or translated; the server keeps its own slave descriptor open so the pty survives the
// host closing and reopening it.
#pragma once

#include "signal/Status.h"
#include "sim/Instrument.h"

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

private:
    Instrument& instrument_;
    int master_ = -1;
    int slave_ = -1;
    int stopFd_ = -1;
    int copyFd_ = -1;
    std::string slavePath_;
    std::vector<std::uint8_t> out_;
};

} // namespace velkard::sim
