// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Decompress.h"

#include "import/Lzw.h"
#include "signal/DeviceFile.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkard::import {

using signal::BytesResult;
using signal::RecordingKind;

namespace {

std::size_t constexpr kHeader = signal::kDeviceHeaderBytes;
// Codes decoded between two passes of the delta decoding, so the pass finds its bytes in cache.
std::size_t constexpr kCodePiece = 8 * 1024;
// Device-file bytes delta-coded and encoded at a time.
std::size_t constexpr kBodySlice = 64 * 1024;
// A file written piece by piece gets its bytes in writes of about this size; the buffers stay
// small enough to remain in cache.
std::size_t constexpr kWritePiece = 64 * 1024;

std::int16_t wrap16(int v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// Body values are delta-coded per channel (value index modulo 8) and stored divided by 8. The
// first record carries the starting values; every later value is the difference to the previous
// value of its channel. An odd last byte is no value and is carried as it is. With the channel
// state starting at zero the first record is no special case.
struct ChannelState {
    alignas(16) std::int16_t value[signal::kChannels] = {};
};

// Decodes whole records from in to out (which may be in): one 8-lane addition and shift per
// record.
void deltaDecodeRecords(const std::uint8_t* in, std::uint8_t* out, std::size_t records,
                        ChannelState& sums) {
#if defined(__SSE2__)
    __m128i sum = _mm_load_si128(reinterpret_cast<const __m128i*>(sums.value));
    for (std::size_t r = 0; r < records;
         ++r, in += signal::kRecordBytes, out += signal::kRecordBytes) {
        const __m128i delta = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        sum = _mm_add_epi16(sum, delta);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_slli_epi16(sum, 3));
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(sums.value), sum);
#else
    for (std::size_t r = 0; r < records;
         ++r, in += signal::kRecordBytes, out += signal::kRecordBytes)
        for (int ch = 0; ch < signal::kChannels; ++ch) {
            std::int16_t& sum = sums.value[ch];
            sum = wrap16(sum + signal::readLe16(in + 2 * ch));
            signal::writeLe16(out + 2 * ch, wrap16(sum * 8));
        }
#endif
}

void deltaDecodeRecords(std::uint8_t* p, std::size_t records, ChannelState& sums) {
    deltaDecodeRecords(p, p, records, sums);
}

// The values of a last partial record (size < 16 bytes), in place.
void deltaDecodeTail(std::uint8_t* p, std::size_t size, ChannelState& sums) {
    for (std::size_t k = 0; k < size / 2; ++k) {
        std::int16_t& sum = sums.value[k];
        sum = wrap16(sum + signal::readLe16(p + 2 * k));
        signal::writeLe16(p + 2 * k, wrap16(sum * 8));
    }
}

// Encodes size bytes of body from in to out (the same length); previous holds each channel's
// last value divided by 8. Arithmetic shift: a value that is not a multiple of 8 loses its three
// low bits.
void deltaEncode(const std::uint8_t* in, std::uint8_t* out, std::size_t size,
                 ChannelState& previous) {
    const std::size_t records = size / signal::kRecordBytes;
#if defined(__SSE2__)
    __m128i prev = _mm_load_si128(reinterpret_cast<const __m128i*>(previous.value));
    for (std::size_t r = 0; r < records; ++r) {
        const __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * r));
        const __m128i scaled = _mm_srai_epi16(value, 3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * r), _mm_sub_epi16(scaled, prev));
        prev = scaled;
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(previous.value), prev);
    std::size_t k = records * signal::kChannels;
#else
    std::size_t k = 0;
#endif
    for (; k < size / 2; ++k) {
        const auto scaled = static_cast<std::int16_t>(signal::readLe16(in + 2 * k) >> 3);
        std::int16_t& prev = previous.value[k % signal::kChannels];
        signal::writeLe16(out + 2 * k, wrap16(scaled - prev));
        prev = scaled;
    }
    if (size % 2)
        out[size - 1] = in[size - 1];
}

// Decodes an ".ecx" code stream piece by piece into one buffer (the stored bytes, then the LZW
// output), and turns the body's deltas into values in place as soon as no later code can refer to
// them, while they are still in cache.
class EcxDecoding {
public:
    EcxDecoding(const std::uint8_t* stored, std::size_t reserve)
        : decoder_(reserve, kMaxDecodedBytes) {
        decoder_.append(stored, kEcxStoredBytes);
    }

    // Decodes the next piece of codes: success or the decoder's failure.
    Status decode(const std::uint8_t* codes, std::size_t n) {
        Status status = decoder_.decode(codes, n);
        if (status)
            settle(decoder_.settled());
        return status;
    }
    std::size_t size() const { return decoder_.size(); }
    const std::uint8_t* data() const { return decoder_.data(); }
    // Decodes the body's rest after the last piece (the stream holds the header).
    void finish() {
        settle(size());
        deltaDecodeTail(decoder_.data() + done_, size() - done_, sums_);
        done_ = size();
    }
    std::vector<std::uint8_t> take() { return decoder_.take(); }

private:
    // Decodes the whole records of the body that end before offset end.
    void settle(std::size_t end) {
        if (end <= kHeader) {
            done_ = std::max(done_, end);
            return;
        }
        done_ = std::max(done_, kHeader);
        const std::size_t records = (end - done_) / signal::kRecordBytes;
        deltaDecodeRecords(decoder_.data() + done_, records, sums_);
        done_ += records * signal::kRecordBytes;
    }

    LzwBufferDecoder decoder_;
    ChannelState sums_;
    std::size_t done_ = 0; // offset up to which the bytes are finished
};

// The message for a failure of the decoder. "error -3" is the number this message has always
// shown for an invalid code; scripts may look for it.
Status invalidData(const std::string& name, const Status& decoded) {
    if (decoded == ErrorCode::TooLarge)
        return Status::failure(ErrorCode::CorruptCompressedData,
                               name + " is damaged: it expands beyond " +
                                   std::to_string(kMaxDecodedBytes >> 20) + " MB");
    return Status::failure(ErrorCode::CorruptCompressedData,
                           name + " is damaged: invalid compressed data (error -3)");
}

std::string tooShortMessage(const std::string& name, std::size_t size) {
    return name + " is not a compressed ECG file: it is only " + std::to_string(size) +
           " bytes long";
}

std::string noHeaderMessage(const std::string& name, std::size_t size) {
    return name + " is damaged: it holds only " + std::to_string(size) +
           " bytes, less than the 512-byte header";
}

// Room for the whole decoded stream, allocated once. The header's record count gives the size of
// recordings up to 32767 records; longer ones fill the field to its limit, so the compressed size
// (ECG shrinks to about a quarter) bounds the guess from below. Hostile counts cannot make a small
// file allocate much: beyond that the buffer grows as it fills.
std::size_t expectedStreamSize(std::span<const std::uint8_t> ecx) {
    const std::int16_t count =
        signal::readLe16(ecx.data() + signal::DeviceHeader::kRecordCountOffset);
    const std::size_t fromHeader =
        kHeader + static_cast<std::size_t>(std::max<std::int16_t>(count, 0)) * signal::kRecordBytes;
    const std::size_t fromSize = ecx.size() * 5;
    return std::min(std::max(fromHeader, fromSize), ecx.size() * 64 + 4096);
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Keeps a decoded stream within what its header allows for a file of the given kind: once the
// header is decoded, a refused header or a stream that outgrows the header's body (plus margin)
// ends the decoding with a message.
class HeaderBound {
public:
    HeaderBound(std::optional<RecordingKind> kind, std::string name)
        : kind_(kind), name_(std::move(name)) {}

    // Success while the stream may go on; otherwise why it may not. header points at the
    // stream's first bytes, available once size >= the header's size.
    Status check(const std::uint8_t* header, std::size_t size) {
        if (!kind_ || size < kHeader)
            return Status::success();
        if (!limit_) {
            Result<std::uint64_t> body =
                signal::bodyLimit(*signal::DeviceHeader::parse(header, kHeader), *kind_, name_);
            if (!body)
                return body;
            limit_ = signal::deviceFileLimit(body.value);
        }
        if (size > *limit_)
            return Status::failure(ErrorCode::TooLarge,
                                   name_ + " is damaged: it expands beyond the " +
                                       std::to_string(*limit_) + " bytes its header allows");
        return Status::success();
    }

private:
    std::optional<RecordingKind> kind_;
    std::string name_;
    std::optional<std::uint64_t> limit_;
};

// Feeds the encoder the stream after the stored bytes (the rest of the header as it is, then the
// body delta-coded, slice by slice), appending the codes to out.
void encodeEcx(std::span<const std::uint8_t> device, std::vector<std::uint8_t>& out) {
    const std::size_t size = device.size();
    const std::size_t stored = std::min(size, kEcxStoredBytes);
    out.insert(out.end(), device.begin(), device.begin() + static_cast<std::ptrdiff_t>(stored));
    if (size <= kEcxStoredBytes)
        return;
    LzwEncoder encoder;
    const std::size_t header = std::min(size, kHeader);
    encoder.encode(device.data() + stored, header - stored, out);
    std::vector<std::uint8_t> slice(std::min(kBodySlice, size - header));
    ChannelState previous;
    for (std::size_t pos = header; pos < size; pos += kBodySlice) {
        const std::size_t n = std::min(kBodySlice, size - pos);
        deltaEncode(device.data() + pos, slice.data(), n, previous);
        encoder.encode(slice.data(), n, out);
    }
    encoder.finish(out);
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

BytesResult decompressEcxBytes(std::span<const std::uint8_t> ecx, const std::string& name,
                               std::optional<RecordingKind> boundedAs) {
    if (ecx.size() < kEcxStoredBytes)
        return BytesResult::failure(ErrorCode::BadData, tooShortMessage(name, ecx.size()));
    EcxDecoding decoding(ecx.data(), expectedStreamSize(ecx));
    HeaderBound bound(boundedAs, name);
    for (std::size_t pos = kEcxStoredBytes; pos < ecx.size(); pos += kCodePiece) {
        const Status status =
            decoding.decode(ecx.data() + pos, std::min(kCodePiece, ecx.size() - pos));
        if (!status)
            return BytesResult::failure(invalidData(name, status));
        if (Status refused = bound.check(decoding.data(), decoding.size()); !refused)
            return BytesResult::failure(refused);
    }
    if (decoding.size() < kHeader)
        return BytesResult::failure(ErrorCode::BadData, noHeaderMessage(name, decoding.size()));
    decoding.finish();
    return BytesResult::success(decoding.take());
}

BytesResult decompressEcx(const std::filesystem::path& path) {
    signal::FileBytesResult file = signal::mapWholeFile(path, std::uint64_t{1} << 32, true);
    if (!file)
        return BytesResult::failure(file);
    return decompressEcxBytes(std::span<const std::uint8_t>(file.value), path.string());
}

BytesResult readEcxDeviceFile(const std::filesystem::path& path, RecordingKind kind) {
    signal::FileBytesResult file = signal::mapWholeFile(path, kMaxEcxBytes, true);
    if (!file)
        return BytesResult::failure(file);
    return decompressEcxBytes(std::span<const std::uint8_t>(file.value), path.string(), kind);
}

BytesResult readAnyDeviceFile(const std::filesystem::path& path, RecordingKind kind) {
    return isCompressedName(path) ? readEcxDeviceFile(path, kind)
                                  : signal::readDeviceFile(path, kind);
}

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A file read from start to end in pieces through a descriptor: the bytes pass through the
// caller's buffer and are not kept, so reading costs the same little memory whatever the size.
class InputFile {
public:
    explicit InputFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~InputFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    Status open() {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            return Status::failure(ErrorCode::CannotOpen, describe("Cannot open", errno));
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            return Status::failure(ErrorCode::CannotRead, describe("Cannot read", errno));
        if (!S_ISREG(st.st_mode))
            return Status::failure(ErrorCode::NotRegularFile,
                                   "Cannot read " + path_.string() + ": not a regular file");
        size_ = static_cast<std::uint64_t>(st.st_size);
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
        return Status::success();
    }
    // Fills data with up to n bytes; fewer only at the end of the file. A file that ends before
    // the size it had when opened was cut short while it was read.
    Result<std::size_t> read(std::uint8_t* data, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::read(fd_, data + done, n - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Result<std::size_t>::failure(ErrorCode::CannotRead,
                                                    describe("Cannot read", errno));
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        read_ += done;
        if (done < n && read_ < size_)
            return Result<std::size_t>::failure(ErrorCode::CannotRead,
                                                "Cannot read " + path_.string() +
                                                    ": the file became shorter while it was read");
        return Result<std::size_t>::success(done);
    }

private:
    std::string describe(const char* what, int err) const {
        return std::string(what) + " " + path_.string() + ": " + std::strerror(err);
    }

    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t read_ = 0;
};

// Input read and codes handed to the encoder at a time; a multiple of the record size, so the
// delta coding of the body runs over whole records.
std::size_t constexpr kReadPiece = 64 * 1024;
// The decoder pauses after about this much output, so its buffer holds at most this, the
// window and one string.
std::size_t constexpr kOutputPiece = 256 * 1024;
// Output kept for the strings of the current dictionary to be copied from; older strings are
// rebuilt from the dictionary (a dictionary of ECG spans some 25 kB, one of a long run of equal
// bytes up to 7 MB).
std::size_t constexpr kWindow = 256 * 1024;
// Finished output is dropped from the decoder's buffer once this much has gathered.
std::size_t constexpr kForgetPiece = 64 * 1024;

// Decodes the ".ecx" file in piece by piece and hands the device file's bytes to sink.open()
// (once, before the first piece) and sink.write(data, size): the stored bytes and the rest of the
// header as they are, the body delta-decoded out of the decoder's buffer into a piece of output.
// Memory stays bounded whatever the size of the file and whatever its codes expand to.
template <class Sink>
Status decodeEcxFile(const std::filesystem::path& in, Sink& sink, DecompressTimes* times) {
    auto start = std::chrono::steady_clock::now();
    InputFile input(in);
    if (Status s = input.open(); !s)
        return s;
    const std::string name = in.string();
    std::vector<std::uint8_t> codes(kReadPiece);
    Result<std::size_t> got = input.read(codes.data(), kEcxStoredBytes);
    if (!got)
        return got;
    if (got.value < kEcxStoredBytes)
        return Status::failure(ErrorCode::BadData, tooShortMessage(name, got.value));
    if (times) {
        times->openMs = millisecondsSince(start);
        start = std::chrono::steady_clock::now();
    }
    LzwBufferDecoder decoder(kWindow + kForgetPiece + kOutputPiece + 4 * kLzwDictionarySize,
                             kMaxDecodedBytes);
    decoder.append(codes.data(), kEcxStoredBytes);
    std::vector<std::uint8_t> out;
    out.reserve(kWritePiece + kOutputPiece + kHeader);
    ChannelState sums;
    std::size_t done = 0;    // stream offset up to which the bytes are in out or written
    std::size_t dropped = 0; // stream offset of the decoder buffer's first byte
    // The output is created with the first piece worth writing.
    bool opened = false;
    auto write = [&]() {
        if (!opened) {
            if (Status s = sink.open(); !s)
                return s;
            opened = true;
        }
        Status s = sink.write(out.data(), out.size());
        out.clear();
        return s;
    };
    // Moves what is decoded into out: the header once it is whole, then whole records.
    auto finishDecoded = [&]() {
        const std::size_t size = dropped + decoder.size();
        if (size < kHeader)
            return Status::success();
        // Stream offset x is at decoder.data()[x - dropped].
        if (done < kHeader) {
            out.insert(out.end(), decoder.data() + (done - dropped),
                       decoder.data() + (kHeader - dropped));
            done = kHeader;
        }
        const std::size_t records = (size - done) / signal::kRecordBytes;
        const std::size_t used = out.size();
        out.resize(used + records * signal::kRecordBytes);
        deltaDecodeRecords(decoder.data() + (done - dropped), out.data() + used, records, sums);
        done += records * signal::kRecordBytes;
        if (out.size() >= kWritePiece)
            if (Status s = write(); !s)
                return s;
        const std::size_t keepFrom =
            std::max(decoder.settled(), decoder.size() - std::min(decoder.size(), kWindow));
        const std::size_t drop = std::min(keepFrom, done - dropped);
        if (drop >= kForgetPiece) {
            decoder.forget(drop);
            dropped += drop;
        }
        return Status::success();
    };
    for (;;) {
        got = input.read(codes.data(), codes.size());
        if (!got)
            return got;
        if (got.value == 0)
            break;
        std::size_t pos = 0;
        LzwBufferDecoder::Pause pause;
        do {
            const Status status = decoder.decode(codes.data() + pos, got.value - pos,
                                                 decoder.size() + kOutputPiece, pause);
            pos += pause.consumed;
            if (!status)
                return invalidData(name, status);
            if (Status s = finishDecoded(); !s)
                return s;
        } while (pause.paused);
    }
    const std::size_t size = dropped + decoder.size();
    if (size < kHeader)
        return Status::failure(ErrorCode::BadData, noHeaderMessage(name, size));
    // The body's last partial record, if any.
    const std::size_t tail = size - done;
    const std::size_t used = out.size();
    out.insert(out.end(), decoder.data() + (done - dropped), decoder.data() + (size - dropped));
    deltaDecodeTail(out.data() + used, tail, sums);
    Status written = write();
    if (times)
        times->decodeMs = millisecondsSince(start);
    return written;
}

struct AtomicSink {
    signal::AtomicFileWriter writer;
    Status open() { return writer.open(); }
    Status write(const std::uint8_t* data, std::size_t size) { return writer.write(data, size); }
};

struct StreamSink {
    int fd;
    std::string name;
    Status open() { return Status::success(); }
    Status write(const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Status::failure(ErrorCode::CannotWrite,
                                       "Cannot write " + name + ": " + std::strerror(errno));
            done += std::size_t(n);
        }
        return Status::success();
    }
};

} // namespace

Status decompressEcxFile(const std::filesystem::path& in, const std::filesystem::path& out,
                         DecompressTimes* times, bool flushToDisk) {
    AtomicSink sink{signal::AtomicFileWriter(out)};
    if (Status s = decodeEcxFile(in, sink, times); !s)
        return s;
    const auto start = std::chrono::steady_clock::now();
    Status committed = sink.writer.commit(flushToDisk);
    if (times)
        times->flushMs = millisecondsSince(start);
    return committed;
}

Status decompressEcxToStream(const std::filesystem::path& in, int fd, const std::string& fdName,
                             DecompressTimes* times) {
    StreamSink sink{fd, fdName};
    return decodeEcxFile(in, sink, times);
}

std::vector<std::uint8_t> compressToEcx(std::span<const std::uint8_t> deviceFile) {
    std::vector<std::uint8_t> ecx;
    ecx.reserve(deviceFile.size() / 3 + 64);
    encodeEcx(deviceFile, ecx);
    return ecx;
}

Status compressEcxFile(const std::filesystem::path& in, const std::filesystem::path& out,
                       bool flushToDisk) {
    InputFile input(in);
    if (Status s = input.open(); !s)
        return s;
    std::vector<std::uint8_t> piece(kReadPiece);
    Result<std::size_t> got = input.read(piece.data(), kHeader);
    if (!got)
        return got;
    if (got.value < kHeader)
        return Status::failure(
            ErrorCode::BadData,
            in.string() + " is not a device ECG file: it is shorter than its 512-byte header");
    signal::AtomicFileWriter writer(out);
    if (Status s = writer.open(); !s)
        return s;
    std::vector<std::uint8_t> codes(piece.begin(), piece.begin() + kEcxStoredBytes);
    codes.reserve(kWritePiece + kReadPiece * 2);
    LzwEncoder encoder;
    encoder.encode(piece.data() + kEcxStoredBytes, kHeader - kEcxStoredBytes, codes);
    std::vector<std::uint8_t> slice(kReadPiece);
    ChannelState previous;
    for (;;) {
        got = input.read(piece.data(), piece.size());
        if (!got)
            return got;
        if (got.value == 0)
            break;
        deltaEncode(piece.data(), slice.data(), got.value, previous);
        encoder.encode(slice.data(), got.value, codes);
        if (codes.size() >= kWritePiece) {
            if (Status s = writer.write(codes.data(), codes.size()); !s)
                return s;
            codes.clear();
        }
    }
    encoder.finish(codes);
    if (Status s = writer.write(codes.data(), codes.size()); !s)
        return s;
    return writer.commit(flushToDisk);
}

ImportResult importFile(const std::filesystem::path& chosen, signal::RecordingBuffer& buffer) {
    ImportedRecording result;
    auto failWith = [&](ErrorCode code, std::string message) {
        return ImportResult::failure(code, std::move(message), result);
    };
    result.kind = kindFromFileName(chosen);
    // Every read is bounded by what the file's header allows.
    BytesResult read;
    if (isCompressedName(chosen)) {
        signal::FileBytesResult ecx = signal::mapWholeFile(chosen, kMaxEcxBytes, true);
        if (!ecx)
            return failWith(ErrorCode::CannotOpenSource, ecx.message);
        read = decompressEcxBytes(std::span<const std::uint8_t>(ecx.value), chosen.string(),
                                  result.kind);
        if (!read)
            return failWith(ErrorCode::CorruptCompressedData, read.message);
    } else {
        read = signal::readDeviceFile(chosen, result.kind);
        if (!read)
            return failWith(::access(chosen.c_str(), R_OK) == 0 ? ErrorCode::NotDeviceFile
                                                                : ErrorCode::CannotOpenSource,
                            read.message);
    }
    const std::span<const std::uint8_t> device(read.value);
    if (device.size() < kHeader)
        return failWith(ErrorCode::NotDeviceFile,
                        chosen.string() +
                            " is not a device ECG file: it is shorter than its 512-byte header");
    const std::uint64_t body = device.size() - kHeader;
    const std::uint64_t converted =
        result.kind == RecordingKind::A2 && body > signal::kA2FullBodyBytes
            ? signal::kA2FullBodyBytes +
                  (body - signal::kA2FullBodyBytes) / 2 * signal::kRecordBytes
            : body;
    if (converted > 0xFFFFFFFFull)
        return failWith(ErrorCode::NotDeviceFile,
                        chosen.string() + " is too large to show as one recording");
    auto header = signal::DeviceHeader::parse(device.data(), device.size());
    result.durationSeconds = signal::filedDuration(*header, device.size(), result.kind);
    buffer.assign(signal::convertDeviceBytes(device.data(), device.size(), result.kind));
    return ImportResult::success(result);
}

} // namespace velkard::import
