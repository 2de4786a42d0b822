#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 (i386) programs, and running them under emulation
# where its kernel cannot.
#
#   probe     exit 0 when the kernel runs i386 programs itself; otherwise print the reason
#             in a few words (for lines like "win32: not run: REASON") and exit 1. FORCE_64BIT_ONLY=1 makes it answer "cannot", so
#             the 64-bit-only path can be tried on any machine.
#   emulate   run i386 programs through qemu-i386-static, registered with binfmt_misc
#             (needs root); prints why not and exits 1 when that cannot be done.
#   native    remove that registration again, so 32-bit Wine runs on the real processor.
#   runs T    exit 0 when the test target T (native32, win32, valgrind32, valgrind64) runs
#             on this machine, otherwise print why not, in one line, and exit 1.
#
# The probe runs a tiny i386 program. Its ELF identification has a padding byte set that
# the kernel ignores but binfmt_misc entries for i386 emulators compare, so an emulator
# registered on this machine never answers for the kernel.
set -euo pipefail
entry=/proc/sys/fs/binfmt_misc/tessaril-i386
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# Builds the probe program into $1 (no C library: the exit system call only).
build_probe() {
  printf '%s\n' 'void _start(void) { __asm__ volatile("movl $1, %eax\n\txorl %ebx, %ebx\n\tint $0x80"); }' |
    gcc -m32 -nostdlib -static -ffreestanding -fno-pie -no-pie -x c -o "$1" - 2>/dev/null
}

probe() {
  if [ -n "${FORCE_64BIT_ONLY:-}" ] && [ "$FORCE_64BIT_ONLY" != 0 ]; then
    echo "FORCE_64BIT_ONLY is set, so this machine counts as running 64-bit code only"
    return 1
  fi
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  if ! build_probe "$dir/probe"; then
    echo "gcc -m32 could not build the probe program, so it is not known whether this machine runs 32-bit code"
    return 1
  fi
  printf '\x01' | dd of="$dir/probe" bs=1 seek=15 conv=notrunc status=none
  if "$dir/probe" 2>/dev/null; then
    return 0
  fi
  echo "this machine's kernel runs 64-bit code only"
  return 1
}

emulate() {
  local qemu=/usr/bin/qemu-i386-static
  if [ ! -x "$qemu" ]; then
    echo "$qemu is missing (Debian package qemu-user-static)"
    return 1
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || {
      echo "binfmt_misc cannot be mounted (needs root)"
      return 1
    }
  fi
  if [ ! -e "$entry" ]; then
    # An i386 ELF executable or shared object; F opens the emulator at registration, so
    # it also serves programs in other mount namespaces and chroots.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":tessaril-i386:M::$magic:$mask:$qemu:F" | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1 || {
      echo "$qemu cannot be registered with binfmt_misc (needs root)"
      return 1
    }
  fi
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  if ! build_probe "$dir/probe" || ! "$dir/probe" 2>/dev/null; then
    echo "an i386 program does not run even under $qemu"
    return 1
  fi
}

native() {
  [ -e "$entry" ] || return 0
  echo -1 | $sudo tee "$entry" >/dev/null
}

runs() {
  local why how
  why=$(probe) && return 0
  case "$1" in
    native32)
      how=$(emulate) || {
        echo "$why, and $how"
        return 1
      }
      echo "native32: $why; its programs run under qemu-i386 emulation" >&2
      ;;
    win32)
      echo "$why; win64 ran instead"
      return 1
      ;;
    valgrind32)
      echo "$why; valgrind ran on the 64-bit native programs instead"
      return 1
      ;;
  esac
}

case "${1:-}" in
  probe) probe ;;
  runs)
    if [ "${2:-}" = valgrind64 ]; then
      # The 64-bit programs stand in only where the 32-bit ones cannot run.
      if probe >/dev/null; then
        echo "valgrind ran on the native32 programs instead"
        exit 1
      fi
      exit 0
    fi
    runs "${2:-}"
    ;;
  emulate) emulate ;;
  native) native ;;
  *)
    echo "usage: $0 probe|emulate|native|runs TARGET" >&2
    exit 2
    ;;
esac
