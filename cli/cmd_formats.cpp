// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli import: an ECG file of another system (EDF/EDF+/BDF, DICOM, SCP-ECG, HL7 aECG, GDF,
// WFDB) read, described, converted into a recording file or filed into a patient's card; and the
// `convert` of such files.
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "filing/Store.h"
#include "formats/EcgFile.h"
#include "formats/Instrument.h"
#include "signal/FileIo.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;

int runImport(const std::vector<std::string>& argv);

const Command kImport{
    "import", "read an EDF, BDF, DICOM, SCP-ECG, aECG, GDF or WFDB file; convert or file it",
    "Usage: velkard-cli import FILE [--out REC.dat] [--into ID] [--dir DIR]\n\n"
    "Reads the ECG file FILE of another system (EDF/EDF+/BDF through EDFlib, DICOM 12-lead and\n"
    "General ECG waveforms through DCMTK, SCP-ECG, HL7 aECG and GDF through BioSig, a PhysioNet\n"
    "WFDB record by its .hea header), resamples every lead to 800 Hz (polyphase windowed-sinc\n"
    "filter) and converts it into the instrument's units, and prints one JSON object: kind, rate,\n"
    "samples, seconds, present and absent leads, clipped values (beyond the instrument's range;\n"
    "clipped, never wrapped), the patient fields of the file, start, annotations, origin, notes.\n"
    "  --out REC.dat  also writes the recording file (absent leads are stored as zero channels,\n"
    "                 named in REC.lds beside it, which measure, print and display read);\n"
    "                 never over a file the import reads (a WFDB record's own .dat)\n"
    "  --into ID      files it into the card of patient ID under the next number (date and time\n"
    "                 from the file, else now); the audit log of the card file keeps where it\n"
    "                 came from, the absent leads and the clipped values; prints \"number\"\n"
    "  --dir DIR      working folder that holds DATA_BASE (default: the current folder)\n",
    runImport};

const Registration regImport{kImport};

std::string json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\')
            out += '\\', out += static_cast<char>(c);
        else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string leadArray(const formats::LeadSet& leads, bool present) {
    std::string out = "[";
    for (int l = 0; l < signal::kLeadCount; ++l)
        if (leads[static_cast<std::size_t>(l)] == present)
            out += std::string(out.size() > 1 ? "," : "") +
                   json(signal::kStandardLeadNames[static_cast<std::size_t>(l)]);
    return out + "]";
}

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v % 100);
    return b;
}

struct Converted {
    formats::EcgFile file;
    formats::InstrumentEcg inst;
};

Result<Converted> readAndConvert(const fs::path& in) {
    auto read = formats::readEcgFile(in);
    if (!read)
        return Result<Converted>::failure(read);
    auto inst = formats::toInstrument(read.value);
    if (!inst)
        return Result<Converted>::failure(inst.code, in.string() + ": " + inst.message);
    return Result<Converted>::success({std::move(read.value), std::move(inst.value)});
}

int runImport(const std::vector<std::string>& argv) {
    Args args(argv, {"out", "into", "dir"}, {});
    if (!args.ok())
        return usage(kImport, args.error());
    if (args.positional().size() != 1)
        return usage(kImport, "expects one file");
    const fs::path in = args.positional()[0];
    std::string id;
    if (auto into = args.value("into")) {
        id = *into;
        if (id.size() < 8 && !id.empty())
            id = std::string(8 - id.size(), ' ') + id;
        if (!cardfile::isValidPatientId(id))
            return usage(kImport, "'" + *into + "' is not a patient ID");
    }
    if (auto out = args.value("out"))
        if (const std::string refused = overwritesInput(*out, formats::filesRead(in));
            !refused.empty())
            return fail(refused);
    auto c = readAndConvert(in);
    if (!c)
        return fail(c.message);
    const formats::EcgFile& f = c.value.file;
    const formats::InstrumentEcg& inst = c.value.inst;
    const std::vector<std::uint8_t> body = inst.bytes();
    std::string leadsNote;
    if (auto out = args.value("out")) {
        if (Status st = signal::writeFileAtomically(*out, body); !st)
            return fail(st.message);
        leadsNote = writeLeadsBeside(*out, inst.present, body, formats::filesRead(in));
    }
    int number = 0;
    if (!id.empty()) {
        const fs::path dir = args.valueOr("dir", ".");
        std::error_code ec;
        if (!fs::is_directory(dir, ec))
            return fail("working folder '" + dir.string() + "' does not exist");
        std::string date, time;
        if (f.start && f.start->year > 0) {
            date = two(f.start->day) + "." + two(f.start->month) + "." +
                   std::to_string(f.start->year % 10000);
            time = two(f.start->hour) + ":" + two(f.start->minute) + ":" + two(f.start->second);
        } else {
            const std::time_t now = std::time(nullptr);
            std::tm t{};
            localtime_r(&now, &t);
            date =
                two(t.tm_mday) + "." + two(t.tm_mon + 1) + "." + std::to_string(t.tm_year + 1900);
            time = two(t.tm_hour) + ":" + two(t.tm_min) + ":" + two(t.tm_sec);
        }
        const long seconds = static_cast<long>(
            (inst.records.size() + signal::kRecordsPerSecond / 2) / signal::kRecordsPerSecond);
        auto filed = filing::storeConvertedRecording(
            cardfile::CardFile(dir), id, body, date, time, seconds,
            formats::originLine(f, inst, in.filename().string()), &inst.present);
        if (!filed && filed.value == 0)
            return fail(filed.message);
        if (!filed)
            std::cerr << "velkard-cli: import: " << filed.message << '\n';
        number = filed.value;
    }
    std::ostringstream o;
    o << "{\"kind\":" << json(std::string(formats::kindName(f.kind))) << ",\"rate\":" << f.rate
      << ",\"samples\":" << f.samples() << ",\"seconds\":" << f.seconds()
      << ",\"records\":" << inst.records.size() << ",\"present\":" << leadArray(inst.present, true)
      << ",\"absent\":" << leadArray(inst.present, false) << ",\"clipped\":" << inst.clipped
      << ",\"patient\":{\"name\":" << json(f.patient.name) << ",\"id\":" << json(f.patient.id)
      << ",\"birthDate\":" << json(f.patient.birthDate) << ",\"sex\":" << json(f.patient.sex) << "}"
      << ",\"start\":";
    if (f.start)
        o << json(std::to_string(f.start->year) + "-" + two(f.start->month) + "-" +
                  two(f.start->day) + " " + two(f.start->hour) + ":" + two(f.start->minute) + ":" +
                  two(f.start->second));
    else
        o << "null";
    o << ",\"annotations\":[";
    for (std::size_t a = 0; a < f.annotations.size() && a < 1000; ++a)
        o << (a ? "," : "") << "{\"onset\":" << f.annotations[a].onsetSeconds
          << ",\"duration\":" << f.annotations[a].durationSeconds
          << ",\"text\":" << json(f.annotations[a].text) << "}";
    o << "],\"origin\":" << json(f.origin) << ",\"notes\":[";
    std::vector<std::string> notes = f.notes;
    notes.insert(notes.end(), inst.notes.begin(), inst.notes.end());
    if (!leadsNote.empty())
        notes.push_back(leadsNote);
    for (std::size_t n = 0; n < notes.size(); ++n)
        o << (n ? "," : "") << json(notes[n]);
    o << "]";
    if (number > 0)
        o << ",\"number\":" << number;
    o << "}\n";
    std::cout << o.str();
    return kOk;
}

// `convert IN OUT.dat` of a file of another system.
int convertForeign(const std::vector<std::string>& argv) {
    Args args(argv, {"kind"}, {});
    if (!args.ok() || args.positional().size() != 2)
        return fail("convert expects IN and OUT.dat");
    const fs::path in = args.positional()[0], out = args.positional()[1];
    if (const std::string refused = overwritesInput(out, formats::filesRead(in)); !refused.empty())
        return fail(refused);
    auto c = readAndConvert(in);
    if (!c)
        return fail(c.message);
    const std::vector<std::uint8_t> body = c.value.inst.bytes();
    if (Status st = signal::writeFileAtomically(out, body); !st)
        return fail(st.message);
    if (const std::string note =
            writeLeadsBeside(out, c.value.inst.present, body, formats::filesRead(in));
        !note.empty())
        std::cerr << "velkard-cli: convert: " << note << '\n';
    std::cout << out.string() << ": " << c.value.inst.records.size() << " records (plain, from "
              << formats::kindName(c.value.file.kind) << "; absent: "
              << (formats::leadNames(c.value.inst.present, false).empty()
                      ? std::string("none")
                      : formats::leadNames(c.value.inst.present, false))
              << "; clipped: " << c.value.inst.clipped << ")\n";
    return kOk;
}

const bool convertSet = (foreignConvert() = convertForeign, true);

ForeignRecording readForeign(const fs::path& in) {
    ForeignRecording out;
    auto c = readAndConvert(in);
    if (!c) {
        out.error = c.message;
        return out;
    }
    out.bytes = c.value.inst.bytes();
    out.present = c.value.inst.present;
    return out;
}

const bool recordingSet = (foreignRecording() = readForeign, true);

} // namespace
} // namespace velkard::cli
