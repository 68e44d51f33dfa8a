// SPDX-License-Identifier: GPL-3.0-or-later
// GDT with practice software as the clinician drives it: a 6302 request written in ISO 8859-1
// into the exchange folder is listed by the GDT window, Take makes the card by the GDT patient
// number, the recording made next on the simulated instrument is saved, and the 6310 result is
// read back here with a parser of its own (every line's length, the record type, the patient,
// the measurements, the linked PDF); the request is renamed .done. A read-only exchange folder:
// one message, the recording stays in the card and the request in the folder.
#include "AppTestSupport.h"

#include "net/Orders.h"
#include "net/Settings.h"
#include "net/ui/GdtWindow.h"

#include <QStatusBar>
#include <cstdio>
#include <linux/capability.h>
#include <map>
#include <sys/syscall.h>
#include <unistd.h>

using namespace velkard;
using namespace velkard::app;
using namespace velkard::app::test;

namespace {

namespace fs = std::filesystem;

// One GDT line: 3-digit length of the whole line (CR LF included), 4-digit field, content.
std::string gdtLine(const std::string& field, const std::string& latin1) {
    char len[8];
    std::snprintf(len, sizeof len, "%03zu", latin1.size() + 9);
    return len + field + latin1 + "\r\n";
}

// A 6302 request as practice software writes it; names in ISO 8859-1 bytes.
std::string request6302(const std::string& patientNumber) {
    std::string body;
    for (const auto& [field, content] :
         std::vector<std::pair<std::string, std::string>>{{"8315", "VELKARD"},
                                                          {"8316", "PRAXIS01"},
                                                          {"9206", "3"},
                                                          {"9218", "02.10"},
                                                          {"3000", patientNumber},
                                                          {"3101", "M\xFCller"}, // Müller
                                                          {"3102", "J\xFCrgen"}, // Jürgen
                                                          {"3103", "04031961"},
                                                          {"3110", "1"},
                                                          {"8402", "EKG01"}})
        body += gdtLine(field, content);
    const std::string head = gdtLine("8000", "6302");
    char total[8];
    std::snprintf(total, sizeof total, "%05zu", head.size() + 14 + body.size());
    return head + gdtLine("8100", total) + body;
}

// The lines of a GDT file, each line's length checked; a fault is reported and ends the read.
std::vector<std::pair<std::string, std::string>> parseLines(const std::string& bytes) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without CR LF at byte " << at;
            break;
        }
        const std::string line = bytes.substr(at, end - at);
        if (line.size() < 7 ||
            line.substr(0, 7).find_first_not_of("0123456789") != std::string::npos) {
            ADD_FAILURE() << "no length and field: " << line;
            break;
        }
        EXPECT_EQ(std::stoul(line.substr(0, 3)), line.size() + 2) << line;
        out.emplace_back(line.substr(3, 4), line.substr(7));
        at = end + 2;
    }
    return out;
}

std::vector<std::string> valuesOf(const std::vector<std::pair<std::string, std::string>>& lines,
                                  const std::string& field) {
    std::vector<std::string> out;
    for (const auto& [f, v] : lines)
        if (f == field)
            out.push_back(v);
    return out;
}

// Root obeys a folder's permission bits only without CAP_DAC_OVERRIDE: it is taken out of this
// thread's effective set while the guard lives (the main window writes on this thread).
class WithoutDacOverride {
public:
    WithoutDacOverride() {
        if (::geteuid() != 0 || ::syscall(SYS_capget, &header_, data_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {data_[0], data_[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        dropped_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~WithoutDacOverride() {
        if (dropped_)
            ::syscall(SYS_capset, &header_, data_);
    }
    WithoutDacOverride(const WithoutDacOverride&) = delete;
    WithoutDacOverride& operator=(const WithoutDacOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data_[2]{};
    bool dropped_ = false;
};

class GdtTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        writeSettingsLines(work(), {QString::fromUtf8("10 мм/мВ"), "I..V6",
                                    QString::fromUtf8("25 мм/с"), "SIM", "1", "9", "2", "0"});
        exchange = work() / "gdt";
        fs::create_directories(exchange);
        net::NetworkSettings s;
        s.gdtFolder = exchange.string();
        s.gdtOwnId = "VELKARD";
        ASSERT_TRUE(net::saveSettings(work(), s));
        requestFile = exchange / "VELKPRAX.gdt";
        writeFile(requestFile, request6302("4711"));
        // Not a 6302 request, and one for another program: neither is listed.
        writeFile(exchange / "notes.txt", "hello\r\n");
        std::string other = request6302("4712");
        other.replace(other.find("VELKARD"), 7, "OTHERPR");
        writeFile(exchange / "OTHEPRAX.gdt", other);
    }

    void recordFor(MainWindow& w, int seconds) {
        ASSERT_TRUE(waitFor([&] { return w.display().sweepPosition() > 0; }));
        w.Start->click();
        ASSERT_TRUE(waitFor([&] { return w.secondsCounter() >= seconds; }));
        messages.answers = {true}; // "Сохранить данные?"
        w.Stop->click();
    }

    // The GDT window's script: its rows as shown, then Take on the first.
    ui::ScriptedDialogs::Handler takeFirst() {
        return [this](QDialog& d) {
            auto& window = dynamic_cast<net::ui::GdtWindow&>(d);
            title = window.windowTitle();
            for (int r = 0; r < window.requestList->topLevelItemCount(); ++r) {
                QStringList row;
                for (int c = 0; c < window.requestList->columnCount(); ++c)
                    row << window.requestList->topLevelItem(r)->text(c);
                rows.push_back(row);
            }
            window.requestList->setCurrentItem(window.requestList->topLevelItem(0));
            window.takeButton->click();
            return -1;
        };
    }

    // The one card, made from the request: its name, birth date, the GDT number kept beside it;
    // it is the window's chosen patient.
    cardfile::PatientRecord expectTheRequestsCard(MainWindow& w) {
        cardfile::CardFile cardFile(work());
        auto patients = cardFile.listPatients();
        EXPECT_TRUE(patients);
        if (!patients || patients.value.size() != 1) {
            ADD_FAILURE() << "expected one card";
            return {};
        }
        const cardfile::PatientRecord& p = patients.value[0];
        EXPECT_EQ(p.name, "Mueller Juergen");
        EXPECT_EQ(p.birthDate, "04.03.1961");
        auto number = net::hospitalIdOf(cardFile, p.id);
        EXPECT_TRUE(number && number.value && *number.value == "4711");
        EXPECT_EQ(w.session().selection().patientId.toStdString(), p.id);
        return p;
    }

    fs::path exchange, requestFile;
    QString title;
    std::vector<QStringList> rows;
};

} // namespace

TEST_F(GdtTest, RequestTakenRecordedAndAnsweredWithTheResult) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    w->chooseLanguage(ui::Language::German);
    EXPECT_EQ(w->gdtAction->text(), QString::fromUtf8("GDT-Anforderungen"));
    dialogs.script.push_back(takeFirst());
    w->gdtAction->trigger();
    EXPECT_EQ(title, QString::fromUtf8("GDT-Anforderungen"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList{QString::fromUtf8("Müller Jürgen"), "04.03.1961", "M", "4711",
                                    "EKG01", "VELKPRAX.gdt"}));
    const cardfile::PatientRecord p = expectTheRequestsCard(*w);
    ASSERT_FALSE(p.id.empty());
    recordFor(*w, 6);

    cardfile::CardFile cardFile(work());
    auto entries = cardFile.listArchiveEntries(p.id);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries.value.size(), 1u);
    const fs::path result = exchange / "PRAXVELK.gdt";
    ASSERT_TRUE(fs::exists(result)) << messages.lastText().toStdString();
    EXPECT_FALSE(fs::exists(requestFile));
    EXPECT_TRUE(fs::exists(requestFile.string() + ".done"));
    EXPECT_TRUE(fs::exists(exchange / "OTHEPRAX.gdt"));

    const std::string bytes = readFile(result);
    const auto lines = parseLines(bytes);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], (std::pair<std::string, std::string>{"8000", "6310"}));
    EXPECT_EQ(lines[1].first, "8100");
    EXPECT_EQ(std::stoul(lines[1].second), bytes.size());
    EXPECT_EQ(valuesOf(lines, "8315"), std::vector<std::string>{"PRAXIS01"});
    EXPECT_EQ(valuesOf(lines, "8316"), std::vector<std::string>{"VELKARD"});
    EXPECT_EQ(valuesOf(lines, "3000"), std::vector<std::string>{"4711"});
    EXPECT_EQ(valuesOf(lines, "3101"), std::vector<std::string>{"M\xFCller"}); // ISO 8859-1
    EXPECT_EQ(valuesOf(lines, "3103"), std::vector<std::string>{"04031961"});
    EXPECT_EQ(valuesOf(lines, "8402"), std::vector<std::string>{"EKG01"});
    const std::string date = entries.value[0].date; // dd.MM.yyyy
    EXPECT_EQ(valuesOf(lines, "6200"),
              std::vector<std::string>{date.substr(0, 2) + date.substr(3, 2) + date.substr(6, 4)});
    // Each measurement: 8410 test ID, 8411 name, 8420 value, 8421 unit, in that order.
    std::map<std::string, double> values;
    for (std::size_t i = 0; i + 3 < lines.size(); ++i)
        if (lines[i].first == "8410") {
            EXPECT_EQ(lines[i + 1].first, "8411");
            EXPECT_EQ(lines[i + 2].first, "8420");
            EXPECT_EQ(lines[i + 3].first, "8421");
            values[lines[i].second] = std::stod(lines[i + 2].second);
        }
    // The simulated instrument's rhythm is 72 beats a minute with a little variability.
    ASSERT_TRUE(values.count("HF"));
    EXPECT_NEAR(values["HF"], 72, 4);
    ASSERT_TRUE(values.count("QRS"));
    EXPECT_GT(values["QRS"], 60);
    EXPECT_LT(values["QRS"], 130);
    // The report linked beside the result.
    EXPECT_EQ(valuesOf(lines, "6303"), std::vector<std::string>{"PDF"});
    const auto links = valuesOf(lines, "6305");
    ASSERT_EQ(links.size(), 1u);
    ASSERT_TRUE(fs::exists(links[0])) << links[0];
    EXPECT_EQ(fs::path(links[0]).parent_path(), exchange);
    EXPECT_EQ(readFile(links[0]).substr(0, 5), "%PDF-");
    // Answered: not kept for a later recording, and no longer listed.
    auto kept = net::gdtRequestOfRecording(cardFile, p.id, "31.12.2099 12:00:00");
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept.value);
    rows.clear();
    messages.shown.clear();
    dialogs.script.push_back([this](QDialog& d) {
        auto& window = dynamic_cast<net::ui::GdtWindow&>(d);
        rows.resize(static_cast<std::size_t>(window.requestList->topLevelItemCount()));
        return 0;
    });
    w->gdtAction->trigger();
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(
        messages.lastText(),
        QString::fromUtf8("Der GDT-Austauschordner %1 enthält keine Anforderungen für VELKARD")
            .arg(QString::fromStdString(exchange.string())));
}

TEST_F(GdtTest, ReadOnlyFolderSaysSoKeepsTheRecordingAndTheRequest) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    // From the card-file window's button, which closes into the sweep for that card.
    dialogs.script.push_back(pickInCardFile(-1, -1, "Gdt"));
    dialogs.script.push_back(takeFirst());
    w->cardFileAction->trigger();
    ASSERT_EQ(rows.size(), 1u);
    const cardfile::PatientRecord p = expectTheRequestsCard(*w);
    ASSERT_FALSE(p.id.empty());
    fs::permissions(exchange, fs::perms::owner_read | fs::perms::owner_exec);
    {
        WithoutDacOverride obeyPermissions;
        if (std::FILE* f = std::fopen((exchange / "probe").c_str(), "w")) {
            std::fclose(f);
            fs::permissions(exchange, fs::perms::owner_all);
            GTEST_SKIP() << "the folder cannot be made read-only here";
        }
        recordFor(*w, 3);
    }
    fs::permissions(exchange, fs::perms::owner_all);
    EXPECT_TRUE(messages.lastText().startsWith(
        QString::fromUtf8("Результат GDT не записан в папку обмена: ЭКГ сохранена в карте "
                          "пациента, запрос не отмечен выполненным\n")))
        << messages.lastText().toStdString();
    EXPECT_TRUE(fs::exists(requestFile));
    EXPECT_FALSE(fs::exists(requestFile.string() + ".done"));
    EXPECT_FALSE(fs::exists(exchange / "PRAXVELK.gdt"));
    cardfile::CardFile cardFile(work());
    auto entries = cardFile.listArchiveEntries(p.id);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries.value.size(), 1u);
    const auto seconds = entries.value[0].durationSeconds();
    ASSERT_TRUE(seconds);
    EXPECT_GE(*seconds, 3);
    // The recording is in the card: whole sample records (16 bytes, 800 a second), about as
    // long as counted.
    const auto bytes = fs::file_size(cardFile.recordingPath(p.id, entries.value[0].recordNumber()));
    EXPECT_EQ(bytes % 16, 0u);
    EXPECT_GE(bytes, static_cast<std::uintmax_t>(*seconds - 1) * 800 * 16);
    // The request stays kept for that recording.
    auto kept = net::gdtRequestOfRecording(cardFile, p.id,
                                           entries.value[0].date + " " + entries.value[0].time);
    ASSERT_TRUE(kept && kept.value);
    EXPECT_EQ(kept.value->filename(), requestFile.filename());
}

TEST_F(GdtTest, FolderNotSetGoneOrEmptyIsOneMessage) {
    auto w = makeWindow();
    ASSERT_TRUE(w->startedOk());
    auto listed = [&] {
        messages.shown.clear();
        rows.clear();
        dialogs.script.push_back([this](QDialog& d) {
            auto& window = dynamic_cast<net::ui::GdtWindow&>(d);
            rows.resize(static_cast<std::size_t>(window.requestList->topLevelItemCount()));
            return 0;
        });
        w->gdtAction->trigger();
        EXPECT_EQ(messages.shown.size(), 1u);
        return messages.lastText();
    };
    for (const auto& e : fs::directory_iterator(exchange))
        if (e.path().filename() != "notes.txt")
            fs::remove(e.path());
    EXPECT_EQ(listed(), QString::fromUtf8("В папке обмена GDT %1 нет запросов для VELKARD")
                            .arg(QString::fromStdString(exchange.string())));
    EXPECT_TRUE(rows.empty());
    fs::remove_all(exchange);
    EXPECT_TRUE(listed().startsWith(QString::fromUtf8("Папка обмена GDT не читается: %1\n")
                                        .arg(QString::fromStdString(exchange.string()))));
    net::NetworkSettings s;
    ASSERT_TRUE(net::saveSettings(work(), s));
    EXPECT_EQ(listed(),
              QString::fromUtf8("Папка обмена GDT не настроена: Настройка → Параметры → Сеть"));
    w->chooseLanguage(ui::Language::English);
    EXPECT_EQ(listed(), QString::fromUtf8("No GDT exchange folder is set up: Setup → Parameters → "
                                          "Network"));
    // Nothing was taken: no card made.
    cardfile::CardFile cardFile(work());
    auto patients = cardFile.listPatients();
    ASSERT_TRUE(patients);
    EXPECT_TRUE(patients.value.empty());
}
