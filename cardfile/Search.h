// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a patient in the card file and the orders of the card-file window's lists, free of Qt so
// that the command line and the tests use them as the window does.
//
// A query is words separated by spaces; a patient matches when every word is found in the name,
// the patient ID, the insurance policy or the birth date. Matching ignores the case of Latin and
// Cyrillic letters and reads "ё" as "е", since names are typed both ways.
#pragma once

#include "cardfile/CardFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velkard::cardfile {

// A text as finding compares it (UTF-8 in and out): Latin, Latin-1 and Cyrillic capitals made
// small, "ё" (either case) made "е"; every other character stays as it is.
std::string foldForSearch(std::string_view utf8);

// yyyymmdd of a stored date "dd.MM.yyyy" that names a day of the calendar; nullopt for anything
// else (an empty field, "1950/02/01", 31.02.2000).
std::optional<std::int32_t> dateKey(std::string_view text);
// Seconds since midnight of a stored time "hh:mm:ss"; nullopt for anything else.
std::optional<std::int32_t> timeKey(std::string_view text);

// The columns of the patient list and of the archive list, in the window's order.
enum class PatientColumn { Name, BirthDate, Sex };
enum class EntryColumn { Number, Date, Time, Duration, Kind };

// An order of a list: by one column, ascending or descending; without a column the rows keep the
// order of the file. Rows equal in the column keep the order of the file, and rows whose column
// holds no value of its kind (no date, a rhythmogram's duration) come last either way.
template <typename Column> struct ListOrder {
    std::optional<Column> column;
    bool descending = false;
};
using PatientOrder = ListOrder<PatientColumn>;
using EntryOrder = ListOrder<EntryColumn>;

// The patients of the index with what finding and ordering compare, kept in index order so a
// position is the patient's row in the index (the position CardFile's calls take).
class PatientFinder {
public:
    PatientFinder() = default;
    explicit PatientFinder(std::vector<PatientRecord> patients);

    std::size_t size() const { return patients_.size(); }
    const PatientRecord& patient(std::size_t position) const { return patients_[position]; }
    // The first position holding this ID; nullopt when no row holds it.
    std::optional<std::size_t> positionOf(std::string_view id) const;

    // Follow the index as the window changes it: a record added at the end, one rewritten, one
    // dropped (the later rows move one position up, as in the index).
    void append(PatientRecord record);
    void replace(std::size_t position, PatientRecord record);
    void remove(std::size_t position);

    // Whether the patient at `position` matches every word of `query` (an empty query matches).
    bool matches(std::size_t position, std::string_view query) const;
    // Positions of the matching patients in `order`.
    std::vector<std::size_t> find(std::string_view query, const PatientOrder& order = {}) const;

private:
    struct Keys {
        std::string name;    // folded
        std::string id;      // folded, without the leading spaces of "%8lx"
        std::string policy;  // folded
        std::string compact; // the policy without spaces and dashes, as it is often typed
        std::string birth;   // as stored
        std::optional<std::int32_t> birthKey;
        int sexKey = 2;  // 0 male, 1 female, 2 anything else
        std::string sex; // folded, orders the "anything else" rows among themselves
    };
    static Keys keysOf(const PatientRecord& record);
    bool matchesWords(const Keys& keys, std::span<const std::string> words) const;

    std::vector<PatientRecord> patients_;
    std::vector<Keys> keys_;
};

// The words of a query, folded; what PatientFinder::find matches.
std::vector<std::string> searchWords(std::string_view query);

// Positions of the archive's entries in `order`.
std::vector<std::size_t> orderEntries(std::span<const ArchiveEntry> entries,
                                      const EntryOrder& order);

} // namespace velkard::cardfile
