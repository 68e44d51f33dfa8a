// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli wfdb: a PhysioNet WFDB record as a recording file of the instrument.
#include "cli/Cli.h"
#include "import/WfdbRecording.h"
#include "signal/FileIo.h"

#include <cmath>
#include <iostream>
#include <sstream>

namespace velkard::cli {
namespace {

int runWfdb(const std::vector<std::string>& argv);

const Command kWfdb{
    "wfdb", "turn a WFDB record (PhysioNet) into a recording file",
    "Usage: velkard-cli wfdb RECORD.hea OUT [--adc-per-mv N]\n\n"
    "Reads the WFDB record (header and sample files in formats 16, 212 or 80), resamples every\n"
    "signal to 800 Hz (polyphase filter), converts it to the instrument's units and writes the\n"
    "eight-channel recording file OUT (III, II and the chest leads). Signals named I, II, III,\n"
    "aVR, aVL, aVF or V1..V6 take their lead; others take II when no limb lead is there, then the\n"
    "first free chest lead. Prints one JSON object: records, present and absent (lead names:\n"
    "absent leads are stored as flat channels, named in the lead list OUT.lds beside OUT, which\n"
    "measure, print and display read, so the flat channels are not measured) and notes.\n"
    "--adc-per-mv N replaces the gains of the header. Without it, gains that contradict the\n"
    "limb leads' samples (I + III = II holds on the stored values only: LUDB's) give way to\n"
    "1000 units per mV, and a note says so.\n",
    runWfdb};

const Registration regWfdb{kWfdb};

int runWfdb(const std::vector<std::string>& argv) {
    Args args(argv, {"adc-per-mv"}, {});
    if (!args.ok())
        return usage(kWfdb, args.error());
    if (args.positional().size() != 2)
        return usage(kWfdb, "expects a WFDB header and an output file");
    std::optional<double> adcPerMv;
    if (auto text = args.value("adc-per-mv")) {
        try {
            std::size_t used = 0;
            adcPerMv = std::stod(*text, &used);
            if (used != text->size() || !std::isfinite(*adcPerMv) || *adcPerMv <= 0)
                adcPerMv.reset();
        } catch (...) {
        }
        if (!adcPerMv)
            return usage(kWfdb, "--adc-per-mv needs a number above 0");
    }
    if (const std::string refused =
            overwritesInput(args.positional()[1], import::wfdb::recordFiles(args.positional()[0]));
        !refused.empty())
        return fail(refused);
    auto record = import::wfdb::readRecord(args.positional()[0]);
    if (!record)
        return fail(record.message);
    auto inst = import::wfdb::toInstrument(record.value, adcPerMv);
    if (!inst)
        return fail(inst.message);
    const auto& r = inst.value.records;
    static_assert(sizeof(signal::SampleRecord) == signal::kRecordBytes);
    std::vector<std::uint8_t> out(r.size() * signal::kRecordBytes);
    for (std::size_t i = 0; i < r.size(); ++i)
        for (std::size_t c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(&out[i * signal::kRecordBytes + 2 * c], r[i].c[c]);
    if (Status written = signal::writeFileAtomically(args.positional()[1], out); !written)
        return fail(written.message);
    const std::string leadsNote = writeLeadsBeside(args.positional()[1], inst.value.present, out,
                                                   import::wfdb::recordFiles(args.positional()[0]));
    if (!leadsNote.empty())
        inst.value.notes.push_back(leadsNote);
    std::ostringstream json;
    json << "{\"records\": " << r.size() << ", \"present\": [";
    bool first = true;
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        if (inst.value.present[l]) {
            json << (first ? "" : ", ") << "\"" << signal::kStandardLeadNames[l] << "\"";
            first = false;
        }
    json << "], \"absent\": [";
    first = true;
    for (std::size_t l = 0; l < signal::kLeadCount; ++l)
        if (!inst.value.present[l]) {
            json << (first ? "" : ", ") << "\"" << signal::kStandardLeadNames[l] << "\"";
            first = false;
        }
    json << "], \"notes\": [";
    for (std::size_t k = 0; k < inst.value.notes.size(); ++k) {
        std::string n;
        for (char ch : inst.value.notes[k])
            n += ch == '"' || ch == '\\' ? std::string("\\") + ch : std::string(1, ch);
        json << (k ? ", " : "") << "\"" << n << "\"";
    }
    json << "]}";
    std::cout << json.str() << "\n";
    return kOk;
}

} // namespace
} // namespace velkard::cli
