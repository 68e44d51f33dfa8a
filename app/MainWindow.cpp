// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/ParametersDialog.h"
#include "cardfile/CardFile.h"
#include "cardfile/ui/CardFileWindow.h"
#include "device/Link.h"
#include "filter/FilterSettingsFile.h"
#include "import/Decompress.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/HeartRateLabel.h"
#include "measure/ui/MeasurementsController.h"
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/MemoryWindow.h"
#include "print/ui/PrintCommands.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPageLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <system_error>

namespace velkard::app {

namespace {

constexpr int kPanelHeight = 30;
// The watchdog decision is polled; a read that has waited 1000 ms is caught within this period.
constexpr int kWatchdogPollMs = 50;

struct Caption {
    const char* name;
    const char* russian;
    const char* english;
};

// The main window's captions, applied in this order: menus, then buttons, then labels. The scale
// and speed items come from the display library's tables.
constexpr Caption kMenuCaptions[] = {
    {"patientMenu", "Пациент", "Patient"},
    {"setupMenu", "Настройка", "Setup"},
    {"exitAction", "Выход", "Exit"},
    {"cardFileAction", "Картотека", "Card file"},
    {"memoryAction", "Память", "Memory"},
    {"importAction", "Импорт из файла", "Import from the file"},
    {"printSetupAction", "Настройка принтера", "Print setup"},
    {"printAction", "Печать", "Print"},
    {"parametersAction", "Параметры", "Parameters"},
    {"languageMenu", "Язык", "Language"},
};
constexpr Caption kControlCaptions[] = {
    {"Start", "Старт", "Start"},
    {"Stop", "Стоп", "Stop"},
    {"Forward", "Вперед", "Forvard"},
    {"Back", "Назад", "Back"},
    {"scaleLabel", "Масштаб", "  Scale"},
    {"leadGroupLabel", "Отведения", "    Leads"},
    {"speedLabel", "Скорость", "   Speed"},
    {"secondsLabel", "Длительность ЭКГ,с", "    Duration ECG,s"},
};

QString text(const Caption& c, bool russian) {
    return QString::fromUtf8(russian ? c.russian : c.english);
}

QString fromPath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

} // namespace

// The form's own canvas: shows the display surface. A repaint that the window did not ask for
// (exposure, resize) runs the paint handler first, as the form's OnPaint does.
class DrawingArea : public QWidget {
public:
    explicit DrawingArea(MainWindow* owner) : QWidget(owner), owner_(owner) {
        setObjectName("DrawingArea");
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    // Shows what the window has just drawn, without running the paint handler.
    void showSurface() {
        ownUpdate_ = true;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!ownUpdate_ && !insidePanels(event->rect()))
            owner_->runPaintHandler();
        ownUpdate_ = false;
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.drawImage(QPoint(0, 0), owner_->display_->surface());
    }
    void resizeEvent(QResizeEvent*) override { owner_->windowResized(); }

private:
    bool insidePanels(const QRect& r) const {
        return owner_->toolPanel->geometry().contains(r) ||
               owner_->buttonPanel->geometry().contains(r);
    }
    MainWindow* owner_;
    bool ownUpdate_ = false;
};

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), seams_{options.messages ? *options.messages : ownMessages_,
                                  options.dialogs ? *options.dialogs : ownDialogs_},
      options_(std::move(options)) {
    // Program start: the view state and the window take their initial state.

    workDir_ = options_.workDir.empty() ? std::filesystem::current_path() : options_.workDir;
    display_ =
        std::make_unique<display::Display>(options_.caps ? *options_.caps : display::screenCaps());
    buildForm();
    buildMenu();
    // Keys a focused child leaves unhandled reach the window's filter on their way up.
    installEventFilter(this);
    for (QWidget* control :
         std::initializer_list<QWidget*>{scaleBox, leadGroupBox, speedBox, Forward, Back})
        control->installEventFilter(this);

    // Printers: without one, Print writes a PDF file and Print setup says so.
    printerExists_ = options_.printerExists ? *options_.printerExists
                                            : !QPrinterInfo::availablePrinters().isEmpty();
    state_.importView = false;
    printAction->setEnabled(false);

    std::error_code ec;
    std::filesystem::create_directory(workDir_ / "temp", ec); // a failure shows up at download

    auto loaded = signal::loadSettings(workDir_);
    if (!loaded) {
        startupError_ = loaded.message.empty() ? std::string("Cannot read the settings file ") +
                                                     (workDir_ / signal::kSettingsFileName).string()
                                               : loaded.message;
        return;
    }
    settings_ = loaded.value.settings;
    settings_.scaleIndex = display::clampScale(settings_.scaleIndex);
    settings_.groupIndex = display::clampGroup(settings_.groupIndex);
    settings_.speedIndex = display::clampSpeed(settings_.speedIndex);
    {
        const QSignalBlocker b1(scaleBox), b2(leadGroupBox), b3(speedBox);
        leadGroupBox->setCurrentIndex(settings_.groupIndex);
    }

    for (QPushButton* b : {Start, Stop, Forward, Back}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    secondsEdit->setVisible(false);
    secondsLabel->setVisible(false);

    display_->setChoices(settings_.scaleIndex, settings_.groupIndex, settings_.speedIndex);
    display_->computeVerticalGeometry();
    display_->computeHorizontalGeometry(printerPageWidth());

    const bool russian = settings_.language == 0;
    state_.russian = russian;
    russianAction->setChecked(russian);
    englishAction->setChecked(!russian);
    loadFilters();
    applyLanguage(russian);

    // The window starts maximised: lay it out at the screen's full size before the first grid
    // (tests that inject the screen capabilities size the window themselves).
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !options_.caps)
        resize(screen->availableGeometry().size());
    windowResized();
    display_->drawAndCopyGrid();
    area_->showSurface();
    // Made once, hidden; every memory connection shows it modally.
    deviceFileList_ = std::make_unique<memory::ui::DeviceFileList>(state_, seams_.messages);
    deviceFileList_->hide();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildForm() {
    setObjectName("MainWindow");
    setWindowTitle("Ventrix");
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    area_ = new DrawingArea(this);
    setCentralWidget(area_);

    toolPanel = new QFrame(area_);
    toolPanel->setObjectName("toolPanel");
    toolPanel->setAutoFillBackground(true);
    toolPanel->setFrameShape(QFrame::Panel);
    toolPanel->setPalette(QApplication::palette());
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
    scaleLabel = makeLabel(toolPanel, "scaleLabel");
    scaleBox = makeCombo(toolPanel, "scaleBox");
    leadGroupLabel = makeLabel(toolPanel, "leadGroupLabel");
    leadGroupBox = makeCombo(toolPanel, "leadGroupBox");
    speedLabel = makeLabel(toolPanel, "speedLabel");
    speedBox = makeCombo(toolPanel, "speedBox");
    secondsLabel = makeLabel(toolPanel, "secondsLabel");
    secondsEdit = new QLineEdit(toolPanel);
    secondsEdit->setObjectName("secondsEdit");
    secondsEdit->setReadOnly(true);
    secondsEdit->setMaximumWidth(80);
    filterLabel = makeLabel(toolPanel, "filterLabel");
    for (int i = 0; i < display::kScaleCount; ++i)
        scaleBox->addItem(QString::fromUtf8(display::scaleItem(i, true)));
    for (const char* item : display::kGroupItems)
        leadGroupBox->addItem(QString::fromUtf8(item));
    for (int i = 0; i < display::kSpeedCount; ++i)
        speedBox->addItem(QString::fromUtf8(display::speedItem(i, true)));
    auto* top = new QHBoxLayout(toolPanel);
    top->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{scaleLabel, scaleBox, leadGroupLabel,
                                                      leadGroupBox, speedLabel, speedBox,
                                                      secondsLabel, secondsEdit, filterLabel})
        top->addWidget(w);
    measurements_ = new measure::ui::MeasurementsController(toolPanel, area_, this);
    measurements_->calipers()->setRepaint([this] { area_->showSurface(); });
    top->addWidget(measurements_->heartRateLabel());
    top->addStretch();

    buttonPanel = new QFrame(area_);
    buttonPanel->setObjectName("buttonPanel");
    buttonPanel->setAutoFillBackground(true);
    buttonPanel->setFrameShape(QFrame::Panel);
    buttonPanel->setPalette(QApplication::palette());
    auto makeButton = [](QWidget* parent, const char* name) {
        auto* b = new QPushButton(parent);
        b->setObjectName(name);
        return b;
    };
    // Start and Back share the first place, Stop and Forward the second; one pair is shown.
    Start = makeButton(buttonPanel, "Start");
    Back = makeButton(buttonPanel, "Back");
    Stop = makeButton(buttonPanel, "Stop");
    Forward = makeButton(buttonPanel, "Forward");
    auto* bottom = new QHBoxLayout(buttonPanel);
    bottom->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{Start, Back, Stop, Forward})
        bottom->addWidget(w);
    bottom->addStretch();

    handOverTimer = new QTimer(this);
    handOverTimer->setObjectName("handOverTimer");
    handOverTimer->setInterval(1);
    secondsTimer = new QTimer(this);
    secondsTimer->setObjectName("secondsTimer");
    secondsTimer->setInterval(940);
    watchdogTimer = new QTimer(this);
    watchdogTimer->setObjectName("watchdogTimer");
    watchdogTimer->setInterval(kWatchdogPollMs);

    connect(scaleBox, &QComboBox::activated, this, &MainWindow::applyScale);
    connect(leadGroupBox, &QComboBox::activated, this, &MainWindow::applyLeadGroup);
    connect(speedBox, &QComboBox::activated, this, &MainWindow::applySpeedAndRedraw);
    connect(Start, &QPushButton::clicked, this, &MainWindow::start);
    connect(Stop, &QPushButton::clicked, this, &MainWindow::stop);
    connect(Forward, &QPushButton::clicked, this, &MainWindow::forward);
    connect(Back, &QPushButton::clicked, this, &MainWindow::back);
    connect(handOverTimer, &QTimer::timeout, this, &MainWindow::handOverBlocks);
    connect(secondsTimer, &QTimer::timeout, this, &MainWindow::countSecond);
    connect(watchdogTimer, &QTimer::timeout, this, &MainWindow::checkWatchdog);
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

    patientMenu = bar->addMenu(QString());
    patientMenu->setObjectName("patientMenu");
    cardFileAction = makeAction("cardFileAction", &MainWindow::openCardFile);
    cardFileSeparator = makeSeparator("cardFileSeparator");
    memoryAction = makeAction("memoryAction", &MainWindow::openMemory);
    memorySeparator = makeSeparator("memorySeparator");
    importAction = makeAction("importAction", &MainWindow::importFromFile);
    importSeparator = makeSeparator("importSeparator");
    printSetupAction = makeAction("printSetupAction", &MainWindow::printSetup);
    printAction = makeAction("printAction", &MainWindow::printRecording);
    patientMenu->addActions({cardFileAction, cardFileSeparator, memoryAction, memorySeparator,
                             importAction, importSeparator, printSetupAction, printAction,
                             measurements_->showAction()});

    setupMenu = bar->addMenu(QString());
    setupMenu->setObjectName("setupMenu");
    parametersAction = makeAction("parametersAction", &MainWindow::openParameters);
    setupMenu->addAction(parametersAction);

    languageMenu = bar->addMenu(QString());
    languageMenu->setObjectName("languageMenu");
    russianAction = makeAction("russianAction", &MainWindow::chooseRussian);
    russianAction->setText(QString::fromUtf8("Русский"));
    russianAction->setCheckable(true);
    englishAction = makeAction("englishAction", &MainWindow::chooseEnglish);
    englishAction->setText("English");
    englishAction->setCheckable(true);
    languageMenu->addActions({russianAction, englishAction});

    exitAction = makeAction("exitAction", &MainWindow::exitProgram);
    bar->addAction(exitAction);
}

void MainWindow::applyLanguage(bool russian) {
    qtLanguage_.apply(russian);
    for (const auto& c : kMenuCaptions) {
        const QString name = QString::fromUtf8(c.name);
        if (auto* menu = findChild<QMenu*>(name))
            menu->setTitle(text(c, russian));
        else if (auto* action = findChild<QAction*>(name))
            action->setText(text(c, russian));
    }
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
            button->setText(text(c, russian));
        else if (auto* label = findChild<QLabel*>(name))
            label->setText(text(c, russian));
    }
    measurements_->applyLanguage(russian);
    filterLabel->setText(QString::fromStdString(filter::describe(state_.filters, russian)));
    refreshTitle();
}

void MainWindow::loadFilters() {
    const filter::FilterSettingsResult loaded =
        filter::loadFilterSettings(workDir_, state_.russian);
    state_.filters = loaded.value.settings;
    if (!loaded)
        messages().show(QString::fromStdString(loaded.message), ui::errorCaption(state_.russian));
    display_->setFilters(state_.filters);
}

void MainWindow::applyFilters(const filter::FilterSettings& before) {
    if (state_.filters == before)
        return;
    const Status saved = filter::saveFilterSettings(workDir_, state_.filters, state_.russian);
    if (!saved)
        messages().show(QString::fromStdString(saved.message), ui::errorCaption(state_.russian));
    display_->setFilters(state_.filters);
    filterLabel->setText(QString::fromStdString(filter::describe(state_.filters, state_.russian)));
}

void MainWindow::refreshTitle() {
    // Whose ECG is shown: the patient and the recording, the imported file, or the live sweep.
    QString title = QStringLiteral("Ventrix");
    const auto& sel = state_.selection;
    if (state_.importView && !importedFileName_.isEmpty()) {
        title += QStringLiteral(" — ") + importedFileName_;
    } else if (state_.cardReview || (state_.rhythmogram && importedFileName_.isEmpty())) {
        QString who = sel.patientName.trimmed();
        if (!sel.patientBirthDate.trimmed().isEmpty())
            who += QStringLiteral(", ") + sel.patientBirthDate.trimmed();
        title += QStringLiteral(" — ") + who + QStringLiteral(" — ") +
                 (sel.entryDate.trimmed() + QLatin1Char(' ') + sel.entryTime.trimmed()).trimmed();
    } else if (recordingStarted_ || sel.writeRequest) {
        title += QStringLiteral(" — ") +
                 (state_.russian ? QString::fromUtf8("мониторинг") : QStringLiteral("live"));
        if (!sel.patientName.trimmed().isEmpty())
            title += QStringLiteral(" — ") + sel.patientName.trimmed();
    }
    setWindowTitle(title);
}

void MainWindow::refreshSelectors() {
    // The boxes show what is drawn; while a rhythmogram is shown they cannot change it.
    const QSignalBlocker b1(scaleBox), b2(leadGroupBox), b3(speedBox);
    const auto& g = display_->geometry();
    scaleBox->setCurrentIndex(g.scaleIndex);
    leadGroupBox->setCurrentIndex(g.groupIndex);
    speedBox->setCurrentIndex(g.speedIndex);
    for (QComboBox* box : {scaleBox, leadGroupBox, speedBox})
        box->setEnabled(!state_.rhythmogram);
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

// ---- view state shared with the display ----

void MainWindow::pushView() {
    auto& v = display_->view();
    const auto& f = state_;
    v.cardReview = f.cardReview;
    v.importView = f.importView;
    v.rhythmogram = f.rhythmogram;
    v.kindA2 = f.kindA2;
    v.patientChosen = state_.selection.writeRequest;
}

void MainWindow::pullView() {
    const auto& v = display_->view();
    auto& f = state_;
    f.cardReview = v.cardReview;
    f.importView = v.importView;
    f.rhythmogram = v.rhythmogram;
    f.kindA2 = v.kindA2;
}

void MainWindow::refreshButtons() {
    Forward->setEnabled(display_->forwardEnabled());
    Back->setEnabled(display_->backEnabled());
}

void MainWindow::refreshFromDisplay() {
    refreshButtons();
    refreshSelectors();
    refreshTitle();
    area_->showSurface();
    updateMeasurements();
}

void MainWindow::updateMeasurements() {
    const bool live =
        acquisition_ && (acquisition_->state() == device::AcquisitionState::Monitoring ||
                         acquisition_->state() == device::AcquisitionState::Recording);
    if (live)
        return;
    if (!(state_.cardReview || state_.importView) || state_.rhythmogram) {
        measurements_->nothingShown();
        return;
    }
    const display::Geometry& g = display_->geometry();
    measure::ui::ReviewPage page;
    page.recording = display_->recording();
    page.firstRecord = display_->pageStartOffset() / signal::kRecordBytes;
    page.seconds = display_->secondsPerScreen();
    page.msPerPixel = g.screenSamplesPerColumn * 1000.0 / signal::kRecordsPerSecond;
    page.mvPerPixel = 1.0 / (g.gain * signal::kUnitsPerMillivolt);
    measurements_->reviewPage(page);
}

void MainWindow::layOutPanels() {
    const int w = area_->width();
    const int h = area_->height();
    toolPanel->setGeometry(0, 0, w, kPanelHeight);
    buttonPanel->setGeometry(0, std::max(0, h - kPanelHeight), w, kPanelHeight);
    measurements_->calipers()->setMargins(kPanelHeight, kPanelHeight);
    toolPanel->raise();
    buttonPanel->raise();
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
    const display::ViewFlags& v = display_->view();
    if (!v.cardReview && !v.importView && !v.rhythmogram && !v.patientChosen)
        display_->drawAndCopyGrid();
    area_->showSurface();
}

void MainWindow::runPaintHandler() {
    pushView();
    display_->setSpeed(speedBox->currentIndex());
    pullView();
    refreshButtons();
    updateMeasurements();
}

void MainWindow::showEmptyState() {
    for (QPushButton* b : {Start, Stop, Forward, Back}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    secondsEdit->setVisible(false);
    secondsEdit->clear();
    secondsLabel->setVisible(false);
    printAction->setEnabled(false);
    display_->clearClientArea();
    area_->showSurface();
    measurements_->nothingShown();
}

void MainWindow::showEvents(const std::vector<device::Event>& events) {
    for (const auto& e : events) {
        const device::EventMessage shown = device::eventMessage(e, state_.russian);
        const QString caption = shown.caption.empty() ? QGuiApplication::applicationName()
                                                      : QString::fromStdString(shown.caption);
        messages().show(QString::fromStdString(shown.text), caption);
        // Without a reader thread the program cannot go on: it ends, as after Exit.
        if (e.kind == device::EventKind::ThreadError)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// ---- selectors ----

void MainWindow::applyScale() {
    pushView();
    display_->setScale(scaleBox->currentIndex());
    pullView();
    refreshFromDisplay();
}

void MainWindow::applyLeadGroup() {
    pushView();
    display_->setLeadGroup(leadGroupBox->currentIndex());
    pullView();
    refreshFromDisplay();
}

void MainWindow::applySpeedAndRedraw() {
    pushView();
    display_->setSpeed(speedBox->currentIndex());
    pullView();
    refreshFromDisplay();
}

void MainWindow::forward() {
    pushView();
    display_->forward();
    pullView();
    refreshFromDisplay();
}

void MainWindow::back() {
    pushView();
    display_->back();
    pullView();
    refreshFromDisplay();
}

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

// ---- language ----

void MainWindow::chooseRussian() {
    settings_.language = 0;
    state_.russian = true;
    russianAction->setChecked(true);
    englishAction->setChecked(false);
    applyLanguage(true);
}

void MainWindow::chooseEnglish() {
    settings_.language = 1;
    state_.russian = false;
    russianAction->setChecked(false);
    englishAction->setChecked(true);
    applyLanguage(false);
}

// ---- parameters ----

void MainWindow::openParameters() {
    display_->clearClientArea();
    area_->showSurface();
    if (!state_.cardReview)
        printAction->setEnabled(false);
    secondsEdit->setVisible(false);
    secondsLabel->setVisible(false);
    const filter::FilterSettings before = state_.filters;
    {
        ParametersDialog dialog(state_, this);
        dialog.applyLanguage(state_.russian);
        seams_.dialogs.run(dialog);
    }
    applyFilters(before);
    // The window repaints when the dialog has gone.
    applySpeedAndRedraw();
}

// ---- commands whose windows live elsewhere ----

void MainWindow::openMemory() {
    endAcquisitionIfActive(); // the memory connection needs the instrument to itself
    display_->clearClientArea();
    area_->showSurface();
    memory::ui::MemoryWindowSetup setup;
    setup.workDir = workDir_;
    setup.fileList = deviceFileList_.get();
    if (options_.linkFactory)
        setup.makeLink = options_.linkFactory;
    else
        setup.makeLink = [port = settings_.portName] { return device::makeLink(port); };
    memory::ui::openMemoryWindow(state_, seams_, std::move(setup), this, [this] {
        // Nothing is shown, recorded or imported after the memory window.
        state_.selection.writeRequest = false;
        state_.cardReview = false;
        state_.importView = false;
        pushView();
        showEmptyState();
    });
}

void MainWindow::printSetup() {
    print::ui::runPrintSetup(seams_, printerObject(), this, secondsEdit, secondsLabel,
                             state_.russian);
}

void MainWindow::printRecording() {
    const auto& sel = state_.selection;
    const auto& g = display_->geometry();
    print::ui::PrintRequest request;
    request.parent = this;
    request.printer = printerObject();
    // The report starts at the shown page's first second (the dialog lets the user change it).
    state_.printRange.reportFromText = QString::number(display_->pageFirstSecond());
    request.durationEdit = secondsEdit;
    request.durationLabel = secondsLabel;
    // The buffer holds an imported recording until the card file or an acquisition replaces it.
    const bool imported = !importedFileName_.isEmpty();
    request.recordingShown = state_.cardReview || imported;
    request.recording = &buffer_;
    request.durationSeconds = sel.entryDuration;
    if (imported) {
        request.durationSeconds = importedSeconds_;
        request.importedFileName = importedFileName_;
    }
    request.groupIndex = g.groupIndex;
    request.scaleIndex = g.scaleIndex;
    request.speedIndex = g.speedIndex;
    request.speedText = speedBox->currentText();
    request.scaleText = scaleBox->currentText();
    request.patientName = sel.patientName;
    request.birthDate = sel.patientBirthDate;
    request.date = sel.entryDate;
    request.time = sel.entryTime;
    print::ui::runPrint(state_, seams_, request);
}

QPrinter* MainWindow::printerObject() {
    if (!printerExists_)
        return nullptr;
    if (options_.printer)
        return options_.printer;
    if (!installedPrinter_)
        installedPrinter_ = print::ui::makeInstalledPrinter();
    return installedPrinter_.get();
}

// ---- settings and the end of the program ----

signal::Settings MainWindow::currentSettings() const {
    signal::Settings s = settings_;
    s.scaleText = scaleBox->currentText().toStdString();
    s.groupText = leadGroupBox->currentText().toStdString();
    s.speedText = speedBox->currentText().toStdString();
    s.scaleIndex = display_->geometry().scaleIndex;
    s.groupIndex = display_->geometry().groupIndex;
    s.speedIndex = display_->geometry().speedIndex;
    return s;
}

bool MainWindow::writeSettings() {
    auto status = signal::saveSettings(workDir_, currentSettings());
    if (!status) {
        messages().show(QString::fromStdString(status.message), ui::errorCaption(state_.russian));
        return false;
    }
    return true;
}

bool MainWindow::shutDown() {
    secondsTimer->stop();
    watchdogTimer->stop();
    handOverTimer->stop();
    if (acquisition_) {
        const bool closed = acquisition_->exit();
        showEvents(acquisition_->takeEvents());
        if (!closed)
            return false;
    }
    // Exit during a recording asks nothing and makes no entry; what was recorded stays on disk
    // under a name no recording or cleanup takes.
    std::error_code ec;
    if (recordingStarted_ && fileCreated_ && pendingRecording_.active() &&
        std::filesystem::file_size(pendingRecording_.path(), ec) > 0 && !ec)
        keepUnfiledRecording();
    pendingRecording_.discard();
    recordingStarted_ = false;
    return true;
}

void MainWindow::exitProgram() {
    if (!shutDown())
        return;
    if (!writeSettings())
        return; // the settings could not be written: the program stays open
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (startedOk() && shutDown())
        writeSettings();
    event->accept();
}

// ---- card file ----

void MainWindow::openCardFile() {
    endAcquisitionIfActive();
    auto& sel = state_.selection;
    auto& f = state_;
    sel.writeRequest = false;
    f.cardReview = false;
    f.importView = false;
    importedFileName_.clear();

    secondsEdit->setVisible(false);
    secondsLabel->setVisible(false);
    Start->setVisible(false);
    Stop->setVisible(false);
    secondsEdit->clear();
    display_->clearClientArea();
    area_->showSurface();

    {
        cardfile::ui::CardFileWindow window(state_, seams_, workDir_, this);
        window.applyLanguage(f.russian);
        seams_.dialogs.run(window);
    }
    recordingStarted_ = false;
    refreshTitle(); // what the card-file window chose, or nothing

    if (sel.writeRequest) {
        printAction->setEnabled(false);
        secondsEdit->setVisible(true);
        secondsLabel->setVisible(true);
        Start->setVisible(true);
        Stop->setVisible(true);
        Start->setEnabled(true);
        Stop->setEnabled(true);
        Forward->setVisible(false);
        Back->setVisible(false);
        pushView();
        display_->drawAndCopyGrid();
        area_->showSurface();
        startMonitoring();
    } else if (f.cardReview) {
        printAction->setEnabled(true);
        Start->setVisible(false);
        Stop->setVisible(false);
        Forward->setVisible(true);
        Back->setVisible(true);
        pushView();
        display_->drawAndCopyGrid();
        area_->showSurface();
        openCardRecording();
    } else if (f.rhythmogram) {
        printAction->setEnabled(false);
        Forward->setVisible(true);
        Back->setVisible(true);
        pushView();
        auto opened = display_->openRhythmogram(sel.recordingPath.toStdString());
        pullView();
        if (!opened)
            messages().show(QString::fromStdString(opened.message), "Error");
        refreshFromDisplay();
    }
}

void MainWindow::openCardRecording() {
    importedFileName_.clear();
    const auto& sel = state_.selection;
    auto status = signal::loadRecording(sel.recordingPath.toStdString(), buffer_);
    if (!status) {
        messages().show(QString::fromUtf8(signal::kRecordingOpenError), "Error");
        return;
    }
    pushView();
    display_->openRecording(buffer_.bytes, sel.entryDuration);
    pullView();
    refreshFromDisplay();
}

// ---- acquisition ----

void MainWindow::startMonitoring() {
    Back->setEnabled(false);
    Forward->setEnabled(false);
    state_.cardReview = false;
    state_.importView = false;
    importedFileName_.clear();
    if (!acquisition_) {
        if (options_.linkFactory)
            acquisition_ = std::make_unique<device::Acquisition>(options_.linkFactory);
        else
            acquisition_ = std::make_unique<device::Acquisition>(settings_.portName);
    }
    pushView();
    const bool started = acquisition_->startMonitoring();
    showEvents(acquisition_->takeEvents());
    // Without an instrument the window keeps the plain grid the card-file command drew: the lead
    // labels, the calibration mark and the sweep belong to a running stream.
    if (!started)
        return;
    // Which way the instrument is reached (the simulated one, a tty, or USB through libftdi).
    statusBar()->showMessage(QString::fromUtf8(state_.tr2("Прибор: ", "Instrument: ")) +
                             QString::fromStdString(acquisition_->linkDescription()));
    display_->prepareLiveDisplay();
    area_->showSurface();
    measurements_->liveStarted();
    handOverTimer->start();
    watchdogTimer->start();
}

void MainWindow::endAcquisitionIfActive() {
    if (!acquisition_)
        return;
    const auto state = acquisition_->state();
    if (state == device::AcquisitionState::Monitoring ||
        state == device::AcquisitionState::Recording || state == device::AcquisitionState::Halted)
        stop();
}

void MainWindow::handOverBlocks() {
    if (!acquisition_)
        return;
    if (handingOver_)
        return;
    handingOver_ = true;
    auto tick = acquisition_->handOverBlocks();
    for (const auto& block : tick.blocks) {
        display_->drawLiveBlock(block);
        measurements_->liveBlock(block);
    }
    if (!tick.blocks.empty())
        area_->showSurface();
    showEvents(tick.events);
    handingOver_ = false;
}

void MainWindow::countSecond() {
    ++seconds_;
    secondsEdit->setText(QString::number(seconds_));
}

void MainWindow::checkWatchdog() {
    if (!acquisition_)
        return;
    if (!acquisition_->watchdogExpired())
        return;
    // No byte for a second: the engine has shut the link and closed the file. Stop finishes.
    watchdogTimer->stop();
    handOverTimer->stop();
    showEvents(acquisition_->takeEvents());
}

void MainWindow::start() {
    secondsEdit->setVisible(true);
    secondsLabel->setVisible(true);
    seconds_ = 0;
    recordingStarted_ = true;
    fileCreated_ = false;
    secondsTimer->start();
    secondsEdit->setText("1");
    if (!acquisition_)
        return;
    // The recording goes into a private file and takes its number only at Save, under the card
    // file's lock: a Store or another workstation meanwhile cannot take or overwrite it.
    if (auto created = cardfile::CardFile(workDir_).createPendingRecording(pendingRecording_);
        !created) {
        std::fprintf(stderr, "%s\n", created.message.c_str());
        if (created.code == ErrorCode::Busy)
            messages().show(state_.tr2(cardfile::kBusyTextRussian, cardfile::kBusyTextEnglish),
                            ui::errorCaption(state_.russian));
        else
            messages().show(QString::fromUtf8("Ошибка создания файла для записи ЭКГ"), "Error");
        return;
    }
    if (!acquisition_->startRecording(pendingRecording_.path())) {
        pendingRecording_.discard();
        showEvents(acquisition_->takeEvents());
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    startTime_ = now.toString("hh:mm:ss");
    startDate_ = now.toString("dd.MM.yyyy");
    fileCreated_ = true;
    Start->setEnabled(false);
    Stop->setEnabled(true);
}

void MainWindow::stop() {
    watchdogTimer->stop();
    secondsTimer->stop();
    Start->setEnabled(false);
    handOverTimer->stop();
    if (acquisition_) {
        acquisition_->stop();
        showEvents(acquisition_->takeEvents());
    }
    Stop->setEnabled(false);
    if (recordingStarted_)
        saveRecording();
    recordingStarted_ = false;
}

void MainWindow::saveRecording() {
    auto& sel = state_.selection;
    const std::filesystem::path file = pendingRecording_.path();
    std::error_code ec;
    // Nothing was recorded when the file could not be created, or no whole block arrived (no
    // instrument, Stop within half a second): there is nothing to keep and no entry to make.
    if (!fileCreated_ || !pendingRecording_.active() || !std::filesystem::exists(file, ec))
        return;
    if (std::filesystem::file_size(file, ec) == 0 && !ec) {
        pendingRecording_.discard();
        return;
    }
    if (!messages().ask(state_.tr2("Сохранить данные?", "To save the data?"), QString())) {
        pendingRecording_.discard();
        return;
    }
    cardfile::CardFile cardFile(workDir_);
    const std::string id = sel.patientId.toStdString();
    auto filed = cardFile.fileRecordingFile(
        id, file, startDate_.toStdString(), startTime_.toStdString(),
        cardfile::EntryDuration::ofSeconds(seconds_), cardfile::kKindPlain);
    if (filed) {
        sel.recordNumber = filed.value;
        sel.recordingPath = fromPath(cardFile.recordingPath(id, filed.value));
        pendingRecording_.discard();
        return;
    }
    std::fprintf(stderr, "%s\n", filed.message.c_str());
    if (filed.code == ErrorCode::Busy)
        messages().show(state_.tr2(cardfile::kBusyTextRussian, cardfile::kBusyTextEnglish),
                        ui::errorCaption(state_.russian));
    else
        messages().show(QString::fromUtf8("Ошибка открытия файла с данными об ЭКГ"),
                        QString::fromUtf8("Ошибка"));
    const QString where = keepUnfiledRecording();
    messages().show(state_.tr2("ЭКГ не внесена в архив пациента и сохранена в файле ",
                               "The ECG is not in the patient's archive; it is kept in the file ") +
                        where,
                    ui::errorCaption(state_.russian));
}

QString MainWindow::keepUnfiledRecording() {
    // Not filed: the recording moves to a name that no recording and no cleanup takes.
    const std::filesystem::path file = pendingRecording_.path();
    const QString trimmedId = state_.selection.patientId.trimmed();
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    std::error_code ec;
    std::filesystem::path kept =
        file.parent_path() / (trimmedId + "_unfiled_" + stamp + ".dat").toStdString();
    for (int n = 2; std::filesystem::exists(kept, ec); ++n)
        kept = file.parent_path() /
               (trimmedId + "_unfiled_" + stamp + "_" + QString::number(n) + ".dat").toStdString();
    std::filesystem::rename(file, kept, ec);
    if (ec)
        return fromPath(file);
    pendingRecording_.discard(); // the file has moved: nothing is left to delete
    return fromPath(kept);
}

// ---- import ----

void MainWindow::importFromFile() {
    auto& f = state_;
    f.importView = true;
    QString chosen;
    {
        QFileDialog dialog(this, QString(), fromPath(workDir_), "All files(*)");
        dialog.setObjectName("importFileDialog");
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (seams_.dialogs.run(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front();
    }
    QDir::setCurrent(fromPath(workDir_));
    if (!chosen.isEmpty())
        importFile(chosen);
}

void MainWindow::importFile(const QString& chosen) {
    auto& f = state_;
    f.importView = true;
    endAcquisitionIfActive();

    // The file is decompressed and converted in memory: no intermediate file is written.
    signal::RecordingBuffer imported;
    auto result = import::importFile(chosen.toStdString(), imported);
    if (!result) {
        if (result.code == ErrorCode::CannotOpenSource)
            messages().show(QString::fromUtf8(signal::kRecordingOpenError), "Error");
        else
            messages().show(QString::fromStdString(result.message),
                            ui::errorCaption(state_.russian));
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return;
    }
    buffer_ = std::move(imported);
    importedSeconds_ = static_cast<int>(result.value.durationSeconds);
    importedFileName_ = QFileInfo(chosen).fileName();
    const bool rhythm = result.value.kind == signal::RecordingKind::Rhythmogram;
    f.kindA2 = result.value.kind == signal::RecordingKind::A2;
    f.rhythmogram = rhythm;
    if (rhythm)
        f.cardReview = false;

    secondsEdit->setVisible(false);
    secondsLabel->setVisible(false);
    Start->setVisible(false);
    Stop->setVisible(false);
    secondsEdit->clear();
    recordingStarted_ = false;
    Forward->setVisible(true);
    Back->setVisible(true);
    pushView();
    display_->clearClientArea();
    if (rhythm) {
        // A rhythmogram holds interval values, not samples: it gets the rhythmogram page.
        printAction->setEnabled(false);
        display_->openRhythmogramBytes(buffer_.bytes);
    } else {
        printAction->setEnabled(true);
        display_->drawAndCopyGrid();
        display_->openRecording(buffer_.bytes, static_cast<int>(result.value.durationSeconds));
    }
    pullView();
    f.importView = !rhythm;
    refreshFromDisplay();
}

} // namespace velkard::app
