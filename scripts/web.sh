#!/usr/bin/env bash
# The web edition: builds src/core, sim/ and web/ to WebAssembly with Debian's emscripten and
# lays the static site out in build-web/ (index.html, tesselarc.js, tesselarc.wasm, style, js/).
# Usage: scripts/web.sh [build|serve [PORT]|test|bench]
#   build   (default) installs what is missing and builds the site
#   serve   builds, then serves build-web/ on http://127.0.0.1:PORT/ (default 8018)
#   test    builds, then runs the browser tests (headless chromium; needs build/ for the sim)
#   bench   builds, then prints size and speed figures
set -euo pipefail
cd "$(dirname "$0")/.."
cmd=${1:-build}

packages=(emscripten chromium nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A node that is not Debian's own (nodesource's carries npm inside) stands in for both.
if command -v node >/dev/null && command -v npm >/dev/null; then
  missing=("${missing[@]/nodejs}")
  missing=("${missing[@]/npm}")
fi
missing=($(printf '%s\n' "${missing[@]}" | grep -v '^$' || true))
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Emscripten's optimizer loads Debian's node modules, which a foreign node does not search.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
site=build-web
obj=build-web-obj
emcmake cmake -S web -B "$obj" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$obj" -j2
# The icons come from the skin generator of the desktop build.
icons=build/icons/hicolor
if [ ! -f "$icons/256x256/apps/tesselarc.png" ]; then
  [ -f build/CMakeCache.txt ] || cmake -S . -B build >/dev/null
  cmake --build build -j2 --target tesselarc_skin_files >/dev/null
fi
rm -rf "$site"
mkdir -p "$site/js" "$site/icons"
cp "$obj/tesselarc.js" "$obj/tesselarc.wasm" "$site/"
cp web/site/index.html web/site/style.css web/site/manifest.webmanifest "$site/"
cp web/site/js/*.js "$site/js/"
for size in 64 128 256; do cp "$icons/${size}x${size}/apps/tesselarc.png" "$site/icons/tesselarc-$size.png"; done
cp "$icons/scalable/apps/tesselarc.svg" "$site/icons/"

# The service worker keeps exactly these files, under a stamp made from their contents: a new
# build gets a new stamp, which is what tells a browser that has the old one to update.
files=$(cd "$site" && find . -type f ! -name sw.js | sed 's|^\./||' | LC_ALL=C sort)
stamp=$(cd "$site" && sha256sum $files | sha256sum | cut -c1-16)
list=$(printf '"%s",' $files)
sed -e "s|^const BUILD = .*|const BUILD = '$stamp';|" -e "s|^const FILES = .*|const FILES = [${list%,}];|" \
  web/site/sw.js > "$site/sw.js"
grep -q "^const BUILD = '$stamp';" "$site/sw.js" || { echo "sw.js: no stamp line" >&2; exit 1; }

node_deps() {
  if [ ! -d web/node_modules ] || [ web/package-lock.json -nt web/node_modules ]; then
    (cd web && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

case "$cmd" in
  build) echo "site in $site/" ;;
  serve) exec node web/tools/serve.mjs "$site" "${2:-8018}" ;;
  test)
    node_deps
    if [ ! -x build/tesselarc-sim ] || [ ! -x build/tesselarc-cli ]; then
      cmake -S . -B build >/dev/null
      cmake --build build -j2 --target tesselarc-sim tesselarc-cli
    fi
    cd web && exec node --test --test-concurrency=1 tests/ ;;
  bench)
    node_deps
    # The same code without Asyncify, only to weigh what Asyncify adds.
    emcmake cmake -S web -B build-web-obj-noasyncify -DCMAKE_BUILD_TYPE=Release -DTESSEL_WEB_ASYNCIFY=OFF >/dev/null
    cmake --build build-web-obj-noasyncify -j2 >/dev/null
    cd web && exec node tools/bench.mjs ;;
  *) echo "usage: scripts/web.sh [build|serve [PORT]|test|bench]" >&2; exit 2 ;;
esac
