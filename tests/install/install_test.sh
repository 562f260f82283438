#!/usr/bin/env bash
# cmake --install into a temporary prefix: every file an installation needs is there, and the
# installed tools run from it with the build folder out of sight (a private mount namespace
# lays an empty folder over it), so nothing installed leans on the build tree.
# Usage: install_test.sh BUILD_FOLDER
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }

run_installed() {
  # The settings history of these runs stays in the prefix, out of the user's data folder.
  export XDG_DATA_HOME="$prefix/data"
  # The installed CLI reads the built-in virtual ESC.
  local out
  out=$("$prefix/bin/tesselarc-cli" --demo read --json) || fail "installed tesselarc-cli --demo read"
  grep -q '"version"' <<<"$out" || fail "installed tesselarc-cli printed no settings: $out"
  "$prefix/bin/tesselarc-cli" --version | grep -qx "tesselarc-cli [0-9.]*" || fail "--version"
  QT_QPA_PLATFORM=offscreen "$prefix/bin/tesselarc" --version 2>/dev/null |
    grep -qx "tesselarc [0-9.]*" || fail "tesselarc --version"
  # The desktop tool: still running after a few seconds means it found its skins (without
  # them it closes at once with status 1). Its own instance name keeps it off other runs.
  local rc=0
  USER="install-test-$$" QT_QPA_PLATFORM=offscreen timeout 4 "$prefix/bin/tesselarc" --demo \
    >/dev/null 2>"$prefix/gui.err" || rc=$?
  [ "$rc" = 124 ] || fail "installed tesselarc --demo ended with $rc: $(cat "$prefix/gui.err")"
}

# Second half, inside the namespace: BUILD_FOLDER (now empty) and the installed prefix.
if [ "${TESSEL_BUILD_HIDDEN:-}" = 1 ]; then
  prefix=$2
  [ -z "$(ls -A "$1")" ] || fail "the build folder is still visible"
  run_installed
  exit 0
fi

build=$(cd "$1" && pwd)
prefix=$(mktemp -d /tmp/tesselarc-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
  bin/tesselarc bin/tesselarc-cli bin/tesselarc-sim
  share/applications/tesselarc.desktop
  share/icons/hicolor/48x48/apps/tesselarc.png
  share/icons/hicolor/128x128/apps/tesselarc.png
  share/icons/hicolor/256x256/apps/tesselarc.png
  share/icons/hicolor/scalable/apps/tesselarc.svg
  share/man/man1/tesselarc-cli.1.gz
  lib/udev/rules.d/60-tesselarc.rules
)
for skin in Back.bmp V1Menu.bmp V3Menu.bmp b61.bmp b51.bmp b7.bmp b52.bmp b6.bmp b4.bmp b3.bmp \
            b2.bmp LB.bmp V1.bmp; do
  expected+=("share/tesselarc/$skin")
done
for f in "${expected[@]}"; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
for p in bin/tesselarc bin/tesselarc-cli bin/tesselarc-sim; do
  [ -x "$prefix/$p" ] || fail "$p is not executable"
  if readelf -d "$prefix/$p" | grep -E "R(UN)?PATH" | grep -qF "$build"; then
    fail "$p keeps a run path into the build folder"
  fi
done
metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
[ -s "${metainfo[0]}" ] || fail "no AppStream metainfo"
for size in 48 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/tesselarc.png" |
    grep -q "PNG image data, $size x $size" || fail "the $size px icon is not $size x $size"
done
zcat "$prefix/share/man/man1/tesselarc-cli.1.gz" | grep -q '^\.SH NAME' || fail "man page"

if unshare -m true 2>/dev/null; then
  hide=(unshare -m)
elif unshare -rm true 2>/dev/null; then
  hide=(unshare -rm)
else
  echo "no mount namespace here: the build folder cannot be hidden"
  exit 77
fi
export TESSEL_BUILD_HIDDEN=1
"${hide[@]}" bash -c 'mount -t tmpfs tesselarc-hidden "$1" && exec bash "$2" "$1" "$3"' \
  hide "$build" "$0" "$prefix"
echo "install tree complete; installed tools ran with the build folder hidden"
