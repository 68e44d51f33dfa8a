// SPDX-License-Identifier: GPL-3.0-or-later
// Measurements and statements of any signal a hostile instrument or a damaged file could give.
// The first byte chooses the kind of input and its length (3-10 s): either the bytes themselves as
// sample records, tiled to that length, or a synthetic ECG whose beat and noise the next bytes
// choose, with the rest of the bytes damaging it (railed, flat, stepped or spiked channels).
// Nothing crashes, and what comes out holds what the report relies on: beats in order within the
// signal, every interval within the bounds measure/README.md gives, no two intervals that cannot
// both be true, finite values, every statement once with its text and reason in both languages,
// one rhythm at most, and a normal ECG only beside a sinus rhythm.
#include "interpret/Interpret.h"
#include "sim/SyntheticEcg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using velkard::signal::SampleRecord;

// Bytes read one by one, 0 once they run out.
struct Bytes {
    const std::uint8_t* data;
    std::size_t size, at = 0;
    std::uint8_t next() { return at < size ? data[at++] : 0; }
    // A value in [lo, hi] from the next byte.
    double in(double lo, double hi) { return lo + (hi - lo) * next() / 255.0; }
};

std::vector<SampleRecord> synthetic(Bytes& b, std::size_t n) {
    velkard::sim::EcgParameters p;
    auto& beat = p.beat;
    beat.heartRate = b.in(30, 200);
    beat.pMs = b.in(40, 160);
    beat.prMs = b.in(beat.pMs + 20, 360);
    beat.qrsMs = b.in(50, 200);
    beat.qtMs = b.in(beat.qrsMs + 100, 620);
    beat.qrsAxis = b.in(-180, 180);
    beat.pAxis = b.in(-180, 180);
    beat.tAxis = b.in(-180, 180);
    beat.pMv = b.in(0, 0.3);
    beat.rMv = b.in(0.1, 3);
    beat.sMv = b.in(0, 2);
    beat.tMv = b.in(-1, 1);
    for (std::size_t k = 0; k < 6; ++k) {
        beat.chestR[k] = b.in(0, 3);
        beat.chestS[k] = b.in(0, 3);
        beat.chestT[k] = b.in(-1, 1);
    }
    beat.irregularity = b.in(0, 0.4);
    beat.ventricularPremature = b.in(0, 0.3);
    beat.supraventricularPremature = b.in(0, 0.3);
    const std::uint8_t mains = b.next() % 3;
    p.noise.mainsHz = mains == 0 ? 0 : mains == 1 ? 50 : 60;
    p.noise.mainsMv = b.in(0, 0.5);
    p.noise.wanderMv = b.in(0, 1.5);
    p.noise.whiteMv = b.in(0, 0.3);
    const std::uint32_t seed = b.next();
    std::vector<SampleRecord> r = velkard::sim::SyntheticEcg::records(seed, p, n);
    // Damage: 5 bytes each, where (2), which channel (8: all), what, how long or how large.
    while (b.at + 5 <= b.size) {
        const std::size_t at = (std::size_t(b.next()) << 8 | b.next()) * n / 65536;
        const std::uint8_t channel = b.next() % 9, what = b.next() % 4, size = b.next();
        const std::size_t until = std::min(n, at + std::size_t(size) * 16);
        for (std::size_t i = at; i < until || (what == 2 && i < n); ++i)
            for (int c = 0; c < 8; ++c) {
                if (channel != 8 && c != channel)
                    continue;
                auto& v = r[i].c[static_cast<std::size_t>(c)];
                if (what == 0)
                    v = size & 1 ? 32767 : -32768; // railed
                else if (what == 1)
                    v = r[at].c[static_cast<std::size_t>(c)]; // flat: the lead came off
                else if (what == 2)
                    v = static_cast<std::int16_t>(std::clamp(v + (size - 128) * 20, -32768, 32767));
                else if (i == at)
                    v = static_cast<std::int16_t>((size - 128) * 256); // one-sample spike
            }
    }
    return r;
}

void check(bool ok) {
    if (!ok)
        std::abort();
}

void checkFinite(const std::optional<double>& v) {
    check(!v || std::isfinite(*v));
}

void within(const std::optional<double>& v, double lo, double hi) {
    check(!v || (*v >= lo && *v <= hi));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard;
    if (size < 2)
        return 0;
    Bytes b{data, size};
    const std::uint8_t mode = b.next();
    const std::size_t n = std::size_t(3 + (mode >> 1) % 8) * signal::kRecordsPerSecond;
    std::vector<SampleRecord> records;
    if (mode & 1) {
        records = synthetic(b, n);
    } else {
        const std::size_t have = (size - 1) / sizeof(SampleRecord);
        if (have == 0)
            return 0;
        records.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t c = 0; c < 8; ++c)
                records[i].c[c] = signal::readLe16(data + 1 + (i % have) * 16 + c * 2);
    }

    interpret::Patient patient;
    patient.sex = mode & 0x40 ? interpret::Sex::Female : interpret::Sex::Male;
    if (mode & 0x80)
        patient.ageYears = 20 + mode % 70;
    const interpret::Interpretation result =
        interpret::interpretSpan(records.data(), records.size(), 0, SIZE_MAX, nullptr, patient);
    const measure::Measurements& m = result.measurements;

    for (std::size_t i = 0; i < m.beats.size(); ++i) {
        check(m.beats[i] >= 0 && m.beats[i] < static_cast<std::int64_t>(n));
        check(i == 0 || m.beats[i] > m.beats[i - 1]);
    }
    for (const auto* v :
         {&m.heartRateBpm, &m.rrMs, &m.pMs, &m.prMs, &m.qrsMs, &m.qtMs, &m.qtcBazettMs,
          &m.qtcFridericiaMs, &m.pAxisDeg, &m.qrsAxisDeg, &m.tAxisDeg})
        checkFinite(*v);
    within(m.pMs, 40, 180);
    within(m.prMs, 70, 420);
    within(m.qrsMs, 40, 220);
    within(m.qtMs, 200, 680);
    within(m.qtcBazettMs, 300, 650);
    check(!m.pMs || !m.prMs || *m.pMs < *m.prMs);
    check(!m.qrsMs || !m.qtMs || *m.qrsMs < *m.qtMs);
    check(!m.qtMs || !m.rrMs || *m.qtMs < *m.rrMs);
    check(!m.prMs || !m.rrMs || *m.prMs < *m.rrMs);
    check(!m.qrsOnsetAt || !m.qrsEndAt || *m.qrsOnsetAt < *m.qrsEndAt);
    for (const measure::LeadAmplitudes& lead : m.leads) {
        for (const auto* v :
             {&lead.qMs, &lead.qMv, &lead.rMv, &lead.sMv, &lead.r2Mv, &lead.stJMv, &lead.st60Mv,
              &lead.st80Mv, &lead.tMv, &lead.tPosMv, &lead.tNegMv, &lead.qrsArea})
            checkFinite(*v);
        check(!lead.qrsOnsetAt || !lead.qrsEndAt || *lead.qrsOnsetAt < *lead.qrsEndAt);
    }
    for (const auto& [from, to] : m.noise)
        check(from < to);

    std::set<std::string> codes;
    for (const interpret::Statement& s : result.statements) {
        check(!s.code.empty() && codes.insert(s.code).second);
        for (std::size_t l = 0; l < 2; ++l)
            check(!s.text[l].empty() && !s.reason[l].empty());
    }
    // One rhythm at most; where the atria fibrillate or flutter there is no P wave to measure.
    check(codes.count("SR") + codes.count("SBRAD") + codes.count("STACH") + codes.count("AFIB") +
              codes.count("AFLT") <=
          1);
    check((!codes.count("AFIB") && !codes.count("AFLT")) || (!m.pMs && !m.prMs && !m.pAxisDeg));
    // A normal ECG is a sinus rhythm with nothing else said.
    if (codes.count("NORM")) {
        check(codes.count("SR") || codes.count("SBRAD"));
        for (const std::string& c : codes)
            check(c == "NORM" || c == "SR" || c == "SBRAD" || c == "SARRH");
    }
    return 0;
}
