#!/usr/bin/env bash
# Starts or stops the demo site for the end-to-end tests, and points Wine's URL
# handler at a recorder so that "open in the default browser" can be checked.
#   site-fixture.sh start PORT STATE_DIR   |   site-fixture.sh stop STATE_DIR
# A port held by another program ends the start with the site's one-line message.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

# Ends the site this fixture started earlier (if it still runs) and waits until it is
# gone, so that its port is free again for the next start.
stop_site() {
  local state=$1 pid
  [ -f "$state/site.pid" ] || return 0
  pid=$(cat "$state/site.pid")
  rm -f "$state/site.pid"
  # Only our site: the number may belong to another process by now.
  grep -qs 'site/server.py' "/proc/$pid/cmdline" || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

case "$1" in
  start)
    port=$2 state=$3
    mkdir -p "$state"
    stop_site "$state"
    rm -f "$state/requests.jsonl" "$state/opened-urls.txt" "$state/site.out" "$state/hold.txt"
    python3 "$root/site/server.py" --port "$port" --log "$state/requests.jsonl" \
      --slow /game/game.php=3000 --hold-file "$state/hold.txt" \
      --popup /UCClient/giftcode.php=/popup-target.html \
      --popup /UCClient/napthe.php=client://test/ >"$state/site.out" 2>&1 &
    pid=$!
    echo $pid >"$state/site.pid"
    # Ready, or ended (a busy port); the deadline only ends a hung start.
    for _ in $(seq 1200); do
      grep -q "site ready" "$state/site.out" 2>/dev/null && break
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    if ! grep -q "site ready" "$state/site.out"; then
      rm -f "$state/site.pid"
      kill $pid 2>/dev/null || true
      cat "$state/site.out" >&2
      exit 1
    fi
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
    stop_site "$2"
    ;;
esac
