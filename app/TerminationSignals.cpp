// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velkard::app {

namespace {

int pipeEnds[2] = {-1, -1};

// Async-signal-safe: one byte into the socket, errno left as it was.
void onSignal(int signalNumber) {
    const int saved = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeEnds) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
    notifier_ = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ == nullptr)
        return;
    for (const int s : {SIGTERM, SIGHUP})
        std::signal(s, SIG_DFL);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void TerminationSignals::readSignal() {
    char byte = 0;
    while (::read(pipeEnds[1], &byte, 1) == 1)
        emit received(int(byte));
}

} // namespace velkard::app
