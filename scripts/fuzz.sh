#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every fuzz target with clang's libFuzzer and the sanitizers, then runs each for SECONDS
# (default 60) on a copy of its seed corpus. New findings are left in build/fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/deps.sh clang libclang-rt-14-dev
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
      -DCMAKE_CXX_COMPILER=clang++ -DVELKARD_FUZZ=ON -DVELKARD_SANITIZE=address,undefined \
      "-DVELKARD_ONLY=signal;import;cardfile;sim;device;memory;fuzz" >/dev/null
cmake --build build/fuzz -j"$(nproc)"
mkdir -p build/fuzz/findings
for bin in build/fuzz/fuzz/fuzz_*; do
  [[ -x $bin ]] || continue
  name=$(basename "$bin"); name=${name#fuzz_}
  work=build/fuzz/corpus/$name
  mkdir -p "$work"
  cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  echo "== $name ($seconds s)"
  "$bin" "$work" -max_total_time="$seconds" -artifact_prefix=build/fuzz/findings/"$name"- \
         -print_final_stats=1 2>&1 | tail -n 3
done
