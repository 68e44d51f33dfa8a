// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Instrument.h"

#include <sstream>

namespace velkard::sim {

namespace {

using Seconds = std::chrono::duration<double>;

bool parseNumber(const std::string& text, double& value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size() && value >= 0;
    } catch (...) {
        return false;
    }
}

} // namespace

Status parseFaults(const std::string& text, Faults& faults) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const auto eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        double number = 0;
        if (name == "garbage" && eq == std::string::npos) {
            faults.garbage = true;
        } else if (name == "no-card" && eq == std::string::npos) {
            faults.noCard = true;
        } else if (name == "absent" && eq == std::string::npos) {
            faults.absent = true;
        } else if (name == "stray-reply" && eq == std::string::npos) {
            faults.strayReply = true;
        } else if (name == "drop-byte" && eq == std::string::npos) {
            faults.dropByte = true;
        } else if (name == "extra-byte" && eq == std::string::npos) {
            faults.extraByte = true;
        } else if (name == "stall-block" && parseNumber(value, number) && number >= 1 &&
                   number == static_cast<double>(static_cast<std::size_t>(number))) {
            faults.stallBlock = static_cast<std::size_t>(number);
        } else if (name == "silence-after" && parseNumber(value, number)) {
            faults.silenceAfter = number;
        } else if (name == "drop-after" && parseNumber(value, number)) {
            faults.dropAfter = number;
        } else if (name == "slow" && parseNumber(value, number) && number >= 1.0) {
            faults.slowFactor = number;
        } else {
            return Status::failure(
                ErrorCode::InvalidArgument,
                "unknown fault '" + item +
                    "' (silence-after=SECONDS, drop-after=SECONDS, garbage, slow=FACTOR, no-card, "
                    "absent, stray-reply, stall-block=N, drop-byte, extra-byte)");
        }
    }
    return Status::success();
}

Instrument::Instrument(std::uint32_t seed, Faults faults, const std::optional<EcgParameters>& ecg)
    : faults_(faults), ecg_(ecg ? SyntheticEcg(seed, *ecg) : SyntheticEcg(seed)),
      noiseRng_(seed ^ 0x5bd1e995u) {}

void Instrument::hostWrite(const std::uint8_t* data, std::size_t n, Clock::time_point now) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = data[i];
        if (memoryMode_) {
            if (memory_)
                memory_(b, pendingReply_);
            if (b == kLeaveMemory)
                memoryMode_ = false;
            continue;
        }
        if (b == kStart) {
            if (!firstStart_)
                firstStart_ = now;
            if (!streaming_) {
                streaming_ = true;
                streamStart_ = now;
                framesThisRun_ = 0;
            }
        } else if (b == kStop) {
            streaming_ = false;
        } else if (b == kEnterMemory) {
            streaming_ = false;
            memoryMode_ = true;
            if (memory_)
                memory_(b, pendingReply_);
        }
    }
}

void Instrument::powerOff() {
    streaming_ = false;
    memoryMode_ = false;
    pendingReply_.clear();
}

Instrument::Clock::time_point Instrument::frameDue(std::uint64_t index) const {
    const double seconds =
        static_cast<double>(index) * faults_.slowFactor / signal::kRecordsPerSecond;
    return streamStart_ + std::chrono::duration_cast<Clock::duration>(Seconds(seconds));
}

bool Instrument::silent(Clock::time_point now) const {
    if (!firstStart_)
        return false;
    const double since = Seconds(now - *firstStart_).count();
    return (faults_.silenceAfter >= 0 && since >= faults_.silenceAfter) ||
           (faults_.dropAfter >= 0 && since >= faults_.dropAfter);
}

bool Instrument::dropped(Clock::time_point now) const {
    return firstStart_ && faults_.dropAfter >= 0 &&
           Seconds(now - *firstStart_).count() >= faults_.dropAfter;
}

void Instrument::appendFrame(std::vector<std::uint8_t>& out) {
    if (faults_.garbage && noiseRng_() % 4 == 0) {
        // Noise between frames: any bytes except an F0 directly followed by 0F.
        const unsigned count = 1 + noiseRng_() % 5;
        std::uint8_t last = 0;
        for (unsigned i = 0; i < count; ++i) {
            auto b = static_cast<std::uint8_t>(noiseRng_());
            if (last == wire::kSyncFirst && b == wire::kSyncSecond)
                b = 0x0E;
            out.push_back(b);
            last = b;
        }
    }
    const signal::SampleRecord record = ecg_.next();
    out.push_back(wire::kSyncFirst);
    out.push_back(wire::kSyncSecond);
    // Six status bytes: a frame counter and four bytes of zero.
    out.push_back(static_cast<std::uint8_t>(framesSent_ & 0xFF));
    out.push_back(static_cast<std::uint8_t>((framesSent_ >> 8) & 0xFF));
    for (int i = 0; i < 4; ++i)
        out.push_back(0);
    for (int k = 0; k < signal::kChannels; ++k) {
        std::uint8_t le[2];
        signal::writeLe16(le, record.c[static_cast<std::size_t>(k)]);
        out.push_back(le[0]);
        out.push_back(le[1]);
    }
    ++framesSent_;
    ++framesThisRun_;
}

void Instrument::pump(Clock::time_point now, std::vector<std::uint8_t>& out) {
    if (dropped(now))
        return;
    out.insert(out.end(), pendingReply_.begin(), pendingReply_.end());
    pendingReply_.clear();
    if (!streaming_)
        return;
    while (frameDue(framesThisRun_) <= now) {
        if (silent(frameDue(framesThisRun_)))
            return;
        appendFrame(out);
    }
}

std::optional<Instrument::Clock::time_point> Instrument::nextDue() const {
    if (!pendingReply_.empty())
        return Clock::time_point{};
    if (firstStart_ && faults_.dropAfter >= 0) {
        const auto drop =
            *firstStart_ + std::chrono::duration_cast<Clock::duration>(Seconds(faults_.dropAfter));
        if (!streaming_ || frameDue(framesThisRun_) >= drop)
            return drop;
    }
    if (!streaming_)
        return std::nullopt;
    const auto due = frameDue(framesThisRun_);
    if (silent(due))
        return std::nullopt;
    return due;
}

} // namespace velkard::sim
