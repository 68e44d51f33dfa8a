// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/Settings.h"

#include "signal/Cp1251.h"
#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

namespace velkard::signal {
namespace {

using test::ScratchDir;

std::filesystem::path settingsFile(const ScratchDir& dir) {
    return dir.path() / std::filesystem::path(
                            std::u8string(reinterpret_cast<const char8_t*>(kSettingsFileName)));
}

std::string fileText(const std::filesystem::path& p) {
    auto bytes = test::readBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::filesystem::path& p, const std::string& text) {
    test::writeBytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST(Settings, FirstStartCreatesDefaultsInWindows1251WithCrLf) {
    ScratchDir dir;
    SettingsResult r = loadSettings(dir.path());
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_TRUE(r.value.created);
    EXPECT_FALSE(r.value.indicesFellBack);
    EXPECT_EQ(r.value.settings, defaultSettings());
    EXPECT_EQ(r.value.settings.scaleText, "10 мм/мВ");
    EXPECT_EQ(r.value.settings.speedText, "25 мм/с");
    // Exact bytes: "мм/мВ" is EC EC 2F EC C2 in Windows-1251.
    const std::string expected = "10 \xEC\xEC/\xEC\xC2\r\nI..V6\r\n25 \xEC\xEC/\xF1\r\nCOM4\r\n"
                                 "1\r\n9\r\n2\r\n0\r\n";
    EXPECT_EQ(fileText(settingsFile(dir)), expected);
    EXPECT_EQ(dir.entries().size(), 1u);

    SettingsResult again = loadSettings(dir.path());
    ASSERT_TRUE(again.ok());
    EXPECT_FALSE(again.value.created);
    EXPECT_EQ(again.value.settings, defaultSettings());
}

TEST(Settings, RoundTripKeepsLanguageTwoPortTextAndEnglishTexts) {
    ScratchDir dir;
    Settings s;
    s.scaleText = "20 mm/mV";
    s.groupText = "V1..V6";
    s.speedText = "50 mm/s";
    s.portName = "/dev/ttyUSB0 порт";
    s.scaleIndex = 2;
    s.groupIndex = 0;
    s.speedIndex = 3;
    s.language = 2;
    ASSERT_TRUE(saveSettings(dir.path(), s).ok());
    SettingsResult r = loadSettings(dir.path());
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value.settings, s);
    EXPECT_NE(fileText(settingsFile(dir)).find("\r\n2\r\n"), std::string::npos);
    EXPECT_EQ(fileText(settingsFile(dir)).find("порт"), std::string::npos); // not UTF-8 on disk
    EXPECT_EQ(dir.entries().size(), 1u);                                    // no temporary left
}

TEST(Settings, NegativeLanguageAndLfOnlyLinesAreRead) {
    ScratchDir dir;
    writeText(settingsFile(dir), "5 mm/mV\nI\n5 mm/s\nSIM\n0\n0\n0\n-7");
    SettingsResult r = loadSettings(dir.path());
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.value.settings.portName, "SIM");
    EXPECT_EQ(r.value.settings.language, -7);
    EXPECT_EQ(r.value.settings.groupText, "I");
    EXPECT_EQ(formatSettings(r.value.settings),
              "5 mm/mV\r\nI\r\n5 mm/s\r\nSIM\r\n0\r\n0\r\n0\r\n-7\r\n");
}

TEST(Settings, MalformedFilesAreErrorsNamingTheFileAndStayUnchanged) {
    const std::vector<std::string> bad = {
        "",
        "a\r\nb\r\nc\r\nd\r\n1\r\n9\r\n2\r\n",                // seven lines
        "a\r\nb\r\nc\r\nd\r\n1\r\nnine\r\n2\r\n0\r\n",        // not a number
        "a\r\nb\r\nc\r\nd\r\n1\r\n9 \r\n2\r\n0\r\n",          // trailing space
        "a\r\nb\r\nc\r\nd\r\n1\r\n9\r\n0x2\r\n0\r\n",         // hexadecimal
        "a\r\nb\r\nc\r\nd\r\n1\r\n9\r\n2\r\n-\r\n",           // sign alone
        "a\r\nb\r\nc\r\nd\r\n1\r\n9\r\n2\r\n99999999999\r\n", // beyond int
        "a\r\nb\r\nc\r\nd\r\n\r\n9\r\n2\r\n0\r\n",            // empty number line
    };
    for (const std::string& text : bad) {
        ScratchDir dir;
        writeText(settingsFile(dir), text);
        SettingsResult r = loadSettings(dir.path());
        EXPECT_FALSE(r.ok()) << text;
        EXPECT_NE(r.message.find("ПЛ4Н-52.txt"), std::string::npos) << r.message;
        EXPECT_EQ(fileText(settingsFile(dir)), text);
    }
}

TEST(Settings, OutOfRangeIndicesFallBackToDefaults) {
    ScratchDir dir;
    writeText(settingsFile(dir), "x\r\ny\r\nz\r\nCOM1\r\n3\r\n10\r\n-1\r\n1\r\n");
    SettingsResult r = loadSettings(dir.path());
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_TRUE(r.value.indicesFellBack);
    EXPECT_EQ(r.value.settings.scaleIndex, 1);
    EXPECT_EQ(r.value.settings.groupIndex, 9);
    EXPECT_EQ(r.value.settings.speedIndex, 2);
    EXPECT_EQ(r.value.settings.language, 1);

    writeText(settingsFile(dir), "x\r\ny\r\nz\r\nCOM1\r\n2\r\n0\r\n3\r\n1\r\n");
    r = loadSettings(dir.path());
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r.value.indicesFellBack);
    EXPECT_EQ(r.value.settings.scaleIndex, 2);
    EXPECT_EQ(r.value.settings.groupIndex, 0);
    EXPECT_EQ(r.value.settings.speedIndex, 3);
}

TEST(Settings, LineBreaksInsideTextsCannotShiftLines) {
    Settings s;
    s.portName = "COM\r\n5";
    SettingsResult r = parseSettings(formatSettings(s), "f");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value.settings.portName, "COM  5");
    EXPECT_EQ(r.value.settings.scaleIndex, s.scaleIndex);
}

TEST(Settings, UnreadableOrUnreplaceableFileIsAnErrorAndLeavesNoTemporary) {
    ScratchDir dir;
    // A folder where the file should be: it can be neither read nor replaced.
    std::filesystem::create_directories(settingsFile(dir) / "inside");
    SettingsResult r = loadSettings(dir.path());
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message.find("ПЛ4Н-52.txt"), std::string::npos) << r.message;
    Status st = saveSettings(dir.path(), defaultSettings());
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message.find("ПЛ4Н-52.txt"), std::string::npos) << st.message;
    EXPECT_TRUE(std::filesystem::is_directory(settingsFile(dir) / "inside"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"ПЛ4Н-52.txt"});
}

TEST(Settings, SaveIntoUnwritableFolderFailsAndKeepsOldFile) {
    // As an ordinary user: permissions do not bind root.
    EXPECT_TRUE(test::asUnprivilegedUser([] {
        ScratchDir dir;
        if (!loadSettings(dir.path()).ok())
            return false;
        const std::string before = fileText(settingsFile(dir));
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
        Settings s;
        s.language = 1;
        Status st = saveSettings(dir.path(), s);
        std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
        return !st.ok() && st.message.find("ПЛ4Н-52.txt") != std::string::npos &&
               fileText(settingsFile(dir)) == before;
    }));
}

TEST(Settings, ReadOnlyFileIsNotReplacedAndALinkIsWrittenThrough) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    ASSERT_TRUE(loadSettings(dir.path()).ok());
    const fs::path file = settingsFile(dir);
    const std::string before = fileText(file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Settings s;
    s.language = 1;
    Status st = saveSettings(dir.path(), s);
    EXPECT_FALSE(st.ok());
    EXPECT_NE(st.message.find("ПЛ4Н-52.txt"), std::string::npos) << st.message;
    EXPECT_NE(st.message.find("read-only"), std::string::npos) << st.message;
    EXPECT_EQ(fileText(file), before);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);

    // The settings file is a link to a file kept elsewhere.
    ScratchDir elsewhere;
    const fs::path real = elsewhere.path() / "shared-settings.txt";
    fs::rename(file, real);
    fs::create_symlink(real, file);
    ASSERT_TRUE(saveSettings(dir.path(), s).ok());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(file)));
    EXPECT_EQ(fs::read_symlink(file), real);
    SettingsResult back = loadSettings(dir.path());
    ASSERT_TRUE(back.ok()) << back.message;
    EXPECT_EQ(back.value.settings.language, 1);
    EXPECT_NE(fileText(real), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"ПЛ4Н-52.txt"});
}

} // namespace
} // namespace velkard::signal
