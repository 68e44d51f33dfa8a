// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/DeviceFile.h"

#include "signal/Fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::signal {

namespace {

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

std::string tooLarge(const std::string& name, std::uint64_t body, std::uint64_t allowed,
                     RecordingKind kind) {
    std::string why = kind == RecordingKind::A2 ? "more than an A2 recording can hold"
                                                : "far more than the " + std::to_string(allowed) +
                                                      " bytes its header's record count allows";
    return name + " is damaged: its body holds " + std::to_string(body) + " bytes, " + why;
}

} // namespace

Result<std::uint64_t> bodyLimit(const DeviceHeader& header, RecordingKind kind,
                                const std::string& name) {
    using Limit = Result<std::uint64_t>;
    if (header.rate() < 0)
        return Limit::failure(ErrorCode::BadData,
                              name + " is damaged: its header gives a negative sampling rate (" +
                                  std::to_string(header.rate()) + ")");
    if (kind == RecordingKind::A2)
        return Limit::success(kMaxA2BodyBytes);
    if (header.recordCount() < 0)
        return Limit::failure(ErrorCode::BadData,
                              name + " is damaged: its header gives a negative record count (" +
                                  std::to_string(header.recordCount()) + ")");
    const std::uint64_t unit = kind == RecordingKind::Rhythmogram ? 2 : kRecordBytes;
    return Limit::success(static_cast<std::uint64_t>(header.recordCount()) * unit);
}

std::uint64_t deviceFileLimit(std::uint64_t allowedBody) {
    return kDeviceHeaderBytes + allowedBody + kBodyMarginBytes;
}

Result<DeviceHeaderInfo> readDeviceHeader(const std::filesystem::path& path, RecordingKind kind) {
    using HeaderResult = Result<DeviceHeaderInfo>;
    DeviceHeaderInfo out;
    const std::string name = path.string();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return HeaderResult::failure(ErrorCode::CannotOpen,
                                     "Cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return HeaderResult::failure(ErrorCode::CannotRead,
                                     "Cannot read " + name + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return HeaderResult::failure(ErrorCode::NotRegularFile,
                                     "Cannot read " + name + ": not a regular file");
    out.fileLength = static_cast<std::uint64_t>(st.st_size);
    if (out.fileLength < kDeviceHeaderBytes)
        return HeaderResult::failure(
            ErrorCode::BadData,
            name + " is not a device ECG file: it is shorter than its 512-byte header");
    int err = 0;
    if (!readExactly(fd.get(), out.header.bytes().data(), kDeviceHeaderBytes, 0, err))
        return HeaderResult::failure(ErrorCode::CannotRead,
                                     err ? "Cannot read " + name + ": " + std::strerror(err)
                                         : "Cannot read " + name +
                                               ": the file became shorter while it was read");
    Result<std::uint64_t> limit = bodyLimit(out.header, kind, name);
    if (!limit)
        return HeaderResult::failure(limit);
    if (out.fileLength > deviceFileLimit(limit.value))
        return HeaderResult::failure(
            ErrorCode::TooLarge,
            tooLarge(name, out.fileLength - kDeviceHeaderBytes, limit.value, kind));
    return HeaderResult::success(std::move(out));
}

BytesResult readDeviceFile(const std::filesystem::path& path, RecordingKind kind) {
    const std::string name = path.string();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return BytesResult::failure(ErrorCode::CannotOpen,
                                    "Cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return BytesResult::failure(ErrorCode::CannotRead,
                                    "Cannot read " + name + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return BytesResult::failure(ErrorCode::NotRegularFile,
                                    "Cannot read " + name + ": not a regular file");
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length < kDeviceHeaderBytes)
        return BytesResult::failure(
            ErrorCode::BadData,
            name + " is not a device ECG file: it is shorter than its 512-byte header");
    BytesResult result;
    result.value.resize(kDeviceHeaderBytes);
    int err = 0;
    if (!readExactly(fd.get(), result.value.data(), kDeviceHeaderBytes, 0, err))
        return BytesResult::failure(ErrorCode::CannotRead,
                                    err ? "Cannot read " + name + ": " + std::strerror(err)
                                        : "Cannot read " + name +
                                              ": the file became shorter while it was read");
    auto header = DeviceHeader::parse(result.value);
    Result<std::uint64_t> limit = bodyLimit(*header, kind, name);
    if (!limit)
        return BytesResult::failure(limit);
    if (length > deviceFileLimit(limit.value))
        return BytesResult::failure(ErrorCode::TooLarge,
                                    tooLarge(name, length - kDeviceHeaderBytes, limit.value, kind));
    result.value.resize(static_cast<std::size_t>(length));
    if (!readExactly(fd.get(), result.value.data() + kDeviceHeaderBytes,
                     result.value.size() - kDeviceHeaderBytes, kDeviceHeaderBytes, err))
        return BytesResult::failure(ErrorCode::CannotRead,
                                    err ? "Cannot read " + name + ": " + std::strerror(err)
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
