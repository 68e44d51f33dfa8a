#include "print/ui/RangePrint.h"

#include "print/PrintJob.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace velkard::print::ui {

TRangePrint::TRangePrint(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RangePrint"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    RadioButton1 = new QRadioButton(this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2 = new QRadioButton(this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    Label1 = new QLabel(QStringLiteral("Начало,  сек"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("Конец, сек"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    Cancel = new QPushButton(QStringLiteral("Отмена"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    // The form's own texts; the print command sets the language's texts before showing it.
    setWindowTitle(QStringLiteral("Диапазон вывода на печать"));
    RadioButton1->setText(QStringLiteral("Все"));
    RadioButton2->setText(QStringLiteral("Выборочно"));

    auto* grid = new QGridLayout;
    grid->addWidget(RadioButton1, 0, 0, 1, 2);
    grid->addWidget(RadioButton2, 1, 0, 1, 2);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(Edit1, 2, 1);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(Edit2, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // What the edits show is what the choice holds.
    const PrintRangeChoice& choice = printRangeChoice();
    Edit1->setText(choice.beginText);
    Edit2->setText(choice.endText);

    connect(RadioButton1, &QRadioButton::clicked, this, &TRangePrint::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TRangePrint::RadioButton2Click);
    connect(Edit1, &QLineEdit::textChanged, this, &TRangePrint::Edit1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &TRangePrint::Edit2Change);
    connect(OK, &QPushButton::clicked, this, &TRangePrint::OKClick);
    connect(Cancel, &QPushButton::clicked, this, &TRangePrint::CancelClick);

    RadioButton1Click();
}

void TRangePrint::applyLanguage(bool russian) {
    setWindowTitle(russian ? QStringLiteral("Диапазон вывода на печать")
                           : QStringLiteral("Range of a conclusion оn а print"));
    RadioButton1->setText(russian ? QStringLiteral("Все") : QStringLiteral("All"));
    RadioButton2->setText(russian ? QStringLiteral("Выборочно") : QStringLiteral("Selectively"));
    Label1->setText(russian ? QStringLiteral("Начало, сек") : QStringLiteral("Begining, sec"));
    Label2->setText(russian ? QStringLiteral("Конец, сек") : QStringLiteral("The end, sec"));
    Cancel->setText(russian ? QStringLiteral("Отмена") : QStringLiteral("Cancel"));
}

void TRangePrint::setRangeEnabled(bool on) {
    Label1->setEnabled(on);
    Label2->setEnabled(on);
    Edit1->setEnabled(on);
    Edit2->setEnabled(on);
}

void TRangePrint::RadioButton1Click() {
    RadioButton1->setChecked(true);
    RadioButton2->setChecked(false);
    printRangeChoice().all = true;
    setRangeEnabled(false);
}

void TRangePrint::RadioButton2Click() {
    RadioButton2->setChecked(true);
    RadioButton1->setChecked(false);
    printRangeChoice().all = false;
    setRangeEnabled(true);
}

void TRangePrint::Edit1Change() {
    printRangeChoice().beginText = Edit1->text();
}

void TRangePrint::Edit2Change() {
    printRangeChoice().endText = Edit2->text();
}

// Neither button cancels the print command: both only close the dialog.
void TRangePrint::OKClick() {
    done(QDialog::Accepted);
}

void TRangePrint::CancelClick() {
    done(QDialog::Rejected);
}

} // namespace velkard::print::ui
