// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window needs of the measurements, behind a few calls: the heart rate in the tool
// panel (live from the acquisition's blocks, in review the rate of the shown page), the calipers
// over the review page and the measurements window with its menu action.
#pragma once

#include "interpret/Interpret.h"
#include "interpret/Report.h"
#include "measure/HeartRateMeter.h"
#include "measure/Measurements.h"
#include "measure/SignalQuality.h"
#include "signal/SampleRecord.h"

#include "ui/Language.h"
#include "ui/Messages.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QAction;
class QWidget;

namespace velkard::measure::ui {

class Calipers;
class HeartRateLabel;
class MeasurementsWindow;

// The page of a recording under review, and the scale it is drawn at.
struct ReviewPage {
    std::span<const std::uint8_t> recording; // 16-byte sample records
    std::int64_t firstRecord = 0;            // the page's first record
    int seconds = 0;                         // seconds the page spans
    double msPerPixel = 12.5;                // across
    double mvPerPixel = 0.03;                // up
    // The leads the recording carries (a file of another system may lack some): the others take
    // no part in the measurements and statements, and their values are "—".
    LeadSet present{true, true, true, true, true, true, true, true, true, true, true, true};

    bool operator==(const ReviewPage& o) const {
        return recording.data() == o.recording.data() && recording.size() == o.recording.size() &&
               firstRecord == o.firstRecord && seconds == o.seconds && msPerPixel == o.msPerPixel &&
               mvPerPixel == o.mvPerPixel && present == o.present;
    }
};

// What the signal quality found in a lead, in the language's words joined by ", " ("отключено",
// "шум", "сеть" (not said of a noisy lead), "дрейф", "скачки"); empty for a clean lead.
QString leadQualityWords(const LeadQuality& quality, velkard::ui::Language language);

class MeasurementsController : public QObject {
    Q_OBJECT
public:
    // labelParent: the tool panel (the main window lays the label out); drawingArea: the calipers
    // cover it; window: owner of the measurements window.
    MeasurementsController(QWidget* labelParent, QWidget* drawingArea, QWidget* window);
    ~MeasurementsController() override;

    HeartRateLabel* heartRateLabel() const { return label_; }
    Calipers* calipers() const { return calipers_; }
    MeasurementsWindow* window() const { return window_; }
    // "Измерения" / "Measurements": opens the window on the page under review.
    QAction* showAction() const { return action_; }

    // The live sweep starts (monitoring): the rate starts afresh.
    void liveStarted();
    // One block handed over by the acquisition.
    void liveBlock(const signal::SampleBlock& block);
    // A review page is shown (after opening, paging, a new speed or scale). The same page again
    // (a repaint) changes nothing.
    void reviewPage(const ReviewPage& page);
    // Neither live nor review: no rate, no calipers, the action off.
    void nothingShown();

    // The action, the label, the calipers and the window in `language`.
    void applyLanguage(velkard::ui::Language language);
    void applyLanguage(bool russian); // Russian or English
    // Opens the measurements window on the 10 s from the shown page's start.
    void showWindow();
    // Whose recording is reviewed: the statements' thresholds follow sex and age.
    void setPatient(const interpret::Patient& patient) { patient_ = patient; }
    // The reviewed recording is recording `number` of patient `id` in the card file of workDir
    // (recorded at "dd.MM.yyyy hh:mm:ss"): its report can be edited and confirmed. An empty id:
    // not a card-file recording.
    void setCardRecording(velkard::ui::Seams seams, const std::filesystem::path& workDir,
                          const std::string& id, int number, const std::string& recordedAt);
    // The report stored beside that recording (what the printed report says); nullopt when
    // there is none or it cannot be read.
    std::optional<interpret::Report> storedReport() const;

    // What the signal quality finds in each lead (order I … V6) in the interface language, to be
    // shown by the lead's name: live over the last seconds, in review over the shown page; empty
    // for a clean lead and when nothing is shown.
    const std::array<QString, signal::kLeadCount>& leadNotes() const { return notes_; }
    // The live quality looks at this many seconds and is assessed again every second.
    static constexpr int kLiveQualitySeconds = 5;

signals:
    // The lead notes changed (another page, a lead that went off or came back, the language).
    void leadNotesChanged();

private:
    void measureForWindow();
    // Takes a new quality (nullopt: nothing shown) and says so when the notes change.
    void setQuality(const std::optional<SignalQuality>& quality);
    void updateNotes();

    HeartRateLabel* label_ = nullptr;
    Calipers* calipers_ = nullptr;
    MeasurementsWindow* window_ = nullptr;
    QAction* action_ = nullptr;
    std::unique_ptr<HeartRateMeter> meter_;
    ReviewPage page_;
    interpret::Patient patient_;
    bool reviewing_ = false;
    std::string cardKey_; // what setCardRecording was last given
    velkard::ui::Language language_ = velkard::ui::Language::Russian;
    std::optional<SignalQuality> quality_;
    std::array<QString, signal::kLeadCount> notes_;
    // The live sweep's last seconds of records (a ring from liveNext_) and the records since
    // their quality was last assessed.
    std::vector<signal::SampleRecord> liveRecords_;
    std::size_t liveNext_ = 0;
    int liveSinceQuality_ = 0;
};

} // namespace velkard::measure::ui
