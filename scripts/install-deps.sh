#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is there, never
# removes a package.
#
# What a machine needs depends on whether its kernel runs 32-bit code (scripts/
# i386-support.sh probe): where it does, 32-bit Wine and the i386 C library's debugging
# symbols (valgrind) come from the i386 architecture; where it does not, qemu runs the
# 32-bit Linux tests and 64-bit Wine the Windows ones, and no i386 package is installed.
# The 32-bit Linux build's HTTP library is unpacked from Debian's i386 packages into
# build/i386-libs (scripts/fetch-i386-libs.sh), not installed, so its libraries never have
# to match the versions of the machine's own.
#
# When an index of one architecture is missing or stale (a mirror in the middle of a
# sync), apt's candidates for the two architectures differ and a library that both need
# cannot be installed; the install is then retried with both sides asked for the newest
# version they share (scripts/apt-pair-versions.py).
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(dpkg --print-architecture)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

base=(cmake g++ g++-multilib googletest libgtest-dev libbenchmark-dev duktape-dev
  "libcpp-httplib-dev:$native" g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
  xvfb xauth python3 imagemagick clang libclang-rt-14-dev valgrind fonts-dejavu-core
  zlib1g-dev lib32z1-dev libz-mingw-w64-dev)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

updated=""
update() {
  [ -n "$updated" ] && return 0
  updated=1
  # A mirror in the middle of a sync serves an index that fails its check; apt keeps the
  # indexes it got, and the version pairing below copes with the one that is missing.
  local try
  for try in 1 2 3; do
    $sudo apt-get update -qq && return 0
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 10
  done
  return 0
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-remove "$@"
}

# install PACKAGE...: installs those that are missing.
install() {
  local missing
  mapfile -t missing < <(missing_of "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  update
  apt_install "${missing[@]}" && return 0
  echo "apt could not install them as they are; asking for the versions both architectures share" >&2
  local pins
  mapfile -t pins < <(python3 scripts/apt-pair-versions.py "${missing[@]}")
  echo "Pinned: ${pins[*]}" >&2
  apt_install --allow-downgrades "${missing[@]}" "${pins[@]}"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
  updated=""
fi
[ -n "$(missing_of "${base[@]}")" ] && update
install "${base[@]}"

if scripts/i386-support.sh probe >/dev/null; then
  install wine32:i386 libc6-dbg:i386
  scripts/i386-support.sh native
else
  install qemu-user-static
  scripts/i386-support.sh emulate || true
fi
scripts/fetch-i386-libs.sh
