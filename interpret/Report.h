// SPDX-License-Identifier: GPL-3.0-or-later
// The physician's report of one recording: the program's statements as the physician kept,
// edited or removed them, statements added from the table, free text, and who confirmed it when.
//
// It is stored beside the recording in the card file (cardfile's readReport / writeReport) as a
// small UTF-8 text, one field per line, that starts with a version line and ends with an end
// line, so a torn or damaged file is told apart from a whole one and never read as a shorter
// report. Older installations do not look at it.
#pragma once

#include "interpret/Interpret.h"
#include "signal/Status.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::interpret {

inline constexpr int kReportVersion = 1;

struct ReportStatement {
    enum class Origin {
        Program,  // said by the interpretation
        Added,    // picked from the table by the physician
        FreeText, // written by the physician (no code)
    };
    Origin origin = Origin::Program;
    std::string code;                  // SCP-ECG acronym; empty for free text
    std::array<std::string, 2> text;   // by Language; the physician's own words fill both
    std::array<std::string, 2> reason; // the program's reason (empty for the physician's)
    bool edited = false;               // the physician changed the text
    bool removed = false;              // a program statement the physician struck out

    const std::string& textIn(Language l) const { return text[static_cast<std::size_t>(l)]; }
    const std::string& reasonIn(Language l) const { return reason[static_cast<std::size_t>(l)]; }
    bool operator==(const ReportStatement&) const = default;
};

struct Report {
    // Which recording it was made on: the archive entry's date and time ("dd.MM.yyyy hh:mm:ss"),
    // so a report left beside another recording (an older installation renumbered the entries)
    // is recognised, and the span its statements were made on (first sample record, count).
    std::string recordedAt;
    std::int64_t firstRecord = 0;
    std::int64_t recordCount = 0;
    std::vector<ReportStatement> statements;
    std::string physician;   // who confirmed it; empty while unconfirmed
    std::string confirmedAt; // "dd.MM.yyyy hh:mm:ss"

    bool confirmed() const { return !physician.empty() && !confirmedAt.empty(); }
    // Whether the physician changed anything of what the program said.
    bool changedByPhysician() const;
    bool operator==(const Report&) const = default;
};

// The report as the program makes it of a span's statements, before any physician touched it.
Report draftReport(const std::vector<Statement>& statements, std::string recordedAt,
                   std::int64_t firstRecord, std::int64_t recordCount);

// Changes, each of which takes a confirmation back (the physician confirms again what is now
// said). They return a line for the audit log ("" when nothing changed); statement indexes are
// of report.statements.
std::string addStatement(Report& report, const std::string& code);
// A program statement stays, marked removed (so it is not said again and the log tells what
// was struck out); one the physician added goes.
std::string removeStatement(Report& report, std::size_t index);
// The physician's words replace the text in both languages; the text as shown in `shownIn`
// given back unchanged is no change.
std::string editStatement(Report& report, std::size_t index, const std::string& text,
                          Language shownIn);
std::string addFreeText(Report& report, const std::string& text);
std::string confirmReport(Report& report, const std::string& physician,
                          const std::string& confirmedAt);

// The statements a report says (not the removed ones), in order.
std::vector<const ReportStatement*> shownStatements(const Report& report);

std::string encodeReport(const Report& report);
// BadData with what is wrong (which line) for a damaged or torn file, or one written by a newer
// version of the program.
Result<Report> decodeReport(std::string_view bytes);

} // namespace velkard::interpret
