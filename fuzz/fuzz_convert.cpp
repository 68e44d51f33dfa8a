// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of arbitrary device ECG files into recording files, for every kind. The first byte
// chooses the kind and whether the body is placed after a full A2 block of eight-channel records.
#include "signal/Recording.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard::signal;
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    std::vector<std::uint8_t> file(data + 1, data + size);
    if (mode & 4) {
        // Keep the fuzzed header, put the fuzzed body behind the A2 block.
        std::vector<std::uint8_t> body;
        if (file.size() > kDeviceHeaderBytes) {
            body.assign(file.begin() + kDeviceHeaderBytes, file.end());
            file.resize(kDeviceHeaderBytes);
        }
        file.resize(std::max(file.size(), kDeviceHeaderBytes) + kA2FullBodyBytes, 0);
        file.insert(file.end(), body.begin(), body.end());
    }
    const RecordingKind kinds[] = {RecordingKind::Plain, RecordingKind::A2,
                                   RecordingKind::Rhythmogram};
    const RecordingKind kind = kinds[mode % 3];
    std::vector<std::uint8_t> out = convertDeviceBytes(file, kind);
    const std::size_t body =
        file.size() > kDeviceHeaderBytes ? file.size() - kDeviceHeaderBytes : 0;
    std::size_t expected = body;
    if (kind == RecordingKind::A2 && body > kA2FullBodyBytes)
        expected = kA2FullBodyBytes + (body - kA2FullBodyBytes) / 2 * kRecordBytes;
    if (out.size() != expected)
        std::abort();
    if (auto header = DeviceHeader::parse(file)) {
        std::int64_t seconds = deviceFileDuration(*header, file.size(), kind);
        if (header->rate() == 0 && seconds != 0)
            std::abort();
    }
    RecordingBuffer buffer;
    buffer.assign(out);
    if (buffer.length != (out.size() & ~std::size_t{1}))
        std::abort();
    return 0;
}
