#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package (scripts/package.sh) and checks it: lintian without errors, the
# AppStream metainfo and the desktop entry valid, every file a clinic relies on present, and the
# programs unpacked into a scratch root answering --version and --help. The maintainer scripts run
# against the scratch root (DPKG_ROOT) and Startel, run from a copy of the installation medium,
# must see Velkard installed after postinst and not installed after postrm.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/package.sh >/dev/null
deb=$(ls build/package/velkard_*_*.deb)
version=$(dpkg-deb -f "$deb" Version)
failures=0
fail() { echo "check-package: $*" >&2; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -e "$deb" "$scratch/control"
r=$scratch/root

# lintian takes the longest; it runs while the other checks do.
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 &
lintian_pid=$!

appstreamcli validate --no-net "$r"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
  fail "appstreamcli validate failed: $(appstreamcli validate --no-net "$r"/usr/share/metainfo/*.xml)"
desktop-file-validate "$r"/usr/share/applications/*.desktop || fail "desktop-file-validate failed"

for f in usr/bin/velkard usr/bin/velkard-cli usr/bin/velkard-instrument usr/bin/startel \
         usr/share/applications/org.velkard.Velkard.desktop \
         usr/share/metainfo/org.velkard.Velkard.metainfo.xml \
         usr/share/mime/packages/velkard.xml \
         usr/share/icons/hicolor/scalable/apps/velkard.svg \
         usr/share/icons/hicolor/48x48/apps/velkard.png \
         usr/share/icons/hicolor/256x256/apps/velkard.png \
         usr/share/man/man1/velkard.1.gz usr/share/man/man1/velkard-cli.1.gz \
         usr/share/man/man1/velkard-instrument.1.gz usr/share/man/man1/startel.1.gz \
         usr/share/bash-completion/completions/velkard-cli \
         usr/lib/udev/rules.d/70-velkard-ftdi.rules \
         usr/share/doc/velkard/copyright usr/share/doc/velkard/changelog.gz; do
  [[ -s $r/$f ]] || fail "missing from the package: /$f"
done
grep -q 'TAG+="uaccess"' "$r"/usr/lib/udev/rules.d/70-velkard-ftdi.rules &&
  grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$r"/usr/lib/udev/rules.d/70-velkard-ftdi.rules ||
  fail "udev rule lacks uaccess or the ModemManager exclusion"
file "$r"/usr/share/icons/hicolor/48x48/apps/velkard.png | grep -q '48 x 48' ||
  fail "48x48 icon is not 48 x 48 pixels"

# The programs run from the scratch root and report the package's version.
export QT_QPA_PLATFORM=offscreen
# They run in the scratch folder (velkard makes its files in the current one), and a program that
# ignores --version and starts its window is stopped after a while.
cd "$scratch"
for p in velkard velkard-cli velkard-instrument startel; do
  out=$(timeout 30 "$r/usr/bin/$p" --version 2>&1) || fail "$p --version exited with $?"
  [[ $out == "$p $version" ]] || fail "$p --version printed '$out', expected '$p $version'"
done
help=$("$r/usr/bin/velkard-cli" --help) || fail "velkard-cli --help failed"
# Every command the program lists has its own section in the man page.
page=$(zcat "$r"/usr/share/man/man1/velkard-cli.1.gz)
for c in $(awk '/^Commands:/ { on = 1; next } on && /^  [^ ]/ { print $1 }' <<<"$help"); do
  grep -q "^\.SS ${c//-/\\\\-}\$" <<<"$page" || fail "man page velkard-cli(1) lacks the command $c"
done
[[ $(wc -l <<<"$help") -gt 10 ]] || fail "velkard-cli --help lists too little"

cd "$root"

# Startel's registry: a medium with the shipped Startel.inf and an installer that leaves a mark.
medium=$scratch/medium
mkdir -p "$medium"
cp launcher/Startel.inf "$medium/"
printf '#!/bin/sh\ntouch "%s/setup-ran"\n' "$scratch" >"$medium/setup.sh"
chmod +x "$medium/setup.sh"
startel() {
  rm -f "$scratch/setup-ran"
  STARTEL_MEDIUM_ROOT=$medium STARTEL_PRODUCTS_DIR=$r/var/lib/startel/products \
    "$r/usr/bin/startel" '[Launch][1]' setup.sh
}
startel
[[ -e $scratch/setup-ran ]] || fail "Startel did not start the installer before postinst"
DPKG_ROOT=$r sh "$scratch/control/postinst" configure
code=$(sed -n 's/^ProductCode=\({[^}]*}\).*/\1/p' launcher/Startel.inf)
[[ -f $r/var/lib/startel/products/$code.ini ]] || fail "postinst wrote no registry entry $code.ini"
startel
[[ ! -e $scratch/setup-ran ]] || fail "Startel does not see Velkard installed after postinst"
DPKG_ROOT=$r sh "$scratch/control/postrm" remove
[[ ! -e $r/var/lib/startel ]] || fail "postrm left $(find "$r/var/lib/startel")"
startel
[[ -e $scratch/setup-ran ]] || fail "Startel still sees Velkard installed after postrm"

# lintian: no error (E:) tags; warnings are printed for the reader.
wait "$lintian_pid" || true
grep -v 'running with root privileges' "$scratch/lintian.txt" || true
grep -q '^E: ' "$scratch/lintian.txt" && fail "lintian reports errors"

if ((failures)); then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: $deb passes lintian, appstreamcli, desktop-file-validate and the scratch-root install"
