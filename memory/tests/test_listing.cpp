// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/Listing.h"

#include <gtest/gtest.h>

#include <string>

using namespace velkard::memory;

namespace {

Listing parse(const std::string& bytes) {
    return parseListing(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string entry(char type, const std::string& name, char trailer = '\0') {
    return std::string("<") + type + name + trailer + ">";
}

} // namespace

TEST(Listing, FolderAndFileEntries) {
    const auto r =
        parse(entry('d', "ECG1") + entry('f', "A2_0001.ECG") + entry('x', "%s%n.dat", 'Z'));
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0], "ECG1/");
    EXPECT_EQ(r.entries[1], "A2_0001.ECG"); // eleven bytes, trailer left out
    EXPECT_EQ(r.entries[2], "%s%n.dat");    // any type byte but 'd' is a file; '%' kept
    EXPECT_EQ(r.refusedTooLong + r.refusedEmpty, 0u);
}

TEST(Listing, FillerAndBytesOutsideEntriesAreDropped) {
    std::string block = "junk" + entry('f', "one.ecg") + "\x01\x02" + entry('f', "two.ecg");
    block.append(3000 - block.size(), '\0');
    auto r = parse(block);
    EXPECT_EQ(r.entries, (std::vector<std::string>{"one.ecg", "two.ecg"}));

    // Filler holding '<' but no '>' after the last entry adds nothing.
    r = parse(entry('f', "a.ecg") + "<<f<garbage" + std::string(2000, 'q'));
    EXPECT_EQ(r.entries, (std::vector<std::string>{"a.ecg"}));

    // No '<' at all: nothing.
    EXPECT_TRUE(parse(std::string(3000, '\0')).entries.empty());
    EXPECT_TRUE(parse("abc>def>").entries.empty());
    EXPECT_TRUE(parse("").entries.empty());
}

TEST(Listing, NestedOpenBracketBelongsToTheName) {
    // From the first '<' to the first '>' after it; a later '<' is a name byte.
    const auto r = parse("<f<a<bT>");
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0], "<a<b");
}

TEST(Listing, EntriesTooShortForANameAreRefused) {
    const auto r = parse("<><d><dT><fT>" + entry('f', "ok"));
    EXPECT_EQ(r.entries, (std::vector<std::string>{"ok"}));
    EXPECT_EQ(r.refusedEmpty, 4u);
}

TEST(Listing, LongNamesAreRefusedNotCut) {
    const std::string file269(kMaxFileName, 'f');
    const std::string file270(kMaxFileName + 1, 'g');
    const std::string folder268(kMaxFolderName, 'd');
    const std::string folder269(kMaxFolderName + 1, 'e');
    const std::string huge(100000, 'h');
    const auto r = parse(entry('f', file269) + entry('f', file270) + entry('d', folder268) +
                         entry('d', folder269) + entry('f', huge) + entry('f', "after"));
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0], file269);
    EXPECT_EQ(r.entries[1], folder268 + "/");
    EXPECT_EQ(r.entries[2], "after");
    EXPECT_EQ(r.refusedTooLong, 3u);
}

TEST(Listing, FeedingInPiecesGivesTheSameEntries) {
    std::string block;
    for (int i = 0; i < 500; ++i)
        block += entry(i % 7 == 0 ? 'd' : 'f', "NAME" + std::to_string(i) + ".ECG");
    block += std::string(123, '\0');
    const auto whole = parse(block);
    ASSERT_EQ(whole.entries.size(), 500u);
    for (std::size_t piece : {1u, 2u, 7u, 1000u}) {
        ListingParser p;
        for (std::size_t off = 0; off < block.size(); off += piece)
            p.feed(reinterpret_cast<const std::uint8_t*>(block.data()) + off,
                   std::min(piece, block.size() - off));
        EXPECT_EQ(p.finish().entries, whole.entries) << "piece " << piece;
    }
}

TEST(Listing, NamesThatWouldLeaveTheDownloadFolderAreRefused) {
    EXPECT_EQ(checkDownloadName("A2_0001.ECG"), NameProblem::None);
    EXPECT_EQ(checkDownloadName("..data"), NameProblem::None);       // stays inside the folder
    EXPECT_EQ(checkDownloadName("\xc0\xc1.ecg"), NameProblem::None); // Windows-1251 letters
    EXPECT_EQ(checkDownloadName(""), NameProblem::Empty);
    EXPECT_EQ(checkDownloadName("."), NameProblem::DotName);
    EXPECT_EQ(checkDownloadName(".."), NameProblem::DotName);
    EXPECT_EQ(checkDownloadName("../evil"), NameProblem::Separator);
    EXPECT_EQ(checkDownloadName("/etc/passwd"), NameProblem::Separator);
    EXPECT_EQ(checkDownloadName("..\\evil"), NameProblem::Separator);
    EXPECT_EQ(checkDownloadName(std::string("a\0b", 3)), NameProblem::ControlByte);
    EXPECT_EQ(checkDownloadName("a\nb"), NameProblem::ControlByte);
    EXPECT_EQ(checkDownloadName("a\x7f"), NameProblem::ControlByte);
    EXPECT_EQ(checkDownloadName("a|b"), NameProblem::Terminator);
    EXPECT_EQ(checkDownloadName(std::string(kMaxFileName + 1, 'x')), NameProblem::TooLong);

    // A delete only sends the name back: separators are the instrument's own business, but the
    // name must still be framed correctly.
    EXPECT_EQ(checkRequestName("dir/x"), NameProblem::None);
    EXPECT_EQ(checkRequestName("a|b"), NameProblem::Terminator);
    EXPECT_EQ(checkRequestName(std::string("a\0", 2)), NameProblem::ControlByte);
}

TEST(Listing, PrintableNameEscapesControlBytes) {
    EXPECT_EQ(printableName(std::string("a\0b\\", 4)), "a\\x00b\\x5C");
    EXPECT_EQ(printableName("\xc0"), "\xd0\x90"); // Windows-1251 А shown in UTF-8
}
