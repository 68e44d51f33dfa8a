// SPDX-License-Identifier: GPL-3.0-or-later
// HL7 v3 annotated ECG (aECG) XML: one rhythm series; a sequence set holds the time sequence and
// the twelve lead sequences as SLIST_PQ (whole instrument units, origin 0 µV, scale in µV). The
// lead II that an A2 recording goes on recording alone is a second sequence set starting where the
// first ends. The interpretation, when there is one, is the series' annotation set.
#include "export/Writers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <random>

namespace velkard::exporting::detail {

namespace {

constexpr std::array<const char*, signal::kLeadCount> kLeadCodes{
    "MDC_ECG_LEAD_I",   "MDC_ECG_LEAD_II",  "MDC_ECG_LEAD_III", "MDC_ECG_LEAD_AVR",
    "MDC_ECG_LEAD_AVL", "MDC_ECG_LEAD_AVF", "MDC_ECG_LEAD_V1",  "MDC_ECG_LEAD_V2",
    "MDC_ECG_LEAD_V3",  "MDC_ECG_LEAD_V4",  "MDC_ECG_LEAD_V5",  "MDC_ECG_LEAD_V6"};

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out.push_back(c);
        }
    }
    return out;
}

std::string uuid(std::mt19937_64& rng) {
    const std::uint64_t a = rng(), b = rng();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return buf;
}

// HL7 TS: yyyyMMddhhmmss with an optional fraction of a second.
std::string timestamp(const DateTime& t, std::size_t sampleOffset) {
    const std::size_t ms = sampleOffset * 1000 / kSampleRate;
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second + static_cast<int>(ms / 1000);
    timegm(&tm); // normalises the seconds into minutes, hours and days
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return buf;
}

constexpr std::size_t kDrainBytes = std::size_t(1) << 20;

// The samples of a lead; a failure when the caller cancelled on the way or the text could not be
// written away. Steps count the samples of every lead written before (done).
Status digits(std::string& out, const EcgExport& ecg, std::size_t lead, std::size_t first,
              std::size_t count, Progress& progress, std::size_t done, const Drain& drain) {
    char buf[8];
    std::array<std::int16_t, kSampleRate> second;
    for (std::size_t i = 0; i < count; i += kSampleRate) {
        if (!progress.step(done + i))
            return cancelled();
        if (drain && out.size() >= kDrainBytes)
            if (auto s = drain(out); !s)
                return s;
        const std::size_t n = std::min<std::size_t>(kSampleRate, count - i);
        ecg.copyLead(lead, first + i, n, second.data());
        for (std::size_t k = 0; k < n; ++k) {
            if (i + k)
                out.push_back(' ');
            auto r = std::to_chars(buf, buf + sizeof buf, second[k]);
            out.append(buf, r.ptr);
        }
    }
    return Status::success();
}

Status sequenceSet(std::string& x, const EcgExport& ecg, const DateTime& start,
                   const std::vector<std::size_t>& leads, std::size_t first, std::size_t count,
                   Progress& progress, std::size_t& done, const Drain& drain) {
    char scale[40];
    std::snprintf(scale, sizeof scale, "%.17g", kMicrovoltsPerUnit);
    x += "      <component>\n        <sequenceSet>\n";
    x += "          <component>\n            <sequence>\n"
         "              <code code=\"TIME_ABSOLUTE\" codeSystem=\"2.16.840.1.113883.5.4\" "
         "codeSystemName=\"ActCode\"/>\n"
         "              <value xsi:type=\"GLIST_TS\">\n"
         "                <head value=\"" +
         timestamp(start, first) +
         "\"/>\n"
         "                <increment value=\"0.00125\" unit=\"s\"/>\n"
         "              </value>\n            </sequence>\n          </component>\n";
    for (std::size_t lead : leads) {
        x += "          <component>\n            <sequence>\n              <code code=\"";
        x += kLeadCodes[lead];
        x += "\" codeSystem=\"2.16.840.1.113883.6.24\" codeSystemName=\"MDC\"/>\n"
             "              <value xsi:type=\"SLIST_PQ\">\n"
             "                <origin value=\"0\" unit=\"uV\"/>\n"
             "                <scale value=\"";
        x += scale;
        x += "\" unit=\"uV\"/>\n                <digits>";
        if (auto s = digits(x, ecg, lead, first, count, progress, done, drain); !s)
            return s;
        done += count;
        x += "</digits>\n              </value>\n            </sequence>\n          </component>\n";
    }
    x += "        </sequenceSet>\n      </component>\n";
    return Status::success();
}

// The interpretation as the series' annotation set: one MDC_ECG_INTERPRETATION annotation holding
// a MDC_ECG_INTERPRETATION_STATEMENT per statement (its SCP-ECG acronym as a coded value with
// the text as original text; the physician's free text as a string) and a
// MDC_ECG_INTERPRETATION_COMMENT saying whether it was confirmed and by whom.
void annotationSet(std::string& x, const ExportInterpretation& interpretation) {
    if (interpretation.statements.empty())
        return;
    const auto code = [](const char* mdc) {
        return std::string("<code code=\"") + mdc +
               "\" codeSystem=\"2.16.840.1.113883.6.24\" codeSystemName=\"MDC\"/>";
    };
    x += "      <subjectOf>\n        <annotationSet>\n          <component>\n"
         "            <annotation>\n              " +
         code("MDC_ECG_INTERPRETATION") + "\n";
    const auto annotation = [&](const char* mdc, const std::string& value) {
        x += "              <component>\n                <annotation>\n                  " +
             code(mdc) + "\n                  " + value +
             "\n                </annotation>\n              </component>\n";
    };
    for (const ExportStatement& s : interpretation.statements)
        annotation("MDC_ECG_INTERPRETATION_STATEMENT",
                   s.code.empty() ? "<value xsi:type=\"ST\">" + escaped(s.text) + "</value>"
                                  : "<value xsi:type=\"CE\" code=\"" + escaped(s.code) +
                                        "\" codeSystemName=\"SCPECG\"><originalText>" +
                                        escaped(s.text) + "</originalText></value>");
    annotation("MDC_ECG_INTERPRETATION_COMMENT", "<value xsi:type=\"ST\">" +
                                                     escaped(interpretationStatus(interpretation)) +
                                                     "</value>");
    x += "            </annotation>\n          </component>\n        </annotationSet>\n"
         "      </subjectOf>\n";
}

} // namespace

Status encodeAecg(const EcgExport& ecg, std::string& x, Progress& progress, const Drain& drain) {
    std::mt19937_64 rng(std::random_device{}());
    // An unknown recording time is written as HL7's "no information" on the effective time and
    // a zero time base for the samples.
    const DateTime start = ecg.recordedAt.value_or(DateTime{1985, 1, 1, 0, 0, 0});
    const std::string low = ecg.recordedAt ? timestamp(start, 0) : "";
    const std::string high = ecg.recordedAt ? timestamp(start, ecg.samples()) : "";
    auto effectiveTime = [&](const char* indent) {
        std::string e = std::string(indent) + "<effectiveTime>\n";
        if (ecg.recordedAt)
            e += std::string(indent) + "  <low value=\"" + low + "\" inclusive=\"true\"/>\n" +
                 indent + "  <high value=\"" + high + "\" inclusive=\"false\"/>\n";
        else
            e += std::string(indent) + "  <low nullFlavor=\"NI\"/>\n";
        return e + indent + "</effectiveTime>\n";
    };

    x.clear();
    x.reserve(drain ? kDrainBytes + 65536 : ecg.samples() * signal::kLeadCount * 6 + 8192);
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<AnnotatedECG xmlns=\"urn:hl7-org:v3\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "classCode=\"OBS\" moodCode=\"EVN\">\n";
    x += "  <id root=\"" + uuid(rng) + "\"/>\n";
    x +=
        "  <code code=\"93000\" codeSystem=\"2.16.840.1.113883.6.12\" codeSystemName=\"CPT-4\"/>\n";
    x += effectiveTime("  ");

    // The patient, as aECG carries a subject: name, ID, sex, birth date.
    x += "  <componentOf>\n    <timepointEvent>\n      <componentOf>\n"
         "        <subjectAssignment>\n          <subject>\n            <trialSubject>\n";
    if (ecg.patient) {
        std::string id = ecg.patient->id;
        while (!id.empty() && id.front() == ' ')
            id.erase(id.begin());
        x += "              <id extension=\"" + escaped(id) + "\"/>\n";
        x += "              <subjectDemographicPerson>\n                <name>";
        const PersonName n = splitName(ecg.patient->name);
        if (!n.family.empty())
            x += "<family>" + escaped(n.family) + "</family>";
        if (!n.given.empty())
            x += "<given>" + escaped(n.given) + "</given>";
        if (!n.middle.empty())
            x += "<given>" + escaped(n.middle) + "</given>";
        x += "</name>\n";
        const Sex sex = sexOf(*ecg.patient);
        if (sex == Sex::Unknown)
            x += "                <administrativeGenderCode nullFlavor=\"UNK\"/>\n";
        else
            x += std::string("                <administrativeGenderCode code=\"") +
                 (sex == Sex::Male ? "M" : "F") + "\" codeSystem=\"2.16.840.1.113883.5.1\"/>\n";
        if (auto born = parseDate(ecg.patient->birthDate)) {
            char b[16];
            std::snprintf(b, sizeof b, "%04d%02d%02d", born->year, born->month, born->day);
            x += std::string("                <birthTime value=\"") + b + "\"/>\n";
        }
        x += "              </subjectDemographicPerson>\n";
    } else {
        // Readers (BioSig) need an ID of the subject; "UNKNOWN" is the usual stand-in.
        x += "              <id root=\"" + uuid(rng) + "\" extension=\"UNKNOWN\"/>\n";
    }
    x += "            </trialSubject>\n          </subject>\n"
         "          <componentOf>\n            <clinicalTrial>\n"
         "              <id root=\"" +
         uuid(rng) +
         "\"/>\n"
         "            </clinicalTrial>\n          </componentOf>\n"
         "        </subjectAssignment>\n      </componentOf>\n"
         "    </timepointEvent>\n  </componentOf>\n";

    x += "  <component>\n    <series>\n      <id root=\"" + uuid(rng) + "\"/>\n";
    x += "      <code code=\"RHYTHM\" codeSystem=\"2.16.840.1.113883.5.4\" "
         "codeSystemName=\"ActCode\"/>\n";
    x += effectiveTime("      ");
    x += "      <author>\n        <seriesAuthor>\n          <manufacturedSeriesDevice>\n"
         "            <manufacturerModelName>Velkard</manufacturerModelName>\n"
         "          </manufacturedSeriesDevice>\n        </seriesAuthor>\n      </author>\n";
    std::size_t done = 0;
    if (auto s = sequenceSet(x, ecg, start, ecg.writtenLeadIndexes(), 0, ecg.twelveLeadSamples(),
                             progress, done, drain);
        !s)
        return s;
    if (ecg.leadIIContinuesAlone() && ecg.present[signal::StandardLeadII])
        if (auto s = sequenceSet(x, ecg, start, {signal::StandardLeadII}, ecg.twelveLeadSamples(),
                                 ecg.samples() - ecg.twelveLeadSamples(), progress, done, drain);
            !s)
            return s;
    annotationSet(x, ecg.interpretation);
    x += "    </series>\n  </component>\n</AnnotatedECG>\n";
    return Status::success();
}

} // namespace velkard::exporting::detail
