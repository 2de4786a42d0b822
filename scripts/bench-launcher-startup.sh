#!/usr/bin/env bash
# Launcher start-up under Wine against a bare window of the same class, warm and cold,
# on a private X server: see scripts/bench-startup.py.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec xvfb-run -a -s "-screen 0 1440x860x24" python3 "$root/scripts/bench-startup.py"
