// SPDX-License-Identifier: GPL-3.0-or-later
// Every threshold the interpretation applies, in one table, each with where it comes from. The
// rules (Interpret.cpp) name these constants and nothing else; changing a criterion is changing
// one line here. Durations in ms, amplitudes in mV, axes in degrees, rates in beats per minute.
//
// Sources:
//  [AHA-II]  Mason JW, Hancock EW, Gettes LS. Recommendations for the standardization and
//            interpretation of the electrocardiogram, Part II: electrocardiography diagnostic
//            statement list. AHA/ACCF/HRS. Circulation 2007;115:1325-1332.
//  [AHA-III] Surawicz B, Childers R, Deal BJ, Gettes LS. Part III: intraventricular conduction
//            disturbances. AHA/ACCF/HRS. Circulation 2009;119:e235-e240.
//  [AHA-IV]  Rautaharju PM, Surawicz B, Gettes LS. Part IV: the ST segment, T and U waves, and
//            the QT interval. AHA/ACCF/HRS. Circulation 2009;119:e241-e250.
//  [AHA-V]   Hancock EW, Deal BJ, Mirvis DM et al. Part V: electrocardiogram changes associated
//            with cardiac chamber hypertrophy. AHA/ACCF/HRS. Circulation 2009;119:e251-e261.
//  [UDMI4]   Thygesen K, Alpert JS, Jaffe AS et al. Fourth Universal Definition of Myocardial
//            Infarction (2018). Circulation 2018;138:e618-e651; Eur Heart J 2019;40:237-269.
//  [SL]      Sokolow M, Lyon TP. The ventricular complex in left ventricular hypertrophy as
//            obtained by unipolar precordial and limb leads. Am Heart J 1949;37:161-186.
//  [SL-RV]   Sokolow M, Lyon TP. The ventricular complex in right ventricular hypertrophy as
//            obtained by unipolar precordial and limb leads. Am Heart J 1949;38:273-294.
//  [Cornell] Casale PN, Devereux RB, Kligfield P et al. Electrocardiographic detection of left
//            ventricular hypertrophy: development and prospective validation of improved
//            criteria. J Am Coll Cardiol 1985;6:572-580.
//  [Molloy]  Molloy TJ, Okin PM, Devereux RB, Kligfield P. Electrocardiographic detection of left
//            ventricular hypertrophy by the simple QRS voltage-duration product. J Am Coll
//            Cardiol 1992;20:1180-1186 (Cornell product).
//  [Peguero] Peguero JG, Lo Presti S, Perez J et al. Electrocardiographic criteria for the
//            diagnosis of left ventricular hypertrophy. J Am Coll Cardiol 2017;69:1694-1703.
//  [Chou]    Surawicz B, Knilans TK. Chou's Electrocardiography in Clinical Practice, 6th ed.
//            (sinus arrhythmia: P-P intervals differing by more than 0.16 s).
//  [Dash]    Dash S, Chon KH, Lu S, Raeder EA. Automatic real time detection of atrial
//            fibrillation. Ann Biomed Eng 2009;37:1701-1709 (normalised RMSSD of RR > 0.1).
//  [Morris]  Morris JJ, Estes EH, Whalen RE et al. P-wave analysis in valvular heart disease.
//            Circulation 1964;29:242-252 (P terminal force in V1).
//  [ESC]     Priori SG, Blomström-Lundqvist C et al. 2015 ESC Guidelines for the management of
//            patients with ventricular arrhythmias and the prevention of sudden cardiac death.
//            Eur Heart J 2015;36:2793-2867 (short QT syndrome: QTc <= 340 ms).
//  [own]     The program's own convention where no publication gives a number (how a wave is
//            told from noise, how a premature beat is told from sinus arrhythmia); kept
//            conservative, so a statement is rather missed than made on noise.
#pragma once

namespace velkard::interpret::criteria {

// ---- Rhythm ----
inline constexpr double kBradycardiaBpm = 60;     // sinus bradycardia below [AHA-II]
inline constexpr double kTachycardiaBpm = 100;    // sinus tachycardia above [AHA-II]
inline constexpr double kSinusPAxisLow = -30;     // sinus P: upright in I and II, i.e. its frontal
inline constexpr double kSinusPAxisHigh = 90;     //   axis within [-30, 90] [AHA-II]
inline constexpr double kSinusArrhythmiaMs = 160; // longest - shortest sinus RR above [Chou]
inline constexpr double kIrregularRmssd = 0.10;   // RMSSD / mean RR of the dominant beats [Dash]
inline constexpr int kMinimumIntervals = 6;       // RR intervals needed to judge regularity [own]
inline constexpr double kPBeatShare = 0.5; // P found before at most this share of beats: no P [own]
inline constexpr double kAtrialCoherence = 0.75; // atrial stretches before the beats at least
                                                 // this alike: a P repeats there, even one too
                                                 // small to measure, so no fibrillation [own]
inline constexpr double kPCorrelation = 0.5;     // a beat's P matches the median beat's P [own]
// Atrial flutter: atrial waves between the complexes that repeat at a period of 150-300 ms
// (200-400/min; flutter's atrial rate is typically 250-350/min [AHA-II]) and again at twice it,
// at least 2.2 times as often as the ventricles beat (variable or 3:1, 4:1 block; 2:1 block,
// where every other wave hides in the QRS and T, is not told from a sinus P), and large enough
// to be no noise. The repeat is the correlation of the waves with themselves a period later.
inline constexpr double kFlutterPeriodMinMs = 150; // [AHA-II]
inline constexpr double kFlutterPeriodMaxMs = 300; // [AHA-II]
inline constexpr double kFlutterRepeat = 0.75;     // [own]
inline constexpr double kFlutterRepeatTwice = 0.5; // [own]
inline constexpr double kFlutterRateRatio = 2.2;   // [own]
inline constexpr double kFlutterWaveMv = 0.025;    // RMS of the atrial waves at least [own]
// The waves stand alike before each complex (the atrial likeness above at least this): the
// ventricles follow them. A limb tremor of the same rate falls at any phase before the beats.
inline constexpr double kFlutterLocked = 0.4; // [own]
// The waves repeat in each of II, III and aVF (where present) at least this well: typical
// flutter's sawtooth stands in all inferior leads [AHA-II]. A tremor of one arm passes through
// that arm's electrode, and the limb lead between the other two electrodes (II for the left arm,
// III for the right) is free of it, while the sinus P waves make the stretches before the beats
// alike. Nor is flutter said where the sinus rhythm's own signs hold at a regular rate: a P of the
// sinus axis before more than kPBeatShare of the beats.
inline constexpr double kFlutterRepeatInferior = 0.5; // [own]
inline constexpr double kPrematureRatio = 0.85; // RR below 85 % of the median RR and of the RR
                                                // before it: a premature beat [own]
inline constexpr double kSameShape = 0.90; // QRS correlation with the median beat: same shape [own]
inline constexpr double kOtherShape = 0.80;    // below: a QRS of another (ventricular) shape [own]
inline constexpr double kPacingSpikeMv = 0.10; // a pacemaker spike jumps at least this far
                                               //   within 2.5 ms [own]
inline constexpr double kPacingSpikeSteepness = 3.0; //   and this many times further than any
                                                     //   jump within 60 ms around it [own]
inline constexpr int kPacingSpikeLeads = 2;          //   in this many independent leads [own]
inline constexpr int kPacingPulseLeads = 3;    // a spike drawn as a flat pulse: in this many [own]
inline constexpr double kPacedBeatShare = 0.5; // more beats with a spike: paced rhythm [own]
inline constexpr int kMinimumPacedBeats = 3;   //   and at least this many [own]
inline constexpr double kSpikeAtOnsetMs = 3;   // a spike nearer the QRS onset is at it [own]

// ---- Atrioventricular and intraventricular conduction ----
inline constexpr double kFirstDegreeAvBlockPrMs = 200; // PR above [AHA-II]
inline constexpr double kPreexcitationPrMs = 120;      // PR below, with [AHA-III]
inline constexpr double kPreexcitationQrsMs = 120;     //   QRS at least [AHA-III]
inline constexpr double kCompleteBlockQrsMs = 120;     // LBBB, RBBB: QRS at least [AHA-III]
inline constexpr double kIncompleteBlockQrsMs = 110;   // incomplete LBBB, RBBB: 110-119 [AHA-III]
inline constexpr double kIvcdQrsMs = 110;              // nonspecific IVCD: QRS above [AHA-III]
inline constexpr double kLbbbRPeakTimeMs = 60;         // R-peak time in V5, V6 above [AHA-III]
inline constexpr double kRbbbRPeakTimeV1Ms = 50;       // R-peak time in V1 above [AHA-III]
inline constexpr double kRbbbSDurationMs = 40;         // S in I and V6 longer than R or [AHA-III]
inline constexpr double kLafbAxisLow = -90;            // frontal QRS axis -45 to -90 [AHA-III]
inline constexpr double kLafbAxisHigh = -45;
inline constexpr double kLafbRPeakTimeAvlMs = 45; // R-peak time in aVL at least [AHA-III]
inline constexpr double kNoQMv = 0.05;  // a q shallower than this counts as absent [own: noise]
inline constexpr double kWaveMv = 0.05; // smallest r, R' or s that counts as a wave [own: noise]

// ---- Frontal QRS axis (adults) ----
inline constexpr double kLeftAxisDeg = -30; // left axis deviation: -30 to -90 [AHA-III]
inline constexpr double kRightAxisDeg = 90; // right axis deviation: +90 to +180 [AHA-III]

// ---- Hypertrophy ----
// QRS voltage is higher in the young; the voltage criteria hold for adults from 35 years
// [AHA-V], [Chou]. Below that no voltage statement is made.
inline constexpr int kVoltageCriteriaFromAgeYears = 35;
inline constexpr double kSokolowLyonMv = 3.5;      // SV1 + max(RV5, RV6) at least [SL]
inline constexpr double kSokolowLyonAvlMv = 1.1;   // RaVL at least [SL], [AHA-V]
inline constexpr double kCornellMenMv = 2.8;       // RaVL + SV3 above, men [Cornell]
inline constexpr double kCornellWomenMv = 2.0;     // women [Cornell]
inline constexpr double kCornellProductMvMs = 244; // (RaVL + SV3 [+0.8 mV women]) x QRS [Molloy]
inline constexpr double kCornellProductWomenMv = 0.8;
inline constexpr double kPegueroMenMv = 2.8; // deepest S in any lead + SV4 at least, men [Peguero]
inline constexpr double kPegueroWomenMv = 2.3; // women [Peguero]
inline constexpr double kRvhRV1Mv = 0.7;       // R in V1 at least [AHA-V]
inline constexpr double kRvhSokolowMv = 1.05;  // RV1 + max(SV5, SV6) at least [SL-RV]
inline constexpr double kRvhRsRatioV1 = 1.0;   // R/S in V1 above (with R >= 0.5 mV) [AHA-V]
inline constexpr double kRvhRsRatioV1RMv = 0.5;
inline constexpr double kLaePMs = 120;           // P duration at least: left atrial abnormality
                                                 // [AHA-V]
inline constexpr double kLaeTerminalForce = 4.0; // negative terminal P in V1, mV*ms, at least
                                                 // (0.04 mm*s) [Morris], [AHA-V]

// ---- Infarction: pathological Q waves in two leads of a contiguous group [UDMI4] ----
inline constexpr double kQV2V3Ms = 20; // V2, V3: any Q of at least this, or QS
inline constexpr double kQMs = 30;     // I, II, III, aVL, aVF, V4-V6: Q at least this long
inline constexpr double kQMv = 0.1;    //   and this deep, or QS

// ---- Acute injury: J-point ST elevation in two contiguous leads [UDMI4] ----
inline constexpr double kSteV2V3MenFrom40Mv = 0.20;  // V2-V3, men aged 40 or more
inline constexpr double kSteV2V3MenUnder40Mv = 0.25; // V2-V3, men under 40
inline constexpr double kSteV2V3WomenMv = 0.15;      // V2-V3, women
inline constexpr double kSteOtherMv = 0.10;          // every other lead
inline constexpr int kSteAgeYears = 40;
inline constexpr double kStdMv = 0.05; // horizontal or downsloping ST depression at least [UDMI4]
inline constexpr double kHorizontalMv = 0.025; // ST at J+80 ms at most this above ST at J still
                                               // counts as horizontal [own: median-beat noise]
inline constexpr double kTInversionMv = 0.10;  // T inversion deeper than this, in leads with a
                                               // prominent R or R/S > 1 [UDMI4]

// ---- QT [AHA-IV] ----
inline constexpr double kLongQtcMenMs = 450;   // QTc at least, men
inline constexpr double kLongQtcWomenMs = 460; // women
// Short QT: [AHA-IV] calls QTc <= 390 ms short, but the program's QT runs some 30 ms short of the
// cardiologists' on real ECGs (measure/README.md), so only the diagnostic limit of the short QT
// syndrome is used, and the statement says "consider" [ESC].
inline constexpr double kShortQtcMs = 340; // QTc at most
// A QT over fewer independent leads than this (two of I, II, III count as two, each chest lead as
// one) is a lower bound: where the T of a lone lead ends early, on a biphasic T or an isoelectric
// end, the QT falls short by as much as its T's last phase, so no short QT is said from it [AHA-IV:
// QT from the earliest onset to the latest end over simultaneous leads].
inline constexpr int kShortQtMinLeads = 2;

// ---- Low voltage [AHA-II] ----
inline constexpr double kLowVoltageLimbMv = 0.5;  // QRS peak to peak below, in every limb lead
inline constexpr double kLowVoltageChestMv = 1.0; // below, in every chest lead

} // namespace velkard::interpret::criteria
