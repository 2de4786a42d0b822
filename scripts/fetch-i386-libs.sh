#!/usr/bin/env bash
# Unpacks the i386 HTTP library that the 32-bit Linux build of our engine links, and the
# libraries it needs that the multilib packages do not bring (g++-multilib, lib32z1-dev),
# into build/i386-libs. They come from Debian's i386 packages, downloaded and checked by
# apt against the signed index, but are not installed: an installed i386 library must have
# exactly the version of its native twin, which fails whenever the package index of one
# architecture lags behind the other's. Also OpenSSL's two i386 configuration headers,
# which the HTTP library's header includes. Skips the work when the folder is complete.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=build/i386-libs
stamp=$dest/.packages
# The run-time package the native development package depends on (libcpp-httplib0.NN).
httplib=$(apt-cache depends "libcpp-httplib-dev:$(dpkg --print-architecture)" |
  sed -n 's/^ *Depends: \(libcpp-httplib[0-9.]*\)$/\1/p' | head -1)
[ -n "$httplib" ] || {
  echo "fetch-i386-libs: cannot tell the HTTP library's run-time package (is libcpp-httplib-dev installed?)" >&2
  exit 1
}
packages=("$httplib" libssl3 libbrotli1 libssl-dev)
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "${packages[*]}" ] && exit 0
rm -rf "$dest"
mkdir -p "$dest/debs"
download() { (cd "$dest/debs" && apt-get download -qq "${packages[@]/%/:i386}" 2>../download.log); }
# A machine that has just added the i386 architecture has no i386 index yet.
if ! download; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq || true
  download || cat "$dest/download.log" >&2
fi
for deb in "$dest"/debs/*.deb; do
  [ -e "$deb" ] || {
    echo "fetch-i386-libs: apt-get download of ${packages[*]} (i386) failed" >&2
    exit 1
  }
  dpkg-deb -x "$deb" "$dest/root"
done
mkdir -p "$dest/lib" "$dest/include"
find "$dest/root" -name '*.so*' \( -type f -o -type l \) -exec cp -a {} "$dest/lib/" \;
cp -a "$dest/root/usr/include/i386-linux-gnu/openssl" "$dest/include/"
ls "$dest/include/openssl/configuration.h" >/dev/null
rm -rf "$dest/debs" "$dest/root"
ls "$dest/lib"/libcpp-httplib.so.* >/dev/null
echo "${packages[*]}" >"$stamp"
echo "Unpacked the i386 libraries ${packages[*]} into $dest/lib"
