// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument: the device side of the link, independent of how bytes travel.
//
// The host's bytes go in through hostWrite(); the bytes the instrument sends come out of pump(),
// which releases everything that has fallen due by the given time. 0x5A starts the framed sample
// stream (F0 0F, six status bytes, one sample record) at 800 frames per second, paced by the clock;
// 0xA5 stops it. 0x60 enters memory mode: from then on every byte, up to and including 0x61 (leave
// memory mode), goes to the memory handler, which answers with the memory protocol's replies.
// Not thread-safe: the in-process link and the pseudo-terminal server each guard their own copy.
#pragma once

#include "signal/SampleRecord.h"
#include "signal/Status.h"
#include "sim/SyntheticEcg.h"
#include "wire/StreamWire.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace velkard::sim {

// Switches that make the instrument misbehave, for demos and tests. Times count from the first
// start byte; a negative time switches the fault off.
struct Faults {
    double silenceAfter = -1; // stop sending anything (the host's watchdog fires)
    double dropAfter = -1;    // the link goes away (unplugged or switched off)
    bool garbage = false;     // noise bytes between frames (never forming a false sync pair)
    double slowFactor = 1.0;  // > 1: frames arrive this many times slower than 800 per second
    bool noCard = false;      // memory mode answers every request with "card missing"
    bool absent = false;      // nothing answers: opening the link fails
    // Memory card faults (each strikes once, so the next request works again):
    bool strayReply = false;    // unasked 0x81 and 0x79 while idle in memory mode
    std::size_t stallBlock = 0; // stops in the middle of the N-th data block (1-based; 0: off)
    bool dropByte = false;      // one byte of the first data block is lost
    bool extraByte = false;     // one byte is added to the first data block
};

// Parses "silence-after=S", "drop-after=S", "garbage", "slow=F", "no-card", "absent",
// "stray-reply", "stall-block=N", "drop-byte", "extra-byte" (comma separated lists are accepted)
// into faults. Fails with InvalidArgument and a message naming the item on anything else.
Status parseFaults(const std::string& text, Faults& faults);

class Instrument {
public:
    using Clock = std::chrono::steady_clock;
    // Called for each byte the host sends while in memory mode; appends the reply bytes.
    using MemoryHandler =
        std::function<void(std::uint8_t hostByte, std::vector<std::uint8_t>& reply)>;

    static constexpr std::uint8_t kStart = wire::kStart;
    static constexpr std::uint8_t kStop = wire::kStop;
    static constexpr std::uint8_t kEnterMemory = wire::kEnterMemory;
    static constexpr std::uint8_t kLeaveMemory = wire::kLeaveMemory;
    static constexpr int kFrameBytes = static_cast<int>(wire::kFrameBytes);

    // ecg, when given, chooses the beats and noise of the sample stream (sim/BeatShape.h).
    explicit Instrument(std::uint32_t seed = 1, Faults faults = {},
                        const std::optional<EcgParameters>& ecg = std::nullopt);

    void setMemoryHandler(MemoryHandler handler) { memory_ = std::move(handler); }

    void hostWrite(const std::uint8_t* data, std::size_t n, Clock::time_point now);
    // Appends every byte due by now to out.
    void pump(Clock::time_point now, std::vector<std::uint8_t>& out);
    // The time at which the next byte falls due; nullopt when nothing will come unless the host
    // writes first.
    std::optional<Clock::time_point> nextDue() const;
    // True once the drop fault has struck: the link is gone for good.
    bool dropped(Clock::time_point now) const;
    // The bus that powers the instrument and its bridge is gone (unplugged): it stops streaming,
    // leaves memory mode and forgets a reply not yet sent, so it comes back idle.
    void powerOff();

    bool streaming() const { return streaming_; }
    bool memoryMode() const { return memoryMode_; }
    const Faults& faults() const { return faults_; }
    // Frames (sample records) sent since construction.
    std::uint64_t framesSent() const { return framesSent_; }

private:
    Clock::time_point frameDue(std::uint64_t index) const;
    bool silent(Clock::time_point now) const;
    void appendFrame(std::vector<std::uint8_t>& out);

    Faults faults_;
    SyntheticEcg ecg_;
    std::mt19937 noiseRng_;
    MemoryHandler memory_;
    std::vector<std::uint8_t> pendingReply_;

    bool streaming_ = false;
    bool memoryMode_ = false;
    std::optional<Clock::time_point> firstStart_; // fault times count from here
    Clock::time_point streamStart_{};
    std::uint64_t framesThisRun_ = 0;
    std::uint64_t framesSent_ = 0;
};

} // namespace velkard::sim
