// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli print: the program's print job into an A4 PDF.
#include "cardfile/Records.h"
#include "cli/tests/RunCli.h"
#include "signal/SampleRecord.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

using velkard::cli::test::runCli;
using velkard::cli::test::runCliOnFullDisk;
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
    // An empty range: the page with its furniture and the range's one second label.
    const std::string text = toolOutput("pdftotext '" + (dir / "b.pdf").string() + "' -");
    EXPECT_NE(text.find("0s"), std::string::npos);
    EXPECT_EQ(text.find("1s"), std::string::npos);
}

TEST(PrintCli, ReportIsLandscapeFromTheAskedSecondWithItsLeadTable) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 30);
    auto r = runCli({"print", "rec.dat", "r.pdf", "--report", "--from", "12", "--dpi", "150",
                     "--name", "Petrov", "--birth", "01.02.1960", "--mains", "60", "--highpass",
                     "0.5", "--lowpass", "35"},
                    dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pages=2 from=12\n"); // the traces, then the table of the leads
    const std::string pdf = (dir / "r.pdf").string();
    EXPECT_NE(toolOutput("pdfinfo '" + pdf + "'").find("842 x 595"), std::string::npos);
    const std::string text = toolOutput("pdftotext '" + pdf + "' -");
    for (const char* s : {"12-lead ECG", "Petrov", "01.02.1960", "Window: 12–22 s",
                          "Filters: 0.5–35 Hz ~60 Hz", "V6", "measurements by lead"})
        EXPECT_NE(text.find(s), std::string::npos) << s;
    // Past the end: the last ten seconds.
    r = runCli({"print", "rec.dat", "s.pdf", "--report", "--from", "25", "--dpi", "100"},
               dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pages=2 from=20\n");
    r = runCli({"print", "rec.dat", "t.pdf", "--report", "--lowpass", "20"}, dir.path());
    EXPECT_EQ(r.status, 2);
    // In Russian: the header, the table's heading and its decimal commas.
    r = runCli({"print", "rec.dat", "u.pdf", "--report", "--lang", "ru", "--dpi", "100"},
               dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string ru = toolOutput("pdftotext '" + (dir / "u.pdf").string() + "' -");
    for (const char* s : {"ЭКГ в 12 отведениях", "Отрезок: 0–10 с", "Отведение", "R, мВ"})
        EXPECT_NE(ru.find(s), std::string::npos) << s;
    r = runCli({"print", "rec.dat", "v.pdf", "--report", "--lang", "de"}, dir.path());
    EXPECT_EQ(r.status, 2);
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

// A card-file recording filed from a file lacking leads: the lead list beside it makes the
// report print those leads as a label and a dash. A list written for other bytes is ignored.
TEST(PrintCli, TheLeadListBesideARecordingPrintsItsAbsentLeadsAsDashes) {
    TempDir dir;
    writeRecording(dir / "rec.dat", 12);
    std::ifstream in(dir / "rec.dat", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    velkard::cardfile::LeadSet present{};
    present.fill(true);
    present[0] = present[4] = false; // I, aVL
    const auto dashes = [&](const char* name) {
        const auto r = runCli({"print", "rec.dat", name, "--report"}, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string text = toolOutput("pdftotext '" + (dir / name).string() + "' -");
        EXPECT_FALSE(text.empty());
        std::size_t n = 0;
        for (std::size_t at = text.find("\u2014"); at != std::string::npos;
             at = text.find("\u2014", at + 1))
            ++n;
        return n;
    };
    const std::size_t whole = dashes("whole.pdf");
    std::ofstream(dir / "rec.lds") << velkard::cardfile::encodeLeadsFile(present, bytes);
    const std::size_t lacking = dashes("lacking.pdf");
    EXPECT_GE(lacking, whole + 2);
    // The same list made for a recording one record shorter belongs to another recording.
    std::ofstream(dir / "rec.lds", std::ios::trunc) << velkard::cardfile::encodeLeadsFile(
        present, std::span(bytes.data(), bytes.size() - velkard::signal::kRecordBytes));
    EXPECT_EQ(dashes("foreign.pdf"), whole);
}

// A PDF that does not fit is reported, and nothing is left under its name: neither a cut-off PDF
// nor a temporary file; an earlier PDF under the name stays as it was.
TEST(PrintCli, FullDiskFailsAndLeavesNoCutOffPdf) {
    TempDir dir;
    // Long enough that its pages do not fit under the limit below.
    writeRecording(dir / "rec.dat", 240);
    const auto whole = runCli({"print", "rec.dat", "whole.pdf", "--dpi", "300"}, dir.path());
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto wholeSize = std::filesystem::file_size(dir / "whole.pdf");
    ASSERT_GT(wholeSize, 32u * 1024);

    for (const char* mode : {"pages", "report"}) {
        std::vector<std::string> args{"print", "rec.dat", "out.pdf", "--dpi", "300"};
        if (std::string(mode) == "report")
            args.push_back("--report");
        auto r = runCliOnFullDisk(args, dir.path(), 32 * 1024);
        if (std::string(mode) == "report" && r.status == 0) {
            // The one-page report may fit under the limit; then it must be whole.
            EXPECT_NE(toolOutput("pdfinfo '" + (dir / "out.pdf").string() + "'").find("Pages:"),
                      std::string::npos);
            std::filesystem::remove(dir / "out.pdf");
            continue;
        }
        EXPECT_EQ(r.status, 1) << mode << ": " << r.out;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.pdf")) << mode;
    }

    std::filesystem::copy_file(dir / "whole.pdf", dir / "old.pdf");
    const auto r = runCliOnFullDisk(
        {"print", "rec.dat", "old.pdf", "--dpi", "300", "--range", "0-200"}, dir.path(), 32 * 1024);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::filesystem::file_size(dir / "old.pdf"), wholeSize);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 3u); // rec.dat, whole.pdf, old.pdf: no temporary file left
}
