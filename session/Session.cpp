// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Session.h"

#include <QDate>
#include <QFileInfo>
#include <cstdio>
#include <system_error>

namespace velkard::session {

namespace {

QString fromPath(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

} // namespace

Session::Session(std::filesystem::path workDir, Clock clock)
    : workDir_(std::move(workDir)), clock_(std::move(clock)) {}

Session::~Session() = default;

QDateTime Session::now() const {
    return clock_ ? clock_() : QDateTime::currentDateTime();
}

void Session::setView(View view) {
    view_ = view;
    emit changed();
}

void Session::showNothing() {
    setView(View{});
}

QString Session::title(const QString& live) const {
    QString title = QStringLiteral("Velkard");
    const auto& sel = selection_;
    const bool imported = !importedFileName_.isEmpty();
    if (view_.shown == Shown::Imported && imported) {
        title += QStringLiteral(" — ") + importedFileName_;
    } else if (view_.shown == Shown::CardRecording ||
               (view_.shown == Shown::Rhythmogram && !imported)) {
        QString who = sel.patientName.trimmed();
        if (!sel.patientBirthDate.trimmed().isEmpty())
            who += QStringLiteral(", ") + sel.patientBirthDate.trimmed();
        title += QStringLiteral(" — ") + who + QStringLiteral(" — ") +
                 (sel.entryDate.trimmed() + QLatin1Char(' ') + sel.entryTime.trimmed()).trimmed();
    } else if (view_.shown == Shown::Live || recordingStarted_) {
        title += QStringLiteral(" — ") + live;
        if (!sel.patientName.trimmed().isEmpty())
            title += QStringLiteral(" — ") + sel.patientName.trimmed();
    }
    return title;
}

bool Session::showsPatient() const {
    if (selection_.patientId.trimmed().isEmpty())
        return false;
    if (view_.shown == Shown::Live || view_.shown == Shown::CardRecording)
        return true;
    return view_.shown == Shown::Rhythmogram && importedFileName_.isEmpty();
}

std::optional<int> Session::patientAge() const {
    const QDate born = QDate::fromString(selection_.patientBirthDate.trimmed(), "dd.MM.yyyy");
    QDate on = now().date();
    if (view_.shown == Shown::CardRecording) {
        const QDate recorded = QDate::fromString(selection_.entryDate.trimmed(), "dd.MM.yyyy");
        if (recorded.isValid())
            on = recorded;
    }
    if (!born.isValid() || born > on)
        return std::nullopt;
    int years = on.year() - born.year();
    if (on.month() < born.month() || (on.month() == born.month() && on.day() < born.day()))
        --years;
    return years;
}

// ---- card file ----

void Session::cardFileOpening() {
    importedFileName_.clear();
    recordingStarted_ = false;
    setView(view_.shown == Shown::Rhythmogram ? view_ : View{});
}

void Session::cardFileClosed(const CardSelection& selection, const CardFileChoice& choice) {
    selection_ = selection;
    View next = view_;
    if (choice.forgotOpened) {
        next = View{};
        selection_.recordingPath.clear();
    }
    switch (choice.request) {
    case CardRequest::Write:
        next = View{Shown::Live};
        break;
    case CardRequest::OpenRecording:
        next = View{Shown::CardRecording, choice.kindA2};
        break;
    case CardRequest::OpenRhythmogram:
        next = View{Shown::Rhythmogram};
        break;
    case CardRequest::None:
        // Nothing new: a rhythmogram chosen before is shown again, nothing else is.
        if (next.shown != Shown::Rhythmogram)
            next = View{};
        break;
    }
    setView(next);
}

Status Session::openCardRecording() {
    importedFileName_.clear();
    cardLeads_.reset();
    if (Status loaded = signal::loadRecording(selection_.recordingPath.toStdString(), buffer_);
        !loaded)
        return Status::failure(loaded.code, signal::kRecordingOpenError);
    // A recording filed from a file of another system keeps the leads it lacked beside it; one
    // that cannot be read shows all twelve, as every recording did before.
    auto leads = cardfile::CardFile(workDir_).readLeads(selection_.patientId.toStdString(),
                                                        selection_.entryIndex + 1);
    if (leads && leads.value)
        cardLeads_ = *leads.value;
    emit changed();
    return Status::success();
}

Result<std::vector<std::uint8_t>> Session::readCardRhythmogram() {
    signal::RecordingBuffer read;
    if (Status loaded = signal::loadRecording(selection_.recordingPath.toStdString(), read);
        !loaded) {
        showNothing();
        return Result<std::vector<std::uint8_t>>::failure(loaded.code, signal::kRecordingOpenError);
    }
    return Result<std::vector<std::uint8_t>>::success(std::move(read.bytes));
}

// ---- import ----

void Session::importChosen() {
    setView(View{Shown::Imported, view_.kindA2});
}

formats::LeadSet Session::leadsShown() const {
    formats::LeadSet all;
    all.fill(true);
    if (foreign_ && !importedFileName_.isEmpty())
        return foreign_->present;
    if (cardLeads_ && view_.shown == Shown::CardRecording)
        return *cardLeads_;
    return all;
}

velkard::import::ImportResult Session::importFile(const std::filesystem::path& path) {
    if (acquisitionActive())
        stopAcquisition();
    if (formats::detectKind(path)) {
        using R = import::ImportResult;
        auto read = formats::readEcgFile(path);
        if (!read)
            return R::failure(read.code == ErrorCode::CannotOpen ? ErrorCode::CannotOpenSource
                                                                 : read.code,
                              read.message);
        auto converted = formats::toInstrument(read.value);
        if (!converted)
            return R::failure(converted.code, path.filename().string() + ": " + converted.message);
        signal::RecordingBuffer imported;
        imported.assign(converted.value.bytes());
        ForeignImport f;
        f.present = converted.value.present;
        f.clipped = converted.value.clipped;
        f.notes = converted.value.notes;
        f.path = path;
        f.file = std::move(read.value);
        for (auto& l : f.file.leads)
            std::vector<double>().swap(l);
        buffer_ = std::move(imported);
        foreign_ = std::move(f);
        velkard::import::ImportedRecording rec;
        rec.kind = signal::RecordingKind::Plain;
        rec.durationSeconds =
            (static_cast<std::int64_t>(buffer_.records()) + signal::kRecordsPerSecond / 2) /
            signal::kRecordsPerSecond;
        importedSeconds_ = static_cast<int>(rec.durationSeconds);
        importedFileName_ = QFileInfo(fromPath(path)).fileName();
        recordingStarted_ = false;
        setView(View{Shown::Imported, false});
        return R::success(rec);
    }
    // The file is decompressed and converted in memory: no intermediate file is written.
    signal::RecordingBuffer imported;
    auto result = import::importFile(path, imported);
    if (!result)
        return result;
    buffer_ = std::move(imported);
    foreign_.reset();
    importedSeconds_ = static_cast<int>(result.value.durationSeconds);
    importedFileName_ = QFileInfo(fromPath(path)).fileName();
    recordingStarted_ = false;
    if (result.value.kind == signal::RecordingKind::Rhythmogram)
        setView(View{Shown::Rhythmogram});
    else
        setView(View{Shown::Imported, result.value.kind == signal::RecordingKind::A2});
    return result;
}

// ---- acquisition and recording ----

void Session::setLink(device::Acquisition::LinkFactory factory, std::string portName) {
    // Another port: the next Start opens it (an acquisition under way keeps its own until it ends).
    if (acquisition_ && portName != portName_ && !acquisitionActive())
        acquisition_.reset();
    linkFactory_ = std::move(factory);
    portName_ = std::move(portName);
}

bool Session::startMonitoring() {
    importedFileName_.clear();
    if (view_.shown != Shown::Live)
        setView(View{Shown::Live});
    if (!acquisition_) {
        // Without a link there is no instrument: Start reports it as not found.
        device::Acquisition::LinkFactory factory = linkFactory_;
        if (!factory)
            factory = [] { return std::unique_ptr<device::Link>(); };
        acquisition_ = std::make_unique<device::Acquisition>(std::move(factory));
    }
    return acquisition_->startMonitoring();
}

bool Session::acquisitionActive() const {
    if (!acquisition_)
        return false;
    const auto state = acquisition_->state();
    return state == device::AcquisitionState::Monitoring ||
           state == device::AcquisitionState::Recording ||
           state == device::AcquisitionState::Halted;
}

bool Session::live() const {
    return acquisition_ && (acquisition_->state() == device::AcquisitionState::Monitoring ||
                            acquisition_->state() == device::AcquisitionState::Recording);
}

int Session::seconds() const {
    if (!acquisition_ || !fileCreated_)
        return 0;
    return static_cast<int>((acquisition_->blocksWritten() + 1) / 2);
}

bool Session::recordingCutOff() const {
    return recordingStarted_ && fileCreated_ && acquisition_ &&
           acquisition_->state() == device::AcquisitionState::Halted;
}

Status Session::startRecording() {
    fileCreated_ = false;
    // Without a stream nothing would be recorded: Start is refused, no file is made.
    if (!live())
        return Status::failure(ErrorCode::DeviceNotFound, "no instrument is streaming");
    recordingStarted_ = true;
    emit changed();
    // The recording goes into a private file and takes its number only at Save, under the card
    // file's lock: a Store or another workstation meanwhile cannot take or overwrite it.
    if (auto created = cardfile::CardFile(workDir_).createPendingRecording(pending_); !created) {
        std::fprintf(stderr, "%s\n", created.message.c_str());
        return Status::failure(created.code == ErrorCode::Busy ? ErrorCode::Busy
                                                               : ErrorCode::CannotCreateRecording,
                               created.message);
    }
    if (!acquisition_->startRecording(pending_.path())) {
        pending_.discard();
        return Status::failure(ErrorCode::Failed, "the acquisition did not start recording");
    }
    const QDateTime at = now();
    startTime_ = at.toString("hh:mm:ss");
    startDate_ = at.toString("dd.MM.yyyy");
    fileCreated_ = true;
    return Status::success();
}

void Session::stopAcquisition() {
    if (acquisition_)
        acquisition_->stop();
}

bool Session::recordingToSave() {
    const std::filesystem::path file = pending_.path();
    std::error_code ec;
    // Nothing was recorded when the file could not be created, or no whole block arrived (no
    // instrument, Stop within half a second): there is nothing to keep and no entry to make.
    if (!recordingStarted_ || !fileCreated_ || !pending_.active() ||
        !std::filesystem::exists(file, ec))
        return false;
    if (std::filesystem::file_size(file, ec) == 0 && !ec) {
        pending_.discard();
        return false;
    }
    return true;
}

void Session::discardRecording() {
    pending_.discard();
}

Result<int> Session::saveRecording() {
    cardfile::CardFile cardFile(workDir_);
    const std::string id = selection_.patientId.toStdString();
    auto filed = cardFile.fileRecordingFile(
        id, pending_.path(), startDate_.toStdString(), startTime_.toStdString(),
        cardfile::EntryDuration::ofSeconds(seconds()), cardfile::kKindPlain);
    if (!filed) {
        std::fprintf(stderr, "%s\n", filed.message.c_str());
        return filed;
    }
    selection_.recordNumber = filed.value;
    selection_.recordingPath = fromPath(cardFile.recordingPath(id, filed.value));
    pending_.discard();
    emit changed();
    return filed;
}

QString Session::keepUnfiledRecording() {
    // Not filed: the recording moves to a name that no recording and no cleanup takes.
    const std::filesystem::path file = pending_.path();
    const QString trimmedId = selection_.patientId.trimmed();
    const QString stamp = now().toString("yyyyMMdd-hhmmss");
    std::error_code ec;
    std::filesystem::path kept =
        file.parent_path() / (trimmedId + "_unfiled_" + stamp + ".dat").toStdString();
    for (int n = 2; std::filesystem::exists(kept, ec); ++n)
        kept = file.parent_path() /
               (trimmedId + "_unfiled_" + stamp + "_" + QString::number(n) + ".dat").toStdString();
    std::filesystem::rename(file, kept, ec);
    if (ec)
        return fromPath(file);
    pending_.discard(); // the file has moved: nothing is left to delete
    return fromPath(kept);
}

bool Session::shutDown() {
    if (acquisition_ && !acquisition_->exit())
        return false;
    // Exit during a recording asks nothing and makes no entry; what was recorded stays on disk
    // under a name no recording or cleanup takes.
    std::error_code ec;
    if (recordingStarted_ && fileCreated_ && pending_.active() &&
        std::filesystem::file_size(pending_.path(), ec) > 0 && !ec)
        keepUnfiledRecording();
    pending_.discard();
    recordingStarted_ = false;
    return true;
}

} // namespace velkard::session
