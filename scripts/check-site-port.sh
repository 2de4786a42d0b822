#!/usr/bin/env bash
# Fails with one line when the port of the site address compiled into the launcher
# (CMake option TESSARIL_SITE_ADDRESS of the build folder given) is held by another
# program, so that a run needing the demo site ends before it starts.
#   check-site-port.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
site=$(grep -E '^TESSARIL_SITE_ADDRESS:' "$1/CMakeCache.txt" | cut -d= -f2-)
port=$(grep -oE ':[0-9]+/?$' <<<"$site" | tr -dc 0-9 || true)
exec python3 "$root/site/server.py" --check --port "${port:-80}"
