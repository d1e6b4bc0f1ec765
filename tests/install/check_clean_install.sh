#!/usr/bin/env bash
# Installs a .deb on a clean Debian 12 made with debootstrap, as a user would
# (apt-get install ./rasmik_*.deb, without recommended packages), runs the
# installed program as an ordinary user, then removes the package again.
# Needs root, debootstrap and the Debian mirror; takes a few minutes, so it
# is run by hand, not by CTest.
# Usage: check_clean_install.sh [DEB]   (default: build it with scripts/package)
set -uo pipefail

here="$(cd "$(dirname "$0")/../.." && pwd)"
if [ "$(id -u)" -ne 0 ]; then
  echo "check_clean_install: run as root" >&2
  exit 2
fi
if ! command -v debootstrap >/dev/null; then
  echo "check_clean_install: needs debootstrap (apt-get install debootstrap)" >&2
  exit 2
fi
deb=${1:-$("$here/scripts/package" | tail -1)}
if [ ! -f "$deb" ]; then
  echo "check_clean_install: no package: $deb" >&2
  exit 2
fi

passed=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
check() {
  local what=$1
  shift
  if "$@"; then pass; else fail "$what"; fi
}

work=$(mktemp -d)
root=$work/root
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "check_clean_install: debootstrap into $root" >&2
if ! debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1; then
  tail -n 20 "$work/debootstrap.log"
  echo "check_clean_install: debootstrap failed" >&2
  exit 2
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
as_user() {
  in_root setpriv --reuid=65534 --regid=65534 --clear-groups -- \
    env HOME=/tmp/u/home QT_QPA_PLATFORM=offscreen "$@"
}

name=$(basename "$deb")
in_root apt-get update -qq >"$work/apt.log" 2>&1
if ! in_root sh -c "apt-get install -y -q --no-install-recommends ./tmp/$name >/tmp/apt.log 2>&1"; then
  tail -n 20 "$root/tmp/apt.log"
  fail "apt-get install ./$name"
  echo "$passed passed, $failed failed"
  exit 1
fi
pass
check "rasmik is /usr/bin/rasmik" test "$(in_root sh -c 'command -v rasmik')" = /usr/bin/rasmik

mkdir -p "$root/tmp/u/home"
printf 'Name\tId\r\na\t1\r\nb\t2\r\n' >"$root/tmp/u/in.txt"
chown -R 65534:65534 "$root/tmp/u"

check "--version" test "$(as_user rasmik --version 2>/dev/null | head -1)" = "Rasmik - Version 1400.10.01"
for out in out.tsv out.xlsx out.pdf; do
  check "--convert to $out as a user" as_user sh -c "cd /tmp/u && rasmik --convert in.txt $out --title Title"
  check "$out written" test -s "$root/tmp/u/$out"
done
check "text output" test "$(od -An -c "$root/tmp/u/out.tsv")" = "$(printf 'Name\tId\r\na\t1\r\nb\t2\r\n' | od -An -c)"
check "workbook is a zip" test "$(head -c 2 "$root/tmp/u/out.xlsx")" = PK
check "report is a PDF" test "$(head -c 5 "$root/tmp/u/out.pdf")" = %PDF-
check "files kept in ~/.local/share/Rasmik/" test -d "$root/tmp/u/home/.local/share/Rasmik"
check "nothing written to /usr/bin" test "$(ls "$root/usr/bin" | grep -ci rasmik)" = 1
missing=$(in_root sh -c 'ldd /usr/bin/rasmik /usr/lib/*/qt6/plugins/platforms/libqxcb.so | grep "not found"')
check "every library of the program and the xcb plugin found: $missing" test -z "$missing"
check "a Persian font" test -n "$(in_root fc-list ':lang=fa' family)"

check "apt-get remove rasmik" in_root sh -c 'apt-get remove -y -q rasmik >>/tmp/apt.log 2>&1'
for f in usr/bin/rasmik usr/share/applications/rasmik.desktop usr/share/man/man1/rasmik.1.gz \
  usr/share/icons/hicolor/scalable/apps/rasmik.svg usr/share/metainfo/io.github.rasmik.rasmik.metainfo.xml \
  usr/share/rasmik usr/share/doc/rasmik; do
  check "/$f removed" test ! -e "$root/$f"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
