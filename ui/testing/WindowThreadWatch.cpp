// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/testing/WindowThreadWatch.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>

namespace velkard::ui {

WindowThreadWatch::WindowThreadWatch() {
    timer_.setInterval(10);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    clock_.start();
    timer_.start();
}

void WindowThreadWatch::tick() {
    const qint64 gap = clock_.restart();
    bool jobRunning = false;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QProgressDialog*>(w);
        if (!dialog || dialog->objectName() != QLatin1String("progressDialog") ||
            !dialog->isVisible())
            continue;
        jobRunning = true;
        // Only while the job runs: the dialogs before it are modal and built on this thread.
        if (wasRunning_)
            longest_ = std::max(longest_, gap);
        seenValue_ = std::max(seenValue_, dialog->value());
        seenMaximum_ = std::max(seenMaximum_, dialog->maximum());
        seenLabel_ = dialog->labelText();
        if (cancelAt_ >= 0 && !pressed_.isValid() && dialog->value() >= cancelAt_) {
            if (auto* button = dialog->findChild<QPushButton*>()) {
                pressed_.start();
                button->click();
            }
        }
    }
    wasRunning_ = jobRunning;
}

} // namespace velkard::ui
