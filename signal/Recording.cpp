// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Recording.h"

#include "signal/FileIo.h"

#include <cmath>
#include <cstring>

namespace velkard::signal {

std::string_view kindMarker(RecordingKind kind) {
    switch (kind) {
    case RecordingKind::A2:
        return "A2";
    case RecordingKind::Rhythmogram:
        return "RT";
    case RecordingKind::Plain:
        break;
    }
    return "  ";
}

RecordingKind kindFromMarker(std::string_view marker) {
    if (marker == "A2")
        return RecordingKind::A2;
    if (marker == "RT")
        return RecordingKind::Rhythmogram;
    return RecordingKind::Plain;
}

std::optional<DeviceHeader> DeviceHeader::parse(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kDeviceHeaderBytes)
        return std::nullopt;
    DeviceHeader h;
    std::memcpy(h.bytes_.data(), data, kDeviceHeaderBytes);
    return h;
}

void DeviceHeader::setDateTime(std::int16_t year, std::int16_t month, std::int16_t day,
                               std::int16_t hour, std::int16_t minute, std::int16_t second) {
    setField(kYearOffset, year);
    setField(kMonthOffset, month);
    setField(kDayOffset, day);
    setField(kHourOffset, hour);
    setField(kMinuteOffset, minute);
    setField(kSecondOffset, second);
}

SampleRecord RecordingBuffer::record(std::size_t index) const {
    SampleRecord r;
    const std::uint8_t* p = bytes.data() + index * kRecordBytes;
    for (int ch = 0; ch < kChannels; ++ch)
        r.c[static_cast<std::size_t>(ch)] = readLe16(p + 2 * ch);
    return r;
}

void RecordingBuffer::assign(std::vector<std::uint8_t> fileBytes) {
    assign(FileBytes(std::move(fileBytes)));
}

void RecordingBuffer::assign(FileBytes fileBytes) {
    // An odd last byte belongs to no 16-bit value; dropping it keeps every reader that trusts
    // length inside the buffer.
    fileBytes.truncate(fileBytes.size() & ~std::size_t{1});
    bytes = std::move(fileBytes);
    length = static_cast<std::uint32_t>(bytes.size());
    recordCount = static_cast<double>(length) * 0.0625;
}

Status loadRecording(const std::filesystem::path& path, RecordingBuffer& buffer) {
    // Lengths are 32-bit in the recording buffer; anything bigger is refused rather than cut.
    FileBytesResult file = mapWholeFile(path, 0xFFFFFFFFull);
    if (!file)
        return file;
    buffer.assign(std::move(file.value));
    return Status::success();
}

std::vector<std::uint8_t> convertDeviceBytes(const std::uint8_t* deviceFile, std::size_t size,
                                             RecordingKind kind) {
    std::vector<std::uint8_t> out;
    if (deviceFile == nullptr || size <= kDeviceHeaderBytes)
        return out;
    const std::uint8_t* body = deviceFile + kDeviceHeaderBytes;
    const std::size_t bodySize = size - kDeviceHeaderBytes;
    if (kind != RecordingKind::A2 || bodySize <= kA2FullBodyBytes) {
        out.assign(body, body + bodySize);
        return out;
    }
    const std::size_t singles = (bodySize - kA2FullBodyBytes) / 2;
    out.resize(kA2FullBodyBytes + singles * kRecordBytes, 0);
    std::memcpy(out.data(), body, kA2FullBodyBytes);
    const std::uint8_t* in = body + kA2FullBodyBytes;
    std::uint8_t* dst = out.data() + kA2FullBodyBytes;
    for (std::size_t i = 0; i < singles; ++i, in += 2, dst += kRecordBytes) {
        dst[2] = in[0]; // c1 = lead II, bytes as they are; c0 and c2..c7 stay 0
        dst[3] = in[1];
    }
    return out;
}

std::int64_t deviceFileDuration(const DeviceHeader& header, std::uint64_t sourceLength,
                                RecordingKind kind) {
    const int rate = header.rate();
    if (rate == 0)
        return 0;
    if (kind != RecordingKind::A2)
        return header.recordCount() / rate;

    if (sourceLength <= kDeviceHeaderBytes)
        return 0;
    const std::uint64_t body = sourceLength - kDeviceHeaderBytes;
    double convertedBytes;
    if (body < kA2FullBodyBytes)
        convertedBytes = static_cast<double>(body); // only the copied body is converted
    else
        convertedBytes = static_cast<double>(body - kA2FullBodyBytes) * 8.0 + kA2FullBodyBytes;
    double seconds = std::trunc(convertedBytes / rate * 0.0625);
    return static_cast<std::int64_t>(seconds);
}

} // namespace velkard::signal
