// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Decompress.h"

#include "import/Lzw.h"
#include "signal/FileIo.h"

#include <algorithm>

namespace velkard::import {

using signal::BytesResult;
using signal::RecordingKind;
using signal::Status;

namespace {

std::size_t constexpr kHeader = signal::kDeviceHeaderBytes;

std::int16_t wrap16(int v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// Body values are delta-coded per channel (value index modulo 8) and stored divided by 8. The
// first record carries the starting values; every later value is the difference to the previous
// value of its channel. An odd last byte is no value and is carried as it is.
void deltaDecodeBody(const std::uint8_t* in, std::size_t size, std::uint8_t* dst) {
    std::int16_t sums[signal::kChannels] = {};
    const std::size_t values = size / 2;
    for (std::size_t k = 0; k < values; ++k) {
        std::int16_t v = signal::readLe16(in + 2 * k);
        std::int16_t& sum = sums[k % signal::kChannels];
        sum = k < signal::kChannels ? v : wrap16(sum + v);
        signal::writeLe16(dst + 2 * k, wrap16(sum * 8));
    }
    if (size % 2)
        dst[size - 1] = in[size - 1];
}

void deltaEncodeBody(const std::uint8_t* in, std::size_t size, std::uint8_t* dst) {
    std::int16_t previous[signal::kChannels] = {};
    const std::size_t values = size / 2;
    for (std::size_t k = 0; k < values; ++k) {
        // Arithmetic shift: a value that is not a multiple of 8 loses its three low bits.
        std::int16_t scaled = static_cast<std::int16_t>(signal::readLe16(in + 2 * k) >> 3);
        std::int16_t& prev = previous[k % signal::kChannels];
        signal::writeLe16(dst + 2 * k, k < signal::kChannels ? scaled : wrap16(scaled - prev));
        prev = scaled;
    }
    if (size % 2)
        dst[size - 1] = in[size - 1];
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

RecordingKind kindFromFileName(const std::filesystem::path& fileName) {
    const std::string name = fileName.filename().string();
    if (name.rfind("A2", 0) == 0)
        return RecordingKind::A2;
    if (name.rfind("VS", 0) == 0)
        return RecordingKind::Rhythmogram;
    return RecordingKind::Plain;
}

bool isCompressedName(const std::filesystem::path& fileName) {
    return lowerAscii(fileName.extension().string()) == ".ecx";
}

BytesResult decompressEcxBytes(const std::vector<std::uint8_t>& ecx, const std::string& name) {
    if (ecx.size() < kEcxStoredBytes)
        return BytesResult::failure(name + " is not a compressed ECG file: it is only " +
                                    std::to_string(ecx.size()) + " bytes long");
    std::vector<std::uint8_t> stream(ecx.begin(), ecx.begin() + kEcxStoredBytes);
    bool tooLarge = false;
    LzwDecoder decoder;
    decoder.init([&](const std::uint8_t* p, std::size_t n) {
        if (tooLarge || stream.size() + n > kMaxDecodedBytes) {
            tooLarge = true;
            return;
        }
        stream.insert(stream.end(), p, p + n);
    });
    // Small pieces bound how far a hostile stream can run past the size limit before we stop.
    constexpr std::size_t kPiece = 4096;
    for (std::size_t pos = kEcxStoredBytes; pos < ecx.size() && !tooLarge; pos += kPiece) {
        int n = static_cast<int>(std::min(kPiece, ecx.size() - pos));
        int r = decoder.decodeChunk(ecx.data() + pos, n);
        if (r != n)
            return BytesResult::failure(name + " is damaged: invalid compressed data (error " +
                                        std::to_string(r) + ")");
    }
    if (tooLarge)
        return BytesResult::failure(name + " is damaged: it expands beyond " +
                                    std::to_string(kMaxDecodedBytes >> 20) + " MB");
    if (stream.size() < kHeader)
        return BytesResult::failure(name + " is damaged: it holds only " +
                                    std::to_string(stream.size()) +
                                    " bytes, less than the 512-byte header");
    BytesResult result;
    result.bytes.resize(stream.size());
    std::copy(stream.begin(), stream.begin() + kHeader, result.bytes.begin());
    deltaDecodeBody(stream.data() + kHeader, stream.size() - kHeader,
                    result.bytes.data() + kHeader);
    return result;
}

BytesResult decompressEcx(const std::filesystem::path& path) {
    BytesResult file = signal::readWholeFile(path);
    if (!file)
        return file;
    return decompressEcxBytes(file.bytes, path.string());
}

std::vector<std::uint8_t> compressToEcx(const std::vector<std::uint8_t>& deviceFile) {
    const std::size_t header = std::min(deviceFile.size(), kHeader);
    std::vector<std::uint8_t> stream(deviceFile.size());
    std::copy(deviceFile.begin(), deviceFile.begin() + header, stream.begin());
    deltaEncodeBody(deviceFile.data() + header, deviceFile.size() - header, stream.data() + header);
    const std::size_t stored = std::min(stream.size(), kEcxStoredBytes);
    std::vector<std::uint8_t> ecx(stream.begin(), stream.begin() + stored);
    std::vector<std::uint8_t> codes = lzwEncode(stream.data() + stored, stream.size() - stored);
    ecx.insert(ecx.end(), codes.begin(), codes.end());
    return ecx;
}

Status compressEcxFile(const std::filesystem::path& in, const std::filesystem::path& out) {
    BytesResult device = signal::readWholeFile(in);
    if (!device)
        return Status::failure(device.message);
    if (device.bytes.size() < kHeader)
        return Status::failure(in.string() +
                               " is not a device ECG file: it is shorter than its 512-byte header");
    return signal::writeFileAtomically(out, compressToEcx(device.bytes));
}

ImportResult importFile(const std::filesystem::path& chosen, signal::RecordingBuffer& buffer) {
    ImportResult result;
    auto failWith = [&](ImportResult::Error error, std::string message) {
        result.ok = false;
        result.error = error;
        result.message = std::move(message);
        return result;
    };
    BytesResult device = signal::readWholeFile(chosen);
    if (!device)
        return failWith(ImportResult::Error::OpenSource, device.message);
    if (isCompressedName(chosen)) {
        device = decompressEcxBytes(device.bytes, chosen.string());
        if (!device)
            return failWith(ImportResult::Error::Decompress, device.message);
    }
    if (device.bytes.size() < kHeader)
        return failWith(ImportResult::Error::BadSource,
                        chosen.string() +
                            " is not a device ECG file: it is shorter than its 512-byte header");
    result.kind = kindFromFileName(chosen);
    const std::uint64_t body = device.bytes.size() - kHeader;
    const std::uint64_t converted =
        result.kind == RecordingKind::A2 && body > signal::kA2FullBodyBytes
            ? signal::kA2FullBodyBytes +
                  (body - signal::kA2FullBodyBytes) / 2 * signal::kRecordBytes
            : body;
    if (converted > 0xFFFFFFFFull)
        return failWith(ImportResult::Error::BadSource,
                        chosen.string() + " is too large to show as one recording");
    auto header = signal::DeviceHeader::parse(device.bytes);
    result.durationSeconds = signal::deviceFileDuration(*header, device.bytes.size(), result.kind);
    buffer.assign(signal::convertDeviceBytes(device.bytes, result.kind));
    return result;
}

} // namespace velkard::import
