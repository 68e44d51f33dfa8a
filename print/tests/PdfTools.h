// SPDX-License-Identifier: GPL-3.0-or-later
// Test helpers: render print jobs to PDF and read the result back with poppler's tools.
#pragma once

#include "print/PrintJob.h"

#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

namespace velkard::print::test {

// Runs a program and returns its standard output; fails the test when it does not exit 0.
QString runTool(const QString& program, const QStringList& args);

// Page count of a PDF (pdfinfo).
int pdfPages(const QString& pdf);
// Text of one page (pdftotext, 1-based page).
QString pdfText(const QString& pdf, int page);
// One page rasterised at dpi, greyscale (pdftoppm).
QImage rasterPage(const QString& pdf, int page, int dpi);
// x of the left edge, in pixels at 72 dpi (PDF points), of each word on a page (pdftotext -bbox).
struct Word {
    QString text;
    double xMin = 0;
    double yMin = 0;
};
std::vector<Word> pdfWords(const QString& pdf, int page);

// Synthetic recordings: `seconds` of records at 800 per second with lead II = c1 = value(sample),
// every other channel 0.
std::vector<std::uint8_t> leadIIRecording(int seconds, int (*value)(int sample));

bool isDark(const QImage& img, int x, int y);

} // namespace velkard::print::test
