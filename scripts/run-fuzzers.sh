#!/usr/bin/env bash
# Runs each libFuzzer target of the `fuzz` preset for FUZZ_SECONDS (default 30) over a
# copy of its committed corpus (tests/fuzz/corpus/<target>), so runs never grow the
# repository's corpus. Exits non-zero when any target finds a crash, a leak or a
# failed check; the crashing input is kept in build/fuzz/fuzz-artifacts/<target>/.
# Usage: scripts/run-fuzzers.sh [target...]   (targets: plugin_paths strings html_parser scheme_read zip_reader xml_reader cookie_header)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
bin=build/fuzz/bin
work=build/fuzz/fuzz-work
artifacts=build/fuzz/fuzz-artifacts
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(plugin_paths strings html_parser scheme_read zip_reader xml_reader cookie_header)

# Per target: the longest input (the strings target repeats its input to 1 MiB itself).
declare -A max_len=([plugin_paths]=4096 [strings]=4096 [html_parser]=16384 [scheme_read]=4096 [zip_reader]=16384 [xml_reader]=8192)

status=0
for t in "${targets[@]}"; do
  exe=$bin/fuzz_$t
  if [ ! -x "$exe" ]; then
    echo "run-fuzzers: $exe is missing (cmake --build --preset fuzz)" >&2
    status=1
    continue
  fi
  rm -rf "$work/$t" "$artifacts/$t"
  mkdir -p "$work/$t" "$artifacts/$t"
  cp tests/fuzz/corpus/"$t"/* "$work/$t"/
  start=$SECONDS
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$exe" -max_total_time="$seconds" -max_len="${max_len[$t]:-4096}" -timeout=60 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$t/" "$work/$t" >"$artifacts/$t/log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$artifacts/$t/log" | grep -o '[0-9]*$')
    echo "fuzz_$t: ok, ${runs:-?} runs in $((SECONDS - start)) s"
  else
    echo "fuzz_$t: FAILED after $((SECONDS - start)) s; log and input in $artifacts/$t/" >&2
    grep -E 'ERROR|SUMMARY|runtime error|deadly signal' "$artifacts/$t/log" | head -5 >&2
    status=1
  fi
done
exit $status
