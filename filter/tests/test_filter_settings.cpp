// SPDX-License-Identifier: GPL-3.0-or-later
#include "filter/FilterSettingsFile.h"

#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

namespace velkard::filter {
namespace {

using signal::test::ScratchDir;

std::string fileText(const std::filesystem::path& p) {
    const auto bytes = signal::test::readBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

TEST(FilterSettingsFile, MissingFileGivesDefaultsAndWritesNothing) {
    ScratchDir dir;
    const FilterSettingsResult r = loadFilterSettings(dir.path(), true);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_TRUE(r.value.missing);
    EXPECT_EQ(r.value.settings, programDefaults());
    EXPECT_TRUE(dir.entries().empty());
}

TEST(FilterSettingsFile, SavedChoicesComeBackAndTheFileIsPlainText) {
    ScratchDir dir;
    const FilterSettings s{Mains::Hz60, HighPass::Hz05, LowPass::Hz35};
    ASSERT_TRUE(saveFilterSettings(dir.path(), s, false).ok());
    EXPECT_EQ(fileText(filterSettingsPath(dir.path())), "mains=60\nhighpass=0.5\nlowpass=35\n");
    const FilterSettingsResult r = loadFilterSettings(dir.path(), false);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_FALSE(r.value.missing);
    EXPECT_EQ(r.value.settings, s);
    EXPECT_EQ(dir.entries().size(), 1u);
    // Every choice survives the round trip.
    for (Mains m : {Mains::Off, Mains::Hz50, Mains::Hz60})
        for (HighPass h : {HighPass::Off, HighPass::Hz005, HighPass::Hz05})
            for (LowPass l : {LowPass::Off, LowPass::Hz35, LowPass::Hz40, LowPass::Hz150}) {
                const FilterSettings c{m, h, l};
                EXPECT_EQ(parseFilterSettings(formatFilterSettings(c), "f", true).value.settings,
                          c);
            }
}

TEST(FilterSettingsFile, DamagedFileIsNamedKeptAndReplacedByDefaults) {
    ScratchDir dir;
    const std::string damaged = "mains=55\nhighpass=0.05\n";
    signal::test::writeBytes(filterSettingsPath(dir.path()),
                             std::vector<std::uint8_t>(damaged.begin(), damaged.end()));
    FilterSettingsResult r = loadFilterSettings(dir.path(), true);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find(kFilterSettingsFileName), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("строка 1"), std::string::npos) << r.message;
    EXPECT_EQ(r.value.settings, programDefaults());
    EXPECT_EQ(fileText(filterSettingsPath(dir.path())), damaged);
    r = loadFilterSettings(dir.path(), false);
    EXPECT_NE(r.message.find("damaged (line 1)"), std::string::npos) << r.message;
    EXPECT_FALSE(parseFilterSettings("lowpass\n", "f", false).ok());
}

TEST(FilterSettingsFile, UnknownKeysBlankLinesAndCrLfAreAccepted) {
    const FilterSettingsResult r = parseFilterSettings(
        "# written by a later version\r\n\r\nnotch-q=3\r\nlowpass=40\r\n", "f", false);
    ASSERT_TRUE(r.ok()) << r.message;
    FilterSettings expected = programDefaults();
    expected.lowPass = LowPass::Hz40;
    EXPECT_EQ(r.value.settings, expected);
}

} // namespace
} // namespace velkard::filter
