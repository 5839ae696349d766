#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the window and the
# benchmarks need. Does nothing when they are all present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format-14
  libsqlite3-dev sqlite3
  qt6-base-dev libgl-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  libsimpleini-dev
  libxlsxwriter-dev zlib1g-dev
  libfreexl-dev libzip-dev libexpat1-dev
  libzxing-dev qt6-pdf-dev libopencv-dev libqpdf-dev libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-wqy-microhei
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
