// SPDX-License-Identifier: GPL-3.0-or-later
// The recording file and its kinds, the instrument's own device ECG file and its conversion into a
// recording file, and the recording buffer that holds one whole recording for review and printing.
#pragma once

#include "signal/FileIo.h"
#include "signal/SampleRecord.h"
#include "signal/Status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace velkard::signal {

enum class RecordingKind { Plain, A2, Rhythmogram };

// Two-character marker of the kind in a card-file archive entry: "  ", "A2", "RT".
std::string_view kindMarker(RecordingKind kind);
// "A2" -> A2, "RT" -> Rhythmogram, anything else -> Plain.
RecordingKind kindFromMarker(std::string_view marker);

inline constexpr std::size_t kDeviceHeaderBytes = 512;
// An A2 body starts with this many bytes of eight-channel records (8040 records, 10.05 s); the
// rest of it is single-channel lead II values.
inline constexpr std::size_t kA2FullBodyBytes = 128640;
inline constexpr std::size_t kA2FullRecords = kA2FullBodyBytes / kRecordBytes;

// The 512-byte header of a device ECG file. Only the fields below are interpreted; the rest is
// carried as it is.
class DeviceHeader {
public:
    static constexpr std::size_t kRateOffset = 24;
    static constexpr std::size_t kYearOffset = 30; // year within the century (2000 + value)
    static constexpr std::size_t kMonthOffset = 34;
    static constexpr std::size_t kDayOffset = 36;
    static constexpr std::size_t kHourOffset = 38;
    static constexpr std::size_t kMinuteOffset = 40;
    static constexpr std::size_t kSecondOffset = 42;
    static constexpr std::size_t kRecordCountOffset = 48;

    DeviceHeader() = default; // all zero
    // The first 512 bytes of data; nullopt when there are fewer.
    static std::optional<DeviceHeader> parse(const std::uint8_t* data, std::size_t size);
    static std::optional<DeviceHeader> parse(const std::vector<std::uint8_t>& data) {
        return parse(data.data(), data.size());
    }

    std::int16_t rate() const { return field(kRateOffset); }
    std::int16_t recordCount() const { return field(kRecordCountOffset); }
    std::int16_t year() const { return field(kYearOffset); }
    std::int16_t month() const { return field(kMonthOffset); }
    std::int16_t day() const { return field(kDayOffset); }
    std::int16_t hour() const { return field(kHourOffset); }
    std::int16_t minute() const { return field(kMinuteOffset); }
    std::int16_t second() const { return field(kSecondOffset); }

    void setRate(std::int16_t v) { setField(kRateOffset, v); }
    void setRecordCount(std::int16_t v) { setField(kRecordCountOffset, v); }
    void setDateTime(std::int16_t year, std::int16_t month, std::int16_t day, std::int16_t hour,
                     std::int16_t minute, std::int16_t second);

    std::int16_t field(std::size_t offset) const { return readLe16(bytes_.data() + offset); }
    void setField(std::size_t offset, std::int16_t v) { writeLe16(bytes_.data() + offset, v); }
    const std::array<std::uint8_t, kDeviceHeaderBytes>& bytes() const { return bytes_; }
    std::array<std::uint8_t, kDeviceHeaderBytes>& bytes() { return bytes_; }

private:
    std::array<std::uint8_t, kDeviceHeaderBytes> bytes_{};
};

// One whole recording file. bytes holds the file rounded down to an even length (a read-only
// mapping of the file when it was loaded, so a long recording opens at once); length is that size
// and recordCount is length * 0.0625 (not rounded; readers use whole records).
struct RecordingBuffer {
    FileBytes bytes;
    std::uint32_t length = 0;
    double recordCount = 0.0;

    // Number of whole sample records.
    std::size_t records() const { return bytes.size() / kRecordBytes; }
    SampleRecord record(std::size_t index) const; // index < records()
    // Number of whole 16-bit values (rhythmogram bars).
    std::size_t values() const { return bytes.size() / 2; }
    std::int16_t value(std::size_t index) const { return readLe16(bytes.data() + 2 * index); }

    // Replaces the content with these file bytes (an odd last byte is dropped).
    void assign(std::vector<std::uint8_t> fileBytes);
    void assign(FileBytes fileBytes);
};

// The message the program shows when a recording cannot be opened or created (Russian only).
inline constexpr const char* kRecordingOpenError = "Ошибка открытия файла с ЭКГ";
inline constexpr const char* kRecordingCreateError = "Ошибка создания файла для записи ЭКГ";

// Opens the named recording file into buffer: maps it read-only (or reads it whole where it cannot
// be mapped); nothing is done per record. On failure buffer is unchanged and the status carries a
// message naming the file.
Status loadRecording(const std::filesystem::path& path, RecordingBuffer& buffer);

// The recording-file body for a whole device ECG file (header and body). Plain and rhythmogram:
// the body unchanged. A2: the first 128640 body bytes unchanged, then one record per further
// 16-bit value with c1 = the value and every other channel 0; a body shorter than 128640 bytes is
// copied and nothing more. A file shorter than its header gives an empty body.
std::vector<std::uint8_t> convertDeviceBytes(const std::uint8_t* deviceFile, std::size_t size,
                                             RecordingKind kind);
inline std::vector<std::uint8_t> convertDeviceBytes(const std::vector<std::uint8_t>& deviceFile,
                                                    RecordingKind kind) {
    return convertDeviceBytes(deviceFile.data(), deviceFile.size(), kind);
}

// Duration in whole seconds of a device ECG file of sourceLength bytes with this header.
// A2: the record count of the converted file divided by the rate, truncated; other kinds: the
// header's record count divided by its rate (signed, truncating toward zero). Rate 0 gives 0.
std::int64_t deviceFileDuration(const DeviceHeader& header, std::uint64_t sourceLength,
                                RecordingKind kind);

} // namespace velkard::signal
