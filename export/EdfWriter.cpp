// SPDX-License-Identifier: GPL-3.0-or-later
// EDF+ through EDFlib: twelve 16-bit signals "ECG I" .. "ECG V6" at 800 Hz in microvolts, one
// digital step per instrument unit. EDF+ headers are ASCII, so names are transliterated.
#include "export/Transliterate.h"
#include "export/Writers.h"

#include <edflib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// The annotations of the interpretation, all at the start of the recording: one per statement
// ("SR: Синусовый ритм"; the physician's free text as written), then whether it was confirmed
// and by whom.
std::vector<std::string> statementAnnotations(const ExportInterpretation& interpretation) {
    std::vector<std::string> out;
    for (const ExportStatement& s : interpretation.statements)
        out.push_back(s.code.empty() ? s.text : s.code + ": " + s.text);
    out.push_back(interpretationStatus(interpretation));
    return out;
}

// EDFlib cuts an annotation's text at 40 bytes, shorter than most statements. They are added
// to the file EDFlib wrote: its annotation signal is widened in every data record, and the
// statements' TALs are placed in the first records after what EDFlib put there (onset 0 in
// each). The file is rewritten in place a data record at a time.
Status addStatements(const std::filesystem::path& path, const std::vector<std::string>& texts) {
    std::ifstream in(path, std::ios::binary);
    std::string fixed(256, '\0');
    if (!in.read(fixed.data(), 256))
        return Status::failure(ErrorCode::CannotWrite, "the file was cut short");
    const long headerBytes = std::atol(fixed.substr(184, 8).c_str());
    const long records = std::atol(fixed.substr(236, 8).c_str());
    const long signals = std::atol(fixed.substr(252, 4).c_str());
    if (headerBytes != 256 * (signals + 1) || records <= 0 || signals <= 0)
        return Status::failure(ErrorCode::CannotWrite, "the file's header is not as written");
    std::string fields(static_cast<std::size_t>(signals) * 256, '\0');
    if (!in.read(fields.data(), static_cast<std::streamsize>(fields.size())))
        return Status::failure(ErrorCode::CannotWrite, "the file was cut short");
    const auto ns = static_cast<std::size_t>(signals);
    // EDFlib puts its one annotation signal last.
    const std::size_t annotation = ns - 1;
    if (fields.substr(annotation * 16, 15) != "EDF Annotations")
        return Status::failure(ErrorCode::CannotWrite, "the file has no annotation signal");
    std::size_t dataBytes = 0;
    for (std::size_t s = 0; s < annotation; ++s)
        dataBytes +=
            2 * static_cast<std::size_t>(std::atol(fields.substr(ns * 216 + s * 8, 8).c_str()));
    const std::size_t oldBytes =
        2 *
        static_cast<std::size_t>(std::atol(fields.substr(ns * 216 + annotation * 8, 8).c_str()));

    std::vector<std::string> tals;
    std::size_t longest = 0, total = 0;
    for (const std::string& text : texts) {
        std::string t = "+0\x14";
        for (char c : text)
            t.push_back(c == '\x14' || c == '\x15' || c == '\0' ? ' ' : c);
        t += "\x14";
        t.push_back('\0');
        longest = std::max(longest, t.size());
        total += t.size();
        tals.push_back(std::move(t));
    }
    // Room in every record for the longest TAL and a share of all: filled in order, the first
    // records then take them all.
    const auto n = static_cast<std::size_t>(records);
    std::size_t extra = longest + (total + n - 1) / n;
    extra += extra % 2;
    const std::size_t newBytes = oldBytes + extra;
    char spr[24];
    std::snprintf(spr, sizeof spr, "%-8zu", newBytes / 2);
    if (std::string(spr).size() != 8)
        return Status::failure(ErrorCode::CannotWrite, "the statements are too long for EDF+");
    fields.replace(ns * 216 + annotation * 8, 8, spr);

    // Which records take which TALs: in order, after what EDFlib wrote in each (its TALs end
    // "\x14\0"), as far as the widened signal holds them.
    std::vector<std::size_t> endOf; // the end of EDFlib's TALs in each of the first records
    std::vector<std::size_t> firstTal{0};
    std::vector<char> slot(oldBytes);
    for (std::size_t r = 0; firstTal.back() < tals.size(); ++r) {
        if (r == n)
            return Status::failure(ErrorCode::CannotWrite, "the statements do not fit in EDF+");
        in.seekg(static_cast<std::streamoff>(headerBytes + r * (dataBytes + oldBytes) + dataBytes));
        if (!in.read(slot.data(), static_cast<std::streamsize>(oldBytes)))
            return Status::failure(ErrorCode::CannotWrite, "the file was cut short");
        std::size_t end = oldBytes;
        while (end > 0 && slot[end - 1] == '\0')
            --end;
        if (end > 0)
            ++end;
        endOf.push_back(end);
        std::size_t next = firstTal.back();
        while (next < tals.size() && end + tals[next].size() <= newBytes)
            end += tals[next++].size();
        firstTal.push_back(next);
    }
    in.close();

    // Widened in place from the last record back: each record moves towards the end of the file,
    // onto bytes already moved.
    std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<char> record(dataBytes + newBytes);
    bool ok = static_cast<bool>(io);
    for (std::size_t r = n; r-- > 0 && ok;) {
        std::fill(record.begin(), record.end(), '\0');
        io.seekg(static_cast<std::streamoff>(headerBytes + r * (dataBytes + oldBytes)));
        ok = static_cast<bool>(
            io.read(record.data(), static_cast<std::streamsize>(dataBytes + oldBytes)));
        if (r < endOf.size()) {
            std::size_t at = dataBytes + endOf[r];
            for (std::size_t k = firstTal[r]; k < firstTal[r + 1]; ++k) {
                std::copy(tals[k].begin(), tals[k].end(), record.begin() + static_cast<long>(at));
                at += tals[k].size();
            }
        }
        io.seekp(static_cast<std::streamoff>(headerBytes + r * (dataBytes + newBytes)));
        ok = ok && io.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    io.seekp(256);
    ok = ok && io.write(fields.data(), static_cast<std::streamsize>(fields.size()));
    io.close();
    if (!ok || !io)
        return Status::failure(ErrorCode::CannotWrite,
                               "the statements could not be added (is the disk full?)");
    return Status::success();
}

} // namespace

// Value written in place of the eleven leads an A2 recording no longer records: the digital
// minimum, which EDF readers take as "no valid value" (an instrument value never reaches it).
inline constexpr short kNotRecorded = -32768;

Status writeEdf(const EcgExport& ecg, const std::filesystem::path& path,
                std::uint64_t& expectedSize, Progress& progress) {
    const std::vector<std::size_t> leads = ecg.writtenLeadIndexes();
    const int signals = static_cast<int>(leads.size());
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
                 ("ECG " +
                  std::string(signal::kStandardLeadNames[leads[static_cast<std::size_t>(s)]]))
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
        for (std::size_t c = 0; c < leads.size(); ++c) {
            const std::size_t size = ecg.leadSamples(leads[c]);
            const std::size_t have = first < size ? std::min(perRecord, size - first) : 0;
            short* out = block.data() + c * perRecord;
            ecg.copyLead(leads[c], first, have, out);
            std::fill(out + have, out + perRecord, kNotRecorded);
        }
        if (edf_blockwrite_digital_short_samples(h, block.data()) != 0)
            return Status::failure(ErrorCode::CannotWrite, "EDFlib could not write the samples");
    }
    if (edf.close() != 0)
        return Status::failure(ErrorCode::CannotWrite, "EDFlib could not finish the file");
    if (!ecg.interpretation.statements.empty())
        if (auto s = addStatements(path, statementAnnotations(ecg.interpretation)); !s)
            return s;
    // EDFlib does not see every failed write of its stream; a short file is caught here.
    auto promised = promisedSize(path);
    if (!promised)
        return Status::failure(ErrorCode::CannotWrite,
                               "the file was cut short (is the disk full?)");
    expectedSize = *promised;
    return Status::success();
}

} // namespace velkard::exporting::detail
