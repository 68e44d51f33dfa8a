// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"
#include "cardfile/CardFile.h"
#include "cardfile/Records.h"
#include "formats/Detect.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

namespace velkard::cli {

std::function<int(const std::vector<std::string>&)>& foreignConvert() {
    static std::function<int(const std::vector<std::string>&)> convert;
    return convert;
}

std::function<ForeignRecording(const std::filesystem::path&)>& foreignRecording() {
    static std::function<ForeignRecording(const std::filesystem::path&)> read;
    return read;
}

bool isForeignEcg(const std::filesystem::path& in) {
    std::string ext = in.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::ifstream file(in, std::ios::binary);
    std::string head(4096, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, file.gcount())));
    return formats::detectKindOfHead(head, ext).has_value();
}

std::optional<signal::RecordingKind> kindInCardFile(const std::filesystem::path& given) {
    // Absolute, so that a bare file name given inside DATA_BASE still names its folder.
    std::error_code ec;
    const std::filesystem::path recording = std::filesystem::absolute(given, ec);
    if (ec)
        return std::nullopt;
    const std::string name = recording.filename().string();
    // DATA_BASE/"%8.8s_%2d.dat"
    if (recording.parent_path().filename() != cardfile::kDataFolder || name.size() != 15 ||
        name[8] != '_')
        return std::nullopt;
    const std::string id = name.substr(0, 8);
    const int number = std::atoi(name.substr(9, 2).c_str());
    if (number <= 0 || cardfile::recordingFileName(id, number) != name)
        return std::nullopt;
    const auto entries =
        cardfile::CardFile(recording.parent_path().parent_path()).listArchiveEntries(id);
    if (!entries)
        return std::nullopt;
    for (const cardfile::ArchiveEntry& entry : entries.value)
        if (entry.recordNumber() == number)
            return entry.isA2()       ? signal::RecordingKind::A2
                   : entry.isRhythm() ? signal::RecordingKind::Rhythmogram
                                      : signal::RecordingKind::Plain;
    return std::nullopt;
}

std::optional<signal::RecordingKind> kindOption(const Args& args, signal::RecordingKind fallback) {
    const auto text = args.value("kind");
    if (!text)
        return fallback;
    if (*text == "plain")
        return signal::RecordingKind::Plain;
    if (*text == "A2" || *text == "a2")
        return signal::RecordingKind::A2;
    if (*text == "RT" || *text == "rt")
        return signal::RecordingKind::Rhythmogram;
    return std::nullopt;
}

std::array<bool, 12> leadsBeside(const std::filesystem::path& recording,
                                 std::span<const std::uint8_t> bytes) {
    std::array<bool, 12> present{};
    present.fill(true);
    std::filesystem::path beside = recording;
    beside.replace_extension(".lds");
    if (std::ifstream in{beside, std::ios::binary}) {
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        if (auto leads = cardfile::decodeLeadsFile(text, bytes))
            present = *leads;
    }
    return present;
}

std::string writeLeadsBeside(const std::filesystem::path& recording,
                             const std::array<bool, 12>& present,
                             std::span<const std::uint8_t> bytes,
                             const std::vector<std::filesystem::path>& inputs) {
    if (std::all_of(present.begin(), present.end(), [](bool p) { return p; }))
        return "";
    std::filesystem::path beside = recording;
    beside.replace_extension(".lds");
    if (beside == recording)
        return "the lead list was not written: the recording file " + recording.string() +
               " has the lead list's name; give it another ending";
    std::vector<std::filesystem::path> kept = inputs;
    kept.push_back(recording);
    if (const std::string refused = overwritesInput(beside, kept); !refused.empty())
        return "the lead list " + beside.string() + " was not written: " + refused;
    const std::string text = cardfile::encodeLeadsFile(present, bytes);
    if (Status st = signal::writeFileAtomically(
            beside, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        !st)
        return "the lead list " + beside.string() + " was not written: " + st.message;
    return "";
}

std::vector<Command>& registry() {
    static std::vector<Command> commands;
    return commands;
}

Args::Args(std::vector<std::string> argv, std::vector<std::string> valueOptions,
           std::vector<std::string> flagOptions) {
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "--help" || a == "-h") {
            help_ = true;
        } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            std::string val;
            bool inlineValue = false;
            if (auto eq = name.find('='); eq != std::string::npos) {
                val = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
            if (contains(valueOptions, name)) {
                if (!inlineValue) {
                    if (i + 1 >= argv.size()) {
                        error_ = "option --" + name + " needs a value";
                        return;
                    }
                    val = argv[++i];
                }
                options_.emplace_back(name, val);
            } else if (contains(flagOptions, name) && !inlineValue) {
                options_.emplace_back(name, "");
            } else {
                error_ = "unknown option --" + name;
                return;
            }
        } else {
            positional_.push_back(a);
        }
    }
}

bool Args::has(const std::string& name) const {
    return std::any_of(options_.begin(), options_.end(),
                       [&](const auto& o) { return o.first == name; });
}

std::optional<std::string> Args::value(const std::string& name) const {
    for (auto it = options_.rbegin(); it != options_.rend(); ++it)
        if (it->first == name)
            return it->second;
    return std::nullopt;
}

std::string Args::valueOr(const std::string& name, const std::string& fallback) const {
    auto v = value(name);
    return v ? *v : fallback;
}

int fail(const std::string& message) {
    std::cerr << "velkard-cli: " << message << '\n';
    return kFailure;
}

std::string overwritesInput(const std::filesystem::path& out,
                            const std::vector<std::filesystem::path>& inputs) {
    std::error_code ec;
    for (const auto& in : inputs)
        if (std::filesystem::exists(in, ec) && std::filesystem::exists(out, ec) &&
            std::filesystem::equivalent(out, in, ec))
            return out.string() + " is " +
                   (in == out ? std::string("the file read")
                              : "a file read (" + in.string() + ")") +
                   ": writing it would destroy it; choose another name";
    return {};
}

int usage(const Command& cmd, const std::string& message) {
    std::cerr << "velkard-cli " << cmd.name << ": " << message << " (see velkard-cli " << cmd.name
              << " --help)\n";
    return kUsage;
}

std::optional<long> intValue(const std::string& text, long lo, long hi) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return std::nullopt;
    return v;
}

} // namespace velkard::cli
