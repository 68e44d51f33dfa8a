// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/WfdbRecording.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace velkard::import::wfdb {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Modified Bessel function of the first kind, order 0 (for the Kaiser window).
double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < 1e-12 * sum)
            break;
    }
    return sum;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::vector<double> resample(const std::vector<double>& x, int from, int to) {
    if (x.empty() || from <= 0 || to <= 0)
        return {};
    const int g = std::gcd(from, to);
    const int up = to / g, down = from / g;
    if (up == 1 && down == 1)
        return x;
    // The filter runs at from * up samples per second; cutoff 0.45 of the lower rate, in cycles
    // per sample of that rate.
    const double cutoff = 0.45 * std::min(from, to) / (static_cast<double>(from) * up);
    constexpr int kZeroCrossings = 16; // of the lower rate, either side
    const int half = static_cast<int>(std::ceil(kZeroCrossings * static_cast<double>(up) *
                                                std::max(1, down) / std::min(up, down)));
    const int taps = 2 * half + 1;
    constexpr double kBeta = 8.0;
    std::vector<double> h(static_cast<std::size_t>(taps));
    const double i0 = besselI0(kBeta);
    for (int k = 0; k < taps; ++k) {
        const double m = k - half;
        const double sinc = m == 0 ? 2 * cutoff : std::sin(2 * kPi * cutoff * m) / (kPi * m);
        const double r = m / half;
        h[static_cast<std::size_t>(k)] =
            sinc * besselI0(kBeta * std::sqrt(std::max(0.0, 1 - r * r))) / i0;
    }
    // Unit gain at 0 Hz for every phase.
    for (int p = 0; p < up; ++p) {
        double s = 0;
        for (int k = p; k < taps; k += up)
            s += h[static_cast<std::size_t>(k)];
        if (s != 0)
            for (int k = p; k < taps; k += up)
                h[static_cast<std::size_t>(k)] /= s;
    }
    const auto n = static_cast<std::int64_t>(x.size());
    const std::int64_t outCount = (n * up + down - 1) / down;
    std::vector<double> y(static_cast<std::size_t>(outCount));
    for (std::int64_t j = 0; j < outCount; ++j) {
        // Output j is upsampled position u = j * down; y = sum_k h[k] x_up[u + half - k].
        const std::int64_t u = j * down + half;
        // Input samples i with 0 <= u - i * up < taps.
        std::int64_t iFirst = (u - (taps - 1) + up - 1) / up;
        if (u - (taps - 1) < 0)
            iFirst = -((-(u - (taps - 1))) / up);
        double s = 0;
        for (std::int64_t i = iFirst; i * up <= u; ++i) {
            const std::int64_t k = u - i * up;
            if (k < 0 || k >= taps)
                continue;
            const double v = x[static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, n - 1))];
            s += h[static_cast<std::size_t>(k)] * v;
        }
        y[static_cast<std::size_t>(j)] = s;
    }
    return y;
}

std::optional<int> leadOfName(std::string_view description) {
    std::string s = lower(description);
    if (s.rfind("mod.", 0) == 0)
        s = s.substr(4);
    if (s == "ml2" || s == "mlii")
        s = "ii";
    if (s == "mliii")
        s = "iii";
    if (s == "mli")
        s = "i";
    for (int l = 0; l < signal::kLeadCount; ++l)
        if (s == lower(signal::kStandardLeadNames[static_cast<std::size_t>(l)]))
            return l;
    return std::nullopt;
}

bool gainsContradictLimbLeads(const Record& record) {
    const Header& h = record.header;
    std::array<int, 3> limb{-1, -1, -1}; // signals of I, II, III
    for (std::size_t s = 0; s < h.signals.size() && s < record.samples.size(); ++s) {
        const auto lead = leadOfName(h.signals[s].description);
        if (lead && *lead >= signal::StandardLeadI && *lead <= signal::StandardLeadIII &&
            limb[static_cast<std::size_t>(*lead - signal::StandardLeadI)] < 0)
            limb[static_cast<std::size_t>(*lead - signal::StandardLeadI)] = static_cast<int>(s);
    }
    if (limb[0] < 0 || limb[1] < 0 || limb[2] < 0 || record.length() == 0)
        return false;
    const SignalSpec& a = h.signals[static_cast<std::size_t>(limb[0])];
    const SignalSpec& b = h.signals[static_cast<std::size_t>(limb[1])];
    const SignalSpec& c = h.signals[static_cast<std::size_t>(limb[2])];
    if (lower(a.units) != lower(b.units) || lower(b.units) != lower(c.units))
        return false;
    const double lo = std::min({std::abs(a.gain), std::abs(b.gain), std::abs(c.gain)});
    const double hi = std::max({std::abs(a.gain), std::abs(b.gain), std::abs(c.gain)});
    if (!(lo > 0) || hi <= lo * 1.02)
        return false;
    const auto& si = record.samples[static_cast<std::size_t>(limb[0])];
    const auto& sii = record.samples[static_cast<std::size_t>(limb[1])];
    const auto& siii = record.samples[static_cast<std::size_t>(limb[2])];
    std::int64_t off = 0;
    int iiMin = sii.front(), iiMax = sii.front();
    for (std::size_t t = 0; t < sii.size(); ++t) {
        const long residual =
            static_cast<long>(si[t] - a.baseline) + (siii[t] - c.baseline) - (sii[t] - b.baseline);
        off += std::labs(residual) > 2;
        iiMin = std::min(iiMin, sii[t]);
        iiMax = std::max(iiMax, sii[t]);
    }
    // A flat or nearly flat II obeys the law at any scale.
    return iiMax - iiMin >= 200 && off * 1000 <= static_cast<std::int64_t>(sii.size());
}

std::string sharedScaleNote() {
    return "the header's gains contradict its samples (I + III = II holds on the stored values, "
           "not on the values the gains give): every signal read at 1000 units per mV";
}

Result<InstrumentRecording> toInstrument(const Record& record, std::optional<double> adcPerMv) {
    using R = Result<InstrumentRecording>;
    const Header& h = record.header;
    if (record.length() == 0)
        return R::failure(ErrorCode::EmptyRecording, "WFDB record " + h.name + " holds no samples");
    const double fsRounded = std::round(h.frequency);
    if (std::abs(h.frequency - fsRounded) > 1e-6 || fsRounded < 50 || fsRounded > 100000)
        return R::failure(ErrorCode::BadData, "WFDB record " + h.name + ": sampling frequency " +
                                                  std::to_string(h.frequency) +
                                                  " is not a whole number from 50 to 100000");
    InstrumentRecording out;
    out.source.fill(-1);
    if (!adcPerMv && gainsContradictLimbLeads(record)) {
        adcPerMv = kSharedScaleAdcPerMv;
        out.notes.push_back(sharedScaleNote());
    }
    // Which signal becomes which lead.
    std::vector<std::size_t> unnamed;
    for (std::size_t s = 0; s < h.signals.size(); ++s) {
        const auto lead = leadOfName(h.signals[s].description);
        if (lead && out.source[static_cast<std::size_t>(*lead)] < 0)
            out.source[static_cast<std::size_t>(*lead)] = static_cast<int>(s);
        else
            unnamed.push_back(s);
    }
    for (std::size_t s : unnamed) {
        int slot = -1;
        if (out.source[signal::StandardLeadII] < 0 && out.source[signal::StandardLeadI] < 0 &&
            out.source[signal::StandardLeadIII] < 0)
            slot = signal::StandardLeadII;
        else
            for (int l = signal::StandardLeadV1; l <= signal::StandardLeadV6 && slot < 0; ++l)
                if (out.source[static_cast<std::size_t>(l)] < 0)
                    slot = l;
        if (slot < 0) {
            out.notes.push_back("signal " + std::to_string(s) + " (\"" + h.signals[s].description +
                                "\") left out: no channel is free");
            continue;
        }
        out.source[static_cast<std::size_t>(slot)] = static_cast<int>(s);
        out.notes.push_back("signal " + std::to_string(s) + " (\"" + h.signals[s].description +
                            "\") placed as lead " +
                            signal::kStandardLeadNames[static_cast<std::size_t>(slot)]);
    }

    const int fs = static_cast<int>(fsRounded);
    auto leadMv = [&](int lead) -> std::vector<double> {
        const int s = out.source[static_cast<std::size_t>(lead)];
        if (s < 0)
            return {};
        const SignalSpec& sig = h.signals[static_cast<std::size_t>(s)];
        const double gain = adcPerMv ? *adcPerMv : sig.gain;
        double scale = 1.0 / gain;
        const std::string units = lower(sig.units);
        if (!adcPerMv && (units == "uv" || units == "µv"))
            scale /= 1000.0;
        else if (!adcPerMv && units == "v")
            scale *= 1000.0;
        std::vector<double> v(static_cast<std::size_t>(record.length()));
        for (std::size_t t = 0; t < v.size(); ++t)
            v[t] = (record.samples[static_cast<std::size_t>(s)][t] - sig.baseline) * scale;
        return resample(v, fs, signal::kRecordsPerSecond);
    };
    std::vector<double> i = leadMv(signal::StandardLeadI), ii = leadMv(signal::StandardLeadII),
                        iii = leadMv(signal::StandardLeadIII);
    const std::size_t n =
        static_cast<std::size_t>((record.length() * signal::kRecordsPerSecond + fs - 1) / fs);
    if (completeLimbLeads(i, ii, iii, n)) {
        for (int l = signal::StandardLeadI; l <= signal::StandardLeadAVF; ++l)
            out.present[static_cast<std::size_t>(l)] = true;
    } else if (!ii.empty()) {
        out.present[signal::StandardLeadII] = true;
    } else if (!i.empty() || !iii.empty()) {
        // One limb lead other than II: carried in II's channel would misname it; III can be
        // carried alone in its own channel.
        if (!iii.empty())
            out.present[signal::StandardLeadIII] = true;
        else
            out.notes.push_back("lead I alone cannot be placed into the channels; left out");
    }
    ii.resize(n, 0.0);
    iii.resize(n, 0.0);
    std::array<std::vector<double>, 6> chest;
    for (int k = 0; k < 6; ++k) {
        chest[static_cast<std::size_t>(k)] = leadMv(signal::StandardLeadV1 + k);
        if (!chest[static_cast<std::size_t>(k)].empty())
            out.present[static_cast<std::size_t>(signal::StandardLeadV1 + k)] = true;
        chest[static_cast<std::size_t>(k)].resize(n, 0.0);
    }
    auto units = [](double mv) {
        return static_cast<std::int16_t>(
            std::clamp(std::lround(mv * signal::kUnitsPerMillivolt), -32768L, 32767L));
    };
    out.records.resize(n);
    for (std::size_t t = 0; t < n; ++t) {
        signal::SampleRecord& r = out.records[t];
        r.c[0] = units(iii[t]);
        r.c[1] = units(ii[t]);
        const std::int32_t ref = (static_cast<std::int32_t>(r.c[1]) + r.c[0]) / 3;
        for (std::size_t k = 0; k < 6; ++k)
            r.c[2 + k] = static_cast<std::int16_t>(
                std::clamp<std::int32_t>(ref - units(chest[k][t]), -32768, 32767));
    }
    for (int l = 0; l < signal::kLeadCount; ++l)
        if (!out.present[static_cast<std::size_t>(l)])
            out.source[static_cast<std::size_t>(l)] = -1;
    return R::success(std::move(out));
}

bool completeLimbLeads(std::vector<double>& i, std::vector<double>& ii, std::vector<double>& iii,
                       std::size_t n) {
    if (!i.empty() + !ii.empty() + !iii.empty() < 2)
        return false;
    if (ii.empty()) {
        ii.resize(n);
        for (std::size_t t = 0; t < n; ++t)
            ii[t] = i[t] + iii[t];
    }
    if (iii.empty()) {
        iii.resize(n);
        for (std::size_t t = 0; t < n; ++t)
            iii[t] = ii[t] - i[t];
    }
    return true;
}

} // namespace velkard::import::wfdb
