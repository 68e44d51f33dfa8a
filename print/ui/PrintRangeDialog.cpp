// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/ui/PrintRangeDialog.h"

#include "print/PrintJob.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velkard::print::ui {

PrintRangeDialog::PrintRangeDialog(velkard::ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("PrintRangeDialog"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    wholeButton = new QRadioButton(this);
    wholeButton->setObjectName(QStringLiteral("wholeButton"));
    rangeButton = new QRadioButton(this);
    rangeButton->setObjectName(QStringLiteral("rangeButton"));
    beginLabel = new QLabel(QStringLiteral("Начало,  сек"), this);
    beginLabel->setObjectName(QStringLiteral("beginLabel"));
    endLabel = new QLabel(QStringLiteral("Конец, сек"), this);
    endLabel->setObjectName(QStringLiteral("endLabel"));
    beginEdit = new QLineEdit(this);
    beginEdit->setObjectName(QStringLiteral("beginEdit"));
    endEdit = new QLineEdit(this);
    endEdit->setObjectName(QStringLiteral("endEdit"));
    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    Cancel = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    // The form's own texts; the print command sets the language's texts before showing it.
    setWindowTitle(QStringLiteral("Диапазон вывода на печать"));
    wholeButton->setText(QStringLiteral("Все"));
    rangeButton->setText(QStringLiteral("Выборочно"));

    auto* grid = new QGridLayout;
    grid->addWidget(wholeButton, 0, 0, 1, 2);
    grid->addWidget(rangeButton, 1, 0, 1, 2);
    grid->addWidget(beginLabel, 2, 0);
    grid->addWidget(beginEdit, 2, 1);
    grid->addWidget(endLabel, 3, 0);
    grid->addWidget(endEdit, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // What the edits show is what the choice holds.
    const velkard::ui::PrintRangeChoice& choice = state_.printRange;
    beginEdit->setText(choice.beginText);
    endEdit->setText(choice.endText);

    connect(wholeButton, &QRadioButton::clicked, this, &PrintRangeDialog::chooseWhole);
    connect(rangeButton, &QRadioButton::clicked, this, &PrintRangeDialog::chooseRange);
    connect(beginEdit, &QLineEdit::textChanged, this, &PrintRangeDialog::beginEdited);
    connect(endEdit, &QLineEdit::textChanged, this, &PrintRangeDialog::endEdited);
    connect(OK, &QPushButton::clicked, this, &PrintRangeDialog::confirm);
    connect(Cancel, &QPushButton::clicked, this, &PrintRangeDialog::cancel);

    chooseWhole();
}

void PrintRangeDialog::applyLanguage(bool russian) {
    setWindowTitle(russian ? QStringLiteral("Диапазон вывода на печать")
                           : QStringLiteral("Range of a conclusion оn а print"));
    wholeButton->setText(russian ? QStringLiteral("Все") : QStringLiteral("All"));
    rangeButton->setText(russian ? QStringLiteral("Выборочно") : QStringLiteral("Selectively"));
    beginLabel->setText(russian ? QStringLiteral("Начало, сек") : QStringLiteral("Begining, sec"));
    endLabel->setText(russian ? QStringLiteral("Конец, сек") : QStringLiteral("The end, sec"));
    Cancel->setText(russian ? QStringLiteral("Отмена") : QStringLiteral("Cancel"));
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
    state_.printRange.all = true;
    setRangeEnabled(false);
}

void PrintRangeDialog::chooseRange() {
    rangeButton->setChecked(true);
    wholeButton->setChecked(false);
    state_.printRange.all = false;
    setRangeEnabled(true);
}

void PrintRangeDialog::beginEdited() {
    state_.printRange.beginText = beginEdit->text();
}

void PrintRangeDialog::endEdited() {
    state_.printRange.endText = endEdit->text();
}

// Neither button cancels the print command: both only close the dialog.
void PrintRangeDialog::confirm() {
    done(QDialog::Accepted);
}

void PrintRangeDialog::cancel() {
    done(QDialog::Rejected);
}

} // namespace velkard::print::ui
