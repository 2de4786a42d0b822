#!/usr/bin/env bash
# Launcher start-up under Wine with our engine: from starting Tessaril.exe to the login
# page's title in the window caption (the display handler's report of the loaded page),
# RUNS times (default 5) on a private X server; prints each time and the median.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win32
runs=${RUNS:-5}
if [ -z "${STARTUP_INNER:-}" ]; then
  STARTUP_INNER=1 exec xvfb-run -a -s "-screen 0 1440x860x24" "$0"
fi
site=$(grep -E '^TESSARIL_SITE_ADDRESS:' "$build/CMakeCache.txt" | cut -d= -f2-)
state=$build/startup-bench
mkdir -p "$state"
rm -f "$state/site.out"
python3 "$root/site/server.py" --port "${site##*:}" >"$state/site.out" 2>&1 &
site_pid=$!
trap 'kill $site_pid 2>/dev/null || true' EXIT
until grep -q "site ready" "$state/site.out" 2>/dev/null; do
  kill -0 $site_pid 2>/dev/null || { cat "$state/site.out" >&2; exit 1; }
  sleep 0.1
done
export WINEPREFIX=$build/wineprefix
"$root/scripts/wine-run.sh" wineboot >/dev/null 2>&1 || true  # a warm Wine, as for a player
times=()
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  "$root/scripts/wine-run.sh" "$build/bin/Tessaril.exe" &
  pid=$!
  until xwininfo -root -tree 2>/dev/null | grep -q '"Tessaril - '; do
    kill -0 $pid 2>/dev/null || { echo "launcher ended early" >&2; exit 1; }
    sleep 0.02
  done
  end=$(date +%s%N)
  ms=$(((end - start) / 1000000))
  times+=("$ms")
  echo "run $i: $ms ms"
  wineserver -k 2>/dev/null || true
  wait $pid 2>/dev/null || true
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "launcher start-up to the first page (median of $runs): $median ms"
