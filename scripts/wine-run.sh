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
  # Wine's own dialog font lacks Vietnamese letters (the button captions); DejaVu has them.
  for font in System Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1 || true
  done
fi
exec wine "$@"
