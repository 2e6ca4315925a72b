#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for the given number of seconds, starting from its committed seed
# corpus (tests/fuzz/corpus/<target>, which also holds every past finding as a regression case).
# Exits non-zero when any target finds a crash, a leak, a stall (an input running longer than the
# timeout) or an input that needs too much memory.
#
#   scripts/fuzz.sh 3            smoke run (the test suite runs this)
#   scripts/fuzz.sh 600          a longer run, ten minutes per target
#   scripts/fuzz.sh 120 ini      only the targets whose name contains "ini"
#
# New inputs found go to build-fuzz/corpus/<target>; findings to build-fuzz/findings/<target>/.
# A finding, once fixed, is copied into tests/fuzz/corpus/<target>/ as a regression case.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
filter=${2:-}
# An input that runs longer than this is a stall; the inputs are small (a few KB).
timeout=${FUZZ_TIMEOUT:-10}
rss_limit=${FUZZ_RSS_LIMIT_MB:-2048}

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --preset fuzz "${launcher[@]}" >/dev/null || exit 2
cmake --build --preset fuzz --target corvane_fuzz || exit 2

out=build-fuzz
status=0
printf '%-22s %10s %8s %8s %s\n' target executions coverage features findings
for binary in "$out"/fuzz/*_fuzz; do
  name=$(basename "$binary" _fuzz)
  [[ -n $filter && $name != *"$filter"* ]] && continue
  seeds=tests/fuzz/corpus/$name
  work=$out/corpus/$name
  findings=$out/findings/$name
  mkdir -p "$work" "$findings" "$seeds"
  log=$out/findings/$name.log
  stamp=$out/findings/.$name.started
  touch "$stamp"
  # -close_fd_mask=3: the code under test may log to stdout/stderr; the figures come from the log.
  "$binary" "$work" "$seeds" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb="$rss_limit" \
    -artifact_prefix="$findings/" -print_final_stats=1 -close_fd_mask=3 >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) \
          -newer "$stamp" 2>/dev/null | wc -l)
  if [[ $rc -ne 0 && $found -eq 0 ]]; then found=1; fi
  printf '%-22s %10s %8s %8s %s\n' "$name" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$found"
  if [[ $found -ne 0 ]]; then
    status=1
    echo "  see $log and $findings/" >&2
    grep -m3 -E 'ERROR|SUMMARY|timeout|out-of-memory' "$log" | sed 's/^/  /' >&2
  fi
done
exit $status
