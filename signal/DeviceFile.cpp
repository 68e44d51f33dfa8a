// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/DeviceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::signal {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads exactly size bytes at offset; false with err = 0 when the file ends first.
bool readExactly(int fd, std::uint8_t* data, std::size_t size, off_t offset, int& err) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : 0;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string tooLarge(const std::string& name, std::uint64_t body, const BodyLimit& limit,
                     RecordingKind kind) {
    std::string why = kind == RecordingKind::A2
                          ? "more than an A2 recording can hold"
                          : "far more than the " + std::to_string(limit.allowed) +
                                " bytes its header's record count allows";
    return name + " is damaged: its body holds " + std::to_string(body) + " bytes, " + why;
}

} // namespace

BodyLimit bodyLimit(const DeviceHeader& header, RecordingKind kind, const std::string& name) {
    BodyLimit limit;
    if (header.rate() < 0) {
        limit.ok = false;
        limit.message = name + " is damaged: its header gives a negative sampling rate (" +
                        std::to_string(header.rate()) + ")";
        return limit;
    }
    if (kind == RecordingKind::A2) {
        limit.allowed = kMaxA2BodyBytes;
        return limit;
    }
    if (header.recordCount() < 0) {
        limit.ok = false;
        limit.message = name + " is damaged: its header gives a negative record count (" +
                        std::to_string(header.recordCount()) + ")";
        return limit;
    }
    const std::uint64_t unit = kind == RecordingKind::Rhythmogram ? 2 : kRecordBytes;
    limit.allowed = static_cast<std::uint64_t>(header.recordCount()) * unit;
    return limit;
}

std::uint64_t deviceFileLimit(const BodyLimit& limit) {
    return kDeviceHeaderBytes + limit.allowed + kBodyMarginBytes;
}

Status checkDeviceBytes(const std::vector<std::uint8_t>& file, RecordingKind kind,
                        const std::string& name) {
    auto header = DeviceHeader::parse(file);
    if (!header)
        return Status::failure(name +
                               " is not a device ECG file: it is shorter than its 512-byte header");
    BodyLimit limit = bodyLimit(*header, kind, name);
    if (!limit)
        return Status::failure(limit.message);
    if (file.size() > deviceFileLimit(limit))
        return Status::failure(tooLarge(name, file.size() - kDeviceHeaderBytes, limit, kind));
    return Status::success();
}

DeviceHeaderResult readDeviceHeader(const std::filesystem::path& path, RecordingKind kind) {
    DeviceHeaderResult out;
    const std::string name = path.string();
    auto failure = [&](std::string message) {
        out.ok = false;
        out.message = std::move(message);
        return out;
    };
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return failure("Cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return failure("Cannot read " + name + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return failure("Cannot read " + name + ": not a regular file");
    out.fileLength = static_cast<std::uint64_t>(st.st_size);
    if (out.fileLength < kDeviceHeaderBytes)
        return failure(name + " is not a device ECG file: it is shorter than its 512-byte header");
    int err = 0;
    if (!readExactly(fd.get(), out.header.bytes().data(), kDeviceHeaderBytes, 0, err))
        return failure(err ? "Cannot read " + name + ": " + std::strerror(err)
                           : "Cannot read " + name + ": the file became shorter while it was read");
    BodyLimit limit = bodyLimit(out.header, kind, name);
    if (!limit)
        return failure(limit.message);
    if (out.fileLength > deviceFileLimit(limit))
        return failure(tooLarge(name, out.fileLength - kDeviceHeaderBytes, limit, kind));
    return out;
}

BytesResult readDeviceFile(const std::filesystem::path& path, RecordingKind kind) {
    const std::string name = path.string();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return BytesResult::failure("Cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return BytesResult::failure("Cannot read " + name + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return BytesResult::failure("Cannot read " + name + ": not a regular file");
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length < kDeviceHeaderBytes)
        return BytesResult::failure(
            name + " is not a device ECG file: it is shorter than its 512-byte header");
    BytesResult result;
    result.bytes.resize(kDeviceHeaderBytes);
    int err = 0;
    if (!readExactly(fd.get(), result.bytes.data(), kDeviceHeaderBytes, 0, err))
        return BytesResult::failure(err ? "Cannot read " + name + ": " + std::strerror(err)
                                        : "Cannot read " + name +
                                              ": the file became shorter while it was read");
    auto header = DeviceHeader::parse(result.bytes);
    BodyLimit limit = bodyLimit(*header, kind, name);
    if (!limit)
        return BytesResult::failure(limit.message);
    if (length > deviceFileLimit(limit))
        return BytesResult::failure(tooLarge(name, length - kDeviceHeaderBytes, limit, kind));
    result.bytes.resize(static_cast<std::size_t>(length));
    if (!readExactly(fd.get(), result.bytes.data() + kDeviceHeaderBytes,
                     result.bytes.size() - kDeviceHeaderBytes, kDeviceHeaderBytes, err))
        return BytesResult::failure(err ? "Cannot read " + name + ": " + std::strerror(err)
                                        : "Cannot read " + name +
                                              ": the file became shorter while it was read");
    return result;
}

std::int64_t filedDuration(const DeviceHeader& header, std::uint64_t fileLength,
                           RecordingKind kind) {
    const std::int64_t duration = deviceFileDuration(header, fileLength, kind);
    if (kind == RecordingKind::A2 || header.rate() <= 0 || header.recordCount() < 0)
        return duration;
    const std::uint64_t body =
        fileLength > kDeviceHeaderBytes ? fileLength - kDeviceHeaderBytes : 0;
    const std::uint64_t unit = kind == RecordingKind::Rhythmogram ? 2 : kRecordBytes;
    const auto held = static_cast<std::int64_t>(
        std::min<std::uint64_t>(body / unit, static_cast<std::uint64_t>(header.recordCount())));
    return held / header.rate();
}

} // namespace velkard::signal
