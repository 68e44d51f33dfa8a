#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times velkard-cli's decompress and compress against ncompress's compress(1) on ten minutes of the
# simulated instrument's twelve-lead ECG (7.68 MB), whole processes, interleaved, and prints the
# medians and the ratios. Builds nothing: it runs the velkard-cli of an existing build. Compares
# like with like: both programs decompressing into a file (ours through a temporary file renamed
# over it, neither flushed), both writing to standard output, and the start of each process
# alone; and ours with --sync, which flushes the file to disk, with what the flush took as
# velkard-cli --timing reports it.
#
# Then the peak memory (maximum resident set size, /usr/bin/time) of each command, once.
#
# Usage: bench/compare.sh [--build DIR] [--runs N] [--seconds S] [--dir DIR]
#   --build DIR  build folder holding cli/velkard-cli (default build/bench, else build/release)
#   --runs N     runs of each command (default 10)
#   --seconds S  length of the recording (default 600; 36000, ten hours, is 461 MB)
#   --dir DIR    folder to work in (default a new folder in $TMPDIR or /tmp); on a tmpfs such as
#                /dev/shm the flushes cost nothing and the comparison is of the work alone
set -euo pipefail
cd "$(dirname "$0")/.."

build=""
runs=10
seconds=600
dir=""
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    *) echo "usage: bench/compare.sh [--build DIR] [--runs N] [--seconds S] [--dir DIR]" >&2; exit 2 ;;
  esac
done
if [[ -z $build ]]; then
  build=build/bench
  [[ -x $build/cli/velkard-cli ]] || build=build/release
fi
cli=$(realpath "$build/cli/velkard-cli" 2>/dev/null || true)
if [[ ! -x $cli ]]; then
  echo "no velkard-cli in $build: build it first (see the README's benchmark section)" >&2
  exit 1
fi

# The peer is needed here only, not by the product.
scripts/deps.sh ncompress

work=$(mktemp -d "${dir:-${TMPDIR:-/tmp}}/velkard-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

"$cli" make-device-file ten.ecg --seconds "$seconds" >/dev/null
"$cli" compress ten.ecg ten.ecx >/dev/null
compress -c ten.ecg >ten.Z
"$cli" decompress ten.ecx back.ecg >/dev/null
compress -d -c ten.Z >back.raw
"$cli" decompress ten.ecx - >back.std
cmp -s back.ecg ten.ecg && cmp -s back.raw ten.ecg && cmp -s back.std ten.ecg || {
  echo "a round trip did not give the file back" >&2
  exit 1
}
rm -f back.ecg back.raw back.std

# run NAME STDOUT COMMAND...: runs the command once with its standard output into STDOUT (output
# files removed beforehand, untimed) and appends "wall_ms cpu_ms flush_ms" to NAME.times. CPU is
# user + system time of the process; flush is what velkard-cli --timing reports for its final
# flush (fsync of the file, rename, fsync of the folder), 0 for other commands.
run() {
  local name=$1 stdout=$2
  shift 2
  rm -f out.ecg out.ecx out.raw out.Z
  local t
  t=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >"$stdout" 2>run.err; } 2>&1)
  local flush
  flush=$(sed -n 's/.*flush \([0-9.]*\) ms.*/\1/p' run.err)
  awk -v t="$t" -v f="${flush:-0}" 'BEGIN { split(t, a, " ");
    printf "%.1f %.1f %.1f\n", a[1] * 1000, (a[2] + a[3]) * 1000, f }' >>"$name.times"
}

for ((i = 0; i < runs; i++)); do
  # Process start alone: the program loads, links its libraries and prints its version.
  run our-start /dev/null "$cli" --version
  run peer-start /dev/null compress -V
  # Into a file: ours through a temporary file renamed over it; ncompress's output redirected
  # into a file; neither flushed. Then ours flushed to disk (--sync).
  run our-decompress /dev/null "$cli" decompress ten.ecx out.ecg
  run peer-decompress out.raw compress -d -c ten.Z
  run our-sync /dev/null "$cli" decompress ten.ecx out.ecg --sync --timing
  # Both to standard output, redirected into a file: the same work on both sides.
  run our-stdout out.ecg "$cli" decompress ten.ecx -
  run peer-stdout out.raw compress -d -c ten.Z
  run our-compress /dev/null "$cli" compress ten.ecg out.ecx
  run peer-compress out.Z compress -c ten.ecg
done

median() { # median of column $2 of file $1
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

fs=$(stat -f -c %T .)
echo "$seconds s of twelve-lead ECG: $(stat -c %s ten.ecg) bytes; .ecx $(stat -c %s ten.ecx) bytes," \
  ".Z $(stat -c %s ten.Z) bytes"
echo "medians of $runs interleaved runs, whole processes, files on $fs ($work)"
printf '%-34s %-5s %12s %12s %18s\n' what time velkard-cli ncompress "ncompress / ours"
row() { # row LABEL OURS PEER COLUMN
  local ours peer
  ours=$(median "$2.times" "$4")
  peer=$(median "$3.times" "$4")
  local what=wall
  (($4 == 2)) && what=cpu
  printf '%-34s %-5s %9s ms %9s ms %17sx\n' "$1" "$what" "$ours" "$peer" "$(ratio "$peer" "$ours")"
}
row "process start (--version, -V)" our-start peer-start 1
row "decompress into a file" our-decompress peer-decompress 1
row "decompress into a file" our-decompress peer-decompress 2
row "  ours flushed to disk (--sync)" our-sync peer-decompress 1
row "decompress to stdout (> file)" our-stdout peer-stdout 1
row "decompress to stdout (> file)" our-stdout peer-stdout 2
row "compress into a file" our-compress peer-compress 1
row "compress into a file" our-compress peer-compress 2
echo "decompress --sync flushes (fsync of the file, rename, fsync of the folder):" \
  "median $(median our-sync.times 3) ms of its wall time; ncompress has no such option"

# peak COMMAND...: the maximum resident set size of one run in kB (output into out.*).
peak() {
  rm -f out.ecg out.ecx out.raw out.Z
  /usr/bin/time -f %M -o peak.kb "$@" >/dev/null 2>&1
  cat peak.kb
}
printf '%-34s %12s %12s\n' "peak memory (max RSS)" velkard-cli ncompress
printf '%-34s %9s kB %9s kB\n' "process start (--version, -V)" "$(peak "$cli" --version)" \
  "$(peak compress -V)"
printf '%-34s %9s kB %9s kB\n' "decompress into a file" "$(peak "$cli" decompress ten.ecx out.ecg)" \
  "$(peak sh -c 'compress -d -c ten.Z > out.raw')"
printf '%-34s %9s kB %9s kB\n' "compress into a file" "$(peak "$cli" compress ten.ecg out.ecx)" \
  "$(peak sh -c 'compress -c ten.ecg > out.Z')"
