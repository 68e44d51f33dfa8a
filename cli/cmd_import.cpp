// SPDX-License-Identifier: GPL-3.0-or-later
// Commands over device ECG files and their compressed ".ecx" form: decompress, compress, convert
// into a recording file, and the duration from the header.
#include "cli/Cli.h"
#include "formats/Detect.h"
#include "import/Decompress.h"
#include "signal/DeviceFile.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;
using signal::RecordingKind;

int runDecompress(const std::vector<std::string>& argv);
int runCompress(const std::vector<std::string>& argv);
int runConvert(const std::vector<std::string>& argv);
int runDuration(const std::vector<std::string>& argv);

const Command kDecompress{
    "decompress", "rebuild a device ECG file from a compressed .ecx file",
    "Usage: velkard-cli decompress IN.ecx OUT [--sync] [--timing]\n\n"
    "Decodes the compressed file IN.ecx and writes the device ECG file it holds (512-byte header\n"
    "and body) to OUT, replacing OUT through a temporary file renamed over it: OUT is always the\n"
    "old or the whole new file, and a damaged IN.ecx is an error that leaves OUT untouched. Like\n"
    "uncompress and gzip it leaves flushing to the system; --sync flushes OUT to disk before\n"
    "the rename (and the folder after it), so OUT survives a power cut straight afterwards.\n"
    "OUT \"-\" writes to standard output instead (not flushed).\n"
    "--timing prints on stderr where the time went: reading, decoding and writing, flushing.\n",
    runDecompress};

const Command kCompress{
    "compress", "compress a device ECG file into an .ecx file",
    "Usage: velkard-cli compress IN OUT.ecx [--sync]\n\n"
    "Writes the compressed form of the device ECG file IN to OUT.ecx: the first 54 bytes as they\n"
    "are, then the LZW code stream of the rest with the body delta-coded and divided by 8.\n"
    "Decompressing gives IN back exactly when every body value is a multiple of 8 (as the\n"
    "instrument stores them); other values lose their three low bits. OUT.ecx is replaced through\n"
    "a temporary file renamed over it; --sync flushes it to disk first, as for decompress.\n",
    runCompress};

const Command kConvert{
    "convert", "convert a device ECG file into a recording file",
    "Usage: velkard-cli convert IN OUT.dat [--kind plain|A2|RT]\n\n"
    "Writes the recording file for the device ECG file IN (an .ecx file is decompressed first)\n"
    "to OUT.dat, created afresh. The kind defaults to the one its file name gives: \"A2...\" is\n"
    "A2, \"VS...\" a rhythmogram, anything else plain. An A2 file keeps its first 8040 records\n"
    "and spreads every later lead II value into a record of its own. Prints the number of\n"
    "records written.\n"
    "IN may also be an ECG file of another system (EDF, EDF+, BDF, DICOM, SCP-ECG, HL7 aECG,\n"
    "GDF, or a WFDB .hea header): it is resampled to 800 Hz as `import` does (see there).\n",
    runConvert};

const Command kDuration{
    "duration", "print the duration of a device ECG file in whole seconds",
    "Usage: velkard-cli duration IN [--kind plain|A2|RT]\n\n"
    "Prints the duration of the device ECG file IN (or of the one an .ecx file holds) in whole\n"
    "seconds, as the card file stores it: for A2 the converted record count over the rate,\n"
    "otherwise the header's record count over its rate; 0 when the rate is 0. The kind\n"
    "defaults to the one the file name gives.\n",
    runDuration};

const Registration regDecompress{kDecompress};
const Registration regCompress{kCompress};
const Registration regConvert{kConvert};
const Registration regDuration{kDuration};

// The device ECG file named on the command line, read within the bounds its header sets; an
// ".ecx" file is decompressed first.
signal::BytesResult readInput(const fs::path& in, RecordingKind kind) {
    signal::BytesResult file = import::readAnyDeviceFile(in, kind);
    if (file && file.value.size() < signal::kDeviceHeaderBytes)
        return signal::BytesResult::failure(
            ErrorCode::BadData,
            in.string() + " is not a device ECG file: it is shorter than its 512-byte header");
    return file;
}

const char* kindName(RecordingKind kind) {
    switch (kind) {
    case RecordingKind::A2:
        return "A2";
    case RecordingKind::Rhythmogram:
        return "RT";
    case RecordingKind::Plain:
        break;
    }
    return "plain";
}

int runDecompress(const std::vector<std::string>& argv) {
    Args args(argv, {}, {"timing", "sync"});
    if (!args.ok())
        return usage(kDecompress, args.error());
    if (args.positional().size() != 2)
        return usage(kDecompress, "expects IN.ecx and OUT");
    const fs::path in = args.positional()[0], out = args.positional()[1];
    import::DecompressTimes times;
    import::DecompressTimes* timing = args.has("timing") ? &times : nullptr;
    const bool toStdout = out == "-";
    // Decoded straight into the new file (or standard output), piece by piece.
    Status written = toStdout ? import::decompressEcxToStream(in, 1, "standard output", timing)
                              : import::decompressEcxFile(in, out, timing, args.has("sync"));
    if (!written)
        return fail(written.message);
    if (timing && args.has("sync"))
        std::fprintf(stderr, "read %.2f ms, decode and write %.2f ms, flush %.2f ms\n",
                     times.openMs, times.decodeMs, times.flushMs);
    else if (timing)
        std::fprintf(stderr,
                     "read %.2f ms, decode and write %.2f ms, rename %.2f ms (not flushed)\n",
                     times.openMs, times.decodeMs, times.flushMs);
    if (toStdout)
        return kOk;
    std::error_code ec;
    std::cout << out.string() << ": " << fs::file_size(out, ec) << " bytes\n";
    return kOk;
}

int runCompress(const std::vector<std::string>& argv) {
    Args args(argv, {}, {"sync"});
    if (!args.ok())
        return usage(kCompress, args.error());
    if (args.positional().size() != 2)
        return usage(kCompress, "expects IN and OUT.ecx");
    const fs::path in = args.positional()[0], out = args.positional()[1];
    Status st = import::compressEcxFile(in, out, args.has("sync"));
    if (!st)
        return fail(st.message);
    std::error_code ec;
    std::cout << out.string() << ": " << fs::file_size(out, ec) << " bytes\n";
    return kOk;
}

int runConvert(const std::vector<std::string>& argv) {
    Args args(argv, {"kind"}, {});
    if (!args.ok())
        return usage(kConvert, args.error());
    if (args.positional().size() != 2)
        return usage(kConvert, "expects IN and OUT.dat");
    const fs::path in = args.positional()[0], out = args.positional()[1];
    if (isForeignEcg(in)) {
        if (foreignConvert())
            return foreignConvert()(argv);
        handOverCommand("convert", argv);
        return fail("converting " + in.string() + " needs velkard-cli-qt, which was not found");
    }
    auto kind = kindOption(args, import::kindFromFileName(in));
    if (!kind)
        return usage(kConvert, "--kind must be plain, A2 or RT");
    signal::BytesResult device = readInput(in, *kind);
    if (!device)
        return fail(device.message);
    const std::vector<std::uint8_t> body = signal::convertDeviceBytes(device.value, *kind);
    Status st = signal::writeFileAtomically(out, body);
    if (!st)
        return fail(st.message);
    std::cout << out.string() << ": " << body.size() / signal::kRecordBytes << " records ("
              << kindName(*kind) << ")\n";
    return kOk;
}

int runDuration(const std::vector<std::string>& argv) {
    Args args(argv, {"kind"}, {});
    if (!args.ok())
        return usage(kDuration, args.error());
    if (args.positional().size() != 1)
        return usage(kDuration, "expects one device ECG file");
    const fs::path in = args.positional()[0];
    auto kind = kindOption(args, import::kindFromFileName(in));
    if (!kind)
        return usage(kDuration, "--kind must be plain, A2 or RT");
    // The header and the file's length give the duration; the body is not read.
    if (!import::isCompressedName(in)) {
        const auto h = signal::readDeviceHeader(in, *kind);
        if (!h)
            return fail(h.message);
        std::cout << signal::filedDuration(h.value.header, h.value.fileLength, *kind) << '\n';
        return kOk;
    }
    signal::BytesResult file = readInput(in, *kind);
    if (!file)
        return fail(file.message);
    auto header = signal::DeviceHeader::parse(file.value);
    std::cout << signal::filedDuration(*header, file.value.size(), *kind) << '\n';
    return kOk;
}

} // namespace
} // namespace velkard::cli
