// SPDX-License-Identifier: GPL-3.0-or-later
// The one error type every library returns across its boundary instead of throwing: a Status
// (success, or a code and one clear line), and a Result<T> that adds the value. A failure from one
// library is passed on by the next unchanged, code and message included.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velkard {

// What went wrong, so a caller can pick its own message text or react. Only codes a caller or a
// test tells apart are listed; the message says the rest.
enum class ErrorCode {
    None,
    Failed, // a failure that no caller tells apart from others

    // Files
    CannotOpen,     // a file is missing or cannot be opened
    CannotRead,     // reading failed, or the file shrank while it was read
    CannotWrite,    // a file cannot be created, written, flushed or renamed (full disk, read-only)
    NotRegularFile, // a path that must be a regular file is a folder, device node or pipe
    TooLarge,       // larger than the reader allows (or than its header allows)
    BadData,        // the bytes are not what they should be (a damaged settings file, a refused
                    // device header, corrupt compressed data, a file shorter than its header)

    // The card file
    IndexUnavailable,    // the patient index can be neither opened nor created
    ArchiveCreateFailed, // a patient archive cannot be created
    ArchiveOpenFailed,   // a patient archive cannot be opened
    OutOfRange,          // a position beyond the listed rows
    FieldOverflow,       // a record number above 999 or a duration above 9999 s
    InvalidArgument,     // e.g. a patient ID that is not 8 characters
    Busy,                // another program or workstation holds the card file's lock
    JournalDamaged,      // the journal of an interrupted change is unreadable or does not fit the
                         // files it names; nothing is changed until it is repaired

    // Filing a device file into a card, importing it
    UnknownPatient,        // the patient ID names no record of the index
    CannotOpenSource,      // the source file (or its decompressed copy) cannot be opened or read
    CorruptCompressedData, // a compressed file's codes cannot be decoded
    NotDeviceFile,         // not a device ECG file (shorter than its header), or too large
    CannotCreateRecording, // the recording file cannot be created or written
    CannotAppendEntry,     // the archive entry cannot be appended (recording removed again)
    ArchiveFull,           // the archive already holds 999 entries
    TooLong,               // the duration does not fit the 9999 s of an archive entry

    // Exports
    CannotReadRecording, // the recording file cannot be opened or read
    NotAnEcg,            // a rhythmogram holds beat intervals, not ECG samples
    EmptyRecording,      // not one whole sample record
    FormatCannotHold,    // the format cannot hold this recording (SCP-ECG: too long, or A2)
    UnknownRecording,    // the patient has no recording with this number

    // The link to the instrument (after the driver's status values)
    InvalidHandle,
    DeviceNotFound,  // no instrument answers on this backend
    DeviceNotOpened, // the link is not open
    IoError,
    Cancelled,   // cancel() was called while a read or wait was blocked
    DeviceLost,  // unplugged or switched off: nothing more will come on this link
    Overrun,     // the bridge's receive buffer overflowed: bytes were lost before this read
    NoAnswer,    // the instrument sent nothing in time (no data while streaming, no reply)
    CardMissing, // the instrument has no memory card
};

// Success, or a failure with its code and one clear line for the user or the log (it names the
// file when there is one).
struct Status {
    ErrorCode code = ErrorCode::None;
    std::string message; // empty on success

    Status() = default;
    // A bare code: success for None, otherwise a failure without a message of its own (what a
    // link call returns, as the driver does).
    Status(ErrorCode c) : code(c) {}
    Status(ErrorCode c, std::string text) : code(c), message(std::move(text)) {}

    bool ok() const { return code == ErrorCode::None; }
    explicit operator bool() const { return ok(); }
    friend bool operator==(const Status& status, ErrorCode code) { return status.code == code; }

    static Status success() { return {}; }
    // A failure always carries a code other than None, so it can never read as success.
    static Status failure(ErrorCode code, std::string message) {
        return {code == ErrorCode::None ? ErrorCode::Failed : code, std::move(message)};
    }
};

// A value, or a failure. The value is default-constructed on failure unless the failing function
// documents a partial one. A Result is a Status, so `return result;` in a function returning
// Status, or Result<U>::failure(result), passes a failure on unchanged.
template <class T> struct Result : Status {
    T value{};

    const Status& status() const { return *this; }

    static Result success(T value) {
        Result r;
        r.value = std::move(value);
        return r;
    }
    static Result failure(ErrorCode code, std::string message, T partial = T{}) {
        Result r;
        static_cast<Status&>(r) = Status::failure(code, std::move(message));
        r.value = std::move(partial);
        return r;
    }
    // Passes on the failure of another call (a Status or a Result of any type).
    static Result failure(const Status& failed) { return failure(failed.code, failed.message); }
};

namespace signal {
// Bytes read or produced.
using BytesResult = Result<std::vector<std::uint8_t>>;
} // namespace signal

} // namespace velkard
