// SPDX-License-Identifier: GPL-3.0-or-later
// The network as a user drives it, against DCMTK's own servers on loopback (wlmscpfs for the
// worklist, storescp for the archive), started here and stopped at the end: an order taken from
// the worklist window makes the patient's card, the recording made next on the simulated
// instrument is saved and sent on its own, and storescp's files read back with dcmdump carry the
// order; a send to an archive that is down waits in the outbox, shows so in the card file, and
// arrives once with Retry after the archive is up; the outbox window's states, Retry and removal
// from the queue; the Network tab's "Проверить связь" and OK.
// Skipped when DCMTK's tools are missing.
#include "AppTestSupport.h"
#include "LoopbackPorts.h"

#include "measure/ui/MeasurementsWindow.h"
#include "net/Orders.h"
#include "net/Outbox.h"
#include "net/Settings.h"
#include "net/ui/NetworkPage.h"
#include "net/ui/OutboxWindow.h"
#include "net/ui/SendActions.h"
#include "net/ui/WorklistWindow.h"

#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTreeWidget>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

// dcmdump's value of one tag ("(0008,0050)") of a DICOM file; empty when absent.
std::string tagOf(const std::filesystem::path& file, const char* tag) {
    QProcess p;
    p.start("dcmdump",
            {"-q", "-Un", "+P", QString::fromLatin1(tag), QString::fromStdString(file.string())});
    p.waitForFinished(20000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const int open = out.indexOf('[');
    const int close = out.indexOf(']', open + 1);
    return open < 0 || close < 0 ? std::string()
                                 : out.mid(open + 1, close - open - 1).toStdString();
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(folder, ec))
        out.push_back(e.path());
    return out;
}

constexpr const char* kOrderStudy = "1.2.826.0.1.3680043.2.1125.91.1";

class NetworkTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        for (const char* tool : {"wlmscpfs", "storescp", "dump2dcm", "dcmdump"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is missing (Debian package dcmtk)";
        writeSettingsLines(work(), {QString::fromUtf8("10 мм/мВ"), "I..V6",
                                    QString::fromUtf8("25 мм/с"), "SIM", "1", "9", "2", "0"});
        servers = work() / "servers";
        std::filesystem::create_directories(servers / "WLM");
        std::filesystem::create_directories(servers / "stored");
        writeFile(servers / "WLM" / "lockfile", "");
        // One ECG order of today for this station, one for another station.
        makeOrder("ACC2001", "Петров^Пётр^Ильич", "H-0042", kOrderStudy, "VELKARD", "order1");
        makeOrder("ACC2002", "Other^Station", "H-0043", "1.2.826.0.1.3680043.2.1125.91.2", "ROOM_9",
                  "order2");
        worklistPort = freePort();
        pacsPort = freePort();
        start(wlm, "wlmscpfs",
              {"-dfp", QString::fromStdString(servers.string()), "-dfr",
               QString::number(worklistPort)});
        ASSERT_TRUE(waitFor([&] { return listening(worklistPort); }, 20000));
    }

    void TearDown() override {
        for (QProcess* p : {&wlm, &store})
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(10000)) {
                    p->kill();
                    p->waitForFinished();
                }
            }
    }

    void start(QProcess& p, const char* program, const QStringList& args) {
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        ASSERT_TRUE(p.waitForStarted(10000)) << program;
    }

    // storescp as the archive; `refusing`: it refuses every association.
    void startArchive(bool refusing = false) {
        QStringList args{"-aet", "STORESCP", "-od",
                         QString::fromStdString((servers / "stored").string())};
        if (refusing)
            args << "--refuse";
        start(store, "storescp", args << QString::number(pacsPort));
        ASSERT_TRUE(waitFor([&] { return listening(pacsPort); }, 20000));
    }

    void stopArchive() {
        store.terminate();
        if (!store.waitForFinished(10000)) {
            store.kill();
            store.waitForFinished();
        }
    }

    void makeOrder(const char* accession, const char* name, const char* patientId,
                   const char* study, const char* station, const char* file) {
        const QString today = QDate::currentDate().toString("yyyyMMdd");
        const QString dump =
            QString::fromUtf8(
                "(0008,0005) CS [ISO_IR 192]\n(0008,0050) SH [%1]\n"
                "(0010,0010) PN [%2]\n(0010,0020) LO [%3]\n(0010,0030) DA [19610304]\n"
                "(0010,0040) CS [M]\n(0020,000d) UI [%4]\n(0032,1060) LO [ECG at rest]\n"
                "(0040,0100) SQ\n(fffe,e000) -\n(0008,0060) CS [ECG]\n"
                "(0040,0001) AE [%5]\n(0040,0002) DA [%6]\n(0040,0003) TM [0930]\n"
                "(0040,0007) LO [ECG at rest]\n(0040,0009) SH [SPS-%1]\n(fffe,e00d)\n"
                "(fffe,e0dd)\n(0040,1001) SH [RP-%1]\n")
                .arg(accession, QString::fromUtf8(name), patientId, study, station, today);
        const auto text = servers / (std::string(file) + ".dump");
        writeFile(text, dump.toStdString());
        QProcess p;
        p.start("dump2dcm", {"-q", "+te", QString::fromStdString(text.string()),
                             QString::fromStdString((servers / "WLM" / file).string() + ".wl")});
        ASSERT_TRUE(p.waitForFinished(20000) && p.exitCode() == 0);
    }

    void writeNetworkSettings(bool sendAfterSave, bool sendAfterConfirmation = false) {
        net::NetworkSettings s;
        s.worklist = {"127.0.0.1", worklistPort, "WLM", false};
        s.pacs = {"127.0.0.1", pacsPort, "STORESCP", false};
        s.sendAfterSave = sendAfterSave;
        s.sendAfterConfirmation = sendAfterConfirmation;
        s.timeoutSeconds = 5;
        ASSERT_TRUE(net::saveSettings(work(), s));
    }

    // Worklist -> Take on the first order: the window is monitoring the order's patient.
    void takeFirstOrder(MainWindow& w, int* listed) {
        dialogs.script.push_back([listed](QDialog& d) {
            auto& window = dynamic_cast<net::ui::WorklistWindow&>(d);
            *listed = window.orderList->topLevelItemCount();
            window.orderList->setCurrentItem(window.orderList->topLevelItem(0));
            window.takeButton->click();
            return -1;
        });
        w.worklistAction->trigger();
    }

    void recordFor(MainWindow& w, int seconds) {
        ASSERT_TRUE(waitFor([&] { return w.display().sweepPosition() > 0; }));
        w.Start->click();
        ASSERT_TRUE(waitFor([&] { return w.secondsCounter() >= seconds; }));
        messages.answers = {true}; // "Сохранить данные?"
        w.Stop->click();
    }

    // The card file's one card, made from an order: its name, birth date and the hospital ID kept
    // beside it; it is the window's chosen patient.
    void expectTheOrdersCard(MainWindow& w, const std::string& name, const std::string& birthDate,
                             const std::string& hospitalId) {
        cardfile::CardFile cardFile(work());
        auto patients = cardFile.listPatients();
        ASSERT_TRUE(patients);
        ASSERT_EQ(patients.value.size(), 1u);
        const cardfile::PatientRecord& p = patients.value[0];
        EXPECT_EQ(p.name, name);
        EXPECT_EQ(p.birthDate, birthDate);
        auto hospital = net::hospitalIdOf(cardFile, p.id);
        ASSERT_TRUE(hospital && hospital.value);
        EXPECT_EQ(*hospital.value, hospitalId);
        EXPECT_EQ(w.session().selection().patientId.toStdString(), p.id);
    }

    // The card-file window, with `script` run on it once the first patient and recording are
    // chosen.
    void inCardFile(MainWindow& w, std::function<void(cardfile::ui::CardFileWindow&)> script) {
        dialogs.script.push_back([script](QDialog& d) {
            auto& window = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
            window.patientList->setCurrentItem(window.patientList->topLevelItem(0));
            window.archiveList->setCurrentItem(window.archiveList->topLevelItem(0));
            script(window);
            window.OK->click();
            return -1;
        });
        w.cardFileAction->trigger();
    }

    std::filesystem::path servers;
    int worklistPort = 0, pacsPort = 0;
    QProcess wlm, store;
};

} // namespace

TEST_F(NetworkTest, OrderTakenRecordedAndSavedArrivesInTheArchiveWithTheOrder) {
    startArchive();
    writeNetworkSettings(true);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    takeFirstOrder(*w, &listed);
    // Only this station's order of today.
    EXPECT_EQ(listed, 1);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    // The card was made from the order, its hospital ID kept beside it, and it is the chosen one.
    ASSERT_NO_FATAL_FAILURE(expectTheOrdersCard(*w, "Петров Пётр Ильич", "04.03.1961", "H-0042"));
    ASSERT_TRUE(w->Start->isVisible());

    recordFor(*w, 2);
    // Saved and, as the settings say, sent on its own: the waveform and the report.
    const auto stored = servers / "stored";
    ASSERT_TRUE(
        waitFor([&] { return filesIn(stored).size() >= 2 && !w->outboxSender().running(); }, 60000))
        << filesIn(stored).size() << " files; " << messages.lastText().toStdString();
    const auto files = filesIn(stored);
    ASSERT_EQ(files.size(), 2u);
    std::vector<std::string> classes;
    for (const auto& f : files) {
        classes.push_back(tagOf(f, "0008,0016"));
        EXPECT_EQ(tagOf(f, "0008,0050"), "ACC2001") << f;
        EXPECT_EQ(tagOf(f, "0010,0020"), "H-0042") << f;
        EXPECT_EQ(tagOf(f, "0020,000d"), kOrderStudy) << f;
    }
    std::sort(classes.begin(), classes.end());
    // 12-lead ECG waveform and Encapsulated PDF.
    EXPECT_EQ(classes, (std::vector<std::string>{"1.2.840.10008.5.1.4.1.1.104.1",
                                                 "1.2.840.10008.5.1.4.1.1.9.1.1"}));
    // The card file says so in the recording's row.
    QString shown;
    inCardFile(*w, [&](cardfile::ui::CardFileWindow& window) {
        EXPECT_FALSE(window.Send->isHidden());
        shown = window.archiveList->topLevelItem(0)->text(5);
    });
    EXPECT_EQ(shown, QString::fromUtf8("отправлено"));
}

TEST_F(NetworkTest, SendWhileTheArchiveIsDownWaitsAndRetryDeliversItOnce) {
    writeNetworkSettings(false);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    takeFirstOrder(*w, &listed);
    recordFor(*w, 1);
    ASSERT_FALSE(std::filesystem::exists(work() / net::kOutboxFolder)); // not sent on its own

    QString before, after;
    inCardFile(*w, [&](cardfile::ui::CardFileWindow& window) {
        EXPECT_TRUE(window.archiveList->topLevelItem(0)->text(5).isEmpty());
        window.Send->click();
        ASSERT_TRUE(waitFor([&] {
            return !w->outboxSender().running() &&
                   !window.archiveList->topLevelItem(0)->text(5).isEmpty();
        }));
        before = window.archiveList->topLevelItem(0)->text(5);
        // The archive comes up; Send on the waiting recording offers to try again now.
        startArchive();
        messages.answers = {true};
        window.Send->click();
        ASSERT_TRUE(waitFor(
            [&] {
                return !w->outboxSender().running() && window.archiveList->topLevelItem(0)->text(
                                                           5) == QString::fromUtf8("отправлено");
            },
            30000));
        after = window.archiveList->topLevelItem(0)->text(5);
    });
    EXPECT_TRUE(before.startsWith(QString::fromUtf8("ожидает"))) << before.toStdString();
    EXPECT_EQ(after, QString::fromUtf8("отправлено"));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_TRUE(messages.shown.back().question);
    // Arrived once: one waveform and one report, in the order's study.
    const auto files = filesIn(servers / "stored");
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files)
        EXPECT_EQ(tagOf(f, "0020,000d"), kOrderStudy);
    auto entries = net::Outbox(work()).list();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries.value.size(), 1u);
    EXPECT_EQ(entries.value[0].state, net::EntryState::Sent);
    EXPECT_GE(entries.value[0].attempts, 2);
}

TEST_F(NetworkTest, ConfirmingTheReportSendsTheRecordingWhenTheSettingsSaySo) {
    startArchive();
    writeNetworkSettings(false, true);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    takeFirstOrder(*w, &listed);
    recordFor(*w, 2);
    ASSERT_FALSE(std::filesystem::exists(work() / net::kOutboxFolder)) << "not sent at Save";

    // Review the recording, and the physician confirms its report.
    dialogs.script.push_back(pickInCardFile(0, 0, "Open"));
    w->cardFileAction->trigger();
    ASSERT_EQ(w->session().shown(), Shown::CardRecording);
    w->findChild<QAction*>("measurementsAction")->trigger();
    auto* window = w->findChild<measure::ui::MeasurementsWindow*>("measurementsWindow");
    ASSERT_NE(window, nullptr);
    dialogs.script.push_back([](QDialog& d) {
        EXPECT_EQ(d.objectName(), "reportConfirmDialog");
        d.findChild<QLineEdit*>("reportText")->setText(QString::fromUtf8("Иванова А. П."));
        return int(QDialog::Accepted);
    });
    window->findChild<QPushButton*>("reportConfirm")->click();
    ASSERT_TRUE(window->report().confirmed());

    const auto stored = servers / "stored";
    ASSERT_TRUE(
        waitFor([&] { return filesIn(stored).size() >= 2 && !w->outboxSender().running(); }, 60000))
        << filesIn(stored).size() << " files; " << messages.lastText().toStdString();
    const auto files = filesIn(stored);
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files) {
        EXPECT_EQ(tagOf(f, "0008,0050"), "ACC2001") << f;
        EXPECT_EQ(tagOf(f, "0020,000d"), kOrderStudy) << f;
    }
    auto entries = net::Outbox(work()).list();
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries.value.size(), 1u);

    // Without the setting a confirmation sends nothing.
    writeNetworkSettings(false, false);
    dialogs.script.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>("reportText")->setText(QString::fromUtf8("Петров И. И."));
        return int(QDialog::Accepted);
    });
    window->findChild<QPushButton*>("reportConfirm")->click();
    EXPECT_EQ(net::Outbox(work()).list().value.size(), 1u);
}

TEST_F(NetworkTest, OrdersFromTheHl7FolderAloneAreTheWorklistAndTheirCardIsMade) {
    const auto folder = work() / "hl7-orders";
    std::filesystem::create_directories(folder);
    const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
    writeFile(folder / "order-1.hl7",
              "MSH|^~\\&|HIS|HOSP|VELKARD|ECG|" + today +
                  "||ORM^O01|1|P|2.3\r"
                  "PID|1||H-0099||Sidorova^Anna^Petrovna||19700520|F\r"
                  "ORC|NW|PL-1|FI-1\r"
                  "OBR|1|PL-1|FI-1|ECG^Resting ECG||||||||||||||ACC-H7|RP-1|SPS-1||||EC|||^^^" +
                  today + "0800\r");
    net::NetworkSettings s;
    s.hl7OrdersFolder = folder.string();
    ASSERT_TRUE(net::saveSettings(work(), s));
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    takeFirstOrder(*w, &listed);
    EXPECT_EQ(listed, 1);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_NO_FATAL_FAILURE(
        expectTheOrdersCard(*w, "Sidorova Anna Petrovna", "20.05.1970", "H-0099"));
    // The order waits for the patient's next recording with its accession and a study UID.
    const std::string orders = readFile(work() / "DATA_BASE" / net::kOrdersName);
    EXPECT_NE(orders.find("\tACC-H7\tRP-1\tResting ECG\t2.25."), std::string::npos) << orders;
}

TEST_F(NetworkTest, NetworkTabTestsTheConnectionAndKeepsWhatWasTyped) {
    startArchive();
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    const int nowhere = freePort();
    QString echoed;
    dialogs.script.push_back([&](QDialog& d) {
        auto* page = d.findChild<net::ui::NetworkPage*>("networkPage");
        EXPECT_NE(page, nullptr);
        if (!page)
            return int(QDialog::Rejected);
        page->worklist.host->setText("127.0.0.1");
        page->worklist.port->setValue(nowhere); // nothing listens there
        page->worklist.aeTitle->setText("WLM");
        page->pacs.host->setText("127.0.0.1");
        page->pacs.port->setValue(pacsPort);
        page->pacs.aeTitle->setText("STORESCP");
        page->sendAfterSaveBox->setChecked(true);
        page->echoButton->click();
        echoed = messages.lastText();
        // An AE title DICOM does not take is refused at OK, and nothing is written.
        page->aeTitleEdit->setText("BAD\\TITLE");
        EXPECT_FALSE(page->save());
        page->aeTitleEdit->setText("ECG_ROOM_2");
        d.findChild<QPushButton*>("okButton")->click();
        return -1;
    });
    w->findChild<QAction*>("parametersAction")->trigger();
    // One line a peer (a reason may take more lines).
    const QStringList worklistLine =
        echoed.split('\n').filter(QRegularExpression(QString::fromUtf8("^Рабочий список ")));
    const QStringList pacsLine =
        echoed.split('\n').filter(QRegularExpression(QString::fromUtf8("^Архив \\(PACS\\) ")));
    ASSERT_EQ(worklistLine.size(), 1) << echoed.toStdString();
    ASSERT_EQ(pacsLine.size(), 1) << echoed.toStdString();
    EXPECT_TRUE(worklistLine[0].contains(QString::fromUtf8(": нет связи"))) << echoed.toStdString();
    EXPECT_TRUE(pacsLine[0].endsWith(QString::fromUtf8(": связь есть"))) << echoed.toStdString();
    auto saved = net::loadSettings(work());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved.value.aeTitle, "ECG_ROOM_2");
    EXPECT_EQ(saved.value.pacs.port, pacsPort);
    EXPECT_EQ(saved.value.pacs.aeTitle, "STORESCP");
    EXPECT_EQ(saved.value.worklist.port, nowhere);
    EXPECT_TRUE(saved.value.sendAfterSave);
}

namespace {

// The outbox window's row of entry `id` (null when it is not listed).
QTreeWidgetItem* rowOf(net::ui::OutboxWindow& window, const std::string& id) {
    for (int i = 0; i < window.entryList->topLevelItemCount(); ++i)
        if (window.entryList->topLevelItem(i)->data(0, Qt::UserRole).toString().toStdString() == id)
            return window.entryList->topLevelItem(i);
    return nullptr;
}

} // namespace

TEST_F(NetworkTest, OutboxWindowShowsEachStateRetriesAndRemovesFromTheQueueKeepingTheRecording) {
    writeNetworkSettings(false);
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    takeFirstOrder(*w, &listed);
    recordFor(*w, 1);
    cardfile::CardFile cardFile(work());
    const std::string patientId = cardFile.listPatients().value.at(0).id;
    const auto recording = cardFile.recordingPath(patientId, 1);
    ASSERT_TRUE(std::filesystem::exists(recording));
    const auto recordingSize = std::filesystem::file_size(recording);
    const auto sendersDone = [&] { return !w->outboxSender().running(); };

    // The archive is down: the entry waits with the reason, and is taken out of the queue.
    std::string first;
    QStringList waitingRow, withdrawnRow;
    QString column;
    std::int64_t waitingNext = 0;
    inCardFile(*w, [&](cardfile::ui::CardFileWindow& window) {
        EXPECT_FALSE(window.Queue->isHidden());
        window.Send->click();
        ASSERT_TRUE(waitFor([&] {
            auto e = net::Outbox(work()).list();
            return sendersDone() && e && e.value.size() == 1 && e.value[0].attempts == 1;
        }));
        first = net::Outbox(work()).list().value.at(0).id;
        dialogs.script.push_back([&](QDialog& d) {
            auto& outbox = dynamic_cast<net::ui::OutboxWindow&>(d);
            QTreeWidgetItem* row = rowOf(outbox, first);
            EXPECT_NE(row, nullptr);
            if (!row)
                return -1;
            for (int c = 0; c < 5; ++c)
                waitingRow << row->text(c);
            waitingNext = net::Outbox(work()).list().value.at(0).nextAttempt;
            outbox.entryList->setCurrentItem(row);
            messages.answers = {true};
            outbox.removeButton->click();
            row = rowOf(outbox, first);
            for (int c = 0; row && c < 5; ++c)
                withdrawnRow << row->text(c);
            outbox.closeButton->click();
            return -1;
        });
        window.Queue->click();
        column = window.archiveList->topLevelItem(0)->text(5);
    });
    ASSERT_EQ(waitingRow.size(), 5);
    EXPECT_TRUE(waitingRow[0].startsWith(QString::fromUtf8("Петров Пётр Ильич, ")))
        << waitingRow[0].toStdString();
    EXPECT_EQ(waitingRow[1], QString::fromUtf8("Архив (PACS)"));
    EXPECT_TRUE(waitingRow[2].startsWith(QString::fromUtf8("ожидает: ")))
        << waitingRow[2].toStdString();
    EXPECT_EQ(waitingRow[3], "1");
    // The next attempt half a minute after the first.
    const QDateTime next = QDateTime::fromString(waitingRow[4], "dd.MM.yyyy hh:mm:ss");
    ASSERT_TRUE(next.isValid()) << waitingRow[4].toStdString();
    const auto entry = net::Outbox(work()).list().value.at(0);
    EXPECT_EQ(next.toSecsSinceEpoch(), waitingNext);
    EXPECT_GT(waitingNext - std::time(nullptr), 0);
    EXPECT_LE(waitingNext - std::time(nullptr), 30);
    ASSERT_EQ(withdrawnRow.size(), 5);
    EXPECT_EQ(withdrawnRow[2], QString::fromUtf8("снято с отправки"));
    EXPECT_EQ(withdrawnRow[3], "1");
    EXPECT_EQ(withdrawnRow[4], QString::fromUtf8("—"));
    EXPECT_EQ(column, QString::fromUtf8("снято с отправки"));
    ASSERT_TRUE(messages.shown.back().question);
    // Nothing is deleted: the recording, its archive entry and the entry's files stay.
    EXPECT_EQ(std::filesystem::file_size(recording), recordingSize);
    EXPECT_EQ(cardFile.listArchiveEntries(patientId).value.size(), 1u);
    for (const auto& f : entry.files)
        EXPECT_TRUE(std::filesystem::exists(entry.folder / f)) << f;

    // An archive that refuses: Send queues the recording anew, the new entry fails with the
    // archive's reason.
    startArchive(true);
    const std::size_t asked = messages.shown.size();
    std::string second;
    inCardFile(*w, [&](cardfile::ui::CardFileWindow& window) {
        window.Send->click();
        ASSERT_TRUE(waitFor([&] {
            auto e = net::Outbox(work()).list();
            if (!sendersDone() || !e || e.value.size() != 2)
                return false;
            for (const auto& x : e.value)
                if (x.id != first)
                    second = x.id;
            return net::Outbox(work()).list().value.at(0).state != net::EntryState::Waiting &&
                   net::Outbox(work()).list().value.at(1).state != net::EntryState::Waiting;
        }));
    });
    EXPECT_EQ(messages.shown.size(), asked); // nothing asked: it had left the queue
    stopArchive();
    startArchive();

    // From the menu: the refused one is retried and arrives; the withdrawn one stays as it was.
    QStringList failedRow, sentRow, stillWithdrawn;
    dialogs.script.push_back([&](QDialog& d) {
        auto& outbox = dynamic_cast<net::ui::OutboxWindow&>(d);
        QTreeWidgetItem* row = rowOf(outbox, second);
        EXPECT_NE(row, nullptr);
        if (!row)
            return -1;
        for (int c = 0; c < 5; ++c)
            failedRow << row->text(c);
        outbox.entryList->setCurrentItem(row);
        outbox.retryButton->click();
        EXPECT_TRUE(waitFor(
            [&] {
                QTreeWidgetItem* r = rowOf(outbox, second);
                return sendersDone() && r && r->text(2) == QString::fromUtf8("отправлено");
            },
            30000));
        for (int c = 0; c < 5; ++c)
            sentRow << rowOf(outbox, second)->text(c);
        for (int c = 0; c < 5; ++c)
            stillWithdrawn << rowOf(outbox, first)->text(c);
        outbox.closeButton->click();
        return -1;
    });
    w->outboxAction->trigger();
    ASSERT_EQ(failedRow.size(), 5);
    EXPECT_TRUE(failedRow[2].startsWith(QString::fromUtf8("ошибка: ")))
        << failedRow[2].toStdString();
    EXPECT_TRUE(failedRow[2].contains("reject", Qt::CaseInsensitive)) << failedRow[2].toStdString();
    EXPECT_EQ(failedRow[3], "1");
    EXPECT_EQ(failedRow[4], QString::fromUtf8("—"));
    ASSERT_EQ(sentRow.size(), 5);
    EXPECT_EQ(sentRow[3], "2");
    EXPECT_EQ(sentRow[4], QString::fromUtf8("—"));
    EXPECT_EQ(stillWithdrawn[2], QString::fromUtf8("снято с отправки"));
    EXPECT_EQ(stillWithdrawn[3], "1");
    // Only the retried entry arrived: one waveform and one report.
    const auto files = filesIn(servers / "stored");
    ASSERT_EQ(files.size(), 2u);
    const auto entries = net::Outbox(work()).list().value;
    std::vector<std::string> stored, queued;
    for (const auto& f : files)
        stored.push_back(tagOf(f, "0008,0018"));
    for (const auto& e : entries)
        if (e.id == second)
            for (const auto& f : e.files)
                queued.push_back(tagOf(e.folder / f, "0008,0018"));
    std::sort(stored.begin(), stored.end());
    std::sort(queued.begin(), queued.end());
    EXPECT_EQ(stored, queued);
}

TEST_F(NetworkTest, NetworkTabFollowsTheInterfaceLanguageSwitchedWhileItIsOpen) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    QString tabGerman, buttonGerman, boxGerman, tabRussian, buttonRussian;
    dialogs.script.push_back([&](QDialog& d) {
        auto* page = d.findChild<net::ui::NetworkPage*>("networkPage");
        auto* tabs = d.findChild<QTabWidget*>();
        EXPECT_TRUE(page && tabs);
        if (!page || !tabs)
            return int(QDialog::Rejected);
        const auto switchTo = [](ui::Language l) {
            EXPECT_TRUE(ui::useLanguage(l));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        };
        switchTo(ui::Language::German);
        tabGerman = tabs->tabText(tabs->indexOf(page));
        buttonGerman = page->echoButton->text();
        boxGerman = page->pacs.box->title();
        switchTo(ui::Language::Russian);
        tabRussian = tabs->tabText(tabs->indexOf(page));
        buttonRussian = page->echoButton->text();
        return int(QDialog::Rejected);
    });
    w->findChild<QAction*>("parametersAction")->trigger();
    EXPECT_EQ(tabGerman,
              ui::translate(ui::Language::German, "velkard::net::ui::NetworkPage", "Сеть"));
    EXPECT_NE(tabGerman, QString::fromUtf8("Сеть"));
    EXPECT_EQ(buttonGerman, ui::translate(ui::Language::German, "velkard::net::ui::NetworkPage",
                                          "Проверить связь"));
    EXPECT_NE(buttonGerman, QString::fromUtf8("Проверить связь"));
    EXPECT_EQ(boxGerman, "Archiv (PACS)");
    EXPECT_EQ(tabRussian, QString::fromUtf8("Сеть"));
    EXPECT_EQ(buttonRussian, QString::fromUtf8("Проверить связь"));
}

TEST_F(NetworkTest, WorklistFromTheCardFileChoosesTheOrdersPatientAndRecordsForIt) {
    writeNetworkSettings(false);
    const std::string before = addPatient(work(), "Иванов Иван");
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    int listed = -1;
    bool shown = false;
    dialogs.script.push_back([&](QDialog& d) {
        auto& window = dynamic_cast<cardfile::ui::CardFileWindow&>(d);
        shown = !window.Worklist->isHidden();
        // Another patient chosen, and a search that leaves the order's patient out.
        window.patientList->setCurrentItem(window.patientList->topLevelItem(0));
        window.searchEdit->setText(QString::fromUtf8("Иванов"));
        dialogs.script.push_back([&listed](QDialog& wl) {
            auto& worklist = dynamic_cast<net::ui::WorklistWindow&>(wl);
            listed = worklist.orderList->topLevelItemCount();
            worklist.orderList->setCurrentItem(worklist.orderList->topLevelItem(0));
            worklist.takeButton->click();
            return -1;
        });
        window.Worklist->click();
        return -1;
    });
    w->cardFileAction->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(listed, 1);
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    // The order's card was made beside the one there, and it is chosen and being recorded for.
    cardfile::CardFile cardFile(work());
    auto patients = cardFile.listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 2u);
    const cardfile::PatientRecord& made = patients.value[1];
    EXPECT_EQ(made.name, "Петров Пётр Ильич");
    EXPECT_NE(made.id, before);
    EXPECT_EQ(*net::hospitalIdOf(cardFile, made.id).value, "H-0042");
    EXPECT_EQ(w->session().selection().patientId.toStdString(), made.id);
    EXPECT_EQ(w->session().shown(), Shown::Live);
    EXPECT_TRUE(w->Start->isVisible());
    // The recording made now carries the order.
    recordFor(*w, 1);
    auto order = net::orderOfRecording(cardFile, made.id,
                                       cardFile.listArchiveEntries(made.id).value.at(0).date + " " +
                                           cardFile.listArchiveEntries(made.id).value.at(0).time,
                                       false);
    ASSERT_TRUE(order && order.value);
    EXPECT_EQ(order.value->accessionNumber, "ACC2001");
    EXPECT_EQ(order.value->studyInstanceUid, kOrderStudy);
}
