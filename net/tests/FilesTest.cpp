// SPDX-License-Identifier: GPL-3.0-or-later
// The network's files: the settings, the orders beside the card file, GDT records.
#include "cardfile/CardFile.h"
#include "net/Gdt.h"
#include "net/Hl7Orders.h"
#include "net/Orders.h"
#include "net/Settings.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace velkard::net {
namespace {

class Scratch {
public:
    Scratch() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("velkard_net_" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(NetworkSettings, RoundTripDefaultsAndAClearMessageForABadPort) {
    Scratch dir;
    auto defaults = loadSettings(dir.path());
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults.value.aeTitle, "VELKARD");
    EXPECT_FALSE(defaults.value.storeScp);
    EXPECT_FALSE(defaults.value.pacs.configured());

    NetworkSettings s;
    s.aeTitle = "ECG_ROOM_2";
    s.pacs = {"pacs.clinic.local", 11112, "ORTHANC", true};
    s.worklist = {"127.0.0.1", 4242, "WL", false};
    s.hl7 = {"his", 2575, "", true};
    s.gdtFolder = "/srv/gdt";
    s.sendAfterSave = true;
    s.sendAfterConfirmation = true;
    s.tlsCaFile = "/etc/ssl/clinic-ca.pem";
    ASSERT_TRUE(saveSettings(dir.path(), s));
    auto back = loadSettings(dir.path());
    ASSERT_TRUE(back) << back.message;
    EXPECT_EQ(back.value.aeTitle, "ECG_ROOM_2");
    EXPECT_EQ(back.value.pacs.host, "pacs.clinic.local");
    EXPECT_EQ(back.value.pacs.port, 11112);
    EXPECT_TRUE(back.value.pacs.tls);
    EXPECT_EQ(back.value.worklist.aeTitle, "WL");
    EXPECT_EQ(back.value.hl7.host, "his");
    EXPECT_TRUE(back.value.hl7.tls);
    EXPECT_EQ(back.value.gdtFolder, "/srv/gdt");
    EXPECT_TRUE(back.value.sendAfterSave);
    EXPECT_TRUE(back.value.sendAfterConfirmation);
    EXPECT_EQ(back.value.tlsCaFile, "/etc/ssl/clinic-ca.pem");

    // The store SCP, storage commitment and the way of fetching, also under the store SCP's
    // earlier key names; a way of fetching other than get or move is refused.
    s.storeScp = true;
    s.port = 4104;
    s.storageCommitment = true;
    s.commitmentWaitSeconds = 600;
    s.archiveFetch = "move";
    ASSERT_TRUE(saveSettings(dir.path(), s));
    const std::string written = slurp(dir.path() / kSettingsFileName);
    EXPECT_NE(written.find("store_scp.enabled=1\nstore_scp.port=4104\n"), std::string::npos);
    back = loadSettings(dir.path());
    ASSERT_TRUE(back) << back.message;
    EXPECT_TRUE(back.value.storeScp);
    EXPECT_EQ(back.value.port, 4104);
    EXPECT_TRUE(back.value.storageCommitment);
    EXPECT_EQ(back.value.commitmentWaitSeconds, 600);
    EXPECT_EQ(back.value.archiveFetch, "move");
    std::ofstream(dir.path() / kSettingsFileName) << "port=4105\nstore_scp=1\n";
    back = loadSettings(dir.path());
    ASSERT_TRUE(back) << back.message;
    EXPECT_TRUE(back.value.storeScp);
    EXPECT_EQ(back.value.port, 4105);
    EXPECT_FALSE(back.value.storageCommitment);
    std::ofstream(dir.path() / kSettingsFileName) << "archive.fetch=ftp\n";
    EXPECT_EQ(loadSettings(dir.path()).code, ErrorCode::BadData);

    std::ofstream(dir.path() / kSettingsFileName) << "ae_title=X\npacs.port=eleven\n";
    auto bad = loadSettings(dir.path());
    EXPECT_EQ(bad.code, ErrorCode::BadData);
    EXPECT_NE(bad.message.find("line 2"), std::string::npos);
    EXPECT_NE(bad.message.find("pacs.port"), std::string::npos);

    EXPECT_TRUE(validAeTitle("VELKARD"));
    EXPECT_FALSE(validAeTitle(""));
    EXPECT_FALSE(validAeTitle("    "));
    EXPECT_FALSE(validAeTitle("SEVENTEEN_CHARS_X"));
    EXPECT_FALSE(validAeTitle("A\\B"));
}

TEST(Orders,
     TheWorklistPatientIsFoundByTheHospitalIdOrMadeAndThePendingOrderGoesToTheNextRecording) {
    Scratch dir;
    cardfile::CardFile cardFile(dir.path());
    WorklistItem item;
    item.patientName = "Петров^Пётр^Ильич";
    item.patientId = "H-0042";
    item.birthDate = "19610304";
    item.sex = "M";
    item.accessionNumber = "ACC77";
    item.requestedProcedureId = "RP1";
    item.studyInstanceUid = "1.2.3.4";
    auto made = patientForOrder(cardFile, item);
    ASSERT_TRUE(made) << made.message;
    EXPECT_TRUE(made.value.created);
    EXPECT_EQ(made.value.patient.name, "Петров Пётр Ильич");
    EXPECT_EQ(made.value.patient.birthDate, "04.03.1961");
    EXPECT_EQ(made.value.patient.sex, "Муж");
    auto again = patientForOrder(cardFile, item);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again.value.created);
    EXPECT_EQ(again.value.patient.id, made.value.patient.id);
    EXPECT_EQ(cardFile.listPatients().value.size(), 1u);
    EXPECT_EQ(*hospitalIdOf(cardFile, made.value.patient.id).value, "H-0042");

    const std::string id = made.value.patient.id;
    // Taken at 10:00 on 05.03.2024 (local time).
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 10;
    t.tm_isdst = -1;
    ASSERT_TRUE(setPendingOrder(cardFile, id, orderOf(item), std::mktime(&t)));
    // A recording made before the order was taken does not take it.
    auto earlier = orderOfRecording(cardFile, id, "05.03.2024 09:00:00", true);
    ASSERT_TRUE(earlier);
    EXPECT_FALSE(earlier.value);
    auto made1 = orderOfRecording(cardFile, id, "05.03.2024 10:05:00", true);
    ASSERT_TRUE(made1 && made1.value);
    EXPECT_EQ(made1.value->accessionNumber, "ACC77");
    EXPECT_EQ(made1.value->studyInstanceUid, "1.2.3.4");
    // It stays with that recording, and the next one gets none.
    EXPECT_EQ(orderOfRecording(cardFile, id, "05.03.2024 10:05:00", false).value, made1.value);
    EXPECT_FALSE(orderOfRecording(cardFile, id, "05.03.2024 10:30:00", true).value);
}

TEST(Gdt, ResultLinesAndRecordLengthAgreeAndARequestIsRead) {
    Scratch dir;
    GdtResult r;
    r.receiverId = "PRAX_EDV";
    r.ownId = "VELKARD";
    r.patientNumber = "4711";
    r.familyName = "Müller";
    r.givenName = "Анна"; // not in ISO 8859-1
    r.birthDate = "01.02.1950";
    r.test = "EKG01";
    r.testDate = "05.03.2024";
    r.testTime = "14:30:00";
    r.values = {{"HF", "Herzfrequenz", "/min", 71.6}, {"QT", "QT-Zeit", "ms", std::nullopt}};
    r.statements = {"Sinusrhythmus"};
    r.pdfPath = "/srv/gdt/r.pdf";
    auto path = writeGdtResult(dir.path(), r);
    ASSERT_TRUE(path) << path.message;
    EXPECT_EQ(path.value.filename(), "PRAXVELK.gdt");
    const std::string bytes = slurp(path.value);
    // Every line: 3-digit length of the whole line, CR LF included.
    std::size_t at = 0, lines = 0;
    while (at < bytes.size()) {
        const auto end = bytes.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(std::stoul(bytes.substr(at, 3)), end + 2 - at) << bytes.substr(at, end - at);
        at = end + 2;
        ++lines;
    }
    EXPECT_GT(lines, 10u);
    auto rec = parseGdt(bytes);
    ASSERT_TRUE(rec) << rec.message;
    EXPECT_EQ(rec.value.field("8000"), "6310");
    EXPECT_EQ(std::stoul(*rec.value.field("8100")), bytes.size());
    EXPECT_EQ(rec.value.field("3101"), "Müller");
    EXPECT_EQ(rec.value.field("3102"), "????");
    EXPECT_EQ(rec.value.field("8420"), "72");
    EXPECT_EQ(rec.value.field("6305"), "/srv/gdt/r.pdf");
    // The unmeasured QT is left out, not written as a number.
    int values = 0;
    for (const auto& [k, v] : rec.value.fields)
        values += k == "8420";
    EXPECT_EQ(values, 1);

    // A request from the practice; a broken line is refused with its number.
    std::ofstream(dir.path() / "VELKPRAX.gdt", std::ios::binary)
        << encodeGdt("6302", {{"8315", "VELKARD"},
                              {"8316", "PRAX_EDV"},
                              {"9218", "02.10"},
                              {"3000", "4711"},
                              {"3101", "Müller"},
                              {"3102", "Anna"},
                              {"3103", "01021950"},
                              {"3110", "2"},
                              {"8402", "EKG01"}});
    std::ofstream(dir.path() / "OTHER.gdt", std::ios::binary)
        << encodeGdt("6302", {{"8315", "SONO"}, {"3000", "1"}});
    auto requests = readGdtRequests(dir.path(), "VELKARD");
    ASSERT_TRUE(requests);
    ASSERT_EQ(requests.value.size(), 1u);
    EXPECT_EQ(requests.value[0].patientNumber, "4711");
    EXPECT_EQ(requests.value[0].familyName, "Müller");
    EXPECT_EQ(requests.value[0].birthDate, "01.02.1950");
    EXPECT_EQ(requests.value[0].sex, "F");
    EXPECT_EQ(requests.value[0].senderId, "PRAX_EDV");
    EXPECT_EQ(parseGdt("01380006302\r\n0128100x\r\n").code, ErrorCode::BadData);
}

} // namespace
TEST(Orders, TheArchiveIsAskedByHospitalIdElseByNameAndBirthDateWithNoWildcardFromTheCard) {
    Scratch dir;
    cardfile::CardFile cardFile(dir.path());
    cardfile::PatientRecord p;
    p.id = cardFile.newPatientId();
    p.name = "Сидоров* Иван? Петрович";
    p.birthDate = "02.03.1950";
    p.policy = "1";
    ASSERT_TRUE(cardFile.createPatientArchive(p.id));
    ASSERT_TRUE(cardFile.appendPatientRecord(p));
    auto byName = studyQueryFor(cardFile, p);
    ASSERT_TRUE(byName) << byName.message;
    EXPECT_EQ(byName.value.patientId, "");
    EXPECT_EQ(byName.value.patientName, "Сидоров^Иван*");
    EXPECT_EQ(byName.value.birthDate, "19500302");
    // A family name alone; no birth date known.
    p.name = "Кузнецова";
    p.birthDate = "";
    EXPECT_EQ(studyQueryFor(cardFile, p).value.patientName, "Кузнецова*");
    EXPECT_EQ(studyQueryFor(cardFile, p).value.birthDate, "");
    p.name = "*";
    EXPECT_FALSE(studyQueryFor(cardFile, p));
    // With the hospital ID kept, only that.
    ASSERT_TRUE(setHospitalId(cardFile, p.id, "H-0777"));
    auto byId = studyQueryFor(cardFile, p);
    ASSERT_TRUE(byId);
    EXPECT_EQ(byId.value.patientId, "H-0777");
    EXPECT_EQ(byId.value.patientName, "");

    // What may name a folder of the archive cache.
    for (const char* good : {"1.2.840.10008.1", "2.25.1234567890", "7"})
        EXPECT_TRUE(validUid(good)) << good;
    for (const std::string& bad :
         std::vector<std::string>{"", ".", "..", "1..2", ".1.2", "1.2.", "1/2", "../1", "1.2 ",
                                  "1.2.3a", std::string(65, '1')})
        EXPECT_FALSE(validUid(bad)) << bad;
    EXPECT_TRUE(validUid(std::string(64, '1')));
}

namespace {

// HL7 order messages as an interface engine writes them, each field put where the profile puts
// it: ORM^O01 (v2.3, the accession in OBR-18) and OMG^O19 (v2.5 with IPC and TQ1).
std::string orm(const std::string& control, const std::string& placer, const std::string& start,
                const std::string& service = "EC") {
    return "MSH|^~\\&|HIS|HOSP|VELKARD|ECG|20261209080000||ORM^O01|M" + placer + control +
           "|P|2.3\r"
           "PID|1||H-77^^^HOSP^MR~X-1||M\\E\\ller^Anna^Maria||19500102|F\r"
           "ORC|" +
           control + "|" + placer + "|F-" + placer +
           "\r"
           "OBR|1|" +
           placer + "|F-" + placer + "|93000^ECG 12 \\T\\ rhythm\\S\\rest||||||||||||||ACC-" +
           placer + "|RP-" + placer + "|SPS-" + placer + "||||" + service + "|||^^^" + start + "\r";
}

} // namespace

TEST(Hl7Orders, FieldsOfAnOrmAndAnOmgWithTheirEscapesAndCharacterSet) {
    auto a = parseHl7Order(orm("NW", "P100", "202612091030"));
    ASSERT_TRUE(a) << a.message;
    EXPECT_EQ(a.value.control, "NW");
    EXPECT_EQ(a.value.placerOrder, "P100");
    const WorklistItem& w = a.value.item;
    EXPECT_EQ(w.patientId, "H-77");
    EXPECT_EQ(w.patientName, "M\\ller^Anna^Maria");
    EXPECT_EQ(w.birthDate, "19500102");
    EXPECT_EQ(w.sex, "F");
    EXPECT_EQ(w.accessionNumber, "ACC-P100");
    EXPECT_EQ(w.requestedProcedureId, "RP-P100");
    EXPECT_EQ(w.scheduledStepId, "SPS-P100");
    EXPECT_EQ(w.requestedProcedureDescription, "ECG 12 & rhythm^rest");
    EXPECT_EQ(w.scheduledDate, "20261209");
    EXPECT_EQ(w.scheduledTime, "103000");
    // No UID in the message: one made from the placer number, a valid UID, the same each time.
    EXPECT_EQ(w.studyInstanceUid.rfind("2.25.", 0), 0u);
    EXPECT_LE(w.studyInstanceUid.size(), 64u);
    EXPECT_EQ(w.studyInstanceUid.find_first_not_of("0123456789.", 0), std::string::npos);
    EXPECT_NE(w.studyInstanceUid[5], '0');
    EXPECT_EQ(parseHl7Order(orm("NW", "P100", "2026")).value.item.studyInstanceUid,
              w.studyInstanceUid);
    EXPECT_NE(parseHl7Order(orm("NW", "P101", "2026")).value.item.studyInstanceUid,
              w.studyInstanceUid);

    const std::string omg = "MSH|^~\\&|RIS|HOSP|VELKARD|ECG|20261209||OMG^O19^OMG_O19|77|P|2.5"
                            "||||||8859/1\r"
                            "PID|1||4711||M\xfcller^J\xf6rg||19610304|M\r"
                            "ORC|XO|PL-9|FI-9\r"
                            "TQ1|1||||||20261210081500\r"
                            "OBR|1|PL-9|FI-9|ECG^Resting ECG|||20261201\r"
                            "IPC|ACC-9|RP-9|1.2.3.4.5|SPS-9|ECG||||ROOM_2\r";
    auto b = parseHl7Order(omg);
    ASSERT_TRUE(b) << b.message;
    EXPECT_EQ(b.value.control, "XO");
    EXPECT_EQ(b.value.item.patientName, "M\xc3\xbcller^J\xc3\xb6rg");
    EXPECT_EQ(b.value.item.accessionNumber, "ACC-9");
    EXPECT_EQ(b.value.item.requestedProcedureId, "RP-9");
    EXPECT_EQ(b.value.item.studyInstanceUid, "1.2.3.4.5");
    EXPECT_EQ(b.value.item.scheduledStepId, "SPS-9");
    EXPECT_EQ(b.value.item.stationAeTitle, "ROOM_2");
    EXPECT_EQ(b.value.item.scheduledDate, "20261210") << "TQ1-7 before OBR-7";
    EXPECT_EQ(b.value.item.scheduledTime, "081500");

    // What is no order is said as such.
    EXPECT_FALSE(parseHl7Order("ADT^A01"));
    auto adt = parseHl7Order("MSH|^~\\&|HIS|H|V|E|2026||ADT^A01|1|P|2.5\rPID|1||9||X\r");
    EXPECT_EQ(adt.code, ErrorCode::BadData);
    EXPECT_NE(adt.message.find("ADT^A01"), std::string::npos);
    EXPECT_FALSE(parseHl7Order("MSH|^~\\&|HIS|H|V|E|2026||ORM^O01|1|P|2.3\rPID|1||9||X\r"));
}

TEST(Hl7Orders, DamagedMessagesAreReadOrRefusedNeverACrash) {
    // The interface engine's files are input from outside: messages cut, with bytes changed or
    // with escapes, separators and segment ends put anywhere (ASan watches).
    std::mt19937 random(11);
    const std::string base = orm("NW", "P7", "202612091030") +
                             "IPC|A\\X41\\|B|1.2|S||||ROOM\rZDS|1.2.3^^Application^DICOM\r";
    const std::string pieces[] = {
        "\\", "\\X", "\\XZZ\\", "\\X4\\", "|",    "^",    "~",
        "&",  "\r",  "MSH|",    "\x0b",   "\x1c", "\xff", std::string(1, '\0')};
    int parsed = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string m = base;
        const int edits = 1 + int(random() % 6);
        for (int e = 0; e < edits && !m.empty(); ++e) {
            const std::size_t at = random() % m.size();
            switch (random() % 3) {
            case 0:
                m.insert(at, pieces[random() % std::size(pieces)]);
                break;
            case 1:
                m.erase(at, 1 + random() % 8);
                break;
            default:
                m[at] = char(random() % 256);
            }
        }
        if (random() % 4 == 0)
            m.resize(random() % (m.size() + 1));
        auto r = parseHl7Order(m);
        if (r) {
            ++parsed;
            EXPECT_FALSE(r.value.placerOrder.empty());
            EXPECT_FALSE(r.value.item.patientId.empty());
            EXPECT_LE(r.value.item.studyInstanceUid.size(), 64u);
        } else {
            EXPECT_FALSE(r.message.empty());
        }
    }
    EXPECT_GT(parsed, 100) << "most small damage still leaves an order";
}

TEST(Hl7Orders, TheFolderInNameOrderCancelsTakeBackAndOnlyTheDaysEcgOrdersAreListed) {
    Scratch dir;
    const auto folder = dir.path() / "orders";
    std::filesystem::create_directories(folder);
    // Two orders in one MLLP-framed file with LF line ends, a cancel of the first later on.
    std::string two = "\x0b" + orm("NW", "A1", "202612090900") + "\x1c\r" + "\x0b" +
                      orm("NW", "B2", "202612091100") + "\x1c\r";
    for (char& c : two)
        if (c == '\r')
            c = '\n';
    std::ofstream(folder / "0001.hl7", std::ios::binary) << two;
    std::ofstream(folder / "0002.hl7", std::ios::binary) << orm("CA", "A1", "202612090900");
    std::ofstream(folder / "0003.hl7", std::ios::binary)
        << orm("NW", "C3", "202612100800") << orm("NW", "D4", "202612091200", "CT");
    std::ofstream(folder / "0004.txt", std::ios::binary) << "not a message";
    std::ofstream(folder / ".partial", std::ios::binary) << orm("NW", "E5", "202612091300");

    WorklistQuery today;
    today.fromDate = today.toDate = "20261209";
    auto r = readHl7Orders(folder, today);
    ASSERT_TRUE(r) << r.message;
    ASSERT_EQ(r.value.items.size(), 1u) << "A1 cancelled, C3 tomorrow, D4 a CT, E5 hidden";
    EXPECT_EQ(r.value.items[0].accessionNumber, "ACC-B2");
    EXPECT_EQ(r.value.items[0].modality, "ECG");
    ASSERT_EQ(r.value.problems.size(), 1u);
    EXPECT_NE(r.value.problems[0].find("0004.txt"), std::string::npos);
    WorklistQuery any;
    any.modality.clear();
    EXPECT_EQ(readHl7Orders(folder, any).value.items.size(), 3u);
    // Read, never changed.
    EXPECT_EQ(slurp(folder / "0002.hl7"), orm("CA", "A1", "202612090900"));

    NetworkSettings s;
    EXPECT_EQ(findOrders(s, today).code, ErrorCode::InvalidArgument);
    s.hl7OrdersFolder = folder.string();
    std::vector<std::string> problems;
    auto found = findOrders(s, today, &problems);
    ASSERT_TRUE(found) << found.message;
    EXPECT_EQ(found.value.size(), 1u);
    EXPECT_EQ(problems.size(), 1u);
    s.hl7OrdersFolder = (dir.path() / "missing").string();
    EXPECT_EQ(findOrders(s, today).code, ErrorCode::IoError);
}

} // namespace velkard::net
