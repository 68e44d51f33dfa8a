// SPDX-License-Identifier: GPL-3.0-or-later
// Export commands: a card-file recording or a bare recording file into EDF+, DICOM, SCP-ECG or
// HL7 aECG.
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "export/CardFileExport.h"
#include "export/Export.h"
#include "interpret/Interpret.h"

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

// The statements' language from --lang (ru by default).
std::optional<interpret::Language> chosenLanguage(const Command& cmd, const Args& args) {
    const std::string lang = args.valueOr("lang", "ru");
    if (lang == "ru")
        return interpret::Language::Russian;
    if (lang == "en")
        return interpret::Language::English;
    usage(cmd, "--lang must be ru or en");
    return std::nullopt;
}

int runExport(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "format", "lang"}, {});
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
    const auto language = chosenLanguage(kExport, args);
    if (!language)
        return kUsage;
    const fs::path dir = args.valueOr("dir", ".");
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return fail("working folder '" + dir.string() + "' does not exist");
    auto s = ex::exportCardFileRecording(cardfile::CardFile(dir), id, static_cast<int>(*number),
                                         *format, out, *language);
    if (!s)
        return fail(s.message);
    return kOk;
}

int runExportFile(const std::vector<std::string>& argv) {
    Args args(argv, {"format", "kind", "lang"}, {});
    if (!args.ok())
        return usage(kExportFile, args.error());
    if (args.positional().size() != 2)
        return usage(kExportFile, "expected a recording file and an output file");
    const fs::path rec = args.positional()[0];
    const fs::path out = args.positional()[1];
    auto format = chosenFormat(kExportFile, args, out);
    if (!format)
        return kUsage;
    // Without --kind, a card-file recording is of the kind its archive entry says.
    const auto kind = kindOption(args, kindInCardFile(rec).value_or(signal::RecordingKind::Plain));
    if (!kind || (args.has("kind") && kind == signal::RecordingKind::Rhythmogram))
        return usage(kExportFile, "--kind must be plain or A2");
    const auto language = chosenLanguage(kExportFile, args);
    if (!language)
        return kUsage;
    auto s = ex::exportRecordingFile(rec, *kind, *format, out, {}, *language);
    if (!s)
        return fail(s.message);
    return kOk;
}

const char* const kFormatsHelp =
    "  --format F  edf, dicom, scp or aecg; by default from OUT's extension:\n"
    "              .edf EDF+, .dcm DICOM ECG waveform, .scp SCP-ECG, .xml HL7 aECG\n"
    "  --lang L    ru or en: the language of the statements' texts (default ru)\n";

const Command kExport{
    "export", "exports a card-file recording to EDF+, DICOM, SCP-ECG or HL7 aECG",
    std::string("Usage: velkard-cli export ID NUMBER OUT [--dir DIR] [--format F] [--lang L]\n\n"
                "Writes recording NUMBER of patient ID with its leads at 800 Hz as recorded\n"
                "(those a lead list beside it names absent are left out), the patient's name,\n"
                "ID, birth date and sex, and the interpretation: the statements of the\n"
                "physician's confirmed report with the physician and time, otherwise the\n"
                "program's statements (unconfirmed).\n") +
        kFormatsHelp +
        "  --dir DIR   working folder that holds DATA_BASE (default: the current folder)\n",
    runExport};
const Command kExportFile{
    "export-file", "exports a recording file (no patient data)",
    std::string(
        "Usage: velkard-cli export-file REC OUT [--format F] [--kind plain|A2] [--lang L]\n\n"
        "Writes the recording file REC with its leads at 800 Hz as recorded (less those\n"
        "a lead list beside it names absent) and the program's statements of its first\n"
        "ten seconds.\n") +
        kFormatsHelp + "  --kind K    A2 for an A2 recording (lead II alone after 10.05 s)\n",
    runExportFile};

const Registration kRegisterExport{kExport};
const Registration kRegisterExportFile{kExportFile};

} // namespace
} // namespace velkard::cli
