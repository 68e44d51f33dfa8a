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

StoreResult failed(StoreError error, std::string message) {
    StoreResult r;
    r.error = error;
    r.message = std::move(message);
    return r;
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

bool patientInIndex(const CardFile& cardFile, std::string_view id) {
    auto patients = cardFile.listPatients();
    if (!patients)
        return false;
    return std::any_of(patients.value.begin(), patients.value.end(),
                       [&](const PatientRecord& p) { return p.id == id; });
}

StoreError storeError(ErrorCode code) {
    switch (code) {
    case ErrorCode::InvalidArgument:
        return StoreError::UnknownPatient;
    case ErrorCode::FieldOverflow:
        return StoreError::ArchiveFull;
    case ErrorCode::Busy:
        return StoreError::Busy;
    case ErrorCode::ArchiveOpenFailed:
    case ErrorCode::IndexUnavailable:
        return StoreError::CannotAppendEntry;
    default:
        return StoreError::CannotCreateRecording;
    }
}

} // namespace

StoreResult storeDeviceFile(const CardFile& cardFile, std::string_view patientId,
                            const fs::path& source, bool russian) {
    if (!isValidPatientId(patientId) || !patientInIndex(cardFile, patientId))
        return failed(StoreError::UnknownPatient,
                      "patient ID '" + std::string(patientId) + "' is not in the card file");

    const std::string name = source.filename().string();
    const bool a2 = name.starts_with("A2");
    const bool rhythm = !a2 && name.starts_with("VSR");
    const auto kind = a2 ? signal::RecordingKind::A2 : signal::RecordingKind::Plain;

    signal::BytesResult device =
        import::readAnyDeviceFile(source, rhythm ? signal::RecordingKind::Rhythmogram : kind);
    if (!device)
        return failed(StoreError::CannotOpenSource, device.message);
    auto header = signal::DeviceHeader::parse(device.bytes);
    if (!header)
        return failed(StoreError::CannotOpenSource,
                      source.string() + " is shorter than the 512-byte header of an ECG file");

    const std::string date = entryDate(*header);
    const std::string time = entryTime(*header);
    const std::int64_t seconds = signal::filedDuration(*header, device.bytes.size(), kind);
    if (!rhythm && seconds > kMaxDurationSeconds)
        return failed(StoreError::TooLong, source.string() + " lasts " + std::to_string(seconds) +
                                               " s; an archive entry holds at most 9999 s");
    const EntryDuration duration = rhythm ? EntryDuration::rhythm(russian)
                                          : EntryDuration::ofSeconds(static_cast<long>(seconds));
    const std::string_view marker = a2 ? kKindA2 : rhythm ? kKindRhythm : kKindPlain;

    // The body of a rhythmogram is copied unchanged, as for a plain recording.
    const std::vector<std::uint8_t> body = signal::convertDeviceBytes(device.bytes, kind);
    device.bytes = {};
    auto filed = cardFile.fileRecording(patientId, body, date, time, duration, marker);
    if (!filed)
        return failed(storeError(filed.code), filed.message);

    StoreResult r;
    r.ok = true;
    r.recordNumber = filed.value;
    return r;
}

std::string storeErrorText(StoreError error, bool russian) {
    switch (error) {
    case StoreError::None:
        return {};
    case StoreError::UnknownPatient:
        return "Выберите пациента в картотеке";
    case StoreError::CannotOpenSource:
        return "Ошибка открытия файла с ЭКГ";
    case StoreError::CannotCreateRecording:
        return "Ошибка создания файла для записи ЭКГ";
    case StoreError::CannotAppendEntry:
        return "Ошибка открытия файла с данными об ЭКГ";
    case StoreError::ArchiveFull:
        return russian ? "В архиве пациента уже 999 ЭКГ, больше он не вмещает. Удалите ненужные "
                         "записи из архива."
                       : "The patient's archive already holds 999 ECGs, as many as it can hold. "
                         "Delete recordings that are no longer needed.";
    case StoreError::TooLong:
        return russian ? "ЭКГ длиннее 9999 секунд не помещается в архив пациента."
                       : "An ECG longer than 9999 seconds does not fit the patient's archive.";
    case StoreError::Busy:
        return russian ? kBusyTextRussian : kBusyTextEnglish;
    }
    return {};
}

} // namespace velkard::filing
