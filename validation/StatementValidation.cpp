// SPDX-License-Identifier: GPL-3.0-or-later
#include "validation/StatementValidation.h"

#include "import/Wfdb.h"
#include "import/WfdbRecording.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velkard::measure::validation {
namespace {

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return "";
    const auto b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// RFC 4180 rows: quoted fields may hold commas, newlines and doubled quotes.
std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else if (ch == '"')
                quoted = false;
            else
                field += ch;
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (ch == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (ch != '\r') {
            field += ch;
        }
    }
    if (!field.empty() || !rows.back().empty())
        rows.back().push_back(field);
    if (rows.back().empty())
        rows.pop_back();
    return rows;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Matches a diagnosis: the exact text; with a '*' at the end, every text that begins with the
// rest; with one at the start too, every text that holds it.
bool matches(const std::string& diagnosis, const std::string& pattern) {
    const bool head = !pattern.empty() && pattern.front() == '*';
    const bool tail = pattern.size() > 1 && pattern.back() == '*';
    const std::string core = pattern.substr(head ? 1 : 0, pattern.size() - head - tail);
    if (head && tail)
        return diagnosis.find(core) != std::string::npos;
    if (head)
        return diagnosis.size() >= core.size() &&
               diagnosis.compare(diagnosis.size() - core.size(), core.size(), core) == 0;
    if (tail)
        return startsWith(diagnosis, core);
    return diagnosis == pattern;
}

bool anyOf(const LudbRecord& r, const std::vector<std::string>& patterns) {
    for (const std::string& d : r.all())
        for (const std::string& p : patterns)
            if (matches(d, p))
                return true;
    return false;
}

// LUDB's texts for each statement: positive when any of `positive` is there; excluded (neither
// positive nor negative) when any of `excluded` is, a diagnosis that overlaps the statement
// without being it.
struct Mapping {
    const char* code;
    std::vector<std::string> positive, excluded;
};

const std::vector<Mapping>& mappings() {
    static const std::vector<Mapping> m = {
        {"SR", {"Sinus rhythm"}, {"Sinus arrhythmia"}},
        {"SBRAD", {"Sinus bradycardia"}, {"Sinus arrhythmia"}},
        {"STACH", {"Sinus tachycardia"}, {"Sinus arrhythmia"}},
        {"SARRH", {"Sinus arrhythmia"}, {}},
        {"AFIB", {"Atrial fibrillation", "Atrial flutter*"}, {}},
        {"AFLT", {"Atrial flutter*"}, {}},
        {"PAC", {"Atrial extrasystole*"}, {}},
        {"PVC", {"Ventricular extrasystole*"}, {}},
        {"PACE", {"Pacemaker presence*", "*pacing"}, {}},
        {"1AVB", {"I degree av block"}, {}},
        {"WPW", {"*WPW*"}, {}},
        {"CLBBB", {"Complete left bundle branch block"}, {}},
        {"ILBBB", {"Incomplete left bundle branch block"}, {}},
        {"CRBBB", {"Complete right bundle branch block"}, {}},
        {"IRBBB", {"Incomplete right bundle branch block"}, {}},
        {"LAFB", {"Left anterior hemiblock"}, {}},
        {"IVCD", {"Non-specific intravintricular conduction delay"}, {}},
        {"LAD", {"Electric axis of the heart: left axis deviation"}, {}},
        {"RAD", {"Electric axis of the heart: right axis deviation"}, {}},
        {"LAE", {"Left atrial hypertrophy", "Left atrial overload"}, {}},
        {"LVH", {"Left ventricular hypertrophy"}, {"Left ventricular overload"}},
        {"RVH", {"Right ventricular hypertrophy"}, {}},
        {"IMI",
         {"Scar formation: inferior wall"},
         {"Undefined ischemia/scar/supp.nstemi: inferior wall", "Scar formation: posterior wall",
          "Undefined ischemia/scar/supp.nstemi: posterior wall"}},
        {"ASMI",
         {"Scar formation: septal"},
         {"Undefined ischemia/scar/supp.nstemi: septal", "Scar formation: anterior wall",
          "Scar formation: apical"}},
        {"AMI",
         {"Scar formation: anterior wall", "Scar formation: apical"},
         {"Undefined ischemia/scar/supp.nstemi: anterior wall",
          "Undefined ischemia/scar/supp.nstemi: apical", "Scar formation: septal"}},
        {"LMI",
         {"Scar formation: lateral wall"},
         {"Undefined ischemia/scar/supp.nstemi: lateral wall"}},
        {"STE", {"Stemi*"}, {}},
        {"STD", {"Ischemia*"}, {"Stemi*", "Undefined ischemia*"}},
        {"NT",
         {"Non-specific repolarization abnormalities*"},
         {"Ischemia*", "Stemi*", "Undefined ischemia*", "Scar formation*"}},
    };
    return m;
}

bool isNormalRecord(const LudbRecord& r) {
    for (const auto& [column, diagnoses] : r.columns) {
        if (column == "ID" || column == "Sex" || column == "Age")
            continue;
        for (const std::string& d : diagnoses) {
            if (column == "Rhythms" &&
                (d == "Sinus rhythm" || d == "Sinus bradycardia" || d == "Sinus arrhythmia"))
                continue;
            if (column == "Electric axis of the heart" &&
                (d == "Electric axis of the heart: normal" ||
                 d == "Electric axis of the heart: vertical" ||
                 d == "Electric axis of the heart: horizontal"))
                continue;
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> LudbRecord::all() const {
    std::vector<std::string> out;
    for (const auto& [column, diagnoses] : columns)
        if (column != "ID" && column != "Sex" && column != "Age")
            out.insert(out.end(), diagnoses.begin(), diagnoses.end());
    return out;
}

Result<std::vector<LudbRecord>> readLudbCsv(const std::filesystem::path& csv) {
    std::ifstream in(csv, std::ios::binary);
    if (!in)
        return Result<std::vector<LudbRecord>>::failure(ErrorCode::CannotOpen,
                                                        "cannot open " + csv.string());
    std::stringstream text;
    text << in.rdbuf();
    const auto rows = csvRows(text.str());
    if (rows.empty())
        return Result<std::vector<LudbRecord>>::failure(ErrorCode::BadData,
                                                        csv.string() + " has no header");
    const std::vector<std::string>& header = rows[0];
    std::vector<LudbRecord> out;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        LudbRecord r;
        for (std::size_t k = 0; k < rows[i].size() && k < header.size(); ++k) {
            std::vector<std::string>& cell = r.columns[trimmed(header[k])];
            std::stringstream lines(rows[i][k]);
            std::string line;
            while (std::getline(lines, line))
                if (!trimmed(line).empty())
                    cell.push_back(trimmed(line));
        }
        try {
            r.id = std::stoi(r.columns["ID"].at(0));
        } catch (...) {
            continue;
        }
        const auto& sex = r.columns["Sex"];
        if (!sex.empty())
            r.patient.sex = sex[0] == "M"   ? interpret::Sex::Male
                            : sex[0] == "F" ? interpret::Sex::Female
                                            : interpret::Sex::Unknown;
        const auto& age = r.columns["Age"];
        try {
            if (!age.empty())
                r.patient.ageYears = std::stoi(age[0]);
        } catch (...) {
        }
        out.push_back(std::move(r));
    }
    return Result<std::vector<LudbRecord>>::success(std::move(out));
}

Reference reference(const std::string& code, const LudbRecord& record) {
    if (code == "NORM")
        return isNormalRecord(record) ? Reference::Positive : Reference::Negative;
    for (const Mapping& m : mappings())
        if (code == m.code) {
            if (anyOf(record, m.positive))
                return Reference::Positive;
            return anyOf(record, m.excluded) ? Reference::Excluded : Reference::Negative;
        }
    return Reference::Excluded;
}

bool forbidsNormal(const LudbRecord& record) {
    auto column = [&](const char* name) -> const std::vector<std::string>& {
        static const std::vector<std::string> none;
        const auto it = record.columns.find(name);
        return it == record.columns.end() ? none : it->second;
    };
    if (!column("Conduction abnormalities").empty() || !column("Hypertrophies").empty())
        return true;
    for (const std::string& d : column("Ischemia"))
        if (startsWith(d, "Stemi") || startsWith(d, "Scar formation") ||
            startsWith(d, "Undefined ischemia/scar"))
            return true;
    return false;
}

StatementResults validateStatements(const std::filesystem::path& dir,
                                    const std::filesystem::path& csv) {
    StatementResults out;
    auto table = readLudbCsv(csv);
    if (!table)
        return out;
    std::vector<std::string> codes = interpret::statementCodes();
    for (const LudbRecord& row : table.value) {
        const auto header = dir / (std::to_string(row.id) + ".hea");
        if (!std::filesystem::exists(header))
            continue;
        auto rec = import::wfdb::readRecord(header);
        if (!rec)
            continue;
        // LUDB's stored samples share one scale of 1000 units per mV (its headers do not say so).
        auto inst = import::wfdb::toInstrument(rec.value, 1000.0);
        if (!inst)
            continue;
        const auto& r = inst.value.records;
        const interpret::Interpretation result = interpret::interpretSpan(
            r.data(), r.size(), 0, r.size(), &inst.value.present, row.patient);
        ++out.records;
        std::vector<std::string> said;
        for (const auto& s : result.statements)
            said.push_back(s.code);
        for (const std::string& code : codes) {
            const Reference ref = reference(code, row);
            if (ref == Reference::Excluded)
                continue;
            const auto saidCode = [&](const std::string& c) {
                return std::find(said.begin(), said.end(), c) != said.end();
            };
            // AFIB is "fibrillation or flutter suspected": a flutter said is one of them.
            const bool made = saidCode(code) || (code == "AFIB" && saidCode("AFLT"));
            Tally& t = out.byCode[code];
            if (ref == Reference::Positive)
                ++(made ? t.truePositive : t.falseNegative);
            else
                ++(made ? t.falsePositive : t.trueNegative);
        }
        if (forbidsNormal(row) && std::find(said.begin(), said.end(), "NORM") != said.end())
            out.normalWhereForbidden.push_back(row.id);
        out.details.push_back({row.id, row.all(), result});
    }
    return out;
}

} // namespace velkard::measure::validation
