// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-validate DATA: the program's measurements against the experts' on the PhysioNet records
// under DATA (ludb/data, qtdb, mitdb, svdb as PhysioNet lays them out), as a table of
// program - reference (mean and SD). --details prints every record's figures too.
#include "validation/Spans.h"
#include "validation/StatementValidation.h"
#include "validation/Stress.h"
#include "validation/Validation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace fs = std::filesystem;
using namespace velkard;
using namespace velkard::measure::validation;

namespace {

bool details = false;
std::string only; // --only NAME: the long records' sections on that record alone

// The value with `decimals` decimals (whole by default), "-" where not measured.
std::string text(std::optional<double> v, int decimals = 0) {
    if (!v)
        return "-";
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, *v);
    return b;
}

void row(const char* what, const Stats& s, const char* goal) {
    std::printf("%-34s %+7.1f ± %5.1f ms  measured %3d/%3d (%5.1f %%)  %s\n", what, s.mean, s.sd,
                s.measured, s.withReference, s.measuredPercent(), goal);
}

std::vector<fs::path> records(const fs::path& dir, const char* annotationExt) {
    std::vector<fs::path> out;
    if (!fs::is_directory(dir))
        return out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".hea" &&
            fs::exists(fs::path(e.path()).replace_extension(annotationExt)))
            out.push_back(fs::path(e.path()).replace_extension());
    std::sort(out.begin(), out.end(), [](const fs::path& a, const fs::path& b) {
        const std::string x = a.filename().string(), y = b.filename().string();
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return out;
}

// Median of the values; nullopt without any.
std::optional<double> medianOf(std::vector<double> v) {
    if (v.empty())
        return std::nullopt;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median over the reference's beats of where each bound lies against the nearest detected beat
// (ms), for beats within 100 ms of one; bounds and beats in samples of a 500 Hz record.
std::optional<double> againstBeats(const std::vector<double>& bounds,
                                   const std::vector<double>& centres,
                                   const std::vector<std::int64_t>& beats) {
    std::vector<double> v;
    for (std::size_t b = 0; b < bounds.size() && b < centres.size(); ++b) {
        if (std::isnan(bounds[b]))
            continue;
        const std::int64_t* best = nullptr;
        for (const std::int64_t& d : beats)
            if (!best || std::abs(static_cast<double>(d) - centres[b]) <
                             std::abs(static_cast<double>(*best) - centres[b]))
                best = &d;
        if (best && std::abs(static_cast<double>(*best) - centres[b]) <= 50)
            v.push_back((bounds[b] - static_cast<double>(*best)) * 2.0);
    }
    return medianOf(v);
}

std::optional<double> minus(std::optional<double> a, std::optional<double> b) {
    if (a && b)
        return *a - *b;
    return std::nullopt;
}

void ludb(const fs::path& dir) {
    static const char* kLeads[] = {"i",  "ii", "iii", "avr", "avl", "avf",
                                   "v1", "v2", "v3",  "v4",  "v5",  "v6"};
    std::vector<std::optional<double>> prog[4], ref[4], bounds[3], leadOn, leadEnd;
    for (const fs::path& base : records(dir, ".ii")) {
        std::vector<std::vector<Wave>> leads;
        for (const char* l : kLeads) {
            auto a = import::wfdb::readAnnotations(fs::path(base).replace_extension(l));
            leads.push_back(a ? wavesOf(a.value) : std::vector<Wave>{});
        }
        const Intervals r = globalIntervals(leads, 500.0);
        auto m = measureRecord(base.string() + ".hea", 1000.0);
        if (!m) {
            std::printf("%s: %s\n", base.c_str(), m.message.c_str());
            continue;
        }
        const auto& p = m.value.m;
        const std::vector<std::int64_t>& detected = m.value.beatsAtRecordRate;
        const std::optional<double> pv[4] = {p.pMs, p.prMs, p.qrsMs, p.qtMs};
        const std::optional<double> rv[4] = {r.pMs, r.prMs, r.qrsMs, r.qtMs};
        for (int k = 0; k < 4; ++k) {
            prog[k].push_back(pv[k]);
            ref[k].push_back(rv[k]);
        }
        // Where the bounds lie against the detected beats: on the program's median beat its
        // fiducial point (kMedianFiducial), in the reference the nearest detected beat.
        const auto atFiducial = [](std::optional<int> at) -> std::optional<double> {
            if (!at)
                return std::nullopt;
            return (*at - measure::kMedianFiducial) * 1000.0 / 800.0;
        };
        std::vector<double> centres;
        for (std::size_t b = 0; b < r.qrsOnsets.size(); ++b)
            centres.push_back((r.qrsOnsets[b] + r.qrsEnds[b]) / 2);
        const auto programPOnset = p.prMs ? minus(atFiducial(p.qrsOnsetAt), p.prMs) : std::nullopt;
        const std::optional<double> err[3] = {
            minus(atFiducial(p.qrsOnsetAt), againstBeats(r.qrsOnsets, centres, detected)),
            minus(atFiducial(p.qrsEndAt), againstBeats(r.qrsEnds, centres, detected)),
            minus(programPOnset, againstBeats(r.pOnsets, centres, detected))};
        for (int k = 0; k < 3; ++k)
            bounds[k].push_back(err[k]);
        for (std::size_t l = 0; l < leads.size(); ++l) {
            std::vector<double> on, end, peak;
            for (const Wave& w : leads[l])
                if (w.type == 1) {
                    on.push_back(static_cast<double>(w.onset));
                    end.push_back(static_cast<double>(w.end));
                    peak.push_back(static_cast<double>(w.peak));
                }
            leadOn.push_back(
                minus(atFiducial(p.leads[l].qrsOnsetAt), againstBeats(on, peak, detected)));
            leadEnd.push_back(
                minus(atFiducial(p.leads[l].qrsEndAt), againstBeats(end, peak, detected)));
        }
        if (details)
            std::printf("ludb %-4s P %4s/%4s PR %4s/%4s QRS %4s/%4s QT %4s/%4s  (program/"
                        "reference); onset %4s end %4s P onset %4s (program - reference)\n",
                        base.filename().c_str(), text(p.pMs).c_str(), text(r.pMs).c_str(),
                        text(p.prMs).c_str(), text(r.prMs).c_str(), text(p.qrsMs).c_str(),
                        text(r.qrsMs).c_str(), text(p.qtMs).c_str(), text(r.qtMs).c_str(),
                        text(err[0]).c_str(), text(err[1]).c_str(), text(err[2]).c_str());
    }
    std::printf("LUDB (%zu records; global onset = 2nd earliest lead, end = 2nd latest; medians "
                "over beats)\n",
                prog[0].size());
    row("  P duration", differences(prog[0], ref[0]), "goal |mean| <= 10, SD <= 15");
    row("  PR", differences(prog[1], ref[1]), "goal |mean| <= 10, SD <= 10");
    row("  QRS", differences(prog[2], ref[2]), "goal |mean| <= 10, SD <= 10");
    row("  QT", differences(prog[3], ref[3]), "goal |mean| <= 25, SD <= 30");
    // The bounds themselves, against the detected beats: a mean away from zero is the program's
    // bias; the SD includes the beats' alignment. Differences beyond 100 ms (a paced record's
    // stimulus against its QRS) are left out, so they do not hide the others.
    const auto bound = [](const char* what, std::vector<std::optional<double>> v) {
        for (auto& x : v)
            if (x && std::abs(*x) > 100)
                x.reset();
        row(what, differences(v, std::vector<std::optional<double>>(v.size(), 0.0)), "");
    };
    bound("  QRS onset (vs detected beats)", bounds[0]);
    bound("  QRS end (vs detected beats)", bounds[1]);
    bound("  P onset (vs detected beats)", bounds[2]);
    bound("  QRS onset per lead (x records)", leadOn);
    bound("  QRS end per lead (x records)", leadEnd);
}

void qtdb(const fs::path& dir) {
    std::vector<std::optional<double>> progQt, puQt, manQt, progQrs, puQrs, manQrs;
    std::vector<std::optional<double>> progP, puP, manP, progPr, puPr, manPr;
    for (const fs::path& base : records(dir, ".q1c")) {
        auto man = import::wfdb::readAnnotations(fs::path(base).replace_extension(".q1c"));
        auto pu = import::wfdb::readAnnotations(fs::path(base).replace_extension(".pu"));
        if (!man || !pu)
            continue;
        const std::vector<QtBeat> manual = qtBeats(man.value);
        const std::vector<QtBeat> peer[2] = {qtBeats(pu.value, 0), qtBeats(pu.value, 1)};
        std::vector<double> mq, pq, mr, pr, mp, pp, mpr, ppr;
        std::int64_t first = INT64_MAX, last = 0;
        const double ms = 1000.0 / 250.0;
        for (const QtBeat& b : manual) {
            first = std::min(first, b.peak);
            last = std::max(last, b.peak);
            // ecgpuwave's global boundaries over its two leads: earliest onset, latest ends.
            std::optional<std::int64_t> on, qEnd, tEnd, pOn, pEnd;
            for (const auto& lead : peer)
                for (const QtBeat& c : lead)
                    if (std::abs(c.peak - b.peak) <= 38) {
                        if (c.onset)
                            on = on ? std::min(*on, *c.onset) : *c.onset;
                        if (c.qrsEnd)
                            qEnd = qEnd ? std::max(*qEnd, *c.qrsEnd) : *c.qrsEnd;
                        if (c.tEnd)
                            tEnd = tEnd ? std::max(*tEnd, *c.tEnd) : *c.tEnd;
                        if (c.pOnset && c.pEnd) {
                            pOn = pOn ? std::min(*pOn, *c.pOnset) : *c.pOnset;
                            pEnd = pEnd ? std::max(*pEnd, *c.pEnd) : *c.pEnd;
                        }
                    }
            if (b.onset && b.tEnd && on && tEnd) {
                mq.push_back(static_cast<double>(*b.tEnd - *b.onset) * ms);
                pq.push_back(static_cast<double>(*tEnd - *on) * ms);
            }
            if (b.onset && b.pOnset && b.pEnd && on && pOn && pEnd) {
                mp.push_back(static_cast<double>(*b.pEnd - *b.pOnset) * ms);
                pp.push_back(static_cast<double>(*pEnd - *pOn) * ms);
                mpr.push_back(static_cast<double>(*b.onset - *b.pOnset) * ms);
                ppr.push_back(static_cast<double>(*on - *pOn) * ms);
            }
            if (b.onset && b.qrsEnd && on && qEnd) {
                mr.push_back(static_cast<double>(*b.qrsEnd - *b.onset) * ms);
                pr.push_back(static_cast<double>(*qEnd - *on) * ms);
            }
        }
        auto med = [](std::vector<double> v) -> std::optional<double> {
            if (v.empty())
                return std::nullopt;
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        // The program's median beat is made of the annotated beats too: sel230 alternates
        // between pre-excited and normally conducted stretches, and the span holds more of the
        // former than the annotated beats do.
        std::vector<double> annotated;
        for (const QtBeat& b : manual)
            annotated.push_back(static_cast<double>(b.peak) / 250.0);
        auto m = measureRecord(base.string() + ".hea", std::nullopt,
                               static_cast<double>(first) / 250.0 - 0.5,
                               static_cast<double>(last) / 250.0 + 0.5, false, &annotated);
        if (!m)
            continue;
        progQt.push_back(m.value.m.qtMs);
        puQt.push_back(med(pq));
        manQt.push_back(med(mq));
        progQrs.push_back(m.value.m.qrsMs);
        puQrs.push_back(med(pr));
        manQrs.push_back(med(mr));
        // P only where the cardiologists marked it before most of the annotated beats.
        const bool marksP = mp.size() * 2 > manual.size();
        progP.push_back(marksP ? m.value.m.pMs : std::nullopt);
        puP.push_back(marksP ? med(pp) : std::nullopt);
        manP.push_back(marksP ? med(mp) : std::nullopt);
        progPr.push_back(marksP ? m.value.m.prMs : std::nullopt);
        puPr.push_back(marksP ? med(ppr) : std::nullopt);
        manPr.push_back(marksP ? med(mpr) : std::nullopt);
        if (details)
            std::printf("qtdb %-9s QT %4s ecgpuwave %4s manual %4s   QRS %4s ecgpuwave %4s manual "
                        "%4s   P %4s ecgpuwave %4s manual %4s   PR %4s ecgpuwave %4s manual %4s\n",
                        base.filename().c_str(), text(m.value.m.qtMs).c_str(),
                        text(med(pq)).c_str(), text(med(mq)).c_str(), text(m.value.m.qrsMs).c_str(),
                        text(med(pr)).c_str(), text(med(mr)).c_str(), text(progP.back()).c_str(),
                        text(puP.back()).c_str(), text(manP.back()).c_str(),
                        text(progPr.back()).c_str(), text(puPr.back()).c_str(),
                        text(manPr.back()).c_str());
    }
    std::printf("QT Database (%zu records, median beat of the manually annotated beats vs the "
                "median of their manual boundaries)\n",
                progQt.size());
    row("  QT, program", differences(progQt, manQt), "goal SD below ecgpuwave's");
    row("  QT, ecgpuwave (same beats)", differences(puQt, manQt), "");
    row("  QRS, program", differences(progQrs, manQrs), "");
    row("  QRS, ecgpuwave (same beats)", differences(puQrs, manQrs), "");
    row("  P duration, program", differences(progP, manP), "");
    row("  P duration, ecgpuwave (same beats)", differences(puP, manP), "");
    row("  PR, program", differences(progPr, manPr), "");
    row("  PR, ecgpuwave (same beats)", differences(puPr, manPr), "");
}

void detection(const std::vector<fs::path>& dirs) {
    std::printf("Beat detection (ANSI/AAMI EC57 match within 150 ms), whole records\n");
    Detection all;
    for (const fs::path& dir : dirs)
        for (const fs::path& base : records(dir, ".atr")) {
            if (!only.empty() && base.filename() != only)
                continue;
            auto atr = import::wfdb::readAnnotations(fs::path(base).replace_extension(".atr"));
            auto rec = import::wfdb::readRecord(base.string() + ".hea");
            if (!atr || !rec)
                continue;
            auto m = measureRecord(base.string() + ".hea", std::nullopt, 0, 0, true);
            if (!m)
                continue;
            std::vector<std::int64_t> ref;
            std::vector<char> normal;
            for (const auto& a : atr.value)
                if (import::wfdb::isBeat(a.code)) {
                    ref.push_back(a.sample);
                    normal.push_back(import::wfdb::mnemonic(a.code) == std::string_view("N"));
                }
            const double fs = rec.value.header.frequency;
            const Detection d =
                matchBeats(ref, m.value.beatsAtRecordRate, static_cast<std::int64_t>(0.15 * fs));
            all.truePositive += d.truePositive;
            all.missed += d.missed;
            all.extra += d.extra;
            const auto ms = [&](std::optional<double> sd) {
                char text[32] = "-";
                if (sd)
                    std::snprintf(text, sizeof text, "%.1f", 1000.0 * *sd / fs);
                return std::string(text);
            };
            std::printf("  %-22s beats %5d  Se %6.2f %%  +P %6.2f %%  (missed %d, false %d)  "
                        "RR error SD %s ms (normal beats %s)\n",
                        (dir.filename().string() + "/" + base.filename().string()).c_str(),
                        d.truePositive + d.missed, d.sensitivity(), d.positivePredictivity(),
                        d.missed, d.extra, ms(d.rrErrorSd()).c_str(),
                        ms(d.rrErrorSd(normal)).c_str());
            if (details) {
                for (std::int64_t at : d.missedAt)
                    std::printf("      missed at %.2f s\n", double(at) / fs);
                for (std::int64_t at : d.extraAt)
                    std::printf("      false at %.2f s\n", double(at) / fs);
            }
        }
    std::printf("  %-22s beats %5d  Se %6.2f %%  +P %6.2f %%  (missed %d, false %d)\n", "all",
                all.truePositive + all.missed, all.sensitivity(), all.positivePredictivity(),
                all.missed, all.extra);
}

// Every 10-s span of the long records measured on its own: intervals that contradict each other
// or the rhythm, and the QT of the spans the experts marked beats in.
void spans(const std::vector<fs::path>& dirs) {
    std::printf("10-s spans of the long records, each measured on its own (intervals that cannot "
                "all be true: QT >= RR, PR >= RR, P >= PR, QRS >= QT)\n");
    int total = 0, contradictions = 0, qtMarked = 0, prMarked = 0;
    std::vector<double> qtErrors, prErrors;
    for (const fs::path& dir : dirs)
        for (const fs::path& base : records(dir, ".atr")) {
            if (!only.empty() && base.filename() != only)
                continue;
            std::vector<QtBeat> manual;
            if (auto q1c = import::wfdb::readAnnotations(fs::path(base).replace_extension(".q1c")))
                manual = qtBeats(q1c.value);
            auto c = checkSpans(base.string() + ".hea", std::nullopt, manual);
            if (!c)
                continue;
            const SpanCheck& s = c.value;
            total += s.spans;
            contradictions += s.contradictions;
            qtMarked += s.qtMarkedSpans;
            qtErrors.insert(qtErrors.end(), s.qtErrors.begin(), s.qtErrors.end());
            prMarked += s.prMarkedSpans;
            prErrors.insert(prErrors.end(), s.prErrors.begin(), s.prErrors.end());
            std::printf("  %-22s spans %4d  measured P %3d PR %3d QRS %3d QT %3d  contradictory %d",
                        (dir.filename().string() + "/" + base.filename().string()).c_str(), s.spans,
                        s.withP, s.withPr, s.withQrs, s.withQt, s.contradictions);
            for (const std::string& e : s.examples)
                std::printf("  [%s]", e.c_str());
            std::printf("\n");
        }
    // Errors against a zero reference, the spans measured in none counted as not measured.
    auto errors = [](const std::vector<double>& measured, int marked) {
        std::vector<std::optional<double>> program, zero;
        for (double e : measured) {
            program.push_back(e);
            zero.push_back(0.0);
        }
        for (int k = static_cast<int>(measured.size()); k < marked; ++k) {
            program.push_back(std::nullopt);
            zero.push_back(0.0);
        }
        return differences(program, zero);
    };
    std::printf("  all: %d spans, %d contradictory\n", total, contradictions);
    row("  QT of spans with marked beats", errors(qtErrors, qtMarked),
        "(program - median of the experts' beats in the span)");
    row("  PR of spans with marked P waves", errors(prErrors, prMarked), "");
}

// Beat detection with disturbances added to every annotated long record.
void stress(const std::vector<fs::path>& dirs) {
    std::printf("Beat detection with disturbances added (EC57, 150 ms; bursts: beats outside them "
                "and a second around)\n");
    std::vector<StressResult> all;
    for (const fs::path& dir : dirs)
        for (const fs::path& base : records(dir, ".atr")) {
            if (!only.empty() && base.filename() != only)
                continue;
            auto r = stressRecord(base.string() + ".hea");
            if (!r)
                continue;
            for (std::size_t k = 0; k < r.value.size(); ++k) {
                if (all.size() <= k) {
                    all.push_back({});
                    all[k].what = r.value[k].what;
                }
                StressResult& a = all[k];
                const StressResult& s = r.value[k];
                a.beats.truePositive += s.beats.truePositive;
                a.beats.missed += s.beats.missed;
                a.beats.extra += s.beats.extra;
                a.falseAdded += s.falseAdded;
                if (s.markedPercent >= 0) {
                    // The worst record's share, and the beats inside over all records.
                    a.markedPercent = a.markedPercent < 0
                                          ? s.markedPercent
                                          : std::min(a.markedPercent, s.markedPercent);
                    a.insideBursts = std::max(a.insideBursts, 0) + s.insideBursts;
                }
                if (details)
                    std::printf("  %-14s %-56s Se %6.2f %%  +P %6.2f %%  (missed %d, false %d, "
                                "added %d)\n",
                                (dir.filename().string() + "/" + base.filename().string()).c_str(),
                                s.what.c_str(), s.beats.sensitivity(),
                                s.beats.positivePredictivity(), s.beats.missed, s.beats.extra,
                                s.falseAdded);
                if (details && !only.empty())
                    for (std::int64_t at : s.beats.extraAt)
                        std::printf("      false at %.2f s\n",
                                    static_cast<double>(at) / signal::kRecordsPerSecond);
            }
        }
    for (const StressResult& a : all) {
        std::printf("  %-56s Se %6.2f %%  +P %6.2f %%  (missed %d, false %d, added by it %d)",
                    a.what.c_str(), a.beats.sensitivity(), a.beats.positivePredictivity(),
                    a.beats.missed, a.beats.extra, a.falseAdded);
        if (a.markedPercent >= 0)
            std::printf("  bursts marked as noise >= %.1f %% on every record, beats inside %d",
                        a.markedPercent, a.insideBursts);
        std::printf("\n");
    }
}

// Sensitivity and specificity of every statement against LUDB's diagnoses (ludb.csv).
void statements(const fs::path& ludb) {
    const StatementResults r = validateStatements(ludb / "data", ludb / "ludb.csv");
    std::printf("Statements on LUDB (%d records; reference: the cardiologists' diagnoses in "
                "ludb.csv)\n",
                r.records);
    std::printf("  %-6s %5s %4s %4s  %5s %4s %4s  %7s %7s  %s\n", "code", "pos", "TP", "FN", "neg",
                "TN", "FP", "Se %", "Sp %", "goal (>= 5 positives: Se >= 80, Sp >= 95)");
    for (const std::string& code : interpret::statementCodes()) {
        const auto it = r.byCode.find(code);
        if (it == r.byCode.end())
            continue;
        const Tally& t = it->second;
        const char* goal = t.positives() < 5                                ? "too few positives"
                           : t.sensitivity() >= 80 && t.specificity() >= 95 ? "met"
                                                                            : "NOT met";
        std::printf("  %-6s %5d %4d %4d  %5d %4d %4d  %7s %7s  %s\n", code.c_str(), t.positives(),
                    t.truePositive, t.falseNegative, t.negatives(), t.trueNegative, t.falsePositive,
                    t.positives() ? text(t.sensitivity()).c_str() : "-",
                    t.negatives() ? text(t.specificity()).c_str() : "-", goal);
    }
    std::printf("  NORM on a record with a conduction, hypertrophy or infarction diagnosis: %zu",
                r.normalWhereForbidden.size());
    for (int id : r.normalWhereForbidden)
        std::printf(" %d", id);
    std::printf("\n");
    if (details)
        for (const auto& d : r.details) {
            const measure::Measurements& m = d.result.measurements;
            const interpret::Features& f = d.result.features;
            std::printf("ludb %d: HR %s P %s PR %s QRS %s QTcF %s axes %s/%s/%s  P share %s "
                        "RMSSD/RR %s coherence %s atrial waves %s ms repeat %s/%s %s mV\n"
                        "   reference:",
                        d.id, text(m.heartRateBpm).c_str(), text(m.pMs).c_str(),
                        text(m.prMs).c_str(), text(m.qrsMs).c_str(),
                        text(m.qtcFridericiaMs).c_str(), text(m.pAxisDeg).c_str(),
                        text(m.qrsAxisDeg).c_str(), text(m.tAxisDeg).c_str(),
                        f.pShare ? std::to_string(*f.pShare).c_str() : "-",
                        f.dominantRmssdRatio ? std::to_string(*f.dominantRmssdRatio).c_str() : "-",
                        f.atrialCoherence ? std::to_string(*f.atrialCoherence).c_str() : "-",
                        text(f.atrialWavePeriodMs).c_str(), text(f.atrialWaveRepeat, 2).c_str(),
                        text(f.atrialWaveRepeatTwice, 2).c_str(), text(f.atrialWaveMv, 2).c_str());
            for (const std::string& s : d.diagnoses)
                std::printf(" [%s]", s.c_str());
            std::printf("\n");
            for (const auto& s : d.result.statements)
                std::printf("   %-6s %s\n", s.code.c_str(),
                            s.reasonIn(interpret::Language::English).c_str());
            std::printf("   lead  q ms  q mV  r mV  s mV  r' mV  ST J  ST60   T mV  RPT  Rdur  "
                        "Sdur\n");
            for (std::size_t l = 0; l < signal::kLeadCount; ++l) {
                const measure::LeadAmplitudes& a = m.leads[l];
                auto v = [](std::optional<double> x) {
                    char b[16];
                    if (!x)
                        return std::string("    -");
                    std::snprintf(b, sizeof b, "%5.2f", *x);
                    return std::string(b);
                };
                std::printf("   %-4s %5s %s %s %s  %s %s %s  %s %s %s %s\n",
                            signal::kStandardLeadNames[l], text(a.qMs).c_str(), v(a.qMv).c_str(),
                            v(a.rMv).c_str(), v(a.sMv).c_str(), v(a.r2Mv).c_str(),
                            v(a.stJMv).c_str(), v(a.st60Mv).c_str(), v(a.tMv).c_str(),
                            text(f.rPeakTimeMs[l]).c_str(), text(f.rDurationMs[l]).c_str(),
                            text(f.sDurationMs[l]).c_str());
            }
        }
}
} // namespace

int main(int argc, char** argv) {
    fs::path data;
    bool onlyStatements = false, onlyStress = false, onlyBeats = false, usage = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--details") == 0)
            details = true;
        else if (std::strcmp(argv[i], "--stress") == 0)
            onlyStress = true;
        else if (std::strcmp(argv[i], "--beats") == 0)
            onlyBeats = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--statements") == 0)
            onlyStatements = true;
        else if (argv[i][0] != '-' && data.empty())
            data = argv[i];
        else
            usage = true; // an unknown option or a second folder
    }
    if (!usage && !data.empty() && !fs::is_directory(data)) {
        std::fprintf(stderr, "velkard-validate: %s is not a folder\n", data.c_str());
        return 2;
    }
    if (usage || data.empty()) {
        std::fprintf(
            stderr,
            "Usage: velkard-validate DATA [--details] [--statements] [--stress "
            "[--only RECORD]] [--beats [--only RECORD]]\n"
            "DATA holds ludb/data, qtdb, mitdb and svdb as PhysioNet lays them "
            "out.\n--statements: only the interpretation's statements against "
            "ludb/ludb.csv.\n--stress: only beat detection with disturbances "
            "added (of one record with --only).\n--beats: only beat detection (of one record "
            "with --only; with --details where beats were missed or false).\n");
        return 2;
    }
    if (onlyStatements) {
        statements(data / "ludb");
        return 0;
    }
    if (onlyStress) {
        stress({data / "mitdb", data / "svdb", data / "qtdb"});
        return 0;
    }
    if (onlyBeats) {
        detection({data / "mitdb", data / "svdb", data / "qtdb"});
        return 0;
    }
    ludb(data / "ludb" / "data");
    qtdb(data / "qtdb");
    detection({data / "mitdb", data / "svdb", data / "qtdb"});
    spans({data / "mitdb", data / "svdb", data / "qtdb"});
    stress({data / "mitdb", data / "svdb", data / "qtdb"});
    statements(data / "ludb");
    return 0;
}
