#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times velkard-cli's decompress and compress against ncompress's compress(1) on ten minutes of the
# simulated instrument's twelve-lead ECG (7.68 MB), whole processes, interleaved, and prints the
# medians and the ratios. Builds nothing: it runs the velkard-cli of an existing build. Also
# measures what the crash-safe write's flushes (fsync of the file and of its folder) take.
#
# Usage: bench/compare.sh [--build DIR] [--runs N] [--dir DIR]
#   --build DIR  build folder holding cli/velkard-cli (default build/bench, else build/release)
#   --runs N     runs of each command (default 10)
#   --dir DIR    folder to work in (default a new folder in $TMPDIR or /tmp); on a tmpfs such as
#                /dev/shm the flushes cost nothing and the comparison is of the work alone
set -euo pipefail
cd "$(dirname "$0")/.."

build=""
runs=10
dir=""
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    *) echo "usage: bench/compare.sh [--build DIR] [--runs N] [--dir DIR]" >&2; exit 2 ;;
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

# The peer and the flush measurement are needed here only, not by the product.
scripts/deps.sh ncompress strace

work=$(mktemp -d "${dir:-${TMPDIR:-/tmp}}/velkard-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

"$cli" make-device-file ten.ecg --seconds 600 >/dev/null
"$cli" compress ten.ecg ten.ecx >/dev/null
compress -c ten.ecg >ten.Z
"$cli" decompress ten.ecx back.ecg >/dev/null
compress -d -c ten.Z >back.raw
cmp -s back.ecg ten.ecg && cmp -s back.raw ten.ecg || {
  echo "a round trip did not give the file back" >&2
  exit 1
}
rm -f back.ecg back.raw

# run NAME STDOUT COMMAND...: runs the command once with its standard output into STDOUT (output
# files removed beforehand, untimed) and appends "wall_ms cpu_ms" to NAME.times. CPU is user +
# system time of the process.
run() {
  local name=$1 stdout=$2
  shift 2
  rm -f out.ecg out.ecx out.raw out.Z
  local t
  t=$( { TIMEFORMAT='%3R %3U %3S'; time "$@" >"$stdout"; } 2>&1)
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.1f %.1f\n", a[1] * 1000, (a[2] + a[3]) * 1000 }' \
    >>"$name.times"
}

for ((i = 0; i < runs; i++)); do
  run our-decompress /dev/null "$cli" decompress ten.ecx out.ecg
  run peer-decompress out.raw compress -d -c ten.Z
  run our-compress /dev/null "$cli" compress ten.ecg out.ecx
  run peer-compress out.Z compress -c ten.ecg
done

# The flushes of our decompress: fsync of the new file and of its folder, summed per run.
for ((i = 0; i < runs; i++)); do
  rm -f out.ecg
  strace -f -T -e trace=fsync,fdatasync -o fsync.trace "$cli" decompress ten.ecx out.ecg >/dev/null
  awk -F'<' '/fsync|fdatasync/ { sub(/>.*/, "", $NF); s += $NF } END { printf "%.1f\n", s * 1000 }' \
    fsync.trace >>flush.times
done

median() { # median of column $2 of file $1
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

fs=$(stat -f -c %T .)
echo "ten minutes of twelve-lead ECG: $(stat -c %s ten.ecg) bytes; .ecx $(stat -c %s ten.ecx) bytes," \
  ".Z $(stat -c %s ten.Z) bytes"
echo "medians of $runs interleaved runs, whole processes, files on $fs ($work)"
printf '%-12s %-5s %14s %14s %20s\n' command time velkard-cli ncompress "ncompress / ours"
for op in decompress compress; do
  for col in 1 2; do
    what=wall
    ((col == 2)) && what=cpu
    ours=$(median "our-$op.times" "$col")
    peer=$(median "peer-$op.times" "$col")
    printf '%-12s %-5s %11s ms %11s ms %19sx\n' "$op" "$what" "$ours" "$peer" "$(ratio "$peer" "$ours")"
  done
done
echo "velkard-cli decompress flushes the new file and its folder to disk (fsync):" \
  "median $(median flush.times 1) ms of its wall time; ncompress -c does not flush"
