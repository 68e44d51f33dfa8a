// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/FileIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace velkard::signal {

namespace {

std::string describe(const std::filesystem::path& path, const char* what, int err) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

// Retries interrupted and short reads.
bool readAll(int fd, std::uint8_t* data, std::size_t size, int& err) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = 0; // the file shrank while being read: its bytes are not what was measured
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, int& err) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// An open regular file no larger than maxBytes, or the message why not.
struct OpenedFile {
    int fd = -1;
    std::uint64_t size = 0;
    ErrorCode code = ErrorCode::None;
    std::string error;
};

OpenedFile openForReading(const std::filesystem::path& path, std::uint64_t maxBytes) {
    OpenedFile f;
    f.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (f.fd < 0) {
        f.code = ErrorCode::CannotOpen;
        f.error = describe(path, "Cannot open", errno);
        return f;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) {
        f.code = ErrorCode::CannotRead;
        f.error = describe(path, "Cannot read", errno);
    } else if (!S_ISREG(st.st_mode)) {
        f.code = ErrorCode::NotRegularFile;
        f.error = "Cannot read " + path.string() + ": not a regular file";
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        f.code = ErrorCode::TooLarge;
        f.error = "Cannot read " + path.string() + ": file too large";
    }
    f.size = static_cast<std::uint64_t>(st.st_size);
    if (!f.error.empty()) {
        ::close(f.fd);
        f.fd = -1;
    }
    return f;
}

// Reads the rest of an opened file and closes it.
BytesResult readOpened(const std::filesystem::path& path, OpenedFile& f) {
    BytesResult result;
    result.value.resize(static_cast<std::size_t>(f.size));
    int err = 0;
    bool ok = readAll(f.fd, result.value.data(), result.value.size(), err);
    ::close(f.fd);
    f.fd = -1;
    if (!ok)
        return BytesResult::failure(ErrorCode::CannotRead,
                                    err ? describe(path, "Cannot read", err)
                                        : "Cannot read " + path.string() +
                                              ": the file became shorter while it was read");
    return result;
}

// File systems on which a mapping keeps its pages: local disks and memory. Network, FUSE and the
// FAT family of memory cards are read instead.
bool mappable(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // xfs
    case 0x9123683E: // btrfs
    case 0x01021994: // tmpfs
    case 0x858458F6: // ramfs
    case 0xF2F52010: // f2fs
    case 0x794C7630: // overlayfs
    case 0x2FC12FC1: // zfs
    case 0xCA451A4E: // bcachefs
        return true;
    default:
        return false;
    }
}

} // namespace

BytesResult readWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes) {
    OpenedFile f = openForReading(path, maxBytes);
    if (f.fd < 0)
        return BytesResult::failure(f.code, f.error);
    return readOpened(path, f);
}

FileBytes::FileBytes(std::vector<std::uint8_t> bytes) {
    auto held = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    data_ = held->data();
    size_ = held->size();
    owner_ = std::move(held);
}

bool operator==(const FileBytes& a, const FileBytes& b) {
    return a.size() == b.size() &&
           (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

bool operator==(const FileBytes& a, const std::vector<std::uint8_t>& b) {
    return a.size() == b.size() &&
           (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

FileBytesResult mapWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                             bool wholeSoon) {
    OpenedFile f = openForReading(path, maxBytes);
    if (f.fd < 0)
        return FileBytesResult::failure(f.code, f.error);
    FileBytesResult result;
    if (f.size > 0 && mappable(f.fd)) {
        const auto size = static_cast<std::size_t>(f.size);
        void* map =
            ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (wholeSoon ? MAP_POPULATE : 0), f.fd, 0);
        if (map != MAP_FAILED) {
            ::close(f.fd);
            result.value.owner_ = std::shared_ptr<const void>(
                map, [size](const void* p) { ::munmap(const_cast<void*>(p), size); });
            result.value.data_ = static_cast<const std::uint8_t*>(map);
            result.value.size_ = size;
            result.value.mapped_ = true;
            return result;
        }
    }
    BytesResult read = readOpened(path, f);
    if (!read)
        return FileBytesResult::failure(read);
    result.value = FileBytes(std::move(read.value));
    return result;
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path path, std::string temporaryPrefix)
    : path_(std::move(path)), prefix_(std::move(temporaryPrefix)) {
    folder_ = path_.parent_path();
    if (folder_.empty())
        folder_ = ".";
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

Status AtomicFileWriter::fail(int err) {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
        fd_ = -1;
    }
    return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot write", err));
}

Status AtomicFileWriter::open() {
    // Renaming over a device node, a pipe or a folder would replace it with a plain file.
    struct stat existing {};
    if (::stat(path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return Status::failure(ErrorCode::NotRegularFile,
                               "Cannot write " + path_.string() + ": not a regular file");
    std::string hidden = prefix_;
    if (hidden.empty())
        hidden.append(1, '.').append(path_.filename().string()).append(".");
    hidden.append("XXXXXX");
    temporary_ = (folder_ / hidden).string();
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0)
        return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot create", errno));
    return Status::success();
}

Status AtomicFileWriter::write(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0)
        return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot write", EBADF));
    int err = 0;
    if (!writeAll(fd_, data, size, err))
        return fail(err);
    return Status::success();
}

Status AtomicFileWriter::commit(bool flushToDisk, std::optional<std::uint64_t> expectedSize) {
    if (fd_ < 0)
        return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot write", EBADF));
    if (expectedSize) {
        struct stat written {};
        if (::fstat(fd_, &written) != 0)
            return fail(errno);
        if (static_cast<std::uint64_t>(written.st_size) != *expectedSize) {
            fail(ENOSPC);
            return Status::failure(ErrorCode::CannotWrite,
                                   "Cannot write " + path_.string() +
                                       ": the file was cut short (is the disk full?)");
        }
    }
    if (flushToDisk && ::fsync(fd_) != 0)
        return fail(errno);
    // New files get the usual permissions rather than mkstemp's owner-only ones.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temporary_.c_str());
        return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot write", err));
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary_.c_str());
        return Status::failure(ErrorCode::CannotWrite, describe(path_, "Cannot write", err));
    }
    // Make the rename itself durable.
    int dirFd = flushToDisk ? ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::success();
}

Status writeFileAtomically(const std::filesystem::path& path, const std::uint8_t* data,
                           std::size_t size) {
    AtomicFileWriter writer(path);
    if (Status s = writer.open(); !s)
        return s;
    if (Status s = writer.write(data, size); !s)
        return s;
    return writer.commit();
}

} // namespace velkard::signal
