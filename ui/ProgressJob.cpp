// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgressJob.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace velkard::ui {

namespace {

// Linux gives a thread its own nice value; 10 of 19 is "background work".
constexpr int kJobNiceness = 10;

// The dialog's range is an int; large totals are scaled down to it.
int scaled(long long value, long long total) {
    if (total <= INT_MAX)
        return int(value);
    return int(double(value) / double(total) * INT_MAX);
}

} // namespace

bool runWithProgress(QWidget* parent, const ProgressTexts& texts,
                     const std::function<void(JobProgress& progress)>& work) {
    JobProgress progress;
    std::atomic<bool> finished{false};

    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("progressDialog"));
    dialog.setWindowTitle(texts.caption);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setCancelButtonText(texts.cancel);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    dialog.setRange(0, 0);
    dialog.setLabelText(texts.label.arg(0).arg(0));

    QEventLoop loop;
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { progress.cancel(); });
    // The dialog follows the work five times a second; the worker's end wakes the loop at once.
    QTimer follow;
    follow.setInterval(200);
    long long shownDone = -1;
    long long shownTotal = -1;
    auto update = [&] {
        const long long total = progress.total();
        const long long done = std::min(progress.done(), total);
        if (done == shownDone && total == shownTotal)
            return;
        shownDone = done;
        shownTotal = total;
        // The label first: a modal dialog's setValue() handles events, and what is shown meanwhile
        // must not pair the new value with the old count.
        dialog.setRange(0, scaled(total, total));
        dialog.setLabelText(texts.label.arg(done).arg(total));
        dialog.setValue(scaled(done, total));
    };
    QObject::connect(&follow, &QTimer::timeout, &dialog, [&] {
        if (finished.load())
            loop.quit();
        else
            update();
    });

    std::thread worker([&] {
        // The job yields to the window thread whenever both want the processor.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kJobNiceness);
        work(progress);
        finished.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    dialog.show();
    follow.start();
    while (!finished.load())
        loop.exec();
    worker.join();
    follow.stop();
    dialog.hide();
    return progress.cancelled();
}

} // namespace velkard::ui
