// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/BeatShape.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>

namespace velkard::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees) {
    return degrees * kPi / 180.0;
}

// Projection of a frontal vector of this size and direction on lead I (0°) and lead II (60°).
std::array<double, 2> frontal(double size, double axisDegrees) {
    return {size * std::cos(radians(axisDegrees)), size * std::cos(radians(axisDegrees - 60.0))};
}

double halfSine(double t, double start, double duration) {
    if (t < start || t > start + duration || duration <= 0)
        return 0.0;
    return std::sin(kPi * (t - start) / duration);
}

bool parseValue(const std::string& text, double& value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size() && std::isfinite(value);
    } catch (...) {
        return false;
    }
}

// Applies "key=value,..." through the setters; each setter checks its value's range.
Status parseList(const std::string& text,
                 const std::map<std::string, std::function<bool(double)>>& setters,
                 const std::string& keys) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty())
            continue;
        const auto eq = item.find('=');
        double value = 0;
        const auto setter =
            eq == std::string::npos ? setters.end() : setters.find(item.substr(0, eq));
        if (setter == setters.end())
            return Status::failure(ErrorCode::InvalidArgument,
                                   "unknown setting '" + item + "' (" + keys + ")");
        if (!parseValue(item.substr(eq + 1), value) || !setter->second(value))
            return Status::failure(ErrorCode::InvalidArgument,
                                   "value out of range in '" + item + "'");
    }
    return Status::success();
}

std::function<bool(double)> setter(double& field, double lo, double hi) {
    return [&field, lo, hi](double v) {
        if (v < lo || v > hi)
            return false;
        field = v;
        return true;
    };
}

} // namespace

Status parseBeatParameters(const std::string& text, BeatParameters& params) {
    BeatParameters p = params;
    std::map<std::string, std::function<bool(double)>> setters{
        {"hr", setter(p.heartRate, 20, 250)},
        {"p", setter(p.pMs, 20, 250)},
        {"pr", setter(p.prMs, 40, 500)},
        {"qrs", setter(p.qrsMs, 30, 250)},
        {"qt", setter(p.qtMs, 150, 800)},
        {"axis", setter(p.qrsAxis, -180, 360)},
        {"paxis", setter(p.pAxis, -180, 360)},
        {"taxis", setter(p.tAxis, -180, 360)},
        {"pmv", setter(p.pMv, 0, 2)},
        {"q", setter(p.qMv, 0, 5)},
        {"r", setter(p.rMv, 0, 8)},
        {"s", setter(p.sMv, 0, 8)},
        {"tmv", setter(p.tMv, -3, 3)},
        {"irregular", setter(p.irregularity, 0, 0.5)},
        {"pvc", setter(p.ventricularPremature, 0, 0.4)},
        {"pac", setter(p.supraventricularPremature, 0, 0.4)},
        {"coupling", setter(p.coupling, 0.4, 0.9)},
    };
    for (int k = 0; k < 6; ++k) {
        // Appended, not "V" + ...: GCC 12 warns falsely (-Wrestrict) on that form in Release.
        std::string v = "V";
        v += std::to_string(k + 1);
        const auto i = static_cast<std::size_t>(k);
        setters.emplace("p" + v, setter(p.chestP[i], -2, 2));
        setters.emplace("q" + v, setter(p.chestQ[i], -2, 5));
        setters.emplace("r" + v, setter(p.chestR[i], 0, 8));
        setters.emplace("s" + v, setter(p.chestS[i], 0, 8));
        setters.emplace("t" + v, setter(p.chestT[i], -3, 3));
    }
    if (Status parsed = parseList(text, setters,
                                  "hr, p, pr, qrs, qt, axis, paxis, taxis, pmv, q, r, s, tmv, "
                                  "pV1..tV6, irregular, pvc, pac, coupling");
        !parsed)
        return parsed;
    if (p.pMs > p.prMs - 10)
        return Status::failure(ErrorCode::InvalidArgument,
                               "the P wave must end at least 10 ms before the QRS (p < pr - 10)");
    if (p.qtMs < p.qrsMs + 80)
        return Status::failure(ErrorCode::InvalidArgument,
                               "QT must be at least 80 ms longer than the QRS");
    params = p;
    return Status::success();
}

Status parseNoiseParameters(const std::string& text, NoiseParameters& params) {
    NoiseParameters n = params;
    std::map<std::string, std::function<bool(double)>> setters{
        {"mains",
         [&n](double v) {
             if (v != 0 && v != 50 && v != 60)
                 return false;
             n.mainsHz = v;
             return true;
         }},
        {"mains-mv", setter(n.mainsMv, 0, 5)},
        {"wander", setter(n.wanderMv, 0, 5)},
        {"white", setter(n.whiteMv, 0, 2)},
        {"off-la", setter(n.leftArmOffS, 0, 1e6)},
        {"off-ra", setter(n.rightArmOffS, 0, 1e6)},
    };
    if (Status parsed =
            parseList(text, setters, "mains=50|60, mains-mv, wander, white, off-la, off-ra");
        !parsed)
        return parsed;
    params = n;
    return Status::success();
}

double BeatShape::value(int lead, double t) const {
    if (t < start() || t > qt)
        return 0.0;
    const LeadWaves& w = leads[static_cast<std::size_t>(lead)];
    double v = 0.0;
    if (hasP)
        v += w.p * halfSine(t, pOnset, pDuration);
    const double d = qrsDuration;
    // The septal Q lasts 20 % of the QRS, at most 20 ms: a wider QRS is wider in its later parts.
    const double q = std::min(0.2 * d, 0.02);
    v -= w.q * halfSine(t, 0.0, q);
    v += w.r * halfSine(t, q, 0.7 * d - q);
    v -= w.s * halfSine(t, 0.7 * d, 0.3 * d);
    const double span = qt - d;
    const double tOnset = d + 0.3 * span;
    const double tPeak = d + 0.78 * span;
    if (t >= tOnset && t < tPeak)
        v += w.t * 0.5 * (1.0 - std::cos(kPi * (t - tOnset) / (tPeak - tOnset)));
    else if (t >= tPeak && t <= qt)
        v += w.t * std::cos(0.5 * kPi * (t - tPeak) / (qt - tPeak));
    return v;
}

BeatShape normalBeat(const BeatParameters& params) {
    BeatShape b;
    b.hasP = params.pMv > 0 || params.chestP != std::array<double, 6>{};
    b.pOnset = -params.prMs / 1000.0;
    b.pDuration = params.pMs / 1000.0;
    b.qrsDuration = params.qrsMs / 1000.0;
    b.qt = params.qtMs / 1000.0;
    const auto p = frontal(params.pMv, params.pAxis);
    const auto q = frontal(params.qMv, params.qrsAxis);
    const auto r = frontal(params.rMv, params.qrsAxis);
    const auto s = frontal(params.sMv, params.qrsAxis);
    const auto t = frontal(params.tMv, params.tAxis);
    // A negative projection turns the lobes over: the frontal vector's Q, R and S point the
    // other way in that lead.
    for (std::size_t k = 0; k < 2; ++k)
        b.leads[k] = {p[k], q[k], r[k], s[k], t[k]};
    for (std::size_t k = 0; k < 6; ++k)
        b.leads[k + 2] = {params.chestP[k], params.chestQ[k], params.chestR[k], params.chestS[k],
                          params.chestT[k]};
    return b;
}

BeatShape ventricularBeat(const BeatParameters& params) {
    BeatShape b;
    b.hasP = false;
    b.qrsDuration = 0.14;
    b.qt = std::max(params.qtMs / 1000.0 + 0.04, b.qrsDuration + 0.2);
    const double axis = params.qrsAxis + 150.0;
    const auto r = frontal(1.4, axis);
    const auto s = frontal(0.2, axis);
    const auto t = frontal(0.4, axis + 180.0);
    for (std::size_t k = 0; k < 2; ++k)
        b.leads[k] = {0.0, 0.0, r[k], s[k], t[k]};
    for (std::size_t k = 0; k < 6; ++k) {
        // Chest leads turned over: tall R where the normal beat has its deep S, and a T opposite
        // to the main deflection.
        const double rv = params.chestS[k], sv = params.chestR[k];
        b.leads[k + 2] = {0.0, 0.0, rv, sv, rv > sv ? -0.35 : 0.35};
    }
    return b;
}

} // namespace velkard::sim
