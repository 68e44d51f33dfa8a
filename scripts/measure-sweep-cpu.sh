#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the live sweep costs the machine: starts the release build of Velkard on the simulated
# instrument (port SIM) under a private Xvfb, opens the card file (Ctrl+O), picks the first patient
# and presses Write so the sweep of twelve leads runs, sets 50 mm/s, then over SECONDS (default 30)
# reads the process's CPU time (utime + stime of /proc/PID/stat) and each thread's voluntary and
# involuntary context switches (/proc/PID/task/*/status), and prints the share of one core and the
# wake-ups a second, per thread and in all.
#
#   scripts/measure-sweep-cpu.sh [BUILD_DIR] [SECONDS]      (default build/release, 30)
#
# Needs Xvfb and xdotool (scripts/deps.sh installs them).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
seconds=${2:-30}
app=$build/app/velkard
cli=$build/cli/velkard-cli
[ -x "$app" ] && [ -x "$cli" ] || { echo "no build in $build (app/velkard, cli/velkard-cli)" >&2; exit 1; }

work=$(mktemp -d)
display=:$((90 + RANDOM % 100))
xvfb=
velkard=
cleanup() {
    [ -n "$velkard" ] && kill "$velkard" 2>/dev/null && wait "$velkard" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$cli" make-demo "$work/demo" >/dev/null
# Twelve leads (group 9) at 50 mm/s: lines 3 and 7 of the settings file (speed text and index).
python3 - "$work/demo/ПЛ4Н-52.txt" <<'PY'
import sys
lines = open(sys.argv[1], "rb").read().split(b"\r\n")
lines[2] = b"50" + lines[2][2:]
lines[5] = b"9"
lines[6] = b"3"
open(sys.argv[1], "wb").write(b"\r\n".join(lines))
PY
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$work/demo" && exec env LANG=en_US.UTF-8 "$app" >"$work/velkard.log" 2>&1) &
velkard=$!
# The main window, then the card file.
for _ in $(seq 100); do
    main=$(xdotool search --onlyvisible --pid "$velkard" 2>/dev/null | head -1) && [ -n "$main" ] && break
    sleep 0.1
done
[ -n "${main:-}" ] || { echo "Velkard did not open its window" >&2; cat "$work/velkard.log" >&2; exit 1; }
sleep 1
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers ctrl+o
sleep 1.5
# The card-file window: the first patient, then Write, reached with Tab as a keyboard user does
# (search field, patient list, archive list, New, Change, Delete, OK, Open, Export, Delete, Write).
cardfile=$(xdotool search --onlyvisible --pid "$velkard" 2>/dev/null | grep -v "^$main$" | tail -1)
[ -n "$cardfile" ] || { echo "the card file did not open" >&2; exit 1; }
threads=$(ls "/proc/$velkard/task" | wc -l)
xdotool windowfocus --sync "$cardfile" 2>/dev/null || true
xdotool key --window "$cardfile" Tab; sleep 0.3
xdotool key --window "$cardfile" Down; sleep 0.5
xdotool key --window "$cardfile" Home; sleep 0.3
for _ in $(seq 9); do xdotool key --window "$cardfile" Tab; sleep 0.1; done
xdotool key --window "$cardfile" space
sleep 3
# The sweep runs when the card file has closed and the reader thread has started.
if xdotool search --onlyvisible --pid "$velkard" 2>/dev/null | grep -q "^$cardfile$" ||
    [ "$(ls "/proc/$velkard/task" | wc -l)" -le "$threads" ]; then
    echo "the live sweep did not start" >&2
    exit 1
fi

ticks=$(getconf CLK_TCK)
snapshot() { # pid -> "utime+stime" and per-thread "tid name voluntary involuntary"
    awk '{print $14 + $15}' "/proc/$velkard/stat"
    for t in /proc/$velkard/task/*; do
        printf '%s %s %s %s\n' "$(basename "$t")" "$(tr ' ' _ <"$t/comm")" \
            "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$t/status")" \
            "$(awk '/^nonvoluntary_ctxt_switches/ {print $2}' "$t/status")"
    done
}
snapshot >"$work/before"
start=$(date +%s.%N)
sleep "$seconds"
snapshot >"$work/after"
end=$(date +%s.%N)
python3 - "$work/before" "$work/after" "$start" "$end" "$ticks" <<'PY'
import sys
def read(p):
    lines = open(p).read().split("\n")
    cpu = int(lines[0]); threads = {}
    for l in lines[1:]:
        if l.strip():
            tid, name, vol, inv = l.split()
            threads[tid] = (name, int(vol), int(inv))
    return cpu, threads
(c0, t0), (c1, t1) = read(sys.argv[1]), read(sys.argv[2])
wall = float(sys.argv[4]) - float(sys.argv[3]); ticks = int(sys.argv[5])
print(f"measured {wall:.1f} s")
print(f"CPU: {(c1 - c0) / ticks:.3f} s = {100 * (c1 - c0) / ticks / wall:.2f} % of one core")
total = 0.0
for tid, (name, vol, inv) in sorted(t1.items()):
    if tid not in t0:
        continue
    rate = ((vol - t0[tid][1]) + (inv - t0[tid][2])) / wall
    total += rate
    print(f"thread {tid:>8} {name:<16} {rate:8.1f} wake-ups/s ({(vol - t0[tid][1]) / wall:.1f} voluntary)")
print(f"all threads: {total:.1f} wake-ups/s")
PY
