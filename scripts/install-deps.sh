#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is there, never
# removes a package (scripts/apt-install.sh, which also copes with a lagging index).
#
# What a machine needs depends on whether its kernel runs 32-bit code (scripts/
# i386-support.sh probe): where it does, 32-bit Wine and the i386 C library's debugging
# symbols (valgrind) come from the i386 architecture; where it does not, qemu runs the
# 32-bit Linux tests and 64-bit Wine the Windows ones, and no i386 package is installed.
# The 32-bit Linux build's HTTP library is unpacked from Debian's i386 packages into
# build/i386-libs (scripts/fetch-i386-libs.sh), not installed, so its libraries never have
# to match the versions of the machine's own.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(dpkg --print-architecture)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

base=(cmake g++ g++-multilib googletest libgtest-dev libbenchmark-dev duktape-dev
  "libcpp-httplib-dev:$native" g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
  xvfb xauth python3 imagemagick clang libclang-rt-14-dev valgrind fonts-dejavu-core
  zlib1g-dev lib32z1-dev libz-mingw-w64-dev libxml2-dev)

# apt-install.sh updates the indexes before it installs anything.
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
# Where 32-bit code cannot run (or the probe has no compiler yet), 32-bit Wine must not
# come along as 64-bit Wine's recommendation: Wine would then set up its 64-bit prefixes
# through 32-bit programs, under qemu, where they hang.
avoid=""
scripts/i386-support.sh probe >/dev/null || avoid=wine32:i386
APT_INSTALL_AVOID=$avoid scripts/apt-install.sh "${base[@]}"

if scripts/i386-support.sh probe >/dev/null; then
  scripts/apt-install.sh wine32:i386 libc6-dbg:i386
  scripts/i386-support.sh native
else
  scripts/apt-install.sh qemu-user-static
  scripts/i386-support.sh emulate || true
fi
scripts/fetch-i386-libs.sh

# The launcher's tests load the demo site at http://localhost: a bare system root (a
# container, a root made with debootstrap) may have no /etc/hosts, and then the name
# does not resolve. Such a machine gets the standard entry; any other is left as it is.
if ! getent hosts localhost >/dev/null; then
  echo "localhost does not resolve: adding 127.0.0.1 localhost to /etc/hosts"
  echo "127.0.0.1 localhost" | $sudo tee -a /etc/hosts >/dev/null
fi
