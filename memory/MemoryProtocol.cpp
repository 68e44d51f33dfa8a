// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/MemoryProtocol.h"

#include "signal/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace velkard::memory {
namespace {

using namespace std::chrono_literals;

// Bytes the worker holds back at most while a transfer waits for an exact block; beyond that the
// instrument is sending nonsense and the excess is dropped.
constexpr std::size_t kPendingLimit = 4u << 20;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool markersValid(const std::uint8_t* block) {
    for (int i : {0, 1, 2, 3, 8, 9, 10, 11})
        if (block[i] != cmd::kNameEnd)
            return false;
    return true;
}

std::string quoteName(std::string_view name) {
    return "«" + printableName(name) + "»";
}

} // namespace

MemoryConnection::MemoryConnection(device::Link& link, FileListWindow& window,
                                   std::filesystem::path downloadDir)
    : link_(link), window_(window), downloadDir_(std::move(downloadDir)),
      buffer_(kReceiveBufferBytes) {}

MemoryConnection::~MemoryConnection() {
    end();
}

StartResult MemoryConnection::start() {
    if (running_.load())
        return StartResult::AlreadyRunning;
    {
        std::lock_guard lock(stateMutex_);
        closeOutput();
        state_ = TransferState::Idle;
        pending_.clear();
        heldLone_ = false;
        requested_.clear();
    }
    link_.resetCancel();
    if (link_.open(0) != device::Status::Ok) {
        link_.close();
        return StartResult::NotFound;
    }
    link_.setDataCharacteristics(8, 0, 0);
    link_.setBaudRate(kEnterBaud);
    send(cmd::kEnter);
    running_.store(true);
    worker_ = std::thread([this] { workerMain(); });
    link_.setBaudRate(kTransferBaud);
    return StartResult::Started;
}

void MemoryConnection::end() {
    if (!running_.load())
        return;
    send(cmd::kLeave);
    running_.store(false);
    link_.cancel();
    if (worker_.joinable())
        worker_.join();
    {
        std::lock_guard lock(stateMutex_);
        closeOutput(); // a download cut short stays in the folder as far as it came
    }
    link_.close();
    link_.resetCancel();
}

void MemoryConnection::requestListing() {
    std::lock_guard lock(writeMutex_);
    std::size_t written = 0;
    const std::uint8_t bytes[2] = {cmd::kList, cmd::kContinue};
    link_.write(&bytes[0], 1, written);
    link_.write(&bytes[1], 1, written);
}

bool MemoryConnection::requestNextSelected(RequestKind kind) {
    std::lock_guard lock(stateMutex_);
    return nextSelected(kind, false);
}

TransferState MemoryConnection::state() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

std::uint32_t MemoryConnection::announcedSize() const {
    std::lock_guard lock(stateMutex_);
    return announcedSize_;
}

std::int64_t MemoryConnection::receivedCount() const {
    std::lock_guard lock(stateMutex_);
    return receivedCount_;
}

void MemoryConnection::workerMain() {
    const auto lost = [](device::Status st) {
        return st != device::Status::Ok && st != device::Status::Cancelled;
    };
    while (running_.load()) {
        const bool data = link_.waitForData(1000ms);
        if (!running_.load())
            break;
        device::Status st = device::Status::Ok;
        std::optional<ReplyKind> handled;
        {
            std::lock_guard lock(stateMutex_);
            if (data) {
                st = drain();
            } else {
                std::size_t waiting = 0;
                st = link_.queueStatus(waiting);
            }
            if (lost(st)) {
                // The instrument went away: say so once; the window's close ends the connection.
                report("Связь с прибором потеряна");
                break;
            }
            if (data)
                handled = process();
        }
        if (handled && observer_)
            observer_(*handled);
    }
}

device::Status MemoryConnection::drain() {
    // Take everything waiting, so the next wait sleeps until new bytes arrive.
    for (;;) {
        std::size_t got = 0;
        const device::Status st = link_.readAvailable(buffer_.data(), buffer_.size(), got);
        if (st != device::Status::Ok || got == 0)
            return st;
        const std::size_t room =
            pending_.size() < kPendingLimit ? kPendingLimit - pending_.size() : 0;
        pending_.insert(pending_.end(), buffer_.begin(),
                        buffer_.begin() + static_cast<std::ptrdiff_t>(std::min(got, room)));
    }
}

std::optional<ReplyKind> MemoryConnection::process() {
    const auto isReply = [this](std::uint8_t b) {
        return state_ == TransferState::Idle
                   ? b == reply::kCardMissing || b == reply::kReadAccepted ||
                         b == reply::kReadFinished || b == reply::kDeleteFinished
                   : b == reply::kReadFinished;
    };
    const bool singleState = state_ == TransferState::Idle || state_ == TransferState::Discarding;
    // A lone byte held back earlier, not the "<" that opens a listing entry, followed by a reply
    // byte: it was a stray, and holding it would hide the reply for good.
    if (singleState && heldLone_ && pending_.size() == 2 && pending_[0] != '<' &&
        isReply(pending_[1]))
        pending_.erase(pending_.begin());
    heldLone_ = false;
    const std::size_t q = pending_.size();
    if (q == 1 && singleState) {
        const std::uint8_t byte = pending_[0];
        // Any other lone byte may be the first of a block still arriving; it stays waiting.
        if (!isReply(byte)) {
            heldLone_ = true;
            return std::nullopt;
        }
        pending_.clear();
        handleSingleByte(byte);
        return ReplyKind::SingleByte;
    }
    switch (state_) {
    case TransferState::AwaitingFirstBlock:
        if (q != kBlockBytes)
            return std::nullopt;
        handleFirstBlock(pending_.data());
        pending_.clear();
        return ReplyKind::DataBlock;
    case TransferState::AwaitingNextBlock:
        if (q != kBlockBytes)
            return std::nullopt;
        handleNextBlock(pending_.data());
        pending_.clear();
        return ReplyKind::DataBlock;
    case TransferState::Discarding:
        if (q != kBlockBytes)
            return std::nullopt;
        pending_.clear();
        send(cmd::kContinue);
        return ReplyKind::DataBlock;
    case TransferState::Idle:
        if (q < kBlockBytes)
            return std::nullopt;
        handleListing(q);
        return ReplyKind::ListingBlock;
    }
    return std::nullopt;
}

void MemoryConnection::handleSingleByte(std::uint8_t byte) {
    // The entry just handled loses its selection: the first selected entry with the requested text
    // (the user may have changed the selection meanwhile; the buttons stay usable during a run).
    auto deselectRequested = [this] {
        const std::size_t n = window_.entryCount();
        for (std::size_t i = 0; i < n; ++i) {
            if (window_.isSelected(i) && window_.entryText(i) == requested_) {
                window_.clearSelected(i);
                break;
            }
        }
        requested_.clear();
    };
    switch (byte) {
    case reply::kCardMissing:
        requested_.clear();
        window_.showMessage(kCardMissingText, kErrorCaption);
        window_.setListEnabled(true);
        break;
    case reply::kReadAccepted:
        // The output file is named after the file requested, not after whatever is selected now.
        outputName_ = requestedKind_ == RequestKind::Read ? requested_ : std::string();
        if (outputName_.empty()) {
            closeOutput();
            report("Прибор передаёт файл, который не был запрошен. Данные не сохраняются");
        } else {
            openOutput();
        }
        send(cmd::kContinue);
        state_ = TransferState::AwaitingFirstBlock;
        break;
    case reply::kReadFinished:
        deselectRequested();
        state_ = TransferState::Idle;
        closeOutput();
        nextSelected(RequestKind::Read, true);
        break;
    case reply::kDeleteFinished:
        deselectRequested();
        nextSelected(RequestKind::Delete, true);
        break;
    default:
        break;
    }
}

void MemoryConnection::handleFirstBlock(const std::uint8_t* block) {
    if (!markersValid(block)) {
        abandonOutput("прибор прислал неверный заголовок данных");
        send(cmd::kContinue);
        // The size is unknown: acknowledge whatever follows until Read finished.
        state_ = TransferState::Discarding;
        return;
    }
    announcedSize_ = le32(block + 4);
    const std::size_t carried = kBlockBytes - kFirstBlockHeader;
    const std::size_t n = std::min<std::size_t>(announcedSize_, carried);
    writeOutput(block + kFirstBlockHeader, n);
    receivedCount_ = static_cast<std::int64_t>(n);
    send(cmd::kContinue);
    state_ = carried < announcedSize_ ? TransferState::AwaitingNextBlock : TransferState::Idle;
    window_.setProgressRange(0, announcedSize_);
    window_.setProgressPosition(receivedCount_);
}

void MemoryConnection::handleNextBlock(const std::uint8_t* block) {
    const std::int64_t left = std::int64_t(announcedSize_) - receivedCount_;
    const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(left, 0, kBlockBytes));
    writeOutput(block, n);
    receivedCount_ += static_cast<std::int64_t>(kBlockBytes);
    window_.setProgressPosition(receivedCount_);
    if (receivedCount_ >= std::int64_t(announcedSize_))
        state_ = TransferState::Idle;
    send(cmd::kContinue);
}

void MemoryConnection::handleListing(std::size_t q) {
    ListingParser parser;
    for (std::size_t off = 0; off < q; off += kReceiveBufferBytes)
        parser.feed(pending_.data() + off, std::min(kReceiveBufferBytes, q - off));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(q));
    const ListingResult r = parser.finish();
    for (const std::string& e : r.entries)
        window_.appendEntry(e);
    if (r.refusedTooLong > 0)
        report("Имена некоторых файлов на карте длиннее " + std::to_string(kMaxFileName) +
               " байт (" + std::to_string(r.refusedTooLong) + "); эти файлы не показаны");
    send(cmd::kContinue);
}

bool MemoryConnection::nextSelected(RequestKind kind, bool fromWorker) {
    const std::size_t n = window_.entryCount();
    for (std::size_t i = 0; i < n; ++i) {
        if (!window_.isSelected(i))
            continue;
        const std::string text = window_.entryText(i);
        if (isFolderEntry(text)) {
            window_.clearSelected(i);
            continue;
        }
        const NameProblem problem =
            kind == RequestKind::Read ? checkDownloadName(text) : checkRequestName(text);
        if (problem != NameProblem::None) {
            window_.clearSelected(i);
            report(
                kind == RequestKind::Read
                    ? "Имя файла " + quoteName(text) + " недопустимо для сохранения; файл пропущен"
                    : "Имя файла " + quoteName(text) + " нельзя передать прибору; файл пропущен");
            continue;
        }
        // Between replies nothing is due from the instrument: whatever waits now is a stray that
        // would otherwise sit in front of the reply to this request.
        if (state_ == TransferState::Idle) {
            link_.purge(device::kPurgeRx);
            pending_.clear();
            heldLone_ = false;
        }
        sendCommand(kind == RequestKind::Read ? cmd::kRead : cmd::kDelete, text);
        requested_ = text;
        requestedKind_ = kind;
        window_.setListEnabled(false);
        return true;
    }
    if (fromWorker) {
        window_.setListEnabled(true);
        if (kind == RequestKind::Delete)
            window_.refresh();
    }
    return false;
}

void MemoryConnection::openOutput() {
    closeOutput();
    if (checkDownloadName(outputName_) != NameProblem::None) {
        report("Имя файла " + quoteName(outputName_) +
               " недопустимо для сохранения; файл пропущен");
        return;
    }
    const std::filesystem::path path = downloadDir_ / signal::cp1251ToUtf8(outputName_);
    // O_NOFOLLOW: a link planted in the download folder cannot redirect the write elsewhere.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        report("Не удалось создать файл " + path.string() + ": " + std::strerror(err) +
               ". Файл пропущен");
        return;
    }
    output_ = f;
    outputPath_ = path;
}

void MemoryConnection::closeOutput() {
    if (!output_)
        return;
    const bool ok = std::fclose(output_) == 0;
    output_ = nullptr;
    if (!ok) {
        const int err = errno;
        std::error_code ec;
        std::filesystem::remove(outputPath_, ec);
        report("Ошибка записи в файл " + outputPath_.string() + ": " + std::strerror(err) +
               ". Файл не сохранён");
    }
}

void MemoryConnection::abandonOutput(const std::string& why) {
    if (!output_) {
        report((outputName_.empty() ? std::string("Файл") : "Файл " + quoteName(outputName_)) +
               ": " + why + ". Данные не сохранены");
        return;
    }
    std::fclose(output_);
    output_ = nullptr;
    std::error_code ec;
    std::filesystem::remove(outputPath_, ec);
    report("Файл " + outputPath_.string() + ": " + why + ". Файл не сохранён");
}

void MemoryConnection::writeOutput(const std::uint8_t* data, std::size_t n) {
    if (!output_ || n == 0)
        return;
    if (std::fwrite(data, 1, n, output_) != n || std::fflush(output_) != 0)
        abandonOutput(std::string("ошибка записи: ") + std::strerror(errno));
}

void MemoryConnection::send(std::uint8_t byte) {
    std::lock_guard lock(writeMutex_);
    std::size_t written = 0;
    link_.write(&byte, 1, written);
}

void MemoryConnection::sendCommand(std::uint8_t command, const std::string& name) {
    std::lock_guard lock(writeMutex_);
    std::size_t written = 0;
    link_.write(&command, 1, written);
    for (char c : name) {
        const auto b = static_cast<std::uint8_t>(c);
        link_.write(&b, 1, written);
    }
    link_.write(&cmd::kNameEnd, 1, written);
}

void MemoryConnection::report(const std::string& text) {
    window_.showMessage(text, kErrorCaption);
}

StartResult runMemoryConnection(MemoryConnection& connection, FileListWindow& window,
                                const std::function<void()>& showModal) {
    window.clearEntries();
    window.setProgressPosition(0);
    const StartResult r = connection.start();
    if (r != StartResult::Started)
        return r;
    showModal();
    connection.end();
    return r;
}

} // namespace velkard::memory
