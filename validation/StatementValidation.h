// SPDX-License-Identifier: GPL-3.0-or-later
// The interpretation's statements against the diagnoses the cardiologists of LUDB gave each
// record (ludb.csv): per statement, how many records the reference calls positive and negative,
// and how many of them the program got right.
#pragma once

#include "interpret/Interpret.h"
#include "signal/Status.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace velkard::measure::validation {

// One row of ludb.csv: the record number, sex and age, and every diagnosis of every column
// (each line of a cell is one diagnosis, trimmed).
struct LudbRecord {
    int id = 0;
    interpret::Patient patient;
    std::map<std::string, std::vector<std::string>> columns; // header -> diagnoses
    std::vector<std::string> all() const;
};
Result<std::vector<LudbRecord>> readLudbCsv(const std::filesystem::path& csv);

// What the reference says of a statement on a record.
enum class Reference { Negative, Positive, Excluded };
// The mapping of LUDB's diagnosis texts to the statement codes (see interpret/README.md).
Reference reference(const std::string& code, const LudbRecord& record);
// Whether the cardiologists gave the record a conduction, hypertrophy or infarction diagnosis
// (where a normal ECG must never be said).
bool forbidsNormal(const LudbRecord& record);

struct Tally {
    int truePositive = 0, falseNegative = 0, trueNegative = 0, falsePositive = 0;
    int positives() const { return truePositive + falseNegative; }
    int negatives() const { return trueNegative + falsePositive; }
    double sensitivity() const { return positives() ? 100.0 * truePositive / positives() : 0.0; }
    double specificity() const { return negatives() ? 100.0 * trueNegative / negatives() : 0.0; }
};

struct StatementResults {
    std::map<std::string, Tally> byCode;
    std::vector<int> normalWhereForbidden; // records given NORM despite such a diagnosis
    int records = 0;
    // Per record, for --details: its id, the diagnoses, the measurements and the statements.
    struct Record {
        int id = 0;
        std::vector<std::string> diagnoses;
        interpret::Interpretation result;
    };
    std::vector<Record> details;
};

// Interprets every LUDB record in dir (WFDB headers N.hea) that has a row in the csv.
StatementResults validateStatements(const std::filesystem::path& dir,
                                    const std::filesystem::path& csv);

} // namespace velkard::measure::validation
