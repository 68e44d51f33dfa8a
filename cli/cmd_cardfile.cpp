// SPDX-License-Identifier: GPL-3.0-or-later
// Card-file commands: list patients and archives, add and change patients, file recordings,
// remove entries and patients.
#include "cardfile/CardFile.h"
#include "cardfile/Unfiled.h"
#include "cli/Cli.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;
using cardfile::CardFile;

const char* const kDirHelp =
    "  --dir DIR   working folder that holds DATA_BASE (default: the current folder)\n";

// The working folder; it must exist (DATA_BASE inside it is created on first use).
std::optional<CardFile> openCardFile(const Args& args) {
    fs::path dir = args.valueOr("dir", ".");
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        fail("working folder '" + dir.string() + "' does not exist");
        return std::nullopt;
    }
    return CardFile(dir);
}

// A patient ID as given on the command line: "%8lx", so a shorter hexadecimal text is
// right-aligned.
std::optional<std::string> patientIdArg(const std::string& text) {
    std::string id = text;
    if (id.size() < 8 && !id.empty())
        id = std::string(8 - id.size(), ' ') + id;
    if (!cardfile::isValidPatientId(id))
        return std::nullopt;
    return id;
}

// Position of the patient in the index, or nullopt (with the error printed).
std::optional<std::size_t> findPatient(const CardFile& cf, const std::string& id) {
    auto list = cf.listPatients();
    if (!list) {
        fail(list.message);
        return std::nullopt;
    }
    auto it = std::find_if(list.value.begin(), list.value.end(),
                           [&](const cardfile::PatientRecord& p) { return p.id == id; });
    if (it == list.value.end()) {
        fail("no patient with ID '" + id + "' in the card file");
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - list.value.begin());
}

// A stored text for one tab-separated output field: control characters (a damaged or hostile
// index may hold tabs and line breaks) become '?', so every record stays one line.
std::string cell(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

bool validDate(const std::string& s) {
    if (s.size() != 10 || s[2] != '.' || s[5] != '.')
        return false;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (s[i] < '0' || s[i] > '9')
            return false;
    int day = std::stoi(s.substr(0, 2));
    int month = std::stoi(s.substr(3, 2));
    int year = std::stoi(s.substr(6, 4));
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

extern const Command kPatients;
extern const Command kArchive;
extern const Command kAddPatient;
extern const Command kRemoveEntry;
extern const Command kRemovePatient;
extern const Command kChangePatient;
extern const Command kFileRecording;
extern const Command kRepair;

int runPatients(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {});
    if (!args.ok())
        return usage(kPatients, args.error());
    if (!args.positional().empty())
        return usage(kPatients, "unexpected argument '" + args.positional().front() + "'");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    auto list = cf->listPatients();
    if (!list)
        return fail(list.message);
    for (std::size_t i = 0; i < list.value.size(); ++i) {
        const auto& p = list.value[i];
        std::cout << i << '\t' << cell(p.id) << '\t' << cell(p.name) << '\t' << cell(p.birthDate)
                  << '\t' << cell(p.sex) << '\n';
    }
    return kOk;
}

int runArchive(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {});
    if (!args.ok())
        return usage(kArchive, args.error());
    if (args.positional().size() != 1)
        return usage(kArchive, "expected one patient ID");
    auto id = patientIdArg(args.positional()[0]);
    if (!id)
        return usage(kArchive, "'" + args.positional()[0] + "' is not a patient ID");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    if (!findPatient(*cf, *id))
        return kFailure;
    auto list = cf->listArchiveEntries(*id);
    if (!list)
        return fail(list.message);
    for (const auto& e : list.value)
        std::cout << cell(e.number) << '\t' << cell(e.date) << '\t' << cell(e.time) << '\t'
                  << cell(e.duration) << '\t' << cell(e.kind) << '\n';
    return kOk;
}

int runAddPatient(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "name", "policy", "sex", "birth", "birthplace", "address", "phone"},
              {});
    if (!args.ok())
        return usage(kAddPatient, args.error());
    if (!args.positional().empty())
        return usage(kAddPatient, "unexpected argument '" + args.positional().front() + "'");
    cardfile::NewPatientInput in;
    in.name = args.valueOr("name", "");
    in.policy = args.valueOr("policy", "");
    in.sex = args.valueOr("sex", "");
    in.birthDate = args.valueOr("birth", "");
    in.birthplace = args.valueOr("birthplace", "");
    in.address = args.valueOr("address", "");
    in.telephone = args.valueOr("phone", "");
    switch (cardfile::checkNewPatient(in)) {
    case cardfile::NewPatientCheck::NameAndPolicyMissing:
        return usage(kAddPatient, "--name and --policy are required");
    case cardfile::NewPatientCheck::NameMissing:
        return usage(kAddPatient, "--name is required");
    case cardfile::NewPatientCheck::PolicyMissing:
        return usage(kAddPatient, "--policy is required");
    case cardfile::NewPatientCheck::Ok:
        break;
    }
    const std::vector<std::string> sexes{"", "Муж", "Жен", "men", "wom"};
    if (std::find(sexes.begin(), sexes.end(), in.sex) == sexes.end())
        return usage(kAddPatient, "--sex must be one of Муж, Жен, men, wom");
    if (!in.birthDate.empty() && !validDate(in.birthDate))
        return usage(kAddPatient, "--birth must be a date DD.MM.YYYY");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    auto created = cardfile::createNewPatient(*cf, in, /*appendToIndex=*/true);
    if (!created)
        return fail(created.message);
    std::cout << created.value.id << '\n';
    return kOk;
}

int runRemoveEntry(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {});
    if (!args.ok())
        return usage(kRemoveEntry, args.error());
    if (args.positional().size() != 2)
        return usage(kRemoveEntry, "expected a patient ID and a record number");
    auto id = patientIdArg(args.positional()[0]);
    if (!id)
        return usage(kRemoveEntry, "'" + args.positional()[0] + "' is not a patient ID");
    auto number = intValue(args.positional()[1], 1, cardfile::kMaxRecordNumber);
    if (!number)
        return usage(kRemoveEntry, "record number must be a whole number from 1 to 999");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    if (!findPatient(*cf, *id))
        return kFailure;
    auto s = cf->removeArchiveEntry(*id, static_cast<std::size_t>(*number - 1));
    if (!s)
        return fail(s.message);
    return kOk;
}

int runRemovePatient(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "row"}, {});
    if (!args.ok())
        return usage(kRemovePatient, args.error());
    if (args.has("row")) {
        // A damaged row (its stored ID is no valid ID) is named by its place in the list.
        if (!args.positional().empty())
            return usage(kRemovePatient, "give either a patient ID or --row, not both");
        auto row = intValue(args.valueOr("row", ""), 0, 1'000'000);
        if (!row)
            return usage(kRemovePatient, "--row must be a row number of 'patients'");
        auto cf = openCardFile(args);
        if (!cf)
            return kFailure;
        auto record = cf->readPatient(static_cast<std::size_t>(*row));
        if (!record)
            return fail(record.message);
        auto s = cf->removePatient(static_cast<std::size_t>(*row), record.value.id);
        return s ? kOk : fail(s.message);
    }
    if (args.positional().size() != 1)
        return usage(kRemovePatient, "expected one patient ID");
    auto id = patientIdArg(args.positional()[0]);
    if (!id)
        return usage(kRemovePatient, "'" + args.positional()[0] + "' is not a patient ID");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    auto position = findPatient(*cf, *id);
    if (!position)
        return kFailure;
    auto s = cf->removePatient(*position, *id);
    if (!s)
        return fail(s.message);
    return kOk;
}

int runChangePatient(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "name", "policy", "sex", "birth", "birthplace", "address", "phone"},
              {});
    if (!args.ok())
        return usage(kChangePatient, args.error());
    if (args.positional().size() != 1)
        return usage(kChangePatient, "expected one patient ID");
    auto id = patientIdArg(args.positional()[0]);
    if (!id)
        return usage(kChangePatient, "'" + args.positional()[0] + "' is not a patient ID");
    if (auto sex = args.value("sex")) {
        const std::vector<std::string> sexes{"", "Муж", "Жен", "men", "wom"};
        if (std::find(sexes.begin(), sexes.end(), *sex) == sexes.end())
            return usage(kChangePatient, "--sex must be one of Муж, Жен, men, wom");
    }
    if (auto birth = args.value("birth"); birth && !birth->empty() && !validDate(*birth))
        return usage(kChangePatient, "--birth must be a date DD.MM.YYYY");
    if (args.has("name") && args.valueOr("name", "").empty())
        return usage(kChangePatient, "--name must not be empty");
    if (args.has("policy") && args.valueOr("policy", "").empty())
        return usage(kChangePatient, "--policy must not be empty");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    auto position = findPatient(*cf, *id);
    if (!position)
        return kFailure;
    auto record = cf->readPatient(*position);
    if (!record)
        return fail(record.message);
    cardfile::PatientRecord r = record.value;
    r.name = args.valueOr("name", r.name);
    r.policy = args.valueOr("policy", r.policy);
    r.sex = args.valueOr("sex", r.sex);
    r.birthDate = args.valueOr("birth", r.birthDate);
    r.birthplace = args.valueOr("birthplace", r.birthplace);
    r.address = args.valueOr("address", r.address);
    r.telephone = args.valueOr("phone", r.telephone);
    auto s = cf->rewritePatientRecord(*position, r);
    return s ? kOk : fail(s.message);
}

// A recording file as acquisition writes it (whole sample records) filed as Save after Write
// does: the next number, the recording copied in, then the entry.
int runFileRecording(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "seconds", "date", "time"}, {});
    if (!args.ok())
        return usage(kFileRecording, args.error());
    if (args.positional().size() != 2)
        return usage(kFileRecording, "expected a patient ID and a recording file");
    auto id = patientIdArg(args.positional()[0]);
    if (!id)
        return usage(kFileRecording, "'" + args.positional()[0] + "' is not a patient ID");
    auto seconds = intValue(args.valueOr("seconds", ""), 0, cardfile::kMaxDurationSeconds);
    if (!seconds)
        return usage(kFileRecording, "--seconds must be a whole number from 0 to 9999");
    const std::string date = args.valueOr("date", "01.01.2026");
    if (!validDate(date))
        return usage(kFileRecording, "--date must be a date DD.MM.YYYY");
    const std::string time = args.valueOr("time", "00:00:00");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    // The longest recording an entry can list: 9999 s of 800 records per second, and a little.
    constexpr std::uint64_t kLimit = std::uint64_t{10000} * 800 * 16;
    signal::BytesResult body = signal::readWholeFile(args.positional()[1], kLimit);
    if (!body)
        return fail(body.message);
    auto filed =
        cf->fileRecording(*id, body.value, date, time, cardfile::EntryDuration::ofSeconds(*seconds),
                          cardfile::kKindPlain);
    if (!filed)
        return fail(filed.message);
    std::cout << filed.value << '\n';
    return kOk;
}

// Sets a damaged journal aside so the card file works again; a sound one is left to be finished.
int runRepair(const std::vector<std::string>& argv) {
    Args args(argv, {"dir"}, {});
    if (!args.ok())
        return usage(kRepair, args.error());
    if (!args.positional().empty())
        return usage(kRepair, "unexpected argument '" + args.positional().front() + "'");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    auto aside = cf->setDamagedJournalAside();
    if (!aside)
        return fail(aside.message);
    if (aside.value.empty()) {
        std::cout << "nothing to repair\n";
        return kOk;
    }
    std::cout << "damaged journal set aside as " << aside.value << '\n';
    return kOk;
}

extern const Command kRecover;

// Lists the recordings left unfiled (also those set aside), files all whose patient is known, or
// files one into the patient named.
int runRecover(const std::vector<std::string>& argv) {
    Args args(argv, {"dir", "file", "patient"}, {"all"});
    if (!args.ok())
        return usage(kRecover, args.error());
    if (!args.positional().empty())
        return usage(kRecover, "unexpected argument '" + args.positional().front() + "'");
    if (args.has("file") != args.has("patient"))
        return usage(kRecover, "--file and --patient go together");
    if (args.has("file") && args.has("all"))
        return usage(kRecover,
                     "--all files every recording whose patient is known; not with --file");
    auto cf = openCardFile(args);
    if (!cf)
        return kFailure;
    const auto unfiled = cardfile::listUnfiledRecordings(*cf, true);
    if (args.has("file")) {
        const auto id = patientIdArg(*args.value("patient"));
        if (!id)
            return usage(kRecover, "patient ID '" + *args.value("patient") + "' is not valid");
        std::error_code ec;
        const fs::path wanted = fs::weakly_canonical(*args.value("file"), ec);
        for (const auto& r : unfiled) {
            if (fs::weakly_canonical(r.path, ec) != wanted)
                continue;
            auto filed = cardfile::fileUnfiledRecording(*cf, r, *id);
            if (!filed)
                return fail(filed.message);
            std::cout << filed.value << '\n';
            return kOk;
        }
        return fail("'" + *args.value("file") + "' is no unfiled recording of this card file");
    }
    int failed = 0;
    for (const auto& r : unfiled) {
        if (args.has("all") && !r.patientId.empty()) {
            auto filed = cardfile::fileUnfiledRecording(*cf, r, r.patientId);
            if (!filed) {
                std::cerr << "velkard-cli: " << r.path.string() << ": " << filed.message << '\n';
                ++failed;
                continue;
            }
            std::cout << "filed\t" << r.path.string() << '\t' << r.patientId << '\t' << filed.value
                      << '\n';
            continue;
        }
        std::cout << r.path.string() << '\t' << r.patientId << '\t' << r.patientName << '\t'
                  << r.seconds << '\t' << r.date << ' ' << r.time << '\n';
    }
    return failed ? kFailure : kOk;
}

const Command kPatients{"patients", "list the patients of the card file",
                        std::string("Usage: velkard-cli patients [--dir DIR]\n\n"
                                    "Lists the patients of the card file, one line each:\n"
                                    "index<TAB>id<TAB>name<TAB>birth<TAB>sex\n\n") +
                            kDirHelp,
                        runPatients};

const Command kArchive{
    "archive", "list the recordings in a patient's archive",
    std::string("Usage: velkard-cli archive ID [--dir DIR]\n\n"
                "Lists the archive of the patient ID, one line per recording:\n"
                "number<TAB>date<TAB>time<TAB>duration<TAB>kind, every field as stored (with its\n"
                "leading spaces). The kind is two spaces (plain), A2 or RT (rhythmogram).\n\n") +
        kDirHelp,
    runArchive};

const Command kAddPatient{
    "add-patient", "add a patient to the card file",
    std::string(
        "Usage: velkard-cli add-patient --name N --policy P [--sex S] [--birth DD.MM.YYYY]\n"
        "                   [--birthplace T] [--address T] [--phone T] [--dir DIR]\n\n"
        "Creates a patient as the new-patient dialog does: a new ID, an empty archive and\n"
        "the patient record. Prints the ID. Texts longer than their fields are cut (name\n"
        "and policy 29 characters, birthplace and address 49, telephone 15).\n\n"
        "  --sex S     Муж, Жен, men or wom (default: empty)\n"
        "  --birth D   date of birth (default: empty)\n") +
        kDirHelp,
    runAddPatient};

const Command kRemoveEntry{
    "remove-entry", "remove a recording from a patient's archive",
    std::string("Usage: velkard-cli remove-entry ID NUMBER [--dir DIR]\n\n"
                "Removes recording NUMBER (1 for the first) of patient ID with its file; later\n"
                "recordings are renumbered one down, in the archive and in their file names.\n\n") +
        kDirHelp,
    runRemoveEntry};

const Command kRemovePatient{
    "remove-patient", "remove a patient with all recordings",
    std::string("Usage: velkard-cli remove-patient ID [--dir DIR]\n"
                "       velkard-cli remove-patient --row N [--dir DIR]\n\n"
                "Removes patient ID from the card file with the archive and all recordings.\n"
                "--row N removes row N of 'patients' instead; a damaged row whose stored ID is\n"
                "not a valid ID is removed from the index alone.\n\n") +
        kDirHelp,
    runRemovePatient};

const Command kChangePatient{
    "change-patient", "change a patient's record",
    std::string(
        "Usage: velkard-cli change-patient ID [--name N] [--policy P] [--sex S]\n"
        "                   [--birth DD.MM.YYYY] [--birthplace T] [--address T] [--phone T]\n"
        "                   [--dir DIR]\n\n"
        "Rewrites the record of patient ID as the change-patient dialog does: the fields\n"
        "given are replaced, the others and the ID stay.\n\n") +
        kDirHelp,
    runChangePatient};

const Command kFileRecording{
    "file-recording", "file a recording into a patient's card as Save after Write does",
    std::string("Usage: velkard-cli file-recording ID REC.dat --seconds N [--date DD.MM.YYYY]\n"
                "                   [--time hh:mm:ss] [--dir DIR]\n\n"
                "Files the recording file REC.dat (sample records, as 'record' writes them) into\n"
                "the card of patient ID with the next record number and an entry of N seconds.\n"
                "Prints the record number. REC.dat is kept.\n\n") +
        kDirHelp,
    runFileRecording};

const Registration regPatients{kPatients};
const Registration regArchive{kArchive};
const Registration regAddPatient{kAddPatient};
const Registration regRemoveEntry{kRemoveEntry};
const Registration regRemovePatient{kRemovePatient};
const Registration regChangePatient{kChangePatient};
const Registration regFileRecording{kFileRecording};

const Command kRepair{
    "repair", "set a damaged journal of an interrupted change aside",
    std::string("Usage: velkard-cli repair [--dir DIR]\n\n"
                "When the journal of an interrupted change cannot be replayed (it is unreadable\n"
                "or does not fit the archive it names), every change of the card file stops with\n"
                "a message. repair renames it to DATA_BASE/velkard-damaged-journal-<time>, so the\n"
                "card file works again; no recording, archive or record is touched. A sound\n"
                "journal is refused: the next change finishes it.\n\n") +
        kDirHelp,
    runRepair};
const Registration regRepair{kRepair};

const Command kRecover{
    "recover", "list or file the recordings left unfiled",
    std::string(
        "Usage: velkard-cli recover [--dir DIR] [--all | --file PATH --patient ID]\n\n"
        "Recordings a crash, an Exit without Save or a failed Save left beside the card file\n"
        "are never deleted. Without options, lists them, one line each:\n"
        "path<TAB>patient id (empty when unknown)<TAB>name<TAB>seconds<TAB>date time\n"
        "  --all           file every one whose patient is known into that patient's card\n"
        "  --file PATH     file this one into the card of --patient ID (next number)\n") +
        kDirHelp,
    runRecover};
const Registration regRecover{kRecover};

} // namespace
} // namespace velkard::cli
