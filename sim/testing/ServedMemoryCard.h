// SPDX-License-Identifier: GPL-3.0-or-later
// For tests: a simulated instrument whose memory card serves a folder on a pseudo-terminal, run on
// a thread of its own. The card is set up before the server starts; afterwards only the server
// thread touches it.
#pragma once

#include "sim/Instrument.h"
#include "sim/MemoryCard.h"
#include "sim/PtyServer.h"

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace velkard::sim::testing {

class ServedMemoryCard {
public:
    explicit ServedMemoryCard(const std::filesystem::path& dir,
                              const std::function<void(MemoryCard&)>& setUp = {})
        : card_(dir), server_(instrument_) {
        if (setUp)
            setUp(card_);
        instrument_.setMemoryHandler(
            [this](std::uint8_t b, std::vector<std::uint8_t>& r) { card_.onHostByte(b, r); });
        const Status opened = server_.open();
        ok_ = opened.ok();
        error_ = opened.message;
        if (ok_)
            thread_ = std::thread([this] { server_.run(); });
    }
    ~ServedMemoryCard() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    ServedMemoryCard(const ServedMemoryCard&) = delete;
    ServedMemoryCard& operator=(const ServedMemoryCard&) = delete;

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return server_.slavePath(); }

private:
    Instrument instrument_;
    MemoryCard card_;
    PtyServer server_;
    std::thread thread_;
    std::string error_;
    bool ok_ = false;
};

} // namespace velkard::sim::testing
