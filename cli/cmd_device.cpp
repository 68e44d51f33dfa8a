// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument: headless acquisition into a recording file.
#include "cli/Cli.h"
#include "device/Acquisition.h"
#include "links/MakeLink.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <thread>

namespace velkard::cli {
namespace {

int runRecord(const std::vector<std::string>& argv);

const Command kRecord{
    "record", "record the live signal of the instrument into a recording file",
    "Usage: velkard-cli record --port PORT --seconds N OUT.dat\n\n"
    "Opens the instrument on PORT (SIM for the simulated instrument, a tty path such as\n"
    "/dev/ttyUSB0 or the pseudo-terminal printed by velkard-instrument, anything else for the\n"
    "first FTDI device over USB), starts the sample stream and writes N seconds of it to OUT.dat\n"
    "(created afresh) in whole blocks of 400 records (0.5 s). Prints the number of blocks "
    "written.\n"
    "Ctrl-C ends the recording early, keeping the whole blocks already written.\n"
    "Fails (status 1) with the instrument's message when no instrument answers (\"Прибор не\n"
    "найден\"), when no byte arrives for a second (\"Нет приема данных!\") or when the instrument\n"
    "goes away (\"Прибор не включен!\"); the blocks written until then stay in OUT.dat.\n",
    runRecord};

const Registration regRecord{kRecord};

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted = true;
}

int runRecord(const std::vector<std::string>& argv) {
    Args args(argv, {"port", "seconds"}, {});
    if (args.wantsHelp()) {
        std::cout << kRecord.help;
        return kOk;
    }
    if (!args.ok())
        return usage(kRecord, args.error());
    if (args.positional().size() != 1)
        return usage(kRecord, "expected one output file");
    const auto port = args.value("port");
    if (!port || port->empty())
        return usage(kRecord, "--port is required");
    const auto seconds = intValue(args.valueOr("seconds", ""), 1, 24 * 3600);
    if (!seconds)
        return usage(kRecord, "--seconds needs a whole number from 1 to 86400");
    const std::string out = args.positional()[0];
    const std::uint64_t target = static_cast<std::uint64_t>(*seconds) * 2;

    device::Acquisition acq([p = *port] { return links::makeLink(p); });
    const auto firstEvent = [&]() {
        auto events = acq.takeEvents();
        return events.empty() ? std::string("the instrument failed")
                              : device::eventMessage(events.front(), true).text;
    };
    if (!acq.startMonitoring())
        return fail(firstEvent());
    if (!acq.startRecording(out)) {
        const std::string message = firstEvent();
        acq.stop();
        return fail(message + ": " + out);
    }

    gInterrupted = false;
    auto previous = std::signal(SIGINT, onInterrupt);
    std::string failure;
    while (acq.blocksWritten() < target && !gInterrupted) {
        device::TickResult tick = acq.handOverBlocks();
        if (acq.watchdogExpired()) {
            auto more = acq.takeEvents();
            tick.events.insert(tick.events.end(), more.begin(), more.end());
        }
        for (const device::Event& e : tick.events) {
            if (e.kind == device::EventKind::ReadError) {
                std::cerr << "velkard-cli: " << device::eventMessage(e, true).text << '\n';
                continue;
            }
            if (failure.empty())
                failure = device::eventMessage(e, true).text;
        }
        if (!failure.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::signal(SIGINT, previous);
    acq.stop();
    for (const device::Event& e : acq.takeEvents())
        std::cerr << "velkard-cli: " << device::eventMessage(e, true).text << '\n';
    std::cout << acq.blocksWritten() << '\n';
    if (!failure.empty())
        return fail(failure);
    return kOk;
}

} // namespace
} // namespace velkard::cli
