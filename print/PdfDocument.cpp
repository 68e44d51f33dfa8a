// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/PdfDocument.h"

#include <QGlyphRun>
#include <QIODevice>
#include <QPointF>
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
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    s_.append(buf, std::size_t(std::max(n, 0)));
}

void PdfContent::hundredths(std::int64_t h) {
    if (h < 0) {
        s_ += '-';
        h = -h;
    }
    const std::int64_t whole = h / 100;
    const int frac = int(h % 100);
    if (whole != 0 || frac == 0)
        integer(whole);
    if (frac != 0) {
        s_ += '.';
        s_ += char('0' + frac / 10);
        if (frac % 10 != 0)
            s_ += char('0' + frac % 10);
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

std::string fmt(const char* format, double v) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, v);
    return std::string(buf, std::size_t(std::max(n, 0)));
}

quint32 be32(const QByteArray& b, int at) {
    if (at < 0 || at + 4 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}
quint16 be16(const QByteArray& b, int at) {
    if (at < 0 || at + 2 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return quint16(p[0] << 8 | p[1]);
}
void put32(QByteArray& b, quint32 v) {
    b.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}
void put16(QByteArray& b, quint16 v) {
    b.append(char(v >> 8)).append(char(v));
}
quint32 checksum(const QByteArray& table) {
    quint32 sum = 0;
    for (int i = 0; i < table.size(); i += 4) {
        quint32 word = 0;
        for (int k = 0; k < 4; ++k)
            word = word << 8 | (i + k < table.size() ? quint8(table[i + k]) : 0);
        sum += word;
    }
    return sum;
}

// The glyph's data in glyf, from loca (short or long offsets).
QByteArray glyphData(const QByteArray& glyf, const QByteArray& loca, bool longLoca, quint32 g) {
    const quint32 from = longLoca ? be32(loca, int(4 * g)) : 2u * be16(loca, int(2 * g));
    const quint32 to = longLoca ? be32(loca, int(4 * g + 4)) : 2u * be16(loca, int(2 * g + 2));
    if (to <= from || to > quint32(glyf.size()))
        return {};
    return glyf.mid(int(from), int(to - from));
}

// The glyphs a composite glyph is made of.
QVector<quint32> components(const QByteArray& glyph) {
    QVector<quint32> parts;
    if (glyph.size() < 10 || qint16(be16(glyph, 0)) >= 0)
        return parts;
    int at = 10;
    for (;;) {
        const quint16 flags = be16(glyph, at);
        parts.append(be16(glyph, at + 2));
        at += 4 + ((flags & 0x1) ? 4 : 2);
        if (flags & 0x8)
            at += 2;
        else if (flags & 0x40)
            at += 4;
        else if (flags & 0x80)
            at += 8;
        if (!(flags & 0x20) || at >= glyph.size())
            break;
    }
    return parts;
}

// The glyph without its hinting instructions (the PDF is rasterised unhinted, as Qt's engine
// embeds its fonts).
QByteArray withoutInstructions(QByteArray glyph) {
    if (glyph.size() < 10)
        return glyph;
    const int contours = qint16(be16(glyph, 0));
    if (contours >= 0) {
        const int at = 10 + 2 * contours;
        const int length = be16(glyph, at);
        if (at + 2 + length > glyph.size())
            return glyph;
        glyph.remove(at + 2, length);
        glyph[at] = glyph[at + 1] = 0;
        return glyph;
    }
    int at = 10;
    for (;;) {
        const quint16 flags = be16(glyph, at);
        if (flags & 0x100) {
            const quint16 cleared = flags & ~0x100;
            glyph[at] = char(cleared >> 8);
            glyph[at + 1] = char(cleared);
        }
        at += 4 + ((flags & 0x1) ? 4 : 2);
        if (flags & 0x8)
            at += 2;
        else if (flags & 0x40)
            at += 4;
        else if (flags & 0x80)
            at += 8;
        if (!(flags & 0x20) || at >= glyph.size())
            break;
    }
    glyph.truncate(std::min<int>(at, int(glyph.size())));
    return glyph;
}

// A TrueType file of the font's outline tables holding only the used glyphs (and the ones they
// are built of; the others empty), glyph numbers unchanged so that CIDs are glyph indexes.
QByteArray subsetFont(const QRawFont& raw, const QList<quint32>& used) {
    const QByteArray head0 = raw.fontTable("head");
    const QByteArray loca0 = raw.fontTable("loca");
    const QByteArray glyf0 = raw.fontTable("glyf");
    const QByteArray maxp = raw.fontTable("maxp");
    const bool longLoca = be16(head0, 50) == 1;
    const quint32 glyphs = be16(maxp, 4);
    QSet<quint32> keep;
    QVector<quint32> todo(used.begin(), used.end());
    todo.append(0);
    while (!todo.isEmpty()) {
        const quint32 g = todo.takeLast();
        if (g >= glyphs || keep.contains(g))
            continue;
        keep.insert(g);
        todo += components(glyphData(glyf0, loca0, longLoca, g));
    }
    QByteArray glyf;
    QByteArray loca;
    for (quint32 g = 0; g < glyphs; ++g) {
        put32(loca, quint32(glyf.size()));
        if (keep.contains(g)) {
            glyf += withoutInstructions(glyphData(glyf0, loca0, longLoca, g));
            while (glyf.size() % 4)
                glyf.append('\0');
        }
    }
    put32(loca, quint32(glyf.size()));
    QByteArray head = head0;
    if (head.size() >= 54) {
        head[16] = head[17] = 0; // no flags, as the instructions are gone
        head[50] = 0;
        head[51] = 1; // long loca
        head[8] = head[9] = head[10] = head[11] = 0;
    }
    std::map<QByteArray, QByteArray> tables{{"OS/2", raw.fontTable("OS/2")},
                                            {"glyf", glyf},
                                            {"head", head},
                                            {"hhea", raw.fontTable("hhea")},
                                            {"hmtx", raw.fontTable("hmtx")},
                                            {"loca", loca},
                                            {"maxp", maxp},
                                            {"name", raw.fontTable("name")}};
    for (auto it = tables.begin(); it != tables.end();)
        it = it->second.isEmpty() ? tables.erase(it) : std::next(it);
    const quint16 n = quint16(tables.size());
    quint16 power = 1;
    quint16 log2 = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log2;
    }
    QByteArray file;
    put32(file, 0x00010000);
    put16(file, n);
    put16(file, quint16(power * 16));
    put16(file, log2);
    put16(file, quint16(n * 16 - power * 16));
    quint32 at = 12 + 16u * n;
    int headAt = -1;
    for (const auto& [tag, data] : tables) {
        file += tag;
        put32(file, checksum(data));
        put32(file, at);
        put32(file, quint32(data.size()));
        if (tag == "head")
            headAt = int(at);
        at += quint32((data.size() + 3) / 4 * 4);
    }
    for (const auto& [tag, data] : tables) {
        file += data;
        while (file.size() % 4)
            file.append('\0');
    }
    if (headAt >= 0) {
        const quint32 adjust = 0xB1B0AFBAu - checksum(file);
        for (int k = 0; k < 4; ++k)
            file[headAt + 8 + k] = char(adjust >> (24 - 8 * k));
    }
    return file;
}

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
    return font.isValid() && !font.fontTable("glyf").isEmpty() &&
           !font.fontTable("loca").isEmpty() && !font.fontTable("head").isEmpty() &&
           !font.fontTable("maxp").isEmpty() && !font.fontTable("hmtx").isEmpty();
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

bool PdfDocument::text(PdfContent& page, const QGlyphRun& run, double x, double y,
                       const QString& source) {
    const QRawFont raw = run.rawFont();
    const int index = fontIndex(raw);
    if (index < 0)
        return false;
    Font& font = fonts_[std::size_t(index)];
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    // Which character each glyph shows, for copying the text out.
    for (const QChar c : source) {
        const QList<quint32> g = raw.glyphIndexesForString(QString(c));
        if (g.size() == 1 && !font.unicode.contains(g[0]))
            font.unicode.insert(g[0], c.unicode());
    }
    QVector<quint32> fresh;
    for (quint32 g : glyphs)
        if (!font.advance.contains(g))
            fresh.append(g);
    if (!fresh.isEmpty()) {
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(
            QList<quint32>(fresh.begin(), fresh.end()), QRawFont::UseDesignMetrics);
        for (int i = 0; i < fresh.size() && i < advances.size(); ++i)
            font.advance.insert(fresh[i], advances[i].x() * 1000 / std::max(raw.pixelSize(), 1.0));
    }
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
        s += '<';
        s += hex4(glyphs[i]).toStdString();
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

void PdfDocument::writeFont(int index, int fontId) {
    const Font& font = fonts_[std::size_t(index)];
    QList<quint32> used = font.advance.keys();
    std::sort(used.begin(), used.end());
    const QByteArray file = subsetFont(font.raw, used);
    const int fileId = allocate();
    const int descriptorId = allocate();
    const int cidId = allocate();
    const int mapId = allocate();
    writeStream(fileId, compress(file.toStdString()), {}, file.size());

    const QByteArray head = font.raw.fontTable("head");
    const QByteArray hhea = font.raw.fontTable("hhea");
    const double em = std::max<double>(be16(head, 18), 1);
    auto units = [em](int v) { return QByteArray::fromStdString(fmt(v * 1000 / em)); };
    QByteArray name = font.raw.familyName().toLatin1();
    name.replace(' ', "");
    if (name.isEmpty())
        name = "Font";
    // A subset's name carries a six-letter tag.
    const QByteArray tag = QByteArray("VLKRD") + char('A' + index % 26) + '+';
    begin(descriptorId);
    write("<< /Type /FontDescriptor /FontName /" + tag + name + " /Flags 4 /FontBBox [" +
          units(qint16(be16(head, 36))) + " " + units(qint16(be16(head, 38))) + " " +
          units(qint16(be16(head, 40))) + " " + units(qint16(be16(head, 42))) +
          "] /ItalicAngle 0 /Ascent " + units(qint16(be16(hhea, 4))) + " /Descent " +
          units(qint16(be16(hhea, 6))) + " /CapHeight " + units(qint16(be16(hhea, 4))) +
          " /StemV 80 /FontFile2 " + QByteArray::number(fileId) + " 0 R >>\nendobj\n");
    QByteArray widths = "[";
    for (quint32 g : used)
        widths += " " + QByteArray::number(g) + " [" +
                  QByteArray::fromStdString(fmt("%.4f", font.advance.value(g))) + "]";
    widths += " ]";
    begin(cidId);
    write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + tag + name +
          " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
          "/FontDescriptor " +
          QByteArray::number(descriptorId) + " 0 R /DW 0 /W " + widths +
          " /CIDToGIDMap /Identity >>\nendobj\n");
    QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    QList<quint32> mapped = font.unicode.keys();
    std::sort(mapped.begin(), mapped.end());
    for (int from = 0; from < mapped.size(); from += 100) {
        const int n = std::min<int>(100, int(mapped.size()) - from);
        cmap += QByteArray::number(n) + " beginbfchar\n";
        for (int i = from; i < from + n; ++i)
            cmap += "<" + hex4(mapped[i]) + "> <" + hex4(quint32(font.unicode.value(mapped[i]))) +
                    ">\n";
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    writeStream(mapId, compress(cmap.toStdString()), {});
    begin(fontId);
    write("<< /Type /Font /Subtype /Type0 /BaseFont /" + tag + name +
          " /Encoding /Identity-H /DescendantFonts [" + QByteArray::number(cidId) +
          " 0 R] /ToUnicode " + QByteArray::number(mapId) + " 0 R >>\nendobj\n");
}

bool PdfDocument::finish(const QString& creator) {
    flushPages(0);
    QByteArray fonts;
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        const int id = allocate();
        writeFont(int(i), id);
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
