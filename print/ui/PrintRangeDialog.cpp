// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/ui/PrintRangeDialog.h"

#include "print/PrintJob.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velkard::print::ui {

namespace {
constexpr const char* kContext = "velkard::print::ui::PrintRangeDialog";

// A whole, non-negative number of seconds as checkRange takes it.
bool wholeSeconds(const QString& text, int* out = nullptr) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 6)
        return false;
    for (QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    if (out)
        *out = t.toInt();
    return true;
}

const char* const kMarked = "invalid";
} // namespace

PrintRangeDialog::PrintRangeDialog(velkard::ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("PrintRangeDialog"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    wholeButton = new QRadioButton(this);
    wholeButton->setObjectName(QStringLiteral("wholeButton"));
    rangeButton = new QRadioButton(this);
    rangeButton->setObjectName(QStringLiteral("rangeButton"));
    beginLabel = new QLabel(this);
    beginLabel->setObjectName(QStringLiteral("beginLabel"));
    endLabel = new QLabel(this);
    endLabel->setObjectName(QStringLiteral("endLabel"));
    beginEdit = new QLineEdit(this);
    beginEdit->setObjectName(QStringLiteral("beginEdit"));
    endEdit = new QLineEdit(this);
    endEdit->setObjectName(QStringLiteral("endEdit"));
    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    Cancel = new QPushButton(this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    errorLabel = new QLabel(this);
    errorLabel->setObjectName(QStringLiteral("errorLabel"));
    errorLabel->setWordWrap(true);
    errorLabel->setStyleSheet(QStringLiteral("color: #b00000;"));
    errorLabel->hide();
    // The form's own texts (the Russian begin label with two spaces); the print command sets the
    // language's texts before showing it.
    const auto form = [l = state_.interfaceLanguage()](const char* source) {
        return velkard::ui::translate(l, kContext, source, "form");
    };
    const char* formTexts[][2] = {
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Начало,  сек", "form"),
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Конец, сек", "form"),
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Отмена", "form"),
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Диапазон вывода на печать",
                           "form"),
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Все", "form"),
        QT_TRANSLATE_NOOP3("velkard::print::ui::PrintRangeDialog", "Выборочно", "form")};
    beginLabel->setText(form(formTexts[0][0]));
    endLabel->setText(form(formTexts[1][0]));
    Cancel->setText(form(formTexts[2][0]));
    setWindowTitle(form(formTexts[3][0]));
    wholeButton->setText(form(formTexts[4][0]));
    rangeButton->setText(form(formTexts[5][0]));

    reportButton = new QRadioButton(this);
    reportButton->setObjectName(QStringLiteral("reportButton"));
    reportFromEdit = new QLineEdit(this);
    reportFromEdit->setObjectName(QStringLiteral("reportFromEdit"));

    auto* grid = new QGridLayout;
    grid->addWidget(wholeButton, 0, 0, 1, 2);
    grid->addWidget(rangeButton, 1, 0, 1, 2);
    grid->addWidget(beginLabel, 2, 0);
    grid->addWidget(beginEdit, 2, 1);
    grid->addWidget(endLabel, 3, 0);
    grid->addWidget(endEdit, 3, 1);
    grid->addWidget(reportButton, 4, 0);
    grid->addWidget(reportFromEdit, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(errorLabel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // What the edits show is what the choice holds.
    const velkard::ui::PrintRangeChoice& choice = state_.printRange;
    beginEdit->setText(choice.beginText);
    endEdit->setText(choice.endText);
    reportFromEdit->setText(choice.reportFromText);

    connect(wholeButton, &QRadioButton::clicked, this, &PrintRangeDialog::chooseWhole);
    connect(rangeButton, &QRadioButton::clicked, this, &PrintRangeDialog::chooseRange);
    connect(reportButton, &QRadioButton::clicked, this, &PrintRangeDialog::chooseReport);
    connect(reportFromEdit, &QLineEdit::textChanged, this,
            [this](const QString& t) { state_.printRange.reportFromText = t; });
    connect(beginEdit, &QLineEdit::textChanged, this, &PrintRangeDialog::beginEdited);
    connect(endEdit, &QLineEdit::textChanged, this, &PrintRangeDialog::endEdited);
    connect(OK, &QPushButton::clicked, this, &PrintRangeDialog::confirm);
    connect(Cancel, &QPushButton::clicked, this, &PrintRangeDialog::cancel);

    chooseWhole();
}

void PrintRangeDialog::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void PrintRangeDialog::applyLanguage(velkard::ui::Language l) {
    const auto say = [l](const char* source) {
        return velkard::ui::translated<PrintRangeDialog>(l, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Диапазон вывода на печать")));
    wholeButton->setText(say(QT_TR_NOOP("Все")));
    rangeButton->setText(say(QT_TR_NOOP("Выборочно")));
    beginLabel->setText(say(QT_TR_NOOP("Начало, сек")));
    endLabel->setText(say(QT_TR_NOOP("Конец, сек")));
    reportButton->setText(say(QT_TR_NOOP("Отчёт: 12 отведений на листе, с секунды")));
    Cancel->setText(say(QT_TR_NOOP("Отмена")));
}

void PrintRangeDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void PrintRangeDialog::setRangeEnabled(bool on) {
    beginLabel->setEnabled(on);
    endLabel->setEnabled(on);
    beginEdit->setEnabled(on);
    endEdit->setEnabled(on);
}

void PrintRangeDialog::chooseWhole() {
    wholeButton->setChecked(true);
    rangeButton->setChecked(false);
    reportButton->setChecked(false);
    state_.printRange.all = true;
    state_.printRange.report = false;
    setRangeEnabled(false);
    reportFromEdit->setEnabled(false);
}

void PrintRangeDialog::chooseRange() {
    rangeButton->setChecked(true);
    wholeButton->setChecked(false);
    reportButton->setChecked(false);
    state_.printRange.all = false;
    state_.printRange.report = false;
    setRangeEnabled(true);
    reportFromEdit->setEnabled(false);
}

void PrintRangeDialog::chooseReport() {
    reportButton->setChecked(true);
    wholeButton->setChecked(false);
    rangeButton->setChecked(false);
    state_.printRange.all = true;
    state_.printRange.report = true;
    setRangeEnabled(false);
    reportFromEdit->setEnabled(true);
}

void PrintRangeDialog::beginEdited() {
    state_.printRange.beginText = beginEdit->text();
}

void PrintRangeDialog::endEdited() {
    state_.printRange.endText = endEdit->text();
}

void PrintRangeDialog::refuse(QLineEdit* field, const QString& why) {
    errorLabel->setText(why);
    errorLabel->show();
    field->setProperty(kMarked, true);
    field->setStyleSheet(QStringLiteral("border: 2px solid #b00000;"));
    field->setFocus();
    field->selectAll();
}

void PrintRangeDialog::clearRefusal() {
    errorLabel->clear();
    errorLabel->hide();
    for (QLineEdit* field : {beginEdit, endEdit, reportFromEdit}) {
        field->setProperty(kMarked, false);
        field->setStyleSheet(QString());
    }
}

// OK goes on to the printer when what was typed can be printed; Cancel (like Esc) ends the print
// command.
void PrintRangeDialog::confirm() {
    clearRefusal();
    const velkard::ui::Language l = state_.interfaceLanguage();
    if (reportButton->isChecked()) {
        if (!wholeSeconds(reportFromEdit->text())) {
            refuse(reportFromEdit,
                   velkard::ui::translated<PrintRangeDialog>(
                       l, QT_TR_NOOP("Начало отчёта должно быть целым числом секунд")));
            return;
        }
    } else if (rangeButton->isChecked()) {
        const RangeCheck check =
            checkRange(beginEdit->text(), endEdit->text(),
                       durationSeconds_ >= 0 ? durationSeconds_ : 999999, state_.inRussian());
        if (!check.ok) {
            int begin = 0;
            int end = 0;
            const bool beginOk = wholeSeconds(beginEdit->text(), &begin);
            const bool endOk = wholeSeconds(endEdit->text(), &end);
            // The field at fault: one that is no number; else the begin after the end; else the
            // end past the recording.
            QLineEdit* field = !beginOk      ? beginEdit
                               : !endOk      ? endEdit
                               : begin > end ? beginEdit
                                             : endEdit;
            refuse(field, check.message);
            return;
        }
    }
    done(QDialog::Accepted);
}

void PrintRangeDialog::cancel() {
    done(QDialog::Rejected);
}

} // namespace velkard::print::ui
