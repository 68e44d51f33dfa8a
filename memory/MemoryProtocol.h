// SPDX-License-Identifier: GPL-3.0-or-later
// The device memory protocol: a memory connection over its own device::Link, the memory worker
// that answers the instrument's replies, and the operations it needs from the device file list
// window.
//
// No Qt here: the window (memory/ui) implements FileListWindow, the command line has a console one.
#pragma once

#include "device/Link.h"
#include "memory/Listing.h"
#include "wire/MemoryWire.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velkard::memory {

inline constexpr std::uint32_t kEnterBaud = 230400;
inline constexpr std::uint32_t kTransferBaud = 3000000;
inline constexpr std::size_t kReceiveBufferBytes = 50000;

// Texts of the connection (Russian-only ones are the same in both interface languages).
inline constexpr const char* kNotFoundRu = "Прибор не найден";
inline constexpr const char* kNotFoundEn = "The device is not found";
inline constexpr const char* kNoAnswerRu = "Прибор не отвечает";
inline constexpr const char* kNoAnswerEn = "The device does not respond";

// How long the worker waits before it gives a request up: for the first byte of a reply (the card
// may have to find the file first), and for the next byte once a reply is under way.
struct Timeouts {
    std::chrono::milliseconds firstByte{10000};
    std::chrono::milliseconds nextByte{2000};
};

// A download is written under this name in the download folder and gets its own name only when
// the instrument has said Read finished, so no file under a recording's name is ever partial.
std::string partialDownloadName(const std::string& fileName);
// True for names partialDownloadName() makes (left behind when the program was killed mid-read).
bool isPartialDownloadName(std::string_view fileName);
inline constexpr const char* kCardMissingText = "SD карта не найдена";
inline constexpr const char* kErrorCaption = "Ошибка";

// What the memory worker reports to the window. It carries no text: the window picks the text on
// its own thread, in the interface language of that moment, with memoryMessage().
enum class MemoryProblem {
    NoAnswer,        // a request was given up: no reply in time
    TransferBroken,  // a file came with a byte too many; nothing of it is kept (name)
    LinkLost,        // the instrument went away during the connection
    CardMissing,     // the instrument has no memory card
    NamesTooLong,    // count names on the card were longer than kMaxFileName and are not listed
    NameNotSavable,  // a selected name cannot be saved safely; the file is skipped (name)
    NameNotSendable, // a selected name cannot be sent to the instrument; skipped (name)
    CannotCreate,    // the download cannot be created (path, reason); the file is skipped
    CannotSave,      // the download cannot be completed (path, reason); nothing is kept
    BadHeader,       // the first block's markers are wrong: the data is discarded (name or path)
    WriteFailed,     // writing the download failed (path, reason); nothing is kept
};

struct MemoryReport {
    MemoryProblem problem = MemoryProblem::NoAnswer;
    // The Status code of the problem: NoAnswer, BadData (TransferBroken, BadHeader), DeviceLost,
    // CardMissing, TooLarge (NamesTooLong), InvalidArgument (the names), CannotWrite (the files).
    ErrorCode code = ErrorCode::Failed;
    std::string name = {};   // the file's entry bytes as the instrument sent them (Windows-1251)
    std::string path = {};   // the download's path, UTF-8; empty when no file was open
    std::string reason = {}; // the system's words for a file error
    std::size_t count = 0;
};

// The message box for a report: text and caption in UTF-8, exactly as the window shows them.
struct MemoryMessage {
    std::string text;
    std::string caption;
};
MemoryMessage memoryMessage(const MemoryReport& report, bool russian);

// The operations the memory worker needs from the device file list window (DeviceFileList).
//
// Threading contract: every function may be called from the memory worker thread as well as from
// the window's thread. The queries must answer from a state that already includes every change
// made through this interface (keep the list in a guarded model, e.g. FileListModel, not only in
// the widget), and each change must reach the widgets in the order of the calls (queued to the
// window's thread). No function may wait for the window's thread: the window's thread may be
// blocked in MemoryConnection::end() waiting for the worker.
class FileListWindow {
public:
    virtual ~FileListWindow() = default;

    virtual std::size_t entryCount() = 0;
    // Raw bytes of entry i as the instrument sent them (a folder's ends with "/").
    virtual std::string entryText(std::size_t i) = 0;
    virtual bool isSelected(std::size_t i) = 0;
    virtual void clearSelected(std::size_t i) = 0;
    virtual void appendEntry(const std::string& text) = 0;
    virtual void clearEntries() = 0;
    virtual void setListEnabled(bool enabled) = 0;
    virtual void setProgressRange(std::int64_t minimum, std::int64_t maximum) = 0;
    virtual void setProgressPosition(std::int64_t position) = 0;
    // A problem to tell the user about in a message box with one OK button, owned by the window.
    // Called on the worker thread: the window makes the text (memoryMessage) on its own thread.
    // May return before the user has closed the box.
    virtual void report(const MemoryReport& report) = 0;
    // The window's Refresh action: clear the entries, then MemoryConnection::requestListing().
    virtual void refresh() = 0;
};

enum class TransferState : std::int16_t {
    Idle = 0,
    AwaitingFirstBlock = 1,
    AwaitingNextBlock = 2,
    // A transfer whose data is not kept (output file not created or broken, unexpected or malformed
    // transfer): every block is still acknowledged so the instrument is not left waiting, and Read
    // finished ends it.
    Discarding = 3,
};

enum class RequestKind { Read, Delete };

// What the worker has just handled, for observers (the command line waits on these). Failed: a
// request was given up (time-out, broken transfer); the message has been shown.
enum class ReplyKind { SingleByte, DataBlock, ListingBlock, Failed };

enum class StartResult {
    Started,
    NotFound, // FT_Open failed: show kNotFoundRu / kNotFoundEn, show no window
    AlreadyRunning,
};

// One memory connection on its own link. Downloads go to downloadDir (the working folder's
// "temp"), which the caller creates.
class MemoryConnection {
public:
    MemoryConnection(device::Link& link, FileListWindow& window, std::filesystem::path downloadDir);
    ~MemoryConnection(); // ends a running connection
    MemoryConnection(const MemoryConnection&) = delete;
    MemoryConnection& operator=(const MemoryConnection&) = delete;

    // Resets the transfer (no output file, state Idle), opens device 0, 8N1 at 230,400 baud, writes
    // Enter memory mode, waits until it has left the wire, switches to 3,000,000 baud and starts
    // the worker. Every reply is acted on only while its request is outstanding; a request that
    // gets no answer in time is given up with "Прибор не отвечает" and the list enabled again. The
    // caller has cleared the list and set the progress position to 0 before, and shows the window
    // modally after.
    StartResult start();
    // Writes Leave memory mode, stops and joins the worker, removes a partial download and closes
    // the link. Does nothing when not running.
    void end();
    bool running() const { return running_.load(); }

    // List files then Continue (the Refresh action, after the window has cleared its list).
    void requestListing();
    // The next selected request from a button (Accept: Read, Delete: Delete). Returns true when a
    // file was requested.
    bool requestNextSelected(RequestKind kind);

    // Called on the worker thread after each reply it has handled; set before start(), must not
    // block.
    void setReplyObserver(std::function<void(ReplyKind)> observer) {
        observer_ = std::move(observer);
    }
    // Set before start().
    void setTimeouts(Timeouts timeouts) { timeouts_ = timeouts; }
    // Receives a line for every byte dropped because nothing had asked for it (stderr by default).
    void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }
    // Reply bytes dropped because no request of theirs was outstanding.
    std::uint64_t droppedBytes() const;

    TransferState state() const;
    std::uint32_t announcedSize() const;
    std::int64_t receivedCount() const;

private:
    using Clock = std::chrono::steady_clock;
    // The request the instrument owes an answer to.
    enum class Outstanding { None, Listing, Read, Delete };

    void workerMain();
    bool expectsReply(std::uint8_t byte) const;
    void drop(std::size_t n, const char* why);
    void arm(std::chrono::milliseconds wait);
    // Gives the outstanding request up when its reply is overdue; true when it did.
    bool checkDeadline();
    void failRequest(MemoryReport why);
    void finishOutput();
    void discardOutput();
    Status drain();
    std::optional<ReplyKind> process();
    void handleSingleByte(std::uint8_t byte);
    void handleFirstBlock(const std::uint8_t* block);
    void handleNextBlock(const std::uint8_t* block);
    void handleListing(std::size_t q);
    bool nextSelected(RequestKind kind, bool fromWorker);
    void openOutput();
    void abandonOutput(MemoryProblem why, const std::string& reason = {});
    void writeOutput(const std::uint8_t* data, std::size_t n);
    void send(std::uint8_t byte);
    void sendCommand(std::uint8_t command, const std::string& name);
    void report(MemoryReport report);

    device::Link& link_;
    FileListWindow& window_;
    std::function<void(ReplyKind)> observer_;
    std::function<void(const std::string&)> log_;
    Timeouts timeouts_;
    std::filesystem::path downloadDir_;

    std::atomic<bool> running_{false};
    std::thread worker_;
    std::mutex writeMutex_;         // one command (with its name) at a time on the link
    mutable std::mutex stateMutex_; // the transfer fields and the walk over the selection

    TransferState state_ = TransferState::Idle;
    Outstanding outstanding_ = Outstanding::None;
    bool readAccepted_ = false;             // the outstanding Read was accepted (0x80 came)
    std::size_t listingBlocks_ = 0;         // blocks of the outstanding listing so far
    std::atomic<bool> listingAsked_{false}; // set by requestListing(), taken by the worker
    bool armed_ = false;                    // a reply is due by deadline_
    Clock::time_point deadline_{};
    std::uint64_t dropped_ = 0;
    std::FILE* output_ = nullptr;
    std::filesystem::path outputPath_; // the partial file being written
    std::filesystem::path finalPath_;  // its name once complete
    std::string outputName_;
    std::string requested_; // entry text of the outstanding Read file / Delete file request
    RequestKind requestedKind_ = RequestKind::Read;
    std::uint32_t announcedSize_ = 0;
    std::int64_t receivedCount_ = 0;

    // Bytes taken from the link but not handled yet (guarded by stateMutex_): stands in for the
    // driver's receive queue, so the worker sleeps until new bytes arrive instead of waking again
    // for the same partial block.
    std::vector<std::uint8_t> pending_;
    bool heldLone_ = false;            // pending_ is one unknown byte, kept in case a block follows
    std::vector<std::uint8_t> buffer_; // the receive buffer, kReceiveBufferBytes
};

// Run memory connection: start, then showModal() while the connection runs, then end. Returns
// NotFound without calling showModal when no instrument answers.
StartResult runMemoryConnection(MemoryConnection& connection, FileListWindow& window,
                                const std::function<void()>& showModal);

} // namespace velkard::memory
