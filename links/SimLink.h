// SPDX-License-Identifier: GPL-3.0-or-later
// The "SIM" backend: the simulated instrument in-process, with no operating-system device.
#pragma once

#include "device/Link.h"
#include "sim/Instrument.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace velkard::links {

class SimLink : public device::Link {
public:
    explicit SimLink(std::uint32_t seed = 1, sim::Faults faults = {});

    Status open(int deviceIndex) override;
    Status close() override;
    Status read(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) override;
    Status write(const std::uint8_t* buf, std::size_t n, std::size_t& written) override;
    Status setBaudRate(std::uint32_t baud) override;
    Status setDataCharacteristics(int wordLength, int stopBits, int parity) override;
    Status purge(std::uint8_t mask) override;
    Status resetDevice() override;
    Status stopInTask() override;
    Status queueStatus(std::size_t& rxBytes) override;
    bool waitForData(std::chrono::milliseconds timeout) override;
    void cancel() override;
    void resetCancel() override;
    std::string describe() const override { return "SIM"; }
    // The stream is made when it is read: nothing is lost however long the reader waits.
    std::chrono::milliseconds holdTime() const override { return std::chrono::seconds(1); }

    // Runs fn on the instrument under the link's lock (tests, memory card set-up).
    void withInstrument(const std::function<void(sim::Instrument&)>& fn);
    // Bytes the host has written, in order (tests check command bytes).
    std::vector<std::uint8_t> hostBytes();

private:
    using Clock = sim::Instrument::Clock;
    // Moves every byte due by now into the receive queue. Caller holds m_.
    void pumpLocked();
    // Sleeps until more may arrive or deadline. Caller holds lock.
    void waitLocked(std::unique_lock<std::mutex>& lock, std::optional<Clock::time_point> deadline);

    std::mutex m_;
    std::condition_variable cv_;
    sim::Instrument instrument_;
    std::deque<std::uint8_t> rx_;
    std::vector<std::uint8_t> scratch_;
    std::vector<std::uint8_t> hostBytes_;
    bool open_ = false;
    bool cancelled_ = false;
};

} // namespace velkard::links
