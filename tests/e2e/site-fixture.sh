#!/usr/bin/env bash
# Starts or stops the demo site for the end-to-end tests, and points Wine's URL
# handler at a recorder so that "open in the default browser" can be checked.
#   site-fixture.sh start PORT STATE_DIR   |   site-fixture.sh stop STATE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
case "$1" in
  start)
    port=$2 state=$3
    mkdir -p "$state"
    [ -f "$state/site.pid" ] && kill "$(cat "$state/site.pid")" 2>/dev/null || true
    rm -f "$state/requests.jsonl" "$state/opened-urls.txt"
    python3 "$root/site/server.py" --port "$port" --log "$state/requests.jsonl" \
      --slow /game/game.php=8000 \
      --popup /UCClient/giftcode.php=/popup-target.html \
      --popup /UCClient/napthe.php=client://test/ >"$state/site.out" 2>&1 &
    echo $! >"$state/site.pid"
    for _ in $(seq 100); do
      grep -q "site ready" "$state/site.out" 2>/dev/null && break
      sleep 0.1
    done
    grep -q "site ready" "$state/site.out" || { cat "$state/site.out"; exit 1; }
    # Wine hands URLs to the programs listed here; ours only writes them down.
    cat >"$state/record-url.sh" <<REC
#!/bin/sh
echo "\$1" >> "$state/opened-urls.txt"
REC
    chmod +x "$state/record-url.sh"
    "$root/scripts/wine-run.sh" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ \
      /d "$state/record-url.sh" /f >/dev/null 2>&1
    ;;
  stop)
    state=$2
    [ -f "$state/site.pid" ] && kill "$(cat "$state/site.pid")" 2>/dev/null || true
    rm -f "$state/site.pid"
    ;;
esac
