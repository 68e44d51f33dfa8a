#include "app/Ventrix.h"

#include "app/Parameters.h"
#include "app/shared/AppFlags.h"
#include "app/shared/Messages.h"
#include "cardfile/CardFile.h"
#include "cardfile/ui/Patient.h"
#include "cardfile/ui/Selection.h"
#include "device/Link.h"
#include "import/Decompress.h"
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/MemoryWindow.h"
#include "print/ui/PrintCommands.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
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
#include <QTimer>
#include <cstdio>
#include <system_error>

namespace velkard::app {

using ui::messages;
using ui::tr2;

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
    {"N1", "Пациент", "Patient"},
    {"N2", "Настройка", "Setup"},
    {"N12", "Выход", "Exit"},
    {"N5", "Картотека", "Card file"},
    {"N3", "Память", "Memory"},
    {"Importfromthefile1", "Импорт из файла", "Import from the file"},
    {"N9", "Настройка принтера", "Print setup"},
    {"N10", "Печать", "Print"},
    {"N4", "Параметры", "Parameters"},
    {"N7", "Язык", "Language"},
};
constexpr Caption kControlCaptions[] = {
    {"Start", "Старт", "Start"},        {"Stop", "Стоп", "Stop"},
    {"Forvard", "Вперед", "Forvard"},   {"Back", "Назад", "Back"},
    {"Label1", "Масштаб", "  Scale"},   {"Label2", "Отведения", "    Leads"},
    {"Label3", "Скорость", "   Speed"}, {"Label4", "Длительность ЭКГ,с", "    Duration ECG,s"},
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
    explicit DrawingArea(TVentrix* owner) : QWidget(owner), owner_(owner) {
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
        return owner_->Panel1->geometry().contains(r) || owner_->Panel2->geometry().contains(r);
    }
    TVentrix* owner_;
    bool ownUpdate_ = false;
};

TVentrix::TVentrix(VentrixOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    // Program start: the process-wide values take their initial state.
    ui::flags() = ui::AppFlags{};
    cardfile::ui::selection() = cardfile::ui::Selection{};

    workDir_ = options_.workDir.empty() ? std::filesystem::current_path() : options_.workDir;
    display_ =
        std::make_unique<display::Display>(options_.caps ? *options_.caps : display::screenCaps());
    buildForm();
    buildMenu();

    // Printers: Print setup and Print need one.
    printerExists_ = options_.printerExists ? *options_.printerExists
                                            : !QPrinterInfo::availablePrinters().isEmpty();
    if (!printerExists_) {
        N9->setEnabled(false);
        N10->setEnabled(false);
    }
    ui::flags().importView = false;
    N10->setEnabled(false);

    std::error_code ec;
    std::filesystem::create_directory(workDir_ / "temp", ec); // a failure shows up at download

    auto loaded = signal::loadSettings(workDir_);
    if (!loaded) {
        startupError_ = loaded.message.empty() ? std::string("Cannot read the settings file ") +
                                                     (workDir_ / signal::kSettingsFileName).string()
                                               : loaded.message;
        return;
    }
    settings_ = loaded.settings;
    settings_.scaleIndex = display::clampScale(settings_.scaleIndex);
    settings_.groupIndex = display::clampGroup(settings_.groupIndex);
    settings_.speedIndex = display::clampSpeed(settings_.speedIndex);
    {
        const QSignalBlocker b1(ComboBox1), b2(ComboBox2), b3(ComboBox3);
        ComboBox2->setCurrentIndex(settings_.groupIndex);
    }

    for (QPushButton* b : {Start, Stop, Forvard, Back}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    Edit1->setVisible(false);
    Label4->setVisible(false);

    display_->setChoices(settings_.scaleIndex, settings_.groupIndex, settings_.speedIndex);
    display_->computeVerticalGeometry();
    display_->computeHorizontalGeometry(printerPageWidth());

    const bool russian = settings_.language == 0;
    ui::flags().russian = russian;
    N11->setChecked(russian);
    English1->setChecked(!russian);
    applyLanguage(russian);

    // The window starts maximised: lay it out at the screen's full size before the first grid
    // (tests that inject the screen capabilities size the window themselves).
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !options_.caps)
        resize(screen->availableGeometry().size());
    windowResized();
    display_->drawAndCopyGrid();
    area_->showSurface();
}

TVentrix::~TVentrix() = default;

void TVentrix::buildForm() {
    setObjectName("Ventrix");
    setWindowTitle("Ventrix");
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    area_ = new DrawingArea(this);
    setCentralWidget(area_);

    Panel1 = new QFrame(area_);
    Panel1->setObjectName("Panel1");
    Panel1->setAutoFillBackground(true);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setPalette(QApplication::palette());
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
    Label1 = makeLabel(Panel1, "Label1");
    ComboBox1 = makeCombo(Panel1, "ComboBox1");
    Label2 = makeLabel(Panel1, "Label2");
    ComboBox2 = makeCombo(Panel1, "ComboBox2");
    Label3 = makeLabel(Panel1, "Label3");
    ComboBox3 = makeCombo(Panel1, "ComboBox3");
    Label4 = makeLabel(Panel1, "Label4");
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit1->setMaximumWidth(80);
    for (int i = 0; i < display::kScaleCount; ++i)
        ComboBox1->addItem(QString::fromUtf8(display::scaleItem(i, true)));
    for (const char* item : display::kGroupItems)
        ComboBox2->addItem(QString::fromUtf8(item));
    for (int i = 0; i < display::kSpeedCount; ++i)
        ComboBox3->addItem(QString::fromUtf8(display::speedItem(i, true)));
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, ComboBox1, Label2, ComboBox2, Label3,
                                                      ComboBox3, Label4, Edit1})
        top->addWidget(w);
    top->addStretch();

    Panel2 = new QFrame(area_);
    Panel2->setObjectName("Panel2");
    Panel2->setAutoFillBackground(true);
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setPalette(QApplication::palette());
    auto makeButton = [](QWidget* parent, const char* name) {
        auto* b = new QPushButton(parent);
        b->setObjectName(name);
        return b;
    };
    // Start and Back share the first place, Stop and Forvard the second; one pair is shown.
    Start = makeButton(Panel2, "Start");
    Back = makeButton(Panel2, "Back");
    Stop = makeButton(Panel2, "Stop");
    Forvard = makeButton(Panel2, "Forvard");
    auto* bottom = new QHBoxLayout(Panel2);
    bottom->setContentsMargins(4, 2, 4, 2);
    for (QWidget* w : std::initializer_list<QWidget*>{Start, Back, Stop, Forvard})
        bottom->addWidget(w);
    bottom->addStretch();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(940);
    Timer3 = new QTimer(this);
    Timer3->setObjectName("Timer3");
    Timer3->setInterval(kWatchdogPollMs);

    connect(ComboBox1, &QComboBox::activated, this, &TVentrix::ComboBox1Change);
    connect(ComboBox2, &QComboBox::activated, this, &TVentrix::ComboBox2Change);
    connect(ComboBox3, &QComboBox::activated, this, &TVentrix::ComboBox3Change);
    connect(Start, &QPushButton::clicked, this, &TVentrix::StartClick);
    connect(Stop, &QPushButton::clicked, this, &TVentrix::StopClick);
    connect(Forvard, &QPushButton::clicked, this, &TVentrix::ForvardClick);
    connect(Back, &QPushButton::clicked, this, &TVentrix::BackClick);
    connect(Timer1, &QTimer::timeout, this, &TVentrix::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TVentrix::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TVentrix::Timer3Timer);
}

void TVentrix::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto makeAction = [this](const char* name, void (TVentrix::*slot)()) {
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

    N1 = bar->addMenu(QString());
    N1->setObjectName("N1");
    N5 = makeAction("N5", &TVentrix::N5Click);
    N6 = makeSeparator("N6");
    N3 = makeAction("N3", &TVentrix::N3Click);
    N8 = makeSeparator("N8");
    Importfromthefile1 = makeAction("Importfromthefile1", &TVentrix::Importfromthefile1Click);
    N13 = makeSeparator("N13");
    N9 = makeAction("N9", &TVentrix::N9Click);
    N10 = makeAction("N10", &TVentrix::N10Click);
    N1->addActions({N5, N6, N3, N8, Importfromthefile1, N13, N9, N10});

    N2 = bar->addMenu(QString());
    N2->setObjectName("N2");
    N4 = makeAction("N4", &TVentrix::N4Click);
    N2->addAction(N4);

    N7 = bar->addMenu(QString());
    N7->setObjectName("N7");
    N11 = makeAction("N11", &TVentrix::N11Click);
    N11->setText(QString::fromUtf8("Русский"));
    N11->setCheckable(true);
    English1 = makeAction("English1", &TVentrix::English1Click);
    English1->setText("English");
    English1->setCheckable(true);
    N7->addActions({N11, English1});

    N12 = makeAction("N12", &TVentrix::N12Click);
    bar->addAction(N12);
}

void TVentrix::applyLanguage(bool russian) {
    for (const auto& c : kMenuCaptions) {
        const QString name = QString::fromUtf8(c.name);
        if (auto* menu = findChild<QMenu*>(name))
            menu->setTitle(text(c, russian));
        else if (auto* action = findChild<QAction*>(name))
            action->setText(text(c, russian));
    }
    {
        const QSignalBlocker b1(ComboBox1), b3(ComboBox3);
        for (int i = 0; i < display::kScaleCount; ++i)
            ComboBox1->setItemText(i, QString::fromUtf8(display::scaleItem(i, russian)));
        for (int i = 0; i < display::kSpeedCount; ++i)
            ComboBox3->setItemText(i, QString::fromUtf8(display::speedItem(i, russian)));
        // Select again by the indices in use, so the boxes show the new language.
        ComboBox3->setCurrentIndex(display_->geometry().speedIndex);
        ComboBox1->setCurrentIndex(display_->geometry().scaleIndex);
    }
    for (const auto& c : kControlCaptions) {
        const QString name = QString::fromUtf8(c.name);
        if (auto* button = findChild<QPushButton*>(name))
            button->setText(text(c, russian));
        else if (auto* label = findChild<QLabel*>(name))
            label->setText(text(c, russian));
    }
}

std::optional<int> TVentrix::printerPageWidth() const {
    if (!printerExists_)
        return std::nullopt;
    QPrinter printer(QPrinter::HighResolution);
    const int width = printer.pageLayout().paintRectPixels(printer.resolution()).width();
    if (width <= 0)
        return std::nullopt;
    return width;
}

// ---- view state shared with the display ----

void TVentrix::pushView() {
    auto& v = display_->view();
    const auto& f = ui::flags();
    v.cardReview = f.cardReview;
    v.importView = f.importView;
    v.rhythmogram = f.rhythmogram;
    v.kindA2 = f.kindA2;
    v.patientChosen = cardfile::ui::selection().writeRequest;
}

void TVentrix::pullView() {
    const auto& v = display_->view();
    auto& f = ui::flags();
    f.cardReview = v.cardReview;
    f.importView = v.importView;
    f.rhythmogram = v.rhythmogram;
    f.kindA2 = v.kindA2;
}

void TVentrix::refreshButtons() {
    Forvard->setEnabled(display_->forvardEnabled());
    Back->setEnabled(display_->backEnabled());
}

void TVentrix::refreshFromDisplay() {
    refreshButtons();
    area_->showSurface();
}

void TVentrix::layOutPanels() {
    const int w = area_->width();
    const int h = area_->height();
    Panel1->setGeometry(0, 0, w, kPanelHeight);
    Panel2->setGeometry(0, std::max(0, h - kPanelHeight), w, kPanelHeight);
    Panel1->raise();
    Panel2->raise();
}

void TVentrix::windowResized() {
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

void TVentrix::runPaintHandler() {
    pushView();
    display_->comboBox3Change(ComboBox3->currentIndex());
    pullView();
    refreshButtons();
}

void TVentrix::showEmptyState() {
    for (QPushButton* b : {Start, Stop, Forvard, Back}) {
        b->setVisible(false);
        b->setEnabled(false);
    }
    Edit1->setVisible(false);
    Edit1->clear();
    Label4->setVisible(false);
    N10->setEnabled(false);
    display_->clearClientArea();
    area_->showSurface();
}

void TVentrix::showEvents(const std::vector<device::Event>& events) {
    for (const auto& e : events) {
        const QString caption = e.caption.empty() ? QGuiApplication::applicationName()
                                                  : QString::fromStdString(e.caption);
        messages().show(QString::fromStdString(e.text), caption);
        // Without a reader thread the program cannot go on: it ends, as after Exit.
        if (e.kind == device::EventKind::ThreadError)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// ---- selectors ----

void TVentrix::ComboBox1Change() {
    pushView();
    display_->comboBox1Change(ComboBox1->currentIndex());
    pullView();
    refreshFromDisplay();
}

void TVentrix::ComboBox2Change() {
    pushView();
    display_->comboBox2Change(ComboBox2->currentIndex());
    pullView();
    refreshFromDisplay();
}

void TVentrix::ComboBox3Change() {
    pushView();
    display_->comboBox3Change(ComboBox3->currentIndex());
    pullView();
    refreshFromDisplay();
}

void TVentrix::ForvardClick() {
    pushView();
    display_->forvardClick();
    pullView();
    refreshFromDisplay();
}

void TVentrix::BackClick() {
    pushView();
    display_->backClick();
    pullView();
    refreshFromDisplay();
}

// ---- language ----

void TVentrix::N11Click() {
    settings_.language = 0;
    ui::flags().russian = true;
    N11->setChecked(true);
    English1->setChecked(false);
    applyLanguage(true);
}

void TVentrix::English1Click() {
    settings_.language = 1;
    ui::flags().russian = false;
    N11->setChecked(false);
    English1->setChecked(true);
    applyLanguage(false);
}

// ---- parameters ----

void TVentrix::N4Click() {
    display_->clearClientArea();
    area_->showSurface();
    if (!ui::flags().cardReview)
        N10->setEnabled(false);
    Edit1->setVisible(false);
    Label4->setVisible(false);
    {
        TParameters dialog(this);
        dialog.applyLanguage(ui::flags().russian);
        ui::dialogs().run(dialog);
    }
    // The window repaints when the dialog has gone.
    ComboBox3Change();
}

// ---- commands whose windows live elsewhere ----

void TVentrix::N3Click() {
    endAcquisitionIfActive(); // the memory connection needs the instrument to itself
    display_->clearClientArea();
    area_->showSurface();
    memory::ui::MemoryWindowSetup setup;
    setup.workDir = workDir_;
    setup.fileList = memory::ui::TForm1::instance();
    if (options_.linkFactory)
        setup.makeLink = options_.linkFactory;
    else
        setup.makeLink = [port = settings_.portName] { return device::makeLink(port); };
    memory::ui::openMemoryWindow(std::move(setup), this, [this] {
        // Nothing is shown, recorded or imported after the memory window.
        cardfile::ui::selection().writeRequest = false;
        ui::flags().cardReview = false;
        ui::flags().importView = false;
        pushView();
        showEmptyState();
    });
}

void TVentrix::N9Click() {
    print::ui::N9Click(this, Edit1, Label4, printerExists_);
}

void TVentrix::N10Click() {
    const auto& sel = cardfile::ui::selection();
    const auto& g = display_->geometry();
    print::ui::PrintRequest request;
    request.parent = this;
    request.printerExists = printerExists_;
    request.durationEdit = Edit1;
    request.durationLabel = Label4;
    request.recordingShown = ui::flags().cardReview;
    request.recording = &buffer_;
    request.durationSeconds = sel.entryDuration;
    request.groupIndex = g.groupIndex;
    request.scaleIndex = g.scaleIndex;
    request.speedIndex = g.speedIndex;
    request.speedText = ComboBox3->currentText();
    request.scaleText = ComboBox1->currentText();
    request.patientName = sel.patientName;
    request.date = sel.entryDate;
    request.time = sel.entryTime;
    print::ui::N10Click(request);
}

// ---- settings and the end of the program ----

signal::Settings TVentrix::currentSettings() const {
    signal::Settings s = settings_;
    s.scaleText = ComboBox1->currentText().toStdString();
    s.groupText = ComboBox2->currentText().toStdString();
    s.speedText = ComboBox3->currentText().toStdString();
    s.scaleIndex = display_->geometry().scaleIndex;
    s.groupIndex = display_->geometry().groupIndex;
    s.speedIndex = display_->geometry().speedIndex;
    return s;
}

bool TVentrix::writeSettings() {
    auto status = signal::saveSettings(workDir_, currentSettings());
    if (!status) {
        messages().show(QString::fromStdString(status.message), "Error");
        return false;
    }
    return true;
}

bool TVentrix::shutDown() {
    Timer2->stop();
    Timer3->stop();
    Timer1->stop();
    if (acquisition_) {
        const bool closed = acquisition_->exit();
        showEvents(acquisition_->takeEvents());
        if (!closed)
            return false;
    }
    return true;
}

void TVentrix::N12Click() {
    if (!shutDown())
        return;
    if (!writeSettings())
        return; // the settings could not be written: the program stays open
    close();
}

void TVentrix::closeEvent(QCloseEvent* event) {
    if (startedOk() && shutDown())
        writeSettings();
    event->accept();
}

// ---- card file ----

void TVentrix::N5Click() {
    endAcquisitionIfActive();
    auto& sel = cardfile::ui::selection();
    auto& f = ui::flags();
    sel.writeRequest = false;
    f.cardReview = false;
    f.importView = false;

    Edit1->setVisible(false);
    Label4->setVisible(false);
    Start->setVisible(false);
    Stop->setVisible(false);
    Edit1->clear();
    display_->clearClientArea();
    area_->showSurface();

    {
        cardfile::ui::TPatient window(workDir_, this);
        window.applyLanguage(f.russian);
        ui::dialogs().run(window);
    }
    recordingStarted_ = false;

    if (sel.writeRequest) {
        N10->setEnabled(false);
        Edit1->setVisible(true);
        Label4->setVisible(true);
        Start->setVisible(true);
        Stop->setVisible(true);
        Start->setEnabled(true);
        Stop->setEnabled(true);
        Forvard->setVisible(false);
        Back->setVisible(false);
        pushView();
        display_->drawAndCopyGrid();
        area_->showSurface();
        startMonitoring();
    } else if (f.cardReview) {
        N10->setEnabled(true);
        Start->setVisible(false);
        Stop->setVisible(false);
        Forvard->setVisible(true);
        Back->setVisible(true);
        pushView();
        display_->drawAndCopyGrid();
        area_->showSurface();
        openCardRecording();
    } else if (f.rhythmogram) {
        N10->setEnabled(false);
        Forvard->setVisible(true);
        Back->setVisible(true);
        pushView();
        auto opened = display_->openRhythmogram(sel.recordingPath.toStdString());
        pullView();
        if (!opened.ok)
            messages().show(QString::fromStdString(opened.message), "Error");
        refreshFromDisplay();
    }
}

void TVentrix::openCardRecording() {
    const auto& sel = cardfile::ui::selection();
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

void TVentrix::startMonitoring() {
    Back->setEnabled(false);
    Forvard->setEnabled(false);
    ui::flags().cardReview = false;
    ui::flags().importView = false;
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
    display_->prepareLiveDisplay();
    area_->showSurface();
    Timer1->start();
    Timer3->start();
}

void TVentrix::endAcquisitionIfActive() {
    if (!acquisition_)
        return;
    const auto state = acquisition_->state();
    if (state == device::AcquisitionState::Monitoring ||
        state == device::AcquisitionState::Recording || state == device::AcquisitionState::Halted)
        StopClick();
}

void TVentrix::Timer1Timer() {
    if (!acquisition_)
        return;
    static bool busy = false; // a message box shown from here must not re-enter the hand-over
    if (busy)
        return;
    busy = true;
    auto tick = acquisition_->timer1Tick();
    for (const auto& block : tick.blocks)
        display_->drawLiveBlock(block);
    if (!tick.blocks.empty())
        area_->showSurface();
    showEvents(tick.events);
    busy = false;
}

void TVentrix::Timer2Timer() {
    ++seconds_;
    Edit1->setText(QString::number(seconds_));
}

void TVentrix::Timer3Timer() {
    if (!acquisition_)
        return;
    if (!acquisition_->timer3Tick())
        return;
    // No byte for a second: the engine has shut the link and closed the file. Stop finishes.
    Timer3->stop();
    Timer1->stop();
    showEvents(acquisition_->takeEvents());
}

void TVentrix::StartClick() {
    Edit1->setVisible(true);
    Label4->setVisible(true);
    seconds_ = 0;
    recordingStarted_ = true;
    fileCreated_ = false;
    Timer2->start();
    Edit1->setText("1");
    if (!acquisition_ ||
        !acquisition_->startRecording(cardfile::ui::selection().recordingPath.toStdString())) {
        if (acquisition_)
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

void TVentrix::StopClick() {
    Timer3->stop();
    Timer2->stop();
    Start->setEnabled(false);
    Timer1->stop();
    if (acquisition_) {
        acquisition_->stop();
        showEvents(acquisition_->takeEvents());
    }
    Stop->setEnabled(false);
    if (recordingStarted_)
        saveRecording();
    recordingStarted_ = false;
}

void TVentrix::saveRecording() {
    const auto& sel = cardfile::ui::selection();
    const std::filesystem::path file = sel.recordingPath.toStdString();
    std::error_code ec;
    // Nothing was recorded when the file could not be created, or no whole block arrived (no
    // instrument, Stop within half a second): there is nothing to keep and no entry to make.
    // Whatever stands under the name when the creation failed is not touched.
    if (!fileCreated_ || sel.recordingPath.isEmpty() || !std::filesystem::exists(file, ec))
        return;
    if (std::filesystem::file_size(file, ec) == 0 && !ec) {
        std::filesystem::remove(file, ec);
        return;
    }
    if (!messages().ask(tr2("Сохранить данные?", "To save the data?"), QString())) {
        std::filesystem::remove(file, ec);
        return;
    }
    cardfile::CardFile cardFile(workDir_);
    const std::string id = sel.patientId.toStdString();
    auto status = cardFile.appendArchiveEntry(
        id, sel.recordNumber, startDate_.toStdString(), startTime_.toStdString(),
        cardfile::EntryDuration::ofSeconds(seconds_), cardfile::kKindPlain);
    if (status)
        return;
    messages().show(QString::fromUtf8("Ошибка открытия файла с данными об ЭКГ"),
                    QString::fromUtf8("Ошибка"));
    // Without an entry the next recording would take this number and replace the file: move the
    // recording to a name no recording takes and say where it is.
    const QString trimmedId = sel.patientId.trimmed();
    const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    std::filesystem::path kept =
        file.parent_path() / (trimmedId + "_unfiled_" + stamp + ".dat").toStdString();
    for (int n = 2; std::filesystem::exists(kept, ec); ++n)
        kept = file.parent_path() /
               (trimmedId + "_unfiled_" + stamp + "_" + QString::number(n) + ".dat").toStdString();
    std::filesystem::rename(file, kept, ec);
    const QString where = fromPath(ec ? file : kept);
    messages().show(tr2("ЭКГ не внесена в архив пациента и сохранена в файле ",
                        "The ECG is not in the patient's archive; it is kept in the file ") +
                        where,
                    QString::fromUtf8("Ошибка"));
}

// ---- import ----

void TVentrix::Importfromthefile1Click() {
    auto& f = ui::flags();
    f.importView = true;
    QString chosen;
    {
        QFileDialog dialog(this, QString(), fromPath(workDir_), "All files(*)");
        dialog.setObjectName("OpenDialog1");
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (ui::dialogs().run(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front();
    }
    QDir::setCurrent(fromPath(workDir_));
    if (chosen.isEmpty())
        return;
    endAcquisitionIfActive();

    // The file is decompressed and converted in memory: no intermediate file is written.
    signal::RecordingBuffer imported;
    auto result = import::importFile(chosen.toStdString(), imported);
    if (!result) {
        if (result.error == import::ImportResult::Error::OpenSource)
            messages().show(QString::fromUtf8(signal::kRecordingOpenError), "Error");
        else
            messages().show(QString::fromStdString(result.message), "Error");
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return;
    }
    buffer_ = std::move(imported);
    const bool rhythm = result.kind == signal::RecordingKind::Rhythmogram;
    f.kindA2 = result.kind == signal::RecordingKind::A2;
    f.rhythmogram = rhythm;
    if (rhythm)
        f.cardReview = false;

    Edit1->setVisible(false);
    Label4->setVisible(false);
    Start->setVisible(false);
    Stop->setVisible(false);
    Edit1->clear();
    recordingStarted_ = false;
    Forvard->setVisible(true);
    Back->setVisible(true);
    pushView();
    display_->clearClientArea();
    if (rhythm) {
        // A rhythmogram holds interval values, not samples: it gets the rhythmogram page.
        N10->setEnabled(false);
        display_->openRhythmogramBytes(buffer_.bytes);
    } else {
        N10->setEnabled(true);
        display_->drawAndCopyGrid();
        display_->openRecording(buffer_.bytes, static_cast<int>(result.durationSeconds));
    }
    pullView();
    f.importView = !rhythm;
    refreshFromDisplay();
}

} // namespace velkard::app
