// SPDX-License-Identifier: GPL-3.0-or-later
// Small POSIX file helpers of the card file: whole reads, positioned writes that undo a partial
// append, and replacement through a flushed, uniquely named temporary file.
#pragma once

#include "signal/Status.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The Status of these helpers carries the system's text alone (strerror), without the file name.
namespace velkard::cardfile::io {

// Every temporary file of a rewrite starts with this; they exist only while the card-file lock is
// held, so any found when the lock is taken was left by a crash.
inline constexpr std::string_view kTempPrefix = ".velkard-tmp-";

// A recording being written before the lock is taken (so a large one does not keep other
// workstations waiting) starts with this. Its writer holds a lock on it until it is filed, so only
// the files of crashed writers can be locked by anyone else.
inline constexpr std::string_view kIncomingPrefix = ".velkard-incoming-";
// Recordings found after a crash, kept under this prefix in DATA_BASE; never deleted by the
// program.
inline constexpr std::string_view kUnfiledPrefix = "unfiled_";
// Bytes of one sample record: a smaller abandoned file holds nothing recorded.
inline constexpr std::size_t kAbandonedRecordMinimum = 16;

// Length of a file; 0 when it cannot be opened.
std::uint64_t fileLength(const std::filesystem::path& path);
// Whether the path names a regular file (symbolic links followed).
bool isRegularFile(const std::filesystem::path& path);
// Whether the path names nothing at all (not even a dangling link).
bool isMissing(const std::filesystem::path& path);
// The whole file, or nullopt when it cannot be opened or read, is not a regular file, or is
// larger than maxBytes.
std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path,
                                                  std::uint64_t maxBytes = std::uint64_t{1} << 30);
// Creates the file empty when missing; an existing file is left as it is (and must be a writable
// regular file).
Status ensureFile(const std::filesystem::path& path);
// Writes `bytes` at `offset` and flushes. With restoreLengthOnFailure a failed write truncates the
// file back to its previous length, so a full disk leaves no torn record behind.
Status writeAt(const std::filesystem::path& path, std::uint64_t offset,
               std::span<const std::uint8_t> bytes, bool restoreLengthOnFailure);
Status truncateTo(const std::filesystem::path& path, std::uint64_t length);
// Writes `bytes` to a new temporary file in the target's folder (mkstemp), flushes it and renames
// it over `target`: a crash leaves either the old or the new file whole. A target that exists but
// is not a regular file (a folder, a device node, a pipe) is refused and left alone.
Status replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);
// A new file in `folder` with a lock held on it while the object lives; the destructor deletes
// the file unless it was moved away. Create it while holding the card-file lock (in any mode),
// so no cleanup sees it before it is locked; write it afterwards.
class IncomingFile {
public:
    IncomingFile() = default;
    ~IncomingFile();
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;
    Status create(const std::filesystem::path& folder);
    // Writes `bytes` and flushes them.
    Status write(std::span<const std::uint8_t> bytes);
    const std::filesystem::path& path() const { return path_; }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};
// An incoming file whose writer is gone (call with the card-file lock held exclusively): one
// holding at least a whole sample record is a recording cut short by a crash and is kept, renamed
// to "unfiled_<yyyymmdd-hhmmss>_<unique>.dat" beside it; an emptier one is deleted. A file whose
// writer still holds it is left alone.
void keepIfAbandoned(const std::filesystem::path& path);

// Appends `line` to a log file (created when missing) opened with O_APPEND and flushes it: lines
// are only ever added, never rewritten.
Status appendToLog(const std::filesystem::path& path, std::string_view line);

// Deletes a file; a missing one is no error.
Status removeFile(const std::filesystem::path& path);
// Renames a file (replacing a regular file at `to`).
Status renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Flushes a file's data (written by another descriptor) to the disk.
Status syncFile(const std::filesystem::path& path);
// Flushes a folder, so renames and deletions in it survive a power cut.
void syncFolder(const std::filesystem::path& folder);

} // namespace velkard::cardfile::io
