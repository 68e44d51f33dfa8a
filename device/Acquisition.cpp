// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/Acquisition.h"

#include "device/FrameReader.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace velkard::device {

namespace {

// The reader wakes this long after the last record of a block is due, so the block is there.
constexpr auto kBlockMargin = std::chrono::milliseconds(3);
constexpr auto kRecordPeriod = std::chrono::microseconds(1'000'000 / signal::kRecordsPerSecond);
// How long the reader waits for the window to take a block before it refills its half.
constexpr auto kTakeWait = std::chrono::milliseconds(400);

std::int64_t steadyNanos(std::chrono::steady_clock::time_point t) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    return ns > 0 ? ns : 1; // 0 means "no read pending"
}

ErrorCode codeOf(EventKind kind) {
    switch (kind) {
    case EventKind::NotFound:
        return ErrorCode::DeviceNotFound;
    case EventKind::WriteError:
    case EventKind::ReadError:
    case EventKind::CloseError:
        return ErrorCode::IoError;
    case EventKind::DeviceLost:
        return ErrorCode::DeviceLost;
    case EventKind::FileCreateError:
    case EventKind::FileWriteError:
        return ErrorCode::CannotWrite;
    case EventKind::DataLost:
        return ErrorCode::Overrun;
    case EventKind::NoData:
        return ErrorCode::NoAnswer;
    case EventKind::ThreadError:
        break;
    }
    return ErrorCode::Failed;
}

} // namespace

Event makeEvent(EventKind kind, ErrorCode code) {
    return {kind, code == ErrorCode::None ? codeOf(kind) : code};
}

Event notFoundEvent(const OpenProblem& problem) {
    Event e = makeEvent(EventKind::NotFound);
    e.problem = problem;
    return e;
}

Event dataLostEvent(double seconds) {
    Event e = makeEvent(EventKind::DataLost);
    e.lostSeconds = seconds;
    return e;
}

EventMessage eventMessage(const Event& event, bool russian) {
    const auto pick = [russian](const char* ru, const char* en) { return russian ? ru : en; };
    const std::string error = pick("Ошибка", "Error");
    switch (event.kind) {
    case EventKind::NotFound: {
        EventMessage m{pick("Прибор не найден", "The instrument is not found"), ""};
        if (event.problem.kind != OpenFailure::None) {
            m.text += '\n'; // appended apart: GCC 12 warns falsely (-Wrestrict) on "\n" + ...
            m.text += openFailureText(event.problem, russian);
        }
        return m;
    }
    case EventKind::WriteError:
        return {pick("Ошибка записи в порт!", "Cannot write to the port"), error};
    case EventKind::ReadError:
        return {pick("Ошибка чтения из USB-порта!", "Cannot read from the USB port"), error};
    case EventKind::DeviceLost:
        return {pick("Прибор не включен!", "The instrument is switched off or unplugged"), error};
    case EventKind::NoData:
        return {pick("Нет приема данных!", "No data from the instrument"), error};
    case EventKind::CloseError:
        return {pick("Ошибка закрытия порта!", "Cannot close the port"), error};
    case EventKind::FileCreateError:
        return {pick("Ошибка создания файла для записи ЭКГ",
                     "Cannot create the file for the ECG recording"),
                error};
    case EventKind::FileWriteError:
        return {pick("Ошибка записи файла ЭКГ", "Cannot write the ECG file"), error};
    case EventKind::ThreadError:
        return {pick("Ошибка: не удалось запустить поток приёма.", "Error! Cannot create thread."),
                error};
    case EventKind::DataLost: {
        char text[64];
        if (russian) {
            std::snprintf(text, sizeof text, "Потеряны данные: %.1f с", event.lostSeconds);
            for (char& c : text)
                if (c == '.')
                    c = ',';
        } else {
            std::snprintf(text, sizeof text, "Data lost: %.1f s", event.lostSeconds);
        }
        return {text, error};
    }
    }
    return {"", ""};
}

Acquisition::Acquisition(LinkFactory factory) : factory_(std::move(factory)) {}

Acquisition::~Acquisition() {
    endReader();
    if (file_)
        std::fclose(file_);
    if (link_ && linkOpen_)
        link_->close();
}

void Acquisition::queue(EventKind kind, ErrorCode code) {
    events_.push_back(makeEvent(kind, code));
}

std::vector<Event> Acquisition::takeEvents() {
    std::vector<Event> out;
    out.swap(events_);
    return out;
}

bool Acquisition::sendCommand(std::uint8_t byte) {
    std::size_t written = 0;
    const Status status = link_->write(&byte, 1, written);
    if (!status || written != 1) {
        queue(EventKind::WriteError, status.code);
        return false;
    }
    return true;
}

bool Acquisition::startMonitoring() {
    if (!linkOpen_) {
        if (!link_)
            link_ = factory_();
        if (!link_ || !link_->open(0)) {
            // The vendor driver leaves a handle to close even after a failed open.
            const OpenProblem problem = link_ ? link_->openProblem() : OpenProblem{};
            if (link_)
                link_->close();
            // Made afresh next time: plug and play looks for the instrument again.
            link_.reset();
            events_.push_back(notFoundEvent(problem));
            return false;
        }
        linkOpen_ = true;
        link_->setDataCharacteristics(8, 0, 0);
        link_->setBaudRate(kStreamBaud);
    }
    return startStreaming();
}

bool Acquisition::startStreaming() {
    if (!link_ || !linkOpen_)
        return false;
    // Never two readers on one link: a reader left from an earlier acquisition ends first.
    endReader();
    link_->resetCancel();
    buffer_.discardPending();
    stopReader_ = false;
    deviceLost_ = false;
    deviceLostReported_ = false;
    readErrors_ = 0;
    readErrorsReported_ = 0;
    pendingSince_ = 0;

    sendCommand(kStartByte);
    try {
        reader_ = std::thread([this] { readerMain(); });
    } catch (const std::system_error&) {
        sendCommand(kStopByte);
        queue(EventKind::ThreadError);
        return false;
    }
    state_ = file_ ? AcquisitionState::Recording : AcquisitionState::Monitoring;
    return true;
}

void Acquisition::setBlockNotify(std::function<void()> notify) {
    std::lock_guard lock(notifyMutex_);
    notify_ = std::move(notify);
}

void Acquisition::notifyReader() {
    std::lock_guard lock(notifyMutex_);
    if (notify_)
        notify_();
}

void Acquisition::readerMain() {
    FrameReader frames;
    std::uint8_t buf[4096];
    int inBlock = 0; // records of the block being filled
    bool completed = false;
    const auto push = [&](const signal::SampleRecord& r) {
        // A chunk gathered during a pause may hold more than a block: before refilling the half
        // of a block the window has not taken, tell it and give it time to take it, so a burst
        // (the stream after a pause, a busy machine) loses nothing. A window that stays away
        // longer loses the block, and says so, as before.
        if (buffer_.wouldOverwrite()) {
            notifyReader();
            const auto giveUp = std::chrono::steady_clock::now() + kTakeWait;
            while (buffer_.wouldOverwrite() && !stopReader_.load(std::memory_order_acquire) &&
                   std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (buffer_.pushRecord(r)) {
            inBlock = 0;
            completed = true;
        } else {
            ++inBlock;
        }
    };
    const auto hold = link_->holdTime();
    while (!stopReader_.load(std::memory_order_acquire)) {
        // Arm the watchdog: the UI thread fires it when this read is still pending 1000 ms on.
        pendingSince_.store(steadyNanos(std::chrono::steady_clock::now()),
                            std::memory_order_release);
        std::size_t got = 0;
        const Status status = link_->read(buf, 1, got);
        if (status == ErrorCode::Cancelled || stopReader_.load(std::memory_order_acquire)) {
            pendingSince_.store(0, std::memory_order_release);
            return;
        }
        if (got == 0) {
            // The read returned no byte: the instrument is gone. Stop reading for good; the UI
            // thread closes the link and reports it.
            pendingSince_.store(0, std::memory_order_release);
            deviceLost_.store(true, std::memory_order_release);
            notifyReader();
            return;
        }
        pendingSince_.store(0, std::memory_order_release);
        completed = false;
        frames.feed(buf, 1, push);
        // Everything the link has gathered, however much the pause let it gather.
        for (std::size_t more = sizeof buf; more == sizeof buf;) {
            more = 0;
            link_->readAvailable(buf, sizeof buf, more);
            frames.feed(buf, more, push);
        }
        if (!status)
            readErrors_.fetch_add(1, std::memory_order_relaxed);
        if (completed || !status)
            notifyReader();
        // A read returns as soon as one byte is there, which at this rate is every frame; a pause
        // lets the link gather a chunk instead. The window takes whole half-second blocks, so the
        // reader sleeps until the block being filled is due (twice a second) when the link can
        // hold that much, and as long as it can otherwise (a tty: 20 times a second, not 800).
        const auto due = std::chrono::duration_cast<std::chrono::milliseconds>(
                             (signal::kRecordsPerBlock - inBlock) * kRecordPeriod) +
                         kBlockMargin;
        std::unique_lock lock(pauseMutex_);
        pauseWake_.wait_for(lock, std::min(due, hold),
                            [this] { return stopReader_.load(std::memory_order_acquire); });
    }
}

void Acquisition::cancelReader() {
    if (!reader_.joinable() || stopReader_.exchange(true, std::memory_order_acq_rel))
        return;
    {
        std::lock_guard lock(pauseMutex_);
        pauseWake_.notify_all();
    }
    if (link_)
        link_->cancel();
}

void Acquisition::endReader() {
    if (!reader_.joinable())
        return;
    cancelReader();
    reader_.join();
    pendingSince_ = 0;
}

bool Acquisition::closeFile() {
    if (!file_)
        return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

bool Acquisition::startRecording(const std::filesystem::path& file) {
    closeFile();
    // Created afresh: a file left under this name by an earlier crash is replaced, not extended.
    file_ = std::fopen(file.c_str(), "wb");
    if (!file_) {
        queue(EventKind::FileCreateError);
        return false;
    }
    blocksWritten_ = 0;
    lostAtRecordingStart_ = buffer_.lostBlocks();
    lossReported_ = false;
    if (state_ == AcquisitionState::Monitoring)
        state_ = AcquisitionState::Recording;
    return true;
}

TickResult Acquisition::handOverBlocks() {
    TickResult result;
    if (!reader_.joinable())
        return result;
    signal::SampleBlock block;
    while (buffer_.takeBlock(block)) {
        if (file_) {
            const bool written = std::fwrite(block.data(), 1, signal::kBlockBytes, file_) ==
                                     static_cast<std::size_t>(signal::kBlockBytes) &&
                                 std::fflush(file_) == 0;
            if (written) {
                ++blocksWritten_;
            } else {
                // Disk full or gone: keep the whole blocks already written, drop the torn one, and
                // stop recording to file.
                [[maybe_unused]] int r = ::ftruncate(
                    ::fileno(file_), static_cast<off_t>(blocksWritten_ * signal::kBlockBytes));
                closeFile();
                if (state_ == AcquisitionState::Recording)
                    state_ = AcquisitionState::Monitoring;
                result.events.push_back(makeEvent(EventKind::FileWriteError));
            }
        }
        result.blocks.push_back(block);
    }
    // Blocks the hand-over dropped because this thread fell behind shorten the recording: say so,
    // once per recording.
    if (file_ && !lossReported_ && lostSeconds() > 0) {
        lossReported_ = true;
        result.events.push_back(dataLostEvent(lostSeconds()));
    }
    const std::uint32_t errors = readErrors_.load(std::memory_order_relaxed);
    if (errors != readErrorsReported_) {
        readErrorsReported_ = errors;
        result.events.push_back(makeEvent(EventKind::ReadError));
    }
    if (deviceLost_.load(std::memory_order_acquire) && !deviceLostReported_) {
        deviceLostReported_ = true;
        // The reader has returned; joining it takes no time.
        reader_.join();
        if (const Status closed = link_->close(); !closed)
            result.events.push_back(makeEvent(EventKind::CloseError, closed.code));
        buffer_.discardPending();
        linkOpen_ = false;
        state_ = AcquisitionState::Halted;
        result.events.push_back(makeEvent(EventKind::DeviceLost));
    }
    return result;
}

double Acquisition::lostSeconds() const {
    const std::uint64_t blocks = buffer_.lostBlocks() - lostAtRecordingStart_;
    return static_cast<double>(blocks) * signal::kRecordsPerBlock / signal::kRecordsPerSecond;
}

std::chrono::milliseconds
Acquisition::watchdogDueIn(std::chrono::steady_clock::time_point now) const {
    const std::int64_t since = pendingSince_.load(std::memory_order_acquire);
    if (since == 0)
        return kWatchdogPeriod;
    const auto waited = std::chrono::nanoseconds(steadyNanos(now) - since);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(kWatchdogPeriod - waited);
    return std::max(left, std::chrono::milliseconds(0));
}

bool Acquisition::watchdogExpired(std::chrono::steady_clock::time_point now) {
    if (!reader_.joinable() ||
        (state_ != AcquisitionState::Monitoring && state_ != AcquisitionState::Recording))
        return false;
    const std::int64_t since = pendingSince_.load(std::memory_order_acquire);
    if (since == 0 || steadyNanos(now) - since < std::chrono::nanoseconds(kWatchdogPeriod).count())
        return false;

    endReader();
    link_->purge(kPurgeRx | kPurgeTx);
    link_->stopInTask();
    link_->resetDevice();
    linkOpen_ = false;
    buffer_.discardPending();
    state_ = AcquisitionState::Halted;
    queue(EventKind::NoData);
    if (const Status closed = link_->close(); !closed) {
        // The port stays half-open; the file stays open so Stop can still finish the recording.
        queue(EventKind::CloseError, closed.code);
        return true;
    }
    closeFile();
    return true;
}

void Acquisition::stop() {
    if (linkOpen_)
        sendCommand(kStopByte);
    // The reader reads nothing more from here on ...
    cancelReader();
    // ... so the block it was filling is lost, and the file holds whole blocks only.
    closeFile();
    endReader();
    buffer_.discardPending();
    if (linkOpen_) {
        link_->purge(kPurgeRx | kPurgeTx);
        link_->stopInTask();
        link_->resetDevice();
        link_->close();
        linkOpen_ = false;
    }
    state_ = AcquisitionState::Stopped;
}

bool Acquisition::exit() {
    bool ok = true;
    if (linkOpen_)
        sendCommand(kStopByte);
    endReader();
    if (linkOpen_) {
        linkOpen_ = false;
        link_->resetDevice();
        if (const Status closed = link_->close(); !closed) {
            queue(EventKind::CloseError, closed.code);
            ok = false;
        }
    }
    closeFile();
    return ok;
}

} // namespace velkard::device
