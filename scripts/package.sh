#!/usr/bin/env bash
# Builds the Debian package build/quorvin-language_<version>_<arch>.deb and
# checks it with lintian, which must report no error.
#   scripts/package.sh            build and check the package
#   scripts/package.sh --install  and then install it (with what it depends on)
#                                 and run its programs from /usr/bin
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
rm -f build/quorvin-language_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/quorvin-language_*.deb)
echo "$deb"
dpkg-deb --field "$deb" Package Version Depends
lintian --fail-on error --suppress-tags binary-has-unneeded-section "$deb"

if [ "${1:-}" = "--install" ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y -qq "./$deb" >/dev/null
  for program in quorvin-language quorvin-language-import quorvin-language-export; do
    /usr/bin/$program --version
  done
  echo "installed; remove with: sudo dpkg -r quorvin-language"
fi
