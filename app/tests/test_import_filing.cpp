// SPDX-License-Identifier: GPL-3.0-or-later
// A file of another system that lacks leads, imported, filed into a new patient's card through
// "Положить в карту пациента" and opened again from the card: the samples, the patient fields
// offered from the file, and the absent leads staying absent in the display, the measurements
// window and print. The measurements are held against `velkard-cli measure --absent` on the
// same converted recording.
#include "AppTestSupport.h"

#include "cardfile/CardFile.h"
#include "cardfile/ui/PatientDialogs.h"
#include "filter/FilterSettingsFile.h"
#include "measure/ui/MeasurementsWindow.h"
#include "print/ui/PrintRangeDialog.h"
#include "sim/DeviceFiles.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <cmath>
#include <edflib.h>
#include <set>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

constexpr const char* kLeadNames[12] = {"I",  "II", "III", "aVR", "aVL", "aVF",
                                        "V1", "V2", "V3",  "V4",  "V5",  "V6"};
// The leads the file carries: II alone of the limb leads (its aVF is left out without a second
// one) and the six chest leads.
constexpr bool kPresent[12] = {false, true, false, false, false, false,
                               true,  true, true,  true,  true,  true};
constexpr const char* kAbsentArg = "I,III,aVR,aVL,aVF";

// LUDB record 1 (10 s, 500 Hz, 12 leads i ii iii avr avl avf v1..v6 in one file, 1000 units a
// millivolt) written as EDF+ by EDFlib with eight of its signals: II, aVF and V1..V6, 1 µV a
// step, with the patient and the start in the header.
void writeEightLeadEdf(const std::filesystem::path& out) {
    const std::string raw =
        readFile(std::filesystem::path(VELKARD_ECG_TESTDATA) / "ludb" / "1.dat");
    ASSERT_EQ(raw.size(), 5000u * 12 * 2);
    auto sample = [&](int t, int lead) {
        const std::size_t at = (static_cast<std::size_t>(t) * 12 + lead) * 2;
        return static_cast<short>(static_cast<unsigned char>(raw[at]) |
                                  (static_cast<unsigned char>(raw[at + 1]) << 8));
    };
    const int leads[8] = {1, 5, 6, 7, 8, 9, 10, 11};
    const int h = edfopen_file_writeonly(out.c_str(), EDFLIB_FILETYPE_EDFPLUS, 8);
    ASSERT_GE(h, 0);
    for (int k = 0; k < 8; ++k) {
        edf_set_samplefrequency(h, k, 500);
        edf_set_digital_maximum(h, k, 32767);
        edf_set_digital_minimum(h, k, -32768);
        edf_set_physical_maximum(h, k, 32767);
        edf_set_physical_minimum(h, k, -32768);
        edf_set_physical_dimension(h, k, "uV");
        edf_set_label(h, k, (std::string("ECG ") + kLeadNames[leads[k]]).c_str());
    }
    edf_set_patientname(h, "Doe John");
    edf_set_patientcode(h, "P123");
    edf_set_gender(h, 1);
    edf_set_birthdate(h, 1960, 5, 4);
    edf_set_startdatetime(h, 2021, 3, 4, 10, 20, 30);
    std::vector<short> buf(500);
    for (int s = 0; s < 10; ++s)
        for (int k = 0; k < 8; ++k) {
            for (int t = 0; t < 500; ++t)
                buf[static_cast<std::size_t>(t)] = sample(s * 500 + t, leads[k]);
            ASSERT_EQ(edfwrite_digital_short_samples(h, buf.data()), 0);
        }
    ASSERT_EQ(edfclose_file(h), 0);
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << QString::fromUtf8(p.readAllStandardError()).toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// What velkard-cli measure says of a recording file (with the absent leads named, or left to
// what the file itself says).
QJsonObject cliMeasure(const std::filesystem::path& recording, bool nameAbsent) {
    QStringList args{"measure", QString::fromStdString(recording.string())};
    if (nameAbsent)
        args << "--absent" << kAbsentArg;
    return QJsonDocument::fromJson(run(VELKARD_CLI_PATH, args).toUtf8()).object();
}

// The window's text of a value against the command line's number: "—" for null, else the same
// value to the window's decimals (the command line rounds to three decimals first).
void expectShown(const QString& shown, const QJsonValue& v, int decimals, const std::string& what) {
    if (v.isNull()) {
        EXPECT_EQ(shown, QString::fromUtf8("—")) << what;
        return;
    }
    ASSERT_TRUE(v.isDouble()) << what;
    QString t = shown;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double x = t.toDouble(&ok);
    ASSERT_TRUE(ok) << what << ": " << shown.toStdString();
    EXPECT_LE(std::abs(x - v.toDouble()), 0.5 * std::pow(10.0, -decimals) + 1e-3)
        << what << ": " << shown.toStdString() << " against " << v.toDouble();
}

// Words of one PDF page with their place (pdftotext -bbox), in points.
struct Word {
    QString text;
    double x = 0, y = 0;
};
std::vector<Word> pdfWords(const QString& pdf) {
    const QString html = run("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    static const QRegularExpression word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="[0-9.]+">([^<]*)</word>)re");
    std::vector<Word> out;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        out.push_back({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return out;
}

// Every label of an absent lead has a dash beside it (right of it, dy within [dyFrom, dyTo]
// points below its top) and no present lead's label has one; returns the absent labels seen.
std::set<QString> dashedLabels(const std::vector<Word>& words, double dyFrom, double dyTo) {
    std::set<QString> dashed;
    for (const Word& label : words) {
        int lead = -1;
        for (int l = 0; l < 12; ++l)
            if (label.text == QString::fromUtf8(kLeadNames[l]))
                lead = l;
        if (lead < 0)
            continue;
        bool dash = false;
        for (const Word& w : words)
            if (w.text == QString::fromUtf8("—") && w.x >= label.x - 1 && w.x < label.x + 80 &&
                w.y - label.y >= dyFrom && w.y - label.y <= dyTo)
                dash = true;
        EXPECT_EQ(dash, !kPresent[lead])
            << kLeadNames[lead] << " at " << label.x << ", " << label.y;
        if (dash)
            dashed.insert(label.text);
    }
    return dashed;
}

class ImportFilingTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        ASSERT_TRUE(source.isValid());
        // The display filters off: the measurements window then measures the recording itself,
        // as the command line does.
        ASSERT_TRUE(filter::saveFilterSettings(work(), filter::FilterSettings{}, true));
        edf = std::filesystem::path(source.path().toStdString()) / "ludb1-8.edf";
        writeEightLeadEdf(edf);
    }
    void expectAbsentShown(MainWindow& w) {
        const auto shown = w.session().leadsShown();
        const auto drawn = w.display().leadsShown();
        for (std::size_t l = 0; l < 12; ++l) {
            EXPECT_EQ(shown[l], kPresent[l]) << kLeadNames[l];
            EXPECT_EQ(drawn[l], kPresent[l]) << kLeadNames[l];
        }
    }
    // The measurements window on the shown page, against the command line's on `truth`.
    void expectMeasurementsLike(MainWindow& w, const QJsonObject& truth) {
        ASSERT_FALSE(truth.isEmpty());
        // The file is a sinus rhythm of LUDB: the measurements are there to compare.
        ASSERT_TRUE(truth["heart_rate_bpm"].isDouble());
        ASSERT_TRUE(truth["qrs_ms"].isDouble());
        // Without I and aVF there is no frontal axis.
        EXPECT_TRUE(truth["qrs_axis_deg"].isNull());
        w.findChild<QAction*>("measurementsAction")->trigger();
        auto* window = w.findChild<measure::ui::MeasurementsWindow*>("measurementsWindow");
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
        const char* global[] = {
            "heart_rate_bpm", "rr_ms",        "p_ms",          "pr_ms",
            "qrs_ms",         "qt_ms",        "qtc_bazett_ms", "qtc_fridericia_ms",
            "p_axis_deg",     "qrs_axis_deg", "t_axis_deg"};
        for (int row = 0; row < 11; ++row)
            expectShown(window->valueText(row), truth[global[row]], 0, global[row]);
        const QJsonObject leads = truth["leads"].toObject();
        const char* columns[] = {"r_mv",    "s_mv",     "q_ms",     "q_mv", "r2_mv",
                                 "st_j_mv", "st_60_mv", "st_80_mv", "t_mv"};
        QTableWidget* table = window->leadTable();
        for (int l = 0; l < 12; ++l) {
            const QJsonObject lead = leads[kLeadNames[l]].toObject();
            for (int c = 0; c < 9; ++c) {
                const QJsonValue v = lead[columns[c]];
                EXPECT_EQ(v.isNull() && !kPresent[l], !kPresent[l]) << kLeadNames[l];
                expectShown(table->item(l, c)->text(), v, c == 2 ? 0 : 2,
                            std::string(kLeadNames[l]) + " " + columns[c]);
            }
        }
        // The same statements as the command line makes, none of them from an absent lead.
        std::multiset<QString> cli, shown;
        for (const QJsonValue s : truth["statements"].toArray())
            cli.insert(s.toObject()["code"].toString());
        QTableWidget* statements = window->statementTable();
        for (int row = 0; row < statements->rowCount(); ++row)
            shown.insert(statements->item(row, 0)->toolTip());
        EXPECT_EQ(shown, cli);
        // No axis statement, no low voltage and no normal ECG: they rest on lead I. The rhythm
        // rests on the P in II instead of the P axis (LUDB 1 is sinus bradycardia).
        for (const char* code : {"LAD", "RAD", "LVOLT", "NORM"})
            EXPECT_EQ(cli.count(code), 0u) << code;
        EXPECT_EQ(cli.count("SBRAD"), 1u);
        for (const QJsonValue s : truth["statements"].toArray()) {
            if (s.toObject()["code"].toString() == "SBRAD") {
                EXPECT_TRUE(s.toObject()["reason"].toString().contains("II"))
                    << s.toObject()["reason"].toString().toStdString();
            }
        }
        window->close();
    }
    // Prints the 12-lead report and the whole recording into PDF files; the absent leads' labels
    // carry a dash in both.
    void expectPrintShowsAbsentLeads(MainWindow& w) {
        const QString pdf = source.path() + "/printed.pdf";
        auto choosePdf = [pdf](QDialog& d) {
            EXPECT_EQ(d.objectName(), "pdfFileDialog");
            dynamic_cast<QFileDialog&>(d).selectFile(pdf);
            return int(QDialog::Accepted);
        };
        dialogs.script.push_back([](QDialog& d) {
            dynamic_cast<print::ui::PrintRangeDialog&>(d).reportButton->click();
            return int(QDialog::Accepted);
        });
        dialogs.script.push_back(choosePdf);
        w.printAction->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.lastText().contains(pdf)) << messages.lastText().toStdString();
        messages.shown.clear();
        const auto report = pdfWords(pdf);
        // The report's labels stand about 20 mm above the strip's baseline, the dash just above it.
        EXPECT_EQ(dashedLabels(report, 30, 80).size(), 5u);
        const QString text = run("pdftotext", {"-layout", pdf, "-"});
        EXPECT_TRUE(text.contains(QString::fromUtf8("Оси P/QRS/T —/—/—"))) << text.toStdString();

        dialogs.script.push_back([](QDialog& d) {
            dynamic_cast<print::ui::PrintRangeDialog&>(d).wholeButton->click();
            return int(QDialog::Accepted);
        });
        dialogs.script.push_back(choosePdf);
        w.printAction->trigger();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.lastText().contains(pdf)) << messages.lastText().toStdString();
        messages.shown.clear();
        // Whole-recording rows: the label 4.5 mm above the baseline, the dash 2.5 mm above it.
        EXPECT_EQ(dashedLabels(pdfWords(pdf), 0, 12).size(), 5u);
    }

    QTemporaryDir source;
    std::filesystem::path edf;
};

} // namespace

// A WFDB record whose header gains contradict its samples (LUDB: each gain is that lead's range)
// opens read at one scale, and the window says so; the EDF above, whose units are true, says
// nothing.
TEST_F(ImportFilingTest, ContradictoryGainsOfAWfdbHeaderAreSaidWhenTheFileOpens) {
    auto w = makeWindow();
    w->importFile(QString::fromStdString(
        (std::filesystem::path(VELKARD_ECG_TESTDATA) / "ludb" / "1.hea").string()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains(QString::fromUtf8("1000 единиц на 1 мВ")))
        << messages.lastText().toStdString();
    ASSERT_TRUE(w->session().importedForeign().has_value());
    EXPECT_TRUE(w->session().importedForeign()->file.gainsReplaced);
    messages.shown.clear();
    w->importFile(QString::fromStdString(edf.string()));
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
}

// The measurements window measures the recording, not the display's filters: with the mains
// notch and both band filters on for viewing it says what the command line says of the
// unfiltered samples (LUDB 1's QRS read 95 ms on the notched copy against 90 ms, LUDB 9's
// 178 against 89).
TEST_F(ImportFilingTest, MeasurementsDoNotChangeWithTheViewingFilters) {
    ASSERT_TRUE(filter::saveFilterSettings(work(),
                                           filter::FilterSettings{filter::Mains::Hz50,
                                                                  filter::HighPass::Hz005,
                                                                  filter::LowPass::Hz150},
                                           true));
    auto w = makeWindow();
    w->importFile(QString::fromStdString(edf.string()));
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    const std::vector<std::uint8_t> imported = w->recordingBuffer().bytes;
    const auto asFile = std::filesystem::path(source.path().toStdString()) / "unfiltered.dat";
    writeFile(asFile, std::string(imported.begin(), imported.end()));
    expectMeasurementsLike(*w, cliMeasure(asFile, true));
}

TEST_F(ImportFilingTest, FiledImportKeepsItsSamplesPatientAndAbsentLeads) {
    auto w = makeWindow();
    w->importFile(QString::fromStdString(edf.string()));
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_TRUE(w->fileImportAction->isEnabled());
    const std::vector<std::uint8_t> imported = w->recordingBuffer().bytes;
    ASSERT_EQ(imported.size(), 8000u * 16);
    expectAbsentShown(*w);
    // The imported recording as the command line measures it (the same bytes, saved as a file).
    const auto asFile = std::filesystem::path(source.path().toStdString()) / "imported.dat";
    writeFile(asFile, std::string(imported.begin(), imported.end()));
    const QJsonObject truth = cliMeasure(asFile, true);
    expectMeasurementsLike(*w, truth);
    // The command line on the file itself finds the same leads absent.
    EXPECT_EQ(cliMeasure(edf, false), truth);
    expectPrintShowsAbsentLeads(*w);

    // Filed into a new patient: the dialog offers the file's name, code, sex and birth date.
    QStringList offered;
    dialogs.script.push_back([&offered](QDialog& d) {
        EXPECT_EQ(d.objectName(), "fileImportDialog");
        auto& ask = dynamic_cast<QInputDialog&>(d);
        offered = ask.comboBoxItems();
        if (offered.isEmpty())
            return int(QDialog::Rejected);
        ask.setTextValue(offered.front());
        return int(QDialog::Accepted);
    });
    dialogs.script.push_back([](QDialog& d) {
        auto& dialog = dynamic_cast<cardfile::ui::NewPatientDialog&>(d);
        EXPECT_EQ(dialog.nameEdit->text(), "Doe John");
        EXPECT_EQ(dialog.policyEdit->text(), "P123");
        EXPECT_EQ(dialog.sexBox->currentIndex(), 0);
        EXPECT_EQ(dialog.birthDatePicker->date(), QDate(1960, 5, 4));
        dialog.OK->click();
        return -1;
    });
    w->fileImportAction->trigger();
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(offered.front(), QString::fromUtf8("Новый пациент: Doe John"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromUtf8("ЭКГ помещена в карту пациента, № 1"));
    messages.shown.clear();

    cardfile::CardFile cf(work());
    const auto patients = cf.listPatients();
    ASSERT_TRUE(patients);
    ASSERT_EQ(patients.value.size(), 1u);
    const std::string id = patients.value[0].id;
    EXPECT_EQ(patients.value[0].name, "Doe John");
    EXPECT_EQ(patients.value[0].birthDate, "04.05.1960");
    const auto entry = cf.readArchiveEntry(id, 0);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry.value.date, "04.03.2021");
    EXPECT_EQ(entry.value.time, "10:20:30");
    EXPECT_EQ(readFile(cf.recordingPath(id, 1)), std::string(imported.begin(), imported.end()));
    const auto kept = cf.readLeads(id, 1);
    ASSERT_TRUE(kept) << kept.message;
    ASSERT_TRUE(kept.value.has_value());
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_EQ((*kept.value)[l], kPresent[l]) << kLeadNames[l];

    // Something else shown in between, then the filed recording opened from the card.
    const auto device = sim::makeDeviceEcg(12, 3, sim::RecordedAt{24, 3, 15, 9, 5, 3});
    const QString other = source.path() + "/ECG00042.DAT";
    writeFile(other.toStdString(), std::string(device.begin(), device.end()));
    w->importFile(other);
    for (bool l : w->session().leadsShown())
        EXPECT_TRUE(l);
    dialogs.script.push_back(pickInCardFile(0, 0, "Open"));
    w->cardFileAction->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    ASSERT_EQ(w->session().shown(), Shown::CardRecording);
    EXPECT_EQ(w->recordingBuffer().bytes, imported);
    expectAbsentShown(*w);
    expectMeasurementsLike(*w, truth);
    // The card's recording file with its lead list beside it: the command line reads that too.
    EXPECT_EQ(cliMeasure(cf.recordingPath(id, 1), false), truth);
    expectPrintShowsAbsentLeads(*w);
}
