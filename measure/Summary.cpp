// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/Summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velkard::measure {

namespace {

constexpr std::int64_t kSecond = signal::kRecordsPerSecond;

} // namespace

std::string fixedText(std::optional<double> v, int decimals, std::string_view missing) {
    if (!v || !std::isfinite(*v))
        return std::string(missing);
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, *v);
    if (text[0] == '-' && std::string_view(text + 1).find_first_not_of("0.") == std::string::npos)
        return text + 1;
    return text;
}

std::vector<signal::SampleRecord> recordsOf(std::span<const std::uint8_t> bytes, std::int64_t first,
                                            std::int64_t count) {
    const auto total = static_cast<std::int64_t>(bytes.size() / signal::kRecordBytes);
    first = std::clamp<std::int64_t>(first, 0, total);
    count = std::clamp<std::int64_t>(count, 0, total - first);
    std::vector<signal::SampleRecord> out(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes.data() + (first + i) * signal::kRecordBytes;
        for (std::size_t c = 0; c < signal::kChannels; ++c)
            out[static_cast<std::size_t>(i)].c[c] = signal::readLe16(p + 2 * c);
    }
    return out;
}

Measurements measureRecording(std::span<const std::uint8_t> bytes, std::int64_t first,
                              std::int64_t count) {
    first = std::max<std::int64_t>(first, 0);
    count = std::max<std::int64_t>(count, 0);
    const std::int64_t from = std::max<std::int64_t>(0, first - kSecond);
    const auto records = recordsOf(bytes, from, first - from + count + kSecond);
    const auto offset = static_cast<std::size_t>(first - from);
    if (offset >= records.size())
        return {};
    Measurements m =
        measureSpan(records.data(), records.size(), offset, static_cast<std::size_t>(count));
    for (std::int64_t& b : m.beats)
        b += from;
    return m;
}

std::vector<std::string> summaryLines(const Measurements& m, bool russian) {
    auto pick = [russian](const char* ru, const char* en) {
        return std::string(russian ? ru : en);
    };
    if (m.beats.empty())
        return {
            pick("Измерения: комплексы QRS не найдены", "Measurements: no QRS complexes found")};
    const std::string ms = pick(" мс", " ms");
    // Russian writes a decimal comma, as the rest of a Russian page does.
    const auto decimal = [russian](std::string text) {
        if (russian)
            std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    const auto n = [](std::optional<double> v) { return fixedText(v, 0, "—"); };
    std::optional<double> sokolow;
    const auto& sV1 = m.leads[signal::StandardLeadV1].sMv;
    const auto& rV5 = m.leads[signal::StandardLeadV5].rMv;
    if (sV1 && rV5)
        sokolow = *sV1 + *rV5;
    return {
        pick("ЧСС ", "HR ") + n(m.heartRateBpm) + pick(" уд/мин", " bpm") + "  RR " + n(m.rrMs) +
            ms + "  P " + n(m.pMs) + ms + "  PR " + n(m.prMs) + ms + "  QRS " + n(m.qrsMs) + ms,
        "QT " + n(m.qtMs) + ms + "  QTc " + n(m.qtcBazettMs) +
            pick(" (Базетт) / ", " (Bazett) / ") + n(m.qtcFridericiaMs) +
            pick(" (Фридеричиа)", " (Fridericia)") + ms,
        pick("Оси P/QRS/T ", "Axes P/QRS/T ") + n(m.pAxisDeg) + "/" + n(m.qrsAxisDeg) + "/" +
            n(m.tAxisDeg) + "°  SV1+RV5 " + decimal(fixedText(sokolow, 2, "—")) +
            pick(" мВ", " mV"),
    };
}

std::vector<QualityFinding> qualityFindings(const LeadQuality& q) {
    std::vector<QualityFinding> found;
    if (q.off)
        found.push_back(QualityFinding::Off);
    if (q.noisy)
        found.push_back(QualityFinding::Noisy);
    if (q.mains && !q.noisy)
        found.push_back(QualityFinding::Mains);
    if (q.drift)
        found.push_back(QualityFinding::Drift);
    if (q.steps > 0)
        found.push_back(QualityFinding::Steps);
    return found;
}

std::string qualityText(const LeadQuality& q, bool russian) {
    static constexpr const char* kWords[][2] = {{"отключено", "off"},
                                                {"шум", "noisy"},
                                                {"сеть", "mains"},
                                                {"дрейф", "drift"},
                                                {"скачки", "steps"}};
    std::string said;
    for (const QualityFinding f : qualityFindings(q)) {
        if (!said.empty())
            said += ", ";
        said += kWords[static_cast<int>(f)][russian ? 0 : 1];
    }
    return said;
}

std::vector<std::vector<std::string>> leadTable(const Measurements& m, bool russian) {
    const auto decimal = [russian](std::string text) {
        if (russian)
            std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    const auto mv = [&](std::optional<double> v) { return decimal(fixedText(v, 2, "—")); };
    const auto signedMv = [&](double v) {
        std::string text = v > 0 ? "+" : "";
        text += mv(v);
        return text;
    };
    std::vector<std::vector<std::string>> rows;
    const std::string mvUnit = russian ? ", мВ" : ", mV";
    rows.push_back({russian ? "Отведение" : "Lead", russian ? "Q, мс" : "Q, ms", "Q" + mvUnit,
                    "R" + mvUnit, "S" + mvUnit, "R′" + mvUnit, "ST J" + mvUnit, "ST J+60" + mvUnit,
                    "ST J+80" + mvUnit, "T" + mvUnit,
                    russian ? "Площадь QRS, мВ·мс" : "QRS area, mV·ms"});
    for (std::size_t l = 0; l < m.leads.size(); ++l) {
        const LeadAmplitudes& a = m.leads[l];
        // Both phases of a biphasic T: the smaller at least 0.05 mV and a third of the larger.
        std::string t = mv(a.tMv);
        if (a.tPosMv && a.tNegMv &&
            std::min(*a.tPosMv, -*a.tNegMv) >= std::max(0.05, std::max(*a.tPosMv, -*a.tNegMv) / 3))
            t = signedMv(*a.tPosMv) + "/" + signedMv(*a.tNegMv);
        rows.push_back({signal::kStandardLeadNames[l], fixedText(a.qMs, 0, "—"), mv(a.qMv),
                        mv(a.rMv), mv(a.sMv), mv(a.r2Mv), mv(a.stJMv), mv(a.st60Mv), mv(a.st80Mv),
                        t, fixedText(a.qrsArea, 0, "—")});
    }
    return rows;
}

} // namespace velkard::measure
