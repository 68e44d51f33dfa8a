// SPDX-License-Identifier: GPL-3.0-or-later
#include "signal/DeviceFile.h"
#include "signal/FileIo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velkard::signal {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> deviceFile(std::int16_t rate, std::int16_t count, std::size_t body) {
    DeviceHeader h;
    h.setRate(rate);
    h.setRecordCount(count);
    std::vector<std::uint8_t> out(h.bytes().begin(), h.bytes().end());
    out.resize(out.size() + body, 0x10);
    return out;
}

fs::path save(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    fs::path p =
        fs::temp_directory_path() / ("velkard_device_" + std::to_string(::getpid()) + name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return p;
}

// Files under /sys state a size of a whole page and hold less: to a reader they shrink while
// being read, which a copied or truncated file on a network folder can do at any time.
TEST(ShrinkingFile, IsAnErrorAndNeverZeroPaddedData) {
    const fs::path shrinking = "/sys/kernel/profiling";
    struct stat st {};
    if (::stat(shrinking.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 512)
        GTEST_SKIP() << "no file that states more than it holds";
    BytesResult whole = readWholeFile(shrinking);
    EXPECT_FALSE(whole) << "read " << whole.value.size() << " bytes";
    EXPECT_NE(whole.message.find("shorter while it was read"), std::string::npos) << whole.message;
    BytesResult device = readDeviceFile(shrinking, RecordingKind::Plain);
    EXPECT_FALSE(device);
    EXPECT_NE(device.message.find("shorter while it was read"), std::string::npos)
        << device.message;
}

TEST(DeviceFileBounds, TheHeaderLimitsWhatIsRead) {
    // 20 s at 800 records per second.
    auto fits = save("fits", deviceFile(800, 16000, 16000 * 16));
    BytesResult r = readDeviceFile(fits, RecordingKind::Plain);
    ASSERT_TRUE(r) << r.message;
    EXPECT_EQ(r.value.size(), 512u + 16000 * 16);

    auto margin = save("margin", deviceFile(800, 16000, 16000 * 16 + kBodyMarginBytes));
    EXPECT_TRUE(readDeviceFile(margin, RecordingKind::Plain));
    auto far = save("far", deviceFile(800, 16000, 16000 * 16 + kBodyMarginBytes + 2));
    r = readDeviceFile(far, RecordingKind::Plain);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("far more than the 256000 bytes"), std::string::npos) << r.message;
    EXPECT_EQ(r.code, ErrorCode::TooLarge);
    const auto h = readDeviceHeader(far, RecordingKind::Plain);
    EXPECT_EQ(h.code, ErrorCode::TooLarge);
    // A rhythmogram counts two bytes per beat.
    EXPECT_FALSE(readDeviceFile(fits, RecordingKind::Rhythmogram));
    EXPECT_TRUE(readDeviceFile(save("rt", deviceFile(800, 300, 600)), RecordingKind::Rhythmogram));

    auto negativeCount = save("neg", deviceFile(800, -1600, 32));
    r = readDeviceFile(negativeCount, RecordingKind::Plain);
    EXPECT_NE(r.message.find("negative record count (-1600)"), std::string::npos) << r.message;
    auto negativeRate = save("negr", deviceFile(-800, 1600, 32));
    EXPECT_NE(
        readDeviceFile(negativeRate, RecordingKind::A2).message.find("negative sampling rate"),
        std::string::npos);
    EXPECT_FALSE(
        readDeviceFile(save("short", std::vector<std::uint8_t>(300)), RecordingKind::Plain));
    for (const char* name : {"fits", "margin", "far", "rt", "neg", "negr", "short"})
        fs::remove(fs::temp_directory_path() /
                   ("velkard_device_" + std::to_string(::getpid()) + name));
}

TEST(DeviceFileBounds, DurationIsWhatTheBodyHolds) {
    DeviceHeader h;
    h.setRate(800);
    h.setRecordCount(16000); // 20 s claimed
    EXPECT_EQ(filedDuration(h, 512 + 16000 * 16, RecordingKind::Plain), 20);
    EXPECT_EQ(filedDuration(h, 512 + 3, RecordingKind::Plain), 0);
    EXPECT_EQ(filedDuration(h, 512 + 8000 * 16 + 5, RecordingKind::Plain), 10);
    h.setRate(0);
    EXPECT_EQ(filedDuration(h, 512 + 16000 * 16, RecordingKind::Plain), 0);
}

} // namespace
} // namespace velkard::signal
