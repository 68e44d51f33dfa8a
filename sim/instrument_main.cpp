// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-instrument: the simulated instrument served on a pseudo-terminal.
//
//   velkard-instrument [--card DIR] [--seed N] [--fault F[,F...]] [--beat K=V,...]
//                      [--noise K=V,...] [--sent FILE]
//   velkard-instrument --make-card DIR
//
// Prints the pseudo-terminal's path on the first line of stdout and serves until killed. Use that
// path as the port name (line 3 of the settings file, or velkard-cli record --port PATH).
// SIGUSR1 unplugs the bridge from the host (the instrument goes off with it), SIGUSR2 plugs it back
// in (see sim/PtyServer.h); each,
// and the start of a loss of bytes the host did not take, is logged on stderr with the number of
// bytes sent until then ("unplugged after N bytes sent", "plugged in after N bytes sent", "losing
// bytes after N bytes sent").
#include "sim/DeviceFiles.h"
#include "sim/Instrument.h"
#include "sim/MemoryHook.h"
#include "sim/PtyServer.h"
#include "velkard_version.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

velkard::sim::PtyServer* gServer = nullptr;

void onSignal(int) {
    if (gServer)
        gServer->stop();
}

void onPlugSignal(int signal) {
    if (gServer)
        gServer->setUnplugged(signal == SIGUSR1);
}

void printUsage(std::ostream& out) {
    out << "usage: velkard-instrument [--card DIR] [--seed N] [--fault "
           "silence-after=SECONDS|drop-after=SECONDS|"
           "no-card|garbage|slow=FACTOR|absent|stray-reply|stall-block=N|drop-byte|"
           "extra-byte]\n"
           "                          [--beat hr=72,pr=160,qrs=90,qt=400,axis=60,...]\n"
           "                          [--noise mains=50,mains-mv=0.2,wander=0.5,white=0.03,\n"
           "                                   off-la=SECONDS,off-ra=SECONDS]\n"
           "                          [--sent FILE]\n"
           "       velkard-instrument --make-card DIR\n"
           "       velkard-instrument --version\n";
}

int usage(const char* message) {
    if (message)
        std::cerr << "velkard-instrument: " << message << "\n";
    printUsage(std::cerr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string card, makeCardDir, sentFile;
    std::uint32_t seed = 1;
    velkard::sim::Faults faults;
    std::optional<velkard::sim::EcgParameters> ecg;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            printUsage(std::cout);
            return 0;
        } else if (a == "--version") {
            std::cout << "velkard-instrument " VELKARD_VERSION "\n";
            return 0;
        } else if (a == "--card" && hasValue) {
            card = args[++i];
        } else if (a == "--sent" && hasValue) {
            sentFile = args[++i];
        } else if (a == "--make-card" && hasValue) {
            makeCardDir = args[++i];
        } else if (a == "--seed" && hasValue) {
            try {
                seed = static_cast<std::uint32_t>(std::stoul(args[++i]));
            } catch (...) {
                return usage("--seed needs a whole number");
            }
        } else if ((a == "--beat" || a == "--noise") && hasValue) {
            if (!ecg)
                ecg.emplace();
            const velkard::Status parsed =
                a == "--beat" ? velkard::sim::parseBeatParameters(args[++i], ecg->beat)
                              : velkard::sim::parseNoiseParameters(args[++i], ecg->noise);
            if (!parsed)
                return usage(parsed.message.c_str());
        } else if (a == "--fault" && hasValue) {
            if (const velkard::Status parsed = velkard::sim::parseFaults(args[++i], faults);
                !parsed)
                return usage(parsed.message.c_str());
        } else {
            return usage(("unexpected argument '" + a + "'").c_str());
        }
    }

    if (!makeCardDir.empty()) {
        std::vector<std::string> names;
        const auto r = velkard::sim::makeCard(makeCardDir, &names);
        if (!r) {
            std::cerr << "velkard-instrument: " << r.message << "\n";
            return 1;
        }
        for (const auto& n : names)
            std::cout << n << "\n";
        return 0;
    }

    velkard::sim::Instrument instrument(seed, faults, ecg);
    if (const velkard::Status attached = velkard::sim::attachMemoryCard(instrument, card);
        !attached) {
        std::cerr << "velkard-instrument: " << attached.message << "\n";
        return 1;
    }
    velkard::sim::PtyServer server(instrument);
    if (const velkard::Status opened = server.open(); !opened) {
        std::cerr << "velkard-instrument: " << opened.message << "\n";
        return 1;
    }
    // --sent: a copy of every byte sent to the host, for tests that compare it with what arrived.
    int sentFd = -1;
    if (!sentFile.empty()) {
        sentFd = ::open(sentFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (sentFd < 0) {
            std::cerr << "velkard-instrument: cannot create " << sentFile << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
        server.copySentTo(sentFd);
    }
    server.setLog([](velkard::sim::PtyServer::Happening what, std::uint64_t sent, std::uint64_t) {
        using H = velkard::sim::PtyServer::Happening;
        std::cerr << "velkard-instrument: "
                  << (what == H::Unplugged   ? "unplugged"
                      : what == H::PluggedIn ? "plugged in"
                                             : "losing bytes")
                  << " after " << sent << " bytes sent" << std::endl;
    });
    gServer = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    // Each plug signal blocks the other while its handler runs. Sent close together, both are
    // pending at once: the kernel then set up SIGUSR1's handler and ran SIGUSR2's on top of it,
    // before SIGUSR1's own first instruction, so an unplug followed at once by a plug left the
    // bridge unplugged for good.
    struct sigaction plug {};
    plug.sa_handler = onPlugSignal;
    plug.sa_flags = SA_RESTART;
    sigemptyset(&plug.sa_mask);
    sigaddset(&plug.sa_mask, SIGUSR1);
    sigaddset(&plug.sa_mask, SIGUSR2);
    ::sigaction(SIGUSR1, &plug, nullptr);
    ::sigaction(SIGUSR2, &plug, nullptr);
    std::cout << server.slavePath() << std::endl;
    const auto end = server.run();
    if (sentFd >= 0)
        ::close(sentFd);
    if (end == velkard::sim::PtyServer::End::Dropped)
        std::cerr << "velkard-instrument: link dropped\n";
    return end == velkard::sim::PtyServer::End::Failed ? 1 : 0;
}
