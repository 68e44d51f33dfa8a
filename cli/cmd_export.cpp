// SPDX-License-Identifier: GPL-3.0-or-later
// Export commands: a card-file recording or a bare recording file into EDF+, DICOM, SCP-ECG or
// HL7 aECG.
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "export/CardFileExport.h"
#include "export/Export.h"

#include <filesystem>
#include <iostream>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;
namespace ex = velkard::exporting;

extern const Command kExport;
extern const Command kExportFile;

// The format from --format, else from OUT's extension.
std::optional<ex::Format> chosenFormat(const Command& cmd, const Args& args, const fs::path& out) {
    if (auto name = args.value("format")) {
        auto f = ex::formatFromName(*name);
        if (!f)
            usage(cmd, "--format must be one of edf, dicom, scp, aecg");
        return f;
    }
    auto f = ex::formatFromPath(out);
    if (!f)
        usage(cmd, "cannot tell the format from '" + out.filename().string() +
                       "'; use .edf, .dcm, .scp or .xml, or --format");
    return f;
}

int runExport(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "format"}, {});
    if (!args.ok())
        return usage(kExport, args.error());
    if (args.positional().size() != 3)
        return usage(kExport, "expected a patient ID, a record number and an output file");
    std::string id = args.positional()[0];
    if (id.size() < 8 && !id.empty())
        id = std::string(8 - id.size(), ' ') + id;
    if (!cardfile::isValidPatientId(id))
        return usage(kExport, "'" + args.positional()[0] + "' is not a patient ID");
    auto number = intValue(args.positional()[1], 1, cardfile::kMaxRecordNumber);
    if (!number)
        return usage(kExport, "'" + args.positional()[1] + "' is not a record number (1..999)");
    const fs::path out = args.positional()[2];
    auto format = chosenFormat(kExport, args, out);
    if (!format)
        return kUsage;
    const fs::path dir = args.valueOr("dir", ".");
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return fail("working folder '" + dir.string() + "' does not exist");
    auto s = ex::exportCardFileRecording(cardfile::CardFile(dir), id, static_cast<int>(*number),
                                         *format, out);
    if (!s)
        return fail(s.message);
    return kOk;
}

int runExportFile(const std::vector<std::string>& argv) {
    Args args(argv, {"format", "kind"}, {});
    if (!args.ok())
        return usage(kExportFile, args.error());
    if (args.positional().size() != 2)
        return usage(kExportFile, "expected a recording file and an output file");
    const fs::path rec = args.positional()[0];
    const fs::path out = args.positional()[1];
    auto format = chosenFormat(kExportFile, args, out);
    if (!format)
        return kUsage;
    signal::RecordingKind kind = signal::RecordingKind::Plain;
    const std::string kindText = args.valueOr("kind", "plain");
    if (kindText == "A2")
        kind = signal::RecordingKind::A2;
    else if (kindText != "plain")
        return usage(kExportFile, "--kind must be plain or A2");
    auto s = ex::exportRecordingFile(rec, kind, *format, out);
    if (!s)
        return fail(s.message);
    return kOk;
}

const char* const kFormatsHelp =
    "  --format F  edf, dicom, scp or aecg; by default from OUT's extension:\n"
    "              .edf EDF+, .dcm DICOM ECG waveform, .scp SCP-ECG, .xml HL7 aECG\n";

const Command kExport{
    "export", "exports a card-file recording to EDF+, DICOM, SCP-ECG or HL7 aECG",
    std::string("Usage: velkard-cli export ID NUMBER OUT [--dir DIR] [--format F]\n\n"
                "Writes recording NUMBER of patient ID with the twelve leads at 800 Hz as\n"
                "recorded and the patient's name, ID, birth date and sex.\n") +
        kFormatsHelp +
        "  --dir DIR   working folder that holds DATA_BASE (default: the current folder)\n",
    runExport};
const Command kExportFile{
    "export-file", "exports a recording file (no patient data)",
    std::string("Usage: velkard-cli export-file REC OUT [--format F] [--kind plain|A2]\n\n"
                "Writes the recording file REC with the twelve leads at 800 Hz as recorded.\n") +
        kFormatsHelp + "  --kind K    A2 for an A2 recording (lead II alone after 10.05 s)\n",
    runExportFile};

const Registration kRegisterExport{kExport};
const Registration kRegisterExportFile{kExportFile};

} // namespace
} // namespace velkard::cli
