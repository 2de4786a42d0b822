#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix inside the build folder,
# no debug chatter and no Mono/Gecko installer prompts. The X server comes from the
# caller (xvfb-run).
#
# A private X server has no window manager, and Wine waits two seconds for one each
# time it hides a window it left to the window manager, so every close would take two
# seconds longer than on a desktop. Runs on such a server (the default: tests, stress
# runs, benchmarks, the headless demo) get a prefix in which Wine manages its windows
# itself; WINE_DESKTOP=1 (the demo on the user's display) gets a prefix of its own with
# Wine's default, windows managed by the desktop's window manager.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${WINE_DESKTOP:-}" ]; then
  export WINEPREFIX=${WINEPREFIX:-$here/build/win32/wineprefix-desktop}
else
  export WINEPREFIX=${WINEPREFIX:-$here/build/win32/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win32
ready=$WINEPREFIX/.tessaril-ready
if [ ! -f "$ready" ]; then
  # Programs started side by side (ctest -j) set the prefix up once, one at a time.
  mkdir -p "$WINEPREFIX"
  exec 9>"$WINEPREFIX/.tessaril-setup.lock"
  flock 9
fi
if [ ! -f "$ready" ]; then
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
  # Wine's own dialog font lacks Vietnamese letters (the button captions); DejaVu has them.
  for font in System Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1 || true
  done
  if [ -z "${WINE_DESKTOP:-}" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  fi
  touch "$ready"
fi
exec 9>&-
exec wine "$@"
