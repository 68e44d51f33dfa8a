#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds a release build and starts Velkard on the simulated instrument in
# a demo working folder (build/release/demo, created on first run and kept between runs).
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

scripts/deps.sh

export CCACHE_BASEDIR=$root
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"

if [[ -x build/release/app/velkard ]]; then
  demo=build/release/demo
  if [[ ! -d $demo ]]; then
    build/release/cli/velkard-cli make-demo "$demo"
  fi
  cd "$demo"
  if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    echo "No display found; starting Velkard under xvfb-run (invisible). Set DISPLAY to see it." >&2
    exec xvfb-run -a "$root/build/release/app/velkard" "$@"
  fi
  exec "$root/build/release/app/velkard" "$@"
fi
exec build/release/cli/velkard-cli --help
