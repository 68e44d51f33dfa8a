// SPDX-License-Identifier: GPL-3.0-or-later
// SCP-ECG (EN 1064 / ISO 11073-91064), version 3.0 text in UTF-8: section 0 (pointers), 1 (patient
// and acquisition), 3 (lead definitions of the leads present) and 6 (rhythm data, uncompressed
// 16-bit, no difference encoding), and when there are statements 8 (their full text) and 11
// (their codes), each with its CRC. The amplitude step is a whole number of nanovolts, 1468 nV for
// one instrument unit (1000 / 681.29 = 1467.8 nV), so every sample stays within 1 µV below 10 mV.
#include "export/Writers.h"

#include <string>

namespace velkard::exporting::detail {

namespace {

inline constexpr std::uint8_t kVersion = 30; // 3.0
// Section 6 gives each lead's byte count in 16 bits.
inline constexpr std::size_t kMaxSamples = 0xFFFF / 2;

// SCP lead identifiers, in StandardLead order.
constexpr std::array<std::uint8_t, signal::kLeadCount> kScpLeadIds{1, 2, 61, 62, 63, 64,
                                                                   3, 4, 5,  6,  7,  8};

// CRC-CCITT (polynomial 0x1021, initial value 0xFFFF), as the format defines it.
std::uint16_t crc(const std::uint8_t* data, std::size_t size) {
    std::uint16_t c = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        c ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int b = 0; b < 8; ++b)
            c = (c & 0x8000) ? static_cast<std::uint16_t>((c << 1) ^ 0x1021)
                             : static_cast<std::uint16_t>(c << 1);
    }
    return c;
}

class Bytes {
public:
    void u8(std::uint8_t v) { b_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v & 0xFF));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v & 0xFFFF));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void text(std::string_view s) { b_.insert(b_.end(), s.begin(), s.end()); }
    void zeros(std::size_t n) { b_.insert(b_.end(), n, 0); }
    std::vector<std::uint8_t>& data() { return b_; }

private:
    std::vector<std::uint8_t> b_;
};

// A section: 16-byte header (CRC, ID, length, versions, reserved) and the body, padded to an even
// length.
std::vector<std::uint8_t> section(std::uint16_t id, std::vector<std::uint8_t> body) {
    if (body.size() % 2)
        body.push_back(0);
    Bytes s;
    s.u16(0); // CRC, filled in below
    s.u16(id);
    s.u32(static_cast<std::uint32_t>(16 + body.size()));
    s.u8(kVersion);
    s.u8(kVersion);
    if (id == 0)
        s.text("SCPECG");
    else
        s.zeros(6);
    auto& out = s.data();
    out.insert(out.end(), body.begin(), body.end());
    const std::uint16_t c = crc(out.data() + 2, out.size() - 2);
    out[0] = static_cast<std::uint8_t>(c & 0xFF);
    out[1] = static_cast<std::uint8_t>(c >> 8);
    return out;
}

void tag(Bytes& b, std::uint8_t t, const std::vector<std::uint8_t>& value) {
    b.u8(t);
    b.u16(static_cast<std::uint16_t>(value.size()));
    b.data().insert(b.data().end(), value.begin(), value.end());
}

void textTag(Bytes& b, std::uint8_t t, std::string_view text) {
    std::vector<std::uint8_t> v(text.begin(), text.end());
    v.push_back(0);
    tag(b, t, v);
}

std::vector<std::uint8_t> patientSection(const EcgExport& ecg) {
    Bytes b;
    if (ecg.patient) {
        const PersonName n = splitName(ecg.patient->name);
        textTag(b, 0, n.family);
        textTag(b, 1, n.middle.empty() ? n.given : n.given + " " + n.middle);
        std::string id = ecg.patient->id;
        while (!id.empty() && id.front() == ' ')
            id.erase(id.begin());
        textTag(b, 2, id);
        if (auto born = parseDate(ecg.patient->birthDate))
            tag(b, 5,
                {static_cast<std::uint8_t>(born->year & 0xFF),
                 static_cast<std::uint8_t>(born->year >> 8), static_cast<std::uint8_t>(born->month),
                 static_cast<std::uint8_t>(born->day)});
        const Sex sex = sexOf(*ecg.patient);
        tag(b, 8, {static_cast<std::uint8_t>(sex == Sex::Male ? 1 : sex == Sex::Female ? 2 : 0)});
    } else {
        textTag(b, 2, ""); // the patient ID is required, here empty
    }
    // Acquiring device: cart, manufacturer "other", protocol 3.0, UTF-8 texts, 50 Hz mains.
    Bytes device;
    device.u16(0); // institution
    device.u16(0); // department
    device.u16(0); // device ID
    device.u8(0);  // cart
    device.u8(255);
    device.text("VLKRD");
    device.u8(0); // six bytes of model description
    device.u8(kVersion);
    device.u8(0xA0); // conformance category
    device.u8(0x37); // UTF-8
    device.u8(0xD0); // acquire, print, store
    device.u8(1);    // 50 Hz
    device.zeros(16);
    device.u8(1); // analysing program revision: an empty string
    device.u8(0);
    for (std::string_view s : {"", "", "Velkard", "Velkard"}) {
        device.text(s);
        device.u8(0);
    }
    tag(b, 14, device.data());
    // The latest confirming physician.
    if (const ExportInterpretation& i = ecg.interpretation;
        i.confirmed && !i.physician.empty() && !i.statements.empty())
        textTag(b, 21, i.physician);
    if (ecg.recordedAt) {
        const DateTime& t = *ecg.recordedAt;
        tag(b, 25,
            {static_cast<std::uint8_t>(t.year & 0xFF), static_cast<std::uint8_t>(t.year >> 8),
             static_cast<std::uint8_t>(t.month), static_cast<std::uint8_t>(t.day)});
        tag(b, 26,
            {static_cast<std::uint8_t>(t.hour), static_cast<std::uint8_t>(t.minute),
             static_cast<std::uint8_t>(t.second)});
    }
    tag(b, 255, {});
    return b.data();
}

std::vector<std::uint8_t> leadSection(const EcgExport& ecg) {
    Bytes b;
    const std::vector<std::size_t> leads = ecg.writtenLeadIndexes();
    b.u8(static_cast<std::uint8_t>(leads.size()));
    // Bit 2: all leads recorded simultaneously; bits 3..7: how many.
    b.u8(static_cast<std::uint8_t>(0x04 | (leads.size() << 3)));
    for (std::size_t l : leads) {
        b.u32(1);
        b.u32(static_cast<std::uint32_t>(ecg.leadSamples(l)));
        b.u8(kScpLeadIds[l]);
    }
    return b.data();
}

std::vector<std::uint8_t> rhythmSection(const EcgExport& ecg) {
    Bytes b;
    b.u16(kScpNanovoltsPerUnit);
    b.u16(1000000 / kSampleRate); // sample interval in µs
    b.u8(0);                      // no difference encoding
    b.u8(0);                      // no bimodal compression
    const std::vector<std::size_t> leads = ecg.writtenLeadIndexes();
    for (std::size_t l : leads)
        b.u16(static_cast<std::uint16_t>(ecg.leadSamples(l) * 2));
    std::vector<std::int16_t> lead;
    for (std::size_t l : leads) {
        lead.resize(ecg.leadSamples(l));
        ecg.copyLead(l, 0, lead.size(), lead.data());
        for (std::int16_t v : lead)
            b.u16(static_cast<std::uint16_t>(v));
    }
    return b.data();
}

// The head of sections 8 and 11: confirmed or the program's own, the report's date and time
// (the confirmation's, else the recording's; zeros when unknown) and how many statements follow.
void reportHead(Bytes& b, const ExportInterpretation& i, const std::optional<DateTime>& recorded,
                std::size_t count) {
    b.u8(i.confirmed ? 1 : 0);
    const std::optional<DateTime> t = i.confirmed && i.confirmedAt ? i.confirmedAt : recorded;
    const DateTime at = t.value_or(DateTime{});
    b.u16(static_cast<std::uint16_t>(at.year));
    for (int v : {at.month, at.day, at.hour, at.minute, at.second})
        b.u8(static_cast<std::uint8_t>(v));
    b.u8(static_cast<std::uint8_t>(count));
}

// A statement's count byte takes up to 255.
constexpr std::size_t kMaxStatements = 255;

// Section 8: the statements' full texts, one statement each.
std::vector<std::uint8_t> textSection(const EcgExport& ecg) {
    const auto& i = ecg.interpretation;
    const std::size_t count = std::min(i.statements.size(), kMaxStatements);
    Bytes b;
    reportHead(b, i, ecg.recordedAt, count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::string& text = i.statements[k].text;
        b.u8(static_cast<std::uint8_t>(k + 1));
        b.u16(static_cast<std::uint16_t>(std::min<std::size_t>(text.size(), 0xFFF0) + 1));
        b.text(std::string_view(text).substr(0, 0xFFF0));
        b.u8(0);
    }
    return b.data();
}

// Section 11: the universal statement codes (field type 1, the acronym); the physician's free
// text, which has none, as full text (field type 2).
std::vector<std::uint8_t> codeSection(const EcgExport& ecg) {
    const auto& i = ecg.interpretation;
    const std::size_t count = std::min(i.statements.size(), kMaxStatements);
    Bytes b;
    reportHead(b, i, ecg.recordedAt, count);
    for (std::size_t k = 0; k < count; ++k) {
        const ExportStatement& s = i.statements[k];
        const bool coded = !s.code.empty();
        const std::string_view field = std::string_view(coded ? s.code : s.text).substr(0, 0xFFF0);
        b.u8(static_cast<std::uint8_t>(k + 1));
        b.u16(static_cast<std::uint16_t>(field.size() + 2));
        b.u8(coded ? 1 : 2);
        b.text(field);
        b.u8(0);
    }
    return b.data();
}

} // namespace

Status scpCanHold(std::size_t samples, std::size_t twelveLeadSamples) {
    if (samples > kMaxSamples)
        return Status::failure(ErrorCode::FormatCannotHold,
                               "SCP-ECG holds at most " + std::to_string(kMaxSamples) +
                                   " samples a lead (" + std::to_string(kMaxSamples / kSampleRate) +
                                   " s at 800 Hz); this recording has " + std::to_string(samples));
    // Section 3 could give lead II a longer range than the others, but readers (BioSig among them)
    // take every lead as long as the longest and read garbage; such a file is not written.
    if (samples > twelveLeadSamples)
        return Status::failure(ErrorCode::FormatCannotHold,
                               "SCP-ECG readers take all leads as equally long; this A2 recording "
                               "goes on with lead II alone after 10.05 s (export EDF+, DICOM or "
                               "HL7 aECG instead)");
    return Status::success();
}

Status encodeScp(const EcgExport& ecg, std::vector<std::uint8_t>& out) {
    if (auto s = scpCanHold(ecg.samples(), ecg.twelveLeadSamples()); !s)
        return s;
    std::array<std::vector<std::uint8_t>, 12> sections;
    sections[1] = section(1, patientSection(ecg));
    sections[3] = section(3, leadSection(ecg));
    sections[6] = section(6, rhythmSection(ecg));
    if (!ecg.interpretation.statements.empty()) {
        sections[8] = section(8, textSection(ecg));
        sections[11] = section(11, codeSection(ecg));
    }

    // Section 0 points at every section 0..11 by 1-based byte position; absent ones get zeros.
    const std::size_t pointerBytes = 16 + 12 * 10;
    std::array<std::uint32_t, 12> index{};
    std::size_t position = 6 + pointerBytes;
    for (std::size_t id = 1; id < sections.size(); ++id)
        if (!sections[id].empty()) {
            index[id] = static_cast<std::uint32_t>(position + 1);
            position += sections[id].size();
        }
    Bytes pointers;
    for (std::size_t id = 0; id < sections.size(); ++id) {
        pointers.u16(static_cast<std::uint16_t>(id));
        pointers.u32(static_cast<std::uint32_t>(id == 0 ? pointerBytes : sections[id].size()));
        pointers.u32(id == 0 ? 7 : index[id]);
    }
    sections[0] = section(0, pointers.data());

    Bytes file;
    file.u16(0);
    file.u32(static_cast<std::uint32_t>(position));
    for (const auto& s : sections)
        file.data().insert(file.data().end(), s.begin(), s.end());
    out = std::move(file.data());
    const std::uint16_t c = crc(out.data() + 2, out.size() - 2);
    out[0] = static_cast<std::uint8_t>(c & 0xFF);
    out[1] = static_cast<std::uint8_t>(c >> 8);
    return Status::success();
}

} // namespace velkard::exporting::detail
