// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli: a headless companion over the program's libraries.
//
// Each group of subcommands lives in its own cli/cmd_*.cpp and registers itself with a static
// Registration object, so subsystems add commands without touching a shared table.
// Exit status: 0 success, 1 failure of the input or the disk, 2 wrong usage.
#pragma once

#include "signal/Recording.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velkard::cli {

inline constexpr int kOk = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

// Parsed arguments of one subcommand: positionals and --options (with or without a value).
class Args {
public:
    Args(std::vector<std::string> argv, std::vector<std::string> valueOptions,
         std::vector<std::string> flagOptions);

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
    std::string valueOr(const std::string& name, const std::string& fallback) const;
    bool wantsHelp() const { return help_; }

private:
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::string error_;
    bool help_ = false;
};

struct Command {
    std::string name;
    std::string summary; // one line for the command list
    std::string help;    // full --help text
    std::function<int(const std::vector<std::string>& args)> run;
};

std::vector<Command>& registry();

struct Registration {
    explicit Registration(Command c) { registry().push_back(std::move(c)); }
};

// Error helpers: one clear line on stderr, return the status.
// How `convert` turns a file of another system (EDF, DICOM, SCP-ECG, aECG, GDF, WFDB) into a
// recording file: set by the readers' commands in velkard-cli-qt, empty in velkard-cli, which then
// hands the command over (handOverCommand; it returns only when velkard-cli-qt is not found).
std::function<int(const std::vector<std::string>&)>& foreignConvert();
// Whether `path` is an ECG file of another system (formats/Detect.h: its first bytes and name).
bool isForeignEcg(const std::filesystem::path& path);
// Such a file as Import converts it: the recording file's bytes and the leads it carries, or
// why it cannot be read (error). Set by the readers' commands in velkard-cli-qt like
// foreignConvert; `measure` hands itself over when it is empty.
struct ForeignRecording {
    std::vector<std::uint8_t> bytes;
    std::array<bool, 12> present{};
    std::string error;
};
std::function<ForeignRecording(const std::filesystem::path&)>& foreignRecording();
// The kind a card-file recording (<id>_<n>.dat in DATA_BASE) was filed as, by its entry in the
// patient's archive beside it (DATA_BASE/<id>); nullopt for a file that is no such recording.
std::optional<signal::RecordingKind> kindInCardFile(const std::filesystem::path& recording);
// The kind --kind names (plain, A2 or RT), `fallback` without it; nullopt for another value.
std::optional<signal::RecordingKind> kindOption(const Args& args, signal::RecordingKind fallback);
// The leads a card-file recording carries by the lead list beside it (<id>_<n>.lds), when that
// list was written for these very bytes; all twelve otherwise.
std::array<bool, 12> leadsBeside(const std::filesystem::path& recording,
                                 std::span<const std::uint8_t> bytes);
// Where `present` lacks a lead, writes the lead list for `bytes` beside the recording file
// `recording` (REC.lds, as the card file keeps it), so measure, print and display leave the flat
// channels of the absent leads out; "" when written or not needed, else why it was not written.
// Never over a file of `inputs`, nor over the recording itself.
std::string writeLeadsBeside(const std::filesystem::path& recording,
                             const std::array<bool, 12>& present,
                             std::span<const std::uint8_t> bytes,
                             const std::vector<std::filesystem::path>& inputs);
void handOverCommand(const std::string& command, const std::vector<std::string>& args);

int fail(const std::string& message);
// Where `out` is one of the files a command reads (the same file under any name), the message
// that refuses to write it; empty otherwise. Writing it would destroy what is being read.
std::string overwritesInput(const std::filesystem::path& out,
                            const std::vector<std::filesystem::path>& inputs);
int usage(const Command& cmd, const std::string& message);

// Parses an integer option; returns nullopt and prints a usage line when it is not a whole number
// in [lo, hi].
std::optional<long> intValue(const std::string& text, long lo, long hi);

} // namespace velkard::cli
