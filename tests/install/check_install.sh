#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks what a user gets:
# the files and nothing else, the desktop entry, the icon, the man page, and
# the folder where the installed program (or a portable copy of it) keeps its
# settings and scratch files.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

build=$1
source=$2
version=1400.10.01

passed=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
# check DESCRIPTION COMMAND...: one counted check.
check() {
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  fail "cmake --install"
  finish
fi
pass

# ---- the files, and nothing else (no tools, benchmark or tests) ----
expected="bin/rasmik
share/applications/rasmik.desktop
share/doc/rasmik/changelog.gz
share/doc/rasmik/commands.md
share/doc/rasmik/copyright
share/doc/rasmik/install.md
share/icons/hicolor/scalable/apps/rasmik.svg
share/man/man1/rasmik.1.gz
share/metainfo/io.github.rasmik.rasmik.metainfo.xml
share/rasmik/translations/rasmik_en.qm"
actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" = "$expected" ]; then pass; else
  fail "installed files differ"
  diff <(echo "$expected") <(echo "$actual")
fi

exe=$prefix/bin/rasmik
check "bin/rasmik is executable" test -x "$exe"
check "bin/rasmik is the program, not a script" \
  bash -c '[ "$(head -c 4 "$1" | od -An -c | tr -d " ")" = "177ELF" ]' _ "$exe"

# ---- --version and --help of the installed program, no display ----
home=$work/home-version
mkdir -p "$home"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" "$exe" --version 2>"$work/version.err")
rc=$?
check "--version exits 0 (rc $rc)" test "$rc" -eq 0
check "--version first line: $(head -1 <<<"$out")" test "$(head -1 <<<"$out")" = "Rasmik - Version $version"
check "--version names Qt 6: $(sed -n 2p <<<"$out")" grep -Eq '^Qt 6\.[0-9]+\.[0-9]+$' <<<"$(sed -n 2p <<<"$out")"
out=$(env -u DISPLAY HOME="$home" "$exe" --help 2>/dev/null)
check "--help shows --convert" grep -q -- '--convert INPUT OUTPUT' <<<"$out"

# ---- desktop entry ----
desktop=$prefix/share/applications/rasmik.desktop
if command -v desktop-file-validate >/dev/null; then
  msgs=$(desktop-file-validate "$desktop" 2>&1)
  rc=$?
  check "desktop-file-validate: $msgs" test "$rc" -eq 0 -a -z "$msgs"
else
  fail "desktop-file-validate missing (package desktop-file-utils)"
fi
key() { sed -n "s/^$1=//p" "$desktop" | head -1; }
check "Type" test "$(key Type)" = Application
check "Name" test "$(key Name)" = Rasmik
check "Exec" test "$(key Exec)" = "rasmik %f"
check "Exec names the installed program" test -x "$prefix/bin/$(key Exec | cut -d' ' -f1)"
check "Icon names the installed icon" \
  test -f "$prefix/share/icons/hicolor/scalable/apps/$(key Icon).svg"
check "MimeType" test "$(key MimeType)" = "text/plain;text/csv;text/tab-separated-values;application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;application/vnd.oasis.opendocument.spreadsheet;application/vnd.ms-excel;"
check "Terminal" test "$(key Terminal)" = false
check "English comment" test -n "$(key Comment)"
check "Persian comment" env LC_ALL=C.UTF-8 grep -qP '\p{Arabic}{3}' <<<"$(key 'Comment\[fa\]')"
check "Persian generic name" env LC_ALL=C.UTF-8 grep -qP '\p{Arabic}{3}' <<<"$(key 'GenericName\[fa\]')"

# ---- AppStream metainfo: valid, naming the desktop entry and the program ----
metainfo=$prefix/share/metainfo/io.github.rasmik.rasmik.metainfo.xml
if command -v appstreamcli >/dev/null; then
  msgs=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)
  rc=$?
  check "appstreamcli validate: $msgs" test "$rc" -eq 0
  check "appstreamcli validate: no note at all" bash -c '! grep -Eq "^[EWIP]: " <<<"$1"' _ "$msgs"
else
  fail "appstreamcli missing (package appstream)"
fi
check "metainfo names the desktop entry, the program and this version" python3 - "$metainfo" "$version" <<'EOF'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.findtext('launchable') == 'rasmik.desktop', root.findtext('launchable')
assert root.findtext('provides/binary') == 'rasmik'
assert root.find('releases/release').get('version') == sys.argv[2], root.find('releases/release').get('version')
EOF

# ---- icon: an SVG document, square ----
svg=$prefix/share/icons/hicolor/scalable/apps/rasmik.svg
check "icon is a square SVG document" python3 - "$svg" <<'EOF'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == '{http://www.w3.org/2000/svg}svg', root.tag
x, y, w, h = (float(v) for v in root.get('viewBox').split())
assert w == h and w > 0, (w, h)
assert len(root) > 3
EOF

# ---- man page: renders without warnings, tells the command line and the files ----
man=$prefix/share/man/man1/rasmik.1.gz
check "man page is gzip" gzip -t "$man"
if command -v groff >/dev/null; then
  # One long line each, no hyphenation, so that the checks below find whole words.
  text=$(zcat "$man" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -rLL=400n -rHY=0 -P-cbou 2>"$work/groff.err")
  rc=$?
  check "groff renders the man page without warnings: $(cat "$work/groff.err")" \
    test "$rc" -eq 0 -a ! -s "$work/groff.err"
  for word in "rasmik --convert INPUT OUTPUT [--title TEXT]" "--help" "--version" \
    "~/.local/share/Rasmik/" "rasmik_Settings.cfg" "AppOptions.txt" "NoSheet" "TextEditor" \
    "Font.fnt" "Option.cfg" "HPrint.txt" "ClipTablePaste.txt" "ClipTablePasteHdr.txt" \
    "ColValueN.txt" "CellFormat" ".Bak" "Rasmik $version" "/usr/share/doc/rasmik/commands.md"; do
    check "man page mentions $word" grep -qF -- "$word" <<<"$text"
  done
  for status in 0 1 2 3; do
    check "man page explains exit status $status" grep -qE "^ +$status +[A-Z]" <<<"$text"
  done
else
  fail "groff missing (package groff-base)"
fi

# ---- where the program keeps its files ----
# Each case puts a remembered column order into the folder where the program
# should look, converts a three-column table and reads back the column order
# that comes out. AppOptions.txt with NoSheet=1 switches the workbook export
# off, which shows the same from a second file.
#
# The key of the column names Name, Id, Date: the hex bytes of the upper-cased
# names in sorted order, DATE ID NAME.
key_line() { printf '44415445_4944_4E414D45_=%s\r\n' "$1"; }
order_id_name_date=$(key_line $'ID\tNAME\tDATE\t')
order_date_id_name=$(key_line $'DATE\tID\tNAME\t')

if [ "$(id -u)" -eq 0 ]; then
  # Root may write anywhere: run as nobody, for whom the root-owned prefix is
  # read-only, as /usr/bin is for a user.
  if ! command -v setpriv >/dev/null; then
    fail "setpriv missing (package util-linux)"
    finish
  fi
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  owner=65534:65534
else
  chmod a-w "$prefix/bin"
  as_user=()
  owner=
fi

# new_folder PATH: a folder the user running the program owns.
new_folder() {
  mkdir -p "$1"
  if [ -n "$owner" ]; then chown -R "$owner" "$1"; fi
}
# put FOLDER NAME TEXT: a file in that folder, owned by that user.
put() {
  mkdir -p "$1"
  printf '%s' "$3" >"$1/$2"
  if [ -n "$owner" ]; then chown -R "$owner" "$1"; fi
}
# run HOME EXE ARGS...: the program as that user, with that home folder.
run() {
  local home=$1 exe=$2
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u XDG_DATA_HOME HOME="$home" \
    QT_QPA_PLATFORM=offscreen "${as_user[@]}" "$exe" "$@"
}

data=$work/data
new_folder "$data"
put "$data" in.txt $'Name\tId\tDate\r\na\t1\t1400\r\nb\t2\t1401\r\n'
in_file_order=$'Name\tId\tDate\r\na\t1\t1400\r\nb\t2\t1401\r\n'
in_id_name_date=$'Id\tName\tDate\r\n1\ta\t1400\r\n2\tb\t1401\r\n'
in_date_id_name=$'Date\tId\tName\r\n1400\t1\ta\r\n1401\t2\tb\r\n'

# output_is FILE TEXT: the file holds exactly these bytes.
output_is() { [ -f "$1" ] && [ "$(od -An -c "$1")" = "$(printf '%s' "$2" | od -An -c)" ]; }

# 1. Installed in a folder the user cannot write: ~/.local/share/Rasmik/.
touch "$work/marker"
home=$work/home-installed
new_folder "$home"
put "$home/.local/share/Rasmik" Option.cfg "$order_id_name_date"
put "$home/.local/share/Rasmik" AppOptions.txt $'NoSheet=1\r\n'
run "$home" "$exe" --convert "$data/in.txt" "$data/installed.txt" 2>"$work/run.err"
rc=$?
check "installed: --convert exits 0 (rc $rc: $(cat "$work/run.err"))" test "$rc" -eq 0
check "installed: column order read from ~/.local/share/Rasmik/Option.cfg" \
  output_is "$data/installed.txt" "$in_id_name_date"
run "$home" "$exe" --convert "$data/in.txt" "$data/installed.xlsx" 2>/dev/null
rc=$?
check "installed: NoSheet=1 from ~/.local/share/Rasmik/AppOptions.txt gives exit 3 (rc $rc)" \
  test "$rc" -eq 3 -a ! -e "$data/installed.xlsx"
check "installed: nothing written beside the program" \
  test -z "$(find "$prefix" -newer "$work/marker" ! -type d)"

# 2. The folder is made on first use.
home=$work/home-fresh
new_folder "$home"
run "$home" "$exe" --convert "$data/in.txt" "$data/fresh.txt" 2>"$work/run.err"
rc=$?
check "fresh home: --convert exits 0 (rc $rc: $(cat "$work/run.err"))" test "$rc" -eq 0
check "fresh home: ~/.local/share/Rasmik/ made" test -d "$home/.local/share/Rasmik"
check "fresh home: columns in file order" output_is "$data/fresh.txt" "$in_file_order"

# 3. A portable copy keeps its files beside itself and leaves the home alone.
portable=$work/portable
new_folder "$portable"
cp "$exe" "$portable/rasmik"
put "$portable" Option.cfg "$order_date_id_name"
if [ -n "$owner" ]; then chown -R "$owner" "$portable"; fi
home=$work/home-installed # holds another order and NoSheet=1, both to be ignored
run "$home" "$portable/rasmik" --convert "$data/in.txt" "$data/portable.txt" 2>"$work/run.err"
rc=$?
check "portable: --convert exits 0 (rc $rc: $(cat "$work/run.err"))" test "$rc" -eq 0
check "portable: column order read from Option.cfg beside the program" \
  output_is "$data/portable.txt" "$in_date_id_name"
run "$home" "$portable/rasmik" --convert "$data/in.txt" "$data/portable.xlsx" 2>"$work/run.err"
rc=$?
check "portable: workbook written, the home's NoSheet=1 not read (rc $rc: $(cat "$work/run.err"))" \
  test "$rc" -eq 0 -a -s "$data/portable.xlsx"
home=$work/home-portable
new_folder "$home"
run "$home" "$portable/rasmik" --convert "$data/in.txt" "$data/portable2.txt" 2>/dev/null
check "portable: no ~/.local/share/Rasmik/ made" test ! -e "$home/.local/share/Rasmik"

finish
