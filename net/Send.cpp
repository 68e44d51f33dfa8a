// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Send.h"

#include "export/CardFileExport.h"
#include "export/Export.h"
#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "net/Hl7.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <algorithm>
#include <ctime>
#include <random>

namespace velkard::net {

namespace {

std::string dicomDate(const std::string& ddMMyyyy) {
    const auto d = exporting::parseDate(ddMMyyyy);
    if (!d)
        return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d->year, d->month, d->day);
    return buf;
}

std::string dicomTime(const std::string& hhmmss) {
    if (hhmmss.size() != 8)
        return {};
    return hhmmss.substr(0, 2) + hhmmss.substr(3, 2) + hhmmss.substr(6, 2);
}

std::string nowStamp() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return buf;
}

std::string trimmedId(std::string id) {
    while (!id.empty() && id.front() == ' ')
        id.erase(id.begin());
    return id;
}

bool put(DcmItem* item, const DcmTagKey& tag, const std::string& value) {
    return item->putAndInsertString(tag, value.c_str()).good();
}

interpret::Patient statementPatient(const cardfile::PatientRecord& p, const std::string& date) {
    interpret::Patient out;
    const exporting::Sex s = exporting::sexOf({p.name, p.id, p.birthDate, p.sex});
    out.sex = s == exporting::Sex::Male     ? interpret::Sex::Male
              : s == exporting::Sex::Female ? interpret::Sex::Female
                                            : interpret::Sex::Unknown;
    const auto born = exporting::parseDate(p.birthDate);
    const auto on = exporting::parseDate(date);
    if (born && on) {
        int age = on->year - born->year;
        if (on->month < born->month || (on->month == born->month && on->day < born->day))
            --age;
        if (age >= 0)
            out.ageYears = age;
    }
    return out;
}

} // namespace

std::string newUid() {
    static thread_local std::mt19937_64 rng(std::random_device{}());
    unsigned __int128 v = (static_cast<unsigned __int128>(rng()) << 64) | rng();
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return "2.25." + digits;
}

Result<RecordingRef> findRecording(const cardfile::CardFile& cardFile, const std::string& patientId,
                                   int number) {
    using R = Result<RecordingRef>;
    auto patients = cardFile.listPatients();
    if (!patients)
        return R::failure(patients);
    auto p = std::find_if(patients.value.begin(), patients.value.end(),
                          [&](const cardfile::PatientRecord& r) { return r.id == patientId; });
    if (p == patients.value.end())
        return R::failure(ErrorCode::UnknownPatient,
                          "No patient with ID '" + patientId + "' in the card file");
    auto entries = cardFile.listArchiveEntries(p->id);
    if (!entries)
        return R::failure(entries);
    auto e =
        std::find_if(entries.value.begin(), entries.value.end(),
                     [&](const cardfile::ArchiveEntry& x) { return x.recordNumber() == number; });
    if (e == entries.value.end())
        return R::failure(ErrorCode::UnknownRecording,
                          "Patient '" + patientId + "' has no recording " + std::to_string(number));
    return R::success({*p, *e});
}

Status writeEncapsulatedPdf(const PdfObject& o, const std::vector<std::uint8_t>& pdf,
                            const std::filesystem::path& target) {
    if (pdf.size() < 5 || std::string(pdf.begin(), pdf.begin() + 5) != "%PDF-")
        return Status::failure(ErrorCode::BadData, "The report is not a PDF");
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    const std::string stamp = nowStamp();
    bool ok =
        put(ds, DCM_SpecificCharacterSet, "ISO_IR 192") &&
        put(ds, DCM_SOPClassUID, UID_EncapsulatedPDFStorage) &&
        put(ds, DCM_SOPInstanceUID, o.sopInstanceUid) && put(ds, DCM_PatientName, o.patientName) &&
        put(ds, DCM_PatientID, o.patientId) && put(ds, DCM_PatientBirthDate, o.birthDate) &&
        put(ds, DCM_PatientSex, o.sex) && put(ds, DCM_StudyInstanceUID, o.studyInstanceUid) &&
        put(ds, DCM_StudyDate, o.studyDate) && put(ds, DCM_StudyTime, o.studyTime) &&
        put(ds, DCM_ReferringPhysicianName, "") && put(ds, DCM_StudyID, "") &&
        put(ds, DCM_AccessionNumber, o.accessionNumber) && put(ds, DCM_Modality, "DOC") &&
        put(ds, DCM_SeriesInstanceUID, o.seriesInstanceUid) && put(ds, DCM_SeriesNumber, "2") &&
        put(ds, DCM_Manufacturer, "") && put(ds, DCM_SoftwareVersions, "Velkard") &&
        put(ds, DCM_ConversionType, "WSD") && put(ds, DCM_InstanceNumber, "1") &&
        put(ds, DCM_ContentDate, stamp.substr(0, 8)) && put(ds, DCM_ContentTime, stamp.substr(8)) &&
        put(ds, DCM_AcquisitionDateTime, o.studyDate + o.studyTime) &&
        put(ds, DCM_BurnedInAnnotation, "YES") && put(ds, DCM_DocumentTitle, o.title) &&
        ds->insertEmptyElement(DCM_ConceptNameCodeSequence).good() &&
        put(ds, DCM_MIMETypeOfEncapsulatedDocument, "application/pdf");
    std::vector<Uint8> bytes(pdf.begin(), pdf.end());
    if (bytes.size() % 2)
        bytes.push_back(0); // OB values have even length
    ok = ok && ds->putAndInsertUint8Array(DCM_EncapsulatedDocument, bytes.data(),
                                          static_cast<unsigned long>(bytes.size()))
                   .good();
    ok = ok &&
         ds->putAndInsertUint32(DCM_EncapsulatedDocumentLength, static_cast<Uint32>(pdf.size()))
             .good();
    if (!ok)
        return Status::failure(ErrorCode::CannotWrite, "DCMTK refused an attribute");
    signal::AtomicFileWriter out(target);
    if (auto s = out.open(); !s)
        return s;
    const OFCondition saved = file.saveFile(out.temporaryPath().c_str(), EXS_LittleEndianExplicit);
    if (saved.bad())
        return Status::failure(ErrorCode::CannotWrite,
                               "Cannot write " + target.string() + ": " + saved.text());
    return out.commit();
}

Result<std::vector<std::string>>
queueRecording(const Outbox& outbox, const cardfile::CardFile& cardFile,
               const NetworkSettings& settings, const std::string& patientId, int number,
               const std::vector<std::uint8_t>& pdf, bool russian) {
    using R = Result<std::vector<std::string>>;
    const bool toPacs = settings.pacs.configured();
    const bool toHl7 = settings.hl7.configured();
    if (!toPacs && !toHl7)
        return R::failure(ErrorCode::InvalidArgument,
                          "Neither an archive (PACS) nor an HL7 receiver is configured");
    auto ref = findRecording(cardFile, patientId, number);
    if (!ref)
        return R::failure(ref);
    const cardfile::PatientRecord& patient = ref.value.patient;
    const cardfile::ArchiveEntry& entry = ref.value.entry;
    if (entry.isRhythm())
        return R::failure(ErrorCode::NotAnEcg,
                          "A rhythmogram holds beat intervals, not ECG samples: not sent");
    auto order = orderOfRecording(cardFile, patient.id, ref.value.recordedAt(), true);
    if (!order)
        return R::failure(order);
    auto hospital = hospitalIdOf(cardFile, patient.id);
    if (!hospital)
        return R::failure(hospital);
    const std::string sendId = hospital.value ? *hospital.value : trimmedId(patient.id);

    const auto path = cardFile.recordingPath(patient.id, entry.recordNumber());
    signal::RecordingBuffer buffer;
    if (auto s = signal::loadRecording(path, buffer); !s)
        return R::failure(ErrorCode::CannotReadRecording, s.message);

    exporting::EcgExport ecg = exporting::deriveExport(
        buffer, entry.isA2() ? signal::RecordingKind::A2 : signal::RecordingKind::Plain);
    ecg.patient = exporting::Patient{patient.name, sendId, patient.birthDate, patient.sex};
    ecg.recordedAt = exporting::parseDateTime(entry.date, entry.time);
    // As the Export button writes it: without the leads a lead list names absent, with what the
    // recording says.
    ecg.present = exporting::recordingLeads(cardFile, patient, entry);
    ecg.interpretation = exporting::recordingInterpretation(
        cardFile, patient, entry, {buffer.bytes.data(), buffer.bytes.size()}, ecg.present,
        russian ? interpret::Language::Russian : interpret::Language::English);
    const Order o = order.value.value_or(Order{});
    ecg.identity.studyInstanceUid = o.studyInstanceUid.empty() ? newUid() : o.studyInstanceUid;
    ecg.identity.seriesInstanceUid = newUid();
    ecg.identity.sopInstanceUid = newUid();
    ecg.identity.accessionNumber = o.accessionNumber;
    ecg.identity.requestedProcedureId = o.requestedProcedureId;
    ecg.identity.requestedProcedureDescription = o.requestedProcedureDescription;
    ecg.identity.scheduledStepId = o.scheduledStepId;

    const exporting::PersonName name = exporting::splitName(patient.name);
    const exporting::Sex sex = exporting::sexOf(*ecg.patient);
    const std::string label = patient.name + ", " + ref.value.recordedAt();
    std::vector<std::string> ids;

    if (toPacs) {
        auto draft = outbox.begin();
        if (!draft)
            return R::failure(draft);
        draft.value.entry.destination = Destination::Pacs;
        if (auto s = exporting::writeExport(ecg, exporting::Format::Dicom,
                                            draft.value.folder / "1-ecg.dcm");
            !s)
            return R::failure(s);
        draft.value.entry.files.push_back("1-ecg.dcm");
        if (!pdf.empty()) {
            PdfObject po;
            std::string pn = name.family + "^" + name.given + "^" + name.middle;
            while (!pn.empty() && pn.back() == '^')
                pn.pop_back();
            po.patientName = pn;
            po.patientId = sendId;
            po.birthDate = dicomDate(patient.birthDate);
            po.sex = sex == exporting::Sex::Male ? "M" : sex == exporting::Sex::Female ? "F" : "O";
            po.studyInstanceUid = ecg.identity.studyInstanceUid;
            po.accessionNumber = o.accessionNumber;
            po.studyDate = dicomDate(entry.date);
            po.studyTime = dicomTime(entry.time);
            po.seriesInstanceUid = newUid();
            po.sopInstanceUid = newUid();
            if (auto s = writeEncapsulatedPdf(po, pdf, draft.value.folder / "2-report.dcm"); !s)
                return R::failure(s);
            draft.value.entry.files.push_back("2-report.dcm");
        }
        draft.value.entry.patientId = patient.id;
        draft.value.entry.recording = number;
        draft.value.entry.recordedAt = ref.value.recordedAt();
        draft.value.entry.label = label;
        auto id = outbox.commit(draft.value);
        if (!id)
            return R::failure(id);
        ids.push_back(id.value);
    }

    if (toHl7) {
        Hl7Result r;
        r.controlId = newUid().substr(5, 20);
        r.timestamp = nowStamp();
        r.patientId = sendId;
        r.familyName = name.family;
        r.givenName = name.given;
        r.middleName = name.middle;
        r.birthDate = dicomDate(patient.birthDate);
        r.sex = sex == exporting::Sex::Male ? "M" : sex == exporting::Sex::Female ? "F" : "U";
        r.accessionNumber = o.accessionNumber;
        r.placerOrder = o.requestedProcedureId;
        r.observedAt = dicomDate(entry.date) + dicomTime(entry.time);
        // The first ten seconds (or the span of the physician's report), as the report prints.
        const std::int64_t records = static_cast<std::int64_t>(buffer.records());
        std::int64_t first = 0, count = std::min<std::int64_t>(records, 10 * 800);
        std::optional<interpret::Report> report;
        if (auto stored = cardFile.readReport(patient.id, entry.recordNumber());
            stored && stored.value) {
            auto decoded = interpret::decodeReport(*stored.value);
            if (decoded && decoded.value.recordedAt == ref.value.recordedAt()) {
                report = decoded.value;
                first = report->firstRecord;
                count = report->recordCount;
            }
        }
        if (entry.isA2())
            count = std::min<std::int64_t>(count, signal::kA2DerivedRecords - first);
        const auto lang = russian ? interpret::Language::Russian : interpret::Language::English;
        if (count > 0) {
            // A recording filed from a file lacking leads is measured without them.
            const auto leads = cardFile.readLeads(patient.id, entry.recordNumber());
            const cardfile::LeadSet* present = leads && leads.value ? &*leads.value : nullptr;
            const auto it = interpret::interpretRecording(
                std::span<const std::uint8_t>(buffer.bytes.data(), buffer.bytes.size()), first,
                count, statementPatient(patient, entry.date), present);
            const auto& m = it.measurements;
            r.numbers = {{"8867-4", "Heart rate", "/min", "per minute", m.heartRateBpm},
                         {"8625-6", "P-R interval", "ms", "millisecond", m.prMs},
                         {"8633-0", "QRS duration", "ms", "millisecond", m.qrsMs},
                         {"8634-8", "Q-T interval", "ms", "millisecond", m.qtMs},
                         {"8636-3", "Q-T interval corrected", "ms", "millisecond", m.qtcBazettMs},
                         {"8626-4", "P wave axis", "deg", "degree", m.pAxisDeg},
                         {"8632-2", "QRS axis", "deg", "degree", m.qrsAxisDeg},
                         {"8638-1", "T wave axis", "deg", "degree", m.tAxisDeg}};
            if (report) {
                for (const auto* st : interpret::shownStatements(*report))
                    r.statements.push_back(st->textIn(lang));
                r.confirmed = report->confirmed();
            } else {
                for (const auto& st : it.statements)
                    r.statements.push_back(st.textIn(lang));
            }
        }
        r.pdf = pdf;
        const std::string message = buildOru(settings, r);
        auto draft = outbox.begin();
        if (!draft)
            return R::failure(draft);
        {
            signal::AtomicFileWriter f(draft.value.folder / "message.hl7");
            Status s = f.open();
            if (s)
                s = f.write(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
            if (s)
                s = f.commit(true, message.size());
            if (!s)
                return R::failure(s);
        }
        draft.value.entry.destination = Destination::Hl7;
        draft.value.entry.files.push_back("message.hl7");
        draft.value.entry.patientId = patient.id;
        draft.value.entry.recording = number;
        draft.value.entry.recordedAt = ref.value.recordedAt();
        draft.value.entry.label = label + " (HL7)";
        auto id = outbox.commit(draft.value);
        if (!id)
            return R::failure(id);
        ids.push_back(id.value);
    }
    return R::success(ids);
}

std::optional<SendState> sendStateOf(const std::vector<OutboxEntry>& entries,
                                     const std::string& patientId, const std::string& recordedAt) {
    const OutboxEntry* newest[2] = {nullptr, nullptr};
    for (const auto& e : entries) // oldest first: the later ones win
        if (e.patientId == patientId && e.recordedAt == recordedAt)
            newest[e.destination == Destination::Hl7 ? 1 : 0] = &e;
    std::optional<SendState> out;
    auto rank = [](EntryState s) {
        switch (s) {
        case EntryState::Failed:
            return 4;
        case EntryState::Waiting:
            return 3;
        case EntryState::AwaitingCommitment:
            return 2;
        case EntryState::Withdrawn:
            return 1;
        case EntryState::Sent:
        case EntryState::Committed:
            break;
        }
        return 0;
    };
    for (const OutboxEntry* e : newest) {
        if (!e)
            continue;
        if (!out || rank(e->state) > rank(out->state))
            out = SendState{e->state, e->reason};
    }
    return out;
}

} // namespace velkard::net
