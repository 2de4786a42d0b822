#!/usr/bin/env bash
# Runs the engine, integration, bridge, wrapper, engine page, binding exit and (win32)
# end-to-end test programs (each whole, all its cases in one process) STRESS_RUNS times
# each (default 20) on every target of STRESS_PRESETS, with STRESS_BURNERS processes
# (default 2) burning CPU beside them, and prints a table of the failures per program and
# target. The log of every failed run is kept in build/stress/TARGET/PROGRAM.RUN.log; the
# table is also written to build/stress/summary.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${STRESS_RUNS:-20}
# The Windows target is win32, or win64 where this machine cannot run 32-bit code (and
# native32 then runs under qemu).
windows=win32
scripts_dir=$root/scripts
"$scripts_dir/i386-support.sh" runs win32 >/dev/null || windows=win64
presets=${STRESS_PRESETS:-native-asan native-tsan native32 $windows}
if [[ " $presets " == *" native32 "* ]] && ! why=$("$scripts_dir/i386-support.sh" runs native32); then
  echo "native32: not run: $why"
  presets=${presets/native32/}
fi
burners=${STRESS_BURNERS:-2}
jobs=${JOBS:-2}
out=$root/build/stress
programs_of() {
  echo engine_tests integration_tests bridge_tests wrapper_tests
  # The page and exit tests are not among the thread-sensitive ones run under TSan.
  [ "$1" = native-tsan ] || echo engine_page_tests binding_exit_tests
  case "$1" in win32 | win64) echo launcher_e2e_tests ;; esac
}

if [ -z "${STRESS_INNER:-}" ]; then
  # Built first, so that only the runs share the machine with the burners.
  for preset in $presets; do
    echo "Building $preset ..."
    cmake --preset "$preset" >/dev/null
    # shellcheck disable=SC2046
    cmake --build --preset "$preset" -j "$jobs" --target $(programs_of "$preset") >/dev/null
  done
  case " $presets " in
    *" win32 "* | *" win64 "*)
      "$root/scripts/check-site-port.sh" "$root/build/$windows"
      # The Wine programs need an X server; one private server serves every run.
      STRESS_INNER=1 exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0"
      ;;
  esac
fi

rm -rf "$out"
mkdir -p "$out"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
for _ in $(seq "$burners"); do
  bash -c 'while :; do :; done' &
  pids+=($!)
done

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date +%s)
results=$out/results.tsv  # target, program, failed runs, seconds, failed tests
: >"$results"
# Runs one whole program (all its cases in one process) as CTest would run its cases:
# working directory, environment and emulator from CTest, its fixtures (the demo site)
# started before and stopped after, and CTest's time limit.
run_program() {
  local preset=$1 program=$2 line fields dir env_args setup cleanup status
  line=$(grep -m1 "^$program"$'\x1f' <<<"$listing") || { echo "no test program $program in $preset"; return 1; }
  IFS=$'\x1f' read -r -a fields <<<"$line"
  dir=${fields[1]} setup=${fields[3]} cleanup=${fields[4]}
  env_args=()
  IFS=';' read -r -a env_args <<<"${fields[2]}"
  [ -z "$setup" ] || ctest --test-dir "$root/build/$preset" -R "^($setup)\$" --output-on-failure || return 1
  (cd "$dir" && env "${env_args[@]}" timeout 600 "${fields[@]:5}")
  status=$?
  [ $status -ne 124 ] || echo "***Timeout"
  [ $status -le 128 ] || [ $status -eq 124 ] || echo "***Exception: $(kill -l $((status - 128)))"
  [ -z "$cleanup" ] || ctest --test-dir "$root/build/$preset" -R "^($cleanup)\$" >/dev/null
  return $status
}

for preset in $presets; do
  listing=$("$root/scripts/test-programs.py" "$root/build/$preset")
  for program in $(programs_of "$preset"); do
    failed=0 seconds=0
    : >"$out/tests.tmp"
    mkdir -p "$out/$preset"
    for run in $(seq "$runs"); do
      log=$out/$preset/$program.$run.log
      begin=$(date +%s)
      if run_program "$preset" "$program" >"$log" 2>&1; then
        rm -f "$log"
      else
        failed=$((failed + 1))
        # The failed tests by name, or what ended the run.
        { grep -oE '^\[  FAILED  \] [A-Za-z0-9_/]+\.[A-Za-z0-9_/.]+' "$log" | sed 's/^\[  FAILED  \] //' | sort -u
          grep -oE '\*\*\*(Timeout|Exception: [A-Za-z]+)|Not Run|(AddressSanitizer|ThreadSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)' "$log" | sort -u
        } >>"$out/tests.tmp" || true
        echo "  $preset $program run $run failed: $log"
      fi
      seconds=$((seconds + $(date +%s) - begin))
    done
    names=$(sort "$out/tests.tmp" | uniq -c | sed -E 's/^ *([0-9]+) (.*)$/\2 x\1/' | paste -sd, - | sed 's/,/, /g')
    printf '%s\t%s\t%s\t%s\t%s\n' "$preset" "$program" "$failed" "$seconds" "$names" >>"$results"
  done
done
rm -f "$out/tests.tmp"
load_end=$(cut -d' ' -f1-3 /proc/loadavg)
minutes=$((($(date +%s) - started + 59) / 60))

{
  printf '%-12s %-20s %5s %7s %8s  %s\n' target program runs failed 's/run' 'failed tests (runs)'
  printf '%-12s %-20s %5s %7s %8s  %s\n' ------------ -------------------- ----- ------- -------- -------------------
  total=0 bad=0
  while IFS=$'\t' read -r preset program failed seconds names; do
    printf '%-12s %-20s %5s %7s %8s  %s\n' "$preset" "$program" "$runs" "$failed" "$((seconds / runs))" "$names"
    total=$((total + runs))
    bad=$((bad + failed))
  done <"$results"
  echo "$bad of $total runs failed; $(nproc) CPUs, $burners CPU burners beside the tests," \
    "load average $load_start at the start, $load_end at the end; $minutes min."
} | tee "$out/summary.txt"
awk -F'\t' '$3 > 0 { bad = 1 } END { exit bad }' "$results"
