// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/ui/MeasurementsController.h"

#include "cardfile/CardFile.h"
#include "measure/QrsDetector.h"
#include "measure/Summary.h"
#include "measure/ui/Calipers.h"
#include "measure/ui/HeartRateLabel.h"
#include "measure/ui/MeasurementsWindow.h"

#include <QAction>
#include <QStringList>
#include <algorithm>

namespace velkard::measure::ui {

namespace {
constexpr std::int64_t kSecond = signal::kRecordsPerSecond;
// The measurements window covers the 10 s from the page's start.
constexpr std::int64_t kWindowSeconds = 10;
} // namespace

QString leadQualityWords(const LeadQuality& q, velkard::ui::Language language) {
    // In the order of measure::QualityFinding.
    static constexpr const char* kWords[] = {
        QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsController", "отключено"),
        QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsController", "шум"),
        QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsController", "сеть"),
        QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsController", "дрейф"),
        QT_TRANSLATE_NOOP("velkard::measure::ui::MeasurementsController", "скачки")};
    QStringList words;
    for (const QualityFinding f : qualityFindings(q))
        words << velkard::ui::translate(language, "velkard::measure::ui::MeasurementsController",
                                        kWords[static_cast<int>(f)]);
    return words.join(QStringLiteral(", "));
}

MeasurementsController::MeasurementsController(QWidget* labelParent, QWidget* drawingArea,
                                               QWidget* window)
    : QObject(window) {
    label_ = new HeartRateLabel(labelParent);
    calipers_ = new Calipers(drawingArea);
    window_ = new MeasurementsWindow(window);
    action_ = new QAction(this);
    action_->setObjectName("measurementsAction");
    connect(action_, &QAction::triggered, this, &MeasurementsController::showWindow);
    nothingShown();
    applyLanguage(velkard::ui::Language::Russian);
}

MeasurementsController::~MeasurementsController() = default;

void MeasurementsController::liveStarted() {
    reviewing_ = false;
    liveRecords_.clear();
    liveNext_ = 0;
    liveSinceQuality_ = 0;
    setQuality(std::nullopt);
    calipers_->setActive(false);
    action_->setEnabled(false);
    meter_ = std::make_unique<HeartRateMeter>();
    label_->setRate(std::optional<int>());
    label_->setVisible(true);
}

void MeasurementsController::liveBlock(const signal::SampleBlock& block) {
    if (!meter_)
        liveStarted();
    meter_->push(block.data(), block.size());
    label_->setRate(meter_->bpm());
    // The last seconds in a ring; their quality once a second, from two seconds on.
    constexpr std::size_t kKept = std::size_t(kLiveQualitySeconds) * kSecond;
    for (const signal::SampleRecord& r : block) {
        if (liveRecords_.size() < kKept) {
            liveRecords_.push_back(r);
        } else {
            liveRecords_[liveNext_] = r;
            liveNext_ = (liveNext_ + 1) % kKept;
        }
    }
    liveSinceQuality_ += int(block.size());
    if (liveSinceQuality_ < kSecond || liveRecords_.size() < std::size_t(2 * kSecond))
        return;
    liveSinceQuality_ = 0;
    std::vector<signal::SampleRecord> ordered(liveRecords_.begin() + std::ptrdiff_t(liveNext_),
                                              liveRecords_.end());
    ordered.insert(ordered.end(), liveRecords_.begin(),
                   liveRecords_.begin() + std::ptrdiff_t(liveNext_));
    setQuality(signalQuality(ordered.data(), ordered.size()));
}

void MeasurementsController::setQuality(const std::optional<SignalQuality>& quality) {
    quality_ = quality;
    updateNotes();
}

void MeasurementsController::updateNotes() {
    std::array<QString, signal::kLeadCount> notes;
    if (quality_)
        for (std::size_t l = 0; l < notes.size(); ++l)
            notes[l] = leadQualityWords(quality_->leads[l], language_);
    if (notes == notes_)
        return;
    notes_ = notes;
    emit leadNotesChanged();
}

void MeasurementsController::reviewPage(const ReviewPage& page) {
    if (reviewing_ && page == page_)
        return;
    meter_.reset();
    page_ = page;
    reviewing_ = true;
    action_->setEnabled(true);
    // The rate of the page: its beats, detected with a second either side to settle.
    const std::int64_t from = std::max<std::int64_t>(0, page.firstRecord - kSecond);
    const auto records =
        recordsOf(page.recording, from, page.firstRecord - from + page.seconds * kSecond + kSecond);
    std::vector<std::int64_t> beats;
    for (std::int64_t b : detectBeats(records.data(), records.size()))
        if (b + from >= page.firstRecord && b + from < page.firstRecord + page.seconds * kSecond)
            beats.push_back(b + from);
    label_->setRate(heartRate(beats));
    label_->setVisible(true);
    // The page's signal quality, of the leads the recording carries.
    const auto shown = recordsOf(page.recording, page.firstRecord, page.seconds * kSecond);
    setQuality(signalQuality(shown.data(), shown.size(), 0, SIZE_MAX, &page.present));
    calipers_->setScale(page.msPerPixel, page.mvPerPixel);
    calipers_->setActive(true);
    calipers_->clear();
    if (window_->isVisible())
        measureForWindow();
}

void MeasurementsController::nothingShown() {
    meter_.reset();
    setQuality(std::nullopt);
    reviewing_ = false;
    calipers_->setActive(false);
    action_->setEnabled(false);
    label_->setRate(std::optional<int>());
    label_->setVisible(false);
}

void MeasurementsController::applyLanguage(bool russian) {
    applyLanguage(russian ? velkard::ui::Language::Russian : velkard::ui::Language::English);
}

void MeasurementsController::applyLanguage(velkard::ui::Language l) {
    language_ = l;
    updateNotes();
    action_->setText(velkard::ui::translated<MeasurementsController>(l, QT_TR_NOOP("Измерения")));
    label_->applyLanguage(l);
    calipers_->applyLanguage(l);
    window_->applyLanguage(l);
}

void MeasurementsController::showWindow() {
    if (!reviewing_)
        return;
    measureForWindow();
    window_->show();
    window_->raise();
}

void MeasurementsController::measureForWindow() {
    interpret::Interpretation r = interpret::interpretRecording(
        page_.recording, page_.firstRecord, kWindowSeconds * kSecond, patient_, &page_.present);
    const Measurements& m = r.measurements;
    const double available =
        static_cast<double>(page_.recording.size() / signal::kRecordBytes - page_.firstRecord) /
        kSecond;
    window_->setMeasurements(m, static_cast<double>(page_.firstRecord) / kSecond,
                             std::clamp<double>(available, 0.0, kWindowSeconds));
    window_->setStatements(std::move(r.statements), page_.firstRecord, kWindowSeconds * kSecond);
}

void MeasurementsController::setCardRecording(velkard::ui::Seams seams,
                                              const std::filesystem::path& workDir,
                                              const std::string& id, int number,
                                              const std::string& recordedAt) {
    const std::string key =
        workDir.string() + '\n' + id + '\n' + std::to_string(number) + '\n' + recordedAt;
    if (key == cardKey_)
        return;
    cardKey_ = key;
    if (id.empty() || number < 1) {
        window_->setReportContext(std::nullopt);
        return;
    }
    ReportContext c;
    c.messages = &seams.messages;
    c.dialogs = &seams.dialogs;
    c.workDir = workDir;
    c.patientId = id;
    c.recordNumber = number;
    c.recordedAt = recordedAt;
    window_->setReportContext(std::move(c));
}

std::optional<interpret::Report> MeasurementsController::storedReport() const {
    if (window_->reportStored())
        return window_->report();
    return std::nullopt;
}

} // namespace velkard::measure::ui
