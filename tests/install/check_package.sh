#!/usr/bin/env bash
# Packs the build tree into a .deb with CPack and checks the package: its
# control fields, that its dependencies cover every library the program
# links, and that it holds the installed files and nothing else.
# Usage: check_package.sh BUILD_DIR
set -uo pipefail

build=$1

passed=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
pass() { passed=$((passed + 1)); }
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

for tool in cpack dpkg-deb dpkg objdump; do
  if ! command -v "$tool" >/dev/null; then
    fail "$tool missing"
    finish
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB"
  finish
fi
shopt -s nullglob
debs=("$work"/out/rasmik_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  fail "one rasmik_*.deb expected, found ${#debs[@]}"
  finish
fi
deb=${debs[0]}
pass

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
field() { dpkg-deb -f "$deb" "$1"; }
check "Package" test "$(field Package)" = rasmik
check "Version $(field Version)" test "$(field Version)" = "$version"
check "Architecture $(field Architecture)" test "$(field Architecture)" = "$arch"
check "file name" test "$(basename "$deb")" = "rasmik_${version}_${arch}.deb"
check "Maintainer" test -n "$(field Maintainer)"
check "Description" test -n "$(field Description)"

# Depends as one package group a line: "a | b" stays together, versions go.
depends=$(field Depends | tr ',' '\n' | sed -E 's/\([^)]*\)//g; s/ +/ /g; s/^ //; s/ $//')
has_group() { grep -qxF -- "$1" <<<"$depends"; }
for group in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 zlib1g \
  libzip4 libexpat1 libfontconfig1 libx11-6 xdg-utils qt6-translations-l10n "fonts-noto-core | fonts-dejavu-core"; do
  check "Depends has $group (Depends: $(field Depends))" has_group "$group"
done

dpkg-deb -x "$deb" "$work/root"

# Every library the program links comes from a package the .deb depends on.
while read -r soname; do
  path=$(ldconfig -p | awk -v so="$soname" '$1 == so { print $NF; exit }')
  if [ -z "$path" ]; then
    fail "$soname not found by ldconfig"
    continue
  fi
  pkg=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -1 | cut -d: -f1)
  if [ -z "$pkg" ]; then pkg=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1); fi
  check "Depends covers $soname (package ${pkg:-unknown})" \
    bash -c '[ -n "$1" ] && tr "|" "\n" <<<"$2" | tr -d " " | grep -qxF -- "$1"' _ "$pkg" "$depends"
done < <(objdump -p "$work/root/usr/bin/rasmik" | awk '$1 == "NEEDED" { print $2 }')

# The files, and nothing else, all owned by root.
expected="./usr/bin/rasmik
./usr/share/applications/rasmik.desktop
./usr/share/doc/rasmik/changelog.gz
./usr/share/doc/rasmik/commands.md
./usr/share/doc/rasmik/copyright
./usr/share/doc/rasmik/install.md
./usr/share/icons/hicolor/scalable/apps/rasmik.svg
./usr/share/man/man1/rasmik.1.gz
./usr/share/metainfo/io.github.rasmik.rasmik.metainfo.xml
./usr/share/rasmik/translations/rasmik_en.qm"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)
if [ "$actual" = "$expected" ]; then pass; else
  fail "files in the package differ"
  diff <(echo "$expected") <(echo "$actual")
fi
check "every entry owned by root/root" \
  test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"
check "/usr/bin/rasmik is mode 0755" \
  test "$(dpkg-deb -c "$deb" | awk '$6 == "./usr/bin/rasmik" { print $1 }')" = "-rwxr-xr-x"
if command -v desktop-file-validate >/dev/null; then
  check "packaged desktop entry validates" \
    desktop-file-validate "$work/root/usr/share/applications/rasmik.desktop"
fi

# The licence and the change log as Debian keeps them.
copyright=$work/root/usr/share/doc/rasmik/copyright
check "copyright is machine-readable" \
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright"
check "copyright names the authors" grep -qx 'Copyright: 2026 The Rasmik authors' "$copyright"
check "copyright has the licence text" grep -qF 'Permission is hereby granted, free of charge' "$copyright"
changelog=$work/root/usr/share/doc/rasmik/changelog.gz
check "changelog.gz is gzip -9" test "$(od -An -tx1 -j8 -N1 "$changelog" | tr -d ' ')" = 02
check "changelog.gz has no name or time inside (gzip -n)" \
  test "$(od -An -tx1 -j3 -N5 "$changelog" | tr -d ' ')" = 0000000000
check "changelog's latest entry is this version" \
  test "$(zcat "$changelog" | head -1)" = "rasmik ($version) unstable; urgency=medium"

# Lintian: no errors. Warnings and notes are shown, not counted.
if command -v lintian >/dev/null; then
  # Lintian warns when run as root; its own checks are what matter here.
  lintian --display-info --pedantic "$deb" >"$work/lintian.log" 2>&1
  rc=$?
  grep -v '^running with root privileges' "$work/lintian.log" | sed 's/^/lintian: /'
  # 0: nothing at error level, 1: errors found, 2: lintian itself failed.
  check "lintian ran (rc $rc)" test "$rc" -le 1
  errors=$(grep -c '^E: ' "$work/lintian.log")
  check "lintian reports no errors ($errors)" test "$errors" -eq 0 -a "$rc" -eq 0
else
  fail "lintian missing"
fi
finish
