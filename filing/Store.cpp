// SPDX-License-Identifier: GPL-3.0-or-later
#include "filing/Store.h"

#include "import/Decompress.h"
#include "signal/DeviceFile.h"
#include "signal/Recording.h"

#include <algorithm>

namespace velkard::filing {

using namespace cardfile;

namespace fs = std::filesystem;

namespace {

Result<int> failed(ErrorCode code, std::string message) {
    return Result<int>::failure(code, std::move(message));
}

// A header field as the memory window writes it: its decimal digits, with a leading "0" when
// there is only one.
std::string twoDigits(int value) {
    std::string s = std::to_string(value);
    return s.size() == 1 ? "0" + s : s;
}

std::string entryDate(const signal::DeviceHeader& h) {
    std::string year = std::to_string(h.year());
    year = (year.size() == 1 ? "200" : "20") + year;
    return twoDigits(h.day()) + "." + twoDigits(h.month()) + "." + year;
}

std::string entryTime(const signal::DeviceHeader& h) {
    return twoDigits(h.hour()) + ":" + twoDigits(h.minute()) + ":" + twoDigits(h.second());
}

// Success when the index lists the patient. A card file locked elsewhere is passed on as it is,
// so the window says it is busy rather than asking for a patient.
Status findPatient(const CardFile& cardFile, std::string_view id) {
    const Status unknown = Status::failure(
        ErrorCode::UnknownPatient, "patient ID '" + std::string(id) + "' is not in the card file");
    if (!isValidPatientId(id))
        return unknown;
    auto patients = cardFile.listPatients();
    if (patients.code == ErrorCode::Busy || patients.code == ErrorCode::JournalDamaged)
        return patients;
    if (!patients || std::none_of(patients.value.begin(), patients.value.end(),
                                  [&](const PatientRecord& p) { return p.id == id; }))
        return unknown;
    return Status::success();
}

// What a failure of the card file means for filing: the memory window words it by these codes.
ErrorCode storeCode(ErrorCode code) {
    switch (code) {
    case ErrorCode::InvalidArgument:
        return ErrorCode::UnknownPatient;
    case ErrorCode::FieldOverflow:
        return ErrorCode::ArchiveFull;
    case ErrorCode::Busy:
        return ErrorCode::Busy;
    case ErrorCode::JournalDamaged:
        return ErrorCode::JournalDamaged;
    case ErrorCode::ArchiveOpenFailed:
    case ErrorCode::IndexUnavailable:
        return ErrorCode::CannotAppendEntry;
    default:
        return ErrorCode::CannotCreateRecording;
    }
}

} // namespace

Result<int> storeDeviceFile(const CardFile& cardFile, std::string_view patientId,
                            const fs::path& source, bool russian) {
    if (Status found = findPatient(cardFile, patientId); !found)
        return Result<int>::failure(found);

    const std::string name = source.filename().string();
    const bool a2 = name.starts_with("A2");
    const bool rhythm = !a2 && name.starts_with("VSR");
    const auto kind = a2 ? signal::RecordingKind::A2 : signal::RecordingKind::Plain;

    signal::BytesResult device =
        import::readAnyDeviceFile(source, rhythm ? signal::RecordingKind::Rhythmogram : kind);
    if (!device)
        return failed(ErrorCode::CannotOpenSource, device.message);
    auto header = signal::DeviceHeader::parse(device.value);
    if (!header)
        return failed(ErrorCode::CannotOpenSource,
                      source.string() + " is shorter than the 512-byte header of an ECG file");

    const std::string date = entryDate(*header);
    const std::string time = entryTime(*header);
    const std::int64_t seconds = signal::filedDuration(*header, device.value.size(), kind);
    if (!rhythm && seconds > kMaxDurationSeconds)
        return failed(ErrorCode::TooLong, source.string() + " lasts " + std::to_string(seconds) +
                                              " s; an archive entry holds at most 9999 s");
    const EntryDuration duration = rhythm ? EntryDuration::rhythm(russian)
                                          : EntryDuration::ofSeconds(static_cast<long>(seconds));
    const std::string_view marker = a2 ? kKindA2 : rhythm ? kKindRhythm : kKindPlain;

    // The body of a rhythmogram is copied unchanged, as for a plain recording.
    const std::vector<std::uint8_t> body = signal::convertDeviceBytes(device.value, kind);
    device.value = {};
    auto filed = cardFile.fileRecording(patientId, body, date, time, duration, marker);
    if (!filed)
        return failed(storeCode(filed.code), filed.message);

    return filed;
}

Result<int> storeConvertedRecording(const CardFile& cardFile, std::string_view patientId,
                                    std::span<const std::uint8_t> body, std::string_view date,
                                    std::string_view time, long seconds, const std::string& origin,
                                    const cardfile::LeadSet* present) {
    if (Status found = findPatient(cardFile, patientId); !found)
        return Result<int>::failure(found);
    if (seconds > kMaxDurationSeconds)
        return failed(ErrorCode::TooLong, "the recording lasts " + std::to_string(seconds) +
                                              " s; an archive entry holds at most 9999 s");
    std::string leads;
    if (present && std::find(present->begin(), present->end(), false) != present->end())
        leads = cardfile::encodeLeadsFile(*present, body);
    auto filed = cardFile.fileRecording(patientId, body, date, time,
                                        EntryDuration::ofSeconds(seconds), kKindPlain, leads);
    if (!filed)
        return failed(storeCode(filed.code), filed.message);
    // The recording is filed; a log that cannot take the line is said, not undone.
    const std::string subject = cardFile.recordingPath(patientId, filed.value).filename().string();
    if (Status logged = cardFile.logToAudit(subject, origin); !logged)
        return Result<int>::failure(ErrorCode::CannotWrite,
                                    "filed as number " + std::to_string(filed.value) +
                                        ", but its origin could not be logged: " + logged.message,
                                    filed.value);
    return filed;
}

std::string storeErrorText(ErrorCode code, bool russian) {
    switch (code) {
    case ErrorCode::None:
        return {};
    case ErrorCode::UnknownPatient:
        return "Выберите пациента в картотеке";
    case ErrorCode::CannotOpenSource:
        return "Ошибка открытия файла с ЭКГ";
    case ErrorCode::CannotCreateRecording:
        return "Ошибка создания файла для записи ЭКГ";
    case ErrorCode::CannotAppendEntry:
        return "Ошибка открытия файла с данными об ЭКГ";
    case ErrorCode::ArchiveFull:
        return russian ? "В архиве пациента уже 999 ЭКГ, больше он не вмещает. Удалите ненужные "
                         "записи из архива."
                       : "The patient's archive already holds 999 ECGs, as many as it can hold. "
                         "Delete recordings that are no longer needed.";
    case ErrorCode::TooLong:
        return russian ? "ЭКГ длиннее 9999 секунд не помещается в архив пациента."
                       : "An ECG longer than 9999 seconds does not fit the patient's archive.";
    case ErrorCode::Busy:
        return russian ? kBusyTextRussian : kBusyTextEnglish;
    case ErrorCode::JournalDamaged:
        return russian ? "Журнал прерванного изменения картотеки повреждён; ничего не изменено. "
                         "Восстановите картотеку командой velkard-cli repair."
                       : "The journal of an interrupted change of the card file is damaged; "
                         "nothing was changed. Repair the card file with velkard-cli repair.";
    default: // no other code comes out of storeDeviceFile
        return "Ошибка создания файла для записи ЭКГ";
    }
}

} // namespace velkard::filing
