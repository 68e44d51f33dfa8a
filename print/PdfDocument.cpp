// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PdfDocument.h"

#include <QBuffer>
#include <QGlyphRun>
#include <QIODevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPointF>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace velkard::print {

void PdfContent::num(double v) {
    // Nine digits in all, the fraction cut (not rounded) after them, as Qt's engine writes them:
    // the same numbers give the same strokes after stroke adjustment.
    if (!std::isfinite(v)) {
        s_ += '0';
        return;
    }
    if (v < 0) {
        s_ += '-';
        v = -v;
    }
    auto whole = static_cast<unsigned int>(std::min(v, 4e9));
    int frac = int((v - double(whole)) * 1000000000);
    if (frac == 1000000000) {
        ++whole;
        frac = 0;
    }
    char digits[16];
    int n = 0;
    while (whole) {
        digits[n++] = char('0' + whole % 10);
        whole /= 10;
    }
    int fact = 100000000;
    if (n == 0) {
        s_ += '0';
    } else {
        while (n) {
            s_ += digits[--n];
            fact /= 10;
            frac /= 10;
        }
    }
    if (frac) {
        s_ += '.';
        while (fact) {
            s_ += char('0' + (frac / fact) % 10);
            fact /= 10;
        }
    }
}

void PdfContent::integer(std::int64_t v) {
    // By hand: snprintf took a tenth of the whole print.
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    const bool negative = v < 0;
    auto u = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    do {
        *--p = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (negative)
        *--p = '-';
    s_.append(p, std::size_t(end - p));
}

void PdfContent::fixed(std::int64_t scaled, int decimals) {
    if (scaled < 0) {
        s_ += '-';
        scaled = -scaled;
    }
    std::int64_t unit = 1;
    for (int i = 0; i < decimals; ++i)
        unit *= 10;
    const std::int64_t whole = scaled / unit;
    std::int64_t frac = scaled % unit;
    if (whole != 0 || frac == 0)
        integer(whole);
    if (frac != 0) {
        s_ += '.';
        for (unit /= 10; frac != 0; unit /= 10) {
            s_ += char('0' + frac / unit);
            frac %= unit;
        }
    }
}

void PdfContent::moveTo(double x, double y) {
    num(x);
    s_ += ' ';
    num(y);
    s_ += " m\n";
}

void PdfContent::lineTo(double x, double y) {
    num(x);
    s_ += ' ';
    num(y);
    s_ += " l\n";
}

void PdfContent::strokeRgb(double r, double g, double b) {
    num(r);
    s_ += ' ';
    num(g);
    s_ += ' ';
    num(b);
    s_ += " RG\n";
}

void PdfContent::pen(double width, int cap, int join) {
    num(width);
    s_ += " w ";
    integer(cap);
    s_ += " J ";
    integer(join);
    s_ += " j\n";
}

namespace {

// zlib-wrapped deflate at the default level: the pages compress to the size Qt's engine gives
// them, several times faster.
std::string compress(const std::string& raw) {
    struct Free {
        void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
    };
    const std::unique_ptr<libdeflate_compressor, Free> c(libdeflate_alloc_compressor(6));
    std::string out;
    if (!c)
        return out;
    out.resize(libdeflate_zlib_compress_bound(c.get(), raw.size()));
    out.resize(libdeflate_zlib_compress(c.get(), raw.data(), raw.size(), out.data(), out.size()));
    return out;
}

std::string fmt(double v) {
    PdfContent c;
    c.num(v);
    return std::move(c.raw());
}

// A PDF of the glyphs drawn by Qt's engine, one after the other: its font subset numbers them
// in that order from 1.
QByteArray qtGlyphPdf(const QRawFont& raw, const std::vector<quint32>& glyphs) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        QPainter painter(&writer);
        for (quint32 g : glyphs) {
            QGlyphRun run;
            run.setRawFont(raw);
            run.setGlyphIndexes({g});
            run.setPositions({QPointF(0, 0)});
            painter.drawGlyphRun(QPointF(100, 100), run);
        }
    }
    return buffer.data();
}

} // namespace

// The objects of a PDF written by Qt's engine, found through its cross-reference table.
class QtPdf {
public:
    explicit QtPdf(QByteArray bytes) : b_(std::move(bytes)) {
        const qsizetype start = b_.lastIndexOf("startxref");
        if (start < 0)
            return;
        const qsizetype xref = b_.mid(start + 9, 24).trimmed().split('\n').value(0).toLongLong();
        if (xref <= 0 || xref >= b_.size() || b_.mid(xref, 4) != "xref")
            return;
        qsizetype at = b_.indexOf('\n', xref) + 1;
        const qsizetype lineEnd = b_.indexOf('\n', at);
        const QList<QByteArray> range = b_.mid(at, lineEnd - at).split(' ');
        const int count = range.value(1).toInt();
        at = lineEnd + 1;
        for (int i = 0; i < count && at + 20 <= b_.size(); ++i, at += 20)
            offsets_.push_back(b_.mid(at, 10).toLongLong());
    }
    // The first font of the page's resources, 0 when there is none (text drawn as paths).
    int font() const {
        static const QRegularExpression re(
            QStringLiteral("/Font\\s*<<\\s*/F\\d+\\s+(\\d+)\\s+0\\s+R"));
        const QRegularExpressionMatch m = re.match(QString::fromLatin1(b_));
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }
    bool hasFontFile() const { return b_.contains("/FontFile2"); }
    // Object n: its dictionary (or whole body) and, for a stream, its data.
    bool object(int n, QByteArray& dict, QByteArray& data, bool& stream) const {
        if (n <= 0 || std::size_t(n) >= offsets_.size())
            return false;
        qsizetype at = b_.indexOf("obj", offsets_[std::size_t(n)]);
        if (at < 0)
            return false;
        at += 3;
        const qsizetype end = b_.indexOf("endobj", at);
        const qsizetype streamAt = b_.indexOf("stream", at);
        if (end < 0)
            return false;
        stream = streamAt >= 0 && streamAt < end;
        if (!stream) {
            dict = b_.mid(at, end - at).trimmed();
            return true;
        }
        dict = b_.mid(at, streamAt - at).trimmed();
        qsizetype dataAt = streamAt + 6;
        if (b_.mid(dataAt, 2) == "\r\n")
            dataAt += 2;
        else if (b_.at(dataAt) == '\n')
            ++dataAt;
        static const QRegularExpression re(QStringLiteral("/Length\\s+(\\d+)(\\s+0\\s+R)?"));
        const QRegularExpressionMatch m = re.match(QString::fromLatin1(dict));
        if (!m.hasMatch())
            return false;
        qint64 length = m.captured(1).toLongLong();
        if (!m.captured(2).isEmpty()) {
            QByteArray lengthDict;
            QByteArray unused;
            bool lengthStream = false;
            if (!object(int(length), lengthDict, unused, lengthStream) || lengthStream)
                return false;
            length = lengthDict.toLongLong();
        }
        if (length < 0 || dataAt + length > b_.size())
            return false;
        data = b_.mid(dataAt, length);
        return true;
    }

private:
    QByteArray b_;
    std::vector<qint64> offsets_;
};

namespace {

QByteArray hex4(quint32 v) {
    return QByteArray::number(v, 16).rightJustified(4, '0').toUpper();
}

} // namespace

PdfDocument::PdfDocument(QIODevice& out, double widthPt, double heightPt, int dpi)
    : out_(out), widthPt_(widthPt), heightPt_(heightPt), scale_(72.0 / std::max(dpi, 1)) {
    write(QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"));
    pagesId_ = allocate();
    resourcesId_ = allocate();
    stateId_ = allocate();
    // Stroke adjustment and smoothness as Qt's engine sets them, so lines rasterise alike.
    begin(stateId_);
    write(QByteArray("<< /Type /ExtGState /SA true /SM 0.02 /ca 1.0 /CA 1.0 /AIS false /SMask "
                     "/None >>\nendobj\n"));
}

PdfDocument::~PdfDocument() {
    for (auto& f : pending_)
        if (f.valid())
            f.wait();
}

bool PdfDocument::canEmbed(const QRawFont& font) {
    // Qt's engine draws the texts of a font it may not embed as paths.
    if (!font.isValid())
        return false;
    const QList<quint32> g = font.glyphIndexesForString(QStringLiteral("0"));
    const QtPdf pdf(qtGlyphPdf(font, {g.value(0)}));
    return pdf.font() != 0 && pdf.hasFontFile();
}

int PdfDocument::allocate() {
    offsets_.push_back(-1);
    return int(offsets_.size() - 1);
}

void PdfDocument::begin(int id) {
    offsets_[std::size_t(id)] = offset_;
    write(QByteArray::number(id) + " 0 obj\n");
}

void PdfDocument::write(const QByteArray& bytes) {
    if (failed_)
        return;
    if (out_.write(bytes) != bytes.size())
        failed_ = true;
    offset_ += bytes.size();
}

void PdfDocument::write(const std::string& bytes) {
    if (failed_)
        return;
    if (out_.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        failed_ = true;
    offset_ += qint64(bytes.size());
}

void PdfDocument::writeStream(int id, const std::string& compressed, const QByteArray& extra,
                              qint64 rawLength) {
    begin(id);
    QByteArray dict = "<< /Length " + QByteArray::number(qint64(compressed.size())) +
                      " /Filter /FlateDecode" + extra;
    if (rawLength >= 0)
        dict += " /Length1 " + QByteArray::number(rawLength);
    write(dict + " >>\nstream\n");
    write(compressed);
    write(QByteArray("\nendstream\nendobj\n"));
}

void PdfDocument::setForm(const std::string& content, double widthPx, double heightPx) {
    formId_ = allocate();
    const QByteArray extra = " /Type /XObject /Subtype /Form /BBox [0 0 " +
                             QByteArray::fromStdString(fmt(widthPx)) + " " +
                             QByteArray::fromStdString(fmt(heightPx)) + "] /Resources << >>";
    writeStream(formId_, compress(content), extra);
}

int PdfDocument::fontIndex(const QRawFont& raw) {
    for (std::size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].raw.familyName() == raw.familyName() &&
            fonts_[i].raw.styleName() == raw.styleName())
            return int(i);
    if (!canEmbed(raw))
        return -1;
    fonts_.push_back({raw, {}, {}});
    return int(fonts_.size() - 1);
}

bool PdfDocument::text(PdfContent& page, const QGlyphRun& run, double x, double y) {
    const QRawFont raw = run.rawFont();
    const int index = fontIndex(raw);
    if (index < 0)
        return false;
    Font& font = fonts_[std::size_t(index)];
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    std::string& s = page.raw();
    s += "BT\n/F";
    page.integer(index);
    s += ' ';
    page.num(raw.pixelSize());
    s += " Tf\n";
    double px = 0;
    double py = 0;
    for (int i = 0; i < glyphs.size() && i < positions.size(); ++i) {
        const QPointF p = positions[i];
        if (i == 0) {
            s += "1 0 0 -1 ";
            page.num(x + p.x());
            s += ' ';
            page.num(y + p.y());
            s += " Tm ";
        } else {
            page.num(p.x() - px);
            s += ' ';
            page.num(py - p.y());
            s += " Td ";
        }
        px = p.x();
        py = p.y();
        // Glyphs are numbered in the order they first appear, as in Qt's font subsets.
        auto id = font.ids.find(glyphs[i]);
        if (id == font.ids.end()) {
            font.order.push_back(glyphs[i]);
            id = font.ids.insert(glyphs[i], int(font.order.size()));
        }
        s += '<';
        s += hex4(quint32(*id)).toStdString();
        s += "> Tj\n";
    }
    s += "ET\n";
    return true;
}

void PdfDocument::addPage(PdfContent&& page) {
    std::string content = "/GSa gs\n" + fmt(scale_) + " 0 0 " + fmt(-scale_) + " 0 " +
                          fmt(heightPt_) + " cm\n" + page.raw();
    page.raw().clear();
    pending_.push_back(
        std::async(std::launch::async, [c = std::move(content)] { return compress(c); }));
    // Two pages compress while the next is drawn; more would only hold memory.
    flushPages(2);
}

void PdfDocument::flushPages(std::size_t keep) {
    while (pending_.size() > keep) {
        const std::string compressed = pending_.front().get();
        pending_.pop_front();
        const int contentId = allocate();
        const int pageId = allocate();
        writeStream(contentId, compressed, {});
        begin(pageId);
        write("<< /Type /Page /Parent " + QByteArray::number(pagesId_) + " 0 R /MediaBox [0 0 " +
              QByteArray::fromStdString(fmt(widthPt_)) + " " +
              QByteArray::fromStdString(fmt(heightPt_)) + "] /Resources " +
              QByteArray::number(resourcesId_) + " 0 R /Contents " + QByteArray::number(contentId) +
              " 0 R >>\nendobj\n");
        pageIds_.push_back(pageId);
    }
}

int PdfDocument::copyObject(const QtPdf& pdf, int n, std::map<int, int>& copied) {
    if (const auto it = copied.find(n); it != copied.end())
        return it->second;
    QByteArray dict;
    QByteArray data;
    bool stream = false;
    if (!pdf.object(n, dict, data, stream)) {
        failed_ = true;
        return 0;
    }
    const int id = allocate();
    copied[n] = id;
    static const QRegularExpression ref(QStringLiteral("(\\d+)\\s+0\\s+R"));
    QString text = QString::fromLatin1(dict);
    QString renumbered;
    qsizetype last = 0;
    for (const QRegularExpressionMatch& m : ref.globalMatch(text)) {
        renumbered += text.mid(last, m.capturedStart() - last);
        renumbered += QString::number(copyObject(pdf, m.captured(1).toInt(), copied)) +
                      QStringLiteral(" 0 R");
        last = m.capturedEnd();
    }
    renumbered += text.mid(last);
    begin(id);
    write(renumbered.toLatin1() + "\n");
    if (stream) {
        write(QByteArray("stream\n"));
        write(data);
        write(QByteArray("\nendstream\n"));
    }
    write(QByteArray("endobj\n"));
    return id;
}

int PdfDocument::writeFont(int index) {
    // The font objects Qt's engine makes for these glyphs (the subset font file, widths, the
    // ToUnicode map from the font's character map), so the texts rasterise as Qt's would.
    const Font& font = fonts_[std::size_t(index)];
    const QtPdf pdf(qtGlyphPdf(font.raw, font.order));
    const int root = pdf.font();
    if (root == 0) {
        failed_ = true;
        return 0;
    }
    std::map<int, int> copied;
    return copyObject(pdf, root, copied);
}

bool PdfDocument::finish(const QString& creator) {
    flushPages(0);
    QByteArray fonts;
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        const int id = writeFont(int(i));
        fonts += " /F" + QByteArray::number(qint64(i)) + " " + QByteArray::number(id) + " 0 R";
    }
    begin(resourcesId_);
    write("<< /ExtGState << /GSa " + QByteArray::number(stateId_) + " 0 R >> /Font <<" + fonts +
          " >> /XObject << " +
          (formId_ ? "/G " + QByteArray::number(formId_) + " 0 R " : QByteArray()) +
          ">> >>\nendobj\n");
    begin(pagesId_);
    QByteArray kids;
    for (int id : pageIds_)
        kids += QByteArray::number(id) + " 0 R ";
    write("<< /Type /Pages /Count " + QByteArray::number(qint64(pageIds_.size())) + " /Kids [" +
          kids + "] >>\nendobj\n");
    const int catalogId = allocate();
    begin(catalogId);
    write("<< /Type /Catalog /Pages " + QByteArray::number(pagesId_) + " 0 R >>\nendobj\n");
    const int infoId = allocate();
    begin(infoId);
    QByteArray creatorHex = "<FEFF";
    for (const QChar c : creator)
        creatorHex += hex4(c.unicode());
    write("<< /Creator " + creatorHex + "> /Producer " + creatorHex + "> >>\nendobj\n");
    const qint64 xref = offset_;
    QByteArray table =
        "xref\n0 " + QByteArray::number(qint64(offsets_.size())) + "\n0000000000 65535 f \n";
    for (std::size_t id = 1; id < offsets_.size(); ++id)
        table += QByteArray::number(std::max<qint64>(offsets_[id], 0)).rightJustified(10, '0') +
                 (offsets_[id] >= 0 ? " 00000 n \n" : " 00000 f \n");
    table += "trailer\n<< /Size " + QByteArray::number(qint64(offsets_.size())) + " /Root " +
             QByteArray::number(catalogId) + " 0 R /Info " + QByteArray::number(infoId) +
             " 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    write(table);
    return !failed_;
}

} // namespace velkard::print
