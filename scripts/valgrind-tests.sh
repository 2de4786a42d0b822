#!/usr/bin/env bash
# Runs every test program of a Linux preset without sanitizers (native32, or native
# where 32-bit programs cannot run) under valgrind memcheck, each once with all its
# cases: any memory error or definitely/indirectly lost block fails the program. Command,
# working directory and environment come from CTest, so the programs run as
# `ctest --preset PRESET` runs their cases. Logs go to OUT/<test>.log, and the counts to
# OUT/result for the summary of `make test`.
# Usage: scripts/valgrind-tests.sh PRESET OUT [regex of program names]
set -uo pipefail
cd "$(dirname "$0")/.."
preset=${1:?usage: scripts/valgrind-tests.sh PRESET OUT [regex]}
logs=${2:?usage: scripts/valgrind-tests.sh PRESET OUT [regex]}
filter=${3:-}
rm -rf "$logs"
mkdir -p "$logs"
valgrind_args=(--error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
  --show-leak-kinds=definite,indirect --track-origins=yes --num-callers=30
  --gen-suppressions=all)
[ -f "tests/valgrind/$preset.supp" ] && valgrind_args+=(--suppressions="$PWD/tests/valgrind/$preset.supp")

# One line per test program (CTest lists each case as a test of its own; a program runs
# once, all its cases): name, working directory, environment, fixtures, command.
tests=$(scripts/test-programs.py "build/$preset")
status=0
count=0
failed=0
while IFS=$'\x1f' read -r -a fields; do
  [[ ${fields[5]} == *python3 ]] && (cd "${fields[1]}" && "${fields[@]:5}" >/dev/null)
done <<<"$tests"
while IFS=$'\x1f' read -r -a fields; do
  name=${fields[0]} dir=${fields[1]} env=${fields[2]}
  command=("${fields[@]:5}")
  [ -n "$filter" ] && ! [[ $name =~ $filter ]] && continue
  # The export-table checks run cmake scripts, not our programs.
  [[ ${command[0]} == *cmake ]] && continue
  # Fixtures that make test data (python scripts) run as they are, before the programs.
  [[ ${command[0]} == *python3 ]] && continue
  count=$((count + 1))
  env_args=()
  IFS=';' read -r -a env_args <<<"$env"
  start=$SECONDS
  if (cd "$dir" && env "${env_args[@]}" valgrind "${valgrind_args[@]}" --log-file="$OLDPWD/$logs/$name.log" \
    "${command[@]}" >"$OLDPWD/$logs/$name.out" 2>&1); then
    echo "valgrind $name: ok ($((SECONDS - start)) s)"
  else
    echo "valgrind $name: FAILED ($((SECONDS - start)) s); see $logs/$name.log and $name.out" >&2
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|FAILED' "$logs/$name.log" "$logs/$name.out" | head -5 >&2
    status=1
    failed=$((failed + 1))
  fi
done <<<"$tests"
[ "$count" -eq 0 ] && { echo "valgrind: no $preset tests found (build the preset first)" >&2; exit 1; }
echo "$count programs, $failed with errors" >"$logs/result"
exit $status
