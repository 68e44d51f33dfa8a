// SPDX-License-Identifier: GPL-3.0-or-later
#include "print/tests/PdfTools.h"

#include "signal/SampleRecord.h"

#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace velkard::print::test {

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    const bool finished = p.waitForFinished(120000);
    EXPECT_TRUE(finished) << program.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& pdf) {
    const QString info = runTool(QStringLiteral("pdfinfo"), {pdf});
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& pdf, int page) {
    return runTool(QStringLiteral("pdftotext"),
                   {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                    QString::number(page), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                    QStringLiteral("-")});
}

QImage rasterPage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
             QStringLiteral("-aa"), QStringLiteral("no"), QStringLiteral("-aaVector"),
             QStringLiteral("no"), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"), pdf,
             prefix});
    QImageReader::setAllocationLimit(1024);
    QImage img(prefix + QStringLiteral(".pgm"));
    EXPECT_FALSE(img.isNull());
    return img.convertToFormat(QImage::Format_Grayscale8);
}

std::vector<Word> pdfWords(const QString& pdf, int page) {
    const QString html =
        runTool(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                 QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    std::vector<Word> words;
    static const QRegularExpression re(
        QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    auto it = re.globalMatch(html);
    while (it.hasNext()) {
        const auto m = it.next();
        words.push_back({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

std::vector<std::uint8_t> leadIIRecording(int seconds, int (*value)(int sample)) {
    const int n = seconds * signal::kRecordsPerSecond;
    std::vector<std::uint8_t> bytes(std::size_t(n) * signal::kRecordBytes, 0);
    for (int i = 0; i < n; ++i)
        signal::writeLe16(bytes.data() + std::size_t(i) * 16 + 2, std::int16_t(value(i)));
    return bytes;
}

bool isDark(const QImage& img, int x, int y) {
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height())
        return false;
    return qGray(img.pixel(x, y)) < 128;
}

} // namespace velkard::print::test
