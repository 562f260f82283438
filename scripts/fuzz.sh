#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one from its seed corpus.
# Usage: scripts/fuzz.sh [--time SECONDS | --runs N] [--no-build] [TARGET...]
#   default: 60 seconds per target (what CI runs); the long run is --runs 10000000.
# New inputs go to build-fuzz/corpus/<target> (the seeds in tests/fuzz/corpus stay as they
# are); a crash leaves its input in build-fuzz/crashes and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-max_total_time=60)
targets=()
build_first=1
while (($#)); do
  case "$1" in
    --time) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --no-build) build_first=0; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
all=(settings_file_fuzz firmware_records_fuzz hex_text_fuzz strict_masked_fuzz export_name_fuzz
     session_replies_fuzz loader_replies_fuzz hid_reports_fuzz setup_json_fuzz setup_link_fuzz)
((${#targets[@]})) || targets=("${all[@]}")
build=${TESSEL_FUZZ_BUILD:-build-fuzz}
if ((build_first)); then
  [ -f "$build/CMakeCache.txt" ] ||
    CC=clang CXX=clang++ cmake -S . -B "$build" -DTESSEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      >/dev/null
  cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
fi
mkdir -p "$build/crashes"
failed=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  log="$build/$t.log"
  if ! "$build/$t" "${limit[@]}" -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
      "$corpus" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    failed=1
    echo "$t: FAILED (see $log)"
    tail -n 30 "$log"
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n1)
  echo "$t: ${runs:-?} executions in ${secs:-?} s, coverage ${cov:-?} edges, ${ft:-?} features"
done
exit $failed
