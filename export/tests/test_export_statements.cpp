// SPDX-License-Identifier: GPL-3.0-or-later
// What a card-file recording says and which leads it carries, read back from every format by
// readers no one here wrote: EDFlib and BioSig (EDF+ annotations), PixelMed (SCP-ECG sections 8
// and 11), pydicom and dicom3tools (the DICOM waveform's annotations and channels), Python's XML
// parser (the HL7 aECG annotation set); BioSig and pydicom for the leads and their samples.
#include "cardfile/CardFile.h"
#include "cardfile/Records.h"
#include "export/CardFileExport.h"
#include "export/tests/Readers.h"
#include "interpret/Interpret.h"
#include "interpret/Report.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace velkard::exporting::test {
namespace {

namespace fs = std::filesystem;
using interpret::Language;

std::string unhex(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::string> words(const std::string& line) {
    std::stringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::stringstream in(text);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The labels a format gives the present leads ("ECG I" for EDF+, "I" for BioSig's SCP and aECG).
std::vector<std::string> labelsOf(const LeadSet& present, const std::string& prefix) {
    std::vector<std::string> out;
    for (std::size_t l = 0; l < present.size(); ++l)
        if (present[l])
            out.push_back(prefix + signal::kStandardLeadNames[l]);
    return out;
}

// Largest |read - expected| in µV over the present leads, read columns in lead order; a missing
// column or sample counts as infinite (the labels tell the columns apart).
double worstOfPresent(const std::vector<std::vector<double>>& read,
                      const std::array<std::vector<std::int16_t>, 12>& expected,
                      const LeadSet& present) {
    std::size_t column = 0;
    double worst = 0;
    for (std::size_t l = 0; l < expected.size(); ++l) {
        if (!present[l])
            continue;
        if (column >= read.size() || read[column].size() != expected[l].size())
            return std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < expected[l].size(); ++i) {
            const double d = std::fabs(read[column][i] - expected[l][i] * kMicrovoltsPerUnit);
            if (!(d <= worst))
                worst = std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
        }
        ++column;
    }
    return worst;
}

// ---- The readers ----

struct EdfAnnotations {
    int status = -1;
    std::vector<std::string> labels;
    std::vector<std::pair<long long, std::string>> annotations; // onset (100 ns), text
};

// EDFlib, reading.
EdfAnnotations edflibReads(const fs::path& file) {
    EdfAnnotations out;
    edf_hdr_struct h{};
    out.status = edfopen_file_readonly(file.c_str(), &h, EDFLIB_READ_ALL_ANNOTATIONS);
    if (out.status != 0)
        return out;
    for (int s = 0; s < h.edfsignals; ++s) {
        std::string label = h.signalparam[s].label;
        while (!label.empty() && label.back() == ' ')
            label.pop_back();
        out.labels.push_back(label);
    }
    for (long long a = 0; a < h.annotations_in_file; ++a) {
        edf_annotation_struct annotation{};
        if (edf_get_annotation(h.handle, static_cast<int>(a), &annotation) == 0)
            out.annotations.emplace_back(annotation.onset, annotation.annotation);
    }
    edfclose_file(h.handle);
    return out;
}

// BioSig's events of an EDF+ file: position in s and description.
std::vector<std::pair<double, std::string>> bioSigEvents(const fs::path& file) {
    const std::string json = bioSigHeader(file).json;
    const std::size_t events = json.find("\"EVENT\"");
    std::vector<std::pair<double, std::string>> out;
    if (events == std::string::npos)
        return out;
    const std::string tail = json.substr(events);
    const auto positions = jsonValues(tail, "POS");
    const auto texts = jsonValues(tail, "Description");
    for (std::size_t i = 0; i < std::min(positions.size(), texts.size()); ++i)
        out.emplace_back(std::strtod(positions[i].c_str(), nullptr), texts[i]);
    return out;
}

struct ScpReport {
    bool present = false;
    int confirmed = -1;
    std::string dateTime;
    std::vector<std::string> statements; // the statements' bytes, as stored
};
struct ScpRead {
    int status = -1;
    std::vector<std::string> leads;
    ScpReport s8, s11;
    std::string physician;
    std::string out;
};

// PixelMed (libpixelmed-java), through ScpStatements.java compiled into `work`.
ScpRead pixelMedReads(const fs::path& file, const fs::path& work) {
    ScpRead r;
    const std::string jar = "/usr/share/java/pixelmed.jar";
    if (!fs::exists(work / "ScpStatements.class")) {
        const auto compiled = runCommand("javac -d " + quoted(work) + " -cp " + jar + " " +
                                         quoted(VELKARD_SCP_STATEMENTS_JAVA));
        if (compiled.status != 0) {
            r.out = compiled.out;
            return r;
        }
    }
    // PixelMed warns on stderr (its Huffman decoder on uncompressed data); stdout is the answer.
    const auto run = runCommand("java -cp " + jar + ":" + quoted(work) + " ScpStatements " +
                                quoted(file) + " 2>/dev/null");
    r.status = run.status;
    r.out = run.out;
    for (const std::string& line : lines(run.out)) {
        const auto w = words(line);
        if (w.empty())
            continue;
        if (w[0] == "leads" && w.size() == 2) {
            std::stringstream names(w[1]);
            for (std::string n; std::getline(names, n, ',');)
                r.leads.push_back(n);
        } else if ((w[0] == "s8" || w[0] == "s11") && w.size() >= 2) {
            ScpReport& s = w[0] == "s8" ? r.s8 : r.s11;
            if (w.size() == 5) {
                s.present = true;
                s.confirmed = std::stoi(w[1]);
                s.dateTime = w[2] + " " + w[3];
            } else if (w.size() == 3) {
                s.statements.push_back(unhex(w[2]));
            }
        } else if (w[0] == "physician") {
            r.physician = w.size() > 1 ? unhex(w[1]) : "";
        }
    }
    return r;
}

const char* const kPydicomScript = R"(import sys, struct, pydicom
d = pydicom.dcmread(sys.argv[1])
for g in d.WaveformSequence:
    n, c = g.NumberOfWaveformSamples, g.NumberOfWaveformChannels
    print('group', n, c, ' '.join(ch.ChannelSourceSequence[0].CodeValue for ch in g.ChannelDefinitionSequence))
    v = struct.unpack('<%dh' % (n * c), g.WaveformData)
    for k in range(c):
        print('samples', ' '.join(str(x) for x in v[k::c]))
for a in d.get('WaveformAnnotationSequence', []):
    group = a.get('AnnotationGroupNumber', 0)
    chans = '/'.join(str(x) for x in a.ReferencedWaveformChannels)
    if 'UnformattedTextValue' in a:
        print('text', group, chans, a.UnformattedTextValue.encode('utf-8').hex())
    for c in a.get('ConceptNameCodeSequence', []):
        print('code', group, chans, c.CodeValue, c.CodingSchemeDesignator, c.CodeMeaning.encode('utf-8').hex())
)";

struct DicomRead {
    int status = -1;
    std::vector<std::string> codes;           // first group's channel sources
    std::vector<std::vector<double>> samples; // first group, µV
    // group number -> texts, codes (value, scheme, meaning)
    std::map<int, std::vector<std::string>> texts;
    std::map<int, std::vector<std::array<std::string, 3>>> coded;
    std::vector<std::string> channels; // Referenced Waveform Channels of every annotation
    std::string out;
};

// pydicom (python3-pydicom).
DicomRead pydicomReads(const fs::path& file, const fs::path& work) {
    DicomRead r;
    const fs::path script = work / "read_dicom.py";
    std::ofstream(script) << kPydicomScript;
    const auto run = runCommand("/usr/bin/python3 " + quoted(script) + " " + quoted(file));
    r.status = run.status;
    r.out = run.out;
    bool firstGroup = false;
    for (const std::string& line : lines(run.out)) {
        const auto w = words(line);
        if (w.empty())
            continue;
        if (w[0] == "group") {
            firstGroup = r.codes.empty();
            if (firstGroup)
                r.codes.assign(w.begin() + 3, w.end());
        } else if (w[0] == "samples" && firstGroup) {
            std::vector<double> lead;
            for (std::size_t i = 1; i < w.size(); ++i)
                lead.push_back(std::stod(w[i]) * kMicrovoltsPerUnit);
            r.samples.push_back(std::move(lead));
        } else if (w[0] == "text" && w.size() == 4) {
            r.texts[std::stoi(w[1])].push_back(unhex(w[3]));
            r.channels.push_back(w[2]);
        } else if (w[0] == "code" && w.size() == 6) {
            r.coded[std::stoi(w[1])].push_back({w[3], w[4], unhex(w[5])});
            r.channels.push_back(w[2]);
        }
    }
    return r;
}

const char* const kAecgScript = R"(import sys
import xml.etree.ElementTree as ET
ns = {'h': 'urn:hl7-org:v3'}
xsi = '{http://www.w3.org/2001/XMLSchema-instance}type'
root = ET.parse(sys.argv[1]).getroot()
for s in root.iterfind('.//h:sequenceSet/h:component/h:sequence', ns):
    print('sequence', s.find('h:code', ns).get('code'))
for a in root.iterfind('.//h:subjectOf/h:annotationSet/h:component/h:annotation', ns):
    print('annotation', a.find('h:code', ns).get('code'))
    for b in a.iterfind('h:component/h:annotation', ns):
        v = b.find('h:value', ns)
        text = v.text if v.get(xsi) == 'ST' else v.find('h:originalText', ns).text
        print('item', b.find('h:code', ns).get('code'), v.get(xsi), v.get('code') or '-',
              v.get('codeSystemName') or '-', text.encode('utf-8').hex())
)";

struct AecgRead {
    int status = -1;
    std::vector<std::string> sequences;
    std::vector<std::string> annotations;
    // MDC code, value type, statement code, code system name, text
    std::vector<std::array<std::string, 5>> items;
    std::string out;
};

// Python's XML parser.
AecgRead pythonXmlReads(const fs::path& file, const fs::path& work) {
    AecgRead r;
    const fs::path script = work / "read_aecg.py";
    std::ofstream(script) << kAecgScript;
    const auto run = runCommand("/usr/bin/python3 " + quoted(script) + " " + quoted(file));
    r.status = run.status;
    r.out = run.out;
    for (const std::string& line : lines(run.out)) {
        const auto w = words(line);
        if (w.size() == 2 && w[0] == "sequence")
            r.sequences.push_back(w[1]);
        else if (w.size() == 2 && w[0] == "annotation")
            r.annotations.push_back(w[1]);
        else if (w.size() == 6 && w[0] == "item")
            r.items.push_back({w[1], w[2], w[3], w[4], unhex(w[5])});
    }
    return r;
}

bool requireReaders() {
    bool ok = requireTool("save2gdf", "biosig-tools");
    ok = requireTool("dciodvfy", "dicom3tools") && ok;
    ok = requireTool("javac", "default-jdk-headless") && ok;
    if (!fs::exists("/usr/share/java/pixelmed.jar")) {
        ADD_FAILURE() << "PixelMed is not installed (Debian package libpixelmed-java)";
        ok = false;
    }
    if (runCommand("/usr/bin/python3 -c 'import pydicom'").status != 0) {
        ADD_FAILURE() << "pydicom is not installed (Debian package python3-pydicom)";
        ok = false;
    }
    return ok;
}

// ---- The card file ----

class ExportStatements : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velkard-statements-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        card_ = std::make_unique<cardfile::CardFile>(dir_);
        cardfile::NewPatientInput in{
            "Петрова Мария Сергеевна", "Жен", "03.09.1975", "", "", "", "77 01"};
        auto created = cardfile::createNewPatient(*card_, in, true);
        ASSERT_TRUE(created) << created.message;
        patient_ = created.value;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Files recording `number` (recorded 02.06.2024 18:47:09) with, when given, its lead list.
    void addRecording(int number, const signal::RecordingBuffer& buffer,
                      const std::optional<LeadSet>& leads = std::nullopt) {
        ASSERT_TRUE(
            signal::writeFileAtomically(card_->recordingPath(patient_.id, number), buffer.bytes));
        ASSERT_TRUE(card_->appendArchiveEntry(
            patient_.id, number, "02.06.2024", "18:47:09",
            cardfile::EntryDuration::ofSeconds(static_cast<int>(buffer.records() / 800)), "  "));
        if (leads) {
            const std::string text =
                cardfile::encodeLeadsFile(*leads, {buffer.bytes.data(), buffer.bytes.size()});
            std::ofstream(card_->leadsPath(patient_.id, number), std::ios::binary) << text;
        }
    }

    // What the program says of the first ten seconds (the patient is a woman of 48).
    static std::vector<ExportStatement> programSays(const signal::RecordingBuffer& buffer,
                                                    const LeadSet& present, Language language) {
        interpret::Patient p;
        p.sex = interpret::Sex::Female;
        p.ageYears = 48;
        const auto it = interpret::interpretRecording(
            {buffer.bytes.data(), buffer.bytes.size()}, 0,
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.records()), 8000), p, &present);
        std::vector<ExportStatement> out;
        for (const auto& s : it.statements)
            out.push_back({s.code, s.textIn(language)});
        return out;
    }

    fs::path exported(int number, Format format, Language language = Language::Russian) {
        const fs::path out =
            dir_ / "out" / ("rec" + std::to_string(number) + std::string(formatExtension(format)));
        const Status s =
            exportCardFileRecording(*card_, patient_.id, number, format, out, language);
        EXPECT_TRUE(s) << s.message;
        return out;
    }

    // Every format carries `said` and `status` (the confirmation line), read back by the
    // independent readers; SCP-ECG's sections 8 and 11 have the confirmation flag and time.
    void expectEveryFormatSays(int number, const std::vector<ExportStatement>& said,
                               const std::string& status, int confirmedFlag,
                               const std::string& reportTime, const std::string& physician,
                               Language language = Language::Russian) {
        // EDF+: one annotation at 0 s per statement ("CODE: text"), then the status.
        std::vector<std::string> annotations;
        for (const auto& s : said)
            annotations.push_back(s.code.empty() ? s.text : s.code + ": " + s.text);
        annotations.push_back(status);
        const fs::path edf = exported(number, Format::Edf, language);
        const EdfAnnotations e = edflibReads(edf);
        ASSERT_EQ(e.status, 0);
        std::vector<std::string> texts;
        for (const auto& [onset, text] : e.annotations) {
            EXPECT_EQ(onset, 0) << text;
            texts.push_back(text);
        }
        EXPECT_EQ(texts, annotations) << "EDFlib";
        texts.clear();
        for (const auto& [position, text] : bioSigEvents(edf)) {
            EXPECT_EQ(position, 0.0) << text;
            texts.push_back(text);
        }
        EXPECT_EQ(texts, annotations) << "BioSig";

        // SCP-ECG: section 8 the texts, section 11 the codes (free text as full text, type 2).
        const ScpRead scp = pixelMedReads(exported(number, Format::Scp, language), dir_);
        ASSERT_EQ(scp.status, 0) << scp.out;
        ASSERT_TRUE(scp.s8.present && scp.s11.present) << scp.out;
        EXPECT_EQ(scp.s8.confirmed, confirmedFlag);
        EXPECT_EQ(scp.s11.confirmed, confirmedFlag);
        EXPECT_EQ(scp.s8.dateTime, reportTime);
        EXPECT_EQ(scp.s11.dateTime, reportTime);
        ASSERT_EQ(scp.s8.statements.size(), said.size());
        ASSERT_EQ(scp.s11.statements.size(), said.size());
        for (std::size_t i = 0; i < said.size(); ++i) {
            EXPECT_EQ(scp.s8.statements[i], said[i].text + '\0');
            EXPECT_EQ(scp.s11.statements[i], said[i].code.empty() ? "\x02" + said[i].text + '\0'
                                                                  : "\x01" + said[i].code + '\0');
        }
        EXPECT_EQ(scp.physician.substr(0, physician.size()), physician);

        // DICOM: per statement one annotation group, its text and its code (SCPECG).
        const fs::path dcm = exported(number, Format::Dicom, language);
        const auto verified = runCommand("dciodvfy " + quoted(dcm));
        EXPECT_EQ(verified.out.find("Error"), std::string::npos) << verified.out;
        const DicomRead d = pydicomReads(dcm, dir_);
        ASSERT_EQ(d.status, 0) << d.out;
        ASSERT_EQ(d.texts.size(), said.size() + 1) << d.out;
        for (std::size_t i = 0; i < said.size(); ++i) {
            const int group = static_cast<int>(i + 1);
            EXPECT_EQ(d.texts.at(group), std::vector<std::string>{said[i].text});
            if (said[i].code.empty()) {
                EXPECT_EQ(d.coded.count(group), 0u);
            } else {
                ASSERT_EQ(d.coded.count(group), 1u) << said[i].code;
                const auto& c = d.coded.at(group);
                ASSERT_EQ(c.size(), 1u);
                EXPECT_EQ(c[0][0], said[i].code);
                EXPECT_EQ(c[0][1], "SCPECG");
                EXPECT_EQ(c[0][2], interpret::statementText(said[i].code, Language::English));
            }
        }
        EXPECT_EQ(d.texts.at(static_cast<int>(said.size() + 1)), std::vector<std::string>{status});
        for (const auto& c : d.channels)
            EXPECT_EQ(c, "1/0"); // all channels of the first group

        // HL7 aECG: MDC_ECG_INTERPRETATION with a statement each and the status as comment.
        const AecgRead a = pythonXmlReads(exported(number, Format::Aecg, language), dir_);
        ASSERT_EQ(a.status, 0) << a.out;
        EXPECT_EQ(a.annotations, std::vector<std::string>{"MDC_ECG_INTERPRETATION"});
        ASSERT_EQ(a.items.size(), said.size() + 1) << a.out;
        for (std::size_t i = 0; i < said.size(); ++i) {
            const auto& item = a.items[i];
            EXPECT_EQ(item[0], "MDC_ECG_INTERPRETATION_STATEMENT");
            EXPECT_EQ(item[1], said[i].code.empty() ? "ST" : "CE");
            EXPECT_EQ(item[2], said[i].code.empty() ? "-" : said[i].code);
            EXPECT_EQ(item[3], said[i].code.empty() ? "-" : "SCPECG");
            EXPECT_EQ(item[4], said[i].text);
        }
        const std::array<std::string, 5> comment{"MDC_ECG_INTERPRETATION_COMMENT", "ST", "-", "-",
                                                 status};
        EXPECT_EQ(a.items.back(), comment);
    }

    fs::path dir_;
    std::unique_ptr<cardfile::CardFile> card_;
    cardfile::PatientRecord patient_;
};

TEST_F(ExportStatements, ProgramStatementsUnconfirmedInEveryFormat) {
    if (!requireReaders())
        return;
    const auto buffer = syntheticRecording(12 * 800);
    addRecording(1, buffer);
    const auto said = programSays(buffer, kAllLeads, Language::Russian);
    ASSERT_FALSE(said.empty());
    // An unconfirmed report does not count: its edit is not what the files say.
    interpret::Report report = interpret::draftReport(
        interpret::interpretRecording({buffer.bytes.data(), buffer.bytes.size()}, 0, 8000)
            .statements,
        "02.06.2024 18:47:09", 0, 8000);
    ASSERT_FALSE(report.statements.empty());
    interpret::editStatement(report, 0, "Исправлено врачом", Language::Russian);
    ASSERT_TRUE(
        card_->writeReport(patient_.id, 1, interpret::encodeReport(report), {"", "t@h"}, "edit"));
    expectEveryFormatSays(1, said, "Неподтверждённый отчёт", 0, "2024-06-02 18:47:09", "");

    // In English when asked.
    expectEveryFormatSays(1, programSays(buffer, kAllLeads, Language::English),
                          "Unconfirmed report", 0, "2024-06-02 18:47:09", "", Language::English);
}

TEST_F(ExportStatements, ConfirmedReportWithPhysicianInEveryFormat) {
    if (!requireReaders())
        return;
    const auto buffer = syntheticRecording(12 * 800);
    addRecording(1, buffer);
    // The physician struck out the program's first statement, added LVH and free text, edited
    // nothing else, and confirmed.
    const auto program =
        interpret::interpretRecording({buffer.bytes.data(), buffer.bytes.size()}, 0, 8000)
            .statements;
    ASSERT_FALSE(program.empty());
    interpret::Report report = interpret::draftReport(program, "02.06.2024 18:47:09", 800, 8000);
    interpret::removeStatement(report, 0);
    interpret::addStatement(report, "LVH");
    interpret::addFreeText(report, "Сравнить с ЭКГ от 01.02.2025 & <позже>");
    interpret::confirmReport(report, "Иванова А. П.", "05.03.2026 11:02:13");
    ASSERT_TRUE(report.confirmed());
    ASSERT_TRUE(card_->writeReport(patient_.id, 1, interpret::encodeReport(report),
                                   {"Иванова А. П.", "t@h"}, "confirm"));
    std::vector<ExportStatement> said;
    for (std::size_t i = 1; i < program.size(); ++i)
        said.push_back({program[i].code, program[i].textIn(Language::Russian)});
    said.push_back({"LVH", interpret::statementText("LVH", Language::Russian)});
    said.push_back({"", "Сравнить с ЭКГ от 01.02.2025 & <позже>"});
    expectEveryFormatSays(1, said, "Подтверждено: Иванова А. П., 05.03.2026 11:02:13", 1,
                          "2026-03-05 11:02:13", "Иванова А. П.");
}

TEST_F(ExportStatements, NothingMeasurableWritesValidFilesWithoutStatements) {
    if (!requireReaders())
        return;
    // A flat recording: no beat, no statement.
    signal::RecordingBuffer flat;
    flat.assign(std::vector<std::uint8_t>(10 * 800 * signal::kRecordBytes, 0));
    addRecording(1, flat);
    ASSERT_TRUE(programSays(flat, kAllLeads, Language::Russian).empty());

    const fs::path edf = exported(1, Format::Edf);
    const EdfAnnotations e = edflibReads(edf);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.labels.size(), 12u);
    EXPECT_TRUE(e.annotations.empty());
    EXPECT_TRUE(bioSigEvents(edf).empty());

    const ScpRead scp = pixelMedReads(exported(1, Format::Scp), dir_);
    EXPECT_EQ(scp.status, 0) << scp.out;
    EXPECT_EQ(scp.leads.size(), 12u) << scp.out;
    EXPECT_FALSE(scp.s8.present);
    EXPECT_FALSE(scp.s11.present);

    const fs::path dcm = exported(1, Format::Dicom);
    const auto verified = runCommand("dciodvfy " + quoted(dcm));
    EXPECT_EQ(verified.out.find("Error"), std::string::npos) << verified.out;
    const DicomRead d = pydicomReads(dcm, dir_);
    EXPECT_EQ(d.status, 0) << d.out;
    EXPECT_EQ(d.codes.size(), 12u);
    EXPECT_TRUE(d.texts.empty() && d.coded.empty());

    const fs::path xml = exported(1, Format::Aecg);
    const AecgRead a = pythonXmlReads(xml, dir_);
    EXPECT_EQ(a.status, 0) << a.out;
    EXPECT_EQ(a.sequences.size(), 13u);
    EXPECT_TRUE(a.annotations.empty());
    EXPECT_EQ(bioSigHeader(xml).labels.size(), 12u);

    // With all leads and nothing said, EDF+ and SCP-ECG are the files of a plain export.
    EcgExport plain = deriveExport(flat, signal::RecordingKind::Plain);
    plain.patient = Patient{patient_.name, patient_.id, patient_.birthDate, patient_.sex};
    plain.recordedAt = DateTime{2024, 6, 2, 18, 47, 9};
    for (Format f : {Format::Edf, Format::Scp}) {
        const fs::path same = dir_ / ("plain" + std::string(formatExtension(f)));
        ASSERT_TRUE(writeExport(plain, f, same));
        std::ifstream x(same, std::ios::binary), y(exported(1, f), std::ios::binary);
        const std::string a1{std::istreambuf_iterator<char>(x), {}};
        const std::string b1{std::istreambuf_iterator<char>(y), {}};
        EXPECT_TRUE(a1 == b1) << formatName(f);
    }
}

// ---- Absent leads ----

struct LeadCase {
    const char* name;
    LeadSet filed;   // what the lead list says
    LeadSet written; // what the files hold
};

TEST_F(ExportStatements, AbsentLeadsAreLeftOutOfEveryFormat) {
    if (!requireReaders())
        return;
    LeadSet noChest = kAllLeads;
    for (std::size_t l = signal::StandardLeadV1; l < 12; ++l)
        noChest[l] = false;
    // A file that had lead II and the chest leads: I and III absent, and with them the leads
    // derived from two limb leads (aVR, aVL, aVF), though the list names only I and III.
    LeadSet noLeadI = kAllLeads;
    noLeadI[signal::StandardLeadI] = noLeadI[signal::StandardLeadIII] = false;
    LeadSet onlyIIAndChest = noLeadI;
    onlyIIAndChest[signal::StandardLeadAVR] = onlyIIAndChest[signal::StandardLeadAVL] =
        onlyIIAndChest[signal::StandardLeadAVF] = false;
    const LeadCase cases[] = {{"no chest leads", noChest, noChest},
                              {"no lead I", noLeadI, onlyIIAndChest}};
    const auto buffer = syntheticRecording(12 * 800, 11);
    const auto expected = expectedLeads(buffer, buffer.records());
    int number = 0;
    for (const LeadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ++number;
        addRecording(number, buffer, c.filed);
        EXPECT_EQ(writtenLeads(c.filed), c.written);

        // EDF+: EDFlib's signals, BioSig's labels and samples.
        const fs::path edf = exported(number, Format::Edf);
        EXPECT_EQ(edflibReads(edf).labels, labelsOf(c.written, "ECG "));
        std::vector<std::string> columns;
        EXPECT_LE(worstOfPresent(bioSigSamples(edf, columns), expected, c.written), 3.0);
        const auto edfLabels = bioSigHeader(edf).labels;
        const auto leadLabels = labelsOf(c.written, "ECG ");
        ASSERT_GE(edfLabels.size(), leadLabels.size());
        EXPECT_EQ(std::vector<std::string>(
                      edfLabels.begin(), edfLabels.begin() + static_cast<long>(leadLabels.size())),
                  leadLabels);
        for (std::size_t i = leadLabels.size(); i < edfLabels.size(); ++i)
            EXPECT_EQ(edfLabels[i].rfind("ECG", 0), std::string::npos) << edfLabels[i];

        // SCP-ECG: BioSig's leads and samples (sections 3 and 6).
        const fs::path scp = exported(number, Format::Scp);
        EXPECT_EQ(bioSigHeader(scp).labels, labelsOf(c.written, ""));
        EXPECT_LE(worstOfPresent(bioSigSamples(scp, columns), expected, c.written), 3.0);

        // DICOM: pydicom's channels and samples; dciodvfy finds nothing wrong.
        const fs::path dcm = exported(number, Format::Dicom);
        const auto verified = runCommand("dciodvfy " + quoted(dcm));
        EXPECT_EQ(verified.out.find("Error"), std::string::npos) << verified.out;
        const DicomRead d = pydicomReads(dcm, dir_);
        std::vector<std::string> codes;
        const char* const kMdc[] = {"2:1", "2:2", "2:61", "2:62", "2:63", "2:64",
                                    "2:3", "2:4", "2:5",  "2:6",  "2:7",  "2:8"};
        for (std::size_t l = 0; l < 12; ++l)
            if (c.written[l])
                codes.push_back(kMdc[l]);
        EXPECT_EQ(d.codes, codes) << d.out.substr(0, 2000);
        EXPECT_LE(worstOfPresent(d.samples, expected, c.written), 3.0);

        // HL7 aECG: the time and one sequence a present lead; BioSig's labels and samples.
        const fs::path xml = exported(number, Format::Aecg);
        std::vector<std::string> sequences{"TIME_ABSOLUTE"};
        for (const auto& label : labelsOf(c.written, "")) {
            std::string code = "MDC_ECG_LEAD_" + label;
            for (char& ch : code)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            sequences.push_back(code);
        }
        EXPECT_EQ(pythonXmlReads(xml, dir_).sequences, sequences);
        EXPECT_EQ(bioSigHeader(xml).labels, labelsOf(c.written, ""));
        EXPECT_LE(worstOfPresent(bioSigSamples(xml, columns), expected, c.written), 3.0);

        // The statements are made without the absent leads.
        const auto said = programSays(buffer, c.written, Language::Russian);
        const ScpRead read = pixelMedReads(scp, dir_);
        std::vector<std::string> texts;
        for (const auto& s : said)
            texts.push_back(s.text + '\0');
        // PixelMed takes the byte that pads an odd count's section 3 to an even length for one
        // more lead and stops; BioSig reads that section right (above).
        if (labelsOf(c.written, "").size() % 2 == 0) {
            EXPECT_EQ(read.leads, labelsOf(c.written, ""));
            EXPECT_EQ(read.s8.statements, texts) << read.out;
        }
        const auto edfTexts = edflibReads(edf).annotations;
        ASSERT_EQ(edfTexts.size(), said.size() + 1);
        for (std::size_t i = 0; i < said.size(); ++i)
            EXPECT_EQ(edfTexts[i].second, said[i].code + ": " + said[i].text);
    }
}

} // namespace
} // namespace velkard::exporting::test
