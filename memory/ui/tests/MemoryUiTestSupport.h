// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the memory window tests: waiting on the event loop, a card folder for the
// simulated instrument, and a card file with patients.
#pragma once

#include "links/SimLink.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace velkard::memory::ui::test {

// Runs the event loop until cond holds (queued changes of the worker arrive this way) or the
// deadline passes.
inline bool waitUntil(const std::function<bool()>& cond, int timeoutMs = 30000) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(10); // wakes the wait below even when nothing is posted
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A simulated instrument whose memory card serves cardDir.
std::unique_ptr<links::SimLink> simInstrument(const std::filesystem::path& cardDir,
                                              sim::Faults faults = {});

} // namespace velkard::memory::ui::test
