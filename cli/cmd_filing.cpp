// SPDX-License-Identifier: GPL-3.0-or-later
// Filing a device ECG file into a patient's card, as the memory window does.
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "filing/Store.h"

#include <filesystem>
#include <iostream>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;

extern const Command kStore;

int runStore(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {"russian"});
    if (!args.ok())
        return usage(kStore, args.error());
    if (args.positional().size() != 2)
        return usage(kStore, "expected a patient ID and a file");
    // A patient ID as given on the command line: "%8lx", so a shorter hexadecimal text is
    // right-aligned.
    std::string id = args.positional()[0];
    if (id.size() < 8 && !id.empty())
        id = std::string(8 - id.size(), ' ') + id;
    if (!cardfile::isValidPatientId(id))
        return usage(kStore, "'" + args.positional()[0] + "' is not a patient ID");
    const fs::path dir = args.valueOr("dir", ".");
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return fail("working folder '" + dir.string() + "' does not exist");
    cardfile::CardFile cf(dir);
    auto r = filing::storeDeviceFile(cf, id, args.positional()[1], args.has("russian"));
    if (!r)
        return fail(r.message);
    std::cout << r.value << '\n';
    return kOk;
}

const Command kStore{
    "store", "file a device ECG file into a patient's card",
    "Usage: velkard-cli store ID FILE [--dir DIR] [--russian]\n\n"
    "Files the device ECG file (or compressed .ecx file) FILE into the card of patient\n"
    "ID, as the memory window does: a name beginning with A2 is an A2 recording, one\n"
    "beginning with VSR a rhythmogram; date, time and duration come from the header.\n"
    "Prints the record number. FILE is kept.\n\n"
    "  --russian   rhythmogram duration text \"РИТМ\" instead of \"RITM\"\n"
    "  --dir DIR   working folder that holds DATA_BASE (default: the current folder)\n",
    runStore};

const Registration regStore{kStore};

} // namespace
} // namespace velkard::cli
