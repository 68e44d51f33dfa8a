// SPDX-License-Identifier: GPL-3.0-or-later
#include "cardfile/Store.h"

#include "import/Decompress.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <algorithm>
#include <system_error>

namespace velkard::cardfile {

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

} // namespace

StoreResult storeDeviceFile(const CardFile& cardFile, std::string_view patientId,
                            const fs::path& source, bool russian) {
    if (!isValidPatientId(patientId) || !patientInIndex(cardFile, patientId))
        return failed(StoreError::UnknownPatient,
                      "patient ID '" + std::string(patientId) + "' is not in the card file");

    const std::string name = source.filename().string();
    const bool a2 = name.starts_with("A2");
    const bool rhythm = !a2 && name.starts_with("VSR");

    signal::BytesResult device = import::isCompressedName(source) ? import::decompressEcx(source)
                                                                  : signal::readWholeFile(source);
    if (!device)
        return failed(StoreError::CannotOpenSource, device.message);
    auto header = signal::DeviceHeader::parse(device.bytes);
    if (!header)
        return failed(StoreError::CannotOpenSource,
                      source.string() + " is shorter than the 512-byte header of an ECG file");

    const auto kind = a2 ? signal::RecordingKind::A2 : signal::RecordingKind::Plain;
    const std::string date = entryDate(*header);
    const std::string time = entryTime(*header);
    const EntryDuration duration =
        rhythm ? EntryDuration::rhythm(russian)
               : EntryDuration::ofSeconds(static_cast<long>(
                     signal::deviceFileDuration(*header, device.bytes.size(), kind)));
    const std::string_view marker = a2 ? kKindA2 : rhythm ? kKindRhythm : kKindPlain;

    // Everything that can be refused is checked before anything is written.
    const int number = cardFile.nextRecordNumber(patientId);
    if (auto entry = encodeArchiveEntry(number, date, time, duration, marker); !entry)
        return failed(StoreError::FieldOverflow, entry.message);

    // The body of a rhythmogram is copied unchanged, as for a plain recording. The file is created
    // afresh, so an orphan recording with this number is replaced, never appended to.
    const fs::path recording = cardFile.recordingPath(patientId, number);
    auto body = signal::convertDeviceBytes(device.bytes, kind);
    if (auto written = signal::writeFileAtomically(recording, body); !written)
        return failed(StoreError::CannotCreateRecording, written.message);

    if (auto appended =
            cardFile.appendArchiveEntry(patientId, number, date, time, duration, marker);
        !appended) {
        std::error_code ec;
        fs::remove(recording, ec);
        return failed(StoreError::CannotAppendEntry, appended.message);
    }

    StoreResult r;
    r.ok = true;
    r.recordNumber = number;
    return r;
}

std::string storeErrorText(StoreError error) {
    switch (error) {
    case StoreError::None:
        return {};
    case StoreError::UnknownPatient:
        return "Выберите пациента в картотеке";
    case StoreError::CannotOpenSource:
        return "Ошибка открытия файла с ЭКГ";
    case StoreError::CannotCreateRecording:
    case StoreError::FieldOverflow:
        return "Ошибка создания файла для записи ЭКГ";
    case StoreError::CannotAppendEntry:
        return "Ошибка открытия файла с данными об ЭКГ";
    }
    return {};
}

} // namespace velkard::cardfile
