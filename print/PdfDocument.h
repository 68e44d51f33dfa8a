// SPDX-License-Identifier: GPL-3.0-or-later
// A small PDF writer for the whole-recording print: pages of paths and text in device pixels (y
// down, as QPainter draws), one form XObject drawn on every page (the grid), TrueType fonts
// embedded as Qt's engine embeds them (Identity-H CID fonts of the glyphs used, with a ToUnicode
// map, so the texts copy out of the PDF and rasterise alike), and
// each page's content compressed on a worker thread while the next one is drawn.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <string>
#include <vector>

class QIODevice;
class QGlyphRun;

namespace velkard::print {

class QtPdf;

// One page's content: operators in the page's frame of device pixels.
class PdfContent {
public:
    std::string& raw() { return s_; }
    void op(const char* text) { s_ += text; }
    // A number as the PDF engine writes it: up to nine significant digits.
    void num(double v);
    // scaled / 10^decimals (the trace's values), without a leading zero or trailing zeros.
    void fixed(std::int64_t scaled, int decimals);
    void integer(std::int64_t v);
    void moveTo(double x, double y);
    void lineTo(double x, double y);
    void strokeRgb(double r, double g, double b);
    // Pen width, cap (0 flat, 1 round) and join (1 round, 2 bevel).
    void pen(double width, int cap, int join);

private:
    std::string s_;
};

class PdfDocument {
public:
    // Pages of widthPt × heightPt points; content in pixels of dpi, y from the top.
    PdfDocument(QIODevice& out, double widthPt, double heightPt, int dpi);
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // Whether Qt's engine embeds the font (rather than drawing its texts as paths).
    static bool canEmbed(const QRawFont& font);

    // The form drawn by `/G Do` on every page (set once, before the first page).
    void setForm(const std::string& content, double widthPx, double heightPx);
    // A glyph run with its origin at (x, y) in pixels; false when its font cannot be embedded.
    bool text(PdfContent& page, const QGlyphRun& run, double x, double y);
    // Ends a page: its content is compressed on a worker and written in order.
    void addPage(PdfContent&& page);
    // Writes what remains (pages tree, fonts, cross-reference table); false if any write failed.
    bool finish(const QString& creator);
    bool failed() const { return failed_; }

private:
    struct Font {
        QRawFont raw;
        std::vector<quint32> order; // glyphs in the order they first appear
        QHash<quint32, int> ids;    // glyph → its number in the embedded subset
    };
    int allocate();
    void begin(int id);
    void write(const QByteArray& bytes);
    void write(const std::string& bytes);
    void writeStream(int id, const std::string& compressed, const QByteArray& extra,
                     qint64 rawLength = -1);
    void flushPages(std::size_t keep);
    int fontIndex(const QRawFont& raw);
    int writeFont(int index);
    int copyObject(const QtPdf& pdf, int n, std::map<int, int>& copied);

    QIODevice& out_;
    qint64 offset_ = 0;
    bool failed_ = false;
    double widthPt_;
    double heightPt_;
    double scale_; // points per pixel
    std::vector<qint64> offsets_{0};
    int pagesId_;
    int resourcesId_;
    int stateId_;
    int formId_ = 0;
    std::vector<int> pageIds_;
    std::vector<Font> fonts_;
    std::vector<int> fontIds_;
    std::deque<std::future<std::string>> pending_;
};

} // namespace velkard::print
