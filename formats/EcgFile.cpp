// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/EcgFile.h"

#include "import/WfdbRecording.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>

namespace velkard::formats {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return std::string(s);
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string_view kindName(Kind kind) {
    switch (kind) {
    case Kind::Edf:
        return "EDF";
    case Kind::Bdf:
        return "BDF";
    case Kind::Dicom:
        return "DICOM";
    case Kind::Scp:
        return "SCP-ECG";
    case Kind::Aecg:
        return "HL7 aECG";
    case Kind::Wfdb:
        return "WFDB";
    case Kind::Gdf:
        return "GDF";
    }
    return "?";
}

std::size_t EcgFile::samples() const {
    for (const auto& l : leads)
        if (!l.empty())
            return l.size();
    return 0;
}

int EcgFile::presentCount() const {
    return static_cast<int>(
        std::count_if(leads.begin(), leads.end(), [](const auto& l) { return !l.empty(); }));
}

std::optional<Kind> detectKind(const std::filesystem::path& path) {
    const std::string ext = lower(path.extension().string());
    if (ext == ".hea")
        return Kind::Wfdb;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return detectKindOfHead(head, ext);
}

std::vector<std::filesystem::path> filesRead(const std::filesystem::path& path) {
    if (detectKind(path) == Kind::Wfdb)
        return velkard::import::wfdb::recordFiles(path);
    return {path};
}

EcgResult readEcgFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return EcgResult::failure(ErrorCode::CannotOpen, path.string() + ": no such file");
    if (!std::filesystem::is_regular_file(path, ec))
        return EcgResult::failure(ErrorCode::NotRegularFile, path.string() + " is not a file");
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxFileBytes)
        return EcgResult::failure(ErrorCode::TooLarge, path.string() + " is larger than 2 GB");
    const auto kind = detectKind(path);
    if (!kind)
        return EcgResult::failure(ErrorCode::NotAnEcg,
                                  path.string() + " is none of the ECG formats read here");
    switch (*kind) {
    case Kind::Edf:
    case Kind::Bdf:
        return readEdf(path);
    case Kind::Dicom:
        return readDicom(path);
    case Kind::Scp:
    case Kind::Aecg:
    case Kind::Gdf:
        return readBioSig(path);
    case Kind::Wfdb:
        return readWfdb(path);
    }
    return EcgResult::failure(ErrorCode::NotAnEcg, path.string() + ": unknown format");
}

std::optional<int> leadOfLabel(std::string_view label) {
    std::string s = lower(trimmed(label));
    for (std::string_view prefix : {"mdc_ecg_lead_", "ecg lead ", "ekg lead ", "ecg ", "ekg ",
                                    "ecg-", "ekg-", "ecg_", "ekg_", "lead ", "lead-", "lead_"})
        if (startsWith(s, prefix)) {
            s = trimmed(s.substr(prefix.size()));
            break;
        }
    for (std::string_view suffix : {"-ref", "-avg", "-ave", "-wct", " (ref)"})
        if (s.size() > suffix.size() &&
            s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0)
            s = trimmed(s.substr(0, s.size() - suffix.size()));
    if (s == "d1" || s == "di")
        return velkard::import::wfdb::leadOfName("i");
    if (s == "d2" || s == "dii")
        return velkard::import::wfdb::leadOfName("ii");
    if (s == "d3" || s == "diii")
        return velkard::import::wfdb::leadOfName("iii");
    if (s.empty())
        return std::nullopt;
    return velkard::import::wfdb::leadOfName(s);
}

std::optional<double> microvoltsPerUnit(std::string_view unit) {
    std::string u = trimmed(unit);
    // "µ" in UTF-8 or Latin-1, and the micro sign's Greek twin.
    for (std::string_view micro : {"\xC2\xB5", "\xCE\xBC", "\xB5"})
        if (startsWith(u, micro)) {
            u.erase(0, micro.size());
            u.insert(u.begin(), 'u');
            break;
        }
    u = lower(u);
    if (u == "uv")
        return 1.0;
    if (u == "mv")
        return 1000.0;
    if (u == "v")
        return 1e6;
    if (u == "nv")
        return 1e-3;
    return std::nullopt;
}

Status checkBounds(const EcgFile& file, const std::string& name) {
    if (!std::isfinite(file.rate) || file.rate < kMinRate || file.rate > kMaxRate)
        return Status::failure(ErrorCode::BadData, name + ": sampling rate " +
                                                       std::to_string(file.rate) +
                                                       " Hz is not from 50 to 20000 Hz");
    if (file.presentCount() == 0) {
        // Say why: signals whose names give no lead (two "ECG" signals of a Holter record) are
        // not guessed at.
        std::string why;
        for (const std::string& note : file.notes)
            why += (why.empty() ? " (" : "; ") + note;
        return Status::failure(ErrorCode::NotAnEcg,
                               name + " holds no ECG lead" + (why.empty() ? "" : why + ")"));
    }
    const std::size_t n = file.samples();
    if (n == 0)
        return Status::failure(ErrorCode::EmptyRecording, name + " holds no samples");
    std::int64_t total = 0;
    for (const auto& l : file.leads) {
        if (l.empty())
            continue;
        if (l.size() != n)
            return Status::failure(ErrorCode::BadData, name + ": its leads differ in length");
        total += static_cast<std::int64_t>(l.size());
        for (double v : l)
            if (!std::isfinite(v))
                return Status::failure(ErrorCode::BadData,
                                       name + " holds a sample that is not a number");
    }
    if (total > kMaxTotalSamples || static_cast<double>(n) / file.rate > kMaxSeconds)
        return Status::failure(ErrorCode::TooLarge, name + " is longer than the 4 hours read here");
    return Status::success();
}

void placeSignals(std::vector<SignalIn> signals, EcgFile& out, bool ecgOfSeveral) {
    std::vector<std::size_t> unnamed;
    for (std::size_t s = 0; s < signals.size(); ++s) {
        const auto lead = leadOfLabel(signals[s].label);
        if (lead && out.leads[static_cast<std::size_t>(*lead)].empty() &&
            !signals[s].microvolts.empty()) {
            out.leads[static_cast<std::size_t>(*lead)] = std::move(signals[s].microvolts);
            out.labels[static_cast<std::size_t>(*lead)] = signals[s].label;
        } else {
            unnamed.push_back(s);
        }
    }
    if (out.presentCount() == 0 && !unnamed.empty() && (unnamed.size() == 1 || ecgOfSeveral)) {
        const auto saysEcg = [&](std::size_t s) {
            const std::string l = lower(signals[s].label);
            return l.find("ecg") != std::string::npos || l.find("ekg") != std::string::npos;
        };
        const auto chosen = std::find_if(unnamed.begin(), unnamed.end(), saysEcg);
        const std::size_t pick = chosen != unnamed.end() ? *chosen : unnamed.front();
        if (!signals[pick].microvolts.empty()) {
            SignalIn& s = signals[pick];
            out.notes.push_back("signal \"" + s.label + "\" names no lead: shown as lead II");
            out.leads[signal::StandardLeadII] = std::move(s.microvolts);
            out.labels[signal::StandardLeadII] = s.label;
            for (std::size_t other : unnamed)
                if (other != pick)
                    out.notes.push_back("signal \"" + signals[other].label +
                                        "\" left out: it names no lead, and another was read as "
                                        "lead II");
            return;
        }
    }
    for (std::size_t s : unnamed)
        out.notes.push_back(
            "signal \"" + signals[s].label + "\" left out: " +
            (leadOfLabel(signals[s].label) ? "its lead came earlier" : "it names no lead"));
}

} // namespace velkard::formats
