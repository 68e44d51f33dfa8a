#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Several workstations changing one card file at once.

WRITERS processes run velkard-cli against the same folder, each OPS commands of its own mix:
Store and Save after Write into shared patients, change-patient, add-patient, remove-patient of a
patient it added, remove-entry from a shared patient seeded with recordings. Afterwards the card
file is judged as after a power cut (scripts/cardcheck.py), with nothing unacknowledged: every
filing told a success is there with its own recording, entries numbered 1..n, no two patients
with one ID, no ID handed out twice (a removed patient's ID included), removals exact; one more
Store into every patient leaves the old entries as they were.

Usage: scripts/cardfile-writers.py CLI [WRITERS [OPS [SEED]]]   (default 4 writers, 60 commands)
"""
import concurrent.futures
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cardcheck  # noqa: E402

cli = cardcheck.Cli(sys.argv[1])
writers = int(sys.argv[2]) if len(sys.argv) > 2 else 4
ops = int(sys.argv[3]) if len(sys.argv) > 3 else 60
seed = int(sys.argv[4]) if len(sys.argv) > 4 else 24

with tempfile.TemporaryDirectory(prefix="velkard-writers.") as work:
    base = os.path.join(work, "card")
    os.makedirs(base)
    src = os.path.join(work, "src")
    expected = cardcheck.make_sources(cli, src, os.path.join(work, "scratch"))
    ids = [cli("add-patient", "--name", n, "--policy", "P" + n, "--dir", base).stdout.strip()
           for n in ("Alpha", "Bravo", "Charlie")]
    removal = cli("add-patient", "--name", "Removal", "--policy", "R", "--dir", base).stdout.strip()
    seeded = writers * ops // 7 + 5
    for j in range(seeded):
        cli("store", removal, os.path.join(src, f"SRC_{j % cardcheck.SOURCES}.dat"), "--dir", base)

    def writer(w):
        rng = random.Random(seed * 100 + w)
        told, mine = [], []
        for n in range(ops):
            k = rng.randrange(cardcheck.SOURCES)
            p = rng.choice(ids)
            what = rng.choice(["store", "store", "file", "change", "add", "remove-entry",
                               "remove-patient"])
            if what == "store":
                r = cli("store", p, os.path.join(src, f"SRC_{k}.dat"), "--dir", base, check=False)
                args = [p, str(k)]
            elif what == "file":
                r = cli("file-recording", p, os.path.join(src, f"REC_{k}.dat"), "--seconds", "2",
                        "--dir", base, check=False)
                args = [p, str(k)]
            elif what == "change":
                r = cli("change-patient", p, "--phone", f"{w}-{n}", "--dir", base, check=False)
                args = [p]
            elif what == "add":
                r = cli("add-patient", "--name", f"W{w} N{n}", "--policy", f"{w}.{n}", "--dir",
                        base, check=False)
                args = [r.stdout.strip()]
                if r.returncode == 0:
                    mine.append(args[0])
            elif what == "remove-entry":
                r = cli("remove-entry", removal, "1", "--dir", base, check=False)
                args = [removal]
            else:
                if not mine:
                    continue
                args = [mine.pop(0)]
                r = cli("remove-patient", args[0], "--dir", base, check=False)
            if r.returncode == 0:
                told.append((what, args))
            elif "занят" not in r.stderr and "busy" not in r.stderr:
                told.append(("error", [what, r.stderr.strip()]))
        return told

    model = cardcheck.Model(expected, removal, seeded)
    errors, count = [], 0
    with concurrent.futures.ThreadPoolExecutor(writers) as pool:
        for told in pool.map(writer, range(writers)):
            for what, args in told:
                if what == "error":
                    errors.append(f"{args[0]} failed: {args[1]}")
                else:
                    count += 1
                    model.acknowledge(what, args)
    failures, listed = model.check(cli, base)
    failures += cardcheck.next_store_changes_nothing(cli, base, listed, src)
    for e in errors:
        print(f"cardfile-writers: {e}")
    for f in failures:
        print(f"cardfile-writers: FAILED: {f}")
    print(f"cardfile-writers: {writers} writers, {count} commands told a success, "
          f"{len(errors)} failed commands, {len(failures)} failures")
    sys.exit(1 if failures or errors else 0)
