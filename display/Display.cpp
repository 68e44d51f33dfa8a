// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Display.h"

#include "display/Canvas.h"
#include "display/RrStatistics.h"
#include "display/Texts.h"
#include "display/TracePage.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace velkard::display {

namespace {

constexpr int kDotsPerMeter96Dpi = 3780; // fonts are sized as on a 96 dpi window canvas

QImage makeImage(int w, int h) {
    QImage img(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    img.fill(kWhite);
    img.setDotsPerMeterX(kDotsPerMeter96Dpi);
    img.setDotsPerMeterY(kDotsPerMeter96Dpi);
    return img;
}

int tr(double v) {
    return static_cast<int>(v);
}

} // namespace

Display::Display(DeviceCaps caps, WindowMetrics window) : win_(window) {
    geo_.caps = caps;
    geo_.computeVertical();
    geo_.computeHorizontal();
    spacings_ = spacingsNow();
    ensureSurface();
}

Display::~Display() = default;

void Display::ensureSurface() {
    const int w = std::max({win_.outerWidth, win_.clientRight, 1});
    const int h = std::max({win_.outerHeight, win_.clientBottom, 1});
    if (surface_.width() == w && surface_.height() == h)
        return;
    QImage next = makeImage(w, h);
    if (!surface_.isNull())
        stretchCopy(
            next, QRect(0, 0, std::min(w, surface_.width()), std::min(h, surface_.height())),
            surface_, QRect(0, 0, std::min(w, surface_.width()), std::min(h, surface_.height())));
    surface_ = std::move(next);
}

void Display::setDeviceCaps(const DeviceCaps& caps) {
    geo_.caps = caps;
}

void Display::setWindowMetrics(const WindowMetrics& window) {
    win_ = window;
    ensureSurface();
}

void Display::setChoices(int scaleIndex, int groupIndex, int speedIndex) {
    geo_.scaleIndex = clampScale(scaleIndex);
    geo_.groupIndex = clampGroup(groupIndex);
    geo_.speedIndex = clampSpeed(speedIndex);
    computeVerticalGeometry();
    computeHorizontalGeometry();
}

void Display::computeVerticalGeometry() {
    geo_.computeVertical();
}

void Display::computeHorizontalGeometry(std::optional<int> printerPageWidthPx) {
    if (printerPageWidthPx)
        printerPageWidth_ = printerPageWidthPx;
    geo_.computeHorizontal(printerPageWidth_);
}

void Display::setDarkScreen(bool dark) {
    const ScreenPalette& next = dark ? kDarkPalette : kPaperPalette;
    if (next.background == palette_.background)
        return;
    palette_ = next;
    grid_.setColours(palette_.background, palette_.gridMinor, palette_.gridMajor);
    ensureSurface();
    surface_.fill(palette_.background);
}

void Display::setRussian(bool russian, const View& view) {
    if (russian == russian_)
        return;
    russian_ = russian;
    if (view.rhythmogram()) {
        clearClientArea();
        drawRhythmogramPage();
    } else if (view.review()) {
        drawReviewPage();
    }
}

// ---- selector handlers ----------------------------------------------------------------------

bool Display::setScale(int itemIndex, const View& view) {
    if (view.rhythmogram() || itemIndex < 0 || itemIndex >= kScaleCount)
        return false;
    geo_.scaleIndex = itemIndex;
    computeVerticalGeometry();
    redrawAfterChoice(view);
    return true;
}

bool Display::setLeadGroup(int itemIndex, const View& view) {
    if (view.rhythmogram() || itemIndex < 0 || itemIndex >= kGroupCount)
        return false;
    geo_.groupIndex = itemIndex; // also the single-lead index for groups 0..2
    redrawAfterChoice(view);
    return true;
}

bool Display::setSpeed(int itemIndex, const View& view) {
    if (view.rhythmogram())
        return false;
    if (itemIndex >= 0 && itemIndex < kSpeedCount)
        geo_.speedIndex = itemIndex;
    computeHorizontalGeometry();
    // Before a patient or a recording is chosen there is nothing to redraw, but the choice holds
    // for what is drawn next (the box must not show one speed while another is used).
    if (view.shown != Shown::Live && !view.review())
        return false;
    redrawAfterChoice(view);
    return true;
}

void Display::redrawAfterChoice(const View& view) {
    ensureSurface();
    clearLabelStrip();
    drawLeadLabels();
    resetSweep();
    drawAndCopyGrid(view);
    drawCalibrationMark(QColor(0, 0, 255));
    prepareReviewGeometry(view);
}

// ---- furniture ------------------------------------------------------------------------------

GridLayout Display::gridLayout() const {
    GridLayout g;
    g.left = tr(9 * geo_.caps.horzPxPerMm());
    g.top = win_.panelHeight;
    g.right = win_.outerWidth;
    g.bottom = win_.clientBottom;
    g.vertPxPerMm = geo_.vertPxPerMm;
    // The first calibration mark stands on row 0's baseline.
    g.baseline = rowBaseline(geo_.groupIndex, 0, spacingsNow());
    g.samplesPerColumn = geo_.screenSamplesPerColumn;
    g.samplesPerBigSquare =
        5 * kSampleRate / kSpeedMmPerS[static_cast<std::size_t>(clampSpeed(geo_.speedIndex))];
    return g;
}

void Display::drawGridImage() {
    grid_.setLayout(gridLayout());
}

QImage Display::gridImage() const {
    ScreenGrid grid;
    grid.setColours(palette_.background, palette_.gridMinor, palette_.gridMajor);
    grid.setLayout(gridLayout());
    QImage image = makeImage(win_.outerWidth, win_.outerHeight);
    image.fill(palette_.background);
    grid.paint(image, 0, win_.outerWidth, traceOrigin(), 0);
    return image;
}

void Display::copyGridToWindow(const View& view) {
    ensureSurface();
    grid_.setLayout(gridLayout());
    const GridLayout& g = grid_.layout();
    if (view.review())
        grid_.paint(surface_, g.left, g.right, traceOrigin(),
                    display::pageFirstRecord(page_, traceColumns(), geo_.screenSamplesPerColumn));
    else
        grid_.paint(surface_, g.left, g.right, sweepOrigin(), 0);
}

void Display::drawAndCopyGrid(const View& view) {
    drawGridImage();
    copyGridToWindow(view);
}

void Display::clearLabelStrip() {
    Canvas c(surface_);
    c.fill(0, 1, tr(10 * geo_.horzPxPerMm), win_.clientBottom, palette_.background);
}

void Display::clearClientArea() {
    ensureSurface();
    Canvas c(surface_);
    c.fill(0, 1, win_.clientRight, win_.clientBottom, palette_.background);
}

void Display::drawLeadLabels() {
    // Plain 8 pt on every page (the second labels drawn after them are bold).
    fontSize_ = 8;
    fontBold_ = false;
    Canvas c(surface_);
    c.setTextColours(palette_.background, palette_.ink);
    const int group = geo_.groupIndex;
    const int n = rowCount(group);
    const RowSpacings spacings = spacingsNow();
    for (int k = 1; k <= n; ++k) {
        // Each label's top at its row's baseline.
        const int x = group == 5 ? 8 : 5;
        const int y = group <= 2 ? spacings.offset + 2 * (win_.clientBottom / 4)
                                 : rowBaseline(group, k - 1, spacings);
        const int lead = leadOfRow(group, k - 1);
        const QString label = QString::fromUtf8(kLeadLabels[static_cast<std::size_t>(lead)]);
        c.text(x, y, label, fontSize_, fontBold_);
        const QString& note = leadNotes_[static_cast<std::size_t>(lead)];
        if (note.isEmpty())
            continue;
        // Right of the label on its line, in a size that ends it before the trace: as many of
        // the words as fit, at least the first (the gravest), cut short with a full stop where
        // it is too long itself. Nothing goes below the line, where the next row's calibration
        // pulse may stand.
        c.setTextColours(palette_.background, palette_.warning);
        const QSize labelSize = c.textSize(label, fontSize_, fontBold_);
        const int left = x + labelSize.width() + c.textSize(QStringLiteral(" "), 7, false).width();
        const int room = std::min(traceOrigin(), sweepOrigin()) - 2 - left;
        const QStringList words = note.split(QStringLiteral(", "), Qt::SkipEmptyParts);
        const int points = c.textSize(words.value(0), 7, false).width() > room ? 6 : 7;
        QString shown = words.value(0);
        for (int keep = int(shown.size()) - 1;
             keep > 1 && c.textSize(shown, points, false).width() > room; --keep)
            shown = shown.left(keep) + QLatin1Char('.');
        for (int k = 1; k < words.size(); ++k) {
            const QString longer = shown + QStringLiteral(", ") + words[k];
            if (c.textSize(longer, points, false).width() > room)
                break;
            shown = longer;
        }
        const QSize size = c.textSize(shown, points, false);
        // The text's bottom level with the label's.
        c.text(left, y + labelSize.height() - size.height(), shown, points, false);
        c.setTextColours(palette_.background, palette_.ink);
    }
}

QRect Display::redrawLeadFurniture(const View& view) {
    ensureSurface();
    const int origin = view.review() ? traceOrigin() : sweepOrigin();
    clearLabelStrip();
    grid_.setLayout(gridLayout());
    const GridLayout& g = grid_.layout();
    if (view.review())
        grid_.paint(surface_, g.left, origin, origin,
                    display::pageFirstRecord(page_, traceColumns(), geo_.screenSamplesPerColumn));
    else
        grid_.paint(surface_, g.left, origin, origin, 0);
    drawCalibrationMark(QColor(0, 0, 255));
    drawLeadLabels();
    return winRect(0, 0, origin, surface_.height());
}

int Display::firstClearRow() const {
    return win_.panelHeight;
}

RowSpacings Display::spacingsNow() const {
    RowSpacings s = RowSpacings::forClientBottom(win_.clientBottom);
    const int group = geo_.groupIndex;
    const int n = std::min(rowCount(group), 12);
    const double mmPerMv = kScaleMmPerMv[static_cast<std::size_t>(clampScale(geo_.scaleIndex))];
    const int needed = firstClearRow() + int(std::ceil(mmPerMv * geo_.vertPxPerMm)) + 1;
    const int first = rowBaseline(group, 0, s);
    if (first >= needed)
        return s;
    if (n <= 1) {
        s.offset = needed - first;
        return s;
    }
    // The last row stays where it was; the others close up towards it.
    const int last = rowBaseline(group, n - 1, s);
    int& spacing = (group == 5 || group == 8) ? s.s2 : group == 9 ? s.s3 : s.s1;
    spacing = std::max(1, (last - needed) / (n - 1));
    s.offset = needed - spacing;
    return s;
}

Display::CalibrationMark Display::calibrationMarkOf(int row) const {
    const double p = geo_.horzPxPerMm;
    const double q = geo_.vertPxPerMm;
    const double h = kScaleMmPerMv[static_cast<std::size_t>(geo_.scaleIndex)];
    CalibrationMark m;
    m.left = tr(9 * p);
    m.rise = tr(11 * p);
    m.fall = tr(16 * p); // 5 mm of pulse, as on paper at 25 mm/s
    m.right = tr(18 * p);
    // On the row's own baseline, so the mark measures the trace beside it.
    m.baseline = rowBaseline(geo_.groupIndex, row, spacingsNow());
    m.top = tr(m.baseline - h * q);
    return m;
}

void Display::drawCalibrationMark(const QColor& pen) {
    Canvas c(surface_);
    // The paper's blue, or the palette's own on a dark background.
    c.setPen(palette_.background == kPaperPalette.background ? (pen.rgb() | 0xFF000000u)
                                                             : palette_.mark);
    const int n = rowCount(geo_.groupIndex);
    for (int row = 0; row < n && row < 12; ++row) {
        if (row % 3 != 0)
            continue;
        const CalibrationMark m = calibrationMarkOf(row);
        c.line(m.left, m.baseline, m.rise, m.baseline);
        c.line(m.rise, m.baseline, m.rise, m.top);
        c.line(m.rise, m.top, m.fall, m.top);
        c.line(m.fall, m.top, m.fall, m.baseline);
        c.line(m.fall, m.baseline, m.right, m.baseline);
    }
}

int Display::traceOrigin() const {
    return tr(19 * geo_.caps.horzPxPerMm());
}

int Display::traceColumns() const {
    return std::max(1, geo_.caps.horzRes - traceOrigin());
}

int Display::pageFirstSecond() const {
    return int((pageFirstRecord() + signal::kRecordsPerSecond - 1) / signal::kRecordsPerSecond);
}

void Display::drawSecondLabels() {
    fontBold_ = true;
    fontSize_ = 10;
    placedLabels_.clear();
    const double spc = geo_.screenSamplesPerColumn;
    const std::int64_t records = std::int64_t(bytes_.size() / signal::kRecordBytes);
    const std::int64_t first = display::pageFirstRecord(page_, traceColumns(), spc);
    const std::int64_t end = std::min(records, first + columnStart(traceColumns(), spc));
    // Thin the labels out where they would touch: the widest is the page's last second.
    QFont font = QGuiApplication::font();
    font.setPointSize(fontSize_);
    font.setBold(fontBold_);
    const QFontMetrics fm(font, &surface_);
    const int widest =
        fm.horizontalAdvance(secondLabelText(int(end / signal::kRecordsPerSecond), russian_));
    const int step = secondLabelStep(signal::kRecordsPerSecond / spc, widest);
    const int xEnd = geo_.caps.horzRes;
    Canvas c(surface_);
    c.setTextColours(palette_.background, palette_.ink);
    for (const SecondLabel& l : secondLabelsOfPage(first, end, traceOrigin(), xEnd, spc, step)) {
        if (l.x + widest > std::max(xEnd, win_.clientRight) + widest / 2)
            break;
        c.text(l.x, win_.panelHeight, secondLabelText(l.second, russian_), fontSize_, fontBold_);
        placedLabels_.push_back({l.x, l.second});
    }
}

// ---- review ---------------------------------------------------------------------------------

void Display::setRecording(std::span<const std::uint8_t> bytes, int durationSeconds, bool kindA2) {
    if (bytes.data() != ownBytes_.data())
        ownBytes_.clear();
    rawBytes_ = bytes;
    recordingA2_ = kindA2;
    duration_ = std::max(durationSeconds, 0);
    applyFilters();
}

void Display::applyFilters() {
    filtered_.clear();
    bytes_ = rawBytes_;
    if (filters_.any() && !rawBytes_.empty()) {
        filtered_ = filter::filteredCopy(rawBytes_, filters_,
                                         recordingA2_ ? std::size_t(kA2DerivedLimit) : SIZE_MAX);
        bytes_ = std::span<const std::uint8_t>(filtered_);
    }
}

void Display::setFilters(const filter::FilterSettings& filters, const View& view) {
    const bool changed = !(filters == filters_);
    filters_ = filters;
    liveFilter_.reset(filters_);
    if (!changed || view.rhythmogram())
        return;
    applyFilters();
    if (view.review())
        drawReviewPage();
}

void Display::resetReviewState() {
    page_ = 0;
    backward_ = false;
    continue_ = false;
    savedChunkOffset_ = 0;
    savedColumn_ = 0;
    placedLabels_.clear();
    pageStart_ = 0;
}

void Display::openRecording(std::span<const std::uint8_t> bytes, int durationSeconds,
                            const View& view) {
    resetReviewState();
    setRecording(bytes, durationSeconds, view.kindA2);
    redrawAfterChoice(view);
}

void Display::prepareReviewGeometry(const View& view) {
    page_ = 0;
    savedChunkOffset_ = 0;
    savedColumn_ = 0;
    secondsPerScreen_ = display::secondsPerScreen(geo_.caps, geo_.speedIndex);
    spacings_ = spacingsNow();
    if (view.review())
        drawReviewPage();
}

void Display::drawReviewPage() {
    ensureSurface();
    // Pages follow each other without gap or overlap; a page is drawn from its own records only,
    // so any page looks the same however it was reached.
    const double spc = geo_.screenSamplesPerColumn;
    const int x0 = traceOrigin();
    const int columns = traceColumns();
    const std::int64_t records = std::int64_t(bytes_.size() / signal::kRecordBytes);
    const std::int64_t first = display::pageFirstRecord(page_, columns, spc);
    const std::int64_t next = display::pageFirstRecord(page_ + 1, columns, spc);
    pageStart_ = first * signal::kRecordBytes;
    forwardEnabled_ = next < records;
    backEnabled_ = page_ > 0;

    // The grid in step with this page's seconds, under everything else.
    grid_.setLayout(gridLayout());
    grid_.paint(surface_, grid_.layout().left, grid_.layout().right, x0, first);
    drawLeadLabels();
    drawSecondLabels();
    drawCalibrationMark(QColor(0, 0, 255));

    const std::int64_t count =
        deriveRangeInto(bytes_, first, next - first, recordingA2_, pageLeads_);
    Canvas c(surface_);
    c.setPen(palette_.ink);
    const int group = geo_.groupIndex;
    const int n = rowCount(group);
    for (int row = 0; row < n && row < 12; ++row) {
        const auto leadIndex = static_cast<std::size_t>(leadOfRow(group, row));
        if (!leadsShown_[leadIndex]) {
            // Not in the file: a dash on the row's baseline, never a flat line.
            c.text(x0 + 6, rowBaseline(group, row, spacings_) - fontSize_, QStringLiteral("—"),
                   fontSize_, fontBold_);
            continue;
        }
        const auto& lead = pageLeads_[leadIndex];
        drawnColumns(lead.data(), std::size_t(count), spc, pageColumns_);
        drawSpans(c, pageColumns_, x0, geo_.caps.horzRes, rowBaseline(group, row, spacings_),
                  geo_.gain, halo());
    }
}

void Display::forward(const View& view) {
    backward_ = false;
    continue_ = true;
    if (view.rhythmogram()) {
        ++page_;
        backEnabled_ = true;
        clearClientArea();
        drawRhythmogramPage();
        return;
    }
    if (!forwardEnabled_)
        return;
    ++page_;
    // A review page paints its own grid.
    if (view.review())
        drawReviewPage();
    else
        drawAndCopyGrid(view);
}

void Display::back(const View& view) {
    // Page 0 has no page before it; starting from a negative offset would read outside the data.
    if (page_ <= 0)
        return;
    backward_ = true;
    continue_ = false;
    --page_;
    forwardEnabled_ = true;
    if (view.rhythmogram()) {
        clearClientArea();
        drawRhythmogramPage();
        return;
    }
    clearLabelStrip();
    drawLeadLabels();
    if (view.review())
        drawReviewPage();
    else
        drawAndCopyGrid(view);
}

// ---- rhythmogram ----------------------------------------------------------------------------

Status Display::openRhythmogram(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(ErrorCode::CannotOpen, kEcgOpenError);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Status::failure(ErrorCode::CannotRead, kEcgOpenError);
    openRhythmogramBytes(std::vector<std::uint8_t>(data.begin(), data.end()));
    return Status::success();
}

Status Display::openRhythmogram(const std::string& path, signal::RecordingBuffer& buffer) {
    if (Status loaded = signal::loadRecording(path, buffer); !loaded)
        return Status::failure(loaded.code, kEcgOpenError);
    ownBytes_.clear();
    bytes_ = std::span<const std::uint8_t>(buffer.bytes);
    startRhythmogram();
    return Status::success();
}

void Display::openRhythmogramBytes(std::vector<std::uint8_t> bytes) {
    ownBytes_ = std::move(bytes);
    bytes_ = std::span<const std::uint8_t>(ownBytes_.data(), ownBytes_.size());
    startRhythmogram();
}

void Display::startRhythmogram() {
    page_ = 0;
    savedChunkOffset_ = 0;
    savedColumn_ = 0;
    backward_ = false;
    continue_ = false;
    ensureSurface();
    clearClientArea();
    drawRhythmogramPage();
}

void Display::drawRhythmogramPage() {
    ensureSurface();
    const double p = geo_.caps.horzPxPerMm();
    const double q = geo_.caps.vertPxPerMm();
    const int W = win_.outerWidth;
    const int b = win_.clientBottom / 2;
    spacings_.s1 = b;

    fontSize_ = 11;
    Canvas c(surface_);
    c.setPen(palette_.ink);
    c.setTextColours(palette_.background, palette_.ink);
    const int x0 = tr(13 * p);

    // The RR axis: 20 mm a second, a tick, a label in the language's notation and a faint line
    // across every half second, so a bar's interval reads off at a glance.
    const int plotEnd = tr(W - 10 * p);
    QFont tickFont = QGuiApplication::font();
    tickFont.setPointSize(9);
    const QFontMetrics tickMetrics(tickFont, &surface_);
    for (int k = 1; k <= 4; ++k) {
        const int y = tr(b - 10 * k * q);
        c.setPen(palette_.gridMajor);
        c.line(x0 + 2, y, plotEnd, y);
        c.setPen(palette_.ink);
        c.line(tr(x0 - p), y, tr(x0 + p), y);
        const QString label = decimalText(0.5 * k, 1, russian_);
        c.text(x0 - tr(p) - 2 - tickMetrics.horizontalAdvance(label), y - tickMetrics.height() / 2,
               label, 9, false);
    }
    c.line(x0, b, x0, tr(b - 50 * q));
    fontSize_ = 12;
    // The axis's name above its arrow.
    c.text(4, tr(b - 50 * q) - 24, russian_ ? QStringLiteral("t , с") : QStringLiteral("t , s"),
           fontSize_, fontBold_);
    c.line(x0, b, tr(W - 5 * p), b);
    c.text(W - 30, b + 5, QStringLiteral("t"), fontSize_, fontBold_);

    auto t = [&](int k) { return tr(b - 50 * q + k); };
    c.line(x0 - 3, t(12), x0 - 3, t(8));
    c.line(x0 - 2, t(8), x0 - 2, t(4));
    c.line(x0 - 1, t(4), x0 - 1, t(0));
    c.line(x0 + 1, t(0), x0 + 1, t(4));
    c.line(x0 + 2, t(4), x0 + 2, t(8));
    c.line(x0 + 3, t(8), x0 + 3, t(12));
    for (int i = 0; i < 3; ++i)
        c.line(W + 4 * i - 32, b + i - 3, W + 4 * i - 28, b + i - 3);
    c.line(W - 32, b + 3, W - 28, b + 3);
    c.line(W - 28, b + 2, W - 24, b + 2);
    c.line(W - 24, b + 1, W - 20, b + 1);

    c.text(W / 2, tr(b + 10 * q),
           (russian_ ? QStringLiteral("Страница %1") : QStringLiteral("Page %1")).arg(page_ + 1),
           fontSize_, fontBold_);
    // The statistics of the whole rhythmogram, under its axis.
    c.text(x0, tr(b + 17 * q), rrStatisticsLine(rrStatistics(bytes_), russian_), 10, false);

    const std::int64_t L = static_cast<std::int64_t>(bytes_.size());
    const std::int64_t P = tr(W - 10 * p - x0 - 2);
    if (W - 10 * p - 19 * p >= double(L)) {
        forwardEnabled_ = false;
        backEnabled_ = false;
    }
    std::int64_t off = P * page_;
    if (continue_)
        off = static_cast<std::int64_t>(savedColumn_ + savedChunkOffset_);
    off = std::max<std::int64_t>(off, 0);
    pageStart_ = off;
    forwardEnabled_ = P + off <= L;
    backEnabled_ = off != 0;

    int x = x0;
    while (off < L) {
        const std::int64_t chunk = std::min<std::int64_t>(L - off, 1000);
        const std::int64_t from = 2 * (off / 2);
        const std::int64_t values = std::min<std::int64_t>(chunk, L - from) / 2;
        for (std::int64_t i = 0; i < values; ++i) {
            const int v = signal::readLe16(bytes_.data() + from + 2 * i);
            c.line(x, b, x, tr(b - 0.02 * q * v));
            x += 2;
            if (x >= W - 10 * p) {
                savedChunkOffset_ = double(off);
                savedColumn_ = static_cast<int>(2 * i);
                return;
            }
        }
        off += 1000;
    }
}

// ---- live sweep -----------------------------------------------------------------------------

int Display::sweepOrigin() const {
    return tr(18 * geo_.caps.horzPxPerMm() + 2);
}

void Display::resetSweep() {
    sweepPos_ = 0;
    gridPos_ = 0;
    for (auto& e : liveEnvelopes_)
        e.reset(geo_.screenSamplesPerColumn);
    liveLast_.fill(ColumnSpan{});
}

void Display::prepareLiveDisplay() {
    ensureSurface();
    geo_.horzPxPerMm = geo_.caps.horzPxPerMm();
    spacings_ = spacingsNow();
    clearLabelStrip();
    drawLeadLabels();
    drawAndCopyGrid(View{Shown::Live});
    drawCalibrationMark(QColor(0, 0, 255));
    resetSweep();
    liveFilter_.reset(filters_);
}

void Display::drawLiveBlock(const std::uint8_t* blockBytes) {
    signal::SampleBlock block;
    for (int r = 0; r < signal::kRecordsPerBlock; ++r)
        for (int ch = 0; ch < signal::kChannels; ++ch)
            block[static_cast<std::size_t>(r)].c[static_cast<std::size_t>(ch)] =
                signal::readLe16(blockBytes + r * 16 + ch * 2);
    drawLiveBlock(block);
}

void Display::drawLiveBlock(const signal::SampleBlock& block) {
    ensureSurface();
    signal::SampleBlock filtered = block;
    liveFilter_.process(filtered);
    deriveLeads(filtered.data(), signal::kRecordsPerBlock, derived_);
    const int group = geo_.groupIndex;
    const int n = std::min(rowCount(group), 12);
    if (liveEnvelopes_[0].samplesPerColumn() != double(geo_.screenSamplesPerColumn))
        for (auto& e : liveEnvelopes_)
            e.reset(geo_.screenSamplesPerColumn);
    // The same envelope as the review, carried on from block to block.
    int count = 0;
    for (int row = 0; row < n; ++row) {
        const auto lead = static_cast<std::size_t>(leadOfRow(group, row));
        liveColumns_[std::size_t(row)].clear();
        liveEnvelopes_[std::size_t(row)].add(derived_[lead].data(), signal::kRecordsPerBlock,
                                             liveColumns_[std::size_t(row)]);
        count = int(liveColumns_[std::size_t(row)].size());
    }
    lastStrip_ = count;
    lastChange_ = QRect();
    if (count <= 0)
        return;

    const int cb = win_.clientBottom;
    gridPos_ += count;
    if (gridPos_ >= win_.clientRight - 55)
        gridPos_ = 0;

    // The erase bar ahead of the head, the grid under the strip (time zero at the sweep's start),
    // then the traces at the review's baselines.
    const int x0 = sweepOrigin() + sweepPos_;
    if (geo_.speedIndex != 3) {
        Canvas wc(surface_);
        wc.fill(x0, 0, x0 + count - 1 + 10, cb, palette_.background);
    }
    // From the joining column to the end of the erase bar; the traces may reach any row.
    lastChange_ = winRect(x0 - 1, 0, x0 + count - 1 + 10, surface_.height()) &
                  winRect(0, 0, surface_.width(), surface_.height());
    grid_.setLayout(gridLayout());
    grid_.paint(surface_, x0, x0 + count, sweepOrigin(), 0);
    for (int row = 0; row < n; ++row) {
        auto& columns = liveColumns_[std::size_t(row)];
        // The previous strip's last column, so the trace joins across strips.
        std::vector<ColumnSpan> joined;
        joined.reserve(columns.size() + 1);
        joined.push_back(liveLast_[std::size_t(row)]);
        joined.insert(joined.end(), columns.begin(), columns.end());
        Canvas clip(surface_);
        clip.setPen(palette_.ink);
        drawSpans(clip, joined, x0 - 1, x0 + count, rowBaseline(group, row, spacings_), geo_.gain,
                  halo());
        // drawSpans drew the joining column again at x0 - 1: that column is already on screen.
        liveLast_[std::size_t(row)] = columns.back();
    }
    sweepPos_ += count;
    if (sweepPos_ >= win_.clientRight - 55) {
        sweepPos_ = 0;
        liveLast_.fill(ColumnSpan{}); // the sweep starts again at the left: nothing to join
    }
}

} // namespace velkard::display
