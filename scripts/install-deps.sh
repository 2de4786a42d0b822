#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is there.
set -euo pipefail
packages=(cmake g++ g++-multilib googletest libgtest-dev libbenchmark-dev duktape-dev
  libcpp-httplib-dev libcpp-httplib-dev:i386 g++-mingw-w64-i686-posix wine wine32 xvfb xauth python3 imagemagick
  clang libclang-rt-14-dev valgrind libc6-dbg:i386 fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
