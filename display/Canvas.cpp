// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/Canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace velkard::display {

namespace {

template <class Plot> void bresenham(int x0, int y0, int x1, int y1, Plot plot) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int n = 0;
    while (x0 != x1 || y0 != y1) {
        plot(x0, y0, n++);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

} // namespace

void Canvas::line(int x0, int y0, int x1, int y1) {
    if (y0 == y1) {
        // Horizontal runs are the bulk of the grid: write the scan line directly.
        if (y0 < 0 || y0 >= height_ || x0 == x1)
            return;
        int a = x0 < x1 ? x0 : x1 + 1;
        int b = x0 < x1 ? x1 - 1 : x0;
        a = std::max(a, 0);
        b = std::min(b, width_ - 1);
        std::uint32_t* row = bits_ + std::ptrdiff_t(y0) * stride_;
        std::fill(row + std::min(a, b + 1), row + b + 1, pen_);
        return;
    }
    if (x0 == x1) {
        // Vertical strokes are the bulk of the traces.
        if (x0 < 0 || x0 >= width_)
            return;
        int a = y0 < y1 ? y0 : y1 + 1;
        int b = y0 < y1 ? y1 - 1 : y0;
        a = std::max(a, 0);
        b = std::min(b, height_ - 1);
        for (std::uint32_t* p = bits_ + std::ptrdiff_t(a) * stride_ + x0; a <= b; ++a, p += stride_)
            *p = pen_;
        return;
    }
    bresenham(x0, y0, x1, y1, [this](int x, int y, int) { setPixel(x, y); });
}

void Canvas::fill(int left, int top, int right, int bottom, std::uint32_t colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = bits_ + std::ptrdiff_t(y) * stride_;
        if (left < right)
            std::fill(row + left, row + right, colour);
    }
}

void Canvas::text(int x, int y, const QString& s, int pointSize, bool bold) {
    QFont font = QGuiApplication::font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    QPainter painter(&img_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    const QFontMetrics fm = painter.fontMetrics();
    // The box covers the glyphs' smoothed edges too, so text drawn again over itself is the same.
    const QRect box = QRect(x, y, fm.horizontalAdvance(s), fm.height()) |
                      fm.boundingRect(s).translated(x, y + fm.ascent());
    painter.fillRect(box, QColor::fromRgb(textPaper_));
    painter.setPen(QColor::fromRgb(textInk_));
    painter.drawText(x, y + fm.ascent(), s);
}

QSize Canvas::textSize(const QString& s, int pointSize, bool bold) const {
    QFont font = QGuiApplication::font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    const QFontMetrics fm(font, &img_);
    return (QRect(0, 0, fm.horizontalAdvance(s), fm.height()) |
            fm.boundingRect(s).translated(0, fm.ascent()))
        .size();
}

void stretchCopy(QImage& dst, const QRect& d, const QImage& src, const QRect& s) {
    const int dw = d.width();
    const int dh = d.height();
    const int sw = s.width();
    const int sh = s.height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;

    // Source span [first, last) of every destination column and row.
    auto spans = [](int dn, int sn, int origin) {
        std::vector<std::pair<int, int>> v(static_cast<std::size_t>(dn));
        for (int i = 0; i < dn; ++i) {
            const int a = static_cast<int>(std::int64_t(i) * sn / dn);
            const int b = std::max(a + 1, static_cast<int>(std::int64_t(i + 1) * sn / dn));
            v[static_cast<std::size_t>(i)] = {origin + a, origin + b};
        }
        return v;
    };
    const auto cols = spans(dw, sw, s.left());
    const auto rows = spans(dh, sh, s.top());

    std::vector<std::uint32_t> acc(static_cast<std::size_t>(sw));
    for (int dy = 0; dy < dh; ++dy) {
        const int ty = d.top() + dy;
        if (ty < 0 || ty >= dst.height())
            continue;
        // AND together the source rows this destination row covers (outside the image: white).
        std::fill(acc.begin(), acc.end(), kWhite);
        const auto [r0, r1] = rows[static_cast<std::size_t>(dy)];
        for (int sy = std::max(r0, 0); sy < std::min(r1, src.height()); ++sy) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(src.constScanLine(sy));
            const int x0 = std::max(s.left(), 0);
            const int x1 = std::min(s.left() + sw, src.width());
            for (int sx = x0; sx < x1; ++sx)
                acc[static_cast<std::size_t>(sx - s.left())] &= line[sx];
        }
        auto* out = reinterpret_cast<std::uint32_t*>(dst.scanLine(ty));
        for (int dx = 0; dx < dw; ++dx) {
            const int tx = d.left() + dx;
            if (tx < 0 || tx >= dst.width())
                continue;
            const auto [c0, c1] = cols[static_cast<std::size_t>(dx)];
            std::uint32_t v = kWhite;
            for (int c = c0; c < c1; ++c)
                v &= acc[static_cast<std::size_t>(c - s.left())];
            out[tx] = v;
        }
    }
}

} // namespace velkard::display
