// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/DeviceFiles.h"

#include "import/Decompress.h"
#include "signal/FileIo.h"
#include "signal/SampleRecord.h"
#include "sim/SyntheticEcg.h"

#include <cmath>
#include <cstring>
#include <system_error>

namespace velkard::sim {

namespace {

void put16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::int16_t value) {
    signal::writeLe16(bytes.data() + offset, value);
}

void appendRecord(std::vector<std::uint8_t>& bytes, const signal::SampleRecord& r) {
    for (std::int16_t v : r.c) {
        std::uint8_t le[2];
        signal::writeLe16(le, v);
        bytes.push_back(le[0]);
        bytes.push_back(le[1]);
    }
}

} // namespace

std::vector<std::uint8_t> makeDeviceHeader(std::int16_t rate, std::int16_t count,
                                           const RecordedAt& at) {
    std::vector<std::uint8_t> h(kHeaderBytes, 0);
    std::memcpy(h.data(), "ECG", 3);
    put16(h, kRateOffset, rate);
    put16(h, kYearOffset, static_cast<std::int16_t>(at.year));
    put16(h, kMonthOffset, static_cast<std::int16_t>(at.month));
    put16(h, kDayOffset, static_cast<std::int16_t>(at.day));
    put16(h, kHourOffset, static_cast<std::int16_t>(at.hour));
    put16(h, kMinuteOffset, static_cast<std::int16_t>(at.minute));
    put16(h, kSecondOffset, static_cast<std::int16_t>(at.second));
    put16(h, kCountOffset, count);
    return h;
}

std::vector<std::uint8_t> makeDeviceEcg(double seconds, std::uint32_t seed, const RecordedAt& at,
                                        bool multipleOf8) {
    const auto count = static_cast<long>(std::lround(seconds * signal::kRecordsPerSecond));
    if (count < 0 || count > 32767)
        return {};
    auto bytes = makeDeviceHeader(signal::kRecordsPerSecond, static_cast<std::int16_t>(count), at);
    SyntheticEcg ecg(seed);
    for (long i = 0; i < count; ++i) {
        signal::SampleRecord r = ecg.next();
        if (multipleOf8)
            for (auto& v : r.c)
                v = static_cast<std::int16_t>(v & ~7);
        appendRecord(bytes, r);
    }
    return bytes;
}

std::vector<std::uint8_t> makeA2(double extraSeconds, std::uint32_t seed, const RecordedAt& at) {
    const auto extra = static_cast<long>(std::lround(extraSeconds * signal::kRecordsPerSecond));
    const long total =
        static_cast<long>(kA2FullBytes / signal::kRecordBytes) + (extra > 0 ? extra : 0);
    // The count field is not used for A2 files; it holds the total, cut to 16 bits.
    auto bytes = makeDeviceHeader(signal::kRecordsPerSecond,
                                  static_cast<std::int16_t>(std::min(total, 32767L)), at);
    SyntheticEcg ecg(seed);
    for (std::size_t i = 0; i < kA2FullBytes / signal::kRecordBytes; ++i)
        appendRecord(bytes, ecg.next());
    for (long i = 0; i < extra; ++i) {
        std::uint8_t le[2];
        signal::writeLe16(le, ecg.next().c[1]);
        bytes.push_back(le[0]);
        bytes.push_back(le[1]);
    }
    return bytes;
}

std::vector<std::uint8_t> makeRhythmogram(int beats, std::uint32_t seed, const RecordedAt& at) {
    if (beats < 0 || beats > 32767)
        return {};
    auto bytes = makeDeviceHeader(signal::kRecordsPerSecond, static_cast<std::int16_t>(beats), at);
    std::mt19937 rng(seed);
    std::normal_distribution<double> jitter(0.0, 15.0);
    for (int i = 0; i < beats; ++i) {
        // About 72 beats per minute, with breathing and a little randomness.
        const double ms = 830.0 + 40.0 * std::sin(i * 0.35) + jitter(rng);
        std::uint8_t le[2];
        signal::writeLe16(le, static_cast<std::int16_t>(std::lround(ms)));
        bytes.push_back(le[0]);
        bytes.push_back(le[1]);
    }
    return bytes;
}

std::vector<SampleFile> sampleCardFiles() {
    return {
        {"ECG00001.DAT", makeDeviceEcg(10.0, 11, {24, 3, 5, 9, 15, 30})},
        {"ECG00002.DAT", makeDeviceEcg(20.0, 12, {24, 3, 5, 10, 2, 7})},
        {"A2000001.DAT", makeA2(30.0, 13, {24, 3, 6, 7, 5, 9})},
        {"VSR00001.DAT", makeRhythmogram(300, 14, {24, 3, 6, 22, 41, 0})},
        {"ECG00003.ECX", import::compressToEcx(makeDeviceEcg(15.0, 15, {24, 3, 7, 8, 0, 1}, true))},
    };
}

Status makeCard(const std::filesystem::path& dir, std::vector<std::string>* names) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return Status::failure(ErrorCode::CannotWrite,
                               "cannot create " + dir.string() + ": " + ec.message());
    for (const SampleFile& item : sampleCardFiles()) {
        if (Status r = signal::writeFileAtomically(dir / item.name, item.bytes); !r)
            return r;
        if (names)
            names->push_back(item.name);
    }
    return Status::success();
}

} // namespace velkard::sim
