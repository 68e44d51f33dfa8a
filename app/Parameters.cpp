#include "app/Parameters.h"

#include "app/shared/AppFlags.h"

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

TParameters::TParameters(QWidget* parent) : QDialog(parent) {
    setObjectName("Parameters");
    setFixedSize(393, 277);

    TabControl1 = new QTabWidget(this);
    TabControl1->setObjectName("TabControl1");
    auto* page = new QWidget(TabControl1);
    CheckBox1 = new QCheckBox(page);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setTristate(false);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(CheckBox1);
    pageLayout->addStretch();
    TabControl1->addTab(page, QString());

    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button2 = new QPushButton(this);
    Button2->setObjectName("Button2");
    Button3 = new QPushButton(this);
    Button3->setObjectName("Button3");
    Button3->setEnabled(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabControl1);
    layout->addLayout(buttons);

    connect(TabControl1, &QTabWidget::currentChanged, this, &TParameters::TabControl1Change);
    connect(CheckBox1, &QCheckBox::clicked, this, &TParameters::CheckBox1Click);
    connect(Button1, &QPushButton::clicked, this, &TParameters::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TParameters::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TParameters::Button3Click);

    TabControl1Change();
    applyLanguage(ui::flags().russian);
}

void TParameters::applyLanguage(bool russian) {
    setWindowTitle(pick(kWindow, russian));
    TabControl1->setTabText(0, pick(kTab, russian));
    CheckBox1->setText(pick(kCheckBox, russian));
    Button1->setText("OK");
    Button2->setText(pick(kCancel, russian));
    Button3->setText(pick(kApply, russian));
}

void TParameters::TabControl1Change() {
    CheckBox1->setChecked(ui::flags().printGrid);
    CheckBox1->setVisible(true);
}

void TParameters::CheckBox1Click() {
    // The box has two states only; every click takes effect at once (Cancel does not undo it).
    CheckBox1->setTristate(false);
    ui::flags().printGrid = CheckBox1->isChecked();
    Button3->setEnabled(true);
}

void TParameters::Button3Click() {
    ui::flags().printGrid = CheckBox1->isChecked();
    Button3->setEnabled(false);
}

void TParameters::Button1Click() {
    ui::flags().printGrid = CheckBox1->isChecked();
    accept();
}

void TParameters::Button2Click() {
    reject();
}

} // namespace velkard::app
