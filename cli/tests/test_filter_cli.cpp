// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli filter: a recording written back filtered, in the same format.
#include "cli/tests/RunCli.h"
#include "signal/SampleRecord.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <numbers>
#include <vector>

using velkard::cli::test::runCli;
using velkard::cli::test::TempDir;

namespace {

constexpr double kPi = std::numbers::pi;

// Every channel: 1000 units of 10 Hz plus 1000 units of 50 Hz.
std::vector<std::uint8_t> humRecording(int seconds) {
    std::vector<std::uint8_t> bytes(std::size_t(seconds) * 800 * 16);
    for (int i = 0; i < seconds * 800; ++i)
        for (int ch = 0; ch < 8; ++ch)
            velkard::signal::writeLe16(
                bytes.data() + std::size_t(i) * 16 + 2 * ch,
                std::int16_t(std::lround(1000 * std::sin(2 * kPi * 10 * i / 800.0) +
                                         1000 * std::sin(2 * kPi * 50 * i / 800.0))));
    return bytes;
}

void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Amplitude of hz in channel ch over seconds 2..4.
double amplitude(const std::vector<std::uint8_t>& bytes, int ch, double hz) {
    double s = 0, c = 0;
    const int a = 1600, n = 1600;
    for (int i = a; i < a + n; ++i) {
        const double v = velkard::signal::readLe16(bytes.data() + std::size_t(i) * 16 + 2 * ch);
        s += v * std::sin(2 * kPi * hz * i / 800.0);
        c += v * std::cos(2 * kPi * hz * i / 800.0);
    }
    return 2 * std::hypot(s, c) / n;
}

} // namespace

TEST(FilterCli, NotchRemovesTheHumAndKeepsTheSignalInBothModes) {
    TempDir dir;
    auto source = humRecording(6);
    source.push_back(0x55); // an odd trailing byte is carried over
    writeFile(dir / "in.dat", source);
    for (const char* mode : {"", "--live"}) {
        std::vector<std::string> args{"filter", "in.dat", "out.dat", "--mains", "50"};
        if (*mode)
            args.push_back(mode);
        const auto r = runCli(args, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string("records=4800 filters=~50 Hz ") +
                             (*mode ? "live" : "zero-phase") + "\n");
        const auto out = readFile(dir / "out.dat");
        ASSERT_EQ(out.size(), source.size());
        EXPECT_EQ(out.back(), 0x55);
        for (int ch : {0, 4, 7}) {
            EXPECT_LT(amplitude(out, ch, 50), 10.0) << mode;
            EXPECT_NEAR(amplitude(out, ch, 10), 1000.0, 30.0) << mode;
        }
    }
    EXPECT_EQ(readFile(dir / "in.dat"), source);
}

TEST(FilterCli, WrongUsageAndUnreadableInputWriteNothing) {
    TempDir dir;
    writeFile(dir / "in.dat", humRecording(1));
    auto r = runCli({"filter", "in.dat", "out.dat", "--lowpass", "45"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--lowpass must be"), std::string::npos) << r.err;
    r = runCli({"filter", "in.dat", "out.dat"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"filter", "missing.dat", "out.dat", "--highpass", "0.05"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.dat"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.dat"));
}
