// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel-exact drawing on an RGB32 QImage with the semantics of the window canvas the traces were
// designed for: lines exclude their end point, rectangles include their outline, stretching copies
// keep dark pixels (each destination pixel is the AND of the source pixels it stands for), and text
// is written at its top-left corner over an opaque white background.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace velkard::display {

inline constexpr std::uint32_t kRed = 0xFFFF0000u;
// The screen grid as ECG paper has it: light 1 mm lines, darker 5 mm lines, both pale enough
// that the black trace dominates.
inline constexpr std::uint32_t kGridMinor = 0xFFFFD4D4u;
inline constexpr std::uint32_t kGridMajor = 0xFFEE9A9Au;
inline constexpr std::uint32_t kBlue = 0xFF0000FFu;

// The colours of the screen's ECG: ECG paper (white, pink grid, black trace, blue calibration
// marks) or the dark background some rooms prefer (a dim green grid under a light trace).
struct ScreenPalette {
    std::uint32_t background;
    std::uint32_t gridMinor;
    std::uint32_t gridMajor;
    std::uint32_t ink;     // traces and text
    std::uint32_t mark;    // calibration marks
    std::uint32_t warning; // what is wrong with a lead, under its label
};
inline constexpr ScreenPalette kPaperPalette{0xFFFFFFFFu, 0xFFFFD4D4u, 0xFFEE9A9Au,
                                             0xFF000000u, 0xFF0000FFu, 0xFFC00000u};
inline constexpr ScreenPalette kDarkPalette{0xFF101418u, 0xFF1C2A22u, 0xFF2F4A3Au,
                                            0xFFF0F4F0u, 0xFF7FB2FFu, 0xFFFFB030u};
inline constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kBlack = 0xFF000000u;

class Canvas {
public:
    // The image's pixels are addressed directly for as long as the canvas lives: nothing else
    // may copy or resize the image meanwhile.
    explicit Canvas(QImage& image)
        : img_(image), bits_(reinterpret_cast<std::uint32_t*>(image.bits())),
          stride_(image.bytesPerLine() / 4), width_(image.width()), height_(image.height()) {}

    void setPen(std::uint32_t colour) { pen_ = colour; }
    std::uint32_t pen() const { return pen_; }

    void setPixel(int x, int y) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            bits_[std::ptrdiff_t(y) * stride_ + x] = pen_;
    }
    // Mixes the pen into the pixel at `share` (0..256 of 256): the soft edge of a wide trace.
    void blendPixel(int x, int y, int share) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return;
        std::uint32_t& p = bits_[std::ptrdiff_t(y) * stride_ + x];
        const auto mix = [share](std::uint32_t a, std::uint32_t b, int shift) {
            const int ca = int((a >> shift) & 0xFF);
            const int cb = int((b >> shift) & 0xFF);
            return std::uint32_t((ca * (256 - share) + cb * share) >> 8) << shift;
        };
        p = 0xFF000000u | mix(p, pen_, 16) | mix(p, pen_, 8) | mix(p, pen_, 0);
    }
    // The box behind text and the text's own colour (white and black unless set).
    void setTextColours(std::uint32_t paper, std::uint32_t ink) {
        textPaper_ = paper;
        textInk_ = ink;
    }
    // MoveTo(x0, y0) + LineTo(x1, y1): every pixel of the line except (x1, y1).
    void line(int x0, int y0, int x1, int y1);
    // Fills [left, right) × [top, bottom) with a colour (a rectangle drawn with pen and brush of
    // one colour).
    void fill(int left, int top, int right, int bottom, std::uint32_t colour);

    // Text with its top-left corner at (x, y), over an opaque box (white unless set); font size in
    // points (96 dots per inch).
    void text(int x, int y, const QString& s, int pointSize, bool bold);
    // The box text(…) fills for s.
    QSize textSize(const QString& s, int pointSize, bool bold) const;

private:
    QImage& img_;
    std::uint32_t* bits_;
    std::ptrdiff_t stride_; // pixels from one scan line to the next
    int width_;
    int height_;
    std::uint32_t pen_ = kBlack;
    std::uint32_t textPaper_ = kWhite;
    std::uint32_t textInk_ = kBlack;
};

// Copies src's rectangle [sl, sr) × [st, sb) onto dst's [dl, dr) × [dt, db), stretching or
// squeezing; a destination pixel covering several source pixels gets their bitwise AND, so thin
// dark lines survive a squeeze.
void stretchCopy(QImage& dst, const QRect& dstRect, const QImage& src, const QRect& srcRect);

// Canvas-style rectangle from (left, top) to (right, bottom) exclusive, as a QRect.
inline QRect winRect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

} // namespace velkard::display
