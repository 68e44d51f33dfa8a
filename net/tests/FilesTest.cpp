// SPDX-License-Identifier: GPL-3.0-or-later
// The network's files: the settings, the orders beside the card file, GDT records.
#include "cardfile/CardFile.h"
#include "net/Gdt.h"
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

} // namespace velkard::net
