// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Display.h"

#include "display/Canvas.h"

#include <QFile>
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
    spacings_ = RowSpacings::forClientBottom(win_.clientBottom);
    ensureSurface();
    grid_ = makeImage(win_.outerWidth, win_.outerHeight);
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

// ---- selector handlers ----------------------------------------------------------------------

bool Display::setScale(int itemIndex) {
    if (view_.rhythmogram || itemIndex < 0 || itemIndex >= kScaleCount)
        return false;
    geo_.scaleIndex = itemIndex;
    computeVerticalGeometry();
    redrawAfterChoice();
    return true;
}

bool Display::setLeadGroup(int itemIndex) {
    if (view_.rhythmogram || itemIndex < 0 || itemIndex >= kGroupCount)
        return false;
    geo_.groupIndex = itemIndex; // also the single-lead index for groups 0..2
    redrawAfterChoice();
    return true;
}

bool Display::setSpeed(int itemIndex) {
    if (view_.rhythmogram)
        return false;
    // Before a patient or a recording is chosen there is nothing to redraw; the index stays.
    if (!view_.patientChosen && !view_.cardReview && !view_.importView)
        return false;
    if (itemIndex >= 0 && itemIndex < kSpeedCount)
        geo_.speedIndex = itemIndex;
    computeHorizontalGeometry();
    redrawAfterChoice();
    return true;
}

void Display::redrawAfterChoice() {
    ensureSurface();
    clearLabelStrip();
    drawLeadLabels();
    resetSweep();
    drawAndCopyGrid();
    drawCalibrationMark(QColor(0, 0, 255));
    prepareReviewGeometry();
}

// ---- furniture ------------------------------------------------------------------------------

void Display::drawGridImage() {
    const double p = geo_.caps.horzPxPerMm();
    const int W = win_.outerWidth;
    const int H = win_.outerHeight;
    if (grid_.width() != std::max(W, 1) || grid_.height() != std::max(H, 1))
        grid_ = makeImage(W, H);
    else
        grid_.fill(kWhite);
    if (p <= 0)
        return;
    Canvas c(grid_);
    c.setPen(kRed);
    const double hCount = H / (10 * p) + 1;
    const double vCount = W / (10 * p);
    int y = 0;
    for (int k = 0; k < hCount; ++k) {
        c.line(0, y, W, y);
        y = tr(y + 10 * p + 1);
    }
    int x = 0;
    for (int k = 0; k < vCount; ++k) {
        c.line(x, 0, x, H);
        x = tr(x + 10 * p + 1);
    }
    y = tr(5 * p);
    for (int k = 0; k < hCount; ++k) {
        c.dottedLine(1, y, W, y);
        y = tr(y + 10 * p + 1);
    }
    x = tr(5 * p);
    for (int k = 0; k < vCount; ++k) {
        c.dottedLine(x, 0, x, H);
        x = tr(x + 10 * p + 1);
    }
}

void Display::copyGridToWindow() {
    ensureSurface();
    const double p = geo_.caps.horzPxPerMm();
    const int W = win_.outerWidth;
    const QRect drawingArea = winRect(tr(9 * p), win_.panelHeight, W, win_.clientBottom);
    const QRect fullArea = winRect(0, 0, W, win_.clientBottom);
    stretchCopy(surface_, drawingArea, grid_, fullArea);
}

void Display::drawAndCopyGrid() {
    drawGridImage();
    copyGridToWindow();
}

void Display::clearLabelStrip() {
    Canvas c(surface_);
    c.fill(0, 1, tr(10 * geo_.horzPxPerMm), win_.clientBottom, kWhite);
}

void Display::clearClientArea() {
    ensureSurface();
    Canvas c(surface_);
    c.fill(0, 1, win_.clientRight, win_.clientBottom, kWhite);
}

void Display::drawLeadLabels() {
    fontSize_ = 8;
    Canvas c(surface_);
    const int group = geo_.groupIndex;
    const int n = rowCount(group);
    const int s1 = win_.clientBottom / 4;
    const int s2 = win_.clientBottom / 7;
    const int s3 = win_.clientBottom / 13;
    for (int k = 1; k <= n; ++k) {
        int x = 5;
        int y = 0;
        switch (group) {
        case 0:
        case 1:
        case 2:
            y = 2 * s1;
            break;
        case 5:
            x = 8;
            y = k * s2;
            break;
        case 8:
            y = k * s2;
            break;
        case 9:
            y = k * s3;
            break;
        default:
            y = k * s1;
            break;
        }
        const int lead = leadOfRow(group, k - 1);
        c.text(x, y, QString::fromUtf8(kLeadLabels[static_cast<std::size_t>(lead)]), fontSize_,
               fontBold_);
    }
}

void Display::drawCalibrationMark(const QColor& pen) {
    Canvas c(surface_);
    c.setPen(pen.rgb() | 0xFF000000u);
    const int n = rowCount(geo_.groupIndex);
    const int r = win_.clientBottom / (n + 1);
    const int f = fontSize_ / 2;
    const double p = geo_.horzPxPerMm;
    const double q = geo_.vertPxPerMm;
    const double h = kScaleMmPerMv[static_cast<std::size_t>(geo_.scaleIndex)];
    const int xa = tr(9 * p);
    const int xb = tr(9 * p + 3 * p);
    const int xc = tr(9 * p + 5 * p);
    const int xd = tr(9 * p + 8 * p);
    for (int m = 0; m < n && m < 12; ++m) {
        if (m % 3 != 0)
            continue;
        const int y0 = r * (m + 1) + f;
        const int yTop = tr(y0 - h * q);
        c.line(xa, y0, xb, y0);
        c.line(xb, y0, xb, yTop);
        c.line(xb, yTop, xc, yTop);
        c.line(xc, yTop, xc, y0);
        c.line(xc, y0, xd, y0);
    }
}

void Display::drawSecondLabels() {
    const double p = geo_.caps.horzPxPerMm();
    const double wd = geo_.caps.horzRes;
    const int speedIndex = geo_.speedIndex;
    const double v = kSpeedMmPerS[static_cast<std::size_t>(speedIndex)];
    fontBold_ = true;
    fontSize_ = 10;
    SecondLabelState& s = labels_;
    s.step = tr(v * p - speedIndex);
    if (backward_)
        s.labelNumber = page_ * secondsPerScreen_;
    s.x = tr(17 * p + s.carryA);
    int first = s.x;
    Canvas c(surface_);
    for (int i = 0; v < wd - 17 * p - s.x && duration_ + 1 > s.labelNumber; ++i) {
        const double carry = backward_ ? s.carryB : s.carryA;
        if (i == 0 && page_ == 0) {
            s.x = tr(17 * p);
            s.carryA = 0;
            s.carryB = 0;
            first = s.x;
        } else if (i == 0) {
            s.x = tr(17 * p + carry);
            first = s.x;
        } else {
            s.x = tr(17 * p + s.step * i + carry - p);
        }
        c.text(s.x, 30, QString::asprintf("%ds", s.labelNumber), fontSize_, fontBold_);
        ++s.labelNumber;
    }
    const double t = (wd - 17 * p) - (s.step - (first - 17 * p));
    if (s.step != 0) {
        const double ratio = t / s.step;
        s.carryB = std::trunc((ratio - std::trunc(ratio)) * 100);
    }
    s.carryA = s.step - (wd - s.x);
}

// ---- review ---------------------------------------------------------------------------------

void Display::setRecording(std::span<const std::uint8_t> bytes, int durationSeconds) {
    if (bytes.data() != ownBytes_.data())
        ownBytes_.clear();
    bytes_ = bytes;
    duration_ = std::max(durationSeconds, 0);
}

void Display::resetReviewState() {
    page_ = 0;
    backward_ = false;
    continue_ = false;
    savedChunkOffset_ = 0;
    savedColumn_ = 0;
    lastValues_.fill(0);
    derivedCount_ = 0;
    labels_ = {};
    pageStart_ = 0;
}

void Display::openRecording(std::span<const std::uint8_t> bytes, int durationSeconds) {
    resetReviewState();
    view_.rhythmogram = false; // an ECG recording replaces a rhythmogram on screen
    setRecording(bytes, durationSeconds);
    redrawAfterChoice();
}

void Display::prepareReviewGeometry() {
    derivedCount_ = 0;
    page_ = 0;
    labels_.labelNumber = 0;
    labels_.carryA = 0;
    labels_.carryB = 0;
    savedChunkOffset_ = 0;
    savedColumn_ = 0;
    // A page starts from zero; a value left over from the previous page would draw a stray
    // segment into the first column.
    lastValues_.fill(0);
    secondsPerScreen_ = display::secondsPerScreen(geo_.caps, geo_.speedIndex);
    spacings_ = RowSpacings::forClientBottom(win_.clientBottom);
    if (view_.importView || view_.cardReview)
        drawReviewPage();
}

void Display::drawReviewPage() {
    ensureSurface();
    const double p = geo_.caps.horzPxPerMm();
    drawLeadLabels();
    drawSecondLabels();
    drawCalibrationMark(QColor(0, 0, 255));

    const int horzRes = geo_.caps.horzRes;
    const double spc = geo_.screenSamplesPerColumn;
    const std::int64_t L = static_cast<std::int64_t>(bytes_.size());
    const int x0 = tr(19 * p);
    const int C = horzRes - x0;
    if (horzRes - 19 * p >= double(L) / 16 / spc) {
        forwardEnabled_ = false;
        backEnabled_ = false;
    }
    std::int64_t off = static_cast<std::int64_t>(page_ * double(C) * 16 * spc);
    if (continue_)
        off = static_cast<std::int64_t>(savedColumn_ * 16 * spc + savedChunkOffset_);
    off = std::max<std::int64_t>(off, 0);
    pageStart_ = off;
    forwardEnabled_ = double(off) + double(C) * 16 * spc <= double(L);
    backEnabled_ = off != 0;

    Canvas c(surface_);
    c.setPen(kBlack);
    const int group = geo_.groupIndex;
    const int n = rowCount(group);
    const float gain = geo_.gain;
    auto* raw = reinterpret_cast<std::uint8_t*>(block_.data());
    int x = x0;
    while (off < L) {
        const std::int64_t chunk = std::min<std::int64_t>(L - off, signal::kBlockBytes);
        const std::int64_t from = 2 * (off / 2);
        const std::int64_t avail = std::min<std::int64_t>(chunk, L - from);
        const int records = static_cast<int>(avail / signal::kRecordBytes);
        std::memcpy(raw, bytes_.data() + from, static_cast<std::size_t>(records) * 16);
        for (int r = 0; r < records; ++r)
            for (int ch = 0; ch < signal::kChannels; ++ch)
                block_[static_cast<std::size_t>(r)].c[static_cast<std::size_t>(ch)] =
                    signal::readLe16(raw + r * 16 + ch * 2);
        // A short last chunk is padded with its last record, so the last column drawn is made of
        // this recording's samples only.
        const signal::SampleRecord pad =
            records > 0 ? block_[static_cast<std::size_t>(records - 1)] : signal::SampleRecord{};
        for (int r = records; r < signal::kRecordsPerBlock; ++r)
            block_[static_cast<std::size_t>(r)] = pad;

        if (view_.kindA2) {
            deriveLeads(block_.data(), signal::kRecordsPerBlock, derived_, &derivedCount_);
        } else {
            deriveLeads(block_.data(), signal::kRecordsPerBlock, derived_);
            derivedCount_ = std::min(derivedCount_ + signal::kRecordsPerBlock, 1 << 30);
        }
        decimatedCount_ = decimateAll(derived_, spc, signal::kRecordsPerBlock, decimated_);

        const double columns = double(chunk / 16) / spc;
        for (int j = 0; j < columns && j < decimatedCount_; ++j) {
            for (int row = 0; row < n && row < 12; ++row) {
                const auto lead = static_cast<std::size_t>(leadOfRow(group, row));
                const int b = rowBaseline(group, row, spacings_);
                const int prev = j == 0 ? lastValues_[lead] : decimated_[lead][std::size_t(j - 1)];
                const int cur = decimated_[lead][static_cast<std::size_t>(j)];
                c.line(x - 1, traceY(b, prev, gain), x, traceY(b, cur, gain));
            }
            ++x;
            if (x >= horzRes) {
                lastValues_.fill(0);
                savedChunkOffset_ = double(off);
                savedColumn_ = j;
                return;
            }
            for (std::size_t l = 0; l < 12; ++l)
                lastValues_[l] = decimated_[l][static_cast<std::size_t>(j)];
        }
        off += signal::kBlockBytes;
    }
}

void Display::forward() {
    backward_ = false;
    continue_ = true;
    ++page_;
    backEnabled_ = true;
    if (view_.rhythmogram) {
        clearClientArea();
        drawRhythmogramPage();
        return;
    }
    drawAndCopyGrid();
    if (view_.cardReview || view_.importView)
        drawReviewPage();
}

void Display::back() {
    // Page 0 has no page before it; starting from a negative offset would read outside the data.
    if (page_ <= 0)
        return;
    backward_ = true;
    continue_ = false;
    if (page_ == 1)
        derivedCount_ = 0;
    --page_;
    forwardEnabled_ = true;
    if (view_.rhythmogram) {
        clearClientArea();
        drawRhythmogramPage();
        return;
    }
    clearLabelStrip();
    drawLeadLabels();
    drawAndCopyGrid();
    if (view_.cardReview || view_.importView)
        drawReviewPage();
}

// ---- rhythmogram ----------------------------------------------------------------------------

OpenResult Display::openRhythmogram(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {false, kEcgOpenError};
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {false, kEcgOpenError};
    openRhythmogramBytes(std::vector<std::uint8_t>(data.begin(), data.end()));
    return {};
}

OpenResult Display::openRhythmogram(const std::string& path, signal::RecordingBuffer& buffer) {
    if (!signal::loadRecording(path, buffer))
        return {false, kEcgOpenError};
    ownBytes_.clear();
    bytes_ = std::span<const std::uint8_t>(buffer.bytes);
    startRhythmogram();
    return {};
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
    view_.rhythmogram = true;
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

    view_.cardReview = false;
    view_.importView = false;
    fontSize_ = 11;
    Canvas c(surface_);
    c.setPen(kBlack);
    const int x0 = tr(13 * p);

    c.line(x0, b, x0, tr(b - 50 * q));
    c.line(tr(x0 - p), tr(b - 20 * q), tr(x0 + p), tr(b - 20 * q));
    c.text(30, tr(b - 22 * q), QStringLiteral("1"), fontSize_, fontBold_);
    c.line(tr(x0 - p), tr(b - 40 * q), tr(x0 + p), tr(b - 40 * q));
    c.text(30, tr(b - 42 * q), QStringLiteral("2"), fontSize_, fontBold_);
    fontSize_ = 12;
    c.text(15, tr(b - 50 * q), QStringLiteral("t , c"), fontSize_, fontBold_);
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

    c.text(W / 2, tr(b + 10 * q), QStringLiteral("Страница %1").arg(page_ + 1), fontSize_,
           fontBold_);

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
}

void Display::prepareLiveDisplay() {
    ensureSurface();
    geo_.horzPxPerMm = geo_.caps.horzPxPerMm();
    spacings_ = RowSpacings::forClientBottom(win_.clientBottom);
    clearLabelStrip();
    drawLeadLabels();
    drawAndCopyGrid();
    drawCalibrationMark(QColor(0, 0, 255));
    resetSweep();
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
    block_ = block;
    deriveLeads(block_.data(), signal::kRecordsPerBlock, derived_);
    const int group = geo_.groupIndex;
    const int n = rowCount(group);
    const float spc = geo_.screenSamplesPerColumn;
    int count = 0;
    for (int row = 0; row < n; ++row) {
        const auto lead = static_cast<std::size_t>(leadOfRow(group, row));
        count =
            decimate(derived_[lead].data(), spc, signal::kRecordsPerBlock, decimated_[lead].data());
    }
    lastStrip_ = count;
    if (count <= 0)
        return;

    const int cb = win_.clientBottom;
    const int H = win_.outerHeight;
    QImage strip = makeImage(count, std::max(H, cb));
    // The grid section under the strip comes from the unscaled grid image.
    const int oldGrid = gridPos_;
    gridPos_ += count;
    if (gridPos_ >= win_.clientRight - 55)
        gridPos_ = 0;
    stretchCopy(strip, winRect(0, 0, count, cb), grid_, winRect(oldGrid, 0, oldGrid + count, cb));

    Canvas sc(strip);
    sc.setPen(kBlack);
    const float gain = geo_.gain;
    for (int i = 0; i < count; ++i) {
        for (int row = 0; row < n; ++row) {
            const auto lead = static_cast<std::size_t>(leadOfRow(group, row));
            const int b = rowBaseline(group, row, spacings_);
            const auto& v = decimated_[lead];
            if (i == 0)
                sc.setPixel(0, traceY(b, v[0], gain));
            else
                sc.line(i - 1, traceY(b, v[std::size_t(i - 1)], gain), i,
                        traceY(b, v[std::size_t(i)], gain));
        }
    }

    // Column by column, the erase bar is laid at the column and the next nine, then the strip
    // column over it; the window ends up with the whole strip pasted and the bar beyond its last
    // column, which is what one fill and one squeezed copy produce.
    const int x0 = sweepOrigin() + sweepPos_;
    if (geo_.speedIndex != 3) {
        Canvas wc(surface_);
        wc.fill(x0, 0, x0 + count - 1 + 10, cb, kWhite);
    }
    stretchCopy(surface_, winRect(x0, win_.panelHeight, x0 + count, cb), strip,
                winRect(0, 0, count, cb));
    sweepPos_ += count;
    if (sweepPos_ >= win_.clientRight - 55)
        sweepPos_ = 0;
}

} // namespace velkard::display
