#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs, only those that are missing.
# Usage: scripts/deps.sh [extra-package...]
set -euo pipefail

packages=(build-essential cmake ninja-build ccache pkg-config
          qt6-base-dev libgl-dev libftdi1-dev
          libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev
          qt6-tools-dev qt6-l10n-tools qt6-translations-l10n fonts-dejavu-core poppler-utils xvfb xauth xdotool
          libedf-dev libdcmtk-dev libbiosig-dev biosig-tools dicom3tools dcmtk python3-pydicom
          default-jdk-headless libpixelmed-java
          libssl-dev orthanc python3-hl7 openssl iproute2
          dpkg-dev librsvg2-bin lintian appstream desktop-file-utils man-db file
          qemu-system-x86 linux-image-amd64 busybox-static cpio python3 clang libclang-rt-14-dev "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages: ${missing[*]}; run as root or install them with apt-get." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
