# SPDX-License-Identifier: GPL-3.0-or-later
"""What the attack scripts (scripts/vm/power-cut.py, scripts/cardfile-writers.py) share: a card
file made with velkard-cli, what its users were told succeeded, and the check of what a later
user finds."""
import collections
import os
import subprocess

SOURCES = 12


class Cli:
    def __init__(self, path):
        self.path = path
        self.env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")

    def __call__(self, *args, check=True):
        r = subprocess.run([self.path, *args], capture_output=True, text=True, env=self.env)
        if check and r.returncode != 0:
            raise RuntimeError(f"velkard-cli {' '.join(args)}: {r.returncode} {r.stderr.strip()}")
        return r

    def patients(self, folder):
        rows = self("patients", "--dir", folder).stdout.splitlines()
        return [r.split("\t")[1] for r in rows if r.strip()]

    def entries(self, folder, pid):
        rows = self("archive", pid, "--dir", folder).stdout.splitlines()
        return [r.split("\t") for r in rows if r.strip()]


def recording(folder, pid, number):
    path = os.path.join(folder, "DATA_BASE", f"{pid[:8]}_{int(number):2d}.dat")
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def make_sources(cli, src, scratch):
    """SRC_k.dat device files and REC_k.dat sample records in src; returns the recording bytes
    filing each gives."""
    os.makedirs(src, exist_ok=True)
    os.makedirs(scratch, exist_ok=True)
    sid = cli("add-patient", "--name", "Scratch", "--policy", "S", "--dir", scratch).stdout.strip()
    expected = []
    for k in range(SOURCES):
        dev = os.path.join(src, f"SRC_{k}.dat")
        cli("make-device-file", dev, "--seconds", "2", "--seed", str(100 + k))
        number = cli("store", sid, dev, "--dir", scratch).stdout.strip()
        data = recording(scratch, sid, number)
        expected.append(data)
        with open(os.path.join(src, f"REC_{k}.dat"), "wb") as f:
            f.write(data)
    return expected


class Model:
    """What the card file's users were told succeeded."""

    def __init__(self, expected, removal, removal_seeded):
        self.known = {data: k for k, data in enumerate(expected)}
        self.filed = collections.Counter()  # (patient, k) -> filings acknowledged
        self.added, self.removed_patients = set(), set()
        # Patients whose removal was under way at a cut: either state is right.
        self.maybe_removed = set()
        self.added_order = []
        self.removals = 0
        self.removal, self.removal_seeded = removal, removal_seeded

    def acknowledge(self, what, args):
        if what in ("store", "file"):
            self.filed[(args[0], int(args[1]))] += 1
        elif what == "add":
            self.added_order.append(args[0])
            self.added.add(args[0])
        elif what == "remove-patient":
            self.removed_patients.add(args[0])
        elif what == "remove-entry":
            self.removals += 1

    def check(self, cli, folder, unacknowledged=0):
        """Failures found in the card file in folder; `unacknowledged` commands may have
        happened without their success being told."""
        failures = []
        listed = cli.patients(folder)
        if len(set(listed)) != len(listed):
            failures.append("two patients share an ID")
        if len(set(self.added_order)) != len(self.added_order):
            failures.append("add-patient handed out an ID twice")
        for pid in self.added - self.removed_patients - self.maybe_removed:
            if pid not in listed:
                failures.append(f"patient {pid}, added, is gone")
        for pid in self.removed_patients & set(listed):
            failures.append(f"patient {pid}, removed, is still listed")
        held = collections.Counter()
        for pid in listed:
            rows = cli.entries(folder, pid)
            for i, row in enumerate(rows, 1):
                if int(row[0]) != i:
                    failures.append(f"{pid}: entry {i} is numbered {row[0]}")
                data = recording(folder, pid, i)
                if data is None:
                    failures.append(f"{pid}: entry {i} has no recording")
                elif data not in self.known:
                    failures.append(f"{pid}: entry {i} holds no recording that was filed")
                else:
                    held[(pid, self.known[data])] += 1
            if pid == self.removal:
                filed = sum(v for (p, _), v in self.filed.items() if p == pid)
                gone = self.removal_seeded + filed - len(rows)
                if not self.removals <= gone <= self.removals + unacknowledged:
                    failures.append(f"{gone} recordings removed from {pid}, "
                                    f"{self.removals} removals acknowledged")
        for key, count in self.filed.items():
            if key[0] != self.removal and held[key] < count:
                failures.append(f"{key[0]}: {count} filings of recording {key[1]} acknowledged, "
                                f"{held[key]} found")
        cli("recover", "--dir", folder)
        return failures, listed


def next_store_changes_nothing(cli, folder, listed, src):
    """One more Store into every patient leaves the old entries as they were."""
    failures = []
    before = {pid: cli.entries(folder, pid) for pid in listed}
    for pid in listed:
        cli("store", pid, os.path.join(src, "SRC_0.dat"), "--dir", folder)
    for pid in listed:
        after = cli.entries(folder, pid)
        if after[:-1] != before[pid] or len(after) != len(before[pid]) + 1:
            failures.append(f"{pid}: the next Store changed the old entries")
    return failures
