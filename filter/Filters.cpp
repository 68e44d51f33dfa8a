// SPDX-License-Identifier: GPL-3.0-or-later
#include "filter/Filters.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace velkard::filter {

namespace {

using cplx = std::complex<double>;
constexpr double kPi = std::numbers::pi;
constexpr int kCh = signal::kChannels;

// Loss of the notch at its pass edges (mains ± 5 Hz) in one pass; twice that forward-backward.
constexpr double kNotchPassLossDb = 0.2;
constexpr double kNotchPassHalfWidthHz = 5.0;

// Analog frequency (rad/s) that the bilinear transform maps onto the digital frequency hz.
double warped(double hz, double fs) {
    return 2 * fs * std::tan(kPi * hz / fs);
}

cplx toDigital(cplx s, double fs) {
    return (2 * fs + s) / (2 * fs - s);
}

// A section from digital poles and zeros (pairs of conjugates, or two real ones), scaled to unit
// gain at the digital frequency w (radians per sample).
Biquad section(cplx p1, cplx p2, cplx z1, cplx z2, double w) {
    Biquad b;
    b.b0 = 1;
    b.b1 = -(z1 + z2).real();
    b.b2 = (z1 * z2).real();
    b.a1 = -(p1 + p2).real();
    b.a2 = (p1 * p2).real();
    const cplx e = std::polar(1.0, -w);
    const cplx h = (b.b0 + b.b1 * e + b.b2 * e * e) / (1.0 + b.a1 * e + b.a2 * e * e);
    const double g = 1.0 / std::abs(h);
    b.b0 *= g;
    b.b1 *= g;
    b.b2 *= g;
    return b;
}

// First-order section with a real pole and a real zero, unit gain at w.
Biquad firstOrder(double pole, double zero, double w) {
    Biquad b;
    b.b0 = 1;
    b.b1 = -zero;
    b.a1 = -pole;
    const cplx e = std::polar(1.0, -w);
    const double g = 1.0 / std::abs((b.b0 + b.b1 * e) / (1.0 + b.a1 * e));
    b.b0 *= g;
    b.b1 *= g;
    return b;
}

// Second-order Butterworth low-pass, 3 dB down at fc in one pass (Causal) or forward-backward.
Biquad lowPass(double fc, Phase phase, double fs) {
    double wc = warped(fc, fs);
    if (phase == Phase::Zero) // (1 + x^4)^2 = 2 at the stated frequency
        wc /= std::pow(std::sqrt(2.0) - 1.0, 0.25);
    const cplx p = std::polar(wc, 3 * kPi / 4);
    return section(toDigital(p, fs), toDigital(std::conj(p), fs), -1.0, -1.0, 0.0);
}

// First-order high-pass, 3 dB down at fc in one pass (Causal) or forward-backward.
Biquad highPass(double fc, Phase phase, double fs) {
    double wc = warped(fc, fs);
    if (phase == Phase::Zero) // (x^2 / (1 + x^2))^2 = 1/2 at the stated frequency
        wc /= std::sqrt(std::sqrt(2.0) + 1.0);
    return firstOrder(toDigital(-wc, fs).real(), 1.0, kPi);
}

// Band-stop from a third-order Butterworth prototype: kNotchPassLossDb at mains ± 5 Hz, and
// about 45 dB down at mains ± 0.5 Hz in one pass. Three sections.
void notch(double f0, double fs, std::vector<Biquad>& out) {
    const double w0 = warped(f0, fs);
    const double w1 = warped(f0 - kNotchPassHalfWidthHz, fs);
    const double w2 = warped(f0 + kNotchPassHalfWidthHz, fs);
    // Band-stop mapping s -> B s / (s^2 + w0^2); B puts both pass edges at prototype frequency
    // <= 1.
    const double bw = std::min(std::abs(w0 * w0 - w1 * w1) / w1, std::abs(w0 * w0 - w2 * w2) / w2);
    const double eps2 = std::pow(10.0, kNotchPassLossDb / 10) - 1;
    const double radius = std::pow(eps2, -1.0 / 6.0); // prototype 3 dB frequency
    const cplx zero = toDigital(cplx(0, w0), fs);
    const double dc = 0.0;
    // Real prototype pole -radius: s^2 + (B / radius) s + w0^2.
    {
        const cplx c = bw / cplx(-radius, 0);
        const cplx root = (c + std::sqrt(c * c - 4 * w0 * w0)) / 2.0;
        out.push_back(section(toDigital(root, fs), toDigital(std::conj(root), fs), zero,
                              std::conj(zero), dc));
    }
    // The conjugate pair at 120 degrees: each of its poles gives two band-stop poles.
    const cplx p = std::polar(radius, 2 * kPi / 3);
    const cplx c = bw / p;
    const cplx d = std::sqrt(c * c - 4 * w0 * w0);
    for (const cplx root : {(c + d) / 2.0, (c - d) / 2.0})
        out.push_back(section(toDigital(root, fs), toDigital(std::conj(root), fs), zero,
                              std::conj(zero), dc));
}

// ---- running the sections over interleaved eight-channel frames ---------------------------------

struct Coeffs {
    float b0, b1, b2, a1, a2;
};

std::vector<Coeffs> toFloat(const std::vector<Biquad>& sections) {
    std::vector<Coeffs> c;
    c.reserve(sections.size());
    for (const Biquad& b : sections)
        c.push_back({float(b.b0), float(b.b1), float(b.b2), float(b.a1), float(b.a2)});
    return c;
}

// State of every section: s1[8], s2[8] after each other.
void steadyState(const std::vector<Biquad>& sections, const float* frame, float* state) {
    std::array<double, kCh> x{};
    for (int ch = 0; ch < kCh; ++ch)
        x[std::size_t(ch)] = frame[ch];
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const Biquad& b = sections[s];
        const double g = (b.b0 + b.b1 + b.b2) / (1 + b.a1 + b.a2);
        float* s1 = state + s * 2 * kCh;
        float* s2 = s1 + kCh;
        for (int ch = 0; ch < kCh; ++ch) {
            const double in = x[std::size_t(ch)];
            const double y = g * in;
            const double v2 = b.b2 * in - b.a2 * y;
            s2[ch] = float(v2);
            s1[ch] = float(b.b1 * in - b.a1 * y + v2);
            x[std::size_t(ch)] = y;
        }
    }
}

// Four channels side by side (GCC and Clang vector extension; SSE on x86-64).
typedef float Lanes __attribute__((vector_size(16)));
static_assert(kCh == 8, "two groups of four lanes");

struct SectionLanes {
    Lanes b0, b1, b2, a1, a2;
    Lanes s1a, s1b, s2a, s2b;

    SectionLanes(const Coeffs& k, const float* st)
        : b0{k.b0, k.b0, k.b0, k.b0}, b1{k.b1, k.b1, k.b1, k.b1}, b2{k.b2, k.b2, k.b2, k.b2},
          a1{k.a1, k.a1, k.a1, k.a1}, a2{k.a2, k.a2, k.a2, k.a2} {
        std::memcpy(&s1a, st, 16);
        std::memcpy(&s1b, st + 4, 16);
        std::memcpy(&s2a, st + 8, 16);
        std::memcpy(&s2b, st + 12, 16);
    }
    void save(float* st) const {
        std::memcpy(st, &s1a, 16);
        std::memcpy(st + 4, &s1b, 16);
        std::memcpy(st + 8, &s2a, 16);
        std::memcpy(st + 12, &s2b, 16);
    }
    // Transposed direct form II, eight channels.
    void step(Lanes& xa, Lanes& xb) {
        const Lanes ya = b0 * xa + s1a;
        const Lanes yb = b0 * xb + s1b;
        s1a = b1 * xa - a1 * ya + s2a;
        s1b = b1 * xb - a1 * yb + s2b;
        s2a = b2 * xa - a2 * ya;
        s2b = b2 * xb - a2 * yb;
        xa = ya;
        xb = yb;
    }
};

// Runs n frames through every section in place, two sections at a time over all of them (their
// states stay in registers, and the two recursions overlap).
void run(const std::vector<Coeffs>& coeffs, float* state, float* frames, std::size_t n) {
    std::size_t s = 0;
    for (; s + 1 < coeffs.size(); s += 2) {
        SectionLanes first(coeffs[s], state + s * 2 * kCh);
        SectionLanes second(coeffs[s + 1], state + (s + 1) * 2 * kCh);
        for (std::size_t i = 0; i < n; ++i) {
            float* x = frames + i * kCh;
            Lanes xa, xb;
            std::memcpy(&xa, x, 16);
            std::memcpy(&xb, x + 4, 16);
            first.step(xa, xb);
            second.step(xa, xb);
            std::memcpy(x, &xa, 16);
            std::memcpy(x + 4, &xb, 16);
        }
        first.save(state + s * 2 * kCh);
        second.save(state + (s + 1) * 2 * kCh);
    }
    if (s < coeffs.size()) {
        SectionLanes last(coeffs[s], state + s * 2 * kCh);
        for (std::size_t i = 0; i < n; ++i) {
            float* x = frames + i * kCh;
            Lanes xa, xb;
            std::memcpy(&xa, x, 16);
            std::memcpy(&xb, x + 4, 16);
            last.step(xa, xb);
            std::memcpy(x, &xa, 16);
            std::memcpy(x + 4, &xb, 16);
        }
        last.save(state + s * 2 * kCh);
    }
}

std::int16_t toSample(float v) {
    const float r = std::nearbyint(v);
    return static_cast<std::int16_t>(std::clamp(r, -32768.0f, 32767.0f));
}

void loadFrames(const std::uint8_t* records, std::size_t first, std::size_t count, bool reverse,
                float* frames) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = reverse ? first - i : first + i;
        const std::uint8_t* p = records + r * signal::kRecordBytes;
        std::int16_t v[kCh];
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(v, p, sizeof v);
        else
            for (int ch = 0; ch < kCh; ++ch)
                v[ch] = signal::readLe16(p + 2 * ch);
        for (int ch = 0; ch < kCh; ++ch)
            frames[i * kCh + std::size_t(ch)] = v[ch];
    }
}

void storeFrames(std::uint8_t* records, std::size_t first, std::size_t count, bool reverse,
                 const float* frames) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = reverse ? first - i : first + i;
        std::uint8_t* p = records + r * signal::kRecordBytes;
        std::int16_t v[kCh];
        for (int ch = 0; ch < kCh; ++ch)
            v[ch] = toSample(frames[i * kCh + std::size_t(ch)]);
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(p, v, sizeof v);
        else
            for (int ch = 0; ch < kCh; ++ch)
                signal::writeLe16(p + 2 * ch, v[ch]);
    }
}

// Records of odd reflection padded at each end, so the filters start and end on the signal's own
// level and slope.
constexpr std::size_t kPadRecords = 800;
constexpr std::size_t kChunkRecords = 1024;

// Zero-phase filtering of n records at `records`, in place.
void zeroPhase(std::uint8_t* records, std::size_t n, const std::vector<Biquad>& sections) {
    if (n == 0 || sections.empty())
        return;
    const std::vector<Coeffs> coeffs = toFloat(sections);
    std::vector<float> state(sections.size() * 2 * kCh);
    const std::size_t pad = std::min(kPadRecords, n - 1);
    std::vector<float> chunk(kChunkRecords * kCh);

    // Originals at both ends (the body is overwritten by the forward pass before the end pad is
    // made from it).
    std::vector<float> head((pad + 1) * kCh);
    std::vector<float> tail((pad + 1) * kCh);
    loadFrames(records, 0, pad + 1, false, head.data());
    loadFrames(records, n - 1, pad + 1, true, tail.data()); // tail[k] = x[n-1-k]

    // Start pad in time order: 2 x[0] - x[k], k = pad .. 1.
    std::vector<float> padFrames(pad * kCh);
    for (std::size_t i = 0; i < pad; ++i)
        for (int ch = 0; ch < kCh; ++ch)
            padFrames[i * kCh + std::size_t(ch)] =
                2 * head[std::size_t(ch)] - head[(pad - i) * kCh + std::size_t(ch)];
    steadyState(sections, pad > 0 ? padFrames.data() : head.data(), state.data());
    run(coeffs, state.data(), padFrames.data(), pad);

    for (std::size_t at = 0; at < n; at += kChunkRecords) {
        const std::size_t count = std::min(kChunkRecords, n - at);
        loadFrames(records, at, count, false, chunk.data());
        run(coeffs, state.data(), chunk.data(), count);
        storeFrames(records, at, count, false, chunk.data());
    }
    // End pad in time order: 2 x[n-1] - x[n-1-k], k = 1 .. pad; its output starts the backward run.
    for (std::size_t i = 0; i < pad; ++i)
        for (int ch = 0; ch < kCh; ++ch)
            padFrames[i * kCh + std::size_t(ch)] =
                2 * tail[std::size_t(ch)] - tail[(i + 1) * kCh + std::size_t(ch)];
    run(coeffs, state.data(), padFrames.data(), pad);

    // Backward: the end pad's output reversed, then the body from its end.
    std::vector<float> reversed(pad * kCh);
    for (std::size_t i = 0; i < pad; ++i)
        std::memcpy(&reversed[i * kCh], &padFrames[(pad - 1 - i) * kCh], sizeof(float) * kCh);
    if (pad > 0) {
        steadyState(sections, reversed.data(), state.data());
        run(coeffs, state.data(), reversed.data(), pad);
    } else {
        loadFrames(records, n - 1, 1, true, chunk.data());
        steadyState(sections, chunk.data(), state.data());
    }
    for (std::size_t done = 0; done < n; done += kChunkRecords) {
        const std::size_t count = std::min(kChunkRecords, n - done);
        const std::size_t first = n - 1 - done;
        loadFrames(records, first, count, true, chunk.data());
        run(coeffs, state.data(), chunk.data(), count);
        storeFrames(records, first, count, true, chunk.data());
    }
}

} // namespace

FilterSettings programDefaults() {
    return {Mains::Hz50, HighPass::Hz005, LowPass::Hz150};
}

double mainsHz(Mains m) {
    switch (m) {
    case Mains::Hz50:
        return 50;
    case Mains::Hz60:
        return 60;
    case Mains::Off:
        break;
    }
    return 0;
}

double highPassHz(HighPass h) {
    switch (h) {
    case HighPass::Hz005:
        return 0.05;
    case HighPass::Hz05:
        return 0.5;
    case HighPass::Off:
        break;
    }
    return 0;
}

double lowPassHz(LowPass l) {
    switch (l) {
    case LowPass::Hz35:
        return 35;
    case LowPass::Hz40:
        return 40;
    case LowPass::Hz150:
        return 150;
    case LowPass::Off:
        break;
    }
    return 0;
}

std::string describe(const FilterSettings& s, bool russian) {
    if (!s.any())
        return {};
    const char* hz = russian ? " Гц" : " Hz";
    auto number = [&](double v) {
        std::string t = v == 0.05 ? "0.05" : v == 0.5 ? "0.5" : std::to_string(int(v));
        if (russian)
            std::replace(t.begin(), t.end(), '.', ',');
        return t;
    };
    std::string text;
    const bool low = s.highPass != HighPass::Off;
    const bool high = s.lowPass != LowPass::Off;
    if (low && high) {
        text.append(number(highPassHz(s.highPass))).append("–");
        text.append(number(lowPassHz(s.lowPass))).append(hz);
    } else if (low) {
        text.append("≥").append(number(highPassHz(s.highPass))).append(hz);
    } else if (high) {
        text.append("≤").append(number(lowPassHz(s.lowPass))).append(hz);
    }
    if (s.mains != Mains::Off) {
        if (!text.empty())
            text.append(" ");
        text.append("~").append(number(mainsHz(s.mains))).append(hz);
    }
    return text;
}

std::vector<Biquad> design(const FilterSettings& s, Phase phase, double fs) {
    std::vector<Biquad> out;
    if (s.mains != Mains::Off)
        notch(mainsHz(s.mains), fs, out);
    if (s.highPass != HighPass::Off)
        out.push_back(highPass(highPassHz(s.highPass), phase, fs));
    if (s.lowPass != LowPass::Off)
        out.push_back(lowPass(lowPassHz(s.lowPass), phase, fs));
    return out;
}

std::complex<double> response(const std::vector<Biquad>& sections, double hz, double fs) {
    const cplx e = std::polar(1.0, -2 * kPi * hz / fs);
    cplx h = 1.0;
    for (const Biquad& b : sections)
        h *= (b.b0 + b.b1 * e + b.b2 * e * e) / (1.0 + b.a1 * e + b.a2 * e * e);
    return h;
}

void filterRecordingBytes(std::span<std::uint8_t> bytes, const FilterSettings& settings,
                          std::size_t a2Switch) {
    const std::vector<Biquad> sections = design(settings, Phase::Zero);
    if (sections.empty())
        return;
    const std::size_t n = bytes.size() / signal::kRecordBytes;
    const std::size_t split = std::min(a2Switch, n);
    zeroPhase(bytes.data(), split, sections);
    zeroPhase(bytes.data() + split * signal::kRecordBytes, n - split, sections);
}

std::vector<std::uint8_t> filteredCopy(std::span<const std::uint8_t> bytes,
                                       const FilterSettings& settings, std::size_t a2Switch) {
    std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    filterRecordingBytes(copy, settings, a2Switch);
    return copy;
}

void StreamFilter::reset(const FilterSettings& settings) {
    settings_ = settings;
    sections_ = design(settings, Phase::Causal);
    state_.assign(sections_.size() * 2 * kCh, 0.0f);
    primed_ = false;
}

void StreamFilter::process(std::span<signal::SampleRecord> records) {
    if (sections_.empty() || records.empty())
        return;
    const std::vector<Coeffs> coeffs = toFloat(sections_);
    std::vector<float> frames(records.size() * kCh);
    for (std::size_t i = 0; i < records.size(); ++i)
        for (int ch = 0; ch < kCh; ++ch)
            frames[i * kCh + std::size_t(ch)] = records[i].c[std::size_t(ch)];
    if (!primed_) {
        steadyState(sections_, frames.data(), state_.data());
        primed_ = true;
    }
    run(coeffs, state_.data(), frames.data(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        for (int ch = 0; ch < kCh; ++ch)
            records[i].c[std::size_t(ch)] = toSample(frames[i * kCh + std::size_t(ch)]);
}

} // namespace velkard::filter
