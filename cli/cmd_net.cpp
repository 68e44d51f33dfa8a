// SPDX-License-Identifier: GPL-3.0-or-later
// The clinic's network from the command line: connection test, worklist, send and the outbox,
// the archive's earlier studies, GDT requests and results. Settings come from the working
// folder's velkard-network.ini (net/Settings.h).
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "cli/GuiApplication.h"
#include "interpret/Interpret.h"
#include "net/Dicom.h"
#include "net/Gdt.h"
#include "net/Hl7Orders.h"
#include "net/Orders.h"
#include "net/Outbox.h"
#include "net/Send.h"
#include "net/Settings.h"
#include "net/StoreScp.h"
#include "net/ui/GdtWindow.h"
#include "net/ui/ReportPdf.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

namespace velkard::cli {
namespace {

std::string json(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::optional<net::NetworkSettings> settingsOf(const std::filesystem::path& dir) {
    auto s = net::loadSettings(dir);
    if (!s) {
        fail(s.message);
        return std::nullopt;
    }
    return s.value;
}

std::string today() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y%m%d", &tm);
    return buf;
}

const Command kEcho{"network-echo", "test the connection to the archive or the worklist (C-ECHO)",
                    "Usage: velkard-cli network-echo [--dir DIR] [--peer pacs|worklist]\n"
                    "Sends a DICOM C-ECHO to the peer configured in DIR/velkard-network.ini\n"
                    "(default: the archive, pacs) and prints 'ok' when it answers.\n",
                    nullptr};

int runEcho(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "peer"}, {});
    if (!args.ok())
        return usage(kEcho, args.error());
    const std::string peer = args.valueOr("peer", "pacs");
    if (peer != "pacs" && peer != "worklist")
        return usage(kEcho, "--peer must be pacs or worklist");
    auto settings = settingsOf(args.valueOr("dir", "."));
    if (!settings)
        return kFailure;
    if (auto s = net::echo(*settings, peer == "pacs" ? settings->pacs : settings->worklist); !s)
        return fail(s.message);
    std::cout << "ok\n";
    return kOk;
}

const Command kWorklist{
    "worklist", "list the worklist's ECG orders (C-FIND), or take one for its patient",
    "Usage: velkard-cli worklist [--dir DIR] [--from YYYYMMDD] [--to YYYYMMDD] [--any-station]\n"
    "                            [--take N] [--english]\n"
    "Asks the configured worklist server for scheduled ECG procedures (modality ECG) of the\n"
    "station (station_ae_title, else the own AE title) from --from to --to (default: today) and\n"
    "prints one JSON object a line, numbered from 1; then the ECG orders of the HL7 order folder\n"
    "(hl7.orders_folder: ORM^O01 / OMG^O19 files, messages that are no order named on stderr).\n"
    "With --take N, order N's patient is found\n"
    "in the card file by the hospital patient ID kept beside it, or a card is made from the\n"
    "order's name, birth date and sex (--english: sex written as the English interface does);\n"
    "the order then waits for the patient's next recording, which carries its accession number,\n"
    "requested procedure and study instance UID. Prints the card's ID.\n",
    nullptr};

int runWorklist(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "from", "to", "take"}, {"any-station", "english"});
    if (!args.ok())
        return usage(kWorklist, args.error());
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    net::WorklistQuery q;
    q.fromDate = args.valueOr("from", today());
    q.toDate = args.valueOr("to", q.fromDate);
    if (!args.has("any-station"))
        q.stationAeTitle =
            settings->stationAeTitle.empty() ? settings->aeTitle : settings->stationAeTitle;
    std::vector<std::string> problems;
    auto items = net::findOrders(*settings, q, &problems);
    for (const std::string& p : problems)
        std::cerr << "velkard-cli: HL7 order left out: " << p << "\n";
    if (!items)
        return fail(items.message);
    if (auto take = args.value("take")) {
        auto n = intValue(*take, 1, 100000);
        if (!n)
            return usage(kWorklist, "--take must be a whole number from 1");
        if (static_cast<std::size_t>(*n) > items.value.size())
            return fail("The worklist holds " + std::to_string(items.value.size()) + " orders");
        const net::WorklistItem& item = items.value[static_cast<std::size_t>(*n - 1)];
        cardfile::CardFile cardFile(dir);
        auto patient = net::patientForOrder(cardFile, item, !args.has("english"));
        if (!patient)
            return fail(patient.message);
        if (auto s = net::setPendingOrder(cardFile, patient.value.patient.id, net::orderOf(item),
                                          std::time(nullptr));
            !s)
            return fail(s.message);
        std::cout << "{\"id\":" << json(patient.value.patient.id)
                  << ",\"created\":" << (patient.value.created ? "true" : "false") << "}\n";
        return kOk;
    }
    int i = 0;
    for (const auto& w : items.value)
        std::cout << "{\"n\":" << ++i << ",\"patient_name\":" << json(w.patientName)
                  << ",\"patient_id\":" << json(w.patientId)
                  << ",\"birth_date\":" << json(w.birthDate) << ",\"sex\":" << json(w.sex)
                  << ",\"accession\":" << json(w.accessionNumber)
                  << ",\"requested_procedure\":" << json(w.requestedProcedureId)
                  << ",\"description\":" << json(w.requestedProcedureDescription)
                  << ",\"study_uid\":" << json(w.studyInstanceUid)
                  << ",\"date\":" << json(w.scheduledDate) << ",\"time\":" << json(w.scheduledTime)
                  << ",\"station\":" << json(w.stationAeTitle) << "}\n";
    return kOk;
}

void printEntry(const net::OutboxEntry& e) {
    std::cout << "{\"entry\":" << json(e.id)
              << ",\"state\":" << json(std::string(stateName(e.state))) << ",\"destination\":"
              << json(e.destination == net::Destination::Hl7 ? "hl7" : "pacs")
              << ",\"patient\":" << json(e.patientId) << ",\"recording\":" << e.recording
              << ",\"recorded_at\":" << json(e.recordedAt) << ",\"attempts\":" << e.attempts
              << ",\"next_attempt\":" << e.nextAttempt << ",\"reason\":" << json(e.reason) << "}\n";
}

// How many archive entries await a storage commitment report asked at or after `since`.
int awaitedSince(const net::Outbox& outbox, std::int64_t since) {
    int n = 0;
    if (auto entries = outbox.list())
        for (const auto& e : entries.value)
            n += e.state == net::EntryState::AwaitingCommitment && e.commitAskedAt >= since;
    return n;
}

volatile std::sig_atomic_t stopSignal = 0;
extern "C" void onStopSignal(int) {
    stopSignal = 1;
}

// Sends what is due. With the store SCP switched on it listens meanwhile, and afterwards waits
// up to waitSeconds for the storage commitment reports of what it asked (when the program holds
// the port, the program takes them).
int sendDue(const std::filesystem::path& dir, const net::NetworkSettings& settings, bool all,
            int waitSeconds) {
    net::Outbox outbox(dir);
    net::StoreScp scp;
    bool listening = false;
    if (settings.storeScp) {
        if (auto s = scp.start(settings, dir); s)
            listening = true;
        else
            std::cerr << "velkard-cli: the store SCP does not listen: " << s.message << '\n';
    }
    const std::int64_t started = std::time(nullptr);
    auto sum = outbox.process(net::networkTransport(settings), started, all);
    if (!sum)
        return fail(sum.message);
    if (sum.value.busy)
        std::cerr << "velkard-cli: another program is sending the outbox\n";
    if (listening && waitSeconds > 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
        int taken = 0;
        while (awaitedSince(outbox, started) > 0 && std::chrono::steady_clock::now() < until &&
               !stopSignal) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (scp.reportsKept() != taken && outbox.takeReports(std::time(nullptr)))
                taken = scp.reportsKept();
        }
        outbox.takeReports(std::time(nullptr));
    }
    scp.stop();
    auto entries = outbox.list();
    if (!entries)
        return fail(entries.message);
    for (const auto& e : entries.value)
        printEntry(e);
    return kOk;
}

const Command kSend{
    "send", "send a recording to the archive (PACS) and the HL7 receiver through the outbox",
    "Usage: velkard-cli send ID NUMBER [--dir DIR] [--no-pdf] [--queue-only] [--english]\n"
    "Puts recording NUMBER of patient ID into the outbox for each configured receiver: the\n"
    "twelve-lead waveform (DICOM) and the one-page report as Encapsulated PDF in the same study\n"
    "for the archive, an ORU^R01 for the HL7 receiver. Then sends what is due (not with\n"
    "--queue-only) and prints the outbox, one JSON object an entry. With storage commitment\n"
    "and the store SCP on, it listens for the archive's reports meanwhile and waits for them up\n"
    "to --wait SECONDS (default 30; 0: not at all).\n",
    nullptr};

int runSend(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "wait"}, {"no-pdf", "queue-only", "english"});
    if (!args.ok())
        return usage(kSend, args.error());
    const auto wait = intValue(args.valueOr("wait", "30"), 0, 3600);
    if (!wait)
        return usage(kSend, "--wait must be a whole number of seconds from 0 to 3600");
    if (args.positional().size() != 2)
        return usage(kSend, "expects ID and NUMBER");
    auto number = intValue(args.positional()[1], 1, 999);
    if (!number)
        return usage(kSend, "NUMBER must be a whole number from 1 to 999");
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    cardfile::CardFile cardFile(dir);
    const std::string id = args.positional()[0];
    auto ref = net::findRecording(cardFile, id, int(*number));
    if (!ref)
        return fail(ref.message);
    std::vector<std::uint8_t> pdf;
    if (!args.has("no-pdf") && !ref.value.entry.isRhythm()) {
        auto app = guiApplication();
        auto made =
            net::ui::reportPdf(cardFile, ref.value.patient, ref.value.entry, !args.has("english"));
        if (!made)
            return fail(made.message);
        pdf = std::move(made.value);
    }
    net::Outbox outbox(dir);
    auto queued = net::queueRecording(outbox, cardFile, *settings, id, int(*number), pdf,
                                      !args.has("english"));
    if (!queued)
        return fail(queued.message);
    if (args.has("queue-only")) {
        for (const auto& e : queued.value)
            std::cout << e << '\n';
        return kOk;
    }
    return sendDue(dir, *settings, false, *wait);
}

const Command kOutbox{
    "outbox", "list the outbox, send what is due, or try failed entries again",
    "Usage: velkard-cli outbox [list|run|retry [ENTRY]] [--dir DIR] [--wait SECONDS]\n"
    "list (default) prints every entry (waiting, sent, failed, awaiting_commitment, committed,\n"
    "withdrawn, with the last reason); run sends the entries whose time has come; retry puts\n"
    "failed and waiting entries (or ENTRY) back and sends them at once (ENTRY awaiting\n"
    "commitment or committed: the archive is asked to commit it again). With the store SCP on,\n"
    "run and retry wait up to --wait SECONDS (default 30) for the storage commitment reports\n"
    "of what they asked.\n",
    nullptr};

int runOutbox(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "wait"}, {});
    if (!args.ok())
        return usage(kOutbox, args.error());
    const auto wait = intValue(args.valueOr("wait", "30"), 0, 3600);
    if (!wait)
        return usage(kOutbox, "--wait must be a whole number of seconds from 0 to 3600");
    const auto& pos = args.positional();
    const std::string what = pos.empty() ? "list" : pos[0];
    const std::filesystem::path dir = args.valueOr("dir", ".");
    net::Outbox outbox(dir);
    if (what == "list" && pos.size() <= 1) {
        auto entries = outbox.list();
        if (!entries)
            return fail(entries.message);
        for (const auto& e : entries.value)
            printEntry(e);
        return kOk;
    }
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    if (what == "run" && pos.size() == 1)
        return sendDue(dir, *settings, false, *wait);
    if (what == "retry" && pos.size() <= 2) {
        auto n = outbox.retry(pos.size() == 2 ? pos[1] : std::string());
        if (!n)
            return fail(n.message);
        return sendDue(dir, *settings, false, *wait);
    }
    return usage(kOutbox, "expects list, run or retry [ENTRY]");
}

const Command kStoreScp{
    "store-scp", "listen as this workstation's store SCP (storage commitment reports, C-STORE)",
    "Usage: velkard-cli store-scp [--seconds N] [--dir DIR]\n"
    "Takes associations on store_scp.port as ae_title, from the archive's or the worklist\n"
    "server's AE title only: C-ECHO, C-STORE of ECG waveforms and PDFs into\n"
    "archive-cache/<study UID>/, and the archive's storage commitment reports, which it gives\n"
    "to the outbox entries at once. Runs N seconds, or until SIGINT/SIGTERM. Needs\n"
    "store_scp.enabled=1. Prints one JSON line at the end.\n",
    nullptr};

int runStoreScp(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "seconds"}, {});
    if (!args.ok())
        return usage(kStoreScp, args.error());
    std::optional<int> seconds;
    if (args.has("seconds")) {
        seconds = intValue(args.valueOr("seconds", ""), 1, 30 * 24 * 3600);
        if (!seconds)
            return usage(kStoreScp, "--seconds must be a whole number from 1 to 2592000");
    }
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    if (!settings->storeScp)
        return fail("The store SCP is switched off (store_scp.enabled=0 in " +
                    (dir / net::kSettingsFileName).string() + ")");
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    net::Outbox outbox(dir);
    net::StoreScp scp;
    if (auto s = scp.start(*settings, dir); !s)
        return fail(s.message);
    std::cerr << "velkard-cli: listening on port " << settings->port << " as " << settings->aeTitle
              << '\n';
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds.value_or(0));
    int taken = 0;
    while (!stopSignal && (!seconds || std::chrono::steady_clock::now() < until)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (scp.reportsKept() != taken && outbox.takeReports(std::time(nullptr)))
            taken = scp.reportsKept();
    }
    scp.stop();
    outbox.takeReports(std::time(nullptr));
    std::cout << "{\"reports\":" << scp.reportsKept() << ",\"stored\":" << scp.objectsStored()
              << "}\n";
    return kOk;
}

const Command kStudies{
    "studies", "the archive's ECG studies of a patient (C-FIND)",
    "Usage: velkard-cli studies ID [--dir DIR] [--all-modalities]\n"
    "Asks the archive for the studies of patient ID (the card's ID; the hospital patient ID kept\n"
    "beside the card is asked for when there is one) that hold ECGs, one JSON object a line.\n",
    nullptr};

int runStudies(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {"all-modalities"});
    if (!args.ok())
        return usage(kStudies, args.error());
    if (args.positional().size() != 1)
        return usage(kStudies, "expects ID");
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    cardfile::CardFile cardFile(dir);
    std::string id = args.positional()[0];
    if (auto h = net::hospitalIdOf(cardFile, id); h && h.value)
        id = *h.value;
    while (!id.empty() && id.front() == ' ')
        id.erase(id.begin());
    auto studies = net::findStudies(*settings, id, args.has("all-modalities") ? "" : "ECG");
    if (!studies)
        return fail(studies.message);
    for (const auto& s : studies.value)
        std::cout << "{\"study_uid\":" << json(s.studyInstanceUid)
                  << ",\"date\":" << json(s.studyDate) << ",\"time\":" << json(s.studyTime)
                  << ",\"description\":" << json(s.studyDescription)
                  << ",\"accession\":" << json(s.accessionNumber)
                  << ",\"patient_id\":" << json(s.patientId)
                  << ",\"modalities\":" << json(s.modalities) << "}\n";
    return kOk;
}

const Command kFetch{
    "fetch", "fetch a study from the archive (C-GET) into DIR/fetched",
    "Usage: velkard-cli fetch STUDY-UID [--dir DIR]\n"
    "Fetches every object of the study by C-GET into DIR/fetched/STUDY-UID/ and\n"
    "prints each file received. With archive.fetch=move by C-MOVE to the own AE\n"
    "title instead, received by the store SCP into DIR/archive-cache/STUDY-UID/.\n",
    nullptr};

int runFetch(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {});
    if (!args.ok())
        return usage(kFetch, args.error());
    if (args.positional().size() != 1)
        return usage(kFetch, "expects STUDY-UID");
    const std::string uid = args.positional()[0];
    if (uid.empty() || uid.find_first_not_of("0123456789.") != std::string::npos)
        return usage(kFetch, "STUDY-UID must be digits and dots");
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    if (settings->archiveFetch == "move") {
        auto fetched = net::fetchStudy(*settings, uid, dir);
        if (!fetched)
            return fail(fetched.message);
        for (const auto& f : fetched.value.files)
            std::cout << f.string() << '\n';
        return kOk;
    }
    auto files = net::getStudy(*settings, uid, dir / "fetched" / uid);
    for (const auto& f : files.value)
        std::cout << f.string() << '\n';
    if (!files)
        return fail(files.message);
    return kOk;
}

const Command kGdt{
    "gdt", "GDT exchange: list requests (6302), take one, write the result (6310)",
    "Usage: velkard-cli gdt requests [--dir DIR]\n"
    "       velkard-cli gdt take FILE [--dir DIR] [--english]\n"
    "       velkard-cli gdt result FILE ID NUMBER [--dir DIR] [--english]\n"
    "requests lists the 6302 requests of the exchange folder (gdt.folder) for this program\n"
    "(gdt.own_id); take finds the request's patient by its patient number kept beside the card,\n"
    "or makes a card; result writes the 6310 result of recording NUMBER of patient ID for the\n"
    "request FILE into the exchange folder: the measurements, the statements and the report PDF\n"
    "(written beside it) linked, then renames FILE to FILE.done.\n",
    nullptr};

int runGdt(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {"english"});
    if (!args.ok())
        return usage(kGdt, args.error());
    const auto& pos = args.positional();
    if (pos.empty())
        return usage(kGdt, "expects requests, take or result");
    const std::filesystem::path dir = args.valueOr("dir", ".");
    auto settings = settingsOf(dir);
    if (!settings)
        return kFailure;
    if (settings->gdtFolder.empty())
        return fail("No GDT exchange folder is configured (gdt.folder)");
    auto requests = net::readGdtRequests(settings->gdtFolder, settings->gdtOwnId);
    if (!requests)
        return fail(requests.message);
    if (pos[0] == "requests" && pos.size() == 1) {
        for (const auto& r : requests.value)
            std::cout << "{\"file\":" << json(r.file.string()) << ",\"sender\":" << json(r.senderId)
                      << ",\"patient_number\":" << json(r.patientNumber)
                      << ",\"family_name\":" << json(r.familyName)
                      << ",\"given_name\":" << json(r.givenName)
                      << ",\"birth_date\":" << json(r.birthDate) << ",\"sex\":" << json(r.sex)
                      << ",\"test\":" << json(r.test) << "}\n";
        return kOk;
    }
    if (pos.size() < 2)
        return usage(kGdt, "expects the request FILE");
    const net::GdtRequest* request = nullptr;
    for (const auto& r : requests.value)
        if (std::filesystem::path(pos[1]).filename() == r.file.filename())
            request = &r;
    if (!request)
        return fail("No 6302 request " + pos[1] + " in " + settings->gdtFolder);
    cardfile::CardFile cardFile(dir);
    if (pos[0] == "take" && pos.size() == 2) {
        const net::WorklistItem item = net::itemOfGdtRequest(*request);
        auto patient = net::patientForOrder(cardFile, item, !args.has("english"));
        if (!patient)
            return fail(patient.message);
        std::cout << "{\"id\":" << json(patient.value.patient.id)
                  << ",\"created\":" << (patient.value.created ? "true" : "false") << "}\n";
        return kOk;
    }
    if (pos[0] == "result" && pos.size() == 4) {
        auto number = intValue(pos[3], 1, 999);
        if (!number)
            return usage(kGdt, "NUMBER must be a whole number from 1 to 999");
        auto ref = net::findRecording(cardFile, pos[2], int(*number));
        if (!ref)
            return fail(ref.message);
        auto app = guiApplication();
        auto written = net::ui::answerGdtRequest(cardFile, *settings, *request, ref.value.patient,
                                                 ref.value.entry, !args.has("english"));
        if (!written)
            return fail(written.message);
        std::cout << written.value.string() << '\n';
        return kOk;
    }
    return usage(kGdt, "expects requests, take FILE or result FILE ID NUMBER");
}

const Registration kRegistrations[] = {
    Registration{Command{kEcho.name, kEcho.summary, kEcho.help, runEcho}},
    Registration{Command{kWorklist.name, kWorklist.summary, kWorklist.help, runWorklist}},
    Registration{Command{kSend.name, kSend.summary, kSend.help, runSend}},
    Registration{Command{kOutbox.name, kOutbox.summary, kOutbox.help, runOutbox}},
    Registration{Command{kStoreScp.name, kStoreScp.summary, kStoreScp.help, runStoreScp}},
    Registration{Command{kStudies.name, kStudies.summary, kStudies.help, runStudies}},
    Registration{Command{kFetch.name, kFetch.summary, kFetch.help, runFetch}},
    Registration{Command{kGdt.name, kGdt.summary, kGdt.help, runGdt}},
};

} // namespace
} // namespace velkard::cli
