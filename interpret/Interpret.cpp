// SPDX-License-Identifier: GPL-3.0-or-later
// The rules: each statement from the thresholds of Criteria.h, with the values that met them.
#include "interpret/Interpret.h"

#include "measure/Summary.h"

#include "interpret/Criteria.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>

namespace velkard::interpret {
namespace c = criteria;
using signal::kStandardLeadNames;

namespace {

// The statement table: code, text in Russian, text in English, in report order.
struct Entry {
    const char* code;
    const char* ru;
    const char* en;
};
constexpr Entry kTable[] = {
    {"SR", "Синусовый ритм", "Sinus rhythm"},
    {"SBRAD", "Синусовая брадикардия", "Sinus bradycardia"},
    {"STACH", "Синусовая тахикардия", "Sinus tachycardia"},
    {"SARRH", "Синусовая аритмия", "Sinus arrhythmia"},
    {"AFIB", "Подозрение на фибрилляцию или трепетание предсердий",
     "Atrial fibrillation or flutter suspected"},
    {"AFLT", "Подозрение на трепетание предсердий", "Atrial flutter suspected"},
    {"PAC", "Наджелудочковые экстрасистолы", "Premature atrial complexes"},
    {"PVC", "Желудочковые экстрасистолы", "Premature ventricular complexes"},
    {"PACE", "Ритм кардиостимулятора", "Paced rhythm"},
    {"1AVB", "Атриовентрикулярная блокада I степени", "First-degree AV block"},
    {"WPW", "Рассмотреть предвозбуждение желудочков (феномен WPW)",
     "Consider ventricular pre-excitation (WPW pattern)"},
    {"CLBBB", "Полная блокада левой ножки пучка Гиса", "Complete left bundle branch block"},
    {"ILBBB", "Неполная блокада левой ножки пучка Гиса", "Incomplete left bundle branch block"},
    {"CRBBB", "Полная блокада правой ножки пучка Гиса", "Complete right bundle branch block"},
    {"IRBBB", "Неполная блокада правой ножки пучка Гиса", "Incomplete right bundle branch block"},
    {"LAFB", "Блокада передней ветви левой ножки пучка Гиса", "Left anterior fascicular block"},
    {"IVCD", "Неспецифическое нарушение внутрижелудочкового проведения",
     "Nonspecific intraventricular conduction delay"},
    {"LAD", "Отклонение электрической оси сердца влево", "Left axis deviation"},
    {"RAD", "Отклонение электрической оси сердца вправо", "Right axis deviation"},
    {"LAE", "Признаки увеличения левого предсердия", "Left atrial abnormality"},
    {"LVH", "Гипертрофия левого желудочка по критериям вольтажа",
     "Left ventricular hypertrophy by voltage criteria"},
    {"RVH", "Гипертрофия правого желудочка", "Right ventricular hypertrophy"},
    {"IMI", "Инфаркт миокарда нижней стенки, давность не определена",
     "Inferior infarct, age undetermined"},
    {"ASMI", "Инфаркт миокарда переднеперегородочной области, давность не определена",
     "Anteroseptal infarct, age undetermined"},
    {"AMI", "Инфаркт миокарда передней стенки, давность не определена",
     "Anterior infarct, age undetermined"},
    {"LMI", "Инфаркт миокарда боковой стенки, давность не определена",
     "Lateral infarct, age undetermined"},
    {"STE", "Подъём сегмента ST: рассмотреть острое повреждение миокарда",
     "ST elevation, consider acute injury"},
    {"STD", "Депрессия сегмента ST: рассмотреть ишемию", "ST depression, consider ischaemia"},
    {"NT", "Инверсия зубца T, неспецифические изменения реполяризации",
     "T wave inversion, nonspecific repolarisation abnormality"},
    {"LNGQT", "Удлинённый интервал QTc", "Prolonged QTc interval"},
    {"SQT", "Рассмотреть укороченный интервал QTc", "Consider short QTc interval"},
    {"LVOLT", "Низкий вольтаж QRS", "Low QRS voltage"},
    {"NORM", "Нормальная ЭКГ", "Normal ECG"},
};

const Entry* entryOf(const std::string& code) {
    for (const Entry& e : kTable)
        if (code == e.code)
            return &e;
    return nullptr;
}

std::string num(double v, int decimals) {
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    std::string s = b;
    if (s == "-0" || s == "-0.0" || s == "-0.00")
        s.erase(0, 1);
    return s;
}

// The Russian text's decimal points (a point between two digits) as decimal commas.
std::string withDecimalCommas(std::string text) {
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        if (text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i - 1])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])))
            text[i] = ',';
    return text;
}

// A reason in both languages, clause after clause; the Russian one with decimal commas.
struct Reason {
    std::string ru, en;
    Reason& add(const std::string& r, const std::string& e) {
        if (!ru.empty()) {
            ru += "; ";
            en += "; ";
        }
        ru += withDecimalCommas(r);
        en += e;
        return *this;
    }
    // "what v ms op limit ms"; whatRu/whatEn name the quantity (one name for both when it is a
    // symbol such as PR).
    Reason& ms(const std::string& whatRu, double v, const char* op, double limit,
               const std::string& whatEn = "") {
        const std::string& en = whatEn.empty() ? whatRu : whatEn;
        return add(whatRu + " " + num(v, 0) + " мс " + op + " " + num(limit, 0) + " мс",
                   en + " " + num(v, 0) + " ms " + op + " " + num(limit, 0) + " ms");
    }
    Reason& mv(const std::string& what, double v, const char* op, double limit) {
        return add(what + " " + num(v, 2) + " мВ " + op + " " + num(limit, 2) + " мВ",
                   what + " " + num(v, 2) + " mV " + op + " " + num(limit, 2) + " mV");
    }
};

std::string joined(const std::vector<std::string>& parts, const char* sep = ", ") {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : sep) + p;
    return out;
}

constexpr int I = signal::StandardLeadI, II = signal::StandardLeadII, III = signal::StandardLeadIII,
              aVR = signal::StandardLeadAVR, aVL = signal::StandardLeadAVL,
              aVF = signal::StandardLeadAVF, V1 = signal::StandardLeadV1,
              V2 = signal::StandardLeadV2, V3 = signal::StandardLeadV3, V4 = signal::StandardLeadV4,
              V5 = signal::StandardLeadV5, V6 = signal::StandardLeadV6;

// Pairs of contiguous leads [UDMI4]: the inferior leads, the lateral limb leads, neighbouring
// chest leads.
constexpr std::pair<int, int> kContiguous[] = {{II, III}, {III, aVF}, {II, aVF}, {I, aVL}, {V1, V2},
                                               {V2, V3},  {V3, V4},   {V4, V5},  {V5, V6}};

bool sinusPAxis(double deg) {
    return deg >= c::kSinusPAxisLow && deg <= c::kSinusPAxisHigh;
}

// The median beat's P stands before more than kPBeatShare of the beats: the PR and the P's own
// criteria are the rhythm's (taken as so where the features were not taken).
bool pBeforeMostBeats(const Features& f) {
    return !f.pShare || *f.pShare > c::kPBeatShare;
}

class Engine {
public:
    Engine(const measure::Measurements& m, const Features& f, const Patient& p)
        : m_(m), f_(f), p_(p) {}

    std::vector<Statement> run() {
        if (m_.beats.size() < 3)
            return {};
        rhythm();
        conduction();
        axis();
        hypertrophy();
        infarction();
        injury();
        repolarisation();
        voltage();
        normal();
        std::stable_sort(out_.begin(), out_.end(), [](const Statement& a, const Statement& b) {
            return entryOf(a.code) < entryOf(b.code);
        });
        return out_;
    }

private:
    const measure::LeadAmplitudes& lead(int l) const {
        return m_.leads[static_cast<std::size_t>(l)];
    }
    // Independent leads measured: of I, II and III at most two, and each chest lead.
    int independentLeadsMeasured() const {
        int limb = 0, chest = 0;
        for (int l : {signal::StandardLeadI, signal::StandardLeadII, signal::StandardLeadIII})
            limb += lead(l).rMv.has_value();
        for (int l = signal::StandardLeadV1; l <= signal::StandardLeadV6; ++l)
            chest += lead(l).rMv.has_value();
        return std::min(limb, 2) + chest;
    }
    bool has(const std::string& code) const {
        return std::any_of(out_.begin(), out_.end(),
                           [&](const Statement& s) { return s.code == code; });
    }
    void say(const char* code, const Reason& r) {
        const Entry* e = entryOf(code);
        out_.push_back({code, {e->ru, e->en}, {r.ru, r.en}});
    }
    bool secondaryRepolarisation() const { return has("CLBBB") || has("WPW") || has("PACE"); }
    bool pBeforeMost() const { return pBeforeMostBeats(f_); }

    // ---- Rhythm ----
    // Atrial flutter: regular atrial waves between the complexes, far more of them than beats.
    bool flutter() {
        if (!f_.atrialWaveRepeat || !f_.atrialWaveRepeatTwice || !f_.atrialWavePeriodMs ||
            !f_.atrialWaveMv || !m_.heartRateBpm || f_.atrialWaveLead < 0 || !f_.atrialCoherence ||
            !f_.atrialWaveRepeatInferior)
            return false;
        const double atrialRate = 60000.0 / *f_.atrialWavePeriodMs;
        const double ratio = atrialRate / *m_.heartRateBpm;
        if (*f_.atrialWaveRepeat < c::kFlutterRepeat ||
            *f_.atrialWaveRepeatTwice < c::kFlutterRepeatTwice ||
            *f_.atrialWaveMv < c::kFlutterWaveMv || ratio < c::kFlutterRateRatio ||
            *f_.atrialCoherence < c::kFlutterLocked ||
            *f_.atrialWaveRepeatInferior < c::kFlutterRepeatInferior)
            return false;
        const bool regular = f_.dominantRmssdRatio && *f_.dominantRmssdRatio < c::kIrregularRmssd;
        if (regular && m_.pMs && m_.prMs && m_.pAxisDeg && sinusPAxis(*m_.pAxisDeg) && f_.pShare &&
            pBeforeMost())
            return false;
        const std::string lead =
            signal::kStandardLeadNames[static_cast<std::size_t>(f_.atrialWaveLead)];
        Reason r;
        r.add("регулярные предсердные волны между комплексами, " + num(atrialRate, 0) +
                  " в мин (период " + num(*f_.atrialWavePeriodMs, 0) + " мс) в " + lead +
                  ": повторяемость " + num(*f_.atrialWaveRepeat, 2) + " ≥ " +
                  num(c::kFlutterRepeat, 2) + ", через два периода " +
                  num(*f_.atrialWaveRepeatTwice, 2) + " ≥ " + num(c::kFlutterRepeatTwice, 2),
              "regular atrial waves between the complexes, " + num(atrialRate, 0) +
                  "/min (period " + num(*f_.atrialWavePeriodMs, 0) + " ms) in " + lead +
                  ": repeat " + num(*f_.atrialWaveRepeat, 2) + " ≥ " + num(c::kFlutterRepeat, 2) +
                  ", at twice the period " + num(*f_.atrialWaveRepeatTwice, 2) + " ≥ " +
                  num(c::kFlutterRepeatTwice, 2));
        r.add("во всех нижних отведениях: повторяемость не ниже " +
                  num(*f_.atrialWaveRepeatInferior, 2) + " ≥ " + num(c::kFlutterRepeatInferior, 2),
              "in every inferior lead: repeat at least " + num(*f_.atrialWaveRepeatInferior, 2) +
                  " ≥ " + num(c::kFlutterRepeatInferior, 2));
        r.add("в " + num(ratio, 1) + " раза чаще ЧСС " + num(*m_.heartRateBpm, 0) + " уд/мин (≥ " +
                  num(c::kFlutterRateRatio, 1) + ")",
              num(ratio, 1) + " times the heart rate of " + num(*m_.heartRateBpm, 0) + " bpm (≥ " +
                  num(c::kFlutterRateRatio, 1) + ")");
        r.add("волны перед комплексами сходны: сходство " + num(*f_.atrialCoherence, 2) + " ≥ " +
                  num(c::kFlutterLocked, 2),
              "the waves alike before the complexes: likeness " + num(*f_.atrialCoherence, 2) +
                  " ≥ " + num(c::kFlutterLocked, 2));
        say("AFLT", r);
        return true;
    }

    void rhythm() {
        const bool irregular =
            f_.dominantRmssdRatio && *f_.dominantRmssdRatio >= c::kIrregularRmssd;
        const bool noP = !pBeforeMost();
        const bool unalikeAtria = !f_.atrialCoherence || *f_.atrialCoherence < c::kAtrialCoherence;
        // Where a P is found before most beats but the stretches before the beats differ and its
        // axis is not the sinus node's, what was found is a fibrillatory wave that happened to
        // stand there. (A low sinus P under noise also gives unalike stretches, at a sinus axis.)
        const bool nonSinusAxis = m_.pAxisDeg && !sinusPAxis(*m_.pAxisDeg);
        const bool unalikeWithP = !noP && f_.atrialCoherence && unalikeAtria && nonSinusAxis;
        if (flutter()) {
            atrialFibrillation_ = true;
        } else if (irregular && ((noP && unalikeAtria) || unalikeWithP)) {
            Reason r;
            r.add("RR нерегулярны: RMSSD/RR " + num(*f_.dominantRmssdRatio, 2) + " ≥ " +
                      num(c::kIrregularRmssd, 2),
                  "irregular RR: RMSSD/RR " + num(*f_.dominantRmssdRatio, 2) + " ≥ " +
                      num(c::kIrregularRmssd, 2));
            if (noP)
                r.add("зубец P найден перед " + num(100 * *f_.pShare, 0) + " % комплексов",
                      "P wave found before " + num(100 * *f_.pShare, 0) + " % of the complexes");
            else
                r.add("волна, похожая на P, перед " + num(100 * *f_.pShare, 0) + " % комплексов",
                      "a P-like wave before " + num(100 * *f_.pShare, 0) + " % of the complexes");
            if (f_.atrialCoherence)
                r.add("предсердные отрезки перед комплексами несходны: сходство " +
                          num(*f_.atrialCoherence, 2) + " < " + num(c::kAtrialCoherence, 2),
                      "atrial stretches before the complexes unalike: likeness " +
                          num(*f_.atrialCoherence, 2) + " < " + num(c::kAtrialCoherence, 2));
            if (!noP)
                r.add("ось найденной волны " + num(*m_.pAxisDeg, 0) + "° вне синусовой (от " +
                          num(c::kSinusPAxisLow, 0) + "° до " + num(c::kSinusPAxisHigh, 0) + "°)",
                      "axis of the wave found " + num(*m_.pAxisDeg, 0) + "°, not sinus (" +
                          num(c::kSinusPAxisLow, 0) + "° to " + num(c::kSinusPAxisHigh, 0) + "°)");
            say("AFIB", r);
            atrialFibrillation_ = true;
        }
        // A sinus P points within -30..90 degrees; where no frontal axis can be had (a recording
        // without I or aVF), a P upright in II is what that axis would give there.
        const bool sinusAxis =
            m_.pAxisDeg ? sinusPAxis(*m_.pAxisDeg) : f_.pLeadIIMv && *f_.pLeadIIMv >= c::kWaveMv;
        sinus_ =
            !atrialFibrillation_ && m_.pMs && m_.prMs && sinusAxis && f_.pShare && pBeforeMost();
        if (sinus_ && m_.heartRateBpm) {
            const double hr = *m_.heartRateBpm;
            Reason r;
            const std::string shareRu =
                                  "зубец P перед " + num(100 * *f_.pShare, 0) + " % комплексов",
                              shareEn = "P wave before " + num(100 * *f_.pShare, 0) +
                                        " % of the complexes";
            if (m_.pAxisDeg) {
                r.add(shareRu + ", ось P " + num(*m_.pAxisDeg, 0) + "° (от " +
                          num(c::kSinusPAxisLow, 0) + "° до " + num(c::kSinusPAxisHigh, 0) + "°)",
                      shareEn + ", P axis " + num(*m_.pAxisDeg, 0) + "° (" +
                          num(c::kSinusPAxisLow, 0) + "° to " + num(c::kSinusPAxisHigh, 0) + "°)");
            } else {
                r.add(shareRu + ", положителен во II: +" + num(*f_.pLeadIIMv, 2) + " мВ",
                      shareEn + ", upright in II: +" + num(*f_.pLeadIIMv, 2) + " mV");
                r.add("ось P не измерима: не хватает отведений от конечностей",
                      "no P axis: limb leads missing");
            }
            if (hr < c::kBradycardiaBpm) {
                r.add("ЧСС " + num(hr, 0) + " уд/мин < " + num(c::kBradycardiaBpm, 0),
                      "rate " + num(hr, 0) + " bpm < " + num(c::kBradycardiaBpm, 0));
                say("SBRAD", r);
            } else if (hr > c::kTachycardiaBpm) {
                r.add("ЧСС " + num(hr, 0) + " уд/мин > " + num(c::kTachycardiaBpm, 0),
                      "rate " + num(hr, 0) + " bpm > " + num(c::kTachycardiaBpm, 0));
                say("STACH", r);
            } else {
                r.add("ЧСС " + num(hr, 0) + " уд/мин", "rate " + num(hr, 0) + " bpm");
                say("SR", r);
            }
            if (f_.sinusRangeMs && *f_.sinusRangeMs > c::kSinusArrhythmiaMs)
                say("SARRH", Reason{}.ms("разброс синусовых RR", *f_.sinusRangeMs, ">",
                                         c::kSinusArrhythmiaMs, "longest - shortest sinus RR"));
        }
        pacing();
        // A premature complex of the usual shape is atrial only beside an atrial rhythm that is
        // seen: not in fibrillation, not where no sinus P was found, and not under pacing, where
        // the usual shape is the paced one.
        if (f_.prematureSameShape > 0 && sinus_ && !has("PACE"))
            say("PAC", premature(f_.prematureSameShape, "обычной формы", "of the usual shape", "≥",
                                 c::kSameShape));
        if (f_.otherShape > 0)
            say("PVC",
                premature(f_.otherShape, "иной формы", "of another shape", "<", c::kOtherShape));
    }

    // Pacemaker spikes before most QRS complexes: a paced rhythm, whose QRS and repolarisation
    // are the pacing's (no conduction, hypertrophy, infarction or injury is read from them).
    void pacing() {
        if (f_.spikeBeatsSeen < c::kMinimumPacedBeats || !f_.spikeToQrsMs || !f_.spikeMv ||
            f_.pacedBeats < c::kMinimumPacedBeats ||
            f_.pacedBeats <= c::kPacedBeatShare * f_.spikeBeatsSeen)
            return;
        const std::string lead =
            f_.spikeLead >= 0 ? kStandardLeadNames[static_cast<std::size_t>(f_.spikeLead)] : "";
        const std::string mv = num(*f_.spikeMv, 2);
        // Within a few ms of the measured onset the spike is where the QRS begins.
        const bool atOnset = *f_.spikeToQrsMs < c::kSpikeAtOnsetMs;
        const std::string whenRu = !f_.spikeOnsetMeasured ? "перед QRS"
                                   : atOnset
                                       ? "в начале QRS"
                                       : "за " + num(*f_.spikeToQrsMs, 0) + " мс до начала QRS";
        const std::string whenEn = !f_.spikeOnsetMeasured ? "before the QRS"
                                   : atOnset
                                       ? "at the QRS onset"
                                       : num(*f_.spikeToQrsMs, 0) + " ms before the QRS onset";
        Reason r;
        r.add("спайк кардиостимулятора перед " + std::to_string(f_.pacedBeats) + " из " +
                  std::to_string(f_.spikeBeatsSeen) + " комплексов QRS, " + whenRu + " (" + lead +
                  " " + mv + " мВ за 2,5 мс)",
              "pacemaker spike before " + std::to_string(f_.pacedBeats) + " of " +
                  std::to_string(f_.spikeBeatsSeen) + " QRS complexes, " + whenEn + " (" + lead +
                  " " + mv + " mV in 2.5 ms)");
        say("PACE", r);
    }

    // "3 преждевременных комплекса ..." / "3 premature complexes ...".
    static Reason premature(int n, const char* shapeRu, const char* shapeEn, const char* op,
                            double correlation) {
        const int last = n % 10, lastTwo = n % 100;
        const bool teen = lastTwo >= 11 && lastTwo <= 14;
        const char* ru = !teen && last == 1 ? " преждевременный комплекс "
                         : !teen && last >= 2 && last <= 4 ? " преждевременных комплекса "
                                                           : " преждевременных комплексов ";
        const std::string count = std::to_string(n);
        return Reason{}.add(count + ru + shapeRu + ": RR < " + num(100 * c::kPrematureRatio, 0) +
                                " % среднего и предыдущего RR, форма QRS r " + op + " " +
                                num(correlation, 2),
                            count + (n == 1 ? " premature complex " : " premature complexes ") +
                                shapeEn + ": RR < " + num(100 * c::kPrematureRatio, 0) +
                                " % of the median and the previous RR, QRS shape r " + op + " " +
                                num(correlation, 2));
    }

    // ---- Conduction ----
    bool noQ(int l) const { return lead(l).qMv && *lead(l).qMv < c::kNoQMv; }
    // The lead's tallest R: the R, or an R' after the S that is taller (an rSR').
    std::optional<double> tallestR(int l) const {
        const auto& a = lead(l);
        if (!a.rMv)
            return std::nullopt;
        return a.r2Mv ? std::max(*a.rMv, *a.r2Mv) : *a.rMv;
    }
    bool dominantR(int l) const {
        return tallestR(l) && lead(l).sMv && *tallestR(l) > *lead(l).sMv;
    }
    bool dominantS(int l) const {
        return tallestR(l) && lead(l).sMv && *lead(l).sMv > *tallestR(l);
    }
    std::optional<double> rpt(int l) const { return f_.rPeakTimeMs[static_cast<std::size_t>(l)]; }

    // Left bundle branch morphology [AHA-III]: no q in I, V5, V6, dominant R in I and V6, QS or
    // rS in V1; R-peak time above 60 ms in the leads named.
    bool leftBundleShape(const std::vector<int>& rptLeads, Reason& r) const {
        if (!(noQ(I) && noQ(V5) && noQ(V6) && dominantR(I) && dominantR(V6) && dominantS(V1)))
            return false;
        std::vector<std::string> late;
        for (int l : rptLeads) {
            if (!rpt(l) || *rpt(l) <= c::kLbbbRPeakTimeMs)
                return false;
            late.push_back(std::string(kStandardLeadNames[static_cast<std::size_t>(l)]) + " " +
                           num(*rpt(l), 0));
        }
        r.add("нет q в I, V5, V6; R преобладает в I и V6; QS или rS в V1",
              "no q in I, V5, V6; dominant R in I and V6; QS or rS in V1");
        r.add("время пика R " + joined(late) + " мс > " + num(c::kLbbbRPeakTimeMs, 0) + " мс",
              "R-peak time " + joined(late) + " ms > " + num(c::kLbbbRPeakTimeMs, 0) + " ms");
        return true;
    }
    // Right bundle branch morphology [AHA-III]: rsR' in V1 or V2 (or a wide R in V1 with its
    // R-peak time above 50 ms), and in I and V6 an S longer than the R or than 40 ms.
    bool rightBundleShape(Reason& r) const {
        std::string v1Pattern[2];
        for (int l : {V1, V2})
            if (lead(l).r2Mv && *lead(l).r2Mv >= c::kWaveMv && v1Pattern[0].empty() &&
                f_.endsPositive[static_cast<std::size_t>(l)].value_or(false)) {
                const std::string name = kStandardLeadNames[static_cast<std::size_t>(l)];
                v1Pattern[0] = "R′ " + num(*lead(l).r2Mv, 2) + " мВ в " + name;
                v1Pattern[1] = "R′ " + num(*lead(l).r2Mv, 2) + " mV in " + name;
            }
        if (v1Pattern[0].empty() && dominantR(V1) && rpt(V1) && *rpt(V1) > c::kRbbbRPeakTimeV1Ms) {
            v1Pattern[0] = "широкий R в V1, время пика R " + num(*rpt(V1), 0) + " мс > " +
                           num(c::kRbbbRPeakTimeV1Ms, 0) + " мс";
            v1Pattern[1] = "wide R in V1, R-peak time " + num(*rpt(V1), 0) + " ms > " +
                           num(c::kRbbbRPeakTimeV1Ms, 0) + " ms";
        }
        if (v1Pattern[0].empty())
            return false;
        std::vector<std::string> s;
        for (int l : {I, V6}) {
            const auto sd = f_.sDurationMs[static_cast<std::size_t>(l)];
            const auto rd = f_.rDurationMs[static_cast<std::size_t>(l)];
            if (!sd || !rd || *sd <= 0 || !(*sd > *rd || *sd > c::kRbbbSDurationMs))
                return false;
            s.push_back(std::string(kStandardLeadNames[static_cast<std::size_t>(l)]) + " " +
                        num(*sd, 0));
        }
        r.add(v1Pattern[0], v1Pattern[1]);
        r.add("S в " + joined(s) + " мс (длиннее R или > " + num(c::kRbbbSDurationMs, 0) + " мс)",
              "S in " + joined(s) + " ms (longer than R or > " + num(c::kRbbbSDurationMs, 0) +
                  " ms)");
        return true;
    }

    void conduction() {
        if (has("PACE"))
            return;
        if (m_.prMs && (sinus_ || (!atrialFibrillation_ && m_.pMs && pBeforeMost())) &&
            *m_.prMs > c::kFirstDegreeAvBlockPrMs)
            say("1AVB", Reason{}.ms("PR", *m_.prMs, ">", c::kFirstDegreeAvBlockPrMs));
        if (!m_.qrsMs)
            return;
        const double qrs = *m_.qrsMs;
        if (m_.prMs && m_.pMs && !atrialFibrillation_ && *m_.prMs < c::kPreexcitationPrMs &&
            qrs >= c::kPreexcitationQrsMs) {
            Reason r;
            r.ms("PR", *m_.prMs, "<", c::kPreexcitationPrMs);
            r.ms("QRS", qrs, "≥", c::kPreexcitationQrsMs);
            r.add("дельта-волна не оценивалась", "delta wave not assessed");
            say("WPW", r);
            return;
        }
        bool bundle = false;
        if (qrs >= c::kCompleteBlockQrsMs) {
            Reason l, r;
            l.ms("QRS", qrs, "≥", c::kCompleteBlockQrsMs);
            r.ms("QRS", qrs, "≥", c::kCompleteBlockQrsMs);
            if (leftBundleShape({V5, V6}, l)) {
                say("CLBBB", l);
                bundle = true;
            } else if (rightBundleShape(r)) {
                say("CRBBB", r);
                bundle = true;
            }
        } else if (qrs >= c::kIncompleteBlockQrsMs) {
            Reason l, r;
            const std::string range =
                num(c::kIncompleteBlockQrsMs, 0) + "–" + num(c::kCompleteBlockQrsMs - 1, 0);
            l.add("QRS " + num(qrs, 0) + " мс (" + range + " мс)",
                  "QRS " + num(qrs, 0) + " ms (" + range + " ms)");
            r = l;
            // Incomplete LBBB: R-peak time above 60 ms in any of V4-V6.
            Reason lt = l;
            bool left = false;
            for (int v : {V4, V5, V6}) {
                Reason tryL = l;
                if (!left && leftBundleShape({v}, tryL)) {
                    lt = tryL;
                    left = true;
                }
            }
            if (left) {
                say("ILBBB", lt);
                bundle = true;
            } else if (rightBundleShape(r)) {
                say("IRBBB", r);
                bundle = true;
            }
        }
        if (!bundle && qrs > c::kIvcdQrsMs)
            say("IVCD", Reason{}
                            .ms("QRS", qrs, ">", c::kIvcdQrsMs)
                            .add("критерии блокады ножек не выполнены",
                                 "bundle branch block criteria not met"));
        // Left anterior fascicular block [AHA-III].
        if (m_.qrsAxisDeg && qrs < c::kCompleteBlockQrsMs && *m_.qrsAxisDeg >= c::kLafbAxisLow &&
            *m_.qrsAxisDeg <= c::kLafbAxisHigh && lead(aVL).qMv && *lead(aVL).qMv >= c::kNoQMv &&
            dominantR(aVL) && rpt(aVL) && *rpt(aVL) >= c::kLafbRPeakTimeAvlMs && dominantS(II) &&
            dominantS(III) && dominantS(aVF)) {
            Reason r;
            r.add("ось QRS " + num(*m_.qrsAxisDeg, 0) + "° (от " + num(c::kLafbAxisLow, 0) +
                      "° до " + num(c::kLafbAxisHigh, 0) + "°)",
                  "QRS axis " + num(*m_.qrsAxisDeg, 0) + "° (" + num(c::kLafbAxisLow, 0) + "° to " +
                      num(c::kLafbAxisHigh, 0) + "°)");
            r.add("qR в aVL, rS в II, III, aVF", "qR in aVL, rS in II, III, aVF");
            r.ms("время пика R в aVL", *rpt(aVL), "≥", c::kLafbRPeakTimeAvlMs,
                 "R-peak time in aVL");
            r.ms("QRS", qrs, "<", c::kCompleteBlockQrsMs);
            say("LAFB", r);
        }
    }

    // ---- Axis ----
    void axis() {
        if (!m_.qrsAxisDeg)
            return;
        const double a = *m_.qrsAxisDeg;
        if (a < c::kLeftAxisDeg && a >= -90)
            say("LAD",
                Reason{}.add(
                    "ось QRS " + num(a, 0) + "° (от " + num(c::kLeftAxisDeg, 0) + "° до -90°)",
                    "QRS axis " + num(a, 0) + "° (" + num(c::kLeftAxisDeg, 0) + "° to -90°)"));
        else if (a > c::kRightAxisDeg)
            say("RAD",
                Reason{}.add(
                    "ось QRS " + num(a, 0) + "° (от +" + num(c::kRightAxisDeg, 0) + "° до +180°)",
                    "QRS axis " + num(a, 0) + "° (+" + num(c::kRightAxisDeg, 0) + "° to +180°)"));
    }

    // ---- Hypertrophy ----
    std::optional<double> r(int l) const { return tallestR(l); }
    std::optional<double> s(int l) const { return lead(l).sMv; }

    void hypertrophy() {
        const bool female = p_.sex == Sex::Female, known = p_.sex != Sex::Unknown;
        const std::pair<std::string, std::string> unknownSex{" (пол не указан: порог для мужчин)",
                                                             " (sex unknown: the men's threshold)"};
        if ((m_.pMs || f_.pTerminalForceV1) && pBeforeMost()) {
            Reason rr;
            if (m_.pMs && *m_.pMs >= c::kLaePMs)
                rr.ms("P", *m_.pMs, "≥", c::kLaePMs);
            if (f_.pTerminalForceV1 && *f_.pTerminalForceV1 >= c::kLaeTerminalForce)
                rr.add("отрицательная фаза P в V1 " + num(*f_.pTerminalForceV1, 1) + " мВ·мс ≥ " +
                           num(c::kLaeTerminalForce, 1),
                       "negative terminal P in V1 " + num(*f_.pTerminalForceV1, 1) + " mV·ms ≥ " +
                           num(c::kLaeTerminalForce, 1));
            if (!rr.ru.empty() && !atrialFibrillation_)
                say("LAE", rr);
        }
        // Voltage is no sign of hypertrophy under a left bundle branch block or pre-excitation,
        // nor in the young.
        const bool young = p_.ageYears && *p_.ageYears < c::kVoltageCriteriaFromAgeYears;
        if (!has("CLBBB") && !has("WPW") && !has("PACE") && !young) {
            Reason lv;
            const std::optional<double> rv56 = r(V5) && r(V6)
                                                   ? std::optional(std::max(*r(V5), *r(V6)))
                                               : r(V5) ? r(V5)
                                                       : r(V6);
            if (s(V1) && rv56 && *s(V1) + *rv56 >= c::kSokolowLyonMv) {
                const std::string sum =
                    num(*s(V1), 2) + " + " + num(*rv56, 2) + " = " + num(*s(V1) + *rv56, 2);
                lv.add("Соколов–Лайон: SV1 + RV5/6 = " + sum + " мВ ≥ " +
                           num(c::kSokolowLyonMv, 2) + " мВ",
                       "Sokolow-Lyon: SV1 + RV5/6 = " + sum + " mV ≥ " + num(c::kSokolowLyonMv, 2) +
                           " mV");
            }
            if (r(aVL) && *r(aVL) >= c::kSokolowLyonAvlMv)
                lv.add("RaVL " + num(*r(aVL), 2) + " мВ ≥ " + num(c::kSokolowLyonAvlMv, 2) + " мВ",
                       "RaVL " + num(*r(aVL), 2) + " mV ≥ " + num(c::kSokolowLyonAvlMv, 2) + " mV");
            if (r(aVL) && s(V3)) {
                const double cornell = *r(aVL) + *s(V3);
                const double limit = female ? c::kCornellWomenMv : c::kCornellMenMv;
                if (cornell > limit)
                    lv.add("Корнелл: RaVL + SV3 = " + num(cornell, 2) + " мВ > " + num(limit, 2) +
                               " мВ" + (known ? "" : unknownSex.first),
                           "Cornell: RaVL + SV3 = " + num(cornell, 2) + " mV > " + num(limit, 2) +
                               " mV" + (known ? "" : unknownSex.second));
                if (m_.qrsMs) {
                    const double product =
                        (cornell + (female ? c::kCornellProductWomenMv : 0.0)) * *m_.qrsMs;
                    if (product >= c::kCornellProductMvMs)
                        lv.add("корнельское произведение " + num(product, 0) + " мВ·мс ≥ " +
                                   num(c::kCornellProductMvMs, 0) + (known ? "" : unknownSex.first),
                               "Cornell product " + num(product, 0) + " mV·ms ≥ " +
                                   num(c::kCornellProductMvMs, 0) +
                                   (known ? "" : unknownSex.second));
                }
            }
            // Peguero-Lo Presti: the deepest S of any lead plus SV4 (SV4 twice when it is the
            // deepest).
            std::optional<double> deepest;
            int deepestLead = -1;
            for (int l = 0; l < signal::kLeadCount; ++l)
                if (l != aVR && s(l) && (!deepest || *s(l) > *deepest)) {
                    deepest = s(l);
                    deepestLead = l;
                }
            if (deepest && s(V4)) {
                const double sum = *deepest + *s(V4);
                const double limit = female ? c::kPegueroWomenMv : c::kPegueroMenMv;
                const std::string name = kStandardLeadNames[static_cast<std::size_t>(deepestLead)];
                if (sum >= limit)
                    lv.add("Пегеро–Ло Прести: S" + name + " + SV4 = " + num(sum, 2) + " мВ ≥ " +
                               num(limit, 2) + " мВ" + (known ? "" : unknownSex.first),
                           "Peguero-Lo Presti: S" + name + " + SV4 = " + num(sum, 2) + " mV ≥ " +
                               num(limit, 2) + " mV" + (known ? "" : unknownSex.second));
            }
            if (!lv.ru.empty() && !p_.ageYears)
                lv.add("возраст не указан: критерии вольтажа действительны с " +
                           std::to_string(c::kVoltageCriteriaFromAgeYears) + " лет",
                       "age unknown: the voltage criteria hold from " +
                           std::to_string(c::kVoltageCriteriaFromAgeYears) + " years");
            if (!lv.ru.empty())
                say("LVH", lv);
        }
        // RVH: two of its signs, none of them made by a right bundle branch block, nor by a QRS
        // as wide as a complete block's: there the delayed activation (a block, pre-excitation
        // whose PR is not short enough to be told) draws the tall R in V1 (QT Database sel230,
        // pre-excited: R/S in V1 > 1 at QRS 140 ms).
        const bool wide = m_.qrsMs && *m_.qrsMs >= c::kCompleteBlockQrsMs;
        if (!has("CRBBB") && !has("IRBBB") && !has("WPW") && !has("PACE") && !wide) {
            Reason rv;
            int signs = 0;
            if (r(V1) && *r(V1) >= c::kRvhRV1Mv) {
                rv.mv("RV1", *r(V1), "≥", c::kRvhRV1Mv);
                ++signs;
            }
            const std::optional<double> sv56 = s(V5) && s(V6)
                                                   ? std::optional(std::max(*s(V5), *s(V6)))
                                               : s(V5) ? s(V5)
                                                       : s(V6);
            if (r(V1) && sv56 && *r(V1) + *sv56 >= c::kRvhSokolowMv) {
                rv.mv("RV1 + SV5/6", *r(V1) + *sv56, "≥", c::kRvhSokolowMv);
                ++signs;
            }
            if (r(V1) && s(V1) && *r(V1) >= c::kRvhRsRatioV1RMv &&
                *r(V1) > c::kRvhRsRatioV1 * *s(V1)) {
                rv.add("R/S в V1 > 1 (R " + num(*r(V1), 2) + " мВ, S " + num(*s(V1), 2) + " мВ)",
                       "R/S in V1 > 1 (R " + num(*r(V1), 2) + " mV, S " + num(*s(V1), 2) + " mV)");
                ++signs;
            }
            if (m_.qrsAxisDeg && *m_.qrsAxisDeg > c::kRightAxisDeg) {
                rv.add("ось QRS " + num(*m_.qrsAxisDeg, 0) + "° > +" + num(c::kRightAxisDeg, 0) +
                           "°",
                       "QRS axis " + num(*m_.qrsAxisDeg, 0) + "° > +" + num(c::kRightAxisDeg, 0) +
                           "°");
                ++signs;
            }
            if (signs >= 2)
                say("RVH", rv);
        }
    }

    // ---- Infarction: pathological Q waves [UDMI4] ----
    // Whether lead l has a pathological Q, and what it is.
    std::optional<std::pair<std::string, std::string>> pathologicalQ(int l) const {
        const auto& a = lead(l);
        if (!a.qMv || !a.qMs || !a.rMv)
            return std::nullopt;
        const std::string name = kStandardLeadNames[static_cast<std::size_t>(l)];
        const bool qs = *a.rMv == 0 && *a.qMv >= c::kQMv;
        if (qs)
            return std::pair{"QS в " + name, "QS in " + name};
        if (*a.qMv < c::kNoQMv)
            return std::nullopt;
        if (l == V2 || l == V3) {
            if (*a.qMs >= c::kQV2V3Ms)
                return std::pair{
                    "Q в " + name + " " + num(*a.qMs, 0) + " мс ≥ " + num(c::kQV2V3Ms, 0) + " мс",
                    "Q in " + name + " " + num(*a.qMs, 0) + " ms ≥ " + num(c::kQV2V3Ms, 0) + " ms"};
            return std::nullopt;
        }
        if (*a.qMs >= c::kQMs && *a.qMv >= c::kQMv)
            return std::pair{
                "Q в " + name + " " + num(*a.qMs, 0) + " мс, " + num(*a.qMv, 2) + " мВ (≥ " +
                    num(c::kQMs, 0) + " мс и ≥ " + num(c::kQMv, 2) + " мВ)",
                "Q in " + name + " " + num(*a.qMs, 0) + " ms, " + num(*a.qMv, 2) + " mV (≥ " +
                    num(c::kQMs, 0) + " ms and ≥ " + num(c::kQMv, 2) + " mV)"};
        return std::nullopt;
    }

    void infarction() {
        if (has("CLBBB") || has("WPW") || has("PACE"))
            return;
        const auto group = [&](const char* code, const std::vector<std::pair<int, int>>& pairs) {
            for (const auto& [a, b] : pairs) {
                const auto qa = pathologicalQ(a), qb = pathologicalQ(b);
                if (qa && qb) {
                    say(code,
                        Reason{}.add(qa->first + "; " + qb->first + " (две смежные отведения)",
                                     qa->second + "; " + qb->second + " (two contiguous leads)"));
                    return;
                }
            }
        };
        group("IMI", {{II, aVF}, {III, aVF}, {II, III}});
        group("ASMI", {{V2, V3}});
        group("AMI", {{V3, V4}, {V4, V5}});
        group("LMI", {{I, aVL}, {V5, V6}});
    }

    // ---- Acute injury and ischaemia ----
    // The J-point elevation threshold of lead l for this patient, and the words for its choice.
    double steLimit(int l, std::string& noteRu, std::string& noteEn) const {
        if (l != V2 && l != V3)
            return c::kSteOtherMv;
        if (p_.sex == Sex::Female) {
            noteRu = "женщины";
            noteEn = "women";
            return c::kSteV2V3WomenMv;
        }
        if (p_.sex == Sex::Male && p_.ageYears) {
            const bool older = *p_.ageYears >= c::kSteAgeYears;
            noteRu = older ? "мужчины от 40 лет" : "мужчины моложе 40 лет";
            noteEn = older ? "men aged 40 or more" : "men under 40";
            return older ? c::kSteV2V3MenFrom40Mv : c::kSteV2V3MenUnder40Mv;
        }
        noteRu = p_.sex == Sex::Male ? "возраст не указан: порог для мужчин моложе 40 лет"
                                     : "пол не указан: наибольший порог";
        noteEn = p_.sex == Sex::Male ? "age unknown: the threshold of men under 40"
                                     : "sex unknown: the highest threshold";
        return std::max({c::kSteV2V3MenFrom40Mv, c::kSteV2V3MenUnder40Mv, c::kSteV2V3WomenMv});
    }

    void injury() {
        if (secondaryRepolarisation())
            return;
        const bool rbbb = has("CRBBB") || has("IRBBB");
        std::vector<int> elevated, depressed;
        std::vector<std::string> ru, en, dru, den;
        auto isElevated = [&](int l) {
            std::string nr, ne;
            const auto st = lead(l).stJMv;
            return st && *st >= steLimit(l, nr, ne);
        };
        auto isDepressed = [&](int l) {
            const auto& a = lead(l);
            if (rbbb && (l == V1 || l == V2 || l == V3))
                return false;
            return a.stJMv && a.st80Mv && *a.stJMv <= -c::kStdMv && *a.st80Mv <= -c::kStdMv &&
                   *a.st80Mv <= *a.stJMv + c::kHorizontalMv;
        };
        for (const auto& [a, b] : kContiguous) {
            if (isElevated(a) && isElevated(b))
                for (int l : {a, b})
                    if (std::find(elevated.begin(), elevated.end(), l) == elevated.end())
                        elevated.push_back(l);
            if (isDepressed(a) && isDepressed(b))
                for (int l : {a, b})
                    if (std::find(depressed.begin(), depressed.end(), l) == depressed.end())
                        depressed.push_back(l);
        }
        std::sort(elevated.begin(), elevated.end());
        std::sort(depressed.begin(), depressed.end());
        if (!elevated.empty()) {
            Reason r;
            for (int l : elevated) {
                std::string nr, ne;
                const double limit = steLimit(l, nr, ne);
                const std::string name = kStandardLeadNames[static_cast<std::size_t>(l)];
                r.add("ST(J) " + name + " +" + num(*lead(l).stJMv, 2) + " мВ ≥ " + num(limit, 2) +
                          " мВ" + (nr.empty() ? "" : " (" + nr + ")"),
                      "ST(J) " + name + " +" + num(*lead(l).stJMv, 2) + " mV ≥ " + num(limit, 2) +
                          " mV" + (ne.empty() ? "" : " (" + ne + ")"));
            }
            r.add("в двух смежных отведениях", "in two contiguous leads");
            say("STE", r);
        }
        if (!depressed.empty()) {
            Reason r;
            for (int l : depressed) {
                const std::string name = kStandardLeadNames[static_cast<std::size_t>(l)];
                r.add("ST " + name + " " + num(*lead(l).stJMv, 2) + "/" + num(*lead(l).st80Mv, 2) +
                          " мВ (J/J+80)",
                      "ST " + name + " " + num(*lead(l).stJMv, 2) + "/" + num(*lead(l).st80Mv, 2) +
                          " mV (J/J+80)");
            }
            r.add("горизонтальная или косонисходящая депрессия ≥ " + num(c::kStdMv, 2) +
                      " мВ в двух смежных отведениях",
                  "horizontal or downsloping depression ≥ " + num(c::kStdMv, 2) +
                      " mV in two contiguous leads");
            say("STD", r);
        }
    }

    // ---- Repolarisation ----
    void repolarisation() {
        if (!secondaryRepolarisation()) {
            const bool rbbb = has("CRBBB") || has("IRBBB");
            // T inversion in leads with a dominant R (V1, where a negative T is normal, and aVR
            // take no part).
            auto inverted = [&](int l) {
                if (l == V1 || l == aVR || (rbbb && (l == V2 || l == V3)))
                    return false;
                const auto& a = lead(l);
                return a.tMv && *a.tMv <= -c::kTInversionMv && dominantR(l);
            };
            std::vector<int> leads;
            for (const auto& [a, b] : kContiguous)
                if (inverted(a) && inverted(b))
                    for (int l : {a, b})
                        if (std::find(leads.begin(), leads.end(), l) == leads.end())
                            leads.push_back(l);
            std::sort(leads.begin(), leads.end());
            if (!leads.empty()) {
                Reason r;
                for (int l : leads) {
                    const std::string name = kStandardLeadNames[static_cast<std::size_t>(l)];
                    r.add("T " + name + " " + num(*lead(l).tMv, 2) + " мВ",
                          "T " + name + " " + num(*lead(l).tMv, 2) + " mV");
                }
                r.add("инверсия глубже " + num(c::kTInversionMv, 2) +
                          " мВ при R > S, в двух смежных отведениях",
                      "inverted beyond " + num(c::kTInversionMv, 2) +
                          " mV with R > S, in two contiguous leads");
                say("NT", r);
            }
        }
        // QTc by Fridericia; a wide QRS lengthens the QT by itself, so nothing is said then.
        if (m_.qtcFridericiaMs && m_.qrsMs && *m_.qrsMs < c::kCompleteBlockQrsMs) {
            const double qtc = *m_.qtcFridericiaMs;
            const double limit = p_.sex == Sex::Male ? c::kLongQtcMenMs : c::kLongQtcWomenMs;
            const std::string ru = p_.sex == Sex::Male     ? " (мужчины)"
                                   : p_.sex == Sex::Female ? " (женщины)"
                                                           : " (пол не указан: порог для женщин)";
            const std::string en = p_.sex == Sex::Male ? " (men)"
                                   : p_.sex == Sex::Female
                                       ? " (women)"
                                       : " (sex unknown: the women's threshold)";
            if (qtc >= limit) {
                Reason r;
                r.add("QTc (Фридеричиа) " + num(qtc, 0) + " мс ≥ " + num(limit, 0) + " мс" + ru,
                      "QTc (Fridericia) " + num(qtc, 0) + " ms ≥ " + num(limit, 0) + " ms" + en);
                say("LNGQT", r);
            } else if (qtc <= c::kShortQtcMs && independentLeadsMeasured() >= c::kShortQtMinLeads) {
                say("SQT", Reason{}.add("QTc (Фридеричиа) " + num(qtc, 0) + " мс ≤ " +
                                            num(c::kShortQtcMs, 0) + " мс",
                                        "QTc (Fridericia) " + num(qtc, 0) + " ms ≤ " +
                                            num(c::kShortQtcMs, 0) + " ms"));
            }
        }
    }

    // ---- Low voltage ----
    std::optional<double> peakToPeak(int l) const {
        const auto& a = lead(l);
        if (!a.rMv || !a.sMv || !a.qMv)
            return std::nullopt;
        return *tallestR(l) + std::max(*a.sMv, *a.qMv);
    }
    void voltage() {
        auto allBelow = [&](int from, int to, double limit, double& highest) {
            highest = 0;
            for (int l = from; l <= to; ++l) {
                const auto v = peakToPeak(l);
                if (!v || *v >= limit)
                    return false;
                highest = std::max(highest, *v);
            }
            return true;
        };
        double limbHigh = 0, chestHigh = 0;
        const bool limb = allBelow(I, aVF, c::kLowVoltageLimbMv, limbHigh);
        const bool chest = allBelow(V1, V6, c::kLowVoltageChestMv, chestHigh);
        Reason r;
        if (limb)
            r.add("размах QRS во всех отведениях от конечностей ≤ " + num(limbHigh, 2) + " мВ < " +
                      num(c::kLowVoltageLimbMv, 2) + " мВ",
                  "QRS peak to peak in every limb lead ≤ " + num(limbHigh, 2) + " mV < " +
                      num(c::kLowVoltageLimbMv, 2) + " mV");
        if (chest)
            r.add("во всех грудных отведениях ≤ " + num(chestHigh, 2) + " мВ < " +
                      num(c::kLowVoltageChestMv, 2) + " мВ",
                  "in every chest lead ≤ " + num(chestHigh, 2) + " mV < " +
                      num(c::kLowVoltageChestMv, 2) + " mV");
        if (limb || chest)
            say("LVOLT", r);
    }

    // ---- Normal ECG: a sinus rhythm, nothing else, and everything it rests on measured ----
    void normal() {
        for (const Statement& s : out_)
            if (s.code != "SR" && s.code != "SBRAD" && s.code != "SARRH")
                return;
        if (!(has("SR") || has("SBRAD")) || !m_.prMs || !m_.qrsMs || !m_.qtcFridericiaMs ||
            !m_.qrsAxisDeg || m_.beatsInMedian < 3)
            return;
        for (const auto& a : m_.leads)
            if (!a.qMs || !a.qMv || !a.rMv || !a.sMv || !a.r2Mv || !a.stJMv || !a.st80Mv || !a.tMv)
                return;
        Reason r;
        r.add("синусовый ритм, PR " + num(*m_.prMs, 0) + " мс, QRS " + num(*m_.qrsMs, 0) +
                  " мс, QTc " + num(*m_.qtcFridericiaMs, 0) + " мс, ось QRS " +
                  num(*m_.qrsAxisDeg, 0) + "°",
              "sinus rhythm, PR " + num(*m_.prMs, 0) + " ms, QRS " + num(*m_.qrsMs, 0) +
                  " ms, QTc " + num(*m_.qtcFridericiaMs, 0) + " ms, QRS axis " +
                  num(*m_.qrsAxisDeg, 0) + "°");
        r.add("ни один критерий отклонения не выполнен", "no criterion of an abnormality met");
        say("NORM", r);
    }

    const measure::Measurements& m_;
    const Features& f_;
    const Patient& p_;
    std::vector<Statement> out_;
    bool atrialFibrillation_ = false, sinus_ = false;
};

void round(std::optional<double>& v, double step) {
    if (v)
        v = std::round(*v / step) * step;
}

// The values as the reasons print them, so a threshold is met exactly when the printed value
// meets it (a rate of 59.7 is "60", and no sinus bradycardia).
measure::Measurements rounded(measure::Measurements m) {
    for (auto* v : {&m.heartRateBpm, &m.rrMs, &m.pMs, &m.prMs, &m.qrsMs, &m.qtMs, &m.qtcBazettMs,
                    &m.qtcFridericiaMs, &m.pAxisDeg, &m.qrsAxisDeg, &m.tAxisDeg})
        round(*v, 1.0);
    for (auto& a : m.leads) {
        round(a.qMs, 1.0);
        round(a.qrsArea, 1.0);
        for (auto* v : {&a.qMv, &a.rMv, &a.sMv, &a.r2Mv, &a.stJMv, &a.st60Mv, &a.st80Mv, &a.tMv,
                        &a.tPosMv, &a.tNegMv})
            round(*v, 0.01);
    }
    return m;
}
Features rounded(Features f) {
    round(f.dominantRmssdRatio, 0.01);
    round(f.sinusRangeMs, 1.0);
    round(f.pShare, 0.01);
    round(f.atrialCoherence, 0.01);
    round(f.atrialWavePeriodMs, 1.0);
    round(f.atrialWaveRepeat, 0.01);
    round(f.atrialWaveRepeatTwice, 0.01);
    round(f.atrialWaveRepeatInferior, 0.01);
    round(f.atrialWaveMv, 0.001);
    round(f.pTerminalForceV1, 0.1);
    round(f.pLeadIIMv, 0.01);
    for (auto* lead : {&f.rPeakTimeMs, &f.rDurationMs, &f.sDurationMs})
        for (auto& v : *lead)
            round(v, 1.0);
    return f;
}

} // namespace

std::vector<Statement> interpret(const measure::Measurements& m, const Features& f,
                                 const Patient& patient) {
    const measure::Measurements mr = rounded(m);
    const Features fr = rounded(f);
    return Engine(mr, fr, patient).run();
}

Interpretation interpretSpan(const signal::SampleRecord* records, std::size_t count,
                             std::size_t from, std::size_t length, const measure::LeadSet* present,
                             const Patient& patient, measure::MedianBeat* median) {
    Interpretation out;
    measure::MedianBeat own;
    measure::MedianBeat& beat = median ? *median : own;
    out.measurements = measure::measureSpan(records, count, from, length, present, &beat);
    out.features = features(records, count, out.measurements, beat);
    out.statements = interpret(out.measurements, out.features, patient);
    // Where fibrillation or flutter is suspected the wave before the QRS is no sinus P, and a
    // wave found before at most half of the beats is none of the rhythm's: its duration, PR and
    // axis are not given.
    if (std::any_of(out.statements.begin(), out.statements.end(),
                    [](const Statement& s) { return s.code == "AFIB" || s.code == "AFLT"; }) ||
        !pBeforeMostBeats(out.features)) {
        out.measurements.pMs.reset();
        out.measurements.prMs.reset();
        out.measurements.pAxisDeg.reset();
    }
    return out;
}

Interpretation interpretRecording(std::span<const std::uint8_t> bytes, std::int64_t first,
                                  std::int64_t count, const Patient& patient,
                                  const measure::LeadSet* present, measure::MedianBeat* median) {
    first = std::max<std::int64_t>(first, 0);
    count = std::max<std::int64_t>(count, 0);
    const std::int64_t from = std::max<std::int64_t>(0, first - signal::kRecordsPerSecond);
    const auto records =
        measure::recordsOf(bytes, from, first - from + count + signal::kRecordsPerSecond);
    const auto offset = static_cast<std::size_t>(first - from);
    if (offset >= records.size())
        return {};
    Interpretation out = interpretSpan(records.data(), records.size(), offset,
                                       static_cast<std::size_t>(count), present, patient, median);
    for (std::int64_t& b : out.measurements.beats)
        b += from;
    return out;
}

std::string statementText(const std::string& code, Language language) {
    const Entry* e = entryOf(code);
    if (!e)
        return "";
    return language == Language::Russian ? e->ru : e->en;
}

std::vector<std::string> statementCodes() {
    std::vector<std::string> out;
    for (const Entry& e : kTable)
        out.push_back(e.code);
    return out;
}

} // namespace velkard::interpret
