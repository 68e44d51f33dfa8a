// SPDX-License-Identifier: GPL-3.0-or-later
#include "links/SimLink.h"

namespace velkard::links {

SimLink::SimLink(std::uint32_t seed, sim::Faults faults) : instrument_(seed, faults) {}

Status SimLink::open(int deviceIndex) {
    std::lock_guard lock(m_);
    if (deviceIndex != 0 || instrument_.faults().absent || instrument_.dropped(Clock::now()))
        return ErrorCode::DeviceNotFound;
    open_ = true;
    return Status::success();
}

Status SimLink::close() {
    std::lock_guard lock(m_);
    open_ = false;
    rx_.clear();
    cv_.notify_all();
    return Status::success();
}

void SimLink::pumpLocked() {
    scratch_.clear();
    instrument_.pump(Clock::now(), scratch_);
    rx_.insert(rx_.end(), scratch_.begin(), scratch_.end());
}

void SimLink::waitLocked(std::unique_lock<std::mutex>& lock,
                         std::optional<Clock::time_point> deadline) {
    std::optional<Clock::time_point> until = instrument_.nextDue();
    if (deadline && (!until || *deadline < *until))
        until = deadline;
    if (until)
        cv_.wait_until(lock, *until);
    else
        cv_.wait(lock);
}

Status SimLink::read(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    std::unique_lock lock(m_);
    for (;;) {
        if (cancelled_)
            return ErrorCode::Cancelled;
        if (!open_)
            return ErrorCode::DeviceNotOpened;
        pumpLocked();
        while (got < n && !rx_.empty()) {
            buf[got++] = rx_.front();
            rx_.pop_front();
        }
        if (got == n)
            return Status::success();
        if (instrument_.dropped(Clock::now()))
            return ErrorCode::IoError;
        waitLocked(lock, std::nullopt);
    }
}

Status SimLink::readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) {
    got = 0;
    std::lock_guard lock(m_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    pumpLocked();
    while (got < n && !rx_.empty()) {
        buf[got++] = rx_.front();
        rx_.pop_front();
    }
    if (got == 0 && instrument_.dropped(Clock::now()))
        return ErrorCode::IoError;
    return Status::success();
}

Status SimLink::write(const std::uint8_t* buf, std::size_t n, std::size_t& written) {
    written = 0;
    std::lock_guard lock(m_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    if (instrument_.dropped(Clock::now()))
        return ErrorCode::IoError;
    hostBytes_.insert(hostBytes_.end(), buf, buf + n);
    instrument_.hostWrite(buf, n, Clock::now());
    written = n;
    cv_.notify_all();
    return Status::success();
}

Status SimLink::setBaudRate(std::uint32_t) {
    std::lock_guard lock(m_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    return Status::success();
}

Status SimLink::setDataCharacteristics(int, int, int) {
    std::lock_guard lock(m_);
    return open_ ? ErrorCode::None : ErrorCode::DeviceNotOpened;
}

Status SimLink::purge(std::uint8_t mask) {
    std::lock_guard lock(m_);
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    if (mask & device::kPurgeRx) {
        pumpLocked();
        rx_.clear();
    }
    return Status::success();
}

Status SimLink::resetDevice() {
    std::lock_guard lock(m_);
    return open_ ? ErrorCode::None : ErrorCode::DeviceNotOpened;
}

Status SimLink::stopInTask() {
    return Status::success();
}

Status SimLink::queueStatus(std::size_t& rxBytes) {
    std::lock_guard lock(m_);
    rxBytes = 0;
    if (!open_)
        return ErrorCode::DeviceNotOpened;
    pumpLocked();
    rxBytes = rx_.size();
    return instrument_.dropped(Clock::now()) && rx_.empty() ? ErrorCode::IoError : ErrorCode::None;
}

bool SimLink::waitForData(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(m_);
    for (;;) {
        if (cancelled_ || !open_)
            return false;
        pumpLocked();
        if (!rx_.empty())
            return true;
        if (Clock::now() >= deadline)
            return false;
        waitLocked(lock, deadline);
    }
}

void SimLink::cancel() {
    std::lock_guard lock(m_);
    cancelled_ = true;
    cv_.notify_all();
}

void SimLink::resetCancel() {
    std::lock_guard lock(m_);
    cancelled_ = false;
}

void SimLink::withInstrument(const std::function<void(sim::Instrument&)>& fn) {
    std::lock_guard lock(m_);
    fn(instrument_);
    cv_.notify_all();
}

std::vector<std::uint8_t> SimLink::hostBytes() {
    std::lock_guard lock(m_);
    return hostBytes_;
}

} // namespace velkard::links
