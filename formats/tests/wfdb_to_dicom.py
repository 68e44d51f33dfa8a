#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a WFDB record (format 16) as a DICOM 12-Lead ECG with pydicom, independently of the
# program's own code: channel sources by MDC code, sensitivity 1000 / gain µV (or mV with
# --millivolts), baseline -ADC baseline, correction factor 1. --median adds a second multiplex
# group "MEDIAN" of one beat with more channels, which a reader must not take for the rhythm.
# Usage: wfdb_to_dicom.py RECORD.hea OUT.dcm [--median] [--millivolts] [--implicit] [--seconds N]
import struct
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
        sigs.append((f[0], float(gain), base, f[-1]))
    dat = open(hea.rsplit("/", 1)[0] + "/" + sigs[0][0], "rb").read()
    frames = len(dat) // (2 * ns)
    n = min(n, frames) if n else frames
    values = struct.unpack("<%dh" % (n * ns), dat[:n * ns * 2])
    return fs, sigs, n, values


def group(fs, sigs, n, values, ns, label, millivolts):
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
        c.ChannelSensitivity = ("%.10g" % sens)[:16]
        c.ChannelSensitivityCorrectionFactor = "1"
        c.ChannelBaseline = str(-base)
        c.ChannelSampleSkew = "0"
        c.WaveformBitsStored = 16
        chans.append(c)
    g.ChannelDefinitionSequence = Sequence(chans)
    g.WaveformBitsAllocated = 16
    g.WaveformSampleInterpretation = "SS"
    g.WaveformData = struct.pack("<%dh" % len(values), *values)
    return g


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    seconds = None
    if "--seconds" in sys.argv:
        seconds = float(sys.argv[sys.argv.index("--seconds") + 1])
        args = [a for a in args if a != sys.argv[sys.argv.index("--seconds") + 1]]
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
    groups = [group(fs, sigs, n, values, ns, "RHYTHM", millivolts)]
    if "--median" in sys.argv:
        beat = int(fs)  # one second of every channel, twice over: more channels than the rhythm
        med = list(values[:beat * ns])
        doubled = []
        for t in range(beat):
            frame = med[t * ns:(t + 1) * ns]
            doubled += frame + frame
        groups.insert(0, group(fs, sigs + sigs, beat, doubled, 2 * ns, "MEDIAN", millivolts))
    ds.WaveformSequence = Sequence(groups)
    ds.is_little_endian = True
    ds.is_implicit_VR = implicit
    ds.save_as(out, write_like_original=False)


if __name__ == "__main__":
    main()
