// SPDX-License-Identifier: GPL-3.0-or-later
// HL7 version 2.5 results for the record system: ORU^R01 with the ten seconds' measurements
// (LOINC-coded numeric OBX), the statements (text OBX) and the report PDF (base64, OBX of type
// ED), sent over MLLP with the receiver's ACK checked.
#pragma once

#include "net/Settings.h"
#include "signal/Status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkard::net {

struct Hl7Result {
    std::string controlId; // MSH-10, kept for every resend of the same message
    std::string timestamp; // YYYYMMDDHHMMSS, the message's time
    std::string patientId; // the hospital's (or the card's) ID
    std::string familyName, givenName, middleName;
    std::string birthDate; // YYYYMMDD
    std::string sex;       // M, F or U
    std::string accessionNumber, placerOrder;
    std::string observedAt; // YYYYMMDDHHMMSS
    bool confirmed = false; // final (F) or preliminary (P) results
    struct Number {
        std::string loinc, name, unit, unitName;
        std::optional<double> value; // null: not measured, no OBX
    };
    std::vector<Number> numbers;
    std::vector<std::string> statements;
    std::vector<std::uint8_t> pdf; // empty: no ED OBX
};

// The message, segments ended by carriage returns. Text is escaped as HL7 asks (| ^ ~ \ &).
std::string buildOru(const NetworkSettings& settings, const Hl7Result& result);

// One field escaped for HL7.
std::string hl7Escape(const std::string& text);

std::string base64(const std::vector<std::uint8_t>& bytes);

// The acknowledgement of a message: its MSA-1 code, MSA-2 control ID and the reason given.
struct Hl7Ack {
    std::string code, controlId, text;
    bool accepted() const { return code == "AA" || code == "CA"; }
};
std::optional<Hl7Ack> parseAck(const std::string& message);

// Sends the message over MLLP to the configured HL7 receiver and waits for its ACK (the settings'
// timeout). IoError when it cannot be reached or does not answer; Failed with the receiver's
// reason when it rejects the message or acknowledges another one.
Status sendHl7(const NetworkSettings& settings, const std::string& message);

} // namespace velkard::net
