// SPDX-License-Identifier: GPL-3.0-or-later
// GDT file exchange with practice software (versions 2.1 and 3.0): the practice writes a request
// (record 6302, "new test": the patient and the test asked for) into the exchange folder, and
// Velkard answers with the result (record 6310: the measurements, the statements and a link to
// the report PDF). Each line is <3-digit length><4-digit field ID><content> CR LF, the length
// counting the whole line; field 8100 gives the record's length. Text is ISO 8859-1 (field 9206
// = 3); characters outside it are written as '?'.
#pragma once

#include "signal/Status.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velkard::net {

struct GdtRecord {
    std::vector<std::pair<std::string, std::string>> fields; // ID, content (UTF-8)
    std::optional<std::string> field(const std::string& id) const;
};

// Reads a record; BadData (naming the line) when a line's length does not fit it.
Result<GdtRecord> parseGdt(const std::string& bytes);
// Encodes a record: its 8000 field first, the length field 8100 computed.
std::string encodeGdt(const std::string& recordType,
                      const std::vector<std::pair<std::string, std::string>>& fields);

struct GdtRequest {
    std::filesystem::path file;
    std::string senderId, receiverId, version;
    std::string patientNumber, familyName, givenName, birthDate; // birth date dd.MM.yyyy
    std::string sex;                                             // M, F or empty
    std::string test;                                            // 8402, e.g. "EKG01"
};
// The 6302 requests in the folder for this receiver (or for any, when the request names none),
// oldest first. Files that are not 6302 records, and requests answered (FILE.done), are left
// alone.
Result<std::vector<GdtRequest>> readGdtRequests(const std::filesystem::path& folder,
                                                const std::string& ownId);

struct GdtResult {
    std::string receiverId, ownId, version = "02.10";
    std::string patientNumber, familyName, givenName, birthDate; // dd.MM.yyyy
    std::string test, testDate, testTime;                        // dd.MM.yyyy, hh:mm:ss
    struct Value {
        std::string id, name, unit;
        std::optional<double> value; // null: not measured, left out
    };
    std::vector<Value> values;
    std::vector<std::string> statements;
    std::string pdfPath; // the report, linked (6305)
};
// Writes the 6310 result into the folder as <receiver(4)><own(4)>.gdt, through a flushed
// temporary file renamed into place; returns its path.
Result<std::filesystem::path> writeGdtResult(const std::filesystem::path& folder,
                                             const GdtResult& result);

} // namespace velkard::net
