#!/usr/bin/env bash
# Installs the packages given that are missing; never removes a package.
# Usage: scripts/apt-install.sh PACKAGE...
#
# When an index of one architecture is missing or stale (a mirror in the middle of a
# sync), apt's candidates for the two architectures differ and a library that both need
# (Multi-Arch: same, so one version for both) cannot be installed: apt answers "held broken
# packages". The install is then retried taking nothing new from the suite whose index
# failed, and then with both sides of every such library asked for the newest version
# they share (scripts/apt-pair-versions.py).
# APT_INSTALL_AVOID names packages (not installed) that apt must not bring along, not even
# as a recommendation. APT_INSTALL_SIMULATE=1 only simulates the installs (apt-get -s);
# the tests use it with a fake package index.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
simulate=()
[ -z "${APT_INSTALL_SIMULATE:-}" ] || simulate=(-s)
# apt-get reads NAME- as "not this one"; an installed one would be removed, so it is left out.
avoid=()
for p in ${APT_INSTALL_AVOID:-}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || avoid+=("$p-")
done

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Suites whose index of some architecture failed to download.
lagging=()
updated=""
update() {
  [ -n "$updated" ] && return 0
  updated=1
  # A mirror in the middle of a sync serves an index that fails its check; apt keeps the
  # indexes it got, and the fallbacks below cope with the one that is missing.
  local try log
  log=$(mktemp)
  for try in 1 2 3; do
    $sudo apt-get update -qq 2>"$log" && { rm -f "$log"; return 0; }
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 10
  done
  cat "$log" >&2
  mapfile -t lagging < <(sed -n 's|^E: Failed to fetch .*/dists/\([^/]*\)/.*|\1|p' "$log" | sort -u)
  rm -f "$log"
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install "${simulate[@]}" -y -qq --no-remove "$@" "${avoid[@]}"
}

# install PACKAGE...: installs those that are missing.
install() {
  local missing
  mapfile -t missing < <(missing_of "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  update
  apt_install "${missing[@]}" && return 0
  local prefs=() suite pins
  if [ ${#lagging[@]} -gt 0 ]; then
    # Take nothing new from a suite one of whose indexes is missing, for either
    # architecture, so both get the versions of the suites they both see.
    prefs=(-o "Dir::Etc::preferencesparts=$(mktemp -d)")
    for suite in "${lagging[@]}"; do
      printf 'Package: *\nPin: release n=%s\nPin-Priority: 90\n\n' "$suite"
    done >"${prefs[1]#*=}/lagging.pref"
    echo "apt could not install them; again without new packages from ${lagging[*]}" >&2
    apt_install "${prefs[@]}" "${missing[@]}" && return 0
  fi
  echo "apt could not install them; again asking for the versions both architectures share" >&2
  mapfile -t pins < <(python3 scripts/apt-pair-versions.py "${prefs[@]}" "${missing[@]}")
  echo "Pinned: ${pins[*]}" >&2
  apt_install --allow-downgrades "${prefs[@]}" "${missing[@]}" "${pins[@]}"
}

install "$@"
