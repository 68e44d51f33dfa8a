#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Judges what the guest of scripts/vm-link-test.sh left in its results folder.

usage: check-results.py RESULTS A.sent B.sent CARDFILE SECONDS SMALLFILE

A.sent and B.sent are the bytes each simulated instrument sent to its bridge; the recordings must
be an unbroken run of the records sent, sample for sample, and the downloads equal CARDFILE byte
for byte (the downloads after a replug SMALLFILE, a smaller file of the card). A.log and B.log
beside them are the instruments' logs: where in what they sent each was unplugged and plugged back in, and where it began to lose bytes its host did not take. Prints one
line per check and a summary; exits 1 when any check fails.
"""
import os
import re
import sys

results, sent_a, sent_b, card_file, seconds, small_file = sys.argv[1:7]
seconds = int(seconds)
RECORD, FRAME, STATUS = 16, 24, 6
BLOCK = 400 * RECORD
failures = []


def check(name, ok, detail=""):
    print(f"{'PASS' if ok else 'FAIL'} {name}{': ' + detail if detail else ''}")
    if not ok:
        failures.append(name)


def text(name, ext):
    try:
        with open(os.path.join(results, f"{name}.{ext}"), encoding="utf-8", errors="replace") as f:
            return f.read().strip()
    except FileNotFoundError:
        return None


def rc(name):
    t = text(name, "rc")
    return int(t) if t not in (None, "") else None


def took(name):
    t = text(name, "time")
    if not t:
        return None
    a, b = t.split()
    return float(b) - float(a)


def records_sent(path):
    """The sample records in the order the instrument sent them (frames F0 0F, 6 status bytes,
    16 record bytes; memory replies between streams are skipped), and the offset of each frame in
    what was sent."""
    data = open(path, "rb").read()
    out, offsets, i, n = [], [], 0, len(data)
    while i + FRAME <= n:
        if data[i] == 0xF0 and data[i + 1] == 0x0F:
            out.append(data[i + 2 + STATUS:i + FRAME])
            offsets.append(i)
            i += FRAME
        else:
            i = data.find(b"\xf0\x0f", i + 1)
            if i < 0:
                break
    return out, offsets


def instrument_log(sent_path):
    """(what, offset) in order from the instrument's log: unplugged, plugged in, losing bytes."""
    path = os.path.splitext(sent_path)[0] + ".log"
    events = []
    for line in open(path, encoding="utf-8", errors="replace") if os.path.exists(path) else []:
        m = re.match(r"velkard-instrument: (unplugged|plugged in|losing bytes) after (\d+) bytes sent", line)
        if m:
            events.append((m.group(1), int(m.group(2))))
    return events


def index_runs(records):
    where = {}
    for k, r in enumerate(records):
        where.setdefault(r, []).append(k)
    return where


sent, offsets = {}, {}
for key, path in (("A", sent_a), ("B", sent_b)):
    sent[key], offsets[key] = records_sent(path)
index = {k: index_runs(v) for k, v in sent.items()}
logs = {"A": instrument_log(sent_a), "B": instrument_log(sent_b)}


def match_recording(name, path, want_records, bridge_only=None, sent_after=None):
    """True when the file's records are one unbroken run of what bridge A or B sent (only
    bridge_only, when given), during which that instrument lost no byte its host did not take,
    and which was sent after offset sent_after of it, when given (nothing older came through)."""
    if not os.path.exists(path):
        check(name, False, "no recording came back")
        return
    data = open(path, "rb").read()
    recs = [data[i:i + RECORD] for i in range(0, len(data), RECORD)]
    if len(data) % BLOCK or len(recs) < want_records:
        check(name, False, f"{len(data)} bytes, {len(recs)} records; want {want_records} in whole blocks")
        return
    for bridge, src in sent.items():
        if bridge_only and bridge != bridge_only:
            continue
        for start in index[bridge].get(recs[0], []):
            if src[start:start + len(recs)] == recs:
                first, last = offsets[bridge][start], offsets[bridge][start + len(recs) - 1]
                losses = [o for what, o in logs[bridge] if what == "losing bytes" and first <= o <= last]
                stale = sent_after is not None and first < sent_after
                detail = (f"{len(recs)} records ({len(recs) / 800:.1f} s) equal to bridge {bridge}'s "
                          f"records {start}..{start + len(recs) - 1} (bytes {first}..{last + FRAME - 1} "
                          f"of what it sent)")
                if losses:
                    detail += f", but it lost bytes its host did not take after byte {losses[0]}"
                elif stale:
                    detail += f", but it was plugged back in after byte {sent_after}: older data came through"
                else:
                    detail += ", sample for sample" + (
                        f", all sent after it was plugged back in (byte {sent_after})" if sent_after is not None else "")
                check(name, not losses and not stale, detail)
                return
    # Say where the first difference is against the best start.
    best = (0, None, None)
    for bridge, src in sent.items():
        for start in index[bridge].get(recs[0], []):
            k = 0
            while k < len(recs) and start + k < len(src) and src[start + k] == recs[k]:
                k += 1
            best = max(best, (k, bridge, start), key=lambda t: t[0])
    check(name, False, f"{len(recs)} records; the longest equal run is {best[0]} records "
          f"(bridge {best[1]}, from record {best[2]})")


want = seconds * 800
match_recording("tty: recording equals what the instrument sent", os.path.join(results, "tty-rec.dat"), want)
match_recording("libftdi: recording equals what the instrument sent", os.path.join(results, "ftdi-rec.dat"), want)

big_card = open(card_file, "rb").read()
small_card = open(small_file, "rb").read()
for name, label, card in (("tty-get", "tty: download", big_card), ("ftdi-get", "libftdi: download", big_card),
                          ("replug-tty-get", "tty: download after plugging back in", small_card),
                          ("replug-tty-get2", "tty: download after an unplug during a download", small_card),
                          ("replug-ftdi-get", "libftdi: download after an unplug during a download", small_card)):
    path = os.path.join(results, f"{name}.bin")
    got = open(path, "rb").read() if os.path.exists(path) else None
    secs = took(name)
    rate = f", {len(card) / secs / 1024:.0f} KiB/s" if secs and got == card else ""
    check(f"{label} equals the card's file", rc(name) == 0 and got == card,
          f"{len(card)} bytes compared{rate}" if got == card else
          f"status {rc(name)}, {None if got is None else len(got)} bytes, {text(name, 'err')!r}")

for name, label in (("tty-record", "tty"), ("ftdi-record", "libftdi")):
    check(f"{label}: record ends well", rc(name) == 0 and text(name, "out") == str(seconds * 2),
          f"{took(name):.1f} s for {seconds} s" if took(name) else repr(text(name, "err")))

# Plug and play through the guest's sysfs: two bridges, each with ftdi_sio's tty.
disc = (text("discovery", "out") or "").splitlines()
bridges = [l.split() for l in disc if not l.startswith("link:")]
check("discovery: two FTDI bridges with their ttys",
      len(bridges) == 2 and all(b[1] == "0403:6001" and b[2].startswith("/dev/ttyUSB") for b in bridges)
      and len({b[2] for b in bridges}) == 2, repr(disc))
check("discovery: plug and play takes the first bridge's tty",
      len(bridges) == 2 and disc[-1] == f"link: {bridges[0][2]} (ftdi_sio)", repr(disc[-1:] if disc else disc))
hidden = (text("discovery-nosys", "out") or "").splitlines()
check("discovery: without a visible tty plug and play takes libftdi",
      len(hidden) == 3 and all(l.split()[2] == "-" for l in hidden[:2]) and hidden[2] == "link: USB FTDI (libftdi)",
      repr(hidden))

# Open failures, each with its own message (and status 1).
for name, label, words in (
        ("noperm-tty", "no permission (tty)", "Нет прав на доступ"),
        ("noperm-pnp", "no permission (plug and play, tty)", "Нет прав на доступ"),
        ("noperm-ftdi", "no permission (libftdi)", "Нет прав на доступ"),
        ("nodevice-tty", "no device (tty path)", "Прибор не подключён"),
        ("nodevice-usb", "no device (USB ids)", "Прибор не подключён"),
        ("busy-tty", "held by another process (tty)", "Устройство занято"),
        ("busy-ftdi", "held by another process (libftdi)", "Устройство занято")):
    err = text(name, "err") or ""
    check(f"open failure: {label}", rc(name) == 1 and words in err, repr(err))

# libftdi: the latency timer really set, ftdi_sio given the device back.
before = (text("latency-before", "txt") or "").split()
after = [l.split() for l in (text("latency-after", "txt") or "").splitlines()]
check("libftdi: latency timer read back from the chip is 2 ms (was 16)",
      before == ["16", "16"] and any(a[2] == "2" for a in after) and any(a[2] == "16" for a in after),
      f"before {before}, after {after}")
for name in ("ttys-after-ftdi", "ttys-after-ftdi-get", "ttys-end"):
    ttys = (text(name, "txt") or "").split()
    check(f"libftdi: ftdi_sio re-attached on close ({name})", ttys == ["/dev/ttyUSB0", "/dev/ttyUSB1"], repr(ttys))

# Unplugged during streaming and during a download.
for name, label, words in (
        ("unplug-tty-stream", "tty, streaming", "Прибор не включен!"),
        ("unplug-ftdi-stream", "libftdi, streaming", "Прибор не включен!"),
        # The link's error ends the download at once with the memory window's own message, not
        # after a 5 s silence as "Прибор не отвечает".
        ("unplug-tty-get", "tty, downloading", ("Связь с прибором потеряна",)),
        ("unplug-ftdi-get", "libftdi, downloading", ("Связь с прибором потеряна",))):
    err = text(name, "err") or ""
    hang = text(name, "hang") is not None
    secs = took(name)
    if isinstance(words, str):
        rec = os.path.join(results, f"{name}.dat")
        size = os.path.getsize(rec) if os.path.exists(rec) else -1
        ok = not hang and rc(name) == 1 and words in err and size > 0 and size % BLOCK == 0
        detail = f"status {rc(name)}, {size} bytes kept ({size // BLOCK} whole blocks), {err!r}"
    else:
        files = text(name, "files") or ""
        ok = not hang and rc(name) == 1 and any(w in err for w in words) and "BIG" not in files
        detail = f"status {rc(name)}, {err!r}, download folder: {files.splitlines()[3:] if files else None}"
    check(f"unplug: {label}: message, no hang, nothing partial", ok, detail + (f", ended {secs:.1f} s after start" if secs else ""))
# After plugging back in: the recording holds only what the instrument sent once its bridge was
# back, unbroken. The n-th plug of a bridge in the instrument's log is its n-th replug here.
plugs_seen = {"A": 0, "B": 0}
for name, label, stream in (("replug-tty-record", "tty", "unplug-tty-stream"),
                            ("replug-ftdi-record", "libftdi", "unplug-ftdi-stream")):
    check(f"plugged back in: {label} records again", rc(name) == 0 and text(name, "out") == "4",
          repr(text(name, "err")))
    bridge = (text(stream, "bridge") or "").replace("VELKARD-", "")
    plugged = [o for what, o in logs.get(bridge, []) if what == "plugged in"]
    if bridge not in plugs_seen or plugs_seen[bridge] >= len(plugged):
        check(f"plugged back in: {label}: the instrument saw its bridge plugged back in", False,
              f"bridge {bridge!r}, log {logs.get(bridge)}")
        continue
    after = plugged[plugs_seen[bridge]]
    plugs_seen[bridge] += 1
    match_recording(f"plugged back in: {label}: the recording is what was sent after the replug",
                    os.path.join(results, name.replace("-record", "-rec") + ".dat"), 2 * 800, bridge, after)

print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} of the checks failed")
sys.exit(1 if failures else 0)
