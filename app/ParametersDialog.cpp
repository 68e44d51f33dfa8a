// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ParametersDialog.h"

#include "device/Discovery.h"
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

// A port's item text: what it is, then its name.
QString portItemText(const QString& port, ui::Language l) {
    const auto say = [l](const char* source) {
        return ui::translate(l, "velkard::app::ParametersDialog", source);
    };
    if (port == QLatin1String("SIM"))
        return say(QT_TRANSLATE_NOOP("velkard::app::ParametersDialog", "Имитатор прибора")) +
               QStringLiteral(" (SIM)");
    if (port == QLatin1String("COM4"))
        return say(QT_TRANSLATE_NOOP("velkard::app::ParametersDialog", "Первый прибор на USB")) +
               QStringLiteral(" (COM4)");
    if (port.startsWith(QLatin1String("USB:"), Qt::CaseInsensitive) ||
        port.startsWith(QLatin1String("/dev/ttyUSB")))
        return say(QT_TRANSLATE_NOOP("velkard::app::ParametersDialog", "Найден прибор")) +
               QStringLiteral(": ") + port;
    return port;
}

} // namespace

QStringList foundPorts(const std::string& sysfsRoot) {
    QStringList ports;
    for (const device::UsbDevice& d : device::findUsbDevices(sysfsRoot, device::UsbIds{})) {
        const QString port = !d.tty.empty() ? QString::fromStdString(d.tty)
                                            : QStringLiteral("USB:%1:%2")
                                                  .arg(d.vendor, 4, 16, QLatin1Char('0'))
                                                  .arg(d.product, 4, 16, QLatin1Char('0'))
                                                  .toUpper();
        if (!ports.contains(port))
            ports << port;
    }
    ports << QStringLiteral("SIM") << QStringLiteral("COM4");
    return ports;
}

ParametersDialog::ParametersDialog(ui::ViewState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName("ParametersDialog");
    setMinimumSize(440, 290);

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

    auto* portPage = new QWidget(printTab);
    auto* portForm = new QFormLayout(portPage);
    portLabel = new QLabel(portPage);
    portBox = new QComboBox(portPage);
    portBox->setObjectName("portBox");
    portBox->setEditable(true);
    portBox->setInsertPolicy(QComboBox::NoInsert);
    portForm->addRow(portLabel, portBox);
    portHint = new QLabel(portPage);
    portHint->setWordWrap(true);
    portForm->addRow(portHint);
    printTab->addTab(portPage, QString());

    auto* viewPage = new QWidget(printTab);
    darkScreenBox = new QCheckBox(viewPage);
    darkScreenBox->setObjectName("darkScreenBox");
    darkScreenBox->setChecked(state_.darkScreen);
    auto* viewLayout = new QVBoxLayout(viewPage);
    viewLayout->addWidget(darkScreenBox);
    viewLayout->addStretch();
    printTab->addTab(viewPage, QString());

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
    printTab->setTabText(2, say(QT_TR_NOOP("Прибор")));
    portLabel->setText(say(QT_TR_NOOP("Порт")));
    portHint->setText(say(QT_TR_NOOP("Выберите найденный прибор или имитатор, или введите путь "
                                     "к порту (например, /dev/ttyUSB0)")));
    for (int i = 0; i < portBox->count(); ++i)
        portBox->setItemText(i, portItemText(portBox->itemData(i).toString(), l));
    printTab->setTabText(3, say(QT_TR_NOOP("Вид")));
    darkScreenBox->setText(say(QT_TR_NOOP("Тёмный фон экрана")));
}

void ParametersDialog::setPorts(const QString& current, const QStringList& offered) {
    currentPort_ = current;
    portBox->clear();
    QStringList ports = offered;
    if (!current.isEmpty() && !ports.contains(current))
        ports.prepend(current);
    for (const QString& port : ports)
        portBox->addItem(portItemText(port, state_.interfaceLanguage()), port);
    portBox->setCurrentIndex(std::max(0, int(ports.indexOf(current))));
}

QString ParametersDialog::chosenPort() const {
    const QString typed = portBox->currentText().trimmed();
    if (typed.isEmpty())
        return currentPort_;
    for (int i = 0; i < portBox->count(); ++i)
        if (portBox->itemText(i) == typed)
            return portBox->itemData(i).toString();
    return typed;
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
    state_.darkScreen = darkScreenBox->isChecked();
    takeFilters();
    applyButton->setEnabled(false);
}

void ParametersDialog::confirm() {
    state_.printGrid = printGridBox->isChecked();
    state_.darkScreen = darkScreenBox->isChecked();
    takeFilters();
    accept();
}

void ParametersDialog::cancel() {
    reject();
}

} // namespace velkard::app
