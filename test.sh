#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs every
# test; then builds the device and simulator code with ThreadSanitizer and runs its tests; then
# fuzzes every parser for 30 s with libFuzzer; then builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

scripts/deps.sh
scripts/add-spdx.sh --check

export CCACHE_BASEDIR=$root
export CCACHE_NOHASHDIR=1
jobs=$(nproc)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKARD_SANITIZE=address,undefined \
      -DCMAKE_CXX_FLAGS="-O1" >/dev/null
cmake --build build/asan -j"$jobs"

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKARD_SANITIZE=thread \
      -DVELKARD_ONLY_DEVICE=ON -DCMAKE_CXX_FLAGS="-O1" >/dev/null
cmake --build build/tsan -j"$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

status=0
(cd build/asan && ctest --output-on-failure -j2) || status=1
echo "== ThreadSanitizer build (device and simulator) =="
(cd build/tsan && ctest --output-on-failure -j2) || status=1
echo "== libFuzzer, 30 s a target =="
scripts/fuzz.sh 30 "$jobs" || status=1
echo "== Debian package (Release build in build/release, lintian, install into a scratch root) =="
scripts/check-package.sh || status=1
exit $status
