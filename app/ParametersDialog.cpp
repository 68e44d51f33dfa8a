// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ParametersDialog.h"

#include "ui/ViewState.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace velkard::app {

namespace {

struct Caption {
    const char* russian;
    const char* english;
};

// Window caption, tab, check box, Cancel, Apply.
constexpr Caption kWindow{"Параметры", "Parameters"};
constexpr Caption kTab{"Печать", "Print"};
constexpr Caption kCheckBox{"Печать сетки", "Print of grid"};
constexpr Caption kCancel{"Отмена", "Cancel"};
constexpr Caption kApply{"Применить", "To apply"};

QString pick(const Caption& c, bool russian) {
    return QString::fromUtf8(russian ? c.russian : c.english);
}

} // namespace

ParametersDialog::ParametersDialog(ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName("ParametersDialog");
    setFixedSize(393, 277);

    printTab = new QTabWidget(this);
    printTab->setObjectName("printTab");
    auto* page = new QWidget(printTab);
    printGridBox = new QCheckBox(page);
    printGridBox->setObjectName("printGridBox");
    printGridBox->setTristate(false);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(printGridBox);
    pageLayout->addStretch();
    printTab->addTab(page, QString());

    okButton = new QPushButton("OK", this);
    okButton->setObjectName("okButton");
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName("cancelButton");
    applyButton = new QPushButton(this);
    applyButton->setObjectName("applyButton");
    applyButton->setEnabled(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(applyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(printTab);
    layout->addLayout(buttons);

    connect(printTab, &QTabWidget::currentChanged, this, &ParametersDialog::showPrintGridFlag);
    connect(printGridBox, &QCheckBox::clicked, this, &ParametersDialog::togglePrintGrid);
    connect(okButton, &QPushButton::clicked, this, &ParametersDialog::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &ParametersDialog::cancel);
    connect(applyButton, &QPushButton::clicked, this, &ParametersDialog::apply);

    showPrintGridFlag();
    applyLanguage(state_.russian);
}

void ParametersDialog::applyLanguage(bool russian) {
    setWindowTitle(pick(kWindow, russian));
    printTab->setTabText(0, pick(kTab, russian));
    printGridBox->setText(pick(kCheckBox, russian));
    okButton->setText("OK");
    cancelButton->setText(pick(kCancel, russian));
    applyButton->setText(pick(kApply, russian));
}

void ParametersDialog::showPrintGridFlag() {
    printGridBox->setChecked(state_.printGrid);
    printGridBox->setVisible(true);
}

void ParametersDialog::togglePrintGrid() {
    // The box has two states only; every click takes effect at once (Cancel does not undo it).
    printGridBox->setTristate(false);
    state_.printGrid = printGridBox->isChecked();
    applyButton->setEnabled(true);
}

void ParametersDialog::apply() {
    state_.printGrid = printGridBox->isChecked();
    applyButton->setEnabled(false);
}

void ParametersDialog::confirm() {
    state_.printGrid = printGridBox->isChecked();
    accept();
}

void ParametersDialog::cancel() {
    reject();
}

} // namespace velkard::app
