// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGHUP (logout, shutdown, a closed terminal) handed to the event loop: the handler
// only writes the signal's number into a socket pair; the window thread reads it and emits
// received(), so the program can end a recording as Exit does instead of dying in the middle.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace velkard::app {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for SIGTERM and SIGHUP; one instance per process.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    bool installed() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readSignal();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velkard::app
