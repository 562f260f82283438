#!/usr/bin/env bash
# The Debian package as a user meets it: built with cpack, installed with apt-get, the installed
# CLI run on the installed virtual ESC, removed with apt-get, and nothing of it left behind.
# It installs into this machine's /usr, so it runs only as root and never where a tesselarc
# package is installed already.
# Usage: package_test.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || skip "installing a package needs root"
for tool in cpack apt-get dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
if dpkg-query -W -f='${Status}' tesselarc 2>/dev/null | grep -q "ok installed"; then
  skip "a tesselarc package is installed on this machine; it is left alone"
fi

work=$(mktemp -d /tmp/tesselarc-deb-XXXXXX)
# The settings history of the installed CLI stays here, out of the user's data folder.
export XDG_DATA_HOME="$work/data"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  if dpkg-query -W -f='${Status}' tesselarc 2>/dev/null | grep -q "ok installed"; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -o DPkg::Lock::Timeout=300 tesselarc \
      >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/tesselarc_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "cpack made no tesselarc_*.deb"
version=$(dpkg-deb -f "$deb" Version)
project_version=$(grep -m1 '^CMAKE_PROJECT_VERSION:' "$build/CMakeCache.txt" | cut -d= -f2)
[ "$version" = "$project_version" ] || fail "package version $version, project $project_version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6serialport6 libhidapi-hidraw0 libqt6widgets6 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, Depends: $depends"

DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=300 "$deb" \
  >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
dpkg -L tesselarc >"$work/files"

for f in /usr/bin/tesselarc /usr/bin/tesselarc-cli /usr/bin/tesselarc-sim \
         /usr/lib/udev/rules.d/60-tesselarc.rules /usr/share/applications/tesselarc.desktop \
         /usr/share/tesselarc/Back.bmp /usr/share/man/man1/tesselarc-cli.1.gz; do
  [ -e "$f" ] || fail "$f is not installed"
done
[ "$(/usr/bin/tesselarc-cli --version)" = "tesselarc-cli $version" ] || fail "--version"

# The installed CLI on the installed virtual ESC, over a pseudo-terminal.
/usr/bin/tesselarc-sim >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.05
done
pty=$(head -n1 "$work/sim.out")
[ -n "$pty" ] || fail "tesselarc-sim printed no terminal"
out=$(/usr/bin/tesselarc-cli --port "$pty" --timeout 20 read --json) || fail "installed CLI read"
grep -q '"version"' <<<"$out" || fail "installed CLI read nothing: $out"
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
/usr/bin/tesselarc-cli doctor >"$work/doctor.txt" || true
grep -q "udev rule:     installed (/usr/lib/udev/rules.d/60-tesselarc.rules)" "$work/doctor.txt" ||
  fail "doctor does not see the installed rule: $(cat "$work/doctor.txt")"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -o DPkg::Lock::Timeout=300 tesselarc \
  >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
# dpkg keeps the record of a package whose postrm may still be asked to purge ("rc"); no
# file is left with it, and purging drops the record as well.
status=$(dpkg-query -W -f='${db:Status-Abbrev}' tesselarc 2>/dev/null || true)
case "$status" in
  "" | "un "* | "pn "* | "rc "*) ;;
  *) fail "dpkg keeps tesselarc as '$status' after the removal" ;;
esac
left=0
while read -r f; do
  [ -d "$f" ] && continue  # shared folders such as /usr/bin stay
  if [ -e "$f" ] || [ -L "$f" ]; then
    echo "left behind: $f" >&2
    left=1
  fi
done <"$work/files"
for d in /usr/share/tesselarc /usr/share/doc/tesselarc; do
  [ -e "$d" ] && { echo "left behind: $d" >&2; left=1; }
done
[ "$left" = 0 ] || fail "the removal left files behind"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -o DPkg::Lock::Timeout=300 tesselarc \
  >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge"; }
status=$(dpkg-query -W -f='${db:Status-Abbrev}' tesselarc 2>/dev/null || true)
case "$status" in
  "" | "un "* | "pn "*) ;;
  *) fail "dpkg keeps tesselarc as '$status' after the purge" ;;
esac
ls /var/lib/dpkg/info/tesselarc.* >/dev/null 2>&1 && fail "dpkg keeps tesselarc's scripts"
echo "installed, used and removed cleanly"
