// SPDX-License-Identifier: GPL-3.0-or-later
// Long work (printing a whole recording, an export) off the window thread: the work runs on a
// worker thread while the window thread goes on drawing and a progress dialog shows how far it
// came, with a Cancel button the work sees.
#pragma once

#include <QString>
#include <atomic>
#include <functional>

class QWidget;

namespace velkard::ui {

// What a job tells the window and learns from it; safe to use from both threads.
class JobProgress {
public:
    // The amount done of the whole (pages, seconds). Returns false once the user has cancelled:
    // the work then stops and writes nothing.
    bool report(long long done, long long total) {
        total_.store(total, std::memory_order_relaxed);
        done_.store(done, std::memory_order_relaxed);
        return !cancelled();
    }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    long long done() const { return done_.load(std::memory_order_relaxed); }
    long long total() const { return total_.load(std::memory_order_relaxed); }

private:
    std::atomic<long long> done_{0};
    std::atomic<long long> total_{0};
    std::atomic<bool> cancelled_{false};
};

// What the progress dialog says: label gets the amount done as %1 and the whole as %2.
struct ProgressTexts {
    QString caption;
    QString label;
    QString cancel;
};

// Runs work on a worker thread and returns once it has returned. Meanwhile the window thread
// handles its events (the window keeps drawing) and an application-modal progress dialog (object
// name "progressDialog") shows what work reports; its Cancel button makes progress.cancelled()
// true. Returns true when the job was cancelled.
bool runWithProgress(QWidget* parent, const ProgressTexts& texts,
                     const std::function<void(JobProgress& progress)>& work);

} // namespace velkard::ui
