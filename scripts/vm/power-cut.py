#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Power cuts on a real ext4 file system (scripts/vm-power-cut.sh).

The card file lives on an ext4 disk image. A QEMU guest changes it with velkard-cli without end
(scripts/vm/power-cut-guest.sh); after a random time the host kills QEMU, which is a power cut
for the guest: what it had not written to its disk is gone. The image is then checked with
e2fsck (journal replayed), the card folder is copied out with debugfs, and judged
(scripts/cardcheck.py): every entry's recording present and one the guest filed, numbered 1..n;
every Store or Save the guest was told succeeded is there, every patient added is there unless
its removal succeeded, removals happened whole; `recover` lists without error; one more Store
into every patient leaves the old entries as they were.

The next boot goes on with the same image, so later cuts fall on what earlier ones left.
Usage: power-cut.py CLI KERNEL INITRAMFS WORK CUTS SEED
"""
import collections
import os
import random
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import cardcheck  # noqa: E402

cli_path, kernel, initramfs, work, cuts, seed = sys.argv[1:7]
cuts, seed = int(cuts), int(seed)
rng = random.Random(seed)
cli = cardcheck.Cli(cli_path)
REMOVAL_SEEDED = 60
failures = []


def fail(cut, text):
    failures.append(f"cut {cut}: {text}")
    print(f"power-cut: cut {cut}: FAILED: {text}", flush=True)


# --- the card file the guest starts with -----------------------------------------------------
base = os.path.join(work, "base")
src = os.path.join(base, "src")
expected = cardcheck.make_sources(cli, src, os.path.join(work, "scratch"))
ids = [cli("add-patient", "--name", n, "--policy", "P" + n, "--dir", base).stdout.strip()
       for n in ("Alpha", "Bravo", "Charlie")]
removal = cli("add-patient", "--name", "Removal", "--policy", "R", "--dir", base).stdout.strip()
for j in range(REMOVAL_SEEDED):
    cli("store", removal, os.path.join(src, f"SRC_{j % cardcheck.SOURCES}.dat"), "--dir", base)
with open(os.path.join(base, "ids.txt"), "w") as f:
    f.write("\n".join(ids) + "\n")
with open(os.path.join(base, "removal.txt"), "w") as f:
    f.write(removal + "\n")
image = os.path.join(work, "card.img")
subprocess.run(["mkfs.ext4", "-q", "-F", "-d", base, image, "128M"], check=True)

model = cardcheck.Model(expected, removal, REMOVAL_SEEDED)
next_op = 0
totals = collections.Counter()
fsck_fixed = 0
cut = 0
for cut in range(1, cuts + 1):
    console = os.path.join(work, f"console{cut}.log")
    qemu = subprocess.Popen(
        ["qemu-system-x86_64", "-accel", os.environ.get("VM_ACCEL", "tcg"), "-m", "1024", "-smp",
         "1", "-nographic", "-no-reboot", "-kernel", kernel, "-initrd", initramfs, "-append",
         f"console=ttyS0 panic=-1 quiet loglevel=3 velkard.seed={next_op}",
         "-serial", f"file:{console}", "-monitor", "none",
         "-drive", f"file={image},format=raw,if=virtio", "-net", "none"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    started = None
    delay = rng.uniform(0.3, 12.0)
    deadline = time.time() + 240
    while qemu.poll() is None and time.time() < deadline:
        text = open(console, errors="replace").read() if os.path.exists(console) else ""
        if started is None and "@@PC start" in text:
            started = time.time()
        if "@@PC failed" in text:
            break
        if started is not None and time.time() - started >= delay:
            break
        time.sleep(0.05)
    qemu.send_signal(signal.SIGKILL)
    qemu.wait()
    text = open(console, errors="replace").read()
    if started is None:
        fail(cut, "the guest never started changing the card file:\n" + text[-2000:])
        break
    acked = [line.split() for line in text.splitlines() if line.startswith("@@PC ok ")]
    for a in acked:
        next_op = max(next_op, int(a[2]) + 1)
        totals[a[3]] += 1
        model.acknowledge(a[3], a[4:])
    next_op += 1  # the command under way at the cut keeps its number
    # Under way at the cut may be the removal of the oldest patient this boot added and did not
    # remove yet (command n is a removal when n % 7 == 6): it may or may not have happened.
    if acked and (int(acked[-1][2]) + 1) % 7 == 6:
        removed_now = {a[4] for a in acked if a[3] == "remove-patient"}
        left = [a[4] for a in acked if a[3] == "add" and a[4] not in removed_now]
        if left:
            model.maybe_removed.add(left[0])

    fsck = subprocess.run(["e2fsck", "-fy", image], capture_output=True, text=True)
    if fsck.returncode > 1:
        fail(cut, f"e2fsck exit {fsck.returncode}: {fsck.stdout[-500:]}")
    fsck_fixed += fsck.returncode == 1
    with open(os.path.join(work, f"e2fsck{cut}.log"), "w") as f:
        f.write(fsck.stdout + fsck.stderr)
    folder = os.path.join(work, f"after{cut}")
    os.makedirs(folder)
    subprocess.run(["debugfs", "-R", f"rdump /DATA_BASE {folder}", image], check=True,
                   capture_output=True)
    try:
        found, listed = model.check(cli, folder, unacknowledged=cut)
        found += cardcheck.next_store_changes_nothing(cli, folder, listed, src)
        for f in found:
            fail(cut, f)
    except RuntimeError as e:
        fail(cut, str(e))
    shutil.rmtree(folder)
    print(f"power-cut: cut {cut}: after {delay:.1f} s, {len(acked)} commands acknowledged, "
          f"e2fsck {fsck.returncode}, {len(failures)} failures so far", flush=True)
    if len(failures) > 20:
        break

print(f"power-cut: {cut} power cuts, " + ", ".join(f"{v} {k}" for k, v in sorted(totals.items())) +
      f" acknowledged; e2fsck repaired {fsck_fixed} times; {len(failures)} failures")
sys.exit(1 if failures else 0)
