// SPDX-License-Identifier: GPL-3.0-or-later
// make-device-file: a device ECG file of any length with the simulated instrument's signal, for
// trying the import and measuring the compression on realistic data.
#include "cli/Cli.h"
#include "signal/FileIo.h"
#include "signal/SampleRecord.h"
#include "sim/DeviceFiles.h"
#include "sim/SyntheticEcg.h"

#include <algorithm>
#include <iostream>

namespace velkard::cli {
namespace {

int runMakeDeviceFile(const std::vector<std::string>& argv);

const Command kMakeDeviceFile{
    "make-device-file", "write a device ECG file with the simulated instrument's signal",
    "Usage: velkard-cli make-device-file OUT --seconds N [--seed S]\n\n"
    "Writes a device ECG file (512-byte header and eight-channel body, 800 records per second)\n"
    "holding N seconds (1 to 36000) of the simulated instrument's twelve-lead signal, as the\n"
    "instrument stores it (every value a multiple of 8). The header's record count holds at\n"
    "most 32767 (40.9 s): a longer file is test data for compress and decompress only, and\n"
    "convert, duration and store refuse its body as larger than its header allows. The same\n"
    "seed (default 1) gives the same file.\n",
    runMakeDeviceFile};

int runMakeDeviceFile(const std::vector<std::string>& argv) {
    Args args(argv, {"seconds", "seed"}, {});
    if (!args.ok())
        return usage(kMakeDeviceFile, args.error());
    if (args.positional().size() != 1)
        return usage(kMakeDeviceFile, "expects OUT");
    const auto seconds = intValue(args.valueOr("seconds", ""), 1, 36000);
    if (!seconds)
        return usage(kMakeDeviceFile, "--seconds must be a whole number from 1 to 36000");
    const auto seed = intValue(args.valueOr("seed", "1"), 0, 0xFFFFFFFFL);
    if (!seed)
        return usage(kMakeDeviceFile, "--seed must be a whole number");

    const long records = *seconds * signal::kRecordsPerSecond;
    std::vector<std::uint8_t> file = sim::makeDeviceHeader(
        signal::kRecordsPerSecond, static_cast<std::int16_t>(std::min(records, 32767L)), {});
    file.resize(file.size() + static_cast<std::size_t>(records) * signal::kRecordBytes);
    std::uint8_t* out = file.data() + sim::kHeaderBytes;
    sim::SyntheticEcg ecg(static_cast<std::uint32_t>(*seed));
    for (long i = 0; i < records; ++i)
        for (std::int16_t v : ecg.next().c) {
            signal::writeLe16(out, static_cast<std::int16_t>(v & ~7));
            out += 2;
        }
    if (auto st = signal::writeFileAtomically(args.positional()[0], file); !st)
        return fail(st.message);
    std::cout << args.positional()[0] << ": " << records << " records\n";
    return kOk;
}

const Registration regMakeDeviceFile{kMakeDeviceFile};

} // namespace
} // namespace velkard::cli
