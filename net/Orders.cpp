// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Orders.h"

#include "cardfile/Lock.h"
#include "export/Export.h"
#include "signal/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string_view>
#include <vector>

namespace velkard::net {

namespace {

using Row = std::vector<std::string>;

std::string clean(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return s;
}

Result<std::vector<Row>> readRows(const std::filesystem::path& path) {
    std::vector<Row> rows;
    std::ifstream in(path);
    if (!in) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec))
            return Result<std::vector<Row>>::failure(ErrorCode::CannotRead,
                                                     "Cannot read " + path.string());
        return Result<std::vector<Row>>::success(rows);
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        Row row;
        std::size_t start = 0;
        while (true) {
            const auto tab = line.find('\t', start);
            row.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        rows.push_back(std::move(row));
    }
    return Result<std::vector<Row>>::success(rows);
}

Status writeRows(const std::filesystem::path& path, const std::vector<Row>& rows) {
    std::string text;
    for (const Row& r : rows) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (i)
                text += '\t';
            text += clean(r[i]);
        }
        text += '\n';
    }
    signal::AtomicFileWriter file(path);
    if (auto s = file.open(); !s)
        return s;
    if (auto s = file.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); !s)
        return s;
    return file.commit(true, text.size());
}

Status lock(const cardfile::CardFile& cardFile, cardfile::CardFileLock& l,
            cardfile::CardFileLock::Mode mode) {
    std::error_code ec;
    std::filesystem::create_directories(cardFile.dataDir(), ec);
    switch (l.acquire(cardFile.dataDir(), mode, cardFile.lockWait())) {
    case cardfile::CardFileLock::Outcome::Locked:
        return Status::success();
    case cardfile::CardFileLock::Outcome::Busy:
        return Status::failure(ErrorCode::Busy, cardfile::kBusyTextEnglish);
    case cardfile::CardFileLock::Outcome::Failed:
        break;
    }
    return Status::failure(ErrorCode::CannotOpen, l.message());
}

// "dd.MM.yyyy hh:mm:ss" as seconds for ordering (local time); nullopt when it does not read.
std::optional<std::int64_t> secondsOf(const std::string& at) {
    std::tm t{};
    if (at.size() != 19 || std::sscanf(at.c_str(), "%2d.%2d.%4d %2d:%2d:%2d", &t.tm_mday, &t.tm_mon,
                                       &t.tm_year, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return std::nullopt;
    t.tm_mon -= 1;
    t.tm_year -= 1900;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

// The row kept in path (read under the caller's lock) for the card's recording made at
// recordedAt, of at least `fields` fields; else, when attachPending, the card's pending row
// becomes that recording's and is written back, unless the recording was made before it was
// taken.
Result<std::optional<Row>> rowOfRecording(const std::filesystem::path& path,
                                          const std::string& cardId, const std::string& recordedAt,
                                          std::size_t fields, bool attachPending) {
    using R = Result<std::optional<Row>>;
    auto rows = readRows(path);
    if (!rows)
        return R::failure(rows);
    for (const Row& r : rows.value)
        if (r.size() >= fields && r[0] == cardId && r[1] == recordedAt)
            return R::success(r);
    if (!attachPending)
        return R::success(std::nullopt);
    const auto at = secondsOf(recordedAt);
    for (Row& r : rows.value) {
        if (r.size() < std::max<std::size_t>(fields, 3) || r[0] != cardId || r[1] != "pending")
            continue;
        std::int64_t taken = 0;
        try {
            taken = std::stoll(r[2]);
        } catch (...) {
            taken = 0;
        }
        if (!at || *at + 1 < taken) // made before it was taken: not for it
            return R::success(std::nullopt);
        r[1] = recordedAt;
        if (auto s = writeRows(path, rows.value); !s)
            return R::failure(s);
        return R::success(r);
    }
    return R::success(std::nullopt);
}

// The card's rows whose second field is `key` ("pending", or the time of a recording).
std::function<bool(const Row&)> cardRow(const std::string& cardId, const std::string& key) {
    return [cardId, key](const Row& r) { return r.size() >= 2 && r[0] == cardId && r[1] == key; };
}

// Under the card file's lock: the rows of file `name` that `drop` matches dropped, and `added`
// appended. Nothing is written when nothing changes.
Status replaceRows(const cardfile::CardFile& cardFile, const char* name,
                   const std::function<bool(const Row&)>& drop, std::optional<Row> added) {
    cardfile::CardFileLock l;
    if (auto s = lock(cardFile, l, cardfile::CardFileLock::Mode::Exclusive); !s)
        return s;
    const auto path = cardFile.dataDir() / name;
    auto rows = readRows(path);
    if (!rows)
        return rows;
    std::vector<Row> kept;
    for (Row& r : rows.value)
        if (!drop(r))
            kept.push_back(std::move(r));
    if (!added && kept.size() == rows.value.size())
        return Status::success();
    if (added)
        kept.push_back(std::move(*added));
    return writeRows(path, kept);
}

// The card file holds Windows-1251, which has no umlauts: German letters are written as German
// writes them without (Müller -> Mueller) rather than as '?'.
std::string withoutUmlauts(const std::string& s) {
    static const std::pair<const char*, const char*> kLetters[] = {
        {"ä", "ae"}, {"ö", "oe"}, {"ü", "ue"}, {"Ä", "Ae"}, {"Ö", "Oe"}, {"Ü", "Ue"}, {"ß", "ss"}};
    std::string out = s;
    for (const auto& [letter, plain] : kLetters)
        for (auto at = out.find(letter); at != std::string::npos; at = out.find(letter, at))
            out.replace(at, std::string_view(letter).size(), plain);
    return out;
}

Order orderFromRow(const Row& r) {
    Order o;
    o.accessionNumber = r.size() > 3 ? r[3] : "";
    o.requestedProcedureId = r.size() > 4 ? r[4] : "";
    o.requestedProcedureDescription = r.size() > 5 ? r[5] : "";
    o.studyInstanceUid = r.size() > 6 ? r[6] : "";
    o.scheduledStepId = r.size() > 7 ? r[7] : "";
    return o;
}

} // namespace

Order orderOf(const WorklistItem& item) {
    return {item.accessionNumber, item.requestedProcedureId, item.requestedProcedureDescription,
            item.studyInstanceUid, item.scheduledStepId};
}

std::string cardName(const std::string& dicomName) {
    // Only the alphabetic group (before any '='), components joined by blanks.
    std::string name = dicomName.substr(0, dicomName.find('='));
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto caret = name.find('^', start);
        std::string part = name.substr(start, caret - start);
        while (!part.empty() && part.back() == ' ')
            part.pop_back();
        if (!part.empty())
            out += (out.empty() ? "" : " ") + part;
        if (caret == std::string::npos)
            break;
        start = caret + 1;
    }
    return out;
}

Result<StudyQuery> studyQueryFor(const cardfile::CardFile& cardFile,
                                 const cardfile::PatientRecord& patient) {
    using R = Result<StudyQuery>;
    auto hospital = hospitalIdOf(cardFile, patient.id);
    if (!hospital)
        return R::failure(hospital);
    StudyQuery q;
    if (hospital.value && !hospital.value->empty()) {
        q.patientId = *hospital.value;
        return R::success(q);
    }
    // The wildcards are the query's own: none from the card.
    auto plain = [](std::string s) {
        std::erase_if(s, [](char c) { return c == '*' || c == '?' || c == '^' || c == '\\'; });
        return s;
    };
    const exporting::PersonName n = exporting::splitName(patient.name);
    const std::string family = plain(n.family), given = plain(n.given);
    if (family.empty())
        return R::failure(ErrorCode::InvalidArgument, "The card holds no name to ask for");
    q.patientName = family + (given.empty() ? "*" : "^" + given + "*");
    if (auto b = exporting::parseDate(patient.birthDate)) {
        char d[16];
        std::snprintf(d, sizeof d, "%04d%02d%02d", b->year, b->month, b->day);
        q.birthDate = d;
    }
    return R::success(q);
}

std::string cardDate(const std::string& d) {
    if (d.size() != 8 || d.find_first_not_of("0123456789") != std::string::npos)
        return {};
    return d.substr(6, 2) + "." + d.substr(4, 2) + "." + d.substr(0, 4);
}

Result<std::optional<std::string>> hospitalIdOf(const cardfile::CardFile& cardFile,
                                                const std::string& cardId) {
    using R = Result<std::optional<std::string>>;
    cardfile::CardFileLock l;
    if (auto s = lock(cardFile, l, cardfile::CardFileLock::Mode::Shared); !s)
        return R::failure(s);
    auto rows = readRows(cardFile.dataDir() / kHospitalIdsName);
    if (!rows)
        return R::failure(rows);
    for (const Row& r : rows.value)
        if (r.size() >= 2 && r[0] == cardId)
            return R::success(r[1]);
    return R::success(std::nullopt);
}

Status setHospitalId(const cardfile::CardFile& cardFile, const std::string& cardId,
                     const std::string& hospitalId) {
    return replaceRows(
        cardFile, kHospitalIdsName, [&](const Row& r) { return !r.empty() && r[0] == cardId; },
        Row{cardId, hospitalId});
}

Result<PatientForOrder> patientForOrder(const cardfile::CardFile& cardFile,
                                        const WorklistItem& item, bool russian) {
    using R = Result<PatientForOrder>;
    auto patients = cardFile.listPatients();
    if (!patients)
        return R::failure(patients);
    if (!item.patientId.empty()) {
        cardfile::CardFileLock l;
        if (auto s = lock(cardFile, l, cardfile::CardFileLock::Mode::Shared); !s)
            return R::failure(s);
        auto rows = readRows(cardFile.dataDir() / kHospitalIdsName);
        if (!rows)
            return R::failure(rows);
        l.release();
        for (const Row& r : rows.value) {
            if (r.size() < 2 || r[1] != item.patientId)
                continue;
            for (const auto& p : patients.value)
                if (p.id == r[0])
                    return R::success({p, false});
        }
    }
    cardfile::NewPatientInput input;
    input.name = withoutUmlauts(cardName(item.patientName));
    input.birthDate = cardDate(item.birthDate);
    input.sex = item.sex == "M"   ? (russian ? "Муж" : "men")
                : item.sex == "F" ? (russian ? "Жен" : "wom")
                                  : "";
    input.policy = item.patientId;
    if (input.name.empty() || input.policy.empty())
        return R::failure(ErrorCode::InvalidArgument,
                          "The order names no patient (name and patient ID are needed)");
    auto created = cardfile::createNewPatient(cardFile, input, true);
    if (!created)
        return R::failure(created);
    if (auto s = setHospitalId(cardFile, created.value.id, item.patientId); !s)
        return R::failure(s);
    return R::success({created.value, true});
}

Status setPendingOrder(const cardfile::CardFile& cardFile, const std::string& cardId,
                       const Order& o, std::int64_t takenAt) {
    return replaceRows(cardFile, kOrdersName, cardRow(cardId, "pending"),
                       Row{cardId, "pending", std::to_string(takenAt), o.accessionNumber,
                           o.requestedProcedureId, o.requestedProcedureDescription,
                           o.studyInstanceUid, o.scheduledStepId});
}

Result<std::optional<Order>> orderOfRecording(const cardfile::CardFile& cardFile,
                                              const std::string& cardId,
                                              const std::string& recordedAt, bool attachPending) {
    using R = Result<std::optional<Order>>;
    cardfile::CardFileLock l;
    if (auto s = lock(cardFile, l,
                      attachPending ? cardfile::CardFileLock::Mode::Exclusive
                                    : cardfile::CardFileLock::Mode::Shared);
        !s)
        return R::failure(s);
    auto row =
        rowOfRecording(cardFile.dataDir() / kOrdersName, cardId, recordedAt, 2, attachPending);
    if (!row)
        return R::failure(row);
    if (!row.value)
        return R::success(std::nullopt);
    return R::success(orderFromRow(*row.value));
}

WorklistItem itemOfGdtRequest(const GdtRequest& request) {
    WorklistItem item;
    item.patientId = request.patientNumber;
    item.patientName = request.familyName + "^" + request.givenName;
    const std::string& b = request.birthDate; // dd.MM.yyyy
    item.birthDate = b.size() == 10 ? b.substr(6, 4) + b.substr(3, 2) + b.substr(0, 2) : "";
    item.sex = request.sex;
    return item;
}

Status setPendingGdtRequest(const cardfile::CardFile& cardFile, const std::string& cardId,
                            const std::filesystem::path& requestFile, std::int64_t takenAt) {
    return replaceRows(cardFile, kGdtRequestsName, cardRow(cardId, "pending"),
                       Row{cardId, "pending", std::to_string(takenAt), requestFile.string()});
}

Result<std::optional<std::filesystem::path>>
gdtRequestOfRecording(const cardfile::CardFile& cardFile, const std::string& cardId,
                      const std::string& recordedAt) {
    using R = Result<std::optional<std::filesystem::path>>;
    cardfile::CardFileLock l;
    if (auto s = lock(cardFile, l, cardfile::CardFileLock::Mode::Exclusive); !s)
        return R::failure(s);
    auto row = rowOfRecording(cardFile.dataDir() / kGdtRequestsName, cardId, recordedAt, 4, true);
    if (!row)
        return R::failure(row);
    if (!row.value)
        return R::success(std::nullopt);
    return R::success(std::filesystem::path((*row.value)[3]));
}

Status forgetGdtRequest(const cardfile::CardFile& cardFile, const std::string& cardId,
                        const std::string& recordedAt) {
    return replaceRows(cardFile, kGdtRequestsName, cardRow(cardId, recordedAt), std::nullopt);
}

} // namespace velkard::net
