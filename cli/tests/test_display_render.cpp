// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of the render and render-live commands.
#include "cardfile/Records.h"
#include "cli/tests/RunCli.h"
#include "signal/SampleRecord.h"

#include <QImage>
#include <fstream>
#include <gtest/gtest.h>

using velkard::cli::test::runCli;
using velkard::cli::test::TempDir;

namespace {

// A recording of `records` records: lead II (c1) carries `level`, everything else 0.
void writeRecording(const std::filesystem::path& path, int records, std::int16_t level) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(records) * 16, 0);
    for (int i = 0; i < records; ++i)
        velkard::signal::writeLe16(bytes.data() + i * 16 + 2, level);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool black(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & 0xFFFFFF) == 0;
}

constexpr int kPageRecords = 964 * 10; // one review page at 25 mm/s on 1024 px of 320 mm

} // namespace

TEST(CliRender, FirstPageOfThreeWithTracesAtBaselines) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 3 * kPageRecords, 0);
    const auto r = runCli({"render", (dir / "rec.dat").string(), (dir / "p0.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "page=0 samples_per_column=10 seconds_per_screen=13 forward=1 back=0\n");
    QImage img((dir / "p0.png").c_str());
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(1024, 700));
    // Client bottom 700: twelve rows would stand 53 px apart from 53, but row 0's 1 mV mark
    // (32 px) must clear the 30 px tool panel: row 0 at 63, row 11 where it was (636), the rows
    // between 573 / 11 → 52 px apart.
    for (int k = 1; k <= 12; ++k)
        EXPECT_TRUE(black(img, 500, 11 + 52 * k)) << k;
    EXPECT_FALSE(black(img, 500, 80));
}

// The lead list beside a card-file recording: its absent leads get a dash, not a flat trace; a
// list made for other bytes is not applied.
TEST(CliRender, TheLeadListBesideARecordingShowsItsAbsentLeads) {
    TempDir dir;
    writeRecording(dir / "rec.dat", kPageRecords, 0);
    std::ifstream in(dir / "rec.dat", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    velkard::cardfile::LeadSet present{};
    present.fill(true);
    present[0] = present[11] = false; // I (row 1) and V6 (row 12)
    const auto baselines = [&](const char* name) {
        const auto r = runCli({"render", (dir / "rec.dat").string(), (dir / name).string()});
        EXPECT_EQ(r.status, 0) << r.err;
        QImage img((dir / name).c_str());
        std::vector<bool> drawn;
        for (int k = 1; k <= 12; ++k)
            drawn.push_back(!img.isNull() && black(img, 500, 11 + 52 * k));
        return drawn;
    };
    const std::vector<bool> all(12, true);
    EXPECT_EQ(baselines("whole.png"), all);
    std::ofstream(dir / "rec.lds") << velkard::cardfile::encodeLeadsFile(present, bytes);
    auto lacking = all;
    lacking[0] = lacking[11] = false;
    EXPECT_EQ(baselines("lacking.png"), lacking);
    std::ofstream(dir / "rec.lds", std::ios::trunc) << velkard::cardfile::encodeLeadsFile(
        present, std::span(bytes.data(), bytes.size() - velkard::signal::kRecordBytes));
    EXPECT_EQ(baselines("foreign.png"), all);
}

TEST(CliRender, PageReachedByBackAndOptions) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 3 * kPageRecords, 681);
    auto r = runCli({"render", (dir / "rec.dat").string(), (dir / "p1.png").string(), "--page", "1",
                     "--back", "--group", "1", "--speed", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "page=1 samples_per_column=5 seconds_per_screen=7 forward=1 back=1\n");
    QImage img((dir / "p1.png").c_str());
    ASSERT_FALSE(img.isNull());
    // Lead II at 1 mV, 10 mm/mV: 32 px above the 350 baseline of a 700 px client area.
    EXPECT_TRUE(black(img, 600, 318));
    EXPECT_FALSE(black(img, 600, 350));

    r = runCli({"render", (dir / "rec.dat").string(), (dir / "p9.png").string(), "--page", "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
}

TEST(CliRender, UnreadableRecordingAndBadUsage) {
    TempDir dir;
    auto r = runCli({"render", (dir / "none.dat").string(), (dir / "x.png").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.dat"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));

    writeRecording(dir / "rec.dat", 100, 0);
    r = runCli({"render", (dir / "rec.dat").string(), (dir / "x.png").string(), "--group", "10"});
    EXPECT_EQ(r.status, 2);
    r = runCli(
        {"render", (dir / "rec.dat").string(), (dir / "x.png").string(), "--screen", "1024"});
    EXPECT_EQ(r.status, 2);
    r = runCli({"render", (dir / "rec.dat").string(), (dir / "no-such-dir" / "x.png").string()});
    EXPECT_EQ(r.status, 1);
}

TEST(CliRenderLive, FeedsBlocksThroughTheSweep) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 400 * 5, 0);
    auto r = runCli({"render-live", (dir / "rec.dat").string(), (dir / "live.png").string(),
                     "--blocks", "3", "--group", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "blocks=3 strip=40 sweep=120\n");
    QImage img((dir / "live.png").c_str());
    ASSERT_FALSE(img.isNull());
    // Sweep origin trunc(18 × 3.2 + 2) = 59; three strips of 40 drawn, the erase bar after them.
    int traced = 0;
    for (int y = 30; y < 700; ++y)
        traced += black(img, 59 + 100, y);
    EXPECT_EQ(traced, 1);
    for (int y = 0; y < 700; ++y)
        EXPECT_EQ(img.pixel(59 + 125, y) & 0xFFFFFF, 0xFFFFFFu) << y;

    r = runCli({"render-live", (dir / "rec.dat").string(), (dir / "all.png").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "blocks=5 strip=40 sweep=200\n");
}

// A PNG that does not fit is reported and leaves nothing under its name (render and render-live
// write through the same path); an earlier image under the name stays as it was.
TEST(CliRender, FullDiskFailsAndLeavesNoEmptyImage) {
    TempDir dir;
    writeRecording(dir / "rec.dat", kPageRecords, 681);
    auto r = runCli({"render", "rec.dat", "whole.png"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto wholeSize = std::filesystem::file_size(dir / "whole.png");
    const unsigned long limit = wholeSize / 2;

    for (const char* command : {"render", "render-live"}) {
        r = velkard::cli::test::runCliOnFullDisk({command, "rec.dat", "x.png"}, dir.path(), limit);
        EXPECT_EQ(r.status, 1) << command << ": " << r.out;
        EXPECT_NE(r.err.find("cannot write the image"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.png")) << command;
    }
    std::filesystem::copy_file(dir / "whole.png", dir / "old.png");
    r = velkard::cli::test::runCliOnFullDisk({"render", "rec.dat", "old.png"}, dir.path(), limit);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::filesystem::file_size(dir / "old.png"), wholeSize);
    EXPECT_FALSE(QImage(QString::fromStdString((dir / "old.png").string())).isNull());
}
