// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument: headless acquisition into a recording file.
#include "cli/Cli.h"
#include "device/Acquisition.h"
#include "device/Discovery.h"
#include "links/MakeLink.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

namespace velkard::cli {
namespace {

int runRecord(const std::vector<std::string>& argv);
int runDevices(const std::vector<std::string>& argv);

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

const Command kDevices{
    "devices", "list the USB-serial bridges plug and play finds, and the link a port name gives",
    "Usage: velkard-cli devices [--port PORT]\n\n"
    "Prints one line per bridge found in sysfs (FTDI's own identifiers, or those of\n"
    "--port USB:VVVV:PPPP): its sysfs name, vendor:product and the /dev/ttyUSB* the kernel's\n"
    "ftdi_sio driver made for it (\"-\" when none). With --port, a last line \"link: ...\" names\n"
    "the backend that port name chooses now (a tty path, or \"USB ... (libftdi)\"). Opens\n"
    "nothing.\n",
    runDevices};

const Registration regDevices{kDevices};

int runDevices(const std::vector<std::string>& argv) {
    Args args(argv, {"port"}, {});
    if (args.wantsHelp()) {
        std::cout << kDevices.help;
        return kOk;
    }
    if (!args.ok())
        return usage(kDevices, args.error());
    if (!args.positional().empty())
        return usage(kDevices, "expected no arguments");
    const std::string port = args.valueOr("port", "");
    device::UsbIds ids;
    device::parseUsbPortName(port, ids);
    for (const device::UsbDevice& d : device::findUsbDevices("/sys", ids)) {
        char idText[16];
        std::snprintf(idText, sizeof idText, "%04x:%04x", d.vendor, d.product);
        std::cout << d.sysfsName << ' ' << idText << ' ' << (d.tty.empty() ? "-" : d.tty) << '\n';
    }
    if (!port.empty())
        std::cout << "link: " << links::makeLink(port)->describe() << '\n';
    return kOk;
}

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
