// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli print: the program's print job into an A4 PDF.
#include "cli/tests/RunCli.h"
#include "signal/SampleRecord.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using velkard::cli::test::runCli;
using velkard::cli::test::TempDir;

namespace {

// Seconds of flat records with a 1 mV pulse in lead II at each whole second.
void writeRecording(const std::filesystem::path& path, int seconds) {
    std::vector<std::uint8_t> bytes(std::size_t(seconds) * 800 * 16, 0);
    for (int i = 0; i < seconds * 800; ++i)
        if (i % 800 < 40)
            velkard::signal::writeLe16(bytes.data() + std::size_t(i) * 16 + 2, 681);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string toolOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

} // namespace

TEST(PrintCli, WritesAnA4PdfWithTheHeaderAndLabels) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 10);
    const auto r = runCli({"print", "rec.dat", "out.pdf", "--name", "Сидоров Иван", "--date",
                           "01.02.2026", "--time", "10:11:12", "--dpi", "150", "--no-grid"},
                          dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pages=2\n");
    const std::string pdf = (dir / "out.pdf").string();
    const std::string info = toolOutput("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find("Pages:           2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    const std::string text = toolOutput("pdftotext -l 1 '" + pdf + "' -");
    EXPECT_NE(text.find("Сидоров Иван"), std::string::npos) << text;
    EXPECT_NE(text.find("25 mm/s"), std::string::npos);
    EXPECT_NE(text.find("10 mm/mV"), std::string::npos);
    EXPECT_NE(text.find("01.02.2026"), std::string::npos);
    EXPECT_NE(text.find("10:11:12"), std::string::npos);
    EXPECT_NE(text.find("7s"), std::string::npos);
    EXPECT_NE(text.find("aVF"), std::string::npos); // all twelve leads by default
}

TEST(PrintCli, RangeAndSpeedChangeThePageCount) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 20);
    auto r = runCli({"print", "rec.dat", "a.pdf", "--dpi", "100", "--speed", "3"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pages=6\n"); // 3.6 s per page at 50 mm/s
    r = runCli({"print", "rec.dat", "b.pdf", "--dpi", "100", "--range", "0-0"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pages=1\n");
    const std::string text = toolOutput("pdftotext '" + (dir / "b.pdf").string() + "' -");
    EXPECT_NE(text.find("1s"), std::string::npos);
    EXPECT_EQ(text.find("2s"), std::string::npos);
}

TEST(PrintCli, RefusesBadInputAndWritesNothing) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 5);
    auto r = runCli({"print", "rec.dat", "out.pdf", "--range", "3-9"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
    r = runCli({"print", "rec.dat", "out.pdf", "--range", "4-2"}, dir.path());
    EXPECT_EQ(r.status, 1);
    r = runCli({"print", "rec.dat", "out.pdf", "--range", "x"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"print", "rec.dat", "out.pdf", "--group", "10"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"print", "rec.dat", "out.pdf", "--date", "2026-01-02"}, dir.path());
    EXPECT_EQ(r.status, 2);
    r = runCli({"print", "missing.dat", "out.pdf"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    r = runCli({"print", "rec.dat", "no/such/folder/out.pdf"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pdf"));
}
