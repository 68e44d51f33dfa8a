// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's form: its controls, menu and timers, their captions in either language, and
// the panels' layout, the paging keys and the Help menu's pages. The window's behaviour is in
// MainWindow.cpp.
#include "app/DrawingArea.h"
#include "app/MainWindow.h"

#include "display/Geometry.h"
#include "filter/FilterSettingsFile.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/HeartRateLabel.h"
#include "measure/ui/MeasurementsController.h"
#include "ui/Language.h"
#include "ui/LanguageMenu.h"
#include "velkard_version.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace velkard::app {

namespace {

// The watchdog decision is polled; a read that has waited 1000 ms is caught within this period.

// A control's or menu's object name and its caption, written in Russian and translated through
// the translation files (context: the window's class).
struct Caption {
    const char* name;
    const char* source;
};

// The main window's captions, applied in this order: menus, then buttons, then labels. The scale
// and speed items come from the display library's tables.
constexpr Caption kMenuCaptions[] = {
    {"patientMenu", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Пациент")},
    {"setupMenu", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Настройка")},
    {"exitAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Выход")},
    {"cardFileAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Картотека")},
    {"worklistAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Рабочий список")},
    {"gdtAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Запросы GDT")},
    {"outboxAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Очередь отправки")},
    {"earlierAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Ранее снятые ЭКГ")},
    {"memoryAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Память")},
    {"importAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Импорт из файла")},
    {"fileImportAction",
     QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Положить в карту пациента")},
    {"printSetupAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Настройка принтера")},
    {"printAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Печать")},
    {"parametersAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Параметры")},
    {"helpMenu", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Справка")},
    {"keysAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Клавиши и мышь")},
    {"aboutAction", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "О программе")},
};
constexpr Caption kControlCaptions[] = {
    {"Start", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Старт")},
    {"Stop", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Стоп")},
    {"Forward", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Вперед")},
    {"Back", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Назад")},
    {"scaleLabel", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Масштаб")},
    {"leadGroupLabel", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Отведения")},
    {"speedLabel", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Скорость")},
    {"secondsLabel", QT_TRANSLATE_NOOP("velkard::app::MainWindow", "Длительность ЭКГ,с")},
};

} // namespace

void MainWindow::buildForm() {
    setObjectName("MainWindow");
    setWindowTitle("Velkard");
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    area_ = new DrawingArea(this);
    setCentralWidget(area_);

    toolPanel_ = new QFrame(area_);
    toolPanel_->setObjectName("toolPanel");
    toolPanel_->setAutoFillBackground(true);
    toolPanel_->setFrameShape(QFrame::Panel);
    toolPanel_->setPalette(QApplication::palette());
    auto makeLabel = [](QWidget* parent, const char* name) {
        auto* l = new QLabel(parent);
        l->setObjectName(name);
        return l;
    };
    auto makeCombo = [](QWidget* parent, const char* name) {
        auto* c = new QComboBox(parent);
        c->setObjectName(name);
        return c;
    };
    QLabel* scaleLabel = makeLabel(toolPanel_, "scaleLabel");
    scaleBox = makeCombo(toolPanel_, "scaleBox");
    QLabel* leadGroupLabel = makeLabel(toolPanel_, "leadGroupLabel");
    leadGroupBox = makeCombo(toolPanel_, "leadGroupBox");
    QLabel* speedLabel = makeLabel(toolPanel_, "speedLabel");
    speedBox = makeCombo(toolPanel_, "speedBox");
    secondsLabel_ = makeLabel(toolPanel_, "secondsLabel");
    secondsEdit = new QLineEdit(toolPanel_);
    secondsEdit->setObjectName("secondsEdit");
    secondsEdit->setReadOnly(true);
    secondsEdit->setMaximumWidth(80);
    filterLabel_ = makeLabel(toolPanel_, "filterLabel");
    // Whose ECG is shown: the chosen patient, live and in review.
    patientBanner_ = makeLabel(toolPanel_, "patientBanner");
    QFont bannerFont = patientBanner_->font();
    bannerFont.setBold(true);
    patientBanner_->setFont(bannerFont);
    for (int i = 0; i < display::kScaleCount; ++i)
        scaleBox->addItem(QString::fromUtf8(display::scaleItem(i, true)));
    for (const char* item : display::kGroupItems)
        leadGroupBox->addItem(QString::fromUtf8(item));
    for (int i = 0; i < display::kSpeedCount; ++i)
        speedBox->addItem(QString::fromUtf8(display::speedItem(i, true)));
    // The boxes grow with their texts, so another language's items are never cut.
    for (QComboBox* box : {scaleBox, leadGroupBox, speedBox})
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* top = new QHBoxLayout(toolPanel_);
    top->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{scaleLabel, scaleBox, leadGroupLabel,
                                                      leadGroupBox, speedLabel, speedBox,
                                                      secondsLabel_, secondsEdit, filterLabel_})
        top->addWidget(w);
    measurements_ = new measure::ui::MeasurementsController(toolPanel_, area_, this);
    measurements_->calipers()->setRepaint([this] { area_->showSurface(); });
    top->addWidget(measurements_->heartRateLabel());
    top->addStretch();
    top->addWidget(patientBanner_);

    buttonPanel_ = new QFrame(area_);
    buttonPanel_->setObjectName("buttonPanel");
    buttonPanel_->setAutoFillBackground(true);
    buttonPanel_->setFrameShape(QFrame::Panel);
    buttonPanel_->setPalette(QApplication::palette());
    auto makeButton = [](QWidget* parent, const char* name) {
        auto* b = new QPushButton(parent);
        b->setObjectName(name);
        return b;
    };
    // Start and Back share the first place, Stop and Forward the second; one pair is shown.
    Start = makeButton(buttonPanel_, "Start");
    Back = makeButton(buttonPanel_, "Back");
    Stop = makeButton(buttonPanel_, "Stop");
    Forward = makeButton(buttonPanel_, "Forward");
    auto* bottom = new QHBoxLayout(buttonPanel_);
    bottom->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{Start, Back, Stop, Forward})
        bottom->addWidget(w);
    bottom->addStretch();

    handOverTimer = new QTimer(this);
    handOverTimer->setObjectName("handOverTimer");
    handOverTimer->setSingleShot(true);
    secondsTimer = new QTimer(this);
    secondsTimer->setObjectName("secondsTimer");
    secondsTimer->setInterval(940);

    connect(scaleBox, &QComboBox::activated, this, &MainWindow::applyScale);
    connect(leadGroupBox, &QComboBox::activated, this, &MainWindow::applyLeadGroup);
    connect(speedBox, &QComboBox::activated, this, &MainWindow::applySpeedAndRedraw);
    connect(Start, &QPushButton::clicked, this, &MainWindow::start);
    connect(Stop, &QPushButton::clicked, this, &MainWindow::stop);
    connect(Forward, &QPushButton::clicked, this, &MainWindow::forward);
    connect(Back, &QPushButton::clicked, this, &MainWindow::back);
    connect(handOverTimer, &QTimer::timeout, this, &MainWindow::checkWatchdog);
    connect(secondsTimer, &QTimer::timeout, this, &MainWindow::countSecond);
}

void MainWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("mainMenu");
    auto makeAction = [this](const char* name, void (MainWindow::*slot)()) {
        auto* a = new QAction(this);
        a->setObjectName(name);
        if (slot)
            connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto makeSeparator = [this](const char* name) {
        auto* a = new QAction(this);
        a->setObjectName(name);
        a->setSeparator(true);
        return a;
    };

    QMenu* patientMenu = bar->addMenu(QString());
    patientMenu->setObjectName("patientMenu");
    cardFileAction = makeAction("cardFileAction", &MainWindow::openCardFile);
    importAction = makeAction("importAction", &MainWindow::importFromFile);
    fileImportAction = makeAction("fileImportAction", &MainWindow::fileImportIntoCard);
    fileImportAction->setEnabled(false);
    printSetupAction_ = makeAction("printSetupAction", &MainWindow::printSetup);
    printAction = makeAction("printAction", &MainWindow::printRecording);
    worklistAction = makeAction("worklistAction", &MainWindow::openWorklist);
    gdtAction = makeAction("gdtAction", &MainWindow::openGdt);
    outboxAction = makeAction("outboxAction", &MainWindow::openOutbox);
    earlierAction = makeAction("earlierAction", &MainWindow::openEarlier);
    patientMenu->addActions({cardFileAction, worklistAction, gdtAction, outboxAction, earlierAction,
                             makeSeparator("cardFileSeparator"),
                             makeAction("memoryAction", &MainWindow::openMemory),
                             makeSeparator("memorySeparator"), importAction, fileImportAction,
                             makeSeparator("importSeparator"), printSetupAction_, printAction,
                             measurements_->showAction()});

    QMenu* setupMenu = bar->addMenu(QString());
    setupMenu->setObjectName("setupMenu");
    setupMenu->addAction(makeAction("parametersAction", &MainWindow::openParameters));

    languageMenu_ = new ui::LanguageMenu(this);
    bar->addMenu(languageMenu_);
    connect(languageMenu_, &ui::LanguageMenu::chosen, this, &MainWindow::chooseLanguage);

    QMenu* helpMenu = bar->addMenu(QString());
    helpMenu->setObjectName("helpMenu");
    QAction* keysAction = makeAction("keysAction", &MainWindow::showKeys);
    keysAction->setShortcut(QKeySequence::HelpContents);
    helpMenu->addActions({keysAction, makeAction("aboutAction", &MainWindow::showAbout)});

    // The commands used most have their keys (shown in the menus).
    cardFileAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    importAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    printAction->setShortcut(QKeySequence::Print);

    exitAction = makeAction("exitAction", &MainWindow::exitProgram);
    bar->addAction(exitAction);
}

void MainWindow::applyLanguage(ui::Language language) {
    const auto say = [language](const Caption& c) {
        return ui::translated<MainWindow>(language, c.source);
    };
    const bool russian = language == ui::Language::Russian;
    for (const auto& c : kMenuCaptions) {
        const QString name = QString::fromUtf8(c.name);
        if (auto* menu = findChild<QMenu*>(name))
            menu->setTitle(say(c));
        else if (auto* action = findChild<QAction*>(name))
            action->setText(say(c));
    }
    languageMenu_->applyLanguage(language);
    {
        const QSignalBlocker b1(scaleBox), b3(speedBox);
        for (int i = 0; i < display::kScaleCount; ++i)
            scaleBox->setItemText(i, QString::fromUtf8(display::scaleItem(i, russian)));
        for (int i = 0; i < display::kSpeedCount; ++i)
            speedBox->setItemText(i, QString::fromUtf8(display::speedItem(i, russian)));
        // Select again by the indices in use, so the boxes show the new language.
        speedBox->setCurrentIndex(display_->geometry().speedIndex);
        scaleBox->setCurrentIndex(display_->geometry().scaleIndex);
    }
    for (const auto& c : kControlCaptions) {
        const QString name = QString::fromUtf8(c.name);
        if (auto* button = findChild<QPushButton*>(name))
            button->setText(say(c));
        else if (auto* label = findChild<QLabel*>(name))
            label->setText(say(c));
    }
    Forward->setToolTip(
        ui::translated<MainWindow>(language, QT_TR_NOOP("Следующая страница (PageDown, →)")));
    Back->setToolTip(
        ui::translated<MainWindow>(language, QT_TR_NOOP("Предыдущая страница (PageUp, ←)")));
    measurements_->applyLanguage(language);
    display_->setRussian(russian, view()); // the ruler's "1 с" or "1s", decimal commas or points
    filterLabel_->setText(QString::fromStdString(filter::describe(state_.filters, russian)));
    refreshTitle();
}

void MainWindow::changeEvent(QEvent* event) {
    // Another window may have switched the language: follow what is installed.
    if (event->type() == QEvent::LanguageChange &&
        state_.interfaceLanguage() == ui::languageInUse())
        applyLanguage(state_.interfaceLanguage());
    QMainWindow::changeEvent(event);
}

void MainWindow::layOutPanels() {
    const int w = area_->width();
    const int h = area_->height();
    toolPanel_->setGeometry(0, 0, w, kPanelHeight);
    buttonPanel_->setGeometry(0, std::max(0, h - kPanelHeight), w, kPanelHeight);
    measurements_->calipers()->setMargins(kPanelHeight, kPanelHeight);
    toolPanel_->raise();
    buttonPanel_->raise();
}

// ---- the controls' state ----

void MainWindow::refreshSelectors() {
    // The boxes show what is drawn; while a rhythmogram is shown they cannot change it.
    const QSignalBlocker b1(scaleBox), b2(leadGroupBox), b3(speedBox);
    const auto& g = display_->geometry();
    scaleBox->setCurrentIndex(g.scaleIndex);
    leadGroupBox->setCurrentIndex(g.groupIndex);
    speedBox->setCurrentIndex(g.speedIndex);
    for (QComboBox* box : {scaleBox, leadGroupBox, speedBox})
        box->setEnabled(!view().rhythmogram());
}

std::optional<int> MainWindow::printerPageWidth() const {
    if (!printerExists_)
        return std::nullopt;
    QPrinter printer(QPrinter::HighResolution);
    const int width = printer.pageLayout().paintRectPixels(printer.resolution()).width();
    if (width <= 0)
        return std::nullopt;
    return width;
}

void MainWindow::refreshButtons() {
    Forward->setEnabled(display_->forwardEnabled());
    Back->setEnabled(display_->backEnabled());
}

void MainWindow::windowResized() {
    layOutPanels();
    display::WindowMetrics m;
    const QRect frame = frameGeometry();
    m.outerWidth = std::max({frame.width(), width(), 1});
    m.outerHeight = std::max({frame.height(), height(), 1});
    m.clientRight = std::max(area_->width(), 1);
    m.clientBottom = std::max(area_->height(), 1);
    m.panelHeight = kPanelHeight;
    if (m == display_->windowMetrics())
        return;
    display_->setWindowMetrics(m);
    if (!startedOk())
        return;
    // Resizing runs the paint handler: back to the first page of a shown recording.
    runPaintHandler();
    // Before anything is shown the paint handler draws nothing; the empty grid drawn at start-up
    // is drawn again at the new size, so a maximised or resized window is never left blank.
    if (view().shown == Shown::Nothing)
        display_->drawAndCopyGrid(view());
    area_->showSurface();
}

void MainWindow::showEmptyState() {
    for (QPushButton* b : {Start, Stop, Forward, Back}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    secondsEdit->setVisible(false);
    secondsEdit->clear();
    secondsLabel_->setVisible(false);
    printAction->setEnabled(false);
    display_->clearClientArea();
    area_->showSurface();
    measurements_->nothingShown();
}

// ---- selectors ----

void MainWindow::applyScale() {
    display_->setScale(scaleBox->currentIndex(), view());
    refreshFromDisplay();
}

void MainWindow::applyLeadGroup() {
    display_->setLeadGroup(leadGroupBox->currentIndex(), view());
    refreshFromDisplay();
}

void MainWindow::applySpeedAndRedraw() {
    display_->setSpeed(speedBox->currentIndex(), view());
    refreshFromDisplay();
}

void MainWindow::forward() {
    display_->forward(view());
    refreshFromDisplay();
}

void MainWindow::back() {
    display_->back(view());
    refreshFromDisplay();
}

// ---- language ----

void MainWindow::chooseLanguage(ui::Language language) {
    settings_.language = ui::settingOf(language);
    state_.setLanguage(language);
    languageMenu_->tick(language);
    ui::useLanguage(language);
    applyLanguage(language);
}

// ---- keys ----

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool selector = watched == scaleBox || watched == leadGroupBox || watched == speedBox;
    const bool pageKey = key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp;
    const bool arrowKey = key->key() == Qt::Key_Right || key->key() == Qt::Key_Left;
    // Buttons take arrows for moving the focus; Forward and Back leave them to the pages.
    const bool pageButton = watched == Forward || watched == Back;
    if (!pageKey && !(arrowKey && !selector && (watched == this || pageButton)))
        return QMainWindow::eventFilter(watched, event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return QMainWindow::eventFilter(watched, event);
    const bool onward = key->key() == Qt::Key_PageDown || key->key() == Qt::Key_Right;
    QPushButton* button = onward ? Forward : Back;
    // Paging keys act like the button and only when it could be clicked; a selector never takes
    // them.
    if (button->isVisible() && button->isEnabled())
        onward ? forward() : back();
    return true;
}

// ---- help ----

void MainWindow::showKeys() {
    messages().show(say(QT_TR_NOOP("Ctrl+O — картотека\n"
                                   "Ctrl+I — импорт из файла\n"
                                   "Ctrl+P — печать\n"
                                   "PageDown, → — следующая страница\n"
                                   "PageUp, ← — предыдущая страница\n"
                                   "Циркуль: при просмотре тяните по кривой левой кнопкой мыши — "
                                   "интервал (мс), ЧСС и амплитуда (мВ)\n"
                                   "F1 — эта справка")),
                    say(QT_TR_NOOP("Клавиши и мышь")));
}

void MainWindow::showAbout() {
    messages().show(say(QT_TR_NOOP("Velkard %1\n"
                                   "Программа электрокардиографа: запись, просмотр, измерение и "
                                   "печать ЭКГ.\n"
                                   "Свободная программа под лицензией GNU GPL версии 3 или более "
                                   "поздней; без каких-либо гарантий."))
                        .arg(QStringLiteral(VELKARD_VERSION)),
                    say(QT_TR_NOOP("О программе")));
}

} // namespace velkard::app
