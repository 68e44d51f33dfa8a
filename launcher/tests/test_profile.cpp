// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/Profile.h"

#include "launcher/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace startel {
namespace {

using test::TempDir;
using test::writeFile;

TEST(Profile, SectionsAndKeysIgnoreCaseAndBlanks) {
    const std::string text = "; disc settings\r\n"
                             "[Other]\r\n"
                             "ProductCode=wrong\r\n"
                             "  [ installed ]  \r\n"
                             "  productcode =  {ABC}  \r\n"
                             "Launch=\"{quoted}\"\r\n"
                             "Single='x'\r\n"
                             "Half=\"x\r\n"
                             "Empty=\r\n";
    EXPECT_EQ(profileValue(text, "Installed", "ProductCode"), "{ABC}");
    EXPECT_EQ(profileValue(text, "INSTALLED", "PRODUCTCODE"), "{ABC}");
    EXPECT_EQ(profileValue(text, "Installed", "Launch"), "{quoted}");
    EXPECT_EQ(profileValue(text, "Installed", "Single"), "x");
    EXPECT_EQ(profileValue(text, "Installed", "Half"), "\"x");
    EXPECT_EQ(profileValue(text, "Installed", "Empty"), "");
    EXPECT_EQ(profileValue(text, "Other", "ProductCode"), "wrong");
}

TEST(Profile, MissingPartsGiveTheEmptyDefault) {
    const std::string text = "[Installed]\nProductCode=x\n;Launch=commented\n";
    EXPECT_EQ(profileValue(text, "Installed", "Launch"), "");
    EXPECT_EQ(profileValue(text, "Installed", ";Launch"), "");
    EXPECT_EQ(profileValue(text, "Nowhere", "ProductCode"), "");
    EXPECT_EQ(profileValue(text, "Installed", ""), "");
    EXPECT_EQ(profileValue(text, "", "ProductCode"), "");
    EXPECT_EQ(profileValue("", "Installed", "ProductCode"), "");
    EXPECT_EQ(profileValue("ProductCode=outside", "Installed", "ProductCode"), "");
}

TEST(Profile, FirstSectionAndFirstKeyWin) {
    const std::string text = "[Installed]\nLaunch=first\nLaunch=second\n"
                             "[Other]\n[Installed]\nLaunch=third\nLate=late\n";
    EXPECT_EQ(profileValue(text, "Installed", "Launch"), "first");
    EXPECT_EQ(profileValue(text, "Installed", "Late"), "");
}

TEST(Profile, ValuesAreCutTo259Characters) {
    const std::string longValue(300, 'v');
    const std::string text = "[Installed]\nLaunch=" + longValue + "\n";
    EXPECT_EQ(profileValue(text, "Installed", "Launch"), std::string(259, 'v'));
    EXPECT_EQ(profileValue(text, "Installed", "Launch", 1000), longValue);
}

TEST(Profile, ByteOrderMarkAndLastLineWithoutBreak) {
    EXPECT_EQ(profileValue("\xEF\xBB\xBF[Installed]\nProductCode=p", "Installed", "ProductCode"),
              "p");
}

TEST(Profile, ReadsFilesAndToleratesBadOnes) {
    TempDir dir;
    writeFile(dir.file("Startel.inf"), "[Installed]\nProductCode={P}\n");
    EXPECT_EQ(readProfileString(dir.file("Startel.inf"), "Installed", "ProductCode"), "{P}");
    EXPECT_EQ(readProfileString(dir.file("missing.inf"), "Installed", "ProductCode"), "");
    EXPECT_EQ(readProfileString(dir.path(), "Installed", "ProductCode"), "");

    // A named pipe under the file's name must not make the reader wait for a writer.
    ASSERT_EQ(::mkfifo(dir.file("pipe.inf").c_str(), 0600), 0);
    EXPECT_EQ(readProfileString(dir.file("pipe.inf"), "Installed", "ProductCode"), "");
}

} // namespace
} // namespace startel
