#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool on the virtual ESC.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -x build/tesselarc ]; then
  exec build/tesselarc --demo "$@"
fi
exec build/tesselarc-cli --demo read
