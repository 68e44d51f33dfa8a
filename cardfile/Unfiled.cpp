// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Unfiled.h"

#include "cardfile/FileIo.h"
#include "signal/SampleRecord.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <system_error>

namespace velkard::cardfile {

namespace fs = std::filesystem;

namespace {

bool allOf(std::string_view s, std::size_t min, std::size_t max, bool hex) {
    return s.size() >= min && s.size() <= max && std::all_of(s.begin(), s.end(), [hex](char c) {
               return (c >= '0' && c <= '9') || (hex && c >= 'a' && c <= 'f');
           });
}

// "yyyymmdd-hhmmss"
bool isStamp(std::string_view s) {
    return s.size() == 15 && s[8] == '-' && allOf(s.substr(0, 8), 8, 8, false) &&
           allOf(s.substr(9), 6, 6, false);
}

// The parts of a name between underscores, its ".dat" taken off.
std::vector<std::string_view> partsOf(std::string_view name) {
    std::vector<std::string_view> parts;
    name.remove_suffix(4);
    for (std::size_t from = 0;;) {
        const std::size_t at = name.find('_', from);
        parts.push_back(name.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos)
            return parts;
        from = at + 1;
    }
}

// The patient a kept file's name gives (without the leading spaces of "%8lx"), or empty.
std::string idInName(const std::string& name) {
    if (!name.ends_with(".dat"))
        return {};
    const std::vector<std::string_view> p = partsOf(name);
    // Kept at Exit or after a failed Save: "<id>_unfiled_<yyyymmdd-hhmmss>[_n].dat".
    if ((p.size() == 3 || (p.size() == 4 && allOf(p[3], 1, SIZE_MAX, false))) &&
        allOf(p[0], 1, 8, true) && p[1] == "unfiled" && isStamp(p[2]))
        return std::string(p[0]);
    // A numbered recording without entry, moved aside: "unfiled_<stamp>_[n_]<id>_<number>.dat".
    if ((p.size() == 4 || (p.size() == 5 && allOf(p[2], 1, SIZE_MAX, false))) &&
        p[0] == "unfiled" && isStamp(p[1]) && allOf(p[p.size() - 2], 1, 8, true) &&
        allOf(p.back(), 1, 3, false))
        return std::string(p[p.size() - 2]);
    return {};
}

bool looksUnfiled(const std::string& name) {
    return name.size() > 4 && name.ends_with(".dat") &&
           (name.starts_with(io::kUnfiledPrefix) || name.find("_unfiled_") != std::string::npos);
}

std::string padded(const std::string& id) {
    return std::string(id.size() < 8 ? 8 - id.size() : 0, ' ') + id;
}

// Adds the unfiled recordings of one folder.
void listIn(const fs::path& folder, bool setAside,
            const Result<std::vector<PatientRecord>>& patients,
            std::vector<UnfiledRecording>& found) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return;
    for (const auto& e : it) {
        const std::string name = e.path().filename().string();
        if (!looksUnfiled(name))
            continue;
        struct stat st {};
        // A link or anything but a plain file is not a recording of this card file.
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const auto blocks = std::uint64_t(st.st_size) / signal::kBlockBytes;
        if (blocks == 0)
            continue;
        UnfiledRecording r;
        r.setAside = setAside;
        r.path = e.path();
        r.bytes = std::uint64_t(st.st_size);
        r.seconds = double(blocks) * 0.5;
        const std::string id = idInName(name);
        if (!id.empty() && patients) {
            for (const PatientRecord& p : patients.value)
                if (p.id == padded(id)) {
                    r.patientId = p.id;
                    r.patientName = p.name;
                    break;
                }
        }
        const std::time_t began = st.st_mtime - std::time_t(r.seconds);
        std::tm local{};
        if (::localtime_r(&began, &local)) {
            r.date = formatDate(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
            r.time = formatTime(local.tm_hour, local.tm_min, local.tm_sec);
        }
        found.push_back(std::move(r));
    }
}

} // namespace

std::vector<UnfiledRecording> listUnfiledRecordings(const CardFile& cardFile, bool withSetAside) {
    std::vector<UnfiledRecording> found;
    const auto patients = cardFile.listPatients();
    listIn(cardFile.dataDir(), false, patients, found);
    if (withSetAside)
        listIn(cardFile.dataDir() / "unfiled", true, patients, found);
    std::sort(found.begin(), found.end(),
              [](const UnfiledRecording& a, const UnfiledRecording& b) { return a.path < b.path; });
    return found;
}

Result<int> fileUnfiledRecording(const CardFile& cardFile, const UnfiledRecording& recording,
                                 std::string_view patientId) {
    const long seconds = std::lround(recording.seconds);
    return cardFile.fileRecordingFile(patientId, recording.path, recording.date, recording.time,
                                      EntryDuration::ofSeconds(seconds), kKindPlain);
}

Status setUnfiledAside(const CardFile& cardFile, const UnfiledRecording& recording) {
    const fs::path aside = cardFile.dataDir() / "unfiled";
    std::error_code ec;
    fs::create_directory(aside, ec);
    if (ec)
        return Status::failure(ErrorCode::CannotWrite, aside.string() + ": " + ec.message());
    fs::path target = aside / recording.path.filename();
    for (int n = 2; !io::isMissing(target); ++n)
        target = aside / (std::to_string(n) + "_" + recording.path.filename().string());
    auto moved = io::renameFile(recording.path, target);
    if (moved)
        io::syncFolder(aside);
    return moved;
}

} // namespace velkard::cardfile
