// SPDX-License-Identifier: GPL-3.0-or-later
// The live acquisition engine: opens the link, runs the reader thread, hands completed sample
// blocks to the user-interface thread, appends them to the recording file, and decides the no-data
// watchdog.
//
// It never touches a widget, never shows a message and never picks a text. Every failure comes back
// as an Event (its kind, the Status code, the figures its message names); the window turns it into
// the message box's text and caption with eventMessage() on the UI thread, in the interface
// language of that moment, and shows it through its message seam. The window drives it from the
// UI thread:
//   the block notification -> handOverBlocks(): completed blocks (already appended to the file
//                            when recording) and, once the reader found the instrument gone, the
//                            device-lost event. The reader calls the notification when a block
//                            is complete, so the window wakes twice a second, not to poll.
//   a watchdog timer       -> watchdogExpired(): true when one read has waited 1000 ms without a
//                            byte; the engine has then run the no-data path and queued a
//                            NoData event ("Нет приема данных!"). watchdogDueIn() says when to
//                            look again.
//   secondsTimer (940 ms)  -> the seconds counter stays with the window.
// All methods are for the UI thread only; the reader thread shares nothing with it but the receive
// buffer, a few atomics and the notification.
#pragma once

#include "device/Link.h"
#include "signal/ReceiveBuffer.h"
#include "signal/SampleRecord.h"
#include "signal/Status.h"
#include "wire/StreamWire.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velkard::device {

inline constexpr std::uint8_t kStartByte = wire::kStart;
inline constexpr std::uint8_t kStopByte = wire::kStop;
inline constexpr std::uint32_t kStreamBaud = wire::kStreamBaud;
inline constexpr std::chrono::milliseconds kWatchdogPeriod{1000};

enum class EventKind {
    NotFound,   // "Прибор не найден"; shown with the application title as caption
    WriteError, // "Ошибка записи в порт!"
    ReadError,  // "Ошибка чтения из USB-порта!"
    DeviceLost, // "Прибор не включен!"
    NoData,     // "Нет приема данных!" (caption "Ошибка")
    CloseError, // "Ошибка закрытия порта!"
    FileCreateError, // "Ошибка создания файла для записи ЭКГ"
    FileWriteError, // "Ошибка записи файла ЭКГ" (disk full: recording to file ends, file kept)
    ThreadError, // "Error! Cannot create thread."
    DataLost, // "Потеряны данные: N с" / "data lost: N s": the window fell behind the reader
};

// A failure the window has to tell the user about. No text: the window picks it.
struct Event {
    EventKind kind;
    // What failed, as the Status code a library call returns: DeviceNotFound (NotFound), IoError
    // or the link's own code (WriteError, ReadError, CloseError), DeviceLost, NoAnswer (NoData),
    // Failed (ThreadError), CannotWrite (FileCreateError, FileWriteError), Overrun (DataLost).
    ErrorCode code = ErrorCode::Failed;
    OpenProblem problem = {}; // NotFound: why opening failed
    double lostSeconds = 0;   // DataLost: seconds of signal lost
};

// code: the failed call's own code; None for the code the kind stands for.
Event makeEvent(EventKind kind, ErrorCode code = ErrorCode::None);
// NotFound with the reason opening failed.
Event notFoundEvent(const OpenProblem& problem);
// DataLost for the given number of seconds.
Event dataLostEvent(double seconds);

// The message box for an event, UTF-8, exactly as the window shows it.
struct EventMessage {
    std::string text;
    std::string caption; // empty for NotFound: the window uses the application title
};
// Called where the message is shown (the UI thread, or the command line), in the interface
// language: NotFound gets the reason opening failed on its own line (nothing for an unknown
// reason), DataLost the seconds ("Потеряны данные: 1,5 с" / "Data lost: 1.5 s"). Captions are
// "Ошибка" / "Error".
EventMessage eventMessage(const Event& event, bool russian);

enum class AcquisitionState {
    Idle,       // nothing started yet
    Monitoring, // streaming, not writing to a file
    Recording,  // streaming and appending whole blocks to the recording file
    Halted,     // the watchdog fired or the instrument was lost; Stop finishes
    Stopped,    // after Stop
};

struct TickResult {
    std::vector<signal::SampleBlock> blocks; // completed blocks in order, for drawing
    std::vector<Event> events;               // messages to show, in order
};

class Acquisition {
public:
    using LinkFactory = std::function<std::unique_ptr<Link>()>;

    // The link is made by the factory when it is first opened (and again after it was shut).
    explicit Acquisition(LinkFactory factory);
    // Ends the reader cooperatively and closes the file and the link without sending anything.
    ~Acquisition();

    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // Opens the link unless it is already open, then starts streaming. False (with a NotFound event
    // in takeEvents()) when no instrument answers.
    bool startMonitoring();
    // Starts the reader thread, sends 0x5A. A reader still running from an earlier acquisition on
    // the same open link is stopped first, so there is never more than one.
    bool startStreaming();

    // StartClick: creates the recording file afresh (an orphan of the same name is replaced) and
    // turns recording to file on. False with a FileCreateError event when it cannot be created.
    bool startRecording(const std::filesystem::path& file);

    // Called on the reader thread when there is something for handOverBlocks(): a completed
    // block, a failed read, the instrument gone. It may only hand the news to the UI thread (a
    // queued call), never do the hand-over itself. Empty (the default): nobody is told, the caller
    // polls. Thread-safe; once it returns the old notification is never called again.
    void setBlockNotify(std::function<void()> notify);

    // Takes every completed block, appends it to the file when recording,
    // returns it for drawing. Also reports the device-lost path once, after the reader found no
    // byte.
    TickResult handOverBlocks();

    // The watchdog timer: true when the current read has been pending for kWatchdogPeriod or
    // longer. The engine has then stopped the reader, reset and closed the link, closed the
    // recording file (unless the close failed) and queued the events; the state is Halted.
    bool
    watchdogExpired(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // When to look at the watchdog next: the time the pending read still has until
    // kWatchdogPeriod, or the whole period while no read is pending (between reads).
    std::chrono::milliseconds watchdogDueIn(
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) const;

    // StopClick: 0xA5 (when the link is open), the file closed, the reader gone, the link shut, in
    // that order; the partial block is discarded. Events (write error) go to takeEvents().
    void stop();

    // Exit / window close: 0xA5 when the link is open, reset and close. False (with a CloseError
    // event) when the link could not be closed: the caller abandons the exit. The reader is ended
    // and the recording file is closed with what it holds.
    bool exit();

    // Events queued by the calls above (startMonitoring, startRecording, stop, exit,
    // watchdogExpired).
    std::vector<Event> takeEvents();

    AcquisitionState state() const { return state_; }
    bool linkOpen() const { return linkOpen_; }
    bool recordingToFile() const { return file_ != nullptr; }
    bool readerRunning() const { return reader_.joinable(); }
    // True while the reader waits in a read (the watchdog is armed).
    bool readPending() const { return pendingSince_.load(std::memory_order_acquire) != 0; }
    // Whole blocks appended to the recording file since startRecording.
    std::uint64_t blocksWritten() const { return blocksWritten_; }
    // The link in use (null before the first open). For the memory connection and tests.
    Link* link() { return link_.get(); }
    // Which backend and device the open link uses, for the status line; empty while closed.
    std::string linkDescription() const { return linkOpen_ && link_ ? link_->describe() : ""; }
    // Seconds of signal lost in the hand-over since startRecording (0.5 s per block).
    double lostSeconds() const;

private:
    void readerMain();
    void cancelReader();
    void endReader();
    bool closeFile();
    void queue(EventKind kind, ErrorCode code = ErrorCode::None);
    void notifyReader();
    bool sendCommand(std::uint8_t byte);

    LinkFactory factory_;
    std::unique_ptr<Link> link_;
    bool linkOpen_ = false;
    AcquisitionState state_ = AcquisitionState::Idle;
    std::FILE* file_ = nullptr;
    std::uint64_t blocksWritten_ = 0;
    std::uint64_t lostAtRecordingStart_ = 0; // buffer_.lostBlocks() when recording began
    bool lossReported_ = false;              // once per recording
    bool deviceLostReported_ = false;

    signal::ReceiveBuffer buffer_;
    std::thread reader_;
    std::atomic<bool> stopReader_{false};
    // The reader's pause between reads, cut short when it is told to stop.
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    // The block notification, called by the reader under its mutex.
    std::mutex notifyMutex_;
    std::function<void()> notify_;
    // Steady-clock nanoseconds at which the pending read began; 0 while no read is pending.
    std::atomic<std::int64_t> pendingSince_{0};
    std::atomic<bool> deviceLost_{false};
    std::atomic<std::uint32_t> readErrors_{0};
    std::uint32_t readErrorsReported_ = 0;

    std::vector<Event> events_;
};

} // namespace velkard::device
