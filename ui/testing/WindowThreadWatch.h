// SPDX-License-Identifier: GPL-3.0-or-later
// Watches the window thread while a long job runs: a 10 ms timer on it notes the longest time it
// went without handling its events, and can press Cancel in the progress dialog (runWithProgress)
// once the job has come far enough. For tests only (library velkard_ui_testing).
#pragma once

#include <QElapsedTimer>
#include <QTimer>

namespace velkard::ui {

// The longest gap a responsive window thread may show. A job run on the window thread blocks it
// for the job's whole length (seconds for the jobs watched); a loaded machine's scheduler alone
// has been seen to hold the thread back for up to 140 ms.
inline constexpr qint64 kResponsiveGapMs = 250;

class WindowThreadWatch {
public:
    WindowThreadWatch();
    // The longest gap between two ticks while the progress dialog was shown, in milliseconds (the
    // timer's own 10 ms included).
    qint64 longestGapMs() const { return longest_; }
    // Presses Cancel once the dialog shows at least `done` done.
    void cancelAt(long long done) { cancelAt_ = done; }
    bool cancelPressed() const { return pressed_.isValid(); }
    // Milliseconds since Cancel was pressed.
    qint64 sinceCancelMs() const { return pressed_.isValid() ? pressed_.elapsed() : -1; }
    // The highest value and maximum the progress dialog was seen with.
    int seenValue() const { return seenValue_; }
    int seenMaximum() const { return seenMaximum_; }
    QString seenLabel() const { return seenLabel_; }

private:
    void tick();

    QTimer timer_;
    QElapsedTimer clock_;
    QElapsedTimer pressed_;
    qint64 longest_ = 0;
    bool wasRunning_ = false;
    long long cancelAt_ = -1;
    int seenValue_ = -1;
    int seenMaximum_ = -1;
    QString seenLabel_;
};

} // namespace velkard::ui
