// SPDX-License-Identifier: GPL-3.0-or-later
// Earlier ECGs from the archive as a user reaches them, against a real Orthanc on loopback started
// here and stopped at the end: recordings of known patients are sent to it by the outbox, then the
// card-file window's "Ранее снятые ЭКГ" lists the patient's studies (by the hospital ID kept beside
// the card, else by name and birth date), Open fetches one by C-GET and the import view shows it
// with the very samples that were recorded. The archive down, refusing the association, or
// holding nothing for the patient: each says so. And the whole path of an order: Orthanc's
// worklist plugin gives it, Take, a recording on the simulated instrument, Stop and Save; it
// arrives in Orthanc (read back through its REST API) and comes back as recorded. Skipped when
// Orthanc is missing (the last one also without its worklist plugin or DCMTK's dump2dcm).
#include "AppTestSupport.h"
#include "LoopbackPorts.h"

#include "filing/Store.h"
#include "net/Orders.h"
#include "net/Outbox.h"
#include "net/Send.h"
#include "net/Settings.h"
#include "net/ui/EarlierWindow.h"
#include "net/ui/NetworkPage.h"
#include "net/ui/SendActions.h"
#include "net/ui/WorklistWindow.h"
#include "sim/DeviceFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTreeWidget>
#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

constexpr const char* kOrthanc = "/usr/sbin/Orthanc";
constexpr const char* kWorklistPlugin = "/usr/share/orthanc/plugins/libModalityWorklists.so";
constexpr const char* kOrderStudy = "1.2.826.0.1.3680043.2.1125.92.1";

// The body of an HTTP GET to Orthanc's REST API on loopback (HTTP/1.0: the answer ends with the
// connection); empty when it cannot be asked.
std::string restGet(int port, const std::string& path) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::write(s, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            for (ssize_t n; (n = ::read(s, buffer, sizeof buffer)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(s);
    const auto body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

QJsonDocument restJson(int port, const std::string& path) {
    const std::string body = restGet(port, path);
    return QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())));
}

// One row of the earlier-ECG window: date, time, description, accession, ECG instances.
QStringList rowText(QTreeWidgetItem* row) {
    QStringList out;
    for (int c = 0; row && c < 5; ++c)
        out << row->text(c);
    return out;
}

class ArchiveTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!QFile::exists(kOrthanc))
            GTEST_SKIP() << "Orthanc is missing (Debian package orthanc)";
        writeSettingsLines(work(), {QString::fromUtf8("10 мм/мВ"), "I..V6",
                                    QString::fromUtf8("25 мм/с"), "SIM", "1", "9", "2", "0"});
        dicomPort = freePort();
        httpPort = freePort();
        storeScpPort = freePort();
        const auto db = work() / "orthanc-db";
        // Only the workstation's AE title from loopback is let in.
        QJsonObject cfg{
            {"Name", "velkard-test"},
            {"StorageDirectory", QString::fromStdString(db.string())},
            {"IndexDirectory", QString::fromStdString(db.string())},
            {"DicomAet", "ORTHANC"},
            {"DicomPort", dicomPort},
            {"HttpPort", httpPort},
            {"RemoteAccessAllowed", false},
            {"AuthenticationEnabled", false},
            {"DicomCheckCalledAet", true},
            {"DicomModalities",
             QJsonObject{{"velkard", QJsonArray{"VELKARD", "127.0.0.1", storeScpPort}}}},
            {"DicomAlwaysAllowEcho", false},
            {"DicomAlwaysAllowStore", false},
            {"DicomCheckModalityHost", true},
            {"ConcurrentJobs", 1},
            {"SaveJobs", false},
            {"DefaultEncoding", "Utf8"},
        };
        // Its worklist plugin answers from a folder of worklist files, when installed.
        std::filesystem::create_directories(work() / "WLM");
        if (QFile::exists(kWorklistPlugin)) {
            cfg["Plugins"] = QJsonArray{kWorklistPlugin};
            cfg["Worklists"] = QJsonObject{
                {"Enable", true}, {"Database", QString::fromStdString((work() / "WLM").string())}};
        }
        config = work() / "orthanc.json";
        writeFile(config, QJsonDocument(cfg).toJson().toStdString());
        startOrthanc();

        net::NetworkSettings s;
        s.pacs = {"127.0.0.1", dicomPort, "ORTHANC", false};
        s.timeoutSeconds = 10;
        ASSERT_TRUE(net::saveSettings(work(), s));
    }

    void TearDown() override { stopOrthanc(); }

    void startOrthanc() {
        orthanc.setProcessChannelMode(QProcess::MergedChannels);
        orthanc.start(kOrthanc, {QString::fromStdString(config.string())});
        ASSERT_TRUE(orthanc.waitForStarted(10000));
        ASSERT_TRUE(waitFor([&] { return listening(dicomPort); }, 30000))
            << orthanc.readAll().toStdString();
    }

    void stopOrthanc() {
        if (orthanc.state() == QProcess::NotRunning)
            return;
        orthanc.terminate();
        if (!orthanc.waitForFinished(20000)) {
            orthanc.kill();
            orthanc.waitForFinished();
        }
    }

    // A card; hospitalId, when given, is kept beside it.
    std::string addPatientWithRecording(const std::string& name, const std::string& birthDate,
                                        const std::string& hospitalId) {
        cardfile::CardFile cf(work());
        cardfile::PatientRecord r;
        r.name = name;
        r.birthDate = birthDate;
        r.sex = "Муж";
        r.policy = "1";
        r.id = cf.newPatientId();
        EXPECT_TRUE(cf.createPatientArchive(r.id));
        EXPECT_TRUE(cf.appendPatientRecord(r));
        if (!hospitalId.empty()) {
            EXPECT_TRUE(net::setHospitalId(cf, r.id, hospitalId));
        }
        return r.id;
    }

    // Files a recording for the card, made on day `day` of March 2024 with `seed`.
    int record(const std::string& id, int day, std::uint32_t seed, double seconds = 4) {
        const auto file = work() / ("ECG" + std::to_string(seed) + ".DAT");
        const auto bytes =
            sim::makeDeviceEcg(seconds, seed, sim::RecordedAt{24, 3, day, 10, 20, 30});
        writeFile(file, std::string(bytes.begin(), bytes.end()));
        auto filed = filing::storeDeviceFile(cardfile::CardFile(work()), id, file, true);
        EXPECT_TRUE(filed) << filed.message;
        return filed.value;
    }

    // Sends the recording to Orthanc through the outbox, as Send does: the waveform and a report
    // PDF (a small one: only the archive's counting and sorting out is checked with it).
    void send(const std::string& id, int number) {
        auto settings = net::loadSettings(work());
        ASSERT_TRUE(settings);
        const net::Outbox outbox(work());
        const std::string text = "%PDF-1.4\n%%EOF\n";
        const std::vector<std::uint8_t> pdf(text.begin(), text.end());
        auto queued = net::queueRecording(outbox, cardfile::CardFile(work()), settings.value, id,
                                          number, pdf, true);
        ASSERT_TRUE(queued) << queued.message;
        auto sent = outbox.process(net::networkTransport(settings.value), std::time(nullptr), true);
        ASSERT_TRUE(sent) << sent.message;
        for (const auto& e : outbox.list().value)
            ASSERT_EQ(e.state, net::EntryState::Sent) << e.reason;
    }

    std::vector<std::uint8_t> recordingOf(const std::string& id, int number) {
        const std::string bytes = readFile(cardfile::CardFile(work()).recordingPath(id, number));
        return {bytes.begin(), bytes.end()};
    }

    // Opens the card file on the patient of row `patientRow` and presses Earlier; `script` runs
    // on the earlier-ECG window, which the card file closes with when an ECG was fetched.
    void earlierFromCardFile(MainWindow& w, int patientRow,
                             std::function<void(net::ui::EarlierWindow&)> script) {
        dialogs.script.push_back([this, patientRow, script](QDialog& d) {
            auto& window = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
            EXPECT_FALSE(window.Earlier->isHidden());
            window.patientList->setCurrentItem(window.patientList->topLevelItem(patientRow));
            dialogs.script.push_back([script](QDialog& e) {
                script(dynamic_cast<net::ui::EarlierWindow&>(e));
                return -1;
            });
            window.Earlier->click();
            // Closed already when an ECG was fetched; OK closes it the same way otherwise.
            window.OK->click();
            return -1;
        });
        w.cardFileAction->trigger();
    }

    int dicomPort = 0, httpPort = 0, storeScpPort = 0;
    std::filesystem::path config;
    QProcess orthanc;
};

} // namespace

TEST_F(ArchiveTest, EarlierEcgsListedFetchedAndOpenedWithTheSamplesRecorded) {
    // Two ECGs of a patient with a hospital ID, one of another patient with the same name and
    // birth date but another ID, one of a patient known by name and birth date only.
    const std::string known =
        addPatientWithRecording("Сидоров Иван Петрович", "02.03.1950", "H-0777");
    const std::string other =
        addPatientWithRecording("Сидоров Иван Петрович", "02.03.1950", "H-0778");
    const std::string byName =
        addPatientWithRecording("Кузнецова Анна Сергеевна", "15.07.1962", "");
    ASSERT_EQ(record(known, 4, 11), 1);
    ASSERT_EQ(record(known, 9, 12), 2);
    ASSERT_EQ(record(other, 5, 13), 1);
    ASSERT_EQ(record(byName, 6, 14), 1);
    send(known, 1);
    send(known, 2);
    send(other, 1);
    send(byName, 1);

    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    // The card file lists the patients in index order: known, other, byName.
    QStringList status;
    std::vector<QStringList> rows;
    earlierFromCardFile(*w, 0, [&](net::ui::EarlierWindow& window) {
        for (int i = 0; i < window.studyList->topLevelItemCount(); ++i)
            rows.push_back(rowText(window.studyList->topLevelItem(i)));
        status << window.statusLabel->text();
        // The ECG of 9 March.
        for (int i = 0; i < window.studyList->topLevelItemCount(); ++i)
            if (window.studyList->topLevelItem(i)->text(0) == "09.03.2024")
                window.studyList->setCurrentItem(window.studyList->topLevelItem(i));
        window.openButton->click();
    });
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(rows.size(), 2u) << status.join(' ').toStdString();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows[0][0], "04.03.2024");
    EXPECT_EQ(rows[0][1], "10:20:30");
    EXPECT_EQ(rows[1][0], "09.03.2024");
    for (const auto& r : rows)
        EXPECT_EQ(r[4], "1") << r.join('|').toStdString(); // one waveform, the PDF not counted
    EXPECT_EQ(status.value(0), QString::fromUtf8("Исследований с ЭКГ: 2"));
    // One ECG in the study: opened at once, no chooser.
    EXPECT_EQ(std::count(dialogs.shownNames.begin(), dialogs.shownNames.end(),
                         QString("EcgChoiceDialog")),
              0);
    // Shown in the import view: the samples of the recording of 9 March, not of another.
    EXPECT_FALSE(w->session().importedFileName().isEmpty());
    EXPECT_EQ(w->recordingBuffer().bytes, recordingOf(known, 2));
    EXPECT_NE(w->recordingBuffer().bytes, recordingOf(known, 1));
    // Kept in the cache under the study's UID, the files numbered: the waveform and the PDF.
    const auto cacheOf = [&] {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(work() / net::kArchiveCacheFolder))
            for (const auto& f : std::filesystem::directory_iterator(e.path()))
                out.push_back(e.path().filename().string() + "/" + f.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    };
    const auto cached = cacheOf();
    ASSERT_EQ(cached.size(), 2u);
    const std::string study = cached[0].substr(0, cached[0].find('/'));
    EXPECT_TRUE(net::validUid(study)) << study;
    EXPECT_EQ(cached, (std::vector<std::string>{study + "/0001.dcm", study + "/0002.dcm"}));
    // The one opened is the waveform of the two, in whichever order the archive sent them.
    const std::string name = w->session().importedFileName().toStdString();
    EXPECT_TRUE(name == "0001.dcm" || name == "0002.dcm") << name;

    // Known by name and birth date only: chosen in the card file, found so from the Patient menu.
    rows.clear();
    dialogs.script.push_back(pickInCardFile(2, -1, "OK"));
    w->cardFileAction->trigger();
    dialogs.script.push_back([&](QDialog& d) {
        auto& window = dynamic_cast<net::ui::EarlierWindow&>(d);
        for (int i = 0; i < window.studyList->topLevelItemCount(); ++i)
            rows.push_back(rowText(window.studyList->topLevelItem(i)));
        window.openButton->click();
        return -1;
    });
    w->earlierAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "06.03.2024");
    EXPECT_EQ(w->recordingBuffer().bytes, recordingOf(byName, 1));
    // Two studies in the cache now, nothing half-fetched left.
    EXPECT_EQ(cacheOf().size(), 4u);
    for (const auto& f : cacheOf())
        EXPECT_NE(f.front(), '.') << f;
}

TEST_F(ArchiveTest, OfAStudyWithTwoEcgsTheOneChosenOpens) {
    const std::string id = addPatientWithRecording("Волков Андрей", "11.11.1955", "H-0555");
    ASSERT_EQ(record(id, 4, 21, 4), 1);
    ASSERT_EQ(record(id, 9, 22, 6), 2);
    // Both filed for one order, so both go into its study.
    net::Order order;
    order.accessionNumber = "ACC-TWO";
    order.studyInstanceUid = "1.2.826.0.1.3680043.2.1125.92.7";
    const cardfile::CardFile cardFile(work());
    ASSERT_TRUE(net::setPendingOrder(cardFile, id, order, 0));
    send(id, 1);
    ASSERT_TRUE(net::setPendingOrder(cardFile, id, order, 0));
    send(id, 2);

    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    std::vector<QStringList> studies, ecgs;
    bool keptOpenAfterCancel = false;
    earlierFromCardFile(*w, 0, [&](net::ui::EarlierWindow& window) {
        for (int i = 0; i < window.studyList->topLevelItemCount(); ++i)
            studies.push_back(rowText(window.studyList->topLevelItem(i)));
        // Cancel in the chooser: nothing opened, the study list stays.
        dialogs.script.push_back([](QDialog& d) {
            dynamic_cast<net::ui::EcgChoiceDialog&>(d).cancelButton->click();
            return -1;
        });
        window.openButton->click();
        keptOpenAfterCancel = window.opened().empty() && window.result() != QDialog::Accepted;
        // Then the ECG of 9 March, the second of the study.
        dialogs.script.push_back([&](QDialog& d) {
            auto& chooser = dynamic_cast<net::ui::EcgChoiceDialog&>(d);
            for (int i = 0; i < chooser.ecgList->topLevelItemCount(); ++i) {
                QStringList row;
                for (int c = 0; c < 5; ++c)
                    row << chooser.ecgList->topLevelItem(i)->text(c);
                ecgs.push_back(row);
                if (row[0] == "09.03.2024")
                    chooser.ecgList->setCurrentItem(chooser.ecgList->topLevelItem(i));
            }
            chooser.openButton->click();
            return -1;
        });
        window.openButton->click();
    });
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0][3], "ACC-TWO");
    EXPECT_EQ(studies[0][4], "2"); // two waveforms, the PDFs not counted
    EXPECT_TRUE(keptOpenAfterCancel);
    // Listed from the files, oldest first: date, time, series, leads, duration.
    ASSERT_EQ(ecgs.size(), 2u);
    EXPECT_EQ(ecgs[0], (QStringList{"04.03.2024", "10:20:30", "1", "12", "4,0"}));
    EXPECT_EQ(ecgs[1], (QStringList{"09.03.2024", "10:20:30", "1", "12", "6,0"}));
    // Exactly the samples of the second recording in the import view.
    EXPECT_FALSE(w->session().importedFileName().isEmpty());
    EXPECT_EQ(w->recordingBuffer().bytes, recordingOf(id, 2));
    EXPECT_NE(w->recordingBuffer().bytes, recordingOf(id, 1));
    EXPECT_EQ(std::count(dialogs.shownNames.begin(), dialogs.shownNames.end(),
                         QString("EcgChoiceDialog")),
              2);
}

TEST_F(ArchiveTest, StorageCommitmentReportTakenByTheProgramsStoreScpOnlyWhileSwitchedOn) {
    const std::string id = addPatientWithRecording("Орлов Олег Олегович", "01.02.1970", "H-0900");
    ASSERT_EQ(record(id, 6, 21), 1);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    EXPECT_FALSE(listening(storeScpPort)) << "listening while switched off";

    // Switched on in the Network tab: the sender's next run opens the port, off the window thread.
    auto setTab = [&](bool on) {
        dialogs.script.push_back([&, on](QDialog& d) {
            auto* page = d.findChild<net::ui::NetworkPage*>("networkPage");
            EXPECT_NE(page, nullptr);
            if (!page)
                return int(QDialog::Rejected);
            page->storageCommitmentBox->setChecked(on);
            page->storeScpBox->setChecked(on);
            page->storeScpPort->setValue(storeScpPort);
            page->fetchBox->setCurrentIndex(on ? 1 : 0);
            d.findChild<QPushButton*>("okButton")->click();
            return -1;
        });
        w->findChild<QAction*>("parametersAction")->trigger();
    };
    setTab(true);
    auto settings = net::loadSettings(work());
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings.value.storageCommitment);
    EXPECT_TRUE(settings.value.storeScp);
    EXPECT_EQ(settings.value.port, storeScpPort);
    EXPECT_EQ(settings.value.archiveFetch, "move");
    const std::string text = "%PDF-1.4\n%%EOF\n";
    auto queued = net::queueRecording(net::Outbox(work()), cardfile::CardFile(work()),
                                      settings.value, id, 1, {text.begin(), text.end()}, true);
    ASSERT_TRUE(queued) << queued.message;
    w->outboxSender().sendNow();
    ASSERT_TRUE(waitFor([&] { return listening(storeScpPort); }));
    EXPECT_EQ(w->outboxSender().storeScpProblem(), "");

    // Orthanc's report comes on an association of its own to the program's store SCP.
    auto stateOf = [&] {
        auto entries = net::Outbox(work()).list();
        return entries && entries.value.size() == 1 ? entries.value[0] : net::OutboxEntry{};
    };
    ASSERT_TRUE(waitFor([&] { return stateOf().state == net::EntryState::Committed; }, 30000))
        << net::stateName(stateOf().state) << " " << stateOf().reason;
    ASSERT_TRUE(waitFor([&] { return !w->outboxSender().running(); }));
    const auto entries = net::Outbox(work()).list().value;
    const std::string recordedAt = entries.at(0).recordedAt;
    EXPECT_EQ(net::ui::sendStateText(ui::Language::Russian, entries, id, recordedAt),
              QString::fromUtf8("хранение подтверждено"));
    EXPECT_EQ(net::ui::sendStateText(ui::Language::English, entries, id, recordedAt),
              QString::fromUtf8("committed"));
    EXPECT_TRUE(std::filesystem::is_empty(work() / net::kOutboxFolder / ".commitments"));

    // C-MOVE while the program holds the port: its store SCP takes the study.
    const auto studies = net::findStudies(settings.value, "H-0900");
    ASSERT_TRUE(studies) << studies.message;
    ASSERT_EQ(studies.value.size(), 1u);
    const auto fetched = net::fetchStudy(settings.value, studies.value[0].studyInstanceUid, work());
    ASSERT_TRUE(fetched) << fetched.message;
    EXPECT_EQ(fetched.value.files.size(), 2u);
    ASSERT_EQ(fetched.value.ecgs.size(), 1u);
    EXPECT_EQ(fetched.value.ecgs[0].parent_path(),
              work() / net::kArchiveCacheFolder / studies.value[0].studyInstanceUid);

    // Switched off in the tab: the port is closed at the sender's next run.
    setTab(false);
    w->outboxSender().sendNow();
    EXPECT_TRUE(waitFor([&] { return !listening(storeScpPort); }));
}

TEST_F(ArchiveTest, ArchiveDownRefusingOrHoldingNothingEachSaysSo) {
    const std::string nothing = addPatientWithRecording("Орлов Олег", "01.01.1970", "H-0999");
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    const auto tryEarlier = [&] {
        messages.shown.clear();
        int listed = -1;
        QString status;
        bool opened = false;
        earlierFromCardFile(*w, 0, [&](net::ui::EarlierWindow& window) {
            listed = window.studyList->topLevelItemCount();
            status = window.statusLabel->text();
            opened = !window.opened().empty();
            window.closeButton->click();
        });
        EXPECT_EQ(listed, 0);
        EXPECT_FALSE(opened);
        EXPECT_TRUE(w->session().importedFileName().isEmpty());
        EXPECT_EQ(messages.shown.size(), 1u);
        return messages.shown.empty() ? QString() : messages.shown.front().text;
    };

    // Nothing for the patient.
    const QString none = tryEarlier();
    EXPECT_EQ(none, QString::fromUtf8("В архиве нет ЭКГ пациента с ID H-0999"));

    // An AE title the archive does not know: the association is refused.
    auto s = net::loadSettings(work()).value;
    s.aeTitle = "STRANGER";
    ASSERT_TRUE(net::saveSettings(work(), s));
    const QString refused = tryEarlier();
    EXPECT_TRUE(refused.startsWith(QString::fromUtf8("Архив (PACS) отказал в запросе\n")))
        << refused.toStdString();

    // The archive down.
    s.aeTitle = "VELKARD";
    ASSERT_TRUE(net::saveSettings(work(), s));
    stopOrthanc();
    const QString down = tryEarlier();
    EXPECT_TRUE(down.startsWith(QString::fromUtf8("Архив (PACS) недоступен\n")))
        << down.toStdString();

    // In English.
    w->chooseLanguage(ui::Language::English);
    const QString downEnglish = tryEarlier();
    EXPECT_TRUE(downEnglish.startsWith("The archive (PACS) cannot be reached\n"))
        << downEnglish.toStdString();

    // No archive set up.
    s.pacs = {};
    ASSERT_TRUE(net::saveSettings(work(), s));
    const QString unset = tryEarlier();
    EXPECT_TRUE(unset.startsWith("No archive (PACS) is set up")) << unset.toStdString();
}

TEST_F(ArchiveTest, OrderFromOrthancsWorklistRecordedSavedArrivesThereAndComesBackAsRecorded) {
    if (!QFile::exists(kWorklistPlugin) || QStandardPaths::findExecutable("dump2dcm").isEmpty())
        GTEST_SKIP() << "Orthanc's worklist plugin or DCMTK's dump2dcm is missing";
    // Today's ECG order for this station in Orthanc's worklist folder.
    const QString dump =
        QString::fromUtf8(
            "(0008,0005) CS [ISO_IR 192]\n(0008,0050) SH [ACC3001]\n"
            "(0010,0010) PN [Петров^Пётр^Ильич]\n(0010,0020) LO [H-0042]\n"
            "(0010,0030) DA [19610304]\n(0010,0040) CS [M]\n(0020,000d) UI [%1]\n"
            "(0032,1060) LO [ECG at rest]\n(0040,0100) SQ\n(fffe,e000) -\n"
            "(0008,0060) CS [ECG]\n(0040,0001) AE [VELKARD]\n(0040,0002) DA [%2]\n"
            "(0040,0003) TM [0930]\n(0040,0007) LO [ECG at rest]\n(0040,0009) SH [SPS-1]\n"
            "(fffe,e00d)\n(fffe,e0dd)\n(0040,1001) SH [RP-1]\n")
            .arg(kOrderStudy, QDate::currentDate().toString("yyyyMMdd"));
    writeFile(work() / "order.dump", dump.toStdString());
    QProcess make;
    make.start("dump2dcm", {"-q", "+te", QString::fromStdString((work() / "order.dump").string()),
                            QString::fromStdString((work() / "WLM" / "order.wl").string())});
    ASSERT_TRUE(make.waitForFinished(20000) && make.exitCode() == 0);
    auto s = net::loadSettings(work()).value;
    s.worklist = s.pacs;
    s.sendAfterSave = true;
    ASSERT_TRUE(net::saveSettings(work(), s));

    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    dialogs.script.push_back([&listed](QDialog& d) {
        auto& window = dynamic_cast<net::ui::WorklistWindow&>(d);
        listed = window.orderList->topLevelItemCount();
        window.orderList->setCurrentItem(window.orderList->topLevelItem(0));
        window.takeButton->click();
        return -1;
    });
    w->worklistAction->trigger();
    ASSERT_EQ(listed, 1) << messages.lastText().toStdString();
    ASSERT_TRUE(w->Start->isVisible());
    // Recorded on the simulated instrument, Stop, "Сохранить данные?" answered yes.
    ASSERT_TRUE(waitFor([&] { return w->display().sweepPosition() > 0; }));
    w->Start->click();
    ASSERT_TRUE(waitFor([&] { return w->secondsCounter() >= 2; }));
    messages.answers = {true};
    w->Stop->click();
    // Sent on its own; Orthanc holds the waveform and the report in the order's study.
    ASSERT_TRUE(waitFor(
        [&] {
            auto e = net::Outbox(work()).list();
            return !w->outboxSender().running() && e && e.value.size() == 1 &&
                   e.value[0].state == net::EntryState::Sent;
        },
        60000))
        << messages.lastText().toStdString();
    const QJsonArray instances = restJson(httpPort, "/instances").array();
    ASSERT_EQ(instances.size(), 2);
    std::vector<std::string> classes;
    for (const QJsonValue& id : instances) {
        const QJsonObject tags =
            restJson(httpPort, "/instances/" + id.toString().toStdString() + "/simplified-tags")
                .object();
        classes.push_back(tags["SOPClassUID"].toString().toStdString());
        EXPECT_EQ(tags["PatientID"].toString(), "H-0042");
        EXPECT_EQ(tags["PatientName"].toString(), QString::fromUtf8("Петров^Пётр^Ильич"));
        EXPECT_EQ(tags["AccessionNumber"].toString(), "ACC3001");
        EXPECT_EQ(tags["StudyInstanceUID"].toString(), kOrderStudy);
    }
    std::sort(classes.begin(), classes.end());
    EXPECT_EQ(classes, (std::vector<std::string>{"1.2.840.10008.5.1.4.1.1.104.1",
                                                 "1.2.840.10008.5.1.4.1.1.9.1.1"}));

    // And back as an earlier ECG of the chosen patient: the samples recorded.
    messages.shown.clear(); // the question at Stop
    cardfile::CardFile cardFile(work());
    const std::string id = w->session().selection().patientId.toStdString();
    QStringList row;
    dialogs.script.push_back([&row](QDialog& d) {
        auto& window = dynamic_cast<net::ui::EarlierWindow&>(d);
        row = rowText(window.studyList->topLevelItem(0));
        window.openButton->click();
        return -1;
    });
    w->earlierAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(row.size(), 5);
    EXPECT_EQ(row[0], QDate::currentDate().toString("dd.MM.yyyy"));
    EXPECT_EQ(row[3], "ACC3001");
    EXPECT_EQ(row[4], "1");
    EXPECT_EQ(w->recordingBuffer().bytes, recordingOf(id, 1));
}
