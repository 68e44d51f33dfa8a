// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/DrawingArea.h"

#include "app/ParametersDialog.h"
#include "cardfile/CardFile.h"
#include "cardfile/Unfiled.h"
#include "cardfile/ui/CardFileWindow.h"
#include "cardfile/ui/PatientDialogs.h"
#include "cardfile/ui/UnfiledRecordings.h"
#include "compare/ui/CompareCommands.h"
#include "device/Link.h"
#include "export/ui/ExportRecording.h"
#include "filing/Store.h"
#include "filter/FilterSettingsFile.h"
#include "import/Decompress.h"
#include "links/MakeLink.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/MeasurementsController.h"
#include "measure/ui/MeasurementsWindow.h"
#include "memory/ui/DeviceFileList.h"
#include "memory/ui/MemoryWindow.h"
#include "net/Orders.h"
#include "net/Send.h"
#include "net/Settings.h"
#include "net/ui/EarlierWindow.h"
#include "net/ui/GdtWindow.h"
#include "net/ui/NetworkPage.h"
#include "net/ui/OutboxWindow.h"
#include "net/ui/SendActions.h"
#include "net/ui/WorklistWindow.h"
#include "print/ui/PrintCommands.h"
#include "ui/LanguageMenu.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"
#include "velkard_version.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMetaObject>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace velkard::app {

namespace {

QString fromPath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

} // namespace

MainWindow::MainWindow(MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), seams_{options.messages ? *options.messages : ownMessages_,
                                  options.dialogs ? *options.dialogs : ownDialogs_},
      options_(std::move(options)),
      workDir_(options_.workDir.empty() ? std::filesystem::current_path() : options_.workDir),
      session_(workDir_) {
    // Program start: the view state and the window take their initial state.
    connect(&session_, &session::Session::changed, this, &MainWindow::refreshTitle);
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
    printAction->setEnabled(false);

    std::error_code ec;
    std::filesystem::create_directory(workDir_ / "temp", ec); // a failure shows up at download
    sender_ = std::make_unique<net::ui::OutboxSender>(workDir_);
    connect(measurements_->window(), &measure::ui::MeasurementsWindow::reportConfirmed, this,
            &MainWindow::networkAfterConfirmation);
    // A lead that goes off, noisy or drifting says so under its label, live and in review.
    connect(measurements_, &measure::ui::MeasurementsController::leadNotesChanged, this, [this] {
        display_->setLeadNotes(measurements_->leadNotes());
        if (session_.live() || view().review())
            area_->showSurface(display_->redrawLeadFurniture(view()));
    });

    auto loaded = signal::loadSettings(workDir_);
    if (!loaded) {
        startupError_ = loaded.message.empty() ? std::string("Cannot read the settings file ") +
                                                     (workDir_ / signal::kSettingsFileName).string()
                                               : loaded.message;
        return;
    }
    settings_ = loaded.value.settings;
    session_.setLink(linkFactory(), settings_.portName);
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
    secondsLabel_->setVisible(false);

    display_->setChoices(settings_.scaleIndex, settings_.groupIndex, settings_.speedIndex);
    display_->computeVerticalGeometry();
    display_->computeHorizontalGeometry(printerPageWidth());

    const ui::Language language = ui::languageFromSetting(settings_.language);
    state_.setLanguage(language);
    ui::useLanguage(language);
    languageMenu_->tick(language);
    loadFilters();
    applyLanguage(language);

    // The window starts maximised: lay it out at the screen's full size before the first grid
    // (tests that inject the screen capabilities size the window themselves).
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !options_.caps)
        resize(screen->availableGeometry().size());
    windowResized();
    display_->drawAndCopyGrid(view());
    area_->showSurface();
    // Made once, hidden; every memory connection shows it modally.
    deviceFileList_ = std::make_unique<memory::ui::DeviceFileList>(state_, seams_.messages);
    deviceFileList_->hide();
}

MainWindow::~MainWindow() {
    // The reader outlives the window's own members for a moment: it tells nobody from here on.
    if (auto* acquisition = session_.acquisition())
        acquisition->setBlockNotify({});
}

QString MainWindow::say(const char* source) const {
    return ui::translated<MainWindow>(state_.interfaceLanguage(), source);
}

void MainWindow::loadFilters() {
    const filter::FilterSettingsResult loaded =
        filter::loadFilterSettings(workDir_, state_.inRussian());
    state_.filters = loaded.value.settings;
    if (!loaded)
        messages().show(QString::fromStdString(loaded.message),
                        ui::errorCaption(state_.interfaceLanguage()));
    display_->setFilters(state_.filters, view());
}

void MainWindow::applyFilters(const filter::FilterSettings& before) {
    if (state_.filters == before)
        return;
    const Status saved = filter::saveFilterSettings(workDir_, state_.filters, state_.inRussian());
    if (!saved)
        messages().show(QString::fromStdString(saved.message),
                        ui::errorCaption(state_.interfaceLanguage()));
    display_->setFilters(state_.filters, view());
    filterLabel_->setText(
        QString::fromStdString(filter::describe(state_.filters, state_.inRussian())));
}

void MainWindow::refreshTitle() {
    setWindowTitle(session_.title(say(QT_TR_NOOP("мониторинг"))));
    patientBanner_->setVisible(session_.showsPatient());
    if (!session_.showsPatient()) {
        patientBanner_->clear();
        measurements_->setPatient({});
        return;
    }
    const auto& sel = session_.selection();
    const auto age = session_.patientAge();
    // The statements' thresholds follow the patient's sex and age.
    interpret::Patient patient;
    const QString stored = cardfile::ui::storedSex(sel.patientSex.trimmed());
    if (stored == QString::fromUtf8("Муж"))
        patient.sex = interpret::Sex::Male;
    else if (stored == QString::fromUtf8("Жен"))
        patient.sex = interpret::Sex::Female;
    patient.ageYears = age;
    measurements_->setPatient(patient);
    const QString sex =
        cardfile::ui::shownSex(sel.patientSex.trimmed(), state_.interfaceLanguage());
    patientBanner_->setText(
        say(QT_TR_NOOP("%1 · возраст %2 · пол %3 · ID %4"))
            .arg(sel.patientName.trimmed(), age ? QString::number(*age) : QString::fromUtf8("—"),
                 sex.isEmpty() ? QString::fromUtf8("—") : sex, sel.patientId.trimmed()));
}

void MainWindow::refreshFromDisplay() {
    refreshButtons();
    refreshSelectors();
    refreshTitle();
    area_->showSurface();
    updateMeasurements();
}

void MainWindow::updateMeasurements() {
    if (session_.live())
        return;
    if (!view().review()) {
        measurements_->nothingShown();
        return;
    }
    const display::Geometry& g = display_->geometry();
    measure::ui::ReviewPage page;
    page.recording = display_->unfilteredRecording();
    page.firstRecord = display_->pageStartOffset() / signal::kRecordBytes;
    page.seconds = display_->secondsPerScreen();
    page.msPerPixel = g.screenSamplesPerColumn * 1000.0 / signal::kRecordsPerSecond;
    page.mvPerPixel = 1.0 / (g.gain * signal::kUnitsPerMillivolt);
    page.present = session_.leadsShown();
    // A card-file recording's report is edited and confirmed in the measurements window.
    const auto& sel = session_.selection();
    const bool card = view().shown == Shown::CardRecording && sel.entryIndex >= 0;
    measurements_->setCardRecording(seams_, workDir_, card ? sel.patientId.toStdString() : "",
                                    sel.entryIndex + 1,
                                    (sel.entryDate + ' ' + sel.entryTime).toStdString());
    measurements_->reviewPage(page);
}

void MainWindow::runPaintHandler() {
    display_->setSpeed(speedBox->currentIndex(), view());
    refreshButtons();
    updateMeasurements();
}

void MainWindow::showEvents(const std::vector<device::Event>& events) {
    for (const auto& e : events) {
        const device::EventMessage shown = device::eventMessage(e, state_.inRussian());
        const QString caption = shown.caption.empty() ? QGuiApplication::applicationName()
                                                      : QString::fromStdString(shown.caption);
        messages().show(QString::fromStdString(shown.text), caption);
        // Without a reader thread the program cannot go on: it ends, as after Exit.
        if (e.kind == device::EventKind::ThreadError)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

// ---- recordings left unfiled ----

void MainWindow::offerUnfiledRecordings() {
    cardfile::ui::offerUnfiledRecordings(
        seams_, state_.interfaceLanguage(), workDir_,
        [this](const QString& note) { statusBar()->showMessage(note); }, this);
}

// ---- parameters ----

void MainWindow::openParameters() {
    display_->clearClientArea();
    area_->showSurface();
    if (view().shown != Shown::CardRecording)
        printAction->setEnabled(false);
    secondsEdit->setVisible(false);
    secondsLabel_->setVisible(false);
    const filter::FilterSettings before = state_.filters;
    {
        ParametersDialog dialog(state_, this);
        dialog.setPorts(QString::fromStdString(settings_.portName), foundPorts());
        auto* network = new net::ui::NetworkPage(state_, seams_, workDir_, dialog.printTab);
        dialog.printTab->addTab(network, network->title());
        dialog.applyLanguage(state_.interfaceLanguage());
        const bool accepted = seams_.dialogs.run(dialog) == QDialog::Accepted;
        if (accepted)
            network->save();
        if (accepted && dialog.chosenPort().toStdString() != settings_.portName) {
            settings_.portName = dialog.chosenPort().toStdString();
            session_.setLink(linkFactory(), settings_.portName);
            writeSettings();
        }
    }
    display_->setDarkScreen(state_.darkScreen);
    applyFilters(before);
    // The window repaints when the dialog has gone.
    applySpeedAndRedraw();
}

// ---- commands whose windows live elsewhere ----

void MainWindow::openMemory() {
    endAcquisitionIfActive(); // the memory connection needs the instrument to itself
    session_.showNothing();   // no recording is under review from here on
    // Nothing of what was shown stays behind the window: no trace, heart rate, paging or Print.
    showEmptyState();
    memory::ui::MemoryWindowSetup setup;
    setup.workDir = workDir_;
    setup.fileList = deviceFileList_.get();
    setup.makeLink = linkFactory();
    memory::ui::openMemoryWindow(state_, seams_, std::move(setup), this, [this] {
        // Nothing is shown, recorded or imported after the memory window.
        session_.showNothing();
        showEmptyState();
    });
}

void MainWindow::printSetup() {
    print::ui::runPrintSetup(seams_, printerObject(), this, secondsEdit, secondsLabel_,
                             state_.inRussian());
}

void MainWindow::printRecording() {
    const auto& sel = session_.selection();
    const auto& g = display_->geometry();
    print::ui::PrintRequest request;
    request.parent = this;
    request.printer = printerObject();
    // The report starts at the shown page's first second (the dialog lets the user change it).
    state_.printRange.reportFromText = QString::number(display_->pageFirstSecond());
    request.durationEdit = secondsEdit;
    request.durationLabel = secondsLabel_;
    // The buffer holds an imported recording until the card file or an acquisition replaces it.
    const bool imported = !session_.importedFileName().isEmpty();
    request.recordingShown = view().shown == Shown::CardRecording || imported;
    request.recording = &session_.buffer();
    request.kindA2 = view().kindA2;
    request.durationSeconds = sel.entryDuration;
    if (imported) {
        request.durationSeconds = session_.importedSeconds();
        request.importedFileName = session_.importedFileName();
    }
    request.present = session_.leadsShown();
    request.groupIndex = g.groupIndex;
    request.scaleIndex = g.scaleIndex;
    request.speedIndex = g.speedIndex;
    request.speedText = speedBox->currentText();
    request.scaleText = scaleBox->currentText();
    request.patientName = sel.patientName;
    request.birthDate = sel.patientBirthDate;
    request.sex = sel.patientSex;
    request.date = sel.entryDate;
    request.time = sel.entryTime;
    if (view().shown == Shown::CardRecording)
        request.physicianReport = measurements_->storedReport();
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
        messages().show(QString::fromStdString(status.message),
                        ui::errorCaption(state_.interfaceLanguage()));
        return false;
    }
    return true;
}

bool MainWindow::shutDown() {
    secondsTimer->stop();
    handOverTimer->stop();
    if (session_.recordingStarted()) {
        // A recording under way ends as at Stop, and the user says where it goes: into the
        // patient's card, or kept beside the card file under a name the message gives.
        session_.stopAcquisition();
        showEvents(session_.acquisition()->takeEvents());
        if (session_.recordingToSave()) {
            if (messages().ask(say(QT_TR_NOOP("Идёт запись. Сохранить?")), QString()))
                fileRecording();
            else
                keepRecordingUnfiled();
        }
        session_.endRecording();
    }
    const bool closed = session_.shutDown();
    if (auto* acquisition = session_.acquisition())
        showEvents(acquisition->takeEvents());
    return closed;
}

void MainWindow::exitProgram() {
    if (!shutDown())
        return;
    if (!writeSettings())
        return; // the settings could not be written: the program stays open
    close();
}

void MainWindow::endUnattended() {
    if (unattended_)
        return; // a second signal while ending
    unattended_ = true;
    close(); // Exit's steps, with questions answered No
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (startedOk() && shutDown())
        writeSettings();
    event->accept();
}

// ---- card file ----

void MainWindow::clearForWindow() {
    endAcquisitionIfActive();
    // What was shown goes with its heart rate, paging and Print; the title follows the session.
    showEmptyState();
}

void MainWindow::showAcquisitionControls(bool acquisition) {
    for (QWidget* w : std::initializer_list<QWidget*>{secondsEdit, secondsLabel_, Start, Stop})
        w->setVisible(acquisition);
    Forward->setVisible(!acquisition);
    Back->setVisible(!acquisition);
}

void MainWindow::openCardFile() {
    fileImportAction->setEnabled(false);
    clearForWindow();
    session_.cardFileOpening();
    // A recording a crash (here or on another workstation) left since the start is offered here
    // too; one this window kept and named a moment ago is not asked about again.
    cardfile::ui::offerUnfiledRecordings(
        seams_, state_.interfaceLanguage(), workDir_,
        [this](const QString& note) { statusBar()->showMessage(note); }, this,
        [this](const std::filesystem::path& p) { return keptUnfiled_.count(p) > 0; });
    std::filesystem::path earlier;
    {
        cardfile::ui::CardFileWindow window(state_, seams_, workDir_, this);
        exporting::ui::offerExport(window, seams_, state_);
        net::ui::offerSend(window, seams_, state_, *sender_);
        net::ui::offerEarlier(window, seams_, state_,
                              [&window, &earlier](const std::filesystem::path& file) {
                                  earlier = file;
                                  window.closeWithoutRequest();
                              });
        net::ui::offerWorklist(window, seams_, state_, workDir_);
        net::ui::offerGdt(window, seams_, state_, workDir_);
        compare::ui::offerCompare(window, seams_, state_);
        window.startFrom(session_.selection());
        window.applyLanguage(state_.interfaceLanguage());
        seams_.dialogs.run(window);
        session_.cardFileClosed(window.selection(), window.choice());
    }
    showCardFileChoice();
    // An earlier ECG fetched from the archive is shown as an imported file.
    if (!earlier.empty())
        importFile(fromPath(earlier));
}

void MainWindow::openEarlier() {
    const std::string id = session_.selection().patientId.toStdString();
    cardfile::CardFile cardFile(workDir_);
    std::optional<cardfile::PatientRecord> patient;
    if (auto patients = cardFile.listPatients(); patients && !id.empty())
        for (const auto& p : patients.value)
            if (p.id == id)
                patient = p;
    if (!patient) {
        messages().show(say(QT_TR_NOOP("Выберите пациента в картотеке")),
                        ui::attentionCaption(state_.interfaceLanguage()));
        return;
    }
    const auto file = net::ui::showEarlier(state_, seams_, workDir_, *patient, this);
    if (!file.empty())
        importFile(fromPath(file));
}

void MainWindow::openOutbox() {
    net::ui::OutboxWindow window(state_, seams_, *sender_, this);
    seams_.dialogs.run(window);
}

void MainWindow::openWorklist() {
    fileImportAction->setEnabled(false);
    clearForWindow();
    session_.cardFileOpening();
    session::CardSelection chosen = session_.selection();
    session::CardFileChoice choice;
    {
        net::ui::WorklistWindow window(state_, seams_, workDir_, this);
        window.query();
        if (seams_.dialogs.run(window) == QDialog::Accepted && window.taken() &&
            choosePatientToRecord(*window.taken(), chosen, choice))
            statusBar()->showMessage(
                say(QT_TR_NOOP("Направление принято: %1")).arg(chosen.patientName.trimmed()));
    }
    session_.cardFileClosed(chosen, choice);
    showCardFileChoice();
}

void MainWindow::openGdt() {
    fileImportAction->setEnabled(false);
    clearForWindow();
    session_.cardFileOpening();
    session::CardSelection chosen = session_.selection();
    session::CardFileChoice choice;
    {
        net::ui::GdtWindow window(state_, seams_, workDir_, this);
        window.query();
        if (seams_.dialogs.run(window) == QDialog::Accepted && window.taken() &&
            choosePatientToRecord(*window.taken(), chosen, choice))
            statusBar()->showMessage(
                say(QT_TR_NOOP("Запрос GDT принят: %1")).arg(chosen.patientName.trimmed()));
    }
    session_.cardFileClosed(chosen, choice);
    showCardFileChoice();
}

bool MainWindow::choosePatientToRecord(const cardfile::PatientRecord& p,
                                       session::CardSelection& chosen,
                                       session::CardFileChoice& choice) {
    cardfile::CardFile cardFile(workDir_);
    auto patients = cardFile.listPatients();
    int position = -1;
    if (patients)
        for (std::size_t i = 0; i < patients.value.size(); ++i)
            if (patients.value[i].id == p.id)
                position = static_cast<int>(i);
    if (position < 0)
        return false;
    chosen = session::CardSelection{};
    chosen.patientIndex = position;
    chosen.patientId = QString::fromStdString(p.id);
    chosen.patientName = QString::fromStdString(p.name);
    chosen.patientBirthDate = QString::fromStdString(p.birthDate);
    chosen.patientSex = QString::fromStdString(p.sex);
    chosen.recordNumber = cardFile.nextRecordNumber(p.id);
    chosen.recordingPath =
        QString::fromStdString(cardFile.recordingPath(p.id, chosen.recordNumber).string());
    choice.request = session::CardRequest::Write;
    return true;
}

void MainWindow::showCardFileChoice() {
    switch (view().shown) {
    case Shown::Live:
        printAction->setEnabled(false);
        showAcquisitionControls(true);
        Start->setEnabled(true);
        Stop->setEnabled(true);
        display_->drawAndCopyGrid(view());
        area_->showSurface();
        startMonitoring();
        break;
    case Shown::CardRecording:
        printAction->setEnabled(true);
        showAcquisitionControls(false);
        display_->drawAndCopyGrid(view());
        area_->showSurface();
        openCardRecording();
        break;
    case Shown::Rhythmogram:
        printAction->setEnabled(false);
        Forward->setVisible(true);
        Back->setVisible(true);
        openCardRhythmogram();
        break;
    default:
        break; // closed without a request: the drawing area stays empty
    }
}

void MainWindow::openCardRecording() {
    if (Status opened = session_.openCardRecording(); !opened) {
        messages().show(QString::fromUtf8(opened.message.c_str()), "Error");
        return;
    }
    display_->setLeadsShown(session_.leadsShown());
    display_->openRecording(session_.buffer(), session_.selection().entryDuration, view());
    refreshFromDisplay();
}

void MainWindow::openCardRhythmogram() {
    auto bars = session_.readCardRhythmogram();
    if (bars)
        display_->openRhythmogramBytes(std::move(bars.value));
    else
        messages().show(QString::fromUtf8(bars.message.c_str()), "Error");
    refreshFromDisplay();
}

// ---- acquisition ----

void MainWindow::startMonitoring() {
    Back->setEnabled(false);
    Forward->setEnabled(false);
    const bool started = session_.startMonitoring();
    showEvents(session_.acquisition()->takeEvents());
    // Without an instrument the window keeps the plain grid the card-file command drew: the lead
    // labels, the calibration mark and the sweep belong to a running stream. Start waits for one.
    if (!started) {
        Start->setEnabled(false);
        return;
    }
    // Which way the instrument is reached (the simulated one, a tty, or USB through libftdi).
    statusBar()->showMessage(say(QT_TR_NOOP("Прибор: ")) +
                             QString::fromStdString(session_.acquisition()->linkDescription()));
    display_->prepareLiveDisplay();
    area_->showSurface();
    measurements_->liveStarted();
    // The reader says when a block is complete; the window thread sleeps until then.
    session_.acquisition()->setBlockNotify([this] {
        QMetaObject::invokeMethod(
            this, [this] { handOverBlocks(); }, Qt::QueuedConnection);
    });
    armWatchdog();
}

void MainWindow::endAcquisitionIfActive() {
    if (session_.acquisitionActive())
        finishAcquisition();
}

void MainWindow::handOverBlocks() {
    auto* acquisition = session_.acquisition();
    if (!acquisition || handingOver_)
        return;
    handingOver_ = true;
    auto tick = acquisition->handOverBlocks();
    QRect changed;
    for (const auto& block : tick.blocks) {
        display_->drawLiveBlock(block);
        changed |= display_->lastLiveChange();
        measurements_->liveBlock(block);
    }
    area_->showSurface(changed);
    showEvents(tick.events);
    handingOver_ = false;
    if (acquisition->state() == device::AcquisitionState::Halted)
        instrumentLost();
    else
        armWatchdog();
}

void MainWindow::armWatchdog() {
    auto* acquisition = session_.acquisition();
    if (!acquisition || !acquisition->readerRunning())
        return;
    handOverTimer->start(std::max(acquisition->watchdogDueIn(), std::chrono::milliseconds(1)));
}

void MainWindow::countSecond() {
    secondsEdit->setText(QString::number(session_.seconds()));
}

void MainWindow::checkWatchdog() {
    auto* acquisition = session_.acquisition();
    if (!acquisition)
        return;
    if (!acquisition->watchdogExpired()) {
        // Blocks a notification has not brought yet (none is lost: this is the backstop); the
        // timer is armed again for the read under way.
        handOverBlocks();
        return;
    }
    // No byte for a second: the engine has shut the link and closed the file.
    handOverTimer->stop();
    showEvents(acquisition->takeEvents());
    instrumentLost();
}

void MainWindow::showBusyOr(const Status& status, const QString& otherText,
                            const QString& otherCaption) {
    if (status.code == ErrorCode::Busy)
        messages().show(cardfile::ui::busyText(state_.interfaceLanguage()),
                        ui::errorCaption(state_.interfaceLanguage()));
    else
        messages().show(otherText, otherCaption);
}

void MainWindow::start() {
    const Status started = session_.startRecording();
    if (!started) {
        if (started.code == ErrorCode::DeviceNotFound) // no instrument: nothing would be recorded
            showEvents({device::makeEvent(device::EventKind::NotFound)});
        else if (started.code == ErrorCode::Failed) // the engine's events say why
            showEvents(session_.acquisition()->takeEvents());
        else
            showBusyOr(started, say(QT_TR_NOOP("Ошибка создания файла для записи ЭКГ")), "Error");
        return;
    }
    secondsEdit->setVisible(true);
    secondsLabel_->setVisible(true);
    secondsEdit->setText(QString::number(session_.seconds()));
    secondsTimer->start();
    Start->setEnabled(false);
    Stop->setEnabled(true);
}

void MainWindow::instrumentLost() {
    // The engine has closed the link and the recording file: what came is kept with its true
    // duration, and the window no longer pretends to be live.
    handOverTimer->stop();
    secondsTimer->stop();
    measurements_->nothingShown();
    Start->setEnabled(false);
    const QString lost = say(QT_TR_NOOP("Прибор не отвечает: приём остановлен"));
    statusBar()->showMessage(lost);
    if (!session_.recordingCutOff())
        return;
    // As Stop does: the file is closed before the question, so it holds what came and no more.
    session_.stopAcquisition();
    showEvents(session_.acquisition()->takeEvents());
    secondsEdit->setText(QString::number(session_.seconds()));
    Stop->setEnabled(false);
    saveRecording();
    session_.endRecording();
    // The status line keeps both: why the recording ended, and what Save did with it.
    if (statusBar()->currentMessage() != lost)
        statusBar()->showMessage(lost + QStringLiteral(". ") + statusBar()->currentMessage());
}

void MainWindow::stop() {
    const bool recorded = finishAcquisition();
    // After a recording the sweep of the same patient runs again, ready for the next Start; what
    // Save said stays in the status line.
    if (recorded && view().shown == Shown::Live && !unattended_) {
        const QString said = statusBar()->currentMessage();
        Start->setEnabled(true);
        Stop->setEnabled(true);
        secondsEdit->clear();
        startMonitoring();
        statusBar()->showMessage(said);
    }
}

device::Acquisition::LinkFactory MainWindow::linkFactory() {
    if (options_.linkFactory)
        return options_.linkFactory;
    return [this] { return links::makeLink(settings_.portName); };
}

bool MainWindow::finishAcquisition() {
    secondsTimer->stop();
    Start->setEnabled(false);
    handOverTimer->stop();
    if (session_.acquisition()) {
        session_.stopAcquisition();
        showEvents(session_.acquisition()->takeEvents());
    }
    Stop->setEnabled(false);
    const bool recorded = session_.recordingStarted();
    saveRecording();
    session_.endRecording();
    return recorded;
}

void MainWindow::saveRecording() {
    if (!session_.recordingToSave())
        return;
    if (!messages().ask(say(QT_TR_NOOP("Сохранить данные?")), QString())) {
        session_.discardRecording();
        return;
    }
    fileRecording();
}

void MainWindow::fileRecording() {
    const int seconds = session_.seconds();
    const auto filed = session_.saveRecording();
    if (filed) {
        // Said where the user looks next, without a box to click away.
        const auto& sel = session_.selection();
        statusBar()->showMessage(say(QT_TR_NOOP("Сохранено: %1, № %2, %3 с"))
                                     .arg(sel.patientName.trimmed())
                                     .arg(filed.value)
                                     .arg(seconds));
        networkAfterSave(filed.value);
        return;
    }
    showBusyOr(filed, say(QT_TR_NOOP("Ошибка открытия файла с данными об ЭКГ")),
               say(QT_TR_NOOP("Ошибка")));
    keepRecordingUnfiled();
}

void MainWindow::networkAfterSave(int number) {
    cardfile::CardFile cardFile(workDir_);
    auto ref = net::findRecording(cardFile, session_.selection().patientId.toStdString(), number);
    if (!ref)
        return;
    // The order taken from the worklist for this patient goes with this recording from now on.
    if (auto order =
            net::orderOfRecording(cardFile, ref.value.patient.id, ref.value.recordedAt(), true);
        !order)
        std::fprintf(stderr, "%s\n", order.message.c_str());
    answerGdtRequest(ref.value);
    auto settings = net::loadSettings(workDir_);
    if (!settings || !settings.value.sendAfterSave)
        return;
    if (net::ui::queueForSending(messages(), state_.interfaceLanguage(), cardFile,
                                 ref.value.patient, ref.value.entry, *sender_, this))
        statusBar()->showMessage(statusBar()->currentMessage() + QStringLiteral(". ") +
                                 say(QT_TR_NOOP("Поставлено в очередь отправки")));
}

void MainWindow::answerGdtRequest(const net::RecordingRef& recording) {
    cardfile::CardFile cardFile(workDir_);
    auto file = net::gdtRequestOfRecording(cardFile, recording.patient.id, recording.recordedAt());
    if (file && !file.value)
        return;
    const ui::Language l = state_.interfaceLanguage();
    // The recording is filed already: whatever fails here leaves it in the card, and the request
    // in the folder, kept for this recording.
    auto fail = [&](const std::string& why) {
        messages().show(say(QT_TR_NOOP("Результат GDT не записан в папку обмена: ЭКГ сохранена в "
                                       "карте пациента, запрос не отмечен выполненным\n")) +
                            QString::fromStdString(why),
                        ui::errorCaption(l));
    };
    if (!file)
        return fail(file.message);
    auto settings = net::loadSettings(workDir_);
    if (!settings)
        return fail(settings.message);
    auto request = net::ui::findGdtRequest(settings.value, *file.value);
    if (!request)
        return fail(request.message);
    auto written =
        net::ui::answerGdtRequest(cardFile, settings.value, request.value, recording.patient,
                                  recording.entry, state_.inRussian());
    if (!written)
        return fail(written.message);
    if (auto s = net::forgetGdtRequest(cardFile, recording.patient.id, recording.recordedAt()); !s)
        std::fprintf(stderr, "%s\n", s.message.c_str());
    statusBar()->showMessage(statusBar()->currentMessage() + QStringLiteral(". ") +
                             say(QT_TR_NOOP("Результат GDT записан: %1"))
                                 .arg(QString::fromStdString(written.value.filename().string())));
}

void MainWindow::networkAfterConfirmation(const QString& patientId, int number) {
    auto settings = net::loadSettings(workDir_);
    if (!settings || !settings.value.sendAfterConfirmation)
        return;
    cardfile::CardFile cardFile(workDir_);
    auto ref = net::findRecording(cardFile, patientId.toStdString(), number);
    if (!ref)
        return;
    // A new entry: the confirmed report, as every send, is its own instance in the study.
    if (net::ui::queueForSending(messages(), state_.interfaceLanguage(), cardFile,
                                 ref.value.patient, ref.value.entry, *sender_, this))
        statusBar()->showMessage(say(QT_TR_NOOP("Поставлено в очередь отправки")));
}

void MainWindow::keepRecordingUnfiled() {
    const QString where = session_.keepUnfiledRecording();
    keptUnfiled_.insert(where.toStdString());
    messages().show(say(QT_TR_NOOP("ЭКГ не внесена в архив пациента и сохранена в файле ")) + where,
                    ui::errorCaption(state_.interfaceLanguage()));
}

// ---- import ----

void MainWindow::importFromFile() {
    session_.importChosen();
    QString chosen;
    {
        // Filters by kind; the first holds every kind Velkard opens.
        const QString kinds = QStringLiteral(
            "*.dat *.DAT *.ecx *.ECX *.edf *.EDF *.bdf *.BDF *.dcm *.DCM *.scp *.SCP *.xml *.XML "
            "*.gdf *.GDF *.hea");
        QFileDialog dialog(this, QString(), fromPath(workDir_));
        dialog.setNameFilters(
            {say(QT_TR_NOOP("Все ЭКГ")) + " (" + kinds + ")",
             say(QT_TR_NOOP("Файлы прибора")) + " (*.dat *.DAT *.ecx *.ECX)",
             QStringLiteral("EDF, EDF+, BDF (*.edf *.EDF *.bdf *.BDF)"),
             QStringLiteral("DICOM (*.dcm *.DCM)"), QStringLiteral("SCP-ECG (*.scp *.SCP)"),
             QStringLiteral("HL7 aECG (*.xml *.XML)"), QStringLiteral("GDF (*.gdf *.GDF)"),
             QStringLiteral("WFDB (*.hea)"), QStringLiteral("All files(*)")});
        dialog.setObjectName("importFileDialog");
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (seams_.dialogs.run(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().front();
    }
    if (!chosen.isEmpty())
        importFile(chosen);
}

void MainWindow::importFile(const QString& chosen) {
    endAcquisitionIfActive();
    fileImportAction->setEnabled(false);
    auto result = session_.importFile(chosen.toStdString());
    if (!result) {
        if (result.code == ErrorCode::CannotOpenSource)
            messages().show(QString::fromUtf8(signal::kRecordingOpenError), "Error");
        else
            messages().show(QString::fromStdString(result.message),
                            ui::errorCaption(state_.interfaceLanguage()));
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return;
    }
    showAcquisitionControls(false);
    secondsEdit->clear();
    display_->clearClientArea();
    if (view().rhythmogram()) {
        // A rhythmogram holds interval values, not samples: it gets the rhythmogram page.
        printAction->setEnabled(false);
        display_->openRhythmogramBytes(session_.buffer().bytes);
    } else {
        printAction->setEnabled(true);
        display_->drawAndCopyGrid(view());
        display_->setLeadsShown(session_.leadsShown());
        display_->openRecording(session_.buffer(), session_.importedSeconds(), view());
        fileImportAction->setEnabled(session_.importedForeign().has_value());
        if (const auto& foreign = session_.importedForeign()) {
            // What the file holds and how it was converted, for the record of the session.
            std::fprintf(stderr, "%s\n", foreign->file.origin.c_str());
            if (foreign->file.gainsReplaced)
                messages().show(
                    say(QT_TR_NOOP("Коэффициенты усиления в заголовке файла противоречат его "
                                   "отсчётам (I + III = II выполняется только для записанных "
                                   "значений): все отведения прочитаны по 1000 единиц на 1 мВ")),
                    ui::attentionCaption(state_.interfaceLanguage()));
            if (foreign->clipped > 0)
                messages().show(say(QT_TR_NOOP("Значения вне диапазона прибора ограничены: ")) +
                                    QString::number(foreign->clipped),
                                ui::errorCaption(state_.interfaceLanguage()));
        }
    }
    refreshFromDisplay();
}

} // namespace velkard::app

namespace velkard::app {

// The imported file of another system becomes a recording of a chosen or new patient (name, birth
// date and sex offered from the file), in the card file's format; the audit log keeps where it
// came from, the leads it lacks and the values clipped.
void MainWindow::fileImportIntoCard() {
    const auto& foreign = session_.importedForeign();
    if (!foreign || session_.importedFileName().isEmpty())
        return;
    cardfile::CardFile cardFile(workDir_);
    auto patients = cardFile.listPatients();
    if (!patients) {
        messages().show(QString::fromStdString(patients.message),
                        ui::errorCaption(state_.interfaceLanguage()));
        return;
    }
    const formats::Patient& p = foreign->file.patient;
    QStringList choices{
        say(QT_TR_NOOP("Новый пациент")) +
        (p.name.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(p.name))};
    for (const auto& rec : patients.value)
        choices << QString::fromStdString(rec.name + ", " + rec.birthDate + " (" + rec.id + ")");
    QInputDialog ask(this);
    ask.setObjectName("fileImportDialog");
    ask.setWindowTitle(say(QT_TR_NOOP("Положить в карту пациента")));
    ask.setLabelText(say(QT_TR_NOOP("Пациент")));
    ask.setComboBoxItems(choices);
    ask.setComboBoxEditable(false);
    if (seams_.dialogs.run(ask) != QDialog::Accepted)
        return;
    const int chosen = static_cast<int>(choices.indexOf(ask.textValue()));
    std::string id;
    if (chosen > 0) {
        id = patients.value[static_cast<std::size_t>(chosen - 1)].id;
    } else {
        // No card-file window lists the new patient: the dialog's OK appends the record itself,
        // else the recording would be filed for a patient the index does not hold.
        state_.newPatient.selfAppend = true;
        cardfile::ui::NewPatientDialog dialog(state_, messages(), workDir_, this);
        dialog.applyLanguage(state_.interfaceLanguage());
        dialog.nameEdit->setText(QString::fromStdString(p.name));
        dialog.policyEdit->setText(QString::fromStdString(p.id));
        if (p.sex == "M" || p.sex == "F")
            dialog.sexBox->setCurrentIndex(p.sex == "M" ? 0 : 1);
        const QDate born = QDate::fromString(QString::fromStdString(p.birthDate), "dd.MM.yyyy");
        if (born.isValid())
            dialog.birthDatePicker->setDate(born);
        seams_.dialogs.run(dialog);
        if (!state_.newPatient.patientCreated)
            return;
        id = dialog.record().id;
    }
    QDateTime when = QDateTime::currentDateTime();
    if (const auto& s = foreign->file.start)
        when = QDateTime(QDate(s->year, s->month, s->day), QTime(s->hour, s->minute, s->second));
    formats::InstrumentEcg converted;
    converted.present = foreign->present;
    converted.clipped = foreign->clipped;
    converted.notes = foreign->notes;
    const std::string origin =
        formats::originLine(foreign->file, converted, foreign->path.filename().string());
    const auto& bytes = session_.buffer().bytes;
    auto filed = filing::storeConvertedRecording(
        cardFile, id, std::span<const std::uint8_t>(bytes.data(), bytes.size()),
        when.toString("dd.MM.yyyy").toStdString(), when.toString("hh:mm:ss").toStdString(),
        session_.importedSeconds(), origin, &foreign->present);
    if (!filed && filed.value == 0) {
        messages().show(
            QString::fromStdString(filing::storeErrorText(filed.code, state_.inRussian())) +
                QStringLiteral("\n") + QString::fromStdString(filed.message),
            ui::errorCaption(state_.interfaceLanguage()));
        return;
    }
    QString text =
        say(QT_TR_NOOP("ЭКГ помещена в карту пациента, № ")) + QString::number(filed.value);
    if (foreign->clipped > 0)
        text += QStringLiteral("\n") +
                say(QT_TR_NOOP("Значения вне диапазона прибора ограничены: ")) +
                QString::number(foreign->clipped);
    messages().show(text, say(QT_TR_NOOP("Информация")));
}

} // namespace velkard::app
