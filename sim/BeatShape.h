// SPDX-License-Identifier: GPL-3.0-or-later
// A twelve-lead beat with chosen rate, intervals, axes and amplitudes, premature beats and noise,
// so tests and demos have recordings whose true measurements are known.
//
// Every wave has a sharp start and end, so its true boundaries are defined exactly:
// - P: a half-sine of the chosen duration, starting PR before the QRS onset;
// - QRS: three consecutive half-sine lobes, Q (first 20 % of the duration but at most 20 ms,
//   negative), R (up to 70 %) and S (the last 30 %, negative), starting at the QRS onset (time 0
//   of the beat);
// - T: a rising half raised-cosine from 30 % of the ST-T span to its peak at 78 %, then a falling
//   quarter cosine that reaches the baseline exactly at QT.
// The frontal leads are projections of one frontal vector per wave (P, QRS, T) on the lead
// directions (I 0°, II 60°, III 120°, aVF 90°, aVL -30°, aVR -150°), so the frontal axis of each
// wave, taken from its net area in I and aVF, is the chosen angle. The chest leads take their own
// Q, R, S, P and T amplitudes.
#pragma once

#include "signal/Status.h"

#include <array>
#include <string>

namespace velkard::sim {

struct BeatParameters {
    double heartRate = 72.0; // beats per minute of the dominant rhythm
    double pMs = 100.0;      // P duration
    double prMs = 160.0;     // P onset to QRS onset
    double qrsMs = 90.0;     // QRS onset to QRS end
    double qtMs = 400.0;     // QRS onset to T end
    double pAxis = 60.0;     // frontal axes, degrees
    double qrsAxis = 60.0;
    double tAxis = 40.0;
    double pMv = 0.15; // size of the frontal P vector
    double qMv = 0.10; // frontal QRS vector: Q depth, R height, S depth along the axis
    double rMv = 1.30;
    double sMv = 0.30;
    double tMv = 0.35;
    // Chest leads V1..V6.
    std::array<double, 6> chestP{0.08, 0.08, 0.09, 0.10, 0.10, 0.10};
    // Q depth; a negative value is an initial (septal) r of that height instead.
    std::array<double, 6> chestQ{-0.10, -0.08, 0.00, 0.05, 0.08, 0.08};
    std::array<double, 6> chestR{0.25, 0.50, 0.80, 1.30, 1.20, 0.90};
    std::array<double, 6> chestS{1.00, 1.30, 0.80, 0.40, 0.20, 0.10};
    std::array<double, 6> chestT{-0.10, 0.40, 0.45, 0.45, 0.35, 0.25};
    double irregularity = 0.02;        // each RR varies uniformly by up to this fraction
    double ventricularPremature = 0.0; // share of beats replaced by premature ventricular beats
    double supraventricularPremature = 0.0; // share of early beats of normal shape
    double coupling = 0.6;                  // premature beat after this fraction of the RR interval
};

struct NoiseParameters {
    double mainsHz = 0.0;  // 50 or 60; 0 for none
    double mainsMv = 0.2;  // amplitude of the mains interference
    double wanderMv = 0.0; // amplitude of the baseline wander (breathing, about 0.3 Hz)
    double whiteMv = 0.0;  // standard deviation of white noise on every lead
    // When the left or the right arm's electrode comes off (seconds from the start; negative:
    // never): from then on the channels measured against it stand at the amplifier's limit
    // (the left arm: III's, the right arm: II's).
    double leftArmOffS = -1.0, rightArmOffS = -1.0;
};

// Parses "hr=72,pr=160,qrs=90,qt=400,axis=60" and the other keys (p, paxis, taxis, pmv, q, r, s,
// tmv, rV1..rV6, sV1..sV6, qV1..qV6, tV1..tV6, irregular, pvc, pac, coupling) into params,
// starting from its current values. Fails with InvalidArgument and a message on an unknown key
// or a value out of range (a P longer than PR, a QT not longer than the QRS...); params is then
// unchanged.
Status parseBeatParameters(const std::string& text, BeatParameters& params);
// Parses "mains=50,mains-mv=0.2,wander=0.5,white=0.03,off-la=20,off-ra=40".
Status parseNoiseParameters(const std::string& text, NoiseParameters& params);

// Waves of one lead of one beat, amplitudes in mV.
struct LeadWaves {
    double p = 0, q = 0, r = 0, s = 0, t = 0;
};

// The eight leads the generator models: I, II, V1..V6.
using EightLeadWaves = std::array<LeadWaves, 8>;

// The shape of a beat: its timing (seconds, from the QRS onset) and the wave amplitudes per lead.
struct BeatShape {
    bool hasP = true;
    double pOnset = -0.16, pDuration = 0.10;
    double qrsDuration = 0.09;
    double qt = 0.40;
    EightLeadWaves leads{};

    // Value in mV of modelled lead `lead` (0 = I, 1 = II, 2.. = V1..) at t seconds from the QRS
    // onset.
    double value(int lead, double t) const;
    // Earliest and latest time at which the beat is not zero.
    double start() const { return hasP ? pOnset : 0.0; }
    double end() const { return qt; }
};

// The normal beat of these parameters, and the premature ventricular beat that goes with it
// (no P, a QRS of 140 ms pointing away from the normal axis, a T opposite to its QRS).
BeatShape normalBeat(const BeatParameters& params);
BeatShape ventricularBeat(const BeatParameters& params);

} // namespace velkard::sim
