// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Search.h"

#include <algorithm>
#include <numeric>

namespace velkard::cardfile {

namespace {

// The small letter of a capital, for the scripts a card file can hold (Windows-1251 has Latin,
// Russian, Ukrainian, Belarusian, Serbian and Macedonian letters); "ё" is read as "е".
char32_t foldCodePoint(char32_t c) {
    if (c >= U'A' && c <= U'Z')
        return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // Latin-1 capitals, not the multiplication sign
        return c + 0x20;
    if (c >= 0x0410 && c <= 0x042F) // А..Я
        return c + 0x20;
    if (c == 0x0401 || c == 0x0451) // Ё, ё
        return 0x0435;
    if (c >= 0x0400 && c <= 0x040F) // Ѐ..Џ (Ђ, Є, І, Ї, Ў, …)
        return c + 0x50;
    if (c == 0x0490) // Ґ
        return 0x0491;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Two-digit (or four-digit) number at `at` of `text`; -1 when a character is not a digit.
int digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysIn(int month, int year) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool contains(const std::string& text, const std::string& word) {
    return text.find(word) != std::string::npos;
}

// Compares two optional keys: values before no value in both directions, values by `descending`.
// Returns <0, 0, >0.
template <typename T>
int compareKeys(const std::optional<T>& a, const std::optional<T>& b, bool descending) {
    if (a && b) {
        if (*a == *b)
            return 0;
        return (*a < *b) != descending ? -1 : 1;
    }
    if (a.has_value() == b.has_value())
        return 0;
    return a ? -1 : 1;
}

template <typename T> int compareValues(const T& a, const T& b, bool descending) {
    if (a == b)
        return 0;
    return (a < b) != descending ? -1 : 1;
}

// Positions 0..n-1 ordered by `compare` (<0, 0, >0); equal rows keep their order.
template <typename Compare>
std::vector<std::size_t> stableOrder(std::vector<std::size_t> positions, Compare compare) {
    std::stable_sort(positions.begin(), positions.end(),
                     [&](std::size_t a, std::size_t b) { return compare(a, b) < 0; });
    return positions;
}

int kindRank(const std::string& kind) {
    if (kind == kKindPlain)
        return 0;
    if (kind == kKindA2)
        return 1;
    if (kind == kKindRhythm)
        return 2;
    return 3;
}

} // namespace

std::string foldForSearch(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = b < 0x80           ? 1
                             : (b >> 5) == 0x6  ? 2
                             : (b >> 4) == 0xE  ? 3
                             : (b >> 3) == 0x1E ? 4
                                                : 0;
        bool sound = length != 0 && i + length <= s.size();
        char32_t c = length == 1   ? b
                     : length == 2 ? (b & 0x1F)
                     : length == 3 ? (b & 0x0F)
                                   : (b & 0x07);
        for (std::size_t k = 1; sound && k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                sound = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (!sound) {
            // A byte that starts no character is kept as it is; it matches only itself.
            out.push_back(s[i]);
            ++i;
            continue;
        }
        if (length == 1)
            out.push_back(static_cast<char>(foldCodePoint(c)));
        else
            appendUtf8(out, foldCodePoint(c));
        i += length;
    }
    return out;
}

std::optional<std::int32_t> dateKey(std::string_view text) {
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        return std::nullopt;
    const int day = digitsAt(text, 0, 2);
    const int month = digitsAt(text, 3, 2);
    const int year = digitsAt(text, 6, 4);
    if (day < 1 || month < 1 || month > 12 || year < 1 || day > daysIn(month, year))
        return std::nullopt;
    return year * 10000 + month * 100 + day;
}

std::optional<std::int32_t> timeKey(std::string_view text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return std::nullopt;
    const int hour = digitsAt(text, 0, 2);
    const int minute = digitsAt(text, 3, 2);
    const int second = digitsAt(text, 6, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

std::vector<std::string> searchWords(std::string_view query) {
    const std::string folded = foldForSearch(query);
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < folded.size()) {
        while (i < folded.size() && (folded[i] == ' ' || folded[i] == '\t'))
            ++i;
        std::size_t end = i;
        while (end < folded.size() && folded[end] != ' ' && folded[end] != '\t')
            ++end;
        if (end > i)
            words.emplace_back(folded, i, end - i);
        i = end;
    }
    return words;
}

PatientFinder::PatientFinder(std::vector<PatientRecord> patients) : patients_(std::move(patients)) {
    keys_.reserve(patients_.size());
    for (const auto& p : patients_)
        keys_.push_back(keysOf(p));
}

PatientFinder::Keys PatientFinder::keysOf(const PatientRecord& r) {
    Keys k;
    k.name = foldForSearch(r.name);
    k.id = foldForSearch(trimmed(r.id));
    k.policy = foldForSearch(r.policy);
    k.compact = k.policy;
    std::erase_if(k.compact, [](char c) { return c == ' ' || c == '-'; });
    k.birth = r.birthDate;
    k.birthKey = dateKey(r.birthDate);
    k.sex = foldForSearch(trimmed(r.sex));
    // The stored words of the new-patient dialog, Russian and English, folded.
    if (k.sex == "муж" || k.sex == "men")
        k.sexKey = 0;
    else if (k.sex == "жен" || k.sex == "wom")
        k.sexKey = 1;
    return k;
}

std::optional<std::size_t> PatientFinder::positionOf(std::string_view id) const {
    for (std::size_t i = 0; i < patients_.size(); ++i)
        if (patients_[i].id == id)
            return i;
    return std::nullopt;
}

void PatientFinder::append(PatientRecord record) {
    keys_.push_back(keysOf(record));
    patients_.push_back(std::move(record));
}

void PatientFinder::replace(std::size_t position, PatientRecord record) {
    if (position >= patients_.size())
        return;
    keys_[position] = keysOf(record);
    patients_[position] = std::move(record);
}

void PatientFinder::remove(std::size_t position) {
    if (position >= patients_.size())
        return;
    keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(position));
    patients_.erase(patients_.begin() + static_cast<std::ptrdiff_t>(position));
}

bool PatientFinder::matchesWords(const Keys& k, std::span<const std::string> words) const {
    for (const std::string& w : words) {
        if (contains(k.name, w) || contains(k.id, w) || contains(k.policy, w) ||
            contains(k.compact, w))
            continue;
        // A date is typed with the separators at hand: 01/02/1950, 01-02-1950, 01,02,1950.
        std::string date = w;
        std::replace_if(
            date.begin(), date.end(), [](char c) { return c == '/' || c == '-' || c == ','; }, '.');
        if (contains(k.birth, date))
            continue;
        return false;
    }
    return true;
}

bool PatientFinder::matches(std::size_t position, std::string_view query) const {
    if (position >= keys_.size())
        return false;
    const auto words = searchWords(query);
    return matchesWords(keys_[position], words);
}

std::vector<std::size_t> PatientFinder::find(std::string_view query,
                                             const PatientOrder& order) const {
    const auto words = searchWords(query);
    std::vector<std::size_t> found;
    found.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i)
        if (words.empty() || matchesWords(keys_[i], words))
            found.push_back(i);
    if (!order.column)
        return found;
    const bool down = order.descending;
    switch (*order.column) {
    case PatientColumn::Name:
        return stableOrder(std::move(found), [&](std::size_t a, std::size_t b) {
            return compareValues(keys_[a].name, keys_[b].name, down);
        });
    case PatientColumn::BirthDate:
        return stableOrder(std::move(found), [&](std::size_t a, std::size_t b) {
            if (int c = compareKeys(keys_[a].birthKey, keys_[b].birthKey, down))
                return c;
            return compareValues(keys_[a].name, keys_[b].name, false);
        });
    case PatientColumn::Sex:
        return stableOrder(std::move(found), [&](std::size_t a, std::size_t b) {
            if (int c = compareValues(keys_[a].sexKey, keys_[b].sexKey, down))
                return c;
            if (int c = compareValues(keys_[a].sex, keys_[b].sex, down))
                return c;
            return compareValues(keys_[a].name, keys_[b].name, false);
        });
    }
    return found;
}

std::vector<std::size_t> orderEntries(std::span<const ArchiveEntry> entries,
                                      const EntryOrder& order) {
    std::vector<std::size_t> positions(entries.size());
    std::iota(positions.begin(), positions.end(), std::size_t{0});
    if (!order.column)
        return positions;
    const bool down = order.descending;
    const auto number = [](const ArchiveEntry& e) {
        const int n = e.recordNumber();
        return n > 0 ? std::optional<int>(n) : std::nullopt;
    };
    switch (*order.column) {
    case EntryColumn::Number:
        return stableOrder(std::move(positions), [&](std::size_t a, std::size_t b) {
            return compareKeys(number(entries[a]), number(entries[b]), down);
        });
    case EntryColumn::Date:
        // Recordings of one day follow their times.
        return stableOrder(std::move(positions), [&](std::size_t a, std::size_t b) {
            if (int c = compareKeys(dateKey(entries[a].date), dateKey(entries[b].date), down))
                return c;
            return compareKeys(timeKey(entries[a].time), timeKey(entries[b].time), down);
        });
    case EntryColumn::Time:
        return stableOrder(std::move(positions), [&](std::size_t a, std::size_t b) {
            return compareKeys(timeKey(entries[a].time), timeKey(entries[b].time), down);
        });
    case EntryColumn::Duration:
        return stableOrder(std::move(positions), [&](std::size_t a, std::size_t b) {
            return compareKeys(entries[a].durationSeconds(), entries[b].durationSeconds(), down);
        });
    case EntryColumn::Kind:
        return stableOrder(std::move(positions), [&](std::size_t a, std::size_t b) {
            return compareValues(kindRank(entries[a].kind), kindRank(entries[b].kind), down);
        });
    }
    return positions;
}

} // namespace velkard::cardfile
