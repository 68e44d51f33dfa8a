// SPDX-License-Identifier: GPL-3.0-or-later
// The session without any window: what is shown after each card-file choice and import, the
// title per state, and the recording workflow against real files in a temporary working folder
// with the simulated instrument.
#include "session/Session.h"

#include "links/SimLink.h"
#include "signal/Recording.h"
#include "sim/DeviceFiles.h"

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>

using namespace velkard;
using namespace velkard::session;

namespace {

const QString kLive = QString::fromUtf8("мониторинг");

const QDateTime kNow(QDate(2021, 6, 5), QTime(9, 5, 3));
const sim::RecordedAt kAt{24, 3, 15, 9, 5, 3};

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes of blocks as the recording file holds them: records of little-endian channels.
std::string fileBytes(const std::vector<signal::SampleBlock>& blocks) {
    std::string out;
    for (const auto& block : blocks)
        for (const auto& record : block)
            for (int ch = 0; ch < signal::kChannels; ++ch) {
                const auto v = static_cast<std::uint16_t>(record.c[std::size_t(ch)]);
                out.push_back(char(v & 0xFF));
                out.push_back(char(v >> 8));
            }
    return out;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        cardfile::CardFile cf(work());
        cardfile::PatientRecord r;
        r.name = "Ivanov Ivan";
        r.birthDate = "01.02.1960";
        r.policy = "1";
        r.id = cf.newPatientId();
        ASSERT_TRUE(cf.createPatientArchive(r.id));
        ASSERT_TRUE(cf.appendPatientRecord(r));
        id = r.id;
        session.setLink([] { return std::make_unique<links::SimLink>(1); }, "SIM");
    }
    std::filesystem::path work() const { return dir.path().toStdString(); }
    cardfile::CardFile cardFile() const { return cardfile::CardFile(work()); }

    CardSelection patient() const {
        CardSelection sel;
        sel.patientIndex = 0;
        sel.patientId = QString::fromStdString(id);
        sel.patientName = "Ivanov Ivan";
        sel.patientBirthDate = "01.02.1960";
        return sel;
    }
    // Card file -> Write on the patient, then monitoring.
    void write() {
        session.cardFileOpening();
        session.cardFileClosed(patient(), {CardRequest::Write});
        ASSERT_EQ(session.shown(), Shown::Live);
        ASSERT_TRUE(session.startMonitoring());
    }
    // Start, then hands blocks over until `blocks` were written; returns them.
    std::vector<signal::SampleBlock> record(std::size_t blocks) {
        std::vector<signal::SampleBlock> written;
        EXPECT_TRUE(session.startRecording().ok());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (written.size() < blocks && std::chrono::steady_clock::now() < deadline) {
            auto tick = session.acquisition()->handOverBlocks();
            written.insert(written.end(), tick.blocks.begin(), tick.blocks.end());
            EXPECT_TRUE(tick.events.empty());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_GE(written.size(), blocks);
        session.stopAcquisition();
        return written;
    }
    // A file in the working folder's "source" folder.
    std::filesystem::path source(const std::string& name, const std::vector<std::uint8_t>& b) {
        std::filesystem::create_directories(work() / "source");
        const auto path = work() / "source" / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return path;
    }

    QTemporaryDir dir;
    std::string id;
    Session session{work(), [] { return kNow; }};
};

} // namespace

TEST_F(SessionTest, RecordingFromTheSimulatedInstrumentIsFiledWithItsEntry) {
    int changes = 0;
    QObject::connect(&session, &Session::changed, [&changes] { ++changes; });
    write();
    EXPECT_GT(changes, 0);
    const auto blocks = record(3);
    // The duration is what was recorded: half a second a block, to the nearest second.
    const int seconds = int((blocks.size() + 1) / 2);
    EXPECT_EQ(session.seconds(), seconds);
    ASSERT_TRUE(session.recordingToSave());
    auto filed = session.saveRecording();
    ASSERT_TRUE(filed) << filed.message;
    EXPECT_EQ(filed.value, 1);
    session.endRecording();

    auto entries = cardFile().listArchiveEntries(id);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries.value.size(), 1u);
    EXPECT_EQ(entries.value[0].number, "  1");
    EXPECT_EQ(entries.value[0].date, "05.06.2021");
    EXPECT_EQ(entries.value[0].time, "09:05:03");
    EXPECT_EQ(std::stoi(entries.value[0].duration), seconds);
    EXPECT_EQ(entries.value[0].kind, "  ");
    // The file holds exactly the blocks handed over, in order.
    const auto path = cardFile().recordingPath(id, 1);
    EXPECT_EQ(readFile(path), fileBytes(blocks));
    EXPECT_EQ(session.selection().recordNumber, 1);
    EXPECT_EQ(session.selection().recordingPath.toStdString(), path.string());
    // Nothing is left beside the card file.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE"))
        files += e.path().extension() == ".dat";
    EXPECT_EQ(files, 1);
}

TEST_F(SessionTest, FailedSaveKeepsTheRecordingUnderAnUnfiledName) {
    write();
    const auto blocks = record(2);
    // The archive turns into a folder: appending to it fails.
    const auto archive = cardFile().archivePath(id);
    std::filesystem::remove(archive);
    std::filesystem::create_directory(archive);
    ASSERT_TRUE(session.recordingToSave());
    auto filed = session.saveRecording();
    ASSERT_FALSE(filed);
    EXPECT_FALSE(std::filesystem::exists(cardFile().recordingPath(id, 1)));
    // A file of the first name is there already: the next free one is taken.
    const QString trimmed = QString::fromStdString(id).trimmed();
    const auto taken =
        work() / "DATA_BASE" / (trimmed + "_unfiled_20210605-090503.dat").toStdString();
    std::ofstream(taken) << "other";
    const QString kept = session.keepUnfiledRecording();
    EXPECT_EQ(kept.toStdString(),
              (work() / "DATA_BASE" / (trimmed + "_unfiled_20210605-090503_2.dat").toStdString())
                  .string());
    EXPECT_EQ(readFile(kept.toStdString()), fileBytes(blocks));
    EXPECT_EQ(readFile(taken), "other");
    // Nothing is pending any more: Exit keeps nothing else.
    session.endRecording();
    EXPECT_TRUE(session.shutDown());
    EXPECT_EQ(readFile(kept.toStdString()), fileBytes(blocks));
}

TEST_F(SessionTest, StopWithoutStartOrAnsweredNoLeavesNothing) {
    write();
    session.stopAcquisition();
    EXPECT_FALSE(session.recordingToSave()); // Start was not pressed

    write();
    record(1);
    ASSERT_TRUE(session.recordingToSave());
    session.discardRecording();
    EXPECT_FALSE(session.recordingToSave());
    EXPECT_TRUE(cardFile().listArchiveEntries(id).value.empty());
    for (const auto& e : std::filesystem::directory_iterator(work() / "DATA_BASE"))
        EXPECT_NE(e.path().extension(), ".dat") << e.path();
}

TEST_F(SessionTest, ExitDuringARecordingKeepsItUnfiled) {
    write();
    const auto blocks = record(1);
    ASSERT_TRUE(session.shutDown());
    EXPECT_TRUE(cardFile().listArchiveEntries(id).value.empty());
    const QString trimmed = QString::fromStdString(id).trimmed();
    EXPECT_EQ(
        readFile(work() / "DATA_BASE" / (trimmed + "_unfiled_20210605-090503.dat").toStdString()),
        fileBytes(blocks));
}

TEST_F(SessionTest, CardFileChoicesDecideWhatIsShown) {
    CardSelection sel = patient();
    sel.entryDate = "05.06.2021";
    sel.entryTime = "09:05:03";
    session.cardFileClosed(sel, {CardRequest::OpenRecording, true});
    EXPECT_EQ(session.view(), (View{Shown::CardRecording, true}));

    // A rhythmogram stays chosen through a card file closed without a request ...
    session.cardFileOpening();
    EXPECT_EQ(session.shown(), Shown::Nothing);
    session.cardFileClosed(sel, {CardRequest::OpenRhythmogram});
    EXPECT_EQ(session.view(), (View{Shown::Rhythmogram, false}));
    session.cardFileOpening();
    EXPECT_EQ(session.shown(), Shown::Rhythmogram);
    session.cardFileClosed(sel, {CardRequest::None});
    EXPECT_EQ(session.shown(), Shown::Rhythmogram);
    // ... unless a deletion renumbered the recordings: then nothing is shown and its path is gone.
    sel.recordingPath = "somewhere";
    session.cardFileOpening();
    session.cardFileClosed(sel, {CardRequest::None, false, true});
    EXPECT_EQ(session.shown(), Shown::Nothing);
    EXPECT_TRUE(session.selection().recordingPath.isEmpty());
    // Opening an ECG ends the rhythmogram.
    session.cardFileClosed(sel, {CardRequest::OpenRhythmogram});
    session.cardFileClosed(sel, {CardRequest::OpenRecording});
    EXPECT_EQ(session.view(), (View{Shown::CardRecording, false}));
    // A review ends when the card file is shown again.
    session.cardFileOpening();
    session.cardFileClosed(sel, {CardRequest::None});
    EXPECT_EQ(session.shown(), Shown::Nothing);
}

TEST_F(SessionTest, OpeningCardRecordingsReadsTheirFilesOrSaysTheyCannotBeRead) {
    const std::vector<std::uint8_t> ecg(3 * 6400, 0x21);
    auto filed =
        cardFile().fileRecording(id, ecg, "05.06.2021", "09:05:03",
                                 cardfile::EntryDuration::ofSeconds(1), cardfile::kKindPlain);
    ASSERT_TRUE(filed) << filed.message;
    CardSelection sel = patient();
    sel.recordingPath = QString::fromStdString(cardFile().recordingPath(id, 1).string());
    session.cardFileClosed(sel, {CardRequest::OpenRecording});
    ASSERT_TRUE(session.openCardRecording());
    EXPECT_EQ(session.buffer().bytes, ecg);

    // A missing file: the message the window shows, the buffer as it was.
    sel.recordingPath = QString::fromStdString((work() / "gone.dat").string());
    session.cardFileClosed(sel, {CardRequest::OpenRecording});
    const Status opened = session.openCardRecording();
    EXPECT_FALSE(opened);
    EXPECT_EQ(opened.message, signal::kRecordingOpenError);
    EXPECT_EQ(session.buffer().bytes, ecg);
    // A rhythmogram that cannot be read is not shown.
    session.cardFileClosed(sel, {CardRequest::OpenRhythmogram});
    auto bars = session.readCardRhythmogram();
    EXPECT_FALSE(bars);
    EXPECT_EQ(bars.message, signal::kRecordingOpenError);
    EXPECT_EQ(session.shown(), Shown::Nothing);
}

TEST_F(SessionTest, ImportShowsTheFileByItsKindAndAFailureChangesNothing) {
    const auto device = sim::makeA2(10, 3, kAt);
    const auto a2 = source("A2_0002.DAT", device);
    session.importChosen();
    EXPECT_EQ(session.shown(), Shown::Imported);
    auto imported = session.importFile(a2);
    ASSERT_TRUE(imported) << imported.message;
    EXPECT_EQ(session.view(), (View{Shown::Imported, true}));
    EXPECT_EQ(session.buffer().bytes,
              signal::convertDeviceBytes(device, signal::RecordingKind::A2));
    EXPECT_EQ(session.importedFileName(), "A2_0002.DAT");
    EXPECT_EQ(session.importedSeconds(), imported.value.durationSeconds);

    const auto shown = session.buffer().bytes;
    const auto broken = source("BAD.ecx", std::vector<std::uint8_t>(20, 0x7f));
    EXPECT_FALSE(session.importFile(broken));
    EXPECT_EQ(session.view(), (View{Shown::Imported, true}));
    EXPECT_EQ(session.buffer().bytes, shown);
    EXPECT_EQ(session.importedFileName(), "A2_0002.DAT");

    auto rhythm = session.importFile(source("VSR_0003.DAT", sim::makeRhythmogram(50, 4, kAt)));
    ASSERT_TRUE(rhythm) << rhythm.message;
    EXPECT_EQ(session.view(), (View{Shown::Rhythmogram, false}));
}

// A WFDB record of two signals (MLII, V1) at 360 Hz: shown at 800 Hz with only its two leads,
// named in the title; a device file imported next shows all twelve again, and so does a card
// file opened after it.
TEST_F(SessionTest, ImportOfAnotherSystemsFileShowsOnlyTheLeadsItCarries) {
    const std::filesystem::path hea = std::filesystem::path(VELKARD_ECG_TESTDATA) / "mitdb/113.hea";
    auto imported = session.importFile(hea);
    ASSERT_TRUE(imported) << imported.message;
    EXPECT_EQ(session.view(), (View{Shown::Imported, false}));
    EXPECT_EQ(session.buffer().records(), (650000u * 800 + 359) / 360);
    EXPECT_EQ(session.importedSeconds(), 1806);
    EXPECT_EQ(session.title(kLive), QString::fromUtf8("Velkard — 113.hea"));
    const auto leads = session.leadsShown();
    for (int l = 0; l < 12; ++l)
        EXPECT_EQ(leads[static_cast<std::size_t>(l)], l == 1 || l == 6) << l;
    ASSERT_TRUE(session.importedForeign().has_value());
    EXPECT_NE(session.importedForeign()->file.origin.find("WFDB record 113"), std::string::npos);
    EXPECT_TRUE(session.importedForeign()->file.leads[1].empty()); // samples are not kept twice

    // A file no reader takes changes nothing.
    std::vector<std::uint8_t> header(300, '9');
    std::fill(header.begin() + 1, header.begin() + 8, ' ');
    header[0] = '0'; // an EDF version field, then a header that holds no count
    const auto bad = source("bad.edf", header);
    EXPECT_FALSE(session.importFile(bad));
    EXPECT_EQ(session.title(kLive), QString::fromUtf8("Velkard — 113.hea"));

    ASSERT_TRUE(session.importFile(source("ECG00042.DAT", sim::makeDeviceEcg(5, 1, kAt))));
    EXPECT_FALSE(session.importedForeign().has_value());
    for (bool shown : session.leadsShown())
        EXPECT_TRUE(shown);
    ASSERT_TRUE(session.importFile(hea));
    session.cardFileOpening();
    for (bool shown : session.leadsShown())
        EXPECT_TRUE(shown);
}

TEST_F(SessionTest, TitleNamesWhoseEcgIsShown) {
    EXPECT_EQ(session.title(kLive), "Velkard");
    CardSelection sel = patient();
    sel.entryDate = "05.06.2021";
    sel.entryTime = "09:05:03";
    session.cardFileClosed(sel, {CardRequest::OpenRecording});
    const QString card =
        QString::fromUtf8("Velkard — Ivanov Ivan, 01.02.1960 — 05.06.2021 09:05:03");
    EXPECT_EQ(session.title(kLive), card);
    session.cardFileClosed(sel, {CardRequest::OpenRhythmogram});
    EXPECT_EQ(session.title("live"), card); // a rhythmogram of the card file names its patient

    ASSERT_TRUE(session.importFile(source("ECG00042.DAT", sim::makeDeviceEcg(5, 1, kAt))));
    EXPECT_EQ(session.title(kLive), QString::fromUtf8("Velkard — ECG00042.DAT"));
    ASSERT_TRUE(session.importFile(source("VSR_0001.DAT", sim::makeRhythmogram(30, 2, kAt))));
    EXPECT_EQ(session.title(kLive), "Velkard"); // an imported rhythmogram names nobody

    session.cardFileOpening();
    session.cardFileClosed(patient(), {CardRequest::Write});
    EXPECT_EQ(session.title(kLive), QString::fromUtf8("Velkard — мониторинг — Ivanov Ivan"));
    EXPECT_EQ(session.title("live"), QString::fromUtf8("Velkard — live — Ivanov Ivan"));
    session.showNothing();
    EXPECT_EQ(session.title("live"), "Velkard");
}
