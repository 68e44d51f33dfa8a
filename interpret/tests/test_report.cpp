// SPDX-License-Identifier: GPL-3.0-or-later
// The physician's report: what the edits do to it, and its file read back whole, with a damaged
// or cut file refused with a clear message rather than read as a shorter report.
#include "interpret/Report.h"

#include <gtest/gtest.h>

namespace velkard::interpret {
namespace {

Statement said(const std::string& code, const std::string& reason) {
    Statement s;
    s.code = code;
    s.text = {statementText(code, Language::Russian), statementText(code, Language::English)};
    s.reason = {reason, reason + " (en)"};
    return s;
}

Report sample() {
    Report r =
        draftReport({said("SR", "P перед 100 % комплексов"), said("1AVB", "PR 232 мс > 200")},
                    "05.03.2026 10:15:00", 800, 8000);
    addStatement(r, "LAFB");
    editStatement(r, 1, "АВ-блокада I степени,\tпограничная\nсм. ранее\\", Language::Russian);
    addFreeText(r, "Сравнить с ЭКГ от 01.02.2026");
    removeStatement(r, 0);
    confirmReport(r, "Иванова А. П.", "05.03.2026 11:02:13");
    return r;
}

TEST(Report, EditsChangeWhatIsSaidAndEveryChangeWithdrawsTheConfirmation) {
    Report r = draftReport({said("SR", "x"), said("LVH", "y")}, "01.01.2026 00:00:00", 0, 8000);
    EXPECT_FALSE(r.changedByPhysician());
    EXPECT_FALSE(r.confirmed());
    EXPECT_EQ(confirmReport(r, "", "01.01.2026 10:00:00"), "") << "no name, no confirmation";
    EXPECT_FALSE(r.confirmed());

    EXPECT_NE(confirmReport(r, "Петров", "01.01.2026 10:00:00"), "");
    EXPECT_TRUE(r.confirmed());
    const std::string line = removeStatement(r, 1);
    EXPECT_EQ(line, "removed LVH \"" + statementText("LVH", Language::Russian) +
                        "\"; confirmation by Петров of 01.01.2026 10:00:00 withdrawn");
    EXPECT_FALSE(r.confirmed());
    EXPECT_TRUE(r.statements[1].removed) << "a program statement is struck out, not forgotten";
    ASSERT_EQ(shownStatements(r).size(), 1u);
    EXPECT_EQ(shownStatements(r)[0]->code, "SR");
    EXPECT_EQ(removeStatement(r, 1), "") << "already removed";
    EXPECT_EQ(editStatement(r, 1, "x", Language::Russian), "") << "a removed one is not edited";

    // Picking a struck-out statement again says it again, once.
    EXPECT_NE(addStatement(r, "LVH"), "");
    EXPECT_EQ(r.statements.size(), 2u);
    EXPECT_FALSE(r.statements[1].removed);

    EXPECT_EQ(addStatement(r, "NOSUCH"), "");
    EXPECT_NE(addStatement(r, "PACE"), "");
    ASSERT_EQ(r.statements.size(), 3u);
    EXPECT_EQ(r.statements[2].origin, ReportStatement::Origin::Added);
    EXPECT_EQ(r.statements[2].textIn(Language::English), statementText("PACE", Language::English));
    EXPECT_NE(removeStatement(r, 2), "");
    EXPECT_EQ(r.statements.size(), 2u) << "one the physician added goes";

    EXPECT_EQ(editStatement(r, 0, r.statements[0].text[1], Language::English), "")
        << "the shown text given back unchanged";
    EXPECT_FALSE(r.statements[0].edited);
    EXPECT_NE(editStatement(r, 0, "Синусовый ритм, ЧСС 64", Language::English), "");
    EXPECT_TRUE(r.statements[0].edited);
    EXPECT_EQ(r.statements[0].textIn(Language::English), "Синусовый ритм, ЧСС 64");
    EXPECT_EQ(r.statements[0].reasonIn(Language::Russian), "x") << "the reason stays";
    EXPECT_EQ(editStatement(r, 0, "Синусовый ритм, ЧСС 64", Language::Russian), "") << "no change";
    EXPECT_EQ(addFreeText(r, ""), "");
    EXPECT_TRUE(r.changedByPhysician());
}

TEST(Report, TheFileReadsBackAsItWasWritten) {
    const Report r = sample();
    const std::string bytes = encodeReport(r);
    EXPECT_TRUE(bytes.starts_with("velkard report 1\n"));
    EXPECT_TRUE(bytes.ends_with("end\t4\n"));
    auto back = decodeReport(bytes);
    ASSERT_TRUE(back) << back.message;
    EXPECT_EQ(back.value, r);
    EXPECT_TRUE(back.value.confirmed());
    EXPECT_EQ(back.value.statements[1].text[0], "АВ-блокада I степени,\tпограничная\nсм. ранее\\");
    EXPECT_TRUE(back.value.statements[1].edited);
    EXPECT_TRUE(back.value.statements[0].removed);
    EXPECT_EQ(back.value.firstRecord, 800);

    // An unconfirmed one has no confirmation line; lines of names it does not know are skipped.
    Report open = r;
    open.physician.clear();
    open.confirmedAt.clear();
    std::string text = encodeReport(open);
    EXPECT_EQ(text.find("confirmed"), std::string::npos);
    text.insert(text.find("span"), "comment\tfrom a later version\n");
    back = decodeReport(text);
    ASSERT_TRUE(back) << back.message;
    EXPECT_EQ(back.value, open);
}

TEST(Report, ADamagedOrCutFileIsRefusedSayingWhere) {
    const std::string whole = encodeReport(sample());
    // Cut anywhere: never read as a shorter report.
    for (std::size_t n = 0; n < whole.size(); ++n) {
        auto r = decodeReport(std::string_view(whole).substr(0, n));
        EXPECT_FALSE(r) << "cut at " << n;
        EXPECT_EQ(r.code, ErrorCode::BadData);
        EXPECT_FALSE(r.message.empty());
    }
    auto withLine = [&](const std::string& from, const std::string& to) {
        std::string t = whole;
        t.replace(t.find(from), from.size(), to);
        return decodeReport(t);
    };
    auto r = withLine("statement\tadded", "statement\tpainted");
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("line 6"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("origin"), std::string::npos) << r.message;
    EXPECT_FALSE(withLine("\\t", "\\q")) << "an unknown escape";
    EXPECT_FALSE(withLine("span\t800", "span\t-8"));
    EXPECT_FALSE(withLine("end\t4", "end\t3")) << "a statement line lost";
    EXPECT_FALSE(withLine("edited", "painted"));
    EXPECT_FALSE(withLine("Иванова", std::string("Ива") + '\0' + "нова"));
    r = withLine("velkard report 1", "velkard report 2");
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find("newer version"), std::string::npos);
    EXPECT_FALSE(decodeReport("PK\3\4 something else\n"));
    std::string tail = whole + "statement\tfree\t-\t\tx\tx\t\t\n";
    EXPECT_FALSE(decodeReport(tail)) << "lines after the end";
}

} // namespace
} // namespace velkard::interpret
