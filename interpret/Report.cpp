// SPDX-License-Identifier: GPL-3.0-or-later
#include "interpret/Report.h"

#include <charconv>

namespace velkard::interpret {

namespace {

constexpr std::string_view kMagic = "velkard report ";

const char* originName(ReportStatement::Origin o) {
    switch (o) {
    case ReportStatement::Origin::Program:
        return "program";
    case ReportStatement::Origin::Added:
        return "added";
    case ReportStatement::Origin::FreeText:
        break;
    }
    return "free";
}

// Fields are separated by tabs; a tab, a line break or a backslash inside one is escaped.
std::string escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescape(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            return false;
        switch (s[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

bool toInt(std::string_view s, std::int64_t& v) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string describe(const ReportStatement& s) {
    std::string what = s.code.empty() ? std::string("free text") : s.code;
    return what + " \"" + s.textIn(Language::Russian) + "\"";
}

} // namespace

bool Report::changedByPhysician() const {
    for (const ReportStatement& s : statements)
        if (s.origin != ReportStatement::Origin::Program || s.edited || s.removed)
            return true;
    return false;
}

Report draftReport(const std::vector<Statement>& statements, std::string recordedAt,
                   std::int64_t firstRecord, std::int64_t recordCount) {
    Report r;
    r.recordedAt = std::move(recordedAt);
    r.firstRecord = firstRecord;
    r.recordCount = recordCount;
    for (const Statement& s : statements) {
        ReportStatement rs;
        rs.code = s.code;
        rs.text = s.text;
        rs.reason = s.reason;
        r.statements.push_back(std::move(rs));
    }
    return r;
}

namespace {
// A change after confirmation makes the report unconfirmed again; the log line says so.
std::string unconfirm(Report& r, std::string line) {
    if (r.confirmed())
        line += "; confirmation by " + r.physician + " of " + r.confirmedAt + " withdrawn";
    r.physician.clear();
    r.confirmedAt.clear();
    return line;
}
} // namespace

std::string addStatement(Report& report, const std::string& code) {
    ReportStatement s;
    s.origin = ReportStatement::Origin::Added;
    s.code = code;
    s.text = {statementText(code, Language::Russian), statementText(code, Language::English)};
    if (s.text[0].empty())
        return "";
    // A program statement struck out and picked again is said again as it was.
    for (ReportStatement& old : report.statements)
        if (old.removed && old.code == code && !old.edited) {
            old.removed = false;
            return unconfirm(report, "restored " + describe(old));
        }
    report.statements.push_back(s);
    return unconfirm(report, "added " + describe(s));
}

std::string removeStatement(Report& report, std::size_t index) {
    if (index >= report.statements.size() || report.statements[index].removed)
        return "";
    ReportStatement& s = report.statements[index];
    const std::string line = "removed " + describe(s);
    if (s.origin == ReportStatement::Origin::Program)
        s.removed = true;
    else
        report.statements.erase(report.statements.begin() + std::ptrdiff_t(index));
    return unconfirm(report, line);
}

std::string editStatement(Report& report, std::size_t index, const std::string& text,
                          Language shownIn) {
    if (index >= report.statements.size() || report.statements[index].removed || text.empty())
        return "";
    ReportStatement& s = report.statements[index];
    if (s.textIn(shownIn) == text)
        return "";
    const std::string before = describe(s);
    s.text = {text, text};
    if (s.origin != ReportStatement::Origin::FreeText)
        s.edited = true;
    return unconfirm(report, "edited " + before + " to \"" + text + "\"");
}

std::string addFreeText(Report& report, const std::string& text) {
    if (text.empty())
        return "";
    ReportStatement s;
    s.origin = ReportStatement::Origin::FreeText;
    s.text = {text, text};
    report.statements.push_back(s);
    return unconfirm(report, "added " + describe(s));
}

std::string confirmReport(Report& report, const std::string& physician,
                          const std::string& confirmedAt) {
    if (physician.empty() || confirmedAt.empty())
        return "";
    report.physician = physician;
    report.confirmedAt = confirmedAt;
    return "confirmed by " + physician + " at " + confirmedAt;
}

std::vector<const ReportStatement*> shownStatements(const Report& report) {
    std::vector<const ReportStatement*> out;
    for (const ReportStatement& s : report.statements)
        if (!s.removed)
            out.push_back(&s);
    return out;
}

std::string encodeReport(const Report& r) {
    std::string out;
    out += std::string(kMagic) + std::to_string(kReportVersion) + "\n";
    out += "recorded\t" + escape(r.recordedAt) + "\n";
    out += "span\t" + std::to_string(r.firstRecord) + "\t" + std::to_string(r.recordCount) + "\n";
    for (const ReportStatement& s : r.statements) {
        std::string flags;
        if (s.edited)
            flags = "edited";
        if (s.removed)
            flags += flags.empty() ? "removed" : ",removed";
        out += std::string("statement\t") + originName(s.origin) + "\t" +
               (flags.empty() ? "-" : flags) + "\t" + escape(s.code) + "\t" + escape(s.text[0]) +
               "\t" + escape(s.text[1]) + "\t" + escape(s.reason[0]) + "\t" + escape(s.reason[1]) +
               "\n";
    }
    if (r.confirmed())
        out += "confirmed\t" + escape(r.physician) + "\t" + escape(r.confirmedAt) + "\n";
    out += "end\t" + std::to_string(r.statements.size()) + "\n";
    return out;
}

Result<Report> decodeReport(std::string_view bytes) {
    using R = Result<Report>;
    auto bad = [](std::size_t line, const std::string& what) {
        return R::failure(ErrorCode::BadData, "the report file is damaged at line " +
                                                  std::to_string(line) + ": " + what);
    };
    if (bytes.find('\0') != std::string_view::npos)
        return R::failure(ErrorCode::BadData, "the report file is damaged: it holds NUL bytes");
    Report r;
    bool ended = false;
    std::size_t lineNo = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t nl = bytes.find('\n', at);
        if (nl == std::string_view::npos)
            return bad(lineNo + 1, "the file ends inside a line (cut short)");
        const std::string_view line = bytes.substr(at, nl - at);
        at = nl + 1;
        ++lineNo;
        if (ended)
            return bad(lineNo, "text after the end line");
        if (lineNo == 1) {
            std::int64_t version = 0;
            if (!line.starts_with(kMagic) || !toInt(line.substr(kMagic.size()), version))
                return bad(1, "not a Velkard report");
            if (version > kReportVersion)
                return R::failure(ErrorCode::BadData,
                                  "the report file was written by a newer version of the program "
                                  "(report version " +
                                      std::to_string(version) + ")");
            continue;
        }
        const auto f = splitTabs(line);
        std::string a, b;
        if (f[0] == "recorded") {
            if (f.size() != 2 || !unescape(f[1], r.recordedAt))
                return bad(lineNo, "a damaged recording line");
        } else if (f[0] == "span") {
            if (f.size() != 3 || !toInt(f[1], r.firstRecord) || !toInt(f[2], r.recordCount) ||
                r.firstRecord < 0 || r.recordCount < 0)
                return bad(lineNo, "a damaged span line");
        } else if (f[0] == "statement") {
            if (f.size() != 8)
                return bad(lineNo, "a statement line without its eight fields");
            ReportStatement s;
            if (f[1] == "program")
                s.origin = ReportStatement::Origin::Program;
            else if (f[1] == "added")
                s.origin = ReportStatement::Origin::Added;
            else if (f[1] == "free")
                s.origin = ReportStatement::Origin::FreeText;
            else
                return bad(lineNo, "an unknown statement origin");
            if (f[2] == "edited" || f[2] == "edited,removed")
                s.edited = true;
            if (f[2] == "removed" || f[2] == "edited,removed")
                s.removed = true;
            if (f[2] != "-" && !s.edited && !s.removed)
                return bad(lineNo, "unknown statement flags");
            if (!unescape(f[3], s.code) || !unescape(f[4], s.text[0]) ||
                !unescape(f[5], s.text[1]) || !unescape(f[6], s.reason[0]) ||
                !unescape(f[7], s.reason[1]))
                return bad(lineNo, "a damaged escape in a statement");
            if (s.text[0].empty() && s.text[1].empty())
                return bad(lineNo, "a statement without text");
            r.statements.push_back(std::move(s));
        } else if (f[0] == "confirmed") {
            if (f.size() != 3 || !unescape(f[1], r.physician) || !unescape(f[2], r.confirmedAt) ||
                r.physician.empty() || r.confirmedAt.empty())
                return bad(lineNo, "a damaged confirmation line");
        } else if (f[0] == "end") {
            std::int64_t count = -1;
            if (f.size() != 2 || !toInt(f[1], count) ||
                count != static_cast<std::int64_t>(r.statements.size()))
                return bad(lineNo, "the end line does not count the statements read");
            ended = true;
        }
        // Lines of other names are left for later versions of the same format.
    }
    if (lineNo == 0)
        return R::failure(ErrorCode::BadData, "the report file is empty");
    if (!ended)
        return bad(lineNo, "the end line is missing (the file was cut short)");
    return R::success(std::move(r));
}

} // namespace velkard::interpret
