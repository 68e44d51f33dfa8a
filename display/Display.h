// SPDX-License-Identifier: GPL-3.0-or-later
// The ECG drawing surface of the main window: grid, labels, calibration marks, review pages,
// rhythmogram pages and the live sweep, drawn into one QImage in window client coordinates.
//
// The main window owns one Display, shows surface() below its tool panel, forwards the selector,
// paint/resize and paging events to the handler functions below and reads forwardEnabled() /
// backEnabled() for its buttons. What is shown (signal/View.h) is the caller's: every call that
// draws differently by it is handed it, and the display never changes it. Everything runs on the
// user-interface thread.
#pragma once

#include "display/Canvas.h"
#include "display/Envelope.h"
#include "display/Geometry.h"
#include "display/Leads.h"
#include "display/ScreenGrid.h"
#include "filter/Filters.h"
#include "signal/Recording.h"
#include "signal/SampleRecord.h"
#include "signal/View.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velkard::display {

// The window's shape: outer size, client-area right and bottom, and the tool panel's height (the
// drawing area's top).
struct WindowMetrics {
    int outerWidth = 1024;
    int outerHeight = 768;
    int clientRight = 1024;
    int clientBottom = 700;
    int panelHeight = 30;
    bool operator==(const WindowMetrics&) const = default;
};

// Shown when a rhythmogram file cannot be read.
inline constexpr const char* kEcgOpenError = "Ошибка открытия файла с ЭКГ";

class Display {
public:
    explicit Display(DeviceCaps caps = {}, WindowMetrics window = {});
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // ---- shape and choices -------------------------------------------------------------------
    // New screen capabilities; takes effect at the next geometry computation.
    void setDeviceCaps(const DeviceCaps& caps);
    // New window shape (resize): the surface grows to cover it. Call setSpeed afterwards,
    // as the window's resize handler does.
    void setWindowMetrics(const WindowMetrics& window);
    const WindowMetrics& windowMetrics() const { return win_; }

    // Initial choices (from the settings file), then the vertical and horizontal geometry.
    void setChoices(int scaleIndex, int groupIndex, int speedIndex);
    const Geometry& geometry() const { return geo_; }
    Geometry& geometry() { return geo_; }
    void computeVerticalGeometry();
    // The printer page width in pixels when a printer exists; it is remembered, so later speed
    // changes recompute the printer samples per column too. Without a printer they keep their
    // value.
    void computeHorizontalGeometry(std::optional<int> printerPageWidthPx = std::nullopt);

    // The window surface (at least outer width × outer height, and client right × client bottom).
    const QImage& surface() const { return surface_; }
    // The grid alone as the first review page shows it, on a white image of the window's outer
    // size.
    QImage gridImage() const;
    // What the screen grid is drawn for now: the drawing area, the trace's step and the row its
    // big lines are aligned to.
    GridLayout gridLayout() const;

    // The language of the ruler, the rhythmogram's words and its numbers (Russian: "12 с", a
    // decimal comma; otherwise "12s", a decimal point). A shown review or rhythmogram page is drawn
    // again in it.
    void setRussian(bool russian, const View& view);
    bool russian() const { return russian_; }

    // The ECG on ECG paper's white (the default) or on a dark background; takes effect at the
    // next drawing (the caller redraws).
    void setDarkScreen(bool dark);
    const ScreenPalette& palette() const { return palette_; }
    // Traces are drawn about 1.5 px wide, with a soft edge, where the screen has at least this
    // many pixels per millimetre (a finer line would look thin beside the grid); one pixel wide
    // below.
    static constexpr double kWideTracePxPerMm = 3.0;
    bool wideTraces() const { return geo_.caps.horzPxPerMm() >= kWideTracePxPerMm; }

    // ---- selector handlers (the main window calls setSpeed from its paint and resize handler too)
    // ------------ Each returns false when its guard kept it from acting (nothing changes while a
    // rhythmogram is shown; a speed chosen while nothing is shown is kept but draws nothing).
    bool setScale(int itemIndex, const View& view);
    bool setLeadGroup(int itemIndex, const View& view);
    bool setSpeed(int itemIndex, const View& view);

    // ---- furniture ----------------------------------------------------------------------------
    // Paints the grid into the drawing area (right of the label strip, below the tool panel): in
    // step with the shown review page, otherwise with the live sweep's start as time zero.
    void drawAndCopyGrid(const View& view);
    void drawGridImage();
    void copyGridToWindow(const View& view);
    void clearLabelStrip();
    // Each lead's label, and under it the lead's note, a word a line.
    void drawLeadLabels();
    void drawCalibrationMark(const QColor& pen);
    // A few words per lead (order I … V6) shown under its label, in the warning colour: what the
    // signal quality finds in it ("шум", "отключено" …); empty for none. Takes effect at the
    // next drawing of the labels; redrawLeadFurniture shows it at once.
    void setLeadNotes(const std::array<QString, 12>& notes) { leadNotes_ = notes; }
    const std::array<QString, 12>& leadNotes() const { return leadNotes_; }
    // Draws again what stands left of the traces (the label strip, the grid there, the
    // calibration marks, the labels with their notes) and leaves the traces as they are; the
    // rectangle it changed, for the window to repaint.
    QRect redrawLeadFurniture(const View& view);
    void drawSecondLabels();
    // Fills the client area white (what the window does before a rhythmogram page and when it
    // clears the drawing area).
    void clearClientArea();

    // ---- review -------------------------------------------------------------------------------
    // The recording under review: the bytes stay owned by the caller and must outlive their use
    // here (until the next setRecording/openRecording/openRhythmogram). kindA2 says how its leads
    // are derived.
    void setRecording(std::span<const std::uint8_t> bytes, int durationSeconds, bool kindA2);
    // Resets the review state, sets the recording (of view.kindA2) and draws page 0 (grid, labels,
    // traces) when view shows a review.
    void openRecording(std::span<const std::uint8_t> bytes, int durationSeconds, const View& view);
    // The same over the sample store's buffer (which must outlive its use here).
    void openRecording(const signal::RecordingBuffer& buffer, int durationSeconds,
                       const View& view) {
        openRecording(std::span<const std::uint8_t>(buffer.bytes), durationSeconds, view);
    }
    std::span<const std::uint8_t> recording() const { return bytes_; }
    // The shown recording before the display's filters: what the measurements are made on, so
    // that they do not change with the filters chosen for viewing (the report, the command line
    // and the exports measure it too).
    std::span<const std::uint8_t> unfilteredRecording() const {
        return filtered_.empty() ? bytes_ : rawBytes_;
    }
    // Which of the twelve leads the recording carries (all unless told otherwise: an imported
    // file of another system may lack some). An absent lead's row shows its label and a dash
    // instead of a flat trace. Takes effect at the next page drawn.
    void setLeadsShown(const std::array<bool, 12>& leads) { leadsShown_ = leads; }
    const std::array<bool, 12>& leadsShown() const { return leadsShown_; }
    int durationSeconds() const { return duration_; }

    // Display filters for review (zero phase over the whole recording) and live sweep (causal).
    // The recording's own bytes stay as they are; the review shows a filtered copy. Takes effect at
    // once on a shown recording.
    void setFilters(const filter::FilterSettings& filters, const View& view);
    const filter::FilterSettings& filters() const { return filters_; }

    // Resets paging, the derived-record count and second labels, recomputes seconds per screen
    // and the row spacings, and draws the first page when a recording is shown.
    void prepareReviewGeometry(const View& view);
    void drawReviewPage();
    // The next or previous page of what view shows: review pages, rhythmogram pages, or the grid.
    void forward(const View& view);
    void back(const View& view);

    bool forwardEnabled() const { return forwardEnabled_; }
    bool backEnabled() const { return backEnabled_; }
    int pageNumber() const { return page_; }
    int secondsPerScreen() const { return secondsPerScreen_; }
    double savedChunkOffset() const { return savedChunkOffset_; }
    int savedColumn() const { return savedColumn_; }
    // Byte offset at which the last drawn review or rhythmogram page started.
    std::int64_t pageStartOffset() const { return pageStart_; }
    // Record at which the shown review page starts, and its first whole second.
    std::int64_t pageFirstRecord() const { return pageStart_ / signal::kRecordBytes; }
    int pageFirstSecond() const;
    // The second labels of the shown review page: x of each label's left edge, and its second.
    struct PlacedLabel {
        int x = 0;
        int second = 0;
    };
    const std::vector<PlacedLabel>& secondLabels() const { return placedLabels_; }
    // Where a review page's trace starts (column of its first record) and how many columns it has.
    int traceOrigin() const;
    int traceColumns() const;
    const RowSpacings& rowSpacings() const { return spacings_; }
    // The calibration mark of a calibrated row: left edge, the 1 mV pulse's rise and fall (5 mm
    // apart, as on paper at 25 mm/s), right edge, and its top and baseline rows.
    struct CalibrationMark {
        int left = 0, rise = 0, fall = 0, right = 0, top = 0, baseline = 0;
    };
    CalibrationMark calibrationMarkOf(int row) const;
    // The first row the drawing area shows below the tool panel and the second labels.
    int firstClearRow() const;

    // ---- rhythmogram ----------------------------------------------------------------------------
    // Reads the whole file, resets paging and draws the first page (the caller then shows
    // Shown::Rhythmogram). On failure nothing is drawn
    // and the result carries kEcgOpenError.
    Status openRhythmogram(const std::string& path);
    // The same, reading the file into the sample store's buffer (left unchanged on failure), which
    // then must outlive its use here.
    Status openRhythmogram(const std::string& path, signal::RecordingBuffer& buffer);
    // Same from bytes already in memory (copied).
    void openRhythmogramBytes(std::vector<std::uint8_t> bytes);
    void drawRhythmogramPage();

    // ---- live sweep ---------------------------------------------------------------------------
    void prepareLiveDisplay();
    // Draws one completed block of 400 records at the sweep position.
    void drawLiveBlock(const signal::SampleBlock& block);
    // Same from the 6400 raw little-endian bytes of a block.
    void drawLiveBlock(const std::uint8_t* blockBytes);
    int sweepPosition() const { return sweepPos_; }
    int gridPosition() const { return gridPos_; }
    int sweepOrigin() const;
    int lastStripWidth() const { return lastStrip_; }
    // The surface's columns the last drawLiveBlock changed (the strip, the joining column before
    // it and the erase bar after it), the whole height; empty when it drew nothing. The window
    // repaints only these.
    QRect lastLiveChange() const { return lastChange_; }

private:
    void ensureSurface();
    void resetReviewState();
    void startRhythmogram();
    void resetSweep();
    void redrawAfterChoice(const View& view);
    void applyFilters();

    Geometry geo_;
    WindowMetrics win_;
    QImage surface_;
    QRect lastChange_;
    ScreenGrid grid_; // its row pattern is kept per layout
    RowSpacings spacings_;
    std::optional<int> printerPageWidth_;

    bool russian_ = false;
    ScreenPalette palette_ = kPaperPalette;
    int halo() const { return wideTraces() ? 128 : 0; }
    // The rows' spacings for the window and the group: spread so the first calibrated row's
    // 1 mV mark stands wholly below the tool panel and the second labels at every scale.
    RowSpacings spacingsNow() const;

    std::array<QString, 12> leadNotes_;

    // The window canvas's current font (size in points, bold).
    int fontSize_ = 8;
    bool fontBold_ = false;

    // Review.
    std::span<const std::uint8_t> bytes_;    // what is drawn: the recording or its filtered copy
    std::span<const std::uint8_t> rawBytes_; // the recording as the caller holds it
    bool recordingA2_ = false;               // its leads are derived as of kind A2
    std::array<bool, 12> leadsShown_{true, true, true, true, true, true,
                                     true, true, true, true, true, true};
    std::vector<std::uint8_t> filtered_; // the filtered copy
    filter::FilterSettings filters_;
    std::vector<std::uint8_t> ownBytes_; // a rhythmogram read here
    int duration_ = 0;
    int page_ = 0;
    bool backward_ = false;
    bool continue_ = false; // rhythmogram paging
    double savedChunkOffset_ = 0;
    int savedColumn_ = 0;
    int secondsPerScreen_ = 0;
    std::vector<PlacedLabel> placedLabels_;
    bool forwardEnabled_ = false;
    bool backEnabled_ = false;
    std::int64_t pageStart_ = 0;

    // Working arrays of a review page, kept from page to page.
    std::array<std::vector<std::int16_t>, 12> pageLeads_;
    std::vector<ColumnSpan> pageColumns_;

    // Working arrays of the live drawing.
    DerivedLeads derived_{};
    std::array<EnvelopeBuilder, 12> liveEnvelopes_;
    std::array<std::vector<ColumnSpan>, 12> liveColumns_;
    std::array<ColumnSpan, 12> liveLast_{}; // each row's last column drawn, to join the next strip
    filter::StreamFilter liveFilter_;

    // Live sweep.
    int sweepPos_ = 0;
    int gridPos_ = 0;
    int lastStrip_ = 0;
};

} // namespace velkard::display
