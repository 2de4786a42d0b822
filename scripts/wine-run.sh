#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix inside the build folder,
# no debug chatter and no Mono/Gecko installer prompts. The X server comes from the
# caller (xvfb-run).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/win32/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win32
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
fi
exec wine "$@"
