// SPDX-License-Identifier: GPL-3.0-or-later
// A headless device file list for tests: the thread-safe model, a record of messages and refreshes,
// and waiting for a condition without sleeping.
#pragma once

#include "memory/FileListModel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace velkard::memory::test {

class TestWindow : public FileListModel {
public:
    MemoryConnection* connection = nullptr;

    // The interface language the messages are shown in.
    std::atomic<bool> russian{true};

    void report(const MemoryReport& report) override {
        const MemoryMessage shown = memoryMessage(report, russian.load());
        {
            std::lock_guard lock(m_);
            messages_.push_back(shown.caption + ": " + shown.text);
            reports_.push_back(report);
        }
        changed();
    }
    void refresh() override {
        refreshes_.fetch_add(1);
        clearEntries();
        if (connection)
            connection->requestListing();
        changed();
    }

    std::vector<std::string> messages() {
        std::lock_guard lock(m_);
        return messages_;
    }
    std::vector<MemoryReport> reports() {
        std::lock_guard lock(m_);
        return reports_;
    }
    int refreshes() const { return refreshes_.load(); }
    // Wakes waiters to re-check their condition (e.g. after a write on the link).
    void poke() { changed(); }

    // Waits until pred() holds, re-checking after every change of the window. The limit only keeps
    // a broken run from hanging the test; it is not a timing assertion.
    template <class Pred>
    bool waitFor(Pred pred, std::chrono::seconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const unsigned seen = version_.load();
            if (pred())
                return true;
            std::unique_lock lock(waitMutex_);
            if (!cv_.wait_until(lock, deadline, [&] { return version_.load() != seen; }))
                return pred();
        }
    }

protected:
    void entryAppended(const std::string&) override { changed(); }
    void entriesCleared() override { changed(); }
    void selectionChanged(std::size_t, bool) override { changed(); }
    void listEnabledChanged(bool) override { changed(); }
    void progressChanged(std::int64_t, std::int64_t, std::int64_t) override { changed(); }

private:
    void changed() {
        {
            std::lock_guard lock(waitMutex_);
            version_.fetch_add(1);
        }
        cv_.notify_all();
    }

    std::mutex m_;
    std::vector<std::string> messages_;
    std::vector<MemoryReport> reports_;
    std::atomic<int> refreshes_{0};
    std::mutex waitMutex_;
    std::condition_variable cv_;
    std::atomic<unsigned> version_{0};
};

} // namespace velkard::memory::test
