#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  libsqlite3-dev sqlite3
  libgsf-1-dev libglib2.0-dev
  libicu-dev
  libsimpleini-dev
  mdbtools-dev
  libxlsxwriter-dev
  python3 python3-openpyxl python3-xlrd
  clang libclang-rt-14-dev clang-format clang-tidy
  util-linux
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  locales
  xvfb xauth imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
