// SPDX-License-Identifier: GPL-3.0-or-later
// One review page of traces on screen: which records it shows, the twelve leads derived from them
// (an A2 recording switches by the record's position), each row drawn as its envelope, and the
// second labels at the columns of their seconds.
#pragma once

#include "display/Canvas.h"
#include "display/Envelope.h"
#include "display/Geometry.h"
#include "display/Leads.h"
#include "signal/Recording.h"
#include "signal/SampleRecord.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace velkard::display {

using LeadArrays = std::array<std::vector<std::int16_t>, 12>;

// First record of review page `page` when a page holds `columns` columns of samplesPerColumn
// records: pages follow each other without gap or overlap.
inline std::int64_t pageFirstRecord(int page, int columns, double samplesPerColumn) {
    return columnStart(std::int64_t(page) * columns, samplesPerColumn);
}

// The twelve leads of records [first, first + count) of recording bytes. A2: records from 8040 on
// carry lead II alone and are taken as they are.
inline LeadArrays deriveRange(std::span<const std::uint8_t> bytes, std::int64_t first,
                              std::int64_t count, bool kindA2) {
    LeadArrays leads;
    const std::int64_t records = std::int64_t(bytes.size() / signal::kRecordBytes);
    first = std::clamp<std::int64_t>(first, 0, records);
    count = std::clamp<std::int64_t>(count, 0, records - first);
    for (auto& lead : leads)
        lead.resize(std::size_t(count));
    signal::SampleBlock block{};
    DerivedLeads derived{};
    for (std::int64_t at = 0; at < count; at += signal::kRecordsPerBlock) {
        const int n = int(std::min<std::int64_t>(signal::kRecordsPerBlock, count - at));
        const std::uint8_t* p = bytes.data() + (first + at) * signal::kRecordBytes;
        for (int r = 0; r < n; ++r)
            for (int ch = 0; ch < signal::kChannels; ++ch)
                block[std::size_t(r)].c[std::size_t(ch)] =
                    signal::readLe16(p + r * signal::kRecordBytes + 2 * ch);
        int position = int(std::min<std::int64_t>(first + at, std::int64_t(1) << 30));
        deriveLeads(block.data(), n, derived, kindA2 ? &position : nullptr);
        for (std::size_t l = 0; l < 12; ++l)
            std::memcpy(leads[l].data() + at, derived[l].data(), std::size_t(n) * 2);
    }
    return leads;
}

// Draws column spans as strokes from column x0 on, one pixel column each, joined to their
// neighbours; columns at or right of xEnd are left out.
inline void drawSpans(Canvas& c, const std::vector<ColumnSpan>& spans, int x0, int xEnd,
                      int baseline, float gain) {
    auto yOf = [&](int v) { return traceY(baseline, v, gain); };
    const ColumnSpan* previous = nullptr;
    int previousX = 0;
    for (std::size_t k = 0; k < spans.size(); ++k) {
        const int x = x0 + int(k);
        if (x >= xEnd)
            break;
        const ColumnSpan& s = spans[k];
        if (s.empty)
            continue;
        if (previous && previousX < x - 1) {
            // Columns without samples between: a line from the last sample to the first.
            c.line(previousX, yOf(previous->last), x, yOf(s.first));
            const Stroke st = columnStroke(s, nullptr, yOf);
            c.line(x, st.top, x, st.bottom + 1);
        } else {
            const Stroke st = columnStroke(s, previous, yOf);
            c.line(x, st.top, x, st.bottom + 1);
        }
        previous = &s;
        previousX = x;
    }
}

// Second labels: every `step`-th second, so that labels of this width do not touch.
inline int secondLabelStep(double pxPerSecond, int widestLabelPx) {
    for (int step : {1, 2, 5, 10, 20, 30, 60, 120, 300, 600})
        if (step * pxPerSecond >= widestLabelPx + 6)
            return step;
    return 1200;
}

struct SecondLabel {
    int x = 0;
    int second = 0;
};

// Labels for the whole seconds whose first record lies in [firstRecord, endRecord] (the page's
// records; the end's second is labelled too), at x0 + the column of that record.
inline std::vector<SecondLabel> secondLabelsOfPage(std::int64_t firstRecord, std::int64_t endRecord,
                                                   int x0, int xEnd, double samplesPerColumn,
                                                   int step) {
    std::vector<SecondLabel> out;
    const int rate = signal::kRecordsPerSecond;
    for (std::int64_t s = (firstRecord + rate - 1) / rate; s * rate <= endRecord; ++s) {
        if (s % step != 0)
            continue;
        const int x = x0 + int(columnOfSample(s * rate - firstRecord, samplesPerColumn));
        if (x >= xEnd)
            break;
        out.push_back({x, int(s)});
    }
    return out;
}

} // namespace velkard::display
