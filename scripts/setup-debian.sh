#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the sample run need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config clang-format
  qt6-base-dev libgl-dev libchm-dev libchm-bin fp-utils
  libgtest-dev libgmock-dev libbenchmark-dev libshp-dev
  xvfb xdotool xterm x11-utils imagemagick openbox
  librsvg2-bin desktop-file-utils debootstrap man-db
  python3 python3-dbfread python3-dbf libdbd-xbase-perl fp-compiler fp-units-db
  poppler-utils fonts-dejavu-core
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine wine64
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
