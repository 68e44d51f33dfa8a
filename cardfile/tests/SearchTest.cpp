// SPDX-License-Identifier: GPL-3.0-or-later
// Finding patients and ordering the lists, over records read back from a card file on disk.
#include "cardfile/Search.h"
#include "cardfile/CardFile.h"
#include "cardfile/tests/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velkard;
using namespace velkard::cardfile;

namespace {

PatientRecord patient(std::string name, std::string birth, std::string policy, std::string id,
                      std::string sex = "Муж") {
    PatientRecord r;
    r.name = std::move(name);
    r.birthDate = std::move(birth);
    r.policy = std::move(policy);
    r.id = std::move(id);
    r.sex = std::move(sex);
    return r;
}

std::vector<std::string> namesOf(const PatientFinder& finder,
                                 const std::vector<std::size_t>& positions) {
    std::vector<std::string> names;
    for (auto p : positions)
        names.push_back(finder.patient(p).name);
    return names;
}

ArchiveEntry entry(int number, std::string date, std::string time, const EntryDuration& duration,
                   std::string_view kind) {
    auto bytes = encodeArchiveEntry(number, date, time, duration, kind);
    EXPECT_TRUE(bytes);
    return decodeArchiveEntry(bytes.value);
}

} // namespace

TEST(SearchFolding, CapitalsAndYoFoldInBothScriptsAndOtherTextStays) {
    EXPECT_EQ(foldForSearch("ЁЛКИН Ёлкин ёлкин"), "елкин елкин елкин");
    EXPECT_EQ(foldForSearch("ПЕТРОВ-Водкин ABC xyz"), "петров-водкин abc xyz");
    // Ukrainian and Belarusian letters of Windows-1251, and Latin-1 capitals.
    EXPECT_EQ(foldForSearch("ЇЖАК ІВАН ЄВА ҐАНОК ЎЗЯЦЦЕ ÄÖÜ"), "їжак іван єва ґанок ўзяцце äöü");
    // Digits, punctuation and the multiplication sign are not letters; a stray byte stays.
    EXPECT_EQ(foldForSearch("01.02.1950 №5 ×"), "01.02.1950 №5 ×");
    EXPECT_EQ(foldForSearch(std::string("A\xff"
                                        "Б")),
              std::string("a\xff"
                          "б"));
    EXPECT_EQ(searchWords("  Иванов\tПЁТР  "), (std::vector<std::string>{"иванов", "петр"}));
}

TEST(SearchFolding, DateAndTimeKeysTakeOnlyRealDaysAndTimes) {
    EXPECT_EQ(dateKey("04.03.1971"), 19710304);
    EXPECT_EQ(dateKey("29.02.2000"), 20000229);
    EXPECT_FALSE(dateKey("29.02.1900"));
    EXPECT_FALSE(dateKey("31.04.2001"));
    EXPECT_FALSE(dateKey("1950/02/01"));
    EXPECT_FALSE(dateKey(""));
    EXPECT_FALSE(dateKey("00.01.2000"));
    EXPECT_EQ(timeKey("09:05:03"), 9 * 3600 + 5 * 60 + 3);
    EXPECT_FALSE(timeKey("24:00:00"));
    EXPECT_FALSE(timeKey("9:05:03"));
}

// The records go through the card file (Windows-1251 on disk) and are found as read back.
TEST(PatientSearch, FindsByEveryWordInNameIdPolicyOrBirthDate) {
    test::ScratchDir dir;
    CardFile cf(dir.path());
    const std::vector<PatientRecord> written = {
        patient("Ёлкин Пётр Семёнович", "01.02.1950", "1234 5678 9012", "4c2f9a10"),
        patient("ИВАНОВ ИВАН", "15.07.1950", "7700-11", "4c2f9a11"),
        patient("Smith John", "01.02.1962", "AB-42", " abcdef0", "men"),
        patient("Иванова Мария", "1950/02/01", "", "4c2f9a13", "Жен"),
    };
    for (const auto& r : written)
        ASSERT_TRUE(cf.appendPatientRecord(r));
    auto listed = cf.listPatients();
    ASSERT_TRUE(listed);
    const PatientFinder finder(listed.value);
    ASSERT_EQ(finder.size(), 4u);
    const auto found = [&](std::string_view query) { return finder.find(query); };
    using Rows = std::vector<std::size_t>;

    EXPECT_EQ(found(""), (Rows{0, 1, 2, 3}));
    EXPECT_EQ(found("   "), (Rows{0, 1, 2, 3}));
    // Case and ё/е, either way round.
    EXPECT_EQ(found("елкин"), (Rows{0}));
    EXPECT_EQ(found("ЁЛКИН"), (Rows{0}));
    EXPECT_EQ(found("петр семенович"), (Rows{0}));
    EXPECT_EQ(found("иванов"), (Rows{1, 3}));
    EXPECT_EQ(found("SMITH"), (Rows{2}));
    EXPECT_EQ(found("jo"), (Rows{2}));
    // Every word must be found, each in any of the fields.
    EXPECT_EQ(found("иванов 1950"), (Rows{1, 3}));
    EXPECT_EQ(found("иванов 07.1950"), (Rows{1}));
    EXPECT_EQ(found("иван 1962"), (Rows{}));
    // Birth date typed with other separators.
    EXPECT_EQ(found("01/02/1950"), (Rows{0}));
    EXPECT_EQ(found("01-02"), (Rows{0, 2}));
    // Policy as printed or without its spaces and dashes.
    EXPECT_EQ(found("5678 9012"), (Rows{0}));
    EXPECT_EQ(found("123456789012"), (Rows{0}));
    EXPECT_EQ(found("770011"), (Rows{1}));
    EXPECT_EQ(found("ab-42"), (Rows{2}));
    // The ID, with or without its leading space, in either case.
    EXPECT_EQ(found("4C2F9A1"), (Rows{0, 1, 3}));
    EXPECT_EQ(found("abcdef0"), (Rows{2}));
    EXPECT_EQ(found("сидоров"), (Rows{}));
    EXPECT_TRUE(finder.matches(3, "мария"));
    EXPECT_FALSE(finder.matches(3, "петр"));
    EXPECT_FALSE(finder.matches(9, ""));
}

TEST(PatientSearch, OrdersNamesAlphabeticallyDatesAsDatesAndSexInGroups) {
    const PatientFinder finder({
        patient("Жуков", "31.01.1950", "1", "00000001"),
        patient("Ёлкин", "01.12.1990", "2", "00000002", "Жен"),
        patient("егоров", "", "3", "00000003"),
        patient("Абрамов", "02.12.1990", "4", "00000004", "wom"),
        patient("Smith", "1950/02/01", "5", "00000005", "men"),
        patient("Борисов", "31.01.1950", "6", "00000006", "?"),
    });
    const auto by = [&](PatientColumn column, bool descending, std::string_view query = "") {
        return namesOf(finder, finder.find(query, PatientOrder{column, descending}));
    };
    using Names = std::vector<std::string>;
    // Latin first, then Cyrillic with "Ё" among the "Е" and no regard to case.
    EXPECT_EQ(by(PatientColumn::Name, false),
              (Names{"Smith", "Абрамов", "Борисов", "егоров", "Ёлкин", "Жуков"}));
    EXPECT_EQ(by(PatientColumn::Name, true),
              (Names{"Жуков", "Ёлкин", "егоров", "Борисов", "Абрамов", "Smith"}));
    // 01.12.1990 is after 31.01.1950 though its text sorts first; rows of one day, and the rows
    // without a readable date (last both ways), order by name.
    EXPECT_EQ(by(PatientColumn::BirthDate, false),
              (Names{"Борисов", "Жуков", "Ёлкин", "Абрамов", "Smith", "егоров"}));
    EXPECT_EQ(by(PatientColumn::BirthDate, true),
              (Names{"Абрамов", "Ёлкин", "Борисов", "Жуков", "Smith", "егоров"}));
    // Men (either language's word), women, then anything else.
    EXPECT_EQ(by(PatientColumn::Sex, false),
              (Names{"Smith", "егоров", "Жуков", "Абрамов", "Ёлкин", "Борисов"}));
    // Ordering applies to the matches of a search.
    EXPECT_EQ(by(PatientColumn::BirthDate, true, "ов"),
              (Names{"Абрамов", "Борисов", "Жуков", "егоров"}));
}

TEST(PatientSearch, FollowsTheIndexThroughAppendRewriteAndRemove) {
    PatientFinder finder({patient("Первый", "", "1", "00000001"),
                          patient("Второй", "", "2", "00000002"),
                          patient("Третий", "", "3", "00000003")});
    finder.append(patient("Четвёртый", "", "4", "00000004"));
    EXPECT_EQ(finder.find("четвертый"), (std::vector<std::size_t>{3}));
    finder.replace(1, patient("Исправленный", "", "2", "00000002"));
    EXPECT_TRUE(finder.find("второй").empty());
    EXPECT_EQ(finder.find("исправ"), (std::vector<std::size_t>{1}));
    // Removing row 0 moves every later row one up, as the index does.
    finder.remove(0);
    ASSERT_EQ(finder.size(), 3u);
    EXPECT_EQ(finder.find("третий"), (std::vector<std::size_t>{1}));
    EXPECT_EQ(finder.positionOf("00000004"), 2u);
    EXPECT_FALSE(finder.positionOf("00000001"));
    EXPECT_EQ(finder.patient(0).name, "Исправленный");
}

TEST(EntryOrder, NumbersDatesTimesDurationsAndKindsOrderByTheirValues) {
    const std::vector<ArchiveEntry> entries = {
        entry(1, "31.12.2021", "18:00:00", EntryDuration::ofSeconds(600), kKindPlain),
        entry(2, "01.02.2022", "09:30:00", EntryDuration::ofSeconds(75), kKindA2),
        entry(3, "31.12.2021", "08:15:00", EntryDuration::rhythm(true), kKindRhythm),
        entry(4, "01.02.2022", "07:00:00", EntryDuration::ofSeconds(9), kKindPlain),
        entry(5, "bad date", "??", EntryDuration::ofSeconds(1200), kKindPlain),
    };
    const auto by = [&](std::optional<EntryColumn> column, bool descending) {
        std::vector<int> numbers;
        for (auto p : orderEntries(entries, EntryOrder{column, descending}))
            numbers.push_back(entries[p].recordNumber());
        return numbers;
    };
    using Numbers = std::vector<int>;
    EXPECT_EQ(by(std::nullopt, false), (Numbers{1, 2, 3, 4, 5}));
    EXPECT_EQ(by(EntryColumn::Number, true), (Numbers{5, 4, 3, 2, 1}));
    // 31.12.2021 before 01.02.2022, each day in the order of its times; unreadable last.
    EXPECT_EQ(by(EntryColumn::Date, false), (Numbers{3, 1, 4, 2, 5}));
    EXPECT_EQ(by(EntryColumn::Date, true), (Numbers{2, 4, 1, 3, 5}));
    EXPECT_EQ(by(EntryColumn::Time, false), (Numbers{4, 3, 2, 1, 5}));
    // 9 s < 75 s < 600 s < 1200 s; a rhythmogram has no duration in seconds and comes last.
    EXPECT_EQ(by(EntryColumn::Duration, false), (Numbers{4, 2, 1, 5, 3}));
    EXPECT_EQ(by(EntryColumn::Duration, true), (Numbers{5, 1, 2, 4, 3}));
    // Plain ECGs, then A2, then rhythmograms; ties in archive order.
    EXPECT_EQ(by(EntryColumn::Kind, false), (Numbers{1, 4, 5, 2, 3}));
    EXPECT_EQ(by(EntryColumn::Kind, true), (Numbers{3, 2, 1, 4, 5}));
}
