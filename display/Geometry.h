// SPDX-License-Identifier: GPL-3.0-or-later
// Physical ECG units (mm of paper, mm/mV, mm/s) turned into screen and printer pixels, and the
// tables behind the scale, lead-group and speed selectors.
#pragma once

#include <array>
#include <optional>

namespace velkard::display {

// The four device capabilities the geometry rests on: pixel resolution and physical size (mm).
struct DeviceCaps {
    int horzRes = 1024; // HORZRES, pixels across
    int horzSize = 320; // HORZSIZE, millimetres across
    int vertRes = 768;  // VERTRES, pixels down
    int vertSize = 240; // VERTSIZE, millimetres down

    double horzPxPerMm() const { return double(horzRes) / double(horzSize > 0 ? horzSize : 1); }
    double vertPxPerMm() const { return double(vertRes) / double(vertSize > 0 ? vertSize : 1); }
    bool operator==(const DeviceCaps&) const = default;
};

// The primary screen's capabilities (pixel size and physical size); the defaults above when no
// screen is available or the screen reports no physical size. Needs a QGuiApplication.
DeviceCaps screenCaps();

inline constexpr int kSampleRate = 800; // samples per second the time scale rests on

inline constexpr int kScaleCount = 3;
inline constexpr int kGroupCount = 10;
inline constexpr int kSpeedCount = 4; // selectable speeds; the table holds a fifth, unused, 100
inline constexpr int kLeadCount = 12;

inline constexpr std::array<int, kScaleCount> kScaleMmPerMv{5, 10, 20};
inline constexpr std::array<int, 5> kSpeedMmPerS{5, 10, 25, 50, 100};

// Selector item texts, index = item index.
inline constexpr std::array<const char*, kScaleCount> kScaleItemsRu{"5 мм/мВ", "10 мм/мВ",
                                                                    "20 мм/мВ"};
inline constexpr std::array<const char*, kScaleCount> kScaleItemsEn{"5 mm/mV", "10 mm/mV",
                                                                    "20 mm/mV"};
inline constexpr std::array<const char*, kSpeedCount> kSpeedItemsRu{"5 мм/с", "10 мм/с", "25 мм/с",
                                                                    "50 мм/с"};
inline constexpr std::array<const char*, kSpeedCount> kSpeedItemsEn{"5 mm/s", "10 mm/s", "25 mm/s",
                                                                    "50 mm/s"};
// Lead-group items are the same in both languages.
inline constexpr std::array<const char*, kGroupCount> kGroupItems{
    "I", "II", "III", "I..III", "aVR..aVF", "I..aVF", "V1..V3", "V4..V6", "V1..V6", "I..V6"};

inline const char* scaleItem(int index, bool russian) {
    return (russian ? kScaleItemsRu : kScaleItemsEn)[static_cast<std::size_t>(index)];
}
inline const char* speedItem(int index, bool russian) {
    return (russian ? kSpeedItemsRu : kSpeedItemsEn)[static_cast<std::size_t>(index)];
}

// Index clamps, so a damaged settings file can never index past a table.
int clampScale(int index);
int clampGroup(int index);
int clampSpeed(int index);

// Pixels per sample unit: scale × vertical px/mm × (1/198) × 0.3125 × 0.93, in single precision.
float amplitudeGain(int scaleIndex, double vertPxPerMm);

// The largest error of the drawn speed against the stated one before a fractional number of
// samples per column replaces the whole one.
inline constexpr double kSpeedTolerance = 0.025;

// How many samples one screen pixel column stands for: a whole number (at least 1) where that
// draws the stated speed within 2.5 %, otherwise the exact value 800 ÷ (speed × px/mm).
float screenSamplesPerColumn(int speedIndex, double horzPxPerMm);

// The same for a printer page of the given width in pixels, taken as 210 mm wide.
float printerSamplesPerColumn(int speedIndex, int pageWidthPx);

// Whole seconds one review page spans: trunc(ceil((HORZRES − 19p) ÷ (p × speed))).
int secondsPerScreen(const DeviceCaps& caps, int speedIndex);

// Rows of each lead group: 1, 1, 1, 3, 3, 6, 3, 3, 6, 12.
int rowCount(int groupIndex);

// Lead number (0 = I … 11 = V6) shown in row `row` (0-based) of a group. For the single-lead
// groups the lead is the single-lead index, which equals the group index.
int leadOfRow(int groupIndex, int row);

// Row spacings derived from the client-area bottom (integer divisions).
struct RowSpacings {
    int single = 0; // single-lead baseline, client bottom ÷ 2
    int s1 = 0;     // three-lead groups, client bottom ÷ 4
    int s2 = 0;     // six-lead groups, client bottom ÷ 7
    int s3 = 0;     // twelve leads, client bottom ÷ 13
    int offset = 0; // added to every baseline (rows moved down to make room above the first)

    static RowSpacings forClientBottom(int clientBottom) {
        return {clientBottom / 2, clientBottom / 4, clientBottom / 7, clientBottom / 13};
    }
    bool operator==(const RowSpacings&) const = default;
};

// Baseline y of row `row` (0-based) of a group: the single-lead baseline, or (row + 1) × spacing,
// plus the spacings' offset.
int rowBaseline(int groupIndex, int row, const RowSpacings& spacings);

// The sample value v of a lead drawn at y = trunc(baseline − v × gain).
inline int traceY(int baseline, int value, float gain) {
    return static_cast<int>(double(baseline) - double(value) * double(gain));
}

// One consistent set of display geometry values (what the selectors and the screen determine).
struct Geometry {
    DeviceCaps caps;
    double horzPxPerMm = 3.2;
    double vertPxPerMm = 3.2;
    float gain = 0;
    float screenSamplesPerColumn = 10;
    float printerSamplesPerColumn = 6;
    int scaleIndex = 1;
    int groupIndex = 9;
    int speedIndex = 2;

    // Stores vertical px/mm and recomputes the gain from the scale index.
    void computeVertical();
    // Stores horizontal px/mm and the screen samples per column; the printer value only when a
    // printer page width is given (otherwise it keeps its previous value).
    void computeHorizontal(std::optional<int> printerPageWidthPx = std::nullopt);
};

} // namespace velkard::display
