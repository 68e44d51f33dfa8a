#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a WFDB record (format 16) as a DICOM 12-Lead ECG with pydicom, independently of the
# program's own code: channel sources by MDC code, sensitivity 1000 / gain µV (or mV with
# --millivolts), baseline -ADC baseline, correction factor 1. --median adds a second multiplex
# group "MEDIAN" of one beat with more channels, which a reader must not take for the rhythm.
# --law mu|a writes 8-bit G.711 mu-law ("MB") or A-law ("AB") samples of four times the value
# (sensitivity and baseline scaled to match), encoded by Python's audioop, and --truth FILE the
# microvolts those samples stand for as audioop decodes them (float64, frame by frame).
# Usage: wfdb_to_dicom.py RECORD.hea OUT.dcm [--median] [--millivolts] [--implicit] [--seconds N]
#        [--law mu|a --truth FILE] [--annotations] [--adc-per-mv N]
# --adc-per-mv N takes N units per mV for every signal instead of the header's gains (LUDB's
# headers give each lead's range there; its samples are stored at 1000 units per mV).
# --annotations adds a Waveform Annotation Sequence: a text without reference, a QRS duration of
# 96 ms at sample 401 of the rhythm group, a text at 2.5 s, and a text at sample 11 of the
# median group (when there is one).
import struct
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import audioop
import sys

import pydicom
from pydicom.dataset import Dataset, FileDataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian, generate_uid

MDC = {"i": "2:1", "ii": "2:2", "iii": "2:61", "avr": "2:62", "avl": "2:63", "avf": "2:64",
       "v1": "2:3", "v2": "2:4", "v3": "2:5", "v4": "2:6", "v5": "2:7", "v6": "2:8"}


def read_record(hea):
    lines = [l for l in open(hea).read().splitlines() if l and not l.startswith("#")]
    name, ns, fs, n = lines[0].split()[:4]
    ns, fs, n = int(ns), float(fs), int(n)
    sigs = []
    for l in lines[1:1 + ns]:
        f = l.split()
        gain_part = f[2].split("/")[0]
        if "(" in gain_part:
            gain, base = gain_part.split("(")
            base = int(base.rstrip(")"))
        else:
            gain, base = gain_part, 0
        if option("--adc-per-mv"):
            gain = option("--adc-per-mv")
        sigs.append((f[0], float(gain), base, f[-1]))
    dat = open(hea.rsplit("/", 1)[0] + "/" + sigs[0][0], "rb").read()
    frames = len(dat) // (2 * ns)
    n = min(n, frames) if n else frames
    values = struct.unpack("<%dh" % (n * ns), dat[:n * ns * 2])
    return fs, sigs, n, values


def option(name):
    return sys.argv[sys.argv.index(name) + 1] if name in sys.argv else None


def companded(values, law):
    # Four times the value, clipped to 16 bits, through G.711; and what it decodes back to.
    scaled = struct.pack("<%dh" % len(values), *[max(-32768, min(32767, 4 * v)) for v in values])
    coded = audioop.lin2ulaw(scaled, 2) if law == "mu" else audioop.lin2alaw(scaled, 2)
    linear = audioop.ulaw2lin(coded, 2) if law == "mu" else audioop.alaw2lin(coded, 2)
    return coded, struct.unpack("<%dh" % len(values), linear)


def group(fs, sigs, n, values, ns, label, millivolts, law=None):
    g = Dataset()
    g.WaveformOriginality = "ORIGINAL"
    g.NumberOfWaveformChannels = len(sigs)
    g.NumberOfWaveformSamples = n
    g.SamplingFrequency = "%g" % fs
    g.MultiplexGroupLabel = label
    chans = []
    for k, (_, gain, base, desc) in enumerate(sigs):
        c = Dataset()
        src = Dataset()
        src.CodeValue = MDC.get(desc.lower(), "2:0")
        src.CodingSchemeDesignator = "MDC"
        src.CodeMeaning = "Lead " + desc
        c.ChannelSourceSequence = Sequence([src])
        unit = Dataset()
        unit.CodeValue = "mV" if millivolts else "uV"
        unit.CodingSchemeDesignator = "UCUM"
        unit.CodeMeaning = "millivolt" if millivolts else "microvolt"
        c.ChannelSensitivityUnitsSequence = Sequence([unit])
        sens = 1.0 / gain if millivolts else 1000.0 / gain
        factor = 4 if law else 1
        c.ChannelSensitivity = ("%.10g" % (sens / factor))[:16]
        c.ChannelSensitivityCorrectionFactor = "1"
        c.ChannelBaseline = str(-base * factor)
        c.ChannelSampleSkew = "0"
        c.WaveformBitsStored = 8 if law else 16
        chans.append(c)
    g.ChannelDefinitionSequence = Sequence(chans)
    if law:
        g.WaveformBitsAllocated = 8
        g.WaveformSampleInterpretation = "MB" if law == "mu" else "AB"
        g["WaveformData"] = pydicom.DataElement(0x54001010, "OB", companded(values, law)[0])
    else:
        g.WaveformBitsAllocated = 16
        g.WaveformSampleInterpretation = "SS"
        g.WaveformData = struct.pack("<%dh" % len(values), *values)
    return g


def main():
    valued = {option(o) for o in ("--seconds", "--law", "--truth", "--adc-per-mv")}
    args = [a for a in sys.argv[1:] if not a.startswith("--") and a not in valued]
    seconds = float(option("--seconds")) if option("--seconds") else None
    law, truth = option("--law"), option("--truth")
    hea, out = args[0], args[1]
    millivolts = "--millivolts" in sys.argv
    fs, sigs, n, values = read_record(hea)
    ns = len(sigs)
    if seconds:
        n = min(n, int(seconds * fs))
        values = values[:n * ns]
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.9.1.1"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    implicit = "--implicit" in sys.argv
    meta.TransferSyntaxUID = ImplicitVRLittleEndian if implicit else ExplicitVRLittleEndian
    ds = FileDataset(out, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.SpecificCharacterSet = "ISO_IR 192"
    ds.PatientName = "Testova^Anna^Petrovna"
    ds.PatientID = "LUDB-1"
    ds.PatientBirthDate = "19700315"
    ds.PatientSex = "F"
    ds.Modality = "ECG"
    ds.Manufacturer = "pydicom test"
    ds.AcquisitionDateTime = "20200102030405"
    groups = [group(fs, sigs, n, values, ns, "RHYTHM", millivolts, law)]
    if law and truth:
        linear = companded(values, law)[1]
        micro = []
        for i, d in enumerate(linear):
            _, gain, base, _ = sigs[i % ns]
            sens = 1.0 / gain * 1000.0 if millivolts else 1000.0 / gain
            micro.append((d - 4 * base) * sens / 4)
        open(truth, "wb").write(struct.pack("<%dd" % len(micro), *micro))
    if "--median" in sys.argv:
        beat = int(fs)  # one second of every channel, twice over: more channels than the rhythm
        med = list(values[:beat * ns])
        doubled = []
        for t in range(beat):
            frame = med[t * ns:(t + 1) * ns]
            doubled += frame + frame
        groups.insert(0, group(fs, sigs + sigs, beat, doubled, 2 * ns, "MEDIAN", millivolts))
    ds.WaveformSequence = Sequence(groups)
    if "--annotations" in sys.argv:
        rhythm = len(groups)  # the rhythm group is the last
        items = []
        a = Dataset()
        a.UnformattedTextValue = "Sinus rhythm"
        items.append(a)
        a = Dataset()
        code = Dataset()
        code.CodeValue, code.CodingSchemeDesignator, code.CodeMeaning = "8633-2", "LN", "QRS Duration"
        a.ConceptNameCodeSequence = Sequence([code])
        a.NumericValue = "96"
        unit = Dataset()
        unit.CodeValue, unit.CodingSchemeDesignator, unit.CodeMeaning = "ms", "UCUM", "millisecond"
        a.MeasurementUnitsCodeSequence = Sequence([unit])
        a.ReferencedWaveformChannels = [rhythm, 0]
        a.TemporalRangeType = "POINT"
        a.ReferencedSamplePositions = [401]
        items.append(a)
        a = Dataset()
        a.UnformattedTextValue = "Marker at 2.5 s"
        a.TemporalRangeType = "POINT"
        a.ReferencedTimeOffsets = [2.5]
        items.append(a)
        if rhythm > 1:
            a = Dataset()
            a.UnformattedTextValue = "Median beat mark"
            a.ReferencedWaveformChannels = [1, 0]
            a.TemporalRangeType = "POINT"
            a.ReferencedSamplePositions = [11]
            items.append(a)
        ds.WaveformAnnotationSequence = Sequence(items)
    ds.is_little_endian = True
    ds.is_implicit_VR = implicit
    ds.save_as(out, write_like_original=False)


if __name__ == "__main__":
    main()
