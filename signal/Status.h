// SPDX-License-Identifier: GPL-3.0-or-later
// Small result values passed across module boundaries instead of exceptions.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velkard::signal {

// Success, or failure with one clear line for the user (it names the file when there is one).
struct Status {
    bool ok = true;
    std::string message;

    static Status success() { return {}; }
    static Status failure(std::string text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

// Bytes read or produced, or a failure message.
struct BytesResult {
    bool ok = true;
    std::string message;
    std::vector<std::uint8_t> bytes;

    static BytesResult failure(std::string text) { return {false, std::move(text), {}}; }
    explicit operator bool() const { return ok; }
};

} // namespace velkard::signal
