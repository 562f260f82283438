#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300
# The web edition in headless chromium (builds build-web/ first).
scripts/web.sh test
# CI also runs the sanitizer pass, the fuzz regression and the fault soak.
if [ "${CI:-}" = "true" ]; then
  scripts/ci_checks.sh
fi
