// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/MemoryProtocol.h"

#include "signal/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
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

ErrorCode codeOf(MemoryProblem problem) {
    switch (problem) {
    case MemoryProblem::NoAnswer:
        return ErrorCode::NoAnswer;
    case MemoryProblem::TransferBroken:
    case MemoryProblem::BadHeader:
        return ErrorCode::BadData;
    case MemoryProblem::LinkLost:
        return ErrorCode::DeviceLost;
    case MemoryProblem::CardMissing:
        return ErrorCode::CardMissing;
    case MemoryProblem::NamesTooLong:
        return ErrorCode::TooLarge;
    case MemoryProblem::NameNotSavable:
    case MemoryProblem::NameNotSendable:
        return ErrorCode::InvalidArgument;
    case MemoryProblem::CannotCreate:
    case MemoryProblem::CannotSave:
    case MemoryProblem::WriteFailed:
        return ErrorCode::CannotWrite;
    }
    return ErrorCode::Failed;
}

constexpr const char* kPartialPrefix = ".velkard-partial-";

// The longest the worker sleeps between looks at its deadline.
constexpr auto kDeadlineCheck = 200ms;

} // namespace

MemoryMessage memoryMessage(const MemoryReport& r, bool russian) {
    const auto shown = [](std::string text) {
        return MemoryMessage{std::move(text), kErrorCaption};
    };
    // Why data was thrown away, for the two messages that name the file or the download.
    const auto discarded = [&](const std::string& why) {
        if (!r.path.empty())
            return shown("Файл " + r.path + ": " + why + ". Файл не сохранён");
        return shown((r.name.empty() ? std::string("Файл") : "Файл " + quoteName(r.name)) + ": " +
                     why + ". Данные не сохранены");
    };
    switch (r.problem) {
    case MemoryProblem::NoAnswer:
        return shown(russian ? kNoAnswerRu : kNoAnswerEn);
    case MemoryProblem::TransferBroken:
        return shown(russian ? "Файл " + quoteName(r.name) + " передан с ошибкой. Файл не сохранён"
                             : "The file " + quoteName(r.name) +
                                   " was transferred with an error. It was not saved");
    case MemoryProblem::LinkLost:
        return shown("Связь с прибором потеряна");
    case MemoryProblem::CardMissing:
        return shown(kCardMissingText);
    case MemoryProblem::NamesTooLong:
        return shown("Имена некоторых файлов на карте длиннее " + std::to_string(kMaxFileName) +
                     " байт (" + std::to_string(r.count) + "); эти файлы не показаны");
    case MemoryProblem::NameNotSavable:
        return shown("Имя файла " + quoteName(r.name) +
                     " недопустимо для сохранения; файл пропущен");
    case MemoryProblem::NameNotSendable:
        return shown("Имя файла " + quoteName(r.name) + " нельзя передать прибору; файл пропущен");
    case MemoryProblem::CannotCreate:
        return shown("Не удалось создать файл " + r.path + ": " + r.reason + ". Файл пропущен");
    case MemoryProblem::CannotSave:
        return shown("Ошибка записи в файл " + r.path + ": " + r.reason + ". Файл не сохранён");
    case MemoryProblem::BadHeader:
        return discarded("прибор прислал неверный заголовок данных");
    case MemoryProblem::WriteFailed:
        return discarded("ошибка записи: " + r.reason);
    }
    return shown("");
}

std::string partialDownloadName(const std::string& fileName) {
    return kPartialPrefix + fileName;
}

bool isPartialDownloadName(std::string_view fileName) {
    return fileName.substr(0, std::string_view(kPartialPrefix).size()) == kPartialPrefix;
}

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
        discardOutput();
        state_ = TransferState::Idle;
        outstanding_ = Outstanding::None;
        readAccepted_ = false;
        armed_ = false;
        pending_.clear();
        heldLone_ = false;
        requested_.clear();
    }
    listingAsked_ = false;
    link_.resetCancel();
    if (!link_.open(0)) {
        link_.close();
        return StartResult::NotFound;
    }
    link_.setDataCharacteristics(8, 0, 0);
    link_.setBaudRate(kEnterBaud);
    send(cmd::kEnter);
    // The command must leave at 230,400 baud: a byte still in the transmitter when the speed
    // changes would reach the instrument garbled, and it would never enter memory mode.
    link_.drainOutput();
    link_.setBaudRate(kTransferBaud);
    running_.store(true);
    worker_ = std::thread([this] { workerMain(); });
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
        discardOutput(); // a download cut short is no recording: nothing is left of it
    }
    link_.close();
    link_.resetCancel();
}

void MemoryConnection::requestListing() {
    // Taken by the worker before it looks at any reply (the window's refresh may run on the
    // worker itself, inside a reply's handling, so the state lock cannot be taken here).
    listingAsked_.store(true);
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

std::uint64_t MemoryConnection::droppedBytes() const {
    std::lock_guard lock(stateMutex_);
    return dropped_;
}

void MemoryConnection::arm(std::chrono::milliseconds wait) {
    armed_ = true;
    deadline_ = Clock::now() + wait;
}

void MemoryConnection::drop(std::size_t n, const char* why) {
    dropped_ += n;
    const std::string line = "memory: dropped " + std::to_string(n) + " byte(s): " + why;
    if (log_)
        log_(line);
    else
        std::cerr << line << '\n';
}

bool MemoryConnection::expectsReply(std::uint8_t byte) const {
    if (state_ == TransferState::Discarding)
        return byte == reply::kReadFinished;
    if (state_ != TransferState::Idle)
        return false; // a data block is due
    switch (outstanding_) {
    case Outstanding::None:
        return false;
    case Outstanding::Listing:
        return byte == reply::kCardMissing;
    case Outstanding::Read:
        return readAccepted_ ? byte == reply::kReadFinished
                             : byte == reply::kReadAccepted || byte == reply::kCardMissing;
    case Outstanding::Delete:
        return byte == reply::kDeleteFinished || byte == reply::kCardMissing;
    }
    return false;
}

bool MemoryConnection::checkDeadline() {
    if (!armed_ || Clock::now() < deadline_)
        return false;
    if (outstanding_ == Outstanding::Listing && listingBlocks_ > 0 &&
        (pending_.empty() || pending_[0] != '<')) {
        // Nothing marks the end of a listing: no further block in time means it is complete.
        if (!pending_.empty())
            drop(pending_.size(), "after the listing");
        pending_.clear();
        heldLone_ = false;
        outstanding_ = Outstanding::None;
        armed_ = false;
        return false;
    }
    failRequest({.problem = MemoryProblem::NoAnswer});
    return true;
}

void MemoryConnection::failRequest(MemoryReport why) {
    // Start clean: nothing half-received stays in the way of the next request, and nothing
    // half-written stays in the folder.
    link_.purge(device::kPurgeRx | device::kPurgeTx);
    pending_.clear();
    heldLone_ = false;
    discardOutput();
    state_ = TransferState::Idle;
    outstanding_ = Outstanding::None;
    readAccepted_ = false;
    armed_ = false;
    requested_.clear();
    report(std::move(why));
    window_.setListEnabled(true);
}

void MemoryConnection::workerMain() {
    const auto lost = [](Status st) { return !st && st != ErrorCode::Cancelled; };
    while (running_.load()) {
        std::chrono::milliseconds wait = kDeadlineCheck;
        {
            std::lock_guard lock(stateMutex_);
            if (armed_) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
                wait = std::clamp(left + 1ms, 1ms, kDeadlineCheck);
            }
        }
        const bool data = link_.waitForData(wait);
        if (!running_.load())
            break;
        Status st;
        std::optional<ReplyKind> handled;
        {
            std::lock_guard lock(stateMutex_);
            if (data) {
                st = drain();
            } else {
                std::size_t waiting = 0;
                st = link_.queueStatus(waiting);
            }
            // Taken after draining: a listing is asked before its request is written, so every
            // byte of its reply drained here is taken as the listing's (taken before, a reply
            // arriving between the two steps was dropped as unasked).
            if (listingAsked_.exchange(false)) {
                outstanding_ = Outstanding::Listing;
                listingBlocks_ = 0;
                arm(timeouts_.firstByte);
            }
            if (lost(st)) {
                // The instrument went away: say so once; the window's close ends the connection.
                discardOutput();
                report({.problem = MemoryProblem::LinkLost});
                break;
            }
            if (data)
                handled = process();
            if (checkDeadline())
                handled = ReplyKind::Failed;
        }
        if (handled && observer_)
            observer_(*handled);
    }
}

Status MemoryConnection::drain() {
    // Take everything waiting, so the next wait sleeps until new bytes arrive.
    for (;;) {
        std::size_t got = 0;
        const Status st = link_.readAvailable(buffer_.data(), buffer_.size(), got);
        if (!st || got == 0)
            return st;
        // A block under way: its next byte is due within nextByte.
        if (armed_ && (state_ != TransferState::Idle || outstanding_ == Outstanding::Listing))
            arm(timeouts_.nextByte);
        const std::size_t room =
            pending_.size() < kPendingLimit ? kPendingLimit - pending_.size() : 0;
        pending_.insert(pending_.end(), buffer_.begin(),
                        buffer_.begin() + static_cast<std::ptrdiff_t>(std::min(got, room)));
    }
}

std::optional<ReplyKind> MemoryConnection::process() {
    if (pending_.empty())
        return std::nullopt;
    // Nothing asked: whatever comes is a stray, dropped and never acted on (an unasked Delete
    // finished must not delete the next selected file, an unasked Read finished not start a read).
    if (state_ == TransferState::Idle && outstanding_ == Outstanding::None) {
        drop(pending_.size(), "no request outstanding");
        pending_.clear();
        heldLone_ = false;
        return std::nullopt;
    }
    // Waiting for a one-byte answer to Read or Delete (no block can come before it): bytes other
    // than the answer are strays.
    if (state_ == TransferState::Idle &&
        (outstanding_ == Outstanding::Delete || outstanding_ == Outstanding::Read)) {
        const auto it = std::find_if(pending_.begin(), pending_.end(),
                                     [this](std::uint8_t b) { return expectsReply(b); });
        const auto strays = static_cast<std::size_t>(it - pending_.begin());
        if (outstanding_ == Outstanding::Read && readAccepted_ && strays > 0) {
            // All blocks are in and something other than Read finished came: the transfer went
            // wrong somewhere (a byte too many); what was received cannot be trusted.
            failRequest({.problem = MemoryProblem::TransferBroken, .name = requested_});
            return ReplyKind::Failed;
        }
        if (strays > 0) {
            drop(strays, "not the reply to the outstanding request");
            pending_.erase(pending_.begin(), it);
        }
        heldLone_ = false;
        if (pending_.empty())
            return std::nullopt;
        const std::uint8_t byte = pending_.front();
        pending_.erase(pending_.begin());
        handleSingleByte(byte);
        return ReplyKind::SingleByte;
    }
    const bool singleState = state_ == TransferState::Idle || state_ == TransferState::Discarding;
    // A lone byte held back earlier, not the "<" that opens a listing entry, followed by a reply
    // byte: it was a stray, and holding it would hide the reply for good.
    if (singleState && heldLone_ && pending_.size() == 2 && pending_[0] != '<' &&
        expectsReply(pending_[1])) {
        drop(1, "stray before a reply");
        pending_.erase(pending_.begin());
    }
    heldLone_ = false;
    const std::size_t q = pending_.size();
    if (q == 1 && singleState) {
        const std::uint8_t byte = pending_[0];
        // Any other lone byte may be the first of a block still arriving; it stays waiting.
        if (!expectsReply(byte)) {
            heldLone_ = true;
            return std::nullopt;
        }
        pending_.clear();
        handleSingleByte(byte);
        return ReplyKind::SingleByte;
    }
    const auto brokenBlock = [this] {
        // More bytes than a block before it was acknowledged: the instrument sent a byte too many
        // (or noise joined the block). Its data cannot be placed, so the file is given up.
        failRequest({.problem = MemoryProblem::TransferBroken, .name = requested_});
        return ReplyKind::Failed;
    };
    switch (state_) {
    case TransferState::AwaitingFirstBlock:
        if (q > kBlockBytes)
            return brokenBlock();
        if (q != kBlockBytes)
            return std::nullopt;
        handleFirstBlock(pending_.data());
        pending_.clear();
        return ReplyKind::DataBlock;
    case TransferState::AwaitingNextBlock:
        if (q > kBlockBytes)
            return brokenBlock();
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
        ++listingBlocks_;
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
        outstanding_ = Outstanding::None;
        armed_ = false;
        report({.problem = MemoryProblem::CardMissing});
        window_.setListEnabled(true);
        break;
    case reply::kReadAccepted:
        // Only ever for the outstanding Read: the output file is named after the file requested,
        // not after whatever is selected now.
        readAccepted_ = true;
        outputName_ = requested_;
        openOutput();
        send(cmd::kContinue);
        state_ = TransferState::AwaitingFirstBlock;
        arm(timeouts_.firstByte);
        break;
    case reply::kReadFinished:
        deselectRequested();
        state_ = TransferState::Idle;
        outstanding_ = Outstanding::None;
        readAccepted_ = false;
        armed_ = false;
        finishOutput();
        nextSelected(RequestKind::Read, true);
        break;
    case reply::kDeleteFinished:
        deselectRequested();
        outstanding_ = Outstanding::None;
        armed_ = false;
        nextSelected(RequestKind::Delete, true);
        break;
    default:
        break;
    }
}

void MemoryConnection::handleFirstBlock(const std::uint8_t* block) {
    if (!markersValid(block)) {
        abandonOutput(MemoryProblem::BadHeader);
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
    arm(timeouts_.nextByte);
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
    arm(timeouts_.nextByte);
    send(cmd::kContinue);
}

void MemoryConnection::handleListing(std::size_t q) {
    ListingParser parser;
    for (std::size_t off = 0; off < q; off += kReceiveBufferBytes)
        parser.feed(pending_.data() + off, std::min(kReceiveBufferBytes, q - off));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(q));
    const Listing r = parser.finish();
    for (const std::string& e : r.entries)
        window_.appendEntry(e);
    if (r.refusedTooLong > 0)
        report({.problem = MemoryProblem::NamesTooLong, .count = r.refusedTooLong});
    arm(timeouts_.nextByte);
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
            report({.problem = kind == RequestKind::Read ? MemoryProblem::NameNotSavable
                                                         : MemoryProblem::NameNotSendable,
                    .name = text});
            continue;
        }
        // Between replies nothing is due from the instrument: whatever waits now is a stray that
        // would otherwise sit in front of the reply to this request.
        if (state_ == TransferState::Idle) {
            link_.purge(device::kPurgeRx);
            pending_.clear();
            heldLone_ = false;
        }
        // Set before the command goes out: the reply may come at once.
        requested_ = text;
        requestedKind_ = kind;
        outstanding_ = kind == RequestKind::Read ? Outstanding::Read : Outstanding::Delete;
        readAccepted_ = false;
        arm(timeouts_.firstByte);
        sendCommand(kind == RequestKind::Read ? cmd::kRead : cmd::kDelete, text);
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
    discardOutput();
    if (checkDownloadName(outputName_) != NameProblem::None) {
        report({.problem = MemoryProblem::NameNotSavable, .name = outputName_});
        return;
    }
    const std::string name = signal::cp1251ToUtf8(outputName_);
    const std::filesystem::path path = downloadDir_ / name;
    // A link planted in the download folder under the file's name is not replaced or followed.
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
        report({.problem = MemoryProblem::CannotCreate,
                .path = path.string(),
                .reason = std::strerror(ELOOP)});
        return;
    }
    const std::filesystem::path partial = downloadDir_ / partialDownloadName(name);
    // O_NOFOLLOW: a link planted under the partial name cannot redirect the write elsewhere.
    const int fd =
        ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        report({.problem = MemoryProblem::CannotCreate,
                .path = path.string(),
                .reason = std::strerror(err)});
        return;
    }
    output_ = f;
    outputPath_ = partial;
    finalPath_ = path;
}

void MemoryConnection::finishOutput() {
    if (!output_)
        return;
    const bool ok = std::fclose(output_) == 0;
    output_ = nullptr;
    std::error_code ec;
    if (!ok) {
        const int err = errno;
        std::filesystem::remove(outputPath_, ec);
        report({.problem = MemoryProblem::CannotSave,
                .path = finalPath_.string(),
                .reason = std::strerror(err)});
        return;
    }
    std::filesystem::rename(outputPath_, finalPath_, ec);
    if (ec) {
        std::filesystem::remove(outputPath_, ec);
        report({.problem = MemoryProblem::CannotSave,
                .path = finalPath_.string(),
                .reason = ec.message()});
    }
}

void MemoryConnection::discardOutput() {
    if (!output_)
        return;
    std::fclose(output_);
    output_ = nullptr;
    std::error_code ec;
    std::filesystem::remove(outputPath_, ec);
}

void MemoryConnection::abandonOutput(MemoryProblem why, const std::string& reason) {
    if (!output_) {
        report({.problem = why, .name = outputName_, .reason = reason});
        return;
    }
    std::fclose(output_);
    output_ = nullptr;
    std::error_code ec;
    std::filesystem::remove(outputPath_, ec);
    report({.problem = why, .name = outputName_, .path = finalPath_.string(), .reason = reason});
}

void MemoryConnection::writeOutput(const std::uint8_t* data, std::size_t n) {
    if (!output_ || n == 0)
        return;
    if (std::fwrite(data, 1, n, output_) != n || std::fflush(output_) != 0)
        abandonOutput(MemoryProblem::WriteFailed, std::strerror(errno));
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

void MemoryConnection::report(MemoryReport report) {
    report.code = codeOf(report.problem);
    window_.report(report);
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
