#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is there.
set -euo pipefail
# Both architectures of a library named apart: dpkg-query answers for either otherwise.
native=$(dpkg --print-architecture)
packages=(cmake g++ g++-multilib googletest libgtest-dev libbenchmark-dev duktape-dev
  "libcpp-httplib-dev:$native" libcpp-httplib-dev:i386 g++-mingw-w64-i686-posix wine wine32 xvfb xauth python3 imagemagick
  clang libclang-rt-14-dev valgrind libc6-dbg:i386 fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi

# A mirror in the middle of a sync serves an index that fails its check; apt then
# keeps the indexes it got, so a few tries and then going on with those is enough.
updated=0
for try in 1 2 3; do
  if $sudo apt-get update -qq; then updated=1; break; fi
  echo "apt-get update failed (try $try of 3)" >&2
  [ "$try" -lt 3 ] && sleep 20
done

install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" "${missing[@]}"; }
install && exit 0
[ "$updated" -eq 1 ] && exit 1

# Without the security archive's i386 index its amd64 packages are newer than any
# i386 package apt knows, and a library needed for both (libssl3, say) cannot be
# installed in matching versions. The release's own archive has both.
. /etc/os-release
sources=$(mktemp -d)
trap 'rm -rf "$sources"' EXIT
cat >"$sources/release.sources" <<EOF
Types: deb
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME $VERSION_CODENAME-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
echo "Installing from the release's archive only (an index of another one failed to download)" >&2
install -o Dir::Etc::sourceparts="$sources" -o Dir::Etc::sourcelist=/dev/null
