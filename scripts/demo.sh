#!/usr/bin/env bash
# The demo: the launcher under Wine against the local demo site. Uses the user's X
# display when there is one, a private X server otherwise; saves a screenshot of the
# launcher once the first page has loaded, in the build folder (DEMO_SCREENSHOT names
# another file). Closing the window ends the demo and stops the site (on a private X
# server the demo closes it after the screenshot).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The launcher is a 32-bit program; where this machine cannot run 32-bit code the 64-bit
# build of the same program stands in.
target=win32
if [ -z "${DEMO_INNER:-}" ]; then
  if ! why=$("$root/scripts/i386-support.sh" runs win32); then
    echo "The 32-bit launcher cannot run here (${why%%;*}): running the 64-bit build instead."
    target=win64
  fi
  cmake --preset "$target" >/dev/null
  cmake --build --preset "$target" -j "${JOBS:-2}" --target Tessaril cef_engine >/dev/null
  export DEMO_TARGET=$target
fi
target=${DEMO_TARGET:-$target}
export WINE_TARGET=$target
build=$root/build/$target
state=$build/demo
shot=${DEMO_SCREENSHOT:-$build/demo/launcher.png}
site=$(grep -E '^TESSARIL_SITE_ADDRESS:' "$build/CMakeCache.txt" | cut -d= -f2-)
port=${site##*:}

if [ -z "${DISPLAY:-}" ] && [ -z "${DEMO_INNER:-}" ]; then
  echo "No display: running on a private X server."
  DEMO_INNER=1 DEMO_HEADLESS=1 DEMO_SCREENSHOT="$shot" exec xvfb-run -a -s "-screen 0 1440x860x24" "$0"
fi

# On the user's display a window manager runs: Wine leaves the window to it.
[ -n "${DEMO_HEADLESS:-}" ] || export WINE_DESKTOP=1

mkdir -p "$state" "$(dirname "$shot")"
rm -f "$state/requests.jsonl" "$state/site.out"
python3 "$root/site/server.py" --port "$port" --log "$state/requests.jsonl" >"$state/site.out" 2>&1 &
site_pid=$!
trap 'kill $site_pid 2>/dev/null || true' EXIT
# Ready, or ended: a port held by another program gets the site's one line.
until grep -q "site ready" "$state/site.out" 2>/dev/null; do
  kill -0 $site_pid 2>/dev/null || { cat "$state/site.out" >&2; exit 1; }
  sleep 0.1
done

"$root/scripts/wine-run.sh" --target "$target" "$build/bin/Tessaril.exe" &
launcher_pid=$!
echo "Tessaril started (site: $site)."
# Loaded: the site saw the login page and the window's caption shows its title. Without
# both there is nothing to show, and the demo says which one did not happen.
requested="" shown=""
for _ in $(seq 1200); do
  grep -q '/UCClient/login.php' "$state/requests.jsonl" 2>/dev/null && requested=1
  xwininfo -root -tree 2>/dev/null | grep -q '"Tessaril - ' && shown=1
  [ -n "$requested" ] && [ -n "$shown" ] && break
  kill -0 $launcher_pid 2>/dev/null || break
  sleep 0.1
done
if [ -z "$requested" ] || [ -z "$shown" ]; then
  if ! kill -0 $launcher_pid 2>/dev/null; then
    echo "Demo failed: Tessaril.exe ended before it showed the login page." >&2
  elif [ -z "$requested" ]; then
    echo "Demo failed: the site never got the login page's request ($site/UCClient/login.php) within 120 s." >&2
  else
    echo "Demo failed: the window's caption never showed the login page's title within 120 s." >&2
  fi
  WINEPREFIX=$build/wineprefix wineserver -k 2>/dev/null || true
  exit 1
fi
sleep 2  # let the page paint
import -window root "$shot"
echo "Screenshot of the launcher: $shot"
if [ -n "${DEMO_HEADLESS:-}" ]; then
  WINEPREFIX=$build/wineprefix wineserver -k 2>/dev/null || true
fi
wait $launcher_pid || true
echo "Demo ended."
