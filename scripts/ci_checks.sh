#!/usr/bin/env bash
# The checks CI runs after the ordinary build and tests (scripts/test.sh calls this when
# CI=true): every test again under clang's address and undefined-behaviour sanitizers, each
# fuzz target for 60 seconds from its seed corpus, and a short fault soak.
set -euo pipefail
cd "$(dirname "$0")/.."
TESSEL_CLANG=1 scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
start=$(date +%s)
stamp() { echo "== $1 ($(( $(date +%s) - start )) s)"; }

stamp "sanitizer build"
san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=None \
  -DTESSEL_FUZZ=ON -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only $san" \
  -DCMAKE_EXE_LINKER_FLAGS="$san" >/dev/null
cmake --build build-asan -j2 --target core_tests platform_tests e2e_tests gui_tests skin_tests \
  web_tests tesselarc fuzzers >/dev/null

stamp "tests under the sanitizers"
# Any report ends the test that made it, and so fails the run.
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The install and package tests check files, not memory; the ordinary build runs them.
ctest --test-dir build-asan --output-on-failure -j2 --timeout 300 \
  -E '^(install_tree|desktop_files_valid|deb_package)$'

stamp "fuzz regression, 60 s per target"
# Two targets at a time, one a core.
targets=(settings_file_fuzz firmware_records_fuzz hex_text_fuzz strict_masked_fuzz
         export_name_fuzz session_replies_fuzz loader_replies_fuzz hid_reports_fuzz
         setup_json_fuzz setup_link_fuzz)
export TESSEL_FUZZ_BUILD=build-asan
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  pids=()
  for t in "${targets[@]:i:2}"; do
    scripts/fuzz.sh --no-build --time 60 "$t" & pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p"; done
done

stamp "fault soak"
cmake --build build -j2 --target soak >/dev/null
# Its hundreds of CLI runs keep their settings history in a folder of their own.
soak_data=$(mktemp -d /tmp/tesselarc-soak-data-XXXXXX)
XDG_DATA_HOME="$soak_data" build/soak --sessions 100 --jobs 3
rm -rf "$soak_data"

stamp "done"
