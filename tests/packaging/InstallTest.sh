#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR, moves the installed tree to
# another folder, and checks what a user gets there: menu entries and AppStream
# data that the desktop's validators accept, icons of every size, manual pages
# that render without warnings, and programs that run from the moved tree, an
# Access import included (its reader helper found beside them, not in the build
# folder).
#   InstallTest.sh BUILD_DIR VERSION TEST_DATA_DIR
set -euo pipefail
build=$1 version=$2 data=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR=$work/staged cmake --install "$build" --prefix /usr >"$work/install.log"
mv "$work/staged" "$work/moved"
root=$work/moved/usr
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_STATE_HOME=$work/home/state
mkdir -p "$HOME"

# What gets installed where.
for path in bin/quorvin-language bin/quorvin-language-import bin/quorvin-language-export \
    libexec/quorvin-language/quorvin-access-reader \
    share/doc/quorvin-language/copyright share/doc/quorvin-language/changelog.gz; do
  [ -f "$root/$path" ] || fail "not installed: $path"
done
[ ! -e "$root/bin/quorvin-demo-setup" ] || fail "the demo set-up is not for users"

# Menu entries and AppStream data, one each per window program.
for id in de.kalmiro.QuorvinSprachimport de.kalmiro.QuorvinSprachexport; do
  entry=$root/share/applications/$id.desktop
  desktop-file-validate "$entry" || fail "$id.desktop does not validate"
  grep -qx 'Categories=Development;Translation;' "$entry" || fail "$id.desktop: categories"
  grep -qx 'Icon=quorvin-language' "$entry" || fail "$id.desktop: icon"
  program=$(sed -n 's/^Exec=//p' "$entry")
  [ -x "$root/bin/$program" ] || fail "$id.desktop starts $program, which is not installed"
  metainfo=$root/share/metainfo/$id.metainfo.xml
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" ||
    { cat "$work/appstream.log" >&2; fail "$id.metainfo.xml does not validate"; }
  grep -q "<release version=\"$version\"" "$metainfo" || fail "$id.metainfo.xml: release $version"
  grep -q '<p xml:lang="de">' "$metainfo" || fail "$id.metainfo.xml: no German description"
done

# The icon in the hicolor theme: scalable, and each fixed size as large as its folder says.
icons=$root/share/icons/hicolor
[ -f "$icons/scalable/apps/quorvin-language.svg" ] || fail "no scalable icon"
xmllint --noout "$icons/scalable/apps/quorvin-language.svg" || fail "the scalable icon is not XML"
for size in 16 24 32 48 64 128 256; do
  png=$icons/${size}x${size}/apps/quorvin-language.png
  file -b "$png" | grep -q "PNG image data, $size x $size," || fail "icon $png is not $size px"
done

# Manual pages: the same German page in both places, rendered without a warning.
for page in quorvin-language quorvin-language-import quorvin-language-export; do
  for dir in man/man1 man/de/man1; do
    gz=$root/share/$dir/$page.1.gz
    [ -f "$gz" ] || { fail "no manual page $dir/$page.1.gz"; continue; }
    warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 groff -k -man -Tutf8 -wall -z 2>&1)
    [ -z "$warnings" ] || fail "$dir/$page.1: $warnings"
  done
  zcat "$root/share/man/man1/$page.1.gz" | grep -q '^\.SH BESCHREIBUNG' || fail "$page.1 is not German"
done
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$root/share/man/man1/quorvin-language.1.gz" >"$work/page.txt" 2>&1
grep -q 'undo PROJEKT' "$work/page.txt" || fail "man quorvin-language lacks the commands"

# The programs run from the moved tree.
for program in quorvin-language quorvin-language-import quorvin-language-export; do
  shown=$("$root/bin/$program" --version) || fail "$program --version failed"
  [ "$shown" = "$program $version" ] || fail "$program --version says '$shown'"
done

# An Access import from the moved tree.
project() {
  rm -f "$work/p.qrp"
  sqlite3 "$work/p.qrp" "CREATE TABLE TidxTexts(ID INTEGER PRIMARY KEY, L1031 TEXT, L1049 TEXT);
                         INSERT INTO TidxTexts(ID, L1031) VALUES (1, 'Datei'), (7, 'Größe');"
}
project
cp "$data/access/texts-jet4.mdb" "$work/texts.mdb"
"$root/bin/quorvin-language" import "$work/p.qrp" 1049 "$work/texts.mdb" >"$work/import.log" 2>&1 ||
  { cat "$work/import.log" >&2; fail "the Access import from the installed tree failed"; }
# "Файл" in code page 1251, stored as its bytes read as Latin-1
stored=$(sqlite3 "$work/p.qrp" "SELECT hex(L1049) FROM TidxTexts WHERE ID = 1")
[ "$stored" = "C394C3A0C3A9C3AB" ] || fail "row 1 after the Access import: $stored"

# Without the installed helper the import fails and says so: the helper above
# was the installed one, not the build folder's.
rm "$root/libexec/quorvin-language/quorvin-access-reader"
project
if "$root/bin/quorvin-language" import "$work/p.qrp" 1049 "$work/texts.mdb" >"$work/import.log" 2>&1; then
  fail "an Access import without the installed helper succeeded"
fi
grep -q 'quorvin-access-reader' "$work/import.log" || fail "the failure does not name the helper"
[ -z "$(sqlite3 "$work/p.qrp" "SELECT L1049 FROM TidxTexts WHERE L1049 IS NOT NULL")" ] ||
  fail "the failed import changed the project"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures" >&2
  exit 1
fi
echo "installed tree works"
