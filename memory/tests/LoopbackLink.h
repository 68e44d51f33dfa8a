// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory link to a simulated memory card, for tests and benchmarks: what the host writes goes
// to the card's transmitter and reaches the card when it leaves (at the next call on the link, or
// drainOutput()); the speed each byte left at is recorded, so a speed change before the output has
// drained shows. The card's replies wait in a receive queue. Optionally the replies are paced as
// on a wire of a given baud rate (10 bit times per byte).
#pragma once

#include "device/Link.h"
#include "sim/MemoryCard.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace velkard::memory::test {

class LoopbackLink : public device::Link {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoopbackLink(sim::MemoryCard& card) : card_(card) {}

    bool present = true;        // false: open() fails as with no instrument
    std::uint32_t paceBaud = 0; // 0: replies are waiting at once
    std::function<void()>
        onActivity; // after every write and every read that took bytes (link locked)

    Status open(int) override {
        std::lock_guard lock(m_);
        ++opens_;
        if (!present)
            return ErrorCode::DeviceNotFound;
        open_ = true;
        return Status::success();
    }
    Status close() override {
        std::lock_guard lock(m_);
        transmitLocked(); // closing a port lets what was written leave first
        open_ = false;
        ++closes_;
        return Status::success();
    }
    Status read(std::uint8_t* buf, std::size_t n, std::size_t& got) override {
        return readAvailable(buf, n, got);
    }
    Status readAvailable(std::uint8_t* buf, std::size_t n, std::size_t& got) override {
        std::lock_guard lock(m_);
        transmitLocked();
        got = 0;
        const auto now = Clock::now();
        while (visible_ > 0 && got < n && !rx_.empty() && rx_.front().due <= now) {
            buf[got++] = rx_.front().byte;
            rx_.pop_front();
            if (visible_ != kAll)
                --visible_;
        }
        if (got > 0 && onActivity)
            onActivity();
        if (dropped_)
            return ErrorCode::IoError;
        return open_ ? ErrorCode::None : ErrorCode::DeviceNotOpened;
    }
    Status write(const std::uint8_t* buf, std::size_t n, std::size_t& written) override {
        std::lock_guard lock(m_);
        written = 0;
        if (!open_)
            return ErrorCode::DeviceNotOpened;
        writeSizes_.push_back(n);
        transmitLocked();
        tx_.insert(tx_.end(), buf, buf + n);
        written = n;
        // The bytes are on their way; they reach the card when the next call finds them gone.
        cv_.notify_all();
        if (onActivity)
            onActivity();
        return Status::success();
    }
    Status drainOutput() override {
        std::lock_guard lock(m_);
        transmitLocked();
        return Status::success();
    }
    Status setBaudRate(std::uint32_t baud) override {
        std::lock_guard lock(m_);
        // Whatever the transmitter still holds goes out at the new speed.
        baud_ = baud;
        transmitLocked();
        return Status::success();
    }
    Status setDataCharacteristics(int w, int s, int p) override {
        std::lock_guard lock(m_);
        dataOk_ = w == 8 && s == 0 && p == 0;
        return Status::success();
    }
    Status purge(std::uint8_t mask) override {
        std::lock_guard lock(m_);
        transmitLocked();
        if (mask & device::kPurgeRx) {
            const auto now = Clock::now();
            while (!rx_.empty() && rx_.front().due <= now && visible_ > 0) {
                rx_.pop_front();
                if (visible_ != kAll)
                    --visible_;
            }
        }
        return Status::success();
    }
    Status resetDevice() override { return Status::success(); }
    Status stopInTask() override { return Status::success(); }
    Status queueStatus(std::size_t& rxBytes) override {
        std::lock_guard lock(m_);
        transmitLocked();
        rxBytes = 0;
        if (dropped_)
            return ErrorCode::IoError;
        const auto now = Clock::now();
        for (const auto& b : rx_) {
            if (rxBytes >= visible_ || b.due > now)
                break;
            ++rxBytes;
        }
        return Status::success();
    }
    bool waitForData(std::chrono::milliseconds timeout) override {
        std::unique_lock lock(m_);
        transmitLocked();
        if (onActivity)
            onActivity();
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            transmitLocked();
            if (cancelled_)
                return false;
            if (dropped_)
                return true; // like a hung-up tty: readable, and the read fails
            const auto now = Clock::now();
            // On a paced wire the bridge hands bytes over in packets of up to 64, as USB does.
            const auto handOver =
                rx_.empty() ? now : rx_[std::min<std::size_t>(rx_.size(), kPacket) - 1].due;
            if (visible_ > 0 && !rx_.empty() && handOver <= now)
                return true;
            if (now >= deadline)
                return false;
            const auto until =
                rx_.empty() || visible_ == 0 ? deadline : std::min(deadline, handOver);
            ++asleep_;
            cv_.wait_until(lock, until);
            --asleep_;
        }
    }
    void cancel() override {
        std::lock_guard lock(m_);
        cancelled_ = true;
        cv_.notify_all();
    }
    void resetCancel() override {
        std::lock_guard lock(m_);
        cancelled_ = false;
    }
    std::string describe() const override { return "loopback"; }

    // Everything the host has written that has left the transmitter, in order.
    std::vector<std::uint8_t> written() {
        std::lock_guard lock(m_);
        transmitLocked();
        return written_;
    }
    // The speed each byte of written() left at.
    std::vector<std::uint32_t> writeBauds() {
        std::lock_guard lock(m_);
        return writeBaud_;
    }
    std::vector<std::size_t> writeSizes() {
        std::lock_guard lock(m_);
        return writeSizes_;
    }
    void clearWritten() {
        std::lock_guard lock(m_);
        written_.clear();
        writeBaud_.clear();
        writeSizes_.clear();
    }
    bool isOpen() {
        std::lock_guard lock(m_);
        return open_;
    }
    bool dataCharacteristicsOk() {
        std::lock_guard lock(m_);
        return dataOk_;
    }
    int closes() {
        std::lock_guard lock(m_);
        return closes_;
    }
    // The instrument goes away: reads fail from now on.
    void drop() {
        std::lock_guard lock(m_);
        dropped_ = true;
        cv_.notify_all();
    }
    // Bytes in the receive queue, due or not.
    std::size_t queued() {
        std::lock_guard lock(m_);
        return rx_.size();
    }
    // While held, the instrument's replies are kept back from the host; release() lets n more
    // bytes through.
    void setHeld(bool held) {
        std::lock_guard lock(m_);
        visible_ = held ? 0 : kAll;
        cv_.notify_all();
    }
    void release(std::size_t n) {
        std::lock_guard lock(m_);
        visible_ += n;
        cv_.notify_all();
    }
    // True while a thread sleeps in waitForData with nothing it could read: it has handled
    // everything it took before.
    bool asleep() {
        std::lock_guard lock(m_);
        return asleep_ > 0;
    }
    // Puts bytes into the receive queue as if the instrument had sent them unasked.
    void inject(const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(m_);
        for (std::uint8_t b : bytes)
            push(b);
        cv_.notify_all();
    }

private:
    static constexpr std::size_t kPacket = 64;
    struct Rx {
        std::uint8_t byte;
        Clock::time_point due;
    };
    // Called with m_ held, from within write().
    class Sink : public sim::ByteSink {
    public:
        explicit Sink(LoopbackLink& l) : l_(l) {}
        void send(const std::uint8_t* data, std::size_t n) override {
            for (std::size_t i = 0; i < n; ++i)
                l_.push(data[i]);
        }

    private:
        LoopbackLink& l_;
    };
    // Bytes in the transmitter leave at the current speed and reach the card. Caller holds m_.
    void transmitLocked() {
        for (std::uint8_t b : tx_) {
            written_.push_back(b);
            writeBaud_.push_back(baud_);
            Sink sink(*this);
            card_.onHostByte(b, sink);
        }
        if (!tx_.empty()) {
            cv_.notify_all();
            if (onActivity)
                onActivity();
        }
        tx_.clear();
    }
    void push(std::uint8_t b) {
        Clock::time_point due = Clock::now();
        if (paceBaud != 0) {
            const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / paceBaud);
            wireFree_ = std::max(wireFree_, due) + byteTime;
            due = wireFree_;
        }
        rx_.push_back({b, due});
    }

    sim::MemoryCard& card_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Rx> rx_;
    Clock::time_point wireFree_{};
    std::vector<std::uint8_t> tx_;
    std::vector<std::uint8_t> written_;
    std::vector<std::uint32_t> writeBaud_;
    std::vector<std::size_t> writeSizes_;
    std::uint32_t baud_ = 0;
    bool open_ = false;
    bool dataOk_ = false;
    bool cancelled_ = false;
    static constexpr std::size_t kAll = static_cast<std::size_t>(-1);
    std::size_t visible_ = kAll;
    int asleep_ = 0;
    bool dropped_ = false;
    int opens_ = 0;
    int closes_ = 0;
};

} // namespace velkard::memory::test
