// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli measure: beats and global measurements of a recording, as one JSON object.
#include "cli/Cli.h"
#include "interpret/Interpret.h"
#include "measure/Measurements.h"
#include "measure/Summary.h"
#include "signal/Leads.h"
#include "signal/Recording.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

namespace velkard::cli {
namespace {

int runMeasure(const std::vector<std::string>& argv);

const Command kMeasure{
    "measure", "print the heart rate, intervals, axes and amplitudes of a recording as JSON",
    "Usage: velkard-cli measure REC [--from S] [--seconds N] [--absent LEADS] [--sex M|F]\n"
    "                           [--age YEARS] [--lang ru|en] [--kind plain|A2]\n\n"
    "Detects every QRS complex of the recording file REC (or of N seconds of it from second S;\n"
    "default: the whole recording) and measures the span from its median beat. Prints one JSON\n"
    "object: heart_rate_bpm, rr_ms, p_ms, pr_ms, qrs_ms, qt_ms, qtc_bazett_ms,\n"
    "qtc_fridericia_ms, p_axis_deg, qrs_axis_deg, t_axis_deg (numbers, null where not\n"
    "measurable), beats (the record index of every QRS in the span, counted from the file's\n"
    "first record) and leads ({\"I\": {...}, ..., \"V6\": {...}}, each with q_ms, q_mv, r_mv,\n"
    "s_mv, r2_mv (R'), st_j_mv, st_60_mv, st_80_mv (ST at J, J+60 and J+80 ms), t_mv (signed),\n"
    "t_pos_mv, t_neg_mv and qrs_area (mV*ms); Q and S as positive depths, a QS complex as Q;\n"
    "and quality: off (flat or railed), noisy, mains, drift (booleans), steps (electrode steps),\n"
    "noise_mv and mains_mv, null for an absent lead; a lead that is off or noisy takes no part\n"
    "in the measurements).\n"
    "--absent I,III,... names leads the recording does not carry (as velkard-cli wfdb lists\n"
    "them): they take no part and their values are null. REC may also be a file of another\n"
    "system (EDF, BDF, DICOM, SCP-ECG, HL7 aECG, GDF, WFDB .hea), converted as Import does: the\n"
    "leads it lacks are absent; so are those a card-file recording's lead list (<id>_<n>.lds\n"
    "beside it) names.\n"
    "--kind A2: an A2 recording, whose twelve leads end after 10.05 s (lead II goes on alone):\n"
    "only that part is measured. A card-file recording (DATA_BASE/<id>_<n>.dat) is taken as its\n"
    "archive entry says, a device file as its name says (A2_...); a rhythmogram holds no ECG.\n"
    "statements: the interpretation, [{\"code\", \"text\", \"reason\"}] with the SCP-ECG code,\n"
    "the statement and the criterion with the measured values that met it, in the language of\n"
    "--lang (default ru). --sex and --age (the patient's) choose the thresholds that depend on\n"
    "them; without them the conservative one is used, and the reason says so.\n",
    runMeasure};

const Registration regMeasure{kMeasure};

std::optional<double> seconds(const std::string& text) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used != text.size() || !std::isfinite(v) || v < 0)
            return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

// A JSON string: quotes, backslashes and control characters escaped; UTF-8 passes as it is.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (static_cast<unsigned char>(ch) < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", static_cast<unsigned>(ch));
            out += b;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string toJson(const measure::Measurements& m, const measure::LeadSet& present,
                   const std::vector<interpret::Statement>& statements,
                   interpret::Language language) {
    std::ostringstream out;
    const std::pair<const char*, std::optional<double>> values[] = {
        {"heart_rate_bpm", m.heartRateBpm},
        {"rr_ms", m.rrMs},
        {"p_ms", m.pMs},
        {"pr_ms", m.prMs},
        {"qrs_ms", m.qrsMs},
        {"qt_ms", m.qtMs},
        {"qtc_bazett_ms", m.qtcBazettMs},
        {"qtc_fridericia_ms", m.qtcFridericiaMs},
        {"p_axis_deg", m.pAxisDeg},
        {"qrs_axis_deg", m.qrsAxisDeg},
        {"t_axis_deg", m.tAxisDeg},
    };
    out << "{";
    for (const auto& [key, value] : values)
        out << "\"" << key << "\": " << measure::fixedText(value, 1, "null") << ", ";
    out << "\"beats\": [";
    for (std::size_t i = 0; i < m.beats.size(); ++i)
        out << (i ? ", " : "") << m.beats[i];
    out << "], \"leads\": {";
    for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
        const measure::LeadAmplitudes& a = m.leads[l];
        const std::pair<const char*, std::optional<double>> lead[] = {
            {"q_ms", a.qMs},        {"q_mv", a.qMv},        {"r_mv", a.rMv},
            {"s_mv", a.sMv},        {"r2_mv", a.r2Mv},      {"st_j_mv", a.stJMv},
            {"st_60_mv", a.st60Mv}, {"st_80_mv", a.st80Mv}, {"t_mv", a.tMv},
            {"t_pos_mv", a.tPosMv}, {"t_neg_mv", a.tNegMv}, {"qrs_area", a.qrsArea},
        };
        out << (l ? ", " : "") << "\"" << signal::kStandardLeadNames[l] << "\": {";
        for (std::size_t k = 0; k < std::size(lead); ++k)
            out << (k ? ", " : "") << "\"" << lead[k].first
                << "\": " << measure::fixedText(lead[k].second, k == 0 || k == 11 ? 1 : 3, "null");
        const measure::LeadQuality& q = m.quality[l];
        auto flag = [](bool b) { return b ? "true" : "false"; };
        if (!present[l]) {
            out << ", \"quality\": null}";
            continue;
        }
        out << ", \"quality\": {\"off\": " << flag(q.off) << ", \"noisy\": " << flag(q.noisy)
            << ", \"mains\": " << flag(q.mains) << ", \"drift\": " << flag(q.drift)
            << ", \"steps\": " << q.steps
            << ", \"noise_mv\": " << measure::fixedText(q.noiseMv, 3, "null")
            << ", \"mains_mv\": " << measure::fixedText(q.mainsMv, 3, "null") << "}";
        out << "}";
    }
    out << "}, \"statements\": [";
    for (std::size_t i = 0; i < statements.size(); ++i)
        out << (i ? ", " : "") << "{\"code\": " << jsonString(statements[i].code)
            << ", \"text\": " << jsonString(statements[i].textIn(language))
            << ", \"reason\": " << jsonString(statements[i].reasonIn(language)) << "}";
    out << "]}";
    return out.str();
}

int runMeasure(const std::vector<std::string>& argv) {
    Args args(argv, {"from", "seconds", "absent", "sex", "age", "lang", "kind"}, {});
    if (!args.ok())
        return usage(kMeasure, args.error());
    if (args.positional().size() != 1)
        return usage(kMeasure, "expects one recording file");
    const auto from = seconds(args.valueOr("from", "0"));
    if (!from)
        return usage(kMeasure, "--from needs a number of seconds, 0 or more");
    std::optional<double> length;
    if (auto text = args.value("seconds")) {
        length = seconds(*text);
        if (!length || *length <= 0)
            return usage(kMeasure, "--seconds needs a number of seconds above 0");
    }

    interpret::Patient patient;
    if (auto sex = args.value("sex")) {
        if (*sex == "M" || *sex == "m")
            patient.sex = interpret::Sex::Male;
        else if (*sex == "F" || *sex == "f")
            patient.sex = interpret::Sex::Female;
        else
            return usage(kMeasure, "--sex needs M or F");
    }
    if (auto age = args.value("age")) {
        const auto years = intValue(*age, 0, 130);
        if (!years)
            return usage(kMeasure, "--age needs whole years from 0 to 130");
        patient.ageYears = static_cast<int>(*years);
    }
    const std::string lang = args.valueOr("lang", "ru");
    if (lang != "ru" && lang != "en")
        return usage(kMeasure, "--lang needs ru or en");
    const auto language =
        lang == "ru" ? interpret::Language::Russian : interpret::Language::English;

    measure::LeadSet present;
    present.fill(true);
    if (auto text = args.value("absent")) {
        std::stringstream names(*text);
        std::string name;
        while (std::getline(names, name, ',')) {
            std::size_t l = 0;
            while (l < signal::kLeadCount && name != signal::kStandardLeadNames[l])
                ++l;
            if (l == signal::kLeadCount)
                return usage(kMeasure, "--absent: \"" + name +
                                           "\" is not a lead name (I, II, III, "
                                           "aVR, aVL, aVF, V1..V6)");
            present[l] = false;
        }
    }

    const std::filesystem::path path = args.positional()[0];
    const auto kind = kindOption(args, kindInCardFile(path).value_or(signal::RecordingKind::Plain));
    if (!kind || (args.has("kind") && kind == signal::RecordingKind::Rhythmogram))
        return usage(kMeasure, "--kind needs plain or A2");
    if (kind == signal::RecordingKind::Rhythmogram)
        return fail(path.string() + " is a rhythmogram: it holds heart rates, no ECG to measure");

    signal::RecordingBuffer buffer;
    if (isForeignEcg(path)) {
        // A file of another system, converted as Import converts it; the leads it lacks are absent.
        if (!foreignRecording()) {
            handOverCommand("measure", argv);
            return fail("measuring " + path.string() +
                        " needs velkard-cli-qt, which was not found");
        }
        ForeignRecording read = foreignRecording()(path);
        if (!read.error.empty())
            return fail(read.error);
        buffer.assign(std::move(read.bytes));
        for (std::size_t l = 0; l < signal::kLeadCount; ++l)
            present[l] = present[l] && read.present[l];
    } else {
        if (const Status loaded = signal::loadRecording(path.string(), buffer); !loaded)
            return fail(loaded.message);
        // A card-file recording filed from such a file: the lead list beside it, when it is the
        // one written for this recording.
        const auto leads = leadsBeside(path, buffer.bytes);
        for (std::size_t l = 0; l < signal::kLeadCount; ++l)
            present[l] = present[l] && leads[l];
    }
    // An A2 recording's records after its twelve-lead part carry lead II alone (in c1): the other
    // channels hold no recording.
    std::size_t usable = buffer.records();
    if (kind == signal::RecordingKind::A2)
        usable = std::min<std::size_t>(usable, signal::kA2DerivedRecords);
    std::vector<signal::SampleRecord> records(usable);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i] = buffer.record(i);

    const auto first = static_cast<std::size_t>(std::llround(*from * signal::kRecordsPerSecond));
    if (first > records.size() || (first == records.size() && first > 0)) {
        std::ostringstream message;
        message << "--from " << *from << " s is past the end of " << args.positional()[0] << " ("
                << static_cast<double>(records.size()) / signal::kRecordsPerSecond << " s)";
        return fail(message.str());
    }
    const std::size_t count =
        length ? static_cast<std::size_t>(std::llround(*length * signal::kRecordsPerSecond))
               : records.size() - first;
    const interpret::Interpretation result =
        interpret::interpretSpan(records.data(), records.size(), first, count, &present, patient);
    std::cout << toJson(result.measurements, present, result.statements, language) << "\n";
    return kOk;
}

} // namespace
} // namespace velkard::cli
