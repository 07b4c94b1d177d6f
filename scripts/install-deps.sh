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
  libxml2-dev
  python3 python3-openpyxl python3-xlrd
  clang libclang-rt-14-dev clang-format clang-tidy
  util-linux
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  locales
  xvfb xauth imagemagick xdotool libx11-dev
  qt6-l10n-tools translate-toolkit libxml2-utils
  desktop-file-utils appstream groff-base man-db lintian dpkg-dev file
)

# OASIS' XLIFF schemas, which the tests validate exports against, as Debian's
# php-symfony-translation ships them; taken out of the package without PHP, their
# import of xml.xsd pointed at the copy beside them.
schemas=/usr/local/share/xliff-schemas

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ] && [ -f "$schemas/xliff-core-1.2-strict.xsd" ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ! -f "$schemas/xliff-core-1.2-strict.xsd" ]; then
  work="$(mktemp -d)"
  (cd "$work" && apt-get download -qq php-symfony-translation 2>/dev/null && dpkg-deb -x ./*.deb root)
  from="$work/root/usr/share/php/Symfony/Component/Translation/Resources/schemas"
  sed -i -E 's#schemaLocation="[^"]*xml\.xsd"#schemaLocation="xml.xsd"#' \
    "$from/xliff-core-1.2-strict.xsd" "$from/xliff-core-2.0.xsd"
  $SUDO mkdir -p "$schemas"
  $SUDO cp "$from/xliff-core-1.2-strict.xsd" "$from/xliff-core-2.0.xsd" "$from/xml.xsd" "$schemas/"
  rm -rf "$work"
fi
