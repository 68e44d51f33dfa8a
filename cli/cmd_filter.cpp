// SPDX-License-Identifier: GPL-3.0-or-later
// Filter command: a recording run through the display and print filters, written in its own format.
#include "cli/Cli.h"
#include "cli/FilterOptions.h"
#include "filter/Filters.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <iostream>

namespace velkard::cli {
namespace {

const Command kFilter{
    "filter", "write a recording filtered as the program shows and prints it",
    std::string(
        "Usage: velkard-cli filter IN OUT [options]\n"
        "Reads the recording file IN (sample records), filters every channel and writes\n"
        "OUT in the same format (written whole, then renamed into place). Review and print\n"
        "filter forward and backward (zero phase); --live filters once forward in blocks\n"
        "of 400 records, as the live sweep does. Prints records=N and the band.\n"
        "Options:\n") +
        kFilterOptionsHelp +
        "  --live                 causal filtering, as the live sweep\n"
        "  --a2                   the recording is of kind A2: its records after 8040 carry\n"
        "                         lead II alone and are filtered apart from the ones before\n",
    nullptr};

int runFilter(const std::vector<std::string>& argv) {
    std::vector<std::string> valueOptions = filterOptionNames();
    Args args(argv, valueOptions, {"live", "a2"});
    if (!args.ok())
        return usage(kFilter, args.error());
    if (args.positional().size() != 2)
        return usage(kFilter, "expects IN and OUT");
    std::string error;
    const auto settings = filterOptions(args, error);
    if (!settings)
        return usage(kFilter, error);
    if (!settings->any())
        return usage(kFilter, "choose at least one filter (--mains, --highpass or --lowpass)");

    // The recording stays as recorded: its filtered copy never replaces it.
    if (const std::string refused =
            overwritesInput(args.positional()[1], {std::filesystem::path(args.positional()[0])});
        !refused.empty())
        return fail(refused);
    signal::BytesResult in = signal::readWholeFile(args.positional()[0]);
    if (!in)
        return fail(in.message);
    std::vector<std::uint8_t>& bytes = in.value;
    const std::size_t records = bytes.size() / signal::kRecordBytes;
    if (args.has("live")) {
        filter::StreamFilter stream(*settings);
        std::vector<signal::SampleRecord> block;
        for (std::size_t at = 0; at < records; at += signal::kRecordsPerBlock) {
            const std::size_t count = std::min<std::size_t>(signal::kRecordsPerBlock, records - at);
            block.resize(count);
            for (std::size_t i = 0; i < count; ++i)
                for (int ch = 0; ch < signal::kChannels; ++ch)
                    block[i].c[std::size_t(ch)] =
                        signal::readLe16(bytes.data() + (at + i) * signal::kRecordBytes + 2 * ch);
            stream.process(block);
            for (std::size_t i = 0; i < count; ++i)
                for (int ch = 0; ch < signal::kChannels; ++ch)
                    signal::writeLe16(bytes.data() + (at + i) * signal::kRecordBytes + 2 * ch,
                                      block[i].c[std::size_t(ch)]);
        }
    } else {
        filter::filterRecordingBytes(bytes, *settings,
                                     args.has("a2") ? signal::kA2FullRecords : SIZE_MAX);
    }
    if (auto st = signal::writeFileAtomically(args.positional()[1], bytes); !st)
        return fail(st.message);
    std::cout << "records=" << records << " filters=" << filter::describe(*settings, false)
              << (args.has("live") ? " live" : " zero-phase") << '\n';
    return kOk;
}

const Registration regFilter{[] {
    Command c = kFilter;
    c.run = runFilter;
    return c;
}()};

} // namespace
} // namespace velkard::cli
