#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every fuzz target with clang's libFuzzer and the sanitizers (the libraries instrumented
# too, see VELKARD_FUZZ), then runs each for SECONDS (default 60) on a copy of its seed corpus, JOBS
# targets at a time (default: the number of cores). Findings are left in build/fuzz/findings/ and
# make the script fail. ./test.sh runs it for 30 s a target; a soak run is `scripts/fuzz.sh 600`.
# Usage: scripts/fuzz.sh [SECONDS [JOBS]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-$(nproc)}
scripts/deps.sh clang libclang-rt-14-dev
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DVELKARD_FUZZ=ON -DVELKARD_SANITIZE=address,undefined \
      -DCMAKE_CXX_FLAGS=-O1 "-DVELKARD_ONLY=signal;wire;import;cardfile;sim;device;links;memory;formats;measure;interpret;fuzz" >/dev/null
targets=$(ls fuzz/fuzz_*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build build/fuzz -j"$(nproc)" --target $targets
mkdir -p build/fuzz/findings build/fuzz/logs
rm -f build/fuzz/findings/*

run_one() {
  local bin=$1 name work
  name=$(basename "$bin"); name=${name#fuzz_}
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  if "$bin" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix=build/fuzz/findings/"$name"- -print_final_stats=1 \
       >build/fuzz/logs/"$name".log 2>&1; then
    echo "== $name: clean for $seconds s, $(grep -o 'stat::number_of_executed_units: *[0-9]*' \
      build/fuzz/logs/"$name".log | grep -o '[0-9]*$') runs, $(grep -o 'cov: [0-9]*' \
      build/fuzz/logs/"$name".log | tail -n 1) of $(grep -o '[0-9]* inline 8-bit counters' \
      build/fuzz/logs/"$name".log | head -n 1 | grep -o '^[0-9]*') counters"
  else
    echo "== $name: FAILED (build/fuzz/logs/$name.log, build/fuzz/findings/)"
    tail -n 30 build/fuzz/logs/"$name".log
    return 1
  fi
}
export -f run_one
export seconds
status=0
# FUZZ_SKIP: targets not to fuzz this run (space-separated names, e.g. "formats").
skip="___none"
for t in ${FUZZ_SKIP:-}; do skip+="|$t"; done
ls build/fuzz/fuzz/fuzz_* | grep -v -E "fuzz_($skip)\$" | xargs -P "$jobs" -I{} bash -c 'run_one {}' || status=1
exit $status
