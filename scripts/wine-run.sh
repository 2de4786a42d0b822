#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix inside the build folder,
# no debug chatter and no Mono/Gecko installer prompts. The X server comes from the
# caller (xvfb-run).
# Usage: scripts/wine-run.sh [--target win32|win64] PROGRAM [ARG...]
# The target (default win32, or WINE_TARGET) picks Wine's architecture and the build
# folder whose prefix is used.
#
# A private X server has no window manager, and Wine waits two seconds for one each
# time it hides a window it left to the window manager, so every close would take two
# seconds longer than on a desktop. Runs on such a server (the default: tests, stress
# runs, benchmarks, the headless demo) get a prefix in which Wine manages its windows
# itself; WINE_DESKTOP=1 (the demo on the user's display) gets a prefix of its own with
# Wine's default, windows managed by the desktop's window manager.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
target=${WINE_TARGET:-win32}
if [ "${1:-}" = --target ]; then
  target=$2
  shift 2
fi
case "$target" in
  win32 | win64) ;;
  *)
    echo "wine-run.sh: unknown target '$target' (win32 or win64)" >&2
    exit 2
    ;;
esac
export WINE_TARGET=$target
if [ -n "${WINE_DESKTOP:-}" ]; then
  export WINEPREFIX=${WINEPREFIX:-$here/build/$target/wineprefix-desktop}
else
  export WINEPREFIX=${WINEPREFIX:-$here/build/$target/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=$target
ready=$WINEPREFIX/.tessaril-ready
# Debian's wine command prefers the 32-bit loader whenever 32-bit Wine is installed; a
# 64-bit program goes straight to the 64-bit one, as the command does without it.
wine=(wine)
if [ "$target" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then
  wine=(/usr/lib/wine/wine64)
  export WINELOADER=/usr/lib/wine/wine64
fi

# A prefix is usable when Wine wrote its registry and system folder for this
# architecture; an interrupted or failed set-up leaves a stub behind.
prefix_complete() {
  local system=$WINEPREFIX/drive_c/windows/system32
  [ "$(stat -c %s "$WINEPREFIX/system.reg" 2>/dev/null || echo 0)" -gt 100000 ] &&
    [ -f "$system/kernel32.dll" ] &&
    grep -q "^#arch=$target" "$WINEPREFIX/system.reg"
}

if [ ! -f "$ready" ] || ! prefix_complete; then
  # Programs started side by side (ctest -j) set the prefix up once, one at a time.
  mkdir -p "$WINEPREFIX"
  exec 9>"$WINEPREFIX/../.$(basename "$WINEPREFIX").setup.lock"
  flock 9
fi
if [ ! -f "$ready" ] || ! prefix_complete; then
  if [ -e "$WINEPREFIX/system.reg" ] && ! prefix_complete; then
    echo "wine-run.sh: the Wine prefix $WINEPREFIX is incomplete (an earlier set-up failed); making it again" >&2
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
  rm -f "$ready"
  # A 64-bit prefix is set up with 32-bit programs too when 32-bit Wine is installed; where
  # the kernel cannot run them, they would run under qemu, where Wine hangs.
  if [ "$target" = win64 ] && [ -x /usr/lib/wine/wine ] && ! why=$("$here/scripts/i386-support.sh" probe); then
    echo "wine-run.sh: 32-bit Wine (wine32:i386) is installed, but $why, and Wine would set up its 64-bit prefix through 32-bit programs; remove it: apt-get remove wine32:i386" >&2
    exit 1
  fi
  "${wine[@]}" wineboot -i >/dev/null 2>&1 || true
  # Wine's own dialog font lacks Vietnamese letters (the button captions); DejaVu has them.
  for font in System Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS Sans Serif"; do
    "${wine[@]}" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /t REG_SZ /d "DejaVu Sans" /f >/dev/null 2>&1 || true
  done
  if [ -z "${WINE_DESKTOP:-}" ]; then
    "${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  fi
  # The registry reaches the disk when the prefix's server ends.
  wineserver -w >/dev/null 2>&1 || true
  if ! prefix_complete; then
    echo "wine-run.sh: setting up the Wine prefix $WINEPREFIX ($target) failed; is $([ "$target" = win32 ] && echo wine32 || echo wine64) installed?" >&2
    exit 1
  fi
  touch "$ready"
fi
exec 9>&-
exec "${wine[@]}" "$@"
