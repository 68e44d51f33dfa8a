// SPDX-License-Identifier: GPL-3.0-or-later
// The export library on its own: formats, names, lead derivation, card-file lookup, and what an
// export does with bad input (unreadable recording, read-only folder, full disk).
#include "cardfile/CardFile.h"
#include "export/CardFileExport.h"
#include "export/Export.h"
#include "export/Transliterate.h"
#include "export/tests/Readers.h"
#include "signal/FileIo.h"
#include "signal/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velkard::exporting {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "velkard-export-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    // Names in the folder, so a leftover temporary file shows.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path path_;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ExportFormats, NamesAndExtensions) {
    EXPECT_EQ(formatFromName("edf"), Format::Edf);
    EXPECT_EQ(formatFromName("dicom"), Format::Dicom);
    EXPECT_EQ(formatFromName("scp"), Format::Scp);
    EXPECT_EQ(formatFromName("aecg"), Format::Aecg);
    EXPECT_EQ(formatFromName("EDF"), std::nullopt);
    EXPECT_EQ(formatFromPath("a/b.edf"), Format::Edf);
    EXPECT_EQ(formatFromPath("b.DCM"), Format::Dicom);
    EXPECT_EQ(formatFromPath("Иванов.scp"), Format::Scp);
    EXPECT_EQ(formatFromPath("x.xml"), Format::Aecg);
    EXPECT_EQ(formatFromPath("x.dat"), std::nullopt);
    EXPECT_EQ(formatFromPath("edf"), std::nullopt);
    for (Format f : kFormats)
        EXPECT_EQ(formatFromPath("x" + std::string(formatExtension(f))), f);
}

TEST(ExportNames, TransliterationIcao) {
    EXPECT_EQ(transliterate("Иванов Иван Иванович"), "Ivanov Ivan Ivanovich");
    EXPECT_EQ(transliterate("Жукова Юлия Щукина"), "Zhukova Iuliia Shchukina");
    EXPECT_EQ(transliterate("ЖУК"), "ZHUK");
    EXPECT_EQ(transliterate("Жук"), "Zhuk");
    EXPECT_EQ(transliterate("Ёлкин Артём Ильич"), "Elkin Artem Ilich");
    EXPECT_EQ(transliterate("Хрущёв Цой Чехов Шишкин Объедков Эллы Ыы"),
              "Khrushchev Tsoi Chekhov Shishkin Obieedkov Elly Yy");
    EXPECT_EQ(transliterate("Євген Ґалі Їжак Іра Ўладзь"), "Ievgen Gali Izhak Ira Uladz");
    EXPECT_EQ(transliterate("Smith-Jones O'Neil 42"), "Smith-Jones O'Neil 42");
    EXPECT_EQ(transliterate("Ωmega\tx"), "?mega?x");
    EXPECT_EQ(transliterate(std::string("\xD0", 1)), "?"); // a cut UTF-8 sequence
}

TEST(ExportNames, PatientFields) {
    PersonName n = splitName("  Петрова   Мария Сергеевна ");
    EXPECT_EQ(n.family, "Петрова");
    EXPECT_EQ(n.given, "Мария");
    EXPECT_EQ(n.middle, "Сергеевна");
    n = splitName("Smith");
    EXPECT_EQ(n.family, "Smith");
    EXPECT_EQ(n.given, "");
    EXPECT_EQ(splitName("Гарсиа Хосе Мария Луис").middle, "Мария Луис");

    EXPECT_EQ(sexOf({"", "", "", "Муж"}), Sex::Male);
    EXPECT_EQ(sexOf({"", "", "", "men"}), Sex::Male);
    EXPECT_EQ(sexOf({"", "", "", "Жен"}), Sex::Female);
    EXPECT_EQ(sexOf({"", "", "", "wom"}), Sex::Female);
    EXPECT_EQ(sexOf({"", "", "", "?"}), Sex::Unknown);

    ASSERT_TRUE(parseDate("29.02.2024"));
    EXPECT_EQ(parseDate("29.02.2024")->day, 29);
    EXPECT_FALSE(parseDate("29.02.2023"));
    EXPECT_FALSE(parseDate("1.02.2024"));
    EXPECT_FALSE(parseDate("aa.bb.cccc"));
    EXPECT_TRUE(parseDateTime("02.06.2024", "18:47:09"));
    EXPECT_FALSE(parseDateTime("02.06.2024", "24:00:00"));
    EXPECT_FALSE(parseDateTime("02.06.2024", " 9:30:00"));
}

signal::RecordingBuffer bufferOf(const std::vector<signal::SampleRecord>& records) {
    std::vector<std::uint8_t> bytes(records.size() * signal::kRecordBytes);
    std::memcpy(bytes.data(), records.data(), bytes.size());
    signal::RecordingBuffer b;
    b.assign(std::move(bytes));
    return b;
}

TEST(ExportLeads, DerivedAsTheDisplayDerivesThem) {
    // c0 = III, c1 = II, chest channels against (c1 + c0) / 3; truncating division; 16-bit wrap.
    signal::SampleRecord r;
    r.c = {-7, 300, 10, 20, 30, 40, 50, 60};
    signal::SampleRecord wrap;
    wrap.c = {-32768, 32767, 0, 0, 0, 0, 0, 0};
    const EcgExport e = deriveExport(bufferOf({r, wrap}), signal::RecordingKind::Plain);
    ASSERT_EQ(e.samples(), 2u);
    EXPECT_FALSE(e.leadIIContinuesAlone());
    const std::vector<int> expected{307, 300, -7, -303, 157, 146, 87, 77, 67, 57, 47, 37};
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_EQ(e.leads[l][0], expected[l]) << "lead " << l;
    EXPECT_EQ(e.leads[signal::StandardLeadI][1], -1); // 65535 wrapped
    EXPECT_EQ(e.leads[signal::StandardLeadAVR][1], -16384 - 32767 + 65536);
}

TEST(ExportLeads, A2KeepsLeadIIAloneAfterItsFirstPart) {
    std::vector<signal::SampleRecord> records(signal::kA2DerivedRecords + 5);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].c = {3, static_cast<std::int16_t>(i % 1000), 1, 1, 1, 1, 1, 1};
    const EcgExport a2 = deriveExport(bufferOf(records), signal::RecordingKind::A2);
    EXPECT_EQ(a2.samples(), records.size());
    EXPECT_EQ(a2.twelveLeadSamples(), static_cast<std::size_t>(signal::kA2DerivedRecords));
    EXPECT_TRUE(a2.leadIIContinuesAlone());
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_EQ(a2.leads[l].size(),
                  l == signal::StandardLeadII ? records.size() : a2.twelveLeadSamples());
    EXPECT_EQ(a2.leads[signal::StandardLeadII].back(),
              static_cast<std::int16_t>((records.size() - 1) % 1000));
    // A plain recording of the same records is twelve leads throughout.
    EXPECT_FALSE(
        deriveExport(bufferOf(records), signal::RecordingKind::Plain).leadIIContinuesAlone());
    // A short A2 recording is twelve leads throughout.
    records.resize(100);
    EXPECT_FALSE(deriveExport(bufferOf(records), signal::RecordingKind::A2).leadIIContinuesAlone());
}

TEST(ExportLeads, StreamedLeadsWriteTheSameFilesAsDerivedOnes) {
    // A mapped recording of over 4 MB, so its pages are given back and read again on the way, as
    // a plain recording and as an A2 one (lead II alone after its first part).
    TempFolder dir;
    const signal::RecordingBuffer made = test::syntheticRecording(300000);
    ASSERT_TRUE(signal::writeFileAtomically(dir / "rec.dat", made.bytes.data(), made.bytes.size()));
    signal::RecordingBuffer buffer;
    ASSERT_TRUE(signal::loadRecording(dir / "rec.dat", buffer).ok());
    const auto maskUuids = [](std::string text) {
        // aECG ids are new random UUIDs every time.
        for (std::size_t at = 0; (at = text.find("root=\"", at)) != std::string::npos; at += 6)
            if (text.size() > at + 42 && text[at + 42] == '"')
                text.replace(at + 6, 36, 36, 'x');
        return text;
    };
    std::mt19937 rng(3);
    for (auto kind : {signal::RecordingKind::Plain, signal::RecordingKind::A2}) {
        EcgExport whole = deriveExport(buffer, kind);
        EcgExport streamed = streamExport(buffer, kind);
        ASSERT_EQ(streamed.samples(), whole.samples());
        ASSERT_EQ(streamed.twelveLeadSamples(), whole.twelveLeadSamples());
        for (int k = 0; k < 200; ++k) {
            const std::size_t lead = rng() % 12;
            const std::size_t size = whole.leadSamples(lead);
            const std::size_t first = rng() % size;
            const std::size_t count = std::min<std::size_t>(rng() % 3000, size - first);
            std::vector<std::int16_t> got(count);
            streamed.copyLead(lead, first, count, got.data());
            ASSERT_TRUE(std::equal(got.begin(), got.end(),
                                   whole.leads[lead].begin() + static_cast<std::ptrdiff_t>(first)))
                << lead << " " << first << " " << count;
        }
        for (EcgExport* e : {&whole, &streamed}) {
            e->patient = Patient{"Иванов Иван Иванович", "12345678", "01.02.1960", "Муж"};
            e->recordedAt = DateTime{2024, 5, 6, 7, 8, 9};
            e->identity = {"1.2.3", "1.2.3.4", "1.2.3.4.5", "A7", "P1", "ECG", "S1"};
        }
        for (Format f : {Format::Edf, Format::Dicom, Format::Aecg}) {
            const std::string name = std::string(formatName(f)) + formatExtension(f).data();
            ASSERT_TRUE(writeExport(whole, f, dir / ("whole-" + name)).ok()) << name;
            ASSERT_TRUE(writeExport(streamed, f, dir / ("streamed-" + name)).ok()) << name;
            std::string a = slurp(dir / ("whole-" + name)), b = slurp(dir / ("streamed-" + name));
            if (f == Format::Aecg) {
                a = maskUuids(a);
                b = maskUuids(b);
            }
            EXPECT_GT(a.size(), 2 * whole.samples()) << name; // every sample is in it
            EXPECT_TRUE(a == b) << name << (kind == signal::RecordingKind::A2 ? " A2" : "");
        }
    }
    // SCP-ECG holds 40 s.
    const signal::RecordingBuffer shorter = test::syntheticRecording(32000);
    EXPECT_TRUE(writeExport(deriveExport(shorter, signal::RecordingKind::Plain), Format::Scp,
                            dir / "whole.scp")
                    .ok());
    EXPECT_TRUE(writeExport(streamExport(shorter, signal::RecordingKind::Plain), Format::Scp,
                            dir / "streamed.scp")
                    .ok());
    EXPECT_TRUE(slurp(dir / "whole.scp") == slurp(dir / "streamed.scp"));
}

// ---- Bad input ----

TEST(ExportBadInput, UnreadableOrUnsuitableRecordingSaysSo) {
    TempFolder dir;
    auto s = exportRecordingFile(dir / "missing.dat", signal::RecordingKind::Plain, Format::Edf,
                                 dir / "out.edf");
    EXPECT_EQ(s.code, ErrorCode::CannotReadRecording);
    EXPECT_NE(s.message.find("missing.dat"), std::string::npos) << s.message;

    std::ofstream(dir / "empty.dat").put('x'); // less than one record
    s = exportRecordingFile(dir / "empty.dat", signal::RecordingKind::Plain, Format::Scp,
                            dir / "out.scp");
    EXPECT_EQ(s.code, ErrorCode::EmptyRecording);

    s = exportRecordingFile(dir / "empty.dat", signal::RecordingKind::Rhythmogram, Format::Scp,
                            dir / "out.scp");
    EXPECT_EQ(s.code, ErrorCode::NotAnEcg);

    // SCP-ECG counts a lead's bytes in 16 bits: 40.96 s at 800 Hz.
    const auto buffer = test::syntheticRecording(32768);
    s = writeExport(deriveExport(buffer, signal::RecordingKind::Plain), Format::Scp,
                    dir / "long.scp");
    EXPECT_EQ(s.code, ErrorCode::FormatCannotHold);
    EXPECT_TRUE(
        writeExport(deriveExport(test::syntheticRecording(32767), signal::RecordingKind::Plain),
                    Format::Scp, dir / "longest.scp")
            .ok());
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"empty.dat", "longest.scp"}));
}

TEST(ExportBadInput, UnwritableFolderSaysSoAndLeavesNothing) {
    TempFolder dir;
    const EcgExport ecg = deriveExport(test::syntheticRecording(800), signal::RecordingKind::Plain);
    std::ofstream(dir / "file").put('x');
    for (Format f : kFormats) {
        const std::string name = "out" + std::string(formatExtension(f));
        auto s = writeExport(ecg, f, dir / "no-such-folder" / name);
        EXPECT_EQ(s.code, ErrorCode::CannotWrite) << formatName(f);
        EXPECT_NE(s.message.find(name), std::string::npos) << s.message;
        EXPECT_EQ(writeExport(ecg, f, dir / "file" / name).code, ErrorCode::CannotWrite);
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"file"});
    // A read-only folder, as an ordinary user (root may write anyway).
    for (Format f : kFormats)
        EXPECT_TRUE(signal::test::asUnprivilegedUser([&] {
            signal::test::ScratchDir scratch;
            const fs::path ro = scratch.path() / "ro";
            fs::create_directory(ro);
            fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
            return writeExport(ecg, f, ro / "x.bin").code == ErrorCode::CannotWrite &&
                   fs::is_empty(ro);
        })) << formatName(f);
}

// Runs the export in a child whose file size limit stands for a full disk; returns its code.
int exportOnFullDisk(const EcgExport& ecg, Format format, const fs::path& target, rlim_t bytes) {
    pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        _exit(static_cast<int>(writeExport(ecg, format, target).code));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ExportBadInput, FullDiskSaysSoKeepsTheOldFileAndLeavesNoPart) {
    TempFolder dir;
    const EcgExport ecg =
        deriveExport(test::syntheticRecording(20 * 800), signal::RecordingKind::Plain);
    for (Format f : kFormats) {
        const fs::path target = dir / ("ecg" + std::string(formatExtension(f)));
        EXPECT_EQ(exportOnFullDisk(ecg, f, target, 64 * 1024),
                  static_cast<int>(ErrorCode::CannotWrite))
            << formatName(f);
        EXPECT_FALSE(fs::exists(target)) << formatName(f);

        // An earlier file under the name stays as it was.
        ASSERT_TRUE(signal::writeFileAtomically(target, std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(exportOnFullDisk(ecg, f, target, 64 * 1024),
                  static_cast<int>(ErrorCode::CannotWrite));
        EXPECT_EQ(slurp(target), "old");
        // With room enough the same export replaces it.
        EXPECT_EQ(exportOnFullDisk(ecg, f, target, 64 * 1024 * 1024), 0) << formatName(f);
        EXPECT_GT(fs::file_size(target), 20u * 800 * 12 * 2);
        fs::remove(target);
    }
    EXPECT_TRUE(dir.names().empty()) << dir.names().front();
}

// ---- The card file ----

class CardFileExport : public ::testing::Test {
protected:
    void SetUp() override {
        card_ = std::make_unique<cardfile::CardFile>(dir_.path());
        cardfile::NewPatientInput in{
            "Петрова Мария Сергеевна", "Жен", "03.09.1975", "", "", "", "77 01"};
        auto created = cardfile::createNewPatient(*card_, in, true);
        ASSERT_TRUE(created) << created.message;
        patient_ = created.value;
        const auto buffer = test::syntheticRecording(5 * 800);
        ASSERT_TRUE(
            signal::writeFileAtomically(card_->recordingPath(patient_.id, 1), buffer.bytes));
        ASSERT_TRUE(card_->appendArchiveEntry(patient_.id, 1, "02.06.2024", "18:47:09",
                                              cardfile::EntryDuration::ofSeconds(5), "  "));
        ASSERT_TRUE(card_->appendArchiveEntry(patient_.id, 2, "02.06.2024", "19:00:00",
                                              cardfile::EntryDuration::rhythm(true), "RT"));
    }

    TempFolder dir_;
    std::unique_ptr<cardfile::CardFile> card_;
    cardfile::PatientRecord patient_;
};

TEST_F(CardFileExport, CarriesPatientAndRecordingTime) {
    const fs::path out = dir_ / "p.xml";
    auto s = exportCardFileRecording(*card_, patient_.id, 1, Format::Aecg, out);
    ASSERT_TRUE(s) << s.message;
    const std::string xml = slurp(out);
    EXPECT_NE(xml.find("<family>Петрова</family><given>Мария</given><given>Сергеевна</given>"),
              std::string::npos);
    EXPECT_NE(xml.find("<id extension=\"" + patient_.id + "\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<birthTime value=\"19750903\"/>"), std::string::npos);
    EXPECT_NE(xml.find("<administrativeGenderCode code=\"F\""), std::string::npos);
    EXPECT_NE(xml.find("<low value=\"20240602184709.000\""), std::string::npos);
    EXPECT_NE(xml.find("<high value=\"20240602184714.000\""), std::string::npos);
}

TEST_F(CardFileExport, UnknownPatientRecordingOrRhythmogramSaysSo) {
    const fs::path out = dir_ / "p.edf";
    EXPECT_EQ(exportCardFileRecording(*card_, "deadbeef", 1, Format::Edf, out).code,
              ErrorCode::UnknownPatient);
    EXPECT_EQ(exportCardFileRecording(*card_, patient_.id, 3, Format::Edf, out).code,
              ErrorCode::UnknownRecording);
    EXPECT_EQ(exportCardFileRecording(*card_, patient_.id, 2, Format::Edf, out).code,
              ErrorCode::NotAnEcg);
    fs::remove(card_->recordingPath(patient_.id, 1));
    auto s = exportCardFileRecording(*card_, patient_.id, 1, Format::Edf, out);
    EXPECT_EQ(s.code, ErrorCode::CannotReadRecording);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(CardFileExport, DefaultFileNameFromPatientAndDate) {
    auto entries = card_->listArchiveEntries(patient_.id);
    ASSERT_TRUE(entries);
    EXPECT_EQ(defaultExportFileName(patient_, entries.value[0], Format::Edf),
              "Петрова_Мария_Сергеевна_2024-06-02_18-47-09.edf");
    cardfile::PatientRecord odd = patient_;
    odd.name = " a/b:c ";
    EXPECT_EQ(defaultExportFileName(odd, entries.value[0], Format::Dicom),
              "a_b_c_2024-06-02_18-47-09.dcm");
    odd.name = "..";
    cardfile::ArchiveEntry undated = entries.value[0];
    undated.date = "??";
    EXPECT_EQ(defaultExportFileName(odd, undated, Format::Scp), "ECG.scp");
}

} // namespace
} // namespace velkard::exporting
