// SPDX-License-Identifier: GPL-3.0-or-later
// The physician edits and confirms the statements in the measurements window, through the
// message and dialog seams: each change lands in the report file beside the recording and on the
// audit log, and a damaged report file is kept, never written over.
#include "cardfile/CardFile.h"
#include "measure/ui/MeasurementsWindow.h"
#include "ui/testing/TestSeams.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velkard::measure::ui {
namespace {

namespace fs = std::filesystem;

interpret::Statement said(const std::string& code) {
    interpret::Statement s;
    s.code = code;
    s.text = {interpret::statementText(code, interpret::Language::Russian),
              interpret::statementText(code, interpret::Language::English)};
    s.reason = {"причина " + code, "reason " + code};
    return s;
}

std::string fileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ReportEditing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        cardfile::NewPatientInput in;
        in.name = "Alpha";
        in.policy = "P-1";
        auto p = cardfile::createNewPatient(cf, in, true);
        ASSERT_TRUE(p) << p.message;
        id = p.value.id;
        ASSERT_TRUE(cf.appendArchiveEntry(id, 1, "05.03.2026", "10:15:00",
                                          cardfile::EntryDuration::ofSeconds(10),
                                          cardfile::kKindPlain));
        std::ofstream(cf.recordingPath(id, 1)) << "recording";
    }

    ReportContext context() {
        ReportContext c;
        c.messages = &messages;
        c.dialogs = &dialogs;
        c.workDir = work();
        c.patientId = id;
        c.recordNumber = 1;
        c.recordedAt = "05.03.2026 10:15:00";
        c.settings = &settings;
        c.clock = [] { return QDateTime(QDate(2026, 3, 5), QTime(11, 2, 13)); };
        return c;
    }
    void open(MeasurementsWindow& w) {
        w.setStatements({said("SR"), said("1AVB")}, 800, 8000);
        w.setReportContext(context());
    }
    QString row(MeasurementsWindow& w, int r) {
        auto* item = w.statementTable()->item(r, 0);
        return item ? item->text() : QString();
    }
    QPushButton* button(MeasurementsWindow& w, const char* name) {
        auto* b = w.findChild<QPushButton*>(name);
        EXPECT_TRUE(b) << name;
        return b;
    }
    // The next text dialog gets `text` and OK.
    void type(const QString& text, QString* prefilled = nullptr) {
        dialogs.script.push_back([text, prefilled](QDialog& d) {
            auto* edit = d.findChild<QLineEdit*>("reportText");
            EXPECT_TRUE(edit);
            if (!edit)
                return int(QDialog::Rejected);
            if (prefilled)
                *prefilled = edit->text();
            edit->setText(text);
            return int(QDialog::Accepted);
        });
    }
    interpret::Report stored() {
        auto bytes = cf.readReport(id, 1);
        EXPECT_TRUE(bytes && bytes.value) << bytes.message;
        auto r = interpret::decodeReport(bytes.value.value_or(""));
        EXPECT_TRUE(r) << r.message;
        return r.value;
    }
    fs::path work() const { return fs::path(tmp.path().toStdString()); }

    QTemporaryDir tmp;
    cardfile::CardFile cf{work()};
    std::string id;
    velkard::ui::RecordingMessages messages;
    velkard::ui::ScriptedDialogs dialogs;
    QSettings settings{tmp.filePath("settings.ini"), QSettings::IniFormat};
};

TEST_F(ReportEditing, AddRemoveEditFreeTextAndConfirmAreStoredAndLogged) {
    MeasurementsWindow w;
    open(w);
    ASSERT_EQ(w.statementTable()->rowCount(), 2);
    EXPECT_FALSE(fs::exists(cf.reportPath(id, 1))) << "nothing is stored before a change";
    EXPECT_EQ(w.findChild<QLabel*>("statementsLabel")->text(),
              QString::fromUtf8("Заключение программы (не подтверждено)"));

    // Add LVH from the table.
    dialogs.script.push_back([](QDialog& d) {
        auto* list = d.findChild<QListWidget*>("reportCodes");
        EXPECT_TRUE(list);
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->data(Qt::UserRole).toString() == "LVH")
                list->setCurrentRow(i);
        return int(QDialog::Accepted);
    });
    button(w, "reportAdd")->click();
    EXPECT_EQ(dialogs.shownNames.back(), "reportAddDialog");
    ASSERT_EQ(w.statementTable()->rowCount(), 3);
    EXPECT_EQ(row(w, 2), QString::fromStdString(
                             interpret::statementText("LVH", interpret::Language::Russian)) +
                             QString::fromUtf8(" (добавлено врачом)"));
    EXPECT_EQ(stored().statements.size(), 3u);
    EXPECT_EQ(stored().statements[2].origin, interpret::ReportStatement::Origin::Added);

    // Edit the first one's text.
    w.statementTable()->selectRow(0);
    QString prefilled;
    type(QString::fromUtf8("Синусовый ритм, ЧСС 64"), &prefilled);
    button(w, "reportEdit")->click();
    EXPECT_EQ(prefilled,
              QString::fromStdString(interpret::statementText("SR", interpret::Language::Russian)));
    EXPECT_EQ(row(w, 0), QString::fromUtf8("Синусовый ритм, ЧСС 64 (изменено врачом)"));
    EXPECT_TRUE(stored().statements[0].edited);

    // Free text.
    type(QString::fromUtf8("Сравнить с ЭКГ от 01.02.2025"));
    button(w, "reportFreeText")->click();
    ASSERT_EQ(w.statementTable()->rowCount(), 4);
    EXPECT_EQ(row(w, 3), QString::fromUtf8("Сравнить с ЭКГ от 01.02.2025"));
    EXPECT_EQ(w.statementTable()->item(3, 1)->text(), QString::fromUtf8("текст врача"));

    // Remove 1AVB: No keeps it, Yes strikes it out.
    w.statementTable()->selectRow(1);
    messages.answers = {false};
    button(w, "reportRemove")->click();
    EXPECT_EQ(w.statementTable()->rowCount(), 4);
    EXPECT_FALSE(messages.shown.back().yesByDefault) << "removing is asked with No by default";
    w.statementTable()->selectRow(1);
    messages.answers = {true};
    button(w, "reportRemove")->click();
    ASSERT_EQ(w.statementTable()->rowCount(), 3);
    EXPECT_TRUE(stored().statements[1].removed);
    EXPECT_EQ(w.findChild<QLabel*>("statementsLabel")->text(),
              QString::fromUtf8("Заключение, изменённое врачом (не подтверждено)"));

    // Confirm: no name refuses, a name stamps the time and is remembered.
    type(QString());
    button(w, "reportConfirm")->click();
    EXPECT_TRUE(messages.lastText().contains(QString::fromUtf8("не указано имя врача")));
    EXPECT_FALSE(stored().confirmed());
    type(QString::fromUtf8("Иванова А. П."), &prefilled);
    button(w, "reportConfirm")->click();
    EXPECT_TRUE(prefilled.isEmpty()) << "no name remembered yet";
    EXPECT_EQ(stored().physician, "Иванова А. П.");
    EXPECT_EQ(stored().confirmedAt, "05.03.2026 11:02:13");
    EXPECT_EQ(w.findChild<QLabel*>("reportConfirmation")->text(),
              QString::fromUtf8("Подтверждено: Иванова А. П., 05.03.2026 11:02:13"));
    EXPECT_EQ(settings.value("report/physician").toString(), QString::fromUtf8("Иванова А. П."));
    w.applyLanguage(false);
    EXPECT_EQ(w.findChild<QLabel*>("reportConfirmation")->text(),
              QString::fromUtf8("Confirmed: Иванова А. П., 05.03.2026 11:02:13"));
    w.applyLanguage(true);

    // One audit line per change: add, edit, free text, remove, confirm.
    auto log = cf.readAuditLog();
    ASSERT_TRUE(log);
    ASSERT_EQ(log.value.size(), 5u);
    EXPECT_NE(log.value[0].find("added LVH"), std::string::npos) << log.value[0];
    EXPECT_NE(log.value[1].find("to \"Синусовый ритм, ЧСС 64\""), std::string::npos);
    EXPECT_NE(log.value[3].find("removed 1AVB"), std::string::npos) << log.value[3];
    EXPECT_NE(log.value[4].find("confirmed by Иванова А. П. at 05.03.2026 11:02:13"),
              std::string::npos);

    // Reopened (another span, the same recording): the stored report, with the remembered name
    // offered; a change after the confirmation takes it back.
    MeasurementsWindow again;
    again.setStatements({said("STACH")}, 0, 8000);
    again.setReportContext(context());
    EXPECT_TRUE(again.reportStored());
    EXPECT_EQ(again.report(), stored());
    EXPECT_EQ(again.statementTable()->rowCount(), 3);
    type(QString::fromUtf8("ещё текст"));
    button(again, "reportFreeText")->click();
    EXPECT_FALSE(stored().confirmed());
    EXPECT_FALSE(again.findChild<QLabel*>("reportConfirmation")->isVisibleTo(&again));
    type(QString::fromUtf8("Иванова А. П."), &prefilled);
    button(again, "reportConfirm")->click();
    EXPECT_EQ(prefilled, QString::fromUtf8("Иванова А. П."));
    EXPECT_TRUE(stored().confirmed());
}

TEST_F(ReportEditing, WithoutASelectionOrAContextNothingChanges) {
    MeasurementsWindow w;
    w.setStatements({said("SR")}, 0, 8000);
    EXPECT_FALSE(button(w, "reportRemove")->isVisibleTo(&w)) << "no card-file recording";
    w.removeSelectedStatement();
    w.confirmReport();
    EXPECT_TRUE(dialogs.shownNames.empty());
    w.setReportContext(context());
    EXPECT_TRUE(button(w, "reportRemove")->isVisibleTo(&w));
    w.statementTable()->clearSelection();
    button(w, "reportRemove")->click();
    EXPECT_EQ(messages.lastText(), QString::fromUtf8("Выберите заключение в списке."));
    // A cancelled dialog changes nothing.
    dialogs.script.push_back([](QDialog&) { return int(QDialog::Rejected); });
    button(w, "reportFreeText")->click();
    EXPECT_FALSE(fs::exists(cf.reportPath(id, 1)));
    EXPECT_TRUE(cf.readAuditLog().value.empty());
}

TEST_F(ReportEditing, ADamagedReportFileIsSaidAndKeptAndTheWindowShowsTheProgramsStatements) {
    const std::string damaged = "velkard report 1\nrecorded\t05.03.2026 10:15:00\nstatement\tpr";
    std::ofstream(cf.reportPath(id, 1), std::ios::binary) << damaged;
    MeasurementsWindow w;
    open(w);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.lastText().contains(QString::fromUtf8("не читается"))) << "said";
    EXPECT_TRUE(messages.lastText().contains("line 3")) << messages.lastText().toStdString();
    EXPECT_FALSE(w.reportStored());
    EXPECT_EQ(w.statementTable()->rowCount(), 2);
    EXPECT_EQ(fileText(cf.reportPath(id, 1)), damaged) << "not touched by reading";

    type(QString::fromUtf8("Иванова"));
    button(w, "reportConfirm")->click();
    EXPECT_TRUE(stored().confirmed());
    int kept = 0;
    for (const auto& e : fs::directory_iterator(cf.dataDir()))
        if (e.path().filename().string().find(".rep.damaged-") != std::string::npos)
            kept += fileText(e.path()) == damaged;
    EXPECT_EQ(kept, 1) << "the damaged file is kept under another name";

    // A report made for another recording (numbers shifted by an older installation) is not
    // shown as this one's.
    interpret::Report other = stored();
    other.recordedAt = "01.01.2020 09:00:00";
    std::ofstream(cf.reportPath(id, 1), std::ios::binary | std::ios::trunc)
        << interpret::encodeReport(other);
    MeasurementsWindow second;
    open(second);
    EXPECT_FALSE(second.reportStored());
    EXPECT_TRUE(messages.lastText().contains("01.01.2020 09:00:00"))
        << messages.lastText().toStdString();
}

} // namespace
} // namespace velkard::measure::ui
