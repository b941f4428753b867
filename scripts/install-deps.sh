#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need,
# if any is missing. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6test6 libgl-dev
  libhidapi-dev libgtest-dev libbenchmark-dev
  fonts-nanum xvfb xauth xdotool dbus-daemon python3 python3-xlrd dpkg-dev
  libqt6sql6-sqlite libqt6sql6-psql qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  libxlsxwriter-dev libzip-dev openbox poppler-utils python3-openpyxl
  clang libclang-rt-14-dev postgresql libpq-dev
  x11-utils imagemagick libreoffice-calc-nogui
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
