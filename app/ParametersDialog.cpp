// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ParametersDialog.h"

#include "ui/ViewState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace velkard::app {

namespace {

// Items of the three filter boxes, in this order.
constexpr filter::Mains kMainsItems[] = {filter::Mains::Hz50, filter::Mains::Hz60,
                                         filter::Mains::Off};
constexpr filter::HighPass kHighPassItems[] = {filter::HighPass::Hz005, filter::HighPass::Hz05,
                                               filter::HighPass::Off};
constexpr filter::LowPass kLowPassItems[] = {filter::LowPass::Hz35, filter::LowPass::Hz40,
                                             filter::LowPass::Hz150};

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

    auto* filtersPage = new QWidget(printTab);
    auto* form = new QFormLayout(filtersPage);
    auto makeRow = [&](QLabel*& label, QComboBox*& box, const char* name, int items) {
        label = new QLabel(filtersPage);
        box = new QComboBox(filtersPage);
        box->setObjectName(name);
        for (int i = 0; i < items; ++i)
            box->addItem(QString());
        form->addRow(label, box);
    };
    makeRow(mainsLabel, mainsBox, "mainsBox", 3);
    makeRow(highPassLabel, highPassBox, "highPassBox", 3);
    makeRow(lowPassLabel, lowPassBox, "lowPassBox", 3);
    printTab->addTab(filtersPage, QString());
    showFilters();

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
    applyLanguage(state_.interfaceLanguage());
}

void ParametersDialog::applyLanguage(bool russian) {
    applyLanguage(russian ? ui::Language::Russian : ui::Language::English);
}

void ParametersDialog::applyLanguage(ui::Language l) {
    const auto say = [l](const char* source) {
        return ui::translated<ParametersDialog>(l, source);
    };
    setWindowTitle(say(QT_TR_NOOP("Параметры")));
    printTab->setTabText(0, say(QT_TR_NOOP("Печать")));
    printGridBox->setText(say(QT_TR_NOOP("Печать сетки")));
    okButton->setText("OK");
    cancelButton->setText(say(QT_TR_NOOP("Отмена")));
    applyButton->setText(say(QT_TR_NOOP("Применить")));
    printTab->setTabText(1, say(QT_TR_NOOP("Фильтры")));
    mainsLabel->setText(say(QT_TR_NOOP("Сетевой фильтр")));
    highPassLabel->setText(say(QT_TR_NOOP("Дрейф изолинии")));
    lowPassLabel->setText(say(QT_TR_NOOP("Мышечный тремор")));
    mainsBox->setItemText(0, say(QT_TR_NOOP("50 Гц")));
    mainsBox->setItemText(1, say(QT_TR_NOOP("60 Гц")));
    mainsBox->setItemText(2, say(QT_TR_NOOP("выкл.")));
    highPassBox->setItemText(0, say(QT_TR_NOOP("0,05 Гц")));
    highPassBox->setItemText(1, say(QT_TR_NOOP("0,5 Гц")));
    highPassBox->setItemText(2, say(QT_TR_NOOP("выкл.")));
    lowPassBox->setItemText(0, say(QT_TR_NOOP("35 Гц")));
    lowPassBox->setItemText(1, say(QT_TR_NOOP("40 Гц")));
    lowPassBox->setItemText(2, say(QT_TR_NOOP("выкл. (150 Гц)")));
}

void ParametersDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(ui::languageInUse());
    QDialog::changeEvent(event);
}

void ParametersDialog::showFilters() {
    auto indexOf = [](const auto& items, auto value) {
        for (int i = 0; i < int(std::size(items)); ++i)
            if (items[i] == value)
                return i;
        return int(std::size(items)) - 1;
    };
    mainsBox->setCurrentIndex(indexOf(kMainsItems, state_.filters.mains));
    highPassBox->setCurrentIndex(indexOf(kHighPassItems, state_.filters.highPass));
    lowPassBox->setCurrentIndex(indexOf(kLowPassItems, state_.filters.lowPass));
}

void ParametersDialog::takeFilters() {
    state_.filters.mains = kMainsItems[std::max(0, mainsBox->currentIndex())];
    state_.filters.highPass = kHighPassItems[std::max(0, highPassBox->currentIndex())];
    state_.filters.lowPass = kLowPassItems[std::max(0, lowPassBox->currentIndex())];
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
    takeFilters();
    applyButton->setEnabled(false);
}

void ParametersDialog::confirm() {
    state_.printGrid = printGridBox->isChecked();
    takeFilters();
    accept();
}

void ParametersDialog::cancel() {
    reject();
}

} // namespace velkard::app
