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

// The twelve leads of records [first, first + count) of recording bytes into leads (each grown to
// hold them; the count, clamped to the recording, is returned). A2: records from 8040 on carry
// lead II alone and are taken as they are.
inline std::int64_t deriveRangeInto(std::span<const std::uint8_t> bytes, std::int64_t first,
                                    std::int64_t count, bool kindA2, LeadArrays& leads) {
    const std::int64_t records = std::int64_t(bytes.size() / signal::kRecordBytes);
    first = std::clamp<std::int64_t>(first, 0, records);
    count = std::clamp<std::int64_t>(count, 0, records - first);
    for (auto& lead : leads)
        if (lead.size() < std::size_t(count))
            lead.resize(std::size_t(count));
    const std::int64_t derivedEnd =
        kindA2 ? std::clamp<std::int64_t>(kA2DerivedLimit - first, 0, count) : count;
    const std::uint8_t* p = bytes.data() + first * signal::kRecordBytes;
    std::int16_t* out[12];
    for (std::size_t l = 0; l < 12; ++l)
        out[l] = leads[l].data();
    auto wrap = [](std::int32_t v) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
    };
    // The derivation of signal::deriveStandardLeads, one pass over the records.
    for (std::int64_t i = 0; i < derivedEnd; ++i) {
        const std::uint8_t* r = p + i * signal::kRecordBytes;
        const std::int32_t c0 = signal::readLe16(r);
        const std::int32_t c1 = signal::readLe16(r + 2);
        out[LeadI][i] = wrap(c1 - c0);
        out[LeadII][i] = wrap(c1);
        out[LeadIII][i] = wrap(c0);
        out[LeadAVR][i] = wrap(c0 / 2 - c1);
        out[LeadAVL][i] = wrap(c1 / 2 - c0);
        out[LeadAVF][i] = wrap((c1 + c0) / 2);
        const std::int32_t chestRef = (c1 + c0) / 3;
        for (int v = 0; v < 6; ++v)
            out[LeadV1 + v][i] = wrap(chestRef - signal::readLe16(r + 4 + 2 * v));
    }
    for (std::int64_t i = derivedEnd; i < count; ++i) {
        const std::uint8_t* r = p + i * signal::kRecordBytes;
        const std::int16_t c0 = signal::readLe16(r);
        out[LeadI][i] = out[LeadIII][i] = out[LeadAVR][i] = out[LeadAVL][i] = out[LeadAVF][i] = c0;
        out[LeadII][i] = signal::readLe16(r + 2);
        for (int v = 0; v < 6; ++v)
            out[LeadV1 + v][i] = signal::readLe16(r + 4 + 2 * v);
    }
    return count;
}

// The columns envelope() gives, into a reused vector, except for hiFirst (left false: drawing
// does not use the order of the extremes).
inline void drawnColumns(const std::int16_t* samples, std::size_t count, double samplesPerColumn,
                         std::vector<ColumnSpan>& out) {
    out.clear();
    const double spc = samplesPerColumn > 0 ? samplesPerColumn : 1.0;
    const auto n = std::int64_t(count);
    // A whole number of samples per column needs no rounding per column.
    const auto whole = static_cast<std::int64_t>(spc);
    const bool isWhole = double(whole) == spc;
    std::int64_t start = 0;
    for (std::int64_t c = 1; start < n; ++c) {
        const std::int64_t next = isWhole ? start + whole : columnStart(c, spc);
        const std::int64_t end = std::min(next, n);
        ColumnSpan span;
        if (end > start) {
            std::int16_t lo = samples[start];
            std::int16_t hi = samples[start];
            for (std::int64_t i = start + 1; i < end; ++i) {
                lo = std::min(lo, samples[i]);
                hi = std::max(hi, samples[i]);
            }
            span.lo = lo;
            span.hi = hi;
            span.first = samples[start];
            span.last = samples[end - 1];
            span.empty = false;
        }
        out.push_back(span);
        start = next;
    }
}

// Draws column spans as strokes from column x0 on, one pixel column each, joined to their
// neighbours; columns at or right of xEnd are left out.
// halo (0..256) widens the trace to about 1.5 px: each column's stroke gets a soft edge of the
// pen at that share right of it and below it (0: one pixel wide, as the canvas draws it).
inline void drawSpans(Canvas& c, const std::vector<ColumnSpan>& spans, int x0, int xEnd,
                      int baseline, float gain, int halo = 0) {
    auto yOf = [&](int v) { return traceY(baseline, v, gain); };
    auto soften = [&](int x, const Stroke& st) {
        if (halo <= 0)
            return;
        if (x + 1 < xEnd)
            for (int y = st.top; y <= st.bottom; ++y)
                c.blendPixel(x + 1, y, halo);
        c.blendPixel(x, st.bottom + 1, halo);
    };
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
            soften(x, st);
        } else {
            const Stroke st = columnStroke(s, previous, yOf);
            c.line(x, st.top, x, st.bottom + 1);
            soften(x, st);
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
