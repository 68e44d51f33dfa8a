// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/Decompress.h"
#include "memory/FileInfo.h"
#include "sim/DeviceFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace velkard::memory {
namespace {

namespace fs = std::filesystem;

class FileInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velkard-fileinfo-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return dir / name;
    }
    fs::path dir;
};

TEST_F(FileInfoTest, KindDateTimeAndDurationComeFromTheHeader) {
    const sim::RecordedAt at{26, 12, 7, 10, 15, 30};
    const auto ecg = sim::makeDeviceEcg(10.0, 1, at);
    EXPECT_EQ(describeDeviceFile(readDeviceFileInfo(put("ECG00001.ECG", ecg)), true),
              "ЭКГ, 07.12.2026 10:15:30, 10 с");
    EXPECT_EQ(describeDeviceFile(readDeviceFileInfo(dir / "ECG00001.ECG"), false),
              "ECG, 07.12.2026 10:15:30, 10 s");
    // 8040 full records and 5 s of lead II at 800 per second: 12040 records, 15 s.
    EXPECT_EQ(
        describeDeviceFile(readDeviceFileInfo(put("A2000001.DAT", sim::makeA2(5.0, 2, at))), true),
        "A2, 07.12.2026 10:15:30, 15 с");
    const auto rhythm = readDeviceFileInfo(put("VSR00001.DAT", sim::makeRhythmogram(60, 3, at)));
    EXPECT_EQ(rhythm.kind, signal::RecordingKind::Rhythmogram);
    EXPECT_EQ(describeDeviceFile(rhythm, false).rfind("rhythmogram, 07.12.2026 10:15:30", 0), 0u);
    // Compressed: the header is stored as it is at the front.
    const auto ecx = import::compressToEcx(sim::makeDeviceEcg(10.0, 4, at, true));
    EXPECT_EQ(describeDeviceFile(readDeviceFileInfo(put("ECG00002.ecx", ecx)), false),
              "ECG, compressed, 07.12.2026 10:15:30, 10 s");
}

TEST_F(FileInfoTest, UnreadableHeadersGiveOnlyTheKind) {
    const auto ecg = sim::makeDeviceEcg(2.0, 1, {});
    const std::vector<std::uint8_t> torn(ecg.begin(), ecg.begin() + 100);
    EXPECT_EQ(describeDeviceFile(readDeviceFileInfo(put("ECG00003.ECG", torn)), true), "ЭКГ");
    EXPECT_EQ(describeDeviceFile(readDeviceFileInfo(dir / "missing.ECG"), false), "ECG");
    // A nonsense date is left out, the duration still shown.
    auto odd = ecg;
    odd[34] = 13; // month 13
    const auto info = readDeviceFileInfo(put("ECG00004.ECG", odd));
    EXPECT_TRUE(info.headerRead);
    EXPECT_EQ(describeDeviceFile(info, false), "ECG, 2 s");
}

} // namespace
} // namespace velkard::memory
