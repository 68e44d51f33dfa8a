// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/FileIo.h"

#include "signal/Fd.h"
#include "signal/FileIo.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::cardfile::io {

namespace {

using velkard::signal::Fd;

// The message is the system's text alone; the card file's callers name the file and the step.
Status errnoStatus(int err = errno) {
    if (err == ELOOP) // opened with O_NOFOLLOW and found a link
        return Status::failure(ErrorCode::NotRegularFile,
                               "a symbolic link, which the card file does not follow");
    return Status::failure(ErrorCode::CannotWrite, std::strerror(err));
}

Status notRegular() {
    return Status::failure(ErrorCode::NotRegularFile, "not a regular file");
}

// The status of a file just opened, refused unless it is a regular file (a failed open reports
// its own errno).
Status statRegular(const Fd& fd, struct stat& st) {
    if (!fd.valid())
        return errnoStatus();
    if (::fstat(fd.get(), &st) != 0)
        return errnoStatus();
    if (!S_ISREG(st.st_mode))
        return notRegular();
    return Status::success();
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes, off_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                             offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::uint64_t fileLength(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool isRegularFile(const std::filesystem::path& path) {
    // A symbolic link is not taken for the file it names: nothing in DATA_BASE is written through
    // a link that leads outside it.
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isMissing(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path,
                                                  std::uint64_t maxBytes) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid())
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes)
            return std::nullopt;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

Status ensureFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
    struct stat st {};
    if (Status s = statRegular(fd, st); !s)
        return s;
    return Status::success();
}

Status writeAt(const std::filesystem::path& path, std::uint64_t offset,
               std::span<const std::uint8_t> bytes, bool restoreLengthOnFailure) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (Status s = statRegular(fd, st); !s)
        return s;
    const off_t before = st.st_size;
    if (writeAll(fd.get(), bytes, static_cast<off_t>(offset)) && ::fsync(fd.get()) == 0 &&
        fd.close())
        return Status::success();
    Status failed = errnoStatus();
    if (restoreLengthOnFailure) {
        Fd again(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (again.valid() && ::ftruncate(again.get(), before) == 0)
            ::fsync(again.get());
    }
    return failed;
}

Status truncateTo(const std::filesystem::path& path, std::uint64_t length) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (Status s = statRegular(fd, st); !s)
        return s;
    if (::ftruncate(fd.get(), static_cast<off_t>(length)) != 0 || ::fsync(fd.get()) != 0)
        return errnoStatus();
    return Status::success();
}

Status replaceFile(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    if (!isMissing(target) && !isRegularFile(target))
        return notRegular();
    // Named with the card file's prefix, so what a crash leaves is removed at the next open.
    signal::AtomicFileWriter writer(target, std::string(kTempPrefix));
    if (Status s = writer.open(); !s)
        return s;
    if (Status s = writer.write(bytes.data(), bytes.size()); !s)
        return s;
    return writer.commit();
}

namespace {

// An open-file-description lock: owned by the descriptor, released when it closes or the
// process dies.
bool lockWhole(int fd) {
#ifdef F_OFD_SETLK
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
#else
    (void)fd;
    return false;
#endif
}

} // namespace

IncomingFile::~IncomingFile() {
    if (fd_ >= 0) {
        if (!isMissing(path_))
            ::unlink(path_.c_str());
        ::close(fd_);
    }
}

Status IncomingFile::create(const std::filesystem::path& folder) {
    std::string pattern = (folder / (std::string(kIncomingPrefix) + "XXXXXX")).string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0)
        return errnoStatus();
    path_ = pattern;
    lockWhole(fd_);
    // mkstemp creates owner-only files; a recording gets the usual permissions from the start,
    // whoever writes it.
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0)
        return errnoStatus();
    return Status::success();
}

Status IncomingFile::write(std::span<const std::uint8_t> bytes) {
    if (!writeAll(fd_, bytes, 0) || ::fsync(fd_) != 0)
        return errnoStatus();
    return Status::success();
}

void keepIfAbandoned(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid() || !lockWhole(fd.get()))
        return; // its writer still runs
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return;
    if (st.st_size < static_cast<off_t>(kAbandonedRecordMinimum)) {
        ::unlink(path.c_str()); // not one whole sample: nothing was recorded
        return;
    }
    // A recording whose program crashed or was killed: it is kept under a name of its own, with
    // the time it was last written, for the user to file or keep.
    char stamp[32] = "00000000-000000";
    std::tm local{};
    const std::time_t when = st.st_mtime;
    if (::localtime_r(&when, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string tail = path.filename().string().substr(kIncomingPrefix.size());
    const auto kept =
        path.parent_path() / (std::string(kUnfiledPrefix) + stamp + "_" + tail + ".dat");
    if (::rename(path.c_str(), kept.c_str()) == 0)
        syncFolder(path.parent_path());
}

Status removeFile(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return errnoStatus();
    return Status::success();
}

Status renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errnoStatus();
    return Status::success();
}

Status syncFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid() || ::fsync(fd.get()) != 0)
        return errnoStatus();
    return Status::success();
}

void syncFolder(const std::filesystem::path& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

Status appendToLog(const std::filesystem::path& path, std::string_view line) {
    // O_APPEND puts the line after whatever another writer added meanwhile; nothing opens the
    // log any other way, so what was written stays.
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    struct stat st {};
    if (Status s = statRegular(fd, st); !s)
        return s;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd.get(), line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n == 0 ? ENOSPC : errno;
            // A torn line is ended, so the next line starts on a line of its own.
            if (done > 0) {
                const ssize_t ended = ::write(fd.get(), "\n", 1);
                static_cast<void>(ended);
            }
            return errnoStatus(err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.get()) != 0)
        return errnoStatus();
    return Status::success();
}

} // namespace velkard::cardfile::io
