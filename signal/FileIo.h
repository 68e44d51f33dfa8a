// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reading, read-only file views and crash-safe file writing.
#pragma once

#include "signal/Status.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace velkard::signal {

// Reads the named file whole. Fails with a message naming the file when it cannot be opened or
// read, or when it is larger than maxBytes.
BytesResult readWholeFile(const std::filesystem::path& path,
                          std::uint64_t maxBytes = std::uint64_t{1} << 32);

class FileBytes;
using FileBytesResult = Result<FileBytes>;

// The read-only bytes of a whole file: a private mapping of the file, or bytes held in memory.
// Opening costs the same whatever the size; pages are read when first touched. Copies share the
// bytes. The program replaces its files through a rename and writes recordings as new files, so a
// mapped file keeps its content while it is shown.
class FileBytes {
public:
    using value_type = std::uint8_t;
    using const_iterator = const std::uint8_t*;
    using iterator = const_iterator;

    FileBytes() = default;
    // Bytes held in memory.
    explicit FileBytes(std::vector<std::uint8_t> bytes);

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    std::uint8_t operator[](std::size_t i) const { return data_[i]; }

    // Only the first n bytes stay visible (n <= size()).
    void truncate(std::size_t n) { size_ = n < size_ ? n : size_; }
    // True when the bytes are a mapping of the file.
    bool mapped() const { return mapped_; }

    std::vector<std::uint8_t> toVector() const { return {begin(), end()}; }
    operator std::vector<std::uint8_t>() const { return toVector(); }

    friend bool operator==(const FileBytes& a, const FileBytes& b);
    friend bool operator==(const FileBytes& a, const std::vector<std::uint8_t>& b);

private:
    friend FileBytesResult mapWholeFile(const std::filesystem::path&, std::uint64_t, bool);

    std::shared_ptr<const void> owner_; // the mapping or the vector
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

// The named file as read-only bytes: mapped when it is a regular file on a local disk, read whole
// otherwise (network and removable file systems, where a mapping could lose its pages). With
// wholeSoon the pages are set up at once, for a caller that reads everything straight away.
// Fails as readWholeFile does.
FileBytesResult mapWholeFile(const std::filesystem::path& path,
                             std::uint64_t maxBytes = std::uint64_t{1} << 32,
                             bool wholeSoon = false);

// Replaces (or creates) the named file with exactly these bytes: writes a temporary file in the
// same folder, flushes it to disk and renames it over the destination. On failure the destination
// is as it was and no temporary file is left behind.
Status writeFileAtomically(const std::filesystem::path& path, const std::uint8_t* data,
                           std::size_t size);
inline Status writeFileAtomically(const std::filesystem::path& path,
                                  const std::vector<std::uint8_t>& bytes) {
    return writeFileAtomically(path, bytes.data(), bytes.size());
}

// The same written in pieces: open(), write() as often as needed, commit(). Until commit() has
// succeeded the destination is untouched; without it the temporary file is removed again.
class AtomicFileWriter {
public:
    // The temporary file is named ".<name>.XXXXXX" beside the destination, or temporaryPrefix +
    // "XXXXXX" when one is given (so its owner can find and remove what a crash left behind).
    explicit AtomicFileWriter(std::filesystem::path path, std::string temporaryPrefix = {});
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    Status open();
    Status write(const std::uint8_t* data, std::size_t size);
    // Flushes the file to disk, gives it the usual permissions, renames it over the destination
    // and flushes the folder. With flushToDisk false the two flushes are left out: a crash of the
    // program still leaves the old or the new file, but after a power cut the new one may be
    // empty (for output that can be made again from an input that stays, as decompress does).
    // expectedSize, when given, is checked first: a writer that lost bytes on a full disk without
    // noticing leaves a short file, which then replaces nothing.
    Status commit(bool flushToDisk = true,
                  std::optional<std::uint64_t> expectedSize = std::nullopt);
    // The temporary file's name, for a library that writes files by name (EDFlib, DCMTK): between
    // open() and commit() it may write there, closing its own descriptor before commit().
    const std::string& temporaryPath() const { return temporary_; }

private:
    Status fail(int err);

    std::filesystem::path path_;
    std::filesystem::path folder_;
    std::string prefix_;
    std::string temporary_;
    int fd_ = -1;
};

} // namespace velkard::signal
