// SPDX-License-Identifier: GPL-3.0-or-later
// DICOM through DCMTK: 12-Lead ECG Waveform storage for recordings up to 16 s, General ECG Waveform
// storage for longer ones. Names in UTF-8 (ISO_IR 192) as the card holds them, family^given^middle.
// One multiplex group holds the twelve leads; when an A2 recording goes on recording lead II alone,
// a second group holds that lead for the whole recording (both groups start with the acquisition,
// which needs no time offset and so no claim of a synchronised clock).
#include "export/Writers.h"
#include "interpret/Interpret.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcistrmf.h>
#include <dcmtk/dcmdata/dctk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

namespace velkard::exporting::detail {

namespace {

// Longest recording of the 12-Lead ECG storage class.
inline constexpr std::size_t kTwelveLeadMaxSamples = 16 * kSampleRate;

struct LeadCode {
    const char* value;
    const char* meaning;
};
// Lead codes of the MDC coding scheme (DICOM's context group of ECG leads), in StandardLead order.
constexpr std::array<LeadCode, signal::kLeadCount> kLeadCodes{{{"2:1", "Lead I"},
                                                               {"2:2", "Lead II"},
                                                               {"2:61", "Lead III"},
                                                               {"2:62", "Lead aVR"},
                                                               {"2:63", "Lead aVL"},
                                                               {"2:64", "Lead aVF"},
                                                               {"2:3", "Lead V1"},
                                                               {"2:4", "Lead V2"},
                                                               {"2:5", "Lead V3"},
                                                               {"2:6", "Lead V4"},
                                                               {"2:7", "Lead V5"},
                                                               {"2:8", "Lead V6"}}};

// A UID from a random 128-bit number, the "2.25." form that needs no registered root.
std::string newUid(std::mt19937_64& rng) {
    unsigned __int128 v = (static_cast<unsigned __int128>(rng()) << 64) | rng();
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return "2.25." + digits;
}

std::string twoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}
std::string dicomDate(int y, int m, int d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}
std::string dicomTime(int h, int mi, int s) {
    return twoDigits(h) + twoDigits(mi) + twoDigits(s);
}

bool put(DcmItem* item, const DcmTagKey& tag, const std::string& value) {
    return item->putAndInsertString(tag, value.c_str()).good();
}

bool addCode(DcmItem* parent, const DcmTagKey& sequence, const char* value, const char* scheme,
             const char* meaning) {
    DcmItem* code = nullptr;
    return parent->findOrCreateSequenceItem(sequence, code, -2).good() &&
           put(code, DCM_CodeValue, value) && put(code, DCM_CodingSchemeDesignator, scheme) &&
           put(code, DCM_CodeMeaning, meaning);
}

// The waveform data of the groups, written to files beside the export and read from there as the
// export is saved, so the samples are not held a second and a third time in memory. The files go
// when the export is done, whatever its outcome.
class WaveformFiles {
public:
    explicit WaveformFiles(std::filesystem::path base) : base_(std::move(base)) {}
    ~WaveformFiles() {
        for (const auto& f : files_)
            std::remove(f.c_str());
    }
    WaveformFiles(const WaveformFiles&) = delete;
    WaveformFiles& operator=(const WaveformFiles&) = delete;
    std::string next() {
        files_.push_back(base_.string() + ".waveform" + std::to_string(files_.size()));
        return files_.back();
    }

private:
    std::filesystem::path base_;
    std::vector<std::string> files_;
};

// The samples of the leads interleaved, little-endian, into a new file; false when it cannot be
// written or the caller cancelled.
bool writeInterleaved(const std::string& file, const EcgExport& ecg,
                      const std::vector<std::size_t>& leads, std::size_t count, Progress& progress,
                      std::size_t stepsBefore) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return false;
    // A second of every lead at a time, then interleaved.
    std::vector<std::int16_t> second(kSampleRate * leads.size());
    std::vector<std::uint8_t> chunk(kSampleRate * leads.size() * 2);
    bool ok = true;
    for (std::size_t i = 0; i < count && ok; i += kSampleRate) {
        const std::size_t n = std::min<std::size_t>(kSampleRate, count - i);
        ok = progress.step(stepsBefore + i);
        if (!ok)
            break;
        for (std::size_t c = 0; c < leads.size(); ++c)
            ecg.copyLead(leads[c], i, n, second.data() + c * kSampleRate);
        std::uint8_t* o = chunk.data();
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t c = 0; c < leads.size(); ++c) {
                const auto v = static_cast<std::uint16_t>(second[c * kSampleRate + k]);
                *o++ = static_cast<std::uint8_t>(v & 0xFF);
                *o++ = static_cast<std::uint8_t>(v >> 8);
            }
        const auto bytes = static_cast<std::size_t>(o - chunk.data());
        ok = std::fwrite(chunk.data(), 1, bytes, out) == bytes;
    }
    return std::fclose(out) == 0 && ok;
}

// One multiplex group: the first `count` samples of the given leads.
bool addGroup(DcmDataset* ds, const EcgExport& ecg, const std::vector<std::size_t>& leads,
              std::size_t count, const char* label, Progress& progress, std::size_t stepsBefore,
              WaveformFiles& files) {
    DcmItem* group = nullptr;
    if (ds->findOrCreateSequenceItem(DCM_WaveformSequence, group, -2).bad())
        return false;
    bool ok =
        put(group, DCM_WaveformOriginality, "ORIGINAL") &&
        group->putAndInsertUint16(DCM_NumberOfWaveformChannels, static_cast<Uint16>(leads.size()))
            .good() &&
        group->putAndInsertUint32(DCM_NumberOfWaveformSamples, static_cast<Uint32>(count)).good() &&
        put(group, DCM_SamplingFrequency, std::to_string(kSampleRate)) &&
        put(group, DCM_MultiplexGroupLabel, label);
    for (std::size_t lead : leads) {
        DcmItem* channel = nullptr;
        ok = ok &&
             group->findOrCreateSequenceItem(DCM_ChannelDefinitionSequence, channel, -2).good();
        if (!ok)
            break;
        const LeadCode& code = kLeadCodes[lead];
        char sensitivity[32];
        std::snprintf(sensitivity, sizeof sensitivity, "%.14f", kMicrovoltsPerUnit); // 16 chars
        ok = addCode(channel, DCM_ChannelSourceSequence, code.value, "MDC", code.meaning) &&
             put(channel, DCM_ChannelSensitivity, sensitivity) &&
             addCode(channel, DCM_ChannelSensitivityUnitsSequence, "uV", "UCUM", "microvolt") &&
             put(channel, DCM_ChannelSensitivityCorrectionFactor, "1") &&
             put(channel, DCM_ChannelBaseline, "0") && put(channel, DCM_ChannelTimeSkew, "0") &&
             channel->putAndInsertUint16(DCM_WaveformBitsStored, 16).good();
    }
    ok = ok && group->putAndInsertUint16(DCM_WaveformBitsAllocated, 16).good() &&
         put(group, DCM_WaveformSampleInterpretation, "SS");
    const std::string file = files.next();
    if (!ok || !writeInterleaved(file, ecg, leads, count, progress, stepsBefore))
        return false;
    auto* data = new DcmOtherByteOtherWord(DcmTag(DCM_WaveformData, EVR_OW));
    // The element owns the stream factory and reads the file when the dataset is written.
    data->createValueFromTempFile(new DcmInputFileStreamFactory(file.c_str(), 0),
                                  static_cast<Uint32>(count * leads.size() * 2), EBO_LittleEndian);
    return group->insert(data, true).good();
}

// Code Meaning holds at most 64 characters (UTF-8 counted by its characters).
std::string meaningOf(const std::string& text) {
    std::size_t characters = 0, i = 0;
    for (; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && ++characters > 64)
            break;
    return text.substr(0, i);
}

// The interpretation as Waveform Annotation items that refer to all channels of the first
// multiplex group, one annotation group per statement: its text (Unformatted Text Value) and,
// when it has one, its SCP-ECG acronym as a coded concept (Concept Name Code Sequence, scheme
// SCPECG, meaning in English) in a second item, since an item holds one or the other; then
// whether it was confirmed and by whom, as text.
bool addStatements(DcmDataset* ds, const ExportInterpretation& interpretation) {
    if (interpretation.statements.empty())
        return true;
    Uint16 group = 0;
    const auto item = [&](const std::string& text, const std::string& code) {
        DcmItem* a = nullptr;
        bool ok = ds->findOrCreateSequenceItem(DCM_WaveformAnnotationSequence, a, -2).good();
        if (ok && code.empty()) {
            ok = put(a, DCM_UnformattedTextValue, text);
        } else if (ok) {
            const std::string meaning =
                interpret::statementText(code, interpret::Language::English);
            DcmItem* name = nullptr;
            ok = a->findOrCreateSequenceItem(DCM_ConceptNameCodeSequence, name, -2).good() &&
                 put(name, DCM_CodeValue, code) &&
                 put(name, DCM_CodingSchemeDesignator, "SCPECG") &&
                 put(name, DCM_CodingSchemeVersion, "1.3") &&
                 put(name, DCM_CodeMeaning, meaningOf(meaning.empty() ? code : meaning));
        }
        return ok && put(a, DCM_ReferencedWaveformChannels, "1\\0") &&
               a->putAndInsertUint16(DCM_AnnotationGroupNumber, group).good();
    };
    bool ok = true;
    for (const ExportStatement& s : interpretation.statements) {
        ++group;
        ok = ok && item(s.text, "");
        if (!s.code.empty())
            ok = ok && item("", s.code);
    }
    ++group;
    return ok && item(interpretationStatus(interpretation), "");
}

} // namespace

Status writeDicom(const EcgExport& ecg, const std::filesystem::path& path, Progress& progress) {
    std::mt19937_64 rng(std::random_device{}());
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    const bool twelveLead = ecg.samples() <= kTwelveLeadMaxSamples;

    // The export's own time stands in for an unknown recording time (a bare recording file).
    DateTime at{};
    if (ecg.recordedAt) {
        at = *ecg.recordedAt;
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        at = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
              local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    const std::string date = dicomDate(at.year, at.month, at.day);
    const std::string time = dicomTime(at.hour, at.minute, at.second);

    std::string name, id, birth, sex;
    if (ecg.patient) {
        const PersonName n = splitName(ecg.patient->name);
        name = n.family + "^" + n.given + "^" + n.middle;
        while (!name.empty() && name.back() == '^')
            name.pop_back();
        id = ecg.patient->id;
        while (!id.empty() && id.front() == ' ')
            id.erase(id.begin());
        if (auto b = parseDate(ecg.patient->birthDate))
            birth = dicomDate(b->year, b->month, b->day);
        const Sex s = sexOf(*ecg.patient);
        sex = s == Sex::Male ? "M" : s == Sex::Female ? "F" : "O";
    }

    const DicomIdentity& given = ecg.identity;
    auto uid = [&](const std::string& wanted) { return wanted.empty() ? newUid(rng) : wanted; };
    bool ok = put(ds, DCM_SpecificCharacterSet, "ISO_IR 192") &&
              put(ds, DCM_SOPClassUID,
                  twelveLead ? UID_TwelveLeadECGWaveformStorage : UID_GeneralECGWaveformStorage) &&
              put(ds, DCM_SOPInstanceUID, uid(given.sopInstanceUid)) &&
              // Patient
              put(ds, DCM_PatientName, name) && put(ds, DCM_PatientID, id) &&
              put(ds, DCM_PatientBirthDate, birth) && put(ds, DCM_PatientSex, sex) &&
              // Study, series, equipment
              put(ds, DCM_StudyInstanceUID, uid(given.studyInstanceUid)) &&
              put(ds, DCM_StudyDate, date) && put(ds, DCM_StudyTime, time) &&
              put(ds, DCM_ReferringPhysicianName, "") && put(ds, DCM_StudyID, "") &&
              put(ds, DCM_AccessionNumber, given.accessionNumber) && put(ds, DCM_Modality, "ECG") &&
              put(ds, DCM_SeriesInstanceUID, uid(given.seriesInstanceUid)) &&
              put(ds, DCM_SeriesNumber, "1") && put(ds, DCM_Manufacturer, "") &&
              put(ds, DCM_SoftwareVersions, "Velkard") &&
              // Waveform identification
              put(ds, DCM_InstanceNumber, "1") && put(ds, DCM_ContentDate, date) &&
              put(ds, DCM_ContentTime, time) && put(ds, DCM_AcquisitionDateTime, date + time);
    ok = ok && ds->insertEmptyElement(DCM_AcquisitionContextSequence).good();
    // The order the recording was made for (Request Attributes of the series).
    if (ok && (!given.requestedProcedureId.empty() || !given.accessionNumber.empty())) {
        DcmItem* request = nullptr;
        ok = ds->findOrCreateSequenceItem(DCM_RequestAttributesSequence, request, -2).good() &&
             put(request, DCM_AccessionNumber, given.accessionNumber) &&
             put(request, DCM_RequestedProcedureID, given.requestedProcedureId) &&
             put(request, DCM_RequestedProcedureDescription, given.requestedProcedureDescription) &&
             put(request, DCM_ScheduledProcedureStepID, given.scheduledStepId);
        if (ok && !given.requestedProcedureDescription.empty())
            ok = put(ds, DCM_StudyDescription, given.requestedProcedureDescription);
    }

    WaveformFiles files(path);
    ok = ok && addGroup(ds, ecg, ecg.writtenLeadIndexes(), ecg.twelveLeadSamples(), "RHYTHM",
                        progress, 0, files);
    if (ok && ecg.leadIIContinuesAlone() && ecg.present[signal::StandardLeadII])
        ok = addGroup(ds, ecg, {signal::StandardLeadII}, ecg.samples(), "LEAD II", progress,
                      ecg.twelveLeadSamples(), files);
    if (progress.cancelled())
        return cancelled();
    ok = ok && addStatements(ds, ecg.interpretation);
    if (!ok)
        return Status::failure(ErrorCode::CannotWrite, "DCMTK refused an attribute");
    const OFCondition saved = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
    if (saved.bad())
        return Status::failure(ErrorCode::CannotWrite, saved.text());
    return Status::success();
}

} // namespace velkard::exporting::detail
