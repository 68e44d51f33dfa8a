// SPDX-License-Identifier: GPL-3.0-or-later
// The card file's lock: an fcntl record lock on DATA_BASE/.velkard.lock. It works across processes
// and, on a shared folder with POSIX locks (NFS, SMB with POSIX extensions), across workstations.
// Changes hold it exclusively; reads hold it shared, so they see whole states.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace velkard::cardfile {

inline constexpr const char* kLockName = ".velkard.lock";

class CardFileLock {
public:
    enum class Mode { Shared, Exclusive };
    enum class Outcome { Locked, Busy, Failed };

    CardFileLock() = default;
    ~CardFileLock() { release(); }
    CardFileLock(CardFileLock&& other) noexcept;
    CardFileLock& operator=(CardFileLock&& other) noexcept;
    CardFileLock(const CardFileLock&) = delete;
    CardFileLock& operator=(const CardFileLock&) = delete;

    // Takes the lock of the card file in dataDir (created when missing), trying again for up to
    // `wait`. Busy when another process still holds a conflicting lock after that; Failed (with
    // message()) when the lock file cannot be opened.
    Outcome acquire(const std::filesystem::path& dataDir, Mode mode,
                    std::chrono::milliseconds wait);
    void release();
    bool held() const { return fd_ >= 0; }
    const std::string& message() const { return message_; }

private:
    int fd_ = -1;
    std::string message_;
};

} // namespace velkard::cardfile
