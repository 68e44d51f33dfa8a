// SPDX-License-Identifier: GPL-3.0-or-later
// EDF+ through EDFlib: twelve 16-bit signals "ECG I" .. "ECG V6" at 800 Hz in microvolts, one
// digital step per instrument unit. EDF+ headers are ASCII, so names are transliterated.
#include "export/Transliterate.h"
#include "export/Writers.h"

#include <edflib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace velkard::exporting::detail {

namespace {

// EDF needs every signal in every data record. The samples of a record are the largest count up
// to one second that divides the recording, so no sample is added or dropped.
std::size_t samplesPerRecord(std::size_t samples) {
    for (std::size_t k = kSampleRate; k > 1; --k)
        if (samples % k == 0)
            return k;
    return 1;
}

// EDF+ fields take no blanks; EDFlib turns them into underscores, the convention.
std::string field(std::string_view utf8) {
    std::string s = transliterate(utf8);
    while (!s.empty() && s.front() == ' ')
        s.erase(s.begin());
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

class EdfHandle {
public:
    explicit EdfHandle(int handle) : handle_(handle) {}
    ~EdfHandle() {
        if (handle_ >= 0)
            edfclose_file(handle_);
    }
    int get() const { return handle_; }
    int close() {
        int r = edfclose_file(handle_);
        handle_ = -1;
        return r;
    }

private:
    int handle_;
};

// The size the file's own header promises: header bytes + records x samples of a record x 2.
std::optional<std::uint64_t> promisedSize(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string fixed(256, '\0');
    if (!in.read(fixed.data(), 256))
        return std::nullopt;
    const long headerBytes = std::atol(fixed.substr(184, 8).c_str());
    const long records = std::atol(fixed.substr(236, 8).c_str());
    const long signals = std::atol(fixed.substr(252, 4).c_str());
    if (headerBytes != 256 * (signals + 1) || records < 0 || signals <= 0)
        return std::nullopt;
    std::string fields(static_cast<std::size_t>(signals) * 256, '\0');
    if (!in.read(fields.data(), static_cast<std::streamsize>(fields.size())))
        return std::nullopt;
    std::uint64_t perRecord = 0;
    for (long s = 0; s < signals; ++s)
        perRecord += static_cast<std::uint64_t>(
            std::atol(fields.substr(static_cast<std::size_t>(signals * 216 + s * 8), 8).c_str()));
    return static_cast<std::uint64_t>(headerBytes) +
           static_cast<std::uint64_t>(records) * perRecord * 2;
}

} // namespace

// Value written in place of the eleven leads an A2 recording no longer records: the digital
// minimum, which EDF readers take as "no valid value" (an instrument value never reaches it).
inline constexpr short kNotRecorded = -32768;

Status writeEdf(const EcgExport& ecg, const std::filesystem::path& path,
                std::uint64_t& expectedSize, Progress& progress) {
    const int signals = signal::kLeadCount;
    EdfHandle edf(edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, signals));
    if (edf.get() < 0)
        return Status::failure(ErrorCode::CannotWrite,
                               "EDFlib cannot create the file (" + std::to_string(edf.get()) + ")");
    const int h = edf.get();
    const std::size_t perRecord = samplesPerRecord(ecg.samples());
    bool ok =
        edf_set_datarecord_duration(h, static_cast<int>(perRecord) * 100000 / kSampleRate) == 0;
    for (int s = 0; s < signals && ok; ++s) {
        ok = edf_set_samplefrequency(h, s, static_cast<int>(perRecord)) == 0 &&
             edf_set_digital_maximum(h, s, 32767) == 0 &&
             edf_set_digital_minimum(h, s, -32767) == 0 &&
             edf_set_physical_maximum(h, s, 32767 * kMicrovoltsPerUnit) == 0 &&
             edf_set_physical_minimum(h, s, -32767 * kMicrovoltsPerUnit) == 0 &&
             edf_set_physical_dimension(h, s, "uV") == 0 &&
             edf_set_label(
                 h, s,
                 ("ECG " + std::string(signal::kStandardLeadNames[static_cast<std::size_t>(s)]))
                     .c_str()) == 0;
    }
    if (ok && ecg.patient) {
        const Patient& p = *ecg.patient;
        ok = edf_set_patientname(h, field(p.name).c_str()) == 0 &&
             edf_set_patientcode(h, field(p.id).c_str()) == 0;
        if (ok && sexOf(p) != Sex::Unknown)
            ok = edf_set_gender(h, sexOf(p) == Sex::Male ? 1 : 0) == 0;
        if (auto born = parseDate(p.birthDate);
            ok && born && born->year >= 1800 && born->year <= 3000)
            ok = edf_set_birthdate(h, born->year, born->month, born->day) == 0;
    }
    // EDFlib takes 1985..2084; an unknown date is written as 1985-01-01 00:00:00, the convention
    // for "not known".
    DateTime start{1985, 1, 1, 0, 0, 0};
    if (ecg.recordedAt && ecg.recordedAt->year >= 1985 && ecg.recordedAt->year <= 2084)
        start = *ecg.recordedAt;
    if (ok)
        ok = edf_set_startdatetime(h, start.year, start.month, start.day, start.hour, start.minute,
                                   start.second) == 0 &&
             edf_set_equipment(h, "Velkard") == 0;
    if (!ok)
        return Status::failure(ErrorCode::CannotWrite, "EDFlib refused the header");
    if (ecg.leadIIContinuesAlone()) {
        const long long onset =
            static_cast<long long>(ecg.twelveLeadSamples()) * 10000 / kSampleRate; // 100 µs
        edfwrite_annotation_utf8(h, onset, -1, "Lead II alone from here");
    }

    std::vector<short> block(perRecord * signals);
    const std::size_t records = ecg.samples() / perRecord;
    for (std::size_t r = 0; r < records; ++r) {
        const std::size_t first = r * perRecord;
        if (!progress.step(first))
            return cancelled();
        for (std::size_t l = 0; l < static_cast<std::size_t>(signals); ++l) {
            const std::size_t size = ecg.leadSamples(l);
            const std::size_t have = first < size ? std::min(perRecord, size - first) : 0;
            short* out = block.data() + l * perRecord;
            ecg.copyLead(l, first, have, out);
            std::fill(out + have, out + perRecord, kNotRecorded);
        }
        if (edf_blockwrite_digital_short_samples(h, block.data()) != 0)
            return Status::failure(ErrorCode::CannotWrite, "EDFlib could not write the samples");
    }
    if (edf.close() != 0)
        return Status::failure(ErrorCode::CannotWrite, "EDFlib could not finish the file");
    // EDFlib does not see every failed write of its stream; a short file is caught here.
    auto promised = promisedSize(path);
    if (!promised)
        return Status::failure(ErrorCode::CannotWrite,
                               "the file was cut short (is the disk full?)");
    expectedSize = *promised;
    return Status::success();
}

} // namespace velkard::exporting::detail
