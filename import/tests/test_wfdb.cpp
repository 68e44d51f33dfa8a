// SPDX-License-Identifier: GPL-3.0-or-later
// The WFDB reader against real PhysioNet files (the checksums and initial values their headers
// carry, the documented beat count of MIT-BIH record 113, lead relations of LUDB) and against
// hand-encoded bytes of every format, and its refusals of damaged input.
#include "import/Wfdb.h"
#include "import/WfdbRecording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace velkard::import::wfdb {
namespace {

const std::filesystem::path kData = VELKARD_ECG_TESTDATA;

TEST(WfdbRecords, RealRecordsMatchTheirHeadersChecksumsAndInitialValues) {
    struct Case {
        const char* path;
        std::size_t signals;
        double frequency;
        std::int64_t samples;
    };
    for (const Case& c : {Case{"ludb/1", 12, 500.0, 5000}, Case{"qtdb/sel100", 2, 250.0, 225000},
                          Case{"mitdb/113", 2, 360.0, 650000}}) {
        SCOPED_TRACE(c.path);
        auto rec = readRecord(kData / c.path);
        ASSERT_TRUE(rec.ok()) << rec.message;
        ASSERT_EQ(rec.value.header.signals.size(), c.signals);
        EXPECT_DOUBLE_EQ(rec.value.header.frequency, c.frequency);
        EXPECT_EQ(rec.value.length(), c.samples);
        for (std::size_t s = 0; s < c.signals; ++s) {
            const SignalSpec& sig = rec.value.header.signals[s];
            const auto& v = rec.value.samples[s];
            ASSERT_TRUE(sig.hasChecksum);
            EXPECT_EQ(v.front(), sig.initialValue) << "signal " << s;
            std::uint16_t sum = 0;
            for (int x : v)
                sum = static_cast<std::uint16_t>(sum + x);
            EXPECT_EQ(sum, static_cast<std::uint16_t>(sig.checksum)) << "signal " << s;
        }
    }
}

TEST(WfdbRecords, HeaderFieldsOfLudbAndQtdbAreReadAsWritten) {
    auto ludb = readRecord(kData / "ludb/1.hea");
    ASSERT_TRUE(ludb.ok()) << ludb.message;
    const SignalSpec& i = ludb.value.header.signals[0];
    EXPECT_EQ(i.file, "1.dat");
    EXPECT_EQ(i.format, 16);
    EXPECT_DOUBLE_EQ(i.gain, 1716.0);
    EXPECT_EQ(i.baseline, 6);
    EXPECT_EQ(i.units, "mV");
    EXPECT_EQ(i.description, "i");
    EXPECT_EQ(ludb.value.header.signals[11].description, "v6");
    // LUDB stores every lead on one scale: I = II - III and aVF = (II + III) / 2 to the unit.
    const auto& s = ludb.value.samples;
    for (std::size_t t = 0; t < s[0].size(); ++t) {
        ASSERT_EQ(s[0][t], s[1][t] - s[2][t]) << t;
        ASSERT_LE(std::abs(2 * s[5][t] - (s[1][t] + s[2][t])), 2) << t;
    }

    auto qt = readRecord(kData / "qtdb/sel100");
    ASSERT_TRUE(qt.ok()) << qt.message;
    const SignalSpec& ml = qt.value.header.signals[0];
    EXPECT_EQ(ml.format, 212);
    EXPECT_DOUBLE_EQ(ml.gain, 200.0);
    EXPECT_EQ(ml.baseline, 0); // given as "(0)", though the ADC zero is 1024
    EXPECT_EQ(ml.adcZero, 1024);
    EXPECT_EQ(ml.description, "MLII");
    EXPECT_EQ(qt.value.samples[1][1], 949); // second sample of V5 (the fourth 12-bit value)
    EXPECT_NEAR(qt.value.physical(0, 0), 945 / 200.0, 1e-12);
}

TEST(WfdbAnnotations, BeatCountsAndWaveBoundariesOfRealFiles) {
    auto mit = readAnnotations(kData / "mitdb/113.atr");
    ASSERT_TRUE(mit.ok()) << mit.message;
    std::size_t beats = 0, normal = 0, atrial = 0;
    for (const Annotation& a : mit.value) {
        beats += isBeat(a.code);
        normal += a.code == kNormal;
        atrial += mnemonic(a.code) == "a";
    }
    // The database's directory lists record 113 with 1789 normal and 6 aberrated atrial
    // premature beats.
    EXPECT_EQ(beats, 1795u);
    EXPECT_EQ(normal, 1789u);
    EXPECT_EQ(atrial, 6u);
    ASSERT_FALSE(mit.value.empty());
    EXPECT_EQ(mit.value.front().code, kRhythm);
    EXPECT_EQ(mit.value.front().aux, "(N");
    for (std::size_t k = 1; k < mit.value.size(); ++k)
        ASSERT_GE(mit.value[k].sample, mit.value[k - 1].sample);
    EXPECT_LT(mit.value.back().sample, 650000);

    auto q1c = readAnnotations(kData / "qtdb/sel100.q1c");
    ASSERT_TRUE(q1c.ok()) << q1c.message;
    // 30 beats, each with P onset, peak and end, QRS onset, peak and end, T peak and end.
    std::size_t onsets = 0, ends = 0, p = 0, t = 0;
    for (const Annotation& a : q1c.value) {
        onsets += a.code == kWaveOnset;
        ends += a.code == kWaveEnd;
        p += a.code == kPPeak;
        t += a.code == kTPeak;
    }
    EXPECT_EQ(q1c.value.size(), 240u);
    EXPECT_EQ(onsets, 60u);
    EXPECT_EQ(ends, 90u);
    EXPECT_EQ(p, 30u);
    EXPECT_EQ(t, 30u);

    // LUDB lead II of record 1: every wave an onset, a peak and an end, in that order.
    auto ii = readAnnotations(kData / "ludb/1.ii");
    ASSERT_TRUE(ii.ok()) << ii.message;
    ASSERT_EQ(ii.value.size(), 48u);
    for (std::size_t k = 0; k + 2 < ii.value.size(); k += 3) {
        EXPECT_EQ(ii.value[k].code, kWaveOnset);
        EXPECT_EQ(ii.value[k + 2].code, kWaveEnd);
        const int peak = ii.value[k + 1].code;
        EXPECT_TRUE(peak == kPPeak || peak == kNormal || peak == kTPeak) << peak;
    }
    EXPECT_EQ(ii.value[0].sample, 644);
    EXPECT_EQ(ii.value[1].sample, 662);
    EXPECT_EQ(ii.value[1].code, kNormal);
}

// Hand-encoded files of three signals in one sample file.
TEST(WfdbSamples, EveryFormatDecodesHandEncodedBytes) {
    const std::vector<int> values{0, 1, -1, 2047, -2048, 100, -300, 5, 7};
    auto header = [](const std::string& fmt) {
        return parseHeader("rec 3 100 3\n"
                           "r.dat " +
                           fmt +
                           " 100 12 0 0 0 0 a\n"
                           "r.dat " +
                           fmt + " 100 12 0 0 0 0 b\nr.dat " + fmt + " 100 12 0 0 0 0 c\n");
    };
    auto check = [&](const Header& h, const std::vector<std::uint8_t>& bytes) {
        std::vector<std::vector<int>> out;
        ASSERT_TRUE(decodeSamples(h, "r.dat", bytes, out).ok());
        ASSERT_EQ(out.size(), 3u);
        for (std::size_t t = 0; t < 3; ++t)
            for (std::size_t s = 0; s < 3; ++s)
                EXPECT_EQ(out[s][t], values[t * 3 + s]) << "t " << t << " s " << s;
    };
    {
        std::vector<std::uint8_t> b;
        for (int v : values) {
            b.push_back(static_cast<std::uint8_t>(v & 0xFF));
            b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
        auto h = header("16");
        ASSERT_TRUE(h.ok()) << h.message;
        check(h.value, b);
        // With a byte offset of 4 the same samples follow 4 bytes of anything.
        auto h24 = header("16+4");
        ASSERT_TRUE(h24.ok()) << h24.message;
        b.insert(b.begin(), {9, 9, 9, 9});
        check(h24.value, b);
    }
    {
        // Nine 12-bit values: four whole pairs and one value in two bytes of a last triple; the
        // pairs run on across frame boundaries.
        std::vector<std::uint8_t> b;
        for (std::size_t k = 0; k < values.size(); k += 2) {
            const unsigned a = static_cast<unsigned>(values[k]) & 0xFFF;
            const unsigned c =
                k + 1 < values.size() ? static_cast<unsigned>(values[k + 1]) & 0xFFF : 0;
            b.push_back(static_cast<std::uint8_t>(a & 0xFF));
            b.push_back(static_cast<std::uint8_t>(((a >> 8) & 0x0F) | ((c >> 4) & 0xF0)));
            if (k + 1 < values.size())
                b.push_back(static_cast<std::uint8_t>(c & 0xFF));
        }
        auto h = header("212");
        ASSERT_TRUE(h.ok()) << h.message;
        check(h.value, b);
    }
    {
        std::vector<int> small{0, 1, -1, 127, -128, 100, -30, 5, 7};
        std::vector<std::uint8_t> b;
        for (int v : small)
            b.push_back(static_cast<std::uint8_t>(v + 128));
        auto h = header("80");
        ASSERT_TRUE(h.ok()) << h.message;
        std::vector<std::vector<int>> out;
        ASSERT_TRUE(decodeSamples(h.value, "r.dat", b, out).ok());
        for (std::size_t t = 0; t < 3; ++t)
            for (std::size_t s = 0; s < 3; ++s)
                EXPECT_EQ(out[s][t], small[t * 3 + s]);
    }
}

TEST(WfdbSamples, ShortFilesGiveTheWholeFramesTheyHold) {
    auto h = parseHeader("rec 2 250 1000\nr.dat 16 200 16 0 0 0 0 a\nr.dat 16 200 16 0 0 0 0 b\n");
    ASSERT_TRUE(h.ok()) << h.message;
    std::vector<std::vector<int>> out;
    ASSERT_TRUE(decodeSamples(h.value, "r.dat", std::vector<std::uint8_t>(11, 0), out).ok());
    EXPECT_EQ(out[0].size(), 2u); // 11 bytes: two frames of two int16, three bytes left over
    EXPECT_EQ(out[1].size(), 2u);
    // More bytes than the header's count: the count wins.
    auto h2 = parseHeader("rec 1 250 3\nr.dat 80 200\n");
    ASSERT_TRUE(h2.ok()) << h2.message;
    ASSERT_TRUE(decodeSamples(h2.value, "r.dat", std::vector<std::uint8_t>(10, 128), out).ok());
    EXPECT_EQ(out[0].size(), 3u);
    EXPECT_EQ(h2.value.signals[0].gain, 200.0);
}

TEST(WfdbRefusals, DamagedHeadersAndAnnotationsGiveMessages) {
    for (const char* text :
         {"", "# only a comment\n", "rec\n", "rec x 250\n", "rec 2 250\nr.dat 16\n",
          "rec 1 250\nr.dat 310 200\n", "rec 1 250\nr.dat 16x2 200\n", "rec/3 1 250\nr.dat 16\n",
          "rec 1 -5\nr.dat 16\n", "rec 1 250\n../etc/x 16\n", "rec 1 250\nr.dat 16 200(x)\n"}) {
        SCOPED_TRACE(text);
        auto h = parseHeader(text);
        EXPECT_FALSE(h.ok());
        EXPECT_FALSE(h.message.empty());
    }
    // An AUX of 10 bytes in a 6-byte file; a SKIP without its 4 bytes.
    const std::vector<std::uint8_t> aux{0x05, 0x04, 0x0A, 0xFC, 'a', 'b'};
    EXPECT_FALSE(parseAnnotations(aux).ok());
    const std::vector<std::uint8_t> skip{0x00, 0xEC, 0x01};
    EXPECT_FALSE(parseAnnotations(skip).ok());
    // A SKIP of 100000 steps then an N one step later.
    const std::vector<std::uint8_t> skipped{0x00, 0xEC, 0x01, 0x00, 0xA0, 0x86, 0x01, 0x04, 0, 0};
    auto a = parseAnnotations(skipped);
    ASSERT_TRUE(a.ok()) << a.message;
    ASSERT_EQ(a.value.size(), 1u);
    EXPECT_EQ(a.value[0].sample, 100001);
    EXPECT_EQ(a.value[0].code, kNormal);
    EXPECT_FALSE(readRecord(kData / "no-such-record").ok());
}

// Sines resampled from each database's rate to 800 Hz keep their amplitude and lie where the
// analytic sine lies (no delay), away from the ends.
TEST(WfdbResampling, SinesKeepAmplitudeAndTimingAtEveryRate) {
    for (int from : {128, 250, 360, 500, 1000}) {
        SCOPED_TRACE(from);
        for (double hz : {1.0, 10.0, 40.0}) {
            std::vector<double> x(static_cast<std::size_t>(from * 4));
            for (std::size_t i = 0; i < x.size(); ++i)
                x[i] = std::sin(2 * 3.14159265358979 * hz * static_cast<double>(i) / from);
            const std::vector<double> y = resample(x, from, 800);
            ASSERT_EQ(y.size(), static_cast<std::size_t>(800 * 4));
            double worst = 0;
            for (std::size_t j = 800; j < 2400; ++j)
                worst = std::max(worst, std::abs(y[j] - std::sin(2 * 3.14159265358979 * hz *
                                                                 static_cast<double>(j) / 800)));
            EXPECT_LT(worst, 0.01) << hz << " Hz";
        }
    }
}

// LUDB's headers give each lead's range as its gain, yet its stored I, II and III obey
// Einthoven's law: those gains are refused and every signal is read at one scale. Gains that
// truly differ (the law holds on the physical values), gains that agree, and a flat record keep
// the header's gains.
TEST(WfdbRecords, GainsThatContradictTheLimbLeadsGiveWayToOneScale) {
    auto rec = readRecord(kData / "ludb/1");
    ASSERT_TRUE(rec.ok()) << rec.message;
    EXPECT_TRUE(gainsContradictLimbLeads(rec.value));
    auto read = toInstrument(rec.value);
    auto at1000 = toInstrument(rec.value, 1000.0);
    ASSERT_TRUE(read.ok() && at1000.ok());
    ASSERT_EQ(read.value.records.size(), at1000.value.records.size());
    for (std::size_t t = 0; t < read.value.records.size(); t += 97)
        EXPECT_EQ(read.value.records[t].c, at1000.value.records[t].c) << t;
    const auto noted = [](const InstrumentRecording& r) {
        return std::count(r.notes.begin(), r.notes.end(), sharedScaleNote());
    };
    EXPECT_EQ(noted(read.value), 1);
    EXPECT_EQ(noted(at1000.value), 0); // a scale given is no contradiction found

    Record agreeing = rec.value;
    for (SignalSpec& sp : agreeing.header.signals)
        sp.gain = 1000;
    EXPECT_FALSE(gainsContradictLimbLeads(agreeing));

    // I, II = I + III and III in mV, stored at gains 200, 500 and 300 units per mV.
    Record distinct;
    distinct.header = parseHeader("d 3 500 1000\nd.dat 16 200 16 0 0 0 0 I\n"
                                  "d.dat 16 500 16 0 0 0 0 II\nd.dat 16 300 16 0 0 0 0 III\n")
                          .value;
    distinct.samples.assign(3, std::vector<int>(1000));
    for (std::size_t t = 0; t < 1000; ++t) {
        const double i = std::sin(t / 20.0), iii = 0.7 * std::cos(t / 13.0);
        distinct.samples[0][t] = static_cast<int>(std::lround(200 * i));
        distinct.samples[1][t] = static_cast<int>(std::lround(500 * (i + iii)));
        distinct.samples[2][t] = static_cast<int>(std::lround(300 * iii));
    }
    EXPECT_FALSE(gainsContradictLimbLeads(distinct));
    // Stored as if at one scale, with those gains written: contradicted.
    for (std::size_t t = 0; t < 1000; ++t)
        distinct.samples[1][t] = distinct.samples[0][t] + distinct.samples[2][t];
    EXPECT_TRUE(gainsContradictLimbLeads(distinct));
    // A flat record obeys the law at any scale.
    for (auto& s : distinct.samples)
        std::fill(s.begin(), s.end(), 0);
    EXPECT_FALSE(gainsContradictLimbLeads(distinct));
    // Two leads (the QT Database) have no law to obey.
    auto qt = readRecord(kData / "qtdb/sel100");
    ASSERT_TRUE(qt.ok()) << qt.message;
    EXPECT_FALSE(gainsContradictLimbLeads(qt.value));
}

// LUDB record 1 placed into the eight channels: the twelve leads derived back from them equal the
// record's own leads at the shared sampling instants (every 8th of 800 Hz is every 5th of 500).
TEST(WfdbResampling, LudbLeadsComeBackFromTheEightChannels) {
    auto rec = readRecord(kData / "ludb/1");
    ASSERT_TRUE(rec.ok()) << rec.message;
    auto inst = toInstrument(rec.value, 1000.0);
    ASSERT_TRUE(inst.ok()) << inst.message;
    for (bool p : inst.value.present)
        EXPECT_TRUE(p);
    ASSERT_EQ(inst.value.records.size(), 8000u);
    double worst = 0;
    for (std::size_t t = 400; t < 7600; t += 8) {
        const signal::LeadValues leads = signal::deriveStandardLeads(inst.value.records[t]);
        for (std::size_t l = 0; l < 12; ++l) {
            const double mv = leads[l] / signal::kUnitsPerMillivolt;
            const std::size_t s =
                static_cast<std::size_t>(inst.value.source[l] >= 0 ? inst.value.source[l] : l);
            const double truth =
                (rec.value.samples[s][t * 5 / 8] - rec.value.header.signals[s].baseline) / 1000.0;
            worst = std::max(worst, std::abs(mv - truth));
        }
    }
    // Derivation rounds to units (1.5 µV) and the resampler passes the band; sharp QRS edges
    // are where the residue is.
    EXPECT_LT(worst, 0.05);
    // Two leads only (the QT Database): II and V5, the rest absent.
    auto qt = readRecord(kData / "qtdb/sel100");
    ASSERT_TRUE(qt.ok()) << qt.message;
    auto two = toInstrument(qt.value);
    ASSERT_TRUE(two.ok()) << two.message;
    for (std::size_t l = 0; l < 12; ++l)
        EXPECT_EQ(two.value.present[l], l == signal::StandardLeadII || l == signal::StandardLeadV5)
            << l;
}

} // namespace
} // namespace velkard::import::wfdb
