#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package: a Release build of the four programs (build/release, shared with
# run.sh; ccache makes a rebuild cheap), then CPack writes build/package/velkard_<version>_<arch>.deb.
# Install it with: sudo apt install ./build/package/velkard_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh

# One version everywhere: the project's, the changelog's latest entry and the metainfo's latest release.
version=$(sed -n 's/^project(Velkard VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(sed -n '1s/^velkard (\([^)]*\)).*/\1/p' packaging/changelog)
metainfo_version=$(grep -o -m1 '<release version="[^"]*"' packaging/org.velkard.Velkard.metainfo.xml |
                   sed 's/.*"\(.*\)"/\1/')
if [[ $version != "$changelog_version" || $version != "$metainfo_version" ]]; then
  echo "package.sh: version $version in CMakeLists.txt, $changelog_version in packaging/changelog," \
       "$metainfo_version in the metainfo: add the new release to both" >&2
  exit 1
fi

export CCACHE_BASEDIR=$root
export CCACHE_NOHASHDIR=1
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target velkard velkard-cli velkard-instrument startel velkard_package_files

rm -rf build/package build/package-staging
mkdir -p build/package
(cd "$build" && cpack -G DEB -B "$root/build/package-staging" >/dev/null)
mv build/package-staging/velkard_*.deb build/package/
rm -rf build/package-staging
ls build/package/velkard_*.deb
