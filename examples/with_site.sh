#!/usr/bin/env bash
# Runs a command beside the demo site: starts site/server.py on a free port, puts the
# site's address in place of every @SITE@ in the command's arguments, and stops the site
# when the command ends. Exit status: the command's.
#   with_site.sh COMMAND [ARG...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
coproc SITE { exec python3 "$root/site/server.py" --port 0; }
site_pid=$SITE_PID
trap 'kill "$site_pid" 2>/dev/null' EXIT
# The site's first line names its address; none means it did not start (its reason is
# on standard error already).
if ! read -r ready <&"${SITE[0]}" || [[ $ready != "site ready on "* ]]; then
  echo "with_site.sh: the demo site did not start" >&2
  exit 1
fi
"${@//@SITE@/${ready#site ready on }}"
